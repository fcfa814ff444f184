// CCITT T.4 and T.6 bilevel decoding for TIFF compressions 3 and 4: one
// strip or tile of coded data to packed 1-bit rows (first pixel in the most
// significant bit). The run-length and mode code tables are those of ITU-T
// T.4 (Tables 1 to 4) and T.6; decoding tables are built from them once.
//
// Rules:
//  a. Rows hold bytesPerRow bytes; the output starts cleared and only runs
//     of the colour written as 1 are filled in.
//  b. False when the input ends inside a row, a row has an invalid code or
//     the wrong length, or an undefined mode or uncompressed code is met.
#pragma once

#include <cstdint>

#include "base/buffers.h"

struct sFaxParams {
  int32_t width = 0;         // pixels per row
  int32_t rows = 0;          // rows to decode
  int32_t bytesPerRow = 0;   // at least (width + 7) / 8
  bool whiteIsOne = false;   // BlackIsZero pictures: white runs are 1-bits
  bool reverseBits = false;  // FillOrder 2: least significant bit first
  bool twoDimensional = false;  // T.4 with T4Options bit 0
};

// T.4 data: rows separated by EOL codes, one- or two-dimensional.
bool DecodeFaxT4Data(const uint8_t* input, int32_t count, const sFaxParams& p, _typebuf<uint8_t>& output);
// T.6 data: two-dimensional rows without EOL codes.
bool DecodeFaxT6Data(const uint8_t* input, int32_t count, const sFaxParams& p, _typebuf<uint8_t>& output);

namespace ccitt_internal {
// The code tables as decoding sees them, for the tests: false when two codes
// of one table share a prefix.
bool TablesArePrefixFree();
}  // namespace ccitt_internal
