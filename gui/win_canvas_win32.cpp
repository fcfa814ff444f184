// The GDI canvases; see win_canvas.h. The memory canvas (mem_canvas.cpp)
// mirrors every operation here in software, so the two change together.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/strings.h"
#include "base/win_text.h"
#include "gui/canvas_internal.h"
#include "gui/font.h"
#include "gui/win_canvas.h"

namespace {

HDC Dc(void* p) { return static_cast<HDC>(p); }
HRGN Rgn(void* p) { return static_cast<HRGN>(p); }

// A 32-bit bottom-up DIB section of w x h: the surface of the off-screen
// canvas and of every temporary pixel buffer.
HBITMAP CreateDib(HDC reference, int32_t w, int32_t h, uint32_t** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;  // positive: bottom row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = 0;
  info.bmiHeader.biXPelsPerMeter = 3000;
  info.bmiHeader.biYPelsPerMeter = 3000;
  void* p = nullptr;
  HBITMAP bitmap = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &p, nullptr, 0);
  *bits = bitmap != nullptr ? static_cast<uint32_t*>(p) : nullptr;
  return bitmap;
}

// A temporary DIB selected into its own memory context.
class cPixelBuffer {
public:
  cPixelBuffer(HDC reference, int32_t w, int32_t h) {
    if (w < 1 || h < 1) return;
    dc_ = CreateCompatibleDC(reference);
    if (dc_ == nullptr) return;
    bitmap_ = CreateDib(reference, w, h, &bits_);
    if (bitmap_ != nullptr) old_ = SelectObject(dc_, bitmap_);
  }
  ~cPixelBuffer() {
    if (dc_ != nullptr) {
      if (old_ != nullptr) SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
  }
  cPixelBuffer(const cPixelBuffer&) = delete;
  cPixelBuffer& operator=(const cPixelBuffer&) = delete;
  bool Ok() const { return bits_ != nullptr; }
  HDC Dc() const { return dc_; }
  uint32_t* Bits() const { return bits_; }

private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};

HRGN BoxRegion(const sEdges& b) { return CreateRectRgn(b.left, b.top, b.right, b.bottom); }

HFONT FontHandle(cFontObject* font) {
  auto* win = dynamic_cast<cWinFont*>(font);
  return win != nullptr ? static_cast<HFONT>(win->Handle()) : nullptr;
}

}  // namespace

// ---- Life cycle ------------------------------------------------------------

cWinCanvas::~cWinCanvas() {
  // A sub-canvas shares its parent's context: take our objects out of it.
  if (dc_ != nullptr) {
    SelectObject(Dc(dc_), GetStockObject(BLACK_PEN));
    SelectObject(Dc(dc_), GetStockObject(WHITE_BRUSH));
  }
  cWinCanvas::Release();
  for (sPen* pen : {&framePen_, &linePen_})
    if (pen->handle != nullptr) DeleteObject(static_cast<HPEN>(pen->handle));
  if (brush_.handle != nullptr) DeleteObject(static_cast<HBRUSH>(brush_.handle));
}

void cWinCanvas::Release() {
  if (dc_ != nullptr && !borrowed_) {
    if (window_ != nullptr)
      ReleaseDC(static_cast<HWND>(window_), Dc(dc_));
    else
      DeleteDC(Dc(dc_));
  }
  dc_ = nullptr;
  for (void** r : {&updateRegion_, &clipRegion_, &inheritedRegion_}) {
    if (*r != nullptr) DeleteObject(Rgn(*r));
    *r = nullptr;
  }
}

void cWinCanvas::ResetDrawingState() {
  UsePen(framePen_, 0, 1);
  UsePen(linePen_, 0, 1);
  UseBrush(0xFFFFFF);
  font_ = GetCachedFont(5, 13, GetUIFaceName(), false, false, false);
  background_ = 0xFFFFFF;
  text_ = 0;
}

