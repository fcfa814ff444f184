// The JBIG2 decoder: the MQ decoder and generic regions against the test-side
// encoder (templates 0-3, AT pixels, typical prediction, the generic and fast
// decoders), the segment walk (bare segments, file header, page counts,
// numbering, long header forms, random access), page composition (clipping,
// overwriting, failed regions), streaming, fitted loading and the factory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/jbig2_generic.h"
#include "picture/pict_factory.h"
#include "picture/pict_jbig2.h"
#include "tests/picture/jbig2_writer.h"

namespace {

using namespace jbig2_writer;

// The page as pixels, top row first, 1 = black; fails on a pixel that is
// neither opaque black nor opaque white.
sBitmap PageOf(cPictJBIG2& d) {
  const int w = d.GetWidth(), h = d.GetHeight();
  sBitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t p = d.Pixels32().data[static_cast<size_t>(h - 1 - y) * w + x];
      EXPECT_TRUE(p == 0xFF000000u || p == 0xFFFFFFFFu) << std::hex << p;
      b.Set(x, y, p == 0xFF000000u ? 1 : 0);
    }
  return b;
}

std::string FirstDifference(const sBitmap& want, const sBitmap& got) {
  if (want.w != got.w || want.h != got.h)
    return "size " + std::to_string(got.w) + "x" + std::to_string(got.h) + ", want " + std::to_string(want.w) +
           "x" + std::to_string(want.h);
  for (int y = 0; y < want.h; ++y)
    for (int x = 0; x < want.w; ++x)
      if (want.At(x, y) != got.At(x, y))
        return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " + std::to_string(got.At(x, y));
  return "";
}

// Decodes coded data of a region with the given path; the bitmap unpacked.
bool DecodeRegion(const sBitmap& src, const sGenericOptions& o, const tBytes& coded, eJbig2Path path,
                  sBitmap& out, _typebuf<uint8_t>& packed) {
  sJbig2RegionInfo info;
  info.width = static_cast<uint32_t>(src.w);
  info.height = static_cast<uint32_t>(src.h);
  info.flags = static_cast<uint8_t>(o.tmpl << 1 | (o.tpgdon ? 8 : 0));
  for (int i = 0; i < 8; ++i) info.at[i] = o.at[i];
  cBufWrapperIO io(coded.data(), static_cast<uint32_t>(coded.size()));
  sJbig2GenericDecoder dec;
  if (!Jbig2ArithDecoderInit(dec, &io)) return false;
  const bool ok = Jbig2DecodeGenericRegion(info, dec, packed, 0xFFFFFFFFu, path);
  out = sBitmap(src.w, src.h);
  const int stride = (src.w + 7) / 8;
  EXPECT_EQ(dec.stride, stride);
  for (int y = 0; y < src.h; ++y)
    for (int x = 0; x < src.w; ++x) out.Set(x, y, packed.data[y * stride + x / 8] >> (7 - x % 8) & 1);
  return ok;
}

struct sRegionCase {
  int w, h, tmpl;
  bool tpgdon;
  int8_t a1x, a1y;  // A1; templates 0 also move A2 to A4 when a1x is not nominal
};

const sRegionCase kRegionCases[] = {
    {37, 23, 0, false, 3, -1},  {37, 23, 0, true, 3, -1},   {37, 23, 0, false, -5, -3},
    {64, 16, 0, true, 5, -2},   {1, 9, 0, false, 3, -1},    {9, 4, 0, false, 3, -1},
    {41, 19, 1, false, 3, -1},  {41, 19, 1, true, 3, -1},   {41, 19, 1, false, -2, -1},
    {33, 21, 2, false, 2, -1},  {33, 21, 2, false, 3, -1},  {33, 21, 2, false, -1, -2},
    {33, 21, 2, true, 2, -1},   {30, 17, 3, false, 3, -1},  {30, 17, 3, true, -3, -1},
    {200, 3, 0, false, 3, -1},  {8, 8, 1, false, 3, -1},    {16, 40, 2, true, 3, -1},
    {13, 13, 0, false, 127, -128}, {13, 13, 3, false, -128, 0},
};

sGenericOptions OptionsOf(const sRegionCase& c) {
  sGenericOptions o;
  o.tmpl = c.tmpl;
  o.tpgdon = c.tpgdon;
  o.at[0] = c.a1x;
  o.at[1] = c.a1y;
  if (c.tmpl == 0 && c.a1x != 3) {
    const int8_t moved[6] = {-4, -1, 1, -2, -3, -2};
    std::memcpy(o.at + 2, moved, 6);
  }
  return o;
}

