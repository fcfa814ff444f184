// Pentax, Sony and Samsung files built by camera_files.h, loaded through the
// picture factory: the raw frame each decoder unpacks (seen through the
// development's frame hook) must equal the generator's, the developed size
// must lose the model's borders, and the crafted files of each fault must
// fail or stay bounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/raw/pict_arw.h"
#include "picture/raw/pict_pef.h"
#include "picture/raw/pict_srw.h"
#include "picture/raw/raw_develop.h"
#include "tests/picture/raw/camera_files.h"

using namespace rawtest;

namespace {

struct sFrame {
  std::vector<uint16_t> raw;
  int w = 0, h = 0;
};

// Loads bytes through the factory and keeps the raw frame.
struct sLoaded {
  std::unique_ptr<cPictBase> pict;
  sFrame frame;
};

sLoaded LoadThroughFactory(const std::vector<uint8_t>& file) {
  sLoaded out;
  SetRawFrameHook(
      [](const uint16_t* raw, int32_t w, int32_t h, void* user) {
        auto* f = static_cast<sFrame*>(user);
        f->raw.assign(raw, raw + static_cast<size_t>(w) * h);
        f->w = w;
        f->h = h;
      },
      &out.frame);
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  out.pict.reset(CreatePicture(&io, nullptr));
  SetRawFrameHook(nullptr, nullptr);
  return out;
}

template <class T>
bool LoadWith(const std::vector<uint8_t>& file, T& decoder) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  return decoder.Load(&io);
}

}  // namespace

TEST(PefLoad, CodingsRoundTrip) {
  struct sCase {
    const char* name;
    bool be, ricoh;
    int compression, rps;
  } cases[] = {
      {"huffman II", false, false, 65535, 0},   {"huffman MM", true, false, 65535, 0},
      {"huffman two strips", false, false, 65535, 20}, {"plain MM", true, false, 1, 0},
      {"plain II", false, true, 1, 16},         {"packed MM", true, false, 32773, 0},
      {"packed II", false, false, 32773, 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sPefSpec s;
    s.be = k.be;
    s.ricoh = k.ricoh;
    s.compression = k.compression;
    s.rowsPerStrip = k.rps;
    std::vector<uint16_t> samples;
    const auto file = MakePef(s, samples);
    auto l = LoadThroughFactory(file);
    ASSERT_NE(l.pict, nullptr);
    EXPECT_EQ(l.pict->GetFormat(), kPictFormatPEF);
    EXPECT_TRUE(l.pict->IsHighDepth());
    EXPECT_EQ(l.frame.w, 64);
    EXPECT_EQ(l.frame.raw, samples);
    EXPECT_EQ(l.pict->GetWidth(), 64);
    EXPECT_EQ(l.pict->GetHeight(), 48);
  }
}

TEST(PefLoad, CropBordersAndInfo) {
  sPefSpec s;
  s.cropOrigin = {3, 5};  // left 4, top 4
  s.cropSize = {50, 40};  // right 64 - 50 - 4 = 10, bottom 48 - 40 - 4 = 4
  std::vector<uint16_t> samples;
  const auto file = MakePef(s, samples);
  cPictPEF pef;
  sPictInfo info;
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  ASSERT_TRUE(pef.ReadInfo(&io, &info));
  EXPECT_EQ(info.width, 50);
  EXPECT_EQ(info.height, 40);
  ASSERT_TRUE(LoadWith(file, pef));
  EXPECT_EQ(pef.Borders().left, 4);
  EXPECT_EQ(pef.Borders().top, 4);
  EXPECT_EQ(pef.Borders().right, 10);
  EXPECT_EQ(pef.Borders().bottom, 4);
  EXPECT_EQ(pef.GetWidth(), 50);
  EXPECT_EQ(pef.GetHeight(), 40);
  EXPECT_DOUBLE_EQ(pef.Meta().multipliers[0], 400.0 / 256);
  EXPECT_DOUBLE_EQ(pef.Meta().multipliers[2], 2.0);
}

TEST(PefLoad, CraftedFilesFail) {
  struct sCase {
    const char* name;
    sPefSpec spec;
  } cases[3];
  cases[0].name = "crop origin past the width";
  cases[0].spec.cropOrigin = {200, 0};
  cases[1].name = "crop leaving nothing";
  cases[1].spec.cropOrigin = {0, 0};
  cases[1].spec.cropSize = {0, 0};
  cases[2].name = "colour code above 3";
  cases[2].spec.pattern = {0, 1, 1, 7};
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<uint16_t> samples;
    const auto file = MakePef(k.spec, samples);
    cPictPEF pef;
    EXPECT_FALSE(LoadWith(file, pef));
  }
  // A height far beyond what the file's bytes can hold (one strip of the
  // real rows): refused before the raster is set up.
  {
    SCOPED_TRACE("height beyond the file");
    sPefSpec tall;
    tall.compression = 1;
    std::vector<uint16_t> samples;
    auto file = MakePef(tall, samples);
    const uint8_t height[8] = {0x01, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00};
    auto at = std::search(file.begin(), file.end(), height, height + 8);
    ASSERT_NE(at, file.end());
    at[8] = 0xFF, at[9] = 0xFF, at[10] = 0, at[11] = 0;  // 65535 rows
    cPictPEF pef;
    sPictInfo info;
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    ASSERT_TRUE(cPictPEF::Detect(&io, &info));
    EXPECT_EQ(info.height, 65535);
    EXPECT_FALSE(LoadWith(file, pef));
  }
  // Strips past the height are not read; the picture still loads.
  sPefSpec extra;
  extra.rowsPerStrip = 16;
  extra.extraStrips = 5;
  extra.compression = 1;
  std::vector<uint16_t> samples;
  auto l = LoadThroughFactory(MakePef(extra, samples));
  ASSERT_NE(l.pict, nullptr);
  EXPECT_EQ(l.frame.raw, samples);
}

