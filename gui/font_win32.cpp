// GDI fonts. Only this file (and the canvas's) talk to GDI about fonts.
#include <windows.h>

#include <vector>

#include "base/strings.h"
#include "base/win_text.h"
#include "gui/canvas_internal.h"
#include "gui/font.h"
#include "gui/win_canvas.h"

namespace {

int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one match is enough
}

HDC CanvasDc(cCanvas* canvas) {
  auto* win = dynamic_cast<cWinCanvas*>(canvas);
  return win != nullptr ? static_cast<HDC>(win->DeviceContext()) : nullptr;
}

}  // namespace

namespace tw {
bool FontFaceExists(const char16_t* face) {
  if (face == nullptr) return false;
  const int32_t n = WideLength(face);
  if (n == 0 || n >= LF_FACESIZE) return false;
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  for (int32_t i = 0; i < n; ++i) lf.lfFaceName[i] = static_cast<wchar_t>(face[i]);
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return false;
  bool found = false;
  // The enumeration matches family names without regard to case.
  EnumFontFamiliesExW(screen, &lf, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}
}  // namespace tw

cWinFont::~cWinFont() {
  if (handle_ != nullptr) DeleteObject(static_cast<HFONT>(handle_));
}

bool cWinFont::Create(int32_t w, int32_t h, const char16_t* faceName, bool isBold, bool isUnderline,
                      bool isItalic) {
  return CreateUIFont(&handle_, faceName, h, w, isBold ? 700 : 400, isItalic, isUnderline);
}

bool cWinFont::MeasureText(cCanvas* canvas, const char16_t* text, int32_t length, sSize* size) {
  if (canvas == nullptr || text == nullptr || size == nullptr) return false;
  const int32_t n = tw::TextLength(text, length);
  HDC dc = CanvasDc(canvas);
  if (dc == nullptr) {
    *size = {n * tw::StandInCellWidth(this), tw::StandInTextHeight(this)};
    return true;
  }
  // A private copy: the caller's text need not be terminated at length.
  std::vector<wchar_t> copy(static_cast<size_t>(n) + 1, 0);
  for (int32_t i = 0; i < n; ++i) copy[i] = static_cast<wchar_t>(text[i]);
  HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(handle_));
  SIZE s{};
  const BOOL ok = GetTextExtentPoint32W(dc, copy.data(), n, &s);
  SelectObject(dc, old);
  if (!ok) return false;
  *size = {s.cx, s.cy};
  return true;
}

bool cWinFont::MeasureTextAnsi(cCanvas* canvas, const char* text, int32_t length, sSize* size) {
  if (canvas == nullptr || text == nullptr || size == nullptr) return false;
  const int32_t n = tw::TextLength(text, length);
  HDC dc = CanvasDc(canvas);
  if (dc == nullptr) {
    *size = {n * tw::StandInCellWidth(this), tw::StandInTextHeight(this)};
    return true;
  }
  HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(handle_));
  SIZE s{};
  const BOOL ok = GetTextExtentPoint32A(dc, text, n, &s);
  SelectObject(dc, old);
  if (!ok) return false;
  *size = {s.cx, s.cy};
  return true;
}

bool CreateUIFont(void** slot, const char16_t* face, int32_t height, int32_t width, int32_t weight,
                  bool italic, bool underline) {
  if (slot == nullptr) return false;
  if (*slot != nullptr) DeleteObject(static_cast<HFONT>(*slot));
  *slot = nullptr;
  // GDI substitutes a missing face without a word; refuse it here so that
  // callers can fall back to a face of their choice.
  if (face == nullptr || !tw::FontFaceExists(face)) return false;
  tw::CorrectFontSize(face, weight, &height, &width);
  HFONT font = CreateFontW(height, width, 0, 0, weight, italic ? TRUE : FALSE, underline ? TRUE : FALSE,
                           FALSE, 0, 0, 0, PROOF_QUALITY, 0, tw::ToWin(face));
  *slot = font;
  return font != nullptr;
}

bool MeasureTextWithFont(const char16_t* text, void* dc, const cWinFont* font, sSize* size) {
  if (text == nullptr || font == nullptr || size == nullptr) return false;
  HDC hdc = static_cast<HDC>(dc);
  HGDIOBJ old = SelectObject(hdc, static_cast<HFONT>(font->Handle()));
  SIZE s{};
  const BOOL ok = GetTextExtentPoint32W(hdc, tw::ToWin(text), WideLength(text), &s);
  SelectObject(hdc, old);
  if (!ok) return false;
  *size = {s.cx, s.cy};
  return true;
}
