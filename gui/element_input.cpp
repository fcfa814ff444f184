// Input routing and focus of the element tree (see element.h): mouse
// routing with capture and hover, the double-click rule, context requests,
// keys and characters along the focus path, Tab and arrow navigation, focus
// by mouse and by code, and saving and restoring the focus with the window.
//
// Coordinates arrive in the receiving element's coordinates; passing an
// event to a child subtracts the scroll offset on the child's scrolling
// axes and then the child's position.
#include <atomic>
#include <chrono>
#include <cstdlib>

#include "gui/element.h"

namespace {

uint32_t SteadyTicks() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::atomic<uint32_t (*)()> g_tickSource{&SteadyTicks};

}  // namespace

namespace tw {
uint32_t ElementTickCount() { return g_tickSource.load()(); }
void SetElementTickSource(uint32_t (*source)()) { g_tickSource.store(source != nullptr ? source : &SteadyTicks); }
}  // namespace tw

namespace {

// The hit test of the routing operations: the point must lie within the
// element (both ends included); a child on a scrolling axis also needs the
// point inside the view rectangle on that axis (unless skipView). Returns the
// first child, in children-map order, that is visible in the tree, contains
// the point and passes accept; (cx, cy) become the point in its coordinates.
template <class Accept>
cChildElement* HitChild(cChildElement* self, const cSortedTree<cChildElement*, int32_t>& children, int32_t x,
                        int32_t y, bool skipView, int32_t* cx, int32_t* cy, Accept accept) {
  if (x < 0 || y < 0 || x > self->GetWidth() || y > self->GetHeight()) return nullptr;
  sRect v;
  self->ViewRect(&v);
  int32_t sx = 0, sy = 0;
  self->ScrollOffset(&sx, &sy);
  for (auto* n = children.First(); n != nullptr; n = cSortedTree<cChildElement*, int32_t>::Next(n)) {
    cChildElement* c = n->key;
    if (!c->IsVisibleInTree()) continue;
    sRect r;
    const bool hf = c->IsHorizontallyFixed(), vf = c->IsVerticallyFixed();
    if (!skipView && !hf && (x < v.x || x > v.x + v.width)) continue;
    if (!skipView && !vf && (y < v.y || y > v.y + v.height)) continue;
    const int32_t px = hf ? x : x - sx, py = vf ? y : y - sy;
    c->GetRect(&r);
    if (px < r.x || py < r.y || px >= r.x + r.width || py >= r.y + r.height) continue;
    if (!accept(c)) continue;
    *cx = px - r.x;
    *cy = py - r.y;
    return c;
  }
  return nullptr;
}

}  // namespace

void cChildElement::ToChild(cChildElement* child, int32_t x, int32_t y, int32_t* cx, int32_t* cy) {
  int32_t sx = 0, sy = 0;
  ScrollOffset(&sx, &sy);
  *cx = (child->hFixedIn_ != nullptr ? x : x - sx) - child->x_;
  *cy = (child->vFixedIn_ != nullptr ? y : y - sy) - child->y_;
}

// ---- Mouse -------------------------------------------------------------------

void cChildElement::MouseButton(int32_t x, int32_t y, int32_t button, bool down, bool control, bool shift) {
  if (!enabled_ || (parent_ != nullptr && !parent_->IsEnabledInTree())) return;
  int32_t cx = 0, cy = 0;
  if (captureChild_ != nullptr) {
    ToChild(captureChild_, x, y, &cx, &cy);
    captureChild_->MouseButton(cx, cy, button, down, control, shift);
    return;
  }
  if (!selfCapture_) {
    if (cChildElement* c = HitChild(this, children_, x, y, false, &cx, &cy,
                                    [](cChildElement* e) { return e->IsEnabledInTree(); })) {
      c->MouseButton(cx, cy, button, down, control, shift);
      return;
    }
  }
  if (!IsVisibleInTree()) return;
  if (button == 2 && !down) PostAction(new cCtxRequestAction(x, y, control, shift, false));
  OnMouseButton(x, y, button, down);
  if (button == 1 && down) {
    const uint32_t t = tw::ElementTickCount();
    if (lastPressTime_ < t && t - lastPressTime_ < 500 && std::abs(lastPressX_ - x) < 3 &&
        std::abs(lastPressY_ - y) < 3) {
      OnDblClick(x, y);  // the first press of the pair stays the reference
    } else {
      lastPressTime_ = t;
      lastPressX_ = x;
      lastPressY_ = y;
    }
  }
}

