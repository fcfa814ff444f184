// cPictureElement: shows one picture at its own size, with optional active
// zones (rectangles that post their id when clicked) and hint zones
// (rectangles that show a hint window while the mouse is over them).
// Zone rectangles are inclusive {x1, y1, x2, y2} in element pixels; the
// first zone in ascending id order that contains a point is the one hit.
// UI thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/sorted_tree.h"
#include "gui/element.h"

class cHintMaster;
class cPicture;

class cPictureElement : public cChildElement {
public:
  // Kind 7: an active zone was clicked.
  class cActiveZoneAction : public cChildAction {
  public:
    explicit cActiveZoneAction(int32_t zone) : cChildAction(7), id(zone) {}
    int32_t id;
  };
  // Kind 8: a double click at (x, y).
  class cDoubleClickAction : public cChildAction {
  public:
    cDoubleClickAction(int32_t px, int32_t py) : cChildAction(8), x(px), y(py) {}
    int32_t x, y;
  };
  struct sZone {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  };
  struct sHintZone {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    _guardchar<char16_t> text;
    int32_t placement = 0;  // 1: the hint at the zone's top edge, else below it
  };

  cPictureElement();
  ~cPictureElement() override;

  void Paint(cCanvas* canvas) override;
  bool PaintOwnBg(cCanvas* canvas, const sRect* rect) override;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  void OnMouseMove(int32_t x, int32_t y) override;
  void OnLeave() override;
  void OnDblClick(int32_t x, int32_t y) override;
  void InitDefaults() override;

  // Refuses a null picture or one without pixels (false, the current one
  // stays); otherwise shows picture, borrowed. No repaint.
  bool SetPicture(cPicture* picture);
  // Takes ownership of picture and shows it (same refusal).
  bool SetOwnedPicture(std::unique_ptr<cPicture> picture);
  cPicture* GetPicture() const { return shown_; }
  // Zones by id; setting an existing id replaces it.
  bool SetActiveZone(int32_t id, const sZone& zone);
  bool SetHintZone(int32_t id, const sZone& zone, const char16_t* text, int32_t placement);
  int32_t GetHoveredZone() const { return hoveredZone_; }
  int32_t GetHintZone() const { return hintZone_; }
  cHintMaster* GetHintWindow() const { return hint_; }

private:
  bool ActiveZoneAt(int32_t x, int32_t y, int32_t* id) const;
  void DropHint();

  cPicture* shown_ = nullptr;
  std::unique_ptr<cPicture> owned_;
  cSortedTree<int32_t, sZone> activeZones_;
  cSortedTree<int32_t, sHintZone> hintZones_;
  int32_t hoveredZone_ = -1;
  int32_t hintZone_ = -1;
  cHintMaster* hint_ = nullptr;  // owned
};
