// Actions across real threads through the test host: posted, direct and
// sent actions, bubbling, and sent actions whose element goes away.
#include "gui/element.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/support/test_host.h"

namespace {

using twtest::cTestHost;
using namespace std::chrono_literals;

using tAction = cChildElement::cChildAction;

// Records what reaches it: (sender, kind) pairs; handles the kinds in
// `handles`.
class Recorder : public cChildElement {
public:
  explicit Recorder(std::vector<int32_t> handles = {}) : handles_(std::move(handles)) {}
  struct Seen {
    cChildElement* sender;
    int32_t kind;
  };
  std::vector<Seen> seen;
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (action == nullptr) return false;
    seen.push_back({sender, action->kind});
    for (int32_t k : handles_)
      if (k == action->kind) return true;
    return cChildElement::OnAction(sender, action);
  }

private:
  std::vector<int32_t> handles_;
};

// An action that counts its Done and its destruction.
struct Counters {
  std::atomic<int> done{0};
  std::atomic<int> deleted{0};
};
class CountedAction : public tAction {
public:
  CountedAction(int32_t kind, Counters* c) : tAction(kind), c_(c) {}
  ~CountedAction() override { ++c_->deleted; }
  void Done() override { ++c_->done; }

private:
  Counters* c_;
};

// A question a worker asks; the UI thread writes the answer into the
// sender's record.
class Question : public cChildElement::cSentChildAction {
public:
  Question(int32_t* answer) : cSentChildAction(9), answer_(answer) {}
  int32_t* answer_;
};
class Answerer : public cChildElement {
public:
  bool OnAction(cChildElement*, cChildAction* action) override {
    if (auto* q = dynamic_cast<Question*>(action)) {
      *q->answer_ = 42;
      return true;
    }
    return false;
  }
};

struct Tree {
  cTestHost host;
  Recorder* top = new Recorder({7});
  Recorder middle;
  Recorder leaf{{8}};
  Tree() {
    host.Host(top, 200, 100);
    top->AddChild(&middle, 0, 0, 100, 50, 0);
    middle.AddChild(&leaf, 0, 0, 50, 20, 0);
  }
  ~Tree() {
    middle.RemoveChild(&leaf);
    top->RemoveChild(&middle);
  }
};

TEST(Actions, PostedActionsBubbleWithTheirSenderAndAreDeleted) {
  Tree t;
  Counters c;
  t.leaf.PostAction(new CountedAction(7, &c));  // handled by the top element
  t.leaf.PostAction(new CountedAction(8, &c));  // handled by the leaf itself
  t.leaf.PostAction(new CountedAction(30, &c)); // handled by nobody
  t.host.Pump();
  ASSERT_EQ(t.leaf.seen.size(), 3u);
  ASSERT_EQ(t.middle.seen.size(), 2u);
  ASSERT_EQ(t.top->seen.size(), 2u);
  EXPECT_EQ(t.top->seen[0].sender, &t.leaf);
  EXPECT_EQ(t.top->seen[0].kind, 7);
  EXPECT_EQ(t.top->seen[1].kind, 30);
  EXPECT_EQ(c.done.load(), 3);
  EXPECT_EQ(c.deleted.load(), 3);
}

TEST(Actions, DirectActionsReachOnlyTheirElement) {
  Tree t;
  Counters c;
  EXPECT_TRUE(t.leaf.PostDirectAction(new CountedAction(7, &c)));
  t.host.Pump();
  EXPECT_EQ(t.leaf.seen.size(), 1u);
  EXPECT_TRUE(t.middle.seen.empty());
  EXPECT_TRUE(t.top->seen.empty());
  EXPECT_EQ(c.deleted.load(), 1);
}

TEST(Actions, ManyPostsFromWorkersArriveInOrderPerThread) {
  Tree t;
  constexpr int kPerThread = 300;
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w)
    workers.emplace_back([&t, w] {
      for (int i = 0; i < kPerThread; ++i) t.leaf.PostKind(100 + w * 1000 + i);
    });
  size_t expected = 3 * kPerThread;
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (t.leaf.seen.size() < expected && std::chrono::steady_clock::now() < deadline) t.host.WaitAndPump(50);
  for (auto& w : workers) w.join();
  t.host.Pump();
  ASSERT_EQ(t.leaf.seen.size(), expected);
  int last[3] = {-1, -1, -1};
  for (const auto& s : t.leaf.seen) {
    const int w = (s.kind - 100) / 1000, i = (s.kind - 100) % 1000;
    EXPECT_GT(i, last[w]) << "thread " << w;
    last[w] = i;
  }
}

