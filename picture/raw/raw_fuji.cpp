// See raw_fuji.h.
#include "picture/raw/raw_fuji.h"

#include "picture/pict_area.h"
#include "picture/raw/raw_olympus.h"

namespace {
constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kHalfSqrt2 = 0.7071067811865475;
}  // namespace

uint64_t Raf12RowBytes(int32_t width, bool packedRows) {
  const uint64_t bytes = static_cast<uint64_t>(width > 0 ? width : 0) * 3 / 2;
  return packedRows ? (bytes + 11) / 12 * 12 : bytes;
}

uint64_t Raf14RowBytes(int32_t width) { return (static_cast<uint64_t>(width > 0 ? width : 0) * 14 + 7) / 8; }

void UnpackRaf12Row(const uint8_t* data, uint64_t size, int32_t width, bool packedRows, uint16_t* out) {
  if (packedRows) {
    // 12 bytes of little-endian words, most significant bit first: the
    // Olympus word packing. Whole groups only, and no sample past width.
    for (int32_t x = 0; x < width && static_cast<uint64_t>(x / 8 + 1) * 12 <= size; x += 8) {
      const int32_t n = width - x < 8 ? width - x : 8;
      UnpackOlympus12Row(data + static_cast<uint64_t>(x / 8) * 12, n, kOlympusPackWords, out + x);
    }
    return;
  }
  for (int32_t x = 0; x + 1 < width && static_cast<uint64_t>(x / 2 + 1) * 3 <= size; x += 2) {
    const uint8_t* b = data + static_cast<uint64_t>(x / 2) * 3;
    out[x] = static_cast<uint16_t>(b[0] | (b[1] & 0x0F) << 8);
    out[x + 1] = static_cast<uint16_t>(b[1] >> 4 | b[2] << 4);
  }
}

void UnpackRaf14Row(const uint8_t* data, uint64_t size, int32_t width, uint16_t* out) {
  for (int32_t x = 0; x + 16 <= width && static_cast<uint64_t>(x / 16 + 1) * 28 <= size; x += 16) {
    const uint8_t* b = data + static_cast<uint64_t>(x / 16) * 28;
    // Seven little-endian words as one 224-bit string, most significant first.
    uint32_t w[7];
    for (int k = 0; k < 7; ++k)
      w[k] = b[4 * k] | b[4 * k + 1] << 8 | b[4 * k + 2] << 16 | static_cast<uint32_t>(b[4 * k + 3]) << 24;
    for (int s = 0; s < 16; ++s) {
      const int first = 14 * s;  // bit index from the top
      uint32_t v = 0;
      for (int i = 0; i < 14; ++i) {
        const int bit = first + i;
        v = v << 1 | (w[bit / 32] >> (31 - bit % 32) & 1);
      }
      out[x + s] = static_cast<uint16_t>(v);
    }
  }
}

bool SuperCcdFrame(int32_t imageWidth, int32_t imageHeight, sSuperCcdFrame& frame) {
  if (imageWidth < 2 || imageHeight < 1) return false;
  const int64_t w = static_cast<int64_t>(imageHeight) + imageWidth / 2;
  if (w > 0x7FFFFFFF) return false;
  frame.s = imageWidth / 2;
  frame.h = imageHeight;
  frame.width = static_cast<int32_t>(w);
  frame.height = static_cast<int32_t>(w - 1);
  return true;
}

bool SuperCcdFrameFits(const sSuperCcdFrame& frame, int64_t& count) {
  int64_t samples = 0, pixels = 0;
  if (!pict_area::CheckedArea(frame.width, frame.height, 4, samples)) return false;
  if (!pict_area::CheckedArea(frame.width, frame.height, 1, pixels)) return false;
  count = pixels;
  return true;
}

void PlaceSuperCcd(const uint16_t* raw, int32_t rawWidth, int32_t rawHeight, const sSuperCcdFrame& f, bool layout,
                   bool swapBytes, uint16_t* rotated) {
  const int64_t fw = f.width, fh = f.height, s = f.s;
  for (int64_t r = 0; r < rawHeight; ++r) {
    const uint16_t* row = raw + r * rawWidth;
    const int64_t count = layout ? s : 2 * s;
    for (int64_t k = 0; k < count && k < rawWidth; ++k) {
      int64_t y, x;
      uint16_t v = row[k];
      if (layout) {
        y = r / 2 + s - 1 - k;
        x = (r + 1) / 2 + k;
      } else {
        y = s + r - k / 2 - 1;
        x = r + (k + 1) / 2;
        if (swapBytes) v = static_cast<uint16_t>(v >> 8 | v << 8);
      }
      if (y < 0 || y >= fh || x < 0 || x >= fw) continue;
      rotated[y * fw + x] = v;
    }
  }
}

bool SuperCcdOutputSize(const sSuperCcdFrame& f, int32_t left, int32_t right, int32_t top, int32_t bottom,
                        int32_t& u, int32_t& v) {
  const int64_t uu = static_cast<int64_t>(f.s * kSqrt2) - left - right;
  const int64_t vv = static_cast<int64_t>(f.h * kSqrt2) - top - bottom;
  if (uu <= 0 || vv <= 0 || uu > 0x7FFFFFFF || vv > 0x7FFFFFFF) return false;
  u = static_cast<int32_t>(uu);
  v = static_cast<int32_t>(vv);
  return true;
}

void TurnBackSuperCcd(const uint64_t* developed, const sSuperCcdFrame& f, int32_t left, int32_t bottom, int32_t u,
                      int32_t v, uint64_t* out) {
  for (int64_t y = 0; y < v; ++y) {
    for (int64_t x = 0; x < u; ++x) {
      const int64_t cx = static_cast<int64_t>((left + x - bottom - y + v) * kHalfSqrt2 + 0.5);
      const int64_t cy = static_cast<int64_t>((bottom + y + left + x) * kHalfSqrt2 + 0.5);
      out[y * u + x] = (cx >= 0 && cx < f.width && cy >= 0 && cy < f.height) ? developed[cy * f.width + cx]
                                                                             : uint64_t{0xFFFF} << 48;
    }
  }
}
