// See pict_srw.h.
#include "picture/raw/pict_srw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "picture/raw/raw_develop.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_preview.h"
#include "picture/raw/raw_sony.h"
#include "picture/raw/raw_tiff_util.h"

namespace {

// The white level found is capped at half the largest raw sample, rounded.
void CapWhite(const cRawDevelopContext& ctx, uint32_t& black, uint32_t& white, void*) {
  (void)black;
  const uint32_t cap = static_cast<uint32_t>(std::trunc(ctx.maxSample * 0.5 + 0.5));
  if (white > cap) white = cap;
}

}  // namespace

cPictSRW::cPictSRW() { Reset(); }

void cPictSRW::Reset() {
  subIfds_.Reset();
  width0_ = height0_ = 0;
  bitsPerSample_ = compression_ = samplesPerPixel_ = 0;
  stripOffsets_.Reset();
  stripByteCounts_.Reset();
  rowsPerStrip_ = 0;
  cfaPattern_.Clear();
  patternRows_ = patternColumns_ = 0;
  model_ = sSamsungModel{};
  rowTable_ = 0;
  previewOffset_ = previewLength_ = 0;
}

bool cPictSRW::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  const sTiffEntry e{tag, type, data, size};
  int32_t v = 0;
  switch (tag) {
    case 256:
    case 257:
      if (!RawFirstInt(*this, type, data, size, v) || v <= 0) return false;
      (tag == 256 ? width0_ : height0_) = v;
      return true;
    case 258:
      if (!RawFirstInt(*this, type, data, size, v) || v < 1 || v > 16) return false;
      bitsPerSample_ = static_cast<uint32_t>(v);
      return true;
    case 259:
      if (!RawFirstInt(*this, type, data, size, v)) return false;
      compression_ = static_cast<uint32_t>(v);
      return true;
    case 271: return data != nullptr && size >= 7 && std::memcmp(data, "SAMSUNG", 7) == 0;
    case 272: ApplySamsungModel(data, size, model_); return true;
    case 273: return GetEntryInts(e, stripOffsets_) && stripOffsets_.count > 0;
    case 277:
    case 278:
      if (!RawFirstInt(*this, type, data, size, v) || v == 0) return false;
      (tag == 277 ? samplesPerPixel_ : rowsPerStrip_) = static_cast<uint32_t>(v);
      return true;
    case 279: return GetEntryInts(e, stripByteCounts_) && stripByteCounts_.count == stripOffsets_.count;
    case 330: return GetEntryInts(e, subIfds_) && subIfds_.count > 0;
    case 513:
    case 514:
      if (!RawFirstInt(*this, type, data, size, v)) return false;
      (tag == 513 ? previewOffset_ : previewLength_) = static_cast<uint32_t>(v);
      return true;
    case 33421: {
      _typebuf<uint16_t> s;
      if (type != kTiffShort || !GetEntryShorts(e, s) || s.count != 2 || s.data[0] == 0 || s.data[1] == 0)
        return false;
      patternColumns_ = s.data[0];
      patternRows_ = s.data[1];
      return true;
    }
    case 33422: {
      if (cfaPattern_.Present()) return true;
      if (data == nullptr || size == 0 || size != static_cast<int64_t>(patternRows_) * patternColumns_) return false;
      static const uint8_t kFixed[4] = {1, 0, 2, 1};
      if (model_.fixedPattern) return size == 4 && cfaPattern_.Assign(patternRows_, patternColumns_, kFixed, 4);
      return cfaPattern_.Assign(patternRows_, patternColumns_, data, size);
    }
    case 40976:
      if (!RawFirstInt(*this, type, data, size, v)) return false;
      rowTable_ = static_cast<uint32_t>(v);
      return true;
    case 50706: return false;
    default: return true;
  }
}

bool cPictSRW::WalkHeader(cFileIOTarget* stream) {
  Reset();
  if (stream == nullptr || !stream->Seek(0) || !ReadHeader(stream, kWholeStream)) return false;
  return subIfds_.count == 2;
}

bool cPictSRW::WalkSub(cFileIOTarget* stream, int32_t index) {
  const uint32_t at = subIfds_.data[index];
  if (IsBeingWalked(at)) return false;
  return WalkIFD(stream, IsBigEndian(), false, at, kWholeStream);
}

