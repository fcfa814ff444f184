#include "tests/support/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace twtest {

namespace {

constexpr int kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

int Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Filters one raw row (without its type byte) against prev with type.
void FilterRow(const std::vector<uint8_t>& raw, const std::vector<uint8_t>& prev, int type, size_t unit,
               std::vector<uint8_t>& out) {
  out.push_back(static_cast<uint8_t>(type));
  for (size_t i = 0; i < raw.size(); ++i) {
    const int a = i >= unit ? raw[i - unit] : 0;
    const int b = prev[i];
    const int c = i >= unit ? prev[i - unit] : 0;
    int pred = 0;
    switch (type) {
      case 1: pred = a; break;
      case 2: pred = b; break;
      case 3: pred = (a + b) / 2; break;
      case 4: pred = Paeth(a, b, c); break;
      default: pred = 0; break;
    }
    out.push_back(static_cast<uint8_t>(raw[i] - pred));
  }
}

}  // namespace

int sPngImage::SamplesPerPixel() const {
  switch (colourType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

size_t sPngImage::RowBytes(uint32_t columns) const {
  return (static_cast<size_t>(columns) * bitDepth * SamplesPerPixel() + 7) / 8;
}

uint32_t sPngImage::Sample(uint32_t x, uint32_t y, int s) const {
  const uint8_t* row = rows.data() + RowBytes(width) * y;
  const size_t spp = static_cast<size_t>(SamplesPerPixel());
  if (bitDepth == 16) {
    const uint8_t* p = row + (x * spp + s) * 2;
    return static_cast<uint32_t>(p[0]) << 8 | p[1];
  }
  if (bitDepth == 8) return row[x * spp + s];
  const size_t bit = static_cast<size_t>(x) * bitDepth;
  return (row[bit / 8] >> (8 - bitDepth - bit % 8)) & ((1u << bitDepth) - 1);
}

std::vector<uint8_t> PngFilteredData(const sPngImage& img) {
  std::vector<uint8_t> out;
  const size_t pixelBits = static_cast<size_t>(img.bitDepth) * img.SamplesPerPixel();
  const size_t unit = pixelBits < 8 ? 1 : pixelBits / 8;
  auto emitPass = [&](uint32_t x0, uint32_t y0, uint32_t dx, uint32_t dy) {
    if (x0 >= img.width || y0 >= img.height) return;
    const uint32_t cols = (img.width - x0 + dx - 1) / dx;
    const size_t bytes = img.RowBytes(cols);
    std::vector<uint8_t> prev(bytes, 0), raw(bytes);
    int rowIndex = 0;
    for (uint32_t y = y0; y < img.height; y += dy, ++rowIndex) {
      std::fill(raw.begin(), raw.end(), 0);
      const uint8_t* src = img.rows.data() + img.RowBytes(img.width) * y;
      for (uint32_t k = 0; k < cols; ++k) {
        const size_t x = x0 + static_cast<size_t>(k) * dx;
        if (pixelBits >= 8) {
          std::memcpy(&raw[k * (pixelBits / 8)], src + x * (pixelBits / 8), pixelBits / 8);
        } else {
          const size_t bit = x * pixelBits;
          const uint32_t v = (src[bit / 8] >> (8 - pixelBits - bit % 8)) & ((1u << pixelBits) - 1);
          const size_t obit = static_cast<size_t>(k) * pixelBits;
          raw[obit / 8] |= static_cast<uint8_t>(v << (8 - pixelBits - obit % 8));
        }
      }
      const int type = img.filter < 0 ? rowIndex % 5 : img.filter;
      if (type > 4) {
        out.push_back(static_cast<uint8_t>(type));
        out.insert(out.end(), raw.begin(), raw.end());
      } else {
        FilterRow(raw, prev, type, unit, out);
      }
      prev = raw;
    }
  };
  if (img.interlace == 1) {
    for (const auto& p : kPass) emitPass(p[0], p[1], p[2], p[3]);
  } else {
    emitPass(0, 0, 1, 1);
  }
  return out;
}

void PngAppendChunk(std::vector<uint8_t>& out, const std::string& type, const std::vector<uint8_t>& data) {
  PutBe32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  const uint32_t crc = static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start)));
  PutBe32(out, crc);
}

