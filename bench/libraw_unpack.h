// The peer of the camera raw benchmarks: LibRaw's open and unpack of a file
// in memory (the raw samples, no processing).
#pragma once

#include <libraw/libraw.h>

#include <cstdint>
#include <vector>

namespace twbench {

inline bool LibRawUnpack(const std::vector<uint8_t>& file) {
  libraw_data_t* raw = libraw_init(0);
  if (raw == nullptr) return false;
  const bool ok = libraw_open_buffer(raw, const_cast<uint8_t*>(file.data()), file.size()) == LIBRAW_SUCCESS &&
                  libraw_unpack(raw) == LIBRAW_SUCCESS;
  libraw_close(raw);
  return ok;
}

}  // namespace twbench