bool cWinCanvas::UsePen(sPen& pen, uint32_t colour, int32_t width) {
  if (pen.handle == nullptr || pen.colour != colour || pen.width != width) {
    if (pen.handle != nullptr) {
      if (dc_ != nullptr) SelectObject(Dc(dc_), GetStockObject(BLACK_PEN));
      DeleteObject(static_cast<HPEN>(pen.handle));
    }
    pen.handle = CreatePen(PS_SOLID, width, colour);
    pen.colour = colour;
    pen.width = width;
  }
  if (pen.handle == nullptr) return false;
  if (dc_ != nullptr) SelectObject(Dc(dc_), static_cast<HPEN>(pen.handle));
  return true;
}

bool cWinCanvas::UseBrush(uint32_t colour) {
  if (brush_.handle == nullptr || brush_.colour != colour) {
    if (brush_.handle != nullptr) {
      if (dc_ != nullptr) SelectObject(Dc(dc_), GetStockObject(WHITE_BRUSH));
      DeleteObject(static_cast<HBRUSH>(brush_.handle));
    }
    brush_.handle = CreateSolidBrush(colour);
    brush_.colour = colour;
  }
  if (brush_.handle == nullptr) return false;
  if (dc_ != nullptr) SelectObject(Dc(dc_), static_cast<HBRUSH>(brush_.handle));
  return true;
}

void cWinCanvas::SelectCurrentFont() {
  HFONT f = FontHandle(font_);
  if (f != nullptr && dc_ != nullptr) SelectObject(Dc(dc_), f);
}

bool cWinCanvas::BeginWindowPaint(const sRect* rect, void* window) {
  Release();
  borrowed_ = false;
  HWND hwnd = static_cast<HWND>(window);
  window_ = hwnd;
  if (rect != nullptr) {
    left_ = rect->x, top_ = rect->y, right_ = rect->x + rect->width, bottom_ = rect->y + rect->height;
  } else {
    RECT client{};
    GetClientRect(hwnd, &client);
    left_ = client.left, top_ = client.top, right_ = client.right, bottom_ = client.bottom;
  }
  ResetDrawingState();
  updateRegion_ = CreateRectRgn(0, 0, 0, 0);
  GetUpdateRgn(hwnd, Rgn(updateRegion_), FALSE);
  clipRegion_ = BoxRegion(Area());
  CombineRgn(Rgn(clipRegion_), Rgn(clipRegion_), Rgn(updateRegion_), RGN_AND);
  dc_ = GetDC(hwnd);
  return dc_ != nullptr;
}

cWOffscreenCanvas::~cWOffscreenCanvas() { cWOffscreenCanvas::Release(); }

void cWOffscreenCanvas::Release() {
  cWinCanvas::Release();  // the context goes first, so the bitmap is free
  if (bitmap_ != nullptr) DeleteObject(static_cast<HBITMAP>(bitmap_));
  bitmap_ = nullptr;
  bits_ = nullptr;
}

bool cWOffscreenCanvas::BeginOffscreen(void* source, int32_t width, int32_t height, int32_t sourceX,
                                       int32_t sourceY) {
  Release();
  borrowed_ = false;
  window_ = nullptr;
  left_ = 0, top_ = 0, right_ = width, bottom_ = height;
  ResetDrawingState();
  updateRegion_ = BoxRegion(Area());
  clipRegion_ = BoxRegion(Area());
  dc_ = CreateCompatibleDC(Dc(source));
  if (dc_ == nullptr) return false;
  bitmap_ = CreateDib(Dc(source), width, height, &bits_);
  if (bitmap_ != nullptr) SelectObject(Dc(dc_), static_cast<HBITMAP>(bitmap_));
  if (!(sourceX == -1 && sourceY == -1))
    BitBlt(Dc(dc_), 0, 0, width, height, Dc(source), sourceX, sourceY, SRCCOPY);
  return true;
}

// ---- State -------------------------------------------------------------------

void cWinCanvas::SetScaleProvider(cScaleProvider* provider) {
  if (provider != nullptr) {
    const double s = provider->GetScale();
    cWinFont* f = GetCachedFont(static_cast<int32_t>(5 * s + 0.5), static_cast<int32_t>(13 * s + 0.5),
                                GetUIFaceName(), false, false, false);
    if (f != nullptr) SelectFont(f);
    UsePen(linePen_, 0, static_cast<int32_t>(s + 0.5));
  }
  scale_ = provider;
}

