// Panasonic sensor data: the circular bit reader (group order, split refill,
// the extra zero byte), the block coding against the test kit's encoder
// (widths that are and are not whole blocks, both refill modes, streams cut
// short near and far from the end) and the packed 12-bit layout.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/memio.h"
#include "picture/raw/raw_panasonic.h"
#include "tests/support/panasonic_encoder.h"

namespace {

std::vector<uint16_t> Picture(int32_t width, int32_t height, uint32_t seed) {
  // Smooth gradients with noise: what a sensor gives, and what exercises
  // every shift of the coding.
  std::mt19937 rng(seed);
  std::vector<uint16_t> v(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      int32_t s = 200 + (x * 13 + y * 7) % 3000 + static_cast<int32_t>(rng() % ((x % 50) + 1));
      if ((x / 7 + y * 3) % 23 == 22) s = 16 + static_cast<int32_t>(rng() % 4080);  // no zero high byte: fixed-size groups
      v[static_cast<size_t>(y) * width + x] = static_cast<uint16_t>(s > 4095 ? 4095 : s);
    }
  return v;
}

TEST(PanasonicBits, ReadsGroupsBackwardsAndRotatedRefills) {
  std::vector<uint8_t> data(16384);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  struct {
    bool split;
    size_t streamByte;  // where buffer byte 0x0F comes from
  } cases[] = {{true, 8184 + 0x0F}, {false, 0x0F}};
  for (const auto& c : cases) {
    cBufWrapperIO io(data.data(), static_cast<uint32_t>(data.size()));
    sPanasonicBitReader r;
    r.stream = &io;
    r.splitRefill = c.split;
    // The first read takes the top bits: position 0x1FFF8, buffer byte 0x0F.
    EXPECT_EQ(PanasonicBits(r, 8), data[c.streamByte]) << c.split;
    EXPECT_EQ(r.position, 0x1FFF8u);
    EXPECT_FALSE(r.failed);
  }
}

TEST(PanasonicBits, LastPairReadsTheExtraZeroByte) {
  std::vector<uint8_t> data(16384, 0xFF);
  cBufWrapperIO io(data.data(), static_cast<uint32_t>(data.size()));
  sPanasonicBitReader r;
  r.stream = &io;
  r.splitRefill = false;
  PanasonicBits(r, 4);
  uint32_t v = 0;
  for (int m = 0; m < 16368; ++m) v = PanasonicBits(r, 8);
  // Position 0x7C: bits 4..7 of buffer byte 0x3FFF and four of the byte past
  // the refill, which must read as zero.
  EXPECT_EQ(r.position, 0x7Cu);
  EXPECT_EQ(v, 0x0Fu);
  EXPECT_EQ(r.buffer[16384], 0);
}

TEST(PanasonicBits, ShortRefillFails) {
  std::vector<uint8_t> data(16383, 1);
  for (bool split : {true, false}) {
    cBufWrapperIO io(data.data(), static_cast<uint32_t>(data.size()));
    sPanasonicBitReader r;
    r.stream = &io;
    r.splitRefill = split;
    EXPECT_EQ(PanasonicBits(r, 8), 0u);
    EXPECT_TRUE(r.failed);
  }
}

TEST(PanasonicBlocks, DecodesWhatTheEncoderWrote) {
  struct {
    int32_t width, height;
    bool split;
  } cases[] = {{14, 3, true}, {28, 5, false}, {30, 7, true}, {336, 40, true}, {2002, 70, false}, {1001, 33, false}, {5, 2, true}};
  for (const auto& c : cases) {
    const auto target = Picture(c.width, c.height, static_cast<uint32_t>(c.width * 31 + c.height));
    const auto enc = panasonic_encoder::Encode(target, c.width, c.height, c.split);
    cBufWrapperIO io(enc.bytes.data(), static_cast<uint32_t>(enc.bytes.size()));
    std::vector<uint16_t> raster(target.size(), 0xDEAD);
    int32_t rows = -1;
    ASSERT_TRUE(DecodePanasonicBlocks(&io, c.split, c.width, c.height, raster.data(), &rows))
        << c.width << "x" << c.height;
    EXPECT_EQ(rows, c.height);
    EXPECT_EQ(raster, enc.decoded) << c.width << "x" << c.height;
    // Whole 14-column groups take 128 bits each, so every read stays inside
    // its 16-byte group and each refill starts a fresh buffer: the coding
    // then reaches most targets exactly (a broken encoder would not). Other
    // widths shift the groups, and reads that wrap inside the buffer take
    // bits written earlier: those decode to what the mirror says only.
    if (c.width % 14 == 0) {
      size_t same = 0;
      for (size_t i = 0; i < target.size(); ++i) same += raster[i] == target[i];
      EXPECT_GT(same * 10, target.size() * 9) << c.width << "x" << c.height;
    }
  }
}

TEST(PanasonicBlocks, StreamCutShortIsToleratedOnlyNearTheEnd) {
  const int32_t width = 2800, height = 48;
  const auto target = Picture(width, height, 7);
  const auto enc = panasonic_encoder::Encode(target, width, height, true);
  const size_t blocks = enc.bytes.size() / 16384;
  ASSERT_GT(blocks, 6u);
  struct {
    size_t dropBlocks;
    bool loads;
  } cases[] = {{0, true}, {1, true}, {5, false}};
  for (const auto& c : cases) {
    std::vector<uint8_t> cut(enc.bytes.begin(), enc.bytes.end() - static_cast<ptrdiff_t>(c.dropBlocks * 16384));
    cBufWrapperIO io(cut.data(), static_cast<uint32_t>(cut.size()));
    std::vector<uint16_t> raster(target.size(), 0);
    int32_t rows = -1;
    EXPECT_EQ(DecodePanasonicBlocks(&io, true, width, height, raster.data(), &rows), c.loads) << c.dropBlocks;
    EXPECT_EQ(height - rows < 8, c.loads) << c.dropBlocks << " rows " << rows;
    if (c.dropBlocks == 0) {
      EXPECT_EQ(rows, height);
    }
    // Rows decoded before the failure are exact.
    for (size_t i = 0; i < static_cast<size_t>(rows) * width; ++i)
      ASSERT_EQ(raster[i], enc.decoded[i]) << c.dropBlocks << " at " << i;
  }
}

TEST(PanasonicPacked, UnpacksTenSamplesFromSixteenBytes) {
  // Hand-made pair: 12 34 56 -> 0x412, 0x563; a filler byte after five pairs.
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 5; ++i) bytes.insert(bytes.end(), {0x12, 0x34, 0x56});
  bytes.push_back(0xEE);
  bytes.insert(bytes.end(), {0xFF, 0x0F, 0x00});
  std::vector<uint16_t> out(12, 0xBEEF);
  UnpackPanasonic12(bytes.data(), bytes.size(), out.data(), out.size());
  for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], i % 2 ? 0x563 : 0x412) << i;
  EXPECT_EQ(out[10], 0xFFF);
  EXPECT_EQ(out[11], 0x000);

  std::vector<uint16_t> samples(40 * 3);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint16_t>((i * 977) & 0xFFF);
  const auto packed = panasonic_encoder::Pack12(samples);
  EXPECT_EQ(packed.size() * 5, samples.size() * 8);
  std::vector<uint16_t> back(samples.size());
  UnpackPanasonic12(packed.data(), packed.size(), back.data(), back.size());
  EXPECT_EQ(back, samples);
  // The raster is never overrun when the data holds more than it.
  std::vector<uint16_t> small(7, 0);
  UnpackPanasonic12(packed.data(), packed.size(), small.data(), small.size());
  EXPECT_EQ(std::vector<uint16_t>(samples.begin(), samples.begin() + 7), small);
}

}  // namespace
