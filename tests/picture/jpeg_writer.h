// A small JPEG writer for the decoder's tests: marker segments by hand and
// entropy data coded with flat Huffman tables (every symbol an 8-bit code
// equal to its value), so that a test can state blocks, runs, restarts and
// lossless differences exactly.
#pragma once

#include <cstdint>
#include <vector>

namespace twtest {

class cJpegBits {
public:
  void Put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      acc_ = acc_ << 1 | ((value >> i) & 1);
      if (++count_ == 8) Flush8();
    }
  }
  // A category-s value as T.81 codes it (s = 0 writes nothing).
  void PutValue(int32_t v, int s) {
    if (s == 0) return;
    Put(static_cast<uint32_t>(v >= 0 ? v : v + (1 << s) - 1), s);
  }
  // Pads the last byte with ones (or zeros) and returns the bytes.
  std::vector<uint8_t> Finish(bool ones = true) {
    while (count_ != 0) Put(ones ? 1 : 0, 1);
    return bytes_;
  }
  int PendingBits() const { return count_; }

private:
  void Flush8() {
    bytes_.push_back(static_cast<uint8_t>(acc_));
    if ((acc_ & 0xFF) == 0xFF) bytes_.push_back(0);
    acc_ = 0;
    count_ = 0;
  }
  std::vector<uint8_t> bytes_;
  uint32_t acc_ = 0;
  int count_ = 0;
};

inline int Category(int32_t v) {
  int s = 0;
  for (uint32_t a = static_cast<uint32_t>(v < 0 ? -v : v); a != 0; a >>= 1) ++s;
  return s;
}

inline void Append(std::vector<uint8_t>& out, std::initializer_list<int> bytes) {
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
}

inline void Segment(std::vector<uint8_t>& out, int marker, const std::vector<uint8_t>& body) {
  const size_t n = body.size() + 2;
  Append(out, {0xFF, marker, static_cast<int>(n >> 8), static_cast<int>(n & 255)});
  out.insert(out.end(), body.begin(), body.end());
}

// A DHT segment body holding one flat table: count symbols 0..count-1, each
// coded as 8 bits equal to its value (count at most 255).
inline std::vector<uint8_t> FlatTable(int classAndNumber, int count) {
  std::vector<uint8_t> b{static_cast<uint8_t>(classAndNumber)};
  for (int l = 1; l <= 16; ++l) b.push_back(static_cast<uint8_t>(l == 8 ? count : 0));
  for (int i = 0; i < count; ++i) b.push_back(static_cast<uint8_t>(i));
  return b;
}

// SOF body: precision, height, width, then per component id, HV, Tq.
inline std::vector<uint8_t> FrameBody(int precision, int width, int height,
                                      std::initializer_list<std::initializer_list<int>> comps) {
  std::vector<uint8_t> b{static_cast<uint8_t>(precision), static_cast<uint8_t>(height >> 8),
                         static_cast<uint8_t>(height), static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
                         static_cast<uint8_t>(comps.size())};
  for (const auto& c : comps)
    for (int v : c) b.push_back(static_cast<uint8_t>(v));
  return b;
}

// SOS body: per component id and table byte, then Ss, Se, AhAl.
inline std::vector<uint8_t> ScanBody(std::initializer_list<std::initializer_list<int>> comps, int ss, int se,
                                     int ahal) {
  std::vector<uint8_t> b{static_cast<uint8_t>(comps.size())};
  for (const auto& c : comps)
    for (int v : c) b.push_back(static_cast<uint8_t>(v));
  Append(b, {ss, se, ahal});
  return b;
}

// One sequential block with the flat tables: DC difference, then the
// non-zero AC coefficients as (zigzag index, value) in order, then EOB
// unless the last index is 63.
inline void PutBlock(cJpegBits& bits, int32_t dcDiff, std::initializer_list<std::pair<int, int32_t>> ac) {
  const int s = Category(dcDiff);
  bits.Put(static_cast<uint32_t>(s), 8);
  bits.PutValue(dcDiff, s);
  int k = 1;
  for (const auto& [index, value] : ac) {
    int run = index - k;
    while (run >= 16) {
      bits.Put(0xF0, 8);
      run -= 16;
    }
    const int c = Category(value);
    bits.Put(static_cast<uint32_t>(run << 4 | c), 8);
    bits.PutValue(value, c);
    k = index + 1;
  }
  if (k <= 63) bits.Put(0x00, 8);
}

}  // namespace twtest
