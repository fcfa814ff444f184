// Fuzz target for the JPEG decoder. The input is a JPEG file followed by one
// option byte: the canvas to stream into (none, larger than the picture, or
// a small box). Properties: decoding never crashes; a decoded picture has
// pixels of its size; decoding again with the same object gives the same
// pixels; streaming into a larger canvas gives the buffered pixels.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "picture/pict_jpeg.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Pictures above this many pixels are left alone, so that the fuzzer spends
// its time on the format rather than on memory.
constexpr int64_t kPixelLimit = int64_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const uint8_t option = data[size - 1];
  --size;
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  sPictInfo info;
  cPictJPEG jpeg;
  if (!jpeg.ReadInfo(&io, &info)) return 0;
  Check(info.width > 0 && info.height > 0);
  if (static_cast<int64_t>(info.width) * info.height > kPixelLimit) return 0;
  io.Seek(0);
  const bool ok = jpeg.Load(&io);
  if (jpeg.HasPixels()) Check(jpeg.GetWidth() == info.width && jpeg.GetHeight() == info.height);
  if (!ok) return 0;
  Check(jpeg.HasPixels());
  _typebuf<uint32_t> first;
  Check(jpeg.GetPixels32(first));

  io.Seek(0);
  Check(jpeg.Load(&io));
  _typebuf<uint32_t> again;
  Check(jpeg.GetPixels32(again));
  Check(std::memcmp(first.data, again.data, static_cast<size_t>(first.count) * 4) == 0);

  const int32_t w = info.width, h = info.height;
  const int mode = option % 3;
  if (mode == 0 || jpeg.IsHighDepth()) return 0;
  const int32_t cw = mode == 1 ? w + 3 : 1 + option / 3 % 16;
  const int32_t ch = mode == 1 ? h + 1 : 1 + option / 48 % 5;
  std::vector<uint32_t> pixels(static_cast<size_t>(cw) * ch, 0);
  sPictCanvas canvas{pixels.data(), cw, ch, 0, 0, 0xFF00FF00u, 1.0, 0};
  cPictJPEG streamed;
  Check(streamed.AttachCanvas(&canvas));
  io.Seek(0);
  Check(streamed.Load(&io));
  Check(streamed.GetAttachedCanvas() == nullptr);
  if (mode == 1) {
    const int32_t mx = (cw - w) / 2, my = (ch - h) / 2;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        Check(pixels[static_cast<size_t>(y + my) * cw + x + mx] == first.data[static_cast<size_t>(y) * w + x]);
  }
  return 0;
}