TEST(Actions, SentActionBlocksTheWorkerUntilHandled) {
  cTestHost host;
  auto* top = new Answerer();
  host.Host(top, 10, 10);
  int32_t answer = 0;
  std::atomic<bool> returned{false};
  auto worker = std::async(std::launch::async, [&] {
    const bool ok = top->SendAction(new Question(&answer));
    returned = true;
    return ok;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(returned.load()) << "the sender waits for the UI thread";
  while (worker.wait_for(0ms) != std::future_status::ready) host.WaitAndPump(20);
  EXPECT_TRUE(worker.get());
  EXPECT_EQ(answer, 42);
}

TEST(Actions, SendWithoutAWindowFailsAtOnce) {
  Answerer detached;
  int32_t answer = 0;
  EXPECT_FALSE(detached.SendAction(new Question(&answer)));
  EXPECT_FALSE(detached.SendAction(nullptr));
  EXPECT_EQ(answer, 0);
}

// A wake-up that cannot be posted while an earlier one for the same element
// has already taken the action to the UI thread: the sender may not return
// before the action is finished with, since Done still reaches its frame.
TEST(Actions, FailedWakeUpWaitsForAnActionAlreadyTakenByTheUiThread) {
  struct sGate {
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
  };
  class SlowAnswerer : public cChildElement {
  public:
    explicit SlowAnswerer(sGate* gate) : gate_(gate) {}
    bool OnAction(cChildElement*, cChildAction* action) override {
      auto* q = dynamic_cast<Question*>(action);
      if (q == nullptr) return false;
      gate_->entered = true;
      while (!gate_->release) std::this_thread::sleep_for(1ms);
      *q->answer_ = 42;
      return true;
    }

  private:
    sGate* gate_;
  };
  // Its wake-up post fails, but only after the UI thread has taken the queue
  // (as an earlier wake-up for the same element would).
  class RacingHost : public cTestHost {
  public:
    explicit RacingHost(sGate* gate) : gate_(gate) {}
    bool WakeSent(cChildElement* element) override {
      ui = std::thread([element] { element->RunSent(element); });
      while (!gate_->entered) std::this_thread::sleep_for(1ms);
      return false;
    }
    std::thread ui;

  private:
    sGate* gate_;
  };
  sGate gate;
  RacingHost host(&gate);
  auto* top = new SlowAnswerer(&gate);
  host.Host(top, 10, 10);
  int32_t answer = 0;
  std::atomic<bool> returned{false};
  auto worker = std::async(std::launch::async, [&] {
    const bool ok = top->SendAction(new Question(&answer));
    returned = true;
    return ok;
  });
  while (!gate.entered) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(returned.load()) << "the action is still being handled";
  gate.release = true;
  ASSERT_EQ(worker.wait_for(5s), std::future_status::ready);
  host.ui.join();
  EXPECT_TRUE(worker.get()) << "it was handled after all";
  EXPECT_EQ(answer, 42);
}

TEST(Actions, SentActionToAnElementDestroyedBeforeItRunsReturnsCancelled) {
  cTestHost host;
  auto* top = new Recorder();
  host.Host(top, 100, 100);
  auto* child = new Answerer();
  top->AddChild(child, 0, 0, 10, 10, 0);
  // The worker's state lives on the heap and the thread is detached, so that
  // a sender that never returns fails this test instead of hanging it.
  struct sShared {
    std::promise<bool> result;
    int32_t answer = 0;
  };
  auto shared = std::make_shared<sShared>();
  std::future<bool> returned = shared->result.get_future();
  std::thread([shared, child] { shared->result.set_value(child->SendAction(new Question(&shared->answer))); })
      .detach();
  // Wait until the wake-up is queued, then destroy the element without running it.
  for (int i = 0; i < 500 && host.PendingWakeUps() == 0; ++i) std::this_thread::sleep_for(2ms);
  ASSERT_GT(host.PendingWakeUps(), 0);
  top->RemoveChild(child);
  delete child;
  ASSERT_EQ(returned.wait_for(5s), std::future_status::ready) << "the sender must not wait for ever";
  EXPECT_FALSE(returned.get()) << "cancelled, not handled";
  EXPECT_EQ(shared->answer, 0);
  EXPECT_EQ(host.Pump(), 1) << "the late wake-up is ignored";
}

TEST(Actions, PostedActionToADeletedElementIsDroppedWithIt) {
  cTestHost host;
  auto* top = new Recorder();
  host.Host(top, 100, 100);
  auto* child = new Recorder();
  top->AddChild(child, 0, 0, 10, 10, 0);
  Counters c;
  child->PostAction(new CountedAction(30, &c));
  top->RemoveChild(child);
  delete child;
  EXPECT_EQ(c.deleted.load(), 1);
  EXPECT_EQ(c.done.load(), 0);
  host.Pump();
  EXPECT_TRUE(top->seen.empty());
}

}  // namespace

namespace {

// A handler that throws on kind 9: the actions queued behind it in the same
// batch must still arrive, in order, on the next wake-up.
class Thrower : public Recorder {
public:
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (action != nullptr && action->kind == 9) throw std::runtime_error("handler fault");
    return Recorder::OnAction(sender, action);
  }
};

TEST(Actions, ActionsBehindAThrowingHandlerAreNotLost) {
  cTestHost host;
  auto* top = new Thrower();
  host.Host(top, 100, 100);
  Counters c;
  top->PostAction(new CountedAction(10, &c));
  top->PostAction(new CountedAction(9, &c));
  top->PostAction(new CountedAction(11, &c));
  top->PostAction(new CountedAction(12, &c));
  EXPECT_THROW(host.Pump(), std::runtime_error);
  EXPECT_EQ(c.deleted.load(), 2) << "what ran (and the faulty one) is deleted";
  host.Pump();
  ASSERT_EQ(top->seen.size(), 3u);
  EXPECT_EQ(top->seen[0].kind, 10);
  EXPECT_EQ(top->seen[1].kind, 11);
  EXPECT_EQ(top->seen[2].kind, 12);
  EXPECT_EQ(c.deleted.load(), 4);
}

}  // namespace
