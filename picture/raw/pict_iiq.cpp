// See pict_iiq.h.
#include "picture/raw/pict_iiq.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/memio.h"
#include "picture/pict_area.h"
#include "picture/pict_tiff.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_phaseone.h"
#include "picture/raw/raw_preview.h"

namespace {

// Margins from the file can be any 32-bit values: their differences are
// formed in 64 bits and clamped, and the frame check refuses what does not fit.
int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// What the margins leave of a side, as the frame check sees it: a negative
// margin leaves nothing (the load refuses it), and the 64-bit difference
// never wraps into a size.
int32_t FrameSide(int32_t side, int32_t before, int32_t after) {
  if (before < 0 || after < 0) return 0;
  return ClampToInt32(std::max<int64_t>(0, static_cast<int64_t>(side) - before - after));
}

uint32_t Le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

const uint8_t kMarker[8] = {'I', 'I', 'I', 'I', 'C', 'w', 'a', 'R'};

// Where the TIFF begins: after the ZIP local header of a stored "0.II..."
// entry, else at 0.
uint64_t TiffStart(cFileIOTarget* stream) {
  uint8_t h[34];
  if (!stream->Seek(0) || !stream->ReadExact(h, 34)) return ~uint64_t{0};
  const bool zip = memcmp(h, "PK\3\4", 4) == 0 && h[8] == 0 && h[9] == 0 && h[30] == '0' && h[31] == '.' &&
                   (h[32] == 'I' || h[32] == 'i') && (h[33] == 'I' || h[33] == 'i');
  return zip ? 39 : 0;
}

}  // namespace

bool cPictIIQ::Detect(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    cPictIIQ probe;
    return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
  });
}

void cPictIIQ::Reset() {
  width_ = height_ = 0;
  format_ = black_ = 0;
  splitColumn_ = splitRow_ = 0;
  columnBlackAt_ = rowBlackAt_ = 0;
  margins_ = sRawBorders{};
  rowOffsetsAt_ = 0;
  dataOffset_ = dataSize_ = 0;
  for (double& l : levels_) l = 1.0;
  wrappedStart_ = 0;
}

bool cPictIIQ::ReadDirectory(cFileIOTarget* stream) {
  Reset();
  if (stream == nullptr) return false;
  uint64_t base = 0, dir = 0;
  uint8_t h[59];
  if (stream->Seek(8) && stream->ReadExact(h, 12) && memcmp(h, kMarker, 8) == 0) {
    base = 8;
    dir = Le32(h + 8);
  } else {
    if (!stream->Seek(0) || !stream->ReadExact(h, 59)) return false;
    if (memcmp(h, "PK\3\4", 4) != 0 || h[8] != 0 || h[9] != 0 || memcmp(h + 30, "0.II", 4) != 0 ||
        memcmp(h + 47, kMarker, 8) != 0)
      return false;
    base = 47;
    dir = Le32(h + 55);
    wrappedStart_ = 39;
  }
  const uint64_t size = stream->GetSize();
  uint8_t c[4];
  if (!stream->Seek(base + dir) || !stream->ReadExact(c, 4)) return false;
  const uint64_t count = Le32(c);
  if (count > size / 16) return false;  // more entries than the file holds
  for (uint64_t i = 0; i < count; ++i) {
    uint8_t e[16];
    if (!stream->Seek(base + dir + 8 + 16 * i) || !stream->ReadExact(e, 16)) return false;
    const uint32_t tag = Le32(e), length = Le32(e + 8), value = Le32(e + 12);
    const int32_t v = static_cast<int32_t>(value);
    const uint32_t at = static_cast<uint32_t>(value + base);
    switch (tag) {
      case 263:
        if (length >= 12) {
          uint8_t f[12];
          if (stream->Seek(value + base) && stream->ReadExact(f, 12)) {
            for (int k = 0; k < 3; ++k) {
              float x;
              const uint32_t bits = Le32(f + 4 * k);
              memcpy(&x, &bits, 4);
              levels_[k] = x;
            }
          }
        }
        break;
      case 264: width_ = v; break;
      case 265: height_ = v; break;
      case 266: margins_.left = v; break;
      case 267: margins_.top = v; break;
      case 268:
        if (static_cast<int64_t>(v) < static_cast<int64_t>(width_) - margins_.left)
          margins_.right = ClampToInt32(static_cast<int64_t>(width_) - margins_.left - v);
        break;
      case 269:
        if (static_cast<int64_t>(v) < static_cast<int64_t>(height_) - margins_.top)
          margins_.bottom = ClampToInt32(static_cast<int64_t>(height_) - margins_.top - v);
        break;
      case 270: format_ = v; break;
      case 271: dataOffset_ = at, dataSize_ = length; break;
      case 540: rowOffsetsAt_ = at; break;
      case 541: black_ = v; break;
      case 546: splitColumn_ = v; break;
      case 547: columnBlackAt_ = at; break;
      case 548: splitRow_ = v; break;
      case 549: rowBlackAt_ = at; break;
      default: break;
    }
  }
  return width_ > 0 && height_ > 0 && dataOffset_ != 0 && dataSize_ != 0;
}

