// See raw_develop.h.
#include "picture/raw/raw_develop.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "picture/pict_base.h"

namespace {

inline uint32_t Ch(uint64_t p, int32_t c) { return static_cast<uint32_t>(p >> (16 * c)) & 0xFFFF; }

inline void SetCh(uint64_t& p, int32_t c, int64_t v) {
  const uint64_t mask = uint64_t{0xFFFF} << (16 * c);
  p = (p & ~mask) | (static_cast<uint64_t>(v & 0xFFFF) << (16 * c));
}

inline int64_t Clamp16(int64_t v) { return v < 0 ? 0 : (v > 0xFFFF ? 0xFFFF : v); }

inline int64_t Clamp16d(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 65535.0) return 0xFFFF;
  return static_cast<int64_t>(v);
}

inline int32_t Abs(int32_t v) { return v < 0 ? -v : v; }

inline uint64_t Pack(int64_t r, int64_t g, int64_t b) {
  return static_cast<uint64_t>(b) | static_cast<uint64_t>(g) << 16 | static_cast<uint64_t>(r) << 32 |
         uint64_t{0xFFFF} << 48;
}

inline uint32_t BlackSubtracted(uint32_t s, int32_t black) {
  const int64_t v = static_cast<int64_t>(s) - black;
  return v < 0 ? 0 : static_cast<uint32_t>(v > 0xFFFFFFFF ? 0xFFFFFFFF : v);
}

// Developed value of a sample of colour c.
inline int64_t Developed(uint32_t s, int32_t black, const double* multipliers, int32_t c) {
  return Clamp16d(static_cast<double>(BlackSubtracted(s, black)) * multipliers[c & 3]);
}

inline void ApplyMatrix(const double* m, int64_t& r, int64_t& g, int64_t& b) {
  const double R = static_cast<double>(r), G = static_cast<double>(g), B = static_cast<double>(b);
  r = Clamp16d(m[0] * R + m[1] * G + m[2] * B);
  g = Clamp16d(m[3] * R + m[4] * G + m[5] * B);
  b = Clamp16d(m[6] * R + m[7] * G + m[8] * B);
}

inline bool Report(cProgressNotifyTarget* progress, double percent) {
  return progress == nullptr || progress->SetProgress(percent);
}

// Progress of the pixel operations: every 8192 pixels, index * 100 / count
// computed in 64 bits (a 32-bit product overflows above 21 megapixels).
inline bool PixelProgress(cProgressNotifyTarget* progress, int64_t index, int64_t count) {
  if (progress == nullptr || (index & 8191) != 0) return true;
  return progress->SetProgress(RawProgressPercent(index, count));
}

std::atomic<tRawFrameHook> gFrameHook{nullptr};
std::atomic<void*> gFrameHookUser{nullptr};

}  // namespace

double RawProgressPercent(int64_t index, int64_t count) {
  if (count <= 0) return 0.0;
  return static_cast<double>(index * 100 / count);
}

cRawDevelopContext::cRawDevelopContext(uint64_t* outPixels, int64_t outCount, int32_t width,
                                       const uint16_t* rawSamples, int64_t rawCount, int32_t height,
                                       std::unique_ptr<cBayerFilter> cfa, int32_t blackLevel, double red,
                                       double green, double blue)
    : raw(rawSamples),
      rawSampleCount(rawCount),
      out(outPixels),
      outPixelCount(outCount),
      rawWidth(width),
      rawHeight(height),
      filter(std::move(cfa)),
      black(blackLevel) {
  multipliers[0] = red;
  multipliers[1] = green;
  multipliers[2] = blue;
  multipliers[3] = green;
}

