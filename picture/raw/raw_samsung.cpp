// Samsung raw pieces; see the header.
#include "picture/raw/raw_samsung.h"

#include <cstring>
#include <vector>

#include "picture/raw/raw_bits.h"
#include "picture/raw/raw_byte_bits.h"

namespace {

struct sSamsungRow {
  const char* name;
  int32_t least;  // byte count the value must have
  bool exact;     // the terminator is compared too
  sSamsungModel m;
};

const sSamsungRow kRows[] = {
    {"NX mini", 8, false, {96, 25, 17, 0, false, false}},
    {"EX2F", 5, false, {0, 105, 0, 10, false, false}},
    {"EK-GN120", 9, true, {0, 8, 0, 19, false, true}},
    {"WB2000", 6, false, {0, 11, 2, 2, false, false}},
    {"NX2000", 7, false, {1, 0, 0, 20, false, false}},
    {"NX1000", 7, false, {46, 57, 2, 60, false, false}},
    {"NX20", 5, true, {46, 57, 2, 60, false, false}},
    {"NX200", 6, true, {46, 57, 2, 60, false, false}},
    {"NX210", 6, true, {46, 57, 2, 60, false, false}},
    {"NX10 ", 5, false, {8, 8, 8, 0, true, false}},
    {"NX11 ", 5, false, {8, 8, 8, 0, true, false}},
    {"NX100 ", 6, false, {8, 8, 8, 0, true, false}},
    {"NX30", 5, true, {0, 9, 0, 20, false, false}},
    {"EX1    ", 8, true, {0, 6, 0, 20, false, false}},
    {"NX300", 6, true, {1, 9, 0, 20, false, false}},
    {"NX3000", 7, false, {97, 32, 37, 26, false, false}},
};

int32_t SignExtend(uint32_t v, int32_t n) {
  if (n == 0) return 0;
  return (v & (1u << (n - 1))) != 0 ? static_cast<int32_t>(v) - (1 << n) : static_cast<int32_t>(v);
}

uint16_t At(const sSamsungRaster& r, int64_t row, int64_t col) {
  if (row < 0 || row >= r.height || col < 0 || col >= r.width) return 0;
  return r.samples[row * r.width + col];
}

void Set(sSamsungRaster& r, int64_t row, int64_t col, int32_t v) {
  if (row < 0 || row >= r.height || col < 0 || col >= r.width) return;
  r.samples[row * r.width + col] = static_cast<uint16_t>(v);
}

bool StripFits(const sSamsungRaster& raster, int32_t firstRow, int32_t rows) {
  return raster.samples != nullptr && raster.width > 0 && firstRow >= 0 && rows > 0 &&
         int64_t{firstRow} + rows <= raster.height;
}

}  // namespace

bool ApplySamsungModel(const uint8_t* value, int32_t size, sSamsungModel& m) {
  if (value == nullptr) return false;
  for (const auto& row : kRows) {
    const int32_t n = static_cast<int32_t>(std::strlen(row.name));
    if (size < row.least) continue;
    if (std::memcmp(value, row.name, static_cast<size_t>(n)) != 0) continue;
    if (row.exact && value[n] != 0) continue;
    m = row.m;
    return true;
  }
  return false;
}

bool SamsungDecodeRowOffset(const uint8_t* strip, int64_t size, const uint32_t* rowOffsets, sSamsungRaster& raster,
                            int32_t firstRow, int32_t rows) {
  if (!StripFits(raster, firstRow, rows) || rowOffsets == nullptr) return false;
  const int32_t width = raster.width;
  for (int32_t r = 0; r < rows; ++r) {
    if (int64_t{rowOffsets[r]} >= size) return false;
    cWordBitReader bits(strip, static_cast<size_t>(size));
    bits.Restart(rowOffsets[r]);
    const int64_t y = int64_t{firstRow} + r;
    int32_t len[4];
    for (int32_t& l : len) l = r < 2 ? 7 : 4;
    for (int32_t col = 0; col < width; col += 16) {
      const bool dir = bits.Get(1) != 0;
      int32_t op[4];
      for (int32_t& o : op) o = static_cast<int32_t>(bits.Get(2));
      for (int c = 0; c < 4; ++c) {
        if (op[c] == 1) ++len[c];
        if (op[c] == 2) --len[c];
        if (op[c] == 3) len[c] = static_cast<int32_t>(bits.Get(4));
        if (len[c] < 0 || len[c] > 16) return false;
      }
      for (int32_t k = 0; k < 16; ++k) {
        const int32_t c = k < 8 ? 2 * k : 2 * (k - 8) + 1;
        const int32_t n = len[((c & 1) << 1) | (c >> 3)];
        int32_t pred;
        if (dir) {
          const int64_t above = y - ((c & 1) == 0 ? 1 : 2);
          if (above < 0) {
            // No row to predict from: the difference is read and the
            // sample left 0, as LibRaw leaves it.
            bits.Get(n);
            Set(raster, y, int64_t{col} + c, 0);
            continue;
          }
          pred = At(raster, above, int64_t{col} + c);
        } else {
          pred = col == 0 ? 128 : At(raster, y, int64_t{col} + c - ((c & 1) == 0 ? 2 : 1));
        }
        Set(raster, y, int64_t{col} + c, pred + SignExtend(bits.Get(n), n));
      }
    }
  }
  for (int32_t r = 0; r + 1 < rows; r += 2) {
    const int64_t y = int64_t{firstRow} + r;
    for (int32_t c = 0; c + 1 < width; c += 2) {
      uint16_t& a = raster.samples[y * width + c + 1];
      uint16_t& b = raster.samples[(y + 1) * width + c];
      const uint16_t t = a;
      a = b;
      b = t;
    }
  }
  return true;
}

