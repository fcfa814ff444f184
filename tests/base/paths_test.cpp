#include "base/paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/strings.h"
#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

using twtest::Narrow;
using twtest::U16;
using twtest::ScopedEnv;

std::u16string Str(const char16_t* s) { return s != nullptr ? s : u""; }

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary);
  f << content;
  ASSERT_TRUE(f.good()) << path;
}

TEST(Paths, MakeLongPath) {
  struct Case {
    const char16_t* path;
    std::u16string expect;
  } cases[] = {
      {u"C:", u"\\\\?\\C:\\"},                       // a bare drive gets its root
      {u"C:\\\\\\\\dir\\\\", u"\\\\?\\C:\\dir\\"},   // one separator per run, the trailing one kept
      {u"C:/a//b", u"\\\\?\\C:\\a\\b"},
      {u"C:/\\/x/", u"\\\\?\\C:\\x\\"},               // mixed runs
      {u"//server/share/x", u"\\\\server\\share\\x"},  // UNC: no prefix, two leading separators
      {u"\\\\server\\share", u"\\\\server\\share"},
      {u"./x", u".\\x"},
      {u"../x/y", u"..\\x\\y"},
      {u".", u"."},
      {u"\\\\?\\C:\\x", u"\\\\?\\C:\\x"},             // already long: unchanged
      {u"/tmp/a", u"\\tmp\\a"},
      {u"/", u"\\"},
      {u"D:/data:", u"\\\\?\\D:\\data:\\"},
  };
  for (const auto& c : cases) {
    _typebuf<char16_t> out;
    ASSERT_TRUE(MakeLongPath(out, c.path)) << Narrow(c.path);
    EXPECT_EQ(Str(out.data), c.expect) << Narrow(c.path);
    const int32_t len = static_cast<int32_t>(std::u16string(c.path).size());
    const bool prefixed = c.path[0] != u'.' && c.path[0] != u'/' && c.path[0] != u'\\';
    EXPECT_EQ(out.count, len + (prefixed ? 6 : 2)) << Narrow(c.path);
  }
  _typebuf<char16_t> untouched(3);
  untouched[0] = u'k';
  EXPECT_FALSE(MakeLongPath(untouched, u""));
  EXPECT_FALSE(MakeLongPath(untouched, nullptr));
  EXPECT_EQ(untouched.count, 3);
  EXPECT_EQ(untouched[0], u'k');
}

TEST(Paths, MakeOpenablePath) {
  const struct {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"setup.exe", u"./setup.exe"},       {u"docs/a.idx", u"./docs/a.idx"},
      {u"./a", u"./a"},                     {u"../a", u"../a"},
      {u"/tmp/a", u"/tmp/a"},               {u"\\\\server\\share", u"\\\\server\\share"},
      {u"C:\\a", u"C:\\a"},                 {u"z:", u"z:"},
      {u"1:", u"./1:"},                     {u"", u""},
  };
  for (const auto& c : cases) {
    _guardchar<char16_t> out;
    MakeOpenablePath(out, c.in);
    EXPECT_EQ(std::u16string(out.text != nullptr ? out.text : u""), std::u16string(c.out));
  }
  _guardchar<char16_t> out;
  MakeOpenablePath(out, nullptr);
  EXPECT_EQ(std::u16string(out.text != nullptr ? out.text : u""), u"");
}

TEST(Paths, NormalizePath) {
  struct Case {
    std::u16string in, expect;
  } cases[] = {
      {u"\"C:\\Program Files\\x\" \"", u"C:/Program Files/x"},  // leading quote, trailing blank and quote
      {u"C:\\a\\b\\", u"C:/a/b/"},
      {u"plain", u"plain"},
      {u"\"\"", u""},
      {u"a \" \"  ", u"a"},
      {u"  lead", u"  lead"},  // only trailing blanks go
      {u"x\"y", u"x\"y"},      // a quote inside stays
      {u"", u""},
  };
  for (const auto& c : cases) {
    std::u16string s = c.in;
    NormalizePath(s.data());
    EXPECT_EQ(Str(s.c_str()), c.expect) << Narrow(c.in);
  }
  NormalizePath(nullptr);  // accepted, nothing to do
}

