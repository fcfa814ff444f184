// cSiDocViewer: the element that shows one language's box tree of a loaded
// document (sidoc/loader.h) in a vertically scrolling area and opens a
// link's target when the user clicks it.
//
// The document is laid out and painted once per width into an off-screen
// rendering as wide as the element and as high as the document; a repaint
// only copies the visible part of it. While painting, the links report
// their rectangles (hot spots), which serve clicks and the hand cursor.
//
// Rules:
//  a. The viewer borrows its root box: the caller keeps the box and its
//     loader alive while it is shown (SetDocument(nullptr) lets go).
//  b. Hot spots are in document coordinates ({left, top, right, bottom},
//     inclusive); element points are turned into document points by adding
//     the scroll offsets.
//  c. When the rendering cannot be made (the off-screen canvas is refused,
//     or the document is taller than the rendering may be), the visible
//     part is painted straight onto the screen at every repaint instead:
//     slower, but the reader still sees the document.
//  d. UI thread only; no locks.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/sorted_tree.h"
#include "gui/controls/scroll.h"
#include "gui/geometry.h"
#include "sidoc/box.h"

class cSiDocViewer : public cScrollableElement, public cSiDocActiveTarget {
public:
  cSiDocViewer();
  ~cSiDocViewer() override;

  // Sets the background to white. The box already shown: false, nothing
  // else changes. Otherwise the box is stored (null clears the viewer), the
  // rendering dropped, the element invalidated, and the result is true.
  bool SetDocument(cSiDocBox* root);
  cSiDocBox* GetDocument() const { return document_; }

  // Hands target to OpenOrRunFile (base/process.h); false for a null or
  // empty target and when nothing could be started.
  virtual bool OpenLink(const char16_t* target);

  // The link target under the element point (x, y), or null.
  const char16_t* HitTest(int32_t x, int32_t y) const;

  // ---- cSiDocActiveTarget ----
  void ClearHotSpots() override;
  // Appends {x, y, x + width - 1, y + height - 1} to target's list; false
  // only when memory runs out.
  bool AddHotSpot(const char16_t* target, int32_t x, int32_t y, int32_t width, int32_t height) override;

  // ---- cScrollableElement ----
  void PaintContent(cCanvas* canvas) override;
  void OnResize() override;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  void OnMouseMove(int32_t x, int32_t y) override;
  void OnKey(int32_t virtualKey, bool shift, bool control, bool alt) override;
  // The arrow keys scroll the document; without this the element core
  // would spend them on moving the focus.
  bool NoArrowNavigation() override { return true; }

  // Inspection.
  uint32_t GetBackground() const { return background_; }
  bool HasRendering() const { return rendering_ != nullptr; }
  // True while the document is painted straight onto the screen (rule c).
  bool PaintsDirectly() const { return direct_; }
  const char16_t* GetPressedTarget() const { return pressed_; }
  // The rectangles of target, in the order they were added (null: none).
  const std::vector<sEdges>* HotSpotsOf(const char16_t* target) const { return hotSpots_.Find(target); }

protected:
  // The tallest rendering in pixels (width x height) the viewer asks for;
  // a document beyond it is painted directly (rule c). 64 MiB of 32-bit
  // pixels: a 32-bit process rarely finds more in one piece.
  int64_t maxRenderingPixels_ = int64_t{1} << 24;

private:
  // The root area of a paint or measure (default font, background, black,
  // the element's width as right limit, no bottom limit) at (0, y).
  sSiDocArea RootArea(int32_t y);
  // Copies the visible part of the rendering onto canvas and fills what it
  // does not cover with the background.
  void CopyRendering(cCanvas* canvas);
  // Rule c: the background, then the document moved up by the scroll
  // position, its hot spots shifted back to document coordinates.
  void PaintDirect(cCanvas* canvas);
  void SetContentAndSteps(int32_t height);
  // Drops the rendering and the direct-paint layout.
  void DropRendering();

  std::unique_ptr<cCanvas> rendering_;
  cSiDocBox* document_ = nullptr;
  uint32_t background_ = 0xFFFFFF;
  const char16_t* pressed_ = nullptr;
  cSortedTree<const char16_t*, std::vector<sEdges>> hotSpots_{512};
  // Rule c: the width and height the document measured to for direct
  // painting, and the shift AddHotSpot adds to y while it paints.
  bool direct_ = false;
  int32_t directWidth_ = 0;
  int32_t directHeight_ = 0;
  int32_t hotSpotShiftY_ = 0;
};
