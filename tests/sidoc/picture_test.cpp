// Documents' pictures through the picture factory: a real PNG loads with its
// own pixels and the picture box paints them; a picture this build cannot
// decode still loads as an empty slot; one that is broken fails the load.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "gui/mem_canvas.h"
#include "gui/picture.h"
#include "picture/pict_factory.h"
#include "sidoc/box.h"
#include "sidoc/loader.h"
#include "sidoc/picture_hook.h"
#include "tests/sidoc/doc_bytes.h"
#include "tests/support/png_writer.h"

namespace {

using namespace doctest;

// Pixel (x, y), y counted from the top, of a PNG test image as 0xAARRGGBB.
uint32_t ExpectedPixel(const twtest::sPngImage& png, uint32_t x, uint32_t y) {
  const uint32_t r = png.Sample(x, y, 0), g = png.Sample(x, y, 1), b = png.Sample(x, y, 2);
  const uint32_t a = png.colourType == 6 ? png.Sample(x, y, 3) : 0xFF;
  return a << 24 | r << 16 | g << 8 | b;
}

// A document of one language holding one picture box of picture 0.
Bytes OnePictureDocument(const Bytes& file, Head head = {}) {
  Doc d;
  d.bodies = {{0, Cat({Picture(0, head), kEnd})}};
  d.pictures = PictureEntry(file);
  return d.Build();
}

bool Load(const Bytes& bytes, cSiDocLoader& loader, eDocLoadError* reason) {
  return LoadCompiledDocument(bytes.data(), static_cast<uint32_t>(bytes.size()), &loader, reason);
}

TEST(DocumentPicture, PngLoadsWithItsOwnPixels) {
  struct Case {
    uint8_t colourType;
    uint32_t width, height;
  };
  for (const Case c : {Case{2, 7, 5}, Case{6, 3, 9}}) {
    SCOPED_TRACE(static_cast<int>(c.colourType));
    const twtest::sPngImage png = twtest::MakeTestImage(c.width, c.height, c.colourType, 8, 11);
    const std::vector<uint8_t> file = twtest::EncodePng(png);
    cSiDocLoader loader;
    eDocLoadError reason = eDocLoadError::kNone;
    ASSERT_TRUE(Load(OnePictureDocument(Bytes(file.begin(), file.end())), loader, &reason)) << DocLoadErrorText(reason);
    ASSERT_NE(loader.pictures.Find(0), nullptr);
    const cPicture* picture = loader.pictures.Find(0)->get();
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(picture->GetWidth(), static_cast<int32_t>(c.width));
    ASSERT_EQ(picture->GetHeight(), static_cast<int32_t>(c.height));
    // Rows bottom first: the PNG's top row is the picture's last.
    for (uint32_t y = 0; y < c.height; ++y)
      for (uint32_t x = 0; x < c.width; ++x)
        ASSERT_EQ(picture->GetPixels()[(c.height - 1 - y) * c.width + x], ExpectedPixel(png, x, y)) << x << "," << y;
    auto* image = static_cast<cSiDocImage*>(loader.GetContainer(0)->children[0].get());
    EXPECT_EQ(image->picture, picture);
  }
}

TEST(DocumentPicture, TheBoxPaintsTheDecodedPixels) {
  const twtest::sPngImage png = twtest::MakeTestImage(6, 4, 2, 8, 3);
  const std::vector<uint8_t> file = twtest::EncodePng(png);
  Head head;
  head.w = 9, head.h = 4;  // wider than the picture: the strip right of it takes the background
  head.background = 0x00123456;  // 0x00BBGGRR, as documents store colours
  cSiDocLoader loader;
  ASSERT_TRUE(Load(OnePictureDocument(Bytes(file.begin(), file.end()), head), loader, nullptr));
  auto* image = static_cast<cSiDocImage*>(loader.GetContainer(0)->children[0].get());
  ASSERT_NE(image->picture, nullptr);

  cMemCanvas canvas(12, 6);
  sSiDocArea area;
  area.x = 2, area.y = 1;
  sSize size;
  ASSERT_TRUE(image->Paint(&canvas, area, size));
  EXPECT_EQ(size, (sSize{9, 4}));
  const cPicture& surface = *canvas.Surface();
  auto at = [&](int32_t x, int32_t y) {
    return surface.GetPixels()[static_cast<size_t>(surface.GetHeight() - 1 - y) * surface.GetWidth() + x];
  };
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 6; ++x)
      ASSERT_EQ(at(2 + static_cast<int32_t>(x), 1 + static_cast<int32_t>(y)) & 0xFFFFFF,
                ExpectedPixel(png, x, y) & 0xFFFFFF)
          << x << "," << y;
  EXPECT_EQ(at(8, 2) & 0xFFFFFF, 0x563412u);  // right of the picture
  EXPECT_EQ(at(1, 2), 0u);                    // left of the box: untouched
}

