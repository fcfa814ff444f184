// See pict_orf.h.
#include "picture/raw/pict_orf.h"

#include <algorithm>
#include <cstring>

#include "base/memio.h"
#include "picture/pict_area.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_olympus.h"
#include "picture/raw/raw_preview.h"

namespace {

// A nested directory walk (EXIF, maker note) that hands its entries to the
// decoder. Chained to its parent walker so cycles and depth are bounded.
class cOrfNestedWalker : public cTiffGeneric {
public:
  cOrfNestedWalker(cPictORF& owner, const cTiffGeneric& parent, bool makerNote, uint32_t base)
      : owner_(owner), makerNote_(makerNote), base_(base) {
    SetParentWalk(&parent);
  }
  bool OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t at) override {
    return owner_.HandleEntry(*this, makerNote_, base_, tag, type, data, size, at);
  }
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override {
    return owner_.HandleTag(*this, makerNote_, base_, tag, type, data, size);
  }

private:
  cPictORF& owner_;
  bool makerNote_;
  uint32_t base_;
};

// The maker note's image-processing directory: white balance and black.
class cExtORFProps : public cTiffGeneric {
public:
  explicit cExtORFProps(uint32_t base) : base_(base) {}
  double red = 0, blue = 0;
  uint32_t black = 0;

  bool OnEntry(uint32_t tag, uint32_t, const uint8_t* data, int32_t size, uint64_t at) override {
    if (tag != 256 && tag != 1536) return true;
    uint8_t v[8];
    if (size == 8) {
      if (at < base_ || !GetStream()->Seek(at - base_) || !GetStream()->ReadExact(v, 8)) return false;
    } else if (size == 4 && data != nullptr && tag == 256) {
      memcpy(v, data, 4);
    } else {
      return tag != 1536;  // the walk ends at 1536 whatever its length
    }
    if (tag == 256) {
      red = GetShort(v) / 256.0;
      blue = GetShort(v + 2) / 256.0;
      return true;
    }
    black = std::max({GetShort(v), GetShort(v + 2), GetShort(v + 4), GetShort(v + 6)});
    return false;
  }

private:
  uint32_t base_;
};

struct sOrfModel {
  const char* bytes;
  int32_t least;
  bool exact;
  int32_t left, right, top;
  bool words;
};

const sOrfModel kModels[] = {
    {"E-P1 ", 5, false, 0, 4, 0, false},   {"E-P2 ", 5, false, 0, 4, 0, false},
    {"E-PL1 ", 6, false, 0, 4, 0, false},  {"E-330 ", 6, false, 0, 30, 0, false},
    {"E-300 ", 6, false, 0, 24, 0, false}, {"E-500 ", 6, false, 0, 24, 0, false},
    {"E-P3 ", 5, false, 0, 24, 0, false},  {"E-PM1 ", 6, false, 0, 24, 0, false},
    {"E-30 ", 5, false, 1, 4, 1, false},   {"E-5 ", 4, false, 1, 4, 1, false},
    {"E-600 ", 6, false, 1, 4, 1, false},  {"E-620 ", 6, false, 1, 4, 1, false},
    {"SP500UZ", 8, true, 0, 0, 1, false},  {"TG-5", 4, false, 1, 23, 0, false},
    {"TG-6", 4, false, 1, 23, 0, false},   {"E-1 ", 4, false, 1, 0, 0, false},
    {"TG-4", 4, false, 1, 0, 0, false},    {"C5050Z", 7, true, 1, 0, 1, false},
    {"C8080WZ", 8, true, 1, 0, 1, false},  {"E-M1 ", 5, false, 1, 0, 1, false},
    {"SP570UZ", 7, false, 1, 0, 1, false}, {"XZ-10", 5, false, 0, 0, 0, true},
    {"XZ-2", 4, false, 0, 0, 0, true},     {"SH-2", 4, false, 1, 0, 0, true},
};

void CapWhite(const cRawDevelopContext& context, uint32_t&, uint32_t& white, void* user) {
  const double ratio = *static_cast<double*>(user);
  const uint32_t cap = static_cast<uint32_t>(static_cast<int64_t>(context.maxSample * ratio + 0.5));
  if (cap < white) white = cap;
}

}  // namespace

bool cPictORF::Detect(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    cPictORF probe;
    return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
  });
}

