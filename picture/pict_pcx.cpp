// See pict_pcx.h.
#include "picture/pict_pcx.h"

#include "picture/pict_read.h"

namespace {

using pict_read::Le16;
using pict_read::cByteReader;

constexpr uint64_t kHeaderSize = 128;
constexpr uint64_t kTrailingPalette = 769;

}  // namespace

bool cPictPCX::ReadHeader(cFileIOTarget* stream) {
  uint8_t h[kHeaderSize];
  if (stream == nullptr || !stream->ReadExact(h, kHeaderSize)) return false;
  if (h[0] != 10 || h[1] != 5 || h[2] != 1 || h[3] != 8) return false;
  if (Le16(h + 4) != 0 || Le16(h + 6) != 0) return false;
  const uint32_t xMax = Le16(h + 8), yMax = Le16(h + 10);
  if (xMax == 0 || yMax == 0 || Le16(h + 12) == 0 || Le16(h + 14) == 0) return false;
  if (h[64] != 0 || (h[65] != 1 && h[65] != 3)) return false;
  const uint32_t bytesPerLine = Le16(h + 66);
  if (bytesPerLine == 0 || bytesPerLine < xMax + 1) return false;
  if (h[68] != 1 && h[68] != 2) return false;
  for (int i = 0; i < 48; ++i) headerPalette_[i] = h[16 + i];
  planes_ = h[65];
  bytesPerLine_ = bytesPerLine;
  SetSize(static_cast<int32_t>(xMax + 1), static_cast<int32_t>(yMax + 1));
  return true;
}

bool cPictPCX::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  try {
    if (!ReadHeader(stream)) return false;
  } catch (...) {
    return false;
  }
  if (info != nullptr) {
    info->width = GetWidth();
    info->height = GetHeight();
    info->hasPreview = false;
  }
  return true;
}

bool cPictPCX::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictPCX probe;
  return probe.ReadInfo(stream, info);
}

bool cPictPCX::Load(cFileIOTarget* stream) {
  bool ok = false;
  streaming_ = false;
  try {
    ok = LoadInner(stream);
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) {
    if (streaming_)
      EndCanvasOutput();
    else
      DetachCanvas();
  }
  return ok;
}

bool cPictPCX::ReadPalette(cFileIOTarget* stream) {
  const uint64_t size = stream->GetSize();
  // A file too small for header and trailing palette has only the header's.
  if (size >= kHeaderSize + kTrailingPalette) {
    uint8_t mark = 0;
    if (!stream->Seek(size - kTrailingPalette) || !stream->ReadExact(&mark, 1)) return false;
    if (mark == 12) {
      uint8_t rgb[768];
      if (!stream->ReadExact(rgb, 768)) return false;
      palette_.Reallocate(256);
      for (int i = 0; i < 256; ++i)
        palette_.data[i] = 0xFF000000u | static_cast<uint32_t>(rgb[3 * i]) << 16 |
                           static_cast<uint32_t>(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
      return true;
    }
  }
  bool any = false;
  for (uint8_t b : headerPalette_) any = any || b != 0;
  if (!any) return false;
  palette_.Reallocate(16);
  const uint8_t* p = headerPalette_;
  for (int i = 0; i < 16; ++i)
    palette_.data[i] = 0xFF000000u | static_cast<uint32_t>(p[3 * i]) << 16 | static_cast<uint32_t>(p[3 * i + 1]) << 8 |
                       p[3 * i + 2];
  return true;
}

bool cPictPCX::LoadInner(cFileIOTarget* stream) {
  if (!ReadHeader(stream)) return false;
  if (planes_ == 1 && !ReadPalette(stream)) return false;
  if (!stream->Seek(kHeaderSize)) return false;
  const int32_t width = GetWidth(), height = GetHeight();
  SetHighDepth(false);
  streaming_ = BeginCanvasOutput();
  if (!streaming_) {
    if (!AllocatePixels32(width, height)) return false;
    if (planes_ == 3)
      for (int32_t i = 0; i < Pixels32().count; ++i) Pixels32().data[i] = 0xFF000000u;
  }
  cByteReader in(stream);
  for (int32_t line = 0; line < height; ++line) {
    const int32_t y = height - 1 - line;
    uint32_t* row = streaming_ ? nullptr : Pixels32().data + static_cast<size_t>(y) * width;
    if (streaming_ && planes_ == 3)
      for (int32_t x = 0; x < width; ++x) PutCanvasChannel(x, y, 3, 0xFF);
    uint32_t runLeft = 0;
    uint8_t runValue = 0;
    for (uint32_t plane = 0; plane < planes_; ++plane) {
      const int32_t channel = 2 - static_cast<int32_t>(plane);  // red, green, blue
      for (uint32_t x = 0; x < bytesPerLine_; ++x) {
        uint8_t v;
        if (runLeft > 0) {
          v = runValue;
          --runLeft;
        } else {
          uint8_t b;
          if (!in.Next(b)) return false;
          if (b >= 0xC0) {
            if (!in.Next(runValue)) return false;
            runLeft = b & 0x3F;
            if (runLeft > 0) --runLeft;
            v = runValue;
          } else {
            v = b;
          }
        }
        if (planes_ == 1) {
          if (v >= palette_.count) return false;
          if (x < static_cast<uint32_t>(width)) {
            if (streaming_)
              PutCanvasPixel(static_cast<int32_t>(x), y, palette_.data[v]);
            else
              row[x] = palette_.data[v];
          }
        } else if (x < static_cast<uint32_t>(width)) {
          if (streaming_)
            PutCanvasChannel(static_cast<int32_t>(x), y, channel, v);
          else
            row[x] |= static_cast<uint32_t>(v) << (8 * channel);
        }
      }
    }
  }
  return true;
}
