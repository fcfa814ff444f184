// Test-side encoder for the Nikon Huffman coding: canonical codes from the
// six fixed trees, the two predictor pairs, the split row, and the choice of
// the nearest representable difference where a tree drops low bits. It also
// writes linearisation tables. The encoder keeps its own model of what the
// decoder reconstructs, which is the expected dump.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "picture/raw/raw_nikon_unpack.h"
#include "tests/picture/raw/raw_bits.h"

namespace rawtest {

struct sNikonCode {
  uint32_t code;
  int length;
  uint8_t symbol;
};

// Canonical codes in the order the lookup table is filled.
inline std::vector<sNikonCode> NikonCodes(int tree) {
  const uint8_t* t = kNikonHuffmanTrees[tree];
  std::vector<sNikonCode> out;
  uint32_t code = 0;
  int at = 16;
  for (int k = 1; k <= 16; ++k) {
    for (int j = 0; j < t[k - 1]; ++j) out.push_back({code++, k, t[at++]});
    code <<= 1;
  }
  return out;
}

inline int32_t NikonDiffOf(uint8_t symbol, uint32_t raw) {
  const int len = symbol & 15, shl = symbol >> 4;
  int32_t d = static_cast<int32_t>(((2 * raw + 1) << shl) >> 1);
  if (len > 0 && (d & (1 << (len - 1))) == 0) d -= (1 << len) - (shl == 0 ? 1 : 0);
  return d;
}

// The raw bits that bring symbol closest to d, and the difference they give.
inline void NikonBestRaw(uint8_t symbol, int32_t d, uint32_t& raw, int32_t& got) {
  const int len = symbol & 15, shl = symbol >> 4, nb = len - shl;
  if (nb <= 0) {
    raw = 0;
    got = NikonDiffOf(symbol, 0);
    return;
  }
  const int64_t half = int64_t{1} << (nb - 1);
  int64_t guess;
  if (shl == 0) {
    guess = d > 0 ? d : d + (int64_t{1} << len) - 1;
  } else {
    const int64_t d0 = d > 0 ? d : d + (int64_t{1} << len);
    guess = (d0 - (int64_t{1} << (shl - 1))) >> shl;
  }
  int64_t bestErr = -1;
  for (int64_t r = guess - 1; r <= guess + 1; ++r)
    for (int64_t c : {r, int64_t{0}, half - 1, half, (int64_t{1} << nb) - 1}) {
      if (c < 0 || c >= (int64_t{1} << nb)) continue;
      const int32_t g = NikonDiffOf(symbol, static_cast<uint32_t>(c));
      const int64_t err = std::llabs(int64_t{g} - d);
      if (bestErr < 0 || err < bestErr) {
        bestErr = err;
        raw = static_cast<uint32_t>(c);
        got = g;
      }
    }
}

struct sNikonStream {
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> values;  // what the decoder reconstructs, before the curve
};

// target: width x rows samples. tree: the first tree; splitRow (0 = none)
// switches to tree + 1. vpred: the table's predictors.
inline sNikonStream EncodeNikonHuffman(const std::vector<uint16_t>& target, int width, int rows, int tree,
                                       int splitRow, const uint16_t vpredInit[4]) {
  sNikonStream out;
  out.values.resize(target.size());
  cBitWriter w;
  std::vector<sNikonCode> codes = NikonCodes(tree);
  uint16_t vpred[2][2] = {{vpredInit[0], vpredInit[1]}, {vpredInit[2], vpredInit[3]}};
  for (int row = 0; row < rows; ++row) {
    if (splitRow != 0 && row == splitRow) codes = NikonCodes(tree + 1);
    uint16_t hpred[2] = {0, 0};
    for (int c = 0; c < width; ++c) {
      const uint16_t pred = c < 2 ? vpred[row & 1][c] : hpred[c & 1];
      const int32_t want = static_cast<int32_t>(target[static_cast<size_t>(row) * width + c]) -
                           static_cast<int16_t>(pred);
      const sNikonCode* best = nullptr;
      uint32_t bestRaw = 0;
      int32_t bestGot = 0;
      for (const sNikonCode& code : codes) {
        uint32_t raw = 0;
        int32_t got = 0;
        NikonBestRaw(code.symbol, want, raw, got);
        if (best == nullptr || std::llabs(int64_t{got} - want) < std::llabs(int64_t{bestGot} - want) ||
            (got == bestGot && code.length < best->length)) {
          best = &code;
          bestRaw = raw;
          bestGot = got;
        }
      }
      w.Put(best->code, best->length);
      const int nb = (best->symbol & 15) - (best->symbol >> 4);
      if (nb > 0) w.Put(bestRaw, nb);
      if (c < 2) {
        vpred[row & 1][c] = static_cast<uint16_t>(vpred[row & 1][c] + bestGot);
        hpred[c] = vpred[row & 1][c];
      } else {
        hpred[c & 1] = static_cast<uint16_t>(hpred[c & 1] + bestGot);
      }
      out.values[static_cast<size_t>(row) * width + c] = hpred[c & 1];
    }
  }
  out.bytes = w.Finish();
  // A few bytes of slack, as cameras leave.
  for (int i = 0; i < 8; ++i) out.bytes.push_back(0);
  return out;
}

inline void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x, bool be) {
  if (v.size() < at + 2) v.resize(at + 2, 0);
  v[at] = static_cast<uint8_t>(be ? x >> 8 : x);
  v[at + 1] = static_cast<uint8_t>(be ? x : x >> 8);
}

// A linearisation table: version bytes, predictors, point count and points
// (for 0x44 0x20 with a split row, the split row at byte 562 in splitBe
// order).
inline std::vector<uint8_t> NikonLinearisation(uint8_t ver0, uint8_t ver1, const uint16_t vpred[4],
                                               const std::vector<uint16_t>& points, bool be, int splitRow = -1,
                                               bool splitBe = false) {
  std::vector<uint8_t> t(12, 0);
  t[0] = ver0;
  t[1] = ver1;
  for (int i = 0; i < 4; ++i) Put16(t, 2 + 2 * i, vpred[i], be);
  Put16(t, 10, static_cast<uint32_t>(points.size()), be);
  for (size_t i = 0; i < points.size(); ++i) Put16(t, 12 + 2 * i, points[i], be);
  if (splitRow >= 0) Put16(t, 562, static_cast<uint32_t>(splitRow), splitBe);
  return t;
}

}  // namespace rawtest
