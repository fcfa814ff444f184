// Whole blocks of memory straight from the operating system, for allocators
// that hand out pieces of large pages themselves (the arena of block_pool.h).
// Win32: VirtualAlloc / VirtualFree (page_memory_win32.cpp); elsewhere mmap /
// munmap (page_memory_posix.cpp). Blocks are zero-filled, readable and
// writable, and aligned to at least the system page size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tw {

// Reserves and commits bytes (> 0); null when the system refuses.
void* PageBlockAlloc(size_t bytes) noexcept;

// Releases a block from PageBlockAlloc; bytes is the size it was asked for.
// Null does nothing.
void PageBlockFree(void* block, size_t bytes) noexcept;

// Blocks allocated and not yet freed, process-wide; lets tests see that an
// owner returned everything it took.
int64_t PageBlocksInUse() noexcept;

}  // namespace tw
