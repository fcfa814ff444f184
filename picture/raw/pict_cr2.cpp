// See header. The development steps (DevelopBayer, ConvertSRaw, PutRows16,
// the black-level measurement) are in pict_cr2_develop.cpp.
#include "picture/raw/pict_cr2.h"

#include <cstring>
#include <memory>
#include <vector>

#include "base/memio.h"
#include "base/utf8.h"
#include "picture/jpeg_raw_lossless.h"
#include "picture/pict_props.h"

namespace {

constexpr int32_t kPropMake = 3;
constexpr int32_t kPropMirror = 11;
constexpr int32_t kPropRotation = 12;
constexpr int32_t kPropMakerNote = 21;

bool StartsWithCanon(const char16_t* text, size_t length) {
  static const char kCanon[] = "CANON";
  if (text == nullptr || length < 5) return false;
  for (size_t i = 0; i < 5; ++i) {
    char16_t c = text[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != static_cast<char16_t>(kCanon[i])) return false;
  }
  return true;
}

size_t Length16(const char16_t* text) {
  size_t n = 0;
  if (text != nullptr)
    while (text[n] != 0) ++n;
  return n;
}

// From offset to the end of the stream.
uint64_t RestOf(cFileIOTarget* stream, uint64_t offset) {
  const uint64_t size = stream->GetSize();
  return size > offset ? size - offset : 0;
}

// The frame header of the lossless JPEG in window (the raw decoder answers
// an info parse through its frame-seen flag).
bool FrameSize(cFileIOTarget* window, int32_t& width, int32_t& height) {
  cRAWLosslessJpeg jpeg;
  jpeg.ReadInfo(window, nullptr);
  if (!jpeg.FrameSeen()) return false;
  width = jpeg.FrameWidth();
  height = jpeg.FrameHeight();
  return width > 0 && height > 0;
}

template <class F>
bool Guarded(F&& body) {
  try {
    return body();
  } catch (...) {
    return false;
  }
}

}  // namespace

// ---- Auxiliary readers ----

bool cCR2ExifProps::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  if (GetIfdKind() != kIfdExif || (tag != 40962 && tag != 40963)) return true;
  uint32_t value = 0;
  if (type == kTiffShort && size == 2 && data != nullptr)
    value = GetShort(data);
  else if (type == kTiffLong && size == 4 && data != nullptr)
    value = GetLong(data);
  else
    return false;
  (tag == 40962 ? pixelWidth : pixelHeight) = value;
  return true;
}

void cCR2DataProps::ResetRawInfo() {
  std::memset(slices, 0, sizeof(slices));
  stripOffset = 0;
  stripByteCount = 0;
}

bool cCR2DataProps::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  if (GetIfdKind() == kIfd0) {
    if (tag == 273 || tag == 279) {
      if ((type != kTiffLong && size != 4) || size < 4 || data == nullptr) return false;
      (tag == 273 ? stripOffset : stripByteCount) = GetLong(data);
    } else if (tag == 50752) {
      if ((type != kTiffShort && size != 6) || size < 6 || data == nullptr) return false;
      // The first three values count, whatever the entry's length.
      for (int32_t i = 0; i < 3; ++i) slices[i] = static_cast<uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
  }
  return cPictTIFF::OnTag(tag, type, data, size);
}

bool cCR2JpegProps::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  if (GetIfdKind() == kIfd0 && (tag == 513 || tag == 514)) {
    const sTiffEntry e{tag, type, data, size};
    if (!GetEntryInt(e, tag == 513 ? jpegOffset : jpegLength)) return false;
  }
  return cPictTIFF::OnTag(tag, type, data, size);
}

// ---- cPictCR2 ----

cPictCR2::cPictCR2() {
  InitCanonColorMatrices();
  InitCanonBorders();
}

bool cPictCR2::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictCR2 probe;
  return probe.ReadInfo(stream, info);
}

void cPictCR2::ResetPage() {
  makerNote_.Reset();
  exifProps_.pixelWidth = exifProps_.pixelHeight = 0;
  dataProps_.ResetRawInfo();
  modelName_.clear();
  borders_ = sCanonBorders{};
  srawMode_ = 0;
  cPictTIFF::ResetPage();
}

