// The ICNS decoder: structural errors of the element walk (lengths below
// the header's, overruns, huge lengths), the choice of the largest image and
// of the best fit, raw and run-length 24-bit data, masks, the Mac palettes,
// embedded PNG and JPEG 2000 elements, fitted loading and the factory.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_icns.h"
#include "picture/pict_jp2.h"
#include "tests/support/png_writer.h"
#include "tests/support/test_support.h"

namespace {

void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(x >> s));
}

std::vector<uint8_t> Element(const std::string& type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> v(type.begin(), type.end());
  Put32(v, static_cast<uint32_t>(8 + data.size()));
  v.insert(v.end(), data.begin(), data.end());
  return v;
}

std::vector<uint8_t> Icns(const std::vector<std::vector<uint8_t>>& elements) {
  std::vector<uint8_t> body;
  for (const auto& e : elements) body.insert(body.end(), e.begin(), e.end());
  std::vector<uint8_t> v = {'i', 'c', 'n', 's'};
  Put32(v, static_cast<uint32_t>(8 + body.size()));
  v.insert(v.end(), body.begin(), body.end());
  return v;
}

std::vector<uint8_t> Fill(size_t n, uint8_t b) { return std::vector<uint8_t>(n, b); }

struct sFile {
  std::vector<uint8_t> bytes;
  cBufWrapperIO io;
  explicit sFile(std::vector<uint8_t> b) : bytes(std::move(b)), io(bytes.data(), static_cast<uint32_t>(bytes.size())) {}
  cFileIOTarget* at0() {
    io.Seek(0);
    return &io;
  }
};

// Pixel (x, y) counted from the top.
uint32_t At(const cPictBase& p, int32_t x, int32_t y) {
  return p.Pixels32().data[static_cast<size_t>(p.GetHeight() - 1 - y) * p.GetWidth() + x];
}

TEST(PictIcns, StructuralErrors) {
  const std::vector<uint8_t> good = Icns({Element("ICON", Fill(128, 0)), Element("il32", Fill(3072, 9))});
  struct sCase {
    const char* name;
    std::vector<uint8_t> file;
  };
  std::vector<sCase> cases;
  // Element lengths below the 8-byte header would step back or stand still.
  for (uint32_t length : {0u, 1u, 7u}) {
    std::vector<uint8_t> b = good;
    b[12] = b[13] = b[14] = 0;
    b[15] = static_cast<uint8_t>(length);
    cases.push_back({"element length below 8", b});
  }
  std::vector<uint8_t> overrun = good;
  overrun[8 + 136 + 7] += 1;  // the last element ends past the total length
  cases.push_back({"last element overruns the total length", overrun});
  std::vector<uint8_t> shortTotal = good;
  shortTotal[4] = shortTotal[5] = shortTotal[6] = 0;
  shortTotal[7] = 15;
  cases.push_back({"total length 15", shortTotal});
  std::vector<uint8_t> magic = good;
  magic[0] = 'I';
  cases.push_back({"magic", magic});
  // A total length of 4 GiB over a small file: nothing that large is read.
  std::vector<uint8_t> huge = Icns({Element("il32", Fill(100, 1))});
  huge[4] = huge[5] = huge[6] = huge[7] = 0xFF;
  huge[12] = huge[13] = 0x7F;
  cases.push_back({"lengths far beyond the file", huge});
  for (const sCase& c : cases) {
    sFile f(c.file);
    cPictICNS icns;
    EXPECT_EQ(icns.GetImageCount(f.at0()), 0) << c.name;
    EXPECT_FALSE(icns.ReadInfo(f.at0(), nullptr)) << c.name;
    EXPECT_FALSE(icns.Load(f.at0())) << c.name;
  }
  sFile f(good);
  cPictICNS icns;
  EXPECT_EQ(icns.GetImageCount(f.at0()), 2);
}

