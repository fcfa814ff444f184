// The pixels a PNG fixture must decode to, computed from its samples by the
// decoder's conversion rules, independently of the decoder.
#pragma once

#include <cstdint>

#include "tests/support/png_writer.h"

namespace twtest {

// 32-bit pixel 0xAARRGGBB of top-down pixel (x, y) for depths up to 8.
inline uint32_t ExpectedPixel32(const sPngImage& img, uint32_t x, uint32_t y) {
  const uint32_t d = img.bitDepth;
  const uint32_t maxv = (1u << d) - 1;
  bool keyed = false;
  switch (img.colourType) {
    case 0: {
      const uint32_t v = img.Sample(x, y, 0);
      const uint32_t g = v * 255 / maxv;
      if (img.trns.size() == 2) keyed = (static_cast<uint32_t>(img.trns[0]) << 8 | img.trns[1]) == v;
      return (keyed ? 0u : 0xFF000000u) | g << 16 | g << 8 | g;
    }
    case 2: {
      const uint32_t r = img.Sample(x, y, 0), g = img.Sample(x, y, 1), b = img.Sample(x, y, 2);
      if (img.trns.size() == 6)
        keyed = img.trns[1] == r && img.trns[3] == g && img.trns[5] == b && img.trns[0] == 0 && img.trns[2] == 0 &&
                img.trns[4] == 0;
      return (keyed ? 0u : 0xFF000000u) | r << 16 | g << 8 | b;
    }
    case 3: {
      const uint32_t i = img.Sample(x, y, 0);
      const uint32_t a = i < img.trns.size() ? img.trns[i] : 255u;
      return a << 24 | static_cast<uint32_t>(img.palette[3 * i]) << 16 |
             static_cast<uint32_t>(img.palette[3 * i + 1]) << 8 | img.palette[3 * i + 2];
    }
    case 4: {
      const uint32_t g = img.Sample(x, y, 0);
      return img.Sample(x, y, 1) << 24 | g << 16 | g << 8 | g;
    }
    default:
      return img.Sample(x, y, 3) << 24 | img.Sample(x, y, 0) << 16 | img.Sample(x, y, 1) << 8 | img.Sample(x, y, 2);
  }
}

// 64-bit pixel B | G << 16 | R << 32 | A << 48 for depth 16.
inline uint64_t ExpectedPixel64(const sPngImage& img, uint32_t x, uint32_t y) {
  auto be = [&](size_t i) { return static_cast<uint64_t>(img.trns[i]) << 8 | img.trns[i + 1]; };
  switch (img.colourType) {
    case 0: {
      const uint64_t v = img.Sample(x, y, 0);
      const bool keyed = img.trns.size() == 2 && be(0) == v;
      return v | v << 16 | v << 32 | (keyed ? 0 : uint64_t{0xFFFF} << 48);
    }
    case 2: {
      const uint64_t r = img.Sample(x, y, 0), g = img.Sample(x, y, 1), b = img.Sample(x, y, 2);
      const bool keyed = img.trns.size() == 6 && be(0) == r && be(2) == g && be(4) == b;
      return b | g << 16 | r << 32 | (keyed ? 0 : uint64_t{0xFFFF} << 48);
    }
    case 4: {
      const uint64_t v = img.Sample(x, y, 0);
      return v | v << 16 | v << 32 | static_cast<uint64_t>(img.Sample(x, y, 1)) << 48;
    }
    default:
      return static_cast<uint64_t>(img.Sample(x, y, 2)) | static_cast<uint64_t>(img.Sample(x, y, 1)) << 16 |
             static_cast<uint64_t>(img.Sample(x, y, 0)) << 32 | static_cast<uint64_t>(img.Sample(x, y, 3)) << 48;
  }
}

}  // namespace twtest
