// Test-side encoder of Canon's compressed raw data: turns a raster of
// samples into the block Huffman coding that DecodeCanonCompressed reads, so
// fixtures can be made without camera files. Codes are assigned the
// canonical way (shorter first, one length in table order) from the fixed
// tables; the encoder keeps its own code tables and shares only the table
// bytes with the decoder.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <vector>

#include "picture/raw/raw_canon_compressed.h"

namespace canon_test {

struct sCode {
  uint32_t bits = 0;
  int32_t length = 0;
};

inline std::map<uint8_t, sCode> CanonicalCodes(const uint8_t* table, int32_t symbols) {
  std::map<uint8_t, sCode> codes;
  uint32_t code = 0;
  int32_t k = 0;
  for (int32_t length = 1; length <= 16; ++length) {
    for (int32_t n = 0; n < table[length - 1] && k < symbols; ++n, ++k) {
      if (!codes.count(table[16 + k])) codes[table[16 + k]] = {code, length};
      ++code;
    }
    code <<= 1;
  }
  return codes;
}

class cBitWriter {
public:
  void Put(uint32_t bits, int32_t n) {
    for (int32_t i = n - 1; i >= 0; --i) {
      acc_ = (acc_ << 1) | ((bits >> i) & 1);
      if (++fill_ == 8) Flush();
    }
  }
  std::vector<uint8_t> Finish() {
    while (fill_ != 0) Put(0, 1);
    return out_;
  }

private:
  void Flush() {
    out_.push_back(static_cast<uint8_t>(acc_));
    if (acc_ == 0xFF) out_.push_back(0x00);  // stuffed byte the reader drops
    acc_ = 0;
    fill_ = 0;
  }
  std::vector<uint8_t> out_;
  uint32_t acc_ = 0;
  int32_t fill_ = 0;
};

inline int32_t BitLength(int32_t v) {
  int32_t a = std::abs(v), n = 0;
  while (a != 0) {
    ++n;
    a >>= 1;
  }
  return n;
}

// Encodes count samples of raster (rowWidth per row). With lowBits the
// samples are 12-bit: their two lowest bits go to the low-bit area and the
// rest to the coded blocks. Differences must fit the tables' lengths.
inline std::vector<uint8_t> EncodeCanonCompressed(const std::vector<uint16_t>& raster, bool lowBits,
                                                  uint32_t rowWidth, int32_t tableIndex) {
  const sCanonTablePair& pair = kCanonTablePairs[tableIndex > 2 ? 2 : tableIndex];
  const auto firstCodes = CanonicalCodes(pair.first, 13);
  const auto secondCodes = CanonicalCodes(pair.second, 162);
  const uint32_t count = static_cast<uint32_t>(raster.size());
  std::vector<uint8_t> out;
  std::vector<int32_t> high(count);
  if (lowBits) {
    out.assign(count / 4, 0);
    for (uint32_t p = 0; p < count; ++p) {
      if (p / 4 < count / 4) out[p / 4] |= static_cast<uint8_t>((raster[p] & 3) << (2 * (p % 4)));
      high[p] = p / 4 < count / 4 ? raster[p] >> 2 : raster[p];
    }
  } else {
    for (uint32_t p = 0; p < count; ++p) high[p] = raster[p];
  }
  cBitWriter w;
  auto put = [&w](const std::map<uint8_t, sCode>& codes, uint8_t symbol) {
    auto it = codes.find(symbol);
    if (it == codes.end()) throw std::runtime_error("symbol missing from table");
    w.Put(it->second.bits, it->second.length);
  };
  auto putValue = [&w](int32_t diff, int32_t n) {
    const uint32_t v = diff >= 0 ? static_cast<uint32_t>(diff) : static_cast<uint32_t>(diff + (1 << n) - 1);
    w.Put(v, n);
  };
  int32_t predictor[2] = {512, 512};
  int32_t carry = 0;
  for (uint32_t base = 0; base < count; base += 64) {
    int32_t d[64] = {};
    for (uint32_t k = 0; k < 64; ++k) {
      const uint32_t p = base + k;
      if (p % rowWidth == 0) predictor[0] = predictor[1] = 512;
      const int32_t sample = p < count ? high[p] : predictor[k & 1];
      d[k] = sample - predictor[k & 1];
      predictor[k & 1] = sample;
    }
    const int32_t first = d[0] - carry;
    carry = d[0];
    const int32_t n0 = BitLength(first);
    put(firstCodes, static_cast<uint8_t>(n0));
    if (n0 > 0) putValue(first, n0);
    int32_t last = 0;
    for (int32_t k = 1; k < 64; ++k)
      if (d[k] != 0) last = k;
    int32_t i = 1;
    while (i <= last) {
      int32_t run = 0;
      while (d[i + run] == 0) ++run;
      while (run > 15) {
        put(secondCodes, 0xF0);  // sixteen zeros
        run -= 16;
        i += 16;
      }
      const int32_t n = BitLength(d[i + run]);
      put(secondCodes, static_cast<uint8_t>((run << 4) | n));
      putValue(d[i + run], n);
      i += run + 1;
    }
    if (i < 64) put(secondCodes, 0x00);
  }
  std::vector<uint8_t> coded = w.Finish();
  out.insert(out.end(), coded.begin(), coded.end());
  return out;
}

}  // namespace canon_test
