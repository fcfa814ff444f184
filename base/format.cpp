// See base/format.h. One template serves both character widths; the format
// language is the same, only the default width of %s and %c differs.
#include "base/format.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---- Output ----------------------------------------------------------------

template <class C>
struct Sink {
  C* buf;
  int32_t cap;  // >= 1
  int32_t len = 0;

  void Put(C c) {
    if (len < cap - 1) buf[len++] = c;
  }
  void Fill(C c, int64_t n) {
    for (int64_t i = 0; i < n && len < cap - 1; ++i) buf[len++] = c;
  }
  void PutAscii(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) Put(static_cast<C>(static_cast<unsigned char>(s[i])));
  }
  int32_t Finish() {
    buf[len] = 0;
    return len;
  }
};

// A unit of other text converted to C: Latin-1 both ways.
template <class C>
C Convert(char c) {
  return static_cast<C>(static_cast<unsigned char>(c));
}
template <class C>
C Convert(char16_t u) {
  if constexpr (sizeof(C) == 1)
    return u > 0xFF ? static_cast<C>('?') : static_cast<C>(u);
  else
    return static_cast<C>(u);
}

struct Spec {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int64_t width = 0;
  int64_t precision = -1;  // -1: absent
  enum Length { kDefault, kShort, kLong, kLongLong, kInt64, kInt32, kWide } length = kDefault;
};

// Pads text (already converted into `body`, with an optional sign/prefix
// kept apart so that zero padding goes between them).
// trailing: zeros after the body (the far digits of a long fraction).
template <class C>
void Emit(Sink<C>& out, const Spec& sp, const char* prefix, size_t prefixLen, const char* body,
          size_t bodyLen, int64_t zeros, bool zeroPadAllowed, int64_t trailing = 0) {
  const int64_t content = static_cast<int64_t>(prefixLen + bodyLen) + zeros + trailing;
  const int64_t pad = sp.width > content ? sp.width - content : 0;
  if (sp.left) {
    out.PutAscii(prefix, prefixLen);
    out.Fill(static_cast<C>('0'), zeros);
    out.PutAscii(body, bodyLen);
    out.Fill(static_cast<C>('0'), trailing);
    out.Fill(static_cast<C>(' '), pad);
  } else if (sp.zero && zeroPadAllowed) {
    out.PutAscii(prefix, prefixLen);
    out.Fill(static_cast<C>('0'), zeros + pad);
    out.PutAscii(body, bodyLen);
    out.Fill(static_cast<C>('0'), trailing);
  } else {
    out.Fill(static_cast<C>(' '), pad);
    out.PutAscii(prefix, prefixLen);
    out.Fill(static_cast<C>('0'), zeros);
    out.PutAscii(body, bodyLen);
    out.Fill(static_cast<C>('0'), trailing);
  }
}

template <class C>
void FormatInteger(Sink<C>& out, const Spec& sp, char conv, uint64_t magnitude, bool negative) {
  char digits[24];
  size_t n = 0;
  const unsigned base = conv == 'o' ? 8 : ((conv == 'x' || conv == 'X') ? 16 : 10);
  const char* set = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  for (uint64_t v = magnitude; v != 0; v /= base) digits[n++] = set[v % base];
  for (size_t i = 0; i < n / 2; ++i) std::swap(digits[i], digits[n - 1 - i]);

  char prefix[3];
  size_t plen = 0;
  if (conv == 'd' || conv == 'i') {
    if (negative)
      prefix[plen++] = '-';
    else if (sp.plus)
      prefix[plen++] = '+';
    else if (sp.space)
      prefix[plen++] = ' ';
  }
  if (sp.alt && magnitude != 0 && base == 16) {
    prefix[plen++] = '0';
    prefix[plen++] = conv;
  }
  int64_t zeros = 0;
  const int64_t precision = sp.precision < 0 ? 1 : sp.precision;
  if (static_cast<int64_t>(n) < precision) zeros = precision - static_cast<int64_t>(n);
  if (sp.alt && base == 8 && zeros == 0 && (n == 0 || digits[0] != '0')) zeros = 1;
  // With a precision the 0 flag is ignored (the runtime's documented rule,
  // as C's): the precision alone decides the leading zeros.
  Emit(out, sp, prefix, plen, digits, n, zeros, sp.precision < 0);
}

// ---- Exact decimal form of a double ----------------------------------------

