// The memory canvas; see mem_canvas.h. Every operation mirrors the GDI
// canvas of win_canvas_win32.cpp step for step, with the device calls
// (Rectangle, TextOutW, BitBlt, MoveToEx/LineTo, SelectClipRgn) done here
// in software.
#include "gui/mem_canvas.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "base/strings.h"
#include "gui/canvas_internal.h"
#include "gui/font.h"

cMemCanvas::cMemCanvas(cPicture* picture) : surface_(std::make_shared<sSurface>()) {
  surface_->picture = picture;
  area_ = Bounds();
  clip_.SetBox(area_);
  update_.SetBox(area_);
  ResetState();
}

cMemCanvas::cMemCanvas(int32_t width, int32_t height) : surface_(std::make_shared<sSurface>()) {
  surface_->owned = std::make_unique<cPicture>();
  if (width >= 1 && height >= 1) surface_->owned->Allocate(width, height);
  surface_->picture = surface_->owned.get();
  area_ = Bounds();
  clip_.SetBox(area_);
  update_.SetBox(area_);
  ResetState();
}

cMemCanvas::cMemCanvas(std::shared_ptr<sSurface> surface, const sEdges& area)
    : surface_(std::move(surface)), area_(area) {
  ResetState();
}

void cMemCanvas::ResetState() {
  frameColour_ = 0, frameWidth_ = 1;
  lineColour_ = 0, lineWidth_ = 1;
  fillColour_ = 0xFFFFFF;
  background_ = 0xFFFFFF;
  text_ = 0;
  font_ = GetCachedFont(5, 13, GetUIFaceName(), false, false, false);
  if (font_ != nullptr) surface_->font = font_;
}

sEdges cMemCanvas::Bounds() const {
  const cPicture* p = surface_->picture;
  if (p == nullptr || p->GetPixels() == nullptr) return {};
  return {0, 0, p->GetWidth(), p->GetHeight()};
}

uint32_t* cMemCanvas::Row(int32_t y) const {
  cPicture* p = surface_->picture;
  return p->GetPixels() + static_cast<size_t>(p->GetHeight() - 1 - y) * p->GetWidth();
}

template <class F>
void cMemCanvas::ForEachPaintable(const sEdges& box, F f) const {
  const sEdges inside = tw::IntersectBoxes(box, Bounds());
  if (tw::IsEmptyBox(inside)) return;
  if (!surface_->clipSelected) {
    f(inside);
    return;
  }
  for (const sEdges& c : surface_->selectedClip.Boxes()) {
    const sEdges cut = tw::IntersectBoxes(inside, c);
    if (!tw::IsEmptyBox(cut)) f(cut);
  }
}

void cMemCanvas::FillBox(const sEdges& box, uint32_t pixel) {
  ForEachPaintable(box, [&](const sEdges& b) {
    for (int32_t y = b.top; y < b.bottom; ++y) std::fill(Row(y) + b.left, Row(y) + b.right, pixel);
  });
}

void cMemCanvas::Stamp(int32_t x, int32_t y, int32_t width, uint32_t pixel) {
  if (width <= 1) {
    FillBox({x, y, x + 1, y + 1}, pixel);
    return;
  }
  const int32_t half = width / 2;
  FillBox({x - half, y - half, x - half + width, y - half + width}, pixel);
}

sEdges cMemCanvas::DeviceBox(const sRect& r) const {
  const int32_t x = area_.left + Trunc(r.x), y = area_.top + Trunc(r.y);
  return {x, y, x + Round(r.width), y + Round(r.height)};
}

void cMemCanvas::ReadBlock(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* out) const {
  std::fill(out, out + static_cast<size_t>(w) * h, 0u);
  const sEdges inside = tw::IntersectBoxes({x, y, x + w, y + h}, Bounds());
  if (tw::IsEmptyBox(inside)) return;
  for (int32_t dy = inside.top; dy < inside.bottom; ++dy) {
    uint32_t* target = out + static_cast<size_t>(h - 1 - (dy - y)) * w;
    std::copy(Row(dy) + inside.left, Row(dy) + inside.right, target + (inside.left - x));
  }
}

void cMemCanvas::WriteBlock(int32_t x, int32_t y, int32_t w, int32_t h, const uint32_t* in) {
  ForEachPaintable({x, y, x + w, y + h}, [&](const sEdges& b) {
    for (int32_t dy = b.top; dy < b.bottom; ++dy) {
      const uint32_t* source = in + static_cast<size_t>(h - 1 - (dy - y)) * w;
      std::copy(source + (b.left - x), source + (b.right - x), Row(dy) + b.left);
    }
  });
}

