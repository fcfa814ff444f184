// See pict_ppm.h.
#include "picture/pict_ppm.h"

#include <new>

namespace {

bool IsPnmSpace(uint8_t c) { return c == 0x09 || c == 0x0A || c == 0x0D || c == 0x20; }

bool ReadByte(cFileIOTarget* stream, uint8_t& c) { return stream->ReadExact(&c, 1); }

// Skips whitespace and comments; c receives the first byte of the token.
bool SkipPnmSpace(cFileIOTarget* stream, uint8_t& c) {
  if (!ReadByte(stream, c)) return false;
  for (;;) {
    if (IsPnmSpace(c)) {
      if (!ReadByte(stream, c)) return false;
    } else if (c == '#') {
      do {
        if (!ReadByte(stream, c)) return false;
      } while (c != 0x0A && c != 0x0D);
    } else {
      return true;
    }
  }
}

// One token: 1 to 10 digits ended (and consumed) by whitespace or '#'.
bool ReadToken(cFileIOTarget* stream, uint32_t& value) {
  uint8_t c;
  if (!SkipPnmSpace(stream, c)) return false;
  uint64_t v = 0;
  int digits = 0;
  while (c >= '0' && c <= '9') {
    if (++digits > 10) return false;
    v = v * 10 + (c - '0');
    if (!ReadByte(stream, c)) return false;
  }
  if (digits == 0) return false;
  if (!IsPnmSpace(c) && c != '#') return false;
  value = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

bool cPictPPM::ReadHeader(cFileIOTarget* stream) {
  uint8_t magic[2];
  if (stream == nullptr || !stream->ReadExact(magic, 2)) return false;
  if (magic[0] != 'P' || magic[1] < '4' || magic[1] > '6') return false;
  uint32_t w, h, maxValue = 2;
  if (!ReadToken(stream, w) || !ReadToken(stream, h)) return false;
  // Sizes beyond 31 bits would turn negative in the picture.
  if (w == 0 || h == 0 || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) return false;
  if (magic[1] != '4') {
    if (!ReadToken(stream, maxValue)) return false;
    if (maxValue == 0 || maxValue > 65535) return false;
  }
  type_ = static_cast<char>(magic[1]);
  maxValue_ = maxValue;
  SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h));
  return true;
}

bool cPictPPM::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
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

bool cPictPPM::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictPPM probe;
  return probe.ReadInfo(stream, info);
}

bool cPictPPM::Load(cFileIOTarget* stream) {
  bool ok = false;
  try {
    ok = LoadInner(stream);
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) {
    if (ok)
      EndCanvasOutput();
    else
      DetachCanvas();
  }
  return ok;
}

bool cPictPPM::LoadInner(cFileIOTarget* stream) {
  if (!ReadHeader(stream)) return false;
  const int32_t width = GetWidth(), height = GetHeight();
  if (static_cast<int64_t>(width) * height >= kMaxPixelCount) return false;
  const bool wide = maxValue_ >= 256;
  const int64_t unit = wide ? 2 : 1;
  int64_t rowBytes;
  if (type_ == '4')
    rowBytes = (static_cast<int64_t>(width) - 1) / 8 + 1;
  else
    rowBytes = static_cast<int64_t>(width) * unit * (type_ == '6' ? 3 : 1);
  // A row the stream cannot hold fails before its buffer is made.
  if (rowBytes > 0x7FFFFFFF || static_cast<uint64_t>(rowBytes) > stream->GetSize()) return false;
  _typebuf<uint8_t> row(static_cast<int32_t>(rowBytes));

  const bool streaming = BeginCanvasOutput();
  SetHighDepth(wide);
  if (!streaming) {
    if (wide ? !AllocatePixels64(width, height) : !AllocatePixels32(width, height)) return false;
  }
  for (int32_t r = 0; r < height; ++r) {
    if (!stream->ReadExact(row.data, static_cast<uint32_t>(rowBytes))) return false;
    const int32_t y = height - 1 - r;
    const uint8_t* p = row.data;
    for (int32_t x = 0; x < width; ++x) {
      if (!wide) {
        uint32_t px;
        if (type_ == '4') {
          const bool black = (p[x >> 3] >> (7 - (x & 7))) & 1;
          px = black ? 0xFF000000u : 0xFFFFFFFFu;
        } else if (type_ == '5') {
          const uint32_t v = p[x];
          px = 0xFF000000u | v << 16 | v << 8 | v;
        } else {
          const uint8_t* s = p + static_cast<size_t>(x) * 3;
          px = 0xFF000000u | static_cast<uint32_t>(s[0]) << 16 | static_cast<uint32_t>(s[1]) << 8 | s[2];
        }
        if (streaming)
          PutCanvasPixel(x, y, px);
        else
          Pixels32().data[static_cast<size_t>(y) * width + x] = px;
      } else {
        uint64_t r16, g16, b16;
        if (type_ == '5') {
          const uint8_t* s = p + static_cast<size_t>(x) * 2;
          r16 = g16 = b16 = static_cast<uint64_t>(s[0]) << 8 | s[1];
        } else {
          const uint8_t* s = p + static_cast<size_t>(x) * 6;
          r16 = static_cast<uint64_t>(s[0]) << 8 | s[1];
          g16 = static_cast<uint64_t>(s[2]) << 8 | s[3];
          b16 = static_cast<uint64_t>(s[4]) << 8 | s[5];
        }
        const uint64_t px = b16 | g16 << 16 | r16 << 32 | uint64_t{0xFFFF} << 48;
        if (streaming)
          PutCanvasPixel64(x, y, px);
        else
          Pixels64().data[static_cast<size_t>(y) * width + x] = px;
      }
    }
  }
  return true;
}
