// The EXIF decoder over builder-made TIFF structures in both byte orders and
// BigTIFF: the property mapping, orientation, GPS signs, dates, the IFD1
// thumbnail (decoded, recorded, broken), sub-IFD offsets at and beyond the
// length, directories that point at themselves or their ancestors, the maker
// note, and the JPEG APP1 hook.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/exif.h"
#include "picture/pict_jpeg.h"
#include "tests/picture/jpeg_writer.h"
#include "tests/support/tiff_builder.h"

namespace {

using namespace twtest;

// A flat grey baseline JPEG of w x h (multiples of 8), every pixel 128 +
// dc / 8 (quantiser 1, DC only).
std::vector<uint8_t> GreyJpeg(int w, int h, int dc) {
  std::vector<uint8_t> f = {0xFF, 0xD8};
  std::vector<uint8_t> q{0x00};
  for (int i = 0; i < 64; ++i) q.push_back(1);
  Segment(f, 0xDB, q);
  Segment(f, 0xC0, FrameBody(8, w, h, {{1, 0x11, 0}}));
  std::vector<uint8_t> t = FlatTable(0x00, 17);
  const std::vector<uint8_t> ac = FlatTable(0x10, 255);
  t.insert(t.end(), ac.begin(), ac.end());
  Segment(f, 0xC4, t);
  Segment(f, 0xDA, ScanBody({{1, 0x00}}, 0, 63, 0));
  cJpegBits bits;
  const int blocks = (w / 8) * (h / 8);
  for (int i = 0; i < blocks; ++i) PutBlock(bits, i == 0 ? dc : 0, {});
  const std::vector<uint8_t> data = bits.Finish();
  f.insert(f.end(), data.begin(), data.end());
  Append(f, {0xFF, 0xD9});
  return f;
}

struct sRun {
  bool ok;
  int32_t error;
};

sRun Decode(const std::vector<uint8_t>& f, cPictBase& target, bool thumbs = true) {
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  cExifDecoder d;
  d.SetDecodeThumbnail(thumbs);
  const bool ok = d.Start(&target, &io, cExifDecoder::kIfd0);
  return {ok, d.GetError()};
}

int32_t IntProp(cPictBase& p, int id) {
  cPictPropInt* v = p.FindIntProp(id);
  return v != nullptr ? v->value : -12345;
}

double DoubleProp(cPictBase& p, int id) {
  cPictProp* v = p.GetOrAddProp(id, false);
  return v != nullptr && v->GetType() == kPropDouble ? static_cast<cPictPropDouble*>(v)->value : NAN;
}

std::u16string StringProp(cPictBase& p, int id) {
  cPictPropString* v = p.FindStringProp(id);
  return v != nullptr && v->value.text != nullptr ? std::u16string(v->value.text) : u"<none>";
}

struct sLayout {
  bool be, big;
};
const sLayout kLayouts[] = {{false, false}, {true, false}, {false, true}, {true, true}};

TEST(Exif, MainPropertiesInEveryLayout) {
  for (const sLayout& l : kLayouts) {
    SCOPED_TRACE(std::string(l.be ? "MM" : "II") + (l.big ? " big" : ""));
    cTiffBuilder b(l.be, l.big);
    const int i0 = b.AddIfd(), ex = b.AddIfd();
    b.AddShort(i0, 256, 640);
    b.AddLong(i0, 257, 480);
    b.AddShort(i0, 259, 6);
    b.AddAscii(i0, 271, "Maker \xC3\xA9");
    b.AddAscii(i0, 272, "M1");
    b.AddShort(i0, 274, 6);
    b.AddRationals(i0, 282, {{72, 1}});
    b.AddRationals(i0, 283, {{0, 0}});
    b.AddShort(i0, 296, 3);
    b.AddAscii(i0, 306, "2019:07:04 13:45:10");
    b.AddIfdPointer(i0, 34665, ex);
    b.AddRationals(ex, 33434, {{1, 250}});
    b.AddRationals(ex, 33437, {{28, 10}}, 10);
    b.AddShort(ex, 34855, 400);
    b.AddAscii(ex, 36867, "2019:07:04");
    b.AddBytes(ex, 37500, 7, {'N', 'o', 't', 'e', 1, 2, 3, 4, 5});
    cPictDummy p;
    const sRun r = Decode(b.Build(), p);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(IntProp(p, 18), 640);
    EXPECT_EQ(IntProp(p, 19), 480);
    EXPECT_EQ(IntProp(p, 20), 6);
    EXPECT_EQ(StringProp(p, 3), u"Maker \u00e9");
    EXPECT_EQ(StringProp(p, 4), u"M1");
    EXPECT_EQ(IntProp(p, 11), 0);
    EXPECT_EQ(IntProp(p, 12), 270);
    EXPECT_DOUBLE_EQ(DoubleProp(p, 8), 72.0);
    EXPECT_TRUE(std::isnan(DoubleProp(p, 9))) << "0/0 sets nothing";
    EXPECT_EQ(IntProp(p, 10), 0) << "centimetres";
    EXPECT_DOUBLE_EQ(DoubleProp(p, 5), 0.004);
    EXPECT_DOUBLE_EQ(DoubleProp(p, 6), 2.8);
    EXPECT_EQ(IntProp(p, 7), 400);
    auto* t2 = static_cast<cPictPropTimestamp*>(p.GetOrAddProp(2, false));
    ASSERT_NE(t2, nullptr);
    EXPECT_EQ(t2->value.year, 2019);
    EXPECT_EQ(t2->value.second, 10);
    auto* t1 = static_cast<cPictPropTimestamp*>(p.GetOrAddProp(1, false));
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(t1->value.day, 4);
    EXPECT_EQ(t1->value.hour, 0);
    auto* note = static_cast<cPictPropRaw*>(p.GetOrAddProp(21, false));
    ASSERT_NE(note, nullptr);
    ASSERT_EQ(note->bytes.count, 9);
    EXPECT_EQ(note->bytes.data[0], 'N');
    EXPECT_EQ(note->bytes.data[8], 5);
    EXPECT_NE(note->offset, 0u) << "an out-of-line maker note keeps its stream offset";
  }
}

TEST(Exif, OrientationTable) {
  const int32_t expect[10][2] = {{0, 0}, {0, 0}, {1, 0}, {0, 180}, {2, 0}, {1, 90}, {0, 270}, {1, 270}, {0, 90}, {0, 0}};
  for (uint16_t o = 0; o <= 9; ++o) {
    cTiffBuilder b(o % 2 == 1, false);
    const int i0 = b.AddIfd();
    if (o % 3 == 0) b.AddLong(i0, 274, o);
    else b.AddShort(i0, 274, o);
    cPictDummy p;
    ASSERT_TRUE(Decode(b.Build(), p).ok) << o;
    EXPECT_EQ(IntProp(p, 11), expect[o][0]) << o;
    EXPECT_EQ(IntProp(p, 12), expect[o][1]) << o;
  }
}

TEST(Exif, WrongTypesFailTheirDirectory) {
  struct sCase {
    const char* what;
    uint16_t tag, type;
    std::vector<uint8_t> value;
    bool ok;
  };
  const std::vector<sCase> cases = {
      {"Make of only the NUL", 271, 2, {0}, true},
      {"Make UNDEFINED", 271, 7, {'A', 0}, false},
      {"Compression LONG count 2", 259, 4, {1, 0, 0, 0, 1, 0, 0, 0}, false},
      {"Compression SHORT count 2", 259, 3, {1, 0, 1, 0}, false},
      {"Orientation BYTE", 274, 1, {1}, false},
      {"XResolution SHORT", 282, 3, {1, 0}, false},
      {"DateTime too short", 306, 2, {'2', '0', '1', '9', 0}, false},
      {"DateTime of blanks", 306, 2, {' ', ' ', ' ', ' ', ':', ' ', ' ', ':', ' ', ' ', 0}, true},
      {"ISO LONG", 34855, 4, {1, 0, 0, 0}, false},
      {"unlisted tag of any type", 999, 12, {0, 0, 0, 0, 0, 0, 0, 0}, true},
  };
  for (const sCase& c : cases) {
    cTiffBuilder b(false, false);
    const int i0 = b.AddIfd();
    b.AddBytes(i0, c.tag, c.type, c.value);
    // AddBytes writes a count of bytes: fix the count for wider types.
    const uint32_t width = c.type == 3 ? 2 : c.type == 4 ? 4 : c.type == 12 ? 8 : 1;
    b.OverrideLastCount(i0, c.value.size() / width);
    cPictDummy p;
    const sRun r = Decode(b.Build(), p);
    EXPECT_EQ(r.ok, c.ok) << c.what;
    if (!c.ok) {
      EXPECT_EQ(r.error, 7) << c.what;
    }
    if (c.tag == 306) {
      EXPECT_EQ(p.GetOrAddProp(2, false), nullptr) << c.what;
    }
  }
}

TEST(Exif, GpsSignsAndRefusals) {
  struct sCase {
    const char* what;
    std::string latRef, lonRef;
    int altRef;  // -1: none
    bool ok;
    double lat, lon, alt;
  };
  const std::vector<sCase> cases = {
      {"south west below", "S", "W", 1, true, -48.51, -2.5, -120.5},
      {"north east above", "N", "E", 0, true, 48.51, 2.5, 120.5},
      {"empty references", "", "", -1, true, 48.51, 2.5, 120.5},
      {"altitude reference 2", "N", "E", 2, false, 48.51, 2.5, NAN},
      {"latitude reference X", "X", "E", 0, false, NAN, NAN, NAN},
  };
  for (const sCase& c : cases) {
    for (bool be : {false, true}) {
      cTiffBuilder b(be, false);
      const int i0 = b.AddIfd(), gps = b.AddIfd();
      b.AddIfdPointer(i0, 34853, gps);
      if (c.latRef.empty()) b.AddBytes(gps, 1, 2, {0, 0});
      else b.AddAscii(gps, 1, c.latRef);
      b.AddRationals(gps, 2, {{48, 1}, {30, 1}, {36, 1}});
      if (c.lonRef.empty()) b.AddBytes(gps, 3, 2, {0, 0});
      else b.AddAscii(gps, 3, c.lonRef);
      b.AddRationals(gps, 4, {{2, 1}, {30, 1}});
      if (c.altRef >= 0) b.AddBytes(gps, 5, 1, {static_cast<uint8_t>(c.altRef)});
      b.AddRationals(gps, 6, {{241, 2}});
      cPictDummy p;
      const sRun r = Decode(b.Build(), p);
      EXPECT_EQ(r.ok, c.ok) << c.what;
      auto same = [](double a, double e) { return std::isnan(e) ? std::isnan(a) : std::fabs(a - e) < 1e-9; };
      EXPECT_TRUE(same(DoubleProp(p, 15), c.lat)) << c.what << " " << DoubleProp(p, 15);
      EXPECT_TRUE(same(DoubleProp(p, 16), c.lon)) << c.what << " " << DoubleProp(p, 16);
      EXPECT_TRUE(same(DoubleProp(p, 17), c.alt)) << c.what << " " << DoubleProp(p, 17);
    }
  }
}

std::vector<uint8_t> WithThumbnail(bool be, bool big, uint16_t compression, const std::vector<uint8_t>& jpeg,
                                   bool ifd1HasNext = false) {
  cTiffBuilder b(be, big);
  const int i0 = b.AddIfd(), i1 = b.AddIfd();
  const int blk = b.AddBlock(jpeg);
  b.AddShort(i0, 256, 16);
  b.SetNext(i0, i1);
  b.AddShort(i1, 259, compression);
  b.AddBlockOffsets(i1, 513, {blk});
  b.AddBlockSizes(i1, 514, {blk});
  if (ifd1HasNext) {
    // IFD1 points on to a directory that would fail if walked.
    const int i2 = b.AddIfd();
    b.AddBytes(i2, 271, 7, {1, 2});
    b.SetNext(i1, i2);
  }
  return b.Build();
}

TEST(Exif, Ifd1Thumbnail) {
  const std::vector<uint8_t> jpeg = GreyJpeg(16, 8, 80);
  for (const sLayout& l : kLayouts) {
    cPictDummy p;
    ASSERT_TRUE(Decode(WithThumbnail(l.be, l.big, 6, jpeg, true), p).ok);
    cPictPropImage* t = p.FindThumbnailProp();
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->GetPicture(), nullptr);
    ASSERT_TRUE(t->GetPicture()->HasPixels());
    EXPECT_EQ(t->GetPicture()->GetWidth(), 16);
    EXPECT_EQ(t->GetPicture()->Pixels32().data[0], 0xFF8A8A8Au) << "128 + 80 / 8";
    EXPECT_EQ(IntProp(p, 20), -12345) << "IFD1's compression is not the picture's";
  }
  // Not asked to decode: recorded without pixels.
  cPictDummy q;
  ASSERT_TRUE(Decode(WithThumbnail(false, false, 6, jpeg), q, false).ok);
  ASSERT_NE(q.FindThumbnailProp(), nullptr);
  EXPECT_FALSE(q.FindThumbnailProp()->GetPicture()->HasPixels());
  // Compression 1: nothing stored.
  cPictDummy u;
  ASSERT_TRUE(Decode(WithThumbnail(false, false, 1, jpeg), u).ok);
  EXPECT_EQ(u.FindThumbnailProp(), nullptr);
  // A thumbnail that does not decode: error 8, the walk goes on.
  std::vector<uint8_t> broken = jpeg;
  broken.resize(20);
  cPictDummy v;
  const sRun r = Decode(WithThumbnail(true, false, 6, broken), v);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.error, 8);
  EXPECT_EQ(v.FindThumbnailProp(), nullptr);
}

