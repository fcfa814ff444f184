// Olympus sensor data: the adaptive coding against the test kit's encoder
// (smooth and noisy pictures, escapes, widths of one to many pairs), its
// refusals (a sample below 0, bits running out before the last row), and the
// 12-bit packings (little, big, words, filler pairs) from hand-made bytes and
// from the encoder.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "picture/raw/raw_olympus.h"
#include "tests/support/olympus_encoder.h"

namespace {

std::vector<uint16_t> Picture(int32_t width, int32_t rows, uint32_t seed, int noise) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> v(static_cast<size_t>(width) * rows);
  for (int32_t y = 0; y < rows; ++y)
    for (int32_t x = 0; x < width; ++x) {
      int32_t s = 1000 + x * 5 + y * 3 + static_cast<int32_t>(rng() % (noise + 1));
      if (noise > 1000 && rng() % 7 == 0) s = static_cast<int32_t>(rng() % 4096);
      v[static_cast<size_t>(y) * width + x] = static_cast<uint16_t>(s & 0xFFF);
    }
  return v;
}

TEST(OlympusCoding, DecodesWhatTheEncoderWrote) {
  struct {
    int32_t width, rows;
    int noise;
  } cases[] = {{2, 2, 0}, {3, 5, 10}, {16, 4, 3}, {64, 9, 200}, {101, 12, 4095}, {640, 8, 40}};
  for (const auto& c : cases) {
    const auto target = Picture(c.width, c.rows, static_cast<uint32_t>(c.width + c.rows), c.noise);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(olympus_encoder::Encode(target, c.width, c.rows, bytes)) << c.width;
    // Decoded into a wider raster: the stride is honoured, nothing beyond
    // each row is touched.
    const size_t stride = static_cast<size_t>(c.width) + 3;
    std::vector<uint16_t> raster(stride * c.rows, 0xBEEF);
    ASSERT_TRUE(DecodeOlympusStrip(bytes.data(), bytes.size(), c.width, c.rows, raster.data(), stride))
        << c.width << "x" << c.rows;
    for (int32_t y = 0; y < c.rows; ++y) {
      for (int32_t x = 0; x < c.width; ++x)
        ASSERT_EQ(raster[y * stride + x], target[static_cast<size_t>(y) * c.width + x]) << x << "," << y;
      for (size_t x = c.width; x < stride; ++x) ASSERT_EQ(raster[y * stride + x], 0xBEEF);
    }
  }
}

TEST(OlympusCoding, RefusesSamplesBelowZero) {
  // Seven header bytes, then sign 1, low 0, high 0 ("1"), four zero bits:
  // diff -1, sample -4.
  const std::vector<uint8_t> bytes = {0, 0, 0, 0, 0, 0, 0, 0x90, 0x00, 0x00, 0x00};
  std::vector<uint16_t> raster(2);
  EXPECT_FALSE(DecodeOlympusStrip(bytes.data(), bytes.size(), 2, 1, raster.data(), 2));
}

TEST(OlympusCoding, RunningDryFailsUnlessInTheLastRow) {
  const int32_t width = 200, rows = 6;
  const auto target = Picture(width, rows, 3, 60);
  std::vector<uint8_t> full;
  ASSERT_TRUE(olympus_encoder::Encode(target, width, rows, full));
  // Bytes needed for the first five rows: encode them alone.
  std::vector<uint8_t> five;
  ASSERT_TRUE(olympus_encoder::Encode(target, width, rows - 1, five));
  struct {
    size_t keep;
    bool loads;
  } cases[] = {{full.size(), true}, {five.size() + 10, true}, {five.size() - 20, false}, {7, false}, {0, false}};
  for (const auto& c : cases) {
    std::vector<uint16_t> raster(static_cast<size_t>(width) * rows, 0);
    EXPECT_EQ(DecodeOlympusStrip(full.data(), c.keep, width, rows, raster.data(), width), c.loads) << c.keep;
    if (c.loads) {
      for (size_t i = 0; i < static_cast<size_t>(width) * (rows - 1); ++i) ASSERT_EQ(raster[i], target[i]) << i;
    }
  }
}

TEST(OlympusPacking, HandMadeBytes) {
  const uint8_t three[] = {0x12, 0x34, 0x56};
  struct {
    eOlympusPacking packing;
    uint16_t s0, s1;
  } cases[] = {{kOlympusPackLittle, 0x412, 0x563}, {kOlympusPackBig, 0x123, 0x456}};
  for (const auto& c : cases) {
    uint16_t out[2];
    UnpackOlympus12Row(three, 2, c.packing, out);
    EXPECT_EQ(out[0], c.s0);
    EXPECT_EQ(out[1], c.s1);
  }
  // Words: 0x00112233 0x44556677 0x8899AABB as one 96-bit string.
  const uint8_t words[] = {0x33, 0x22, 0x11, 0x00, 0x77, 0x66, 0x55, 0x44, 0xBB, 0xAA, 0x99, 0x88};
  uint16_t out[8];
  UnpackOlympus12Row(words, 8, kOlympusPackWords, out);
  const uint16_t want[8] = {0x001, 0x122, 0x334, 0x455, 0x667, 0x788, 0x99A, 0xABB};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], want[i]) << i;
  EXPECT_EQ(OlympusPackedRowBytes(8, kOlympusPackWords), 12u);
  EXPECT_EQ(OlympusPackedRowBytes(9, kOlympusPackWords), 24u);
  EXPECT_EQ(OlympusPackedRowBytes(5, kOlympusPackBig), 9u);
}

TEST(OlympusPacking, RoundTripsEveryLayout) {
  const int32_t width = 40;
  std::vector<uint16_t> row(width);
  for (int32_t i = 0; i < width; ++i) row[i] = static_cast<uint16_t>((i * 1237 + 91) & 0xFFF);
  struct {
    olympus_encoder::ePack pack;
    eOlympusPacking packing;
  } cases[] = {{olympus_encoder::kLittle, kOlympusPackLittle},
               {olympus_encoder::kBig, kOlympusPackBig},
               {olympus_encoder::kWords, kOlympusPackWords}};
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes;
    olympus_encoder::PackRow(row.data(), width, c.pack, bytes);
    ASSERT_EQ(bytes.size(), OlympusPackedRowBytes(width, c.packing));
    std::vector<uint16_t> back(width);
    UnpackOlympus12Row(bytes.data(), width, c.packing, back.data());
    EXPECT_EQ(back, row) << c.packing;
  }
  for (bool be : {false, true}) {
    std::vector<uint8_t> bytes;
    olympus_encoder::PackFillerRow(row.data(), width, be, bytes);
    EXPECT_EQ(bytes.size(), static_cast<size_t>(width) * 8 / 5);
    std::vector<uint16_t> back(width, 0);
    EXPECT_EQ(UnpackOlympusFillerRow(bytes.data(), bytes.size(), width, be, back.data()), bytes.size());
    EXPECT_EQ(back, row) << be;
  }
}

}  // namespace
