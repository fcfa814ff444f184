// Win32 only: GetDiskFreeSpaceExW on the long form of the folder. See
// base/disk_space.h.
#include "base/disk_space.h"

#include <windows.h>

#include "base/buffers.h"
#include "base/paths.h"
#include "base/win_text.h"

bool GetAvailableDiskSpace(const char16_t* folder, uint64_t* available) {
  if (folder == nullptr || folder[0] == 0 || available == nullptr) return false;
  _typebuf<char16_t> path;
  if (!MakeLongPath(path, folder)) return false;
  // A UNC folder must end with a separator; any other folder may.
  int32_t length = 0;
  while (path.data[length] != 0) ++length;
  _typebuf<char16_t> withSlash(length + 2);
  for (int32_t i = 0; i < length; ++i) withSlash.data[i] = path.data[i];
  int32_t end = length;
  if (length > 0 && withSlash.data[length - 1] != u'\\') withSlash.data[end++] = u'\\';
  withSlash.data[end] = 0;
  ULARGE_INTEGER caller = {}, total = {}, free = {};
  if (GetDiskFreeSpaceExW(tw::ToWin(withSlash.data), &caller, &total, &free) == 0) return false;
  *available = caller.QuadPart;
  return true;
}
