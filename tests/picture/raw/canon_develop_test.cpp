// Development of Canon raw through the factory: the sensor frame shown to
// the frame hook equals the generator's raster, and the pictures equal the
// shared development run by hand with the constants each format fixes (CR2
// with its matrix and no saturation, sRAW without borders or matrix, CRW's
// Bayer and four-colour models).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/raw/pict_cr2.h"
#include "picture/raw/pict_crw.h"
#include "picture/raw/raw_canon_tables.h"
#include "picture/raw/raw_cfa.h"
#include "picture/raw/raw_develop.h"
#include "tests/picture/raw/canon_crw_encoder.h"
#include "tests/picture/raw/cr2_builder.h"
#include "tests/picture/raw/crw_builder.h"
#include "tests/picture/raw/raw_test_util.h"

namespace {

std::vector<uint16_t> Mosaic(int w, int h, int bits, int seed) {
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      v[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(
          (x * 37 + y * 91 + (x & 1) * 300 + (y & 1) * 700 + seed * ((x * y) % 17)) & ((1 << bits) - 1));
  return v;
}

std::vector<uint64_t> PixelsOf(const cPictBase& p) {
  return std::vector<uint64_t>(p.Pixels64().data, p.Pixels64().data + p.Pixels64().count);
}

// The shared chain run by hand on raster.
std::vector<uint64_t> ByHand(const std::vector<uint16_t>& raster, int w, int h, std::unique_ptr<cBayerFilter> f,
                             const sRawDevelopParams& params) {
  cPictDummy out;
  EXPECT_TRUE(DevelopRaw(raster.data(), static_cast<int64_t>(raster.size()), w, h, std::move(f), params, nullptr, out));
  return PixelsOf(out);
}

cr2_test::tBytes Cr2(uint32_t modelId, int w, int h, int bits, const std::vector<uint16_t>& raster) {
  using namespace cr2_test;
  sCr2Spec s;
  s.modelId = modelId;
  s.sensorWidth = static_cast<uint16_t>(w);
  s.sensorHeight = static_cast<uint16_t>(h);
  s.leftBorder = 90;
  s.mask[0] = 2, s.mask[1] = 40, s.mask[2] = 80, s.mask[3] = 90;  // given area
  s.slices = {2, 48, static_cast<uint16_t>(w - 96)};
  const std::vector<uint16_t> order = SliceOrder(raster, w, h, 2, 48, w - 96);
  sComponent a, b;
  for (size_t i = 0; i < order.size(); ++i) (i % 2 == 0 ? a : b).samples.push_back(order[i]);
  s.raw = LosslessJpeg(w / 2, h, bits, {a, b});
  return MakeCr2(s);
}

TEST(CanonDevelop, Cr2ThroughTheFactoryEqualsTheChainByHand) {
  InitCanonColorMatrices();
  InitCanonBorders();
  const int w = 160, h = 100;
  struct {
    uint32_t modelId;
    int bits;
  } cases[] = {{0x80000213, 14}, {0x80000285, 14}, {0x80000999, 12}, {0x80000349, 14}};  // 0x80000349: white 0, so 16383
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.modelId);
    std::vector<uint16_t> raster = Mosaic(w, h, c.bits, 3);
    // A black area the measurement finds: 256 at rows 40 to 89, columns 2 to 79.
    for (int r = 40; r < 90; ++r)
      for (int col = 2; col < 80; ++col) raster[static_cast<size_t>(r) * w + col] = static_cast<uint16_t>(256 + (r & 1));
    const cr2_test::tBytes file = Cr2(c.modelId, w, h, c.bits, raster);
    cFrameCatcher catcher;
    sPictInfo info;
    std::unique_ptr<cPictBase> pict = Probe(file, &info);
    ASSERT_NE(pict, nullptr);
    EXPECT_EQ(pict->GetFormat(), kPictFormatCR2);
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    ASSERT_TRUE(pict->Load(&io));
    EXPECT_EQ(catcher.frame.samples, raster);  // --raw16 shows the generator's raster
    EXPECT_EQ(pict->GetWidth(), info.width);
    EXPECT_EQ(pict->GetHeight(), info.height);
    ASSERT_TRUE(pict->IsHighDepth());

    sCanonBorders b;
    LookupCanonBorders(c.modelId, b);
    double matrix[9];
    uint16_t tableBlack, tableWhite;
    LookupCanonColorMatrix(c.modelId, matrix, tableBlack, tableWhite);
    sRawDevelopParams p;
    p.matrix = matrix;
    p.hasBorders = true;
    p.borders = {static_cast<int32_t>(b.left), static_cast<int32_t>(b.right), static_cast<int32_t>(b.top),
                 static_cast<int32_t>(b.bottom)};
    p.black = 256;  // (256 + 257 + 256 + 257) / 4
    const int32_t white = tableWhite != 0 ? tableWhite : (1 << c.bits) - 1;
    const double scale = 65535.0 / (white - 256);
    // Balance red 2000, green 1024, blue 1500: the smallest is green.
    p.red = 2000 * scale / 1024;
    p.green = scale;
    p.blue = 1500 * scale / 1024;
    p.ignoreToneFailures = true;
    EXPECT_EQ(PixelsOf(*pict), ByHand(raster, w, h, std::make_unique<cStdCFAFilter>(), p));
  }
}

