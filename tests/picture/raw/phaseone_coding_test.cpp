// Phase One coded rows against the test kit's encoder (every length, kept
// lengths, literal tails for widths that are not whole groups), the row
// refusals (a length never chosen, a predictor below 0), the square-law
// curve of format 5 and the black tables with their split row and column.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "picture/raw/raw_phaseone.h"
#include "tests/support/iiq_encoder.h"

namespace {

TEST(IiqRows, DecodeWhatTheEncoderWrote) {
  struct {
    int32_t width;
    int32_t spread;  // differences up to this size: picks every length
  } cases[] = {{8, 10}, {16, 0}, {64, 100}, {101, 3000}, {333, 40000}, {5, 7}, {1000, 1}};
  std::mt19937 rng(9);
  for (const auto& c : cases) {
    std::vector<uint16_t> row(c.width);
    int32_t base = 20000;
    for (int32_t x = 0; x < c.width; ++x) {
      const int32_t d = c.spread ? static_cast<int32_t>(rng() % (2 * c.spread + 1)) - c.spread : 0;
      int32_t s = base + d;
      s = s < 0 ? 0 : (s > 65535 ? 65535 : s);
      row[x] = static_cast<uint16_t>(s);
    }
    const auto bytes = iiq_encoder::EncodeRow(row.data(), c.width);
    std::vector<uint16_t> out(c.width + 2, 0xBEEF);
    ASSERT_TRUE(DecodeIiqRow(bytes.data(), bytes.size(), c.width, out.data())) << c.width;
    EXPECT_EQ(std::vector<uint16_t>(out.begin(), out.begin() + c.width), row) << c.width;
    EXPECT_EQ(out[c.width], 0xBEEF);
  }
}

TEST(IiqRows, Refusals) {
  // First group keeps its lengths (a 1 bit each): length 0 refuses.
  const std::vector<uint8_t> kept = {0x00, 0x00, 0x00, 0xC0};
  uint16_t out[16];
  EXPECT_FALSE(DecodeIiqRow(kept.data(), kept.size(), 16, out));
  // Length 5 (index 6: four zeros, a 1, then b = 0) for both parities, then
  // a first difference of 0 + 1 - 16 = -15: below 0. Bits 000010 000010
  // 00000..., the word 0x08200000.
  const std::vector<uint8_t> negative = {0x00, 0x00, 0x20, 0x08};
  EXPECT_FALSE(DecodeIiqRow(negative.data(), negative.size(), 16, out));
  // Past the data the reader gives zero bits: a literal tail reads 0.
  uint16_t tail[3] = {1, 1, 1};
  EXPECT_TRUE(DecodeIiqRow(nullptr, 0, 3, tail));
  EXPECT_EQ(tail[0], 0);
  EXPECT_EQ(tail[2], 0);
}

TEST(IiqSamples, CurveBlackAndTables) {
  uint16_t curve[256];
  BuildIiqCurve(curve);
  EXPECT_EQ(curve[0], 0);
  EXPECT_EQ(curve[2], 1);      // 4 / 3.969 = 1.008 -> 1
  EXPECT_EQ(curve[255], 16383);  // 65025 / 3.969 = 16383.2
  const int16_t rb[2 * 4] = {1, 2, 3, 4, -10, -20, -30, -40};
  const int16_t cb[2 * 3] = {100, 200, 300, 1000, 2000, 3000};
  sIiqBlack b;
  b.width = 4;
  b.height = 3;
  b.black = 8;
  b.splitRow = 1;
  b.splitColumn = 2;
  struct {
    int format;
    bool tables;
    int32_t row, column;
    uint16_t v;
    uint16_t want;
  } cases[] = {
      {5, false, 0, 0, 2, 0},  // curve 1: 4 - 8 clamps to 0
      {4, false, 0, 0, 2, 0},                       // 8 - 8
      {4, false, 0, 0, 300, 1192},
      {5, false, 0, 0, 300, 1192},  // 256 and above pass the curve
      {5, false, 0, 0, 100, static_cast<uint16_t>(4 * 2520 - 8)},
      {4, true, 0, 1, 300, 1192 + 2 + 100},
      {4, true, 2, 3, 300, 1192 - 40 + 3000},
      {4, true, 1, 2, 300, 1192 - 30 + 2000},
      {4, false, 0, 0, 65535, 65535},
  };
  for (const auto& c : cases) {
    b.format = c.format;
    b.rowBlack = c.tables ? rb : nullptr;
    b.columnBlack = c.tables ? cb : nullptr;
    EXPECT_EQ(IiqSample(b, curve, c.row, c.column, c.v), c.want) << c.format << " " << c.v;
  }
}

}  // namespace
