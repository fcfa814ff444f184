// The navigation bar: segments of a path, the history and its edit list,
// the busy state with and without a provider, the hint a segment click
// passes on, typed paths, and the values of the time-driven busy bar.
#include "gui/controls/nav_bar.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "base/sync.h"
#include "tests/controls/control_fixture.h"
#include "tests/support/test_support.h"

namespace {

using twtest::Narrow;
using twtest::sControlFixture;

std::u16string Str(const char16_t* s) { return s != nullptr ? s : u""; }

// A provider whose work waits for the test's go-ahead and records what it
// was asked.
class GatedProvider : public cNavigationProvider {
public:
  GatedProvider() { gate.Create(nullptr, false, true); }
  ~GatedProvider() override {
    gate.Set();
    Stop(kStopTimeoutMs);
  }
  bool CanNavigate(const char16_t* path) override { return Str(path) != u"refused"; }
  int32_t Navigate(const char16_t* path, const char16_t* hint) override {
    lastPath = Str(path);
    lastHint = hint != nullptr ? Str(hint) : u"<null>";
    gate.Wait();
    return 0;
  }
  cEvent gate;
  std::u16string lastPath, lastHint;
};

struct BarFixture : sControlFixture {
  cNavigationChild bar;
  BarFixture() {
    EXPECT_TRUE(twtest::UseEnglish());
    Add(&bar, 0, 0, 400, 22);
  }
  ~BarFixture() { Detach(); }
  // The labels and paths of the segments as "label=path" lines.
  std::vector<std::string> Segments() {
    std::vector<std::string> out;
    for (auto* n = bar.Segments().First(); n != nullptr; n = cSortedTree<int32_t, sNaviPathItem>::Next(n))
      out.push_back(std::to_string(n->key) + ":" + Narrow(Str(n->value.label.text)) + "=" +
                    Narrow(Str(n->value.path.text)));
    return out;
  }
  std::vector<std::u16string> History() {
    std::vector<std::u16string> out;
    for (int32_t i = 0; i < bar.HistoryCount(); ++i) out.push_back(Str(bar.HistoryAt(i)));
    return out;
  }
  // Pumps until check holds, for at most about a minute.
  bool PumpUntil(const std::function<bool()>& check) {
    for (int i = 0; i < 3000; ++i) {
      if (check()) return true;
      host.WaitAndPump(20);
    }
    return check();
  }
  // The paths of the cNaviSetPathAction actions that reached the owner.
  std::vector<std::u16string> ChosenPaths() {
    std::vector<std::u16string> out;
    for (const auto& s : top->seen)
      if (s.sender == &bar && s.kind == 7) out.push_back(chosen[static_cast<size_t>(s.value)]);
    return out;
  }
  std::vector<std::u16string> chosen;
};

TEST(NavigationBar, SegmentsOfPaths) {
  struct sCase {
    const char16_t* path;
    std::vector<std::string> segments;
  } const cases[] = {
      {u"/home/user", {"1:/=/", "2:home=/home", "3:user=/home/user"}},
      {u"C:/Temp", {"1:C:=C:", "2:Temp=C:/Temp"}},
      {u"name", {"1:name=name"}},
      {u"//server//share/", {"1:/=/", "2:server=//server", "3:share=//server//share"}},
      {u"/", {"1:/=/"}},
      {u"", {}},
      {nullptr, {}},
  };
  BarFixture f;
  for (const sCase& c : cases) {
    f.bar.ShowPath(c.path);
    EXPECT_EQ(f.Segments(), c.segments) << Narrow(Str(c.path));
    // Button 0 opens the history; one button per segment follows it.
    EXPECT_EQ(f.bar.PathBar().GetButton(0) != nullptr, c.path != nullptr) << Narrow(Str(c.path));
    for (size_t i = 1; i <= c.segments.size(); ++i)
      EXPECT_NE(f.bar.PathBar().GetButton(static_cast<int32_t>(i)), nullptr) << Narrow(Str(c.path));
    EXPECT_EQ(f.bar.PathBar().GetButton(static_cast<int32_t>(c.segments.size()) + 1), nullptr);
  }
}

TEST(NavigationBar, HistoryKeepsEachPathOnceMostRecentFirst) {
  struct sCase {
    std::vector<const char16_t*> visits;
    std::vector<std::u16string> history;
  } const cases[] = {
      {{u"A", u"B", u"A"}, {u"A", u"B"}},
      {{u"A", u"B", u"C"}, {u"C", u"B", u"A"}},
      {{u"A", u"A", u"A"}, {u"A"}},
      {{u"C:/x", u"c:/X", u"C:/x"}, {u"C:/x", u"c:/X"}},  // keys are exact
      {{u"A", nullptr}, {u"A"}},                          // a null path is not remembered
  };
  for (const sCase& c : cases) {
    BarFixture f;
    for (const char16_t* v : c.visits) f.bar.ShowPath(v);
    EXPECT_EQ(f.History(), c.history);
  }
  // The edit list shows the history from the most recent path on, with
  // the first selected.
  BarFixture f;
  for (const char16_t* v : {u"A", u"B", u"A"}) f.bar.ShowPath(v);
  f.bar.EnterEditMode();
  EXPECT_EQ(f.bar.GetState(), cNavigationChild::kEditing);
  EXPECT_TRUE(f.bar.Combo().IsVisible());
  EXPECT_FALSE(f.bar.Progress().IsVisible());
  ASSERT_NE(f.bar.Combo().Items().Find(0), nullptr);
  EXPECT_EQ(Str(f.bar.Combo().Items().Find(0)->text.text), u"A");
  EXPECT_EQ(Str(f.bar.Combo().Items().Find(1)->text.text), u"B");
  EXPECT_EQ(f.bar.Combo().Items().Find(2), nullptr);
  EXPECT_EQ(f.bar.Combo().GetSelectedId(), 0);
  // Escape in the box (the combo's kind 8) leaves editing.
  f.bar.Combo().PostKind(8);
  f.Pump();
  EXPECT_EQ(f.bar.GetState(), cNavigationChild::kIdle);
  EXPECT_TRUE(f.bar.Progress().IsVisible());
  EXPECT_FALSE(f.bar.Combo().IsVisible());
}

TEST(NavigationBar, WithoutProviderTheOwnerNavigatesAndEndsTheBusyState) {
  BarFixture f;
  f.top->valueOf = [&f](cChildElement::cChildAction* a) -> int64_t {
    auto* set = dynamic_cast<cNavigationChild::cNaviSetPathAction*>(a);
    if (set == nullptr) return -1;
    f.chosen.push_back(set->path.text != nullptr ? set->path.text : u"<null>");
    return static_cast<int64_t>(f.chosen.size() - 1);
  };
  ASSERT_TRUE(f.bar.SetPath(u"/srv/data"));
  EXPECT_EQ(f.bar.GetState(), cNavigationChild::kBusy);
  EXPECT_TRUE(f.bar.StopBar().IsVisible());
  EXPECT_FALSE(f.bar.PathBar().IsEnabled());
  // The path toolbar leaves room for Stop at the right.
  EXPECT_LE(f.bar.PathBar().GetWidth() + f.bar.StopBar().GetWidth(), f.bar.Progress().GetWidth());
  f.Pump();
  EXPECT_EQ(f.ChosenPaths(), (std::vector<std::u16string>{u"/srv/data"}));
  // Stop without a provider asks the owner (kind 11) and stays busy.
  f.bar.StopBar().PostAction(new cToolBarChild::cTbButtonAction(1));
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.bar, cNavigationChild::kKindStopWithoutProvider), 1);
  EXPECT_EQ(f.bar.GetState(), cNavigationChild::kBusy);
  // The owner's kind 10 on the direct queue ends it.
  f.bar.PostDirectAction(new cChildElement::cChildAction(cNavigationChild::kKindShown));
  f.Pump();
  EXPECT_EQ(f.bar.GetState(), cNavigationChild::kIdle);
  EXPECT_FALSE(f.bar.StopBar().IsVisible());
  EXPECT_TRUE(f.bar.PathBar().IsEnabled());
  EXPECT_EQ(f.bar.PathBar().GetWidth(), f.bar.Progress().GetWidth());
}

