// Fuzz target for the scanners and number parsers over text from outside.
// The first input byte chooses a scan format from a fixed table (formats are
// the program's own; the text is not); the rest is the text. Properties:
//  - ScanA and ScanW agree on the result and every stored field for the
//    same text (8-bit text widened as Latin-1);
//  - text fields never pass their width and stay terminated;
//  - for a text that is one number the C library reads without overflow,
//    the stored value is strtoll's / strtoull's / strtod's;
//  - ParseInt64A and ParseInt64W agree, and equal strtoll / strtoull
//    (base 16 after "0x") where those read the whole number without
//    overflow.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/format.h"
#include "base/strings.h"

namespace {

// A failed property names its line before the abort.
[[noreturn]] void Fail(int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, line, what);
  std::abort();
}
#define Check(ok) ((ok) ? void() : Fail(__LINE__, #ok))

std::u16string Widen(const char* s) {
  std::u16string w;
  for (; *s != 0; ++s) w.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
  return w;
}

const char* SkipBlanks(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsOctal(char c) { return c >= '0' && c <= '7'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Takes a run of min to max characters of one class; false when shorter.
bool Run(const char*& p, bool (*in)(char), int min, int max) {
  int n = 0;
  while (n < max && in(*p)) ++p, ++n;
  return n >= min;
}
void Sign(const char*& p) {
  if (*p == '+' || *p == '-') ++p;
}

// The whole text is [+-]?[0-9]{1,digits}.
bool SignedDigits(const char* p, int digits) {
  Sign(p);
  return Run(p, IsDigit, 1, digits) && *p == 0;
}
bool HexDigits(const char* p) { return Run(p, IsHex, 1, 16) && *p == 0; }
// [+-]?(0[xX][hex]{1,7} | [1-9][0-9]{0,8} | 0[0-7]{0,9})
bool AutoBase(const char* p) {
  Sign(p);
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    p += 2;
    return Run(p, IsHex, 1, 7) && *p == 0;
  }
  if (*p == '0') return Run(++p, IsOctal, 0, 9) && *p == 0;
  return IsDigit(*p) && Run(p, IsDigit, 1, 9) && *p == 0;
}
// [+-]?[0-9]{1,15}(.[0-9]{1,15})?([eE][+-]?[0-9]{1,2})?
bool PlainDouble(const char* p) {
  Sign(p);
  if (!Run(p, IsDigit, 1, 15)) return false;
  if (*p == '.' && !Run(++p, IsDigit, 1, 15)) return false;
  if (*p == 'e' || *p == 'E') {
    Sign(++p);
    if (!Run(p, IsDigit, 1, 2)) return false;
  }
  return *p == 0;
}

// Signed decimal of one number, read whole and without overflow.
bool CleanSigned(const char* text, int64_t lo, int64_t hi, int64_t& value) {
  const char* t = SkipBlanks(text);
  if (!SignedDigits(t, 19)) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(t, &end, 10);
  if (errno != 0 || *end != 0 || v < lo || v > hi) return false;
  value = v;
  return true;
}

void ParseInt64(const char* text) {
  const int64_t a = ParseInt64A(text);
  const std::u16string wide = Widen(text);
  Check(ParseInt64W(wide.c_str()) == a);
  // The parser skips tab, line feed, carriage return and space itself (the
  // scan it hands over to skips the other blanks too).
  const char* t = text;
  while (*t == '\t' || *t == '\n' || *t == '\r' || *t == ' ') ++t;
  if (*t == 0) {
    Check(a == 0);
    return;
  }
  errno = 0;
  char* end = nullptr;
  if ((t[0] == '0') && (t[1] == 'x' || t[1] == 'X')) {
    if (!HexDigits(t + 2)) return;
    const unsigned long long v = std::strtoull(t + 2, &end, 16);
    if (errno == 0 && *end == 0) Check(static_cast<uint64_t>(a) == v);
    return;
  }
  int64_t v = 0;
  if (CleanSigned(t, INT64_MIN, INT64_MAX, v)) Check(a == v);
  t = SkipBlanks(t);
  const bool digit = IsDigit(t[0]) || ((t[0] == '+' || t[0] == '-') && IsDigit(t[1]));
  if (!digit) Check(a == -1);  // no digits at all
}

// One scan format, run on both widths; the fields are compared.
struct sFields {
  int i1 = 0x5a5a5a5a, i2 = 0x5a5a5a5a;
  long long ll = 0x5a5a5a5a5a5a5a5a;
  double d = -7.25;
  char s[10];
  char16_t w[10];
  int n = -1;
};

enum eFormat { kDecimal, kInt64, kHex, kAuto, kDouble, kWords, kSet, kCount };

int32_t Scan(eFormat f, const char* text, sFields& r, bool wide) {
  std::memset(r.s, '#', sizeof r.s);
  for (char16_t& u : r.w) u = u'#';
  const std::u16string wt = Widen(text);
  switch (f) {
    case kDecimal:
      return wide ? ScanW(wt.c_str(), u"%d %d", &r.i1, &r.i2) : ScanA(text, "%d %d", &r.i1, &r.i2);
    case kInt64: return wide ? ScanW(wt.c_str(), u"%lld%n", &r.ll, &r.n) : ScanA(text, "%lld%n", &r.ll, &r.n);
    case kHex: return wide ? ScanW(wt.c_str(), u"%x,%x", &r.i1, &r.i2) : ScanA(text, "%x,%x", &r.i1, &r.i2);
    case kAuto: return wide ? ScanW(wt.c_str(), u"%i%n", &r.i1, &r.n) : ScanA(text, "%i%n", &r.i1, &r.n);
    case kDouble: return wide ? ScanW(wt.c_str(), u"%lf%n", &r.d, &r.n) : ScanA(text, "%lf%n", &r.d, &r.n);
    case kWords:
      // The same 8-bit field in both: %hs in the wide scan.
      return wide ? ScanW(wt.c_str(), u"%7hs = %7s%n", r.s, r.w, &r.n) : ScanA(text, "%7s = %7ls%n", r.s, r.w, &r.n);
    case kSet:
      // 8-bit field in the narrow scan, UTF-16 in the wide one.
      return wide ? ScanW(wt.c_str(), u"%5[a-z0-9_]%n", r.w, &r.n) : ScanA(text, "%5[a-z0-9_]%n", r.s, &r.n);
    default: return 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 256) return 0;
  const auto format = static_cast<eFormat>(data[0] % kCount);
  // An exact-size terminated copy: a read past the text is caught.
  const size_t n = size - 1;
  std::unique_ptr<char[]> text(new char[n + 1]);
  std::memcpy(text.get(), data + 1, n);
  text[n] = 0;

  ParseInt64(text.get());

  sFields a, w;
  const int32_t ra = Scan(format, text.get(), a, false);
  const int32_t rw = Scan(format, text.get(), w, true);
  Check(ra == rw);
  Check(ra >= -1 && ra <= 3);
  Check(a.i1 == w.i1 && a.i2 == w.i2 && a.ll == w.ll && a.n == w.n);
  Check(std::memcmp(&a.d, &w.d, sizeof a.d) == 0);
  if (format == kSet) {
    for (int i = 0; i < 10; ++i) Check(static_cast<char16_t>(static_cast<unsigned char>(a.s[i])) == w.w[i]);
    Check(a.s[6] == '#' && a.s[9] == '#');  // width 5 plus the terminator
  } else {
    Check(std::memcmp(a.s, w.s, sizeof a.s) == 0 && std::memcmp(a.w, w.w, sizeof a.w) == 0);
    Check(a.s[8] == '#' && a.w[8] == u'#');  // width 7 plus the terminator
  }

  int64_t v = 0;
  const char* whole = text.get();
  if (format == kInt64 && CleanSigned(whole, INT64_MIN, INT64_MAX, v)) {
    Check(ra == 1 && a.ll == v);
  }
  if (format == kDecimal && SignedDigits(SkipBlanks(whole), 9)) {
    Check(CleanSigned(whole, INT32_MIN, INT32_MAX, v) && ra == 1 && a.i1 == v);
  }
  if (format == kAuto) {
    const char* t = SkipBlanks(whole);
    if (AutoBase(t)) {
      char* end = nullptr;
      const long long expect = std::strtoll(t, &end, 0);
      Check(*end == 0 && ra == 1 && static_cast<long long>(a.i1) == static_cast<int32_t>(expect));
    }
  }
  if (format == kDouble) {
    const char* t = SkipBlanks(whole);
    if (PlainDouble(t)) {
      const double expect = std::strtod(t, nullptr);
      Check(ra == 1 && std::memcmp(&a.d, &expect, sizeof expect) == 0);
    }
  }
  return 0;
}
