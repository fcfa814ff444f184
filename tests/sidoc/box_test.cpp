// Box layout on the memory canvas. Text uses the stand-in metrics of the
// default font: every character 5 pixels wide and 13 high, so a line of text
// is 13 x 1.2 = 15.6, rounded 16, pixels tall and the word gap is 5 pixels.
#include "sidoc/box.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "gui/canvas.h"
#include "gui/mem_canvas.h"
#include "gui/picture.h"
#include "sidoc/format.h"
#include "tests/support/test_support.h"

namespace {

// A memory canvas that records where text goes: "text@x,y".
class RecordingCanvas : public cMemCanvas {
public:
  RecordingCanvas(int32_t w, int32_t h) : cMemCanvas(w, h) {}
  bool DrawText(int32_t x, int32_t y, bool transparent, const char16_t* text, int32_t length) override {
    const std::u16string t(text, length < 0 ? std::char_traits<char16_t>::length(text) : length);
    if (!drawn.empty()) drawn += " ";
    drawn += twtest::Narrow(t) + "@" + std::to_string(x) + "," + std::to_string(y);
    return cMemCanvas::DrawText(x, y, transparent, text, length);
  }
  std::string drawn;
};

class HotSpots : public cSiDocActiveTarget {
public:
  void ClearHotSpots() override { spots.clear(); }
  bool AddHotSpot(const char16_t* target, int32_t x, int32_t y, int32_t w, int32_t h) override {
    if (!spots.empty()) spots += " ";
    spots += twtest::Narrow(target) + "@" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) +
             "x" + std::to_string(h);
    return true;
  }
  std::string spots;
};

template <class T = cSiDocText>
T* Add(cSiDocContainer& c, const char16_t* text = nullptr) {
  auto* box = new T;
  if constexpr (std::is_base_of_v<cSiDocText, T>)
    if (text != nullptr) box->text.Assign(text);
  c.Append(std::unique_ptr<cSiDocBox>(box));
  return box;
}
cSiDocText* Break(cSiDocContainer& c) {
  cSiDocText* t = Add(c);
  t->lineBreak = 1;
  return t;
}

struct LayoutCase {
  const char* what;
  std::function<void(cSiDocContainer&)> build;
  int32_t rightLimit;
  const char* drawn;
  sSize size;      // what Paint reports
  sSize measured{};  // what Measure reports, when it differs ({0, 0}: the same)
};

const char16_t* const kWords[] = {u"aa", u"bbb", u"c", u"dddd", u"ee"};

void Paragraph(cSiDocContainer& c, int32_t alignment) {
  c.alignment = alignment;
  for (const char16_t* w : kWords) Add(c, w);
  Break(c);
  Add(c, u"ff");
}

