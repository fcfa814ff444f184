// Test-side encoders for the Sony codings: ARW1 (column Huffman), ARW2
// (16-sample blocks), packed 12-bit, SR2 private-data encryption and MRM
// blocks. Each returns the bytes and, where the coding loses bits, the
// samples a decoder must give back.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/picture/raw/raw_bits.h"

namespace rawtest {

// ARW1: (category, code length) in table order; codes canonical from the
// top of a 15-bit prefix space.
inline void Arw1Code(int category, uint32_t& code, int& length) {
  static const int pairs[][2] = {{17, 15}, {16, 15}, {15, 14}, {14, 13}, {13, 12}, {12, 11}, {11, 10}, {10, 9}, {9, 8},
                                 {8, 7},   {7, 6},   {6, 5},   {5, 4},   {4, 3},   {3, 3},   {0, 3},   {2, 2},  {1, 2}};
  uint32_t at = 0;
  for (const auto& p : pairs) {
    if (p[0] == category) {
      code = at >> (15 - p[1]);
      length = p[1];
      return;
    }
    at += 32768u >> p[1];
  }
  std::abort();
}

// samples: width x rows, 0..4095. Columns right to left; rows 0, 2, ...,
// then 1, 3, ... as the decoder walks them (rows past the image coded as 0).
inline std::vector<uint8_t> EncodeArw1(const std::vector<uint16_t>& samples, int width, int rows) {
  cBitWriter w;
  int32_t sum = 0;
  for (int col = width - 1; col >= 0; --col) {
    for (int64_t r = 0; r < rows + 9; r += 2) {
      if (r == rows + 8) r = 1;
      const int32_t want = r < rows ? samples[static_cast<size_t>(r) * width + col] : sum;
      const int32_t d = want - sum;
      int n = 0;
      while ((std::abs(d) >> n) != 0) ++n;
      uint32_t code;
      int len;
      Arw1Code(n, code, len);
      w.Put(code, len);
      if (n > 0) w.Put(static_cast<uint32_t>(d > 0 ? d : d + (1 << n) - 1), n);
      sum = want;
    }
  }
  auto out = w.Finish();
  for (int i = 0; i < 4; ++i) out.push_back(0);
  return out;
}

// ARW2: 11-bit samples in; rows of width bytes out, with the samples the
// decoder gives back (the block's quantisation, then >> 1).
inline std::vector<uint8_t> EncodeArw2(const std::vector<uint16_t>& samples11, int width, int rows,
                                       std::vector<uint16_t>& expected) {
  std::vector<uint8_t> out(static_cast<size_t>(width) * rows, 0);
  expected.assign(static_cast<size_t>(width) * rows, 0);
  for (int r = 0; r < rows; ++r) {
    int block = 0;
    for (int col = 0; col < width - 30; ++block) {
      int s[16];
      for (int i = 0; i < 16; ++i) s[i] = samples11[static_cast<size_t>(r) * width + col + 2 * i] & 0x7FF;
      int imax = 0, imin = 0;
      for (int i = 1; i < 16; ++i) {
        if (s[i] > s[imax]) imax = i;
        if (s[i] < s[imin]) imin = i;
      }
      if (imax == imin) imin = imax == 0 ? 1 : 0;
      const int max = s[imax], min = s[imin];
      int sh = 0;
      while (sh < 4 && (128 << sh) <= max - min) ++sh;
      // 128 bits, little-endian: max, min, imax, imin, then 14 x 7 bits.
      uint8_t b[17] = {};
      auto put = [&](int bit, uint32_t v, int n) {
        for (int k = 0; k < n; ++k)
          if ((v >> k) & 1u) b[(bit + k) >> 3] |= static_cast<uint8_t>(1u << ((bit + k) & 7));
      };
      put(0, static_cast<uint32_t>(max), 11);
      put(11, static_cast<uint32_t>(min), 11);
      put(22, static_cast<uint32_t>(imax), 4);
      put(26, static_cast<uint32_t>(imin), 4);
      int bit = 30;
      for (int i = 0; i < 16; ++i) {
        int got;
        if (i == imax) {
          got = max;
        } else if (i == imin) {
          got = min;
        } else {
          int q = (s[i] - min) >> sh;
          if (q > 127) q = 127;
          if (q < 0) q = 0;
          put(bit, static_cast<uint32_t>(q), 7);
          bit += 7;
          got = (q << sh) + min;
          if (got > 0x7FF) got = 0x7FF;
        }
        expected[static_cast<size_t>(r) * width + col + 2 * i] = static_cast<uint16_t>(got >> 1);
      }
      for (int k = 0; k < 16; ++k) out[static_cast<size_t>(r) * width + 16 * block + k] = b[k];
      col += 32;
      col -= (col & 1) ? 1 : 31;
    }
  }
  return out;
}

inline std::vector<uint8_t> PackSony12(const std::vector<uint16_t>& s, bool bigEndian) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    const uint32_t a = s[i] & 0xFFF, b = s[i + 1] & 0xFFF;
    if (bigEndian) {
      out.push_back(static_cast<uint8_t>(a >> 4));
      out.push_back(static_cast<uint8_t>((a & 15) << 4 | b >> 8));
      out.push_back(static_cast<uint8_t>(b));
    } else {
      out.push_back(static_cast<uint8_t>(a));
      out.push_back(static_cast<uint8_t>(a >> 8 | (b & 15) << 4));
      out.push_back(static_cast<uint8_t>(b >> 4));
    }
  }
  return out;
}

