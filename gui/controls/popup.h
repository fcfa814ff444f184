// Popup lists: every drop-down list and context menu of the toolkit is one
// call that shows rows of text in a small modal popup window beside an
// element and returns the chosen row's id, or -1. The rows are buttons
// stacked in a scrollable element (cPopupMaster); a splitter line may stand
// between groups of rows.
//
// Rules:
//  a. Rows are kept by the caller in a tPopupItems map and shown in
//     ascending id order; a row without text and picture is not shown.
//  b. A colour of -1 for background, text or frame means the theme's
//     default (colours 14, 4 and 21); the six optional colours (hover,
//     pressed and focused fill and text) stay unused at -1.
//  c. The popup closes with a row's id when a row is clicked, and with -1
//     on Escape, on a press outside it and when it loses the focus.
//  d. UI thread only; the calls return when the popup has closed.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/lists.h"
#include "base/sorted_tree.h"
#include "gui/controls/button.h"
#include "gui/controls/scroll.h"

class cImageStore;
class cWinFont;

struct sPopupItem {
  _guardchar<char16_t> text;
  _guardchar<char16_t> hint;
  int32_t data = 0;
  int32_t pictureId = -1;   // in the caller's image store, -1 none
  int32_t rowHeight = 0;    // 0 or less: automatic
  uint8_t splitterAbove = 0;
};

// Row id -> row.
class tPopupItems : public cSortedTree<int32_t, sPopupItem> {
public:
  tPopupItems() : cSortedTree<int32_t, sPopupItem>(512) {}
};

constexpr uint32_t kPopupNoColour = 0xFFFFFFFFu;

struct sPopupStyle {
  sPopupStyle();
  int32_t minimumWidth = 0;
  cImageStore* images = nullptr;
  int32_t selectedId = -1;
  uint32_t background = 0;
  uint32_t text = 0;
  uint32_t hoverFill = kPopupNoColour, hoverText = kPopupNoColour;
  uint32_t pressedFill = kPopupNoColour, pressedText = kPopupNoColour;
  uint32_t focusedFill = kPopupNoColour, focusedText = kPopupNoColour;
  uint32_t frame = 0;
  cWinFont* font = nullptr;
};

// The optional colours of a popup, in the order of the calls.
struct sPopupColours {
  uint32_t hoverFill = kPopupNoColour, hoverText = kPopupNoColour;
  uint32_t pressedFill = kPopupNoColour, pressedText = kPopupNoColour;
  uint32_t focusedFill = kPopupNoColour, focusedText = kPopupNoColour;
};

// The size the rows need: width = the widest row button + 2, height = the
// sum of the row heights + 3 per splitter. False without an owner or font.
bool MeasurePopupItems(cChildElement* owner, const tPopupItems& items, const cImageStore* images, sSize* size,
                       cWinFont* font);

// Moves and cuts a popup of width x height at (x, y) to fit the limits
// (both known and not 0): too far right moves it left (to 0 at most); too
// low opens it above the point when there is more room above (cut to the
// room above), else cuts it to the room below.
void PlacePopup(int32_t limitWidth, int32_t limitHeight, int32_t* x, int32_t* y, int32_t width, int32_t* height);

// Runs a popup at screen (x, y) of width x height (+ 2). The row id chosen,
// or -1 (at once for an empty map or a missing owner).
int32_t OpenPopupList(cChildElement* owner, const tPopupItems& items, const cImageStore* images, int32_t x,
                      int32_t y, int32_t width, int32_t height, int32_t selectedId, uint32_t background,
                      uint32_t text, uint32_t frame, cWinFont* font, const sPopupColours& colours);
// Measures, takes the larger of the measured and the minimum width, opens.
int32_t ShowPopupList(cChildElement* owner, const tPopupItems& items, int32_t x, int32_t y, int32_t minimumWidth,
                      const cImageStore* images, int32_t selectedId, uint32_t background, uint32_t text,
                      uint32_t frame, cWinFont* font, const sPopupColours& colours);
// With a style: ShowPopupList with its fields; without: the owner's default
// font, no pictures, all defaults.
int32_t ShowPopupMenu(cChildElement* owner, const tPopupItems& items, int32_t x, int32_t y,
                      const sPopupStyle* style);

class cPopupMaster : public cScrollableElement {
public:
  // One row button and the row's id.
  class cBtnListItem : public cListItem {
  public:
    cButtonChild button;
    int32_t id = 0;
  };
  // The thin line between groups of rows.
  class cPopupSplitter : public cChildElement {
  public:
    void Paint(cCanvas* canvas) override;
    uint32_t lineColour = 0;
    cPopupSplitter* next = nullptr;
  };

  cPopupMaster(const tPopupItems* items, const cImageStore* images);
  ~cPopupMaster() override;

  void RestoreFocus() override {}
  void SaveFocus() override {}
  bool Key(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnCreate() override;
  bool PaintOwnBg(cCanvas* canvas, const sRect* rect) override;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  void OnLostFocus(bool control, bool shift) override;
  bool WantsDoubleBuffer() override { return true; }
  int32_t BorderWidth() override { return 1; }
  void InitDefaults() override;
  void PaintContent(cCanvas* canvas) override;

  // Presentation, set before the popup is shown.
  void SetColours(uint32_t background, uint32_t text, uint32_t frame, const sPopupColours& colours);
  void SetFont(cWinFont* font) { font_ = font; }
  void SetSelectedId(int32_t id) { selectedId_ = id; }

  // The row buttons, for inspection: the button of row id, or null.
  cButtonChild* RowButton(int32_t id);
  int32_t RowCount() const;
  uint32_t SplitterColour() const;

private:
  void BuildRows();
  void Close(int32_t result);
  void DeleteRows();

  const tPopupItems* items_;
  const cImageStore* images_;
  cWinFont* font_ = nullptr;
  uint32_t background_ = 0, text_ = 0, frame_ = 0;
  sPopupColours colours_;
  std::unique_ptr<cPicture> hoverFill_, pressedFill_, focusedFill_;
  int32_t selectedId_ = -1;
  cItemList rows_;
  cPopupSplitter* firstSplitter_ = nullptr;
  cPopupSplitter* lastSplitter_ = nullptr;
  bool closed_ = false;
};