bool cPictCR2::IsPageSupported() {
  return makerNote_.sensorInfo[1] != 0 && makerNote_.sensorInfo[2] != 0 && exifProps_.pixelWidth != 0 &&
         exifProps_.pixelHeight != 0 && dataProps_.stripOffset != 0 && dataProps_.stripByteCount != 0 &&
         makerNote_.balance[0] != 0 && makerNote_.balance[1] != 0 && makerNote_.balance[2] != 0 &&
         makerNote_.modelId != 0 && !modelName_.empty();
}

bool cPictCR2::OldestValuesPresent() const {
  return exifProps_.pixelWidth != 0 && exifProps_.pixelHeight != 0 && dataProps_.stripOffset != 0 &&
         dataProps_.stripByteCount != 0 && makerNote_.modelId != 0 && !modelName_.empty() &&
         makerNote_.rawDataOffset != 0;
}

bool cPictCR2::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  if (GetIfdKind() == kIfd0) {
    if (tag == 272 && type == kTiffAscii && size > 0 && data != nullptr) {
      const char* text = reinterpret_cast<const char*>(data);
      const int32_t units = Utf8UnitCount(text, size);
      std::u16string wide(static_cast<size_t>(units > 0 ? units : 0), u'\0');
      if (units > 0) wide.resize(static_cast<size_t>(Utf8Decode(text, size, wide.data(), units)));
      size_t from = 0;
      if (StartsWithCanon(wide.data(), wide.size())) {
        from = 5;
        while (from < wide.size() && wide[from] == u' ') ++from;
      }
      if (from < wide.size()) modelName_ = wide.substr(from);
    } else if (tag == kIfdExif) {
      if (size != 4 && type != kTiffLong) return false;
      if (size < 4 || data == nullptr) return false;
      const uint64_t offset = GetLong(data);
      const uint64_t length = GetStream()->GetSize();
      if (offset >= length || offset + 2 > length) return false;
      if (!exifProps_.ReadIFD(this, GetStream(), kIfdExif, offset, IsBigEndian(), IsBigTiff(), kWholeStream))
        return false;
    } else if (tag == kNextIfdTag && size == 4 && data != nullptr) {
      // IFD1 is the JPEG interchange directory: its JPEG is the thumbnail
      // (property 13), the preview. A thumbnail that does not read leaves
      // the file as it is.
      if (!cPictTIFF::OnTag(tag, type, data, size)) return false;
      const uint64_t offset = GetLong(data);
      if (offset != 0 && !IsBeingWalked(offset)) {
        cExifDecoder thumbnail;
        thumbnail.SetDecodeThumbnail(GetDecodeThumbnail());
        thumbnail.SetParentWalk(this);
        thumbnail.ReadIFD(this, GetStream(), kIfd1, offset, IsBigEndian(), IsBigTiff(), kWholeStream);
      }
      return true;
    }
  }
  return cPictTIFF::OnTag(tag, type, data, size);
}

bool cPictCR2::ParseMain(cFileIOTarget* stream, uint64_t& ifd1) {
  if (stream == nullptr) return false;
  ResetPage();
  SetDecodeThumbnail(false);
  ResetExif(this, kIfd0);
  if (!cTiffGeneric::ReadHeader(stream, kWholeStream)) return false;
  cPictPropString* make = FindStringProp(kPropMake);
  if (make == nullptr || !StartsWithCanon(make->value.text, Length16(make->value.text))) return false;
  cPictProp* note = Props().Find(kPropMakerNote);
  if (note == nullptr || note->GetType() != kPropRaw) return false;
  const uint64_t at = static_cast<cPictPropRaw*>(note)->offset;
  if (at == 0) return false;
  if (!makerNote_.WalkIFD(stream, IsBigEndian(), IsBigTiff(), at & 0xFFFFFFFFu, kWholeStream)) return false;
  ifd1 = GetNextIFDOffset();
  return ifd1 != 0;
}

