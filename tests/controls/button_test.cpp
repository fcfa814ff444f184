// Push buttons and generic buttons: the seven styles by pixels, visual
// states and picture fallbacks, caption and picture placement, clicks and
// keys, and the width a button needs.
#include "gui/controls/button.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "gui/font.h"
#include "gui/theme.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::Px;
using twtest::sControlFixture;
using twtest::sPainted;

constexpr uint32_t kGround = 0x123456;  // the parent's background

uint32_t Colour(int32_t i) { return GetTheme()->GetColour(i); }

struct ButtonFixture : sControlFixture {
  cButtonChild b;
  ButtonFixture(int32_t w = 60, int32_t h = 24) {
    top->SetBackgroundColour(kGround);
    Add(&b, 10, 10, w, h);
  }
  ~ButtonFixture() { Detach(); }
};

// One-colour pictures, so that stretched frames keep their colour.
std::unique_ptr<cPicture> Solid(uint32_t pixel, int32_t w, int32_t h) {
  auto p = std::make_unique<cPicture>();
  p->Fill(pixel, w, h);
  return p;
}

TEST(Button, StylesByPixels) {
  // Solid frame pictures for the five states, as overrides.
  std::unique_ptr<cPicture> frames[5];
  const uint32_t framePixels[5] = {0xFF101010, 0xFF202020, 0xFF303030, 0xFF404040, 0xFF505050};
  for (int i = 0; i < 5; ++i) frames[i] = Solid(framePixels[i], 8, 8);
  struct Case {
    int32_t style;
    int32_t state;  // 0 normal, 1 focused, 2 hover, 3 pressed, 4 disabled
    bool transparent;
    uint32_t corner;   // (0, 0)
    uint32_t inner;    // (1, 1)
    uint32_t centre;   // (30, 12)
    uint32_t bottomRight;  // (59, 23)
  };
  const uint32_t white = 0xFFFFFF;  // theme colour 14, the solid fill
  const uint32_t derived = 0xBFBFBF;  // white, halfway to grey
  const Case cases[] = {
      {0, 0, false, Px(Colour(53)), Px(Colour(52)), 0x101010, Px(Colour(54))},
      {0, 2, false, Px(Colour(57)), Px(Colour(52)), 0x303030, Px(Colour(58))},
      {1, 3, false, 0x404040, 0x404040, 0x404040, 0x404040},
      {2, 1, false, Px(Colour(56)), 0x202020, 0x202020, Px(Colour(56))},
      {3, 0, false, Px(Colour(53)), 0x101010, 0x101010, Px(Colour(54))},
      {4, 0, false, Px(Colour(53)), Px(white), Px(white), Px(Colour(54))},
      {4, 4, false, Px(Colour(59)), derived, derived, Px(Colour(60))},
      {4, 2, false, Px(Colour(57)), 0x303030, 0x303030, Px(Colour(58))},
      {5, 0, false, Px(white), Px(white), Px(white), Px(white)},
      {5, 4, false, Px(white), Px(white), Px(white), Px(white)},
      {5, 3, false, Px(Colour(57)), 0x404040, 0x404040, Px(Colour(58))},
      {6, 2, false, Px(white), Px(white), Px(white), Px(white)},
      // Transparent in the normal and disabled states: no background.
      {3, 0, true, Px(kGround), Px(kGround), Px(kGround), Px(kGround)},
      {0, 4, true, Px(kGround), Px(kGround), Px(kGround), Px(kGround)},
      {3, 2, true, Px(Colour(57)), 0x303030, 0x303030, Px(Colour(58))},
  };
  for (const Case& c : cases) {
    ButtonFixture f;
    for (int i = 0; i < 5; ++i) f.b.SetFramePicture(i, frames[i].get());
    f.b.SetStyle(c.style, false);
    f.b.SetTransparent(c.transparent);
    if (c.state == 1) f.top->SetFocusTo(&f.b);
    if (c.state == 2) f.Move(20, 20);
    if (c.state == 3) f.Press(20, 20);
    if (c.state == 4) f.b.Disable(false);
    ASSERT_EQ(f.b.VisualState(), c.state);
    sPainted shot;
    twtest::PaintAlone(f.b, shot);
    const auto where = testing::Message() << "style " << c.style << " state " << c.state
                                          << (c.transparent ? " transparent" : "");
    EXPECT_EQ(shot.At(0, 0), c.corner) << where;
    EXPECT_EQ(shot.At(1, 1), c.inner) << where;
    EXPECT_EQ(shot.At(30, 12), c.centre) << where;
    EXPECT_EQ(shot.At(59, 23), c.bottomRight) << where;
    if (c.state == 3) f.Release(20, 20);
  }
}

