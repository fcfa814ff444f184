// Locks and events: the only synchronisation primitives of the system.
//
// Every lock is a recursive cCriticalSection entered through the scoped guard
// cSafeCriticalSectionAccess; cross-thread hand-offs use cEvent. The Win32
// implementation wraps CRITICAL_SECTION and event handles; the native one a
// recursive pthread mutex and a condition variable with a flag.
//
// Each thread keeps a count of the cCriticalSection entries it has not left
// yet. A forced abort of a stuck job may only abandon a thread that holds
// none of our locks, and it reads that count through cPublishedLockCount.
#pragma once

#include <atomic>
#include <cstdint>

class cCriticalSection {
public:
  cCriticalSection();
  // Deletes the platform lock once; later destructions and every later Enter
  // and Leave do nothing. When the destroying thread still holds the lock,
  // its holds are released first (a guard that outlives the lock must not
  // leave the thread counted as a holder).
  virtual ~cCriticalSection();
  cCriticalSection(const cCriticalSection&) = delete;
  cCriticalSection& operator=(const cCriticalSection&) = delete;

  // Recursive: the holder may enter again and must leave as often.
  // Both do nothing once the lock has been deleted.
  void Enter();
  void Leave();

  bool IsDeleted() const { return deleted_.load(std::memory_order_relaxed); }

private:
  // The platform lock lives in the object (CRITICAL_SECTION on Win32, a
  // pthread mutex natively); each implementation checks that it fits.
  alignas(8) unsigned char platform_[48];
  // Atomic only so that the store in the destructor is never dropped as a
  // dead store and sanitizers see a defined access; deleting a lock that
  // another thread may still use remains outside the contract.
  std::atomic<bool> deleted_{false};
  // The holding thread's tag (0 when free) and its entry depth. Written only
  // by the holder; the destructor reads them to release the destroying
  // thread's own holds.
  std::atomic<uintptr_t> owner_{0};
  int32_t depth_ = 0;
};

// Scoped guard: enters the lock on construction and leaves it on destruction
// (also when an exception passes). A null lock, or one already deleted, is
// neither entered nor left.
class cSafeCriticalSectionAccess {
public:
  explicit cSafeCriticalSectionAccess(cCriticalSection* lock);
  virtual ~cSafeCriticalSectionAccess();
  cSafeCriticalSectionAccess(const cSafeCriticalSectionAccess&) = delete;
  cSafeCriticalSectionAccess& operator=(const cSafeCriticalSectionAccess&) = delete;

private:
  cCriticalSection* lock_;
};

// A platform event: manual-reset events stay signalled until Reset;
// auto-reset events release one waiter and reset themselves (a successful
// Poll consumes the signal as well). Every operation on an event without a
// handle returns false.
class cEvent {
public:
  cEvent() = default;
  ~cEvent() { Close(); }
  cEvent(const cEvent&) = delete;
  cEvent& operator=(const cEvent&) = delete;

  // Creates the event (a held one is closed first). name is null for an
  // unnamed event; the native build supports only unnamed events and
  // returns false for a name. True when a handle was created.
  bool Create(const char16_t* name, bool initiallySignalled, bool manualReset);
  bool Set();
  bool Reset();
  // Waits without a time-out; true when the wait ended by the signal.
  bool Wait();
  // True when the event is signalled now.
  bool Poll();
  // Releases the handle; false when there was none or the platform refused.
  bool Close();
  bool IsCreated() const { return handle_ != nullptr; }

private:
  void* handle_ = nullptr;
};

namespace tw {

// The calling thread's count of cCriticalSection entries not yet left.
int32_t HeldLockCount();

// While it exists, the calling thread's held-lock count is kept in this
// object, where another thread may read it (the job's forced abort reads it
// while the owning thread is suspended). Constructed and destroyed on the
// thread it counts, in nested order; the count carries over both ways.
class cPublishedLockCount {
public:
  cPublishedLockCount();
  ~cPublishedLockCount();
  cPublishedLockCount(const cPublishedLockCount&) = delete;
  cPublishedLockCount& operator=(const cPublishedLockCount&) = delete;

  // Exact while the owning thread is stopped; a snapshot otherwise.
  int32_t Value() const { return count_.load(std::memory_order_relaxed); }

private:
  friend void AdjustHeldLockCount(int32_t delta);
  std::atomic<int32_t> count_{0};
  void* saved_ = nullptr;
};

}  // namespace tw
