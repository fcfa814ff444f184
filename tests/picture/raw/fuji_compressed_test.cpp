// Fujifilm compressed sensor data against the test kit's encoder: one and
// several blocks, a last block narrower than 768 columns, 12 and 14 bits,
// escapes to raw codes; the header's accepted ranges; and the refusals that
// keep every read and write in bounds (a block past the data, a raw size
// above the frame, a cut block).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "picture/raw/raw_fuji_compressed.h"
#include "tests/support/fuji_compressed_encoder.h"

namespace {

std::vector<uint16_t> Frame(int32_t width, int32_t height, int bits, uint32_t seed) {
  std::mt19937 rng(seed);
  const int32_t max = (1 << bits) - 1;
  std::vector<uint16_t> v(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      int32_t s = (x * 3 + y * 5) % (max / 2) + static_cast<int32_t>(rng() % 40);
      if (rng() % 97 == 0) s = static_cast<int32_t>(rng() % (max + 1));  // raw-code escapes
      v[static_cast<size_t>(y) * width + x] = static_cast<uint16_t>(s > max ? max : s);
    }
  return v;
}

TEST(FujiCompressed, DecodesWhatTheEncoderWrote) {
  struct {
    int32_t width, height;
    int bits;
  } cases[] = {{768, 6, 14}, {768, 12, 12}, {1536, 18, 14}, {792, 6, 12}, {2304, 6, 14}, {3072, 12, 12}, {3840, 6, 14}};
  for (const auto& c : cases) {
    const auto target = Frame(c.width, c.height, c.bits, static_cast<uint32_t>(c.width + c.height));
    fuji_encoder::cEncoder enc(c.bits);
    const auto r = enc.Encode(target, c.width, c.height);
    std::vector<uint16_t> frame(target.size(), 0xBEEF);
    ASSERT_TRUE(DecodeFujiCompressed(r.bytes.data(), r.bytes.size(), frame.data(), c.width, c.height))
        << c.width << "x" << c.height << "/" << c.bits;
    ASSERT_EQ(frame, r.decoded) << c.width << "x" << c.height;
    // Most positions are coded, not interpolated: they equal the target.
    size_t same = 0;
    for (size_t i = 0; i < target.size(); ++i) same += frame[i] == target[i];
    EXPECT_GT(same * 10, target.size() * 7) << c.width;
  }
}

TEST(FujiCompressed, BlockTableStartsOnSixteenBytes) {
  // 3 blocks: table ends at 28, block 0 at 32; 4 blocks: 32; 5 blocks: 48.
  struct {
    int32_t width;
    size_t firstBlock;
  } cases[] = {{2304, 32}, {3072, 32}, {3840, 48}};
  for (const auto& c : cases) {
    const auto target = Frame(c.width, 6, 12, 1);
    const auto r = fuji_encoder::cEncoder(12).Encode(target, c.width, 6);
    const size_t blocks = r.bytes[13];
    size_t sum = 0;
    for (size_t b = 0; b < blocks; ++b) {
      const uint8_t* p = &r.bytes[16 + 4 * b];
      sum += static_cast<size_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    }
    EXPECT_EQ(r.bytes.size() - sum, c.firstBlock) << c.width;
    std::vector<uint16_t> frame(target.size());
    EXPECT_TRUE(DecodeFujiCompressed(r.bytes.data(), r.bytes.size(), frame.data(), c.width, 6));
  }
}

TEST(FujiCompressed, HeaderRanges) {
  // A valid header: 14 bits, 12 rows, rounded 1536, raw 1536, 2 blocks.
  const std::vector<uint8_t> good = {0x49, 0x53, 1, 16, 14, 0, 12, 0x06, 0x00, 0x06, 0x00, 0x03, 0x00, 2, 0, 2};
  sFujiCompressedHeader h;
  ASSERT_TRUE(ReadFujiCompressedHeader(good.data(), good.size(), h));
  EXPECT_EQ(h.bits, 14);
  EXPECT_EQ(h.rawHeight, 12);
  EXPECT_EQ(h.rawWidth, 1536);
  EXPECT_EQ(h.blocksPerRow, 2);
  EXPECT_EQ(h.stripes, 2);
  struct {
    size_t at;
    uint8_t value;
    const char* why;
  } bad[] = {{0, 0x4A, "signature"}, {2, 2, "version"},     {3, 15, "raw type"},       {4, 13, "bits"},
             {6, 13, "height not a multiple of 6"},   {10, 0x08, "raw width not a multiple of 24"},
             {12, 0x01, "block size"},                {13, 3, "blocks per row"},
             {15, 3, "stripes"},                      {8, 0x01, "rounded width not whole blocks"},
             {7, 0x09, "rounded width a block beyond the raw width"}};
  for (const auto& b : bad) {
    auto bytes = good;
    bytes[b.at] = b.value;
    EXPECT_FALSE(ReadFujiCompressedHeader(bytes.data(), bytes.size(), h)) << b.why;
  }
  EXPECT_FALSE(ReadFujiCompressedHeader(good.data(), 15, h));
  // 6240 columns rounded to 6912: 9 blocks, the last 96 columns wide.
  std::vector<uint8_t> wide = {0x49, 0x53, 1, 16, 12, 0, 6, 0x1B, 0x00, 0x18, 0x60, 0x03, 0x00, 9, 0, 1};
  ASSERT_TRUE(ReadFujiCompressedHeader(wide.data(), wide.size(), h));
  EXPECT_EQ(h.rawWidth % 768, 96);
}

TEST(FujiCompressed, RefusesWhatWouldReadOrWriteOutOfBounds) {
  const int32_t width = 1536, height = 12;
  const auto target = Frame(width, height, 14, 5);
  const auto r = fuji_encoder::cEncoder(14).Encode(target, width, height);
  std::vector<uint16_t> frame(target.size());
  // A block whose length reaches past the data.
  {
    auto bytes = r.bytes;
    bytes[16 + 4 + 1] = 0x7F;  // block 1 length + 0x7F0000
    EXPECT_FALSE(DecodeFujiCompressed(bytes.data(), bytes.size(), frame.data(), width, height));
  }
  // The data cut inside the last block.
  EXPECT_FALSE(DecodeFujiCompressed(r.bytes.data(), r.bytes.size() - 100, frame.data(), width, height));
  // The data cut inside the block table.
  EXPECT_FALSE(DecodeFujiCompressed(r.bytes.data(), 18, frame.data(), width, height));
  // A frame smaller than the header's raw size, in either direction.
  EXPECT_FALSE(DecodeFujiCompressed(r.bytes.data(), r.bytes.size(), frame.data(), width - 24, height));
  EXPECT_FALSE(DecodeFujiCompressed(r.bytes.data(), r.bytes.size(), frame.data(), width, height - 6));
  // Garbage in a block decodes with errors, never outside the frame.
  {
    auto bytes = r.bytes;
    for (size_t i = 64; i < bytes.size(); i += 3) bytes[i] = 0;
    DecodeFujiCompressed(bytes.data(), bytes.size(), frame.data(), width, height);
  }
  EXPECT_TRUE(DecodeFujiCompressed(r.bytes.data(), r.bytes.size(), frame.data(), width, height));
}

TEST(FujiCompressed, XTransColours) {
  const int want[6][6] = {{1, 2, 1, 1, 0, 1}, {0, 1, 0, 2, 1, 2}, {1, 2, 1, 1, 0, 1},
                          {1, 0, 1, 1, 2, 1}, {2, 1, 2, 0, 1, 0}, {1, 0, 1, 1, 2, 1}};
  for (int r = 0; r < 12; ++r)
    for (int c = 0; c < 12; ++c) EXPECT_EQ(FujiXTransColour(r, c), want[r % 6][c % 6]) << r << "," << c;
}

}  // namespace
