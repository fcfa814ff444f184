#include "base/codepages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::u16string Decode(const std::string& bytes, int32_t cp) {
  const int32_t n = static_cast<int32_t>(bytes.size());
  const int32_t len = MultiByteLength(bytes.data(), n, cp);
  std::u16string out(static_cast<size_t>(len) + 4, u'\x7777');
  const int32_t w = MultiByteToWide(bytes.data(), n, out.data(), len, cp);
  EXPECT_LE(w, len);
  EXPECT_EQ(out[static_cast<size_t>(len)], u'\x7777') << "written past the length";
  out.resize(static_cast<size_t>(w));
  return out;
}

std::string Hex(const std::u16string& s) {
  std::string out;
  char buf[8];
  for (char16_t u : s) {
    std::snprintf(buf, sizeof buf, "%04X ", static_cast<unsigned>(u));
    out += buf;
  }
  return out;
}

TEST(CodePages, Families) {
  for (int32_t cp : {0, 28591, 37, 437, 858, 870, 1250, 1252, 1256, 10007, 21866, 28605})
    EXPECT_TRUE(IsSingleByteCodePage(cp)) << cp;
  for (int32_t cp : {1253, 28594, 1257, 874, 65001, 932})
    EXPECT_FALSE(IsSingleByteCodePage(cp)) << cp;
  for (int32_t cp : {932, 936, 949, 950}) EXPECT_TRUE(IsDbcsCodePage(cp)) << cp;
  for (int32_t cp : {50221, 50227, 51932, 51936, 51949}) EXPECT_TRUE(IsEucCodePage(cp)) << cp;
  EXPECT_FALSE(IsDbcsCodePage(20932));
  EXPECT_FALSE(IsEucCodePage(50220));
}

TEST(CodePages, Page858IsPage850WithTheEuro) {
  // Windows installations without 858 cannot check it; 850 is checked.
  const char16_t* a = GetSingleByteTable(850);
  const char16_t* b = GetSingleByteTable(858);
  ASSERT_NE(a, b);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(int{b[i]}, i == 0xD5 ? 0x20AC : int{a[i]}) << i;
}

