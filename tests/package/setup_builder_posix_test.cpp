// A setup file built natively from the product, the win32 tarnwick.exe of
// the sibling build folder, read back by an independent PE reader (pefile),
// and its clean copy compared with the program.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/memio.h"
#include "base/time.h"
#include "package/cmd_block.h"
#include "package/pe_image.h"
#include "package/setup_builder.h"
#include "tests/support/build_fixture.h"
#include "tests/support/test_support.h"

namespace {

using twtest::U16;

// The product, built by `make win32` beside this build folder.
std::string Win32Program() {
  const char* binary = std::getenv("TW_BINARY_DIR");
  return binary == nullptr ? "" : std::string(binary) + "/../win32/tarnwick.exe";
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "<not started>";
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  if (status != 0) out += "<exit " + std::to_string(status) + ">";
  return out;
}

TEST(BuildSetupFromTheProduct, PefileReadsTheVersionResource) {
  const std::string program = Win32Program();
  if (!std::filesystem::exists(program)) {
    GTEST_SKIP() << "the win32 build is missing (" << program << "): run `make win32` first";
  }
  twtest::TempDir dir;
  const std::string target = dir.path() + "/setup.exe";
  const std::u16string t = U16(target), p = U16(program), s = U16(dir.path() + "/product.scn");
  uint32_t day = 0;
  int32_t code = -1;
  for (int attempt = 0; attempt < 2; ++attempt) {  // again when a day boundary fell inside
    day = BuildDayNumber(static_cast<uint64_t>(GetUnixTimeNow()));
    code = BuildSetupWith(twtest::CompileBuildPackage, t.c_str(), p.c_str(), nullptr, s.c_str());
    if (BuildDayNumber(static_cast<uint64_t>(GetUnixTimeNow())) == day) break;
  }
  ASSERT_EQ(code, 0) << twtest::ReadFileText(dir.path() + "/product.scn.log");

  const std::string script = twtest::SourcePath("tests/package/read_version.py");
  const std::string expected = "signature=FEEF04BD\n"
                               "file=3.1.0." + std::to_string(day) + "\n"
                               "product=3.1.0.0\n"
                               "os=00040004 type=1\n"
                               "table=000004b0\n"
                               "CompanyName=Example Ltd\n"
                               "FileDescription=English name\n"
                               "FileVersion=3.1.0." + std::to_string(day) + "\n"
                               "LegalCopyright=(c) Example\n"
                               "ProductName=English name\n"
                               "ProductVersion=3.1.0.0\n"
                               "Translation=0x0000 0x04b0\n"
                               "checksum=0\n";
  EXPECT_EQ(RunCommand(std::string(TW_SYSTEM_PYTHON) + " '" + script + "' '" + target + "' 2>&1"), expected);
  // The program as it was built reads as itself.
  const std::string before = RunCommand(std::string(TW_SYSTEM_PYTHON) + " '" + script + "' '" + program + "' 2>&1");
  EXPECT_NE(before.find("ProductName=Tarnwick\n"), std::string::npos) << before;
  EXPECT_NE(before.find("product=1.11.0.0\n"), std::string::npos) << before;
}

TEST(BuildSetupFromTheProduct, CleanCopyIsTheProgram) {
  const std::string program = Win32Program();
  if (!std::filesystem::exists(program)) {
    GTEST_SKIP() << "the win32 build is missing (" << program << "): run `make win32` first";
  }
  twtest::TempDir dir;
  const std::string target = dir.path() + "/setup.exe";
  const std::u16string t = U16(target), p = U16(program), s = U16(dir.path() + "/product.scn");
  ASSERT_EQ(BuildSetupWith(twtest::CompileBuildPackage, t.c_str(), p.c_str(), nullptr, s.c_str()), 0);
  const std::string original = twtest::ReadFileText(program);
  const size_t at = original.find(std::string(reinterpret_cast<const char*>(CmdBlockTemplate()), tw::kCmdBlockSize));
  ASSERT_NE(at, std::string::npos);
  cFileIO setup;
  ASSERT_TRUE(setup.Open(t.c_str(), kFileRead));
  std::vector<uint8_t> block(tw::kCmdBlockSize);
  ASSERT_TRUE(setup.Seek(at));
  ASSERT_TRUE(setup.ReadExact(block.data(), tw::kCmdBlockSize));
  cMemIOTarget out;
  ASSERT_TRUE(CopyCleanFromBlock(block.data(), &setup, &out));
  _typebuf<char> clean;
  ASSERT_TRUE(out.CopyToBuffer(clean));
  ASSERT_EQ(static_cast<size_t>(clean.count), original.size());
  EXPECT_EQ(std::memcmp(clean.data, original.data(), original.size()), 0);
}

}  // namespace
