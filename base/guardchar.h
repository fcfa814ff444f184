// _guardchar<T>: an owned zero-terminated string holding only its text
// pointer. Null means empty. Every assignment frees the old text and
// allocates exactly the new length plus one unit; there is no capacity.
// T is char16_t (UTF-16) or char (8-bit, as a rule UTF-8).
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>

#include "base/size_guard.h"

template <class T>
class _guardchar {
public:
  T* text = nullptr;

  _guardchar() = default;
  explicit _guardchar(const T* s) { Assign(s); }
  _guardchar(const _guardchar& other) { Assign(other.text); }
  _guardchar(_guardchar&& other) noexcept : text(other.text) { other.text = nullptr; }
  _guardchar& operator=(const _guardchar& other) {
    Assign(other.text);
    return *this;
  }
  _guardchar& operator=(_guardchar&& other) noexcept {
    if (this != &other) {
      FreeText();
      text = other.text;
      other.text = nullptr;
    }
    return *this;
  }
  virtual ~_guardchar() { FreeText(); }

  virtual void Clear() {
    FreeText();
  }

  // Copies s (up to its terminator); null leaves the string empty.
  void Assign(const T* s) {
    if (s != nullptr && Aliases(s)) {  // assigning a piece of our own text
      T* copy = Duplicate(s, Length(s));
      Clear();
      text = copy;
      return;
    }
    Clear();
    if (s == nullptr) return;
    text = Duplicate(s, Length(s));
  }

#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
// GCC 12 cannot see that the aliasing case returns before Clear frees our
// text, and warns about the copy below.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
  // Allocates n + 1 units, copies at most n units of s, stopping after a
  // copied zero, and terminates at index n. Null s leaves the string empty.
  void AssignN(const T* s, uint32_t n) {
    if (s != nullptr && Aliases(s)) {  // copying a piece of our own text
      T* copy = CopyN(s, n);
      Clear();
      text = copy;
      return;
    }
    Clear();
    if (s == nullptr) return;
    text = CopyN(s, n);
  }
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic pop
#endif

  // A zeroed work area of exactly n units (not n + 1) whose text is empty
  // until the caller fills it; n = 0 leaves the text null.
  void AllocateZeroed(uint32_t n) {
    Clear();
    if (n == 0) return;
    text = static_cast<T*>(tw::GuardedAlloc(n, sizeof(T)));
    std::memset(text, 0, static_cast<size_t>(n) * sizeof(T));
  }

  bool IsEmpty() const { return text == nullptr || text[0] == 0; }

  static size_t Length(const T* s) {
    size_t n = 0;
    if (s != nullptr)
      while (s[n] != 0) ++n;
    return n;
  }

private:
  void FreeText() noexcept {
    tw::GuardedFree(text);
    text = nullptr;
  }

  bool Aliases(const T* s) const {
    if (text == nullptr) return false;
    std::less_equal<const T*> le;
    return le(text, s) && le(s, text + Length(text));
  }

  static T* Duplicate(const T* s, size_t len) {
    T* p = static_cast<T*>(tw::GuardedAlloc(static_cast<int64_t>(len) + 1, sizeof(T)));
    std::memcpy(p, s, len * sizeof(T));
    p[len] = 0;
    return p;
  }

  static T* CopyN(const T* s, uint32_t n) {
    T* p = static_cast<T*>(tw::GuardedAlloc(static_cast<int64_t>(n) + 1, sizeof(T)));
    for (uint32_t i = 0; i < n; ++i) {
      p[i] = s[i];
      if (s[i] == 0) break;
    }
    p[n] = 0;
    return p;
  }
};
