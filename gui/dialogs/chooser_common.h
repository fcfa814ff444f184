// What the file and folder choosers do alike: their bottom button row, its
// Select / Cancel answer, the one-entry context menu and making the new folder
// the user named.
#pragma once

#include <cstdint>
#include <string>

#include "gui/controls/popup.h"
#include "gui/controls/toolbar.h"
#include "gui/custom_form.h"

// Places the bottom button row at the form's bottom right and lays its
// buttons out again at that size.
void PlaceBottomBar(cChildElement* form, cToolBarChild* bar);

// A button action of an OK / Cancel row: button 1 is the form's Enter, any
// other its Escape. False (nothing done) for other actions.
bool AnswerBarAction(cCustomForm* form, cChildElement::cChildAction* action);

// The context menu of items at client point (x, y) of element, in owner's
// default font; the id chosen, or -1.
int32_t ShowContextMenu(cChildElement* owner, cChildElement* element, const tPopupItems& items, int32_t x, int32_t y);

// The owner's texts for what stands in a new folder's way.
struct sNewFolderTexts {
  int32_t fileExists = 0;     // a file has the name
  int32_t cannotCreate = 0;   // the folder could not be made
  int32_t specialExists = 0;  // a device or other special object has it
};

// Makes the folder name inside folder (a path, not empty). Its path when it
// exists afterwards, existed telling whether it was there before; empty
// when an error message was shown.
std::u16string MakeFolderIn(cChildElement* owner, const char16_t* folder, const char16_t* name,
                            const sNewFolderTexts& texts, bool* existed);
