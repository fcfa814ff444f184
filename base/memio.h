// Streams that hold no file of their own (see base/fileio.h for the rules
// every stream follows):
//   cMemIOTarget     growable memory kept in 64 KiB pages
//   cBufWrapperIO    a caller's fixed buffer, read-only or writable
//   cFileIOSubRange  a byte range of another stream, presented as a stream
// A window either borrows its source (the caller keeps it alive and deletes
// it) or owns it (the window deletes it).
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/sorted_tree.h"

// Byte i lives at offset i % kPageSize of page i / kPageSize. Pages are made
// zero-filled on the first write into them; a missing page reads as zeros,
// and bytes past the size are kept zero, so growing only moves the size.
// Unlike the file stream, positions past the size are refused.
class cMemIOTarget : public cFileIOTarget {
public:
  static constexpr uint32_t kPageSize = 65536;
  // The most the stream holds, 2^31 - 1 bytes: its content must fit one
  // buffer (CopyToBuffer) and a 32-bit process could not hold more anyway.
  static constexpr uint64_t kMaxSize = 0x7FFFFFFFu;

  cMemIOTarget() = default;
  ~cMemIOTarget() override = default;

  uint64_t GetSize() override { return size_; }
  // At most size - position bytes; 0 for a null destination.
  uint32_t Read(void* destination, uint32_t count) override;
  // Creates pages on the way; a page that cannot be allocated, or
  // kMaxSize, ends the write short. Extends the size.
  uint32_t Write(const void* source, uint32_t count) override;
  // Past the size: position = size, false.
  bool Seek(uint64_t position) override;
  // Distance past the start: position = 0, false.
  bool SeekFromEnd(uint64_t distance) override;
  // Drops pages past the new end and zeroes the tail of the last one; the
  // position is cut to the size. False only above kMaxSize.
  bool SetSize(uint64_t size) override;
  // Frees every page; the stream stays usable, empty.
  void Close() override;
  bool IsOpen() override { return true; }
  // A copy of the content, positioned at its end; null when memory runs
  // out. The flag is not used.
  std::unique_ptr<cFileIOTarget> Clone(bool independent) override;
  int GetKind() override { return kMemKind; }

  // Makes destination exactly size bytes and copies the content into it.
  // False when the buffer cannot be allocated; destination is then
  // unchanged.
  bool CopyToBuffer(_typebuf<char>& destination);

private:
  using tPages = cSortedTree<int32_t, _typebuf<char>>;

  // The page's bytes or null; Create makes a missing page (may throw
  // std::bad_alloc).
  char* FindPage(int32_t index);
  char* CreatePage(int32_t index);
  void ForgetCache() {
    cachedIndex_ = -1;
    cachedPage_ = nullptr;
  }

  uint64_t position_ = 0;
  uint64_t size_ = 0;
  tPages pages_{512};
  // The page touched last: one-byte transfers skip the map walk.
  int32_t cachedIndex_ = -1;
  char* cachedPage_ = nullptr;
};

// A stream over a caller's buffer, never freed by the stream. The size is
// fixed: writes stop at its end, and SetSize accepts only the same size.
class cBufWrapperIO : public cFileIOTarget {
public:
  cBufWrapperIO() = default;
  cBufWrapperIO(void* buffer, uint32_t size, bool writable) { Attach(buffer, size, writable); }
  cBufWrapperIO(const void* buffer, uint32_t size) { Attach(buffer, size); }
  ~cBufWrapperIO() override = default;

  // Replaces the buffer, at position 0; returns IsOpen.
  bool Attach(void* buffer, uint32_t size, bool writable);
  bool Attach(const void* buffer, uint32_t size);  // read-only

  uint64_t GetSize() override { return size_; }
  uint32_t Read(void* destination, uint32_t count) override;
  // 0 when read-only.
  uint32_t Write(const void* source, uint32_t count) override;
  bool Seek(uint64_t position) override;
  bool SeekFromEnd(uint64_t distance) override;
  bool SetSize(uint64_t size) override { return buffer_ != nullptr && size == size_; }
  // Forgets the buffer.
  void Close() override;
  bool IsOpen() override { return buffer_ != nullptr; }
  // Over the same buffer, at position 0; null while closed. The flag is not
  // used.
  std::unique_ptr<cFileIOTarget> Clone(bool independent) override;

private:
  char* buffer_ = nullptr;  // written only when readOnly_ is false
  uint32_t size_ = 0;
  uint64_t position_ = 0;
  bool readOnly_ = false;
};

// A window [offset, offset + length) of a source stream. The source is
// seeked before every transfer, so several windows may share one source (from
// one thread). Attaching clamps the window to the source's size.
class cFileIOSubRange : public cFileIOTarget {
public:
  cFileIOSubRange() = default;
  cFileIOSubRange(cFileIOTarget* source, uint64_t offset, uint64_t length) {
    Attach(source, offset, length);
  }
  ~cFileIOSubRange() override = default;

  // Borrows / owns the source (a previously owned one is deleted), clamps the
  // window and rewinds it. Returns IsOpen.
  bool Attach(cFileIOTarget* source, uint64_t offset, uint64_t length);
  bool AttachOwned(std::unique_ptr<cFileIOTarget> source, uint64_t offset, uint64_t length);

  uint64_t GetSize() override { return length_; }
  // Cut to the window; 0 when the source cannot be positioned.
  uint32_t Read(void* destination, uint32_t count) override;
  uint32_t Write(const void* source, uint32_t count) override;
  // Past the window: position = length, false. Otherwise the source's seek
  // result.
  bool Seek(uint64_t position) override;
  bool SeekFromEnd(uint64_t distance) override;
  bool SetSize(uint64_t) override { return false; }
  // Keeps the source.
  void Close() override {}
  bool IsOpen() override { return source_ != nullptr && length_ != 0; }
  // A borrowing window asked for a dependent clone borrows the same source;
  // otherwise the clone owns Clone(independent) of the source. Position 0.
  std::unique_ptr<cFileIOTarget> Clone(bool independent) override;

  uint64_t Offset() const { return offset_; }

private:
  void Clamp(uint64_t offset, uint64_t length);

  uint64_t position_ = 0;
  uint64_t offset_ = 0;
  uint64_t length_ = 0;
  std::unique_ptr<cFileIOTarget> owned_;
  cFileIOTarget* source_ = nullptr;
};
