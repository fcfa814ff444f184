// cPictRAF: Fujifilm RAF raw files. A 124-byte header names the camera and
// points to the preview JPEG, the CFA header (big-endian records) and the
// CFA section, which may begin with a TIFF-like directory (tags 0xF000 to
// 0xF00E). Samples are 16-bit, packed 12- or 14-bit, or Fujifilm compressed;
// SuperCCD sensors are developed on a turned frame and turned back; X-Trans
// sensors use the 6 x 6 filter. A camera table fills in what files omit.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"
#include "picture/raw/raw_develop.h"
#include "picture/tiff_walker.h"

struct sRafHeader {
  uint8_t bytes[124] = {};
  uint32_t jpegOffset = 0, jpegLength = 0;
  uint32_t cfaHeaderOffset = 0, cfaHeaderLength = 0;
  uint32_t cfaOffset = 0, cfaLength = 0;
  uint32_t word120 = 0;
};

class cPictRAF : public cPictBase, public cTiffGeneric {
public:
  cPictRAF() = default;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  int32_t GetFormat() const override { return kPictFormatRAF; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  // Read by tests.
  const sRawBorders& Borders() const { return borders_; }
  int32_t Black() const { return black_; }
  bool XTrans() const { return xtrans_; }
  bool SuperCcd() const { return superCcd_; }
  bool PackedRows() const { return packedRows_; }
  const uint8_t* Pattern() const { return pattern_; }
  int32_t RawWidth() const { return rawWidth_; }
  int32_t RawHeight() const { return rawHeight_; }
  double Multiplier(int i) const { return mult_[i]; }

private:
  void Reset();
  bool ReadRafHeader(cFileIOTarget* stream);
  bool ReadCfaHeader(cFileIOTarget* stream);
  bool ReadRawDirectory(cFileIOTarget* stream);
  void ApplyModelTable();
  bool Parse(cFileIOTarget* stream, bool forLoad);
  bool Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raw, int32_t& width);
  bool DevelopSuperCcd(cFileIOTarget* stream, const uint16_t* raw, int32_t rawWidth,
                       std::unique_ptr<cBayerFilter> filter);

  sRafHeader header_;
  sRawBorders borders_;
  double mult_[4] = {1.0, 1.0, 1.0, 1.0};  // red, green, blue, second green
  bool superCcd_ = false;
  bool doubleWidth_ = false;
  bool layout_ = false;
  bool packedRows_ = false;
  bool xtrans_ = false;
  int32_t black_ = 240;
  int32_t imageWidth_ = 0, imageHeight_ = 0;
  bool swapBytes_ = false;
  int32_t bits_ = 16;
  uint32_t rawDataOffset_ = 0, rawDataLength_ = 0;
  uint8_t pattern_[4] = {0, 1, 1, 2};
  int32_t rawWidth_ = 0, rawHeight_ = 0;
  // Directories of the CFA section being walked (0xF000 chains).
  uint64_t walking_[8] = {};
  int32_t depth_ = 0;
};
