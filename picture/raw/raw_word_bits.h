// cRawWordBits: bits taken from little-endian 32-bit words, each most
// significant bit first, over a bounded byte range; zero bits past its end
// (a cut word gives the bytes it has). Requests of 0 to 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>

class cRawWordBits {
public:
  cRawWordBits(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Get(int32_t n) {
    if (n <= 0) return 0;
    if (held_ < n) {
      uint32_t word = 0;
      for (int k = 0; k < 4; ++k)
        if (pos_ + k < size_) word |= static_cast<uint32_t>(data_[pos_ + k]) << (8 * k);
      if (pos_ >= size_) dry_ = true;
      pos_ += 4;
      acc_ = acc_ << 32 | word;
      held_ += 32;
    }
    held_ -= n;
    return static_cast<uint32_t>(acc_ >> held_) & (n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1);
  }
  bool Dry() const { return dry_; }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  uint64_t acc_ = 0;
  int32_t held_ = 0;
  bool dry_ = false;
};
