// Samsung model rows and the three Samsung codings against the test-side
// encoders of samsung_encoder.h.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "picture/raw/raw_samsung.h"
#include "tests/picture/raw/raw_bits.h"
#include "tests/picture/raw/samsung_encoder.h"

using namespace rawtest;

namespace {

bool Model(const std::string& text, bool nul, sSamsungModel& m) {
  std::vector<uint8_t> v(text.begin(), text.end());
  if (nul) v.push_back(0);
  m = sSamsungModel{};
  return ApplySamsungModel(v.data(), static_cast<int32_t>(v.size()), m);
}

}  // namespace

TEST(SamsungModels, PrefixAndExactRows) {
  struct sCase {
    const char* text;
    bool nul;
    bool hit;
    int left, right, top, bottom;
    bool be, fixed;
  } cases[] = {
      {"NX mini", true, true, 96, 25, 17, 0, false, false},
      {"NX1000", true, true, 46, 57, 2, 60, false, false},
      {"NX1000 Mark II", true, true, 46, 57, 2, 60, false, false},  // prefix row
      {"NX3000", true, true, 97, 32, 37, 26, false, false},
      {"EK-GN120", true, true, 0, 8, 0, 19, false, true},
      {"EK-GN1200", true, false, 0, 0, 0, 0, false, false},  // exact row
      {"NX10 ", true, true, 8, 8, 8, 0, true, false},
      {"NX10", true, false, 0, 0, 0, 0, false, false},
      {"NX11 ", false, true, 8, 8, 8, 0, true, false},
      {"NX100 ", true, true, 8, 8, 8, 0, true, false},
      {"NX20", true, true, 46, 57, 2, 60, false, false},
      {"NX200", true, true, 46, 57, 2, 60, false, false},
      {"NX2000", true, true, 1, 0, 0, 20, false, false},
      {"NX30", true, true, 0, 9, 0, 20, false, false},
      {"NX300", true, true, 1, 9, 0, 20, false, false},
      {"NX300M", true, false, 0, 0, 0, 0, false, false},
      {"EX1    ", true, true, 0, 6, 0, 20, false, false},
      {"EX1", true, false, 0, 0, 0, 0, false, false},
      {"WB2000", false, true, 0, 11, 2, 2, false, false},
      {"EX2F", true, true, 0, 105, 0, 10, false, false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.text);
    sSamsungModel m;
    EXPECT_EQ(Model(k.text, k.nul, m), k.hit);
    EXPECT_EQ(m.left, k.left);
    EXPECT_EQ(m.right, k.right);
    EXPECT_EQ(m.top, k.top);
    EXPECT_EQ(m.bottom, k.bottom);
    EXPECT_EQ(m.bigEndianPacking, k.be);
    EXPECT_EQ(m.fixedPattern, k.fixed);
  }
}

TEST(SamsungCoding, RowOffsetRoundTripWithGreenExchange) {
  struct sCase {
    int width, rows, strips;
  } cases[] = {{32, 6, 1}, {48, 8, 2}, {16, 5, 1}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << "x" << k.rows << " strips " << k.strips);
    const auto want = SmoothMosaic(k.width, k.rows, 4095, 21);
    std::vector<uint16_t> raster(want.size(), 0);
    sSamsungRaster rs{raster.data(), k.width, k.rows};
    const int per = (k.rows + k.strips - 1) / k.strips;
    for (int s = 0; s < k.strips; ++s) {
      const int first = s * per;
      const int rows = std::min(per, k.rows - first);
      auto strip = EncodeSamsungRowOffset(want, k.width, first, rows, 77 + s);
      ASSERT_TRUE(SamsungDecodeRowOffset(strip.bytes.data(), static_cast<int64_t>(strip.bytes.size()),
                                         strip.rowOffsets.data(), rs, first, rows));
    }
    EXPECT_EQ(raster, want);
  }
}

TEST(SamsungCoding, RowOffsetRefusals) {
  const auto want = SmoothMosaic(16, 4, 4095, 2);
  auto strip = EncodeSamsungRowOffset(want, 16, 0, 4, 5);
  std::vector<uint16_t> raster(want.size(), 0);
  sSamsungRaster rs{raster.data(), 16, 4};
  // A row offset at the end of the strip.
  auto offsets = strip.rowOffsets;
  offsets[2] = static_cast<uint32_t>(strip.bytes.size());
  EXPECT_FALSE(SamsungDecodeRowOffset(strip.bytes.data(), static_cast<int64_t>(strip.bytes.size()), offsets.data(),
                                      rs, 0, 4));
  // A strip that does not fit the raster.
  EXPECT_FALSE(SamsungDecodeRowOffset(strip.bytes.data(), static_cast<int64_t>(strip.bytes.size()),
                                      strip.rowOffsets.data(), rs, 1, 4));
}

