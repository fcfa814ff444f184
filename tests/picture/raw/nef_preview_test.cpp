// NEF thumbnails and previews: which embedded picture LoadPreview delivers
// for a wanted size (the IFD0 picture, the preview JPEG's own EXIF
// thumbnail, the whole preview), and the thumbnail and preview properties
// that Load sets. The JPEGs are ImageMagick's (data/make_nef_jpegs.sh); the
// delivered pixels are compared with the JPEG decoder's own decode of the
// same bytes and with the IFD0 strip the generator wrote.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_jpeg.h"
#include "picture/raw/pict_nef.h"
#include "tests/picture/raw/nef_files.h"
#include "tests/support/test_support.h"

using namespace rawtest;

namespace {

constexpr int kThumbW = 80, kThumbH = 53;

std::vector<uint8_t> Data(const char* name) {
  const std::string s = twtest::ReadFileText(twtest::SourcePath(std::string("tests/picture/raw/data/") + name));
  return std::vector<uint8_t>(s.begin(), s.end());
}

// The JPEG decoder's pixels for bytes.
std::unique_ptr<cPictJPEG> Decode(const std::vector<uint8_t>& jpeg) {
  auto p = std::make_unique<cPictJPEG>();
  p->SetDecodeThumbnails(false);
  cBufWrapperIO io(jpeg.data(), static_cast<uint32_t>(jpeg.size()));
  if (!p->Load(&io)) return nullptr;
  return p;
}

bool SamePixels(const cPictBase& a, const cPictBase& b) {
  return a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight() && !a.IsHighDepth() && !b.IsHighDepth() &&
         a.Pixels32().count == b.Pixels32().count && a.Pixels32().count > 0 &&
         std::memcmp(a.Pixels32().data, b.Pixels32().data, a.Pixels32().count * 4u) == 0;
}

// The IFD0 strip of nef_files.h, as 32-bit pixels (rows bottom-up).
bool IsThumbStrip(const cPictBase& p, int w, int h) {
  if (p.GetWidth() != w || p.GetHeight() != h || p.IsHighDepth() || !p.HasPixels()) return false;
  const std::vector<uint8_t> rgb = NefThumbRgb(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* s = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      const uint32_t want = 0xFF000000u | uint32_t{s[0]} << 16 | uint32_t{s[1]} << 8 | s[2];
      if (p.Pixels32().data[static_cast<size_t>(h - 1 - y) * w + x] != want) return false;
    }
  return true;
}

// Mean of one 8-bit channel over the picture.
double Mean(const cPictBase& p, int shift) {
  double sum = 0;
  for (int32_t i = 0; i < p.Pixels32().count; ++i) sum += (p.Pixels32().data[i] >> shift) & 255;
  return sum / p.Pixels32().count;
}

sNefSpec PreviewSpec() {
  sNefSpec s;
  s.subIfds = 2;  // raw entry 1, preview entry 0
  s.thumbWidth = kThumbW;
  s.thumbHeight = kThumbH;
  s.previewJpeg = Data("nef_preview.jpg");
  return s;
}

std::vector<uint8_t> Nef(const sNefSpec& s) {
  std::vector<uint16_t> frame;
  return MakeNef(s, frame);
}

enum eSource { kIfd0, kPreviewThumb, kPreviewWhole, kPreviewFitted };

}  // namespace

