// Standard output (Win32): the handle from the start-up information, which
// a GUI program has only when its parent gave one; no console is opened.
#include "base/std_output.h"

#include <windows.h>

bool WriteStandardOutput(const void* data, uint32_t size) {
  STARTUPINFOW info = {};
  info.cb = sizeof(info);
  GetStartupInfoW(&info);
  HANDLE out = info.hStdOutput;
  if (out == nullptr || out == INVALID_HANDLE_VALUE) out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  return WriteFile(out, data, size, &written, nullptr) && written == size;
}