TEST(CanonDevelop, Cr2BlackNotBelowWhiteFails) {
  // Unknown model: white 3616; a measured black of 4000 is not below it.
  const int w = 160, h = 100;
  std::vector<uint16_t> raster(static_cast<size_t>(w) * h, 4000);
  const cr2_test::tBytes file = Cr2(0x80000999, w, h, 14, raster);
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictCR2 cr2;
  EXPECT_FALSE(cr2.Load(&io));
}

TEST(CanonDevelop, SRawConversion) {
  using namespace cr2_test;
  const int w = 8, h = 4;
  struct {
    uint32_t modelId;
  } cases[] = {{0x80000999}, {0x80000218}, {0x80000213}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.modelId);
    sComponent y{2, 1, {}}, cb{1, 1, {}}, cr{1, 1, {}};
    for (int i = 0; i < w * h; ++i) y.samples.push_back(static_cast<uint16_t>(3000 + 97 * i));
    for (int i = 0; i < w * h / 2; ++i) {
      cb.samples.push_back(static_cast<uint16_t>(16384 + 300 - 40 * i));
      cr.samples.push_back(static_cast<uint16_t>(16384 - 200 + 30 * i));
    }
    sCr2Spec s;
    s.modelId = c.modelId;
    s.sensorWidth = w;
    s.sensorHeight = h;
    s.slices = {1, 2 * w, 2 * w};
    s.raw = LosslessJpeg(w, h, 15, {y, cb, cr});
    const tBytes file = MakeCr2(s);
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    cPictCR2 cr2;
    sTiffStripData sd;
    ASSERT_TRUE(cr2.DecodeRaw(&io, sd));
    ASSERT_TRUE(cr2.AllocatePixels64(w, h));
    ASSERT_TRUE(cr2.ConvertSRaw(sd, false));
    const double k = 65535.0 / 32767.0;
    auto clamp = [k](int32_t v) { const double x = v * k; return x <= 0 ? 0u : x >= 65535 ? 65535u : static_cast<uint32_t>(x); };
    for (int i = 0; i < h; ++i)
      for (int j = 0; j < w; ++j) {
        int32_t Y = y.samples[static_cast<size_t>(i) * w + j];
        int32_t Cb = static_cast<int16_t>(cb.samples[static_cast<size_t>(i) * w / 2 + j / 2] - 16384);
        int32_t Cr = static_cast<int16_t>(cr.samples[static_cast<size_t>(i) * w / 2 + j / 2] - 16384);
        int32_t r, g, b;
        if (c.modelId == 0x80000218) {
          Cb *= 4, Cr *= 4;
          r = Y + ((50 * Cb + 22929 * Cr) >> 14);
          g = Y + ((-5640 * Cb - 11751 * Cr) >> 14);
          b = Y + ((29040 * Cb - 101 * Cr) >> 14);
        } else {
          if (c.modelId < 0x80000218) Y -= 512;
          r = Y + Cr;
          g = Y + ((-778 * Cb - 2048 * Cr) >> 12);
          b = Y + Cb;
        }
        const uint64_t want = clamp(b) | (uint64_t{clamp(g)} << 16) | (uint64_t{clamp(r)} << 32) | (uint64_t{0xFFFF} << 48);
        ASSERT_EQ(cr2.Pixels64().data[static_cast<size_t>(i) * w + j], want) << i << "," << j;
      }
    // The full load keeps the sensor size (no borders) and has pixels.
    io.Seek(0);
    cPictCR2 loaded;
    ASSERT_TRUE(loaded.Load(&io));
    EXPECT_EQ(loaded.GetWidth(), w);
    EXPECT_EQ(loaded.GetHeight(), h);
  }
}

