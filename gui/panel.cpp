// See gui/panel.h.
#include "gui/panel.h"

#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/theme.h"

namespace {
enum : int32_t { kColourPanel = 0, kColourPanelText = 4 };
enum : uint32_t { kPicUnchecked = 30, kPicChecked = 31, kPicUncheckedFocused = 32,
                  kPicCheckedFocused = 33, kPicUncheckedDisabled = 34, kPicCheckedDisabled = 35 };
constexpr int32_t kSpace = 32;
}  // namespace

// ---- Panel -------------------------------------------------------------------

sPoint PanelTextOrigin(int32_t w, int32_t h, int32_t tw, int32_t th, int32_t horizontalAlign,
                       int32_t verticalAlign, int32_t horizontalMargin, int32_t verticalMargin) {
  sPoint p;
  switch (horizontalAlign) {
    case 0: p.x = horizontalMargin; break;
    case 1: p.x = w - horizontalMargin - tw; break;
    case 2: p.x = (w - tw) / 2 + horizontalMargin; break;
    default: p.x = 0; break;
  }
  switch (verticalAlign) {
    case 0: p.y = verticalMargin; break;
    case 1: p.y = h - verticalMargin - th; break;
    case 2: p.y = (h - th) / 2 + verticalMargin; break;
    default: p.y = 0; break;
  }
  return p;
}

void cPanelChild::InitDefaults() {
  cChildElement::InitDefaults();
  backColour_ = GetTheme()->GetColour(kColourPanel);
  borderColour_ = -1;
  verticalMargin_ = 0;
  horizontalMargin_ = 0;
  horizontalAlign_ = 2;
  verticalAlign_ = 2;
}

void cPanelChild::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const int32_t w = GetWidth(), h = GetHeight();
  const sRect all{0, 0, w, h};
  canvas->DrawRect(&all, backColour_, borderColour_ == -1 ? backColour_ : static_cast<uint32_t>(borderColour_));
  const char16_t* text = GetText();
  if (text == nullptr || text[0] == 0) return;
  canvas->SelectFont(GetDefaultFont());
  sSize size;
  if (!canvas->MeasureText(text, -1, &size)) return;
  const sPoint at = PanelTextOrigin(w, h, size.width, size.height, horizontalAlign_, verticalAlign_,
                                    horizontalMargin_, verticalMargin_);
  canvas->SetTextColours(GetTheme()->GetColour(kColourPanelText), backColour_);
  canvas->DrawText(at.x, at.y, false, text, -1);
}

bool cPanelChild::PaintOwnBg(cCanvas* canvas, const sRect* rect) {
  if (canvas == nullptr) return false;
  (void)rect;
  const sRect all{0, 0, canvas->GetWidth(), canvas->GetHeight()};
  canvas->DrawRect(&all, backColour_, backColour_);
  return true;
}

// ---- Check box ---------------------------------------------------------------

void cCheckBoxChild::InitDefaults() {
  cStaticElement::InitDefaults();
  checked_ = 0;
  UpdatePicture();
}

cPicture* cCheckBoxChild::PictureChecked() { return GetTheme()->GetPicture(kPicChecked); }
cPicture* cCheckBoxChild::PictureUnchecked() { return GetTheme()->GetPicture(kPicUnchecked); }
cPicture* cCheckBoxChild::PictureCheckedFocused() { return GetTheme()->GetPicture(kPicCheckedFocused); }
cPicture* cCheckBoxChild::PictureUncheckedFocused() { return GetTheme()->GetPicture(kPicUncheckedFocused); }
cPicture* cCheckBoxChild::PictureCheckedDisabled() { return GetTheme()->GetPicture(kPicCheckedDisabled); }
cPicture* cCheckBoxChild::PictureUncheckedDisabled() {
  return GetTheme()->GetPicture(kPicUncheckedDisabled);
}

void cCheckBoxChild::UpdatePicture() {
  cPicture* p;
  if (IsEnabledInTree()) {
    if (HasFocus())
      p = checked_ ? PictureCheckedFocused() : PictureUncheckedFocused();
    else
      p = checked_ ? PictureChecked() : PictureUnchecked();
  } else {
    p = checked_ ? PictureCheckedDisabled() : PictureUncheckedDisabled();
  }
  SetIcon(p, true);
}

void cCheckBoxChild::Toggle() {
  checked_ = checked_ ? 0 : 1;
  UpdatePicture();
  PostAction(nullptr);
}

void cCheckBoxChild::OnMouseButton(int32_t, int32_t, int32_t button, bool down) {
  if (button == 1 && !down) Toggle();
}

void cCheckBoxChild::OnKey(int32_t virtualKey, bool, bool, bool) {
  if (virtualKey == kSpace) Toggle();
}

void cCheckBoxChild::OnEnable(bool) { UpdatePicture(); }
void cCheckBoxChild::OnGotFocus(bool, bool) { UpdatePicture(); }
void cCheckBoxChild::OnLostFocus(bool, bool) { UpdatePicture(); }

void cCheckBoxChild::SetChecked(bool checked, bool notify) {
  const uint8_t value = checked ? 1 : 0;
  if (value == checked_) return;
  checked_ = value;
  UpdatePicture();
  if (notify) PostAction(nullptr);
}
