// The records an installation leaves: the Uninstall entry, the installation
// record in the store, the installed-product lookup and file removal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/buffers.h"
#include "base/config_store.h"
#include "base/paths.h"
#include "base/registry.h"
#include "base/time.h"
#include "tests/support/test_support.h"
#include "tests/tools/registry_fixture.h"
#include "tools/install_record.h"
#include "tools/installed_product.h"
#include "tools/uninstall_entry.h"

using twtest::Narrow;
using twtest::U16;

namespace {

constexpr char16_t kManager[] = u"C:/Program Files/Common Files/Vornak/tarnwick.exe";
constexpr char16_t kManagerWin[] = u"C:\\Program Files\\Common Files\\Vornak\\tarnwick.exe";
constexpr char16_t kUninstallPath[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::u16string Text(const _guardchar<char16_t>& s) { return s.text ? s.text : u"<null>"; }

// A value of the entry read through the registry layer; "<null>" when absent.
std::u16string EntryString(bool perUser, const std::u16string& code, const char16_t* name) {
  cRegKey key;
  std::u16string path = kUninstallPath + code;
  if (!OpenRegKey(key, perUser ? tw::kRegCurrentUser : tw::kRegLocalMachine, nullptr, path.c_str(),
                  tw::kRegRead | tw::kRegView64)) {
    return u"<no key>";
  }
  _guardchar<char16_t> out;
  ReadRegString(key, name, out);
  return Text(out);
}

uint32_t EntryDword(bool perUser, const std::u16string& code, const char16_t* name, bool& found) {
  cRegKey key;
  std::u16string path = kUninstallPath + code;
  uint32_t v = 99;
  found = OpenRegKey(key, perUser ? tw::kRegCurrentUser : tw::kRegLocalMachine, nullptr, path.c_str(),
                     tw::kRegRead | tw::kRegView64) &&
          ReadRegDword(key, v, name);
  return v;
}

class Registry : public twtest::RegistryTest {};

class UninstallEntry : public twtest::RegistryTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UninstallEntry, WrittenReadAndDeletedWithEveryValue) {
  const bool perUser = GetParam();
  const std::u16string code = UniqueCodename("twtest-entry");
  const std::u16string padded = u" \t\r\n" + code;  // leading blanks are not part of the key
  sUninstallEntryData e;
  e.codename = padded.c_str();
  e.version = 0x0002000100000000ull;
  e.displayVersion = u"2.1";
  e.displayName = u"Tarn App";
  e.publisher = u"Vornak Ltd";
  e.iconPath = u"C:/Program Files/App/app.ico";
  e.manualUrl = u"http://example.org/manual";
  e.supportUrl = u"http://example.org/support";
  e.updatesUrl = u"http://example.org/updates";
  ASSERT_TRUE(WriteUninstallEntry(e, kManager, perUser));

  uint32_t v[4] = {9, 9, 9, 9};
  _guardchar<char16_t> command, name;
  ASSERT_TRUE(ReadUninstallEntry(code.c_str(), v, &command, &name, perUser));
  EXPECT_EQ((std::vector<uint32_t>{v[0], v[1], v[2], v[3]}), (std::vector<uint32_t>{2, 1, 0, 0}));
  EXPECT_EQ(Text(command), u"\"" + std::u16string(kManagerWin) + u"\" uninstall \"" + code + u"\"");
  EXPECT_EQ(Text(name), u"Tarn App");
  // The same entry under the padded codename.
  ASSERT_TRUE(ReadUninstallEntry(padded.c_str(), v, nullptr, nullptr, perUser));

