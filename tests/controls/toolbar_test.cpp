// The toolbar: layout in the three overflow modes, the overflow list and
// its choices, disabled buttons, resizing, and layouts that a repeated
// SetButton does not redo.
#include "gui/controls/toolbar.h"

#include <gtest/gtest.h>

#include <vector>

#include "gui/font.h"
#include "gui/theme.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::cTestHost;
using twtest::sControlFixture;

int64_t ButtonId(cChildElement::cChildAction* a) {
  auto* b = dynamic_cast<cToolBarChild::cTbButtonAction*>(a);
  return b != nullptr ? b->id : -1;
}

struct BarFixture : sControlFixture {
  cToolBarChild bar;
  int32_t each = 0;  // the width of every button ("Bn": two cells + 10)
  int32_t chevron = 0;
  explicit BarFixture(int32_t count, int32_t width = 400) {
    top->valueOf = ButtonId;
    Add(&bar, 0, 0, width, 24);
    for (int32_t id = 0; id < count; ++id) {
      const char16_t text[] = {u'B', static_cast<char16_t>(u'0' + id), 0};
      bar.SetButton(id, text, -1);
    }
    each = 2 * tw::StandInCellWidth(top->GetDefaultFont()) + 10;
    chevron = MeasureButtonWidth(&bar, nullptr, GetTheme()->GetPicture(72), 0, nullptr);
  }
  ~BarFixture() { Detach(); }
  std::vector<int32_t> Visible() {
    std::vector<int32_t> ids;
    for (int32_t id = 0; id < 16; ++id)
      if (cButtonChild* b = bar.GetButton(id))
        if (b->IsVisible()) ids.push_back(id);
    return ids;
  }
  std::vector<int32_t> Listed() {
    std::vector<int32_t> ids;
    for (auto* n = bar.OverflowRows().First(); n != nullptr; n = tPopupItems::Next(n)) ids.push_back(n->key);
    return ids;
  }
};

TEST(Toolbar, EndModeMovesTheLastButtonsIntoTheList) {
  BarFixture f(5);
  // Three buttons and the chevron fit, four do not.
  f.bar.SetOverflowMode(2);
  f.bar.SetPos(0, 0, 3 * f.each + f.chevron + 2, 24);
  EXPECT_EQ(f.Visible(), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(f.Listed(), (std::vector<int32_t>{3, 4}));
  EXPECT_TRUE(f.bar.Chevron().IsVisible());
  EXPECT_EQ(f.bar.Chevron().GetX(), 3 * f.each) << "right after button 3";
  EXPECT_EQ(f.bar.GetButton(2)->GetX(), 2 * f.each);
  // A disabled overflowing button is hidden and not listed.
  f.bar.EnableButton(3, false);
  f.bar.Relayout();
  EXPECT_EQ(f.Listed(), (std::vector<int32_t>{4}));
  EXPECT_FALSE(f.bar.GetButton(3)->IsVisible());
  // Wide enough again: the chevron goes.
  f.bar.SetPos(0, 0, 400, 24);
  EXPECT_FALSE(f.bar.Chevron().IsVisible());
  EXPECT_EQ(f.Visible(), (std::vector<int32_t>{0, 1, 2, 3, 4}));
}

TEST(Toolbar, PathModeKeepsTheHeadAndTheTail) {
  BarFixture f(6);
  f.bar.SetOverflowMode(1);
  f.bar.SetPinnedCount(1);
  // Button 0, the chevron and room for two more.
  f.bar.SetPos(0, 0, f.each + f.chevron + 2 * f.each + 3, 24);
  EXPECT_EQ(f.Visible(), (std::vector<int32_t>{0, 4, 5}));
  EXPECT_EQ(f.Listed(), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(f.bar.Chevron().GetX(), f.each);
  EXPECT_EQ(f.bar.GetButton(4)->GetX(), f.each + f.chevron);
  EXPECT_EQ(f.bar.GetButton(5)->GetX(), f.each + f.chevron + f.each);
  f.bar.SetPinnedCount(-3);
  EXPECT_EQ(f.Visible(), (std::vector<int32_t>{3, 4, 5})) << "a negative count is 0: no head";
}

TEST(Toolbar, ModeZeroNeverShowsTheChevron) {
  BarFixture f(6);
  f.bar.SetPos(0, 0, f.each, 24);
  EXPECT_FALSE(f.bar.Chevron().IsVisible());
  EXPECT_EQ(f.Visible().size(), 6u);
  EXPECT_EQ(f.bar.GetButtonsWidth(), 6 * f.each);
}

TEST(Toolbar, ChoosingAListRowPostsTheButtonsAction) {
  BarFixture f(5);
  f.bar.SetOverflowMode(2);
  f.bar.SetPos(0, 0, 3 * f.each + f.chevron + 2, 24);
  int32_t rows = 0, width = 0;
  f.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
    auto* popup = dynamic_cast<cPopupMaster*>(form);
    ASSERT_NE(popup, nullptr);
    rows = popup->RowCount();
    width = form->GetWidth();
    cButtonChild* b = popup->RowButton(4);
    ASSERT_NE(b, nullptr);
    sRect r;
    b->GetRect(&r);
    form->MouseButton(r.x + 2, r.y + 2, 1, true, false, false);
    form->MouseButton(r.x + 2, r.y + 2, 1, false, false, false);
    nested.Pump();
  });
  const int32_t cx = f.bar.Chevron().GetX() + 3;
  f.Click(cx, 5);
  f.Pump();
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(width, static_cast<int32_t>(1.1 * f.each));
  f.Click(f.each + 3, 5);  // button 1 itself
  f.Click(f.bar.GetWidth() - 1, 5);  // the bar beside the chevron
  f.Pump();
  EXPECT_EQ(f.top->Values(&f.bar, 7), (std::vector<int64_t>{4, 1})) << "the list row acts as the button would";
  EXPECT_EQ(f.top->Count(&f.bar, 8), 1) << "a press on the bar outside its buttons";
}

TEST(Toolbar, SameTextAndIndexDoNotLayOutAgain) {
  BarFixture f(3);
  const int32_t before = f.bar.GetLayoutCount();
  EXPECT_TRUE(f.bar.SetButton(1, u"B1", -1));
  EXPECT_EQ(f.bar.GetLayoutCount(), before);
  EXPECT_TRUE(f.bar.SetButton(1, u"Longer", -1));
  EXPECT_EQ(f.bar.GetLayoutCount(), before + 1);
  EXPECT_EQ(f.bar.GetButton(2)->GetX(), f.each + 6 * tw::StandInCellWidth(f.top->GetDefaultFont()) + 10);
  EXPECT_TRUE(f.bar.SetButton(1, nullptr, -1)) << "no text, no index: removed";
  EXPECT_EQ(f.bar.GetButton(1), nullptr);
  EXPECT_FALSE(f.bar.RemoveButton(1));
  EXPECT_FALSE(f.bar.EnableButton(1, true));
}

class PickyBar : public cToolBarChild {
public:
  bool OnButtonAdded(int32_t id, cButtonChild*) override { return id != 13; }
};

TEST(Toolbar, RefusedButtonsAreNotKept) {
  PickyBar bar;
  sControlFixture f;
  f.Add(&bar, 0, 0, 300, 24);
  EXPECT_TRUE(bar.SetButton(12, u"yes", -1));
  EXPECT_FALSE(bar.SetButton(13, u"no", -1));
  EXPECT_EQ(bar.GetButton(13), nullptr);
  EXPECT_NE(bar.GetButton(12), nullptr);
}

}  // namespace