std::vector<uint8_t> PngHeaderData(const sPngImage& img) {
  std::vector<uint8_t> h;
  PutBe32(h, img.width);
  PutBe32(h, img.height);
  h.push_back(img.bitDepth);
  h.push_back(img.colourType);
  h.push_back(0);
  h.push_back(0);
  h.push_back(img.interlace);
  return h;
}

std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& data, int level) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> out(size);
  if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), level) != Z_OK) return {};
  out.resize(size);
  return out;
}

std::vector<uint8_t> PngFromCompressed(const sPngImage& img, const std::vector<uint8_t>& z, size_t idatSize) {
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  PngAppendChunk(out, "IHDR", PngHeaderData(img));
  if (!img.palette.empty()) PngAppendChunk(out, "PLTE", img.palette);
  if (!img.trns.empty()) PngAppendChunk(out, "tRNS", img.trns);
  if (idatSize == 0) idatSize = z.size() > 0 ? z.size() : 1;
  for (size_t at = 0; at < z.size(); at += idatSize) {
    const size_t n = z.size() - at < idatSize ? z.size() - at : idatSize;
    PngAppendChunk(out, "IDAT", std::vector<uint8_t>(z.begin() + at, z.begin() + at + n));
  }
  PngAppendChunk(out, "IEND", {});
  return out;
}

std::vector<uint8_t> EncodePng(const sPngImage& img, size_t idatSize) {
  return PngFromCompressed(img, ZlibCompress(PngFilteredData(img), img.level), idatSize);
}

sPngImage MakeTestImage(uint32_t width, uint32_t height, uint8_t colourType, uint8_t bitDepth, uint32_t seed) {
  sPngImage img;
  img.width = width;
  img.height = height;
  img.colourType = colourType;
  img.bitDepth = bitDepth;
  const size_t rowBytes = img.RowBytes(width);
  img.rows.assign(rowBytes * height, 0);
  uint32_t x32 = seed * 2654435761u + 12345;
  auto next = [&]() {
    x32 ^= x32 << 13;
    x32 ^= x32 >> 17;
    x32 ^= x32 << 5;
    return x32;
  };
  const int spp = img.SamplesPerPixel();
  const uint32_t maxv = bitDepth == 16 ? 65535u : (1u << bitDepth) - 1;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = img.rows.data() + rowBytes * y;
    for (uint32_t x = 0; x < width; ++x) {
      for (int s = 0; s < spp; ++s) {
        // A gradient with a little noise and an occasional jump.
        uint64_t v = (static_cast<uint64_t>(x) * 7 + y * 3 + static_cast<uint64_t>(s) * 50) * (maxv + 1) / 256;
        if ((next() & 7) == 0) v += next();
        v += next() & 3;
        const uint32_t val = static_cast<uint32_t>(v % (static_cast<uint64_t>(maxv) + 1));
        if (bitDepth == 16) {
          row[(x * spp + s) * 2] = static_cast<uint8_t>(val >> 8);
          row[(x * spp + s) * 2 + 1] = static_cast<uint8_t>(val);
        } else if (bitDepth == 8) {
          row[x * spp + s] = static_cast<uint8_t>(val);
        } else {
          const size_t bit = static_cast<size_t>(x) * bitDepth;
          row[bit / 8] |= static_cast<uint8_t>(val << (8 - bitDepth - bit % 8));
        }
      }
    }
  }
  if (colourType == 3) {
    const uint32_t entries = 1u << bitDepth;
    for (uint32_t i = 0; i < entries; ++i) {
      img.palette.push_back(static_cast<uint8_t>(i * 37 + 5));
      img.palette.push_back(static_cast<uint8_t>(255 - i));
      img.palette.push_back(static_cast<uint8_t>(i * 11));
    }
  }
  return img;
}

}  // namespace twtest
