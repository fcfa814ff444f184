// See raw_x3f.h.
#include "picture/raw/raw_x3f.h"

namespace {

// Bytes most significant bit first; zero bits past the end, and the error
// flag once a consumed bit lies past it.
class cMsbReader {
public:
  cMsbReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Peek(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      const uint64_t bit = pos_ + i;
      const uint64_t byte = bit >> 3;
      v = v << 1 | (byte < size_ ? (data_[byte] >> (7 - (bit & 7)) & 1) : 0);
    }
    return v;
  }
  void Skip(int n) {
    pos_ += static_cast<uint64_t>(n);
    if (pos_ > static_cast<uint64_t>(size_) * 8) error_ = true;
  }
  uint32_t Get(int n) {
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  bool Error() const { return error_; }

private:
  const uint8_t* data_;
  size_t size_;
  uint64_t pos_ = 0;
  bool error_ = false;
};

}  // namespace

bool BuildX3fTable(const uint8_t entries[26], sX3fSlot table[256]) {
  for (int s = 0; s < 256; ++s) table[s] = sX3fSlot{};
  for (int k = 0; k < 13; ++k) {
    const int l = entries[2 * k], c = entries[2 * k + 1];
    if (l == 0 || l > 8 || c + (256 >> l) > 256) return false;
    for (int s = c; s < c + (256 >> l); ++s) table[s] = sX3fSlot{static_cast<uint8_t>(k), static_cast<uint8_t>(l)};
  }
  return true;
}

void X3fFormat5Row(const int16_t table[1024], const uint8_t* words, int32_t width, uint64_t* row) {
  int32_t sum[3] = {0, 0, 0};
  for (int32_t x = 0; x < width; ++x, words += 4) {
    const uint32_t w = words[0] | words[1] << 8 | words[2] << 16 | static_cast<uint32_t>(words[3]) << 24;
    for (int i = 0; i < 3; ++i) sum[i] += table[w >> (10 * i) & 0x3FF];
    uint64_t px = uint64_t{0xFFFF} << 48;
    for (int i = 0; i < 3; ++i) px |= static_cast<uint64_t>(sum[i] < 0 ? 0 : (sum[i] & 0xFFFF)) << (16 * i);
    row[x] = px;
  }
}

bool DecodeX3fPlane(const uint8_t* data, size_t size, const sX3fSlot table[256], int32_t width, int32_t height,
                    int channel, uint64_t* pixels) {
  cMsbReader bits(data, size);
  // 16-bit arithmetic that wraps, held unsigned so that long planes cannot
  // overflow.
  uint16_t pred[2][2] = {{512, 512}, {512, 512}};
  const int shift = 32 - 16 * channel;  // red 32, green 16, blue 0
  const uint64_t mask = ~(uint64_t{0xFFFF} << shift);
  for (int32_t r = 0; r < height; ++r) {
    uint64_t* row = pixels + static_cast<size_t>(height - 1 - r) * static_cast<size_t>(width);
    uint16_t running[2] = {0, 0};
    for (int32_t x = 0; x < width; ++x) {
      const sX3fSlot slot = table[bits.Peek(8)];
      int32_t d = 0;
      if (!bits.Error()) {
        if (slot.length == 0) return false;
        bits.Skip(slot.length);
        const int n = slot.symbol;
        if (n == 16) {
          d = -32768;
        } else if (n > 0) {
          const uint32_t v = bits.Get(n);
          d = (v >> (n - 1) & 1) ? static_cast<int32_t>(v) : static_cast<int32_t>(v) - ((1 << n) - 1);
        }
        if (bits.Error()) d = 0;
      }
      if (x < 2) {
        pred[r & 1][x] = static_cast<uint16_t>(pred[r & 1][x] + d);
        running[x] = pred[r & 1][x];
      } else {
        running[x & 1] = static_cast<uint16_t>(running[x & 1] + d);
      }
      row[x] = (row[x] & mask) | static_cast<uint64_t>(running[x & 1]) << shift;
    }
  }
  return true;
}

void X3fPlaneStarts(const uint32_t sizes[3], uint64_t starts[3]) {
  starts[0] = 48;
  for (int k = 1; k < 3; ++k) starts[k] = (starts[k - 1] + sizes[k - 1] + 15) / 16 * 16;
}
