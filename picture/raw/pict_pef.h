// cPictPEF: Pentax PEF files and the same format under the Ricoh name
// (format id 24). A TIFF walked by its own handler: IFD0 and the EXIF IFD
// give the sensor, the CFA pattern and the maker note, an IFD of its own
// (cPefMeta) with the crop, the white balance and the Huffman table. Strips
// are plain, packed 12-bit or Huffman-coded (raw_pentax.h); the preview is
// the JPEG of IFD1.
//
// Rules:
//  a. Every entry point runs under RawGuarded and starts from the reset.
//  b. Nested directories (EXIF) go through WalkChildIfd: no directory is
//     walked twice in one call, nesting is bounded.
//  c. The crop goes through the development's frame check: a crop that
//     leaves no picture fails the Load.
#pragma once

#include <cstdint>
#include <vector>

#include "picture/pict_base.h"
#include "picture/raw/raw_cfa.h"
#include "picture/raw/raw_develop.h"
#include "picture/tiff_walker.h"

class cPefMeta : public cTiffGeneric {
public:
  void Reset();
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  double multipliers[4] = {1.0, 1.0, 1.0, 1.0};
  std::vector<uint16_t> huffman;  // kPentaxTableSize entries; [0] 0 when absent
  _typebuf<uint32_t> cropOrigin, cropSize;
  bool skipTable544 = false;
};

class cPictPEF : public cPictBase, public cTiffGeneric {
public:
  cPictPEF();
  int32_t GetFormat() const override { return kPictFormatPEF; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  bool OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) override;
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  // Walk handlers, shared with the nested walks (raw_child_walk.h).
  bool HandleEntry(cTiffGeneric& w, uint32_t tag, uint32_t type, const uint8_t* data, int32_t size,
                   uint64_t valueOffset);
  bool HandleTag(cTiffGeneric& w, uint32_t tag, uint32_t type, const uint8_t* data, int32_t size);
  bool MarkVisited(uint64_t offset);

  const sRawBorders& Borders() const { return borders_; }
  const cPefMeta& Meta() const { return meta_; }

private:
  void Reset();
  bool Walk(cFileIOTarget* stream);
  bool Usable() const;
  bool Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raster);

  int32_t width0_ = 0, height0_ = 0;
  int32_t bitsPerSample_ = 0, compression_ = 0, samplesPerPixel_ = 0;
  _typebuf<uint32_t> stripOffsets_, stripByteCounts_;
  int32_t rowsPerStrip_ = 0;
  sCFAPattern cfaPattern_;
  sRawBorders borders_;
  uint32_t previewOffset_ = 0, previewLength_ = 0;
  bool ricoh_ = false;
  cPefMeta meta_;
  std::vector<uint64_t> visited_;
};
