// The TIFF decoder over builder-made files: pages and the next-IFD chain,
// strip and tile geometry, the photometric row writers, PackBits and the
// predictor, the Photoshop thumbnail, fitted loading, a stream that closes
// mid-decode, and one small fixture for each hostile-file fault it mends
// (unsigned RowsPerStrip, unchecked sizes, cycles, narrow JPEG strips, tile
// byte counts, tile placement, resource byte order, uncleared buffers).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/ccitt_fax.h"
#include "picture/pict_factory.h"
#include "picture/pict_tiff.h"
#include "tests/picture/jpeg_writer.h"
#include "tests/support/tiff_builder.h"

namespace {

using namespace twtest;

// Rows top-down as the file stores them, from the picture's bottom-up
// buffer.
uint32_t At(cPictBase& p, int x, int y) {
  return p.Pixels32().data[static_cast<int64_t>(p.GetHeight() - 1 - y) * p.GetWidth() + x];
}
uint64_t At64(cPictBase& p, int x, int y) {
  return p.Pixels64().data[static_cast<int64_t>(p.GetHeight() - 1 - y) * p.GetWidth() + x];
}

bool LoadTiff(cPictTIFF& t, const std::vector<uint8_t>& f, int page = 0) {
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  return page == 0 ? t.Load(&io) : t.LoadImage(&io, page);
}

std::vector<uint8_t> GreyJpeg(int w, int h, int dc) {
  std::vector<uint8_t> f = {0xFF, 0xD8};
  std::vector<uint8_t> q{0x00};
  for (int i = 0; i < 64; ++i) q.push_back(1);
  Segment(f, 0xDB, q);
  Segment(f, 0xC0, FrameBody(8, w, h, {{1, 0x11, 0}}));
  std::vector<uint8_t> t = FlatTable(0x00, 17);
  const std::vector<uint8_t> ac = FlatTable(0x10, 255);
  t.insert(t.end(), ac.begin(), ac.end());
  Segment(f, 0xC4, t);
  Segment(f, 0xDA, ScanBody({{1, 0x00}}, 0, 63, 0));
  cJpegBits bits;
  for (int i = 0; i < (w / 8) * (h / 8); ++i) PutBlock(bits, i == 0 ? dc : 0, {});
  const std::vector<uint8_t> data = bits.Finish();
  f.insert(f.end(), data.begin(), data.end());
  Append(f, {0xFF, 0xD9});
  return f;
}

TEST(PictTiff, RgbInEveryLayoutIsStoredBottomUp) {
  for (bool be : {false, true})
    for (bool big : {false, true}) {
      sTiffImage im;
      im.width = 2;
      im.height = 2;
      im.samples = 3;
      im.photometric = 2;
      im.strips = {{255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30}};
      const auto f = MakeTiff(im, be, big);
      cPictTIFF t;
      sPictInfo info;
      cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
      ASSERT_TRUE(t.ReadInfo(&io, &info));
      EXPECT_EQ(info.width, 2);
      ASSERT_TRUE(LoadTiff(t, f)) << be << big;
      EXPECT_EQ(t.GetFormat(), 2);
      EXPECT_EQ(At(t, 0, 0), 0xFFFF0000u);
      EXPECT_EQ(At(t, 1, 0), 0xFF00FF00u);
      EXPECT_EQ(At(t, 0, 1), 0xFF0000FFu);
      EXPECT_EQ(At(t, 1, 1), 0xFF0A141Eu);
      EXPECT_EQ(t.Pixels32().data[0], 0xFF0000FFu) << "row 0 of the buffer is the bottom row";
    }
}

struct sWriterCase {
  const char* what;
  uint16_t samples, bits, photometric, sampleFormat;
  bool bigEndian;
  std::vector<uint8_t> data;
  int width;
  bool ok;
  std::vector<uint64_t> pixels;  // first row; 32-bit or 64-bit by bits
};

TEST(PictTiff, RowWriters) {
  const std::vector<sWriterCase> cases = {
      {"1-bit WhiteIsZero", 1, 1, 0, 0, false, {0xF0}, 8, true,
       {0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}},
      {"1-bit BlackIsZero", 1, 1, 1, 0, false, {0xF0}, 8, true,
       {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000}},
      {"2-bit grey", 1, 2, 1, 0, false, {0x1B}, 4, true, {0xFF000000, 0xFF505050, 0xFFA0A0A0, 0xFFF0F0F0}},
      {"4-bit grey", 1, 4, 1, 0, false, {0x0F}, 2, true, {0xFF000000, 0xFFFFFFFF}},
      {"8-bit WhiteIsZero", 1, 8, 0, 0, false, {0, 200}, 2, true, {0xFFFFFFFF, 0xFF373737}},
      {"grey with alpha", 2, 8, 1, 0, false, {100, 50}, 1, true, {0x32646464}},
      {"RGB", 3, 8, 2, 0, false, {255, 0, 0}, 1, true, {0xFFFF0000}},
      {"RGBA", 4, 8, 2, 0, false, {0, 0, 255, 128}, 1, true, {0x800000FF}},
      {"CMYK white", 4, 8, 5, 0, false, {0, 0, 0, 0}, 1, true, {0xFFFFFFFF}},
      {"CMYK black", 4, 8, 5, 0, false, {0, 0, 0, 255}, 1, true, {0xFF000000}},
      {"CMYK with alpha", 5, 8, 5, 0, false, {255, 0, 0, 0, 77}, 1, true, {0x4D00FFFF}},
      {"YCbCr uncompressed", 3, 8, 6, 0, false, {1, 2, 3}, 1, true, {0}},
      {"signed 8-bit", 1, 8, 1, 2, false, {1}, 1, false, {}},
      {"16-bit big-endian", 1, 16, 1, 0, true, {0x12, 0x34}, 1, true, {0xFFFF123412341234ull}},
      {"16-bit little-endian", 1, 16, 1, 0, false, {0x12, 0x34}, 1, true, {0xFFFF341234123412ull}},
      {"32-bit float 0.5", 1, 32, 1, 3, false, {0, 0, 0, 0x3F}, 1, true, {0xFFFF800080008000ull}},
      {"16-bit float 1.0", 1, 16, 1, 3, true, {0x3C, 0x00}, 1, true, {0xFFFFFFFFFFFFFFFFull}},
      {"24-bit float", 1, 24, 1, 3, true, {0x3F, 0x00, 0x00}, 1, true, {0xFFFFFFFFFFFFFFFFull}},
      {"12-bit float refused", 1, 12, 1, 3, true, {0, 0}, 1, false, {}},
      {"12-bit unsigned", 1, 12, 1, 1, true, {0xAB, 0xC0}, 1, true, {0xFFFFABC0ABC0ABC0ull}},
      {"32-bit unsigned little-endian", 1, 32, 1, 1, false, {0x11, 0x22, 0x33, 0x44}, 1, true,
       {0xFFFF443344334433ull}},
  };
  for (const sWriterCase& c : cases) {
    sTiffImage im;
    im.width = c.width;
    im.height = 1;
    im.samples = c.samples;
    im.bits = c.bits;
    im.photometric = c.photometric;
    im.sampleFormat = c.sampleFormat;
    im.strips = {c.data};
    cPictTIFF t;
    const bool ok = LoadTiff(t, MakeTiff(im, c.bigEndian));
    EXPECT_EQ(ok, c.ok) << c.what;
    if (!ok || !c.ok) continue;
    for (size_t x = 0; x < c.pixels.size(); ++x) {
      if (c.bits > 8) EXPECT_EQ(At64(t, static_cast<int>(x), 0), c.pixels[x]) << c.what << " x " << x;
      else EXPECT_EQ(At(t, static_cast<int>(x), 0), c.pixels[x]) << c.what << " x " << x;
    }
  }
}

TEST(PictTiff, CieLabAndConverters) {
  // L* 100, a* and b* 0: white, near 255 in every channel.
  const uint32_t s[3] = {255, 0, 0};
  const uint32_t p = cPictTIFF::ConvertPixel8(s, 3, 8);
  EXPECT_EQ(p >> 24, 255u);
  EXPECT_GT(p & 0xFF, 240u);
  // a* = -128 read as a signed byte: green dominates.
  const uint32_t s2[3] = {255, 128, 128};
  const uint32_t q = cPictTIFF::ConvertPixel8(s2, 3, 8);
  EXPECT_GT((q >> 8) & 0xFF, (q >> 16) & 0xFF);
  const uint32_t rgb[4] = {1, 2, 3, 4};
  EXPECT_EQ(cPictTIFF::ConvertPixel8(rgb, 4, 65534), 0x04030201u);
  EXPECT_EQ(cPictTIFF::ConvertPixel8(rgb, 4, 7), 0u);
  const uint8_t row[] = {0xAB, 0xCD, 0xEF};
  EXPECT_EQ(cPictTIFF::GetSampleBits(12, row, 4), 0xBCDu);
  EXPECT_EQ(cPictTIFF::GetSampleBits64(20, row, 4), 0xBCDEFu);
}

TEST(PictTiff, PaletteIndexBeyondTheMapFails) {
  for (uint8_t index : {uint8_t{1}, uint8_t{2}}) {
    sTiffImage im;
    im.width = 1;
    im.photometric = 3;
    im.colorMap = {0x1100, 0xFF00, 0x2200, 0xEE00, 0x3300, 0xDD00};  // 2 entries
    im.strips = {{index}};
    cPictTIFF t;
    const bool ok = LoadTiff(t, MakeTiff(im, true));
    EXPECT_EQ(ok, index < 2);
    if (ok) {
      EXPECT_EQ(At(t, 0, 0), 0xFFFFEEDDu);
    }
  }
}

TEST(PictTiff, PackBits) {
  struct sCase {
    std::vector<uint8_t> in;
    bool ok;
    std::vector<uint8_t> out;
  };
  const std::vector<sCase> cases = {
      {{0xFE, 0xAA}, true, {0xAA, 0xAA, 0xAA}},
      {{0x02, 0x01, 0x02, 0x03}, true, {1, 2, 3}},
      {{0x80}, false, {}},
      {{0x80, 0x00, 0x07, 0xFF, 0x09}, true, {7, 9, 9}},
      {{0x03, 0x01}, false, {1, 0, 0, 0}},  // literal run cut off: output keeps its size
      {{0xFF}, false, {0, 0}},              // repeat without its byte
  };
  for (const sCase& c : cases) {
    _typebuf<uint8_t> out;
    EXPECT_EQ(cPictTIFF::UnpackPackBits(out, c.in.data(), static_cast<int32_t>(c.in.size())), c.ok);
    ASSERT_EQ(out.count, static_cast<int32_t>(c.out.size()));
    if (c.ok) {
      EXPECT_EQ(std::vector<uint8_t>(out.data, out.data + out.count), c.out);
    }
  }
}

TEST(PictTiff, HorizontalPredictorForEverySampleSize) {
  // Two rows of four pixels, two samples each; the differences of every
  // width are the samples' successive increments, wrapping.
  for (int bits = 1; bits <= 32; ++bits) {
    for (bool be : {false, true}) {
      if (bits > 8 && bits != 16 && bits != 32 && be == false && bits % 8 != 0) continue;
      const int spp = 2, width = 4, samples = spp * width;
      const uint64_t mask = bits == 64 ? ~0ull : (uint64_t{1} << bits) - 1;
      std::vector<uint64_t> values(samples * 2);
      for (int i = 0; i < samples * 2; ++i) values[i] = (uint64_t{0x9E3779B97F4A7C15ull} * (i + 1) >> 7) & mask;
      const int rowBytes = (samples * bits + 7) / 8;
      std::vector<uint8_t> data(rowBytes * 2, 0);
      auto put = [&](int row, int i, uint64_t v) {
        uint8_t* r = data.data() + row * rowBytes;
        if ((bits == 16 || bits == 32) && !be) {
          for (int k = 0; k < bits / 8; ++k) r[i * bits / 8 + k] = static_cast<uint8_t>(v >> (8 * k));
          return;
        }
        for (int k = 0; k < bits; ++k) {
          const int64_t b = static_cast<int64_t>(i) * bits + k;
          if ((v >> (bits - 1 - k)) & 1) r[b >> 3] |= static_cast<uint8_t>(0x80 >> (b & 7));
        }
      };
      for (int row = 0; row < 2; ++row)
        for (int i = 0; i < samples; ++i) {
          const uint64_t v = values[row * samples + i];
          const uint64_t prev = i >= spp ? values[row * samples + i - spp] : 0;
          put(row, i, i >= spp ? (v - prev) & mask : v);
        }
      ASSERT_TRUE(cPictTIFF::UndoHorizontalPredictor(data.data(), width, spp, bits, static_cast<int64_t>(data.size()), be));
      for (int row = 0; row < 2; ++row)
        for (int i = 0; i < samples; ++i) {
          uint64_t got;
          const uint8_t* r = data.data() + row * rowBytes;
          if ((bits == 16 || bits == 32) && !be) {
            got = 0;
            for (int k = bits / 8 - 1; k >= 0; --k) got = got << 8 | r[i * bits / 8 + k];
          } else {
            got = cPictTIFF::GetSampleBits64(bits, r, static_cast<int64_t>(i) * bits);
          }
          ASSERT_EQ(got, values[row * samples + i]) << bits << " bits, be " << be << ", row " << row << ", sample " << i;
        }
    }
  }
  uint8_t none[8] = {};
  EXPECT_FALSE(cPictTIFF::UndoHorizontalPredictor(none, 1, 1, 64, 8, false));
}

TEST(PictTiff, PredictorOnAFileAndRefusedFloatingPointPredictor) {
  sTiffImage im;
  im.width = 3;
  im.samples = 3;
  im.photometric = 2;
  im.predictor = 2;
  im.strips = {{10, 20, 30, 1, 1, 1, 255, 0, 1}};
  cPictTIFF t;
  ASSERT_TRUE(LoadTiff(t, MakeTiff(im)));
  EXPECT_EQ(At(t, 1, 0), 0xFF0B151Fu);
  EXPECT_EQ(At(t, 2, 0), 0xFF0A1520u);
  im.predictor = 3;
  cPictTIFF u;
  EXPECT_FALSE(LoadTiff(u, MakeTiff(im)));
}

std::vector<uint8_t> Rows(int width, int rows, int first) {
  std::vector<uint8_t> v;
  for (int r = 0; r < rows; ++r)
    for (int x = 0; x < width; ++x) v.push_back(static_cast<uint8_t>(first + r));
  return v;
}

TEST(PictTiff, StripGeometry) {
  // 10 rows in strips of 4: three strips; a fourth strip fails.
  for (int strips : {3, 4}) {
    sTiffImage im;
    im.width = 2;
    im.height = 10;
    im.rowsPerStrip = 4;
    for (int s = 0; s < strips; ++s) im.strips.push_back(Rows(2, s == 2 ? 2 : 4, 10 * s));
    cPictTIFF t;
    EXPECT_EQ(LoadTiff(t, MakeTiff(im)), strips == 3);
    if (strips == 3) {
      EXPECT_EQ(At(t, 0, 4), 0xFF0A0A0Au);
      EXPECT_EQ(At(t, 1, 9), 0xFF151515u);
    }
  }
  // One strip without byte counts: RowsPerStrip x bytes per row.
  sTiffImage one;
  one.width = 3;
  one.height = 2;
  one.writeByteCounts = false;
  one.strips = {{1, 2, 3, 4, 5, 6}};
  cPictTIFF t;
  ASSERT_TRUE(LoadTiff(t, MakeTiff(one)));
  EXPECT_EQ(At(t, 2, 1), 0xFF060606u);
  // Two strips without byte counts fail the page check.
  one.rowsPerStrip = 1;
  one.strips = {{1, 2, 3}, {4, 5, 6}};
  cPictTIFF u;
  const auto f = MakeTiff(one);
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  EXPECT_FALSE(u.ReadInfo(&io, nullptr));
}

TEST(PictTiff, UncompressedStripPastTheEndFails) {
  // A 4 x 2 grey page whose one strip of 8 bytes starts at offset.
  auto build = [](uint32_t offset) {
    cTiffBuilder b(false, false);
    const int i0 = b.AddIfd();
    b.AddLong(i0, 256, 4);
    b.AddLong(i0, 257, 2);
    b.AddShort(i0, 258, 8);
    b.AddShort(i0, 259, 1);
    b.AddShort(i0, 262, 1);
    b.AddShort(i0, 277, 1);
    b.AddLong(i0, 273, offset);
    b.AddLong(i0, 279, 8);
    return b.Build();
  };
  // Built once to learn the file size, then again with the strip pointed
  // at the last 4 bytes: its 8 bytes run past the end.
  const uint32_t at = static_cast<uint32_t>(build(0).size() - 4);
  cPictTIFF t;
  EXPECT_FALSE(LoadTiff(t, build(at)));
}

// ---- One fixture per mended fault ----

TEST(PictTiffFaults, RowsPerStripOfAllOnesMeansTheWholePicture) {
  for (uint32_t rps : {0xFFFFFFFFu, 0x80000000u, 3u, 0u}) {
    sTiffImage im;
    im.width = 2;
    im.height = 3;
    im.rowsPerStrip = rps;
    im.strips = {Rows(2, 3, 7)};
    cPictTIFF t;
    ASSERT_TRUE(LoadTiff(t, MakeTiff(im))) << rps;
    EXPECT_EQ(At(t, 0, 0), 0xFF070707u) << rps;
    EXPECT_EQ(At(t, 1, 2), 0xFF090909u) << rps;
  }
}

TEST(PictTiffFaults, HugeSizesAreRefusedBeforeAllocating) {
  struct sCase {
    uint32_t w, h;
    uint16_t samples, bits;
  };
  const std::vector<sCase> cases = {
      {0x80000000u, 1, 1, 8}, {65536, 65536, 1, 8}, {1, 0x7FFFFFFF, 1, 8}, {0x40000000u, 4, 3, 16}, {16384, 16385, 1, 1},
  };
  for (const sCase& c : cases) {
    sTiffImage im;
    im.width = 1;
    im.samples = c.samples;
    im.bits = c.bits;
    im.photometric = c.samples >= 3 ? 2 : 1;
    im.strips = {{1, 2, 3, 4, 5, 6}};
    cTiffBuilder b(false, false);
    const int i0 = b.AddIfd();
    AddTiffImage(b, i0, im);
    // Overwrite the size with the hostile one: the later entries win.
    cTiffBuilder b2(false, false);
    const int j0 = b2.AddIfd();
    im.width = static_cast<int32_t>(c.w);
    im.height = static_cast<int32_t>(c.h);
    AddTiffImage(b2, j0, im);
    cPictTIFF t;
    EXPECT_FALSE(LoadTiff(t, b2.Build())) << c.w << "x" << c.h;
    EXPECT_FALSE(t.HasPixels());
  }
}

TEST(PictTiffFaults, CyclicPageChainEndsTheCount) {
  for (int loopTo : {0, 1}) {
    cTiffBuilder b(true, false);
    int ifd[3];
    for (int i = 0; i < 3; ++i) {
      ifd[i] = b.AddIfd();
      sTiffImage im;
      im.width = 1 + i;
      im.strips = {Rows(1 + i, 1, 50 * i)};
      AddTiffImage(b, ifd[i], im);
    }
    b.SetNext(ifd[0], ifd[1]);
    b.SetNext(ifd[1], ifd[2]);
    b.SetNext(ifd[2], ifd[loopTo]);
    const auto f = b.Build();
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    cPictTIFF t;
    EXPECT_EQ(t.GetImageCount(&io), 3);
    int32_t w = 0, h = 0;
    EXPECT_TRUE(t.GetImageInfo(&io, 2, w, h));
    EXPECT_EQ(w, 3);
    EXPECT_FALSE(t.GetImageInfo(&io, 3, w, h));
    EXPECT_FALSE(t.LoadImage(&io, 3));
    ASSERT_TRUE(t.LoadImage(&io, 2));
    EXPECT_EQ(At(t, 0, 0), 0xFF646464u);
  }
}

TEST(PictTiffFaults, SelfPointingSubIfdFailsInsteadOfRecursing) {
  cTiffBuilder b(false, false);
  const int i0 = b.AddIfd();
  sTiffImage im;
  im.strips = {{1}};
  AddTiffImage(b, i0, im);
  b.AddIfdPointer(i0, 34665, i0);
  const auto f = b.Build();
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  cPictTIFF t;
  EXPECT_FALSE(t.ReadInfo(&io, nullptr));
  EXPECT_EQ(t.GetError(), kTiffCycle);
}

TEST(PictTiffFaults, ValueReachingPastTheEndIsRefused) {
  cTiffBuilder b(false, false);
  const int i0 = b.AddIfd();
  sTiffImage im;
  im.strips = {{1}};
  AddTiffImage(b, i0, im);
  b.AddShorts(i0, 320, std::vector<uint16_t>(3000, 7));
  b.OverrideLastCount(i0, 30000);  // fewer than the file's bytes, but 60000 bytes of value
  auto f = b.Build();
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  cPictTIFF t;
  EXPECT_FALSE(t.ReadInfo(&io, nullptr));
  EXPECT_TRUE(t.GetError() == kTiffBadValue || t.GetError() == kTiffBeyondLength) << t.GetError();
}

TEST(PictTiffFaults, JpegStripNarrowerThanThePageIsRefused) {
  for (int pageWidth : {8, 16}) {
    cTiffBuilder b(false, false);
    const int i0 = b.AddIfd();
    const int blk = b.AddBlock(GreyJpeg(8, 8, 160));
    b.AddLong(i0, 256, static_cast<uint32_t>(pageWidth));
    b.AddLong(i0, 257, 4);  // the JPEG's 8 rows are cut to the strip's 4
    b.AddShorts(i0, 258, {8, 8, 8});
    b.AddShort(i0, 259, 7);
    b.AddShort(i0, 262, 2);
    b.AddBlockOffsets(i0, 273, {blk});
    b.AddShort(i0, 277, 3);
    b.AddBlockSizes(i0, 279, {blk});
    cPictTIFF t;
    const bool ok = LoadTiff(t, b.Build());
    EXPECT_EQ(ok, pageWidth == 8) << pageWidth;
    if (ok) {
      EXPECT_EQ(t.GetHeight(), 4);
      EXPECT_EQ(At(t, 7, 3), 0xFF949494u) << "128 + 160 / 8";
    }
  }
}

std::vector<uint8_t> TiledFile(int width, int height, int tw, int tl, int counts, uint32_t badCount = 0) {
  cTiffBuilder b(false, false);
  const int i0 = b.AddIfd();
  std::vector<int> tiles;
  int n = 0;
  for (int ty = 0; ty < height; ty += tl)
    for (int tx = 0; tx < width; tx += tw) {
      std::vector<uint8_t> t(static_cast<size_t>(tw) * tl);
      for (int k = 0; k < tl; ++k)
        for (int x = 0; x < tw; ++x) t[static_cast<size_t>(k) * tw + x] = static_cast<uint8_t>(n * 40 + (k == 0 ? 1 : 0));
      tiles.push_back(b.AddBlock(t));
      ++n;
    }
  b.AddLong(i0, 256, static_cast<uint32_t>(width));
  b.AddLong(i0, 257, static_cast<uint32_t>(height));
  b.AddShort(i0, 258, 8);
  b.AddShort(i0, 259, 1);
  b.AddShort(i0, 262, 1);
  b.AddShort(i0, 277, 1);
  b.AddLong(i0, 322, static_cast<uint32_t>(tw));
  b.AddLong(i0, 323, static_cast<uint32_t>(tl));
  b.AddBlockOffsets(i0, 324, tiles);
  std::vector<int> counted(tiles.begin(), tiles.begin() + std::min<size_t>(tiles.size(), counts));
  if (!counted.empty()) b.AddBlockSizes(i0, 325, counted);
  if (badCount != 0) b.OverrideLastValueField(i0, badCount);
  return b.Build();
}

TEST(PictTiffFaults, TilePlacementBottomUp) {
  // 100 x 70 in tiles of 64 x 64: 2 x 2 tiles, the right and bottom ones
  // clipped to 36 columns and 6 rows; each tile's first row is marked.
  cPictTIFF t;
  ASSERT_TRUE(LoadTiff(t, TiledFile(100, 70, 64, 64, 4)));
  EXPECT_EQ(At(t, 0, 0), 0xFF010101u);
  EXPECT_EQ(At(t, 0, 1), 0xFF000000u);
  EXPECT_EQ(At(t, 99, 0), 0xFF292929u);
  EXPECT_EQ(At(t, 63, 63), 0xFF000000u);
  EXPECT_EQ(At(t, 0, 64), 0xFF515151u);
  EXPECT_EQ(At(t, 99, 64), 0xFF797979u);
  EXPECT_EQ(At(t, 99, 69), 0xFF787878u);
  // 100 x 100: the edge tiles clipped to 36 both ways.
  cPictTIFF u;
  ASSERT_TRUE(LoadTiff(u, TiledFile(100, 100, 64, 64, 4)));
  EXPECT_EQ(At(u, 64, 64), 0xFF797979u);
}

TEST(PictTiffFaults, TileByteCountsMustMatchAndStayInsideTheFile) {
  cPictTIFF t;
  EXPECT_FALSE(LoadTiff(t, TiledFile(100, 70, 64, 64, 3))) << "three counts for four tiles";
  cPictTIFF u;
  // A single count far beyond the end (one tile of the picture's size).
  EXPECT_FALSE(LoadTiff(u, TiledFile(64, 64, 64, 64, 1, 0x7FFFFFF0u)));
  cPictTIFF v;
  EXPECT_TRUE(LoadTiff(v, TiledFile(64, 64, 64, 64, 1))) << "a whole-picture tile decodes as a strip";
}

TEST(PictTiffFaults, PhotoshopResourcesAreBigEndianInLittleEndianFiles) {
  const std::vector<uint8_t> jpeg = GreyJpeg(8, 8, 40);
  std::vector<uint8_t> block(28, 0);
  const uint32_t n = static_cast<uint32_t>(jpeg.size());
  block[20] = static_cast<uint8_t>(n >> 24);
  block[21] = static_cast<uint8_t>(n >> 16);
  block[22] = static_cast<uint8_t>(n >> 8);
  block[23] = static_cast<uint8_t>(n);
  block.insert(block.end(), jpeg.begin(), jpeg.end());
  std::vector<uint8_t> res = {'8', 'B', 'I', 'M', 0x03, 0xED, 0, 0, 0, 0, 0, 2, 9, 9};  // resource 1005 first
  const uint32_t size = static_cast<uint32_t>(block.size());
  const std::vector<uint8_t> head = {'8', 'B', 'I', 'M', 0x04, 0x0C, 0, 0, static_cast<uint8_t>(size >> 24),
                                     static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 8),
                                     static_cast<uint8_t>(size)};
  res.insert(res.end(), head.begin(), head.end());
  res.insert(res.end(), block.begin(), block.end());
  // A compressed size one byte off: ignored.
  std::vector<uint8_t> off = res;
  off[14 + 12 + 23] ^= 1;
  struct sCase {
    const char* what;
    bool bigEndian;
    uint16_t type;
    const std::vector<uint8_t>& resources;
    bool preview;
  } const cases[] = {
      {"little-endian file", false, 7, res, true},
      {"big-endian file", true, 7, res, true},
      {"size one byte off", false, 1, off, false},
  };
  for (const sCase& c : cases) {
    cTiffBuilder b(c.bigEndian, false);
    const int i0 = b.AddIfd();
    sTiffImage im;
    im.strips = {{1}};
    AddTiffImage(b, i0, im);
    b.AddBytes(i0, 34377, c.type, c.resources);
    const auto f = b.Build();
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    cPictTIFF t;
    sPictInfo info;
    ASSERT_TRUE(t.ReadInfo(&io, &info)) << c.what;
    EXPECT_EQ(info.hasPreview, c.preview) << c.what;
    if (!c.preview) continue;
    cPictDummy preview;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(t.LoadPreview(&io, &preview, w, h)) << c.what;
    EXPECT_EQ(preview.GetWidth(), 8) << c.what;
    EXPECT_EQ(preview.Pixels32().data[0], 0xFF858585u) << c.what;
  }
}

