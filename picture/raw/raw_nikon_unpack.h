// Nikon raw sample layouts: the unpackers that turn the stored bytes of one
// NEF strip into rows of unsigned 16-bit samples, and the Nikon Huffman
// coding (six fixed trees, two predictor pairs, split row, linearisation
// curve) with its bit reader and lookup-table builder.
//
// Rules:
//  a. Every unpacker takes the strip's stored bytes (in, size) and the strip
//     record as the TIFF strip loop fills it: bytesPerRow is the stored row
//     length, rows the strip's rows, bitsPerSample as stored, bigEndian the
//     strip's byte order. n = bytesPerRow * 8 / bitsPerSample samples a row.
//  b. On success sd.data holds rows * n samples in host order (2n bytes a
//     row, zero where the layout delivers fewer), bytesPerRow = 2n,
//     sampleFormat = 1 and bigEndian = false, unless a function says
//     otherwise. On failure sd is unchanged or its data is empty.
//  c. Every read is bounded by size; the word reader reads bytes past the
//     stored data as zero. Sizes are computed in 64 bits; a frame that does
//     not fit a 32-bit count is refused.
//  d. Nothing throws for file data except the documented index checks.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "picture/pict_tiff.h"

// 16 counts (code lengths 1..16) then 16 symbols; a symbol s means a
// difference of s & 15 bits whose lowest s >> 4 bits are not stored.
extern const uint8_t kNikonHuffmanTrees[6][32];

// What the Huffman coding needs from the maker note and the file.
struct sNikonCodingInput {
  uint16_t nefCompression = 0;
  const uint8_t* linearisation = nullptr;  // maker-note tag 150, as stored
  int32_t linearisationSize = 0;
  bool fileBigEndian = false;  // byte order of the main TIFF header
};

// Samples a row for the record as it stands (rule a); 0 when bits is 0.
int32_t NefSamplesPerRow(const sTiffStripData& sd);

bool TakeRaw16(const uint8_t* in, int32_t size, sTiffStripData& sd);
bool UnpackBitsBigEndian(const uint8_t* in, int32_t size, sTiffStripData& sd);
bool UnpackInterleavedRows(const uint8_t* in, int32_t size, sTiffStripData& sd);
bool UnpackBitsPadded(const uint8_t* in, int32_t size, sTiffStripData& sd, int32_t groupBytes);
bool Unpack12or14Bit(const uint8_t* in, int32_t size, sTiffStripData& sd);
bool Unpack12In16BigEndian(const uint8_t* in, int32_t size, sTiffStripData& sd);
bool Unpack12BitPacked(const uint8_t* in, int32_t size, sTiffStripData& sd);
// NEF compressions 0, 1, 3 and 4. False for an empty or too short
// linearisation table, a value outside the curve's range or a bad record.
bool DecodeNikonLossless(const sNikonCodingInput& coding, const uint8_t* in, int32_t size, sTiffStripData& sd);

// The linearisation curve for bits per sample. False (curve empty) when the
// table is shorter than the positions it names; an absent table gives the
// identity curve of (1 << bits) & 0x7FFF entries.
bool BuildNikonCurve(int32_t bits, _typebuf<uint16_t>& curve, bool fileBigEndian, const uint8_t* table,
                     int32_t tableSize);

// Lookup table of 1 + 2^m entries for the 32-byte tree at cursor; entry 0 is
// m, entry 1 + c is (length << 8) | symbol for every m-bit prefix c. The
// cursor moves past the counts and the symbols used.
void BuildHuffLookup(_typebuf<uint16_t>& table, const uint8_t*& cursor);

struct sHuffBitState {
  uint32_t buffer = 0;
  int32_t count = 0;
  int32_t position = 0;
};
// n = -1 resets; n = 0 or a negative bit count answer 0. With a table, n
// must be its entry 0 and the answer is the symbol of the code read. Past
// the end of bytes the buffered bits run out and every later call answers 0.
int32_t ReadHuffBits(const uint8_t* bytes, int32_t size, sHuffBitState& state, int32_t n,
                     const _typebuf<uint16_t>* table);
