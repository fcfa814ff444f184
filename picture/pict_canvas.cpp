// Output into canvases: the streaming puts of cPictBase and
// RenderPictureToCanvas. See pict_base.h for the contracts.
//
// The floating-point expressions below are the ones the output is defined
// by; both targets compute them in SSE doubles without contraction, so they
// agree to the bit.
#include <cstring>
#include <new>
#include <vector>

#include "picture/pict_base.h"

namespace {

inline int32_t Trunc(double v) { return static_cast<int32_t>(v); }

// The offset of an area of size inside a canvas side of total.
inline int32_t Margin(int32_t total, int32_t size) { return size < total ? (total - size) / 2 : 0; }

bool CanvasUsable(const sPictCanvas* c) {
  return c != nullptr && c->pixels != nullptr && c->width > 0 && c->height > 0;
}

// The background everywhere outside the area of aw x ah at (mx, my).
void FillMargins(sPictCanvas* c, int32_t mx, int32_t my, int32_t aw, int32_t ah) {
  const int32_t cw = c->width, ch = c->height;
  const uint32_t bg = c->background;
  auto fillRow = [&](int32_t y, int32_t x0, int32_t x1) {
    if (y < 0 || y >= ch) return;
    if (x0 < 0) x0 = 0;
    if (x1 > cw) x1 = cw;
    uint32_t* row = c->pixels + static_cast<int64_t>(y) * cw;
    for (int32_t x = x0; x < x1; ++x) row[x] = bg;
  };
  const int32_t areaEnd = my + ah < ch ? my + ah : ch;
  for (int32_t y = 0; y < my && y < ch; ++y) fillRow(y, 0, cw);
  for (int32_t y = my; y < areaEnd; ++y) {
    fillRow(y, 0, mx);
    fillRow(y, mx + aw, cw);
  }
  for (int32_t y = areaEnd; y < ch; ++y) fillRow(y, 0, cw);
}

// Clamps the crop origin of an explicit-scale canvas for a scaled size of
// sw x sh and writes it back.
void ClampCrop(sPictCanvas* c, double s, int32_t sw, int32_t sh) {
  if (sw <= c->width) {
    c->cropX = 0;
  } else if (c->cropX * s > sw - c->width) {
    c->cropX = Trunc((sw - c->width) / s + 0.5);
  }
  if (sh <= c->height) {
    c->cropY = 0;
  } else if (c->cropY * s > sh - c->height) {
    c->cropY = Trunc((sh - c->height) / s + 0.5);
  }
  if (c->cropX < 0) c->cropX = 0;
  if (c->cropY < 0) c->cropY = 0;
}

inline uint32_t Pack(uint32_t b, uint32_t g, uint32_t r, uint32_t a) { return a << 24 | r << 16 | g << 8 | b; }

}  // namespace

void cPictBase::FreeAccumulators() {
  cells_.Reset();
  weights_.Reset();
}

bool cPictBase::AttachCanvas(sPictCanvas* canvas) {
  if (!CanvasUsable(canvas)) return false;
  canvas_ = canvas;
  return true;
}

void cPictBase::DetachCanvas() {
  FreeAccumulators();
  canvas_ = nullptr;
}

