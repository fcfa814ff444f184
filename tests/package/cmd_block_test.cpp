// The iCmd block: the template in the image, finding it in a file, reading
// where the package lies, and the block the builder writes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/memio.h"
#include "package/cmd_block.h"
#include "tests/support/test_support.h"

using twtest::Narrow;
using twtest::U16;

namespace {

std::vector<uint8_t> Template() {
  const uint8_t* t = CmdBlockTemplate();
  return std::vector<uint8_t>(t, t + tw::kCmdBlockSize);
}

int64_t Find(const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  return FindCmdBlock(&io);
}

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

TEST(CmdBlock, TheProgramCarriesTheTemplate) {
  EXPECT_TRUE(IsCmdBlockPristine());
  const std::vector<uint8_t> t = Template();
  EXPECT_EQ(std::string(t.begin(), t.begin() + 11), "<ICMDBLOCK>");
  EXPECT_EQ(std::memcmp(OwnCmdBlock(), t.data(), t.size()), 0);
  EXPECT_NE(OwnCmdBlock(), CmdBlockTemplate());  // the image's own copy, not the reference
}

TEST(CmdBlock, FoundInAFileOnlyWhenWhole) {
  const std::vector<uint8_t> t = Template();
  EXPECT_EQ(Find(t), 0);  // exactly one block
  EXPECT_EQ(Find(std::vector<uint8_t>(t.begin(), t.end() - 1)), -1);
  EXPECT_EQ(FindCmdBlock(nullptr), -1);

  // A near miss first (last byte differs), the real block after it.
  std::vector<uint8_t> file(37, '<');
  std::vector<uint8_t> nearMiss = t;
  nearMiss.back() = 1;
  file.insert(file.end(), nearMiss.begin(), nearMiss.end());
  const int64_t at = static_cast<int64_t>(file.size()) + 5;
  file.insert(file.end(), 5, 0);
  file.insert(file.end(), t.begin(), t.end());
  file.insert(file.end(), 100, 0xCC);
  EXPECT_EQ(Find(file), at);
  // Two blocks: the first wins.
  file.insert(file.begin(), t.begin(), t.end());
  EXPECT_EQ(Find(file), 0);
}

// A block of kind with the path field (raw bytes) and the package offset.
std::vector<uint8_t> Block(uint8_t kind, const std::string& path, uint32_t offset) {
  std::vector<uint8_t> b(tw::kCmdBlockSize, 0);
  b[0] = kind;
  std::memcpy(b.data() + 1, path.data(), std::min<size_t>(path.size(), 255));
  for (int i = 0; i < 4; ++i) b[256 + i] = static_cast<uint8_t>(offset >> (8 * i));
  return b;
}

TEST(CmdBlock, WhereThePackageLies) {
  twtest::TempDir tmp;
  const std::string program = tmp.path() + "/setup.exe";
  const std::string beside = tmp.path() + "/data.pkg";
  std::ofstream(std::filesystem::u8path(program)) << "MZ";
  std::ofstream(std::filesystem::u8path(beside)) << "QXVSOPKG";
  const std::string longName = "D:/" + std::string(252, 'p');  // fills the field, no terminator

  const struct {
    const char* what;
    std::vector<uint8_t> block;
    std::string program;
    bool found;
    std::string path;
  } cases[] = {
      {"appended", Block(1, "", 0x1234), program, true, program},
      {"appended, program missing", Block(1, "", 1), tmp.path() + "/none.exe", false, ""},
      {"beside the program", Block(2, "./data.pkg", 0x1234), program, true, beside},
      {"beside, missing", Block(2, "./none.pkg", 1), program, false, ""},
      {"beside, program path without '/'", Block(2, "./data.pkg", 1), "setup.exe", false, ""},
      {"absolute, taken unchecked", Block(2, "E:/far/away.pkg", 0x1234), program, true, "E:/far/away.pkg"},
      {"255 bytes without terminator", Block(2, longName, 0x1234), program, true, longName},
      {"empty path", Block(2, "", 1), program, false, ""},
      {"template", Template(), program, false, ""},
      {"no package", Block(0, "", 1), program, false, ""},
      {"unknown kind", Block(3, "x", 1), program, false, ""},
  };
  for (const auto& c : cases) {
    _guardchar<char16_t> path(u"untouched");
    uint32_t offset = 7;
    const bool found = LocatePackageInBlock(c.block.data(), path, U16(c.program).c_str(), offset);
    EXPECT_EQ(found, c.found) << c.what;
    if (c.found) {
      EXPECT_EQ(Narrow(path.text), c.path) << c.what;
      EXPECT_EQ(offset, 0x1234u) << c.what;
    } else {
      EXPECT_EQ(Narrow(path.text), "untouched") << c.what;
      EXPECT_EQ(offset, 7u) << c.what;
    }
  }
  // The program as built names no package.
  _guardchar<char16_t> path;
  uint32_t offset = 0;
  EXPECT_FALSE(LocateOwnPackage(path, U16(program).c_str(), offset));
}

struct sRecord {
  uint32_t offset;
  std::vector<uint8_t> bytes;
  bool operator==(const sRecord&) const = default;
};

// The records of a block up to and including the end record.
std::vector<sRecord> Records(const uint8_t* block) {
  std::vector<sRecord> out;
  uint32_t at = tw::kCmdBlockRecordsAt;
  while (at + 6 <= tw::kCmdBlockSize) {
    const uint32_t offset = U32(block + at);
    const uint16_t n = static_cast<uint16_t>(block[at + 4] | block[at + 5] << 8);
    out.push_back({offset, std::vector<uint8_t>(block + at + 6, block + at + 6 + n)});
    at += 6 + n;
    if (offset == tw::kCmdBlockEndOffset) break;
  }
  return out;
}

TEST(CmdBlock, TheBuildersBlock) {
  const uint8_t header[] = {1, 2, 3, 4};
  const uint8_t version[] = {9, 8, 7};
  const sCmdPatch patches[] = {{0x80, header, 4}, {0x9000, version, 3}};
  std::vector<uint8_t> block(tw::kCmdBlockSize, 0xEE);
  ASSERT_TRUE(WriteCmdBlock(block.data(), 0x4000, 0x12345, patches, 2));
  EXPECT_EQ(block[0], 1);
  EXPECT_EQ(std::vector<uint8_t>(block.begin() + 1, block.begin() + 256), std::vector<uint8_t>(255, 0));
  EXPECT_EQ(U32(&block[256]), 0x12345u);  // the package follows the clean copy
  EXPECT_EQ(U32(&block[260]), 0x4000u);
  EXPECT_EQ(U32(&block[264]), 0x12345u);
  const std::vector<sRecord> expected = {
      {0x80, {1, 2, 3, 4}}, {0x4000, {}}, {0x9000, {9, 8, 7}}, {tw::kCmdBlockEndOffset, {}}};
  EXPECT_EQ(Records(block.data()), expected);
  // Read back as a setup file's own block would be.
  twtest::TempDir tmp;
  const std::string program = tmp.path() + "/setup.exe";
  std::ofstream(std::filesystem::u8path(program)) << "MZ";
  _guardchar<char16_t> path;
  uint32_t offset = 0;
  ASSERT_TRUE(LocatePackageInBlock(block.data(), path, U16(program).c_str(), offset));
  EXPECT_EQ(offset, 0x12345u);

  // The block's record before every patch beyond it, also with none.
  ASSERT_TRUE(WriteCmdBlock(block.data(), 0, 10, nullptr, 0));
  EXPECT_EQ(Records(block.data()), (std::vector<sRecord>{{0, {}}, {tw::kCmdBlockEndOffset, {}}}));
}

TEST(CmdBlock, BadPatchListsAreRefused) {
  std::vector<uint8_t> big(7924);
  std::vector<uint8_t> block(tw::kCmdBlockSize);
  const uint8_t b4[4] = {};
  const struct {
    const char* what;
    std::vector<sCmdPatch> patches;
  } cases[] = {
      {"descending", {{0x200, b4, 4}, {0x100, b4, 4}}},
      {"overlapping", {{0x100, b4, 4}, {0x102, b4, 4}}},
      {"into the block", {{0x3FFE, b4, 4}}},
      {"inside the block", {{0x4100, b4, 4}}},
      // 6 + 7,906 bytes fill the area with the block and end records (6 each): one
      // byte more does not fit.
      {"too long", {{0x100, big.data(), 7907}}},
      {"bytes missing", {{0x100, nullptr, 4}}},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(WriteCmdBlock(block.data(), 0x4000, 0x10000, c.patches.data(),
                               static_cast<int32_t>(c.patches.size())))
        << c.what;
  }
  const sCmdPatch fits = {0x100, big.data(), 7906};
  EXPECT_TRUE(WriteCmdBlock(block.data(), 0x4000, 0x10000, &fits, 1));
}

}  // namespace
