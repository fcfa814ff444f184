// CR2: the directory walk and its checks, the raw data through slices,
// sRAW and the oldest models' layout, the black level measured on the
// masked area, and the mended faults (slices wider than the sensor, a
// slice tag longer than three values, a masked area beyond the raster).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "base/memio.h"
#include "picture/raw/pict_cr2.h"
#include "tests/picture/raw/cr2_builder.h"
#include "tests/support/test_support.h"

namespace {

using namespace cr2_test;

std::vector<uint16_t> Mosaic(int w, int h, int bits) {
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      v[static_cast<size_t>(y) * w + x] =
          static_cast<uint16_t>((x * 37 + y * 91 + (x & 1) * 300 + (y & 1) * 700) & ((1 << bits) - 1));
  return v;
}

// Two components side by side, as camera files carry sensor samples.
tBytes TwoComponentJpeg(const std::vector<uint16_t>& order, int frameWidth, int frameHeight, int bits) {
  sComponent a, b;
  for (size_t i = 0; i < order.size(); ++i) (i % 2 == 0 ? a : b).samples.push_back(order[i]);
  return LosslessJpeg(frameWidth, frameHeight, bits, {a, b});
}

sCr2Spec Sliced(int w, int h, int count, int sliceWidth, int last, const std::vector<uint16_t>& raster) {
  sCr2Spec s;
  s.modelId = 0x80000213;  // borders {90, 0, 34, 0}
  s.sensorWidth = static_cast<uint16_t>(w);
  s.sensorHeight = static_cast<uint16_t>(h);
  s.leftBorder = 90;
  if (count > 0) s.slices = {static_cast<uint16_t>(count), static_cast<uint16_t>(sliceWidth), static_cast<uint16_t>(last)};
  const std::vector<uint16_t> order = count > 0 ? SliceOrder(raster, w, h, count, sliceWidth, last) : raster;
  s.raw = TwoComponentJpeg(order, w / 2, h, 14);
  return s;
}

bool Info(const tBytes& file, sPictInfo& info) {
  cBufWrapperIO s(file.data(), static_cast<uint32_t>(file.size()));
  cPictCR2 cr2;
  return cr2.ReadInfo(&s, &info);
}

bool Decode(const tBytes& file, cPictCR2& cr2, sTiffStripData& sd) {
  cBufWrapperIO s(file.data(), static_cast<uint32_t>(file.size()));
  return cr2.DecodeRaw(&s, sd);
}

std::vector<uint16_t> RasterOf(const cPictCR2& cr2) {
  return std::vector<uint16_t>(cr2.Raster().data, cr2.Raster().data + cr2.Raster().count);
}

TEST(PictCR2, SlicedAndPlainRawData) {
  const int w = 160, h = 100;
  const std::vector<uint16_t> raster = Mosaic(w, h, 14);
  struct {
    int count, width, last;
  } cases[] = {{2, 48, 64}, {1, 80, 80}, {3, 40, 40}, {0, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " slices of " << c.width << " + " << c.last);
    const tBytes file = MakeCr2(Sliced(w, h, c.count, c.width, c.last, raster));
    sPictInfo info;
    ASSERT_TRUE(Info(file, info));
    EXPECT_EQ(info.width, w - 90);
    EXPECT_EQ(info.height, h - 34);
    EXPECT_FALSE(info.hasPreview);
    cPictCR2 cr2;
    sTiffStripData sd;
    ASSERT_TRUE(Decode(file, cr2, sd));
    EXPECT_EQ(cr2.SRawMode(), 0);
    EXPECT_EQ(cr2.Bits(), 14);
    EXPECT_EQ(sd.samplesPerPixel, 1);
    EXPECT_EQ(sd.bytesPerRow, 2 * w);
    EXPECT_EQ(sd.rows, h);
    EXPECT_EQ(RasterOf(cr2), raster);
    EXPECT_EQ(cr2.Borders().left, 90u);
    EXPECT_EQ(cr2.Borders().top, 34u);
  }
}

TEST(PictCR2, StructureChecks) {
  const std::vector<uint16_t> raster = Mosaic(160, 100, 14);
  auto with = [&](auto change) {
    sCr2Spec s = Sliced(160, 100, 2, 48, 64, raster);
    change(s);
    return MakeCr2(s);
  };
  struct {
    const char* what;
    tBytes file;
    bool accepted;
  } cases[] = {
      {"usual", with([](sCr2Spec&) {}), true},
      {"make CANONX", with([](sCr2Spec& s) { s.make = "CANONX"; }), true},
      {"make canon in lower case", with([](sCr2Spec& s) { s.make = "canon inc."; }), true},
      {"make of four letters", with([](sCr2Spec& s) { s.make = "Cano"; }), false},
      {"make Nikon", with([](sCr2Spec& s) { s.make = "Nikon"; }), false},
      {"model of only the five letters and the zero", with([](sCr2Spec& s) { s.model = "Canon"; }), true},
      {"model of five letters without terminator",
       with([](sCr2Spec& s) { s.model = "Canon"; s.modelTerminated = false; }), false},
      {"white balance only in 0x00A4",
       with([](sCr2Spec& s) { s.colourData = false; s.oldBalance = {1, 2, 3, 4}; }), false},
      {"no pixel width", with([](sCr2Spec& s) { s.pixelWidth = 0; }), false},
      {"no sensor width", with([](sCr2Spec& s) { s.sensorWidth = 0; }), false},
      {"no model id", with([](sCr2Spec& s) { s.modelId = 0; }), false},
      {"no JPEG frame", with([](sCr2Spec& s) { s.raw = tBytes(100, 0x55); }), false},
      {"big-endian file", with([](sCr2Spec& s) { s.bigEndian = true; }), true},
      // Slices together wider than the sensor (3 x 48 + 64 samples over
      // 160 columns is fine for sRAW's three samples a column, 3 x 200 not).
      {"slices wider than the sensor", with([](sCr2Spec& s) { s.slices = {3, 200, 200}; }), false},
      {"slices of width 0", with([](sCr2Spec& s) { s.slices = {2, 0, 64}; }), false},
  };
  for (const auto& c : cases) {
    sPictInfo info;
    EXPECT_EQ(Info(c.file, info), c.accepted) << c.what;
    cPictCR2 cr2;
    sTiffStripData sd;
    EXPECT_EQ(Decode(c.file, cr2, sd), c.accepted) << c.what;
  }
  // A four-component frame wider than the raster would divide by zero in
  // the row placement: the decode refuses it.
  const tBytes wide = with([](sCr2Spec& s) {
    s.slices.clear();
    std::vector<sComponent> comps(4);
    for (sComponent& c : comps) c.samples.assign(200 * 25, 7);
    s.raw = LosslessJpeg(200, 25, 14, comps);
  });
  cPictCR2 cr2;
  sTiffStripData sd;
  EXPECT_FALSE(Decode(wide, cr2, sd));
}

TEST(PictCR2, ModelNameAndLongSliceTag) {
  const std::vector<uint16_t> raster = Mosaic(160, 100, 14);
  sCr2Spec s = Sliced(160, 100, 2, 48, 64, raster);
  s.slices.push_back(999);  // a fourth value: ignored
  s.model = "Canon EOS 5D";
  const tBytes file = MakeCr2(s);
  cPictCR2 cr2;
  sTiffStripData sd;
  ASSERT_TRUE(Decode(file, cr2, sd));
  EXPECT_EQ(cr2.ModelName(), std::u16string(u"EOS 5D") + u'\0');
  EXPECT_EQ(RasterOf(cr2), raster);
  s.model = "Canon";
  ASSERT_TRUE(Decode(MakeCr2(s), cr2, sd));
  EXPECT_EQ(cr2.ModelName(), std::u16string(1, u'\0'));
}

TEST(PictCR2, SRawLayouts) {
  // An identity slice layout (one slice as wide as the picture) puts JPEG
  // pixel (row, column) at the same raster place.
  const int w = 8, h = 6;
  for (int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    sComponent y{2, mode == 1 ? 2 : 1, {}}, cb{1, 1, {}}, cr{1, 1, {}};
    std::vector<uint16_t> expect(static_cast<size_t>(w) * h * 3);
    auto put = [&](int row, int col, int c, uint16_t v) { expect[(static_cast<size_t>(row) * w + col) * 3 + c] = v; };
    const int mv = mode == 1 ? 2 : 1;
    for (int r = 0; r < h; r += mv)
      for (int m = 0; m < w / 2; ++m) {
        const uint16_t cbv = static_cast<uint16_t>(100 + r * 10 + m), crv = static_cast<uint16_t>(200 + r * 10 + m);
        for (int j = 0; j < mv; ++j)
          for (int k = 0; k < 2; ++k) {
            const uint16_t luma = static_cast<uint16_t>(5000 + (r + j) * 100 + 2 * m + k);
            y.samples.push_back(luma);
            put(r + j, 2 * m + k, 0, luma);
            put(r + j, 2 * m + k, 1, cbv);
            put(r + j, 2 * m + k, 2, crv);
          }
        cb.samples.push_back(static_cast<uint16_t>(cbv + 16384));
        cr.samples.push_back(static_cast<uint16_t>(crv + 16384));
      }
    sCr2Spec s;
    s.modelId = 0x80000999;  // unknown: no borders
    s.sensorWidth = w;
    s.sensorHeight = h;
    s.slices = {1, static_cast<uint16_t>(w * (mode == 1 ? 3 : 2)), static_cast<uint16_t>(w * (mode == 1 ? 3 : 2))};
    s.raw = LosslessJpeg(w, h, 15, {y, cb, cr});
    const tBytes file = MakeCr2(s);
    sPictInfo info;
    ASSERT_TRUE(Info(file, info));  // before the mode is known: the sensor less the borders
    cPictCR2 cr2;
    sTiffStripData sd;
    ASSERT_TRUE(Decode(file, cr2, sd)) ;
    EXPECT_EQ(cr2.SRawMode(), mode);
    EXPECT_EQ(sd.samplesPerPixel, 3);
    EXPECT_EQ(sd.bytesPerRow, 6 * w);
    EXPECT_EQ(RasterOf(cr2), expect);
  }
}

TEST(PictCR2, OldestModelLayout) {
  // Frame 10 x 8 with two components: a 40 x 8 raster read as 20 x 16.
  const int fw = 10, fh = 8;
  const std::vector<uint16_t> raster = Mosaic(4 * fw, fh, 12);
  sCr2Spec s;
  s.modelId = cPictCR2::kOldestA;
  s.oldest = true;
  s.sensorWidth = 1;
  s.sensorHeight = 1;
  s.colourData = false;
  s.oldBalance = {11, 22, 33, 44};
  s.raw = TwoComponentJpeg(raster, 2 * fw, fh, 12);
  const tBytes file = MakeCr2(s);
  sPictInfo info;
  ASSERT_TRUE(Info(file, info));
  EXPECT_EQ(info.width, 2 * fw);
  EXPECT_EQ(info.height, 2 * fh);
  EXPECT_FALSE(info.hasPreview);
  cPictCR2 cr2;
  sTiffStripData sd;
  ASSERT_TRUE(Decode(file, cr2, sd));
  EXPECT_EQ(cr2.SensorWidth(), 2u * fw);
  EXPECT_EQ(cr2.SensorHeight(), 2u * fh);
  EXPECT_EQ(RasterOf(cr2), raster);
  EXPECT_EQ(cr2.PatternColours()[0], 1);
  EXPECT_EQ(cr2.PatternColours()[1], 0);
  EXPECT_EQ(cr2.PatternColours()[2], 2);
  EXPECT_EQ(cr2.MakerNote().balance[0], 11);
  EXPECT_EQ(cr2.MakerNote().balance[3], 44);
  // Without the raw-data offset the file is refused.
  s.modelId = cPictCR2::kOldestB;
  s.oldest = false;
  EXPECT_FALSE(Info(MakeCr2(s), info));
}

// A raster whose masked area (columns 0-7, rows 0-7) holds one value per
// bucket.
sCr2Spec MaskFile(const uint16_t bucket[4], bool synthesised, uint16_t columnEnd, uint16_t rowEnd) {
  const int w = 40, h = 16;
  std::vector<uint16_t> raster(static_cast<size_t>(w) * h, 1000);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) raster[static_cast<size_t>(r) * w + c] = bucket[2 * (r % 2) + (c % 2)];
  sCr2Spec s;
  s.modelId = 0x80000999;
  s.sensorWidth = w;
  s.sensorHeight = h;
  if (synthesised) {
    s.leftBorder = 8;  // columns 2 to 6, rows 4 to 12
  } else {
    s.mask[0] = 0, s.mask[1] = 0, s.mask[2] = columnEnd, s.mask[3] = rowEnd;
  }
  s.raw = TwoComponentJpeg(raster, w / 2, h, 14);
  return s;
}

