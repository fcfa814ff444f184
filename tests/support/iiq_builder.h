// Test kit: synthetic Phase One IIQ files. A little-endian TIFF whose first
// page is a small RGB preview, with the Phase One block ("IIII" "CwaR" at 8)
// holding the coded rows from the IIQ encoder, the row offsets, black
// tables, white balance and the 16-byte directory; optionally wrapped as the
// stored first entry of a ZIP archive. frame: the samples a decoder must
// produce (curve, black and tables applied).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "tests/support/iiq_encoder.h"
#include "tests/support/tiff_builder.h"

namespace iiq_builder {

struct sIiq {
  int32_t width = 40, height = 12;
  int32_t format = 4;
  int32_t left = 2, top = 1, imageWidth = 34, imageHeight = 10;
  int32_t black = 100;
  bool tables = false;
  bool zip = false;
  uint16_t zipMethod = 0;
  float wb[3] = {2.0f, 1.0f, 1.5f};
};

struct sBuilt {
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> frame;  // the samples after curve, black and tables
};

inline void L32(std::vector<uint8_t>& v, uint32_t x) {
  for (int k = 0; k < 4; ++k) v.push_back(static_cast<uint8_t>(x >> (8 * k)));
}
inline void Set32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int k = 0; k < 4; ++k) v[at + k] = static_cast<uint8_t>(x >> (8 * k));
}