// Every case decodes to the encoded bitmap through both paths, byte for byte
// the same (padding included), also when the coded data ends in its 0xFF
// without the marker byte.
TEST(Jbig2Generic, RegionsRoundTripThroughGenericAndFastDecoders) {
  uint32_t seed = 1;
  for (const sRegionCase& c : kRegionCases) {
    const sGenericOptions o = OptionsOf(c);
    const sBitmap src = MakeTestBitmap(c.w, c.h, seed++);
    tBytes coded = EncodeGeneric(src, o);
    for (int strip = 0; strip < 2; ++strip) {
      SCOPED_TRACE("case " + std::to_string(c.w) + "x" + std::to_string(c.h) + " template " +
                   std::to_string(c.tmpl) + " tpgdon " + std::to_string(c.tpgdon) + " A1 (" +
                   std::to_string(c.a1x) + "," + std::to_string(c.a1y) + ") strip " + std::to_string(strip));
      sBitmap fast, generic;
      _typebuf<uint8_t> pf, pg;
      ASSERT_TRUE(DecodeRegion(src, o, coded, kJbig2PathAuto, fast, pf));
      ASSERT_TRUE(DecodeRegion(src, o, coded, kJbig2PathGeneric, generic, pg));
      EXPECT_EQ(FirstDifference(src, fast), "");
      ASSERT_EQ(pf.count, pg.count);
      EXPECT_EQ(std::memcmp(pf.data, pg.data, static_cast<size_t>(pf.count)), 0);
      if (strip == 0) {
        ASSERT_EQ(coded.back(), 0xAC);
        coded.pop_back();  // now ends in 0xFF
      }
    }
  }
}

TEST(Jbig2Generic, StrideFollowsWidth) {
  const struct {
    int w, stride;
  } cases[] = {{1, 1}, {8, 1}, {9, 2}, {16, 2}, {17, 3}};
  for (const auto& c : cases) {
    const sBitmap src = MakeTestBitmap(c.w, 3, 7);
    sGenericOptions o;
    sBitmap out;
    _typebuf<uint8_t> packed;
    ASSERT_TRUE(DecodeRegion(src, o, EncodeGeneric(src, o), kJbig2PathAuto, out, packed));
    EXPECT_EQ(packed.count, c.stride * 3) << c.w;
    EXPECT_EQ(FirstDifference(src, out), "") << c.w;
  }
}

// With typical prediction a typical first row is white and a typical later
// row repeats the row above; the decisions are then one per row.
TEST(Jbig2Generic, TypicalPredictionCopiesRows) {
  sBitmap src(20, 6);
  for (int x = 0; x < 20; x += 3) src.Set(x, 2, 1);
  for (int x = 0; x < 20; ++x) src.Set(x, 3, src.At(x, 2));
  for (int tmpl = 0; tmpl < 4; ++tmpl) {
    sGenericOptions o;
    o.tmpl = tmpl;
    o.tpgdon = true;
    o.at[0] = NominalA1x(tmpl);
    sBitmap out;
    _typebuf<uint8_t> packed;
    ASSERT_TRUE(DecodeRegion(src, o, EncodeGeneric(src, o), kJbig2PathAuto, out, packed)) << tmpl;
    EXPECT_EQ(FirstDifference(src, out), "") << tmpl;
  }
}

TEST(Jbig2Generic, MmrAndShortDataAreRefused) {
  const tBytes coded = {0x12, 0x34, 0xFF, 0xAC};
  sJbig2RegionInfo info;
  info.width = 5;
  info.height = 5;
  info.flags = 1;  // MMR
  cBufWrapperIO io(coded.data(), static_cast<uint32_t>(coded.size()));
  sJbig2GenericDecoder dec;
  ASSERT_TRUE(Jbig2ArithDecoderInit(dec, &io));
  const int32_t before = dec.pos;
  _typebuf<uint8_t> bitmap(3);
  EXPECT_FALSE(Jbig2DecodeGenericRegion(info, dec, bitmap));
  EXPECT_EQ(bitmap.count, 0);
  info.flags = 1 | 8;  // with typical prediction as well
  EXPECT_FALSE(Jbig2DecodeGenericRegion(info, dec, bitmap));
  EXPECT_EQ(bitmap.count, 0);
  EXPECT_EQ(dec.pos, before);  // no byte consumed

  // Empty coded data cannot start the decoder; three bytes can (a region
  // whose last flushed byte is the marker's 0xFF codes in three).
  cBufWrapperIO empty(coded.data(), 0);
  sJbig2GenericDecoder dec2;
  EXPECT_FALSE(Jbig2ArithDecoderInit(dec2, &empty));
  EXPECT_FALSE(Jbig2ArithDecoderInit(dec2, nullptr));
  cBufWrapperIO three(coded.data() + 1, 3);
  EXPECT_TRUE(Jbig2ArithDecoderInit(dec2, &three));
}

