// Decompressing streams: compressed data presented as a read-only
// cFileIOTarget of known decoded size, decoded on demand into a window by a
// decoder that runs as a worker job.
//
//   cDecompressIOTarget  window, position and size bookkeeping; decoding is
//                        abstract (DecodeTo, Restart).
//   cBaseArchDecompress  the decoder job and the hand-over of the window
//                        between the reading thread and the job.
//   cBaseZStream         the job body for deflate data.
//   cZStream             raw deflate through zlib's inflateBack.
//
// Rules:
//  a. Reading forward continues the decoder; a position before the window
//     restarts it from the start of the source, skipping without copying.
//  b. The window holds only decoded bytes: after damaged data, or when the
//     source decodes to less than the size given to Open, reads end at the
//     last decoded byte (a short count) instead of handing out stale bytes.
//  c. The decoder reads its source sequentially from wherever it stands,
//     seeking it to 0 only when it starts. Two decompressing streams must
//     not read one source object at the same time.
//  d. A stream is read by one thread at a time; the decoder job is its only
//     other thread.
#pragma once

#include <zlib.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/job.h"
#include "base/sync.h"

class cDecompressIOTarget : public cFileIOTarget {
public:
  // Decoded sizes from 2^63 on are refused.
  static constexpr uint64_t kMaxDecodedSize = uint64_t{1} << 63;

  cDecompressIOTarget() = default;
  ~cDecompressIOTarget() override = default;

  uint64_t GetSize() override { return size_; }
  // Cut to size - position; the bytes copied. Ends early (short count) when
  // a window cannot be decoded.
  uint32_t Read(void* destination, uint32_t count) override;
  // Within the decoded window only the position moves; before it the decoder
  // restarts; beyond it the decoder runs on to the position. A position at
  // or past the size goes to the end without decoding. False when nothing
  // could be decoded at the position (the position then stays).
  bool Seek(uint64_t position) override;
  // Seek(size - distance), or Seek(0) when distance is at least the size.
  bool SeekFromEnd(uint64_t distance) override;
  bool SetSize(uint64_t) override { return false; }
  // Forgets the source (deleting an owned one), frees the window, size 0.
  void Close() override;
  bool IsOpen() override { return source_ != nullptr && size_ != 0; }

  // Decodes the window at a decoded position; true when at least one byte
  // was decoded there.
  virtual bool DecodeTo(uint64_t position) = 0;
  // Prepares decoding from the start of the source.
  virtual bool Restart() = 0;
  // Decodes up to room bytes at a decoded position straight into buffer,
  // bypassing the window (which keeps its content); the bytes placed. Read
  // uses it for requests of at least a window. 0 by default: Read then goes
  // through the window.
  virtual uint32_t DecodeDirect(uint64_t position, void* buffer, uint32_t room);
  // Finds the decoded size when Open is given none and stores it in size_;
  // refuses (false) by default, so a size must be given.
  virtual bool ComputeSize(cFileIOTarget* source);
  // Gives other this stream's source (a Clone of it when this stream owns
  // its source or independent is asked; otherwise the same, borrowed), a
  // window of the same size and the same decoded size, positioned at the end
  // so that it must be positioned before reading. Null other: nothing.
  virtual void CopyStateTo(cDecompressIOTarget* other, bool independent);
  // Attaches source, with size decoded bytes, through a window of
  // windowSize bytes, and decodes the first window. With own the stream
  // owns source from this call on, also when Open fails. False without a
  // source, with windowSize <= 0, with a size of 0 (after ComputeSize) or of
  // kMaxDecodedSize and more, when the window cannot be allocated, or when
  // the first window cannot be decoded.
  virtual bool Open(cFileIOTarget* source, uint64_t size, int32_t windowSize, bool own);

protected:
  // Deletes an owned source and forgets the source.
  void ReleaseSource();

