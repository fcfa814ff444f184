// See jbig2_generic.h.
#include "picture/jbig2_generic.h"

#include <cstring>

namespace {

// T.88 Table E.1: Qe, NMPS, NLPS and SWITCH of each probability state.
struct sQeRow {
  uint16_t qe;
  uint8_t nmps;
  uint8_t nlps;
  uint8_t sw;
};
constexpr sQeRow kQeRows[47] = {
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},  {0x0521, 5, 29, 0},
    {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},  {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0},
    {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0}, {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1},
    {0x5401, 16, 14, 0}, {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0}, {0x1C01, 25, 22, 0},
    {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0}, {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0},
    {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0}, {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0},
    {0x02A1, 36, 33, 0}, {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0}, {0x0005, 45, 42, 0},
    {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
};

// Per state: Qe, and the XORs that move a context byte (bit 7 MPS, bits 0-6
// the state) to NMPS, and to NLPS with the MPS inverted when SWITCH is set.
// A transition is then one XOR.
struct sQeState {
  uint32_t qe;
  uint8_t toMps;
  uint8_t toLps;
};
struct sQeTable {
  sQeState s[47];
};
constexpr sQeTable MakeQeTable() {
  sQeTable t{};
  for (int i = 0; i < 47; ++i) {
    t.s[i].qe = kQeRows[i].qe;
    t.s[i].toMps = static_cast<uint8_t>(i ^ kQeRows[i].nmps);
    t.s[i].toLps = static_cast<uint8_t>((i ^ kQeRows[i].nlps) | (kQeRows[i].sw << 7));
  }
  return t;
}
constexpr sQeTable kQe = MakeQeTable();

// Byte at offset i past the current one; -1 when the coded data has ended
// before it.
inline int32_t Peek(sJbig2GenericDecoder& d, int32_t i) {
  if (d.pos + i >= d.have && !d.atEnd) {
    const int32_t rest = d.have - d.pos;
    if (rest > 0 && d.pos > 0) std::memmove(d.buffer, d.buffer + d.pos, static_cast<size_t>(rest));
    d.pos = 0;
    d.have = rest > 0 ? rest : 0;
    const uint32_t n = d.stream->Read(d.buffer + d.have, static_cast<uint32_t>(sizeof d.buffer) - d.have);
    if (n == 0)
      d.atEnd = true;
    else
      d.have += static_cast<int32_t>(n);
  }
  return d.pos + i < d.have ? d.buffer[d.pos + i] : -1;
}

// BYTEIN. Past the end of the data the current byte is a supplied 0.
inline void ByteIn(sJbig2GenericDecoder& d) {
  const int32_t b = Peek(d, 0);
  if (b == 0xFF) {
    const int32_t b1 = Peek(d, 1);
    // A marker, or a 0xFF that ends the data (its marker byte is missing):
    // stay on the 0xFF and feed 1-bits from now on.
    if (b1 < 0 || b1 > 0x8F) {
      d.C += 0xFF00;
      d.CT = 8;
      return;
    }
    ++d.pos;
    d.C += static_cast<uint32_t>(b1) << 9;
    d.CT = 7;
    return;
  }
  if (b >= 0) ++d.pos;
  const int32_t next = Peek(d, 0);
  d.C += static_cast<uint32_t>(next < 0 ? 0 : next) << 8;
  d.CT = 8;
}

inline int32_t Decide(sJbig2GenericDecoder& d, uint8_t& cx) {
  const uint32_t index = cx & 0x7F;
  if (index >= 47) return -1;
  const sQeState& s = kQe.s[index];
  const int32_t mps = cx >> 7;
  int32_t bit;
  const int32_t qe = static_cast<int32_t>(s.qe);
  d.A -= qe;
  if (static_cast<int32_t>(d.C >> 16) < qe) {
    // LPS sub-interval, with the conditional exchange.
    if (d.A < qe) {
      bit = mps;
      cx ^= s.toMps;
    } else {
      bit = 1 - mps;
      cx ^= s.toLps;
    }
    d.A = qe;
  } else {
    d.C -= s.qe << 16;
    if (d.A & 0x8000) return mps;
    if (d.A < qe) {
      bit = 1 - mps;
      cx ^= s.toLps;
    } else {
      bit = mps;
      cx ^= s.toMps;
    }
  }
  do {
    if (d.CT == 0) ByteIn(d);
    d.A <<= 1;
    d.C <<= 1;
    --d.CT;
  } while ((d.A & 0x8000) == 0);
  return bit;
}

// The pixels of each template, bit 0 first, relative to the pixel decoded;
// an entry with dy = 1 stands for adaptive-template pixel number dx.
struct sOffset {
  int8_t dx;
  int8_t dy;
};
constexpr int kAt = 1;
constexpr sOffset kTemplate0[16] = {{-1, 0},  {-2, 0}, {-3, 0}, {-4, 0},  {0, kAt},  {2, -1},  {1, -1},  {0, -1},
                                    {-1, -1}, {-2, -1}, {1, kAt}, {2, kAt}, {1, -2}, {0, -2}, {-1, -2}, {3, kAt}};
constexpr sOffset kTemplate1[13] = {{-1, 0},  {-2, 0}, {-3, 0}, {0, kAt}, {2, -1},  {1, -1}, {0, -1},
                                    {-1, -1}, {-2, -1}, {2, -2}, {1, -2}, {0, -2}, {-1, -2}};
constexpr sOffset kTemplate2[10] = {{-1, 0}, {-2, 0}, {0, kAt}, {1, -1}, {0, -1},
                                    {-1, -1}, {-2, -1}, {1, -2}, {0, -2}, {-1, -2}};
constexpr sOffset kTemplate3[10] = {{-1, 0}, {-2, 0}, {-3, 0}, {-4, 0}, {0, kAt},
                                    {1, -1}, {0, -1}, {-1, -1}, {-2, -1}, {-3, -1}};

// The context of a typical-prediction decision, per template.
constexpr uint32_t kLtpContext[4] = {0x9B25, 0x0795, 0x00E5, 0x0195};
constexpr int32_t kContextCount[4] = {65536, 16384, 1024, 1024};

struct sRegion {
  uint8_t* bits;
  int32_t stride;
  int64_t width;
  int64_t rows;
  // The template's pixels with the AT pixels filled in.
  int32_t count;
  int32_t dx[16];
  int32_t dy[16];
};

inline uint32_t Pixel(const sRegion& r, int64_t x, int64_t y) {
  if (x < 0 || x >= r.width || y < 0 || y >= r.rows) return 0;
  return (r.bits[y * r.stride + (x >> 3)] >> (7 - (x & 7))) & 1u;
}

inline uint32_t ContextAt(const sRegion& r, int64_t x, int64_t y) {
  uint32_t ctx = 0;
  for (int32_t i = 0; i < r.count; ++i) ctx |= Pixel(r, x + r.dx[i], y + r.dy[i]) << i;
  return ctx;
}

// The same without bounds checks, for pixels whose template lies inside the
// region (the pixels not decoded yet are 0: the bitmap starts cleared).
inline uint32_t ContextInside(const sRegion& r, int64_t x, int64_t y) {
  uint32_t ctx = 0;
  for (int32_t i = 0; i < r.count; ++i) {
    const int64_t px = x + r.dx[i];
    ctx |= ((r.bits[(y + r.dy[i]) * r.stride + (px >> 3)] >> (7 - (px & 7))) & 1u) << i;
  }
  return ctx;
}

// The generic decoder of one row: contexts from pixel reads, bounded near
// the region's edges.
bool DecodeRowGeneric(sJbig2GenericDecoder& d, const sRegion& r, int64_t y) {
  uint8_t* row = r.bits + y * r.stride;
  uint8_t* cx = d.contexts.data;
  int32_t minDx = 0, maxDx = 0, minDy = 0, maxDy = 0;
  for (int32_t i = 0; i < r.count; ++i) {
    if (r.dx[i] < minDx) minDx = r.dx[i];
    if (r.dx[i] > maxDx) maxDx = r.dx[i];
    if (r.dy[i] < minDy) minDy = r.dy[i];
    if (r.dy[i] > maxDy) maxDy = r.dy[i];
  }
  const bool rowsInside = y + minDy >= 0 && y + maxDy < r.rows;
  const int64_t insideFrom = -static_cast<int64_t>(minDx), insideTo = r.width - maxDx;  // [from, to)
  for (int64_t x = 0; x < r.width; ++x) {
    const bool inside = rowsInside && x >= insideFrom && x < insideTo;
    const int32_t bit = Decide(d, cx[inside ? ContextInside(r, x, y) : ContextAt(r, x, y)]);
    if (bit < 0) return false;
    const uint8_t mask = static_cast<uint8_t>(0x80u >> (x & 7));
    if (bit)
      row[x >> 3] |= mask;
    else
      row[x >> 3] &= static_cast<uint8_t>(~mask);
  }
  return true;
}

// A fast decoder: moving one pixel right shifts the context left by one; the
// bits that stay in the template are kept by the mask, the decoded pixel
// enters bit 0 and the pixels entering from the two rows above come from
// 16-bit registers holding bytes k and k + 1 of those rows (k = x / 8).
struct sEnter {
  int32_t bit;
  int32_t row;  // 1 or 2 rows above
  int32_t dx;   // 1 .. 3 right of the pixel
};
struct sFastShape {
  uint32_t keep;
  int32_t count;
  sEnter enter[3];
};
constexpr sFastShape kFast0{0xF7EEu, 2, {{4, 1, 3}, {11, 2, 2}, {0, 0, 0}}};
constexpr sFastShape kFast1{0x1DF6u, 2, {{3, 1, 3}, {9, 2, 2}, {0, 0, 0}}};
constexpr sFastShape kFast2{0x037Au, 2, {{2, 1, 2}, {7, 2, 1}, {0, 0, 0}}};
constexpr sFastShape kFast2b{0x0372u, 3, {{2, 1, 3}, {3, 1, 1}, {7, 2, 1}}};

inline uint32_t RowByte(const uint8_t* row, int64_t k, int32_t stride) { return k < stride ? row[k] : 0u; }

bool DecodeRowFast(sJbig2GenericDecoder& d, const sRegion& r, int64_t y, const sFastShape& shape) {
  static const uint8_t kZeros[1] = {0};
  uint8_t* row = r.bits + y * r.stride;
  const uint8_t* up1 = y >= 1 ? row - r.stride : nullptr;
  const uint8_t* up2 = y >= 2 ? row - 2 * static_cast<int64_t>(r.stride) : nullptr;
  const int32_t s1 = up1 ? r.stride : 0, s2 = up2 ? r.stride : 0;
  if (up1 == nullptr) up1 = kZeros;
  if (up2 == nullptr) up2 = kZeros;
  uint32_t reg1 = RowByte(up1, 0, s1) << 8 | RowByte(up1, 1, s1);
  uint32_t reg2 = RowByte(up2, 0, s2) << 8 | RowByte(up2, 1, s2);
  uint8_t* cx = d.contexts.data;
  uint32_t ctx = ContextAt(r, 0, y);
  uint32_t out = 0;
  for (int64_t x = 0; x < r.width; ++x) {
    const int32_t i = static_cast<int32_t>(x & 7);
    if (x > 0) {
      if (i == 0) {
        const int64_t k = (x >> 3) + 1;
        reg1 = (reg1 << 8 | RowByte(up1, k, s1)) & 0xFFFFu;
        reg2 = (reg2 << 8 | RowByte(up2, k, s2)) & 0xFFFFu;
      }
      ctx = ((ctx << 1) & shape.keep) | (out & 1u);
      for (int32_t e = 0; e < shape.count; ++e) {
        const sEnter& en = shape.enter[e];
        const uint32_t reg = en.row == 1 ? reg1 : reg2;
        ctx |= ((reg >> (15 - i - en.dx)) & 1u) << en.bit;
      }
    }
    const int32_t bit = Decide(d, cx[ctx]);
    if (bit < 0) return false;
    out = out << 1 | static_cast<uint32_t>(bit);
    if (i == 7) row[x >> 3] = static_cast<uint8_t>(out);
  }
  const int32_t tail = static_cast<int32_t>(r.width & 7);
  if (tail != 0) row[r.width >> 3] = static_cast<uint8_t>(out << (8 - tail));
  return true;
}

}  // namespace

