// Shared by the package reader, the writer and the payload list; never
// included by the public headers.
#pragma once

#include <cstdint>
#include <cstring>

#include "base/fileio.h"

namespace tw::pkg {

// A reader over a stream that counts the bytes it may still take. It starts
// from the stream's size: at position 0 that is exact, elsewhere an upper
// bound, so that a length read from the data is compared with what the data
// can hold before anything is allocated for it.
class cPkgInput {
public:
  explicit cPkgInput(cFileIOTarget* stream) : stream_(stream), left_(stream != nullptr ? stream->GetSize() : 0) {}

  bool Fits(uint64_t n) const { return n <= left_; }
  uint64_t Left() const { return left_; }

  bool Bytes(void* out, uint32_t n) {
    if (n == 0) return true;
    if (!Fits(n) || !stream_->ReadExact(out, n)) return false;
    left_ -= n;
    return true;
  }
  bool U8(uint8_t& v) { return Bytes(&v, 1); }
  bool U16(uint16_t& v) {
    uint8_t b[2];
    if (!Bytes(b, 2)) return false;
    v = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
  }
  bool U32(uint32_t& v) {
    uint8_t b[4];
    if (!Bytes(b, 4)) return false;
    v = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
        (static_cast<uint32_t>(b[3]) << 24);
    return true;
  }

private:
  cFileIOTarget* stream_;
  uint64_t left_;
};

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline bool WriteU8(cFileIOTarget* s, uint8_t v) { return s->WriteExact(&v, 1); }
inline bool WriteU16(cFileIOTarget* s, uint16_t v) {
  uint8_t b[2];
  PutU16(b, v);
  return s->WriteExact(b, 2);
}
inline bool WriteU32(cFileIOTarget* s, uint32_t v) {
  uint8_t b[4];
  PutU32(b, v);
  return s->WriteExact(b, 4);
}

}  // namespace tw::pkg
