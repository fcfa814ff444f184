// The setup builder over a small program image: the setup file it writes,
// its log line by line, and every failure's line and exit code.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/memio.h"
#include "base/time.h"
#include "package/cmd_block.h"
#include "package/description.h"
#include "package/pe_image.h"
#include "package/setup_builder.h"
#include "tests/support/build_fixture.h"
#include "tests/support/pe_fixture.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using twtest::U16;

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream f(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& path) {
  const std::string text = twtest::ReadFileText(path);
  return Bytes(text.begin(), text.end());
}

bool Exists(const std::string& path) { return std::filesystem::exists(std::filesystem::u8path(path)); }

void Put(tPkgStringTable& table, const char16_t* key, const char16_t* value) {
  cPackedKey k;
  k.FromWide(key, -1);
  table.FindOrInsert(std::move(k))->Assign(value);
}

using twtest::FillBuildPackage;

tScenarioCompiler Compiles() {
  return [](const char16_t*, cSOPKGDescription& d, int32_t&, sBuildDocError&) { return FillBuildPackage(d); };
}

tScenarioCompiler Fails(int32_t code, int32_t line, const char* docPath = nullptr) {
  return [=](const char16_t*, cSOPKGDescription&, int32_t& l, sBuildDocError& e) {
    l = line;
    if (docPath != nullptr) {
      e.path.Assign(U16(docPath).c_str());
      e.line = 4;
      e.column = 10;
      e.message.Assign("unknown tag");
    }
    return code;
  };
}

struct Build {
  twtest::TempDir dir;
  std::string scenario = dir.path() + "/product.scn";
  std::string program = dir.path() + "/tarnwick.exe";
  std::string target = dir.path() + "/setup.exe";

  int32_t Run(const tScenarioCompiler& compile, const char* programFile = "given", const char* own = "") {
    const std::u16string t = U16(target), s = U16(scenario);
    std::u16string p = std::string(programFile) == "given" ? U16(program) : U16(programFile);
    const std::u16string o = U16(own);
    return BuildSetupWith(compile, t.c_str(), p.c_str(), o.c_str(), s.c_str());
  }
  std::string Log() { return twtest::ReadFileText(scenario + ".log"); }
};

uint32_t Today() { return BuildDayNumber(static_cast<uint64_t>(GetUnixTimeNow())); }

// The version resource the builder must have written for FillBuildPackage on the
// given day, padded to size.
Bytes ExpectedResource(uint32_t day, uint32_t size) {
  sVersionTexts texts;
  texts.company = u"Example Ltd";
  texts.description = u"English name";
  texts.copyright = u"(c) Example";
  texts.product = u"English name";
  const uint32_t version[4] = {3, 1, 0, 0};
  Bytes block;
  uint32_t needed = 0;
  EXPECT_TRUE(BuildVersionResource(BuildVersionStrings(texts, version, day), version, day, size, block, needed));
  return block;
}

std::string Lines(std::initializer_list<const char*> lines) {
  std::string out;
  for (const char* l : lines) {
    for (const char* p = l; *p; ++p) {
      if (*p == '\n') out += '\r';
      out += *p;
    }
  }
  return out;
}

