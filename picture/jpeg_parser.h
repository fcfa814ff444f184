// cJPEGParser: reads a JPEG stream (ITU-T T.81 interchange format) strictly
// forward from SOI to EOI, keeps the frame, tables and scan headers, and runs
// the scan decoders. It produces no pixels itself: decoded data leaves
// through the virtual hooks below, which an owner (cPictJPEG) overrides.
//
// Rules:
//  a. Huffman-coded sequential (SOF0, SOF1) and progressive (SOF2) frames of
//     precision 1 to 16 and lossless frames (SOF3) are decoded; arithmetic
//     frames (SOF9, SOF10) are parsed but their scans fail; SOF55 fails at
//     its marker; every other SOFn is skipped as an unknown segment.
//  b. A scan that carries every component of a sequential frame goes to the
//     owner one MCU at a time (memory of one MCU row at most); progressive
//     scans and scans of some components only go into a whole-image
//     coefficient store, emitted at EOI (FinishImage), also after a failed
//     scan so that the owner receives what was decoded.
//  c. Table numbers above 3 are refused where they are named (frame
//     components, scan components); a scan without components is refused.
//  d. The colour code is guessed from the frame's component count.
//  e. The coefficient store is sized in 64 bits and refused above
//     kMaxCoefficientBytes, the same on every target.
//  f. Every failure is a false result; bad input throws nothing of its own
//     (memory exhaustion may raise std::bad_alloc, which the owner catches).
//  g. A buffered image whose stream ends between scans is emitted as far as
//     it was decoded before the parse fails, like one whose scan fails.
//  h. The stream is read through a buffer of its own: bytes past EOI may
//     have been read from the stream when ParseMarkers returns.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/fileio.h"

struct sJpegScanState;

// Colour codes of the row writers.
enum eJpegColour : int32_t {
  kJpegColourNone = 0,
  kJpegColourGrey = 1,
  kJpegColourYCbCr = 2,
  kJpegColourRGB = 3,
  kJpegColourCMYK = 4,
  kJpegColourYCCK = 5,
};

// Error codes passed to OnError.
enum eJpegError : int32_t {
  kJpegErrOutput = 1,      // an output hook refused an MCU
  kJpegErrUnclean = 2,     // entropy data did not end cleanly
  kJpegErrNoStore = 3,     // EOI of a buffered image without a store
  kJpegErrGeometry = 5,    // inconsistent MCU geometry, block size not 8
  kJpegErrArithmetic = 6,  // arithmetic-coded scan
  kJpegErrStart = 7,       // the scan decoder failed to start
  kJpegErrData = 8,        // a block or sample could not be decoded
};

struct sJpegHuffTable {
  uint8_t bits[17] = {};  // bits[l]: codes of length l (index 0 unused)
  uint8_t huffval[256] = {};
  bool defined = false;
};

// One block of coefficients in natural order, with where its decode ended.
struct sJpegBlock {
  int16_t coef[64];
  uint64_t position;
  uint32_t bitBuffer;
  uint8_t bitCount;
  int8_t component;
};

struct sJpegComponent {
  int32_t identifier = 0;
  int32_t index = 0;
  int32_t firstBuffer = 0;  // first coefficient-store slot
  int32_t h = 1, v = 1;
  int32_t quantTable = 0;
  int32_t dcTable = 0, acTable = 0;
  int32_t widthInBlocks = 0, heightInBlocks = 0;
  int32_t dctWidth = 0, dctHeight = 0;
  uint8_t needed = 0;
  int32_t blocksInMcu = 0;
  int32_t multiplier[64] = {};
  uint16_t quant[64] = {};
  // IDCT output (v * 8 rows of h * 8 bytes) and upsampled rows (maxV * 8
  // rows of maxH * 8 bytes); the lossless row of 16-bit samples uses the
  // second.
  _typebuf<uint8_t> idctRows;
  _typebuf<uint8_t> upRows;
};

