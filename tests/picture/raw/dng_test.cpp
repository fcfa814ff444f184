// DNG and 3FR: every sensor coding comes back sample for sample through
// the frame hook, crops give the borders the tags say, the probes keep DNG
// and 3FR apart, previews fit, and broken files fail cleanly.
#include <gtest/gtest.h>

#include <functional>

#include "picture/raw/pict_dng.h"
#include "tests/picture/raw/raw_test_util.h"
#include "tests/support/raw_fixture.h"

namespace {

sDngFile BaseDng(int32_t w = 64, int32_t h = 48, int32_t bits = 16) {
  sDngFile f;
  f.tiff.make = "Canon";
  f.tiff.model = "Canon EOS 5D Mark IV";
  f.tiff.sensor.width = w;
  f.tiff.sensor.height = h;
  f.tiff.sensor.bits = bits;
  f.tiff.sensor.samples = SyntheticMosaic(w, h, bits, 5);
  return f;
}

TEST(RawDng, EveryCodingReadsBackTheSensor) {
  struct sCase {
    const char* what;
    int32_t width, height, bits;
    uint16_t compression;
    int32_t rowsPerStrip, tileW, tileH, components, restart;
    bool bigEndian, inIfd0;
  };
  const sCase cases[] = {
      {"16-bit strip", 64, 48, 16, 1, 0, 0, 0, 0, 0, false, false},
      {"16-bit big-endian strips", 64, 48, 16, 1, 10, 0, 0, 0, 0, true, false},
      {"8-bit", 64, 48, 8, 1, 0, 0, 0, 0, 0, false, false},
      {"12-bit packed", 64, 48, 12, 1, 16, 0, 0, 0, 0, true, false},
      {"14-bit packed", 64, 48, 14, 1, 0, 0, 0, 0, 0, false, false},
      {"uncompressed tiles", 64, 48, 16, 1, 0, 32, 16, 0, 0, false, false},
      {"lossless JPEG strips", 64, 48, 16, 7, 16, 0, 0, 2, 0, false, false},
      {"lossless JPEG tiles", 64, 48, 14, 7, 0, 32, 16, 2, 0, false, false},
      {"lossless JPEG, one component, restarts", 64, 48, 12, 7, 0, 0, 0, 1, 64, true, false},
      {"lossless JPEG, four components", 64, 48, 16, 7, 0, 0, 0, 4, 0, false, false},
      {"raw in IFD0", 64, 48, 16, 1, 0, 0, 0, 0, 0, false, true},
      {"raw in IFD0, lossless JPEG", 64, 48, 16, 7, 0, 0, 0, 2, 0, false, true},
      {"width not a multiple of 4", 66, 48, 16, 1, 0, 0, 0, 0, 0, false, false},
  };
  for (const sCase& c : cases) {
    sDngFile f = BaseDng(c.width, c.height, c.bits);
    f.tiff.bigEndian = c.bigEndian;
    f.tiff.sensorInIfd0 = c.inIfd0;
    f.tiff.sensor.compression = c.compression;
    f.tiff.sensor.rowsPerStrip = c.rowsPerStrip;
    f.tiff.sensor.tileWidth = c.tileW;
    f.tiff.sensor.tileHeight = c.tileH;
    f.tiff.sensor.ljpegComponents = c.components;
    f.tiff.sensor.restartInterval = c.restart;
    const std::vector<uint8_t> bytes = MakeDng(f);
    sPictInfo info;
    std::unique_ptr<cPictBase> d = Probe(bytes, &info);
    ASSERT_NE(d, nullptr) << c.what;
    EXPECT_EQ(d->GetFormat(), kPictFormatDNG) << c.what;
    EXPECT_EQ(info.width, c.width & ~3) << c.what;
    EXPECT_EQ(info.height, c.height) << c.what;
    EXPECT_EQ(info.hasPreview, !c.inIfd0) << c.what;
    cFrameCatcher catcher;
    ASSERT_TRUE(LoadWith(*d, bytes)) << c.what;
    EXPECT_EQ(catcher.frame.width, c.width & ~3) << c.what;
    EXPECT_EQ(catcher.frame.height, c.height) << c.what;
    EXPECT_EQ(catcher.frame.samples, ExpectedRaster(f.tiff.sensor, true)) << c.what;
    EXPECT_EQ(d->GetWidth(), c.width & ~3) << c.what;
    EXPECT_EQ(d->GetHeight(), c.height) << c.what;
    EXPECT_TRUE(d->IsHighDepth()) << c.what;
    EXPECT_TRUE(AllOpaque(*d)) << c.what;
  }
}

TEST(RawDng, CropTagsGiveTheBorders) {
  struct sCase {
    const char* what;
    std::vector<uint8_t> version;
    std::vector<uint32_t> origin, size, active;
    int32_t left, right, top, bottom;
  };
  const sCase cases[] = {
      {"origin (7, 3), DNG 1.3", {1, 3, 0, 0}, {7, 3}, {40, 30}, {}, 8, 64 - 40 - 8, 4, 48 - 30 - 3},
      {"origin (7, 3), DNG 1.4", {1, 4, 0, 0}, {7, 3}, {40, 30}, {}, 8, 64 - 40 - 8, 3, 48 - 30 - 3},
      {"active area from 0", {1, 4, 0, 0}, {}, {}, {0, 0, 48, 64}, 0, 0, 0, 0},
      {"active area inside", {1, 3, 0, 0}, {}, {}, {10, 20, 40, 60}, 20, 4, 10, 8},
      {"crop larger than the frame", {1, 4, 0, 0}, {2, 2}, {100, 100}, {}, 2, 0, 2, 0},
  };
  for (const sCase& c : cases) {
    sDngFile f = BaseDng();
    f.version = c.version;
    f.cropOrigin = c.origin;
    f.cropSize = c.size;
    f.activeArea = c.active;
    const std::vector<uint8_t> bytes = MakeDng(f);
    cPictDNG dng;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(dng.ReadInfo(&io, nullptr)) << c.what;
    sRawBorders b;
    ASSERT_TRUE(dng.CropBorders(64, 48, b)) << c.what;
    EXPECT_EQ(b.left, c.left) << c.what;
    EXPECT_EQ(b.right, c.right) << c.what;
    EXPECT_EQ(b.top, c.top) << c.what;
    EXPECT_EQ(b.bottom, c.bottom) << c.what;
    ASSERT_TRUE(dng.Load(&io)) << c.what;
    EXPECT_EQ(dng.GetWidth(), 64 - c.left - c.right) << c.what;
    EXPECT_EQ(dng.GetHeight(), 48 - c.top - c.bottom) << c.what;
  }
}

TEST(RawDng, CropThatLeavesNothingFailsAndTheFactoryFallsThrough) {
  // Origin 62 (raised to an even 62) with a width of 2: nothing is cut on
  // the right, but the top border of 47 plus a bottom of 0 leaves a row;
  // an origin beyond the frame counts as 0. A crop size with its origin at
  // the right edge leaves left + right = width: refused by the frame check.
  sDngFile f = BaseDng();
  f.cropOrigin = {63, 0};
  f.cropSize = {1, 48};
  const std::vector<uint8_t> bytes = MakeDng(f);
  cPictDNG dng;
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_FALSE(dng.Load(&io));
  // The factory goes on: the file is a valid TIFF whose first page is the
  // preview.
  std::unique_ptr<cPictBase> any = Probe(bytes, nullptr);
  ASSERT_NE(any, nullptr);
  EXPECT_EQ(any->GetFormat(), kPictFormatTIFF);
  EXPECT_EQ(any->GetWidth(), 16);
}

TEST(RawDng, LevelsNeutralAndBlack) {
  // Black as a rational with denominator 0 counts as 0 and loads.
  sDngFile f = BaseDng();
  f.writeBlack = true;
  f.blackRational = true;
  f.black = 500;
  f.blackDenominator = 0;
  {
    const std::vector<uint8_t> bytes = MakeDng(f);
    cPictDNG dng;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(dng.Load(&io));
    EXPECT_EQ(dng.BlackLevel(), 0u);
  }
  // A zero AsShotNeutral numerator fails the walk.
  f = BaseDng();
  f.asShotNeutral = {{0, 1}, {1, 1}, {1, 1}};
  {
    const std::vector<uint8_t> bytes = MakeDng(f);
    cPictDNG dng;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_FALSE(dng.ReadInfo(&io, nullptr));
  }
  // Reciprocals; with the raw data in IFD0 they are kept for the Load.
  f = BaseDng();
  f.tiff.sensorInIfd0 = true;
  f.asShotNeutral = {{1, 2}, {1, 1}, {4, 5}};
  {
    const std::vector<uint8_t> bytes = MakeDng(f);
    cPictDNG dng;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(dng.Load(&io));
    ASSERT_EQ(dng.Neutral().size(), 3u);
    EXPECT_DOUBLE_EQ(dng.Neutral()[0], 2.0);
    EXPECT_DOUBLE_EQ(dng.Neutral()[2], 1.25);
    EXPECT_EQ(dng.DngVersion(), 0x01040000u);
  }
}

TEST(RawDng, MalformedTagsFailTheWalk) {
  struct sCase {
    const char* what;
    std::function<void(sDngFile&)> change;
  };
  const sCase cases[] = {
      {"no DNGVersion", [](sDngFile& f) { f.version.clear(); }},
      {"short DNGVersion", [](sDngFile& f) { f.version = {1, 4, 0}; }},
      {"version below 1.0", [](sDngFile& f) { f.version = {0, 9, 0, 0}; }},
      {"pattern count not rows x columns",
       [](sDngFile& f) { f.tiff.sensor.pattern = {0, 1, 1}; }},
      {"pattern dimension of three values",
       [](sDngFile& f) {
         f.tiff.extraTags = [](cTiffBuilder& b, int, int raw) { b.AddShorts(raw, 33421, {2, 2, 2}); };
       }},
      {"zero crop size", [](sDngFile& f) { f.cropSize = {0, 10}; }},
      {"crop size of one value", [](sDngFile& f) { f.cropSize = {10}; }},
  };
  for (const sCase& c : cases) {
    sDngFile f = BaseDng();
    c.change(f);
    const std::vector<uint8_t> bytes = MakeDng(f);
    cPictDNG dng;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_FALSE(dng.ReadInfo(&io, nullptr)) << c.what;
    EXPECT_FALSE(dng.Load(&io)) << c.what;
  }
}

TEST(RawDng, ThreeFRAndDngProbesStayApart) {
  sDngFile f = BaseDng();
  f.tiff.make = "Hasselblad";
  const std::vector<uint8_t> dngBytes = MakeDng(f);
  cBufWrapperIO io(dngBytes.data(), static_cast<uint32_t>(dngBytes.size()));
  EXPECT_FALSE(cPict3FR::Detect(&io, nullptr));
  EXPECT_TRUE(cPictDNG::Detect(&io, nullptr));
  std::unique_ptr<cPictBase> d = Probe(dngBytes, nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->GetFormat(), kPictFormatDNG);

  // A 3FR is not taken for a DNG by its own probe order, and its strips
  // without pattern develop as red, green / green, blue.
  sDngFile t = BaseDng();
  t.tiff.make = "Hasselblad";
  t.tiff.model = "H6D-100c";
  t.tiff.sensor.writePattern = false;
  const std::vector<uint8_t> fr = Make3FR(t);
  sPictInfo info;
  std::unique_ptr<cPictBase> p = Probe(fr, &info);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetFormat(), kPictFormat3FR);
  cFrameCatcher catcher;
  ASSERT_TRUE(LoadWith(*p, fr));
  EXPECT_EQ(catcher.frame.samples, ExpectedRaster(t.tiff.sensor, true));
  // Another maker's name refuses the 3FR probe.
  t.tiff.make = "Hassel";
  const std::vector<uint8_t> other = Make3FR(t);
  cBufWrapperIO io2(other.data(), static_cast<uint32_t>(other.size()));
  EXPECT_FALSE(cPict3FR::Detect(&io2, nullptr));
}

