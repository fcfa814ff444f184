// Windows-only behaviour of base/paths.h, run under Wine: long paths at the
// file-system calls and the known folders of a real (Wine) profile.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "base/strings.h"
#include "base/win_text.h"
#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

using twtest::Narrow;
using twtest::U16;

std::u16string Env(const char16_t* name) {
  char16_t value[1024] = {};
  const DWORD n = GetEnvironmentVariableW(tw::ToWin(name), tw::ToWin(value), 1024);
  return n > 0 && n < 1024 ? std::u16string(value) : std::u16string();
}

std::u16string Normalized(std::u16string s) {
  NormalizePath(s.data());
  return s.c_str();
}

std::u16string UniqueName() { return u"twtest-" + U16(std::to_string(GetTickCount())) + u"-" + U16(std::to_string(GetCurrentProcessId())); }

// Where a C: path of the prefix lies, seen through drive Z: (the Unix root).
std::u16string InPrefix(const std::u16string& cPath) {
  const std::u16string prefix = Env(u"WINEPREFIX");
  if (prefix.empty() || cPath.size() < 2 || cPath[1] != u':') return std::u16string();
  return u"Z:" + prefix + u"/drive_c" + cPath.substr(2);
}

TEST(LongPaths, CreateWriteReadAndRemoveBeyondMaxPath) {
  twtest::TempDir tmp;
  std::u16string path = U16(tmp.path());
  std::vector<std::u16string> levels;
  while (path.size() < 400) {
    path += u"/level-" + U16(std::to_string(levels.size())) + u"-abcdefghijklmnopqrstuvwxyz0123456789";
    ASSERT_TRUE(CreateDirectoryLong(path.c_str())) << Narrow(path);
    levels.push_back(path);
  }
  EXPECT_EQ(GetPathKind(path.c_str()), tw::kPathDirectory);

  const std::u16string file = path + u"/data.bin";
  ASSERT_GT(file.size(), static_cast<size_t>(MAX_PATH));
  _typebuf<char16_t> longFile;
  ASSERT_TRUE(MakeLongPath(longFile, file.c_str()));
  HANDLE h = CreateFileW(tw::ToWin(longFile.data), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(h, "long path", 9, &written, nullptr));
  CloseHandle(h);
  EXPECT_EQ(written, 9u);
  EXPECT_EQ(GetPathKind(file.c_str()), tw::kPathFile);

  h = CreateFileW(tw::ToWin(longFile.data), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char back[16] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(h, back, sizeof back, &read, nullptr));
  CloseHandle(h);
  EXPECT_EQ(std::string(back, read), "long path");

  EXPECT_FALSE(RemoveDirectoryLong(path.c_str()));  // not empty yet
  ASSERT_TRUE(DeleteFileW(tw::ToWin(longFile.data)));
  for (auto it = levels.rbegin(); it != levels.rend(); ++it) EXPECT_TRUE(RemoveDirectoryLong(it->c_str())) << Narrow(*it);
  EXPECT_EQ(GetPathKind(levels.front().c_str()), tw::kPathMissing);
}

TEST(KnownFoldersInWine, UserDataFolderUnderTheProfilesAppData) {
  const std::u16string appData = Normalized(Env(u"APPDATA"));
  ASSERT_FALSE(appData.empty()) << "Wine sets APPDATA";
  const std::u16string sub = UniqueName();
  _guardchar<char16_t> out;
  ASSERT_TRUE(GetUserDataFolder(out, sub.c_str()));
  const std::u16string expect = appData + u"/Vornak/" + sub + u"/";
  EXPECT_EQ(std::u16string(out.text), expect);
  // The folder really is inside the prefix's drive_c.
  EXPECT_EQ(GetPathKind(InPrefix(expect).c_str()), tw::kPathDirectory) << Narrow(InPrefix(expect));

  // Without APPDATA the profile's AppData/Roaming is the base.
  {
    twtest::ScopedEnv noAppData("APPDATA", nullptr);
    _guardchar<char16_t> again;
    ASSERT_TRUE(GetUserDataFolder(again, sub.c_str()));
    const std::u16string viaProfile = Normalized(Env(u"USERPROFILE")) + u"/AppData/Roaming//Vornak/" + sub + u"/";
    EXPECT_EQ(std::u16string(again.text), viaProfile);
  }
  EXPECT_TRUE(RemoveDirectoryLong(expect.c_str()));
}

TEST(KnownFoldersInWine, MachineDataFolderUnderProgramData) {
  const std::u16string programData = Normalized(Env(u"ProgramData"));
  ASSERT_FALSE(programData.empty()) << "Wine sets ProgramData";
  const std::u16string sub = UniqueName();
  _guardchar<char16_t> out;
  ASSERT_TRUE(GetMachineDataFolder(out, sub.c_str()));
  const std::u16string expect = programData + u"/Vornak/" + sub + u"/";
  EXPECT_EQ(std::u16string(out.text), expect);
  EXPECT_EQ(GetPathKind(InPrefix(expect).c_str()), tw::kPathDirectory) << Narrow(InPrefix(expect));

  // Without ProgramData: ALLUSERSPROFILE (Wine points it at the same folder).
  {
    twtest::ScopedEnv noProgramData("ProgramData", nullptr);
    _guardchar<char16_t> again;
    ASSERT_TRUE(GetMachineDataFolder(again, sub.c_str()));
    const std::u16string all = Normalized(Env(u"ALLUSERSPROFILE"));
    EXPECT_EQ(std::u16string(again.text).rfind(all, 0), 0u) << Narrow(again.text);
  }
  EXPECT_TRUE(RemoveDirectoryLong(expect.c_str()));
}

TEST(KnownFoldersInWine, CommonProgramsFolderOfTheProfile) {
  _guardchar<char16_t> out;
  ASSERT_TRUE(GetCommonProgramsFolder(nullptr, out));
  EXPECT_EQ(std::u16string(out.text), Normalized(Env(u"ALLUSERSPROFILE")) + u"/Microsoft/Windows/Start Menu/Programs/");
}

TEST(WindowsVersionInWine, VersionAndWow64) {
  // Wine 8 reports Windows 10 unless a prefix is set otherwise.
  EXPECT_GE(GetOsMajorVersion(), 6u);
  // The test prefix is a 32-bit one (WINEARCH=win32): no WoW64 layer.
  EXPECT_FALSE(IsWow64());
}

}  // namespace
