// See gui/controls/popup.h.
#include "gui/controls/popup.h"

#include <algorithm>

#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/picture.h"
#include "gui/theme.h"

namespace {

enum : int32_t { kColourBackground = 14, kColourText = 4, kColourFrame = 21 };
constexpr int32_t kSplitterHeight = 3;

bool Shown(const sPopupItem& item, const cImageStore* images) {
  return !item.text.IsEmpty() || (images != nullptr && item.pictureId >= 0 && images->Find(item.pictureId) != nullptr);
}

const cPicture* RowPicture(const sPopupItem& item, const cImageStore* images) {
  if (images == nullptr || item.pictureId < 0) return nullptr;
  const cPicture* p = images->Find(item.pictureId);
  return p != nullptr && p->GetPixels() != nullptr ? p : nullptr;
}

// The automatic row height: the taller of text and picture, + 7. Measuring
// and building use this one rule, so that the content height is the sum of
// the rows.
int32_t RowHeight(const sPopupItem& item, int32_t textHeight, const cPicture* picture) {
  if (item.rowHeight >= 1) return item.rowHeight;
  return std::max(textHeight, picture != nullptr ? picture->GetHeight() : 0) + 7;
}

uint32_t Channel(uint32_t c, int shift) { return (c >> shift) & 0xFF; }

std::unique_ptr<cPicture> OnePixel(uint32_t colour) {
  if (colour == kPopupNoColour) return nullptr;
  auto p = std::make_unique<cPicture>();
  const uint32_t pixel = 0xFF000000u | (Channel(colour, 0) << 16) | (Channel(colour, 8) << 8) | Channel(colour, 16);
  p->Fill(pixel, 1, 1);
  return p;
}

}  // namespace

sPopupStyle::sPopupStyle() {
  cCITheme* theme = GetTheme();
  background = theme->GetColour(kColourBackground);
  text = theme->GetColour(kColourText);
  frame = theme->GetColour(kColourFrame);
}

bool MeasurePopupItems(cChildElement* owner, const tPopupItems& items, const cImageStore* images, sSize* size,
                       cWinFont* font) {
  if (owner == nullptr || size == nullptr) return false;
  if (font == nullptr) font = owner->GetDefaultFont();
  if (font == nullptr) return false;
  int32_t widest = 0, total = 0;
  for (auto* n = items.First(); n != nullptr; n = tPopupItems::Next(n)) {
    const sPopupItem& item = n->value;
    if (!Shown(item, images)) continue;
    sSize text;
    if (!item.text.IsEmpty()) owner->MeasureText(item.text.text, &text, font);
    const cPicture* picture = RowPicture(item, images);
    widest = std::max(widest, MeasureButtonWidth(owner, item.text.text, picture, 0, font));
    total += RowHeight(item, text.height, picture);
    if (item.splitterAbove) total += kSplitterHeight;
  }
  *size = {widest + 2, total};
  return true;
}

void PlacePopup(int32_t limitWidth, int32_t limitHeight, int32_t* x, int32_t* y, int32_t width, int32_t* height) {
  if (limitWidth == 0 || limitHeight == 0) return;
  if (*x + width > limitWidth) *x = std::max(0, limitWidth - width);
  if (*y + *height > limitHeight) {
    const int32_t below = limitHeight - *y;
    if (*y > below) {
      *height = std::min(*height, *y);
      *y -= *height;
    } else {
      *height = below;
    }
  }
}

int32_t OpenPopupList(cChildElement* owner, const tPopupItems& items, const cImageStore* images, int32_t x,
                      int32_t y, int32_t width, int32_t height, int32_t selectedId, uint32_t background,
                      uint32_t text, uint32_t frame, cWinFont* font, const sPopupColours& colours) {
  if (owner == nullptr || items.IsEmpty()) return -1;
  cCITheme* theme = GetTheme();
  auto* popup = new cPopupMaster(&items, images);
  popup->SetColours(background == kPopupNoColour ? theme->GetColour(kColourBackground) : background,
                    text == kPopupNoColour ? theme->GetColour(kColourText) : text,
                    frame == kPopupNoColour ? theme->GetColour(kColourFrame) : frame, colours);
  popup->SetFont(font);
  popup->SetSelectedId(selectedId);
  int32_t limitWidth = 0, limitHeight = 0;
  if (owner->GetMaxWindowSize(&limitWidth, &limitHeight)) PlacePopup(limitWidth, limitHeight, &x, &y, width, &height);
  // The window (or the test host) owns the popup from here and deletes it.
  return owner->ShowPopup(x, y, width, height + 2, popup);
}

