// The PNG decoder against pixels computed from the fixtures' own samples:
// every colour type and depth, interlaced or not, every filter, tRNS, IDAT
// split into 1-byte chunks, damaged files, and streaming into canvases.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_png.h"
#include "tests/picture/png_expect.h"
#include "tests/support/png_writer.h"

using twtest::sPngImage;

namespace {

struct sKind {
  uint8_t type, depth;
};
constexpr sKind kKinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                            {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

bool Decode(cPictPNG& png, const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  return png.Load(&io);
}

std::string Describe(const sPngImage& img) {
  return "type " + std::to_string(img.colourType) + " depth " + std::to_string(img.bitDepth) + " " +
         std::to_string(img.width) + "x" + std::to_string(img.height) + " interlace " +
         std::to_string(img.interlace) + " filter " + std::to_string(img.filter);
}

// Every pixel of the decoded buffer equals the expected one; the first
// difference is reported.
void ExpectPixels(const cPictPNG& png, const sPngImage& img) {
  ASSERT_EQ(png.GetWidth(), static_cast<int32_t>(img.width)) << Describe(img);
  ASSERT_EQ(png.GetHeight(), static_cast<int32_t>(img.height)) << Describe(img);
  ASSERT_EQ(png.IsHighDepth(), img.bitDepth == 16) << Describe(img);
  for (uint32_t y = 0; y < img.height; ++y) {
    const size_t row = static_cast<size_t>(img.height - 1 - y) * img.width;  // bottom-up
    for (uint32_t x = 0; x < img.width; ++x) {
      if (img.bitDepth == 16) {
        ASSERT_EQ(png.Pixels64().data[row + x], twtest::ExpectedPixel64(img, x, y))
            << Describe(img) << " at " << x << "," << y;
      } else {
        ASSERT_EQ(png.Pixels32().data[row + x], twtest::ExpectedPixel32(img, x, y))
            << Describe(img) << " at " << x << "," << y;
      }
    }
  }
}

TEST(PictPng, EveryTypeDepthInterlaceAndFilter) {
  const uint32_t sizes[][2] = {{1, 1}, {5, 3}, {17, 11}, {40, 9}};
  uint32_t seed = 1;
  for (const sKind& k : kKinds) {
    for (uint8_t interlace : {0, 1}) {
      for (const auto& sz : sizes) {
        for (int filter = -1; filter <= 4; ++filter) {
          sPngImage img = twtest::MakeTestImage(sz[0], sz[1], k.type, k.depth, seed++);
          img.interlace = interlace;
          img.filter = filter;
          cPictPNG png;
          ASSERT_TRUE(Decode(png, twtest::EncodePng(img))) << Describe(img);
          ExpectPixels(png, img);
        }
      }
    }
  }
}

TEST(PictPng, ImageDataInOneByteChunks) {
  for (const sKind& k : kKinds) {
    for (uint8_t interlace : {0, 1}) {
      sPngImage img = twtest::MakeTestImage(13, 7, k.type, k.depth, 99);
      img.interlace = interlace;
      cPictPNG png;
      ASSERT_TRUE(Decode(png, twtest::EncodePng(img, 1))) << Describe(img);
      ExpectPixels(png, img);
    }
  }
}

TEST(PictPng, TransparencyChunks) {
  struct sCase {
    uint8_t type, depth;
    std::vector<uint8_t> trns;
  };
  const sCase cases[] = {
      {0, 16, {0x12, 0x34}},
      {0, 4, {0x00, 0x05}},
      {0, 8, {0x00, 0x40}},
      {2, 8, {0, 10, 0, 20, 0, 30}},
      {2, 16, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}},
      {3, 4, {0, 128, 7}},
      {3, 8, {}},
  };
  for (const sCase& c : cases) {
    sPngImage img = twtest::MakeTestImage(9, 6, c.type, c.depth, 5);
    img.trns = c.trns;
    // Make sure the key value occurs: pixel (0, 0) takes it.
    if (c.type == 0 || c.type == 2) {
      const int spp = img.SamplesPerPixel();
      for (int s = 0; s < spp; ++s) {
        const uint32_t v = static_cast<uint32_t>(c.trns[2 * s]) << 8 | c.trns[2 * s + 1];
        if (c.depth == 16) {
          img.rows[2 * s] = static_cast<uint8_t>(v >> 8);
          img.rows[2 * s + 1] = static_cast<uint8_t>(v);
        } else if (c.depth == 8) {
          img.rows[s] = static_cast<uint8_t>(v);
        } else {
          img.rows[0] = static_cast<uint8_t>((img.rows[0] & 0x0F) | v << 4);
        }
      }
    }
    cPictPNG png;
    ASSERT_TRUE(Decode(png, twtest::EncodePng(img))) << Describe(img);
    ExpectPixels(png, img);
    if (c.type == 0 || c.type == 2) {
      const size_t top = static_cast<size_t>(img.height - 1) * img.width;
      if (c.depth == 16) {
        EXPECT_EQ(png.Pixels64().data[top] >> 48, 0u) << Describe(img);
      } else {
        EXPECT_EQ(png.Pixels32().data[top] >> 24, 0u) << Describe(img);
      }
    }
  }
}

// A small valid file and ways to damage it.
std::vector<uint8_t> SmallPng(uint8_t type = 2, uint8_t depth = 8) {
  return twtest::EncodePng(twtest::MakeTestImage(6, 4, type, depth, 3));
}

std::vector<uint8_t> Chunked(const sPngImage& img, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks) {
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  (void)img;
  for (const auto& c : chunks) twtest::PngAppendChunk(out, c.first, c.second);
  return out;
}

TEST(PictPng, EveryTruncationFailsCleanly) {
  for (uint8_t interlace : {0, 1}) {
    sPngImage img = twtest::MakeTestImage(7, 5, 6, 16, 11);
    img.interlace = interlace;
    const std::vector<uint8_t> file = twtest::EncodePng(img, 9);
    for (size_t n = 0; n < file.size(); ++n) {
      std::vector<uint8_t> cut(file.begin(), file.begin() + n);
      cPictPNG png;
      EXPECT_FALSE(Decode(png, cut)) << "cut at " << n;
    }
  }
}

TEST(PictPng, DamagedChunksFail) {
  const sPngImage rgb = twtest::MakeTestImage(6, 4, 2, 8, 3);
  const std::vector<uint8_t> hdr = twtest::PngHeaderData(rgb);
  const std::vector<uint8_t> z = twtest::ZlibCompress(twtest::PngFilteredData(rgb), 6);
  sPngImage pal = twtest::MakeTestImage(6, 4, 3, 2, 3);
  const std::vector<uint8_t> palHdr = twtest::PngHeaderData(pal);
  const std::vector<uint8_t> palZ = twtest::ZlibCompress(twtest::PngFilteredData(pal), 6);
  auto header = [&](uint8_t depth, uint8_t type, uint8_t interlace = 0, uint8_t filter = 0) {
    std::vector<uint8_t> h = hdr;
    h[8] = depth;
    h[9] = type;
    h[11] = filter;
    h[12] = interlace;
    return h;
  };
  std::vector<uint8_t> wide = hdr;  // 32768 x 32768: 2^30 pixels
  wide[0] = 0, wide[1] = 0, wide[2] = 0x80, wide[3] = 0;
  wide[4] = 0, wide[5] = 0, wide[6] = 0x80, wide[7] = 0;
  std::vector<uint8_t> palIndexOut(pal.palette.begin(), pal.palette.begin() + 3);  // one entry only
  struct sCase {
    const char* what;
    std::vector<uint8_t> file;
  };
  const std::vector<sCase> cases = {
      {"second IHDR", Chunked(rgb, {{"IHDR", hdr}, {"IHDR", hdr}, {"IDAT", z}, {"IEND", {}}})},
      {"IHDR after IDAT", Chunked(rgb, {{"IHDR", hdr}, {"IDAT", z}, {"IHDR", hdr}, {"IEND", {}}})},
      {"IHDR after PLTE", Chunked(pal, {{"IHDR", palHdr}, {"PLTE", pal.palette}, {"IHDR", palHdr}, {"IDAT", palZ}, {"IEND", {}}})},
      {"IDAT before IHDR", Chunked(rgb, {{"IDAT", z}, {"IHDR", hdr}, {"IEND", {}}})},
      {"IHDR short", Chunked(rgb, {{"IHDR", std::vector<uint8_t>(hdr.begin(), hdr.begin() + 12)}, {"IDAT", z}, {"IEND", {}}})},
      {"width 0", Chunked(rgb, {{"IHDR", [&] { auto h = hdr; h[3] = 0; h[2] = 0; return h; }()}, {"IDAT", z}, {"IEND", {}}})},
      {"2^30 pixels", Chunked(rgb, {{"IHDR", wide}, {"IDAT", z}, {"IEND", {}}})},
      {"RGB depth 4", Chunked(rgb, {{"IHDR", header(4, 2)}, {"IDAT", z}, {"IEND", {}}})},
      {"palette depth 16", Chunked(rgb, {{"IHDR", header(16, 3)}, {"IDAT", z}, {"IEND", {}}})},
      {"colour type 5", Chunked(rgb, {{"IHDR", header(8, 5)}, {"IDAT", z}, {"IEND", {}}})},
      {"interlace 2", Chunked(rgb, {{"IHDR", header(8, 2, 2)}, {"IDAT", z}, {"IEND", {}}})},
      {"filter method 1", Chunked(rgb, {{"IHDR", header(8, 2, 0, 1)}, {"IDAT", z}, {"IEND", {}}})},
      {"empty IDAT", Chunked(rgb, {{"IHDR", hdr}, {"IDAT", {}}, {"IDAT", z}, {"IEND", {}}})},
      {"IEND with data", Chunked(rgb, {{"IHDR", hdr}, {"IDAT", z}, {"IEND", {0}}})},
      {"no IEND", Chunked(rgb, {{"IHDR", hdr}, {"IDAT", z}})},
      {"zlib garbage", Chunked(rgb, {{"IHDR", hdr}, {"IDAT", {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF}}, {"IEND", {}}})},
      {"tRNS before PLTE", Chunked(pal, {{"IHDR", palHdr}, {"tRNS", {1}}, {"PLTE", pal.palette}, {"IDAT", palZ}, {"IEND", {}}})},
      {"tRNS on RGBA", Chunked(rgb, {{"IHDR", header(8, 6)}, {"tRNS", {0, 0}}, {"IEND", {}}})},
      {"tRNS grey too long", Chunked(rgb, {{"IHDR", header(8, 0)}, {"tRNS", {0, 1, 2}}, {"IEND", {}}})},
      {"tRNS grey value out of range", Chunked(rgb, {{"IHDR", header(2, 0)}, {"tRNS", {0, 4}}, {"IEND", {}}})},
      {"tRNS RGB8 value above 255", Chunked(rgb, {{"IHDR", hdr}, {"tRNS", {0, 0, 1, 0, 0, 0}}, {"IEND", {}}})},
      {"PLTE too many entries", Chunked(pal, {{"IHDR", palHdr}, {"PLTE", std::vector<uint8_t>(15, 1)}, {"IEND", {}}})},
      {"PLTE not triplets", Chunked(pal, {{"IHDR", palHdr}, {"PLTE", {1, 2, 3, 4}}, {"IEND", {}}})},
      {"palette index beyond PLTE", Chunked(pal, {{"IHDR", palHdr}, {"PLTE", palIndexOut}, {"IDAT", palZ}, {"IEND", {}}})},
      {"palette without PLTE", Chunked(pal, {{"IHDR", palHdr}, {"IDAT", palZ}, {"IEND", {}}})},
  };
  for (const sCase& c : cases) {
    cPictPNG png;
    EXPECT_FALSE(Decode(png, c.file)) << c.what;
  }
  // A wrong CRC in any chunk fails, including chunks nobody reads.
  std::vector<uint8_t> withText = Chunked(rgb, {{"IHDR", hdr}, {"tEXt", {'a', 0, 'b'}}, {"IDAT", z}, {"IEND", {}}});
  {
    cPictPNG png;
    EXPECT_TRUE(Decode(png, withText)) << "unknown chunk with a good CRC is skipped";
  }
  size_t at = 8;
  while (at < withText.size()) {
    const uint32_t len = static_cast<uint32_t>(withText[at]) << 24 | withText[at + 1] << 16 | withText[at + 2] << 8 | withText[at + 3];
    std::vector<uint8_t> bad = withText;
    bad[at + 8 + len + 3] ^= 1;
    cPictPNG png;
    EXPECT_FALSE(Decode(png, bad)) << "bad CRC of the chunk at " << at;
    at += 12 + len;
  }
  std::vector<uint8_t> badSig = SmallPng();
  badSig[1] = 'p';
  cPictPNG png;
  EXPECT_FALSE(Decode(png, badSig));
}

TEST(PictPng, EarlyEndExcessDataFilterFiveAndInterlace255) {
  sPngImage img = twtest::MakeTestImage(8, 6, 2, 8, 21);
  img.filter = 0;
  std::vector<uint8_t> data = twtest::PngFilteredData(img);
  // Only the first three rows, then a valid IEND: success, rows 3.. stay 0.
  const size_t rowSize = img.RowBytes(img.width) + 1;
  std::vector<uint8_t> part(data.begin(), data.begin() + 3 * rowSize);
  {
    cPictPNG png;
    ASSERT_TRUE(Decode(png, twtest::PngFromCompressed(img, twtest::ZlibCompress(part, 6))));
    for (uint32_t y = 0; y < img.height; ++y)
      for (uint32_t x = 0; x < img.width; ++x)
        EXPECT_EQ(png.Pixels32().data[(img.height - 1 - y) * img.width + x], y < 3 ? twtest::ExpectedPixel32(img, x, y) : 0u);
  }
  // Two extra rows of data beyond the height are ignored.
  std::vector<uint8_t> more = data;
  more.insert(more.end(), 2 * rowSize, 7);
  {
    cPictPNG png;
    ASSERT_TRUE(Decode(png, twtest::PngFromCompressed(img, twtest::ZlibCompress(more, 6))));
    ExpectPixels(png, img);
  }
  // Filter type 5 and above leaves the row as it is.
  img.filter = 5;
  {
    cPictPNG png;
    ASSERT_TRUE(Decode(png, twtest::EncodePng(img)));
    ExpectPixels(png, img);
  }
  // Interlace method 255 decodes as not interlaced.
  img.filter = -1;
  std::vector<uint8_t> file = twtest::EncodePng(img);
  std::vector<uint8_t> hdr = twtest::PngHeaderData(img);
  hdr[12] = 255;
  std::vector<uint8_t> file255 = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  twtest::PngAppendChunk(file255, "IHDR", hdr);
  file255.insert(file255.end(), file.begin() + 8 + 25, file.end());
  {
    cPictPNG png;
    ASSERT_TRUE(Decode(png, file255));
    ExpectPixels(png, img);
  }
}

TEST(PictPng, HeaderOnlyProbe) {
  // A damaged body still probes true: only IHDR is read.
  std::vector<uint8_t> file = SmallPng();
  file.resize(8 + 25 + 10);
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  sPictInfo info;
  EXPECT_TRUE(cPictPNG::Detect(&io, &info));
  EXPECT_EQ(info.width, 6);
  EXPECT_EQ(info.height, 4);
  EXPECT_FALSE(info.hasPreview);
  io.Seek(0);
  cPictPNG png;
  EXPECT_TRUE(png.ReadInfo(&io, nullptr));
  io.Seek(0);
  EXPECT_FALSE(png.Load(&io));
  // A header-only read after a decode leaves the picture alone.
  const std::vector<uint8_t> whole = SmallPng();
  cBufWrapperIO wio(whole.data(), static_cast<uint32_t>(whole.size()));
  ASSERT_TRUE(png.Load(&wio));
  int32_t w = 0, h = 0;
  EXPECT_FALSE(png.GetImageInfo(&wio, 0, w, h));  // from where Load left off: no signature there
  EXPECT_TRUE(png.HasPixels());
  wio.Seek(0);
  ASSERT_TRUE(png.GetImageInfo(&wio, 0, w, h));
  EXPECT_EQ(w, 6);
  EXPECT_TRUE(png.HasPixels());
  EXPECT_EQ(png.GetWidth(), 6);
  // A broken IHDR CRC is not accepted even in header-only mode.
  file[8 + 8 + 13] ^= 0xFF;
  cBufWrapperIO io2(file.data(), static_cast<uint32_t>(file.size()));
  EXPECT_FALSE(cPictPNG::Detect(&io2, &info));
}

TEST(PictPng, OneObjectDecodesAgain) {
  cPictPNG png;
  const sPngImage a = twtest::MakeTestImage(9, 5, 6, 8, 1);
  sPngImage b = twtest::MakeTestImage(4, 11, 0, 16, 2);
  b.interlace = 1;
  ASSERT_TRUE(Decode(png, twtest::EncodePng(a)));
  ExpectPixels(png, a);
  std::vector<uint8_t> bad = twtest::EncodePng(b);
  bad.resize(bad.size() - 30);
  EXPECT_FALSE(Decode(png, bad));  // leaves the zlib stream mid-way
  ASSERT_TRUE(Decode(png, twtest::EncodePng(b)));
  ExpectPixels(png, b);
  ASSERT_TRUE(Decode(png, twtest::EncodePng(a)));
  ExpectPixels(png, a);
}

// A decoder whose row hook throws: the exception must not leave ReadChunks.
class cThrowingPng : public cPictPNG {
public:
  bool OverrideRow32(uint32_t*, int32_t) override { throw std::runtime_error("row"); }
};

TEST(PictPng, ExceptionsBecomeFailures) {
  cThrowingPng png;
  const std::vector<uint8_t> file = SmallPng();
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  png.SetHeaderOnly(false);
  EXPECT_FALSE(png.ReadChunks(&io));
  io.Seek(0);
  EXPECT_FALSE(png.Load(&io));
}

// Streaming into a canvas at least as large as the picture gives the
// buffered pixels, centred, with the background around them.
TEST(PictPng, StreamingIntoLargerCanvasMatchesBuffered) {
  for (const sKind& k : kKinds) {
    for (uint8_t interlace : {0, 1}) {
      sPngImage img = twtest::MakeTestImage(11, 6, k.type, k.depth, 77);
      img.interlace = interlace;
      const std::vector<uint8_t> file = twtest::EncodePng(img, 5);
      cPictPNG buffered;
      ASSERT_TRUE(Decode(buffered, file));
      _typebuf<uint32_t> want;
      ASSERT_TRUE(buffered.GetPixels32(want));

      std::vector<uint32_t> pixels(20 * 9, 0x12345678);
      sPictCanvas canvas;
      canvas.pixels = pixels.data();
      canvas.width = 20;
      canvas.height = 9;
      canvas.background = 0xFF00FF00;
      cPictPNG streamed;
      ASSERT_TRUE(streamed.AttachCanvas(&canvas));
      ASSERT_TRUE(Decode(streamed, file)) << Describe(img);
      EXPECT_EQ(streamed.GetAttachedCanvas(), nullptr);
      EXPECT_FALSE(streamed.HasPixels());
      const int mx = (20 - 11) / 2, my = (9 - 6) / 2;
      for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 20; ++x) {
          const bool inside = x >= mx && x < mx + 11 && y >= my && y < my + 6;
          const uint32_t expect = inside ? want.data[(y - my) * 11 + (x - mx)] : 0xFF00FF00u;
          ASSERT_EQ(pixels[y * 20 + x], expect) << Describe(img) << " at " << x << "," << y;
        }
      }
    }
  }
}

