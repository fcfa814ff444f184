// cPictGIF: the GIF87a / GIF89a decoder (format id 11). Every image of the
// file is one picture of the multi-image interface, decoded at its own size:
// left and top position, disposal and delay are not applied, nothing is
// composited onto the logical screen.
//
// Rules:
//  a. The stream starts at the file start; every position is absolute.
//  b. Colours come from the image's local table, else the global one; an
//     image without either fails. The transparent index of the graphic
//     control extension in force (the last one met before the image's
//     descriptor) and indexes beyond the table give transparent white.
//  c. Image data is expanded by cLZWDecompress; data that ends early or
//     breaks off still decodes with success, and the pixels it never reaches
//     are transparent black (0) in the buffer and untouched in a canvas.
//  d. GetImageCount is the number of images before the trailer; a file cut
//     off before its trailer counts the images it holds whole; a broken
//     block structure gives -1.
//  e. Every entry point answers false instead of letting an exception out.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"

class cPictGIF : public cPictBase {
public:
  int32_t GetFormat() const override { return kPictFormatGIF; }
  // The logical screen size; the first block must be an extension or an
  // image.
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  // Image 0.
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return true; }
  int32_t GetImageCount(cFileIOTarget* stream) override;
  bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) override;
  bool LoadImage(cFileIOTarget* stream, int32_t index) override;
  // Streams image index into destination made blank at the fitted size
  // (never enlarged); allowFullDecode and background are not used.
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

private:
  bool ReadHeader(cFileIOTarget* stream, bool readTables);
  // Walks the blocks to the index-th image descriptor; true with the stream
  // right after its ','. False otherwise, with index the image count when
  // the walk reached the trailer or the end of the data, -1 when the block
  // structure broke.
  bool SeekImage(cFileIOTarget* stream, int32_t& index, bool readTables);
  bool ReadTable(cFileIOTarget* stream, uint32_t exponent);
  bool DecodeImage(cFileIOTarget* stream, const uint8_t* descriptor);
  bool LoadInner(cFileIOTarget* stream, int32_t index);
  bool PutIndexRow(const uint8_t* indexes, int32_t count, int32_t y);

  uint8_t header_[13] = {};
  // Graphic control: packed byte, delay (2 bytes), transparent index,
  // terminator.
  uint8_t control_[5] = {};
  _typebuf<uint32_t> palette_;
  bool streaming_ = false;
};
