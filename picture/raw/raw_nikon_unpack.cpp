// Nikon raw sample layouts and Huffman coding; see the header.
#include "picture/raw/raw_nikon_unpack.h"

#include <cstring>
#include <limits>

const uint8_t kNikonHuffmanTrees[6][32] = {
    // 12-bit lossy
    {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12, 0, 0, 0},
    // 12-bit lossy after the split row
    {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0x39, 0x5A, 0x38, 0x27, 0x16, 5, 4, 3, 2, 1, 0, 11, 12, 12, 0,
     0},
    // 12-bit lossless
    {0, 1, 4, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 4, 6, 3, 7, 2, 8, 1, 9, 0, 10, 11, 12, 0, 0, 0},
    // 14-bit lossy
    {0, 1, 4, 3, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 5, 6, 4, 7, 8, 3, 9, 2, 1, 0, 10, 11, 12, 13, 14, 0},
    // 14-bit lossy after the split row
    {0, 1, 5, 1, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 8, 0x5C, 0x4B, 0x3A, 0x29, 7, 6, 5, 4, 3, 2, 1, 0, 13, 14, 0},
    // 14-bit lossless
    {0, 1, 4, 2, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 7, 6, 8, 5, 9, 4, 10, 3, 11, 12, 2, 0, 1, 13, 14, 0},
};

namespace {

// 32-bit words of four bytes (first byte most significant when big-endian),
// samples taken from the most significant end; bytes past size read as 0.
class cNefWordReader {
public:
  cNefWordReader(const uint8_t* bytes, int64_t size, int64_t start, bool bigEndian)
      : bytes_(bytes), size_(size), pos_(start), bigEndian_(bigEndian) {}

  uint32_t Get(int32_t b) {
    while (bits_ < b) {
      uint32_t w = 0;
      for (int i = 0; i < 4; ++i) {
        const int64_t at = pos_ + i;
        const uint32_t v = (at >= 0 && at < size_) ? bytes_[at] : 0u;
        w |= bigEndian_ ? v << (24 - 8 * i) : v << (8 * i);
      }
      pos_ += 4;
      acc_ = (acc_ << 32) | w;
      bits_ += 32;
    }
    bits_ -= b;
    const uint64_t v = (acc_ >> bits_) & ((uint64_t{1} << b) - 1);
    return v > 0xFFFF ? 0xFFFFu : static_cast<uint32_t>(v);
  }

private:
  const uint8_t* bytes_;
  int64_t size_;
  int64_t pos_;
  bool bigEndian_;
  uint64_t acc_ = 0;
  int32_t bits_ = 0;
};

// A zeroed output of rows * n samples; false when it cannot be counted in
// 32 bits.
// clear: zero the samples (a decoder that writes every sample passes false).
bool AllocSamples(_typebuf<uint8_t>& out, int64_t rows, int64_t n, bool clear = true) {
  const int64_t bytes = rows * n * 2;
  if (rows <= 0 || n <= 0 || bytes > std::numeric_limits<int32_t>::max()) return false;
  out.Reallocate(static_cast<int32_t>(bytes));
  if (clear) std::memset(out.data, 0, static_cast<size_t>(bytes));
  return true;
}

void Finish(sTiffStripData& sd, _typebuf<uint8_t>& out, int32_t n) {
  sd.data = std::move(out);
  sd.bytesPerRow = 2 * n;
  sd.sampleFormat = 1;
  sd.bigEndian = false;
}

uint16_t* Samples(_typebuf<uint8_t>& out) { return reinterpret_cast<uint16_t*>(out.data); }

bool RecordUsable(const sTiffStripData& sd) {
  return sd.bitsPerSample > 0 && sd.bitsPerSample <= 32 && sd.bytesPerRow > 0 && sd.rows > 0;
}

// Rows read on their own with the word reader; rowStart gives each row's
// first byte.
template <class F>
bool UnpackRowsWithWords(const uint8_t* in, int32_t size, sTiffStripData& sd, F rowStart) {
  const int32_t n = NefSamplesPerRow(sd);
  _typebuf<uint8_t> out;
  if (!AllocSamples(out, sd.rows, n)) return false;
  uint16_t* s = Samples(out);
  for (int32_t r = 0; r < sd.rows; ++r) {
    cNefWordReader reader(in, size, rowStart(r), sd.bigEndian);
    uint16_t* row = s + static_cast<int64_t>(r) * n;
    for (int32_t c = 0; c < n; ++c) row[c] = static_cast<uint16_t>(reader.Get(sd.bitsPerSample));
  }
  Finish(sd, out, n);
  return true;
}

uint32_t Get16(const uint8_t* p, bool bigEndian) {
  return bigEndian ? (uint32_t{p[0]} << 8 | p[1]) : (uint32_t{p[1]} << 8 | p[0]);
}

}  // namespace