TEST(Exif, SubIfdOffsetsAtAndBeyondTheLength) {
  for (int delta : {0, -1, 1}) {
    cTiffBuilder b(false, false);
    const int i0 = b.AddIfd();
    b.AddShort(i0, 256, 1);
    b.AddLong(i0, 34665, 0);
    const size_t size = b.Build().size();
    cTiffBuilder c(false, false);
    const int j0 = c.AddIfd();
    c.AddShort(j0, 256, 1);
    c.AddLong(j0, 34665, static_cast<uint32_t>(static_cast<int64_t>(size) + delta));
    cPictDummy p;
    const sRun r = Decode(c.Build(), p);
    EXPECT_EQ(r.ok, delta == 0) << delta;
  }
}

TEST(Exif, BigTiffPointerOfTypeLong8FailsAndLongIsFollowed) {
  for (uint16_t type : {uint16_t{16}, uint16_t{4}}) {
    cTiffBuilder b(false, true);
    const int i0 = b.AddIfd(), ex = b.AddIfd();
    b.AddIfdPointer(i0, 34665, ex, type);
    b.AddShort(ex, 34855, 200);
    cPictDummy p;
    const sRun r = Decode(b.Build(), p);
    EXPECT_EQ(r.ok, type == 4);
    EXPECT_EQ(IntProp(p, 7), type == 4 ? 200 : -12345);
  }
}

