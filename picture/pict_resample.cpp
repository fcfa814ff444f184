// Whole-picture operations of cPictBase: Resample and StretchLevels. See
// pict_base.h for the contracts.
#include <cstring>
#include <new>

#include "picture/pict_base.h"

namespace {

inline int32_t Trunc(double v) { return static_cast<int32_t>(v); }

// Channel access for the two pixel sizes: four channels of kBits each.
template <class T>
struct sPixelKind;
template <>
struct sPixelKind<uint32_t> {
  static constexpr int kBits = 8;
  static constexpr uint32_t kMask = 0xFF;
};
template <>
struct sPixelKind<uint64_t> {
  static constexpr int kBits = 16;
  static constexpr uint32_t kMask = 0xFFFF;
};

template <class T>
inline uint32_t Ch(T p, int k) {
  return static_cast<uint32_t>(p >> (sPixelKind<T>::kBits * k)) & sPixelKind<T>::kMask;
}

template <class T>
inline T Make(const uint32_t (&ch)[4]) {
  T p = 0;
  for (int k = 0; k < 4; ++k) p |= static_cast<T>(ch[k] & sPixelKind<T>::kMask) << (sPixelKind<T>::kBits * k);
  return p;
}

// Resamples the run of n pixels at in (stride apart) into m pixels at out
// (outStride apart): area averaging when shrinking, linear interpolation
// when enlarging, a copy when the sizes agree.
template <class T>
void ResampleRun(const T* in, int32_t n, int64_t stride, T* out, int32_t m, int64_t outStride) {
  if (m == n) {
    for (int32_t k = 0; k < n; ++k) out[k * outStride] = in[k * stride];
    return;
  }
  const double r = static_cast<double>(n) / m;
  if (m < n) {
    double c = 0.0;
    for (int32_t k = 0; k < m; ++k) {
      const double e = c + r;
      int32_t j = Trunc(c);
      const int32_t p = Trunc(e);
      double sum[4] = {0, 0, 0, 0}, total = 0.0;
      if (c != j) {
        const double w = j + 1 - c;
        if (j < n) {
          for (int q = 0; q < 4; ++q) sum[q] += w * Ch(in[j * stride], q);
          total += w;
        }
        ++j;
      }
      for (; j < p && j < n; ++j) {
        for (int q = 0; q < 4; ++q) sum[q] += Ch(in[j * stride], q);
        total += 1.0;
      }
      if (e > p && p < n) {
        const double w = e - p;
        for (int q = 0; q < 4; ++q) sum[q] += w * Ch(in[p * stride], q);
        total += w;
      }
      uint32_t ch[4] = {0, 0, 0, 0};
      if (total > 0.0) {
        const double inv = 1.0 / total;
        for (int q = 0; q < 4; ++q) ch[q] = static_cast<uint32_t>(Trunc(sum[q] * inv));
      }
      out[k * outStride] = Make<T>(ch);
      c = e;
    }
    return;
  }
  double c = 0.0;
  for (int32_t k = 0; k < m; ++k) {
    int32_t e = Trunc(c);
    if (e > n - 1) e = n - 1;
    const double f = c - e;
    const T here = in[e * stride];
    T pixel = here;
    if (f < 0.5) {
      if (e != 0) {
        const double w = f + 0.5;
        const T prev = in[(e - 1) * stride];
        uint32_t ch[4];
        for (int q = 0; q < 4; ++q) ch[q] = static_cast<uint32_t>(Trunc(w * Ch(here, q) + (1 - w) * Ch(prev, q)));
        pixel = Make<T>(ch);
      }
    } else if (f > 0.5) {
      if (e != n - 1) {
        const double w = 1.5 - f;
        const T next = in[(e + 1) * stride];
        uint32_t ch[4];
        for (int q = 0; q < 4; ++q) ch[q] = static_cast<uint32_t>(Trunc(w * Ch(here, q) + (1 - w) * Ch(next, q)));
        pixel = Make<T>(ch);
      }
    }
    out[k * outStride] = pixel;
    c += r;
  }
}

template <class T>
bool ResampleBuffer(const T* src, int32_t w, int32_t h, int32_t nw, int32_t nh, _typebuf<T>& dst) {
  const int64_t n = static_cast<int64_t>(nw) * nh;
  const int64_t mid = static_cast<int64_t>(nw) * h;
  if (n >= cPictBase::kMaxPixelCount || mid >= cPictBase::kMaxPixelCount) return false;
  try {
    if (nw == w && nh == h) {
      dst.Reallocate(static_cast<int32_t>(n));
      std::memcpy(dst.data, src, static_cast<size_t>(n) * sizeof(T));
      return true;
    }
    if (nh == h) {
      dst.Reallocate(static_cast<int32_t>(n));
      for (int32_t y = 0; y < h; ++y)
        ResampleRun(src + static_cast<int64_t>(y) * w, w, 1, dst.data + static_cast<int64_t>(y) * nw, nw, 1);
      return true;
    }
    const T* rows = src;
    _typebuf<T> work;
    if (nw != w) {
      work.Reallocate(static_cast<int32_t>(mid));
      for (int32_t y = 0; y < h; ++y)
        ResampleRun(src + static_cast<int64_t>(y) * w, w, 1, work.data + static_cast<int64_t>(y) * nw, nw, 1);
      rows = work.data;
    }
    dst.Reallocate(static_cast<int32_t>(n));
    for (int32_t x = 0; x < nw; ++x) ResampleRun(rows + x, h, nw, dst.data + x, nh, nw);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

bool cPictBase::Resample(const cPictBase* source, int32_t newWidth, int32_t newHeight, cPictBase* destination) {
  if (source == nullptr || destination == nullptr || source == destination) return false;
  if (newWidth <= 0 || newHeight <= 0 || !source->HasPixels()) return false;
  const int32_t w = source->width_, h = source->height_;
  bool ok;
  if (source->highDepth_) {
    ok = ResampleBuffer(source->pixels64_.data, w, h, newWidth, newHeight, destination->pixels64_);
  } else {
    ok = ResampleBuffer(source->pixels32_.data, w, h, newWidth, newHeight, destination->pixels32_);
  }
  if (!ok) return false;
  destination->width_ = newWidth;
  destination->height_ = newHeight;
  return true;
}

bool cPictBase::StretchLevels(const cPictBase* source) {
  if (source == nullptr || source == this || !source->HasPixels()) return false;
  const bool deep = source->highDepth_;
  const int32_t w = source->width_, h = source->height_;
  const int64_t n = static_cast<int64_t>(w) * h;
  width_ = w;
  height_ = h;
  highDepth_ = deep;
  uint32_t lo = 0xFFFFFFFFu, hi = 0;
  for (int64_t i = 0; i < n; ++i) {
    for (int q = 0; q < 3; ++q) {
      const uint32_t v = deep ? Ch(source->pixels64_.data[i], q) : Ch(source->pixels32_.data[i], q);
      if (v < lo) lo = v;
      if (v > hi) hi = v;
    }
  }
  double factor = 1.0;
  if (lo < hi) {
    factor = (deep ? 65535.0 : 255.0) / (hi - lo);
  } else {
    lo = 0;
  }
  const bool toCanvas = BeginCanvasOutput();
  if (!toCanvas) {
    const bool ok = deep ? AllocatePixels64(w, h) : AllocatePixels32(w, h);
    if (!ok) return false;
  }
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const int64_t i = static_cast<int64_t>(y) * w + x;
      uint32_t ch[4];
      if (deep) {
        const uint64_t p = source->pixels64_.data[i];
        for (int q = 0; q < 3; ++q) ch[q] = static_cast<uint32_t>(Trunc(factor * (Ch(p, q) - lo)));
        ch[3] = 0xFFFF;
        const uint64_t out = Make<uint64_t>(ch);
        if (toCanvas) {
          PutCanvasPixel64(x, y, out);
        } else {
          pixels64_.data[i] = out;
        }
      } else {
        const uint32_t p = source->pixels32_.data[i];
        for (int q = 0; q < 3; ++q) ch[q] = static_cast<uint32_t>(Trunc(factor * (Ch(p, q) - lo)));
        ch[3] = 0xFF;
        const uint32_t out = Make<uint32_t>(ch);
        if (toCanvas) {
          PutCanvasPixel(x, y, out);
        } else {
          pixels32_.data[i] = out;
        }
      }
    }
  }
  return true;
}
