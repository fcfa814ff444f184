// The element core on the test host: anchors and fixed axes, layout and
// invalidation, painting order and clips on the memory canvas, language
// lookup, texts, actions and the operations that reach the window.
#include "gui/element.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "gui/font.h"
#include "gui/language.h"
#include "gui/mem_canvas.h"
#include "gui/theme.h"
#include "tests/support/test_host.h"
#include "tests/support/test_support.h"

// Failure messages print the records by value (found by argument lookup).
void PrintTo(const sEdges& e, std::ostream* os) {
  *os << "{" << e.left << "," << e.top << "," << e.right << "," << e.bottom << "}";
}
void PrintTo(const sRect& r, std::ostream* os) { *os << "{" << r.x << "," << r.y << "," << r.width << "," << r.height << "}"; }
void PrintTo(const sPoint& p, std::ostream* os) { *os << "{" << p.x << "," << p.y << "}"; }
void PrintTo(const sSize& s, std::ostream* os) { *os << "{" << s.width << "," << s.height << "}"; }

namespace {

using twtest::cTestHost;

sRect RectOf(const cChildElement& e) {
  sRect r;
  e.GetRect(&r);
  return r;
}

// An element whose behaviour a test sets from outside.
class Probe : public cChildElement {
public:
  explicit Probe(std::string n = "") : name(std::move(n)) {}
  ~Probe() override {
    if (deaths != nullptr) ++*deaths;
  }
  bool ScrollOffset(int32_t* x, int32_t* y) override {
    *x = scrollX, *y = scrollY;
    return true;
  }
  int32_t BorderWidth() override { return border; }
  bool ViewRect(sRect* rect) override {
    if (view.width < 0) return cChildElement::ViewRect(rect);
    *rect = view;
    return true;
  }
  bool WrapsArrowNavigation() override { return wrap; }
  bool WantsTabStop() override { return tabStop; }
  int32_t DefaultCursor() override { return defaultCursor; }
  bool WantsFullRepaint() override { return fullRepaint; }
  const char16_t* LangSectionKey() override { return sectionKey; }
  bool CanClose() override { return closable; }
  void OnCreate() override {
    ++created;
    if (minW >= 0) SetMinSize(minW, -1), SetMaxSize(maxW, -1);
  }
  void OnResize() override { ++resized; }
  void Paint(cCanvas* canvas) override {
    if (log != nullptr) log->push_back(name);
    if (fill != 0xFFFFFFFFu) {
      const sRect all{0, 0, canvas->GetWidth() + 50, canvas->GetHeight() + 50};
      canvas->DrawRect(&all, fill, fill);
    }
  }
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (log != nullptr) log->push_back(name + ":" + std::to_string(action->kind));
    if (action->kind >= 7 && handles) return true;
    return cChildElement::OnAction(sender, action);
  }
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override {
    if (log != nullptr)
      log->push_back(name + " button " + std::to_string(button) + (down ? " down " : " up ") + std::to_string(x) +
                     "," + std::to_string(y));
  }
  void OnDblClick(int32_t, int32_t) override { ++doubleClicks; }

  std::string name;
  std::vector<std::string>* log = nullptr;
  int* deaths = nullptr;
  int32_t scrollX = 0, scrollY = 0, border = 0, defaultCursor = 0;
  bool tabStop = false, fullRepaint = false, closable = true, handles = false, wrap = false;
  sRect view{0, 0, -1, -1};  // a negative width: the default view
  const char16_t* sectionKey = nullptr;
  int32_t created = 0, resized = 0, doubleClicks = 0;
  int32_t minW = -1, maxW = -1;
  uint32_t fill = 0xFFFFFFFFu;
};

// ---- Tree, anchors and layout -------------------------------------------------

TEST(ElementTree, AnchorsFollowTheParent) {
  cTestHost host;
  auto* top = new Probe("top");
  host.Host(top, 300, 200);
  Probe c, d;
  ASSERT_TRUE(top->PlaceChild(&c, 10, 10, -11, 24));
  EXPECT_EQ(RectOf(c), (sRect{10, 10, 290, 24}));
  ASSERT_TRUE(top->PlaceChild(&d, -101, -51, 100, 50));
  EXPECT_EQ(RectOf(d), (sRect{200, 150, 100, 50}));
  EXPECT_EQ(c.created, 1);
  top->Resize(400, 300, false);
  EXPECT_EQ(RectOf(c), (sRect{10, 10, 390, 24}));
  EXPECT_EQ(RectOf(d), (sRect{300, 250, 100, 50}));
  // The child's own Resize ends with its OnResize, and the parent's layout
  // calls it once more after setting the rectangle; d only moved, so its
  // Resize did nothing.
  EXPECT_EQ(c.resized, 2);
  EXPECT_EQ(d.resized, 1);
  EXPECT_EQ(top->resized, 1);
  EXPECT_FALSE(top->PlaceChild(nullptr, 0, 0, 1, 1));
}

