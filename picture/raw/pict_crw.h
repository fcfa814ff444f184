// cPictCRW: Canon's older raw format, a CIFF container ("HEAPCCDR") of
// nested heaps of 10-byte records. Small record processors pick the image
// size, the JPEG preview, the sensor geometry, the white balance and the
// compressed raw data out of three heaps; the raw data is decoded with
// DecodeCanonCompressed.
//
// Rules:
//  a. Only "II" files are read: the byte order of the other records of a
//     big-endian file is not settled, so "MM" is refused.
//  b. Every read goes through a window of its heap; a heap of fewer than 4
//     bytes (no room for its table offset) is refused.
//  c. The image and its borders must lie inside the sensor: a file whose
//     right or bottom border would be negative is refused.
//  d. A white-balance entry is read only when it lies wholly inside its
//     record (index x 8 + 10 <= size); otherwise entry 0.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/fileio.h"
#include "picture/pict_base.h"

class cCRWTagProcessor {
public:
  virtual ~cCRWTagProcessor() = default;
  // id without the location bits; inHeap: a and b are the data size and
  // offset in the heap, else the record's 8 data bytes (a = bytes 0-3 and
  // b = bytes 4-7, read little-endian).
  virtual bool OnRecord(cFileIOTarget* heap, uint32_t id, uint32_t a, uint32_t b, bool inHeap) = 0;
  bool bigEndian = false;
};

class cMainCRWProps : public cCRWTagProcessor {
public:
  bool OnRecord(cFileIOTarget* heap, uint32_t id, uint32_t a, uint32_t b, bool inHeap) override;
  uint32_t rawOffset = 0, rawSize = 0;
  uint32_t jpegOffset = 0, jpegSize = 0;
  uint32_t propsOffset = 0, propsSize = 0;
};

class cImageCRWProps : public cCRWTagProcessor {
public:
  bool OnRecord(cFileIOTarget* heap, uint32_t id, uint32_t a, uint32_t b, bool inHeap) override;
  uint8_t imageInfo[28] = {};
  uint32_t exifOffset = 0, exifSize = 0;
  uint32_t Width() const;
  uint32_t Height() const;
};

class cExifCRWProps : public cCRWTagProcessor {
public:
  bool OnRecord(cFileIOTarget* heap, uint32_t id, uint32_t a, uint32_t b, bool inHeap) override;
  uint16_t wbIndex = 1;
  uint16_t wbLevels[4] = {84, 52, 51, 65};
  uint32_t tableIndex = 0;
  uint32_t dataSkip = 0;
  uint32_t modelId = 0;
  uint16_t sensorInfo[7] = {};
};

// Walks the record table of heap (the whole stream given) with processor.
bool WalkCiffHeap(cCRWTagProcessor& processor, cFileIOTarget* heap, bool bigEndian);

// What the three heaps of a file give (ReadCiffFacts).
struct sCiffFacts {
  uint64_t rawOffset = 0, rawSize = 0;  // absolute
  uint64_t previewOffset = 0, previewSize = 0;
  uint32_t width = 0, height = 0;
  uint32_t modelId = 0;
  uint32_t sensorWidth = 0, sensorHeight = 0;
  uint32_t left = 0, top = 0;
  uint32_t tableIndex = 0, dataSkip = 0;
  uint16_t wbLevels[4] = {};
};

class cPictCRW : public cPictBase {
public:
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  cPictCRW() = default;
  int32_t GetFormat() const override { return kPictFormatCRW; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  // The shared reader: with infoOnly it stops after the image size.
  bool ReadCiff(cFileIOTarget* stream);
  void SetInfoOnly(bool on) { infoOnly_ = on; }
  const sCiffFacts& Facts() const { return facts_; }
  bool LowBits() const { return lowBits_; }
  static bool IsLowBitModel(uint32_t modelId);
  static bool IsFourColourModel(uint32_t modelId) { return modelId == 0x04040000 || modelId == 0x03010000; }

  // ReadCiff in full, then the raw data decoded into Raster(); the first
  // half of Load.
  bool DecodeRaster(cFileIOTarget* stream);
  // The sensor samples of the last decode (sensor width x height).
  _typebuf<uint16_t>& Raster() { return raster_; }

private:
  bool ReadInfoBody(cFileIOTarget* stream, sPictInfo* info);
  bool DecodeRasterBody(cFileIOTarget* stream);
  bool LoadPreviewBody(cFileIOTarget* stream, cPictBase* destination);
  bool Develop(cFileIOTarget* stream);

  bool infoOnly_ = false;
  bool bigEndian_ = false;
  bool lowBits_ = false;
  sCiffFacts facts_;
  _typebuf<uint16_t> raster_;
};
