// cPictTIFF: the TIFF and BigTIFF picture decoder (format id 2), at once a
// picture and an EXIF decoder whose target is itself: walking a page's IFD
// fills the page state below and sets the picture properties (18 width,
// 19 height, 20 compression among them). Pages follow the next-IFD chain.
// The strip and tile loops are in tiff_strips.cpp, the row writers in
// tiff_rows.cpp, the CCITT decoders in ccitt_fax.cpp.
//
// Rules:
//  a. Every size from the file is checked before it is used: pictures go
//     through pict_area::CheckedArea, strip and tile byte counts are
//     compared with the stream size before anything is allocated for them.
//  b. A next-IFD chain that returns to a page already visited ends there:
//     the page count covers the pages before the repetition, and a page
//     beyond it does not exist.
//  c. Pixel buffers are cleared when they are allocated, so rows a failing
//     strip never reached read as transparent black.
//  d. Pictures are stored bottom-up (bottom-up flag set); the camera
//     subclasses may clear the flag to keep file order.
//  e. Every row writer asks the stream after each row whether it is still
//     open; a closed stream stops the decode with false.
//  f. No entry point lets an exception out: a throw is a failed result.
#pragma once

#include <cstdint>
#include <vector>

#include "picture/exif.h"
#include "picture/pict_base.h"

// One decompressed strip or tile on its way to the row writers.
struct sTiffStripData {
  _typebuf<uint8_t> data;
  int32_t bytesPerRow = 0;
  int32_t bitsPerSample = 0;
  int32_t samplesPerPixel = 0;
  int32_t rows = 0;  // rows of the strip or tile inside the picture
  int32_t planar = 1;
  int32_t photometric = 0;
  uint16_t sampleFormat = 0;
  bool bigEndian = false;
};

class cPictTIFF : public cPictBase, public cExifDecoder {
public:
  // Pages followed along one next-IFD chain at most.
  static constexpr int32_t kMaxPages = 65536;

  cPictTIFF() = default;
  ~cPictTIFF() override = default;

  // ---- cPictBase ----
  int32_t GetFormat() const override { return kPictFormatTIFF; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return true; }
  int32_t GetImageCount(cFileIOTarget* stream) override;
  bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) override;
  bool LoadImage(cFileIOTarget* stream, int32_t index) override;
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;

  // ---- Hooks the camera decoders replace ----
  virtual bool DecodeFaxT4(const uint8_t* input, int32_t count, sTiffStripData& sd);
  virtual bool DecodeFaxT6(const uint8_t* input, int32_t count, sTiffStripData& sd);
  virtual void ResetPage();
  virtual bool IsPageSupported();
  virtual bool Decompress(const uint8_t* input, int32_t count, int32_t compression, sTiffStripData& sd);
  virtual bool PutPaletteRows(int32_t y, const sTiffStripData& sd);
  virtual bool PutPlanarRows8(int32_t y, int32_t plane, const sTiffStripData& sd);
  virtual bool PutPlanarRows16(int32_t y, int32_t plane, const sTiffStripData& sd);
  virtual bool PutRows8(int32_t y, const sTiffStripData& sd);
  virtual bool PutRows16(int32_t y, const sTiffStripData& sd);
  virtual bool FinishPlanes();
  virtual bool BeginStrips(bool multiple);
  virtual bool BeginTiles();
  virtual bool EndStrips();
  virtual bool EndTiles();

  // ---- EXIF part ----
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  // The factory's probe: ReadInfo on a temporary decoder.
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);
  // The same for readers that find a TIFF inside another container.
  static bool ReadTIFFInfo(cFileIOTarget* stream, sPictInfo* info);

  // ---- Pixel helpers (tiff_rows.cpp) ----
  // samples s[0..count-1] of 8 (16) bits to 0xAARRGGBB (a 64-bit pixel).
  static uint32_t ConvertPixel8(const uint32_t* s, int32_t count, int32_t photometric);
  static uint64_t ConvertPixel16(const uint32_t* s, int32_t count, int32_t photometric);
  // n bits (1..32, resp. 1..64) most significant first from bit position
  // bit of row.
  static uint32_t GetSampleBits(int32_t n, const uint8_t* row, int64_t bit);
  static uint64_t GetSampleBits64(int32_t n, const uint8_t* row, int64_t bit);

  // ---- Strip helpers (tiff_strips.cpp) ----
  // TIFF PackBits; false (output sized, partly written) on a run the input
  // or the output cannot hold, or when the input gives no bytes at all.
  static bool UnpackPackBits(_typebuf<uint8_t>& output, const uint8_t* input, int32_t count);
  // Horizontal differencing undone in place, row by row while a whole row
  // fits in size bytes; bits 1..32, samples in the file's byte order.
  static bool UndoHorizontalPredictor(uint8_t* data, int32_t width, int32_t samplesPerPixel, int32_t bits,
                                      int64_t size, bool bigEndian);

  // Photoshop image resources: the thumbnail resource (1036) as a byte
  // range of data; false when the blocks do not parse.
  static bool FindPhotoshopThumbnail(const uint8_t* data, int32_t size, int32_t& start, int32_t& length);

