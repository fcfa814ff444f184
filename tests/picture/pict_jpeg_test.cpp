// The JPEG parser, entropy decoder, sample output, lossless decoding and the
// picture object on files written by hand (tests/picture/jpeg_writer.h):
// marker edge cases and refusals, the colour guess, byte stuffing, restarts,
// the end-of-data check, end-of-band runs, the IDCT and colour formulas,
// lossless round trips and the camera raster layouts, canvas streaming and
// reuse of one object for pictures of different sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/jpeg_raw_lossless.h"
#include "picture/pict_factory.h"
#include "picture/pict_jpeg.h"
#include "tests/picture/jpeg_writer.h"

using namespace twtest;

namespace {

std::vector<uint8_t> Soi() { return {0xFF, 0xD8}; }
void Eoi(std::vector<uint8_t>& f) { Append(f, {0xFF, 0xD9}); }

// DQT of table 0 with every entry v (8-bit).
void Quant(std::vector<uint8_t>& f, int v, int dcValue = -1) {
  std::vector<uint8_t> b{0x00};
  for (int i = 0; i < 64; ++i) b.push_back(static_cast<uint8_t>(i == 0 && dcValue >= 0 ? dcValue : v));
  Segment(f, 0xDB, b);
}

void FlatTables(std::vector<uint8_t>& f) {
  std::vector<uint8_t> b = FlatTable(0x00, 17);
  const std::vector<uint8_t> ac = FlatTable(0x10, 255);
  b.insert(b.end(), ac.begin(), ac.end());
  Segment(f, 0xC4, b);
}

// A grey baseline file of w x h with the given entropy data.
std::vector<uint8_t> GreyFile(int w, int h, const std::vector<uint8_t>& data, int restart = 0, int quant = 1,
                              int dcQuant = -1, int sampling = 0x11) {
  std::vector<uint8_t> f = Soi();
  Quant(f, quant, dcQuant);
  Segment(f, 0xC0, FrameBody(8, w, h, {{1, sampling, 0}}));
  FlatTables(f);
  if (restart > 0) Segment(f, 0xDD, {static_cast<uint8_t>(restart >> 8), static_cast<uint8_t>(restart)});
  Segment(f, 0xDA, ScanBody({{1, 0x00}}, 0, 63, 0));
  f.insert(f.end(), data.begin(), data.end());
  Eoi(f);
  return f;
}

bool Parse(cJPEGParser& p, const std::vector<uint8_t>& f) {
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  return p.ParseMarkers(&io);
}

bool LoadJpeg(cPictJPEG& j, const std::vector<uint8_t>& f) {
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  return j.Load(&io);
}

// Top-down pixel access into the bottom-up buffer.
uint32_t Pixel(cPictJPEG& j, int x, int y) {
  return j.Pixels32().data[static_cast<size_t>(j.GetHeight() - 1 - y) * j.GetWidth() + x];
}

// Records the errors reported and the coefficient 1 of every emitted block.
class cRecorder : public cJPEGParser {
public:
  bool OnMcu(int32_t column, int32_t row, sJpegBlock* const* blocks, int32_t count) override {
    for (int32_t i = 0; i < count; ++i) coef1.push_back(blocks[i]->coef[1]);
    (void)column;
    (void)row;
    return true;
  }
  void OnError(uint64_t, int32_t code) override { errors.push_back(code); }
  std::vector<int32_t> errors;
  std::vector<int16_t> coef1;
};

TEST(JpegParser, MarkerSequences) {
  const std::vector<uint8_t> sof = [] {
    std::vector<uint8_t> s;
    Segment(s, 0xC0, FrameBody(8, 8, 8, {{1, 0x11, 0}}));
    return s;
  }();
  auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const std::vector<uint8_t> eoi{0xFF, 0xD9};
  struct sCase {
    const char* what;
    std::vector<uint8_t> file;
    bool result, frame;
  } cases[] = {
      {"SOI EOI only", {0xFF, 0xD8, 0xFF, 0xD9}, true, false},
      {"fill bytes before SOF", join({Soi(), {0xFF, 0xFF}, sof, eoi}), true, true},
      {"no SOI", {0xFF, 0xD9}, false, false},
      {"byte other than FF where a marker is due", join({Soi(), {0x00, 0xD9}}), false, false},
      {"second frame header", join({Soi(), sof, sof, eoi}), false, true},
      {"JPEG-LS frame", join({Soi(), {0xFF, 0xF7, 0x00, 0x02}, eoi}), false, false},
      {"SOS before the frame", join({Soi(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00}, eoi}), false,
       false},
      {"generic segment skipped", join({Soi(), {0xFF, 0xE5, 0x00, 0x04, 0x12, 0x34}, sof, eoi}), true, true},
      {"generic segment length below 2", join({Soi(), {0xFF, 0xE5, 0x00, 0x01}, eoi}), false, false},
      {"short segment", join({Soi(), {0xFF, 0xE5, 0x00, 0x09, 0x12}}), false, false},
      {"SOF with sampling 0", join({Soi(), {0xFF, 0xC0, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x01, 0}, eoi}), false, false},
      {"SOF with quantisation table 4",
       join({Soi(), {0xFF, 0xC0, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 4}, eoi}), false, false},
      {"SOF length not 8 + 3 Nf", join({Soi(), {0xFF, 0xC0, 0, 12, 8, 0, 8, 0, 8, 1, 1, 0x11, 0, 0}, eoi}), false,
       false},
      {"SOF width 0", join({Soi(), {0xFF, 0xC0, 0, 11, 8, 0, 8, 0, 0, 1, 1, 0x11, 0}, eoi}), false, false},
      {"DRI length not 4", join({Soi(), {0xFF, 0xDD, 0x00, 0x05, 0, 1, 0}, eoi}), false, false},
  };
  for (const sCase& c : cases) {
    cJPEGParser p;
    EXPECT_EQ(Parse(p, c.file), c.result) << c.what;
    EXPECT_EQ(p.FrameSeen(), c.frame) << c.what;
  }
}

TEST(JpegParser, QuantisationAndHuffmanSegments) {
  {
    // Ten entries of table 0: the other 54 stay 1.
    std::vector<uint8_t> f = Soi();
    Segment(f, 0xDB, {0x00, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    Eoi(f);
    cJPEGParser p;
    ASSERT_TRUE(Parse(p, f));
    const uint8_t zigzag[10] = {0, 1, 8, 16, 9, 2, 3, 10, 17, 24};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(p.quantTables_[0][zigzag[i]], i + 2);
    int ones = 0;
    for (int i = 0; i < 64; ++i) ones += p.quantTables_[0][i] == 1;
    EXPECT_EQ(ones, 54);
  }
  {
    // 16-bit entries, table 3; table number 4 fails.
    std::vector<uint8_t> f = Soi();
    std::vector<uint8_t> b{0x13};
    for (int i = 0; i < 64; ++i) Append(b, {0x01, i});
    Segment(f, 0xDB, b);
    Eoi(f);
    cJPEGParser p;
    ASSERT_TRUE(Parse(p, f));
    EXPECT_EQ(p.quantTables_[3][63], 0x100 + 63);
    f = Soi();
    Segment(f, 0xDB, {0x04, 1, 2, 3});
    Eoi(f);
    EXPECT_FALSE(Parse(p, f));
  }
  struct sCase {
    const char* what;
    std::vector<uint8_t> body;
    bool ok;
  } cases[] = {
      {"flat DC table", FlatTable(0x00, 12), true},
      {"AC table 3", FlatTable(0x13, 200), true},
      {"table number 4", FlatTable(0x04, 2), false},
      {"counts total 257", [] {
         std::vector<uint8_t> b{0x10};
         for (int l = 1; l <= 16; ++l) b.push_back(l == 9 ? 255 : (l == 10 ? 2 : 0));
         b.resize(b.size() + 257, 1);
         return b;
       }(),
       false},
      {"three stray bytes", [] {
         std::vector<uint8_t> b = FlatTable(0x00, 4);
         Append(b, {1, 2, 3});
         return b;
       }(),
       false},
      {"more symbols than bytes", [] {
         std::vector<uint8_t> b = FlatTable(0x00, 10);
         b.resize(b.size() - 3);
         return b;
       }(),
       false},
  };
  for (const sCase& c : cases) {
    std::vector<uint8_t> f = Soi();
    Segment(f, 0xC4, c.body);
    Eoi(f);
    cJPEGParser p;
    EXPECT_EQ(Parse(p, f), c.ok) << c.what;
  }
}

TEST(JpegParser, ScanHeaderRefusals) {
  struct sCase {
    const char* what;
    int sofMarker;
    std::vector<uint8_t> scan;
  } cases[] = {
      {"no components, progressive frame", 0xC2, {0x00, 0x00, 0x00, 0x00}},
      {"no components, baseline frame", 0xC0, {0x00, 0x00, 0x00, 0x00}},
      {"DC table 4", 0xC0, ScanBody({{1, 0x40}}, 0, 63, 0)},
      {"AC table 5", 0xC0, ScanBody({{1, 0x05}}, 0, 63, 0)},
      {"unknown component", 0xC0, ScanBody({{9, 0x00}}, 0, 63, 0)},
      {"component named twice", 0xC2, ScanBody({{1, 0x00}, {1, 0x00}}, 0, 0, 0)},
      {"progressive AC band of two components", 0xC2, ScanBody({{1, 0x00}, {2, 0x00}}, 1, 5, 0)},
      {"progressive Se below Ss", 0xC2, ScanBody({{1, 0x00}}, 5, 4, 0)},
      {"progressive refinement skipping a bit", 0xC2, ScanBody({{1, 0x00}}, 0, 0, 0x31)},
      {"extended frame with Se 7", 0xC1, ScanBody({{1, 0x00}}, 0, 7, 0)},
  };
  for (const sCase& c : cases) {
    std::vector<uint8_t> f = Soi();
    Segment(f, c.sofMarker, FrameBody(8, 16, 16, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}}));
    Segment(f, 0xDA, c.scan);
    Append(f, {0x00, 0x00});
    Eoi(f);
    cJPEGParser p;
    EXPECT_FALSE(Parse(p, f)) << c.what;
  }
}

TEST(JpegParser, ColourGuessFollowsTheFrame) {
  struct sCase {
    const char* what;
    int precision;
    std::vector<int> ids;
    int app;  // 0 none, 1 JFIF, 2 Adobe transform 0, 3 Adobe transform 2, 4 COM "Adobe" transform 1
    int firstScanComponents;
    int expected;
  } cases[] = {
      {"grey", 8, {1}, 0, 1, kJpegColourGrey},
      {"ids 1 2 3", 8, {1, 2, 3}, 0, 3, kJpegColourYCbCr},
      {"ids R G B", 8, {'R', 'G', 'B'}, 0, 3, kJpegColourRGB},
      {"ids R G B, first scan one component", 8, {'R', 'G', 'B'}, 0, 1, kJpegColourRGB},
      {"JFIF wins over R G B", 8, {'R', 'G', 'B'}, 1, 3, kJpegColourYCbCr},
      {"Adobe transform 0", 8, {1, 2, 3}, 2, 3, kJpegColourRGB},
      {"Adobe transform 0, first scan one component", 8, {1, 2, 3}, 2, 1, kJpegColourRGB},
      {"other ids, 8 bits", 8, {7, 8, 9}, 0, 3, kJpegColourYCbCr},
      {"other ids, 12 bits", 12, {7, 8, 9}, 0, 3, kJpegColourRGB},
      {"1 first with other ids", 8, {1, 5, 6}, 0, 3, kJpegColourYCbCr},
      {"four components", 8, {1, 2, 3, 4}, 0, 4, kJpegColourCMYK},
      {"four components, first scan one", 8, {1, 2, 3, 4}, 3, 1, kJpegColourYCCK},
      {"four components, Adobe in a COM segment", 8, {1, 2, 3, 4}, 4, 4, kJpegColourYCCK},
      {"four components, Adobe transform 0", 8, {1, 2, 3, 4}, 2, 4, kJpegColourCMYK},
      {"two components", 8, {1, 2}, 0, 2, kJpegColourNone},
  };
  for (const sCase& c : cases) {
    std::vector<uint8_t> f = Soi();
    if (c.app == 1) Segment(f, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    if (c.app >= 2) {
      std::vector<uint8_t> adobe{'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0,
                                 static_cast<uint8_t>(c.app == 2 ? 0 : c.app == 3 ? 2 : 1)};
      Segment(f, c.app == 4 ? 0xFE : 0xEE, adobe);
    }
    std::vector<uint8_t> sof{static_cast<uint8_t>(c.precision), 0, 8, 0, 8, static_cast<uint8_t>(c.ids.size())};
    for (int id : c.ids) Append(sof, {id, 0x11, 0});
    Segment(f, 0xC1, sof);
    FlatTables(f);
    std::vector<uint8_t> scan{static_cast<uint8_t>(c.firstScanComponents)};
    for (int i = 0; i < c.firstScanComponents; ++i) Append(scan, {c.ids[i], 0x00});
    Append(scan, {0, 63, 0});
    Segment(f, 0xDA, scan);
    cJpegBits bits;
    for (int i = 0; i < c.firstScanComponents; ++i) PutBlock(bits, 0, {});
    const std::vector<uint8_t> data = bits.Finish();
    f.insert(f.end(), data.begin(), data.end());
    Eoi(f);
    cJPEGParser p;
    Parse(p, f);
    EXPECT_EQ(p.ColourCode(), c.expected) << c.what;
  }
}

// Entropy data of one grey block whose DC is 255 (samples 160): the byte
// 0xFF of the value must be stuffed, and fill bytes before the 0x00 are
// allowed.
TEST(JpegEntropy, ByteStuffingAndTruncation) {
  const std::vector<uint8_t> stuffed{0x08, 0xFF, 0x00, 0x00};
  const std::vector<uint8_t> filled{0x08, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
  for (const auto& data : {stuffed, filled}) {
    cPictJPEG j;
    ASSERT_TRUE(LoadJpeg(j, GreyFile(8, 8, data)));
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) ASSERT_EQ(Pixel(j, x, y), 0xFFA0A0A0u);
  }
  // The data ends at EOI before the block is complete: the missing bits are
  // not taken as zeros.
  cPictJPEG j;
  EXPECT_FALSE(LoadJpeg(j, GreyFile(8, 8, {0x08})));
  EXPECT_FALSE(LoadJpeg(j, GreyFile(8, 8, {0x08, 0xFF, 0x00})));
}

TEST(JpegEntropy, EndOfDataCheck) {
  struct sCase {
    const char* what;
    int tail, tailBits;
    bool ones;
    bool ok;
  } cases[] = {
      {"nothing left", 0, 0, true, true},
      {"111 left", 7, 3, true, true},
      {"000 left", 0, 3, false, true},
      {"101 left", 5, 3, true, false},
      {"two bytes left", 0, 16, true, false},
  };
  for (const sCase& c : cases) {
    cJpegBits bits;
    PutBlock(bits, 0, {});
    if (c.tailBits > 0) bits.Put(static_cast<uint32_t>(c.tail), c.tailBits);
    cRecorder p;
    EXPECT_EQ(Parse(p, GreyFile(8, 8, bits.Finish(c.ones))), c.ok) << c.what;
    if (!c.ok) {
      ASSERT_FALSE(p.errors.empty()) << c.what;
      EXPECT_EQ(p.errors.back(), kJpegErrUnclean) << c.what;
    }
  }
}

TEST(JpegEntropy, RestartMarkersMustCountFromZero) {
  // Four blocks, a restart after each; markers as listed between them.
  auto file = [](std::vector<int> markers) {
    std::vector<uint8_t> data;
    for (size_t i = 0; i < 4; ++i) {
      cJpegBits bits;
      PutBlock(bits, i == 0 ? 8 * 20 : 0, {});
      const std::vector<uint8_t> b = bits.Finish();
      data.insert(data.end(), b.begin(), b.end());
      if (i < markers.size() && markers[i] >= 0) Append(data, {0xFF, markers[i]});
    }
    return GreyFile(32, 8, data, 1);
  };
  cPictJPEG j;
  ASSERT_TRUE(LoadJpeg(j, file({0xD0, 0xD1, 0xD2})));
  // The DC predictor restarts at 0 after each marker.
  EXPECT_EQ(Pixel(j, 0, 0), 0xFF949494u);
  EXPECT_EQ(Pixel(j, 8, 0), 0xFF808080u);
  EXPECT_FALSE(LoadJpeg(j, file({0xD1, 0xD2, 0xD3})));
  EXPECT_FALSE(LoadJpeg(j, file({0xD0, 0xD0, 0xD1})));
  EXPECT_FALSE(LoadJpeg(j, file({0xD0, -1, 0xD1})));
}

TEST(JpegEntropy, EndOfBandRunSkipsBlocks) {
  // A progressive grey picture of 1024 x 1032 (128 x 129 blocks): DC first,
  // then one AC first scan where block 0 holds 100 at position 1 and starts
  // a run of 2^14 + 5 blocks (r = 14, bits 5); block 16389 holds 100 again,
  // and a last run covers the remaining 122 blocks.
  const int blocks = 128 * 129;
  std::vector<uint8_t> f = Soi();
  Quant(f, 1);
  Segment(f, 0xC2, FrameBody(8, 1024, 1032, {{1, 0x11, 0}}));
  FlatTables(f);
  Segment(f, 0xDA, ScanBody({{1, 0x00}}, 0, 0, 0));
  {
    cJpegBits bits;
    for (int i = 0; i < blocks; ++i) bits.Put(0, 8);
    const std::vector<uint8_t> d = bits.Finish();
    f.insert(f.end(), d.begin(), d.end());
  }
  Segment(f, 0xDA, ScanBody({{1, 0x00}}, 1, 63, 0));
  {
    cJpegBits bits;
    bits.Put(0x07, 8);  // r 0, s 7
    bits.PutValue(100, 7);
    bits.Put(0xE0, 8);  // EOBRUN, r 14
    bits.Put(5, 14);
    bits.Put(0x07, 8);
    bits.PutValue(100, 7);
    bits.Put(0x00, 8);  // end of this block
    const int rest = blocks - 16390;
    ASSERT_EQ(rest, 122);
    bits.Put(0x60, 8);  // EOBRUN, r 6: 64 + 58
    bits.Put(58, 6);
    const std::vector<uint8_t> d = bits.Finish();
    f.insert(f.end(), d.begin(), d.end());
  }
  Eoi(f);
  cRecorder p;
  ASSERT_TRUE(Parse(p, f));
  ASSERT_EQ(p.coef1.size(), static_cast<size_t>(blocks));
  for (int i = 0; i < blocks; ++i) EXPECT_EQ(p.coef1[static_cast<size_t>(i)], i == 0 || i == 16389 ? 100 : 0) << i;
}

TEST(JpegOutput, IdctAndSamplingEdgeCases) {
  // DC 8 with multiplier 16: 128 + 16 everywhere.
  cJpegBits bits;
  PutBlock(bits, 8, {});
  cPictJPEG j;
  ASSERT_TRUE(LoadJpeg(j, GreyFile(8, 8, bits.Finish(), 0, 1, 16)));
  EXPECT_EQ(Pixel(j, 3, 5), 0xFF909090u);

  // 3 x 1 luma against 2 x 1 chroma cannot be replicated by whole factors.
  std::vector<uint8_t> f = Soi();
  Quant(f, 1);
  Segment(f, 0xC0, FrameBody(8, 24, 8, {{1, 0x31, 0}, {2, 0x21, 0}, {3, 0x21, 0}}));
  FlatTables(f);
  Segment(f, 0xDA, ScanBody({{1, 0x00}, {2, 0x00}, {3, 0x00}}, 0, 63, 0));
  cJpegBits b7;
  for (int i = 0; i < 7; ++i) PutBlock(b7, 0, {});
  const std::vector<uint8_t> d = b7.Finish();
  f.insert(f.end(), d.begin(), d.end());
  Eoi(f);
  cRecorder r;
  EXPECT_TRUE(Parse(r, f));  // the parser alone emits the MCU
  EXPECT_FALSE(LoadJpeg(j, f));
}

TEST(JpegOutput, RowWriterFormulas) {
  cJPEGParser p;
  p.precision_ = 8;
  p.BuildRangeLimit();
  p.components_.Allocate(4);
  uint32_t out[2];
  struct sCase {
    int colour;
    uint8_t c[4][2];
    uint32_t expected[2];
  } cases[] = {
      // Y 255, Cb 128, Cr 255: R clamped to 255, B 255, G 255 - 91.
      {kJpegColourYCbCr, {{255, 0}, {128, 128}, {255, 128}, {0, 0}}, {0xFFFFA4FFu, 0xFF000000u}},
      {kJpegColourCMYK, {{255, 0}, {0, 0}, {128, 0}, {255, 0}}, {0xFFFF0080u, 0xFF000000u}},
      {kJpegColourCMYK, {{255, 255}, {255, 51}, {255, 17}, {0, 255}}, {0xFF000000u, 0xFFFF3311u}},
      {kJpegColourYCCK, {{255, 0}, {128, 128}, {128, 128}, {255, 255}}, {0xFF000000u, 0xFFFFFFFFu}},
      {kJpegColourRGB, {{1, 4}, {2, 5}, {3, 6}, {0, 0}}, {0xFF010203u, 0xFF040506u}},
      {kJpegColourGrey, {{7, 200}, {0, 0}, {0, 0}, {0, 0}}, {0xFF070707u, 0xFFC8C8C8u}},
  };
  for (const sCase& c : cases) {
    p.colourCode_ = c.colour;
    const uint8_t* rows[4] = {c.c[0], c.c[1], c.c[2], c.c[3]};
    ASSERT_TRUE(p.WriteRow(rows, out, 2, 0)) << c.colour;
    EXPECT_EQ(out[0], c.expected[0]) << c.colour;
    EXPECT_EQ(out[1], c.expected[1]) << c.colour;
  }
  p.colourCode_ = kJpegColourNone;
  const uint8_t* none[4] = {cases[0].c[0], cases[0].c[1], cases[0].c[2], cases[0].c[3]};
  EXPECT_FALSE(p.WriteRow(none, out, 2, 0));

  // 16-bit: a 9-bit YCbCr white spans the full range; 12-bit grey and RGB
  // keep their values.
  uint64_t wide[1];
  p.precision_ = 9;
  p.colourCode_ = kJpegColourYCbCr;
  const uint16_t y9[1] = {511}, c9[1] = {256};
  const uint16_t* rows9[3] = {y9, c9, c9};
  ASSERT_TRUE(p.WriteRow16(rows9, wide, 1));
  EXPECT_EQ(wide[0], 0xFFFFFF00FF00FF00ull);
  p.precision_ = 12;
  p.colourCode_ = kJpegColourGrey;
  const uint16_t g12[1] = {4095};
  const uint16_t* rows12[1] = {g12};
  ASSERT_TRUE(p.WriteRow16(rows12, wide, 1));
  EXPECT_EQ(wide[0], 0xFFFF0FFF0FFF0FFFull);
  p.colourCode_ = kJpegColourCMYK;
  EXPECT_FALSE(p.WriteRow16(rows12, wide, 1));
}

// ---- Lossless ----

struct sLosslessComp {
  int h = 1, v = 1;
};

// A lossless file coded with predictor 1 as the decoder expects it: per MCU
// row the components' samples in decode order (mcus * h * v each).
// samples[c][row] holds those of component c in MCU row `row`.
std::vector<uint8_t> LosslessFile(int precision, int width, int height, const std::vector<sLosslessComp>& comps,
                                  const std::vector<std::vector<std::vector<uint16_t>>>& samples, int restart = 0,
                                  int ids0 = 1, int ss = 1, int al = 0) {
  int maxH = 1, maxV = 1;
  for (const auto& c : comps) {
    if (c.h > maxH) maxH = c.h;
    if (c.v > maxV) maxV = c.v;
  }
  std::vector<uint8_t> f = Soi();
  std::vector<uint8_t> sof{static_cast<uint8_t>(precision), static_cast<uint8_t>(height >> 8),
                           static_cast<uint8_t>(height), static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
                           static_cast<uint8_t>(comps.size())};
  for (size_t i = 0; i < comps.size(); ++i) Append(sof, {ids0 + static_cast<int>(i), comps[i].h << 4 | comps[i].v, 0});
  Segment(f, 0xC3, sof);
  Segment(f, 0xC4, FlatTable(0x00, 17));
  if (restart > 0) Segment(f, 0xDD, {static_cast<uint8_t>(restart >> 8), static_cast<uint8_t>(restart)});
  std::vector<uint8_t> scan{static_cast<uint8_t>(comps.size())};
  for (size_t i = 0; i < comps.size(); ++i) Append(scan, {ids0 + static_cast<int>(i), 0x00});
  Append(scan, {ss, 0, al});
  Segment(f, 0xDA, scan);
  const int mcus = width / maxH;
  const int start = 1 << (precision - 1);
  std::vector<int> pred(comps.size()), rowStart(comps.size(), start);
  cJpegBits bits;
  int mcuCount = 0, restartNo = 0;
  for (int row = 0; row * maxV < height; ++row) {
    for (size_t c = 0; c < comps.size(); ++c) pred[c] = rowStart[c];
    for (int m = 0; m < mcus; ++m) {
      if (restart > 0 && mcuCount > 0 && mcuCount % restart == 0) {
        std::vector<uint8_t> d = bits.Finish();
        f.insert(f.end(), d.begin(), d.end());
        Append(f, {0xFF, 0xD0 + (restartNo++ & 7)});
        bits = cJpegBits();
        for (size_t c = 0; c < comps.size(); ++c) pred[c] = start;
      }
      for (size_t c = 0; c < comps.size(); ++c) {
        const int n = comps[c].h * comps[c].v;
        for (int k = 0; k < n; ++k) {
          const int sample = samples[c][static_cast<size_t>(row)][static_cast<size_t>(m * n + k)];
          int diff = (sample - pred[c]) & 0xFFFF;
          if (diff >= 32768) diff -= 65536;
          if (diff == -32768) diff = 32768;
          if (diff == 32768) {
            bits.Put(16, 8);
          } else {
            const int s = Category(diff);
            bits.Put(static_cast<uint32_t>(s), 8);
            bits.PutValue(diff, s);
          }
          pred[c] = sample;
          if (m == 0 && k == 0) rowStart[c] = sample;
        }
      }
      ++mcuCount;
    }
  }
  std::vector<uint8_t> d = bits.Finish();
  f.insert(f.end(), d.begin(), d.end());
  Eoi(f);
  return f;
}

// Random samples of the given precision for each component and MCU row.
std::vector<std::vector<std::vector<uint16_t>>> RandomSamples(int precision, int width, int height,
                                                              const std::vector<sLosslessComp>& comps, uint32_t seed) {
  int maxH = 1, maxV = 1;
  for (const auto& c : comps) {
    if (c.h > maxH) maxH = c.h;
    if (c.v > maxV) maxV = c.v;
  }
  std::vector<std::vector<std::vector<uint16_t>>> s(comps.size());
  uint32_t x = seed * 2654435761u + 1;
  for (size_t c = 0; c < comps.size(); ++c) {
    for (int row = 0; row * maxV < height; ++row) {
      std::vector<uint16_t> r;
      for (int i = 0; i < width / maxH * comps[c].h * comps[c].v; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        // Mostly smooth, with jumps, so that every category occurs.
        r.push_back(static_cast<uint16_t>((i % 7 == 0 ? x : (i * 37 + row * 11 + (x & 3))) & ((1u << precision) - 1)));
      }
      s[c].push_back(r);
    }
  }
  return s;
}

TEST(JpegLossless, PlainRasterRoundTrips) {
  const int widths[] = {1, 5, 16};
  for (int precision : {2, 5, 8, 12, 16}) {
    for (int nc : {1, 2, 4}) {
      for (int restart : {0, 1, 3}) {
        for (int w : widths) {
          const int h = 3;
          std::vector<sLosslessComp> comps(static_cast<size_t>(nc));
          const auto samples = RandomSamples(precision, w, h, comps, static_cast<uint32_t>(precision * 100 + nc * 10 + w));
          const std::vector<uint8_t> f = LosslessFile(precision, w, h, comps, samples, restart);
          cRAWLosslessJpeg raw;
          raw.SetRasterSize(static_cast<uint32_t>(w * nc), static_cast<uint32_t>(h));
          cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
          const std::string what = "precision " + std::to_string(precision) + " components " + std::to_string(nc) +
                                   " restart " + std::to_string(restart) + " width " + std::to_string(w);
          ASSERT_TRUE(raw.Decode(&io)) << what;
          _typebuf<uint16_t> out;
          ASSERT_TRUE(raw.TakeOutput(out)) << what;
          ASSERT_EQ(out.count, w * nc * h) << what;
          // With four components row y lands at 4 / (raster width / width) * y.
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
              for (int c = 0; c < nc; ++c) {
                const int ry = nc == 4 ? y * (4 / nc) : y;
                ASSERT_EQ(out.data[(ry * w + x) * nc + c], samples[static_cast<size_t>(c)][static_cast<size_t>(y)][static_cast<size_t>(x)])
                    << what << " at " << x << "," << y << " c" << c;
              }
        }
      }
    }
  }
}

TEST(JpegLossless, PictureRowsAndRefusals) {
  // A 6-bit grey picture gives bytes 0..63; a 12-bit three-component one
  // (identifiers other than 1, 2, 3: RGB) 64-bit pixels.
  {
    std::vector<sLosslessComp> comps(1);
    const auto s = RandomSamples(6, 9, 4, comps, 3);
    cPictJPEG j;
    ASSERT_TRUE(LoadJpeg(j, LosslessFile(6, 9, 4, comps, s)));
    ASSERT_FALSE(j.IsHighDepth());
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 9; ++x) ASSERT_EQ(Pixel(j, x, y), 0xFF000000u | s[0][static_cast<size_t>(y)][static_cast<size_t>(x)] * 0x010101u);
  }
  {
    std::vector<sLosslessComp> comps(3);
    const auto s = RandomSamples(12, 7, 3, comps, 4);
    cPictJPEG j;
    ASSERT_TRUE(LoadJpeg(j, LosslessFile(12, 7, 3, comps, s, 2, 'R')));
    ASSERT_TRUE(j.IsHighDepth());
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 7; ++x) {
        const uint64_t p = j.Pixels64().data[static_cast<size_t>(2 - y) * 7 + x];
        ASSERT_EQ(p >> 32 & 0xFFFF, s[0][static_cast<size_t>(y)][static_cast<size_t>(x)]);
        ASSERT_EQ(p >> 16 & 0xFFFF, s[1][static_cast<size_t>(y)][static_cast<size_t>(x)]);
        ASSERT_EQ(p & 0xFFFF, s[2][static_cast<size_t>(y)][static_cast<size_t>(x)]);
      }
    }
  }
  // Predictors other than 1, a point transform and subsampling would come
  // out wrong in a picture: refused.
  std::vector<sLosslessComp> one(1);
  const auto s1 = RandomSamples(8, 8, 2, one, 5);
  cPictJPEG j;
  EXPECT_FALSE(LoadJpeg(j, LosslessFile(8, 8, 2, one, s1, 0, 1, 2, 0)));
  EXPECT_FALSE(LoadJpeg(j, LosslessFile(8, 8, 2, one, s1, 0, 1, 1, 1)));
  std::vector<sLosslessComp> sub{{2, 1}, {1, 1}, {1, 1}};
  EXPECT_FALSE(LoadJpeg(j, LosslessFile(8, 8, 2, sub, RandomSamples(8, 8, 2, sub, 6))));
}

