// See pict_pef.h.
#include "picture/raw/pict_pef.h"

#include <algorithm>
#include <cstring>

#include "picture/raw/raw_child_walk.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_pentax.h"
#include "picture/raw/raw_preview.h"
#include "picture/raw/raw_sony.h"
#include "picture/raw/raw_tiff_util.h"


void cPefMeta::Reset() {
  for (double& m : multipliers) m = 1.0;
  huffman.assign(kPentaxTableSize, 0);
  cropOrigin.Reset();
  cropSize.Reset();
  skipTable544 = false;
}

bool cPefMeta::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  const sTiffEntry e{tag, type, data, size};
  switch (tag) {
    case 0x38: return GetEntryInts(e, cropOrigin);
    case 0x39: return GetEntryInts(e, cropSize);
    case 0x201: {
      _typebuf<uint32_t> v;
      if (!GetEntryInts(e, v)) return false;
      if (v.count == 4 && v.data[1] != 0 && v.data[0] != 0 && v.data[3] != 0) {
        multipliers[0] = static_cast<double>(v.data[0]) / v.data[1];
        multipliers[2] = static_cast<double>(v.data[3]) / v.data[1];
      }
      return true;
    }
    case 0x220:
      if (skipTable544) return true;
      [[fallthrough]];
    case 0x22a:
      if (huffman.size() != static_cast<size_t>(kPentaxTableSize)) huffman.assign(kPentaxTableSize, 0);
      return BuildPentaxHuffman(data, size, tag == 0x22a, IsBigEndian(), huffman.data());
    default: return true;
  }
}

cPictPEF::cPictPEF() { Reset(); }

void cPictPEF::Reset() {
  width0_ = height0_ = 0;
  bitsPerSample_ = compression_ = samplesPerPixel_ = 0;
  stripOffsets_.Reset();
  stripByteCounts_.Reset();
  rowsPerStrip_ = 0;
  cfaPattern_.Clear();
  borders_ = sRawBorders{};
  previewOffset_ = previewLength_ = 0;
  ricoh_ = false;
  meta_.Reset();
  visited_.clear();
}

bool cPictPEF::MarkVisited(uint64_t offset) {
  if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) return false;
  visited_.push_back(offset);
  return true;
}

bool cPictPEF::OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) {
  return HandleEntry(*this, tag, type, data, size, valueOffset);
}

bool cPictPEF::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  return HandleTag(*this, tag, type, data, size);
}

bool cPictPEF::HandleEntry(cTiffGeneric& w, uint32_t tag, uint32_t type, const uint8_t* data, int32_t size,
                           uint64_t valueOffset) {
  if (tag == 37500) {
    // The maker note is an IFD of its own; an inline one has none.
    if (data != nullptr) return true;
    meta_.skipTable544 = ricoh_;
    const uint64_t at = valueOffset + (ricoh_ ? 10 : 6);
    if (w.IsBeingWalked(at) || !MarkVisited(at)) return false;
    return meta_.WalkIFD(w.GetStream(), w.IsBigEndian(), false, at, w.GetLength());
  }
  if (&w == this) return cTiffGeneric::OnEntry(tag, type, data, size, valueOffset);
  return static_cast<cRawChildWalk<cPictPEF>&>(w).DefaultEntry(tag, type, data, size, valueOffset);
}

bool cPictPEF::HandleTag(cTiffGeneric& w, uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  const sTiffEntry e{tag, type, data, size};
  int32_t v = 0;
  switch (tag) {
    case 256:
    case 257:
      if (!RawFirstInt(w, type, data, size, v) || v <= 0) return false;
      (tag == 256 ? width0_ : height0_) = v;
      return true;
    case 258: return RawFirstInt(w, type, data, size, bitsPerSample_) && bitsPerSample_ >= 1 && bitsPerSample_ <= 16;
    case 259: return RawFirstInt(w, type, data, size, compression_);
    case 271:
      if (data == nullptr || size < 6) return false;
      if (std::memcmp(data, "RICOH ", 6) == 0) {
        ricoh_ = true;
        return true;
      }
      return std::memcmp(data, "PENTAX", 6) == 0;
    case 273: return w.GetEntryInts(e, stripOffsets_) && stripOffsets_.count > 0;
    case 277: return RawFirstInt(w, type, data, size, samplesPerPixel_) && samplesPerPixel_ != 0;
    case 278: return RawFirstInt(w, type, data, size, rowsPerStrip_) && rowsPerStrip_ != 0;
    case 279: return w.GetEntryInts(e, stripByteCounts_) && stripByteCounts_.count == stripOffsets_.count;
    case 513:
    case 514:
      if (!RawFirstInt(w, type, data, size, v)) return false;
      (tag == 513 ? previewOffset_ : previewLength_) = static_cast<uint32_t>(v);
      return true;
    case 34665: {
      if (!RawFirstInt(w, type, data, size, v) || v == 0) return false;
      return WalkChildIfd(*this, w, static_cast<uint32_t>(v));
    }
    case 41730: {
      if (data == nullptr || size <= 4) return false;
      const uint32_t a = w.GetShort(data), b = w.GetShort(data + 2);
      uint32_t cols = a & 0xFF, rows = b & 0xFF;
      if (cols == 0 && rows == 0) {
        cols = a >> 8;
        rows = b >> 8;
      }
      if (static_cast<int64_t>(cols) * rows + 4 != size) return false;
      return cfaPattern_.Assign(static_cast<uint16_t>(rows), static_cast<uint16_t>(cols), data + 4, size - 4);
    }
    case 50706: return false;
    default: return true;
  }
}

bool cPictPEF::Walk(cFileIOTarget* stream) {
  Reset();
  if (stream == nullptr || !stream->Seek(0)) return false;
  return ReadHeader(stream, kWholeStream);
}