TEST(NavigationBar, SegmentClickPassesTheFolderBeingLeftAsHint) {
  struct sCase {
    int32_t segment;
    std::u16string path, hint;
  } const cases[] = {
      {1, u"/", u"home"},
      {2, u"/home", u"user"},
      {3, u"/home/user", u"<null>"},  // the last segment: the same folder again
  };
  for (const sCase& c : cases) {
    BarFixture f;
    GatedProvider provider;
    f.bar.SetProvider(&provider);
    f.bar.ShowPath(u"/home/user");
    f.bar.PathBar().PostAction(new cToolBarChild::cTbButtonAction(c.segment));
    f.Pump();
    EXPECT_EQ(f.bar.GetState(), cNavigationChild::kBusy);
    EXPECT_EQ(Str(f.bar.GetPath()), c.path);
    provider.gate.Set();
    // The end reaches the owner as a null path; the bar stays busy until
    // the owner answers.
    ASSERT_TRUE(f.PumpUntil([&] { return f.top->Count(&f.bar, 7) == 1; })) << c.segment;
    EXPECT_EQ(provider.lastPath, c.path);
    EXPECT_EQ(provider.lastHint, c.hint);
    EXPECT_EQ(f.bar.GetState(), cNavigationChild::kBusy);
    f.bar.PostDirectAction(new cChildElement::cChildAction(cNavigationChild::kKindShown));
    f.Pump();
    EXPECT_EQ(f.bar.GetState(), cNavigationChild::kIdle);
  }
}

