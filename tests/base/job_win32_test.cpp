// The Win32 job's fault catching and forced abort (these exist only there).
#include "base/job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "base/sync.h"
#include "tests/base/scripted_job.h"

namespace {

using namespace std::chrono_literals;
using twtest::cScriptedJob;

constexpr uint32_t kAccessViolation = 0xC0000005;
constexpr uint32_t kIntDivideByZero = 0xC0000094;
constexpr uint32_t kIllegalInstruction = 0xC000001D;

int* volatile g_null = nullptr;
volatile int g_zero = 0;
volatile int g_sink = 0;
volatile uint32_t g_spin = 0;

void ReadNull() { g_sink = *static_cast<volatile int*>(g_null); }
void WriteNull() { *static_cast<volatile int*>(g_null) = 1; }
void DivideByZero() { g_sink = 10 / g_zero; }
void IllegalInstruction() { __builtin_trap(); }

// A tight loop in the program's own code that never looks at the stop flag.
[[noreturn]] void SpinForever() {
  for (;;) g_spin = g_spin + 1;
}

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
      .count();
}

TEST(JobFaults, FaultInRunReachesOnException) {
  struct Case {
    const char* name;
    void (*fault)();
    uint32_t code;
  };
  const Case cases[] = {
      {"read through null", &ReadNull, kAccessViolation},
      {"write through null", &WriteNull, kAccessViolation},
      {"integer division by zero", &DivideByZero, kIntDivideByZero},
      {"illegal instruction", &IllegalInstruction, kIllegalInstruction},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cScriptedJob job;
    job.work = [&](cScriptedJob&) {
      c.fault();
      return 5;
    };
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(job.WaitEnded());
    EXPECT_EQ(job.Log(), "S R X F0 A");
    EXPECT_TRUE(job.notificationsOnJobThread);
    EXPECT_EQ(job.filterCalls, 1);
    EXPECT_EQ(job.filterCode, c.code);
    EXPECT_TRUE(job.filterHadInfo);
  }
}

TEST(JobFaults, FilterVerdicts) {
  struct Case {
    const char* name;
    int32_t verdict;
    int retries;
    int filterCalls;
    const char* log;
  };
  const Case cases[] = {
      {"handled", 1, 0, 1, "S R X F0 A"},
      {"passed on: ends silently", 0, 0, 1, "S R A"},
      // -1 re-executes the faulting instruction, which faults again.
      {"continued twice, then handled", 1, 2, 3, "S R X F0 A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cScriptedJob job;
    job.verdict = c.verdict;
    job.retries = c.retries;
    job.work = [](cScriptedJob&) {
      WriteNull();
      return 5;
    };
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(job.WaitEnded());
    EXPECT_EQ(job.Log(), c.log);
    EXPECT_EQ(job.filterCalls, c.filterCalls);
  }
}

TEST(JobFaults, FaultInOnFinishedRunsTheHandler) {
  struct cFaultingFinish : cScriptedJob {
    bool faulted = false;
    void OnFinished(int32_t result) override {
      cScriptedJob::OnFinished(result);
      if (!faulted) {
        faulted = true;
        ReadNull();
      }
    }
  } job;
  job.work = [](cScriptedJob&) { return 6; };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitEnded());
  EXPECT_EQ(job.Log(), "S R F6 X F6 A");
}

TEST(JobAbort, TightLoopIsAbortedAndTheJobRunsAgain) {
  cScriptedJob job;
  job.work = [](cScriptedJob&) -> int32_t { SpinForever(); };
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    job.ClearLog();
    job.filterCalls = 0;
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(job.WaitFor("R"));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(job.Stop(100));
    const int64_t ms = ElapsedMs(t0);
    EXPECT_GE(ms, 90);
    EXPECT_LT(ms, 100 + static_cast<int64_t>(cJob::kAbortBoundMs));
    EXPECT_FALSE(job.IsRunning());
    EXPECT_EQ(job.Log(), "S R Q X F0 A");
    EXPECT_TRUE(job.notificationsOnJobThread);
    EXPECT_EQ(job.filterCalls, 1);
    EXPECT_EQ(job.filterCode, cJob::kLanguageExceptionCode);
    EXPECT_FALSE(job.filterHadInfo);
  }
  // The process goes on: the same job object runs ordinary work afterwards.
  job.ClearLog();
  job.work = [](cScriptedJob&) { return 2; };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitEnded());
  EXPECT_EQ(job.Log(), "S R F2 A");
}

TEST(JobAbort, ShortStopPollsNotAtAll) {
  cScriptedJob job;
  job.work = [](cScriptedJob&) -> int32_t { SpinForever(); };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitFor("R"));
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(job.Stop(5));
  EXPECT_LT(ElapsedMs(t0), 500);
  EXPECT_EQ(job.Log(), "S R Q X F0 A");
}

