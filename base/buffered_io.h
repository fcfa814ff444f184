// Wrapping streams that put a block of memory in front of another stream
// (see base/fileio.h for the rules every stream follows):
//   cMemBufferedIO              read buffer; every operation under its lock
//   cMemBufferedLinearWriterIO  write-combining buffer for sequential output
// Each borrows its source / target (the caller keeps it alive and deletes it)
// or owns it (the wrapper deletes it). Attaching rewinds the new one to 0.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/sync.h"

// Reads are served from a block refilled with one source read of the full
// capacity; requests larger than the capacity bypass it. The source's size is
// read once, at attachment. Any position is accepted; reads past the end come
// back empty. Safe to share between threads: each virtual operation is atomic
// with respect to the others on the same object.
class cMemBufferedIO : public cFileIOTarget {
public:
  explicit cMemBufferedIO(cFileIOTarget* source = nullptr, int32_t capacity = 0);
  ~cMemBufferedIO() override;

  // Replaces the source (deleting an owned one), rewinds it and allocates a
  // block of capacity bytes. False when the block cannot be allocated or the
  // capacity is negative (the stream then has no block: every read goes to
  // the source).
  bool Attach(cFileIOTarget* source, int32_t capacity);
  bool AttachOwned(std::unique_ptr<cFileIOTarget> source, int32_t capacity);

  uint64_t GetSize() override;  // the cached size
  uint32_t Read(void* destination, uint32_t count) override;
  // Written through at the logical position; the cached size stays as it was.
  uint32_t Write(const void* source, uint32_t count) override;
  bool Seek(uint64_t position) override;
  // False, with the position at 0, when distance exceeds the cached size.
  bool SeekFromEnd(uint64_t distance) override;
  bool SetSize(uint64_t size) override;
  // Deletes an owned source, forgets a borrowed one and frees the block.
  void Close() override;
  bool IsOpen() override;
  // A borrowing stream asked for a dependent clone borrows the same source;
  // otherwise the clone owns Clone(independent) of the source. Same
  // capacity, position 0, empty block.
  std::unique_ptr<cFileIOTarget> Clone(bool independent) override;

private:
  bool AttachLocked(cFileIOTarget* source, std::unique_ptr<cFileIOTarget> owned, int32_t capacity);
  void DropBlock() { readIndex_ = capacity_; }

  // Block byte i holds source byte position_ - readIndex_ + i while
  // readIndex_ < capacity_; bytes at valid_ and above were not read.
  cFileIOTarget* source_ = nullptr;
  std::unique_ptr<cFileIOTarget> owned_;
  _typebuf<char> block_;
  uint32_t capacity_ = 0;
  uint32_t readIndex_ = 0;  // == capacity_: the block is used up
  uint32_t valid_ = 0;
  uint64_t position_ = 0;
  uint64_t cachedSize_ = 0;
  cCriticalSection lock_;
};

// Small writes are combined in a block and reach the target one block at a
// time; writes of a block or more go straight through. Used by one thread at
// a time.
//
// A flush that the target takes only in part is sticky: the bytes it took
// are dropped from the block, the rest stay pending, Failed() turns true and
// from then on Write gives 0 and Seek and Flush give false, with no further
// target writes, until the next Attach. Close reports it through Failed().
class cMemBufferedLinearWriterIO : public cFileIOTarget {
public:
  explicit cMemBufferedLinearWriterIO(cFileIOTarget* target = nullptr, int32_t capacity = 0);
  ~cMemBufferedLinearWriterIO() override;

  // Closes (flushing to the old target), takes the new target, rewinds it
  // and allocates an empty block; clears Failed(). False when the block
  // cannot be allocated or the capacity is negative.
  bool Attach(cFileIOTarget* target, int32_t capacity);
  bool AttachOwned(std::unique_ptr<cFileIOTarget> target, int32_t capacity);

  // The target's size plus the pending bytes.
  uint64_t GetSize() override;
  uint32_t Read(void*, uint32_t) override { return 0; }
  // count, or 0 when the pending bytes could not be flushed first; a write
  // of a block or more returns the target's count.
  uint32_t Write(const void* source, uint32_t count) override;
  // Flushes, then seeks the target; false without a block or after a failed
  // flush.
  bool Seek(uint64_t position) override;
  bool SeekFromEnd(uint64_t) override { return false; }
  bool SetSize(uint64_t) override { return false; }
  // Flushes the pending bytes, detaches and frees the block.
  void Close() override;
  bool IsOpen() override;
  // As cMemBufferedIO::Clone; attaching rewinds the clone's target to 0.
  std::unique_ptr<cFileIOTarget> Clone(bool independent) override;

  // Writes the pending bytes; false when the target took fewer or an earlier
  // flush failed.
  bool Flush();
  bool Failed() const { return failed_; }

private:
  bool AttachLocked(cFileIOTarget* target, std::unique_ptr<cFileIOTarget> owned, int32_t capacity);

  cFileIOTarget* target_ = nullptr;
  std::unique_ptr<cFileIOTarget> owned_;
  _typebuf<char> block_;
  uint32_t capacity_ = 0;
  uint32_t pending_ = 0;
  bool failed_ = false;
  cCriticalSection lock_;  // taken by Attach only
};