// The SR2 key stream, computed up front: 127 seeded words, then each word
// the xor of the ones 128 and 64 before it (as the decoder's ring holds).
inline void Sr2Encrypt(std::vector<uint8_t>& buf, uint32_t key) {
  const size_t words = buf.size() / 4;
  std::vector<uint32_t> k(128 + words, 0);
  for (int p = 0; p < 4; ++p) {
    key = key * 48828125u + 1u;
    k[p] = key;
  }
  k[3] = k[3] << 1 | (k[0] ^ k[2]) >> 31;
  for (int p = 4; p < 127; ++p) k[p] = (k[p - 4] ^ k[p - 2]) << 1 | (k[p - 3] ^ k[p - 1]) >> 31;
  for (int p = 0; p < 127; ++p) k[p] = __builtin_bswap32(k[p]);
  // Ring slot (p - 1) & 127 takes word p, so slot q holds word q + 1 + 128 m.
  for (size_t i = 0; i < words; ++i) {
    const size_t p = 128 + i;
    // pad[p & 127] is word p - 127 when it was overwritten (p - 127 >= 128),
    // else the seed word p & 127; likewise for (p + 64) & 127.
    auto slot = [&](size_t q) -> uint32_t {
      // Latest word written into ring slot q before step p.
      size_t best = q;  // the seed
      for (size_t x = 128; x < p; ++x)
        if (((x - 1) & 127) == q) best = x;
      return k[best];
    };
    k[p] = slot(p & 127) ^ slot((p + 64) & 127);
    for (int b = 0; b < 4; ++b) buf[4 * i + b] ^= static_cast<uint8_t>(k[p] >> (8 * b));
  }
}

inline void PutBe32(std::vector<uint8_t>& v, uint32_t x, bool be) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(be ? x >> (24 - 8 * i) : x >> (8 * i)));
}

// An MRM block: sub-blocks "PRD" (8 bytes) and, when wbg, "WBG" with four
// levels after 4 skipped bytes.
inline std::vector<uint8_t> MrmBlock(bool be, bool wbg, const uint16_t levels[4]) {
  std::vector<uint8_t> body;
  body.insert(body.end(), {0, 'P', 'R', 'D'});
  PutBe32(body, 8, be);
  for (int i = 0; i < 8; ++i) body.push_back(static_cast<uint8_t>(i));
  if (wbg) {
    body.insert(body.end(), {0, 'W', 'B', 'G'});
    PutBe32(body, 12, be);
    body.insert(body.end(), {1, 2, 3, 4});
    for (int i = 0; i < 4; ++i) {
      body.push_back(static_cast<uint8_t>(be ? levels[i] >> 8 : levels[i]));
      body.push_back(static_cast<uint8_t>(be ? levels[i] : levels[i] >> 8));
    }
  }
  std::vector<uint8_t> out = {0, 'M', 'R', static_cast<uint8_t>(be ? 'M' : 'I')};
  PutBe32(out, static_cast<uint32_t>(body.size()), be);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace rawtest
