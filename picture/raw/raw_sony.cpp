// Sony raw pieces; see the header.
#include "picture/raw/raw_sony.h"

#include <cstring>
#include <vector>

#include "picture/raw/raw_byte_bits.h"

namespace {

// -1 (or 0.0 for factors) keeps the value held; scaleGB multiplies green
// and blue by 0.9.
struct sSonyRow {
  const char* names[12];
  int32_t black, white, crop;
  double red, green, blue, gamma;
  bool levels14, a100, scaleGB;
};

const sSonyRow kSonyRows[] = {
    {{"DSC-R1"}, 320, -1, 58, 1.1, 0, 1.1, 0, false, false, false},
    {{"DSC-RX1", "DSC-RX1R", "DSC-RX0"}, 128, -1, 15, 0.75, 0, 0.8, 0, false, false, false},
    {{"DSC-RX10", "DSC-RX10M2", "DSC-RX10M3"}, 200, -1, 10, 0.6, 0, 0.75, 0, false, false, false},
    {{"DSC-RX10M4"}, 250, -1, 10, 0, 0, 0, 0, false, false, false},
    {{"DSC-RX100"}, 220, -1, 10, 0.9, 0, 1.3, 0, false, false, false},
    {{"DSC-RX100M2"}, 128, -1, 10, 0.95, 0, 1.05, 0, false, false, false},
    {{"DSC-RX100M4", "DSC-RX100M5"}, 200, -1, 10, 0.55, 0, 0.9, 0, false, false, false},
    {{"DSC-RX100M7"}, 230, -1, -1, 0, 0, 0, 0, false, false, true},
    {{"DSC-RX100M3"}, 128, -1, 10, 0.55, 0, 0.9, 0, false, false, false},
    {{"DSLR-A100"}, -1, -1, -1, 0, 0, 0, 0, false, true, false},
    {{"ILCE-3000", "ILCE-5000"}, 128, 992, 32, 1.2, 0, 0, 0, false, false, false},
    {{"ILCE-6300"}, 120, 864, 25, 0, 0, 0, 0, false, false, false},
    {{"ILCE-6100"}, 120, 864, -1, 1.1, 0.8, 0, 0, false, false, false},
    {{"DSC-HX99"}, 200, 1536, -1, 1.15, 0, 1.05, 0, false, false, false},
    {{"ILCE-6000", "ILCE-7M2"}, 160, 864, -1, 0, 1.39, 0, 0, false, false, false},
    {{"DSC-RX1RM2", "ILCE-7SM2", "ILCE-7SM3", "ILCE-7M3", "ILCE-7RM2", "ILCA-99M2"},
     512, 16896, -1, 0, 0, 0, 0, true, false, false},
    {{"ILCE-7RM3", "ILCE-7RM4", "ILCE-7RM5", "ILCE-1", "ILCE-9M2"}, 544, 16384, -1, 1.7, 0, 1.3, 0, true, false, false},
    {{"ILCE-7", "ILCE-7R", "ILCA-77M2", "ILCE-5100", "ILCE-7S", "ILCA-68"}, 128, 896, -1, 0, 0, 0, 0, false, false,
     false},
    {{"MODEL-NAME", "SLT-A77V", "SLT-A99V"}, 128, 640, -1, 0, 0, 0, 0, false, false, false},
    {{"DSLR-A700", "DSLR-A850", "DSLR-A560", "DSLR-A900", "NEX-6", "NEX-7", "SLT-A57", "SLT-A58", "SLT-A02", "ZV-1",
      "SLT-A65V"},
     128, -1, -1, 0, 0, 0, 0, false, false, false},
    {{"ILCE-9"}, 96, -1, -1, 0, 0.95, 0, 1.4, false, false, false},
};

bool Matches(const uint8_t* value, int32_t size, const char* name) {
  const size_t n = std::strlen(name);
  return size >= 0 && static_cast<size_t>(size) >= n + 1 && std::memcmp(value, name, n + 1) == 0;
}

uint32_t Load32(const uint8_t* p, bool bigEndian) {
  return bigEndian ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                   : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
}

bool ReadAt(cFileIOTarget* s, uint64_t at, void* dst, uint32_t n) {
  return s->Seek(at) && s->ReadExact(dst, n);
}

}  // namespace

int32_t SonyModelNameCount() {
  int32_t n = 0;
  for (const auto& r : kSonyRows)
    for (const char* name : r.names)
      if (name != nullptr) ++n;
  return n;
}

