// See gui/controls/grid.h.
#include "gui/controls/grid.h"

#include <algorithm>

#include "gui/canvas.h"
#include "gui/theme.h"

namespace {
constexpr int32_t kColourBackground = 14;
}  // namespace

void cSimpleGridChild::InitDefaults() {
  cScrollableElement::InitDefaults();
  rowGap_ = GetRowGap();
  background_ = GetTheme()->GetColour(kColourBackground);
}

void cSimpleGridChild::OnResize() {
  cScrollableElement::OnResize();
  Relayout(true);
}

void cSimpleGridChild::Relayout(bool repaint) {
  const int32_t c = GetCellWidth(), h = GetCellHeight(), g = rowGap_;
  bool changed = false;
  const int32_t n = GetCellCount();
  if (n != count_) {
    selected_ = -1;
    count_ = n;
    changed = true;
  }
  int32_t w = 0;
  ClientSize(&w, nullptr);
  if (count_ <= 0) {
    columns_ = rows_ = 0;
    SetContentHeight(0);
    if (changed && repaint) Invalidate(nullptr);
    return;
  }
  // Nothing fits, and a zero step could not be divided by.
  if (w < c || c + g <= 0) {
    columns_ = rows_ = 0;
    selected_ = -1;
    return;
  }
  const int32_t e = w / (c + g);
  columns_ = static_cast<int64_t>(w) >= static_cast<int64_t>(c) * (2 * e + 1) ? e + 1 : e;
  if (columns_ < 1) columns_ = 1;
  spacing_ = columns_ == 1 ? 0 : std::min((w - c * columns_) / (columns_ - 1), GetMaxColumnGap());
  const int32_t rows = (count_ + columns_ - 1) / columns_;
  if (rows != rows_) {
    rows_ = rows;
    SetContentHeight((h + g) * rows_);
  } else if (!changed) {
    return;
  }
  if (repaint) Invalidate(nullptr);
}

bool cSimpleGridChild::GetCellRect(int32_t index, sRect* rect) {
  if (rect == nullptr || index < 0 || index >= count_ || columns_ <= 0) return false;
  const int32_t c = GetCellWidth(), h = GetCellHeight(), s = spacing_, g = rowGap_;
  rect->x = (c + s) * (index % columns_) + s / 2;
  rect->y = (h + g) * (index / columns_) + g / 2;
  rect->width = c;
  rect->height = h;
  return true;
}

int32_t cSimpleGridChild::HitTest(int32_t x, int32_t y) {
  const int32_t c = GetCellWidth(), h = GetCellHeight(), s = spacing_, g = rowGap_;
  if (columns_ <= 0 || c + s <= 0 || h + g <= 0) return -1;
  x += GetScrollX();
  y += GetScrollY();
  if (x < 0 || y < 0) return -1;
  const int32_t column = x / (c + s);
  if (column >= columns_ || column >= count_) return -1;
  const int32_t inX = x - column * (c + s);
  if (inX < s / 2 || inX >= s / 2 + c) return -1;
  const int32_t row = y / (h + g);
  const int32_t inY = y - row * (h + g);
  if (inY < g / 2 || inY >= g / 2 + h) return -1;
  const int64_t index = static_cast<int64_t>(row) * columns_ + column;
  return index >= count_ ? -1 : static_cast<int32_t>(index);
}

void cSimpleGridChild::SelectRow(int32_t index, bool notify) {
  if (index < 0 || index >= count_ || index == selected_) return;
  selected_ = index;
  if (notify) {
    PostAction(new cCellAction(7, index));
  } else {
    sRect r;
    if (GetCellRect(index, &r)) ScrollRectIntoView(r, true, false);
  }
  Invalidate(nullptr);
}

void cSimpleGridChild::Choose(int32_t index) {
  selected_ = index;
  PostAction(new cCellAction(7, index));
  Invalidate(nullptr);
}

void cSimpleGridChild::OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) {
  if (button != 1 || !down) return;
  const int32_t hit = HitTest(x, y);
  if (hit != selected_) Choose(hit);
}

void cSimpleGridChild::OnDblClick(int32_t x, int32_t y) {
  const int32_t hit = HitTest(x, y);
  if (hit < 0) return;
  PostAction(new cCellAction(8, hit));
  if (hit != selected_) {
    selected_ = hit;
    Invalidate(nullptr);
  }
}

void cSimpleGridChild::OnKey(int32_t key, bool shift, bool control, bool alt) {
  if (shift || control || alt || columns_ <= 0 || count_ <= 0) return;
  const int32_t sel = selected_, last = count_ - 1;
  switch (key) {
    case 13:
    case 32:
      if (sel >= 0) PostAction(new cCellAction(8, sel));
      break;
    case 33:
    case 36:
      if (sel > 0) Choose(0);
      break;
    case 34:
    case 35:
      if (sel < last) Choose(last);
      break;
    case 37:
      if (sel >= 0 && (WrapsArrowKeys() ? sel != 0 : sel % columns_ != 0)) Choose(sel - 1);
      break;
    case 38:
      if (sel >= columns_) Choose(sel - columns_);
      break;
    case 39:
      if (sel < 0)
        Choose(0);
      else if ((WrapsArrowKeys() ? columns_ > 1 : sel % columns_ != columns_ - 1) && sel < last)
        Choose(sel + 1);
      break;
    case 40:
      if (sel < 0)
        Choose(0);
      else if (sel + columns_ <= last)
        Choose(sel + columns_);
      break;
    default:
      break;
  }
}

bool cSimpleGridChild::OnAction(cChildElement* sender, cChildAction* action) {
  if (sender == this && action != nullptr && action->kind == 7) {
    const int32_t index = static_cast<cCellAction*>(action)->index;
    sRect r;
    if (index >= 0 && GetCellRect(index, &r)) ScrollRectIntoView(r, true, false);
  }
  return cScrollableElement::OnAction(sender, action);
}

void cSimpleGridChild::PaintContent(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const sRect all{0, 0, GetWidth(), GetHeight()};
  canvas->DrawRect(&all, background_, background_);
  for (int32_t i = 0; i < count_ && columns_ > 0; ++i) {
    sRect r;
    if (!GetCellRect(i, &r)) break;
    r.x -= GetScrollX();
    r.y -= GetScrollY();
    if (r.y + r.height < 0 || r.y > GetHeight()) continue;
    if (cCanvas* sub = canvas->CreateSubCanvas(&r)) {
      PaintCell(sub, i, i == selected_);
      delete sub;
    }
  }
}
