// Fujifilm compressed sensor data: blocks of 768 columns, each coded on its
// own in stripes of six rows whose samples are gathered per colour into line
// buffers, decoded with a gradient-adaptive code and scattered back along the
// 6 x 6 X-Trans pattern.
//
// Rules:
//  a. The CFA data is a bounded byte range; every block must lie inside it
//     (start + length <= length of the data), else the decode is refused.
//  b. The raw frame is frameWidth x frameHeight samples; a header whose raw
//     size exceeds it is refused, so nothing is written outside the frame.
//  c. Line buffers and the block table are index-checked.
#pragma once

#include <cstddef>
#include <cstdint>

struct sFujiCompressedHeader {
  int32_t bits = 0;
  int32_t rawHeight = 0;
  int32_t roundedWidth = 0;
  int32_t rawWidth = 0;
  int32_t blockSize = 0;
  int32_t blocksPerRow = 0;
  int32_t stripes = 0;
};

// The 16 header bytes; false for any value outside the accepted ranges.
bool ReadFujiCompressedHeader(const uint8_t* bytes, size_t size, sFujiCompressedHeader& header);

// The colour (0 red, 1 green, 2 blue) of X-Trans row r, column c (0..5).
int FujiXTransColour(int r, int c);

// Decodes the whole CFA section (header included) into frame, frameWidth x
// frameHeight samples, rows frameWidth apart. False for a refused header, a
// raw size above the frame, a block table beyond the data, a block reaching
// past the data, or a stripe with decoding errors.
bool DecodeFujiCompressed(const uint8_t* data, size_t size, uint16_t* frame, int32_t frameWidth,
                          int32_t frameHeight);
