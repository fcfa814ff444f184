// See header.
#include "picture/raw/pict_cr3.h"

#include <cstring>

#include "base/memio.h"
#include "picture/pict_jpeg.h"

namespace {

uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
uint64_t Be64(const uint8_t* p) { return (static_cast<uint64_t>(Be32(p)) << 32) | Be32(p + 4); }

// Entry points turn an exception (memory, an index check) into a failed
// result, so a crafted file fails and the factory goes on.
template <class F>
bool Guarded(F&& body) {
  try {
    return body();
  } catch (...) {
    return false;
  }
}

bool ReadAt(cFileIOTarget* stream, uint64_t at, void* out, uint32_t count) {
  return stream->Seek(at) && stream->ReadExact(out, count);
}

int32_t Trunc(double v) { return v >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(v); }

}  // namespace

bool cPictCR3::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictCR3 probe;
  return probe.ReadInfo(stream, info);
}

bool cPictCR3::OnTag(uint32_t tag, uint32_t, const uint8_t* data, int32_t size) {
  if (tag != 256 && tag != 257) return true;
  uint32_t value = 0;
  if (size == 2 && data != nullptr)
    value = GetShort(data);
  else if (size == 4 && data != nullptr)
    value = GetLong(data);
  else
    return false;
  (tag == 256 ? metaWidth_ : metaHeight_) = value;
  return true;
}

bool cPictCR3::WalkCr3Boxes(cFileIOTarget* window, int32_t depth) {
  if (depth > kMaxUuidDepth) return false;
  const uint64_t length = window->GetSize();
  uint64_t pos = 0;
  uint8_t head[16];
  while (pos <= length && ReadAt(window, pos, head, sizeof(head))) {
    const uint64_t size = Be32(head);
    if (size < 8) return false;
    if (std::memcmp(head + 4, "CMT1", 4) == 0 || std::memcmp(head + 4, "CMT2", 4) == 0) {
      cFileIOSubRange tiff(window, pos + 8, size - 8);
      if (!tiff.IsOpen() || !ReadHeader(&tiff, kWholeStream)) return false;
    } else if (std::memcmp(head + 4, "uuid", 4) == 0) {
      if (size > 24) {
        cFileIOSubRange inner(window, pos + 24, size - 24);
        if (inner.IsOpen() && !WalkCr3Boxes(&inner, depth + 1)) return false;
      }
    }
    pos += size;
  }
  return true;
}

bool cPictCR3::ParseCr3Boxes(cFileIOTarget* stream) {
  if (stream == nullptr || !stream->IsOpen()) return false;
  if (mdatOffset_ != 0) return true;
  uint8_t ftyp[24];
  if (!ReadAt(stream, 0, ftyp, sizeof(ftyp))) return false;
  static const uint8_t kFtyp[16] = {'f', 't', 'y', 'p', 'c', 'r', 'x', ' ', 0, 0, 0, 1, 'c', 'r', 'x', ' '};
  if (std::memcmp(ftyp + 4, kFtyp, sizeof(kFtyp)) != 0) return false;
  const uint64_t ftypSize = Be32(ftyp);
  if (ftypSize < 8) return false;
  const uint64_t fileSize = stream->GetSize();
  bool moovSeen = false;
  uint64_t previewOffset = 0, previewSize = 0, mdatOffset = 0, mdatSize = 0;
  uint64_t pos = ftypSize;
  uint8_t head[16];
  while (pos < fileSize && ReadAt(stream, pos, head, sizeof(head))) {
    uint64_t size = Be32(head);
    uint64_t header = 8;
    if (size == 1) {
      size = Be64(head + 8);
      header = 16;
    }
    if (size < header) return false;  // a box smaller than its header never moves on
    const uint64_t payload = pos + header, payloadSize = size - header;
    if (std::memcmp(head + 4, "uuid", 4) == 0) {
      uint8_t record[32];
      if (payloadSize >= 48 && ReadAt(stream, payload + 16, record, sizeof(record)) &&
          std::memcmp(record + 12, "PRVW", 4) == 0) {
        const uint64_t n = Be32(record + 28);
        if (n != 0 && payloadSize >= n + 48) {
          previewOffset = payload + 48;
          previewSize = n;
        }
      }
    } else if (std::memcmp(head + 4, "free", 4) == 0) {
    } else if (std::memcmp(head + 4, "mdat", 4) == 0) {
      mdatOffset = payload;
      mdatSize = payloadSize;
    } else if (std::memcmp(head + 4, "moov", 4) == 0) {
      cFileIOSubRange window(stream, payload, payloadSize);
      if (!window.IsOpen() || !WalkCr3Boxes(&window, 0)) return false;
      moovSeen = true;
    } else {
      break;
    }
    if (size > ~uint64_t{0} - pos) break;
    pos += size;
  }
  if (!moovSeen || mdatOffset == 0) return false;
  mdatOffset_ = mdatOffset;
  mdatSize_ = mdatSize;
  previewOffset_ = previewOffset;
  previewSize_ = previewSize;
  return true;
}

