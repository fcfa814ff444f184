// Development: the frame check, hand-computed small mosaics, the demosaic
// directions, the levels, the tone curve and saturation, progress and stop,
// and the whole chain's invariants.
#include <gtest/gtest.h>

#include <vector>

#include "base/memio.h"
#include "picture/pict_base.h"
#include "picture/raw/raw_develop.h"

namespace {

uint32_t Ch(uint64_t p, int c) { return static_cast<uint32_t>(p >> (16 * c)) & 0xFFFF; }
uint32_t B(uint64_t p) { return Ch(p, 0); }
uint32_t G(uint64_t p) { return Ch(p, 1); }
uint32_t R(uint64_t p) { return Ch(p, 2); }
uint32_t A(uint64_t p) { return Ch(p, 3); }

std::unique_ptr<cBayerFilter> Rggb() { return std::make_unique<cStdCFAFilter>(); }

class cCountingSink : public cProgressNotifyTarget {
public:
  explicit cCountingSink(int stopAfter = -1) : stopAfter_(stopAfter) {}
  bool SetProgress(double percent) override {
    if (percent < 0 || percent > 100) outOfRange = true;
    ++calls;
    return stopAfter_ < 0 || calls <= stopAfter_;
  }
  int calls = 0;
  bool outOfRange = false;

private:
  int stopAfter_;
};

TEST(RawDevelop, FrameCheckRefusesBordersAndShortBuffers) {
  std::vector<uint16_t> raw(16 * 12, 100);
  std::vector<uint64_t> out(16 * 12, 0x1234);
  struct sCase {
    const char* what;
    sRawBorders b;
    int64_t rawCount, outCount;
    bool ok;
  };
  const sCase cases[] = {
      {"none", {0, 0, 0, 0}, 192, 192, true},
      {"inside", {2, 3, 1, 4}, 192, 11 * 7, true},
      {"negative left", {-1, 0, 0, 0}, 192, 192, false},
      {"negative bottom", {0, 0, 0, -2}, 192, 192, false},
      {"left + right = width", {8, 8, 0, 0}, 192, 192, false},
      {"top + bottom beyond height", {0, 0, 10, 5}, 192, 192, false},
      {"huge borders that overflow 32 bits", {0x7FFFFFFF, 0x7FFFFFFF, 0, 0}, 192, 192, false},
      {"raw buffer one sample short", {0, 0, 0, 0}, 191, 192, false},
      {"output one pixel short", {1, 1, 1, 1}, 192, 14 * 10 - 1, false},
  };
  for (const sCase& c : cases) {
    std::fill(out.begin(), out.end(), 0x1234);
    cRawDevelopContext ctx(out.data(), c.outCount, 16, raw.data(), c.rawCount, 12, Rggb(), 0, 1, 1, 1);
    EXPECT_EQ(DemosaicBayer(ctx, &c.b, nullptr), c.ok) << c.what;
    cRawDevelopContext ctx2(out.data(), c.outCount, 16, raw.data(), c.rawCount, 12, Rggb(), 0, 1, 1, 1);
    EXPECT_EQ(DemosaicNeighbourMean(&c.b, ctx2), c.ok) << c.what;
    if (!c.ok) {
      for (uint64_t p : out) ASSERT_EQ(p, 0x1234u) << c.what << ": written although refused";
    }
  }
  // Missing pieces.
  cRawDevelopContext noFilter(out.data(), 192, 16, raw.data(), 192, 12, nullptr, 0, 1, 1, 1);
  EXPECT_FALSE(DemosaicBayer(noFilter, nullptr, nullptr));
  cRawDevelopContext noRaw(out.data(), 192, 16, nullptr, 192, 12, Rggb(), 0, 1, 1, 1);
  EXPECT_FALSE(DemosaicBayer(noRaw, nullptr, nullptr));
  cRawDevelopContext zero(out.data(), 192, 0, raw.data(), 192, 12, Rggb(), 0, 1, 1, 1);
  EXPECT_FALSE(DemosaicBayer(zero, nullptr, nullptr));
  cRawDevelopContext weights(out.data(), 192, 16, raw.data(), 192, 12, Rggb(), 0, 1, 1, 1);
  EXPECT_FALSE(DemosaicWeighted(nullptr, weights, nullptr));
}

// A 2 x 2 mosaic lies wholly in the edge band: every colour is the mean of
// its sites in the 3 x 3 window, the own colour the developed own sample.
TEST(RawDevelop, TwoByTwoMosaicByHand) {
  // R 1000, G 2000 / G 3000, B 4000; black 200; multipliers R 2, G 1, B 0.5.
  const std::vector<uint16_t> raw = {1000, 2000, 3000, 4000};
  std::vector<uint64_t> out(4);
  cRawDevelopContext ctx(out.data(), 4, 2, raw.data(), 4, 2, Rggb(), 200, 2.0, 1.0, 0.5);
  ASSERT_TRUE(DemosaicBayer(ctx, nullptr, nullptr));
  // Output rows bottom-up: row 1 of memory is the top raw row.
  const uint64_t red = out[2], green1 = out[3], green2 = out[0], blue = out[1];
  // Red site: R own (800 * 2), G mean (1800 + 2800) / 2, B 3800 * 0.5.
  EXPECT_EQ(R(red), 1600u);
  EXPECT_EQ(G(red), 2300u);
  EXPECT_EQ(B(red), 1900u);
  EXPECT_EQ(G(green1), 1800u);
  EXPECT_EQ(R(green1), 1600u);
  EXPECT_EQ(G(green2), 2800u);
  EXPECT_EQ(B(blue), 1900u);
  EXPECT_EQ(G(blue), 2300u);
  for (uint64_t p : out) EXPECT_EQ(A(p), 0xFFFFu);
  EXPECT_EQ(ctx.minSample, 1000);
  EXPECT_EQ(ctx.maxSample, 4000);
}

TEST(RawDevelop, BlackAndClampOfSamples) {
  // A sample below black develops to 0; a product above 65535 clamps.
  const std::vector<uint16_t> raw = {50, 60000, 60000, 60000};
  std::vector<uint64_t> out(4);
  cRawDevelopContext ctx(out.data(), 4, 2, raw.data(), 4, 2, Rggb(), 100, 1.0, 3.0, 1.0);
  ASSERT_TRUE(DemosaicBayer(ctx, nullptr, nullptr));
  EXPECT_EQ(R(out[2]), 0u);
  EXPECT_EQ(G(out[3]), 0xFFFFu);
}

TEST(RawDevelop, FlatFieldDevelopsFlatWithEveryDemosaic) {
  const int w = 24, h = 20;
  std::vector<uint16_t> raw(w * h, 1200);
  const double weights[12] = {1, 0.5, 0, 0.5, 0, 1, 0, 1, 0, 0.5, 1, 0.5};
  for (int kind = 0; kind < 3; ++kind) {
    std::vector<uint64_t> out(w * h);
    cRawDevelopContext ctx(out.data(), w * h, w, raw.data(), w * h, h, Rggb(), 200, 1.0, 1.0, 1.0);
    bool ok = kind == 0 ? DemosaicBayer(ctx, nullptr, nullptr)
                        : kind == 1 ? DemosaicNeighbourMean(nullptr, ctx) : DemosaicWeighted(nullptr, ctx, weights);
    ASSERT_TRUE(ok) << kind;
    for (uint64_t p : out) {
      ASSERT_EQ(R(p), 1000u) << kind;
      ASSERT_EQ(G(p), 1000u) << kind;
      ASSERT_EQ(B(p), 1000u) << kind;
      ASSERT_EQ(A(p), 0xFFFFu) << kind;
    }
  }
}

// Greens that change at column 8, everything else flat: at the red site
// (8, 8) the vertical direction has no gradient, so the green comes from
// above and below (5000); the horizontal estimate would be 3000.
TEST(RawDevelop, VerticalEdgeChoosesTheVerticalDirection) {
  const int w = 16, h = 16;
  std::vector<uint16_t> raw(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool green = ((x + y) & 1) != 0;
      raw[y * w + x] = static_cast<uint16_t>(green ? (x < 8 ? 1000 : 5000) : 2000);
    }
  std::vector<uint64_t> out(w * h);
  cRawDevelopContext ctx(out.data(), w * h, w, raw.data(), w * h, h, Rggb(), 0, 1, 1, 1);
  ASSERT_TRUE(DemosaicBayer(ctx, nullptr, nullptr));
  const uint64_t p = out[(h - 1 - 8) * w + 8];
  EXPECT_EQ(G(p), 5000u);
  EXPECT_EQ(R(p), 2000u);
  // A flat green field gives every red and blue site that green.
  std::vector<uint16_t> flat(w * h);
  for (int i = 0; i < w * h; ++i) flat[i] = static_cast<uint16_t>(((i % w + i / w) & 1) ? 3000 : 700 + 37 * (i % 11));
  cRawDevelopContext ctx2(out.data(), w * h, w, flat.data(), w * h, h, Rggb(), 0, 1, 1, 1);
  ASSERT_TRUE(DemosaicBayer(ctx2, nullptr, nullptr));
  for (int y = 4; y < h - 4; ++y)
    for (int x = 4; x < w - 4; ++x) ASSERT_EQ(G(out[y * w + x]), 3000u) << x << "," << y;
}

TEST(RawDevelop, RowOrderFollowsTheBottomUpFlag) {
  const int w = 12, h = 10;
  std::vector<uint16_t> raw(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) raw[y * w + x] = static_cast<uint16_t>(1000 * (y + 1));
  for (int bottomUp = 0; bottomUp < 2; ++bottomUp) {
    std::vector<uint64_t> out(w * h);
    cRawDevelopContext ctx(out.data(), w * h, w, raw.data(), w * h, h, Rggb(), 0, 1, 1, 1);
    ctx.bottomUp = bottomUp != 0;
    ASSERT_TRUE(DemosaicNeighbourMean(nullptr, ctx));
    // The top raw row's samples (1000) mix only with row 1 (2000).
    const uint64_t top = out[(bottomUp ? h - 1 : 0) * w + 5];
    EXPECT_LT(G(top), 2000u) << bottomUp;
    const uint64_t bottom = out[(bottomUp ? 0 : h - 1) * w + 5];
    EXPECT_GT(G(bottom), 9000u) << bottomUp;
  }
}

TEST(RawDevelop, BordersCutTheFrameAndKeepThePatternPhase) {
  // A 10 x 8 frame whose inner 6 x 4 area (left 2, right 2, top 1, bottom 3)
  // is flat at 500 and whose border is 60000.
  const int w = 10, h = 8;
  std::vector<uint16_t> raw(w * h, 60000);
  for (int y = 1; y < 5; ++y)
    for (int x = 2; x < 8; ++x) raw[y * w + x] = 500;
  std::vector<uint64_t> out(6 * 4);
  const sRawBorders b = {2, 2, 1, 3};
  cRawDevelopContext ctx(out.data(), 24, w, raw.data(), w * h, h, Rggb(), 0, 1, 1, 1);
  ASSERT_TRUE(DemosaicBayer(ctx, &b, nullptr));
  for (uint64_t p : out) {
    EXPECT_EQ(R(p), 500u);
    EXPECT_EQ(G(p), 500u);
    EXPECT_EQ(B(p), 500u);
  }
  EXPECT_EQ(ctx.maxSample, 500);
}

TEST(RawDevelop, ColourMatrixAppliesInTheOutputPass) {
  const int w = 12, h = 12;
  std::vector<uint16_t> raw(w * h, 1000);
  std::vector<uint64_t> out(w * h);
  const double m[9] = {2, 0, 0, 0, 0.5, 0, 0.25, 0.25, 0.25};
  cRawDevelopContext ctx(out.data(), w * h, w, raw.data(), w * h, h, Rggb(), 0, 1, 1, 1);
  ASSERT_TRUE(DemosaicBayer(ctx, nullptr, m));
  for (uint64_t p : out) {
    ASSERT_EQ(R(p), 2000u);
    ASSERT_EQ(G(p), 500u);
    ASSERT_EQ(B(p), 750u);
  }
}

TEST(RawDevelop, NeighbourMeanByHand) {
  // 3 x 3 RGGB: the centre (1, 1) is blue; its window has red at the four
  // corners, green at the four edges.
  const std::vector<uint16_t> raw = {100, 200, 300, 400, 500, 600, 700, 800, 900};
  std::vector<uint64_t> out(9);
  cRawDevelopContext ctx(out.data(), 9, 3, raw.data(), 9, 3, Rggb(), 0, 1, 1, 1);
  ctx.bottomUp = false;
  ASSERT_TRUE(DemosaicNeighbourMean(nullptr, ctx));
  const uint64_t c = out[4];
  EXPECT_EQ(B(c), 500u);
  EXPECT_EQ(R(c), (100u + 300 + 700 + 900) / 4);
  EXPECT_EQ(G(c), (200u + 400 + 600 + 800) / 4);
  // Corner (0, 0), red: greens 200 and 400, blue 500.
  EXPECT_EQ(R(out[0]), 100u);
  EXPECT_EQ(G(out[0]), 300u);
  EXPECT_EQ(B(out[0]), 500u);
}

TEST(RawDevelop, WeightedByHand) {
  // Two samples wide, one high: red 1000, green 3000. Output red takes red
  // only, green half of each, blue green only.
  const std::vector<uint16_t> raw = {1000, 3000};
  std::vector<uint64_t> out(2);
  const double w[12] = {1, 0, 0, 0, 0.5, 0.5, 0, 0, 0, 1, 0, 0};
  cRawDevelopContext ctx(out.data(), 2, 2, raw.data(), 2, 1, Rggb(), 0, 1, 1, 1);
  ASSERT_TRUE(DemosaicWeighted(nullptr, ctx, w));
  EXPECT_EQ(R(out[0]), 1000u);
  EXPECT_EQ(G(out[0]), 2000u);
  EXPECT_EQ(B(out[0]), 3000u);
}

TEST(RawDevelop, StopThroughTheSinkEndsWithinRows) {
  const int w = 32, h = 64;
  std::vector<uint16_t> raw(w * h, 1000);
  std::vector<uint64_t> out(w * h);
  cCountingSink sink(5);
  cRawDevelopContext ctx(out.data(), w * h, w, raw.data(), w * h, h, Rggb(), 0, 1, 1, 1);
  ctx.progress = &sink;
  EXPECT_FALSE(DemosaicBayer(ctx, nullptr, nullptr));
  EXPECT_EQ(sink.calls, 6);
  cCountingSink all;
  cRawDevelopContext ctx2(out.data(), w * h, w, raw.data(), w * h, h, Rggb(), 0, 1, 1, 1);
  ctx2.progress = &all;
  EXPECT_TRUE(DemosaicBayer(ctx2, nullptr, nullptr));
  EXPECT_FALSE(all.outOfRange);
  EXPECT_GE(all.calls, h);
}

TEST(RawDevelop, ProgressPercentDoesNotOverflow) {
  // 30 megapixels: index * 100 overflows 32 bits from about 21 million on.
  const int64_t count = 30000000;
  EXPECT_EQ(RawProgressPercent(count - 1, count), 99.0);
  EXPECT_EQ(RawProgressPercent(count / 2, count), 50.0);
  EXPECT_EQ(RawProgressPercent(int64_t{1} << 40, int64_t{1} << 41), 50.0);
  EXPECT_EQ(RawProgressPercent(5, 0), 0.0);
}

_typebuf<uint32_t> Bins(int32_t n) {
  _typebuf<uint32_t> b(n);
  for (int32_t i = 0; i < n; ++i) b.data[i] = 0;
  return b;
}

TEST(RawDevelop, FindLevelsCases) {
  struct sCase {
    const char* what;
    std::vector<std::pair<int, uint32_t>> filled;
    double fraction;
    uint32_t black, middle, white;
  };
  const sCase cases[] = {
      // All in bin 10 (16 values wide): black near its start, white near
      // its end; black stays below white.
      {"one bin", {{10, 1000}}, 0.999, 160, 167, 175},
      {"two extreme bins", {{0, 500}, {4095, 500}}, 0.999, 0, 15, 65535},
      {"fraction 1: black at the first bin, even empty", {{100, 10}, {200, 10}}, 1.0, 0, 1616, 3216},
      {"dark frame in bin 0", {{0, 4096}}, 0.999, 0, 7, 15},
  };
  for (const sCase& c : cases) {
    _typebuf<uint32_t> b = Bins(4096);
    for (auto& f : c.filled) b.data[f.first] = f.second;
    uint32_t black = 1, middle = 2, white = 3;
    ASSERT_TRUE(FindLevels(b, black, middle, white, c.fraction)) << c.what;
    EXPECT_EQ(black, c.black) << c.what;
    EXPECT_EQ(middle, c.middle) << c.what;
    EXPECT_EQ(white, c.white) << c.what;
    EXPECT_LT(black, white) << c.what;
  }
}

TEST(RawDevelop, FindLevelsRefusals) {
  uint32_t black = 7, middle = 7, white = 7;
  _typebuf<uint32_t> empty;
  EXPECT_FALSE(FindLevels(empty, black, middle, white, 0.999));
  _typebuf<uint32_t> three = Bins(3);
  three.data[1] = 5;
  EXPECT_FALSE(FindLevels(three, black, middle, white, 0.999));
  _typebuf<uint32_t> zero = Bins(4096);
  EXPECT_FALSE(FindLevels(zero, black, middle, white, 0.999));
  _typebuf<uint32_t> ok = Bins(4096);
  ok.data[3] = 9;
  EXPECT_FALSE(FindLevels(ok, black, middle, white, 0.0));
  EXPECT_FALSE(FindLevels(ok, black, middle, white, 1.5));
  _typebuf<uint32_t> big = Bins(131072);
  big.data[3] = 9;
  EXPECT_FALSE(FindLevels(big, black, middle, white, 0.999));
  EXPECT_EQ(black, 7u);
  EXPECT_EQ(white, 7u);
  // 65536 bins of width 1: levels are bin starts. With 100 samples the
  // 0.1 percent point is sample 0, which the empty bin 0 already reaches.
  _typebuf<uint32_t> fine = Bins(65536);
  fine.data[1234] = 100;
  ASSERT_TRUE(FindLevels(fine, black, middle, white, 0.999));
  EXPECT_EQ(black, 0u);
  EXPECT_EQ(middle, 1234u);
  EXPECT_EQ(white, 1234u);
}

TEST(RawDevelop, ToneCurve) {
  _typebuf<uint32_t> t;
  EXPECT_FALSE(BuildToneCurve(100, 100, 2.2, t));
  EXPECT_EQ(t.count, 0);
  EXPECT_FALSE(BuildToneCurve(0, 65536, 2.2, t));
  EXPECT_FALSE(BuildToneCurve(0, 1000, 0.0, t));
  EXPECT_FALSE(BuildToneCurve(2000, 1000, 2.2, t));
  ASSERT_TRUE(BuildToneCurve(0, 65535, 2.2, t));
  ASSERT_EQ(t.count, 65536);
  EXPECT_EQ(t.data[0], 0u);
  EXPECT_EQ(t.data[65535], 65535u);
  for (int i = 1; i < 65536; ++i) ASSERT_GE(t.data[i], t.data[i - 1]) << i;
  // Gamma 2.2 lifts the middle: r = 0.5 maps to about 0.5^(1/2.2) of the
  // range, less the offset of the toe.
  EXPECT_GT(t.data[32768], 40000u);
  EXPECT_LT(t.data[32768], 48000u);
  ASSERT_TRUE(BuildToneCurve(1000, 5000, 2.2, t));
  EXPECT_EQ(t.data[999], 0u);
  EXPECT_EQ(t.data[1000], 0u);
  EXPECT_EQ(t.data[5000], 65535u);
  EXPECT_EQ(t.data[65535], 65535u);
  // Gamma 1: a straight line from black to white.
  ASSERT_TRUE(BuildToneCurve(0, 65535, 1.0, t));
  EXPECT_NEAR(static_cast<double>(t.data[16384]), 16384.0, 1.0);
  // Gamma below 1 has no toe.
  ASSERT_TRUE(BuildToneCurve(0, 65535, 0.5, t));
  EXPECT_NEAR(static_cast<double>(t.data[32768]), 65535.0 * 0.25, 2.0);
}

TEST(RawDevelop, ApplyToneCurveKeepsAlphaAndCaps) {
  _typebuf<uint32_t> t(65536);
  for (int i = 0; i < 65536; ++i) t.data[i] = static_cast<uint32_t>(i / 2);
  t.data[7] = 100000;
  std::vector<uint64_t> px = {uint64_t{0x1234} << 48 | uint64_t{100} << 32 | uint64_t{7} << 16 | 50};
  ASSERT_TRUE(ApplyToneCurve(px.data(), px.data(), 1, t, nullptr));
  EXPECT_EQ(A(px[0]), 0x1234u);
  EXPECT_EQ(R(px[0]), 50u);
  EXPECT_EQ(G(px[0]), 0xFFFFu);
  EXPECT_EQ(B(px[0]), 25u);
  _typebuf<uint32_t> shorter(65535);
  EXPECT_FALSE(ApplyToneCurve(px.data(), px.data(), 1, shorter, nullptr));
  EXPECT_FALSE(ApplyToneCurve(nullptr, px.data(), 1, t, nullptr));
  EXPECT_FALSE(ApplyToneCurve(px.data(), px.data(), 0, t, nullptr));
}

TEST(RawDevelop, Saturation) {
  auto pix = [](uint64_t r, uint64_t g, uint64_t b) { return uint64_t{0xFFFF} << 48 | r << 32 | g << 16 | b; };
  std::vector<uint64_t> px = {pix(3000, 3000, 3000), pix(0, 65535, 0), pix(1000, 2000, 4000)};
  std::vector<uint64_t> one(px.size()), grey(px.size()), more(px.size());
  ASSERT_TRUE(AdjustSaturation(px.data(), one.data(), 3, nullptr, 1.0));
  ASSERT_TRUE(AdjustSaturation(px.data(), grey.data(), 3, nullptr, 0.0));
  ASSERT_TRUE(AdjustSaturation(px.data(), more.data(), 3, nullptr, 1.5));
  EXPECT_EQ(one, px);
  EXPECT_EQ(more[0], px[0]);  // grey stays grey
  for (uint64_t p : grey) {
    EXPECT_EQ(R(p), G(p));
    EXPECT_EQ(G(p), B(p));
  }
  // Y of (0, 65535, 0) is 38665; green goes to 38665 + 1.5 * 26870 > 65535.
  EXPECT_EQ(G(more[1]), 65535u);
  EXPECT_EQ(R(more[1]), 0u);
  // Y of (1000, 2000, 4000) is about 1920: red 1920 - 1.5 * 920 = 540.
  EXPECT_NEAR(R(more[2]), 540.0, 2.0);
  EXPECT_NEAR(B(more[2]), 1920 + 1.5 * 2080, 2.0);
  EXPECT_FALSE(AdjustSaturation(nullptr, more.data(), 3, nullptr, 1.5));
}

TEST(RawDevelop, HistogramCountsThreeChannelsPerPixel) {
  std::vector<uint64_t> px = {uint64_t{0xFFFF} << 48 | uint64_t{0xFFFF} << 32 | uint64_t{16} << 16 | 15};
  cRawHistogram h;
  ASSERT_TRUE(BuildRawHistogram(px.data(), 1, h, nullptr));
  ASSERT_EQ(h.all.count, 4096);
  EXPECT_EQ(h.all.data[4095], 1u);
  EXPECT_EQ(h.all.data[1], 1u);
  EXPECT_EQ(h.all.data[0], 1u);
  EXPECT_EQ(h.red.data[4095], 1u);
  EXPECT_EQ(h.green.data[1], 1u);
  EXPECT_EQ(h.blue.data[0], 1u);
  EXPECT_FALSE(BuildRawHistogram(nullptr, 1, h, nullptr));
  EXPECT_FALSE(BuildRawHistogram(px.data(), 0, h, nullptr));
}

// The chain: size raw less borders, alpha, a flat field stays flat, a
// closed stream stops it, a failure leaves the picture alone.
TEST(RawDevelop, DevelopRawChain) {
  const int w = 40, h = 30;
  std::vector<uint16_t> raw(w * h, 9000);
  std::vector<uint8_t> bytes(16);
  cBufWrapperIO io(bytes.data(), 16);
  cPictDummy pict;
  sRawDevelopParams p;
  p.hasBorders = true;
  p.borders = {2, 4, 1, 3};
  p.saturation = 1.5;
  ASSERT_TRUE(DevelopRaw(raw.data(), w * h, w, h, Rggb(), p, &io, pict));
  EXPECT_EQ(pict.GetWidth(), w - 6);
  EXPECT_EQ(pict.GetHeight(), h - 4);
  EXPECT_TRUE(pict.IsHighDepth());
  const uint64_t first = pict.Pixels64().data[0];
  for (int i = 0; i < pict.Pixels64().count; ++i) {
    ASSERT_EQ(pict.Pixels64().data[i], first);
    ASSERT_EQ(A(first), 0xFFFFu);
  }
  // Borders too large, or a missing filter: refused, picture unchanged.
  p.borders = {20, 20, 0, 0};
  EXPECT_FALSE(DevelopRaw(raw.data(), w * h, w, h, Rggb(), p, &io, pict));
  p.hasBorders = false;
  EXPECT_FALSE(DevelopRaw(raw.data(), w * h, w, h, nullptr, p, &io, pict));
  EXPECT_FALSE(DevelopRaw(raw.data(), w * h - 1, w, h, Rggb(), p, &io, pict));
  EXPECT_EQ(pict.GetWidth(), w - 6);
  // A stream that reports itself closed stops the development.
  io.Close();
  cPictDummy other;
  EXPECT_FALSE(DevelopRaw(raw.data(), w * h, w, h, Rggb(), p, &io, other));
  EXPECT_EQ(other.GetWidth(), 0);
}

TEST(RawDevelop, FrameHookSeesTheRawFrame) {
  struct sSeen {
    int w = 0, h = 0;
    uint16_t first = 0;
  } seen;
  SetRawFrameHook(
      [](const uint16_t* raw, int32_t rw, int32_t rh, void* user) {
        auto* s = static_cast<sSeen*>(user);
        s->w = rw;
        s->h = rh;
        s->first = raw[0];
      },
      &seen);
  std::vector<uint16_t> raw(8 * 6, 321);
  cPictDummy pict;
  sRawDevelopParams p;
  EXPECT_TRUE(DevelopRaw(raw.data(), 48, 8, 6, Rggb(), p, nullptr, pict));
  SetRawFrameHook(nullptr, nullptr);
  EXPECT_EQ(seen.w, 8);
  EXPECT_EQ(seen.h, 6);
  EXPECT_EQ(seen.first, 321);
}

// The tail alone (for pictures with three samples per pixel) and the
// levels hook a format uses to cap the white level.
TEST(RawDevelop, TailAndLevelsHook) {
  std::vector<uint64_t> px(64);
  for (int i = 0; i < 64; ++i) {
    const uint64_t v = static_cast<uint64_t>(1000 + 300 * i);
    px[i] = uint64_t{0xFFFF} << 48 | v << 32 | v << 16 | v;
  }
  sRawDevelopParams p;
  std::vector<uint64_t> plain = px;
  ASSERT_TRUE(ApplyDevelopmentTail(plain.data(), 64, p, nullptr, nullptr));
  // With 192 counts the 0.1 percent point is count 0: black 0. White lies
  // at the end of the brightest bin, just above its sample.
  for (int i = 1; i < 64; ++i) ASSERT_GT(G(plain[i]), G(plain[i - 1])) << i;
  EXPECT_GT(G(plain[0]), 0u);
  EXPECT_GE(G(plain[63]), 65500u);
  EXPECT_EQ(A(plain[0]), 0xFFFFu);
  struct sSeen {
    int calls = 0;
    int32_t maxSample = 0;
  } seen;
  p.adjustLevels = [](const cRawDevelopContext& ctx, uint32_t&, uint32_t& white, void* user) {
    auto* s = static_cast<sSeen*>(user);
    ++s->calls;
    s->maxSample = ctx.maxSample;
    white = static_cast<uint32_t>(ctx.maxSample * 0.5 + 0.5);
  };
  p.adjustUser = &seen;
  // Through DevelopRaw the hook sees the demosaic's context.
  std::vector<uint16_t> raw(16 * 12);
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint16_t>(2000 + 100 * (i % 16));
  cPictDummy pict;
  ASSERT_TRUE(DevelopRaw(raw.data(), 192, 16, 12, Rggb(), p, nullptr, pict));
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.maxSample, 3500);
  // A capped white level saturates the brighter half.
  int saturated = 0;
  for (int i = 0; i < pict.Pixels64().count; ++i) saturated += G(pict.Pixels64().data[i]) == 65535u;
  EXPECT_GT(saturated, 192 / 3);
  // Failing tone steps fail the tail unless the format ignores them.
  std::vector<uint64_t> zero(4, 0);
  sRawDevelopParams bad;
  bad.gamma = 0;
  EXPECT_FALSE(ApplyDevelopmentTail(zero.data(), 4, bad, nullptr, nullptr));
  bad.ignoreToneFailures = true;
  EXPECT_TRUE(ApplyDevelopmentTail(zero.data(), 4, bad, nullptr, nullptr));
}

}  // namespace
