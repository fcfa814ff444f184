// The element core: construction, the tree with anchors and fixed axes,
// layout, visibility, invalidation, painting, language texts and the
// operations that reach the window. See element.h.
#include "gui/element.h"

#include <algorithm>
#include <new>

#include "base/strings.h"
#include "gui/font.h"
#include "gui/hint.h"
#include "gui/theme.h"

namespace {

// The live-element registry: elements by address, touched by constructors
// and destructors and read on the UI thread before a queued action runs.
cSortedTree<const cChildElement*, uint8_t>& Registry() {
  static cSortedTree<const cChildElement*, uint8_t> registry(512);
  return registry;
}

int32_t Resolve(int32_t v, int32_t reference) { return v < 0 ? reference + v + 1 : v; }

// Raised to the minimum, then cut to the maximum (the maximum wins).
int32_t Limit(int32_t v, int32_t minimum, int32_t maximum) {
  if (minimum >= 0 && v < minimum) v = minimum;
  if (maximum >= 0 && v > maximum) v = maximum;
  return v;
}

sRect Intersect(const sRect& a, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const int32_t l = std::max(a.x, left), t = std::max(a.y, top);
  const int32_t r = std::min(a.x + a.width, right), b = std::min(a.y + a.height, bottom);
  return {l, t, std::max(0, r - l), std::max(0, b - t)};
}

}  // namespace

cChildElement::cChildElement() : children_(512), tabOrder_(512), anchors_(512) {
  Registry().FindOrInsert(this);
}

cChildElement::~cChildElement() {
  Registry().EraseKey(this);
  if (host_ != nullptr && parent_ == nullptr) host_->Destroy();
  DeleteHint();
  {
    cSafeCriticalSectionAccess guard(&tw::ActionLock());
    postedQueue_.DeleteAll();
    directQueue_.DeleteAll();
  }
}

bool cChildElement::IsLive(const cChildElement* element) {
  return element != nullptr && Registry().Find(element) != nullptr;
}

void cChildElement::InitDefaults() {
  attached_ = false;
  tabStop_ = arrowStop_ = WantsTabStop();
  arrowWrap_ = WrapsArrowNavigation();
  fullRepaint_ = WantsFullRepaint();
  doubleBuffer_ = WantsDoubleBuffer();
  focusable_ = WantsFocus();
  hasFocus_ = false;
  enabled_ = true;
  focusedChild_ = nullptr;
  transparent_ = false;
  captureChild_ = nullptr;
  selfCapture_ = false;
  doubleClickActions_ = false;
  acceptsDroppedFiles_ = false;
  hintPlacement_ = 0;
  cursor_ = DefaultCursor();
  background_ = DefaultBackground();
  border_ = BorderWidth();
  minWidth_ = minHeight_ = maxWidth_ = maxHeight_ = -1;
  lastPressTime_ = 0;
}

uint32_t cChildElement::DefaultBackground() { return GetTheme()->GetColour(14); }

// ---- Tree ----------------------------------------------------------------------

cWindowRequestTarget* cChildElement::FindHost() {
  for (cChildElement* e = this; e != nullptr; e = e->parent_)
    if (e->host_ != nullptr) return e->host_;
  return nullptr;
}

cChildElement* cChildElement::TopElement() {
  cChildElement* e = this;
  while (e->parent_ != nullptr) e = e->parent_;
  return e;
}