TEST(BuildSetup, WritesTheSetupFileAndItsLog) {
  for (uint16_t magic : {uint16_t{0x10B}, uint16_t{0x20B}}) {
    for (bool given : {true, false}) {
      SCOPED_TRACE(testing::Message() << "magic " << magic << (given ? " given" : " own"));
      Build b;
      const Bytes program = twtest::MakeProgramImage({magic});
      WriteFile(b.program, program);
      uint32_t day = 0;
      int32_t code = -1;
      // A build that straddles the day boundary is run again.
      for (int attempt = 0; attempt < 2; ++attempt) {
        day = Today();
        code = given ? b.Run(Compiles()) : b.Run(Compiles(), "", b.program.c_str());
        if (Today() == day) break;
      }
      ASSERT_EQ(code, 0) << b.Log();
      const std::string opth = magic == 0x20B ? "(i) Found opth at 0x98 (size: 0xF0)\n"
                                              : "(i) Found opth at 0x98 (size: 0xE0)\n";
      const std::string assuming = "(i) Assuming \"" + b.program + "\" is software manager...\n";
      EXPECT_EQ(b.Log(), Lines({"(i) Loading scenario... OK!\n", given ? assuming.c_str() : "",
                                "(i) Opened \"self\" with iCmd at 0x800\n", opth.c_str(),
                                "(i) Found resources at 0x400 (size: 0x400)\n",
                                "(i) Using lang section at 0x500 (VA: 0x3100), size: 0x300, lang_id: 0x409\n",
                                "(i) Created new version info\n", "(i) Saved SOPKG\n"}));
      EXPECT_FALSE(Exists(b.target + ".tmp"));

      const Bytes setup = ReadFile(b.target);
      ASSERT_GT(setup.size(), program.size());
      // The program part: the new resource in place, the block filled with
      // the package at the program's length, checksum and certificate gone.
      const Bytes resource = ExpectedResource(day, 0x300);
      EXPECT_TRUE(std::equal(resource.begin(), resource.end(), setup.begin() + twtest::kFixtureVersionAt));
      EXPECT_EQ(setup[twtest::kFixtureBlockAt], 1);
      EXPECT_EQ(twtest::GetLe32(setup, twtest::kFixtureBlockAt + 256), program.size());
      EXPECT_EQ(twtest::GetLe32(setup, twtest::kFixtureBlockAt + 260), twtest::kFixtureBlockAt);
      EXPECT_EQ(twtest::GetLe32(setup, twtest::kFixtureOptHeader + 64), 0u);
      // Everything else is the program as it was.
      for (size_t i = twtest::kFixtureBlockAt + tw::kCmdBlockSize; i < program.size(); ++i) {
        ASSERT_EQ(setup[i], program[i]) << i;
      }

      // The package after it reads back whole.
      cBufWrapperIO in(setup.data(), static_cast<uint32_t>(setup.size()));
      ASSERT_TRUE(in.Seek(program.size()));
      cSOPKGDescription back;
      ASSERT_TRUE(back.Read(&in));
      EXPECT_EQ(back.version[0], 3u);
      EXPECT_EQ(back.payloads.count, 1u);
      EXPECT_EQ(in.GetSize(), setup.size());

      // The clean copy is the program file byte for byte.
      cBufWrapperIO whole(setup.data(), static_cast<uint32_t>(setup.size()));
      cMemIOTarget out;
      ASSERT_TRUE(CopyCleanFromBlock(setup.data() + twtest::kFixtureBlockAt, &whole, &out));
      _typebuf<char> clean;
      ASSERT_TRUE(out.CopyToBuffer(clean));
      ASSERT_EQ(static_cast<size_t>(clean.count), program.size());
      EXPECT_EQ(std::memcmp(clean.data, program.data(), program.size()), 0);
    }
  }
}

// How a case damages the program image.
using tDamage = std::function<void(Bytes&)>;

struct sFailure {
  const char* name;
  tScenarioCompiler compile;
  tDamage damage;
  int32_t exitCode;
  std::string logTail;  // the log's end, from the first line that differs from a good build
  const char* programFile = "given";
  const char* targetName = "setup.exe";
};

constexpr uint32_t kRsrc = 0x400;

