// The simple grid: its layout for a table of widths (including a cell
// width and gap that add up to 0), hit testing of cells and gaps, and
// selection by keys and mouse with the actions it posts.
#include <gtest/gtest.h>

#include "gui/controls/grid.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::sControlFixture;

class cTestGrid : public cSimpleGridChild {
public:
  int32_t cellWidth = 40, cellHeight = 20, count = 10, gap = 4, maxGap = 100;
  int32_t painted = 0;
  void PaintCell(cCanvas*, int32_t, bool) override { ++painted; }
  int32_t GetCellWidth() override { return cellWidth; }
  int32_t GetCellHeight() override { return cellHeight; }
  int32_t GetCellCount() override { return count; }
  int32_t GetRowGap() override { return gap; }
  int32_t GetMaxColumnGap() override { return maxGap; }
};

TEST(SimpleGrid, LayoutTable) {
  struct sCase {
    int32_t width, cell, gap, count, maxGap, columns, rows, spacing;
  } const cases[] = {
      {100, 40, 4, 10, 100, 2, 5, 20},   // e = 2, 100 < 40 * 5: two columns
      {140, 40, 4, 10, 100, 3, 4, 10},   // e = 3
      {140, 40, 4, 10, 2, 3, 4, 2},      // spacing limited
      {45, 40, 4, 10, 100, 1, 10, 0},    // e = 1, 45 < 120: one
      {30, 40, 4, 10, 100, 0, 0, 0},     // narrower than a cell
      {100, 40, 4, 0, 100, 0, 0, 0},     // no cells
      {50, 40, 4, 3, 100, 1, 3, 0},      // one column: no spacing
      {100, 4, -4, 5, 100, 0, 0, 0},     // width + gap = 0: nothing to divide by
  };
  for (const sCase& c : cases) {
    sControlFixture f(600, 400);
    cTestGrid grid;
    grid.cellWidth = c.cell;
    grid.gap = c.gap;
    grid.count = c.count;
    grid.maxGap = c.maxGap;
    f.Add(&grid, 0, 0, c.width, 300);
    grid.Relayout(false);
    EXPECT_EQ(grid.GetColumns(), c.columns) << c.width << " " << c.cell << "+" << c.gap;
    EXPECT_EQ(grid.GetRows(), c.rows) << c.width << " " << c.cell << "+" << c.gap;
    if (c.columns > 1) {
      EXPECT_EQ(grid.GetColumnSpacing(), c.spacing) << c.width;
    }
    // Hit testing must not divide by a zero step either.
    if (c.columns == 0) {
      EXPECT_EQ(grid.HitTest(c.width / 2, 5), -1);
    }
    f.Detach();
  }
}

TEST(SimpleGrid, HitTestCellsAndGaps) {
  sControlFixture f(600, 400);
  cTestGrid grid;  // 140 wide: three columns, spacing 10, rows 24 apart
  f.Add(&grid, 0, 0, 140, 300);
  grid.Relayout(false);
  ASSERT_EQ(grid.GetColumns(), 3);
  sRect r;
  ASSERT_TRUE(grid.GetCellRect(4, &r));
  EXPECT_EQ(r.x, 50 + 5);
  EXPECT_EQ(r.y, 24 + 2);
  struct sCase {
    int32_t x, y, cell;
  } const cases[] = {
      {6, 3, 0}, {4, 3, -1}, {5 + 40, 3, -1}, {r.x + 1, r.y + 1, 4}, {r.x + 1, 1, -1},
      {5, 24 * 3 + 3, 9}, {r.x, 24 * 3 + 3, -1},  // past the last cell
  };
  for (const sCase& c : cases) EXPECT_EQ(grid.HitTest(c.x, c.y), c.cell) << c.x << "," << c.y;
  f.Detach();
}

TEST(SimpleGrid, KeysAndMouseSelect) {
  sControlFixture f(600, 400);
  cTestGrid grid;
  grid.count = 7;
  f.top->valueOf = [](cChildElement::cChildAction* a) {
    return static_cast<int64_t>(static_cast<cSimpleGridChild::cCellAction*>(a)->index);
  };
  f.Add(&grid, 0, 0, 140, 300);
  grid.Relayout(false);
  struct sStep {
    int32_t key, selected;
  } const steps[] = {
      {39, 0}, {39, 1}, {39, 2}, {39, 2},  // Right stops at the row end
      {40, 5}, {40, 5},                    // no cell below 5
      {37, 4}, {38, 1}, {35, 6}, {36, 0}, {37, 0},
  };
  for (const sStep& s : steps) {
    grid.OnKey(s.key, false, false, false);
    EXPECT_EQ(grid.GetSelected(), s.selected) << "key " << s.key;
  }
  f.Pump();
  EXPECT_EQ(f.top->Values(&grid, 7), (std::vector<int64_t>{0, 1, 2, 5, 4, 1, 6, 0}));
  grid.OnKey(13, false, false, false);
  grid.OnKey(39, true, false, false);  // with Shift: ignored
  f.Pump();
  EXPECT_EQ(f.top->Values(&grid, 8), (std::vector<int64_t>{0}));
  EXPECT_EQ(grid.GetSelected(), 0);
  // A press in a gap clears the selection.
  grid.OnMouseButton(1, 1, 1, true);
  EXPECT_EQ(grid.GetSelected(), -1);
  grid.OnDblClick(60, 5);
  EXPECT_EQ(grid.GetSelected(), 1);
  f.Detach();
}

}  // namespace
