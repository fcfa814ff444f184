// The heap a full load of a 24-megapixel CR2 (decode and development) needs
// at its peak, counted through operator new (bench/heap_count.cpp is linked
// into the Windows builds of this program). The product is a 32-bit program with 2 GB of address
// space; the Windows run of this test is the 64-bit build under Wine, whose
// buffers are the same sizes, so the figure it prints stands for the product.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "base/memio.h"
#if defined(TW_HEAP_COUNT)
#include "bench/heap_count.h"
#endif
#include "picture/raw/pict_cr2.h"
#include "tests/picture/raw/cr2_builder.h"

namespace {

using namespace cr2_test;

TEST(CanonLoadPeak, FullCr2LoadStaysWellInside32Bits) {
#if !defined(TW_HEAP_COUNT)
  GTEST_SKIP() << "the heap is counted in the Windows builds; natively bench_canon_raw prints the figure";
#else
  const int w = 6000, h = 4000;  // 24 megapixels, two slices and the last
  std::vector<uint16_t> raster(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      raster[static_cast<size_t>(y) * w + x] =
          static_cast<uint16_t>(1024 + ((x / 7 + y / 5) % 900) + (x & 1) * 300 + (y & 1) * 150);
  sCr2Spec s;
  s.sensorWidth = w;
  s.sensorHeight = h;
  s.leftBorder = 122;
  s.slices = {2, 1920, 2160};
  const std::vector<uint16_t> order = SliceOrder(raster, w, h, 2, 1920, 2160);
  sComponent a, b;
  for (size_t i = 0; i < order.size(); ++i) (i % 2 == 0 ? a : b).samples.push_back(order[i]);
  s.raw = LosslessJpeg(w / 2, h, 14, {a, b});
  const tBytes file = MakeCr2(s);
  std::vector<uint16_t>().swap(raster);

  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  const int64_t before = twbench::StartHeapPeak();
  int64_t peak = 0;
  {
    cPictCR2 cr2;
    ASSERT_TRUE(cr2.Load(&io));
    EXPECT_EQ(cr2.GetWidth(), w - 122 - 2);  // the model's borders {122, 2, 80, 0}
    EXPECT_EQ(cr2.GetHeight(), h - 80);
    peak = twbench::HeapPeak() - before;
  }
  std::printf("full load of a 24-megapixel CR2: peak heap %.1f MB (a 32-bit process has 2048 MB)\n",
              static_cast<double>(peak) / 1048576.0);
  // The raster (2 bytes a sample) and the picture (8 bytes a pixel) at least.
  EXPECT_GE(peak, int64_t{2} * w * h + int64_t{8} * (w - 124) * (h - 80));
  EXPECT_LT(peak, int64_t{1024} * 1048576);  // half the address space: room for the rest of the program
#endif
}

}  // namespace
