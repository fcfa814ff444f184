// The DIB and BMP decoders: file-header recognition, palettes (stored,
// default, after the header, clamped colour counts), every depth, bit
// fields, row order and filler, the 32-bit alpha rule, RLE8/RLE4 endings,
// icon images with their AND mask, damaged files, and the factory.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/memio.h"
#include "picture/pict_dib.h"
#include "picture/pict_factory.h"

namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

struct sDib {
  int32_t width = 1, height = 1;
  uint16_t bits = 24;
  uint32_t compression = 0, imageSize = 0, coloursUsed = 0;
  uint32_t masks[4] = {0, 0, 0, 0};
  uint32_t headerSize = 40;
};

// A bare DIB: header, palette entries (BGRA), pixel data.
std::vector<uint8_t> Dib(const sDib& d, const std::vector<uint32_t>& palette, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> v;
  Put32(v, d.headerSize);
  if (d.headerSize == 12) {
    Put16(v, static_cast<uint32_t>(d.width));
    Put16(v, static_cast<uint32_t>(d.height));
    Put16(v, 1);
    Put16(v, d.bits);
    for (uint32_t c : palette) {
      v.push_back(static_cast<uint8_t>(c));
      v.push_back(static_cast<uint8_t>(c >> 8));
      v.push_back(static_cast<uint8_t>(c >> 16));
    }
  } else {
    Put32(v, static_cast<uint32_t>(d.width));
    Put32(v, static_cast<uint32_t>(d.height));
    Put16(v, 1);
    Put16(v, d.bits);
    Put32(v, d.compression);
    Put32(v, d.imageSize);
    Put32(v, 2835);
    Put32(v, 2835);
    Put32(v, d.coloursUsed);
    Put32(v, 0);
    for (uint32_t m : d.masks)
      if (d.headerSize >= 56) Put32(v, m);
    while (v.size() < d.headerSize) v.push_back(0);
    for (uint32_t c : palette) Put32(v, c);
  }
  v.insert(v.end(), data.begin(), data.end());
  return v;
}

// The same behind a BMP file header whose data offset follows the palette
// (or is given).
std::vector<uint8_t> Bmp(const sDib& d, const std::vector<uint32_t>& palette, const std::vector<uint8_t>& data,
                         uint32_t offset = 0) {
  const auto dib = Dib(d, palette, data);
  std::vector<uint8_t> v = {'B', 'M'};
  Put32(v, static_cast<uint32_t>(dib.size() + 14));
  Put32(v, 0);
  Put32(v, offset != 0 ? offset : static_cast<uint32_t>(dib.size() + 14 - data.size()));
  v.insert(v.end(), dib.begin(), dib.end());
  return v;
}

template <class T>
bool Decode(T& p, const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  return p.Load(&io);
}

std::vector<uint32_t> Buffer(const cPictBase& p) {
  return std::vector<uint32_t>(p.Pixels32().data, p.Pixels32().data + p.Pixels32().count);
}

TEST(PictDib, DepthsAndPalettes) {
  struct sCase {
    const char* name;
    sDib header;
    std::vector<uint32_t> palette;
    std::vector<uint8_t> data;
    std::vector<uint32_t> expected;
  };
  const sCase cases[] = {
      {"1 bit", {3, 1, 1}, {0x00112233, 0x00445566}, {0xA0, 0, 0, 0}, {0xFF445566u, 0xFF112233u, 0xFF445566u}},
      {"4 bit, colours used 3", {3, 1, 4, 0, 0, 3}, {0, 0x10, 0x20}, {0x21, 0x00, 0, 0}, {0xFF000020u, 0xFF000010u, 0xFF000000u}},
      {"8 bit, colours used 2", {2, 1, 8, 0, 0, 2}, {0x7, 0x8}, {1, 0, 0, 0}, {0xFF000008u, 0xFF000007u}},
      {"16 bit 5-5-5 maximum", {2, 1, 16}, {}, {0xFF, 0x7F, 0x1F, 0x00}, {0xFFFEFEFEu, 0xFF0000FEu}},
      {"16 bit 5-6-5 fields",
       {1, 1, 16, 3, 0, 0, {0xF800, 0x07E0, 0x001F, 0}, 56},
       {},
       {0xE0, 0x07, 0, 0},
       {0xFF00FE00u}},  // 63 * float(255 / 63) truncates to 254
      {"24 bit two rows bottom-up", {1, 2, 24}, {}, {1, 2, 3, 0, 4, 5, 6, 0}, {0xFF030201u, 0xFF060504u}},
      {"24 bit top-down", {1, -2, 24}, {}, {1, 2, 3, 0, 4, 5, 6, 0}, {0xFF060504u, 0xFF030201u}},
      {"32 bit alpha as stored", {2, 1, 32}, {}, {1, 2, 3, 0, 4, 5, 6, 7}, {0x00030201u, 0x07060504u}},
      {"32 bit zero fourth bytes are opaque", {2, 1, 32}, {}, {1, 2, 3, 0, 4, 5, 6, 0}, {0xFF030201u, 0xFF060504u}},
      {"32 bit fields 8 bits each",
       {1, 1, 32, 3, 0, 0, {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF}, 56},
       {},
       {0x11, 0x22, 0x33, 0x44},
       {0x11223344u}},
      {"core header", {2, 1, 8, 0, 0, 0, {}, 12}, std::vector<uint32_t>(256, 0x00ABCDEF), {5, 0, 0, 0},
       {0xFFABCDEFu, 0xFFABCDEFu}},
  };
  for (const sCase& c : cases) {
    // Bare DIBs keep their palette right after the header; as a BMP the data
    // offset points past it.
    cPictBMP bmp;
    ASSERT_TRUE(Decode(bmp, Bmp(c.header, c.palette, c.data))) << c.name;
    EXPECT_EQ(Buffer(bmp), c.expected) << c.name;
  }
}