TEST(PictTiffFaults, RowsNeverReachedAreClear) {
  // The second strip fails (PackBits data that gives too few bytes): the
  // rows it should have written read as transparent black.
  sTiffImage im;
  im.width = 4;
  im.height = 2;
  im.rowsPerStrip = 1;
  im.compression = 32773;
  im.strips = {{0xFD, 0x77}, {0x00, 0x01}};
  cPictTIFF t;
  EXPECT_FALSE(LoadTiff(t, MakeTiff(im)));
  ASSERT_EQ(t.Pixels32().count, 8);
  EXPECT_EQ(At(t, 0, 0), 0xFF777777u);
  EXPECT_EQ(At(t, 3, 1), 0u);
}

// A stream that reports itself closed once a number of IsOpen questions
// have been asked.
class cClosingStream : public cBufWrapperIO {
public:
  cClosingStream(const std::vector<uint8_t>& f, int openAnswers)
      : cBufWrapperIO(f.data(), static_cast<uint32_t>(f.size())), left_(openAnswers) {}
  bool IsOpen() override {
    ++asked;
    return left_-- > 0;
  }
  int asked = 0;

private:
  int left_;
};

TEST(PictTiff, ClosedStreamStopsTheWritersWithinARow) {
  for (uint16_t bits : {uint16_t{8}, uint16_t{16}}) {
    sTiffImage im;
    im.width = 3;
    im.height = 200;
    im.bits = bits;
    im.strips = {std::vector<uint8_t>(static_cast<size_t>(3 * 200 * bits / 8), 5)};
    const auto f = MakeTiff(im);
    cClosingStream s(f, 10);
    cPictTIFF t;
    EXPECT_FALSE(t.Load(&s));
    EXPECT_LE(s.asked, 11) << "one question per row, none after the first no";
    cClosingStream open(f, 1000);
    cPictTIFF u;
    EXPECT_TRUE(u.Load(&open));
  }
}