TEST(BuildSetup, FailuresLogTheirLineAndLeaveNoSetupFile) {
  const std::string opened = "(i) Opened \"self\" with iCmd at 0x800\n";
  const std::string opth = opened + "(i) Found opth at 0x98 (size: 0xE0)\n";
  const std::string resources = opth + "(i) Found resources at 0x400 (size: 0x400)\n";
  const std::string lang = resources + "(i) Using lang section at 0x500 (VA: 0x3100), size: 0x300, lang_id: 0x409\n";
  const uint32_t day = Today();
  sVersionTexts big;
  big.company = u"Example Ltd";
  big.description = big.product = u"English name";
  big.copyright = u"(c) Example";
  const uint32_t version[4] = {3, 1, 0, 0};
  char tooBig[80];
  std::snprintf(tooBig, sizeof tooBig, "(e) New expected version is too big (0x%X)!\n",
                static_cast<unsigned>(BuildVersionStrings(big, version, day).size() + 168));
  const tDamage none = [](Bytes&) {};
  const std::vector<sFailure> cases = {
      {"no source file", Fails(1, 0), none, 1, "FAIL (No source file)\n"},
      {"unknown section", Fails(2, 5), none, 1, "ERROR:\n - at line 5: Unknown section!\n"},
      {"bad value", Fails(7, 3), none, 1, "ERROR:\n - at line 3: error code 7!\n"},
      {"completeness check", Fails(11, -1), none, 1, "ERROR:\n - at line -1: error code 11!\n"},
      {"document error", Fails(19, 2, "/p/welcome_en.txt"), none, 1,
       "ERROR:\n - at line 2: error code 19!\n(e) Document \"/p/welcome_en.txt\", line 5, column 11: unknown tag\n"},
      {"program missing", Compiles(), none, 1, "(e) Open \"/nowhere/tarnwick.exe\" failed!\n", "/nowhere/tarnwick.exe"},
      {"no template", Compiles(), [](Bytes& b) { b[twtest::kFixtureBlockAt + 3] = 'X'; }, 2,
       "(e) No iCmd section in \"self\"!\n"},
      {"no MZ", Compiles(), [](Bytes& b) { b[0] = 'Z'; }, 2, opened + "(e) Bad header(1)!\n"},
      {"PE header offset below 64", Compiles(), [](Bytes& b) { twtest::PutLe32(b, 60, 0x20); }, 2,
       opened + "(e) Bad header(1)!\n"},
      {"PE header past the end", Compiles(), [](Bytes& b) { twtest::PutLe32(b, 60, 0x7FFFFFF0); }, 2,
       opened + "(e) Unable to read header(2)m!\n"},
      {"no PE signature", Compiles(), [](Bytes& b) { b[0x81] = 'X'; }, 2, opened + "(e) Bad header(2)!\n"},
      {"no optional header", Compiles(), [](Bytes& b) { twtest::PutLe16(b, 0x80 + 20, 0); }, 2,
       opened + "(e) No opt header!\n"},
      {"no sections", Compiles(), [](Bytes& b) { twtest::PutLe16(b, 0x80 + 6, 0); }, 2,
       opened + "(e) No sections defined!\n"},
      {"section table past the end", Compiles(), [](Bytes& b) { twtest::PutLe16(b, 0x80 + 6, 0xFFFF); }, 2,
       opth + "(e) Unable to read sections!\n"},
      {"no .rsrc", Compiles(), [](Bytes& b) { b[0x98 + 224 + 40 + 1] = 'x'; }, 2,
       opth + "(e) No resource section!\n"},
      {"resources past the end", Compiles(), [](Bytes& b) { twtest::PutLe32(b, 0x98 + 224 + 40 + 16, 0x7FFF0000); }, 2,
       "(i) Opened \"self\" with iCmd at 0x800\n(i) Found opth at 0x98 (size: 0xE0)\n"
       "(i) Found resources at 0x400 (size: 0x7FFF0000)\n(e) Unable to read resources!\n"},
      {"directory past the section", Compiles(), [](Bytes& b) { twtest::PutLe32(b, kRsrc + 20, 0x800003F8); }, 2,
       resources + "(e) Unable to parse resources!\n"},
      {"no version type", Compiles(), [](Bytes& b) { twtest::PutLe32(b, kRsrc + 16, 17); }, 2,
       resources + "(e) No resource version section!\n"},
      {"no version id 1", Compiles(), [](Bytes& b) { twtest::PutLe32(b, kRsrc + 24 + 16, 2); }, 2,
       resources + "(e) No version ID section!\n"},
      {"no language entry", Compiles(), [](Bytes& b) { twtest::PutLe16(b, kRsrc + 48 + 14, 0); }, 2,
       resources + "(e) No version lang section!\n"},
      {"resource outside its section", Compiles(), [](Bytes& b) { twtest::PutLe32(b, kRsrc + 0xC0, 0x2000); }, 2,
       resources + "(e) Unable to parse resources!\n"},
      {"resource too small", Compiles(), [](Bytes& b) { twtest::PutLe32(b, kRsrc + 0xC4, 0x100); }, 3,
       resources + "(i) Using lang section at 0x500 (VA: 0x3100), size: 0x100, lang_id: 0x409\n" + tooBig},
      {"unknown magic", Compiles(), [](Bytes& b) { twtest::PutLe16(b, 0x98, 0x10C); }, 3,
       lang + "(i) Created new version info\n(e) Bad optional header magic!\n"},
      {"target folder missing", Compiles(), none, 4,
       lang + "(i) Created new version info\n(e) Unable to create target file!\n", "given", "missing/setup.exe"},
  };
  for (const sFailure& c : cases) {
    SCOPED_TRACE(c.name);
    Build b;
    Bytes program = twtest::MakeProgramImage();
    c.damage(program);
    WriteFile(b.program, program);
    b.target = b.dir.path() + "/" + c.targetName;
    std::string programFile = c.programFile;
    EXPECT_EQ(b.Run(c.compile, programFile.c_str()), c.exitCode);
    std::string expected = "(i) Loading scenario... ";
    const bool compiled = c.logTail.rfind("FAIL", 0) != 0 && c.logTail.rfind("ERROR", 0) != 0;
    if (compiled) {
      const std::string path = programFile == "given" ? b.program : programFile;
      expected += "OK!\n(i) Assuming \"" + path + "\" is software manager...\n";
    }
    expected += c.logTail;
    EXPECT_EQ(b.Log(), Lines({expected.c_str()}));
    EXPECT_FALSE(Exists(b.target));
    EXPECT_FALSE(Exists(b.target + ".tmp"));
  }
}

