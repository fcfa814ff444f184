// Popup lists and the combo box: measuring rows, placement against the
// screen limits, the rows built, closing by click, Escape and a press
// outside, a list whose rows are all empty, and the combo's keys, items
// and drop-down list.
#include "gui/controls/popup.h"

#include <gtest/gtest.h>

#include <string>

#include "gui/controls/combo.h"
#include "gui/font.h"
#include "gui/theme.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::cTestHost;
using twtest::sControlFixture;

void Row(tPopupItems& items, int32_t id, const char16_t* text, int32_t height = 0, bool splitter = false) {
  sPopupItem* item = items.FindOrInsert(id);
  item->text.Assign(text);
  item->rowHeight = height;
  item->splitterAbove = splitter;
}

TEST(Popup, PlacementAgainstTheLimits) {
  struct Case {
    int32_t x, y, width, height;
    int32_t ex, ey, eh;
  } cases[] = {
      {100, 100, 200, 300, 100, 100, 300},   // fits
      {1200, 100, 200, 300, 1080, 100, 300},  // too far right: moved left
      {100, 100, 1500, 300, 0, 100, 300},     // wider than the screen: x = 0
      {100, 900, 200, 300, 100, 600, 300},    // more room above: opens above
      {100, 300, 200, 900, 100, 300, 724},    // more room below: cut to it
      {100, 1000, 200, 1200, 100, 0, 1000},   // above, cut to the room above
  };
  for (const Case& c : cases) {
    int32_t x = c.x, y = c.y, h = c.height;
    PlacePopup(1280, 1024, &x, &y, c.width, &h);
    EXPECT_EQ(x, c.ex) << c.x << "," << c.y << " " << c.width << "x" << c.height;
    EXPECT_EQ(y, c.ey) << c.x << "," << c.y << " " << c.width << "x" << c.height;
    EXPECT_EQ(h, c.eh) << c.x << "," << c.y << " " << c.width << "x" << c.height;
  }
  int32_t x = 5000, y = 5000, h = 10;
  PlacePopup(0, 1024, &x, &y, 10, &h);
  EXPECT_EQ(x, 5000) << "unknown limits: unchanged";
}

TEST(Popup, MeasuresShownRowsOnly) {
  sControlFixture f;
  cWinFont* font = f.top->GetDefaultFont();
  const int32_t cell = tw::StandInCellWidth(font), th = tw::StandInTextHeight(font);
  tPopupItems items;
  Row(items, 1, u"same");
  Row(items, 2, u"same");        // equal text: a row of its own
  Row(items, 3, nullptr);        // no text, no picture: no space
  Row(items, 4, u"longer row", 0, true);
  Row(items, 5, u"tall", 30);
  sSize size;
  ASSERT_TRUE(MeasurePopupItems(f.top, items, nullptr, &size, nullptr));
  EXPECT_EQ(size.width, 10 * cell + 10 + 2);
  EXPECT_EQ(size.height, 3 * (th + 7) + 3 + 30);
  EXPECT_FALSE(MeasurePopupItems(nullptr, items, nullptr, &size, nullptr));
  tPopupItems empty;
  EXPECT_EQ(OpenPopupList(f.top, empty, nullptr, 0, 0, 10, 10, -1, kPopupNoColour, kPopupNoColour,
                          kPopupNoColour, nullptr, sPopupColours()),
            -1);
}

struct PopupRun {
  int32_t rows = -1;
  cPopupMaster* popup = nullptr;
};

