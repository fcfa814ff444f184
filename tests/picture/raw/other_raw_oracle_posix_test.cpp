// Synthetic RAF, RW2, IIQ, ORF, MRW and X3F files against dcraw and LibRaw's
// unprocessed_raw, run as black boxes under a time limit; each format's
// agreements and listed disagreements are given at its test.
//
// RAF files are laid out as cameras write them: the preview JPEG opens with
// the EXIF segment naming the camera, and the CFA section's first directory
// holds only 0xF000, pointing at the directory with the raw tags. Where an
// oracle reads the same bytes another way, the relation is checked as it
// stands and this decoder keeps its own rules:
//  - plain 16-bit samples: both oracles read them big-endian, this decoder
//    little-endian;
//  - 12-bit samples: dcraw reads them as a big-endian bit string (the first
//    sample from byte 0 and the high half of byte 1), this decoder as
//    little-endian pairs; LibRaw refuses them;
//  - 14-bit samples: LibRaw reads the 28-byte groups of little-endian words
//    as this decoder does; dcraw reads a big-endian bit string.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/raw/pict_raf.h"
#include "picture/raw/raw_develop.h"
#include "tests/picture/raw/raw_oracle_tools.h"
#include "tests/picture/raw/raw_test_util.h"
#include "tests/support/exif_jpeg.h"
#include "tests/support/fuji_compressed_encoder.h"
#include "tests/support/iiq_builder.h"
#include "tests/support/mrw_builder.h"
#include "tests/support/orf_builder.h"
#include "tests/support/olympus_encoder.h"
#include "tests/support/raf_builder.h"
#include "tests/support/raw_fixture_dump.h"
#include "tests/support/rw2_builder.h"
#include "tests/support/test_support.h"
#include "tests/support/x3f_builder.h"
#include "tests/support/x3f_encoder.h"

