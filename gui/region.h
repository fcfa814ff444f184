// tw::cRegion: a set of pixels kept as disjoint boxes, the memory canvas's
// counterpart of a GDI region. Boxes are {left, top, right, bottom} in
// device pixels, right and bottom exclusive; empty boxes are never stored.
#pragma once

#include <cstdint>
#include <vector>

#include "gui/geometry.h"

namespace tw {

class cRegion {
public:
  cRegion() = default;
  explicit cRegion(const sEdges& box) { SetBox(box); }

  void Clear() { boxes_.clear(); }
  void SetBox(const sEdges& box);
  bool IsEmpty() const { return boxes_.empty(); }

  // this = this - box (RGN_DIFF), this | box (RGN_OR), this & box, this & other.
  void Subtract(const sEdges& box);
  void Unite(const sEdges& box);
  void Intersect(const sEdges& box);
  void Intersect(const cRegion& other);

  bool Contains(int32_t x, int32_t y) const;
  // Whether the box shares at least one pixel with the region.
  bool Touches(const sEdges& box) const;
  int64_t Area() const;

  const std::vector<sEdges>& Boxes() const { return boxes_; }

private:
  std::vector<sEdges> boxes_;
};

inline bool IsEmptyBox(const sEdges& b) { return b.right <= b.left || b.bottom <= b.top; }

inline sEdges IntersectBoxes(const sEdges& a, const sEdges& b) {
  sEdges r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
           a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
  return r;
}

}  // namespace tw