int32_t cWinCanvas::GetWidth() { return Back(right_ - left_); }
int32_t cWinCanvas::GetHeight() { return Back(bottom_ - top_); }

bool cWinCanvas::SetLinePen(uint32_t colour, int32_t width) { return UsePen(linePen_, colour, Round(width)); }

bool cWinCanvas::SelectFont(cFontObject* font) {
  if (font == nullptr) return false;
  font_ = font;
  SelectCurrentFont();
  return true;
}

bool cWinCanvas::SetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                         bool italic) {
  cWinFont* f = GetFont(width, height, face, bold, underline, italic);
  font_ = f;
  return f != nullptr && f->SelectInto(this);
}

bool cWinCanvas::SetTextColours(uint32_t textColour, uint32_t backgroundColour) {
  text_ = textColour;
  background_ = backgroundColour;
  return true;
}

// ---- Text ----------------------------------------------------------------------

namespace {

// The W and A forms of the two measuring calls, chosen by the text's type.
BOOL TextExtent(HDC dc, const char16_t* text, int n, SIZE* s) {
  return GetTextExtentPoint32W(dc, tw::ToWin(text), n, s);
}
BOOL TextExtent(HDC dc, const char* text, int n, SIZE* s) { return GetTextExtentPoint32A(dc, text, n, s); }
BOOL TextExtentEx(HDC dc, const char16_t* text, int n, INT* fit, INT* dx, SIZE* s) {
  return GetTextExtentExPointW(dc, tw::ToWin(text), n, 0x7FFFFFFF, fit, dx, s);
}
BOOL TextExtentEx(HDC dc, const char* text, int n, INT* fit, INT* dx, SIZE* s) {
  return GetTextExtentExPointA(dc, text, n, 0x7FFFFFFF, fit, dx, s);
}

}  // namespace

template <class C>
bool cWinCanvas::MeasureAny(const C* text, int32_t length, sSize* size) {
  if (size == nullptr) return false;
  *size = {};
  if (text == nullptr || tw::TextLength(text, length) == 0) return true;
  if (dc_ == nullptr) return false;
  SelectCurrentFont();
  SIZE s{};
  if (!TextExtent(Dc(dc_), text, tw::TextLength(text, length), &s)) return false;
  *size = {Back(s.cx), Back(s.cy)};
  return true;
}

template <class C>
bool cWinCanvas::CharExtentsAny(const C* text, int32_t length, _typebuf<int32_t>* extents) {
  if (text == nullptr || extents == nullptr || dc_ == nullptr) return false;
  const int32_t n = tw::TextLength(text, length);
  if (n == 0) return false;
  SelectCurrentFont();
  std::vector<INT> dx(static_cast<size_t>(n));
  INT fit = 0;
  SIZE s{};
  if (!TextExtentEx(Dc(dc_), text, n, &fit, dx.data(), &s)) return false;
  extents->Reallocate(n);
  for (int32_t i = 0; i < n; ++i) (*extents)[i] = Back(dx[i]);
  return true;
}

bool cWinCanvas::MeasureText(const char16_t* text, int32_t length, sSize* size) {
  return MeasureAny(text, length, size);
}

bool cWinCanvas::MeasureTextAnsi(const char* text, int32_t length, sSize* size) {
  return MeasureAny(text, length, size);
}

bool cWinCanvas::GetCharExtents(const char16_t* text, int32_t length, _typebuf<int32_t>* extents) {
  return CharExtentsAny(text, length, extents);
}

bool cWinCanvas::GetCharExtentsAnsi(const char* text, int32_t length, _typebuf<int32_t>* extents) {
  return CharExtentsAny(text, length, extents);
}

