// See raw_fuji_compressed.h.
#include "picture/raw/raw_fuji_compressed.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/buffers.h"

namespace {

const uint8_t kXTrans[6][6] = {{1, 2, 1, 1, 0, 1}, {0, 1, 0, 2, 1, 2}, {1, 2, 1, 1, 0, 1},
                               {1, 0, 1, 1, 2, 1}, {2, 1, 2, 0, 1, 0}, {1, 0, 1, 1, 2, 1}};

uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }

struct sFujiParams {
  std::vector<int8_t> q;  // index d + max
  int32_t max = 0;
  int32_t total = 0;
  int32_t rawBits = 0;
  int32_t maxBits = 0;
  int32_t maxDiff = 0;
  int32_t lw = 0;
  int32_t Q(int32_t d) const { return q[static_cast<size_t>(d + max)]; }
};

void InitFujiParams(sFujiParams& p, int32_t bits, int32_t blockSize) {
  p.max = (1 << bits) - 1;
  p.total = 1 << bits;
  p.rawBits = bits;
  p.maxBits = bits == 14 ? 56 : 48;
  p.maxDiff = bits == 14 ? 256 : 64;
  p.lw = blockSize * 2 / 3;
  p.q.resize(static_cast<size_t>(2 * p.max + 1));
  for (int32_t d = -p.max; d <= p.max; ++d) {
    int8_t v;
    if (d <= -276) v = -4;
    else if (d <= -67) v = -3;
    else if (d <= -18) v = -2;
    else if (d < 0) v = -1;
    else if (d == 0) v = 0;
    else if (d < 18) v = 1;
    else if (d < 67) v = 2;
    else if (d < 276) v = 3;
    else v = 4;
    p.q[static_cast<size_t>(d + p.max)] = v;
  }
}

struct sGrad {
  int32_t sum, count;
};

// Most-significant-first bits over [start, start + allowed) of the data.
// Past the end every read reports failure and delivers zero bits. Bits are
// taken from a 64-bit cache, left-aligned, whose bits beyond the valid ones
// are zero, so that runs of zeros and codes are read whole.
class cFujiBits {
public:
  cFujiBits(const uint8_t* data, size_t allowed) : data_(data), size_(allowed) {}
  // Zero bits before the next 1 bit (which is consumed); at the end of the
  // data the count so far, with the failure set.
  int32_t ZeroBits() {
    if (dry_) return 0;
    int32_t n = 0;
    for (;;) {
      Refill();
      if (have_ == 0) {
        dry_ = true;
        return n;
      }
      if (cache_ != 0) {
        const int lz = __builtin_clzll(cache_);
        Consume(lz + 1);
        return n + lz;
      }
      n += have_;
      Consume(have_);
    }
  }
  bool Code(int32_t n, int32_t& value) {
    value = 0;
    if (n <= 0) return !dry_;
    Refill();
    if (have_ >= n) {
      value = static_cast<int32_t>(cache_ >> (64 - n));
      Consume(n);
    } else {
      // The data ends inside the code: its missing bits are zeros.
      if (have_ > 0) value = static_cast<int32_t>((cache_ >> (64 - have_)) << (n - have_));
      Consume(have_);
      dry_ = true;
    }
    return !dry_;
  }

private:
  void Refill() {
    while (have_ <= 56 && byte_ < size_) {
      cache_ |= static_cast<uint64_t>(data_[byte_++]) << (56 - have_);
      have_ += 8;
    }
  }
  void Consume(int n) {
    cache_ = n >= 64 ? 0 : cache_ << n;
    have_ -= n;
  }

  const uint8_t* data_;
  size_t size_;
  size_t byte_ = 0;
  uint64_t cache_ = 0;
  int have_ = 0;
  bool dry_ = false;
};

enum : int32_t { kR0 = 0, kG0 = 5, kB0 = 13, kLines = 18 };

class cFujiBlock {
public:
  cFujiBlock(const sFujiParams& p, const uint8_t* data, size_t allowed)
      : p_(p), bits_(data, allowed), stride_(static_cast<size_t>(p.lw) + 2) {
    lines_.Resize(static_cast<int32_t>(stride_ * kLines));
    memset(lines_.data, 0, stride_ * kLines * sizeof(uint16_t));
    for (auto& set : even_)
      for (auto& g : set) g = {p.maxDiff, 1};
    for (auto& set : odd_)
      for (auto& g : set) g = {p.maxDiff, 1};
  }

