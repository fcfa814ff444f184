// See ljpeg_encoder.h.
#include "tests/support/ljpeg_encoder.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace {

struct sHuffTable {
  std::array<uint8_t, 17> bits{};  // bits[l]: codes of length l
  std::vector<uint8_t> values;     // symbols by code length
  std::array<uint32_t, 17> code{};
  std::array<int32_t, 17> size{};
};

int32_t Category(int32_t d) {
  if (d == -32768) return 16;
  uint32_t a = static_cast<uint32_t>(d < 0 ? -d : d);
  int32_t s = 0;
  while (a != 0) {
    ++s;
    a >>= 1;
  }
  return s;
}

// Code lengths of a Huffman code over the 17 categories, limited to 16 bits,
// with the all-ones code left unused (a reserved symbol of weight 1 takes
// it and is dropped afterwards).
sHuffTable BuildTable(const std::array<uint64_t, 17>& freq) {
  std::array<uint64_t, 18> f{};
  for (int i = 0; i < 17; ++i) f[i] = freq[i];
  f[17] = 1;
  // Every category gets a code so that a table fits any data.
  for (int i = 0; i < 17; ++i)
    if (f[i] == 0) f[i] = 1;
  std::array<int32_t, 18> codeSize{};
  std::array<int32_t, 18> others;
  others.fill(-1);
  for (;;) {
    int v1 = -1, v2 = -1;
    for (int i = 0; i < 18; ++i) {
      if (f[i] == 0) continue;
      if (v1 < 0 || f[i] < f[v1] || (f[i] == f[v1] && i > v1)) v1 = i;
    }
    for (int i = 0; i < 18; ++i) {
      if (f[i] == 0 || i == v1) continue;
      if (v2 < 0 || f[i] < f[v2] || (f[i] == f[v2] && i > v2)) v2 = i;
    }
    if (v2 < 0) break;
    f[v1] += f[v2];
    f[v2] = 0;
    ++codeSize[v1];
    while (others[v1] >= 0) {
      v1 = others[v1];
      ++codeSize[v1];
    }
    others[v1] = v2;
    ++codeSize[v2];
    while (others[v2] >= 0) {
      v2 = others[v2];
      ++codeSize[v2];
    }
  }
  std::array<int32_t, 40> bits{};
  for (int i = 0; i < 18; ++i) ++bits[codeSize[i]];
  for (int i = 39; i > 16; --i) {
    while (bits[i] > 0) {
      int j = i - 2;
      while (bits[j] == 0) --j;
      bits[i] -= 2;
      bits[i - 1] += 1;
      bits[j + 1] += 2;
      bits[j] -= 1;
    }
  }
  int i = 16;
  while (bits[i] == 0) --i;
  bits[i] -= 1;  // the reserved symbol's code
  sHuffTable t;
  for (int l = 1; l <= 16; ++l) t.bits[l] = static_cast<uint8_t>(bits[l]);
  // Symbols by code size, then by number.
  std::vector<int> order;
  for (int s = 0; s < 17; ++s) order.push_back(s);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return codeSize[a] < codeSize[b]; });
  // Hand out the lengths in that order.
  uint32_t code = 0;
  size_t k = 0;
  for (int l = 1; l <= 16; ++l) {
    for (int n = 0; n < t.bits[l]; ++n) {
      const int sym = order[k++];
      t.values.push_back(static_cast<uint8_t>(sym));
      t.code[sym] = code++;
      t.size[sym] = l;
    }
    code <<= 1;
  }
  return t;
}

class cBitWriter {
public:
  cBitWriter(std::vector<uint8_t>& out, bool stuff) : out_(out), stuff_(stuff) {}
  void Put(uint32_t value, int32_t n) {
    for (int32_t i = n - 1; i >= 0; --i) {
      acc_ = static_cast<uint8_t>(acc_ << 1 | ((value >> i) & 1));
      if (++held_ == 8) Emit();
    }
  }
  // Pads the last byte with 1 bits.
  void Flush() {
    while (held_ != 0) Put(1, 1);
  }

private:
  void Emit() {
    out_.push_back(acc_);
    if (stuff_ && acc_ == 0xFF) out_.push_back(0);
    acc_ = 0;
    held_ = 0;
  }
  std::vector<uint8_t>& out_;
  bool stuff_;
  uint8_t acc_ = 0;
  int32_t held_ = 0;
};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

// Signed difference modulo 2^16 in -32768..32767.
int32_t Difference(uint32_t sample, uint32_t predictor) {
  int32_t d = static_cast<int32_t>((sample - predictor) & 0xFFFF);
  if (d >= 32768) d -= 65536;
  return d;
}

// Runs the predictor over the image, calling emit(component, difference)
// and restart() where the readers expect them.
template <class Emit, class Restart>
void Walk(const sLjpegImage& im, Emit emit, Restart restart) {
  const uint32_t start = 1u << (im.precision - 1);
  const uint32_t mask = im.precision >= 16 ? 0xFFFFu : (1u << im.precision) - 1;
  std::array<uint32_t, 4> rowStart{start, start, start, start};
  std::array<uint32_t, 4> pred{};
  int64_t mcu = 0;
  const int32_t nc = im.components;
  for (int32_t y = 0; y < im.height; ++y) {
    for (int32_t c = 0; c < nc; ++c) pred[c] = rowStart[c];
    for (int32_t x = 0; x < im.width; ++x) {
      if (im.restartInterval != 0 && mcu != 0 && mcu % im.restartInterval == 0) {
        restart(mcu / im.restartInterval - 1);
        for (int32_t c = 0; c < nc; ++c) pred[c] = start;
      }
      for (int32_t c = 0; c < nc; ++c) {
        const uint32_t s = im.samples[(static_cast<size_t>(y) * im.width + x) * nc + c] & mask;
        emit(c, Difference(s, pred[c]));
        pred[c] = s;
        if (x == 0) rowStart[c] = s;
      }
      ++mcu;
    }
  }
}

}  // namespace

