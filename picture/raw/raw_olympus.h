// Olympus sensor data: the 12-bit packings (three byte orders, and 12-bit
// pairs with a filler byte) and the Olympus adaptive Huffman coding.
//
// Rules:
//  a. Callers size the rows: a row of width samples at out, rows stride
//     samples apart; nothing is written outside rows x width samples.
//  b. Input is a bounded byte range; reading never passes its end (a coded
//     strip that runs dry reads zero bits and is judged as below).
#pragma once

#include <cstddef>
#include <cstdint>

enum eOlympusPacking : int32_t {
  kOlympusPackLittle = 0,  // ((b1 & 15) << 8) | b0, (b2 << 4) | (b1 >> 4)
  kOlympusPackBig = 1,     // (b0 << 4) | (b1 >> 4), ((b1 & 15) << 8) | b2
  kOlympusPackWords = 2,   // three little-endian 32-bit words, 8 samples, MSB first
};

// Bytes one packed 12-bit row of width samples takes (words: whole groups of
// 8 samples in 12 bytes; else 3 bytes a pair, an odd width rounded up).
uint64_t OlympusPackedRowBytes(int32_t width, eOlympusPacking packing);

// One row of 12-bit samples from packed bytes (at least
// OlympusPackedRowBytes bytes at data).
void UnpackOlympus12Row(const uint8_t* data, int32_t width, eOlympusPacking packing, uint16_t* out);

// One row of 12-bit pairs with a filler byte after every five pairs; the
// bytes it takes are returned. bigEndian chooses the pair layout.
uint64_t UnpackOlympusFillerRow(const uint8_t* data, uint64_t size, int32_t width, bool bigEndian, uint16_t* out);

// Decodes one coded strip: data is the strip's bytes (the coded bits start 7
// bytes in). False for a sample outside 0..4095, or when the bits run out
// before the strip's last row begins a sample.
bool DecodeOlympusStrip(const uint8_t* data, size_t size, int32_t width, int32_t rows, uint16_t* out,
                        size_t stride);