TEST(SamsungCoding, HuffmanRoundTripAndLimits) {
  for (int width : {16, 9}) {
    SCOPED_TRACE(width);
    const auto want = SmoothMosaic(width, 6, 4095, 4);
    const auto bytes = EncodeSamsungHuffman(want, width, 6);
    std::vector<uint16_t> raster(want.size(), 0);
    sSamsungRaster rs{raster.data(), width, 6};
    ASSERT_TRUE(SamsungDecodeHuffman(bytes.data(), static_cast<int64_t>(bytes.size()), rs, 0, 6, 12));
    EXPECT_EQ(raster, want);
    // Declared 9 bits: samples above 511 fail the load.
    std::vector<uint16_t> r2(want.size(), 0);
    sSamsungRaster rs2{r2.data(), width, 6};
    EXPECT_FALSE(SamsungDecodeHuffman(bytes.data(), static_cast<int64_t>(bytes.size()), rs2, 0, 6, 9));
    // Data cut short: decoding stops, the rest stays 0.
    std::vector<uint16_t> r3(want.size(), 0);
    sSamsungRaster rs3{r3.data(), width, 6};
    ASSERT_TRUE(SamsungDecodeHuffman(bytes.data(), static_cast<int64_t>(bytes.size()) / 2, rs3, 0, 6, 12));
    EXPECT_EQ(r3.back(), 0);
    EXPECT_EQ(r3[0], want[0]);
  }
}

TEST(SamsungCoding, BlockGeneratorRoundTrips) {
  struct sCase {
    int width, rows, opt;
    uint32_t seed;
  } cases[] = {{64, 6, 7, 1}, {64, 6, 0, 2}, {128, 5, 0, 3}, {32, 8, 4, 4}, {48, 7, 1, 5}, {80, 6, 2, 6}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << "x" << k.rows << " opt " << k.opt);
    std::vector<uint16_t> expected;
    const auto bytes = GenerateSamsungBlocks(k.width, k.rows, k.opt, 512, k.seed, expected);
    std::vector<uint16_t> raster(expected.size(), 0);
    sSamsungRaster rs{raster.data(), k.width, k.rows};
    ASSERT_TRUE(SamsungDecodeBlocks(bytes.data(), static_cast<int64_t>(bytes.size()), rs, 0, k.rows));
    EXPECT_EQ(raster, expected);
  }
}

TEST(SamsungCoding, BlockRowsRunningDryReadZerosAndHeaderCutShort) {
  std::vector<uint16_t> expected;
  auto bytes = GenerateSamsungBlocks(32, 4, 7, 100, 9, expected);
  std::vector<uint16_t> raster(expected.size(), 0);
  sSamsungRaster rs{raster.data(), 32, 4};
  // Only the header and part of the first row: zeros after it, no failure.
  EXPECT_TRUE(SamsungDecodeBlocks(bytes.data(), 20, rs, 0, 4));
  EXPECT_FALSE(SamsungDecodeBlocks(bytes.data(), 15, rs, 0, 4));
  // Width not a multiple of 16: the trailing columns stay 0.
  std::vector<uint16_t> wide(40 * 2, 0xEEEE);
  for (auto& v : wide) v = 0;
  sSamsungRaster rw{wide.data(), 40, 2};
  std::vector<uint16_t> e2;
  auto b2 = GenerateSamsungBlocks(32, 2, 7, 100, 3, e2);
  ASSERT_TRUE(SamsungDecodeBlocks(b2.data(), static_cast<int64_t>(b2.size()), rw, 0, 2));
  for (int r = 0; r < 2; ++r)
    for (int c = 32; c < 40; ++c) EXPECT_EQ(wide[r * 40 + c], 0);
}