// ---- Pages ----

TEST(PictTiff, PagesAndInheritedState) {
  cTiffBuilder b(false, false);
  const int p0 = b.AddIfd(), p1 = b.AddIfd();
  sTiffImage im;
  im.width = 2;
  im.height = 2;
  im.photometric = 3;
  im.colorMap = {0, 0xFF00, 0, 0xFF00, 0, 0xFF00};
  im.strips = {{0, 1, 1, 0}};
  AddTiffImage(b, p0, im);
  // Page 1 has only its size: it inherits the strips and the colour map.
  b.AddLong(p1, 256, 1);
  b.AddLong(p1, 257, 1);
  b.SetNext(p0, p1);
  const auto f = b.Build();
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  cPictTIFF t;
  EXPECT_TRUE(t.IsMultiImage());
  EXPECT_EQ(t.GetImageCount(&io), 2);
  int32_t w = 0, h = 0;
  ASSERT_TRUE(t.GetImageInfo(&io, 1, w, h));
  EXPECT_EQ(w, 1);
  EXPECT_FALSE(t.GetImageInfo(&io, 2, w, h));
  EXPECT_FALSE(t.GetImageInfo(&io, -1, w, h));
  EXPECT_FALSE(t.LoadImage(&io, -1));
  ASSERT_TRUE(t.LoadImage(&io, 1));
  EXPECT_EQ(t.GetWidth(), 1);
  EXPECT_EQ(At(t, 0, 0), 0xFF000000u);
  ASSERT_TRUE(t.LoadImage(&io, 0));
  EXPECT_EQ(At(t, 1, 0), 0xFFFFFFFFu);
}