TEST(JobAbort, AbortPassedOnByTheFilterEndsSilently) {
  cScriptedJob job;
  job.verdict = 0;
  job.work = [](cScriptedJob&) -> int32_t { SpinForever(); };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitFor("R"));
  EXPECT_TRUE(job.Stop(20));
  EXPECT_EQ(job.Log(), "S R Q A");
}

TEST(JobAbort, StuckNotificationAfterTheAbortIsAbortedToo) {
  struct cStuckHandler : cScriptedJob {
    void OnException() override {
      cScriptedJob::OnException();
      SpinForever();
    }
  } job;
  job.work = [](cScriptedJob&) -> int32_t { SpinForever(); };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitFor("R"));
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(job.Stop(20));
  EXPECT_GE(ElapsedMs(t0), static_cast<int64_t>(cJob::kStopTimeoutMs));
  EXPECT_EQ(job.Log(), "S R Q X A");
  EXPECT_FALSE(job.IsRunning());
}

TEST(JobAbort, JobBlockedInASystemCallIsLeftDetached) {
  cEvent release;
  ASSERT_TRUE(release.Create(nullptr, false, true));
  cScriptedJob job;
  job.work = [&](cScriptedJob&) {
    release.Wait();
    return 9;
  };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitFor("R"));
  std::this_thread::sleep_for(20ms);  // into the wait
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(job.Stop(50));
  const int64_t ms = ElapsedMs(t0);
  EXPECT_GE(ms, 50 + static_cast<int64_t>(cJob::kAbortBoundMs) - 20);
  EXPECT_LT(ms, 50 + static_cast<int64_t>(cJob::kAbortBoundMs) + 2000);
  EXPECT_TRUE(job.IsRunning());
  EXPECT_FALSE(job.Start()) << "a second thread must not share the job with the stuck one";
  // Once the call returns, the work ends normally and the job is released.
  release.Set();
  ASSERT_TRUE(job.WaitEnded());
  EXPECT_EQ(job.Log(), "S R Q Q F9 A");
}

TEST(JobAbort, JobHoldingOurLockIsNotAborted) {
  cCriticalSection held;
  std::atomic<bool> release{false};
  cScriptedJob job;
  job.work = [&](cScriptedJob&) {
    cSafeCriticalSectionAccess guard(&held);
    while (!release.load(std::memory_order_relaxed)) g_spin = g_spin + 1;
    return 8;
  };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitFor("R"));
  EXPECT_FALSE(job.Stop(20));
  EXPECT_TRUE(job.IsRunning());
  release = true;
  ASSERT_TRUE(job.WaitEnded());
  EXPECT_EQ(job.Log(), "S R Q F8 A");
  // The lock was left properly: another thread gets it.
  std::atomic<bool> entered{false};
  std::thread other([&] {
    cSafeCriticalSectionAccess guard(&held);
    entered = true;
  });
  other.join();
  EXPECT_TRUE(entered);
}

// Work that enters and leaves one of our locks all the time, allocating as
// it goes: however the abort catches it, the lock must not be left held.
TEST(JobAbort, AbortNeverAbandonsAHeldLock) {
  cCriticalSection shared;
  long counter = 0;
  cScriptedJob job;
  job.work = [&](cScriptedJob&) -> int32_t {
    for (;;) {
      cSafeCriticalSectionAccess guard(&shared);
      auto* block = new long(counter);
      counter = *block + 1;
      delete block;
    }
  };
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(job.WaitFor("R"));
    // The lock is free between two rounds of the loop, so the abort
    // catches the thread there within its bound.
    ASSERT_TRUE(job.Stop(10));
    EXPECT_EQ(job.Log(), "S R Q X F0 A");
    job.ClearLog();
    std::atomic<bool> entered{false};
    std::thread other([&] {
      cSafeCriticalSectionAccess guard(&shared);
      entered = true;
    });
    other.join();
    ASSERT_TRUE(entered);
  }
  EXPECT_GT(counter, 0);
}

std::atomic<bool> g_cameBack{false};

TEST(JobAbort, DestroyingADetachedJobKeepsItsThreadAway) {
  // Touches nothing of its own after the wait, so that the base destructor's
  // stop is the only one.
  struct cBlockedJob : cJob {
    cEvent* release = nullptr;
    std::atomic<bool> waiting{false};
    int32_t Run() override {
      cEvent* event = release;
      waiting = true;
      event->Wait();
      g_cameBack = true;  // would go on into the freed job
      return 0;
    }
  };
  auto release = std::make_unique<cEvent>();
  ASSERT_TRUE(release->Create(nullptr, false, true));
  auto job = std::make_unique<cBlockedJob>();
  job->release = release.get();
  ASSERT_TRUE(job->Start());
  while (!job->waiting) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);  // into the wait
  const auto t0 = std::chrono::steady_clock::now();
  job.reset();  // gives up after its stop and abort time
  EXPECT_GE(ElapsedMs(t0), static_cast<int64_t>(cJob::kStopTimeoutMs));
  release->Set();
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(g_cameBack) << "the abandoned thread must stay suspended";
  release.release();  // the suspended thread still refers to the event
}

}  // namespace