TEST(SamsungCoding, RowOffsetPredictionAboveTheRasterGivesZero) {
  // Row 0: no dir, lengths 7, differences 0 (all 128). Row 1: dir, lengths
  // 7, differences 5: even columns predict from row 0 (133), odd ones from
  // row -1, which does not exist (0). Then the exchange of (0, c + 1) and
  // (1, c) for even c.
  auto row = [](bool dir, uint32_t d) {
    cBitWriter w;
    w.Put(dir ? 1 : 0, 1);
    for (int g = 0; g < 4; ++g) w.Put(0, 2);
    for (int c = 0; c < 16; ++c) w.Put(d, 7);
    return AsWords(w.Finish(), false);
  };
  std::vector<uint8_t> strip = row(false, 0);
  const uint32_t second = static_cast<uint32_t>(strip.size());
  const auto r1 = row(true, 5);
  strip.insert(strip.end(), r1.begin(), r1.end());
  const uint32_t offsets[2] = {0, second};
  std::vector<uint16_t> raster(32, 0xEEEE);
  sSamsungRaster rs{raster.data(), 16, 2};
  ASSERT_TRUE(SamsungDecodeRowOffset(strip.data(), static_cast<int64_t>(strip.size()), offsets, rs, 0, 2));
  for (int c = 0; c < 16; ++c) {
    EXPECT_EQ(raster[c], (c & 1) != 0 ? 133 : 128) << c;
    EXPECT_EQ(raster[16 + c], (c & 1) != 0 ? 0 : 128) << c;
  }
  // A dir bit in row 0 of the raster: the whole block is 0, the decode goes
  // on.
  std::vector<uint16_t> one(16, 0xEEEE);
  sSamsungRaster ro{one.data(), 16, 1};
  const auto r0 = row(true, 9);
  const uint32_t zero = 0;
  ASSERT_TRUE(SamsungDecodeRowOffset(r0.data(), static_cast<int64_t>(r0.size()), &zero, ro, 0, 1));
  EXPECT_EQ(one, std::vector<uint16_t>(16, 0));
}

TEST(SamsungCoding, BlockThatKeepsItsLengthsCodesNoDifferences) {
  // opt 4 (no mag updates, mag 0); block 0 sends lengths 3 with differences
  // 1; block 1 keeps pmode 7 and its lengths: lengths 0, so its samples
  // equal the prediction, the last sample of block 0 of their colour, and
  // the bits after the flag are not read.
  std::vector<uint8_t> bytes(16, 0);
  bytes[9] = 4;
  bytes[12] = 100;
  cBitWriter w;
  w.Put(1, 1);  // keep pmode 7
  w.Put(0, 1);  // lengths follow
  for (int c = 0; c < 4; ++c) {
    w.Put(3, 2);
    w.Put(3, 4);
  }
  for (int c = 0; c < 16; ++c) w.Put(1, 3);
  w.Put(1, 1);  // keep pmode 7
  w.Put(1, 1);  // keep the lengths
  // Bits that lengths kept from block 0 would read as differences of 1.
  for (int c = 0; c < 16; ++c) w.Put(1, 3);
  const auto words = AsWords(w.Finish(), false);
  bytes.insert(bytes.end(), words.begin(), words.end());
  bytes.resize(bytes.size() + 16, 0);
  std::vector<uint16_t> raster(32, 0xEEEE);
  sSamsungRaster rs{raster.data(), 32, 1};
  ASSERT_TRUE(SamsungDecodeBlocks(bytes.data(), static_cast<int64_t>(bytes.size()), rs, 0, 1));
  for (int c = 0; c < 16; ++c) EXPECT_EQ(raster[c], 101) << c;
  for (int c = 16; c < 32; ++c) EXPECT_EQ(raster[c], 101) << c;
}

TEST(SamsungCoding, RowOffsetRowsWiderThanTheRasterAreClipped) {
  // Rows coded 64 samples wide into a raster 56 wide (not a multiple of 16):
  // the last block's samples past the row end are dropped, as LibRaw drops
  // them, and the rest equals the 64-wide decode.
  const auto want = SmoothMosaic(64, 6, 4095, 8);
  const auto strip = EncodeSamsungRowOffset(want, 64, 0, 6, 13);
  std::vector<uint16_t> full(64 * 6, 0), clipped(56 * 6, 0xEEEE);
  sSamsungRaster rf{full.data(), 64, 6}, rc{clipped.data(), 56, 6};
  ASSERT_TRUE(SamsungDecodeRowOffset(strip.bytes.data(), static_cast<int64_t>(strip.bytes.size()),
                                     strip.rowOffsets.data(), rf, 0, 6));
  ASSERT_TRUE(SamsungDecodeRowOffset(strip.bytes.data(), static_cast<int64_t>(strip.bytes.size()),
                                     strip.rowOffsets.data(), rc, 0, 6));
  ASSERT_EQ(full, want);
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 56; ++c) EXPECT_EQ(clipped[r * 56 + c], want[r * 64 + c]) << r << "," << c;
}
