// Scroll bars and the scrollable element: thumb arithmetic (including the
// empty bar and signed drags), ranges and positions with their actions,
// mouse and keys, and the bar layout of the scrollable element.
#include "gui/controls/scroll.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "gui/theme.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::sControlFixture;

int32_t Metric(uint32_t i) { return GetTheme()->GetMetric(i); }

int64_t ScrollValue(cChildElement::cChildAction* a) {
  auto* s = dynamic_cast<cScrollBar::cScrollAction*>(a);
  return s != nullptr ? static_cast<int64_t>(s->position) : -1;
}

struct BarFixture : sControlFixture {
  cHScroll h;
  cVScroll v;
  BarFixture() {
    top->valueOf = ScrollValue;
    Add(&h, 10, 10, 200, 14);
    Add(&v, 300, 10, 14, 200);
  }
  ~BarFixture() { Detach(); }
};

TEST(ScrollThumb, LengthAndUnitsTable) {
  const uint64_t huge = std::numeric_limits<uint64_t>::max();
  struct Case {
    int64_t L;
    uint64_t maximum;
    int64_t K;
    double u;
  } cases[] = {
      {100, 100, 50, 2.0},          // half the track
      {100, 0, 100, 1.0},           // nothing to scroll: the whole track
      {100, 100000, 12, 100000.0 / 88},  // the shortest thumb
      {100, huge, 12, static_cast<double>(huge) / 88},  // the sum leaves 64 bits
      {0, 0, 0, 1.0},               // empty bar: no division by zero
      {0, 50, 0, 1.0},              // no track
      {-7, 50, -7, 1.0},            // a bar shorter than its arrows
  };
  for (const Case& c : cases) {
    const cScrollBar::sThumb t = cScrollBar::ThumbFor(c.L, c.maximum, 12);
    EXPECT_EQ(t.length, c.K) << "L=" << c.L << " max=" << c.maximum;
    EXPECT_DOUBLE_EQ(t.unitsPerPixel, c.u) << "L=" << c.L << " max=" << c.maximum;
  }
}

