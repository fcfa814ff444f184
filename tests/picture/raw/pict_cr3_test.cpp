// CR3: the box walk (ftyp, moov with CMT boxes in nested uuid boxes, mdat,
// PRVW previews, 64-bit sizes) and the pictures: the JPEG at the start of
// mdat and the preview must give ImageMagick's decode of the same files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/raw/pict_cr3.h"
#include "tests/picture/raw/cr3_builder.h"
#include "tests/support/test_support.h"

namespace {

using namespace cr3_test;

tBytes ReadData(const std::string& name) {
  std::ifstream f(twtest::SourcePath("tests/picture/raw/data/" + name), std::ios::binary);
  return tBytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

tBytes MainJpeg() { return ReadData("cr3_main.jpg"); }
tBytes PreviewJpeg() { return ReadData("cr3_preview.jpg"); }

tBytes File(const tBytes& jpeg, const tBytes& preview, uint32_t w = 48, uint32_t h = 32) {
  return Cat({Ftyp(), PrvwBox(preview), Moov(w, h), Box("free", tBytes(5, 0)), Mdat(jpeg)});
}

// Compares a decoded picture (bottom-up BGRA) with ImageMagick's RGB bytes.
void ExpectPixels(const cPictBase& pict, const std::string& rgbName, int32_t w, int32_t h) {
  const tBytes rgb = ReadData(rgbName);
  ASSERT_EQ(rgb.size(), static_cast<size_t>(w * h * 3));
  ASSERT_EQ(pict.GetWidth(), w);
  ASSERT_EQ(pict.GetHeight(), h);
  ASSERT_FALSE(pict.IsHighDepth());
  const _typebuf<uint32_t>& px = pict.Pixels32();
  ASSERT_EQ(px.count, w * h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t p = px.data[(h - 1 - y) * w + x];
      const uint8_t* want = &rgb[(y * w + x) * 3];
      const uint32_t expect = 0xFF000000u | (uint32_t{want[0]} << 16) | (uint32_t{want[1]} << 8) | want[2];
      ASSERT_EQ(p, expect) << "first difference at " << x << "," << y << " of " << rgbName;
    }
}

bool Info(const tBytes& file, sPictInfo& info) {
  cBufWrapperIO s(file.data(), static_cast<uint32_t>(file.size()));
  return cPictCR3::Detect(&s, &info);
}

TEST(PictCR3, LoadsTheMdatJpegAsImageMagickDecodesIt) {
  for (const char* name : {"cr3_main", "cr3_main_progressive"}) {
    SCOPED_TRACE(name);
    const tBytes file = File(ReadData(std::string(name) + ".jpg"), PreviewJpeg());
    sPictInfo info;
    ASSERT_TRUE(Info(file, info));
    EXPECT_EQ(info.width, 48);
    EXPECT_EQ(info.height, 32);
    EXPECT_TRUE(info.hasPreview);
    cBufWrapperIO s(file.data(), static_cast<uint32_t>(file.size()));
    cPictCR3 cr3;
    ASSERT_TRUE(cr3.ReadInfo(&s, nullptr));
    ASSERT_TRUE(cr3.Load(&s));  // same decoder again: the walk is kept
    ExpectPixels(cr3, std::string(name) + ".rgb", 48, 32);
  }
}

TEST(PictCR3, PreviewAtItsSizeAndScaled) {
  const tBytes file = File(MainJpeg(), PreviewJpeg());
  cBufWrapperIO s(file.data(), static_cast<uint32_t>(file.size()));
  cPictCR3 cr3;
  cPictDummy full;
  int32_t w = 0, h = 0;  // missing maxima: the preview's own size
  ASSERT_TRUE(cr3.LoadPreview(&s, &full, w, h));
  ExpectPixels(full, "cr3_preview.rgb", 24, 16);
  cPictDummy big;
  w = 100, h = 100;
  ASSERT_TRUE(cr3.LoadPreview(&s, &big, w, h));
  EXPECT_EQ(big.GetWidth(), 24);
  struct {
    int32_t mw, mh, ew, eh;
  } cases[] = {{12, 100, 12, 8}, {100, 4, 6, 4}, {7, 7, 7, 5}};
  for (const auto& c : cases) {
    cPictDummy small;
    w = c.mw, h = c.mh;
    ASSERT_TRUE(cr3.LoadPreview(&s, &small, w, h)) << c.mw << "x" << c.mh;
    EXPECT_EQ(small.GetWidth(), c.ew);
    EXPECT_EQ(small.GetHeight(), c.eh);
    EXPECT_TRUE(small.HasPixels());
  }
}

TEST(PictCR3, BoxWalkCases) {
  const tBytes jpeg = MainJpeg(), prev = PreviewJpeg();
  const tBytes prvw = PrvwBox(prev);
  struct {
    const char* what;
    tBytes file;
    bool accepted;
    int32_t width;
    bool preview;
  } cases[] = {
      {"usual", File(jpeg, prev), true, 48, true},
      {"minor version 2", Cat({Ftyp(2), Moov(48, 32), Mdat(jpeg)}), false, 0, false},
      {"mdat before moov", Cat({Ftyp(), Mdat(jpeg), Moov(48, 32)}), true, 48, false},
      {"unknown box before moov", Cat({Ftyp(), Box("abcd", {}), Moov(48, 32), Mdat(jpeg)}), false, 0, false},
      {"no mdat", Cat({Ftyp(), Moov(48, 32)}), false, 0, false},
      {"no moov", Cat({Ftyp(), Mdat(jpeg)}), false, 0, false},
      {"PRVW longer than its box", Cat({Ftyp(), PrvwBox(prev, prev.size() + 1), Moov(48, 32), Mdat(jpeg)}), true,
       48, false},
      {"64-bit sizes", Cat({Ftyp(), Box64("free", tBytes(3, 0)), Moov(48, 32), Box64("mdat", jpeg)}), true, 48,
       false},
      {"CMT2 overrides CMT1", Cat({Ftyp(), Box("moov", Cat({Cmt("CMT1", 10, 10), Cmt("CMT2", 48, 32)})), Mdat(jpeg)}),
       true, 48, false},
      {"SHORT sizes, big-endian TIFF",
       Cat({Ftyp(), Box("moov", Cmt("CMT1", 48, 32, 3, true)), Mdat(jpeg)}), true, 48, false},
  };
  for (const auto& c : cases) {
    sPictInfo info;
    EXPECT_EQ(Info(c.file, info), c.accepted) << c.what;
    if (!c.accepted) continue;
    EXPECT_EQ(info.width, c.width) << c.what;
    EXPECT_EQ(info.hasPreview, c.preview) << c.what;
  }
}

TEST(PictCR3, SecondPrvwWinsAndWidthAsTwoShorts) {
  const tBytes jpeg = MainJpeg(), prev = PreviewJpeg();
  const tBytes file = Cat({Ftyp(), PrvwBox(jpeg), PrvwBox(prev), Moov(48, 32), Mdat(jpeg)});
  cBufWrapperIO s(file.data(), static_cast<uint32_t>(file.size()));
  cPictCR3 cr3;
  cPictDummy out;
  int32_t w = 0, h = 0;
  ASSERT_TRUE(cr3.LoadPreview(&s, &out, w, h));
  EXPECT_EQ(out.GetWidth(), 24);

  // A width entry of two SHORT values (4 bytes) is read as one 32-bit value.
  cTiffBuilder b(false, false);
  const int ifd = b.AddIfd();
  b.AddShorts(ifd, 256, {48, 0});
  b.AddShort(ifd, 257, 32);
  const tBytes two = Cat({Ftyp(), Box("moov", Box("CMT1", b.Build())), Mdat(jpeg)});
  sPictInfo info;
  ASSERT_TRUE(Info(two, info));
  EXPECT_EQ(info.width, 48);
  // Three SHORT values refuse the tag and so the file.
  cTiffBuilder c(false, false);
  const int ifd2 = c.AddIfd();
  c.AddShorts(ifd2, 256, {48, 0, 0});
  EXPECT_FALSE(Info(Cat({Ftyp(), Box("moov", Box("CMT1", c.Build())), Mdat(jpeg)}), info));
}

TEST(PictCR3, MendedFaults) {
  const tBytes jpeg = MainJpeg();
  // A top-level 64-bit size below 16 would never move: the walk fails.
  tBytes stuck = Cat({Ftyp(), Moov(48, 32)});
  PutBe32(stuck, 1);
  stuck.insert(stuck.end(), {'f', 'r', 'e', 'e'});
  PutBe64(stuck, 8);
  stuck = Cat({stuck, Mdat(jpeg)});
  sPictInfo info;
  EXPECT_FALSE(Info(stuck, info));
  // A 32-bit size below 8 fails too, at the top and inside moov.
  tBytes small = Cat({Ftyp(), Moov(48, 32)});
  PutBe32(small, 4);
  small.insert(small.end(), {'f', 'r', 'e', 'e'});
  EXPECT_FALSE(Info(Cat({small, Mdat(jpeg)}), info));
  tBytes inner;
  PutBe32(inner, 3);
  inner.insert(inner.end(), {'x', 'x', 'x', 'x', 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_FALSE(Info(Cat({Ftyp(), Box("moov", inner), Mdat(jpeg)}), info));
  // uuid boxes nested without bound: refused past the depth limit, accepted
  // below it.
  for (int depth : {cPictCR3::kMaxUuidDepth, cPictCR3::kMaxUuidDepth + 5, 2000}) {
    tBytes nest = Cmt("CMT1", 48, 32);
    for (int i = 0; i < depth; ++i) nest = Uuid(nest);
    EXPECT_EQ(Info(Cat({Ftyp(), Box("moov", nest), Mdat(jpeg)}), info), depth <= cPictCR3::kMaxUuidDepth)
        << depth;
  }
  // A JPEG that does not parse at mdat: the load fails.
  const tBytes bad = Cat({Ftyp(), Moov(48, 32), Mdat(tBytes(64, 0x11))});
  cBufWrapperIO s(bad.data(), static_cast<uint32_t>(bad.size()));
  cPictCR3 cr3;
  EXPECT_FALSE(cr3.Load(&s));
}

}  // namespace

namespace {

TEST(PictCR3, FactoryPicksItAndLoads) {
  const tBytes file = File(MainJpeg(), PreviewJpeg());
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  sPictInfo info;
  std::unique_ptr<cPictBase> pict(CreatePicture(&io, &info));
  ASSERT_NE(pict, nullptr);
  EXPECT_EQ(pict->GetFormat(), kPictFormatCR3);
  EXPECT_EQ(info.width, 48);
  // A broken CR3 (no mdat) is not taken for one.
  const tBytes broken = Cat({Ftyp(), Moov(48, 32)});
  cBufWrapperIO bad(broken.data(), static_cast<uint32_t>(broken.size()));
  std::unique_ptr<cPictBase> none(CreatePicture(&bad, nullptr));
  EXPECT_TRUE(none == nullptr || none->GetFormat() != kPictFormatCR3);
}

}  // namespace
