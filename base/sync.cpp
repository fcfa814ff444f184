// The platform-neutral part of the locks: hold bookkeeping, the guard and the
// per-thread held-lock count. See base/sync.h.
#include "base/sync.h"

#include "base/sync_internal.h"

namespace tw {

// The per-thread slot holds either the count itself, as (count << 1) | 1, or
// the address of the thread's cPublishedLockCount (even, non-null). Null is
// a count of zero. Keeping the plain count in the slot needs no allocation
// for threads that never publish it.
namespace {

bool IsPublished(void* slot) {
  return slot != nullptr && (reinterpret_cast<uintptr_t>(slot) & 1) == 0;
}

int32_t PlainCount(void* slot) {
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(slot) >> 1);
}

void* PlainSlot(int32_t count) {
  if (count == 0) return nullptr;
  return reinterpret_cast<void*>((static_cast<uintptr_t>(count) << 1) | 1);
}

}  // namespace

int32_t HeldLockCount() {
  void* slot = GetLockSlot();
  if (IsPublished(slot)) return static_cast<cPublishedLockCount*>(slot)->Value();
  return PlainCount(slot);
}

void AdjustHeldLockCount(int32_t delta) {
  void* slot = GetLockSlot();
  if (IsPublished(slot)) {
    auto* published = static_cast<cPublishedLockCount*>(slot);
    // Only this thread writes it; others only read.
    published->count_.store(published->count_.load(std::memory_order_relaxed) + delta,
                            std::memory_order_relaxed);
    return;
  }
  SetLockSlot(PlainSlot(PlainCount(slot) + delta));
}

cPublishedLockCount::cPublishedLockCount() {
  static_assert(alignof(cPublishedLockCount) >= 2, "the slot tags plain counts with bit 0");
  saved_ = GetLockSlot();
  count_.store(HeldLockCount(), std::memory_order_relaxed);
  SetLockSlot(this);
}

cPublishedLockCount::~cPublishedLockCount() {
  const int32_t count = Value();
  if (IsPublished(saved_)) {
    auto* outer = static_cast<cPublishedLockCount*>(saved_);
    outer->count_.store(count, std::memory_order_relaxed);
    SetLockSlot(outer);
  } else {
    SetLockSlot(PlainSlot(count));
  }
}

}  // namespace tw

cCriticalSection::cCriticalSection() {
  static_assert(sizeof(platform_) >= 40, "room for the platform lock");
  tw::PlatformLockInit(platform_);
}

cCriticalSection::~cCriticalSection() {
  if (deleted_.exchange(true, std::memory_order_relaxed)) return;
  // Release the destroying thread's own holds, so that its held-lock count
  // stays true and the platform lock is not destroyed while locked.
  if (owner_.load(std::memory_order_relaxed) == tw::CurrentThreadTag()) {
    const int32_t depth = depth_;
    depth_ = 0;
    owner_.store(0, std::memory_order_relaxed);
    for (int32_t i = 0; i < depth; ++i) tw::PlatformLockLeave(platform_);
    tw::AdjustHeldLockCount(-depth);
  }
  tw::PlatformLockDelete(platform_);
}

// The held-lock count is raised before the platform lock is taken and
// lowered after it is given back, so that a thread stopped anywhere in
// between is counted as a holder (the forced abort relies on it).
void cCriticalSection::Enter() {
  if (IsDeleted()) return;
  tw::AdjustHeldLockCount(1);
  tw::PlatformLockEnter(platform_);
  if (depth_++ == 0) owner_.store(tw::CurrentThreadTag(), std::memory_order_relaxed);
}

void cCriticalSection::Leave() {
  if (IsDeleted()) return;
  // Leaving a lock this thread does not hold is a caller's fault; ignoring
  // it keeps the count and the owner record intact.
  if (owner_.load(std::memory_order_relaxed) != tw::CurrentThreadTag() || depth_ == 0) return;
  if (--depth_ == 0) owner_.store(0, std::memory_order_relaxed);
  tw::PlatformLockLeave(platform_);
  tw::AdjustHeldLockCount(-1);
}

cSafeCriticalSectionAccess::cSafeCriticalSectionAccess(cCriticalSection* lock) : lock_(lock) {
  if (lock_ != nullptr && !lock_->IsDeleted()) lock_->Enter();
}

cSafeCriticalSectionAccess::~cSafeCriticalSectionAccess() {
  if (lock_ != nullptr && !lock_->IsDeleted()) lock_->Leave();
}