TEST(JpegLossless, CategorySixteenAddsHalfTheRange) {
  std::vector<uint8_t> f = Soi();
  Segment(f, 0xC3, FrameBody(16, 2, 1, {{1, 0x11, 0}}));
  Segment(f, 0xC4, FlatTable(0x00, 17));
  Segment(f, 0xDA, ScanBody({{1, 0x00}}, 1, 0, 0));
  cJpegBits bits;
  bits.Put(16, 8);  // 32768 + 32768 wraps to 0
  bits.Put(16, 8);  // 0 + 32768
  const std::vector<uint8_t> d = bits.Finish();
  f.insert(f.end(), d.begin(), d.end());
  Eoi(f);
  cRAWLosslessJpeg raw;
  raw.SetRasterSize(2, 1);
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  ASSERT_TRUE(raw.Decode(&io));
  _typebuf<uint16_t> out;
  ASSERT_TRUE(raw.TakeOutput(out));
  EXPECT_EQ(out.data[0], 0);
  EXPECT_EQ(out.data[1], 32768);
}

TEST(JpegLossless, CameraLayouts) {
  // Two slices of 4 columns and a last slice of 6 over a 14 x 3 raster,
  // filled from a 2-component frame 7 samples wide (14 values a row).
  {
    std::vector<sLosslessComp> comps(2);
    const auto s = RandomSamples(12, 7, 3, comps, 9);
    const std::vector<uint8_t> f = LosslessFile(12, 7, 3, comps, s);
    cRAWLosslessJpeg raw;
    raw.SetSliceLayout(14, 3, 2, 4, 6);
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    ASSERT_TRUE(raw.Decode(&io));
    _typebuf<uint16_t> out;
    ASSERT_TRUE(raw.TakeOutput(out));
    // The decoded values in order: row by row, per sample both components.
    std::vector<uint16_t> order;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x)
        for (int c = 0; c < 2; ++c) order.push_back(s[static_cast<size_t>(c)][static_cast<size_t>(y)][static_cast<size_t>(x)]);
    // Value 12 (the first of slice 1) at row 0, column 4; value 24 (the
    // first of the last slice) at row 0, column 8; value 29 at row 0,
    // column 13; value 30 at row 1, column 8.
    EXPECT_EQ(out.data[0 * 14 + 4], order[12]);
    EXPECT_EQ(out.data[0 * 14 + 8], order[24]);
    EXPECT_EQ(out.data[0 * 14 + 13], order[29]);
    EXPECT_EQ(out.data[1 * 14 + 8], order[30]);
    EXPECT_EQ(out.data[2 * 14 + 3], order[11]);
    // And the two components alternate within a raster row.
    EXPECT_EQ(out.data[0], order[0]);
    EXPECT_EQ(out.data[1], order[1]);
  }
  // Field order 1: JPEG rows 0, 1, 2, 3 land on raster rows 0, 9, 1, 8.
  {
    std::vector<sLosslessComp> comps(1);
    const auto s = RandomSamples(10, 3, 10, comps, 11);
    const std::vector<uint8_t> f = LosslessFile(10, 3, 10, comps, s);
    cRAWLosslessJpeg raw;
    raw.SetRasterSize(3, 10);
    raw.SetFieldOrder(1);
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    ASSERT_TRUE(raw.Decode(&io));
    _typebuf<uint16_t> out;
    ASSERT_TRUE(raw.TakeOutput(out));
    const int expectRow[4] = {0, 9, 1, 8};
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(out.data[expectRow[y] * 3 + x], s[0][static_cast<size_t>(y)][static_cast<size_t>(x)]) << y;
  }
  // sRAW 4:2:2 (precision 15): pixel j gets luma sample j and both chroma
  // samples j / 2 minus 16384.
  {
    std::vector<sLosslessComp> comps{{2, 1}, {1, 1}, {1, 1}};
    const auto s = RandomSamples(15, 6, 2, comps, 12);
    const std::vector<uint8_t> f = LosslessFile(15, 6, 2, comps, s);
    cRAWLosslessJpeg raw;
    raw.SetSliceLayout(6, 2, 1, 12, 12);  // halved to one slice of 6 pixels
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    ASSERT_TRUE(raw.Decode(&io));
    EXPECT_EQ(raw.RasterMode(), 2);
    _typebuf<uint16_t> out;
    ASSERT_TRUE(raw.TakeOutput(out));
    for (int y = 0; y < 2; ++y) {
      for (int j = 0; j < 6; ++j) {
        const uint16_t* px = out.data + (y * 6 + j) * 3;
        EXPECT_EQ(px[0], s[0][static_cast<size_t>(y)][static_cast<size_t>(j)]);
        EXPECT_EQ(px[1], static_cast<uint16_t>(s[1][static_cast<size_t>(y)][static_cast<size_t>(j / 2)] - 16384));
        EXPECT_EQ(px[2], static_cast<uint16_t>(s[2][static_cast<size_t>(y)][static_cast<size_t>(j / 2)] - 16384));
      }
    }
  }
  // sRAW 4:2:0: each MCU's 2 x 2 luma samples and its chroma fill a 2 x 2
  // block of pixels.
  {
    std::vector<sLosslessComp> comps{{2, 2}, {1, 1}, {1, 1}};
    const auto s = RandomSamples(15, 4, 4, comps, 13);
    const std::vector<uint8_t> f = LosslessFile(15, 4, 4, comps, s);
    cRAWLosslessJpeg raw;
    raw.SetSliceLayout(4, 4, 1, 12, 12);  // divided by 3: one slice 4 wide
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    ASSERT_TRUE(raw.Decode(&io));
    EXPECT_EQ(raw.RasterMode(), 1);
    _typebuf<uint16_t> out;
    ASSERT_TRUE(raw.TakeOutput(out));
    for (int mrow = 0; mrow < 2; ++mrow) {
      for (int m = 0; m < 2; ++m) {
        for (int j = 0; j < 2; ++j) {
          for (int k = 0; k < 2; ++k) {
            const uint16_t* px = out.data + ((mrow * 2 + j) * 4 + m * 2 + k) * 3;
            EXPECT_EQ(px[0], s[0][static_cast<size_t>(mrow)][static_cast<size_t>(m * 4 + j * 2 + k)]);
            EXPECT_EQ(px[1], static_cast<uint16_t>(s[1][static_cast<size_t>(mrow)][static_cast<size_t>(m)] - 16384));
          }
        }
      }
    }
  }
}