TEST(ArwLoad, CodingsRoundTrip) {
  struct sCase {
    const char* name;
    bool be;
    int coding, bits, rps;
  } cases[] = {
      {"plain", false, 0, 12, 0},  {"plain two strips", false, 0, 12, 24}, {"packed II", false, 1, 12, 0},
      {"packed MM", true, 1, 12, 0}, {"ARW2", false, 2, 8, 0},               {"ARW1", false, 3, 12, 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sArwSpec s;
    s.be = k.be;
    s.coding = k.coding;
    s.bits = k.bits;
    s.rowsPerStrip = k.rps;
    std::vector<uint16_t> samples;
    const auto file = MakeArw(s, samples);
    auto l = LoadThroughFactory(file);
    ASSERT_NE(l.pict, nullptr);
    EXPECT_EQ(l.pict->GetFormat(), kPictFormatARW);
    EXPECT_EQ(l.frame.raw, samples);
    EXPECT_EQ(l.pict->GetHeight(), 48);
  }
}

TEST(ArwLoad, ModelConstantsAndLevels) {
  sArwSpec s;
  s.model = "ILCE-3000";  // right crop 32, white 992, red x 1.2
  std::vector<uint16_t> samples;
  const auto file = MakeArw(s, samples);
  cPictARW arw;
  ASSERT_TRUE(LoadWith(file, arw));
  EXPECT_EQ(arw.GetWidth(), 64 - 32);
  EXPECT_EQ(arw.Constants().white, 992u);
  EXPECT_EQ(arw.Levels()[0], 560);
  // 14-bit group declaring 12 bits: levels divided by 4.
  sArwSpec s14;
  s14.model = "ILCE-7M3";
  std::vector<uint16_t> samples14;
  cPictARW arw14;
  ASSERT_TRUE(LoadWith(MakeArw(s14, samples14), arw14));
  EXPECT_EQ(arw14.Constants().black, 128u);
  EXPECT_EQ(arw14.Constants().white, 4224u);
}

TEST(ArwLoad, CraftedDirectoriesStayBounded) {
  struct sCase {
    const char* name;
    bool exifLoop, privateLoop, mrm;
  } cases[] = {{"EXIF IFD pointing at itself", true, false, true},
               {"private IFD pointing at itself", false, true, false}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sArwSpec s;
    s.exifLoop = k.exifLoop;
    s.privateLoop = k.privateLoop;
    s.mrm = k.mrm;
    std::vector<uint16_t> samples;
    const auto file = MakeArw(s, samples);
    cPictARW arw;
    // A looping EXIF IFD refuses the file; a looping private IFD is ignored.
    EXPECT_EQ(LoadWith(file, arw), !k.exifLoop);
  }
  sArwSpec extra;
  extra.rowsPerStrip = 16;
  extra.extraStrips = 7;
  std::vector<uint16_t> samples;
  auto l = LoadThroughFactory(MakeArw(extra, samples));
  ASSERT_NE(l.pict, nullptr);
  EXPECT_EQ(l.frame.raw, samples);
}

TEST(SrwLoad, CodingsRoundTrip) {
  struct sCase {
    const char* name;
    int coding, rps;
  } cases[] = {{"plain", 0, 0},      {"packed", 1, 0},  {"row offsets", 2, 0}, {"row offsets, strips", 2, 16},
               {"huffman", 3, 0},    {"huffman, strips", 3, 12}, {"blocks", 4, 0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sSrwSpec s;
    s.coding = k.coding;
    s.rowsPerStrip = k.rps;
    std::vector<uint16_t> samples;
    const auto file = MakeSrw(s, samples);
    auto l = LoadThroughFactory(file);
    ASSERT_NE(l.pict, nullptr);
    EXPECT_EQ(l.pict->GetFormat(), kPictFormatSRW);
    EXPECT_EQ(l.frame.raw, samples);
    // NX300: left 1, right 9, bottom 20.
    EXPECT_EQ(l.pict->GetWidth(), 64 - 10);
    EXPECT_EQ(l.pict->GetHeight(), 48 - 20);
  }
}

TEST(SrwLoad, StripsPastTheHeightAndCropsThatLeaveNothing) {
  sSrwSpec s;
  s.rowsPerStrip = 16;
  s.extraStrips = 6;
  std::vector<uint16_t> samples;
  auto l = LoadThroughFactory(MakeSrw(s, samples));
  ASSERT_NE(l.pict, nullptr);
  EXPECT_EQ(l.frame.raw, samples);
  // NX1000's crop (46 + 57 columns) does not fit a 64-sample sensor.
  sSrwSpec small;
  small.model = "NX1000";
  cPictSRW srw;
  EXPECT_FALSE(LoadWith(MakeSrw(small, samples), srw));
}
