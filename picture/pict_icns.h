// cPictICNS: the Apple icon-family decoder (format id 12). An 'icns'
// container of typed elements; every usable element is one image: the
// classic 1-, 4-, 8- and 24-bit icons with their 1-bit or 8-bit masks, and
// embedded PNG or JPEG 2000 images. A plain load picks the largest image.
//
// Rules:
//  a. All numbers are big-endian. A walk reads the 8-byte file header
//     ('icns', total length above 15) and then element headers (type,
//     length including the header) from offset 8 up to the total length.
//     An element shorter than its own header (length below 8) or running
//     past the total length is a structural error: the walk fails. Reads
//     and allocations are bounded by the bytes that are really left.
//  b. Usable: the classic types of the table in pict_icns.cpp, and the
//     embedded types (ic07 to ic14, icp4 to icp6) whose data is a PNG, a
//     JP2 file or a JPEG 2000 codestream (decoded by cPictJP2 / cPictJ2K).
//  c. Classic 1-, 4- and 8-bit elements must have their exact length; 24-bit
//     ones of the raw length hold R, G, B bytes, any other length is
//     run-length coded per channel. The mask is taken from the element that
//     follows directly; a missing or short mask leaves the image opaque.
//  d. ReadInfo remembers the largest element (the first of equal areas) and
//     always reports a preview; Load decodes the remembered element, or the
//     largest one. A failed ReadInfo or Load clears the remembered element.
//  e. Every entry point answers false (a count of 0) instead of letting an
//     exception out.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"

class cPictICNS : public cPictBase {
public:
  int32_t GetFormat() const override { return kPictFormatICNS; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return true; }
  // The number of usable elements of a clean walk; 0 on a structural error.
  int32_t GetImageCount(cFileIOTarget* stream) override;
  bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) override;
  bool LoadImage(cFileIOTarget* stream, int32_t index) override;
  // Image index into destination, shrunk into the box on background when it
  // does not fit; allowFullDecode is not used.
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;
  // Without limits (both 0 or less) Load and move the picture into
  // destination; otherwise the largest image within the limits (a side of 0
  // or less: unlimited; both at least 16 to succeed).
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  // The run-length coding of the 24-bit elements: three channel planes of
  // out.count / 3 bytes each, interleaved into out (R, G, B per pixel);
  // data starting with four zero bytes is read from byte 4. Parts the data
  // does not reach are 0.
  static void UnpackRle(const uint8_t* data, uint32_t length, _typebuf<uint8_t>& out);

private:
  struct sElement {
    uint32_t offset = 0;
    uint32_t length = 0;
    int32_t width = 0;
    int32_t height = 0;
  };
  bool FindBestElement(cFileIOTarget* stream, int64_t maxWidth, int64_t maxHeight, sElement& found);
  bool FindElementByIndex(cFileIOTarget* stream, int32_t index, sElement& found);
  bool LoadElement(cFileIOTarget* stream, uint32_t offset, uint32_t length);
  bool DrawElement(const uint8_t* data, int32_t width, int32_t height, int32_t bits, const uint8_t* mask,
                   int32_t maskBits);

  int32_t selectedOffset_ = -1;
  uint32_t selectedLength_ = 0;
};