TEST(Popup, RowsCloseByClickEscapeAndPressOutside) {
  sControlFixture f;
  tPopupItems items;
  Row(items, 7, u"Seven");
  Row(items, 3, u"Three");
  Row(items, 9, u"Nine", 0, true);
  enum Way { kClick, kEscape, kOutside, kEnterOnSelected };
  struct Case {
    Way way;
    int32_t expected;
  } cases[] = {{kClick, 9}, {kEscape, -1}, {kOutside, -1}, {kEnterOnSelected, 7}};
  for (const Case& c : cases) {
    int32_t rows = 0, splitterY = -1, nineY = -1;
    uint32_t splitterColour = 0;
    f.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
      auto* popup = dynamic_cast<cPopupMaster*>(form);
      ASSERT_NE(popup, nullptr);
      rows = popup->RowCount();
      splitterColour = popup->SplitterColour();
      cButtonChild* nine = popup->RowButton(9);
      ASSERT_NE(nine, nullptr);
      nineY = nine->GetY();
      sRect r;
      nine->GetRect(&r);
      splitterY = r.y - 3;
      switch (c.way) {
        case kClick:
          form->MouseButton(r.x + 2, r.y + 2, 1, true, false, false);
          form->MouseButton(r.x + 2, r.y + 2, 1, false, false, false);
          break;
        case kEscape: form->Key(27, false, false, false); break;
        case kOutside: form->MouseButton(form->GetWidth() + 5, 2, 1, true, false, false); break;
        case kEnterOnSelected:
          EXPECT_TRUE(popup->RowButton(7)->HasFocus()) << "the selected row has the focus";
          form->Key(13, false, false, false);
          break;
      }
      nested.Pump();
    });
    const int32_t result = OpenPopupList(f.top, items, nullptr, 10, 10, 120, 80, 7, 0xFFFFFF, 0x000000,
                                         kPopupNoColour, nullptr, sPopupColours());
    EXPECT_EQ(result, c.expected) << "way " << c.way;
    EXPECT_EQ(rows, 3);
    const int32_t th = tw::StandInTextHeight(f.top->GetDefaultFont());
    EXPECT_EQ(nineY, 1 + 2 * (th + 7) + 3) << "rows in id order, the splitter above the last";
    EXPECT_EQ(splitterY, 1 + 2 * (th + 7));
    // White and black: each channel 255 * 155 / 255 + 0.
    EXPECT_EQ(splitterColour, 0x9B9B9Bu);
  }
}

TEST(Popup, RowsWithoutTextDoNotDivideByZero) {
  sControlFixture f;
  tPopupItems items;
  Row(items, 1, nullptr);
  Row(items, 2, nullptr);
  int32_t rows = -1, line = 0;
  f.host.QueueModalScript([&](cTestHost&, cChildElement* form) {
    auto* popup = dynamic_cast<cPopupMaster*>(form);
    rows = popup->RowCount();
    line = popup->VBar().GetLineStep();
    form->Key(27, false, false, false);
  });
  EXPECT_EQ(OpenPopupList(f.top, items, nullptr, 0, 0, 50, 0, -1, kPopupNoColour, kPopupNoColour,
                          kPopupNoColour, nullptr, sPopupColours()),
            -1);
  EXPECT_EQ(rows, 0);
  EXPECT_GE(line, 1);
}

int64_t NoValue(cChildElement::cChildAction*) { return 0; }

struct ComboFixture : sControlFixture {
  cComboBoxChild combo;
  ComboFixture() {
    top->valueOf = NoValue;
    twtest::UseEnglish();
    Add(&combo, 10, 10, 150, 22);
    for (int32_t id : {2, 5, 8}) combo.SetItem(id, (u"Item " + std::u16string(1, u'0' + id)).c_str(), id * 10, -1);
    top->SetFocusTo(&combo.Edit());
  }
  ~ComboFixture() { Detach(); }
  std::u16string Text() { return combo.GetText(); }
};

TEST(Combo, LayoutAndItems) {
  ComboFixture f;
  EXPECT_EQ(f.combo.Edit().GetWidth(), 150 - 19);
  EXPECT_EQ(f.combo.Arrow().GetX(), 150 - 19);
  EXPECT_EQ(f.combo.Arrow().GetWidth(), 19);
  EXPECT_FALSE(f.combo.Arrow().IsTabStop());
  EXPECT_FALSE(f.combo.SetItem(-1, u"no", 0, -1));
  EXPECT_FALSE(f.combo.Select(4, true)) << "an unknown id";
  EXPECT_EQ(f.combo.GetSelectedId(), -1);
  ASSERT_TRUE(f.combo.Select(5, false));
  EXPECT_EQ(f.Text(), u"Item 5");
  f.combo.SetItem(5, u"Renamed", 1, -1);
  EXPECT_EQ(f.Text(), u"Renamed") << "the selected item's new text shows at once";
  EXPECT_EQ(f.combo.GetItemData(5), 1);
  EXPECT_EQ(f.combo.GetItemData(6), 0);
  f.combo.Select(-1, false);
  EXPECT_EQ(f.Text(), u"");
  f.combo.Select(8, false);
  f.combo.ClearItems();
  EXPECT_EQ(f.combo.GetSelectedId(), -1);
  EXPECT_EQ(f.Text(), u"");
  EXPECT_TRUE(f.combo.Items().IsEmpty());
}

