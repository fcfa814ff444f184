// Sony per-model constants, MRM and SR2 private data, and the four sensor
// codings against the test-side encoders.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/raw/raw_sony.h"
#include "tests/picture/raw/raw_bits.h"
#include "tests/picture/raw/sony_encoder.h"

using namespace rawtest;

namespace {

sSonyModelConstants Apply(const std::string& model, bool addNul = true) {
  std::vector<uint8_t> v(model.begin(), model.end());
  if (addNul) v.push_back(0);
  sSonyModelConstants k;
  ApplySonyModel(v.data(), static_cast<int32_t>(v.size()), k);
  return k;
}

}  // namespace

TEST(SonyModels, ExactRows) {
  struct sCase {
    const char* model;
    uint32_t black, white;
    int32_t crop;
    double red, green, blue, gamma;
    bool l14, a100;
  } cases[] = {
      {"DSC-R1", 320, 0, 58, 1.1, 1.0, 1.1, 2.2, false, false},
      {"DSC-RX0", 128, 0, 15, 0.75, 1.0, 0.8, 2.2, false, false},
      {"DSC-RX100M7", 230, 0, 0, 1.0, 0.9, 0.9, 2.2, false, false},
      {"DSLR-A100", 0, 0, 0, 1.0, 1.0, 1.0, 2.2, false, true},
      {"ILCE-3000", 128, 992, 32, 1.2, 1.0, 1.0, 2.2, false, false},
      {"ILCE-6100", 120, 864, 0, 1.1, 0.8, 1.0, 2.2, false, false},
      {"ILCE-7M3", 512, 16896, 0, 1.0, 1.0, 1.0, 2.2, true, false},
      {"ILCE-7RM3", 544, 16384, 0, 1.7, 1.0, 1.3, 2.2, true, false},
      {"ILCE-7", 128, 896, 0, 1.0, 1.0, 1.0, 2.2, false, false},
      {"ILCE-7R", 128, 896, 0, 1.0, 1.0, 1.0, 2.2, false, false},
      {"MODEL-NAME", 128, 640, 0, 1.0, 1.0, 1.0, 2.2, false, false},
      {"ZV-1", 128, 0, 0, 1.0, 1.0, 1.0, 2.2, false, false},
      {"ILCE-9", 96, 0, 0, 1.0, 0.95, 1.0, 1.4, false, false},
      // No row: a trailing blank, an extra letter, another case, a prefix.
      {"ILCE-9 ", 0, 0, 0, 1.0, 1.0, 1.0, 2.2, false, false},
      {"ILCE-7M3X", 0, 0, 0, 1.0, 1.0, 1.0, 2.2, false, false},
      {"ilce-9", 0, 0, 0, 1.0, 1.0, 1.0, 2.2, false, false},
      {"ILCE-", 0, 0, 0, 1.0, 1.0, 1.0, 2.2, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    const auto k = Apply(c.model);
    EXPECT_EQ(k.black, c.black);
    EXPECT_EQ(k.white, c.white);
    EXPECT_EQ(k.rightCrop, c.crop);
    EXPECT_DOUBLE_EQ(k.red, c.red);
    EXPECT_DOUBLE_EQ(k.green, c.green);
    EXPECT_DOUBLE_EQ(k.blue, c.blue);
    EXPECT_DOUBLE_EQ(k.gamma, c.gamma);
    EXPECT_EQ(k.levels14, c.l14);
    EXPECT_EQ(k.a100, c.a100);
  }
  // The terminator must be inside the value.
  EXPECT_EQ(Apply("ILCE-9", false).black, 0u);
  EXPECT_EQ(SonyModelNameCount(), 54);
}

TEST(SonyPrivateData, MrmBlock) {
  const uint16_t levels[4] = {512, 256, 258, 390};
  for (bool be : {false, true}) {
    SCOPED_TRACE(be);
    std::vector<uint8_t> file(20, 0xEE);
    const auto block = MrmBlock(be, true, levels);
    file.insert(file.end(), block.begin(), block.end());
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    double got[4] = {1, 1, 1, 1};
    ASSERT_TRUE(ParseSonyMrm(&io, 20, got));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i], levels[i]);
    // Without WBG the block is accepted and the levels stay.
    const auto plain = MrmBlock(be, false, levels);
    cBufWrapperIO io2(plain.data(), static_cast<uint32_t>(plain.size()));
    double keep[4] = {1, 1, 1, 1};
    EXPECT_TRUE(ParseSonyMrm(&io2, 0, keep));
    EXPECT_EQ(keep[0], 1.0);
  }
  // Not an MRM block, or cut short.
  const uint8_t notMrm[8] = {0, 'M', 'X', 'M', 0, 0, 0, 0};
  cBufWrapperIO io3(notMrm, 8);
  double l[4];
  EXPECT_FALSE(ParseSonyMrm(&io3, 0, l));
  cBufWrapperIO io4(notMrm, 5);
  EXPECT_FALSE(ParseSonyMrm(&io4, 0, l));
  // A sub-block length beyond the block stops the scan.
  auto broken = MrmBlock(false, true, levels);
  broken[12] = 0xFF;
  broken[13] = 0xFF;
  broken[14] = 0xFF;
  cBufWrapperIO io5(broken.data(), static_cast<uint32_t>(broken.size()));
  double kept[4] = {7, 7, 7, 7};
  EXPECT_TRUE(ParseSonyMrm(&io5, 0, kept));
  EXPECT_EQ(kept[0], 7.0);
}

