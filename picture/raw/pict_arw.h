// cPictARW: Sony raw files, ARW and the SR2 and SRF files that share their
// TIFF structure (format id 25). IFD0 gives make, model, preview and the
// SubIFD list; the first SubIFD is the sensor; the private data (an MRM
// block, or the SR2 directory whose sub-directory is encrypted) gives the
// white-balance levels. Codings and constants: raw_sony.h.
//
// Rules:
//  a. Every entry point runs under RawGuarded and starts from the reset.
//  b. EXIF and private directories are walked through WalkChildIfd: no
//     directory twice in one call, nesting bounded.
//  c. Strips are placed one after the other and stop at the first strip
//     that starts past the height; every copy stays inside the raster.
//  d. The right crop goes through the development's frame check.
//  e. The private-data offset of tag 29264 is read in the file's byte
//     order (a native read would swap it in big-endian files).
#pragma once

#include <cstdint>
#include <vector>

#include "picture/pict_base.h"
#include "picture/raw/raw_cfa.h"
#include "picture/raw/raw_sony.h"
#include "picture/tiff_walker.h"

class cARWExtProps : public cTiffGeneric {
public:
  explicit cARWExtProps(uint32_t base) : base_(base) {}
  // Only tag 29459 is read (from the decrypted buffer, at its file offset
  // less the base); other entries are accepted unread, since their
  // out-of-line values lie outside the buffer.
  bool OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) override;

  double levels[4] = {1.0, 1.0, 1.0, 1.0};
  bool found = false;

private:
  uint32_t base_;
};

class cPictARW : public cPictBase, public cTiffGeneric {
public:
  cPictARW();
  int32_t GetFormat() const override { return kPictFormatARW; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  bool OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) override;
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  bool HandleEntry(cTiffGeneric& w, uint32_t tag, uint32_t type, const uint8_t* data, int32_t size,
                   uint64_t valueOffset);
  bool HandleTag(cTiffGeneric& w, uint32_t tag, uint32_t type, const uint8_t* data, int32_t size);
  bool MarkVisited(uint64_t offset);

  const sSonyModelConstants& Constants() const { return model_; }
  const double* Levels() const { return levels_; }

private:
  void Reset();
  bool WalkAll(cFileIOTarget* stream);
  bool Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raster);
  void PrivateData(cTiffGeneric& w, uint32_t v);
  bool ReadSr2(cTiffGeneric& w);

  int32_t width0_ = 0, height0_ = 0;
  uint32_t bitsPerSample_ = 0, compression_ = 0, samplesPerPixel_ = 0;
  _typebuf<uint32_t> stripOffsets_, stripByteCounts_, subIfds_;
  uint32_t rowsPerStrip_ = 0;
  sCFAPattern cfaPattern_;
  uint16_t patternRows_ = 0, patternColumns_ = 0;
  uint32_t previewOffset_ = 0, previewLength_ = 0;
  double levels_[4] = {1.0, 1.0, 1.0, 1.0};
  sSonyModelConstants model_;
  uint32_t sr2Key_ = 0, sr2Length_ = 0, sr2Offset_ = 0;
  std::vector<uint64_t> visited_;
};
