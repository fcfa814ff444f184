// See raw_phaseone.h.
#include "picture/raw/raw_phaseone.h"

#include "picture/raw/raw_bits.h"

namespace {
const int32_t kLengths[10] = {8, 7, 6, 9, 11, 10, 5, 12, 14, 13};
}  // namespace

bool DecodeIiqRow(const uint8_t* data, size_t size, int32_t width, uint16_t* out) {
  cWordBitReader bits(data, size);
  int32_t pred[2] = {0, 0};
  int32_t len[2] = {0, 0};
  const int32_t literalFrom = width & ~7;
  for (int32_t c = 0; c < width; ++c) {
    if (c >= literalFrom) {
      len[0] = len[1] = 14;
    } else if ((c & 7) == 0) {
      for (int i = 0; i < 2; ++i) {
        int32_t j = 0;
        while (j < 5 && bits.Get(1) == 0) ++j;
        if (j > 0) len[i] = kLengths[(j - 1) * 2 + static_cast<int32_t>(bits.Get(1))];
      }
    }
    const int32_t n = len[c & 1];
    if (n == 0) return false;
    if (n == 14) {
      pred[c & 1] = static_cast<int32_t>(bits.Get(16));
    } else {
      pred[c & 1] += static_cast<int32_t>(bits.Get(n)) + 1 - (1 << (n - 1));
    }
    if (pred[c & 1] < 0 || pred[c & 1] > 0xFFFF) return false;
    out[c] = static_cast<uint16_t>(pred[c & 1]);
  }
  return true;
}

void BuildIiqCurve(uint16_t curve[256]) {
  for (int32_t i = 0; i < 256; ++i) curve[i] = static_cast<uint16_t>(static_cast<int32_t>(i * i / 3.969 + 0.5));
}

uint16_t IiqSample(const sIiqBlack& b, const uint16_t curve[256], int32_t row, int32_t column, uint16_t v) {
  int64_t s = (b.format == 5 && v < 256) ? curve[v] : v;
  s = 4 * s - b.black;
  if (b.rowBlack) s += row < b.splitRow ? b.rowBlack[column] : b.rowBlack[b.width + column];
  if (b.columnBlack) s += column < b.splitColumn ? b.columnBlack[row] : b.columnBlack[b.height + row];
  return static_cast<uint16_t>(s < 0 ? 0 : (s > 0xFFFF ? 0xFFFF : s));
}
