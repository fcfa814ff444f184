// See gui/controls/toolbar.h.
#include "gui/controls/toolbar.h"

#include <algorithm>
#include <string_view>

#include "gui/canvas.h"
#include "gui/picture.h"
#include "gui/theme.h"

namespace {
enum : int32_t { kColourFill = 14, kColourFrame = 21, kColourText = 4 };
constexpr uint32_t kPictureChevron = 72;
}  // namespace

cToolBarChild::cToolBarChild() : imageIndexes_(512), buttons_(512), stores_(512) {}

cToolBarChild::~cToolBarChild() {
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) delete n->value;
}

void cToolBarChild::InitDefaults() {
  cChildElement::InitDefaults();
  cCITheme* theme = GetTheme();
  pinned_ = 0;
  mode_ = 0;
  framedStyle_ = kButtonRaised;
  maxListHeight_ = 200;
  fill_ = theme->GetColour(kColourFill);
  frame_ = theme->GetColour(kColourFrame);
  text_ = theme->GetColour(kColourText);
  font_ = nullptr;
  framed_ = false;
  pictureLayout_ = 0;
  minimumWidth_ = 0;
  firstEdge_ = secondEdge_ = kPopupNoColour;
  buttonsFocusable_ = IsFocusable();
  AddChild(&chevron_, 0, 0, 0, 0, 1);
  chevron_.SetFocusable(false);
  chevron_.SetTabStop(false);
  chevron_.SetStyle(kButtonSingle, false);
  chevron_.GetPictureHolder(0)->SetBorrowed(theme->GetPicture(kPictureChevron));
  chevron_.SetTransparent(IsTransparent());
  chevron_.Hide(false);
}

cButtonChild* cToolBarChild::GetButton(int32_t id) const {
  cButtonChild* const* b = buttons_.Find(id);
  return b != nullptr ? *b : nullptr;
}

void cToolBarChild::ApplyImages(cButtonChild* button, int32_t index) {
  if (button == nullptr) return;
  for (auto* n = stores_.First(); n != nullptr; n = decltype(stores_)::Next(n))
    button->GetPictureHolder(n->key)->SetFromStore(n->value, index);
}

bool cToolBarChild::SetButton(int32_t id, const char16_t* text, int32_t imageIndex) {
  const bool noText = text == nullptr || text[0] == 0;
  if (noText && imageIndex < 0) return RemoveButton(id);
  if (cButtonChild* b = GetButton(id)) {
    bool changed = false;
    const char16_t* caption = b->GetText();
    if (std::u16string_view(caption != nullptr ? caption : u"") != std::u16string_view(text != nullptr ? text : u"")) {
      b->SetCaption(text);
      changed = true;
    }
    int32_t* index = imageIndexes_.FindOrInsert(id);
    if (index != nullptr && *index != imageIndex) {
      *index = imageIndex;
      ApplyImages(b, imageIndex);
      changed = true;
    }
    if (changed) Relayout();
    return true;
  }
  cButtonChild* b = NewButton();
  if (b == nullptr) return false;
  cButtonChild** slot = buttons_.FindOrInsert(id);
  int32_t* index = imageIndexes_.FindOrInsert(id);
  if (slot == nullptr || index == nullptr) {
    delete b;
    return false;
  }
  *slot = b;
  *index = imageIndex;
  AddChild(b, 0, 0, 0, 0, 1);
  b->SetTransparent(IsTransparent());
  b->SetCaption(text);
  b->SetFocusable(buttonsFocusable_);
  b->SetTabStop(buttonsFocusable_);
  b->SetStyle(framed_ ? framedStyle_ : kButtonFlat, false);
  b->SetTextColour(text_, false);
  if (font_ != nullptr) b->SetFont(font_);
  ApplyImages(b, imageIndex);
  if (!OnButtonAdded(id, b)) {
    RemoveChild(b);
    buttons_.EraseKey(id);
    imageIndexes_.EraseKey(id);
    delete b;
    return false;
  }
  Relayout();
  return true;
}

