// See gui/controls/scroll.h.
#include "gui/controls/scroll.h"

#include <algorithm>
#include <cmath>

#include "gui/canvas.h"
#include "gui/picture.h"
#include "gui/theme.h"

namespace {

enum : uint32_t { kMetricThickness = 19, kMetricSmallArrows = 20, kMetricArrowsOnly = 21, kMetricShortest = 22 };
constexpr uint32_t kPictureCorner = 86;
constexpr uint32_t kColourBackground = 14;
constexpr int32_t kFillerLength = 5;
// The drag keeps the track length of the default arrows: the bar less 35.
constexpr int32_t kDragTrackAllowance = 35;

// Theme pictures of the horizontal bar's parts (normal, hover, pressed);
// the vertical bar's are 29 further on.
constexpr uint32_t kPartPictures[12][3] = {
    {87, 87, 87},    {88, 89, 90},    {94, 95, 96},    {97, 98, 99},    {91, 92, 93},    {100, 101, 102},
    {103, 104, 105}, {106, 107, 108}, {106, 107, 108}, {109, 109, 109}, {110, 111, 112}, {113, 114, 115}};
constexpr uint32_t kVerticalOffset = 29;

enum : int32_t { kTrack = 0, kThumb = 1, kBack = 2, kForward = 3 };

int32_t Metric(uint32_t index) { return GetTheme()->GetMetric(index); }

// A double that may exceed 64 bits, as a signed 64-bit value.
int64_t ClampToInt64(double v) {
  if (!(v == v)) return 0;
  if (v >= 9.2e18) return INT64_C(9200000000000000000);
  if (v <= -9.2e18) return -INT64_C(9200000000000000000);
  return static_cast<int64_t>(v);
}

}  // namespace

// ---- Scroll bar --------------------------------------------------------------------------

cScrollBar::sThumb cScrollBar::ThumbFor(int64_t L, uint64_t maximum, int32_t shortest) {
  // An empty bar would divide by zero in both formulas below.
  if (L <= 0 || static_cast<uint64_t>(L) + maximum == 0) return {L, 1.0};
  // L * L / (L + maximum) in 64 bits; L is a pixel length, so L * L fits,
  // and a sum past 64 bits means a quotient of 0.
  const uint64_t sum = static_cast<uint64_t>(L) + maximum;
  int64_t K = sum < maximum ? 0 : static_cast<int64_t>(static_cast<uint64_t>(L) * static_cast<uint64_t>(L) / sum);
  K = std::max<int64_t>(shortest, K);
  const double u = K < L ? static_cast<double>(maximum) / static_cast<double>(L - K) : 1.0;
  return {K, u};
}

uint64_t cScrollBar::MoveClamped(uint64_t start, int64_t delta, uint64_t maximum) {
  if (start > maximum) start = maximum;
  if (delta < 0) {
    const uint64_t back = static_cast<uint64_t>(-(delta + 1)) + 1;  // |delta| without overflow
    return back >= start ? 0 : start - back;
  }
  const uint64_t forward = static_cast<uint64_t>(delta);
  return forward >= maximum - start ? maximum : start + forward;
}

void cScrollBar::InitDefaults() {
  cChildElement::InitDefaults();
  position_ = 0;
  maximum_ = 100;
  lineStep_ = 1;
  pageStep_ = 10;
  dragOrigin_ = 0;
  dragStartPos_ = 0;
  dragging_ = backArmed_ = forwardArmed_ = pageBackArmed_ = pageForwardArmed_ = buttonDown_ = 0;
  ClearStates();
  const int32_t T = Metric(kMetricThickness), shortest = Metric(kMetricShortest);
  if (vertical_) {
    SetMinSize(T, shortest);
    SetMaxSize(T, 2147483647);
  } else {
    SetMinSize(shortest, T);
    SetMaxSize(2147483647, T);
  }
  // The maps are filled once per bar class, by its first bar.
  if (Store(0).Has(0)) return;
  cCITheme* theme = GetTheme();
  for (int32_t state = 0; state < 3; ++state)
    for (int32_t part = 0; part < 12; ++part)
      Store(state).Set(part, theme->GetPicture(kPartPictures[part][state] + (vertical_ ? kVerticalOffset : 0)));
}