bool CheckRawFrame(const cRawDevelopContext& context, const sRawBorders* borders, int32_t& w, int32_t& h) {
  if (context.raw == nullptr || context.out == nullptr || context.filter == nullptr) return false;
  if (context.rawWidth <= 0 || context.rawHeight <= 0) return false;
  sRawBorders b;
  if (borders != nullptr) b = *borders;
  if (b.left < 0 || b.right < 0 || b.top < 0 || b.bottom < 0) return false;
  const int64_t lr = static_cast<int64_t>(b.left) + b.right, tb = static_cast<int64_t>(b.top) + b.bottom;
  if (lr >= context.rawWidth || tb >= context.rawHeight) return false;
  const int64_t frame = static_cast<int64_t>(context.rawWidth) * context.rawHeight;
  if (context.rawSampleCount < frame) return false;
  const int64_t ww = context.rawWidth - lr, hh = context.rawHeight - tb;
  if (context.outPixelCount < ww * hh) return false;
  w = static_cast<int32_t>(ww);
  h = static_cast<int32_t>(hh);
  return true;
}

void DemosaicBayerEdges(uint64_t* out, const cBayerFilter* filter, const uint16_t* raw, int32_t rawWidth,
                        int32_t rawHeight, bool bottomUp, const double* multipliers, const sRawBorders* borders,
                        int32_t black, const double* matrix) {
  if (out == nullptr || filter == nullptr || raw == nullptr || multipliers == nullptr) return;
  sRawBorders b;
  if (borders != nullptr) b = *borders;
  if (rawWidth <= 0 || rawHeight <= 0 || b.left < 0 || b.right < 0 || b.top < 0 || b.bottom < 0) return;
  if (static_cast<int64_t>(b.left) + b.right >= rawWidth || static_cast<int64_t>(b.top) + b.bottom >= rawHeight)
    return;
  const int32_t w = rawWidth - b.left - b.right, h = rawHeight - b.top - b.bottom;
  auto sample = [&](int32_t x, int32_t y) -> uint32_t {
    return raw[static_cast<int64_t>(b.top + y) * rawWidth + b.left + x];
  };
  for (int32_t y = 0; y < h; ++y) {
    const bool fullRow = y < 4 || y >= h - 4;
    for (int32_t x = 0; x < w; ++x) {
      if (!fullRow && x == 4 && w - 4 > 4) x = w - 4;
      if (!fullRow && x >= 4 && x < w - 4) continue;
      double sum[4] = {0, 0, 0, 0};
      int32_t cnt[4] = {0, 0, 0, 0};
      for (int32_t dy = -1; dy <= 1; ++dy) {
        const int32_t yy = y + dy;
        if (yy < 0 || yy >= h) continue;
        for (int32_t dx = -1; dx <= 1; ++dx) {
          const int32_t xx = x + dx;
          if (xx < 0 || xx >= w) continue;
          const int32_t c = filter->ColourAt(xx, yy) & 3;
          sum[c] += BlackSubtracted(sample(xx, yy), black);
          ++cnt[c];
        }
      }
      const int32_t c0 = filter->ColourAt(x, y) & 3;
      const int64_t own = Developed(sample(x, y), black, multipliers, c0);
      int64_t v[3];
      for (int32_t c = 0; c < 3; ++c)
        v[c] = (c0 != c && cnt[c] > 0) ? Clamp16d(sum[c] * multipliers[c] / cnt[c]) : own;
      if (matrix != nullptr) ApplyMatrix(matrix, v[0], v[1], v[2]);
      const int64_t row = bottomUp ? h - 1 - y : y;
      out[row * w + x] = Pack(v[0], v[1], v[2]);
    }
  }
}

