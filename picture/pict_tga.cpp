// See pict_tga.h.
#include "picture/pict_tga.h"

#include "picture/pict_read.h"

namespace {

using pict_read::Le16;

uint32_t Scale5(uint32_t c) { return static_cast<uint32_t>(c * 8.2258); }

uint32_t Colour16(uint32_t v) {
  return 0xFF000000u | Scale5(v >> 10 & 31) << 16 | Scale5(v >> 5 & 31) << 8 | Scale5(v & 31);
}

// The header tests shared by the probe and the loader: type against colour
// map, origins, sizes, depth.
bool HeaderFits(const uint8_t* h) {
  const uint8_t type = h[2];
  const uint32_t mapLength = Le16(h + 5), entrySize = h[7];
  if (type == 1 || type == 9) {
    if (mapLength == 0 || entrySize == 0 || h[1] != 1) return false;
  } else if (type == 2 || type == 3 || type == 10 || type == 11) {
    if (mapLength != 0 || entrySize != 0 || h[1] != 0) return false;
  } else {
    return false;
  }
  if (Le16(h + 8) != 0 || Le16(h + 10) != 0) return false;
  if (Le16(h + 12) == 0 || Le16(h + 14) == 0) return false;
  const uint8_t depth = h[16];
  return depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

}  // namespace

bool cPictTGA::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  try {
    if (stream == nullptr || !stream->ReadExact(header_, 18) || !HeaderFits(header_)) return false;
  } catch (...) {
    return false;
  }
  SetSize(static_cast<int32_t>(Le16(header_ + 12)), static_cast<int32_t>(Le16(header_ + 14)));
  if (info != nullptr) {
    info->width = GetWidth();
    info->height = GetHeight();
    info->hasPreview = false;
  }
  return true;
}

bool cPictTGA::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictTGA probe;
  return probe.ReadInfo(stream, info);
}

bool cPictTGA::Load(cFileIOTarget* stream) {
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

bool cPictTGA::ReadColourMap(cFileIOTarget* stream) {
  const int32_t length = static_cast<int32_t>(Le16(header_ + 5));
  const uint32_t entrySize = header_[7];
  if (entrySize != 16 && entrySize != 24 && entrySize != 32) return false;
  const uint32_t unit = entrySize / 8;
  _typebuf<uint8_t> raw(static_cast<int32_t>(length * unit));
  if (!stream->ReadExact(raw.data, static_cast<uint32_t>(length * unit))) return false;
  palette_.Reallocate(length);
  bool anyAlpha = false;
  for (int32_t i = 0; i < length; ++i) {
    const uint8_t* p = raw.data + static_cast<size_t>(i) * unit;
    uint32_t c;
    if (unit == 2) {
      c = Colour16(Le16(p));
    } else {
      c = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
      if (unit == 4) {
        c |= static_cast<uint32_t>(p[3]) << 24;
        if (p[3] != 0) anyAlpha = true;
      } else {
        c |= 0xFF000000u;
      }
    }
    palette_.data[i] = c;
  }
  if (unit == 4 && !anyAlpha)
    for (int32_t i = 0; i < length; ++i) palette_.data[i] |= 0xFF000000u;
  return true;
}

bool cPictTGA::Convert(const uint8_t* v, uint32_t& pixel) const {
  switch (header_[2]) {
    case 1:
    case 9:
      if (v[0] >= palette_.count) return false;
      pixel = palette_.data[v[0]];
      return true;
    case 3:
    case 11:
      pixel = 0xFF000000u | static_cast<uint32_t>(v[0]) * 0x010101u;
      return true;
    default:
      if (bytesPerPixel_ == 2) {
        pixel = Colour16(Le16(v));
      } else {
        pixel = static_cast<uint32_t>(v[0]) | static_cast<uint32_t>(v[1]) << 8 | static_cast<uint32_t>(v[2]) << 16;
        pixel |= bytesPerPixel_ == 4 ? static_cast<uint32_t>(v[3]) << 24 : 0xFF000000u;
      }
      return true;
  }
}

bool cPictTGA::LoadInner(cFileIOTarget* stream) {
  if (stream == nullptr || !stream->ReadExact(header_, 18)) return false;
  const int32_t width = static_cast<int32_t>(Le16(header_ + 12)), height = static_cast<int32_t>(Le16(header_ + 14));
  if (Le16(header_ + 8) != 0 || Le16(header_ + 10) != 0 || width == 0 || height == 0) return false;
  const uint8_t depth = header_[16];
  if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return false;
  if (header_[17] > 63) return false;
  if (header_[0] != 0) {
    uint8_t id[255];
    if (!stream->ReadExact(id, header_[0])) return false;
  }
  SetSize(width, height);
  if (!HeaderFits(header_)) return false;
  const uint8_t type = header_[2];
  const bool mapped = type == 1 || type == 9, grey = type == 3 || type == 11, rle = type >= 9;
  if ((mapped || grey) ? depth != 8 : depth == 8) return false;
  if (mapped && !ReadColourMap(stream)) return false;
  bytesPerPixel_ = depth / 8;

  streaming_ = BeginCanvasOutput();
  if (!streaming_ && !AllocatePixels32(width, height)) return false;
  const bool topDown = (header_[17] & 0x20) != 0;
  const bool checkAlpha = !mapped && !grey && bytesPerPixel_ == 4;
  bool anyAlpha = false;
  const uint32_t rowBytes = static_cast<uint32_t>(width) * bytesPerPixel_;
  _typebuf<uint8_t> row(rle ? 0 : static_cast<int32_t>(rowBytes));
  uint8_t value[4] = {};
  int32_t packetLeft = 0;
  bool repeat = false;
  for (int32_t k = 0; k < height; ++k) {
    const int32_t y = topDown ? height - 1 - k : k;
    if (!rle && !stream->ReadExact(row.data, rowBytes)) return false;
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* v;
      if (rle) {
        if (packetLeft == 0) {
          uint8_t h;
          if (!stream->ReadExact(&h, 1)) return false;
          packetLeft = (h & 0x7F) + 1;
          repeat = (h & 0x80) != 0;
          if (repeat && !stream->ReadExact(value, static_cast<uint32_t>(bytesPerPixel_))) return false;
        }
        if (!repeat && !stream->ReadExact(value, static_cast<uint32_t>(bytesPerPixel_))) return false;
        --packetLeft;
        v = value;
      } else {
        v = row.data + static_cast<size_t>(x) * bytesPerPixel_;
      }
      uint32_t pixel;
      if (!Convert(v, pixel)) return false;
      if (pixel >> 24 != 0) anyAlpha = true;
      if (streaming_)
        PutCanvasPixel(x, y, pixel);
      else
        Pixels32().data[static_cast<size_t>(y) * width + x] = pixel;
    }
  }
  if (checkAlpha && !anyAlpha) {
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        if (streaming_)
          PutCanvasChannel(x, y, 3, 0xFF);
        else
          Pixels32().data[static_cast<size_t>(y) * width + x] |= 0xFF000000u;
      }
  }
  return true;
}
