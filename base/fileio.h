// cFileIOTarget: the one byte-stream interface of the system, and cFileIO,
// the stream over an open file, with the free functions on long paths.
//
// Rules for every stream kind:
//  a. Sizes and positions are unsigned 64-bit; one transfer moves at most
//     2^32 - 1 bytes and reports how many it moved.
//  b. A transfer moves the position by the bytes actually moved. A short
//     count is not an error by itself: callers that need every byte use
//     ReadExact / WriteExact.
//  c. Failures show as false, a short or zero count, or a null clone; no
//     operation throws for an I/O failure (only std::bad_alloc escapes
//     where a kind says so).
//  d. Clone never changes the stream it copies; the caller owns the clone.
//     "independent" asks for a clone that shares no source object with the
//     original; each kind says what it does with the flag.
//  e. One stream object is used by one thread at a time unless its kind
//     says otherwise.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/guardchar.h"

class cFileIOTarget {
public:
  cFileIOTarget() = default;
  cFileIOTarget(const cFileIOTarget&) = delete;
  cFileIOTarget& operator=(const cFileIOTarget&) = delete;

  // Size of the stream's data.
  virtual uint64_t GetSize() = 0;
  // Up to count bytes into destination; the bytes moved, 0 at the end of the
  // data and on failure (the two are not told apart).
  virtual uint32_t Read(void* destination, uint32_t count) = 0;
  // Up to count bytes from source; the bytes moved. A read-only kind keeps
  // this default and moves nothing.
  virtual uint32_t Write(const void* source, uint32_t count);
  // True when Read / Write moved exactly count bytes.
  virtual bool ReadExact(void* destination, uint32_t count);
  virtual bool WriteExact(const void* source, uint32_t count);
  // Absolute position. Whether a position past the end is accepted depends
  // on the kind (files yes, memory streams no).
  virtual bool Seek(uint64_t position) = 0;
  // Position becomes size - distance.
  virtual bool SeekFromEnd(uint64_t distance) = 0;
  virtual bool SetSize(uint64_t size) = 0;
  // Detaches the stream from its data.
  virtual void Close() = 0;
  // Sets creation and last-write time, taken as UTC; false unless the kind
  // has a file behind it.
  virtual bool SetTime(int year, int month, int day, int hour, int minute, int second);
  // The stream is attached to data.
  virtual bool IsOpen();
  virtual ~cFileIOTarget() = default;
  // A new stream over the same data, owned by the caller; null on failure.
  virtual std::unique_ptr<cFileIOTarget> Clone(bool independent) = 0;
  // kFileKind for cFileIO, kMemKind for cMemIOTarget, 0 for every other kind.
  virtual int GetKind();

  static constexpr int kFileKind = 1;
  static constexpr int kMemKind = 2;
};
