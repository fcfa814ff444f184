// cPictORF over synthetic ORF files on the test kit's TIFF builder: the
// magics, the model table (least counts, exact rows, trailing spaces), the
// three maker-note headers with the image-processing directory, the EXIF
// directory that points back at itself, the sensor layouts (three 12-bit
// packings, 16-bit, filler pairs, the adaptive coding, interlace) seen
// through the development hook, and the preview JPEG.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_jpeg.h"
#include "picture/raw/pict_orf.h"
#include "picture/raw/raw_develop.h"
#include "tests/support/raw_fixture_dump.h"
#include "tests/support/olympus_encoder.h"
#include "tests/support/orf_builder.h"
#include "tests/support/test_support.h"
#include "tests/support/tiff_builder.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& relative) {
  const std::string text = twtest::ReadFileText(twtest::SourcePath(relative));
  return std::vector<uint8_t>(text.begin(), text.end());
}

using namespace orf_builder;


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

TEST(Orf, MagicsAndMakerNotes) {
  struct {
    const char* name;
    sOrf f;
    uint16_t magicOverride;
    bool accepted;
  } cases[] = {
      {"OLYMPUS, little-endian", {}, 0, true},
      {"OLYMPUS, big-endian", [] { sOrf f; f.bigEndian = true; return f; }(), 0, true},
      {"OM SYSTEM", [] { sOrf f; f.makerNote = "OM SYSTEM"; return f; }(), 0, true},
      {"OLYMP", [] { sOrf f; f.makerNote = "OLYMP"; return f; }(), 0, true},
      {"unknown maker note", [] { sOrf f; f.makerNote = "NIKON"; return f; }(), 0, false},
      {"no EXIF", [] { sOrf f; f.makerNote = ""; return f; }(), 0, true},
      {"magic SR", {}, 0x5352, true},
      {"plain TIFF", {}, 42, false},
      {"EXIF pointing at itself", [] { sOrf f; f.exifLoop = true; return f; }(), 0, false},
  };
  for (const auto& c : cases) {
    auto built = Build(c.f);
    if (c.magicOverride) {
      built.bytes[2] = static_cast<uint8_t>(c.f.bigEndian ? c.magicOverride >> 8 : c.magicOverride);
      built.bytes[3] = static_cast<uint8_t>(c.f.bigEndian ? c.magicOverride : c.magicOverride >> 8);
    }
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    cPictORF d;
    sPictInfo info;
    EXPECT_EQ(d.ReadInfo(&io, &info), c.accepted) << c.name;
    EXPECT_EQ(cPictORF::Detect(&io, nullptr), c.accepted) << c.name;
    if (!c.accepted || c.f.makerNote.empty()) continue;
    EXPECT_TRUE(info.hasPreview) << c.name;
    EXPECT_DOUBLE_EQ(d.Level(0), 2.0) << c.name;
    EXPECT_DOUBLE_EQ(d.Level(2), 3.0) << c.name;
    EXPECT_EQ(d.BlackLevel(), 64u) << c.name;
    // The preview window is the JPEG's place in the file.
    ASSERT_LE(static_cast<size_t>(d.PreviewOffset()) + d.PreviewLength(), built.bytes.size()) << c.name;
    EXPECT_TRUE(std::equal(built.jpeg.begin(), built.jpeg.end(), built.bytes.begin() + d.PreviewOffset())) << c.name;
  }
}

TEST(Orf, ModelTable) {
  struct {
    const char* model;
    int32_t left, right, top;
    bool words;
  } cases[] = {
      {"E-30 ", 1, 4, 1, false},  {"E-300 ", 0, 24, 0, false}, {"E-5", 0, 0, 0, false},
      {"E-5 ", 1, 4, 1, false},   {"SP500UZ", 0, 0, 1, false}, {"SP500UZX", 0, 0, 0, false},
      {"TG-6 x", 1, 23, 0, false}, {"XZ-2", 0, 0, 0, true},    {"SH-2", 1, 0, 0, true},
      {"E-M1 ", 1, 0, 1, false},  {"E-M10", 0, 0, 0, false},
  };
  for (const auto& c : cases) {
    sOrf f;
    f.model = c.model;
    f.width = 48;
    const auto built = Build(f);
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    cPictORF d;
    sPictInfo info;
    ASSERT_TRUE(d.ReadInfo(&io, &info)) << c.model;
    EXPECT_EQ(d.Crop().left, c.left) << c.model;
    EXPECT_EQ(d.Crop().right, c.right) << c.model;
    EXPECT_EQ(d.Crop().top, c.top) << c.model;
    EXPECT_EQ(d.WordPacking(), c.words) << c.model;
    EXPECT_EQ(info.width, 48 - c.left - c.right) << c.model;
    EXPECT_EQ(info.height, 8 - c.top) << c.model;
    EXPECT_TRUE(d.BigEndianPacking()) << "12-bit files are always read big-endian";
  }
}

