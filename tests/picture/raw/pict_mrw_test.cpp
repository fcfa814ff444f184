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
#include "tests/support/olympus_encoder.h"
#include "tests/support/test_support.h"
#include "tests/support/tiff_builder.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& relative) {
  const std::string text = twtest::ReadFileText(twtest::SourcePath(relative));
  return std::vector<uint8_t>(text.begin(), text.end());
}

struct sMrw {
  bool bigEndian = true;   // directory
  int tiff = 1;            // 0 none, 1 big-endian TIFF, 2 little-endian TIFF
  std::string model = "DiMAGE 7Hi";
  int32_t width = 24, height = 8;
  bool packed = false;
  bool preview = true;
  uint16_t wb[4] = {300, 256, 256, 420};
  uint32_t prdLength = 16;
  std::vector<uint8_t> extraBlock;  // raw bytes of one more block (header included)
};

struct sBuilt {
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> frame;
  std::vector<uint8_t> jpeg;
};

void P16(std::vector<uint8_t>& v, bool be, uint32_t x) {
  if (be) v.push_back(static_cast<uint8_t>(x >> 8)), v.push_back(static_cast<uint8_t>(x));
  else v.push_back(static_cast<uint8_t>(x)), v.push_back(static_cast<uint8_t>(x >> 8));
}
void P32(std::vector<uint8_t>& v, bool be, uint32_t x) {
  if (be) P16(v, be, x >> 16), P16(v, be, x & 0xFFFF);
  else P16(v, be, x & 0xFFFF), P16(v, be, x >> 16);
}
void Block(std::vector<uint8_t>& v, bool be, const char* name, const std::vector<uint8_t>& content) {
  v.push_back(0);
  v.insert(v.end(), name, name + 3);
  P32(v, be, static_cast<uint32_t>(content.size()));
  v.insert(v.end(), content.begin(), content.end());
}

sBuilt Build(const sMrw& f) {
  sBuilt out;
  out.jpeg = ReadBytes("tests/picture/raw/data/preview_48x32.jpg");
  const bool be = f.bigEndian;
  // An extra block goes first, so that the blocks after it are still read.
  std::vector<uint8_t> head(f.extraBlock);
  std::vector<uint8_t> prd(f.prdLength, 0);
  if (f.prdLength >= 12) {
    std::vector<uint8_t> t;
    P16(t, be, static_cast<uint32_t>(f.height));
    P16(t, be, static_cast<uint32_t>(f.width));
    prd[8] = t[0], prd[9] = t[1], prd[10] = t[2], prd[11] = t[3];
  }
  Block(head, be, "PRD", prd);
  std::vector<uint8_t> wbg(4, 0);
  for (uint16_t w : f.wb) P16(wbg, be, w);
  Block(head, be, "WBG", wbg);
  if (f.tiff) {
    cTiffBuilder t(f.tiff == 1, false);
    const int ifd = t.AddIfd();
    t.AddAscii(ifd, 272, f.model);
    if (f.preview) {
      const int blk = t.AddBlock(out.jpeg);
      t.AddBlockOffsets(ifd, 513, {blk});
      t.AddBlockSizes(ifd, 514, {blk});
    }
    Block(head, be, "TTW", t.Build());
  }
  const bool samplesBe = f.tiff ? f.tiff == 1 : be;
  std::vector<uint16_t> s(static_cast<size_t>(f.width) * f.height);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint16_t>((i * 37 + 100) & 0xFFF);
  out.frame = s;
  std::vector<uint8_t> data;
  if (f.packed) olympus_encoder::PackRow(s.data(), static_cast<int32_t>(s.size()), samplesBe ? olympus_encoder::kBig : olympus_encoder::kLittle, data);
  else
    for (uint16_t v : s) P16(data, samplesBe, v);
  out.bytes = {0, 'M', 'R', be ? uint8_t('M') : uint8_t('I')};
  P32(out.bytes, be, static_cast<uint32_t>(head.size()));
  out.bytes.insert(out.bytes.end(), head.begin(), head.end());
  out.bytes.insert(out.bytes.end(), data.begin(), data.end());
  return out;
}

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