void cChildElement::MouseMove(int32_t x, int32_t y) {
  int32_t cx = 0, cy = 0;
  if (captureChild_ != nullptr) {
    ToChild(captureChild_, x, y, &cx, &cy);
    captureChild_->MouseMove(cx, cy);
    return;
  }
  if (!selfCapture_ && ContainsPoint(x, y)) {
    if (cChildElement* c = HitChild(this, children_, x, y, false, &cx, &cy, [](cChildElement*) { return true; })) {
      c->MouseMove(cx, cy);
      return;
    }
  }
  if (IsEnabledInTree() && IsVisibleInTree()) {
    ApplyCursor(cursor_);
    SetHover(this);
    OnMouseMove(x, y);
  }
}

void cChildElement::SetHover(cChildElement* element) {
  if (parent_ != nullptr) {
    parent_->SetHover(element);
    return;
  }
  if (element == hover_) return;
  cChildElement* old = hover_;
  hover_ = element;
  if (old != nullptr) old->OnLeave();
  if (element != nullptr) element->OnEnter();
}

bool cChildElement::Wheel(int32_t x, int32_t y, bool up, bool control, int32_t count) {
  int32_t cx = 0, cy = 0;
  if (captureChild_ != nullptr) {
    ToChild(captureChild_, x, y, &cx, &cy);
    return captureChild_->Wheel(cx, cy, up, control, count);
  }
  if (!selfCapture_ && ContainsPoint(x, y)) {
    // Every hit child in turn, until one takes the wheel.
    bool handled = false;
    HitChild(this, children_, x, y, false, &cx, &cy, [&](cChildElement* e) {
      if (!e->IsEnabledInTree()) return false;
      int32_t ex = 0, ey = 0;
      ToChild(e, x, y, &ex, &ey);
      handled = e->Wheel(ex, ey, up, control, count);
      return handled;
    });
    if (handled) return true;
  }
  if (IsVisibleInTree()) return OnWheel(x, y, up, control, count);
  return false;
}

bool cChildElement::CaptureChild(cChildElement* child, bool on) {
  captureChild_ = nullptr;
  bool ok = false;
  if (parent_ != nullptr)
    ok = parent_->CaptureChild(this, on);
  else
    ok = host_ != nullptr && host_->Capture(on);
  if (ok && on) captureChild_ = child;
  return ok;
}

void cChildElement::CaptureMouse(bool letChildrenReceive) {
  const bool ok = CaptureChild(nullptr, true);
  selfCapture_ = letChildrenReceive ? false : ok;
}

void cChildElement::ReleaseMouse() {
  selfCapture_ = false;
  CaptureChild(nullptr, false);
}

void cChildElement::DropFiles(int32_t x, int32_t y, tPathList& paths) {
  if (!acceptsDroppedFiles_ || !enabled_ || (parent_ != nullptr && !parent_->IsEnabledInTree())) return;
  int32_t cx = 0, cy = 0;
  if (cChildElement* c = HitChild(this, children_, x, y, false, &cx, &cy, [](cChildElement* e) {
        return e->IsEnabledInTree() && e->acceptsDroppedFiles_;
      })) {
    c->DropFiles(cx, cy, paths);
    return;
  }
  PostAction(new cDropFilesAction(x, y, paths));
}

// ---- Keys ------------------------------------------------------------------------

bool cChildElement::Key(int32_t virtualKey, bool shift, bool control, bool alt) {
  if (virtualKey == 9 && !control) {
    // A false answer means the walk ran off the end: start over, so the
    // focus wraps around the whole tree.
    if (TabNext(!shift)) return true;
    return TabNext(!shift);
  }
  if (!control && !alt) {
    if ((virtualKey == 37 || virtualKey == 38) && ArrowNext(false, control, shift)) return true;
    if ((virtualKey == 39 || virtualKey == 40) && ArrowNext(true, control, shift)) return true;
  }
  if (focusedChild_ != nullptr) {
    cChildElement* c = focusedChild_;
    if (c->enabled_ && IsEnabledInTree() && c->IsVisibleInTree()) return c->Key(virtualKey, shift, control, alt);
    return true;
  }
  if (!hasFocus_) return false;
  if (IsEnabledInTree() && IsVisibleInTree()) {
    if (virtualKey == 93 || (virtualKey == 121 && shift && !control && !alt))
      PostAction(new cCtxRequestAction(0, 0, control, shift, alt));
    OnKey(virtualKey, shift, control, alt);
  }
  return true;
}