bool cPictCR2::WalkDataIfds(cFileIOTarget* stream, uint64_t ifd1, bool jpegIfd1) {
  uint64_t next = 0;
  if (jpegIfd1) {
    cCR2JpegProps first;
    if (!first.ReadIFD(&first, stream, kIfd0, ifd1, IsBigEndian(), IsBigTiff(), kWholeStream)) return false;
    next = first.GetNextIFDOffset();
  } else {
    cCR2SkipIFD first;
    if (!first.ReadIFD(&first, stream, kIfd0, ifd1, IsBigEndian(), IsBigTiff(), kWholeStream)) return false;
    next = first.GetNextIFDOffset();
  }
  if (next == 0) return false;
  cCR2SkipIFD second;
  if (!second.ReadIFD(&second, stream, kIfd0, next, IsBigEndian(), IsBigTiff(), kWholeStream)) return false;
  next = second.GetNextIFDOffset();
  if (next == 0) return false;
  return dataProps_.ReadIFD(&dataProps_, stream, kIfd0, next, IsBigEndian(), IsBigTiff(), kWholeStream);
}

bool cPictCR2::SlicesFit(uint32_t sensorWidth) const {
  const uint64_t count = dataProps_.slices[0], width = dataProps_.slices[1];
  const uint64_t last = dataProps_.slices[2] != 0 ? dataProps_.slices[2] : width;
  if (count == 0) return true;
  if (width == 0 || last == 0) return false;
  // Slice widths count JPEG samples, up to three per sensor column (sRAW):
  // the whole slices must lie inside the raster.
  return count * width <= uint64_t{sensorWidth} * 3;
}

bool cPictCR2::LookupColorMatrix(double matrix[9], uint16_t& black, uint16_t& white) const {
  return LookupCanonColorMatrix(makerNote_.modelId, matrix, black, white);
}

bool cPictCR2::LookupBorders() { return LookupCanonBorders(makerNote_.modelId, borders_); }

bool cPictCR2::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return Guarded([&] {
    uint64_t ifd1 = 0;
    if (!ParseMain(stream, ifd1)) return false;
    int64_t width = 0, height = 0;
    bool preview = false;
    if (IsOldest()) {
      if (!dataProps_.ReadIFD(&dataProps_, stream, kIfd0, ifd1, IsBigEndian(), IsBigTiff(), kWholeStream))
        return false;
      if (!OldestValuesPresent()) return false;
      cFileIOSubRange window(stream, makerNote_.rawDataOffset, RestOf(stream, makerNote_.rawDataOffset));
      int32_t fw = 0, fh = 0;
      if (!window.IsOpen() || !FrameSize(&window, fw, fh)) return false;
      sensorWidth_ = static_cast<uint32_t>(fw);
      sensorHeight_ = static_cast<uint32_t>(fh);
      LookupBorders();
      width = int64_t{fw} - borders_.left - borders_.right;
      height = 2 * int64_t{fh} - borders_.top - borders_.bottom;
    } else {
      if (!WalkDataIfds(stream, ifd1, false) || !IsPageSupported()) return false;
      sensorWidth_ = makerNote_.sensorInfo[1];
      sensorHeight_ = makerNote_.sensorInfo[2];
      if (!SlicesFit(sensorWidth_)) return false;
      cFileIOSubRange window(stream, dataProps_.stripOffset, dataProps_.stripByteCount);
      if (!window.IsOpen()) return false;
      int32_t fw = 0, fh = 0;
      if (!FrameSize(&window, fw, fh)) return false;
      LookupBorders();
      width = int64_t{sensorWidth_} - borders_.left - borders_.right;
      height = int64_t{sensorHeight_} - borders_.top - borders_.bottom;
      preview = GetOrAddProp(kPropIdThumbnail, false) != nullptr;
    }
    if (width <= 0 || height <= 0) return false;
    if (info != nullptr) {
      info->width = static_cast<int32_t>(width);
      info->height = static_cast<int32_t>(height);
      info->hasPreview = preview;
    }
    return true;
  });
}