TEST(JpegLossless, CraftedLayoutsAreRefused) {
  std::vector<sLosslessComp> four(4);
  const auto s4 = RandomSamples(12, 4, 2, four, 21);
  const std::vector<uint8_t> f4 = LosslessFile(12, 4, 2, four, s4);
  std::vector<sLosslessComp> two(2);
  const std::vector<uint8_t> f2 = LosslessFile(12, 4, 2, two, RandomSamples(12, 4, 2, two, 22));
  std::vector<sLosslessComp> sraw{{2, 2}, {1, 1}, {1, 1}};
  const std::vector<uint8_t> fs = LosslessFile(15, 4, 4, sraw, RandomSamples(15, 4, 4, sraw, 23));
  struct sCase {
    const char* what;
    const std::vector<uint8_t>* file;
    uint32_t rw, rh, count, sw, lsw;
  } cases[] = {
      {"four components, raster narrower than the frame", &f4, 3, 8, 0, 0, 0},
      {"four components, raster over four times wider", &f4, 20, 8, 0, 0, 0},
      {"slice width 0", &f2, 8, 2, 1, 0, 0},
      {"sRAW slices divided to 0", &fs, 4, 4, 1, 2, 2},
      {"sRAW without slices", &fs, 4, 4, 0, 0, 0},
      {"no raster", &f2, 0, 0, 0, 0, 0},
  };
  for (const sCase& c : cases) {
    cRAWLosslessJpeg raw;
    raw.SetSliceLayout(c.rw, c.rh, c.count, c.sw, c.lsw);
    cBufWrapperIO io(c.file->data(), static_cast<uint32_t>(c.file->size()));
    EXPECT_FALSE(raw.Decode(&io)) << c.what;
  }
}