  // Lines and entries are the coding's own (at most lw + 1): no check.
  uint16_t& At(int32_t line, int32_t entry) { return lines_.data[line * stride_ + static_cast<size_t>(entry)]; }

  bool Stripe() {
    int32_t errors = 0;
    const int32_t lw = p_.lw;
    for (int pass = 0; pass < 6; ++pass) {
      int32_t ev = 0, od = 1;
      while (ev < lw || od < lw) {
        if (ev < lw) {
          errors += EvenStep(pass, ev);
          ev += 2;
        }
        if ((ev > 8 || ev >= lw) && od < lw) {
          errors += OddStep(pass, od);
          od += 2;
        }
      }
      switch (pass) {
        case 0: Extend(kR0, 5), Extend(kG0, 8); break;
        case 1: Extend(kG0, 8), Extend(kB0, 5); break;
        case 2: Extend(kR0, 5), Extend(kG0, 8); break;
        case 3: Extend(kG0, 8), Extend(kB0, 5); break;
        case 4: Extend(kR0, 5), Extend(kG0, 8); break;
        default: Extend(kG0, 8), Extend(kB0, 5); break;
      }
    }
    return errors == 0;
  }

  // The last two lines of each colour move up; coded lines are cleared.
  void NextStripe() {
    auto copy = [&](int32_t to, int32_t from) {
      memcpy(&At(to, 0), &At(from, 0), stride_ * sizeof(uint16_t));
    };
    copy(kR0, kR0 + 3), copy(kR0 + 1, kR0 + 4);
    copy(kG0, kG0 + 6), copy(kG0 + 1, kG0 + 7);
    copy(kB0, kB0 + 3), copy(kB0 + 1, kB0 + 4);
    for (int32_t l : {kR0 + 2, kR0 + 3, kR0 + 4, kG0 + 2, kG0 + 3, kG0 + 4, kG0 + 5, kG0 + 6, kG0 + 7, kB0 + 2,
                      kB0 + 3, kB0 + 4})
      memset(&At(l, 0), 0, stride_ * sizeof(uint16_t));
    for (int32_t g : {kR0, kG0, kB0}) {
      At(g + 2, 0) = At(g + 1, 1);
      At(g + 2, p_.lw + 1) = At(g + 1, p_.lw);
    }
  }

  void CopyToRaw(uint16_t* frame, int32_t frameWidth, int32_t stripe, int32_t block, int32_t columns) {
    for (int32_t r = 0; r < 6; ++r) {
      uint16_t* row = frame + static_cast<size_t>(6 * stripe + r) * frameWidth + static_cast<size_t>(768) * block;
      for (int32_t j = 0; j < columns; ++j) {
        const int c = kXTrans[r][j % 6];
        const int32_t line = c == 0 ? kR0 + 2 + r / 2 : (c == 1 ? kG0 + 2 + r : kB0 + 2 + r / 2);
        const int32_t pos = j % 3 == 0 ? 2 * (j / 3) : 2 * (j / 3) + 1;
        row[j] = At(line, pos + 1);
      }
    }
  }

private:
  void Extend(int32_t first, int32_t count) {
    // first is the group's line 0; lines 2.. count-1 take their borders
    // from the line above.
    for (int32_t l = first + 2; l < first + count; ++l) {
      At(l, 0) = At(l - 1, 1);
      At(l, p_.lw + 1) = At(l - 1, p_.lw);
    }
  }

