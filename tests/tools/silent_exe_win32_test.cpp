// tarnwick.exe as a setup file started with "silent": a copy of the program
// with a package appended and its iCmd block filled, run as a child process
// with private programs, data and Start Menu folders; the end state is read
// from the disk, the stores' files and Wine's own reg.exe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "package/cmd_block.h"
#include "tests/support/capture.h"
#include "tests/support/install_fixture.h"
#include "tools/manager_location.h"
#include "tools/uninstall_entry.h"
#include "tools/version_record.h"

using twtest::FileContent;
using twtest::Narrow;
using twtest::Noise;
using twtest::RunCaptured;
using twtest::sPackageSpec;
using twtest::U16;
namespace fs = std::filesystem;

namespace {

sPackageSpec V1() {
  sPackageSpec s;
  s.files["app.exe"] = Noise(300000, 11);
  s.files["readme.txt"] = "version one";
  s.files["data/old.dat"] = Noise(4000, 12);
  return s;
}

sPackageSpec V2() {
  sPackageSpec s = V1();
  s.version[1] = 1;
  s.files["app.exe"] = Noise(250000, 13);
  s.files.erase("data/old.dat");
  s.files["data/new.dat"] = Noise(70000, 14);
  return s;
}

class SilentExe : public twtest::InstallTest {
protected:
  // The setup file of spec: tarnwick.exe, its block filled, the package
  // appended.
  std::string MakeSetup(const sPackageSpec& spec) {
    const std::string program = FileContent(twtest::BinaryPath("tarnwick.exe"));
    const std::string package = FileContent(WritePackage(spec));
    cFileIO exe;
    EXPECT_TRUE(exe.Open(U16(twtest::BinaryPath("tarnwick.exe")).c_str(), kFileRead));
    const int64_t at = FindCmdBlock(&exe);
    EXPECT_GE(at, 0);
    std::string setup = program + package;
    uint8_t block[tw::kCmdBlockSize];
    EXPECT_TRUE(WriteCmdBlock(block, static_cast<uint32_t>(at), static_cast<uint32_t>(program.size()),
                              nullptr, 0));
    std::memcpy(setup.data() + at, block, sizeof block);
    const std::string path = tmp_.path() + "/setup-" + std::to_string(setups_++) + ".exe";
    std::ofstream(fs::u8path(path), std::ios::binary) << setup;
    return path;
  }
  uint32_t RunSilent(const std::string& setup) {
    const twtest::sCaptured run = RunCaptured(U16("\"" + setup + "\" silent"));
    EXPECT_TRUE(run.started);
    return run.exitCode;
  }
  // Wine's reg.exe listing of the package's Uninstall key ("" when none).
  std::string RegQuery() {
    const twtest::sCaptured run = RunCaptured(
        u"reg query \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + codename_ + u"\"");
    return run.exitCode == 0 ? run.output : "";
  }
  // Every .lnk below the private all-users folder, by file name.
  std::vector<std::string> Shortcuts() {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(fs::u8path(tmp_.path() + "/allusers"))) {
      if (e.path().extension() == ".lnk") {
        out.push_back(e.path().parent_path().filename().generic_string() + "/" +
                      e.path().filename().generic_string());
      }
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  int setups_ = 0;
};

TEST_F(SilentExe, InstallsTheExampleEndToEnd) {
  const sPackageSpec v1 = V1();
  const std::string setup = MakeSetup(v1);
  ASSERT_EQ(RunSilent(setup), 0u);
  ExpectInstalled(v1);
  ExpectRegistered(v1);

  // The manager: the program without its package, byte for byte, and alive.
  EXPECT_TRUE(FileContent(ManagerPath()) == FileContent(twtest::BinaryPath("tarnwick.exe")));
  EXPECT_EQ(QueryManagerVersion(U16(ManagerPath()).c_str()), GetOwnVersion());
  EXPECT_EQ(Shortcuts(), (std::vector<std::string>{"Tarn Group/Tarn App Main.lnk",
                                                   "Vornak/Software Packages management.lnk"}));

  const std::string reg = RegQuery();
  std::string managerWin = ManagerPath();
  for (char& c : managerWin) {
    if (c == '/') c = '\\';
  }
  const std::string code = Narrow(codename_);
  for (const std::string& line :
       {std::string("MajorVersion    REG_DWORD    0x1"), std::string("MinorVersion    REG_DWORD    0x0"),
        std::string("SubVersion    REG_DWORD    0x0"), std::string("BuildNumber    REG_DWORD    0x0"),
        std::string("NoRepair    REG_DWORD    0x1"), std::string("NoModify    REG_DWORD    0x0"),
        "UninstallString    REG_SZ    \"" + managerWin + "\" uninstall \"" + code + "\"",
        "ModifyPath    REG_SZ    \"" + managerWin + "\" update \"" + code + "\"",
        std::string("DisplayName    REG_SZ    Tarn App"), std::string("DisplayVersion    REG_SZ    1.0"),
        std::string("Publisher    REG_SZ    Vornak Test"), "ProductId    REG_SZ    " + code,
        std::string("HelpLink    REG_SZ    http://example.org/manual"),
        std::string("URLInfoAbout    REG_SZ    http://example.org/support"),
        std::string("URLUpdateInfo    REG_SZ    http://example.org/updates")}) {
    EXPECT_NE(reg.find(line), std::string::npos) << line << "\n" << reg;
  }

  // The store's record as the next process reads it.
  auto store = OpenStore();
  const std::string prefix = "install/" + code;
  _guardchar<char16_t> text;
  ASSERT_TRUE(store->GetString((prefix + "/name").c_str(), text));
  EXPECT_EQ(Narrow(text.text), "Tarn App");
  EXPECT_EQ(store->GetInt((prefix + "/shortc").c_str()), 1);
  ASSERT_TRUE(store->GetString((prefix + "/shortc0").c_str(), text));
  EXPECT_TRUE(fs::exists(fs::u8path(Narrow(text.text))));
  ASSERT_TRUE(store->GetString("installer/shortcut", text));
  EXPECT_TRUE(fs::exists(fs::u8path(Narrow(text.text))));
}

TEST_F(SilentExe, RepeatReregisterUpdateAndDowngrade) {
  const std::string setup1 = MakeSetup(V1());
  ASSERT_EQ(RunSilent(setup1), 0u);
  EXPECT_EQ(RunSilent(setup1), 12u);
  ASSERT_EQ(RunCaptured(u"reg delete \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                        codename_ + u"\" /f")
                .exitCode,
            0u);
  EXPECT_EQ(RegQuery(), "");
  ASSERT_EQ(RunSilent(setup1), 0u);
  EXPECT_NE(RegQuery().find("DisplayName"), std::string::npos);
  ExpectRegistered(V1());

  const std::string setup2 = MakeSetup(V2());
  ASSERT_EQ(RunSilent(setup2), 0u);
  ExpectInstalled(V2());
  ExpectRegistered(V2());
  EXPECT_FALSE(fs::exists(fs::u8path(ProgramFolder() + "/data/old.dat")));
  EXPECT_EQ(RunSilent(setup1), 4u);
  ExpectInstalled(V2());
}

TEST_F(SilentExe, AFileHeldOpenGivesSevenWithEveryBackupPutBack) {
  const sPackageSpec v1 = V1();
  ASSERT_EQ(RunSilent(MakeSetup(v1)), 0u);
  // readme.txt is the last entry that changes in this update, so the
  // files before it have been moved aside when it is met.
  sPackageSpec v2 = V2();
  v2.files["readme.txt"] = "version two";
  const std::string setup2 = MakeSetup(v2);
  {
    cFileIO held;
    ASSERT_TRUE(held.Open(U16(ProgramFolder() + "/readme.txt").c_str(), kFileRead | kFileShareNone));
    EXPECT_EQ(RunSilent(setup2), 7u);
    ExpectInstalled(v1);
  }
  ASSERT_EQ(RunSilent(setup2), 0u);
  ExpectInstalled(v2);
  ExpectRegistered(v2);
}

}  // namespace