TEST(ElementTree, FixedChildIgnoresScrollAndTakesTheFullSize) {
  cTestHost host;
  auto* top = new Probe("top");
  host.Host(top, 400, 300, 100, 50);
  Probe panel, scrolling, fixed;
  panel.border = 5;
  ASSERT_TRUE(top->AddChild(&panel, 20, 30, 200, 100, 0));
  EXPECT_EQ(panel.GetBorderWidth(), 5);
  panel.scrollX = -7;
  panel.scrollY = -40;
  ASSERT_TRUE(panel.PlaceChild(&scrolling, 0, 60, -1, 10));
  ASSERT_TRUE(panel.AddChild(&fixed, 0, 0, 10, 10, 1));
  ASSERT_TRUE(panel.PlaceChild(&fixed, 0, 0, -1, 10));
  EXPECT_EQ(scrolling.GetWidth(), 190);  // the client width, inside the border
  EXPECT_EQ(fixed.GetWidth(), 200);      // the full width
  sPoint a{0, 0}, b{0, 0};
  ASSERT_TRUE(scrolling.ClientToScreen(&a));
  ASSERT_TRUE(fixed.ClientToScreen(&b));
  EXPECT_EQ(a, (sPoint{100 + 20 - 7, 50 + 30 + 60 - 40}));
  EXPECT_EQ(b, (sPoint{100 + 20, 50 + 30}));
  panel.scrollY = -80;  // scrolling on: the fixed child stays put
  ASSERT_TRUE(fixed.GetScreenPos(&b));
  EXPECT_EQ(b, (sPoint{120, 80}));
  Probe orphan;
  EXPECT_FALSE(orphan.GetScreenPos(&a));
}

TEST(ElementTree, SizeLimitsMinimumWinsOnAddMaximumOnPlace) {
  Probe parent, a, b;
  a.minW = 50, a.maxW = 40;
  b.minW = 50, b.maxW = 40;
  ASSERT_TRUE(parent.AddChild(&a, 0, 0, 10, 5, 0));
  EXPECT_EQ(a.GetWidth(), 50);
  ASSERT_TRUE(parent.PlaceChild(&b, 0, 0, 10, 5));
  EXPECT_EQ(b.GetWidth(), 40);
  EXPECT_EQ(a.GetMinWidth(), 50);
}

TEST(ElementTree, TabIndexesAndRepeatedAdd) {
  Probe parent, a, b, c;
  ASSERT_TRUE(parent.AddChild(&a, 0, 0, 5, 5, 0));
  ASSERT_TRUE(parent.AddChild(&b, 0, 0, 5, 5, 0));
  EXPECT_EQ(parent.GetTabIndex(&a), 0);
  EXPECT_EQ(parent.GetTabIndex(&b), 1);
  ASSERT_TRUE(parent.AddChild(&a, 7, 8, 9, 10, 0));  // only moved
  EXPECT_EQ(parent.GetTabIndex(&a), 0);
  EXPECT_EQ(RectOf(a), (sRect{7, 8, 9, 10}));
  EXPECT_EQ(a.created, 1);
  ASSERT_TRUE(parent.RemoveChild(&b));
  EXPECT_EQ(parent.GetTabIndex(&b), -1);
  EXPECT_EQ(b.GetParent(), &parent);  // left as it was
  ASSERT_TRUE(parent.AddChild(&c, 0, 0, 5, 5, 0));
  EXPECT_EQ(parent.GetTabIndex(&c), 1);
  EXPECT_EQ(parent.ChildCount(), 2);
  EXPECT_FALSE(parent.AddChild(nullptr, 0, 0, 1, 1, 0));
  Probe negative;
  ASSERT_TRUE(parent.AddChild(&negative, 0, 0, -5, -6, 0));
  EXPECT_EQ(RectOf(negative), (sRect{0, 0, 0, 0}));
}

TEST(ElementTree, InitDefaultsCopiesTheTraits) {
  Probe parent, child;
  child.tabStop = true;
  child.border = 3;
  child.defaultCursor = 3;
  child.SetBackgroundColour(0x123456);
  ASSERT_TRUE(parent.AddChild(&child, 0, 0, 20, 20, 0));
  EXPECT_TRUE(child.IsTabStop());
  EXPECT_TRUE(child.IsArrowStop());
  EXPECT_EQ(child.GetBorderWidth(), 3);
  EXPECT_EQ(child.GetCursor(), 3);
  EXPECT_EQ(child.GetBackgroundColour(), GetTheme()->GetColour(14));
  int32_t w = 0, h = 0;
  child.ClientSize(&w, &h);
  EXPECT_EQ(w, 14);
  child.SetFocusable(false);
  EXPECT_FALSE(child.IsTabStop());
}