bool SamsungDecodeHuffman(const uint8_t* strip, int64_t size, sSamsungRaster& raster, int32_t firstRow, int32_t rows,
                          int32_t bits) {
  static const uint8_t kPairs[][2] = {{4, 3}, {7, 3}, {6, 2}, {5, 2},  {3, 4},  {0, 6}, {9, 7},
                                      {10, 8}, {11, 9}, {12, 10}, {13, 10}, {1, 5}, {8, 4}, {2, 4}};
  static const std::vector<uint16_t> table = BuildPairTable(10, kPairs, 14);
  if (!StripFits(raster, firstRow, rows) || bits < 1 || bits > 16) return false;
  cRawByteBits reader(strip, size);
  uint16_t v[2][2] = {{0, 0}, {0, 0}};
  uint16_t h[2] = {0, 0};
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t col = 0; col < raster.width; ++col) {
      const int32_t d = reader.GetDifference(table.data());
      if (reader.IsDry()) return true;
      if (col < 2) {
        v[r & 1][col] = static_cast<uint16_t>(v[r & 1][col] + d);
        h[col] = v[r & 1][col];
      } else {
        h[col & 1] = static_cast<uint16_t>(h[col & 1] + d);
      }
      const uint16_t s = h[col & 1];
      if (bits < 16 && (s >> bits) != 0) return false;
      raster.samples[(int64_t{firstRow} + r) * raster.width + col] = s;
    }
  }
  return true;
}

bool SamsungDecodeBlocks(const uint8_t* strip, int64_t size, sSamsungRaster& raster, int32_t firstRow, int32_t rows) {
  if (!StripFits(raster, firstRow, rows) || size < 16) return false;
  const int32_t opt = strip[9];
  const int32_t init = strip[12] | strip[13] << 8;
  const int32_t width = raster.width;
  int64_t p = 16;
  int32_t len[4] = {0, 0, 0, 0};
  static const char kPa[] = "0224468";
  static const char kPb[] = "0244668";
  for (int32_t r = 0; r < rows; ++r) {
    cWordBitReader bits(strip, static_cast<size_t>(size));
    bits.Restart(static_cast<size_t>(p));
    const int64_t y = int64_t{firstRow} + r;
    int32_t mag = 0, pmode = 7;
    int32_t lent[3][2];
    for (auto& l : lent) l[0] = l[1] = r < 2 ? 7 : 4;
    // The two prediction rows of the averaged modes, read through the
    // raster (columns outside it give 0).
    auto P = [&](int32_t which, int64_t k) -> int32_t {
      if (which == (r & 1)) return At(raster, y - 1, k + 1 - 2 * (r & 1));
      return At(raster, y - 2, k);
    };
    for (int32_t tab = 0; tab + 15 < width; tab += 16) {
      if ((opt & 4) == 0 && (tab & 63) == 0) {
        const int32_t i = static_cast<int32_t>(bits.Get(2));
        if (i == 3)
          mag = static_cast<int32_t>(bits.Get(12));
        else
          mag += "204"[i] - '0' - 2;
      }
      if ((opt & 2) != 0)
        pmode = 7 - 4 * static_cast<int32_t>(bits.Get(1));
      else if (bits.Get(1) == 0)
        pmode = static_cast<int32_t>(bits.Get(3));
      if ((opt & 1) == 0 && bits.Get(1) != 0) {
        // A block that keeps its lengths codes no differences: lengths 0.
        for (int32_t& l : len) l = 0;
      } else {
        for (int32_t c = 0; c < 4; ++c) {
          const int32_t code = static_cast<int32_t>(bits.Get(2));
          const int32_t i = (((r & 1) << 1) | (c & 1)) % 3;
          len[c] = code < 3 ? lent[i][0] + "120"[code] - '0' - 1 : static_cast<int32_t>(bits.Get(4));
          lent[i][0] = lent[i][1];
          lent[i][1] = len[c];
        }
      }
      for (int32_t c = 0; c < 4; ++c)
        if (len[c] < 0 || len[c] > 16) return false;
      for (int32_t c = 0; c < 16; ++c) {
        const int32_t col = tab + ((((c & 7) << 1) ^ (c >> 3) ^ (r & 1)));
        int32_t pred;
        if (pmode == 7 || r < 2) {
          pred = tab == 0 ? init : At(raster, y, int64_t{tab} - 2 + (col & 1));
        } else {
          const int32_t a = kPa[pmode] - '0' - 4, b = kPb[pmode] - '0' - 4;
          pred = (P(col & 1, int64_t{col} + a) + P(col & 1, int64_t{col} + b) + 1) >> 1;
        }
        const int32_t n = len[c >> 2];
        int32_t d = static_cast<int32_t>(bits.Get(n));
        if (n > 0 && (d & (1 << (n - 1))) != 0) d -= 1 << n;
        d = d * (2 * mag + 1) + mag;
        Set(raster, y, col, pred + d);
      }
    }
    p += static_cast<int64_t>(bits.BytesTaken());
    p = (p + 15) & ~int64_t{15};
  }
  return true;
}