TEST(Layout, BoxPositionsAtTwoWidths) {
  const LayoutCase cases[] = {
      // Justify: the wrapped first line is stretched to the limit (gap 5 +
      // 0/2 at 40, 5 + 20/2 at 60); the line ended by the break and the last
      // line are not.
      {"justify", [](cSiDocContainer& c) { Paragraph(c, sidoc::kAlignJustify); }, 40,
       "aa@0,1 bbb@15,1 c@35,1 dddd@0,17 ee@25,17 ff@0,33", {40, 48}},
      {"justify", [](cSiDocContainer& c) { Paragraph(c, sidoc::kAlignJustify); }, 60,
       "aa@0,1 bbb@25,1 c@55,1 dddd@0,17 ee@25,17 ff@0,33", {60, 48}},
      {"left", [](cSiDocContainer& c) { Paragraph(c, sidoc::kAlignLeft); }, 60,
       "aa@0,1 bbb@15,1 c@35,1 dddd@0,17 ee@25,17 ff@0,33", {40, 48}},
      {"left wide", [](cSiDocContainer& c) { Paragraph(c, sidoc::kAlignLeft); }, 200,
       "aa@0,1 bbb@15,1 c@35,1 dddd@45,1 ee@70,1 ff@0,17", {80, 32}},
      // Right: start = A - width of the line; centre: start = (A - x) / 2.
      {"right", [](cSiDocContainer& c) { Paragraph(c, sidoc::kAlignRight); }, 60,
       "aa@20,1 bbb@35,1 c@55,1 dddd@25,17 ee@50,17 ff@50,33", {60, 48}},
      {"centre", [](cSiDocContainer& c) { Paragraph(c, sidoc::kAlignCentre); }, 61,
       "aa@10,1 bbb@25,1 c@45,1 dddd@13,17 ee@38,17 ff@25,33", {50, 48}},
      // A word wider than the line gets a line of its own, cut with "...".
      {"long word",
       [](cSiDocContainer& c) {
         Add(c, u"x");
         Add(c, u"abcdefghij");
         Add(c, u"y");
       },
       40, "x@0,1 abcde...@0,17 y@0,33", {40, 48}, {50, 48}},
      // A single box on its line: its top margin counts, its bottom margin
      // does not; beside another child the bottom margin counts.
      {"margins alone",
       [](cSiDocContainer& c) {
         auto* box = Add<cSiDocContainer>(c);
         box->marginLeft = 2, box->marginTop = 3, box->marginBottom = 4;
         Add(*box, u"x");
       },
       100, "x@2,4", {5, 19}},
      {"margins beside a word",
       [](cSiDocContainer& c) {
         auto* box = Add<cSiDocContainer>(c);
         box->marginLeft = 2, box->marginTop = 3, box->marginBottom = 4;
         Add(*box, u"x");
         Add(c, u"y");
       },
       100, "x@2,4 y@7,1", {12, 23}},
      // A box of width 200 in 100 pixels lays out within them but reports
      // its own width; its right margin narrows its content. Measuring hands
      // the child a limit already short of its right margin, so the measured
      // box wraps one word a line.
      {"fixed width",
       [](cSiDocContainer& c) {
         auto* box = Add<cSiDocContainer>(c);
         box->width = 200;
         box->marginRight = 30;
         for (int i = 0; i < 5; ++i) Add(*box, u"wwwww");
       },
       100, "wwwww@0,1 wwwww@30,1 wwwww@0,17 wwwww@30,17 wwwww@0,33", {200, 48}, {200, 80}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(c.rightLimit));
    cSiDocContainer root;
    c.build(root);
    sSiDocArea area;
    area.rightLimit = c.rightLimit;
    RecordingCanvas canvas(300, 100);
    sSize measured, painted;
    EXPECT_TRUE(root.Measure(&canvas, area, measured));
    EXPECT_TRUE(root.Paint(&canvas, area, painted));
    EXPECT_EQ(canvas.drawn, c.drawn);
    EXPECT_EQ(measured, c.measured == sSize{} ? c.size : c.measured);
    EXPECT_EQ(painted, c.size);
  }
}

TEST(Layout, WordsAndBoxes) {
  RecordingCanvas canvas(200, 100);
  sSiDocArea area;
  sSize size;
  // A text box without text: one line high, no width; Paint paints nothing.
  cSiDocText empty;
  EXPECT_TRUE(empty.Measure(&canvas, area, size));
  EXPECT_EQ(size, (sSize{0, 16}));
  area.rightLimit = 100;
  EXPECT_FALSE(empty.Paint(&canvas, area, size));
  EXPECT_EQ(size, (sSize{0, 16}));
  // Fixed sizes win; without a canvas nothing is measured.
  cSiDocText fixed;
  fixed.text.Assign(u"abc");
  fixed.width = 40;
  EXPECT_TRUE(fixed.Measure(&canvas, area, size));
  EXPECT_EQ(size, (sSize{40, 16}));
  EXPECT_FALSE(fixed.Measure(nullptr, area, size));
  EXPECT_EQ(size, (sSize{0, 0}));
  // An alignment outside 0..3 paints nothing and reports (0, 0).
  cSiDocContainer odd;
  odd.alignment = 4;
  Add(odd, u"x");
  EXPECT_FALSE(odd.Paint(&canvas, area, size));
  EXPECT_EQ(size, (sSize{0, 0}));
  EXPECT_EQ(canvas.drawn, "");
  // A word and a picture: no gap between them.
  cSiDocContainer row;
  Add(row, u"ab");
  cPicture picture;
  picture.Fill(0xFF0000FF, 4, 3);
  Add<cSiDocImage>(row)->picture = &picture;
  Add(row, u"cd");
  EXPECT_TRUE(row.Measure(&canvas, area, size));
  EXPECT_EQ(size, (sSize{24, 16}));
}

