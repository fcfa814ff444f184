// See pict_tiff.h. The photometric row writers and pixel converters.
#include <cmath>
#include <cstring>

#include "picture/pict_tiff.h"

namespace {

inline uint32_t Clamp255(double v) {
  const int32_t i = static_cast<int32_t>(v + 0.5);
  return i < 0 ? 0u : i > 255 ? 255u : static_cast<uint32_t>(i);
}

inline uint32_t Clamp65535(double v) {
  const int32_t i = static_cast<int32_t>(v + 0.5);
  return i < 0 ? 0u : i > 65535 ? 65535u : static_cast<uint32_t>(i);
}

inline double LabF(double f) {
  return f > 0.2068965517241379 ? f * f * f : (f - 4.0 / 29.0) * 0.1284185493460166;
}

// L*, a*, b* to linear RGB scaled by the white scales; no gamma curve.
void LabToRgb(double l, double a, double b, double xs, double ys, double zs, double rgb[3]) {
  const double fy = (l + 16.0) / 116.0, fx = fy + a / 500.0, fz = fy - b / 200.0;
  const double x = LabF(fx) * xs, y = LabF(fy) * ys, z = LabF(fz) * zs;
  rgb[0] = 3.240479 * x - 1.53715 * y - 0.498535 * z;
  rgb[1] = -0.969256 * x + 1.875992 * y + 0.041556 * z;
  rgb[2] = 0.055648 * x - 0.204043 * y + 1.057311 * z;
}

inline uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }
inline uint64_t Argb64(uint64_t a, uint64_t r, uint64_t g, uint64_t b) { return a << 48 | r << 32 | g << 16 | b; }

// Half and 24-bit floats widened to single precision, sign and zero kept.
float WidenFloat(uint32_t v, int32_t bits) {
  const int32_t mantissaBits = bits == 16 ? 10 : 16;
  const int32_t expBits = bits == 16 ? 5 : 7;
  const uint32_t sign = (v >> (bits - 1)) & 1;
  const int32_t bias = (1 << (expBits - 1)) - 1;
  const int32_t e = static_cast<int32_t>((v >> mantissaBits) & ((1u << expBits) - 1));
  const uint32_t m = v & ((1u << mantissaBits) - 1);
  float f;
  if (e == 0) f = std::ldexp(static_cast<float>(m), 1 - bias - mantissaBits);
  else if (e == (1 << expBits) - 1) f = m != 0 ? NAN : INFINITY;
  else f = std::ldexp(static_cast<float>(m | (1u << mantissaBits)), e - bias - mantissaBits);
  return sign ? -f : f;
}

// A float sample times 65535, to the nearest integer (ties to even), its
// low 16 bits: values outside 0..1 wrap.
uint32_t FloatTo16(float f) {
  const double v = std::nearbyint(static_cast<double>(f) * 65535.0);
  if (!(std::fabs(v) < 9.0e18)) return 0;
  return static_cast<uint32_t>(static_cast<int64_t>(v)) & 0xFFFF;
}

}  // namespace

uint32_t cPictTIFF::GetSampleBits(int32_t n, const uint8_t* row, int64_t bit) {
  const int64_t byte = bit >> 3;
  const int32_t off = static_cast<int32_t>(bit & 7);
  const int32_t need = off + n;
  const int32_t bytes = (need + 7) >> 3;
  uint64_t acc = 0;
  for (int32_t i = 0; i < bytes; ++i) acc = acc << 8 | row[byte + i];
  acc >>= bytes * 8 - need;
  return static_cast<uint32_t>(acc & ((uint64_t{1} << n) - 1));
}

uint64_t cPictTIFF::GetSampleBits64(int32_t n, const uint8_t* row, int64_t bit) {
  if (n <= 32) return GetSampleBits(n, row, bit);
  const uint64_t high = GetSampleBits(n - 32, row, bit);
  return high << 32 | GetSampleBits(32, row, bit + (n - 32));
}

