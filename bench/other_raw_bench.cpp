// Unpacking of the other camera codings, ours against LibRaw's unpack
// (libraw-dev) of the same in-memory files: a 24-megapixel (6048 x 4032)
// compressed X-Trans RAF, and 24-megapixel rasters in the Panasonic block
// coding, the Olympus adaptive coding and the Phase One coded rows. Ours is
// timed on the coded samples alone (the container parse is negligible);
// the two alternate in one process and are timed by the process's CPU time
// (the machine is shared; LibRaw uses threads); the medians give the
// ratios. LibRaw refuses the test kit's RW2 and ORF files and does not
// finish on its IIQ files, so those print ours alone. Then the peak heap of
// a full RAF load (decode and development) and of a fitted load into
// 256 x 256, which goes through the preview. Google Benchmark then reports
// ours.
#include <benchmark/benchmark.h>
#include <libraw/libraw.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/memio.h"
#include "bench/heap_count.h"
#include "bench/libraw_unpack.h"
#include "picture/pict_factory.h"
#include "picture/raw/pict_raf.h"
#include "picture/raw/raw_fuji_compressed.h"
#include "picture/raw/raw_olympus.h"
#include "picture/raw/raw_panasonic.h"
#include "picture/raw/raw_phaseone.h"
#include "tests/picture/raw/large_raw_files.h"
#include "tests/support/iiq_encoder.h"
#include "tests/support/olympus_encoder.h"
#include "tests/support/panasonic_encoder.h"

using twbench::Median;

