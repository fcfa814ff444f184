// See gui/hint.h.
#include "gui/hint.h"

#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/theme.h"
#include "gui/window_holder.h"

namespace {
enum : int32_t { kColourHintFill = 11, kColourHintFrame = 12, kColourHintText = 13 };
}  // namespace

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