inline sBuilt Build(const sIiq& f) {
  sBuilt out;
  std::mt19937 rng(7);
  std::vector<uint16_t> coded(static_cast<size_t>(f.width) * f.height);
  for (int32_t y = 0; y < f.height; ++y)
    for (int32_t x = 0; x < f.width; ++x) coded[y * f.width + x] = static_cast<uint16_t>(200 + x * 30 + y * 3 + rng() % 50);
  // The Phase One block, offsets relative to its start (the marker).
  std::vector<uint8_t> block = {'I', 'I', 'I', 'I', 'C', 'w', 'a', 'R', 0, 0, 0, 0};
  std::vector<uint8_t> data, rowOffsets;
  for (int32_t y = 0; y < f.height; ++y) {
    L32(rowOffsets, static_cast<uint32_t>(data.size()));
    const auto row = iiq_encoder::EncodeRow(coded.data() + y * f.width, f.width);
    data.insert(data.end(), row.begin(), row.end());
  }
  std::vector<int16_t> cb(2 * f.height), rb(2 * f.width);
  for (size_t i = 0; i < cb.size(); ++i) cb[i] = static_cast<int16_t>(static_cast<int>(i) * 3 - 20);
  for (size_t i = 0; i < rb.size(); ++i) rb[i] = static_cast<int16_t>(static_cast<int>(i % 7) - 3);
  const int32_t splitColumn = f.width / 2, splitRow = f.height / 3;
  auto place = [&](const std::vector<uint8_t>& bytes) {
    const uint32_t at = static_cast<uint32_t>(block.size());
    block.insert(block.end(), bytes.begin(), bytes.end());
    while (block.size() % 4) block.push_back(0);
    return at;
  };
  const uint32_t dataAt = place(data), rowsAt = place(rowOffsets);
  std::vector<uint8_t> cbBytes, rbBytes, wb;
  for (int16_t v : cb) cbBytes.push_back(static_cast<uint8_t>(v)), cbBytes.push_back(static_cast<uint8_t>(v >> 8));
  for (int16_t v : rb) rbBytes.push_back(static_cast<uint8_t>(v)), rbBytes.push_back(static_cast<uint8_t>(v >> 8));
  for (float x : f.wb) {
    uint32_t bits;
    memcpy(&bits, &x, 4);
    L32(wb, bits);
  }
  const uint32_t cbAt = place(cbBytes), rbAt = place(rbBytes), wbAt = place(wb);
  std::vector<std::array<uint32_t, 4>> entries = {
      {263, 0, 12, wbAt},
      {264, 0, 4, static_cast<uint32_t>(f.width)},
      {265, 0, 4, static_cast<uint32_t>(f.height)},
      {266, 0, 4, static_cast<uint32_t>(f.left)},
      {267, 0, 4, static_cast<uint32_t>(f.top)},
      {268, 0, 4, static_cast<uint32_t>(f.imageWidth)},
      {269, 0, 4, static_cast<uint32_t>(f.imageHeight)},
      {270, 0, 4, static_cast<uint32_t>(f.format)},
      {271, 0, static_cast<uint32_t>(data.size()), dataAt},
      {540, 0, 4, rowsAt},
      {541, 0, 4, static_cast<uint32_t>(f.black)},
  };
  if (f.tables) {
    entries.push_back({546, 0, 4, static_cast<uint32_t>(splitColumn)});
    entries.push_back({547, 0, 4, cbAt});
    entries.push_back({548, 0, 4, static_cast<uint32_t>(splitRow)});
    entries.push_back({549, 0, 4, rbAt});
  }
  const uint32_t dirAt = static_cast<uint32_t>(block.size());
  L32(block, static_cast<uint32_t>(entries.size()));
  L32(block, 0);
  for (const auto& e : entries)
    for (uint32_t v : e) L32(block, v);
  Set32(block, 8, dirAt);
  // The TIFF: the block first (at offset 8), a small preview page.
  cTiffBuilder b(false, false);
  const int ifd = b.AddIfd();
  const int blk = b.AddBlock(block);
  (void)blk;
  std::vector<uint8_t> rgb(16 * 12 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 5);
  const int strip = b.AddBlock(rgb);
  b.AddShort(ifd, 256, 16);
  b.AddShort(ifd, 257, 12);
  b.AddShorts(ifd, 258, {8, 8, 8});
  b.AddShort(ifd, 259, 1);
  b.AddShort(ifd, 262, 2);
  b.AddBlockOffsets(ifd, 273, {strip});
  b.AddShort(ifd, 277, 3);
  b.AddShort(ifd, 278, 12);
  b.AddBlockSizes(ifd, 279, {strip});
  out.bytes = b.Build();
  if (f.zip) {
    // A ZIP local header of a stored entry named "0.IIQ_raw" (9 bytes): the
    // wrapped file starts at 39.
    std::vector<uint8_t> z = {'P', 'K', 3, 4, 20, 0, 0, 0};
    z.push_back(static_cast<uint8_t>(f.zipMethod)), z.push_back(static_cast<uint8_t>(f.zipMethod >> 8));
    z.insert(z.end(), {0, 0, 0, 0, 0, 0, 0, 0});  // time, date, crc
    L32(z, static_cast<uint32_t>(out.bytes.size()));
    L32(z, static_cast<uint32_t>(out.bytes.size()));
    z.insert(z.end(), {9, 0, 0, 0});
    const char* name = "0.IIQ_raw";
    z.insert(z.end(), name, name + 9);
    out.bytes.insert(out.bytes.begin(), z.begin(), z.end());
  }
  uint16_t curve[256];
  for (int i = 0; i < 256; ++i) curve[i] = static_cast<uint16_t>(static_cast<int>(i * i / 3.969 + 0.5));
  out.frame.resize(coded.size());
  for (int32_t y = 0; y < f.height; ++y)
    for (int32_t x = 0; x < f.width; ++x) {
      const uint16_t v = coded[y * f.width + x];
      int64_t s = (f.format == 5 && v < 256) ? curve[v] : v;
      s = 4 * s - f.black;
      if (f.tables) {
        s += y < splitRow ? rb[x] : rb[f.width + x];
        s += x < splitColumn ? cb[y] : cb[f.height + y];
      }
      out.frame[y * f.width + x] = static_cast<uint16_t>(s < 0 ? 0 : (s > 65535 ? 65535 : s));
    }
  return out;
}

}  // namespace iiq_builder
