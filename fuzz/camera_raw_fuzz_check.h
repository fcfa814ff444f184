// The checks shared by the fuzz targets of the Nikon, Sony, Samsung and
// Pentax raw decoders. The input is a whole file. Properties: nothing
// crashes, leaks or reads out of bounds; a file the probe accepts either
// fails its Load or develops into high-depth pixels of the picture's size;
// loading twice on fresh decoders gives the same pixels; a preview, when
// one loads, fits the box it was asked for.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/memio.h"
#include "picture/pict_base.h"

namespace camera_raw_fuzz {

inline void Check(bool ok) {
  if (!ok) std::abort();
}

// Sensors above this many samples are left alone (the fuzzer's time goes to
// the format, not to memory).
constexpr int64_t kSampleLimit = int64_t{1} << 18;

template <class T>
int FuzzCameraRaw(const uint8_t* data, size_t size) {
  if (size < 8 || size > (1 << 20)) return 0;
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  {
    T preview;
    cPictDummy dest;
    int32_t w = 32, h = 32;
    if (preview.LoadPreview(&io, &dest, w, h) && dest.HasPixels())
      Check(dest.GetWidth() <= 32 || dest.GetHeight() <= 32);
  }
  T probe;
  sPictInfo info;
  io.Seek(0);
  if (!probe.ReadInfo(&io, &info)) return 0;
  if (info.width <= 0 || info.height <= 0 || static_cast<int64_t>(info.width) * info.height > kSampleLimit) return 0;
  T first;
  io.Seek(0);
  if (!first.Load(&io)) return 0;
  Check(first.HasPixels() && first.IsHighDepth());
  T second;
  io.Seek(0);
  Check(second.Load(&io));
  Check(first.GetWidth() == second.GetWidth() && first.GetHeight() == second.GetHeight());
  const auto& a = first.Pixels64();
  const auto& b = second.Pixels64();
  Check(a.count == b.count && std::memcmp(a.data, b.data, static_cast<size_t>(a.count) * 8) == 0);
  return 0;
}

}  // namespace camera_raw_fuzz