cImageStore& cScrollBar::Store(int32_t state) {
  static const tw::eSharedStore kH[3] = {tw::eSharedStore::kHScrollNormal, tw::eSharedStore::kHScrollHover,
                                         tw::eSharedStore::kHScrollPressed};
  static const tw::eSharedStore kV[3] = {tw::eSharedStore::kVScrollNormal, tw::eSharedStore::kVScrollHover,
                                         tw::eSharedStore::kVScrollPressed};
  return tw::SharedImageStore(vertical_ ? kV[state] : kH[state]);
}

int32_t cScrollBar::StateOfPart(int32_t part) const {
  switch (part) {
    case 1: return states_[kTrack];
    case 2: case 3: case 4: return states_[kThumb];
    case 5: case 7: case 10: return states_[kBack];
    case 6: case 8: case 11: return states_[kForward];
    default: return 0;
  }
}

void cScrollBar::ClearStates() { states_[0] = states_[1] = states_[2] = states_[3] = 0; }

int32_t cScrollBar::PartLength(int32_t part) {
  if (part == 7 || part == 8) return kFillerLength;
  const cPicture* p = Store(0).Find(part);
  if (p == nullptr) return 0;
  return vertical_ ? p->GetHeight() : p->GetWidth();
}

void cScrollBar::Layout(sLayout* l) {
  for (int32_t i = 0; i < 12; ++i) l->start[i] = 0, l->length[i] = -1;
  const int32_t W = Along();
  l->full = W > Metric(kMetricArrowsOnly);
  l->trackStart = l->trackLength = l->thumbStart = l->thumbLength = 0;
  if (!l->full) {
    const bool small = W <= Metric(kMetricSmallArrows);
    const int32_t back = small ? 10 : 5, forward = small ? 11 : 6;
    const int32_t bl = PartLength(back), fl = PartLength(forward);
    l->start[back] = 0, l->length[back] = bl;
    l->start[forward] = W - fl, l->length[forward] = fl;
    const int32_t space = std::max(0, W - bl - fl);
    l->start[7] = bl, l->length[7] = space / 2;
    l->start[8] = bl + space / 2, l->length[8] = space - space / 2;
    return;
  }
  l->start[0] = 0, l->length[0] = PartLength(0);
  int32_t x = W;
  for (int32_t part : {6, 8, 9, 7, 5}) {
    const int32_t len = PartLength(part);
    x -= len;
    l->start[part] = x, l->length[part] = len;
  }
  l->trackStart = l->length[0];
  l->trackLength = x - l->trackStart;
  const sThumb t = ThumbFor(l->trackLength, maximum_, Metric(kMetricShortest));
  l->thumbLength = static_cast<int32_t>(t.length);
  l->thumbStart = l->trackStart + static_cast<int32_t>(ClampToInt64(static_cast<double>(position_) / t.unitsPerPixel + 0.5));
}

int32_t cScrollBar::HitTest(int32_t a) {
  const int32_t W = Along();
  if (a < 0 || a >= W) return kHitNothing;
  sLayout l;
  Layout(&l);
  if (!l.full) return a < W / 2 ? kHitBack : kHitForward;
  auto inside = [&](int32_t part) { return l.length[part] > 0 && a >= l.start[part] && a < l.start[part] + l.length[part]; };
  if (a < l.start[0] + std::max(0, l.length[0])) return kHitNothing;
  if (inside(6) || inside(8)) return kHitForward;
  if (inside(9)) return kHitNothing;
  if (inside(7) || inside(5)) return kHitBack;
  if (a < l.thumbStart) return kHitPageBack;
  if (a < l.thumbStart + l.thumbLength) return kHitThumb;
  return kHitPageForward;
}