TEST(ScrollThumb, MoveClampedStaysInRange) {
  const uint64_t huge = std::numeric_limits<uint64_t>::max();
  const int64_t most = std::numeric_limits<int64_t>::max(), least = std::numeric_limits<int64_t>::min();
  struct Case {
    uint64_t start;
    int64_t delta;
    uint64_t maximum;
    uint64_t expected;
  } cases[] = {
      {50, -20, 100, 30}, {50, -51, 100, 0}, {50, 60, 100, 100}, {0, least, 100, 0},
      {huge, least, huge, huge - static_cast<uint64_t>(most) - 1}, {huge - 1, most, huge, huge},
      {10, 5, 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(cScrollBar::MoveClamped(c.start, c.delta, c.maximum), c.expected)
        << c.start << " + " << c.delta << " in 0.." << c.maximum;
}

TEST(ScrollBar, RangesClampPositionsWithOneAction) {
  BarFixture f;
  f.h.SetPos(80);
  f.h.SetRange(0);
  EXPECT_EQ(f.h.GetRange(), 100u) << "the horizontal bar refuses 0";
  f.h.SetRange(90);  // above the position: nothing posted
  f.h.SetRange(30);  // below: one action with the new maximum
  f.v.SetPos(40, false);
  f.v.SetRange(0);
  f.Pump();
  EXPECT_EQ(f.h.GetPos(), 30u);
  EXPECT_EQ(f.top->Values(&f.h, 7), (std::vector<int64_t>{80, 30}));
  EXPECT_EQ(f.v.GetRange(), 0u) << "the vertical bar accepts 0";
  EXPECT_EQ(f.v.GetPos(), 0u);
  EXPECT_EQ(f.top->Values(&f.v, 7), (std::vector<int64_t>{0})) << "SetPos without post, the clamp posts";
}

TEST(ScrollBar, KeysMoveAndHomeAtZeroDoesNothing) {
  BarFixture f;
  f.top->SetFocusTo(&f.h);
  f.h.SetLineStep(3);
  f.h.SetPageStep(0);  // ignored
  const int32_t before = f.host.invalidateCalls;
  f.Key(36);  // Home at 0
  EXPECT_EQ(f.host.invalidateCalls, before) << "no repaint";
  struct Step {
    int32_t key;
    uint64_t position;
  } steps[] = {{39, 3}, {40, 6}, {34, 16}, {37, 13}, {35, 100}, {34, 100}, {33, 90}, {38, 87}, {36, 0}};
  for (const Step& s : steps) {
    f.Key(s.key);
    EXPECT_EQ(f.h.GetPos(), s.position) << "key " << s.key;
  }
  f.Pump();
  EXPECT_EQ(f.top->Values(&f.h, 7), (std::vector<int64_t>{3, 6, 16, 13, 100, 90, 87, 0}))
      << "every change posted once; no action for an unchanged position";
}

TEST(ScrollBar, HitTestOfFullAndArrowOnlyBars) {
  BarFixture f;
  // 200 wide: cap 5, track 5..170, back 170..179, fillers and separator,
  // forward 191..200. Position 0, maximum 100: thumb 5 + 0, K = 165*165/265.
  const int64_t K = 165 * 165 / 265;
  struct Case {
    int32_t x;
    int32_t hit;
  } cases[] = {{-1, 0}, {2, 0}, {5, 3}, {static_cast<int32_t>(5 + K), 2}, {169, 2}, {172, 4}, {180, 4},
               {185, 0}, {187, 5}, {195, 5}, {200, 0}};
  for (const Case& c : cases) EXPECT_EQ(f.h.HitTest(c.x), c.hit) << "x = " << c.x;
  f.h.SetPos(100);
  EXPECT_EQ(f.h.HitTest(6), 1) << "track before the thumb";
  // A bar no wider than metric 21: two halves.
  cHScroll small;
  sControlFixture g;
  g.Add(&small, 0, 0, Metric(21), 14);
  EXPECT_EQ(small.HitTest(0), 4);
  EXPECT_EQ(small.HitTest(Metric(21) / 2 - 1), 4);
  EXPECT_EQ(small.HitTest(Metric(21) / 2), 5);
  small.SetPos(50);
  g.Click(1, 5);
  EXPECT_EQ(small.GetPos(), 49u);
  g.Click(Metric(21) - 2, 5);
  g.Click(Metric(21) - 2, 5);
  EXPECT_EQ(small.GetPos(), 51u);
}

TEST(ScrollBar, ClicksActOnlyWhenPressAndReleaseShareThePart) {
  BarFixture f;
  f.h.SetPos(50);
  const int32_t forward = 10 + 195, back = 10 + 174, y = 15;
  f.Press(forward, y);
  f.Move(10 + 100, y);  // off the arrow onto the track
  f.Release(10 + 100, y);
  EXPECT_EQ(f.h.GetPos(), 50u) << "press on the arrow, release on the track";
  f.Press(forward, y);
  f.Move(10 + 100, y);
  f.Move(forward, y);
  f.Release(forward, y);
  EXPECT_EQ(f.h.GetPos(), 51u) << "back onto the arrow before releasing";
  f.Press(back, y);
  f.Release(back, 10 + 14 + 3);
  EXPECT_EQ(f.h.GetPos(), 51u) << "released below the bar";
  EXPECT_EQ(f.h.PartState(2), 0);
  f.Press(10 + 168, y);  // the track after the thumb
  f.Release(10 + 168, y);
  EXPECT_EQ(f.h.GetPos(), 61u) << "one page";
  EXPECT_FALSE(f.host.captured) << "the release gave the mouse back";
}

TEST(ScrollBar, DragsBackwardsAndOnEmptyBars) {
  BarFixture f;
  f.h.SetRange(1000);
  f.h.SetPos(500);
  // Thumb start = 5 + 500 / u + 0.5 with u = 1000 / (165 - K).
  const cScrollBar::sThumb t = cScrollBar::ThumbFor(165, 1000, Metric(22));
  const int32_t thumb = 10 + 5 + static_cast<int32_t>(500 / t.unitsPerPixel + 0.5) + 2;
  f.Press(thumb, 15);
  ASSERT_TRUE(f.h.IsDragging());
  f.Move(thumb - 10, 15);
  const uint64_t expected = 500 - static_cast<uint64_t>(-static_cast<int64_t>(t.unitsPerPixel * -10 + 0.5));
  EXPECT_EQ(f.h.GetPos(), expected) << "a drag back moves back";
  f.Move(thumb - 1000, 15);
  EXPECT_EQ(f.h.GetPos(), 0u) << "far back: 0, not a wrapped position";
  f.Move(thumb + 1000, 15);
  EXPECT_EQ(f.h.GetPos(), 1000u);
  f.Release(thumb + 1000, 15);
  EXPECT_FALSE(f.h.IsDragging());

  // The vertical bar with an empty range: painting and dragging must not
  // divide by zero.
  f.v.SetRange(0);
  twtest::sPainted shot;
  twtest::PaintAlone(f.v, shot);
  f.Press(305, 10 + 6);
  f.Move(305, 10 + 60);
  f.Release(305, 10 + 60);
  EXPECT_EQ(f.v.GetPos(), 0u);
}

TEST(ScrollBar, PaintsArrowsAndThumbFromTheTheme) {
  BarFixture f;
  twtest::sPainted shot;
  twtest::PaintAlone(f.h, shot);
  cCITheme* theme = GetTheme();
  auto pictureAt = [](cPicture* p, int32_t x, int32_t y) {
    return p->GetPixels()[(p->GetHeight() - 1 - y) * p->GetWidth() + x] & 0xFFFFFFu;
  };
  EXPECT_EQ(shot.At(195, 7), pictureAt(theme->GetPicture(103), 4, 7)) << "forward arrow, normal";
  EXPECT_EQ(shot.At(2, 7), pictureAt(theme->GetPicture(87), 2, 7)) << "start cap";
  EXPECT_EQ(shot.At(8, 7), pictureAt(theme->GetPicture(91), 0, 7)) << "thumb middle at the track start";
  // Hover lights the arrow under the pointer.
  f.Move(10 + 195, 15);
  EXPECT_EQ(f.h.PartState(3), 1);
  twtest::PaintAlone(f.h, shot);
  EXPECT_EQ(shot.At(195, 7), pictureAt(theme->GetPicture(104), 4, 7)) << "forward arrow, hover";
  f.Move(399, 299);
  EXPECT_EQ(f.h.PartState(3), 0) << "left the bar";
}

struct Scrolled : cScrollableElement {
  int32_t painted = 0;
  void PaintContent(cCanvas*) override { ++painted; }
};

TEST(Scrollable, BarsFollowTheContentSize) {
  Scrolled s;
  sControlFixture f;
  f.top->valueOf = ScrollValue;
  f.Add(&s, 0, 0, 200, 100);
  const int32_t T = Metric(19);
  EXPECT_FALSE(s.HBar().IsVisible());
  EXPECT_FALSE(s.VBar().IsVisible());
  struct Case {
    int32_t cw, ch;
    bool h, v;
  } cases[] = {
      {200, 100, false, false}, {300, 50, true, false}, {100, 300, false, true},
      {200 - T + 1, 300, true, true},  // wider than the view beside the vertical bar
      {200 - T, 300, false, true},     {150, 90, false, false},
  };
  for (const Case& c : cases) {
    s.SetContentWidth(c.cw);
    s.SetContentHeight(c.ch);
    EXPECT_EQ(s.HBar().IsVisible(), c.h) << c.cw << " x " << c.ch;
    EXPECT_EQ(s.VBar().IsVisible(), c.v) << c.cw << " x " << c.ch;
  }
  s.SetContentWidth(500);
  s.SetContentHeight(400);
  EXPECT_EQ(s.HBar().GetRange(), static_cast<uint64_t>(500 - (200 - T)));
  EXPECT_EQ(s.VBar().GetRange(), static_cast<uint64_t>(400 - (100 - T)));
  EXPECT_EQ(s.VBar().GetX(), 200 - T);
  EXPECT_EQ(s.VBar().GetHeight(), 100 - T);
  s.HBar().SetPos(40);
  s.VBar().SetPos(70, true);
  f.Pump();
  EXPECT_EQ(s.GetScrollX(), 40);
  EXPECT_EQ(s.GetScrollY(), 70);
  // Back to content that fits: both offsets return to 0.
  s.SetContentWidth(10);
  s.SetContentHeight(10);
  f.Pump();
  EXPECT_EQ(s.GetScrollX(), 0);
  EXPECT_EQ(s.GetScrollY(), 0);
  EXPECT_FALSE(s.VBar().IsVisible());
}

TEST(Scrollable, WheelScrollsTheVisibleBarOnly) {
  Scrolled s;
  sControlFixture f;
  f.Add(&s, 0, 0, 200, 100);
  s.SetContentHeight(1000);
  s.SetLineSteps(7, 9);
  f.top->Wheel(50, 50, false, false, 2);
  EXPECT_EQ(s.VBar().GetPos(), 18u);
  f.top->Wheel(50, 50, true, false, 5);
  EXPECT_EQ(s.VBar().GetPos(), 0u) << "up by more than the position";
  f.top->Wheel(50, 50, false, true, 3);
  EXPECT_EQ(s.HBar().GetPos(), 0u) << "Ctrl: the horizontal bar is hidden, nothing moves";
  EXPECT_EQ(s.VBar().GetPos(), 0u);
  s.SetContentWidth(1000);
  f.top->Wheel(50, 50, false, true, 3);
  EXPECT_EQ(s.HBar().GetPos(), 21u);
}

TEST(Scrollable, FocusedChildIsScrolledIntoView) {
  Scrolled s;
  sControlFixture f;
  f.Add(&s, 0, 0, 200, 100);
  s.SetContentHeight(1000);
  cChildElement row, pinned;
  s.AddChild(&row, 0, 500, 100, 20, 0);
  s.AddChild(&pinned, 0, 700, 100, 20, 0);
  s.SetChildScrollFlags(&pinned, false, true);
  s.SetFocusTo(&row);
  f.Pump();
  EXPECT_EQ(s.VBar().GetPos(), static_cast<uint64_t>(520 - 100)) << "the row's bottom at the view's bottom";
  f.Pump();
  EXPECT_EQ(s.GetScrollY(), 420);
  s.SetFocusTo(&pinned);
  f.Pump();
  EXPECT_EQ(s.VBar().GetPos(), 420u) << "keep y: no vertical scrolling for this child";
  EXPECT_FALSE(s.ScrollRectIntoView(sRect{0, 430, 50, 20}, false, false)) << "already in view";
  EXPECT_TRUE(s.ScrollRectIntoView(sRect{0, 10, 50, 20}, false, false));
  EXPECT_EQ(s.VBar().GetPos(), 10u);
  s.RemoveChild(&row);
  s.RemoveChild(&pinned);
}

TEST(Scrollable, CornerIsPaintedWhenBothBarsShow) {
  Scrolled s;
  sControlFixture f;
  f.Add(&s, 0, 0, 200, 100);
  s.SetContentWidth(400);
  s.SetContentHeight(400);
  twtest::sPainted shot;
  twtest::PaintAlone(s, shot);
  const int32_t T = Metric(19);
  cPicture* corner = GetTheme()->GetPicture(86);
  ASSERT_NE(corner, nullptr);
  EXPECT_EQ(shot.At(200 - T, 100 - T), corner->GetPixels()[(corner->GetHeight() - 1) * corner->GetWidth()] & 0xFFFFFFu);
  EXPECT_EQ(s.painted, 1);
}

}  // namespace