TEST(ElementTree, QueryCloseAsksTheWholeTree) {
  Probe top, mid, leaf;
  top.AddChild(&mid, 0, 0, 5, 5, 0);
  mid.AddChild(&leaf, 0, 0, 5, 5, 0);
  EXPECT_TRUE(top.QueryClose());
  leaf.closable = false;
  EXPECT_FALSE(top.QueryClose());
  EXPECT_TRUE(top.QueryEnd());
}

// ---- Invalidation -----------------------------------------------------------------

TEST(ElementInvalidation, ShrinkingAtTheSamePlaceRepaintsOnlyTheStrip) {
  cTestHost host;
  auto* top = new Probe("top");
  host.Host(top, 400, 200);
  Probe box, c;
  ASSERT_TRUE(top->AddChild(&box, 20, 30, 300, 100, 0));
  ASSERT_TRUE(box.PlaceChild(&c, 10, 10, -11, 24));
  host.invalidated.clear();
  ASSERT_TRUE(box.PlaceChild(&c, 10, 10, 200, 24));  // narrower
  ASSERT_EQ(host.invalidated.size(), 1u);
  // Columns 210..299 of box, rows 10..33; the exclusive right edge is the
  // box's own width, so its last column is included.
  EXPECT_EQ(host.invalidated[0], (sEdges{20 + 210, 30 + 10, 20 + 300, 30 + 34}));
  host.invalidated.clear();
  ASSERT_TRUE(box.PlaceChild(&c, 10, 10, 200, 40));  // taller
  ASSERT_EQ(host.invalidated.size(), 1u);
  EXPECT_EQ(host.invalidated[0], (sEdges{30, 30 + 34, 30 + 200, 30 + 50}));
  host.invalidated.clear();
  ASSERT_TRUE(box.PlaceChild(&c, 15, 10, 200, 40));  // moved: old and new
  ASSERT_EQ(host.invalidated.size(), 2u);
  EXPECT_EQ(host.invalidated[0], (sEdges{30, 40, 230, 80}));
  EXPECT_EQ(host.invalidated[1], (sEdges{35, 40, 235, 80}));
  host.invalidated.clear();
  ASSERT_TRUE(box.PlaceChild(&c, 15, 10, 200, 40));  // unchanged: nothing
  EXPECT_TRUE(host.invalidated.empty());
}

TEST(ElementInvalidation, EdgesAreCutToTheElementAndFollowTheScroll) {
  cTestHost host;
  auto* top = new Probe("top");
  host.Host(top, 400, 300);
  Probe panel, child, fixed;
  ASSERT_TRUE(top->AddChild(&panel, 10, 20, 200, 150, 0));
  ASSERT_TRUE(panel.AddChild(&child, 30, 40, 100, 50, 0));
  ASSERT_TRUE(panel.AddChild(&fixed, 30, 40, 100, 50, 1));
  host.invalidated.clear();
  const sRect past{90, 40, 30, 30};
  child.Invalidate(&past);  // cut to {90, 40, 100, 50}, not to 99 and 49
  child.Invalidate(nullptr);
  ASSERT_EQ(host.invalidated.size(), 2u);
  EXPECT_EQ(host.invalidated[0], (sEdges{10 + 30 + 90, 20 + 40 + 40, 10 + 30 + 100, 20 + 40 + 50}));
  EXPECT_EQ(host.invalidated[1], (sEdges{40, 60, 140, 110}));

  host.invalidated.clear();
  panel.scrollY = -60;  // child's top now lies above the panel: cut to 0
  child.Invalidate(nullptr);
  fixed.Invalidate(nullptr);
  ASSERT_EQ(host.invalidated.size(), 2u);
  EXPECT_EQ(host.invalidated[0], (sEdges{40, 20 + 0, 140, 20 + 30}));
  EXPECT_EQ(host.invalidated[1], (sEdges{40, 60, 140, 110}));
  host.invalidated.clear();
  panel.scrollY = -100;  // entirely above: nothing reaches the window
  child.Invalidate(nullptr);
  EXPECT_TRUE(host.invalidated.empty());

  child.Hide(false);
  child.Invalidate(nullptr);
  Probe detached;
  detached.Invalidate(nullptr);
  EXPECT_TRUE(host.invalidated.empty());
  panel.scrollY = 0;
  child.Show(true);
  EXPECT_EQ(host.invalidated.size(), 1u);
  child.Hide(true);  // invalidates before hiding
  EXPECT_EQ(host.invalidated.size(), 2u);
}

