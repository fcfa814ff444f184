// See sidoc/doc_viewer.h.
#include "sidoc/doc_viewer.h"

#include <new>

#include "base/process.h"
#include "gui/canvas.h"
#include "gui/font.h"

namespace {
// Virtual key codes the viewer answers.
enum : int32_t { kPageUp = 33, kPageDown = 34, kEnd = 35, kHome = 36, kLeft = 37, kUp = 38, kRight = 39, kDown = 40 };
// Cursor kinds of the element core.
enum : int32_t { kCursorArrow = 0, kCursorHand = 3 };
}  // namespace

cSiDocViewer::cSiDocViewer() = default;

cSiDocViewer::~cSiDocViewer() {
  ClearHotSpots();
  rendering_.reset();
}

bool cSiDocViewer::SetDocument(cSiDocBox* root) {
  background_ = 0xFFFFFF;
  if (root == document_) return false;
  document_ = root;
  DropRendering();
  Invalidate(nullptr);
  return true;
}

bool cSiDocViewer::OpenLink(const char16_t* target) {
  if (target == nullptr || target[0] == 0) return false;
  return OpenOrRunFile(target);
}

void cSiDocViewer::ClearHotSpots() { hotSpots_.Clear(); }

bool cSiDocViewer::AddHotSpot(const char16_t* target, int32_t x, int32_t y, int32_t width, int32_t height) {
  // int64 on the way: a box at the far end of the int32 range must not wrap.
  auto clamp = [](int64_t v) {
    return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v));
  };
  const int64_t top = int64_t{y} + hotSpotShiftY_;
  try {
    std::vector<sEdges>* list = hotSpots_.FindOrInsert(target);
    if (list == nullptr) return false;
    list->push_back(sEdges{x, clamp(top), clamp(int64_t{x} + width - 1), clamp(top + height - 1)});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

const char16_t* cSiDocViewer::HitTest(int32_t x, int32_t y) const {
  const int64_t dx = int64_t{x} + GetScrollX(), dy = int64_t{y} + GetScrollY();
  for (auto* n = hotSpots_.First(); n != nullptr; n = decltype(hotSpots_)::Next(n))
    for (const sEdges& r : n->value)
      if (r.left <= dx && dx <= r.right && r.top <= dy && dy <= r.bottom) return n->key;
  return nullptr;
}

sSiDocArea cSiDocViewer::RootArea(int32_t y) {
  sSiDocArea area;
  area.font = GetDefaultFont();
  area.background = static_cast<int32_t>(background_);
  area.foreground = 0;
  area.x = 0;
  area.y = y;
  area.rightLimit = GetWidth();
  area.bottomLimit = -1;
  area.activeTarget = this;
  area.depth = 0;
  return area;
}

void cSiDocViewer::DropRendering() {
  rendering_.reset();
  direct_ = false;
  directWidth_ = directHeight_ = 0;
}

void cSiDocViewer::SetContentAndSteps(int32_t height) {
  SetContentHeight(height);
  SetLineSteps(10, 15);
}

void cSiDocViewer::PaintContent(cCanvas* canvas) {
  if (canvas == nullptr) return;
  if (rendering_ != nullptr) {
    CopyRendering(canvas);
    return;
  }
  const sRect whole{0, 0, canvas->GetWidth(), canvas->GetHeight()};
  if (document_ == nullptr) {
    canvas->DrawRect(&whole, background_, background_);
    return;
  }
  if (direct_ && directWidth_ == GetWidth()) {
    PaintDirect(canvas);
    return;
  }
  const sSiDocArea area = RootArea(0);
  sSize size;
  if (!document_->Measure(canvas, area, size) || size.width == 0 || size.height == 0) return;
  const int32_t width = GetWidth();
  // The rendering is as tall as the document; refuse one that is absurd
  // rather than let the allocation (or the 32-bit address space) decide.
  const bool tooLarge = width > 0 && int64_t{width} * size.height > maxRenderingPixels_;
  std::unique_ptr<cCanvas> off(tooLarge ? nullptr : canvas->CreateOffscreen(width, size.height, -1, -1));
  if (off == nullptr) {
    // The blank page a failed allocation would leave helps nobody: show
    // the visible part, laid out once for this width (rule c).
    direct_ = true;
    directWidth_ = width;
    directHeight_ = size.height;
    PaintDirect(canvas);
    return;
  }
  rendering_ = std::move(off);
  const sRect all{0, 0, width, size.height};
  rendering_->DrawRect(&all, background_, background_);
  ClearHotSpots();
  hotSpotShiftY_ = 0;
  sSize painted;
  document_->Paint(rendering_.get(), area, painted);
  // The content height before the copy: a new document may be shorter
  // than the old scroll position, which this moves back into range.
  SetContentAndSteps(size.height);
  CopyRendering(canvas);
}

void cSiDocViewer::PaintDirect(cCanvas* canvas) {
  SetContentAndSteps(directHeight_);
  const int32_t s = GetScrollY();
  const sRect whole{0, 0, canvas->GetWidth(), canvas->GetHeight()};
  canvas->DrawRect(&whole, background_, background_);
  ClearHotSpots();
  hotSpotShiftY_ = s;
  sSize painted;
  document_->Paint(canvas, RootArea(-s), painted);
  hotSpotShiftY_ = 0;
}

void cSiDocViewer::CopyRendering(cCanvas* canvas) {
  const int32_t s = GetScrollY();
  const int32_t sw = canvas->GetWidth(), sh = canvas->GetHeight();
  const int32_t rw = rendering_->GetWidth(), rh = rendering_->GetHeight();
  if (s < rh) canvas->CopyFromCanvas(0, 0, rendering_.get(), 0, s, sw, sh);
  const int32_t r = rh - s > 0 ? rh - s : 0;
  if (r < sh) {
    const sRect below{0, r, sw, sh - r};
    canvas->DrawRect(&below, background_, background_);
  }
  if (sw > rw) {
    const sRect beside{rw, 0, sw - rw, sh};
    canvas->DrawRect(&beside, background_, background_);
  }
}

void cSiDocViewer::OnResize() {
  cScrollableElement::OnResize();
  const bool renderedOther = rendering_ != nullptr && rendering_->GetWidth() != GetWidth();
  const bool laidOutOther = direct_ && directWidth_ != GetWidth();
  if (renderedOther || laidOutOther) {
    DropRendering();
    Invalidate(nullptr);
  }
}

void cSiDocViewer::OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) {
  if (button != 1) return;
  if (down) {
    CaptureMouse(false);
    pressed_ = HitTest(x, y);
    return;
  }
  ReleaseMouse();
  // The pressed target stays: the next press overwrites it.
  if (pressed_ != nullptr && HitTest(x, y) == pressed_) OpenLink(pressed_);
}

void cSiDocViewer::OnMouseMove(int32_t x, int32_t y) {
  const int32_t kind = HitTest(x, y) != nullptr ? kCursorHand : kCursorArrow;
  SetCursor(kind);
  ApplyCursor(kind);
}

void cSiDocViewer::OnKey(int32_t virtualKey, bool, bool, bool) {
  cVScroll& bar = VBar();
  switch (virtualKey) {
    case kPageUp: bar.PageUp(); break;
    case kPageDown: bar.PageDown(); break;
    case kEnd:
      if (bar.GetPos() == bar.GetRange()) return;
      bar.SetPos(bar.GetRange(), true);
      break;
    case kHome:
      if (bar.GetPos() == 0) return;
      bar.SetPos(0, true);
      break;
    case kLeft:
    case kUp: bar.LineUp(); break;
    case kRight:
    case kDown: bar.LineDown(); break;
    default: return;
  }
  Invalidate(nullptr);
}
