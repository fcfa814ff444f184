// tarnwick.exe itself, started as a child: the version record on a pipe,
// the exit codes of refused command lines, and the iCmd block in its file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/fileio.h"
#include "package/cmd_block.h"
#include "tests/support/capture.h"
#include "tests/support/test_support.h"

using twtest::RunCaptured;
using twtest::U16;

namespace {

std::u16string Exe() { return U16("\"" + twtest::BinaryPath("tarnwick.exe") + "\""); }

TEST(TarnwickExe, VersionWritesItsRecordToThePipe) {
  const twtest::sCaptured run = RunCaptured(Exe() + u" version");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);
  const std::string expected("\xE3\xA6\xA4\x14\x0F\x05\0\0\0\0\0\0\x0B\0\x01\0", 16);
  EXPECT_EQ(run.output, expected);
}

TEST(TarnwickExe, VersionWithoutAnOutputHandleFails) {
  const twtest::sCaptured run = RunCaptured(Exe() + u" version", true);
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.output, "");
}

TEST(TarnwickExe, RefusedCommandLinesEndWithOne) {
  for (const char16_t* args : {u" Version", u" version2", u" frobnicate", u" make a b c d",
                               u" uninstall", u" update", u" install"}) {
    const twtest::sCaptured run = RunCaptured(Exe() + args);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 1u) << twtest::Narrow(args);
    EXPECT_EQ(run.output, "") << twtest::Narrow(args);
  }
}

TEST(TarnwickExe, TheFileHoldsTheTemplateBlockOnce) {
  cFileIO file;
  ASSERT_TRUE(file.Open(U16(twtest::BinaryPath("tarnwick.exe")).c_str(), kFileRead));
  const int64_t at = FindCmdBlock(&file);
  ASSERT_GE(at, 0);
  std::string rest(static_cast<size_t>(file.GetSize() - at - 1), '\0');
  ASSERT_TRUE(file.Seek(static_cast<uint64_t>(at) + 1));
  ASSERT_TRUE(file.ReadExact(rest.data(), static_cast<uint32_t>(rest.size())));
  const std::string block(reinterpret_cast<const char*>(CmdBlockTemplate()), tw::kCmdBlockSize);
  EXPECT_EQ(rest.find(block), std::string::npos);  // the builder must find one place only
}

}  // namespace
