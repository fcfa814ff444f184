// The text label: its preferred size and the colours it paints with.
#include "gui/static_element.h"

#include <gtest/gtest.h>

#include "gui/font.h"
#include "gui/mem_canvas.h"
#include "gui/picture.h"
#include "gui/theme.h"
#include "tests/support/test_host.h"

namespace {

using twtest::cTestHost;

struct Labelled {
  cTestHost host;
  cChildElement* top = new cChildElement();
  cStaticElement label;
  Labelled() {
    host.Host(top, 300, 100);
    top->AddChild(&label, 0, 0, 200, 24, 0);
  }
  ~Labelled() { top->RemoveChild(&label); }
};

TEST(Label, DefaultsAndPreferredSize) {
  Labelled l;
  EXPECT_FALSE(l.label.IsFocusable()) << "labels take no focus";
  sSize size;
  ASSERT_TRUE(l.label.MeasureLabel(size));
  EXPECT_EQ(size, (sSize{6, 0})) << "empty, no icon";
  l.label.SetLabelText(u"abcd", 0, false);
  cWinFont* font = l.label.GetDefaultFont();
  const int32_t cell = tw::StandInCellWidth(font), textHeight = tw::StandInTextHeight(font);
  ASSERT_TRUE(l.label.MeasureLabel(size));
  EXPECT_EQ(size, (sSize{6 + 4 * cell, textHeight + 2}));
  cPicture icon;
  ASSERT_TRUE(icon.Fill(0xFF0000FF, 16, 40));
  l.label.SetIcon(&icon, false);
  l.label.SetIndent(3);
  l.label.SetTextMode(2);
  ASSERT_TRUE(l.label.MeasureLabel(size));
  EXPECT_EQ(size.width, 16 + 11 + 4 * cell + 3);
  EXPECT_EQ(size.height, 44 > textHeight + 6 ? 44 : textHeight + 6) << "icon + 4, or text + 6 in mode 2";
}

TEST(Label, PaintsBackgroundFrameAndIcon) {
  Labelled l;
  l.label.SetColours(0x000000, 0x00FF00, 0x0000FF);
  cPicture icon;
  ASSERT_TRUE(icon.Fill(0xFF0000FF, 4, 4));  // opaque blue pixels
  l.label.SetIcon(&icon, false);
  cPicture surface;
  ASSERT_TRUE(surface.Fill(0, 200, 24));
  cMemCanvas canvas(&surface);
  l.label.Paint(&canvas);
  auto at = [&](int x, int y) { return surface.GetPixels()[(23 - y) * 200 + x]; };
  EXPECT_EQ(at(0, 0), 0xFFFF0000u) << "frame colour 0x0000FF as a pixel";
  EXPECT_EQ(at(100, 12), 0xFF00FF00u) << "background";
  // Without text the icon stands at x0 - icon width - 5 = 3, centred vertically.
  EXPECT_EQ(at(3, (24 - 4 + 1) / 2), 0xFF0000FFu);
  EXPECT_EQ(at(2, (24 - 4 + 1) / 2), 0xFF00FF00u);
}

}  // namespace