TEST(Paths, SanitizeFileName) {
  struct Case {
    std::u16string in;  // may hold units after a zero
    int32_t capacity;
    std::u16string expect;
  } cases[] = {
      {u"a:b.", 260, u"a\uF022b\uF029"},
      {u"x ", 260, u"x\uF028"},
      {u"   ", 260, u""},
      {u"abcd", 3, u"ab"},
      {u"\x01\x1F lead", 260, u"lead"},
      {u"\"*/:<>?\\|", 260, u"\uF020\uF021\uF022\uF022\uF023\uF024\uF025\uF026\uF027"},
      {u"a\x01" u"b\uFFFF" u"c", 260, u"a b c"},
      {u"a\tb\t", 260, u"a b\uF028"},
      {u"v1.2.txt", 260, u"v1.2.txt"},  // inner dots stay
      {u"ab.", 3, u"ab"},
      {u"x", 1, u""},
      // Leading blanks, then the terminator, then stale units: the text ends
      // at the terminator, nothing after it may be read.
      {std::u16string(u"  \0zz", 5), 260, u""},
      {std::u16string(u"\0abc", 4), 260, u""},
  };
  for (const auto& c : cases) {
    char16_t out[300];
    std::fill(std::begin(out), std::end(out), u'#');
    SanitizeFileName(c.in.c_str(), out, c.capacity);
    EXPECT_EQ(std::u16string(out), c.expect) << Narrow(c.in) << " capacity " << c.capacity;
    EXPECT_EQ(out[c.capacity], u'#') << "wrote past the capacity";
  }
  char16_t out[4] = {u'#', u'#', u'#', u'#'};
  SanitizeFileName(nullptr, out, 4);
  EXPECT_EQ(out[0], 0);
  SanitizeFileName(u"abc", out, 0);  // nothing written
  SanitizeFileName(u"abc", nullptr, 4);
}

