// The application object's choice of mode, and the version record.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/cmd_block.h"
#include "tests/support/test_support.h"
#include "tools/tarnwick_app.h"
#include "tools/version_record.h"

using twtest::Narrow;
using twtest::U16;

namespace {

struct sArgs {
  std::vector<std::u16string> text;
  std::vector<char16_t*> argv;
  explicit sArgs(std::vector<std::u16string> t) : text(std::move(t)) {
    for (auto& s : text) argv.push_back(s.data());
    argv.push_back(nullptr);
  }
  int32_t argc() const { return static_cast<int32_t>(text.size()); }
};

std::string Str(const char16_t* s) { return s != nullptr ? Narrow(s) : "<null>"; }

TEST(TarnwickApp, VerbsAndArguments) {
  const struct {
    std::vector<std::u16string> args;  // after the program path
    bool ok;
    int32_t mode;
    std::string first, second, third;
    uint32_t offset;
    bool quiet;
  } cases[] = {
      {{}, true, 0, "<null>", "<null>", "<null>", 0, false},
      {{u"install", u"C:/p.pkg"}, true, 1, "C:/p.pkg", "<null>", "<null>", 0, false},
      {{u"install", u"C:/p.pkg", u"0x10"}, true, 1, "C:/p.pkg", "<null>", "<null>", 16, false},
      {{u"install", u"C:/p.pkg", u"  4096"}, true, 1, "C:/p.pkg", "<null>", "<null>", 4096, false},
      {{u"install", u"C:/p.pkg", u"4294967295"}, true, 1, "C:/p.pkg", "<null>", "<null>", 0, false},
      {{u"install", u"C:/p.pkg", u"4294967294"}, true, 1, "C:/p.pkg", "<null>", "<null>", 0xFFFFFFFE, false},
      {{u"install", u"C:/p.pkg", u"abc"}, true, 1, "C:/p.pkg", "<null>", "<null>", 0, false},
      {{u"install"}, false, 0, "", "", "", 0, false},
      {{u"uninstall", u"tarn"}, true, 3, "tarn", "<null>", "<null>", 0, false},
      {{u"uninstall"}, false, 0, "", "", "", 0, false},
      {{u"update", u"tarn"}, true, 4, "tarn", "<null>", "<null>", 0, false},
      {{u"update", u"tarn", u"quite"}, true, 4, "tarn", "<null>", "<null>", 0, true},
      {{u"update", u"tarn", u"quiet"}, true, 4, "tarn", "<null>", "<null>", 0, false},
      {{u"update"}, false, 0, "", "", "", 0, false},
      {{u"make", u"s.txt", u"out.exe"}, true, 5, "s.txt", "out.exe", "", 0, false},
      {{u"make", u"s.txt", u"out.exe", u"base.exe"}, true, 5, "s.txt", "out.exe", "base.exe", 0, false},
      {{u"make", u"s.txt", u"out.exe", u"base.exe", u"extra"}, false, 0, "", "", "", 0, false},
      {{u"make", u"s.txt"}, false, 0, "", "", "", 0, false},
      {{u"remove"}, true, 6, "<null>", "<null>", "<null>", 0, false},
      {{u"remove", u"ignored"}, true, 6, "<null>", "<null>", "<null>", 0, false},
      {{u"version"}, true, 7, "<null>", "<null>", "<null>", 0, false},
      {{u"Version"}, false, 0, "", "", "", 0, false},
      {{u"version "}, false, 0, "", "", "", 0, false},
      {{u"silent"}, false, 0, "", "", "", 0, false},  // a verb only for setup files
      {{u""}, false, 0, "", "", "", 0, false},
  };
  for (const auto& c : cases) {
    std::vector<std::u16string> all = {u"C:/T/tarnwick.exe"};
    all.insert(all.end(), c.args.begin(), c.args.end());
    sArgs a(all);
    std::string what;
    for (const auto& s : c.args) what += "[" + Narrow(s) + "]";
    cTarnwickApp app;
    EXPECT_EQ(app.ChooseMode(a.argc(), a.argv.data(), CmdBlockTemplate()), c.ok) << what;
    EXPECT_EQ(Str(app.GetProgramPathArg()), "C:/T/tarnwick.exe") << what;
    if (!c.ok) continue;
    EXPECT_EQ(app.GetMode(), c.mode) << what;
    EXPECT_EQ(Str(app.GetFirstArg()), c.first) << what;
    EXPECT_EQ(Str(app.GetSecondArg()), c.second) << what;
    EXPECT_EQ(Str(app.GetThirdArg()), c.third) << what;
    EXPECT_EQ(app.GetPackageOffset(), c.offset) << what;
    EXPECT_EQ(app.GetQuiet(), c.quiet) << what;
  }
}

TEST(TarnwickApp, ASetupFileInstallsWhateverVerbFollows) {
  twtest::TempDir tmp;
  const std::string program = tmp.path() + "/setup.exe";
  std::ofstream(std::filesystem::u8path(program)) << "MZ";
  std::vector<uint8_t> block(tw::kCmdBlockSize, 0);
  ASSERT_TRUE(WriteCmdBlock(block.data(), 0x400, 0x2000, nullptr, 0));
  const struct {
    std::vector<std::u16string> args;
    int32_t mode;
  } cases[] = {
      {{}, 1},
      {{u"silent"}, 2},
      {{u"silent", u"more"}, 2},
      {{u"Silent"}, 1},
      {{u"uninstall", u"tarn"}, 1},
      {{u"version"}, 1},
      {{u"nonsense"}, 1},
  };
  for (const auto& c : cases) {
    std::vector<std::u16string> all = {U16(program)};
    all.insert(all.end(), c.args.begin(), c.args.end());
    sArgs a(all);
    cTarnwickApp app;
    ASSERT_TRUE(app.ChooseMode(a.argc(), a.argv.data(), block.data()));
    EXPECT_EQ(app.GetMode(), c.mode) << (c.args.empty() ? "" : Narrow(c.args[0]));
    EXPECT_EQ(Str(app.GetFirstArg()), program);
    EXPECT_EQ(app.GetPackageOffset(), 0x2000u);
    EXPECT_FALSE(app.GetQuiet());
  }
  // A second choice starts from scratch.
  cTarnwickApp app;
  sArgs upd({u"C:/T/tarnwick.exe", u"update", u"x", u"quite"});
  ASSERT_TRUE(app.ChooseMode(upd.argc(), upd.argv.data(), CmdBlockTemplate()));
  sArgs inst({u"C:/T/tarnwick.exe", u"install", u"p", u"5"});
  ASSERT_TRUE(app.ChooseMode(inst.argc(), inst.argv.data(), CmdBlockTemplate()));
  EXPECT_FALSE(app.GetQuiet());
  sArgs none({u"C:/T/tarnwick.exe"});
  ASSERT_TRUE(app.ChooseMode(none.argc(), none.argv.data(), CmdBlockTemplate()));
  EXPECT_EQ(app.GetMode(), 0);
  EXPECT_EQ(app.GetPackageOffset(), 0u);
}

TEST(VersionRecord, OwnVersionAndItsRecord) {
  EXPECT_EQ(GetOwnVersion(), 0x0001000B00000000ull);
  uint8_t record[16];
  EncodeVersionRecord(GetOwnVersion(), record);
  const uint8_t expected[16] = {0xE3, 0xA6, 0xA4, 0x14, 0x0F, 0x05, 0x00, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x0B, 0x00, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(record, expected, 16), 0);
  EXPECT_EQ(DecodeVersionRecord(record), GetOwnVersion());
  record[4] = 0x10;  // another record kind
  EXPECT_EQ(DecodeVersionRecord(record), tw::kNoVersion);
  record[4] = 0x0F;
  record[0] = 0xE4;  // another magic
  EXPECT_EQ(DecodeVersionRecord(record), tw::kNoVersion);

  const struct {
    const char16_t* text;
    uint64_t version;
  } texts[] = {
      {u"1.11", 0x0001000B00000000ull},
      {u"1.12.3.4", 0x0001000C00030004ull},
      {u"65537.2", 0x0001000200000000ull},  // each part masked to 16 bits
      {u"x", tw::kNoVersion},
  };
  for (const auto& t : texts) EXPECT_EQ(ParseVersionText(t.text), t.version) << Narrow(t.text);
}

}  // namespace
