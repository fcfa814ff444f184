// Labels, links, picture elements and the property display area: the
// label's three text modes and its clip, a worker thread changing a label's
// text while the UI thread paints it, link clicks, picture zones and hints,
// and the display area's content-height action.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "gui/controls/link.h"
#include "gui/controls/picture_element.h"
#include "gui/controls/prop_area.h"
#include "gui/font.h"
#include "gui/static_element.h"
#include "gui/theme.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::Px;
using twtest::sControlFixture;
using twtest::sPainted;

constexpr uint32_t kText = 0x0000FF, kBack = 0x00FF00, kFrame = 0xFF0000;

// Columns holding text-colour pixels: first and last (or -1).
void TextColumns(const sPainted& shot, int32_t* first, int32_t* last) {
  *first = *last = -1;
  for (int32_t x = 0; x < shot.surface.GetWidth(); ++x)
    for (int32_t y = 0; y < shot.surface.GetHeight(); ++y)
      if (shot.At(x, y) == Px(kText)) {
        if (*first < 0) *first = x;
        *last = x;
        break;
      }
}

TEST(Label, ThreeModesOfALongText) {
  sControlFixture f;
  const int32_t cell = tw::StandInCellWidth(f.top->GetDefaultFont());
  struct Case {
    int32_t mode;
    int32_t height;
    bool textShown;
    bool endsEarly;  // mode 0: the ellipsis stops before the end of the box
  } cases[] = {{0, 24, true, false}, {1, 24, true, false}, {2, 40, true, false}, {2, 6, false, false}};
  for (const Case& c : cases) {
    cStaticElement label;
    f.Add(&label, 0, 0, 100, c.height);
    label.SetColours(kText, kBack, kFrame);
    label.SetTextMode(c.mode);
    // Far wider than the label.
    label.SetLabelText(u"abcdefgh ijklmnop qrstuvwx yzabcdef ghijklmn opabcdef", 0, false);
    sPainted shot;
    twtest::PaintAlone(label, shot);
    int32_t first = 0, last = 0;
    TextColumns(shot, &first, &last);
    const auto where = testing::Message() << "mode " << c.mode << " height " << c.height;
    if (!c.textShown) {
      EXPECT_EQ(first, -1) << where << ": 6 pixels or less draws no text";
    } else {
      EXPECT_EQ(first, 3 + 1) << where << ": from the left edge";
      // Mode 1 clips at w - 3: nothing drawn over the right margin or frame.
      EXPECT_LT(last, 100 - 3) << where;
    }
    EXPECT_EQ(shot.At(99, c.height / 2), Px(kFrame)) << where << ": the frame is intact";
    f.top->RemoveChild(&label);
    f.added.pop_back();
  }
  // Mode 0 shortens with "..." (three dots of one cell each in the stand-in
  // glyphs), mode 1 shows whole cells up to the clip.
  cStaticElement zero, one;
  f.Add(&zero, 0, 0, 100, 24);
  f.Add(&one, 0, 30, 100, 24);
  for (cStaticElement* l : {&zero, &one}) {
    l->SetColours(kText, kBack, kFrame);
    l->SetLabelText(u"abcdefghijklmnopqrstuvwxyzabcdefghijklmnop", 0, false);
  }
  one.SetTextMode(1);
  sPainted a, b;
  twtest::PaintAlone(zero, a);
  twtest::PaintAlone(one, b);
  int32_t af = 0, al = 0, bf = 0, bl = 0;
  TextColumns(a, &af, &al);
  TextColumns(b, &bf, &bl);
  EXPECT_GT(bl, al - cell) << "the clipped text runs on to the clip edge";
  EXPECT_LE(al, 100 - 2 - 1) << "the ellipsis fits the box";
  f.Detach();
}

TEST(Label, AlignmentInModeOne) {
  sControlFixture f;
  const int32_t cell = tw::StandInCellWidth(f.top->GetDefaultFont());
  struct Case {
    int32_t alignment;
    int32_t indent;
    int32_t firstColumn;
  };
  const int32_t a = 100 - 3 - 3, tw = 4 * cell;
  const Case cases[] = {{0, 0, 3 + 1}, {0, 5, 3 + 5 + 1}, {1, 0, 3 + (a - tw) / 2 + 1}, {1, 4, 3 + (a - tw) / 2 + 4 + 1},
                        {2, 0, 3 + a - tw + 1}, {2, 4, 3 + a - tw - 4 + 1}};
  for (const Case& c : cases) {
    cStaticElement label;
    f.Add(&label, 0, 0, 100, 24);
    label.SetColours(kText, kBack, kFrame);
    label.SetTextMode(1);
    label.SetIndent(c.indent);
    label.SetLabelText(u"abcd", c.alignment, false);
    sPainted shot;
    twtest::PaintAlone(label, shot);
    int32_t first = 0, last = 0;
    TextColumns(shot, &first, &last);
    EXPECT_EQ(first, c.firstColumn) << "alignment " << c.alignment << " indent " << c.indent;
    f.top->RemoveChild(&label);
    f.added.pop_back();
  }
}

TEST(Label, WorkerSetsTextWhileTheUiPaints) {
  cStaticElement label;
  sControlFixture f;
  f.Add(&label, 0, 0, 200, 24);
  label.SetLabelText(u"start", 0, false);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < 2000; ++i) {
      const std::u16string text = (i % 2) ? u"odd text that is rather longer" : u"even";
      label.SetLabelText(text.c_str(), i % 3, true);
    }
    done = true;
  });
  sPainted shot;
  int paints = 0;
  while (!done || paints == 0) {
    twtest::PaintAlone(label, shot);
    ++paints;
  }
  worker.join();
  EXPECT_EQ(std::u16string(label.GetText()), u"odd text that is rather longer");
  EXPECT_GT(paints, 0);
}