void cScrollBar::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const int32_t T = vertical_ ? GetWidth() : GetHeight();
  sLayout l;
  Layout(&l);
  auto draw = [&](int32_t part, int32_t start, int32_t length) {
    if (length <= 0) return;
    const cPicture* p = Store(StateOfPart(part)).Find(part);
    if (p == nullptr) return;
    sScaledPicture s;
    s.picture = p;
    s.x = vertical_ ? 0 : start;
    s.y = vertical_ ? start : 0;
    s.width = vertical_ ? T : length;
    s.height = vertical_ ? length : T;
    canvas->DrawPictureScaled(s);
  };
  for (int32_t part = 0; part < 12; ++part)
    if (part != 1 && l.length[part] >= 0) draw(part, l.start[part], l.length[part]);
  if (!l.full) return;
  draw(1, l.trackStart, l.trackLength);
  if (l.thumbLength <= 0) return;
  const int32_t startCap = PartLength(2), endCap = PartLength(3);
  draw(4, l.thumbStart + startCap, l.thumbLength - startCap - endCap);
  draw(2, l.thumbStart, startCap);
  draw(3, l.thumbStart + l.thumbLength - endCap, endCap);
}

bool cScrollBar::StorePos(uint64_t position, bool post) {
  position = std::min(position, maximum_);
  if (position == position_) return false;
  position_ = position;
  if (post) PostAction(new cScrollAction(position_));
  return true;
}

bool cScrollBar::SetRangeImpl(uint64_t maximum, bool acceptZero) {
  if ((maximum == 0 && !acceptZero) || maximum == maximum_) return false;
  maximum_ = maximum;
  if (position_ > maximum_) StorePos(maximum_, true);
  Invalidate(nullptr);
  return true;
}

void cScrollBar::SetLineStep(int32_t step) {
  if (step != 0) lineStep_ = step;
}

void cScrollBar::SetPageStep(int32_t step) {
  if (step != 0) pageStep_ = step;
}

void cScrollBar::MoveBack(int32_t step) { StorePos(MoveClamped(position_, -static_cast<int64_t>(step), maximum_), true); }
void cScrollBar::MoveForward(int32_t step) { StorePos(MoveClamped(position_, step, maximum_), true); }

void cHScroll::SetPos(uint64_t position) {
  if (StorePos(position, true)) Invalidate(nullptr);
}

void cVScroll::SetPos(uint64_t position, bool post) {
  if (StorePos(position, post)) Invalidate(nullptr);
}

void cScrollBar::OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) {
  if (button != 1) return;
  const int32_t along = vertical_ ? y : x, across = vertical_ ? x : y;
  const int32_t hit = HitTest(along);
  if (down) {
    CaptureMouse(false);
    buttonDown_ = 1;
    ClearStates();
    switch (hit) {
      case kHitPageBack: states_[kTrack] = 2, pageBackArmed_ = 1; break;
      case kHitPageForward: states_[kTrack] = 2, pageForwardArmed_ = 1; break;
      case kHitThumb:
        states_[kThumb] = 2;
        dragging_ = 1;
        dragOrigin_ = along;
        dragStartPos_ = position_;
        break;
      case kHitBack: states_[kBack] = 2, backArmed_ = 1; break;
      case kHitForward: states_[kForward] = 2, forwardArmed_ = 1; break;
      default: break;
    }
    Invalidate(nullptr);
    return;
  }
  buttonDown_ = 0;
  ReleaseMouse();
  dragging_ = 0;
  if (across < 0 || across > Metric(kMetricThickness)) {
    ClearStates();
    backArmed_ = forwardArmed_ = pageBackArmed_ = pageForwardArmed_ = 0;
    Invalidate(nullptr);
    return;
  }
  ClearStates();
  switch (hit) {
    case kHitPageBack:
      if (pageBackArmed_) MoveBack(pageStep_);
      states_[kTrack] = 1;
      break;
    case kHitPageForward:
      if (pageForwardArmed_) MoveForward(pageStep_);
      states_[kTrack] = 1;
      break;
    case kHitThumb: states_[kThumb] = 1; break;
    case kHitBack:
      if (backArmed_) MoveBack(lineStep_);
      states_[kBack] = 1;
      break;
    case kHitForward:
      if (forwardArmed_) MoveForward(lineStep_);
      states_[kForward] = 1;
      break;
    default: break;
  }
  backArmed_ = forwardArmed_ = pageBackArmed_ = pageForwardArmed_ = 0;
  Invalidate(nullptr);
}