bool cPictCR2::DecodeRaw(cFileIOTarget* stream, sTiffStripData& sd) {
  uint64_t ifd1 = 0;
  if (!ParseMain(stream, ifd1)) return false;
  std::unique_ptr<cFileIOSubRange> window;
  uint32_t sensorWidth = 0, sensorHeight = 0;
  if (IsOldest()) {
    if (!dataProps_.ReadIFD(&dataProps_, stream, kIfd0, ifd1, IsBigEndian(), IsBigTiff(), kWholeStream))
      return false;
    if (!OldestValuesPresent()) return false;
    window = std::make_unique<cFileIOSubRange>(stream, makerNote_.rawDataOffset,
                                               RestOf(stream, makerNote_.rawDataOffset));
    int32_t fw = 0, fh = 0;
    if (!window->IsOpen() || !FrameSize(window.get(), fw, fh) || fw > 0x7FFF) return false;
    sensorWidth = 2 * static_cast<uint32_t>(fw);
    sensorHeight = static_cast<uint32_t>(fh);
    window->Seek(0);
  } else {
    if (!WalkDataIfds(stream, ifd1, true)) return false;
    for (int32_t id : {kPropMirror, kPropRotation})
      if (Props().Find(id) == nullptr)
        if (auto* p = static_cast<cPictPropInt*>(GetOrAddProp(id, true))) p->value = 0;
    if (!IsPageSupported()) return false;
    sensorWidth = makerNote_.sensorInfo[1];
    sensorHeight = makerNote_.sensorInfo[2];
    window = std::make_unique<cFileIOSubRange>(stream, dataProps_.stripOffset, dataProps_.stripByteCount);
    if (!window->IsOpen()) return false;
  }
  if (!SlicesFit(sensorWidth)) return false;
  cRAWLosslessJpeg jpeg;
  jpeg.SetSliceLayout(sensorWidth, sensorHeight, dataProps_.slices[0], dataProps_.slices[1], dataProps_.slices[2]);
  if (!jpeg.Decode(window.get())) return false;
  srawMode_ = jpeg.RasterMode();
  bits_ = jpeg.Precision();
  if (!jpeg.TakeOutput(raster_)) return false;
  std::memcpy(patternColours_, "\x00\x01\x01\x02", 4);
  LookupBorders();
  if (IsOldest()) {
    sensorWidth = static_cast<uint16_t>(sensorWidth / 2);
    sensorHeight = static_cast<uint16_t>(sensorHeight * 2);
    std::memcpy(patternColours_, "\x01\x00\x02\x01", 4);
    if (makerNote_.balance[0] == 0) {
      makerNote_.balance[0] = makerNote_.oldBalance[0];
      makerNote_.balance[1] = makerNote_.oldBalance[1];
      makerNote_.balance[2] = makerNote_.oldBalance[2];
      makerNote_.balance[3] = makerNote_.oldBalance[3];
    }
  }
  sensorWidth_ = sensorWidth;
  sensorHeight_ = sensorHeight;
  int64_t width = sensorWidth, height = sensorHeight;
  const int64_t valuesPerPixel = srawMode_ == 0 ? 1 : 3;
  if (srawMode_ == 0) {
    width -= int64_t{borders_.left} + borders_.right;
    height -= int64_t{borders_.top} + borders_.bottom;
  }
  if (width <= 0 || height <= 0) return false;
  // The raster must hold every row the development reads.
  if (int64_t{raster_.count} < int64_t{sensorWidth} * sensorHeight * valuesPerPixel) return false;
  sd.bytesPerRow = static_cast<int32_t>(2 * valuesPerPixel * sensorWidth);
  sd.samplesPerPixel = static_cast<int32_t>(valuesPerPixel);
  sd.bitsPerSample = bits_;
  sd.rows = static_cast<int32_t>(sensorHeight);
  pictureWidth_ = static_cast<int32_t>(width);
  pictureHeight_ = static_cast<int32_t>(height);
  return true;
}

bool cPictCR2::Load(cFileIOTarget* stream) {
  return Guarded([&] {
    sTiffStripData sd;
    source_ = stream;
    // Sensor samples are developed into a picture of their own size; sRAW
    // allocates its pixels in PutRows16.
    const bool ok = DecodeRaw(stream, sd) && PutRows16(0, sd);
    source_ = nullptr;
    raster_.Reset();
    return ok;
  });
}

bool cPictCR2::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                               int32_t index, bool allowFullDecode, uint32_t) {
  // The frame's fitted loader, always on white.
  return Guarded([&] {
    return cPictBase::LoadImageFitted(stream, destination, maxWidth, maxHeight, index, allowFullDecode, 0xFFFFFF);
  });
}

