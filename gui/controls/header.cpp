// See gui/controls/header.h.
#include "gui/controls/header.h"

#include <algorithm>
#include <climits>

#include "gui/canvas.h"
#include "gui/theme.h"

namespace {
enum : int32_t { kColourSeparator = 42, kColourLine = 43 };
constexpr uint32_t kMetricHeaderHeight = 23;
constexpr int32_t kPanesChanged = 8;
}  // namespace

// ---- cSplitterChild ----

void cSplitterChild::InitDefaults() {
  cChildElement::InitDefaults();
  dragStart_ = -1;
  dragged_ = 0;
  dragLeft_ = 0;
  required_ = 0;
  filler_ = nullptr;
  cCITheme* theme = GetTheme();
  separatorColour_ = theme->GetColour(kColourSeparator);
  lineColour_ = theme->GetColour(kColourLine);
  gap_ = 3;
}

cChildElement* cSplitterChild::GetPane(int32_t id) const {
  cChildElement* const* p = panes_.Find(id);
  return p != nullptr ? *p : nullptr;
}

int32_t cSplitterChild::PaneWidth(int32_t id, cChildElement* pane) const {
  const double* w = widths_.Find(id);
  return w != nullptr ? static_cast<int32_t>(*w) : pane->GetWidth();
}

bool cSplitterChild::AddPane(int32_t id, cChildElement* pane, int32_t width) {
  if (id < 0 || pane == nullptr) return false;
  cChildElement** slot = panes_.FindOrInsert(id);
  if (slot == nullptr) return false;
  if (*slot != nullptr && *slot != pane) RemoveChild(*slot);
  *slot = pane;
  const bool added = AddChild(pane, 0, 0, width, 1, 0);
  if (double* w = widths_.FindOrInsert(id)) *w = width;
  const auto* first = panes_.First();
  Layout(first != nullptr ? first->key : id);
  PostKind(kPanesChanged);
  return added;
}

bool cSplitterChild::SetPaneWidth(int32_t id, int32_t width) {
  if (id < 0 || width < 0 || GetPane(id) == nullptr) return false;
  double* w = widths_.Find(id);
  if (w == nullptr) return false;
  if (*w != width) {
    *w = width;
    Layout(id);
  }
  return true;
}

void cSplitterChild::SetFiller(int32_t requiredWidth, cChildElement* filler) {
  if (filler_ == nullptr && filler == nullptr) return;
  required_ = requiredWidth;
  filler_ = filler;
  Layout(INT_MIN);
}

void cSplitterChild::SetColours(uint32_t separator, uint32_t line) {
  if (separator == separatorColour_ && line == lineColour_) return;
  separatorColour_ = separator;
  lineColour_ = line;
  Invalidate(nullptr);
}

void cSplitterChild::Layout(int32_t firstId) {
  int32_t total = GetWidth();
  if (total == 0) return;
  int64_t minSum = 0;
  int32_t minHeight = 0;
  for (auto* n = panes_.First(); n != nullptr; n = decltype(panes_)::Next(n)) {
    if (!n->value->IsVisible()) continue;
    minSum += n->value->GetMinWidth();
    minHeight = std::max(minHeight, n->value->GetMinHeight());
  }
  if (minSum != 0 || minHeight != 0) {
    const int32_t sum = static_cast<int32_t>(std::min<int64_t>(minSum, INT_MAX));
    SetMinSize(sum, minHeight);
    total = std::max(total, sum);
  }
  int32_t x = 0;
  for (auto* n = panes_.First(); n != nullptr && n->key < firstId; n = decltype(panes_)::Next(n))
    if (n->value->IsVisible()) x += PaneWidth(n->key, n->value) + gap_;
  const int32_t height = GetHeight();
  for (auto* n = panes_.FindOrNext(firstId); n != nullptr; n = decltype(panes_)::Next(n)) {
    cChildElement* pane = n->value;
    if (!pane->IsVisible()) continue;
    const int32_t w = std::max(PaneWidth(n->key, pane), pane->GetMinWidth());
    pane->SetPos(x, 0, w, height);
    x += w + gap_;
  }
  if (x != 0 && x != total) {
    if (x < required_ && filler_ != nullptr) {
      filler_->SetPos(x, 0, required_ - x, height);
      x = required_;
    } else if (filler_ != nullptr) {
      filler_->SetPos(total, 0, 0, 0);
    }
    if (x != total) {
      SetPos(GetX(), GetY(), x, GetHeight());
      PostAction(new cResizeRequestAction(x));
    }
  }
  if (x < required_ && filler_ != nullptr) {
    if (GetWidth() < required_) {
      SetPos(GetX(), GetY(), required_, GetHeight());
      PostAction(new cResizeRequestAction(required_));
    }
    filler_->SetPos(x, 0, GetWidth() - x, GetHeight());
  }
  Invalidate(nullptr);
}

