#include "base/full_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/strings.h"
#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

using twtest::Narrow;
using twtest::ReadFileText;

std::string Str(cApplicationConfig& store, const char* path) {
  _guardchar<char16_t> s;
  if (!store.GetString(path, s)) return "<missing>";
  return Narrow(s.text != nullptr ? s.text : u"");
}

std::string Keys(cApplicationConfig& store, const char* path) {
  std::string out;
  const bool ok = store.EnumKeys(
      path,
      [](const char* key, void* user) {
        *static_cast<std::string*>(user) += std::string(key) + ";";
        return true;
      },
      &out);
  return out + (ok ? "" : "<false>");
}

// The per-user and machine-wide data roots point into one temporary folder.
class FullConfig : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directory(std::filesystem::u8path(tmp.path() + "/user"));
    std::filesystem::create_directory(std::filesystem::u8path(tmp.path() + "/machine"));
    ASSERT_TRUE(store.Open(u"qxvtest"));
  }
  std::string UserFile(const std::string& name) { return tmp.path() + "/user/Vornak/qxvtest/" + name; }
  std::string MachineFile(const std::string& name) { return tmp.path() + "/machine/Vornak/qxv/" + name; }

  twtest::TempDir tmp;
  twtest::ScopedEnv appData{"APPDATA", (tmp.path() + "/user").c_str()};
  twtest::ScopedEnv programData{"ProgramData", (tmp.path() + "/machine").c_str()};
  cCIAppFullConfig store;
};

TEST_F(FullConfig, StoresLiveInTheirDataFolders) {
  const std::string user = Narrow(store.GetUserConfig()->RootFolder());
  const std::string machine = Narrow(store.GetMachineConfig()->RootFolder());
  EXPECT_NE(user.find("/user/Vornak/qxvtest"), std::string::npos) << user;
  EXPECT_NE(machine.find("/machine/Vornak/qxv"), std::string::npos) << machine;
  // No node access on the two-level store.
  EXPECT_EQ(store.Root(), nullptr);
  EXPECT_EQ(store.Resolve("a/b", true), nullptr);
  uint32_t size = 0;
  EXPECT_FALSE(store.ValueSize(nullptr, size));
  // The empty path is the machine-wide store's top node.
  EXPECT_TRUE(store.Exists(""));
}

TEST_F(FullConfig, ReadsAskThePerUserStoreFirst) {
  cCIAppConfig* machine = store.GetMachineConfig();
  ASSERT_TRUE(machine->SetInt("s/both", 1));
  ASSERT_TRUE(machine->SetInt("s/machine", 2));
  ASSERT_TRUE(machine->SetInt("s/number", 3));
  ASSERT_TRUE(machine->SetString("s/text", u"machine", -1));
  ASSERT_TRUE(store.SetInt("s/both", 10));
  ASSERT_TRUE(store.SetBytes("s/number", "123456789", 9));  // no number
  EXPECT_EQ(store.GetInt("s/both"), 10);
  EXPECT_EQ(store.GetInt("s/machine"), 2);
  EXPECT_EQ(store.GetInt("s/number"), 3);
  EXPECT_EQ(Str(store, "s/text"), "machine");
  _typebuf<char> bytes;
  ASSERT_TRUE(store.GetBytes("s/number", bytes));
  EXPECT_EQ(bytes.count, 9);
  EXPECT_EQ(store.GetU16("s/missing"), 0);
  EXPECT_TRUE(store.Exists("s/machine"));
  EXPECT_TRUE(store.Exists("s/both"));
  EXPECT_FALSE(store.Exists("s/missing"));
}

TEST_F(FullConfig, WritesGoToThePerUserStoreAlone) {
  cCIAppConfig* machine = store.GetMachineConfig();
  ASSERT_TRUE(machine->SetInt("s/k", 1));
  ASSERT_TRUE(store.Save());
  const std::string machineBefore = ReadFileText(MachineFile("s"));
  ASSERT_TRUE(store.SetInt("s/k", 2));
  ASSERT_TRUE(store.SetString("s/t", u"user", -1));
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ReadFileText(MachineFile("s")), machineBefore);
  cCIAppConfig user;
  ASSERT_TRUE(user.Open(std::u16string(store.GetUserConfig()->RootFolder()).c_str()));
  EXPECT_EQ(user.GetInt("s/k"), 2);
  EXPECT_EQ(Str(user, "s/t"), "user");
  // Through GetMachineConfig, the full store's Save writes the machine file.
  ASSERT_TRUE(machine->SetInt("s/k", 5));
  ASSERT_TRUE(store.Save());
  cCIAppConfig machineReader;
  ASSERT_TRUE(machineReader.Open(std::u16string(machine->RootFolder()).c_str()));
  EXPECT_EQ(machineReader.GetInt("s/k"), 5);
}