cFontObject* cMemCanvas::SurfaceFont() {
  if (font_ != nullptr) surface_->font = font_;
  return surface_->font;
}

// ---- State -----------------------------------------------------------------

void cMemCanvas::SetScaleProvider(cScaleProvider* provider) {
  if (provider != nullptr) {
    const double s = provider->GetScale();
    cWinFont* f = GetCachedFont(static_cast<int32_t>(5 * s + 0.5), static_cast<int32_t>(13 * s + 0.5),
                                GetUIFaceName(), false, false, false);
    if (f != nullptr) SelectFont(f);
    lineColour_ = 0;
    lineWidth_ = static_cast<int32_t>(s + 0.5);
  }
  scale_ = provider;
}

int32_t cMemCanvas::GetWidth() { return Back(area_.right - area_.left); }
int32_t cMemCanvas::GetHeight() { return Back(area_.bottom - area_.top); }

bool cMemCanvas::SetLinePen(uint32_t colour, int32_t width) {
  lineColour_ = colour;
  lineWidth_ = Round(width);
  return true;
}

bool cMemCanvas::SelectFont(cFontObject* font) {
  if (font == nullptr) return false;
  font_ = font;
  surface_->font = font;
  return true;
}

bool cMemCanvas::SetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                         bool italic) {
  cWinFont* f = GetFont(width, height, face, bold, underline, italic);
  font_ = f;
  return f != nullptr && f->SelectInto(this);
}

bool cMemCanvas::SetTextColours(uint32_t textColour, uint32_t backgroundColour) {
  text_ = textColour;
  background_ = backgroundColour;
  return true;
}

// ---- Text --------------------------------------------------------------------

template <class C>
bool cMemCanvas::MeasureAny(const C* text, int32_t length, sSize* size) {
  if (size == nullptr) return false;
  if (text == nullptr || tw::TextLength(text, length) == 0) {
    *size = {};
    return true;
  }
  cFontObject* f = SurfaceFont();
  *size = {Back(tw::TextLength(text, length) * tw::StandInCellWidth(f)), Back(tw::StandInTextHeight(f))};
  return true;
}

template <class C>
bool cMemCanvas::CharExtentsAny(const C* text, int32_t length, _typebuf<int32_t>* extents) {
  if (text == nullptr || extents == nullptr) return false;
  const int32_t n = tw::TextLength(text, length);
  if (n == 0) return false;
  const int32_t cell = tw::StandInCellWidth(SurfaceFont());
  extents->Reallocate(n);
  for (int32_t i = 0; i < n; ++i) (*extents)[i] = Back((i + 1) * cell);
  return true;
}

bool cMemCanvas::MeasureText(const char16_t* text, int32_t length, sSize* size) {
  return MeasureAny(text, length, size);
}

bool cMemCanvas::MeasureTextAnsi(const char* text, int32_t length, sSize* size) {
  return MeasureAny(text, length, size);
}

bool cMemCanvas::GetCharExtents(const char16_t* text, int32_t length, _typebuf<int32_t>* extents) {
  return CharExtentsAny(text, length, extents);
}

bool cMemCanvas::GetCharExtentsAnsi(const char* text, int32_t length, _typebuf<int32_t>* extents) {
  return CharExtentsAny(text, length, extents);
}

