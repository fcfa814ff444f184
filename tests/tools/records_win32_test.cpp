// The Uninstall entry as Windows' own tools see it, and the registry and
// file cases only Windows can make.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/registry.h"
#include "tests/support/capture.h"
#include "tests/support/test_support.h"
#include "tests/tools/registry_fixture.h"
#include "tools/installed_product.h"
#include "tools/uninstall_entry.h"

using twtest::Narrow;
using twtest::U16;

namespace {

class Registry : public twtest::RegistryTest {};

TEST_F(Registry, RegQuerySeesTheEntry) {
  const std::u16string code = UniqueCodename("twtest-regquery");
  sUninstallEntryData e;
  e.codename = code.c_str();
  e.version = 0x0002000100000005ull;
  e.displayName = u"Tarn App";
  e.displayVersion = u"2.1.0.5";
  ASSERT_TRUE(WriteUninstallEntry(e, u"C:/Program Files/Common Files/Vornak/tarnwick.exe", false));
  const std::u16string key =
      u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code;
  twtest::sCaptured run = twtest::RunCaptured(u"reg.exe query \"" + key + u"\"");
  ASSERT_TRUE(run.started);
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  const char* lines[] = {
      "MajorVersion    REG_DWORD    0x2",
      "MinorVersion    REG_DWORD    0x1",
      "BuildNumber    REG_DWORD    0x5",
      "NoRepair    REG_DWORD    0x1",
      "UninstallString    REG_SZ    \"C:\\Program Files\\Common Files\\Vornak\\tarnwick.exe\" uninstall \"",
      "ModifyPath    REG_SZ    \"C:\\Program Files\\Common Files\\Vornak\\tarnwick.exe\" update \"",
      "DisplayName    REG_SZ    Tarn App",
      "DisplayVersion    REG_SZ    2.1.0.5",
  };
  for (const char* line : lines) EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
  EXPECT_EQ(run.output.find("Publisher"), std::string::npos);  // not given, not written

  ASSERT_TRUE(DeleteUninstallEntry(code.c_str(), false));
  run = twtest::RunCaptured(u"reg.exe query \"" + key + u"\"");
  EXPECT_NE(run.exitCode, 0u);
}

TEST_F(Registry, AStringStoredWithoutItsTerminatorEndsAtItsSize) {
  const std::u16string code = UniqueCodename("twtest-unterminated");
  const std::u16string path = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code;
  cRegKey key;
  ASSERT_TRUE(CreateRegKey(key, tw::kRegCurrentUser, nullptr, path.c_str(),
                           tw::kRegRead | tw::kRegWrite | tw::kRegView64));
  // Five units, no zero after them; a long odd-sized one too.
  HKEY raw = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(path.c_str()), 0,
                          KEY_WRITE, &raw),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(raw, L"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abcdeXYZ"), 10),
            ERROR_SUCCESS);
  RegCloseKey(raw);
  _guardchar<char16_t> out;
  ReadRegString(key, u"Name", out);
  ASSERT_NE(out.text, nullptr);
  EXPECT_EQ(std::u16string(out.text), u"abcde");
  key.CloseRegKey();
  cRegKey uninstall;
  ASSERT_TRUE(OpenRegKey(uninstall, tw::kRegCurrentUser, nullptr,
                         u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                         tw::kRegRead | tw::kRegWrite | tw::kRegView64));
  EXPECT_TRUE(DeleteRegSubKey(uninstall, code.c_str()));
}

TEST(FileRemovalWin32, AFileHeldOpenIsNotMovedAside) {
  twtest::TempDir tmp;
  const std::string file = tmp.path() + "/busy.dll";
  std::ofstream(std::filesystem::u8path(file)) << "x";
  HANDLE held = CreateFileW(std::filesystem::u8path(file).wstring().c_str(), GENERIC_READ,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(MoveAsideIfWritable(U16(file).c_str(), U16(file + ".bkp").c_str()));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(file)));
  CloseHandle(held);
  EXPECT_TRUE(MoveAsideIfWritable(U16(file).c_str(), U16(file + ".bkp").c_str()));
}

}  // namespace
