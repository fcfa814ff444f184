// A small PNG encoder for crafting decoder fixtures: any colour type and
// depth (legal or not), Adam7, a chosen filter per row, IDAT split into
// chunks of a given size, extra or damaged chunks. Uses zlib only, so the
// benchmarks and fuzz seed makers can build it too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace twtest {

struct sPngImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t bitDepth = 8;
  uint8_t colourType = 2;
  uint8_t interlace = 0;
  // Top-down rows of the whole picture, each packed as PNG packs a row:
  // RowBytes(width) bytes, samples big-endian, sub-byte pixels MSB first.
  std::vector<uint8_t> rows;
  std::vector<uint8_t> palette;  // RGB triplets; written as PLTE when not empty
  std::vector<uint8_t> trns;     // written as tRNS when not empty
  // Filter of each row: -1 cycles 0, 1, 2, 3, 4 over the rows (of each pass);
  // 0..4 one type throughout; 5..255 written as the type byte with the row
  // left unfiltered.
  int filter = -1;
  int level = 6;  // zlib level

  int SamplesPerPixel() const;
  size_t RowBytes(uint32_t columns) const;
  // Sample s (0-based) of pixel x in the packed top-down row y.
  uint32_t Sample(uint32_t x, uint32_t y, int s) const;
};

// The filtered, uncompressed image data stream (all passes).
std::vector<uint8_t> PngFilteredData(const sPngImage& image);

// Appends one chunk with its length and CRC.
void PngAppendChunk(std::vector<uint8_t>& out, const std::string& type, const std::vector<uint8_t>& data);

// The 13 IHDR bytes of the image.
std::vector<uint8_t> PngHeaderData(const sPngImage& image);

// A whole PNG: signature, IHDR, PLTE, tRNS, IDAT chunks of idatSize bytes
// (0: one chunk), IEND.
std::vector<uint8_t> EncodePng(const sPngImage& image, size_t idatSize = 0);

// The same from already compressed data.
std::vector<uint8_t> PngFromCompressed(const sPngImage& image, const std::vector<uint8_t>& zdata,
                                       size_t idatSize = 0);

std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& data, int level);

// A pseudo-random picture of the given kind, reproducible from seed:
// smooth gradients with noise, so every filter has work to do. Palette
// pictures get a full palette for their depth.
sPngImage MakeTestImage(uint32_t width, uint32_t height, uint8_t colourType, uint8_t bitDepth, uint32_t seed);

}  // namespace twtest
