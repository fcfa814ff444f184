// Reading a package and streaming every payload out, against `gzip -d` of
// the same file contents in the same run. Ours: cSOPKGDescription::Read from
// a package file (inflate of the whole section stream, its SHA-256), then
// each payload through OpenPayloadStream in 64 KiB reads, as the installer
// copies (inflate and the payload's SHA-256). The peer: `gzip -dc` of one
// .gz file holding the same contents (level 9) into /dev/null. The two
// alternate; the medians give the ratio (peer time / our time, so above 1
// means faster than gzip).
//
// By default 200 files / 20 MiB; "--full" (before Google Benchmark's own
// options) uses 2,000 files / 200 MiB.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/memio.h"
#include "package/description.h"

namespace {

struct sSet {
  int files = 200;
  size_t bytes = size_t{20} << 20;
};
sSet gSet;

std::string gPackagePath;
std::string gGzipPath;
uint64_t gChecksum = 0;

// One file's bytes: program-like data that deflates to roughly a third,
// different per file.
std::vector<unsigned char> FileBytes(int index, size_t size) {
  static const char* words[] = {"install ", "package ", "window ", "stream\n", "0x1F2E ", "Tarnwick ",
                                "folder, ", "value = ", "{ }; "};
  std::vector<unsigned char> b;
  b.reserve(size + 16);
  uint32_t x = static_cast<uint32_t>(index) * 2654435761u + 7;
  while (b.size() < size) {
    x = x * 1664525u + 1013904223u;
    if ((x >> 26) < 6) {
      b.push_back(static_cast<unsigned char>(x >> 8));
    } else {
      const char* w = words[(x >> 12) % 9];
      b.insert(b.end(), w, w + std::strlen(w));
    }
  }
  b.resize(size);
  return b;
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void Prepare() {
  char dir[] = "/tmp/tw_package_bench_XXXXXX";
  if (mkdtemp(dir) == nullptr) std::abort();
  gPackagePath = std::string(dir) + "/bench.pkg";
  gGzipPath = std::string(dir) + "/bench.gz";
  cSOPKGDescription d;
  d.version[0] = 1;
  gzFile gz = gzopen(gGzipPath.c_str(), "wb9");
  if (gz == nullptr) std::abort();
  // Sizes from 1/2 to 3/2 of the mean, summing to the set's bytes.
  const size_t mean = gSet.bytes / static_cast<size_t>(gSet.files);
  size_t left = gSet.bytes;
  for (int i = 0; i < gSet.files; ++i) {
    size_t size = i + 1 == gSet.files ? left : mean / 2 + (static_cast<size_t>(i) * 7919 % mean);
    size = std::min(size, left);
    if (size == 0) size = 1;
    left -= std::min(size, left);
    const std::vector<unsigned char> bytes = FileBytes(i, size);
    for (unsigned char c : bytes) gChecksum += c;
    cBufWrapperIO src(bytes.data(), static_cast<uint32_t>(bytes.size()));
    const int32_t index = AddPayloadFromStream(&src, d.payloads);
    if (index < 0) std::abort();
    sInstallEntry* e = d.AddInstallEntry();
    e->payloadIndex = static_cast<uint32_t>(index);
    e->relativePath.Assign(Wide("f" + std::to_string(i) + ".bin").c_str());
    e->flag32 = e->flag64 = 1;
    if (gzwrite(gz, bytes.data(), static_cast<unsigned>(bytes.size())) != static_cast<int>(bytes.size())) std::abort();
  }
  gzclose(gz);
  cFileIO out;
  if (!out.Create(Wide(gPackagePath).c_str(), kFileWrite) || !d.Write(&out)) std::abort();
}

// Ours: read the package file, then stream every payload out.
// With sum, adds up every byte (to check the output once, outside the
// timing: the peer's output is not looked at either).
uint64_t ReadPackage(std::vector<unsigned char>& buf, bool sum = false) {
  cFileIO in;
  if (!in.Open(Wide(gPackagePath).c_str(), kFileRead)) return 0;
  cSOPKGDescription d;
  if (!d.Read(&in)) return 0;
  uint64_t total = 0;
  for (uint32_t i = 0; i < d.payloads.count; ++i) {
    auto s = OpenPayloadStream(i, d.payloads);
    if (s == nullptr) return 0;
    uint64_t left = s->GetSize();
    while (left > 0) {
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buf.size(), left));
      if (s->Read(buf.data(), want) != want) return 0;
      if (sum)
        for (uint32_t k = 0; k < want; ++k) total += buf[k];
      else
        total += want;
      left -= want;
    }
  }
  return total;
}

// The description alone, for the breakdown printed beside the ratio.
bool ReadDescriptionOnly() {
  cFileIO in;
  cSOPKGDescription d;
  return in.Open(Wide(gPackagePath).c_str(), kFileRead) && d.Read(&in);
}

// The peer, with the same per-byte sum done by a second program would be
// unfair to it; gzip only writes to /dev/null.
bool GzipDecompress() {
  const std::string command = "gzip -dc '" + gGzipPath + "' > /dev/null";
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
  std::vector<unsigned char> buf(65536);
  constexpr int kRuns = 5;
  std::vector<double> peer, ours, description;
  bool same = ReadPackage(buf, true) == gChecksum;
  for (int i = 0; i < kRuns; ++i) {
    auto t = std::chrono::steady_clock::now();
    same &= GzipDecompress();
    peer.push_back(Seconds(t));
    t = std::chrono::steady_clock::now();
    same &= ReadPackage(buf) == gSet.bytes;
    ours.push_back(Seconds(t));
    t = std::chrono::steady_clock::now();
    same &= ReadDescriptionOnly();
    description.push_back(Seconds(t));
  }
  const double mib = static_cast<double>(gSet.bytes) / (1 << 20);
  std::printf("%d files, %.0f MiB: gzip -d %.1f MiB/s, package read + payloads %.1f MiB/s, ratio %.3f (median of %d)%s\n",
              gSet.files, mib, mib / Median(peer), mib / Median(ours), Median(peer) / Median(ours), kRuns,
              same ? "" : "  OUTPUT DIFFERS OR A RUN FAILED");
  std::printf("  of which reading the description (inflate and digest of the whole package): %.0f ms of %.0f ms\n",
              Median(description) * 1000, Median(ours) * 1000);
}

void BM_GzipDecompress(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(GzipDecompress());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(gSet.bytes));
}
BENCHMARK(BM_GzipDecompress)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PackageRead(benchmark::State& state) {
  std::vector<unsigned char> buf(65536);
  for (auto _ : state) benchmark::DoNotOptimize(ReadPackage(buf));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(gSet.bytes));
}
BENCHMARK(BM_PackageRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--full") == 0) {
    gSet.files = 2000;
    gSet.bytes = size_t{200} << 20;
    argv[1] = argv[0];
    ++argv;
    --argc;
  }
  Prepare();
  CompareAlternating();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(gPackagePath.c_str());
  std::remove(gGzipPath.c_str());
  return 0;
}
