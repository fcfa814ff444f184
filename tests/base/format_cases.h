// The table of formats shared by the formatter's test (expected text on both
// targets) and the win32 test that checks the same table against the Windows
// C runtime.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

namespace formatcases {

inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

enum Kind { kNone, kInt, kUInt, kInt64, kDouble, kText, kNarrow, kWide, kChar, kStarInt, kStarStarDouble };

struct Case {
  const char* format;  // ASCII; the wide test widens it
  Kind kind;
  int64_t i = 0;            // kInt, kUInt, kInt64, kChar, kStarInt (the value)
  double d = 0;             // kDouble, kStarStarDouble
  const char* s = nullptr;  // kText, kNarrow, kWide (ASCII or Latin-1)
  int star1 = 0, star2 = 0; // the * arguments
  const char* expect = "";
};

inline const Case kCases[] = {
    {"plain text", kNone, 0, 0, nullptr, 0, 0, "plain text"},
    {"100%%", kNone, 0, 0, nullptr, 0, 0, "100%"},
    {"%d", kInt, 0, 0, nullptr, 0, 0, "0"},
    {"%d", kInt, -2147483647 - 1, 0, nullptr, 0, 0, "-2147483648"},
    {"%i|", kInt, 42, 0, nullptr, 0, 0, "42|"},
    {"%5d|", kInt, 42, 0, nullptr, 0, 0, "   42|"},
    {"%-5d|", kInt, 42, 0, nullptr, 0, 0, "42   |"},
    {"%05d", kInt, -42, 0, nullptr, 0, 0, "-0042"},
    {"%02d", kInt, 7, 0, nullptr, 0, 0, "07"},
    {"%02d", kInt, 123, 0, nullptr, 0, 0, "123"},
    {"%04d", kInt, 2024, 0, nullptr, 0, 0, "2024"},
    {"%+d", kInt, 5, 0, nullptr, 0, 0, "+5"},
    {"% d", kInt, 5, 0, nullptr, 0, 0, " 5"},
    {"%.3d", kInt, 7, 0, nullptr, 0, 0, "007"},
    {"%6.3d|", kInt, -7, 0, nullptr, 0, 0, "  -007|"},
    // The 0 flag beside an integer precision: see format_test.cpp.
    {"%.0d|", kInt, 0, 0, nullptr, 0, 0, "|"},
    {"%-05d|", kInt, 3, 0, nullptr, 0, 0, "3    |"},
    {"%u", kUInt, 4294967295LL, 0, nullptr, 0, 0, "4294967295"},
    {"%x", kUInt, 0xBEEF, 0, nullptr, 0, 0, "beef"},
    {"%X", kUInt, 0xBEEF, 0, nullptr, 0, 0, "BEEF"},
    {"%08X", kUInt, 0xC0000005LL, 0, nullptr, 0, 0, "C0000005"},
    {"%08X", kUInt, 0x1F, 0, nullptr, 0, 0, "0000001F"},
    {"%#x", kUInt, 255, 0, nullptr, 0, 0, "0xff"},
    {"%#X", kUInt, 255, 0, nullptr, 0, 0, "0XFF"},
    {"%#x", kUInt, 0, 0, nullptr, 0, 0, "0"},
    {"%#010x", kUInt, 255, 0, nullptr, 0, 0, "0x000000ff"},
    {"%o", kUInt, 8, 0, nullptr, 0, 0, "10"},
    {"%#o", kUInt, 8, 0, nullptr, 0, 0, "010"},
    {"%hd", kInt, 65537, 0, nullptr, 0, 0, "1"},
    {"%hu", kInt, -1, 0, nullptr, 0, 0, "65535"},
    {"%lld", kInt64, INT64_MIN, 0, nullptr, 0, 0, "-9223372036854775808"},
    {"%lld", kInt64, 1234567890123LL, 0, nullptr, 0, 0, "1234567890123"},
    {"%llx", kInt64, 0x123456789ABCDEFLL, 0, nullptr, 0, 0, "123456789abcdef"},
    {"%llX", kInt64, -1, 0, nullptr, 0, 0, "FFFFFFFFFFFFFFFF"},
    {"0x%llX", kInt64, 0x401000, 0, nullptr, 0, 0, "0x401000"},
    {"%I64d", kInt64, -5000000000LL, 0, nullptr, 0, 0, "-5000000000"},
    {"%I64x", kInt64, 0xFFFFFFFF0LL, 0, nullptr, 0, 0, "ffffffff0"},
    {"%I64u", kInt64, -1, 0, nullptr, 0, 0, "18446744073709551615"},
    {"%012lld|", kInt64, -42, 0, nullptr, 0, 0, "-00000000042|"},
    {"%c", kChar, 'A', 0, nullptr, 0, 0, "A"},
    {"%3c|", kChar, 'A', 0, nullptr, 0, 0, "  A|"},
    {"%-3c|", kChar, 'A', 0, nullptr, 0, 0, "A  |"},
    {"%c", kChar, 0xE9, 0, nullptr, 0, 0, "\xE9"},
    {"%s", kText, 0, 0, "hello", 0, 0, "hello"},
    {"[%8s]", kText, 0, 0, "hello", 0, 0, "[   hello]"},
    {"[%-8s]", kText, 0, 0, "hello", 0, 0, "[hello   ]"},
    {"[%.3s]", kText, 0, 0, "hello", 0, 0, "[hel]"},
    {"[%8.3s]", kText, 0, 0, "hello", 0, 0, "[     hel]"},
    {"[%s]", kText, 0, 0, "", 0, 0, "[]"},
    {"[%s]", kText, 0, 0, nullptr, 0, 0, "[(null)]"},
    {"[%.3s]", kText, 0, 0, nullptr, 0, 0, "[(nu]"},
    {"[%s]", kText, 0, 0, "caf\xE9", 0, 0, "[caf\xE9]"},
    {"[%hs]", kNarrow, 0, 0, "narrow", 0, 0, "[narrow]"},
    {"[%ls]", kWide, 0, 0, "wide", 0, 0, "[wide]"},
    {"[%ws]", kWide, 0, 0, "wide", 0, 0, "[wide]"},
    {"[%*d]", kStarInt, 42, 0, nullptr, 6, 0, "[    42]"},
    {"[%*d]", kStarInt, 42, 0, nullptr, -6, 0, "[42    ]"},
    {"[%.*d]", kStarInt, 42, 0, nullptr, 4, 0, "[0042]"},
    {"%f", kDouble, 0, 1.5, nullptr, 0, 0, "1.500000"},
    {"%f", kDouble, 0, 0.0, nullptr, 0, 0, "0.000000"},
    {"%f", kDouble, 0, -0.0, nullptr, 0, 0, "-0.000000"},
    {"%.02f", kDouble, 0, 3.14159, nullptr, 0, 0, "3.14"},
    {"%.01f", kDouble, 0, 99.95, nullptr, 0, 0, "100.0"},
    {"%.01f", kDouble, 0, 12.25, nullptr, 0, 0, "12.3"},
    {"%.2f", kDouble, 0, 2.675, nullptr, 0, 0, "2.67"},
    {"%.2f", kDouble, 0, 1.005, nullptr, 0, 0, "1.00"},
    {"%.0f", kDouble, 0, 0.5, nullptr, 0, 0, "1"},
    {"%.0f", kDouble, 0, 2.5, nullptr, 0, 0, "3"},
    {"%.0f", kDouble, 0, -1.5, nullptr, 0, 0, "-2"},
    {"%#.0f", kDouble, 0, 3.0, nullptr, 0, 0, "3."},
    {"%8.3f|", kDouble, 0, -1.0625, nullptr, 0, 0, "  -1.063|"},
    {"%-8.2f|", kDouble, 0, 1.0, nullptr, 0, 0, "1.00    |"},
    {"%08.2f", kDouble, 0, -3.5, nullptr, 0, 0, "-0003.50"},
    {"%+.1f", kDouble, 0, 2.0, nullptr, 0, 0, "+2.0"},
    {"% .1f", kDouble, 0, 2.0, nullptr, 0, 0, " 2.0"},
    {"%.3f", kDouble, 0, 1e-10, nullptr, 0, 0, "0.000"},
    {"%.1f", kDouble, 0, 1048576.0 * 1024 * 1024, nullptr, 0, 0, "1099511627776.0"},
    {"%f", kDouble, 0, 1e20, nullptr, 0, 0, "100000000000000000000.000000"},
    {"%.2f", kDouble, 0, 0.125, nullptr, 0, 0, "0.13"},
    {"%.2f", kDouble, 0, 0.375, nullptr, 0, 0, "0.38"},
    {"%.10f", kDouble, 0, 0.1, nullptr, 0, 0, "0.1000000000"},
    {"%.15f", kDouble, 0, 0.1, nullptr, 0, 0, "0.100000000000000"},
    {"%.20f", kDouble, 0, 0.1, nullptr, 0, 0, "0.10000000000000000555"},
    {"%.1f", kDouble, 0, 0.05, nullptr, 0, 0, "0.1"},
    {"%.3f", kDouble, 0, 1.0005, nullptr, 0, 0, "1.000"},
    {"%.0f", kDouble, 0, 123456789012345678.0, nullptr, 0, 0, "123456789012345680"},
    {"%05s|", kText, 0, 0, "ab", 0, 0, "000ab|"},
    {"%-05s|", kText, 0, 0, "ab", 0, 0, "ab   |"},
    {"%03c|", kChar, 'x', 0, nullptr, 0, 0, "00x|"},
    {"%+u", kUInt, 5, 0, nullptr, 0, 0, "5"},
    {"%+x", kUInt, 5, 0, nullptr, 0, 0, "5"},
    {"%#.3o", kUInt, 8, 0, nullptr, 0, 0, "010"},
    {"%.0x|", kUInt, 0, 0, nullptr, 0, 0, "|"},
    {"%#5x|", kUInt, 1, 0, nullptr, 0, 0, "  0x1|"},
    {"%ld", kInt, -5, 0, nullptr, 0, 0, "-5"},
    {"%I32d", kInt, -5, 0, nullptr, 0, 0, "-5"},
    {"%+05d", kInt, 42, 0, nullptr, 0, 0, "+0042"},
    {"%-+6d|", kInt, 42, 0, nullptr, 0, 0, "+42   |"},
    {"% 05d", kInt, -42, 0, nullptr, 0, 0, "-0042"},
    {"%+ d", kInt, 42, 0, nullptr, 0, 0, "+42"},
    {"%-#8x|", kUInt, 0xAB, 0, nullptr, 0, 0, "0xab    |"},
    {"%#08o", kUInt, 8, 0, nullptr, 0, 0, "00000010"},
    {"%.5u", kUInt, 42, 0, nullptr, 0, 0, "00042"},
    {"%020lld", kInt64, 1, 0, nullptr, 0, 0, "00000000000000000001"},
    {"%+lld", kInt64, 0, 0, nullptr, 0, 0, "+0"},
    {"%.0f", kDouble, 0, 1e15 + 0.5, nullptr, 0, 0, "1000000000000001"},
    {"%.3f", kDouble, 0, -0.0005, nullptr, 0, 0, "-0.001"},
    {"%.3f", kDouble, 0, -0.0004, nullptr, 0, 0, "-0.000"},
    {"%10.4f|", kDouble, 0, 3.14159265, nullptr, 0, 0, "    3.1416|"},
    {"%-10.1f|", kDouble, 0, -7.25, nullptr, 0, 0, "-7.3      |"},
    {"%f", kDouble, 0, 123456789.125, nullptr, 0, 0, "123456789.125000"},
    {"%.2f", kDouble, 0, 5e-324, nullptr, 0, 0, "0.00"},
    {"%.0f", kDouble, 0, 1.7976931348623157e308, nullptr, 0, 0,
     "179769313486231570814527423731704356798070567525844996598917476803157260780028538760589558632766878171540458953514382464234321326889464182768467546703"
     "537516986049910576551282076245490090389328944075868508455133942304583236903222948165808559332123348274797826204144723168738177180919299881250404026184124858368"},
    {"%08.3f", kDouble, 0, 2.5, nullptr, 0, 0, "0002.500"},
    {"[%-5s]", kText, 0, 0, "abcdefg", 0, 0, "[abcdefg]"},
    {"[%.0s]", kText, 0, 0, "abc", 0, 0, "[]"},
    {"%.1f%%", kDouble, 0, 45.25, nullptr, 0, 0, "45.3%"},
    {"%*.*f|", kStarStarDouble, 0, 3.14159, nullptr, 8, 3, "   3.142|"},
    // Infinities and NaNs go through the runtime's digit path: the letters
    // are cut and rounded like fraction digits.
    {"%f", kDouble, 0, kInf, nullptr, 0, 0, "1.#INF00"},
    {"%f", kDouble, 0, -kInf, nullptr, 0, 0, "-1.#INF00"},
    {"%.0f", kDouble, 0, kInf, nullptr, 0, 0, "1"},
    {"%#.0f", kDouble, 0, kInf, nullptr, 0, 0, "1"},
    {"%.1f", kDouble, 0, kInf, nullptr, 0, 0, "1.$"},
    {"%.2f", kDouble, 0, kInf, nullptr, 0, 0, "1.#J"},
    {"%+.3f", kDouble, 0, kInf, nullptr, 0, 0, "+1.#IO"},
    {"%.10f", kDouble, 0, kInf, nullptr, 0, 0, "1.#INF000000"},
    {"%010.1f", kDouble, 0, -kInf, nullptr, 0, 0, "-0000001.$"},
    {"%12f|", kDouble, 0, kInf, nullptr, 0, 0, "    1.#INF00|"},
    {"%f", kDouble, 0, kNaN, nullptr, 0, 0, "1.#QNAN0"},
    {"%-9.2f|", kDouble, 0, kNaN, nullptr, 0, 0, "1.#R     |"},
    {"%f", kDouble, 0, -kNaN, nullptr, 0, 0, "-1.#IND00"},
    {"% .5f", kDouble, 0, -kNaN, nullptr, 0, 0, "-1.#IND0"},
    // An unknown conversion prints its character and takes no argument; a
    // conversion cut off by the end of the format prints nothing.
    {"[%y|%d]", kInt, 5, 0, nullptr, 0, 0, "[y|5]"},
    {"[%-5q|%d]", kInt, 6, 0, nullptr, 0, 0, "[q|6]"},
    {"end%", kNone, 0, 0, nullptr, 0, 0, "end"},
    {"end%-5", kNone, 0, 0, nullptr, 0, 0, "end"},
};

// Latin-1 text in the character type C.
template <class C>
std::basic_string<C> Widen(const char* s) {
  std::basic_string<C> out;
  if (s != nullptr)
    for (; *s != 0; ++s) out += static_cast<C>(static_cast<unsigned char>(*s));
  return out;
}

// Calls call(format, arguments...) for case c, with the format and the
// %s text in the character type C; call returns what was formatted.
template <class C, class F>
std::basic_string<C> Run(const Case& c, F&& call) {
  const std::basic_string<C> format = Widen<C>(c.format);
  const std::basic_string<C> text = Widen<C>(c.s);
  const std::string narrow = c.s != nullptr ? c.s : "";
  const std::u16string wide = Widen<char16_t>(c.s);
  const C* f = format.c_str();
  switch (c.kind) {
    case kNone:
      return call(f);
    case kInt:
    case kChar:
      return call(f, static_cast<int>(c.i));
    case kUInt:
      return call(f, static_cast<unsigned>(c.i));
    case kInt64:
      return call(f, static_cast<long long>(c.i));
    case kDouble:
      return call(f, c.d);
    case kText:
      return call(f, c.s != nullptr ? text.c_str() : nullptr);
    case kNarrow:
      return call(f, narrow.c_str());
    case kWide:
      return call(f, wide.c_str());
    case kStarInt:
      return call(f, c.star1, static_cast<int>(c.i));
    case kStarStarDouble:
      return call(f, c.star1, c.star2, c.d);
  }
  return {};
}

}  // namespace formatcases
