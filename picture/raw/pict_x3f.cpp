// See pict_x3f.h.
#include "picture/raw/pict_x3f.h"

#include <cstring>

#include "base/memio.h"
#include "picture/pict_area.h"
#include "picture/pict_jpeg.h"
#include "picture/raw/raw_develop.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_preview.h"
#include "picture/raw/raw_x3f.h"

namespace {
uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
}  // namespace

bool cPictX3F::Detect(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    cPictX3F probe;
    return stream != nullptr && probe.ReadInfo(stream, info);
  });
}

void cPictX3F::Reset() {
  SetSize(0, 0);
  ReleasePixels();
  previews_.Clear();
  rawOffset_ = rawLength_ = rawFormat_ = 0;
  rawWidth_ = rawHeight_ = 0;
}

int32_t cPictX3F::PreviewCount() const {
  int32_t n = 0;
  for (auto* node = previews_.First(); node != nullptr; node = decltype(previews_)::Next(node)) ++n;
  return n;
}

bool cPictX3F::ReadDirectory(cFileIOTarget* stream) {
  if (stream == nullptr) return false;
  uint8_t h[12];
  if (!stream->Seek(0) || !stream->ReadExact(h, 8) || memcmp(h, "FOVb", 4) != 0) return false;
  const uint64_t size = stream->GetSize();
  if (size < 4 || !stream->Seek(size - 4) || !stream->ReadExact(h, 4)) return false;
  const uint64_t dir = Le32(h);
  if (dir < 40 || dir >= size - 4) return false;
  if (!stream->Seek(dir) || !stream->ReadExact(h, 12) || memcmp(h, "SECd", 4) != 0) return false;
  const uint32_t count = Le32(h + 8);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t e[12];
    if (!stream->Seek(dir + 12 + 12ull * i) || !stream->ReadExact(e, 12)) return false;
    if (memcmp(e + 8, "IMA2", 4) != 0 && memcmp(e + 8, "IMAG", 4) != 0) continue;
    const uint32_t offset = Le32(e), length = Le32(e + 4);
    uint8_t s[28];
    if (!stream->Seek(offset) || !stream->ReadExact(s, 28) || memcmp(s, "SECi", 4) != 0) return false;
    const uint32_t type = Le32(s + 8), format = Le32(s + 12), columns = Le32(s + 16), rows = Le32(s + 20);
    if (type == 2) {
      if (format != 18 || length < 28) continue;
      const uint64_t area = static_cast<uint64_t>(columns) * rows;
      sX3fPreview* p = previews_.Find(area);
      if (p == nullptr) {
        p = previews_.FindOrInsert(area);
        if (p != nullptr) *p = sX3fPreview{offset + 28, length - 28, columns, rows};
      }
      continue;
    }
    rawWidth_ = static_cast<int32_t>(columns);
    rawHeight_ = static_cast<int32_t>(rows);
    rawOffset_ = offset;
    rawLength_ = length;
  }
  if (rawOffset_ == 0 || rawLength_ == 0 || rawWidth_ <= 0 || rawHeight_ <= 0) return false;
  uint8_t s[28];
  if (!stream->Seek(rawOffset_) || !stream->ReadExact(s, 28)) return false;
  rawFormat_ = Le32(s + 12);
  return true;
}

const sX3fPreview* cPictX3F::LargestPreview() const {
  auto* last = previews_.Last();
  return last != nullptr ? &last->value : nullptr;
}

bool cPictX3F::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!ReadDirectory(stream)) return false;
    int32_t w = rawWidth_, h = rawHeight_;
    if (rawFormat_ != 5 && rawFormat_ != 30) {
      const sX3fPreview* p = LargestPreview();
      if (p == nullptr) return false;
      w = static_cast<int32_t>(p->columns), h = static_cast<int32_t>(p->rows);
    }
    if (info != nullptr) {
      info->width = w;
      info->height = h;
      info->hasPreview = !previews_.IsEmpty();
    }
    return true;
  });
}

bool cPictX3F::LoadJpeg(cFileIOTarget* stream, const sX3fPreview& p, cPictBase* into) {
  cFileIOSubRange window(stream, p.offset, p.length);
  cPictJPEG jpeg;
  if (!window.Seek(0) || !jpeg.Load(&window)) return false;
  into->TakePixels(&jpeg);
  return true;
}

