// Linux-only behaviour of base/paths.h: the native path form and the stand-ins
// for what only Windows has.
#include "base/paths_posix.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "base/paths.h"
#include "base/strings.h"
#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

using twtest::U16;

using twtest::ScopedEnv;

TEST(NativePaths, MakeNativePath) {
  struct Case {
    const char16_t* path;
    std::string expect;
  } cases[] = {
      {u"/tmp/a", "/tmp/a"},
      {u"/tmp//a\\\\b/", "/tmp/a/b/"},
      {u"\\\\?\\/tmp/x", "/tmp/x"},  // the long form of /tmp/x names the same file
      {u"//?/tmp/x", "/tmp/x"},
      {u"./rel", "./rel"},
      {u"/t\u00E4st", "/t\xC3\xA4st"},  // UTF-8
  };
  for (const auto& c : cases) {
    std::string out = "untouched";
    ASSERT_TRUE(MakeNativePath(out, c.path)) << c.expect;
    EXPECT_EQ(out, c.expect);
  }
  std::string out = "untouched";
  EXPECT_FALSE(MakeNativePath(out, u""));
  EXPECT_FALSE(MakeNativePath(out, nullptr));
  EXPECT_EQ(out, "untouched");
}

TEST(NativeFolders, UserDataRootWithoutAppData) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  ScopedEnv noAppData("APPDATA", nullptr);
  ScopedEnv noProfile("USERPROFILE", nullptr);
  ScopedEnv noDrive("HOMEDRIVE", nullptr);
  ScopedEnv home("HOME", tmp.path().c_str());
  _guardchar<char16_t> out;
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ASSERT_TRUE(GetUserDataFolder(out, u"a"));  // no ~/.config: the home folder
    EXPECT_EQ(std::u16string(out.text), root + u"/Vornak/a/");
    ASSERT_TRUE(CreateDirectoryLong((root + u"/.config").c_str()));
    ASSERT_TRUE(GetUserDataFolder(out, u"b"));
    EXPECT_EQ(std::u16string(out.text), root + u"/.config/Vornak/b/");
  }
  ASSERT_TRUE(CreateDirectoryLong((root + u"/xdg").c_str()));
  ScopedEnv xdg("XDG_CONFIG_HOME", (tmp.path() + "/xdg").c_str());
  ASSERT_TRUE(GetUserDataFolder(out, u"c"));
  EXPECT_EQ(std::u16string(out.text), root + u"/xdg/Vornak/c/");
  EXPECT_EQ(GetPathKind((root + u"/xdg/Vornak/c").c_str()), tw::kPathDirectory);
}

TEST(NativeFolders, HomeAndTempFallbacks) {
  ScopedEnv noProfile("USERPROFILE", nullptr);
  ScopedEnv noDrive("HOMEDRIVE", nullptr);
  ScopedEnv home("HOME", "/home/someone");
  _guardchar<char16_t> out;
  ASSERT_TRUE(GetHomeFolder(out));
  EXPECT_EQ(std::u16string(out.text), u"/home/someone");
  ScopedEnv noTemp("TEMP", nullptr);
  {
    ScopedEnv tmpdir("TMPDIR", "/var/tmp");
    ASSERT_TRUE(GetTempFolder(out));
    EXPECT_EQ(std::u16string(out.text), u"/var/tmp");
  }
  ScopedEnv noTmpdir("TMPDIR", nullptr);
  ASSERT_TRUE(GetTempFolder(out));
  EXPECT_EQ(std::u16string(out.text), u"/tmp");
}

TEST(NativeFolders, FileAttributesAsWineReportsThem) {
  twtest::TempDir tmp;
  std::ofstream(tmp.path() + "/.dotfile") << "x";
  std::ofstream(tmp.path() + "/readonly") << "x";
  ASSERT_EQ(chmod((tmp.path() + "/readonly").c_str(), 0444), 0);
  sFileInfo info;
  ASSERT_TRUE(GetFileInfo(U16(tmp.path() + "/.dotfile").c_str(), info));
  EXPECT_EQ(info.attributes, tw::kAttrArchive | tw::kAttrHidden);
  ASSERT_TRUE(GetFileInfo(U16(tmp.path() + "/readonly").c_str(), info));
  EXPECT_EQ(info.attributes, tw::kAttrArchive | tw::kAttrReadOnly);
  ASSERT_TRUE(GetFileInfo(U16(tmp.path()).c_str(), info));
  EXPECT_EQ(info.attributes, tw::kAttrDirectory);
}

TEST(NativeFolders, NoWindowsVersion) {
  EXPECT_EQ(GetOsMajorVersion(), 4u);
  EXPECT_FALSE(IsWindows10OrLater());
  EXPECT_FALSE(IsWow64());
}

}  // namespace
