// See header.
#include "picture/raw/pict_crw.h"

#include <cstring>
#include <memory>

#include "base/memio.h"
#include "picture/pict_jpeg.h"
#include "picture/raw/raw_canon_compressed.h"
#include "picture/raw/raw_cfa.h"
#include "picture/raw/raw_develop.h"

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

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

constexpr uint32_t kRecordSize = 10;

}  // namespace

bool WalkCiffHeap(cCRWTagProcessor& processor, cFileIOTarget* heap, bool bigEndian) {
  processor.bigEndian = bigEndian;
  const uint64_t size = heap->GetSize();
  if (size < 4) return false;  // no room for the table offset
  uint8_t word[4];
  if (!ReadAt(heap, size - 4, word, 4)) return false;
  const uint64_t table = Le32(word);
  if (!ReadAt(heap, table, word, 2)) return false;
  const uint32_t count = Le16(word);
  if (count == 0) return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t record[kRecordSize];
    if (!ReadAt(heap, table + 2 + uint64_t{kRecordSize} * i, record, kRecordSize)) return false;
    const uint32_t tag = Le16(record);
    const uint32_t location = tag >> 14;
    if (location >= 2 || ((tag >> 11) & 7) == 7) return false;
    if (!processor.OnRecord(heap, tag & 0x3FFF, Le32(record + 2), Le32(record + 6), location == 0)) return false;
  }
  return true;
}

bool cMainCRWProps::OnRecord(cFileIOTarget*, uint32_t id, uint32_t a, uint32_t b, bool inHeap) {
  uint32_t *offset = nullptr, *size = nullptr;
  switch (id) {
    case 0x2005: offset = &rawOffset, size = &rawSize; break;
    case 0x2007: offset = &jpegOffset, size = &jpegSize; break;
    case 0x300A: offset = &propsOffset, size = &propsSize; break;
    default: return true;
  }
  if (!inHeap) return false;
  *size = a;
  *offset = b;
  return true;
}

uint32_t cImageCRWProps::Width() const { return Le32(imageInfo); }
uint32_t cImageCRWProps::Height() const { return Le32(imageInfo + 4); }

bool cImageCRWProps::OnRecord(cFileIOTarget* heap, uint32_t id, uint32_t a, uint32_t b, bool inHeap) {
  if (id == 0x1810) {
    // Either location; size and offset are taken from the record as given.
    if (a != sizeof(imageInfo)) return false;
    if (!ReadAt(heap, b, imageInfo, sizeof(imageInfo))) return false;
    return Width() != 0 && Height() != 0;
  }
  if (id == 0x300B) {
    if (!inHeap) return false;
    exifSize = a;
    exifOffset = b;
  }
  return true;
}

bool cExifCRWProps::OnRecord(cFileIOTarget* heap, uint32_t id, uint32_t a, uint32_t b, bool inHeap) {
  uint8_t bytes[16];
  switch (id) {
    case 0x102A:
      if (!inHeap || a < 14 || !ReadAt(heap, uint64_t{b} + 12, bytes, 2)) return false;
      wbIndex = Le16(bytes);
      if (wbIndex > 9) wbIndex = wbIndex == 14 ? 1 : 6;
      return true;
    case 0x10A9: {
      if (!inHeap || a < 10) return false;
      // The four levels must lie inside the record; else entry 0.
      if (uint64_t{wbIndex} * 8 + 10 > a) wbIndex = 0;
      if (!ReadAt(heap, uint64_t{b} + uint64_t{wbIndex} * 8 + 2, bytes, 8)) return false;
      for (int32_t i = 0; i < 4; ++i) wbLevels[i] = Le16(bytes + 2 * i);
      return true;
    }
    case 0x1031:
      if (!inHeap || a < 14 || !ReadAt(heap, b, bytes, 14)) return false;
      for (int32_t i = 0; i < 7; ++i) sensorInfo[i] = Le16(bytes + 2 * i);
      return true;
    case 0x1834:
      if (inHeap) return false;
      modelId = a;
      return true;
    case 0x1835:
      if (!inHeap || a < 16 || !ReadAt(heap, b, bytes, 16)) return false;
      tableIndex = Le32(bytes);
      dataSkip = Le32(bytes + 8);
      return true;
    default:
      return true;
  }
}