// A non-negative big integer in base 10^9, least significant limb first.
class BigDecimal {
public:
  explicit BigDecimal(uint64_t v) {
    do {
      limbs_.push_back(static_cast<uint32_t>(v % kBase));
      v /= kBase;
    } while (v != 0);
  }
  void Multiply(uint32_t f) {  // f < 2^32
    uint64_t carry = 0;
    for (auto& l : limbs_) {
      const uint64_t x = static_cast<uint64_t>(l) * f + carry;
      l = static_cast<uint32_t>(x % kBase);
      carry = x / kBase;
    }
    while (carry != 0) {
      limbs_.push_back(static_cast<uint32_t>(carry % kBase));
      carry /= kBase;
    }
  }
  std::string Digits() const {
    std::string s = std::to_string(limbs_.back());
    for (size_t i = limbs_.size() - 1; i-- > 0;) {
      std::string part = std::to_string(limbs_[i]);
      s.append(9 - part.size(), '0');
      s += part;
    }
    return s;
  }

private:
  static constexpr uint64_t kBase = 1000000000;
  std::vector<uint32_t> limbs_;
};

// |v| = digits x 10^-fraction exactly (v finite).
struct Exact {
  std::string digits;
  int32_t fraction = 0;
};

Exact ExactDecimal(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const int32_t biased = static_cast<int32_t>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((1ull << 52) - 1);
  int32_t exponent;
  if (biased == 0) {
    exponent = -1074;
  } else {
    mantissa |= 1ull << 52;
    exponent = biased - 1075;
  }
  BigDecimal n(mantissa);
  Exact e;
  if (exponent >= 0) {
    for (int32_t left = exponent; left > 0; left -= 29) n.Multiply(1u << (left < 29 ? left : 29));
  } else {
    // m x 2^-k = m x 5^k / 10^k
    for (int32_t left = -exponent; left > 0; left -= 13) {
      uint32_t f = 1;
      for (int32_t i = 0; i < (left < 13 ? left : 13); ++i) f *= 5;
      n.Multiply(f);
    }
    e.fraction = -exponent;
  }
  e.digits = n.Digits();
  return e;
}

// The digits of |v| with `precision` fraction digits, rounded half away
// from zero: "123.46" for 123.456 and 2.
std::string FixedDigits(double v, int64_t precision, bool keepPoint) {
  const Exact e = ExactDecimal(v);
  const int64_t len = static_cast<int64_t>(e.digits.size());
  std::string intPart, frac;
  if (len > e.fraction) {
    intPart = e.digits.substr(0, static_cast<size_t>(len - e.fraction));
    frac = e.digits.substr(static_cast<size_t>(len - e.fraction));
  } else {
    intPart = "0";
    frac = std::string(static_cast<size_t>(e.fraction - len), '0') + e.digits;
  }
  const bool roundUp = static_cast<int64_t>(frac.size()) > precision && frac[static_cast<size_t>(precision)] >= '5';
  if (static_cast<int64_t>(frac.size()) > precision)
    frac.resize(static_cast<size_t>(precision));
  else
    frac.append(static_cast<size_t>(precision) - frac.size(), '0');
  std::string all = intPart + frac;
  if (roundUp) {
    size_t i = all.size();
    while (i > 0) {
      --i;
      if (all[i] == '9') {
        all[i] = '0';
      } else {
        ++all[i];
        break;
      }
      if (i == 0) {
        all.insert(all.begin(), '1');
        break;
      }
    }
  }
  const size_t intLen = all.size() - frac.size();
  std::string out = all.substr(0, intLen);
  if (precision > 0 || keepPoint) out += '.';
  out += all.substr(intLen);
  return out;
}