bool cMemCanvas::DrawText(int32_t x, int32_t y, bool transparent, const char16_t* text, int32_t length) {
  if (text == nullptr) return false;
  const int32_t n = tw::TextLength(text, length);
  cFontObject* f = SurfaceFont();
  const int32_t cell = tw::StandInCellWidth(f), th = tw::StandInTextHeight(f);
  const bool underline = f != nullptr && f->underline != 0;
  const int32_t glyphTop = th / 4, glyphBottom = th - th / 5;

  // Paints the stand-in glyphs of the text with their top-left corner at
  // (gx, gy) through put(box).
  auto glyphs = [&](int32_t gx, int32_t gy, auto put) {
    for (int32_t i = 0; i < n; ++i) {
      const int32_t cx = gx + i * cell;
      if (text[i] > 0x20) {
        const int32_t l = cell >= 3 ? cx + 1 : cx, r = cell >= 3 ? cx + cell - 1 : cx + cell;
        put(sEdges{l, gy + glyphTop, r, gy + glyphBottom});
      }
      if (underline) put(sEdges{cx, gy + th - 1, cx + cell, gy + th});
    }
  };

  const int32_t dx = area_.left + Trunc(x), dy = area_.top + Trunc(y);
  if (!transparent) {
    FillBox({dx, dy, dx + n * cell, dy + th}, tw::ColourToPixel(background_));
    const uint32_t ink = tw::ColourToPixel(text_);
    glyphs(dx, dy, [&](const sEdges& b) { FillBox(b, ink); });
    return true;
  }

  // Transparent: the text is drawn black on white into a mask one pixel in
  // from the left, and the mask's brightness blends the text colour over a
  // copy of what is painted, exactly as the GDI canvas does.
  sSize measured;
  MeasureText(text, n, &measured);
  const int32_t w = Trunc(measured.width) + 2, h = Trunc(measured.height);
  if (w < 1 || h < 1) return false;
  std::vector<uint32_t> back(static_cast<size_t>(w) * h), mask(static_cast<size_t>(w) * h, 0xFFFFFFFFu);
  ReadBlock(dx, dy, w, h, back.data());
  glyphs(1, 0, [&](const sEdges& b) {
    const sEdges in = tw::IntersectBoxes(b, {0, 0, w, h});
    for (int32_t yy = in.top; yy < in.bottom; ++yy)
      for (int32_t xx = in.left; xx < in.right; ++xx) mask[static_cast<size_t>(h - 1 - yy) * w + xx] = 0;
  });
  const double inv = 1.0 / 765;
  const uint32_t tr = text_ & 0xFF, tg = (text_ >> 8) & 0xFF, tb = (text_ >> 16) & 0xFF;
  for (size_t i = 0; i < back.size(); ++i) {
    const uint32_t m = mask[i];
    const double a = ((m & 0xFF) + ((m >> 8) & 0xFF) + ((m >> 16) & 0xFF)) * inv;
    const uint32_t p = back[i];
    const uint32_t b = static_cast<uint32_t>(a * (p & 0xFF) + (1 - a) * tb);
    const uint32_t g = static_cast<uint32_t>(a * ((p >> 8) & 0xFF) + (1 - a) * tg);
    const uint32_t r = static_cast<uint32_t>(a * ((p >> 16) & 0xFF) + (1 - a) * tr);
    back[i] = (p & 0xFF000000u) | (r << 16) | (g << 8) | b;
  }
  WriteBlock(dx, dy, w, h, back.data());
  return true;
}

// ---- Shapes and pictures --------------------------------------------------------

bool cMemCanvas::DrawRect(const sRect* rect, uint32_t fillColour, uint32_t frameColour) {
  if (rect == nullptr) return false;
  const sRect box = PenRect(*rect);
  const int32_t x = box.x, y = box.y, w = box.width, h = box.height;
  frameColour_ = frameColour;
  fillColour_ = fillColour;
  // Rectangle(): the frame on the outer pixels of [l, r) x [t, b), the
  // brush inside; GDI orders the corners first.
  int32_t l = area_.left + x, t = area_.top + y, r = l + w, b = t + h;
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  // The frame is traced as a closed line whose segments leave out their
  // end points, so a 1 x 1 rectangle has no pixel at all.
  if (r - l < 1 || b - t < 1 || (r - l == 1 && b - t == 1)) return true;
  FillBox({l + 1, t + 1, r - 1, b - 1}, tw::ColourToPixel(fillColour_));
  const uint32_t pen = tw::ColourToPixel(frameColour_);
  FillBox({l, t, r, t + 1}, pen);
  FillBox({l, b - 1, r, b}, pen);
  FillBox({l, t, l + 1, b}, pen);
  FillBox({r - 1, t, r, b}, pen);
  return true;
}

bool cMemCanvas::DrawLine(const sPoint& from, const sPoint& to) {
  sPoint start, end;
  PenLine(from, to, start, end);
  int32_t x0 = area_.left + start.x, y0 = area_.top + start.y;
  const int32_t x1 = area_.left + end.x, y1 = area_.top + end.y;
  const uint32_t pen = tw::ColourToPixel(lineColour_);
  // Bresenham from the start point; the end point itself is not drawn.
  const int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int32_t err = dx + dy;
  while (x0 != x1 || y0 != y1) {
    Stamp(x0, y0, lineWidth_, pen);
    const int32_t e2 = 2 * err;
    if (e2 >= dy) err += dy, x0 += sx;
    if (e2 <= dx) err += dx, y0 += sy;
  }
  return true;
}

