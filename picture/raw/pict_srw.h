// cPictSRW: Samsung raw files (format id 23). IFD0 lists exactly two
// SubIFDs, one of them the sensor; strips are plain, packed 12-bit or one of
// the Samsung codings (raw_samsung.h). Developed with fixed multipliers and
// the model's crop; the preview is the fitted JPEG of tags 513/514.
//
// Rules:
//  a. Every entry point runs under RawGuarded and starts from the reset.
//  b. Strips are placed one after the other and stop at the first strip
//     that starts past the height; every copy stays inside the raster.
//  c. The crop goes through the development's frame check.
#pragma once

#include <cstdint>
#include <vector>

#include "picture/pict_base.h"
#include "picture/raw/raw_cfa.h"
#include "picture/raw/raw_samsung.h"
#include "picture/tiff_walker.h"

class cPictSRW : public cPictBase, public cTiffGeneric {
public:
  cPictSRW();
  int32_t GetFormat() const override { return kPictFormatSRW; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  const sSamsungModel& Model() const { return model_; }

private:
  void Reset();
  bool WalkHeader(cFileIOTarget* stream);
  bool WalkSub(cFileIOTarget* stream, int32_t index);
  bool ChooseRaw(cFileIOTarget* stream);
  bool Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raster);

  _typebuf<uint32_t> subIfds_;
  int32_t width0_ = 0, height0_ = 0;
  uint32_t bitsPerSample_ = 0, compression_ = 0, samplesPerPixel_ = 0;
  _typebuf<uint32_t> stripOffsets_, stripByteCounts_;
  uint32_t rowsPerStrip_ = 0;
  sCFAPattern cfaPattern_;
  uint16_t patternRows_ = 0, patternColumns_ = 0;
  sSamsungModel model_;
  uint32_t rowTable_ = 0;
  uint32_t previewOffset_ = 0, previewLength_ = 0;
};