protected:
  bool DecodeStrips(cFileIOTarget* stream);
  bool DecodeTiles(cFileIOTarget* stream);
  // Header, IFD0 and the page check, as every entry point begins.
  bool OpenFile(cFileIOTarget* stream, bool decodeThumbnail);
  // The next page of the chain; false at its end, at a repetition or on a
  // page that fails.
  bool AdvancePage(cFileIOTarget* stream);
  bool LoadPage(cFileIOTarget* stream, int32_t index);
  bool IsStreaming() const { return streaming_; }
  // For a subclass whose strips go to buffers of its own (a camera's raw
  // frame): PrepareBuffers then sets the depth and allocates nothing.
  // ResetPage clears it.
  void SetOwnStripBuffers(bool on) { ownStripBuffers_ = on; }
  // The target row in the buffer (or canvas) of picture row r.
  int32_t BufferRow(int32_t r) const { return bottomUp_ ? GetHeight() - 1 - r : r; }
  bool StreamStillOpen();

  // ---- Page state ----
  bool bottomUp_ = true;
  uint16_t photometric_ = 0;
  uint32_t rowsPerStrip_ = 0;  // unsigned: 2^32 - 1 is the TIFF default
  _typebuf<uint32_t> stripOffsets_;
  _typebuf<uint32_t> stripByteCounts_;
  int32_t tileWidth_ = 0;
  int32_t tileLength_ = 0;
  _typebuf<uint32_t> tileOffsets_;
  _typebuf<uint32_t> tileByteCounts_;
  _typebuf<uint32_t> subIfds_;
  _typebuf<uint16_t> bitsPerSampleValues_;
  uint16_t bitsPerSample_ = 0;
  int32_t samplesPerPixel_ = 0;
  uint16_t planar_ = 0;
  _typebuf<uint16_t> colorMap_;
  bool streaming_ = false;
  int32_t t4Options_ = 0;
  uint16_t predictor_ = 0;
  uint16_t fillOrder_ = 1;
  uint16_t sampleFormat_ = 0;
  uint32_t nextIfd_ = 0;
  int32_t selectedPage_ = 0;

private:
  bool PhotoshopStep(const uint8_t* data, int32_t size);
  bool DecodeJpegStrip(const uint8_t* input, int32_t count, sTiffStripData& sd);
  bool WriteStrip(int32_t y, int32_t plane, sTiffStripData& sd);
  bool PrepareBuffers(bool deep, bool clear);

  std::vector<uint64_t> visited_;  // IFD offsets of the pages walked
  _typebuf<uint8_t> input_;        // reused strip input
  bool keepBuffers_ = false;       // the next PrepareBuffers starts a decode
  bool ownStripBuffers_ = false;  // see SetOwnStripBuffers
};
