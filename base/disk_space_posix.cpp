// Linux only: statvfs stands in for the Win32 free-space call. See
// base/disk_space.h.
#include "base/disk_space.h"

#include <sys/statvfs.h>

#include <string>

#include "base/paths_posix.h"

bool GetAvailableDiskSpace(const char16_t* folder, uint64_t* available) {
  if (folder == nullptr || folder[0] == 0 || available == nullptr) return false;
  std::string path;
  if (!MakeNativePath(path, folder)) return false;
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) return false;
  // f_bavail: the blocks an unprivileged user may still take.
  *available = static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
  return true;
}