// ---- The picture object ----

TEST(PictJPEG, InfoFactoryAndReuse) {
  cJpegBits bits;
  for (int i = 0; i < 6; ++i) PutBlock(bits, i == 0 ? 8 * 10 : 0, {{1, 40}});
  const std::vector<uint8_t> small = GreyFile(48, 8, bits.Finish());
  cJpegBits bits2;
  for (int i = 0; i < 4 * 3; ++i) PutBlock(bits2, i == 0 ? -8 * 10 : 0, {{2, -30}, {63, 5}});
  // Sampling factors 2 x 2 make MCUs of 16 x 16 pixels (16 rows, against
  // 8 rows of the small picture).
  const std::vector<uint8_t> large = GreyFile(31, 24, bits2.Finish(), 0, 1, -1, 0x22);

  // Info stops after the frame header; a file cut right after it still
  // gives its size.
  cBufWrapperIO io(small.data(), 200);
  sPictInfo info;
  cPictJPEG j;
  ASSERT_TRUE(j.ReadInfo(&io, &info));
  EXPECT_EQ(info.width, 48);
  EXPECT_EQ(info.height, 8);
  EXPECT_FALSE(info.hasPreview);
  cPictDummy preview;
  int32_t pw = 0, ph = 0;
  io.Seek(0);
  EXPECT_FALSE(j.LoadPreview(&io, &preview, pw, ph));
  EXPECT_FALSE(preview.HasPixels());

  cBufWrapperIO whole(large.data(), static_cast<uint32_t>(large.size()));
  std::unique_ptr<cPictBase> made(CreatePicture(&whole, nullptr));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetFormat(), kPictFormatJPEG);

  // One object, a small then a larger picture, then the small one again:
  // each decodes as a fresh object does.
  cPictJPEG fresh;
  ASSERT_TRUE(LoadJpeg(fresh, large));
  cPictJPEG reused;
  ASSERT_TRUE(LoadJpeg(reused, small));
  ASSERT_TRUE(LoadJpeg(reused, large));
  ASSERT_EQ(reused.Pixels32().count, fresh.Pixels32().count);
  EXPECT_EQ(std::memcmp(reused.Pixels32().data, fresh.Pixels32().data, 31 * 24 * 4), 0);
}