template <class C>
void FormatDouble(Sink<C>& out, const Spec& sp, double v) {
  const bool negative = std::signbit(v);
  char prefix[2];
  size_t plen = 0;
  if (negative)
    prefix[plen++] = '-';
  else if (sp.plus)
    prefix[plen++] = '+';
  else if (sp.space)
    prefix[plen++] = ' ';
  const int64_t precision = sp.precision < 0 ? 6 : sp.precision;
  if (std::isnan(v) || std::isinf(v)) {
    // The runtime sends these through its digit path: "1" is the integer
    // part and the rest of "1#INF", "1#IND" (a NaN with its sign bit set) or
    // "1#QNAN" are fraction digits, cut to the precision with the last kept
    // character rounded up when the next is '5' or above (so "%.2f" of an
    // infinity is "1.#J"), then padded with zeros. No point for "%#.0f".
    const char* digits = std::isinf(v) ? "#INF" : (negative ? "#IND" : "#QNAN");
    std::string body = "1";
    const int64_t have = static_cast<int64_t>(std::strlen(digits));
    if (precision > 0) {
      body += '.';
      body.append(digits, static_cast<size_t>(precision < have ? precision : have));
      if (precision < have && digits[precision] >= '5') ++body.back();
    }
    const int64_t trailing = precision > have ? precision - have : 0;
    Emit(out, sp, prefix, plen, body.data(), body.size(), 0, true, trailing);
    return;
  }
  // A double has at most 1074 fraction digits; any beyond are zeros and are
  // not built in memory.
  constexpr int64_t kExactDigits = 1100;
  const int64_t built = precision < kExactDigits ? precision : kExactDigits;
  const std::string body = FixedDigits(std::fabs(v), built, sp.alt);
  Emit(out, sp, prefix, plen, body.data(), body.size(), 0, true, precision - built);
}

template <class C, class T>
void FormatString(Sink<C>& out, const Spec& sp, const T* s) {
  static const T kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
  if (s == nullptr) s = kNull;
  int64_t n = 0;
  while ((sp.precision < 0 || n < sp.precision) && s[n] != 0) ++n;
  const int64_t pad = sp.width > n ? sp.width - n : 0;
  const C padChar = static_cast<C>(sp.zero && !sp.left ? '0' : ' ');
  if (!sp.left) out.Fill(padChar, pad);
  for (int64_t i = 0; i < n; ++i) out.Put(Convert<C>(s[i]));
  if (sp.left) out.Fill(static_cast<C>(' '), pad);
}

template <class C>
void FormatChar(Sink<C>& out, const Spec& sp, C c) {
  const int64_t pad = sp.width > 1 ? sp.width - 1 : 0;
  const C padChar = static_cast<C>(sp.zero && !sp.left ? '0' : ' ');
  if (!sp.left) out.Fill(padChar, pad);
  out.Put(c);
  if (sp.left) out.Fill(static_cast<C>(' '), pad);
}

// Reads a decimal number from the format; saturates far beyond any width.
template <class C>
int64_t ReadNumber(const C*& p) {
  int64_t v = 0;
  while (*p >= '0' && *p <= '9') {
    if (v < 100000000) v = v * 10 + (*p - '0');
    ++p;
  }
  return v;
}

