// Win32 side of the window factory: class registration and the modal run of
// top-level forms. See gui/window_maker.h.
#include <windows.h>

#include "gui/window_host.h"
#include "gui/window_host_rules.h"
#include "gui/window_maker.h"

bool cWWMaker::RegisterClasses(void* instance, intptr_t, int32_t iconGroupId) {
  HINSTANCE module = static_cast<HINSTANCE>(instance != nullptr ? instance : GetModuleHandleW(nullptr));
  HICON icon = LoadIconW(module, MAKEINTRESOURCEW(iconGroupId & 0xFFFF));
  return RegisterLiteWindowClass(module, icon);
}

int32_t cWWMaker::RunModalForm(const char16_t* title, int32_t width, int32_t height,
                                cChildElement* form, cWindowRequestTarget* owner, bool resizable) {
  cWndTranslatorDlg dialog;
  dialog.Host().SetSectionMap(sectionMap);
  dialog.Host().SetScaleProvider(scale);
  int32_t x = -1, y = -1;
  cWndLite* ownerWindow = nullptr;
  if (owner != nullptr) {
    sRect r;
    if (owner->GetWindowRect(&r.x, &r.y, &r.width, &r.height)) {
      x = r.x + (r.width - width) / 2;
      y = r.y + (r.height - height) / 2;
    }
    ownerWindow = owner->GetWindow();
  }
  return dialog.RunModal(ownerWindow, title, width, height, form, resizable, x, y);
}
