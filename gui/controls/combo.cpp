// See gui/controls/combo.h.
#include "gui/controls/combo.h"

#include <algorithm>

#include "gui/canvas.h"
#include "gui/theme.h"

namespace {
constexpr int32_t kArrowWidth = 19;
constexpr uint32_t kPictureArrow = 28;
constexpr int32_t kColourDisabledFrame = 21;
enum : int32_t { kUp = 38, kDown = 40, kF4 = 115 };
}  // namespace

cComboBoxChild::~cComboBoxChild() = default;

void cComboBoxChild::InitDefaults() {
  cChildElement::InitDefaults();
  selected_ = -1;
  images_ = nullptr;
  maxListHeight_ = 100;
  pressPending_ = 0;
  SetMinSize(20, 19);
  SetMaxSize(-1, 38);
  PlaceChild(&edit_, 0, 0, -kArrowWidth - 1, -1);
  PlaceChild(&arrow_, -kArrowWidth - 1, 0, kArrowWidth, -1);
  edit_.SetSelectableWhenReadOnly(false);
  edit_.SetStateFrame(3, GetTheme()->GetColour(kColourDisabledFrame));
  arrow_.SetTabStop(false);
  arrow_.SetTransparent(true);
  arrow_.GetPictureHolder(0)->SetBorrowed(GetTheme()->GetPicture(kPictureArrow));
  arrow_.SetStyle(kButtonRaised, false);
}

bool cComboBoxChild::SetItem(int32_t id, const char16_t* text, int32_t data, int32_t pictureId) {
  if (id < 0) return false;
  sPopupItem* item = items_.FindOrInsert(id);
  if (item == nullptr) return false;
  item->text.Assign(text);
  item->data = data;
  item->pictureId = pictureId;
  if (id == selected_) edit_.SetEditText(item->text.text, -1);
  return true;
}

bool cComboBoxChild::Select(int32_t id, bool notify) {
  if (id < 0) {
    edit_.SetEditText(nullptr, -1);
    selected_ = -1;
  } else {
    const sPopupItem* item = items_.Find(id);
    if (item == nullptr) return false;
    edit_.SetEditText(item->text.text, -1);
    selected_ = id;
  }
  if (notify) PostKind(7);
  return true;
}

int32_t cComboBoxChild::GetItemData(int32_t id) const {
  const sPopupItem* item = items_.Find(id);
  return item != nullptr ? item->data : 0;
}

void cComboBoxChild::ClearItems() {
  edit_.SetEditText(nullptr, -1);
  selected_ = -1;
  items_.Clear();
}

void cComboBoxChild::SetEditable(bool flag) {
  edit_.SetReadOnly(!flag);
  edit_.SetSelectAllOnFocus(flag);
  edit_.SetCursor(flag ? 1 : 0);
}

void cComboBoxChild::DropDown() {
  sSize size;
  if (!MeasurePopupItems(this, items_, images_, &size, GetDefaultFont())) return;
  sPoint at;
  if (!GetScreenPos(&at)) return;
  const int32_t chosen = OpenPopupList(this, items_, images_, at.x, at.y + GetHeight(), GetWidth(),
                                       std::min(size.height, maxListHeight_), selected_, kPopupNoColour,
                                       kPopupNoColour, kPopupNoColour, nullptr, sPopupColours());
  if (chosen >= 0) Select(chosen, true);
}

bool cComboBoxChild::PaintOwnBg(cCanvas* canvas, const sRect*) {
  if (canvas == nullptr) return false;
  // The arrow button continues the edit's box.
  const sRect box{-1, 0, canvas->GetWidth() + 1, canvas->GetHeight()};
  canvas->DrawRect(&box, edit_.GetStateBackground(0), edit_.GetStateFrame(0));
  return true;
}

bool cComboBoxChild::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr) return false;
  if (sender == &arrow_ && action->kind == 0) {
    DropDown();
    return true;
  }
  if (sender == &edit_ && (action->kind == 7 || action->kind == 8)) {
    PostKind(action->kind);
    return true;
  }
  return cChildElement::OnAction(sender, action);
}

void cComboBoxChild::FocusSelfOrParent() { RequestFocus(&edit_); }

void cComboBoxChild::MouseButton(int32_t x, int32_t y, int32_t button, bool down, bool control, bool shift) {
  if (button == 1 && edit_.IsReadOnly() && IsEnabledInTree()) {
    if (down) {
      pressPending_ = 1;
      return;
    }
    if (pressPending_) {
      pressPending_ = 0;
      if (ContainsPoint(x, y)) DropDown();
      return;
    }
  }
  cChildElement::MouseButton(x, y, button, down, control, shift);
}

bool cComboBoxChild::Key(int32_t key, bool shift, bool control, bool alt) {
  if (IsEnabledInTree()) {
    const bool plain = !shift && !control && !alt;
    if ((key == kDown && alt && !control && !shift) || (key == kF4 && plain)) {
      DropDown();
      return true;
    }
    if ((key == kUp || key == kDown) && plain) {
      if (selected_ < 0) return true;
      if (items_.Find(selected_) == nullptr) {
        Select(-1, false);
        return true;
      }
      auto* node = items_.FindNode(selected_);
      auto* next = key == kUp ? tPopupItems::Prev(node) : tPopupItems::Next(node);
      if (next != nullptr) Select(next->key, true);
      return true;
    }
  }
  return cChildElement::Key(key, shift, control, alt);
}