TEST(SonyPrivateData, Sr2DecryptsWhatTheEncoderScrambled) {
  for (uint32_t key : {0u, 1u, 0x12345678u, 0xFFFFFFFFu}) {
    for (size_t size : {size_t{4}, size_t{256}, size_t{1030}, size_t{1603}}) {
      SCOPED_TRACE(testing::Message() << key << " " << size);
      std::vector<uint8_t> plain(size);
      cRandom r(key + static_cast<uint32_t>(size));
      for (auto& b : plain) b = static_cast<uint8_t>(r.Next());
      auto buf = plain;
      Sr2Encrypt(buf, key);
      EXPECT_NE(buf, plain);
      SonySr2Crypt(buf.data(), static_cast<uint32_t>(buf.size()), key);
      EXPECT_EQ(buf, plain);  // bytes past the last whole word untouched too
    }
  }
}

TEST(SonyCoding, PlainAndPacked) {
  const std::vector<uint16_t> s = {0x123, 0xABC, 0xFFF, 0x000, 0x800, 0x7FF};
  for (bool be : {false, true}) {
    const auto bytes = PackSony12(s, be);
    std::vector<uint16_t> out(6, 0);
    ASSERT_TRUE(SonyPacked12(bytes.data(), static_cast<int64_t>(bytes.size()), 3, 2, be, out.data()));
    EXPECT_EQ(out, s);
    EXPECT_FALSE(SonyPacked12(bytes.data(), static_cast<int64_t>(bytes.size()) - 1, 3, 2, be, out.data()));
  }
  const uint8_t plain[4] = {0x12, 0x34, 0x56, 0x78};
  uint16_t o[2];
  ASSERT_TRUE(SonyPlain16(plain, 4, 2, 1, true, o));
  EXPECT_EQ(o[0], 0x3412);
  ASSERT_TRUE(SonyPlain16(plain, 4, 2, 1, false, o));
  EXPECT_EQ(o[1], 0x5678);
  EXPECT_FALSE(SonyPlain16(plain, 3, 2, 1, false, o));
}

TEST(SonyCoding, Arw1RoundTrip) {
  struct sCase {
    int width, rows;
  } cases[] = {{16, 8}, {7, 12}, {32, 2}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << "x" << k.rows);
    const auto want = SmoothMosaic(k.width, k.rows, 4095, 3);
    const auto bytes = EncodeArw1(want, k.width, k.rows);
    std::vector<uint16_t> out(want.size(), 0);
    ASSERT_TRUE(SonyDecodeArw1(bytes.data(), static_cast<int64_t>(bytes.size()), k.width, k.rows, out.data()));
    EXPECT_EQ(out, want);
  }
}

TEST(SonyCoding, Arw1OddHeightLeavesOddRowsAndRefusesBadSums) {
  const int w = 4, h = 5;
  auto want = SmoothMosaic(w, h, 4095, 8);
  const auto bytes = EncodeArw1(want, w, h);
  std::vector<uint16_t> out(want.size(), 0xAAAA);
  ASSERT_TRUE(SonyDecodeArw1(bytes.data(), static_cast<int64_t>(bytes.size()), w, h, out.data()));
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      const size_t i = static_cast<size_t>(r) * w + c;
      if (r % 2 == 0) {
        EXPECT_EQ(out[i], want[i]);
      } else {
        EXPECT_EQ(out[i], 0xAAAA);  // never reached
      }
    }
  // All-zero bits: the first code is category 17 (fifteen zeros), and 17
  // zero bits make the difference -(2^17 - 1): the sum leaves 0..4095.
  const std::vector<uint8_t> zeros(64, 0);
  std::vector<uint16_t> o2(16, 0);
  EXPECT_FALSE(SonyDecodeArw1(zeros.data(), 64, 4, 4, o2.data()));
  // All-one bits: category 1, +1 per value, always inside the range.
  const std::vector<uint8_t> ones(64, 0xFF);
  EXPECT_TRUE(SonyDecodeArw1(ones.data(), 64, 4, 4, o2.data()));
  // Empty data: the dry reader answers 0 and the image is 0.
  std::vector<uint16_t> o3(16, 9);
  EXPECT_TRUE(SonyDecodeArw1(nullptr, 0, 4, 4, o3.data()));
  for (uint16_t v : o3) EXPECT_EQ(v, 0);
}

TEST(SonyCoding, Arw2RoundTrip) {
  struct sCase {
    int width, rows, spread;
  } cases[] = {{32, 3, 100}, {64, 2, 2000}, {96, 4, 40}, {40, 2, 600}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << "x" << k.rows << " spread " << k.spread);
    cRandom r(static_cast<uint32_t>(k.width * 31 + k.spread));
    std::vector<uint16_t> s(static_cast<size_t>(k.width) * k.rows);
    for (auto& v : s) v = static_cast<uint16_t>(300 + r.Range(0, k.spread));
    std::vector<uint16_t> expected;
    const auto bytes = EncodeArw2(s, k.width, k.rows, expected);
    std::vector<uint16_t> out(s.size(), 0);
    ASSERT_TRUE(SonyDecodeArw2(bytes.data(), static_cast<int64_t>(bytes.size()), k.width, k.rows, false, out.data()));
    EXPECT_EQ(out, expected);
    // A narrow spread is stored exactly (sh = 0): the >> 1 is all that is lost.
    if (k.spread < 128) {
      for (size_t i = 0; i < s.size(); ++i) {
        if (static_cast<int>(i % k.width) < (k.width / 32) * 32) {
          EXPECT_EQ(out[i], s[i] >> 1) << i;
        }
      }
    }
  }
  std::vector<uint16_t> out(64);
  const std::vector<uint8_t> small(63, 0);
  EXPECT_FALSE(SonyDecodeArw2(small.data(), 63, 32, 2, false, out.data()));
}