TEST(CanonDevelop, CrwModelsEqualTheChainByHand) {
  using namespace crw_test;
  struct {
    uint32_t modelId;
    bool lowBits, fourColour;
    int32_t black, white;
  } cases[] = {
      {0x80000168, true, false, 128, 4000},
      {0x01140000, true, false, 0, 4095},
      {0x01100000, false, false, 0, 1023},
      {0x04040000, false, true, 0, 0},
      {0x03010000, false, true, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.modelId);
    sCrwSpec s;
    s.modelId = c.modelId;
    s.sensorWidth = 96;
    s.sensorHeight = 64;
    s.width = 80;
    s.height = 60;
    s.left = 10;
    s.top = 3;
    s.wbSetting = 2;
    const std::vector<uint16_t> raster = Mosaic(96, 64, c.lowBits ? 12 : 10, 5);
    s.raw = canon_test::EncodeCanonCompressed(raster, c.lowBits, 96, 1);
    s.tableIndex = 1;
    const tBytes camera = CrwCamera(s);
    cFrameCatcher catcher;
    sPictInfo info;
    std::unique_ptr<cPictBase> pict = Probe(camera, &info);
    ASSERT_NE(pict, nullptr);
    EXPECT_EQ(pict->GetFormat(), kPictFormatCRW);
    cBufWrapperIO io(camera.data(), static_cast<uint32_t>(camera.size()));
    ASSERT_TRUE(pict->Load(&io));
    EXPECT_EQ(catcher.frame.samples, raster);
    EXPECT_EQ(pict->GetWidth(), 80);
    EXPECT_EQ(pict->GetHeight(), 60);

    sRawDevelopParams p;
    p.hasBorders = true;
    p.borders = {10, 6, 3, 1};
    std::unique_ptr<cBayerFilter> filter;
    if (c.fourColour) {
      static const double kWeights[12] = {2, 2, -0.5, -0.2, -0.2, 2, 2, 1, 1, -0.5, 2, -0.2};
      static const uint8_t kPattern[4] = {1, 2, 3, 0};
      sCFAPattern pattern;
      ASSERT_TRUE(pattern.Assign(2, 2, kPattern, 4));
      filter = CreateBayerFilter(pattern);
      p.demosaic = kRawDemosaicWeighted;
      p.weights = kWeights;
      p.saturation = 1.5;
    } else {
      // White-balance entry 2: levels 102, 202, 302, 402; the smallest 102.
      const double scale = 65535.0 / (c.white - c.black);
      p.black = c.black;
      p.red = 102 * scale / 102;
      p.green = 202 * scale / 102;
      p.blue = 302 * scale / 102;
      filter = std::make_unique<cStdCFAFilter>();
    }
    EXPECT_EQ(PixelsOf(*pict), ByHand(raster, 96, 64, std::move(filter), p));
  }
}

}  // namespace
