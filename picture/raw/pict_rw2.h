// cPictRWL: Panasonic RW2 and Leica RWL raw files. A little-endian TIFF-like
// header with magic 85, one IFD of private tags (sensor size, CFA code,
// gains, raw data offset), and the sensor data in the Panasonic block
// coding, packed 12-bit or plain 16-bit; per-model borders and black level.
// No preview.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "picture/pict_base.h"
#include "picture/raw/raw_develop.h"
#include "picture/tiff_walker.h"

class cPictRWL : public cTiffGeneric, public cPictBase {
public:
  cPictRWL() = default;

  // The factory's probe: a temporary decoder's ReadInfo from position 0.
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  // ---- walker ----
  bool ReadHeader(cFileIOTarget* stream, uint64_t length) override;
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;
  virtual void Reset();

  // ---- decoder ----
  int32_t GetFormat() const override { return kPictFormatRWL; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;

  // Read by tests.
  const sRawBorders& Borders() const { return borders_; }
  int32_t Black() const { return black_; }
  bool BlockCoded() const { return blockCoded_; }
  double Gain(int i) const { return gains_[i]; }

private:
  bool Walk(cFileIOTarget* stream);
  bool Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raw);
  void ApplyModel(const uint8_t* data, int32_t size);

  int32_t sensorWidth_ = 0, sensorHeight_ = 0;
  _typebuf<uint32_t> stripOffsets_;
  _typebuf<uint32_t> stripCounts_;
  uint32_t rowsPerStrip_ = 0;
  double gains_[4] = {1.0, 1.0, 1.0, 1.0};  // red, green, blue, second green
  sRawBorders borders_;
  bool blockCoded_ = false;
  bool splitRefill_ = true;
  uint32_t cfaCode_ = 4;
  int32_t black_ = 0;
  uint64_t streamSize_ = 0;
};
