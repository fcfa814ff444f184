// The formatter against the Windows C runtime (msvcrt.dll, looked up at run
// time so that no mingw replacement stands in for it), over the shared table.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/format.h"
#include "base/win_text.h"
#include "tests/base/format_cases.h"

namespace {

using NarrowFn = int(__cdecl*)(char*, size_t, const char*, ...);
using WideFn = int(__cdecl*)(wchar_t*, size_t, const wchar_t*, ...);

struct Runtime {
  NarrowFn narrow = nullptr;
  WideFn wide = nullptr;
  Runtime() {
    HMODULE m = LoadLibraryW(L"msvcrt.dll");
    if (m == nullptr) return;
    narrow = reinterpret_cast<NarrowFn>(reinterpret_cast<void*>(GetProcAddress(m, "_snprintf")));
    wide = reinterpret_cast<WideFn>(reinterpret_cast<void*>(GetProcAddress(m, "_snwprintf")));
  }
};

TEST(FormatOracle, NarrowMatchesRuntime) {
  Runtime rt;
  ASSERT_NE(rt.narrow, nullptr);
  for (const auto& c : formatcases::kCases) {
    const std::string theirs = formatcases::Run<char>(c, [&](const char* f, auto... args) {
      char buf[512] = {};
      rt.narrow(buf, 511, f, args...);
      return std::string(buf);
    });
    const std::string ours = formatcases::Run<char>(c, [](const char* f, auto... args) {
      char buf[512];
      FormatA(buf, 512, f, args...);
      return std::string(buf);
    });
    EXPECT_EQ(ours, theirs) << "format " << c.format;
  }
}

TEST(FormatOracle, WideMatchesRuntime) {
  Runtime rt;
  ASSERT_NE(rt.wide, nullptr);
  for (const auto& c : formatcases::kCases) {
    const std::u16string theirs = formatcases::Run<char16_t>(c, [&](const char16_t* f, auto... args) {
      char16_t buf[512] = {};
      rt.wide(tw::ToWin(buf), 511, tw::ToWin(f), args...);
      return std::u16string(buf);
    });
    const std::u16string ours = formatcases::Run<char16_t>(c, [](const char16_t* f, auto... args) {
      char16_t buf[512];
      FormatW(buf, 512, f, args...);
      return std::u16string(buf);
    });
    EXPECT_EQ(ours, theirs) << "format " << c.format;
  }
}

// Scanning: the count and the stored values of two fields.
using ScanFn = int(__cdecl*)(const char*, const char*, ...);

TEST(ScanOracle, MatchesRuntime) {
  HMODULE m = LoadLibraryW(L"msvcrt.dll");
  ASSERT_NE(m, nullptr);
  auto sscanf = reinterpret_cast<ScanFn>(reinterpret_cast<void*>(GetProcAddress(m, "sscanf")));
  ASSERT_NE(sscanf, nullptr);
  struct Case {
    const char* text;
    const char* format;  // two 64-bit fields, or two 32-bit with "int"
    bool wide64;
  } cases[] = {
      {"12 34", "%d %d", false},        {"  -7,8", "%d,%d", false},    {"x", "%d %d", false},
      {"", "%d %d", false},             {"   ", "%d", false},          {"5", "%d %d", false},
      {"0x1f 0X20", "%x %x", false},    {"010 0x10", "%i %i", false},  {"-0x10", "%x", false},
      {"4294967297 1", "%d %d", false}, {"-", "%d", false},            {"+", "%x", false},
      {"12345", "%3d%d", false},        {"1 2", "%*d %d", false},      {"100%5", "%d%%%d", false},
      {"\v\f9", "%d", false},         {"9223372036854775807 -9223372036854775808", "%lld %lld", true},
      {"18446744073709551617", "%lld", true}, {"fedcba9876543210 1", "%I64x %I64d", true},
      {"0x", "%llx", true},             {"0xg", "%llx", true},         {"1e5", "%d%d", false},
      {"  +42abc", "%lld", true},       {"077 8", "%o %o", false},     {"ab", "%d", false},
  };
  for (const auto& c : cases) {
    long long a1 = 111, b1 = 222, a2 = 111, b2 = 222;
    int x1 = 333, y1 = 444, x2 = 333, y2 = 444;
    int theirs, ours;
    if (c.wide64) {
      theirs = sscanf(c.text, c.format, &a1, &b1);
      ours = ScanA(c.text, c.format, &a2, &b2);
    } else {
      theirs = sscanf(c.text, c.format, &x1, &y1);
      ours = ScanA(c.text, c.format, &x2, &y2);
    }
    SCOPED_TRACE(std::string("text \"") + c.text + "\" format " + c.format);
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(a2, a1);
    EXPECT_EQ(b2, b1);
    EXPECT_EQ(x2, x1);
    EXPECT_EQ(y2, y1);
  }
}

TEST(ScanOracle, TextFieldsMatchRuntime) {
  HMODULE m = LoadLibraryW(L"msvcrt.dll");
  ASSERT_NE(m, nullptr);
  auto sscanf = reinterpret_cast<ScanFn>(reinterpret_cast<void*>(GetProcAddress(m, "sscanf")));
  ASSERT_NE(sscanf, nullptr);
  struct Case {
    const char* text;
    const char* format;  // a text field, then an int
  } cases[] = {
      {"  key 42", "%15s %d"},      {"abcdef", "%3s%d"},          {"ab 7", "%3c%d"},
      {" x7", "%c%d"},              {"abc123", "%[a-c]%d"},       {"name,12", "%[^,],%d"},
      {"]]x5", "%[]]x%d"},          {"a-b-c9", "%[a-]%d"},        {"12345", "%3[0-9]%d"},
      {"", "%s%d"},                 {"   ", "%s%d"},              {"zz", "%[0-9]%d"},
      {"one two", "%*s %s"},        {"x\ty 3", "%s\ty %d"},     {"a:1", "%[^:]:%d"},
  };
  for (const auto& c : cases) {
    char s1[32], s2[32];
    std::memset(s1, 'Q', sizeof s1);
    std::memset(s2, 'Q', sizeof s2);
    int i1 = 555, i2 = 555;
    const bool twoTexts = std::string(c.format) == "%*s %s";
    const int theirs = twoTexts ? sscanf(c.text, c.format, s1) : sscanf(c.text, c.format, s1, &i1);
    const int ours = twoTexts ? ScanA(c.text, c.format, s2) : ScanA(c.text, c.format, s2, &i2);
    SCOPED_TRACE(std::string("text \"") + c.text + "\" format " + c.format);
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(std::string(s2, sizeof s2), std::string(s1, sizeof s1));
    EXPECT_EQ(i2, i1);
  }
}

}  // namespace
