// cPictCR3: Canon's raw format in the ISO base media file format (brand
// "crx "). The raw sensor data is not decoded: the box walk takes the size
// from the little TIFF files in the CMT1 / CMT2 boxes inside moov, Load
// decodes the JPEG at the start of mdat, and the preview is the JPEG of the
// PRVW record of a top-level uuid box.
//
// Rules:
//  a. Box sizes are 64-bit; a box whose size is below its own header (8, or
//     16 for a 64-bit size) fails the walk instead of looping.
//  b. uuid boxes inside moov nest at most kMaxUuidDepth deep.
//  c. A successful walk is kept: later calls on the decoder skip it.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"
#include "picture/tiff_walker.h"

class cPictCR3 : public cPictBase, public cTiffGeneric {
public:
  static constexpr int32_t kMaxUuidDepth = 8;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  cPictCR3() = default;
  int32_t GetFormat() const override { return kPictFormatCR3; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  bool ParseCr3Boxes(cFileIOTarget* stream);
  // The boxes of window (moov's payload or a nested uuid's).
  bool WalkCr3Boxes(cFileIOTarget* window, int32_t depth);

  uint64_t MdatOffset() const { return mdatOffset_; }
  uint64_t MdatSize() const { return mdatSize_; }
  uint64_t PreviewOffset() const { return previewOffset_; }
  uint64_t PreviewSize() const { return previewSize_; }
  uint32_t MetaWidth() const { return metaWidth_; }
  uint32_t MetaHeight() const { return metaHeight_; }

private:
  bool LoadBody(cFileIOTarget* stream);
  bool LoadPreviewBody(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight);

  uint64_t mdatOffset_ = 0, mdatSize_ = 0;
  uint64_t previewOffset_ = 0, previewSize_ = 0;
  uint32_t metaWidth_ = 0, metaHeight_ = 0;
};
