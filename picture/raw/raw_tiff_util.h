// Small helpers of the camera decoders that walk TIFF structures with their
// own handlers (PEF, ARW, SRW): the first value of an entry, and a bounded
// read of a window of the stream.
#pragma once

#include <cstdint>
#include <vector>

#include "base/fileio.h"
#include "picture/tiff_walker.h"

// Raw sensor buffers larger than this are refused (a 32-bit process could
// not hold the development anyway).
inline constexpr int64_t kRawMaxSamples = int64_t{1} << 28;

// The first value of a SHORT, LONG or LONG8 entry.
inline bool RawFirstInt(const cTiffGeneric& w, uint32_t type, const uint8_t* data, int32_t size, int32_t& out) {
  _typebuf<uint32_t> v;
  if (!w.GetEntryInts(sTiffEntry{0, type, data, size}, v) || v.count < 1) return false;
  out = static_cast<int32_t>(v.data[0]);
  return true;
}

// [offset, offset + count) of the stream into out; false when the window
// does not lie inside the stream or cannot be read.
inline bool RawReadWindow(cFileIOTarget* s, uint64_t offset, uint64_t count, std::vector<uint8_t>& out) {
  const uint64_t size = s->GetSize();
  if (offset > size || count > size - offset || count > 0x7FFFFFFFu) return false;
  out.resize(static_cast<size_t>(count));
  return count == 0 || (s->Seek(offset) && s->ReadExact(out.data(), static_cast<uint32_t>(count)));
}