std::vector<uint8_t> EncodeLosslessJpeg(const sLjpegImage& im) {
  if (im.width < 1 || im.height < 1 || im.width > 65535 || im.height > 65535) return {};
  if (im.components < 1 || im.components > 4 || im.precision < 2 || im.precision > 16) return {};
  if (im.samples.size() != static_cast<size_t>(im.width) * im.height * im.components) return {};
  const int32_t nc = im.components;
  const int32_t tables = im.tablePerComponent ? nc : 1;
  std::array<std::array<uint64_t, 17>, 4> freq{};
  Walk(im, [&](int32_t c, int32_t d) { ++freq[im.tablePerComponent ? c : 0][Category(d)]; }, [](int64_t) {});
  std::vector<sHuffTable> huff;
  for (int32_t t = 0; t < tables; ++t) huff.push_back(BuildTable(freq[t]));

  std::vector<uint8_t> out = {0xFF, 0xD8};
  if (im.restartInterval != 0) {
    Put16(out, 0xFFDD);
    Put16(out, 4);
    Put16(out, static_cast<uint32_t>(im.restartInterval));
  }
  for (int32_t t = 0; t < tables; ++t) {
    Put16(out, 0xFFC4);
    Put16(out, static_cast<uint32_t>(2 + 1 + 16 + huff[t].values.size()));
    out.push_back(static_cast<uint8_t>(t));  // DC class, table t
    for (int l = 1; l <= 16; ++l) out.push_back(huff[t].bits[l]);
    out.insert(out.end(), huff[t].values.begin(), huff[t].values.end());
  }
  Put16(out, 0xFFC3);
  Put16(out, static_cast<uint32_t>(8 + 3 * nc));
  out.push_back(static_cast<uint8_t>(im.precision));
  Put16(out, static_cast<uint32_t>(im.height));
  Put16(out, static_cast<uint32_t>(im.width));
  out.push_back(static_cast<uint8_t>(nc));
  for (int32_t c = 0; c < nc; ++c) {
    out.push_back(static_cast<uint8_t>(c + 1));
    out.push_back(0x11);
    out.push_back(0);
  }
  Put16(out, 0xFFDA);
  Put16(out, static_cast<uint32_t>(6 + 2 * nc));
  out.push_back(static_cast<uint8_t>(nc));
  for (int32_t c = 0; c < nc; ++c) {
    out.push_back(static_cast<uint8_t>(c + 1));
    out.push_back(static_cast<uint8_t>((im.tablePerComponent ? c : 0) << 4));
  }
  out.push_back(1);  // predictor 1
  out.push_back(0);
  out.push_back(0);
  cBitWriter bits(out, !im.noStuffing);
  Walk(
      im,
      [&](int32_t c, int32_t d) {
        const sHuffTable& t = huff[im.tablePerComponent ? c : 0];
        const int32_t s = Category(d);
        bits.Put(t.code[s], t.size[s]);
        if (s != 0 && s != 16) {
          const uint32_t extra = d >= 0 ? static_cast<uint32_t>(d) : static_cast<uint32_t>(d + (1 << s) - 1);
          bits.Put(extra & ((1u << s) - 1), s);
        }
      },
      [&](int64_t n) {
        bits.Flush();
        out.push_back(0xFF);
        out.push_back(static_cast<uint8_t>(0xD0 + (n & 7)));
      });
  bits.Flush();
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

std::vector<uint16_t> SlicedOrder(const std::vector<uint16_t>& raster, int32_t rasterWidth, int32_t rasterHeight,
                                  int32_t sliceCount, int32_t sliceWidth, int32_t lastSliceWidth) {
  std::vector<uint16_t> out;
  out.reserve(raster.size());
  for (int32_t s = 0; s <= sliceCount; ++s) {
    const int32_t width = s < sliceCount ? sliceWidth : lastSliceWidth;
    const int32_t x0 = s * sliceWidth;
    for (int32_t y = 0; y < rasterHeight; ++y)
      for (int32_t x = 0; x < width; ++x) {
        const int32_t col = x0 + x;
        out.push_back(col < rasterWidth ? raster[static_cast<size_t>(y) * rasterWidth + col] : 0);
      }
  }
  return out;
}

std::vector<uint16_t> FieldOrder(const std::vector<uint16_t>& raster, int32_t rasterWidth, int32_t rasterHeight) {
  std::vector<uint16_t> out;
  out.reserve(raster.size());
  for (int32_t yy = 0; yy < rasterHeight; ++yy) {
    const int32_t row = yy % 2 == 0 ? yy / 2 : rasterHeight - yy / 2 - 1;
    out.insert(out.end(), raster.begin() + static_cast<ptrdiff_t>(row) * rasterWidth,
               raster.begin() + static_cast<ptrdiff_t>(row + 1) * rasterWidth);
  }
  return out;
}