// The optional per-pixel filter of the row writers; operations in place.
class cPixelFilterTarget {
public:
  virtual void FilterCMYK(uint8_t* cmyk) = 0;
  virtual void FilterRGB(uint32_t* pixel) = 0;
  virtual void FilterRGB16(uint64_t* pixel) = 0;
  virtual void FilterYCbCr(uint8_t* ycc) = 0;
  virtual void FilterYCbCr16(uint16_t* ycc) = 0;
  virtual void FilterYCCK(uint8_t* ycck) = 0;
  virtual ~cPixelFilterTarget() = default;
};

class cJPEGParser {
public:
  // The largest whole-image coefficient store (all slots together).
  static constexpr int64_t kMaxCoefficientBytes = int64_t{1} << 30;

  cJPEGParser() = default;
  cJPEGParser(const cJPEGParser&) = delete;
  cJPEGParser& operator=(const cJPEGParser&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual void Reset();
  // One row of count pixels (32-bit BGRA) from the component rows, one
  // pointer per frame component; with step 1 every second byte is read (the
  // low bytes of 16-bit little-endian samples). By the colour code.
  virtual bool WriteRow(const uint8_t* const* rows, uint32_t* destination, int32_t count, int32_t step);
  // One row of 64-bit pixels from 16-bit sample rows (grey, YCbCr, RGB).
  virtual bool WriteRow16(const uint16_t* const* rows, uint64_t* destination, int32_t count);
  virtual bool DecodeLosslessScan();
  virtual cPixelFilterTarget* GetPixelFilter() { return nullptr; }
  virtual ~cJPEGParser();
  // The APP1 body after its "Exif\0\0" header; false ends the parse.
  virtual bool OnExif(const uint8_t* data, uint32_t count);
  // The frame header is complete; false ends the parse.
  virtual bool OnFrame() { return true; }
  // Every segment before the parser uses it: marker 0xMMFF, the body (null
  // for the segments the parser reads itself) and its count.
  virtual bool OnSegment(uint32_t marker, const uint8_t* data, uint32_t& count);
  virtual bool OnBufferedMcu(int32_t column, int32_t row, sJpegBlock* const* blocks, int32_t count);
  // One MCU of blocks in component order, each component's h * v blocks in
  // row-major order.
  virtual bool OnMcu(int32_t column, int32_t row, sJpegBlock* const* blocks, int32_t count);
  // One row of lossless samples per frame component (16-bit), image row y.
  virtual bool OnLosslessRow(const uint16_t* const* rows, int32_t y, int32_t width);
  virtual void OnBlockError(int32_t, int32_t, int32_t, uint64_t) {}
  virtual void OnSampleError(int32_t, int32_t, uint64_t) {}
  virtual void OnError(uint64_t, int32_t) {}
  virtual bool OnEnd() { return true; }

  // Parses the stream from its current position. True only when EOI was
  // reached and FinishImage and OnEnd succeeded.
  bool ParseMarkers(cFileIOTarget* stream);

  // One MCU into rows of 32-bit pixels; width and height are clipped to the
  // MCU and written back. False above 8 bits of precision, for a block of
  // the wrong component and for sampling that is no whole multiple.
  bool OutputMcu(sJpegBlock* const* blocks, int32_t count, uint32_t* const* rows, int32_t& width, int32_t& height);

  // ---- Results ----
  int32_t FrameWidth() const { return width_; }
  int32_t FrameHeight() const { return height_; }
  int32_t Precision() const { return precision_; }
  int32_t ComponentCount() const { return components_.count; }
  int32_t ColourCode() const { return colourCode_; }
  bool FrameSeen() const { return frameSeen_; }
  int32_t MaxH() const { return maxH_; }
  int32_t MaxV() const { return maxV_; }
  int32_t Coding() const { return coding_; }
  void SetIdsByOffset(bool on) { idsByOffset_ = on; }

  // Scan-header values the lossless decoders look at.
  int32_t ScanSs() const { return ss_; }
  int32_t ScanAl() const { return al_; }

  // ---- Shared with the scan decoders (picture/jpeg_*.cpp) ----
  // Bytes of the stream through the parser's buffer; each byte taken is
  // counted in position_. NextByte answers -1 at the end of the data.
  int32_t NextByte() {
    if (inPos_ == inEnd_ && !Refill()) return -1;
    ++position_;
    return *inPos_++;
  }
  bool ReadBytes(uint8_t* destination, uint32_t count);
  bool Refill();

  const uint8_t* inPos_ = nullptr;
  const uint8_t* inEnd_ = nullptr;
  uint64_t position_ = 0;
  int32_t pendingMarker_ = 0;
  bool firstScan_ = true;
  cFileIOTarget* stream_ = nullptr;
  int32_t precision_ = 0;
  int32_t bytesPerSample_ = 0;
  int32_t width_ = 0, height_ = 0;
  int32_t blockSize_ = 8;
  int32_t blocksPerMcu_ = 0;
  int32_t maxH_ = 1, maxV_ = 1;
  int32_t minDctWidth_ = 8, minDctHeight_ = 8;
  int32_t coding_ = 0;   // 1 Huffman DCT, 2 lossless, 3 arithmetic
  int32_t process_ = 0;  // 1 baseline, 2 extended, 3 progressive
  bool buffered_ = false;
  bool imageBuffered_ = false;  // some scan went to the store
  bool storeEmitted_ = false;   // FinishImage has run
  bool frameSeen_ = false, jfifSeen_ = false, adobeSeen_ = false;
  uint8_t adobeTransform_ = 0;
  int32_t colourCode_ = 0;
  int32_t restartInterval_ = 0;
  int32_t scanCount_ = 0;
  uint8_t scanComponents_[4] = {};
  int32_t ss_ = 0, se_ = 0, ah_ = 0, al_ = 0;
  int32_t limSe_ = 63;
  uint16_t quantTables_[4][64] = {};
  sJpegHuffTable acTables_[4];
  sJpegHuffTable dcTables_[4];
  const uint8_t* naturalOrder_ = nullptr;
  const uint16_t* rangeLimit_ = nullptr;  // at its base (index 0)
  const uint8_t* clamp8_ = nullptr;       // 8-bit writers: clamp to 0..2^P-1
  _classbuf<sJpegComponent> components_;
  _typebuf<uint16_t> sampleTableStore_;
  _typebuf<uint8_t> clampStore_;
  // The coefficient store: one slot per component and block position.
  _classbuf<_typebuf<sJpegBlock>> coefficientBuffers_;
  int32_t storeMcusPerRow_ = 0, storeMcuRows_ = 0;
  bool idsByOffset_ = false;
  // Work arrays of the scan drivers and the output.
  _typebuf<sJpegBlock> mcuBlocks_;
  _typebuf<sJpegBlock*> mcuPointers_;

  bool DecodeSequentialScan(int32_t mcusPerRow, int32_t mcuRows);
  bool DecodeBufferedScan(int32_t mcusPerRow, int32_t mcuRows);
  // One MCU row of a single-component scan in stream order; blockAt(bv, bh,
  // col) gives where each block is kept.
  template <class BlockAt>
  bool DecodeComponentRow(sJpegScanState& state, const sJpegComponent& comp, int32_t row, int32_t mcusPerRow,
                          BlockAt blockAt);
  bool FinishImage();
  bool EndOfDataCheck(sJpegScanState& state);
  void BuildRangeLimit();

private:
  bool ParseInner(cFileIOTarget* stream);
  bool ReadLength(uint32_t& length);
  bool GenericSegment(uint32_t marker);
  bool FrameHeader(int32_t marker);
  bool QuantTables();
  bool HuffTables();
  bool RestartInterval();
  bool ScanHeader();
  bool AppSegment(int32_t marker);
  bool DecodeScan();
  void GuessColour();

  _typebuf<uint8_t> inBuffer_;
};
