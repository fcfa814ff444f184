// Win32: handle values are multiples of four taken from the lowest free entry
// of the process's handle table. (GetProcessHandleCount is a stub under Wine.)
#include <windows.h>

#include "tests/support/handles.h"

namespace twtest {

int64_t NextFreeHandleSlot() {
  HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (probe == nullptr) return -1;
  const int64_t slot = static_cast<int64_t>(reinterpret_cast<uintptr_t>(probe) / 4);
  CloseHandle(probe);
  return slot;
}

}  // namespace twtest
