// The lossless JPEG test encoder against the library's camera-raw reader:
// every layout the camera decoders use comes back sample for sample.
#include <gtest/gtest.h>

#include <vector>

#include "base/memio.h"
#include "picture/jpeg_raw_lossless.h"
#include "tests/support/ljpeg_encoder.h"
#include "tests/support/raw_fixture.h"

namespace {

std::vector<uint16_t> Decode(const std::vector<uint8_t>& jpeg, uint32_t rw, uint32_t rh, int field = 0,
                             const uint32_t* slices = nullptr) {
  cRAWLosslessJpeg dec;
  if (slices != nullptr) {
    dec.SetSliceLayout(rw, rh, slices[0], slices[1], slices[2]);
  } else {
    dec.SetRasterSize(rw, rh);
    dec.SetFieldOrder(field);
  }
  cBufWrapperIO io(jpeg.data(), static_cast<uint32_t>(jpeg.size()));
  if (!dec.Decode(&io)) return {};
  _typebuf<uint16_t> out;
  if (!dec.TakeOutput(out)) return {};
  return std::vector<uint16_t>(out.data, out.data + out.count);
}

TEST(LjpegKit, RoundTripsComponentsPrecisionsAndRestarts) {
  struct sCase {
    int components, width, height, precision, restart;
  };
  const sCase cases[] = {
      {1, 16, 6, 16, 0}, {2, 16, 6, 12, 0}, {1, 10, 5, 14, 0},  {4, 8, 4, 16, 0},
      {2, 32, 8, 14, 32}, {1, 20, 7, 16, 7}, {4, 6, 9, 10, 6},   {2, 9, 3, 8, 1},
      {1, 64, 48, 16, 64}, {2, 5, 5, 2, 3},
  };
  for (const sCase& c : cases) {
    sLjpegImage im;
    im.components = c.components;
    im.width = c.width;
    im.height = c.height;
    im.precision = c.precision;
    im.restartInterval = c.restart;
    im.tablePerComponent = c.components % 2 == 0;
    im.samples = SyntheticMosaic(c.width * c.components, c.height, c.precision, 7u + c.width);
    // Extremes: differences of +-32768 and full-scale jumps.
    if (c.precision == 16) {
      im.samples[0] = 0;
      im.samples[1] = 0x8000;
      im.samples[2] = 0xFFFF;
      im.samples[3] = 0;
    }
    const std::vector<uint8_t> jpeg = EncodeLosslessJpeg(im);
    ASSERT_FALSE(jpeg.empty());
    const std::vector<uint16_t> back = Decode(jpeg, c.width * c.components, c.height);
    EXPECT_EQ(back, im.samples) << c.components << " components, " << c.width << "x" << c.height << ", P"
                                << c.precision << ", restart " << c.restart;
  }
}

TEST(LjpegKit, SlicesAndFieldOrder) {
  const int rw = 24, rh = 6;
  const std::vector<uint16_t> raster = SyntheticMosaic(rw, rh, 14, 3);
  // Two slices of 10 columns and a last one of 4.
  const uint32_t layout[3] = {2, 10, 4};
  sLjpegImage im;
  im.components = 2;
  im.width = 12;
  im.height = 6;
  im.precision = 14;
  im.samples = SlicedOrder(raster, rw, rh, 2, 10, 4);
  EXPECT_EQ(Decode(EncodeLosslessJpeg(im), rw, rh, 0, layout), raster);
  im.samples = FieldOrder(raster, rw, rh);
  EXPECT_EQ(Decode(EncodeLosslessJpeg(im), rw, rh, 1), raster);
}

TEST(LjpegKit, RefusedImages) {
  sLjpegImage im;
  im.width = 4;
  im.height = 2;
  im.samples.assign(7, 0);
  EXPECT_TRUE(EncodeLosslessJpeg(im).empty());
  im.samples.assign(8, 0);
  im.components = 5;
  EXPECT_TRUE(EncodeLosslessJpeg(im).empty());
  im.components = 1;
  im.precision = 17;
  EXPECT_TRUE(EncodeLosslessJpeg(im).empty());
  im.precision = 16;
  EXPECT_FALSE(EncodeLosslessJpeg(im).empty());
}

TEST(LjpegKit, UnstuffedDataKeepsEveryFFByte) {
  sLjpegImage im;
  im.width = 64;
  im.height = 8;
  im.samples = SyntheticMosaic(64, 8, 16, 11);
  im.noStuffing = true;
  const std::vector<uint8_t> raw = EncodeLosslessJpeg(im);
  im.noStuffing = false;
  const std::vector<uint8_t> stuffed = EncodeLosslessJpeg(im);
  size_t ff = 0;
  for (size_t i = 0; i + 1 < stuffed.size(); ++i)
    if (stuffed[i] == 0xFF && stuffed[i + 1] == 0) ++ff;
  EXPECT_EQ(stuffed.size(), raw.size() + ff);
}

TEST(RawFixture, PackingHelpers) {
  const std::vector<uint16_t> s = {0xABC, 0x123, 0x456, 0x789, 0xDEF, 0x001, 0x002, 0x003, 0x004, 0x005, 0xFFF};
  const std::vector<uint8_t> p = Pack12Grouped(s);
  // Five pairs, a padding byte, then the last pair with a zero partner in a
  // group filled up to 16 bytes.
  ASSERT_EQ(p.size(), 32u);
  EXPECT_EQ(p[0], 0xAB);
  EXPECT_EQ(p[1], 0xC1);
  EXPECT_EQ(p[2], 0x23);
  EXPECT_EQ(p[15], 0x00);
  EXPECT_EQ(p[16], 0xFF);
  EXPECT_EQ(p[17], 0xF0);
  const std::vector<uint8_t> msb = PackBitsMsb({0xABC, 0x123, 0x456}, 3, 12);
  EXPECT_EQ(msb, (std::vector<uint8_t>{0xAB, 0xC1, 0x23, 0x45, 0x60}));
  EXPECT_EQ(SampleBytes16({0x1234}, true), (std::vector<uint8_t>{0x12, 0x34}));
  EXPECT_EQ(SampleBytes16({0x1234}, false), (std::vector<uint8_t>{0x34, 0x12}));
}

}  // namespace
