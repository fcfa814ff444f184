// See pict_ico.h.
#include "picture/pict_ico.h"

#include <cstring>

#include "base/memio.h"
#include "picture/pict_dib.h"
#include "picture/pict_factory.h"
#include "picture/pict_png.h"
#include "picture/pict_read.h"

namespace {

using pict_read::Le16;
using pict_read::Le32;

constexpr uint32_t kDirectorySize = 6;
constexpr uint32_t kEntrySize = 16;

struct sDirectory {
  uint32_t type = 0;
  int32_t count = 0;
};

// The 6-byte directory at the stream's position: reserved 0, count non-zero,
// and with needType, type 1 or 2.
bool ReadDirectory(cFileIOTarget* stream, bool needType, sDirectory& dir) {
  uint8_t h[kDirectorySize];
  if (stream == nullptr || !stream->ReadExact(h, kDirectorySize)) return false;
  dir.type = Le16(h + 2);
  dir.count = static_cast<int32_t>(Le16(h + 4));
  if (Le16(h) != 0 || dir.count == 0) return false;
  return !needType || dir.type == 1 || dir.type == 2;
}

// Entry index's image window (offset and size as unsigned 32-bit values).
bool ReadEntry(cFileIOTarget* stream, int32_t index, uint64_t& offset, uint64_t& size) {
  uint8_t e[kEntrySize];
  if (!stream->Seek(kDirectorySize + uint64_t{kEntrySize} * static_cast<uint32_t>(index)) ||
      !stream->ReadExact(e, kEntrySize))
    return false;
  size = Le32(e + 8);
  offset = Le32(e + 12);
  return true;
}

// The size of one image: DIB (height of the colour part) first, then PNG,
// or the other way round.
bool Measure(cFileIOTarget* stream, uint64_t offset, uint64_t size, bool pngFirst, int32_t& w, int32_t& h) {
  cFileIOSubRange window(stream, offset, size);
  sPictInfo info;
  auto dib = [&]() {
    window.Seek(0);
    cPictDIB probe;
    return probe.ReadDIBHeader(&window, &info, true);
  };
  auto png = [&]() {
    window.Seek(0);
    return cPictPNG::Detect(&window, &info);
  };
  const bool ok = pngFirst ? (png() || dib()) : (dib() || png());
  // A DIB stored 1 row high has no colour row once halved: it cannot decode.
  if (!ok || info.width < 1 || info.height < 1) return false;
  w = info.width;
  h = info.height;
  return true;
}

// The image within the box (a side of 0 or less: no limit) of the greatest
// area, the first of equal areas; -1 when an image cannot be measured or none
// fits.
int32_t ChooseImage(cFileIOTarget* stream, const sDirectory& dir, int32_t maxW, int32_t maxH, int32_t& bestW,
                    int32_t& bestH) {
  int32_t best = -1;
  int64_t bestArea = -1;
  for (int32_t i = 0; i < dir.count; ++i) {
    uint64_t offset, size;
    int32_t w, h;
    if (!ReadEntry(stream, i, offset, size) || !Measure(stream, offset, size, false, w, h)) return -1;
    if ((maxW > 0 && w > maxW) || (maxH > 0 && h > maxH)) continue;
    const int64_t area = int64_t{w} * h;
    if (area > bestArea) {
      bestArea = area;
      best = i;
      bestW = w;
      bestH = h;
    }
  }
  return best;
}

void MakeIconDib(cPictDIB& dib) {
  dib.SetIconImage(true);
  dib.SetPaletteAfterHeader(true);
}

// A picture that FitPictureToBox takes: 16-bit PNG images are brought to
// 32-bit pixels first.
bool To32Bit(cPictBase& source, cPictDummy& out) {
  if (!source.IsHighDepth()) return false;
  _typebuf<uint32_t> pixels;
  if (!source.GetPixels32(pixels) || !out.AllocatePixels32(source.GetWidth(), source.GetHeight())) return false;
  std::memcpy(out.Pixels32().data, pixels.data, static_cast<size_t>(pixels.count) * 4);
  return true;
}

bool Fit(cPictBase* destination, cPictBase& decoded, int32_t maxW, int32_t maxH, uint32_t background) {
  cPictDummy narrow;
  cPictBase* source = &decoded;
  if (decoded.IsHighDepth()) {
    if (!To32Bit(decoded, narrow)) return false;
    source = &narrow;
  }
  return FitPictureToBox(destination, source, maxW, maxH, background);
}

}  // namespace