bool ApplySonyModel(const uint8_t* value, int32_t size, sSonyModelConstants& k) {
  if (value == nullptr) return false;
  for (const auto& r : kSonyRows) {
    bool hit = false;
    for (const char* name : r.names)
      if (name != nullptr && Matches(value, size, name)) hit = true;
    if (!hit) continue;
    if (r.black >= 0) k.black = static_cast<uint32_t>(r.black);
    if (r.white >= 0) k.white = static_cast<uint32_t>(r.white);
    if (r.crop >= 0) k.rightCrop = r.crop;
    if (r.red != 0) k.red = r.red;
    if (r.green != 0) k.green = r.green;
    if (r.blue != 0) k.blue = r.blue;
    if (r.gamma != 0) k.gamma = r.gamma;
    if (r.scaleGB) {
      k.green *= 0.9;
      k.blue *= 0.9;
    }
    if (r.levels14) k.levels14 = true;
    if (r.a100) k.a100 = true;
    return true;
  }
  return false;
}

bool ParseSonyMrm(cFileIOTarget* stream, uint64_t v, double levels[4]) {
  uint8_t head[8];
  if (stream == nullptr || !ReadAt(stream, v, head, 8)) return false;
  if (head[0] != 0 || head[1] != 'M' || head[2] != 'R') return false;
  const bool be = head[3] == 'M';
  const uint32_t length = Load32(head + 4, be);
  if (length <= 16) return true;
  uint64_t at = v + 8;
  // Sub-blocks are bounded by the block's own length as well, so a crafted
  // length cannot walk the whole file.
  const uint64_t end = v + 8 + uint64_t{length};
  for (int guard = 0; guard < 4096 && at + 8 <= end; ++guard) {
    uint8_t sub[8];
    if (!ReadAt(stream, at, sub, 8)) return true;
    const uint32_t sublen = Load32(sub + 4, be);
    if (sub[1] == 'W' && sub[2] == 'B' && sub[3] == 'G') {
      uint8_t w[8];
      if (ReadAt(stream, at + 8 + 4, w, 8))
        for (int i = 0; i < 4; ++i)
          levels[i] = be ? (w[2 * i] << 8 | w[2 * i + 1]) : (w[2 * i + 1] << 8 | w[2 * i]);
      return true;
    }
    if (sublen > length - 8) return true;
    at += 8 + uint64_t{sublen};
  }
  return true;
}

void SonySr2Crypt(uint8_t* buffer, uint32_t length, uint32_t key) {
  uint32_t pad[128] = {};
  for (int p = 0; p < 4; ++p) pad[p] = key = key * 48828125u + 1u;
  pad[3] = pad[3] << 1 | (pad[0] ^ pad[2]) >> 31;
  for (int p = 4; p < 127; ++p) pad[p] = (pad[p - 4] ^ pad[p - 2]) << 1 | (pad[p - 3] ^ pad[p - 1]) >> 31;
  for (int p = 0; p < 127; ++p)
    pad[p] = (pad[p] >> 24) | (pad[p] >> 8 & 0xFF00u) | (pad[p] << 8 & 0xFF0000u) | (pad[p] << 24);
  // The buffer words are xored in memory order; the targets are
  // little-endian, so the word is read and written least significant first.
  uint32_t p = 128;
  for (uint32_t i = 0; i < length / 4; ++i, ++p) {
    const uint32_t w = pad[p & 127] ^ pad[(p + 64) & 127];
    pad[(p - 1) & 127] = w;
    uint8_t* b = buffer + 4 * static_cast<size_t>(i);
    const uint32_t x = Load32(b, false) ^ w;
    b[0] = static_cast<uint8_t>(x);
    b[1] = static_cast<uint8_t>(x >> 8);
    b[2] = static_cast<uint8_t>(x >> 16);
    b[3] = static_cast<uint8_t>(x >> 24);
  }
}

bool SonyPlain16(const uint8_t* in, int64_t size, int32_t width, int32_t rows, bool littleEndian, uint16_t* out) {
  const int64_t n = int64_t{width} * rows;
  if (width <= 0 || rows <= 0 || size != 2 * n) return false;
  for (int64_t i = 0; i < n; ++i)
    out[i] = littleEndian ? static_cast<uint16_t>(in[2 * i] | in[2 * i + 1] << 8)
                          : static_cast<uint16_t>(in[2 * i] << 8 | in[2 * i + 1]);
  return true;
}

