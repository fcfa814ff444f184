// See gui/controls/picture_element.h.
#include "gui/controls/picture_element.h"

#include <new>

#include "gui/canvas.h"
#include "gui/hint.h"
#include "gui/picture.h"

namespace {
template <class Z>
bool Inside(const Z& z, int32_t x, int32_t y) {
  return x >= z.x1 && x <= z.x2 && y >= z.y1 && y <= z.y2;
}
bool HasPixels(const cPicture* p) { return p != nullptr && p->GetPixels() != nullptr; }
}  // namespace

cPictureElement::cPictureElement() : activeZones_(512), hintZones_(512) {}

cPictureElement::~cPictureElement() { DropHint(); }

void cPictureElement::InitDefaults() {
  cChildElement::InitDefaults();
  hoveredZone_ = -1;
  hintZone_ = -1;
}

bool cPictureElement::SetPicture(cPicture* picture) {
  if (!HasPixels(picture)) return false;
  owned_.reset();
  shown_ = picture;
  return true;
}

bool cPictureElement::SetOwnedPicture(std::unique_ptr<cPicture> picture) {
  if (!HasPixels(picture.get())) return false;
  owned_ = std::move(picture);
  shown_ = owned_.get();
  return true;
}

bool cPictureElement::SetActiveZone(int32_t id, const sZone& zone) {
  sZone* z = activeZones_.FindOrInsert(id);
  if (z == nullptr) return false;
  *z = zone;
  return true;
}

bool cPictureElement::SetHintZone(int32_t id, const sZone& zone, const char16_t* text, int32_t placement) {
  sHintZone* z = hintZones_.FindOrInsert(id);
  if (z == nullptr) return false;
  z->x1 = zone.x1, z->y1 = zone.y1, z->x2 = zone.x2, z->y2 = zone.y2;
  z->text.Assign(text);
  z->placement = placement;
  return true;
}

void cPictureElement::Paint(cCanvas* canvas) {
  if (canvas == nullptr || !HasPixels(shown_)) return;
  const sPoint at{0, 0};
  if (IsTransparent())
    canvas->DrawPictureBlended(&at, shown_, nullptr);
  else
    canvas->DrawPicture(0, 0, shown_, -1, -1);
}

bool cPictureElement::PaintOwnBg(cCanvas* canvas, const sRect* rect) {
  if (canvas == nullptr || !HasPixels(shown_)) return cChildElement::PaintOwnBg(canvas, rect);
  const int32_t ox = rect != nullptr ? rect->x : 0, oy = rect != nullptr ? rect->y : 0;
  canvas->DrawPicture(-ox, -oy, shown_, -1, -1);
  return true;
}

bool cPictureElement::ActiveZoneAt(int32_t x, int32_t y, int32_t* id) const {
  for (auto* n = activeZones_.First(); n != nullptr; n = decltype(activeZones_)::Next(n))
    if (Inside(n->value, x, y)) {
      *id = n->key;
      return true;
    }
  *id = -1;
  return false;
}

void cPictureElement::OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) {
  if (button != 1 || down) return;
  if (ActiveZoneAt(x, y, &hoveredZone_)) PostAction(new cActiveZoneAction(hoveredZone_));
}

void cPictureElement::DropHint() {
  delete hint_;
  hint_ = nullptr;
  hintZone_ = -1;
}

void cPictureElement::OnMouseMove(int32_t x, int32_t y) {
  cChildElement::OnMouseMove(x, y);
  if (!IsEnabledInTree()) return;
  ApplyCursor(ActiveZoneAt(x, y, &hoveredZone_) ? 3 : 0);
  const sHintZone* zone = nullptr;
  int32_t id = -1;
  for (auto* n = hintZones_.First(); n != nullptr; n = decltype(hintZones_)::Next(n))
    if (Inside(n->value, x, y)) {
      zone = &n->value;
      id = n->key;
      break;
    }
  if (zone == nullptr || id == -1) {
    DropHint();
    return;
  }
  if (id == hintZone_) return;
  sPoint at;
  GetScreenPos(&at);
  at.x += zone->x1 + 2;
  at.y += zone->placement == 1 ? zone->y1 : zone->y2 + 2;
  auto* hint = new (std::nothrow) cHintMaster();
  if (hint != nullptr) {
    if (hint->Show(this, zone->text.text, &at, cHintMaster::kDefaultColour, cHintMaster::kDefaultColour,
                   zone->placement)) {
      delete hint_;
      hint_ = hint;
    } else {
      delete hint;
    }
  }
  hintZone_ = id;
}

void cPictureElement::OnLeave() {
  cChildElement::OnLeave();
  DropHint();
}

void cPictureElement::OnDblClick(int32_t x, int32_t y) { PostAction(new cDoubleClickAction(x, y)); }
