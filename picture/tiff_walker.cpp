// See tiff_walker.h.
#include "picture/tiff_walker.h"

#include <cstdio>
#include <cstring>

namespace {

inline uint32_t Swap16(uint32_t v) { return ((v & 0xFF) << 8) | ((v >> 8) & 0xFF); }
inline uint32_t Swap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

inline uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
inline uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }
inline uint64_t Le64(const uint8_t* p) { return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32; }
inline uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
inline uint32_t Be32(const uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }
inline uint64_t Be64(const uint8_t* p) { return static_cast<uint64_t>(Be32(p)) << 32 | Be32(p + 4); }

}  // namespace

uint32_t cTiffGeneric::TypeSize(uint32_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: case 16: case 17: return 8;
    default: return 0;
  }
}

bool cTiffGeneric::ReadHeader(cFileIOTarget* stream, uint64_t length) {
  stream_ = stream;
  position_ = 0;
  error_ = 0;
  if (stream == nullptr) return Fail(kTiffNoStream);
  if (length == kWholeStream) length = stream->GetSize();
  if (length < 8 || length == kWholeStream) return Fail(kTiffBeyondLength);
  length_ = length;
  uint8_t h[8];
  if (!stream->Seek(0) || !stream->ReadExact(h, 8)) return Fail(kTiffReadFailed);
  bool be;
  if (h[0] == 'I' && h[1] == 'I') be = false;
  else if (h[0] == 'M' && h[1] == 'M') be = true;
  else return Fail(kTiffBadHeader);
  bigEndian_ = be;
  const uint32_t version = be ? Be16(h + 2) : Le16(h + 2);
  if (version == 42) {
    const uint32_t first = be ? Be32(h + 4) : Le32(h + 4);
    if (first < 8) return Fail(kTiffBadHeader);
    return WalkIFD(stream, be, false, first, length);
  }
  if (version == 43) {
    uint8_t o[8];
    position_ = 8;
    if (!stream->Seek(8) || !stream->ReadExact(o, 8)) return Fail(kTiffReadFailed);
    const uint64_t first = be ? Be64(o) : Le64(o);
    if (first > length) return Fail(kTiffReadFailed);
    return WalkIFD(stream, be, true, first, length);
  }
  return Fail(kTiffBadHeader);
}

bool cTiffGeneric::IsBeingWalked(uint64_t offset) const {
  int32_t depth = 0;
  for (const cTiffGeneric* w = this; w != nullptr; w = w->parent_) {
    if (w->ifdOffset_ == offset) return true;
    if (++depth > kMaxDepth) return true;
  }
  return false;
}

bool cTiffGeneric::WalkIFD(cFileIOTarget* stream, bool bigEndian, bool bigTiff, uint64_t offset, uint64_t length) {
  stream_ = stream;
  bigEndian_ = bigEndian;
  bigTiff_ = bigTiff;
  position_ = offset;
  if (stream == nullptr) return Fail(kTiffNoStream);
  if (length == kWholeStream) length = stream->GetSize();
  length_ = length;
  ifdOffset_ = offset;
  if (offset > length || length - offset < 2) return Fail(kTiffBeyondLength);
  const uint32_t countSize = bigTiff ? 8 : 2;
  uint8_t c[8];
  if (!stream->Seek(offset) || !stream->ReadExact(c, countSize)) return Fail(kTiffReadFailed);
  int64_t count;
  if (bigTiff) {
    const uint32_t low = static_cast<uint32_t>(bigEndian ? Be64(c) : Le64(c));
    count = static_cast<int32_t>(low) < 0 ? 0 : low;
  } else {
    count = bigEndian ? Be16(c) : Le16(c);
  }
  const uint32_t entrySize = bigTiff ? 20 : 12;
  const uint32_t fieldSize = bigTiff ? 8 : 4;
  uint64_t pos = offset + countSize;
  for (int64_t i = 0; i < count; ++i, pos += entrySize) {
    position_ = pos;
    uint8_t e[20];
    if (!stream->Seek(pos) || !stream->ReadExact(e, entrySize)) return Fail(kTiffReadFailed);
    const uint32_t tag = bigEndian ? Be16(e) : Le16(e);
    const uint32_t type = bigEndian ? Be16(e + 2) : Le16(e + 2);
    const uint64_t n = bigTiff ? (bigEndian ? Be64(e + 4) : Le64(e + 4)) : (bigEndian ? Be32(e + 4) : Le32(e + 4));
    const uint8_t* field = e + (bigTiff ? 12 : 8);
    if (n > length) return Fail(kTiffBeyondLength);
    uint32_t typeSize = TypeSize(type);
    if (type == 0 && tag <= 1) typeSize = 0;
    else if (typeSize == 0) return Fail(kTiffBadType);
    // n <= length and typeSize <= 8: no overflow in 64 bits.
    const uint64_t size = n * typeSize;
    if (size > 0x7FFFFFFFu) return Fail(kTiffBeyondLength);
    bool ok;
    if (size <= fieldSize) {
      ok = OnEntry(tag, type, field, static_cast<int32_t>(size), 0);
    } else {
      const uint64_t at = bigTiff ? (bigEndian ? Be64(field) : Le64(field)) : (bigEndian ? Be32(field) : Le32(field));
      // The whole value must lie inside the length, checked before the
      // scratch buffer grows to its size.
      if (at >= length || size > length - at) return Fail(kTiffBadValue);
      ok = OnEntry(tag, type, nullptr, static_cast<int32_t>(size), at);
    }
    if (!ok) {
      if (error_ == 0) error_ = kTiffHandlerRefused;
      return false;
    }
  }
  position_ = pos;
  if (pos == stream->GetSize() || pos == length) return true;
  uint8_t next[8];
  if (!stream->Seek(pos) || !stream->ReadExact(next, fieldSize)) return Fail(kTiffReadFailed);
  // The low 32 bits, kept in file byte order.
  if (bigTiff && bigEndian) std::memcpy(nextIfd_, next + 4, 4);
  else std::memcpy(nextIfd_, next, 4);
  uint8_t kept[4];
  std::memcpy(kept, nextIfd_, 4);
  if (GetLong(kept) != 0) {
    if (!OnEntry(kNextIfdTag, kTiffLong, kept, 4, 0)) return false;
  }
  return true;
}

