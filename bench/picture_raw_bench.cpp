// Camera raw: unpacking a 24-megapixel (6000 x 4000) DNG, lossless JPEG in
// 256 x 256 tiles and uncompressed 16-bit, ours against LibRaw's unpack
// (libraw-dev) over the same in-memory file. Ours is timed from the start
// of the Load to the moment the sensor frame reaches the development (the
// frame hook), the development from there to the end of the Load. The two
// alternate in one process and are timed by the CPU time of their thread
// (the machine is shared); the medians give the ratios printed first
// (LibRaw's unpack time over ours: at least 1.0 means ours is as fast).
// Then the peak of heap memory (operator new) of a full Load of the
// uncompressed file, and of a fitted load into 256 x 256, which goes
// through the preview page. Google Benchmark then reports ours alone.
#include <benchmark/benchmark.h>
#include <libraw/libraw.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "base/memio.h"
#include "bench/heap_count.h"
#include "picture/pict_factory.h"
#include "picture/raw/pict_dng.h"
#include "picture/raw/raw_develop.h"
#include "tests/support/raw_fixture.h"

namespace {

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

struct sFile {
  const char* name;
  std::vector<uint8_t> bytes;
};

double gFrameAt = 0;

void MarkFrame(const uint16_t*, int32_t, int32_t, void*) { gFrameAt = ThreadSeconds(); }

std::vector<uint8_t> MakeFile(bool ljpeg) {
  sDngFile f;
  f.tiff.make = "Canon";
  f.tiff.model = "Canon EOS 5D Mark IV";
  f.tiff.sensor.width = 6000;
  f.tiff.sensor.height = 4000;
  f.tiff.sensor.bits = 14;
  f.tiff.sensor.samples = SyntheticMosaic(6000, 4000, 14, 1);
  if (ljpeg) {
    f.tiff.sensor.compression = 7;
    f.tiff.sensor.tileWidth = 256;
    f.tiff.sensor.tileHeight = 256;
  } else {
    f.tiff.sensor.bits = 16;
    f.tiff.sensor.rowsPerStrip = 256;
  }
  f.tiff.preview.width = 256;
  f.tiff.preview.height = 171;
  return MakeDng(f);
}

// Ours: unpack and development seconds of one Load.
bool OursLoad(const sFile& f, double& unpack, double& develop) {
  cBufWrapperIO io(f.bytes.data(), static_cast<uint32_t>(f.bytes.size()));
  cPictDNG dng;
  gFrameAt = 0;
  const double t0 = ThreadSeconds();
  const bool ok = dng.Load(&io);
  const double t1 = ThreadSeconds();
  unpack = gFrameAt - t0;
  develop = t1 - gFrameAt;
  return ok && gFrameAt > 0;
}

bool LibRawUnpack(const sFile& f, double& seconds) {
  libraw_data_t* lr = libraw_init(0);
  if (lr == nullptr) return false;
  const double t0 = ThreadSeconds();
  bool ok = libraw_open_buffer(lr, const_cast<uint8_t*>(f.bytes.data()), f.bytes.size()) == LIBRAW_SUCCESS &&
            libraw_unpack(lr) == LIBRAW_SUCCESS;
  seconds = ThreadSeconds() - t0;
  libraw_close(lr);
  return ok;
}

void Compare(const sFile& f, int runs) {
  std::vector<double> ours, develop, peer;
  bool ok = true, peerOk = true;
  for (int i = 0; i < runs; ++i) {
    double u = 0, d = 0, p = 0;
    ok = OursLoad(f, u, d) && ok;
    peerOk = LibRawUnpack(f, p) && peerOk;
    ours.push_back(u);
    develop.push_back(d);
    peer.push_back(p);
  }
  const double mo = twbench::Median(ours), mp = twbench::Median(peer), md = twbench::Median(develop);
  std::printf("%-28s %9zu bytes: unpack ours %7.1f ms, LibRaw %7.1f ms, ratio %.2f%s%s; development %7.1f ms\n",
              f.name, f.bytes.size(), mo * 1e3, mp * 1e3, mp / mo, ok ? "" : " (ours FAILED)",
              peerOk ? "" : " (LibRaw FAILED)", md * 1e3);
}

std::vector<sFile>* gFiles = nullptr;

void BM_Ours(benchmark::State& state) {
  const sFile& f = (*gFiles)[static_cast<size_t>(state.range(0))];
  for (auto _ : state) {
    double u = 0, d = 0;
    benchmark::DoNotOptimize(OursLoad(f, u, d));
  }
  state.SetLabel(f.name);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  SetRawFrameHook(&MarkFrame, nullptr);
  std::vector<sFile> files;
  files.push_back({"24 MP DNG lossless JPEG tiles", MakeFile(true)});
  files.push_back({"24 MP DNG uncompressed 16-bit", MakeFile(false)});
  gFiles = &files;
  for (const sFile& f : files) Compare(f, 5);
  {
    const sFile& f = files[1];
    cBufWrapperIO io(f.bytes.data(), static_cast<uint32_t>(f.bytes.size()));
    cPictDNG dng;
    const int64_t before = twbench::StartHeapPeak();
    const bool ok = dng.Load(&io);
    std::printf("full load of the uncompressed 24 MP DNG: %s, %dx%d, peak heap %.1f MB above the start "
                "(a 32-bit process has 2048 MB)\n",
                ok ? "done" : "FAILED", dng.GetWidth(), dng.GetHeight(),
                (twbench::HeapPeak() - before) / 1048576.0);
  }
  {
    const sFile& f = files[0];
    cBufWrapperIO io(f.bytes.data(), static_cast<uint32_t>(f.bytes.size()));
    cPictDummy fitted;
    const int64_t before = twbench::StartHeapPeak();
    const int32_t r = LoadPictureFitted(&io, &fitted, 256, 256);
    std::printf("fitted load of the 24 MP DNG into 256x256 (through its preview): result %d, %dx%d, peak heap "
                "%.1f MB above the start (goal below 32 MB)\n",
                r, fitted.GetWidth(), fitted.GetHeight(), (twbench::HeapPeak() - before) / 1048576.0);
  }
  for (int i = 0; i < static_cast<int>(files.size()); ++i)
    benchmark::RegisterBenchmark("BM_Ours", BM_Ours)->Arg(i)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