bool cWinCanvas::DrawText(int32_t x, int32_t y, bool transparent, const char16_t* text, int32_t length) {
  if (text == nullptr || dc_ == nullptr) return false;
  const int32_t n = tw::TextLength(text, length);
  x = Trunc(x), y = Trunc(y);
  SelectCurrentFont();
  if (!transparent) {
    SetBkColor(Dc(dc_), background_);
    SetTextColor(Dc(dc_), text_);
    return TextOutW(Dc(dc_), left_ + x, top_ + y, tw::ToWin(text), n) != 0;
  }

  // Anti-aliased over what is painted: the text is drawn black on white
  // into a mask, whose brightness then mixes the text colour into a copy of
  // the background.
  sSize measured;
  if (!MeasureText(text, n, &measured)) return false;
  const int32_t w = Trunc(measured.width) + 2, h = Trunc(measured.height);
  cPixelBuffer back(Dc(dc_), w, h), mask(Dc(dc_), w, h);
  if (!back.Ok() || !mask.Ok()) return false;
  BitBlt(back.Dc(), 0, 0, w, h, Dc(dc_), left_ + x, top_ + y, SRCCOPY);
  GdiFlush();
  std::memset(mask.Bits(), 0xFF, static_cast<size_t>(w) * h * 4);
  HGDIOBJ font = FontHandle(font_);
  if (font == nullptr) font = GetCurrentObject(Dc(dc_), OBJ_FONT);
  HGDIOBJ oldFont = SelectObject(mask.Dc(), font);
  SetTextColor(mask.Dc(), 0);
  SetBkColor(mask.Dc(), 0xFFFFFF);
  TextOutW(mask.Dc(), 1, 0, tw::ToWin(text), n);
  SelectObject(mask.Dc(), oldFont);
  GdiFlush();
  const double inv = 1.0 / 765;
  const uint32_t tr = text_ & 0xFF, tg = (text_ >> 8) & 0xFF, tb = (text_ >> 16) & 0xFF;
  uint32_t* bg = back.Bits();
  const uint32_t* mk = mask.Bits();
  for (size_t i = 0, count = static_cast<size_t>(w) * h; i < count; ++i) {
    const uint32_t m = mk[i];
    const double a = ((m & 0xFF) + ((m >> 8) & 0xFF) + ((m >> 16) & 0xFF)) * inv;
    const uint32_t p = bg[i];
    const uint32_t b = static_cast<uint32_t>(a * (p & 0xFF) + (1 - a) * tb);
    const uint32_t g = static_cast<uint32_t>(a * ((p >> 8) & 0xFF) + (1 - a) * tg);
    const uint32_t r = static_cast<uint32_t>(a * ((p >> 16) & 0xFF) + (1 - a) * tr);
    bg[i] = (p & 0xFF000000u) | (r << 16) | (g << 8) | b;
  }
  BitBlt(Dc(dc_), left_ + x, top_ + y, w, h, back.Dc(), 0, 0, SRCCOPY);
  return true;
}

// ---- Shapes and pictures ----------------------------------------------------------

bool cWinCanvas::DrawRect(const sRect* rect, uint32_t fillColour, uint32_t frameColour) {
  if (rect == nullptr || dc_ == nullptr) return false;
  const sRect box = PenRect(*rect);
  const int32_t x = box.x, y = box.y, w = box.width, h = box.height;
  UsePen(framePen_, frameColour, framePen_.width);
  UseBrush(fillColour);
  Rectangle(Dc(dc_), left_ + x, top_ + y, left_ + x + w, top_ + y + h);
  return true;
}

bool cWinCanvas::DrawLine(const sPoint& from, const sPoint& to) {
  if (dc_ == nullptr) return false;
  sPoint start, end;
  PenLine(from, to, start, end);
  UsePen(linePen_, linePen_.colour, linePen_.width);
  MoveToEx(Dc(dc_), left_ + start.x, top_ + start.y, nullptr);
  LineTo(Dc(dc_), left_ + end.x, top_ + end.y);
  return true;
}

bool cWinCanvas::DrawPicture(int32_t x, int32_t y, const cPicture* picture, int32_t width, int32_t height) {
  if (picture == nullptr || picture->GetPixels() == nullptr || dc_ == nullptr) return false;
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
  const int32_t w = source->GetWidth(), h = source->GetHeight();
  cPixelBuffer buffer(Dc(dc_), w, h);
  if (!buffer.Ok()) return false;
  std::memcpy(buffer.Bits(), source->GetPixels(), static_cast<size_t>(w) * h * 4);
  BitBlt(Dc(dc_), left_ + x, top_ + y, w, h, buffer.Dc(), 0, 0, SRCCOPY);
  return true;
}