// Streaming into a smaller canvas accumulates exactly as putting the
// buffered pixels through the same operations in the decoder's order.
TEST(PictPng, StreamingShrinkMatchesPuttingBufferedPixels) {
  for (int canvasSide : {3, 7, 12}) {  // nearest-cell and shared-cell scales
    sPngImage img = twtest::MakeTestImage(16, 14, 6, 8, 8);
    const std::vector<uint8_t> file = twtest::EncodePng(img);
    cPictPNG buffered;
    ASSERT_TRUE(Decode(buffered, file));

    std::vector<uint32_t> a(canvasSide * canvasSide, 1), b(canvasSide * canvasSide, 1);
    sPictCanvas ca{a.data(), canvasSide, canvasSide, 0, 0, 0xFF0000FF, 1.0, 0};
    sPictCanvas cb = ca;
    cb.pixels = b.data();
    cPictPNG streamed;
    streamed.AttachCanvas(&ca);
    ASSERT_TRUE(Decode(streamed, file));

    cPictDummy manual;
    ASSERT_TRUE(manual.AllocatePixels32(16, 14));
    manual.AttachCanvas(&cb);
    ASSERT_TRUE(manual.BeginCanvasOutput());
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 16; ++x) manual.PutCanvasPixel(x, 13 - y, buffered.Pixels32().data[(13 - y) * 16 + x]);
    manual.EndCanvasOutput();
    EXPECT_EQ(a, b) << "canvas " << canvasSide;
  }
}

}  // namespace
