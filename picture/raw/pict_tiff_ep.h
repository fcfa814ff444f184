// cPictTIFF_EP: camera files following TIFF/EP (format id 17): a TIFF whose
// main IFD carries TIFF/EPStandardID and a preview, and whose sub-IFDs hold
// CFA sensor data (uncompressed, lossless JPEG or grouped 12-bit, in strips
// or tiles). The sensor is read into a 16-bit raster (raw_sensor.h) and
// developed (raw_develop.h); 8-bit samples develop from their plain values.
//
// Rules:
//  a. Every entry point runs under RawGuarded: a throw is a failed result.
//  b. Tiled sensor data is read as DNG reads tiles.
#pragma once

#include <cstdint>

#include "picture/raw/raw_cfa.h"
#include "picture/raw/raw_sensor_page.h"

class cPictTIFF_EP : public cPictRawTIFFPage {
public:
  int32_t GetFormat() const override { return kPictFormatTIFF_EP; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override { return LoadImage(stream, 0); }
  bool CanStreamToCanvas() const override { return false; }
  bool IsMultiImage() const override { return true; }
  int32_t GetImageCount(cFileIOTarget* stream) override;
  bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) override;
  bool LoadImage(cFileIOTarget* stream, int32_t index) override;
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  void ResetPage() override;
  bool Decompress(const uint8_t* input, int32_t count, int32_t compression, sTiffStripData& sd) override;
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  uint32_t StandardId() const { return epStandardId_; }
  const sCFAPattern& Pattern() const { return cfaPattern_; }

private:
  bool WalkMain(cFileIOTarget* stream);
  bool WalkSensor(cFileIOTarget* stream, int32_t index);
  bool DecodeCfa(cFileIOTarget* stream);

  uint32_t epStandardId_ = 0;
  bool rawIFD_ = false;
  sCFAPattern cfaPattern_;
  uint16_t patternRows_ = 0;
  uint16_t patternColumns_ = 0;
  _typebuf<uint32_t> mainSubIfds_;
  cRawSensorReader reader_;
};