TEST(Exif, DirectoriesThatPointBackFailInsteadOfRecursing) {
  // An EXIF IFD pointing at itself, one pointing back at IFD0, and an
  // interoperability IFD pointing at the EXIF IFD.
  for (int variant = 0; variant < 3; ++variant) {
    cTiffBuilder b(variant == 1, false);
    const int i0 = b.AddIfd(), ex = b.AddIfd(), io = b.AddIfd();
    b.AddIfdPointer(i0, 34665, ex);
    if (variant == 0) b.AddIfdPointer(ex, 34665, ex);
    if (variant == 1) b.AddIfdPointer(ex, 34665, i0);
    if (variant == 2) {
      b.AddIfdPointer(ex, 40965, io);
      b.AddIfdPointer(io, 34665, ex);
    }
    cPictDummy p;
    const sRun r = Decode(b.Build(), p);
    EXPECT_FALSE(r.ok) << variant;
    EXPECT_EQ(r.error, kTiffCycle) << variant;
  }
  // A chain of distinct directories deeper than the limit.
  cTiffBuilder b(false, false);
  std::vector<int> ifds;
  for (int i = 0; i < 12; ++i) ifds.push_back(b.AddIfd());
  for (int i = 0; i + 1 < 12; ++i) b.AddIfdPointer(ifds[i], 34665, ifds[i + 1]);
  cPictDummy p;
  const sRun r = Decode(b.Build(), p);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, kTiffCycle);
  // Two levels, as well-formed files nest, are fine.
  cTiffBuilder ok(false, false);
  const int a = ok.AddIfd(), e = ok.AddIfd(), i = ok.AddIfd();
  ok.AddIfdPointer(a, 34665, e);
  ok.AddIfdPointer(e, 40965, i);
  cPictDummy q;
  EXPECT_TRUE(Decode(ok.Build(), q).ok);
}