// After a marker every decision comes from 1-bits and no byte is read: the
// decisions are the same whatever follows the marker.
TEST(Jbig2Generic, MarkerFeedsOnesWithoutReading) {
  std::vector<int> first;
  for (uint8_t after : {0x00, 0x55, 0xFF}) {
    const tBytes coded = {0x84, 0xC7, 0x3B, 0xFC, 0xFF, 0xAC, after, after, after, after};
    cBufWrapperIO io(coded.data(), static_cast<uint32_t>(coded.size()));
    sJbig2GenericDecoder dec;
    ASSERT_TRUE(Jbig2ArithDecoderInit(dec, &io));
    dec.contexts.Reallocate(4);
    std::memset(dec.contexts.data, 0, 4);
    std::vector<int> bits;
    for (int i = 0; i < 400; ++i) bits.push_back(Jbig2ArithDecode(dec, static_cast<uint32_t>(i % 4)));
    EXPECT_EQ(dec.pos, 4);  // still on the 0xFF of the marker
    if (first.empty())
      first = bits;
    else
      EXPECT_EQ(bits, first);
  }
  EXPECT_EQ(std::count(first.begin(), first.end(), -1), 0);
}

// ---- The picture decoder ----

tBytes OnePageFile(const sPageSpec& page, bool header = true) {
  const tBytes segs = Sequential(DocumentSegments({page}, header));
  return header ? Concat(FileHeader(1), segs) : segs;
}

sRegion Region(int w, int h, uint32_t x, uint32_t y, uint32_t seed, int tmpl = 0, uint8_t op = 0) {
  sRegion r;
  r.bitmap = MakeTestBitmap(w, h, seed);
  r.x = x;
  r.y = y;
  r.options.tmpl = tmpl;
  r.options.at[0] = NominalA1x(tmpl);
  r.op = op;
  return r;
}

bool LoadPage(const tBytes& file, int index, cPictJBIG2& d) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  return d.LoadImage(&io, index);
}

TEST(Jbig2Picture, BareSegmentsAreOnePage) {
  sPageSpec page{40, 30, {Region(40, 30, 0, 0, 3)}};
  const tBytes file = OnePageFile(page, false);  // segments 0, 1, 2
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  sPictInfo info;
  ASSERT_TRUE(cPictJBIG2::Detect(&io, &info));
  EXPECT_EQ(info.width, 40);
  EXPECT_EQ(info.height, 30);
  EXPECT_FALSE(info.hasPreview);
  cPictJBIG2 d;
  EXPECT_EQ(d.GetImageCount(&io), 1);
  ASSERT_TRUE(LoadPage(file, 0, d));
  EXPECT_EQ(FirstDifference(ExpectedPage(page, true), PageOf(d)), "");
  EXPECT_FALSE(LoadPage(file, 1, d));
  EXPECT_EQ(d.GetFormat(), 36);
  EXPECT_TRUE(d.IsMultiImage());
}

TEST(Jbig2Picture, PagesOfAFile) {
  std::vector<sPageSpec> pages = {{30, 20, {Region(30, 20, 0, 0, 4, 1)}},
                                  {17, 50, {Region(10, 10, 2, 3, 5, 2), Region(12, 30, 4, 18, 6, 3)}},
                                  {9, 9, {Region(9, 9, 0, 0, 7, 0)}}};
  const tBytes file = Concat(FileHeader(3), Sequential(DocumentSegments(pages, true)));
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictJBIG2 d;
  ASSERT_EQ(d.GetImageCount(&io), 3);
  for (int i = 0; i < 3; ++i) {
    int32_t w = 0, h = 0;
    ASSERT_TRUE(d.GetImageInfo(&io, i, w, h));
    EXPECT_EQ(w, static_cast<int32_t>(pages[i].w));
    EXPECT_EQ(h, static_cast<int32_t>(pages[i].h));
    cPictJBIG2 one;
    ASSERT_TRUE(LoadPage(file, i, one)) << i;
    EXPECT_EQ(FirstDifference(ExpectedPage(pages[i], true), PageOf(one)), "") << i;
  }
  int32_t w, h;
  EXPECT_FALSE(d.GetImageInfo(&io, 3, w, h));
  EXPECT_FALSE(d.GetImageInfo(&io, -1, w, h));
}

