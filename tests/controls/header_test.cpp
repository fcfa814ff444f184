// The column header and its splitter: layout with the filler button, the
// width it reports, dragging separators (the last one too, and past a
// column's left edge), column clicks, and the separator pixels.
#include <gtest/gtest.h>

#include "gui/controls/header.h"
#include "gui/theme.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::sControlFixture;

int64_t ValueOf(cChildElement::cChildAction* a) {
  if (a->kind == 7) return static_cast<cSplitterChild::cResizeRequestAction*>(a)->width;
  if (a->kind == 9) return static_cast<cHeaderChild::cColumnClickAction*>(a)->column;
  return 0;
}

struct sHeaderFixture : sControlFixture {
  cHeaderChild header;
  sHeaderFixture() : sControlFixture(600, 200) {
    top->valueOf = ValueOf;
    Add(&header, 0, 0, 300, 20);
    header.SetMinWidth(300);
    header.SetColumn(1, u"Name", 100, 0);
    header.SetColumn(2, u"Size", 80, 2);
    Pump();
    top->seen.clear();
  }
  ~sHeaderFixture() { Detach(); }
};

TEST(Header, ColumnsFillerAndHeight) {
  sHeaderFixture f;
  const int32_t height = GetTheme()->GetMetric(23);
  EXPECT_EQ(f.header.GetHeight(), height);
  EXPECT_EQ(f.header.GetColumnWidth(1), 100);
  EXPECT_EQ(f.header.GetColumnWidth(2), 80);
  EXPECT_EQ(f.header.GetColumnWidth(3), 0);
  cButtonChild* size = f.header.GetColumnButton(2);
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(size->GetX(), 103);
  EXPECT_EQ(size->GetTextAlignment(), 2);
  EXPECT_FALSE(size->IsFocusable());
  // The columns end at 186; the disabled filler covers the rest of the 300.
  EXPECT_EQ(f.header.GetWidth(), 300);
  EXPECT_EQ(f.header.FillerButton().GetX(), 186);
  EXPECT_EQ(f.header.FillerButton().GetWidth(), 114);
  EXPECT_FALSE(f.header.FillerButton().IsEnabled());
  // A null title keeps the text and changes width and alignment only.
  EXPECT_TRUE(f.header.SetColumn(1, nullptr, 120, 1));
  EXPECT_EQ(std::u16string(f.header.GetColumnButton(1)->GetText()), u"Name");
  EXPECT_EQ(f.header.GetColumnButton(1)->GetTextAlignment(), 1);
  EXPECT_EQ(size->GetX(), 123);
  EXPECT_EQ(f.header.FillerButton().GetX(), 206);
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.header, 7), 0) << "the width did not change";
}

TEST(Header, DraggingTheLastSeparatorGrowsTheHeader) {
  sHeaderFixture f;
  // The separator after column 2 spans 183..186.
  f.Press(184, 5);
  EXPECT_TRUE(f.header.IsDragging());
  EXPECT_EQ(f.header.GetDraggedPane(), 2);
  f.Move(250, 5);  // 250 - 103
  EXPECT_EQ(f.header.GetColumnWidth(2), 147);
  EXPECT_EQ(f.header.FillerButton().GetX(), 253);
  EXPECT_EQ(f.header.GetWidth(), 300);
  f.Move(400, 5);  // past the required width: the filler goes, the header grows
  EXPECT_EQ(f.header.GetColumnWidth(2), 297);
  EXPECT_EQ(f.header.GetWidth(), 403);
  EXPECT_EQ(f.header.FillerButton().GetWidth(), 0);
  f.Release(400, 5);
  EXPECT_FALSE(f.header.IsDragging());
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.header, 8), 2);
  EXPECT_EQ(f.top->Values(&f.header, 7), (std::vector<int64_t>{403}));
}

TEST(Header, DragLeftOfTheColumnKeepsItsMinimum) {
  sHeaderFixture f;
  f.header.GetColumnButton(1)->SetMinSize(30, 0);
  f.Press(101, 5);
  ASSERT_EQ(f.header.GetDraggedPane(), 1);
  f.Move(-50, 5);  // asks for width 0
  EXPECT_EQ(f.header.GetColumnWidth(1), 30);
  EXPECT_EQ(f.header.GetColumnButton(2)->GetX(), 33);
  f.Release(-50, 5);
  // A press that is on no separator starts no drag.
  f.Press(250, 5);
  EXPECT_FALSE(f.header.IsDragging());
  f.Release(250, 5);
}

TEST(Header, ColumnClickIsReported) {
  sHeaderFixture f;
  f.Click(150, 5);
  f.Pump();
  f.Click(20, 5);
  f.Pump();
  f.Click(250, 5);  // the filler is disabled
  f.Pump();
  EXPECT_EQ(f.top->Values(&f.header, 9), (std::vector<int64_t>{2, 1}));
  EXPECT_EQ(f.top->Count(f.header.GetColumnButton(1), 0), 0) << "the header handles its buttons' clicks";
}

TEST(Header, SeparatorPixels) {
  sHeaderFixture f;
  f.header.SetColours(0x0000FF, 0x00FF00);
  twtest::sPainted p;
  twtest::PaintAlone(f.header, p);
  // Column 1 ends at 100: separator, line, separator.
  EXPECT_EQ(p.At(100, 10), twtest::Px(0x0000FF));
  EXPECT_EQ(p.At(101, 10), twtest::Px(0x00FF00));
  EXPECT_EQ(p.At(102, 10), twtest::Px(0x0000FF));
  EXPECT_EQ(p.At(101, 0), twtest::Px(0x00FF00));
}

TEST(Splitter, NoVisiblePaneChangesNothing) {
  sControlFixture f(600, 200);
  f.top->valueOf = ValueOf;
  cSplitterChild splitter;
  cChildElement pane;
  f.Add(&splitter, 0, 0, 250, 20);
  EXPECT_FALSE(splitter.AddPane(-1, &pane, 10));
  EXPECT_FALSE(splitter.AddPane(0, nullptr, 10));
  EXPECT_TRUE(splitter.AddPane(0, &pane, 40));
  EXPECT_EQ(splitter.GetWidth(), 43);  // pane + separator
  f.Pump();
  EXPECT_EQ(f.top->Values(&splitter, 7), (std::vector<int64_t>{43}));
  f.top->seen.clear();
  pane.Hide(false);
  splitter.SetPos(0, 0, 250, 20);
  f.Pump();
  EXPECT_EQ(splitter.GetWidth(), 250);
  EXPECT_EQ(f.top->Count(&splitter, 7), 0);
  EXPECT_FALSE(splitter.SetPaneWidth(5, 10));
  EXPECT_FALSE(splitter.SetPaneWidth(0, -1));
  f.Detach();
  splitter.RemoveChild(&pane);
}

}  // namespace
