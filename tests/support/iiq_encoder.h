// Test kit: writes Phase One IIQ coded rows (bits most significant first in
// little-endian 32-bit words). Each 8-column group gets, per column parity,
// the shortest length that holds its differences (14: 16-bit literals);
// a length equal to the one in force is kept with a single 1 bit.
#pragma once

#include <cstdint>
#include <vector>

namespace iiq_encoder {

class cWordWriter {
public:
  void Put(uint32_t v, int n) {
    for (int k = n - 1; k >= 0; --k) {
      word_ = word_ << 1 | (v >> k & 1);
      if (++count_ == 32) Emit();
    }
  }
  std::vector<uint8_t> Finish() {
    if (count_) {
      word_ <<= 32 - count_;
      Emit();
    }
    return bytes_;
  }

private:
  void Emit() {
    for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<uint8_t>(word_ >> (8 * k)));
    word_ = 0;
    count_ = 0;
  }
  uint32_t word_ = 0;
  int count_ = 0;
  std::vector<uint8_t> bytes_;
};

inline std::vector<uint8_t> EncodeRow(const uint16_t* v, int32_t width) {
  static const int32_t kLengths[10] = {8, 7, 6, 9, 11, 10, 5, 12, 14, 13};
  cWordWriter w;
  int32_t pred[2] = {0, 0}, len[2] = {0, 0};
  const int32_t literalFrom = width & ~7;
  for (int32_t c = 0; c < width; ++c) {
    if (c >= literalFrom) {
      len[0] = len[1] = 14;
    } else if ((c & 7) == 0) {
      for (int i = 0; i < 2; ++i) {
        // Shortest length holding every difference of this parity.
        int32_t p = pred[i], need = 5;
        bool literal = false;
        for (int32_t x = c + i; x < c + 8; x += 2) {
          const int32_t d = v[x] - p;
          p = v[x];
          int32_t n = 5;
          while (n < 14 && !(d >= 1 - (1 << (n - 1)) && d <= (1 << (n - 1)))) ++n;
          if (n == 14) literal = true;
          if (n > need) need = n;
        }
        if (literal) need = 14;
        if (need == len[i]) {
          w.Put(1, 1);
          continue;
        }
        int32_t idx = 0;
        while (kLengths[idx] != need) ++idx;
        const int32_t j = idx / 2 + 1;
        if (j < 5) w.Put(1, j + 1);
        else w.Put(0, 5);
        w.Put(static_cast<uint32_t>(idx & 1), 1);
        len[i] = need;
      }
    }
    const int32_t n = len[c & 1];
    if (n == 14) {
      w.Put(v[c], 16);
    } else {
      const int32_t d = v[c] - pred[c & 1];
      w.Put(static_cast<uint32_t>(d - 1 + (1 << (n - 1))), n);
    }
    pred[c & 1] = v[c];
  }
  return w.Finish();
}

}  // namespace iiq_encoder
