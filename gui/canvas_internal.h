// Internal to gui/: small helpers shared by the canvas and font files. The
// public headers never include this one.
#pragma once

#include <cstdint>

namespace tw {

// The length the text calls take: a negative length means "up to the
// terminator" (0 for a null text), any other is used as it is.
template <class C>
int32_t TextLength(const C* text, int32_t length) {
  if (length >= 0) return length;
  int32_t n = 0;
  if (text != nullptr)
    while (text[n] != 0) ++n;
  return n;
}

}  // namespace tw
