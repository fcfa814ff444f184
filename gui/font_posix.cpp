// The stand-in fonts of the native build: no font system, fixed metrics
// (font.h, rules b and c). A "platform font" is a record of what would have
// been asked of GDI, so that the cache and the language fallback behave as
// on Windows.
#include <cstddef>

#include "base/strings.h"
#include "gui/canvas.h"
#include "gui/canvas_internal.h"
#include "gui/font.h"

namespace {

struct sStandInFont {
  int32_t height;
  int32_t width;
  int32_t weight;
  bool italic;
  bool underline;
};

// The faces the stand-in "has". "Malgun Gothic" is missing on purpose, so
// that the fallback to "Tahoma" can be seen natively.
constexpr const char16_t* kFaces[] = {
    u"Tahoma", u"Segoe UI", u"Meiryo", u"Microsoft YaHei", u"Microsoft JhengHei",
    u"SimSun", u"PMingLiU", u"Courier New", u"Arial",
};

}  // namespace

namespace tw {
bool FontFaceExists(const char16_t* face) {
  if (face == nullptr) return false;
  for (const char16_t* f : kFaces)
    if (CompareNoCaseW(f, face) == 0) return true;
  return false;
}
}  // namespace tw

cWinFont::~cWinFont() { delete static_cast<sStandInFont*>(handle_); }

bool cWinFont::Create(int32_t w, int32_t h, const char16_t* faceName, bool isBold, bool isUnderline,
                      bool isItalic) {
  return CreateUIFont(&handle_, faceName, h, w, isBold ? 700 : 400, isItalic, isUnderline);
}

bool cWinFont::MeasureText(cCanvas* canvas, const char16_t* text, int32_t length, sSize* size) {
  if (canvas == nullptr || text == nullptr || size == nullptr) return false;
  *size = {tw::TextLength(text, length) * tw::StandInCellWidth(this), tw::StandInTextHeight(this)};
  return true;
}

bool cWinFont::MeasureTextAnsi(cCanvas* canvas, const char* text, int32_t length, sSize* size) {
  if (canvas == nullptr || text == nullptr || size == nullptr) return false;
  *size = {tw::TextLength(text, length) * tw::StandInCellWidth(this), tw::StandInTextHeight(this)};
  return true;
}

bool CreateUIFont(void** slot, const char16_t* face, int32_t height, int32_t width, int32_t weight,
                  bool italic, bool underline) {
  if (slot == nullptr) return false;
  delete static_cast<sStandInFont*>(*slot);
  *slot = nullptr;
  if (face == nullptr || !tw::FontFaceExists(face)) return false;
  tw::CorrectFontSize(face, weight, &height, &width);
  *slot = new sStandInFont{height, width, weight, italic, underline};
  return true;
}

bool MeasureTextWithFont(const char16_t* text, void*, const cWinFont* font, sSize* size) {
  if (text == nullptr || font == nullptr || size == nullptr) return false;
  *size = {WideLength(text) * tw::StandInCellWidth(font), tw::StandInTextHeight(font)};
  return true;
}