bool cPictCRW::IsLowBitModel(uint32_t modelId) {
  static constexpr uint32_t kIds[] = {0x01140000, 0x01190000, 0x01210000, 0x01290000, 0x01310000, 0x01370000,
                                      0x01380000, 0x01390000, 0x01400000, 0x01668000, 0x80000168, 0x80000170};
  for (uint32_t id : kIds)
    if (id == modelId) return true;
  return false;
}

bool cPictCRW::ReadCiff(cFileIOTarget* stream) {
  facts_ = sCiffFacts{};
  lowBits_ = false;
  uint8_t header[18];
  if (stream == nullptr || !stream->ReadExact(header, sizeof(header))) return false;
  if (std::memcmp(header + 6, "HEAPCCDR", 8) != 0) return false;
  if (std::memcmp(header, "II", 2) != 0) return false;  // "MM": refused (header rule a)
  bigEndian_ = false;
  const uint64_t h = Le32(header + 2);
  const uint64_t size = stream->GetSize();
  if (h >= size) return false;

  cFileIOSubRange root(stream, h, size - h);
  cMainCRWProps main;
  if (!WalkCiffHeap(main, &root, false)) return false;
  if (main.propsSize == 0 || main.rawSize == 0) return false;
  if (main.jpegSize != 0) {
    facts_.previewOffset = h + main.jpegOffset;
    facts_.previewSize = main.jpegSize;
  }

  cFileIOSubRange props(&root, main.propsOffset, main.propsSize);
  cImageCRWProps image;
  if (!WalkCiffHeap(image, &props, false)) return false;
  if (image.exifSize == 0) return false;
  facts_.width = image.Width();
  facts_.height = image.Height();
  if (infoOnly_) return true;

  cFileIOSubRange exifHeap(&props, image.exifOffset, image.exifSize);
  cExifCRWProps exif;
  if (!WalkCiffHeap(exif, &exifHeap, false)) return false;
  if (exif.modelId == 0) return false;
  facts_.modelId = exif.modelId;
  facts_.sensorWidth = exif.sensorInfo[1];
  facts_.sensorHeight = exif.sensorInfo[2];
  facts_.left = exif.sensorInfo[5];
  facts_.top = exif.sensorInfo[6];
  facts_.tableIndex = exif.tableIndex;
  facts_.dataSkip = exif.dataSkip;
  std::memcpy(facts_.wbLevels, exif.wbLevels, sizeof(facts_.wbLevels));
  lowBits_ = IsLowBitModel(exif.modelId);
  if (facts_.sensorWidth == 0 || facts_.sensorHeight == 0) return false;
  // The picture and its borders must lie inside the sensor (header rule c).
  if (uint64_t{facts_.left} + facts_.width > facts_.sensorWidth ||
      uint64_t{facts_.top} + facts_.height > facts_.sensorHeight)
    return false;
  if (exif.dataSkip > main.rawSize) return false;
  facts_.rawOffset = h + uint64_t{main.rawOffset} + exif.dataSkip;
  facts_.rawSize = main.rawSize - exif.dataSkip;
  return true;
}

bool cPictCRW::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictCRW probe;
  return probe.ReadInfo(stream, info);
}

bool cPictCRW::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return Guarded([&] { return ReadInfoBody(stream, info); });
}

bool cPictCRW::ReadInfoBody(cFileIOTarget* stream, sPictInfo* info) {
  if (stream == nullptr || !stream->Seek(0)) return false;
  infoOnly_ = true;
  if (!ReadCiff(stream)) return false;
  if (facts_.width > 0x7FFFFFFFu || facts_.height > 0x7FFFFFFFu) return false;
  if (info != nullptr) {
    info->width = static_cast<int32_t>(facts_.width);
    info->height = static_cast<int32_t>(facts_.height);
    info->hasPreview = facts_.previewSize != 0;
  }
  return true;
}

bool cPictCRW::Load(cFileIOTarget* stream) {
  return Guarded([&] { return DecodeRaster(stream) && Develop(stream); });
}

bool cPictCRW::DecodeRaster(cFileIOTarget* stream) { return Guarded([&] { return DecodeRasterBody(stream); }); }

