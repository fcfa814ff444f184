// Sony raw pieces that need no decoder object: the per-model constants of
// the Model tag, the MRM white-balance block, the SR2 private-data
// decryption, and the four sensor codings (plain 16-bit, packed 12-bit,
// ARW1 column Huffman, ARW2 16-pixel blocks).
//
// Rules:
//  a. Rasters are width x rows unsigned 16-bit samples the caller zeroed and
//     sized; decoders write only inside them.
//  b. Reads are bounded by the byte counts given; nothing throws for file
//     data; a false answer means the coding refused the data.
#pragma once

#include <cstdint>

#include "base/fileio.h"

struct sSonyModelConstants {
  uint32_t black = 0;
  uint32_t white = 0;  // 0: the bit depth decides
  int32_t rightCrop = 0;
  double red = 1.0, green = 1.0, blue = 1.0;
  double gamma = 2.2;
  bool levels14 = false;
  bool a100 = false;
};

// The Model tag's bytes (size as stored, the terminator included): the
// exact, case-sensitive row that matches sets its constants. True when a
// row matched.
bool ApplySonyModel(const uint8_t* value, int32_t size, sSonyModelConstants& k);
// Number of model names in the table (54).
int32_t SonyModelNameCount();

// The MRM block at offset v: true when one is there (levels set when it
// holds a "WBG" sub-block; four 16-bit values in the block's byte order).
bool ParseSonyMrm(cFileIOTarget* stream, uint64_t v, double levels[4]);

// Decrypts (or encrypts: the pad is symmetric) length / 4 words in place.
void SonySr2Crypt(uint8_t* buffer, uint32_t length, uint32_t key);

// width x rows 16-bit samples, little- or big-endian.
bool SonyPlain16(const uint8_t* in, int64_t size, int32_t width, int32_t rows, bool littleEndian, uint16_t* out);
// Packed 12-bit pairs of 3 bytes; size must be (3 * width * rows) / 2.
bool SonyPacked12(const uint8_t* in, int64_t size, int32_t width, int32_t rows, bool bigEndian, uint16_t* out);
// ARW1: columns right to left, rows in two passes; false when the running
// sum leaves 0..4095.
bool SonyDecodeArw1(const uint8_t* in, int64_t size, int32_t width, int32_t rows, uint16_t* out);
// ARW2: each row width bytes of 16-byte blocks; size must hold the rows.
bool SonyDecodeArw2(const uint8_t* in, int64_t size, int32_t width, int32_t rows, bool bigEndian, uint16_t* out);
