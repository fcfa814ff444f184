// The ICO/CUR decoder: directory rules, best-fit choice for ReadInfo and
// LoadPreview, image-by-image access, the AND mask, PNG images, fitted
// loading, streaming and the factory.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_ico.h"
#include "tests/support/png_writer.h"

namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// An icon DIB: 24-bit colour rows of one colour per pixel (bottom-up), then
// the AND mask rows (1 = transparent).
std::vector<uint8_t> IconDib(int32_t w, int32_t h, const std::vector<uint32_t>& colours,
                             const std::vector<bool>& transparent) {
  std::vector<uint8_t> v;
  Put32(v, 40);
  Put32(v, static_cast<uint32_t>(w));
  Put32(v, static_cast<uint32_t>(2 * h));
  Put16(v, 1);
  Put16(v, 24);
  for (int i = 0; i < 6; ++i) Put32(v, 0);
  const int32_t row = (w * 3 + 3) / 4 * 4;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t c = colours[static_cast<size_t>(y) * w + x];
      v.push_back(static_cast<uint8_t>(c));
      v.push_back(static_cast<uint8_t>(c >> 8));
      v.push_back(static_cast<uint8_t>(c >> 16));
    }
    for (int32_t k = w * 3; k < row; ++k) v.push_back(0);
  }
  const int32_t maskRow = (w + 31) / 32 * 4;
  for (int32_t y = 0; y < h; ++y) {
    std::vector<uint8_t> bits(static_cast<size_t>(maskRow), 0);
    for (int32_t x = 0; x < w; ++x)
      if (!transparent.empty() && transparent[static_cast<size_t>(y) * w + x]) bits[x / 8] |= 0x80 >> (x % 8);
    v.insert(v.end(), bits.begin(), bits.end());
  }
  return v;
}

std::vector<uint8_t> FlatDib(int32_t w, int32_t h, uint32_t colour) {
  return IconDib(w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, colour), {});
}

// A DIB whose stored height (colour rows and mask rows) is 1.
std::vector<uint8_t> OneRowDib() {
  std::vector<uint8_t> v = FlatDib(2, 1, 7);
  v[8] = 1;
  return v;
}

