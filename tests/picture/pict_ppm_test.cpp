// The PNM decoder: header grammar (comments, token ends, limits), the three
// raw types at both sample widths, damaged and oversized files, streaming
// into a canvas, and recognition by the factory.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_ppm.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& header, std::vector<uint8_t> raster = {}) {
  std::vector<uint8_t> v(header.begin(), header.end());
  v.insert(v.end(), raster.begin(), raster.end());
  return v;
}

bool Decode(cPictPPM& p, const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  return p.Load(&io);
}

// Top-down (x, y) of the decoded 32-bit picture.
uint32_t At(const cPictPPM& p, int32_t x, int32_t y) {
  return p.Pixels32().data[static_cast<size_t>(p.GetHeight() - 1 - y) * p.GetWidth() + x];
}

TEST(PictPpm, GreyWithCommentBetweenMagicAndWidth) {
  cPictPPM p;
  ASSERT_TRUE(Decode(p, Bytes("P5\n# made by hand\n3 2\n255\n", {0, 10, 20, 30, 40, 255})));
  ASSERT_EQ(p.GetWidth(), 3);
  ASSERT_EQ(p.GetHeight(), 2);
  EXPECT_FALSE(p.IsHighDepth());
  EXPECT_EQ(At(p, 0, 0), 0xFF000000u);
  EXPECT_EQ(At(p, 2, 0), 0xFF141414u);
  EXPECT_EQ(At(p, 0, 1), 0xFF1E1E1Eu);  // first file row is the top row
  EXPECT_EQ(At(p, 2, 1), 0xFFFFFFFFu);
}

TEST(PictPpm, SamplesAreUsedAsStored) {
  cPictPPM p;
  ASSERT_TRUE(Decode(p, Bytes("P5 1 1 15\n", {15})));
  EXPECT_EQ(At(p, 0, 0), 0xFF0F0F0Fu);
  ASSERT_TRUE(Decode(p, Bytes("P6 2 1 255\n", {1, 2, 3, 0xFA, 0xFB, 0xFC})));
  EXPECT_EQ(At(p, 0, 0), 0xFF010203u);
  EXPECT_EQ(At(p, 1, 0), 0xFFFAFBFCu);
}