bool cMemCanvas::DrawPicture(int32_t x, int32_t y, const cPicture* picture, int32_t width, int32_t height) {
  if (picture == nullptr || picture->GetPixels() == nullptr) return false;
  if (width == -1) width = picture->GetWidth();
  if (height == -1) height = picture->GetHeight();
  x = Trunc(x), y = Trunc(y), width = Round(width), height = Round(height);
  const int32_t cw = Round(GetWidth()), ch = Round(GetHeight());
  if (x > cw || y > ch || x + width < 0 || y + height < 0) return true;
  const cPicture* source = picture;
  cPicture resized;
  if (width >= 1 && height >= 1) {
    if (!const_cast<cPicture*>(picture)->ResizeTo(width, height, &resized)) return false;
    source = &resized;
  }
  WriteBlock(area_.left + x, area_.top + y, source->GetWidth(), source->GetHeight(), source->GetPixels());
  return true;
}

bool cMemCanvas::DrawPictureBlended(const sPoint* point, const cPicture* picture, const sSize* size) {
  if (point == nullptr || picture == nullptr || picture->GetPixels() == nullptr) return false;
  const int32_t x = Trunc(point->x), y = Trunc(point->y);
  const int32_t w = size != nullptr ? Round(size->width) : Round(picture->GetWidth());
  const int32_t h = size != nullptr ? Round(size->height) : Round(picture->GetHeight());
  const int32_t cw = Round(GetWidth()), ch = Round(GetHeight());
  if (x > cw || y > ch || x + w < 0 || y + h < 0) return true;
  if (w < 1 || h < 1) return false;
  const cPicture* source = picture;
  cPicture resized;
  if (w != picture->GetWidth() || h != picture->GetHeight()) {
    if (!const_cast<cPicture*>(picture)->ResizeTo(w, h, &resized)) return false;
    source = &resized;
  }
  const int32_t dx = area_.left + x, dy = area_.top + y;
  std::vector<uint32_t> buffer(static_cast<size_t>(w) * h);
  ReadBlock(dx, dy, w, h, buffer.data());
  const uint32_t* p = source->GetPixels();
  static const struct sWeights {
    double picture[256];
    double surface[256];
    sWeights() {
      for (int i = 0; i < 256; ++i) {
        picture[i] = i / 255.0;
        surface[i] = 1 - picture[i];
      }
    }
  } weights;
  for (size_t i = 0; i < buffer.size(); ++i) {
    const uint32_t alpha = p[i] >> 24;
    // Opaque and clear pixels give the picture's or the surface's channels
    // exactly; only the others need the arithmetic.
    if (alpha == 255) {
      buffer[i] = (buffer[i] & 0xFF000000u) | (p[i] & 0xFFFFFFu);
      continue;
    }
    if (alpha == 0) continue;
    // The weights as the formula computes them, looked up instead of divided.
    const double a = weights.picture[alpha], rest = weights.surface[alpha];
    const uint32_t q = buffer[i];
    uint32_t out = q & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t c = static_cast<uint32_t>(((p[i] >> shift) & 0xFF) * a + ((q >> shift) & 0xFF) * rest);
      out |= c << shift;
    }
    buffer[i] = out;
  }
  WriteBlock(dx, dy, w, h, buffer.data());
  return true;
}

bool cMemCanvas::CopyFromCanvas(int32_t x, int32_t y, cCanvas* source, int32_t sourceX, int32_t sourceY,
                                int32_t width, int32_t height) {
  auto* src = dynamic_cast<cMemCanvas*>(source);
  if (src == nullptr) return false;
  if (!CopyBlock(*src, x, y, sourceX, sourceY, width, height)) return false;
  if (width < 1 || height < 1) return true;
  // Through a copy, so that a block moved within one surface reads the
  // pixels from before the move; only pixels the source has are written.
  const int32_t fx = src->area_.left + sourceX, fy = src->area_.top + sourceY;
  const sEdges have = tw::IntersectBoxes({fx, fy, fx + width, fy + height}, src->Bounds());
  if (tw::IsEmptyBox(have)) return true;
  const int32_t w = have.right - have.left, h = have.bottom - have.top;
  std::vector<uint32_t> block(static_cast<size_t>(w) * h);
  src->ReadBlock(have.left, have.top, w, h, block.data());
  WriteBlock(area_.left + x + (have.left - fx), area_.top + y + (have.top - fy), w, h, block.data());
  return true;
}