bool cChildElement::Char(char16_t character, bool shift, bool control, bool alt) {
  if (focusedChild_ != nullptr) {
    cChildElement* c = focusedChild_;
    if (c->enabled_ && IsEnabledInTree() && c->IsVisibleInTree()) return c->Char(character, shift, control, alt);
    return true;
  }
  if (!hasFocus_) return false;
  if (IsEnabledInTree() && IsVisibleInTree()) OnChar(character, shift, control, alt);
  return true;
}

// ---- Focus ---------------------------------------------------------------------------

void cChildElement::FocusAt(int32_t x, int32_t y, int32_t how, bool control, bool shift) {
  cChildElement* taken = nullptr;
  int32_t tx = 0, ty = 0;
  if (how == -1 || ContainsPoint(x, y)) {
    sRect v;
    ViewRect(&v);
    for (auto* n = children_.First(); n != nullptr; n = decltype(children_)::Next(n)) {
      cChildElement* c = n->key;
      if (!c->IsVisibleInTree()) continue;
      int32_t cx = 0, cy = 0;
      ToChild(c, x, y, &cx, &cy);
      const bool inView = how == -1 || ((c->hFixedIn_ != nullptr || (x >= v.x && x <= v.x + v.width)) &&
                                        (c->vFixedIn_ != nullptr || (y >= v.y && y <= v.y + v.height)));
      const bool hit = inView && c->ContainsPoint(cx, cy);
      if (hit && c->focusable_ && taken == nullptr && c->IsEnabledInTree()) {
        taken = c;
        tx = cx, ty = cy;
      } else if (hit && c->focusable_ && !c->IsEnabledInTree()) {
        // A disabled control under the mouse leaves the focus where it is.
      } else {
        c->KillFocus(control, shift);
      }
    }
  }
  if (taken != nullptr) {
    focusedChild_ = taken;
    taken->FocusAt(tx, ty, how, control, shift);
    if (hasFocus_) {
      hasFocus_ = false;
      OnLostFocus(control, shift);
    }
    return;
  }
  if (hasFocus_ || !IsVisibleInTree()) return;
  hasFocus_ = true;
  focusedChild_ = nullptr;
  OnFocus(how > 0 ? 1 : 0, control, shift);
  PostAction(new cFocusAction(how > 0 ? 1 : 0));
}

bool cChildElement::SetFocusTo(cChildElement* target) {
  focusedChild_ = nullptr;
  if (target == this) {
    hasFocus_ = true;
    for (auto* n = children_.First(); n != nullptr; n = decltype(children_)::Next(n)) n->key->KillFocus(false, false);
    OnFocus(2, false, false);
    PostAction(new cFocusAction(2));
    return true;
  }
  hasFocus_ = false;
  const bool inside = IsAncestorOf(target);
  for (auto* n = children_.First(); n != nullptr; n = decltype(children_)::Next(n)) {
    cChildElement* c = n->key;
    if (inside && (c == target || c->IsAncestorOf(target))) {
      focusedChild_ = c;
      c->SetFocusTo(target);
    } else {
      c->KillFocus(false, false);
    }
  }
  return inside;
}

void cChildElement::KillFocus(bool control, bool shift) {
  if (focusedChild_ != nullptr) {
    cChildElement* c = focusedChild_;
    OnChildLostFocus(c, control, shift);
    c->KillFocus(control, shift);
    focusedChild_ = nullptr;
  } else if (hasFocus_) {
    OnLostFocus(control, shift);
  }
  hasFocus_ = false;
}

void cChildElement::RequestFocus(cChildElement* target) {
  if (target == nullptr) return;
  target->PostKind(4);
  ActivateWindow();
}

void cChildElement::FocusSelfOrParent() {
  if (focusable_)
    RequestFocus(this);
  else if (parent_ != nullptr)
    parent_->FocusSelfOrParent();
}

void cChildElement::SaveFocus() {
  if (savedFocus_ == nullptr) {
    if (hasFocus_ && focusedChild_ == nullptr)
      savedFocus_ = this;
    else if (focusedChild_ != nullptr)
      savedFocus_ = focusedChild_->GetFocusedLeaf();
  }
  KillFocus(false, false);
}