TEST(Layout, LinksReportHotSpots) {
  const char16_t* target = u"http://t/";
  cSiDocContainer root;
  Add(root, u"see");
  Add<cSiDocLink>(root, u"here")->target = target;
  Add<cSiDocLink>(root, u"none");
  cPicture picture;
  picture.Fill(0xFF00FF00, 6, 4);
  auto* image = Add<cSiDocImageLink>(root);
  image->picture = &picture;
  image->target = target;
  image->lineBreak = 1;
  HotSpots spots;
  sSiDocArea area;
  area.rightLimit = 200;
  area.activeTarget = &spots;
  RecordingCanvas canvas(200, 100);
  sSize size;
  ASSERT_TRUE(root.Paint(&canvas, area, size));
  EXPECT_EQ(spots.spots, "http://t/@20,0,20x16 http://t/@0,16,6x4");
}

TEST(Layout, PicturesAreCutNeverScaled) {
  cPicture picture;
  picture.Fill(0xFF0000FF, 10, 6);  // pixel 0x0000FF
  constexpr uint32_t kGreen = 0x00FF00;
  auto at = [](cMemCanvas& c, int x, int y) {
    const cPicture& p = *c.Surface();
    return p.GetPixels()[static_cast<size_t>(p.GetHeight() - 1 - y) * p.GetWidth() + x] & 0xFFFFFF;
  };
  sSiDocArea area;
  sSize size;
  {
    cSiDocImage box;
    box.picture = &picture;
    box.width = 4;
    cMemCanvas canvas(20, 20);
    ASSERT_TRUE(box.Paint(&canvas, area, size));
    EXPECT_EQ(size, (sSize{4, 6}));
    EXPECT_EQ(at(canvas, 3, 5), 0x0000FFu);
    EXPECT_EQ(at(canvas, 4, 0), 0u);  // cut at the box's width
    // The parent's clip is whole again afterwards.
    const sRect r{10, 10, 2, 2};
    canvas.DrawRect(&r, kGreen, kGreen);
    EXPECT_EQ(at(canvas, 11, 11), 0x00FF00u);
  }
  {
    cSiDocImage box;
    box.picture = &picture;
    box.width = 14;
    box.height = 8;
    box.background = kGreen;
    cMemCanvas canvas(20, 20);
    ASSERT_TRUE(box.Paint(&canvas, area, size));
    EXPECT_EQ(size, (sSize{14, 8}));
    EXPECT_EQ(at(canvas, 9, 5), 0x0000FFu);
    EXPECT_EQ(at(canvas, 12, 2), 0x00FF00u);  // right of the picture
    EXPECT_EQ(at(canvas, 2, 7), 0x00FF00u);   // below it
    EXPECT_EQ(at(canvas, 15, 2), 0u);
  }
  {
    // A picture the build could not decode: an empty box of its stated size.
    cSiDocImage box;
    box.width = 5;
    box.height = 3;
    box.background = kGreen;
    cMemCanvas canvas(20, 20);
    ASSERT_TRUE(box.Paint(&canvas, area, size));
    EXPECT_EQ(size, (sSize{5, 3}));
    EXPECT_EQ(at(canvas, 4, 2), 0x00FF00u);
    EXPECT_EQ(at(canvas, 5, 2), 0u);
    cSiDocImage unsized;
    EXPECT_FALSE(unsized.Paint(&canvas, area, size));
    EXPECT_EQ(size, (sSize{0, 0}));
  }
}

TEST(Layout, NestingBeyondTheLimitIsNotLaidOut) {
  cSiDocContainer root;
  cSiDocContainer* box = &root;
  for (int i = 0; i < sidoc::kMaxBoxNesting + 5; ++i) box = Add<cSiDocContainer>(*box);
  Add(*box, u"deep");
  RecordingCanvas canvas(100, 100);
  sSiDocArea area;
  sSize size;
  EXPECT_TRUE(root.Paint(&canvas, area, size));
  EXPECT_EQ(canvas.drawn, "");
  EXPECT_EQ(size, (sSize{0, 0}));
  // Destroying a much deeper tree does not recurse.
  auto chain = std::make_unique<cSiDocContainer>();
  box = chain.get();
  for (int i = 0; i < 200000; ++i) box = Add<cSiDocContainer>(*box);
  chain.reset();
}

}  // namespace
