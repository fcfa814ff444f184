// See region.h.
#include "gui/region.h"

namespace tw {
namespace {

// Appends the parts of box a that lie outside box b (at most four).
void AppendDifference(const sEdges& a, const sEdges& b, std::vector<sEdges>& out) {
  const sEdges cut = IntersectBoxes(a, b);
  if (IsEmptyBox(cut)) {
    out.push_back(a);
    return;
  }
  if (a.top < cut.top) out.push_back({a.left, a.top, a.right, cut.top});
  if (cut.bottom < a.bottom) out.push_back({a.left, cut.bottom, a.right, a.bottom});
  if (a.left < cut.left) out.push_back({a.left, cut.top, cut.left, cut.bottom});
  if (cut.right < a.right) out.push_back({cut.right, cut.top, a.right, cut.bottom});
}

}  // namespace

void cRegion::SetBox(const sEdges& box) {
  boxes_.clear();
  if (!IsEmptyBox(box)) boxes_.push_back(box);
}

void cRegion::Subtract(const sEdges& box) {
  if (IsEmptyBox(box)) return;
  std::vector<sEdges> out;
  out.reserve(boxes_.size() + 4);
  for (const sEdges& b : boxes_) AppendDifference(b, box, out);
  boxes_.swap(out);
}

void cRegion::Unite(const sEdges& box) {
  if (IsEmptyBox(box)) return;
  // Only the pixels of box not yet covered are added, so boxes stay disjoint.
  std::vector<sEdges> pieces{box};
  for (const sEdges& b : boxes_) {
    std::vector<sEdges> next;
    for (const sEdges& p : pieces) AppendDifference(p, b, next);
    pieces.swap(next);
    if (pieces.empty()) return;
  }
  boxes_.insert(boxes_.end(), pieces.begin(), pieces.end());
}

void cRegion::Intersect(const sEdges& box) {
  std::vector<sEdges> out;
  for (const sEdges& b : boxes_) {
    const sEdges cut = IntersectBoxes(b, box);
    if (!IsEmptyBox(cut)) out.push_back(cut);
  }
  boxes_.swap(out);
}

void cRegion::Intersect(const cRegion& other) {
  std::vector<sEdges> out;
  for (const sEdges& a : boxes_)
    for (const sEdges& b : other.boxes_) {
      const sEdges cut = IntersectBoxes(a, b);
      if (!IsEmptyBox(cut)) out.push_back(cut);
    }
  boxes_.swap(out);
}

bool cRegion::Contains(int32_t x, int32_t y) const {
  for (const sEdges& b : boxes_)
    if (x >= b.left && x < b.right && y >= b.top && y < b.bottom) return true;
  return false;
}

bool cRegion::Touches(const sEdges& box) const {
  for (const sEdges& b : boxes_)
    if (!IsEmptyBox(IntersectBoxes(b, box))) return true;
  return false;
}

int64_t cRegion::Area() const {
  int64_t a = 0;
  for (const sEdges& b : boxes_) a += int64_t{b.right - b.left} * (b.bottom - b.top);
  return a;
}

}  // namespace tw