bool cPictX3F::Load(cFileIOTarget* stream) {
  return RawGuarded([&] {
    if (!ReadDirectory(stream)) return false;
    if (rawFormat_ != 5 && rawFormat_ != 30) {
      // ReadInfo reported the preview's header size; a JPEG of another size
      // would load as a picture other than the one announced, so it fails.
      const sX3fPreview* p = LargestPreview();
      if (p == nullptr || !LoadJpeg(stream, *p, this)) return false;
      if (static_cast<uint32_t>(GetWidth()) == p->columns && static_cast<uint32_t>(GetHeight()) == p->rows) return true;
      SetSize(0, 0);
      ReleasePixels();
      return false;
    }
    // Sizes the image header lets through but a picture cannot hold.
    int64_t count = 0;
    if (!pict_area::CheckedArea(rawWidth_, rawHeight_, 1, count)) return false;
    if (!AllocatePixels64(rawWidth_, rawHeight_)) return false;
    SetHighDepth(true);
    uint64_t* pixels = Pixels64().data;
    const uint64_t size = stream->GetSize();
    const uint64_t data = static_cast<uint64_t>(rawOffset_) + 28;
    if (rawFormat_ == 5) {
      uint8_t tableBytes[2048];
      if (!stream->Seek(data) || !stream->ReadExact(tableBytes, 2048)) return false;
      int16_t table[1024];
      for (int i = 0; i < 1024; ++i) table[i] = static_cast<int16_t>(tableBytes[2 * i] | tableBytes[2 * i + 1] << 8);
      _typebuf<uint8_t> row(static_cast<int32_t>(4 * static_cast<int64_t>(rawWidth_)));
      for (int32_t y = 0; y < rawHeight_; ++y) {
        if (!stream->ReadExact(row.data, static_cast<uint32_t>(row.count))) return false;
        X3fFormat5Row(table, row.data, rawWidth_, pixels + static_cast<int64_t>(rawHeight_ - 1 - y) * rawWidth_);
      }
    } else {
      uint8_t head[48];
      if (!stream->Seek(data) || !stream->ReadExact(head, 48)) return false;
      sX3fSlot slots[256];
      if (!BuildX3fTable(head + 8, slots)) return false;
      const uint32_t sizes[3] = {Le32(head + 36), Le32(head + 40), Le32(head + 44)};
      uint64_t starts[3];
      X3fPlaneStarts(sizes, starts);
      memset(pixels, 0, static_cast<size_t>(count) * sizeof(uint64_t));
      for (int plane = 0; plane < 3; ++plane) {
        const uint64_t at = data + starts[plane];
        // The plane's bytes: its size, cut at the end of the file.
        const uint64_t n = at >= size ? 0 : std::min<uint64_t>(sizes[plane], size - at);
        if (n > 0x7FFFFFFF) return false;
        _typebuf<uint8_t> bytes(static_cast<int32_t>(n));
        if (n && (!stream->Seek(at) || !stream->ReadExact(bytes.data, static_cast<uint32_t>(n)))) return false;
        if (!DecodeX3fPlane(bytes.data, static_cast<size_t>(n), slots, rawWidth_, rawHeight_, plane, pixels))
          return false;
      }
      for (int64_t i = 0; i < count; ++i) pixels[i] |= uint64_t{0xFFFF} << 48;
    }
    if (RawFrameHookSet() && count <= INT32_MAX / 3) {
      // The decoded samples before development: red, green and blue of each
      // site, top row first, as a frame three times the picture's width.
      _typebuf<uint16_t> frame(static_cast<int32_t>(count * 3));
      if (frame.data == nullptr) return false;
      for (int32_t y = 0; y < rawHeight_; ++y)
        for (int32_t x = 0; x < rawWidth_; ++x) {
          const uint64_t p = pixels[static_cast<int64_t>(rawHeight_ - 1 - y) * rawWidth_ + x];
          uint16_t* out = frame.data + (static_cast<int64_t>(y) * rawWidth_ + x) * 3;
          out[0] = static_cast<uint16_t>(p >> 32), out[1] = static_cast<uint16_t>(p >> 16), out[2] = static_cast<uint16_t>(p);
        }
      ReportRawFrame(frame.data, rawWidth_ * 3, rawHeight_);
    }
    cStreamGuardProgressTarget progress(stream);
    cRawHistogram histogram;
    if (!BuildRawHistogram(pixels, count, histogram, &progress)) return false;
    uint32_t black = 0, middle = 0, white = 0xFFFF;
    FindLevels(histogram.all, black, middle, white, 0.999);
    _typebuf<uint32_t> table;
    BuildToneCurve(black, white, 2.2, table);
    return ApplyToneCurve(pixels, pixels, count, table, &progress);
  });
}

bool cPictX3F::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  return RawGuarded([&] {
    if (!ReadDirectory(stream)) return false;
    const sX3fPreview* p = LargestPreview();
    if (p == nullptr) return false;
    if (width > 0 && height > 0) {
      // The largest preview whose area does not exceed the box's.
      const uint64_t box = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
      for (auto* node = previews_.Last(); node != nullptr; node = decltype(previews_)::Prev(node))
        if (node->key <= box) {
          p = &node->value;
          break;
        }
    }
    return LoadFittedJpegPreview(stream, p->offset, p->length, destination, width, height);
  });
}