TEST_F(FullConfig, DeletionsAndEnumerationsCoverBothStores) {
  cCIAppConfig* machine = store.GetMachineConfig();
  ASSERT_TRUE(machine->SetInt("s/k", 1));
  ASSERT_TRUE(machine->SetInt("s/m", 1));
  ASSERT_TRUE(store.SetInt("s/k", 2));
  ASSERT_TRUE(store.SetInt("s/u", 2));
  // Machine-wide first; a key in both is reported twice.
  EXPECT_EQ(Keys(store, "s"), "k;m;k;u;");
  // Enumeration fails when either side fails, but both run.
  ASSERT_TRUE(store.SetInt("only/u", 1));
  EXPECT_EQ(Keys(store, "only"), "u;<false>");

  EXPECT_TRUE(store.DeleteKey("s/k"));
  EXPECT_FALSE(store.Exists("s/k"));
  EXPECT_EQ(store.GetInt("s/k"), 0);
  // Present on one side only: removed there, false overall.
  EXPECT_FALSE(store.DeleteKey("s/m"));
  EXPECT_FALSE(store.Exists("s/m"));
  // DeleteMachineKey leaves the per-user store alone.
  ASSERT_TRUE(machine->SetInt("s/u", 9));
  EXPECT_TRUE(store.DeleteMachineKey("s/u"));
  EXPECT_EQ(store.GetInt("s/u"), 2);
  EXPECT_FALSE(machine->Exists("s/u"));
  ASSERT_TRUE(store.Save());
  cCIAppFullConfig reopened;
  ASSERT_TRUE(reopened.Open(u"qxvtest"));
  EXPECT_EQ(Keys(reopened, "s"), "u;");
}

TEST_F(FullConfig, RevertDropsUnsavedChangesInBoth) {
  ASSERT_TRUE(store.GetMachineConfig()->SetInt("s/m", 1));
  ASSERT_TRUE(store.SetInt("s/u", 1));
  ASSERT_TRUE(store.Save());
  ASSERT_TRUE(store.GetMachineConfig()->SetInt("s/m", 2));
  ASSERT_TRUE(store.SetInt("s/u", 2));
  EXPECT_TRUE(store.RevertChanged());
  EXPECT_EQ(store.GetInt("s/m"), 1);
  EXPECT_EQ(store.GetInt("s/u"), 1);
}

// Windows only: on Linux the machine-wide root falls back to /var/lib, a
// real folder that a test must not write into.
#ifdef _WIN32
TEST(FullConfigFolders, WithoutAMachineFolderTheUserStoreServesAlone) {
  twtest::TempDir tmp;
  twtest::ScopedEnv appData("APPDATA", tmp.path().c_str());
  // ProgramData names a file: the machine-wide folder cannot be built.
  std::ofstream(std::filesystem::u8path(tmp.path() + "/file")) << "x";
  twtest::ScopedEnv programData("ProgramData", (tmp.path() + "/file").c_str());
  twtest::ScopedEnv allUsers("ALLUSERSPROFILE", (tmp.path() + "/file").c_str());
  twtest::ScopedEnv homeDrive("HOMEDRIVE", (tmp.path() + "/file").c_str());
  cCIAppFullConfig store;
  ASSERT_TRUE(store.Open(u"qxvtest"));
  ASSERT_EQ(store.GetMachineConfig()->RootFolder(), nullptr);
  ASSERT_TRUE(store.SetInt("s/k", 4));
  EXPECT_EQ(store.GetInt("s/k"), 4);
  EXPECT_TRUE(store.Exists("s/k"));
  EXPECT_FALSE(store.DeleteKey("s/k"));  // the machine-wide part fails
  EXPECT_FALSE(store.Exists("s/k"));     // the per-user part ran
  EXPECT_TRUE(store.Save());
}
#endif

}  // namespace