TEST(RawDng, ThreeFRScanRoundTrip) {
  for (int bits : {12, 16}) {
    sDngFile t = BaseDng(64, 48, bits);
    t.tiff.make = "Hasselblad";
    t.tiff.sensor.compression = 7;
    if (bits == 16) {
      t.tiff.sensor.samples[0] = 0;
      t.tiff.sensor.samples[1] = 0xFFFF;
      t.tiff.sensor.samples[2] = 0x8000;
    }
    const std::vector<uint8_t> fr = Make3FR(t);
    std::unique_ptr<cPictBase> p = Probe(fr, nullptr);
    ASSERT_NE(p, nullptr) << bits;
    cFrameCatcher catcher;
    cPict3FR dec;
    ASSERT_TRUE(LoadWith(dec, fr)) << bits;
    EXPECT_EQ(catcher.frame.samples, ExpectedRaster(t.tiff.sensor, true)) << bits;
  }
}

TEST(RawDng, ReadInfoThenLoadOnOneDecoderAndImages) {
  sDngFile f = BaseDng();
  const std::vector<uint8_t> bytes = MakeDng(f);
  cPictDNG dng;
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  sPictInfo info;
  ASSERT_TRUE(dng.ReadInfo(&io, &info));
  ASSERT_TRUE(dng.Load(&io));
  EXPECT_EQ(dng.GetWidth(), 64);
  EXPECT_EQ(dng.GetImageCount(&io), 1);
  int32_t w = 0, h = 0;
  ASSERT_TRUE(dng.GetImageInfo(&io, 0, w, h));
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);
  EXPECT_FALSE(dng.GetImageInfo(&io, 1, w, h));
  EXPECT_FALSE(dng.LoadImage(&io, -1));
}