void cScrollBar::OnMouseMove(int32_t x, int32_t y) {
  const int32_t along = vertical_ ? y : x;
  if (dragging_) {
    const int64_t L = static_cast<int64_t>(Along()) - kDragTrackAllowance;
    const sThumb t = ThumbFor(L, maximum_, Metric(kMetricShortest));
    // Signed: a drag back gives a negative delta.
    const int64_t delta = ClampToInt64(t.unitsPerPixel * static_cast<double>(static_cast<int64_t>(along) - dragOrigin_) + 0.5);
    StorePos(MoveClamped(dragStartPos_, delta, maximum_), true);
    Invalidate(nullptr);
    return;
  }
  const int32_t hit = HitTest(along);
  int32_t which = -1;
  switch (hit) {
    case kHitPageBack: case kHitPageForward: which = kTrack; break;
    case kHitThumb: which = kThumb; break;
    case kHitBack: which = kBack; break;
    case kHitForward: which = kForward; break;
    default: break;
  }
  if (which < 0) {
    if (states_[0] || states_[1] || states_[2] || states_[3]) {
      ClearStates();
      Invalidate(nullptr);
    }
    return;
  }
  if (states_[which] == 1 || states_[which] == 2) return;
  ClearStates();
  states_[which] = 1;
  Invalidate(nullptr);
}

void cScrollBar::OnLeave() {
  cChildElement::OnLeave();
  if (dragging_ || backArmed_ || forwardArmed_ || pageBackArmed_ || pageForwardArmed_) return;
  ClearStates();
  Invalidate(nullptr);
}

void cScrollBar::OnKey(int32_t key, bool, bool, bool) {
  switch (key) {
    case 33: MoveBack(pageStep_); break;
    case 34: MoveForward(pageStep_); break;
    case 35:
      if (position_ == maximum_) return;
      StorePos(maximum_, true);
      break;
    case 36:
      if (position_ == 0) return;
      StorePos(0, true);
      break;
    case 37: case 38: MoveBack(lineStep_); break;
    case 39: case 40: MoveForward(lineStep_); break;
    default: return;
  }
  Invalidate(nullptr);
}

// ---- Scrollable element -----------------------------------------------------------------

cScrollableElement::~cScrollableElement() = default;

void cScrollableElement::InitDefaults() {
  cChildElement::InitDefaults();
  AddChild(&hbar_, 0, 0, 1, 1, 1);
  AddChild(&vbar_, 0, 0, 1, 1, 1);
  hbar_.Hide(false);
  vbar_.Hide(false);
  contentWidth_ = contentHeight_ = 0;
  scrollX_ = scrollY_ = 0;
}

bool cScrollableElement::ClientSize(int32_t* width, int32_t* height) {
  if (width != nullptr) *width = std::max(GetWidth() - (vbar_.IsVisible() ? vbar_.GetWidth() : 0), contentWidth_);
  if (height != nullptr)
    *height = std::max(GetHeight() - (hbar_.IsVisible() ? hbar_.GetHeight() : 0), contentHeight_);
  return true;
}

bool cScrollableElement::ScrollOffset(int32_t* x, int32_t* y) {
  if (x != nullptr) *x = -scrollX_;
  if (y != nullptr) *y = -scrollY_;
  return true;
}

bool cScrollableElement::ViewRect(sRect* rect) {
  if (rect == nullptr) return false;
  *rect = {0, 0, GetWidth() - (vbar_.IsVisible() ? vbar_.GetWidth() : 0),
           GetHeight() - (hbar_.IsVisible() ? hbar_.GetHeight() : 0)};
  return true;
}

int32_t cScrollableElement::GetVScrollWidth() const { return vbar_.IsVisible() ? vbar_.GetWidth() : 0; }

void cScrollableElement::SetContentWidth(int32_t width) {
  if (width < 0 || width == contentWidth_) return;
  contentWidth_ = width;
  UpdateScrollBars();
  Resize(GetWidth(), GetHeight(), true);
}

void cScrollableElement::SetContentHeight(int32_t height) {
  if (height < 0 || height == contentHeight_) return;
  contentHeight_ = height;
  UpdateScrollBars();
  Resize(GetWidth(), GetHeight(), true);
}

void cScrollableElement::SetLineSteps(int32_t horizontal, int32_t vertical) {
  hbar_.SetLineStep(horizontal);
  vbar_.SetLineStep(vertical);
}