// Walks the structure of each file: whether it is accepted and how many
// pages it has.
struct sWalkCase {
  const char* what;
  tBytes file;
  bool accepted;
  uint32_t pages;
};

std::vector<sWalkCase> WalkCases() {
  const sPageSpec p1{20, 10, {Region(20, 10, 0, 0, 8)}};
  const sPageSpec p2{12, 12, {Region(12, 12, 0, 0, 9)}};
  std::vector<sWalkCase> v;
  v.push_back({"two pages announced, one present", Concat(FileHeader(2), Sequential(DocumentSegments({p1}, true))),
               false, 0});
  v.push_back({"page count 0", Concat(FileHeader(0), Sequential(DocumentSegments({p1}, true))), false, 0});
  {
    // A page of text regions only (type 6): no generic region.
    auto segs = DocumentSegments({p1}, true);
    segs[1].type = 6;
    v.push_back({"text region only", Sequential(segs), false, 0});
  }
  {
    // Numbers 0, 1, 3: the walk stops before 3; page 1 is complete.
    auto segs = DocumentSegments({p1}, false);
    segs[2].number = 3;
    v.push_back({"numbers 0 1 3", Sequential(segs), true, 1});
    // Stopping before the region leaves page 1 without one.
    auto segs2 = DocumentSegments({p1}, false);
    segs2[1].number = 5;
    v.push_back({"numbers 0 5", Sequential(segs2), false, 0});
  }
  {
    auto segs = DocumentSegments({p1}, true);
    segs[1].page = 2;
    v.push_back({"page association beyond the count", Concat(FileHeader(1), Sequential(segs)), false, 0});
    auto segs2 = DocumentSegments({p1}, true);
    segs2[2].page = 0;  // end of page without a page
    v.push_back({"page association 0 on end of page", Sequential(segs2), false, 0});
  }
  {
    // Global segments (a table and an extension) before the page.
    std::vector<sSegment> segs = {Seg(0, 53, 0, {1, 2, 3}), Seg(1, 62, 0, {0, 0, 0, 0})};
    for (sSegment s : DocumentSegments({p1}, true, 2)) segs.push_back(s);
    v.push_back({"global table and extension", Sequential(segs), true, 1});
  }
  {
    auto segs = DocumentSegments({p1}, true);
    segs[0].data.push_back(0);  // 20 bytes of page information
    v.push_back({"page information of 20 bytes", Sequential(segs), false, 0});
    auto segs2 = DocumentSegments({p1}, true);
    segs2[0].data = PageInfoData(0, 10);
    v.push_back({"page width 0", Sequential(segs2), false, 0});
    auto segs3 = DocumentSegments({p1}, true);
    segs3[1].data.resize(25);
    v.push_back({"region of 25 bytes", Sequential(segs3), false, 0});
  }
  {
    // Header forms: 4-byte page association, referred-to lists in the short
    // and the long form, 2-byte referred-to numbers past segment 256.
    auto segs = DocumentSegments({p1, p2}, true);
    segs[0].longPage = true;
    segs[1].refs = {0};
    segs[4].refs = {0, 1, 2, 3};
    segs[4].longPage = true;
    segs[5].refs = {0, 1, 2, 3, 4};
    segs[5].longRefCount = true;
    v.push_back({"long forms", Concat(FileHeader(2), Sequential(segs)), true, 2});
    std::vector<sSegment> many;
    for (uint32_t n = 0; n < 300; ++n) many.push_back(Seg(n, 62, 0, {}));
    for (sSegment s : DocumentSegments({p1}, true, 300)) {
      s.refs = {299, 1};
      many.push_back(s);
    }
    v.push_back({"two-byte referred-to numbers", Sequential(many), true, 1});
  }
  {
    auto segs = DocumentSegments({p1}, true);
    tBytes file = Sequential(segs);
    file[5] = 5 << 5;  // referred-to count 5 is malformed
    v.push_back({"referred-to count 5", file, false, 0});
  }
  v.push_back({"random access", Concat(FileHeader(2, false), RandomAccess(DocumentSegments({p1, p2}, true))), true,
               2});
  v.push_back({"page count unknown",
               Concat(FileHeader(0, true, true), Sequential(DocumentSegments({p1, p2}, true))), true, 2});
  v.push_back({"empty", {}, false, 0});
  v.push_back({"file ID only", FileHeader(1), false, 0});
  return v;
}

