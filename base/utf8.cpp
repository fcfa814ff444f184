// See base/utf8.h.
#include "base/utf8.h"

namespace {

int32_t EncodedSize(char16_t u) { return u < 0x80 ? 1 : (u < 0x800 ? 2 : 3); }

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// What the decoder makes of the bytes at p: `used` input bytes giving one
// unit, or used == 0 when the sequence is cut off by the end of the input.
// avail is the number of bytes that may be read (-1: until a zero byte, which
// is never a continuation byte, so reading stops there by itself).
struct Step {
  int32_t used;
  char16_t unit;
};

Step DecodeOne(const uint8_t* p, int64_t avail) {
  const uint8_t b = p[0];
  int32_t need = 0;
  if (b >= 0xC0 && b < 0xE0)
    need = 1;
  else if (b >= 0xE0 && b < 0xF0)
    need = 2;
  if (need == 0) return {1, static_cast<char16_t>(b)};
  for (int32_t k = 1; k <= need; ++k) {
    if (avail >= 0 && k >= avail) return {0, 0};  // cut off by the counted end
    if (!IsContinuation(p[k])) return {1, static_cast<char16_t>(b)};
  }
  if (need == 1) return {2, static_cast<char16_t>(((b & 0x1F) << 6) | (p[1] & 0x3F))};
  return {3, static_cast<char16_t>(((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F))};
}

}  // namespace

int32_t Utf8ByteCount(const char16_t* text, int32_t n) {
  if (text == nullptr) return 0;
  int32_t bytes = 0;
  if (n < 0) {
    for (const char16_t* p = text; *p != 0; ++p) bytes += EncodedSize(*p);
    return bytes + 1;
  }
  for (int32_t i = 0; i < n; ++i) bytes += EncodedSize(text[i]);
  return bytes;
}

int32_t Utf8Encode(const char16_t* text, int32_t n, char* out, int32_t capacity) {
  if (text == nullptr || out == nullptr || capacity <= 0) return 0;
  int32_t w = 0;
  for (int32_t i = 0; n < 0 || i < n; ++i) {
    const char16_t u = text[i];
    uint8_t seq[3];
    int32_t len;
    if (u < 0x80) {
      seq[0] = static_cast<uint8_t>(u);
      len = 1;
    } else if (u < 0x800) {
      seq[0] = static_cast<uint8_t>(0xC0 | (u >> 6));
      seq[1] = static_cast<uint8_t>(0x80 | (u & 0x3F));
      len = 2;
    } else {
      seq[0] = static_cast<uint8_t>(0xE0 | (u >> 12));
      seq[1] = static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F));
      seq[2] = static_cast<uint8_t>(0x80 | (u & 0x3F));
      len = 3;
    }
    for (int32_t k = 0; k < len; ++k) {
      if (w >= capacity) return w;
      out[w++] = static_cast<char>(seq[k]);
    }
    if (n < 0 && u == 0) break;
  }
  return w;
}

int32_t Utf8UnitCount(const char* text, int32_t n) {
  if (text == nullptr) return 0;
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  int32_t units = 0;
  int64_t i = 0;
  while (n < 0 || i < n) {
    if (n < 0 && p[i] == 0) return units + 1;
    const Step s = DecodeOne(p + i, n < 0 ? -1 : n - i);
    if (s.used == 0) break;
    i += s.used;
    ++units;
  }
  return units;
}

int32_t Utf8Decode(const char* text, int32_t n, char16_t* out, int32_t capacity) {
  if (text == nullptr || out == nullptr || capacity <= 0) return 0;
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  int32_t w = 0;
  int64_t i = 0;
  while ((n < 0 || i < n) && w < capacity) {
    if (n < 0 && p[i] == 0) {
      out[w++] = 0;
      break;
    }
    const Step s = DecodeOne(p + i, n < 0 ? -1 : n - i);
    if (s.used == 0) break;
    i += s.used;
    out[w++] = s.unit;
  }
  return w;
}