bool cPictPEF::Usable() const {
  return width0_ > 0 && height0_ > 0 && bitsPerSample_ > 0 && stripOffsets_.count > 0 && cfaPattern_.Present();
}

bool cPictPEF::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!Walk(stream) || !Usable()) return false;
    if (info != nullptr) {
      if (meta_.cropSize.count == 2) {
        info->width = static_cast<int32_t>(meta_.cropSize.data[0]);
        info->height = static_cast<int32_t>(meta_.cropSize.data[1]);
      } else {
        info->width = width0_;
        info->height = height0_;
      }
      info->hasPreview = GetNextIFDOffset() != 0;
    }
    return true;
  });
}

bool cPictPEF::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictPEF probe;
  return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
}

bool cPictPEF::Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raster) {
  const int64_t total = int64_t{width0_} * height0_;
  if (total > kRawMaxSamples) return false;
  // Every coding here takes at least one bit a sample: a file too small for
  // that cannot hold the sensor, and no raster is set up for it.
  if (total > 8 * static_cast<int64_t>(std::min<uint64_t>(stream->GetSize(), kRawMaxSamples))) return false;
  if (stripByteCounts_.count == 0) {
    if (stripOffsets_.count != 1) return false;
    const uint64_t size = stream->GetSize();
    if (stripOffsets_.data[0] > size) return false;
    stripByteCounts_.Reallocate(1);
    stripByteCounts_.data[0] = static_cast<uint32_t>(std::min<uint64_t>(size - stripOffsets_.data[0], 0xFFFFFFFFu));
  }
  raster.Reallocate(static_cast<int32_t>(total));
  std::memset(raster.data, 0, static_cast<size_t>(total) * 2);
  const int32_t rps = rowsPerStrip_ > 0 ? rowsPerStrip_ : height0_;
  const bool be = IsBigEndian();
  std::vector<uint8_t> bytes;
  for (int32_t k = 0; k < stripOffsets_.count; ++k) {
    const int64_t first = int64_t{k} * rps;
    // More strips than rows: the rest lie past the picture.
    if (first >= height0_) break;
    const int32_t rows = static_cast<int32_t>(std::min<int64_t>(rps, height0_ - first));
    const uint64_t count = stripByteCounts_.data[k];
    uint16_t* out = raster.data + first * width0_;
    const int64_t n = int64_t{width0_} * rows;
    if (!RawReadWindow(stream, stripOffsets_.data[k], count, bytes)) return false;
    switch (compression_) {
      case 1:
        if (static_cast<int64_t>(count) != n * 2) return false;
        if (!SonyPlain16(bytes.data(), static_cast<int64_t>(count), width0_, rows, !be, out)) return false;
        break;
      case 32773:
        if (bitsPerSample_ != 12 || n != (2 * static_cast<int64_t>(count)) / 3) return false;
        // A count one or two bytes above the packing is allowed; only the
        // packed bytes are read.
        if (!SonyPacked12(bytes.data(), (3 * n) / 2, width0_, rows, be, out)) return false;
        break;
      case 65535:
        if (meta_.huffman.empty() || meta_.huffman[0] == 0) return false;
        if (!DecodePentaxHuffman(bytes.data(), static_cast<int64_t>(count), width0_, rows, bitsPerSample_,
                                 meta_.huffman.data(), out))
          return false;
        break;
      default: return false;
    }
  }
  return true;
}

bool cPictPEF::Load(cFileIOTarget* stream) {
  return RawGuarded([&] {
    if (!Walk(stream) || !Usable()) return false;
    if (meta_.cropOrigin.count == 2) {
      borders_.left = static_cast<int32_t>(meta_.cropOrigin.data[0] + (meta_.cropOrigin.data[0] & 1));
      borders_.top = static_cast<int32_t>(meta_.cropOrigin.data[1] - (meta_.cropOrigin.data[1] & 1));
    }
    if (meta_.cropSize.count == 2) {
      const uint32_t w = static_cast<uint32_t>(width0_), h = static_cast<uint32_t>(height0_);
      const uint32_t l = static_cast<uint32_t>(borders_.left), t = static_cast<uint32_t>(borders_.top);
      if (w - l > meta_.cropSize.data[0]) borders_.right = static_cast<int32_t>(w - meta_.cropSize.data[0] - l);
      if (h - t > meta_.cropSize.data[1]) borders_.bottom = static_cast<int32_t>(h - meta_.cropSize.data[1] - t);
    }
    _typebuf<uint16_t> raster;
    if (!Unpack(stream, raster)) return false;
    const double scale = 65535.0 / static_cast<double>((1u << bitsPerSample_) - 1);
    sRawDevelopParams p;
    p.hasBorders = true;
    p.borders = borders_;
    p.red = scale * meta_.multipliers[0];
    p.green = scale * meta_.multipliers[1];
    p.blue = scale * meta_.multipliers[2];
    return DevelopRaw(raster.data, raster.count, width0_, height0_, CreateBayerFilter(cfaPattern_), p, stream, *this);
  });
}

bool cPictPEF::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  const int32_t maxW = width, maxH = height;
  return RawGuarded([&] {
    if (destination == nullptr || !Walk(stream)) return false;
    const uint32_t next = GetNextIFDOffset();
    if (next == 0) return false;
    if (!MarkVisited(next) || !WalkIFD(stream, IsBigEndian(), IsBigTiff(), next, kWholeStream)) return false;
    if (previewOffset_ == 0 || previewLength_ == 0) return false;
    return LoadFittedJpegPreview(stream, previewOffset_, previewLength_, destination, maxW, maxH);
  });
}
