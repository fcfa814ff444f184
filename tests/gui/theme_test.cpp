#include "gui/theme.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/exception.h"
#include "png_file.h"

namespace {

// Entries the controls read; each must have real pixels in the defaults.
std::set<int> UsedPictures() {
  std::set<int> used;
  for (int i = 0; i <= 7; ++i) used.insert(i);
  for (int i = 23; i <= 28; ++i) used.insert(i);
  for (int i = 30; i <= 35; ++i) used.insert(i);
  for (int i : {42, 43, 44, 48, 60, 63, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 80, 81, 82, 83, 84, 86, 145, 146})
    used.insert(i);
  for (int i = 87; i <= 144; ++i) used.insert(i);
  return used;
}

sPictureSize SizeOf(cCITheme* t, int index) {
  sPictureSize s;
  t->GetPictureData(static_cast<uint32_t>(index), &s);
  return s;
}

class ThemeTest : public testing::Test {
protected:
  void TearDown() override { SetTheme(&DefaultThemeTables()); }
};

TEST_F(ThemeTest, DefaultTablesAndGetters) {
  cCITheme* t = GetTheme();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(GetTheme(), t);  // built once
  EXPECT_EQ(t->GetColour(0), 0xF3E5DFu);
  EXPECT_EQ(t->GetMetric(0), 30);
  struct ColourCase {
    int32_t index;
    uint32_t colour;
  };
  for (const ColourCase& c : {ColourCase{4, 0x404040}, ColourCase{7, 0xFF4040}, ColourCase{16, 0xFF9933},
                              ColourCase{43, 0xD6ADA0}, ColourCase{61, 0x908280}, ColourCase{64, 0x9B6D18},
                              ColourCase{67, 0x000040}, ColourCase{75, 0xF8F8F8}})
    EXPECT_EQ(t->GetColour(c.index), c.colour) << "colour " << c.index;
  struct MetricCase {
    uint32_t index, value;
    int32_t expected;
  };
  for (const MetricCase& c : {MetricCase{0, 1, 16}, MetricCase{0, 2, 100}, MetricCase{5, 0, 22},
                              MetricCase{16, 2, 5}, MetricCase{19, 0, 14}, MetricCase{21, 0, 48},
                              MetricCase{24, 2, 24}, MetricCase{25, 0, 0}, MetricCase{0, 3, 0},
                              MetricCase{0xFFFFFFFF, 0, 0}})
    EXPECT_EQ(t->GetMetric(c.index, c.value), c.expected) << c.index << "," << c.value;
  EXPECT_THROW(t->GetColour(76), cException);
  EXPECT_THROW(t->GetColour(-1), cException);
  EXPECT_EQ(t->GetPicture(160), nullptr);
  sPictureSize s{5, 5};
  EXPECT_EQ(t->GetPictureData(160, &s), nullptr);
}

TEST_F(ThemeTest, SolidColourEntriesHaveNoPicture) {
  const int32_t metrics[75] = {7};
  const uint32_t colours[76] = {0x123456};
  std::vector<sThemePictureEntry> pics(160, sThemePictureEntry{0, 0, 0xFFFFFFFFu, nullptr});
  const uint32_t px[6] = {1, 2, 3, 4, 5, 6};
  pics[3] = {1, 1, 0x00FF8800u, nullptr};  // solid colour
  pics[4] = {3, 2, 0xFFFFFFFFu, px};
  pics[5] = {1, 1, 0x00112233u, px};  // a one-pixel picture with pixels
  const sThemeTables tables{metrics, colours, pics.data()};
  ASSERT_TRUE(SetTheme(&tables));
  cCITheme* t = GetTheme();
  EXPECT_EQ(t->GetMetric(0), 7);
  EXPECT_EQ(t->GetColour(0), 0x123456u);

  EXPECT_EQ(t->GetPicture(3), nullptr);
  sPictureSize s;
  const uint32_t* data = t->GetPictureData(3, &s);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(*data, 0x00FF8800u);
  EXPECT_EQ(s.width, 1);
  EXPECT_EQ(s.height, 1);

  cPicture* p = t->GetPicture(4);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetWidth(), 3);
  EXPECT_EQ(std::vector<uint32_t>(p->GetPixels(), p->GetPixels() + 6), std::vector<uint32_t>(px, px + 6));
  EXPECT_EQ(t->GetPictureData(4, &s), p->GetPixels());
  EXPECT_NE(t->GetPicture(5), nullptr);
  EXPECT_EQ(*t->GetPictureData(5, nullptr), 0x00112233u);  // 1 x 1: the value, even with pixels

  EXPECT_EQ(t->GetPicture(0), nullptr);  // 0 x 0
  EXPECT_EQ(t->GetPictureData(0, &s), nullptr);
  EXPECT_EQ(s.width, 0);
}

