// See gui/static_element.h.
#include "gui/static_element.h"

#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/picture.h"
#include "gui/theme.h"

namespace {
enum : int32_t { kColourText = 4, kColourBackground = 14, kColourFrame = 20 };

// A disabled label's text: every channel halfway to 196.
uint32_t DisabledText(uint32_t c) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) out |= ((((c >> shift) & 0xFF) + 196) / 2) << shift;
  return out;
}
}  // namespace

void cStaticElement::InitDefaults() {
  cChildElement::InitDefaults();
  cCITheme* theme = GetTheme();
  textColour_ = theme->GetColour(kColourText);
  labelBackground_ = theme->GetColour(kColourBackground);
  frameColour_ = theme->GetColour(kColourFrame);
}

cWinFont* cStaticElement::LabelFont() { return font_ != nullptr ? font_ : GetDefaultFont(); }

void cStaticElement::SetIcon(cPicture* icon, bool redraw) {
  icon_ = icon;
  if (redraw) Invalidate(nullptr);
}

void cStaticElement::SetLabelText(const char16_t* text, int32_t alignment, bool redraw) {
  // The alignment is read by Paint under the lock too.
  cSafeCriticalSectionAccess hold(&lock_);
  alignment_ = alignment;
  SetText(text, -1, redraw);
}

void cStaticElement::SetFont(cWinFont* font) {
  if (font == font_) return;
  font_ = font;
  Invalidate(nullptr);
}

#define TW_LABEL_SETTER(name, field, type) \
  void cStaticElement::name(type value) {  \
    if (field == value) return;            \
    field = value;                         \
    Invalidate(nullptr);                   \
  }
TW_LABEL_SETTER(SetTextColour, textColour_, uint32_t)
TW_LABEL_SETTER(SetLabelBackground, labelBackground_, uint32_t)
TW_LABEL_SETTER(SetFrameColour, frameColour_, uint32_t)
TW_LABEL_SETTER(SetTextMode, textMode_, int32_t)
TW_LABEL_SETTER(SetIndent, indent_, int32_t)
#undef TW_LABEL_SETTER

void cStaticElement::SetColours(uint32_t text, uint32_t background, uint32_t frame) {
  if (text == textColour_ && background == labelBackground_ && frame == frameColour_) return;
  textColour_ = text;
  labelBackground_ = background;
  frameColour_ = frame;
  Invalidate(nullptr);
}

void cStaticElement::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const int32_t w = GetWidth(), h = GetHeight();
  uint32_t background = labelBackground_, text = textColour_;
  if (!IsEnabledInTree()) {
    AdjustDisabledColours(background);
    text = DisabledText(text);
  }
  const bool transparent = IsTransparent();
  if (!transparent) {
    const sRect all{0, 0, w, h};
    canvas->DrawRect(&all, background, frameColour_);
  }
  int32_t x0 = GetIconOffset() + 3;
  if (icon_ != nullptr) x0 += icon_->GetWidth() + 5;
  int32_t textStart = x0;
  {
    cSafeCriticalSectionAccess hold(&lock_);
    const char16_t* t = GetText();
    if (t != nullptr && t[0] != 0) {
      canvas->SelectFont(LabelFont());
      canvas->SetTextColours(text, background);
      switch (textMode_) {
        case 0: {
          const int32_t at = canvas->DrawTextLine(x0 + indent_, 1, w - indent_ - x0 - 2, h - 2, alignment_,
                                                  transparent, 0, 0, t, -1, nullptr, false);
          textStart = at - indent_;
          break;
        }
        case 1: {
          const sRect box{x0, 1, w - x0 - 3, h - 2};
          cCanvas* clip = canvas->CreateSubCanvas(&box);
          sSize size;
          canvas->MeasureText(t, -1, &size);
          const int32_t a = w - x0 - 3;
          int32_t x = x0;
          if (size.width < a) {
            if (alignment_ == 1)
              x = x0 + (a - size.width) / 2;
            else if (alignment_ == 2)
              x = x0 + a - size.width;
            textStart = x;
            x += alignment_ == 2 ? -indent_ : indent_;
          }
          const int32_t y = (h - size.height) / 2;
          if (clip != nullptr) {
            // The sub-canvas shares the surface's clip: select its own, and
            // the label's again afterwards.
            clip->ApplyClip();
            clip->SelectFont(LabelFont());
            clip->SetTextColours(text, background);
            clip->DrawText(x - box.x, y - box.y, transparent, t, -1);
            delete clip;
            canvas->ApplyClip();
          }
          break;
        }
        case 2:
          if (h > 6 && x0 + 3 < w)
            canvas->DrawTextWrapped(x0 + indent_, 3, w - indent_ - x0 - 3, h - 6, alignment_, t, nullptr,
                                    transparent, lineSpacing_);
          break;
        default:
          break;
      }
    }
  }
  if (icon_ != nullptr) {
    const sPoint at{textStart - icon_->GetWidth() - 5, (h - icon_->GetHeight() + 1) / 2};
    canvas->DrawPictureBlended(&at, icon_, nullptr);
  }
}

bool cStaticElement::MeasureLabel(sSize& size) {
  size.width = GetIconOffset() + (icon_ != nullptr ? icon_->GetWidth() + 11 : 6);
  size.height = icon_ != nullptr ? icon_->GetHeight() + 4 : 0;
  const char16_t* t = GetText();
  if (t != nullptr && t[0] != 0) {
    sSize text;
    if (!MeasureText(t, &text, LabelFont())) return false;
    const int32_t th = text.height + (textMode_ == 2 ? 6 : 2);
    if (th > size.height) size.height = th;
    size.width += text.width;
  }
  size.width += indent_;
  return true;
}
