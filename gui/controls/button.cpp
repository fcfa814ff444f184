// See gui/controls/button.h.
#include "gui/controls/button.h"

#include "base/strings.h"
#include "gui/canvas.h"
#include "gui/controls/draw_util.h"
#include "gui/font.h"
#include "gui/theme.h"

namespace {

enum : int32_t { kColourFill = 14, kColourText = 4, kColourDisabledText = 5, kColourInnerEdge = 52 };
constexpr uint32_t kFirstFramePicture = 23;
// First and second edge colours of the states 0 to 4.
constexpr int32_t kEdgeColours[5][2] = {{53, 54}, {55, 56}, {57, 58}, {57, 58}, {59, 60}};
enum : int32_t { kEnter = 13, kSpace = 32 };

// Each channel halfway to mid-grey, the division truncating toward zero.
uint32_t DerivedDisabledFill(uint32_t c) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int32_t v = static_cast<int32_t>((c >> shift) & 0xFF);
    out |= static_cast<uint32_t>(128 + (v - 128) / 2) << shift;
  }
  return out;
}

bool HasPixels(const cPicture* p) { return p != nullptr && p->GetPixels() != nullptr; }

}  // namespace

int32_t MeasureButtonWidth(cChildElement* element, const char16_t* text, const cPicture* picture, int32_t layout,
                           cWinFont* font) {
  int32_t textWidth = 0;
  const bool hasText = text != nullptr && text[0] != 0;
  if (element != nullptr && hasText) {
    sSize size;
    if (element->MeasureText(text, &size, font != nullptr ? font : element->GetDefaultFont()))
      textWidth = size.width;
  }
  int32_t width = textWidth + 10;
  if (picture != nullptr) {
    const int32_t pw = picture->GetWidth();
    if (layout == 0)
      width = hasText ? textWidth + pw + 16 : pw + 11;
    else if (layout == 1 && width < pw + 6)
      width = pw + 6;
  }
  return width;
}

// ---- Push button ---------------------------------------------------------------------

void cButtonChild::InitDefaults() {
  cChildElement::InitDefaults();
  cCITheme* theme = GetTheme();
  font_ = GetDefaultFont();
  solidFill_ = theme->GetColour(kColourFill);
  disabledFill_ = 0xFFFFFFFFu;
  for (uint32_t& c : textColours_) c = theme->GetColour(kColourText);
  disabledText_ = theme->GetColour(kColourDisabledText);
  for (int32_t s = 0; s < 5; ++s) {
    firstEdge_[s] = theme->GetColour(kEdgeColours[s][0]);
    secondEdge_[s] = theme->GetColour(kEdgeColours[s][1]);
  }
  hover_ = pressed_ = 0;
  preferredWidth_ = -1;
}

const char16_t* cButtonChild::GetText() { return caption_.IsEmpty() ? nullptr : caption_.text; }

cPictureHolder* cButtonChild::GetPictureHolder(int32_t state) {
  switch (state) {
    case 1: case 2: return &pictures_[1];
    case 3: return &pictures_[2];
    case 4: return &pictures_[3];
    default: return &pictures_[0];
  }
}

void cButtonChild::SetCaption(const char16_t* text) {
  caption_.Assign(text);
  preferredWidth_ = -1;
  Invalidate(nullptr);
}

void cButtonChild::SetFont(cWinFont* font) {
  font_ = font;
  preferredWidth_ = -1;
  Invalidate(nullptr);
}

void cButtonChild::SetPictureLayout(int32_t layout, bool redraw) {
  pictureLayout_ = layout;
  preferredWidth_ = -1;
  if (redraw) Invalidate(nullptr);
}

#define TW_BUTTON_SETTER(name, field, type) \
  void cButtonChild::name(type value, bool redraw) { \
    if (field == value) return;                       \
    field = value;                                    \
    if (redraw) Invalidate(nullptr);                  \
  }
TW_BUTTON_SETTER(SetStyle, style_, int32_t)
TW_BUTTON_SETTER(SetTextAlignment, alignment_, int32_t)
TW_BUTTON_SETTER(SetFillColour, solidFill_, uint32_t)
TW_BUTTON_SETTER(SetDisabledTextColour, disabledText_, uint32_t)
#undef TW_BUTTON_SETTER

void cButtonChild::SetTextColour(uint32_t colour, bool redraw) {
  bool changed = false;
  for (uint32_t& c : textColours_) changed |= c != colour, c = colour;
  if (changed && redraw) Invalidate(nullptr);
}

void cButtonChild::SetStateTextColour(int32_t state, uint32_t colour, bool redraw) {
  if (state < 0 || state > 4) return;
  uint32_t& c = state == 4 ? disabledText_ : textColours_[state];
  if (c == colour) return;
  c = colour;
  if (redraw) Invalidate(nullptr);
}

