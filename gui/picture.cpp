// See gui/picture.h.
#include "gui/picture.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <new>
#include <utility>

namespace {

inline uint32_t Channel(uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFFu; }

// Converting to an integer truncates toward zero; a channel never leaves
// 0..255 even where rounding of the weights pushes it a hair past.
inline uint32_t ToChannel(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return static_cast<uint32_t>(v);
}

// True when p points into the n words at base.
bool PointsInto(const uint32_t* p, const uint32_t* base, int32_t n) {
  if (base == nullptr || n <= 0) return false;
  std::less_equal<const uint32_t*> le;
  std::less<const uint32_t*> lt;
  return le(base, p) && lt(p, base + n);
}

// An area edge this close to a pixel edge lies on it, so that accumulated
// rounding in x * ratio does not produce slivers of a neighbouring pixel.
constexpr double kEdgeSnap = 1e-7;

double SnapEdge(double v) {
  const double whole = std::floor(v + 0.5);
  return std::fabs(v - whole) < kEdgeSnap ? whole : v;
}

}  // namespace

bool cPicture::Allocate(int32_t width, int32_t height) {
  if (width < 1 || height < 1) return false;
  // Computed in 64 bits: a 32-bit product of two decoded sizes can wrap to a
  // small count and leave a buffer far shorter than the rows written to it.
  const int64_t count = static_cast<int64_t>(width) * height;
  if (count >= kMaxPixelCount) throw std::bad_alloc();
  if (count != pixels_.count) {
    _typebuf<uint32_t> fresh(static_cast<int32_t>(count));
    std::memset(fresh.data, 0, static_cast<size_t>(count) * sizeof(uint32_t));
    pixels_ = std::move(fresh);
  }
  width_ = width;
  height_ = height;
  return pixels_.data != nullptr;
}

bool cPicture::SetPixels(const uint32_t* source, int32_t width, int32_t height, bool flip) {
  if (source == nullptr || width < 1 || height < 1) return false;
  // A source inside our own buffer would be overwritten or freed by Allocate.
  _typebuf<uint32_t> copy;
  if (PointsInto(source, pixels_.data, pixels_.count)) {
    const int64_t count = static_cast<int64_t>(width) * height;
    const int64_t available = pixels_.count - (source - pixels_.data);
    if (count > available) return false;
    copy.Reallocate(static_cast<int32_t>(count));
    std::memcpy(copy.data, source, static_cast<size_t>(count) * sizeof(uint32_t));
    source = copy.data;
  }
  if (!Allocate(width, height)) return false;
  const size_t rowBytes = static_cast<size_t>(width) * sizeof(uint32_t);
  if (!flip) {
    std::memcpy(pixels_.data, source, rowBytes * static_cast<size_t>(height));
    return true;
  }
  for (int32_t r = 0; r < height; ++r) {
    std::memcpy(pixels_.data + static_cast<size_t>(r) * width,
                source + static_cast<size_t>(height - 1 - r) * width, rowBytes);
  }
  return true;
}

bool cPicture::AdoptPixels(_typebuf<uint32_t>& buffer, int32_t width, int32_t height) {
  if (buffer.data == nullptr || buffer.count <= 0 || width < 1 || height < 1) return false;
  if (static_cast<int64_t>(width) * height != buffer.count) return false;
  pixels_ = std::move(buffer);
  width_ = width;
  height_ = height;
  return true;
}

bool cPicture::Fill(uint32_t value, int32_t width, int32_t height) {
  if (!Allocate(width, height)) return false;
  for (int32_t i = 0; i < pixels_.count; ++i) pixels_.data[i] = value;
  return true;
}

bool cPicture::Resize(int32_t filter, int32_t newWidth, int32_t newHeight, cPicture* target) {
  switch (filter) {
    case 0:
      return ResizeTo(newWidth, newHeight, target);
    case 1:
      return ResizeAreaAverage(newWidth, newHeight, target);
    default:
      return false;
  }
}

bool cPicture::CheckResize(int32_t newWidth, int32_t newHeight, const cPicture* target) const {
  if (target == nullptr || newWidth < 1 || newHeight < 1) return false;
  if (width_ < 1 || height_ < 1 || pixels_.data == nullptr) return false;
  if (static_cast<int64_t>(width_) * height_ != pixels_.count) return false;
  if (static_cast<int64_t>(newWidth) * newHeight >= kMaxPixelCount) throw std::bad_alloc();
  return true;
}

