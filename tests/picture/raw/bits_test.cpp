// The word bit reader: little-endian 32-bit words read most significant bit
// first, refills, the dry flag and the byte count.
#include <gtest/gtest.h>

#include <vector>

#include "picture/raw/raw_bits.h"

namespace {

TEST(RawBits, WordsAreLittleEndianReadFromTheTopBit) {
  // Words 0x12345678 and 0x9ABCDEF0 stored little-endian.
  const std::vector<uint8_t> data = {0x78, 0x56, 0x34, 0x12, 0xF0, 0xDE, 0xBC, 0x9A};
  struct sStep {
    int n;
    uint32_t value;
  };
  const sStep steps[] = {{4, 0x1}, {8, 0x23}, {20, 0x45678}, {12, 0x9AB}, {0, 0}, {20, 0xCDEF0}};
  cWordBitReader r(data.data(), data.size());
  for (const sStep& s : steps) EXPECT_EQ(r.Get(s.n), s.value) << s.n;
  EXPECT_FALSE(r.Dry());
  EXPECT_EQ(r.BytesTaken(), 8u);
}

TEST(RawBits, ThirtyTwoBitRequestsAcrossWords) {
  const std::vector<uint8_t> data = {0x78, 0x56, 0x34, 0x12, 0xF0, 0xDE, 0xBC, 0x9A, 0x01, 0, 0, 0};
  cWordBitReader r(data.data(), data.size());
  EXPECT_EQ(r.Get(3), 0u);
  EXPECT_EQ(r.Get(32), 0x91A2B3C4u);  // bits 3..34 of 0x12345678 9ABCDEF0
  EXPECT_EQ(r.Peek(5), 0x1Au);
  EXPECT_EQ(r.Get(29), 0x1ABCDEF0u);
  EXPECT_EQ(r.Get(32), 1u);
  EXPECT_EQ(r.BytesTaken(), 12u);
}

TEST(RawBits, PastTheEndGivesZerosAndSetsDry) {
  const std::vector<uint8_t> data = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB};
  cWordBitReader r(data.data(), data.size());
  EXPECT_EQ(r.Get(32), 0xFFFFFFFFu);
  EXPECT_FALSE(r.Dry());
  // The cut word supplies its two bytes, 0x0000BBAA.
  EXPECT_EQ(r.Get(32), 0x0000BBAAu);
  EXPECT_TRUE(r.Dry());
  EXPECT_EQ(r.Get(16), 0u);
  EXPECT_TRUE(r.Dry());
  r.Restart(4);
  EXPECT_FALSE(r.Dry());
  EXPECT_EQ(r.Get(16), 0u);
  EXPECT_EQ(r.Get(16), 0xBBAAu);
  r.Restart(100);
  EXPECT_EQ(r.Get(8), 0u);
  EXPECT_TRUE(r.Dry());
}

TEST(RawBits, FillWordKeepsMoreThanThirtyTwoBits) {
  const std::vector<uint8_t> data = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0};
  cWordBitReader r(data.data(), data.size());
  EXPECT_TRUE(r.FillWord());
  EXPECT_EQ(r.BitsHeld(), 64);
  EXPECT_EQ(r.Get(32), 1u);
  EXPECT_EQ(r.Get(32), 2u);
  // Three bytes left: no whole word, the refill fails.
  EXPECT_FALSE(r.FillWord());
  EXPECT_TRUE(r.Dry());
}

TEST(RawBits, EmptyRange) {
  cWordBitReader r;
  EXPECT_EQ(r.Get(12), 0u);
  EXPECT_TRUE(r.Dry());
}

}  // namespace