uint16_t cPictCR2::MeasureBlackLevel(const sTiffStripData&) const {
  const uint16_t* info = makerNote_.sensorInfo;
  // The area comes from the file: keep it inside the raster.
  const uint64_t pitch = sensorWidth_;
  const uint64_t rows = pitch == 0 ? 0 : static_cast<uint64_t>(raster_.count) / pitch;
  const uint64_t rowEnd = info[12] < rows ? info[12] : rows;
  const uint64_t columnEnd = info[11] < pitch ? info[11] : pitch;
  uint32_t sum[4] = {}, count[4] = {};
  for (uint64_t r = info[10]; r < rowEnd; ++r)
    for (uint64_t c = info[9]; c < columnEnd; ++c) {
      const int32_t bucket = static_cast<int32_t>(2 * (r % 2) + (c % 2));
      sum[bucket] += raster_.data[r * pitch + c];
      ++count[bucket];
    }
  uint32_t average[4], total = 0;
  for (int32_t b = 0; b < 4; ++b) {
    average[b] = count[b] == 0 ? 0 : sum[b] / count[b];
    total += average[b];
  }
  const uint32_t level = (total & 0xFFFF) / 4;
  if (makerNote_.maskSynthesised)
    for (uint32_t a : average)
      if ((a > level ? a - level : level - a) > 20) return 0;
  return static_cast<uint16_t>(level);
}

bool cPictCR2::ConvertSRaw(const sTiffStripData& sd, bool bottomUp) {
  const int32_t width = GetWidth(), height = GetHeight();
  if (width <= 0 || height <= 0 || !HasPixels() || !IsHighDepth()) return false;
  if (int64_t{raster_.count} < int64_t{width} * height * 3) return false;
  if (sd.bitsPerSample < 1 || sd.bitsPerSample > 16) return false;
  static constexpr uint32_t kScaledChroma[] = {0x80000218, 0x80000250, 0x80000261, 0x80000281, 0x80000287};
  bool scaledChroma = false;
  for (uint32_t id : kScaledChroma) scaledChroma |= id == makerNote_.modelId;
  const bool lowerLuma = makerNote_.modelId < 0x80000218u;
  const double scale = 65535.0 / static_cast<double>((1u << sd.bitsPerSample) - 1);
  auto clamp = [scale](int32_t v) -> uint64_t {
    const double x = v * scale;
    return x <= 0 ? 0 : (x >= 65535.0 ? 65535 : static_cast<uint64_t>(x));
  };
  uint64_t* out = Pixels64().data;
  for (int32_t i = 0; i < height; ++i) {
    uint16_t* row = raster_.data + static_cast<int64_t>(i) * width * 3;
    uint64_t* target = out + static_cast<int64_t>(bottomUp ? height - 1 - i : i) * width;
    for (int32_t j = 0; j < width; ++j) {
      uint16_t* p = row + 3 * j;
      int32_t r, g, b;
      if (scaledChroma) {
        p[1] = static_cast<uint16_t>(p[1] << 2);
        p[2] = static_cast<uint16_t>(p[2] << 2);
        const int32_t y = static_cast<int16_t>(p[0]), cb = static_cast<int16_t>(p[1]), cr = static_cast<int16_t>(p[2]);
        r = y + ((50 * cb + 22929 * cr) >> 14);
        g = y + ((-5640 * cb - 11751 * cr) >> 14);
        b = y + ((29040 * cb - 101 * cr) >> 14);
      } else {
        if (lowerLuma) p[0] = static_cast<uint16_t>(p[0] - 512);
        const int32_t y = static_cast<int16_t>(p[0]), cb = static_cast<int16_t>(p[1]), cr = static_cast<int16_t>(p[2]);
        r = y + cr;
        g = y + ((-778 * cb - 2048 * cr) >> 12);
        b = y + cb;
      }
      target[j] = clamp(b) | (clamp(g) << 16) | (clamp(r) << 32) | (uint64_t{0xFFFF} << 48);
    }
  }
  return true;
}

bool cPictCR2::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t&, int32_t&) {
  return Guarded([&] {
    if (stream == nullptr || destination == nullptr) return false;
    ResetPage();
    SetDecodeThumbnail(true);
    ResetExif(this, kIfd0);
    if (!cTiffGeneric::ReadHeader(stream, kWholeStream)) return false;
    cPictPropImage* p = FindThumbnailProp();
    if (p == nullptr || p->GetPicture() == nullptr || !p->GetPicture()->HasPixels()) return false;
    destination->TakePixels(p->GetPicture());
    return destination->HasPixels();
  });
}