TEST(PictTiff, PageRefusals) {
  struct sCase {
    const char* what;
    uint16_t tag, type;
    std::vector<uint8_t> value;
    bool info, load;
  };
  const std::vector<sCase> cases = {
      {"PlanarConfiguration 0x8000", 284, 3, {0x00, 0x80}, true, false},
      {"PlanarConfiguration 3", 284, 3, {3, 0}, false, false},
      {"TileWidth 0", 322, 3, {0, 0}, false, false},
      {"Compression LONG count 2", 259, 4, {1, 0, 0, 0, 1, 0, 0, 0}, false, false},
      {"Compression 2", 259, 3, {2, 0}, true, false},
      {"BitsPerSample of no values", 258, 3, {}, false, false},
      {"SamplesPerPixel 6", 277, 3, {6, 0}, false, false},
  };
  for (const sCase& c : cases) {
    cTiffBuilder b(false, false);
    const int i0 = b.AddIfd();
    b.KeepOrder(true);
    sTiffImage im;
    im.strips = {{1}};
    AddTiffImage(b, i0, im);
    const uint32_t width = c.type == 4 ? 4 : c.type == 3 ? 2 : 1;
    b.AddRaw(i0, c.tag, c.type, c.value.size() / width, c.value);
    const auto f = b.Build();
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    cPictTIFF t;
    EXPECT_EQ(t.ReadInfo(&io, nullptr), c.info) << c.what;
    EXPECT_EQ(t.Load(&io), c.load) << c.what;
  }
}

