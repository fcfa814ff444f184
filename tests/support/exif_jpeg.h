// Test kit: a preview JPEG that names its camera the way cameras write it:
// an APP1 "Exif" segment right after the start marker, holding a big-endian
// TIFF directory with Make (0x10F) and Model (0x110). Readers that take the
// camera from the preview's EXIF find it twelve bytes into the JPEG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/tiff_builder.h"

namespace exif_jpeg {

inline std::vector<uint8_t> WithCamera(const std::vector<uint8_t>& jpeg, const std::string& make,
                                       const std::string& model) {
  cTiffBuilder b(true, false);
  const int ifd = b.AddIfd();
  b.AddAscii(ifd, 0x10F, make);
  b.AddAscii(ifd, 0x110, model);
  const std::vector<uint8_t> tiff = b.Build();
  const size_t length = 2 + 6 + tiff.size();
  std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  out.insert(out.end(), {'E', 'x', 'i', 'f', 0, 0});
  out.insert(out.end(), tiff.begin(), tiff.end());
  if (jpeg.size() >= 2) out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

}  // namespace exif_jpeg