bool cWinCanvas::DrawPictureBlended(const sPoint* point, const cPicture* picture, const sSize* size) {
  if (point == nullptr || picture == nullptr || picture->GetPixels() == nullptr || dc_ == nullptr) return false;
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
  cPixelBuffer buffer(Dc(dc_), w, h);
  if (!buffer.Ok()) return false;
  BitBlt(buffer.Dc(), 0, 0, w, h, Dc(dc_), left_ + x, top_ + y, SRCCOPY);
  GdiFlush();
  const uint32_t* p = source->GetPixels();
  uint32_t* q = buffer.Bits();
  for (size_t i = 0, count = static_cast<size_t>(w) * h; i < count; ++i) {
    const uint32_t alpha = p[i] >> 24;
    // Opaque and clear pixels give the picture's or the surface's channels
    // exactly; only the others need the arithmetic.
    if (alpha == 255) {
      q[i] = (q[i] & 0xFF000000u) | (p[i] & 0xFFFFFFu);
      continue;
    }
    if (alpha == 0) continue;
    const double a = alpha / 255.0;
    uint32_t out = q[i] & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t c = static_cast<uint32_t>(((p[i] >> shift) & 0xFF) * a + ((q[i] >> shift) & 0xFF) * (1 - a));
      out |= c << shift;
    }
    q[i] = out;
  }
  BitBlt(Dc(dc_), left_ + x, top_ + y, w, h, buffer.Dc(), 0, 0, SRCCOPY);
  return true;
}

bool cWinCanvas::CopyFromCanvas(int32_t x, int32_t y, cCanvas* source, int32_t sourceX, int32_t sourceY,
                                int32_t width, int32_t height) {
  auto* src = dynamic_cast<cWinCanvas*>(source);
  if (src == nullptr || src->dc_ == nullptr || dc_ == nullptr) return false;
  if (!CopyBlock(*src, x, y, sourceX, sourceY, width, height)) return false;
  return BitBlt(Dc(dc_), left_ + x, top_ + y, width, height, Dc(src->dc_), src->left_ + sourceX,
                src->top_ + sourceY, SRCCOPY) != 0;
}

// ---- Clipping ------------------------------------------------------------------------

sEdges cWinCanvas::ClipBox(const sRect& r) const {
  const int32_t x = left_ + Trunc(r.x), y = top_ + Trunc(r.y);
  return {x, y, std::min(x + Round(r.width), right_), std::min(y + Round(r.height), bottom_)};
}

bool cWinCanvas::ExcludeClipRect(const sRect* rect) {
  if (rect == nullptr || clipRegion_ == nullptr) return false;
  const sEdges b = ClipBox(*rect);
  const sEdges overlap{std::max(b.left, left_), std::max(b.top, top_), b.right, b.bottom};
  if (overlap.right <= overlap.left || overlap.bottom <= overlap.top) return true;
  HRGN r = BoxRegion(overlap);
  CombineRgn(Rgn(clipRegion_), Rgn(clipRegion_), r, RGN_DIFF);
  DeleteObject(r);
  return true;
}

bool cWinCanvas::AddClipRect(const sRect* rect) {
  if (rect == nullptr || clipRegion_ == nullptr) return false;
  const sEdges b = ClipBox(*rect);
  const sEdges overlap{std::max(b.left, left_), std::max(b.top, top_), b.right, b.bottom};
  if (overlap.right <= overlap.left || overlap.bottom <= overlap.top) return true;
  HRGN r = BoxRegion(overlap);
  CombineRgn(Rgn(clipRegion_), Rgn(clipRegion_), r, RGN_OR);
  DeleteObject(r);
  return true;
}

bool cWinCanvas::ApplyClip() {
  if (dc_ == nullptr) return false;
  if (inheritedRegion_ == nullptr) {
    SelectClipRgn(Dc(dc_), Rgn(clipRegion_));
    return true;
  }
  HRGN both = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(both, Rgn(clipRegion_), Rgn(inheritedRegion_), RGN_AND);
  SelectClipRgn(Dc(dc_), both);
  DeleteObject(both);
  return true;
}

