// The GIF decoder: header and probe, the block walk and image count (also
// without a trailer), transparency and its inheritance, interlacing, local
// and missing colour tables, data that ends early, fitted loading and the
// factory.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_gif.h"

namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

// LZW codes of the indexes, every one a literal: a clear code comes often
// enough that the code width never grows. Codes go least significant bit
// first; the result is cut into sub-blocks of at most 255 bytes.
std::vector<uint8_t> LzwData(const std::vector<uint8_t>& indexes, int minCodeSize, bool withEnd = true) {
  const uint32_t clear = 1u << minCodeSize, width = minCodeSize + 1;
  const size_t literalsPerClear = (1u << minCodeSize) - 2;
  std::vector<uint8_t> bytes;
  uint32_t acc = 0, bits = 0;
  auto code = [&](uint32_t c) {
    acc |= c << bits;
    bits += width;
    while (bits >= 8) {
      bytes.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  };
  for (size_t i = 0; i < indexes.size(); ++i) {
    if (i % literalsPerClear == 0) code(clear);
    code(indexes[i]);
  }
  if (withEnd) code(clear + 1);
  if (bits > 0) bytes.push_back(static_cast<uint8_t>(acc));
  std::vector<uint8_t> out{static_cast<uint8_t>(minCodeSize)};
  for (size_t at = 0; at < bytes.size(); at += 255) {
    const size_t n = bytes.size() - at < 255 ? bytes.size() - at : 255;
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
               bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  out.push_back(0);
  return out;
}

// Colour i of the test tables: 0x10 * (i + 1) in red, i in blue.
std::vector<uint8_t> Table(int entries) {
  std::vector<uint8_t> t;
  for (int i = 0; i < entries; ++i) {
    t.push_back(static_cast<uint8_t>(0x10 * (i + 1)));
    t.push_back(0);
    t.push_back(static_cast<uint8_t>(i));
  }
  return t;
}
uint32_t Colour(int i) { return 0xFF000000u | static_cast<uint32_t>(0x10 * (i + 1)) << 16 | static_cast<uint32_t>(i); }
constexpr uint32_t kClear = 0x00FFFFFFu;

struct sImage {
  uint16_t w = 2, h = 2;
  std::vector<uint8_t> indexes;
  int localEntries = 0;  // a local table of this many entries
  bool interlaced = false;
  int controlIndex = -1;  // a graphic control extension with this transparent index
  bool withEnd = true;
};

std::vector<uint8_t> Gif(const std::vector<sImage>& images, int globalEntries = 4, bool trailer = true,
                         uint16_t sw = 8, uint16_t sh = 8) {
  std::vector<uint8_t> v = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(v, sw);
  Put16(v, sh);
  int exponent = 0;
  while ((2 << exponent) < globalEntries) ++exponent;
  v.push_back(static_cast<uint8_t>(globalEntries > 0 ? 0x80 | exponent : 0));
  v.push_back(0);
  v.push_back(0);
  if (globalEntries > 0) {
    const std::vector<uint8_t> t = Table(2 << exponent);
    v.insert(v.end(), t.begin(), t.end());
  }
  for (const sImage& im : images) {
    if (im.controlIndex >= 0) {
      const uint8_t gce[] = {'!', 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(im.controlIndex), 0};
      v.insert(v.end(), gce, gce + sizeof gce);
    }
    // A comment extension between the blocks, skipped by every walk.
    const uint8_t comment[] = {'!', 0xFE, 2, 'h', 'i', 0};
    v.insert(v.end(), comment, comment + sizeof comment);
    v.push_back(',');
    Put16(v, 1);
    Put16(v, 1);
    Put16(v, im.w);
    Put16(v, im.h);
    int le = 0;
    while (im.localEntries > 0 && (2 << le) < im.localEntries) ++le;
    v.push_back(static_cast<uint8_t>((im.localEntries > 0 ? 0x80 | le : 0) | (im.interlaced ? 0x40 : 0)));
    if (im.localEntries > 0) {
      std::vector<uint8_t> t = Table(2 << le);
      for (size_t k = 0; k < t.size(); k += 3) t[k + 1] = 0x77;  // green marks local colours
      v.insert(v.end(), t.begin(), t.end());
    }
    const std::vector<uint8_t> data = LzwData(im.indexes, 2, im.withEnd);
    v.insert(v.end(), data.begin(), data.end());
  }
  if (trailer) v.push_back(';');
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

// Top-down rows of the decoded picture.
std::vector<uint32_t> TopDown(const cPictBase& p) {
  std::vector<uint32_t> v;
  for (int32_t y = p.GetHeight() - 1; y >= 0; --y)
    for (int32_t x = 0; x < p.GetWidth(); ++x) v.push_back(p.Pixels32().data[static_cast<size_t>(y) * p.GetWidth() + x]);
  return v;
}

TEST(PictGif, ReadInfoGivesTheScreenLoadTheFirstImage) {
  sFile f(Gif({{3, 2, {0, 1, 2, 3, 2, 1}}, {1, 1, {3}}}, 4, true, 40, 30));
  cPictGIF gif;
  sPictInfo info;
  ASSERT_TRUE(gif.ReadInfo(f.at0(), &info));
  EXPECT_EQ(info.width, 40);
  EXPECT_EQ(info.height, 30);
  EXPECT_FALSE(info.hasPreview);
  ASSERT_TRUE(gif.Load(f.at0()));
  EXPECT_EQ(gif.GetWidth(), 3);
  EXPECT_EQ(gif.GetHeight(), 2);
  EXPECT_EQ(TopDown(gif), (std::vector<uint32_t>{Colour(0), Colour(1), Colour(2), Colour(3), Colour(2), Colour(1)}));
  ASSERT_TRUE(gif.LoadImage(f.at0(), 1));
  EXPECT_EQ(TopDown(gif), (std::vector<uint32_t>{Colour(3)}));
  EXPECT_FALSE(gif.LoadImage(f.at0(), 2));
  int32_t w = 0, h = 0;
  ASSERT_TRUE(gif.GetImageInfo(f.at0(), 0, w, h));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
}

TEST(PictGif, HeaderRules) {
  const std::vector<uint8_t> good = Gif({{1, 1, {0}}});
  struct sCase {
    const char* name;
    size_t at;
    uint8_t value;
  };
  const sCase cases[] = {{"GIF7", 3, '7'}, {"version 8a", 4, '8'}, {"screen width 0", 6, 0},
                         {"first block neither ! nor ,", 13 + 12, ';'}};
  for (const sCase& c : cases) {
    std::vector<uint8_t> b = good;
    if (c.at == 6) b[7] = 0;
    b[c.at] = c.value;
    sFile f(b);
    EXPECT_FALSE(cPictGIF::Detect(f.at0(), nullptr)) << c.name;
  }
  sFile ok(good);
  EXPECT_TRUE(cPictGIF::Detect(ok.at0(), nullptr));
}

TEST(PictGif, ImageCount) {
  std::vector<uint8_t> three = Gif({{1, 1, {0}}, {1, 1, {1}}, {1, 1, {2}}});
  std::vector<uint8_t> noTrailer(three.begin(), three.end() - 1);
  // Cut inside the third image's data: two whole images.
  std::vector<uint8_t> cutInside(three.begin(), three.end() - 4);
  std::vector<uint8_t> garbage = three;
  garbage.back() = 0x00;
  struct sCase {
    const char* name;
    std::vector<uint8_t> file;
    int32_t count;
  };
  const sCase cases[] = {{"with trailer", three, 3},
                         {"without trailer", noTrailer, 3},
                         {"cut inside an image", cutInside, 2},
                         {"a byte that is no block", garbage, -1}};
  for (const sCase& c : cases) {
    sFile f(c.file);
    cPictGIF gif;
    EXPECT_EQ(gif.GetImageCount(f.at0()), c.count) << c.name;
  }
  // The images of a file without trailer still load.
  sFile f(noTrailer);
  cPictGIF gif;
  ASSERT_TRUE(gif.LoadImage(f.at0(), 2));
  EXPECT_EQ(TopDown(gif), (std::vector<uint32_t>{Colour(2)}));
}

TEST(PictGif, TransparencyAndItsInheritance) {
  // The control extension before image 0 also rules image 1; image 2 has
  // its own.
  sImage first{2, 2, {0, 3, 3, 1}};
  first.controlIndex = 3;
  sImage third{2, 1, {3, 1}};
  third.controlIndex = 1;
  sFile f(Gif({first, {2, 1, {3, 2}}, third}));
  const std::vector<std::vector<uint32_t>> expected = {
      {Colour(0), kClear, kClear, Colour(1)}, {kClear, Colour(2)}, {Colour(3), kClear}};
  for (int32_t i = 0; i < 3; ++i) {
    cPictGIF gif;
    ASSERT_TRUE(gif.LoadImage(f.at0(), i)) << i;
    EXPECT_EQ(TopDown(gif), expected[static_cast<size_t>(i)]) << i;
  }
  // Without any extension no pixel is transparent.
  sFile plain(Gif({{2, 1, {3, 0}}}));
  cPictGIF gif;
  ASSERT_TRUE(gif.Load(plain.at0()));
  EXPECT_EQ(TopDown(gif), (std::vector<uint32_t>{Colour(3), Colour(0)}));
}

TEST(PictGif, InterlacedRowsComeInFourPasses) {
  // 10 rows of width 1 stored in the order 0, 8, 4, 2, 6, 1, 3, 5, 7, 9;
  // each carries its row number mod 4, so the picture counts up.
  const int order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  std::vector<uint8_t> data(10);
  for (int k = 0; k < 10; ++k) data[static_cast<size_t>(k)] = static_cast<uint8_t>(order[k] % 4);
  sImage im{1, 10, data};
  im.interlaced = true;
  sFile f(Gif({im}));
  cPictGIF gif;
  ASSERT_TRUE(gif.Load(f.at0()));
  std::vector<uint32_t> expected;
  for (int r = 0; r < 10; ++r) expected.push_back(Colour(r % 4));
  EXPECT_EQ(TopDown(gif), expected);
}

TEST(PictGif, ColourTables) {
  // A local table replaces the global one; indexes beyond the table are
  // transparent white.
  sImage local{2, 1, {1, 0}};
  local.localEntries = 2;
  sFile f(Gif({local, {2, 1, {1, 3}}}, 2));
  cPictGIF gif;
  ASSERT_TRUE(gif.LoadImage(f.at0(), 0));
  EXPECT_EQ(TopDown(gif), (std::vector<uint32_t>{Colour(1) | 0x7700u, Colour(0) | 0x7700u}));
  ASSERT_TRUE(gif.LoadImage(f.at0(), 1));
  EXPECT_EQ(TopDown(gif), (std::vector<uint32_t>{Colour(1), kClear}));
  // No table at all: the image fails.
  sFile none(Gif({{1, 1, {0}}}, 0));
  EXPECT_FALSE(gif.Load(none.at0()));
}

TEST(PictGif, DataThatEndsEarlyStillDecodes) {
  // 3 pixels of data (5 codes of 3 bits, so the padding holds no code) for
  // a 3 x 2 image, and no end code: the rest stays 0.
  sImage im{3, 2, {1, 2, 3}};
  im.withEnd = false;
  sFile f(Gif({im}));
  cPictGIF gif;
  ASSERT_TRUE(gif.Load(f.at0()));
  EXPECT_EQ(TopDown(gif), (std::vector<uint32_t>{Colour(1), Colour(2), Colour(3), 0u, 0u, 0u}));
}

TEST(PictGif, FittedLoadingAndTheFactory) {
  std::vector<uint8_t> idx(16 * 8, 2);
  sFile f(Gif({{16, 8, idx}}, 4, true, 16, 8));
  cPictGIF gif;
  cPictDummy dest;
  ASSERT_TRUE(gif.LoadImageFitted(f.at0(), &dest, 4, 4, 0, false, 0));
  EXPECT_EQ(dest.GetWidth(), 4);
  EXPECT_EQ(dest.GetHeight(), 2);
  EXPECT_EQ(dest.Pixels32().data[0], Colour(2));
  EXPECT_EQ(gif.GetAttachedCanvas(), nullptr);
  cPictDummy same;
  ASSERT_TRUE(gif.LoadImageFitted(f.at0(), &same, 100, 100, 0, false, 0));
  EXPECT_EQ(same.GetWidth(), 16);  // never enlarged

  sPictInfo info;
  std::unique_ptr<cPictBase> p(CreatePicture(f.at0(), &info));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetFormat(), kPictFormatGIF);
  EXPECT_EQ(p->GetImageCount(f.at0()), 1);
}

}  // namespace
