// Linux side of base/file_stamp.h: stat's nanosecond modification time.
#include <sys/stat.h>

#include <string>

#include "base/file_stamp.h"
#include "base/paths_posix.h"
#include "base/time.h"

bool GetFileStamp(const char16_t* path, sFileStamp& out) {
  std::string native;
  if (!MakeNativePath(native, path)) return false;
  struct stat st;
  if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out.writeTime = static_cast<uint64_t>(static_cast<int64_t>(st.st_mtim.tv_sec) * tw::kFileTimeUnitsPerSecond +
                                        tw::kUnixEpochFileTime + st.st_mtim.tv_nsec / 100);
  out.size = static_cast<uint64_t>(st.st_size);
  return true;
}
