// The skinned form, the panel, the check box and the hint's geometry,
// through the test host and the memory canvas.
#include "gui/custom_form.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/mem_canvas.h"
#include "gui/panel.h"
#include "gui/picture.h"
#include "gui/theme.h"
#include "tests/support/test_host.h"

namespace {

using twtest::cTestHost;

// Records the keys that reach it and the actions that bubble to it.
class KeyProbe : public cChildElement {
public:
  std::vector<int32_t> keys;
  bool WantsTabStop() override { return true; }
  void OnKey(int32_t key, bool, bool, bool) override { keys.push_back(key); }
};

struct FormRecord {
  int shown = 0;
  int enter = 0;
  int escape = 0;
  std::vector<int32_t> childActions;
};

class ProbeForm : public cCustomForm {
public:
  ProbeForm(FormRecord* r, bool consumeEscape) : record_(r), consumeEscape_(consumeEscape) {}
  KeyProbe child;
  cCheckBoxChild box;

  void OnCreate() override {
    cCustomForm::OnCreate();
    GetClientPanel()->PlaceChild(&child, 10, 10, 50, 20);
    GetClientPanel()->PlaceChild(&box, 10, 40, 120, 20);
  }
  bool OnShown() override {
    ++record_->shown;
    SetFocusTo(&child);
    return true;
  }
  bool OnEnterKey() override {
    ++record_->enter;
    return false;
  }
  bool OnEscapeKey() override {
    ++record_->escape;
    if (!consumeEscape_) return false;
    EndModal(5);
    return true;
  }
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (sender == &box && action != nullptr && action->kind == 0) {
      record_->childActions.push_back(action->kind);
      return true;
    }
    return cCustomForm::OnAction(sender, action);
  }

private:
  FormRecord* record_;
  bool consumeEscape_;
};

TEST(CustomForm, PanelFollowsTheFrameAndOnShownRunsOnce) {
  FormRecord r;
  cTestHost host;
  auto* form = new ProbeForm(&r, false);
  host.Host(form, 400, 300);
  EXPECT_EQ(r.shown, 0) << "OnShown waits for the form's own action";
  sRect panel;
  form->GetClientPanel()->GetRect(&panel);
  EXPECT_EQ(panel, (sRect{5, 30, 390, 230}));
  form->Resize(500, 420, false);  // resized before the action arrives
  host.Pump();
  EXPECT_EQ(r.shown, 1);
  form->GetClientPanel()->GetRect(&panel);
  EXPECT_EQ(panel, (sRect{5, 30, 490, 350}));
  form->Resize(300, 200, false);
  host.Pump();
  EXPECT_EQ(r.shown, 1);
  EXPECT_EQ(form->GetFocusedLeaf(), &form->child);
}

TEST(CustomForm, EnterAndEscapeBeforeTheFocusedChild) {
  struct Case {
    int32_t key;
    bool shift, control, alt;
    bool consumeEscape;
    int enter, escape;
    bool childSees;
    bool ended;
  };
  const Case cases[] = {
      {13, false, false, false, false, 1, 0, true, false},  // Enter: hook false, child gets it
      {13, true, false, false, false, 0, 0, true, false},   // Shift+Enter: not the hook
      {27, false, false, false, false, 0, 1, true, false},  // Escape with the default answer
      {27, false, false, false, true, 0, 1, false, true},   // Escape that ends the form
      {27, false, true, false, true, 0, 0, true, false},    // Ctrl+Escape: a plain key
      {65, false, false, false, true, 0, 0, true, false},
  };
  for (const Case& c : cases) {
    FormRecord r;
    cTestHost host;
    auto* form = new ProbeForm(&r, c.consumeEscape);
    host.Host(form, 400, 300);
    host.Pump();
    form->Key(c.key, c.shift, c.control, c.alt);
    EXPECT_EQ(r.enter, c.enter) << c.key;
    EXPECT_EQ(r.escape, c.escape) << c.key;
    EXPECT_EQ(!form->child.keys.empty(), c.childSees) << c.key;
    EXPECT_EQ(host.ended, c.ended) << c.key;
    if (c.ended) {
      EXPECT_EQ(host.endCode, 5);
    }
  }
}

// ---- Frame pixels -------------------------------------------------------------

