// A minimal PNG writer and reader for test output a person can look at:
// 8-bit RGB, one IDAT, filter type 0 on every row. zlib does the deflate,
// inflate and CRC-32. The reader accepts only what the writer produces.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace twtest {

struct RgbImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;  // top row first, 3 bytes a pixel
};

namespace png_detail {

inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

inline uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

inline void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
  Put32(out, static_cast<uint32_t>(crc));
}

inline const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

}  // namespace png_detail

inline std::vector<uint8_t> EncodePng(const RgbImage& im) {
  using namespace png_detail;
  std::vector<uint8_t> raw;
  const size_t stride = static_cast<size_t>(im.width) * 3;
  for (int32_t y = 0; y < im.height; ++y) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), im.rgb.begin() + y * stride, im.rgb.begin() + (y + 1) * stride);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) return {};
  packed.resize(packedSize);

  std::vector<uint8_t> out(kSignature, kSignature + 8);
  std::vector<uint8_t> ihdr;
  Put32(ihdr, static_cast<uint32_t>(im.width));
  Put32(ihdr, static_cast<uint32_t>(im.height));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit, RGB, deflate, filter 0, no interlace
  Chunk(out, "IHDR", ihdr);
  Chunk(out, "IDAT", packed);
  Chunk(out, "IEND", {});
  return out;
}

// False for anything but the writer's own form or a bad CRC.
inline bool DecodePng(const std::vector<uint8_t>& file, RgbImage* im) {
  using namespace png_detail;
  if (file.size() < 8 || !std::equal(kSignature, kSignature + 8, file.begin())) return false;
  size_t at = 8;
  std::vector<uint8_t> packed;
  bool header = false, end = false;
  while (!end) {
    if (file.size() - at < 12) return false;
    const uint32_t len = Get32(&file[at]);
    if (len > file.size() - at - 12) return false;
    const uint8_t* type = &file[at + 4];
    const uint8_t* data = type + 4;
    if (crc32(0L, type, len + 4) != Get32(data + len)) return false;
    const std::string t(reinterpret_cast<const char*>(type), 4);
    if (t == "IHDR") {
      if (len != 13 || data[8] != 8 || data[9] != 2 || data[12] != 0) return false;
      im->width = static_cast<int32_t>(Get32(data));
      im->height = static_cast<int32_t>(Get32(data + 4));
      if (im->width <= 0 || im->height <= 0 || im->width > 8192 || im->height > 8192) return false;
      header = true;
    } else if (t == "IDAT") {
      packed.insert(packed.end(), data, data + len);
    } else if (t == "IEND") {
      end = true;
    }
    at += 12 + len;
  }
  if (!header) return false;
  const size_t stride = static_cast<size_t>(im->width) * 3;
  std::vector<uint8_t> raw((stride + 1) * im->height);
  uLongf rawSize = static_cast<uLongf>(raw.size());
  if (uncompress(raw.data(), &rawSize, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
      rawSize != raw.size())
    return false;
  im->rgb.clear();
  for (int32_t y = 0; y < im->height; ++y) {
    if (raw[y * (stride + 1)] != 0) return false;
    const auto row = raw.begin() + y * (stride + 1) + 1;
    im->rgb.insert(im->rgb.end(), row, row + stride);
  }
  return true;
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

}  // namespace twtest
