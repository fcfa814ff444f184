// cPictRWL over synthetic RW2/RWL files built on the test kit's TIFF
// builder (magic 85): the header checks, the model table (borders, black,
// switches, exact matching), the gain tags, the raw data offset tag, the
// three sensor layouts against their encoders (the raw frame seen through
// the development hook) and the layout refusals.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/raw/pict_rw2.h"
#include "picture/raw/raw_develop.h"
#include "tests/support/raw_fixture_dump.h"
#include "tests/support/panasonic_encoder.h"
#include "tests/support/rw2_builder.h"
#include "tests/support/tiff_builder.h"

namespace {

using namespace rw2_builder;

// The raw frame the decoder hands to the development.
struct sSeen {
  std::vector<uint16_t> raw;
  int32_t w = 0, h = 0;
};
void Hook(const uint16_t* raw, int32_t w, int32_t h, void* user) {
  auto* s = static_cast<sSeen*>(user);
  s->raw.assign(raw, raw + static_cast<size_t>(w) * h);
  s->w = w;
  s->h = h;
}

struct cHookScope {
  explicit cHookScope(sSeen* s) { SetRawFrameHook(&Hook, s); }
  ~cHookScope() { SetRawFrameHook(nullptr, nullptr); }
};

TEST(Rw2, ReadInfoAppliesTheModelTable) {
  struct {
    const char* model;
    int32_t width, height;  // reported
    int32_t black;
    bool blockCoded;
  } cases[] = {
      {"DMC-G80", 4000 - 195, 3000, 96, false},  // the model table cuts 195 columns on the right
      {"DMC-G80 ", 4000, 3000, 0, false},         // a trailing space matches nothing
      {"DC-GH6", 4000, 3000, 0, false},
      {"D-LUX 3", 4000 - 64 - 18, 3000 - 14 - 24, 0, false},
      {"DMC-G1", 4000 - 41, 3000, 0, true},
      {"DMC-L10", 4000 - 28, 3000 - 4, 0, true},
      {"V-LUX 1", 4000 - 14 - 2, 3000 - 3, 0, false},
      {"DC-TZ90", 4000 - 100, 3000, 148, false},
  };
  for (const auto& c : cases) {
    // Only the directory matters to ReadInfo: one short strip.
    cTiffBuilder b(false, false);
    const int ifd = b.AddIfd();
    b.AddShort(ifd, 2, 4000);
    b.AddShort(ifd, 3, 3000);
    b.AddAscii(ifd, 272, c.model);
    const int blk = b.AddBlock(std::vector<uint8_t>(16, 0));
    b.AddBlockOffsets(ifd, 273, {blk});
    b.AddBlockSizes(ifd, 279, {blk});
    auto bytes = b.Build();
    bytes[2] = 85;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictRWL d;
    sPictInfo info;
    ASSERT_TRUE(d.ReadInfo(&io, &info)) << c.model;
    EXPECT_EQ(info.width, c.width) << c.model;
    EXPECT_EQ(info.height, c.height) << c.model;
    EXPECT_FALSE(info.hasPreview);
    EXPECT_EQ(d.Black(), c.black) << c.model;
    EXPECT_EQ(d.BlockCoded(), c.blockCoded) << c.model;
  }
}

TEST(Rw2, HeaderAndDirectoryRefusals) {
  struct {
    const char* why;
    sRw2 f;
  } cases[] = {
      {"plain TIFF magic", [] { sRw2 f; f.magic = 42; return f; }()},
      {"ORF magic", [] { sRw2 f; f.magic = 0x4F52; return f; }()},
      {"zero gain", [] { sRw2 f; f.extra = {{36, 0}}; return f; }()},
      {"zero rows per strip", [] { sRw2 f; f.extra = {{278, 0}}; return f; }()},
  };
  for (const auto& c : cases) {
    const auto built = Build(c.f);
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    cPictRWL d;
    EXPECT_FALSE(d.ReadInfo(&io, nullptr)) << c.why;
    EXPECT_FALSE(cPictRWL::Detect(&io, nullptr)) << c.why;
  }
}

TEST(Rw2, GainsFollowTheModel) {
  // DMC-GX80: blue 2000 x 0.74 over red 1000 = 1.48 (tags read before the
  // model tag in the directory's order).
  sRw2 f;
  f.model = "DMC-GX80";
  f.extra = {{36, 2000}, {37, 1000}, {38, 1000}};
  const auto built = Build(f);
  cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
  cPictRWL d;
  ASSERT_TRUE(d.ReadInfo(&io, nullptr));
  EXPECT_DOUBLE_EQ(d.Gain(2) / d.Gain(0), 1.48);
  EXPECT_DOUBLE_EQ(d.Gain(1) / d.Gain(0), 1.0);
  f.extra = {{17, 512}, {18, 256}};
  f.model = "DMC-G80";
  const auto b2 = Build(f);
  cBufWrapperIO io2(b2.bytes.data(), static_cast<uint32_t>(b2.bytes.size()));
  ASSERT_TRUE(d.ReadInfo(&io2, nullptr));
  EXPECT_DOUBLE_EQ(d.Gain(2), 2.0);
  EXPECT_DOUBLE_EQ(d.Gain(0), 1.0);
}

TEST(Rw2, LoadUnpacksEveryLayout) {
  struct {
    const char* name;
    sRw2 f;
  } cases[] = {
      {"blocks via 280", [] { sRw2 f; f.layout = kBlocks; f.width = 42; f.height = 10; return f; }()},
      {"blocks by model", [] { sRw2 f; f.layout = kBlocks; f.viaRawOffset = false; f.model = "DMC-G1"; f.width = 56; return f; }()},
      {"packed 12", [] { sRw2 f; f.layout = kPacked; f.width = 40; f.height = 6; return f; }()},
      {"plain one strip", [] { sRw2 f; f.layout = kPlain; return f; }()},
      {"plain strips", [] { sRw2 f; f.layout = kPlain; f.rowsPerStrip = 3; f.height = 8; return f; }()},
      {"GRBG", [] { sRw2 f; f.cfa = 2; return f; }()},
      {"GBRG", [] { sRw2 f; f.cfa = 3; return f; }()},
      {"BGGR", [] { sRw2 f; f.cfa = 4; return f; }()},
  };
  for (const auto& c : cases) {
    const auto built = Build(c.f);
    twtest::DumpRawFixture("rw2", c.name, built.bytes);
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    cPictRWL d;
    sSeen seen;
    cHookScope hook(&seen);
    ASSERT_TRUE(d.Load(&io)) << c.name;
    EXPECT_EQ(seen.w, c.f.width) << c.name;
    EXPECT_EQ(seen.h, c.f.height) << c.name;
    EXPECT_EQ(seen.raw, built.frame) << c.name;
    EXPECT_TRUE(d.IsHighDepth());
    const int32_t right = c.f.model == std::string("DMC-G1") ? 41 : 9;
    EXPECT_EQ(d.GetWidth(), c.f.width - right) << c.name;
  }
}

TEST(Rw2, LayoutRefusals) {
  struct {
    const char* name;
    sRw2 f;
    bool loads;
  } cases[] = {
      {"cfa code 5", [] { sRw2 f; f.cfa = 5; return f; }(), false},
      {"cfa code 0", [] { sRw2 f; f.cfa = 0; return f; }(), false},
      {"plain strip cut", [] { sRw2 f; f.dropTailBytes = 8; return f; }(), false},
  };
  for (const auto& c : cases) {
    const auto built = Build(c.f);
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    cPictRWL d;
    EXPECT_EQ(d.Load(&io), c.loads) << c.name;
  }
}

TEST(Rw2, BlockCodedFileCutShort) {
  // 2800 columns: one 16 KiB buffer holds about five rows.
  sRw2 f;
  f.layout = kBlocks;
  f.width = 2800;
  f.height = 48;
  f.model = "DMC-GH2";
  const auto built = Build(f);
  struct {
    size_t drop;
    bool loads;
  } cases[] = {{16384, true}, {5 * 16384, false}};
  for (const auto& c : cases) {
    const std::vector<uint8_t> cut(built.bytes.begin(), built.bytes.end() - static_cast<ptrdiff_t>(c.drop));
    cBufWrapperIO io(cut.data(), static_cast<uint32_t>(cut.size()));
    cPictRWL d;
    sSeen seen;
    cHookScope hook(&seen);
    EXPECT_EQ(d.Load(&io), c.loads) << c.drop;
    if (c.loads) {
      // Rows decoded before the cut are exact, the rest are 0.
      size_t same = 0, zero = 0;
      for (size_t i = 0; i < seen.raw.size(); ++i) same += seen.raw[i] == built.frame[i], zero += seen.raw[i] == 0;
      EXPECT_EQ(same + zero, seen.raw.size());
      EXPECT_GT(zero, 0u);
    }
  }
}

TEST(Rw2, RawDataOffsetKeepsARealStripOffset) {
  // Tag 273 with one real offset, then 280: the strip stays, not block
  // coded, and the plain strip loads.
  cTiffBuilder b(false, false);
  const int ifd = b.AddIfd();
  const auto samples = Samples(28, 8, 3);
  std::vector<uint8_t> strip;
  for (uint16_t s : samples) strip.push_back(static_cast<uint8_t>(s)), strip.push_back(static_cast<uint8_t>(s >> 8));
  const int blk = b.AddBlock(strip);
  b.AddShort(ifd, 2, 28);
  b.AddShort(ifd, 3, 8);
  b.AddAscii(ifd, 272, "DMC-L1");
  b.AddBlockOffsets(ifd, 273, {blk});
  b.AddBlockSizes(ifd, 279, {blk});
  b.AddLong(ifd, 280, 8);
  auto bytes = b.Build();
  bytes[2] = 85;
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictRWL d;
  ASSERT_TRUE(d.ReadInfo(&io, nullptr));
  EXPECT_FALSE(d.BlockCoded());
  sSeen seen;
  cHookScope hook(&seen);
  ASSERT_TRUE(d.Load(&io));
  EXPECT_EQ(seen.raw, samples);
}

TEST(Rw2, DeletingThroughThePictureBase) {
  cPictBase* p = new cPictRWL();
  EXPECT_EQ(p->GetFormat(), kPictFormatRWL);
  delete p;  // ASan reports a mismatched delete if the whole object is not freed
}

}  // namespace
