// X3F raw data: data format 5 (a 1024-entry table indexed three times per
// 32-bit word, summed along the row) and data format 30 (three planes of
// Huffman-coded differences with four start predictors).
//
// Rules:
//  a. Pixels are 64-bit (B | G << 16 | R << 32 | A << 48), rows bottom-up:
//     raw row 0 lands in picture row height - 1. Callers size the pixels.
//  b. Input is a bounded byte range; a plane whose bits run out continues
//     with zero differences.
//  c. A Huffman entry of length 0 or above 8, or reaching past slot 255, is
//     refused; a code that lands on a slot no entry covers fails the plane.
#pragma once

#include <cstddef>
#include <cstdint>

struct sX3fSlot {
  uint8_t symbol = 0;
  uint8_t length = 0;  // 0: no entry covers the slot
};

// entries: thirteen {length, code} byte pairs. False on a refused entry.
bool BuildX3fTable(const uint8_t entries[26], sX3fSlot table[256]);

// One row of format 5: width little-endian words at words.
void X3fFormat5Row(const int16_t table[1024], const uint8_t* words, int32_t width, uint64_t* row);

// Decodes one plane (channel 0 red, 1 green, 2 blue) into the pixels.
bool DecodeX3fPlane(const uint8_t* data, size_t size, const sX3fSlot table[256], int32_t width, int32_t height,
                    int channel, uint64_t* pixels);

// Plane starts (relative to the raw data) from the three plane sizes: 48,
// then each previous start + size raised to a multiple of 16.
void X3fPlaneStarts(const uint32_t sizes[3], uint64_t starts[3]);
