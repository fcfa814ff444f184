// cPictDNG: Digital Negative files (format id 15), and cPict3FR: Hasselblad
// 3FR files (format id 18) read with the same code. The main IFD carries
// DNGVersion and usually a preview; the sensor data lives in sub-IFD 0, or
// in the main IFD itself when there is no sub-IFD (or one while the main IFD
// has one sample per pixel). CFA sensor data is read into a 16-bit raster
// (raw_sensor.h) and developed (raw_develop.h); LinearRaw data is decoded
// by the TIFF page machinery, white-balanced and tone-mapped.
//
// Rules:
//  a. Every entry point starts from ResetPage and runs under RawGuarded: a
//     throw is a failed result.
//  b. DNGVersion and AsShotNeutral are read wherever the main IFD is
//     walked, also when it is walked again as the sensor IFD, so that a
//     file with its raw data in IFD0 keeps its white balance and version.
//  c. A BlackLevel rational with denominator 0 counts as 0.
//  d. Borders come from DefaultCropOrigin / DefaultCropSize / ActiveArea
//     and are checked against the raw frame before anything is developed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "picture/raw/raw_cfa.h"
#include "picture/raw/raw_develop.h"
#include "picture/raw/raw_sensor_page.h"

class cPictDNG : public cPictRawTIFFPage {
public:
  cPictDNG() = default;
  ~cPictDNG() override = default;

  int32_t GetFormat() const override { return kPictFormatDNG; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return false; }
  bool IsMultiImage() const override { return true; }
  int32_t GetImageCount(cFileIOTarget* stream) override;
  bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) override;
  bool LoadImage(cFileIOTarget* stream, int32_t index) override;
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  void ResetPage() override;
  bool EndStrips() override;
  bool EndTiles() override { return EndStrips(); }
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  // What the last walk read (for tests and the camera tables).
  uint32_t DngVersion() const { return dngVersion_; }
  const sCFAPattern& Pattern() const { return cfaPattern_; }
  uint32_t BlackLevel() const { return blackLevel_; }
  const std::vector<uint32_t>& CropSize() const { return cropSize_; }
  const std::vector<uint32_t>& CropOrigin() const { return cropOrigin_; }
  const std::vector<double>& Neutral() const { return neutral_; }

  // The borders of a W x H raw frame for the crop tags read (rule d).
  bool CropBorders(int32_t W, int32_t H, sRawBorders& borders) const;

protected:
  static constexpr uint32_t k3FRVersion = 0xFF000000u;

  // The sensor reader; 3FR brings its own scan decoder.
  virtual cRawSensorReader& SensorReader() { return reader_; }
  // Called before the sensor is read; 3FR supplies its default pattern.
  virtual void BeforeSensor() {}
  bool IsRawIfd() const { return rawIFD_; }
  const std::string& Make() const { return make_; }
  void SetDngVersion(uint32_t v) { dngVersion_ = v; }
  sCFAPattern& PatternRef() { return cfaPattern_; }
  void ResetSensorTags();

  // Header and main IFD with rawIFD clear; false unless a DNG version >=
  // 1.0.0.0 was read.
  bool WalkMain(cFileIOTarget* stream);
  // The main IFD again, now as the sensor IFD.
  bool WalkMainAsSensor(cFileIOTarget* stream);
  bool WalkSub(cFileIOTarget* stream, uint32_t offset, bool asSensor);
  bool SingleImageLayout() const;
  bool IsLeicaM10() const;
  bool DecodeSensorPage(cFileIOTarget* stream);
  bool DecodeCfa(cFileIOTarget* stream);

private:
  bool LoadImageInner(cFileIOTarget* stream, int32_t index);
  bool OnDngTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size);

  uint32_t dngVersion_ = 0;
  bool rawIFD_ = false;
  bool walkingMain_ = false;
  sCFAPattern cfaPattern_;
  uint16_t patternRows_ = 0;
  uint16_t patternColumns_ = 0;
  uint32_t whiteLevel_ = 0;
  uint32_t blackLevel_ = 0;
  std::vector<uint32_t> cropSize_;
  std::vector<uint32_t> cropOrigin_;
  std::vector<double> neutral_;
  std::string make_;
  std::string model_;
  _typebuf<uint32_t> mainSubIfds_;
  int32_t mainSamplesPerPixel_ = 0;
  cFileIOTarget* source_ = nullptr;
  cRawSensorReader reader_;
};

// The Hasselblad reader for the 3FR scan: two 16-bit samples per pair of
// Huffman symbols, no byte stuffing, little-endian 32-bit bit words.
class cRaw3FRSensorReader : public cRawSensorReader {
protected:
  bool DecodeJpegBlock(const uint8_t* data, uint32_t size, int32_t width, int32_t rows,
                       const sRawSensorLayout& layout, uint16_t* out) override;
};

class cPict3FR : public cPictDNG {
public:
  int32_t GetFormat() const override { return kPictFormat3FR; }
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

protected:
  cRawSensorReader& SensorReader() override { return reader3FR_; }
  void BeforeSensor() override;

private:
  cRaw3FRSensorReader reader3FR_;
};