bool cPictCR3::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  if (!Guarded([&] { return ParseCr3Boxes(stream); })) return false;
  if (info != nullptr) {
    info->width = static_cast<int32_t>(metaWidth_ > 0x7FFFFFFFu ? 0 : metaWidth_);
    info->height = static_cast<int32_t>(metaHeight_ > 0x7FFFFFFFu ? 0 : metaHeight_);
    info->hasPreview = previewOffset_ != 0;
  }
  return true;
}

bool cPictCR3::Load(cFileIOTarget* stream) { return Guarded([&] { return LoadBody(stream); }); }

bool cPictCR3::LoadBody(cFileIOTarget* stream) {
  if (!ParseCr3Boxes(stream)) return false;
  cFileIOSubRange window(stream, mdatOffset_, mdatSize_);
  // A frame far larger than its bytes could code is not decoded.
  if (!window.IsOpen() || !cPictJPEG::PlausibleEmbeddedSize(&window, mdatSize_)) return false;
  window.Seek(0);
  // The picture is whatever the JPEG decoder makes of a baseline or
  // progressive JPEG; the raw-raster decoder would route a lossless frame
  // into a sample raster that never becomes pixels, so the plain decoder
  // serves every kind.
  cPictJPEG jpeg;
  if (!jpeg.Load(&window) || !jpeg.HasPixels()) return false;
  TakePixels(&jpeg);
  return HasPixels();
}

bool cPictCR3::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& maxWidth, int32_t& maxHeight) {
  return Guarded([&] { return LoadPreviewBody(stream, destination, maxWidth, maxHeight); });
}

bool cPictCR3::LoadPreviewBody(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight) {
  if (destination == nullptr || !ParseCr3Boxes(stream) || previewOffset_ == 0) return false;
  cFileIOSubRange window(stream, previewOffset_, previewSize_);
  if (!window.IsOpen() || !cPictJPEG::PlausibleEmbeddedSize(&window, previewSize_)) return false;
  window.Seek(0);
  sPictInfo info;
  if (!cPictJPEG::Detect(&window, &info) || info.width <= 0 || info.height <= 0) return false;
  window.Seek(0);
  const int32_t w = info.width, h = info.height;
  const int32_t mw = maxWidth > 0 ? maxWidth : w, mh = maxHeight > 0 ? maxHeight : h;
  cPictJPEG jpeg;
  if (mw >= w && mh >= h) {
    if (!jpeg.Load(&window) || !jpeg.HasPixels()) return false;
    destination->TakePixels(&jpeg);
    return true;
  }
  double s = static_cast<double>(mh) / h;
  const double sx = static_cast<double>(mw) / w;
  if (sx < s) s = sx;
  if (s > 1.0) s = 1.0;
  const int32_t tw = Trunc(w * s + 0.5), th = Trunc(h * s + 0.5);
  if (tw == 0 || th == 0) return false;
  cPictDummy blank;
  if (!blank.CreateBlank(tw, th)) return false;
  sPictCanvas canvas;
  sPictCanvas::FromPicture(canvas, &blank);
  if (!jpeg.AttachCanvas(&canvas)) return false;
  const bool ok = jpeg.Load(&window);
  if (jpeg.GetAttachedCanvas() == &canvas) jpeg.DetachCanvas();
  if (!ok) return false;
  destination->TakePixels(&blank);
  return true;
}