TEST(Combo, ArrowKeysStepThroughTheItems) {
  ComboFixture f;
  f.Key(40);
  EXPECT_EQ(f.combo.GetSelectedId(), -1) << "Down without a selection does nothing";
  f.combo.Select(2, false);
  struct Step {
    int32_t key;
    int32_t selected;
  } steps[] = {{40, 5}, {40, 8}, {40, 8}, {38, 5}, {38, 2}, {38, 2}};
  for (const Step& s : steps) {
    f.Key(s.key);
    EXPECT_EQ(f.combo.GetSelectedId(), s.selected) << "key " << s.key;
  }
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.combo, 7), 4) << "each key selection notifies";
  f.combo.SetItem(3, u"Three", 0, -1);
  f.combo.Select(3, false);
  f.combo.SetItem(3, nullptr, 0, -1);
  f.Key(38, true);  // Shift+Up: not the combo's, goes to the edit
  EXPECT_EQ(f.combo.GetSelectedId(), 3);
}

TEST(Combo, AltDownAndF4OpenTheListAndAChoiceSelects) {
  ComboFixture f;
  int32_t opened = 0;
  auto choose = [&](int32_t id) {
    f.host.QueueModalScript([&, id](cTestHost& nested, cChildElement* form) {
      ++opened;
      auto* popup = dynamic_cast<cPopupMaster*>(form);
      ASSERT_NE(popup, nullptr);
      EXPECT_EQ(form->GetWidth(), 150);
      cButtonChild* b = popup->RowButton(id);
      ASSERT_NE(b, nullptr);
      sRect r;
      b->GetRect(&r);
      form->MouseButton(r.x + 2, r.y + 2, 1, true, false, false);
      form->MouseButton(r.x + 2, r.y + 2, 1, false, false, false);
      nested.Pump();
    });
  };
  choose(8);
  f.Key(40, false, false, true);  // Alt+Down
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(f.combo.GetSelectedId(), 8);
  choose(2);
  f.Key(115);  // F4
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(f.Text(), u"Item 2");
  choose(5);
  f.Click(10 + 150 - 5, 15);  // the arrow button
  f.Pump();
  EXPECT_EQ(opened, 3);
  EXPECT_EQ(f.combo.GetSelectedId(), 5);
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.combo, 7), 3);
}

TEST(Combo, LongListScrollsByTheAverageRowHeight) {
  ComboFixture f;
  for (int32_t id = 10; id < 30; ++id) f.combo.SetItem(id, u"Row", 0, -1);
  int32_t height = 0, line = 0;
  bool bar = false;
  f.host.QueueModalScript([&](cTestHost&, cChildElement* form) {
    auto* popup = dynamic_cast<cPopupMaster*>(form);
    height = form->GetHeight();
    bar = popup->VBar().IsVisible();
    line = popup->VBar().GetLineStep();
    form->Key(27, false, false, false);
  });
  f.combo.DropDown();
  EXPECT_EQ(height, 100 + 2) << "the list height is cut to 100";
  EXPECT_TRUE(bar);
  EXPECT_EQ(line, tw::StandInTextHeight(f.top->GetDefaultFont()) + 7);
  EXPECT_EQ(f.combo.GetSelectedId(), -1) << "Escape chose nothing";
}

TEST(Combo, ReadOnlyComboOpensOnRelease) {
  ComboFixture f;
  f.combo.SetEditable(false);
  int32_t opened = 0;
  f.host.QueueModalScript([&](cTestHost&, cChildElement* form) {
    ++opened;
    form->Key(27, false, false, false);
  });
  f.Press(30, 15);
  EXPECT_EQ(opened, 0) << "the press is held back";
  EXPECT_FALSE(f.host.captured) << "the edit did not take the press";
  f.Release(30, 15);
  EXPECT_EQ(opened, 1);
}

}  // namespace
