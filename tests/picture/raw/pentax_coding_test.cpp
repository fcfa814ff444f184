// The Pentax Huffman table of the maker note and the Huffman strip coding,
// with a test-side encoder that chooses its own codes (the table is in the
// file).
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "picture/raw/raw_pentax.h"
#include "picture/raw/raw_sony.h"
#include "tests/picture/raw/raw_bits.h"

using namespace rawtest;

namespace {

// Categories 0..12 with these code lengths (a complete-enough prefix code).
const int kLengths[13] = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9, 10};

struct sPentaxCodes {
  std::vector<uint32_t> first;  // left-aligned 12-bit codes
  std::vector<uint8_t> tag;     // the maker-note value
};

sPentaxCodes MakeCodes(bool be, bool pad226) {
  sPentaxCodes c;
  uint32_t at = 0;
  for (int len : kLengths) {
    c.first.push_back(at);
    at += 4096u >> len;
  }
  const int n = 13;
  std::vector<uint8_t> v(14 + 3 * n, 0);
  auto put = [&](size_t pos, uint32_t x) {
    v[pos] = static_cast<uint8_t>(be ? x >> 8 : x);
    v[pos + 1] = static_cast<uint8_t>(be ? x : x >> 8);
  };
  put(0, n + 4);
  for (int i = 0; i < n; ++i) put(14 + 2 * i, c.first[i]);
  for (int i = 0; i < n; ++i) v[14 + 2 * n + i] = static_cast<uint8_t>(kLengths[i]);
  if (pad226) v.insert(v.begin(), 226, 0x77);
  c.tag = v;
  return c;
}

std::vector<uint8_t> EncodePentax(const std::vector<uint16_t>& s, int width, int rows, const sPentaxCodes& codes) {
  cBitWriter w;
  int32_t v[2][2] = {{0, 0}, {0, 0}};
  int32_t h[2] = {0, 0};
  for (int r = 0; r < rows; ++r)
    for (int x = 0; x < width; ++x) {
      const int32_t pred = x < 2 ? v[r & 1][x] : h[x & 1];
      const int32_t want = s[static_cast<size_t>(r) * width + x];
      const int32_t d = want - pred;
      int n = 0;
      while ((std::abs(d) >> n) != 0) ++n;
      w.Put(codes.first[n] >> (12 - kLengths[n]), kLengths[n]);
      if (n > 0) w.Put(static_cast<uint32_t>(d > 0 ? d : d + (1 << n) - 1), n);
      if (x < 2) {
        v[r & 1][x] = want;
        h[x] = want;
      } else {
        h[x & 1] = want;
      }
    }
  auto out = w.Finish();
  // Slack after the data, as cameras leave: the reader looks 12 bits ahead.
  for (int i = 0; i < 4; ++i) out.push_back(0);
  return out;
}

}  // namespace

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
