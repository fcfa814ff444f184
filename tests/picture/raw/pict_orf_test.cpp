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
#include "tests/support/test_support.h"
#include "tests/support/tiff_builder.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& relative) {
  const std::string text = twtest::ReadFileText(twtest::SourcePath(relative));
  return std::vector<uint8_t>(text.begin(), text.end());
}

enum eKind { kPack12, kPack16, kFiller, kCoded };

struct sOrf {
  bool bigEndian = false;
  std::string model = "E-M10";
  int32_t width = 40, height = 8;
  uint16_t bits = 12;
  uint16_t photometric = 32803;
  eKind kind = kPack12;
  int strips = 1;
  // Maker note: "OLYMPUS" (base 12), "OM SYSTEM" (16), "OLYMP" (old) or
  // something else; empty: no EXIF directory at all.
  std::string makerNote = "OLYMPUS";
  uint16_t red = 512, blue = 768;  // image-processing levels x 256
  uint16_t black[4] = {60, 64, 62, 61};
  bool preview = true;
  bool exifLoop = false;
};

struct sBuilt {
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> frame;
  std::vector<uint8_t> jpeg;
};

void Put16(std::vector<uint8_t>& v, bool be, uint32_t x) {
  if (be) v.push_back(static_cast<uint8_t>(x >> 8)), v.push_back(static_cast<uint8_t>(x));
  else v.push_back(static_cast<uint8_t>(x)), v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, bool be, uint32_t x) {
  if (be) Put16(v, be, x >> 16), Put16(v, be, x & 0xFFFF);
  else Put16(v, be, x & 0xFFFF), Put16(v, be, x >> 16);
}
void Entry(std::vector<uint8_t>& v, bool be, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
  Put16(v, be, tag), Put16(v, be, type), Put32(v, be, count);
  if (type == 3 && count == 1) Put16(v, be, value), Put16(v, be, 0);
  else Put32(v, be, value);
}

// The maker note: offsets inside it are relative to its start (new style)
// or to the file (old style, which needs the maker note's own file offset:
// relocated after building through `at`).
std::vector<uint8_t> MakerNote(const sOrf& f, const std::vector<uint8_t>& jpeg, uint32_t fileOffset) {
  const bool be = f.bigEndian;
  std::vector<uint8_t> m;
  uint32_t ifdAt, rel;  // rel: what offsets inside are counted from
  if (f.makerNote == "OLYMPUS") {
    m = {'O', 'L', 'Y', 'M', 'P', 'U', 'S', 0, be ? uint8_t('M') : uint8_t('I'), be ? uint8_t('M') : uint8_t('I'), 3, 0};
    ifdAt = 12, rel = 0;
  } else if (f.makerNote == "OM SYSTEM") {
    m = {'O', 'M', ' ', 'S', 'Y', 'S', 'T', 'E', 'M', 0, 0, 0, be ? uint8_t('M') : uint8_t('I'), be ? uint8_t('M') : uint8_t('I'), 4, 0};
    ifdAt = 16, rel = 0;
  } else if (f.makerNote == "OLYMP") {
    m = {'O', 'L', 'Y', 'M', 'P', 0, 1, 0};
    ifdAt = 8, rel = fileOffset;
  } else {
    m = {'N', 'I', 'K', 'O', 'N', 0, 0, 0, 0, 0, 0, 0};
    m.resize(64, 0);
    return m;
  }
  // Main IFD: 256 preview, 8256 sub-directory.
  const uint32_t mainCount = f.preview ? 2 : 1;
  const uint32_t subAt = ifdAt + 2 + 12 * mainCount + 4;
  const uint32_t wbAt = subAt + 2 + 12 * 2 + 4, blackAt = wbAt + 8, jpegAt = blackAt + 8;
  Put16(m, be, static_cast<uint16_t>(mainCount));
  if (f.preview) Entry(m, be, 256, 7, static_cast<uint32_t>(jpeg.size()), rel + jpegAt);
  Entry(m, be, 8256, 4, 1, rel + subAt);
  Put32(m, be, 0);
  Put16(m, be, 2);
  Entry(m, be, 256, 3, 4, rel + wbAt);
  Entry(m, be, 1536, 3, 4, rel + blackAt);
  Put32(m, be, 0);
  Put16(m, be, f.red), Put16(m, be, f.blue), Put16(m, be, 256), Put16(m, be, 256);
  for (uint16_t b : f.black) Put16(m, be, b);
  m.insert(m.end(), jpeg.begin(), jpeg.end());
  m.resize(m.size() + 16, 0);  // slack: windowed offsets are checked against the window
  return m;
}