bool cPictIIQ::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!ReadDirectory(stream)) return false;
    if (info != nullptr) {
      info->width = FrameSide(width_, margins_.left, margins_.right);
      info->height = FrameSide(height_, margins_.top, margins_.bottom);
      cFileIOSubRange window(stream, wrappedStart_, stream->GetSize() - wrappedStart_);
      info->hasPreview = cPictTIFF::ReadTIFFInfo(&window, nullptr);
    }
    return true;
  });
}

bool cPictIIQ::Load(cFileIOTarget* stream) {
  return RawGuarded([&] {
    if (!ReadDirectory(stream) || format_ < 3) return false;
    int64_t count = 0;
    if (!pict_area::CheckedArea(width_, height_, 1, count)) return false;
    const uint64_t size = stream->GetSize();
    if (dataOffset_ > size || dataSize_ > size - dataOffset_ || dataSize_ > 0x7FFFFFFF) return false;
    _typebuf<uint16_t> raw(static_cast<int32_t>(count));
    _typebuf<uint32_t> rows(height_);
    if (!stream->Seek(rowOffsetsAt_) || !stream->ReadExact(rows.data, static_cast<uint32_t>(4 * height_))) return false;
    _typebuf<int16_t> cb, rb;
    auto readTable = [&](uint32_t at, int32_t n, _typebuf<int16_t>& t) {
      t.Reallocate(n);
      if (!stream->Seek(at) || !stream->ReadExact(t.data, static_cast<uint32_t>(2 * n))) return false;
      for (int32_t i = 0; i < n; ++i) {
        const uint8_t* b = reinterpret_cast<const uint8_t*>(t.data + i);
        t.data[i] = static_cast<int16_t>(b[0] | b[1] << 8);
      }
      return true;
    };
    if (columnBlackAt_ && !readTable(columnBlackAt_, 2 * height_, cb)) return false;
    if (rowBlackAt_ && !readTable(rowBlackAt_, 2 * width_, rb)) return false;
    _typebuf<uint8_t> data(static_cast<int32_t>(dataSize_));
    if (!stream->Seek(dataOffset_) || !stream->ReadExact(data.data, dataSize_)) return false;
    uint16_t curve[256];
    BuildIiqCurve(curve);
    sIiqBlack black;
    black.black = black_;
    black.splitColumn = splitColumn_;
    black.splitRow = splitRow_;
    black.rowBlack = rb.count ? rb.data : nullptr;
    black.columnBlack = cb.count ? cb.data : nullptr;
    black.width = width_;
    black.height = height_;
    black.format = format_;
    for (int32_t y = 0; y < height_; ++y) {
      const uint32_t off = Le32(reinterpret_cast<const uint8_t*>(rows.data + y));
      if (off > dataSize_) return false;
      uint16_t* row = raw.data + static_cast<int64_t>(y) * width_;
      if (!DecodeIiqRow(data.data + off, dataSize_ - off, width_, row)) return false;
      for (int32_t x = 0; x < width_; ++x) row[x] = IiqSample(black, curve, y, x, row[x]);
    }
    sRawDevelopParams params;
    params.hasBorders = true;  // the shared border check refuses margins that leave nothing
    params.borders = margins_;
    params.red = levels_[0], params.green = levels_[1], params.blue = levels_[2];
    params.levelsFraction = 0.999;
    params.gamma = 2.2;
    return DevelopRaw(raw.data, raw.count, width_, height_, std::make_unique<cStdCFAFilter>(), params, stream,
                      *this);
  });
}

bool cPictIIQ::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  return RawGuarded([&] {
    if (stream == nullptr) return false;
    const uint64_t start = TiffStart(stream);
    if (start == ~uint64_t{0}) return false;
    cFileIOSubRange window(stream, start, stream->GetSize() - start);
    cPictTIFF tiff;
    if (!window.Seek(0) || !tiff.Load(&window)) return false;
    return FitRawPreview(tiff, destination, width, height);
  });
}
