// Test kit: X3F raw data of data formats 5 and 30. Format 30 planes are
// coded with a complete 13-entry code of lengths 3 to 6 (Table()); format 5
// words index a table whose sums give the wanted samples.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace x3f_encoder {

// {length, first slot} for symbols 0..12; covers all 256 slots.
inline std::vector<uint8_t> Table() {
  return {3, 0, 3, 32, 3, 64, 3, 96, 3, 128, 4, 160, 4, 176, 4, 192, 4, 208, 4, 224, 5, 240, 6, 248, 6, 252};
}

class cMsbWriter {
public:
  void Put(uint32_t v, int n) {
    for (int k = n - 1; k >= 0; --k) {
      acc_ = static_cast<uint8_t>(acc_ << 1 | (v >> k & 1));
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

// One plane (height rows of width values, top row first); differences must
// stay below 4096 in size.
inline std::vector<uint8_t> EncodePlane(const std::vector<uint16_t>& v, int32_t width, int32_t height) {
  const auto t = Table();
  cMsbWriter w;
  uint16_t pred[2][2] = {{512, 512}, {512, 512}};
  for (int32_t r = 0; r < height; ++r) {
    uint16_t running[2] = {0, 0};
    for (int32_t x = 0; x < width; ++x) {
      const uint16_t want = v[static_cast<size_t>(r) * width + x];
      const uint16_t from = x < 2 ? pred[r & 1][x] : running[x & 1];
      const int32_t d = static_cast<int16_t>(static_cast<uint16_t>(want - from));
      int n = 0;
      while ((std::abs(d) >> n) != 0) ++n;
      w.Put(t[2 * n + 1] >> (8 - t[2 * n]), t[2 * n]);
      if (n) w.Put(static_cast<uint32_t>(d > 0 ? d : d + (1 << n) - 1), n);
      if (x < 2) pred[r & 1][x] = want, running[x] = want;
      else running[x & 1] = want;
    }
  }
  w.Flush();
  return w.bytes;
}

}  // namespace x3f_encoder
