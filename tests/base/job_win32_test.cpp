// The Win32 job's fault catching and forced abort (these exist only there).
#include "base/job.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/sync.h"
#include "tests/base/faults.h"
#include "tests/base/scripted_job.h"

namespace {

using namespace std::chrono_literals;
using twtest::cScriptedJob;
using twtest::DivideByZero;
using twtest::g_sink;
using twtest::IllegalInstruction;
using twtest::kAccessViolation;
using twtest::kIllegalInstruction;
using twtest::kIntDivideByZero;
using twtest::ReadNull;
using twtest::WriteNull;
using twtest::kCommonFaults;
using twtest::sFaultCase;

constexpr uint32_t kStackOverflow = 0xC00000FD;

volatile uint32_t g_spin = 0;

// Each frame keeps its buffer live across the call, so no tail call or loop
// replaces the recursion.
volatile int g_never = -1;
__attribute__((noinline)) int Recurse(int depth) {
  if (depth == g_never) return 0;  // never true; the compiler cannot tell
  volatile char pad[512];
  pad[0] = static_cast<char>(depth);
  return Recurse(depth + 1) + pad[0];
}
void OverflowTheStack() { g_sink = Recurse(0); }

// A tight loop in the program's own code that never looks at the stop flag.
[[noreturn]] void SpinForever() {
  for (;;) g_spin = g_spin + 1;
}

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
      .count();
}

TEST(JobFaults, FaultInRunReachesOnException) {
  std::vector<sFaultCase> cases(std::begin(kCommonFaults), std::end(kCommonFaults));
  // Filter then runs on what is left of the stack (it is small here).
  cases.push_back({"stack overflow", &OverflowTheStack, kStackOverflow});
  for (const sFaultCase& c : cases) {
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
    // Not stuck in the wait for the aborted work's end, which gives up
    // after kStopTimeoutMs (on a slow machine catching the thread may take
    // much of the abort bound).
    EXPECT_LT(ms, 100 + static_cast<int64_t>(cJob::kStopTimeoutMs));
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

// Two unnamed manual-reset events for a job blocked in a system call:
// SignalObjectAndWait sets "inside" from within the call that waits for
// "release", so once "inside" is set the thread executes system code until
// "release" is set, however late it was scheduled.
struct sBlockingCall {
  HANDLE inside = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool Made() const { return inside != nullptr && release != nullptr; }
  void Block() const { SignalObjectAndWait(inside, release, INFINITE, FALSE); }
  bool WaitInside() const { return WaitForSingleObject(inside, 20000) == WAIT_OBJECT_0; }
  void Release() const { SetEvent(release); }
  void CloseBoth() const {
    CloseHandle(inside);
    CloseHandle(release);
  }
};

TEST(JobAbort, JobBlockedInASystemCallIsLeftDetached) {
  sBlockingCall call;
  ASSERT_TRUE(call.Made());
  cScriptedJob job;
  job.work = [&](cScriptedJob&) {
    call.Block();
    return 9;
  };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(call.WaitInside());
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(job.Stop(50));
  const int64_t ms = ElapsedMs(t0);
  EXPECT_GE(ms, 50 + static_cast<int64_t>(cJob::kAbortBoundMs) - 20);
  EXPECT_LT(ms, 50 + static_cast<int64_t>(cJob::kAbortBoundMs) + 2000);
  EXPECT_TRUE(job.IsRunning());
  EXPECT_FALSE(job.Start()) << "a second thread must not share the job with the stuck one";
  // Once the call returns, the work ends normally and the job is released.
  call.Release();
  ASSERT_TRUE(job.WaitEnded());
  EXPECT_EQ(job.Log(), "S R Q Q F9 A");
  call.CloseBoth();
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

// Busy in the program's own code for a while.
void Spin(int rounds) {
  for (int i = 0; i < rounds; ++i) g_spin = g_spin + 1;
}

// True when another thread enters lock within a generous time; a lock left
// held by an abandoned thread gives false (the waiting thread is let go).
bool OtherThreadCanEnter(cCriticalSection& lock) {
  auto entered = std::make_shared<std::atomic<bool>>(false);
  std::thread other([&lock, entered] {
    cSafeCriticalSectionAccess guard(&lock);
    *entered = true;
  });
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (!*entered && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  if (!*entered) {
    other.detach();
    return false;
  }
  other.join();
  return true;
}

// Work that enters and leaves one of our locks all the time, allocating as
// it goes, and spends about as long in its own code inside the lock as
// outside: an abort that ignored the lock would land inside it in about
// every other round. On a loaded machine the abort may get too few chances
// within its bound and give up (Stop false, the work goes on untouched);
// the stop is then asked again.
TEST(JobAbort, AbortNeverAbandonsAHeldLock) {
  cCriticalSection shared;
  long counter = 0;
  cScriptedJob job;
  job.work = [&](cScriptedJob&) -> int32_t {
    for (;;) {
      {
        cSafeCriticalSectionAccess guard(&shared);
        auto* block = new long(counter);
        counter = *block + 1;
        delete block;
        Spin(20000);
      }
      Spin(20000);
    }
  };
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(job.WaitFor("R"));
    std::string requests = "Q";
    while (!job.Stop(10)) {
      ASSERT_LT(requests.size(), 40u) << "the abort never found the thread outside the lock";
      requests += " Q";
    }
    EXPECT_EQ(job.Log(), "S R " + requests + " X F0 A");
    job.ClearLog();
    ASSERT_TRUE(OtherThreadCanEnter(shared));
  }
  EXPECT_GT(counter, 0);
}

std::atomic<bool> g_cameBack{false};

TEST(JobAbort, DestroyingADetachedJobKeepsItsThreadAway) {
  // Touches nothing of its own after the wait, so that the base destructor's
  // stop is the only one.
  struct cBlockedJob : cJob {
    const sBlockingCall* call = nullptr;
    int32_t Run() override {
      const sBlockingCall* blocking = call;
      blocking->Block();
      g_cameBack = true;  // would go on into the freed job
      return 0;
    }
  };
  // Outlives the test: the suspended thread still refers to it.
  static const sBlockingCall call;
  ASSERT_TRUE(call.Made());
  auto job = std::make_unique<cBlockedJob>();
  job->call = &call;
  ASSERT_TRUE(job->Start());
  ASSERT_TRUE(call.WaitInside());
  const auto t0 = std::chrono::steady_clock::now();
  job.reset();  // gives up after its stop and abort time
  EXPECT_GE(ElapsedMs(t0), static_cast<int64_t>(cJob::kStopTimeoutMs));
  call.Release();
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(g_cameBack) << "the abandoned thread must stay suspended";
}

}  // namespace