TEST(PictJPEG, CanvasStreamingMatchesTheBuffer) {
  std::vector<uint8_t> f = Soi();
  Quant(f, 2);
  Segment(f, 0xC0, FrameBody(8, 37, 21, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}}));
  FlatTables(f);
  Segment(f, 0xDA, ScanBody({{1, 0x00}, {2, 0x00}, {3, 0x00}}, 0, 63, 0));
  cJpegBits bits;
  for (int m = 0; m < 3 * 2; ++m)
    for (int b = 0; b < 6; ++b) PutBlock(bits, (m * 7 + b * 3) % 11 - 5, {{1 + b, 9 - m}, {10 + m, b - 3}});
  const std::vector<uint8_t> d = bits.Finish();
  f.insert(f.end(), d.begin(), d.end());
  Eoi(f);
  cPictJPEG buffered;
  ASSERT_TRUE(LoadJpeg(buffered, f));
  // Twice with one object: the work buffers are reused.
  cPictJPEG streamed;
  for (int pass = 0; pass < 2; ++pass) {
    const int cw = 41 + pass * 10, ch = 25;
    std::vector<uint32_t> pixels(static_cast<size_t>(cw) * ch, 0);
    sPictCanvas canvas{pixels.data(), cw, ch, 0, 0, 0xFF00FF00u, 1.0, 0};
    ASSERT_TRUE(streamed.AttachCanvas(&canvas));
    ASSERT_TRUE(LoadJpeg(streamed, f));
    EXPECT_FALSE(streamed.HasPixels());
    const int mx = (cw - 37) / 2, my = (ch - 21) / 2;
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 37; ++x)
        ASSERT_EQ(pixels[static_cast<size_t>(y + my) * cw + x + mx], buffered.Pixels32().data[static_cast<size_t>(y) * 37 + x])
            << x << "," << y;
  }
}