int32_t NefSamplesPerRow(const sTiffStripData& sd) {
  if (sd.bitsPerSample <= 0 || sd.bytesPerRow <= 0) return 0;
  return static_cast<int32_t>(int64_t{sd.bytesPerRow} * 8 / sd.bitsPerSample);
}

bool TakeRaw16(const uint8_t* in, int32_t size, sTiffStripData& sd) {
  if (!RecordUsable(sd)) return false;
  const int32_t n = NefSamplesPerRow(sd);
  if (int64_t{size} < int64_t{2} * n * sd.rows) return false;
  _typebuf<uint8_t> out;
  if (!AllocSamples(out, sd.rows, n)) return false;
  uint16_t* s = Samples(out);
  const int64_t total = int64_t{n} * sd.rows;
  for (int64_t i = 0; i < total; ++i) s[i] = static_cast<uint16_t>(in[2 * i] | in[2 * i + 1] << 8);
  // Sample format and byte order stay as stored: these are the samples.
  const uint16_t format = sd.sampleFormat;
  const bool be = sd.bigEndian;
  Finish(sd, out, n);
  sd.sampleFormat = format;
  sd.bigEndian = be;
  sd.bitsPerSample = 16;
  return true;
}

bool UnpackBitsBigEndian(const uint8_t* in, int32_t size, sTiffStripData& sd) {
  if (!RecordUsable(sd)) return false;
  const int64_t stride = sd.bytesPerRow;
  if (int64_t{size} < stride * sd.rows) return false;
  return UnpackRowsWithWords(in, size, sd, [stride](int32_t r) { return stride * r; });
}

bool UnpackInterleavedRows(const uint8_t* in, int32_t size, sTiffStripData& sd) {
  if (!RecordUsable(sd)) return false;
  const int64_t stride = sd.bytesPerRow;
  const int64_t half = sd.rows / 2;
  return UnpackRowsWithWords(in, size, sd, [stride, half](int32_t r) {
    return (r & 1) == 0 ? stride * (r / 2) : stride * (r / 2 + half);
  });
}

bool UnpackBitsPadded(const uint8_t* in, int32_t size, sTiffStripData& sd, int32_t groupBytes) {
  if (!RecordUsable(sd) || groupBytes < 2) return false;
  const int32_t k = (8 * groupBytes - 8) / sd.bitsPerSample;
  if (k <= 0) return false;
  const int32_t n = NefSamplesPerRow(sd);
  const int64_t groups = (int64_t{n} + k - 1) / k;
  const int64_t rowBytes = groups * groupBytes;
  if (int64_t{size} < rowBytes * sd.rows) return false;
  _typebuf<uint8_t> out;
  if (!AllocSamples(out, sd.rows, n)) return false;
  uint16_t* s = Samples(out);
  for (int32_t r = 0; r < sd.rows; ++r) {
    uint16_t* row = s + static_cast<int64_t>(r) * n;
    int32_t c = 0;
    for (int64_t g = 0; g < groups; ++g) {
      cNefWordReader reader(in, size, rowBytes * r + g * groupBytes, sd.bigEndian);
      for (int32_t i = 0; i < k && c < n; ++i) row[c++] = static_cast<uint16_t>(reader.Get(sd.bitsPerSample));
    }
  }
  Finish(sd, out, n);
  return true;
}