bool cPictSRW::ChooseRaw(cFileIOTarget* stream) {
  if (!WalkHeader(stream)) return false;
  if (!WalkSub(stream, 1)) return false;
  if (!cfaPattern_.Present() && (subIfds_.data[0] == subIfds_.data[1] || !WalkSub(stream, 0))) return false;
  return width0_ > 0 && height0_ > 0 && bitsPerSample_ > 0 && stripOffsets_.count > 0 && cfaPattern_.Present();
}

bool cPictSRW::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!ChooseRaw(stream)) return false;
    if (info != nullptr) {
      info->width = width0_;
      info->height = height0_;
      info->hasPreview = true;
    }
    return true;
  });
}

bool cPictSRW::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictSRW probe;
  return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
}

bool cPictSRW::Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raster) {
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
  sSamsungRaster rs{raster.data, width0_, height0_};
  const int64_t rps = rowsPerStrip_ > 0 ? rowsPerStrip_ : height0_;
  std::vector<uint8_t> bytes;
  int64_t row = 0;
  for (int32_t i = 0; i < stripOffsets_.count; ++i) {
    if (row >= height0_) break;
    const int32_t rows = static_cast<int32_t>(std::min<int64_t>(rps, height0_ - row));
    const int64_t y = stripByteCounts_.data[i];
    const int64_t n = int64_t{width0_} * rows;
    uint16_t* out = raster.data + row * width0_;
    if (!RawReadWindow(stream, stripOffsets_.data[i], static_cast<uint64_t>(y), bytes)) return false;
    bool ok = false;
    if (compression_ == 32769 || compression_ == 32770) {
      if (y == n * 2) {
        ok = SonyPlain16(bytes.data(), y, width0_, rows, true, out);
      } else if ((2 * y) / 3 == n) {
        ok = SonyPacked12(bytes.data(), (3 * n) / 2, width0_, rows, model_.bigEndianPacking, out);
      } else if (rowTable_ != 0) {
        std::vector<uint8_t> table;
        const uint64_t at = uint64_t{rowTable_} + static_cast<uint64_t>(i) * static_cast<uint64_t>(rps) * 4;
        if (!RawReadWindow(stream, at, static_cast<uint64_t>(rows) * 4, table)) return false;
        std::vector<uint32_t> offsets(static_cast<size_t>(rows));
        for (int32_t r = 0; r < rows; ++r)
          offsets[r] = uint32_t{table[4 * r]} | uint32_t{table[4 * r + 1]} << 8 | uint32_t{table[4 * r + 2]} << 16 |
                       uint32_t{table[4 * r + 3]} << 24;
        ok = SamsungDecodeRowOffset(bytes.data(), y, offsets.data(), rs, static_cast<int32_t>(row), rows);
      }
    } else if (compression_ == 32772) {
      ok = SamsungDecodeHuffman(bytes.data(), y, rs, static_cast<int32_t>(row), rows,
                                static_cast<int32_t>(bitsPerSample_));
    } else if (compression_ == 32773) {
      ok = SamsungDecodeBlocks(bytes.data(), y, rs, static_cast<int32_t>(row), rows);
    }
    if (!ok) return false;
    row += rows;
  }
  return true;
}

bool cPictSRW::Load(cFileIOTarget* stream) {
  return RawGuarded([&] {
    if (!ChooseRaw(stream)) return false;
    _typebuf<uint16_t> raster;
    if (!Unpack(stream, raster)) return false;
    sRawDevelopParams p;
    p.red = 2.0;
    p.green = 1.0;
    p.blue = 1.5;
    p.hasBorders = true;
    p.borders.left = model_.left;
    p.borders.right = model_.right;
    p.borders.top = model_.top;
    p.borders.bottom = model_.bottom;
    p.adjustLevels = &CapWhite;
    return DevelopRaw(raster.data, raster.count, width0_, height0_, CreateBayerFilter(cfaPattern_), p, stream, *this);
  });
}

bool cPictSRW::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  const int32_t maxW = width, maxH = height;
  return RawGuarded([&] {
    if (destination == nullptr || !WalkHeader(stream)) return false;
    if (!WalkSub(stream, 0)) return false;
    if (cfaPattern_.Present() && subIfds_.data[1] != subIfds_.data[0] && !WalkSub(stream, 1)) return false;
    if (previewOffset_ == 0 || previewLength_ == 0) return false;
    return LoadFittedJpegPreview(stream, previewOffset_, previewLength_, destination, maxW, maxH);
  });
}
