// Owned item arrays with a bounds test on every element access, and the small
// records built of strings and blocks.
//   _typebuf<T>:  {data, count} of plain items, not initialised unless said.
//   _classbuf<T>: {data, count} of default-constructed items.
// Both allocate exactly what is asked for (no capacity, no growth policy),
// through the size guard of base/size_guard.h. An index outside
// 0..count-1 throws cException, the one programming-error report.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "base/exception.h"
#include "base/guardchar.h"
#include "base/size_guard.h"

namespace tw {
// The source file and lines that the bounds tests report; stored records
// and logs name these values, so they are fixed, not __FILE__/__LINE__.
inline constexpr char16_t kBuffersSource[] = u"base/buffers.h";
inline constexpr int32_t kTypebufBoundsLine = 27;
inline constexpr int32_t kClassbufBoundsLine = 164;

[[noreturn]] void ThrowTypebufBounds();
[[noreturn]] void ThrowClassbufBounds();
}  // namespace tw

template <class T>
class _typebuf {
public:
  T* data = nullptr;
  int32_t count = 0;

  _typebuf() = default;
  // n items, uninitialised; a negative n is an allocation failure.
  explicit _typebuf(int32_t n) {
    if (n != 0) {
      data = static_cast<T*>(tw::GuardedAlloc(n, sizeof(T)));
      count = n;
    }
  }
  _typebuf(const _typebuf&) = delete;
  _typebuf& operator=(const _typebuf&) = delete;
  _typebuf(_typebuf&& o) noexcept : data(o.data), count(o.count) {
    o.data = nullptr;
    o.count = 0;
  }
  _typebuf& operator=(_typebuf&& o) noexcept {
    if (this != &o) {
      Free();
      data = std::exchange(o.data, nullptr);
      count = std::exchange(o.count, 0);
    }
    return *this;
  }
  ~_typebuf() { Free(); }

  // Discards the items; then exactly n uninitialised items, or empty for n <= 0.
  void Reallocate(int32_t n) {
    Free();
    count = 0;
    if (n <= 0) return;
    data = static_cast<T*>(tw::GuardedAlloc(n, sizeof(T)));
    count = n;
  }

  // Keeps the first min(count, n) items; the same array when n == count.
  void Resize(int32_t n) {
    if (n == count) return;
    if (n <= 0) {
      Reset();
      return;
    }
    T* fresh = static_cast<T*>(tw::GuardedAlloc(n, sizeof(T)));
    const int32_t keep = count < n ? count : n;
    if (keep > 0 && data != nullptr) std::memcpy(fresh, data, static_cast<size_t>(keep) * sizeof(T));
    tw::GuardedFree(data);
    data = fresh;
    count = n;
  }

  // Frees the array; count is left as it was (the destructor's body).
  void Free() noexcept {
    tw::GuardedFree(data);
    data = nullptr;
  }

  void Reset() noexcept {
    Free();
    count = 0;
  }

  T& operator[](int32_t i) {
    if (i < 0 || i >= count) tw::ThrowTypebufBounds();
    return data[i];
  }
  const T& operator[](int32_t i) const {
    if (i < 0 || i >= count) tw::ThrowTypebufBounds();
    return data[i];
  }
};

template <class T>
class _classbuf {
public:
  T* data = nullptr;
  int32_t count = 0;

  _classbuf() = default;
  _classbuf(const _classbuf&) = delete;
  _classbuf& operator=(const _classbuf&) = delete;
  _classbuf(_classbuf&& o) noexcept : data(o.data), count(o.count) {
    o.data = nullptr;
    o.count = 0;
  }
  _classbuf& operator=(_classbuf&& o) noexcept {
    if (this != &o) {
      Free();
      data = std::exchange(o.data, nullptr);
      count = std::exchange(o.count, 0);
    }
    return *this;
  }
  ~_classbuf() { Free(); }

  // Destroys the old items, then creates n default-constructed ones.
  void Allocate(int32_t n) {
    Free();
    if (n == 0) return;
    T* fresh = static_cast<T*>(tw::GuardedAlloc(n, sizeof(T)));
    int32_t built = 0;
    try {
      for (; built < n; ++built) new (fresh + built) T();
    } catch (...) {
      for (int32_t i = 0; i < built; ++i) fresh[i].~T();
      tw::GuardedFree(fresh);
      throw;
    }
    data = fresh;
    count = n;
  }

  // Destroys the items in array order and frees the array.
  void Free() noexcept {
    if (data != nullptr) {
      for (int32_t i = 0; i < count; ++i) data[i].~T();
      tw::GuardedFree(data);
    }
    data = nullptr;
    count = 0;
  }

  T& operator[](int32_t i) {
    if (i < 0 || i >= count) tw::ThrowClassbufBounds();
    return data[i];
  }
  const T& operator[](int32_t i) const {
    if (i < 0 || i >= count) tw::ThrowClassbufBounds();
    return data[i];
  }

  // For arrays of strings: the text of item i, or null when i is out of
  // range or the string is empty-null. Never throws.
  template <class U = T>
  auto GetAtOrNull(int32_t i) const -> decltype(std::declval<const U&>().text) {
    if (i < 0 || i >= count) return nullptr;
    return data[i].text;
  }
};

// Small owned records; members are destroyed in reverse order.
struct sStringPair {
  _guardchar<char16_t> first;
  _guardchar<char16_t> second;
};

struct sStringTriple {
  _guardchar<char16_t> first;
  _guardchar<char16_t> second;
  _guardchar<char16_t> third;
};

struct sFiveStrings {
  _guardchar<char16_t> s[5];
};

struct sNarrowTripleWithBlock {
  _guardchar<char> first;
  _guardchar<char> second;
  _guardchar<char> third;
  _typebuf<char> block;
};

// An owning pointer to a polymorphic object, released through its virtual
// destructor.
template <class T>
using tOwned = std::unique_ptr<T>;