bool cChildElement::AddChild(cChildElement* child, int32_t x, int32_t y, int32_t width, int32_t height,
                             int32_t fixedMode) {
  if (child == nullptr || child == this) return false;
  if (children_.Find(child) != nullptr) return child->SetPos(x, y, width, height);
  const cSortedTree<int32_t, cChildElement*>::Node* last = tabOrder_.Last();
  const int32_t tab = last != nullptr ? last->key + 1 : 0;
  int32_t* entry = children_.FindOrInsert(child);
  if (entry == nullptr) return false;
  cChildElement** slot = tabOrder_.FindOrInsert(tab);
  if (slot == nullptr) {
    children_.EraseKey(child);
    return false;
  }
  *entry = tab;
  *slot = child;

  child->x_ = x;
  child->y_ = y;
  child->width_ = std::max(0, width);
  child->height_ = std::max(0, height);
  child->parent_ = this;
  if (const char16_t* key = child->LangSectionKey()) child->langSection_ = LookupLanguageSection(key);
  child->InitDefaults();
  child->OnCreate();
  child->vFixedIn_ = (fixedMode == 1 || fixedMode == 2) ? this : nullptr;
  child->hFixedIn_ = (fixedMode == 1 || fixedMode == 3) ? this : nullptr;
  // Cut to the maximum, then raised to the minimum: here the minimum wins.
  if (child->maxWidth_ >= 0 && child->width_ > child->maxWidth_) child->width_ = child->maxWidth_;
  if (child->minWidth_ >= 0 && child->width_ < child->minWidth_) child->width_ = child->minWidth_;
  if (child->maxHeight_ >= 0 && child->height_ > child->maxHeight_) child->height_ = child->maxHeight_;
  if (child->minHeight_ >= 0 && child->height_ < child->minHeight_) child->height_ = child->minHeight_;
  child->attached_ = true;
  if (child->IsVisibleInTree()) child->Invalidate(nullptr);
  return true;
}

bool cChildElement::RemoveChild(cChildElement* child) {
  anchors_.EraseKey(child);
  if (int32_t* tab = children_.Find(child)) tabOrder_.EraseKey(*tab);
  children_.EraseKey(child);
  ForgetDescendant(child);
  return true;
}

int32_t cChildElement::GetTabIndex(cChildElement* child) const {
  const int32_t* tab = children_.Find(child);
  return tab != nullptr ? *tab : -1;
}

int32_t cChildElement::ChildCount() const {
  int32_t n = 0;
  for (auto* c = children_.First(); c != nullptr; c = decltype(children_)::Next(c)) ++n;
  return n;
}

bool cChildElement::GetRect(sRect* rect) const {
  if (rect == nullptr) return false;
  *rect = {x_, y_, width_, height_};
  return true;
}

bool cChildElement::IsAncestorOf(const cChildElement* element) const {
  for (const cChildElement* e = element != nullptr ? element->parent_ : nullptr; e != nullptr; e = e->parent_)
    if (e == this) return true;
  return false;
}

bool cChildElement::GetDescendantRect(const cChildElement* descendant, sRect* rect) const {
  if (descendant == nullptr || rect == nullptr || !IsAncestorOf(descendant)) return false;
  sRect r{0, 0, descendant->width_, descendant->height_};
  for (const cChildElement* e = descendant; e != this; e = e->parent_) r.x += e->x_, r.y += e->y_;
  *rect = r;
  return true;
}

void cChildElement::ResolveAnchor(cChildElement* child, const sRect& anchor, int32_t refWidth, int32_t refHeight,
                                  sRect* out) {
  out->x = Resolve(anchor.x, refWidth);
  out->y = Resolve(anchor.y, refHeight);
  out->width = Limit(Resolve(anchor.width, refWidth), child->minWidth_, child->maxWidth_);
  out->height = Limit(Resolve(anchor.height, refHeight), child->minHeight_, child->maxHeight_);
}

// Invalidates what changed when a child's rectangle goes from before to
// after: at the same position only the strips gained or lost, else both.
void cChildElement::InvalidateChange(const sRect& before, const sRect& after) {
  if (before.x == after.x && before.y == after.y) {
    const int32_t oldRight = before.x + before.width, newRight = after.x + after.width;
    if (oldRight != newRight) {
      const sRect strip{std::min(oldRight, newRight), before.y, std::abs(newRight - oldRight), before.height};
      Invalidate(&strip);
    }
    const int32_t oldBottom = before.y + before.height, newBottom = after.y + after.height;
    if (oldBottom != newBottom) {
      const sRect strip{after.x, std::min(oldBottom, newBottom), after.width, std::abs(newBottom - oldBottom)};
      Invalidate(&strip);
    }
    return;
  }
  Invalidate(&before);
  Invalidate(&after);
}

