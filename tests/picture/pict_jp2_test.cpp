// The JPEG 2000 output stage on image records built here (grey, sYCC, CMYK,
// CIELab, sampling, refusals, canvas streaming), and the decoders' probes
// and loads on the committed fixtures, on both targets.
#include <gtest/gtest.h>

#include <openjpeg.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_jp2.h"
#include "tests/support/test_support.h"

namespace {

struct sCompSpec {
  uint32_t dx = 1, dy = 1, prec = 8;
};

// An image record as the library hands it over: area (x0, y0)-(x1, y1),
// components sized by the JPEG 2000 rule ceil(x1 / dx) - ceil(x0 / dx).
struct sImage {
  sImage(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, std::vector<sCompSpec> specs, OPJ_COLOR_SPACE space) {
    std::vector<opj_image_cmptparm_t> params(specs.size());
    for (size_t i = 0; i < specs.size(); ++i) {
      opj_image_cmptparm_t& p = params[i];
      std::memset(&p, 0, sizeof p);
      p.dx = specs[i].dx;
      p.dy = specs[i].dy;
      p.x0 = (x0 + p.dx - 1) / p.dx;
      p.y0 = (y0 + p.dy - 1) / p.dy;
      p.w = (x1 + p.dx - 1) / p.dx - p.x0;
      p.h = (y1 + p.dy - 1) / p.dy - p.y0;
      p.prec = specs[i].prec;
    }
    image = opj_image_create(static_cast<OPJ_UINT32>(params.size()), params.data(), space);
    image->x0 = x0;
    image->y0 = y0;
    image->x1 = x1;
    image->y1 = y1;
  }
  ~sImage() {
    image->icc_profile_buf = nullptr;  // ours, not the library's
    opj_image_destroy(image);
  }
  void Fill(uint32_t c, int32_t v) {
    for (uint32_t i = 0; i < image->comps[c].w * image->comps[c].h; ++i) image->comps[c].data[i] = v;
  }
  int32_t& At(uint32_t c, uint32_t x, uint32_t y) { return image->comps[c].data[y * image->comps[c].w + x]; }
  // Marks the record as CIELab, with the library's "DEF" when no range and
  // offset are given.
  void SetLab(const uint32_t* params) {
    lab[0] = 14;
    lab[1] = params == nullptr ? 0x44454600u : 0;
    for (int i = 0; i < 6; ++i) lab[2 + i] = params == nullptr ? 0 : params[i];
    lab[8] = 0x00443530;
    image->icc_profile_buf = reinterpret_cast<OPJ_BYTE*>(lab);
    image->icc_profile_len = 0;
  }
  opj_image_t* image = nullptr;
  uint32_t lab[9] = {};
};

class cTestJP2 : public cPictJ2K {};

uint32_t PixelAt(cPictBase& p, int32_t x, int32_t y) {  // y counted from the top
  return p.Pixels32().data[static_cast<size_t>(p.GetHeight() - 1 - y) * p.GetWidth() + x];
}

TEST(Jp2Output, Grey12BitShiftsByFour) {
  sImage im(0, 0, 2, 1, {{1, 1, 12}}, OPJ_CLRSPC_GRAY);
  im.At(0, 0, 0) = 4095;
  im.At(0, 1, 0) = 16;
  cTestJP2 p;
  ASSERT_TRUE(cPictJP2Base::StoreDecodedImage(&p, im.image));
  EXPECT_EQ(PixelAt(p, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(PixelAt(p, 1, 0), 0xFF010101u);
}

TEST(Jp2Output, SyccPixelsByTheFormula) {
  struct sRow {
    int32_t y, cb, cr;
    uint32_t want;
  };
  const sRow rows[] = {
      {128, 128, 128, 0xFF808080u},
      {100, 128, 228, 0xFFF01D64u},  // R 240, G 29, B 100
      {0, 255, 255, 0xFF000000u | 178u << 16 | 0u << 8 | 225u},
      {255, 0, 0, 0xFF000000u | 76u << 8 | 28u},  // R and B clamp
  };
  for (const sRow& r : rows) {
    sImage im(0, 0, 1, 1, {{}, {}, {}}, OPJ_CLRSPC_SYCC);
    im.At(0, 0, 0) = r.y;
    im.At(1, 0, 0) = r.cb;
    im.At(2, 0, 0) = r.cr;
    // The same with the constants in single precision, products truncated.
    const float cb = static_cast<float>(r.cb - 128), cr = static_cast<float>(r.cr - 128);
    auto clamp = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
    const uint32_t formula = 0xFF000000u | clamp(r.y + static_cast<int>(1.402f * cr)) << 16 |
                             clamp(r.y - static_cast<int>(0.34414f * cb + 0.71414f * cr)) << 8 |
                             clamp(r.y + static_cast<int>(1.772f * cb));
    cTestJP2 p;
    ASSERT_TRUE(cPictJP2Base::StoreDecodedImage(&p, im.image));
    EXPECT_EQ(PixelAt(p, 0, 0), formula) << r.y << " " << r.cb << " " << r.cr;
    if (&r - rows < 2) {
      EXPECT_EQ(PixelAt(p, 0, 0), r.want) << r.y << " " << r.cb << " " << r.cr;
    }
  }
}

TEST(Jp2Output, Sycc420OddWidthUsesTheLastChromaSampleForTheLastColumn) {
  sImage im(0, 0, 5, 3, {{}, {2, 2, 8}, {2, 2, 8}}, OPJ_CLRSPC_SYCC);
  ASSERT_EQ(im.image->comps[1].w, 3u);
  im.Fill(0, 128);
  im.Fill(1, 128);
  im.Fill(2, 128);
  for (uint32_t y = 0; y < 2; ++y) im.At(2, 2, y) = 228;  // the last chroma column
  cTestJP2 p;
  ASSERT_TRUE(cPictJP2Base::StoreDecodedImage(&p, im.image));
  for (int32_t y = 0; y < 3; ++y) {
    EXPECT_EQ(PixelAt(p, 4, y), 0xFFFF3980u) << y;  // Y 128 with Cr 228: R 268 clamps, G 57
    EXPECT_EQ(PixelAt(p, 3, y), 0xFF808080u) << y;
  }
}

// An odd origin with 2 x 2 subsampling: the component starts at grid 2, so
// the picture's first column (grid 1) and the last (grid 17) must stay
// within the component's 8 samples per row.
TEST(Jp2Output, OddOriginIndexesTheComponentFromItsOwnOrigin) {
  sImage im(1, 1, 18, 10, {{}, {2, 2, 8}, {2, 2, 8}, {}}, OPJ_CLRSPC_UNSPECIFIED);
  ASSERT_EQ(im.image->comps[1].w, 8u);
  ASSERT_EQ(im.image->comps[1].h, 4u);
  for (uint32_t c = 1; c < 3; ++c)
    for (uint32_t y = 0; y < 4; ++y)
      for (uint32_t x = 0; x < 8; ++x) im.At(c, x, y) = static_cast<int32_t>(x * 16 + y);
  im.Fill(3, 255);
  cTestJP2 p;
  ASSERT_TRUE(cPictJP2Base::StoreDecodedImage(&p, im.image));
  ASSERT_EQ(p.GetWidth(), 17);
  ASSERT_EQ(p.GetHeight(), 9);
  for (int32_t y = 0; y < 9; ++y) {
    for (int32_t x = 0; x < 17; ++x) {
      int32_t ix = (1 + x) / 2 - 1, iy = (1 + y) / 2 - 1;
      ix = ix < 0 ? 0 : (ix > 7 ? 7 : ix);
      iy = iy < 0 ? 0 : (iy > 3 ? 3 : iy);
      const uint32_t g = static_cast<uint32_t>(ix * 16 + iy);
      EXPECT_EQ(PixelAt(p, x, y), 0xFF000000u | g << 8 | g) << x << "," << y;
    }
  }
}

TEST(Jp2Output, CmykByTheFormula) {
  struct sRow {
    int32_t c, m, y, k;
  };
  const sRow rows[] = {{0, 0, 0, 255}, {17, 200, 255, 255}, {0, 0, 0, 0}, {255, 128, 10, 0}, {30, 60, 90, 100}};
  for (const sRow& r : rows) {
    sImage im(0, 0, 1, 1, {{}, {}, {}, {}}, OPJ_CLRSPC_CMYK);
    im.At(0, 0, 0) = r.c;
    im.At(1, 0, 0) = r.m;
    im.At(2, 0, 0) = r.y;
    im.At(3, 0, 0) = r.k;
    auto ch = [&](int32_t v) {
      return static_cast<uint32_t>(255.0 * ((255.0 - v) / 255.0) * ((255.0 - r.k) / 255.0));
    };
    cTestJP2 p;
    ASSERT_TRUE(cPictJP2Base::StoreDecodedImage(&p, im.image));
    EXPECT_EQ(PixelAt(p, 0, 0), 0xFF000000u | ch(r.c) << 16 | ch(r.m) << 8 | ch(r.y)) << r.c << " " << r.k;
    if (r.k == 255) {
      EXPECT_EQ(PixelAt(p, 0, 0), 0xFF000000u);
    }
  }
}

// The conversion written out once more from the published constants.
uint32_t LabPixel(double L, double a, double b) {
  const double fy = (L + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
  auto f = [](double t) { return t > 6.0 / 29 ? t * t * t : (t - 4.0 / 29) * 3 * (6.0 / 29) * (6.0 / 29); };
  const double X = f(fx) * 235.875, Y = f(fy) * 255, Z = f(fz) * 266.03895;
  auto out = [](double v) {
    const double r = std::trunc(v + 0.5);
    return static_cast<uint32_t>(r < 0 ? 0 : (r > 255 ? 255 : r));
  };
  return out(3.240479 * X - 1.53715 * Y - 0.498535 * Z) << 16 | out(-0.969256 * X + 1.875992 * Y + 0.041556 * Z) << 8 |
         out(0.055648 * X - 0.204043 * Y + 1.057311 * Z);
}

TEST(Jp2Output, CielabDefaultsAreComputedAndStoredBack) {
  sImage im(0, 0, 3, 1, {{}, {}, {}}, OPJ_CLRSPC_UNKNOWN);
  im.SetLab(nullptr);
  const int32_t samples[3][3] = {{255, 128, 96}, {128, 200, 30}, {0, 0, 255}};
  for (uint32_t x = 0; x < 3; ++x)
    for (uint32_t c = 0; c < 3; ++c) im.At(c, x, 0) = samples[x][c];
  cTestJP2 p;
  ASSERT_TRUE(cPictJP2Base::StoreDecodedImage(&p, im.image));
  const uint32_t want[6] = {100, 0, 170, 128, 200, 96};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(im.lab[2 + i], want[i]) << i;
  for (uint32_t x = 0; x < 3; ++x) {
    const double L = samples[x][0] * 100.0 / 255;
    const double a = -(128.0 * 170) / 255 + samples[x][1] * (170.0 / 255);
    const double b = -(96.0 * 200) / 255 + samples[x][2] * (200.0 / 255);
    const uint32_t got = PixelAt(p, static_cast<int32_t>(x), 0);
    const uint32_t expect = 0xFF000000u | LabPixel(L, a, b);
    // The decoder uses the rounded decimal constants; allow one level.
    for (int s = 0; s < 24; s += 8)
      EXPECT_LE(std::abs(static_cast<int>((got >> s) & 0xFF) - static_cast<int>((expect >> s) & 0xFF)), 1)
          << x << " channel shift " << s;
    EXPECT_EQ(got >> 24, 0xFFu);
  }
}

TEST(Jp2Output, CielabBoxParametersAndFourthComponentAlpha) {
  sImage im(0, 0, 1, 1, {{}, {}, {}, {}}, OPJ_CLRSPC_UNKNOWN);
  const uint32_t params[6] = {100, 0, 255, 128, 255, 128};
  im.SetLab(params);
  im.At(0, 0, 0) = 140;
  im.At(1, 0, 0) = 90;
  im.At(2, 0, 0) = 170;
  im.At(3, 0, 0) = 77;
  cTestJP2 p;
  ASSERT_TRUE(cPictJP2Base::StoreDecodedImage(&p, im.image));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(im.lab[2 + i], params[i]);
  const uint32_t got = PixelAt(p, 0, 0);
  EXPECT_EQ(got >> 24, 77u);
  const uint32_t expect = LabPixel(140 * 100.0 / 255, -128.0 + 90, -128.0 + 170);
  for (int s = 0; s < 24; s += 8)
    EXPECT_LE(std::abs(static_cast<int>((got >> s) & 0xFF) - static_cast<int>((expect >> s) & 0xFF)), 1) << s;
}

TEST(Jp2Output, FourPlainComponentsAreRgba) {
  sImage im(0, 0, 1, 1, {{1, 1, 10}, {1, 1, 10}, {1, 1, 10}, {1, 1, 10}}, OPJ_CLRSPC_SRGB);
  im.At(0, 0, 0) = 1023;
  im.At(1, 0, 0) = 512;
  im.At(2, 0, 0) = 4;
  im.At(3, 0, 0) = 256;
  cTestJP2 p;
  ASSERT_TRUE(cPictJP2Base::StoreDecodedImage(&p, im.image));
  EXPECT_EQ(PixelAt(p, 0, 0), 0x40FF8001u);
}

TEST(Jp2Output, RefusedRecords) {
  struct sRow {
    const char* what;
    std::vector<sCompSpec> specs;
    uint32_t x0, x1;
    bool lab;
  };
  const sRow rows[] = {
      {"two components (grey with alpha)", {{}, {}}, 0, 4, false},
      {"five components", {{}, {}, {}, {}, {}}, 0, 4, false},
      {"first component below 8 bits", {{1, 1, 7}}, 0, 4, false},
      {"empty area", {{}}, 4, 4, false},
      {"CIELab with one component", {{}}, 0, 4, true},
  };
  for (const sRow& r : rows) {
    sImage im(r.x0, 0, r.x1 == 4 && r.x0 == 4 ? 5 : r.x1, 2, r.specs, OPJ_CLRSPC_UNSPECIFIED);
    if (r.x0 == 4) im.image->x1 = 4;  // x1 == x0
    if (r.lab) im.SetLab(nullptr);
    cTestJP2 p;
    EXPECT_FALSE(cPictJP2Base::StoreDecodedImage(&p, im.image)) << r.what;
  }
}

TEST(Jp2Output, StreamingIntoACanvasGivesTheBufferedPixels) {
  sImage im(3, 2, 10, 7, {{}, {2, 1, 8}, {2, 1, 8}}, OPJ_CLRSPC_SYCC);
  for (uint32_t c = 0; c < 3; ++c)
    for (uint32_t y = 0; y < im.image->comps[c].h; ++y)
      for (uint32_t x = 0; x < im.image->comps[c].w; ++x) im.At(c, x, y) = static_cast<int32_t>((x * 37 + y * 11 + c * 50) & 255);
  cTestJP2 buffered;
  ASSERT_TRUE(cPictJP2Base::StoreDecodedImage(&buffered, im.image));
  const int32_t cw = 9, ch = 7;
  std::vector<uint32_t> pixels(cw * ch, 0);
  sPictCanvas canvas{pixels.data(), cw, ch, 0, 0, 0xFF123456u, 1.0, 0};
  cTestJP2 streamed;
  ASSERT_TRUE(streamed.AttachCanvas(&canvas));
  ASSERT_TRUE(cPictJP2Base::StoreDecodedImage(&streamed, im.image));
  EXPECT_EQ(streamed.GetAttachedCanvas(), nullptr);
  EXPECT_FALSE(streamed.HasPixels());
  const int32_t mx = (cw - 7) / 2, my = (ch - 5) / 2;
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x)
      EXPECT_EQ(pixels[(y + my) * cw + x + mx], buffered.Pixels32().data[y * 7 + x]) << x << "," << y;
}

std::vector<uint8_t> Fixture(const char* name) {
  std::ifstream in(twtest::SourcePath(std::string("tests/picture/data/") + name), std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(Jp2Decoders, OriginOffsetProbesAsTheAreaSize) {
  const std::vector<uint8_t> f = Fixture("jp2_grey8_origin_16_8.jp2");
  ASSERT_FALSE(f.empty());
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  sPictInfo info;
  ASSERT_TRUE(cPictJP2::Detect(&io, &info));
  EXPECT_EQ(info.width, 100);
  EXPECT_EQ(info.height, 50);
  EXPECT_FALSE(info.hasPreview);
  cPictJP2 p;
  io.Seek(0);
  ASSERT_TRUE(p.Load(&io));
  EXPECT_EQ(p.GetWidth(), 100);
  EXPECT_EQ(p.GetHeight(), 50);
  EXPECT_TRUE(p.HasPixels());
}

TEST(Jp2Decoders, BareCodestreamIsJ2kOnly) {
  const std::vector<uint8_t> f = Fixture("j2k_rgb12.j2k");
  ASSERT_FALSE(f.empty());
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  sPictInfo info;
  EXPECT_FALSE(cPictJP2::Detect(&io, &info));
  io.Seek(0);
  ASSERT_TRUE(cPictJ2K::Detect(&io, &info));
  EXPECT_GT(info.width, 0);
  // And a JP2 file is no bare codestream.
  const std::vector<uint8_t> jp2 = Fixture("jp2_grey8_origin_16_8.jp2");
  cBufWrapperIO io2(jp2.data(), static_cast<uint32_t>(jp2.size()));
  EXPECT_FALSE(cPictJ2K::Detect(&io2, &info));
}

TEST(Jp2Decoders, ShortAndTruncatedStreamsFail) {
  const uint8_t shortBox[] = {0, 0, 0, 12, 'j', 'P'};
  cBufWrapperIO io(shortBox, sizeof shortBox);
  sPictInfo info;
  EXPECT_FALSE(cPictJP2::Detect(&io, &info));
  io.Seek(0);
  EXPECT_FALSE(cPictJ2K::Detect(&io, &info));
  cBufWrapperIO empty(shortBox, 0);
  EXPECT_FALSE(cPictJ2K::Detect(&empty, &info));
  EXPECT_FALSE(cPictJP2::Detect(nullptr, &info));

  // A codestream cut in its tile data: the header reads, the load fails and
  // leaves the picture untouched.
  std::vector<uint8_t> f = Fixture("j2k_rgb12.j2k");
  ASSERT_GT(f.size(), 200u);
  f.resize(f.size() / 2);
  cBufWrapperIO cut(f.data(), static_cast<uint32_t>(f.size()));
  cPictJ2K p;
  EXPECT_FALSE(p.Load(&cut));
  EXPECT_FALSE(p.HasPixels());
}

TEST(Jp2Decoders, EveryFixtureDecodesWithItsFormat) {
  struct sRow {
    const char* file;
    int32_t format, width, height;
  };
  const sRow rows[] = {
      {"jp2_grey8_origin_16_8.jp2", kPictFormatJP2, 100, 50}, {"j2k_rgb12.j2k", kPictFormatJ2K, 24, 16},
      {"jp2_rgb16.jp2", kPictFormatJP2, 20, 14},              {"j2k_yuva420_odd_origin.j2k", kPictFormatJ2K, 17, 9},
      {"jp2_sycc420.jp2", kPictFormatJP2, 17, 9},             {"jp2_cmyk.jp2", kPictFormatJP2, 12, 8},
      {"jp2_cielab_default.jp2", kPictFormatJP2, 12, 8},      {"jp2_cielab_params.jp2", kPictFormatJP2, 12, 8},
  };
  for (const sRow& r : rows) {
    const std::vector<uint8_t> f = Fixture(r.file);
    ASSERT_FALSE(f.empty()) << r.file;
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    std::unique_ptr<cPictBase> p(CreatePicture(&io, nullptr));
    ASSERT_NE(p, nullptr) << r.file;
    EXPECT_EQ(p->GetFormat(), r.format) << r.file;
    EXPECT_EQ(p->GetWidth(), r.width) << r.file;
    EXPECT_EQ(p->GetHeight(), r.height) << r.file;
  }
}

}  // namespace
