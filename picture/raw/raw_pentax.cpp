// Pentax raw pieces; see the header.
#include "picture/raw/raw_pentax.h"

#include <cstring>

#include "picture/raw/raw_byte_bits.h"

bool BuildPentaxHuffman(const uint8_t* value, int32_t length, bool is22a, bool bigEndian, uint16_t* table) {
  if (value == nullptr || table == nullptr) return length < 2;
  if (is22a && length > 240) {
    value += 226;
    length -= 226;
  }
  if (length < 2) return true;
  auto u16 = [&](int32_t at) -> uint32_t {
    return bigEndian ? (uint32_t{value[at]} << 8 | value[at + 1]) : (uint32_t{value[at + 1]} << 8 | value[at]);
  };
  const int32_t n = static_cast<int32_t>((u16(0) - 4) & 15);
  // The lengths follow the codes: 3n + 14 bytes are read, not 2n + 14.
  if (length < 3 * n + 14) return false;
  std::memset(table, 0, sizeof(uint16_t) * kPentaxTableSize);
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t first = u16(14 + 2 * i);
    const uint32_t len = value[14 + 2 * n + i];
    // Lengths above 12 cover less than one entry; the shift is kept in
    // range so they fill nothing.
    const uint32_t span = len <= 12 ? (4096u >> len) : 0u;
    const uint32_t last = (first + span - 1) & 4095u;
    if (span == 0 || first > last) continue;
    for (uint32_t e = first; e <= last; ++e) table[1 + e] = static_cast<uint16_t>(len << 8 | static_cast<uint32_t>(i));
  }
  table[0] = 12;
  return true;
}

bool DecodePentaxHuffman(const uint8_t* strip, int64_t size, int32_t width, int32_t rows, int32_t bits,
                         const uint16_t* table, uint16_t* out) {
  if (table == nullptr || table[0] == 0 || width <= 0 || rows <= 0 || bits < 1 || bits > 16) return false;
  cRawByteBits reader(strip, size);
  uint16_t v[2][2] = {{0, 0}, {0, 0}};
  uint16_t h[2] = {0, 0};
  for (int32_t r = 0; r < rows; ++r) {
    uint16_t* row = out + int64_t{r} * width;
    for (int32_t x = 0; x < width; ++x) {
      const int32_t d = reader.GetDifference(table);
      if (x < 2) {
        v[r & 1][x] = static_cast<uint16_t>(v[r & 1][x] + d);
        h[x] = v[r & 1][x];
      } else {
        h[x & 1] = static_cast<uint16_t>(h[x & 1] + d);
      }
      const uint16_t s = h[x & 1];
      if (bits < 16 && (s >> bits) != 0) return false;
      row[x] = s;
    }
  }
  return true;
}
