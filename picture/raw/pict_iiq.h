// cPictIIQ: Phase One IIQ raw files. A TIFF (its first page is the preview)
// carrying a Phase One block: a directory of 16-byte entries that locates
// the coded sensor rows, the margins, the white balance and the black
// tables; possibly wrapped as the stored first entry of a ZIP archive.
// Only the compressed sensor formats (3 and above) decode.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"
#include "picture/raw/raw_develop.h"

class cPictIIQ : public cPictBase {
public:
  cPictIIQ() = default;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  int32_t GetFormat() const override { return kPictFormatIIQ; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;
  virtual void Reset();

  // Read by tests.
  const sRawBorders& Margins() const { return margins_; }
  int32_t Format() const { return format_; }
  double Level(int i) const { return levels_[i]; }

private:
  bool ReadDirectory(cFileIOTarget* stream);

  int32_t width_ = 0, height_ = 0;
  int32_t format_ = 0;
  int32_t black_ = 0;
  int32_t splitColumn_ = 0, splitRow_ = 0;
  uint32_t columnBlackAt_ = 0, rowBlackAt_ = 0;
  sRawBorders margins_;
  uint32_t rowOffsetsAt_ = 0;
  uint32_t dataOffset_ = 0, dataSize_ = 0;
  double levels_[4] = {1.0, 1.0, 1.0, 1.0};
  uint64_t wrappedStart_ = 0;
};