bool DemosaicBayer(cRawDevelopContext& ctx, const sRawBorders* borders, const double* matrix) {
  int32_t w = 0, h = 0;
  if (!CheckRawFrame(ctx, borders, w, h)) return false;
  sRawBorders b;
  if (borders != nullptr) b = *borders;
  const cBayerFilter& f = *ctx.filter;
  uint64_t* px = ctx.out;
  const int64_t W = w;

  // Pass 1: each pixel starts with its own colour only.
  int32_t lo = 0xFFFF, hi = 0;
  for (int32_t y = 0; y < h; ++y) {
    const uint16_t* src = ctx.raw + static_cast<int64_t>(b.top + y) * ctx.rawWidth + b.left;
    uint64_t* row = px + y * W;
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t s = src[x];
      if (static_cast<int32_t>(s) < lo) lo = static_cast<int32_t>(s);
      if (static_cast<int32_t>(s) > hi) hi = static_cast<int32_t>(s);
      const int32_t c = f.ColourAt(x, y) & 3;
      uint64_t p = 0;
      SetCh(p, c, Developed(s, ctx.black, ctx.multipliers, c));
      row[x] = p;
    }
    if (!Report(ctx.progress, 20.0 * y / h)) return false;
  }

  // Pass 2: green at red and blue sites along the smoother direction.
  for (int32_t y = 3; y <= h - 4; ++y) {
    const int32_t x0 = (f.ColourAt(3, y) & 1) == 0 ? 3 : 4;
    const int32_t k = f.ColourAt(x0, y) & 3;
    for (int32_t x = x0; x < w - 3; x += 2) {
      const int64_t P = y * W + x;
      auto G = [&](int64_t i) { return static_cast<int32_t>(Ch(px[i], 1)); };
      auto C = [&](int64_t i) { return static_cast<int32_t>(Ch(px[i], k)); };
      int32_t est[2], grad[2];
      const int64_t steps[2] = {1, W};
      for (int32_t i = 0; i < 2; ++i) {
        const int64_t d = steps[i];
        est[i] = 2 * C(P) + 2 * G(P - d) + 2 * G(P + d) - C(P - 2 * d) - C(P + 2 * d);
        grad[i] = 3 * (Abs(G(P - d) - G(P + d)) + Abs(C(P - 2 * d) - C(P)) + Abs(C(P + 2 * d) - C(P))) +
                  2 * (Abs(G(P + 3 * d) - G(P + d)) + Abs(G(P - 3 * d) - G(P - d)));
      }
      const int32_t pick = grad[0] > grad[1] ? 1 : 0;
      const int64_t d = steps[pick];
      int32_t g1 = G(P - d), g2 = G(P + d);
      if (g1 > g2) std::swap(g1, g2);
      int32_t e = est[pick] >> 2;
      if (e < g1) e = g1;
      if (e > g2) e = g2;
      SetCh(px[P], 1, e);
    }
    if (!Report(ctx.progress, 20.0 + 20.0 * y / h)) return false;
  }

  // Pass 3: red and blue at green sites.
  for (int32_t y = 1; y <= h - 2; ++y) {
    const int32_t x0 = (f.ColourAt(2, y) & 1) == 0 ? 1 : 2;
    const int32_t k = f.ColourAt(x0 + 1, y) & 3;
    if (k == 0 || k == 2) {
      const int32_t k2 = 2 - k;
      for (int32_t x = x0; x < w - 1; x += 2) {
        const int64_t P = y * W + x;
        const int64_t g = Ch(px[P], 1);
        int64_t v = (2 * g + Ch(px[P - 1], k) + Ch(px[P + 1], k) - Ch(px[P - 1], 1) - Ch(px[P + 1], 1)) >> 1;
        SetCh(px[P], k, Clamp16(v));
        v = (2 * g + Ch(px[P - W], k2) + Ch(px[P + W], k2) - Ch(px[P - W], 1) - Ch(px[P + W], 1)) >> 1;
        SetCh(px[P], k2, Clamp16(v));
      }
    }
    if (!Report(ctx.progress, 40.0 + 20.0 * y / h)) return false;
  }

  // Pass 4: the missing colour at red and blue sites along the diagonal.
  for (int32_t y = 1; y <= h - 2; ++y) {
    const int32_t x0 = (f.ColourAt(1, y) & 1) == 0 ? 1 : 2;
    const int32_t own = f.ColourAt(x0, y) & 3;
    if (own == 0 || own == 2) {
      const int32_t m = 2 - own;
      for (int32_t x = x0; x < w - 1; x += 2) {
        const int64_t P = y * W + x;
        const int64_t g = Ch(px[P], 1);
        int64_t est[2], grad[2];
        const int64_t steps[2] = {W + 1, W - 1};
        for (int32_t i = 0; i < 2; ++i) {
          const int64_t s = steps[i];
          const int64_t a = Ch(px[P - s], m), c = Ch(px[P + s], m);
          const int64_t ga = Ch(px[P - s], 1), gc = Ch(px[P + s], 1);
          est[i] = a + c + 2 * g - ga - gc;
          grad[i] = std::llabs(a - c) + std::llabs(ga - g) + std::llabs(gc - g);
        }
        int64_t v;
        if (grad[0] == grad[1]) {
          v = (est[0] + est[1]) >> 2;
        } else {
          v = (grad[0] < grad[1] ? est[0] : est[1]) >> 1;
        }
        SetCh(px[P], m, Clamp16(v));
      }
    }
    if (!Report(ctx.progress, 60.0 + 20.0 * y / h)) return false;
  }

  // Pass 5: output order and channel layout.
  for (int32_t y = 0; y < h; ++y) {
    uint64_t* row = px + y * W;
    for (int32_t x = 0; x < w; ++x) {
      int64_t r = Ch(row[x], 0), g = Ch(row[x], 1), bl = Ch(row[x], 2);
      if (matrix != nullptr) ApplyMatrix(matrix, r, g, bl);
      row[x] = Pack(r, g, bl);
    }
    if (!Report(ctx.progress, 80.0 + 10.0 * y / h)) return false;
  }
  if (ctx.bottomUp) {
    for (int32_t y = 0; y < h / 2; ++y) {
      uint64_t* a = px + y * W;
      uint64_t* c = px + (h - 1 - y) * W;
      for (int32_t x = 0; x < w; ++x) std::swap(a[x], c[x]);
      if (!Report(ctx.progress, 90.0 + 20.0 * y / h)) return false;
    }
  }
  ctx.minSample = lo;
  ctx.maxSample = hi;
  DemosaicBayerEdges(px, ctx.filter.get(), ctx.raw, ctx.rawWidth, ctx.rawHeight, ctx.bottomUp, ctx.multipliers,
                     &b, ctx.black, matrix);
  return true;
}

