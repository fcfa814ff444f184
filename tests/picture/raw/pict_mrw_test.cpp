// cPictMRW over synthetic MRW files: the block directory in both byte
// orders, PRD / WBG / TTW blocks, the sample byte order (from the embedded
// TIFF, else from the directory), plain and packed sensor data seen through
// the development hook, the DiMAGE A200 pattern, the preview, and the
// regressions: a block length that wraps 32 bits, blocks past the data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_jpeg.h"
#include "picture/raw/pict_mrw.h"
#include "picture/raw/raw_develop.h"
#include "tests/support/raw_fixture_dump.h"
#include "tests/support/mrw_builder.h"
#include "tests/support/olympus_encoder.h"
#include "tests/support/test_support.h"
#include "tests/support/tiff_builder.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& relative) {
  const std::string text = twtest::ReadFileText(twtest::SourcePath(relative));
  return std::vector<uint8_t>(text.begin(), text.end());
}

using namespace mrw_builder;


struct sSeen {
  std::vector<uint16_t> raw;
  int32_t w = 0, h = 0;
};
void Hook(const uint16_t* raw, int32_t w, int32_t h, void* user) {
  auto* s = static_cast<sSeen*>(user);
  s->raw.assign(raw, raw + static_cast<size_t>(w) * h);
  s->w = w, s->h = h;
}
struct cHookScope {
  explicit cHookScope(sSeen* s) { SetRawFrameHook(&Hook, s); }
  ~cHookScope() { SetRawFrameHook(nullptr, nullptr); }
};

TEST(Mrw, LoadsEveryLayoutAndByteOrder) {
  struct {
    const char* name;
    sMrw f;
    bool samplesBigEndian;
  } cases[] = {
      {"big-endian, big TIFF", {}, true},
      {"little-endian directory, little TIFF", [] { sMrw f; f.bigEndian = false; f.tiff = 2; return f; }(), false},
      {"big directory, little TIFF", [] { sMrw f; f.tiff = 2; return f; }(), false},
      {"no TIFF, big directory", [] { sMrw f; f.tiff = 0; return f; }(), true},
      {"no TIFF, little directory", [] { sMrw f; f.tiff = 0; f.bigEndian = false; return f; }(), false},
      {"packed, big", [] { sMrw f; f.packed = true; return f; }(), true},
      {"packed, little", [] { sMrw f; f.packed = true; f.tiff = 2; return f; }(), false},
  };
  for (const auto& c : cases) {
    const auto built = Build(c.f);
    twtest::DumpRawFixture("mrw", c.name, built.bytes);
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    cPictMRW d;
    sPictInfo info;
    ASSERT_TRUE(cPictMRW::Detect(&io, &info)) << c.name;
    EXPECT_EQ(info.width, c.f.width);
    EXPECT_EQ(info.height, c.f.height);
    EXPECT_EQ(info.hasPreview, c.f.tiff != 0) << c.name;
    sSeen seen;
    cHookScope hook(&seen);
    ASSERT_TRUE(d.Load(&io)) << c.name;
    EXPECT_EQ(d.SamplesBigEndian(), c.samplesBigEndian) << c.name;
    EXPECT_EQ(seen.raw, built.frame) << c.name;
    EXPECT_EQ(d.GetWidth(), c.f.width);
  }
}

TEST(Mrw, DirectoryRefusalsAndEdges) {
  struct {
    const char* name;
    sMrw f;
    bool reads, loads;
  } cases[] = {
      // next = position + 8 + 0xFFFFFFF8 wraps to the position in 32 bits.
      {"wrapping block length", [] { sMrw f; f.extraBlock = {0, 'X', 'X', 'X', 0xFF, 0xFF, 0xFF, 0xF8}; return f; }(), false, false},
      {"block past the data", [] { sMrw f; f.extraBlock = {0, 'X', 'X', 'X', 0, 0, 0, 64}; return f; }(), false, false},
      {"short PRD is skipped", [] { sMrw f; f.prdLength = 12; return f; }(), true, false},
  };
  for (const auto& c : cases) {
    const auto built = Build(c.f);
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    cPictMRW d;
    EXPECT_EQ(d.ReadInfo(&io, nullptr), c.reads) << c.name;
    EXPECT_EQ(d.Load(&io), c.loads) << c.name;
  }
  // A header block of 8 bytes: a directory without blocks, nothing to load.
  std::vector<uint8_t> tiny = {0, 'M', 'R', 'M', 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0};
  cBufWrapperIO io(tiny.data(), static_cast<uint32_t>(tiny.size()));
  cPictMRW d;
  sPictInfo info;
  EXPECT_TRUE(d.ReadInfo(&io, &info));
  EXPECT_EQ(info.width, 0);
  EXPECT_FALSE(d.Load(&io));
  tiny[3] = 'X';
  EXPECT_FALSE(d.ReadInfo(&io, nullptr));
  // Too little sensor data for either layout.
  auto built = Build(sMrw{});
  built.bytes.resize(built.bytes.size() - built.frame.size());
  cBufWrapperIO io2(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
  EXPECT_FALSE(d.Load(&io2));
}

TEST(Mrw, A200PatternAndPreview) {
  sMrw f;
  f.model = "DiMAGE A200";
  const auto built = Build(f);
  cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
  cPictMRW d;
  ASSERT_TRUE(d.ReadInfo(&io, nullptr));
  EXPECT_EQ(0, memcmp(d.Pattern(), "\x01\x02\x00\x01", 4));
  f.model = "DiMAGE A2";
  const auto other = Build(f);
  cBufWrapperIO io2(other.bytes.data(), static_cast<uint32_t>(other.bytes.size()));
  ASSERT_TRUE(d.ReadInfo(&io2, nullptr));
  EXPECT_EQ(0, memcmp(d.Pattern(), "\x00\x01\x01\x02", 4));

  cPictJPEG jpeg;
  cBufWrapperIO jio(built.jpeg.data(), static_cast<uint32_t>(built.jpeg.size()));
  ASSERT_TRUE(jpeg.Load(&jio));
  cPictDummy dest;
  int32_t w = 0, h = 0;
  ASSERT_TRUE(d.LoadPreview(&io, &dest, w, h));
  _typebuf<uint32_t> a, b;
  ASSERT_TRUE(dest.GetPixels32(a));
  ASSERT_TRUE(jpeg.GetPixels32(b));
  ASSERT_EQ(a.count, b.count);
  EXPECT_EQ(0, memcmp(a.data, b.data, sizeof(uint32_t) * a.count));
}

}  // namespace