TEST_F(ThemeTest, SetThemeReplacesAndNullTablesAreZeros) {
  const int32_t metrics[75] = {11};
  const sThemeTables first{metrics, nullptr, nullptr};
  ASSERT_TRUE(SetTheme(&first));
  ASSERT_TRUE(SetTheme(nullptr));  // the first is deleted (the leak check sees a leftover)
  cCITheme* t = GetTheme();
  EXPECT_EQ(t->GetMetric(0), 0);
  EXPECT_EQ(t->GetColour(75), 0u);
  const sThemePicture* e = t->GetPictureEntry(10);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->width, 0);
  EXPECT_EQ(e->value, 0xFFFFFFFFu);
  EXPECT_EQ(t->GetPicture(87), nullptr);
  ASSERT_TRUE(SetTheme(&first));
  EXPECT_EQ(GetTheme()->GetMetric(0), 11);
  EXPECT_EQ(GetTheme()->GetColour(0), 0u);
}

TEST_F(ThemeTest, ArtworkHasTheSizesTheControlsExpect) {
  cCITheme* t = GetTheme();
  const std::set<int> used = UsedPictures();
  ASSERT_EQ(used.size(), 103u);
  for (int i = 0; i < cCITheme::kPictureCount; ++i) {
    const sPictureSize s = SizeOf(t, i);
    // At most 27 x 27, except the frame pieces, which span the caption and
    // bottom bands (checked below).
    const int32_t limit = i <= 7 ? 40 : 27;
    EXPECT_TRUE(s.width >= 1 && s.width <= limit && s.height >= 1 && s.height <= limit) << "picture " << i;
    if (used.count(i) != 0) {
      const cPicture* p = t->GetPicture(i);
      ASSERT_NE(p, nullptr) << "picture " << i << " has no pixels";
      EXPECT_EQ(p->GetWidth(), s.width);
      EXPECT_EQ(p->GetHeight(), s.height);
    }
  }
  for (int i = 30; i <= 35; ++i) EXPECT_EQ(SizeOf(t, i).width * 100 + SizeOf(t, i).height, 1010) << i;
  for (int i = 73; i <= 76; ++i) EXPECT_EQ(SizeOf(t, i).width * 100 + SizeOf(t, i).height, 2727) << i;

  // Form frame, the sizes the form layout is written against: top corners
  // 5 x 30 and top edge 1 x 30 fill the caption band, side edges 5 x 1 the
  // border, bottom corners 8 x 40 and bottom edge 1 x 40 the bottom band.
  struct FrameCase {
    int index, width, height;
  };
  for (const FrameCase& c : {FrameCase{0, 5, 30}, FrameCase{1, 1, 30}, FrameCase{2, 5, 30}, FrameCase{3, 5, 1},
                             FrameCase{4, 5, 1}, FrameCase{5, 8, 40}, FrameCase{6, 1, 40}, FrameCase{7, 8, 40}}) {
    EXPECT_EQ(SizeOf(t, c.index).width, c.width) << "frame picture " << c.index;
    EXPECT_EQ(SizeOf(t, c.index).height, c.height) << "frame picture " << c.index;
  }
  EXPECT_EQ(SizeOf(t, 1).height, t->GetMetric(0));  // caption band
  EXPECT_EQ(SizeOf(t, 3).width, t->GetMetric(1));   // side border
  EXPECT_EQ(SizeOf(t, 6).height, t->GetMetric(2));  // bottom band

  // Scroll bars: every part as thick as the bar; the drag code takes 35 off
  // the bar for the cap, the arrows, the separator and two 5-pixel fillers.
  const int32_t thick = t->GetMetric(19);
  for (int i = 87; i <= 115; ++i) {
    EXPECT_EQ(SizeOf(t, i).height, thick) << i;
    const sPictureSize v = SizeOf(t, i + 29);
    EXPECT_EQ(v.width, thick) << i + 29;
    EXPECT_EQ(v.height, SizeOf(t, i).width) << i + 29;  // the same part turned
  }
  for (int base : {0, 29}) {
    const auto len = [&](int i) {
      const sPictureSize s = SizeOf(t, i + base);
      return base == 0 ? s.width : s.height;
    };
    EXPECT_EQ(len(87) + len(100) + len(103) + len(109) + 10, 35);
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(len(100 + k), len(100));  // states share one size
      EXPECT_EQ(len(103 + k), len(103));
      EXPECT_EQ(len(110 + k), len(110));
      EXPECT_EQ(len(113 + k), len(113));
    }
    EXPECT_LE(len(100) + len(103), t->GetMetric(21));     // arrows-only bars
    EXPECT_LE(len(110) + len(113), t->GetMetric(20));     // small arrows
    EXPECT_LE(len(94) + len(97), t->GetMetric(22));       // shortest thumb holds its caps
  }
  EXPECT_EQ(SizeOf(t, 86).width, thick);
  EXPECT_EQ(SizeOf(t, 86).height, thick);
}