TEST(Jbig2Picture, SegmentWalk) {
  for (const sWalkCase& c : WalkCases()) {
    cBufWrapperIO io(c.file.data(), static_cast<uint32_t>(c.file.size()));
    cPictJBIG2 d;
    EXPECT_EQ(d.ReadStructure(&io), c.accepted) << c.what;
    if (c.accepted) {
      EXPECT_EQ(d.GetPageCount(), c.pages) << c.what;
    }
    io.Seek(0);
    EXPECT_EQ(d.GetImageCount(&io), static_cast<int32_t>(c.pages)) << c.what;
    io.Seek(0);
    EXPECT_EQ(cPictJBIG2::Detect(&io, nullptr), c.accepted) << c.what;
  }
}

// Accepted files with the header forms decode to their pages.
TEST(Jbig2Picture, HeaderFormsDecode) {
  const sPageSpec p1{20, 10, {Region(20, 10, 0, 0, 8)}};
  const sPageSpec p2{12, 12, {Region(12, 12, 0, 0, 9)}};
  for (const sWalkCase& c : WalkCases()) {
    if (!c.accepted) continue;
    for (uint32_t i = 0; i < c.pages; ++i) {
      cPictJBIG2 d;
      ASSERT_TRUE(LoadPage(c.file, static_cast<int>(i), d)) << c.what;
      EXPECT_EQ(FirstDifference(ExpectedPage(i == 0 ? p1 : p2, true), PageOf(d)), "") << c.what << " page " << i;
    }
  }
}

// Regions over the right and bottom edges are clipped; later regions
// replace earlier ones, white pixels included; a region that starts off the
// page or cannot be decoded (MMR) leaves the page as it was.
TEST(Jbig2Picture, Composition) {
  sPageSpec page{50, 40, {}};
  page.regions.push_back(Region(50, 40, 0, 0, 11, 0, 4));
  page.regions.push_back(Region(30, 25, 35, 28, 12, 1, 4));   // over both edges
  page.regions.push_back(Region(20, 20, 5, 5, 13, 2, 4));     // replaces
  page.regions.push_back(Region(9, 31, 47, 3, 14, 3, 4));     // narrow strip at the right edge
  const sBitmap want = ExpectedPage(page, true);
  std::vector<sSegment> segs = DocumentSegments({page}, true);
  // A region that starts below the page and an MMR region: both ignored.
  sSegment below = Seg(0, 38, 1, GenericRegionData(4, 4, 0, 40, 0, {}, {0, 0, 0, 0, 0xFF, 0xAC}));
  sSegment mmr = Seg(0, 38, 1, GenericRegionData(8, 8, 0, 0, 0, {}, {0, 0, 0, 0, 0, 0}, true));
  segs.insert(segs.end() - 2, below);
  segs.insert(segs.end() - 2, mmr);
  for (size_t i = 0; i < segs.size(); ++i) segs[i].number = static_cast<uint32_t>(i);
  cPictJBIG2 d;
  ASSERT_TRUE(LoadPage(Sequential(segs), 0, d));
  EXPECT_EQ(FirstDifference(want, PageOf(d)), "");
}

// A region whose coded data is cut short decodes what the supplied zero
// bytes give and is drawn; the page still loads.
TEST(Jbig2Picture, TruncatedRegionStillDraws) {
  sPageSpec page{64, 64, {Region(64, 64, 0, 0, 15)}};
  auto segs = DocumentSegments({page}, true);
  segs[1].data.resize(40);
  cPictJBIG2 d;
  ASSERT_TRUE(LoadPage(Sequential(segs), 0, d));
  const sBitmap got = PageOf(d);
  // The first pixels are decoded from the real bytes.
  const sBitmap want = ExpectedPage(page, true);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(got.At(x, 0), want.At(x, 0)) << x;
}

