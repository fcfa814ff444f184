// Fuzz target for the formatter driven by format strings from outside (a
// language pack's texts are formats). The input is the format itself.
//
// The formatter takes its arguments as C variadic arguments, which a format
// with more conversions than arguments would read past. The harness passes
// more than any accepted format can consume (a format of at most kMaxPercents
// '%' signs consumes at most three arguments per sign: width, precision,
// value), all of them the address of a zero-filled text, so that whatever a
// conversion reads is harmless: as text it is empty, as a number the address.
// Properties:
//  - the result is the units written, within the capacity, terminated, and
//    nothing is written past the capacity;
//  - a smaller capacity gives a prefix of the full text;
//  - FormatA and FormatW give the same text for formats without text or
//    character conversions;
//  - integer conversions without lengths or '*' agree with the C library's
//    snprintf (their rules are the same in both runtimes).
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/format.h"

namespace {

constexpr size_t kMaxPercents = 8;
constexpr int32_t kCap = 600;

// A failed property names its line before the abort.
[[noreturn]] void Fail(int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, line, what);
  std::abort();
}
#define Check(ok) ((ok) ? void() : Fail(__LINE__, #ok))

// Empty as 8-bit text and as UTF-16 text.
alignas(8) const char16_t kBlank[8] = {};

#define TW_ARGS8 kBlank, kBlank, kBlank, kBlank, kBlank, kBlank, kBlank, kBlank
// Where doubles travel apart (the x86-64 System V convention: vector
// registers first), eight doubles fill those registers, so that a %f reads
// a known value and then pointer bits, never whatever the registers' save
// area held. Elsewhere every argument takes one slot in order, and a double
// there could be read as a text pointer.
#if defined(__x86_64__) && !defined(_WIN32)
#define TW_ARGS 0.25, 0.5, 1.5, 2.5, -3.25, 1e300, 7.0, 1e-5, TW_ARGS8, TW_ARGS8, TW_ARGS8, TW_ARGS8
#else
#define TW_ARGS TW_ARGS8, TW_ARGS8, TW_ARGS8, TW_ARGS8
#endif

int32_t RunA(char* out, int32_t cap, const char* format) { return FormatA(out, cap, format, TW_ARGS); }
int32_t RunW(char16_t* out, int32_t cap, const char16_t* format) { return FormatW(out, cap, format, TW_ARGS); }

// Whether every conversion is one of d i u o x X with flags, width and
// precision as digits only, and no length: then the C library is a peer.
bool PlainIntegers(const std::string& f) {
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') continue;
    ++i;
    if (i < f.size() && f[i] == '%') continue;
    while (i < f.size() && std::strchr("-+ #0", f[i]) != nullptr) ++i;
    size_t digits = 0;
    while (i < f.size() && std::isdigit(static_cast<unsigned char>(f[i]))) ++i, ++digits;
    if (digits > 3) return false;
    if (i < f.size() && f[i] == '.') {
      ++i;
      digits = 0;
      while (i < f.size() && std::isdigit(static_cast<unsigned char>(f[i]))) ++i, ++digits;
      if (digits > 3) return false;
    }
    if (i >= f.size() || std::strchr("diuoxX", f[i]) == nullptr) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 512) return 0;
  std::string format(reinterpret_cast<const char*>(data), size);
  format = format.c_str();  // up to the first zero
  size_t percents = 0;
  for (char c : format) percents += c == '%';
  if (percents > kMaxPercents) return 0;

  std::vector<char> full(kCap + 1, '#');
  const int32_t n = RunA(full.data(), kCap, format.c_str());
  // (A %c of a zero value writes a zero inside the text: n, not strlen.)
  Check(n >= 0 && n < kCap && full[static_cast<size_t>(n)] == 0 && full[kCap] == '#');

  // Every smaller capacity: a terminated prefix, nothing past it.
  for (int32_t cap : {1, 2, 3, 7, n, n + 1}) {
    if (cap < 1 || cap > kCap) continue;
    std::vector<char> cut(static_cast<size_t>(cap) + 8, '#');
    const int32_t m = RunA(cut.data(), cap, format.c_str());
    Check(m == std::min(n, cap - 1));
    Check(std::memcmp(cut.data(), full.data(), static_cast<size_t>(m)) == 0 && cut[static_cast<size_t>(m)] == 0);
    for (size_t i = static_cast<size_t>(cap); i < cut.size(); ++i) Check(cut[i] == '#');
  }

  std::u16string wformat;
  for (char c : format) wformat.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  std::vector<char16_t> wide(kCap + 1, u'#');
  const int32_t wn = RunW(wide.data(), kCap, wformat.c_str());
  Check(wn >= 0 && wn < kCap && wide[static_cast<size_t>(wn)] == 0 && wide[kCap] == u'#');
  if (format.find_first_of("sScCwl") == std::string::npos) {
    Check(wn == n);
    for (int32_t i = 0; i < n; ++i)
      Check(wide[static_cast<size_t>(i)] == static_cast<char16_t>(static_cast<unsigned char>(full[static_cast<size_t>(i)])));
  }

  if (PlainIntegers(format)) {
    std::vector<char> peer(kCap + 1, 0);
    const int pn = std::snprintf(peer.data(), kCap, format.c_str(), TW_ARGS);
    if (pn >= 0 && pn < kCap) Check(pn == n && std::memcmp(peer.data(), full.data(), static_cast<size_t>(n)) == 0);
  }
  return 0;
}
