// Nikon, Sony, Samsung and Pentax raw unpacking: ours against LibRaw's
// unpack (libraw-dev) over the same in-memory files, each 6000 x 4000
// samples: a 14-bit lossless NEF, an ARW2, a Samsung block-coded SRW and a
// Pentax Huffman PEF. Ours is timed from the start of the Load to the moment
// the sensor frame reaches the development (the frame hook). The two
// alternate in one process and are timed by their thread's CPU time (the
// machine is shared); the medians give the ratios printed first (LibRaw's
// unpack time over ours: at least 1.0 means ours is as fast). Where LibRaw
// reads a file other than the decoder does, only our speed is printed.
// Then the peak of heap memory (operator new) of a full Load of each file
// and of a fitted load of the NEF into 256 x 256, which goes through its
// preview. Google Benchmark then reports ours alone.
#include <benchmark/benchmark.h>
#include <libraw/libraw.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "bench/heap_count.h"
#include "bench/libraw_unpack.h"
#include "picture/pict_factory.h"
#include "picture/raw/pict_arw.h"
#include "picture/raw/pict_nef.h"
#include "picture/raw/pict_pef.h"
#include "picture/raw/pict_srw.h"
#include "picture/raw/raw_develop.h"
#include "tests/picture/raw/large_raw_files.h"

using twbench::Median;

namespace {

constexpr int kW = large_raw::kW, kH = large_raw::kH;

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

double gFrameAt = 0;
void MarkFrame(const uint16_t*, int32_t, int32_t, void*) { gFrameAt = ThreadSeconds(); }

std::vector<uint8_t> ReadSource(const char* rel) {
  std::ifstream in(std::string(TW_SOURCE_ROOT) + "/" + rel, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct sFile {
  const char* name;
  std::vector<uint8_t> bytes;
  std::unique_ptr<cPictBase> (*make)();
  bool peerComparable;  // LibRaw reads the coding as the decoder does
  const char* note;
};

template <class T>
std::unique_ptr<cPictBase> Make() {
  return std::make_unique<T>();
}

std::vector<sFile>& Files() {
  static std::vector<sFile> files = [] {
    std::vector<sFile> f;
    f.push_back({"NEF 6000x4000 14-bit lossless", large_raw::Nef(ReadSource("tests/picture/raw/data/nef_preview.jpg")),
                 &Make<cPictNEF>, true, ""});
    f.push_back({"ARW2 6000x4000", large_raw::Arw(), &Make<cPictARW>, true,
                 " (LibRaw keeps two more bits of each sample)"});
    f.push_back({"SRW 6000x4000 block coding", large_raw::Srw(), &Make<cPictSRW>, false,
                 "LibRaw reads compression 32773 strips as packed samples"});
    f.push_back({"PEF 6000x4000 Huffman", large_raw::Pef(), &Make<cPictPEF>, true,
                 " (LibRaw reads the maker-note table in another way: same work, other samples)"});
    return f;
  }();
  return files;
}

// Our unpack time: the Load up to the frame hook. False when the Load fails
// or no frame came.
bool Ours(const sFile& f, double& seconds) {
  cBufWrapperIO io(f.bytes.data(), static_cast<uint32_t>(f.bytes.size()));
  auto p = f.make();
  gFrameAt = 0;
  SetRawFrameHook(&MarkFrame, nullptr);
  const double t = ThreadSeconds();
  const bool ok = p->Load(&io);
  SetRawFrameHook(nullptr, nullptr);
  seconds = gFrameAt - t;
  return ok && gFrameAt != 0;
}

void CompareAlternating() {
  constexpr int kRuns = 5;
  const double megasamples = kW * kH / 1e6;
  for (const sFile& f : Files()) {
    std::vector<double> ours, peer;
    bool ok = true, peerOk = true;
    for (int i = 0; i < kRuns; ++i) {
      if (f.peerComparable) {
        const double t = ThreadSeconds();
        peerOk &= twbench::LibRawUnpack(f.bytes);
        peer.push_back(ThreadSeconds() - t);
      }
      double s = 0;
      ok &= Ours(f, s);
      ours.push_back(s);
    }
    if (f.peerComparable && peerOk)
      std::printf("%s (%zu bytes): ours %.1f Msample/s, LibRaw unpack %.1f; speed vs LibRaw %.3fx (median of %d)%s%s\n",
                  f.name, f.bytes.size(), megasamples / Median(ours), megasamples / Median(peer),
                  Median(peer) / Median(ours), kRuns, f.note, ok ? "" : "  DECODE FAILED");
    else
      std::printf("%s (%zu bytes): ours %.1f Msample/s; %s, no ratio%s\n", f.name, f.bytes.size(),
                  megasamples / Median(ours), f.peerComparable ? "LibRaw does not unpack this file" : f.note,
                  ok ? "" : "  DECODE FAILED");
  }
}

void MeasurePeaks() {
  for (const sFile& f : Files()) {
    cBufWrapperIO io(f.bytes.data(), static_cast<uint32_t>(f.bytes.size()));
    const int64_t before = twbench::StartHeapPeak();
    bool ok = false;
    int32_t w = 0, h = 0;
    {
      auto p = f.make();
      ok = p->Load(&io);
      w = p->GetWidth();
      h = p->GetHeight();
    }
    const int64_t peak = twbench::HeapPeak() - before;
    std::printf("full load of the %s (decode and development): %s, %dx%d, peak heap %.1f MB "
                "(a 32-bit process has 2048 MB)\n",
                f.name, ok ? "ok" : "FAILED", w, h, peak / 1048576.0);
  }
  const sFile& nef = Files()[0];
  cBufWrapperIO io(nef.bytes.data(), static_cast<uint32_t>(nef.bytes.size()));
  const int64_t before = twbench::StartHeapPeak();
  cPictDummy out;
  const int32_t r = LoadPictureFitted(&io, &out, 256, 256);
  const int64_t peak = twbench::HeapPeak() - before;
  std::printf("fitted load of the %s into 256x256 (through its preview): %s, %dx%d, peak heap %.1f MB "
              "(goal: below 32 MB)\n",
              nef.name, r == kFitDone ? "ok" : "FAILED", out.GetWidth(), out.GetHeight(), peak / 1048576.0);
}

void BM_Ours(benchmark::State& state) {
  const sFile& f = Files()[static_cast<size_t>(state.range(0))];
  state.SetLabel(f.name);
  for (auto _ : state) {
    double s = 0;
    benchmark::DoNotOptimize(Ours(f, s));
  }
}
BENCHMARK(BM_Ours)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  CompareAlternating();
  MeasurePeaks();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