// Streaming into a larger canvas gives the buffered page, centred, white
// background included.
TEST(Jbig2Picture, StreamingMatchesBuffer) {
  sPageSpec page{21, 13, {Region(10, 8, 3, 2, 16), Region(6, 6, 12, 9, 17, 2)}};
  const tBytes file = OnePageFile(page);
  cPictJBIG2 buffered;
  ASSERT_TRUE(LoadPage(file, 0, buffered));
  std::vector<uint32_t> pixels(25 * 17, 0);
  sPictCanvas canvas{pixels.data(), 25, 17, 0, 0, 0xFF00FF00u, 1.0, 0};
  cPictJBIG2 streamed;
  ASSERT_TRUE(streamed.AttachCanvas(&canvas));
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  ASSERT_TRUE(streamed.Load(&io));
  EXPECT_EQ(streamed.GetAttachedCanvas(), nullptr);
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 21; ++x)
      ASSERT_EQ(pixels[static_cast<size_t>(y + 2) * 25 + x + 2], buffered.Pixels32().data[y * 21 + x]) << x << "," << y;
  EXPECT_EQ(pixels[0], 0xFF00FF00u);
}

TEST(Jbig2Picture, FittedLoading) {
  sPageSpec page{80, 40, {Region(80, 40, 0, 0, 18)}};
  const std::vector<sPageSpec> pages = {page, {10, 10, {Region(10, 10, 0, 0, 19)}}};
  const tBytes file = Concat(FileHeader(2), Sequential(DocumentSegments(pages, true)));
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictJBIG2 d;
  cPictDummy small;
  ASSERT_TRUE(d.LoadImageFitted(&io, &small, 20, 20, 0, true, 0x123456));
  EXPECT_EQ(small.GetWidth(), 20);
  EXPECT_EQ(small.GetHeight(), 10);
  // Mostly black and white greys, no margins of the background colour.
  for (int i = 0; i < small.Pixels32().count; ++i) EXPECT_NE(small.Pixels32().data[i] & 0xFFFFFF, 0x123456u);
  EXPECT_EQ(d.GetAttachedCanvas(), nullptr);
  cPictDummy whole;
  ASSERT_TRUE(d.LoadImageFitted(&io, &whole, 20, 20, 1, true, 0));
  EXPECT_EQ(whole.GetWidth(), 10);
  cPictJBIG2 second;
  ASSERT_TRUE(LoadPage(file, 1, second));
  ASSERT_TRUE(whole.HasPixels());
  EXPECT_EQ(std::memcmp(whole.Pixels32().data, second.Pixels32().data, 400), 0);
  EXPECT_FALSE(d.LoadImageFitted(&io, &whole, 20, 20, 2, true, 0));
}

TEST(Jbig2Picture, OversizedPagesAreRefused) {
  auto segs = DocumentSegments({{20, 10, {Region(20, 10, 0, 0, 20)}}}, true);
  segs[0].data = PageInfoData(0xFFFFFFFFu, 0xFFFFFFFFu);  // striped page of open height
  const tBytes file = Sequential(segs);
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictJBIG2 d;
  EXPECT_EQ(d.GetImageCount(&io), 1);
  EXPECT_FALSE(d.LoadImage(&io, 0));
  EXPECT_FALSE(d.ReadInfo(&io, nullptr));
}

// A region that would cost far more decisions than its page has pixels (2^24
// columns off a 16 x 16 page) is left out without being decoded; a region
// after it still draws.
TEST(Jbig2Picture, RegionWorkIsBounded) {
  sPageSpec page{16, 16, {Region(8, 8, 4, 4, 22)}};
  auto segs = DocumentSegments({page}, true);
  sSegment huge = Seg(0, 38, 1, GenericRegionData(1u << 24, 16, 0, 0, 0, {}, {0x12, 0x34, 0x56, 0x78, 0xFF, 0xAC}));
  segs.insert(segs.begin() + 1, huge);
  for (size_t i = 0; i < segs.size(); ++i) segs[i].number = static_cast<uint32_t>(i);
  cPictJBIG2 d;
  ASSERT_TRUE(LoadPage(Sequential(segs), 0, d));
  EXPECT_EQ(FirstDifference(ExpectedPage(page, true), PageOf(d)), "");
}

TEST(Jbig2Picture, FactoryRecognisesJbig2) {
  const tBytes file = OnePageFile({24, 24, {Region(24, 24, 0, 0, 21)}});
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictBase* p = CreatePicture(&io, nullptr);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetFormat(), kPictFormatJBIG2);
  EXPECT_EQ(p->GetWidth(), 24);
  DeletePicture(&p);
  // Random bytes are not JBIG2.
  std::vector<uint8_t> noise(300);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 37 + 11);
  cBufWrapperIO nio(noise.data(), static_cast<uint32_t>(noise.size()));
  EXPECT_FALSE(cPictJBIG2::Detect(&nio, nullptr));
}

}  // namespace
