// cPictJPEG: the JPEG picture decoder (format id 1), a cPictBase driven by
// the marker parser cJPEGParser. Three modes: info (up to the frame header),
// load (every scan, into the pixel buffers or an attached canvas) and
// thumbnail (the EXIF thumbnail only).
//
// Rules:
//  a. Pixels are 32-bit up to 8 bits of precision, else 64-bit; DCT frames
//     above 8 bits, arithmetic-coded frames and lossless frames with a
//     predictor other than 1, a point transform or subsampling fail to load,
//     so that the factory goes on to the next format.
//  b. The object may be reused: the row pointers and the canvas work
//     buffers grow to each picture's needs.
//  c. ReadInfo answers whether the frame header was reached; a file cut
//     right after it still gives its size.
//  d. No entry point lets an exception out: a throw is a failed result.
#pragma once

#include <cstdint>

#include "picture/jpeg_parser.h"
#include "picture/pict_base.h"

class cPictJPEG : public cPictBase, public cJPEGParser {
public:
  enum eMode : int32_t { kModeNone = 0, kModeInfo = 1, kModeLoad = 2, kModeThumbnail = 3 };

  cPictJPEG() = default;
  ~cPictJPEG() override = default;

  // ---- cPictBase ----
  int32_t GetFormat() const override { return kPictFormatJPEG; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return false; }
  // Moves the EXIF thumbnail into destination; the wanted size is not used.
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  // The factory's probe: ReadInfo on a temporary decoder.
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);
  // Whether a JPEG embedded in count bytes (a thumbnail, a TIFF strip) may
  // be as large as its frame header says: every 8 x 8 block costs at least
  // two bits of entropy data, so a frame of more than 256 pixels per byte
  // cannot be real data and would only make the decoder allocate for it.
  static bool PlausibleEmbeddedSize(cFileIOTarget* stream, uint64_t count);

  // ---- cJPEGParser hooks ----
  bool DecodeLosslessScan() override;
  cPixelFilterTarget* GetPixelFilter() override { return nullptr; }
  bool OnExif(const uint8_t* data, uint32_t count) override;
  bool OnFrame() override;
  bool OnMcu(int32_t column, int32_t row, sJpegBlock* const* blocks, int32_t count) override;
  bool OnLosslessRow(const uint16_t* const* rows, int32_t y, int32_t width) override;

protected:
  int32_t Mode() const { return mode_; }
  bool RunParse(cFileIOTarget* stream, int32_t mode);

private:
  int32_t mode_ = kModeNone;
  bool frameReached_ = false;
  bool streaming_ = false;
  _typebuf<uint32_t> row32_;
  _typebuf<uint64_t> row64_;
  _typebuf<uint32_t*> rowPointers_;
};
