// cPictPCX: the PCX decoder (format id 31) for version-5, run-length coded
// files with 8 bits per plane: one plane through a palette, or three planes
// of red, green and blue.
//
// Rules:
//  a. Header: manufacturer 10, version 5, encoding 1, 8 bits, Xmin = Ymin
//     = 0, Xmax, Ymax and both resolutions non-zero, reserved byte 0, 1 or
//     3 planes, bytes per plane line at least the width, palette info 1 or
//     2. The picture is (Xmax + 1) x (Ymax + 1).
//  b. One plane: the 256 colours after a 12 at size - 769, else the 16
//     colours of the header (all zero fails); an index beyond the palette
//     fails. A file too small to hold the trailing palette after its header
//     uses the header's colours.
//  c. A run (byte 0xC0 or above; count 0 writes once) never carries into
//     the next scan line, but runs on from plane to plane within one.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"

class cPictPCX : public cPictBase {
public:
  int32_t GetFormat() const override { return kPictFormatPCX; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return false; }
  int32_t GetImageCount(cFileIOTarget*) override { return 1; }

  bool ReadHeader(cFileIOTarget* stream);
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

private:
  bool LoadInner(cFileIOTarget* stream);
  bool ReadPalette(cFileIOTarget* stream);

  _typebuf<uint32_t> palette_;
  uint32_t planes_ = 0;
  uint32_t bytesPerLine_ = 0;
  uint8_t headerPalette_[48] = {};
  bool streaming_ = false;
};
