// NEF files built by nef_files.h, loaded through the picture factory: the
// raw frame must equal the generator's for every layout and coding, the
// SubIFD rule must pick the raw directory, and crafted files must fail.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/raw/pict_nef.h"
#include "picture/raw/raw_develop.h"
#include "tests/picture/raw/nef_files.h"

using namespace rawtest;

namespace {

struct sFrame {
  std::vector<uint16_t> raw;
  int w = 0, h = 0;
};

std::unique_ptr<cPictBase> LoadNef(const std::vector<uint8_t>& file, sFrame& frame) {
  SetRawFrameHook(
      [](const uint16_t* raw, int32_t w, int32_t h, void* user) {
        auto* f = static_cast<sFrame*>(user);
        f->raw.assign(raw, raw + static_cast<size_t>(w) * h);
        f->w = w;
        f->h = h;
      },
      &frame);
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  std::unique_ptr<cPictBase> p(CreatePicture(&io, nullptr));
  SetRawFrameHook(nullptr, nullptr);
  return p;
}

}  // namespace

TEST(NefLoad, CodingsRoundTrip) {
  struct sCase {
    const char* name;
    int coding, bits;
    bool be, bare;
    int subIfds;
  } cases[] = {
      {"14-bit lossless MM", 103, 14, true, false, 1},
      {"12-bit lossless II", 103, 12, false, false, 1},
      {"14-bit lossy with split", 104, 14, true, false, 1},
      {"12-bit lossy with split", 104, 12, false, false, 2},
      {"12-bit lossy without split", 101, 12, true, false, 3},
      {"uncompressed 12-bit MM", 0, 12, true, false, 4},
      {"uncompressed 14-bit II", 0, 14, false, false, 5},
      {"little-endian 12-bit", 110, 12, true, false, 1},
      {"little-endian 14-bit, no table", 100, 14, false, false, 1},
      {"12-bit packed pairs", 109, 12, true, false, 1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sNefSpec s;
    s.coding = k.coding;
    s.bits = k.bits;
    s.be = k.be;
    s.bareNote = k.bare;
    s.subIfds = k.subIfds;
    std::vector<uint16_t> frame;
    const auto file = MakeNef(s, frame);
    sFrame seen;
    auto p = LoadNef(file, seen);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetFormat(), kPictFormatNEF);
    EXPECT_EQ(seen.w, 64);
    EXPECT_EQ(seen.h, 48);
    EXPECT_EQ(seen.raw, frame);
    EXPECT_TRUE(p->IsHighDepth());
  }
}

TEST(NefLoad, ModelBordersAndInfo) {
  sNefSpec s;
  s.model = "NIKON D3100";  // borders 6, 22
  std::vector<uint16_t> frame;
  const auto file = MakeNef(s, frame);
  cPictNEF nef;
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  sPictInfo info;
  ASSERT_TRUE(nef.ReadInfo(&io, &info));
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 48);
  cPictNEF loader;
  ASSERT_TRUE(loader.Load(&io));
  EXPECT_EQ(loader.GetWidth(), 64 - 28);
  EXPECT_EQ(loader.ModelId(), FindNikonModel8("NIKON D3100"));
}

TEST(NefLoad, CraftedFilesFail) {
  struct sCase {
    const char* name;
    sNefSpec spec;
  } cases[6];
  cases[0].name = "make of another maker";
  cases[0].spec.make = "NIKKO";
  cases[1].name = "CFA pattern of three bytes for 2 x 2";
  cases[1].spec.pattern = {0, 1, 1};
  cases[2].name = "linearisation table without its split-row position";
  cases[2].spec.coding = 104;
  cases[2].spec.bits = 12;
  cases[2].spec.linearisationCut = 1200;
  cases[3].name = "uncompressed strip shorter than its rows";
  cases[3].spec.coding = 0;
  cases[3].spec.stripCut = 3;
  cases[4].name = "packed pairs one byte short";
  cases[4].spec.coding = 109;
  cases[4].spec.bits = 12;
  cases[4].spec.stripCut = 1;
  cases[5].name = "colour code above 3";
  cases[5].spec.pattern = {0, 1, 1, 9};
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<uint16_t> frame;
    const auto file = MakeNef(k.spec, frame);
    cPictNEF nef;
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    EXPECT_FALSE(nef.Load(&io));
  }
}

TEST(NefLoad, BareMakerNoteNeedsIfd0AsARawPage) {
  // With a bare-IFD maker note the picture's own IFD0 page must pass the
  // page check, CFA pattern included; IFD0 here carries no picture.
  sNefSpec s;
  s.bareNote = true;
  std::vector<uint16_t> frame;
  const auto file = MakeNef(s, frame);
  cPictNEF nef;
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  EXPECT_FALSE(nef.ReadInfo(&io, nullptr));
  EXPECT_FALSE(nef.Load(&io));
}

TEST(NefLoad, D1XIsResampledToSquarePixels) {
  // 64 x 48 samples, right border 4: 60 x 48 developed, then 60 * 0.7475...
  // = 44.85 and 48 * 1.4803... = 71.06, both truncated.
  sNefSpec s;
  s.model = "NIKON D1X";
  s.bits = 12;
  std::vector<uint16_t> frame;
  const auto file = MakeNef(s, frame);
  cPictNEF nef;
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  ASSERT_TRUE(nef.Load(&io));
  EXPECT_EQ(nef.GetWidth(), 44);
  EXPECT_EQ(nef.GetHeight(), 71);
  EXPECT_TRUE(nef.IsHighDepth());
  EXPECT_EQ(nef.Pixels64().count, 44 * 71);
}
