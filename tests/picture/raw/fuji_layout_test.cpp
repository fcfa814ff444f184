// RAF sensor layouts: 12-bit pairs and packed 12-byte groups, 14-bit 28-byte
// groups (tails left untouched), and the SuperCCD frame: its size, the two
// placements with byte swapping, and the turn back, all inside their
// buffers.
#include <gtest/gtest.h>

#include <vector>

#include "picture/raw/raw_fuji.h"
#include "tests/support/olympus_encoder.h"

namespace {

// Samples of bits bits as one string, most significant first, stored as
// little-endian 32-bit words.
std::vector<uint8_t> PackWords(const std::vector<uint16_t>& s, int bits, size_t groupBytes) {
  const size_t totalBits = s.size() * bits;
  std::vector<uint8_t> out((totalBits + groupBytes * 8 - 1) / (groupBytes * 8) * groupBytes, 0);
  std::vector<uint32_t> words(out.size() / 4, 0);
  for (size_t i = 0; i < s.size(); ++i)
    for (int b = 0; b < bits; ++b) {
      const size_t bit = i * bits + b;
      if (s[i] >> (bits - 1 - b) & 1) words[bit / 32] |= 1u << (31 - bit % 32);
    }
  for (size_t k = 0; k < words.size(); ++k)
    for (int j = 0; j < 4; ++j) out[4 * k + j] = static_cast<uint8_t>(words[k] >> (8 * j));
  return out;
}

TEST(RafRows, TwelveBitPairs) {
  // 12 34 56 -> 0x412, 0x563; a width of 5 leaves the last sample alone.
  const uint8_t row[] = {0x12, 0x34, 0x56, 0xFF, 0x0F, 0x00, 0xAB};
  EXPECT_EQ(Raf12RowBytes(5, false), 7u);
  std::vector<uint16_t> out(5, 0xBEEF);
  UnpackRaf12Row(row, sizeof row, 5, false, out.data());
  EXPECT_EQ(out, (std::vector<uint16_t>{0x412, 0x563, 0xFFF, 0x000, 0xBEEF}));
}

TEST(RafRows, PackedTwelveBitGroups) {
  struct {
    int32_t width;
    uint64_t rowBytes;
  } cases[] = {{8, 12}, {16, 24}, {12, 24}, {3, 12}};
  for (const auto& c : cases) {
    std::vector<uint16_t> s(c.width);
    for (int32_t i = 0; i < c.width; ++i) s[i] = static_cast<uint16_t>((i * 733 + 5) & 0xFFF);
    EXPECT_EQ(Raf12RowBytes(c.width, true), c.rowBytes);
    std::vector<uint8_t> bytes;
    olympus_encoder::PackRow(s.data(), c.width, olympus_encoder::kWords, bytes);
    ASSERT_EQ(bytes.size(), c.rowBytes);
    // Words-order packing puts the first sample in bytes 3 and 2: s0 = b3 << 4 | b2 >> 4.
    EXPECT_EQ(s[0], bytes[3] << 4 | bytes[2] >> 4);
    std::vector<uint16_t> out(c.width + 4, 0xBEEF);
    UnpackRaf12Row(bytes.data(), bytes.size(), c.width, true, out.data());
    EXPECT_EQ(std::vector<uint16_t>(out.begin(), out.begin() + c.width), s) << c.width;
    for (size_t i = c.width; i < out.size(); ++i) EXPECT_EQ(out[i], 0xBEEF) << "written past width " << c.width;
  }
}

TEST(RafRows, FourteenBitGroups) {
  struct {
    int32_t width;
    int32_t written;  // whole groups of 16
  } cases[] = {{16, 16}, {32, 32}, {40, 32}, {10, 0}};
  for (const auto& c : cases) {
    std::vector<uint16_t> s(c.width);
    for (int32_t i = 0; i < c.width; ++i) s[i] = static_cast<uint16_t>((i * 5231 + 77) & 0x3FFF);
    auto bytes = PackWords(s, 14, 28);
    bytes.resize(Raf14RowBytes(c.width));
    std::vector<uint16_t> out(c.width, 0);
    UnpackRaf14Row(bytes.data(), bytes.size(), c.width, out.data());
    for (int32_t i = 0; i < c.width; ++i) EXPECT_EQ(out[i], i < c.written ? s[i] : 0) << c.width << " at " << i;
    if (c.width >= 16) {
      // s0 = b3 << 6 | b2 >> 2, s3 = (b6 & 0x3F) << 8 | b5.
      EXPECT_EQ(out[0], bytes[3] << 6 | bytes[2] >> 2);
      EXPECT_EQ(out[3], (bytes[6] & 0x3F) << 8 | bytes[5]);
    }
  }
}

TEST(SuperCcd, FrameAndOutputSizes) {
  struct {
    int32_t imageWidth, imageHeight;
    int32_t w, h, u, v;
  } cases[] = {{2880, 2144, 3584, 3583, 2036, 3032}, {4, 3, 5, 4, 2, 4}, {3, 2, 3, 2, 1, 2}};
  for (const auto& c : cases) {
    sSuperCcdFrame f;
    ASSERT_TRUE(SuperCcdFrame(c.imageWidth, c.imageHeight, f));
    EXPECT_EQ(f.width, c.w);
    EXPECT_EQ(f.height, c.h);
    int32_t u = 0, v = 0;
    ASSERT_TRUE(SuperCcdOutputSize(f, 0, 0, 0, 0, u, v));
    EXPECT_EQ(u, c.u);
    EXPECT_EQ(v, c.v);
  }
  sSuperCcdFrame f;
  ASSERT_TRUE(SuperCcdFrame(2880, 2144, f));
  int32_t u, v;
  ASSERT_TRUE(SuperCcdOutputSize(f, 24, 0, 4, 0, u, v));
  EXPECT_EQ(u, 2012);
  EXPECT_EQ(v, 3028);
  EXPECT_FALSE(SuperCcdOutputSize(f, 2036, 0, 0, 0, u, v));
  EXPECT_FALSE(SuperCcdFrame(1, 5, f));
}

TEST(SuperCcd, FramesThatFitTheAreaCap) {
  // The frame develops into 64-bit pixels: four 16-bit samples each count
  // against the 2^28 cap, so W = 8192 is the widest frame that develops and
  // a 100-megapixel frame (W = 10000) is refused before any allocation.
  struct {
    int32_t imageWidth, imageHeight;
    bool fits;
    int64_t pixels;
  } cases[] = {
      {4256, 2848, true, int64_t{4976} * 4975},   // S5Pro-sized image
      {8192, 4096, true, int64_t{8192} * 8191},   // W = 8192
      {8194, 4096, false, 0},                     // W = 8193
      {10000, 5000, false, 0},                    // W = 10000: 100 megapixels
      {65534, 65535, false, 0},                   // the largest the records hold
  };
  for (const auto& c : cases) {
    sSuperCcdFrame f;
    ASSERT_TRUE(SuperCcdFrame(c.imageWidth, c.imageHeight, f));
    int64_t count = -1;
    EXPECT_EQ(SuperCcdFrameFits(f, count), c.fits) << c.imageWidth << "x" << c.imageHeight;
    EXPECT_EQ(count, c.fits ? c.pixels : -1) << c.imageWidth << "x" << c.imageHeight;
  }
}

TEST(SuperCcd, PlacementsFollowTheTurnedGrid) {
  // S = 3, H = 4: W = 7, frame 7 x 6. Raw rows hold more samples than
  // either placement takes, and more rows than fit: every write stays in.
  sSuperCcdFrame f;
  ASSERT_TRUE(SuperCcdFrame(6, 4, f));
  const int32_t rawWidth = 9, rawHeight = 12;
  std::vector<uint16_t> raw(rawWidth * rawHeight);
  for (int32_t r = 0; r < rawHeight; ++r)
    for (int32_t k = 0; k < rawWidth; ++k) raw[r * rawWidth + k] = static_cast<uint16_t>(0x0100 * r + k + 1);
  struct {
    bool layout, swap;
    int32_t r, k, y, x;
  } cases[] = {
      {true, false, 0, 0, 2, 0},  {true, false, 0, 2, 0, 2},  {true, false, 1, 0, 2, 1},
      {true, false, 5, 1, 3, 4},  {false, false, 0, 0, 2, 0}, {false, false, 0, 5, 0, 3},
      {false, false, 2, 3, 3, 4}, {false, true, 1, 1, 3, 2},
  };
  for (const auto& c : cases) {
    std::vector<uint16_t> rotated(f.width * f.height + 16, 0);
    PlaceSuperCcd(raw.data(), rawWidth, rawHeight, f, c.layout, c.swap, rotated.data());
    uint16_t want = raw[c.r * rawWidth + c.k];
    if (c.swap) want = static_cast<uint16_t>(want >> 8 | want << 8);
    EXPECT_EQ(rotated[c.y * f.width + c.x], want) << c.layout << " r" << c.r << " k" << c.k;
    for (size_t i = f.width * f.height; i < rotated.size(); ++i) EXPECT_EQ(rotated[i], 0) << "past the frame";
  }
}

TEST(SuperCcd, TurnBackReadsInsideTheFrame) {
  sSuperCcdFrame f;
  ASSERT_TRUE(SuperCcdFrame(40, 30, f));
  std::vector<uint64_t> developed(static_cast<size_t>(f.width) * f.height);
  for (int32_t y = 0; y < f.height; ++y)
    for (int32_t x = 0; x < f.width; ++x) developed[y * f.width + x] = static_cast<uint64_t>(y) << 16 | x;
  struct {
    int32_t left, right, top, bottom;
  } cases[] = {{0, 0, 0, 0}, {2, 3, 1, 4}, {0, 0, 0, 30}};
  for (const auto& c : cases) {
    int32_t u, v;
    ASSERT_TRUE(SuperCcdOutputSize(f, c.left, c.right, c.top, c.bottom, u, v));
    std::vector<uint64_t> out(static_cast<size_t>(u) * v, 1);
    TurnBackSuperCcd(developed.data(), f, c.left, c.bottom, u, v, out.data());
    for (int32_t y = 0; y < v; ++y)
      for (int32_t x = 0; x < u; ++x) {
        const int64_t cx = static_cast<int64_t>((c.left + x - c.bottom - y + v) * 0.7071067811865475 + 0.5);
        const int64_t cy = static_cast<int64_t>((c.bottom + y + c.left + x) * 0.7071067811865475 + 0.5);
        const bool inside = cx >= 0 && cx < f.width && cy >= 0 && cy < f.height;
        const uint64_t want = inside ? (static_cast<uint64_t>(cy) << 16 | static_cast<uint64_t>(cx))
                                     : uint64_t{0xFFFF} << 48;
        ASSERT_EQ(out[y * u + x], want) << x << "," << y;
      }
  }
}

}  // namespace
