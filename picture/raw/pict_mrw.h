// cPictMRW: Minolta MRW raw files. A block directory (either byte order)
// whose header block holds typed sub-blocks (PRD picture size, WBG white
// balance, TTW an embedded TIFF with the model and the preview JPEG), then
// the sensor data, plain 16-bit or packed 12-bit.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"
#include "picture/raw/raw_develop.h"
#include "picture/tiff_walker.h"

class cPictMRW : public cPictBase, public cTiffGeneric {
public:
  cPictMRW() = default;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  int32_t GetFormat() const override { return kPictFormatMRW; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  // The embedded TIFF's tag handler.
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  // Read by tests.
  int32_t SensorWidth() const { return width_; }
  int32_t SensorHeight() const { return height_; }
  uint64_t DataOffset() const { return dataOffset_; }
  const uint8_t* Pattern() const { return pattern_; }
  bool SamplesBigEndian() const { return samplesBigEndian_; }

private:
  void Reset();
  bool ReadDirectory(cFileIOTarget* stream);

  int32_t width_ = 0, height_ = 0;
  double levels_[4] = {1.0, 1.0, 1.0, 1.0};
  uint32_t previewOffset_ = 0, previewLength_ = 0;
  uint64_t dataOffset_ = 0;
  uint64_t tiffStart_ = 0;
  uint8_t pattern_[4] = {0, 1, 1, 2};
  bool samplesBigEndian_ = false;
};
