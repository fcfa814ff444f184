// Properties shared by the Canon raw fuzz targets (CR2, CRW, CR3): probing
// and loading never crash or leak; a load that succeeds leaves pixels of
// the picture's size; loading again with the same object gives the same
// pixels; a preview, when one loads, has pixels. Sensors above the pixel
// limit are left alone so that the fuzzer spends its time on the format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/memio.h"
#include "picture/pict_base.h"

namespace twfuzz {

inline void CheckCanon(bool ok) {
  if (!ok) std::abort();
}

inline constexpr int64_t kCanonPixelLimit = int64_t{1} << 20;

// sensorPixels(decoder, io): the samples a load would allocate, or -1 when
// the file is refused before that.
template <class tDecoder, class tSensor>
int FuzzCanonRaw(const uint8_t* data, size_t size, tSensor sensorPixels) {
  if (size < 1 || size > (1 << 20)) return 0;
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  sPictInfo info;
  tDecoder decoder;
  if (!decoder.ReadInfo(&io, &info)) return 0;
  if (static_cast<int64_t>(info.width) * info.height > kCanonPixelLimit) return 0;
  io.Seek(0);
  const int64_t sensor = sensorPixels(decoder, io);
  if (sensor > kCanonPixelLimit) return 0;
  io.Seek(0);
  if (decoder.Load(&io)) {
    CheckCanon(decoder.HasPixels());
    const int32_t w = decoder.GetWidth(), h = decoder.GetHeight();
    CheckCanon(w > 0 && h > 0);
    const bool deep = decoder.IsHighDepth();
    const size_t bytes = static_cast<size_t>(w) * h * (deep ? 8 : 4);
    uint8_t* first = static_cast<uint8_t*>(std::malloc(bytes));
    std::memcpy(first, deep ? static_cast<void*>(decoder.Pixels64().data) : decoder.Pixels32().data, bytes);
    io.Seek(0);
    CheckCanon(decoder.Load(&io));
    CheckCanon(decoder.GetWidth() == w && decoder.GetHeight() == h && decoder.IsHighDepth() == deep);
    CheckCanon(std::memcmp(first, deep ? static_cast<void*>(decoder.Pixels64().data) : decoder.Pixels32().data,
                           bytes) == 0);
    std::free(first);
  }
  if (info.hasPreview) {
    cPictDummy preview;
    int32_t mw = 1 + static_cast<int32_t>(data[size - 1] % 64), mh = mw;
    io.Seek(0);
    if (decoder.LoadPreview(&io, &preview, mw, mh)) CheckCanon(preview.HasPixels());
  }
  return 0;
}

}  // namespace twfuzz