bool cToolBarChild::RemoveButton(int32_t id) {
  cButtonChild* b = GetButton(id);
  if (b == nullptr) return false;
  b->Hide(true);
  RemoveChild(b);
  buttons_.EraseKey(id);
  imageIndexes_.EraseKey(id);
  delete b;
  Relayout();
  return true;
}

void cToolBarChild::RemoveAllButtons(bool redraw) {
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) {
    RemoveChild(n->value);
    delete n->value;
  }
  buttons_.Clear();
  overflow_.Clear();
  if (redraw) Invalidate(nullptr);
}

bool cToolBarChild::EnableButton(int32_t id, bool enable) {
  cButtonChild* b = GetButton(id);
  if (b == nullptr) return false;
  if (enable)
    b->Enable();
  else
    b->Disable(true);
  b->Invalidate(nullptr);
  return true;
}

void cToolBarChild::SetImages(int32_t state, cImageStore* store) {
  if (cImageStore** slot = stores_.FindOrInsert(state)) *slot = store;
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) {
    const int32_t* index = imageIndexes_.Find(n->key);
    if (index != nullptr && *index >= 0) n->value->GetPictureHolder(state)->SetFromStore(store, *index);
  }
  Relayout();
}

void cToolBarChild::SetOverflowMode(int32_t mode) {
  if (mode == mode_) return;
  mode_ = mode;
  if (GetButtonsWidth() > GetWidth()) Relayout();
}

void cToolBarChild::SetPinnedCount(int32_t count) {
  count = std::max(0, count);
  if (count == pinned_) return;
  pinned_ = count;
  if (GetButtonsWidth() > GetWidth()) Relayout();
}

void cToolBarChild::SetButtonsFocusable(bool flag) {
  buttonsFocusable_ = flag;
  bool hadFocus = false;
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) {
    hadFocus |= n->value->HasFocus();
    n->value->SetFocusable(flag);
    n->value->SetTabStop(flag);
  }
  if (!flag && hadFocus) FocusSelfOrParent();
}

void cToolBarChild::SetStateTextColourOfAll(int32_t state, uint32_t colour) {
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n))
    n->value->SetStateTextColour(state, colour, true);
}

void cToolBarChild::SetTransparent(bool flag) {
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) n->value->SetTransparent(flag);
  chevron_.SetTransparent(flag);
  cChildElement::SetTransparent(flag);
}

int32_t cToolBarChild::ButtonWidth(cButtonChild* b) {
  return std::max(MeasureButtonWidth(b, b->GetText(), b->GetPictureHolder(0)->Get(), pictureLayout_, b->GetButtonFont()),
                  minimumWidth_);
}

int32_t cToolBarChild::GetButtonsWidth() {
  int32_t sum = 0;
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) sum += ButtonWidth(n->value);
  return sum;
}

void cToolBarChild::Relayout() {
  Layout();
  Invalidate(nullptr);
}

