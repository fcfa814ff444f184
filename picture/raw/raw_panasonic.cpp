// See raw_panasonic.h.
#include "picture/raw/raw_panasonic.h"

uint32_t PanasonicBits(sPanasonicBitReader& reader, int n) {
  if (reader.position == 0) {
    // The camera writes each 16 KiB unit rotated: its first 8184 bytes
    // belong at offset 8200 of the buffer.
    bool ok;
    if (reader.splitRefill) {
      ok = reader.stream->ReadExact(reader.buffer + 8200, 8184) && reader.stream->ReadExact(reader.buffer, 8200);
    } else {
      ok = reader.stream->ReadExact(reader.buffer, sPanasonicBitReader::kBufferSize);
    }
    if (!ok) {
      reader.failed = true;
      return 0;
    }
  }
  reader.position = (reader.position - static_cast<uint32_t>(n)) & 0x1FFFF;
  const uint32_t byte = (reader.position >> 3) ^ 0x3FF0;
  const uint32_t pair = reader.buffer[byte] | static_cast<uint32_t>(reader.buffer[byte + 1]) << 8;
  return (pair >> (reader.position & 7)) & ((1u << n) - 1);
}

bool DecodePanasonicBlocks(cFileIOTarget* stream, bool splitRefill, int32_t width, int32_t height,
                           uint16_t* raster, int32_t* rowsDone) {
  sPanasonicBitReader reader;
  reader.stream = stream;
  reader.splitRefill = splitRefill;
  int32_t pred[2] = {0, 0};
  uint32_t nonz[2] = {0, 0};
  int32_t sh = 0;
  for (int32_t row = 0; row < height; ++row) {
    uint16_t* out = raster + static_cast<size_t>(row) * static_cast<size_t>(width);
    for (int32_t c = 0; c < width; ++c) {
      const int32_t i = c % 14;
      const int k = i & 1;
      if (i == 0) pred[0] = pred[1] = 0, nonz[0] = nonz[1] = 0;
      if (i % 3 == 2) sh = 4 >> (3 - PanasonicBits(reader, 2));
      if (nonz[k] != 0) {
        const int32_t j = static_cast<int32_t>(PanasonicBits(reader, 8));
        if (j != 0) {
          pred[k] -= 0x80 << sh;
          if (pred[k] < 0 || sh == 4) pred[k] &= (1 << sh) - 1;
          pred[k] += j << sh;
        }
      } else {
        nonz[k] = PanasonicBits(reader, 8);
        if (nonz[k] != 0 || i > 11) pred[k] = static_cast<int32_t>(nonz[k] << 4 | PanasonicBits(reader, 4));
      }
      if (reader.failed) {
        if (rowsDone) *rowsDone = row;
        return height - row < 8;
      }
      out[c] = static_cast<uint16_t>(pred[c & 1]);
    }
  }
  if (rowsDone) *rowsDone = height;
  return true;
}

void UnpackPanasonic12(const uint8_t* data, size_t size, uint16_t* raster, size_t count) {
  size_t in = 0, out = 0;
  int pairs = 0;
  while (out < count && in + 3 <= size) {
    const uint8_t b0 = data[in], b1 = data[in + 1], b2 = data[in + 2];
    in += 3;
    raster[out++] = static_cast<uint16_t>((b1 & 0x0F) << 8 | b0);
    if (out < count) raster[out++] = static_cast<uint16_t>(b2 << 4 | b1 >> 4);
    if (++pairs == 5) pairs = 0, ++in;
  }
}
