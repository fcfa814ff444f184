// The clean copy: a filled program with its package appended gives back the
// program as it was before the builder touched it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/memio.h"
#include "package/cmd_block.h"

namespace {

std::vector<uint8_t> Copy(const uint8_t* block, const std::vector<uint8_t>& file, bool* ok) {
  cBufWrapperIO in(file.data(), static_cast<uint32_t>(file.size()));
  cMemIOTarget out;
  *ok = CopyCleanFromBlock(block, &in, &out);
  _typebuf<char> bytes;
  EXPECT_TRUE(out.CopyToBuffer(bytes));
  return std::vector<uint8_t>(reinterpret_cast<uint8_t*>(bytes.data), reinterpret_cast<uint8_t*>(bytes.data) + out.GetSize());
}

// A program of 20,000 bytes with the template at 3,000; the builder's
// patches: a header at 100 and a resource at 15,000 replaced, the block
// filled, a package appended.
struct Built {
  std::vector<uint8_t> clean, setup, block;
};
Built Build() {
  Built b;
  b.clean.resize(20000);
  for (size_t i = 0; i < b.clean.size(); ++i) b.clean[i] = static_cast<uint8_t>(i * 7 + 3);
  std::memcpy(b.clean.data() + 3000, CmdBlockTemplate(), tw::kCmdBlockSize);
  b.setup = b.clean;
  sCmdPatch patches[2];
  patches[0] = {100, b.clean.data() + 100, 224};
  patches[1] = {15000, b.clean.data() + 15000, 900};
  b.block.resize(tw::kCmdBlockSize);
  EXPECT_TRUE(WriteCmdBlock(b.block.data(), 3000, 20000, patches, 2));
  std::memset(b.setup.data() + 100, 0xEE, 224);
  std::memset(b.setup.data() + 15000, 0xDD, 900);
  std::memcpy(b.setup.data() + 3000, b.block.data(), tw::kCmdBlockSize);
  b.setup.insert(b.setup.end(), 5000, 0x55);  // the package
  return b;
}

TEST(CleanCopy, GivesBackTheProgramBeforeTheBuild) {
  Built b = Build();
  bool ok = false;
  EXPECT_EQ(Copy(b.block.data(), b.setup, &ok), b.clean);
  EXPECT_TRUE(ok);
}

TEST(CleanCopy, TemplateProgramCopiesItselfWhole) {
  Built b = Build();
  bool ok = false;
  EXPECT_EQ(Copy(CmdBlockTemplate(), b.setup, &ok), b.setup);
  EXPECT_TRUE(ok);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Each damaged block fails rather than writing a wrong manager.
TEST(CleanCopy, DamagedBlocksFail) {
  const uint32_t first = tw::kCmdBlockRecordsAt;
  struct Case {
    const char* what;
    void (*damage)(Built&);
  } cases[] = {
      {"kind 0", [](Built& b) { b.block[0] = 0; }},
      {"kind 3", [](Built& b) { b.block[0] = 3; }},
      {"file shorter than the clean length", [](Built& b) { b.setup.resize(19999); }},
      {"first record longer than the area",
       [](Built& b) {
         b.block[first + 4] = static_cast<uint8_t>(7919 & 0xFF);
         b.block[first + 5] = static_cast<uint8_t>(7919 >> 8);
       }},
      {"offsets going backwards", [](Built& b) { Put32(b.block.data() + first + 6 + 224, 50); }},
      {"block record with bytes", [](Built& b) { b.block[first + 6 + 224 + 4] = 1; }},
      {"record beyond the clean length",
       [](Built& b) { Put32(b.block.data() + first + 6 + 224 + 6, 21000); }},
      {"no end record", [](Built& b) { std::memset(b.block.data() + first + 6 + 224 + 6 + 6 + 900, 0x11, 8192 - (first + 6 + 224 + 6 + 6 + 900)); }},
  };
  for (const Case& c : cases) {
    Built b = Build();
    c.damage(b);
    bool ok = true;
    Copy(b.block.data(), b.setup, &ok);
    EXPECT_FALSE(ok) << c.what;
  }
  Built b = Build();
  cMemIOTarget out;
  EXPECT_FALSE(CopyCleanFromBlock(b.block.data(), nullptr, &out));
  cBufWrapperIO in(b.setup.data(), static_cast<uint32_t>(b.setup.size()));
  EXPECT_FALSE(CopyCleanFromBlock(b.block.data(), &in, nullptr));
}

TEST(CleanCopy, OwnProgramMissingFails) {
  cMemIOTarget out;
  EXPECT_FALSE(CopyCleanManager(u"/nonexistent/dir/tarnwick.exe", &out));
  EXPECT_FALSE(CopyCleanManager(u"x", nullptr));
}

}  // namespace