TEST(PictCR2, BlackLevelMeasurement) {
  const uint16_t spread[4] = {2048, 2050, 2047, 2080};
  const uint16_t close[4] = {2048, 2050, 2047, 2060};
  struct {
    const uint16_t* buckets;
    bool synthesised;
    uint16_t columnEnd, rowEnd;
    uint16_t level;
  } cases[] = {
      {spread, true, 0, 0, 0},         // 2080 lies 24 above 2056: no measurement
      {spread, false, 8, 8, 2056},     // given by the file: taken as it is
      {close, true, 0, 0, 2051},
      {spread, false, 9000, 9000, 2056},  // beyond the raster: clipped to it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "synthesised " << c.synthesised << " end " << c.columnEnd);
    cPictCR2 cr2;
    sTiffStripData sd;
    ASSERT_TRUE(Decode(MakeCr2(MaskFile(c.buckets, c.synthesised, c.columnEnd, c.rowEnd)), cr2, sd));
    EXPECT_EQ(cr2.MakerNote().maskSynthesised, c.synthesised);
    EXPECT_EQ(cr2.MeasureBlackLevel(sd), c.level);
  }
}

}  // namespace

namespace {

TEST(PictCR2, PreviewIsTheTiffThumbnail) {
  std::ifstream f(twtest::SourcePath("tests/picture/raw/data/cr3_preview.jpg"), std::ios::binary);
  const tBytes jpeg((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(jpeg.empty());
  const std::vector<uint16_t> raster = Mosaic(160, 100, 14);
  sCr2Spec s = Sliced(160, 100, 2, 48, 64, raster);
  s.thumbnail = jpeg;
  const tBytes file = MakeCr2(s);
  sPictInfo info;
  ASSERT_TRUE(Info(file, info));
  EXPECT_TRUE(info.hasPreview);
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictCR2 cr2;
  cPictDummy preview;
  int32_t w = 0, h = 0;
  ASSERT_TRUE(cr2.LoadPreview(&io, &preview, w, h));
  EXPECT_EQ(preview.GetWidth(), 24);
  EXPECT_EQ(preview.GetHeight(), 16);
  // Without a thumbnail there is no preview.
  s.thumbnail.clear();
  const tBytes bare = MakeCr2(s);
  cBufWrapperIO io2(bare.data(), static_cast<uint32_t>(bare.size()));
  cPictDummy none;
  EXPECT_FALSE(cr2.LoadPreview(&io2, &none, w, h));
}

}  // namespace
