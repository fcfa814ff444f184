// Test-side encoders for the three Samsung codings. The row-offset and
// Huffman encoders code a given raster exactly; the block encoder is a
// generator: it draws random lengths, modes and differences, writes them in
// the coding's syntax and keeps the raster a decoder must rebuild.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/picture/raw/raw_bits.h"

namespace rawtest {

inline int SignedBits(int32_t d) {
  int n = 0;
  while (n < 16 && !(d >= -(1 << n >> 1) && d <= ((1 << n) >> 1) - 1)) ++n;
  if (d == 0) return 0;
  return n;
}

struct sSamsungStrip {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> rowOffsets;
};

// Row-offset coding of rows [first, first + rows) of target (width a
// multiple of 16). model holds the decoded rows above (final form); the
// strip's own rows are coded in the order before the green exchange.
// allDir: every block from row 2 on predicts from the rows above (else a
// random choice per block).
inline sSamsungStrip EncodeSamsungRowOffset(const std::vector<uint16_t>& target, int width, int first, int rows,
                                            uint32_t seed, bool allDir = false) {
  cRandom rnd(seed);
  std::vector<uint16_t> pre = target;  // the strip's rows before the exchange
  for (int r = 0; r + 1 < rows; r += 2)
    for (int c = 0; c + 1 < width; c += 2)
      std::swap(pre[static_cast<size_t>(first + r) * width + c + 1], pre[static_cast<size_t>(first + r + 1) * width + c]);
  auto S = [&](int y, int x) -> int32_t { return pre[static_cast<size_t>(y) * width + x]; };
  sSamsungStrip out;
  for (int r = 0; r < rows; ++r) {
    // Rows start at word-aligned offsets, with a gap of junk between them.
    while (out.bytes.size() % 4 != 0) out.bytes.push_back(0xA5);
    out.rowOffsets.push_back(static_cast<uint32_t>(out.bytes.size()));
    cBitWriter w;
    const int y = first + r;
    int len[4];
    for (int& l : len) l = r < 2 ? 7 : 4;
    for (int col = 0; col < width; col += 16) {
      const bool dir = y >= 2 && (allDir || (rnd.Next() & 1) != 0);
      int need[4] = {0, 0, 0, 0};
      int32_t resid[16];
      for (int c = 0; c < 16; ++c) {
        int32_t pred;
        if (dir)
          pred = S(y - ((c & 1) == 0 ? 1 : 2), col + c);
        else
          pred = col == 0 ? 128 : S(y, col + c - ((c & 1) == 0 ? 2 : 1));
        resid[c] = S(y, col + c) - pred;
        const int g = ((c & 1) << 1) | (c >> 3);
        need[g] = std::max(need[g], SignedBits(resid[c]));
      }
      w.Put(dir ? 1 : 0, 1);
      int op[4];
      for (int g = 0; g < 4; ++g) {
        if (need[g] == len[g]) op[g] = 0;
        else if (need[g] == len[g] + 1) op[g] = 1;
        else if (need[g] == len[g] - 1) op[g] = 2;
        else op[g] = 3;
        w.Put(static_cast<uint32_t>(op[g]), 2);
      }
      for (int g = 0; g < 4; ++g) {
        if (op[g] == 3) w.Put(static_cast<uint32_t>(need[g]), 4);
        len[g] = need[g];
      }
      for (int k = 0; k < 16; ++k) {
        const int c = k < 8 ? 2 * k : 2 * (k - 8) + 1;
        const int n = len[((c & 1) << 1) | (c >> 3)];
        if (n > 0) w.Put(static_cast<uint32_t>(resid[c]) & ((1u << n) - 1), n);
      }
    }
    const auto words = AsWords(w.Finish(), false);
    out.bytes.insert(out.bytes.end(), words.begin(), words.end());
  }
  for (int i = 0; i < 8; ++i) out.bytes.push_back(0);
  return out;
}

inline void SamsungHuffCode(int category, uint32_t& code, int& length) {
  static const int pairs[][2] = {{4, 3}, {7, 3}, {6, 2}, {5, 2}, {3, 4}, {0, 6}, {9, 7},
                                 {10, 8}, {11, 9}, {12, 10}, {13, 10}, {1, 5}, {8, 4}, {2, 4}};
  uint32_t at = 0;
  for (const auto& p : pairs) {
    if (p[0] == category) {
      code = at >> (10 - p[1]);
      length = p[1];
      return;
    }
    at += 1024u >> p[1];
  }
  std::abort();
}

// Huffman coding of width x rows samples (below 2^13).
inline std::vector<uint8_t> EncodeSamsungHuffman(const std::vector<uint16_t>& s, int width, int rows) {
  cBitWriter w;
  int32_t v[2][2] = {{0, 0}, {0, 0}};
  int32_t h[2] = {0, 0};
  for (int r = 0; r < rows; ++r)
    for (int col = 0; col < width; ++col) {
      const int32_t pred = col < 2 ? v[r & 1][col] : h[col & 1];
      const int32_t want = s[static_cast<size_t>(r) * width + col];
      const int32_t d = want - pred;
      int n = 0;
      while ((std::abs(d) >> n) != 0) ++n;
      uint32_t code;
      int len;
      SamsungHuffCode(n, code, len);
      w.Put(code, len);
      if (n > 0) w.Put(static_cast<uint32_t>(d > 0 ? d : d + (1 << n) - 1), n);
      if (col < 2) {
        v[r & 1][col] = want;
        h[col] = want;
      } else {
        h[col & 1] = want;
      }
    }
  auto out = w.Finish();
  for (int i = 0; i < 4; ++i) out.push_back(0);
  return out;
}

// Block coding generator for width x rows (width a multiple of 16): draws
// the syntax for header option opt and returns the strip bytes; expected
// receives the decoded raster.
inline std::vector<uint8_t> GenerateSamsungBlocks(int width, int rows, int opt, uint16_t init, uint32_t seed,
                                                  std::vector<uint16_t>& expected) {
  cRandom rnd(seed);
  expected.assign(static_cast<size_t>(width) * rows, 0);
  auto S = [&](int y, int x) -> int32_t {
    if (y < 0 || y >= rows || x < 0 || x >= width) return 0;
    return expected[static_cast<size_t>(y) * width + x];
  };
  std::vector<uint8_t> out(16, 0);
  out[9] = static_cast<uint8_t>(opt);
  out[12] = static_cast<uint8_t>(init);
  out[13] = static_cast<uint8_t>(init >> 8);
  int len[4] = {0, 0, 0, 0};
  static const char kPa[] = "0224468";
  static const char kPb[] = "0244668";
  for (int r = 0; r < rows; ++r) {
    cBitWriter w;
    int mag = 0, pmode = 7;
    int lent[3][2];
    for (auto& l : lent) l[0] = l[1] = r < 2 ? 7 : 4;
    for (int tab = 0; tab + 15 < width; tab += 16) {
      if ((opt & 4) == 0 && (tab & 63) == 0) {
        // Keep mag small: +2 only from 0, -2 back, or a fresh 12-bit 1.
        int i = static_cast<int>(rnd.Next() % 4);
        if (i == 2 && mag >= 2) i = 1;
        if (i == 1 && mag < 2) i = 0;
        w.Put(static_cast<uint32_t>(i), 2);
        if (i == 3) {
          w.Put(1, 12);
          mag = 1;
        } else {
          mag += "204"[i] - '0' - 2;
        }
      }
      if ((opt & 2) != 0) {
        const uint32_t b = rnd.Next() & 1;
        w.Put(b, 1);
        pmode = 7 - 4 * static_cast<int>(b);
      } else if ((rnd.Next() & 1) != 0) {
        w.Put(0, 1);
        pmode = static_cast<int>(rnd.Next() % 8);
        w.Put(static_cast<uint32_t>(pmode), 3);
      } else {
        w.Put(1, 1);
      }
      bool update = (opt & 1) != 0;
      if (!update) {
        // The first block of the strip sends lengths; later ones may keep.
        update = (r == 0 && tab == 0) || (rnd.Next() & 1) != 0;
        w.Put(update ? 0 : 1, 1);
      }
      if (!update) {
        for (int& l : len) l = 0;  // a block that keeps its lengths codes none
      } else {
        for (int c = 0; c < 4; ++c) {
          const int i = (((r & 1) << 1) | (c & 1)) % 3;
          int code = static_cast<int>(rnd.Next() % 4);
          int next = code < 3 ? lent[i][0] + "120"[code] - '0' - 1 : static_cast<int>(rnd.Next() % 9);
          if (next < 0 || next > 10) {
            code = 3;
            next = static_cast<int>(rnd.Next() % 9);
          }
          w.Put(static_cast<uint32_t>(code), 2);
          if (code == 3) w.Put(static_cast<uint32_t>(next), 4);
          len[c] = next;
          lent[i][0] = lent[i][1];
          lent[i][1] = len[c];
        }
      }
      for (int c = 0; c < 16; ++c) {
        const int col = tab + ((((c & 7) << 1) ^ (c >> 3) ^ (r & 1)));
        int32_t pred;
        if (pmode == 7 || r < 2) {
          pred = tab == 0 ? init : S(r, tab - 2 + (col & 1));
        } else {
          const int a = kPa[pmode] - '0' - 4, b = kPb[pmode] - '0' - 4;
          auto P = [&](int which, int k) -> int32_t {
            return which == (r & 1) ? S(r - 1, k + 1 - 2 * (r & 1)) : S(r - 2, k);
          };
          pred = (P(col & 1, col + a) + P(col & 1, col + b) + 1) >> 1;
        }
        const int n = len[c >> 2];
        int32_t d = 0;
        if (n > 0) {
          const uint32_t raw = rnd.Next() & ((1u << n) - 1);
          w.Put(raw, n);
          d = static_cast<int32_t>(raw);
          if (d & (1 << (n - 1))) d -= 1 << n;
        }
        d = d * (2 * mag + 1) + mag;
        expected[static_cast<size_t>(r) * width + col] = static_cast<uint16_t>(pred + d);
      }
    }
    // Pad the row to whole words, then to 16 bytes, as the decoder skips.
    auto words = AsWords(w.Finish(), false);
    // The decoder counts the words it took: one more when the row ended
    // exactly at a word edge is never taken, so nothing extra is needed.
    out.insert(out.end(), words.begin(), words.end());
    while (out.size() % 16 != 0) out.push_back(0x5A);
  }
  for (int i = 0; i < 16; ++i) out.push_back(0);
  return out;
}

}  // namespace rawtest