void cPictORF::Reset() {
  width_ = height_ = 0;
  bits_ = photometric_ = 0;
  stripOffsets_.Reset();
  stripCounts_.Reset();
  rowsPerStrip_ = 0;
  for (double& l : levels_) l = 1.0;
  crop_ = sRawBorders{};
  black_ = 0;
  previewOffset_ = previewLength_ = 0;
  interlace_ = bePacking_ = wordPacking_ = false;
}

bool cPictORF::ReadHeader(cFileIOTarget* stream, uint64_t length) {
  SetError(kTiffOk);
  if (stream == nullptr) return Fail(kTiffNoStream);
  if (length < 8 || length == kWholeStream) return Fail(kTiffBeyondLength);
  uint8_t h[8];
  if (!stream->Seek(0) || !stream->ReadExact(h, 8)) return Fail(kTiffReadFailed);
  bool be;
  if (h[0] == 'I' && h[1] == 'I') be = false;
  else if (h[0] == 'M' && h[1] == 'M') be = true;
  else return Fail(kTiffBadHeader);
  const uint32_t magic = be ? (h[2] << 8 | h[3]) : (h[3] << 8 | h[2]);
  const uint32_t first = be ? (static_cast<uint32_t>(h[4]) << 24 | h[5] << 16 | h[6] << 8 | h[7])
                            : (static_cast<uint32_t>(h[7]) << 24 | h[6] << 16 | h[5] << 8 | h[4]);
  if ((magic != 0x4F52 && magic != 0x5352) || first < 8) return Fail(kTiffBadHeader);
  return WalkIFD(stream, be, false, first, length);
}

bool cPictORF::OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) {
  return HandleEntry(*this, false, 0, tag, type, data, size, valueOffset);
}

bool cPictORF::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  return HandleTag(*this, false, 0, tag, type, data, size);
}

void cPictORF::ApplyModel(const uint8_t* data, int32_t size) {
  for (const sOrfModel& m : kModels) {
    const int32_t n = static_cast<int32_t>(strlen(m.bytes)) + (m.exact ? 1 : 0);
    if (size < m.least || size < n || memcmp(data, m.bytes, static_cast<size_t>(n)) != 0) continue;
    crop_.left = m.left;
    crop_.right = m.right;
    crop_.top = m.top;
    if (m.words) wordPacking_ = true;
    return;
  }
}

bool cPictORF::MakerNote(cTiffGeneric& walker, int32_t size, uint64_t at) {
  uint8_t h[12];
  cFileIOTarget* file = walker.GetStream();
  if (size < 12 || !file->Seek(at) || !file->ReadExact(h, 12)) return false;
  const bool be = walker.IsBigEndian();
  if (memcmp(h, "OLYMP\0", 6) == 0) {
    cOrfNestedWalker mn(*this, walker, true, 0);
    if (mn.IsBeingWalked(at + 8)) return false;
    return mn.WalkIFD(file, be, false, at + 8, walker.GetLength());
  }
  uint32_t base;
  if (memcmp(h, "OLYMPUS\0", 8) == 0) base = 12;
  else if (memcmp(h, "OM SYSTEM\0", 10) == 0) base = 16;
  else return false;
  if (static_cast<uint64_t>(size) <= base) return false;
  cFileIOSubRange window(file, at + base, static_cast<uint64_t>(size) - base);
  cOrfNestedWalker mn(*this, walker, true, base);
  const uint32_t before = previewOffset_;
  previewOffset_ = 0;
  const bool ok = mn.WalkIFD(&window, be, false, 0, window.GetSize());
  if (previewOffset_ != 0) previewOffset_ += static_cast<uint32_t>(at);
  else previewOffset_ = before;
  return ok;
}

bool cPictORF::HandleEntry(cTiffGeneric& walker, bool makerNote, uint32_t base, uint32_t tag, uint32_t type,
                           const uint8_t* data, int32_t size, uint64_t valueOffset) {
  if (makerNote) {
    if (tag == 256) {
      previewOffset_ = static_cast<uint32_t>(valueOffset);
      previewLength_ = static_cast<uint32_t>(size);
      return true;
    }
    if (tag == 8256 && size != 4) return true;
  } else if (tag == 37500) {
    if (data != nullptr) return false;  // a maker note inline holds no header
    return MakerNote(walker, size, valueOffset);
  }
  (void)base;
  return walker.cTiffGeneric::OnEntry(tag, type, data, size, valueOffset);
}