  int32_t EvenStep(int pass, int32_t p) {
    const int32_t m4 = p % 4;
    switch (pass) {
      case 0: Interp(kR0 + 2, p); return Even(kG0 + 2, p, 0);
      case 1: {
        const int32_t e = Even(kG0 + 3, p, 1);
        Interp(kB0 + 2, p);
        return e;
      }
      case 2: {
        int32_t e = 0;
        if (m4 != 0) e = Even(kR0 + 3, p, 2);
        else Interp(kR0 + 3, p);
        Interp(kG0 + 4, p);
        return e;
      }
      case 3: {
        int32_t e = Even(kG0 + 5, p, 0);
        if (m4 == 2) Interp(kB0 + 3, p);
        else e += Even(kB0 + 3, p, 0);
        return e;
      }
      case 4: {
        int32_t e = 0;
        if (m4 == 2) Interp(kR0 + 4, p);
        else e = Even(kR0 + 4, p, 1);
        return e + Even(kG0 + 6, p, 1);
      }
      default: {
        Interp(kG0 + 7, p);
        if (m4 != 0) return Even(kB0 + 4, p, 2);
        Interp(kB0 + 4, p);
        return 0;
      }
    }
  }

  int32_t OddStep(int pass, int32_t p) {
    static const int32_t kLinesOf[6][2] = {{kR0 + 2, kG0 + 2}, {kG0 + 3, kB0 + 2}, {kR0 + 3, kG0 + 4},
                                           {kG0 + 5, kB0 + 3}, {kR0 + 4, kG0 + 6}, {kG0 + 7, kB0 + 4}};
    const int set = pass % 3;
    return Odd(kLinesOf[pass][0], p, set) + Odd(kLinesOf[pass][1], p, set);
  }

  // Three-way choice of the two neighbours that are kept.
  static int32_t EvenPrediction(int32_t Rb, int32_t Rc, int32_t Rd, int32_t Rf) {
    const int32_t dc = std::abs(Rc - Rb), df = std::abs(Rf - Rb), dd = std::abs(Rd - Rb);
    if (dc > df && dc > dd) return Rf + Rd + 2 * Rb;
    if (dd > dc && dd > df) return Rf + Rc + 2 * Rb;
    return Rd + Rc + 2 * Rb;
  }

  void Interp(int32_t line, int32_t p) {
    const int32_t e = p + 1;
    At(line, e) = static_cast<uint16_t>(
        EvenPrediction(At(line - 1, e), At(line - 1, e - 1), At(line - 1, e + 1), At(line - 2, e)) >> 2);
  }

  // Reads one code with gradient pair g; errors counted for the even kind.
  int32_t Code(sGrad& g, bool countReadErrors, int32_t& e) {
    int32_t errors = 0, code = 0;
    const int32_t z = bits_.ZeroBits();
    if (z < p_.maxBits - p_.rawBits - 1) {
      int32_t k = 0;
      if (g.count < g.sum) {
        k = 13;
        for (int32_t i = 1; i <= 12; ++i)
          if ((static_cast<int64_t>(g.count) << i) >= g.sum) {
            k = i;
            break;
          }
      }
      int32_t v;
      if (!bits_.Code(k, v) && countReadErrors) ++errors;
      code = v + (z << k);
    } else {
      int32_t v;
      if (!bits_.Code(p_.rawBits, v) && countReadErrors) ++errors;
      code = v + 1;
    }
    if (code < 0 || code >= p_.total) ++errors;
    e = (code & 1) ? -1 - code / 2 : code / 2;
    g.sum += std::abs(e);
    if (g.count == 64) g.sum >>= 1, g.count >>= 1;
    g.count += 1;
    return errors;
  }

  void Store(int32_t line, int32_t entry, int32_t v) {
    if (v < 0) v += p_.total;
    if (v > p_.max) v -= p_.total;
    At(line, entry) = static_cast<uint16_t>(v < 0 ? 0 : (v > p_.max ? p_.max : v));
  }

  int32_t Even(int32_t line, int32_t p, int set) {
    const int32_t en = p + 1;
    const int32_t Rb = At(line - 1, en), Rc = At(line - 1, en - 1), Rd = At(line - 1, en + 1), Rf = At(line - 2, en);
    const int32_t grad = 9 * p_.Q(Rb - Rf) + p_.Q(Rc - Rb);
    const int32_t t = EvenPrediction(Rb, Rc, Rd, Rf);
    int32_t e;
    const int32_t errors = Code(even_[set][std::abs(grad)], true, e);
    Store(line, en, grad < 0 ? (t >> 2) - e : (t >> 2) + e);
    return errors;
  }