namespace {

using raf_builder::sRaf;

using raw_oracle::ParsePgm;
using raw_oracle::RunTool;
using raw_oracle::sPgm;

// A P6 of 16-bit samples: three per pixel.
bool ParsePpm(const std::string& b, sPgm& out) {
  int w = 0, h = 0, mx = 0, n = 0;
  if (std::sscanf(b.c_str(), "P6 %d %d %d%n", &w, &h, &mx, &n) != 3 || w <= 0 || h <= 0 || mx <= 255) return false;
  const size_t start = static_cast<size_t>(n) + 1;
  if (b.size() < start + static_cast<size_t>(w) * h * 6) return false;
  out.width = w, out.height = h;
  out.samples.resize(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < out.samples.size(); ++i)
    out.samples[i] = static_cast<uint16_t>(static_cast<uint8_t>(b[start + 2 * i]) << 8 |
                                           static_cast<uint8_t>(b[start + 2 * i + 1]));
  return true;
}

class cTempFile {
public:
  cTempFile(const std::vector<uint8_t>& bytes, const char* name = "f.raf") {
    char t[] = "/tmp/tw_raw_oracle_XXXXXX";
    dir = mkdtemp(t);
    file = name;
    path = dir + "/" + file;
    std::ofstream o(path, std::ios::binary);
    o.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~cTempFile() { std::system(("rm -rf '" + dir + "'").c_str()); }
  std::string dir, file, path;
};

bool HaveTools() {
  return std::system("command -v dcraw >/dev/null 2>&1 && command -v unprocessed_raw >/dev/null 2>&1") == 0;
}

bool Dcraw(const cTempFile& f, sPgm& out) {
  return ParsePgm(RunTool("timeout 60 dcraw -E -4 -c '" + f.path + "' 2>/dev/null"), out);
}

bool LibRaw(const cTempFile& f, sPgm& out) {
  RunTool("cd '" + f.dir + "' && timeout 60 unprocessed_raw " + f.file + " >/dev/null 2>&1");
  std::ifstream in(f.path + ".pgm", std::ios::binary);
  const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParsePgm(b, out);
}

// dcraw's three-colour frame (P6).
bool DcrawRgb(const cTempFile& f, sPgm& out) {
  return ParsePpm(RunTool("timeout 60 dcraw -E -4 -c '" + f.path + "' 2>/dev/null"), out);
}

std::string DcrawInfo(const cTempFile& f) { return RunTool("timeout 60 dcraw -i -v '" + f.path + "' 2>/dev/null"); }

// dcraw -i -v's "<label>:  W x H".
bool DcrawSize(const cTempFile& f, const char* label, int32_t& w, int32_t& h) {
  const std::string text = RunTool("timeout 60 dcraw -i -v '" + f.path + "' 2>/dev/null");
  const size_t at = text.find(label);
  return at != std::string::npos && std::sscanf(text.c_str() + at + strlen(label), " %d x %d", &w, &h) == 2;
}

std::vector<uint16_t> Samples(int32_t w, int32_t h, int bits, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  for (auto& s : v) s = static_cast<uint16_t>(rng() & ((1u << bits) - 1));
  return v;
}

std::vector<uint8_t> Preview(const std::string& model) {
  const std::string text = twtest::ReadFileText(twtest::SourcePath("tests/picture/raw/data/preview_48x32.jpg"));
  return exif_jpeg::WithCamera(std::vector<uint8_t>(text.begin(), text.end()), "FUJIFILM", model);
}

// The 14-bit rows of the format: 28-byte groups of 16 samples, the bits most
// significant first in little-endian 32-bit words.
std::vector<uint8_t> Pack14(const std::vector<uint16_t>& s, int32_t width, int32_t height) {
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

// A big-endian bit string of bits-bit samples.
std::vector<uint16_t> ReadBitString(const std::vector<uint8_t>& bytes, int bits, size_t count) {
  std::vector<uint16_t> out;
  uint64_t acc = 0;
  int have = 0;
  size_t at = 0;
  while (out.size() < count && at <= bytes.size()) {
    while (have < bits && at < bytes.size()) acc = acc << 8 | bytes[at++], have += 8;
    if (have < bits) break;
    have -= bits;
    out.push_back(static_cast<uint16_t>(acc >> have & ((1u << bits) - 1)));
  }
  return out;
}

std::vector<uint16_t> Swapped(const std::vector<uint16_t>& s) {
  std::vector<uint16_t> out;
  for (uint16_t v : s) out.push_back(static_cast<uint16_t>(v >> 8 | v << 8));
  return out;
}

struct sOurs {
  std::vector<uint16_t> frame;
  int32_t w = 0, h = 0;
  sPictInfo info{};
};

sOurs Decode(const std::vector<uint8_t>& bytes) {
  sOurs o;
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictRAF d;
  EXPECT_TRUE(d.ReadInfo(&io, &o.info));
  cFrameCatcher catcher;
  EXPECT_TRUE(d.Load(&io));
  o.frame = catcher.frame.samples;
  o.w = catcher.frame.width;
  o.h = catcher.frame.height;
  return o;
}

enum eRelation { kEqual, kReadsBigEndian16, kReadsBitString, kRefuses };

TEST(RafOracle, LayoutsAgainstDcrawAndLibRaw) {
  if (!HaveTools()) GTEST_SKIP() << "dcraw or unprocessed_raw missing (scripts/deps.sh installs them)";
  // Wide enough for the X-Pro2's borders (1 and 127); dcraw takes nothing
  // under 22 rows.
  const int32_t w = 160, h = 32;
  struct sCase {
    const char* name;
    std::string model;
    int bits;
    std::vector<uint8_t> stored;  // the samples as the file holds them
    bool directory;
    eRelation dcraw, libraw;
  };
  std::vector<sCase> cases;
  {
    const auto s = Samples(w, h, 14, 1);
    std::vector<uint8_t> b;
    for (uint16_t v : s) b.push_back(static_cast<uint8_t>(v)), b.push_back(static_cast<uint8_t>(v >> 8));
    cases.push_back({"plain 16-bit", "FinePix E550", 16, b, false, kReadsBigEndian16, kReadsBigEndian16});
  }
  {
    const auto s = Samples(w, h, 12, 2);
    std::vector<uint8_t> b;
    olympus_encoder::PackRow(s.data(), static_cast<int32_t>(s.size()), olympus_encoder::kLittle, b);
    cases.push_back({"12-bit pairs", "FinePix S9600", 12, b, true, kReadsBitString, kRefuses});
  }
  cases.push_back({"14-bit rows", "X-Pro2", 14, Pack14(Samples(w, h, 14, 3), w, h), true, kReadsBitString, kEqual});
  for (const auto& c : cases) {
    sRaf f;
    f.model = c.model;
    f.jpeg = Preview(c.model);
    f.records = {raf_builder::Size(0x100, h, w), raf_builder::Size(0x121, h, w)};
    f.section = c.directory ? raf_builder::Section(true, {{0xF001, w}, {0xF002, h}, {0xF003, static_cast<uint32_t>(c.bits)}},
                                                   c.stored, true)
                            : c.stored;
    const auto bytes = raf_builder::Build(f);
    const sOurs ours = Decode(bytes);
    ASSERT_EQ(ours.w, w) << c.name;
    ASSERT_EQ(ours.h, h) << c.name;
    cTempFile file(bytes);
    int32_t dw = 0, dh = 0;
    ASSERT_TRUE(DcrawSize(file, "Full size:", dw, dh)) << c.name;
    EXPECT_EQ(dw, w) << c.name;
    EXPECT_EQ(dh, h) << c.name;
    const size_t n = static_cast<size_t>(w) * h;
    for (const bool isDcraw : {true, false}) {
      const eRelation rel = isDcraw ? c.dcraw : c.libraw;
      const char* who = isDcraw ? "dcraw" : "LibRaw";
      sPgm theirs;
      const bool read = isDcraw ? Dcraw(file, theirs) : LibRaw(file, theirs);
      if (rel == kRefuses) {
        EXPECT_FALSE(read) << c.name << " " << who;
        continue;
      }
      ASSERT_TRUE(read) << c.name << " " << who;
      ASSERT_EQ(theirs.width, w) << c.name << " " << who;
      ASSERT_EQ(theirs.height, h) << c.name << " " << who;
      switch (rel) {
        case kEqual: EXPECT_EQ(theirs.samples, ours.frame) << c.name << " " << who; break;
        case kReadsBigEndian16: EXPECT_EQ(theirs.samples, Swapped(ours.frame)) << c.name << " " << who; break;
        case kReadsBitString:
          EXPECT_EQ(theirs.samples, ReadBitString(c.stored, c.bits, n)) << c.name << " " << who;
          EXPECT_NE(theirs.samples, ours.frame) << c.name << " " << who;
          break;
        default: break;
      }
    }
  }
}

// Compressed X-Trans frames against LibRaw, which reads the sensor's colour
// layout from the CFA header's record 0x131 (36 colour codes; the X-Trans
// pattern is the same read forwards or backwards). With that record LibRaw
// reads every sample as this decoder does. A listed disagreement, where this
// decoder keeps its fixed X-Trans table: without the record LibRaw takes
// every site as red, so each site reads the red line at that site's line
// position (rows 2i and 2i + 1 of a stripe share red line 2 + i; columns
// 3k + 1 and 3k + 2 share position 2k + 1) and equals this decoder's sample
// at a red site of the same line position.
TEST(RafOracle, CompressedXTransAgainstLibRaw) {
  if (!HaveTools()) GTEST_SKIP() << "unprocessed_raw missing (scripts/deps.sh installs it)";
  static const uint8_t kXTrans[6][6] = {{1, 2, 1, 1, 0, 1}, {0, 1, 0, 2, 1, 2}, {1, 2, 1, 1, 0, 1},
                                        {1, 0, 1, 1, 2, 1}, {2, 1, 2, 0, 1, 0}, {1, 0, 1, 1, 2, 1}};
  struct {
    const char* name;
    int32_t w, h;
    int bits;
    bool layout;
    bool smooth;  // slow gradients with little noise: short codes, adapted gradients
  } cases[] = {
      {"one block, 14-bit", 768, 24, 14, true, false},
      // Three blocks, the last 24 columns wide.
      {"three blocks, 12-bit", 1560, 12, 12, true, false},
      {"smooth, 14-bit", 1536, 36, 14, true, true},
      {"smooth, 12-bit", 768, 18, 12, true, true},
      {"one block, no layout record", 768, 24, 14, false, false},
      {"three blocks, no layout record", 1560, 12, 12, false, false},
  };
  uint32_t seed = 4;
  for (const auto& c : cases) {
    const int32_t w = c.w, h = c.h;
    auto samples = Samples(w, h, c.bits, seed++);
    if (c.smooth)
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          uint16_t& v = samples[static_cast<size_t>(y) * w + x];
          v = static_cast<uint16_t>((x * 5 + y * 11 + (v & 7)) & ((1 << c.bits) - 1));
        }
    const auto enc = fuji_encoder::cEncoder(c.bits).Encode(samples, w, h);
    sRaf f;
    f.model = "X-T3";
    f.jpeg = Preview(f.model);
    f.records = {raf_builder::Size(0x100, h, w), raf_builder::Size(0x121, h, w)};
    if (c.layout) {
      raf_builder::sRecord layout{0x131, {}};
      for (int i = 0; i < 36; ++i) layout.data.push_back(kXTrans[i / 6][i % 6]);
      f.records.push_back(layout);
    }
    f.section = raf_builder::Section(true, {{0xF001, static_cast<uint32_t>(w)}, {0xF002, static_cast<uint32_t>(h)},
                                            {0xF003, static_cast<uint32_t>(c.bits)}},
                                     enc.bytes, true);
    const auto bytes = raf_builder::Build(f);
    twtest::DumpRawFixture("raf", std::string("oracle compressed X-Trans ") + c.name, bytes);
    const sOurs ours = Decode(bytes);
    ASSERT_EQ(ours.frame, enc.decoded) << c.name;
    cTempFile file(bytes);
    sPgm theirs;
    ASSERT_TRUE(LibRaw(file, theirs)) << c.name;
    ASSERT_EQ(theirs.width, w) << c.name;
    ASSERT_EQ(theirs.height, h) << c.name;
    if (c.layout) {
      EXPECT_EQ(theirs.samples, ours.frame) << c.name;
      continue;
    }
    EXPECT_NE(theirs.samples, ours.frame) << c.name;
    // Each site against our sample at a red site sharing its red line and
    // line position (same stripe, block and row pair; same column triple and
    // the same side of it); sites without one are left out.
    const auto at = [&](int32_t y, int32_t x) { return static_cast<size_t>(y) * w + x; };
    int32_t checked = 0, mismatches = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const int32_t pairTop = y / 2 * 2, triple = x / 3 * 3;
        bool found = false;
        for (int32_t ry = pairTop; ry < pairTop + 2 && !found; ++ry)
          for (int32_t rx = triple; rx < triple + 3 && rx < w && !found; ++rx)
            if ((rx % 3 == 0) == (x % 3 == 0) && kXTrans[ry % 6][rx % 6] == 0 && x / 768 == rx / 768) {
              found = true;
              ++checked;
              if (theirs.samples[at(y, x)] != ours.frame[at(ry, rx)]) ++mismatches;
            }
      }
    EXPECT_EQ(mismatches, 0) << c.name;
    // Most sites have such a red site.
    EXPECT_GT(checked, w * h / 2) << c.name;
  }
}

// RW2 files with the Make tag cameras write. dcraw reads the block coding
// found through tag 280 and the packed 12-bit strip as this decoder does.
// Listed disagreements, where this decoder keeps its rules: dcraw looks for
// block-coded data only through tag 280 (a file that gives it by the strip
// tags and the model reads as zeros) and reads a plain 16-bit strip as the
// block coding; LibRaw refuses all of these files.
TEST(Rw2Oracle, LayoutsAgainstDcrawAndLibRaw) {
  if (!HaveTools()) GTEST_SKIP() << "dcraw or unprocessed_raw missing (scripts/deps.sh installs them)";
  enum eDcraw { kSame, kZeros, kOther };
  struct {
    const char* name;
    rw2_builder::sRw2 f;
    eDcraw dcraw;
  } cases[] = {
      {"blocks via 280", [] { rw2_builder::sRw2 f; f.layout = rw2_builder::kBlocks; return f; }(), kSame},
      {"blocks by model", [] { rw2_builder::sRw2 f; f.layout = rw2_builder::kBlocks; f.viaRawOffset = false;
                               f.model = "DMC-G1"; return f; }(), kZeros},
      // Packed strips hold ten samples in every 16 bytes: 60 x 32 fills them.
      {"packed 12", [] { rw2_builder::sRw2 f; f.layout = rw2_builder::kPacked; f.width = 60; return f; }(), kSame},
      {"plain 16-bit", [] { rw2_builder::sRw2 f; f.layout = rw2_builder::kPlain; f.width = 64; return f; }(), kOther},
  };
  for (auto& c : cases) {
    c.f.make = "Panasonic";
    if (c.f.layout == rw2_builder::kBlocks) c.f.width = 64;
    c.f.height = 32;
    const auto built = rw2_builder::Build(c.f);
    cFrameCatcher catcher;
    std::unique_ptr<cPictBase> d = Probe(built.bytes, nullptr);
    ASSERT_NE(d, nullptr) << c.name;
    ASSERT_TRUE(LoadWith(*d, built.bytes)) << c.name;
    ASSERT_EQ(catcher.frame.samples, built.frame) << c.name;
    cTempFile file(built.bytes, "f.rw2");
    int32_t dw = 0, dh = 0;
    ASSERT_TRUE(DcrawSize(file, "Full size:", dw, dh)) << c.name;
    EXPECT_EQ(dw, catcher.frame.width) << c.name;
    EXPECT_EQ(dh, catcher.frame.height) << c.name;
    sPgm theirs;
    ASSERT_TRUE(Dcraw(file, theirs)) << c.name;
    ASSERT_EQ(theirs.width, catcher.frame.width) << c.name;
    ASSERT_EQ(theirs.height, catcher.frame.height) << c.name;
    switch (c.dcraw) {
      case kSame: EXPECT_EQ(theirs.samples, built.frame) << c.name; break;
      case kZeros: EXPECT_EQ(theirs.samples, std::vector<uint16_t>(built.frame.size(), 0)) << c.name; break;
      case kOther: EXPECT_NE(theirs.samples, built.frame) << c.name; break;
    }
    sPgm libraw;
    EXPECT_FALSE(LibRaw(file, libraw)) << c.name;
  }
}

// IIQ frames against dcraw (LibRaw's unprocessed_raw is left out: it has
// hung on these files). dcraw reads the coded rows, the curve of format 5
// and the black level as this decoder does. Listed disagreements, where this
// decoder keeps its rules: dcraw applies the row and column black tables
// with other indexes (its samples differ by a few levels), and it does not
// take the ZIP-wrapped file.
TEST(IiqOracle, FramesAgainstDcraw) {
  if (!HaveTools()) GTEST_SKIP() << "dcraw missing (scripts/deps.sh installs it)";
  enum eDcraw { kSame, kOther, kRefuses };
  struct {
    const char* name;
    iiq_builder::sIiq f;
    eDcraw dcraw;
  } cases[] = {
      {"format 4", {}, kSame},
      {"format 5 curve", [] { iiq_builder::sIiq f; f.format = 5; f.black = 0; return f; }(), kSame},
      {"black tables", [] { iiq_builder::sIiq f; f.tables = true; return f; }(), kOther},
      {"zip wrapped", [] { iiq_builder::sIiq f; f.zip = true; return f; }(), kRefuses},
  };
  for (auto& c : cases) {
    c.f.width = 64, c.f.height = 32, c.f.imageWidth = 60, c.f.imageHeight = 30;
    const auto built = iiq_builder::Build(c.f);
    cFrameCatcher catcher;
    std::unique_ptr<cPictBase> d = Probe(built.bytes, nullptr);
    ASSERT_NE(d, nullptr) << c.name;
    ASSERT_TRUE(LoadWith(*d, built.bytes)) << c.name;
    ASSERT_EQ(catcher.frame.samples, built.frame) << c.name;
    cTempFile file(built.bytes, "f.iiq");
    int32_t dw = 0, dh = 0;
    sPgm theirs;
    if (c.dcraw == kRefuses) {
      EXPECT_FALSE(DcrawSize(file, "Full size:", dw, dh)) << c.name;
      EXPECT_FALSE(Dcraw(file, theirs)) << c.name;
      continue;
    }
    ASSERT_TRUE(DcrawSize(file, "Full size:", dw, dh)) << c.name;
    EXPECT_EQ(dw, c.f.width) << c.name;
    EXPECT_EQ(dh, c.f.height) << c.name;
    ASSERT_TRUE(Dcraw(file, theirs)) << c.name;
    ASSERT_EQ(theirs.width, c.f.width) << c.name;
    ASSERT_EQ(theirs.height, c.f.height) << c.name;
    if (c.dcraw == kSame) EXPECT_EQ(theirs.samples, built.frame) << c.name;
    else EXPECT_NE(theirs.samples, built.frame) << c.name;
  }
}

// ORF files with the Make tag cameras write. Both oracles read the 12-bit
// words layout as this decoder does. Listed disagreements, where this
// decoder keeps its rules: both read the big-endian 12-bit pairs, the
// interlaced rows (their even rows agree), the 16-bit samples and the filler
// pairs to other samples, the same for the two; dcraw reads the adaptive
// coding to other samples too and LibRaw refuses it.
TEST(OrfOracle, LayoutsAgainstDcrawAndLibRaw) {
  if (!HaveTools()) GTEST_SKIP() << "dcraw or unprocessed_raw missing (scripts/deps.sh installs them)";
  using orf_builder::sOrf;
  enum eRead { kSame, kOther, kRefuses };
  struct {
    const char* name;
    sOrf f;
    eRead dcraw, libraw;
  } cases[] = {
      {"12-bit words", [] { sOrf f; f.model = "XZ-2"; return f; }(), kSame, kSame},
      {"12-bit big-endian pairs", {}, kOther, kOther},
      {"12-bit interlaced", [] { sOrf f; f.photometric = 2; return f; }(), kOther, kOther},
      {"16-bit little-endian", [] { sOrf f; f.kind = orf_builder::kPack16; return f; }(), kOther, kOther},
      {"16-bit big-endian", [] { sOrf f; f.kind = orf_builder::kPack16; f.bigEndian = true; return f; }(), kOther,
       kOther},
      // Filler pairs need a width the strips fill: 50.
      {"filler pairs", [] { sOrf f; f.kind = orf_builder::kFiller; f.width = 50; return f; }(), kOther, kOther},
      {"adaptive coding", [] { sOrf f; f.kind = orf_builder::kCoded; return f; }(), kOther, kRefuses},
  };
  for (auto& c : cases) {
    c.f.make = "OLYMPUS IMAGING CORP.  ";
    if (c.f.kind != orf_builder::kFiller) c.f.width = 64;
    c.f.height = 32;
    const auto built = orf_builder::Build(c.f);
    cFrameCatcher catcher;
    std::unique_ptr<cPictBase> d = Probe(built.bytes, nullptr);
    ASSERT_NE(d, nullptr) << c.name;
    ASSERT_TRUE(LoadWith(*d, built.bytes)) << c.name;
    ASSERT_EQ(catcher.frame.samples, built.frame) << c.name;
    cTempFile file(built.bytes, "f.orf");
    int32_t dw = 0, dh = 0;
    ASSERT_TRUE(DcrawSize(file, "Full size:", dw, dh)) << c.name;
    EXPECT_EQ(dw, c.f.width) << c.name;
    EXPECT_EQ(dh, c.f.height) << c.name;
    sPgm theirs[2];
    const bool read[2] = {Dcraw(file, theirs[0]), LibRaw(file, theirs[1])};
    const eRead expected[2] = {c.dcraw, c.libraw};
    for (int k = 0; k < 2; ++k) {
      const char* who = k == 0 ? "dcraw" : "LibRaw";
      if (expected[k] == kRefuses) {
        EXPECT_FALSE(read[k]) << c.name << " " << who;
        continue;
      }
      ASSERT_TRUE(read[k]) << c.name << " " << who;
      ASSERT_EQ(theirs[k].width, c.f.width) << c.name << " " << who;
      ASSERT_EQ(theirs[k].height, c.f.height) << c.name << " " << who;
      if (expected[k] == kSame) EXPECT_EQ(theirs[k].samples, built.frame) << c.name << " " << who;
      if (expected[k] == kOther) EXPECT_NE(theirs[k].samples, built.frame) << c.name << " " << who;
    }
    // Where both read other samples, they read the same ones.
    if (c.dcraw == kOther && c.libraw == kOther) EXPECT_EQ(theirs[0].samples, theirs[1].samples) << c.name;
  }
}

// MRW files with the Make tag and the PRD fields cameras write (image size,
// bit depths, storage method). Both oracles read the 16-bit samples of a
// big-endian file as this decoder does. Listed disagreements, where this
// decoder keeps its rules: both read the samples big-endian whatever the
// embedded TIFF's byte order (this decoder takes that order), and neither
// takes the packed 12-bit file.
TEST(MrwOracle, LayoutsAgainstDcrawAndLibRaw) {
  if (!HaveTools()) GTEST_SKIP() << "dcraw or unprocessed_raw missing (scripts/deps.sh installs them)";
  using mrw_builder::sMrw;
  enum eRead { kSame, kSwapped, kRefuses };
  struct {
    const char* name;
    sMrw f;
    eRead read;
  } cases[] = {
      {"16-bit, big-endian TIFF", {}, kSame},
      {"16-bit, little-endian TIFF", [] { sMrw f; f.tiff = 2; return f; }(), kSwapped},
      {"packed 12-bit", [] { sMrw f; f.packed = true; return f; }(), kRefuses},
  };
  for (auto& c : cases) {
    c.f.camera = true;
    c.f.prdLength = 24;
    c.f.width = 64;
    c.f.height = 32;
    const auto built = mrw_builder::Build(c.f);
    cFrameCatcher catcher;
    std::unique_ptr<cPictBase> d = Probe(built.bytes, nullptr);
    ASSERT_NE(d, nullptr) << c.name;
    ASSERT_TRUE(LoadWith(*d, built.bytes)) << c.name;
    ASSERT_EQ(catcher.frame.samples, built.frame) << c.name;
    cTempFile file(built.bytes, "f.mrw");
    sPgm theirs[2];
    const bool read[2] = {Dcraw(file, theirs[0]), LibRaw(file, theirs[1])};
    for (int k = 0; k < 2; ++k) {
      const char* who = k == 0 ? "dcraw" : "LibRaw";
      if (c.read == kRefuses) {
        EXPECT_FALSE(read[k]) << c.name << " " << who;
        continue;
      }
      ASSERT_TRUE(read[k]) << c.name << " " << who;
      ASSERT_EQ(theirs[k].width, c.f.width) << c.name << " " << who;
      ASSERT_EQ(theirs[k].height, c.f.height) << c.name << " " << who;
      EXPECT_EQ(theirs[k].samples, c.read == kSame ? built.frame : Swapped(built.frame)) << c.name << " " << who;
    }
    if (c.read != kRefuses) {
      int32_t dw = 0, dh = 0;
      ASSERT_TRUE(DcrawSize(file, "Full size:", dw, dh)) << c.name;
      EXPECT_EQ(dw, c.f.width) << c.name;
      EXPECT_EQ(dh, c.f.height) << c.name;
    }
  }
}

// X3F files with the property list cameras write (CAMMANUF, CAMMODEL), which
// dcraw needs to name the camera. dcraw reads formats 30 and 5 to the same
// red, green and blue of every site as this decoder, when the preview's entry
// follows the raw image's, except for one relation: it takes the 16-bit
// result as signed and stores the values from 32768 up as 0, where this
// decoder keeps format 30's 16-bit wrap and format 5's low 16 bits (only
// negative sums stored as 0). Other listed disagreements, where this decoder
// keeps its rules (the raw image is the entry whose image type is not 2,
// wherever it stands): with the preview's
// entry first, or with a preview entry after it giving a larger size, dcraw
// takes the preview's size for the raw image, finds no raw image and
// refuses the file; a raw image of another format (35) gives
// dcraw no raw image either, while this decoder loads the largest preview;
// LibRaw refuses all of these files.
TEST(X3fOracle, FramesAgainstDcrawAndLibRaw) {
  if (!HaveTools()) GTEST_SKIP() << "dcraw or unprocessed_raw missing (scripts/deps.sh installs them)";
  using x3f_builder::sSection;
  const int32_t w = 64, h = 32;
  // Format 30: the planes as given, red, green, blue; values near both ends
  // of the 16-bit range make the running sums wrap.
  const auto format30 = [&](uint32_t seed, std::vector<uint16_t>& rgb) {
    std::mt19937 rng(seed);
    std::vector<std::vector<uint16_t>> planes(3, std::vector<uint16_t>(static_cast<size_t>(w) * h));
    // Each value within 1500 of the one it is predicted from (the coding
    // takes differences below 4096), starting at 0.
    for (auto& p : planes)
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          const int32_t from = x >= 2 ? p[static_cast<size_t>(y) * w + x - 2]
                               : y >= 2 ? p[static_cast<size_t>(y - 2) * w + x] : 0;
          p[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(from + static_cast<int32_t>(rng() % 3001) - 1500);
        }
    std::vector<uint8_t> data(48, 0);
    const auto table = x3f_encoder::Table();
    std::copy(table.begin(), table.end(), data.begin() + 8);
    std::vector<std::vector<uint8_t>> coded;
    for (int p = 0; p < 3; ++p) {
      coded.push_back(x3f_encoder::EncodePlane(planes[p], w, h));
      const uint32_t n = static_cast<uint32_t>(coded.back().size());
      for (int k = 0; k < 4; ++k) data[36 + 4 * p + k] = static_cast<uint8_t>(n >> (8 * k));
    }
    for (const auto& c : coded) {
      data.insert(data.end(), c.begin(), c.end());
      while (data.size() % 16) data.push_back(0);
    }
    rgb.clear();
    for (size_t i = 0; i < planes[0].size(); ++i)
      for (int p = 0; p < 3; ++p) rgb.push_back(planes[p][i]);
    return sSection{3, 30, w, h, data};
  };
  // Format 5: a table of large values of both signs, so rows sum below 0
  // and above 65535.
  const auto format5 = [&](uint32_t seed, std::vector<uint16_t>& rgb) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> data;
    int16_t table[1024];
    for (auto& t : table) {
      t = static_cast<int16_t>(static_cast<int32_t>(rng() % 12001) - 5000);
      data.push_back(static_cast<uint8_t>(t)), data.push_back(static_cast<uint8_t>(t >> 8));
    }
    rgb.clear();
    for (int32_t y = 0; y < h; ++y) {
      int32_t sums[3] = {0, 0, 0};
      for (int32_t x = 0; x < w; ++x) {
        uint32_t word = 0;
        for (int k = 0; k < 3; ++k) {
          const uint32_t index = rng() % 1024;
          word |= index << (10 * k);
          sums[k] += table[index];
        }
        x3f_builder::L32(data, word);
        for (int k = 2; k >= 0; --k) rgb.push_back(sums[k] < 0 ? 0 : static_cast<uint16_t>(sums[k]));
      }
    }
    return sSection{3, 5, w, h, data};
  };
  const std::string jpeg = twtest::ReadFileText(twtest::SourcePath("tests/picture/raw/data/preview_48x32.jpg"));
  const sSection preview{2, 18, 48, 32, std::vector<uint8_t>(jpeg.begin(), jpeg.end())};
  struct sCase {
    const char* name;
    const char* model;
    sSection raw;
    std::vector<uint16_t> rgb;  // empty: the preview loads
    bool previewFirst = false;
    uint32_t previewWidth = 48, previewHeight = 32;  // the preview's image header
  };
  std::vector<sCase> cases;
  uint32_t seed = 5;
  for (const char* model : {"SIGMA SD10", "SIGMA SD14"}) {
    sCase c{"format 30", model, {}, {}};
    c.raw = format30(seed++, c.rgb);
    cases.push_back(c);
    sCase d{"format 5", model, {}, {}};
    d.raw = format5(seed++, d.rgb);
    cases.push_back(d);
  }
  sCase first{"format 30, preview first", "SIGMA SD10", {}, {}, true};
  first.raw = format30(seed++, first.rgb);
  cases.push_back(first);
  // A preview whose header gives a larger size than the raw image's.
  sCase larger{"format 30, larger preview last", "SIGMA SD10", {}, {}, false, 80, 40};
  larger.raw = format30(seed++, larger.rgb);
  cases.push_back(larger);
  cases.push_back({"format 35", "SIGMA SD10", sSection{3, 35, w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 6, 0)}, {}});
  for (const auto& c : cases) {
    const std::string name = std::string(c.name) + " " + c.model;
    sSection p = preview;
    p.columns = c.previewWidth, p.rows = c.previewHeight;
    const auto bytes = x3f_builder::Build(c.previewFirst ? std::vector<sSection>{p, c.raw} : std::vector<sSection>{c.raw, p},
                                          32, {{"CAMMANUF", "SIGMA"}, {"CAMMODEL", c.model}});
    twtest::DumpRawFixture("x3f", "oracle " + name, bytes);
    cFrameCatcher catcher;
    std::unique_ptr<cPictBase> d = Probe(bytes, nullptr);
    ASSERT_NE(d, nullptr) << name;
    ASSERT_TRUE(LoadWith(*d, bytes)) << name;
    cTempFile file(bytes, "f.x3f");
    sPgm theirs;
    const bool read = DcrawRgb(file, theirs);
    sPgm libraw;
    EXPECT_FALSE(LibRaw(file, libraw)) << name;
    const std::string info = DcrawInfo(file);
    EXPECT_NE(info.find(std::string("Camera: Sigma ") + (c.model + 6)), std::string::npos) << name << "\n" << info;
    if (c.rgb.empty()) {
      EXPECT_TRUE(catcher.frame.samples.empty()) << name;
      EXPECT_EQ(d->GetWidth(), 48) << name;
      EXPECT_EQ(d->GetHeight(), 32) << name;
      EXPECT_NE(info.find("Number of raw images: 0"), std::string::npos) << name;
      EXPECT_FALSE(read) << name;
      continue;
    }
    ASSERT_EQ(catcher.frame.width, 3 * w) << name;
    ASSERT_EQ(catcher.frame.height, h) << name;
    EXPECT_EQ(catcher.frame.samples, c.rgb) << name;
    int32_t dw = 0, dh = 0;
    ASSERT_TRUE(DcrawSize(file, "Full size:", dw, dh)) << name;
    if (c.previewFirst || c.previewWidth > static_cast<uint32_t>(w)) {
      EXPECT_EQ(dw, static_cast<int32_t>(c.previewWidth)) << name;
      EXPECT_EQ(dh, static_cast<int32_t>(c.previewHeight)) << name;
      EXPECT_NE(info.find("Number of raw images: 0"), std::string::npos) << name;
      EXPECT_FALSE(read) << name;
      continue;
    }
    EXPECT_EQ(dw, w) << name;
    EXPECT_EQ(dh, h) << name;
    ASSERT_TRUE(read) << name;
    ASSERT_EQ(theirs.width, w) << name;
    ASSERT_EQ(theirs.height, h) << name;
    std::vector<uint16_t> signedClamped = c.rgb;
    for (auto& v : signedClamped) v = v >= 0x8000 ? 0 : v;
    EXPECT_NE(signedClamped, c.rgb) << name << ": no value from 32768 up";
    EXPECT_EQ(theirs.samples, signedClamped) << name;
  }
}

}  // namespace
