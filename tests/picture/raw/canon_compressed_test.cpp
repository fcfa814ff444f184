// Canon compressed raw data: round trips through the test encoder, the
// coding's edge cases with hand-set bits, and the mended faults (counts that
// are not a multiple of 64, short data, bad table indices).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/memio.h"
#include "picture/raw/raw_canon_compressed.h"
#include "tests/picture/raw/canon_crw_encoder.h"

namespace {

using canon_test::cBitWriter;
using canon_test::CanonicalCodes;
using canon_test::EncodeCanonCompressed;

// Smooth sensor-like samples: neighbours of one colour differ by a little.
std::vector<uint16_t> Samples(uint32_t count, uint32_t rowWidth, uint32_t seed, uint16_t top) {
  std::vector<uint16_t> v(count);
  uint32_t s = seed;
  for (uint32_t p = 0; p < count; ++p) {
    s = s * 1103515245u + 12345u;
    const uint32_t x = p % rowWidth, y = p / rowWidth;
    const uint32_t smooth = (x * 3 + y * 5 + ((p & 1) ? 40 : 0)) % (top / 2);
    v[p] = static_cast<uint16_t>((smooth + ((s >> 16) % 23)) % top);
  }
  return v;
}

std::vector<uint16_t> Decode(const std::vector<uint8_t>& data, bool lowBits, uint32_t count, uint32_t rowWidth,
                             int32_t table, bool* ok = nullptr) {
  std::vector<uint16_t> raster(count, 0xBEEF);
  cBufWrapperIO stream(data.data(), static_cast<uint32_t>(data.size()));
  const bool result = DecodeCanonCompressed(raster.data(), &stream, lowBits, count, rowWidth, table);
  if (ok != nullptr) *ok = result;
  return raster;
}

struct sRoundTrip {
  uint32_t width, height;
  bool lowBits;
  int32_t table;
};

TEST(CanonCompressed, RoundTripsThroughTheEncoder) {
  const sRoundTrip cases[] = {
      {64, 4, false, 0},   {128, 8, false, 1},  {96, 6, false, 2},  {100, 3, false, 0},  // 300: not whole blocks
      {100, 5, true, 1},   {37, 7, true, 2},    {256, 16, true, 0}, {70, 3, false, 7},   // 7 uses pair 2
      {1, 130, false, 0},  {3, 1, true, 1},
  };
  for (const sRoundTrip& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " low " << c.lowBits << " table " << c.table);
    const uint32_t count = c.width * c.height;
    const std::vector<uint16_t> in = Samples(count, c.width, count + c.table, c.lowBits ? 4096 : 1024);
    const std::vector<uint8_t> data = EncodeCanonCompressed(in, c.lowBits, c.width, c.table);
    bool ok = false;
    EXPECT_EQ(Decode(data, c.lowBits, count, c.width, c.table, &ok), in);
    EXPECT_TRUE(ok);
  }
}

// A first-table symbol (length n) followed by value bits, then an end of
// block; decoded as one 64-sample block of row width 64.
std::vector<uint8_t> OneBlock(int32_t table, uint8_t firstSymbol, uint32_t valueBits, int32_t n) {
  const auto first = CanonicalCodes(kCanonTablePairs[table].first, 13);
  const auto second = CanonicalCodes(kCanonTablePairs[table].second, 162);
  cBitWriter w;
  w.Put(first.at(firstSymbol).bits, first.at(firstSymbol).length);
  if (n > 0) w.Put(valueBits, n);
  w.Put(second.at(0x00).bits, second.at(0x00).length);
  return w.Finish();
}

TEST(CanonCompressed, DifferenceCodes) {
  struct {
    uint8_t symbol;
    uint32_t bits;
    int32_t n;
    int32_t first;   // sample 0
    int32_t second;  // sample 1
  } cases[] = {
      {0x03, 0b010, 3, 512 - 5, 512},  // top bit 0: v - 2^n + 1
      {0x03, 0b110, 3, 512 + 6, 512},  // top bit 1: v
      {0x00, 0, 0, 512, 512},          // first symbol 0: nothing stored, block goes on
      {0x01, 0b0, 1, 511, 512},
      {0x0B, 0x7FF, 11, 512 + 2047, 512},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "bits " << c.bits << " n " << c.n);
    const std::vector<uint16_t> r = Decode(OneBlock(0, c.symbol, c.bits, c.n), false, 64, 64, 0);
    EXPECT_EQ(r[0], static_cast<uint16_t>(c.first));
    EXPECT_EQ(r[1], c.second);
    EXPECT_EQ(r[63], c.second);
  }
}

