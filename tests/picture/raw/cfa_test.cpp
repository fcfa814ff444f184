// CFA patterns and filters: the pattern checks of CreateBayerFilter, the
// colour and cell lookups of the two-column filter, the fixed filters.
#include <gtest/gtest.h>

#include <vector>

#include "picture/raw/raw_cfa.h"

namespace {

sCFAPattern Pattern(uint16_t rows, uint16_t columns, std::vector<uint8_t> bytes, int32_t count = -1) {
  sCFAPattern p;
  p.Assign(rows, columns, bytes.data(), static_cast<int32_t>(bytes.size()));
  if (count >= 0) p.count = count;
  return p;
}

TEST(RawCfa, RggbColoursRepeatEveryTwoSamples) {
  auto f = CreateBayerFilter(Pattern(2, 2, {0, 1, 1, 2}));
  ASSERT_NE(f, nullptr);
  for (int m = 0; m < 4; ++m)
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(f->ColourAt(2 * k, 2 * m), 0);
      EXPECT_EQ(f->ColourAt(2 * k + 1, 2 * m), 1);
      EXPECT_EQ(f->ColourAt(2 * k, 2 * m + 1), 1);
      EXPECT_EQ(f->ColourAt(2 * k + 1, 2 * m + 1), 2);
    }
  EXPECT_EQ(f->CellAt(1, 1), 3);
  EXPECT_EQ(f->CellAt(4, 2), 0);
}

TEST(RawCfa, FourRowPatternRepeatsAfterFourRows) {
  auto f = CreateBayerFilter(Pattern(4, 2, {0, 1, 1, 2, 1, 0, 2, 1}));
  ASSERT_NE(f, nullptr);
  const int expect[4][2] = {{0, 1}, {1, 2}, {1, 0}, {2, 1}};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(f->ColourAt(x, y), expect[y % 4][x % 2]) << x << "," << y;
  EXPECT_EQ(f->CellAt(1, 3), 7);
  EXPECT_EQ(f->CellAt(1, 7), 7);
}

TEST(RawCfa, EightRowPatternKeepsEveryRow) {
  std::vector<uint8_t> cells;
  for (int r = 0; r < 8; ++r) {
    cells.push_back(static_cast<uint8_t>(r % 4));
    cells.push_back(static_cast<uint8_t>((r + 1) % 4));
  }
  auto f = CreateBayerFilter(Pattern(8, 2, cells));
  ASSERT_NE(f, nullptr);
  for (int y = 0; y < 16; ++y) {
    EXPECT_EQ(f->ColourAt(0, y), (y % 8) % 4);
    EXPECT_EQ(f->ColourAt(1, y), ((y % 8) + 1) % 4);
    EXPECT_EQ(f->CellAt(1, y), ((y & 7) << 1) | 1);
  }
}

TEST(RawCfa, MalformedPatternsGiveNoFilter) {
  struct sCase {
    const char* what;
    sCFAPattern pattern;
  };
  sCase cases[] = {
      {"no bytes", sCFAPattern()},
      {"two rows of four columns", Pattern(2, 4, {0, 1, 0, 1, 1, 2, 1, 2})},
      {"two rows of eight columns", Pattern(2, 8, std::vector<uint8_t>(16, 1))},
      {"three rows", Pattern(3, 2, {0, 1, 1, 2, 0, 1})},
      {"count not rows x columns", Pattern(2, 2, {0, 1, 1, 2, 0, 1}, 6)},
      {"count short of rows x columns although the bytes would fit", Pattern(2, 2, {0, 1, 1, 2}, 3)},
      {"code 4", Pattern(2, 2, {0, 1, 4, 2})},
      {"code 255 in the last cell", Pattern(4, 2, {0, 1, 1, 2, 0, 1, 1, 255})},
  };
  for (sCase& c : cases) EXPECT_EQ(CreateBayerFilter(c.pattern), nullptr) << c.what;
}

TEST(RawCfa, FixedFilters) {
  cStdCFAFilter rggb;
  cStdCFAFilterSH bggr;
  const int a[4] = {0, 1, 1, 2}, b[4] = {2, 1, 1, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(rggb.ColourAt(i & 1, i >> 1), a[i]);
    EXPECT_EQ(bggr.ColourAt(i & 1, i >> 1), b[i]);
    EXPECT_EQ(rggb.ColourAt((i & 1) + 6, (i >> 1) + 10), a[i]);
  }
  cFujiXTransFilter xt;
  EXPECT_EQ(xt.ColourAt(6, 6), 1);
  EXPECT_EQ(xt.ColourAt(0, 0), 1);
  EXPECT_EQ(xt.ColourAt(4, 0), 0);
  EXPECT_EQ(xt.CellAt(7, 8), 1 + 12);
  int counts[4] = {0, 0, 0, 0};
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) ++counts[xt.ColourAt(x, y)];
  EXPECT_EQ(counts[0], 8);
  EXPECT_EQ(counts[1], 20);
  EXPECT_EQ(counts[2], 8);
  EXPECT_TRUE(xt.SetPattern(sCFAPattern()));
  EXPECT_EQ(xt.ColourAt(4, 0), 0);
}

TEST(RawCfa, PatternAssignAndClear) {
  sCFAPattern p;
  EXPECT_FALSE(p.Present());
  const uint8_t cells[4] = {2, 1, 1, 0};
  ASSERT_TRUE(p.Assign(2, 2, cells, 4));
  EXPECT_TRUE(p.Present());
  EXPECT_EQ(p.colours.data[0], 2);
  p.Clear();
  EXPECT_FALSE(p.Present());
  EXPECT_EQ(p.rows, 0);
  EXPECT_EQ(p.columns, 0);
  EXPECT_FALSE(p.Assign(2, 2, nullptr, 4));
  EXPECT_FALSE(p.Present());
}

}  // namespace