TEST(NavigationBar, RefusedOrRunningNavigationChangesNothing) {
  BarFixture f;
  GatedProvider provider;
  f.bar.SetProvider(&provider);
  f.bar.ShowPath(u"/a");
  EXPECT_FALSE(f.bar.SetPath(u"refused"));
  EXPECT_EQ(Str(f.bar.GetPath()), u"/a");
  EXPECT_EQ(f.bar.GetState(), cNavigationChild::kIdle);
  ASSERT_TRUE(f.bar.SetPath(u"/b"));
  // While the first runs, neither a second start nor a segment click nor
  // editing gets through.
  EXPECT_FALSE(provider.Begin(&f.bar, u"/c", nullptr));
  f.bar.PathBar().PostAction(new cToolBarChild::cTbButtonAction(1));
  f.bar.PathBar().PostAction(new cToolBarChild::cTbButtonAction(0));
  f.Pump();
  EXPECT_EQ(Str(f.bar.GetPath()), u"/b");
  EXPECT_EQ(f.bar.GetState(), cNavigationChild::kBusy);
  // Stop with a provider asks its job to stop.
  f.bar.StopBar().PostAction(new cToolBarChild::cTbButtonAction(1));
  f.Pump();
  EXPECT_TRUE(provider.IsStopRequested());
  provider.gate.Set();
  EXPECT_TRUE(f.PumpUntil([&] { return f.top->Count(&f.bar, 7) == 1; }));
  EXPECT_FALSE(provider.Begin(&f.bar, nullptr, nullptr)) << "a null path never starts";
}

TEST(NavigationBar, TypedPathIsCleanedBeforeNavigating) {
  struct sCase {
    const char16_t* typed;
    std::u16string path;
  } const cases[] = {
      {u"\"C:\\Temp\\logs\"", u"C:/Temp/logs"},
      {u"/var/tmp  ", u"/var/tmp"},
      {u"\\\\server\\share\"", u"//server/share"},
  };
  for (const sCase& c : cases) {
    BarFixture f;
    GatedProvider provider;
    f.bar.SetProvider(&provider);
    f.bar.EnterEditMode();
    f.bar.Combo().SetComboText(c.typed, -1);
    f.bar.Combo().PostKind(7);
    f.Pump();
    EXPECT_EQ(Str(f.bar.GetPath()), c.path) << Narrow(c.typed);
    EXPECT_EQ(f.bar.GetState(), cNavigationChild::kBusy);
    provider.gate.Set();
    EXPECT_TRUE(f.PumpUntil([&] { return provider.lastPath == c.path; })) << Narrow(c.typed);
  }
}

TEST(NavigationBar, BusyBarValuesComeFromElapsedTime) {
  // One value every 200 ms from phase 0.25 on: the first (0.0) after 1.2 s.
  EXPECT_EQ(cFakeNavigationProgressJob::ValueOfPhase(0.25), 0.0);
  EXPECT_NEAR(cFakeNavigationProgressJob::ValueOfPhase(1.25), 0.5, 1e-12);  // 25 cycles: about 5.2 s
  double previous = -1.0;
  for (int i = 0; i < 400; ++i) {
    const double v = cFakeNavigationProgressJob::ValueOfPhase(0.25 + 0.05 * i);
    EXPECT_GT(v, previous);
    EXPECT_LT(v, 1.0);
    previous = v;
  }
  // Ending the busy state posts the final 1.0 and idles the phase.
  BarFixture f;
  ASSERT_TRUE(f.bar.SetPath(u"x"));
  EXPECT_GE(f.bar.FakeJob().GetPhase(), 0.0);
  f.bar.EndBusy();
  EXPECT_EQ(f.bar.FakeJob().GetPhase(), -1.0);
}

TEST(NavigationBar, BusyBarReportsThroughTheDirectQueue) {
  BarFixture f;
  ASSERT_TRUE(f.bar.SetPath(u"x"));
  // The first value arrives after about 1.2 s and starts the animation.
  EXPECT_TRUE(f.PumpUntil([&] { return f.bar.Progress().GetJob()->IsActive(); }));
  f.bar.EndBusy();
  f.Pump();
  EXPECT_EQ(f.bar.FakeJob().GetPhase(), -1.0);
}

}  // namespace
