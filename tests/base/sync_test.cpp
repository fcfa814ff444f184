#include "base/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Enters and leaves the lock from another thread; true when that thread got
// in. A lock wrongly left held makes this hang, which the test's time-out reports.
bool OtherThreadCanEnter(cCriticalSection& lock) {
  std::atomic<bool> entered{false};
  std::thread other([&] {
    cSafeCriticalSectionAccess guard(&lock);
    entered = true;
  });
  other.join();
  return entered;
}

TEST(CriticalSection, NullGuardDoesNothing) {
  EXPECT_EQ(tw::HeldLockCount(), 0);
  {
    cSafeCriticalSectionAccess guard(nullptr);
    EXPECT_EQ(tw::HeldLockCount(), 0);
  }
  EXPECT_EQ(tw::HeldLockCount(), 0);
}

TEST(CriticalSection, NestedGuardsAreRecursiveAndCounted) {
  cCriticalSection a, b;
  {
    cSafeCriticalSectionAccess g1(&a);
    cSafeCriticalSectionAccess g2(&a);  // the same thread again: no deadlock
    cSafeCriticalSectionAccess g3(&b);
    EXPECT_EQ(tw::HeldLockCount(), 3);
    a.Enter();
    EXPECT_EQ(tw::HeldLockCount(), 4);
    a.Leave();
  }
  EXPECT_EQ(tw::HeldLockCount(), 0);
  EXPECT_TRUE(OtherThreadCanEnter(a));
}

TEST(CriticalSection, ExcludesOtherThreadsUntilLeftAsOftenAsEntered) {
  cCriticalSection lock;
  std::atomic<bool> entered{false};
  lock.Enter();
  lock.Enter();
  std::thread other([&] {
    cSafeCriticalSectionAccess guard(&lock);
    entered = true;
  });
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(entered);
  lock.Leave();
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(entered) << "one Leave of two must keep the lock held";
  lock.Leave();
  other.join();
  EXPECT_TRUE(entered);
}

TEST(CriticalSection, SerialisesCountersOfManyThreads) {
  cCriticalSection lock;
  long counter = 0;  // deliberately not atomic: the lock alone protects it
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        cSafeCriticalSectionAccess outer(&lock);
        cSafeCriticalSectionAccess inner(&lock);
        const long seen = counter;
        counter = seen + 1;
      }
      EXPECT_EQ(tw::HeldLockCount(), 0);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, long{kThreads} * kRounds);
}

TEST(CriticalSection, DeletedLockIsIgnored) {
  alignas(cCriticalSection) unsigned char storage[sizeof(cCriticalSection)];
  auto* lock = new (storage) cCriticalSection;
  lock->~cCriticalSection();
  EXPECT_TRUE(lock->IsDeleted());
  lock->~cCriticalSection();  // a second destruction must not delete the platform lock again
  {
    cSafeCriticalSectionAccess guard(lock);
    lock->Enter();
    EXPECT_EQ(tw::HeldLockCount(), 0) << "a deleted lock is neither entered nor counted";
  }
  lock->Leave();
  EXPECT_EQ(tw::HeldLockCount(), 0);
}

TEST(CriticalSection, DeletingAHeldLockReleasesTheHolder) {
  alignas(cCriticalSection) unsigned char storage[sizeof(cCriticalSection)];
  auto* lock = new (storage) cCriticalSection;
  cCriticalSection other;
  {
    cSafeCriticalSectionAccess keep(&other);
    cSafeCriticalSectionAccess g1(lock);
    cSafeCriticalSectionAccess g2(lock);
    EXPECT_EQ(tw::HeldLockCount(), 3);
    lock->~cCriticalSection();  // the guards outlive the lock
    EXPECT_EQ(tw::HeldLockCount(), 1);
  }
  EXPECT_EQ(tw::HeldLockCount(), 0);
  EXPECT_TRUE(OtherThreadCanEnter(other));
}

TEST(CriticalSection, LeaveWithoutEnterIsIgnored) {
  cCriticalSection lock;
  lock.Leave();
  EXPECT_EQ(tw::HeldLockCount(), 0);
  lock.Enter();
  EXPECT_EQ(tw::HeldLockCount(), 1);
  lock.Leave();
  EXPECT_EQ(tw::HeldLockCount(), 0);
  EXPECT_TRUE(OtherThreadCanEnter(lock));
}

TEST(PublishedLockCount, AnotherThreadReadsTheCount) {
  cCriticalSection a, b;
  std::atomic<tw::cPublishedLockCount*> published{nullptr};
  std::atomic<int> step{0};
  std::thread worker([&] {
    a.Enter();  // entered before publishing: carried over
    tw::cPublishedLockCount count;
    published = &count;
    b.Enter();
    b.Enter();
    step = 1;
    while (step != 2) std::this_thread::sleep_for(1ms);
    b.Leave();
    b.Leave();
    a.Leave();
    step = 3;
    while (step != 4) std::this_thread::sleep_for(1ms);
  });
  while (step != 1) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(published.load()->Value(), 3);
  step = 2;
  while (step != 3) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(published.load()->Value(), 0);
  step = 4;
  worker.join();
}