// A directory of the images, stored one after another.
std::vector<uint8_t> Directory(const std::vector<std::vector<uint8_t>>& images, uint32_t type = 1,
                               uint32_t reserved = 0) {
  std::vector<uint8_t> v;
  Put16(v, reserved);
  Put16(v, type);
  Put16(v, static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (const auto& im : images) {
    for (int i = 0; i < 8; ++i) v.push_back(0);  // sizes and counts: ignored
    Put32(v, static_cast<uint32_t>(im.size()));
    Put32(v, offset);
    offset += static_cast<uint32_t>(im.size());
  }
  for (const auto& im : images) v.insert(v.end(), im.begin(), im.end());
  return v;
}

struct sFile {
  std::vector<uint8_t> bytes;
  cBufWrapperIO io;
  explicit sFile(std::vector<uint8_t> b) : bytes(std::move(b)), io(bytes.data(), static_cast<uint32_t>(bytes.size())) {}
  cFileIOTarget* at0() {
    io.Seek(0);
    return &io;
  }
};

std::vector<uint8_t> Png(uint32_t w, uint32_t h) { return twtest::EncodePng(twtest::MakeTestImage(w, h, 6, 8, 7)); }

TEST(PictIco, DirectoryRules) {
  struct sCase {
    const char* name;
    std::vector<uint8_t> file;
    bool detected;
    int32_t count;
  };
  const sCase cases[] = {
      {"icon", Directory({FlatDib(2, 2, 1)}), true, 1},
      {"cursor is read like an icon", Directory({FlatDib(2, 2, 1)}, 2), true, 1},
      {"type 3: counted, not detected", Directory({FlatDib(2, 2, 1)}, 3), false, 1},
      {"reserved not 0", Directory({FlatDib(2, 2, 1)}, 1, 1), false, 0},
      {"count 0", Directory({}), false, 0},
      {"not an icon", {'B', 'M', 0, 0, 0, 0, 0, 0}, false, 0},
      {"entry beyond the file", {0, 0, 1, 0, 2, 0}, false, 2},
      {"a DIB stored one row high has no colour row", Directory({FlatDib(2, 2, 1), OneRowDib()}), false, 2},
  };
  for (const sCase& c : cases) {
    sFile f(c.file);
    sPictInfo info;
    EXPECT_EQ(cPictICO::Detect(f.at0(), &info), c.detected) << c.name;
    cPictICO ico;
    EXPECT_EQ(ico.GetImageCount(f.at0()), c.count) << c.name;
  }
}

TEST(PictIco, ReadInfoReportsTheLargestLoadDecodesTheFirst) {
  sFile f(Directory({FlatDib(16, 16, 0x112233), FlatDib(32, 32, 0x445566)}));
  cPictICO ico;
  sPictInfo info;
  ASSERT_TRUE(ico.ReadInfo(f.at0(), &info));
  EXPECT_EQ(info.width, 32);
  EXPECT_EQ(info.height, 32);
  EXPECT_TRUE(info.hasPreview);
  ASSERT_TRUE(ico.Load(f.at0()));
  EXPECT_EQ(ico.GetWidth(), 16);
  EXPECT_EQ(ico.Pixels32().data[0], 0xFF112233u);
  int32_t w = 0, h = 0;
  ASSERT_TRUE(ico.GetImageInfo(f.at0(), 1, w, h));
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 32);
  EXPECT_FALSE(ico.GetImageInfo(f.at0(), 2, w, h));
  ASSERT_TRUE(ico.LoadImage(f.at0(), 1));
  EXPECT_EQ(ico.GetWidth(), 32);
  EXPECT_EQ(ico.Pixels32().data[0], 0xFF445566u);
  EXPECT_FALSE(ico.LoadImage(f.at0(), -1));
}

TEST(PictIco, LoadPreviewChoosesTheLargestInTheBox) {
  sFile f(Directory({FlatDib(16, 16, 1), FlatDib(32, 32, 2), FlatDib(16, 16, 3)}));
  struct sCase {
    int32_t bw, bh;
    bool ok;
    int32_t width;
    uint32_t first;
  };
  // Equal areas: the first stays. A side of 0: no limit.
  const sCase cases[] = {{24, 24, true, 16, 0xFF000001u}, {0, 0, true, 32, 0xFF000002u},
                         {64, 20, true, 16, 0xFF000001u}, {15, 64, false, 0, 0}};
  for (const sCase& c : cases) {
    cPictICO ico;
    cPictDummy dest;
    int32_t bw = c.bw, bh = c.bh;
    EXPECT_EQ(ico.LoadPreview(f.at0(), &dest, bw, bh), c.ok) << c.bw << "x" << c.bh;
    if (!c.ok) continue;
    EXPECT_EQ(dest.GetWidth(), c.width);
    EXPECT_EQ(dest.Pixels32().data[0], c.first);
  }
}

TEST(PictIco, OneCorruptImageFailsTheWholeFileButNotOtherIndexes) {
  std::vector<uint8_t> junk(40, 0x77);
  sFile f(Directory({FlatDib(8, 8, 5), junk}));
  cPictICO ico;
  EXPECT_FALSE(ico.ReadInfo(f.at0(), nullptr));
  cPictDummy dest;
  int32_t bw = 0, bh = 0;
  EXPECT_FALSE(ico.LoadPreview(f.at0(), &dest, bw, bh));
  EXPECT_TRUE(ico.LoadImage(f.at0(), 0));
  EXPECT_FALSE(ico.LoadImage(f.at0(), 1));
}

