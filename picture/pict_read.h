// Small readers shared by the decoders of simple raster formats: little-endian
// fields and a buffered byte-at-a-time reader for run-length data.
#pragma once

#include <cstdint>

#include "base/fileio.h"

namespace pict_read {

inline uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
inline uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

// Hands out the stream's bytes one at a time, reading 4 KiB at once; false at
// the end of the data or on a read error.
class cByteReader {
public:
  explicit cByteReader(cFileIOTarget* stream) : stream_(stream) {}
  bool Next(uint8_t& b) {
    if (pos_ == have_) {
      have_ = stream_->Read(buf_, sizeof buf_);
      pos_ = 0;
      if (have_ == 0) return false;
    }
    b = buf_[pos_++];
    return true;
  }

private:
  cFileIOTarget* stream_;
  uint8_t buf_[4096];
  uint32_t have_ = 0;
  uint32_t pos_ = 0;
};

}  // namespace pict_read
