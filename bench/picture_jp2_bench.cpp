// JPEG 2000 decoding: ours (cPictJ2K: the buffered stream adapter, the
// library's decode and our output stage into 32-bit pixels) against the
// peer, OpenJPEG decoding the same in-memory codestream straight from a
// memory stream into its own component planes (its natural output). The
// difference is what our adapter and output stage cost. Two pictures, made
// with the library's encoder at start: RGB 1600 x 1200 lossless (5/3) and
// lossy (9/7). The two alternate in one process; medians give the ratios
// printed first, then Google Benchmark's own report.
#include <benchmark/benchmark.h>
#include <openjpeg.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "bench/heap_count.h"
#include "picture/pict_jp2.h"

using twbench::Median;

namespace {

struct sMem {
  std::vector<uint8_t>* bytes;
  size_t at = 0;
};

OPJ_SIZE_T MemWrite(void* buffer, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<sMem*>(user);
  if (m->at + n > m->bytes->size()) m->bytes->resize(m->at + n);
  std::memcpy(m->bytes->data() + m->at, buffer, n);
  m->at += n;
  return n;
}
OPJ_SIZE_T MemRead(void* buffer, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<sMem*>(user);
  if (m->at >= m->bytes->size()) return static_cast<OPJ_SIZE_T>(-1);
  if (n > m->bytes->size() - m->at) n = m->bytes->size() - m->at;
  std::memcpy(buffer, m->bytes->data() + m->at, n);
  m->at += n;
  return n;
}
OPJ_OFF_T MemSkip(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<sMem*>(user);
  const auto target = static_cast<OPJ_OFF_T>(m->at) + n;
  if (target < 0) return -1;
  m->at = static_cast<size_t>(target);
  return n;
}
OPJ_BOOL MemSeek(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<sMem*>(user);
  if (n < 0 || static_cast<size_t>(n) > m->bytes->size()) return OPJ_FALSE;
  m->at = static_cast<size_t>(n);
  return OPJ_TRUE;
}

opj_stream_t* MemStream(sMem* m, bool input) {
  opj_stream_t* s = opj_stream_create(1 << 16, input ? OPJ_TRUE : OPJ_FALSE);
  opj_stream_set_user_data(s, m, nullptr);
  if (input) {
    opj_stream_set_user_data_length(s, m->bytes->size());
    opj_stream_set_read_function(s, MemRead);
  } else {
    opj_stream_set_write_function(s, MemWrite);
  }
  opj_stream_set_skip_function(s, MemSkip);
  opj_stream_set_seek_function(s, MemSeek);
  return s;
}

std::vector<uint8_t> Encode(uint32_t w, uint32_t h, bool lossy) {
  opj_image_cmptparm_t params[3];
  std::memset(params, 0, sizeof params);
  for (auto& p : params) {
    p.dx = p.dy = 1;
    p.w = w;
    p.h = h;
    p.prec = 8;
  }
  opj_image_t* image = opj_image_create(3, params, OPJ_CLRSPC_SRGB);
  image->x1 = w;
  image->y1 = h;
  for (uint32_t c = 0; c < 3; ++c)
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) {
        const double v = 128 + 60 * std::sin(x * (0.003 + 0.001 * c) + y * 0.002) + 40 * std::cos((x + 2 * y) * 0.0007);
        image->comps[c].data[y * w + x] = static_cast<int32_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
      }
  opj_cparameters_t cp;
  opj_set_default_encoder_parameters(&cp);
  cp.tcp_mct = 1;
  if (lossy) {
    cp.irreversible = 1;
    cp.tcp_numlayers = 1;
    cp.tcp_rates[0] = 20;
    cp.cp_disto_alloc = 1;
  }
  std::vector<uint8_t> out;
  sMem m{&out, 0};
  opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
  opj_setup_encoder(codec, &cp, image);
  opj_stream_t* s = MemStream(&m, false);
  const bool ok = opj_start_compress(codec, image, s) && opj_encode(codec, s) && opj_end_compress(codec, s);
  opj_stream_destroy(s);
  opj_destroy_codec(codec);
  opj_image_destroy(image);
  if (!ok) out.clear();
  return out;
}

struct sFiles {
  std::vector<uint8_t> lossless, lossy;
};
const sFiles& Files() {
  static const sFiles f = [] {
    sFiles r;
    r.lossless = Encode(1600, 1200, false);
    r.lossy = Encode(1600, 1200, true);
    return r;
  }();
  return f;
}

uint64_t Ours(const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictJ2K j2k;
  if (!j2k.Load(&io)) return 0;
  return j2k.Pixels32().data[j2k.Pixels32().count / 2];
}

uint64_t Peer(const std::vector<uint8_t>& file) {
  std::vector<uint8_t> copy = file;
  sMem m{&copy, 0};
  opj_stream_t* s = MemStream(&m, true);
  opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
  opj_image_t* image = nullptr;
  uint64_t out = 0;
  if (opj_read_header(s, codec, &image) && opj_decode(codec, s, image))
    out = static_cast<uint64_t>(image->comps[0].data[image->comps[0].w * image->comps[0].h / 2]) + 1;
  if (image != nullptr) opj_image_destroy(image);
  opj_destroy_codec(codec);
  opj_stream_destroy(s);
  return out;
}

double Seconds(const std::chrono::steady_clock::time_point& a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

void CompareAlternating() {
  constexpr int kRuns = 7;
  const struct {
    const char* name;
    const std::vector<uint8_t>* file;
  } inputs[] = {{"RGB8 1600x1200 lossless 5/3", &Files().lossless}, {"RGB8 1600x1200 lossy 9/7", &Files().lossy}};
  for (const auto& in : inputs) {
    std::vector<double> ours, peer;
    bool ok = !in.file->empty();
    for (int i = 0; i < kRuns && ok; ++i) {
      auto t = std::chrono::steady_clock::now();
      ok &= Peer(*in.file) != 0;
      peer.push_back(Seconds(t));
      t = std::chrono::steady_clock::now();
      ok &= Ours(*in.file) != 0;
      ours.push_back(Seconds(t));
    }
    if (!ok) {
      std::printf("%s: DECODE FAILED\n", in.name);
      continue;
    }
    std::printf("%s (%zu bytes): ours %.1f Mpixel/s, OpenJPEG alone %.1f; speed vs OpenJPEG alone %.3fx "
                "(median of %d)\n",
                in.name, in.file->size(), 1.92 / Median(ours), 1.92 / Median(peer), Median(peer) / Median(ours),
                kRuns);
  }
}

void BM_Ours(benchmark::State& state) {
  const auto& f = state.range(0) == 0 ? Files().lossless : Files().lossy;
  for (auto _ : state) benchmark::DoNotOptimize(Ours(f));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1600 * 1200 * 4);
}
BENCHMARK(BM_Ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_OpenJpegAlone(benchmark::State& state) {
  const auto& f = state.range(0) == 0 ? Files().lossless : Files().lossy;
  for (auto _ : state) benchmark::DoNotOptimize(Peer(f));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1600 * 1200 * 4);
}
BENCHMARK(BM_OpenJpegAlone)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  CompareAlternating();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
