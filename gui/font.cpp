// Fonts: the cache, the UI face choice, the size correction and the
// stand-in metrics (see font.h). The platform fonts are in font_win32.cpp
// and font_posix.cpp.
#include "gui/font.h"

#include "base/strings.h"
#include "gui/canvas.h"
#include "gui/language.h"

namespace {

// The cache owns its fonts; the list is emptied (and every platform font
// deleted) when the program ends.
cItemList& FontCache() {
  static cItemList cache;
  return cache;
}

_guardchar<char16_t> g_uiFace;
double g_lineSpacing = 1.2;
int32_t g_wrappedAlignment = 3;
_guardchar<char16_t> g_fixedPitchFace;

constexpr char16_t kTahoma[] = u"Tahoma";

bool SameFace(const char16_t* a, const char16_t* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return CompareWide(a, b) == 0;
}

int32_t RoundScaled(int32_t v, double f) { return static_cast<int32_t>(v * f + 0.5); }

}  // namespace

bool cFontObject::IsEqual(const sFontKey* key) const {
  if (key == nullptr) return false;
  if (key->width != width || key->height != height || key->bold != bold ||
      key->underline != underline || key->italic != italic)
    return false;
  // An empty face and a null one are the same empty string.
  const char16_t* a = face.text != nullptr ? face.text : u"";
  const char16_t* b = key->face.text != nullptr ? key->face.text : u"";
  return CompareWide(a, b) == 0;
}

bool cFontObject::MeasureText(cCanvas*, const char16_t*, int32_t, sSize*) { return false; }
bool cFontObject::MeasureTextAnsi(cCanvas*, const char*, int32_t, sSize*) { return false; }

bool cWinFont::SelectInto(cCanvas* canvas) {
  if (canvas == nullptr) return false;
  return canvas->SelectFont(this);
}

cWinFont* GetCachedFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                        bool italic) {
  sFontKey key;
  key.width = width;
  key.height = height;
  key.face.Assign(face);
  key.bold = bold ? 1 : 0;
  key.underline = underline ? 1 : 0;
  key.italic = italic ? 1 : 0;
  if (cListItem* found = FontCache().Find(&key)) return static_cast<cWinFont*>(found);

  auto* font = new cWinFont();
  if (!font->Create(width, height, face, bold, underline, italic)) {
    delete font;
    return nullptr;
  }
  font->width = width;
  font->height = height;
  font->face.Assign(face);
  font->bold = key.bold;
  font->underline = key.underline;
  font->italic = key.italic;
  FontCache().Append(font);
  return font;
}

const char16_t* GetUIFaceName() { return g_uiFace.IsEmpty() ? kTahoma : g_uiFace.text; }
double GetLineSpacing() { return g_lineSpacing; }
int32_t GetWrappedTextAlignment() { return g_wrappedAlignment; }
const char16_t* GetFixedPitchFaceName() { return g_fixedPitchFace.IsEmpty() ? nullptr : g_fixedPitchFace.text; }

const char16_t* SelectUIFontForLanguage() {
  g_wrappedAlignment = 3;
  const char16_t* candidate = nullptr;
  double factor = 0;
  switch (GetCurrentLanguage()) {
    case 3: candidate = u"Meiryo", factor = 0.9; break;
    case 4: candidate = u"Malgun Gothic", factor = 1.2; break;
    case 8: candidate = u"Microsoft YaHei", factor = 1.2; break;
    case 9: candidate = u"Microsoft JhengHei", factor = 1.2; break;
    default: break;
  }
  if (candidate != nullptr) {
    // These scripts do not stretch well between words.
    g_wrappedAlignment = 0;
    if (GetCachedFont(5, 13, candidate, false, false, false) != nullptr) {
      g_uiFace.Assign(candidate);
      g_lineSpacing = factor;
      return GetUIFaceName();
    }
  }
  g_uiFace.Assign(kTahoma);
  return GetUIFaceName();
}

namespace tw {

void CorrectFontSize(const char16_t* face, int32_t weight, int32_t* height, int32_t* width) {
  if (face == nullptr || height == nullptr || width == nullptr) return;
  const int32_t h = *height, w = *width;
  const bool bold = weight > 400;
  if (SameFace(face, u"Segoe UI")) {
    *height = RoundScaled(h, 1.2);
    *width = RoundScaled(w, 1.3);
  } else if (SameFace(face, u"Meiryo")) {
    if (h <= 14) {
      *height = RoundScaled(h, 1.35);
      *width = RoundScaled(w, 2.1);
    } else if (h == 15) {
      *height = 19;
      *width = w * 2;
    } else if (h == 16) {
      *height = 20;
      *width = RoundScaled(w, 1.85);
    } else {
      *height = RoundScaled(h, 1.1);
      *width = RoundScaled(w, 1.75);
    }
  } else if (SameFace(face, u"PMingLiU")) {
    *width = RoundScaled(w, 1.2);
  } else if (SameFace(face, u"SimSun")) {
    *width = RoundScaled(w, 1.25);
  } else if (SameFace(face, u"Microsoft YaHei")) {
    if (h > 15) {
      *height = RoundScaled(h, 1.1);
      *width = RoundScaled(w, 1.1);
    } else {
      *height = bold ? 19 : 18;
      *width = bold ? 8 : 7;
    }
  } else if (SameFace(face, u"Microsoft JhengHei")) {
    if (h > 15) {
      *height = RoundScaled(h, 1.15);
      *width = RoundScaled(w, 1.15);
    } else {
      *height = bold ? 18 : 17;
      *width = bold ? 7 : 6;
    }
  }
}

int32_t StandInCellWidth(const cFontObject* font) {
  if (font == nullptr) return 5;
  int32_t h = font->height, w = font->width;
  CorrectFontSize(font->face.text, font->bold ? 700 : 400, &h, &w);
  if (w < 0) w = -w;
  if (h < 0) h = -h;
  // Width 0 lets the system choose: about two fifths of the cell height.
  if (w == 0) w = (h * 2 + 2) / 5;
  return w > 0 ? w : 1;
}

int32_t StandInTextHeight(const cFontObject* font) {
  if (font == nullptr) return 13;
  int32_t h = font->height, w = font->width;
  CorrectFontSize(font->face.text, font->bold ? 700 : 400, &h, &w);
  if (h < 0) h = -h;
  return h > 0 ? h : 1;
}

void ClearFontCacheForTesting() { FontCache().DeleteAll(); }

int32_t CachedFontCount() {
  int32_t n = 0;
  for (cListItem* i = FontCache().head; i != nullptr; i = i->next) ++n;
  return n;
}

}  // namespace tw