template <class C>
int32_t FormatCore(C* buffer, int32_t capacity, const C* format, va_list* ap) {
  Sink<C> out{buffer, capacity};
  const C* p = format;
  while (*p != 0) {
    if (*p != '%') {
      out.Put(*p++);
      continue;
    }
    ++p;
    Spec sp;
    for (;; ++p) {
      if (*p == '-')
        sp.left = true;
      else if (*p == '+')
        sp.plus = true;
      else if (*p == ' ')
        sp.space = true;
      else if (*p == '#')
        sp.alt = true;
      else if (*p == '0')
        sp.zero = true;
      else
        break;
    }
    if (*p == '*') {
      ++p;
      const int w = va_arg(*ap, int);
      if (w < 0) {
        sp.left = true;
        sp.width = -static_cast<int64_t>(w);
      } else {
        sp.width = w;
      }
    } else {
      sp.width = ReadNumber(p);
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        ++p;
        const int pr = va_arg(*ap, int);
        sp.precision = pr < 0 ? -1 : pr;
      } else {
        sp.precision = ReadNumber(p);
      }
    }
    if (*p == 'h') {
      sp.length = Spec::kShort;
      ++p;
    } else if (*p == 'l') {
      ++p;
      sp.length = Spec::kLong;
      if (*p == 'l') {
        sp.length = Spec::kLongLong;
        ++p;
      }
    } else if (*p == 'w') {
      sp.length = Spec::kWide;
      ++p;
    } else if (*p == 'I' && p[1] == '6' && p[2] == '4') {
      sp.length = Spec::kInt64;
      p += 3;
    } else if (*p == 'I' && p[1] == '3' && p[2] == '2') {
      sp.length = Spec::kInt32;
      p += 3;
    }
    const C conv = *p;
    if (conv == 0) break;  // the format ends inside a conversion: nothing
    ++p;
    switch (conv) {
      case '%':
        out.Put(static_cast<C>('%'));
        break;
      case 'd':
      case 'i': {
        int64_t v;
        if (sp.length == Spec::kLongLong || sp.length == Spec::kInt64)
          v = va_arg(*ap, long long);
        else if (sp.length == Spec::kShort)
          v = static_cast<int16_t>(va_arg(*ap, int));
        else if (sp.length == Spec::kLong)
          v = static_cast<int32_t>(va_arg(*ap, long));
        else
          v = va_arg(*ap, int);
        const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        FormatInteger(out, sp, static_cast<char>(conv), mag, v < 0);
        break;
      }
      case 'u':
      case 'o':
      case 'x':
      case 'X': {
        uint64_t v;
        if (sp.length == Spec::kLongLong || sp.length == Spec::kInt64)
          v = va_arg(*ap, unsigned long long);
        else if (sp.length == Spec::kShort)
          v = static_cast<uint16_t>(va_arg(*ap, unsigned));
        else if (sp.length == Spec::kLong)
          v = static_cast<uint32_t>(va_arg(*ap, unsigned long));
        else
          v = va_arg(*ap, unsigned);
        FormatInteger(out, sp, static_cast<char>(conv), v, false);
        break;
      }
      case 'c':
      case 'C': {
        const int v = va_arg(*ap, int);
        // Which width the argument has: the default is the output's own.
        bool wide = sizeof(C) == 2;
        if (sp.length == Spec::kShort) wide = false;
        else if (sp.length == Spec::kLong || sp.length == Spec::kWide) wide = true;
        else if (conv == 'C') wide = !wide;
        const C c = wide ? Convert<C>(static_cast<char16_t>(v)) : Convert<C>(static_cast<char>(v));
        FormatChar(out, sp, c);
        break;
      }
      case 's':
      case 'S': {
        bool wide = sizeof(C) == 2;
        if (sp.length == Spec::kShort) wide = false;
        else if (sp.length == Spec::kLong || sp.length == Spec::kWide) wide = true;
        else if (conv == 'S') wide = !wide;
        if (wide)
          FormatString(out, sp, va_arg(*ap, const char16_t*));
        else
          FormatString(out, sp, va_arg(*ap, const char*));
        break;
      }
      case 'f':
        FormatDouble(out, sp, va_arg(*ap, double));
        break;
      default:  // an unknown conversion character stands for itself
        out.Put(conv);
        break;
    }
  }
  return out.Finish();
}

// ---- Scanning ----------------------------------------------------------------

template <class C>
bool IsBlank(C c) {
  return c == ' ' || (c >= 9 && c <= 13);
}

