// The application's flat button and selector button, by their colours and
// pixels in every state.
#include "tools/wzi_button.h"

#include <gtest/gtest.h>

#include "tests/controls/control_fixture.h"

namespace {

using twtest::Px;
using twtest::sControlFixture;
using twtest::sPainted;

constexpr uint32_t kGround = 0xFF123456u;

TEST(WziButton, BlendsOfTheDefaultColours) {
  EXPECT_EQ(BlendColours(0xFFFFFF, 192, 0xE7E7E7, 63), 0xF9F9F9u);  // pressed
  EXPECT_EQ(BlendColours(0xE7E7E7, 159, 0xFFFFFF, 96), 0xF0F0F0u);  // hovered, disabled face
  EXPECT_EQ(BlendColours(0x655654, 127, 0xE7E7E7, 128), 0xA59D9Cu);  // disabled text
  // Each term is divided on its own: 255 x 1 / 255 + 255 x 1 / 255 = 2.
  EXPECT_EQ(BlendColours(0xFF0000, 1, 0xFF0000, 1), 0x020000u);
}

struct FlatFixture : sControlFixture {
  cWZIButton b;
  FlatFixture() { Add(&b, 10, 10, 80, 26); }
  ~FlatFixture() { Detach(); }
};

TEST(WziButton, FaceAndCaptionByState) {
  const struct {
    const char* state;
    const char16_t* caption;
    uint32_t face, text;
  } cases[] = {
      {"normal", u"Next", 0xE7E7E7, 0x655654},
      {"hover", u"Next", 0xF0F0F0, 0x655654},
      {"pressed", u"Next", 0xF9F9F9, 0x655654},
      {"disabled", u"Next", 0xF0F0F0, 0xA59D9C},
      {"normal", nullptr, 0xE7E7E7, 0x655654},  // no caption: face and border still
      {"disabled", nullptr, 0xF0F0F0, 0xA59D9C},
  };
  for (const auto& c : cases) {
    FlatFixture f;
    if (c.caption != nullptr) f.b.SetText(c.caption, -1, false);
    const std::string s = c.state;
    if (s == "hover") f.Move(30, 20);
    if (s == "pressed") f.Press(30, 20);
    if (s == "disabled") f.b.Disable(false);
    uint32_t face = 0, text = 0;
    f.b.StateColours(face, text);
    EXPECT_EQ(face, c.face) << c.state;
    EXPECT_EQ(text, c.text) << c.state;
    sPainted shot;
    twtest::PaintAlone(f.b, shot, kGround);
    EXPECT_EQ(shot.At(0, 0), Px(0xA79997)) << c.state;    // border
    EXPECT_EQ(shot.At(79, 25), Px(0xA79997)) << c.state;
    EXPECT_EQ(shot.At(2, 2), Px(c.face)) << c.state;      // face outside the text
    // The caption's pixels are in the text colour, none without a caption.
    bool textSeen = false;
    for (int y = 1; y < 25; ++y)
      for (int x = 1; x < 79; ++x) textSeen |= shot.At(x, y) == Px(c.text);
    EXPECT_EQ(textSeen, c.caption != nullptr) << c.state;
    if (s == "pressed") f.Release(30, 20);
  }
  // Enabled again: the set colours come back.
  FlatFixture f;
  f.b.Disable(false);
  f.b.Enable();
  uint32_t face = 0, text = 0;
  f.b.StateColours(face, text);
  EXPECT_EQ(face, 0xE7E7E7u);
  EXPECT_EQ(text, 0x655654u);
}

struct SelFixture : sControlFixture {
  cWZISelButton b;
  explicit SelFixture(int32_t w = 120, int32_t h = 30) { Add(&b, 10, 10, w, h); }
  ~SelFixture() { Detach(); }
};

TEST(WziSelButton, TooSmallDrawsNothing) {
  for (auto [w, h] : {std::pair<int32_t, int32_t>{37, 30}, {60, 23}}) {
    SelFixture f(w, h);
    f.b.SetText(u"Tab", -1, false);
    sPainted shot;
    twtest::PaintAlone(f.b, shot, kGround);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(shot.At(x, y), kGround & 0xFFFFFFu) << w << "x" << h;
  }
}

TEST(WziSelButton, AccentBarAboveASelectedCaption) {
  SelFixture f(200, 30);
  f.b.SetText(u"Installed Packages", -1, false);
  sPainted shot;
  twtest::PaintAlone(f.b, shot, kGround);
  EXPECT_EQ(f.b.AccentColour(), 0x9A8A7Eu);
  EXPECT_EQ(shot.At(100, 1), Px(0xFFFFFF));  // no bar while not selected
  EXPECT_EQ(shot.At(5, 3), Px(0xEBEBEB));
  EXPECT_EQ(shot.At(2, 28), Px(0xFFFFFF));

  f.b.SetSelected(true, false);
  EXPECT_EQ(f.b.AccentColour(), 0x5C5CDAu);
  twtest::PaintAlone(f.b, shot, kGround);
  EXPECT_EQ(shot.At(18, 1), Px(0xFFFFFF));
  EXPECT_EQ(shot.At(19, 0), Px(0x5C5CDA));  // the bar starts at 19
  EXPECT_EQ(shot.At(19, 2), Px(0x5C5CDA));
  int last = 19;
  while (last + 1 < 200 && shot.At(last + 1, 1) == Px(0x5C5CDA)) ++last;
  EXPECT_GT(last, 40);       // as wide as the caption
  EXPECT_LT(last, 200 - 19);
  bool captionSeen = false;
  for (int y = 4; y < 30; ++y)
    for (int x = 0; x < 200; ++x) captionSeen |= shot.At(x, y) == Px(0x5C5CDA);
  EXPECT_TRUE(captionSeen);
  // A selected tab shows the arrow, an unselected one the hand.
  f.Move(50, 20);
  EXPECT_EQ(f.host.cursor, 0);
  f.b.SetSelected(false, false);
  f.Move(51, 20);
  EXPECT_EQ(f.host.cursor, 3);
}

TEST(WziSelButton, ALongCaptionStaysNineteenPixelsIn) {
  SelFixture f(80, 30);
  f.b.SetText(u"A caption much wider than the button", -1, false);
  f.b.SetSelected(true, false);
  sPainted shot;
  twtest::PaintAlone(f.b, shot, kGround);
  EXPECT_EQ(shot.At(19, 1), Px(0x5C5CDA));
  EXPECT_EQ(shot.At(80 - 20, 1), Px(0x5C5CDA));
  EXPECT_EQ(shot.At(80 - 19, 1), Px(0xFFFFFF));
  for (int y = 4; y < 30; ++y) {
    for (int x : {0, 18, 80 - 19, 79}) EXPECT_EQ(shot.At(x, y), Px(0xFFFFFF)) << x << "," << y;
  }
}

}  // namespace