void cSplitterChild::OnResize() { Layout(INT_MIN); }

void cSplitterChild::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const int32_t height = GetHeight(), width = GetWidth();
  const int32_t leftPart = (gap_ - 1) / 2, rightPart = gap_ - leftPart - 1;
  for (auto* n = panes_.First(); n != nullptr; n = decltype(panes_)::Next(n)) {
    cChildElement* pane = n->value;
    if (!pane->IsVisible()) continue;
    const int32_t x = pane->GetX() + pane->GetWidth();
    if (x < 0 || x >= width) continue;
    if (leftPart > 0) {
      const sRect r{x, 0, leftPart, height};
      canvas->DrawRect(&r, separatorColour_, separatorColour_);
    }
    const sRect line{x + leftPart, 0, 1, height};
    canvas->DrawRect(&line, lineColour_, lineColour_);
    if (rightPart > 0) {
      const sRect r{x + leftPart + 1, 0, rightPart, height};
      canvas->DrawRect(&r, separatorColour_, separatorColour_);
    }
  }
}

void cSplitterChild::OnMouseButton(int32_t x, int32_t, int32_t button, bool down) {
  if (button != 1) return;
  if (!down) {
    if (dragStart_ >= 0) ReleaseMouse();
    dragStart_ = -1;
    return;
  }
  dragStart_ = -1;
  int32_t edge = 0;
  for (auto* n = panes_.First(); n != nullptr; n = decltype(panes_)::Next(n)) {
    cChildElement* pane = n->value;
    if (!pane->IsVisible()) continue;
    edge += pane->GetWidth();
    if (n->key >= 0 && edge <= x && x <= edge + gap_) {
      dragStart_ = x;
      dragged_ = n->key;
      dragLeft_ = edge - pane->GetWidth();
      CaptureMouse(false);
      return;
    }
    edge += gap_;
  }
}

void cSplitterChild::OnMouseMove(int32_t x, int32_t y) {
  cChildElement::OnMouseMove(x, y);
  if (dragStart_ < 0) return;
  double* w = widths_.Find(dragged_);
  if (w == nullptr) return;
  const int32_t width = std::max(x, dragLeft_) - dragLeft_;
  if (*w == width) return;
  *w = width;
  Layout(dragged_);
  PostKind(kPanesChanged);
}

// ---- cHeaderChild ----

cHeaderChild::~cHeaderChild() {
  for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) RemoveChild(&n->value);
  RemoveChild(&fillerButton_);
  buttons_.Clear();
}

void cHeaderChild::InitDefaults() {
  cSplitterChild::InitDefaults();
  const int32_t height = GetTheme()->GetMetric(kMetricHeaderHeight);
  SetMinSize(1, height);
  SetMaxSize(INT_MAX, height);
  AddChild(&fillerButton_, GetWidth(), 0, 1, 1, 0);
  fillerButton_.SetStyle(kButtonRaised, false);
  fillerButton_.Disable(false);
}

cButtonChild* cHeaderChild::GetColumnButton(int32_t id) const {
  return const_cast<cButtonChild*>(buttons_.Find(id));
}

bool cHeaderChild::SetColumn(int32_t id, const char16_t* title, int32_t width, int32_t alignment) {
  cButtonChild* button = buttons_.Find(id);
  if (button == nullptr) {
    button = buttons_.FindOrInsert(id);
    if (button == nullptr) return false;
    if (!AddPane(id, button, width)) {
      RemoveChild(button);
      buttons_.EraseKey(id);
      return false;
    }
    button->SetStyle(kButtonRaised, false);
    button->SetFocusable(false);
  }
  if (title != nullptr) button->SetCaption(title);
  if (alignment != button->GetTextAlignment()) button->SetTextAlignment(alignment, true);
  SetPaneWidth(id, width);
  return true;
}

int32_t cHeaderChild::GetColumnWidth(int32_t id) const {
  const cButtonChild* button = buttons_.Find(id);
  return button != nullptr ? button->GetWidth() : 0;
}

void cHeaderChild::Paint(cCanvas* canvas) { cSplitterChild::Paint(canvas); }

bool cHeaderChild::OnAction(cChildElement* sender, cChildAction* action) {
  if (action != nullptr && action->kind == 0 && sender != nullptr && sender != &fillerButton_) {
    for (auto* n = buttons_.First(); n != nullptr; n = decltype(buttons_)::Next(n)) {
      if (&n->value != sender) continue;
      PostAction(new cColumnClickAction(n->key));
      return true;
    }
  }
  return false;
}
