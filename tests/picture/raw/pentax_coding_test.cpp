// The Pentax Huffman table of the maker note and the Huffman strip coding,
// with a test-side encoder that chooses its own codes (the table is in the
// file).
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "picture/raw/raw_pentax.h"
#include "picture/raw/raw_sony.h"
#include "tests/picture/raw/pentax_encoder.h"
#include "tests/picture/raw/raw_bits.h"

using namespace rawtest;


TEST(PentaxHuffman, TableFromTheMakerNote) {
  for (bool be : {false, true}) {
    const auto codes = MakeCodes(be, false);
    std::vector<uint16_t> table(kPentaxTableSize, 0);
    ASSERT_TRUE(BuildPentaxHuffman(codes.tag.data(), static_cast<int32_t>(codes.tag.size()), true, be, table.data()));
    EXPECT_EQ(table[0], 12);
    EXPECT_EQ(table[1], (2 << 8) | 0);
    EXPECT_EQ(table[1 + 1024], (3 << 8) | 1);
    EXPECT_EQ(table[1 + codes.first[12]], (10 << 8) | 12);
  }
  // 0x22a longer than 240 bytes is read from byte 226; 0x220 is not.
  const auto padded = MakeCodes(false, true);
  std::vector<uint16_t> t(kPentaxTableSize, 0);
  ASSERT_TRUE(BuildPentaxHuffman(padded.tag.data(), static_cast<int32_t>(padded.tag.size()), true, false, t.data()));
  EXPECT_EQ(t[1], (2 << 8) | 0);
  // Too short for its code lengths (the last length byte cut): refused;
  // shorter than 2 bytes: nothing built.
  const auto codes = MakeCodes(false, false);
  std::vector<uint16_t> t2(kPentaxTableSize, 0);
  EXPECT_FALSE(BuildPentaxHuffman(codes.tag.data(), static_cast<int32_t>(codes.tag.size()) - 1, false, false, t2.data()));
  EXPECT_TRUE(BuildPentaxHuffman(codes.tag.data(), 1, false, false, t2.data()));
  EXPECT_EQ(t2[0], 0);
}

TEST(PentaxHuffman, StripRoundTripAndRange) {
  for (bool be : {false, true}) {
    const auto codes = MakeCodes(be, false);
    std::vector<uint16_t> table(kPentaxTableSize, 0);
    ASSERT_TRUE(BuildPentaxHuffman(codes.tag.data(), static_cast<int32_t>(codes.tag.size()), false, be, table.data()));
    for (int width : {12, 7}) {
      SCOPED_TRACE(testing::Message() << be << " " << width);
      const auto want = SmoothMosaic(width, 5, 4095, 12);
      const auto bytes = EncodePentax(want, width, 5, codes);
      std::vector<uint16_t> out(want.size(), 0);
      ASSERT_TRUE(DecodePentaxHuffman(bytes.data(), static_cast<int64_t>(bytes.size()), width, 5, 12, table.data(),
                                      out.data()));
      EXPECT_EQ(out, want);
      EXPECT_FALSE(DecodePentaxHuffman(bytes.data(), static_cast<int64_t>(bytes.size()), width, 5, 9, table.data(),
                                       out.data()));
    }
  }
  std::vector<uint16_t> empty(kPentaxTableSize, 0);
  uint16_t out[4];
  const uint8_t b[4] = {};
  EXPECT_FALSE(DecodePentaxHuffman(b, 4, 2, 2, 12, empty.data(), out));
}

TEST(PentaxPacked, TwelveBitExamples) {
  // Big-endian AB CD EF give 0xABC, 0xDEF; little-endian 0xDAB, 0xEFC.
  const uint8_t b[3] = {0xAB, 0xCD, 0xEF};
  uint16_t out[2];
  ASSERT_TRUE(SonyPacked12(b, 3, 2, 1, true, out));
  EXPECT_EQ(out[0], 0xABC);
  EXPECT_EQ(out[1], 0xDEF);
  ASSERT_TRUE(SonyPacked12(b, 3, 2, 1, false, out));
  EXPECT_EQ(out[0], 0xDAB);
  EXPECT_EQ(out[1], 0xEFC);
}
