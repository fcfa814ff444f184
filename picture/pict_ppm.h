// cPictPPM: the raw portable-anymap decoder (format id 30): P4 bitmaps, P5
// grey and P6 RGB. The text forms P1-P3 are refused. Samples are used as
// stored; a maximum value of 256 or more means two-byte samples and a
// high-depth picture, anything below one-byte samples and 32-bit pixels.
//
// Rules:
//  a. Before each header token, whitespace (tab, LF, CR, space; not VT or
//     FF) and '#' comments up to CR or LF are skipped. A token is 1 to 10
//     decimal digits ended by one whitespace byte or '#', which is consumed
//     with it; its low 32 bits are used.
//  b. Width and height are 1 to 2^31 - 1; the maximum value 1 to 65535 (2
//     for P4). The raster follows the byte that ends the last token.
//  c. P4 bit 1 is black. Sizes of kMaxPixelCount pixels or more are refused
//     by Load before anything is allocated, and so is a row longer than the
//     whole stream.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"

class cPictPPM : public cPictBase {
public:
  int32_t GetFormat() const override { return kPictFormatPPM; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return false; }
  int32_t GetImageCount(cFileIOTarget*) override { return 1; }

  // Parses the header from the stream's position; width and height go to
  // the picture, the type and maximum value to the members.
  bool ReadHeader(cFileIOTarget* stream);
  // The factory's probe: ReadHeader on a temporary decoder.
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  char GetType() const { return type_; }
  uint32_t GetMaxValue() const { return maxValue_; }

private:
  bool LoadInner(cFileIOTarget* stream);

  char type_ = 0;
  uint32_t maxValue_ = 0;
};