TEST(PictDib, ColoursUsedIsClampedToWhatTheBitsIndex) {
  // 2^30 colours claimed by a 4-bit DIB: 16 entries are read, not a wrapped
  // 4n bytes.
  sDib d{2, 1, 4, 0, 0, 0x40000000u};
  std::vector<uint32_t> palette(16, 0);
  palette[15] = 0x00FF00;
  cPictBMP bmp;
  ASSERT_TRUE(Decode(bmp, Bmp(d, palette, {0xF0, 0, 0, 0})));
  EXPECT_EQ(Buffer(bmp), (std::vector<uint32_t>{0xFF00FF00u, 0xFF000000u}));
  d.coloursUsed = 0xFFFFFFFFu;
  cPictDIB dib;
  dib.SetPaletteAfterHeader(true);
  ASSERT_TRUE(Decode(dib, Dib(d, palette, {0x0F, 0, 0, 0})));
  EXPECT_EQ(Buffer(dib), (std::vector<uint32_t>{0xFF000000u, 0xFF00FF00u}));
}

TEST(PictDib, BareDibPalettes) {
  // 4 bits without a stored palette and without the flag: the default table.
  cPictDIB dib;
  ASSERT_TRUE(Decode(dib, Dib({2, 1, 4}, {}, {0x9E, 0, 0, 0})));
  EXPECT_EQ(Buffer(dib), (std::vector<uint32_t>{0xFF5555FFu, 0xFFFFFF55u}));
  // 8 bits needs its palette.
  EXPECT_FALSE(Decode(dib, Dib({1, 1, 8}, {}, {0, 0, 0, 0})));
}

TEST(PictDib, RunLengthEndings) {
  const sDib d{2, 2, 8, 1, 0, 3};
  const std::vector<uint32_t> pal = {0x10, 0x20, 0x30};
  struct sCase {
    const char* name;
    std::vector<uint8_t> data;
    bool ok;
  };
  const sCase cases[] = {
      {"end of bitmap after the last row", {2, 1, 0, 0, 2, 2, 0, 1}, true},
      {"end of line then end of bitmap", {2, 1, 0, 0, 2, 2, 0, 0, 0, 1}, false},
      {"no end", {2, 1, 0, 0, 2, 2}, false},
      {"run beyond the row", {3, 1}, false},
      {"row not full at end of line", {1, 1, 0, 0}, false},
      {"delta beyond the rows", {0, 2, 0, 2}, false},
  };
  for (const sCase& c : cases) {
    cPictBMP bmp;
    EXPECT_EQ(Decode(bmp, Bmp(d, pal, c.data)), c.ok) << c.name;
  }
  cPictBMP bmp;
  ASSERT_TRUE(Decode(bmp, Bmp(d, pal, {2, 1, 0, 0, 2, 2, 0, 1})));
  EXPECT_EQ(Buffer(bmp), (std::vector<uint32_t>{0xFF000020u, 0xFF000020u, 0xFF000030u, 0xFF000030u}));
  // RLE4: a run of 3 alternates nibbles; absolute 3 nibbles plus filler.
  ASSERT_TRUE(Decode(bmp, Bmp({3, 2, 4, 2, 0, 3}, pal, {3, 0x12, 0, 0, 0, 3, 0x21, 0x00, 0, 1})));
  EXPECT_EQ(Buffer(bmp), (std::vector<uint32_t>{0xFF000020u, 0xFF000030u, 0xFF000020u, 0xFF000030u,
                                                0xFF000020u, 0xFF000010u}));
}

