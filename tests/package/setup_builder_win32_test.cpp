// A setup file built from the real tarnwick.exe of this build, read back by
// Windows itself: the version resource through GetFileVersionInfoW and
// VerQueryValueW, and the clean copy of the setup file, which must be the
// program byte for byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/memio.h"
#include "base/time.h"
#include "base/win_text.h"
#include "package/cmd_block.h"
#include "package/pe_image.h"
#include "package/setup_builder.h"
#include "tests/support/build_fixture.h"
#include "tests/support/capture.h"
#include "tests/support/test_support.h"

namespace {

using twtest::U16;

std::string ReadAll(const std::string& path) { return twtest::ReadFileText(path); }

std::u16string QueryString(const std::vector<uint8_t>& info, const char16_t* key) {
  std::u16string path = std::u16string(u"\\StringFileInfo\\000004b0\\") + key;
  void* value = nullptr;
  UINT units = 0;
  if (!VerQueryValueW(info.data(), tw::ToWin(path.c_str()), &value, &units) || value == nullptr) return u"<none>";
  return std::u16string(tw::FromWin(static_cast<const wchar_t*>(value)));
}

TEST(BuildSetupOnWindows, VersionResourceReadsBackThroughTheSystem) {
  const std::string program = twtest::BinaryPath("tarnwick.exe");
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
  ASSERT_EQ(code, 0) << ReadAll(dir.path() + "/product.scn.log");

  const std::u16string w = U16(target);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(tw::ToWin(w.c_str()), &handle);
  ASSERT_GT(size, 0u);
  std::vector<uint8_t> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(tw::ToWin(w.c_str()), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  ASSERT_EQ(fixedSize, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, (3u << 16) | 1u);
  EXPECT_EQ(fixed->dwFileVersionLS, day);
  EXPECT_EQ(fixed->dwProductVersionMS, (3u << 16) | 1u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileType, 1u);
  EXPECT_EQ(QueryString(info, u"CompanyName"), u"Example Ltd");
  EXPECT_EQ(QueryString(info, u"FileDescription"), u"English name");
  EXPECT_EQ(QueryString(info, u"ProductName"), u"English name");
  EXPECT_EQ(QueryString(info, u"LegalCopyright"), u"(c) Example");
  EXPECT_EQ(QueryString(info, u"FileVersion"), U16("3.1.0." + std::to_string(day)));
  EXPECT_EQ(QueryString(info, u"ProductVersion"), u"3.1.0.0");
  // The program's own padding text is gone with the rest of its resource.
  EXPECT_EQ(QueryString(info, u"Comments"), u"<none>");
}

TEST(BuildSetupOnWindows, CleanCopyOfTheSetupFileIsTheProgram) {
  const std::string program = twtest::BinaryPath("tarnwick.exe");
  twtest::TempDir dir;
  const std::string target = dir.path() + "/setup.exe";
  const std::u16string t = U16(target), p = U16(program), s = U16(dir.path() + "/product.scn");
  ASSERT_EQ(BuildSetupWith(twtest::CompileBuildPackage, t.c_str(), p.c_str(), nullptr, s.c_str()), 0);
  cFileIO setup;
  ASSERT_TRUE(setup.Open(t.c_str(), kFileRead));
  const std::string original = ReadAll(program);
  ASSERT_GT(original.size(), tw::kCmdBlockSize);
  // The block lies where the program's template lies.
  const size_t at = original.find(std::string(reinterpret_cast<const char*>(CmdBlockTemplate()), tw::kCmdBlockSize));
  ASSERT_NE(at, std::string::npos);
  std::vector<uint8_t> block(tw::kCmdBlockSize);
  ASSERT_TRUE(setup.Seek(at));
  ASSERT_TRUE(setup.ReadExact(block.data(), tw::kCmdBlockSize));
  EXPECT_EQ(block[0], tw::kCmdBlockAppended);
  cMemIOTarget out;
  ASSERT_TRUE(CopyCleanFromBlock(block.data(), &setup, &out));
  _typebuf<char> clean;
  ASSERT_TRUE(out.CopyToBuffer(clean));
  ASSERT_EQ(static_cast<size_t>(clean.count), original.size());
  EXPECT_EQ(std::memcmp(clean.data, original.data(), original.size()), 0);
  EXPECT_GT(setup.GetSize(), original.size());  // the package follows
}

}  // namespace
