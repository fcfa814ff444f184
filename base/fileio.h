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

// A platform file handle held as an integer: a Win32 HANDLE on Windows, a
// descriptor natively. kInvalidFileHandle (-1) means none.
using tFileHandle = intptr_t;
inline constexpr tFileHandle kInvalidFileHandle = -1;

// Open flags of cFileIO and the *Long functions.
enum : int {
  kFileRead = 1,         // read access
  kFileWrite = 2,        // write access
  kFileShareNone = 4,    // nobody else may open the file meanwhile
  kFileShareRead = 8,    // others may read, not write (ignored with kFileShareNone)
  // With neither share bit, others may read and write.
};

// Seconds value of SetFileTimes that leaves a time unchanged.
inline constexpr uint64_t kKeepFileTime = 0xFFFFFFFFull;

// cFileIO: a stream over a file handle. Paths go through the long-path
// conversion, so they may exceed MAX_PATH. Operations on a closed stream
// fail (Read/Write 0, the rest false). The system calls are in
// fileio_win32.cpp; fileio_posix.cpp is the native stand-in, which cannot
// refuse share modes and has no creation time (see there).
class cFileIO : public cFileIOTarget {
public:
  cFileIO() = default;
  ~cFileIO() override;

  uint64_t GetSize() override;  // 0 while closed
  uint32_t Read(void* destination, uint32_t count) override;
  uint32_t Write(const void* source, uint32_t count) override;
  // Positions past the end are accepted: a read there gives 0, a write
  // extends the file.
  bool Seek(uint64_t position) override;
  // False, with the position unchanged, when distance exceeds the size.
  bool SeekFromEnd(uint64_t distance) override;
  // Truncates or extends; the position is size afterwards.
  bool SetSize(uint64_t size) override;
  // Closes the handle; path and flags stay.
  void Close() override;
  bool SetTime(int year, int month, int day, int hour, int minute, int second) override;
  bool IsOpen() override { return handle_ != kInvalidFileHandle; }
  // Reopens the same path with the same flags (open-existing, so a file made
  // by Create is not truncated), at position 0; null while closed or when
  // the reopening fails. The flag is not used.
  std::unique_ptr<cFileIOTarget> Clone(bool independent) override;
  int GetKind() override { return kFileKind; }
  // Three times in local Unix seconds (modified, created, accessed);
  // kKeepFileTime leaves one unchanged; all three kept is false.
  virtual bool SetFileTimes(uint64_t modified, uint64_t created, uint64_t accessed);

  // Close, then open an existing file / create or truncate one. On failure
  // the stream stays closed and keeps its previous path and flags.
  bool Open(const char16_t* path, int flags);
  bool Create(const char16_t* path, int flags);

  // Exclusive byte-range locks, held until the handle closes (there is no
  // unlock). Lock waits for the range; TryLock fails at once when another
  // handle holds any of it. False while closed.
  bool Lock(uint64_t offset, uint64_t length);
  bool TryLock(uint64_t offset, uint64_t length);

  // Waits until the bytes written so far are on the disk, not only in the
  // system's cache (FlushFileBuffers; natively fsync). False while closed,
  // on a handle without write access (Win32) and when the device fails.
  bool Flush();

  const char16_t* Path() const { return path_.text; }
  int Flags() const { return flags_; }
  tFileHandle Handle() const { return handle_; }

private:
  bool Adopt(tFileHandle handle, const char16_t* path, int flags);

  tFileHandle handle_ = kInvalidFileHandle;
  _guardchar<char16_t> path_;
  int flags_ = kFileRead;
};

// Owner of a raw handle: closes it on destruction unless it is 0 or -1.
class cSafeFD {
public:
  explicit cSafeFD(tFileHandle handle = kInvalidFileHandle) : handle(handle) {}
  cSafeFD(const cSafeFD&) = delete;
  cSafeFD& operator=(const cSafeFD&) = delete;
  virtual ~cSafeFD();

  tFileHandle handle;
};

// Free functions on long paths; each fails when the path cannot be made long
// (null or empty).
// Opens an existing file with the access and sharing of flags; the handle or
// kInvalidFileHandle.
tFileHandle OpenFileLong(const char16_t* path, int flags);
// Creates or truncates a file.
tFileHandle CreateFileLong(const char16_t* path, int flags);
// Renames without replacing an existing target and without copying across
// volumes.
bool MoveFileLong(const char16_t* from, const char16_t* to);
// Renames, replacing an existing target file in the same step, so that the
// target name never stands empty; never copies across volumes. False when
// the target is in use or is a folder.
bool ReplaceFileLong(const char16_t* from, const char16_t* to);
bool DeleteFileLong(const char16_t* path);
// Makes the folder's entries (files created, renamed or removed in it)
// durable. Natively an fsync of the folder; on Windows the file system
// journals its folders itself and this only checks that the folder exists.
bool FlushFolderLong(const char16_t* path);
// SetFileTimes on a raw handle.
bool SetHandleFileTimes(tFileHandle handle, uint64_t modified, uint64_t created, uint64_t accessed);
// Closes a raw handle; kInvalidFileHandle is ignored.
void CloseFileHandle(tFileHandle handle);