uint32_t cPictTIFF::ConvertPixel8(const uint32_t* s, int32_t count, int32_t photometric) {
  switch (count) {
    case 1: return Argb(255, s[0], s[0], s[0]);
    case 2: return Argb(s[1], s[0], s[0], s[0]);  // grey with alpha
    case 3:
    case 4: {
      if (photometric == 2 || photometric == 34892)
        return count == 3 ? Argb(255, s[0], s[1], s[2]) : (photometric == 2 ? Argb(s[3], s[0], s[1], s[2]) : 0);
      if (photometric == 8) {
        double rgb[3];
        const double l = s[0] * 100.0 / 255.0;
        const double a = static_cast<int8_t>(s[1]), b = static_cast<int8_t>(s[2]);
        if (count == 3) LabToRgb(l, a, b, 235.875, 255.0, 266.03895, rgb);
        else LabToRgb(l, a, b, 242.36628, 255.0, 277.63227, rgb);
        return Argb(count == 3 ? 255 : s[3], Clamp255(rgb[0]), Clamp255(rgb[1]), Clamp255(rgb[2]));
      }
      if (count == 4 && photometric == 5) {
        const double k = (255 - s[3]) / 255.0;
        auto ch = [&](uint32_t c) { return static_cast<uint32_t>((255 - c) / 255.0 * k * 255.0); };
        return Argb(255, ch(s[0]), ch(s[1]), ch(s[2]));
      }
      if (count == 4 && photometric == 65534) return Argb(s[3], s[2], s[1], s[0]);
      return 0;
    }
    case 5:
      if (photometric == 5) {
        const double k = (255 - s[3]) / 255.0;
        auto ch = [&](uint32_t c) { return static_cast<uint32_t>((255 - c) / 255.0 * k * 255.0); };
        return Argb(s[4], ch(s[0]), ch(s[1]), ch(s[2]));
      }
      return 0;
    default: return 0;
  }
}

uint64_t cPictTIFF::ConvertPixel16(const uint32_t* s, int32_t count, int32_t photometric) {
  switch (count) {
    case 1: return Argb64(65535, s[0], s[0], s[0]);
    case 2: return Argb64(s[1], s[0], s[0], s[0]);
    case 3:
    case 4: {
      if (photometric == 2 || photometric == 34892)
        return count == 3 ? Argb64(65535, s[0], s[1], s[2]) : (photometric == 2 ? Argb64(s[3], s[0], s[1], s[2]) : 0);
      if (photometric == 8) {
        double rgb[3];
        const double l = s[0] * 100.0 / (255.0 * 255.0);
        const double a = (s[1] ^ 0x8000) / 255.0 - 128.0, b = (s[2] ^ 0x8000) / 255.0 - 128.0;
        LabToRgb(l, a, b, 60619.875, 65535.0, 68372.01015, rgb);
        return Argb64(count == 3 ? 65535 : s[3], Clamp65535(rgb[0]), Clamp65535(rgb[1]), Clamp65535(rgb[2]));
      }
      if (count == 4 && photometric == 5) {
        const double k = (65535 - s[3]) / 65535.0;
        auto ch = [&](uint32_t c) { return static_cast<uint64_t>((65535 - c) / 65535.0 * k * 65535.0); };
        return Argb64(65535, ch(s[0]), ch(s[1]), ch(s[2]));
      }
      if (count == 4 && photometric == 65534) return Argb64(s[3], s[2], s[1], s[0]);
      return 0;
    }
    case 5:
      if (photometric == 5) {
        const double k = (65535 - s[3]) / 65535.0;
        auto ch = [&](uint32_t c) { return static_cast<uint64_t>((65535 - c) / 65535.0 * k * 65535.0); };
        return Argb64(s[4], ch(s[0]), ch(s[1]), ch(s[2]));
      }
      return 0;
    default: return 0;
  }
}

namespace {

// One sample of 1..8 bits as 8 bits.
inline uint32_t Sample8(const uint8_t* row, int64_t index, int32_t n) {
  if (n == 8) return row[index];
  const uint32_t v = cPictTIFF::GetSampleBits(n, row, index * n);
  if (n == 1) return v ? 255u : 0u;
  uint32_t out = v << (8 - n);
  if (n <= 4) out += v << (8 - 2 * n);
  return out & 0xFF;
}

// One sample wider than 8 bits as 16 bits; false for a format not taken.
inline bool Sample16(const uint8_t* row, int64_t index, int32_t n, uint16_t format, bool be, uint32_t& out) {
  if (format == 0 || format == 1) {
    if (n == 16 || n == 32 || n == 64) {
      const uint8_t* p = row + index * (n / 8);
      out = be ? (p[0] << 8 | p[1]) : (p[n / 8 - 1] << 8 | p[n / 8 - 2]);
      return true;
    }
    const uint64_t v = cPictTIFF::GetSampleBits64(n, row, index * n);
    out = static_cast<uint32_t>(n < 17 ? v << (16 - n) : v >> (n - 16)) & 0xFFFF;
    return true;
  }
  if (format == 3) {
    const int32_t bytes = n / 8;
    if (n != 16 && n != 24 && n != 32 && n != 64) return false;
    const uint8_t* p = row + index * bytes;
    uint64_t v = 0;
    for (int32_t i = 0; i < bytes; ++i) v = v << 8 | p[be ? i : bytes - 1 - i];
    float f;
    if (n == 32) {
      uint32_t u = static_cast<uint32_t>(v);
      std::memcpy(&f, &u, 4);
    } else if (n == 64) {
      double d;
      std::memcpy(&d, &v, 8);
      f = static_cast<float>(d);
    } else {
      f = WidenFloat(static_cast<uint32_t>(v), n);
    }
    out = FloatTo16(f);
    return true;
  }
  return false;
}

}  // namespace

