// See pict_mrw.h.
#include "picture/raw/pict_mrw.h"

#include <algorithm>
#include <cstring>

#include "base/memio.h"
#include "picture/pict_area.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_olympus.h"
#include "picture/raw/raw_preview.h"

bool cPictMRW::Detect(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    cPictMRW probe;
    return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
  });
}

void cPictMRW::Reset() {
  width_ = height_ = 0;
  for (double& l : levels_) l = 1.0;
  previewOffset_ = previewLength_ = 0;
  dataOffset_ = 0;
  tiffStart_ = 0;
  const uint8_t rggb[4] = {0, 1, 1, 2};
  memcpy(pattern_, rggb, 4);
  samplesBigEndian_ = false;
}

bool cPictMRW::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  const sTiffEntry e{tag, type, data, size};
  int32_t v = 0;
  switch (tag) {
    case 513:
      if (!GetEntryInt(e, v)) return false;
      previewOffset_ = static_cast<uint32_t>(tiffStart_ + static_cast<uint32_t>(v));
      return true;
    case 514:
      if (!GetEntryInt(e, v)) return false;
      previewLength_ = static_cast<uint32_t>(v);
      return true;
    case 272:
      if (data != nullptr && size >= 12 && memcmp(data, "DiMAGE A200\0", 12) == 0) {
        const uint8_t gbrg[4] = {1, 2, 0, 1};
        memcpy(pattern_, gbrg, 4);
      }
      return true;
    default: return true;
  }
}

bool cPictMRW::ReadDirectory(cFileIOTarget* stream) {
  Reset();
  if (stream == nullptr) return false;
  uint8_t h[8];
  if (!stream->Seek(0) || !stream->ReadExact(h, 8)) return false;
  bool be;
  if (memcmp(h, "\0MRM", 4) == 0) be = true;
  else if (memcmp(h, "\0MRI", 4) == 0) be = false;
  else return false;
  auto u32 = [be](const uint8_t* p) {
    return be ? (static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3])
              : (static_cast<uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]);
  };
  auto u16 = [be](const uint8_t* p) { return be ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]); };
  // Without a TIFF block the samples follow the directory's byte order.
  samplesBigEndian_ = be;
  dataOffset_ = static_cast<uint64_t>(u32(h + 4)) + 8;
  if (dataOffset_ <= 16) return true;
  uint64_t pos = 8;
  while (pos + 8 < dataOffset_) {
    uint8_t b[8];
    if (!stream->Seek(pos) || !stream->ReadExact(b, 8)) return false;
    const uint64_t length = u32(b + 4);
    // 64-bit: a length near 4 GiB would wrap a 32-bit sum and loop forever.
    if (length > dataOffset_ - pos - 8) return false;
    const uint64_t next = pos + 8 + length, content = pos + 8;
    if (memcmp(b, "\0PRD", 4) == 0 && length >= 16) {
      uint8_t c[16];
      if (!stream->Seek(content) || !stream->ReadExact(c, 16)) return false;
      height_ = u16(c + 8);
      width_ = u16(c + 10);
    } else if (memcmp(b, "\0WBG", 4) == 0 && length >= 12) {
      uint8_t c[12];
      if (!stream->Seek(content) || !stream->ReadExact(c, 12)) return false;
      for (int i = 0; i < 4; ++i) levels_[i] = u16(c + 4 + 2 * i);
    } else if (memcmp(b, "\0TTW", 4) == 0) {
      cFileIOSubRange window(stream, content, length);
      tiffStart_ = content;
      const bool ok = ReadHeader(&window, length);
      if (!ok) return false;
      samplesBigEndian_ = IsBigEndian();
    }
    pos = next;
  }
  return true;
}

bool cPictMRW::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!ReadDirectory(stream)) return false;
    if (info != nullptr) {
      info->width = width_;
      info->height = height_;
      info->hasPreview = previewOffset_ != 0;
    }
    return true;
  });
}

bool cPictMRW::Load(cFileIOTarget* stream) {
  return RawGuarded([&] {
    if (!ReadDirectory(stream)) return false;
    const uint64_t size = stream->GetSize();
    if (size < dataOffset_) return false;
    const uint64_t available = size - dataOffset_;
    int64_t count = 0;
    if (!pict_area::CheckedArea(width_, height_, 1, count)) return false;
    _typebuf<uint16_t> raw(static_cast<int32_t>(count));
    memset(raw.data, 0, static_cast<size_t>(count) * sizeof(uint16_t));
    if (!stream->Seek(dataOffset_)) return false;
    const uint64_t n = static_cast<uint64_t>(count);
    if (available >= 2 * n) {
      if (!stream->ReadExact(raw.data, static_cast<uint32_t>(2 * n))) return false;
      const uint8_t* b = reinterpret_cast<const uint8_t*>(raw.data);
      for (uint64_t i = 0; i < n; ++i)
        raw.data[i] = static_cast<uint16_t>(samplesBigEndian_ ? (b[2 * i] << 8 | b[2 * i + 1])
                                                              : (b[2 * i + 1] << 8 | b[2 * i]));
    } else if (available >= 3 * n / 2) {
      const uint64_t bytes = 3 * n / 2;
      _typebuf<uint8_t> packed(static_cast<int32_t>(bytes));
      if (!stream->ReadExact(packed.data, static_cast<uint32_t>(bytes))) return false;
      const eOlympusPacking p = samplesBigEndian_ ? kOlympusPackBig : kOlympusPackLittle;
      for (uint64_t i = 0; i + 1 < n && (i / 2 + 1) * 3 <= bytes; i += 2)
        UnpackOlympus12Row(packed.data + i / 2 * 3, 2, p, raw.data + i);
    } else {
      return false;
    }
    double t[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
      if (pattern_[i] > 3) return false;
      t[pattern_[i]] = levels_[i];
    }
    double r = t[0], g = t[1], b = t[2];
    double m = std::min({r, g, b});
    if (m == 0) r = g = b = m = 1.0;
    const double s = (65536.0 / 4095.0) / m;
    sCFAPattern pattern;
    pattern.Assign(2, 2, pattern_, 4);
    auto filter = CreateBayerFilter(pattern);
    if (!filter) return false;
    sRawDevelopParams params;
    params.red = s * r, params.green = s * g, params.blue = s * b;
    params.levelsFraction = 0.999;
    params.gamma = 2.2;
    return DevelopRaw(raw.data, raw.count, width_, height_, std::move(filter), params, stream, *this);
  });
}

bool cPictMRW::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  return RawGuarded([&] {
    if (!ReadDirectory(stream) || previewOffset_ == 0) return false;
    const uint64_t size = stream->GetSize();
    if (previewOffset_ >= size) return false;
    const uint64_t length = previewLength_ != 0 ? previewLength_ : size - previewOffset_;
    return LoadFittedJpegPreview(stream, previewOffset_, length, destination, width, height);
  });
}
