// PNG decoding: ours against libpng and libspng over the same in-memory
// files, an RGB8 4000 x 3000 picture with mixed filters and an Adam7 RGBA8
// picture, each decoder producing its natural output (ours 32-bit BGRA
// pixels, the peers the PNG's own layout). The three alternate in one
// process; the medians give the ratios printed first. Then the peak of heap
// memory (operator new) while LoadPictureFitted fits the large picture into
// 256 x 256. Google Benchmark then reports bytes/s for each.
#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/memio.h"
#include "bench/heap_count.h"
#include "picture/pict_factory.h"
#include "picture/pict_png.h"
#include "tests/support/png_writer.h"

using twbench::Median;

namespace {

struct sFiles {
  std::vector<uint8_t> rgb;    // 4000 x 3000 RGB8, filters 0..4 cycling
  std::vector<uint8_t> adam7;  // 2000 x 1500 RGBA8, interlaced
};

// A photo-like picture: smooth colour fields with soft edges and a little
// sensor noise, so that it deflates to about half, as photographs do.
twtest::sPngImage PhotoLike(uint32_t w, uint32_t h, uint8_t type, uint32_t seed) {
  twtest::sPngImage img;
  img.width = w;
  img.height = h;
  img.colourType = type;
  img.bitDepth = 8;
  const int spp = img.SamplesPerPixel();
  img.rows.resize(img.RowBytes(w) * h);
  uint32_t x32 = seed * 2654435761u + 1;
  uint8_t* p = img.rows.data();
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      for (int s = 0; s < spp; ++s) {
        x32 ^= x32 << 13;
        x32 ^= x32 >> 17;
        x32 ^= x32 << 5;
        const double v = 128 + 60 * std::sin(x * (0.003 + 0.001 * s) + y * 0.002) +
                         40 * std::cos((x + 2 * y) * 0.0007 * (s + 1)) + static_cast<int>(x32 & 3) - 1.5;
        *p++ = s == 3 ? 255 : static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
  }
  return img;
}

const sFiles& Files() {
  static const sFiles f = [] {
    sFiles r;
    twtest::sPngImage a = PhotoLike(4000, 3000, 2, 1);
    a.filter = -1;  // 0, 1, 2, 3, 4 cycling over the rows
    r.rgb = twtest::EncodePng(a, 65536);
    twtest::sPngImage b = PhotoLike(2000, 1500, 6, 2);
    b.interlace = 1;
    r.adam7 = twtest::EncodePng(b, 65536);
    return r;
  }();
  return f;
}

uint64_t Ours(const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictPNG png;
  if (!png.Load(&io)) return 0;
  return png.Pixels32().data[png.Pixels32().count / 2];
}

struct sReader {
  const std::vector<uint8_t>* bytes;
  size_t at;
};
void ReadFn(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<sReader*>(png_get_io_ptr(png));
  if (r->at + n > r->bytes->size()) png_error(png, "eof");
  std::memcpy(out, r->bytes->data() + r->at, n);
  r->at += n;
}

uint64_t Libpng(const std::vector<uint8_t>& file) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  sReader r{&file, 0};
  std::vector<uint8_t> pixels;
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
  }
  png_set_read_fn(png, &r, ReadFn);
  png_read_info(png, info);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t h = png_get_image_height(png, info), rb = png_get_rowbytes(png, info);
  pixels.resize(rb * h);
  rows.resize(h);
  for (size_t y = 0; y < h; ++y) rows[y] = pixels.data() + rb * y;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return pixels[pixels.size() / 2];
}

uint64_t Libspng(const std::vector<uint8_t>& file) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, file.data(), file.size());
  size_t size = 0;
  uint64_t out = 0;
  if (spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size) == 0) {
    std::vector<uint8_t> pixels(size);
    if (spng_decode_image(ctx, pixels.data(), size, SPNG_FMT_PNG, 0) == 0) out = pixels[size / 2];
  }
  spng_ctx_free(ctx);
  return out;
}

double Seconds(const std::chrono::steady_clock::time_point& a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

void CompareAlternating() {
  constexpr int kRuns = 9;
  const struct {
    const char* name;
    const std::vector<uint8_t>* file;
    double mpixels;
  } inputs[] = {{"RGB8 4000x3000 mixed filters", &Files().rgb, 12.0}, {"RGBA8 2000x1500 Adam7", &Files().adam7, 3.0}};
  for (const auto& in : inputs) {
    std::vector<double> ours, png, spng;
    bool ok = true;
    for (int i = 0; i < kRuns; ++i) {
      auto t = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(Libpng(*in.file));
      png.push_back(Seconds(t));
      t = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(Libspng(*in.file));
      spng.push_back(Seconds(t));
      t = std::chrono::steady_clock::now();
      ok &= Ours(*in.file) != 0;
      ours.push_back(Seconds(t));
    }
    std::printf("%s: ours %.1f Mpixel/s, libpng %.1f, libspng %.1f; speed vs libpng %.3fx, vs libspng %.3fx "
                "(median of %d)%s\n",
                in.name, in.mpixels / Median(ours), in.mpixels / Median(png), in.mpixels / Median(spng),
                Median(png) / Median(ours), Median(spng) / Median(ours), kRuns, ok ? "" : "  DECODE FAILED");
  }
}

void MeasureFittedPeak() {
  const std::vector<uint8_t>& file = Files().rgb;
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  // Heap peak through operator new (bench/heap_count.h).
  const int64_t before = twbench::StartHeapPeak();
  int32_t r;
  {
    cPictDummy dest;
    r = LoadPictureFitted(&io, &dest, 256, 256);
  }
  const double peakMiB = static_cast<double>(twbench::HeapPeak() - before) / (1 << 20);
  std::printf("LoadPictureFitted 4000x3000 RGB8 PNG (%.1f MiB file) into 256x256: result %d, heap peak %.2f MiB "
              "(goal below 32 MiB; zlib's own ~44 KiB not counted)\n",
              static_cast<double>(file.size()) / (1 << 20), r, peakMiB);
}

void BM_Ours(benchmark::State& state) {
  const auto& f = state.range(0) == 0 ? Files().rgb : Files().adam7;
  for (auto _ : state) benchmark::DoNotOptimize(Ours(f));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.size()));
}
BENCHMARK(BM_Ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Libpng(benchmark::State& state) {
  const auto& f = state.range(0) == 0 ? Files().rgb : Files().adam7;
  for (auto _ : state) benchmark::DoNotOptimize(Libpng(f));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.size()));
}
BENCHMARK(BM_Libpng)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Libspng(benchmark::State& state) {
  const auto& f = state.range(0) == 0 ? Files().rgb : Files().adam7;
  for (auto _ : state) benchmark::DoNotOptimize(Libspng(f));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.size()));
}
BENCHMARK(BM_Libspng)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  MeasureFittedPeak();
  CompareAlternating();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
