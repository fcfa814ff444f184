// Test-side bit packing shared by the camera-RAW encoders: an MSB-first bit
// writer, 32-bit word grouping in either byte order, and a small
// deterministic random source for synthetic sensor data.
#pragma once

#include <cstdint>
#include <vector>

namespace rawtest {

class cBitWriter {
public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) PutBit((value >> i) & 1u);
  }
  void PutBit(uint32_t b) {
    cur_ = static_cast<uint8_t>(cur_ << 1 | (b & 1u));
    if (++n_ == 8) {
      bytes_.push_back(cur_);
      cur_ = 0;
      n_ = 0;
    }
  }
  // Pads the last byte with zeros (or ones) and returns the bytes.
  std::vector<uint8_t> Finish(bool padOnes = false) {
    while (n_ != 0) PutBit(padOnes ? 1u : 0u);
    return bytes_;
  }
  size_t BitCount() const { return bytes_.size() * 8 + static_cast<size_t>(n_); }

private:
  std::vector<uint8_t> bytes_;
  uint8_t cur_ = 0;
  int n_ = 0;
};

// An MSB-first bit stream written as 32-bit words, each word's bytes in the
// given order (the stream is padded with zeros to whole words).
inline std::vector<uint8_t> AsWords(std::vector<uint8_t> msbFirst, bool bigEndian) {
  while (msbFirst.size() % 4 != 0) msbFirst.push_back(0);
  if (!bigEndian)
    for (size_t i = 0; i < msbFirst.size(); i += 4) {
      std::swap(msbFirst[i], msbFirst[i + 3]);
      std::swap(msbFirst[i + 1], msbFirst[i + 2]);
    }
  return msbFirst;
}

class cRandom {
public:
  explicit cRandom(uint32_t seed) : s_(seed * 2654435761u + 1u) {}
  uint32_t Next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return s_;
  }
  // Uniform in [lo, hi].
  int32_t Range(int32_t lo, int32_t hi) {
    return lo + static_cast<int32_t>(Next() % static_cast<uint32_t>(hi - lo + 1));
  }

private:
  uint32_t s_;
};

// A smooth mosaic with noise: neighbouring samples of one colour are close,
// as on a real sensor, so difference codings use short codes.
inline std::vector<uint16_t> SmoothMosaic(int width, int height, int maxValue, uint32_t seed) {
  cRandom r(seed);
  std::vector<uint16_t> v(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int base = (x * 7 + y * 5 + ((x & 1) + 2 * (y & 1)) * 97) % (maxValue / 2 + 1) + maxValue / 8;
      int s = base + r.Range(-20, 20);
      if (s < 0) s = 0;
      if (s > maxValue) s = maxValue;
      v[static_cast<size_t>(y) * width + x] = static_cast<uint16_t>(s);
    }
  return v;
}

}  // namespace rawtest
