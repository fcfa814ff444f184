// Win32 side of page_memory.h: the only place the arena meets VirtualAlloc.
#include "base/page_memory.h"

#include <windows.h>

#include <atomic>

namespace tw {
namespace {
std::atomic<int64_t> gBlocksInUse{0};
}

void* PageBlockAlloc(size_t bytes) noexcept {
  if (bytes == 0) return nullptr;
  void* p = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (p != nullptr) gBlocksInUse.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void PageBlockFree(void* block, size_t /*bytes*/) noexcept {
  if (block == nullptr) return;
  // MEM_RELEASE takes size 0 and frees the whole reservation.
  if (VirtualFree(block, 0, MEM_RELEASE)) gBlocksInUse.fetch_sub(1, std::memory_order_relaxed);
}

int64_t PageBlocksInUse() noexcept { return gBlocksInUse.load(std::memory_order_relaxed); }

}  // namespace tw
