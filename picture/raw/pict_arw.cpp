// See pict_arw.h.
#include "picture/raw/pict_arw.h"

#include <algorithm>
#include <cstring>

#include "base/memio.h"
#include "picture/raw/raw_child_walk.h"
#include "picture/raw/raw_develop.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_preview.h"
#include "picture/raw/raw_tiff_util.h"

namespace {

// SR2 private data larger than this is refused (cameras write a few KB).
constexpr uint32_t kMaxSr2Length = 16u << 20;

}  // namespace

bool cARWExtProps::OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) {
  (void)type;
  if (tag != 29459 || size != 8) return true;
  if (data != nullptr || valueOffset < base_) return false;
  const uint64_t at = valueOffset - base_;
  cFileIOTarget* s = GetStream();
  uint8_t v[8];
  if (s == nullptr || !s->Seek(at) || !s->ReadExact(v, 8)) return false;
  for (int i = 0; i < 4; ++i) levels[i] = GetShort(v + 2 * i);
  found = true;
  return true;
}

cPictARW::cPictARW() { Reset(); }

void cPictARW::Reset() {
  width0_ = height0_ = 0;
  bitsPerSample_ = compression_ = samplesPerPixel_ = 0;
  stripOffsets_.Reset();
  stripByteCounts_.Reset();
  subIfds_.Reset();
  rowsPerStrip_ = 0;
  cfaPattern_.Clear();
  patternRows_ = patternColumns_ = 0;
  previewOffset_ = previewLength_ = 0;
  for (double& l : levels_) l = 1.0;
  model_ = sSonyModelConstants{};
  sr2Key_ = sr2Length_ = sr2Offset_ = 0;
  visited_.clear();
}

bool cPictARW::MarkVisited(uint64_t offset) {
  if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) return false;
  visited_.push_back(offset);
  return true;
}

bool cPictARW::OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) {
  return HandleEntry(*this, tag, type, data, size, valueOffset);
}

bool cPictARW::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  return HandleTag(*this, tag, type, data, size);
}

bool cPictARW::HandleEntry(cTiffGeneric& w, uint32_t tag, uint32_t type, const uint8_t* data, int32_t size,
                           uint64_t valueOffset) {
  if (tag == 29264) {
    // The block behind the tag is never read into memory: only its offset.
    uint32_t v;
    if (data != nullptr) {
      if (size != 4) return true;
      v = w.GetLong(data);
    } else {
      if (valueOffset > 0xFFFFFFFFu) return true;
      v = static_cast<uint32_t>(valueOffset);
    }
    PrivateData(w, v);
    return true;
  }
  if (&w == this) return cTiffGeneric::OnEntry(tag, type, data, size, valueOffset);
  return static_cast<cRawChildWalk<cPictARW>&>(w).DefaultEntry(tag, type, data, size, valueOffset);
}

void cPictARW::PrivateData(cTiffGeneric& w, uint32_t v) {
  if (ParseSonyMrm(w.GetStream(), v, levels_)) return;
  WalkChildIfd(*this, w, v);  // its result is ignored
}

bool cPictARW::ReadSr2(cTiffGeneric& w) {
  if (sr2Offset_ == 0 || sr2Length_ == 0 || sr2Key_ == 0) return true;
  if (sr2Length_ > kMaxSr2Length) return false;
  std::vector<uint8_t> buf;
  if (!RawReadWindow(w.GetStream(), sr2Offset_, sr2Length_, buf)) return false;
  SonySr2Crypt(buf.data(), static_cast<uint32_t>(buf.size()), sr2Key_);
  cBufWrapperIO io(buf.data(), static_cast<uint32_t>(buf.size()));
  cARWExtProps ext(sr2Offset_);
  if (ext.WalkIFD(&io, w.IsBigEndian(), false, 0, buf.size()) && ext.found)
    for (int i = 0; i < 4; ++i) levels_[i] = ext.levels[i];
  return true;
}

