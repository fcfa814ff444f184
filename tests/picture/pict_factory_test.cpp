// The picture factory and fitted loading: format ids, the probe order, the
// BMP file header check, damaged and renamed files, and every result code
// of the fitted loading with fake decoders.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_png.h"
#include "tests/support/png_writer.h"

namespace {

class cCountingIO : public cBufWrapperIO {
public:
  cCountingIO(const std::vector<uint8_t>& bytes) : cBufWrapperIO(bytes.data(), static_cast<uint32_t>(bytes.size())) {}
  uint32_t Read(void* destination, uint32_t count) override {
    ++reads;
    return cBufWrapperIO::Read(destination, count);
  }
  int reads = 0;
};

std::vector<uint8_t> Png(uint32_t w, uint32_t h, uint8_t type = 6, uint8_t depth = 8) {
  return twtest::EncodePng(twtest::MakeTestImage(w, h, type, depth, w * 31 + h));
}

TEST(PictFactory, ProbeTable) {
  int32_t n = 0;
  const sPictProbe* probes = PictProbes(n);
  ASSERT_EQ(n, 34);
  const int32_t order[] = {1, 3, 11, 6, 5, 7, 8, 9, 12, 29, 26, 21, 27, 28, 24, 25, 23,
                           22, 19, 14, 16, 10, 40, 4, 18, 15, 17, 2, 30, 31, 32, 33, 36, 34};
  for (int32_t i = 0; i < n; ++i) EXPECT_EQ(probes[i].format, order[i]) << "probe " << i;
}

TEST(PictFactory, RecognisesPngWithAndWithoutRecord) {
  const std::vector<uint8_t> file = Png(10, 7);
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  sPictInfo info;
  std::unique_ptr<cPictBase> unloaded(CreatePicture(&io, &info));
  ASSERT_NE(unloaded, nullptr);
  EXPECT_EQ(unloaded->GetFormat(), kPictFormatPNG);
  EXPECT_EQ(info.width, 10);
  EXPECT_EQ(info.height, 7);
  EXPECT_FALSE(unloaded->HasPixels());
  std::unique_ptr<cPictBase> loaded(CreatePicture(&io, nullptr));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetFormat(), kPictFormatPNG);
  EXPECT_TRUE(loaded->HasPixels());
  EXPECT_EQ(loaded->GetWidth(), 10);

  // A PNG whose header probes true but whose body is damaged: with a record
  // the PNG decoder is returned, without one nothing decodes it.
  std::vector<uint8_t> damaged = file;
  damaged[damaged.size() - 20] ^= 0x55;
  cBufWrapperIO bad(damaged.data(), static_cast<uint32_t>(damaged.size()));
  std::unique_ptr<cPictBase> probed(CreatePicture(&bad, &info));
  ASSERT_NE(probed, nullptr);
  EXPECT_EQ(probed->GetFormat(), kPictFormatPNG);
  EXPECT_EQ(CreatePicture(&bad, nullptr), nullptr);

  cPictBase* held = CreatePicture(&io, nullptr);
  DeletePicture(&held);
  cPictBase* none = nullptr;
  DeletePicture(&none);
  DeletePicture(nullptr);
}

