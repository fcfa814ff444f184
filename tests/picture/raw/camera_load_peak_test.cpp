// The heap full loads of 24-megapixel camera files (decode and development)
// need at their peak, one format after another, and the heap of a fitted load
// into 256 x 256 of the files that carry a preview. Counted through operator
// new (bench/heap_count.cpp is linked into the Windows builds of this
// program): the product is a 32-bit program with 2 GB of address space and
// the Windows run is the 64-bit build under Wine, whose buffers are the same
// sizes, so the figures stand for the product. Natively the raw benches print
// them.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#if defined(TW_HEAP_COUNT)
#include "bench/heap_count.h"
#endif
#include "picture/pict_factory.h"
#include "picture/raw/pict_arw.h"
#include "picture/raw/pict_iiq.h"
#include "picture/raw/pict_nef.h"
#include "picture/raw/pict_orf.h"
#include "picture/raw/pict_pef.h"
#include "picture/raw/pict_raf.h"
#include "picture/raw/pict_rw2.h"
#include "picture/raw/pict_srw.h"
#include "tests/picture/raw/large_raw_files.h"
#include "tests/support/iiq_builder.h"
#include "tests/support/orf_builder.h"
#include "tests/support/rw2_builder.h"
#include "tests/support/test_support.h"

namespace {

#if defined(TW_HEAP_COUNT)

std::vector<uint8_t> Source(const char* relative) {
  const std::string text = twtest::ReadFileText(twtest::SourcePath(relative));
  return std::vector<uint8_t>(text.begin(), text.end());
}

template <class T>
std::unique_ptr<cPictBase> Make() {
  return std::make_unique<T>();
}

struct sCase {
  const char* name;
  std::function<std::vector<uint8_t>()> file;
  std::unique_ptr<cPictBase> (*make)();
  int32_t sensorW, sensorH;  // the samples the decoder unpacks
  int32_t w, h;              // the developed picture
  bool fitted;               // a preview large enough for a 256 x 256 fitted load
};

std::vector<sCase> Cases() {
  using namespace large_raw;
  return {
      {"NEF", [] { return Nef(Source("tests/picture/raw/data/nef_preview.jpg")); }, &Make<cPictNEF>, kW, kH, kW,
       kH, true},
      {"ARW", [] { return Arw(); }, &Make<cPictARW>, kW, kH, kW, kH, false},
      // The SRW loses the default borders of its model, the RAF the X-T3's
      // (6048 x 4032 samples, a picture of 5917 x 4026).
      {"SRW", [] { return Srw(); }, &Make<cPictSRW>, kW, kH, kW - 10, kH - 20, false},
      {"PEF", [] { return Pef(); }, &Make<cPictPEF>, kW, kH, kW, kH, false},
      {"RAF",
       [] { return Raf(RafSection(), Source("tests/picture/raw/data/preview_1536x1024.jpg")); },
       &Make<cPictRAF>, kWideW, kWideH, 5917, kWideH - 6, true},
      {"RW2",
       [] {
         rw2_builder::sRw2 f;  // DMC-L1: a right border of 9 columns
         f.width = kWideW;
         f.height = kWideH;
         f.layout = rw2_builder::kBlocks;
         f.samples = Sensor(kWideW, kWideH, 12);
         return rw2_builder::Build(f).bytes;
       },
       &Make<cPictRWL>, kWideW, kWideH, kWideW - 9, kWideH, false},
      {"ORF",
       [] {
         orf_builder::sOrf f;
         f.width = kWideW;
         f.height = kWideH;
         f.kind = orf_builder::kCoded;
         f.samples = Sensor(kWideW, kWideH, 12);
         return orf_builder::Build(f).bytes;
       },
       &Make<cPictORF>, kWideW, kWideH, kWideW, kWideH, false},
      {"IIQ",
       [] {
         iiq_builder::sIiq f;
         f.width = kWideW;
         f.height = kWideH;
         f.left = 4;
         f.top = 2;
         f.imageWidth = kWideW - 8;
         f.imageHeight = kWideH - 4;
         return iiq_builder::Build(f).bytes;
       },
       &Make<cPictIIQ>, kWideW, kWideH, kWideW - 8, kWideH - 4, false},
  };
}

#endif

TEST(CameraLoadPeak, FullLoadsStayWellInside32Bits) {
#if !defined(TW_HEAP_COUNT)
  GTEST_SKIP() << "the heap is counted in the Windows builds; natively bench_nikon_raw and bench_other_raw print "
                  "the figures";
#else
  for (const sCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> file = c.file();
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    const int64_t before = twbench::StartHeapPeak();
    int64_t peak = 0;
    {
      std::unique_ptr<cPictBase> p = c.make();
      ASSERT_TRUE(p->Load(&io));
      EXPECT_EQ(p->GetWidth(), c.w);
      EXPECT_EQ(p->GetHeight(), c.h);
      peak = twbench::HeapPeak() - before;
    }
    std::printf("full load of a 24-megapixel %s: peak heap %.1f MB (a 32-bit process has 2048 MB)\n", c.name,
                static_cast<double>(peak) / 1048576.0);
    // The raster (2 bytes a sample) and the picture (8 bytes a pixel) at least.
    EXPECT_GE(peak, int64_t{2} * c.sensorW * c.sensorH + int64_t{8} * c.w * c.h);
    EXPECT_LT(peak, int64_t{1024} * 1048576);  // half the address space: room for the rest of the program

    if (!c.fitted) continue;
    cBufWrapperIO again(file.data(), static_cast<uint32_t>(file.size()));
    cPictDummy out;
    const int64_t start = twbench::StartHeapPeak();
    const int32_t r = LoadPictureFitted(&again, &out, 256, 256);
    const int64_t fittedPeak = twbench::HeapPeak() - start;
    std::printf("fitted load of a 24-megapixel %s into 256x256 (through its preview): %dx%d, peak heap %.1f MB\n",
                c.name, out.GetWidth(), out.GetHeight(), static_cast<double>(fittedPeak) / 1048576.0);
    EXPECT_EQ(r, kFitDone);
    EXPECT_TRUE(out.GetWidth() == 256 || out.GetHeight() == 256);
    EXPECT_LE(out.GetWidth(), 256);
    EXPECT_LE(out.GetHeight(), 256);
    EXPECT_LT(fittedPeak, int64_t{32} * 1048576);
  }
#endif
}

}  // namespace