  const struct {
    const char16_t* name;
    std::u16string value;
  } strings[] = {
      {u"ModifyPath", u"\"" + std::u16string(kManagerWin) + u"\" update \"" + code + u"\""},
      {u"DisplayIcon", u"C:\\Program Files\\App\\app.ico"},
      {u"DisplayVersion", u"2.1"},
      {u"HelpLink", u"http://example.org/manual"},
      {u"Publisher", u"Vornak Ltd"},
      {u"ProductId", code},
      {u"URLInfoAbout", u"http://example.org/support"},
      {u"URLUpdateInfo", u"http://example.org/updates"},
      {u"InstallLocation", u""},
  };
  for (const auto& s : strings) {
    EXPECT_EQ(Narrow(EntryString(perUser, code, s.name)), Narrow(s.value)) << Narrow(s.name);
  }
  std::u16string date = EntryString(perUser, code, u"InstallDate");
  sDateTime today;
  ASSERT_TRUE(GetLocalTimeNow(today));
  EXPECT_EQ(date.size(), 8u);
  EXPECT_EQ(Narrow(date.substr(0, 4)), std::to_string(today.year));
  const struct {
    const char16_t* name;
    uint32_t value;
  } dwords[] = {{u"MajorVersion", 2}, {u"MinorVersion", 1}, {u"SubVersion", 0},
                {u"BuildNumber", 0},  {u"NoRepair", 1},     {u"NoModify", 0}};
  for (const auto& d : dwords) {
    bool found = false;
    EXPECT_EQ(EntryDword(perUser, code, d.name, found), d.value) << Narrow(d.name);
    EXPECT_TRUE(found) << Narrow(d.name);
  }
  // The other root does not hold it.
  EXPECT_FALSE(ReadUninstallEntry(code.c_str(), v, nullptr, nullptr, !perUser));

  EXPECT_TRUE(DeleteUninstallEntry(padded.c_str(), perUser));
  EXPECT_FALSE(ReadUninstallEntry(code.c_str(), v, &command, &name, perUser));
  EXPECT_EQ(v[0], 0u);
  // Deleting what is gone succeeds.
  EXPECT_TRUE(DeleteUninstallEntry(code.c_str(), perUser));
}

INSTANTIATE_TEST_SUITE_P(Roots, UninstallEntry, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "CurrentUser" : "LocalMachine"; });

TEST_F(Registry, BlankCodenamesAndMissingManagerAreRefused) {
  sUninstallEntryData e;
  uint32_t v[4];
  for (const char16_t* code : {static_cast<const char16_t*>(nullptr), u"", u" \t\r\n"}) {
    e.codename = code;
    EXPECT_FALSE(WriteUninstallEntry(e, kManager, true));
    EXPECT_FALSE(ReadUninstallEntry(code, v, nullptr, nullptr, true));
    EXPECT_FALSE(DeleteUninstallEntry(code, true));
  }
  const std::u16string code = UniqueCodename("twtest-nomgr");
  e.codename = code.c_str();
  EXPECT_FALSE(WriteUninstallEntry(e, nullptr, true));
  EXPECT_FALSE(ReadUninstallEntry(code.c_str(), v, nullptr, nullptr, true));
}

TEST_F(Registry, MissingTextsAreNotWrittenAndAnEntryWithoutVersionReadsAsMissing) {
  const std::u16string code = UniqueCodename("twtest-partial");
  sUninstallEntryData e;
  e.codename = code.c_str();
  e.version = 0x0001000200030004ull;
  ASSERT_TRUE(WriteUninstallEntry(e, kManager, true));
  EXPECT_EQ(EntryString(true, code, u"DisplayName"), u"<null>");
  EXPECT_EQ(EntryString(true, code, u"DisplayIcon"), u"<null>");
  EXPECT_EQ(EntryString(true, code, u"Publisher"), u"<null>");
  uint32_t v[4];
  ASSERT_TRUE(ReadUninstallEntry(code.c_str(), v, nullptr, nullptr, true));
  EXPECT_EQ((std::vector<uint32_t>{v[0], v[1], v[2], v[3]}), (std::vector<uint32_t>{1, 2, 3, 4}));
  ASSERT_TRUE(DeleteUninstallEntry(code.c_str(), true));

  // Someone else's entry with a command but no version.
  const std::u16string other = UniqueCodename("twtest-noversion");
  {
    cRegKey key;
    std::u16string path = kUninstallPath + other;
    ASSERT_TRUE(CreateRegKey(key, tw::kRegCurrentUser, nullptr, path.c_str(),
                             tw::kRegRead | tw::kRegWrite | tw::kRegView64));
    ASSERT_TRUE(WriteRegString(key, u"C:\\x\\unins.exe /S", u"UninstallString"));
  }
  _guardchar<char16_t> command;
  EXPECT_FALSE(ReadUninstallEntry(other.c_str(), v, &command, nullptr, true));
  EXPECT_EQ(Text(command), u"C:\\x\\unins.exe /S");
  EXPECT_TRUE(DeleteUninstallEntry(other.c_str(), true));
}

