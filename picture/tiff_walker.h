// cTiffGeneric: reads the structure of TIFF and BigTIFF streams (the header,
// one image file directory at a time, the value of every entry) and hands
// each entry, value included, to a virtual handler. It knows no tag meanings;
// the EXIF decoder, the TIFF decoder and the camera readers derive from it.
//
// Rules:
//  a. Values arrive in the file's byte order; the readers below convert.
//  b. Every offset and size is computed in 64 bits and compared with the
//     length before anything is read or allocated: an entry whose count
//     exceeds the length is error 2, an out-of-line value that does not lie
//     wholly inside the length is error 6.
//  c. The data pointer of an out-of-line value points into the scratch
//     buffer and is valid only until the next out-of-line entry.
//  d. Nested walks (sub-IFDs, pages) are the subclasses' business; the walk
//     record (SetParentWalk / IsBeingWalked) lets them refuse a directory
//     that one of their ancestors is walking and bound the depth.
//  e. Failures are a false result with an error code; nothing throws except
//     memory exhaustion.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/fileio.h"
#include "picture/pict_props.h"

// The raw value of one entry as the readers take it.
struct sTiffEntry {
  uint32_t tag = 0;
  uint32_t type = 0;
  const uint8_t* data = nullptr;  // file byte order; may be null
  int32_t size = 0;               // count * type size in bytes
};

struct sTiffRational {
  uint32_t numerator = 0;
  uint32_t denominator = 0;
};

struct sTiffSRational {
  int32_t numerator = 0;
  int32_t denominator = 0;
};

enum eTiffType : uint32_t {
  kTiffByte = 1,
  kTiffAscii = 2,
  kTiffShort = 3,
  kTiffLong = 4,
  kTiffRational = 5,
  kTiffSByte = 6,
  kTiffUndefined = 7,
  kTiffSShort = 8,
  kTiffSLong = 9,
  kTiffSRational = 10,
  kTiffFloat = 11,
  kTiffDouble = 12,
  kTiffIfd = 13,
  kTiffLong8 = 16,
  kTiffSLong8 = 17,
};

enum eTiffError : int32_t {
  kTiffOk = 0,
  kTiffNoStream = 1,
  kTiffBeyondLength = 2,
  kTiffReadFailed = 3,
  kTiffBadHeader = 4,
  kTiffBadType = 5,
  kTiffBadValue = 6,
  kTiffHandlerRefused = 7,
  kTiffThumbnailFailed = 8,
  kTiffCycle = 9,  // a directory that is already being walked, or too deep
};

class cTiffGeneric {
public:
  // The pseudo-tag under which the walker reports a non-zero next-IFD offset.
  static constexpr uint32_t kNextIfdTag = 0x10000;
  // Length argument meaning "the stream's size".
  static constexpr uint64_t kWholeStream = ~uint64_t{0};
  // Nested directories below the first one a walk may reach.
  static constexpr int32_t kMaxDepth = 8;

  cTiffGeneric() = default;
  cTiffGeneric(const cTiffGeneric&) = delete;
  cTiffGeneric& operator=(const cTiffGeneric&) = delete;
  virtual ~cTiffGeneric() = default;

  // ---- Virtual operations, in slot order ----
  // Reads the 8-byte header and walks the first IFD. length: what offsets
  // are compared with, kWholeStream for the stream's size. Clears the error.
  virtual bool ReadHeader(cFileIOTarget* stream, uint64_t length);
  // Walks the IFD at offset in the given layout; length as above.
  virtual bool WalkIFD(cFileIOTarget* stream, bool bigEndian, bool bigTiff, uint64_t offset, uint64_t length);
  // One entry: data is the inline value or null when it lies at
  // valueOffset. The base fetches an out-of-line value and calls OnTag.
  virtual bool OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset);
  // The tag handler; the base accepts everything. False aborts the walk.
  virtual bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size);

  // ---- State ----
  int32_t GetError() const { return error_; }
  void SetError(int32_t code) { error_ = code; }
  uint64_t GetPosition() const { return position_; }
  bool IsBigEndian() const { return bigEndian_; }
  bool IsBigTiff() const { return bigTiff_; }
  cFileIOTarget* GetStream() const { return stream_; }
  uint64_t GetLength() const { return length_; }
  // The last non-zero next-IFD offset in host order.
  uint32_t GetNextIFDOffset() const;
  // Size in bytes of one value of type; 0 for a refused type.
  static uint32_t TypeSize(uint32_t type);

  // ---- Nested walks ----
  // parent is walking the directory that points to this walker's next one.
  void SetParentWalk(const cTiffGeneric* parent) { parent_ = parent; }
  // True when this walker or one of its parents is walking offset, or when
  // the nesting is already kMaxDepth deep.
  bool IsBeingWalked(uint64_t offset) const;
  // The offset of the directory this walker walks (last WalkIFD).
  uint64_t CurrentIfdOffset() const { return ifdOffset_; }

  // ---- Value readers (rule a) ----
  uint32_t GetShort(const uint8_t* data) const;
  uint32_t GetLong(const uint8_t* data) const;
  uint64_t GetLong8(const uint8_t* data) const;
  double GetRational(const uint8_t* data) const;
  bool ReadShortArray(int32_t size, const uint8_t* data, _typebuf<uint16_t>& out) const;
  bool ReadLongArray(int32_t size, const uint8_t* data, _typebuf<uint32_t>& out) const;
  bool ReadLong8Array(int32_t size, const uint8_t* data, _typebuf<uint64_t>& out) const;
  bool ReadRationalArray(int32_t size, const uint8_t* data, _typebuf<double>& out) const;
  bool GetEntryShort(const sTiffEntry& e, uint16_t& out) const;
  bool GetEntryShorts(const sTiffEntry& e, _typebuf<uint16_t>& out) const;
  bool GetEntryInt(const sTiffEntry& e, int32_t& out) const;
  bool GetEntryInts(const sTiffEntry& e, _typebuf<uint32_t>& out) const;
  bool GetEntryRationals(const sTiffEntry& e, _typebuf<sTiffRational>& out) const;
  bool GetEntrySRationals(const sTiffEntry& e, _typebuf<sTiffSRational>& out) const;
  static bool CopyEntryBytes(const sTiffEntry& e, _typebuf<uint8_t>& out);
  // "YYYY:MM:DD HH:MM:SS" (19) or "YYYY:MM:DD" (10) characters, without the
  // NUL; years 1900..2100, no calendar check.
  static bool ParseExifDate(int32_t length, const char* text, sPictTimestamp& out);

protected:
  bool Fail(int32_t code) {
    error_ = code;
    return false;
  }

private:
  bool bigEndian_ = false;
  bool bigTiff_ = false;
  _typebuf<uint8_t> scratch_;
  int32_t error_ = 0;
  uint64_t position_ = 0;
  cFileIOTarget* stream_ = nullptr;
  uint64_t length_ = 0;
  uint8_t nextIfd_[4] = {0, 0, 0, 0};
  uint64_t ifdOffset_ = ~uint64_t{0};
  const cTiffGeneric* parent_ = nullptr;
};