namespace {

// The shared loop of the two neighbourhood demosaics; weights null: means.
bool DemosaicWindow(const sRawBorders* borders, cRawDevelopContext& ctx, const double* weights) {
  int32_t w = 0, h = 0;
  if (!CheckRawFrame(ctx, borders, w, h)) return false;
  sRawBorders b;
  if (borders != nullptr) b = *borders;
  const cBayerFilter& f = *ctx.filter;
  int32_t lo = 0xFFFF, hi = 0;
  auto sample = [&](int32_t x, int32_t y) -> uint32_t {
    return ctx.raw[static_cast<int64_t>(b.top + y) * ctx.rawWidth + b.left + x];
  };
  for (int32_t y = 0; y < h; ++y) {
    const int64_t outRow = ctx.bottomUp ? h - 1 - y : y;
    for (int32_t x = 0; x < w; ++x) {
      const int32_t c0 = f.ColourAt(x, y) & 3;
      const uint32_t s0 = sample(x, y);
      if (static_cast<int32_t>(s0) < lo) lo = static_cast<int32_t>(s0);
      if (static_cast<int32_t>(s0) > hi) hi = static_cast<int32_t>(s0);
      double sum[4] = {0, 0, 0, 0}, cnt[4] = {0, 0, 0, 0};
      auto add = [&](uint32_t s, int32_t c) {
        const double u = static_cast<double>(BlackSubtracted(s, ctx.black)) * ctx.multipliers[c];
        if (weights == nullptr) {
          sum[c] += u;
          cnt[c] += 1;
        } else {
          for (int32_t l = 0; l < 3; ++l) {
            sum[l] += u * weights[l * 4 + c];
            cnt[l] += weights[l * 4 + c];
          }
        }
      };
      add(s0, c0);
      for (int32_t dy = -1; dy <= 1; ++dy) {
        const int32_t yy = y + dy;
        if (yy < 0 || yy >= h) continue;
        for (int32_t dx = -1; dx <= 1; ++dx) {
          const int32_t xx = x + dx;
          if (xx < 0 || xx >= w || (dx == 0 && dy == 0)) continue;
          const int32_t c = f.ColourAt(xx, yy) & 3;
          if (c != c0) add(sample(xx, yy), c);
        }
      }
      int64_t v[3];
      for (int32_t l = 0; l < 3; ++l) {
        if (weights == nullptr) {
          v[l] = cnt[l] == 0 ? 0 : Clamp16d(sum[l] / cnt[l]);
        } else {
          v[l] = Clamp16d(sum[l] / (cnt[l] == 0 ? 1.0 : cnt[l]));
        }
      }
      ctx.out[outRow * w + x] = Pack(v[0], v[1], v[2]);
    }
    if (!Report(ctx.progress, 100.0 * y / h)) return false;
  }
  ctx.minSample = lo;
  ctx.maxSample = hi;
  return true;
}

}  // namespace

