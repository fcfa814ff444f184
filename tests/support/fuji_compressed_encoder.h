// Test kit: writes Fujifilm compressed sensor data (header, block table,
// blocks) from a raw frame. The encoder runs the decoder's stripes itself:
// the same passes, line buffers, gradients and interpolated positions, so it
// knows the frame a decoder will produce (`decoded`): equal to the target
// at every coded position, the decoder's interpolation elsewhere.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fuji_encoder {

const uint8_t kXTrans[6][6] = {{1, 2, 1, 1, 0, 1}, {0, 1, 0, 2, 1, 2}, {1, 2, 1, 1, 0, 1},
                               {1, 0, 1, 1, 2, 1}, {2, 1, 2, 0, 1, 0}, {1, 0, 1, 1, 2, 1}};

class cBits {
public:
  void Put(uint32_t v, int n) {
    for (int k = n - 1; k >= 0; --k) {
      acc_ = static_cast<uint8_t>(acc_ << 1 | (k < 32 ? (v >> k & 1) : 0));
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

struct sResult {
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> decoded;  // width x height
};

class cEncoder {
public:
  cEncoder(int bits) : bits_(bits), max_((1 << bits) - 1), total_(1 << bits) {
    maxBits_ = bits == 14 ? 56 : 48;
    maxDiff_ = bits == 14 ? 256 : 64;
  }

  // raster: width x height (width a multiple of 24, height of 6).
  sResult Encode(const std::vector<uint16_t>& raster, int32_t width, int32_t height) {
    sResult out;
    out.decoded.assign(raster.size(), 0);
    const int32_t blocks = (width + 767) / 768;
    std::vector<std::vector<uint8_t>> coded;
    for (int32_t b = 0; b < blocks; ++b) {
      const int32_t columns = (b == blocks - 1 && width % 768) ? width % 768 : 768;
      coded.push_back(EncodeBlock(raster, out.decoded, width, height, b, columns));
    }
    auto be16 = [&](uint32_t v) {
      out.bytes.push_back(static_cast<uint8_t>(v >> 8));
      out.bytes.push_back(static_cast<uint8_t>(v));
    };
    out.bytes = {0x49, 0x53, 1, 16, static_cast<uint8_t>(bits_)};
    be16(static_cast<uint32_t>(height));
    be16(static_cast<uint32_t>(blocks * 768));
    be16(static_cast<uint32_t>(width));
    be16(768);
    out.bytes.push_back(static_cast<uint8_t>(blocks));
    be16(static_cast<uint32_t>(height / 6));
    for (const auto& c : coded) {
      be16(static_cast<uint32_t>(c.size() >> 16));
      be16(static_cast<uint32_t>(c.size() & 0xFFFF));
    }
    while (out.bytes.size() % 16) out.bytes.push_back(0);
    for (const auto& c : coded) out.bytes.insert(out.bytes.end(), c.begin(), c.end());
    return out;
  }

private:
  enum { R0 = 0, G0 = 5, B0 = 13, LW = 512 };
  struct sGrad {
    int32_t sum, count;
  };

  int32_t Q(int32_t d) const {
    if (d <= -276) return -4;
    if (d <= -67) return -3;
    if (d <= -18) return -2;
    if (d < 0) return -1;
    if (d == 0) return 0;
    if (d < 18) return 1;
    if (d < 67) return 2;
    if (d < 276) return 3;
    return 4;
  }
  int32_t& L(int32_t line, int32_t entry) { return lines_[static_cast<size_t>(line) * (LW + 2) + entry]; }
  int32_t& T(int32_t line, int32_t entry) { return want_[static_cast<size_t>(line) * (LW + 2) + entry]; }

  static int32_t LineOf(int r, int c) { return c == 0 ? R0 + 2 + r / 2 : (c == 1 ? G0 + 2 + r : B0 + 2 + r / 2); }
  static int32_t PosOf(int32_t j) { return j % 3 == 0 ? 2 * (j / 3) : 2 * (j / 3) + 1; }

  std::vector<uint8_t> EncodeBlock(const std::vector<uint16_t>& raster, std::vector<uint16_t>& decoded,
                                   int32_t width, int32_t height, int32_t b, int32_t columns) {
    lines_.assign(18 * (LW + 2), 0);
    for (auto* set : {&even_, &odd_})
      for (auto& s : *set)
        for (auto& g : s) g = {maxDiff_, 1};
    cBits w;
    bits_out_ = &w;
    for (int32_t s = 0; s < height / 6; ++s) {
      want_.assign(18 * (LW + 2), -1);
      for (int r = 0; r < 6; ++r)
        for (int32_t j = 0; j < columns; ++j)
          T(LineOf(r, kXTrans[r][j % 6]), PosOf(j) + 1) =
              raster[static_cast<size_t>(6 * s + r) * width + 768 * b + j];
      for (int pass = 0; pass < 6; ++pass) {
        int32_t ev = 0, od = 1;
        while (ev < LW || od < LW) {
          if (ev < LW) EvenStep(pass, ev), ev += 2;
          if ((ev > 8 || ev >= LW) && od < LW) OddStep(pass, od), od += 2;
        }
        const bool red = pass % 2 == 0;
        if (red) Extend(R0, 5);
        Extend(G0, 8);
        if (!red) Extend(B0, 5);
      }
      for (int r = 0; r < 6; ++r)
        for (int32_t j = 0; j < columns; ++j)
          decoded[static_cast<size_t>(6 * s + r) * width + 768 * b + j] =
              static_cast<uint16_t>(L(LineOf(r, kXTrans[r][j % 6]), PosOf(j) + 1));
      auto copy = [&](int32_t to, int32_t from) {
        for (int32_t e = 0; e < LW + 2; ++e) L(to, e) = L(from, e);
      };
      copy(R0, R0 + 3), copy(R0 + 1, R0 + 4), copy(G0, G0 + 6), copy(G0 + 1, G0 + 7), copy(B0, B0 + 3),
          copy(B0 + 1, B0 + 4);
      for (int32_t l = 0; l < 18; ++l)
        if (l != R0 && l != R0 + 1 && l != G0 && l != G0 + 1 && l != B0 && l != B0 + 1)
          for (int32_t e = 0; e < LW + 2; ++e) L(l, e) = 0;
      for (int32_t g : {R0, G0, B0}) L(g + 2, 0) = L(g + 1, 1), L(g + 2, LW + 1) = L(g + 1, LW);
    }
    w.Flush();
    return w.bytes;
  }

  void Extend(int32_t first, int32_t count) {
    for (int32_t l = first + 2; l < first + count; ++l) L(l, 0) = L(l - 1, 1), L(l, LW + 1) = L(l - 1, LW);
  }

  static int32_t Pred3(int32_t Rb, int32_t Rc, int32_t Rd, int32_t Rf) {
    const int32_t dc = std::abs(Rc - Rb), df = std::abs(Rf - Rb), dd = std::abs(Rd - Rb);
    if (dc > df && dc > dd) return Rf + Rd + 2 * Rb;
    if (dd > dc && dd > df) return Rf + Rc + 2 * Rb;
    return Rd + Rc + 2 * Rb;
  }
  void Interp(int32_t line, int32_t p) {
    const int32_t e = p + 1;
    L(line, e) = Pred3(L(line - 1, e), L(line - 1, e - 1), L(line - 1, e + 1), L(line - 2, e)) >> 2;
  }

  // Writes the code that turns base into the wanted value; the value stored.
  void Code(sGrad& g, int32_t line, int32_t entry, int32_t base, bool negate) {
    int32_t want = T(line, entry);
    if (want < 0) want = base < 0 ? 0 : (base > max_ ? max_ : base);
    int32_t e = negate ? base - want : want - base;
    if (e >= total_ / 2) e -= total_;
    if (e < -(total_ / 2)) e += total_;
    const int32_t code = e >= 0 ? 2 * e : -2 * e - 1;
    int32_t k = 0;
    if (g.count < g.sum) {
      k = 13;
      for (int32_t i = 1; i <= 12; ++i)
        if ((static_cast<int64_t>(g.count) << i) >= g.sum) {
          k = i;
          break;
        }
    }
    const int32_t limit = maxBits_ - bits_ - 1;
    const int32_t z = code >> k;
    if (z < limit) {
      bits_out_->Put(1, z + 1);
      if (k) bits_out_->Put(static_cast<uint32_t>(code) & ((1u << k) - 1), k);
    } else {
      bits_out_->Put(0, limit);
      bits_out_->Put(1, 1);
      bits_out_->Put(static_cast<uint32_t>(code - 1), bits_);
    }
    g.sum += std::abs(e);
    if (g.count == 64) g.sum >>= 1, g.count >>= 1;
    g.count += 1;
    int32_t v = negate ? base - e : base + e;
    if (v < 0) v += total_;
    if (v > max_) v -= total_;
    L(line, entry) = v < 0 ? 0 : (v > max_ ? max_ : v);
  }

  void Even(int32_t line, int32_t p, int set) {
    const int32_t en = p + 1;
    const int32_t Rb = L(line - 1, en), Rc = L(line - 1, en - 1), Rd = L(line - 1, en + 1), Rf = L(line - 2, en);
    const int32_t grad = 9 * Q(Rb - Rf) + Q(Rc - Rb);
    Code(even_[set][std::abs(grad)], line, en, Pred3(Rb, Rc, Rd, Rf) >> 2, grad < 0);
  }
  void Odd(int32_t line, int32_t p, int set) {
    const int32_t en = p + 1;
    const int32_t Rb = L(line - 1, en), Rc = L(line - 1, en - 1), Rd = L(line - 1, en + 1);
    const int32_t Ra = L(line, en - 1), Rg = L(line, en + 1);
    const int32_t grad = 9 * Q(Rb - Rc) + Q(Rc - Ra);
    const int32_t pred = ((Rb > Rc && Rb > Rd) || (Rb < Rc && Rb < Rd)) ? (Rg + Ra + 2 * Rb) >> 2 : (Ra + Rg) >> 1;
    Code(odd_[set][std::abs(grad)], line, en, pred, grad < 0);
  }

  void EvenStep(int pass, int32_t p) {
    const int32_t m4 = p % 4;
    switch (pass) {
      case 0: Interp(R0 + 2, p), Even(G0 + 2, p, 0); break;
      case 1: Even(G0 + 3, p, 1), Interp(B0 + 2, p); break;
      case 2:
        if (m4 != 0) Even(R0 + 3, p, 2);
        else Interp(R0 + 3, p);
        Interp(G0 + 4, p);
        break;
      case 3:
        Even(G0 + 5, p, 0);
        if (m4 == 2) Interp(B0 + 3, p);
        else Even(B0 + 3, p, 0);
        break;
      case 4:
        if (m4 == 2) Interp(R0 + 4, p);
        else Even(R0 + 4, p, 1);
        Even(G0 + 6, p, 1);
        break;
      default:
        Interp(G0 + 7, p);
        if (m4 != 0) Even(B0 + 4, p, 2);
        else Interp(B0 + 4, p);
        break;
    }
  }
  void OddStep(int pass, int32_t p) {
    static const int32_t kLines[6][2] = {{R0 + 2, G0 + 2}, {G0 + 3, B0 + 2}, {R0 + 3, G0 + 4},
                                         {G0 + 5, B0 + 3}, {R0 + 4, G0 + 6}, {G0 + 7, B0 + 4}};
    Odd(kLines[pass][0], p, pass % 3);
    Odd(kLines[pass][1], p, pass % 3);
  }

  int bits_, max_, total_, maxBits_, maxDiff_;
  std::vector<int32_t> lines_, want_;
  sGrad even_[3][41], odd_[3][41];
  cBits* bits_out_ = nullptr;
};

}  // namespace fuji_encoder
