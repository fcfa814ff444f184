// Streaming a 100 MiB raw-deflate payload through the decompressing stream
// against a plain zlib inflate loop over the same in-memory input, both
// reading into a 64 KiB buffer. The two alternate in one process; the
// median of several runs of each gives the ratio printed first. Google
// Benchmark then reports bytes/s for each.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/decompress_stream.h"
#include "base/memio.h"

namespace {

constexpr size_t kPayloadSize = size_t{100} << 20;
constexpr uint32_t kReadSize = 65536;

struct sPayload {
  std::vector<unsigned char> packed;
  uint64_t checksum = 0;
};

// Text-like data that deflates to roughly a third, like program files.
const sPayload& Payload() {
  static const sPayload p = [] {
    static const char* words[] = {"install ", "package ", "window ", "stream\n", "0x1F2E ", "Tarnwick ",
                                  "folder, ", "value = ", "{ }; "};
    std::vector<unsigned char> plain;
    plain.reserve(kPayloadSize);
    uint32_t x = 7;
    while (plain.size() < kPayloadSize) {
      x = x * 1664525u + 1013904223u;
      if ((x >> 26) < 6) {
        plain.push_back(static_cast<unsigned char>(x >> 8));
      } else {
        const char* w = words[(x >> 12) % 9];
        plain.insert(plain.end(), w, w + std::strlen(w));
      }
    }
    plain.resize(kPayloadSize);
    sPayload r;
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    r.packed.resize(deflateBound(&s, plain.size()));
    s.next_in = plain.data();
    s.avail_in = static_cast<uInt>(plain.size());
    s.next_out = r.packed.data();
    s.avail_out = static_cast<uInt>(r.packed.size());
    deflate(&s, Z_FINISH);
    r.packed.resize(s.total_out);
    deflateEnd(&s);
    for (unsigned char c : plain) r.checksum += c;
    return r;
  }();
  return p;
}

uint64_t Sum(const unsigned char* p, size_t n) {
  uint64_t s = 0;
  for (size_t i = 0; i < n; ++i) s += p[i];
  return s;
}

// The peer: inflate straight from the buffer into the read buffer.
uint64_t PlainInflate(const sPayload& p, std::vector<unsigned char>& buf) {
  z_stream s{};
  inflateInit2(&s, -15);
  s.next_in = const_cast<unsigned char*>(p.packed.data());
  s.avail_in = static_cast<uInt>(p.packed.size());
  uint64_t sum = 0;
  int ret = Z_OK;
  while (ret == Z_OK) {
    s.next_out = buf.data();
    s.avail_out = kReadSize;
    ret = inflate(&s, Z_NO_FLUSH);
    sum += Sum(buf.data(), kReadSize - s.avail_out);
  }
  inflateEnd(&s);
  return sum;
}

uint64_t StreamInflate(const sPayload& p, std::vector<unsigned char>& buf, int32_t window) {
  cBufWrapperIO source(p.packed.data(), static_cast<uint32_t>(p.packed.size()));
  cZStream z;
  if (!z.OpenDeflate(&source, kPayloadSize, window, false, 15)) return 0;
  uint64_t sum = 0;
  for (;;) {
    const uint32_t n = z.Read(buf.data(), kReadSize);
    if (n == 0) break;
    sum += Sum(buf.data(), n);
  }
  return sum;
}

double Seconds(const std::chrono::steady_clock::time_point& a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void CompareAlternating() {
  const sPayload& p = Payload();
  std::vector<unsigned char> buf(kReadSize);
  constexpr int kRuns = 7;
  for (int32_t window : {4096, 65536}) {
    std::vector<double> peer, ours;
    bool same = true;
    for (int i = 0; i < kRuns; ++i) {
      auto t = std::chrono::steady_clock::now();
      same &= PlainInflate(p, buf) == p.checksum;
      peer.push_back(Seconds(t));
      t = std::chrono::steady_clock::now();
      same &= StreamInflate(p, buf, window) == p.checksum;
      ours.push_back(Seconds(t));
    }
    const double mib = static_cast<double>(kPayloadSize) / (1 << 20);
    std::printf("window %6d: plain inflate %.1f MiB/s, cZStream %.1f MiB/s, ratio %.3f (median of %d)%s\n",
                window, mib / Median(peer), mib / Median(ours), Median(peer) / Median(ours), kRuns,
                same ? "" : "  OUTPUT DIFFERS");
  }
}

void BM_PlainInflate(benchmark::State& state) {
  const sPayload& p = Payload();
  std::vector<unsigned char> buf(kReadSize);
  for (auto _ : state) benchmark::DoNotOptimize(PlainInflate(p, buf));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayloadSize));
}
// Wall time: the stream decodes on a thread of its own while the caller waits.
BENCHMARK(BM_PlainInflate)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecompressStream(benchmark::State& state) {
  const sPayload& p = Payload();
  std::vector<unsigned char> buf(kReadSize);
  for (auto _ : state) benchmark::DoNotOptimize(StreamInflate(p, buf, static_cast<int32_t>(state.range(0))));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayloadSize));
}
BENCHMARK(BM_DecompressStream)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  CompareAlternating();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
