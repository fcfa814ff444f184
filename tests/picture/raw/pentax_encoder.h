// Test-side encoder for the Pentax Huffman coding: the table lives in the
// maker note, so the encoder chooses its own code lengths, writes the table
// value and codes the strip with it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/picture/raw/raw_bits.h"

namespace rawtest {

// Categories 0..12 with these code lengths (a complete-enough prefix code).
inline const int kLengths[13] = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9, 10};

struct sPentaxCodes {
  std::vector<uint32_t> first;  // left-aligned 12-bit codes
  std::vector<uint8_t> tag;     // the maker-note value
};

inline sPentaxCodes MakeCodes(bool be, bool pad226) {
  sPentaxCodes c;
  uint32_t at = 0;
  for (int len : kLengths) {
    c.first.push_back(at);
    at += 4096u >> len;
  }
  const int n = 13;
  std::vector<uint8_t> v(14 + 3 * n, 0);
  auto put = [&](size_t pos, uint32_t x) {
    v[pos] = static_cast<uint8_t>(be ? x >> 8 : x);
    v[pos + 1] = static_cast<uint8_t>(be ? x : x >> 8);
  };
  put(0, n + 4);
  for (int i = 0; i < n; ++i) put(14 + 2 * i, c.first[i]);
  for (int i = 0; i < n; ++i) v[14 + 2 * n + i] = static_cast<uint8_t>(kLengths[i]);
  if (pad226) v.insert(v.begin(), 226, 0x77);
  c.tag = v;
  return c;
}

inline std::vector<uint8_t> EncodePentax(const std::vector<uint16_t>& s, int width, int rows, const sPentaxCodes& codes) {
  cBitWriter w;
  int32_t v[2][2] = {{0, 0}, {0, 0}};
  int32_t h[2] = {0, 0};
  for (int r = 0; r < rows; ++r)
    for (int x = 0; x < width; ++x) {
      const int32_t pred = x < 2 ? v[r & 1][x] : h[x & 1];
      const int32_t want = s[static_cast<size_t>(r) * width + x];
      const int32_t d = want - pred;
      int n = 0;
      while ((std::abs(d) >> n) != 0) ++n;
      w.Put(codes.first[n] >> (12 - kLengths[n]), kLengths[n]);
      if (n > 0) w.Put(static_cast<uint32_t>(d > 0 ? d : d + (1 << n) - 1), n);
      if (x < 2) {
        v[r & 1][x] = want;
        h[x] = want;
      } else {
        h[x & 1] = want;
      }
    }
  auto out = w.Finish();
  // Slack after the data, as cameras leave: the reader looks 12 bits ahead.
  for (int i = 0; i < 4; ++i) out.push_back(0);
  return out;
}


}  // namespace rawtest
