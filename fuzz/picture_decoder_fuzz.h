// The properties that the single-format picture fuzz targets share. The
// input is a picture file followed by one option byte: the canvas to stream
// into (none, larger than the picture, or a small box). Properties: decoding
// never crashes; a decoded picture has pixels of its size; decoding again
// with the same object gives the same pixels; streaming into a larger
// canvas gives the buffered pixels.
//
// A traits class names the decoder and what differs between formats:
//   using tDecoder = ...;                     // a cPictBase decoder
//   static constexpr bool kSizeAlsoOnFailure; // pixels left by a failed
//                                             // load have the header's size
//   static bool SkipStreaming(tDecoder&);     // after the buffered loads
//   static bool StreamLoad(tDecoder&, cBufWrapperIO&);  // into its canvas
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "picture/pict_base.h"

namespace twfuzz {

inline void Check(bool ok) {
  if (!ok) std::abort();
}

// Pictures above this many pixels are left alone, so that the fuzzer spends
// its time on the format rather than on memory.
inline constexpr int64_t kPixelLimit = int64_t{1} << 20;

template <class tTraits>
int FuzzPictureDecoder(const uint8_t* data, size_t size) {
  using tDecoder = typename tTraits::tDecoder;
  if (size < 1 || size > (1 << 20)) return 0;
  const uint8_t option = data[size - 1];
  --size;
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  sPictInfo info;
  tDecoder decoder;
  if (!decoder.ReadInfo(&io, &info)) return 0;
  Check(info.width > 0 && info.height > 0);
  if (static_cast<int64_t>(info.width) * info.height > kPixelLimit) return 0;
  io.Seek(0);
  const bool ok = decoder.Load(&io);
  if (tTraits::kSizeAlsoOnFailure && decoder.HasPixels())
    Check(decoder.GetWidth() == info.width && decoder.GetHeight() == info.height);
  if (!ok) return 0;
  Check(decoder.HasPixels());
  Check(decoder.GetWidth() == info.width && decoder.GetHeight() == info.height);
  _typebuf<uint32_t> first;
  Check(decoder.GetPixels32(first));

  io.Seek(0);
  Check(decoder.Load(&io));
  _typebuf<uint32_t> again;
  Check(decoder.GetPixels32(again));
  Check(std::memcmp(first.data, again.data, static_cast<size_t>(first.count) * 4) == 0);

  const int32_t w = info.width, h = info.height;
  const int mode = option % 3;
  if (mode == 0 || tTraits::SkipStreaming(decoder)) return 0;
  const int32_t cw = mode == 1 ? w + 3 : 1 + option / 3 % 16;
  const int32_t ch = mode == 1 ? h + 1 : 1 + option / 48 % 5;
  // Rows that the data never reaches stay as they were: 0, as in a buffer.
  std::vector<uint32_t> pixels(static_cast<size_t>(cw) * ch, 0);
  sPictCanvas canvas{pixels.data(), cw, ch, 0, 0, 0xFF00FF00u, 1.0, 0};
  tDecoder streamed;
  Check(streamed.AttachCanvas(&canvas));
  io.Seek(0);
  Check(tTraits::StreamLoad(streamed, io));
  Check(streamed.GetAttachedCanvas() == nullptr);
  if (mode == 1) {
    const int32_t mx = (cw - w) / 2, my = (ch - h) / 2;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        Check(pixels[static_cast<size_t>(y + my) * cw + x + mx] == first.data[static_cast<size_t>(y) * w + x]);
  }
  return 0;
}

}  // namespace twfuzz
