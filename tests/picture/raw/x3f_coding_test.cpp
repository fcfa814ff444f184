// X3F raw data: format 30 planes against the test kit's encoder (bottom-up
// rows, each channel in its place, a plane cut short continuing with zero
// differences), the Huffman table's refusals and its uncovered slots, the
// plane starts, and format 5 rows (three sums, negative sums stored as 0).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "picture/raw/raw_x3f.h"
#include "tests/support/x3f_encoder.h"

namespace {

uint16_t Channel(uint64_t px, int channel) { return static_cast<uint16_t>(px >> (32 - 16 * channel)); }

TEST(X3fPlanes, DecodeWhatTheEncoderWrote) {
  const int32_t width = 37, height = 9;
  std::mt19937 rng(4);
  sX3fSlot table[256];
  const auto entries = x3f_encoder::Table();
  ASSERT_TRUE(BuildX3fTable(entries.data(), table));
  std::vector<uint64_t> pixels(width * height, 0);
  std::vector<uint16_t> planes[3];
  for (int ch = 0; ch < 3; ++ch) {
    planes[ch].resize(width * height);
    for (auto& s : planes[ch]) s = static_cast<uint16_t>(rng() % 4000);
    const auto bytes = x3f_encoder::EncodePlane(planes[ch], width, height);
    ASSERT_TRUE(DecodeX3fPlane(bytes.data(), bytes.size(), table, width, height, ch, pixels.data()));
  }
  for (int32_t r = 0; r < height; ++r)
    for (int32_t x = 0; x < width; ++x)
      for (int ch = 0; ch < 3; ++ch)
        ASSERT_EQ(Channel(pixels[(height - 1 - r) * width + x], ch), planes[ch][r * width + x])
            << "row " << r << " col " << x << " ch " << ch;
}

TEST(X3fPlanes, CutShortContinuesWithZeroDifferences) {
  const int32_t width = 20, height = 4;
  std::vector<uint16_t> plane(width * height);
  for (size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<uint16_t>(100 + i * 3);
  const auto bytes = x3f_encoder::EncodePlane(plane, width, height);
  sX3fSlot table[256];
  ASSERT_TRUE(BuildX3fTable(x3f_encoder::Table().data(), table));
  std::vector<uint64_t> pixels(width * height, 0);
  ASSERT_TRUE(DecodeX3fPlane(bytes.data(), bytes.size() / 3, table, width, height, 1, pixels.data()));
  // Row 0 decodes, the last row repeats its two start values (zero
  // differences after the start predictors of its parity).
  for (int32_t x = 0; x < width; ++x) EXPECT_EQ(Channel(pixels[(height - 1) * width + x], 1), plane[x]) << x;
  const uint16_t a = Channel(pixels[0], 1), b = Channel(pixels[1], 1);
  for (int32_t x = 2; x < width; ++x) EXPECT_EQ(Channel(pixels[x], 1), x % 2 ? b : a) << x;
}

TEST(X3fTable, RefusesBadEntriesAndUncoveredSlots) {
  struct {
    int k;
    uint8_t length, code;
    const char* why;
  } bad[] = {{0, 0, 0, "length 0"}, {3, 9, 96, "length above 8"}, {12, 6, 253, "past slot 255"},
             {4, 1, 200, "half the slots from 200"}};
  for (const auto& b : bad) {
    auto e = x3f_encoder::Table();
    e[2 * b.k] = b.length;
    e[2 * b.k + 1] = b.code;
    sX3fSlot table[256];
    EXPECT_FALSE(BuildX3fTable(e.data(), table)) << b.why;
  }
  // Symbol 12 moved onto symbol 11's slots: 252..255 are covered by nothing.
  auto e = x3f_encoder::Table();
  e[25] = 248;
  sX3fSlot table[256];
  ASSERT_TRUE(BuildX3fTable(e.data(), table));
  EXPECT_EQ(table[253].length, 0);
  const std::vector<uint8_t> bytes = {0xFD, 0, 0, 0};
  std::vector<uint64_t> pixels(4, 0);
  EXPECT_FALSE(DecodeX3fPlane(bytes.data(), bytes.size(), table, 4, 1, 0, pixels.data()));
}

TEST(X3fPlanes, StartsOnSixteenBytes) {
  struct {
    uint32_t sizes[3];
    uint64_t starts[3];
  } cases[] = {{{16, 16, 0}, {48, 64, 80}}, {{1, 17, 5}, {48, 64, 96}}, {{0, 0, 0}, {48, 48, 48}}};
  for (const auto& c : cases) {
    uint64_t starts[3];
    X3fPlaneStarts(c.sizes, starts);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(starts[k], c.starts[k]) << k;
  }
}

TEST(X3fFormat5, SumsAlongTheRow) {
  int16_t table[1024] = {};
  table[1] = 100;
  table[2] = -300;
  table[3] = 7000;
  // Word: bits 0-9 index blue, 10-19 green, 20-29 red.
  auto word = [](uint32_t b, uint32_t g, uint32_t r) { return b | g << 10 | r << 20; };
  const uint32_t words[3] = {word(1, 3, 2), word(1, 3, 1), word(3, 2, 1)};
  uint8_t bytes[12];
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 4; ++k) bytes[4 * i + k] = static_cast<uint8_t>(words[i] >> (8 * k));
  uint64_t row[3];
  X3fFormat5Row(table, bytes, 3, row);
  struct {
    int x;
    uint16_t r, g, b;
  } want[] = {{0, 0, 7000, 100}, {1, 0, 14000, 200}, {2, 0, 13700, 7200}};
  for (const auto& w : want) {
    EXPECT_EQ(Channel(row[w.x], 0), w.r) << w.x;  // red -300, -200, -100: stored as 0
    EXPECT_EQ(Channel(row[w.x], 1), w.g) << w.x;
    EXPECT_EQ(Channel(row[w.x], 2), w.b) << w.x;
    EXPECT_EQ(row[w.x] >> 48, 0xFFFFu);
  }
}

}  // namespace