TEST(PictIcns, LargestImageAndBestFit) {
  // Equal sizes: the earlier element (ICN#, black and white) is chosen.
  std::vector<uint8_t> icn = Fill(128, 0xFF);
  icn.resize(256, 0xFF);
  sFile f(Icns({Element("ICN#", icn), Element("il32", Fill(3072, 0x40)), Element("ics8", Fill(256, 5))}));
  cPictICNS icns;
  sPictInfo info;
  ASSERT_TRUE(icns.ReadInfo(f.at0(), &info));
  EXPECT_EQ(info.width, 32);
  EXPECT_TRUE(info.hasPreview);
  ASSERT_TRUE(icns.Load(f.at0()));
  EXPECT_EQ(At(icns, 0, 0), 0xFF000000u);
  // Within 20 x 20 only the 16 x 16 one fits; below 16 nothing does.
  cPictDummy dest;
  int32_t w = 20, h = 20;
  ASSERT_TRUE(icns.LoadPreview(f.at0(), &dest, w, h));
  EXPECT_EQ(dest.GetWidth(), 16);
  w = h = 15;
  EXPECT_FALSE(icns.LoadPreview(f.at0(), &dest, w, h));
  EXPECT_EQ(icns.GetImageCount(f.at0()), 3);
  int32_t iw = 0, ih = 0;
  ASSERT_TRUE(icns.GetImageInfo(f.at0(), 2, iw, ih));
  EXPECT_EQ(iw, 16);
  EXPECT_FALSE(icns.GetImageInfo(f.at0(), 3, iw, ih));
}

TEST(PictIcns, EmbeddedPngWinsUnlessTheBoxIsSmall) {
  const std::vector<uint8_t> png = twtest::EncodePng(twtest::MakeTestImage(64, 40, 6, 8, 3));
  sFile f(Icns({Element("il32", Fill(3072, 0x80)), Element("ic10", png)}));
  cPictICNS icns;
  sPictInfo info;
  ASSERT_TRUE(icns.ReadInfo(f.at0(), &info));
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 40);
  ASSERT_TRUE(icns.Load(f.at0()));
  EXPECT_EQ(icns.GetWidth(), 64);
  cPictDummy dest;
  int32_t w = 32, h = 32;
  ASSERT_TRUE(icns.LoadPreview(f.at0(), &dest, w, h));
  EXPECT_EQ(dest.GetWidth(), 32);
  EXPECT_EQ(At(dest, 0, 0), 0xFF808080u);
}

TEST(PictIcns, BrokenJpegTwoThousandElementCountsButFailsToLoad) {
  // A codestream's SIZ: 20 x 10 on the grid with offset 0.
  std::vector<uint8_t> j2k = {0xFF, 0x4F, 0xFF, 0x51, 0, 41, 0, 0};
  Put32(j2k, 20);
  Put32(j2k, 10);
  Put32(j2k, 0);
  Put32(j2k, 0);
  j2k.resize(60, 0);
  sFile f(Icns({Element("is32", Fill(768, 1)), Element("ic09", j2k)}));
  cPictICNS icns;
  EXPECT_EQ(icns.GetImageCount(f.at0()), 2);
  int32_t w = 0, h = 0;
  ASSERT_TRUE(icns.GetImageInfo(f.at0(), 1, w, h));
  EXPECT_EQ(w, 20);
  EXPECT_EQ(h, 10);
  EXPECT_FALSE(icns.LoadImage(f.at0(), 1));
  EXPECT_TRUE(icns.LoadImage(f.at0(), 0));
}

