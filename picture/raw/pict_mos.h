// cPictMOS: Leaf camera-back raw files (format id 16): a TIFF (possibly the
// first, stored entry of a ZIP archive) whose tag 34310 holds a list of
// named PKTS records: the mosaic pattern, the raw data rotation, the row
// order of the lossless data, the JPEG preview and the camera profile. The
// sensor strips (plain or lossless JPEG) are read into a 16-bit raster
// (raw_sensor.h) and developed (raw_develop.h).
//
// Rules:
//  a. Every entry point runs under RawGuarded: a throw is a failed result.
//  b. Record lists nest at most kMaxRecordDepth deep and a list is never
//     walked twice (nested lists lie inside their parent's data).
//  c. A lossless JPEG strip that does not decode fails the Load.
#pragma once

#include <cstdint>
#include <vector>

#include "picture/pict_jpeg.h"
#include "picture/raw/raw_cfa.h"
#include "picture/raw/raw_sensor_page.h"

class cPictMOS : public cPictRawTIFFPage {
public:
  static constexpr int32_t kMaxRecordDepth = 8;
  // Where the TIFF starts inside a ZIP archive's first entry.
  static constexpr uint64_t kZipDataOffset = 39;

  int32_t GetFormat() const override { return kPictFormatMOS; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return false; }
  bool IsMultiImage() const override { return false; }
  bool LoadImage(cFileIOTarget* stream, int32_t index) override { return index == 0 && Load(stream); }
  int32_t GetImageCount(cFileIOTarget* stream) override { return ReadInfo(stream, nullptr) ? 1 : 0; }
  bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) override;
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  void ResetPage() override;
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  // Walks one record list (nested lists one level deeper).
  bool ParseRecords(const uint8_t* data, int32_t length, int32_t depth = 0);

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);
  // Where the TIFF starts: kZipDataOffset for a ZIP whose first entry is
  // named 0.MO... and stored, else 0; false when 34 bytes cannot be read at
  // the stream's position.
  static bool FindTiffStart(cFileIOTarget* stream, uint64_t& start);

  const sCFAPattern& Pattern() const { return pattern_; }
  int32_t Rotation() const { return rotation_; }
  int32_t RowsData() const { return rowsData_; }
  int32_t BackType() const { return backType_; }
  bool IsMos() const { return isMos_; }
  bool HasPreviewRecord() const { return hasPreview_; }

private:
  bool LoadInner(cFileIOTarget* stream);

  cPictJPEG preview_;
  sCFAPattern pattern_;
  int32_t backType_ = 0;
  int32_t rowsData_ = 0;
  int32_t rotation_ = 0;
  bool decodePreview_ = false;
  bool hasPreview_ = false;
  bool isMos_ = false;
  std::vector<const uint8_t*> visitedLists_;
  cRawSensorReader reader_;
};