// Far edges past the top of the 32-bit range are cut to the element, not
// wrapped to a negative edge (which dropped the request, and is undefined).
TEST(ElementInvalidation, HugeRectanglesAreCutNotWrapped) {
  cTestHost host;
  auto* top = new Probe("top");
  host.Host(top, 400, 300);
  Probe child;
  ASSERT_TRUE(top->AddChild(&child, 30, 40, 100, 50, 0));
  struct sCase {
    sRect rect;
    bool reaches;
    sEdges edges;  // in the window
  };
  const sCase cases[] = {
      {{10, 5, INT32_MAX, INT32_MAX}, true, {40, 45, 130, 90}},
      {{INT32_MAX, 0, INT32_MAX, 10}, true, {130, 40, 130, 50}},  // starts past the element: empty
      {{0, 20, 50, INT32_MAX - 10}, true, {30, 60, 80, 90}},
      {{20, 0, INT32_MAX - 19, 1}, true, {50, 40, 130, 41}},
      {{5, 5, INT32_MIN, 10}, false, {}},  // negative width: nothing
  };
  for (const sCase& c : cases) {
    host.invalidated.clear();
    child.Invalidate(&c.rect);
    if (!c.reaches) {
      EXPECT_TRUE(host.invalidated.empty()) << c.rect.x << "," << c.rect.width;
      continue;
    }
    ASSERT_EQ(host.invalidated.size(), 1u) << c.rect.x << "," << c.rect.width;
    EXPECT_EQ(host.invalidated[0], c.edges) << c.rect.x << "," << c.rect.width;
  }
}

TEST(ElementInvalidation, ResizeInvalidatesFullRepaintChildrenWhole) {
  cTestHost host;
  auto* top = new Probe("top");
  host.Host(top, 300, 200);
  Probe plain, full;
  full.fullRepaint = true;
  ASSERT_TRUE(top->PlaceChild(&plain, 0, 0, -101, 10));
  ASSERT_TRUE(top->PlaceChild(&full, 0, 20, -101, 10));
  host.invalidated.clear();
  top->Resize(250, 200, false);
  // plain: the lost strip 150..200; full: its whole old and new areas (the
  // top element cuts both to its new width).
  std::vector<sEdges> want = {{150, 0, 200, 10}, {0, 20, 200, 30}, {0, 20, 150, 30}};
  // The children are laid out in the order of the anchor map (by address).
  auto order = [](const sEdges& a, const sEdges& b) {
    return std::tie(a.top, a.left, a.right) < std::tie(b.top, b.left, b.right);
  };
  std::sort(want.begin(), want.end(), order);
  std::sort(host.invalidated.begin(), host.invalidated.end(), order);
  EXPECT_EQ(host.invalidated, want);
}

// ---- Painting -----------------------------------------------------------------------

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kGrey = 0x808080;

uint32_t At(cMemCanvas& c, int32_t x, int32_t y) {
  const cPicture& p = *c.Surface();
  return p.GetPixels()[static_cast<size_t>(p.GetHeight() - 1 - y) * p.GetWidth() + x];
}
uint32_t Px(uint32_t colour) { return tw::ColourToPixel(colour); }

TEST(ElementPaint, ParentFirstChildrenClippedToTheContentArea) {
  std::vector<std::string> log;
  cTestHost host;
  auto* top = new Probe("top");
  top->fill = kRed;
  top->log = &log;
  top->border = 4;
  top->InitDefaults();  // a top element takes its traits only when asked
  host.Host(top, 60, 40);
  Probe inner("inner"), outer("outer"), hidden("hidden"), empty("empty");
  inner.fill = kGreen, outer.fill = kBlue, hidden.fill = kGrey;
  inner.log = outer.log = hidden.log = empty.log = &log;
  top->AddChild(&inner, 10, 10, 10, 10, 0);
  top->AddChild(&outer, 50, 30, 20, 20, 0);  // reaches past the border
  top->AddChild(&hidden, 30, 5, 5, 5, 0);
  top->AddChild(&empty, 30, 20, 5, 5, 0);   // paints nothing
  hidden.Hide(false);

  cMemCanvas canvas(60, 40);
  host.Paint(&canvas);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "top");
  EXPECT_EQ(std::count(log.begin(), log.end(), "inner"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "outer"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "hidden"), 0);

  EXPECT_EQ(At(canvas, 0, 0), Px(kRed));
  EXPECT_EQ(At(canvas, 10, 10), Px(kGreen));
  EXPECT_EQ(At(canvas, 19, 19), Px(kGreen));
  EXPECT_EQ(At(canvas, 20, 20), Px(kRed));
  EXPECT_EQ(At(canvas, 50, 30), Px(kBlue));
  EXPECT_EQ(At(canvas, 55, 35), Px(kBlue));  // the last pixel before the border
  EXPECT_EQ(At(canvas, 56, 36), Px(kRed));   // the border is the parent's
  EXPECT_EQ(At(canvas, 31, 6), Px(kRed));    // a hidden child leaves its area to the parent
  EXPECT_EQ(At(canvas, 31, 21), 0u);          // the parent never painted under a child
}