bool cPictARW::HandleTag(cTiffGeneric& w, uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  const sTiffEntry e{tag, type, data, size};
  int32_t v = 0;
  switch (tag) {
    case 256:
    case 257:
      if (!RawFirstInt(w, type, data, size, v) || v <= 0) return false;
      (tag == 256 ? width0_ : height0_) = v;
      return true;
    case 258:
      if (!RawFirstInt(w, type, data, size, v) || v < 1 || v > 16) return false;
      bitsPerSample_ = static_cast<uint32_t>(v);
      if (model_.levels14 && v < 14) {
        model_.black >>= 14 - v;
        model_.white >>= 14 - v;
        model_.levels14 = false;
      }
      return true;
    case 259:
      if (!RawFirstInt(w, type, data, size, v)) return false;
      compression_ = static_cast<uint32_t>(v);
      return true;
    case 271: return data != nullptr && size >= 4 && std::memcmp(data, "SONY", 4) == 0;
    case 272: ApplySonyModel(data, size, model_); return true;
    case 273: return w.GetEntryInts(e, stripOffsets_) && stripOffsets_.count > 0;
    case 277:
    case 278:
      if (!RawFirstInt(w, type, data, size, v) || v == 0) return false;
      (tag == 277 ? samplesPerPixel_ : rowsPerStrip_) = static_cast<uint32_t>(v);
      return true;
    case 279: return w.GetEntryInts(e, stripByteCounts_) && stripByteCounts_.count == stripOffsets_.count;
    case 330: return type != kTiffIfd && w.GetEntryInts(e, subIfds_) && subIfds_.count > 0;
    case 513:
    case 514:
      if (!RawFirstInt(w, type, data, size, v)) return false;
      (tag == 513 ? previewOffset_ : previewLength_) = static_cast<uint32_t>(v);
      return true;
    case 29184:
    case 29185:
      if (!RawFirstInt(w, type, data, size, v)) return false;
      (tag == 29184 ? sr2Offset_ : sr2Length_) = static_cast<uint32_t>(v);
      return true;
    case 29217:
      if (data == nullptr || size != 4) return false;
      sr2Key_ = w.GetLong(data);
      return true;
    case 50740:
      if (data != nullptr && size == 4) PrivateData(w, w.GetLong(data));
      return true;
    case 29265: return ReadSr2(w);
    case 33421: {
      _typebuf<uint16_t> s;
      if (type != kTiffShort || !w.GetEntryShorts(e, s) || s.count != 2 || s.data[0] == 0 || s.data[1] == 0)
        return false;
      patternColumns_ = s.data[0];
      patternRows_ = s.data[1];
      return true;
    }
    case 33422:
      if (cfaPattern_.Present()) return true;
      if (data == nullptr || size != static_cast<int64_t>(patternRows_) * patternColumns_ || size == 0) return false;
      return cfaPattern_.Assign(patternRows_, patternColumns_, data, size);
    case 34665:
      if (!RawFirstInt(w, type, data, size, v) || v == 0) return false;
      return WalkChildIfd(*this, w, static_cast<uint32_t>(v));
    case 41730: {
      if (data == nullptr || size <= 4) return false;
      const uint16_t cols = static_cast<uint16_t>(w.GetShort(data) & 0xFF);
      const uint16_t rows = static_cast<uint16_t>(w.GetShort(data + 2) & 0xFF);
      if (static_cast<int32_t>(rows) * cols != size - 4) return false;
      return cfaPattern_.Assign(rows, cols, data + 4, size - 4);
    }
    case 50706: return false;
    default: return true;
  }
}

bool cPictARW::WalkAll(cFileIOTarget* stream) {
  Reset();
  if (stream == nullptr || !stream->Seek(0) || !ReadHeader(stream, kWholeStream)) return false;
  if (subIfds_.count < 1) return false;
  if (model_.a100) {
    height0_ += 8;
    bitsPerSample_ = 12;
    return width0_ > 0 && height0_ > 8;
  }
  const uint32_t sub = subIfds_.data[0];
  if (!MarkVisited(sub) || !WalkIFD(stream, IsBigEndian(), false, sub, kWholeStream)) return false;
  return width0_ > 0 && height0_ > 0 && bitsPerSample_ > 0 && stripOffsets_.count > 0 && cfaPattern_.Present();
}

bool cPictARW::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!WalkAll(stream)) return false;
    if (info != nullptr) {
      info->width = width0_;
      info->height = height0_;
      info->hasPreview = previewOffset_ != 0;
    }
    return true;
  });
}

bool cPictARW::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictARW probe;
  return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
}

