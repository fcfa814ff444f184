// CRW: the CIFF heap walk and record processors, the white-balance entry
// choice, the raw data decoded through the block coding, and the mended
// faults (big-endian files, tiny heaps, pictures larger than the sensor,
// white-balance entries past their record).
#include <gtest/gtest.h>

#include <vector>

#include "base/memio.h"
#include "picture/raw/pict_crw.h"
#include "tests/picture/raw/canon_crw_encoder.h"
#include "tests/picture/raw/crw_builder.h"

namespace {

using namespace crw_test;

std::vector<uint16_t> SensorSamples(uint32_t w, uint32_t h, uint16_t top) {
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      v[y * w + x] = static_cast<uint16_t>((x * 7 + y * 11 + ((x ^ y) & 1) * 50 + (x * y) % 13) % top);
  return v;
}

bool Read(const tBytes& file, sPictInfo& info) {
  cBufWrapperIO s(file.data(), static_cast<uint32_t>(file.size()));
  return cPictCRW::Detect(&s, &info);
}

bool Decode(const tBytes& file, cPictCRW& crw) {
  cBufWrapperIO s(file.data(), static_cast<uint32_t>(file.size()));
  return crw.DecodeRaster(&s);
}

TEST(PictCRW, ReadInfoReportsSizeAndPreview) {
  sCrwSpec spec;
  spec.raw = tBytes(100, 0);
  sPictInfo info;
  ASSERT_TRUE(Read(CrwCamera(spec), info));
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 32);
  EXPECT_FALSE(info.hasPreview);
  spec.jpeg = {0xFF, 0xD8, 0xFF, 0xD9};
  ASSERT_TRUE(Read(CrwCamera(spec), info));
  EXPECT_TRUE(info.hasPreview);
  // Without a preview the preview load fails.
  spec.jpeg.clear();
  const tBytes file = CrwCamera(spec);
  cBufWrapperIO s(file.data(), static_cast<uint32_t>(file.size()));
  cPictCRW crw;
  cPictDummy out;
  int32_t w = 0, h = 0;
  EXPECT_FALSE(crw.LoadPreview(&s, &out, w, h));
}

// A preview record whose JPEG has no frame (SOI, EOI) is no preview: the
// load fails and leaves the destination without pixels.
TEST(PictCRW, PreviewWithoutFrameDoesNotLoad) {
  sCrwSpec spec;
  spec.raw = tBytes(100, 0);
  spec.jpeg = {0xFF, 0xD8, 0xFF, 0xD9};
  const tBytes file = CrwCamera(spec);
  cBufWrapperIO s(file.data(), static_cast<uint32_t>(file.size()));
  cPictCRW crw;
  cPictDummy out;
  int32_t w = 0, h = 0;
  EXPECT_FALSE(crw.LoadPreview(&s, &out, w, h));
  EXPECT_FALSE(out.HasPixels());
}

TEST(PictCRW, RawDataMatchesTheGenerator) {
  struct {
    uint32_t modelId;
    uint32_t table;
    uint32_t skip;
    bool lowBits;
  } cases[] = {
      {0x80000168, 0, 0, true},   {0x01140000, 1, 0, true},  {0x01100000, 2, 0, false},
      {0x80000236, 0, 12, false}, {0x01668000, 2, 5, true},  {0x02230000, 9, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.modelId << " table " << c.table);
    sCrwSpec spec;
    spec.modelId = c.modelId;
    spec.tableIndex = c.table;
    spec.dataSkip = c.skip;
    const std::vector<uint16_t> samples = SensorSamples(spec.sensorWidth, spec.sensorHeight, c.lowBits ? 4096 : 1024);
    spec.raw = canon_test::EncodeCanonCompressed(samples, c.lowBits, spec.sensorWidth, static_cast<int32_t>(c.table));
    cPictCRW crw;
    ASSERT_TRUE(Decode(CrwCamera(spec), crw));
    EXPECT_EQ(crw.LowBits(), c.lowBits);
    ASSERT_EQ(crw.Raster().count, static_cast<int32_t>(samples.size()));
    EXPECT_EQ(std::vector<uint16_t>(crw.Raster().data, crw.Raster().data + crw.Raster().count), samples);
    EXPECT_EQ(crw.Facts().left, 4u);
    EXPECT_EQ(crw.Facts().top, 2u);
  }
}

