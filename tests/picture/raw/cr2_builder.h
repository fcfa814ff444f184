// Test kit for CR2 files: a lossless JPEG writer for any sampling (flat
// Huffman tables: category s is the 8-bit code s), the CR2 slice order, and
// the file itself: IFD0 (Make, Model, EXIF pointer), the EXIF directory
// with the pixel sizes and the maker note (its own directory, addressed by
// file offset), IFD1, IFD2 and IFD3 with the raw data, or the oldest
// models' layout with the raw data at a maker-note offset.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/picture/jpeg_writer.h"
#include "tests/support/tiff_builder.h"

namespace cr2_test {

using tBytes = std::vector<uint8_t>;

struct sComponent {
  int h = 1, v = 1;
  // Samples in decode order: MCU row by MCU row, MCU by MCU, h x v each.
  std::vector<uint16_t> samples;
};

// A lossless JPEG (SOF3, predictor 1 as the readers take it: the first
// sample of an MCU row predicted from the first of the row above, every
// other from the previous sample of its component).
inline tBytes LosslessJpeg(int width, int height, int precision, const std::vector<sComponent>& comps) {
  using namespace twtest;
  tBytes out;
  Append(out, {0xFF, 0xD8});
  tBytes frame{static_cast<uint8_t>(precision), static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
               static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), static_cast<uint8_t>(comps.size())};
  for (size_t i = 0; i < comps.size(); ++i)
    Append(frame, {static_cast<int>(i + 1), comps[i].h << 4 | comps[i].v, 0});
  Segment(out, 0xC3, frame);
  Segment(out, 0xC4, FlatTable(0x00, 17));
  tBytes scan{static_cast<uint8_t>(comps.size())};
  for (size_t i = 0; i < comps.size(); ++i) Append(scan, {static_cast<int>(i + 1), 0x00});
  Append(scan, {1, 0, 0});
  Segment(out, 0xDA, scan);
  int maxH = 1, maxV = 1;
  for (const sComponent& c : comps) {
    if (c.h > maxH) maxH = c.h;
    if (c.v > maxV) maxV = c.v;
  }
  const int mcuColumns = width / maxH;
  cJpegBits bits;
  std::vector<size_t> at(comps.size(), 0);
  std::vector<int32_t> rowStart(comps.size(), 1 << (precision - 1));
  for (int y = 0; y < height; y += maxV) {
    std::vector<int32_t> pred = rowStart;
    for (size_t c = 0; c < comps.size(); ++c)
      if (at[c] < comps[c].samples.size()) rowStart[c] = comps[c].samples[at[c]];
    for (int m = 0; m < mcuColumns; ++m)
      for (size_t c = 0; c < comps.size(); ++c)
        for (int k = 0; k < comps[c].h * comps[c].v; ++k) {
          const int32_t sample = at[c] < comps[c].samples.size() ? comps[c].samples[at[c]] : 0;
          ++at[c];
          int32_t diff = (sample - pred[c]) & 0xFFFF;
          if (diff >= 32768) diff -= 65536;
          pred[c] = sample;
          if (diff == -32768) {
            bits.Put(16, 8);
            continue;
          }
          const int s = Category(diff);
          bits.Put(static_cast<uint32_t>(s), 8);
          bits.PutValue(diff, s);
        }
  }
  const tBytes data = bits.Finish();
  out.insert(out.end(), data.begin(), data.end());
  Append(out, {0xFF, 0xD9});
  return out;
}

// The raster (width x height samples) in the order a sliced JPEG carries
// it: each slice's columns row by row from the top, slice after slice.
inline std::vector<uint16_t> SliceOrder(const std::vector<uint16_t>& raster, int width, int height, int count,
                                        int sliceWidth, int lastWidth) {
  std::vector<uint16_t> out;
  int column = 0;
  for (int k = 0; k <= count; ++k) {
    const int w = k < count ? sliceWidth : lastWidth;
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < w; ++c) out.push_back(raster[static_cast<size_t>(r) * width + column + c]);
    column += w;
  }
  return out;
}

inline tBytes Le16s(const std::vector<uint16_t>& v) {
  tBytes out;
  for (uint16_t x : v) {
    out.push_back(static_cast<uint8_t>(x));
    out.push_back(static_cast<uint8_t>(x >> 8));
  }
  return out;
}