bool cPictORF::HandleTag(cTiffGeneric& walker, bool makerNote, uint32_t base, uint32_t tag, uint32_t type,
                         const uint8_t* data, int32_t size) {
  const sTiffEntry e{tag, type, data, size};
  int32_t v = 0;
  if (makerNote) {
    switch (tag) {
      case 4119:
      case 4120: {
        uint16_t s = 0;
        if (type != kTiffShort || size < 2 || !walker.GetEntryShort(e, s)) return false;
        levels_[tag == 4119 ? 0 : 2] = s / 256.0;
        return true;
      }
      case 8256: {
        if (!walker.GetEntryInt(e, v) || v == 0) return false;
        const uint32_t at = static_cast<uint32_t>(v);
        if (at < base) return true;
        cExtORFProps props(base);
        props.SetParentWalk(&walker);
        if (!props.IsBeingWalked(at - base))
          props.WalkIFD(walker.GetStream(), walker.IsBigEndian(), false, at - base, walker.GetLength());
        if (props.red != 0 && props.blue != 0) {
          levels_[0] = props.red;
          levels_[2] = props.blue;
          black_ = props.black;
        }
        return true;
      }
      default: return true;
    }
  }
  switch (tag) {
    case 256:
    case 257:
      if (!walker.GetEntryInt(e, v) || v <= 0) return false;
      (tag == 256 ? width_ : height_) = v;
      return true;
    case 258:
      if (!walker.GetEntryInt(e, v) || v < 1 || v > 16) return false;
      bits_ = static_cast<uint32_t>(v);
      return true;
    case 262:
      if (!walker.GetEntryInt(e, v)) return false;
      photometric_ = static_cast<uint32_t>(v);
      return true;
    case 272:
      if (bits_ == 12) {
        bePacking_ = true;
        if (photometric_ == 2) interlace_ = true;
      } else if (bits_ == 16 && walker.IsBigEndian()) {
        bePacking_ = true;
      }
      if (data != nullptr) ApplyModel(data, size);
      return true;
    case 273: return walker.GetEntryInts(e, stripOffsets_);
    case 279: return walker.GetEntryInts(e, stripCounts_);
    case 278:
      if (!walker.GetEntryInt(e, v) || v == 0) return false;
      rowsPerStrip_ = static_cast<uint32_t>(v);
      return true;
    case 34665: {
      if (!walker.GetEntryInt(e, v) || v == 0) return false;
      cOrfNestedWalker exif(*this, walker, false, 0);
      const uint64_t at = static_cast<uint32_t>(v);
      if (exif.IsBeingWalked(at)) return false;  // a cycle or too deep
      return exif.WalkIFD(walker.GetStream(), walker.IsBigEndian(), false, at, walker.GetLength());
    }
    default: return true;
  }
}

bool cPictORF::Walk(cFileIOTarget* stream) {
  Reset();
  if (stream == nullptr) return false;
  streamSize_ = stream->GetSize();
  if (!ReadHeader(stream, streamSize_)) return false;
  return width_ > 0 && height_ > 0 && stripOffsets_.count > 0 && stripOffsets_.count == stripCounts_.count;
}

bool cPictORF::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!Walk(stream)) return false;
    if (info != nullptr) {
      info->width = width_ - crop_.left - crop_.right;
      info->height = height_ - crop_.top - crop_.bottom;
      info->hasPreview = previewOffset_ != 0 && previewLength_ != 0;
    }
    return true;
  });
}

