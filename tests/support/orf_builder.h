// Test kit: synthetic Olympus ORF files on the TIFF builder: either magic
// and byte order, the sensor layouts (12-bit pairs or words, 16-bit, filler
// pairs, the adaptive coding, interlace) in strips, and the EXIF directory
// with one of the maker-note headers holding the image-processing levels,
// the black levels and the preview JPEG. frame: the samples a decoder must
// produce.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/support/olympus_encoder.h"
#include "tests/support/test_support.h"
#include "tests/support/tiff_builder.h"

namespace orf_builder {

enum eKind { kPack12, kPack16, kFiller, kCoded };

struct sOrf {
  bool bigEndian = false;
  std::string model = "E-M10";
  int32_t width = 40, height = 8;
  uint16_t bits = 12;
  uint16_t photometric = 32803;
  eKind kind = kPack12;
  int strips = 1;
  // Maker note: "OLYMPUS" (base 12), "OM SYSTEM" (16), "OLYMP" (old) or
  // something else; empty: no EXIF directory at all.
  std::string makerNote = "OLYMPUS";
  uint16_t red = 512, blue = 768;  // image-processing levels x 256
  uint16_t black[4] = {60, 64, 62, 61};
  bool preview = true;
  bool exifLoop = false;
  std::string make;  // tag 271 when not empty, as cameras write it
};

struct sBuilt {
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> frame;
  std::vector<uint8_t> jpeg;
};

inline void Put16(std::vector<uint8_t>& v, bool be, uint32_t x) {
  if (be) v.push_back(static_cast<uint8_t>(x >> 8)), v.push_back(static_cast<uint8_t>(x));
  else v.push_back(static_cast<uint8_t>(x)), v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, bool be, uint32_t x) {
  if (be) Put16(v, be, x >> 16), Put16(v, be, x & 0xFFFF);
  else Put16(v, be, x & 0xFFFF), Put16(v, be, x >> 16);
}
inline void Entry(std::vector<uint8_t>& v, bool be, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
  Put16(v, be, tag), Put16(v, be, type), Put32(v, be, count);
  if (type == 3 && count == 1) Put16(v, be, value), Put16(v, be, 0);
  else Put32(v, be, value);
}

// The maker note: offsets inside it are relative to its start (new style)
// or to the file (old style, which needs the maker note's own file offset:
// relocated after building through `at`).
inline std::vector<uint8_t> MakerNote(const sOrf& f, const std::vector<uint8_t>& jpeg, uint32_t fileOffset) {
  const bool be = f.bigEndian;
  std::vector<uint8_t> m;
  uint32_t ifdAt, rel;  // rel: what offsets inside are counted from
  if (f.makerNote == "OLYMPUS") {
    m = {'O', 'L', 'Y', 'M', 'P', 'U', 'S', 0, be ? uint8_t('M') : uint8_t('I'), be ? uint8_t('M') : uint8_t('I'), 3, 0};
    ifdAt = 12, rel = 0;
  } else if (f.makerNote == "OM SYSTEM") {
    m = {'O', 'M', ' ', 'S', 'Y', 'S', 'T', 'E', 'M', 0, 0, 0, be ? uint8_t('M') : uint8_t('I'), be ? uint8_t('M') : uint8_t('I'), 4, 0};
    ifdAt = 16, rel = 0;
  } else if (f.makerNote == "OLYMP") {
    m = {'O', 'L', 'Y', 'M', 'P', 0, 1, 0};
    ifdAt = 8, rel = fileOffset;
  } else {
    m = {'N', 'I', 'K', 'O', 'N', 0, 0, 0, 0, 0, 0, 0};
    m.resize(64, 0);
    return m;
  }
  // Main IFD: 256 preview, 8256 sub-directory.
  const uint32_t mainCount = f.preview ? 2 : 1;
  const uint32_t subAt = ifdAt + 2 + 12 * mainCount + 4;
  const uint32_t wbAt = subAt + 2 + 12 * 2 + 4, blackAt = wbAt + 8, jpegAt = blackAt + 8;
  Put16(m, be, static_cast<uint16_t>(mainCount));
  if (f.preview) Entry(m, be, 256, 7, static_cast<uint32_t>(jpeg.size()), rel + jpegAt);
  Entry(m, be, 8256, 4, 1, rel + subAt);
  Put32(m, be, 0);
  Put16(m, be, 2);
  Entry(m, be, 256, 3, 4, rel + wbAt);
  Entry(m, be, 1536, 3, 4, rel + blackAt);
  Put32(m, be, 0);
  Put16(m, be, f.red), Put16(m, be, f.blue), Put16(m, be, 256), Put16(m, be, 256);
  for (uint16_t b : f.black) Put16(m, be, b);
  m.insert(m.end(), jpeg.begin(), jpeg.end());
  m.resize(m.size() + 16, 0);  // slack: windowed offsets are checked against the window
  return m;
}

inline std::vector<uint16_t> Samples(int32_t w, int32_t h, int bits, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  const uint32_t max = (1u << bits) - 1;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      v[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(std::min<uint32_t>(max, 400 + x * 17 + y * 9 + rng() % 25));
  return v;
}

inline sBuilt Build(const sOrf& f) {
  sBuilt out;
  {
    const std::string text = twtest::ReadFileText(twtest::SourcePath("tests/picture/raw/data/preview_48x32.jpg"));
    out.jpeg.assign(text.begin(), text.end());
  }
  const bool be = f.bigEndian;
  const int bits = f.kind == kPack16 ? 16 : 12;
  const auto samples = Samples(f.width, f.height, bits, 11);
  const bool interlace = bits == 12 && f.photometric == 2 && f.kind != kCoded;
  // Stored row order: even rows first when interlaced.
  std::vector<int32_t> order;
  for (int32_t y = 0; y < f.height; y += interlace ? 2 : 1) order.push_back(y);
  if (interlace)
    for (int32_t y = 1; y < f.height - (f.height % 2 == 0 ? 1 : 0); y += 2) order.push_back(y);
  out.frame.assign(samples.size(), 0);
  for (int32_t y : order)
    std::copy(samples.begin() + y * f.width, samples.begin() + (y + 1) * f.width, out.frame.begin() + y * f.width);
  // Strips: with interlace the even rows fill the first strip and the odd
  // rows (one fewer) the second, as the decoder's row target has it.
  cTiffBuilder b(be, false);
  const int ifd = b.AddIfd();
  std::vector<std::vector<int32_t>> groups;
  int32_t rps;
  if (interlace) {
    const size_t evens = (static_cast<size_t>(f.height) + 1) / 2;
    groups.emplace_back(order.begin(), order.begin() + static_cast<ptrdiff_t>(evens));
    groups.emplace_back(order.begin() + static_cast<ptrdiff_t>(evens), order.end());
    rps = static_cast<int32_t>(evens);
  } else {
    rps = (f.height + f.strips - 1) / f.strips;
    for (size_t first = 0; first < order.size(); first += rps)
      groups.emplace_back(order.begin() + static_cast<ptrdiff_t>(first),
                          order.begin() + static_cast<ptrdiff_t>(std::min(order.size(), first + rps)));
  }
  std::vector<int> blocks;
  for (const auto& g : groups) {
    std::vector<uint8_t> strip;
    if (f.kind == kCoded) {
      std::vector<uint16_t> rows;
      for (int32_t y : g) rows.insert(rows.end(), samples.begin() + y * f.width, samples.begin() + (y + 1) * f.width);
      EXPECT_TRUE(olympus_encoder::Encode(rows, f.width, static_cast<int32_t>(g.size()), strip));
    } else {
      for (int32_t y : g) {
        const uint16_t* row = samples.data() + y * f.width;
        if (f.kind == kPack16) {
          for (int32_t x = 0; x < f.width; ++x) Put16(strip, be, row[x]);
        } else if (f.kind == kFiller) {
          olympus_encoder::PackFillerRow(row, f.width, true, strip);
        } else {
          const bool words = f.model == "XZ-2" || f.model == "SH-2";
          olympus_encoder::PackRow(row, f.width, words ? olympus_encoder::kWords : olympus_encoder::kBig, strip);
        }
      }
    }
    blocks.push_back(b.AddBlock(strip));
  }
  b.AddLong(ifd, 256, static_cast<uint32_t>(f.width));
  b.AddLong(ifd, 257, static_cast<uint32_t>(f.height));
  b.AddShort(ifd, 258, f.kind == kPack16 ? 16 : f.bits);
  b.AddShort(ifd, 262, f.photometric);
  if (!f.make.empty()) b.AddAscii(ifd, 271, f.make);
  b.AddAscii(ifd, 272, f.model);
  b.AddBlockOffsets(ifd, 273, blocks);
  b.AddLong(ifd, 278, static_cast<uint32_t>(rps));
  b.AddBlockSizes(ifd, 279, blocks);
  if (!f.makerNote.empty()) {
    const int exif = b.AddIfd();
    b.SetNext(ifd, -1);
    b.SetFirst(ifd);
    b.AddIfdPointer(ifd, 34665, exif);
    // The old style counts from the file: relocated below once the maker
    // note's place is known.
    b.AddBytes(exif, 37500, 7, MakerNote(f, out.jpeg, 0));
    if (f.exifLoop) b.AddIfdPointer(exif, 34665, exif);
  }
  out.bytes = b.Build();
  if (f.makerNote == "OLYMP") {
    // Find the maker note and rebuild it with file offsets.
    const auto probe = MakerNote(f, out.jpeg, 0);
    auto it = std::search(out.bytes.begin(), out.bytes.end(), probe.begin(), probe.begin() + 8);
    const uint32_t at = static_cast<uint32_t>(it - out.bytes.begin());
    const auto real = MakerNote(f, out.jpeg, at);
    std::copy(real.begin(), real.end(), it);
  }
  out.bytes[2] = be ? 0x4F : 0x52;
  out.bytes[3] = be ? 0x52 : 0x4F;
  return out;
}

}  // namespace orf_builder
