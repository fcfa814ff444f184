// The program's entry: the command line as an argument vector, the icon
// group, the configuration store and the application object, handed to the
// application runner. Built into tarnwick.exe only (tools/build.cmake).
#include <windows.h>
#include <shellapi.h>

#include "base/full_config.h"
#include "base/win_text.h"
#include "gui/app.h"
#include "tools/tarnwick_app.h"

namespace {

constexpr int32_t kDefaultIconGroup = 101;

// Keeps the first RT_GROUP_ICON name and stops the enumeration.
BOOL CALLBACK EnumIconGroupCallback(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  *reinterpret_cast<int32_t*>(param) = static_cast<int32_t>(reinterpret_cast<uintptr_t>(name));
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The vector lives for the whole run.
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);

  int32_t iconGroup = kDefaultIconGroup;
  EnumResourceNamesW(instance, RT_GROUP_ICON, EnumIconGroupCallback,
                     reinterpret_cast<LONG_PTR>(&iconGroup));

  cApplicationConfig* store = new cCIAppFullConfig();
  cTarnwickApp* app = new cTarnwickApp();
  return RunApplication(app, instance, 0, iconGroup, argv != nullptr ? argc : 0,
                        reinterpret_cast<char16_t**>(argv), store, u"qxv");
}
