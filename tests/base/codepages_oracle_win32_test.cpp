// The code-page tables against Windows' own MultiByteToWideChar and
// WideCharToMultiByte: every byte of every single-byte page, every single
// byte and lead/trail pair of the double-byte pages, and the encoding of
// every unit. Pages the Windows installation does not know (IsValidCodePage)
// are reported and skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "base/codepages.h"
#include "base/win_text.h"

namespace {

const int32_t kSingleBytePages[] = {37,    437,   500,   737,   850,   852,   855,   857,   858,   862,   866,
                                    870,   1250,  1251,  1252,  1254,  1255,  1256,  10007, 10029, 20866, 21866,
                                    28591, 28592, 28593, 28595, 28596, 28597, 28598, 28599, 28605};

// Where the system's tables differ from Windows' on purpose: bytes that
// Windows passes through or maps to private-use characters but that the
// system decodes as '?' (1250, 1251, 1255), and 1256's last byte.
std::map<int32_t, std::map<int, char16_t>> Deliberate() {
  std::map<int32_t, std::map<int, char16_t>> d;
  for (int b : {0x81, 0x83, 0x88, 0x90, 0x98}) d[1250][b] = u'?';
  d[1251][0x98] = u'?';
  for (int b : {0x81, 0x8A, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x9A, 0x9C, 0x9D, 0x9E, 0x9F, 0xD9, 0xDA, 0xDB, 0xDC,
                0xDD, 0xDE, 0xDF, 0xFB, 0xFC, 0xFF})
    d[1255][b] = u'?';
  d[1256][0xFF] = 0x00FF;
  return d;
}

char16_t WindowsUnit(int32_t cp, int byte, DWORD flags) {
  const char c = static_cast<char>(byte);
  wchar_t u = 0;
  if (MultiByteToWideChar(static_cast<UINT>(cp), flags, &c, 1, &u, 1) != 1) return 0xFFFF;
  return static_cast<char16_t>(u);
}

TEST(CodePageOracle, SingleBytePagesDecodeAsWindows) {
  const auto deliberate = Deliberate();
  for (int32_t cp : kSingleBytePages) {
    if (!IsValidCodePage(static_cast<UINT>(cp))) {
      std::printf("code page %d: unknown to this Windows, not compared\n", cp);
      continue;
    }
    const char16_t* ours = GetSingleByteTable(cp);
    int differences = 0;
    for (int b = 0; b < 256; ++b) {
      // 437's control bytes hold its graphic symbols, as Windows gives them
      // with MB_USEGLYPHCHARS.
      const DWORD flags = (cp == 437 && b >= 1 && b < 0x20) ? MB_USEGLYPHCHARS : 0;
      char16_t expect = WindowsUnit(cp, b, flags);
      auto page = deliberate.find(cp);
      if (page != deliberate.end() && page->second.count(b)) expect = page->second.at(b);
      if (ours[b] != expect && ++differences <= 5)
        ADD_FAILURE() << "code page " << cp << " byte " << std::hex << b << ": ours " << int{ours[b]}
                      << ", Windows " << int{expect};
    }
    EXPECT_EQ(differences, 0) << cp;
  }
}

TEST(CodePageOracle, SingleBytePagesEncodeAsWindows) {
  for (int32_t cp : kSingleBytePages) {
    if (!IsValidCodePage(static_cast<UINT>(cp))) continue;
    const char16_t* table = GetSingleByteTable(cp);
    int differences = 0;
    for (uint32_t u = 1; u < 0x10000; ++u) {
      if (u >= 0xD800 && u < 0xE000) continue;
      const wchar_t w = static_cast<wchar_t>(u);
      char theirs = 0;
      BOOL usedDefault = FALSE;
      WideCharToMultiByte(static_cast<UINT>(cp), WC_NO_BEST_FIT_CHARS, &w, 1, &theirs, 1, "?", &usedDefault);
      char ours = 0;
      WideToSingleByte(reinterpret_cast<const char16_t*>(&w), 1, &ours, 1, cp);
      if (ours == theirs) continue;
      // Both are right when both bytes decode to the unit (several bytes of
      // a page may share one unit; ours takes the highest), or when one of
      // them is a byte the system decodes differently on purpose.
      const char16_t back = table[static_cast<uint8_t>(ours)];
      const char16_t theirsBack = table[static_cast<uint8_t>(theirs)];
      if (back == u && (theirsBack == u || usedDefault || theirs == '?')) continue;
      if (ours == '?' && WindowsUnit(cp, static_cast<uint8_t>(theirs), 0) == u && theirsBack != u) continue;
      if (++differences <= 5)
        ADD_FAILURE() << "code page " << cp << " unit " << std::hex << u << ": ours " << int{static_cast<uint8_t>(ours)}
                      << ", Windows " << int{static_cast<uint8_t>(theirs)};
    }
    EXPECT_EQ(differences, 0) << cp;
  }
}

TEST(CodePageOracle, DoubleBytePagesDecodeAsWindows) {
  for (int32_t cp : {932, 936, 949, 950}) {
    ASSERT_TRUE(IsValidCodePage(static_cast<UINT>(cp))) << cp;
    int differences = 0, pairs = 0;
    auto report = [&](int b, int t, const std::u16string& ours, const std::u16string& theirs) {
      if (++differences <= 8)
        ADD_FAILURE() << "code page " << cp << " bytes " << std::hex << b << " " << t << ": ours "
                      << (ours.empty() ? -1 : int{ours[0]}) << " (" << ours.size() << " units), Windows "
                      << (theirs.empty() ? -1 : int{theirs[0]}) << " (" << theirs.size() << ")";
    };
    for (int b = 1; b < 256; ++b) {
      const bool lead = IsDBCSLeadByteEx(static_cast<UINT>(cp), static_cast<BYTE>(b)) != 0;
      if (!lead) {
        const char c = static_cast<char>(b);
        char16_t ours[2] = {};
        const int32_t n = MultiByteToWide(&c, 1, ours, 2, cp);
        const std::u16string theirs(1, WindowsUnit(cp, b, 0));
        if (n != 1 || ours[0] != theirs[0]) report(b, -1, std::u16string(ours, static_cast<size_t>(n)), theirs);
        continue;
      }
      for (int t = 1; t < 256; ++t) {
        const char in[2] = {static_cast<char>(b), static_cast<char>(t)};
        char16_t ours[3] = {};
        const int32_t n = MultiByteToWide(in, 2, ours, 3, cp);
        wchar_t w[3] = {};
        const int strict = MultiByteToWideChar(static_cast<UINT>(cp), MB_ERR_INVALID_CHARS, in, 2, w, 3);
        const std::u16string mine(ours, static_cast<size_t>(n));
        if (t < 0x40) {
          // No trail byte: '?' for the lead, then the byte by itself.
          if (mine != std::u16string{u'?', static_cast<char16_t>(t)}) report(b, t, mine, u"");
          continue;
        }
        ++pairs;
        if (strict == 1) {  // Windows defines the pair
          if (mine != std::u16string(1, static_cast<char16_t>(w[0]))) report(b, t, mine, tw::FromWin(w));
        } else if (mine != u"?") {  // undefined pairs are '?'
          report(b, t, mine, u"(undefined)");
        }
      }
    }
    EXPECT_EQ(differences, 0) << cp;
    EXPECT_GT(pairs, 7000) << cp;
  }
}

// Windows here knows no EUC or ISO-2022 page, but its double-byte pages hold
// the same 94 x 94 sets: GB 2312 and KS C 5601 at the EUC bytes of 936 and
// 949, JIS X 0208 at the Shift_JIS bytes of 932. Every character our EUC
// decoders give must be Windows' character for those bytes; for KS C 5601,
// whose rows 949 extends nowhere, the defined positions must be the same too.
TEST(CodePageOracle, EucSetsAgreeWithTheDoubleBytePages) {
  auto windows = [](UINT cp, const char* in) -> int32_t {
    wchar_t w[2] = {};
    return MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, in, 2, w, 2) == 1 ? w[0] : -1;
  };
  auto ours = [](int32_t cp, const char* in, int n) -> int32_t {
    char16_t u[4] = {};
    return MultiByteToWide(in, n, u, 4, cp) == 1 ? u[0] : -1;
  };
  auto kscRow = [](int row) { return (row >= 0x21 && row <= 0x2C) || (row >= 0x30 && row <= 0x48) || (row >= 0x4A && row <= 0x7D); };
  int compared[3] = {}, differences = 0;
  for (int row = 0x21; row <= 0x7E; ++row) {
    for (int col = 0x21; col <= 0x7E; ++col) {
      const char euc[2] = {static_cast<char>(row | 0x80), static_cast<char>(col | 0x80)};
      // Shift_JIS bytes of the JIS X 0208 position.
      const int r = row - 0x21, c = col - 0x21;
      const int s1 = r / 2 + (r / 2 + 0x81 > 0x9F ? 0xC1 : 0x81);
      const int s2 = r % 2 == 0 ? c + 0x40 + (c + 0x40 >= 0x7F ? 1 : 0) : c + 0x9F;
      const char sjis[2] = {static_cast<char>(s1), static_cast<char>(s2)};
      const struct {
        int32_t euc;
        UINT dbcs;
        const char* bytes;
        bool sameSet;
      } pages[] = {{51936, 936, euc, false}, {51949, 949, euc, kscRow(row)}, {51932, 932, sjis, false}};
      // EUC-JP's rows from 0xF5 are user-defined characters, not JIS X 0208.
      const int pageCount = row <= 0x74 ? 3 : 2;
      for (int p = 0; p < pageCount; ++p) {
        const int32_t mine = ours(pages[p].euc, euc, 2);
        const int32_t theirs = windows(pages[p].dbcs, pages[p].bytes);
        if (mine < 0 && !(pages[p].sameSet && theirs >= 0)) continue;
        ++compared[p];
        if (mine != theirs && ++differences <= 8)
          ADD_FAILURE() << "code page " << pages[p].euc << " row " << std::hex << row << " column " << col << ": ours "
                        << mine << ", Windows " << pages[p].dbcs << " " << theirs;
      }
    }
  }
  EXPECT_EQ(differences, 0);
  EXPECT_GT(compared[0], 7400);  // GB 2312
  EXPECT_GT(compared[1], 8200);  // KS C 5601
  EXPECT_GT(compared[2], 6800);  // JIS X 0208
}

TEST(CodePageOracle, AnsiCodePageIsTheSystems) {
  EXPECT_EQ(GetAnsiCodePage(), static_cast<int32_t>(GetACP()));
  const char c = '\x80';
  wchar_t theirs = 0;
  MultiByteToWideChar(CP_ACP, 0, &c, 1, &theirs, 1);
  char16_t ours = 0;
  MultiByteToWide(&c, 1, &ours, 1, 0);
  EXPECT_EQ(int{ours}, int{static_cast<char16_t>(theirs)});
}

}  // namespace