TEST(NefPreview, WantedSizeChoosesTheEmbeddedPicture) {
  const auto preview = Data("nef_preview.jpg");
  const auto whole = Decode(preview);
  const auto thumb = Decode(Data("nef_preview_thumb.jpg"));
  ASSERT_NE(whole, nullptr);
  ASSERT_NE(thumb, nullptr);
  ASSERT_EQ(whole->GetWidth(), 640);
  ASSERT_EQ(thumb->GetWidth(), 96);
  const auto file = Nef(PreviewSpec());
  // r = max(wanted w / w, wanted h / h), a missing width 0 and a missing
  // height 1; below 1.5 the picture in hand is kept.
  struct sCase {
    int32_t wantW, wantH;
    eSource source;
    int w, h;
  } cases[] = {
      {60, 40, kIfd0, kThumbW, kThumbH},           // r 0.75
      {110, 70, kIfd0, kThumbW, kThumbH},          // r 1.375
      {0, 70, kIfd0, kThumbW, kThumbH},            // r 70 / 53
      {119, 0, kIfd0, kThumbW, kThumbH},           // r 1.4875
      {120, 0, kPreviewThumb, 96, 64},             // IFD0 r 1.5, the JPEG's thumbnail r 1.25
      {100, 100, kPreviewFitted, 100, 66},         // its thumbnail r 1.5625: the whole preview, fitted
      {256, 256, kPreviewFitted, 256, 170},        //
      {0, 0, kPreviewWhole, 640, 424},             // no wanted size: the whole preview
      {2000, 2000, kPreviewWhole, 640, 424},       // larger than the preview: as decoded
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.wantW) + " x " + std::to_string(c.wantH));
    cPictNEF nef;
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    cPictDummy dest;
    int32_t w = c.wantW, h = c.wantH;
    ASSERT_TRUE(nef.LoadPreview(&io, &dest, w, h));
    EXPECT_EQ(dest.GetWidth(), c.w);
    EXPECT_EQ(dest.GetHeight(), c.h);
    switch (c.source) {
      case kIfd0: EXPECT_TRUE(IsThumbStrip(dest, kThumbW, kThumbH)); break;
      case kPreviewThumb: EXPECT_TRUE(SamePixels(dest, *thumb)); break;
      case kPreviewWhole: EXPECT_TRUE(SamePixels(dest, *whole)); break;
      case kPreviewFitted:
        ASSERT_TRUE(dest.HasPixels());
        for (int shift : {0, 8, 16}) EXPECT_NEAR(Mean(dest, shift), Mean(*whole, shift), 3.0) << shift;
        break;
    }
  }
}

TEST(NefPreview, FilesWithoutOneOfThePictures) {
  const auto preview = Data("nef_preview.jpg");
  const auto psdJpeg = Data("preview_48x32.jpg");
  const auto whole = Decode(preview);
  const auto thumb = Decode(Data("nef_preview_thumb.jpg"));
  const auto small = Decode(psdJpeg);
  ASSERT_NE(small, nullptr);
  struct sCase {
    const char* name;
    sNefSpec spec;
    int32_t wantW, wantH;
    bool ok;
    const cPictBase* expect;  // null: the IFD0 strip
  } cases[] = {
      {"no preview directory: IFD0 whatever the size", PreviewSpec(), 2000, 2000, true, nullptr},
      {"no preview directory, no IFD0 picture", PreviewSpec(), 10, 10, false, nullptr},
      {"no IFD0 picture: the JPEG's thumbnail", PreviewSpec(), 60, 40, true, thumb.get()},
      {"no IFD0 picture, no wanted size: the whole preview", PreviewSpec(), 0, 0, true, whole.get()},
      {"preview length past its end: IFD0 stays", PreviewSpec(), 100, 100, true, nullptr},
      {"Photoshop thumbnail of the main reader", PreviewSpec(), 30, 20, true, small.get()},
      {"version-1 maker note: its thumbnail as decoded", PreviewSpec(), 10, 10, true, small.get()},
      {"version-1 maker note without a thumbnail", PreviewSpec(), 10, 10, false, nullptr},
  };
  cases[0].spec.subIfds = 1;
  cases[1].spec.subIfds = 1;
  cases[1].spec.thumbWidth = 0;
  cases[2].spec.thumbWidth = 0;
  cases[3].spec.thumbWidth = 0;
  cases[4].spec.previewCut = -200000;
  cases[5].spec.thumbWidth = 0;
  cases[5].spec.subIfds = 1;
  cases[5].spec.photoshopThumbnail = psdJpeg;
  cases[6].spec.v1Note = true;
  cases[6].spec.noteThumbnail = psdJpeg;
  cases[7].spec.v1Note = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto file = Nef(c.spec);
    cPictNEF nef;
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    cPictDummy dest;
    int32_t w = c.wantW, h = c.wantH;
    ASSERT_EQ(nef.LoadPreview(&io, &dest, w, h), c.ok);
    if (!c.ok) continue;
    if (c.expect == nullptr) EXPECT_TRUE(IsThumbStrip(dest, kThumbW, kThumbH));
    else EXPECT_TRUE(SamePixels(dest, *c.expect));
  }
}