void cScrollableElement::SetPageSizes(int32_t horizontal, int32_t vertical) {
  hbar_.SetPageStep(horizontal);
  vbar_.SetPageStep(vertical);
}

void cScrollableElement::OnResize() { UpdateScrollBars(); }

void cScrollableElement::UpdateScrollBars() {
  const int32_t W = GetWidth(), H = GetHeight(), CW = contentWidth_, CH = contentHeight_;
  const int32_t T = GetTheme()->GetMetric(kMetricThickness), B = GetBorderWidth();
  const bool hWas = hbar_.IsVisible(), vWas = vbar_.IsVisible();
  bool changed = false;
  auto placeH = [&](bool vNeeded) {
    const sRect before{hbar_.GetX(), hbar_.GetY(), hbar_.GetWidth(), hbar_.GetHeight()};
    PlaceChild(&hbar_, B, H - T - B, vNeeded ? W - T - 2 * B : W - 2 * B, T);
    const sRect after{hbar_.GetX(), hbar_.GetY(), hbar_.GetWidth(), hbar_.GetHeight()};
    changed |= !(before == after);
    if (!hbar_.IsVisible()) {
      hbar_.Show(false);
      hbar_.SetPos(0);
      changed = true;
    }
  };
  auto placeV = [&](bool hNeeded) {
    const sRect before{vbar_.GetX(), vbar_.GetY(), vbar_.GetWidth(), vbar_.GetHeight()};
    PlaceChild(&vbar_, W - T - B, B, T, hNeeded ? H - T - 2 * B : H - 2 * B);
    const sRect after{vbar_.GetX(), vbar_.GetY(), vbar_.GetWidth(), vbar_.GetHeight()};
    changed |= !(before == after);
    if (!vbar_.IsVisible()) {
      vbar_.Show(false);
      vbar_.SetPos(0, true);
      changed = true;
    }
  };
  auto hideH = [&] {
    hbar_.SetPos(0);
    if (hbar_.IsVisible()) hbar_.Hide(false), changed = true;
  };
  auto hideV = [&] {
    vbar_.SetPos(0, true);
    if (vbar_.IsVisible()) vbar_.Hide(false), changed = true;
  };
  if (W >= CW && H >= CH) {
    if (scrollX_ != 0 || scrollY_ != 0) changed = true;
    scrollX_ = scrollY_ = 0;
    if (hbar_.IsVisible()) hideH();
    if (vbar_.IsVisible()) hideV();
  } else {
    if (W < CW) {
      const bool vNeeded = H - T < CH;
      placeH(vNeeded);
      if (vNeeded)
        placeV(true);
      else
        hideV();
    }
    if (H < CH) {
      const bool hNeeded = W - T < CW;
      placeV(hNeeded);
      if (hNeeded)
        placeH(true);
      else
        hideH();
    }
  }
  // The ranges; a content no larger than the view gives an empty range.
  if (hbar_.IsVisible()) {
    const int32_t view = W - (vbar_.IsVisible() ? vbar_.GetWidth() : 0);
    hbar_.SetRange(static_cast<uint64_t>(std::max(0, CW - view)));
    hbar_.SetPageStep(view);
  }
  if (vbar_.IsVisible()) {
    const int32_t view = H - (hbar_.IsVisible() ? hbar_.GetHeight() : 0);
    vbar_.SetRange(static_cast<uint64_t>(std::max(0, CH - view)));
    vbar_.SetPageStep(view);
  }
  if (hWas != hbar_.IsVisible() || vWas != vbar_.IsVisible()) Resize(W, H, true);
  if (changed) Invalidate(nullptr);
}

bool cScrollableElement::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr) return false;
  if (action->kind == 7 && (sender == &hbar_ || sender == &vbar_)) {
    const auto* a = static_cast<cScrollBar::cScrollAction*>(action);
    cScrollBar& bar = sender == &hbar_ ? static_cast<cScrollBar&>(hbar_) : static_cast<cScrollBar&>(vbar_);
    int32_t& offset = sender == &hbar_ ? scrollX_ : scrollY_;
    if (a->position <= bar.GetRange()) {
      const auto low = static_cast<int32_t>(static_cast<uint32_t>(a->position));
      if (low != offset) {
        offset = low;
        Invalidate(nullptr);
      }
    }
    return true;
  }
  if (action->kind == 1 && sender != this && IsAncestorOf(sender)) EnsureChildVisible(sender);
  return false;
}