// A scenario whose files would land outside the program folder builds no
// setup file: the package would be refused by every reader anyway.
TEST(BuildSetup, InstallPathsOutsideTheProgramFolderAreRefused) {
  const std::function<void(cSOPKGDescription&)> spoils[] = {
      [](cSOPKGDescription& d) { d.installList.head->value.relativePath.Assign(u"../../Windows/evil.dll"); },
      [](cSOPKGDescription& d) { d.installList.head->value.relativePath.Assign(u"C:/Windows/evil.dll"); },
      [](cSOPKGDescription& d) { Put(d.commonTable, u"pgm", u"C:/Windows"); },
      [](cSOPKGDescription& d) { Put(d.commonTable, u"folder", u"../Windows"); },
  };
  for (const auto& spoil : spoils) {
    Build b;
    WriteFile(b.program, twtest::MakeProgramImage());
    const tScenarioCompiler compile = [&](const char16_t*, cSOPKGDescription& d, int32_t&, sBuildDocError&) {
      const int32_t code = FillBuildPackage(d);
      if (code == 0 && d.installList.head != nullptr) spoil(d);
      return d.installList.head != nullptr ? code : -1;
    };
    EXPECT_EQ(b.Run(compile), 1);
    EXPECT_EQ(b.Log(), Lines({"(i) Loading scenario... OK!\n(e) Every installed file must lie below $pgm, without "
                              "\"..\" or an absolute path; \"pgm\" cannot be defined and \"folder\" must be a "
                              "relative path!\n"}));
    EXPECT_FALSE(Exists(b.target));
  }
}