TEST(Orf, LoadUnpacksEveryLayout) {
  struct {
    const char* name;
    sOrf f;
  } cases[] = {
      {"12-bit big-endian pairs", {}},
      {"12-bit words", [] { sOrf f; f.model = "XZ-2"; return f; }()},
      {"12-bit, two strips", [] { sOrf f; f.strips = 2; return f; }()},
      {"12-bit interlaced, odd height", [] { sOrf f; f.photometric = 2; f.height = 9; return f; }()},
      {"12-bit interlaced, even height", [] { sOrf f; f.photometric = 2; f.height = 8; f.strips = 2; return f; }()},
      {"16-bit little-endian", [] { sOrf f; f.kind = kPack16; return f; }()},
      {"16-bit big-endian", [] { sOrf f; f.kind = kPack16; f.bigEndian = true; return f; }()},
      {"filler pairs", [] { sOrf f; f.kind = kFiller; f.width = 50; return f; }()},
      {"adaptive coding", [] { sOrf f; f.kind = kCoded; f.width = 64; f.height = 10; return f; }()},
      {"adaptive coding, three strips", [] { sOrf f; f.kind = kCoded; f.height = 12; f.strips = 3; return f; }()},
  };
  for (const auto& c : cases) {
    const auto built = Build(c.f);
    twtest::DumpRawFixture("orf", c.name, built.bytes);
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    cPictORF d;
    sSeen seen;
    cHookScope hook(&seen);
    ASSERT_TRUE(d.Load(&io)) << c.name;
    EXPECT_EQ(seen.w, c.f.width) << c.name;
    EXPECT_EQ(seen.h, c.f.height) << c.name;
    EXPECT_EQ(seen.raw, built.frame) << c.name;
  }
}

TEST(Orf, CodedSampleOutOfRangeFailsTheLoad) {
  sOrf f;
  f.kind = kCoded;
  auto built = Build(f);
  // The coded strip is the first block: sign bit set in the first code.
  const size_t strip = 8;
  built.bytes[strip + 7] = 0x90;
  built.bytes[strip + 8] = 0x00;
  cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
  cPictORF d;
  EXPECT_FALSE(d.Load(&io));
}

TEST(Orf, PreviewIsTheMakerNotesJpeg) {
  const auto built = Build(sOrf{});
  cPictJPEG jpeg;
  cBufWrapperIO jio(built.jpeg.data(), static_cast<uint32_t>(built.jpeg.size()));
  ASSERT_TRUE(jpeg.Load(&jio));
  cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
  cPictORF d;
  cPictDummy dest;
  int32_t w = 0, h = 0;
  ASSERT_TRUE(d.LoadPreview(&io, &dest, w, h));
  EXPECT_EQ(dest.GetWidth(), 48);
  EXPECT_EQ(dest.GetHeight(), 32);
  _typebuf<uint32_t> a, b;
  ASSERT_TRUE(dest.GetPixels32(a));
  ASSERT_TRUE(jpeg.GetPixels32(b));
  ASSERT_EQ(a.count, b.count);
  EXPECT_EQ(0, memcmp(a.data, b.data, sizeof(uint32_t) * a.count));
  // Fitted into 24 x 24: 24 x 16.
  cPictDummy small;
  w = 24, h = 24;
  ASSERT_TRUE(d.LoadPreview(&io, &small, w, h));
  EXPECT_EQ(small.GetWidth(), 24);
  EXPECT_EQ(small.GetHeight(), 16);
  sOrf none;
  none.preview = false;
  const auto b2 = Build(none);
  cBufWrapperIO io2(b2.bytes.data(), static_cast<uint32_t>(b2.bytes.size()));
  sPictInfo info;
  ASSERT_TRUE(d.ReadInfo(&io2, &info));
  EXPECT_FALSE(info.hasPreview);
  EXPECT_FALSE(d.LoadPreview(&io2, &dest, w, h));
}

TEST(Orf, RedLevelZeroTurnsBalanceOff) {
  sOrf f;
  f.red = 0;
  const auto built = Build(f);
  cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
  cPictORF d;
  ASSERT_TRUE(d.ReadInfo(&io, nullptr));
  // The sub-directory's levels need both non-zero: the defaults stay.
  EXPECT_DOUBLE_EQ(d.Level(0), 1.0);
  ASSERT_TRUE(d.Load(&io));
}

TEST(Orf, DeletingThroughThePictureBase) {
  cPictBase* p = new cPictORF();
  EXPECT_EQ(p->GetFormat(), kPictFormatORF);
  delete p;
}

}  // namespace