TEST(PictIco, AndMaskClearsAlpha) {
  // 2 x 2: colours bottom-up; the mask makes the bottom-right pixel clear.
  sFile f(Directory({IconDib(2, 2, {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF}, {false, true, false, false})}));
  cPictICO ico;
  ASSERT_TRUE(ico.Load(f.at0()));
  EXPECT_EQ(std::vector<uint32_t>(ico.Pixels32().data, ico.Pixels32().data + 4),
            (std::vector<uint32_t>{0xFF0000FFu, 0x0000FF00u, 0xFFFF0000u, 0xFFFFFFFFu}));
}

TEST(PictIco, PngImagesDecodeAndMeasure) {
  const std::vector<uint8_t> png = Png(5, 3);
  sFile f(Directory({FlatDib(4, 4, 9), png}));
  cPictICO ico;
  sPictInfo info;
  ASSERT_TRUE(ico.ReadInfo(f.at0(), &info));
  EXPECT_EQ(info.width, 4);  // 16 pixels beat 15
  int32_t w = 0, h = 0;
  ASSERT_TRUE(ico.GetImageInfo(f.at0(), 1, w, h));
  EXPECT_EQ(w, 5);
  EXPECT_EQ(h, 3);
  ASSERT_TRUE(ico.LoadImage(f.at0(), 1));
  EXPECT_EQ(ico.GetWidth(), 5);
  EXPECT_EQ(ico.GetHeight(), 3);
  EXPECT_TRUE(ico.HasPixels());
}

TEST(PictIco, LoadImageFittedShrinksAndNeedsFullDecoding) {
  sFile f(Directory({FlatDib(32, 32, 0x808080), Png(20, 10)}));
  cPictICO ico;
  cPictDummy dest;
  EXPECT_FALSE(ico.LoadImageFitted(f.at0(), &dest, 8, 8, 0, false, 0));
  ASSERT_TRUE(ico.LoadImageFitted(f.at0(), &dest, 8, 8, 0, true, 0));
  EXPECT_EQ(dest.GetWidth(), 8);
  EXPECT_EQ(dest.GetHeight(), 8);
  EXPECT_EQ(dest.Pixels32().data[0] & 0xFFFFFFu, 0x808080u);
  cPictDummy png;
  ASSERT_TRUE(ico.LoadImageFitted(f.at0(), &png, 10, 10, 1, true, 0));
  EXPECT_EQ(png.GetWidth(), 10);
  EXPECT_EQ(png.GetHeight(), 5);
}

TEST(PictIco, FactoryRecognisesAndFitsThroughThePreview) {
  sFile f(Directory({FlatDib(16, 16, 0x0000FF), FlatDib(48, 48, 0x00FF00)}));
  sPictInfo info;
  std::unique_ptr<cPictBase> p(CreatePicture(f.at0(), &info));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetFormat(), kPictFormatICO);
  EXPECT_TRUE(p->IsMultiImage());
  EXPECT_EQ(p->GetImageCount(f.at0()), 2);
  // A 20 x 20 box: the 16 x 16 image as it is, not the 48 x 48 one shrunk.
  cPictDummy dest;
  ASSERT_EQ(LoadPictureFitted(f.at0(), &dest, 20, 20), kFitDone);
  EXPECT_EQ(dest.GetWidth(), 16);
  EXPECT_EQ(dest.Pixels32().data[0], 0xFF0000FFu);
}

TEST(PictIco, StreamsIntoACanvas) {
  sFile f(Directory({FlatDib(4, 4, 0x123456)}));
  std::vector<uint32_t> pixels(6 * 6, 0);
  sPictCanvas canvas{pixels.data(), 6, 6, 0, 0, 0, 1.0, 0};
  cPictICO ico;
  ASSERT_TRUE(ico.AttachCanvas(&canvas));
  ASSERT_TRUE(ico.Load(f.at0()));
  EXPECT_EQ(ico.GetAttachedCanvas(), nullptr);
  EXPECT_EQ(pixels[1 * 6 + 1] & 0xFFFFFFu, 0x123456u);
  EXPECT_EQ(pixels[0], 0u);
}

}  // namespace
