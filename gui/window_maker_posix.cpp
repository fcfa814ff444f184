// Native stand-in of the window factory: there are no window classes to
// register, and no form can run without windows (the test host of
// tests/support runs element trees instead). See gui/window_maker.h.
#include "gui/element.h"
#include "gui/window_maker.h"

bool cWWMaker::RegisterClasses(void*, intptr_t, int32_t) { return true; }

int32_t cWWMaker::RunModalForm(const char16_t*, int32_t, int32_t, cChildElement* form,
                               cWindowRequestTarget*, bool) {
  delete form;  // taken over, as the Win32 factory does
  return -1;
}