// The forms recognised by signature, for finding one the factory cannot
// decode in this build.
struct sSignature {
  int32_t format;
  Bytes file;
};

std::vector<sSignature> SignatureFiles() {
  return {{kPictFormatJPEG, Cat({Bytes{0xFF, 0xD8, 0xFF, 0xE0}, Bytes(40, 0)})},
          {kPictFormatGIF, Cat({Str("GIF89a"), Bytes(40, 0)})},
          {kPictFormatBMP, Cat({Str("BM"), Bytes(40, 0)})}};
}

bool Built(int32_t format) {
  int32_t count = 0;
  const sPictProbe* probes = PictProbes(count);
  for (int32_t i = 0; i < count; ++i)
    if (probes[i].format == format) return probes[i].detect != nullptr;
  return false;
}

TEST(DocumentPicture, APictureWithoutDecoderIsAnEmptySlot) {
  int tried = 0;
  for (const sSignature& s : SignatureFiles()) {
    if (Built(s.format)) continue;
    SCOPED_TRACE(s.format);
    ++tried;
    EXPECT_EQ(DecodeDocumentPicture(s.file.data(), static_cast<uint32_t>(s.file.size()), nullptr),
              eDocPictureResult::kNoDecoder);
    Head head;
    head.w = 20, head.h = 10;
    cSiDocLoader loader;
    eDocLoadError reason = eDocLoadError::kNone;
    ASSERT_TRUE(Load(OnePictureDocument(s.file, head), loader, &reason)) << DocLoadErrorText(reason);
    ASSERT_NE(loader.pictures.Find(0), nullptr);
    EXPECT_EQ(loader.pictures.Find(0)->get(), nullptr);
    auto* image = static_cast<cSiDocImage*>(loader.GetContainer(0)->children[0].get());
    EXPECT_EQ(image->picture, nullptr);
    sSize size;
    EXPECT_TRUE(image->Measure(nullptr, sSiDocArea{}, size));
    EXPECT_EQ(size, (sSize{20, 10}));
  }
  if (tried == 0) GTEST_SKIP() << "every signature form has a decoder in this build";
}

TEST(DocumentPicture, BrokenOrUnknownPicturesFailTheLoad) {
  const twtest::sPngImage png = twtest::MakeTestImage(4, 4, 2, 8, 5);
  std::vector<uint8_t> good = twtest::EncodePng(png);
  struct Case {
    const char* what;
    Bytes file;
    eDocPictureResult recognised;  // the answer without decoding
  };
  Bytes cutData(good.begin(), good.end() - 20);  // IDAT cut short, IEND gone
  Bytes badHeader(good.begin(), good.end());
  badHeader[16] = badHeader[17] = badHeader[18] = badHeader[19] = 0;  // width 0
  const Case cases[] = {
      {"PNG signature and nothing else", Cat({Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, Bytes(30, 0)}),
       eDocPictureResult::kFailed},
      {"PNG with width 0", badHeader, eDocPictureResult::kFailed},
      {"PNG cut short", cutData, eDocPictureResult::kDecoded},
      {"no picture at all", Str("hello, world, not a picture"), eDocPictureResult::kUnrecognised},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DecodeDocumentPicture(c.file.data(), static_cast<uint32_t>(c.file.size()), nullptr), c.recognised);
    std::unique_ptr<cPicture> out;
    EXPECT_NE(DecodeDocumentPicture(c.file.data(), static_cast<uint32_t>(c.file.size()), &out),
              eDocPictureResult::kDecoded);
    EXPECT_EQ(out, nullptr);
    cSiDocLoader loader;
    eDocLoadError reason = eDocLoadError::kNone;
    EXPECT_FALSE(Load(OnePictureDocument(c.file), loader, &reason));
    EXPECT_EQ(reason, eDocLoadError::kBadPicture);
  }
  EXPECT_EQ(DecodeDocumentPicture(nullptr, 10, nullptr), eDocPictureResult::kUnrecognised);
}

}  // namespace