bool cChildElement::PlaceChild(cChildElement* child, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (child == nullptr) return false;
  int32_t refWidth = 0, refHeight = 0;
  ClientSize(&refWidth, &refHeight);
  const bool present = children_.Find(child) != nullptr;
  if (present && child->hFixedIn_ != nullptr) refWidth = width_;
  if (present && child->vFixedIn_ != nullptr) refHeight = height_;
  const sRect anchor{x, y, width, height};
  sRect r;
  if (!present) {
    if (!AddChild(child, Resolve(x, refWidth), Resolve(y, refHeight), Resolve(width, refWidth),
                  Resolve(height, refHeight), 0))
      return false;
  }
  sRect* stored = anchors_.FindOrInsert(child);
  if (stored == nullptr) return false;
  *stored = anchor;
  ResolveAnchor(child, anchor, refWidth, refHeight, &r);
  const sRect before{child->x_, child->y_, child->width_, child->height_};
  if (r == before) return true;
  child->Resize(r.width, r.height, false);
  child->x_ = r.x, child->y_ = r.y, child->width_ = r.width, child->height_ = r.height;
  InvalidateChange(before, r);
  child->OnResize();
  return true;
}

void cChildElement::Resize(int32_t width, int32_t height, bool force) {
  if (!force && width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  int32_t layoutWidth = width, layoutHeight = height;
  if (parent_ == nullptr) {
    sPoint origin{0, 0};
    if (ClientToScreen(&origin)) x_ = origin.x, y_ = origin.y;
  } else {
    ClientSize(&layoutWidth, &layoutHeight);
  }
  layoutWidth = Limit(layoutWidth, minWidth_, maxWidth_);
  layoutHeight = Limit(layoutHeight, minHeight_, maxHeight_);

  for (auto* n = anchors_.First(); n != nullptr; n = decltype(anchors_)::Next(n)) {
    cChildElement* child = n->key;
    const int32_t refWidth = child->hFixedIn_ != nullptr ? width_ : layoutWidth;
    const int32_t refHeight = child->vFixedIn_ != nullptr ? height_ : layoutHeight;
    sRect r;
    ResolveAnchor(child, n->value, refWidth, refHeight, &r);
    const sRect before{child->x_, child->y_, child->width_, child->height_};
    if (r == before) continue;
    if (child->fullRepaint_) {
      child->Resize(r.width, r.height, false);
      Invalidate(&before);
      child->x_ = r.x, child->y_ = r.y, child->width_ = r.width, child->height_ = r.height;
      Invalidate(&r);
    } else {
      child->Resize(r.width, r.height, false);
      child->x_ = r.x, child->y_ = r.y, child->width_ = r.width, child->height_ = r.height;
      InvalidateChange(before, r);
    }
    child->OnResize();
  }
  OnResize();
}

bool cChildElement::SetPos(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (parent_ != nullptr) {
    if (x != x_ || y != y_ || width != width_ || height != height_) {
      x_ = x;
      y_ = y;
      Resize(width, height, false);
    }
    return true;
  }
  if (host_ != nullptr) return host_->Move(x, y, width, height);
  return false;
}

void cChildElement::SetHostAndRect(cWindowRequestTarget* host, int32_t x, int32_t y, int32_t width,
                                   int32_t height) {
  host_ = host;
  x_ = x, y_ = y, width_ = width, height_ = height;
}

bool cChildElement::AttachHost() {
  if (const char16_t* key = LangSectionKey())
    if (host_ != nullptr) langSection_ = host_->GetLanguageSection(key);
  OnCreate();
  attached_ = true;
  return true;
}

bool cChildElement::ClientSize(int32_t* width, int32_t* height) {
  if (width != nullptr) *width = std::max(0, width_ - 2 * border_);
  if (height != nullptr) *height = std::max(0, height_ - 2 * border_);
  return true;
}

bool cChildElement::ScrollOffset(int32_t* x, int32_t* y) {
  if (x != nullptr) *x = 0;
  if (y != nullptr) *y = 0;
  return true;
}

bool cChildElement::ViewRect(sRect* rect) {
  if (rect == nullptr) return false;
  *rect = {0, 0, width_, height_};
  return true;
}

bool cChildElement::ClientToScreen(sPoint* point) {
  if (point == nullptr) return false;
  if (parent_ != nullptr) {
    int32_t sx = 0, sy = 0;
    parent_->ScrollOffset(&sx, &sy);
    if (hFixedIn_ == nullptr) point->x += sx;
    if (vFixedIn_ == nullptr) point->y += sy;
    point->x += x_;
    point->y += y_;
    return parent_->ClientToScreen(point);
  }
  int32_t x = 0, y = 0, w = 0, h = 0;
  if (host_ == nullptr || !host_->GetWindowRect(&x, &y, &w, &h)) return false;
  point->x += x;
  point->y += y;
  return true;
}

bool cChildElement::GetScreenPos(sPoint* point) {
  if (point == nullptr) return false;
  *point = {0, 0};
  return ClientToScreen(point);
}

bool cChildElement::QueryClose() {
  if (!CanClose()) return false;
  for (auto* c = children_.First(); c != nullptr; c = decltype(children_)::Next(c))
    if (!c->key->QueryClose()) return false;
  return true;
}

bool cChildElement::QueryEnd() {
  if (!CanEnd()) return false;
  for (auto* c = children_.First(); c != nullptr; c = decltype(children_)::Next(c))
    if (!c->key->QueryEnd()) return false;
  return true;
}

bool cChildElement::OnAltKey() {
  for (auto* c = children_.First(); c != nullptr; c = decltype(children_)::Next(c))
    if (c->key->OnAltKey()) return true;
  return false;
}

// ---- Visibility and enabling --------------------------------------------------------

bool cChildElement::IsVisibleInTree() const {
  for (const cChildElement* e = this; e != nullptr; e = e->parent_)
    if (!e->visible_) return false;
  return true;
}

bool cChildElement::IsEnabledInTree() const {
  for (const cChildElement* e = this; e != nullptr; e = e->parent_)
    if (!e->enabled_) return false;
  return true;
}

void cChildElement::Show(bool redraw) {
  if (visible_) return;
  visible_ = true;
  if (redraw) Invalidate(nullptr);
}

void cChildElement::Hide(bool redraw) {
  if (!visible_) return;
  if (redraw) Invalidate(nullptr);
  visible_ = false;
}

void cChildElement::Enable() {
  if (enabled_) return;
  enabled_ = true;
  if (parent_ == nullptr || parent_->IsEnabledInTree()) {
    EnableChanged(true);
    Invalidate(nullptr);
  }
}

void cChildElement::Disable(bool redraw) {
  if (!enabled_) return;
  enabled_ = false;
  if (parent_ == nullptr || parent_->IsEnabledInTree()) {
    EnableChanged(false);
    if (redraw) Invalidate(nullptr);
  }
}

void cChildElement::EnableChanged(bool enabled) {
  OnEnable(enabled);
  for (auto* c = children_.First(); c != nullptr; c = decltype(children_)::Next(c))
    if (c->key->enabled_) c->key->EnableChanged(enabled);
}

void cChildElement::SetTransparent(bool flag) {
  if (transparent_ == flag) return;
  transparent_ = flag;
  Invalidate(nullptr);
}

bool cChildElement::SetMinSize(int32_t width, int32_t height) {
  if (parent_ == nullptr && host_ != nullptr) return host_->SetMinTrackSize(width, height);
  minWidth_ = width;
  minHeight_ = height;
  return false;
}

bool cChildElement::SetMaxSize(int32_t width, int32_t height) {
  if (parent_ == nullptr && host_ != nullptr) return host_->SetMaxTrackSize(width, height);
  maxWidth_ = width;
  maxHeight_ = height;
  return false;
}

cChildElement* cChildElement::GetFocusedLeaf() {
  cChildElement* e = this;
  while (e->focusedChild_ != nullptr) e = e->focusedChild_;
  return e->hasFocus_ ? e : nullptr;
}

// ---- Invalidation ---------------------------------------------------------------------

void cChildElement::Invalidate(const sRect* rect) {
  if (!visible_) return;
  if (rect == nullptr) {
    const sEdges all{0, 0, width_, height_};
    InvalidateRect(&all);
    return;
  }
  // Edges beyond the element are cut to its size; the exclusive right and
  // bottom edges may equal it, so the last column and row are repainted too.
  // The far edges are summed in 64 bits: a rectangle reaching past the top
  // of the 32-bit range is cut like any other, not wrapped to a negative.
  auto farEdge = [](int32_t start, int32_t extent, int32_t limit) {
    const int64_t edge = int64_t(start) + extent;
    return int32_t(std::clamp<int64_t>(edge, INT32_MIN, limit));
  };
  sEdges e{std::min(rect->x, width_), std::min(rect->y, height_), farEdge(rect->x, rect->width, width_),
           farEdge(rect->y, rect->height, height_)};
  InvalidateRect(&e);
}

void cChildElement::InvalidateRect(const sEdges* edges) {
  if (!attached_ || !visible_) return;
  if (parent_ == nullptr) {
    if (host_ != nullptr) host_->Invalidate(edges);
    return;
  }
  sEdges e = edges != nullptr ? sEdges{edges->left + x_, edges->top + y_, edges->right + x_, edges->bottom + y_}
                              : sEdges{x_, y_, x_ + width_, y_ + height_};
  if (hFixedIn_ == nullptr || vFixedIn_ == nullptr) {
    int32_t sx = 0, sy = 0;
    parent_->ScrollOffset(&sx, &sy);
    if (hFixedIn_ == nullptr) e.left += sx, e.right += sx;
    if (vFixedIn_ == nullptr) e.top += sy, e.bottom += sy;
  }
  if (e.left < 0) e.left = 0;
  if (e.top < 0) e.top = 0;
  if (e.right < 1 || e.bottom < 1) return;
  parent_->InvalidateRect(&e);
}

// ---- Painting -------------------------------------------------------------------------

void cChildElement::ChildRects(cChildElement* child, sRect* unclipped, sRect* clipped) {
  sRect view;
  ViewRect(&view);
  const int32_t b = border_;
  const int32_t cl = view.x + b, ct = view.y + b, cr = view.x + view.width - b, cb = view.y + view.height - b;
  int32_t sx = 0, sy = 0;
  ScrollOffset(&sx, &sy);
  const bool hFixed = child->hFixedIn_ != nullptr, vFixed = child->vFixedIn_ != nullptr;
  *unclipped = {child->x_ + (hFixed ? 0 : sx), child->y_ + (vFixed ? 0 : sy), child->width_, child->height_};
  *clipped = Intersect(*unclipped, hFixed ? 0 : cl, vFixed ? 0 : ct, hFixed ? width_ : cr, vFixed ? height_ : cb);
}

void cChildElement::PaintSelf(cCanvas* canvas) {
  if (transparent_ && parent_ != nullptr) {
    const sRect mine{x_, y_, width_, height_};
    parent_->PaintBgFor(canvas, &mine);
  }
  Paint(canvas);
}

void cChildElement::PaintTree(cCanvas* canvas) {
  if (canvas == nullptr) return;
  sRect unclipped, clipped;
  // Children paint themselves: keep the element's own painting off them.
  for (auto* c = children_.First(); c != nullptr; c = decltype(children_)::Next(c)) {
    if (!c->key->IsVisibleInTree()) continue;
    ChildRects(c->key, &unclipped, &clipped);
    if (clipped.width > 0 && clipped.height > 0) canvas->ExcludeClipRect(&clipped);
  }
  canvas->ApplyClip();

  if (doubleBuffer_) {
    if (cCanvas* off = canvas->CreateOffscreen(width_, height_, -1, -1)) {
      PaintSelf(off);
      canvas->CopyFromCanvas(0, 0, off, 0, 0, width_, height_);
      delete off;
    } else {
      PaintSelf(canvas);
    }
  } else {
    PaintSelf(canvas);
  }

  const int32_t b = border_;
  if (b > 0) {
    sRect view;
    ViewRect(&view);
    const int32_t innerW = std::max(0, view.width - 2 * b), innerH = std::max(0, view.height - 2 * b);
    const sRect strips[] = {{0, 0, b, height_},
                            {0, 0, width_, b},
                            {b + innerW, 0, width_ - (b + innerW), height_},
                            {0, b + innerH, width_, height_ - (b + innerH)}};
    for (const sRect& s : strips) canvas->ExcludeClipRect(&s);
    canvas->ApplyClip();
  }

  for (auto* c = children_.First(); c != nullptr; c = decltype(children_)::Next(c)) {
    cChildElement* child = c->key;
    if (!child->IsVisibleInTree()) continue;
    ChildRects(child, &unclipped, &clipped);
    if (clipped.width <= 0 || clipped.height <= 0) continue;
    canvas->AddClipRect(&clipped);
    canvas->ApplyClip();
    if (canvas->IsRectVisible(&unclipped)) {
      if (cCanvas* sub = canvas->CreateSubCanvas(&unclipped)) {
        child->PaintTree(sub);
        delete sub;
      }
    }
    canvas->ExcludeClipRect(&clipped);
  }
}

bool cChildElement::PaintBg(cCanvas* canvas, const sRect* rect) {
  if (!transparent_) return PaintOwnBg(canvas, rect);
  if (parent_ != nullptr && rect != nullptr) {
    const sRect moved{rect->x + x_, rect->y + y_, rect->width, rect->height};
    return parent_->PaintBgFor(canvas, &moved);
  }
  return false;
}

bool cChildElement::PaintBgFor(cCanvas* canvas, const sRect* rect) {
  if (canvas == nullptr || rect == nullptr) return false;
  if (PaintBg(canvas, rect)) return true;
  const sRect all{0, 0, canvas->GetWidth(), canvas->GetHeight()};
  canvas->DrawRect(&all, background_, background_);
  return true;
}

// ---- Texts -----------------------------------------------------------------------------

void cChildElement::CopyText(char16_t* buffer, int32_t capacity) {
  // Without room for the terminator there is nothing to write.
  if (buffer == nullptr || capacity < 1) return;
  CopyWideBounded(text_.text, -1, buffer, capacity);
}

const char16_t* cChildElement::GetText() { return text_.IsEmpty() ? nullptr : text_.text; }
const char16_t* cChildElement::GetHint() { return hintText_.IsEmpty() ? nullptr : hintText_.text; }

void cChildElement::SetText(const char16_t* text, int32_t length, bool redraw) {
  if (text == nullptr)
    text_.Clear();
  else
    AssignWide(text, length, text_);
  if (redraw) Invalidate(nullptr);
}

void cChildElement::WipeText() {
  if (text_.text != nullptr)
    for (char16_t* p = text_.text; *p != 0; ++p) *p = 0;
  text_.Clear();
}

void cChildElement::SetHint(const char16_t* text, int32_t placement) {
  hintText_.Assign(text);
  hintPlacement_ = placement;
  if (hintElement_ != nullptr) PostKind(5);
}

const tLangSection* cChildElement::LookupLanguageSection(const char16_t* key) {
  cWindowRequestTarget* host = FindHost();
  return host != nullptr ? host->GetLanguageSection(key) : nullptr;
}

const char16_t* cChildElement::GetLangString(int32_t index) {
  for (cChildElement* e = this; e != nullptr; e = e->parent_) {
    if (e->langSection_ != nullptr) return GetSectionText(e->langSection_, index);
    if (e->LangSectionKey() != nullptr) return nullptr;  // named but not loaded
  }
  return nullptr;
}

const char16_t* cChildElement::GetLangText(int32_t index) {
  const char16_t* s = GetLangString(index);
  return s != nullptr ? s : u"";
}

const char16_t* cChildElement::GetLangStringVia(cChildElement* other, int32_t index) {
  if (langSection_ != nullptr) return GetSectionText(langSection_, index);
  const char16_t* key = LangSectionKey();
  if (other == nullptr) return nullptr;
  if (key == nullptr) return other->GetLangString(index);
  langSection_ = other->LookupLanguageSection(key);
  return langSection_ != nullptr ? GetSectionText(langSection_, index) : nullptr;
}

// ---- Fonts and the window ------------------------------------------------------------------

cWinFont* cChildElement::GetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                                 bool italic) {
  if (parent_ != nullptr) return parent_->GetFont(width, height, face, bold, underline, italic);
  return host_ != nullptr ? host_->GetFont(width, height, face, bold, underline, italic) : nullptr;
}