TEST_F(Registry, KeyHolderOperations) {
  const std::u16string code = UniqueCodename("twtest-keys");
  std::u16string path = kUninstallPath + code;
  cRegKey key, sub, uninstall;
  ASSERT_TRUE(CreateRegKey(key, tw::kRegCurrentUser, nullptr, path.c_str(),
                           tw::kRegRead | tw::kRegWrite | tw::kRegView64));
  ASSERT_TRUE(CreateRegKey(sub, 0, &key, u"inner", tw::kRegRead | tw::kRegWrite | tw::kRegView64));
  EXPECT_TRUE(WriteRegDword(7, key, u"Count"));
  EXPECT_TRUE(WriteRegString(key, u"seven", u"Label"));
  EXPECT_FALSE(WriteRegString(key, nullptr, u"Label"));
  uint32_t v = 1;
  EXPECT_TRUE(ReadRegDword(key, v, u"COUNT"));  // names ignore case
  EXPECT_EQ(v, 7u);
  EXPECT_FALSE(ReadRegDword(key, v, u"Label"));  // a string is no DWORD
  EXPECT_EQ(v, 0u);
  _guardchar<char16_t> s(u"kept");
  ReadRegString(key, u"Count", s);  // a DWORD is no string: out unchanged
  EXPECT_EQ(Text(s), u"kept");
  ReadRegString(key, u"label", s);
  EXPECT_EQ(Text(s), u"seven");

  ASSERT_TRUE(OpenRegKey(uninstall, tw::kRegCurrentUser, nullptr, kUninstallPath,
                         tw::kRegRead | tw::kRegWrite | tw::kRegView64));
  EXPECT_FALSE(DeleteRegSubKey(uninstall, code.c_str()));  // it still has a subkey
  sub.CloseRegKey();
  EXPECT_TRUE(DeleteRegSubKey(key, u"inner"));
  key.CloseRegKey();
  EXPECT_FALSE(WriteRegDword(1, key, u"Count"));  // closed
  EXPECT_FALSE(DeleteRegSubKey(key, u"inner"));
  EXPECT_TRUE(DeleteRegSubKey(uninstall, code.c_str()));
  EXPECT_FALSE(OpenRegKey(key, tw::kRegCurrentUser, nullptr, path.c_str(), tw::kRegRead));
}

// ---- Installation record ----------------------------------------------------

class InstallRecord : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(store.Open(U16(tmp.path()).c_str())); }
  uint32_t Size(const char* key) {
    _typebuf<char> b;
    return store.GetBytes(key, b) ? static_cast<uint32_t>(b.count) : 999;
  }
  std::u16string Str(const char* key) {
    _guardchar<char16_t> s;
    if (!store.GetString(key, s)) return u"<missing>";
    return s.text != nullptr ? s.text : u"";
  }
  twtest::TempDir tmp;
  cCIAppConfig store;
};