void cPicture::ResampleLine(const uint32_t* in, int32_t n, int32_t stride, uint32_t* out, int32_t m,
                            int32_t outStride) {
  const auto at = [&](int32_t i) { return in[static_cast<ptrdiff_t>(i) * stride]; };
  if (m == n) {
    for (int32_t j = 0; j < m; ++j) out[static_cast<ptrdiff_t>(j) * outStride] = at(j);
    return;
  }
  const double step = static_cast<double>(n) / m;
  if (m < n) {
    // Box filter over spans whose ends accumulate, so that rounding of step
    // never leaves a gap or an overlap between neighbouring outputs.
    double s = 0.0;
    for (int32_t j = 0; j < m; ++j) {
      double e = s + step;
      if (e > n) e = n;
      const int32_t i0 = static_cast<int32_t>(s);
      const int32_t i1 = static_cast<int32_t>(e);
      double sum[4] = {0, 0, 0, 0};
      double weights = 0.0;
      const auto add = [&](int32_t i, double w) {
        const uint32_t p = at(i);
        for (int c = 0; c < 4; ++c) sum[c] += Channel(p, c) * w;
        weights += w;
      };
      int32_t run = i0;
      if (s != static_cast<double>(i0)) {
        add(i0, i0 + 1 - s);
        run = i0 + 1;
      }
      for (int32_t i = run; i < i1; ++i) add(i, 1.0);
      if (i1 < e && i1 < n) add(i1, e - i1);
      uint32_t result = 0;
      if (weights > 0.0) {
        for (int c = 0; c < 4; ++c) result |= ToChannel(sum[c] / weights) << (8 * c);
      } else {
        result = at(n - 1);  // an empty span at the very end: the last pixel
      }
      out[static_cast<ptrdiff_t>(j) * outStride] = result;
      s = e;
    }
    return;
  }
  // Linear interpolation between pixel centres.
  double p = 0.0;
  for (int32_t j = 0; j < m; ++j, p += step) {
    int32_t i = static_cast<int32_t>(p);
    if (i > n - 1) i = n - 1;
    const double f = p - i;
    uint32_t result;
    if (f == 0.5 || (f < 0.5 && i == 0) || (f > 0.5 && i == n - 1)) {
      result = at(i);
    } else {
      const uint32_t a = at(i);
      const uint32_t b = f < 0.5 ? at(i - 1) : at(i + 1);
      const double wa = f < 0.5 ? f + 0.5 : 1.5 - f;
      const double wb = f < 0.5 ? 0.5 - f : f - 0.5;
      result = 0;
      for (int c = 0; c < 4; ++c) result |= ToChannel(Channel(a, c) * wa + Channel(b, c) * wb) << (8 * c);
    }
    out[static_cast<ptrdiff_t>(j) * outStride] = result;
  }
}

bool cPicture::ResizeTo(int32_t newWidth, int32_t newHeight, cPicture* target) {
  if (!CheckResize(newWidth, newHeight, target)) return false;
  const int32_t w = width_, h = height_;
  // When both sides change, the row pass leaves a picture of newWidth x h;
  // it is held to the same limit as any picture, in 64 bits (1 x 65537 to
  // 65536 x 1 would wrap to a 65536-pixel buffer for 65537 rows).
  if (newWidth != w && newHeight != h && static_cast<int64_t>(newWidth) * h >= kMaxPixelCount)
    throw std::bad_alloc();
  // Built aside and adopted at the end, so that target may be this picture.
  _typebuf<uint32_t> result(newWidth * newHeight);
  if (newWidth == w && newHeight == h) {
    std::memcpy(result.data, pixels_.data, static_cast<size_t>(pixels_.count) * sizeof(uint32_t));
    return target->AdoptPixels(result, newWidth, newHeight);
  }
  // Rows first (W to W'), then columns (H to H'); the pass between holds
  // 8-bit channels like any picture.
  const uint32_t* src = pixels_.data;
  _typebuf<uint32_t> rows;
  if (newWidth != w) {
    uint32_t* dst = result.data;
    if (newHeight != h) {
      rows.Reallocate(newWidth * h);
      dst = rows.data;
    }
    for (int32_t y = 0; y < h; ++y)
      ResampleLine(src + static_cast<size_t>(y) * w, w, 1, dst + static_cast<size_t>(y) * newWidth, newWidth, 1);
    if (newHeight == h) return target->AdoptPixels(result, newWidth, newHeight);
    src = rows.data;
  }
  for (int32_t x = 0; x < newWidth; ++x) ResampleLine(src + x, h, newWidth, result.data + x, newHeight, newWidth);
  return target->AdoptPixels(result, newWidth, newHeight);
}