bool Jbig2ArithDecoderInit(sJbig2GenericDecoder& decoder, cFileIOTarget* stream) {
  sJbig2GenericDecoder& d = decoder;
  d.stream = stream;
  d.pos = d.have = 0;
  d.atEnd = stream == nullptr;
  if (stream == nullptr) return false;
  // A valid region can code in three bytes (its last flushed byte a 0xFF
  // that the marker shares), and the end-of-data rules supply what follows:
  // only empty data is refused.
  if (Peek(d, 0) < 0) return false;
  d.C = static_cast<uint32_t>(d.buffer[0]) << 16;
  ByteIn(d);
  d.C <<= 7;
  d.CT -= 7;
  d.A = 0x8000;
  return true;
}

int32_t Jbig2ArithDecode(sJbig2GenericDecoder& decoder, uint32_t context) {
  if (context >= static_cast<uint32_t>(decoder.contexts.count)) return -1;
  return Decide(decoder, decoder.contexts.data[context]);
}

bool Jbig2DecodeGenericRegion(const sJbig2RegionInfo& region, sJbig2GenericDecoder& decoder,
                              _typebuf<uint8_t>& bitmap, uint32_t rowLimit, eJbig2Path path) {
  const uint32_t tmpl = (region.flags >> 1) & 3;
  const bool mmr = (region.flags & 1) != 0, tpgdon = (region.flags & 8) != 0;
  // Nothing of an MMR region is decoded, so there is nothing to draw.
  if (mmr || region.width == 0 || region.height == 0) {
    bitmap.Reset();
    return false;
  }
  const int64_t stride = ((static_cast<int64_t>(region.width) - 1) >> 3) + 1;
  const int64_t rows = region.height < rowLimit ? region.height : rowLimit;
  if (rows == 0 || stride * rows > 0x7FFFFFFF) {
    bitmap.Reset();
    return false;
  }
  decoder.stride = static_cast<int32_t>(stride);
  bitmap.Reallocate(static_cast<int32_t>(stride * rows));
  std::memset(bitmap.data, 0, static_cast<size_t>(bitmap.count));
  decoder.contexts.Reallocate(kContextCount[tmpl]);
  std::memset(decoder.contexts.data, 0, static_cast<size_t>(decoder.contexts.count));

  sRegion r{};
  r.bits = bitmap.data;
  r.stride = decoder.stride;
  r.width = region.width;
  r.rows = rows;
  const sOffset* shape = tmpl == 0 ? kTemplate0 : tmpl == 1 ? kTemplate1 : tmpl == 2 ? kTemplate2 : kTemplate3;
  r.count = tmpl == 0 ? 16 : tmpl == 1 ? 13 : 10;
  for (int32_t i = 0; i < r.count; ++i) {
    if (shape[i].dy == kAt) {
      r.dx[i] = region.at[2 * shape[i].dx];
      r.dy[i] = region.at[2 * shape[i].dx + 1];
    } else {
      r.dx[i] = shape[i].dx;
      r.dy[i] = shape[i].dy;
    }
  }

  const sFastShape* fast = nullptr;
  const int8_t* at = region.at;
  if (path == kJbig2PathAuto) {
    if (tmpl == 0 && at[0] == 3 && at[1] == -1 && at[2] == -3 && at[3] == -1 && at[4] == 2 && at[5] == -2 &&
        at[6] == -2 && at[7] == -2)
      fast = &kFast0;
    else if (tmpl == 1 && at[0] == 3 && at[1] == -1)
      fast = &kFast1;
    else if (tmpl == 2 && at[0] == 2 && at[1] == -1)
      fast = &kFast2;
    else if (tmpl == 2 && at[0] == 3 && at[1] == -1)
      fast = &kFast2b;
  }

  uint32_t ltp = 0;
  for (int64_t y = 0; y < rows; ++y) {
    if (tpgdon) {
      const int32_t bit = Jbig2ArithDecode(decoder, kLtpContext[tmpl]);
      if (bit < 0) return false;
      ltp ^= static_cast<uint32_t>(bit);
      if (ltp) {
        // A typical row repeats the row above; the first repeats white.
        if (y > 0) std::memcpy(r.bits + y * stride, r.bits + (y - 1) * stride, static_cast<size_t>(stride));
        continue;
      }
    }
    const bool ok = fast != nullptr ? DecodeRowFast(decoder, r, y, *fast) : DecodeRowGeneric(decoder, r, y);
    if (!ok) return false;
  }
  return true;
}
