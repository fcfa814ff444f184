// cBlockPool: an arena. Small allocations are cut one after the other out of
// 64 KiB pages, allocations of a page or more come from the heap, and
// everything is released at once by FreeAll; nothing is freed one by one.
//
// Pages and the directories that list them come from page_memory.h. A
// directory is one block of slotsPerDirectory pointers: slot 0 links the next
// directory of its chain, slots 1.. hold pages (page chain) or heap blocks
// (block chain). Allocations are not aligned: consecutive small allocations
// are consecutive bytes of one page, and the tail of a page that a request
// does not fit into stays unused.
//
// Not thread-safe: one owner uses an arena at a time.
#pragma once

#include <cstdint>

class cBlockPool {
public:
  static constexpr int32_t kSlotsPerDirectory = 16384;
  static constexpr int32_t kPageSize = 65536;

  cBlockPool() = default;
  // A smaller geometry for tests that need to reach directory chaining
  // without committing a gigabyte of pages. slotsPerDirectory >= 2 and
  // pageSize >= 1; other values fall back to the defaults.
  cBlockPool(int32_t slotsPerDirectory, int32_t pageSize);
  cBlockPool(const cBlockPool&) = delete;
  cBlockPool& operator=(const cBlockPool&) = delete;
  ~cBlockPool() { FreeAll(); }

  // n bytes that stay valid until FreeAll, or null when memory runs out (the
  // arena is then as it was) or n is negative. n below the page size is cut
  // from the current page, or from a new page when it does not fit; larger
  // requests take a heap block.
  void* Alloc(int32_t n) noexcept;

  // Releases every block, page and directory; the arena can be used again.
  void FreeAll() noexcept;

private:
  void** NewDirectory() noexcept;
  void FreeDirectory(void** dir) noexcept;
  void* AllocSmall(int32_t n) noexcept;
  void* AllocLarge(int32_t n) noexcept;

  int32_t slotsPerDirectory_ = kSlotsPerDirectory;
  int32_t pageSize_ = kPageSize;
  void** firstPageDir_ = nullptr;
  void** currentPageDir_ = nullptr;
  int32_t currentPageSlot_ = 0;  // 1..slots-1 while a page chain exists
  int32_t bytesUsed_ = 0;        // in the page being filled
  void** firstBlockDir_ = nullptr;
  void** currentBlockDir_ = nullptr;
  int32_t nextBlockSlot_ = 0;    // first free slot of the current block directory
};