// Rows are stored bottom row first: the popup arrow points down, so its
// last stored row (the top line) is the widest.
TEST_F(ThemeTest, PicturesAreStoredBottomRowFirst) {
  const cPicture* arrow = GetTheme()->GetPicture(28);
  ASSERT_NE(arrow, nullptr);
  const auto coverage = [&](int32_t row) {
    uint32_t sum = 0;
    for (int32_t x = 0; x < arrow->GetWidth(); ++x) sum += arrow->GetPixels()[row * arrow->GetWidth() + x] >> 24;
    return sum;
  };
  EXPECT_GT(coverage(arrow->GetHeight() - 1), coverage(0) * 2);
  // The caption's top line is the dark outline: the last stored row.
  const cPicture* top = GetTheme()->GetPicture(1);
  ASSERT_NE(top, nullptr);
  const uint32_t topLine = top->GetPixels()[top->GetHeight() - 1];
  const uint32_t lowest = top->GetPixels()[0];
  EXPECT_LT(topLine & 0xFF, lowest & 0xFF);
}

// Writes every default theme picture, twice their size on a checkerboard,
// 16 to a row (index = 16 * row + column) as theme_pictures.png in the build
// folder, then reads the file back.
TEST_F(ThemeTest, ContactSheet) {
  constexpr int kCols = 16, kCell = 64;
  const int rows = (cCITheme::kPictureCount + kCols - 1) / kCols;
  twtest::RgbImage sheet;
  sheet.width = kCols * kCell;
  sheet.height = rows * kCell;
  sheet.rgb.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, 0);
  const auto put = [&](int x, int y, uint32_t r, uint32_t g, uint32_t b) {
    uint8_t* p = &sheet.rgb[(static_cast<size_t>(y) * sheet.width + x) * 3];
    p[0] = static_cast<uint8_t>(r);
    p[1] = static_cast<uint8_t>(g);
    p[2] = static_cast<uint8_t>(b);
  };
  for (int y = 0; y < sheet.height; ++y)
    for (int x = 0; x < sheet.width; ++x) {
      const bool edge = x % kCell == 0 || y % kCell == 0;
      const uint32_t v = edge ? 150 : (((x / 4) + (y / 4)) % 2 ? 255 : 225);
      put(x, y, v, v, v);
    }
  cCITheme* t = GetTheme();
  for (int i = 0; i < cCITheme::kPictureCount; ++i) {
    sPictureSize s;
    const uint32_t* data = t->GetPictureData(static_cast<uint32_t>(i), &s);
    // Doubled where that fits the cell (the bottom frame pieces are 40 high).
    const int kScale = 2 * s.width < kCell && 2 * s.height < kCell ? 2 : 1;
    const int ox = (i % kCols) * kCell + (kCell - s.width * kScale) / 2;
    const int oy = (i / kCols) * kCell + (kCell - s.height * kScale) / 2;
    const bool solid = s.width == 1 && s.height == 1;
    for (int y = 0; y < s.height * kScale; ++y)
      for (int x = 0; x < s.width * kScale; ++x) {
        // Top-down on the sheet: stored row 0 is the bottom line.
        const int32_t row = s.height - 1 - y / kScale;
        const uint32_t px = solid ? (0xFF000000u | (*data & 0xFF) << 16 | (*data & 0xFF00) | (*data >> 16 & 0xFF))
                                  : data[row * s.width + x / kScale];
        const uint8_t* bg = &sheet.rgb[(static_cast<size_t>(oy + y) * sheet.width + ox + x) * 3];
        const uint32_t a = px >> 24;
        const auto over = [&](uint32_t c, uint32_t under) { return (c * a + under * (255 - a)) / 255; };
        put(ox + x, oy + y, over(px >> 16 & 0xFF, bg[0]), over(px >> 8 & 0xFF, bg[1]), over(px & 0xFF, bg[2]));
      }
  }
  const std::vector<uint8_t> png = twtest::EncodePng(sheet);
  ASSERT_FALSE(png.empty());
  ASSERT_TRUE(twtest::WriteFile("theme_pictures.png", png));
  twtest::RgbImage back;
  ASSERT_TRUE(twtest::DecodePng(twtest::ReadFile("theme_pictures.png"), &back));
  EXPECT_EQ(back.width, sheet.width);
  EXPECT_EQ(back.height, sheet.height);
  EXPECT_TRUE(back.rgb == sheet.rgb);
}

}  // namespace