template <class C>
int DigitValue(C c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// A width-limited reader over the text.
template <class C>
struct Input {
  const C* p;
  int64_t limit;  // characters this field may still take; < 0: unlimited
  C Peek() const { return limit == 0 ? C(0) : *p; }
  void Take() {
    ++p;
    if (limit > 0) --limit;
  }
};

// Reads an integer in the given base (0: decided by the prefix as %i does).
// The value wraps around in 64 bits; false when no digit was read.
template <class C>
bool ReadInteger(Input<C>& in, int base, uint64_t& value) {
  bool negative = false;
  if (in.Peek() == '-' || in.Peek() == '+') {
    negative = in.Peek() == '-';
    in.Take();
  }
  bool any = false;
  if ((base == 0 || base == 16) && in.Peek() == '0') {
    in.Take();
    any = true;
    if (in.Peek() == 'x' || in.Peek() == 'X') {
      in.Take();
      base = 16;
      any = false;  // the prefix alone is no number
    } else if (base == 0) {
      base = 8;
    }
  }
  if (base == 0) base = 10;
  uint64_t v = 0;
  while (DigitValue(in.Peek()) < base) {
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(DigitValue(in.Peek()));
    in.Take();
    any = true;
  }
  value = negative ? 0 - v : v;
  return any;
}

// Reads a decimal floating-point number; false when it has no digits.
template <class C>
bool ReadDouble(Input<C>& in, double& value) {
  std::string text;
  auto take = [&] {
    text += static_cast<char>(in.Peek());
    in.Take();
  };
  if (in.Peek() == '-' || in.Peek() == '+') take();
  bool digits = false;
  while (in.Peek() >= '0' && in.Peek() <= '9') {
    take();
    digits = true;
  }
  if (in.Peek() == '.') {
    take();
    while (in.Peek() >= '0' && in.Peek() <= '9') {
      take();
      digits = true;
    }
  }
  if (!digits) return false;
  if (in.Peek() == 'e' || in.Peek() == 'E') {
    take();
    if (in.Peek() == '-' || in.Peek() == '+') take();
    while (in.Peek() >= '0' && in.Peek() <= '9') take();
  }
  value = std::strtod(text.c_str(), nullptr);
  return true;
}

template <class T>
void StoreInt(va_list* ap, int sizeBytes, T v) {
  switch (sizeBytes) {
    case 2:
      *va_arg(*ap, int16_t*) = static_cast<int16_t>(v);
      break;
    case 8:
      *va_arg(*ap, int64_t*) = static_cast<int64_t>(v);
      break;
    default:
      *va_arg(*ap, int32_t*) = static_cast<int32_t>(v);
      break;
  }
}

// The scan set of %[...] as ranges of units; p points after '[' and is left
// after the closing ']'.
struct ScanSet {
  std::vector<std::pair<uint16_t, uint16_t>> ranges;
  bool negate = false;
  bool Accepts(uint16_t c) const {
    bool in = false;
    for (const auto& r : ranges) in = in || (c >= r.first && c <= r.second);
    return in != negate;
  }
};

template <class C>
ScanSet ParseScanSet(const C*& p) {
  ScanSet set;
  if (*p == '^') {
    set.negate = true;
    ++p;
  }
  if (*p == ']') {
    set.ranges.push_back({']', ']'});
    ++p;
  }
  while (*p != 0 && *p != ']') {
    // Bytes as Latin-1 units (not sign-extended), as the text's are below.
    const auto lo = static_cast<uint16_t>(Convert<char16_t>(*p));
    if (p[1] == '-' && p[2] != 0 && p[2] != ']') {
      const auto hi = static_cast<uint16_t>(Convert<char16_t>(p[2]));
      set.ranges.push_back({lo < hi ? lo : hi, lo < hi ? hi : lo});
      p += 3;
    } else {
      set.ranges.push_back({lo, lo});
      ++p;
    }
  }
  if (*p == ']') ++p;
  return set;
}

template <class C>
int32_t ScanCore(const C* text, const C* format, va_list* ap) {
  const C* s = text;
  const C* f = format;
  int32_t stored = 0;
  // An empty text gives -1 whatever the format; the runtime looks at the
  // input before the format.
  if (*s == 0) return -1;
  while (*f != 0) {
    if (IsBlank(*f)) {
      while (IsBlank(*f)) ++f;
      while (IsBlank(*s)) ++s;
      continue;
    }
    if (*f != '%' || f[1] == '%') {
      if (*f == '%') ++f;
      if (*s != *f) return stored;
      ++s;
      ++f;
      continue;
    }
    ++f;
    bool suppress = false;
    if (*f == '*') {
      suppress = true;
      ++f;
    }
    int64_t width = -1;
    if (*f >= '0' && *f <= '9') width = ReadNumber(f);
    int size = 4;
    int charWidth = 0;  // 1 or 2 when the length gives the text width
    bool isDouble = false;
    if (*f == 'h') {
      size = 2;
      charWidth = 1;
      ++f;
    } else if (*f == 'l') {
      ++f;
      isDouble = true;
      charWidth = 2;
      if (*f == 'l') {
        size = 8;
        ++f;
      }
    } else if (*f == 'L') {
      isDouble = true;
      ++f;
    } else if (*f == 'w') {
      charWidth = 2;
      ++f;
    } else if (*f == 'I' && f[1] == '6' && f[2] == '4') {
      size = 8;
      f += 3;
    } else if (*f == 'I' && f[1] == '3' && f[2] == '2') {
      f += 3;
    }
    C conv = *f;
    if (conv == 0) break;
    ++f;
    if (conv == 'n') {
      if (!suppress) StoreInt(ap, size, static_cast<int64_t>(s - text));
      continue;
    }
    if (conv != 'c' && conv != '[')
      while (IsBlank(*s)) ++s;
    // At the end of the text a string field with nothing stored before it
    // gives -1, any other field the count: the runtime's results.
    if (*s == 0) return (conv == 's' || conv == 'S') && stored == 0 ? -1 : stored;
    Input<C> in{s, width < 0 ? -1 : width};
    switch (conv) {
      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X': {
        const int base = conv == 'i' ? 0 : (conv == 'o' ? 8 : ((conv == 'x' || conv == 'X') ? 16 : 10));
        uint64_t v;
        if (!ReadInteger(in, base, v)) return stored;
        if (!suppress) {
          StoreInt(ap, size, v);
          ++stored;
        }
        break;
      }
      case 'e':
      case 'E':
      case 'f':
      case 'g':
      case 'G': {
        double v;
        if (!ReadDouble(in, v)) return stored;
        if (!suppress) {
          if (isDouble)
            *va_arg(*ap, double*) = v;
          else
            *va_arg(*ap, float*) = static_cast<float>(v);
          ++stored;
        }
        break;
      }
      case 'c':
      case 'C':
      case 's':
      case 'S':
      case '[': {
        if (charWidth == 0) {
          charWidth = static_cast<int>(sizeof(C));
          if (conv == 'C' || conv == 'S') charWidth = 3 - charWidth;
        }
        ScanSet set;
        if (conv == '[') set = ParseScanSet(f);
        if (conv == 'c' || conv == 'C') {
          if (in.limit < 0) in.limit = 1;
        }
        void* dest = suppress ? nullptr : va_arg(*ap, void*);
        int64_t n = 0;
        for (;;) {
          const C c = in.Peek();
          if (c == 0) break;
          if ((conv == 's' || conv == 'S') && IsBlank(c)) break;
          if (conv == '[' && !set.Accepts(static_cast<uint16_t>(Convert<char16_t>(c)))) break;
          if (dest != nullptr) {
            if (charWidth == 1)
              static_cast<char*>(dest)[n] = Convert<char>(c);
            else
              static_cast<char16_t*>(dest)[n] = Convert<char16_t>(c);  // a byte is its Latin-1 unit
          }
          ++n;
          in.Take();
        }
        if (n == 0) {
          // The runtime leaves an empty text behind a scan set that matched
          // nothing.
          if (conv == '[' && dest != nullptr) {
            if (charWidth == 1)
              static_cast<char*>(dest)[0] = 0;
            else
              static_cast<char16_t*>(dest)[0] = 0;
          }
          return stored;
        }
        if (dest != nullptr) {
          if (conv != 'c' && conv != 'C') {
            if (charWidth == 1)
              static_cast<char*>(dest)[n] = 0;
            else
              static_cast<char16_t*>(dest)[n] = 0;
          }
          ++stored;
        }
        break;
      }
      default:
        return stored;
    }
    s = in.p;
  }
  return stored;
}