bool cPictBase::BeginCanvasOutput() {
  sPictCanvas* c = canvas_;
  if (!CanvasUsable(c) || width_ <= 0 || height_ <= 0) {
    canvas_ = nullptr;
    return false;
  }
  FreeAccumulators();
  clipX0_ = 0;
  clipX1_ = width_ - 1;
  clipY0_ = 0;
  clipY1_ = height_ - 1;
  gridWidth_ = 0;
  gridHeight_ = 0;
  if (c->width >= width_ && c->height >= height_) {
    outScale_ = 1.0;
    marginX_ = Margin(c->width, width_);
    marginY_ = Margin(c->height, height_);
    FillMargins(c, marginX_, marginY_, width_, height_);
    c->cropX = 0;
    c->cropY = 0;
  } else if (c->mode == 0) {
    const double sy = static_cast<double>(c->height) / height_;
    const double sx = static_cast<double>(c->width) / width_;
    const double s = sy < sx ? sy : sx;
    int32_t sw = Trunc(width_ * s + 0.5), sh = Trunc(height_ * s + 0.5);
    if (sw < 1) sw = 1;
    if (sh < 1) sh = 1;
    marginX_ = Margin(c->width, sw);
    marginY_ = Margin(c->height, sh);
    FillMargins(c, marginX_, marginY_, sw, sh);
    outScale_ = width_ > height_ ? static_cast<double>(sw) / width_ : static_cast<double>(sh) / height_;
    c->cropX = 0;
    c->cropY = 0;
    if (outScale_ < 1.0) {
      // At least one cell each way, like the area: a thin strip would
      // otherwise get a grid of no rows and leave its area blank.
      gridWidth_ = Trunc(width_ * outScale_ + 0.5);
      gridHeight_ = Trunc(height_ * outScale_ + 0.5);
      if (gridWidth_ < 1) gridWidth_ = 1;
      if (gridHeight_ < 1) gridHeight_ = 1;
    }
  } else if (c->mode == 1) {
    double s = c->scale;
    if (s > 1.0) c->scale = s = 1.0;
    if (!(s > 0.0)) {
      canvas_ = nullptr;
      return false;
    }
    int32_t sw = Trunc(width_ * s + 0.5), sh = Trunc(height_ * s + 0.5);
    if (sw < 1) sw = 1;
    if (sh < 1) sh = 1;
    ClampCrop(c, s, sw, sh);
    const int32_t vw = c->width < sw ? c->width : sw;
    const int32_t vh = c->height < sh ? c->height : sh;
    clipX0_ = c->cropX;
    clipX1_ = c->cropX + Trunc(vw / s + 0.5);
    clipY0_ = c->cropY;
    clipY1_ = c->cropY + Trunc(vh / s + 0.5);
    gridWidth_ = vw;
    gridHeight_ = vh;
    marginX_ = Margin(c->width, vw);
    marginY_ = Margin(c->height, vh);
    FillMargins(c, marginX_, marginY_, vw, vh);
    outScale_ = s;
  } else {
    canvas_ = nullptr;
    return false;
  }
  if (outScale_ < 1.0) {
    const int64_t n = static_cast<int64_t>(gridWidth_) * gridHeight_;
    bool ok = gridWidth_ > 0 && gridHeight_ > 0 && n < kMaxPixelCount;
    if (ok) {
      try {
        cells_.Reallocate(static_cast<int32_t>(n));
        weights_.Reallocate(static_cast<int32_t>(n));
        std::memset(cells_.data, 0, static_cast<size_t>(n) * sizeof(sCell));
        std::memset(weights_.data, 0, static_cast<size_t>(n) * sizeof(double));
      } catch (const std::bad_alloc&) {
        ok = false;
      }
    }
    if (!ok) {
      FreeAccumulators();
      canvas_ = nullptr;
      return false;
    }
  }
  return true;
}

void cPictBase::AddShare(int32_t c, int32_t r, double share, const uint32_t (&ch)[4]) {
  const int64_t i = static_cast<int64_t>(r) * gridWidth_ + c;
  float* sum = cells_.data[i].sum;
  for (int k = 0; k < 4; ++k) sum[k] += static_cast<float>(share * ch[k]);
  weights_.data[i] += share;
}

bool cPictBase::PutCanvasPixel(int32_t x, int32_t y, uint32_t pixel) {
  sPictCanvas* c = canvas_;
  if (c == nullptr) return false;
  const double s = outScale_;
  if (s == 1.0) {
    const int32_t cx = x - c->cropX + marginX_, cy = y - c->cropY + marginY_;
    if (cx >= 0 && cx < c->width && cy >= 0 && cy < c->height)
      c->pixels[static_cast<int64_t>(cy) * c->width + cx] = pixel;
    return true;
  }
  if (cells_.data == nullptr || weights_.data == nullptr) return false;
  const uint32_t ch[4] = {pixel & 0xFF, (pixel >> 8) & 0xFF, (pixel >> 16) & 0xFF, pixel >> 24};
  if (s < 0.5) {
    const int32_t col = Trunc((x - c->cropX) * s + 0.5), row = Trunc((y - c->cropY) * s + 0.5);
    if (col < 0 || col >= gridWidth_ || row < 0 || row >= gridHeight_) return true;
    const int64_t i = static_cast<int64_t>(row) * gridWidth_ + col;
    float* sum = cells_.data[i].sum;
    for (int k = 0; k < 4; ++k) sum[k] += static_cast<float>(ch[k]);
    weights_.data[i] += 1.0;
    return true;
  }
  const double xs = (x - c->cropX) * s, ys = (y - c->cropY) * s;
  if (!(xs >= 0.0 && xs < gridWidth_ && ys >= 0.0 && ys < gridHeight_)) return true;
  const int32_t xS = Trunc(xs), xE = Trunc(xs + s), yS = Trunc(ys), yE = Trunc(ys + s);
  const bool splitX = xE != xS && xE + 1 < gridWidth_;
  const bool splitY = yE != yS && yE + 1 < gridHeight_;
  const double fx = xE - xs, fy = yE - ys;
  if (splitX && splitY) {
    AddShare(xS, yS, fx * fy, ch);
    AddShare(xS + 1, yS, (1 - fx) * fy, ch);
    AddShare(xS, yS + 1, fx * (1 - fy), ch);
    AddShare(xS + 1, yS + 1, (1 - fx) * (1 - fy), ch);
  } else if (splitX) {
    AddShare(xS, yS, fx, ch);
    AddShare(xS + 1, yS, 1 - fx, ch);
  } else if (splitY) {
    AddShare(xS, yS, fy, ch);
    AddShare(xS, yS + 1, 1 - fy, ch);
  } else {
    AddShare(xS, yS, 1.0, ch);
  }
  return true;
}