TEST(PictCRW, WhiteBalanceEntry) {
  struct {
    int32_t setting;  // -1: no shot info
    bool shotFirst;
    int32_t tableSize;  // -1: ten whole entries
    uint32_t entry;
  } cases[] = {
      {3, true, -1, 3},   {14, true, -1, 1},  {12, true, -1, 6},  {9, true, -1, 9},  {-1, true, -1, 1},
      {3, false, -1, 1},                       // table before the shot info: default index 1
      {3, true, 26, 0},                        // entry 3 would end at byte 34 of 26: entry 0
      {3, true, 34, 3},                        // exactly inside
      {4, true, 26, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "setting " << c.setting << " size " << c.tableSize);
    sCrwSpec spec;
    spec.wbSetting = c.setting;
    spec.shotInfoFirst = c.shotFirst;
    spec.wbTableSize = c.tableSize;
    spec.raw = tBytes(64, 0);
    cPictCRW crw;
    ASSERT_TRUE(Decode(CrwCamera(spec), crw));
    EXPECT_EQ(crw.Facts().wbLevels[0], 100 + c.entry);
    EXPECT_EQ(crw.Facts().wbLevels[3], 400 + c.entry);
  }
}

TEST(PictCRW, RefusedFiles) {
  auto with = [](auto change) {
    sCrwSpec spec;
    spec.raw = tBytes(64, 0);
    change(spec);
    return CrwCamera(spec);
  };
  tBytes mm = with([](sCrwSpec&) {});
  mm[0] = mm[1] = 'M';
  tBytes badSig = with([](sCrwSpec&) {});
  badSig[8] = 'X';
  struct {
    const char* what;
    tBytes file;
    bool probe;  // ReadInfo's answer; the full read always refuses
  } cases[] = {
      {"MM byte order", mm, false},
      {"signature", badSig, false},
      {"image info of 27 bytes", with([](sCrwSpec& s) { s.imageInfoSize = 27; }), false},
      {"image info of 29 bytes", with([](sCrwSpec& s) { s.imageInfoSize = 29; }), false},
      {"zero width", with([](sCrwSpec& s) { s.width = 0; }), false},
      {"wider than the sensor less its border", with([](sCrwSpec& s) { s.width = 69; }), true},
      {"taller than the sensor less its border", with([](sCrwSpec& s) { s.height = 35; }), true},
      {"zero model id", with([](sCrwSpec& s) { s.modelId = 0; }), true},
      {"zero sensor", with([](sCrwSpec& s) { s.sensorWidth = 0; }), true},
      {"skip past the raw data", with([](sCrwSpec& s) { s.dataSkip = 100; s.fillerSize = 0; s.raw = tBytes(99, 0); }), true},
      {"negative table index", with([](sCrwSpec& s) { s.tableIndex = 0xFFFFFFFF; }), true},
      {"only a header", CrwFile({}), false},
      {"root heap of 3 bytes", CrwFile({1, 2, 3}), false},
      {"empty record table", CrwFile(cHeap().Build()), false},
      {"table offset past the heap", CrwFile(cHeap().Data(0x2005, tBytes(4)).ForceTableOffset(5000).Build()), false},
      {"location 2", CrwFile(cHeap().RawTag(0x8000 | 0x2005).Build()), false},
      {"type 7", CrwFile(cHeap().RawTag(0x3800).Build()), false},
      {"raw data in the record", CrwFile(cHeap().Inline(0x2005, 1, 2).Build()), false},
  };
  for (const auto& c : cases) {
    sPictInfo info;
    EXPECT_EQ(Read(c.file, info), c.probe) << c.what;
    cPictCRW crw;
    EXPECT_FALSE(Decode(c.file, crw)) << c.what;
  }
  // The image exactly as large as the sensor less its left and top borders
  // is accepted.
  cPictCRW crw;
  EXPECT_TRUE(Decode(with([](sCrwSpec& s) { s.width = 68; s.height = 34; }), crw));
}

TEST(PictCRW, NestedHeapsReadThroughTheirWindows) {
  // A model id record in the heap (not in the record) is refused; a props
  // heap record that points past its heap fails the read.
  cHeap exif;
  exif.Data(0x1834, Le32s({0x80000168, 0}));
  cHeap props;
  props.Data(0x1810, Le32s({64, 32, 0, 0, 0, 0, 0})).Data(0x300B, exif.Build());
  cHeap root;
  root.Data(0x2005, tBytes(64, 0)).Data(0x300A, props.Build());
  cPictCRW crw;
  sPictInfo info;
  const tBytes file = CrwFile(root.Build());
  EXPECT_TRUE(Read(file, info));  // the probe stops before the EXIF heap
  EXPECT_FALSE(Decode(file, crw));
}

}  // namespace
