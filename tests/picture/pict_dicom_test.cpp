// The DICOM decoders on data sets written by tests/picture/dicom_writer.h:
// the element walks, frame records and multi-frame split, native grey and
// RGB pixels by the formulas, encapsulated JPEG 2000 and JPEG, fitted
// loading, and the limits (nesting, frame counts, 64-bit frame sizes, short
// encapsulated data, padded odd frames).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "base/memio.h"
#include "picture/pict_dicom.h"
#include "picture/pict_factory.h"
#include "picture/pict_jp2.h"
#include "picture/pict_jpeg.h"
#include "tests/picture/dicom_writer.h"
#include "tests/support/test_support.h"

namespace {

using twtest::DicomWriter;

std::vector<uint8_t> Le16s(const std::vector<uint16_t>& v) {
  std::vector<uint8_t> out;
  for (uint16_t s : v) {
    out.push_back(static_cast<uint8_t>(s));
    out.push_back(static_cast<uint8_t>(s >> 8));
  }
  return out;
}

std::vector<uint8_t> Fixture(const char* name) {
  std::ifstream in(twtest::SourcePath(std::string("tests/picture/data/") + name), std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Picture pixel (x, y), y counted from the top.
uint32_t At32(cPictBase& p, int32_t x, int32_t y) {
  return p.Pixels32().data[static_cast<size_t>(p.GetHeight() - 1 - y) * p.GetWidth() + x];
}
uint64_t At64(cPictBase& p, int32_t x, int32_t y) {
  return p.Pixels64().data[static_cast<size_t>(p.GetHeight() - 1 - y) * p.GetWidth() + x];
}
uint64_t Grey64(uint32_t v) { return uint64_t{0xFFFF} << 48 | uint64_t{v} << 32 | uint64_t{v} << 16 | v; }

// A main image of rows x columns with the given samples.
std::vector<uint8_t> GreyFile(bool explicitVr, uint16_t rows, uint16_t columns, uint16_t bits, uint16_t stored,
                              const std::vector<uint8_t>& pixels) {
  DicomWriter w(explicitVr);
  w.Image(rows, columns, 1, bits, stored);
  w.Pixels(pixels, bits == 16);
  return w.bytes;
}

template <class T>
struct sLoaded {
  explicit sLoaded(const std::vector<uint8_t>& file, int32_t image = 0)
      : bytes(file), io(bytes.data(), static_cast<uint32_t>(bytes.size())) {
    ok = pict.LoadImage(&io, image);
  }
  std::vector<uint8_t> bytes;
  cBufWrapperIO io;
  T pict;
  bool ok = false;
};

TEST(Dicom, SixteenBitGreyStretchesItsRangeToFullScale) {
  for (bool explicitVr : {true, false}) {
    const auto file = GreyFile(explicitVr, 1, 3, 16, 16, Le16s({100, 600, 1100}));
    if (explicitVr) {
      sLoaded<cPictDICOM> d(file);
      ASSERT_TRUE(d.ok);
      ASSERT_TRUE(d.pict.IsHighDepth());
      EXPECT_EQ(At64(d.pict, 0, 0), Grey64(0));
      EXPECT_EQ(At64(d.pict, 1, 0), Grey64(32767));  // trunc(500 * 65535 / 1000)
      EXPECT_EQ(At64(d.pict, 2, 0), Grey64(65535));
    } else {
      sLoaded<cPictDICOMLegacy> d(file);
      ASSERT_TRUE(d.ok);
      EXPECT_EQ(At64(d.pict, 2, 0), Grey64(65535));
      EXPECT_EQ(At64(d.pict, 0, 0), Grey64(0));
    }
  }
}

TEST(Dicom, GreyFormulas) {
  struct sRow {
    const char* what;
    uint16_t bits, stored;
    std::vector<uint16_t> samples;
    std::vector<uint32_t> want;
  };
  const sRow rows[] = {
      {"8-bit 10..61", 8, 8, {10, 61, 30}, {0, 255, 100}},
      {"8-bit 20..220: 200 x (255 / 200) truncates", 8, 8, {20, 220, 120}, {0, 254, 127}},
      {"flat 12 bits stored: v x 65535 / 4095", 16, 12, {4095, 4095, 4095}, {65535, 65535, 65535}},
      {"flat 12 bits stored, 100", 16, 12, {100, 100, 100}, {1600, 1600, 1600}},
      {"flat 8 bits, 7 stored", 8, 7, {50, 50, 50}, {100, 100, 100}},
  };
  for (bool explicitVr : {true, false}) {
    for (const sRow& r : rows) {
      std::vector<uint8_t> pixels;
      if (r.bits == 16) {
        pixels = Le16s(r.samples);
      } else {
        for (uint16_t s : r.samples) pixels.push_back(static_cast<uint8_t>(s));
        pixels.push_back(0);  // pad 3 bytes to 4: the frame is 3, the value 4
      }
      const auto file = GreyFile(explicitVr, 1, 3, r.bits, r.stored, pixels);
      std::vector<uint8_t> bytes = file;
      cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
      std::unique_ptr<cPictBase> p;
      if (explicitVr)
        p = std::make_unique<cPictDICOM>();
      else
        p = std::make_unique<cPictDICOMLegacy>();
      ASSERT_TRUE(p->Load(&io)) << r.what << (explicitVr ? " explicit" : " legacy");
      for (int32_t x = 0; x < 3; ++x) {
        if (r.bits == 16)
          EXPECT_EQ(At64(*p, x, 0), Grey64(r.want[x])) << r.what << " " << x;
        else
          EXPECT_EQ(At32(*p, x, 0), 0xFF000000u | r.want[x] * 0x010101u) << r.what << " " << x;
      }
    }
  }
}

TEST(Dicom, RowsAreStoredBottomUp) {
  const auto file = GreyFile(true, 2, 2, 8, 8, {0, 0, 255, 255});
  sLoaded<cPictDICOM> d(file);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pict.Pixels32().data[0], 0xFFFFFFFFu);  // bottom row: the second stored row
  EXPECT_EQ(At32(d.pict, 0, 0), 0xFF000000u);
}

TEST(Dicom, PlanarAndInterleavedRgb) {
  for (bool explicitVr : {true, false}) {
    DicomWriter planar(explicitVr);
    planar.Image(2, 3, 3, 8, 8, 1);
    std::vector<uint8_t> px(6, 10);
    px.insert(px.end(), 6, 20);
    px.insert(px.end(), 6, 30);
    planar.Pixels(px);
    std::unique_ptr<cPictBase> p;
    if (explicitVr)
      p = std::make_unique<cPictDICOM>();
    else
      p = std::make_unique<cPictDICOMLegacy>();
    cBufWrapperIO io(planar.bytes.data(), static_cast<uint32_t>(planar.bytes.size()));
    ASSERT_TRUE(p->Load(&io));
    for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(p->Pixels32().data[i], 0xFF0A141Eu) << i;

    // Interleaved 16-bit with 10 bits stored: each channel times 65535 / 1023.
    DicomWriter inter(explicitVr);
    inter.Image(1, 2, 3, 16, 10);
    inter.Pixels(Le16s({1023, 0, 512, 1, 2, 3}), true);
    cBufWrapperIO io2(inter.bytes.data(), static_cast<uint32_t>(inter.bytes.size()));
    if (explicitVr)
      p = std::make_unique<cPictDICOM>();
    else
      p = std::make_unique<cPictDICOMLegacy>();
    ASSERT_TRUE(p->Load(&io2));
    const double f = 65535.0 / 1023;
    auto px64 = [](uint64_t r, uint64_t g, uint64_t b) { return uint64_t{0xFFFF} << 48 | r << 32 | g << 16 | b; };
    EXPECT_EQ(At64(*p, 0, 0), px64(65535, 0, static_cast<uint64_t>(512 * f)));
    EXPECT_EQ(At64(*p, 1, 0), px64(static_cast<uint64_t>(1 * f), static_cast<uint64_t>(2 * f),
                                   static_cast<uint64_t>(3 * f)));
  }
}

TEST(Dicom, MultiFrameSplitsAfterTheOtherRecords) {
  DicomWriter w(true);
  w.Image(2, 2, 1, 8, 8);
  w.Pixels({1, 2, 3, 4, 10, 20, 30, 40, 5, 5, 5, 5});  // three frames of 4
  const auto& file = w.bytes;
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictDICOM d;
  EXPECT_EQ(d.GetImageCount(&io), 3);
  int32_t wd = 0, ht = 0;
  EXPECT_TRUE(d.GetImageInfo(&io, 2, wd, ht));
  EXPECT_EQ(wd, 2);
  EXPECT_FALSE(d.GetImageInfo(&io, 3, wd, ht));
  EXPECT_FALSE(d.LoadImage(&io, 3));
  // Frame 1 (second): 10..40 stretched.
  ASSERT_TRUE(d.LoadImage(&io, 1));
  EXPECT_EQ(At32(d, 0, 0), 0xFF000000u);
  EXPECT_EQ(At32(d, 1, 1), 0xFFFFFFFFu);
  // The flat third frame keeps its values.
  ASSERT_TRUE(d.LoadImage(&io, 2));
  EXPECT_EQ(At32(d, 0, 0), 0xFF050505u);
  // The legacy walk does not split: three frame sizes are no raw size.
  DicomWriter l(false);
  l.Image(2, 2, 1, 8, 8);
  l.Pixels({1, 2, 3, 4, 10, 20, 30, 40, 5, 5, 5, 5});
  cBufWrapperIO lio(l.bytes.data(), static_cast<uint32_t>(l.bytes.size()));
  cPictDICOMLegacy legacy;
  EXPECT_EQ(legacy.GetImageCount(&lio), 1);
  EXPECT_FALSE(legacy.LoadImage(&lio, 0));
}

TEST(Dicom, OddFramesWithTheirPaddingByteAreNative) {
  // 3 x 3 8-bit: a 9-byte frame is stored as 10 bytes.
  std::vector<uint8_t> px = {0, 10, 20, 30, 40, 50, 60, 70, 80, 0};
  for (bool explicitVr : {true, false}) {
    const auto file = GreyFile(explicitVr, 3, 3, 8, 8, px);
    std::vector<uint8_t> bytes = file;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::unique_ptr<cPictBase> p;
    if (explicitVr)
      p = std::make_unique<cPictDICOM>();
    else
      p = std::make_unique<cPictDICOMLegacy>();
    ASSERT_TRUE(p->Load(&io)) << explicitVr;
    EXPECT_EQ(At32(*p, 2, 2), 0xFFFFFFFFu);
  }
  // Three padded odd frames (27 bytes + 1) split into three images.
  DicomWriter w(true);
  w.Image(3, 3, 1, 8, 8);
  std::vector<uint8_t> three(28, 7);
  w.Pixels(three);
  cBufWrapperIO io(w.bytes.data(), static_cast<uint32_t>(w.bytes.size()));
  cPictDICOM d;
  EXPECT_EQ(d.GetImageCount(&io), 3);
  // An even frame with one byte more is no padded frame: it stays one image
  // and is taken for encapsulated data, which it is not.
  const auto evenPlusOne = GreyFile(true, 2, 2, 8, 8, {1, 2, 3, 4, 5, 0});
  sLoaded<cPictDICOM> e(evenPlusOne);
  EXPECT_EQ(e.pict.GetImageCount(&e.io), 1);
  EXPECT_FALSE(e.ok);
}

TEST(Dicom, IconSequenceItemIsTheSecondImage) {
  DicomWriter w(true);
  w.Image(1, 4, 1, 8, 8);
  w.SequenceStart(0x0088, 0x0200);  // icon image sequence
  w.ItemStart();
  w.Image(2, 2, 1, 8, 8);
  w.Pixels({9, 9, 9, 9});
  w.ItemEnd();
  w.SequenceEnd();
  w.Pixels({0, 1, 2, 3});
  cBufWrapperIO io(w.bytes.data(), static_cast<uint32_t>(w.bytes.size()));
  cPictDICOM d;
  ASSERT_EQ(d.GetImageCount(&io), 2);
  int32_t wd, ht;
  ASSERT_TRUE(d.GetImageInfo(&io, 0, wd, ht));
  EXPECT_EQ(wd, 4);
  EXPECT_EQ(ht, 1);
  ASSERT_TRUE(d.GetImageInfo(&io, 1, wd, ht));
  EXPECT_EQ(wd, 2);
  EXPECT_EQ(ht, 2);
  ASSERT_TRUE(d.LoadImage(&io, 1));
  EXPECT_EQ(At32(d, 1, 1), 0xFF090909u);
}

TEST(Dicom, LegacyItemsAreImagesInTheOrderMet) {
  DicomWriter w(false);
  w.Image(1, 1, 1, 8, 8);
  w.SequenceStart(0x0040, 0x0100);
  w.ItemStart();
  w.Image(2, 3, 1, 8, 8);
  w.Pixels({1, 2, 3, 4, 5, 6});
  w.ItemEnd();
  w.ItemStart();
  w.Image(4, 5, 1, 8, 8);  // no pixel data: not an image
  w.ItemEnd();
  w.ItemStart();
  w.Image(2, 1, 1, 8, 8);
  w.Pixels({7, 8});
  w.ItemEnd();
  w.SequenceEnd();
  w.Pixels({42, 0});  // the top level: a 1 x 1 frame with its padding byte
  cBufWrapperIO io(w.bytes.data(), static_cast<uint32_t>(w.bytes.size()));
  cPictDICOMLegacy d;
  ASSERT_EQ(d.GetImageCount(&io), 3);
  const int32_t want[3][2] = {{1, 1}, {3, 2}, {1, 2}};
  for (int32_t i = 0; i < 3; ++i) {
    int32_t wd, ht;
    ASSERT_TRUE(d.GetImageInfo(&io, i, wd, ht));
    EXPECT_EQ(wd, want[i][0]) << i;
    EXPECT_EQ(ht, want[i][1]) << i;
  }
  ASSERT_TRUE(d.LoadImage(&io, 0));
  EXPECT_EQ(At32(d, 0, 0), 0xFF000000u | 42 * 0x010101u);
}

// Walk rules: the case's file and whether the walk accepts it.
TEST(Dicom, WalkRules) {
  struct sRow {
    const char* what;
    bool explicitVr;
    std::vector<uint8_t> file;
    bool accepted;
  };
  std::vector<sRow> rows;
  {
    DicomWriter w(false);
    w.Image(1, 2, 1, 8, 8);
    w.Pixels({1, 2});
    rows.push_back({"legacy: ends right after the pixel data", false, w.bytes, true});
    w.bytes.push_back(0);
    w.bytes.push_back(0);
    rows.push_back({"legacy: two stray zero bytes at the end", false, w.bytes, true});
    w.bytes.push_back(0);
    rows.push_back({"legacy: three stray bytes", false, w.bytes, false});
  }
  {
    DicomWriter w(false);
    w.Image(1, 2, 1, 8, 8);
    w.Pixels({1, 2});
    w.US(0x0010, 0x0010, 5);
    rows.push_back({"legacy: a lower group after the pixel data", false, w.bytes, true});
  }
  {
    DicomWriter w(false);
    w.US(0x0030, 0x0001, 1);
    w.Image(1, 2, 1, 8, 8);
    w.Pixels({1, 2});
    rows.push_back({"legacy: a lower group before the pixel data", false, w.bytes, false});
  }
  {
    DicomWriter w(false);
    w.US(0x0028, 0x0010, 1);
    w.US(0x0028, 0x0010, 1);
    w.US(0x0028, 0x0011, 2);
    w.US(0x0028, 0x0100, 8);
    w.US(0x0028, 0x0101, 8);
    w.Pixels({1, 2});
    rows.push_back({"legacy: rows given twice", false, w.bytes, false});
  }
  {
    DicomWriter w(false);
    w.Image(1, 2, 1, 8, 8);
    w.Element(0x0028, 0x0103, "US", {0, 0, 0, 0});
    w.Pixels({1, 2});
    rows.push_back({"legacy: an image attribute of length 4", false, w.bytes, false});
  }
  {
    DicomWriter w(true);
    w.US(0x0028, 0x0011, 2);
    w.US(0x0028, 0x0010, 1);
    rows.push_back({"explicit: elements out of order", true, w.bytes, false});
  }
  {
    DicomWriter w(true);
    w.Image(1, 2, 1, 8, 8);
    w.Pixels({1, 2});
    DicomWriter implicit(false);
    implicit.Image(1, 2, 1, 8, 8);
    implicit.Pixels({1, 2});
    std::vector<uint8_t> f(w.bytes.begin(), w.bytes.begin() + 132);
    f.insert(f.end(), implicit.bytes.begin(), implicit.bytes.end());
    rows.push_back({"explicit: DICM followed by implicit-VR elements", true, f, false});
    rows.push_back({"explicit: well formed", true, w.bytes, true});
  }
  {
    DicomWriter w(true);
    w.US(0x0028, 0x0002, 1);
    w.UL(0x0028, 0x0010, 1);
    w.UL(0x0028, 0x0011, 2);
    w.US(0x0028, 0x0100, 8);
    w.US(0x0028, 0x0101, 8);
    w.Pixels({1, 2});
    rows.push_back({"explicit: attributes as UL", true, w.bytes, true});
  }
  {
    DicomWriter w(true);
    w.US(0x0028, 0x0002, 1);
    w.US(0x0028, 0x0010, 0);
    w.US(0x0028, 0x0011, 2);
    w.Pixels({1, 2});
    rows.push_back({"explicit: zero rows", true, w.bytes, false});
  }
  {
    DicomWriter w(true);
    w.Image(1, 2, 1, 8, 8);
    w.Element(0x0028, 0x0103, "SS", {0, 0});
    w.Pixels({1, 2});
    rows.push_back({"explicit: an attribute with the wrong VR", true, w.bytes, false});
  }
  for (bool explicitVr : {true, false}) {
    // Sequences nested far deeper than any real file, the image innermost.
    DicomWriter w(explicitVr);
    for (int i = 0; i < 200; ++i) {
      w.SequenceStart(0x0040, 0x0100);
      w.ItemStart();
    }
    w.Image(1, 2, 1, 8, 8);
    w.Pixels({1, 2});
    rows.push_back({"nesting 200 deep", explicitVr, w.bytes, false});
    DicomWriter shallow(explicitVr);
    for (int i = 0; i < 8; ++i) {
      shallow.SequenceStart(0x0040, 0x0100);
      shallow.ItemStart();
    }
    shallow.Image(1, 2, 1, 8, 8);
    shallow.Pixels({1, 2});
    rows.push_back({"nesting 8 deep", explicitVr, shallow.bytes, true});
  }
  for (const sRow& r : rows) {
    std::vector<uint8_t> bytes = r.file;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    sPictInfo info;
    const bool got = r.explicitVr ? cPictDICOM::Detect(&io, &info) : cPictDICOMLegacy::Detect(&io, &info);
    EXPECT_EQ(got, r.accepted) << r.what;
  }
}

TEST(Dicom, FrameSizesAreSixtyFourBitAndFrameCountsCapped) {
  // Columns 2^31 + 4 by 2 rows: 2^32 + 8 bytes, which 32-bit arithmetic
  // would take for 8 and split 24 bytes into three frames.
  DicomWriter w(true);
  w.US(0x0028, 0x0002, 1);
  w.US(0x0028, 0x0010, 2);
  w.UL(0x0028, 0x0011, 0x80000004u);
  w.US(0x0028, 0x0100, 8);
  w.US(0x0028, 0x0101, 8);
  w.Pixels(std::vector<uint8_t>(24, 1));
  cBufWrapperIO io(w.bytes.data(), static_cast<uint32_t>(w.bytes.size()));
  cPictDICOM d;
  EXPECT_EQ(d.GetImageCount(&io), 1);
  EXPECT_FALSE(d.LoadImage(&io, 0));

  // 1 x 1 frames: far more than the cap.
  const int32_t frames = cPictDICOMFrames::kMaxFrames + 1000;
  DicomWriter many(true);
  many.Image(1, 1, 1, 8, 8);
  many.Pixels(std::vector<uint8_t>(static_cast<size_t>(frames), 3));
  cBufWrapperIO mio(many.bytes.data(), static_cast<uint32_t>(many.bytes.size()));
  cPictDICOM m;
  EXPECT_EQ(m.GetImageCount(&mio), cPictDICOMFrames::kMaxFrames);
  EXPECT_TRUE(m.LoadImage(&mio, cPictDICOMFrames::kMaxFrames - 1));
}

TEST(Dicom, EncapsulatedJpeg2000AndJpeg) {
  const std::vector<uint8_t> j2k = Fixture("j2k_rgb12.j2k");
  ASSERT_FALSE(j2k.empty());
  cBufWrapperIO jio(j2k.data(), static_cast<uint32_t>(j2k.size()));
  cPictJ2K direct;
  ASSERT_TRUE(direct.Load(&jio));
  for (bool explicitVr : {true, false}) {
    DicomWriter w(explicitVr);
    w.Image(static_cast<uint16_t>(direct.GetHeight()), static_cast<uint16_t>(direct.GetWidth()), 3, 16, 12);
    if (explicitVr) {
      w.Encapsulated(j2k, true);
    } else {
      // The legacy layout: a defined-length value holding the offset table
      // with one entry, the fragment header and the codestream (+20).
      DicomWriter inner(false);
      inner.ItemStart(4);
      inner.U32(0);
      std::vector<uint8_t> f = j2k;
      if (f.size() % 2) f.push_back(0);
      inner.ItemStart(static_cast<uint32_t>(f.size()));
      inner.bytes.insert(inner.bytes.end(), f.begin(), f.end());
      w.Pixels(inner.bytes);
    }
    std::unique_ptr<cPictBase> p;
    if (explicitVr)
      p = std::make_unique<cPictDICOM>();
    else
      p = std::make_unique<cPictDICOMLegacy>();
    cBufWrapperIO io(w.bytes.data(), static_cast<uint32_t>(w.bytes.size()));
    ASSERT_TRUE(p->Load(&io)) << explicitVr;
    ASSERT_EQ(p->GetWidth(), direct.GetWidth());
    ASSERT_EQ(p->Pixels32().count, direct.Pixels32().count);
    EXPECT_EQ(std::memcmp(p->Pixels32().data, direct.Pixels32().data, direct.Pixels32().count * 4u), 0);
  }

  // JPEG after an empty offset table (+16): the pixels stretched to full
  // scale.
  const std::vector<uint8_t> jpeg = Fixture("jpeg_grey.jpg");
  ASSERT_FALSE(jpeg.empty());
  cBufWrapperIO jpio(jpeg.data(), static_cast<uint32_t>(jpeg.size()));
  cPictJPEG plain;
  ASSERT_TRUE(plain.Load(&jpio));
  cPictDummy stretched;
  ASSERT_TRUE(stretched.StretchLevels(&plain));
  DicomWriter w(true);
  w.Image(static_cast<uint16_t>(plain.GetHeight()), static_cast<uint16_t>(plain.GetWidth()), 1, 8, 8);
  w.Encapsulated(jpeg, false);
  cBufWrapperIO io(w.bytes.data(), static_cast<uint32_t>(w.bytes.size()));
  std::unique_ptr<cPictBase> viaFactory(CreatePicture(&io, nullptr));
  ASSERT_NE(viaFactory, nullptr);
  EXPECT_EQ(viaFactory->GetFormat(), kPictFormatDICOM);
  ASSERT_EQ(viaFactory->Pixels32().count, stretched.Pixels32().count);
  EXPECT_EQ(std::memcmp(viaFactory->Pixels32().data, stretched.Pixels32().data, stretched.Pixels32().count * 4u), 0);
}

TEST(Dicom, ShortEncapsulatedDataOpensNoWindow) {
  for (uint32_t length : {2u, 16u, 20u, 24u}) {
    DicomWriter w(true);
    w.Image(8, 8, 1, 8, 8);  // 64-byte frames: none of these lengths is native
    w.Pixels(std::vector<uint8_t>(length, 0xFF));
    sLoaded<cPictDICOM> d(w.bytes);
    EXPECT_EQ(d.pict.GetImageCount(&d.io), 1) << length;
    EXPECT_FALSE(d.ok) << length;
  }
}

TEST(Dicom, FittedLoadingShrinksIntoTheBoxOrMovesThePixels) {
  // 16-bit 4 x 2: fits a 4 x 4 box as 32-bit pixels.
  DicomWriter w(true);
  w.Image(2, 4, 1, 16, 16);
  w.Pixels(Le16s({0, 1000, 2000, 3000, 3000, 2000, 1000, 0}), true);
  cBufWrapperIO io(w.bytes.data(), static_cast<uint32_t>(w.bytes.size()));
  cPictDICOM d;
  cPictDummy fit;
  ASSERT_TRUE(d.LoadImageFitted(&io, &fit, 4, 4, 0, true, 0xFFFFFF));
  EXPECT_FALSE(fit.IsHighDepth());
  ASSERT_EQ(fit.GetWidth(), 4);
  EXPECT_EQ(At32(fit, 3, 0), 0xFFFFFFFFu);
  EXPECT_EQ(At32(fit, 0, 0), 0xFF000000u);
  // Into a 2 x 2 box: half size, streamed.
  cPictDICOM d2;
  cPictDummy small;
  ASSERT_TRUE(d2.LoadImageFitted(&io, &small, 2, 2, 0, true, 0xFFFFFF));
  EXPECT_EQ(small.GetWidth(), 2);
  EXPECT_EQ(small.GetHeight(), 1);
  EXPECT_EQ(d2.GetAttachedCanvas(), nullptr);
  EXPECT_FALSE(d2.LoadImageFitted(&io, &small, 2, 2, 1, true, 0));
}

TEST(Dicom, FactoryTellsTheTwoLayoutsApart) {
  const auto withPreamble = GreyFile(true, 1, 2, 8, 8, {1, 2});
  const auto legacy = GreyFile(false, 1, 2, 8, 8, {1, 2});
  for (const auto* f : {&withPreamble, &legacy}) {
    std::vector<uint8_t> bytes = *f;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::unique_ptr<cPictBase> p(CreatePicture(&io, nullptr));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetFormat(), f == &legacy ? kPictFormatDICOMLegacy : kPictFormatDICOM);
    EXPECT_EQ(p->GetWidth(), 2);
  }
}

}  // namespace
