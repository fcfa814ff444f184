// What a list of 100,000 rows costs: filling the list view (two cells a row,
// in batch mode, laid out once at the end) and sorting it by size and then
// by name, against the same rows kept in a std::vector and ordered with
// std::stable_sort, the peer any caller could write instead. Both orders
// keep equal keys in their previous order. The two alternate in one
// process; the medians give the ratio printed first, then Google Benchmark
// reports each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "gui/controls/list_view.h"

namespace {

constexpr int32_t kRows = 100000;

// Names in a scrambled order with many repeats, sizes with many repeats.
std::u16string NameOf(int32_t i) {
  const int32_t n = (i * 7919) % 20011;
  std::u16string s = u"file";
  for (int32_t d = 10000; d > 0; d /= 10) s += static_cast<char16_t>(u'0' + n / d % 10);
  return s + u".dat";
}
int32_t SizeOf(int32_t i) { return (i * 31) % 977 + 1; }

uint64_t SizeKey(const sListCell* cell) { return static_cast<uint32_t>(cell->data); }

// The view as an application embeds it: a child of a form element.
struct sView {
  cChildElement form;
  cListViewChild list;
  sView() {
    form.AddChild(&list, 0, 0, 600, 400, 0);
    list.SetColumnTitle(0, u"Name", 200, 0);
    list.SetColumnTitle(1, u"Size", 80, 2);
    list.SetSortProvider(0, new cListViewChild::cListViewNameSortProvider());
    auto* sizes = new cListViewChild::cListViewU64PramSortProvider();
    sizes->SetKeyFunction(SizeKey);
    list.SetSortProvider(1, sizes);
  }
  ~sView() { form.RemoveChild(&list); }
};

const std::vector<std::u16string>& Names() {
  static const std::vector<std::u16string> names = [] {
    std::vector<std::u16string> v;
    for (int32_t i = 0; i < kRows; ++i) v.push_back(NameOf(i));
    return v;
  }();
  return names;
}

// Fills and sorts; false when a step failed.
bool ListViewRun() {
  sView v;
  const std::vector<std::u16string>& names = Names();
  v.list.BeginUpdate();
  for (int32_t i = 0; i < kRows; ++i) {
    if (!v.list.SetCell(i, 0, names[i].c_str(), -1, 0)) return false;
    if (!v.list.SetCell(i, 1, u"", -1, SizeOf(i))) return false;
  }
  if (!v.list.EndUpdate(false)) return false;
  return v.list.Sort(1) && v.list.Sort(0) && v.list.GetRowCount() == kRows;
}

struct sPeerRow {
  int32_t id;
  std::u16string name;
  int32_t size;
};

bool PeerRun() {
  const std::vector<std::u16string>& names = Names();
  std::vector<sPeerRow> rows;
  for (int32_t i = 0; i < kRows; ++i) rows.push_back({i, names[i], SizeOf(i)});
  std::stable_sort(rows.begin(), rows.end(), [](const sPeerRow& a, const sPeerRow& b) { return a.size < b.size; });
  std::stable_sort(rows.begin(), rows.end(), [](const sPeerRow& a, const sPeerRow& b) { return a.name < b.name; });
  return rows.size() == static_cast<size_t>(kRows);
}

double Seconds(bool (*run)(), bool& ok) {
  const auto t = std::chrono::steady_clock::now();
  ok &= run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void CompareAlternating() {
  constexpr int kRuns = 7;
  bool ok = true;
  std::vector<double> view, peer;
  for (int i = 0; i < kRuns && ok; ++i) {
    view.push_back(Seconds(ListViewRun, ok));
    peer.push_back(Seconds(PeerRun, ok));
  }
  if (!ok) {
    std::printf("list view: a fill or sort failed\n");
    return;
  }
  std::printf("list view, 100000 rows filled and sorted twice: %.1f ms, std::vector + stable_sort %.1f ms, "
              "ratio %.2f (median of %d)\n",
              Median(view) * 1e3, Median(peer) * 1e3, Median(view) / Median(peer), kRuns);
}

void BM_ListViewFillAndSort(benchmark::State& state) {
  for (auto _ : state)
    if (!ListViewRun()) state.SkipWithError("list view failed");
}
BENCHMARK(BM_ListViewFillAndSort)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VectorStableSortPeer(benchmark::State& state) {
  for (auto _ : state)
    if (!PeerRun()) state.SkipWithError("peer failed");
}
BENCHMARK(BM_VectorStableSortPeer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  CompareAlternating();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
