#include "base/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"

namespace {

std::u16string Str(const char16_t* s) { return s ? std::u16string(s) : std::u16string(); }

TEST(CaseMap, TellingRows) {
  struct Case {
    char16_t unit, lower, upper;
  } cases[] = {
      {u'A', u'a', u'A'},           {u'a', u'a', u'A'},
      {u'Z', u'z', u'Z'},           {u'@', u'@', u'@'},
      {0x00C9, 0x00E9, 0x00C9},     {0x00E9, 0x00E9, 0x00C9},
      {0x0130, 0x0130, 0x0130},     // dotted capital I stays
      {0x00FF, 0x00FF, 0x0178},     {0x0178, 0x00FF, 0x0178},
      {0x10A0, 0x2D00, 0x10A0},     {0x10C5, 0x2D25, 0x10C5},
      {0x2D00, 0x2D00, 0x10A0},     {0x10D0, 0x10D0, 0x10D0},  // Mkhedruli has no case
      {0x1D79, 0x1D79, 0xA77D},     {0xA77D, 0x1D79, 0xA77D},
      {0x0391, 0x03B1, 0x0391},     {0x03C2, 0x03C2, 0x03A3},  // final sigma
      {0x0410, 0x0430, 0x0410},     {0x0531, 0x0561, 0x0531},
      {0x1E9E, 0x00DF, 0x1E9E},     {0x2160, 0x2170, 0x2160},
      {0x24B6, 0x24D0, 0x24B6},     {0x2C00, 0x2C30, 0x2C00},
      {0xFF21, 0xFF41, 0xFF21},     {0xFF3A, 0xFF5A, 0xFF3A},
      {0xFF5A, 0xFF5A, 0xFF3A},     {0x00B5, 0x00B5, 0x039C},
      {0x4E00, 0x4E00, 0x4E00},     {0xFFFF, 0xFFFF, 0xFFFF},
      {0, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToLowerW(c.unit), c.lower) << std::hex << int{c.unit};
    EXPECT_EQ(ToUpperW(c.unit), c.upper) << std::hex << int{c.unit};
  }
  EXPECT_EQ(ToLowerA('Q'), 'q');
  EXPECT_EQ(ToLowerA('\xC9'), '\xC9');  // 8-bit text folds only ASCII
}

TEST(CaseMap, ConcurrentFirstUseSeesCompleteMaps) {
  // Whichever thread is first, every thread must see the finished maps.
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &wrong] {
      for (char16_t u = 0x0410; u <= 0x042F; ++u)
        if (ToLowerW(u) != u + 0x20 || ToUpperW(static_cast<char16_t>(u + 0x20)) != u) ++wrong[t];
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(wrong[t], 0) << t;
}

TEST(CaseMap, AssignLowerCase) {
  _guardchar<char16_t> src(u"\u00C4Bc\u0130\u0401"), dst(u"old");
  EXPECT_TRUE(AssignLowerCase(dst, src));
  EXPECT_EQ(Str(dst.text), u"\u00E4bc\u0130\u0451");
  EXPECT_EQ(Str(src.text), u"\u00C4Bc\u0130\u0401");
  _guardchar<char16_t> empty;
  EXPECT_TRUE(AssignLowerCase(dst, empty));
  EXPECT_EQ(dst.text, nullptr);
}

TEST(Compare, WideAndFolded) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    int wide, nocase, nocase5;
  } cases[] = {
      {u"abc", u"abc", 0, 0, 0},
      {u"abc", u"abd", -1, -1, -1},
      {u"abd", u"abc", 1, 1, 1},
      {u"ab", u"abc", -1, -1, -1},
      {u"abc", u"ab", 1, 1, 1},
      {u"", u"", 0, 0, 0},
      {u"a", u"B", 1, -1, -1},  // folded a < b, ordinal 'a' > 'B'
      {u"\u00C4\u00D6\u00DC", u"\u00E4\u00F6\u00FC", -1, 0, 0},
      {u"\uFF00", u"a", 1, 1, 1},  // unsigned units
      {u"ABCDEx", u"abcdeY", -1, -1, 0},  // only five units in the 5-variant
      {u"abcdef", u"ABCDEG", 1, -1, 0},
      {u"ab", u"AB", 1, 0, 0},  // common terminator before the limit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(twtest::Narrow(c.a) + " vs " + twtest::Narrow(c.b));
    EXPECT_EQ(CompareWide(c.a, c.b), c.wide);
    EXPECT_EQ(CompareNoCaseW(c.a, c.b), c.nocase);
    EXPECT_EQ(CompareNoCaseW5(c.a, c.b), c.nocase5);
  }
  EXPECT_EQ(CompareWide(nullptr, u"a"), 1);
  EXPECT_EQ(CompareWide(u"a", nullptr), 1);
  EXPECT_EQ(CompareWide(nullptr, nullptr), 1);
  EXPECT_EQ(CompareNoCaseW(nullptr, u"a"), -1);
  EXPECT_EQ(CompareNoCaseW(u"a", nullptr), -1);
  EXPECT_EQ(CompareNoCaseW5(nullptr, u"a"), -1);
}

