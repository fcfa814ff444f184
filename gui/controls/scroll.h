// cHScroll and cVScroll: the toolkit's own scroll bars, drawn from theme
// pictures, holding a 64-bit position in 0..maximum and reporting every
// change as a posted kind-7 action. cScrollableElement: the base of every
// element whose content can be larger than its window; it owns one bar of
// each kind as fixed children and keeps its scroll offsets in step with
// them.
//
// Rules:
//  a. The two bars are mirror images: everything said of the horizontal
//     bar holds for the vertical one with the axes exchanged. They differ
//     only in SetRange (the horizontal bar refuses 0) and SetPos (the
//     vertical bar may set without posting).
//  b. Theme metrics used: 19 the bar thickness T, 20 and 21 the widths up
//     to which a bar shows only small arrows or only arrows, 22 the
//     shortest thumb.
//  c. Scroll actions are posted, so a scrollable element's offsets follow
//     its bars one turn of the UI loop later.
//  d. UI thread only.
#pragma once

#include <cstdint>

#include "base/sorted_tree.h"
#include "gui/element.h"

class cImageStore;

// What the bars share. Not used on its own.
class cScrollBar : public cChildElement {
public:
  // Kind 7 (value): the new position.
  class cScrollAction : public cChildAction {
  public:
    explicit cScrollAction(uint64_t value) : cChildAction(7), position(value) {}
    uint64_t position;
  };

  // Hit codes of HitTest.
  enum : int32_t { kHitNothing = 0, kHitPageBack = 1, kHitPageForward = 2, kHitThumb = 3, kHitBack = 4,
                   kHitForward = 5 };

  void Paint(cCanvas* canvas) override;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  void OnMouseMove(int32_t x, int32_t y) override;
  void OnLeave() override;
  void OnKey(int32_t virtualKey, bool shift, bool control, bool alt) override;
  ~cScrollBar() override = default;
  bool WantsDoubleBuffer() override { return true; }
  bool WantsFullRepaint() override { return true; }
  bool NoArrowNavigation() override { return true; }
  void InitDefaults() override;

  uint64_t GetRange() const { return maximum_; }
  uint64_t GetPos() const { return position_; }
  // A step of 0 is ignored.
  void SetLineStep(int32_t step);
  void SetPageStep(int32_t step);
  int32_t GetLineStep() const { return lineStep_; }
  int32_t GetPageStep() const { return pageStep_; }
  // The part under coordinate along the bar (kHit...).
  int32_t HitTest(int32_t along);
  // Whether the user is dragging the thumb.
  bool IsDragging() const { return dragging_ != 0; }
  // Part states 0 normal, 1 hover, 2 pressed: track, thumb, back, forward.
  int32_t PartState(int32_t which) const { return states_[which]; }

  // The thumb of a track of length L for maximum: its length K and the
  // units per pixel u. An empty track, or an empty bar (L + maximum = 0),
  // gives K = L and u = 1 instead of dividing by zero.
  struct sThumb {
    int64_t length;
    double unitsPerPixel;
  };
  static sThumb ThumbFor(int64_t trackLength, uint64_t maximum, int32_t shortest);
  // start + delta in 0..maximum without leaving 64 bits.
  static uint64_t MoveClamped(uint64_t start, int64_t delta, uint64_t maximum);

protected:
  explicit cScrollBar(bool vertical) : vertical_(vertical) {}

  // Stores a changed position (clamped), posts it when asked. True when it
  // changed.
  bool StorePos(uint64_t position, bool post);
  bool SetRangeImpl(uint64_t maximum, bool acceptZero);
  // The line and page moves: no repaint.
  void MoveBack(int32_t step);
  void MoveForward(int32_t step);

private:
  struct sLayout {
    // Start and length along the bar of each part (0..11); -1 length: absent.
    int32_t start[12];
    int32_t length[12];
    bool full;          // the track and thumb are shown
    int32_t trackStart;
    int32_t trackLength;
    int32_t thumbStart;
    int32_t thumbLength;
  };
  void Layout(sLayout* layout);
  int32_t Along() const { return vertical_ ? GetHeight() : GetWidth(); }
  int32_t PartLength(int32_t part);
  cImageStore& Store(int32_t state);
  int32_t StateOfPart(int32_t part) const;
  void ClearStates();

