// Fonts: described by six values (width, height, face, bold, underline,
// italic) and created once per description. The font cache hands every
// caller the same cWinFont for the same description and keeps it until the
// program ends, so a font pointer, once handed out, stays valid; callers
// borrow it and never delete it.
//
// Sizes are GDI average character width and cell height in device pixels.
// A per-face correction (CorrectFontSize) enlarges them for faces whose
// metrics differ from the default face, so that the toolkit's fixed layout
// numbers (5 x 13 for the default font) look alike in every language.
//
// Platforms:
//  a. Win32: GDI fonts (font_win32.cpp). A face that the system does not
//     have counts as a failure: GDI would silently substitute another face,
//     and the language fallback of SelectUIFontForLanguage could then never
//     happen.
//  b. Elsewhere (font_posix.cpp): a stand-in with fixed metrics, so that
//     layout is exact in tests. It knows a fixed list of faces
//     (FontFaceExists) and "creates" only those.
//  c. The stand-in metrics (StandInCellWidth, StandInTextHeight) are also
//     what the memory canvas measures and draws with on both targets.
//
// No lock: fonts are requested, measured and selected on the UI thread.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "base/lists.h"
#include "gui/geometry.h"

class cCanvas;

// The cache's lookup record.
struct sFontKey {
  int32_t width = 0;
  int32_t height = 0;
  _guardchar<char16_t> face;
  uint8_t bold = 0;
  uint8_t underline = 0;
  uint8_t italic = 0;
};

class cFontObject : public cListItem {
public:
  cFontObject() = default;
  ~cFontObject() override = default;

  // True when the key's width, height, bold, underline and italic equal the
  // font's and its face equals the font's face ordinally (case matters);
  // false for a null key.
  virtual bool IsEqual(const sFontKey* key) const;
  // Creates the platform font; the six fields are not touched (the cache
  // fills them on success).
  virtual bool Create(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                      bool italic) = 0;
  // The canvas's SelectFont with this font; false for a null canvas.
  virtual bool SelectInto(cCanvas* canvas) = 0;
  // Extent of length units (-1: up to the terminator) in device pixels,
  // written to *size. The base has no font and returns false.
  virtual bool MeasureText(cCanvas* canvas, const char16_t* text, int32_t length, sSize* size);
  // The same for 8-bit text in the system code page.
  virtual bool MeasureTextAnsi(cCanvas* canvas, const char* text, int32_t length, sSize* size);

  // The cache's search goes through the list item's match operation.
  bool Matches(const void* key) const override { return IsEqual(static_cast<const sFontKey*>(key)); }

  int32_t width = 0;   // average character width, 0 lets the system choose
  int32_t height = 0;  // cell height
  _guardchar<char16_t> face;
  uint8_t bold = 0;
  uint8_t underline = 0;
  uint8_t italic = 0;
};

class cWinFont : public cFontObject {
public:
  cWinFont() = default;
  ~cWinFont() override;  // deletes the platform font
  cWinFont(const cWinFont&) = delete;
  cWinFont& operator=(const cWinFont&) = delete;

  bool Create(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
              bool italic) override;
  bool SelectInto(cCanvas* canvas) override;
  // Win32: the GDI extent on the canvas's device context when the canvas has
  // one, else the stand-in extent. Elsewhere: the stand-in extent. False for
  // a null canvas or text.
  bool MeasureText(cCanvas* canvas, const char16_t* text, int32_t length, sSize* size) override;
  bool MeasureTextAnsi(cCanvas* canvas, const char* text, int32_t length, sSize* size) override;

  // The platform font: an HFONT on Win32, the stand-in record elsewhere.
  void* Handle() const { return handle_; }

private:
  void* handle_ = nullptr;
};

// The cached font of that description, created on first request; null when
// it cannot be created (nothing is cached then, and the next request tries
// again). The caller borrows the font.
cWinFont* GetCachedFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                        bool italic);

// The UI face, or "Tahoma" while none is chosen.
const char16_t* GetUIFaceName();
// The line-spacing factor for wrapped text (1.2 at start).
double GetLineSpacing();
// The alignment the application passes to DrawTextWrapped for long texts
// (3, justify, at start).
int32_t GetWrappedTextAlignment();
// The fixed-pitch face; nothing sets it, so null, and the documents then
// use "Courier New".
const char16_t* GetFixedPitchFaceName();

// Chooses the UI face, the line-spacing factor and the wrapped-text
// alignment for the current language (gui/language.h) and returns the face.
// Japanese, Korean and the two Chinese languages get their own face when it
// can be created; everything else, and a face that cannot be created, gets
// "Tahoma" with the factor left as it was.
const char16_t* SelectUIFontForLanguage();

// Deletes the platform font in *slot, applies the face correction and
// stores the new font there (null when creation fails). weight 700 is bold,
// 400 regular. False for a null slot or face, a face the system lacks, or
// when creation fails.
bool CreateUIFont(void** slot, const char16_t* face, int32_t height, int32_t width, int32_t weight,
                  bool italic, bool underline);

// Extent of the whole text in font on the device context dc (Win32: an
// HDC; elsewhere dc is ignored and the stand-in extent is given). False for
// a null text or font.
bool MeasureTextWithFont(const char16_t* text, void* dc, const cWinFont* font, sSize* size);

namespace tw {

// The per-face size correction, applied in place. Faces compare ordinally;
// bold means a weight above 400. A null face changes nothing.
void CorrectFontSize(const char16_t* face, int32_t weight, int32_t* height, int32_t* width);

// Whether the system has the face (Win32: a font family of that name is
// installed; elsewhere: the stand-in's fixed list). Case is ignored.
bool FontFaceExists(const char16_t* face);

// Stand-in metrics of a font description after the face correction: every
// UTF-16 unit (and every 8-bit character) advances the cell width, and a
// line is the text height tall. A null font gives the metrics of the
// default font (5 x 13 in "Tahoma").
int32_t StandInCellWidth(const cFontObject* font);
int32_t StandInTextHeight(const cFontObject* font);

// Removes every cached font (and its platform font). Fonts handed out before
// become invalid: only for tests that need a fresh cache.
void ClearFontCacheForTesting();
// The number of cached fonts.
int32_t CachedFontCount();

}  // namespace tw