TEST(Link, ReleasePostsAClickAndShowsTheHand) {
  cLinkElement link;
  sControlFixture f;
  f.Add(&link, 10, 10, 80, 20);
  link.SetTarget(0x1234);
  EXPECT_EQ(link.GetTarget(), 0x1234);
  EXPECT_FALSE(link.IsFocusable());
  EXPECT_EQ(link.GetCursor(), 3);
  f.Move(20, 15);
  EXPECT_EQ(f.host.cursor, 3);
  f.Release(20, 15);  // a release alone is enough
  f.Press(20, 15);
  f.Pump();
  EXPECT_EQ(f.top->Count(&link, 0), 1);
  link.SetColours(GetTheme()->GetColour(7), kBack, kBack);
  link.SetLabelText(u"www", 0, false);
  sPainted shot;
  twtest::PaintAlone(link, shot);
  int32_t first = 0;
  for (int32_t x = 0; x < 80 && first == 0; ++x)
    if (shot.At(x, 10) == Px(GetTheme()->GetColour(7))) first = x;
  EXPECT_GT(first, 0) << "link colour text";
}

std::unique_ptr<cPicture> Solid(uint32_t pixel, int32_t w, int32_t h) {
  auto p = std::make_unique<cPicture>();
  p->Fill(pixel, w, h);
  return p;
}

int64_t ZoneValue(cChildElement::cChildAction* a) {
  if (auto* z = dynamic_cast<cPictureElement::cActiveZoneAction*>(a)) return z->id;
  if (auto* d = dynamic_cast<cPictureElement::cDoubleClickAction*>(a)) return d->x * 1000 + d->y;
  if (auto* r = dynamic_cast<cPropDispAreaChild::cPropDispResizeAction*>(a)) return r->height;
  return -1;
}

TEST(PictureElement, PictureZonesAndHints) {
  cPictureElement e;
  sControlFixture f;
  f.top->valueOf = ZoneValue;
  f.Add(&e, 0, 0, 100, 100);
  auto red = Solid(0xFFFF0000, 100, 100);
  cPicture empty;
  EXPECT_FALSE(e.SetPicture(nullptr));
  EXPECT_TRUE(e.SetPicture(red.get()));
  EXPECT_FALSE(e.SetPicture(&empty)) << "an empty picture is refused";
  EXPECT_EQ(e.GetPicture(), red.get()) << "and the previous one stays";
  sPainted shot;
  twtest::PaintAlone(e, shot);
  EXPECT_EQ(shot.At(50, 50), 0xFF0000u);

  // Overlapping zones: the lower id wins; edges are inclusive.
  e.SetActiveZone(5, {10, 10, 30, 30});
  e.SetActiveZone(2, {20, 20, 40, 40});
  e.SetHintZone(1, {0, 60, 20, 80}, u"first", 0);
  e.SetHintZone(2, {21, 60, 40, 80}, u"second", 1);
  f.Release(10, 10);
  f.Release(25, 25);
  f.Release(40, 40);
  f.Release(41, 41);  // no zone
  f.Pump();
  EXPECT_EQ(f.top->Values(&e, 7), (std::vector<int64_t>{5, 2, 2}));
  f.Move(15, 15);
  EXPECT_EQ(f.host.cursor, 3) << "hand over an active zone";
  f.Move(50, 50);
  EXPECT_EQ(f.host.cursor, 0);
  const int32_t before = f.host.hintRequests;
  f.Move(5, 70);
  EXPECT_EQ(e.GetHintZone(), 1);
  f.Move(6, 71);
  EXPECT_EQ(f.host.hintRequests, before + 1) << "the same zone asks once";
  f.Move(30, 70);
  EXPECT_EQ(e.GetHintZone(), 2) << "straight into the next zone";
  EXPECT_EQ(f.host.hintRequests, before + 2);
  f.Move(50, 90);
  EXPECT_EQ(e.GetHintZone(), -1) << "out of all zones";
  // Double click: two presses in quick succession (a clock that advances
  // 10 ms a reading).
  static uint32_t ticks = 1000;
  tw::SetElementTickSource([] { return ticks += 10; });
  f.Press(60, 61);
  f.Release(60, 61);
  f.Press(60, 61);
  tw::SetElementTickSource(nullptr);
  f.Pump();
  EXPECT_EQ(f.top->Values(&e, 8), (std::vector<int64_t>{60 * 1000 + 61}));
}

TEST(PropDispArea, PostsTheContentHeightOnce) {
  cPropDispAreaChild area;
  sControlFixture f;
  f.top->valueOf = ZoneValue;
  f.Add(&area, 0, 0, 200, 60);
  area.SetTexts(u"Title", u"A body text long enough to wrap over several lines of this narrow box, and more. "
                            u"A second sentence, so that the text needs more room than the box has.");
  sPainted shot;
  twtest::PaintAlone(area, shot);
  f.Pump();
  const auto heights = f.top->Values(&area, 7);
  ASSERT_EQ(heights.size(), 1u);
  EXPECT_GT(heights[0], 60) << "more than the box";
  area.SetContentHeight(static_cast<int32_t>(heights[0]));
  EXPECT_TRUE(area.VBar().IsVisible());
  twtest::PaintAlone(area, shot);
  f.Pump();
  EXPECT_EQ(f.top->Values(&area, 7).size(), 1u) << "the height is set: nothing more";
  EXPECT_EQ(shot.At(0, 30), Px(GetTheme()->GetColour(44))) << "the frame";
  EXPECT_EQ(shot.At(100, 2), Px(GetTheme()->GetColour(45))) << "the fill";
}

}  // namespace
