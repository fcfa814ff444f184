// The application's flat and selector buttons. See wzi_button.h.
#include "tools/wzi_button.h"

#include <algorithm>

#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/geometry.h"

uint32_t BlendColours(uint32_t a, uint32_t p, uint32_t b, uint32_t q) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    out |= ((ca * p) / 255 + (cb * q) / 255) << shift;
  }
  return out;
}

// ---- cWZIButton ---------------------------------------------------------------

void cWZIButton::InitDefaults() {
  cGenButtonChild::InitDefaults();
  SetColours(0xA79997, 0xE7E7E7, 0x655654, 0xFFFFFF);
}

void cWZIButton::SetColours(uint32_t border, uint32_t face, uint32_t text, uint32_t highlight) {
  border_ = border;
  face_ = face;
  text_ = text;
  highlight_ = highlight;
}

void cWZIButton::StateColours(uint32_t& face, uint32_t& text) const {
  face = face_;
  text = text_;
  if (!IsEnabledInTree()) {
    face = BlendColours(face_, 159, highlight_, 96);
    text = BlendColours(text_, 127, face_, 128);
  } else if (IsPressed()) {
    face = BlendColours(highlight_, 192, face_, 63);
  } else if (IsHover()) {
    face = BlendColours(face_, 159, highlight_, 96);
  }
}

int32_t cWZIButton::CaptionWidth() {
  const char16_t* caption = GetText();
  if (caption == nullptr || *caption == 0) return 0;
  sSize size{0, 0};
  if (!MeasureText(caption, &size, GetFont(6, 14, GetUIFaceName(), true, false, false))) return 0;
  return size.width + 16;
}

void cWZIButton::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const int32_t w = GetWidth(), h = GetHeight();
  uint32_t face = 0, text = 0;
  StateColours(face, text);
  const sRect all{0, 0, w, h};
  canvas->DrawRect(&all, face, border_);

  const char16_t* caption = GetText();
  if (caption == nullptr || *caption == 0) return;
  canvas->SelectFont(GetFont(6, 14, GetUIFaceName(), true, false, false));
  sSize size;
  if (!canvas->MeasureText(caption, -1, &size)) return;
  const sRect box{std::max(0, (w - size.width) / 2), std::max(0, (h - size.height) / 2),
                  std::min(w, size.width), std::min(h, size.height)};
  canvas->AddClipRect(&box);
  canvas->SetTextColours(text, face);
  canvas->DrawText(box.x, box.y, false, caption, -1);
}

// ---- cWZISelButton -----------------------------------------------------------

void cWZISelButton::InitDefaults() {
  cGenButtonChild::InitDefaults();
  font_ = GetCachedFont(6, 17, GetUIFaceName(), false, false, false);
  if (font_ == nullptr) font_ = GetCachedFont(5, 13, GetUIFaceName(), false, false, false);
}

void cWZISelButton::OnMouseMove(int32_t x, int32_t y) {
  cGenButtonChild::OnMouseMove(x, y);
  ApplyCursor(IsSelected() ? 0 : 3);  // the hand offers a click; a selected tab takes none
}

uint32_t cWZISelButton::AccentColour() const {
  if (IsSelected()) return 0x5C5CDA;
  if (IsHover() || IsPressed()) return 0xA29389;
  return 0x9A8A7E;
}

void cWZISelButton::Paint(cCanvas* canvas) {
  const int32_t w = GetWidth(), h = GetHeight();
  if (canvas == nullptr || w < 38 || h < 24) return;
  const uint32_t accent = AccentColour();
  const char16_t* caption = GetText();
  const bool hasCaption = caption != nullptr && *caption != 0;
  if (font_ != nullptr) canvas->SelectFont(font_);
  sSize size;
  if (hasCaption) canvas->MeasureText(caption, -1, &size);
  const bool narrow = size.width > w - 38;
  const sRect box{narrow ? 19 : (w - size.width) / 2, (h - size.height - 4) / 2 + 4,
                  narrow ? w - 38 : size.width, size.height};

  const sRect body{0, 4, w, h - 4};
  canvas->DrawRect(&body, 0xFFFFFF, 0xFFFFFF);
  canvas->SetLinePen(0xEBEBEB, 1);
  canvas->DrawLine(sPoint{0, 3}, sPoint{w, 3});
  const sRect band{0, 0, w, 3};
  canvas->DrawRect(&band, 0xFFFFFF, 0xFFFFFF);
  if (IsSelected() && box.width > 0) {
    // The bar starts at x 19 whatever the caption's position.
    const sRect bar{19, 0, box.width, 3};
    canvas->DrawRect(&bar, accent, accent);
  }
  if (!hasCaption) return;
  canvas->AddClipRect(&box);
  canvas->SetTextColours(accent, 0xFFFFFF);
  if (narrow) {
    canvas->DrawTextLine(box.x, box.y, box.width, box.height, 0, false, 0, 0, caption, -1, nullptr, false);
  } else {
    canvas->DrawText(box.x, box.y, false, caption, -1);
  }
}