struct sCr2Spec {
  std::string make = "Canon";
  std::string model = "Canon EOS 5D Mark III";
  bool modelTerminated = true;
  uint32_t modelId = 0x80000285;
  uint16_t sensorWidth = 0, sensorHeight = 0;
  uint16_t leftBorder = 0;
  uint16_t mask[4] = {0, 0, 0, 0};  // first column, first row, end column, end row
  uint32_t pixelWidth = 1, pixelHeight = 1;
  std::vector<uint16_t> slices;     // the 50752 values; empty: no tag
  tBytes raw;                       // the lossless JPEG
  bool colourData = true;           // 0x4001 with balance
  uint16_t balance[4] = {2000, 1024, 1024, 1500};  // red, green, second green, blue
  bool oldest = false;              // raw at a maker-note offset, data directory in IFD1
  std::vector<uint16_t> oldBalance;
  tBytes thumbnail;                 // IFD1's JPEG; empty: none
  bool bigEndian = false;
};

inline tBytes MakeCr2(const sCr2Spec& s) {
  // Two passes: the offsets written into values are taken from the first
  // (values do not move the layout).
  uint64_t noteAt = 0, rawAt = 0;
  for (int pass = 0;; ++pass) {
    cTiffBuilder b(s.bigEndian, false);
    const int ifd0 = b.AddIfd();
    const int exif = b.AddIfd();
    const int note = b.AddIfd();
    const int ifd1 = b.AddIfd();
    const int ifd2 = b.AddIfd();
    const int ifd3 = b.AddIfd();
    const int rawBlock = b.AddBlock(s.raw);
    b.SetFirst(ifd0);
    b.AddAscii(ifd0, 271, s.make);
    if (s.modelTerminated) {
      b.AddAscii(ifd0, 272, s.model);
    } else {
      b.AddBytes(ifd0, 272, 2, tBytes(s.model.begin(), s.model.end()));
    }
    b.AddIfdPointer(ifd0, 34665, exif);
    b.SetNext(ifd0, ifd1);
    b.AddLong(exif, 40962, s.pixelWidth);
    b.AddLong(exif, 40963, s.pixelHeight);
    // The maker note: an UNDEFINED entry whose value is the note's directory.
    b.AddRaw(exif, 37500, 7, 2 + 12 * 4 + 4, {});
    b.OverrideLastValueField(exif, noteAt);
    b.AddLongs(note, 0x0010, {s.modelId});
    b.AddRaw(note, 0x00E0, 3, 13,
             Le16s({26, s.sensorWidth, s.sensorHeight, 0, 0, s.leftBorder, 0, 0, 0, s.mask[0], s.mask[1], s.mask[2],
                    s.mask[3]}));
    if (s.colourData) {
      std::vector<uint16_t> colour(582, 0);
      for (int i = 0; i < 4; ++i) colour[25 + i] = s.balance[i];  // bytes 50 to 57
      b.AddRaw(note, 0x4001, 3, colour.size(), Le16s(colour));
    }
    if (!s.oldBalance.empty()) b.AddShorts(note, 0x00A4, s.oldBalance);
    const int dataIfd = s.oldest ? ifd1 : ifd3;
    if (s.oldest) b.AddLongs(note, 0x0081, {static_cast<uint32_t>(rawAt)});
    if (!s.thumbnail.empty() && !s.oldest) {
      const int thumb = b.AddBlock(s.thumbnail);
      b.AddBlockOffsets(ifd1, 513, {thumb});
      b.AddBlockSizes(ifd1, 514, {thumb});
    }
    b.AddShort(ifd1, 259, 6);
    if (!s.oldest) {
      b.SetNext(ifd1, ifd2);
      b.AddShort(ifd2, 259, 1);
      b.SetNext(ifd2, ifd3);
    }
    b.AddShort(dataIfd, 259, 6);
    b.AddBlockOffsets(dataIfd, 273, {rawBlock});
    b.AddBlockSizes(dataIfd, 279, {rawBlock});
    // The slice tag's values are read little-endian in either file order.
    if (!s.slices.empty()) b.AddRaw(dataIfd, 50752, 3, s.slices.size(), Le16s(s.slices));
    if (pass == 1) return b.Build();
    noteAt = b.IfdOffset(note);
    rawAt = b.BlockOffset(rawBlock);
  }
}

}  // namespace cr2_test
