// cPictRAF over synthetic RAF files from the test kit: the header and CFA
// header records, the camera table's keys, the raw directory in both byte
// orders with and without a 0xF000 chain (and a chain that points back),
// the sensor layouts (16-bit, 12-bit pairs and packed rows, 14-bit,
// compressed X-Trans) seen through the development hook, SuperCCD sizes and
// development, refusals, and the preview.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_jpeg.h"
#include "picture/raw/pict_raf.h"
#include "picture/raw/raw_develop.h"
#include "tests/support/raw_fixture_dump.h"
#include "tests/support/fuji_compressed_encoder.h"
#include "tests/support/olympus_encoder.h"
#include "tests/support/raf_builder.h"
#include "tests/support/test_support.h"

namespace {

using raf_builder::sRaf;

std::vector<uint8_t> ReadBytes(const std::string& relative) {
  const std::string text = twtest::ReadFileText(twtest::SourcePath(relative));
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint16_t> Samples(int32_t w, int32_t h, int bits, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  const uint32_t max = (1u << bits) - 1;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      v[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(std::min<uint32_t>(max, 300 + (x * 7 + y * 13) % 2000 + rng() % 20));
  return v;
}

std::vector<uint8_t> Le16(const std::vector<uint16_t>& s) {
  std::vector<uint8_t> out;
  for (uint16_t v : s) out.push_back(static_cast<uint8_t>(v)), out.push_back(static_cast<uint8_t>(v >> 8));
  return out;
}

std::vector<uint8_t> Pack14(const std::vector<uint16_t>& s, int32_t width, int32_t height) {
  // Rows of (width * 14 + 7) / 8 bytes; 28-byte groups of 16 samples, the
  // 224 bits most significant first in little-endian words.
  std::vector<uint8_t> out;
  const size_t rowBytes = (static_cast<size_t>(width) * 14 + 7) / 8;
  for (int32_t y = 0; y < height; ++y) {
    std::vector<uint8_t> row(rowBytes + 28, 0);
    for (int32_t g = 0; g + 16 <= width; g += 16) {
      uint32_t w[7] = {};
      for (int k = 0; k < 16; ++k)
        for (int b = 0; b < 14; ++b) {
          const int bit = 14 * k + b;
          if (s[static_cast<size_t>(y) * width + g + k] >> (13 - b) & 1) w[bit / 32] |= 1u << (31 - bit % 32);
        }
      for (int k = 0; k < 7; ++k)
        for (int j = 0; j < 4; ++j) row[g / 16 * 28 + 4 * k + j] = static_cast<uint8_t>(w[k] >> (8 * j));
    }
    out.insert(out.end(), row.begin(), row.begin() + static_cast<ptrdiff_t>(rowBytes));
  }
  return out;
}

struct sSeen {
  std::vector<uint16_t> raw;
  int32_t w = 0, h = 0;
};
void Hook(const uint16_t* raw, int32_t w, int32_t h, void* user) {
  auto* s = static_cast<sSeen*>(user);
  s->raw.assign(raw, raw + static_cast<size_t>(w) * h);
  s->w = w, s->h = h;
}
struct cHookScope {
  explicit cHookScope(sSeen* s) { SetRawFrameHook(&Hook, s); }
  ~cHookScope() { SetRawFrameHook(nullptr, nullptr); }
};

// A plain 16-bit file: the CFA length equals width x height x 2.
sRaf Plain(const std::string& model, int32_t w, int32_t h, std::vector<uint16_t>* frame = nullptr) {
  sRaf f;
  f.model = model;
  f.records = {raf_builder::Size(0x100, h, w), raf_builder::Size(0x121, h, w)};
  const auto s = Samples(w, h, 14, 5);
  if (frame) *frame = s;
  f.section = Le16(s);
  return f;
}

TEST(Raf, CameraTableKeys) {
  struct {
    const char* model;
    int32_t left, right, top, bottom, black;
    bool xtrans;
  } cases[] = {
      {"FinePix X100", 68, 69, 0, 0, 240, false},
      {"X100S", 7, 51, 2, 0, 800, true},
      {"X100F", 7, 127, 2, 0, 1000, true},
      {"X-H2S", 1, 131, 7, 8, 1000, true},
      {"FinePix S5000 ", 36, 0, 4, 0, 240, false},
      {"FinePix E550", 0, 0, 0, 0, 240, false},
      {"GFX 100", 0, 143, 0, 0, 240, false},
      {"GFX 100S", 0, 0, 0, 0, 240, false},
  };
  for (const auto& c : cases) {
    const auto bytes = raf_builder::Build(Plain(c.model, 300, 24));
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictRAF d;
    sPictInfo info;
    ASSERT_TRUE(d.ReadInfo(&io, &info)) << c.model;
    EXPECT_EQ(d.Borders().left, c.left) << c.model;
    EXPECT_EQ(d.Borders().right, c.right) << c.model;
    EXPECT_EQ(d.Borders().top, c.top) << c.model;
    EXPECT_EQ(d.Borders().bottom, c.bottom) << c.model;
    EXPECT_EQ(d.Black(), c.black) << c.model;
    EXPECT_EQ(d.XTrans(), c.xtrans) << c.model;
    EXPECT_EQ(info.width, 300 - c.left - c.right) << c.model;
    EXPECT_EQ(info.height, 24 - c.top - c.bottom) << c.model;
  }
  // "HS10 HS1" matches whatever follows its eight bytes.
  const auto hs = raf_builder::Build(Plain("FinePix HS10 HS11", 64, 16));
  cBufWrapperIO io(hs.data(), static_cast<uint32_t>(hs.size()));
  cPictRAF d;
  ASSERT_TRUE(d.ReadInfo(&io, nullptr));
  EXPECT_TRUE(d.PackedRows());
  EXPECT_EQ(d.Black(), 90);
  EXPECT_EQ(0, memcmp(d.Pattern(), "\x02\x01\x01\x00", 4));
}

TEST(Raf, SuperCcdSizes) {
  // Image size 2880 x 2144 (S = 1440): reported 2036 x 3032 less borders.
  sRaf f;
  f.model = "FinePix S5Pro  ";  // the key's blanks are part of it
  f.records = {raf_builder::Size(0x100, 8, 16), raf_builder::Size(0x121, 2144, 2880), {0x130, {0x00, 0x00}}};
  f.section = Le16(Samples(16, 8, 14, 1));
  const auto bytes = raf_builder::Build(f);
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictRAF d;
  sPictInfo info;
  ASSERT_TRUE(d.ReadInfo(&io, &info));
  EXPECT_TRUE(d.SuperCcd());
  EXPECT_EQ(info.width, 2036 - 24);
  EXPECT_EQ(info.height, 3032 - 4);
  EXPECT_EQ(0, memcmp(d.Pattern(), "\x01\x02\x00\x01", 4));
}

TEST(Raf, WhiteBalanceRecords) {
  struct {
    uint16_t c[4];
    double g, b, g2;
  } cases[] = {{{300, 200, 250, 500}, 1.5, 2.5, 1.25}, {{300, 0, 250, 500}, 1.0, 1.0, 1.0}};
  for (const auto& c : cases) {
    sRaf f = Plain("FinePix E550", 32, 8);
    raf_builder::sRecord wb{0x2FF0, {}};
    for (uint16_t v : c.c) raf_builder::Be16(wb.data, v);
    f.records.push_back(wb);
    const auto bytes = raf_builder::Build(f);
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictRAF d;
    ASSERT_TRUE(d.ReadInfo(&io, nullptr));
    EXPECT_DOUBLE_EQ(d.Multiplier(0), 1.0);
    EXPECT_DOUBLE_EQ(d.Multiplier(1), c.g);
    EXPECT_DOUBLE_EQ(d.Multiplier(2), c.b);
    EXPECT_DOUBLE_EQ(d.Multiplier(3), c.g2);
  }
}

TEST(Raf, LoadUnpacksEveryLayout) {
  struct sCase {
    const char* name;
    sRaf f;
    std::vector<uint16_t> frame;
    int32_t w, h;
  };
  std::vector<sCase> cases;
  {
    sCase c{"plain 16-bit", {}, {}, 48, 12};
    c.f = Plain("FinePix E550", c.w, c.h, &c.frame);
    cases.push_back(c);
  }
  for (bool be : {false, true})
    for (bool chain : {false, true}) {
      sCase c{be ? (chain ? "12-bit pairs, big-endian chain" : "12-bit pairs, big-endian")
                 : (chain ? "12-bit pairs, little-endian chain" : "12-bit pairs, little-endian"),
              {}, {}, 50, 10};
      c.frame = Samples(c.w, c.h, 12, 2);
      std::vector<uint8_t> packed;
      olympus_encoder::PackRow(c.frame.data(), static_cast<int32_t>(c.frame.size()), olympus_encoder::kLittle, packed);
      c.f.records = {raf_builder::Size(0x100, c.h, c.w)};
      c.f.section = raf_builder::Section(be, {{0xF001, 50}, {0xF002, 10}, {0xF003, 12}}, packed, chain);
      cases.push_back(c);
    }
  {
    sCase c{"12-bit packed rows", {}, {}, 40, 6};
    c.f.model = "X-A10";
    c.frame = Samples(c.w, c.h, 12, 3);
    std::vector<uint8_t> rows;
    for (int32_t y = 0; y < c.h; ++y) {
      olympus_encoder::PackRow(c.frame.data() + y * c.w, c.w, olympus_encoder::kWords, rows);
    }
    c.f.records = {raf_builder::Size(0x100, c.h, c.w)};
    c.f.section = raf_builder::Section(true, {{0xF001, 40}, {0xF002, 6}, {0xF003, 12}}, rows);
    cases.push_back(c);
  }
  {
    sCase c{"14-bit rows", {}, {}, 64, 6};
    c.frame = Samples(c.w, c.h, 14, 4);
    c.f.records = {raf_builder::Size(0x100, c.h, c.w)};
    c.f.section = raf_builder::Section(false, {{0xF001, 64}, {0xF002, 6}, {0xF003, 14}}, Pack14(c.frame, c.w, c.h));
    cases.push_back(c);
  }
  {
    sCase c{"compressed X-Trans", {}, {}, 768, 12};
    c.f.model = "X-T3";
    const auto target = Samples(c.w, c.h, 14, 5);
    const auto enc = fuji_encoder::cEncoder(14).Encode(target, c.w, c.h);
    c.frame = enc.decoded;
    c.f.records = {raf_builder::Size(0x100, c.h, c.w)};
    c.f.section = raf_builder::Section(true, {{0xF001, 768}, {0xF002, 12}, {0xF003, 14}}, enc.bytes);
    cases.push_back(c);
  }
  for (const auto& c : cases) {
    const auto bytes = raf_builder::Build(c.f);
    twtest::DumpRawFixture("raf", c.name, bytes);
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictRAF d;
    sSeen seen;
    cHookScope hook(&seen);
    ASSERT_TRUE(d.Load(&io)) << c.name;
    EXPECT_EQ(seen.w, c.w) << c.name;
    EXPECT_EQ(seen.h, c.h) << c.name;
    EXPECT_EQ(seen.raw, c.frame) << c.name;
    EXPECT_TRUE(d.IsHighDepth());
    EXPECT_EQ(d.GetWidth(), c.w - d.Borders().left - d.Borders().right) << c.name;
  }
}

TEST(Raf, LoadGivesTheSizeReadInfoReports) {
  // ReadInfo reports the image size (record 0x121) less the borders while
  // the samples fill the raw frame (record 0x100): the load develops the
  // frame's top-left image-size area, and refuses an image size the frame
  // cannot hold or that the borders leave nothing of.
  struct {
    const char* name;
    const char* model;
    int32_t rawW, rawH, imageW, imageH;
    bool loads;
  } cases[] = {
      {"image size below raw size", "FinePix E550", 40, 12, 32, 8, true},
      {"image size below raw size, borders", "X-T1", 96, 12, 80, 10, true},
      {"image size equal to raw size", "FinePix X100", 160, 6, 160, 6, true},
      {"image wider than raw", "FinePix E550", 40, 12, 48, 12, false},
      {"image taller than raw", "FinePix E550", 40, 12, 40, 13, false},
      {"borders leave nothing", "FinePix X100", 160, 6, 137, 6, false},
  };
  for (const auto& c : cases) {
    sRaf f;
    f.model = c.model;
    const auto frame = Samples(c.rawW, c.rawH, 14, 11);
    f.records = {raf_builder::Size(0x100, c.rawH, c.rawW), raf_builder::Size(0x121, c.imageH, c.imageW)};
    f.section = Le16(frame);
    const auto bytes = raf_builder::Build(f);
    if (c.loads) twtest::DumpRawFixture("raf", c.name, bytes);
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictRAF d;
    sPictInfo info;
    ASSERT_TRUE(d.ReadInfo(&io, &info)) << c.name;
    const sRawBorders b = d.Borders();
    EXPECT_EQ(info.width, c.imageW - b.left - b.right) << c.name;
    EXPECT_EQ(info.height, c.imageH - b.top - b.bottom) << c.name;
    sSeen seen;
    cHookScope hook(&seen);
    ASSERT_EQ(d.Load(&io), c.loads) << c.name;
    if (!c.loads) continue;
    EXPECT_EQ(seen.raw, frame) << c.name;  // the whole frame was read
    EXPECT_EQ(d.GetWidth(), info.width) << c.name;
    EXPECT_EQ(d.GetHeight(), info.height) << c.name;
    EXPECT_EQ(d.Pixels64().count, static_cast<int64_t>(info.width) * info.height) << c.name;
  }
}

TEST(Raf, Refusals) {
  const auto target = Samples(768, 6, 14, 5);
  const auto enc = fuji_encoder::cEncoder(14).Encode(target, 768, 6);
  auto pastTheData = enc.bytes;
  pastTheData[16 + 1] = 0x10;  // block 0 length + 1 MiB
  auto headerTooBig = enc.bytes;
  headerTooBig[6] = 12;   // header raw height 12 > the frame's 6
  headerTooBig[15] = 2;   // two stripes
  struct {
    const char* name;
    sRaf f;
  } cases[] = {
      {"fuji block past the data",
       [&] { sRaf f; f.model = "X-T3"; f.records = {raf_builder::Size(0x100, 6, 768)};
             f.section = raf_builder::Section(true, {{0xF001, 768}, {0xF002, 6}, {0xF003, 14}}, pastTheData); return f; }()},
      {"compressed raw size above the frame",
       [&] { sRaf f; f.model = "X-T3"; f.records = {raf_builder::Size(0x100, 6, 768)};
             f.section = raf_builder::Section(true, {{0xF001, 768}, {0xF002, 6}, {0xF003, 14}}, headerTooBig); return f; }()},
      {"compressed header of other bits",
       [&] { sRaf f; f.model = "X-T3"; f.records = {raf_builder::Size(0x100, 6, 768)};
             f.section = raf_builder::Section(true, {{0xF001, 768}, {0xF002, 6}, {0xF003, 16}}, enc.bytes); return f; }()},
      {"bits 10", [] { sRaf f; f.records = {raf_builder::Size(0x100, 4, 16)};
                       f.section = raf_builder::Section(false, {{0xF001, 16}, {0xF002, 4}, {0xF003, 10}}, std::vector<uint8_t>(80, 1)); return f; }()},
      {"zero raw width tag", [] { sRaf f; f.records = {raf_builder::Size(0x100, 4, 16)};
                                  f.section = raf_builder::Section(false, {{0xF001, 0}}, std::vector<uint8_t>(8, 1)); return f; }()},
      {"no CFA records", [] { sRaf f; f.section = std::vector<uint8_t>(16, 0); return f; }()},
  };
  for (const auto& c : cases) {
    const auto bytes = raf_builder::Build(c.f);
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictRAF d;
    EXPECT_FALSE(d.Load(&io)) << c.name;
  }
}

TEST(Raf, DirectoryChainThatPointsBackIsRefused) {
  // A second directory whose 0xF000 points at the first.
  cTiffBuilder b(true, false);
  const int first = b.AddIfd();
  const int second = b.AddIfd();
  b.SetFirst(first);
  b.AddIfdPointer(first, 0xF000, second);
  b.AddIfdPointer(second, 0xF000, first);
  b.AddLong(second, 0xF001, 16);
  sRaf f;
  f.records = {raf_builder::Size(0x100, 4, 16)};
  f.section = b.Build();
  const auto bytes = raf_builder::Build(f);
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictRAF d;
  EXPECT_FALSE(d.ReadInfo(&io, nullptr));
  EXPECT_FALSE(d.Load(&io));
}

TEST(Raf, SuperCcdLoadsOnTheTurnedFrame) {
  struct {
    bool layout;
    const char* model;
  } cases[] = {{false, "FinePix S5Pro  "}, {true, "FinePix S3Pro  "}};
  for (const auto& c : cases) {
    sRaf f;
    f.model = c.model;
    const int32_t w = 64, h = 40;
    std::vector<uint16_t> frame;
    f.records = {raf_builder::Size(0x100, h, w), raf_builder::Size(0x121, h, w),
                 {0x130, {static_cast<uint8_t>(c.layout ? 0x80 : 0x00), 0x00}}};
    frame = Samples(w, h, 14, 9);
    f.section = Le16(frame);
    f.word120 = 1;
    const auto bytes = raf_builder::Build(f);
    twtest::DumpRawFixture("raf", std::string("SuperCCD ") + (c.layout ? "layout" : "plain"), bytes);
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictRAF d;
    sPictInfo info;
    ASSERT_TRUE(d.ReadInfo(&io, &info)) << c.model;
    sSeen seen;
    cHookScope hook(&seen);
    ASSERT_TRUE(d.Load(&io)) << c.model;
    EXPECT_EQ(seen.raw, frame);
    EXPECT_EQ(d.GetWidth(), info.width) << c.model;
    EXPECT_EQ(d.GetHeight(), info.height) << c.model;
  }
}

TEST(Raf, HundredMegapixelSuperCcdFrameIsRefused) {
  // Image 10000 x 5000 turns into a 10000 x 9999 frame: ReadInfo reports
  // the turned-back size, Load refuses the frame before allocating it.
  sRaf f;
  f.model = "FinePix S5Pro  ";
  f.records = {raf_builder::Size(0x100, 8, 16), raf_builder::Size(0x121, 5000, 10000), {0x130, {0x00, 0x00}}};
  f.section = Le16(Samples(16, 8, 14, 1));
  f.word120 = 1;
  const auto bytes = raf_builder::Build(f);
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictRAF d;
  sPictInfo info;
  ASSERT_TRUE(d.ReadInfo(&io, &info));
  EXPECT_EQ(info.width, 7071 - 24);
  EXPECT_EQ(info.height, 7071 - 4);
  sSeen seen;
  cHookScope hook(&seen);
  EXPECT_FALSE(d.Load(&io));
  EXPECT_TRUE(seen.raw.empty());  // refused before the development began
  EXPECT_FALSE(d.HasPixels());
}

TEST(Raf, Preview) {
  sRaf f = Plain("FinePix E550", 32, 8);
  f.jpeg = ReadBytes("tests/picture/raw/data/preview_320x213.jpg");
  const auto bytes = raf_builder::Build(f);
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictRAF d;
  sPictInfo info;
  ASSERT_TRUE(d.ReadInfo(&io, &info));
  EXPECT_TRUE(info.hasPreview);
  cPictDummy dest;
  int32_t w = 160, h = 160;
  ASSERT_TRUE(d.LoadPreview(&io, &dest, w, h));
  EXPECT_EQ(dest.GetWidth(), 160);
  EXPECT_EQ(dest.GetHeight(), 107);  // 213 x 0.5 + 0.5
  // Without a JPEG: loads, no preview.
  const auto none = raf_builder::Build(Plain("FinePix E550", 32, 8));
  cBufWrapperIO io2(none.data(), static_cast<uint32_t>(none.size()));
  ASSERT_TRUE(d.ReadInfo(&io2, &info));
  EXPECT_FALSE(info.hasPreview);
  EXPECT_FALSE(d.LoadPreview(&io2, &dest, w, h));
  EXPECT_TRUE(d.Load(&io2));
}

}  // namespace
