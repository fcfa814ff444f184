// One crafted file per mended fault, as the fuzz corpus carries them: each
// fails or loads as the mended behaviour says, and a failing camera load
// leaves the factory to the next format.
#include <gtest/gtest.h>

#include <map>

#include "tests/picture/raw/raw_test_util.h"
#include "tests/support/raw_corpus.h"

namespace {

TEST(RawFaults, EachCraftedFileBehaves) {
  struct sExpect {
    bool loads;       // the camera decoder's Load succeeds
    int32_t factory;  // the format the factory ends with (0: none)
  };
  const std::map<std::string, sExpect> expect = {
      // The crop leaves no column: refused by the frame check, and the
      // file's preview page is an ordinary TIFF.
      {"fault_crop_beyond_frame.dng", {false, kPictFormatTIFF}},
      {"fault_black_denominator_0.dng", {true, kPictFormatDNG}},
      {"fault_flat_field.dng", {true, kPictFormatDNG}},
      {"fault_strips_short.dng", {true, kPictFormatDNG}},
      // Nesting beyond the limit fails the walk: not a MOS, and its IFD is
      // a CFA page the plain TIFF reader takes as grey.
      {"fault_mos_deep_nesting.mos", {false, kPictFormatTIFF}},
      {"fault_mos_cut_lossless_strip.mos", {false, 0}},
  };
  const std::vector<sRawFixture> faults = RawFaultFixtures();
  ASSERT_EQ(faults.size(), expect.size());
  for (const sRawFixture& f : faults) {
    const sExpect& e = expect.at(f.name);
    std::unique_ptr<cPictBase> loaded = Probe(f.bytes, nullptr);
    EXPECT_EQ(loaded == nullptr ? 0 : loaded->GetFormat(), e.factory) << f.name;
    sPictInfo info;
    std::unique_ptr<cPictBase> probed = Probe(f.bytes, &info);
    if (probed != nullptr && probed->GetFormat() != kPictFormatTIFF) {
      EXPECT_EQ(LoadWith(*probed, f.bytes), e.loads) << f.name;
    } else {
      EXPECT_FALSE(e.loads) << f.name;
    }
  }
}

TEST(RawFaults, FlatFieldDevelopsFlat) {
  for (const sRawFixture& f : RawFaultFixtures()) {
    if (f.name != "fault_flat_field.dng") continue;
    std::unique_ptr<cPictBase> d = Probe(f.bytes, nullptr);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->HasPixels());
    const uint64_t first = d->Pixels64().data[0];
    for (int32_t i = 0; i < d->Pixels64().count; ++i) ASSERT_EQ(d->Pixels64().data[i], first) << i;
    EXPECT_EQ(first >> 48, 0xFFFFu);
  }
}

}  // namespace
