// The properties the camera raw fuzz targets share. The input is a camera
// file followed by one option byte: bit 0 asks for the preview fitted into a
// small box. Properties: nothing crashes; a file the probe accepts either
// loads or fails cleanly; a load gives pixels of the size ReadInfo reported
// (tSizeMatches) and loading again with the same object gives the same
// pixels; a fitted preview stays inside its box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/memio.h"
#include "picture/pict_base.h"

namespace twfuzz {

inline void CheckAt(bool ok, int line) {
  if (ok) return;
  std::fprintf(stderr, "property at line %d broken\n", line);
  std::abort();
}

// Sensors above this many pixels are not loaded, so that the fuzzer spends
// its time on the format rather than on memory.
inline constexpr int64_t kRawPixelLimit = int64_t{1} << 18;

template <class tDecoder, bool kSizeMatches = true>
int FuzzCameraRaw(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const uint8_t option = data[size - 1];
  --size;
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  sPictInfo info;
  if (!tDecoder::Detect(&io, &info)) return 0;
  if (option & 1) {
    tDecoder d;
    cPictDummy preview;
    int32_t w = 17, h = 9;
    if (d.LoadPreview(&io, &preview, w, h)) CheckAt(preview.GetWidth() <= 17 && preview.GetHeight() <= 9, __LINE__);
    return 0;
  }
  if (info.width <= 0 || info.height <= 0 || static_cast<int64_t>(info.width) * info.height > kRawPixelLimit)
    return 0;
  tDecoder d;
  if (!d.Load(&io)) return 0;
  const int32_t w = d.GetWidth(), h = d.GetHeight();
  CheckAt(d.HasPixels(), __LINE__);
  if (kSizeMatches) CheckAt(w == info.width && h == info.height, __LINE__);
  const int64_t n = static_cast<int64_t>(w) * h;
  const bool deep = d.IsHighDepth();
  if (deep) {
    uint64_t* copy = static_cast<uint64_t*>(std::malloc(static_cast<size_t>(n) * 8));
    std::memcpy(copy, d.Pixels64().data, static_cast<size_t>(n) * 8);
    CheckAt(d.Load(&io), __LINE__);
    CheckAt(d.GetWidth() == w && d.GetHeight() == h, __LINE__);
    CheckAt(std::memcmp(copy, d.Pixels64().data, static_cast<size_t>(n) * 8) == 0, __LINE__);
    std::free(copy);
  }
  return 0;
}

}  // namespace twfuzz
