// Every entry point of a camera decoder runs its body through RawGuarded:
// an exception (a failed allocation, an index check of the base library)
// becomes a failed result, so that a crafted file fails its probe or its
// load and the factory goes on with the next format, whoever called.
#pragma once

#include <utility>

template <class F>
bool RawGuarded(F&& body) {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return false;
  }
}