TEST(ElementPaint, ScrollOffsetsAndFixedChildren) {
  cTestHost host;
  auto* top = new Probe("top");
  top->fill = kRed;
  top->scrollX = -20;
  host.Host(top, 60, 20);
  Probe scrolled("s"), fixed("f");
  scrolled.fill = kGreen, fixed.fill = kBlue;
  top->AddChild(&scrolled, 30, 0, 10, 10, 0);
  top->AddChild(&fixed, 30, 10, 10, 10, 1);
  cMemCanvas canvas(60, 20);
  host.Paint(&canvas);
  EXPECT_EQ(At(canvas, 10, 5), Px(kGreen));  // drawn at 30 - 20
  EXPECT_EQ(At(canvas, 30, 5), Px(kRed));
  EXPECT_EQ(At(canvas, 30, 15), Px(kBlue));  // fixed: at its own x
}

TEST(ElementPaint, TransparentChildGetsTheParentsBackgroundAndDoubleBufferPaintsTheSame) {
  for (bool doubleBuffer : {false, true}) {
    cTestHost host;
    auto* top = new Probe("top");
    top->fill = kRed;
    host.Host(top, 40, 20);
    top->SetBackgroundColour(kGrey);
    top->SetDoubleBuffered(doubleBuffer);
    Probe glass("glass"), solid("solid");
    top->AddChild(&glass, 5, 5, 10, 10, 0);
    top->AddChild(&solid, 20, 5, 10, 10, 0);
    solid.fill = kGreen;
    solid.SetDoubleBuffered(doubleBuffer);
    glass.SetTransparent(true);
    cMemCanvas canvas(40, 20);
    host.Paint(&canvas);
    EXPECT_EQ(At(canvas, 7, 7), Px(kGrey)) << doubleBuffer;
    EXPECT_EQ(At(canvas, 5, 5), Px(kGrey)) << doubleBuffer;  // the corners land exactly
    EXPECT_EQ(At(canvas, 4, 4), Px(kRed)) << doubleBuffer;
    EXPECT_EQ(At(canvas, 29, 14), Px(kGreen)) << doubleBuffer;
    EXPECT_EQ(At(canvas, 30, 15), Px(kRed)) << doubleBuffer;
    EXPECT_EQ(At(canvas, 22, 7), Px(kGreen)) << doubleBuffer;
    EXPECT_EQ(At(canvas, 2, 2), Px(kRed)) << doubleBuffer;
  }
}

// ---- Texts and language -----------------------------------------------------------------

TEST(ElementText, CopyTextCutsAndNeverWritesWithoutRoom) {
  Probe e;
  e.SetText(u"abcdef", -1, false);
  char16_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  e.CopyText(buffer, 4);
  EXPECT_EQ(std::u16string(buffer), u"abc");
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  e.CopyText(buffer + 1, 0);  // nothing, not even before the buffer
  e.CopyText(buffer + 1, -3);
  e.CopyText(nullptr, 5);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(buffer[1], u'#');
  e.CopyText(buffer, 1);
  EXPECT_EQ(buffer[0], 0);
  e.SetText(u"xyz", 2, false);
  EXPECT_EQ(std::u16string(e.GetText()), u"xy");
  e.WipeText();
  EXPECT_EQ(e.GetText(), nullptr);
  e.SetText(nullptr, -1, false);
  EXPECT_EQ(e.GetText(), nullptr);
}