bool cPictARW::Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raster) {
  const int64_t total = int64_t{width0_} * height0_;
  if (total <= 0 || total > kRawMaxSamples) return false;
  if (stripByteCounts_.count == 0) {
    if (stripOffsets_.count != 1) return false;
    const uint64_t size = stream->GetSize();
    if (stripOffsets_.data[0] > size) return false;
    stripByteCounts_.Reallocate(1);
    stripByteCounts_.data[0] = static_cast<uint32_t>(std::min<uint64_t>(size - stripOffsets_.data[0], 0xFFFFFFFFu));
  }
  raster.Reallocate(static_cast<int32_t>(total));
  std::memset(raster.data, 0, static_cast<size_t>(total) * 2);
  const int64_t rps = rowsPerStrip_ > 0 ? rowsPerStrip_ : height0_;
  const bool be = IsBigEndian();
  std::vector<uint8_t> bytes;
  int64_t row = 0;
  for (int32_t i = 0; i < stripOffsets_.count && i < stripByteCounts_.count; ++i) {
    if (row >= height0_) break;
    const int32_t rows = static_cast<int32_t>(std::min<int64_t>(rps, height0_ - row));
    const uint64_t y = stripByteCounts_.data[i];
    const int64_t n = int64_t{width0_} * rows;
    uint16_t* out = raster.data + row * width0_;
    if (!RawReadWindow(stream, stripOffsets_.data[i], y, bytes)) return false;
    const int64_t ys = static_cast<int64_t>(y);
    if (compression_ == 1) {
      if (ys != n * 2 || !SonyPlain16(bytes.data(), ys, width0_, rows, model_.levels14, out)) return false;
    } else if (compression_ == 32767) {
      bool ok;
      if (ys == (3 * n) / 2)
        ok = SonyPacked12(bytes.data(), ys, width0_, rows, be, out);
      else if (ys == n)
        ok = SonyDecodeArw2(bytes.data(), ys, width0_, rows, be, out);
      else
        ok = SonyDecodeArw1(bytes.data(), ys, width0_, rows, out);
      if (!ok) return false;
    } else {
      return false;
    }
    row += rows;
  }
  return true;
}

bool cPictARW::Load(cFileIOTarget* stream) {
  return RawGuarded([&] {
    if (!WalkAll(stream)) return false;
    if (model_.a100) {
      stripOffsets_.Reallocate(1);
      stripOffsets_.data[0] = subIfds_.data[0];
      // IFD0's byte counts belong to its own picture, not to the sensor.
      stripByteCounts_.Reset();
      const uint8_t p[4] = {0, 1, 1, 2};
      cfaPattern_.Assign(2, 2, p, 4);
      compression_ = 32767;
    }
    double R = 1, G = 1, B = 1;
    if (cfaPattern_.count == 4) {
      double t[4] = {0, 0, 0, 0};
      for (int i = 0; i < 4; ++i) {
        const uint8_t c = cfaPattern_.colours.data[i];
        if (c > 3) return false;
        t[c] = levels_[i];
      }
      R = t[0];
      G = t[1];
      B = t[2];
    }
    if (R == 1.0 && B == 1.0) {
      R = 1.4;
      B = 1.1;
      G = 1.0;
    }
    R *= model_.red;
    G *= model_.green;
    B *= model_.blue;
    double m = std::min({R, G, B});
    if (m == 0) R = G = B = m = 1;
    _typebuf<uint16_t> raster;
    if (!Unpack(stream, raster)) return false;
    const uint32_t bits = bitsPerSample_ == 8 ? 12 : bitsPerSample_;
    const uint32_t white = model_.white != 0 ? model_.white : (1u << bits) - 1;
    const double s = 65536.0 / white / m;
    sRawDevelopParams p;
    p.black = static_cast<int32_t>(model_.black);
    p.red = s * R;
    p.green = s * G;
    p.blue = s * B;
    p.hasBorders = true;
    p.borders.right = model_.rightCrop;
    p.gamma = model_.gamma;
    return DevelopRaw(raster.data, raster.count, width0_, height0_, CreateBayerFilter(cfaPattern_), p, stream, *this);
  });
}

bool cPictARW::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  const int32_t maxW = width, maxH = height;
  return RawGuarded([&] {
    Reset();
    if (destination == nullptr || stream == nullptr || !stream->Seek(0) || !ReadHeader(stream, kWholeStream))
      return false;
    if (GetNextIFDOffset() == 0 || previewOffset_ == 0 || previewLength_ == 0) return false;
    return LoadFittedJpegPreview(stream, previewOffset_, previewLength_, destination, maxW, maxH);
  });
}
