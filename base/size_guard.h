// The size guard of every owned allocation: a byte count that does not fit in
// 32 bits (or a negative item count) is an allocation failure, never a short
// array. The 64-bit native build applies the same 32-bit bound, so both
// targets fail alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace tw {

// Bytes for n items of itemSize bytes; throws std::bad_alloc where the
// 32-bit product would overflow or n is negative.
inline size_t GuardedBytes(int64_t n, size_t itemSize) {
  if (n < 0 || n > 0xFFFFFFFFll) throw std::bad_alloc();
  const uint64_t bytes = static_cast<uint64_t>(n) * itemSize;  // no 64-bit overflow: both < 2^32
  if (bytes > 0xFFFFFFFFull) throw std::bad_alloc();
  return static_cast<size_t>(bytes);
}

// Raw storage for n items; never returns null.
inline void* GuardedAlloc(int64_t n, size_t itemSize) {
  return ::operator new(GuardedBytes(n, itemSize));
}

inline void GuardedFree(void* p) noexcept { ::operator delete(p); }

}  // namespace tw
