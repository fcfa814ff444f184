// Resample and StretchLevels on 32- and 64-bit pictures.
#include <gtest/gtest.h>

#include <vector>

#include "picture/pict_base.h"

namespace {

class cPict : public cPictDummy {
public:
  // A one-channel row or column picture (blue channel, alpha 255).
  void Row32(const std::vector<uint32_t>& b, bool column = false) {
    const int32_t n = static_cast<int32_t>(b.size());
    ASSERT_TRUE(column ? AllocatePixels32(1, n) : AllocatePixels32(n, 1));
    for (int32_t i = 0; i < n; ++i) Pixels32().data[i] = 0xFF000000u | b[i];
  }
  void Row64(const std::vector<uint32_t>& b) {
    const int32_t n = static_cast<int32_t>(b.size());
    ASSERT_TRUE(AllocatePixels64(n, 1));
    for (int32_t i = 0; i < n; ++i) Pixels64().data[i] = 0xFFFFull << 48 | b[i];
  }
  std::vector<uint32_t> Blue32() const {
    std::vector<uint32_t> out;
    for (int32_t i = 0; i < Pixels32().count; ++i) out.push_back(Pixels32().data[i] & 0xFF);
    return out;
  }
};

TEST(PictResample, OneDimensionalCases) {
  struct sCase {
    std::vector<uint32_t> in;
    int32_t m;
    std::vector<uint32_t> want;
  };
  const sCase cases[] = {
      {{10, 20, 30, 40}, 2, {15, 35}},
      {{10, 20, 30, 40, 50, 60}, 4, {13, 26, 43, 56}},  // intervals of 1.5
      {{0, 100}, 4, {0, 0, 50, 100}},                   // positions 0, 0.5, 1, 1.5
      {{0, 90, 30}, 3, {0, 90, 30}},
      {{200}, 3, {200, 200, 200}},
      {{10, 20, 30}, 1, {20}},
  };
  for (const sCase& c : cases) {
    for (bool column : {false, true}) {
      cPict src, dst;
      src.Row32(c.in, column);
      ASSERT_TRUE(cPictBase::Resample(&src, column ? 1 : c.m, column ? c.m : 1, &dst));
      EXPECT_EQ(dst.Blue32(), c.want) << c.in.size() << " -> " << c.m << (column ? " column" : " row");
      EXPECT_EQ(dst.Pixels32().data[0] >> 24, 255u);
    }
  }
}

TEST(PictResample, BothDirectionsAndDepths) {
  // 4 x 2 to 2 x 1: rows first (means of pairs), then the column.
  cPict src;
  ASSERT_TRUE(src.AllocatePixels32(4, 2));
  const uint32_t v[] = {10, 20, 30, 40, 50, 60, 70, 80};
  for (int i = 0; i < 8; ++i) src.Pixels32().data[i] = v[i] << 16 | 0xFF000000u;
  cPict dst;
  ASSERT_TRUE(cPictBase::Resample(&src, 2, 1, &dst));
  EXPECT_EQ(dst.GetWidth(), 2);
  EXPECT_EQ(dst.GetHeight(), 1);
  EXPECT_EQ(dst.Pixels32().data[0], 0xFF000000u | 35u << 16);  // (15 + 55) / 2
  EXPECT_EQ(dst.Pixels32().data[1], 0xFF000000u | 55u << 16);  // (35 + 75) / 2

  // 16-bit channels keep their range; the destination's depth flag is not
  // touched.
  cPict deep, out;
  deep.Row64({1000, 3001});
  ASSERT_TRUE(cPictBase::Resample(&deep, 1, 1, &out));
  EXPECT_FALSE(out.IsHighDepth());
  ASSERT_EQ(out.Pixels64().count, 1);
  EXPECT_EQ(out.Pixels64().data[0], 0xFFFFull << 48 | 2000);

  // Same size copies.
  cPict copy;
  ASSERT_TRUE(cPictBase::Resample(&src, 4, 2, &copy));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(copy.Pixels32().data[i], src.Pixels32().data[i]);

  cPict empty;
  EXPECT_FALSE(cPictBase::Resample(&empty, 2, 2, &out));
  EXPECT_FALSE(cPictBase::Resample(&src, 0, 2, &out));
  EXPECT_FALSE(cPictBase::Resample(&src, 2, 2, &src));
}

TEST(PictStretch, LevelsStretchToFullRange) {
  cPict src, dst;
  ASSERT_TRUE(src.AllocatePixels32(3, 1));
  src.Pixels32().data[0] = 0x000A0A0A;        // 10, alpha 0 ignored
  src.Pixels32().data[1] = 0x12141414;        // 20
  src.Pixels32().data[2] = 0x003D1E14;        // R 61, G 30, B 20
  ASSERT_TRUE(dst.StretchLevels(&src));
  EXPECT_FALSE(dst.IsHighDepth());
  EXPECT_EQ(dst.Pixels32().data[0], 0xFF000000u);
  EXPECT_EQ(dst.Pixels32().data[1], 0xFF323232u);           // 50
  EXPECT_EQ(dst.Pixels32().data[2], 0xFFFF6432u);           // 255, 100, 50

  cPict flat, flatOut;
  ASSERT_TRUE(flat.AllocatePixels32(2, 1));
  flat.Pixels32().data[0] = flat.Pixels32().data[1] = 0x00505050;
  ASSERT_TRUE(flatOut.StretchLevels(&flat));
  EXPECT_EQ(flatOut.Pixels32().data[1], 0xFF505050u);

  cPict deep, deepOut;
  deep.Row64({2, 5});
  ASSERT_TRUE(deepOut.StretchLevels(&deep));
  EXPECT_TRUE(deepOut.IsHighDepth());
  // G and R are 0, so the smallest value is 0: factor 65535 / 5 = 13107.
  EXPECT_EQ(deepOut.Pixels64().data[0], 0xFFFFull << 48 | 26214);
  EXPECT_EQ(deepOut.Pixels64().data[1], 0xFFFFull << 48 | 65535);

  cPict empty;
  EXPECT_FALSE(deepOut.StretchLevels(&empty));
}

TEST(PictStretch, IntoAttachedCanvas) {
  cPict src, dst;
  ASSERT_TRUE(src.AllocatePixels32(2, 1));
  src.Pixels32().data[0] = 0x00101010;
  src.Pixels32().data[1] = 0x00202020;
  std::vector<uint32_t> pixels(4, 7);
  sPictCanvas canvas{pixels.data(), 2, 2, 0, 0, 0xFF0000FFu, 1.0, 0};
  ASSERT_TRUE(dst.AttachCanvas(&canvas));
  ASSERT_TRUE(dst.StretchLevels(&src));
  dst.EndCanvasOutput();
  EXPECT_FALSE(dst.HasPixels());
  EXPECT_EQ(pixels[0], 0xFF000000u);
  EXPECT_EQ(pixels[1], 0xFFFFFFFFu);
  EXPECT_EQ(pixels[2], 0xFF0000FFu);  // the margin row
}

}  // namespace