TEST(PictPpm, SixteenBitSamplesGiveHighDepth) {
  cPictPPM p;
  ASSERT_TRUE(Decode(p, Bytes("P6 1 2 65535\n", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0, 1, 0, 2, 0, 3})));
  ASSERT_TRUE(p.IsHighDepth());
  // Bottom-up: the second file row is buffer row 0.
  EXPECT_EQ(p.Pixels64().data[1], 0xFFFF'1234'5678'9ABCull);
  EXPECT_EQ(p.Pixels64().data[0], 0xFFFF'0001'0002'0003ull);
  ASSERT_TRUE(Decode(p, Bytes("P5 1 1 256\n", {0x01, 0x02})));
  ASSERT_TRUE(p.IsHighDepth());
  EXPECT_EQ(p.Pixels64().data[0], 0xFFFF'0102'0102'0102ull);
  // The same object decoding an 8-bit file goes back to 32-bit pixels.
  ASSERT_TRUE(Decode(p, Bytes("P5 1 1 255\n", {7})));
  EXPECT_FALSE(p.IsHighDepth());
  EXPECT_EQ(At(p, 0, 0), 0xFF070707u);
}

TEST(PictPpm, BitmapRowsArePaddedToBytesAndOneIsBlack) {
  cPictPPM p;
  // Width 10: two bytes per row. The first raster byte is a space (0x20)
  // right after the height's single whitespace byte.
  ASSERT_TRUE(Decode(p, Bytes("P4 10 2\n", {0x20, 0xC0, 0x80, 0x40})));
  const uint32_t k = 0xFF000000u, w = 0xFFFFFFFFu;
  const uint32_t row0[10] = {w, w, k, w, w, w, w, w, k, k};
  const uint32_t row1[10] = {k, w, w, w, w, w, w, w, w, k};
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(At(p, x, 0), row0[x]) << x;
    EXPECT_EQ(At(p, x, 1), row1[x]) << x;
  }
}

TEST(PictPpm, RefusedFiles) {
  struct sCase {
    const char* name;
    std::vector<uint8_t> file;
  };
  const sCase cases[] = {
      {"text form", Bytes("P3 1 1 255\n1 2 3\n")},
      {"eleven digits", Bytes("P5 00000000001 1 255\n", {0})},
      {"vertical tab", Bytes("P5\v1 1 255\n", {0})},
      {"token ended by letter", Bytes("P5 1x 1 255\n", {0})},
      {"zero width", Bytes("P5 0 1 255\n", {0})},
      {"zero height", Bytes("P6 1 0 255\n", {0, 0, 0})},
      {"all-ones width", Bytes("P5 4294967295 1 255\n", {0})},
      {"width beyond 31 bits", Bytes("P5 2147483648 1 255\n", {0})},
      {"maximum 0", Bytes("P5 1 1 0\n", {0})},
      {"maximum 65536", Bytes("P5 1 1 65536\n", {0, 0})},
      {"header cut", Bytes("P6 4 4")},
      {"short row", Bytes("P6 2 1 255\n", {1, 2, 3, 4, 5})},
      {"missing last row", Bytes("P5 2 2 255\n", {1, 2})},
      {"short 16-bit row", Bytes("P5 2 1 1000\n", {1, 2, 3})},
      // 2^15 x 2^15 is kMaxPixelCount: refused before any allocation.
      {"too many pixels", Bytes("P5 32768 32768 255\n", {0})},
      {"row beyond the stream", Bytes("P6 100000000 1 65535\n", {0})},
  };
  for (const sCase& c : cases) {
    cPictPPM p;
    EXPECT_FALSE(Decode(p, c.file)) << c.name;
  }
}

TEST(PictPpm, CommentEndingATokenIsReadAsTheNextToken) {
  // '#' ends the width and is consumed: the comment's text is the next
  // token, so a comment of digits is the height.
  cPictPPM p;
  ASSERT_TRUE(Decode(p, Bytes("P5 2#1\n255\n", {9, 8})));
  EXPECT_EQ(p.GetWidth(), 2);
  EXPECT_EQ(p.GetHeight(), 1);
  EXPECT_EQ(At(p, 1, 0), 0xFF080808u);
  EXPECT_FALSE(Decode(p, Bytes("P5 2#x\n1 255\n", {9, 8})));
}

TEST(PictPpm, StreamingIntoALargerCanvasGivesTheBufferedPixels) {
  const auto file = Bytes("P6 3 2 255\n", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18});
  cPictPPM buffered;
  ASSERT_TRUE(Decode(buffered, file));
  std::vector<uint32_t> pixels(5 * 4, 0);
  sPictCanvas canvas{pixels.data(), 5, 4, 0, 0, 0xFF00FF00u, 1.0, 0};
  cPictPPM streamed;
  ASSERT_TRUE(streamed.AttachCanvas(&canvas));
  ASSERT_TRUE(Decode(streamed, file));
  EXPECT_EQ(streamed.GetAttachedCanvas(), nullptr);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(pixels[static_cast<size_t>(y + 1) * 5 + x + 1], buffered.Pixels32().data[y * 3 + x]) << x << "," << y;
}

TEST(PictPpm, FactoryRecognisesEachType) {
  const std::vector<uint8_t> files[] = {Bytes("P4 8 1\n", {0xAA}), Bytes("P5 1 1 255\n", {1}),
                                        Bytes("P6 1 1 255\n", {1, 2, 3})};
  for (const auto& f : files) {
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    sPictInfo info;
    std::unique_ptr<cPictBase> probed(CreatePicture(&io, &info));
    ASSERT_NE(probed, nullptr);
    EXPECT_EQ(probed->GetFormat(), kPictFormatPPM);
    std::unique_ptr<cPictBase> loaded(CreatePicture(&io, nullptr));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetWidth(), info.width);
    EXPECT_TRUE(loaded->HasPixels());
  }
}

}  // namespace
