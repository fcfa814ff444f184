// cHttpResponse: the sink that an HTTP answer is read into, and its reader.
// Callers derive from it: OnHeaders sees the status and headers once the
// head is complete, OnData receives the body in order.
//
// Rules the reader keeps (Read):
//  a. Success means the whole body arrived: exactly Content-Length bytes, a
//     chunked body up to its last chunk, or, with neither, everything up to
//     an orderly close by the peer. A stream that ends anywhere else (in the
//     head, inside a chunked body, short of Content-Length) fails, and so
//     does a receive that timed out or failed (net/socket_io.h
//     EndedByPeer), whatever arrived before.
//  b. Never more than Content-Length bytes go to OnData; bytes a server
//     sends past the body are dropped.
//  c. The head is read in whole lines (a line may arrive over any number of
//     reads) and may be at most kMaxHead bytes; a longer one fails.
//  d. 204 and 304 answers have no body: Read ends after OnHeaders. Interim
//     1xx heads are skipped: OnHeaders sees the final head only.
//  g. A chunked body is framed by its chunks alone; a Content-Length
//     beside it does not limit it (and becomes the body's size at the end).
//  e. OnData offsets are running body positions: each call's offset is the
//     previous one plus its length, starting at 0.
//  f. Nothing throws for bad input; every failure is a false result.
#pragma once

#include <cstdint>

#include "base/fileio.h"
#include "base/guardchar.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"

class cHttpResponse {
public:
  // One read asks for at most this much.
  static constexpr uint32_t kBufferSize = 65536;
  // The most a head may take, status line and blank line included.
  static constexpr uint32_t kMaxHead = 65536;

  cHttpResponse() = default;
  cHttpResponse(const cHttpResponse&) = delete;
  cHttpResponse& operator=(const cHttpResponse&) = delete;
  virtual ~cHttpResponse() = default;

  // Clears the headers, status 0, Content-Length -1, not chunked, and the
  // reader's state. Read calls it first.
  virtual void Reset();
  // Body bytes; offset is the position of data[0] in the body. False aborts
  // the read (Read fails).
  virtual bool OnData(const char* data, uint32_t length, uint64_t offset);
  // Called once when the head is complete. A subclass answers false for any
  // status it cannot use (Read fails).
  virtual bool OnHeaders();

  // Reads one answer from stream into this sink; see the rules above. False
  // for a missing or closed stream.
  bool Read(cFileIOTarget* stream);

  // The value of the header named exactly name (case-sensitive), or null.
  const char* FindHeader(const char* name) const;
  // The value of the header named exactly "Location", or null.
  const char* GetLocation() const { return FindHeader("Location"); }

  int32_t status = 0;          // 0 until a status line was read
  int64_t contentLength = -1;  // -1 while unknown; after the last chunk, the body's size
  uint8_t chunked = 0;         // Transfer-Encoding contains "chunked"
  cSortedTree<cPackedKey, _guardchar<char>> headers{kPackedKeyDepthLimit};

private:
  // Chunked body decoder: what the next byte must be.
  enum class eChunk : uint8_t {
    kSize,    // hexadecimal size digits, or the '\r' that ends them
    kSizeLF,  // the '\n' after the size
    kData,    // chunkLeft_ bytes of data
    kDataCR,  // the '\r' after the data
    kDataLF,  // the '\n' after the data
    kDone,    // the last chunk (size 0) was read
  };

  // Whole lines of data[0..size): consumed is the bytes of the lines taken,
  // ended true once the blank line was taken. False for a malformed head.
  bool ParseHead(const char* data, uint32_t size, uint32_t& consumed, bool& ended);
  bool ParseHeadLine(const char* line, uint32_t length);
  // One buffer of body bytes; false when OnData refuses or a chunked body
  // is malformed.
  bool DeliverBody(const char* data, uint32_t size);
  bool DeliverChunked(const char* data, uint32_t size);
  bool BodyComplete() const;

  uint64_t delivered_ = 0;   // body bytes given to OnData
  uint32_t headBytes_ = 0;   // head bytes taken so far
  eChunk chunkState_ = eChunk::kSize;
  uint64_t chunkSize_ = 0;   // the size being read
  uint32_t sizeDigits_ = 0;  // digits of it so far
  uint64_t chunkLeft_ = 0;   // bytes left in the current chunk
};