TEST(PublishedLockCount, CountCarriesOverBothWays) {
  cCriticalSection lock;
  lock.Enter();
  {
    tw::cPublishedLockCount outer;
    EXPECT_EQ(outer.Value(), 1);
    {
      tw::cPublishedLockCount inner;
      lock.Enter();
      EXPECT_EQ(inner.Value(), 2);
      EXPECT_EQ(tw::HeldLockCount(), 2);
    }
    EXPECT_EQ(outer.Value(), 2);
    lock.Leave();
  }
  EXPECT_EQ(tw::HeldLockCount(), 1);
  lock.Leave();
  EXPECT_EQ(tw::HeldLockCount(), 0);
}

TEST(Event, WithoutHandleEverythingFails) {
  cEvent e;
  EXPECT_FALSE(e.IsCreated());
  EXPECT_FALSE(e.Close());
  EXPECT_FALSE(e.Set());
  EXPECT_FALSE(e.Reset());
  EXPECT_FALSE(e.Poll());
  EXPECT_FALSE(e.Wait());
}

TEST(Event, InitialStateAndResetModes) {
  struct Case {
    bool initially;
    bool manual;
    bool firstPoll;
    bool secondPoll;
  };
  const Case cases[] = {
      {false, false, false, false},
      {false, true, false, false},
      {true, false, true, false},  // a zero-time wait consumes an auto-reset signal
      {true, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "initially " << c.initially << " manual " << c.manual);
    cEvent e;
    ASSERT_TRUE(e.Create(nullptr, c.initially, c.manual));
    EXPECT_EQ(e.Poll(), c.firstPoll);
    EXPECT_EQ(e.Poll(), c.secondPoll);
    EXPECT_TRUE(e.Close());
    EXPECT_FALSE(e.Close());
  }
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
  cEvent e;
  ASSERT_TRUE(e.Create(nullptr, false, true));
  ASSERT_TRUE(e.Set());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(e.Wait());
  EXPECT_TRUE(e.Poll());
  ASSERT_TRUE(e.Reset());
  EXPECT_FALSE(e.Poll());
}

TEST(Event, ManualResetReleasesEveryWaiter) {
  cEvent go;
  ASSERT_TRUE(go.Create(nullptr, false, true));
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) waiters.emplace_back([&] {
    if (go.Wait()) ++woken;
  });
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(woken, 0);
  go.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken, 3);
}

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
  cEvent go;
  ASSERT_TRUE(go.Create(nullptr, false, false));
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) waiters.emplace_back([&] {
    if (go.Wait()) ++woken;
  });
  std::this_thread::sleep_for(30ms);
  go.Set();
  const auto until = std::chrono::steady_clock::now() + 2s;
  while (woken == 0 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(woken, 1);
  EXPECT_FALSE(go.Poll()) << "the released waiter reset the event";
  go.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken, 2);
}

// The sent-action and decoder hand-offs: two threads alternate through two
// auto-reset events; every round must see the other side's last write.
TEST(Event, PingPongHandshake) {
  cEvent ping, pong;
  ASSERT_TRUE(ping.Create(nullptr, false, false));
  ASSERT_TRUE(pong.Create(nullptr, false, false));
  constexpr int kRounds = 2000;
  int shared = 0;  // handed over by the events alone
  std::thread other([&] {
    for (int i = 0; i < kRounds; ++i) {
      ping.Wait();
      shared = shared * 2 + 1;
      pong.Set();
    }
  });
  int expected = 0;
  bool inOrder = true;
  for (int i = 0; i < kRounds; ++i) {
    shared = i;
    ping.Set();
    pong.Wait();
    expected = i * 2 + 1;
    if (shared != expected) inOrder = false;
  }
  other.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(shared, expected);
}

TEST(Event, NamedEvents) {
  cEvent a, b;
#ifdef _WIN32
  // Two creations under one name open the same event object.
  ASSERT_TRUE(a.Create(u"tw-sync-test-named-event", false, true));
  ASSERT_TRUE(b.Create(u"tw-sync-test-named-event", false, true));
  EXPECT_FALSE(b.Poll());
  a.Set();
  EXPECT_TRUE(b.Poll());
#else
  EXPECT_FALSE(a.Create(u"tw-sync-test-named-event", false, true));
  EXPECT_FALSE(a.IsCreated());
  EXPECT_TRUE(b.Create(nullptr, false, true));
#endif
}

TEST(Event, CreateAgainReplacesTheEvent) {
  cEvent e;
  ASSERT_TRUE(e.Create(nullptr, true, true));
  ASSERT_TRUE(e.Create(nullptr, false, true));
  EXPECT_FALSE(e.Poll());
}

}  // namespace
