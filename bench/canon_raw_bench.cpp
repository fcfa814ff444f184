// Canon raw unpacking: ours against LibRaw's unpack (libraw-dev) over the
// same in-memory files, a 24-megapixel (6000 x 4000) CR2 whose lossless JPEG
// is cut into two slices plus the last, and a CRW of 3152 x 2068 samples in
// the block coding with low bits. The two alternate in one process and are
// timed by their thread's CPU time (the machine is shared); the medians give
// the ratios printed first. Then the peak of heap memory (operator new)
// while a full CR2 load (decode and development) runs: a 32-bit process has
// 2 GB. Google Benchmark then reports bytes/s for ours.
#include <benchmark/benchmark.h>
#include <libraw/libraw.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "base/memio.h"
#include "bench/heap_count.h"
#include "bench/libraw_unpack.h"
#include "picture/raw/pict_cr2.h"
#include "picture/raw/pict_crw.h"
#include "tests/picture/raw/canon_crw_encoder.h"
#include "tests/picture/raw/cr2_builder.h"
#include "tests/picture/raw/crw_builder.h"

using twbench::Median;

namespace {

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Sensor-like samples: smooth fields per colour with a little noise.
std::vector<uint16_t> Sensor(int w, int h, int bits) {
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  uint32_t x32 = 2463534242u;
  const int top = (1 << bits) - 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      x32 ^= x32 << 13;
      x32 ^= x32 >> 17;
      x32 ^= x32 << 5;
      int s = 600 + ((x / 7 + y / 5) % 900) + ((x & 1) ? 300 : 0) + ((y & 1) ? 150 : 0) + static_cast<int>(x32 % 17);
      v[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(s > top ? top : s);
    }
  return v;
}

struct sFiles {
  std::vector<uint8_t> cr2, crw;
};

const sFiles& Files() {
  static const sFiles files = [] {
    sFiles f;
    {
      using namespace cr2_test;
      const int w = 6000, h = 4000;
      const std::vector<uint16_t> raster = Sensor(w, h, 14);
      sCr2Spec s;
      s.modelId = 0x80000285;
      s.model = "Canon EOS 5D Mark III";
      s.sensorWidth = w;
      s.sensorHeight = h;
      s.leftBorder = 122;
      s.slices = {2, 1920, 2160};
      const std::vector<uint16_t> order = SliceOrder(raster, w, h, 2, 1920, 2160);
      sComponent a, b;
      a.samples.reserve(order.size() / 2);
      b.samples.reserve(order.size() / 2);
      for (size_t i = 0; i < order.size(); ++i) (i % 2 == 0 ? a : b).samples.push_back(order[i]);
      s.raw = LosslessJpeg(w / 2, h, 14, {a, b});
      f.cr2 = MakeCr2(s);
    }
    {
      using namespace crw_test;
      // Laid out as the camera does, so that LibRaw opens it: the EOS 10D's
      // sensor size, pixel aspect 1.0, coded data at 540; the 514 bytes
      // passed over hold the start of the low-bit area, where LibRaw reads
      // it (see the CRW oracle test).
      sCrwSpec s;
      s.modelId = 0x80000168;
      s.makeModel = std::string("Canon") + '\0' + "EOS 10D" + '\0';
      s.sensorWidth = 3152;
      s.sensorHeight = 2068;
      s.width = 3088;
      s.height = 2056;
      s.left = 32;
      s.top = 6;
      s.pixelAspect = 1.0f;
      s.tableIndex = 1;
      s.dataSkip = 514;
      s.raw = canon_test::EncodeCanonCompressed(Sensor(3152, 2068, 12), true, 3152, 1);
      s.filler.assign(s.raw.begin(), s.raw.begin() + 514);
      f.crw = CrwCamera(s);
    }
    return f;
  }();
  return files;
}

bool OursCr2(const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictCR2 cr2;
  sTiffStripData sd;
  return cr2.DecodeRaw(&io, sd);
}

bool OursCrw(const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictCRW crw;
  return crw.DecodeRaster(&io);
}

void CompareAlternating() {
  constexpr int kRuns = 7;
  const struct {
    const char* name;
    const std::vector<uint8_t>* file;
    bool (*ours)(const std::vector<uint8_t>&);
    double megasamples;
  } inputs[] = {{"CR2 6000x4000, two slices and the last", &Files().cr2, &OursCr2, 24.0},
                {"CRW 3152x2068, low bits", &Files().crw, &OursCrw, 3152.0 * 2068 / 1e6}};
  for (const auto& in : inputs) {
    std::vector<double> ours, peer;
    bool ok = true, peerOk = true;
    for (int i = 0; i < kRuns; ++i) {
      double t = ThreadSeconds();
      peerOk &= twbench::LibRawUnpack(*in.file);
      peer.push_back(ThreadSeconds() - t);
      t = ThreadSeconds();
      ok &= in.ours(*in.file);
      ours.push_back(ThreadSeconds() - t);
    }
    if (peerOk)
      std::printf("%s (%zu bytes): ours %.1f Msample/s, LibRaw unpack %.1f; speed vs LibRaw %.3fx (median of %d)%s\n",
                  in.name, in.file->size(), in.megasamples / Median(ours), in.megasamples / Median(peer),
                  Median(peer) / Median(ours), kRuns, ok ? "" : "  DECODE FAILED");
    else
      std::printf("%s (%zu bytes): ours %.1f Msample/s; LibRaw does not open this synthetic file, no ratio%s\n",
                  in.name, in.file->size(), in.megasamples / Median(ours), ok ? "" : "  DECODE FAILED");
  }
}

void MeasureLoadPeak() {
  const std::vector<uint8_t>& file = Files().cr2;
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  const int64_t before = twbench::StartHeapPeak();
  bool ok = false;
  int32_t w = 0, h = 0;
  {
    cPictCR2 cr2;
    ok = cr2.Load(&io);
    w = cr2.GetWidth();
    h = cr2.GetHeight();
  }
  const int64_t peak = twbench::HeapPeak() - before;
  std::printf("full load of the 24-megapixel CR2 (decode and development): %s, %dx%d, peak heap %.1f MB "
              "(a 32-bit process has 2048 MB)\n",
              ok ? "ok" : "FAILED", w, h, peak / 1048576.0);
}

void BM_OursCr2(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(OursCr2(Files().cr2));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 6000 * 4000 * 2);
}
BENCHMARK(BM_OursCr2)->Unit(benchmark::kMillisecond);

void BM_OursCrw(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(OursCrw(Files().crw));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 3152 * 2068 * 2);
}
BENCHMARK(BM_OursCrw)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  CompareAlternating();
  MeasureLoadPeak();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
