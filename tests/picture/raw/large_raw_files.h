// 24-megapixel camera files for the speed and peak-memory measurements (the
// raw benches and the Windows peak test build the same files from here): a
// 14-bit lossless NEF, an ARW2, a block-coded SRW and a Huffman PEF of
// 6000 x 4000 samples, and a compressed X-Trans RAF of 6048 x 4032. The
// caller reads the preview JPEGs (the benches and the tests find the source
// tree in different ways).
#pragma once

#include <cstdint>
#include <vector>

#include "tests/picture/raw/camera_files.h"
#include "tests/picture/raw/nef_files.h"
#include "tests/support/exif_jpeg.h"
#include "tests/support/fuji_compressed_encoder.h"
#include "tests/support/raf_builder.h"

namespace large_raw {

// The Nikon, Sony, Samsung and Pentax files.
constexpr int32_t kW = 6000, kH = 4000;
// The Fujifilm, Panasonic, Olympus and Phase One data: whole 768-column
// blocks and 6-row stripes for the Fujifilm coding, whole 14-sample groups
// for the Panasonic one.
constexpr int32_t kWideW = 6048, kWideH = 4032;

// Sensor-like samples: smooth fields per colour with a little noise.
inline std::vector<uint16_t> Sensor(int32_t w, int32_t h, int bits) {
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  uint32_t x32 = 2463534242u;
  const int top = (1 << bits) - 1;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      x32 ^= x32 << 13;
      x32 ^= x32 >> 17;
      x32 ^= x32 << 5;
      const int s =
          600 + ((x / 7 + y / 5) % 900) + ((x & 1) ? 300 : 0) + ((y & 1) ? 150 : 0) + static_cast<int>(x32 % 17);
      v[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(s > top ? top : s);
    }
  return v;
}

// previewJpeg: tests/picture/raw/data/nef_preview.jpg.
inline std::vector<uint8_t> Nef(const std::vector<uint8_t>& previewJpeg) {
  rawtest::sNefSpec s;
  s.width = kW;
  s.height = kH;
  s.bits = 14;
  s.coding = 103;
  s.subIfds = 2;
  s.thumbWidth = 160;
  s.thumbHeight = 120;
  s.previewJpeg = previewJpeg;
  std::vector<uint16_t> frame;
  return rawtest::MakeNef(s, frame);
}

inline std::vector<uint8_t> Arw() {
  rawtest::sArwSpec s;
  s.width = kW;
  s.height = kH;
  s.coding = 2;
  std::vector<uint16_t> frame;
  return rawtest::MakeArw(s, frame);
}

inline std::vector<uint8_t> Srw() {
  rawtest::sSrwSpec s;
  s.width = kW;
  s.height = kH;
  s.coding = 4;
  std::vector<uint16_t> frame;
  return rawtest::MakeSrw(s, frame);
}

inline std::vector<uint8_t> Pef() {
  rawtest::sPefSpec s;
  s.width = kW;
  s.height = kH;
  s.compression = 65535;
  std::vector<uint16_t> frame;
  return rawtest::MakePef(s, frame);
}

// The compressed section of the RAF (14-bit samples).
inline std::vector<uint8_t> RafSection() {
  return fuji_encoder::cEncoder(14).Encode(Sensor(kWideW, kWideH, 14), kWideW, kWideH).bytes;
}

// An X-T3 RAF around the section; previewJpeg:
// tests/picture/raw/data/preview_1536x1024.jpg.
inline std::vector<uint8_t> Raf(const std::vector<uint8_t>& section, const std::vector<uint8_t>& previewJpeg) {
  raf_builder::sRaf f;
  f.model = "X-T3";
  f.jpeg = exif_jpeg::WithCamera(previewJpeg, "FUJIFILM", "X-T3");
  f.records = {raf_builder::Size(0x100, kWideH, kWideW), raf_builder::Size(0x121, kWideH, kWideW)};
  f.section = raf_builder::Section(true, {{0xF001, kWideW}, {0xF002, kWideH}, {0xF003, 14}}, section, true);
  return raf_builder::Build(f);
}

}  // namespace large_raw
