// Fuzz target for the code-page encoders (UTF-16 to 8-bit text). The first
// input byte chooses the code page (UTF-8 or one of the single-byte pages
// this build has tables for) and whether the text is counted or
// terminated; the rest is the text as UTF-16LE units. Properties:
//  - UTF-8: the bytes are those of a reference encoder written from the
//    format's definition (each unit by itself: one, two or three bytes),
//    the length functions give exactly what is written, no capacity is
//    passed, and decoding gives the units back;
//  - single-byte pages: each unit becomes the highest byte that the page's
//    decoding table (generated from Python's codecs) maps to it, or '?';
//    a zero unit is written and ends the text; no capacity is passed; and
//    every byte written decodes back to its unit unless it is a '?' that
//    stood for an unmappable unit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/codepages.h"
#include "base/utf8.h"

namespace {

constexpr char kGuard = 0x5c;

// A failed property names its line before the abort.
[[noreturn]] void Fail(int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, line, what);
  std::abort();
}
#define Check(ok) ((ok) ? void() : Fail(__LINE__, #ok))

std::vector<int32_t> Pages() {
  std::vector<int32_t> pages{kCodePageUtf8};
  const int32_t candidates[] = {0,    28591, 437,  737,  775,  850,   852,   855,   857,   860,   861,   862,
                                863,  864,   865,  866,  869,  874,   1250,  1251,  1252,  1253,  1254,  1255,
                                1256, 1257,  1258, 10000, 20866, 21866, 28592, 28593, 28594, 28595, 28596,
                                28597, 28598, 28599, 28603, 28605};
  for (int32_t cp : candidates)
    if (IsSingleByteCodePage(cp)) pages.push_back(cp);
  return pages;
}

std::vector<char> ReferenceUtf8(const char16_t* units, size_t n) {
  std::vector<char> out;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t u = units[i];
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

void Utf8(const char16_t* units, size_t count, bool terminated) {
  // Terminated: up to the first zero unit, which is converted too.
  size_t n = count;
  if (terminated) {
    n = 0;
    while (units[n] != 0) ++n;
    ++n;
  }
  const int32_t arg = terminated ? -1 : static_cast<int32_t>(count);
  const std::vector<char> expect = ReferenceUtf8(units, n);
  const auto len = static_cast<int32_t>(expect.size());
  Check(WideToMultiByteLength(kCodePageUtf8, arg, units) == (count == 0 && !terminated ? 0 : len));
  Check(WideToMultiByte(units, nullptr, arg, 0) == len);
  std::vector<char> out(expect.size() + 1, kGuard);
  Check(WideToMultiByte(units, out.data(), arg, len) == len);
  Check(std::memcmp(out.data(), expect.data(), expect.size()) == 0 && out[expect.size()] == kGuard);
  for (int32_t cap = 0; cap < len && cap < 10; ++cap) {
    std::fill(out.begin(), out.end(), kGuard);
    const int32_t w = WideToMultiByte(units, out.data(), arg, cap);
    Check(w <= cap && out[static_cast<size_t>(cap)] == kGuard);
    Check(std::memcmp(out.data(), expect.data(), static_cast<size_t>(w)) == 0);
  }
  // Back again: every unit, surrogates and zeros included.
  std::vector<char16_t> back(n + 1, 0x7777);
  Check(MultiByteToWide(expect.data(), len, back.data(), static_cast<int32_t>(n), kCodePageUtf8) ==
        static_cast<int32_t>(n));
  Check(std::memcmp(back.data(), units, n * sizeof(char16_t)) == 0 && back[n] == 0x7777);
}

void SingleByte(const char16_t* units, size_t count, bool terminated, int32_t cp) {
  const char16_t* table = GetSingleByteTable(cp);
  auto byteFor = [table](char16_t u) -> int {
    for (int b = 255; b > 0; --b)
      if (table[b] == u) return b;
    return -1;
  };
  std::vector<char> expect;
  for (size_t i = 0; terminated || i < count; ++i) {
    if (units[i] == 0) {
      expect.push_back(0);
      break;
    }
    const int b = byteFor(units[i]);
    Check(GetSingleByteForUnit(cp, units[i]) == (b < 0 ? 0 : b));
    expect.push_back(static_cast<char>(b < 0 ? '?' : b));
  }
  const int32_t arg = terminated ? -1 : static_cast<int32_t>(count);
  const auto len = static_cast<int32_t>(expect.size());
  std::vector<char> out(expect.size() + 8, kGuard);
  const int32_t w = WideToSingleByte(units, arg, out.data(), len + 4, cp);
  Check(w == len && std::memcmp(out.data(), expect.data(), expect.size()) == 0 && out[expect.size()] == kGuard);
  if (terminated) Check(WideToMultiByteLength(cp, -1, units) == len);
  for (int32_t cap = 1; cap < len && cap < 10; ++cap) {
    std::fill(out.begin(), out.end(), kGuard);
    Check(WideToSingleByte(units, arg, out.data(), cap, cp) == cap && out[static_cast<size_t>(cap)] == kGuard);
  }
  // Decoding the bytes gives each unit back unless it had no byte.
  std::vector<char16_t> back(expect.size() + 1, 0x7777);
  const int32_t d = SingleByteDecode(expect.data(), len, back.data(), len, cp);
  Check(d <= len);
  for (int32_t i = 0; i < d; ++i)
    if (!(expect[static_cast<size_t>(i)] == '?' && units[i] != u'?')) Check(back[static_cast<size_t>(i)] == units[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  static const std::vector<int32_t> pages = Pages();
  const int32_t cp = pages[(data[0] & 0x7F) % pages.size()];
  const bool terminated = (data[0] & 0x80) != 0;
  const size_t count = (size - 1) / 2;
  // Exact size (plus the terminator when terminated): a read past it is caught.
  std::vector<char16_t> units(count + (terminated ? 1 : 0));
  for (size_t i = 0; i < count; ++i) units[i] = static_cast<char16_t>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
  if (terminated) units[count] = 0;
  if (units.empty()) return 0;
  if (cp == kCodePageUtf8)
    Utf8(units.data(), count, terminated);
  else
    SingleByte(units.data(), count, terminated, cp);
  return 0;
}
