// See pict_tiff_ep.h.
#include "picture/raw/pict_tiff_ep.h"

#include <cstring>

#include "picture/raw/raw_develop.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_preview.h"

bool cPictTIFF_EP::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  const sTiffEntry e{tag, type, data, size};
  if (!rawIFD_ && tag == 37398) {
    if (type == kTiffByte) {
      if (size != 4 || data == nullptr) return false;
      epStandardId_ = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                      static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    } else {
      _typebuf<uint32_t> v;
      if (!GetEntryInts(e, v) || v.count < 1) return false;
      epStandardId_ = v.data[0];
    }
  }
  if (rawIFD_ && tag == 33421) {
    _typebuf<uint32_t> v;
    if (!GetEntryInts(e, v) || v.count != 2 || v.data[0] > 0xFFFF || v.data[1] > 0xFFFF) return false;
    patternRows_ = static_cast<uint16_t>(v.data[0]);
    patternColumns_ = static_cast<uint16_t>(v.data[1]);
  }
  if (rawIFD_ && tag == 33422) {
    _typebuf<uint8_t> bytes;
    if (!CopyEntryBytes(e, bytes) || bytes.count != static_cast<int32_t>(patternRows_) * patternColumns_) return false;
    if (!cfaPattern_.Assign(patternRows_, patternColumns_, bytes.data, bytes.count)) return false;
  }
  return cPictTIFF::OnTag(tag, type, data, size);
}

void cPictTIFF_EP::ResetPage() {
  cPictTIFF::ResetPage();
  epStandardId_ = 0;
  rawIFD_ = false;
  cfaPattern_.Clear();
  patternRows_ = patternColumns_ = 0;
}

bool cPictTIFF_EP::WalkMain(cFileIOTarget* stream) {
  ResetPage();
  mainSubIfds_.Reset();
  if (stream == nullptr || !stream->Seek(0)) return false;
  SetDecodeThumbnail(false);
  ResetExif(this, kIfd0);
  if (!cTiffGeneric::ReadHeader(stream, kWholeStream)) return false;
  mainSubIfds_.Reallocate(subIfds_.count);
  if (subIfds_.count > 0) std::memcpy(mainSubIfds_.data, subIfds_.data, static_cast<size_t>(subIfds_.count) * 4);
  return epStandardId_ != 0 && mainSubIfds_.count > 0;
}

bool cPictTIFF_EP::WalkSensor(cFileIOTarget* stream, int32_t index) {
  if (index < 0 || index >= mainSubIfds_.count) return false;
  const uint32_t id = epStandardId_;
  ResetPage();
  epStandardId_ = id;
  rawIFD_ = true;
  const uint64_t size = stream->GetSize();
  const uint32_t offset = mainSubIfds_.data[index];
  if (offset >= size) return false;
  return ReadIFD(this, stream, kIfd0, offset, IsBigEndian(), IsBigTiff(), kWholeStream) && IsPageSupported();
}

bool cPictTIFF_EP::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!WalkMain(stream)) return false;
    const bool preview = IsPageSupported();
    if (!WalkSensor(stream, 0)) return false;
    if (info != nullptr) {
      info->width = FindIntProp(18)->value & ~3;
      info->height = FindIntProp(19)->value;
      info->hasPreview = preview;
    }
    return true;
  });
}

bool cPictTIFF_EP::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictTIFF_EP probe;
  return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
}

int32_t cPictTIFF_EP::GetImageCount(cFileIOTarget* stream) {
  int32_t n = 0;
  RawGuarded([&] {
    WalkMain(stream);
    n = epStandardId_ != 0 ? mainSubIfds_.count : 0;
    return true;
  });
  return n;
}

bool cPictTIFF_EP::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  if (index < 0) return false;
  return RawGuarded([&] {
    if (!WalkMain(stream) || !WalkSensor(stream, index)) return false;
    return PageSensorSize(width, height);
  });
}

bool cPictTIFF_EP::LoadImage(cFileIOTarget* stream, int32_t index) {
  if (index < 0) return false;
  return RawGuarded([&] {
    if (!WalkMain(stream) || !WalkSensor(stream, index)) return false;
    if (samplesPerPixel_ == 1 && cfaPattern_.Present() && sampleFormat_ <= 1) return DecodeCfa(stream);
    return DecodeWidenedPage(stream);
  });
}

bool cPictTIFF_EP::DecodeCfa(cFileIOTarget* stream) {
  sRawSensorLayout L;
  _typebuf<uint32_t> counts;
  if (!PageSensorLayout(L, counts, true)) return false;
  L.eightBitShifted = false;
  _typebuf<uint16_t> raster;
  int32_t rw = 0;
  if (!reader_.Read(stream, L, raster, rw)) return false;
  sRawDevelopParams p;
  p.saturation = 1.5;
  return DevelopRaw(raster.data, raster.count, rw, L.height, CreateBayerFilter(cfaPattern_), p, stream, *this);
}

bool cPictTIFF_EP::Decompress(const uint8_t* input, int32_t count, int32_t compression, sTiffStripData& sd) {
  if (compression != 32769) return cPictTIFF::Decompress(input, count, compression, sd);
  // Grouped 12-bit data outside CFA mode.
  if (sd.bitsPerSample != 12) return false;
  _typebuf<uint16_t> samples;
  UnpackGrouped12(input, static_cast<uint32_t>(count < 0 ? 0 : count), samples);
  sd.data.Reset();
  if (samples.count > 0) {
    sd.data.Reallocate(samples.count * 2);
    std::memcpy(sd.data.data, samples.data, static_cast<size_t>(samples.count) * 2);
  }
  sd.bytesPerRow = static_cast<int32_t>(static_cast<int64_t>(sd.bytesPerRow) * 4 / 3);
  sd.bitsPerSample = 16;
  sd.sampleFormat = 1;
  sd.bigEndian = false;
  return true;
}

bool cPictTIFF_EP::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth,
                                   int32_t maxHeight, int32_t, bool, uint32_t) {
  int32_t w = maxWidth, h = maxHeight;
  return LoadPreview(stream, destination, w, h);
}

bool cPictTIFF_EP::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  const int32_t maxW = width, maxH = height;
  return RawGuarded([&] {
    if (destination == nullptr || stream == nullptr) return false;
    cPictTIFF page;
    if (!stream->Seek(0) || !page.Load(stream)) return false;
    return FitRawPreview(page, destination, maxW, maxH);
  });
}
