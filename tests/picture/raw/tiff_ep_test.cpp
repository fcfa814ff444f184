// TIFF/EP: plain, 8-bit, grouped 12-bit and lossless JPEG sensors read
// back sample for sample; the standard id is required; images are the
// sub-IFDs; the preview is the main page.
#include <gtest/gtest.h>

#include <functional>

#include "picture/raw/pict_tiff_ep.h"
#include "tests/picture/raw/raw_test_util.h"
#include "tests/support/raw_fixture.h"

namespace {

sTiffEpFile BaseEp(int32_t bits = 16) {
  sTiffEpFile f;
  f.tiff.make = "NIKON";
  f.tiff.model = "E5700";
  f.tiff.sensor.bits = bits;
  f.tiff.sensor.samples = SyntheticMosaic(64, 48, bits, 9);
  return f;
}

TEST(RawTiffEp, EveryCodingReadsBackTheSensor) {
  struct sCase {
    const char* what;
    int32_t bits;
    uint16_t compression;
    int32_t rowsPerStrip, tileW, tileH;
    bool bigEndian;
  };
  const sCase cases[] = {
      {"16-bit", 16, 1, 0, 0, 0, false},
      {"16-bit big-endian strips", 16, 1, 12, 0, 0, true},
      {"8-bit: plain values", 8, 1, 0, 0, 0, false},
      {"grouped 12-bit", 12, 32769, 0, 0, 0, true},
      {"grouped 12-bit strips", 12, 32769, 8, 0, 0, false},
      {"lossless JPEG", 16, 7, 0, 0, 0, false},
      {"lossless JPEG tiles", 12, 7, 0, 32, 16, false},
      {"uncompressed tiles", 16, 1, 0, 16, 16, true},
  };
  for (const sCase& c : cases) {
    sTiffEpFile f = BaseEp(c.bits);
    f.tiff.bigEndian = c.bigEndian;
    f.tiff.sensor.compression = c.compression;
    f.tiff.sensor.rowsPerStrip = c.rowsPerStrip;
    f.tiff.sensor.tileWidth = c.tileW;
    f.tiff.sensor.tileHeight = c.tileH;
    const std::vector<uint8_t> bytes = MakeTiffEp(f);
    sPictInfo info;
    std::unique_ptr<cPictBase> d = Probe(bytes, &info);
    ASSERT_NE(d, nullptr) << c.what;
    EXPECT_EQ(d->GetFormat(), kPictFormatTIFF_EP) << c.what;
    EXPECT_EQ(info.width, 64) << c.what;
    EXPECT_TRUE(info.hasPreview) << c.what;
    cFrameCatcher catcher;
    ASSERT_TRUE(LoadWith(*d, bytes)) << c.what;
    std::vector<uint16_t> expect = ExpectedRaster(f.tiff.sensor, false);
    // Grouped 12-bit samples stay 12-bit values.
    if (c.compression == 32769) expect.assign(f.tiff.sensor.samples.begin(), f.tiff.sensor.samples.end());
    EXPECT_EQ(catcher.frame.samples, expect) << c.what;
    EXPECT_EQ(d->GetWidth(), 64) << c.what;
    EXPECT_EQ(d->GetHeight(), 48) << c.what;
    EXPECT_TRUE(AllOpaque(*d)) << c.what;
  }
}

TEST(RawTiffEp, WithoutStandardIdThePlainTiffReaderTakesIt) {
  sTiffEpFile f = BaseEp();
  f.writeStandardId = false;
  const std::vector<uint8_t> bytes = MakeTiffEp(f);
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_FALSE(cPictTIFF_EP::Detect(&io, nullptr));
  std::unique_ptr<cPictBase> d = Probe(bytes, nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->GetFormat(), kPictFormatTIFF);
  // And a plain TIFF is taken by no camera probe.
  sTiffImage im;
  im.width = 4;
  im.height = 2;
  im.samples = 1;
  im.strips = {std::vector<uint8_t>(8, 7)};
  const std::vector<uint8_t> plain = MakeTiff(im);
  std::unique_ptr<cPictBase> p = Probe(plain, nullptr);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetFormat(), kPictFormatTIFF);
}

TEST(RawTiffEp, ImagesAreTheSubIfds) {
  sTiffEpFile f = BaseEp();
  sRawSensor second = f.tiff.sensor;
  second.width = 32;
  second.height = 24;
  second.samples = SyntheticMosaic(32, 24, 16, 2);
  second.pattern = {1, 2, 0, 1};
  f.moreSensors = {second};
  const std::vector<uint8_t> bytes = MakeTiffEp(f);
  cPictTIFF_EP ep;
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_EQ(ep.GetImageCount(&io), 2);
  int32_t w = 0, h = 0;
  ASSERT_TRUE(ep.GetImageInfo(&io, 1, w, h));
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 24);
  EXPECT_FALSE(ep.GetImageInfo(&io, 2, w, h));
  cFrameCatcher catcher;
  ASSERT_TRUE(ep.LoadImage(&io, 1));
  EXPECT_EQ(catcher.frame.samples, second.samples);
  EXPECT_EQ(ep.GetWidth(), 32);
  // The preview is the main page.
  cPictDummy out;
  int32_t mw = 8, mh = 8;
  ASSERT_TRUE(ep.LoadPreview(&io, &out, mw, mh));
  EXPECT_EQ(out.GetWidth(), 8);
  EXPECT_EQ(out.GetHeight(), 6);
}

TEST(RawTiffEp, GroupedTwelveBitUnpacking) {
  // 16 bytes give 10 samples; the sixteenth byte is skipped.
  std::vector<uint8_t> in = {0x12, 0x34, 0x56, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD, 0xEE};
  _typebuf<uint16_t> out;
  UnpackGrouped12(in.data(), 16, out);
  ASSERT_EQ(out.count, 10);
  EXPECT_EQ(out.data[0], 0x123);
  EXPECT_EQ(out.data[1], 0x456);
  EXPECT_EQ(out.data[9], 0xBCD);
  in.push_back(0x98);
  in.push_back(0x76);
  in.push_back(0x54);
  UnpackGrouped12(in.data(), 19, out);
  ASSERT_EQ(out.count, 11);
  EXPECT_EQ(out.data[10], 0x987);
}

TEST(RawTiffEp, BrokenSensorsFail) {
  struct sCase {
    const char* what;
    std::function<void(sTiffEpFile&)> change;
  };
  const sCase cases[] = {
      {"grouped data that is not 12-bit", [](sTiffEpFile& f) {
         f.tiff.sensor.compression = 32769;
         f.tiff.sensor.bits = 16;
       }},
      {"lossless JPEG cut short", [](sTiffEpFile& f) {
         f.tiff.sensor.compression = 7;
         f.tiff.extraTags = [](cTiffBuilder& b, int, int raw) { b.AddLong(raw, 279, 40); };
       }},
      {"strip beyond the file", [](sTiffEpFile& f) {
         f.tiff.extraTags = [](cTiffBuilder& b, int, int raw) { b.AddLong(raw, 273, 0x7FFFFFF0); };
       }},
  };
  for (const sCase& c : cases) {
    sTiffEpFile f = BaseEp();
    c.change(f);
    const std::vector<uint8_t> bytes = MakeTiffEp(f);
    cPictTIFF_EP ep;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_FALSE(ep.Load(&io)) << c.what;
  }
}

}  // namespace