// A codestream and a JP2 file as elements decode to the JPEG 2000
// decoders' pictures, buffered and streamed.
TEST(PictIcns, JpegTwoThousandElementsDecode) {
  struct sRow {
    const char* fixture;
    bool jp2;
  };
  for (const sRow& r : {sRow{"j2k_rgb12.j2k", false}, sRow{"jp2_rgb16.jp2", true}}) {
    std::ifstream in(twtest::SourcePath(std::string("tests/picture/data/") + r.fixture), std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(data.empty()) << r.fixture;
    cBufWrapperIO direct(data.data(), static_cast<uint32_t>(data.size()));
    std::unique_ptr<cPictBase> ref;
    if (r.jp2)
      ref = std::make_unique<cPictJP2>();
    else
      ref = std::make_unique<cPictJ2K>();
    ASSERT_TRUE(ref->Load(&direct));
    sFile f(Icns({Element("is32", Fill(768, 1)), Element("ic09", data)}));
    cPictICNS icns;
    ASSERT_TRUE(icns.LoadImage(f.at0(), 1)) << r.fixture;
    ASSERT_EQ(icns.GetWidth(), ref->GetWidth());
    ASSERT_EQ(icns.Pixels32().count, ref->Pixels32().count);
    EXPECT_EQ(std::memcmp(icns.Pixels32().data, ref->Pixels32().data, ref->Pixels32().count * 4u), 0);
    // Streamed into a larger canvas through the factory's fitted loading.
    cPictDummy fitted;
    EXPECT_TRUE(icns.LoadImageFitted(f.at0(), &fitted, 256, 256, 1, true, 0));
    EXPECT_EQ(fitted.GetWidth(), ref->GetWidth());
  }
}

TEST(PictIcns, TwentyFourBitData) {
  // is32 of exactly 776 bytes is raw R, G, B.
  std::vector<uint8_t> raw;
  for (int i = 0; i < 256; ++i) raw.insert(raw.end(), {static_cast<uint8_t>(i), 0x11, 0x22});
  // it32 starts with four zero bytes; red is a literal of 2 and repeats of
  // 130, the last cut at the channel's end; green repeats; blue has no data.
  std::vector<uint8_t> it32 = {0, 0, 0, 0};
  it32.insert(it32.end(), {0x01, 0xA0, 0xA1});  // red: literal A0, A1
  for (int n = 2; n < 16384; n += 130) it32.insert(it32.end(), {0xFF, 0x33});  // red: repeats, the last cut
  for (int n = 0; n < 16384; n += 130) it32.insert(it32.end(), {0xFF, 0x44});  // green
  sFile f(Icns({Element("is32", raw), Element("it32", it32)}));
  cPictICNS icns;
  ASSERT_TRUE(icns.LoadImage(f.at0(), 0));
  EXPECT_EQ(At(icns, 0, 0), 0xFF001122u);
  EXPECT_EQ(At(icns, 5, 1), 0xFF151122u);
  ASSERT_TRUE(icns.LoadImage(f.at0(), 1));
  EXPECT_EQ(icns.GetWidth(), 128);
  EXPECT_EQ(At(icns, 0, 0), 0xFFA04400u);
  EXPECT_EQ(At(icns, 1, 0), 0xFFA14400u);
  EXPECT_EQ(At(icns, 2, 0), 0xFF334400u);
  EXPECT_EQ(At(icns, 127, 127), 0xFF334400u);  // blue's data ran out: 0
}

TEST(PictIcns, RunLengthPacketsStopAtTheChannelEnd) {
  // 16 x 16: red takes a literal of 128 and a repeat of 130 that overflows
  // the 256 pixels by 2; green starts with the next packet.
  std::vector<uint8_t> d = {0x7F};
  for (int i = 0; i < 128; ++i) d.push_back(1);
  d.insert(d.end(), {0xFF, 2, 0xFF, 3, 0x7F + 0, 4});  // green: 130 x 3, then 1 x 4
  _typebuf<uint8_t> out(768);
  cPictICNS::UnpackRle(d.data(), static_cast<uint32_t>(d.size()), out);
  EXPECT_EQ(out.data[3 * 127], 1);
  EXPECT_EQ(out.data[3 * 128], 2);
  EXPECT_EQ(out.data[3 * 255], 2);
  EXPECT_EQ(out.data[1], 3);
  EXPECT_EQ(out.data[3 * 129 + 1], 3);
  EXPECT_EQ(out.data[3 * 130 + 1], 4);
  EXPECT_EQ(out.data[3 * 131 + 1], 0);
  EXPECT_EQ(out.data[2], 0);
}

TEST(PictIcns, MasksComeFromTheNextElementOnly) {
  std::vector<uint8_t> mask(1024);
  for (size_t i = 0; i < mask.size(); ++i) mask[i] = static_cast<uint8_t>(i);
  struct sCase {
    const char* name;
    std::vector<std::vector<uint8_t>> elements;
    uint32_t alphaAt1;  // of the pixel (1, 0)
  };
  const sCase cases[] = {
      {"l8mk right after", {Element("il32", Fill(3072, 0)), Element("l8mk", mask)}, 1u},
      {"another element between", {Element("il32", Fill(3072, 0)), Element("ICON", Fill(128, 0)), Element("l8mk", mask)}, 0xFFu},
      {"short mask", {Element("il32", Fill(3072, 0)), Element("l8mk", Fill(10, 0))}, 0xFFu},
  };
  for (const sCase& c : cases) {
    sFile f(Icns(c.elements));
    cPictICNS icns;
    ASSERT_TRUE(icns.LoadImage(f.at0(), 0)) << c.name;
    EXPECT_EQ(At(icns, 1, 0) >> 24, c.alphaAt1) << c.name;
  }
  // ich8 takes the 1-bit mask plane of a following ich#.
  std::vector<uint8_t> ichMask = Fill(288, 0);
  ichMask.resize(576, 0);
  ichMask[288] = 0x80;  // only the first pixel is opaque
  sFile f(Icns({Element("ich8", Fill(2304, 0)), Element("ich#", ichMask)}));
  cPictICNS icns;
  ASSERT_TRUE(icns.LoadImage(f.at0(), 0));
  EXPECT_EQ(At(icns, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(At(icns, 1, 0), 0x00FFFFFFu);
}

TEST(PictIcns, ClassicElements) {
  // ICON: a set bit is black, as the classic Mac draws it.
  std::vector<uint8_t> icon = Fill(128, 0);
  icon[0] = 0x80;
  // icl4: indexes 0..15 along the first row.
  std::vector<uint8_t> icl4 = Fill(512, 0xFF);
  for (int i = 0; i < 8; ++i) icl4[static_cast<size_t>(i)] = static_cast<uint8_t>((2 * i) << 4 | (2 * i + 1));
  // icl8: indexes 0..255 along the first eight rows.
  std::vector<uint8_t> icl8(1024);
  for (size_t i = 0; i < icl8.size(); ++i) icl8[i] = static_cast<uint8_t>(i);
  sFile f(Icns({Element("ICON", icon), Element("icl4", icl4), Element("icl8", icl8)}));
  cPictICNS icns;
  ASSERT_TRUE(icns.LoadImage(f.at0(), 0));
  EXPECT_EQ(At(icns, 0, 0), 0xFF000000u);
  EXPECT_EQ(At(icns, 1, 0), 0xFFFFFFFFu);
  ASSERT_TRUE(icns.LoadImage(f.at0(), 1));
  const uint32_t pal16[16] = {0xFFFFFF, 0xFCF305, 0xFF6402, 0xDD0806, 0xF20884, 0x4600A5, 0x0000D4, 0x02ABEA,
                              0x1FB714, 0x006411, 0x562C05, 0x90713A, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(At(icns, i, 0), 0xFF000000u | pal16[i]) << i;
  ASSERT_TRUE(icns.LoadImage(f.at0(), 2));
  struct sEntry {
    int index;
    uint32_t colour;
  };
  // The cube (red slowest), the ramps and black.
  const sEntry pal256[] = {{0, 0xFFFFFF},   {1, 0xFFFFCC},   {6, 0xFFCCFF},   {36, 0xCCFFFF}, {214, 0x000033},
                           {215, 0xEE0000}, {224, 0x110000}, {225, 0x00EE00}, {235, 0x0000EE}, {245, 0xEEEEEE},
                           {254, 0x111111}, {255, 0x000000}};
  for (const sEntry& e : pal256) EXPECT_EQ(At(icns, e.index % 32, e.index / 32), 0xFF000000u | e.colour) << e.index;
  // A classic element of the wrong length is usable but fails to load.
  sFile bad(Icns({Element("icl8", Fill(1000, 0))}));
  EXPECT_EQ(icns.GetImageCount(bad.at0()), 1);
  EXPECT_FALSE(icns.Load(bad.at0()));
}

TEST(PictIcns, FittedLoadingAndTheFactory) {
  sFile f(Icns({Element("it32", Fill(4 + 3 * 2 * 128, 0)), Element("is32", Fill(768, 0x20))}));
  sPictInfo info;
  std::unique_ptr<cPictBase> p(CreatePicture(f.at0(), &info));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetFormat(), kPictFormatICNS);
  EXPECT_EQ(info.width, 128);
  // A 16 x 16 box: the preview is the is32 element as it is.
  cPictDummy dest;
  ASSERT_EQ(LoadPictureFitted(f.at0(), &dest, 16, 16), kFitDone);
  EXPECT_EQ(dest.GetWidth(), 16);
  EXPECT_EQ(At(dest, 0, 0), 0xFF202020u);
  // Index 0 into 10 x 10: shrunk through a canvas.
  cPictICNS icns;
  cPictDummy small;
  ASSERT_TRUE(icns.LoadImageFitted(f.at0(), &small, 10, 10, 0, true, 0));
  EXPECT_EQ(small.GetWidth(), 10);
  EXPECT_EQ(icns.GetAttachedCanvas(), nullptr);
}

}  // namespace