TEST(ElementText, LanguageWalkStopsAtANamedSectionThatIsNotLoaded) {
  static cWEKTLang builtin;  // providers live until exit
  ASSERT_TRUE(SetCurrentLanguage(0));
  cTestHost host;
  auto* top = new Probe("top");
  top->sectionKey = u"wekt::cld";
  host.Host(top, 100, 100);
  ASSERT_NE(top->GetLanguageSection(), nullptr);
  Probe plain, named, below, stranger;
  named.sectionKey = u"no such section";
  top->AddChild(&plain, 0, 0, 1, 1, 0);
  top->AddChild(&named, 0, 0, 1, 1, 0);
  named.AddChild(&below, 0, 0, 1, 1, 0);
  ASSERT_NE(plain.GetLangString(0), nullptr);
  EXPECT_EQ(std::u16string(plain.GetLangString(0)), u"OK");
  EXPECT_EQ(plain.GetLangString(100000), nullptr);
  EXPECT_EQ(named.GetLangString(0), nullptr);
  EXPECT_EQ(below.GetLangString(0), nullptr);  // even though the grandparent has one

  // Not in a tree: through another element's window.
  stranger.sectionKey = u"wekt::cld";
  EXPECT_EQ(stranger.GetLangString(1), nullptr);
  ASSERT_NE(stranger.GetLangStringVia(&plain, 1), nullptr);
  EXPECT_EQ(std::u16string(stranger.GetLangStringVia(nullptr, 1)), u"Cancel");  // kept
  Probe keyless;
  EXPECT_EQ(std::u16string(keyless.GetLangStringVia(&plain, 0)), u"OK");
}

// ---- The window -----------------------------------------------------------------------------

TEST(ElementWindow, RequestsReachTheHostFromAnyDepth) {
  cTestHost host;
  auto* top = new Probe("top");
  host.Host(top, 100, 100);
  Probe mid, leaf;
  top->AddChild(&mid, 0, 0, 50, 50, 0);
  mid.AddChild(&leaf, 0, 0, 10, 10, 0);
  ASSERT_TRUE(leaf.WriteClipboardText(u"h\x00E9", -1));
  EXPECT_EQ(host.clipboardText, (std::vector<uint8_t>{'h', 0, 0xE9, 0, 0, 0}));
  _guardchar<char16_t> back;
  ASSERT_TRUE(leaf.ReadClipboardText(&back));
  EXPECT_EQ(std::u16string(back.text), u"h\x00E9");
  EXPECT_TRUE(leaf.ApplyCursor(3));
  EXPECT_EQ(host.cursor, 3);
  EXPECT_TRUE(leaf.ActivateWindow());
  EXPECT_EQ(host.focusRequests, 1);
  EXPECT_NE(leaf.GetDefaultFont(), nullptr);
  EXPECT_EQ(leaf.GetBoldFont(), GetCachedFont(6, 13, GetUIFaceName(), true, false, false));
  sSize size;
  ASSERT_TRUE(leaf.MeasureText(u"abc", &size, leaf.GetDefaultFont()));
  EXPECT_EQ(size, (sSize{15, 13}));
  EXPECT_FALSE(leaf.SetMinSize(10, 10));  // a child only stores it
  EXPECT_TRUE(top->SetMinSize(120, 80));
  EXPECT_EQ(host.minTrack, (sSize{120, 80}));
  EXPECT_TRUE(top->SetPos(5, 6, 200, 150));  // a top element moves its window
  EXPECT_EQ(top->GetWidth(), 200);
  leaf.EndModal(4);
  EXPECT_TRUE(host.ended);
  EXPECT_EQ(host.endCode, 4);

  Probe lonely, notTaken;
  EXPECT_EQ(lonely.ShowModal(u"x", 10, 10, &notTaken, false), -1);
  EXPECT_EQ(lonely.GetFont(5, 13, u"Tahoma", false, false, false), nullptr);
  EXPECT_FALSE(lonely.SetPos(0, 0, 1, 1));
  EXPECT_FALSE(lonely.WriteClipboardText(u"a", -1));
}

TEST(ElementWindow, NestedModalFormsRunFromAScript) {
  cTestHost host;
  auto* top = new Probe("top");
  host.Host(top, 100, 100);
  int deaths = 0;
  auto* form = new Probe("form");
  form->deaths = &deaths;
  host.QueueModalScript([&](cTestHost& nested, cChildElement* shown) {
    EXPECT_EQ(shown, form);
    EXPECT_EQ(shown->GetWidth(), 200);
    // The form opens a second level from inside its run.
    auto* inner = new Probe("inner");
    inner->deaths = &deaths;
    EXPECT_EQ(shown->ShowModal(u"inner", 50, 40, inner, false), 9);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(nested.modalTitles.back(), u"inner");
    shown->EndModal(7);
  });
  host.QueueModalScript([](cTestHost&, cChildElement* shown) { shown->EndModal(9); });
  EXPECT_EQ(top->ShowModal(u"outer", 200, 100, form, false), 7);
  EXPECT_EQ(deaths, 2);  // the host deleted both forms
  EXPECT_EQ(top->ShowModal(u"closed", 10, 10, new Probe(), false), 0);
  EXPECT_EQ(top->ShowModal(u"none", 10, 10, nullptr, false), -1);
}

// ---- Actions --------------------------------------------------------------------------------

