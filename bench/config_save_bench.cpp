// What putting a save on the disk costs: cCIAppConfig::Save of one changed
// key in a section the size of an installation record (40 keys, about
// 4 KiB), with the flushes a save makes (the pending copy, its folder, the
// section file) against the same save with the flushes left out. The two
// alternate in one process, in a folder made in the current folder (run it
// on the disk to be measured, not on a memory file system); the median of many
// saves of each gives the ratio printed first. Google Benchmark then
// reports the time per save of each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/config_store.h"
#include "base/config_store_internal.h"
#include "base/strings.h"

namespace {

const tw::sConfigDurability kNoFlushes = {
    [](cFileIO&) { return true; },
    [](const char16_t*) { return true; },
};

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A store on a fresh folder with the section "install" of 40 keys.
class cBenchStore {
public:
  cBenchStore() {
    folder_ = std::filesystem::current_path() /
              ("tw-config-save-bench-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
    ok_ = store_.Open(Wide(folder_.generic_string()).c_str());
    const std::u16string value(50, u'v');
    for (int i = 0; i < 40 && ok_; ++i)
      ok_ = store_.SetString(("install/app" + std::to_string(i) + "/path").c_str(), value.c_str(), -1);
    ok_ = ok_ && store_.Save();
  }
  ~cBenchStore() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  // One changed key, saved.
  bool SaveOnce() {
    ++round_;
    return store_.SetInt("install/app7/ver", round_) && store_.Save();
  }
  bool Ok() const { return ok_; }

private:
  std::filesystem::path folder_;
  cCIAppConfig store_;
  bool ok_ = false;
  int round_ = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Seconds for one save, with the given flush calls.
double TimedSave(cBenchStore& store, const tw::sConfigDurability* calls, bool& ok) {
  tw::SetConfigDurability(calls);
  const auto t = std::chrono::steady_clock::now();
  ok &= store.SaveOnce();
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
  tw::SetConfigDurability(nullptr);
  return s;
}

void CompareAlternating() {
  cBenchStore store;
  bool ok = store.Ok();
  constexpr int kRuns = 101;
  std::vector<double> without, with;
  for (int i = 0; i < kRuns && ok; ++i) {
    without.push_back(TimedSave(store, &kNoFlushes, ok));
    with.push_back(TimedSave(store, nullptr, ok));
  }
  if (!ok) {
    std::printf("config save: a save failed\n");
    return;
  }
  std::printf("config save: without flushes %.3f ms, with flushes %.3f ms, cost ratio %.2f (median of %d)\n",
              Median(without) * 1e3, Median(with) * 1e3, Median(with) / Median(without), kRuns);
}

void BM_SaveWithoutFlushes(benchmark::State& state) {
  cBenchStore store;
  tw::SetConfigDurability(&kNoFlushes);
  for (auto _ : state)
    if (!store.SaveOnce()) state.SkipWithError("save failed");
  tw::SetConfigDurability(nullptr);
}
BENCHMARK(BM_SaveWithoutFlushes)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_SaveWithFlushes(benchmark::State& state) {
  cBenchStore store;
  for (auto _ : state)
    if (!store.SaveOnce()) state.SkipWithError("save failed");
}
BENCHMARK(BM_SaveWithFlushes)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  CompareAlternating();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
