// See block_pool.h.
#include "base/block_pool.h"

#include <new>

#include "base/page_memory.h"

cBlockPool::cBlockPool(int32_t slotsPerDirectory, int32_t pageSize) {
  if (slotsPerDirectory >= 2 && pageSize >= 1) {
    slotsPerDirectory_ = slotsPerDirectory;
    pageSize_ = pageSize;
  }
}

void** cBlockPool::NewDirectory() noexcept {
  // Page memory is zero-filled, so slot 0 (the chain link) starts null.
  return static_cast<void**>(
      tw::PageBlockAlloc(static_cast<size_t>(slotsPerDirectory_) * sizeof(void*)));
}

void cBlockPool::FreeDirectory(void** dir) noexcept {
  tw::PageBlockFree(dir, static_cast<size_t>(slotsPerDirectory_) * sizeof(void*));
}

void* cBlockPool::Alloc(int32_t n) noexcept {
  if (n < 0) return nullptr;
  return n < pageSize_ ? AllocSmall(n) : AllocLarge(n);
}

void* cBlockPool::AllocSmall(int32_t n) noexcept {
  if (firstPageDir_ == nullptr) {
    void** dir = NewDirectory();
    if (dir == nullptr) return nullptr;
    void* page = tw::PageBlockAlloc(static_cast<size_t>(pageSize_));
    if (page == nullptr) {
      FreeDirectory(dir);
      return nullptr;
    }
    dir[1] = page;
    firstPageDir_ = currentPageDir_ = dir;
    currentPageSlot_ = 1;
    bytesUsed_ = 0;
  }
  // Both are below the page size, so the sum cannot overflow.
  if (bytesUsed_ + n <= pageSize_) {
    char* p = static_cast<char*>(currentPageDir_[currentPageSlot_]) + bytesUsed_;
    bytesUsed_ += n;
    return p;
  }
  void** dir = currentPageDir_;
  int32_t slot = currentPageSlot_ + 1;
  const bool chained = slot == slotsPerDirectory_;
  if (chained) {
    dir = NewDirectory();
    if (dir == nullptr) return nullptr;
    slot = 1;
  }
  void* page = tw::PageBlockAlloc(static_cast<size_t>(pageSize_));
  if (page == nullptr) {
    if (chained) FreeDirectory(dir);
    return nullptr;
  }
  if (chained) {
    currentPageDir_[0] = dir;
    currentPageDir_ = dir;
  }
  dir[slot] = page;
  currentPageSlot_ = slot;
  bytesUsed_ = n;
  return page;
}

void* cBlockPool::AllocLarge(int32_t n) noexcept {
  if (firstBlockDir_ == nullptr) {
    void** dir = NewDirectory();
    if (dir == nullptr) return nullptr;
    firstBlockDir_ = currentBlockDir_ = dir;
    nextBlockSlot_ = 1;
  } else if (nextBlockSlot_ == slotsPerDirectory_) {
    void** dir = NewDirectory();
    if (dir == nullptr) return nullptr;
    currentBlockDir_[0] = dir;
    currentBlockDir_ = dir;
    nextBlockSlot_ = 1;
  }
  void* block = ::operator new(static_cast<size_t>(n), std::nothrow);
  if (block == nullptr) return nullptr;
  currentBlockDir_[nextBlockSlot_++] = block;
  return block;
}

void cBlockPool::FreeAll() noexcept {
  for (void** dir = firstBlockDir_; dir != nullptr;) {
    const int32_t end = dir == currentBlockDir_ ? nextBlockSlot_ : slotsPerDirectory_;
    for (int32_t i = 1; i < end; ++i) ::operator delete(dir[i]);
    void** next = static_cast<void**>(dir[0]);
    FreeDirectory(dir);
    dir = next;
  }
  firstBlockDir_ = currentBlockDir_ = nullptr;
  nextBlockSlot_ = 0;

  for (void** dir = firstPageDir_; dir != nullptr;) {
    const int32_t end = dir == currentPageDir_ ? currentPageSlot_ + 1 : slotsPerDirectory_;
    for (int32_t i = 1; i < end; ++i) tw::PageBlockFree(dir[i], static_cast<size_t>(pageSize_));
    void** next = static_cast<void**>(dir[0]);
    FreeDirectory(dir);
    dir = next;
  }
  firstPageDir_ = currentPageDir_ = nullptr;
  currentPageSlot_ = 0;
  bytesUsed_ = 0;
}
