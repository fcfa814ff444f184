// See gui/controls/prop_area.h.
#include "gui/controls/prop_area.h"

#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/theme.h"

namespace {
enum : int32_t { kColourFrame = 44, kColourFill = 45, kColourText = 4 };
}  // namespace

void cPropDispAreaChild::InitDefaults() {
  cScrollableElement::InitDefaults();
  cCITheme* theme = GetTheme();
  frameColour_ = theme->GetColour(kColourFrame);
  fillColour_ = theme->GetColour(kColourFill);
  textColour_ = theme->GetColour(kColourText);
}

const char16_t* cPropDispAreaChild::GetText() { return body_.IsEmpty() ? nullptr : body_.text; }

void cPropDispAreaChild::SetTexts(const char16_t* title, const char16_t* body) {
  title_.Assign(title);
  body_.Assign(body);
  Invalidate(nullptr);
}

void cPropDispAreaChild::SetColours(uint32_t frame, uint32_t fill, uint32_t text) {
  frameColour_ = frame;
  fillColour_ = fill;
  textColour_ = text;
  Invalidate(nullptr);
}

void cPropDispAreaChild::SetTitleGap(int32_t gap) {
  if (gap >= 0) gap_ = gap;
}

void cPropDispAreaChild::PaintContent(cCanvas* canvas) {
  if (canvas == nullptr) return;
  sRect view;
  ViewRect(&view);
  const int32_t B = GetBorderWidth();
  const sRect inner{view.x + B, view.y + B, view.width - 2 * B, view.height - 2 * B};
  const bool transparent = IsTransparent();
  cCanvas* clip = inner.width > 0 && inner.height > 0 ? canvas->CreateSubCanvas(&inner) : nullptr;
  if (clip != nullptr) {
    clip->ApplyClip();
    int32_t cw = 0, ch = 0;
    ClientSize(&cw, &ch);
    const int32_t sy = GetScrollY();
    // The sub-canvas starts at the inset: draw in element coordinates.
    const int32_t ox = -inner.x, oy = -inner.y;
    if (!transparent) {
      const sRect fill{ox, oy - sy, cw, ch};
      clip->DrawRect(&fill, fillColour_, fillColour_);
    }
    clip->SetTextColours(textColour_, fillColour_);
    const int32_t available = GetWidth() - 25;
    int32_t total = 10, th = 0;
    if (!title_.IsEmpty()) {
      clip->SelectFont(titleFont_ != nullptr ? titleFont_ : GetBoldFont());
      sSize size;
      clip->DrawTextWrapped(ox + 5, oy + 5 - sy, available, 32767, 0, title_.text, &size, transparent, 0);
      th = size.height + gap_;
      total = th + 10;
    }
    if (!body_.IsEmpty()) {
      clip->SelectFont(bodyFont_ != nullptr ? bodyFont_ : GetDefaultFont());
      sSize size;
      clip->DrawTextWrapped(ox + 5, oy + th + 5 - sy, available, 2147483647, 3, body_.text, &size, transparent, 0);
      total += size.height;
    }
    delete clip;
    canvas->ApplyClip();
    if (total != GetContentHeight()) PostAction(new cPropDispResizeAction(total));
  }
  if (!transparent) {
    const int32_t w = GetWidth(), h = GetHeight();
    canvas->SetLinePen(frameColour_, 1);
    canvas->DrawLine(sPoint{0, 0}, sPoint{w - 1, 0});
    canvas->DrawLine(sPoint{w - 1, 0}, sPoint{w - 1, h - 1});
    canvas->DrawLine(sPoint{w - 1, h - 1}, sPoint{0, h - 1});
    canvas->DrawLine(sPoint{0, h - 1}, sPoint{0, 0});
  }
}