int32_t ShowPopupList(cChildElement* owner, const tPopupItems& items, int32_t x, int32_t y, int32_t minimumWidth,
                      const cImageStore* images, int32_t selectedId, uint32_t background, uint32_t text,
                      uint32_t frame, cWinFont* font, const sPopupColours& colours) {
  sSize size;
  if (!MeasurePopupItems(owner, items, images, &size, font)) return -1;
  return OpenPopupList(owner, items, images, x, y, std::max(size.width, minimumWidth), size.height, selectedId,
                       background, text, frame, font, colours);
}

int32_t ShowPopupMenu(cChildElement* owner, const tPopupItems& items, int32_t x, int32_t y,
                      const sPopupStyle* style) {
  if (style != nullptr) {
    sPopupColours c;
    c.hoverFill = style->hoverFill, c.hoverText = style->hoverText;
    c.pressedFill = style->pressedFill, c.pressedText = style->pressedText;
    c.focusedFill = style->focusedFill, c.focusedText = style->focusedText;
    return ShowPopupList(owner, items, x, y, style->minimumWidth, style->images, style->selectedId,
                         style->background, style->text, style->frame, style->font, c);
  }
  sSize size;
  if (owner == nullptr || !MeasurePopupItems(owner, items, nullptr, &size, owner->GetDefaultFont())) return -1;
  return OpenPopupList(owner, items, nullptr, x, y, size.width, size.height, -1, kPopupNoColour, kPopupNoColour,
                       kPopupNoColour, nullptr, sPopupColours());
}

// ---- The popup element ----------------------------------------------------------------------

cPopupMaster::cPopupMaster(const tPopupItems* items, const cImageStore* images) : items_(items), images_(images) {}

cPopupMaster::~cPopupMaster() { DeleteRows(); }

void cPopupMaster::SetColours(uint32_t background, uint32_t text, uint32_t frame, const sPopupColours& colours) {
  background_ = background;
  text_ = text;
  frame_ = frame;
  colours_ = colours;
  hoverFill_ = OnePixel(colours.hoverFill);
  pressedFill_ = OnePixel(colours.pressedFill);
  focusedFill_ = OnePixel(colours.focusedFill);
}

void cPopupMaster::DeleteRows() {
  for (cListItem* i = rows_.head; i != nullptr; i = i->next) RemoveChild(&static_cast<cBtnListItem*>(i)->button);
  rows_.DeleteAll();
  for (cPopupSplitter* s = firstSplitter_; s != nullptr;) {
    cPopupSplitter* next = s->next;
    RemoveChild(s);
    delete s;
    s = next;
  }
  firstSplitter_ = lastSplitter_ = nullptr;
}

uint32_t cPopupMaster::SplitterColour() const {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8)
    out |= (Channel(background_, shift) * 155 / 255 + Channel(text_, shift) * 100 / 255) << shift;
  return out;
}

void cPopupMaster::InitDefaults() {
  cScrollableElement::InitDefaults();
  BuildRows();
}

void cPopupMaster::OnCreate() {
  // A top element gets no InitDefaults from a parent: the rows are built
  // here, at the popup's final size.
  InitDefaults();
  ActivateWindow();
}