bool Unpack12or14Bit(const uint8_t* in, int32_t size, sTiffStripData& sd) {
  if (!RecordUsable(sd)) return false;
  const int32_t bits = sd.bitsPerSample;
  if (bits != 12 && bits != 14) return false;
  const int64_t bpr = sd.bytesPerRow;
  const int64_t stride = size / sd.rows;
  if (stride < bpr || int64_t{size} < bpr * sd.rows) return false;
  const int32_t n = NefSamplesPerRow(sd);
  _typebuf<uint8_t> out;
  if (!AllocSamples(out, sd.rows, n)) return false;
  uint16_t* s = Samples(out);
  for (int32_t r = 0; r < sd.rows; ++r) {
    const uint8_t* p = in + stride * r;
    uint16_t* row = s + static_cast<int64_t>(r) * n;
    int32_t c = 0;
    if (bits == 12) {
      for (int64_t g = 0; g < bpr / 3; ++g, p += 3) {
        const uint32_t v0 = p[0] | (p[1] & 0x0Fu) << 8;
        const uint32_t v1 = p[1] >> 4 | uint32_t{p[2]} << 4;
        if (c < n) row[c++] = static_cast<uint16_t>(v0);
        if (c < n) row[c++] = static_cast<uint16_t>(v1);
      }
    } else {
      for (int64_t g = 0; g < bpr / 7; ++g, p += 7) {
        const uint32_t v[4] = {p[0] | (p[1] & 0x3Fu) << 8, p[1] >> 6 | uint32_t{p[2]} << 2 | (p[3] & 0x0Fu) << 10,
                               p[3] >> 4 | uint32_t{p[4]} << 4 | (p[5] & 0x03u) << 12, p[5] >> 2 | uint32_t{p[6]} << 6};
        for (uint32_t x : v)
          if (c < n) row[c++] = static_cast<uint16_t>(x);
      }
    }
  }
  Finish(sd, out, n);
  return true;
}

bool Unpack12In16BigEndian(const uint8_t* in, int32_t size, sTiffStripData& sd) {
  if (!RecordUsable(sd)) return false;
  const int32_t n = NefSamplesPerRow(sd);
  const int64_t total = int64_t{n} * sd.rows;
  if (int64_t{size} != 2 * total) return false;
  _typebuf<uint8_t> out;
  if (!AllocSamples(out, sd.rows, n)) return false;
  uint16_t* s = Samples(out);
  for (int64_t i = 0; i < total; ++i) s[i] = static_cast<uint16_t>(in[2 * i] << 4 | in[2 * i + 1] >> 4);
  Finish(sd, out, n);
  sd.bitsPerSample = 12;
  return true;
}

bool Unpack12BitPacked(const uint8_t* in, int32_t size, sTiffStripData& sd) {
  if (!RecordUsable(sd)) return false;
  const int32_t n = NefSamplesPerRow(sd);
  const int64_t total = int64_t{n} * sd.rows;
  if (int64_t{size} != 3 * (total / 2)) return false;
  _typebuf<uint8_t> out;
  if (!AllocSamples(out, sd.rows, n)) return false;
  uint16_t* s = Samples(out);
  for (int64_t i = 0; i + 1 < total; i += 2) {
    const uint8_t* p = in + i / 2 * 3;
    s[i] = static_cast<uint16_t>(p[0] << 4 | p[1] >> 4);
    s[i + 1] = static_cast<uint16_t>((p[1] & 0x0F) << 8 | p[2]);
  }
  Finish(sd, out, n);
  sd.bitsPerSample = 12;
  return true;
}