TEST(ElementActions, PostedActionsBubbleInOrderDirectOnesDoNot) {
  std::vector<std::string> log;
  cTestHost host;
  auto* top = new Probe("top");
  top->log = &log;
  top->handles = true;
  host.Host(top, 100, 100);
  Probe leaf("leaf");
  leaf.log = &log;
  top->AddChild(&leaf, 0, 0, 10, 10, 0);
  EXPECT_TRUE(leaf.PostKind(7));
  EXPECT_TRUE(leaf.PostKind(8));
  EXPECT_TRUE(leaf.PostAction(nullptr));
  EXPECT_TRUE(leaf.PostDirectAction(new cChildElement::cChildAction(9)));
  EXPECT_EQ(host.PendingWakeUps(), 4);
  host.Pump();
  // The first wake-up runs all three posted actions; leaf's kind 0 is not
  // handled by anyone and still ends.
  const std::vector<std::string> want = {"leaf:7", "top:7", "leaf:8", "top:8", "leaf:0", "top:0", "leaf:9"};
  EXPECT_EQ(log, want);
  EXPECT_EQ(host.PendingWakeUps(), 0);

  Probe detached;
  EXPECT_FALSE(detached.PostKind(7));  // no window: false, stays queued
  auto* sent = new cChildElement::cSentChildAction(9);
  EXPECT_FALSE(detached.SendAction(sent));
}

TEST(ElementActions, ActionsOfADeletedElementAreDropped) {
  cTestHost host;
  auto* top = new Probe("top");
  host.Host(top, 100, 100);
  auto* doomed = new Probe("doomed");
  std::vector<std::string> log;
  doomed->log = &log;
  top->AddChild(doomed, 0, 0, 10, 10, 0);
  doomed->PostKind(7);
  top->RemoveChild(doomed);
  delete doomed;
  EXPECT_FALSE(cChildElement::IsLive(doomed));
  EXPECT_EQ(host.Pump(), 1);
  EXPECT_TRUE(log.empty());
}

TEST(ElementActions, SentActionWaitsForTheUiThread) {
  std::vector<std::string> log;
  cTestHost host;
  auto* top = new Probe("top");
  top->log = &log;
  host.Host(top, 100, 100);
  std::atomic<int> stage{0};
  std::thread worker([&] {
    stage = 1;
    const bool ok = top->SendAction(new cChildElement::cSentChildAction(9));
    stage = ok ? 2 : 3;
  });
  while (host.PendingWakeUps() == 0) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(stage.load(), 1);  // still waiting
  host.Pump();
  worker.join();
  EXPECT_EQ(stage.load(), 2);
  EXPECT_EQ(log, (std::vector<std::string>{"top:9"}));
}

// ---- Input and focus ----------------------------------------------------------------------------

uint32_t g_ticks = 1000;
uint32_t TestTicks() { return g_ticks; }

TEST(ElementInput, MouseRoutingDoubleClickAndContextRequest) {
  tw::SetElementTickSource(&TestTicks);
  std::vector<std::string> log;
  cTestHost host;
  auto* top = new Probe("top");
  top->log = &log;
  host.Host(top, 100, 100);
  Probe button("button"), off("off");
  button.log = off.log = &log;
  top->AddChild(&button, 10, 20, 30, 10, 0);
  top->AddChild(&off, 50, 20, 30, 10, 0);
  off.Disable(false);
  top->MouseButton(15, 25, 1, true, false, false);
  g_ticks += 300;
  top->MouseButton(17, 25, 1, true, false, false);  // 300 ms, 2 pixels: a double click
  g_ticks += 100;
  top->MouseButton(16, 25, 1, true, false, false);  // compared with the first press again
  g_ticks += 100;
  top->MouseButton(16, 25, 1, true, false, false);  // 500 ms after the first: not
  g_ticks += 100;
  top->MouseButton(19, 25, 1, true, false, false);  // 3 pixels off: not
  EXPECT_EQ(button.doubleClicks, 2);
  EXPECT_EQ(log[0], "button button 1 down 5,5");
  log.clear();
  top->MouseButton(60, 25, 1, true, false, false);  // a disabled child: nobody below the top
  EXPECT_EQ(log, (std::vector<std::string>{"top button 1 down 60,25"}));
  log.clear();
  top->MouseButton(12, 21, 2, false, false, false);  // right release: context request
  host.Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"button button 2 up 2,1", "button:2", "top:2"}));
  tw::SetElementTickSource(nullptr);
}