void cPopupMaster::BuildRows() {
  if (items_ == nullptr) return;
  sSize measured;
  if (!MeasurePopupItems(this, *items_, images_, &measured, font_)) measured = {0, 0};
  SetContentHeight(measured.height);
  const int32_t W = std::max(measured.width, GetWidth());
  DeleteRows();
  const uint32_t splitter = SplitterColour();
  cWinFont* font = font_ != nullptr ? font_ : GetDefaultFont();
  int32_t y = 1, rows = 0, total = 0;
  cButtonChild* focus = nullptr;
  for (auto* n = items_->First(); n != nullptr; n = tPopupItems::Next(n)) {
    const sPopupItem& item = n->value;
    if (!Shown(item, images_)) continue;
    const int32_t rowWidth = W - GetVScrollWidth() - 2;
    if (item.splitterAbove) {
      auto* s = new cPopupSplitter();
      AddChild(s, 1, y, rowWidth, kSplitterHeight, 0);
      s->lineColour = splitter;
      s->SetBackgroundColour(background_);
      if (lastSplitter_ != nullptr)
        lastSplitter_->next = s;
      else
        firstSplitter_ = s;
      lastSplitter_ = s;
      y += kSplitterHeight;
    }
    sSize text;
    if (!item.text.IsEmpty()) MeasureText(item.text.text, &text, font);
    const cPicture* picture = RowPicture(item, images_);
    const int32_t height = RowHeight(item, text.height, picture);
    auto* row = new cBtnListItem();
    row->id = n->key;
    rows_.Append(row);
    cButtonChild& b = row->button;
    AddChild(&b, 1, y, rowWidth, height, 0);
    b.SetTransparent(true);
    b.SetStyle(kButtonPicture, false);
    b.SetCaption(item.text.text);
    b.SetFont(font_);
    b.SetFillColour(background_, false);
    b.SetTextColour(text_, false);
    b.SetHint(item.hint.text, 0);
    b.GetPictureHolder(0)->SetBorrowed(const_cast<cPicture*>(picture));
    if (hoverFill_) b.SetFramePicture(2, hoverFill_.get());
    if (pressedFill_) b.SetFramePicture(3, pressedFill_.get());
    if (focusedFill_) b.SetFramePicture(1, focusedFill_.get());
    if (colours_.hoverText != kPopupNoColour) b.SetStateTextColour(2, colours_.hoverText, false);
    if (colours_.pressedText != kPopupNoColour) b.SetStateTextColour(3, colours_.pressedText, false);
    if (colours_.focusedText != kPopupNoColour) b.SetStateTextColour(1, colours_.focusedText, false);
    if (n->key == selectedId_) focus = &b;
    y += height;
    total += height;
    ++rows;
  }
  // An empty list (or one whose rows have no height) must not divide by 0.
  const int32_t D = std::max(1, total / std::max(1, rows));
  SetPageSizes(5, D * (GetHeight() / D));
  SetLineSteps(5, D);
  if (focus != nullptr) SetFocusTo(focus);
}

cButtonChild* cPopupMaster::RowButton(int32_t id) {
  for (cListItem* i = rows_.head; i != nullptr; i = i->next)
    if (static_cast<cBtnListItem*>(i)->id == id) return &static_cast<cBtnListItem*>(i)->button;
  return nullptr;
}

int32_t cPopupMaster::RowCount() const {
  int32_t n = 0;
  for (cListItem* i = rows_.head; i != nullptr; i = i->next) ++n;
  return n;
}

void cPopupMaster::Close(int32_t result) {
  if (closed_) return;
  closed_ = true;
  ReleaseMouse();
  EndModal(result);
}

bool cPopupMaster::Key(int32_t key, bool shift, bool control, bool alt) {
  if (key == 27) {
    Close(-1);
    return true;
  }
  return cScrollableElement::Key(key, shift, control, alt);
}

void cPopupMaster::OnMouseButton(int32_t x, int32_t y, int32_t, bool down) {
  if (down && (x < 0 || y < 0 || x > GetWidth() || y > GetHeight())) Close(-1);
}

bool cPopupMaster::OnAction(cChildElement* sender, cChildAction* action) {
  if (action != nullptr && action->kind == 0)
    for (cListItem* i = rows_.head; i != nullptr; i = i->next)
      if (&static_cast<cBtnListItem*>(i)->button == sender) {
        Close(static_cast<cBtnListItem*>(i)->id);
        return true;
      }
  return cScrollableElement::OnAction(sender, action);
}

void cPopupMaster::OnLostFocus(bool, bool) { Close(-1); }

void cPopupMaster::PaintContent(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const sRect all{0, 0, GetWidth(), GetHeight()};
  canvas->DrawRect(&all, background_, frame_);
  // At every paint, so that a press outside the popup reaches it.
  if (!closed_) CaptureMouse(true);
}

bool cPopupMaster::PaintOwnBg(cCanvas* canvas, const sRect*) {
  if (canvas == nullptr) return false;
  const sRect all{0, 0, canvas->GetWidth(), canvas->GetHeight()};
  canvas->DrawRect(&all, background_, background_);
  return true;
}

void cPopupMaster::cPopupSplitter::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const int32_t w = GetWidth(), h = GetHeight();
  const uint32_t back = GetBackgroundColour();
  if (w < 11 || h < 3) {
    const sRect all{0, 0, w, h};
    canvas->DrawRect(&all, back, back);
    return;
  }
  const sRect left{0, 0, 5, h}, right{w - 5, 0, 5, h}, line{5, 0, w - 10, h};
  canvas->DrawRect(&left, back, back);
  canvas->DrawRect(&right, back, back);
  canvas->DrawRect(&line, lineColour, back);
}