namespace {

constexpr int32_t kW = large_raw::kWideW, kH = large_raw::kWideH;
using large_raw::Sensor;

// CPU time of the whole process: LibRaw decodes Fujifilm compressed blocks
// on OpenMP threads, whose time the calling thread's clock would miss.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

std::vector<uint8_t> ReadSource(const std::string& relative) {
  std::ifstream in(std::string(TW_SOURCE_ROOT) + "/" + relative, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct sData {
  std::vector<uint8_t> rafSection, raf;  // the compressed section, the whole file
  std::vector<uint8_t> rw2;              // block-coded samples
  std::vector<uint8_t> orf;              // one adaptive-coded strip
  std::vector<uint8_t> iiq;              // coded rows
  std::vector<uint32_t> iiqRows;         // row starts
};

const sData& Data() {
  static const sData d = [] {
    sData d;
    std::fprintf(stderr, "encoding the inputs...\n");
    d.rafSection = large_raw::RafSection();
    d.raf = large_raw::Raf(d.rafSection, ReadSource("tests/picture/raw/data/preview_1536x1024.jpg"));
    d.rw2 = panasonic_encoder::Encode(Sensor(kW, kH, 12), kW, kH, false).bytes;
    olympus_encoder::Encode(Sensor(kW, kH, 12), kW, kH, d.orf);
    const auto iiq = Sensor(kW, kH, 14);
    for (int32_t y = 0; y < kH; ++y) {
      d.iiqRows.push_back(static_cast<uint32_t>(d.iiq.size()));
      const auto row = iiq_encoder::EncodeRow(iiq.data() + static_cast<size_t>(y) * kW, kW);
      d.iiq.insert(d.iiq.end(), row.begin(), row.end());
    }
    return d;
  }();
  return d;
}

std::vector<uint16_t>& Frame() {
  static std::vector<uint16_t> frame(static_cast<size_t>(kW) * kH);
  return frame;
}

bool OursRaf() {
  const auto& s = Data().rafSection;
  return DecodeFujiCompressed(s.data(), s.size(), Frame().data(), kW, kH);
}

bool OursRw2() {
  const auto& s = Data().rw2;
  cBufWrapperIO io(s.data(), static_cast<uint32_t>(s.size()));
  int32_t rows = 0;
  return DecodePanasonicBlocks(&io, false, kW, kH, Frame().data(), &rows);
}

bool OursOrf() {
  const auto& s = Data().orf;
  return DecodeOlympusStrip(s.data(), s.size(), kW, kH, Frame().data(), kW);
}

bool OursIiq() {
  const auto& d = Data();
  for (int32_t y = 0; y < kH; ++y) {
    const size_t at = d.iiqRows[y];
    if (!DecodeIiqRow(d.iiq.data() + at, d.iiq.size() - at, kW, Frame().data() + static_cast<size_t>(y) * kW))
      return false;
  }
  return true;
}

void CompareAlternating() {
  constexpr int kRuns = 5;
  const struct {
    const char* name;
    bool (*ours)();
    const std::vector<uint8_t>* peerFile;  // null: no LibRaw run, for the reason given
    const char* why;
  } inputs[] = {
      {"RAF 6048x4032 compressed X-Trans, 14-bit", &OursRaf, &Data().raf, ""},
      {"RW2 6048x4032 block coding", &OursRw2, nullptr, "LibRaw refuses the test kit's RW2 files"},
      {"ORF 6048x4032 adaptive coding", &OursOrf, nullptr, "LibRaw refuses the test kit's ORF files"},
      {"IIQ 6048x4032 coded rows", &OursIiq, nullptr,
       "LibRaw does not finish on the test kit's IIQ files (unprocessed_raw is stopped after 60 s)"}};
  const double mega = kW * static_cast<double>(kH) / 1e6;
  for (const auto& in : inputs) {
    std::vector<double> ours, peer;
    bool ok = true, peerOk = in.peerFile != nullptr;
    for (int i = 0; i < kRuns; ++i) {
      double t = CpuSeconds();
      if (in.peerFile != nullptr) {
        peerOk &= twbench::LibRawUnpack(*in.peerFile);
        peer.push_back(CpuSeconds() - t);
      }
      t = CpuSeconds();
      ok &= in.ours();
      ours.push_back(CpuSeconds() - t);
    }
    if (peerOk)
      std::printf("%s: ours %.1f Msample/s, LibRaw unpack %.1f; speed vs LibRaw %.3fx (median of %d)%s\n", in.name,
                  mega / Median(ours), mega / Median(peer), Median(peer) / Median(ours), kRuns,
                  ok ? "" : "  DECODE FAILED");
    else
      std::printf("%s: ours %.1f Msample/s (median of %d); %s, no ratio%s\n", in.name, mega / Median(ours), kRuns,
                  in.peerFile ? "LibRaw does not unpack this synthetic file" : in.why, ok ? "" : "  DECODE FAILED");
  }
}

void MeasurePeaks() {
  const auto& file = Data().raf;
  {
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    const int64_t before = twbench::StartHeapPeak();
    bool ok = false;
    int32_t w = 0, h = 0;
    {
      cPictRAF raf;
      ok = raf.Load(&io);
      w = raf.GetWidth();
      h = raf.GetHeight();
    }
    std::printf("full load of the 24 MP compressed RAF (decode and development): %s, %dx%d, peak heap %.1f MB "
                "above the start (a 32-bit process has 2048 MB)\n",
                ok ? "done" : "FAILED", w, h, (twbench::HeapPeak() - before) / 1048576.0);
  }
  {
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    cPictDummy fitted;
    const int64_t before = twbench::StartHeapPeak();
    const int32_t r = LoadPictureFitted(&io, &fitted, 256, 256);
    std::printf("fitted load of the 24 MP RAF into 256x256 (through its preview): result %d, %dx%d, peak heap "
                "%.1f MB above the start (goal below 32 MB)\n",
                r, fitted.GetWidth(), fitted.GetHeight(), (twbench::HeapPeak() - before) / 1048576.0);
  }
}

void BM_Ours(benchmark::State& state) {
  bool (*const fns[])() = {&OursRaf, &OursRw2, &OursOrf, &OursIiq};
  for (auto _ : state) benchmark::DoNotOptimize(fns[state.range(0)]());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kW * kH * 2);
}
BENCHMARK(BM_Ours)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  CompareAlternating();
  MeasurePeaks();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