uint32_t cButtonChild::GetStateTextColour(int32_t state) const {
  return state >= 0 && state < 4 ? textColours_[state] : disabledText_;
}

void cButtonChild::SetStateColours(int32_t state, uint32_t first, uint32_t second) {
  if (state < 0 || state > 4) return;
  if (first != 0xFFFFFFFFu) firstEdge_[state] = first;
  if (second != 0xFFFFFFFFu) secondEdge_[state] = second;
}

void cButtonChild::SetFramePicture(int32_t state, cPicture* picture) {
  if (picture == nullptr) {
    frameOverrides_.EraseKey(state);
    return;
  }
  if (cPicture** slot = frameOverrides_.FindOrInsert(state)) *slot = picture;
}

int32_t cButtonChild::GetPreferredWidth() {
  if (preferredWidth_ < 0)
    preferredWidth_ = MeasureButtonWidth(this, GetText(), pictures_[0].Get(), pictureLayout_, font_);
  return preferredWidth_;
}

int32_t cButtonChild::VisualState() {
  if (!IsEnabledInTree()) return 4;
  if (pressed_) return 3;
  if (hover_) return 2;
  if (HasFocus()) return 1;
  return 0;
}

cPicture* cButtonChild::StatePicture(int32_t state) {
  cPicture* normal = pictures_[0].Get();
  cPicture* hover = pictures_[1].Get();
  switch (state) {
    case 1: case 2: return HasPixels(hover) ? hover : normal;
    case 3:
      if (HasPixels(pictures_[2].Get())) return pictures_[2].Get();
      return HasPixels(hover) ? hover : normal;
    case 4: return HasPixels(pictures_[3].Get()) ? pictures_[3].Get() : normal;
    default: return normal;
  }
}

cPicture* cButtonChild::FramePicture(int32_t state) {
  if (cPicture** p = frameOverrides_.Find(state)) return *p;
  return GetTheme()->GetPicture(kFirstFramePicture + static_cast<uint32_t>(state));
}

void cButtonChild::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const int32_t w = GetWidth(), h = GetHeight(), s = VisualState();
  const uint32_t first = firstEdge_[s], second = secondEdge_[s];
  const int32_t pressed = pressed_ ? 1 : 0;
  auto line = [&](uint32_t colour, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    canvas->SetLinePen(colour, 1);
    canvas->DrawLine(sPoint{x1, y1}, sPoint{x2, y2});
  };
  auto outer = [&](uint32_t topLeft, uint32_t bottomRight) {
    line(topLeft, 0, 0, w, 0);
    line(topLeft, 0, 0, 0, h);
    line(bottomRight, w - 1, h - 1, 0, h - 1);
    line(bottomRight, w - 1, h - 1, w - 1, 0);
  };
  auto frame = [&](int32_t x, int32_t y, int32_t fw, int32_t fh) {
    tw::DrawStretched(canvas, FramePicture(s), sRect{x, y, fw, fh});
  };
  const bool solid = style_ == kButtonSolid || (style_ == kButtonFlat && (s == 0 || s == 4));
  if (!(IsTransparent() && (s == 0 || s == 4))) {
    if (style_ == kButtonRaisedDouble) {
      outer(first, second);
      const uint32_t inner = GetTheme()->GetColour(kColourInnerEdge);
      line(inner, 1, 1, w - 1, 1);
      line(inner, 1, 1, 1, h - 1);
      line(inner, w - 2, h - 2, 1, h - 2);
      line(inner, w - 2, h - 2, w - 2, 1);
      frame(2, 2, w - 4, h - 4);
    } else if (style_ == kButtonPicture) {
      frame(0, 0, w, h);
    } else if (style_ == kButtonSingle) {
      outer(second, second);
      frame(1, 1, w - 2, h - 2);
    } else if (solid) {
      const sRect all{0, 0, w, h};
      canvas->DrawRect(&all, solidFill_, solidFill_);
    } else {
      outer(first, second);
      if (style_ == kButtonRaisedSolid && (s == 0 || s == 4)) {
        uint32_t fill = solidFill_;
        if (s == 4) fill = disabledFill_ != 0xFFFFFFFFu ? disabledFill_ : DerivedDisabledFill(solidFill_);
        const sRect inside{1, 1, w - 2, h - 2};
        canvas->DrawRect(&inside, fill, fill);
      } else {
        frame(1, 1, w - 2, h - 2);
      }
    }
  }
  cPicture* p = StatePicture(s);
  if (!HasPixels(p)) p = nullptr;
  const int32_t pw = p != nullptr ? p->GetWidth() : 0, ph = p != nullptr ? p->GetHeight() : 0;
  if (p != nullptr && style_ == kButtonSolid) {
    const sPoint at{(w - pw) / 2, (h - ph) / 2 + pressed};
    canvas->DrawPictureBlended(&at, p, nullptr);
  }
  if (font_ != nullptr) canvas->SelectFont(font_);
  const uint32_t textColour = s == 4 ? disabledText_ : textColours_[s];
  canvas->SetTextColours(textColour, canvas->GetBackgroundColour());
  const char16_t* caption = GetText();
  sSize textSize;
  if (caption != nullptr) canvas->MeasureText(caption, -1, &textSize);
  int32_t L = 3, T = 3;
  if (pictureLayout_ == 0) {
    if (p != nullptr) L = pw + 8;
    if (caption != nullptr) T = (h - textSize.height) / 2;
  } else if (pictureLayout_ == 1) {
    if (p != nullptr) T = ph + 5;
  }
  int32_t tx = -1;
  if (caption != nullptr)
    tx = canvas->DrawTextLine(2, T + pressed, w - 4, textSize.height, alignment_, true, L, 3, caption, -1, nullptr,
                              false);
  if (p == nullptr || style_ == kButtonSolid) return;
  if (tx < 0) tx = w;
  int32_t x = 0, y = 0;
  if (pictureLayout_ == 0) {
    x = (tx - pw) / 2;
    y = (h - ph) / 2;
  } else if (pictureLayout_ == 1) {
    x = 3;
    y = caption != nullptr ? 3 : (h - ph) / 2;
    if (alignment_ == 1)
      x = (w - pw) / 2;
    else if (alignment_ == 2)
      x = w - pw - 3;
  }
  tw::DrawBlendedClipped(canvas, p, sPoint{x, y + pressed}, sRect{x, 2, pw, h - 4});
}