bool cPictBase::PutCanvasPixel64(int32_t x, int32_t y, uint64_t pixel) {
  return PutCanvasPixel(x, y, Pixel64To32(pixel));
}

bool cPictBase::PutCanvasChannel(int32_t x, int32_t y, int32_t channel, uint32_t value) {
  sPictCanvas* c = canvas_;
  if (c == nullptr) return false;
  if (channel < 0 || channel > 3) return true;
  value &= 0xFF;
  const double s = outScale_;
  if (s == 1.0) {
    const int32_t cx = x - c->cropX + marginX_, cy = y - c->cropY + marginY_;
    if (cx >= 0 && cx < c->width && cy >= 0 && cy < c->height)
      c->pixels[static_cast<int64_t>(cy) * c->width + cx] |= value << (8 * channel);
    return true;
  }
  if (cells_.data == nullptr || weights_.data == nullptr) return false;
  // The three colour channels of a pixel add a weight of about 1 together.
  if (s < 0.5) {
    const int32_t col = Trunc((x - c->cropX) * s + 0.5), row = Trunc((y - c->cropY) * s + 0.5);
    if (col < 0 || col >= gridWidth_ || row < 0 || row >= gridHeight_) return true;
    const int64_t i = static_cast<int64_t>(row) * gridWidth_ + col;
    cells_.data[i].sum[channel] += static_cast<float>(value);
    if (channel < 3) weights_.data[i] += static_cast<double>(0.3333333f);
    return true;
  }
  const double xs = (x - c->cropX) * s, ys = (y - c->cropY) * s;
  if (!(xs >= 0.0 && xs < gridWidth_ && ys >= 0.0 && ys < gridHeight_)) return true;
  const int32_t xS = Trunc(xs), xE = Trunc(xs + s), yS = Trunc(ys), yE = Trunc(ys + s);
  const bool splitX = xE != xS && xE + 1 < gridWidth_;
  const bool splitY = yE != yS && yE + 1 < gridHeight_;
  const double fx = xE - xs, fy = yE - ys;
  auto add = [&](int32_t cc, int32_t rr, double share) {
    const int64_t i = static_cast<int64_t>(rr) * gridWidth_ + cc;
    cells_.data[i].sum[channel] += static_cast<float>(share * value);
    if (channel < 3) weights_.data[i] += share * 0.3333333;
  };
  if (splitX && splitY) {
    add(xS, yS, fx * fy);
    add(xS + 1, yS, (1 - fx) * fy);
    add(xS, yS + 1, fx * (1 - fy));
    add(xS + 1, yS + 1, (1 - fx) * (1 - fy));
  } else if (splitX) {
    add(xS, yS, fx);
    add(xS + 1, yS, 1 - fx);
  } else if (splitY) {
    add(xS, yS, fy);
    add(xS, yS + 1, 1 - fy);
  } else {
    add(xS, yS, 1.0);
  }
  return true;
}

bool cPictBase::PutCanvasChannel16(int32_t x, int32_t y, int32_t channel, uint32_t value) {
  const double d = (static_cast<double>(value) + offset_) / divisor_;
  uint32_t v = 0;
  if (d > 0.0) v = d >= 256.0 ? 255u : static_cast<uint32_t>(d);
  if (v > 255) v = 255;
  return PutCanvasChannel(x, y, channel, v);
}

bool cPictBase::IsInsideClip(int32_t x, int32_t topRow, int32_t bottomRow) const {
  return x <= clipX1_ && topRow <= clipY1_ && bottomRow >= clipY0_;
}

