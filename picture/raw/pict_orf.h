// cPictORF: Olympus and OM System raw files. A TIFF with its own magic;
// IFD0 describes the raw strips, the EXIF directory holds the maker note
// (three header kinds) whose image-processing sub-directory gives the white
// balance and black level, and an embedded preview JPEG. Samples are 12-bit
// packed (three layouts), 16-bit, 12-bit pairs with filler bytes, or the
// Olympus adaptive coding.
//
// Nested directories (EXIF, maker note) are walked by walkers of their own
// chained to their parent, so a directory that points back at one being
// walked, or a chain deeper than the walker's limit, is refused instead of
// recursing without end.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "picture/pict_base.h"
#include "picture/raw/raw_develop.h"
#include "picture/tiff_walker.h"

class cPictORF : public cTiffGeneric, public cPictBase {
public:
  cPictORF() = default;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  // ---- walker ----
  bool ReadHeader(cFileIOTarget* stream, uint64_t length) override;
  bool OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) override;
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;
  virtual void Reset();

  // ---- decoder ----
  int32_t GetFormat() const override { return kPictFormatORF; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  // Read by tests.
  const sRawBorders& Crop() const { return crop_; }
  uint32_t BlackLevel() const { return black_; }
  double Level(int i) const { return levels_[i]; }
  bool Interlaced() const { return interlace_; }
  bool BigEndianPacking() const { return bePacking_; }
  bool WordPacking() const { return wordPacking_; }
  uint32_t PreviewOffset() const { return previewOffset_; }
  uint32_t PreviewLength() const { return previewLength_; }

  // Dispatch from the nested walkers (public for them only).
  bool HandleEntry(cTiffGeneric& walker, bool makerNote, uint32_t base, uint32_t tag, uint32_t type,
                   const uint8_t* data, int32_t size, uint64_t valueOffset);
  bool HandleTag(cTiffGeneric& walker, bool makerNote, uint32_t base, uint32_t tag, uint32_t type,
                 const uint8_t* data, int32_t size);

private:
  bool Walk(cFileIOTarget* stream);
  bool MakerNote(cTiffGeneric& walker, int32_t size, uint64_t valueOffset);
  void ApplyModel(const uint8_t* data, int32_t size);
  bool Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raw);

  int32_t width_ = 0, height_ = 0;
  uint32_t bits_ = 0;
  uint32_t photometric_ = 0;
  _typebuf<uint32_t> stripOffsets_;
  _typebuf<uint32_t> stripCounts_;
  uint32_t rowsPerStrip_ = 0;
  double levels_[4] = {1.0, 1.0, 1.0, 1.0};
  sRawBorders crop_;
  uint32_t black_ = 0;
  uint32_t previewOffset_ = 0, previewLength_ = 0;
  bool interlace_ = false;
  bool bePacking_ = false;
  bool wordPacking_ = false;
  uint64_t streamSize_ = 0;
};
