// The byte-wise Huffman bit reader that the Sony ARW1, Samsung Huffman and
// Pentax Huffman codings share: a 32-bit accumulator filled one byte at a
// time, most significant bit first, no byte stuffing, and lookup tables in
// the layout {bits looked at, then (length << 8) | value per prefix}.
//
// Rules:
//  a. A request for n bits, 1 <= n <= 25, reads bytes while fewer than n are
//     held; when the bytes run out the dry flag is set and the answer is 0
//     (this and every later request). Other n answer 0 and consume nothing.
//  b. Reads never leave [bytes, bytes + size).
#pragma once

#include <cstdint>
#include <vector>

class cRawByteBits {
public:
  cRawByteBits(const uint8_t* bytes, int64_t size) : bytes_(bytes), size_(size) {}

  bool IsDry() const { return dry_; }
  int64_t Position() const { return pos_; }

  uint32_t Get(int32_t n) {
    if (!Fill(n)) return 0;
    count_ -= n;
    return static_cast<uint32_t>((acc_ >> count_) & ((uint64_t{1} << n) - 1));
  }

  // Looks at table[0] bits, consumes the entry's length, answers its value.
  uint32_t GetCoded(const uint16_t* table) {
    const int32_t n = table[0];
    if (!Fill(n)) return 0;
    const uint32_t c = static_cast<uint32_t>((acc_ >> (count_ - n)) & ((uint64_t{1} << n) - 1));
    const uint16_t e = table[1 + c];
    count_ -= e >> 8;
    return e & 0xFFu;
  }

  // A JPEG-style difference of the category the table gives: 16 is -32768,
  // otherwise n further bits, a clear top bit meaning negative.
  int32_t GetDifference(const uint16_t* table) {
    const int32_t n = static_cast<int32_t>(GetCoded(table));
    if (dry_) return 0;
    if (n == 16) return -32768;
    if (n == 0) return 0;
    int32_t d = static_cast<int32_t>(Get(n));
    if (dry_) return 0;
    if ((d & (1 << (n - 1))) == 0) d -= (1 << n) - 1;
    return d;
  }

private:
  bool Fill(int32_t n) {
    if (dry_ || n < 1 || n > 25) return false;
    while (count_ < n) {
      if (pos_ >= size_) {
        dry_ = true;
        return false;
      }
      acc_ = (acc_ << 8 | bytes_[pos_++]) & 0xFFFFFFFFFFull;
      count_ += 8;
    }
    return true;
  }

  const uint8_t* bytes_;
  int64_t size_;
  int64_t pos_ = 0;
  uint64_t acc_ = 0;
  int32_t count_ = 0;
  bool dry_ = false;
};

// A table of 1 + 2^bits entries from (value, length) pairs, each filling
// 2^(bits - length) consecutive entries; entries past the pairs stay 0.
inline std::vector<uint16_t> BuildPairTable(int32_t bits, const uint8_t (*pairs)[2], int32_t count) {
  std::vector<uint16_t> t(static_cast<size_t>(1 + (1 << bits)), 0);
  t[0] = static_cast<uint16_t>(bits);
  size_t at = 1;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t len = pairs[i][1];
    for (int32_t k = 0; k < (1 << (bits - len)) && at < t.size(); ++k)
      t[at++] = static_cast<uint16_t>(len << 8 | pairs[i][0]);
  }
  return t;
}