bool cPictTIFF::PutRows8(int32_t y, const sTiffStripData& sd) {
  if (sd.sampleFormat > 1) return false;
  const int32_t w = GetWidth(), h = GetHeight();
  const int32_t spp = sd.samplesPerPixel, n = sd.bitsPerSample, ph = sd.photometric;
  if (spp < 1 || spp > 5 || n < 1 || n > 8 || y < 0 || static_cast<int64_t>(y) + sd.rows > h) return false;
  const bool invert = ph == 0;
  for (int32_t r = 0; r < sd.rows; ++r) {
    const uint8_t* row = sd.data.data + static_cast<int64_t>(r) * sd.bytesPerRow;
    const int32_t br = BufferRow(y + r);
    uint32_t* out = streaming_ ? nullptr : Pixels32().data + static_cast<int64_t>(br) * w;
    if (n == 8 && spp == 3 && (ph == 2 || ph == 34892) && out != nullptr) {
      for (int32_t x = 0; x < w; ++x) out[x] = Argb(255, row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    } else if (n == 8 && spp == 1 && out != nullptr) {
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t v = invert ? 255u - row[x] : row[x];
        out[x] = 0xFF000000u | v * 0x010101u;
      }
    } else if (n == 1 && spp == 1 && out != nullptr) {
      for (int32_t x = 0; x < w; ++x) {
        const bool set = (row[x >> 3] >> (7 - (x & 7))) & 1;
        out[x] = set != invert ? 0xFFFFFFFFu : 0xFF000000u;
      }
    } else {
      uint32_t s[5];
      for (int32_t x = 0; x < w; ++x) {
        for (int32_t k = 0; k < spp; ++k) s[k] = Sample8(row, static_cast<int64_t>(x) * spp + k, n);
        if (invert) s[0] = 255 - s[0];
        const uint32_t p = ConvertPixel8(s, spp, ph);
        if (out != nullptr) out[x] = p;
        else if (!PutCanvasPixel(x, br, p)) return false;
      }
    }
    if (!StreamStillOpen()) return false;
  }
  return true;
}

bool cPictTIFF::PutRows16(int32_t y, const sTiffStripData& sd) {
  const int32_t w = GetWidth(), h = GetHeight();
  const int32_t spp = sd.samplesPerPixel, n = sd.bitsPerSample, ph = sd.photometric;
  if (spp < 1 || spp > 5 || n < 9 || n > 64 || y < 0 || static_cast<int64_t>(y) + sd.rows > h) return false;
  for (int32_t r = 0; r < sd.rows; ++r) {
    const uint8_t* row = sd.data.data + static_cast<int64_t>(r) * sd.bytesPerRow;
    const int32_t br = BufferRow(y + r);
    uint64_t* out = streaming_ ? nullptr : Pixels64().data + static_cast<int64_t>(br) * w;
    uint32_t s[5];
    for (int32_t x = 0; x < w; ++x) {
      for (int32_t k = 0; k < spp; ++k)
        if (!Sample16(row, static_cast<int64_t>(x) * spp + k, n, sd.sampleFormat, sd.bigEndian, s[k])) return false;
      if (ph == 0) s[0] = 65535 - s[0];
      const uint64_t p = ConvertPixel16(s, spp, ph);
      if (out != nullptr) out[x] = p;
      else if (!PutCanvasPixel64(x, br, p)) return false;
    }
    if (!StreamStillOpen()) return false;
  }
  return true;
}

bool cPictTIFF::PutPaletteRows(int32_t y, const sTiffStripData& sd) {
  const int32_t entries = colorMap_.count / 3;
  if (entries == 0) return false;
  const int32_t w = GetWidth(), h = GetHeight();
  const int32_t n = sd.bitsPerSample, spp = sd.samplesPerPixel < 1 ? 1 : sd.samplesPerPixel;
  if (n < 1 || n > 32 || y < 0 || static_cast<int64_t>(y) + sd.rows > h) return false;
  const uint16_t* red = colorMap_.data;
  const uint16_t* green = red + entries;
  const uint16_t* blue = green + entries;
  for (int32_t r = 0; r < sd.rows; ++r) {
    const uint8_t* row = sd.data.data + static_cast<int64_t>(r) * sd.bytesPerRow;
    const int32_t br = BufferRow(y + r);
    uint32_t* out = streaming_ ? nullptr : Pixels32().data + static_cast<int64_t>(br) * w;
    for (int32_t x = 0; x < w; ++x) {
      const int64_t index = static_cast<int64_t>(x) * spp;
      uint32_t i;
      if (n == 8) i = row[index];
      else if (n == 16) i = sd.bigEndian ? (row[2 * index] << 8 | row[2 * index + 1]) : (row[2 * index + 1] << 8 | row[2 * index]);
      else i = GetSampleBits(n, row, index * n);
      if (i >= static_cast<uint32_t>(entries)) return false;
      const uint32_t p = Argb(255, red[i] >> 8, green[i] >> 8, blue[i] >> 8);
      if (out != nullptr) out[x] = p;
      else if (!PutCanvasPixel(x, br, p)) return false;
    }
    if (!StreamStillOpen()) return false;
  }
  return true;
}