bool BuildNikonCurve(int32_t bits, _typebuf<uint16_t>& curve, bool fileBigEndian, const uint8_t* t,
                     int32_t tableSize) {
  curve.Reset();
  const int32_t count = bits >= 0 && bits < 31 ? ((1 << bits) & 0x7FFF) : 0;
  auto identity = [&]() {
    curve.Reallocate(count);
    for (int32_t i = 0; i < count; ++i) curve.data[i] = static_cast<uint16_t>(i);
    return true;
  };
  if (t == nullptr || tableSize <= 0) return identity();
  if (tableSize < 2) return false;
  const uint8_t ver0 = t[0], ver1 = t[1];
  // The point count sits at byte 10; only the identity form does without it.
  const bool hasCount = tableSize >= 12;
  const int32_t npts = hasCount ? static_cast<int32_t>(Get16(t + 10, fileBigEndian)) : 0;
  const int32_t step = npts >= 2 ? count / (npts - 1) : 0;
  if (ver0 == 0x44 && ver1 == 0x20 && !hasCount) return false;
  if (ver0 == 0x44 && ver1 == 0x20 && step > 0) {
    const int64_t points = (int64_t{count} + step - 1) / step;
    if (12 + 2 * points > tableSize) return false;
    curve.Reallocate(count);
    std::memset(curve.data, 0, sizeof(uint16_t) * static_cast<size_t>(count));
    for (int64_t i = 0; i < points; ++i) curve.data[i * step] = static_cast<uint16_t>(Get16(t + 12 + 2 * i, fileBigEndian));
    for (int32_t i = 0; i < count - step; ++i) {
      const int32_t r = i % step;
      const int32_t base = i - r;
      curve.data[i] =
          static_cast<uint16_t>((int64_t{curve.data[base]} * (step - r) + int64_t{r} * curve.data[base + step]) / step);
    }
    return true;
  }
  if (ver0 == 0x46) return identity();
  if (!hasCount) return false;
  if (npts <= 16385) {
    if (12 + 2 * int64_t{npts} > tableSize) return false;
    curve.Reallocate(npts);
    for (int32_t i = 0; i < npts; ++i) curve.data[i] = static_cast<uint16_t>(Get16(t + 12 + 2 * i, fileBigEndian));
    return true;
  }
  return identity();
}

void BuildHuffLookup(_typebuf<uint16_t>& table, const uint8_t*& cursor) {
  const uint8_t* counts = cursor;
  cursor += 16;
  int32_t m = 0;
  for (int32_t k = 16; k >= 1; --k)
    if (counts[k - 1] != 0) {
      m = k;
      break;
    }
  const int32_t entries = 1 << m;
  table.Reallocate(1 + entries);
  std::memset(table.data, 0, sizeof(uint16_t) * static_cast<size_t>(1 + entries));
  table.data[0] = static_cast<uint16_t>(m);
  int32_t at = 1;
  for (int32_t k = 1; k <= m; ++k) {
    for (int32_t j = 0; j < counts[k - 1]; ++j) {
      const uint8_t symbol = *cursor++;
      for (int32_t e = 0; e < (1 << (m - k)) && at <= entries; ++e) table.data[at++] = static_cast<uint16_t>(k << 8 | symbol);
    }
  }
}

int32_t ReadHuffBits(const uint8_t* bytes, int32_t size, sHuffBitState& st, int32_t n,
                     const _typebuf<uint16_t>* table) {
  if (n == -1) {
    st.buffer = 0;
    st.count = 0;
    return 0;
  }
  if (n <= 0 || st.count < 0) return 0;
  while (st.count < n && st.position < size) {
    st.buffer = st.buffer << 8 | bytes[st.position++];
    st.count += 8;
  }
  // The top n of the count buffered bits; missing bits below them are 0.
  const uint64_t aligned = (uint64_t{st.buffer} << (32 - st.count)) & 0xFFFFFFFFu;
  const int32_t c = static_cast<int32_t>(aligned >> (32 - n));
  if (table != nullptr) {
    const uint16_t e = (*table)[1 + c];
    st.count -= e >> 8;
    return e & 0xFF;
  }
  st.count -= n;
  return c;
}