bool cPictICO::Detect(cFileIOTarget* stream, sPictInfo* info) {
  try {
    sDirectory dir;
    if (!ReadDirectory(stream, true, dir)) return false;
    int32_t w = 0, h = 0;
    if (ChooseImage(stream, dir, 0, 0, w, h) < 0) return false;
    if (info != nullptr) {
      info->width = w;
      info->height = h;
      info->hasPreview = true;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictICO::ReadInfo(cFileIOTarget* stream, sPictInfo* info) { return Detect(stream, info); }

bool cPictICO::Load(cFileIOTarget* stream) {
  index_ = 0;
  return DecodeImage(stream);
}

int32_t cPictICO::GetImageCount(cFileIOTarget* stream) {
  try {
    sDirectory dir;
    return ReadDirectory(stream, false, dir) ? dir.count : 0;
  } catch (...) {
    return 0;
  }
}

bool cPictICO::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  try {
    sDirectory dir;
    if (!ReadDirectory(stream, false, dir) || index < 0 || index >= dir.count) return false;
    uint64_t offset, size;
    return ReadEntry(stream, index, offset, size) && Measure(stream, offset, size, true, width, height);
  } catch (...) {
    return false;
  }
}

bool cPictICO::LoadImage(cFileIOTarget* stream, int32_t index) {
  if (index < 0) return false;
  index_ = index;
  return DecodeImage(stream);
}

bool cPictICO::DecodeImage(cFileIOTarget* stream) {
  sPictCanvas* canvas = GetAttachedCanvas();
  bool ok = false;
  try {
    sDirectory dir;
    uint64_t offset, size;
    if (ReadDirectory(stream, true, dir) && index_ < dir.count && ReadEntry(stream, index_, offset, size)) {
      cFileIOSubRange window(stream, offset, size);
      const bool isPng = cPictPNG::Detect(&window, nullptr);
      window.Seek(0);
      bool isDib = false;
      if (!isPng) {
        cPictDIB probe;
        isDib = probe.ReadDIBHeader(&window, nullptr, false);
        window.Seek(0);
      }
      const bool streaming = canvas != nullptr && canvas->width != 0 && canvas->height != 0;
      if (isPng) {
        cPictPNG png;
        png.SetHeaderOnly(false);
        if (streaming) {
          DetachCanvas();
          png.AttachCanvas(canvas);
          ok = png.ReadChunks(&window);
          SetSize(png.GetWidth(), png.GetHeight());
        } else if (png.ReadChunks(&window)) {
          TakePixels(&png);
          ok = true;
        }
      } else if (isDib) {
        cPictDIB dib;
        MakeIconDib(dib);
        if (streaming) {
          DetachCanvas();
          dib.AttachCanvas(canvas);
          ok = dib.Load(&window);
          SetSize(dib.GetWidth(), dib.GetHeight());
        } else if (dib.Load(&window)) {
          TakePixels(&dib);
          ok = true;
        }
      }
    }
  } catch (...) {
    ok = false;
  }
  // The canvas belongs to the caller; it went to the inner decoder or is
  // given back unused.
  if (GetAttachedCanvas() != nullptr) DetachCanvas();
  return ok;
}

bool cPictICO::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                               int32_t index, bool allowFullDecode, uint32_t background) {
  if (!allowFullDecode || index < 0 || destination == nullptr) return false;
  try {
    sDirectory dir;
    uint64_t offset, size;
    if (!ReadDirectory(stream, true, dir) || index >= dir.count || !ReadEntry(stream, index, offset, size))
      return false;
    cFileIOSubRange window(stream, offset, size);
    cPictPNG png;
    png.SetHeaderOnly(false);
    if (png.ReadChunks(&window)) return Fit(destination, png, maxWidth, maxHeight, background);
    window.Seek(0);
    cPictDIB dib;
    MakeIconDib(dib);
    if (dib.Load(&window)) return Fit(destination, dib, maxWidth, maxHeight, background);
    return false;
  } catch (...) {
    return false;
  }
}

bool cPictICO::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  if (destination == nullptr) return false;
  try {
    sDirectory dir;
    if (!ReadDirectory(stream, true, dir)) return false;
    int32_t w = 0, h = 0;
    const int32_t chosen = ChooseImage(stream, dir, width, height, w, h);
    uint64_t offset, size;
    if (chosen < 0 || !ReadEntry(stream, chosen, offset, size)) return false;
    cFileIOSubRange window(stream, offset, size);
    cPictPNG png;
    png.SetHeaderOnly(false);
    if (png.ReadChunks(&window)) {
      destination->TakePixels(&png);
      return true;
    }
    window.Seek(0);
    cPictDIB dib;
    MakeIconDib(dib);
    if (!dib.Load(&window)) return false;
    destination->TakePixels(&dib);
    return true;
  } catch (...) {
    return false;
  }
}