TEST(PictFactory, TruncatedAndRenamedFilesNeverCrash) {
  const std::vector<uint8_t> file = Png(9, 9, 3, 4);
  for (size_t n = 0; n <= file.size(); ++n) {
    std::vector<uint8_t> cut(file.begin(), file.begin() + n);
    cBufWrapperIO io(cut.data(), static_cast<uint32_t>(cut.size()));
    sPictInfo info;
    std::unique_ptr<cPictBase> a(CreatePicture(&io, &info));
    std::unique_ptr<cPictBase> b(CreatePicture(&io, nullptr));
    // The header is complete from byte 33 on; the whole file loads only whole.
    EXPECT_EQ(a != nullptr, n >= 33) << n;
    EXPECT_EQ(b != nullptr, n == file.size()) << n;
    cPictDummy dest;
    const int32_t r = LoadPictureFitted(&io, &dest, 4, 4);
    EXPECT_EQ(r, n < 33 ? kFitUnknownFormat : (n == file.size() ? kFitDone : kFitDecodeFailed)) << n;
  }
  // Other formats' bytes and plain noise are not taken for anything.
  const std::vector<std::vector<uint8_t>> others = {
      {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'},
      {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0},
      {'I', 'I', 42, 0, 8, 0, 0, 0},
      {},
      std::vector<uint8_t>(3000, 0x89),
  };
  for (const auto& o : others) {
    cBufWrapperIO io(o.data(), static_cast<uint32_t>(o.size()));
    sPictInfo info;
    EXPECT_EQ(CreatePicture(&io, &info), nullptr);
    EXPECT_EQ(CreatePicture(&io, nullptr), nullptr);
  }
  EXPECT_EQ(CreatePicture(nullptr, nullptr), nullptr);
}

TEST(PictFactory, BmpFileHeaderCheck) {
  auto header = [](uint32_t size, uint32_t reserved, uint32_t offset, char b = 'B', char m = 'M') {
    std::vector<uint8_t> h = {static_cast<uint8_t>(b), static_cast<uint8_t>(m)};
    for (uint32_t v : {size, reserved, offset})
      for (int s = 0; s < 32; s += 8) h.push_back(static_cast<uint8_t>(v >> s));
    return h;
  };
  struct sCase {
    const char* what;
    std::vector<uint8_t> bytes;
    bool ok;
  };
  std::vector<uint8_t> shortOne = header(100, 0, 54);
  shortOne.pop_back();
  const sCase cases[] = {
      {"plain", header(100, 0, 54), true},
      {"size equals offset", header(54, 0, 54), true},
      {"offset 53", header(100, 0, 53), false},
      {"reserved words set", header(100, 1 << 16, 54), false},
      {"size below offset", header(60, 0, 61), false},
      {"offset above 2^31, unsigned", header(0xFFFFFFFF, 0, 0x80000000), true},
      {"BA", header(100, 0, 54, 'B', 'A'), false},
      {"13 bytes", shortOne, false},
  };
  for (const sCase& c : cases) {
    cBufWrapperIO io(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
    EXPECT_EQ(CheckBmpFileHeader(&io), c.ok) << c.what;
  }
}

// A fake decoder for LoadFitted: its size, preview and load behaviour set
// by the test.
class cFake : public cPictBase {
public:
  int32_t w = 40, h = 20;
  int32_t previewW = 0, previewH = 0;  // 0: no preview
  bool loads = true;
  bool streams = false;
  int throwing = 0;  // 1: bad_alloc, 2: runtime_error
  int loadCalls = 0;
  int32_t askedW = 0, askedH = 0;

  bool ReadInfo(cFileIOTarget*, sPictInfo* info) override {
    if (info != nullptr) *info = sPictInfo{w, h, previewW > 0};
    return true;
  }
  bool Load(cFileIOTarget*) override {
    ++loadCalls;
    if (throwing == 1) throw std::bad_alloc();
    if (throwing == 2) throw std::runtime_error("index");
    if (!loads) return false;
    if (streams) {
      SetSize(w, h);
      if (!BeginCanvasOutput()) return false;
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) PutCanvasPixel(x, y, 0xFF102030);
      EndCanvasOutput();
      return true;
    }
    if (!AllocatePixels32(w, h)) return false;
    for (int32_t i = 0; i < w * h; ++i) Pixels32().data[i] = 0xFF102030;
    return true;
  }
  bool CanStreamToCanvas() const override { return streams; }
  bool LoadPreview(cFileIOTarget*, cPictBase* destination, int32_t& width, int32_t& height) override {
    askedW = width;
    askedH = height;
    if (previewW <= 0) return false;
    if (!destination->CreateBlank(previewW, previewH)) return false;
    for (int32_t i = 0; i < previewW * previewH; ++i) destination->Pixels32().data[i] = 0xFF00FF00;
    return true;
  }
};

struct sFit {
  int32_t code;
  int32_t w, h;
};

sFit Fit(cFake& fake, int32_t maxW, int32_t maxH, bool allowFull = true) {
  sPictInfo info;
  fake.ReadInfo(nullptr, &info);
  const std::vector<uint8_t> bytes(4, 0);
  cBufWrapperIO io(bytes.data(), 4);
  cPictDummy dest;
  const int32_t code = cPictBase::LoadFitted(info, &fake, &io, &dest, maxW, maxH, allowFull, 0xFFFFFF);
  return {code, dest.GetWidth(), dest.GetHeight()};
}

TEST(PictFitted, ResultCodes) {
  {
    cFake f;  // 40 x 20 into 10 x 10: 10 x 5, rendered
    const sFit r = Fit(f, 10, 10);
    EXPECT_EQ(r.code, kFitDone);
    EXPECT_EQ(r.w, 10);
    EXPECT_EQ(r.h, 5);
  }
  {
    cFake f;
    f.streams = true;
    const sFit r = Fit(f, 10, 10);
    EXPECT_EQ(r.code, kFitDone);
    EXPECT_EQ(r.w, 10);
    EXPECT_EQ(r.h, 5);
    EXPECT_EQ(f.GetAttachedCanvas(), nullptr);
  }
  {
    cFake f;  // 1 x 1000 into 100 x 100: fitted width rounds to 0
    f.w = 1;
    f.h = 1000;
    EXPECT_EQ(Fit(f, 100, 100).code, kFitBadArguments);
  }
  {
    cFake f;
    f.w = 0;
    EXPECT_EQ(Fit(f, 100, 100).code, kFitBadArguments);
  }
  {
    cFake f;  // a fitted size of 2^30 pixels or more cannot be made
    f.w = 40000;
    f.h = 40000;
    EXPECT_EQ(Fit(f, 0x7FFFFFFF, 0x7FFFFFFF).code, kFitAllocation);
    EXPECT_EQ(f.loadCalls, 0);
  }
  {
    cFake f;
    f.loads = false;
    EXPECT_EQ(Fit(f, 10, 10).code, kFitDecodeFailed);
    f.streams = true;
    EXPECT_EQ(Fit(f, 10, 10).code, kFitDecodeFailed);
    EXPECT_EQ(f.GetAttachedCanvas(), nullptr);
  }
  {
    cFake f;  // no preview, no full decoding
    EXPECT_EQ(Fit(f, 10, 10, false).code, kFitNoPreview);
    EXPECT_EQ(f.loadCalls, 0);
  }
  {
    cFake f;  // exceptions from the decoder become codes
    f.throwing = 1;
    EXPECT_EQ(Fit(f, 10, 10).code, kFitAllocation);
    f.throwing = 2;
    EXPECT_EQ(Fit(f, 10, 10).code, kFitDecodeFailed);
  }
}

TEST(PictFitted, PreviewPath) {
  {
    // A 4000 x 3000 picture with a 160 x 120 preview into 100 x 100: the
    // preview is asked for at 100 x 75, is larger than the box and is
    // rendered into 100 x 75.
    cFake f;
    f.w = 4000;
    f.h = 3000;
    f.previewW = 160;
    f.previewH = 120;
    const sFit r = Fit(f, 100, 100, false);
    EXPECT_EQ(r.code, kFitDone);
    EXPECT_EQ(f.askedW, 100);
    EXPECT_EQ(f.askedH, 75);
    EXPECT_EQ(r.w, 100);
    EXPECT_EQ(r.h, 75);
    EXPECT_EQ(f.loadCalls, 0);
  }
  {
    // A preview that fits is taken as it is.
    cFake f;
    f.previewW = 30;
    f.previewH = 8;
    const sFit r = Fit(f, 100, 100, false);
    EXPECT_EQ(r.code, kFitDone);
    EXPECT_EQ(r.w, 30);
    EXPECT_EQ(r.h, 8);
  }
}

TEST(PictFitted, LoadPictureFitted) {
  // A max width of 0 answers 1 without reading the stream.
  const std::vector<uint8_t> file = Png(10, 10);
  cCountingIO io(file);
  cPictDummy dest;
  EXPECT_EQ(LoadPictureFitted(&io, &dest, 0, 100), kFitBadArguments);
  EXPECT_EQ(io.reads, 0);
  // A 10 x 10 PNG into 100 x 100: unscaled.
  ASSERT_EQ(LoadPictureFitted(&io, &dest, 100, 100), kFitDone);
  EXPECT_EQ(dest.GetWidth(), 10);
  EXPECT_EQ(dest.GetHeight(), 10);
  cPictPNG direct;
  io.Seek(0);
  ASSERT_TRUE(direct.Load(&io));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(dest.Pixels32().data[i], direct.Pixels32().data[i]) << i;
  // Unknown bytes: 3.
  const std::vector<uint8_t> junk(50, 7);
  cCountingIO jio(junk);
  EXPECT_EQ(LoadPictureFitted(&jio, &dest, 10, 10), kFitUnknownFormat);
  // A 16-bit PNG shrunk on white.
  const std::vector<uint8_t> deep = Png(64, 16, 2, 16);
  cCountingIO dio(deep);
  cPictDummy small;
  ASSERT_EQ(LoadPictureFitted(&dio, &small, 16, 16), kFitDone);
  EXPECT_EQ(small.GetWidth(), 16);
  EXPECT_EQ(small.GetHeight(), 4);
  EXPECT_FALSE(small.IsHighDepth());
}

TEST(PictFitted, FitPictureToBox) {
  cPictDummy src, dst;
  ASSERT_TRUE(src.CreateBlank(8, 4));
  for (int i = 0; i < 32; ++i) src.Pixels32().data[i] = 0xFF000000u | (i % 8) * 10;
  ASSERT_TRUE(FitPictureToBox(&dst, &src, 4, 4, 0xFFFFFF));
  EXPECT_EQ(dst.GetWidth(), 4);
  EXPECT_EQ(dst.GetHeight(), 2);
  EXPECT_EQ(dst.Pixels32().data[0], 0xFF000005u);  // mean of 0 and 10
  EXPECT_FALSE(src.HasPixels());
  // A source that fits moves over whole.
  cPictDummy s2, d2;
  ASSERT_TRUE(s2.CreateBlank(3, 3));
  uint32_t* own = s2.Pixels32().data;
  ASSERT_TRUE(FitPictureToBox(&d2, &s2, 3, 5, 0));
  EXPECT_EQ(d2.Pixels32().data, own);
  // 64-bit and empty sources are refused.
  class cDeep : public cPictDummy {
  public:
    bool Make() { return AllocatePixels64(2, 2); }
  } deep;
  ASSERT_TRUE(deep.Make());
  EXPECT_FALSE(FitPictureToBox(&dst, &deep, 1, 1, 0));
  cPictDummy empty;
  EXPECT_FALSE(FitPictureToBox(&dst, &empty, 1, 1, 0));
}

}  // namespace