TEST(CodePages, TellingExamples) {
  struct Case {
    int32_t cp;
    std::string bytes;
    std::u16string units;
  } cases[] = {
      {65001, "\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC"},
      {65001, "\xF0\x9F\x98\x80", u"\u00F0\u009F\u0098\u0080"},
      {1252, "\x80\x81", u"\u20AC\u0081"},
      {28591, "\x80\xFF", u"\u0080\u00FF"},
      {437, "\x01\x1F\x7F\xB0", u"\u263A\u25BC\u007F\u2591"},
      {1256, "\xFF", u"\u00FF"},
      {10007, "\xA2\xB6\xFF", u"\u00A2\u2202\u00A4"},
      {21866, "\xAE\xBE", u"\u045E\u040E"},
      {1250, "\x81", u"?"},
      {1255, "\xCA\xD9", u"\u05BA?"},
      {28596, "\xA1", u"\uF7C8"},
      {932, "\x82\x9F\xB1", u"\u3041\uFF71"},
      {932, "\x88\x9F", u"\u4E9C"},
      {932, "\x81\x7F", u"?"},  // an undefined pair
      {936, "\x80", u"\u20AC"},
      {936, "\xB0\xA1", u"\u554A"},
      {949, "\xB0\xA1", u"\uAC00"},
      {950, "\xA4\x40", u"\u4E00"},
      {950, "\xC6\xA1", u"\uF6B1"},  // no kana extension
      {51932, "\x8E\xB1", u"\uFF71"},
      {51932, "\xF5\xA1", u"\uE000"},
      {51932, "a\xB0\xA1", u"a\u4E9C"},
      {51932, "\x8F\xB0\xA1", u"\u4E02"},  // JIS X 0212
      {51932, "\x8F\xF5\xA2", u"\uE3AD"},
      {51936, "\xB0\xA1z", u"\u554Az"},
      {51949, "\xB0\xA1", u"\uAC00"},
      {51949, "\xA4\xD4\xA4\xA1", u"\u3164\u3131"},  // the Hangul filler is a character
      {50221, "\x1B$B\x30\x21", u"\u4E9C"},
      {50221, "a\x1B$B\x30\x21\x30\x22\x1B(Bb", u"a\u4E9C\u5516b"},
      {50221, "\x1B(J\x5C\x7E", u"\u00A5\u203E"},
      {50221, "\x1B(I\x31", u"\uFF71"},
      {50221, "\x1B$@\x30\x21", u"\u4E9C"},
      {50221, "\x1B$(D\x30\x21", u"\u4E02"},
      {50227, "\x1B$)A\x0E\x30\x21\x0Fz", u"\u554Az"},
      {50227, "\x1B$)G\x0E\x44\x21\x0F", u"\u4E00"},
      {50227, "\x1B$*H\x1BN\x21\x21", u"\u4E42"},
      {50221, "a\n\x1B(J\r\n\x5C", u"a\n\r\n\u00A5"},  // controls pass in the one-byte sets
      {50227, "\x1B$)A\t\x0E\x30\x21\x0F\n", u"\t\u554A\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Hex(Decode(c.bytes, c.cp)), Hex(c.units)) << "code page " << c.cp << " " << c.bytes;
}

TEST(CodePages, EucStopsAtTheFirstFault) {
  struct Case {
    int32_t cp;
    std::string bytes;
    std::u16string units;
  } cases[] = {
      {51949, std::string("a\xA1\x41z"), u"a"},  // bad second byte
      {51949, std::string("a\x80z"), u"a"},
      {51949, std::string("a\xB0"), u"a"},  // cut off
      {51932, std::string("\xA9\xA1z"), u""},  // unassigned row
      {51932, std::string("\x8E\xE0"), u""},
      {50221, std::string("a\x1B(Zb"), u"a"},  // unknown escape
      {50221, std::string("a\xB1"), u"a"},
      {50221, std::string("\x1B$B\x30"), u""},  // half a pair
      {50221, std::string("\x1B(I\x60"), u""},
      {50227, std::string("\x0E\x30\x21"), u""},  // SO before a designation
      {50227, std::string("\x1BN\x21\x21"), u""},  // SS2 before ESC $ * H
      {50227, std::string("a\x1B$)"), u"a"},
      // Inside a two-byte set every byte is half of a pair: a control byte
      // there is no character.
      {50221, std::string("\x1B$B\x30\x21\n\x30\x22"), u"\u4E9C"},
      {50221, std::string("\x1B$(D\x30\x21\r\n"), u"\u4E02"},
      {50221, std::string("\x1B(I\x31\n"), u"\uFF71"},
      {50227, std::string("\x1B$)A\x0E\x30\x21\n\x30\x21"), u"\u554A"},
  };
  for (const auto& c : cases) EXPECT_EQ(Hex(Decode(c.bytes, c.cp)), Hex(c.units)) << c.cp;
}

TEST(CodePages, LeadByteBeforeTheEnd) {
  // A lead byte followed by 0 or by the end ends the text, and nothing past
  // the end is read (the buffer is exactly as long as n).
  for (int32_t cp : {932, 936, 949, 950}) {
    const std::string lead_zero("a\x82\0b", 4);
    EXPECT_EQ(Decode(lead_zero, cp), std::u16string(u"a\0", 2)) << cp;
    EXPECT_EQ(MultiByteLength(lead_zero.data(), 4, cp), 2) << cp;
    auto* cut = new char[2]{'a', '\x82'};
    char16_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(MultiByteToWide(cut, 2, out, 4, cp), 1) << cp;
    EXPECT_EQ(out[0], u'a');
    EXPECT_EQ(out[1], 9);
    EXPECT_EQ(MultiByteLength(cut, 2, cp), 1) << cp;
    delete[] cut;
    // Terminated form: the lead byte before the terminator is dropped.
    EXPECT_EQ(MultiByteLength("a\x82", -1, cp), 2) << cp;
  }
  // A trail byte below 0x40 is no trail byte: '?' and the byte itself.
  EXPECT_EQ(Decode("\x82\x0A" "b", 932), u"?\nb");
  EXPECT_EQ(Decode("\xC9\xA1", 949), u"\uE000");
}

TEST(CodePages, LengthsMatchWhatIsWritten) {
  // Random input of every family: the length is exactly what the converter
  // writes, with a counted and with a terminated input.
  std::mt19937 rng(12345);
  const int32_t pages[] = {65001, 1252, 437, 932, 936, 949, 950, 51932, 51936, 51949, 50221, 50227};
  for (int round = 0; round < 3000; ++round) {
    const int32_t cp = pages[round % (sizeof pages / sizeof pages[0])];
    std::string bytes(rng() % 12, '\0');
    for (auto& b : bytes) {
      const uint32_t r = rng();
      b = static_cast<char>((r & 3) == 0 ? 0x1B : ((r & 0x30) == 0 ? 0x21 + (r >> 8) % 0x5E : r >> 8));
    }
    for (int32_t n : {static_cast<int32_t>(bytes.size()), -1}) {
      const int32_t len = MultiByteLength(bytes.c_str(), n, cp);
      std::vector<char16_t> out(static_cast<size_t>(len) + 1, u'\x7777');
      const int32_t w = MultiByteToWide(bytes.c_str(), n, out.data(), len + 1, cp);
      if (IsSingleByteCodePage(cp) && n >= 0)
        EXPECT_LE(w, len);
      else
        EXPECT_EQ(w, len) << cp << " n=" << n;
      EXPECT_EQ(out[static_cast<size_t>(len)], u'\x7777');
    }
  }
}

TEST(CodePages, CapacityIsRespected) {
  for (int32_t cp : {65001, 1252, 932, 51932, 50221}) {
    const std::string text = cp == 50221 ? "\x1B$B\x30\x21\x30\x22\x30\x23" : (cp == 932 ? "\x88\x9F\x88\x9F\x88\x9F" : "abcdef");
    for (int32_t cap = 0; cap < 3; ++cap) {
      char16_t out[4] = {9, 9, 9, 9};
      const int32_t w = MultiByteToWide(text.data(), static_cast<int32_t>(text.size()), out, cap, cp);
      EXPECT_EQ(w, cap) << cp;
      EXPECT_EQ(out[cap], 9) << cp << " cap " << cap;
    }
  }
}

TEST(CodePages, CodePageZero) {
  const int32_t acp = GetAnsiCodePage();
  EXPECT_EQ(GetSingleByteTable(0), GetSingleByteTable(acp));
#ifndef _WIN32
  EXPECT_EQ(acp, 0);
  EXPECT_EQ(Decode("\x80", 0), u"\u0080");  // the native fallback: Latin-1
#endif
  EXPECT_EQ(MultiByteLength("x", 1, 1253), 0);  // in no family
  EXPECT_EQ(MultiByteLength("x", 1, 12345), 0);
  char16_t out[4];
  EXPECT_EQ(MultiByteToWide("x", 1, out, 4, 1253), 0);
}

TEST(CodePages, Encoding) {
  EXPECT_EQ(WideToMultiByteLength(932, -1, u"abc"), 0);
  EXPECT_EQ(WideToMultiByteLength(1252, -1, u"abc"), 4);
  EXPECT_EQ(WideToMultiByteLength(1252, 2, u"abc"), 2);
  EXPECT_EQ(WideToMultiByteLength(65001, -1, u"\u20AC"), 4);
  EXPECT_EQ(WideToMultiByteLength(65001, 1, nullptr), 0);
  char out[8] = {};
  EXPECT_EQ(WideToMultiByte(u"\u00E9", nullptr, -1, 0), 3);
  EXPECT_EQ(WideToMultiByte(u"\u00E9", out, 1, 8), 2);
  EXPECT_EQ(std::string(out, 2), "\xC3\xA9");

  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(WideToSingleByte(u"a\u20AC\u4E00\u00E9", -1, out, 8, 1252), 5);
  EXPECT_EQ(std::string(out, 5), std::string("a\x80?\xE9\0", 5));
  EXPECT_EQ(WideToSingleByte(u"abc", 3, out, 2, 1252), 2);
  EXPECT_EQ(out[2], '?') << "nothing past the capacity";
  EXPECT_EQ(GetSingleByteForUnit(1252, u'\u20AC'), 0x80);
  EXPECT_EQ(GetSingleByteForUnit(1252, u'\u4E00'), 0);
  EXPECT_EQ(GetSingleByteForUnit(437, u'\u263A'), 0x01);
  // Several bytes decode to '?' in 1250: the unit maps to the highest.
  EXPECT_EQ(GetSingleByteForUnit(1250, u'?'), 0x98);
}

TEST(CodePages, ReverseMapsUnderConcurrentFirstUse) {
  const int32_t pages[] = {1250, 1251, 866, 28597, 10029, 852};
  std::vector<std::thread> threads;
  std::vector<int> bad(12, 0);
  for (int t = 0; t < 12; ++t) {
    threads.emplace_back([t, &pages, &bad] {
      const int32_t cp = pages[t % 6];
      const char16_t* table = GetSingleByteTable(cp);
      for (int b = 0x20; b < 256; ++b) {
        const uint8_t back = GetSingleByteForUnit(cp, table[b]);
        if (table[back] != table[b]) ++bad[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 12; ++t) EXPECT_EQ(bad[t], 0) << t;
}

}  // namespace