void cChildElement::RestoreFocus() {
  cChildElement* saved = savedFocus_;
  if (focusedChild_ == nullptr && saved != nullptr && IsLive(saved)) {
    savedFocus_ = nullptr;
    SetFocusTo(saved);
    return;
  }
  savedFocus_ = nullptr;
  SetFocusTo(this);
}

// ---- Tab and arrow navigation ----------------------------------------------------------------

bool cChildElement::TryChildrenTab(cChildElement* from, bool forward) {
  // The children after (before) from in tab order, or all of them.
  auto* n = from != nullptr ? tabOrder_.FindNode(*children_.Find(from))
                            : (forward ? tabOrder_.First() : tabOrder_.Last());
  if (from != nullptr && n != nullptr) n = forward ? decltype(tabOrder_)::Next(n) : decltype(tabOrder_)::Prev(n);
  for (; n != nullptr; n = forward ? decltype(tabOrder_)::Next(n) : decltype(tabOrder_)::Prev(n)) {
    cChildElement* c = n->value;
    if (c->IsVisibleInTree() && c->TabNext(forward)) {
      focusedChild_ = c;
      return true;
    }
  }
  focusedChild_ = nullptr;
  return false;
}

bool cChildElement::TabNext(bool forward) {
  if (focusedChild_ != nullptr) {
    cChildElement* c = focusedChild_;
    if (c->TabNext(forward)) return true;
    c->KillFocus(false, false);
    return TryChildrenTab(c, forward);
  }
  if (!hasFocus_ && IsEnabledInTree() && IsVisibleInTree() && IsTabStop()) {
    SetFocusTo(this);
    return true;
  }
  KillFocus(false, false);
  return TryChildrenTab(nullptr, forward);
}

bool cChildElement::ArrowNext(bool forward, bool control, bool shift) {
  if (NoArrowNavigation()) return false;
  auto step = [&](auto* n) { return forward ? decltype(tabOrder_)::Next(n) : decltype(tabOrder_)::Prev(n); };
  if (focusedChild_ != nullptr) {
    cChildElement* c = focusedChild_;
    if (c->NoArrowNavigation()) return false;
    if (c->focusedChild_ != nullptr) return c->ArrowNext(forward, control, shift);
    if (!c->IsArrowStop() && c->ArrowNext(forward, control, shift)) return true;
    const int32_t* tab = children_.Find(c);
    auto* n = tab != nullptr ? tabOrder_.FindNode(*tab) : nullptr;
    if (n == nullptr) return false;
    for (n = step(n);; n = step(n)) {
      if (n == nullptr) {
        if (!arrowWrap_) return true;  // the end: the focus stays
        n = forward ? tabOrder_.First() : tabOrder_.Last();
      }
      cChildElement* cand = n->value;
      if (cand == c) return true;
      if (!cand->hasFocus_ && cand->IsEnabledInTree() && cand->IsVisibleInTree() && cand->IsArrowStop()) {
        c->KillFocus(control, shift);
        cand->SetFocusTo(cand);
        focusedChild_ = cand;
        return true;
      }
    }
  }
  for (auto* n = forward ? tabOrder_.First() : tabOrder_.Last(); n != nullptr; n = step(n)) {
    cChildElement* cand = n->value;
    if (!cand->hasFocus_ && cand->enabled_ && IsEnabledInTree() && cand->IsVisibleInTree() && cand->IsArrowStop()) {
      cand->SetFocusTo(cand);
      focusedChild_ = cand;
      return true;
    }
  }
  return false;
}

void cChildElement::ForgetDescendant(cChildElement* element) {
  auto within = [element](cChildElement* e) { return e != nullptr && (e == element || element->IsAncestorOf(e)); };
  if (focusedChild_ != nullptr && (focusedChild_ == element || focusedChild_->IsAncestorOf(element)))
    focusedChild_ = nullptr;
  if (captureChild_ != nullptr && (captureChild_ == element || captureChild_->IsAncestorOf(element))) {
    CaptureChild(captureChild_, false);
    captureChild_ = nullptr;
  }
  if (within(hover_)) hover_ = nullptr;
  if (within(savedFocus_)) savedFocus_ = nullptr;
  if (parent_ != nullptr) parent_->ForgetDescendant(element);
}