bool cPictTIFF::PutPlanarRows8(int32_t y, int32_t plane, const sTiffStripData& sd) {
  if (plane > 3) return true;
  if (sd.sampleFormat > 1) return false;
  const int32_t w = GetWidth(), h = GetHeight(), n = sd.bitsPerSample;
  if (n < 1 || n > 8 || y < 0 || static_cast<int64_t>(y) + sd.rows > h) return false;
  const int32_t shift = plane == 0 ? 16 : plane == 1 ? 8 : plane == 2 ? 0 : 24;
  const uint32_t maxv = (1u << n) - 1;
  for (int32_t r = 0; r < sd.rows; ++r) {
    const uint8_t* row = sd.data.data + static_cast<int64_t>(r) * sd.bytesPerRow;
    const int32_t br = BufferRow(y + r);
    uint32_t* out = streaming_ ? nullptr : Pixels32().data + static_cast<int64_t>(br) * w;
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t v = n == 8 ? row[x] : GetSampleBits(n, row, static_cast<int64_t>(x) * n) * 255 / maxv;
      if (out != nullptr) {
        if (plane < 3) out[x] |= v << shift | 0xFF000000u;
        else out[x] = (out[x] & 0x00FFFFFFu) | v << 24;
      } else {
        if (plane == 0 && sd.samplesPerPixel < 4 && !PutCanvasChannel(x, br, 3, 255)) return false;
        if (!PutCanvasChannel(x, br, shift / 8, v)) return false;
      }
    }
    if (!StreamStillOpen()) return false;
  }
  return true;
}

bool cPictTIFF::PutPlanarRows16(int32_t y, int32_t plane, const sTiffStripData& sd) {
  if (plane > 3) return true;
  const int32_t w = GetWidth(), h = GetHeight(), n = sd.bitsPerSample;
  if (n < 9 || n > 64 || y < 0 || static_cast<int64_t>(y) + sd.rows > h) return false;
  const int32_t shift = plane == 0 ? 32 : plane == 1 ? 16 : plane == 2 ? 0 : 48;
  for (int32_t r = 0; r < sd.rows; ++r) {
    const uint8_t* row = sd.data.data + static_cast<int64_t>(r) * sd.bytesPerRow;
    const int32_t br = BufferRow(y + r);
    uint64_t* out = streaming_ ? nullptr : Pixels64().data + static_cast<int64_t>(br) * w;
    for (int32_t x = 0; x < w; ++x) {
      uint32_t v;
      if (!Sample16(row, x, n, sd.sampleFormat, sd.bigEndian, v)) return false;
      if (out != nullptr) {
        if (plane < 3) out[x] |= static_cast<uint64_t>(v) << shift | uint64_t{0xFFFF} << 48;
        else out[x] = (out[x] & 0x0000FFFFFFFFFFFFull) | static_cast<uint64_t>(v) << 48;
      } else {
        if (plane == 0 && sd.samplesPerPixel < 4 && !PutCanvasChannel(x, br, 3, 255)) return false;
        if (!PutCanvasChannel16(x, br, shift / 16, v)) return false;
      }
    }
    if (!StreamStillOpen()) return false;
  }
  return true;
}

bool cPictTIFF::FinishPlanes() {
  if (planar_ != 2 || photometric_ == 2 || photometric_ == 34892) return true;
  const int32_t spp = samplesPerPixel_, ph = photometric_;
  if (IsHighDepth()) {
    _typebuf<uint64_t>& px = Pixels64();
    for (int32_t i = 0; i < px.count; ++i) {
      const uint64_t v = px.data[i];
      uint32_t s[5] = {static_cast<uint32_t>(v >> 32) & 0xFFFF, static_cast<uint32_t>(v >> 16) & 0xFFFF,
                       static_cast<uint32_t>(v) & 0xFFFF, static_cast<uint32_t>(v >> 48), 65535};
      if (ph == 0) s[0] = 65535 - s[0];
      px.data[i] = ConvertPixel16(s, spp, ph);
    }
  } else {
    _typebuf<uint32_t>& px = Pixels32();
    for (int32_t i = 0; i < px.count; ++i) {
      const uint32_t v = px.data[i];
      uint32_t s[5] = {(v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF, v >> 24, 255};
      if (ph == 0) s[0] = 255 - s[0];
      px.data[i] = ConvertPixel8(s, spp, ph);
    }
  }
  return true;
}