TEST(PictTiff, PlanarRgbAndTiledPlanes) {
  sTiffImage im;
  im.width = 2;
  im.height = 2;
  im.samples = 3;
  im.photometric = 2;
  im.planar = 2;
  im.rowsPerStrip = 1;
  im.strips = {{10, 11}, {12, 13}, {20, 21}, {22, 23}, {30, 31}, {32, 33}};
  cPictTIFF t;
  ASSERT_TRUE(LoadTiff(t, MakeTiff(im, true)));
  EXPECT_EQ(At(t, 0, 0), 0xFF0A141Eu);
  EXPECT_EQ(At(t, 1, 1), 0xFF0D1721u);
  // Planar CMYK goes through the final conversion.
  im.samples = 4;
  im.photometric = 5;
  im.strips = {{0, 0}, {0, 0}, {255, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 255}, {0, 0}};
  cPictTIFF u;
  ASSERT_TRUE(LoadTiff(u, MakeTiff(im)));
  EXPECT_EQ(At(u, 0, 0), 0xFFFF00FFu) << "magenta 255";
  EXPECT_EQ(At(u, 1, 0), 0xFF000000u);
  EXPECT_EQ(At(u, 0, 1), 0xFFFFFFFFu);
}

TEST(PictTiff, FittedLoadStreamsIntoTheDestination) {
  sTiffImage im;
  im.width = 64;
  im.height = 32;
  im.samples = 3;
  im.photometric = 2;
  im.rowsPerStrip = 4;
  for (int s = 0; s < 8; ++s) {
    std::vector<uint8_t> strip;
    for (int i = 0; i < 64 * 4; ++i) {
      strip.push_back(200);
      strip.push_back(100);
      strip.push_back(50);
    }
    im.strips.push_back(strip);
  }
  const auto f = MakeTiff(im);
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  cPictTIFF t;
  cPictDummy dest;
  ASSERT_TRUE(t.LoadImageFitted(&io, &dest, 16, 16, 0, true, 0xFFFFFF));
  EXPECT_EQ(dest.GetWidth(), 16);
  EXPECT_EQ(dest.GetHeight(), 8);
  EXPECT_FALSE(t.HasPixels()) << "no full-size buffer for a fitted load";
  for (int i = 0; i < dest.Pixels32().count; ++i) ASSERT_EQ(dest.Pixels32().data[i] & 0xFFFFFF, 0xC86432u) << i;
  cPictDummy none;
  EXPECT_FALSE(t.LoadImageFitted(&io, &none, 16, 16, 0, false, 0));
  // Through the factory's fitted loading as well.
  cPictDummy viaFactory;
  io.Seek(0);
  EXPECT_EQ(LoadPictureFitted(&io, &viaFactory, 32, 32), 0);
  EXPECT_EQ(viaFactory.GetWidth(), 32);
  EXPECT_EQ(viaFactory.Pixels32().data[5] & 0xFFFFFF, 0xC86432u);
}

