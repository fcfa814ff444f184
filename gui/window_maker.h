// The window factory of an application: registers the toolkit's window
// classes at start-up and runs every top-level form as a modal dialog.
// The current application holds one (see gui/app.h); UI thread only.
#pragma once

#include <cstdint>

#include "base/lists.h"

class cChildElement;
class cScaleProvider;
class cWindowRequestTarget;
struct sLangSections;

class cWindowMaker {
public:
  cWindowMaker() = default;
  cWindowMaker(const cWindowMaker&) = delete;
  cWindowMaker& operator=(const cWindowMaker&) = delete;
  // Deletes every holder in the list.
  virtual ~cWindowMaker() = default;

  // Loads the program icon (the low 16 bits of iconGroupId) from instance
  // and registers the classes once (RegisterLiteWindowClass); true when
  // they are registered. reserved is passed through by InitWindowing.
  virtual bool RegisterClasses(void* instance, intptr_t reserved, int32_t iconGroupId) = 0;

  // Runs form as a modal dialog with a client area of width x height and
  // returns its end code (-1 when no dialog could run). form is taken over
  // and deleted when the run ends. With an owner host the dialog is
  // centred on the owner's window and owned by it, else centred on the
  // desktop.
  virtual int32_t RunModalForm(const char16_t* title, int32_t width, int32_t height,
                                cChildElement* form, cWindowRequestTarget* owner,
                                bool resizable) = 0;

  // The process-wide map of loaded language sections (set by
  // InitWindowing); borrowed.
  const sLangSections* sectionMap = nullptr;
  // Non-modal window holders (none in this system); owned.
  cItemList holders;
  // Never set in this system: logical pixels are screen pixels.
  cScaleProvider* scale = nullptr;
};

// The toolkit's factory. Win32: the classes of the window layer and modal
// dialogs. Native build: registration succeeds without windows and no form
// can run (-1), so that application objects can be driven in tests.
class cWWMaker : public cWindowMaker {
public:
  bool RegisterClasses(void* instance, intptr_t reserved, int32_t iconGroupId) override;
  int32_t RunModalForm(const char16_t* title, int32_t width, int32_t height, cChildElement* form,
                        cWindowRequestTarget* owner, bool resizable) override;
};
