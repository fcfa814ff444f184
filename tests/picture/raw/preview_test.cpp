// Previews: the fitting rule, the fitted JPEG preview over a window of the
// stream, and the MOS preview record.
#include <gtest/gtest.h>

#include <cstring>

#include "picture/pict_jpeg.h"
#include "picture/raw/pict_mos.h"
#include "picture/raw/raw_preview.h"
#include "tests/picture/raw/raw_test_util.h"
#include "tests/support/raw_fixture.h"
#include "tests/support/test_support.h"

namespace {

std::vector<uint8_t> Jpeg() {
  const std::string s = twtest::ReadFileText(twtest::SourcePath("tests/picture/data/jpeg_baseline_420.jpg"));  // 61 x 43
  return std::vector<uint8_t>(s.begin(), s.end());
}

struct sFit {
  int32_t maxW, maxH, w, h;
};
// s = min(maxH / 43, maxW / 61, 1); sides trunc(side * s + 0.5); a missing
// maximum is the preview's own side.
const sFit kFits[] = {{0, 0, 61, 43},    {61, 43, 61, 43}, {500, 500, 61, 43}, {30, 100, 30, 21},
                      {100, 10, 14, 10}, {1, 1, 1, 1},     {1, 1000, 1, 1},    {0, 20, 28, 20}};

TEST(RawPreview, FittingRule) {
  for (const sFit& c : kFits) {
    int32_t w = -1, h = -1;
    ASSERT_TRUE(FittedPreviewSize(61, 43, c.maxW, c.maxH, w, h)) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(w, c.w) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(h, c.h) << c.maxW << "x" << c.maxH;
  }
  int32_t w = 7, h = 7;
  // A target side of 0: 1000 x 1 into 1 x 1 rounds the height away.
  EXPECT_FALSE(FittedPreviewSize(1000, 1, 1, 1, w, h));
  EXPECT_FALSE(FittedPreviewSize(0, 5, 1, 1, w, h));
  EXPECT_EQ(w, 7);
}

TEST(RawPreview, FittedJpegPreviewOverAWindow) {
  const std::vector<uint8_t> jpeg = Jpeg();
  ASSERT_GT(jpeg.size(), 100u);
  std::vector<uint8_t> file(300, 0x5A);
  file.insert(file.end(), jpeg.begin(), jpeg.end());
  file.insert(file.end(), 50, 0xA5);
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  // Whole: the JPEG decoder's own pixels.
  cPictJPEG plain;
  cBufWrapperIO jio(jpeg.data(), static_cast<uint32_t>(jpeg.size()));
  ASSERT_TRUE(plain.Load(&jio));
  cPictDummy whole;
  ASSERT_TRUE(LoadFittedJpegPreview(&io, 300, jpeg.size(), &whole, 0, 0));
  ASSERT_EQ(whole.GetWidth(), 61);
  ASSERT_EQ(whole.Pixels32().count, plain.Pixels32().count);
  EXPECT_EQ(std::memcmp(whole.Pixels32().data, plain.Pixels32().data, plain.Pixels32().count * 4u), 0);
  for (const sFit& c : kFits) {
    cPictDummy out;
    ASSERT_TRUE(LoadFittedJpegPreview(&io, 300, jpeg.size(), &out, c.maxW, c.maxH)) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(out.GetWidth(), c.w) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(out.GetHeight(), c.h) << c.maxW << "x" << c.maxH;
    EXPECT_TRUE(out.HasPixels());
  }
  cPictDummy none;
  EXPECT_FALSE(LoadFittedJpegPreview(&io, 300, 0, &none, 8, 8));
  EXPECT_FALSE(LoadFittedJpegPreview(&io, 300, file.size(), &none, 8, 8));  // beyond the stream
  EXPECT_FALSE(LoadFittedJpegPreview(&io, 0, 200, &none, 8, 8));            // not a JPEG
  EXPECT_FALSE(LoadFittedJpegPreview(&io, 300, 100, &none, 8, 8));          // a cut JPEG
  EXPECT_EQ(none.GetWidth(), 0);
}

TEST(RawPreview, MosPreviewRecord) {
  const std::vector<uint8_t> jpeg = Jpeg();
  sMosFile f;
  f.tiff.bigEndian = true;
  f.tiff.make = "Leaf";
  f.tiff.sensor.writePattern = false;
  f.tiff.sensor.samples = SyntheticMosaic(64, 48, 16, 4);
  std::vector<uint8_t> capture =
      PktsRecord(true, "CamProf_capture_profile", PktsRecord(true, "CaptProf_mosaic_pattern", MosaicDigits("1000")));
  const std::vector<uint8_t> preview = PktsRecord(true, "JPEG_preview_data", jpeg);
  capture.insert(capture.end(), preview.begin(), preview.end());
  f.records = capture;
  const std::vector<uint8_t> bytes = MakeMos(f);
  cPictMOS m;
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  sPictInfo info;
  ASSERT_TRUE(m.ReadInfo(&io, &info));
  EXPECT_TRUE(info.hasPreview);
  for (const sFit& c : kFits) {
    cPictDummy out;
    int32_t w = c.maxW, h = c.maxH;
    ASSERT_TRUE(m.LoadPreview(&io, &out, w, h)) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(out.GetWidth(), c.w) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(out.GetHeight(), c.h) << c.maxW << "x" << c.maxH;
  }
  // Fitted loading through the factory takes the preview.
  cPictDummy fitted;
  EXPECT_EQ(LoadPictureFitted(&io, &fitted, 30, 30), kFitDone);
  EXPECT_EQ(fitted.GetWidth(), 30);
}

}  // namespace
