// A limit the JPEG 2000 and DICOM fuzz targets share: inputs holding a
// codestream whose SIZ segment asks for many tiles or a large area are left
// alone. OpenJPEG reads and decodes such legal but costly codestreams
// (tens of thousands of tiles in a few hundred bytes) slowly, which would
// only make the fuzzer report time-outs inside the library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace twfuzz {

inline bool Jpeg2000WithinLimits(const uint8_t* data, size_t size) {
  auto be32 = [&](size_t i) {
    return static_cast<uint64_t>(data[i]) << 24 | static_cast<uint64_t>(data[i + 1]) << 16 |
           static_cast<uint64_t>(data[i + 2]) << 8 | data[i + 3];
  };
  for (size_t i = 0; i + 40 <= size; ++i) {
    if (data[i] != 0xFF || data[i + 1] != 0x4F || data[i + 2] != 0xFF || data[i + 3] != 0x51) continue;
    // SOC, SIZ: Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz, XTOsiz, YTOsiz.
    const size_t s = i + 8;
    const uint64_t xs = be32(s), ys = be32(s + 4), xo = be32(s + 8), yo = be32(s + 12);
    const uint64_t xt = be32(s + 16), yt = be32(s + 20), xto = be32(s + 24), yto = be32(s + 28);
    if (xs > xo && ys > yo && (xs - xo) * (ys - yo) > (uint64_t{1} << 20)) return false;
    if (xt != 0 && yt != 0 && xs > xto && ys > yto && ((xs - xto + xt - 1) / xt) * ((ys - yto + yt - 1) / yt) > 256)
      return false;
  }
  return true;
}

}  // namespace twfuzz