uint32_t PixelOf(uint32_t colour) {
  return 0xFF000000u | (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
}

// Pixel (x, y) counted from the top of a picture stored bottom row first.
uint32_t At(const cPicture& p, int32_t x, int32_t y) {
  return p.GetPixels()[(p.GetHeight() - 1 - y) * p.GetWidth() + x];
}

class ThemeScope {
public:
  explicit ThemeScope(const sThemeTables& t) { SetTheme(&t); }
  ~ThemeScope() { SetTheme(&DefaultThemeTables()); }
};

TEST(CustomForm, FrameWithoutPicturesIsFilledWithTheBandColours) {
  int32_t metrics[cCITheme::kMetricCount * cCITheme::kMetricValues] = {};
  metrics[0 * cCITheme::kMetricValues] = 20;  // caption
  metrics[1 * cCITheme::kMetricValues] = 4;   // sides
  metrics[2 * cCITheme::kMetricValues] = 10;  // bottom
  uint32_t colours[cCITheme::kColourCount] = {};
  colours[1] = 0x0000FF;  // caption band
  colours[2] = 0x00FF00;  // bottom band
  colours[3] = 0xFF0000;  // sides
  ThemeScope scope(sThemeTables{metrics, colours, nullptr});
  cPicture surface;
  ASSERT_TRUE(surface.Fill(0x12345678, 100, 80));
  cMemCanvas canvas(&surface);
  DrawFormFrame(&canvas, GetTheme(), 0, 0, 100, 80, 20, 4, 10);
  struct Probe {
    int32_t x, y;
    uint32_t expected;
  };
  const Probe probes[] = {
      {0, 0, PixelOf(0x0000FF)},   {99, 19, PixelOf(0x0000FF)}, {50, 10, PixelOf(0x0000FF)},
      {0, 20, PixelOf(0xFF0000)},  {3, 69, PixelOf(0xFF0000)},  {96, 40, PixelOf(0xFF0000)},
      {99, 69, PixelOf(0xFF0000)}, {0, 70, PixelOf(0x00FF00)},  {99, 79, PixelOf(0x00FF00)},
      {4, 20, 0x12345678},         {95, 69, 0x12345678},        {50, 40, 0x12345678},
  };
  for (const Probe& p : probes) EXPECT_EQ(At(surface, p.x, p.y), p.expected) << p.x << "," << p.y;
}

TEST(CustomForm, FramePicturesAndNarrowEdges) {
  int32_t metrics[cCITheme::kMetricCount * cCITheme::kMetricValues] = {};
  metrics[0 * cCITheme::kMetricValues] = 12;
  metrics[1 * cCITheme::kMetricValues] = 6;
  metrics[2 * cCITheme::kMetricValues] = 8;
  uint32_t colours[cCITheme::kColourCount] = {};
  colours[1] = 0x000011;
  colours[2] = 0x000022;
  colours[3] = 0x000033;
  // Corners 6 x 12 (top) and 6 x 8 (bottom), a top edge 1 x 5 (lower than
  // the caption), side edges 2 x 1 (narrower than the border), bottom edge
  // 1 x 8. Each picture one solid pixel colour.
  std::vector<uint32_t> tl(6 * 12, 0xFF0000AA), top(5, 0xFF0000BB), tr(6 * 12, 0xFF0000CC),
      left(2, 0xFF0000DD), right(2, 0xFF0000EE), bl(6 * 8, 0xFF00AA00), bottom(8, 0xFF00BB00),
      br(6 * 8, 0xFF00CC00);
  sThemePictureEntry pictures[cCITheme::kPictureCount] = {};
  pictures[0] = {6, 12, 0, tl.data()};
  pictures[1] = {1, 5, 0, top.data()};
  pictures[2] = {6, 12, 0, tr.data()};
  pictures[3] = {2, 1, 0, left.data()};
  pictures[4] = {2, 1, 0, right.data()};
  pictures[5] = {6, 8, 0, bl.data()};
  pictures[6] = {1, 8, 0, bottom.data()};
  pictures[7] = {6, 8, 0, br.data()};
  ThemeScope scope(sThemeTables{metrics, colours, pictures});
  cPicture surface;
  ASSERT_TRUE(surface.Fill(0x01010101, 60, 50));
  cMemCanvas canvas(&surface);
  DrawFormFrame(&canvas, GetTheme(), 0, 0, 60, 50, 12, 6, 8);
  struct Probe {
    int32_t x, y;
    uint32_t expected;
    const char* what;
  };
  const Probe probes[] = {
      {0, 0, 0xFF0000AA, "top-left corner"},
      {5, 11, 0xFF0000AA, "top-left corner, last pixel"},
      {6, 0, 0xFF0000BB, "top edge"},
      {53, 4, 0xFF0000BB, "top edge, stretched to the right corner"},
      {30, 5, PixelOf(0x000011), "caption fill below the lower top edge"},
      {30, 11, PixelOf(0x000011), "caption fill, last row"},
      {54, 0, 0xFF0000CC, "top-right corner"},
      {0, 12, 0xFF0000DD, "left edge"},
      {1, 41, 0xFF0000DD, "left edge, stretched down"},
      {2, 20, PixelOf(0x000033), "left border fill right of the narrow edge"},
      {5, 20, PixelOf(0x000033), "left border fill"},
      {59, 20, 0xFF0000EE, "right edge"},
      {54, 20, PixelOf(0x000033), "right border fill"},
      {0, 42, 0xFF00AA00, "bottom-left corner"},
      {6, 42, 0xFF00BB00, "bottom edge"},
      {54, 49, 0xFF00CC00, "bottom-right corner"},
      {6, 12, 0x01010101, "inside the frame is left alone"},
      {53, 41, 0x01010101, "inside, other corner"},
  };
  for (const Probe& p : probes) EXPECT_EQ(At(surface, p.x, p.y), p.expected) << p.what;
}

// ---- Panel ------------------------------------------------------------------------

TEST(Panel, BorderAndBackground) {
  for (int32_t border : {-1, 0x000000}) {
    cPanelChild panel;
    panel.InitDefaults();
    panel.SetBackColour(0x00FF00);
    panel.SetBorderColour(border);
    panel.SetPos(0, 0, 20, 10);
    panel.Resize(20, 10, true);
    cPicture surface;
    ASSERT_TRUE(surface.Fill(0, 20, 10));
    cMemCanvas canvas(&surface);
    panel.Paint(&canvas);
    const uint32_t frame = border == -1 ? PixelOf(0x00FF00) : PixelOf(0x000000);
    EXPECT_EQ(At(surface, 0, 0), frame) << border;
    EXPECT_EQ(At(surface, 19, 9), frame) << border;
    EXPECT_EQ(At(surface, 10, 5), PixelOf(0x00FF00)) << border;
  }
}

TEST(Panel, TextOrigin) {
  struct Case {
    int32_t halign, valign;
    sPoint at;
  };
  // A 30 x 10 text in a 100 x 50 panel with margins 4 (horizontal) and 2.
  const Case cases[] = {
      {0, 0, {4, 2}}, {1, 1, {66, 38}}, {2, 2, {39, 22}}, {5, 7, {0, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PanelTextOrigin(100, 50, 30, 10, c.halign, c.valign, 4, 2), c.at) << c.halign;
  // Wider than the panel and centred: starts left of 0.
  EXPECT_LT(PanelTextOrigin(100, 50, 140, 10, 2, 2, 0, 0).x, 0);
}

// ---- Check box ------------------------------------------------------------------

TEST(CheckBox, ToggleOnReleaseAndSpaceWithOneActionEach) {
  FormRecord r;
  cTestHost host;
  auto* form = new ProbeForm(&r, false);
  host.Host(form, 400, 300);
  host.Pump();
  cCheckBoxChild& box = form->box;
  EXPECT_EQ(box.GetIcon(), GetTheme()->GetPicture(30));
  box.MouseButton(3, 3, 1, true, false, false);  // a press does nothing
  host.Pump();
  EXPECT_FALSE(box.IsChecked());
  EXPECT_TRUE(r.childActions.empty());
  box.MouseButton(3, 3, 1, false, false, false);
  host.Pump();
  EXPECT_TRUE(box.IsChecked());
  EXPECT_EQ(r.childActions, std::vector<int32_t>{0});
  box.SetChecked(false, true);
  box.SetChecked(false, true);  // unchanged: nothing
  host.Pump();
  EXPECT_EQ(r.childActions, (std::vector<int32_t>{0, 0}));
  form->SetFocusTo(&box);
  form->Key(32, false, false, false);
  host.Pump();
  EXPECT_TRUE(box.IsChecked());
  EXPECT_EQ(box.GetIcon(), GetTheme()->GetPicture(33)) << "checked and focused";
  box.SetChecked(true, false);
  box.Disable(true);
  EXPECT_EQ(box.GetIcon(), GetTheme()->GetPicture(35)) << "checked and disabled";
  host.Pump();
  EXPECT_EQ(r.childActions.size(), 3u);
}

// ---- Hint geometry ----------------------------------------------------------------

TEST(Hint, Layout) {
  const sPoint owner{100, 200};
  // Two lines of 13 at placement 1, above the owner: 2 * 13 + 4 high, its
  // bottom edge 2 pixels above the owner.
  sRect r = HintLayout(50, 13, 2, nullptr, owner, 20, 1);
  EXPECT_EQ(r, (sRect{102, 200 - 26 - 6, 58, 30}));
  EXPECT_EQ(r.y + r.height, owner.y - 2);
  r = HintLayout(50, 13, 1, nullptr, owner, 20, 0);
  EXPECT_EQ(r, (sRect{102, 222, 58, 17}));
  const sPoint at{7, 9};
  EXPECT_EQ(HintLayout(10, 10, 1, &at, owner, 20, 0), (sRect{7, 9, 18, 14}));
  EXPECT_EQ(HintLayout(10, 10, 1, &at, owner, 20, 1), (sRect{7, 9 - 16, 18, 14}));
}

TEST(Hint, ShowFailsWithoutAWindowOrText) {
  cTestHost host;
  auto* owner = new KeyProbe();
  host.Host(owner, 100, 40);
  cHintMaster hint;
  EXPECT_FALSE(hint.Show(owner, nullptr, nullptr, cHintMaster::kDefaultColour, cHintMaster::kDefaultColour, 0));
  EXPECT_FALSE(hint.Show(owner, u"", nullptr, cHintMaster::kDefaultColour, cHintMaster::kDefaultColour, 0))
      << "an empty text measures 0 wide";
  // The test host opens no window: the request is made, the result is false.
  EXPECT_FALSE(hint.Show(owner, u"a\nbc", nullptr, 0xFF000000u, 0x123456, 1));
  EXPECT_EQ(host.hintRequests, 1);
  EXPECT_EQ(hint.GetFillColour(), GetTheme()->GetColour(11));
  EXPECT_EQ(hint.GetTextColour(), 0x123456u);
}

}  // namespace
