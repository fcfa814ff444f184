// cPictPNG: the PNG decoder (format id 3). Signature, chunks with CRCs,
// IHDR, PLTE, tRNS, IDAT and IEND; every colour type and bit depth; the five
// filters; Adam7. Depth 16 decodes into the 64-bit buffer, everything else
// into the 32-bit one, or straight into an attached canvas (streaming).
// Ancillary chunks are skipped: no colour management, no properties.
//
// Rules:
//  a. IHDR must come first and once: a second IHDR, or one after PLTE, tRNS
//     or IDAT, fails (the buffers sized from the first would disagree).
//  b. Pictures of kMaxPixelCount pixels or more, rows that do not fit in
//     31 bits and chunks longer than 2^31 - 1 bytes are refused.
//  c. IDAT data is inflated as it is read, straight into a batch of whole
//     rows (about 64 KiB), so the decoder holds one chunk piece, the batch,
//     the row above and the picture (no picture when streaming).
//  d. Image data that stops early with a valid IEND after it decodes with
//     success; the rows it never reached stay 0. Data beyond the last row is
//     ignored.
//  e. Every entry point (ReadChunks, ReadInfo, Load, Detect) answers false
//     instead of letting an exception out.
#pragma once

#include <cstdint>

#include "base/decompress.h"
#include "picture/pict_base.h"

class cPictPNG : public cPictBase {
public:
  // Header-only mode, as the probes want it; callers clear it before a full
  // decode through ReadChunks.
  cPictPNG() = default;
  ~cPictPNG() override = default;

  int32_t GetFormat() const override { return kPictFormatPNG; }
  // Header-only ReadChunks; false also for a size of 0.
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  // A full ReadChunks.
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return false; }
  // A converted row may be taken over by a derived class: true means the row
  // is done. row is null while streaming into a canvas.
  virtual bool OverrideRow32(uint32_t* row, int32_t width);
  virtual bool OverrideRow64(uint64_t* row, int32_t width);

  // The whole decode of one PNG from the stream's current position; only up
  // to IHDR in header-only mode.
  bool ReadChunks(cFileIOTarget* stream);
  // The factory's probe: a temporary decoder in header-only mode.
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  void SetHeaderOnly(bool on) { headerOnly_ = on; }
  bool IsHeaderOnly() const { return headerOnly_; }

private:
  struct sHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 0;
    uint8_t colourType = 0;
    uint8_t compression = 0;
    uint8_t filter = 0;
    uint8_t interlace = 0;
  };

  bool ReadChunksInner(cFileIOTarget* stream);
  bool CheckHeader(const uint8_t* data);
  bool ReadPalette(const uint8_t* data, uint32_t length);
  bool ReadTransparency(const uint8_t* data, uint32_t length);
  bool AddImageData(const uint8_t* data, int32_t count);
  bool StartPass();
  bool FinishRows();
  bool SizeRows(int32_t size);
  int32_t RowsLeft() const;
  bool UnfilterRow(uint8_t* row, const uint8_t* above);
  bool StoreRow(const uint8_t* bytes, int32_t x0, int32_t dx);
  bool StartPicture();
  int32_t RowBytes(int32_t columns) const;

  uint8_t acceptedDepth_ = 0;
  sHeader header_;
  _typebuf<uint32_t> palette_;
  bool colourKey_ = false;
  bool streaming_ = false;
  uint32_t key32_ = 0xFFFFFFFFu;
  uint64_t key64_ = ~uint64_t{0};
  int32_t currentRow_ = 0;
  int32_t currentPass_ = -1;
  bool headerOnly_ = true;
  // The row above the next one, and a batch of whole rows being inflated
  // (at least one); filled_ bytes of the batch hold inflated data.
  _typebuf<uint8_t> previousRow_;
  _typebuf<uint8_t> thisRow_;
  int32_t filled_ = 0;
  int32_t rowSize_ = 0;  // bytes of one row, filter byte included
  int32_t samples_ = 1;
  int32_t unit_ = 1;
  bool started_ = false;    // the picture (buffer or canvas) is set up
  bool imageDone_ = false;  // every row (or pass) is stored
  bool zUsed_ = false;
  cZDecompress zlib_;
};