  _typebuf<char> window_;
  // Bytes of the window that hold decoded data (from its start).
  int32_t windowValid_ = 0;
  uint64_t windowStart_ = 0;
  uint64_t position_ = 0;
  uint64_t size_ = 0;
  cFileIOTarget* source_ = nullptr;
  std::unique_ptr<cFileIOTarget> ownedSource_;
};

// The decoder job. The reading thread (DecodeTo) and the decoder (Decode,
// calling FetchInput and DeliverOutput) hand the window back and forth: the
// reader describes the request (target, room, filled, wanted) and sets the
// manual-reset go event; the decoder fills the window and sets the
// auto-reset done event. Each side touches the request fields only while
// the other waits.
//
// Decoder states, as the reader sees them:
//   idle     no thread (after construction, StopDecoder, or a failed start);
//            the next DecodeTo starts the job from the start of the source.
//   running  between requests the decoder waits in DeliverOutput for go,
//            holding the rest of its current piece.
//   ended    the data ended (or was damaged): decodedCount_ is final and a
//            request beyond it gets nothing without decoding again.
class cBaseArchDecompress : public cDecompressIOTarget, public cJob {
public:
  static constexpr int32_t kInputBlockSize = 65536;

  cBaseArchDecompress();
  ~cBaseArchDecompress() override;

  bool DecodeTo(uint64_t position) override;
  bool Restart() override;
  uint32_t DecodeDirect(uint64_t position, void* buffer, uint32_t room) override;
  // Stops the decoder first.
  void Close() override;

  // Ends the decoder job and waits for its end; nothing when it is idle.
  void StopDecoder();

protected:
  // The decoder itself, on the job thread: decodes the source from its start
  // with a dictionary window of its own, taking input from FetchInput and
  // handing output to DeliverOutput, until the data ends or either says
  // stop. False when it cannot be set up.
  virtual bool Decode(unsigned char* dictionary) = 0;

  // The next piece of input: one Read of the source into the input block;
  // 0 once a stop has been requested (or at the end of the source).
  uint32_t FetchInput(const unsigned char** data);
  // Hands over n decoded bytes. 0: go on; 1: the decoder has passed the
  // wanted position; 2: stop requested.
  int DeliverOutput(const unsigned char* data, uint32_t n);

  // Run's frame around Decode: the input block, a dictionary window of
  // dictionarySize bytes, and the end signals.
  int32_t RunDecoder(uint32_t dictionarySize);

private:
  // One request of the handshake: room bytes at target from the decoded
  // position; the bytes filled, or -1 when the decoder cannot be run.
  int32_t Request(uint64_t position, char* target, int32_t room);

  _typebuf<unsigned char> inputBlock_;
  uint64_t decodedCount_ = 0;
  char* target_ = nullptr;
  int32_t room_ = 0;
  int32_t filled_ = 0;
  uint64_t wanted_ = 0;
  cEvent goEvent_;
  cEvent doneEvent_;
  cCriticalSection decodeLock_;
  // Reader side: a run was started and not yet stopped (it may have ended).
  bool threadStarted_ = false;
  // Set by the decoder before its final done signal.
  std::atomic<bool> decoderEnded_{false};
};

class cBaseZStream : public cBaseArchDecompress {
public:
  int32_t Run() override;

protected:
  int32_t windowBits_ = 15;
};

class cZStream final : public cBaseZStream {
public:
  cZStream() = default;
  ~cZStream() override;

  // Close, then Open over raw deflate data with the given window bits (0
  // means 15; zlib accepts 8..15). A source that the stream owns already
  // stays owned when it is opened again, as with Open.
  virtual bool OpenDeflate(cFileIOTarget* source, uint64_t size, int32_t windowSize, bool own,
                           int32_t windowBits);
  // A new stream with this one's state (CopyStateTo) and window bits,
  // positioned at the end; null when no source could be given to it.
  std::unique_ptr<cFileIOTarget> Clone(bool independent) override;

protected:
  bool Decode(unsigned char* dictionary) override;
};
