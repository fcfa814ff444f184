// Test kit: writes the Olympus adaptive coding of one strip (7 header bytes,
// then the coded rows) and the 12-bit packings, so that ORF fixtures can be
// synthesised. The encoder keeps the decoder's carries and predictions; a
// sample whose difference the coding cannot express makes Encode fail.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace olympus_encoder {

class cMsbWriter {
public:
  void Put(uint32_t value, int n) {
    for (int k = n - 1; k >= 0; --k) {
      acc_ = static_cast<uint8_t>(acc_ << 1 | (value >> k & 1));
      if (++count_ == 8) bytes.push_back(acc_), acc_ = 0, count_ = 0;
    }
  }
  void Flush() {
    if (count_) Put(0, 8 - count_);
  }
  std::vector<uint8_t> bytes;

private:
  uint8_t acc_ = 0;
  int count_ = 0;
};

// samples: rows x width values of 0..4095. False when a difference is too
// large for the escape code.
inline bool Encode(const std::vector<uint16_t>& s, int32_t width, int32_t rows, std::vector<uint8_t>& out) {
  cMsbWriter w;
  w.bytes.assign(7, 0);
  for (int32_t row = 0; row < rows; ++row) {
    int32_t carries[2][3] = {{0, 0, 0}, {0, 0, 0}};
    auto at = [&](int32_t r, int32_t c) { return static_cast<int32_t>(s[static_cast<size_t>(r) * width + c]); };
    for (int32_t col = 0; col < width; ++col) {
      int32_t* carry = carries[col & 1];
      const int32_t i = carry[2] < 3 ? 2 : 0;
      int32_t nbits = 2 + i;
      while ((static_cast<uint16_t>(carry[0]) >> (nbits + i)) != 0) ++nbits;
      int32_t pred;
      if (row < 2 && col < 2) {
        pred = 0;
      } else if (row < 2) {
        pred = at(row, col - 2);
      } else if (col < 2) {
        pred = at(row - 2, col);
      } else {
        const int32_t wv = at(row, col - 2), n = at(row - 2, col), nw = at(row - 2, col - 2);
        if ((wv < nw && nw < n) || (n < nw && nw < wv))
          pred = (std::abs(wv - nw) > 32 || std::abs(n - nw) > 32) ? wv + n - nw : (wv + n) >> 1;
        else
          pred = std::abs(wv - nw) > std::abs(n - nw) ? wv : n;
      }
      const int32_t v = at(row, col) - pred;
      const int32_t low = v & 3, diff = v >> 2;
      const int32_t m = diff - carry[1];
      const int32_t sign = m < 0 ? -1 : 0;
      const int32_t c0 = m ^ sign;
      const int32_t high = c0 >> nbits;
      w.Put(static_cast<uint32_t>((sign ? 4 : 0) | low), 3);
      if (high < 12) {
        w.Put(1, high + 1);
      } else {
        if ((high << 1) >= (1 << (16 - nbits))) return false;
        w.Put(0, 12);
        w.Put(static_cast<uint32_t>(high << 1), 16 - nbits);
      }
      w.Put(static_cast<uint32_t>(c0) & ((1u << nbits) - 1), nbits);
      carry[0] = c0;
      const int32_t d = (carry[0] ^ sign) + carry[1];
      carry[1] = (d * 3 + carry[1]) >> 5;
      carry[2] = carry[0] > 16 ? 0 : carry[2] + 1;
    }
  }
  w.Flush();
  out = std::move(w.bytes);
  return true;
}

// 12-bit packings of one row (width even, or a multiple of 8 for words).
enum ePack { kLittle, kBig, kWords };
inline void PackRow(const uint16_t* s, int32_t width, ePack p, std::vector<uint8_t>& out) {
  if (p == kWords) {
    for (int32_t x = 0; x < width; x += 8) {
      uint32_t w[3] = {0, 0, 0};
      for (int k = 0; k < 8; ++k) {
        const uint32_t v = x + k < width ? s[x + k] & 0xFFF : 0;
        const int bit = 96 - 12 * (k + 1);
        for (int b = 0; b < 12; ++b)
          if (v >> b & 1) w[2 - (bit + b) / 32] |= 1u << ((bit + b) % 32);
      }
      for (uint32_t word : w)
        for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(word >> (8 * k)));
    }
    return;
  }
  for (int32_t x = 0; x < width; x += 2) {
    const uint32_t a = s[x], b = x + 1 < width ? s[x + 1] : 0;
    if (p == kBig) {
      out.push_back(static_cast<uint8_t>(a >> 4));
      out.push_back(static_cast<uint8_t>((a & 15) << 4 | b >> 8));
      out.push_back(static_cast<uint8_t>(b));
    } else {
      out.push_back(static_cast<uint8_t>(a));
      out.push_back(static_cast<uint8_t>((a >> 8 & 15) | (b & 15) << 4));
      out.push_back(static_cast<uint8_t>(b >> 4));
    }
  }
}

// 12-bit pairs with a filler byte after every five pairs, one row.
inline void PackFillerRow(const uint16_t* s, int32_t width, bool bigEndian, std::vector<uint8_t>& out) {
  int pairs = 0;
  for (int32_t x = 0; x < width; x += 2) {
    PackRow(s + x, 2, bigEndian ? kBig : kLittle, out);
    if (++pairs == 5) pairs = 0, out.push_back(0x5A);
  }
}

}  // namespace olympus_encoder