bool SonyPacked12(const uint8_t* in, int64_t size, int32_t width, int32_t rows, bool bigEndian, uint16_t* out) {
  const int64_t n = int64_t{width} * rows;
  if (width <= 0 || rows <= 0 || size != (3 * n) / 2) return false;
  for (int64_t i = 0; i + 1 < n + 1 && 3 * (i / 2) + 2 < size; i += 2) {
    const uint8_t* p = in + 3 * (i / 2);
    const uint16_t s0 = bigEndian ? static_cast<uint16_t>(p[0] << 4 | p[1] >> 4)
                                  : static_cast<uint16_t>((p[1] & 15) << 8 | p[0]);
    const uint16_t s1 = bigEndian ? static_cast<uint16_t>((p[1] & 15) << 8 | p[2])
                                  : static_cast<uint16_t>(p[2] << 4 | p[1] >> 4);
    out[i] = s0;
    if (i + 1 < n) out[i + 1] = s1;
  }
  return true;
}

bool SonyDecodeArw1(const uint8_t* in, int64_t size, int32_t width, int32_t rows, uint16_t* out) {
  static const uint8_t kPairs[][2] = {{17, 15}, {16, 15}, {15, 14}, {14, 13}, {13, 12}, {12, 11},
                                      {11, 10}, {10, 9},  {9, 8},   {8, 7},   {7, 6},   {6, 5},
                                      {5, 4},   {4, 3},   {3, 3},   {0, 3},   {2, 2},   {1, 2}};
  static const std::vector<uint16_t> table = BuildPairTable(15, kPairs, 18);
  if (width <= 0 || rows <= 0) return false;
  cRawByteBits bits(in, size);
  int32_t sum = 0;
  const int64_t h = rows;
  for (int32_t col = width - 1; col >= 0; --col) {
    for (int64_t r = 0; r < h + 9; r += 2) {
      if (r == h + 8) r = 1;
      // 17 and 16 are codes of the table too: 16 is the fixed -32768.
      const int32_t v = bits.GetDifference(table.data());
      sum += v;
      if (sum < 0 || sum > 4095) return false;
      if (r < h) out[r * width + col] = static_cast<uint16_t>(sum);
    }
  }
  return true;
}

bool SonyDecodeArw2(const uint8_t* in, int64_t size, int32_t width, int32_t rows, bool bigEndian, uint16_t* out) {
  if (width <= 0 || rows <= 0 || size < int64_t{width} * rows) return false;
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t* row = in + int64_t{r} * width;
    uint16_t* dst = out + int64_t{r} * width;
    // Bytes of the row only; a 16-bit read at a block's last byte sees 0
    // past the row.
    auto byteAt = [&](int64_t i) -> uint32_t { return i < width ? row[i] : 0u; };
    int64_t block = 0;
    for (int32_t col = 0; col < width - 30; ++block) {
      const int64_t b0 = block * 16;
      if (b0 + 16 > width) break;
      const uint32_t v = bigEndian ? (byteAt(b0) << 24 | byteAt(b0 + 1) << 16 | byteAt(b0 + 2) << 8 | byteAt(b0 + 3))
                                   : (byteAt(b0 + 3) << 24 | byteAt(b0 + 2) << 16 | byteAt(b0 + 1) << 8 | byteAt(b0));
      const int32_t max = v & 0x7FF, min = (v >> 11) & 0x7FF;
      const int32_t imax = (v >> 22) & 15, imin = (v >> 26) & 15;
      int32_t sh = 0;
      while (sh < 4 && (128 << sh) <= max - min) ++sh;
      int32_t bit = 30;
      for (int32_t i = 0; i < 16; ++i) {
        int32_t s;
        if (i == imax) {
          s = max;
        } else if (i == imin) {
          s = min;
        } else {
          const int64_t at = b0 + (bit >> 3);
          const uint32_t w = bigEndian ? (byteAt(at) << 8 | byteAt(at + 1)) : (byteAt(at + 1) << 8 | byteAt(at));
          s = static_cast<int32_t>(((w >> (bit & 7)) & 0x7F) << sh) + min;
          if (s > 0x7FF) s = 0x7FF;
          bit += 7;
        }
        const int32_t c = col + 2 * i;
        if (c < width) dst[c] = static_cast<uint16_t>(s >> 1);
      }
      col += 32;
      col -= (col & 1) != 0 ? 1 : 31;
    }
  }
  return true;
}