TEST(ElementInput, TabWrapsAndRemovingTheFocusedChildForgetsIt) {
  cTestHost host;
  auto* top = new Probe("top");
  host.Host(top, 100, 100);
  Probe a, b, c;
  a.tabStop = b.tabStop = c.tabStop = true;
  top->AddChild(&a, 0, 0, 10, 10, 0);
  top->AddChild(&b, 20, 0, 10, 10, 0);
  top->AddChild(&c, 40, 0, 10, 10, 0);
  EXPECT_TRUE(top->Key(9, false, false, false));
  EXPECT_EQ(top->GetFocusedLeaf(), &a);
  top->Key(9, false, false, false);
  top->Key(9, false, false, false);
  EXPECT_EQ(top->GetFocusedLeaf(), &c);
  top->Key(9, false, false, false);  // wraps
  EXPECT_EQ(top->GetFocusedLeaf(), &a);
  top->Key(9, true, false, false);  // Shift+Tab on the first wraps to the last
  EXPECT_EQ(top->GetFocusedLeaf(), &c);

  c.CaptureMouse(false);
  EXPECT_TRUE(host.captured);
  EXPECT_EQ(top->GetCaptureChild(), &c);
  top->RemoveChild(&c);
  EXPECT_EQ(top->GetFocusedChild(), nullptr);
  EXPECT_EQ(top->GetCaptureChild(), nullptr);
  EXPECT_FALSE(host.captured);
}

TEST(ElementInput, FocusIsSavedAndRestoredWithTheWindow) {
  std::vector<std::string> log;
  cTestHost host;
  auto* top = new Probe("top");
  top->log = &log;
  top->handles = false;
  host.Host(top, 100, 100);
  Probe a("a"), b("b");
  a.log = b.log = &log;
  top->AddChild(&a, 0, 0, 10, 10, 0);
  top->AddChild(&b, 20, 0, 10, 10, 0);
  top->FocusAt(25, 5, 1, false, false);
  EXPECT_EQ(top->GetFocusedLeaf(), &b);
  host.Pump();
  log.clear();
  top->SaveFocus();
  EXPECT_EQ(top->GetFocusedLeaf(), nullptr);
  top->RestoreFocus();
  EXPECT_EQ(top->GetFocusedLeaf(), &b);
  host.Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"b:1", "top:1"}));
}

TEST(ElementInput, RoutingFollowsScrollAndViewExceptOnFixedAxes) {
  std::vector<std::string> log;
  cTestHost host;
  auto* top = new Probe("top");
  top->scrollY = -50;
  top->view = {0, 0, 100, 60};
  top->log = &log;
  host.Host(top, 100, 100);
  Probe scrolled("scrolled"), fixed("fixed");
  scrolled.log = fixed.log = &log;
  top->AddChild(&scrolled, 0, 60, 50, 20, 0);  // shows at y 10
  top->AddChild(&fixed, 0, 65, 50, 20, 1);
  top->MouseButton(5, 15, 1, true, false, false);
  top->MouseButton(5, 70, 1, true, false, false);  // below the view: only a fixed child is hit
  top->MouseButton(5, 95, 1, true, false, false);  // outside both
  const std::vector<std::string> want = {"scrolled button 1 down 5,5", "fixed button 1 down 5,5",
                                         "top button 1 down 5,95"};
  EXPECT_EQ(log, want);
}

TEST(ElementInput, ArrowsMoveAmongSiblingsAndWrapOnlyWhenAsked) {
  for (bool wrap : {false, true}) {
    cTestHost host;
    auto* top = new Probe("top");
    host.Host(top, 100, 100);
    Probe group, a, b, c;
    group.wrap = wrap;
    a.tabStop = b.tabStop = c.tabStop = true;  // tab stops are arrow stops
    top->AddChild(&group, 0, 0, 100, 100, 0);
    group.AddChild(&a, 0, 0, 10, 10, 0);
    group.AddChild(&b, 20, 0, 10, 10, 0);
    group.AddChild(&c, 40, 0, 10, 10, 0);
    ASSERT_TRUE(top->SetFocusTo(&a));
    EXPECT_EQ(top->GetFocusedLeaf(), &a);
    EXPECT_TRUE(top->Key(39, false, false, false));
    EXPECT_EQ(top->GetFocusedLeaf(), &b);
    EXPECT_TRUE(top->Key(40, false, false, false));
    EXPECT_EQ(top->GetFocusedLeaf(), &c);
    EXPECT_TRUE(top->Key(39, false, false, false));  // the end: handled either way
    EXPECT_EQ(top->GetFocusedLeaf(), wrap ? &a : &c) << wrap;
    EXPECT_TRUE(top->Key(37, false, false, false));
    EXPECT_EQ(top->GetFocusedLeaf(), wrap ? &c : &b) << wrap;
    EXPECT_FALSE(a.HasFocus() && c.HasFocus());
  }
}

}  // namespace