void cScrollableElement::SetChildScrollFlags(cChildElement* child, bool keepX, bool keepY) {
  if (sKeep* k = keep_.FindOrInsert(child)) k->x = keepX, k->y = keepY;
}

void cScrollableElement::EnsureChildVisible(cChildElement* descendant) {
  sRect r;
  if (!GetDescendantRect(descendant, &r)) return;
  const sKeep* k = keep_.Find(descendant);
  ScrollRectIntoView(r, k != nullptr && k->x, k != nullptr && k->y);
}

bool cScrollableElement::ScrollRectIntoView(const sRect& rect, bool keepX, bool keepY) {
  sRect view;
  ViewRect(&view);
  const int32_t B = GetBorderWidth();
  const int32_t visW = std::max(0, view.width - (vbar_.IsVisible() ? vbar_.GetWidth() : 0));
  const int32_t visH = std::max(0, view.height - (hbar_.IsVisible() ? hbar_.GetHeight() : 0));
  auto delta = [](int32_t first, int32_t last, int32_t visible, int32_t viewStart) {
    int32_t d = 0;
    if (last > visible && first > 0) d = std::min(last - visible, first);
    if (first < viewStart) d = first - viewStart;
    return d;
  };
  const int32_t dy = delta(rect.y - scrollY_ + B, rect.y + rect.height - B - scrollY_, visH, view.y);
  const int32_t dx = delta(rect.x - scrollX_ + B, rect.x + rect.width - B - scrollX_, visW, view.x);
  bool moved = false;
  if (dy != 0 && vbar_.IsVisible() && !keepY) {
    const uint64_t before = vbar_.GetPos();
    vbar_.SetPos(cScrollBar::MoveClamped(before, dy, vbar_.GetRange()), true);
    moved |= vbar_.GetPos() != before;
  }
  if (dx != 0 && hbar_.IsVisible() && !keepX) {
    const uint64_t before = hbar_.GetPos();
    hbar_.SetPos(cScrollBar::MoveClamped(before, dx, hbar_.GetRange()));
    moved |= hbar_.GetPos() != before;
  }
  return moved;
}

bool cScrollableElement::OnWheel(int32_t, int32_t, bool up, bool control, int32_t count) {
  cScrollBar& bar = control ? static_cast<cScrollBar&>(hbar_) : static_cast<cScrollBar&>(vbar_);
  if (bar.IsVisible()) {
    const int64_t delta = static_cast<int64_t>(count) * bar.GetLineStep();
    const uint64_t target = cScrollBar::MoveClamped(bar.GetPos(), up ? -delta : delta, bar.GetRange());
    if (control)
      hbar_.SetPos(target);
    else
      vbar_.SetPos(target, true);
  }
  return true;
}

void cScrollableElement::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  if (!(hbar_.IsVisible() && vbar_.IsVisible())) {
    PaintContent(canvas);
    return;
  }
  const int32_t T = GetTheme()->GetMetric(kMetricThickness), B = GetBorderWidth();
  const sRect corner{GetWidth() - T - B, GetHeight() - T - B, T, T};
  canvas->ExcludeClipRect(&corner);
  canvas->ApplyClip();
  PaintContent(canvas);
  canvas->AddClipRect(&corner);
  canvas->ApplyClip();
  cCITheme* theme = GetTheme();
  if (cPicture* p = theme->GetPicture(kPictureCorner)) {
    sScaledPicture s;
    s.picture = p;
    s.x = corner.x, s.y = corner.y, s.width = T, s.height = T;
    canvas->DrawPictureScaled(s);
    return;
  }
  const sThemePicture* entry = theme->GetPictureEntry(kPictureCorner);
  const uint32_t colour = entry != nullptr && entry->width == 1 && entry->height == 1
                              ? entry->value
                              : theme->GetColour(kColourBackground);
  canvas->DrawRect(&corner, colour, colour);
}
