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

bool SetFileWriteTime(tFileHandle handle, uint64_t writeTime) {
  if (writeTime < static_cast<uint64_t>(tw::kUnixEpochFileTime)) return false;
  const uint64_t since1970 = writeTime - static_cast<uint64_t>(tw::kUnixEpochFileTime);
  timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;  // access time unchanged
  times[1].tv_sec = static_cast<time_t>(since1970 / tw::kFileTimeUnitsPerSecond);
  times[1].tv_nsec = static_cast<long>(since1970 % tw::kFileTimeUnitsPerSecond) * 100;
  return ::futimens(static_cast<int>(handle), times) == 0;
}
