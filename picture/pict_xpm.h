// cPictXPM: the XPM decoder (format id 34) for a narrow dialect: the
// "/* XPM" comment, a static character-array declaration and quoted strings
// holding the values line, the colour lines and the pixel rows. Colours are
// given with the key c, as the word None (transparent black) or as '#' with
// 6 or 12 hexadecimal digits; 1 to 4 characters per pixel.
//
// Rules:
//  a. The text is 8-bit; a UTF-8 byte-order mark at the start is skipped.
//     Lines end with CR, LF, CR LF or NUL; a line longer than 4096
//     characters ends the text.
//  b. Whitespace and comments ("/*" to "*/", across lines) separate tokens.
//     The "static" line must carry the '{'; strings start and end on one
//     line and are separated by ','. Nothing after the last pixel row is
//     read.
//  c. A colour line has the key, one separator, 'c', one separator and the
//     value, nothing else; a key given twice fails the load.
//  d. Text that ends after some pixel rows loads with those rows; the rows
//     never reached are transparent black. Text that ends before the first
//     pixel row fails.
//  e. The probe (ReadInfo) looks at the first 255 bytes only.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"

class cPictXPM : public cPictBase {
public:
  int32_t GetFormat() const override { return kPictFormatXPM; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return false; }

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

private:
  bool LoadInner(cFileIOTarget* stream, bool& streaming);
};
