// cPictCR2: Canon's TIFF-structured raw format. IFD0 (with the EXIF pointer
// and so the maker note), IFD1 (a JPEG interchange directory), IFD2
// (skipped) and IFD3 (the raw data: one lossless JPEG, possibly cut into
// vertical slices). The two oldest models keep their raw data at a
// maker-note offset and their data directory in IFD1. sRAW data (luma and
// two chroma samples) is converted straight to RGB; sensor samples are
// developed with the model's colour matrix, white level and borders and a
// black level measured on the sensor's masked area.
//
// Rules:
//  a. Slices that together are wider than the sensor are refused; the
//     slice tag's first three values count, whatever its length.
//  b. The black-level measurement is clipped to the raster.
//  c. Every entry point turns an exception into a failed result.
#pragma once

#include <cstdint>
#include <string>

#include "base/buffers.h"
#include "picture/exif.h"
#include "picture/pict_tiff.h"
#include "picture/raw/raw_canon_tables.h"

// The EXIF directory's pixel sizes (40962, 40963).
class cCR2ExifProps : public cExifDecoder {
public:
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;
  uint32_t pixelWidth = 0;
  uint32_t pixelHeight = 0;
};

// The raw-data directory: strip offset and byte count, the slice tag.
class cCR2DataProps : public cPictTIFF {
public:
  void ResetRawInfo();
  void ResetPage() override {
    ResetRawInfo();
    cPictTIFF::ResetPage();
  }
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;
  uint16_t slices[3] = {};
  uint32_t stripOffset = 0;
  uint32_t stripByteCount = 0;
};

// IFD1 as a JPEG interchange directory (offset and length of the JPEG).
class cCR2JpegProps : public cPictTIFF {
public:
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;
  int32_t jpegOffset = 0;
  int32_t jpegLength = 0;
};

// A directory walked for nothing but its next-IFD offset.
class cCR2SkipIFD : public cPictTIFF {};

class cPictCR2 : public cPictTIFF {
public:
  static constexpr uint32_t kOldestA = 0x80000001;
  static constexpr uint32_t kOldestB = 0x80000167;

  cPictCR2();
  ~cPictCR2() override = default;

  int32_t GetFormat() const override { return kPictFormatCR2; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;
  // The TIFF thumbnail (IFD1's JPEG), read without the raw checks.
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;
  bool CanStreamToCanvas() const override { return false; }
  bool IsMultiImage() const override { return false; }
  int32_t GetImageCount(cFileIOTarget*) override { return 1; }

  void ResetPage() override;
  bool IsPageSupported() override;
  bool Decompress(const uint8_t*, int32_t, int32_t, sTiffStripData&) override { return false; }
  bool PutRows16(int32_t y, const sTiffStripData& sd) override;
  virtual bool DevelopBayer(const sTiffStripData& sd);
  virtual bool ConvertSRaw(const sTiffStripData& sd, bool bottomUp);

  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  // 0 = no measurement.
  uint16_t MeasureBlackLevel(const sTiffStripData& sd) const;
  bool LookupColorMatrix(double matrix[9], uint16_t& black, uint16_t& white) const;
  bool LookupBorders();

  // The factory's probe.
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  // Parses the file and decodes the raw data into sd (the first half of
  // Load); sd receives the raster as PutRows16 gets it.
  bool DecodeRaw(cFileIOTarget* stream, sTiffStripData& sd);

  const cCR2MakerNoteProps& MakerNote() const { return makerNote_; }
  cCR2MakerNoteProps& MakerNote() { return makerNote_; }
  const std::u16string& ModelName() const { return modelName_; }
  const sCanonBorders& Borders() const { return borders_; }
  int32_t SRawMode() const { return srawMode_; }
  int32_t Bits() const { return bits_; }

private:
  bool IsOldest() const { return makerNote_.modelId == kOldestA || makerNote_.modelId == kOldestB; }
  // Reset, IFD0 walk, Make and maker-note checks; ifd1 receives the offset
  // of IFD1.
  bool ParseMain(cFileIOTarget* stream, uint64_t& ifd1);
  // Walks IFD1 to IFD3 as the usual models lay them out.
  bool WalkDataIfds(cFileIOTarget* stream, uint64_t ifd1, bool jpegIfd1);
  bool OldestValuesPresent() const;
  bool SlicesFit(uint32_t sensorWidth) const;

  uint8_t patternColours_[4] = {0, 1, 1, 2};
  cCR2MakerNoteProps makerNote_;
  cCR2ExifProps exifProps_;
  cCR2DataProps dataProps_;
  std::u16string modelName_;
  sCanonBorders borders_;
  int32_t srawMode_ = 0;
  int32_t bits_ = 0;
  uint32_t sensorWidth_ = 0, sensorHeight_ = 0;
  cFileIOTarget* source_ = nullptr;  // the stream of the running Load
  _typebuf<uint16_t> raster_;        // the decoded samples during a Load
  int32_t pictureWidth_ = 0, pictureHeight_ = 0;

public:
  // The decoded samples (DecodeRaw), for tests.
  const _typebuf<uint16_t>& Raster() const { return raster_; }
  uint32_t SensorWidth() const { return sensorWidth_; }
  uint32_t SensorHeight() const { return sensorHeight_; }
  const uint8_t* PatternColours() const { return patternColours_; }
};