bool cPictCRW::DecodeRasterBody(cFileIOTarget* stream) {
  if (stream == nullptr || !stream->Seek(0)) return false;
  infoOnly_ = false;
  if (!ReadCiff(stream)) return false;
  const uint64_t count = uint64_t{facts_.sensorWidth} * facts_.sensorHeight;
  if (count >= static_cast<uint64_t>(kMaxPixelCount)) return false;
  raster_.Reallocate(static_cast<int32_t>(count));
  std::memset(raster_.data, 0, count * sizeof(uint16_t));
  cFileIOSubRange raw(stream, facts_.rawOffset, facts_.rawSize);
  if (facts_.tableIndex > 0x7FFFFFFFu) return false;  // a negative index: no such table
  if (!DecodeCanonCompressed(raster_.data, &raw, lowBits_, static_cast<uint32_t>(count), facts_.sensorWidth,
                             static_cast<int32_t>(facts_.tableIndex)))
    return false;
  return true;
}

bool cPictCRW::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t&, int32_t&) {
  return Guarded([&] { return LoadPreviewBody(stream, destination); });
}

bool cPictCRW::LoadPreviewBody(cFileIOTarget* stream, cPictBase* destination) {
  if (stream == nullptr || destination == nullptr || !stream->Seek(0)) return false;
  infoOnly_ = true;
  if (!ReadCiff(stream) || facts_.previewSize == 0) return false;
  cFileIOSubRange window(stream, facts_.previewOffset, facts_.previewSize);
  cPictJPEG jpeg;
  if (!jpeg.Load(&window)) return false;
  destination->TakePixels(&jpeg);
  return true;
}

bool cPictCRW::Develop(cFileIOTarget* stream) {
  const sCiffFacts& f = facts_;
  sRawDevelopParams params;
  params.hasBorders = true;
  params.borders.left = static_cast<int32_t>(f.left);
  params.borders.top = static_cast<int32_t>(f.top);
  // The picture lies inside the sensor (checked by ReadCiff).
  params.borders.right = static_cast<int32_t>(f.sensorWidth - f.width - f.left);
  params.borders.bottom = static_cast<int32_t>(f.sensorHeight - f.height - f.top);
  params.levelsFraction = 0.999;
  params.gamma = 2.2;
  params.bottomUp = true;
  const int64_t count = int64_t{f.sensorWidth} * f.sensorHeight;
  const int32_t rawWidth = static_cast<int32_t>(f.sensorWidth), rawHeight = static_cast<int32_t>(f.sensorHeight);
  if (IsFourColourModel(f.modelId)) {
    static const uint8_t kPattern[4] = {1, 2, 3, 0};
    // Rows: output red, green, blue; columns: colour codes 0 to 3.
    static const double kWeights[12] = {2, 2, -0.5, -0.2, -0.2, 2, 2, 1, 1, -0.5, 2, -0.2};
    sCFAPattern pattern;
    if (!pattern.Assign(2, 2, kPattern, 4)) return false;
    params.demosaic = kRawDemosaicWeighted;
    params.weights = kWeights;
    params.black = 0;
    params.red = params.green = params.blue = 1.0;
    params.saturation = 1.5;
    return DevelopRaw(raster_.data, count, rawWidth, rawHeight, CreateBayerFilter(pattern), params, stream, *this);
  }
  int32_t white = lowBits_ ? 4095 : 1023, black = 0;
  if (f.modelId == 0x01668000 || f.modelId == 0x80000168 || f.modelId == 0x80000170) {
    black = 128;
    white = 4000;
  }
  const double scale = 65535.0 / (white - black);
  const uint16_t* wb = f.wbLevels;
  double m = wb[0];
  for (int32_t k = 1; k < 4; ++k)
    if (wb[k] != 0 && wb[k] < m) m = wb[k];
  params.demosaic = kRawDemosaicBayer;
  params.black = black;
  if (m == 0) {
    params.red = params.green = params.blue = scale;
  } else {
    params.red = wb[0] * scale / m;
    params.green = wb[1] * scale / m;
    params.blue = wb[2] * scale / m;
  }
  params.saturation = 0.0;
  return DevelopRaw(raster_.data, count, rawWidth, rawHeight, std::make_unique<cStdCFAFilter>(), params, stream,
                    *this);
}
