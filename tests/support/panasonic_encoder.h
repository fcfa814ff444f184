// Test kit: writes the Panasonic block coding. The encoder keeps the
// decoder's state (predictors, flags, shift) and records the samples a
// decoder will produce, which equal the target wherever the coding can
// express it. Bits that a read near the end of a 16-byte group shares with a
// later read (the buffer's group order makes them alias) are taken as
// already written, so the stream stays consistent.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace panasonic_encoder {

class cBlockWriter {
public:
  explicit cBlockWriter(bool splitRefill) : split_(splitRefill) { NewBlock(); }

  // Writes n bits; bits fixed earlier win. Returns the value a decoder reads.
  uint32_t Put(int n, uint32_t value) {
    if (position_ == 0) {
      if (started_) Flush();
      started_ = true;
    }
    position_ = (position_ - static_cast<uint32_t>(n)) & 0x1FFFF;
    const uint32_t byte = (position_ >> 3) ^ 0x3FF0;
    uint32_t result = 0;
    for (int k = 0; k < n; ++k) {
      const uint32_t q = (position_ & 7) + static_cast<uint32_t>(k);
      const uint32_t at = byte + (q >> 3), bit = q & 7;
      uint32_t b;
      if (at >= 16384) {
        b = 0;  // the decoder's extra byte, always 0
      } else if (fixed_[at] >> bit & 1) {
        b = buf_[at] >> bit & 1;
      } else {
        b = value >> k & 1;
        buf_[at] = static_cast<uint8_t>(buf_[at] | b << bit);
        fixed_[at] = static_cast<uint8_t>(fixed_[at] | 1u << bit);
      }
      result |= b << k;
    }
    return result;
  }

  // The file bytes: every block written, the last one padded whole.
  std::vector<uint8_t> Finish() {
    if (started_) Flush();
    return blocks_;
  }

private:
  void NewBlock() {
    buf_.assign(16384, 0);
    fixed_.assign(16384, 0);
  }
  void Flush() {
    if (split_) {
      blocks_.insert(blocks_.end(), buf_.begin() + 8200, buf_.end());
      blocks_.insert(blocks_.end(), buf_.begin(), buf_.begin() + 8200);
    } else {
      blocks_.insert(blocks_.end(), buf_.begin(), buf_.end());
    }
    NewBlock();
  }

  bool split_;
  bool started_ = false;
  uint32_t position_ = 0;
  std::vector<uint8_t> buf_, fixed_;
  std::vector<uint8_t> blocks_;
};

struct sEncoded {
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> decoded;  // what a decoder produces, row by row
};

// Encodes target (width x height samples of at most 12 bits).
inline sEncoded Encode(const std::vector<uint16_t>& target, int32_t width, int32_t height, bool splitRefill) {
  cBlockWriter w(splitRefill);
  sEncoded out;
  out.decoded.resize(target.size());
  int32_t pred[2] = {0, 0};
  uint32_t nonz[2] = {0, 0};
  int32_t sh = 0;
  // What pred becomes from p with delta j at shift s.
  auto step = [](int32_t p, int32_t s, int32_t j) {
    if (j == 0) return p;
    p -= 0x80 << s;
    if (p < 0 || s == 4) p &= (1 << s) - 1;
    return p + (j << s);
  };
  auto bestJ = [&](int32_t p, int32_t s, int32_t t) {
    int32_t q = p - (0x80 << s);
    if (q < 0 || s == 4) q &= (1 << s) - 1;
    int32_t j = (t - q + ((1 << s) >> 1)) >> s;
    j = j < 1 ? 1 : (j > 255 ? 255 : j);
    return std::abs(step(p, s, j) - t) < std::abs(p - t) ? j : 0;
  };
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t c = 0; c < width; ++c) {
      const size_t at = static_cast<size_t>(row) * width + c;
      const int32_t t = target[at];
      const int32_t i = c % 14;
      const int k = i & 1;
      if (i == 0) pred[0] = pred[1] = 0, nonz[0] = nonz[1] = 0;
      if (i % 3 == 2) {
        // The smallest shift that reaches the next three samples.
        uint32_t pick = 3;
        for (uint32_t u = 0; u < 4; ++u) {
          const int32_t s = 4 >> (3 - u);
          bool fits = true;
          int32_t pp[2] = {pred[0], pred[1]};
          for (int32_t d = 0; d < 3 && c + d < width && (i + d) < 14; ++d) {
            const int kk = (i + d) & 1;
            if (nonz[kk] == 0) continue;
            const int32_t tt = target[at + d];
            pp[kk] = step(pp[kk], s, bestJ(pp[kk], s, tt));
            if (pp[kk] != tt) fits = false;
          }
          if (fits) {
            pick = u;
            break;
          }
        }
        sh = 4 >> (3 - w.Put(2, pick));
      }
      if (nonz[k] != 0) {
        const uint32_t j = w.Put(8, static_cast<uint32_t>(bestJ(pred[k], sh, t)));
        pred[k] = step(pred[k], sh, static_cast<int32_t>(j));
      } else {
        nonz[k] = w.Put(8, static_cast<uint32_t>(t >> 4));
        if (nonz[k] != 0 || i > 11) pred[k] = static_cast<int32_t>(nonz[k] << 4 | w.Put(4, static_cast<uint32_t>(t & 15)));
      }
      out.decoded[at] = static_cast<uint16_t>(pred[c & 1]);
    }
  }
  out.bytes = w.Finish();
  return out;
}

// Packs samples (an even count of 12-bit values) ten to every 16 bytes.
inline std::vector<uint8_t> Pack12(const std::vector<uint16_t>& samples) {
  std::vector<uint8_t> out;
  int pairs = 0;
  for (size_t i = 0; i + 1 < samples.size(); i += 2) {
    const uint16_t s0 = samples[i], s1 = samples[i + 1];
    out.push_back(static_cast<uint8_t>(s0 & 0xFF));
    out.push_back(static_cast<uint8_t>((s0 >> 8 & 0x0F) | (s1 & 0x0F) << 4));
    out.push_back(static_cast<uint8_t>(s1 >> 4));
    if (++pairs == 5) pairs = 0, out.push_back(0);
  }
  return out;
}

}  // namespace panasonic_encoder
