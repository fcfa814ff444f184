// Downloading 256 MiB over loopback from the test HTTP server
// (tests/net/http_server.py, started here) with cHttpTransport against
// Debian's curl fetching the same address into /dev/null. The two alternate
// in one process; the median of several runs of each gives the ratio
// printed first (ours / curl, as throughput: above 1 is faster). curl's
// time includes starting its process, a few milliseconds against the
// transfer's hundreds. Google Benchmark then reports bytes/s for each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/http_transport.h"
#include "tests/net/http_server.h"

namespace {

constexpr uint64_t kBodySize = uint64_t{256} << 20;

twtest::HttpTestServer& Server() {
  static twtest::HttpTestServer server(3600);
  return server;
}

std::string Url() { return Server().Url("/bytes/" + std::to_string(kBodySize)); }

// Counts the body and looks at one byte of each piece, as a caller that
// writes it somewhere would touch it.
class Counter : public cHttpResponse {
public:
  bool OnData(const char* data, uint32_t length, uint64_t) override {
    bytes += length;
    touched += static_cast<uint8_t>(data[length - 1]);
    return true;
  }
  uint64_t bytes = 0;
  uint64_t touched = 0;
};

bool Ours() {
  cHttpRequest request(Url().c_str());
  cHttpTransport transport;
  Counter c;
  const bool ok = transport.Execute(request, c) && c.bytes == kBodySize;
  benchmark::DoNotOptimize(c.touched);
  return ok;
}

bool Curl() {
  const std::string command = "curl --silent --fail --output /dev/null '" + Url() + "'";
  return std::system(command.c_str()) == 0;
}

double Seconds(const std::chrono::steady_clock::time_point& a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void CompareAlternating() {
  constexpr int kRuns = 7;
  std::vector<double> peer, ours;
  bool allOk = true;
  Ours();  // warm the server and the page cache of both sides
  Curl();
  for (int i = 0; i < kRuns; ++i) {
    auto t = std::chrono::steady_clock::now();
    allOk &= Curl();
    peer.push_back(Seconds(t));
    t = std::chrono::steady_clock::now();
    allOk &= Ours();
    ours.push_back(Seconds(t));
  }
  const double mib = static_cast<double>(kBodySize) / (1 << 20);
  std::printf("256 MiB over loopback: curl %.1f MiB/s, cHttpTransport %.1f MiB/s, ratio %.3f (median of %d)%s\n",
              mib / Median(peer), mib / Median(ours), Median(peer) / Median(ours), kRuns,
              allOk ? "" : "  A DOWNLOAD FAILED");
}

void BM_Curl(benchmark::State& state) {
  for (auto _ : state)
    if (!Curl()) state.SkipWithError("curl failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBodySize));
}
BENCHMARK(BM_Curl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_HttpTransport(benchmark::State& state) {
  for (auto _ : state)
    if (!Ours()) state.SkipWithError("download failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBodySize));
}
BENCHMARK(BM_HttpTransport)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  // The server script is found in the source tree.
  setenv("TW_SOURCE_DIR", TW_SOURCE_ROOT, 0);
  if (!StartSocketLibrary()) return 1;
  CompareAlternating();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