TEST(Compare, EightBit) {
  struct Case {
    const char* a;
    const char* b;
    int n;  // for CompareNoCaseAN
    int nocase, nocaseN;
  } cases[] = {
      {"Hello", "hELLO", 9, 0, 0},
      {"abc", "ABD", 9, -1, -1},
      {"\xC3", "A", 9, -1, 1},  // signed bytes sort 0xC3 first; unsigned after
      {"A", "\xC3", 9, 1, -1},
      {"\xC3\x84", "\xC3\xA4", 9, -1, -1},  // UTF-8 of A-umlaut vs a-umlaut: no fold
      {"abcX", "ABCy", 3, -1, 0},
      {"abcX", "ABCy", 0, -1, 0},
      {"abcX", "ABCy", -5, -1, 0},
      {"ab", "abc", 9, -1, -1},
      {"", "", 9, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(CompareNoCaseA(c.a, c.b), c.nocase);
    EXPECT_EQ(CompareNoCaseAN(c.a, c.b, c.n), c.nocaseN);
  }
  EXPECT_EQ(CompareNoCaseA(nullptr, "a"), -1);
  EXPECT_EQ(CompareNoCaseAN("a", nullptr, 3), -1);
}

TEST(Compare, FourBytesReadsPastTerminators) {
  const char a[4] = {'a', 'B', 0, 'x'};
  const char b[4] = {'A', 'b', 0, 'y'};
  const char c[4] = {'A', 'b', 0, 'x'};
  const char d[4] = {'a', 'b', 0, '\x90'};
  EXPECT_EQ(CompareNoCaseA4(a, b), -1);
  EXPECT_EQ(CompareNoCaseA4(b, a), 1);
  EXPECT_EQ(CompareNoCaseA4(a, c), 0);
  EXPECT_EQ(CompareNoCaseA4(d, c), -1);  // signed bytes
  EXPECT_EQ(CompareNoCaseA4(nullptr, a), 1);
  EXPECT_EQ(CompareNoCaseA4(a, nullptr), 1);
}

TEST(CharClasses, BlanksAreTabLineFeedReturnAndSpace) {
  for (int c = 0; c < 0x10000; ++c) {
    const bool blank = c == 9 || c == 10 || c == 13 || c == 32;
    ASSERT_EQ(IsSpaceW(static_cast<char16_t>(c)), blank) << c;
    if (c < 256) {
      ASSERT_EQ(IsSpaceA(static_cast<char>(c)), blank) << c;
    }
  }
}

TEST(Search, FindChar) {
  const char16_t* t = u"a/b/c";
  EXPECT_EQ(FindCharW(t, u'/'), t + 1);
  EXPECT_EQ(FindCharW(t, u'x'), nullptr);
  EXPECT_EQ(FindCharW(t, 0), nullptr);
  EXPECT_EQ(FindLastCharW(t, u'/'), t + 3);
  EXPECT_EQ(FindLastCharW(t, u'a'), t);
  EXPECT_EQ(FindLastCharW(t, 0), t + 5);
  EXPECT_EQ(FindLastCharW(t, u'x'), nullptr);
  EXPECT_EQ(FindLastCharW(nullptr, u'x'), nullptr);
  const char16_t* empty = u"";
  EXPECT_EQ(FindLastCharW(empty, 0), empty);
  EXPECT_EQ(FindLastCharW(empty, u'a'), nullptr);
}

TEST(Search, UpdateMark) {
  const char16_t* page = u"x  Last update:-  Last update: 2024";
  EXPECT_EQ(FindLastUpdateMark(page), page + 16);  // the first complete marker
  const char16_t* exact = u"  Last update: ";
  EXPECT_EQ(FindLastUpdateMark(exact), exact);
  EXPECT_EQ(FindLastUpdateMark(u"  Last update:"), nullptr);  // one unit short
  EXPECT_EQ(FindLastUpdateMark(u"  last update: "), nullptr);  // case matters
  EXPECT_EQ(FindLastUpdateMark(nullptr), nullptr);
  EXPECT_EQ(FindLastUpdateMark(u""), nullptr);
}

// Destination buffers are guarded by sentinels on both sides.
struct Guarded {
  char16_t all[270];
  char16_t* buf = all + 4;
  Guarded() {
    for (auto& u : all) u = 0xEEEE;
  }
  bool Untouched(int from, int to) const {  // indices relative to buf
    for (int i = from; i < to; ++i)
      if (buf[i] != 0xEEEE) return false;
    return true;
  }
};

TEST(Copy, CopyWideN) {
  Guarded g;
  EXPECT_EQ(CopyWideN(g.buf, 4, u"abcdef"), 0);
  EXPECT_EQ(Str(g.buf), u"abc");
  EXPECT_TRUE(g.Untouched(-4, 0));
  EXPECT_TRUE(g.Untouched(4, 10));
  Guarded h;
  CopyWideN(h.buf, 10, u"ab");
  EXPECT_EQ(Str(h.buf), u"ab");
  EXPECT_TRUE(h.Untouched(3, 10));  // stops after the copied terminator
  Guarded z;
  CopyWideN(z.buf, 0, u"ab");
  CopyWideN(z.buf, -1, u"ab");
  CopyWideN(z.buf, 4, nullptr);
  EXPECT_TRUE(z.Untouched(-4, 10));
}

TEST(Copy, CopyWideMax260) {
  std::u16string src(400, u'q');
  Guarded g;
  CopyWideMax260(src.c_str(), g.buf, 1000);
  EXPECT_EQ(Str(g.buf), std::u16string(259, u'q'));
  EXPECT_TRUE(g.Untouched(260, 266));
  Guarded h;
  CopyWideMax260(src.c_str(), h.buf, 5);
  EXPECT_EQ(Str(h.buf), u"qqqqq");
  EXPECT_TRUE(h.Untouched(6, 266));
  // A negative count copies up to the terminator and never writes outside.
  for (int n : {-1, -7, INT32_MIN}) {
    Guarded a;
    CopyWideMax260(u"abc", a.buf, n);
    EXPECT_EQ(Str(a.buf), u"abc") << n;
    EXPECT_TRUE(a.Untouched(-4, 0)) << n;
    EXPECT_TRUE(a.Untouched(260, 266)) << n;
    Guarded b;
    CopyWideMax260(src.c_str(), b.buf, n);
    EXPECT_EQ(Str(b.buf), std::u16string(259, u'q')) << n;
    EXPECT_TRUE(b.Untouched(-4, 0));
    EXPECT_TRUE(b.Untouched(260, 266));
  }
  Guarded z;
  CopyWideMax260(nullptr, z.buf, 3);
  EXPECT_TRUE(z.Untouched(-4, 266));
}

TEST(Copy, CopyWideBounded) {
  struct Case {
    const char16_t* src;
    int32_t n, capacity;
    int32_t result;
    std::u16string text;
  } cases[] = {
      {u"abcdef", -1, 10, 6, u"abcdef"},
      {u"abcdef", -1, 4, 3, u"abc"},
      {u"abcdef", 2, 10, 2, u"ab"},
      {u"abc", 9, 20, 3, u"abc"},      // never past the source's terminator
      {u"abc", -2, 20, 3, u"abc"},     // any negative count: the whole source
      {u"abc", INT32_MIN, 3, 2, u"ab"},
      {u"abc", 0, 5, 0, u""},
      {u"abc", 3, 1, 0, u""},
      {nullptr, 3, 5, 0, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(twtest::Narrow(Str(c.src)) + " n=" + std::to_string(c.n) + " cap=" + std::to_string(c.capacity));
    Guarded g;
    EXPECT_EQ(CopyWideBounded(c.src, c.n, g.buf, c.capacity), c.result);
    EXPECT_EQ(Str(g.buf), c.text);
    EXPECT_TRUE(g.Untouched(-4, 0));
    EXPECT_TRUE(g.Untouched(c.result + 1, 20));
    // The untyped variant at an odd address.
    unsigned char raw[64];
    for (auto& b : raw) b = 0xEE;
    EXPECT_EQ(CopyWideBoundedRaw(c.src, c.n, raw + 1, c.capacity), c.result);
    std::u16string got(static_cast<size_t>(c.result + 1), u'\0');
    std::memcpy(got.data(), raw + 1, got.size() * 2);
    EXPECT_EQ(got, c.text + u'\0');
    EXPECT_EQ(raw[0], 0xEE);
    EXPECT_EQ(raw[1 + 2 * (c.result + 1)], 0xEE);
  }
  Guarded z;
  EXPECT_EQ(CopyWideBounded(u"abc", -1, z.buf, 0), 0);
  EXPECT_EQ(CopyWideBounded(u"abc", -1, z.buf, -3), 0);
  EXPECT_TRUE(z.Untouched(-4, 20));
  EXPECT_EQ(CopyWideBounded(u"abc", -1, nullptr, 5), 0);
}

TEST(Length, WideLength) {
  EXPECT_EQ(WideLength(nullptr), 0);
  EXPECT_EQ(WideLength(u""), 0);
  EXPECT_EQ(WideLength(u"abc"), 3);
}

TEST(Assign, AssignWide) {
  _guardchar<char16_t> s(u"old");
  EXPECT_EQ(AssignWide(u"abcdef", -1, s), 0);
  EXPECT_EQ(Str(s.text), u"abcdef");
  AssignWide(u"abcdef", 2, s);
  EXPECT_EQ(Str(s.text), u"ab");
  AssignWideText(u"xyz", -1, s);
  EXPECT_EQ(Str(s.text), u"xyz");
  AssignWide(nullptr, -1, s);
  EXPECT_EQ(s.text, nullptr);
  AssignWide(u"", -1, s);
  ASSERT_NE(s.text, nullptr);
  EXPECT_EQ(s.text[0], 0);
}

TEST(Assign, Utf8Strings) {
  _guardchar<char> a("old");
  WideToUtf8(u"\u00E9\u20AC!", a, -1);
  EXPECT_STREQ(a.text, "\xC3\xA9\xE2\x82\xAC!");
  WideToUtf8(u"\u00E9\u20AC!", a, 1);
  EXPECT_STREQ(a.text, "\xC3\xA9");
  WideToUtf8(nullptr, a, -1);
  ASSERT_NE(a.text, nullptr);
  EXPECT_EQ(a.text[0], 0);
  WideToUtf8(u"", a, -1);
  ASSERT_NE(a.text, nullptr);
  EXPECT_EQ(a.text[0], 0);

  _guardchar<char16_t> w;
  EXPECT_EQ(Utf8ToWide(-1, "\xC3\xA9z\xFF", w), 3);
  EXPECT_EQ(Str(w.text), u"\u00E9z\u00FF");
  EXPECT_EQ(Utf8ToWide(2, "\xC3\xA9z", w), 1);
  EXPECT_EQ(Str(w.text), u"\u00E9");
  EXPECT_EQ(Utf8ToWide("abc", -1, w), 0);
  EXPECT_EQ(Str(w.text), u"abc");
  EXPECT_EQ(Utf8ToWide(-1, nullptr, w), 0);
  ASSERT_NE(w.text, nullptr);
  EXPECT_EQ(w.text[0], 0);
}

TEST(Assign, WordAndByteBuffers) {
  _typebuf<char16_t> wb;
  CopyWideToWordBuffer(u"abc", -1, wb);
  ASSERT_EQ(wb.count, 3);
  EXPECT_EQ(std::u16string(wb.data, 3), u"abc");
  CopyWideToWordBuffer(2, u"xyz", wb);
  EXPECT_EQ(std::u16string(wb.data, static_cast<size_t>(wb.count)), u"xy");
  CopyWideToWordBuffer(nullptr, -1, wb);
  EXPECT_EQ(wb.count, 2) << "a null text leaves the buffer untouched";

  _typebuf<char> bb;
  WideToUtf8Buffer(bb, -1, u"\u20ACa");
  EXPECT_EQ(std::string(bb.data, static_cast<size_t>(bb.count)), "\xE2\x82\xAC" "a");
  WideToUtf8Buffer(bb, -1, nullptr);
  EXPECT_EQ(bb.count, 4);
  WideToUtf8Buffer(bb, -1, u"");
  EXPECT_EQ(bb.count, 0);
  EXPECT_EQ(bb.data, nullptr);

  Utf8ToWordBuffer(-1, wb, "\xE2\x82\xAC" "b\x80");
  EXPECT_EQ(std::u16string(wb.data, static_cast<size_t>(wb.count)), u"\u20ACb\u0080");
  Utf8ToWordBuffer(-1, wb, nullptr);
  EXPECT_EQ(wb.count, 3);
}

TEST(Numbers, HexByteBitsAndZeroes) {
  EXPECT_EQ(ParseHexByteW(u"7g"), -1);
  EXPECT_EQ(ParseHexByteW(u"Ff"), 255);
  EXPECT_EQ(ParseHexByteW(u"0a"), 10);
  EXPECT_EQ(ParseHexByteW(u"a"), -1);
  EXPECT_EQ(ParseHexByteW(nullptr), -1);
  EXPECT_EQ(CountBits64(0), 0);
  EXPECT_EQ(CountBits64(~0ull), 64);
  EXPECT_EQ(CountBits64(0x8000000000000001ull), 2);
  const unsigned char z[9] = {0};
  EXPECT_TRUE(IsAllZero(z, 9));
  EXPECT_TRUE(IsAllZero(z, 0));
  EXPECT_FALSE(IsAllZero(nullptr, 0));
  for (int i = 0; i < 9; ++i) {
    unsigned char b[9] = {0};
    b[i] = 1;
    EXPECT_FALSE(IsAllZero(b, 9)) << i;
    EXPECT_TRUE(IsAllZero(b, i)) << i;
  }
}

}  // namespace
