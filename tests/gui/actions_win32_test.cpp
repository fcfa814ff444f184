// Sent actions whose handler hits a processor fault (Windows only: natively
// a fault ends the process). The senders of the faulty action and of those
// behind it in the same batch must be woken with the cancelled answer.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "gui/element.h"
#include "tests/base/faults.h"
#include "tests/support/test_host.h"

namespace {

using twtest::cTestHost;
using namespace std::chrono_literals;

class Question : public cChildElement::cSentChildAction {
public:
  explicit Question(int32_t kind) : cSentChildAction(kind) {}
};

// Faults on kind 9 with the case's fault; answers every other kind.
class Faulty : public cChildElement {
public:
  void (*fault)() = nullptr;
  int answered = 0;
  bool OnAction(cChildElement*, cChildAction* action) override {
    if (action == nullptr) return false;
    if (action->kind == 9) fault();
    ++answered;
    return true;
  }
};

TEST(ActionsFault, SendersOfAFaultyBatchAreCancelled) {
  for (const twtest::sFaultCase& f : twtest::kCommonFaults) {
    SCOPED_TRACE(f.name);
    cTestHost host;
    auto* top = new Faulty();
    top->fault = f.fault;
    host.Host(top, 100, 100);
    // The senders' threads are detached and their results kept on the
    // heap, so that a sender that never returns fails the test instead of
    // hanging it.
    auto send = [top](int32_t kind) {
      auto result = std::make_shared<std::promise<bool>>();
      std::future<bool> answer = result->get_future();
      std::thread([result, top, kind] { result->set_value(top->SendAction(new Question(kind))); }).detach();
      return answer;
    };
    std::future<bool> faulty = send(9);
    for (int i = 0; i < 2500 && host.PendingWakeUps() < 1; ++i) std::this_thread::sleep_for(2ms);
    std::future<bool> behind = send(10);
    for (int i = 0; i < 2500 && host.PendingWakeUps() < 2; ++i) std::this_thread::sleep_for(2ms);
    ASSERT_EQ(host.PendingWakeUps(), 2) << "both actions queued for one batch";

    host.Pump();
    ASSERT_EQ(faulty.wait_for(10s), std::future_status::ready) << "the faulty action's sender waits for ever";
    ASSERT_EQ(behind.wait_for(10s), std::future_status::ready) << "the sender behind it waits for ever";
    EXPECT_FALSE(faulty.get());
    EXPECT_FALSE(behind.get()) << "cancelled, not handled";
    EXPECT_EQ(top->answered, 0);

    // The element goes on answering after the fault.
    std::future<bool> later = send(11);
    for (int i = 0; i < 2500 && host.PendingWakeUps() < 1; ++i) std::this_thread::sleep_for(2ms);
    host.Pump();
    ASSERT_EQ(later.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(later.get());
    EXPECT_EQ(top->answered, 1);
  }
}

}  // namespace