TEST(BuildSetup, OwnProgramThatCannotBeOpened) {
  Build b;
  const std::u16string t = U16(b.target), s = U16(b.scenario), own = U16(b.dir.path() + "/gone.exe");
  EXPECT_EQ(BuildSetupWith(Compiles(), t.c_str(), nullptr, own.c_str(), s.c_str()), 1);
  EXPECT_EQ(b.Log(), Lines({"(i) Loading scenario... OK!\n(e) Open \"self\" failed!\n"}));
}

// A failed build leaves an older setup file as it was; a good one replaces
// it.
TEST(BuildSetup, AnOlderTargetSurvivesAFailedBuild) {
  Build b;
  Bytes program = twtest::MakeProgramImage();
  WriteFile(b.program, program);
  const Bytes older = {'o', 'l', 'd'};
  WriteFile(b.target, older);
  twtest::PutLe16(program, 0x98, 0x10C);
  WriteFile(b.program, program);
  EXPECT_EQ(b.Run(Compiles()), 3);
  EXPECT_EQ(ReadFile(b.target), older);
  EXPECT_FALSE(Exists(b.target + ".tmp"));
  WriteFile(b.program, twtest::MakeProgramImage());
  EXPECT_EQ(b.Run(Compiles()), 0);
  EXPECT_GT(ReadFile(b.target).size(), 10000u);
}

// A setup file has no template left: it cannot be the base of another.
TEST(BuildSetup, AFilledSetupFileAsBaseGivesTwo) {
  Build b;
  WriteFile(b.program, twtest::MakeProgramImage());
  ASSERT_EQ(b.Run(Compiles()), 0);
  const std::string first = b.target;
  b.program = first;
  b.target = b.dir.path() + "/second.exe";
  EXPECT_EQ(b.Run(Compiles()), 2);
  EXPECT_EQ(b.Log(), Lines({("(i) Loading scenario... OK!\n(i) Assuming \"" + first +
                             "\" is software manager...\n(e) No iCmd section in \"self\"!\n")
                                .c_str()}));
  EXPECT_FALSE(Exists(b.target));
}

// The texts are those of the smallest declared language; empty ones are
// left out of the resource.
TEST(BuildSetup, VersionTextsOfTheFirstLanguage) {
  Build b;
  WriteFile(b.program, twtest::MakeProgramImage());
  const tScenarioCompiler compile = [](const char16_t*, cSOPKGDescription& d, int32_t&, sBuildDocError&) {
    const int32_t code = FillBuildPackage(d);
    Put(d.commonTable, u"publisher", u"");
    d.SelectLanguage(2);  // whatever the compiler left current
    return code;
  };
  ASSERT_EQ(b.Run(compile), 0);
  const Bytes setup = ReadFile(b.target);
  const std::string resource(setup.begin() + twtest::kFixtureVersionAt,
                             setup.begin() + twtest::kFixtureVersionAt + 0x300);
  auto has = [&](const std::u16string& s) {
    return resource.find(std::string(reinterpret_cast<const char*>(s.data()), 2 * s.size())) != std::string::npos;
  };
  EXPECT_TRUE(has(u"English name"));
  EXPECT_FALSE(has(u"Deutscher Name"));
  EXPECT_FALSE(has(u"CompanyName"));
  EXPECT_TRUE(has(u"LegalCopyright"));
  EXPECT_TRUE(has(u"3.1.0.0"));
}

}  // namespace

namespace {

// Bare relative names, as typed on a command line, name files in the
// current folder on every target.
TEST(BuildSetup, RelativeNamesFromTheCommandLine) {
  Build b;
  WriteFile(b.program, twtest::MakeProgramImage());
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::u8path(b.dir.path()));
  const int32_t code = BuildSetupWith(Compiles(), u"setup.exe", u"tarnwick.exe", nullptr, u"product.scn");
  std::filesystem::current_path(before);
  EXPECT_EQ(code, 0) << b.Log();
  EXPECT_NE(b.Log().find("(i) Assuming \"tarnwick.exe\" is software manager...\r\n"), std::string::npos) << b.Log();
  EXPECT_GT(ReadFile(b.target).size(), twtest::MakeProgramImage().size());
}

}  // namespace
