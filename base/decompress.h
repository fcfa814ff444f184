// Decompression of data that is wholly in memory.
//   cDecompress     the interface: an input buffer in, a new output buffer out.
//   cZDecompress    zlib (window bits 15) or raw deflate (-15) through zlib,
//                   whole-buffer and incremental.
//   cLZWDecompress  the variable-width LZW of TIFF strips and GIF image data.
//   Z...            one-shot zlib helpers for callers that own a z_stream.
//
// Rules for every whole-buffer Decompress:
//  a. The output is replaced by the decoded bytes; it may be the input buffer
//     itself, which is read in full before the output is written.
//  b. outputCap bounds the output: the caller passes the size it expects, or
//     a limit of its own. Data that would decode to more than outputCap bytes
//     stops there with the result false and the first outputCap bytes in the
//     output, so a few input bytes cannot make the decoder allocate gigabytes.
//  c. Damaged or truncated data is not a failure by itself: the result stays
//     true and the output holds what was decoded before the damage. Callers
//     that must refuse damaged data ask EndReached, true only when the data
//     ended with its proper end marker (zlib's stream end, LZW's end code).
//  d. A decompressor object is used by one thread at a time.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "base/block_pool.h"
#include "base/buffers.h"
#include "base/memio.h"

class cDecompress {
public:
  cDecompress() = default;
  cDecompress(const cDecompress&) = delete;
  cDecompress& operator=(const cDecompress&) = delete;

  // 0 for the interface, 1 for cLZWDecompress, 2 for cZDecompress.
  virtual int32_t GetKind() const { return 0; }
  // Decodes the whole input into output; see the rules above.
  virtual bool Decompress(const _typebuf<char>& input, _typebuf<char>& output, int32_t outputCap) = 0;
  virtual ~cDecompress() = default;

  // Whether the last decoding (Decompress, InflateWhole, InflateStep) met
  // the data's proper end.
  bool EndReached() const { return endReached_; }

protected:
  bool endReached_ = false;
};

class cZDecompress : public cDecompress {
public:
  static constexpr int32_t kZlibWindowBits = 15;
  static constexpr int32_t kRawWindowBits = -15;

  // windowBits: kZlibWindowBits for zlib streams (header and Adler-32),
  // kRawWindowBits for raw deflate data.
  explicit cZDecompress(int32_t windowBits = kZlibWindowBits);
  ~cZDecompress() override;

  int32_t GetKind() const override { return 2; }

  // Inflates with a stream of its own, leaving the member stream alone. False
  // only when zlib cannot be set up, when the cap is exceeded, or when memory
  // runs out; damage gives true with the output cut short (EndReached false).
  bool Decompress(const _typebuf<char>& input, _typebuf<char>& output, int32_t outputCap) override;

  // The same with the member stream, initialised on the first call and
  // otherwise continued as the last call left it (one object serves one
  // stream; call Reset to start another). True when the stream ends or the
  // input is used up; false on damage, over the cap, on a failed set-up or a
  // negative count. The output holds what was inflated, also on false.
  bool InflateWhole(const void* data, int32_t count, _typebuf<char>& output, int32_t outputCap);

  // One incremental step with the member stream (initialised on first use).
  // data not null: the step's input is count bytes at data, replacing any
  // left over; null: the step continues with the input left over by the last
  // step, and when none is left both counts become 0 and the result is true.
  // Inflates into output with room for outputCount bytes. Afterwards
  // inputCount holds the bytes consumed and outputCount the bytes produced.
  // True when zlib answered Z_OK or Z_STREAM_END (EndReached tells the end).
  bool InflateStep(int32_t& outputCount, const void* data, int32_t& inputCount, void* output);

  // Resets the member stream for a new stream, as inflateReset; false when
  // it was never initialised.
  bool Reset();

private:
  bool EnsureInitialised();

  bool initialised_ = false;
  int32_t windowBits_;
  z_stream stream_{};
};

class cLZWDecompress : public cDecompress {
public:
  // initialWidth 1..9 (other values count as 9): the first code width; the
  // clear code is 2^(initialWidth - 1), the end code clear + 1. TIFF passes
  // 9, most-significant-first and early change; GIF its minimum code size
  // plus one, least-significant-first, no early change.
  cLZWDecompress(int32_t initialWidth, bool mostSignificantFirst, bool earlyChange);
  ~cLZWDecompress() override = default;

  int32_t GetKind() const override { return 1; }

  // False on an empty input, on a code beyond the next one to be defined, on
  // a new-string code while the table is full, over the cap, or when memory
  // runs out; the output keeps what was decoded before. Data that runs out
  // without an end code, or a clear code followed by a code that is neither
  // a literal nor the end code, ends decoding with true (EndReached false).
  bool Decompress(const _typebuf<char>& input, _typebuf<char>& output, int32_t outputCap) override;

  static constexpr int32_t kMaxTableStrings = 4094;
  static constexpr int32_t kMaxWidth = 12;

private:
  struct sString {
    const unsigned char* bytes;
    uint32_t length;
  };
  bool ReadCode(uint32_t& code);
  bool AddString(const sString& prefix, unsigned char last);
  void ClearTable();

  const unsigned char* input_ = nullptr;
  int32_t inputCount_ = 0;
  cBlockPool pool_;
  bool mostSignificantFirst_;
  bool earlyChange_;
  int32_t initialWidth_;
  uint16_t clearCode_;
  uint16_t endCode_;
  uint16_t firstFree_;
  int32_t bytePosition_ = 0;
  uint8_t bitOffset_ = 0;
  uint8_t width_ = 0;
  sString table_[kMaxTableStrings] = {};  // entry i is code firstFree_ + i
  uint16_t tableCount_ = 0;
  cMemIOTarget output_;
};

// One-shot zlib helpers; the caller owns the z_stream.
//
// The stream was set up with inflateInit2 (window bits 15). Resets it, runs
// one inflate with Z_FINISH from input into output and returns the bytes
// produced (0 when the stream is not a valid inflate stream). The count does
// not tell a complete stream from a damaged one: compare it with the size
// expected.
uint32_t ZInflateWhole(z_stream* stream, const void* input, uint32_t count, void* output, uint32_t room);
// inflateEnd.
void ZInflateStop(z_stream* stream);
// Zeroes the stream and sets it up for zlib output: deflate method, window
// bits 15, memory level 8, default strategy. True on success.
bool ZDeflateStart(z_stream* stream, int32_t level);
// Resets the stream, runs one deflate with Z_FINISH and returns the bytes
// produced; 0 when the reset fails.
uint32_t ZDeflateWhole(z_stream* stream, const void* input, uint32_t count, void* output, uint32_t room);
// deflateEnd.
void ZDeflateStop(z_stream* stream);