TEST(Paths, MatchWildcard) {
  struct Case {
    const char16_t* name;
    const char16_t* pattern;
    bool match;
  } cases[] = {
      {u"README.TXT", u"*.txt", true},
      {u"README.TXT", u"?EADME.*", true},
      {u"README.TXT", u"*.tx", false},
      {u"", u"***", true},
      {u"", u"?", false},
      {u"abc", u"a*c", true},
      {u"ac", u"a*?c", false},
      {u"abXbc", u"*bc", true},
      {u"aaa", u"a*a*a", true},
      {u"aa", u"a*a*a", false},
      {u"abc", u"abc*", true},
      {u"abc", u"ab", false},
      {u"\u00C4BC", u"\u00E4b?", true},  // folded through the case map, not just ASCII
      {u"abc", nullptr, true},
      {u"abc", u"", true},
      {nullptr, u"*", false},
      // Many stars against a long mismatching name: must not take exponential time.
      {u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", u"*a*a*a*a*a*a*a*a*a*a*a*a*a*c", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchWildcard(c.name, c.pattern), c.match) << Narrow(Str(c.name)) << " ~ " << Narrow(Str(c.pattern));
}

TEST(Paths, MatchWildcardList) {
  struct Case {
    const char16_t* name;
    const char16_t* list;
    bool match;
  } cases[] = {
      {u"LIB.DLL", u"*.exe;*.dll", true},
      {u"lib.so", u"*.exe;*.dll", false},
      {u"anything", u"", true},
      {u"anything", nullptr, true},
      {nullptr, u"*.exe", false},
      {u"a.txt", u"*.exe;;*.dll", true},  // an empty pattern inside matches all
      {u"a.txt", u"*.exe;", false},       // a trailing ';' adds nothing
      {u"a.exe", u"*.exe;", true},
      {u"a.txt", u";*.exe", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchWildcardList(c.name, c.list), c.match) << Narrow(Str(c.name)) << " ~ " << Narrow(Str(c.list));
}

TEST(Paths, KindCreateAndRemove) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  const std::u16string file = root + u"/file.bin";
  const std::u16string dir = root + u"/dir";
  WriteFile(tmp.path() + "/file.bin", "12345");

  EXPECT_EQ(GetPathKind(root.c_str()), tw::kPathDirectory);
  EXPECT_EQ(GetPathKind((root + u"/").c_str()), tw::kPathDirectory);
  EXPECT_EQ(GetPathKind(file.c_str()), tw::kPathFile);
  EXPECT_EQ(GetPathKind((root + u"/none").c_str()), tw::kPathMissing);
  EXPECT_EQ(GetPathKind(u""), tw::kPathMissing);
  EXPECT_EQ(GetPathKind(nullptr), tw::kPathMissing);

  EXPECT_TRUE(CreateDirectoryLong(dir.c_str()));
  EXPECT_TRUE(CreateDirectoryLong(dir.c_str()));              // already there
  EXPECT_TRUE(CreateDirectoryLong((root + u"//dir/").c_str()));  // the same, spelt otherwise
  EXPECT_FALSE(CreateDirectoryLong(file.c_str()));            // a file is in the way
  EXPECT_FALSE(CreateDirectoryLong((root + u"/no/parent").c_str()));
  EXPECT_EQ(GetPathKind(dir.c_str()), tw::kPathDirectory);

  WriteFile(tmp.path() + "/dir/inner", "x");
  EXPECT_FALSE(RemoveDirectoryLong(dir.c_str()));  // not empty
  std::remove((tmp.path() + "/dir/inner").c_str());
  EXPECT_TRUE(RemoveDirectoryLong(dir.c_str()));
  EXPECT_EQ(GetPathKind(dir.c_str()), tw::kPathMissing);
  EXPECT_TRUE(RemoveDirectoryLong(dir.c_str()));                      // gone already
  EXPECT_FALSE(RemoveDirectoryLong((root + u"/no/parent").c_str()));  // path not found
  EXPECT_FALSE(RemoveDirectoryLong(file.c_str()));
  EXPECT_FALSE(IsCaseSensitivePath(root.c_str()));
}

TEST(Paths, GetFileInfo) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  WriteFile(tmp.path() + "/f.txt", std::string(1234, 'x'));
  sFileInfo info;
  ASSERT_TRUE(GetFileInfo((root + u"/f.txt").c_str(), info));
  EXPECT_EQ(info.size, 1234u);
  EXPECT_EQ(info.attributes & tw::kAttrDirectory, 0u);
  // Written just now: the local write time is the local time now.
  sDateTime now;
  GetLocalTimeNow(now);
  const int64_t age = static_cast<int64_t>(DateTimeToUnixTime(now)) - DateTimeToUnixTime(info.lastWriteTime);
  EXPECT_GE(age, -2);
  EXPECT_LE(age, 120);

  ASSERT_TRUE(GetFileInfo(root.c_str(), info));
  EXPECT_NE(info.attributes & tw::kAttrDirectory, 0u);

  sFileInfo unchanged;
  unchanged.size = 77;
  EXPECT_FALSE(GetFileInfo((root + u"/missing").c_str(), unchanged));
  EXPECT_EQ(unchanged.size, 77u);
  EXPECT_FALSE(GetFileInfo(nullptr, unchanged));
}

TEST(KnownFolders, HomeAndTemp) {
  {
    ScopedEnv profile("USERPROFILE", "\"C:\\Users\\me\" ");
    _guardchar<char16_t> out;
    ASSERT_TRUE(GetHomeFolder(out));
    EXPECT_EQ(Str(out.text), u"C:/Users/me");
  }
  {
    ScopedEnv profile("USERPROFILE", nullptr);
    ScopedEnv drive("HOMEDRIVE", "D:");
    ScopedEnv path("HOMEPATH", "\\Users\\you");
    _guardchar<char16_t> out;
    ASSERT_TRUE(GetHomeFolder(out));
    EXPECT_EQ(Str(out.text), u"D:/Users/you");
  }
  {
    ScopedEnv temp("TEMP", "C:\\Temp\\x\\");
    _guardchar<char16_t> out;
    ASSERT_TRUE(GetTempFolder(out));
    EXPECT_EQ(Str(out.text), u"C:/Temp/x/");
  }
}

TEST(KnownFolders, UserDataFolderUnderAppData) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  ScopedEnv appData("APPDATA", tmp.path().c_str());
  _guardchar<char16_t> out;
  ASSERT_TRUE(GetUserDataFolder(out, u"qxv"));
  EXPECT_EQ(Str(out.text), root + u"/Vornak/qxv/");
  EXPECT_EQ(GetPathKind((root + u"/Vornak").c_str()), tw::kPathDirectory);
  EXPECT_EQ(GetPathKind((root + u"/Vornak/qxv").c_str()), tw::kPathDirectory);
  // A second call finds the folders made by the first.
  ASSERT_TRUE(GetUserDataFolder(out, u"qxv"));
  EXPECT_EQ(Str(out.text), root + u"/Vornak/qxv/");
}