bool DemosaicNeighbourMean(const sRawBorders* borders, cRawDevelopContext& context) {
  return DemosaicWindow(borders, context, nullptr);
}

bool DemosaicWeighted(const sRawBorders* borders, cRawDevelopContext& context, const double* weights) {
  if (weights == nullptr) return false;
  return DemosaicWindow(borders, context, weights);
}

bool BuildRawHistogram(const uint64_t* pixels, int64_t count, cRawHistogram& histogram,
                       cProgressNotifyTarget* progress) {
  if (pixels == nullptr || count <= 0) return false;
  _typebuf<uint32_t>* bins[4] = {&histogram.all, &histogram.red, &histogram.green, &histogram.blue};
  for (_typebuf<uint32_t>* b : bins) {
    b->Reallocate(4096);
    std::memset(b->data, 0, 4096 * sizeof(uint32_t));
  }
  uint32_t* all = histogram.all.data;
  uint32_t* red = histogram.red.data;
  uint32_t* green = histogram.green.data;
  uint32_t* blue = histogram.blue.data;
  for (int64_t i = 0; i < count; ++i) {
    if (!PixelProgress(progress, i, count)) return false;
    const uint64_t p = pixels[i];
    const uint32_t bb = Ch(p, 0) >> 4, gg = Ch(p, 1) >> 4, rr = Ch(p, 2) >> 4;
    ++red[rr];
    ++green[gg];
    ++blue[bb];
    ++all[rr];
    ++all[gg];
    ++all[bb];
  }
  return true;
}

bool FindLevels(const _typebuf<uint32_t>& bins, uint32_t& black, uint32_t& middle, uint32_t& white,
                double fraction) {
  const int32_t n = bins.count;
  if (bins.data == nullptr || n <= 0 || (n & (n - 1)) != 0 || n > 65536) return false;
  if (!(fraction > 0.0 && fraction <= 1.0)) return false;
  uint64_t total = 0;
  for (int32_t i = 0; i < n; ++i) total += bins.data[i];
  if (total == 0) return false;
  const uint64_t e = 65536u / static_cast<uint32_t>(n);
  const uint64_t low = static_cast<uint64_t>((1.0 - fraction) * static_cast<double>(total));
  const uint64_t mid = total / 2 - low;  // wraps for fractions below 0.5: never found
  const uint64_t high = total - low;
  // Within bin i (start i * e, h samples) the target t lies (t - S) / h of
  // the way in: counting from the bin's start keeps black below white when
  // most samples sit in one bin.
  auto level = [&](int32_t i, uint64_t S, uint64_t h, uint64_t t) -> uint32_t {
    uint64_t v = static_cast<uint64_t>(i) * e;
    if (e != 1 && h != 0 && t > S) v += (t - S) * e / h;
    return static_cast<uint32_t>(v > 0xFFFF ? 0xFFFF : v);
  };
  bool haveBlack = false, haveMiddle = false, haveWhite = false;
  uint32_t b = 0, m = 0, wl = 0xFFFF;
  uint64_t S = 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint64_t h = bins.data[i];
    if (!haveBlack && S + h >= low) {
      b = level(i, S, h, low);
      haveBlack = true;
    }
    if (!haveMiddle && S + h >= mid) {
      m = level(i, S, h, mid);
      haveMiddle = true;
    }
    if (S + h >= high) {
      wl = level(i, S, h, high);
      haveWhite = true;
      break;
    }
    S += h;
  }
  (void)haveWhite;
  if (!haveBlack || !haveMiddle) return false;
  black = b;
  middle = m;
  white = wl;
  return true;
}