  bool vertical_;
  uint64_t position_ = 0;
  uint64_t maximum_ = 100;
  int32_t lineStep_ = 1;
  int32_t pageStep_ = 10;
  int32_t dragOrigin_ = 0;
  uint64_t dragStartPos_ = 0;
  uint8_t dragging_ = 0, backArmed_ = 0, forwardArmed_ = 0, pageBackArmed_ = 0, pageForwardArmed_ = 0,
          buttonDown_ = 0;
  // track, thumb, back arrow, forward arrow
  int32_t states_[4] = {0, 0, 0, 0};
};

class cHScroll : public cScrollBar {
public:
  using cHScrollAction = cScrollAction;
  cHScroll() : cScrollBar(false) {}
  // A maximum of 0 is refused.
  void SetRange(uint64_t maximum) { SetRangeImpl(maximum, false); }
  // Clamped; a change is stored, posted and repainted.
  void SetPos(uint64_t position);
  void LineLeft() { MoveBack(GetLineStep()); }
  void LineRight() { MoveForward(GetLineStep()); }
  void PageLeft() { MoveBack(GetPageStep()); }
  void PageRight() { MoveForward(GetPageStep()); }
};

class cVScroll : public cScrollBar {
public:
  using cVScrollAction = cScrollAction;
  cVScroll() : cScrollBar(true) {}
  // Accepts 0.
  void SetRange(uint64_t maximum) { SetRangeImpl(maximum, true); }
  // Clamped; a change is stored and repainted, and posted when post is set.
  void SetPos(uint64_t position, bool post);
  void LineUp() { MoveBack(GetLineStep()); }
  void LineDown() { MoveForward(GetLineStep()); }
  void PageUp() { MoveBack(GetPageStep()); }
  void PageDown() { MoveForward(GetPageStep()); }
};

class cScrollableElement : public cChildElement {
public:
  cScrollableElement() : keep_(512) {}
  ~cScrollableElement() override;

  bool ClientSize(int32_t* width, int32_t* height) override;
  bool ScrollOffset(int32_t* x, int32_t* y) override;
  bool ViewRect(sRect* rect) override;
  void Paint(cCanvas* canvas) override;
  void OnResize() override;
  bool OnWheel(int32_t x, int32_t y, bool up, bool control, int32_t count) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  bool WantsFullRepaint() override { return true; }
  void InitDefaults() override;
  // Draws the scrolled content; nothing here.
  virtual void PaintContent(cCanvas* canvas) { (void)canvas; }

  // Negative or unchanged values are ignored.
  void SetContentWidth(int32_t width);
  void SetContentHeight(int32_t height);
  int32_t GetContentWidth() const { return contentWidth_; }
  int32_t GetContentHeight() const { return contentHeight_; }
  int32_t GetScrollX() const { return scrollX_; }
  int32_t GetScrollY() const { return scrollY_; }
  void SetLineSteps(int32_t horizontal, int32_t vertical);
  void SetPageSizes(int32_t horizontal, int32_t vertical);
  int32_t GetVScrollWidth() const;
  // Scrolls so that the descendant's rectangle shows (its keep flags
  // respected); nothing for an element that is not a descendant.
  void EnsureChildVisible(cChildElement* descendant);
  // True when a bar position changed.
  bool ScrollRectIntoView(const sRect& rect, bool keepX, bool keepY);
  void SetChildScrollFlags(cChildElement* child, bool keepX, bool keepY);
  // Shows, hides, places and ranges the bars for the element and content
  // sizes.
  void UpdateScrollBars();

  cHScroll& HBar() { return hbar_; }
  cVScroll& VBar() { return vbar_; }

protected:
  cHScroll hbar_;
  cVScroll vbar_;
  int32_t contentWidth_ = 0;
  int32_t contentHeight_ = 0;
  int32_t scrollX_ = 0;
  int32_t scrollY_ = 0;
  struct sKeep {
    uint8_t x = 0;
    uint8_t y = 0;
  };
  cSortedTree<cChildElement*, sKeep> keep_;
};
