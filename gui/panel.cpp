// See gui/panel.h.
#include "gui/panel.h"

#include <new>

#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/theme.h"
#include "gui/window_holder.h"

namespace {
enum : int32_t { kColourPanel = 0, kColourPanelText = 4, kColourHintFill = 11, kColourHintFrame = 12,
                 kColourHintText = 13 };
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

// ---- Hint ------------------------------------------------------------------------

sRect HintLayout(int32_t widest, int32_t tallest, int32_t lines, const sPoint* position,
                 const sPoint& ownerScreen, int32_t ownerHeight, int32_t placement) {
  sRect r{0, 0, widest + 8, tallest * lines + 4};
  if (position != nullptr) {
    r.x = position->x;
    r.y = placement == 1 ? position->y - tallest * lines - 6 : position->y;
  } else {
    r.x = ownerScreen.x + 2;
    r.y = placement == 1 ? ownerScreen.y - tallest * lines - 6 : ownerScreen.y + ownerHeight + 2;
  }
  return r;
}

cHintMaster::~cHintMaster() {
  cWindowHolder* window = window_;
  window_ = nullptr;
  // The holder's host goes away with the holder: the element core must not
  // ask it to destroy the window afterwards.
  host_ = nullptr;
  if (window != nullptr) window->Release(true);  // this element is being destroyed already
}

bool cHintMaster::Show(cChildElement* owner, const char16_t* text, const sPoint* position,
                       uint32_t fillColour, uint32_t textColour, int32_t placement) {
  if (owner == nullptr || text == nullptr) return false;
  cWinFont* font = owner->GetDefaultFont();
  if (font == nullptr) return false;
  // Lines at line feeds; a trailing line feed gives a last, empty line.
  int32_t widest = 0, tallest = 0, lines = 0;
  const char16_t* start = text;
  for (const char16_t* p = text;; ++p) {
    if (*p != u'\n' && *p != 0) continue;
    _guardchar<char16_t> line;
    line.AssignN(start, static_cast<uint32_t>(p - start));
    sSize size;
    owner->MeasureText(line.text != nullptr ? line.text : u"", &size, font);
    if (size.width > widest) widest = size.width;
    if (size.height > tallest) tallest = size.height;
    ++lines;
    if (*p == 0) break;
    start = p + 1;
  }
  if (widest == 0) return false;
  lineHeight_ = tallest;
  sPoint ownerScreen;
  owner->GetScreenPos(&ownerScreen);
  const sRect r = HintLayout(widest, tallest, lines, position, ownerScreen, owner->GetHeight(), placement);
  cCITheme* theme = GetTheme();
  fillColour_ = fillColour == kDefaultColour ? theme->GetColour(kColourHintFill) : fillColour;
  textColour_ = textColour == kDefaultColour ? theme->GetColour(kColourHintText) : textColour;
  SetText(text, -1, false);
  cWindowHolder* window = owner->ShowHintWindow(r.x, r.y, r.width, r.height, this, false);
  if (window_ != nullptr) window_->Release(true);
  window_ = window;
  return window_ != nullptr;
}

void cHintMaster::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  canvas->SelectFont(GetDefaultFont());
  const sRect all{0, 0, GetWidth(), GetHeight()};
  canvas->DrawRect(&all, fillColour_, GetTheme()->GetColour(kColourHintFrame));
  const char16_t* text = GetText();
  if (text == nullptr) return;
  canvas->SetTextColours(textColour_, fillColour_);
  int32_t y = 2;
  const char16_t* start = text;
  for (const char16_t* p = text;; ++p) {
    if (*p != u'\n' && *p != 0) continue;
    if (p > start) canvas->DrawText(4, y, false, start, static_cast<int32_t>(p - start));
    y += lineHeight_;
    if (*p == 0) break;
    start = p + 1;
  }
}