bool BuildToneCurve(uint32_t black, uint32_t white, double gamma, _typebuf<uint32_t>& table) {
  if (gamma == 0.0 || black >= white || white >= 0x10000) {
    table.Reset();
    return false;
  }
  table.Reallocate(65536);
  const double p = 1.0 / gamma;
  double toe = 0.0, offset = 0.0;
  if ((p - 1.0) * 3.5 <= 0.0) {
    double lo = 0.0, hi = 1.0, g = 0.0;
    for (int32_t i = 0; i < 48; ++i) {
      g = (lo + hi) * 0.5;
      const double f = (std::pow(g / 4.5, -p) - 1.0) / p - 1.0 / g;
      if (f > -1.0) {
        hi = g;
      } else {
        lo = g;
      }
    }
    toe = g / 4.5;
    offset = g * (1.0 / p - 1.0);
  }
  const double span = static_cast<double>(white - black);
  for (uint32_t i = 0; i < 65536; ++i) {
    uint32_t v;
    if (i < black) {
      v = 0;
    } else {
      const double r = static_cast<double>(i - black) / span;
      double o;
      if (r < toe) {
        o = 65535.0 * 4.5 * r;
      } else if (r < 1.0) {
        o = 65535.0 * (std::pow(r, p) * (1.0 + offset) - offset);
      } else {
        o = 65535.0;
      }
      v = o <= 0.0 ? 0 : static_cast<uint32_t>(o >= 4294967295.0 ? 4294967295.0 : o);
    }
    table.data[i] = v;
  }
  return true;
}

bool ApplyToneCurve(const uint64_t* source, uint64_t* destination, int64_t count, const _typebuf<uint32_t>& table,
                    cProgressNotifyTarget* progress) {
  if (source == nullptr || destination == nullptr || count <= 0 || table.data == nullptr || table.count != 65536)
    return false;
  const uint32_t* t = table.data;
  auto map = [t](uint32_t v) -> uint64_t { return t[v] > 0xFFFF ? 0xFFFF : t[v]; };
  for (int64_t i = 0; i < count; ++i) {
    if (!PixelProgress(progress, i, count)) return false;
    const uint64_t p = source[i];
    destination[i] = map(Ch(p, 0)) | map(Ch(p, 1)) << 16 | map(Ch(p, 2)) << 32 | (p & (uint64_t{0xFFFF} << 48));
  }
  return true;
}

bool AdjustSaturation(const uint64_t* source, uint64_t* destination, int64_t count, cProgressNotifyTarget* progress,
                      double factor) {
  if (source == nullptr || destination == nullptr || count <= 0) return false;
  for (int64_t i = 0; i < count; ++i) {
    if (!PixelProgress(progress, i, count)) return false;
    const uint64_t p = source[i];
    const double b = Ch(p, 0), g = Ch(p, 1), r = Ch(p, 2);
    const double y = static_cast<double>(static_cast<int64_t>(0.59 * g + 0.3 * r + 0.11 * b));
    auto sat = [&](double c) -> uint64_t {
      const double v = y + factor * (c - y);
      return static_cast<uint64_t>(Clamp16d(static_cast<double>(static_cast<int64_t>(v))));
    };
    destination[i] = sat(b) | sat(g) << 16 | sat(r) << 32 | (p & (uint64_t{0xFFFF} << 48));
  }
  return true;
}

void SetRawFrameHook(tRawFrameHook hook, void* user) {
  gFrameHookUser.store(user);
  gFrameHook.store(hook);
}

void ReportRawFrame(const uint16_t* raw, int32_t rawWidth, int32_t rawHeight) {
  const tRawFrameHook hook = gFrameHook.load();
  if (hook != nullptr && raw != nullptr) hook(raw, rawWidth, rawHeight, gFrameHookUser.load());
}

bool RawFrameHookSet() { return gFrameHook.load() != nullptr; }