bool DecodeNikonLossless(const sNikonCodingInput& coding, const uint8_t* in, int32_t size, sTiffStripData& sd) {
  if (!RecordUsable(sd)) return false;
  const int32_t bits = sd.bitsPerSample;
  if (bits > 16) return false;
  const uint8_t* t = coding.linearisation;
  const int32_t tl = coding.linearisationSize;
  // The predictors sit at bytes 2..9: a shorter table is refused.
  if (t == nullptr || tl < 10) return false;
  const uint8_t ver0 = t[0], ver1 = t[1];
  int32_t split = 0;
  if (coding.nefCompression == 4 && ver0 == 0x44 && ver1 == 0x20) {
    if (tl < 564) return false;
    split = static_cast<int32_t>(Get16(t + 562, sd.bigEndian));
  }
  uint16_t vpred[2][2] = {{static_cast<uint16_t>(Get16(t + 2, coding.fileBigEndian)),
                           static_cast<uint16_t>(Get16(t + 4, coding.fileBigEndian))},
                          {static_cast<uint16_t>(Get16(t + 6, coding.fileBigEndian)),
                           static_cast<uint16_t>(Get16(t + 8, coding.fileBigEndian))}};
  _typebuf<uint16_t> curve;
  if (!BuildNikonCurve(bits, curve, coding.fileBigEndian, t, tl)) return false;
  int32_t tree = (ver0 == 0x46 ? 2 : 0) + (bits == 14 ? 3 : 0);
  _typebuf<uint16_t> lookup;
  const uint8_t* cursor = kNikonHuffmanTrees[tree];
  BuildHuffLookup(lookup, cursor);
  int32_t min = 0;
  // Without a curve (15 and 16 bits) the range is the sample range itself.
  int32_t max = curve.count > 0 ? curve.count : (1 << bits);
  const int32_t n = NefSamplesPerRow(sd);
  _typebuf<uint8_t> out;
  // Every sample of every row is written below (or the strip fails).
  if (!AllocSamples(out, sd.rows, n, false)) return false;
  uint16_t* s = Samples(out);
  const int32_t top = (1 << bits) - 1;
  sHuffBitState st;
  ReadHuffBits(in, size, st, -1, nullptr);
  for (int32_t row = 0; row < sd.rows; ++row) {
    if (split != 0 && row == split) {
      cursor = kNikonHuffmanTrees[tree + 1];
      BuildHuffLookup(lookup, cursor);
      max += (min = 16) << 1;
    }
    uint16_t hpred[2] = {0, 0};
    uint16_t* line = s + static_cast<int64_t>(row) * n;
    for (int32_t c = 0; c < n; ++c) {
      const int32_t l = ReadHuffBits(in, size, st, lookup.data[0], &lookup);
      const int32_t len = l & 15, shl = l >> 4;
      int32_t d = ReadHuffBits(in, size, st, len - shl, nullptr);
      d = ((2 * d + 1) << shl) >> 1;
      if (len > 0 && (d & (1 << (len - 1))) == 0) d -= (1 << len) - (shl == 0 ? 1 : 0);
      if (c < 2) {
        vpred[row & 1][c] = static_cast<uint16_t>(vpred[row & 1][c] + d);
        hpred[c] = vpred[row & 1][c];
      } else {
        hpred[c & 1] = static_cast<uint16_t>(hpred[c & 1] + d);
      }
      int32_t v = static_cast<int16_t>(hpred[c & 1]);
      if (v + min >= max) return false;
      if (v < 0) v = 0;
      if (v > top) v = top;
      line[c] = curve.count > 0 ? (v >= curve.count ? 0xFFFF : curve.data[v]) : static_cast<uint16_t>(v);
    }
  }
  Finish(sd, out, n);
  return true;
}
