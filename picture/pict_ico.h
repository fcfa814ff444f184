// cPictICO: the Windows icon and cursor decoder (format id 7). A directory of
// images, each a PNG stream or a DIB whose stored height includes its 1-bit
// AND mask; every image is one picture of the multi-image interface.
//
// Rules:
//  a. The directory is read at the stream's current position (callers put it
//     at the file start); entries and images are read at absolute offsets.
//     Reserved must be 0 and the count non-zero; type 1 (icon) or 2 (cursor)
//     is required except by GetImageCount and GetImageInfo.
//  b. Each image is read through a window (offset, size of its entry) over
//     the stream; its size comes from the image itself, never the entry.
//  c. DIB images are decoded by cPictDIB with the icon-image and
//     palette-after-header flags set; PNG images by cPictPNG.
//  d. ReadInfo reports the largest image (the first of equal areas) with the
//     preview flag, so that fitted loading asks LoadPreview for the image
//     that best fits its box; Load decodes the directory's first image.
//  e. One image that is neither PNG nor DIB makes ReadInfo and LoadPreview
//     fail for the whole file; LoadImage of another index still works.
//  f. Every entry point answers false (a count of 0) instead of letting an
//     exception out.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"

class cPictICO : public cPictBase {
public:
  int32_t GetFormat() const override { return kPictFormatICO; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  // Image 0.
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return true; }
  // The directory's count; 0 when the directory is not an icon directory.
  int32_t GetImageCount(cFileIOTarget* stream) override;
  bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) override;
  bool LoadImage(cFileIOTarget* stream, int32_t index) override;
  // Decodes image index and fits it into the box on background; refuses
  // unless allowFullDecode is set.
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;
  // The largest image within width x height (a side of 0 or less: no limit)
  // moves into destination.
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  // The factory's probe: directory check and the size of the largest image.
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

private:
  bool DecodeImage(cFileIOTarget* stream);

  int32_t index_ = 0;
};