TEST(NefPreview, ReadInfoReportsAPreview) {
  struct sCase {
    const char* name;
    int thumbWidth, subIfds;
    bool psd, hasPreview;
  } cases[] = {
      {"IFD0 picture", kThumbW, 1, false, true},
      {"preview directory", 0, 2, false, true},
      {"Photoshop thumbnail", 0, 1, true, true},
      {"none", 0, 1, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sNefSpec s = PreviewSpec();
    s.thumbWidth = c.thumbWidth;
    s.subIfds = c.subIfds;
    if (c.psd) s.photoshopThumbnail = Data("preview_48x32.jpg");
    const auto file = Nef(s);
    cPictNEF nef;
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    sPictInfo info;
    ASSERT_TRUE(nef.ReadInfo(&io, &info));
    EXPECT_EQ(info.hasPreview, c.hasPreview);
    EXPECT_EQ(info.width, 64);
  }
}

TEST(NefPreview, LoadSetsThumbnailAndPreviewProperties) {
  const auto whole = Decode(Data("nef_preview.jpg"));
  const auto small = Decode(Data("preview_48x32.jpg"));
  for (bool decode : {true, false}) {
    SCOPED_TRACE(decode ? "decoding thumbnails" : "not decoding thumbnails");
    const auto file = Nef(PreviewSpec());
    cPictNEF nef;
    nef.SetDecodeThumbnails(decode);
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    ASSERT_TRUE(nef.Load(&io));
    EXPECT_TRUE(nef.IsHighDepth());
    cPictPropImage* t = nef.FindThumbnailProp();
    auto* p = static_cast<cPictPropImage*>(nef.GetOrAddProp(kPropIdPreview, false));
    ASSERT_NE(t, nullptr);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->GetType(), kPropImage);
    ASSERT_NE(t->GetPicture(), nullptr);
    ASSERT_NE(p->GetPicture(), nullptr);
    EXPECT_EQ(p->GetPicture()->GetFormat(), kPictFormatJPEG);
    if (decode) {
      EXPECT_TRUE(IsThumbStrip(*t->GetPicture(), kThumbW, kThumbH));
      EXPECT_TRUE(SamePixels(*p->GetPicture(), *whole));
    } else {
      EXPECT_FALSE(t->GetPicture()->HasPixels());
      EXPECT_FALSE(p->GetPicture()->HasPixels());
    }
  }
  // The main reader's EXIF thumbnail moves over; a version-1 maker note's
  // thumbnail becomes property 13 and there is no preview.
  struct sCase {
    const char* name;
    sNefSpec spec;
  } cases[2];
  cases[0].name = "Photoshop thumbnail";
  cases[0].spec.photoshopThumbnail = Data("preview_48x32.jpg");
  cases[1].name = "version-1 maker note";
  cases[1].spec.v1Note = true;
  cases[1].spec.noteThumbnail = Data("preview_48x32.jpg");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto file = Nef(c.spec);
    cPictNEF nef;
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    ASSERT_TRUE(nef.Load(&io));
    cPictPropImage* t = nef.FindThumbnailProp();
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->GetPicture(), nullptr);
    EXPECT_TRUE(SamePixels(*t->GetPicture(), *small));
    EXPECT_EQ(nef.GetOrAddProp(kPropIdPreview, false), nullptr);
  }
}

TEST(NefPreview, ThumbnailsThatDoNotDecodeFailTheLoadOnlyWhenDecoded) {
  std::vector<uint8_t> junk(300, 0x33);
  junk[0] = 0xFF;
  junk[1] = 0xD8;
  struct sCase {
    const char* name;
    sNefSpec spec;
  } cases[2] = {{"preview JPEG", PreviewSpec()}, {"version-1 thumbnail", sNefSpec{}}};
  cases[0].spec.previewJpeg = junk;
  cases[1].spec.v1Note = true;
  cases[1].spec.noteThumbnail = junk;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto file = Nef(c.spec);
    for (bool decode : {true, false}) {
      cPictNEF nef;
      nef.SetDecodeThumbnails(decode);
      cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
      EXPECT_EQ(nef.Load(&io), !decode) << decode;
    }
  }
}

TEST(NefPreview, FittedLoadingThroughTheFactoryTakesThePreview) {
  sNefSpec s = PreviewSpec();
  s.width = 640;  // a raw frame larger than the box, so the factory fits
  s.height = 424;
  const auto file = Nef(s);
  const auto whole = Decode(Data("nef_preview.jpg"));
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictDummy out;
  ASSERT_EQ(LoadPictureFitted(&io, &out, 256, 256), kFitDone);
  EXPECT_EQ(out.GetWidth(), 256);
  EXPECT_EQ(out.GetHeight(), 170);
  for (int shift : {0, 8, 16}) EXPECT_NEAR(Mean(out, shift), Mean(*whole, shift), 3.0) << shift;
}