TEST(PictDib, IconImageTakesTheAndMask) {
  // 2 x 2 colour rows (stored height 4), then mask rows of 4 bytes.
  cPictDIB dib;
  dib.SetIconImage(true);
  dib.SetPaletteAfterHeader(true);
  ASSERT_TRUE(Decode(dib, Dib({2, 4, 8, 0, 0, 2}, {0x11, 0x22}, {0, 1, 0, 0, 1, 0, 0, 0, 0x40, 0, 0, 0, 0x80, 0, 0, 0})));
  EXPECT_EQ(dib.GetHeight(), 2);
  EXPECT_EQ(Buffer(dib), (std::vector<uint32_t>{0xFF000011u, 0x00000022u, 0x00000022u, 0xFF000011u}));
  // 32-bit icon images keep their alpha, zero or not.
  cPictDIB icon32;
  icon32.SetIconImage(true);
  ASSERT_TRUE(Decode(icon32, Dib({1, 2, 32}, {}, {1, 2, 3, 0})));
  EXPECT_EQ(Buffer(icon32), (std::vector<uint32_t>{0x00030201u}));
  sPictInfo info;
  const auto f = Dib({32, 64, 32}, {}, {});
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  ASSERT_TRUE(icon32.ReadDIBHeader(&io, &info, true));
  EXPECT_EQ(info.height, 32);
}

TEST(PictDib, RefusedFiles) {
  struct sCase {
    const char* name;
    std::vector<uint8_t> file;
  };
  auto filler = Bmp({1, 1, 24}, {}, {1, 2, 3, 9});
  auto offset53 = Bmp({1, 1, 24}, {}, {1, 2, 3, 0});
  offset53[10] = 53;
  const sCase cases[] = {
      {"filler not zero", filler},
      {"data offset 53", offset53},
      {"header size 125", Bmp({1, 1, 24, 0, 0, 0, {}, 125}, {}, {1, 2, 3, 0})},
      {"width 0", Bmp({0, 1, 24}, {}, {})},
      {"width 65537", Bmp({65537, 1, 24}, {}, {})},
      {"bits 2", Bmp({1, 1, 2}, {0, 0, 0, 0}, {0, 0, 0, 0})},
      {"compression 7", Bmp({1, 1, 24, 7}, {}, {1, 2, 3, 0})},
      {"short row", Bmp({2, 1, 24}, {}, {1, 2, 3, 4})},
      {"index beyond palette", Bmp({1, 1, 8, 0, 0, 2}, {0, 0}, {2, 0, 0, 0})},
      {"huge picture without data", Bmp({65536, 65536, 32}, {}, {0, 0, 0, 0})},
      {"bit fields all zero", Bmp({1, 1, 32, 3, 0, 0, {0, 0, 0, 0}, 56}, {}, {1, 2, 3, 4})},
      {"RLE8 on 4 bits", Bmp({2, 1, 4, 1}, std::vector<uint32_t>(16, 0), {2, 1, 0, 1})},
      {"embedded JPEG", Bmp({1, 1, 24, 4}, {}, {0xFF, 0xD8, 0xFF, 0xD9})},
  };
  for (const sCase& c : cases) {
    cPictBMP bmp;
    EXPECT_FALSE(Decode(bmp, c.file)) << c.name;
  }
}

TEST(PictDib, StreamingMatchesBuffer) {
  const auto file = Bmp({2, 2, 32}, {}, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0});
  cPictBMP buffered;
  ASSERT_TRUE(Decode(buffered, file));
  std::vector<uint32_t> pixels(16, 0);
  sPictCanvas canvas{pixels.data(), 4, 4, 0, 0, 0, 1.0, 0};
  cPictBMP streamed;
  ASSERT_TRUE(streamed.AttachCanvas(&canvas));
  ASSERT_TRUE(Decode(streamed, file));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      EXPECT_EQ(pixels[static_cast<size_t>(y + 1) * 4 + x + 1], buffered.Pixels32().data[y * 2 + x]);
}

TEST(PictDib, FactoryRecognisesBmpAndDib) {
  const auto bmp = Bmp({2, 1, 24}, {}, {1, 2, 3, 4, 5, 6, 0, 0});
  const auto dib = Dib({2, 1, 24}, {}, {1, 2, 3, 4, 5, 6, 0, 0});
  const std::pair<const std::vector<uint8_t>*, int32_t> files[] = {{&bmp, kPictFormatBMP}, {&dib, kPictFormatDIB}};
  for (const auto& f : files) {
    cBufWrapperIO io(f.first->data(), static_cast<uint32_t>(f.first->size()));
    sPictInfo info;
    std::unique_ptr<cPictBase> probed(CreatePicture(&io, &info));
    ASSERT_NE(probed, nullptr);
    EXPECT_EQ(probed->GetFormat(), f.second);
    EXPECT_EQ(info.width, 2);
    std::unique_ptr<cPictBase> loaded(CreatePicture(&io, nullptr));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(Buffer(*loaded), (std::vector<uint32_t>{0xFF030201u, 0xFF060504u}));
  }
}

}  // namespace
