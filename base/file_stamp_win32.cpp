// Win32 side of base/file_stamp.h: the attributes of the long path.
#include <windows.h>

#include "base/file_stamp.h"
#include "base/paths.h"
#include "base/win_text.h"

bool GetFileStamp(const char16_t* path, sFileStamp& out) {
  _typebuf<char16_t> longPath;
  if (!MakeLongPath(longPath, path)) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(tw::ToWin(longPath.data), GetFileExInfoStandard, &data)) return false;
  if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return false;
  out.writeTime = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                  data.ftLastWriteTime.dwLowDateTime;
  out.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool SetFileWriteTime(tFileHandle handle, uint64_t writeTime) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(writeTime);
  t.dwHighDateTime = static_cast<DWORD>(writeTime >> 32);
  return SetFileTime(reinterpret_cast<HANDLE>(handle), nullptr, nullptr, &t) != 0;
}