bool ApplyDevelopmentTail(uint64_t* out, int64_t count, const sRawDevelopParams& params,
                          const cRawDevelopContext* context, cProgressNotifyTarget* progress) {
  if (out == nullptr || count <= 0) return false;
  cRawHistogram histogram;
  _typebuf<uint32_t> table;
  uint32_t black = 0, middle = 0, white = 0xFFFF;
  bool tone = BuildRawHistogram(out, count, histogram, progress);
  // A histogram without levels would leave the curve undefined: the Load
  // fails instead of developing with made-up levels.
  tone = tone && FindLevels(histogram.all, black, middle, white, params.levelsFraction);
  if (tone && params.neutral != nullptr) {
    for (int64_t i = 0; i < count; ++i) {
      const uint64_t p = out[i];
      auto mul = [](uint32_t v, double m) -> uint64_t {
        return static_cast<uint64_t>(Clamp16d(static_cast<double>(v) * m));
      };
      out[i] = mul(Ch(p, 0), params.neutral[2]) | mul(Ch(p, 1), params.neutral[1]) << 16 |
               mul(Ch(p, 2), params.neutral[0]) << 32 | (p & (uint64_t{0xFFFF} << 48));
    }
    uint32_t black2 = 0, middle2 = 0, white2 = 0;
    tone = BuildRawHistogram(out, count, histogram, progress) &&
           FindLevels(histogram.all, black2, middle2, white2, params.levelsFraction);
    black = black2;
  }
  if (tone && params.adjustLevels != nullptr && context != nullptr)
    params.adjustLevels(*context, black, white, params.adjustUser);
  tone = tone && BuildToneCurve(black, white, params.gamma, table);
  tone = tone && ApplyToneCurve(out, out, count, table, progress);
  if (tone && params.saturation != 0.0) tone = AdjustSaturation(out, out, count, progress, params.saturation);
  if (!tone && !params.ignoreToneFailures) return false;
  // A stop request fails the Load even where tone failures are ignored.
  return progress == nullptr || progress->SetProgress(100.0);
}

bool DevelopRaw(const uint16_t* raw, int64_t rawCount, int32_t rawWidth, int32_t rawHeight,
                std::unique_ptr<cBayerFilter> filter, const sRawDevelopParams& params, cFileIOTarget* stream,
                cPictBase& picture) {
  if (raw == nullptr || rawWidth <= 0 || rawHeight <= 0 ||
      rawCount < static_cast<int64_t>(rawWidth) * rawHeight)
    return false;
  ReportRawFrame(raw, rawWidth, rawHeight);
  const sRawBorders* borders = params.hasBorders ? &params.borders : nullptr;
  sRawBorders b;
  if (borders != nullptr) b = *borders;
  if (b.left < 0 || b.right < 0 || b.top < 0 || b.bottom < 0) return false;
  const int64_t w = rawWidth - (static_cast<int64_t>(b.left) + b.right);
  const int64_t h = rawHeight - (static_cast<int64_t>(b.top) + b.bottom);
  if (w <= 0 || h <= 0 || w * h >= cPictBase::kMaxPixelCount) return false;

  cPictDummy developed;
  if (!developed.AllocatePixels64(static_cast<int32_t>(w), static_cast<int32_t>(h))) return false;
  const int64_t count = w * h;
  uint64_t* out = developed.Pixels64().data;
  std::memset(out, 0, static_cast<size_t>(count) * sizeof(uint64_t));

  cStreamGuardProgressTarget guard(stream);
  cProgressNotifyTarget* progress = stream != nullptr ? &guard : nullptr;
  {
    cRawDevelopContext ctx(out, count, rawWidth, raw, rawCount, rawHeight, std::move(filter), params.black,
                           params.red, params.green, params.blue);
    ctx.progress = progress;
    ctx.bottomUp = params.bottomUp;
    bool ok = false;
    switch (params.demosaic) {
      case kRawDemosaicBayer: ok = DemosaicBayer(ctx, borders, params.matrix); break;
      case kRawDemosaicNeighbourMean: ok = DemosaicNeighbourMean(borders, ctx); break;
      case kRawDemosaicWeighted: ok = DemosaicWeighted(borders, ctx, params.weights); break;
    }
    if (!ok) return false;

    if (!ApplyDevelopmentTail(out, count, params, &ctx, progress)) return false;
  }
  picture.TakePixels(&developed);
  return true;
}