TEST(RawDng, PreviewIsTheMainPageFitted) {
  sDngFile f = BaseDng();
  const std::vector<uint8_t> bytes = MakeDng(f);
  cPictDNG dng;
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  struct sCase {
    int32_t maxW, maxH, w, h;
  };
  // The preview is 16 x 12: s = min(maxH / 12, maxW / 16, 1).
  const sCase cases[] = {{0, 0, 16, 12}, {16, 12, 16, 12}, {100, 100, 16, 12}, {8, 8, 8, 6}, {16, 3, 4, 3},
                         {5, 100, 5, 4}};
  for (const sCase& c : cases) {
    cPictDummy out;
    int32_t w = c.maxW, h = c.maxH;
    ASSERT_TRUE(dng.LoadPreview(&io, &out, w, h)) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(out.GetWidth(), c.w) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(out.GetHeight(), c.h) << c.maxW << "x" << c.maxH;
  }
  // Fitted loading goes through the preview.
  cPictDummy fitted;
  EXPECT_TRUE(dng.LoadImageFitted(&io, &fitted, 8, 8, 0, true, 0));
  EXPECT_EQ(fitted.GetWidth(), 8);
}

TEST(RawDng, LinearRawIsWhiteBalancedAndToneMapped) {
  // Three 16-bit samples per pixel, photometric LinearRaw, in IFD0.
  cTiffBuilder b(false, false);
  const int ifd0 = b.AddIfd();
  b.AddBytes(ifd0, 50706, 1, {1, 4, 0, 0});
  b.AddRationals(ifd0, 50728, {{1, 2}, {1, 1}, {1, 2}});
  sTiffImage im;
  im.width = 8;
  im.height = 4;
  im.samples = 3;
  im.bits = 16;
  im.photometric = 34892;
  std::vector<uint8_t> data;
  for (int i = 0; i < 8 * 4; ++i)
    for (uint16_t v : {uint16_t(1000 + 50 * i), uint16_t(2000 + 50 * i), uint16_t(3000)}) {
      data.push_back(static_cast<uint8_t>(v));
      data.push_back(static_cast<uint8_t>(v >> 8));
    }
  im.strips = {data};
  AddTiffImage(b, ifd0, im);
  const std::vector<uint8_t> bytes = b.Build();
  std::unique_ptr<cPictBase> d = Probe(bytes, nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->GetFormat(), kPictFormatDNG);
  EXPECT_EQ(d->GetWidth(), 8);
  EXPECT_TRUE(d->IsHighDepth());
}

