// Test kit: a lossless JPEG encoder (SOF3, predictor 1) for camera-raw test
// files, since the system's JPEG library cannot write lossless JPEG. It
// writes what camera files carry: 1 to 4 components sampled 1 x 1, 2 to 16
// bits, optional restart intervals, one Huffman table per component or one
// for all, built from the data's own statistics.
//
// Prediction follows the readers: the first sample of a row is predicted
// from the first sample of the row above (2^(P-1) for the first row), every
// other sample from the previous sample of its component; a restart resets
// every predictor to 2^(P-1).
#pragma once

#include <cstdint>
#include <vector>

struct sLjpegImage {
  int32_t width = 0;       // samples per component per row (frame width)
  int32_t height = 0;      // rows (frame height)
  int32_t components = 1;  // 1..4
  int32_t precision = 16;  // 2..16
  // height * width * components values, row by row, the components of one
  // column next to each other; values above the precision are masked.
  std::vector<uint16_t> samples;
  int32_t restartInterval = 0;  // MCUs per interval, 0: none
  bool tablePerComponent = false;
  // Write the entropy-coded bytes without 0xFF 0x00 stuffing (for readers
  // that take every byte as data, like Hasselblad's scan).
  bool noStuffing = false;
};

// The whole JPEG stream (SOI ... EOI); empty for a refused image (sizes out
// of range, sample count not width * height * components).
std::vector<uint8_t> EncodeLosslessJpeg(const sLjpegImage& image);

// Camera layouts of the sample order:
// The decode order of a raster cut into vertical slices (sliceCount slices
// of sliceWidth columns, then one of lastSliceWidth columns, each read row
// by row from the top): the values as a JPEG must carry them.
std::vector<uint16_t> SlicedOrder(const std::vector<uint16_t>& raster, int32_t rasterWidth, int32_t rasterHeight,
                                  int32_t sliceCount, int32_t sliceWidth, int32_t lastSliceWidth);
// Alternating field order: JPEG row 2k holds raster row k, JPEG row 2k + 1
// raster row h - 1 - k.
std::vector<uint16_t> FieldOrder(const std::vector<uint16_t>& raster, int32_t rasterWidth, int32_t rasterHeight);
