// The checks shared by the fuzz targets of the multi-image picture decoders.
// The input is a file followed by one option byte (the canvas of the
// streaming check). Properties: nothing crashes or leaks; the image count
// and every image's reported size agree with what loading that image gives;
// loading twice gives the same pixels; streaming into a canvas larger than
// the image gives the buffered pixels, centred.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "picture/pict_base.h"

namespace picture_fuzz {

inline void Check(bool ok) {
  if (!ok) std::abort();
}

// Pictures above this many pixels are left alone, so that the fuzzer spends
// its time on the format rather than on memory.
constexpr int64_t kPixelLimit = int64_t{1} << 18;
// Images looked at per input.
constexpr int32_t kMaxImages = 6;

struct sOptions {
  // The decoded size must be the size GetImageInfo reports (false where an
  // image's header may disagree with what it holds).
  bool sizeMatchesInfo = true;
  // Streaming gives the buffered pixels (false where the format defines
  // them differently, as the icon AND mask that only buffers get).
  bool streamMatchesBuffer = true;
};

template <class T>
int FuzzPicture(const uint8_t* data, size_t size, const sOptions& options) {
  if (size < 1 || size > (1 << 20)) return 0;
  const uint8_t option = data[size - 1];
  --size;
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  T probe;
  sPictInfo info;
  probe.ReadInfo(&io, &info);
  io.Seek(0);
  const int32_t count = probe.GetImageCount(&io);
  const int32_t images = count > kMaxImages ? kMaxImages : (count < 1 ? 1 : count);
  for (int32_t i = 0; i < images; ++i) {
    int32_t w = 0, h = 0;
    io.Seek(0);
    if (!probe.GetImageInfo(&io, i, w, h)) continue;
    Check(w > 0 && h > 0);
    if (static_cast<int64_t>(w) * h > kPixelLimit) continue;
    T first;
    io.Seek(0);
    if (!first.LoadImage(&io, i)) continue;
    Check(first.HasPixels());
    if (options.sizeMatchesInfo) Check(first.GetWidth() == w && first.GetHeight() == h);
    const int32_t pw = first.GetWidth(), ph = first.GetHeight();
    if (static_cast<int64_t>(pw) * ph > kPixelLimit) continue;
    _typebuf<uint32_t> a;
    Check(first.GetPixels32(a));
    T second;
    io.Seek(0);
    Check(second.LoadImage(&io, i));
    _typebuf<uint32_t> b;
    Check(second.GetPixels32(b));
    Check(a.count == b.count && std::memcmp(a.data, b.data, static_cast<size_t>(a.count) * 4) == 0);

    if (!options.streamMatchesBuffer || (option & 1) == 0) continue;
    const int32_t cw = pw + 1 + option / 2 % 4, ch = ph + 1 + option / 8 % 4;
    // Pixels a decode never reaches stay as they were: 0, as in a buffer.
    std::vector<uint32_t> pixels(static_cast<size_t>(cw) * ch, 0);
    sPictCanvas canvas{pixels.data(), cw, ch, 0, 0, 0xFF00FF00u, 1.0, 0};
    T streamed;
    Check(streamed.AttachCanvas(&canvas));
    io.Seek(0);
    Check(streamed.LoadImage(&io, i));
    Check(streamed.GetAttachedCanvas() == nullptr);
    const int32_t mx = (cw - pw) / 2, my = (ch - ph) / 2;
    for (int32_t y = 0; y < ph; ++y)
      for (int32_t x = 0; x < pw; ++x)
        Check(pixels[static_cast<size_t>(y + my) * cw + x + mx] == a.data[static_cast<size_t>(y) * pw + x]);
  }
  // A fitted load of the first image stays inside its box.
  cPictDummy fitted;
  const int32_t bw = 1 + option % 24, bh = 1 + option / 24 % 24;
  T fitter;
  io.Seek(0);
  int32_t w0 = 0, h0 = 0;
  if (fitter.GetImageInfo(&io, 0, w0, h0) && static_cast<int64_t>(w0) * h0 <= kPixelLimit) {
    io.Seek(0);
    if (fitter.LoadImageFitted(&io, &fitted, bw, bh, 0, true, 0xFFFFFFFFu))
      Check(fitted.GetWidth() <= bw && fitted.GetHeight() <= bh && fitted.HasPixels());
    Check(fitter.GetAttachedCanvas() == nullptr);
  }
  return 0;
}

}  // namespace picture_fuzz