void cPictBase::EndCanvasOutput() {
  sPictCanvas* c = canvas_;
  if (outScale_ == 1.0) {
    canvas_ = nullptr;
    return;
  }
  if (c == nullptr) return;
  if (cells_.data != nullptr && weights_.data != nullptr) {
    for (int32_t r = 0; r < gridHeight_; ++r) {
      const int32_t cy = marginY_ + r;
      for (int32_t col = 0; col < gridWidth_; ++col) {
        const int64_t i = static_cast<int64_t>(r) * gridWidth_ + col;
        const double w = weights_.data[i];
        uint32_t pixel = 0;
        if (w != 0.0) {
          const double inv = 1.0 / w;
          uint32_t ch[4];
          for (int k = 0; k < 4; ++k) {
            const double v = cells_.data[i].sum[k] * inv + 0.5;
            ch[k] = v > 255.0 ? 255u : (v > 0.0 ? static_cast<uint32_t>(v) : 0u);
          }
          pixel = Pack(ch[0], ch[1], ch[2], ch[3]);
        }
        const int32_t cx = marginX_ + col;
        if (cx >= 0 && cx < c->width && cy >= 0 && cy < c->height)
          c->pixels[static_cast<int64_t>(cy) * c->width + cx] = pixel;
      }
    }
  }
  FreeAccumulators();
  canvas_ = nullptr;
}

namespace {

// Reads source pixels as four channel values on the 0..255 scale: 8-bit
// channels as they are, 16-bit ones multiplied by 1/256.
struct sSource {
  const uint32_t* p32 = nullptr;
  const uint64_t* p64 = nullptr;
  int32_t width = 0;  // row length of the buffer
  int32_t x0 = 0, y0 = 0;  // origin of the rendered part
  void Get(int32_t x, int32_t y, double (&out)[4]) const {
    const int64_t i = static_cast<int64_t>(y + y0) * width + (x + x0);
    if (p64 != nullptr) {
      const uint64_t p = p64[i];
      for (int k = 0; k < 4; ++k) out[k] = static_cast<double>((p >> (16 * k)) & 0xFFFF) * (1.0 / 256);
    } else {
      const uint32_t p = p32[i];
      for (int k = 0; k < 4; ++k) out[k] = static_cast<double>((p >> (8 * k)) & 0xFF);
    }
  }
};

// Box filter of the ws x hs source into the wo x ho area at (mx, my) of the
// canvas; step = source pixels per destination pixel. One column of doubles
// at a time.
bool BoxFilter(const sSource& src, int32_t ws, int32_t hs, sPictCanvas* c, int32_t mx, int32_t my, int32_t wo,
               int32_t ho, double step) {
  std::vector<double> column;
  try {
    column.resize(static_cast<size_t>(hs) * 4);
  } catch (const std::bad_alloc&) {
    return false;
  }
  double a = 0.0;
  for (int32_t i = 0; i < wo; ++i) {
    const double b = a + step;
    const double end = b < ws ? b : ws;
    for (int32_t y = 0; y < hs; ++y) {
      double* out = &column[static_cast<size_t>(y) * 4];
      double px[4];
      if (wo == ws) {
        src.Get(i, y, px);
        for (int k = 0; k < 4; ++k) out[k] = px[k];
        continue;
      }
      double sum[4] = {0, 0, 0, 0}, total = 0.0;
      int32_t j = Trunc(a);
      if (a != j) {
        const double w = j + 1 - a;
        if (j < ws) {
          src.Get(j, y, px);
          for (int k = 0; k < 4; ++k) sum[k] += px[k] * w;
          total += w;
        }
        ++j;
      }
      const int32_t last = Trunc(end);
      for (; j < last; ++j) {
        src.Get(j, y, px);
        for (int k = 0; k < 4; ++k) sum[k] += px[k];
        total += 1.0;
      }
      const double tail = end - last;
      if (tail > 0.01 && last < ws) {
        src.Get(last, y, px);
        for (int k = 0; k < 4; ++k) sum[k] += px[k] * tail;
        total += tail;
      }
      for (int k = 0; k < 4; ++k) out[k] = total > 0.0 ? sum[k] / total : 0.0;
    }
    const int32_t cx = mx + i;
    if (ho == hs) {
      for (int32_t k = 0; k < ho; ++k) {
        const double* v = &column[static_cast<size_t>(k) * 4];
        uint32_t ch[4];
        for (int q = 0; q < 4; ++q) {
          const int32_t r = Trunc(v[q] + 0.5);
          ch[q] = r < 0 ? 0u : (r > 255 ? 255u : static_cast<uint32_t>(r));
        }
        const int32_t cy = my + k;
        if (cx >= 0 && cx < c->width && cy >= 0 && cy < c->height)
          c->pixels[static_cast<int64_t>(cy) * c->width + cx] = Pack(ch[0], ch[1], ch[2], ch[3]);
      }
    } else {
      double cc = 0.0;
      for (int32_t k = 0; k < ho; ++k) {
        const double d = cc + step;
        const double dEnd = d < hs ? d : hs;
        double sum[4] = {0, 0, 0, 0}, total = 0.0;
        int32_t j = Trunc(cc);
        if (cc != j) {
          const double w = j + 1 - cc;
          if (j < hs) {
            for (int q = 0; q < 4; ++q) sum[q] += column[static_cast<size_t>(j) * 4 + q] * w;
            total += w;
          }
          ++j;
        }
        const int32_t last = Trunc(dEnd);
        for (; j < last; ++j) {
          for (int q = 0; q < 4; ++q) sum[q] += column[static_cast<size_t>(j) * 4 + q];
          total += 1.0;
        }
        const double tail = dEnd - last;
        if (tail > 0.0 && last < hs) {
          for (int q = 0; q < 4; ++q) sum[q] += column[static_cast<size_t>(last) * 4 + q] * tail;
          total += tail;
        }
        uint32_t ch[4] = {0, 0, 0, 0};
        if (total > 0.0) {
          for (int q = 0; q < 4; ++q) {
            const int32_t v = Trunc(sum[q] / total);
            ch[q] = static_cast<uint32_t>(v) & 0xFF;
          }
        }
        const int32_t cy = my + k;
        if (cx >= 0 && cx < c->width && cy >= 0 && cy < c->height)
          c->pixels[static_cast<int64_t>(cy) * c->width + cx] = Pack(ch[0], ch[1], ch[2], ch[3]);
        cc = d;
      }
    }
    a = b;
  }
  return true;
}

}  // namespace

