// The document viewer on the memory canvas: painting with and without a
// document, the rendering kept across scrolling and height changes but not
// width changes, hot spots and the hit test under scrolling, links opened
// on press and release over one target, keys, the hand cursor, and the
// direct painting used when the rendering cannot be made.
//
// Text uses the stand-in metrics of the default font: 5 pixels a character,
// 16 pixels a line, a 5-pixel gap between words, text drawn one pixel below
// its line's top.
#include "sidoc/doc_viewer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/mem_canvas.h"
#include "gui/picture.h"
#include "sidoc/box.h"
#include "tests/controls/control_fixture.h"
#include "tests/support/test_support.h"

namespace {

using twtest::sControlFixture;
using twtest::sPainted;

const char16_t kTargetA[] = u"http://a.example/";
const char16_t kTargetB[] = u"notes.txt";

// A viewer whose links are recorded instead of started; the rendering cap
// can be lowered.
class cTestViewer : public cSiDocViewer {
public:
  bool OpenLink(const char16_t* target) override {
    opened.push_back(target);
    return true;
  }
  void LimitRendering(int64_t pixels) { maxRenderingPixels_ = pixels; }
  std::vector<const char16_t*> opened;
};

// A memory canvas that cannot make off-screen canvases, as a device that
// has run out of memory.
class cNoOffscreenCanvas : public cMemCanvas {
public:
  explicit cNoOffscreenCanvas(cPicture* picture) : cMemCanvas(picture) {}
  cCanvas* CreateOffscreen(int32_t, int32_t, int32_t, int32_t) override {
    ++refused;
    return nullptr;
  }
  int32_t refused = 0;
};

template <class T = cSiDocText>
T* Add(cSiDocContainer& c, const char16_t* text, bool newLine = false) {
  auto* box = new T;
  box->text.Assign(text);
  box->lineBreak = newLine ? 1 : 0;
  c.Append(std::unique_ptr<cSiDocBox>(box));
  return box;
}

// Forty lines "lineNN" (y = 16 * N); line 3 is "see here too" with "here"
// and "too" links to A (x 20..39 and 45..59), line 5 is "other" linking
// to B (x 0..24), line 39 is "last". The document is 640 pixels tall.
struct sDoc {
  cSiDocContainer root;
  sDoc() {
    for (int i = 0; i < 40; ++i) {
      if (i == 3) {
        Add(root, u"see", true);
        Add<cSiDocLink>(root, u"here")->target = kTargetA;
        Add<cSiDocLink>(root, u"too")->target = kTargetA;
      } else if (i == 5) {
        Add<cSiDocLink>(root, u"other", true)->target = kTargetB;
      } else if (i == 39) {
        Add(root, u"last", true);
      } else {
        std::u16string t = u"line";
        t += static_cast<char16_t>(u'0' + i / 10);
        t += static_cast<char16_t>(u'0' + i % 10);
        Add(root, t.c_str(), true);
      }
    }
  }
};

constexpr int32_t kDocHeight = 40 * 16;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGround = 0x123456;  // what PaintAlone starts the surface with

// Whether the stand-in glyph of the character cell at (x, y) (its top-left
// corner, element coordinates) is inked: its middle pixel is black.
bool InkAt(const sPainted& shot, int32_t x, int32_t y) { return shot.At(x + 2, y + 8) == 0; }

// The viewer at 200 x 100 inside a hosted top element.
struct sViewerFixture {
  sControlFixture f;
  cTestViewer v;
  sDoc doc;
  explicit sViewerFixture(int32_t width = 200, int32_t height = 100) { f.Add(&v, 0, 0, width, height); }
  ~sViewerFixture() { f.Detach(); }
  void Paint(sPainted& shot) { twtest::PaintAlone(v, shot, 0xFF000000u | kGround); }
  void ScrollTo(uint64_t y) {
    v.VBar().SetPos(y, true);
    f.Pump();
  }
};

TEST(DocViewer, WithoutDocumentPaintsOnlyTheBackground) {
  sViewerFixture x;
  sPainted shot;
  x.Paint(shot);
  for (int32_t y : {0, 50, 99})
    for (int32_t px : {0, 100, 199}) EXPECT_EQ(shot.At(px, y), twtest::Px(kWhite)) << px << "," << y;
  EXPECT_FALSE(x.v.HasRendering());
  EXPECT_FALSE(x.v.VBar().IsVisible());
}

TEST(DocViewer, RendersOnceAndSetsTheScrollContent) {
  sViewerFixture x;
  EXPECT_TRUE(x.v.SetDocument(&x.doc.root));
  EXPECT_EQ(x.v.GetDocument(), &x.doc.root);
  sPainted shot;
  x.Paint(shot);
  ASSERT_TRUE(x.v.HasRendering());
  EXPECT_FALSE(x.v.PaintsDirectly());
  EXPECT_EQ(x.v.GetContentHeight(), kDocHeight);
  EXPECT_TRUE(x.v.VBar().IsVisible());
  EXPECT_EQ(x.v.VBar().GetRange(), static_cast<uint64_t>(kDocHeight - 100));
  EXPECT_EQ(x.v.HBar().GetLineStep(), 10);
  EXPECT_EQ(x.v.VBar().GetLineStep(), 15);
  // "line00" at the top, "see" on line 3, white between the words.
  EXPECT_TRUE(InkAt(shot, 0, 0));
  EXPECT_TRUE(InkAt(shot, 0, 48));
  EXPECT_TRUE(InkAt(shot, 20, 48));
  EXPECT_EQ(shot.At(17, 48 + 8), twtest::Px(kWhite));
  // The same root again: nothing changes, the rendering stays.
  EXPECT_FALSE(x.v.SetDocument(&x.doc.root));
  EXPECT_TRUE(x.v.HasRendering());
  EXPECT_EQ(x.v.GetBackground(), kWhite);
  // Another root drops it; null clears the viewer.
  sDoc other;
  EXPECT_TRUE(x.v.SetDocument(&other.root));
  EXPECT_FALSE(x.v.HasRendering());
  EXPECT_TRUE(x.v.SetDocument(nullptr));
  x.Paint(shot);
  EXPECT_FALSE(x.v.HasRendering());
  EXPECT_EQ(shot.At(2, 8), twtest::Px(kWhite));
}

TEST(DocViewer, ScrollingCopiesTheRenderingAndFillsBelowTheEnd) {
  sViewerFixture x;
  x.v.SetDocument(&x.doc.root);
  sPainted shot;
  x.Paint(shot);
  x.ScrollTo(48);
  ASSERT_EQ(x.v.GetScrollY(), 48);
  x.Paint(shot);
  EXPECT_TRUE(InkAt(shot, 45, 0)) << "line 3's second link word at the top";
  EXPECT_FALSE(InkAt(shot, 45, 16)) << "line 4 ends at x 29";
  // A document shorter than the view: the rest is background.
  cSiDocContainer shortDoc;
  Add(shortDoc, u"one", true);
  x.v.SetDocument(&shortDoc);
  x.Paint(shot);
  EXPECT_TRUE(InkAt(shot, 0, 0));
  for (int32_t y : {20, 60, 99}) EXPECT_EQ(shot.At(5, y), twtest::Px(kWhite)) << y;
  EXPECT_EQ(shot.At(150, 5), twtest::Px(kWhite));
}

TEST(DocViewer, OnlyAWidthChangeLaysTheDocumentOutAgain) {
  sViewerFixture x;
  x.v.SetDocument(&x.doc.root);
  sPainted shot;
  x.Paint(shot);
  ASSERT_TRUE(x.v.HasRendering());
  x.v.SetPos(0, 0, 200, 160);
  EXPECT_TRUE(x.v.HasRendering()) << "height only";
  const int32_t before = x.f.host.invalidateCalls;
  x.v.SetPos(0, 0, 50, 160);
  EXPECT_FALSE(x.v.HasRendering()) << "width";
  EXPECT_GT(x.f.host.invalidateCalls, before);
  // At 50 pixels "see here too" no longer fits: "too" wraps.
  x.Paint(shot);
  ASSERT_TRUE(x.v.HasRendering());
  const std::vector<sEdges>* spots = x.v.HotSpotsOf(kTargetA);
  ASSERT_NE(spots, nullptr);
  ASSERT_EQ(spots->size(), 2u);
  EXPECT_EQ((*spots)[0], (sEdges{20, 48, 39, 63}));
  EXPECT_EQ((*spots)[1], (sEdges{0, 64, 14, 79}));
  EXPECT_EQ(x.v.GetContentHeight(), kDocHeight + 16);
}

TEST(DocViewer, HotSpotsAndHitTestFollowTheScrollPosition) {
  sViewerFixture x;
  x.v.SetDocument(&x.doc.root);
  sPainted shot;
  x.Paint(shot);
  const std::vector<sEdges>* a = x.v.HotSpotsOf(kTargetA);
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->size(), 2u) << "two words of one target share one entry";
  EXPECT_EQ((*a)[0], (sEdges{20, 48, 39, 63}));
  EXPECT_EQ((*a)[1], (sEdges{45, 48, 59, 63}));
  ASSERT_NE(x.v.HotSpotsOf(kTargetB), nullptr);
  EXPECT_EQ((*x.v.HotSpotsOf(kTargetB))[0], (sEdges{0, 80, 24, 95}));
  struct Case {
    int32_t x, y;
    const char16_t* target;
  } cases[] = {
      {20, 48, kTargetA}, {39, 63, kTargetA},  // first and last pixel
      {40, 50, nullptr},  {19, 50, nullptr},   // the gaps either side
      {30, 64, nullptr},  {30, 47, nullptr},   // one row below and above
      {59, 50, kTargetA}, {24, 95, kTargetB},  {25, 95, nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(x.v.HitTest(c.x, c.y), c.target) << c.x << "," << c.y;
  // Scrolled by 40: element y = 10 is document y = 50.
  x.ScrollTo(40);
  EXPECT_EQ(x.v.HitTest(30, 10), kTargetA);
  EXPECT_EQ(x.v.HitTest(10, 50), kTargetB);
  EXPECT_EQ(x.v.HitTest(30, 50 + 40), nullptr);
}

TEST(DocViewer, LinksOpenOnPressAndReleaseOverOneTarget) {
  struct Case {
    const char* what;
    sPoint press, release;
    const char16_t* opened;  // null: nothing
  } cases[] = {
      {"same word", {25, 50}, {30, 55}, kTargetA},
      {"two words of one link", {25, 50}, {50, 50}, kTargetA},
      {"press on one link, release on another", {25, 50}, {5, 85}, nullptr},
      {"release outside every link", {25, 50}, {100, 50}, nullptr},
      {"press outside, release on a link", {100, 50}, {25, 50}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sViewerFixture x;
    x.v.SetDocument(&x.doc.root);
    sPainted shot;
    x.Paint(shot);
    x.f.Press(c.press.x, c.press.y);
    EXPECT_TRUE(x.f.host.captured);
    x.f.Release(c.release.x, c.release.y);
    EXPECT_FALSE(x.f.host.captured);
    if (c.opened == nullptr) {
      EXPECT_TRUE(x.v.opened.empty());
    } else {
      ASSERT_EQ(x.v.opened.size(), 1u);
      EXPECT_EQ(x.v.opened[0], c.opened);
    }
  }
  // Only the left button counts; scrolled, the same element point reaches
  // another line.
  sViewerFixture x;
  x.v.SetDocument(&x.doc.root);
  sPainted shot;
  x.Paint(shot);
  x.v.MouseButton(25, 50, 2, true, false, false);
  x.v.MouseButton(25, 50, 2, false, false, false);
  EXPECT_TRUE(x.v.opened.empty());
  x.ScrollTo(32);
  x.f.Click(5, 50);  // document y 82: "other"
  ASSERT_EQ(x.v.opened.size(), 1u);
  EXPECT_EQ(x.v.opened[0], kTargetB);
  // The real OpenLink refuses an empty target.
  cSiDocViewer plain;
  EXPECT_FALSE(plain.cSiDocViewer::OpenLink(u""));
  EXPECT_FALSE(plain.cSiDocViewer::OpenLink(nullptr));
}

TEST(DocViewer, HandCursorOverLinksOnly) {
  sViewerFixture x;
  x.v.SetDocument(&x.doc.root);
  sPainted shot;
  x.Paint(shot);
  x.f.Move(25, 50);
  EXPECT_EQ(x.f.host.cursor, 3);
  x.f.Move(100, 50);
  EXPECT_EQ(x.f.host.cursor, 0);
  x.f.Move(10, 85);
  EXPECT_EQ(x.f.host.cursor, 3);
}

TEST(DocViewer, KeysScrollTheVerticalBar) {
  sViewerFixture x;
  x.v.SetDocument(&x.doc.root);
  sPainted shot;
  x.Paint(shot);
  // Through the focus, as the window delivers keys: the arrows must reach
  // the viewer, not move the focus.
  cChildElement other;
  x.f.top->AddChild(&other, 0, 150, 50, 20, 0);
  other.SetArrowStop(true);
  x.f.top->SetFocusTo(&x.v);
  ASSERT_TRUE(x.v.HasFocus());
  const uint64_t max = kDocHeight - 100;
  struct Case {
    int32_t key;
    uint64_t after;
    bool repaint;
  } cases[] = {
      {40, 15, true},     // Down: one line (15)
      {39, 30, true},     // Right: one line
      {34, 130, true},    // Page Down: the view's height
      {38, 115, true},    // Up
      {37, 100, true},    // Left
      {33, 0, true},      // Page Up
      {36, 0, false},     // Home at 0: nothing
      {35, max, true},    // End
      {35, max, false},   // End at the end: nothing
      {36, 0, true},      // Home
      {65, 0, false},     // any other key is ignored
  };
  for (const Case& c : cases) {
    const int32_t calls = x.f.host.invalidateCalls;
    x.f.Key(c.key);
    x.f.Pump();
    EXPECT_TRUE(x.v.HasFocus()) << "key " << c.key;
    EXPECT_EQ(x.v.VBar().GetPos(), c.after) << "key " << c.key;
    EXPECT_EQ(x.v.GetScrollY(), static_cast<int32_t>(c.after)) << "key " << c.key;
    EXPECT_EQ(x.f.host.invalidateCalls > calls, c.repaint) << "key " << c.key;
  }
  x.f.top->RemoveChild(&other);
}

// When the rendering cannot be had, the visible part is painted straight
// onto the screen: the page is not blank, links still work.
TEST(DocViewer, PaintsDirectlyWhenTheRenderingIsRefused) {
  sViewerFixture x;
  x.v.SetDocument(&x.doc.root);
  cPicture surface;
  surface.Fill(0xFF000000u | kGround, 200, 100);
  cNoOffscreenCanvas canvas(&surface);
  x.v.PaintTree(&canvas);
  sPainted shot;
  shot.surface.SetPixels(surface.GetPixels(), 200, 100, false);
  EXPECT_GT(canvas.refused, 0);
  EXPECT_FALSE(x.v.HasRendering());
  EXPECT_TRUE(x.v.PaintsDirectly());
  EXPECT_TRUE(InkAt(shot, 0, 0));
  EXPECT_TRUE(InkAt(shot, 20, 48));
  EXPECT_EQ(shot.At(17, 48 + 8), twtest::Px(kWhite)) << "the background, not the surface's old colour";
  EXPECT_EQ(x.v.GetContentHeight(), kDocHeight);
  EXPECT_EQ(x.v.HitTest(25, 50), kTargetA);
  // Scrolled: the later lines are painted, hot spots stay in document
  // coordinates.
  x.ScrollTo(48);
  surface.Fill(0xFF000000u | kGround, 200, 100);
  x.v.PaintTree(&canvas);
  shot.surface.SetPixels(surface.GetPixels(), 200, 100, false);
  EXPECT_TRUE(InkAt(shot, 45, 0));
  EXPECT_FALSE(InkAt(shot, 45, 16));
  EXPECT_EQ((*x.v.HotSpotsOf(kTargetA))[0], (sEdges{20, 48, 39, 63}));
  EXPECT_EQ(x.v.HitTest(25, 2), kTargetA);
  x.f.Click(25, 2);
  ASSERT_EQ(x.v.opened.size(), 1u);
  // A width change lays it out again; an ordinary canvas then gets a
  // rendering.
  x.v.SetPos(0, 0, 180, 100);
  EXPECT_FALSE(x.v.PaintsDirectly());
  x.Paint(shot);
  EXPECT_TRUE(x.v.HasRendering());
}

TEST(DocViewer, AbsurdlyTallDocumentsArePaintedDirectly) {
  sViewerFixture x;
  x.v.LimitRendering(int64_t{200} * (kDocHeight - 1));
  x.v.SetDocument(&x.doc.root);
  sPainted shot;
  x.Paint(shot);
  EXPECT_FALSE(x.v.HasRendering());
  EXPECT_TRUE(x.v.PaintsDirectly());
  EXPECT_TRUE(InkAt(shot, 0, 0));
  x.v.OnKey(35, false, false, false);  // End
  x.f.Pump();
  x.Paint(shot);
  EXPECT_TRUE(InkAt(shot, 0, 100 - 16)) << "\"last\" at the bottom";
  // Within the cap a rendering is made.
  x.v.LimitRendering(int64_t{200} * kDocHeight);
  sDoc again;
  x.v.SetDocument(&again.root);
  x.Paint(shot);
  EXPECT_TRUE(x.v.HasRendering());
}

}  // namespace