// ---- Clipping ------------------------------------------------------------------

bool cMemCanvas::ExcludeClipRect(const sRect* rect) {
  if (rect == nullptr) return false;
  sEdges box = DeviceBox(*rect);
  box.right = std::min(box.right, area_.right);
  box.bottom = std::min(box.bottom, area_.bottom);
  const sEdges overlap = tw::IntersectBoxes(box, area_);
  if (!tw::IsEmptyBox(overlap)) clip_.Subtract(overlap);
  return true;
}

bool cMemCanvas::AddClipRect(const sRect* rect) {
  if (rect == nullptr) return false;
  sEdges box = DeviceBox(*rect);
  box.right = std::min(box.right, area_.right);
  box.bottom = std::min(box.bottom, area_.bottom);
  const sEdges overlap = tw::IntersectBoxes(box, area_);
  if (!tw::IsEmptyBox(overlap)) clip_.Unite(overlap);
  return true;
}

bool cMemCanvas::ApplyClip() {
  surface_->selectedClip = clip_;
  if (hasInherited_) surface_->selectedClip.Intersect(inherited_);
  surface_->clipSelected = true;
  return true;
}

bool cMemCanvas::IsRectVisible(const sRect* rect) {
  if (rect == nullptr) return false;
  sEdges box = DeviceBox(*rect);
  box.right = std::min(box.right, area_.right);
  box.bottom = std::min(box.bottom, area_.bottom);
  if (box.left > area_.right || box.top > area_.bottom) return false;
  return clip_.Touches(box) && update_.Touches(box);
}

// ---- Derived canvases ---------------------------------------------------------------

cCanvas* cMemCanvas::CreateSubCanvas(const sRect* rect) {
  if (rect == nullptr) return nullptr;
  const sEdges box = DeviceBox(*rect);
  if (box.right < 0 || box.bottom < 0 || box.left > area_.right || box.top > area_.bottom) return nullptr;
  const sEdges area{box.left, box.top, std::min(box.right, area_.right), std::min(box.bottom, area_.bottom)};
  auto* sub = new cMemCanvas(surface_, area);
  sub->clip_.SetBox(area);
  sub->update_ = update_;
  sub->update_.Intersect(area);
  sub->inherited_ = clip_;
  sub->inherited_.Intersect(area);
  if (hasInherited_) sub->inherited_.Intersect(inherited_);
  sub->hasInherited_ = true;
  sub->scale_ = scale_;
  return sub;
}

cCanvas* cMemCanvas::CreateOffscreen(int32_t width, int32_t height, int32_t sourceX, int32_t sourceY) {
  width = Round(width), height = Round(height);
  if (width < 1 || height < 1) return nullptr;
  const bool copy = !(sourceX == -1 && sourceY == -1);
  if (sourceX >= 0) sourceX = Trunc(sourceX);
  if (sourceY >= 0) sourceY = Trunc(sourceY);
  if (copy) {
    if (sourceX != -1) sourceX += area_.left;
    if (sourceY != -1) sourceY += area_.top;
  }
  auto* off = new cMemCanvas(width, height);
  if (off->Surface()->GetPixels() == nullptr) {
    delete off;
    return nullptr;
  }
  if (copy) ReadBlock(sourceX, sourceY, width, height, off->Surface()->GetPixels());
  off->scale_ = scale_;
  return off;
}

bool cMemCanvas::CopyToPicture(cPicture* picture, const sRect* rect) {
  const cPicture* surface = surface_->picture;
  if (picture == nullptr || surface == nullptr || surface->GetPixels() == nullptr) return false;
  const int32_t sw = surface->GetWidth(), sh = surface->GetHeight();
  if (rect == nullptr) return picture->SetPixels(surface->GetPixels(), sw, sh, false);
  const int32_t x = Trunc(rect->x), y = Trunc(rect->y), w = Round(rect->width), h = Round(rect->height);
  if (x < 0 || x >= sw || y < 0 || y >= sh || w < 1 || h < 1 || x + w > sw || y + h > sh) return false;
  if (x == 0 && y == 0 && w == sw && h == sh) return picture->SetPixels(surface->GetPixels(), sw, sh, false);
  if (!picture->Allocate(w, h)) return false;
  for (int32_t i = 0; i < h; ++i)
    std::copy_n(surface->GetPixels() + static_cast<size_t>(y + i) * sw + x, w,
                picture->GetPixels() + static_cast<size_t>(i) * w);
  return true;
}
