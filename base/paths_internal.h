// The platform layer under base/paths.h: what paths.cpp needs from
// paths_win32.cpp or paths_posix.cpp. Not part of the public interface.
#pragma once

#include <string>

namespace tw {

// The value of an environment variable; false when it is missing or empty.
bool ReadEnvironment(const char16_t* name, std::u16string& out);

// Where the platform keeps what Windows keeps in its variables, used only
// when the variables are missing. Each returns false when it has nothing.
bool PlatformHomeFallback(std::u16string& out);
bool PlatformTempFallback(std::u16string& out);
// The per-user data root without APPDATA, given the home folder.
bool PlatformUserDataRoot(const std::u16string& home, std::u16string& out);
// The machine-wide data root without a usable ProgramData.
bool PlatformMachineDataRoot(std::u16string& out);

}  // namespace tw