TEST_F(InstallRecord, KeysWidthsAndRunEntryNumbering) {
  const char16_t* files[] = {u"C:/App/a.exe", u"C:/App/b.dll", u"C:/App/unchanged.txt"};
  const char16_t* shortcuts[] = {u"C:/Menu/App/App.lnk"};
  const sRunEntryRecord runs[] = {
      {u"Start App", u"C:/App/a.exe", u"-first run"},
      {u"", u"C:/App/skip.exe", nullptr},  // no caption: no number
      {u"Read me", u"C:/App/readme.txt", u""},
      {u"No program", nullptr, nullptr},
  };
  sInstallRecordData r;
  r.version = 0x0001000200030004ull;
  r.language = 5;
  r.programFolder = u"C:/App";
  r.name = u"App";
  r.updatesUrl = u"http://u";
  r.publisherUrl = u"http://p";
  r.files = files;
  r.fileCount = 3;
  r.shortcuts = shortcuts;
  r.shortcutCount = 1;
  r.runEntries = runs;
  r.runEntryCount = 4;
  _guardchar<char> prefix;
  FormatInstallKey(u"app\u00e9", prefix);
  EXPECT_STREQ(prefix.text, "install/app\xc3\xa9");
  const int64_t before = GetUnixTimeNow();
  WriteInstallRegistration(&store, r, prefix.text);
  const int64_t after = GetUnixTimeNow();

  const std::string p = prefix.text;
  auto k = [&](const char* name) { return p + "/" + name; };
  EXPECT_EQ(Size(k("ver").c_str()), 8u);
  EXPECT_EQ(store.GetInt64Value(k("ver").c_str()), 0x0001000200030004ull);
  EXPECT_EQ(Size(k("lang").c_str()), 2u);
  EXPECT_EQ(store.GetU16(k("lang").c_str()), 5);
  EXPECT_EQ(Size("lang/current"), 2u);
  EXPECT_EQ(store.GetU16("lang/current"), 5);
  EXPECT_EQ(Str(k("path").c_str()), u"C:/App");
  EXPECT_EQ(Str(k("name").c_str()), u"App");
  EXPECT_EQ(Str(k("support").c_str()), u"");  // missing text: an empty value
  EXPECT_EQ(Str(k("publisher").c_str()), u"http://p");
  EXPECT_FALSE(store.Exists(k("icon").c_str()));
  EXPECT_EQ(Size(k("utime").c_str()), 4u);
  const uint32_t utime = static_cast<uint32_t>(store.GetInt(k("utime").c_str()));
  EXPECT_GE(utime, static_cast<uint32_t>(before));
  EXPECT_LE(utime, static_cast<uint32_t>(after));
  EXPECT_EQ(Size(k("files").c_str()), 4u);
  EXPECT_EQ(store.GetInt(k("files").c_str()), 3);
  EXPECT_EQ(Str(k("file2").c_str()), u"C:/App/unchanged.txt");
  EXPECT_EQ(store.GetInt(k("shortc").c_str()), 1);
  EXPECT_EQ(Str(k("shortc0").c_str()), u"C:/Menu/App/App.lnk");
  EXPECT_EQ(Str(k("cplns0").c_str()), u"Start App");
  EXPECT_EQ(Str(k("cplcs0").c_str()), u"\"C:/App/a.exe\" -first run");
  EXPECT_EQ(Str(k("cplns1").c_str()), u"Read me");
  EXPECT_EQ(Str(k("cplcs1").c_str()), u"C:/App/readme.txt");
  EXPECT_FALSE(store.Exists(k("cplns2").c_str()));

  r.iconPath = u"C:/App/a.ico";
  WriteInstallRegistration(&store, r, prefix.text);
  EXPECT_EQ(Str(k("icon").c_str()), u"C:/App/a.ico");
}

// ---- Installed-product lookup --------------------------------------------------

class InstalledProduct : public twtest::RegistryTest {
protected:
  void SetUp() override {
    RegistryTest::SetUp();
    ASSERT_TRUE(store.Open(U16(tmp_.path()).c_str()));
    manager = tmp_.path() + "/tarnwick.exe";
    std::ofstream(std::filesystem::u8path(manager)) << "MZ";
  }
  void Entry(const std::u16string& code, uint64_t version, bool perUser, const char16_t* name) {
    sUninstallEntryData e;
    e.codename = code.c_str();
    e.version = version;
    e.displayName = name;
    ASSERT_TRUE(WriteUninstallEntry(e, perUser ? u"C:/user/m.exe" : u"C:/machine/m.exe", perUser));
  }
  cCIAppConfig store;
  std::string manager;
};

