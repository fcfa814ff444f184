// Native stand-in for page_memory.h: anonymous private mappings give the same
// zero-filled, page-aligned blocks that VirtualAlloc does on Windows.
#include "base/page_memory.h"

#include <sys/mman.h>

#include <atomic>

namespace tw {
namespace {
std::atomic<int64_t> gBlocksInUse{0};
}

void* PageBlockAlloc(size_t bytes) noexcept {
  if (bytes == 0) return nullptr;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  gBlocksInUse.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void PageBlockFree(void* block, size_t bytes) noexcept {
  if (block == nullptr) return;
  if (munmap(block, bytes) == 0) gBlocksInUse.fetch_sub(1, std::memory_order_relaxed);
}

int64_t PageBlocksInUse() noexcept { return gBlocksInUse.load(std::memory_order_relaxed); }

}  // namespace tw
