// Element trees built, laid out, painted and driven by arbitrary operation
// lists: anchors with negative values, fixed axes, scroll offsets, borders,
// transparency and double buffering, removals, and the mouse, wheel, focus
// and Tab routing over all of it. It must run clean under the sanitizers;
// the tree invariants checked after every operation are:
//  a. every element in a parent's tree has that parent and a tab index;
//  b. the focused leaf, when there is one, has the focus flag and lies in
//     the root's tree.
//
// Each operation takes 6 bytes: the operation, two element numbers and
// three arguments.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "gui/element.h"
#include "gui/mem_canvas.h"

namespace {

class Node : public cChildElement {
public:
  bool ScrollOffset(int32_t* x, int32_t* y) override {
    *x = scrollX, *y = scrollY;
    return true;
  }
  int32_t BorderWidth() override { return border; }
  bool WantsTabStop() override { return tabStop; }
  bool WantsFullRepaint() override { return fullRepaint; }
  void Paint(cCanvas* canvas) override {
    const sRect all{-5, -5, canvas->GetWidth() + 10, canvas->GetHeight() + 10};
    canvas->DrawRect(&all, colour, colour ^ 0xFFFFFF);
  }
  int32_t scrollX = 0, scrollY = 0, border = 0;
  bool tabStop = false, fullRepaint = false;
  uint32_t colour = 0;
  bool inTree = false;  // added to a parent and not removed since
};

constexpr int kNodes = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::unique_ptr<Node>> nodes;
  for (int i = 0; i < kNodes; ++i) {
    nodes.push_back(std::make_unique<Node>());
    nodes.back()->colour = 0x102030u * (i + 1);
  }
  Node* root = nodes[0].get();
  root->Resize(64, 48, true);
  cMemCanvas canvas(64, 48);

  for (size_t at = 0; at + 6 <= size && at < 6 * 400; at += 6) {
    const uint8_t* op = data + at;
    Node* a = nodes[op[1] % kNodes].get();
    Node* b = nodes[op[2] % kNodes].get();
    const int32_t p = static_cast<int8_t>(op[3]), q = static_cast<int8_t>(op[4]), r = op[5];
    switch (op[0] % 14) {
      case 0:
      case 1:
        // A detached element that is not a's ancestor joins a's tree.
        if (b != a && b != root && !b->inTree && !b->IsAncestorOf(a) && (a == root || a->inTree)) {
          b->border = r % 4;
          b->tabStop = r & 4;
          b->fullRepaint = r & 8;
          const bool placed = op[0] % 14 == 0 ? a->AddChild(b, p, q, r % 70, (r * 7) % 50, r % 5)
                                              : a->PlaceChild(b, p, q, -(r % 40), (r % 30) - 10);
          if (placed) b->inTree = true;
        }
        break;
      case 2:
        if (b->inTree && b->GetParent() == a) {
          a->RemoveChild(b);
          b->inTree = false;
        }
        break;
      case 3:
        a->Resize(p + 64, q + 48, r & 1);
        break;
      case 4: {
        const sRect rect{p, q, r % 90 - 10, r % 70 - 10};
        a->Invalidate(&rect);
        break;
      }
      case 5:
        if (r & 1)
          a->Hide(r & 2);
        else
          a->Show(r & 2);
        break;
      case 6:
        a->SetTransparent(r & 1);
        a->SetDoubleBuffered(r & 2);
        a->scrollX = p / 4;
        a->scrollY = q / 4;
        break;
      case 7: {
        cMemCanvas fresh(64, 48);
        root->PaintTree(&fresh);
        root->PaintTree(&canvas);
        break;
      }
      case 8:
        root->MouseButton(p + 32, q + 24, 1 + (r & 1), r & 2, r & 4, r & 8);
        break;
      case 9:
        root->MouseMove(p + 32, q + 24);
        break;
      case 10:
        root->Wheel(p + 32, q + 24, r & 1, r & 2, 1);
        break;
      case 11:
        root->FocusAt(p + 32, q + 24, (r % 3) - 1, false, false);
        break;
      case 12:
        root->Key(9, r & 1, false, false);
        root->Key(37 + r % 4, false, false, false);
        break;
      case 13:
        if (r & 1)
          a->Disable(r & 2);
        else
          a->Enable();
        break;
    }
    // a. Membership is consistent both ways.
    for (auto& n : nodes)
      if (n->inTree && (n->GetParent() == nullptr || n->GetParent()->GetTabIndex(n.get()) < 0)) std::abort();
    // b. The focus path ends in a focused element of the root's tree.
    if (cChildElement* leaf = root->GetFocusedLeaf())
      if (!leaf->HasFocus() || (leaf != root && !root->IsAncestorOf(leaf))) std::abort();
  }
  // The tree is taken apart before the nodes go, so that no parent keeps a
  // deleted child in its maps.
  for (auto& n : nodes)
    if (n->inTree) n->GetParent()->RemoveChild(n.get());
  return 0;
}