TEST_F(InstalledProduct, OwnRecordFirstThenTheUninstallEntries) {
  const std::u16string code = UniqueCodename("twtest-find");
  _guardchar<char> prefix;
  FormatInstallKey(code.c_str(), prefix);
  const std::string p = prefix.text;
  int32_t version = -1;
  _guardchar<char16_t> command;

  EXPECT_FALSE(FindInstalledProductIn(&store, code.c_str(), version, command));
  EXPECT_FALSE(FindInstalledProductIn(&store, u"", version, command));

  // Recorded here, with the manager in place.
  ASSERT_TRUE(store.SetInt64((p + "/ver").c_str(), 0x0003000400000000ll));
  ASSERT_TRUE(store.SetString((p + "/name").c_str(), u"Recorded name", -1));
  ASSERT_TRUE(store.SetString("installer/app", U16(manager).c_str(), -1));
  ASSERT_TRUE(FindInstalledProductIn(&store, code.c_str(), version, command));
  EXPECT_EQ(version, 3);
  EXPECT_EQ(Narrow(Text(command)), "\"" + manager + "\" uninstall \"" + Narrow(code) + "\"");
  _guardchar<char16_t> name;
  ASSERT_TRUE(GetInstalledProductNameIn(&store, name, code.c_str()));
  EXPECT_EQ(Text(name), u"Recorded name");

  // The manager is gone: the Uninstall entries, machine-wide before per-user.
  std::filesystem::remove(std::filesystem::u8path(manager));
  EXPECT_FALSE(FindInstalledProductIn(&store, code.c_str(), version, command));
  Entry(code, 0x0007000000000000ull, true, u"User name");
  ASSERT_TRUE(FindInstalledProductIn(&store, code.c_str(), version, command));
  EXPECT_EQ(version, 7);
  EXPECT_EQ(Text(command), u"\"C:\\user\\m.exe\" uninstall \"" + code + u"\"");
  Entry(code, 0x0009000000000000ull, false, u"Machine name");
  ASSERT_TRUE(FindInstalledProductIn(&store, code.c_str(), version, command));
  EXPECT_EQ(version, 9);
  ASSERT_TRUE(GetInstalledProductNameIn(nullptr, name, code.c_str()));
  EXPECT_EQ(Text(name), u"Machine name");
  // Without a store only the entries count.
  ASSERT_TRUE(FindInstalledProductIn(nullptr, code.c_str(), version, command));
  EXPECT_EQ(version, 9);

  EXPECT_TRUE(DeleteUninstallEntry(code.c_str(), false));
  EXPECT_TRUE(DeleteUninstallEntry(code.c_str(), true));
  EXPECT_FALSE(FindInstalledProductIn(nullptr, code.c_str(), version, command));
  EXPECT_FALSE(GetInstalledProductNameIn(nullptr, name, code.c_str()));
}

// ---- File removal ---------------------------------------------------------------

void Touch(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::u8path(path).parent_path());
  std::ofstream(std::filesystem::u8path(path)) << "x";
}

TEST(FileRemoval, DeletesTheFileAndEveryFolderItEmpties) {
  twtest::TempDir tmp;
  const std::string root = tmp.path();
  Touch(root + "/a/keep.txt");
  Touch(root + "/a/b/c/gone.txt");
  ASSERT_TRUE(DeleteFileAndEmptyFolders(U16(root + "/a/b//c/gone.txt").c_str()));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(root + "/a/b")));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(root + "/a/keep.txt")));

  EXPECT_TRUE(DeleteFileAndEmptyFolders(U16(root + "/a/missing.txt").c_str()));
  EXPECT_FALSE(DeleteFileAndEmptyFolders(U16(root + "/a").c_str()));  // a folder
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(root + "/a/keep.txt")));
}

TEST(FileRemoval, MovesAFileAsideWhenItIsFree) {
  twtest::TempDir tmp;
  const std::string file = tmp.path() + "/app.exe";
  Touch(file);
  EXPECT_TRUE(MoveAsideIfWritable(U16(file).c_str(), U16(file + ".bkp").c_str()));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(file + ".bkp")));
  EXPECT_FALSE(MoveAsideIfWritable(U16(file).c_str(), U16(file + ".bkp2").c_str()));  // missing
  Touch(file);
  // The backup is in the way: never replaced.
  EXPECT_FALSE(MoveAsideIfWritable(U16(file).c_str(), U16(file + ".bkp").c_str()));
}

}  // namespace
