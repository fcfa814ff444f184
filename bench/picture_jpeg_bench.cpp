// JPEG decoding: ours against libjpeg-turbo over the same in-memory files, a
// 24-megapixel (6000 x 4000) 4:2:0 baseline photo and the same picture
// progressive. Both decoders use the accurate integer IDCT and plain
// (replicating) upsampling and produce 32-bit BGRA pixels. libjpeg-turbo
// runs twice: with its SIMD code off (JSIMD_FORCENONE=1, read by every new
// thread that starts decoding) and on. The decoders alternate in one
// process and are timed by the CPU time of their thread (the machine is
// shared); the medians give the ratios printed first. Then the peak of heap
// memory (operator new) while LoadPictureFitted fits a 64-megapixel baseline
// picture into 256 x 256. Google Benchmark then reports bytes/s for ours.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <csetjmp>
#include <jpeglib.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <cmath>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "base/memio.h"
#include "bench/heap_count.h"
#include "picture/pict_factory.h"
#include "picture/pict_jpeg.h"

using twbench::Median;

namespace {

struct sErr {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};
void OnError(j_common_ptr cinfo) { longjmp(reinterpret_cast<sErr*>(cinfo->err)->jump, 1); }

// A photo-like picture (smooth fields, edges, a little noise) encoded by
// libjpeg-turbo at quality 90, 4:2:0, baseline or progressive.
std::vector<uint8_t> EncodePhoto(int w, int h, bool progressive) {
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
  jpeg_compress_struct cinfo;
  sErr err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnError;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    free(out);
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  cinfo.comp_info[0].h_samp_factor = 2;
  cinfo.comp_info[0].v_samp_factor = 2;
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  uint32_t x32 = 12345;
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 3; ++c) {
        x32 ^= x32 << 13;
        x32 ^= x32 >> 17;
        x32 ^= x32 << 5;
        double v = 128 + 70 * std::sin(x * (0.004 + 0.001 * c) + y * 0.003) +
                   35 * std::cos((x + 2 * y) * 0.0011 * (c + 1)) + static_cast<int>(x32 % 9) - 4;
        if (((x >> 6) + (y >> 6)) % 7 == 0) v = 255 - v;
        row[static_cast<size_t>(x) * 3 + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> file(out, out + size);
  free(out);
  return file;
}

struct sFiles {
  std::vector<uint8_t> baseline, progressive;
};

const sFiles& Files() {
  static const sFiles f = [] {
    sFiles r;
    r.baseline = EncodePhoto(6000, 4000, false);
    r.progressive = EncodePhoto(6000, 4000, true);
    return r;
  }();
  return f;
}

uint64_t Ours(const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictJPEG jpeg;
  if (!jpeg.Load(&io)) return 0;
  return jpeg.Pixels32().data[jpeg.Pixels32().count / 2];
}

// libjpeg-turbo into a BGRA buffer of the whole picture, as ours decodes.
uint64_t Turbo(const std::vector<uint8_t>& file) {
  jpeg_decompress_struct cinfo;
  sErr err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnError;
  std::vector<uint8_t> pixels;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = FALSE;
  cinfo.out_color_space = JCS_EXT_BGRA;
  jpeg_start_decompress(&cinfo);
  const size_t stride = static_cast<size_t>(cinfo.output_width) * 4;
  pixels.resize(stride * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[16];
    for (int i = 0; i < 16; ++i) {
      const size_t y = std::min<size_t>(cinfo.output_scanline + i, cinfo.output_height - 1);
      rows[i] = pixels.data() + y * stride;
    }
    jpeg_read_scanlines(&cinfo, rows, 16);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return pixels[pixels.size() / 2];
}

// The calling thread's CPU time: the machines that run this are shared, and
// a decode that waits for a CPU must not count the wait.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// libjpeg-turbo decides per thread, on its first use, whether to use SIMD:
// each timing runs on a fresh thread with the variable set or not.
double TimeTurbo(const std::vector<uint8_t>& file, bool simd) {
  if (simd) unsetenv("JSIMD_FORCENONE");
  else setenv("JSIMD_FORCENONE", "1", 1);
  double seconds = 0;
  std::thread t([&] {
    const double start = ThreadSeconds();
    benchmark::DoNotOptimize(Turbo(file));
    seconds = ThreadSeconds() - start;
  });
  t.join();
  return seconds;
}

void CompareAlternating() {
  constexpr int kRuns = 7;
  const struct {
    const char* name;
    const std::vector<uint8_t>* file;
  } inputs[] = {{"baseline 4:2:0 6000x4000", &Files().baseline}, {"progressive 4:2:0 6000x4000", &Files().progressive}};
  for (const auto& in : inputs) {
    std::vector<double> ours, plain, simd;
    bool ok = true;
    for (int i = 0; i < kRuns; ++i) {
      plain.push_back(TimeTurbo(*in.file, false));
      simd.push_back(TimeTurbo(*in.file, true));
      const double t = ThreadSeconds();
      ok &= Ours(*in.file) != 0;
      ours.push_back(ThreadSeconds() - t);
    }
    const double mp = 24.0;
    std::printf("%s (%zu bytes): ours %.1f Mpixel/s, libjpeg-turbo without SIMD %.1f, with SIMD %.1f; "
                "speed vs libjpeg-turbo without SIMD %.3fx, with SIMD %.3fx (median of %d)%s\n",
                in.name, in.file->size(), mp / Median(ours), mp / Median(plain), mp / Median(simd),
                Median(plain) / Median(ours), Median(simd) / Median(ours), kRuns, ok ? "" : "  DECODE FAILED");
  }
}

void MeasureFittedPeak() {
  const std::vector<uint8_t> file = EncodePhoto(8000, 8000, false);
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  // Heap peak through operator new (bench/heap_count.h).
  const int64_t before = twbench::StartHeapPeak();
  cPictDummy fitted;
  const int32_t r = LoadPictureFitted(&io, &fitted, 256, 256);
  const int64_t peak = twbench::HeapPeak() - before;
  std::printf("fitted load of a 64-megapixel baseline JPEG (8000x8000, %zu bytes) into 256x256: result %d, "
              "%dx%d, peak heap %.2f MB (goal below 32 MB)\n",
              file.size(), r, fitted.GetWidth(), fitted.GetHeight(), peak / 1048576.0);
}

void BM_OursBaseline(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Ours(Files().baseline));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 6000 * 4000 * 4);
}
BENCHMARK(BM_OursBaseline)->Unit(benchmark::kMillisecond);

void BM_OursProgressive(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Ours(Files().progressive));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 6000 * 4000 * 4);
}
BENCHMARK(BM_OursProgressive)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  CompareAlternating();
  MeasureFittedPeak();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
