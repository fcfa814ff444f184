// See bench/heap_count.h.
#include "bench/heap_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};
}  // namespace

namespace twbench {

int64_t HeapLive() { return gLive.load(); }

int64_t StartHeapPeak() {
  const int64_t live = gLive.load();
  gPeak.store(live);
  return live;
}

int64_t HeapPeak() { return gPeak.load(); }

}  // namespace twbench

// The size sits in a 16-byte header; GCC cannot see that the pointer freed
// is the one malloc gave.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#pragma GCC diagnostic ignored "-Warray-bounds"

void* operator new(size_t n) {
  void* p = std::malloc(n + 16);
  if (p == nullptr) throw std::bad_alloc();
  *static_cast<size_t*>(p) = n;
  const int64_t live = gLive += static_cast<int64_t>(n);
  int64_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(p) + 16;
}

void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  char* base = static_cast<char*>(p) - 16;
  gLive -= static_cast<int64_t>(*reinterpret_cast<size_t*>(base));
  std::free(base);
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }
