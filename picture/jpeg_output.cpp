// Sample output of cJPEGParser: the range-limiting table, dequantisation,
// the accurate integer inverse DCT, box upsampling and the row writers (see
// jpeg_parser.h).
//
// The IDCT computes in 32-bit words that wrap (as unsigned arithmetic), so
// that coefficients of hostile files give the same samples on every target
// without undefined behaviour; valid data never comes near the wrap.
#include <cstring>

#include "picture/jpeg_entropy.h"
#include "picture/jpeg_parser.h"

namespace {

// The default quantisation table, natural order.
constexpr uint16_t kDefaultQuant[64] = {
    8,   72,  72,  72,  72,  72,  72,  72,  72,  72,  78,  74,  76,  74,  78,  89,  81,  84,  84,  81,  89, 106,
    93,  94,  99,  94,  93,  106, 129, 111, 108, 116, 116, 108, 111, 129, 135, 128, 136, 145, 136, 128, 135, 155,
    160, 177, 177, 160, 155, 193, 213, 228, 213, 193, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};

// The clamp table of the 8-bit writers reaches this far either side of 0.
constexpr int32_t kClampBase = 1024;

struct sColourTables {
  int32_t crToR[256], cbToB[256], crToG[256], cbToG[256];
};

sColourTables MakeColourTables() {
  sColourTables t;
  for (int32_t i = 0; i < 256; ++i) {
    const int32_t x = i - 128;
    // Nearest integers of 1.402 x and 1.772 x, in 16-bit fixed point as the
    // G terms are.
    t.crToR[i] = (91881 * x + 32768) >> 16;
    t.cbToB[i] = (116130 * x + 32768) >> 16;
    t.crToG[i] = -46802 * x;
    t.cbToG[i] = -22554 * x + 32768;
  }
  return t;
}

const sColourTables& ColourTables() {
  static const sColourTables t = MakeColourTables();
  return t;
}

using u32 = uint32_t;
inline int32_t Sar(u32 v, int n) { return static_cast<int32_t>(v) >> n; }

constexpr u32 F0298 = 2446, F0390 = 3196, F0541 = 4433, F0765 = 6270, F0899 = 7373, F1175 = 9633, F1501 = 12299,
              F1847 = 15137, F1961 = 16069, F2053 = 16819, F2562 = 20995, F3072 = 25172;

// One block into eight rows of eight samples at out (stride bytes apart).
void IdctIslow(const int16_t* coef, const int32_t* mult, uint8_t* out, int32_t stride, const uint16_t* limit,
               u32 mask) {
  int32_t ws[64];
  for (int c = 0; c < 8; ++c) {
    const int16_t* in = coef + c;
    const int32_t* q = mult + c;
    if ((in[8] | in[16] | in[24] | in[32] | in[40] | in[48] | in[56]) == 0) {
      const int32_t dc = static_cast<int32_t>(static_cast<u32>(in[0]) * static_cast<u32>(q[0]) << 2);
      for (int k = 0; k < 8; ++k) ws[8 * k + c] = dc;
      continue;
    }
    const u32 d0 = static_cast<u32>(in[0]) * static_cast<u32>(q[0]);
    const u32 d1 = static_cast<u32>(in[8]) * static_cast<u32>(q[8]);
    const u32 d2 = static_cast<u32>(in[16]) * static_cast<u32>(q[16]);
    const u32 d3 = static_cast<u32>(in[24]) * static_cast<u32>(q[24]);
    const u32 d4 = static_cast<u32>(in[32]) * static_cast<u32>(q[32]);
    const u32 d5 = static_cast<u32>(in[40]) * static_cast<u32>(q[40]);
    const u32 d6 = static_cast<u32>(in[48]) * static_cast<u32>(q[48]);
    const u32 d7 = static_cast<u32>(in[56]) * static_cast<u32>(q[56]);
    u32 z1 = (d2 + d6) * F0541;
    const u32 t2 = z1 + d2 * F0765, t3 = z1 - d6 * F1847;
    const u32 t0 = (d0 << 13) + (1u << 10) + (d4 << 13), t1 = (d0 << 13) + (1u << 10) - (d4 << 13);
    const u32 e0 = t0 + t2, e3 = t0 - t2, e1 = t1 + t3, e2 = t1 - t3;
    z1 = (d1 + d3 + d5 + d7) * F1175;
    const u32 za = (d7 + d3) * (0u - F1961) + z1, zb = (d5 + d1) * (0u - F0390) + z1;
    const u32 zc = (d7 + d1) * (0u - F0899), zd = (d5 + d3) * (0u - F2562);
    const u32 o0 = d7 * F0298 + zc + za, o1 = d5 * F2053 + zd + zb, o2 = d3 * F3072 + zd + za,
              o3 = d1 * F1501 + zc + zb;
    ws[c] = Sar(e0 + o3, 11);
    ws[56 + c] = Sar(e0 - o3, 11);
    ws[8 + c] = Sar(e1 + o2, 11);
    ws[48 + c] = Sar(e1 - o2, 11);
    ws[16 + c] = Sar(e2 + o1, 11);
    ws[40 + c] = Sar(e2 - o1, 11);
    ws[24 + c] = Sar(e3 + o0, 11);
    ws[32 + c] = Sar(e3 - o0, 11);
  }
  for (int r = 0; r < 8; ++r, out += stride) {
    const int32_t* w = ws + 8 * r;
    const u32 w0 = static_cast<u32>(w[0]) + 16;
    if ((w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) == 0) {
      const uint8_t v = static_cast<uint8_t>(limit[static_cast<u32>(Sar(w0, 5)) & mask]);
      std::memset(out, v, 8);
      continue;
    }
    const u32 d2 = static_cast<u32>(w[2]), d6 = static_cast<u32>(w[6]), d4 = static_cast<u32>(w[4]);
    const u32 d1 = static_cast<u32>(w[1]), d3 = static_cast<u32>(w[3]), d5 = static_cast<u32>(w[5]),
              d7 = static_cast<u32>(w[7]);
    u32 z1 = (d2 + d6) * F0541;
    const u32 t2 = z1 + d2 * F0765, t3 = z1 - d6 * F1847;
    const u32 t0 = (w0 + d4) << 13, t1 = (w0 - d4) << 13;
    const u32 e0 = t0 + t2, e3 = t0 - t2, e1 = t1 + t3, e2 = t1 - t3;
    z1 = (d1 + d3 + d5 + d7) * F1175;
    const u32 za = (d7 + d3) * (0u - F1961) + z1, zb = (d5 + d1) * (0u - F0390) + z1;
    const u32 zc = (d7 + d1) * (0u - F0899), zd = (d5 + d3) * (0u - F2562);
    const u32 o0 = d7 * F0298 + zc + za, o1 = d5 * F2053 + zd + zb, o2 = d3 * F3072 + zd + za,
              o3 = d1 * F1501 + zc + zb;
    out[0] = static_cast<uint8_t>(limit[static_cast<u32>(Sar(e0 + o3, 18)) & mask]);
    out[7] = static_cast<uint8_t>(limit[static_cast<u32>(Sar(e0 - o3, 18)) & mask]);
    out[1] = static_cast<uint8_t>(limit[static_cast<u32>(Sar(e1 + o2, 18)) & mask]);
    out[6] = static_cast<uint8_t>(limit[static_cast<u32>(Sar(e1 - o2, 18)) & mask]);
    out[2] = static_cast<uint8_t>(limit[static_cast<u32>(Sar(e2 + o1, 18)) & mask]);
    out[5] = static_cast<uint8_t>(limit[static_cast<u32>(Sar(e2 - o1, 18)) & mask]);
    out[3] = static_cast<uint8_t>(limit[static_cast<u32>(Sar(e3 + o0, 18)) & mask]);
    out[4] = static_cast<uint8_t>(limit[static_cast<u32>(Sar(e3 - o0, 18)) & mask]);
  }
}

inline uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | r << 16 | g << 8 | b; }

inline uint64_t Pack16(uint64_t r, uint64_t g, uint64_t b) {
  return uint64_t{0xFFFF} << 48 | r << 32 | g << 16 | b;
}

inline uint32_t ProductK(uint32_t x, uint32_t k) { return x * k / 255; }

}  // namespace

void cJPEGParser::BuildRangeLimit() {
  const int32_t p = precision_ < 1 ? 8 : precision_;
  const int32_t full = 1 << p, max = full - 1, centre = full >> 1;
  sampleTableStore_.Reallocate(5 * full + centre);
  uint16_t* base = sampleTableStore_.data + full;
  for (int32_t i = -full; i < 0; ++i) base[i] = 0;
  for (int32_t i = 0; i <= max; ++i) base[i] = static_cast<uint16_t>(i);
  for (int32_t i = full; i < 3 * full - centre; ++i) base[i] = static_cast<uint16_t>(max);
  for (int32_t i = 3 * full - centre; i < 4 * full; ++i) base[i] = 0;
  for (int32_t i = 0; i < centre; ++i) base[4 * full + i] = static_cast<uint16_t>(i);
  rangeLimit_ = base;
  const int32_t max8 = p >= 8 ? 255 : max;
  clampStore_.Reallocate(2 * kClampBase + 768);
  for (int32_t i = 0; i < clampStore_.count; ++i) {
    const int32_t v = i - kClampBase;
    clampStore_.data[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > max8 ? max8 : v));
  }
  clamp8_ = clampStore_.data + kClampBase;
}

// Copies the component's table (the default when it was never defined) and
// sets the multipliers: the table values taken as signed 16-bit.
static void Dequantise(sJpegComponent& comp, const uint16_t (&tables)[4][64]) {
  const uint16_t* t = tables[comp.quantTable & 3];
  bool defined = false;
  for (int i = 0; i < 64; ++i) defined |= t[i] != 0;
  if (!defined) t = kDefaultQuant;
  for (int i = 0; i < 64; ++i) {
    comp.quant[i] = t[i];
    comp.multiplier[i] = static_cast<int16_t>(t[i]);
  }
}

void JpegDequantise(sJpegComponent& comp, const uint16_t (&tables)[4][64]) { Dequantise(comp, tables); }

bool cJPEGParser::OutputMcu(sJpegBlock* const* blocks, int32_t count, uint32_t* const* rows, int32_t& width,
                            int32_t& height) {
  if (precision_ > 8 || blocks == nullptr || count <= 0 || rows == nullptr || width <= 0 || height <= 0) return false;
  if (rangeLimit_ == nullptr) return false;
  const int32_t nf = components_.count;
  const int32_t outW = maxH_ * 8, outH = maxV_ * 8;
  const u32 mask = (4u << precision_) - 1;
  const uint16_t* limit = rangeLimit_ + (1 << (precision_ - 1));
  const uint8_t* planes[256];
  int32_t strides[256];
  int32_t next = 0;
  for (int32_t ci = 0; ci < nf; ++ci) {
    sJpegComponent& comp = components_.data[ci];
    const int32_t srcW = comp.h * 8, srcH = comp.v * 8;
    if (comp.idctRows.count != srcW * srcH) comp.idctRows.Reallocate(srcW * srcH);
    for (int32_t v = 0; v < comp.v; ++v) {
      for (int32_t h = 0; h < comp.h; ++h) {
        if (next >= count) return false;
        const sJpegBlock* b = blocks[next++];
        if (b == nullptr || b->component != ci) return false;
        IdctIslow(b->coef, comp.multiplier, comp.idctRows.data + v * 8 * srcW + h * 8, srcW, limit, mask);
      }
    }
    if (srcW == outW && srcH == outH) {
      planes[ci] = comp.idctRows.data;
      strides[ci] = srcW;
      continue;
    }
    if (outW % srcW != 0 || outH % srcH != 0) return false;
    if (comp.upRows.count != outW * outH) comp.upRows.Reallocate(outW * outH);
    const int32_t fx = outW / srcW, fy = outH / srcH;
    for (int32_t r = 0; r < srcH; ++r) {
      const uint8_t* src = comp.idctRows.data + r * srcW;
      uint8_t* dst = comp.upRows.data + r * fy * outW;
      if (fx == 1) {
        std::memcpy(dst, src, static_cast<size_t>(srcW));
      } else if (fx == 2) {
        for (int32_t x = 0; x < srcW; ++x) dst[2 * x] = dst[2 * x + 1] = src[x];
      } else {
        for (int32_t x = 0; x < srcW; ++x) std::memset(dst + x * fx, src[x], static_cast<size_t>(fx));
      }
      for (int32_t k = 1; k < fy; ++k) std::memcpy(dst + k * outW, dst, static_cast<size_t>(outW));
    }
    planes[ci] = comp.upRows.data;
    strides[ci] = outW;
  }
  if (height > outH) height = outH;
  if (width > outW) width = outW;
  const uint8_t* current[256];
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t ci = 0; ci < nf; ++ci) current[ci] = planes[ci] + r * strides[ci];
    if (!WriteRow(current, rows[r], width, 0)) return false;
  }
  return true;
}

bool cJPEGParser::WriteRow(const uint8_t* const* rows, uint32_t* destination, int32_t count, int32_t step) {
  if (rows == nullptr || destination == nullptr || clamp8_ == nullptr) return false;
  const int32_t nf = components_.count;
  const int32_t s = step == 1 ? 2 : 1;
  cPixelFilterTarget* filter = GetPixelFilter();
  const uint8_t* r0 = clamp8_;
  const sColourTables& t = ColourTables();
  switch (colourCode_) {
    case kJpegColourGrey: {
      if (nf < 1) return false;
      const uint8_t* y = rows[0];
      for (int32_t x = 0; x < count; ++x) destination[x] = 0xFF000000u | y[x * s] * 0x010101u;
      return true;
    }
    case kJpegColourYCbCr: {
      if (nf < 3) return false;
      const uint8_t *yp = rows[0], *cbp = rows[1], *crp = rows[2];
      for (int32_t x = 0; x < count; ++x) {
        uint8_t ycc[3] = {yp[x * s], cbp[x * s], crp[x * s]};
        if (filter != nullptr) filter->FilterYCbCr(ycc);
        const int32_t y = ycc[0], cb = ycc[1], cr = ycc[2];
        destination[x] = Pack(r0[y + t.crToR[cr]], r0[y + ((t.cbToG[cb] + t.crToG[cr]) >> 16)], r0[y + t.cbToB[cb]]);
      }
      return true;
    }
    case kJpegColourRGB: {
      if (nf < 3) return false;
      for (int32_t x = 0; x < count; ++x) {
        destination[x] = Pack(rows[0][x * s], rows[1][x * s], rows[2][x * s]);
        if (filter != nullptr) filter->FilterRGB(&destination[x]);
      }
      return true;
    }
    case kJpegColourCMYK: {
      if (nf < 4) return false;
      for (int32_t x = 0; x < count; ++x) {
        uint8_t cmyk[4] = {rows[0][x * s], rows[1][x * s], rows[2][x * s], rows[3][x * s]};
        if (filter != nullptr) filter->FilterCMYK(cmyk);
        const uint32_t k = cmyk[3];
        destination[x] = Pack(ProductK(cmyk[0], k), ProductK(cmyk[1], k), ProductK(cmyk[2], k));
      }
      return true;
    }
    case kJpegColourYCCK: {
      if (nf < 4) return false;
      for (int32_t x = 0; x < count; ++x) {
        uint8_t ycck[4] = {rows[0][x * s], rows[1][x * s], rows[2][x * s], rows[3][x * s]};
        if (filter != nullptr) filter->FilterYCCK(ycck);
        const int32_t y = ycck[0], cb = ycck[1], cr = ycck[2];
        const uint32_t k = ycck[3];
        const uint32_t r = r0[255 - y - t.crToR[cr]];
        const uint32_t g = r0[255 - y - ((t.cbToG[cb] + t.crToG[cr]) >> 16)];
        const uint32_t b = r0[255 - y - t.cbToB[cb]];
        destination[x] = Pack(ProductK(r, k), ProductK(g, k), ProductK(b, k));
      }
      return true;
    }
    default: return false;
  }
}

bool cJPEGParser::WriteRow16(const uint16_t* const* rows, uint64_t* destination, int32_t count) {
  if (rows == nullptr || destination == nullptr) return false;
  const int32_t nf = components_.count;
  cPixelFilterTarget* filter = GetPixelFilter();
  switch (colourCode_) {
    case kJpegColourGrey: {
      if (nf < 1) return false;
      for (int32_t x = 0; x < count; ++x) {
        const uint64_t y = rows[0][x];
        destination[x] = Pack16(y, y, y);
      }
      return true;
    }
    case kJpegColourYCbCr: {
      if (nf < 3) return false;
      const sColourTables& t = ColourTables();
      const int32_t p = precision_ < 8 ? 8 : precision_;
      const int32_t max = (1 << precision_) - 1;
      auto c = [](int32_t v) { return static_cast<uint64_t>(v < 0 ? 0 : (v > 255 ? 255 : v)) * 256; };
      for (int32_t x = 0; x < count; ++x) {
        uint16_t ycc[3] = {rows[0][x], rows[1][x], rows[2][x]};
        if (filter != nullptr) filter->FilterYCbCr16(ycc);
        int32_t v[3];
        for (int i = 0; i < 3; ++i) v[i] = (ycc[i] > max ? max : ycc[i]) >> (p - 8);
        const int32_t y = v[0], cb = v[1], cr = v[2];
        destination[x] =
            Pack16(c(y + t.crToR[cr]), c(y + ((t.cbToG[cb] + t.crToG[cr]) >> 16)), c(y + t.cbToB[cb]));
      }
      return true;
    }
    case kJpegColourRGB: {
      if (nf < 3) return false;
      for (int32_t x = 0; x < count; ++x) {
        destination[x] = Pack16(rows[0][x], rows[1][x], rows[2][x]);
        if (filter != nullptr) filter->FilterRGB16(&destination[x]);
      }
      return true;
    }
    default: return false;
  }
}
