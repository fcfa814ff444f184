// Pentax raw pieces that need no decoder object: the Huffman table of
// maker-note tags 0x220/0x22a and the Huffman strip coding (compression
// 65535). The plain and packed 12-bit strips share Sony's unpackers
// (picture/raw/raw_sony.h), whose byte layouts are the same.
#pragma once

#include <cstdint>

// 1 + 4096 entries: [0] the bits looked at (12 once built, 0 when absent),
// then (code length << 8) | category for every 12-bit prefix.
inline constexpr int32_t kPentaxTableSize = 1 + 4096;

// value: the tag's bytes (length L) in the file's byte order. False when
// the table is refused (the maker-note walk then fails); true, table
// untouched, for a value shorter than 2 bytes.
bool BuildPentaxHuffman(const uint8_t* value, int32_t length, bool is22a, bool bigEndian, uint16_t* table);

// width x rows samples of one strip; vertical predictors start at 0. False
// for a missing table or a sample with bits at or above bits.
bool DecodePentaxHuffman(const uint8_t* strip, int64_t size, int32_t width, int32_t rows, int32_t bits,
                         const uint16_t* table, uint16_t* out);