bool RenderPictureToCanvas(sPictCanvas* canvas, cPictBase* picture) {
  if (!CanvasUsable(canvas) || picture == nullptr || !picture->HasPixels()) return false;
  sPictCanvas* c = canvas;
  const int32_t w = picture->GetWidth(), h = picture->GetHeight();
  sSource src;
  src.width = w;
  if (picture->IsHighDepth()) {
    src.p64 = picture->Pixels64().data;
  } else {
    src.p32 = picture->Pixels32().data;
  }
  auto copyRows = [&](int32_t mx, int32_t my, int32_t vw, int32_t vh, int32_t x0, int32_t y0) {
    for (int32_t y = 0; y < vh; ++y) {
      if (y0 + y >= h) break;
      uint32_t* out = c->pixels + static_cast<int64_t>(my + y) * c->width + mx;
      const int64_t base = static_cast<int64_t>(y0 + y) * w + x0;
      for (int32_t x = 0; x < vw && x0 + x < w; ++x)
        out[x] = src.p64 != nullptr ? picture->Pixel64To32(src.p64[base + x]) : src.p32[base + x];
    }
  };
  if (c->width >= w && c->height >= h) {
    const int32_t mx = Margin(c->width, w), my = Margin(c->height, h);
    FillMargins(c, mx, my, w, h);
    copyRows(mx, my, w, h, 0, 0);
    return true;
  }
  if (c->mode == 1) {
    double s = c->scale;
    if (!(s > 0.0)) return false;
    if (s > 1.0) c->scale = s = 1.0;
    int32_t sw = Trunc(w * s + 0.5), sh = Trunc(h * s + 0.5);
    if (sw < 1) sw = 1;
    if (sh < 1) sh = 1;
    ClampCrop(c, s, sw, sh);
    if (c->cropX >= w || c->cropY >= h) return false;
    const int32_t vw = sw < c->width ? sw : c->width;
    const int32_t vh = sh < c->height ? sh : c->height;
    const int32_t mx = Margin(c->width, vw), my = Margin(c->height, vh);
    FillMargins(c, mx, my, vw, vh);
    if (sw == w && sh == h) {
      copyRows(mx, my, vw, vh, c->cropX, c->cropY);
      return true;
    }
    src.x0 = c->cropX;
    src.y0 = c->cropY;
    return BoxFilter(src, w - c->cropX, h - c->cropY, c, mx, my, vw, vh, 1.0 / s);
  }
  if (c->mode == 0) {
    const double sy = static_cast<double>(c->height) / h, sx = static_cast<double>(c->width) / w;
    const double s = sy < sx ? sy : sx;
    int32_t sw = Trunc(w * s + 0.5), sh = Trunc(h * s + 0.5);
    if (sw < 1) sw = 1;
    if (sh < 1) sh = 1;
    const int32_t mx = Margin(c->width, sw), my = Margin(c->height, sh);
    FillMargins(c, mx, my, sw, sh);
    const double step = h < w ? static_cast<double>(w) / sw : static_cast<double>(h) / sh;
    return BoxFilter(src, w, h, c, mx, my, sw, sh, step);
  }
  return false;
}
