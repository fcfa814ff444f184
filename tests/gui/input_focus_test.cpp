// Input routing and focus through the test host: capture, keyboard context
// requests, disabled elements, arrow navigation and hover.
#include "gui/element.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_host.h"

namespace {

using twtest::cTestHost;

class Probe : public cChildElement {
public:
  explicit Probe(std::string n, std::vector<std::string>* log) : name(std::move(n)), log_(log) {}
  std::string name;
  bool tabStop = true;
  bool WantsTabStop() override { return tabStop; }
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override {
    log_->push_back(name + " button " + std::to_string(button) + (down ? " down " : " up ") +
                    std::to_string(x) + "," + std::to_string(y));
  }
  void OnMouseMove(int32_t x, int32_t y) override {
    log_->push_back(name + " move " + std::to_string(x) + "," + std::to_string(y));
  }
  void OnEnter() override { log_->push_back(name + " enter"); }
  void OnLeave() override { log_->push_back(name + " leave"); }
  void OnKey(int32_t key, bool, bool, bool) override { log_->push_back(name + " key " + std::to_string(key)); }
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (action == nullptr) return false;
    if (auto* ctx = dynamic_cast<cCtxRequestAction*>(action)) {
      log_->push_back(name + " context " + std::to_string(ctx->x) + "," + std::to_string(ctx->y));
      return true;
    }
    (void)sender;
    return cChildElement::OnAction(sender, action);
  }

private:
  std::vector<std::string>* log_;
};

struct Fixture {
  std::vector<std::string> log;
  cTestHost host;
  Probe* top = new Probe("top", &log);
  Probe a{"a", &log}, b{"b", &log}, c{"c", &log};
  Fixture() {
    host.Host(top, 200, 100);
    top->AddChild(&a, 0, 0, 50, 50, 0);
    top->AddChild(&b, 60, 0, 50, 50, 0);
    top->AddChild(&c, 120, 0, 50, 50, 0);
  }
  ~Fixture() {
    for (Probe* p : {&a, &b, &c}) top->RemoveChild(p);
  }
};

TEST(Input, CaptureRoutesEverythingToTheCapturingElement) {
  Fixture f;
  f.a.CaptureMouse(false);
  EXPECT_TRUE(f.host.captured);
  EXPECT_EQ(f.top->GetCaptureChild(), &f.a);
  f.top->MouseMove(130, 10);                         // over c, but captured by a
  f.top->MouseButton(130, 10, 1, false, false, false);
  EXPECT_EQ(f.log, (std::vector<std::string>{"a enter", "a move 130,10", "a button 1 up 130,10"}));
  // Removing the capturing element releases the window's capture.
  f.top->RemoveChild(&f.a);
  EXPECT_FALSE(f.host.captured);
  EXPECT_EQ(f.top->GetCaptureChild(), nullptr);
  f.log.clear();
  f.top->MouseMove(130, 10);
  EXPECT_EQ(f.log, (std::vector<std::string>{"c enter", "c move 10,10"}));
}

TEST(Input, KeyboardContextRequests) {
  struct Case {
    int32_t key;
    bool shift, control, alt;
    bool posts;
  };
  const Case cases[] = {
      {93, false, false, false, true},   // the menu key
      {121, true, false, false, true},   // Shift+F10
      {121, true, true, false, false},   // Ctrl+Shift+F10
      {121, false, false, false, false}, // F10
      {121, true, false, true, false},   // Alt+Shift+F10
  };
  for (const Case& k : cases) {
    Fixture f;
    f.top->SetFocusTo(&f.b);
    f.host.Pump();
    f.log.clear();
    f.top->Key(k.key, k.shift, k.control, k.alt);
    f.host.Pump();
    bool posted = false;
    for (const auto& line : f.log) posted = posted || line == "b context 0,0";
    EXPECT_EQ(posted, k.posts) << k.key << (k.shift ? " shift" : "") << (k.control ? " ctrl" : "");
  }
}

TEST(Input, DisabledElements) {
  Fixture f;
  f.top->SetFocusTo(&f.a);
  f.b.Disable(false);
  // A press on a disabled element does not give it the focus: the other
  // children lose theirs and the element under the press keeps none.
  f.top->FocusAt(70, 10, 1, false, false);
  EXPECT_FALSE(f.b.HasFocus());
  EXPECT_FALSE(f.a.HasFocus());
  EXPECT_EQ(f.top->GetFocusedLeaf(), f.top);
  // Moves are routed into a disabled container (its child is under the
  // mouse, so nobody else sees them), but a disabled child is not enabled
  // in the tree and runs no handler; a click stops at the parent.
  Probe inner("inner", &f.log);
  f.b.AddChild(&inner, 5, 5, 20, 20, 0);
  f.log.clear();
  f.top->MouseMove(70, 10);
  f.top->MouseButton(70, 10, 1, true, false, false);
  EXPECT_EQ(f.log, (std::vector<std::string>{"top button 1 down 70,10"}));
  f.b.RemoveChild(&inner);
}

TEST(Input, ArrowNavigationStopsOrWraps) {
  for (bool wrap : {false, true}) {
    std::vector<std::string> log;
    cTestHost host;
    struct Group : Probe {
      Group(std::vector<std::string>* l, bool w) : Probe("group", l), wraps(w) {}
      bool wraps;
      bool WrapsArrowNavigation() override { return wraps; }
    };
    auto* top = new Probe("top", &log);
    host.Host(top, 300, 100);
    Group group(&log, wrap);
    top->AddChild(&group, 0, 0, 300, 100, 0);
    Probe a("a", &log), b("b", &log), c("c", &log);
    group.AddChild(&a, 0, 0, 10, 10, 0);
    group.AddChild(&b, 20, 0, 10, 10, 0);
    group.AddChild(&c, 40, 0, 10, 10, 0);
    top->SetFocusTo(&b);
    EXPECT_TRUE(top->Key(39, false, false, false));  // right: c
    EXPECT_EQ(top->GetFocusedLeaf(), &c);
    EXPECT_TRUE(top->Key(40, false, false, false));  // down at the end: handled
    EXPECT_EQ(top->GetFocusedLeaf(), wrap ? &a : &c) << (wrap ? "wraps" : "stays");
    EXPECT_TRUE(top->Key(37, false, false, false));  // left
    EXPECT_EQ(top->GetFocusedLeaf(), wrap ? &c : &b);
    for (Probe* p : {&a, &b, &c}) group.RemoveChild(p);
    top->RemoveChild(&group);
  }
}

TEST(Input, HoverFollowsTheMouseAndLeavesWithTheWindow) {
  Fixture f;
  f.top->MouseMove(10, 10);
  f.top->MouseMove(12, 10);
  f.top->MouseMove(70, 10);
  f.top->SetHover(nullptr);  // the mouse left the window
  const std::vector<std::string> expected = {"a enter", "a move 10,10", "a move 12,10", "a leave",
                                             "b enter", "b move 10,10", "b leave"};
  EXPECT_EQ(f.log, expected);
}

}  // namespace
