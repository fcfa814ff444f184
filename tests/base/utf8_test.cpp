#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Encode(const std::u16string& s) {
  const int32_t n = static_cast<int32_t>(s.size());
  std::string out(static_cast<size_t>(Utf8ByteCount(s.data(), n)), '\0');
  const int32_t w = Utf8Encode(s.data(), n, out.data(), static_cast<int32_t>(out.size()));
  EXPECT_EQ(w, static_cast<int32_t>(out.size()));
  return out;
}

std::u16string Decode(const std::string& s) {
  const int32_t n = static_cast<int32_t>(s.size());
  std::u16string out(static_cast<size_t>(Utf8UnitCount(s.data(), n)), u'\0');
  const int32_t w = Utf8Decode(s.data(), n, out.data(), static_cast<int32_t>(out.size()));
  EXPECT_EQ(w, static_cast<int32_t>(out.size()));
  return out;
}

TEST(Utf8, EncodesEachUnitByItself) {
  struct Case {
    std::u16string units;
    std::string hex;
  } cases[] = {
      {u"A", "41"},
      {u"\u00E9", "C3 A9"},
      {u"\u07FF", "DF BF"},
      {u"\u0800", "E0 A0 80"},
      {u"\u20AC", "E2 82 AC"},
      {u"\uFFFF", "EF BF BF"},
      {std::u16string{0xD83D, 0xDE00}, "ED A0 BD ED B8 80"},  // a pair: two 3-byte sequences
      {std::u16string{u'a', 0, u'b'}, "61 00 62"},            // counted: zero is a character
  };
  for (const auto& c : cases) {
    const std::string bytes = Encode(c.units);
    EXPECT_EQ(Hex(bytes), c.hex);
    EXPECT_EQ(Decode(bytes), c.units) << c.hex;
  }
}

TEST(Utf8, StrayBytesDecodeAsLatin1) {
  struct Case {
    std::string bytes;
    std::u16string units;
  } cases[] = {
      {"\xF0\x9F\x98\x80", u"\u00F0\u009F\u0098\u0080"},  // 4-byte forms are not sequences
      {"\xC3\x41", u"\u00C3A"},                           // lead without continuation
      {"\x80z", u"\u0080z"},                              // lone continuation
      {"\xE2\x82\x41", u"\u00E2\u0082A"},
      {"\xC0\xAF", u"/"},                                 // overlong forms are accepted
      {"\xC3", u""},                                      // cut off by the end: dropped
      {"x\xE2\x82", u"x"},
      {"x\xE2\x41", u"x\u00E2A"},                         // not cut off: the next byte is no continuation
      {"\xFF\xFE", u"\u00FF\u00FE"},
  };
  for (const auto& c : cases) EXPECT_EQ(Decode(c.bytes), c.units) << Hex(c.bytes);
}

TEST(Utf8, EveryUnitRoundTrips) {
  std::u16string all;
  for (uint32_t u = 1; u <= 0xFFFF; ++u) all += static_cast<char16_t>(u);
  EXPECT_EQ(Decode(Encode(all)), all);
}

TEST(Utf8, TerminatedInputsCountAndWriteTheTerminator) {
  EXPECT_EQ(Utf8UnitCount("a", -1), 2);
  EXPECT_EQ(Utf8UnitCount("a", 1), 1);
  EXPECT_EQ(Utf8UnitCount("\xC3", -1), 2);  // C3 then the terminator: C3 stands alone
  EXPECT_EQ(Utf8ByteCount(u"\u00E9", -1), 3);
  EXPECT_EQ(Utf8ByteCount(nullptr, -1), 0);
  EXPECT_EQ(Utf8UnitCount(nullptr, -1), 0);

  char16_t out[8];
  for (auto& u : out) u = 0x7777;
  EXPECT_EQ(Utf8Decode("\xC3\xA9z\0q", -1, out, 8), 3);
  EXPECT_EQ(std::u16string(out, 3), std::u16string(u"\u00E9z\0", 3));
  EXPECT_EQ(out[3], 0x7777) << "nothing after the terminator";

  char bytes[8];
  for (auto& b : bytes) b = 'Q';
  EXPECT_EQ(Utf8Encode(u"\u20AC", -1, bytes, 8), 4);
  EXPECT_EQ(Hex(std::string(bytes, 5)), "E2 82 AC 00 51");
}

TEST(Utf8, CapacityIsNeverExceeded) {
  // A sequence cut by the capacity keeps the bytes written so far.
  char bytes[8];
  for (auto& b : bytes) b = 'Q';
  EXPECT_EQ(Utf8Encode(u"a\u20AC", 2, bytes, 3), 3);
  EXPECT_EQ(Hex(std::string(bytes, 4)), "61 E2 82 51");
  EXPECT_EQ(Utf8Encode(u"a", 1, bytes, 0), 0);
  EXPECT_EQ(bytes[0], 'a');

  char16_t units[4] = {9, 9, 9, 9};
  EXPECT_EQ(Utf8Decode("abcdef", 6, units, 2), 2);
  EXPECT_EQ(units[2], 9);
  EXPECT_EQ(Utf8Decode("abc", -1, units, 3), 3);  // no room left for the terminator
  EXPECT_EQ(units[3], 9);
}

}  // namespace