TEST(RawDng, ClosedStreamStopsTheLoad) {
  const std::vector<uint8_t> bytes = MakeDng(BaseDng());
  // A stream that reports itself closed once the sensor has been read: the
  // development stops at its first progress report.
  class cClosingIO : public cBufWrapperIO {
  public:
    using cBufWrapperIO::cBufWrapperIO;
    bool IsOpen() override { return reads < 12; }
    uint32_t Read(void* d, uint32_t n) override {
      ++reads;
      return cBufWrapperIO::Read(d, n);
    }
    int reads = 0;
  };
  cClosingIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictDNG dng;
  EXPECT_FALSE(dng.Load(&io));
  EXPECT_FALSE(dng.IsHighDepth() && dng.HasPixels());
}

TEST(RawDng, RowsNoStripReachedAreZero) {
  // Two strips of 16 rows for a picture that says 48 rows.
  sDngFile f = BaseDng(64, 32, 16);
  f.tiff.sensor.rowsPerStrip = 16;
  f.tiff.extraTags = [](cTiffBuilder& b, int, int raw) { b.AddLong(raw, 257, 48); };
  const std::vector<uint8_t> bytes = MakeDng(f);
  cPictDNG dng;
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cFrameCatcher catcher;
  ASSERT_TRUE(dng.Load(&io));
  ASSERT_EQ(catcher.frame.height, 48);
  const std::vector<uint16_t> top(catcher.frame.samples.begin(), catcher.frame.samples.begin() + 64 * 32);
  EXPECT_EQ(top, f.tiff.sensor.samples);
  for (size_t i = 64 * 32; i < catcher.frame.samples.size(); ++i) ASSERT_EQ(catcher.frame.samples[i], 0) << i;
}

}  // namespace
