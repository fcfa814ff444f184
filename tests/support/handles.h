// Leak probe for system handles (Win32 handles, POSIX file descriptors).
#pragma once

#include <cstdint>

namespace twtest {

// The slot number of the handle the system would hand out next. Both
// platforms give out the lowest free slot, so every handle leaked since an
// earlier call shows up as a higher number.
int64_t NextFreeHandleSlot();

}  // namespace twtest