TEST(PictTiff, FactoryRecognisesTiff) {
  sTiffImage im;
  im.strips = {{9}};
  for (bool be : {false, true}) {
    const auto f = MakeTiff(im, be, !be);
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    std::unique_ptr<cPictBase> p(CreatePicture(&io, nullptr));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetFormat(), 2);
    EXPECT_EQ(p->Pixels32().data[0], 0xFF090909u);
  }
}

TEST(CcittFax, CodeTablesArePrefixFree) { EXPECT_TRUE(ccitt_internal::TablesArePrefixFree()); }

TEST(CcittFax, HandMadeRows) {
  // T.6, width 8: row 1 horizontal mode (white 3 "1000", black 5 "0011"),
  // row 2 V0 V0 (the same changes as the row above).
  const std::vector<uint8_t> t6 = {0x30, 0x78, 0x00, 0x00};  // 001 1000 0011 1 1 000...
  sFaxParams p;
  p.width = 8;
  p.rows = 2;
  p.bytesPerRow = 1;
  _typebuf<uint8_t> out;
  ASSERT_TRUE(DecodeFaxT6Data(t6.data(), static_cast<int32_t>(t6.size()), p, out));
  EXPECT_EQ(out.data[0], 0x1F);
  EXPECT_EQ(out.data[1], 0x1F);
  // White is one (BlackIsZero): the same data comes out inverted.
  p.whiteIsOne = true;
  ASSERT_TRUE(DecodeFaxT6Data(t6.data(), static_cast<int32_t>(t6.size()), p, out));
  EXPECT_EQ(out.data[0], 0xE0);
  // Bit-reversed input with FillOrder 2 decodes the same.
  std::vector<uint8_t> rev;
  for (uint8_t b : t6) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = static_cast<uint8_t>(r | (((b >> i) & 1) << (7 - i)));
    rev.push_back(r);
  }
  p.whiteIsOne = false;
  p.reverseBits = true;
  ASSERT_TRUE(DecodeFaxT6Data(rev.data(), static_cast<int32_t>(rev.size()), p, out));
  EXPECT_EQ(out.data[1], 0x1F);
  // The data ends inside the second row.
  p.reverseBits = false;
  p.rows = 2;
  EXPECT_FALSE(DecodeFaxT6Data(t6.data(), 1, p, out));
  // T.4 one-dimensional with fill bits before the first EOL: EOL, white 8
  // ("10011"), EOL, white 2 ("0111") black 6 ("0010"), EOL.
  // 0000 0000 0000 0001 | 10011 | 000000000001 | 0111 0010 | 000000000001
  const std::vector<uint8_t> t4 = {0x00, 0x01, 0x98, 0x00, 0x17, 0x20, 0x01};
  p.rows = 2;
  ASSERT_TRUE(DecodeFaxT4Data(t4.data(), static_cast<int32_t>(t4.size()), p, out));
  EXPECT_EQ(out.data[0], 0x00);
  EXPECT_EQ(out.data[1], 0x3F);
}

}  // namespace
