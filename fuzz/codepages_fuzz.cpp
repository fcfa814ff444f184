// Fuzzes the UTF-8 and code-page decoders. The last input byte chooses the
// code page and whether the text is counted or terminated; the rest is the
// text. Checked besides memory safety:
//  - the length functions give exactly what the converters write (the
//    single-byte count of a counted text is an upper bound),
//  - no converter writes past its capacity, for every capacity up to the
//    length,
//  - UTF-16 units taken from the input survive a UTF-8 round trip.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/codepages.h"
#include "base/utf8.h"

namespace {

constexpr int32_t kPages[] = {65001, 0, 1252, 437, 1255, 932, 936, 949, 950, 51932, 51936, 51949, 50221, 50227};
constexpr char16_t kGuard = 0x7777;

void Check(bool ok) {
  if (!ok) std::abort();
}

void Decoders(const char* text, int32_t n, int32_t cp) {
  const int32_t len = MultiByteLength(text, n, cp);
  Check(len >= 0);
  std::vector<char16_t> out(static_cast<size_t>(len) + 1, kGuard);
  const int32_t w = MultiByteToWide(text, n, out.data(), len, cp);
  if (IsSingleByteCodePage(cp) && n >= 0)
    Check(w <= len);
  else
    Check(w == len);
  Check(out[static_cast<size_t>(len)] == kGuard);
  // Smaller capacities: never more than the capacity.
  for (int32_t cap = 0; cap < len && cap < 8; ++cap) {
    std::fill(out.begin(), out.end(), kGuard);
    const int32_t wc = MultiByteToWide(text, n, out.data(), cap, cp);
    Check(wc <= cap);
    Check(out[static_cast<size_t>(cap)] == kGuard);
  }
}

void Utf8RoundTrip(const uint8_t* data, size_t size) {
  const size_t count = size / 2;
  std::vector<char16_t> units(count);
  for (size_t i = 0; i < count; ++i) units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  const auto n = static_cast<int32_t>(count);
  const int32_t bytes = Utf8ByteCount(units.data(), n);
  std::vector<char> encoded(static_cast<size_t>(bytes) + 1, 'Z');
  Check(Utf8Encode(units.data(), n, encoded.data(), bytes) == bytes);
  Check(encoded[static_cast<size_t>(bytes)] == 'Z');
  const int32_t back = Utf8UnitCount(encoded.data(), bytes);
  Check(back == n);
  std::vector<char16_t> decoded(static_cast<size_t>(back) + 1, kGuard);
  Check(Utf8Decode(encoded.data(), bytes, decoded.data(), back) == back);
  // An empty vector's data() may be null, which memcmp must not get.
  Check(count == 0 || std::memcmp(decoded.data(), units.data(), count * sizeof(char16_t)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 4096) return 0;
  const uint8_t options = data[size - 1];
  const int32_t cp = kPages[(options & 0x7F) % (sizeof kPages / sizeof kPages[0])];
  const bool terminated = (options & 0x80) != 0;
  const size_t textSize = size - 1;
  // An exact-size copy, so that any read past the text is caught.
  char* text = static_cast<char*>(std::malloc(textSize + 1));
  std::memcpy(text, data, textSize);
  if (terminated) {
    text[textSize] = 0;
    Decoders(text, -1, cp);
  } else {
    Decoders(text, static_cast<int32_t>(textSize), cp);
  }
  std::free(text);
  Utf8RoundTrip(data, textSize);
  return 0;
}