cWinFont* cChildElement::GetDefaultFont() { return GetFont(5, 13, GetUIFaceName(), false, false, false); }
cWinFont* cChildElement::GetUnderlinedFont() { return GetFont(5, 13, GetUIFaceName(), false, true, false); }
cWinFont* cChildElement::GetBoldFont() { return GetFont(6, 13, GetUIFaceName(), true, false, false); }

bool cChildElement::ApplyCursor(int32_t kind) {
  if (parent_ != nullptr) return parent_->ApplyCursor(kind);
  return host_ != nullptr && host_->SetCursor(kind);
}

bool cChildElement::ActivateWindow() {
  if (parent_ != nullptr) return parent_->ActivateWindow();
  return host_ != nullptr && host_->SetFocus();
}

bool cChildElement::MeasureText(const char16_t* text, sSize* size, cWinFont* font) {
  cWindowRequestTarget* host = FindHost();
  return host != nullptr && host->MeasureText(font, text, size);
}

bool cChildElement::GetMaxWindowSize(int32_t* width, int32_t* height) {
  cWindowRequestTarget* host = FindHost();
  return host != nullptr && host->GetMaxClientSize(width, height);
}

int32_t cChildElement::ShowModal(const char16_t* title, int32_t width, int32_t height, cChildElement* form,
                                 bool resizable) {
  cWindowRequestTarget* host = FindHost();
  return host != nullptr ? host->RunModalChild(title, width, height, form, resizable) : -1;
}

