// Heap accounting for the benches that report a peak of heap memory: the
// bench program links bench/heap_count.cpp, which replaces operator new and
// delete for the whole process (allocations through malloc, such as a C
// peer library's, are not seen). Also the median the benches report.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace twbench {

// Bytes allocated through operator new and not yet freed.
int64_t HeapLive();
// Begins a peak measurement from what is live now and returns that.
int64_t StartHeapPeak();
// The highest live count since StartHeapPeak.
int64_t HeapPeak();

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace twbench