TEST(PictJPEG, HugeProgressiveStoreIsRefusedBeforeAllocating) {
  // 65500 x 65500 progressive, streamed into a small canvas so that no
  // picture buffer is needed: the coefficient store would take some 29 GB.
  std::vector<uint8_t> f = Soi();
  Segment(f, 0xC2, FrameBody(8, 65500, 65500, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}}));
  FlatTables(f);
  Segment(f, 0xDA, ScanBody({{1, 0x00}, {2, 0x00}, {3, 0x00}}, 0, 0, 0));
  Append(f, {0x00, 0x00, 0x00});
  Eoi(f);
  std::vector<uint32_t> pixels(64, 0);
  sPictCanvas canvas{pixels.data(), 8, 8, 0, 0, 0, 1.0, 0};
  cPictJPEG j;
  ASSERT_TRUE(j.AttachCanvas(&canvas));
  EXPECT_FALSE(LoadJpeg(j, f));
  // Without a canvas the picture itself is too large.
  cPictJPEG k;
  EXPECT_FALSE(LoadJpeg(k, f));
}

}  // namespace

namespace {

TEST(PictJPEG, TwelveBitDctFileIsRecognisedButNotDecoded) {
  cJpegBits bits;
  PutBlock(bits, 8, {});
  std::vector<uint8_t> f = GreyFile(8, 8, bits.Finish());
  for (size_t i = 0; i + 4 < f.size(); ++i) {
    if (f[i] == 0xFF && f[i + 1] == 0xC0) {
      f[i + 4] = 12;  // the frame's precision
      break;
    }
  }
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  sPictInfo info;
  EXPECT_TRUE(cPictJPEG::Detect(&io, &info));
  EXPECT_EQ(info.width, 8);
  cPictJPEG j;
  EXPECT_FALSE(LoadJpeg(j, f));
  io.Seek(0);
  EXPECT_EQ(CreatePicture(&io, nullptr), nullptr);
}

// A stream the parser accepts but that has no frame (tables only) is no
// picture: Load fails on a fresh object and on one that held a picture.
TEST(PictJPEG, StreamWithoutFrameDoesNotLoad) {
  std::vector<uint8_t> tables = Soi();
  Quant(tables, 1);
  FlatTables(tables);
  Eoi(tables);
  std::vector<uint8_t> bare = {0xFF, 0xD8, 0xFF, 0xD9};
  cJpegBits bits;
  PutBlock(bits, 8, {});
  const std::vector<uint8_t> picture = GreyFile(8, 8, bits.Finish());
  for (const std::vector<uint8_t>* f : {&bare, &tables}) {
    cJPEGParser parser;
    EXPECT_TRUE(Parse(parser, *f));
    cPictJPEG fresh;
    EXPECT_FALSE(LoadJpeg(fresh, *f));
    EXPECT_FALSE(fresh.HasPixels());
    cPictJPEG reused;
    ASSERT_TRUE(LoadJpeg(reused, picture));
    EXPECT_FALSE(LoadJpeg(reused, *f));
  }
}

}  // namespace