bool cPictORF::Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raw) {
  const int32_t strips = stripOffsets_.count;
  if (rowsPerStrip_ == 0) {
    if (strips != 1) return false;
    rowsPerStrip_ = static_cast<uint32_t>(height_);
  }
  if (strips == 1 && stripCounts_.data[0] == 0) {
    if (stripOffsets_.data[0] == 0 || stripOffsets_.data[0] >= streamSize_) return false;
    stripCounts_.data[0] = static_cast<uint32_t>(std::min<uint64_t>(streamSize_ - stripOffsets_.data[0], 0xFFFFFFFFu));
  }
  int64_t count = 0;
  if (!pict_area::CheckedArea(width_, height_, 1, count)) return false;
  raw.Reallocate(static_cast<int32_t>(count));
  memset(raw.data, 0, static_cast<size_t>(count) * sizeof(uint16_t));
  const int64_t target = interlace_ ? (height_ + 1) / 2 : height_;
  const int64_t step = interlace_ ? 2 : 1;
  int64_t rowsDone = 0, rasterRow = 0;
  for (int32_t n = 0; n < strips; ++n) {
    int64_t rows = rowsPerStrip_;
    int64_t startRow = rasterRow;
    if (rowsDone + rows >= target) {
      rows = target - rowsDone;
      rasterRow = 1;  // the odd rows follow
      rowsDone = 1;
      if (rows <= 0) continue;
    } else {
      rowsDone += rows;
      rasterRow += rows * step;
    }
    const uint64_t y = stripCounts_.data[n], off = stripOffsets_.data[n];
    if (off > streamSize_ || y > streamSize_ - off) return false;
    if (y > 0x7FFFFFFF) return false;
    _typebuf<uint8_t> bytes(static_cast<int32_t>(y));
    if (y && (!stream->Seek(off) || !stream->ReadExact(bytes.data, static_cast<uint32_t>(y)))) return false;
    const uint64_t v = static_cast<uint64_t>(width_) * static_cast<uint64_t>(rows);
    // Rows that would fall outside the raster are not decoded.
    auto rowAt = [&](int64_t i) -> uint16_t* {
      const int64_t r = startRow + i * step;
      return r < height_ ? raw.data + r * width_ : nullptr;
    };
    if (2 * y == 3 * v) {
      const eOlympusPacking p = wordPacking_ ? kOlympusPackWords : (bePacking_ ? kOlympusPackBig : kOlympusPackLittle);
      const uint64_t rowBytes = OlympusPackedRowBytes(width_, p);
      for (int64_t i = 0; i < rows && static_cast<uint64_t>(i + 1) * rowBytes <= y; ++i)
        if (uint16_t* out = rowAt(i)) UnpackOlympus12Row(bytes.data + i * rowBytes, width_, p, out);
    } else if (y == 2 * v) {
      const uint8_t* b = bytes.data;
      for (int64_t i = 0; i < rows; ++i) {
        uint16_t* out = rowAt(i);
        for (int32_t x = 0; x < width_; ++x, b += 2)
          if (out) out[x] = static_cast<uint16_t>(bePacking_ ? (b[0] << 8 | b[1]) : (b[1] << 8 | b[0]));
      }
    } else if (y == 8 * v / 5) {
      const uint64_t pairs = (static_cast<uint64_t>(width_) + 1) / 2;
      const uint64_t rowBytes = 3 * pairs + pairs / 5;
      for (int64_t i = 0; i < rows && static_cast<uint64_t>(i) * rowBytes < y; ++i)
        if (uint16_t* out = rowAt(i))
          UnpackOlympusFillerRow(bytes.data + i * rowBytes, y - i * rowBytes, width_, bePacking_, out);
    } else {
      const int64_t fit = std::min<int64_t>(rows, height_ - startRow);
      if (fit <= 0) continue;
      if (!DecodeOlympusStrip(bytes.data, static_cast<size_t>(y), width_, static_cast<int32_t>(fit),
                              raw.data + startRow * width_, static_cast<size_t>(width_)))
        return false;
    }
  }
  return true;
}

bool cPictORF::Load(cFileIOTarget* stream) {
  return RawGuarded([&] {
    if (!Walk(stream)) return false;
    _typebuf<uint16_t> raw;
    if (!Unpack(stream, raw)) return false;
    double r = levels_[0], g = levels_[1], b = levels_[2];
    if (r == 0) {
      r = g = b = 1.0;
    } else {
      g /= r, b /= r, r = 1.0;
    }
    double ratio = std::min({1.0, g, b}) / std::max({1.0, g, b});
    sRawDevelopParams params;
    params.hasBorders = true;
    params.borders = crop_;
    params.black = static_cast<int32_t>(black_);
    params.red = r, params.green = g, params.blue = b;
    params.levelsFraction = 0.999;
    params.gamma = 2.2;
    params.adjustLevels = &CapWhite;
    params.adjustUser = &ratio;
    return DevelopRaw(raw.data, raw.count, width_, height_, std::make_unique<cStdCFAFilter>(), params, stream,
                      *this);
  });
}

bool cPictORF::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  return RawGuarded([&] {
    Reset();
    if (stream == nullptr || !ReadHeader(stream, stream->GetSize())) return false;
    if (previewOffset_ == 0 || previewLength_ == 0) return false;
    return LoadFittedJpegPreview(stream, previewOffset_, previewLength_, destination, width, height);
  });
}