TEST(Button, DerivedDisabledFillOfBlackAndWhite) {
  for (const auto& [fill, expected] : {std::pair<uint32_t, uint32_t>{0xFFFFFF, 0xBFBFBF}, {0x000000, 0x404040},
                                       {0x80FF00, 0x80BF40}}) {
    ButtonFixture f;
    f.b.SetStyle(4, false);
    f.b.SetFillColour(fill, false);
    f.b.Disable(false);
    sPainted shot;
    twtest::PaintAlone(f.b, shot);
    EXPECT_EQ(shot.At(30, 12), Px(expected)) << std::hex << fill;
  }
}

TEST(Button, StatePictureFallbacks) {
  auto normal = Solid(0xFF0000FF, 4, 4), hover = Solid(0xFF00FF00, 4, 4), pressed = Solid(0xFFFF0000, 4, 4),
       disabled = Solid(0xFF808080, 4, 4);
  cPicture empty;
  struct Case {
    bool hasHover, hasPressed, hasDisabled;
    cPicture* expected[5];
  } cases[] = {
      {true, true, true, {normal.get(), hover.get(), hover.get(), pressed.get(), disabled.get()}},
      {false, false, false, {normal.get(), normal.get(), normal.get(), normal.get(), normal.get()}},
      {true, false, false, {normal.get(), hover.get(), hover.get(), hover.get(), normal.get()}},
      {false, true, false, {normal.get(), normal.get(), normal.get(), pressed.get(), normal.get()}},
  };
  for (const Case& c : cases) {
    ButtonFixture f;
    f.b.GetPictureHolder(0)->SetBorrowed(normal.get());
    // A slot holding an empty picture counts as no picture.
    f.b.GetPictureHolder(2)->SetBorrowed(c.hasHover ? hover.get() : &empty);
    f.b.GetPictureHolder(3)->SetBorrowed(c.hasPressed ? pressed.get() : nullptr);
    f.b.GetPictureHolder(4)->SetBorrowed(c.hasDisabled ? disabled.get() : nullptr);
    for (int32_t s = 0; s < 5; ++s)
      EXPECT_EQ(f.b.StatePicture(s), c.expected[s])
          << "state " << s << " hover " << c.hasHover << " pressed " << c.hasPressed;
  }
  ButtonFixture f;
  EXPECT_EQ(f.b.GetPictureHolder(1), f.b.GetPictureHolder(2)) << "focused and hover share a slot";
  EXPECT_EQ(f.b.GetPictureHolder(7), f.b.GetPictureHolder(0));
}

TEST(Button, ClicksKeysAndReleaseOutside) {
  ButtonFixture f;
  f.Press(20, 20);
  EXPECT_TRUE(f.b.IsPressed());
  EXPECT_TRUE(f.host.captured);
  f.Release(200, 200);  // outside: the captured button still gets it
  EXPECT_FALSE(f.b.IsPressed()) << "back to the unpressed look";
  EXPECT_FALSE(f.host.captured);
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.b, 0), 0) << "released outside: no click";
  f.Click(20, 20);
  f.top->SetFocusTo(&f.b);
  f.Key(13);
  f.Key(32);
  f.Key(65);  // not a button key
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.b, 0), 3);
  EXPECT_FALSE(f.b.IsPressed());
  // Disabled: state 4 whatever the mouse does, and no clicks.
  f.b.Disable(false);
  f.Move(20, 20);
  f.Click(20, 20);
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.b, 0), 3);
  EXPECT_EQ(f.b.VisualState(), 4);
}

// The top row of text colour pixels, or -1.
int32_t TopTextRow(const sPainted& shot, uint32_t pixel, int32_t* left = nullptr) {
  for (int32_t y = 0; y < shot.surface.GetHeight(); ++y)
    for (int32_t x = 0; x < shot.surface.GetWidth(); ++x)
      if (shot.At(x, y) == pixel) {
        if (left != nullptr) *left = x;
        return y;
      }
  return -1;
}