bool cTiffGeneric::OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) {
  if (data == nullptr && size > 0) {
    if (scratch_.count < size) {
      try {
        scratch_.Reallocate(size);
      } catch (const std::bad_alloc&) {
        scratch_.Reset();
      }
      if (scratch_.count < size) return Fail(kTiffBadValue);
    }
    position_ = valueOffset;
    if (!stream_->Seek(valueOffset) || !stream_->ReadExact(scratch_.data, static_cast<uint32_t>(size)))
      return Fail(kTiffBadValue);
    data = scratch_.data;
  }
  return OnTag(tag, type, data, size);
}

bool cTiffGeneric::OnTag(uint32_t, uint32_t, const uint8_t*, int32_t) { return true; }

uint32_t cTiffGeneric::GetNextIFDOffset() const { return GetLong(nextIfd_); }

uint32_t cTiffGeneric::GetShort(const uint8_t* p) const {
  if (p == nullptr) return 0;
  return bigEndian_ ? Be16(p) : Le16(p);
}

uint32_t cTiffGeneric::GetLong(const uint8_t* p) const {
  if (p == nullptr) return 0;
  return bigEndian_ ? Be32(p) : Le32(p);
}

uint64_t cTiffGeneric::GetLong8(const uint8_t* p) const {
  if (p == nullptr) return 0;
  return bigEndian_ ? Be64(p) : Le64(p);
}

double cTiffGeneric::GetRational(const uint8_t* p) const {
  if (p == nullptr) return 0.0;
  const uint32_t d = GetLong(p + 4);
  return d == 0 ? 0.0 : static_cast<double>(GetLong(p)) / d;
}

bool cTiffGeneric::ReadShortArray(int32_t size, const uint8_t* data, _typebuf<uint16_t>& out) const {
  out.Reset();
  const int32_t n = size / 2;
  if (n <= 0 || data == nullptr) return n <= 0;
  out.Reallocate(n);
  for (int32_t i = 0; i < n; ++i) out.data[i] = static_cast<uint16_t>(GetShort(data + 2 * i));
  return true;
}

bool cTiffGeneric::ReadLongArray(int32_t size, const uint8_t* data, _typebuf<uint32_t>& out) const {
  out.Reset();
  const int32_t n = size / 4;
  if (n <= 0 || data == nullptr) return n <= 0;
  out.Reallocate(n);
  for (int32_t i = 0; i < n; ++i) out.data[i] = GetLong(data + 4 * i);
  return true;
}

bool cTiffGeneric::ReadLong8Array(int32_t size, const uint8_t* data, _typebuf<uint64_t>& out) const {
  out.Reset();
  const int32_t n = size / 8;
  if (n <= 0 || data == nullptr) return n <= 0;
  out.Reallocate(n);
  for (int32_t i = 0; i < n; ++i) out.data[i] = GetLong8(data + 8 * i);
  return true;
}

bool cTiffGeneric::ReadRationalArray(int32_t size, const uint8_t* data, _typebuf<double>& out) const {
  out.Reset();
  const int32_t n = size / 8;
  if (n <= 0 || data == nullptr) return n <= 0;
  out.Reallocate(n);
  for (int32_t i = 0; i < n; ++i) out.data[i] = GetRational(data + 8 * i);
  return true;
}

