// Test kit: synthetic Panasonic RW2 files on the TIFF builder (magic 85):
// sensor size and CFA tags, the model, and the samples block-coded (offset
// by tag 280, or by the strip tags and the model), packed 12-bit or plain
// 16-bit in strips; extra SHORT tags and cut files for the refusals.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/panasonic_encoder.h"
#include "tests/support/tiff_builder.h"

namespace rw2_builder {

enum eLayout { kBlocks, kPacked, kPlain };

struct sRw2 {
  std::string model = "DMC-L1";  // right border 9
  int32_t width = 28, height = 8;
  uint16_t cfa = 1;
  eLayout layout = kPlain;
  std::vector<uint16_t> samples;  // empty: generated
  uint32_t rowsPerStrip = 0;      // plain: 0 = one strip
  bool viaRawOffset = true;       // block coded: tag 280, else 273 + model
  std::vector<std::pair<uint16_t, uint32_t>> extra;
  int dropTailBytes = 0;
  size_t dropCodedBytes = 0;  // block coded: the coded data cut short
  uint16_t magic = 85;
  std::string make;  // tag 271 when not empty, as cameras write it
};

struct sBuilt {
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> frame;  // the raw frame a decoder must produce
  std::vector<uint8_t> coded;
};

// Sets the value of a one-value LONG (or SHORT) entry of the first IFD of a
// little-endian file.
inline void PatchLong(std::vector<uint8_t>& bytes, uint16_t tag, uint32_t value) {
  const uint32_t ifd = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<uint32_t>(bytes[7]) << 24;
  const uint32_t count = bytes[ifd] | bytes[ifd + 1] << 8;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* e = &bytes[ifd + 2 + 12 * i];
    if ((e[0] | e[1] << 8) != tag) continue;
    const uint32_t type = e[2] | e[3] << 8;
    if (type == 3) {
      e[8] = static_cast<uint8_t>(value), e[9] = static_cast<uint8_t>(value >> 8);
    } else {
      for (int k = 0; k < 4; ++k) e[8 + k] = static_cast<uint8_t>(value >> (8 * k));
    }
    return;
  }
  ADD_FAILURE() << "no tag " << tag;
}

inline std::vector<uint16_t> Samples(int32_t w, int32_t h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      v[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(300 + (x * 37 + y * 11) % 3000 + rng() % 30);
  return v;
}

inline sBuilt Build(const sRw2& f) {
  sBuilt out;
  auto samples = f.samples.empty() ? Samples(f.width, f.height, 3) : f.samples;
  cTiffBuilder b(false, false);
  const int ifd = b.AddIfd();
  b.AddShort(ifd, 2, static_cast<uint16_t>(f.width));
  b.AddShort(ifd, 3, static_cast<uint16_t>(f.height));
  b.AddShort(ifd, 9, f.cfa);
  if (!f.make.empty()) b.AddAscii(ifd, 271, f.make);
  b.AddAscii(ifd, 272, f.model);
  for (const auto& e : f.extra) b.AddShort(ifd, e.first, static_cast<uint16_t>(e.second));
  std::vector<int> blocks;
  if (f.layout == kBlocks) {
    const auto enc = panasonic_encoder::Encode(samples, f.width, f.height, true);
    // A placeholder block; the coded data goes to the end of the file (after
    // the directory) so that a cut file ends inside it.
    blocks.push_back(b.AddBlock({0, 0}));
    out.frame = enc.decoded;
    out.coded.assign(enc.bytes.begin(), enc.bytes.end() - static_cast<ptrdiff_t>(f.dropCodedBytes));
    if (f.viaRawOffset) {
      b.AddBlockOffsets(ifd, 280, blocks);
    } else {
      b.AddBlockOffsets(ifd, 273, blocks);
      b.AddBlockSizes(ifd, 279, blocks);
    }
  } else if (f.layout == kPacked) {
    blocks.push_back(b.AddBlock(panasonic_encoder::Pack12(samples)));
    out.frame = samples;
    b.AddBlockOffsets(ifd, 273, blocks);
    b.AddBlockSizes(ifd, 279, blocks);
  } else {
    const int32_t rps = f.rowsPerStrip ? static_cast<int32_t>(f.rowsPerStrip) : f.height;
    for (int32_t y = 0; y < f.height; y += rps) {
      std::vector<uint8_t> strip;
      for (int32_t i = y * f.width; i < std::min(f.height, y + rps) * f.width; ++i)
        strip.push_back(static_cast<uint8_t>(samples[i])), strip.push_back(static_cast<uint8_t>(samples[i] >> 8));
      blocks.push_back(b.AddBlock(strip));
    }
    out.frame = samples;
    b.AddBlockOffsets(ifd, 273, blocks);
    b.AddBlockSizes(ifd, 279, blocks);
    if (f.rowsPerStrip) b.AddLong(ifd, 278, f.rowsPerStrip);
  }
  out.bytes = b.Build();
  if (f.layout == kBlocks) {
    const uint32_t at = static_cast<uint32_t>(out.bytes.size());
    out.bytes.insert(out.bytes.end(), out.coded.begin(), out.coded.end());
    PatchLong(out.bytes, f.viaRawOffset ? 280 : 273, at);
    if (!f.viaRawOffset) PatchLong(out.bytes, 279, static_cast<uint32_t>(out.coded.size()));
  }
  out.bytes[2] = static_cast<uint8_t>(f.magic);
  out.bytes[3] = static_cast<uint8_t>(f.magic >> 8);
  if (f.dropTailBytes) out.bytes.resize(out.bytes.size() - f.dropTailBytes);
  return out;
}

}  // namespace rw2_builder