// The list forms of both widths: the core reads from a copy, so that the
// caller's va_list stays as it was.
template <class C>
int32_t ScanList(const C* text, const C* format, va_list args) {
  if (text == nullptr || format == nullptr) return 0;
  va_list ap;
  va_copy(ap, args);
  const int32_t n = ScanCore(text, format, &ap);
  va_end(ap);
  return n;
}

template <class C>
int32_t FormatList(C* buffer, int32_t capacity, const C* format, va_list args) {
  if (buffer == nullptr || format == nullptr || capacity <= 0) return 0;
  va_list ap;
  va_copy(ap, args);
  const int32_t n = FormatCore(buffer, capacity, format, &ap);
  va_end(ap);
  return n;
}

}  // namespace

int32_t ScanAList(const char* text, const char* format, va_list args) { return ScanList(text, format, args); }

int32_t ScanWList(const char16_t* text, const char16_t* format, va_list args) {
  return ScanList(text, format, args);
}

int32_t ScanA(const char* text, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int32_t n = ScanAList(text, format, ap);
  va_end(ap);
  return n;
}

int32_t ScanW(const char16_t* text, const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int32_t n = ScanWList(text, format, ap);
  va_end(ap);
  return n;
}

int32_t FormatWV(char16_t* buffer, int32_t capacity, const char16_t* format, va_list args) {
  return FormatList(buffer, capacity, format, args);
}

int32_t FormatW(char16_t* buffer, int32_t capacity, const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int32_t n = FormatWV(buffer, capacity, format, ap);
  va_end(ap);
  return n;
}

int32_t FormatAV(char* buffer, int32_t capacity, const char* format, va_list args) {
  return FormatList(buffer, capacity, format, args);
}

int32_t FormatA(char* buffer, int32_t capacity, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int32_t n = FormatAV(buffer, capacity, format, ap);
  va_end(ap);
  return n;
}
