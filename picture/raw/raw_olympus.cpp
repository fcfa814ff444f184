// See raw_olympus.h.
#include "picture/raw/raw_olympus.h"

#include <cstdlib>

uint64_t OlympusPackedRowBytes(int32_t width, eOlympusPacking packing) {
  const uint64_t w = width > 0 ? static_cast<uint64_t>(width) : 0;
  if (packing == kOlympusPackWords) return (w + 7) / 8 * 12;
  return (w + 1) / 2 * 3;
}

void UnpackOlympus12Row(const uint8_t* data, int32_t width, eOlympusPacking packing, uint16_t* out) {
  if (packing == kOlympusPackWords) {
    for (int32_t x = 0; x < width; x += 8, data += 12) {
      // 96 bits, the first word most significant.
      uint64_t hi = 0;
      uint32_t w[3];
      for (int k = 0; k < 3; ++k)
        w[k] = data[4 * k] | data[4 * k + 1] << 8 | data[4 * k + 2] << 16 | static_cast<uint32_t>(data[4 * k + 3]) << 24;
      hi = static_cast<uint64_t>(w[0]) << 32 | w[1];
      for (int s = 0; s < 8 && x + s < width; ++s) {
        const int bit = 96 - 12 * (s + 1);  // position of the sample's lowest bit
        uint32_t v;
        if (bit >= 32) {
          v = static_cast<uint32_t>(hi >> (bit - 32));
        } else if (bit + 12 <= 32) {
          v = w[2] >> bit;
        } else {
          v = static_cast<uint32_t>((static_cast<uint64_t>(w[1]) << 32 | w[2]) >> bit);
        }
        out[x + s] = static_cast<uint16_t>(v & 0xFFF);
      }
    }
    return;
  }
  for (int32_t x = 0; x < width; x += 2, data += 3) {
    const uint32_t b0 = data[0], b1 = data[1], b2 = data[2];
    uint32_t s0, s1;
    if (packing == kOlympusPackBig) {
      s0 = b0 << 4 | b1 >> 4;
      s1 = (b1 & 15) << 8 | b2;
    } else {
      s0 = (b1 & 15) << 8 | b0;
      s1 = b2 << 4 | b1 >> 4;
    }
    out[x] = static_cast<uint16_t>(s0);
    if (x + 1 < width) out[x + 1] = static_cast<uint16_t>(s1);
  }
}

uint64_t UnpackOlympusFillerRow(const uint8_t* data, uint64_t size, int32_t width, bool bigEndian, uint16_t* out) {
  uint64_t in = 0;
  int pairs = 0;
  for (int32_t x = 0; x < width && in + 3 <= size; x += 2) {
    UnpackOlympus12Row(data + in, x + 1 < width ? 2 : 1, bigEndian ? kOlympusPackBig : kOlympusPackLittle, out + x);
    in += 3;
    if (++pairs == 5) pairs = 0, ++in;
  }
  return in;
}

namespace {

// Most-significant-first bits over a bounded range; zero bits past its end.
class cMsbBits {
public:
  cMsbBits(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Peek(int n) {
    Fill(n);
    return static_cast<uint32_t>(acc_ >> (count_ - n)) & ((1u << n) - 1);
  }
  void Skip(int n) { count_ -= n, consumed_ += static_cast<uint64_t>(n); }
  uint32_t Get(int n) {
    if (n <= 0 || n > 25) return 0;
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  bool Dry() const { return consumed_ > static_cast<uint64_t>(size_) * 8; }

private:
  void Fill(int n) {
    while (count_ < n) {
      acc_ = (acc_ << 8) | (at_ < size_ ? data_[at_] : 0);
      ++at_;
      count_ += 8;
    }
  }
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  uint64_t acc_ = 0;
  int count_ = 0;
  uint64_t consumed_ = 0;
};

}  // namespace

bool DecodeOlympusStrip(const uint8_t* data, size_t size, int32_t width, int32_t rows, uint16_t* out,
                        size_t stride) {
  // The coded bits start after 7 bytes; a shorter strip reads as zero bits
  // (no pointer is formed past its end).
  const bool coded = data != nullptr && size > 7;
  cMsbBits bits(coded ? data + 7 : nullptr, coded ? size - 7 : 0);
  for (int32_t row = 0; row < rows; ++row) {
    int32_t carries[2][3] = {{0, 0, 0}, {0, 0, 0}};
    uint16_t* line = out + static_cast<size_t>(row) * stride;
    const uint16_t* up = row >= 2 ? line - 2 * stride : nullptr;
    for (int32_t col = 0; col < width; ++col) {
      if (bits.Dry() && row != rows - 1) return false;
      int32_t* carry = carries[col & 1];
      const int32_t i = carry[2] < 3 ? 2 : 0;
      int32_t nbits = 2 + i;
      while (nbits < 16 && (static_cast<uint16_t>(carry[0]) >> (nbits + i)) != 0) ++nbits;
      const uint32_t b3 = bits.Get(3);
      const int32_t low = static_cast<int32_t>(b3 & 3);
      const int32_t sign = (b3 & 4) ? -1 : 0;
      // Leading zeros of the next 12 bits, one more bit consumed unless all
      // twelve are zero.
      const uint32_t peek = bits.Peek(12);
      int32_t high = 0;
      while (high < 12 && !(peek >> (11 - high) & 1)) ++high;
      bits.Skip(high < 12 ? high + 1 : 12);
      if (high == 12) high = static_cast<int32_t>(bits.Get(16 - nbits) >> 1);
      carry[0] = static_cast<int32_t>(static_cast<uint32_t>(high) << nbits | bits.Get(nbits));
      const int32_t diff = (carry[0] ^ sign) + carry[1];
      carry[1] = (diff * 3 + carry[1]) >> 5;
      carry[2] = carry[0] > 16 ? 0 : carry[2] + 1;
      int32_t pred;
      if (row < 2 && col < 2) {
        pred = 0;
      } else if (row < 2) {
        pred = line[col - 2];
      } else if (col < 2) {
        pred = up[col];
      } else {
        const int32_t w = line[col - 2], n = up[col], nw = up[col - 2];
        if ((w < nw && nw < n) || (n < nw && nw < w)) {
          pred = (std::abs(w - nw) > 32 || std::abs(n - nw) > 32) ? w + n - nw : (w + n) >> 1;
        } else {
          pred = std::abs(w - nw) > std::abs(n - nw) ? w : n;
        }
      }
      const int32_t sample = pred + static_cast<int32_t>(static_cast<uint32_t>(diff) << 2 | static_cast<uint32_t>(low));
      if (sample < 0 || sample > 4095) return false;
      line[col] = static_cast<uint16_t>(sample);
    }
  }
  return true;
}