void cButtonChild::Press() {
  pressed_ = 1;
  Invalidate(nullptr);
}

void cButtonChild::ReleaseAt(int32_t x, int32_t y) {
  if (!pressed_) return;
  pressed_ = 0;
  Invalidate(nullptr);
  ReleaseMouse();
  if (ContainsPoint(x, y)) PostKind(0);
}

void cButtonChild::OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) {
  if (button != 1 || !IsEnabledInTree()) return;
  if (down) {
    Press();
    CaptureMouse(false);
  } else {
    ReleaseAt(x, y);
  }
}

void cButtonChild::OnKey(int32_t key, bool, bool, bool) {
  if (!IsEnabledInTree() || (key != kEnter && key != kSpace)) return;
  Press();
  PostKind(0);
  pressed_ = 0;
  Invalidate(nullptr);
}

void cButtonChild::OnEnter() {
  cChildElement::OnEnter();
  hover_ = 1;
  if (IsEnabledInTree()) Invalidate(nullptr);
}

void cButtonChild::OnLeave() {
  cChildElement::OnLeave();
  hover_ = 0;
  if (IsEnabledInTree()) Invalidate(nullptr);
}

void cButtonChild::OnGotFocus(bool, bool) {
  if (IsEnabledInTree()) Invalidate(nullptr);
}

void cButtonChild::OnLostFocus(bool, bool) {
  if (IsEnabledInTree()) Invalidate(nullptr);
}

// ---- Generic button ------------------------------------------------------------------------

void cGenButtonChild::InitDefaults() {
  cChildElement::InitDefaults();
  hover_ = pressed_ = selected_ = 0;
}

void cGenButtonChild::SetSelected(bool selected, bool redraw) {
  const uint8_t v = selected ? 1 : 0;
  if (v == selected_) return;
  selected_ = v;
  if (redraw) Invalidate(nullptr);
}

void cGenButtonChild::OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) {
  if (button != 1 || selected_ || !IsEnabledInTree()) return;
  if (down) {
    pressed_ = 1;
    Invalidate(nullptr);
    CaptureMouse(false);
    return;
  }
  if (!pressed_) return;
  pressed_ = 0;
  Invalidate(nullptr);
  ReleaseMouse();
  if (ContainsPoint(x, y)) PostKind(0);
}

void cGenButtonChild::OnKey(int32_t key, bool, bool, bool) {
  if (selected_ || !IsEnabledInTree() || (key != kEnter && key != kSpace)) return;
  pressed_ = 1;
  Invalidate(nullptr);
  PostKind(0);
  pressed_ = 0;
  Invalidate(nullptr);
}

void cGenButtonChild::OnEnter() {
  cChildElement::OnEnter();
  hover_ = 1;
  if (IsEnabledInTree()) Invalidate(nullptr);
}

void cGenButtonChild::OnLeave() {
  cChildElement::OnLeave();
  hover_ = 0;
  if (IsEnabledInTree()) Invalidate(nullptr);
}

void cGenButtonChild::OnGotFocus(bool, bool) {
  if (IsEnabledInTree()) Invalidate(nullptr);
}

void cGenButtonChild::OnLostFocus(bool, bool) {
  if (IsEnabledInTree()) Invalidate(nullptr);
}
