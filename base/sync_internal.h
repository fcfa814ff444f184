// Internal to the lock implementation: the per-thread slot that the shared
// counting code keeps its state in, and the platform's thread tag.
#pragma once

#include <cstdint>

namespace tw {

// One pointer-sized value per thread, null until set. On Win32 a TLS slot
// (no compiler-emulated TLS, whose helpers take locks of their own that an
// abandoned thread could leave held); natively a thread_local.
void* GetLockSlot();
void SetLockSlot(void* value);

// A non-zero value naming the calling thread.
uintptr_t CurrentThreadTag();

// Adds delta to the calling thread's held-lock count.
void AdjustHeldLockCount(int32_t delta);

}  // namespace tw

namespace tw {

// The platform lock kept in cCriticalSection's storage.
void PlatformLockInit(void* storage);
void PlatformLockEnter(void* storage);
void PlatformLockLeave(void* storage);
void PlatformLockDelete(void* storage);

}  // namespace tw