bool cWinCanvas::IsRectVisible(const sRect* rect) {
  if (rect == nullptr || clipRegion_ == nullptr || updateRegion_ == nullptr) return false;
  const sEdges b = ClipBox(*rect);
  if (b.left > right_ || b.top > bottom_) return false;
  const RECT r{b.left, b.top, b.right, b.bottom};
  return RectInRegion(Rgn(clipRegion_), &r) && RectInRegion(Rgn(updateRegion_), &r);
}

// ---- Derived canvases -------------------------------------------------------------------

cCanvas* cWinCanvas::CreateSubCanvas(const sRect* rect) {
  if (rect == nullptr || dc_ == nullptr) return nullptr;
  const int32_t x = left_ + Trunc(rect->x), y = top_ + Trunc(rect->y);
  const int32_t w = Round(rect->width), h = Round(rect->height);
  if (x + w < 0 || y + h < 0 || x > right_ || y > bottom_) return nullptr;
  auto* sub = new cWinCanvas();
  sub->left_ = x, sub->top_ = y;
  sub->right_ = std::min(x + w, right_), sub->bottom_ = std::min(y + h, bottom_);
  sub->dc_ = dc_;
  sub->window_ = window_;
  sub->borrowed_ = true;
  const sEdges area = sub->Area();
  sub->clipRegion_ = BoxRegion(area);
  sub->updateRegion_ = BoxRegion(area);
  if (updateRegion_ != nullptr) CombineRgn(Rgn(sub->updateRegion_), Rgn(sub->updateRegion_), Rgn(updateRegion_), RGN_AND);
  sub->inheritedRegion_ = BoxRegion(area);
  if (clipRegion_ != nullptr)
    CombineRgn(Rgn(sub->inheritedRegion_), Rgn(sub->inheritedRegion_), Rgn(clipRegion_), RGN_AND);
  if (inheritedRegion_ != nullptr)
    CombineRgn(Rgn(sub->inheritedRegion_), Rgn(sub->inheritedRegion_), Rgn(inheritedRegion_), RGN_AND);
  sub->ResetDrawingState();
  sub->scale_ = scale_;
  return sub;
}

cCanvas* cWinCanvas::CreateOffscreen(int32_t width, int32_t height, int32_t sourceX, int32_t sourceY) {
  if (dc_ == nullptr) return nullptr;
  width = Round(width), height = Round(height);
  if (sourceX >= 0) sourceX = Trunc(sourceX);
  if (sourceY >= 0) sourceY = Trunc(sourceY);
  if (!(sourceX == -1 && sourceY == -1)) {
    if (sourceX != -1) sourceX += left_;
    if (sourceY != -1) sourceY += top_;
  }
  auto* off = new cWOffscreenCanvas();
  if (!off->BeginOffscreen(dc_, width, height, sourceX, sourceY)) {
    delete off;
    return nullptr;
  }
  off->scale_ = scale_;
  return off;
}

bool cWOffscreenCanvas::CopyToPicture(cPicture* picture, const sRect* rect) {
  if (picture == nullptr || bits_ == nullptr) return false;
  GdiFlush();
  const int32_t sw = right_ - left_, sh = bottom_ - top_;
  if (rect == nullptr) return picture->SetPixels(bits_, sw, sh, false);
  const int32_t x = Trunc(rect->x), y = Trunc(rect->y), w = Round(rect->width), h = Round(rect->height);
  if (x < 0 || x >= sw || y < 0 || y >= sh || w < 1 || h < 1 || x + w > sw || y + h > sh) return false;
  if (x == 0 && y == 0 && w == sw && h == sh) return picture->SetPixels(bits_, sw, sh, false);
  if (!picture->Allocate(w, h)) return false;
  for (int32_t i = 0; i < h; ++i)
    std::memcpy(picture->GetPixels() + static_cast<size_t>(i) * w, bits_ + static_cast<size_t>(y + i) * sw + x,
                static_cast<size_t>(w) * 4);
  return true;
}