TEST(KnownFolders, UserDataFolderWithoutSubIsTheHomeFolder) {
  twtest::TempDir tmp;
  ScopedEnv profile("USERPROFILE", tmp.path().c_str());
  _guardchar<char16_t> out;
  ASSERT_TRUE(GetUserDataFolder(out, nullptr));
  EXPECT_EQ(Str(out.text), U16(tmp.path()));
}

// APPDATA naming a file or a missing folder must not make the home folder the
// store's folder: the lookup fails.
TEST(KnownFolders, UserDataFolderFailsWhenAppDataIsNotAFolder) {
  twtest::TempDir tmp;
  const std::string home = tmp.path() + "/home";
  ASSERT_TRUE(CreateDirectoryLong(U16(home).c_str()));
  WriteFile(tmp.path() + "/appdata-file", "not a folder");
  ScopedEnv profile("USERPROFILE", home.c_str());
  for (const std::string& appData : {tmp.path() + "/appdata-file", tmp.path() + "/missing"}) {
    ScopedEnv env("APPDATA", appData.c_str());
    _guardchar<char16_t> out;
    EXPECT_FALSE(GetUserDataFolder(out, u"qxv")) << appData;
    EXPECT_EQ(GetPathKind(U16(home + "/Vornak").c_str()), tw::kPathMissing);
  }
}

TEST(KnownFolders, UserDataFolderFailsWhenTheSubFolderCannotBeMade) {
  twtest::TempDir tmp;
  WriteFile(tmp.path() + "/Vornak", "a file where the company folder belongs");
  ScopedEnv appData("APPDATA", tmp.path().c_str());
  _guardchar<char16_t> out;
  EXPECT_FALSE(GetUserDataFolder(out, u"qxv"));
}

TEST(KnownFolders, MachineDataFolder) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  ScopedEnv programData("ProgramData", (tmp.path() + "\\").c_str());
  _guardchar<char16_t> out;
  ASSERT_TRUE(GetMachineDataFolder(out, u"qxv"));
  // The base's own trailing separator doubles up and is collapsed on use.
  EXPECT_EQ(Str(out.text), root + u"//Vornak/qxv/");
  EXPECT_EQ(GetPathKind((root + u"/Vornak/qxv").c_str()), tw::kPathDirectory);
  EXPECT_FALSE(GetMachineDataFolder(out, nullptr));
}

TEST(KnownFolders, CommonProgramsFolder) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  ScopedEnv allUsers("ALLUSERSPROFILE", tmp.path().c_str());
  _guardchar<char16_t> out;
  EXPECT_FALSE(GetCommonProgramsFolder(nullptr, out));  // neither layout exists

  // The older layout, then the newer one, which wins.
  for (const char16_t* part : {u"/Start Menu", u"/Start Menu/Programs"}) ASSERT_TRUE(CreateDirectoryLong((root + part).c_str()));
  ASSERT_TRUE(GetCommonProgramsFolder(nullptr, out));
  EXPECT_EQ(Str(out.text), root + u"/Start Menu/Programs/");
  for (const char16_t* part : {u"/Microsoft", u"/Microsoft/Windows", u"/Microsoft/Windows/Start Menu",
                               u"/Microsoft/Windows/Start Menu/Programs"})
    ASSERT_TRUE(CreateDirectoryLong((root + part).c_str()));
  ASSERT_TRUE(GetCommonProgramsFolder(nullptr, out));
  const std::u16string programs = root + u"/Microsoft/Windows/Start Menu/Programs/";
  EXPECT_EQ(Str(out.text), programs);

  // A group name is sanitised and its folder created.
  ASSERT_TRUE(GetCommonProgramsFolder(u" My App: 2 ", out));
  EXPECT_EQ(Str(out.text), programs + u"My App\uF022 2\uF028");
  EXPECT_EQ(GetPathKind(out.text), tw::kPathDirectory);
  ASSERT_TRUE(GetCommonProgramsFolder(u" My App: 2 ", out));  // exists now

  WriteFile(Narrow(programs) + "Taken", "");
  EXPECT_FALSE(GetCommonProgramsFolder(u"Taken", out));  // a file of that name
}

TEST(WindowsVersion, TestsAgree) {
  const uint32_t major = GetOsMajorVersion();
  EXPECT_GE(major, 4u);
  EXPECT_EQ(GetOsMajorVersion(), major);  // cached
  EXPECT_EQ(IsWindows10OrLater(), major > 9);
}

}  // namespace