TEST(Exif, ReadHeaderOfTheDecoderRefuses) {
  cTiffBuilder b(false, false);
  b.AddIfd();
  const auto f = b.Build();
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  cExifDecoder d;
  EXPECT_FALSE(d.ReadHeader(&io, cTiffGeneric::kWholeStream));
}

std::vector<uint8_t> JpegWithApp1(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& tiff) {
  std::vector<uint8_t> body = {'E', 'x', 'i', 'f', 0, 0};
  body.insert(body.end(), tiff.begin(), tiff.end());
  std::vector<uint8_t> f = {0xFF, 0xD8};
  Segment(f, 0xE1, body);
  f.insert(f.end(), jpeg.begin() + 2, jpeg.end());
  return f;
}

TEST(Exif, JpegApp1HookSetsPropertiesAndThumbnail) {
  const std::vector<uint8_t> thumb = GreyJpeg(8, 8, -80);
  std::vector<uint8_t> tiff = WithThumbnail(true, false, 6, thumb);
  {
    // Add an orientation to IFD0 through a fresh builder.
    cTiffBuilder b(true, false);
    const int i0 = b.AddIfd(), i1 = b.AddIfd();
    const int blk = b.AddBlock(thumb);
    b.AddShort(i0, 274, 8);
    b.AddAscii(i0, 271, "Cam");
    b.SetNext(i0, i1);
    b.AddShort(i1, 259, 6);
    b.AddBlockOffsets(i1, 513, {blk});
    b.AddBlockSizes(i1, 514, {blk});
    tiff = b.Build();
  }
  const std::vector<uint8_t> file = JpegWithApp1(GreyJpeg(16, 16, 0), tiff);
  cPictJPEG j;
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  sPictInfo info;
  ASSERT_TRUE(j.ReadInfo(&io, &info));
  EXPECT_TRUE(info.hasPreview);
  EXPECT_EQ(IntProp(j, 12), 90);
  EXPECT_EQ(StringProp(j, 3), u"Cam");
  io.Seek(0);
  ASSERT_TRUE(j.Load(&io));
  EXPECT_EQ(j.GetWidth(), 16);
  cPictDummy preview;
  int32_t w = 0, h = 0;
  io.Seek(0);
  ASSERT_TRUE(j.LoadPreview(&io, &preview, w, h));
  EXPECT_EQ(preview.GetWidth(), 8);
  EXPECT_EQ(preview.Pixels32().data[0], 0xFF767676u) << "128 - 80 / 8";
  // A broken EXIF block ends the JPEG parse.
  cTiffBuilder bad(false, false);
  const int k = bad.AddIfd();
  bad.AddBytes(k, 274, 1, {1});
  const std::vector<uint8_t> badFile = JpegWithApp1(GreyJpeg(8, 8, 0), bad.Build());
  cPictJPEG j2;
  cBufWrapperIO io2(badFile.data(), static_cast<uint32_t>(badFile.size()));
  EXPECT_FALSE(j2.Load(&io2));
}

}  // namespace