TEST(Button, PressedCaptionAndPictureMoveDownOnePixel) {
  ButtonFixture f(80, 30);
  f.b.SetCaption(u"OK");
  f.b.SetTextColour(0x0000FF, false);
  auto icon = Solid(0xFF00FF00, 6, 6);
  f.b.GetPictureHolder(0)->SetBorrowed(icon.get());
  sPainted up, down;
  twtest::PaintAlone(f.b, up);
  f.Press(20, 20);
  twtest::PaintAlone(f.b, down);
  f.Release(20, 20);
  const int32_t textUp = TopTextRow(up, Px(0x0000FF)), textDown = TopTextRow(down, Px(0x0000FF));
  ASSERT_GE(textUp, 0);
  EXPECT_EQ(textDown, textUp + 1);
  int32_t iconX = 0;
  const int32_t iconUp = TopTextRow(up, 0x00FF00, &iconX);
  EXPECT_EQ(TopTextRow(down, 0x00FF00), iconUp + 1);
  EXPECT_EQ(iconUp, (30 - 6) / 2) << "layout 0: centred vertically";
  int32_t textX = 0;
  TopTextRow(up, Px(0x0000FF), &textX);
  EXPECT_LT(iconX + 6, textX) << "picture left of the caption";
}

TEST(Button, PictureAboveAndCentredWithoutCaption) {
  ButtonFixture f(40, 40);
  auto icon = Solid(0xFF00FF00, 10, 10);
  f.b.GetPictureHolder(0)->SetBorrowed(icon.get());
  f.b.SetPictureLayout(1, false);
  f.b.SetTextAlignment(1, false);
  sPainted shot;
  twtest::PaintAlone(f.b, shot);
  int32_t x = 0;
  EXPECT_EQ(TopTextRow(shot, 0x00FF00, &x), (40 - 10) / 2) << "no caption: centred vertically";
  EXPECT_EQ(x, (40 - 10) / 2) << "alignment 1 centres it";
  f.b.SetCaption(u"Go");
  twtest::PaintAlone(f.b, shot);
  EXPECT_EQ(TopTextRow(shot, 0x00FF00), 3) << "with a caption: at the top";
}

TEST(Button, MeasuredWidths) {
  sControlFixture f;
  cWinFont* font = f.top->GetDefaultFont();
  const int32_t cell = tw::StandInCellWidth(font);
  auto pic = Solid(0xFF000000, 20, 8);
  struct Case {
    const char16_t* text;
    bool picture;
    int32_t layout;
    int32_t expected;
  } cases[] = {
      {u"abc", false, 0, 3 * cell + 10},    {u"abc", true, 0, 3 * cell + 20 + 16},
      {nullptr, true, 0, 20 + 11},          {u"", true, 0, 20 + 11},
      {u"a", true, 1, std::max(cell + 10, 26)}, {u"abcdefgh", true, 1, std::max(8 * cell + 10, 26)},
      {nullptr, false, 0, 10},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MeasureButtonWidth(f.top, c.text, c.picture ? pic.get() : nullptr, c.layout, nullptr), c.expected)
        << (c.text ? "text" : "null") << " picture " << c.picture << " layout " << c.layout;
  EXPECT_EQ(MeasureButtonWidth(nullptr, u"abc", nullptr, 0, nullptr), 10) << "no element: text counts 0";
  ButtonFixture b;
  b.b.SetCaption(u"abc");
  EXPECT_EQ(b.b.GetPreferredWidth(), 3 * cell + 10);
  b.b.SetCaption(u"abcdef");
  EXPECT_EQ(b.b.GetPreferredWidth(), 6 * cell + 10) << "a new caption forgets the cached width";
}

TEST(GenericButton, SelectedIgnoresInput) {
  cGenButtonChild g;
  sControlFixture f;
  f.Add(&g, 0, 0, 50, 20);
  f.top->SetFocusTo(&g);
  f.Click(5, 5);
  f.Key(13);
  g.SetSelected(true, true);
  f.Click(5, 5);
  f.Key(13);
  f.Key(32);
  f.Pump();
  EXPECT_EQ(f.top->Count(&g, 0), 2);
  g.SetSelected(false, false);
  f.Press(5, 5);
  EXPECT_TRUE(g.IsPressed());
  f.Release(100, 100);
  f.Pump();
  EXPECT_EQ(f.top->Count(&g, 0), 2) << "released outside";
}

}  // namespace
