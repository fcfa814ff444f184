// cPictTGA: the Truevision TGA decoder (format id 29): colour-mapped,
// true-colour and grey pictures, each uncompressed or run-length coded
// (types 1, 2, 3, 9, 10, 11), into 32-bit pixels or an attached canvas.
// Only the 18-byte header, the ID field, the colour map and the pixels are
// read; a TGA 2.0 footer is never looked at.
//
// Rules:
//  a. Types 1 and 9 need a colour map (type 1, length and entry size
//     non-zero) and 8-bit indices; the others no map at all. Types 2 and 10
//     take 16, 24 or 32 bits per pixel, 3 and 11 take 8.
//  b. Origins must be 0, sizes non-zero; the loader also refuses
//     interleaved rows (descriptor above 63).
//  c. 16-bit colours are 5-bit channels scaled by 8.2258 and truncated
//     (31 gives 254), opaque. Descriptor bit 5 set: rows top to bottom.
//  d. Run-length packets run on across row ends.
//  e. 32-bit pictures (and 32-bit colour maps) whose alpha is 0 everywhere
//     are opaque.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"

class cPictTGA : public cPictBase {
public:
  int32_t GetFormat() const override { return kPictFormatTGA; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return false; }

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

private:
  bool LoadInner(cFileIOTarget* stream);
  bool ReadColourMap(cFileIOTarget* stream);
  bool Convert(const uint8_t* value, uint32_t& pixel) const;

  uint8_t header_[18] = {};
  _typebuf<uint32_t> palette_;
  int32_t bytesPerPixel_ = 0;
  bool streaming_ = false;
};