bool cPicture::ResizeAreaAverage(int32_t newWidth, int32_t newHeight, cPicture* target) {
  if (!CheckResize(newWidth, newHeight, target)) return false;
  const int32_t w = width_, h = height_;
  _typebuf<uint32_t> result(newWidth * newHeight);
  if (newWidth == w && newHeight == h) {
    std::memcpy(result.data, pixels_.data, static_cast<size_t>(pixels_.count) * sizeof(uint32_t));
    return target->AdoptPixels(result, newWidth, newHeight);
  }
  const double rx = static_cast<double>(w) / newWidth;
  const double ry = static_cast<double>(h) / newHeight;
  const double factor = 1.0 / rx / ry;
  for (int32_t y = 0; y < newHeight; ++y) {
    const double y0 = SnapEdge(y * ry), y1 = SnapEdge(y * ry + ry);
    const int32_t sy0 = static_cast<int32_t>(std::floor(y0));
    int32_t sy1 = static_cast<int32_t>(std::ceil(y1));
    if (sy1 > h) sy1 = h;
    for (int32_t x = 0; x < newWidth; ++x) {
      const double x0 = SnapEdge(x * rx), x1 = SnapEdge(x * rx + rx);
      const int32_t sx0 = static_cast<int32_t>(std::floor(x0));
      int32_t sx1 = static_cast<int32_t>(std::ceil(x1));
      if (sx1 > w) sx1 = w;
      double sum[4] = {0, 0, 0, 0};
      for (int32_t sy = sy0; sy < sy1; ++sy) {
        const double wy = std::fmin(sy + 1.0, y1) - std::fmax(static_cast<double>(sy), y0);
        if (wy <= 0.0) continue;
        const uint32_t* row = pixels_.data + static_cast<size_t>(sy) * w;
        for (int32_t sx = sx0; sx < sx1; ++sx) {
          const double wx = std::fmin(sx + 1.0, x1) - std::fmax(static_cast<double>(sx), x0);
          if (wx <= 0.0) continue;
          const double weight = wx * wy;
          for (int c = 0; c < 4; ++c) sum[c] += Channel(row[sx], c) * weight;
        }
      }
      uint32_t out = 0;
      for (int c = 0; c < 4; ++c) out |= ToChannel(sum[c] * factor) << (8 * c);
      result.data[static_cast<size_t>(y) * newWidth + x] = out;
    }
  }
  return target->AdoptPixels(result, newWidth, newHeight);
}

// --- cPictureHolder -------------------------------------------------------

bool cPictureHolder::SetBorrowed(cPicture* picture) {
  owned_.reset();
  shown_ = picture;
  return true;
}

bool cPictureHolder::SetFromStore(const cImageStore* store, int32_t id) {
  owned_.reset();
  shown_ = store != nullptr ? store->Find(id) : nullptr;
  return true;
}

void cPictureHolder::SetOwned(std::unique_ptr<cPicture> picture) {
  owned_ = std::move(picture);
  shown_ = owned_.get();
}

// --- cImageStore -----------------------------------------------------------

cPicture* cImageStore::Find(int32_t id) const {
  const cPictureHolder* h = map_.Find(id);
  return h != nullptr ? h->Get() : nullptr;
}

bool cImageStore::AddPixels(int32_t id, const uint32_t* pixels, int32_t width, int32_t height,
                            [[maybe_unused]] bool flip) {
  auto picture = std::make_unique<cPicture>();
  cPictureHolder* h = nullptr;
  if (picture->SetPixels(pixels, width, height, false)) h = map_.FindOrInsert(id);
  if (h == nullptr) {
    map_.EraseKey(id);
    return false;
  }
  h->SetOwned(std::move(picture));
  return true;
}

bool cImageStore::Set(int32_t id, cPicture* picture) {
  if (picture == nullptr) {
    map_.EraseKey(id);
    return true;
  }
  cPictureHolder* h = map_.FindOrInsert(id);
  if (h == nullptr) return false;
  return h->SetBorrowed(picture);
}

// --- program-wide stores ---------------------------------------------------

namespace {
cImageStore gSharedStores[static_cast<int32_t>(tw::eSharedStore::kCount)];
}

cImageStore& tw::SharedImageStore(eSharedStore which) {
  const auto i = static_cast<int32_t>(which);
  if (i < 0 || i >= static_cast<int32_t>(eSharedStore::kCount)) tw::ThrowTypebufBounds();
  return gSharedStores[i];
}