void cToolBarChild::Layout() {
  ++layouts_;
  sRect view;
  ViewRect(&view);
  const int32_t W = GetWidth(), h = view.height;
  overflow_.Clear();
  widestOverflow_ = overflowHeight_ = 0;
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) {
    n->value->SetPictureLayout(pictureLayout_, false);
    n->value->SetTextAlignment(pictureLayout_ == 1 ? 1 : 0, false);
  }
  auto place = [&](cButtonChild* b, int32_t x, int32_t width) {
    b->SetStyle(framed_ ? framedStyle_ : kButtonFlat, false);
    b->SetFillColour(fill_, false);
    b->SetStateColours(0, firstEdge_, secondEdge_);
    PlaceChild(b, x, 0, width, h);
    b->Show(true);
  };
  auto overflowed = [&](int32_t id, cButtonChild* b) {
    const int32_t width = ButtonWidth(b);
    b->Hide(true);
    if (!b->IsEnabled()) return;
    sPopupItem* row = overflow_.FindOrInsert(id);
    if (row == nullptr) return;
    row->text.Assign(b->GetText());
    const int32_t* index = imageIndexes_.Find(id);
    row->pictureId = index != nullptr ? *index : -1;
    row->rowHeight = GetHeight();
    if (mode_ == 2) row->hint.Assign(b->GetHint());
    widestOverflow_ = std::max(widestOverflow_, width);
    overflowHeight_ += row->rowHeight;
  };
  const int32_t c = MeasureButtonWidth(this, nullptr, GetTheme()->GetPicture(kPictureChevron), 0, font_);
  if (mode_ == 0 || GetButtonsWidth() <= W) {
    chevron_.Hide(true);
    int32_t x = 0;
    for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) {
      const int32_t width = ButtonWidth(n->value);
      place(n->value, x, width);
      x += width;
    }
    return;
  }
  chevron_.Show(true);
  if (mode_ == 2) {
    int32_t x = 0;
    bool full = false;
    for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) {
      const int32_t width = ButtonWidth(n->value);
      if (!full && x + width + c <= W) {
        place(n->value, x, width);
        x += width;
      } else {
        full = true;
        overflowed(n->key, n->value);
      }
    }
    PlaceChild(&chevron_, x, 0, c, h);
    return;
  }
  // Mode 1: the pinned head, the chevron, then the tail that fits.
  int32_t x = 0;
  for (auto* n = buttons_.First(); n != nullptr && n->key < pinned_; n = decltype(buttons_)::Next(n)) {
    const int32_t width = ButtonWidth(n->value);
    place(n->value, x, width);
    x += width;
  }
  PlaceChild(&chevron_, x, 0, c, h);
  x += c;
  int32_t room = W - x;
  auto* tailStart = static_cast<decltype(buttons_.First())>(nullptr);
  for (auto* n = buttons_.Last(); n != nullptr && n->key >= pinned_; n = decltype(buttons_)::Prev(n)) {
    const int32_t width = ButtonWidth(n->value);
    if (width > room) break;
    room -= width;
    tailStart = n;
  }
  bool inTail = false;
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) {
    if (n->key < pinned_) continue;
    if (n == tailStart) inTail = true;
    if (!inTail) {
      overflowed(n->key, n->value);
      continue;
    }
    const int32_t width = ButtonWidth(n->value);
    place(n->value, x, width);
    x += width;
  }
}

void cToolBarChild::OnResize() {
  if (mode_ == 0) return;
  if (!chevron_.IsVisible() && GetButtonsWidth() <= GetWidth()) return;
  Relayout();
}

void cToolBarChild::Paint(cCanvas* canvas) {
  if (canvas == nullptr || IsTransparent()) return;
  sRect view;
  ViewRect(&view);
  canvas->DrawRect(&view, fill_, framed_ ? frame_ : fill_);
}

void cToolBarChild::OnMouseButton(int32_t, int32_t, int32_t button, bool down) {
  if (button == 1 && down) PostKind(8);
}

void cToolBarChild::OpenOverflowList() {
  if (overflow_.IsEmpty()) return;
  sPoint at;
  if (!chevron_.GetScreenPos(&at)) return;
  int32_t width = static_cast<int32_t>(1.1 * widestOverflow_);
  if (overflowHeight_ > maxListHeight_) width += 16;
  const cImageStore* const* normal = stores_.Find(0);
  const int32_t chosen =
      OpenPopupList(this, overflow_, normal != nullptr ? *normal : nullptr, at.x, at.y + chevron_.GetHeight() + 1,
                    width, std::min(overflowHeight_, maxListHeight_), -1, fill_, text_, kPopupNoColour, font_,
                    sPopupColours());
  if (chosen >= 0) PostAction(new cTbButtonAction(chosen));
}

bool cToolBarChild::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr || action->kind != 0) return false;
  if (sender == &chevron_) {
    OpenOverflowList();
    return true;
  }
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n))
    if (n->value == sender) {
      PostAction(new cTbButtonAction(n->key));
      return true;
    }
  return false;
}
