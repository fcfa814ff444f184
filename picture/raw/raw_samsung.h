// Samsung raw pieces that need no decoder object: the model table (crops,
// packing order, fixed pattern) and the three Samsung sensor codings of one
// strip: row-offset (32769/32770 with a row table), Huffman (32772) and
// block (32773).
//
// Rules:
//  a. The raster is rasterWidth x rasterHeight samples, zeroed by the
//     caller; a strip covers rows [firstRow, firstRow + rows). Decoders
//     write only inside the raster; samples they do not reach stay 0.
//  b. Strip bytes are the window [strip, strip + size); every read is
//     bounded by it and reads past it give zero bits.
//  c. Choices where the format leaves a point open:
//     - row-offset coding: a sample predicted from a row above the raster
//       is 0 (its difference is read and dropped); a block reaching past
//       the row end is decoded and its samples beyond the row dropped;
//       after the strip, the two greens of each 2 x 2 cell whose top row is
//       an even row of the strip are exchanged ((r, c + 1) with (r + 1, c)
//       for even r and even c). LibRaw's unprocessed_raw does the same on
//       single-strip files;
//     - block coding: a block that keeps its lengths has lengths 0 (its
//       samples are prediction + mag); a prediction column outside the
//       raster reads 0;
//     - lengths outside 0..16 are refused (no camera writes them);
//     - samples a strip leaves undecoded when its data runs out stay 0.
#pragma once

#include <cstdint>

struct sSamsungModel {
  int32_t left = 0, right = 0, top = 0, bottom = 0;
  bool bigEndianPacking = false;
  bool fixedPattern = false;  // pattern bytes 1, 0, 2, 1
};

// value: the Model tag's bytes as stored (size with the terminator). True
// when a row matched.
bool ApplySamsungModel(const uint8_t* value, int32_t size, sSamsungModel& m);

struct sSamsungRaster {
  uint16_t* samples = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

// Row-offset coding: rowOffsets holds the strip's rows offsets (from the
// strip's first byte); false for an offset not below size or a refused
// length.
bool SamsungDecodeRowOffset(const uint8_t* strip, int64_t size, const uint32_t* rowOffsets, sSamsungRaster& raster,
                            int32_t firstRow, int32_t rows);
// Huffman coding; false for a sample with bits at or above bits.
bool SamsungDecodeHuffman(const uint8_t* strip, int64_t size, sSamsungRaster& raster, int32_t firstRow, int32_t rows,
                          int32_t bits);
// Block coding; false for a refused length or a header cut short.
bool SamsungDecodeBlocks(const uint8_t* strip, int64_t size, sSamsungRaster& raster, int32_t firstRow, int32_t rows);
