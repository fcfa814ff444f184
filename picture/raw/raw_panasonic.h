// Panasonic sensor data: the block coding read through a circular 16 KiB
// buffer, the packed 12-bit layout and plain little-endian 16-bit strips.
//
// Rules:
//  a. Rasters are width x height 16-bit samples owned and sized by the
//     caller; the functions write inside them only.
//  b. The bit reader's buffer is one byte longer than a refill (16385): a
//     read at the last byte pair takes the extra byte, which stays 0, instead
//     of reading past the buffer.
//  c. Every size is computed in 64 bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/fileio.h"

struct sPanasonicBitReader {
  static constexpr uint32_t kBufferSize = 16384;
  uint8_t buffer[kBufferSize + 1] = {};  // rule b
  uint32_t position = 0;                 // 17-bit bit position, 0 = empty
  cFileIOTarget* stream = nullptr;       // borrowed
  bool failed = false;
  bool splitRefill = true;  // refill in two reads, the second half first
};

// The next n bits (n 1..8); 0 with the failure flag set when a refill cannot
// be read whole.
uint32_t PanasonicBits(sPanasonicBitReader& reader, int n);

// Decodes the block coding from the stream's current position into raster.
// rowsDone receives the rows decoded completely before a read failure (the
// height on success). False on a read failure that leaves 8 or more rows,
// counting the row being decoded; a failure later than that is tolerated.
bool DecodePanasonicBlocks(cFileIOTarget* stream, bool splitRefill, int32_t width, int32_t height,
                           uint16_t* raster, int32_t* rowsDone);

// Packed 12-bit samples: ten samples from every 16 bytes (five 3-byte pairs
// and a filler byte). Stops when count samples are written or the data ends.
void UnpackPanasonic12(const uint8_t* data, size_t size, uint16_t* raster, size_t count);
