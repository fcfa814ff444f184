// Win32 side of the locks and events: CRITICAL_SECTION, event handles and a
// TLS slot for the held-lock count. See base/sync.h.
#include <windows.h>

#include <new>

#include "base/sync.h"
#include "base/sync_internal.h"
#include "base/win_text.h"

namespace tw {

namespace {

// TLS index, allocated on first use. A plain constant-initialised word, so
// that locks entered during static initialisation find it too.
volatile LONG g_lockSlot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD LockSlotIndex() {
  const LONG current = g_lockSlot;
  if (current != static_cast<LONG>(TLS_OUT_OF_INDEXES)) return static_cast<DWORD>(current);
  const DWORD fresh = TlsAlloc();
  if (fresh == TLS_OUT_OF_INDEXES) throw std::bad_alloc();
  const LONG previous = InterlockedCompareExchange(&g_lockSlot, static_cast<LONG>(fresh),
                                                   static_cast<LONG>(TLS_OUT_OF_INDEXES));
  if (previous != static_cast<LONG>(TLS_OUT_OF_INDEXES)) {
    TlsFree(fresh);  // another thread won the race
    return static_cast<DWORD>(previous);
  }
  return fresh;
}

CRITICAL_SECTION* Section(void* storage) { return static_cast<CRITICAL_SECTION*>(storage); }

}  // namespace

void* GetLockSlot() {
  // TlsGetValue leaves the last error alone only on success; keep the
  // caller's error code intact around our bookkeeping.
  const DWORD error = GetLastError();
  void* value = TlsGetValue(LockSlotIndex());
  SetLastError(error);
  return value;
}

void SetLockSlot(void* value) { TlsSetValue(LockSlotIndex(), value); }

uintptr_t CurrentThreadTag() { return static_cast<uintptr_t>(GetCurrentThreadId()); }

void PlatformLockInit(void* storage) {
  static_assert(sizeof(CRITICAL_SECTION) <= 48 && alignof(CRITICAL_SECTION) <= 8,
                "CRITICAL_SECTION fits cCriticalSection's storage");
  InitializeCriticalSection(Section(storage));
}

void PlatformLockEnter(void* storage) { EnterCriticalSection(Section(storage)); }
void PlatformLockLeave(void* storage) { LeaveCriticalSection(Section(storage)); }
void PlatformLockDelete(void* storage) { DeleteCriticalSection(Section(storage)); }

}  // namespace tw

bool cEvent::Create(const char16_t* name, bool initiallySignalled, bool manualReset) {
  Close();
  handle_ = CreateEventW(nullptr, manualReset ? TRUE : FALSE, initiallySignalled ? TRUE : FALSE,
                         name != nullptr ? tw::ToWin(name) : nullptr);
  return handle_ != nullptr;
}

bool cEvent::Set() { return handle_ != nullptr && SetEvent(handle_) != 0; }

bool cEvent::Reset() { return handle_ != nullptr && ResetEvent(handle_) != 0; }

bool cEvent::Wait() {
  return handle_ != nullptr && WaitForSingleObject(handle_, INFINITE) == WAIT_OBJECT_0;
}

bool cEvent::Poll() { return handle_ != nullptr && WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }

bool cEvent::Close() {
  if (handle_ == nullptr) return false;
  const BOOL closed = CloseHandle(handle_);
  handle_ = nullptr;
  return closed != 0;
}
