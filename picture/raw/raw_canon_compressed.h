// Canon compressed raw data (CRW files): blocks of 64 samples, each a
// run-length and difference code under one of three pairs of fixed Huffman
// tables, two interleaved predictors per row, and for 12-bit models a
// separate area with the two lowest bits of every sample.
//
// Rules:
//  a. Writes stay inside the count samples of the raster, reads of the
//     low-bit area inside the area; a count that is not a multiple of 64
//     simply ends inside the last block.
//  b. Coded data that ends early reads as zero bits; a short low-bit area
//     keeps what was read and zeros after it.
//  c. Samples are not limited: they wrap at 16 bits.
#pragma once

#include <cstdint>

#include "base/fileio.h"

// The fixed tables: per pair, the first table (16 counts, 13 symbols) and
// the second (16 counts, 162 symbols, two padding bytes).
struct sCanonTablePair {
  uint8_t first[29];
  uint8_t second[180];
};
extern const sCanonTablePair kCanonTablePairs[3];

// Fills count samples of raster (rowWidth samples per row) from stream,
// read from its start. tableIndex above 2 uses pair 2. False, with the
// raster untouched, for a negative table index, a zero row width or a null
// raster with a non-zero count; otherwise true.
bool DecodeCanonCompressed(uint16_t* raster, cFileIOTarget* stream, bool lowBits, uint32_t count,
                           uint32_t rowWidth, int32_t tableIndex);
