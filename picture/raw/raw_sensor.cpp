// See raw_sensor.h.
#include "picture/raw/raw_sensor.h"

#include <algorithm>
#include <cstring>

#include "base/memio.h"
#include "picture/jpeg_raw_lossless.h"
#include "picture/pict_area.h"

namespace {

constexpr int64_t kMaxBlockBytes = 0x7FFFFFFF;

uint32_t BitsAt(const uint8_t* row, int64_t bit, int32_t n) {
  uint32_t v = 0;
  for (int32_t k = 0; k < n; ++k) {
    const int64_t b = bit + k;
    v = v << 1 | ((row[b >> 3] >> (7 - (b & 7))) & 1);
  }
  return v;
}

// One stored sample as the raster holds it (see the header).
inline uint16_t StoredSample(const uint8_t* row, int64_t x, int32_t n, bool bigEndian, bool shifted) {
  uint32_t eight;
  switch (n) {
    case 16: {
      const uint8_t* p = row + 2 * x;
      return static_cast<uint16_t>(bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
    }
    case 8: eight = row[x]; break;
    default:
      if (n > 8) return static_cast<uint16_t>(BitsAt(row, x * n, n) << (16 - n));
      {
        const uint32_t v = BitsAt(row, x * n, n);
        if (n == 1) {
          eight = v ? 255u : 0u;
        } else {
          eight = v << (8 - n);
          if (n <= 4) eight += v << (8 - 2 * n);
          eight &= 0xFF;
        }
      }
      break;
  }
  return static_cast<uint16_t>(shifted ? eight << 8 : eight);
}

}  // namespace

void UnpackGrouped12(const uint8_t* data, uint32_t count, _typebuf<uint16_t>& samples) {
  const uint64_t outBytes = static_cast<uint64_t>(count) * 5 / 4;
  const int32_t n = static_cast<int32_t>(outBytes / 2);
  samples.Reset();
  if (n <= 0) return;
  samples.Reallocate(n);
  std::memset(samples.data, 0, static_cast<size_t>(n) * 2);
  uint32_t i = 0;
  int32_t o = 0, groups = 0;
  while (i + 3 <= count && o < n) {
    const uint32_t b0 = data[i], b1 = data[i + 1], b2 = data[i + 2];
    i += 3;
    samples.data[o++] = static_cast<uint16_t>(b0 << 4 | b1 >> 4);
    if (o < n) samples.data[o++] = static_cast<uint16_t>((b1 & 15) << 8 | b2);
    if (++groups == 5) {
      groups = 0;
      ++i;  // the sixteenth byte carries no sample
    }
  }
}

bool cRawSensorReader::DecodeJpegBlock(const uint8_t* data, uint32_t size, int32_t width, int32_t rows,
                                       const sRawSensorLayout& layout, uint16_t* out) {
  cRAWLosslessJpeg dec;
  dec.SetRasterSize(static_cast<uint32_t>(width), static_cast<uint32_t>(rows));
  dec.SetFieldOrder(layout.fieldOrder);
  dec.SetIdsByOffset(layout.idsByOffset);
  dec.SetDecodeThumbnails(false);
  cBufWrapperIO io(data, size);
  const bool ok = dec.Decode(&io);
  _typebuf<uint16_t> raster;
  dec.TakeOutput(raster);
  if (!ok) return false;
  const int64_t n = static_cast<int64_t>(width) * rows;
  if (raster.count < n) return false;
  std::memcpy(out, raster.data, static_cast<size_t>(n) * 2);
  return true;
}

bool cRawSensorReader::Read(cFileIOTarget* stream, const sRawSensorLayout& L, _typebuf<uint16_t>& raster,
                            int32_t& rasterWidth) {
  raster.Reset();
  if (stream == nullptr || L.offsets == nullptr || L.blockCount <= 0) return false;
  if (L.bits < 1 || L.bits > 16) return false;
  const bool tiles = L.tileWidth > 0;
  if (tiles && L.tileLength <= 0) return false;
  const int32_t W4 = L.width & ~3;
  int64_t area = 0;
  if (!pict_area::CheckedArea(W4, L.height, 1, area)) return false;
  const int32_t c = L.compression;
  if (c != 1 && c != 7 && c != 99 && c != 32769) return false;
  if (c == 32769 && L.bits != 12) return false;
  if (L.byteCountCount != 0 && L.byteCountCount != L.blockCount) return false;
  if (L.byteCountCount == 0 && (L.blockCount != 1 || c != 1)) return false;

  raster.Reallocate(static_cast<int32_t>(area));
  std::memset(raster.data, 0, static_cast<size_t>(area) * 2);
  rasterWidth = W4;

  const int32_t bw = tiles ? L.tileWidth : L.width;  // samples per stored row
  const int32_t bw4 = bw & ~3;
  int64_t rowBytes = 0;
  if (!pict_area::CheckedRowBytes(bw, 1, L.bits, rowBytes)) return false;
  int64_t rps = L.rowsPerStrip;
  if (!tiles) {
    if (rps == 0) rps = (static_cast<int64_t>(L.height) + L.blockCount - 1) / L.blockCount;
    if (rps > L.height) rps = L.height;
  } else {
    rps = L.tileLength;
  }
  const uint64_t streamSize = stream->GetSize();
  _typebuf<uint8_t> input;
  _typebuf<uint16_t> block;
  int64_t y = 0, tx = 0;
  for (int32_t i = 0; i < L.blockCount; ++i) {
    if (y >= L.height) return false;
    const int32_t rows = static_cast<int32_t>(tiles ? rps : std::min<int64_t>(rps, L.height - y));
    int64_t count = L.byteCountCount > 0 ? static_cast<int64_t>(L.byteCounts[i]) : rowBytes * rows;
    const uint64_t offset = L.offsets[i];
    if (offset >= streamSize) return false;
    if (static_cast<uint64_t>(count) > streamSize - offset) {
      if (c == 1) return false;
      count = static_cast<int64_t>(streamSize - offset);
    }
    if (count > kMaxBlockBytes) return false;
    if (input.count < count) input.Reallocate(static_cast<int32_t>(count));
    if (count > 0 && (!stream->Seek(offset) || !stream->ReadExact(input.data, static_cast<uint32_t>(count))))
      return false;

    // The block as bw4 x rows samples.
    const int64_t blockArea = static_cast<int64_t>(bw4) * rows;
    if (bw4 > 0 && blockArea > 0) {
      if (blockArea > pict_area::kMaxSamples) return false;
      if (block.count < blockArea) block.Reallocate(static_cast<int32_t>(blockArea));
      std::memset(block.data, 0, static_cast<size_t>(blockArea) * 2);
      if (c == 7 || c == 99) {
        // With the alternating row order the rows of a strip are spread over
        // the whole picture height, as the reader lays them.
        if (L.fieldOrder != 0 && !tiles && rows != L.height) return false;
        if (!DecodeJpegBlock(input.data, static_cast<uint32_t>(count), bw4, rows, L, block.data)) return false;
      } else if (c == 32769) {
        _typebuf<uint16_t> unpacked;
        UnpackGrouped12(input.data, static_cast<uint32_t>(count), unpacked);
        // Rows of the unpacked data: the stored row bytes * 4 / 3, in
        // 16-bit samples.
        const int64_t stride = rowBytes * 4 / 3 / 2;
        for (int32_t r = 0; r < rows; ++r)
          for (int32_t x = 0; x < bw4; ++x) {
            const int64_t s = r * stride + x;
            if (s < unpacked.count) block.data[static_cast<int64_t>(r) * bw4 + x] = unpacked.data[s];
          }
      } else {
        // Uncompressed: whole rows only.
        const int64_t fullRows = std::min<int64_t>(rows, rowBytes > 0 ? count / rowBytes : 0);
        if (fullRows < rows) return false;
        for (int32_t r = 0; r < rows; ++r) {
          const uint8_t* src = input.data + r * rowBytes;
          uint16_t* dst = block.data + static_cast<int64_t>(r) * bw4;
          if (L.bits == 16 && !L.bigEndian) {
            for (int32_t x = 0; x < bw4; ++x) dst[x] = static_cast<uint16_t>(src[2 * x + 1] << 8 | src[2 * x]);
          } else {
            for (int32_t x = 0; x < bw4; ++x) dst[x] = StoredSample(src, x, L.bits, L.bigEndian, L.eightBitShifted);
          }
        }
      }
      // Into the raster, clipped.
      const int64_t columns = std::min<int64_t>(bw4, W4 - tx);
      for (int32_t r = 0; r < rows && y + r < L.height; ++r)
        if (columns > 0)
          std::memcpy(raster.data + (y + r) * W4 + tx, block.data + static_cast<int64_t>(r) * bw4,
                      static_cast<size_t>(columns) * 2);
    }
    if (tiles) {
      tx += bw4;
      if (tx >= W4 || bw4 == 0) {
        tx = 0;
        y += rows;
      }
    } else {
      y += rows;
    }
  }
  return true;
}
