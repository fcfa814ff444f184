// Reading the CFA sensor data of a TIFF-structured camera file (DNG, 3FR,
// TIFF/EP, MOS) into one 16-bit raster, strip by strip or tile by tile.
//
// The raster is rasterWidth = width & ~3 samples wide (the sensor rows are
// read as pictures of width / 4 pixels of four samples each, so the last
// width % 4 samples of a row are dropped) and height rows high, top row
// first. Values:
//  - 16 bits: as stored, in the file's byte order;
//  - 9 to 15 bits (packed most significant bit first): shifted up to 16 bits
//    (v << (16 - n)), as the picture reader stores deep samples;
//  - 8 bits and below: an 8-bit value (below 8 bits widened by bit
//    replication), then the format's rule: b << 8 (DNG, 3FR) or b (TIFF/EP,
//    MOS);
//  - lossless JPEG (compression 7, and 99 for MOS): the decoded samples laid
//    into a raster of the block's reduced width; a block that does not
//    decode fails the read (a corrupt strip is not shown as a picture);
//  - grouped 12-bit (compression 32769, bits 12 only): 16-byte groups of
//    which 15 carry samples.
//
// Rules:
//  a. Every offset and count is checked against the stream before anything
//     is read or allocated; sizes are computed in 64 bits.
//  b. The raster is zero-filled first: rows no block reached read as 0.
//  c. Strips beyond the picture, or tiles beyond its height, fail the read.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/fileio.h"

struct sRawSensorLayout {
  int32_t width = 0;   // samples per row as stored (ImageWidth)
  int32_t height = 0;  // rows (ImageLength)
  int32_t bits = 0;    // BitsPerSample
  int32_t compression = 1;
  bool bigEndian = false;  // the file's byte order
  bool eightBitShifted = true;  // 8-bit samples become b << 8 (else b)
  // Strips (when tileWidth is 0) or tiles; counts may be empty for one
  // uncompressed block.
  const uint32_t* offsets = nullptr;
  const uint32_t* byteCounts = nullptr;
  int32_t blockCount = 0;
  int32_t byteCountCount = 0;
  uint32_t rowsPerStrip = 0;  // 0: the height divided by the strip count
  int32_t tileWidth = 0;
  int32_t tileLength = 0;
  int32_t fieldOrder = 0;       // lossless JPEG row order (MOS Rows_data bit 0)
  bool idsByOffset = false;     // lossless JPEG component ids by position
};

class cRawSensorReader {
public:
  virtual ~cRawSensorReader() = default;

  // Reads the sensor; raster receives rasterWidth x layout.height samples.
  // False on any refused size, short read or undecodable block; raster then
  // holds what was read (zero elsewhere) or is empty.
  bool Read(cFileIOTarget* stream, const sRawSensorLayout& layout, _typebuf<uint16_t>& raster,
            int32_t& rasterWidth);

protected:
  // A compressed block (lossless JPEG) into width x rows samples (zeroed by
  // the caller). The default runs cRAWLosslessJpeg; 3FR replaces it.
  virtual bool DecodeJpegBlock(const uint8_t* data, uint32_t size, int32_t width, int32_t rows,
                               const sRawSensorLayout& layout, uint16_t* out);
};

// The 12-bit grouped unpacking on its own: count bytes give (count * 5) / 4
// bytes of 16-bit samples, that is (count * 5) / 8 samples.
void UnpackGrouped12(const uint8_t* data, uint32_t count, _typebuf<uint16_t>& samples);