  int32_t Odd(int32_t line, int32_t p, int set) {
    const int32_t en = p + 1;
    const int32_t Rb = At(line - 1, en), Rc = At(line - 1, en - 1), Rd = At(line - 1, en + 1);
    const int32_t Ra = At(line, en - 1), Rg = At(line, en + 1);
    const int32_t grad = 9 * p_.Q(Rb - Rc) + p_.Q(Rc - Ra);
    const int32_t pred = ((Rb > Rc && Rb > Rd) || (Rb < Rc && Rb < Rd)) ? (Rg + Ra + 2 * Rb) >> 2 : (Ra + Rg) >> 1;
    int32_t e;
    const int32_t errors = Code(odd_[set][std::abs(grad)], false, e);
    Store(line, en, grad < 0 ? pred - e : pred + e);
    return errors;
  }

  const sFujiParams& p_;
  cFujiBits bits_;
  size_t stride_;
  _typebuf<uint16_t> lines_;
  sGrad even_[3][41];
  sGrad odd_[3][41];
};

}  // namespace

int FujiXTransColour(int r, int c) { return kXTrans[r % 6][c % 6]; }

bool ReadFujiCompressedHeader(const uint8_t* b, size_t size, sFujiCompressedHeader& h) {
  if (size < 16 || b[0] != 0x49 || b[1] != 0x53 || b[2] != 1 || b[3] != 16) return false;
  sFujiCompressedHeader v;
  v.bits = b[4];
  v.rawHeight = static_cast<int32_t>(Be16(b + 5));
  v.roundedWidth = static_cast<int32_t>(Be16(b + 7));
  v.rawWidth = static_cast<int32_t>(Be16(b + 9));
  v.blockSize = static_cast<int32_t>(Be16(b + 11));
  v.blocksPerRow = b[13];
  v.stripes = static_cast<int32_t>(Be16(b + 14));
  if (v.bits != 12 && v.bits != 14) return false;
  if (v.blockSize != 768) return false;
  if (v.rawHeight < 6 || v.rawHeight > 0x3000 || v.rawHeight % 6) return false;
  if (v.rawWidth < 768 || v.rawWidth > 0x3000 || v.rawWidth % 24) return false;
  if (v.roundedWidth > 0x3000 || v.roundedWidth % v.blockSize || v.roundedWidth < v.blockSize ||
      v.roundedWidth >= v.rawWidth + v.blockSize)
    return false;
  if (v.blocksPerRow < 1 || v.blocksPerRow > 16 || v.blocksPerRow != v.roundedWidth / 768) return false;
  if (v.stripes < 1 || v.stripes > 2048 || v.stripes != v.rawHeight / 6) return false;
  h = v;
  return true;
}

bool DecodeFujiCompressed(const uint8_t* data, size_t size, uint16_t* frame, int32_t frameWidth,
                          int32_t frameHeight) {
  sFujiCompressedHeader h;
  if (!ReadFujiCompressedHeader(data, size, h)) return false;
  if (h.rawWidth > frameWidth || h.rawHeight > frameHeight) return false;
  if (h.blockSize % 3) return false;
  sFujiParams p;
  InitFujiParams(p, h.bits, h.blockSize);
  const uint64_t table = 16 + 4 * static_cast<uint64_t>(h.blocksPerRow);
  if (size < table) return false;
  uint64_t start = (table + 15) / 16 * 16;
  for (int32_t b = 0; b < h.blocksPerRow; ++b) {
    const uint64_t length = Be32(data + 16 + 4 * b);
    if (start > size || length > size - start) return false;  // a block past the data
    const uint64_t allowed = std::min<uint64_t>(size - start, length + 16);
    cFujiBlock block(p, data + start, static_cast<size_t>(allowed));
    int32_t columns = 768;
    if (b == h.blocksPerRow - 1 && h.rawWidth % 768) columns = h.rawWidth % 768;
    // A rounded width wider than needed leaves blocks with no columns.
    if (static_cast<int64_t>(b) * 768 >= h.rawWidth) columns = 0;
    for (int32_t s = 0; s < h.stripes; ++s) {
      if (!block.Stripe()) return false;
      block.CopyToRaw(frame, frameWidth, s, b, columns);
      block.NextStripe();
    }
    start += length;
  }
  return true;
}
