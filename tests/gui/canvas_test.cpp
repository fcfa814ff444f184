// The canvas algorithms and the memory canvas's paint rules, on both
// targets. Text runs in the default font's stand-in metrics: every unit is
// 5 pixels wide and 13 high, so the layouts below are exact.
#include "gui/canvas.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/font.h"
#include "gui/mem_canvas.h"
#include "tests/support/test_support.h"

namespace {

struct Drawn {
  int32_t x, y;
  std::u16string text;
  bool operator==(const Drawn&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Drawn& d) {
  return os << "{" << d.x << "," << d.y << ",\"" << twtest::Narrow(d.text) << "\"}";
}

// A memory canvas that also records where text goes.
class RecordingCanvas : public cMemCanvas {
public:
  RecordingCanvas(int32_t w, int32_t h) : cMemCanvas(w, h) {}
  bool DrawText(int32_t x, int32_t y, bool transparent, const char16_t* text, int32_t length) override {
    if (text != nullptr)
      drawn.push_back({x, y, std::u16string(text, length < 0 ? std::char_traits<char16_t>::length(text) : length)});
    return cMemCanvas::DrawText(x, y, transparent, text, length);
  }
  std::vector<Drawn> drawn;
};

// Pixel at (x, y), y counted from the top.
uint32_t At(const cPicture& p, int32_t x, int32_t y) {
  return p.GetPixels()[static_cast<size_t>(p.GetHeight() - 1 - y) * p.GetWidth() + x];
}
uint32_t At(cMemCanvas& c, int32_t x, int32_t y) { return At(*c.Surface(), x, y); }

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF;
uint32_t Px(uint32_t colour) { return tw::ColourToPixel(colour); }

void Fill(cCanvas& c, uint32_t colour) {
  const sRect all{0, 0, c.GetWidth(), c.GetHeight()};
  c.DrawRect(&all, colour, colour);
}

// ---- Word splitter ---------------------------------------------------------

std::string Describe(const tLayoutTokens& tokens) {
  std::string s;
  for (auto* n = tokens.First(); n != nullptr; n = tLayoutTokens::Next(n)) {
    const sLayoutToken& t = n->value;
    if (!s.empty()) s += " ";
    if (t.kind == sLayoutToken::kWord)
      s += "W(" + twtest::Narrow(t.text.text) + "," + std::to_string(t.width) + ")";
    else if (t.kind == sLayoutToken::kBlank)
      s += "B" + std::to_string(t.width);
    else
      s += "LB";
  }
  return s;
}

TEST(WordSplitter, Tokens) {
  struct Case {
    const char16_t* text;
    const char* tokens;
  };
  const Case cases[] = {
      {u"", ""},
      {u"ab  cd", "W(ab,10) B2 W(cd,10)"},
      {u"\t x", "B5 W(x,5)"},                       // a tab is four units
      {u"  lead", "B2 W(lead,20)"},
      {u"trail  ", "W(trail,25) B2"},
      {u"a \t\n  b", "W(a,5) LB B2 W(b,5)"},        // blanks before a line feed are dropped
      {u"a\n\nb", "W(a,5) LB LB W(b,5)"},
      {u"a\r\nb", "W(a,5) LB W(b,5)"},              // CR is an ordinary blank unit, dropped too
      {u"\x4E00\x4E8C\x3001\x4E09\x56DB\x3002\x4E94", "W(\xE4\xB8\x80\xE4\xBA\x8C\xE3\x80\x81,15) "
                                                     "W(\xE4\xB8\x89\xE5\x9B\x9B\xE3\x80\x82,15) "
                                                     "W(\xE4\xBA\x94,5)"},
      {u"x\x3001 y", "W(x\xE3\x80\x81,10) B1 W(y,5)"},
  };
  cMemCanvas canvas(10, 10);
  tLayoutTokens tokens(512);
  for (const Case& c : cases) {
    SplitTextForLayout(&canvas, c.text, tokens);
    EXPECT_EQ(Describe(tokens), c.tokens) << twtest::Narrow(c.text);
  }
}

// ---- Wrapped text ------------------------------------------------------------

TEST(DrawTextWrapped, Layouts) {
  struct Case {
    const char* name;
    const char16_t* text;
    int32_t width, alignment;
    std::vector<Drawn> drawn;
    sSize size;
  };
  const std::vector<Case> cases = {
      {"fits exactly", u"aa bb cc", 40, 0, {{0, 0, u"aa"}, {15, 0, u"bb"}, {30, 0, u"cc"}}, {40, 13}},
      {"last word alone, blank before it ends the line", u"aa bb cc", 30, 0,
       {{0, 0, u"aa"}, {15, 0, u"bb"}, {0, 13, u"cc"}}, {25, 26}},
      {"centred by all three tokens", u"ab cd", 50, 1, {{12, 0, u"ab"}, {27, 0, u"cd"}}, {37, 13}},
      {"right", u"ab cd", 50, 2, {{25, 0, u"ab"}, {40, 0, u"cd"}}, {50, 13}},
      {"left drops the breaking blank run", u"aa b   cc", 30, 0,
       {{0, 0, u"aa"}, {15, 0, u"b"}, {0, 13, u"cc"}}, {20, 26}},
      {"centre carries the blank run over", u"aa b   cc", 30, 1,
       {{5, 0, u"aa"}, {20, 0, u"b"}, {17, 13, u"cc"}}, {27, 26}},
      {"right carries the blank run over", u"aa b   cc", 30, 2,
       {{10, 0, u"aa"}, {25, 0, u"b"}, {20, 13, u"cc"}}, {30, 26}},
      {"justify stretches broken lines only", u"aa bb cc dd", 42, 3,
       {{0, 0, u"aa"}, {16, 0, u"bb"}, {32, 0, u"cc"}, {0, 13, u"dd"}}, {42, 26}},
      {"justify keeps the line before a line break", u"aa bb\ncc", 42, 3,
       {{0, 0, u"aa"}, {15, 0, u"bb"}, {0, 13, u"cc"}}, {25, 26}},
      {"blank run wider than the box stops", u"aa          bb", 40, 0, {}, {0, 0}},
      {"CJK breaks after the ideographic comma", u"\x4E00\x4E8C\x3001\x4E09\x56DB\x3002\x4E94", 25, 0,
       {{0, 0, u"\x4E00\x4E8C\x3001"}, {0, 13, u"\x4E09\x56DB\x3002"}, {15, 13, u"\x4E94"}}, {20, 26}},
      {"blanks after a line feed indent", u"aa  \n  bb", 100, 0, {{0, 0, u"aa"}, {10, 13, u"bb"}}, {20, 26}},
      {"word wider than the box: empty line first", u"aaaaaaaa b", 30, 0,
       {{0, 13, u"aaaaaaaa"}, {5, 26, u"b"}}, {40, 39}},
      {"wide word after a dropped blank run opens its line at once", u"aa b   cccccccc d", 30, 0,
       {{0, 0, u"aa"}, {15, 0, u"b"}, {0, 13, u"cccccccc"}, {5, 26, u"d"}}, {40, 39}},
      {"the same in justified text", u"aa b   cccccccc d", 30, 3,
       {{0, 0, u"aa"}, {25, 0, u"b"}, {0, 13, u"cccccccc"}, {5, 26, u"d"}}, {40, 39}},
      {"wide word centred overflows to the left", u"x aaaaaaaa", 30, 1,
       {{12, 0, u"x"}, {-5, 13, u"aaaaaaaa"}}, {17, 26}},
  };
  for (const Case& c : cases) {
    RecordingCanvas canvas(200, 100);
    sSize size{-1, -1};
    ASSERT_TRUE(canvas.DrawTextWrapped(0, 0, c.width, 100, c.alignment, c.text, &size, false, 1.0)) << c.name;
    EXPECT_EQ(canvas.drawn, c.drawn) << c.name;
    EXPECT_EQ(size, c.size) << c.name;
  }
}

TEST(DrawTextWrapped, OffsetsSpacingAndRefusals) {
  RecordingCanvas canvas(200, 200);
  sSize size;
  // Lines below the height are drawn all the same.
  const char16_t* ten = u"a\nb\nc\nd\ne\nf\ng\nh\ni\nj";
  ASSERT_TRUE(canvas.DrawTextWrapped(7, 3, 50, 26, 0, ten, &size, false, 1.0));
  ASSERT_EQ(canvas.drawn.size(), 10u);
  EXPECT_EQ(canvas.drawn[9], (Drawn{7, 3 + 9 * 13, u"j"}));
  EXPECT_EQ(size, (sSize{5, 130}));
  // Line spacing 1.5: trunc(13 * 1.5) = 19 per line.
  canvas.drawn.clear();
  ASSERT_TRUE(canvas.DrawTextWrapped(0, 0, 50, 26, 0, u"a\nb", &size, false, 1.5));
  EXPECT_EQ(canvas.drawn[1], (Drawn{0, 19, u"b"}));
  EXPECT_EQ(size.height, 38);

  EXPECT_FALSE(canvas.DrawTextWrapped(0, 0, 50, 12, 0, u"a", &size, false, 1.0));  // lower than a line
  EXPECT_FALSE(canvas.DrawTextWrapped(0, 0, 4, 50, 0, u"a", &size, false, 1.0));   // narrower than a space
  EXPECT_FALSE(canvas.DrawTextWrapped(0, 0, 0, 50, 0, u"a", &size, false, 1.0));
  EXPECT_FALSE(canvas.DrawTextWrapped(0, 0, 50, 0, 0, u"a", &size, false, 1.0));
  EXPECT_FALSE(canvas.DrawTextWrapped(0, 0, 50, 50, 0, nullptr, &size, false, 1.0));
  EXPECT_TRUE(canvas.DrawTextWrappedUtf8(0, 0, 50, 50, 0, "\xC3\xA4h", &size, false, 1.0));
  EXPECT_EQ(canvas.drawn.back().text, u"\x00E4h");
}

// ---- Text in a box ---------------------------------------------------------------

TEST(DrawTextLine, AlignmentAndEllipsis) {
  struct Case {
    int32_t width, alignment, left, right;
    const char16_t* text;
    int32_t result, drawnWidth;
    const char16_t* shown;
  };
  const Case cases[] = {
      {100, 0, 2, 3, u"abc", 2, 15, u"abc"},
      {100, 1, 2, 3, u"abc", 42, 15, u"abc"},          // 2 + (95 - 15) / 2
      {100, 2, 2, 3, u"abc", 81, 15, u"abc"},          // one pixel short of the right padding
      {30, 0, 0, 0, u"abcdefghij", 0, 30, u"abc..."},  // 3 * 5 + "..." fits exactly
      {32, 1, 0, 0, u"abcdefghij", 1, 30, u"abc..."},
      {19, 0, 0, 0, u"abcdefghij", 0, 15, u"..."},     // not even one character
  };
  for (const Case& c : cases) {
    RecordingCanvas canvas(120, 20);
    int32_t drawnWidth = -1;
    EXPECT_EQ(canvas.DrawTextLine(0, 0, c.width, 20, c.alignment, false, c.left, c.right, c.text, -1, &drawnWidth,
                                  false),
              c.result)
        << c.width << " " << c.alignment;
    EXPECT_EQ(drawnWidth, c.drawnWidth);
    ASSERT_EQ(canvas.drawn.size(), 1u);
    EXPECT_EQ(canvas.drawn[0], (Drawn{c.result, 3, c.shown}));  // (20 - 13) / 2
  }
}

TEST(DrawTextLine, Refusals) {
  RecordingCanvas canvas(100, 20);
  EXPECT_EQ(canvas.DrawTextLine(0, 0, 14, 20, 0, false, 0, 0, u"abcdef", -1, nullptr, false), -1);  // "..." is 15
  EXPECT_EQ(canvas.DrawTextLine(0, 0, 10, 20, 0, false, 4, 6, u"a", -1, nullptr, false), -1);      // paddings fill it
  EXPECT_EQ(canvas.DrawTextLine(0, 0, 0, 20, 0, false, 0, 0, u"a", -1, nullptr, false), -1);
  EXPECT_EQ(canvas.DrawTextLine(0, 0, 10, 20, 0, false, -1, 0, u"a", -1, nullptr, false), -1);
  EXPECT_EQ(canvas.DrawTextLine(0, 0, 10, 20, 0, false, 0, 0, nullptr, -1, nullptr, false), -1);
  EXPECT_TRUE(canvas.drawn.empty());
  EXPECT_EQ(canvas.DrawTextLineUtf8(0, 0, 50, 20, 0, false, 0, 0, "", -1, nullptr, false), 0);
  EXPECT_EQ(canvas.DrawTextLineUtf8(0, 0, 50, 20, 2, false, 0, 0, "ab", -1, nullptr, false), 39);
}

TEST(DrawTextLine, FillsTheBandButNotThePadding) {
  cMemCanvas canvas(100, 20);
  Fill(canvas, kRed);
  canvas.SetTextColours(0, kGreen);
  ASSERT_EQ(canvas.DrawTextLine(0, 0, 100, 20, 1, false, 2, 3, u"abc", -1, nullptr, true), 42);
  EXPECT_EQ(At(canvas, 1, 10), Px(kRed));    // left padding
  EXPECT_EQ(At(canvas, 97, 10), Px(kRed));   // right padding
  EXPECT_EQ(At(canvas, 2, 0), Px(kGreen));   // left of the text
  EXPECT_EQ(At(canvas, 96, 19), Px(kGreen)); // right of the text
  EXPECT_EQ(At(canvas, 45, 1), Px(kGreen));  // above the text
  EXPECT_EQ(At(canvas, 45, 18), Px(kGreen)); // below it
  EXPECT_EQ(At(canvas, 45, 3), Px(kGreen));  // the text's own cell background
  EXPECT_EQ(At(canvas, 44, 10), Px(0));      // a glyph of "a" (cell 42..46)
}

// ---- Paint rules of the memory canvas ------------------------------------------------

TEST(MemCanvas, RectangleFrameAndFill) {
  cMemCanvas canvas(10, 10);
  Fill(canvas, kWhite);
  const sRect r{1, 1, 5, 4};
  ASSERT_TRUE(canvas.DrawRect(&r, kBlue, kRed));
  EXPECT_EQ(At(canvas, 1, 1), Px(kRed));
  EXPECT_EQ(At(canvas, 5, 1), Px(kRed));   // x + width - 1
  EXPECT_EQ(At(canvas, 6, 1), Px(kWhite));
  EXPECT_EQ(At(canvas, 1, 4), Px(kRed));   // y + height - 1
  EXPECT_EQ(At(canvas, 1, 5), Px(kWhite));
  EXPECT_EQ(At(canvas, 2, 2), Px(kBlue));
  EXPECT_EQ(At(canvas, 4, 3), Px(kBlue));
  const sRect dot{8, 8, 1, 1}, bar{0, 8, 4, 1};  // as GDI: a 1 x 1 frame has no pixel
  canvas.DrawRect(&dot, kRed, kRed);
  canvas.DrawRect(&bar, kRed, kRed);
  EXPECT_EQ(At(canvas, 8, 8), Px(kWhite));
  EXPECT_EQ(At(canvas, 3, 8), Px(kRed));
  EXPECT_FALSE(canvas.DrawRect(nullptr, 0, 0));
}

TEST(MemCanvas, ClipChangesTakeEffectAtApplyClip) {
  cMemCanvas canvas(10, 10);
  const sRect hole{2, 2, 3, 3};
  canvas.ExcludeClipRect(&hole);
  Fill(canvas, kRed);  // not applied yet: everything is painted
  EXPECT_EQ(At(canvas, 3, 3), Px(kRed));
  canvas.ApplyClip();
  Fill(canvas, kGreen);
  EXPECT_EQ(At(canvas, 3, 3), Px(kRed));
  EXPECT_EQ(At(canvas, 5, 5), Px(kGreen));
  EXPECT_EQ(At(canvas, 1, 1), Px(kGreen));
  const sRect hole2{3, 3, 40, 40};  // reaches past the area: cut
  EXPECT_FALSE(canvas.IsRectVisible(&hole));
  EXPECT_TRUE(canvas.IsRectVisible(&hole2));
  canvas.AddClipRect(&hole);
  canvas.ApplyClip();
  Fill(canvas, kBlue);
  EXPECT_EQ(At(canvas, 3, 3), Px(kBlue));
  EXPECT_TRUE(canvas.IsRectVisible(&hole));
}

TEST(MemCanvas, SubCanvasOriginAreaAndInheritedClip) {
  cMemCanvas canvas(20, 20);
  Fill(canvas, kWhite);
  const sRect hole{12, 6, 2, 2};
  canvas.ExcludeClipRect(&hole);
  const sRect part{10, 5, 30, 30};  // cut at the parent's right and bottom
  cCanvas* sub = canvas.CreateSubCanvas(&part);
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->GetWidth(), 10);
  EXPECT_EQ(sub->GetHeight(), 15);
  const sRect dot{0, 0, 2, 1};
  sub->DrawRect(&dot, kRed, kRed);
  EXPECT_EQ(At(canvas, 10, 5), Px(kRed));
  // The parent's excluded part stays excluded in the sub-canvas.
  sub->ApplyClip();
  Fill(*sub, kGreen);
  EXPECT_EQ(At(canvas, 12, 6), Px(kWhite));
  EXPECT_EQ(At(canvas, 11, 6), Px(kGreen));
  EXPECT_EQ(At(canvas, 9, 6), Px(kWhite));  // left of the sub-canvas
  const sRect outside{-5, -5, 3, 3};
  sub->DrawRect(&outside, kBlue, kBlue);  // clipped to the sub-canvas's area
  EXPECT_EQ(At(canvas, 7, 2), Px(kWhite));
  // The selected clip belongs to the surface: the parent now paints
  // through the sub-canvas's clip until it applies its own again.
  const sRect corner{0, 0, 2, 2};
  canvas.DrawRect(&corner, kBlue, kBlue);
  EXPECT_EQ(At(canvas, 0, 0), Px(kWhite));
  canvas.ApplyClip();
  canvas.DrawRect(&corner, kBlue, kBlue);
  EXPECT_EQ(At(canvas, 0, 0), Px(kBlue));
  delete sub;

