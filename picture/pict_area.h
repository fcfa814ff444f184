// Checked sizes for pixel and sample buffers whose dimensions come from a
// file. Every decoder that allocates from header fields asks here first, so
// that a width of 2^31, a negative count or a product that overflows 32 bits
// is refused before any arithmetic reaches an allocation.
//
// Rules:
//  a. Every factor must be positive; products are formed in 64 bits.
//  b. kMaxSamples (2^28 samples: 1 GiB of 32-bit pixels) is the cap; a
//     32-bit process cannot hold more beside its other buffers anyway.
//  c. Out-parameters are written only on success.
#pragma once

#include <cstdint>

namespace pict_area {

constexpr int64_t kMaxSamples = int64_t{1} << 28;

// width * height * samples (samples 1 for pixel counts); false when a factor
// is not positive or the product exceeds the cap.
inline bool CheckedArea(int64_t width, int64_t height, int64_t samples, int64_t& count) {
  if (width <= 0 || height <= 0 || samples <= 0) return false;
  if (width > kMaxSamples || height > kMaxSamples || samples > kMaxSamples) return false;
  const int64_t wh = width * height;  // both at most 2^28: no overflow
  if (wh > kMaxSamples) return false;
  const int64_t n = wh * samples;  // at most 2^56
  if (n > kMaxSamples) return false;
  count = n;
  return true;
}

// Bytes of one row of width pixels of samples samples of bits bits each,
// rounded up to whole bytes; false when a factor is not positive or the row
// holds more than the cap of samples or bits is above 64.
inline bool CheckedRowBytes(int64_t width, int64_t samples, int64_t bits, int64_t& bytes) {
  int64_t n = 0;
  if (bits <= 0 || bits > 64 || !CheckedArea(width, 1, samples, n)) return false;
  bytes = (n * bits + 7) / 8;
  return true;
}

}  // namespace pict_area