int32_t cChildElement::ShowPopup(int32_t x, int32_t y, int32_t width, int32_t height, cChildElement* element) {
  cWindowRequestTarget* host = FindHost();
  return host != nullptr ? host->RunPopup(x, y, width, height, element) : -1;
}

cWindowHolder* cChildElement::ShowHintWindow(int32_t x, int32_t y, int32_t width, int32_t height,
                                             cChildElement* element, bool activate) {
  cWindowRequestTarget* host = FindHost();
  return host != nullptr ? host->ShowHint(x, y, width, height, element, activate) : nullptr;
}

void cChildElement::EndModal(int32_t code) {
  if (cWindowRequestTarget* host = FindHost()) host->EndModal(code);
}

bool cChildElement::WriteClipboardText(const char16_t* text, int32_t length) {
  cWindowRequestTarget* host = FindHost();
  if (host == nullptr || text == nullptr) return false;
  const int32_t units = length < 0 ? WideLength(text) + 1 : length;
  return host->SetClipboardText(text, units * 2);
}

bool cChildElement::ReadClipboardText(_guardchar<char16_t>* text) {
  cWindowRequestTarget* host = FindHost();
  if (host == nullptr || text == nullptr) return false;
  _typebuf<uint8_t> bytes;
  if (!host->GetClipboardText(&bytes)) return false;
  // Whole units only, and always terminated.
  const int32_t units = bytes.count / 2;
  _typebuf<char16_t> wide(units + 1);
  for (int32_t i = 0; i < units; ++i)
    wide[i] = static_cast<char16_t>(bytes.data[2 * i] | (bytes.data[2 * i + 1] << 8));
  wide[units] = 0;
  text->Assign(wide.data);
  return true;
}

// ---- Hint ---------------------------------------------------------------------------------------

void cChildElement::DeleteHint() {
  delete hintElement_;
  hintElement_ = nullptr;
}

void cChildElement::ShowHint() {
  auto* hint = new (std::nothrow) cHintMaster();
  if (hint == nullptr) return;
  if (!hint->Show(this, hintText_.text, nullptr, cHintMaster::kDefaultColour, cHintMaster::kDefaultColour,
                  hintPlacement_)) {
    delete hint;
    return;
  }
  DeleteHint();
  hintElement_ = hint;
}

void cChildElement::OnMouseMove(int32_t, int32_t) {
  if (!hintText_.IsEmpty() && hintElement_ == nullptr) ShowHint();
}

void cChildElement::OnEnter() {
  if (!hintText_.IsEmpty()) ShowHint();
}

void cChildElement::OnLeave() { DeleteHint(); }

void cChildElement::OnDblClick(int32_t x, int32_t y) {
  if (doubleClickActions_) PostAction(new cDoubleClickAction(x, y));
}