  const sRect left{-30, 0, 5, 5}, below{0, 21, 5, 5};
  EXPECT_EQ(canvas.CreateSubCanvas(&left), nullptr);
  EXPECT_EQ(canvas.CreateSubCanvas(&below), nullptr);
}

TEST(MemCanvas, PicturesAreCopiedBottomRowFirst) {
  cPicture p;
  const uint32_t rows[] = {0xFF000001, 0xFF000002};  // bottom row, then top row
  ASSERT_TRUE(p.SetPixels(rows, 1, 2, false));
  cMemCanvas canvas(4, 4);
  ASSERT_TRUE(canvas.DrawPicture(1, 1, &p, -1, -1));
  EXPECT_EQ(At(canvas, 1, 1), 0xFF000002u);
  EXPECT_EQ(At(canvas, 1, 2), 0xFF000001u);
  EXPECT_TRUE(canvas.DrawPicture(5, 0, &p, -1, -1));  // outside: nothing, but true
  EXPECT_FALSE(canvas.DrawPicture(0, 0, nullptr, -1, -1));
  cPicture empty;
  EXPECT_FALSE(canvas.DrawPicture(0, 0, &empty, -1, -1));
}

TEST(MemCanvas, BlendMixesByAlphaAndKeepsTheSurfaceAlpha) {
  cMemCanvas canvas(3, 1);
  Fill(canvas, 0x1E140A);  // R 10, G 20, B 30
  cPicture p;
  ASSERT_TRUE(p.Fill(0x33C80000, 1, 1));  // A 51 (0.2), R 200, G 0, B 0
  const sPoint at{1, 0};
  ASSERT_TRUE(canvas.DrawPictureBlended(&at, &p, nullptr));
  EXPECT_EQ(At(canvas, 1, 0), 0xFF301018u);  // R 48, G 16, B 24
  EXPECT_EQ(At(canvas, 0, 0), Px(0x1E140A));
  const sSize twice{2, 1};  // resized to the requested size
  const sPoint origin{0, 0};
  ASSERT_TRUE(canvas.DrawPictureBlended(&origin, &p, &twice));
  EXPECT_EQ(At(canvas, 0, 0), 0xFF301018u);
  EXPECT_FALSE(canvas.DrawPictureBlended(nullptr, &p, nullptr));
  // Opaque pixels replace the colour, clear ones leave it; the surface's
  // alpha stays in both.
  cPicture two;
  const uint32_t pixels[] = {0xFF123456u, 0x00ABCDEFu};
  ASSERT_TRUE(two.SetPixels(pixels, 2, 1, false));
  const uint32_t before = At(canvas, 1, 0);
  ASSERT_TRUE(canvas.DrawPictureBlended(&origin, &two, nullptr));
  EXPECT_EQ(At(canvas, 0, 0), 0xFF123456u);
  EXPECT_EQ(At(canvas, 1, 0), before);
}

TEST(MemCanvas, TransparentTextBlendsGlyphsOverThePaint) {
  cMemCanvas canvas(20, 13);
  Fill(canvas, 0x00C8C8);
  canvas.SetTextColours(kBlue, kWhite);
  ASSERT_TRUE(canvas.DrawText(2, 0, true, u"a", -1));
  // The glyph of "a" starts one pixel into the mask, whose cell begins one
  // pixel right of x: column 2 + 1 + 1.
  EXPECT_EQ(At(canvas, 4, 6), Px(kBlue));
  // Around the glyph the paint shows through (the blend's 1/765 step may
  // take one level off a channel that is brighter than the text colour).
  const uint32_t around = At(canvas, 2, 6);
  EXPECT_NEAR(static_cast<int>((around >> 16) & 0xFF), 200, 1);
  EXPECT_NEAR(static_cast<int>((around >> 8) & 0xFF), 200, 1);
  EXPECT_EQ(around & 0xFF, 0u);
  EXPECT_EQ(At(canvas, 0, 6), Px(0x00C8C8));  // left of the box: untouched
  // Wholly outside the surface: nothing to read, nothing written.
  EXPECT_TRUE(canvas.DrawText(-50, 0, true, u"ab", -1));
  EXPECT_TRUE(canvas.DrawText(0, 40, true, u"ab", -1));
  EXPECT_EQ(At(canvas, 0, 0), Px(0x00C8C8));
}

TEST(MemCanvas, DrawPictureScaledTakesTheVisiblePartOfThePicture) {
  // A 4 x 4 picture whose pixel value names its column and its row from the
  // bottom.
  cPicture p;
  ASSERT_TRUE(p.Allocate(4, 4));
  for (int32_t r = 0; r < 4; ++r)
    for (int32_t c = 0; c < 4; ++c) p.GetPixels()[r * 4 + c] = 0xFF000000u | (c << 8) | r;
  cMemCanvas canvas(4, 4);
  Fill(canvas, kWhite);
  // 8 x 8 at (-2, 2): columns 2..5 and rows 2..3 of the destination show,
  // i.e. picture columns 1..2 of its top row.
  sScaledPicture s{&p, 8, 8, -2, 2, 1};
  ASSERT_TRUE(canvas.DrawPictureScaled(s));
  cPicture block, expected;
  const uint32_t topRow[] = {0xFF000103u, 0xFF000203u};
  ASSERT_TRUE(block.SetPixels(topRow, 2, 1, false));
  ASSERT_TRUE(block.Resize(1, 4, 2, &expected));
  for (int32_t y = 2; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(At(canvas, x, y), At(expected, x, y - 2)) << x << "," << y;
  EXPECT_EQ(At(canvas, 0, 1), Px(kWhite));

  // Entirely visible: the whole picture resampled, placed at (X, Y).
  ASSERT_TRUE(canvas.DrawPictureScaled({&p, 2, 3, 1, 0, 1}));
  ASSERT_TRUE(p.Resize(1, 2, 3, &expected));
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 2; ++x) EXPECT_EQ(At(canvas, x + 1, y), At(expected, x, y)) << x << "," << y;

  // Nothing to scale by: refused without dividing by zero.
  EXPECT_FALSE(canvas.DrawPictureScaled({&p, 0, 8, 0, 0, 0}));
  EXPECT_FALSE(canvas.DrawPictureScaled({&p, 8, 0, 0, 0, 0}));
  cPicture empty;
  EXPECT_FALSE(canvas.DrawPictureScaled({&empty, 8, 8, 0, 0, 0}));
  EXPECT_FALSE(canvas.DrawPictureScaled({nullptr, 8, 8, 0, 0, 0}));
  EXPECT_FALSE(canvas.DrawPictureScaled({&p, 8, 8, 4, 0, 0}));   // right of the canvas
  EXPECT_FALSE(canvas.DrawPictureScaled({&p, 8, 8, 0, -8, 0}));  // above it
  // A destination far larger than 32-bit edges: still only the visible part.
  EXPECT_TRUE(canvas.DrawPictureScaled({&p, 0x7FFFFFF0, 0x7FFFFFF0, -0x70000000, -0x70000000, 0}));
}

TEST(MemCanvas, OffscreenCopiesAndCopyToPicture) {
  cMemCanvas canvas(6, 4);
  Fill(canvas, kWhite);
  const sRect dot{1, 1, 2, 1};
  canvas.DrawRect(&dot, kRed, kRed);
  // An off-screen copy of the canvas from (1, 1), painted and copied back.
  cCanvas* off = canvas.CreateOffscreen(3, 2, 1, 1);
  ASSERT_NE(off, nullptr);
  auto* mem = dynamic_cast<cMemCanvas*>(off);
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(At(*mem, 0, 0), Px(kRed));
  const sRect mark{2, 0, 1, 2};
  off->DrawRect(&mark, kGreen, kGreen);
  ASSERT_TRUE(canvas.CopyFromCanvas(3, 2, off, 0, 0, -1, -1));
  EXPECT_EQ(At(canvas, 3, 2), Px(kRed));
  EXPECT_EQ(At(canvas, 5, 3), Px(kGreen));
  EXPECT_FALSE(canvas.CopyFromCanvas(0, 0, off, 3, 0, -1, -1));  // at the source's edge
  delete off;

  cPicture out;
  const sRect past{4, 0, 3, 1};
  EXPECT_FALSE(canvas.CopyToPicture(&out, &past));
  const sRect bottomRows{3, 0, 3, 2};  // y counts from the bottom edge
  ASSERT_TRUE(canvas.CopyToPicture(&out, &bottomRows));
  EXPECT_EQ(out.GetWidth(), 3);
  EXPECT_EQ(At(out, 2, 1), Px(kGreen));
  EXPECT_EQ(At(out, 0, 0), Px(kRed));
  ASSERT_TRUE(canvas.CopyToPicture(&out, nullptr));
  EXPECT_EQ(out.GetWidth(), 6);
  EXPECT_EQ(At(out, 1, 1), Px(kRed));
}

TEST(MemCanvas, LinesLeaveTheirEndPointOut) {
  cMemCanvas canvas(8, 8);
  Fill(canvas, kWhite);
  canvas.SetLinePen(kRed, 1);
  canvas.DrawLine({1, 1}, {5, 1});
  canvas.DrawLine({1, 3}, {4, 6});
  EXPECT_EQ(At(canvas, 1, 1), Px(kRed));
  EXPECT_EQ(At(canvas, 4, 1), Px(kRed));
  EXPECT_EQ(At(canvas, 5, 1), Px(kWhite));
  EXPECT_EQ(At(canvas, 3, 5), Px(kRed));
  EXPECT_EQ(At(canvas, 4, 6), Px(kWhite));
}

TEST(MemCanvas, MeasuringAndAreaTests) {
  cMemCanvas canvas(50, 20);
  sSize size{1, 1};
  EXPECT_TRUE(canvas.MeasureText(nullptr, -1, &size));
  EXPECT_EQ(size, (sSize{0, 0}));
  EXPECT_TRUE(canvas.MeasureText(u"abc", 2, &size));
  EXPECT_EQ(size, (sSize{10, 13}));
  _typebuf<int32_t> extents;
  EXPECT_FALSE(canvas.GetCharExtents(u"", -1, &extents));
  ASSERT_TRUE(canvas.GetCharExtents(u"abc", -1, &extents));
  EXPECT_EQ(extents.count, 3);
  EXPECT_EQ(extents[2], 15);
  // ANSI text: one cell a byte, the same rules.
  EXPECT_TRUE(canvas.MeasureTextAnsi(nullptr, 3, &size));
  EXPECT_EQ(size, (sSize{0, 0}));
  EXPECT_TRUE(canvas.MeasureTextAnsi("abcd", -1, &size));
  EXPECT_EQ(size, (sSize{20, 13}));
  EXPECT_FALSE(canvas.GetCharExtentsAnsi("", -1, &extents));
  ASSERT_TRUE(canvas.GetCharExtentsAnsi("abcd", 2, &extents));
  EXPECT_EQ(extents.count, 2);
  EXPECT_EQ(extents[1], 10);
  const sRect edge{50, 20, 5, 5}, beyond{51, 0, 5, 5}, before{-5, -5, 5, 5};
  EXPECT_TRUE(canvas.IntersectsArea(&edge));
  EXPECT_FALSE(canvas.IntersectsArea(&beyond));
  EXPECT_TRUE(canvas.IntersectsArea(&before));
  // A bold font is wider in the stand-in only through its description.
  ASSERT_TRUE(canvas.SetFont(6, 13, u"Tahoma", true, false, false));
  EXPECT_TRUE(canvas.MeasureText(u"ab", -1, &size));
  EXPECT_EQ(size, (sSize{12, 13}));
  // A font that cannot be made keeps the surface's font.
  EXPECT_FALSE(canvas.SetFont(9, 20, u"No Such Face 7", false, false, false));
  EXPECT_EQ(canvas.CurrentFont(), nullptr);
  EXPECT_TRUE(canvas.MeasureText(u"ab", -1, &size));
  EXPECT_EQ(size, (sSize{12, 13}));
}

// A provider of factor 2: logical values double on the way in and halve on
// the way out.
struct Twice : cScaleProvider {
  double GetScale() const override { return 2.0; }
};

TEST(MemCanvas, ScaleProviderConvertsBothWays) {
  Twice twice;
  cMemCanvas canvas(40, 30);
  canvas.SetScaleProvider(&twice);
  EXPECT_EQ(canvas.GetWidth(), 20);
  EXPECT_EQ(canvas.GetHeight(), 15);
  sSize size;
  ASSERT_TRUE(canvas.MeasureText(u"ab", -1, &size));  // 10 x 26 device pixels of the 10 x 26 font
  EXPECT_EQ(size, (sSize{10, 13}));
  Fill(canvas, kWhite);
  const sRect r{1, 1, 3, 3};  // device (2, 2, 6, 6), moved by 1 and shrunk by 1
  canvas.DrawRect(&r, kBlue, kRed);
  EXPECT_EQ(At(canvas, 2, 2), Px(kWhite));
  EXPECT_EQ(At(canvas, 3, 3), Px(kRed));
  EXPECT_EQ(At(canvas, 7, 7), Px(kRed));
  EXPECT_EQ(At(canvas, 8, 8), Px(kWhite));
  // Lines move across themselves by half a pen: a 2-pixel pen centred on
  // device row 11 (not 10) and on device column 21 (not 20).
  ASSERT_TRUE(canvas.SetLinePen(kRed, 1));
  canvas.DrawLine({1, 5}, {4, 5});
  EXPECT_EQ(At(canvas, 2, 9), Px(kWhite));
  EXPECT_EQ(At(canvas, 2, 10), Px(kRed));
  EXPECT_EQ(At(canvas, 2, 11), Px(kRed));
  EXPECT_EQ(At(canvas, 2, 12), Px(kWhite));
  canvas.DrawLine({10, 1}, {10, 4});
  EXPECT_EQ(At(canvas, 19, 3), Px(kWhite));
  EXPECT_EQ(At(canvas, 20, 3), Px(kRed));
  EXPECT_EQ(At(canvas, 21, 3), Px(kRed));
  EXPECT_EQ(At(canvas, 22, 3), Px(kWhite));
}

}  // namespace