std::vector<uint16_t> Samples(int32_t w, int32_t h, int bits, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  const uint32_t max = (1u << bits) - 1;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      v[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(std::min<uint32_t>(max, 400 + x * 17 + y * 9 + rng() % 25));
  return v;
}

sBuilt Build(const sOrf& f) {
  sBuilt out;
  out.jpeg = ReadBytes("tests/picture/raw/data/preview_48x32.jpg");
  const bool be = f.bigEndian;
  const int bits = f.kind == kPack16 ? 16 : 12;
  const auto samples = Samples(f.width, f.height, bits, 11);
  const bool interlace = bits == 12 && f.photometric == 2 && f.kind != kCoded;
  // Stored row order: even rows first when interlaced.
  std::vector<int32_t> order;
  for (int32_t y = 0; y < f.height; y += interlace ? 2 : 1) order.push_back(y);
  if (interlace)
    for (int32_t y = 1; y < f.height - (f.height % 2 == 0 ? 1 : 0); y += 2) order.push_back(y);
  out.frame.assign(samples.size(), 0);
  for (int32_t y : order)
    std::copy(samples.begin() + y * f.width, samples.begin() + (y + 1) * f.width, out.frame.begin() + y * f.width);
  // Strips: with interlace the even rows fill the first strip and the odd
  // rows (one fewer) the second, as the decoder's row target has it.
  cTiffBuilder b(be, false);
  const int ifd = b.AddIfd();
  std::vector<std::vector<int32_t>> groups;
  int32_t rps;
  if (interlace) {
    const size_t evens = (static_cast<size_t>(f.height) + 1) / 2;
    groups.emplace_back(order.begin(), order.begin() + static_cast<ptrdiff_t>(evens));
    groups.emplace_back(order.begin() + static_cast<ptrdiff_t>(evens), order.end());
    rps = static_cast<int32_t>(evens);
  } else {
    rps = (f.height + f.strips - 1) / f.strips;
    for (size_t first = 0; first < order.size(); first += rps)
      groups.emplace_back(order.begin() + static_cast<ptrdiff_t>(first),
                          order.begin() + static_cast<ptrdiff_t>(std::min(order.size(), first + rps)));
  }
  std::vector<int> blocks;
  for (const auto& g : groups) {
    std::vector<uint8_t> strip;
    if (f.kind == kCoded) {
      std::vector<uint16_t> rows;
      for (int32_t y : g) rows.insert(rows.end(), samples.begin() + y * f.width, samples.begin() + (y + 1) * f.width);
      EXPECT_TRUE(olympus_encoder::Encode(rows, f.width, static_cast<int32_t>(g.size()), strip));
    } else {
      for (int32_t y : g) {
        const uint16_t* row = samples.data() + y * f.width;
        if (f.kind == kPack16) {
          for (int32_t x = 0; x < f.width; ++x) Put16(strip, be, row[x]);
        } else if (f.kind == kFiller) {
          olympus_encoder::PackFillerRow(row, f.width, true, strip);
        } else {
          const bool words = f.model == "XZ-2" || f.model == "SH-2";
          olympus_encoder::PackRow(row, f.width, words ? olympus_encoder::kWords : olympus_encoder::kBig, strip);
        }
      }
    }
    blocks.push_back(b.AddBlock(strip));
  }
  b.AddLong(ifd, 256, static_cast<uint32_t>(f.width));
  b.AddLong(ifd, 257, static_cast<uint32_t>(f.height));
  b.AddShort(ifd, 258, f.kind == kPack16 ? 16 : f.bits);
  b.AddShort(ifd, 262, f.photometric);
  b.AddAscii(ifd, 272, f.model);
  b.AddBlockOffsets(ifd, 273, blocks);
  b.AddLong(ifd, 278, static_cast<uint32_t>(rps));
  b.AddBlockSizes(ifd, 279, blocks);
  if (!f.makerNote.empty()) {
    const int exif = b.AddIfd();
    b.SetNext(ifd, -1);
    b.SetFirst(ifd);
    b.AddIfdPointer(ifd, 34665, exif);
    // The old style counts from the file: relocated below once the maker
    // note's place is known.
    b.AddBytes(exif, 37500, 7, MakerNote(f, out.jpeg, 0));
    if (f.exifLoop) b.AddIfdPointer(exif, 34665, exif);
  }
  out.bytes = b.Build();
  if (f.makerNote == "OLYMP") {
    // Find the maker note and rebuild it with file offsets.
    const auto probe = MakerNote(f, out.jpeg, 0);
    auto it = std::search(out.bytes.begin(), out.bytes.end(), probe.begin(), probe.begin() + 8);
    const uint32_t at = static_cast<uint32_t>(it - out.bytes.begin());
    const auto real = MakerNote(f, out.jpeg, at);
    std::copy(real.begin(), real.end(), it);
  }
  out.bytes[2] = be ? 0x4F : 0x52;
  out.bytes[3] = be ? 0x52 : 0x4F;
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