TEST(CanonCompressed, FirstSymbolFFSkipsPositionZero) {
  // 0xFF first, then symbol 0x01 (run 0, one bit "1" = +1) lands at i = 1.
  const auto first = CanonicalCodes(kCanonTablePairs[0].first, 13);
  const auto second = CanonicalCodes(kCanonTablePairs[0].second, 162);
  cBitWriter w;
  w.Put(first.at(0xFF).bits, first.at(0xFF).length);
  w.Put(second.at(0x01).bits, second.at(0x01).length);
  w.Put(1, 1);
  w.Put(second.at(0x00).bits, second.at(0x00).length);
  const std::vector<uint16_t> r = Decode(w.Finish(), false, 64, 64, 0);
  EXPECT_EQ(r[0], 512);
  EXPECT_EQ(r[1], 513);
  EXPECT_EQ(r[3], 513);
}

TEST(CanonCompressed, CarryRunsAcrossBlocksAndPredictorsResetPerRow) {
  // Two blocks each with first difference +3: the carry makes the second
  // block's first difference 6. Row width 100 resets the predictors at 100.
  const auto first = CanonicalCodes(kCanonTablePairs[0].first, 13);
  const auto second = CanonicalCodes(kCanonTablePairs[0].second, 162);
  cBitWriter w;
  for (int b = 0; b < 2; ++b) {
    w.Put(first.at(0x02).bits, first.at(0x02).length);
    w.Put(0b11, 2);
    w.Put(second.at(0x00).bits, second.at(0x00).length);
  }
  const std::vector<uint16_t> r = Decode(w.Finish(), false, 128, 100, 0);
  EXPECT_EQ(r[0], 515);
  EXPECT_EQ(r[2], 515);
  EXPECT_EQ(r[64], 515 + 6);  // predictor carried from block 1, plus the carry 6
  EXPECT_EQ(r[99], 512);      // odd predictor never changed
  EXPECT_EQ(r[100], 512);     // row start: reset, difference 0
  EXPECT_EQ(r[101], 512);
}

TEST(CanonCompressed, LowBitsJoinTheSample) {
  // One block whose sample 0 decodes to 300 (512 - 212), low-bit pair 2.
  const int32_t diff = 300 - 512;  // -212: 8 bits
  const uint32_t v = static_cast<uint32_t>(diff + (1 << 8) - 1);
  std::vector<uint8_t> data(16, 0);
  data[0] = 0x02;  // sample 0 takes pair 2; samples 1-3 take 0
  const std::vector<uint8_t> block = OneBlock(0, 0x08, v, 8);
  data.insert(data.end(), block.begin(), block.end());
  const std::vector<uint16_t> r = Decode(data, true, 64, 64, 0);
  EXPECT_EQ(r[0], 1202);
  EXPECT_EQ(r[1], 512 * 4);
}

TEST(CanonCompressed, RefusesBadArguments) {
  const std::vector<uint8_t> data = OneBlock(0, 0x00, 0, 0);
  struct {
    int32_t table;
    uint32_t rowWidth;
  } cases[] = {{-1, 64}, {INT32_MIN, 64}, {0, 0}};
  for (const auto& c : cases) {
    bool ok = true;
    const std::vector<uint16_t> r = Decode(data, false, 64, c.rowWidth, c.table, &ok);
    EXPECT_FALSE(ok) << c.table << " " << c.rowWidth;
    EXPECT_EQ(r[0], 0xBEEF);  // untouched
  }
}

TEST(CanonCompressed, ShortDataReadsAsZeroBits) {
  // A stream cut anywhere decodes like the same stream padded with zero
  // bytes: the missing bits count as zero.
  const uint32_t width = 50, count = 50 * 6;
  const std::vector<uint16_t> in = Samples(count, width, 9, 4096);
  const std::vector<uint8_t> full = EncodeCanonCompressed(in, true, width, 1);
  for (size_t cut : {size_t{0}, size_t{10}, count / 4 + size_t{3}, full.size() / 2, full.size() - 1}) {
    SCOPED_TRACE(cut);
    std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<ptrdiff_t>(cut));
    std::vector<uint8_t> padded = part;
    if (padded.size() < count / 4) padded.resize(count / 4, 0);
    padded.resize(padded.size() + 4096, 0);
    bool ok = false;
    const std::vector<uint16_t> got = Decode(part, true, count, width, 1, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(got, Decode(padded, true, count, width, 1));
  }
}

TEST(CanonCompressed, TrailingFFWithoutItsStuffedByteIsDropped) {
  // Data ending in 0xFF: that byte is not counted, so the result equals the
  // data without it (both then run out into zero bits).
  std::vector<uint8_t> a = OneBlock(0, 0x03, 0b110, 3);
  std::vector<uint8_t> b = a;
  b.push_back(0xFF);
  EXPECT_EQ(Decode(a, false, 128, 64, 0), Decode(b, false, 128, 64, 0));
}

}  // namespace