bool cTiffGeneric::GetEntryShort(const sTiffEntry& e, uint16_t& out) const {
  if (e.type != kTiffShort || e.size < 2) return false;
  out = static_cast<uint16_t>(GetShort(e.data));
  return true;
}

bool cTiffGeneric::GetEntryShorts(const sTiffEntry& e, _typebuf<uint16_t>& out) const {
  if (e.type != kTiffShort) return false;
  return ReadShortArray(e.size, e.data, out);
}

bool cTiffGeneric::GetEntryInt(const sTiffEntry& e, int32_t& out) const {
  if (e.type == kTiffShort && e.size >= 2) {
    out = static_cast<int32_t>(GetShort(e.data));
    return true;
  }
  if ((e.type == kTiffLong || e.type == kTiffSLong || e.type == kTiffIfd) && e.size >= 4) {
    out = static_cast<int32_t>(GetLong(e.data));
    return true;
  }
  return false;
}

bool cTiffGeneric::GetEntryInts(const sTiffEntry& e, _typebuf<uint32_t>& out) const {
  out.Reset();
  int32_t n;
  switch (e.type) {
    case kTiffShort: n = e.size / 2; break;
    case kTiffLong: n = e.size / 4; break;
    case kTiffLong8: n = e.size / 8; break;
    default: return false;
  }
  if (n <= 0 || e.data == nullptr) return true;
  out.Reallocate(n);
  for (int32_t i = 0; i < n; ++i) {
    if (e.type == kTiffShort) out.data[i] = GetShort(e.data + 2 * i);
    else if (e.type == kTiffLong) out.data[i] = GetLong(e.data + 4 * i);
    else out.data[i] = static_cast<uint32_t>(GetLong8(e.data + 8 * i));
  }
  return true;
}

bool cTiffGeneric::GetEntryRationals(const sTiffEntry& e, _typebuf<sTiffRational>& out) const {
  out.Reset();
  if (e.type != kTiffRational) return false;
  const int32_t n = e.size / 8;
  if (n <= 0 || e.data == nullptr) return true;
  out.Reallocate(n);
  for (int32_t i = 0; i < n; ++i) out.data[i] = {GetLong(e.data + 8 * i), GetLong(e.data + 8 * i + 4)};
  return true;
}

bool cTiffGeneric::GetEntrySRationals(const sTiffEntry& e, _typebuf<sTiffSRational>& out) const {
  out.Reset();
  if (e.type != kTiffSRational) return false;
  const int32_t n = e.size / 8;
  if (n <= 0 || e.data == nullptr) return true;
  out.Reallocate(n);
  for (int32_t i = 0; i < n; ++i)
    out.data[i] = {static_cast<int32_t>(GetLong(e.data + 8 * i)), static_cast<int32_t>(GetLong(e.data + 8 * i + 4))};
  return true;
}

bool cTiffGeneric::CopyEntryBytes(const sTiffEntry& e, _typebuf<uint8_t>& out) {
  out.Reset();
  if (e.size <= 0 || e.data == nullptr) return true;
  out.Reallocate(e.size);
  std::memcpy(out.data, e.data, static_cast<size_t>(e.size));
  return true;
}

bool cTiffGeneric::ParseExifDate(int32_t length, const char* text, sPictTimestamp& out) {
  if ((length != 10 && length != 19) || text == nullptr) return false;
  char t[20];
  std::memcpy(t, text, static_cast<size_t>(length));
  t[length] = 0;
  t[4] = t[7] = '-';
  if (length == 19) t[10] = t[13] = t[16] = '-';
  // Each field is read as at most its own digits, so that a blank field
  // stays 0 instead of consuming its neighbour.
  int v[6] = {0, 0, 0, 0, 0, 0};
  const int starts[6] = {0, 5, 8, 11, 14, 17};
  const int widths[6] = {4, 2, 2, 2, 2, 2};
  const int fields = length == 19 ? 6 : 3;
  for (int f = 0; f < fields; ++f) {
    char part[5] = {0, 0, 0, 0, 0};
    std::memcpy(part, t + starts[f], static_cast<size_t>(widths[f]));
    int x = 0;
    if (std::sscanf(part, "%d", &x) == 1) v[f] = x;
  }
  if (v[0] < 1900 || v[0] > 2100 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31) return false;
  if (length == 19 && (v[3] < 0 || v[3] > 23 || v[4] < 0 || v[4] > 59 || v[5] < 0 || v[5] > 59)) return false;
  out.year = static_cast<uint16_t>(v[0]);
  out.month = static_cast<uint8_t>(v[1]);
  out.day = static_cast<uint8_t>(v[2]);
  out.hour = static_cast<uint8_t>(v[3]);
  out.minute = static_cast<uint8_t>(v[4]);
  out.second = static_cast<uint8_t>(v[5]);
  return true;
}
