// cPictX3F over synthetic X3F files: formats 30 and 5 decoded and developed,
// another format replaced by the largest preview, the preview list (equal
// areas, persistence between calls, reset), the preview choice (box fits,
// width-only scaling), the directory bounds and the section marks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_jpeg.h"
#include "picture/raw/pict_x3f.h"
#include "tests/picture/raw/raw_test_util.h"
#include "tests/support/raw_fixture_dump.h"
#include "tests/support/test_support.h"
#include "tests/support/x3f_builder.h"
#include "tests/support/x3f_encoder.h"

namespace {

using x3f_builder::sSection;

std::vector<uint8_t> ReadBytes(const std::string& name) {
  const std::string text = twtest::ReadFileText(twtest::SourcePath("tests/picture/raw/data/" + name));
  return std::vector<uint8_t>(text.begin(), text.end());
}

sSection Preview(const std::string& name, uint32_t w, uint32_t h) { return sSection{2, 18, w, h, ReadBytes(name)}; }

sSection Format30(int32_t w, int32_t h) {
  std::vector<uint8_t> data(48, 0);
  const auto table = x3f_encoder::Table();
  std::copy(table.begin(), table.end(), data.begin() + 8);
  std::vector<std::vector<uint8_t>> planes;
  for (int p = 0; p < 3; ++p) {
    std::vector<uint16_t> v(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint16_t>(100 + (i * (p + 3)) % 3000);
    planes.push_back(x3f_encoder::EncodePlane(v, w, h));
    const uint32_t n = static_cast<uint32_t>(planes.back().size());
    for (int k = 0; k < 4; ++k) data[36 + 4 * p + k] = static_cast<uint8_t>(n >> (8 * k));
  }
  for (const auto& p : planes) {
    data.insert(data.end(), p.begin(), p.end());
    while (data.size() % 16) data.push_back(0);
  }
  return sSection{3, 30, static_cast<uint32_t>(w), static_cast<uint32_t>(h), data};
}

sSection Format5(int32_t w, int32_t h) {
  std::vector<uint8_t> data;
  for (int i = 0; i < 1024; ++i) {
    const int16_t v = static_cast<int16_t>(i * 3 - 100);
    data.push_back(static_cast<uint8_t>(v)), data.push_back(static_cast<uint8_t>(v >> 8));
  }
  for (int32_t i = 0; i < w * h; ++i) x3f_builder::L32(data, static_cast<uint32_t>((i % 40) | (i % 50 + 1) << 10 | (i % 7 + 40) << 20));
  return sSection{3, 5, static_cast<uint32_t>(w), static_cast<uint32_t>(h), data};
}

// The samples Format30 and Format5 code, red, green and blue per site, top
// row first.
std::vector<uint16_t> Format30Samples(int32_t w, int32_t h) {
  std::vector<uint16_t> out;
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i)
    for (int p = 0; p < 3; ++p) out.push_back(static_cast<uint16_t>(100 + (i * (p + 3)) % 3000));
  return out;
}

std::vector<uint16_t> Format5Samples(int32_t w, int32_t h) {
  std::vector<uint16_t> out;
  for (int32_t y = 0; y < h; ++y) {
    int32_t sums[3] = {0, 0, 0};
    for (int32_t x = 0; x < w; ++x) {
      const int32_t i = y * w + x;
      const int32_t index[3] = {i % 40, i % 50 + 1, i % 7 + 40};
      for (int k = 0; k < 3; ++k) sums[k] += index[k] * 3 - 100;
      for (int k = 2; k >= 0; --k) out.push_back(sums[k] < 0 ? 0 : static_cast<uint16_t>(sums[k]));
    }
  }
  return out;
}

TEST(X3f, DecodesFormats30And5) {
  struct {
    const char* name;
    sSection raw;
    std::vector<uint16_t> samples;
  } cases[] = {{"format 30", Format30(33, 10), Format30Samples(33, 10)}, {"format 5", Format5(20, 6), Format5Samples(20, 6)}};
  for (const auto& c : cases) {
    const auto bytes = x3f_builder::Build({Preview("preview_48x32.jpg", 48, 32), c.raw});
    twtest::DumpRawFixture("x3f", c.name, bytes);
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictX3F d;
    sPictInfo info;
    ASSERT_TRUE(d.ReadInfo(&io, &info)) << c.name;
    EXPECT_EQ(info.width, static_cast<int32_t>(c.raw.columns));
    EXPECT_EQ(info.height, static_cast<int32_t>(c.raw.rows));
    EXPECT_TRUE(info.hasPreview);
    cFrameCatcher catcher;
    ASSERT_TRUE(d.Load(&io)) << c.name;
    // The decoded samples, before development.
    EXPECT_EQ(catcher.frame.width, 3 * static_cast<int32_t>(c.raw.columns)) << c.name;
    EXPECT_EQ(catcher.frame.height, static_cast<int32_t>(c.raw.rows)) << c.name;
    EXPECT_EQ(catcher.frame.samples, c.samples) << c.name;
    EXPECT_TRUE(d.IsHighDepth());
    EXPECT_EQ(d.GetWidth(), static_cast<int32_t>(c.raw.columns));
    EXPECT_EQ(d.Pixels64().data[0] >> 48, 0xFFFFu);
  }
  // A plane cut short still loads (zero differences).
  auto raw = Format30(33, 10);
  raw.data.resize(raw.data.size() - 40);
  const auto cut = x3f_builder::Build({raw});
  cBufWrapperIO io(cut.data(), static_cast<uint32_t>(cut.size()));
  cPictX3F d;
  EXPECT_TRUE(d.Load(&io));
  // A bad Huffman entry fails the load.
  auto bad = Format30(33, 10);
  bad.data[8] = 0;
  const auto badBytes = x3f_builder::Build({bad});
  cBufWrapperIO io2(badBytes.data(), static_cast<uint32_t>(badBytes.size()));
  EXPECT_FALSE(d.Load(&io2));
}

TEST(X3f, OtherFormatsUseTheLargestPreview) {
  const sSection other{3, 35, 4000, 3000, std::vector<uint8_t>(16, 0)};
  const auto bytes = x3f_builder::Build({Preview("preview_48x32.jpg", 48, 32), other, Preview("preview_320x213.jpg", 320, 213)});
  twtest::DumpRawFixture("x3f", "format 35 with previews", bytes);
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictX3F d;
  sPictInfo info;
  ASSERT_TRUE(d.ReadInfo(&io, &info));
  EXPECT_EQ(info.width, 320);
  EXPECT_EQ(info.height, 213);
  ASSERT_TRUE(d.Load(&io));
  const auto jpegBytes = ReadBytes("preview_320x213.jpg");
  cBufWrapperIO jio(jpegBytes.data(), static_cast<uint32_t>(jpegBytes.size()));
  cPictJPEG jpeg;
  ASSERT_TRUE(jpeg.Load(&jio));
  _typebuf<uint32_t> a, b;
  ASSERT_TRUE(d.GetPixels32(a));
  ASSERT_TRUE(jpeg.GetPixels32(b));
  ASSERT_EQ(a.count, b.count);
  EXPECT_EQ(0, memcmp(a.data, b.data, sizeof(uint32_t) * a.count));
  // Without previews such a file is not recognised.
  const auto lone = x3f_builder::Build({other});
  cBufWrapperIO io2(lone.data(), static_cast<uint32_t>(lone.size()));
  cPictX3F fresh;
  EXPECT_FALSE(fresh.ReadInfo(&io2, nullptr));
}

// The largest preview stands in for another format: when its JPEG holds no
// frame (tables only), nothing loads rather than an empty picture.
TEST(X3f, PreviewWithoutFrameLoadsNothing) {
  const sSection other{3, 35, 4000, 3000, std::vector<uint8_t>(16, 0)};
  const sSection empty{2, 18, 320, 213, {0xFF, 0xD8, 0xFF, 0xD9}};
  const auto bytes = x3f_builder::Build({Preview("preview_48x32.jpg", 48, 32), other, empty});
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictX3F d;
  EXPECT_FALSE(d.Load(&io));
  EXPECT_FALSE(d.HasPixels());
}

TEST(X3f, PreviewStandingInLoadsOnlyAtItsAnnouncedSize) {
  // ReadInfo announces the preview's header size; a JPEG of another size
  // fails the load rather than give a picture of another size.
  const sSection other{3, 35, 4000, 3000, std::vector<uint8_t>(16, 0)};
  struct {
    const char* name;
    uint32_t w, h;
    bool loads;
  } cases[] = {
      {"preview header as its JPEG", 320, 213, true},
      {"preview header narrower than its JPEG", 300, 213, false},
      {"preview header taller than its JPEG", 320, 400, false},
  };
  for (const auto& c : cases) {
    const auto bytes = x3f_builder::Build({other, Preview("preview_320x213.jpg", c.w, c.h)});
    if (!c.loads) twtest::DumpRawFixture("x3f", c.name, bytes);
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictX3F d;
    sPictInfo info;
    ASSERT_TRUE(d.ReadInfo(&io, &info)) << c.name;
    EXPECT_EQ(info.width, static_cast<int32_t>(c.w)) << c.name;
    EXPECT_EQ(info.height, static_cast<int32_t>(c.h)) << c.name;
    ASSERT_EQ(d.Load(&io), c.loads) << c.name;
    if (c.loads) {
      EXPECT_EQ(d.GetWidth(), info.width) << c.name;
      EXPECT_EQ(d.GetHeight(), info.height) << c.name;
    } else {
      EXPECT_FALSE(d.HasPixels()) << c.name;
    }
  }
}

TEST(X3f, PreviewChoice) {
  const auto bytes = x3f_builder::Build(
      {Preview("preview_1536x1024.jpg", 1536, 1024), Preview("preview_320x213.jpg", 320, 213), Format30(8, 4)});
  struct {
    int32_t boxW, boxH;
    int32_t w, h;
  } cases[] = {
      {640, 480, 320, 213},     // the largest area not above the box, unscaled
      {0, 0, 1536, 1024},       // no box: the largest as decoded
      {160, 0, 160, 107},       // width only: the largest, scaled to the width
      {100, 100, 100, 67},      // nothing fits: the largest, fitted
      {2000, 2000, 1536, 1024},
  };
  for (const auto& c : cases) {
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictX3F d;
    cPictDummy dest;
    int32_t w = c.boxW, h = c.boxH;
    ASSERT_TRUE(d.LoadPreview(&io, &dest, w, h)) << c.boxW << "x" << c.boxH;
    EXPECT_EQ(dest.GetWidth(), c.w) << c.boxW << "x" << c.boxH;
    EXPECT_EQ(dest.GetHeight(), c.h) << c.boxW << "x" << c.boxH;
  }
}

TEST(X3f, PreviewListPersistsBetweenCalls) {
  const auto a = x3f_builder::Build({Preview("preview_320x213.jpg", 320, 213), Preview("preview_213x320.jpg", 213, 320), Format30(8, 4)});
  const auto b = x3f_builder::Build({Preview("preview_48x32.jpg", 48, 32), Format30(8, 4)});
  cPictX3F d;
  cBufWrapperIO ia(a.data(), static_cast<uint32_t>(a.size()));
  ASSERT_TRUE(d.ReadInfo(&ia, nullptr));
  EXPECT_EQ(d.PreviewCount(), 1);  // equal areas: the first one met
  cBufWrapperIO ib(b.data(), static_cast<uint32_t>(b.size()));
  ASSERT_TRUE(d.ReadInfo(&ib, nullptr));
  EXPECT_EQ(d.PreviewCount(), 2);  // the first file's preview stays
  // So the second file's largest preview is the first file's entry, whose
  // window lies in the other file: it does not decode from this one.
  cPictDummy dest;
  int32_t w = 0, h = 0;
  EXPECT_FALSE(d.LoadPreview(&ib, &dest, w, h));
  cPictX3F fresh;
  EXPECT_TRUE(fresh.LoadPreview(&ib, &dest, w, h));
  EXPECT_EQ(dest.GetWidth(), 48);
  d.Reset();
  EXPECT_EQ(d.PreviewCount(), 0);
}

TEST(X3f, DirectoryBoundsAndMarks) {
  struct {
    uint32_t pad;
    bool ok;
  } pads[] = {{31, false}, {32, true}};  // directory at 39 or 40 with an empty directory
  for (const auto& p : pads) {
    // An empty directory right after the header and the padding: no raw
    // image, so only the offset check differs between the two.
    std::vector<uint8_t> bytes = {'F', 'O', 'V', 'b', 0, 0, 2, 0};
    bytes.resize(8 + p.pad, 0);
    const uint32_t dir = static_cast<uint32_t>(bytes.size());
    bytes.insert(bytes.end(), {'S', 'E', 'C', 'd', 0, 0, 2, 0, 1, 0, 0, 0});
    const auto raw = Format30(8, 4);
    // One raw entry pointing at a section placed after the directory.
    const uint32_t at = dir + 12 + 12 + 4;
    x3f_builder::L32(bytes, at);
    x3f_builder::L32(bytes, static_cast<uint32_t>(28 + raw.data.size()));
    bytes.insert(bytes.end(), {'I', 'M', 'A', 'G'});
    x3f_builder::L32(bytes, 0);  // placeholder, replaced by the section
    bytes.resize(at);
    bytes.insert(bytes.end(), {'S', 'E', 'C', 'i'});
    for (uint32_t v : {0x20000u, 3u, 30u, 8u, 4u, 32u}) x3f_builder::L32(bytes, v);
    bytes.insert(bytes.end(), raw.data.begin(), raw.data.end());
    x3f_builder::L32(bytes, dir);
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictX3F d;
    EXPECT_EQ(d.ReadInfo(&io, nullptr), p.ok) << dir;
  }
  auto bytes = x3f_builder::Build({Format30(8, 4)});
  bytes[40] = 'X';  // "SECi" of the raw section
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictX3F d;
  EXPECT_FALSE(d.ReadInfo(&io, nullptr));
  bytes[40] = 'S';
  bytes[0] = 'X';
  EXPECT_FALSE(d.ReadInfo(&io, nullptr));
}

}  // namespace
