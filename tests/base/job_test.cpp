#include "base/job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "tests/base/scripted_job.h"
#include "tests/support/handles.h"

namespace {

using namespace std::chrono_literals;
using twtest::cScriptedJob;
using eThrowIn = cScriptedJob::eThrowIn;

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
      .count();
}

TEST(Job, RunResultReachesOnFinished) {
  struct Case {
    int32_t result;
    const char* log;
  };
  const Case cases[] = {
      {0, "S R F0 A"},
      {5, "S R F5 A"},
      {-7, "S R F-7 A"},
      {259, "S R F1 A"},  // "still active" must not look like a running thread
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    cScriptedJob job;
    job.work = [&](cScriptedJob&) { return c.result; };
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(job.WaitEnded());
    EXPECT_EQ(job.Log(), c.log);
    EXPECT_FALSE(job.IsRunning());
    EXPECT_TRUE(job.notificationsOnJobThread);
    EXPECT_NE(job.jobThread, std::this_thread::get_id());
  }
}

TEST(Job, LanguageExceptionsEndTheWork) {
  struct Case {
    const char* name;
    eThrowIn throwIn;
    int32_t verdict;  // 1000: the default
    bool policyPasses;
    const char* log;
  };
  const Case cases[] = {
      {"in OnStart", eThrowIn::kStart, 1000, false, "S X F0 A"},
      {"in Run", eThrowIn::kRun, 1000, false, "S R X F0 A"},
      // The handler runs OnFinished again with the result Run gave.
      {"in OnFinished", eThrowIn::kFinishedOnce, 1000, false, "S R F7 X F7 A"},
      {"filter passes", eThrowIn::kRun, 0, false, "S R A"},
      {"filter says continue", eThrowIn::kRun, -1, false, "S R A"},
      {"owner's policy passes", eThrowIn::kRun, 1000, true, "S R A"},
      {"in OnException too", eThrowIn::kException, 1000, false, "S R X A"},
  };
  struct cPassingPolicy : cJobExceptionPolicy {
    int32_t Filter(void*, uint32_t) override { return 0; }
  } passing;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cScriptedJob job(c.policyPasses ? &passing : nullptr);
    job.throwIn = c.throwIn;
    job.verdict = c.verdict;
    job.work = [](cScriptedJob& j) -> int32_t {
      if (j.throwIn == eThrowIn::kException) throw 2;
      return 7;
    };
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(job.WaitEnded());
    EXPECT_EQ(job.Log(), c.log);
    EXPECT_EQ(job.filterCalls, 1);
    EXPECT_EQ(job.filterCode, cJob::kLanguageExceptionCode);
    EXPECT_FALSE(job.filterHadInfo);
  }
}

TEST(Job, StopWithoutStartReturnsAtOnce) {
  cScriptedJob job;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(job.Stop(4000));
  EXPECT_LT(ElapsedMs(t0), 100);
  EXPECT_FALSE(job.IsRunning());
  EXPECT_EQ(job.Log(), "");
}

TEST(Job, CooperativeStop) {
  cScriptedJob job;
  job.work = [](cScriptedJob& j) {
    while (!j.IsStopRequested()) cJob::SleepMs(1);
    return 3;
  };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitFor("R"));
  EXPECT_TRUE(job.IsRunning());
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(job.Stop(4000));
  EXPECT_LT(ElapsedMs(t0), 1000) << "a stop must end as soon as the thread does";
  EXPECT_EQ(job.Log(), "S R Q F3 A");
  EXPECT_EQ(job.stopRequestLocks, 1) << "OnStopRequest runs under the job lock";
  EXPECT_FALSE(job.IsRunning());
}

TEST(Job, StartAgainStopsTheRunningWorkFirst) {
  cScriptedJob job;
  std::atomic<int> runs{0};
  job.work = [&](cScriptedJob& j) {
    ++runs;
    while (!j.IsStopRequested()) cJob::SleepMs(1);
    return runs.load();
  };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitFor("R"));
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitFor("F1 A S R"));
  // The stop flag of the first run is cleared for the second one.
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(job.IsRunning());
  EXPECT_TRUE(job.Stop(4000));
  EXPECT_EQ(job.Log(), "S R Q F1 A S R Q F2 A");
}

TEST(Job, FinishedJobRunsAgainFromOnStart) {
  cScriptedJob job;
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitEnded());
  EXPECT_FALSE(job.IsRunning());
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitEnded());
  EXPECT_EQ(job.Log(), "S R F0 A S R F0 A");
}

// Create, start, stop and destroy, from several controlling threads at once,
// with work that returns at once, that waits for the stop request, or that
// has not begun when the stop comes.
TEST(Job, TenThousandCycles) {
  constexpr int kControllers = 4;
  constexpr int kCyclesEach = 2500;
  struct cCountingJob : cJob {
    std::atomic<int>* starts;
    std::atomic<int>* finishes;
    std::atomic<int>* exceptions;
    int mode;
    ~cCountingJob() override { Stop(kStopTimeoutMs); }
    void OnStart() override { ++*starts; }
    int32_t Run() override {
      if (mode == 1)
        while (!IsStopRequested()) SleepMs(1);
      return 0;
    }
    void OnFinished(int32_t) override { ++*finishes; }
    void OnException() override { ++*exceptions; }
  };
  std::atomic<int> starts{0}, finishes{0}, exceptions{0}, failedStarts{0}, failedStops{0};
  const int64_t handlesBefore = twtest::NextFreeHandleSlot();
  std::vector<std::thread> controllers;
  for (int c = 0; c < kControllers; ++c) {
    controllers.emplace_back([&, c] {
      for (int i = 0; i < kCyclesEach; ++i) {
        auto job = std::make_unique<cCountingJob>();
        job->starts = &starts;
        job->finishes = &finishes;
        job->exceptions = &exceptions;
        job->mode = (i + c) % 3;
        if (!job->Start()) ++failedStarts;
        if (job->mode != 2 && !job->Stop(cJob::kStopTimeoutMs)) ++failedStops;
        // mode 2: the destructor stops it
      }
    });
  }
  for (auto& t : controllers) t.join();
  EXPECT_EQ(failedStarts, 0);
  EXPECT_EQ(failedStops, 0);
  EXPECT_EQ(starts, kControllers * kCyclesEach);
  EXPECT_EQ(finishes, kControllers * kCyclesEach);
  EXPECT_EQ(exceptions, 0);
  EXPECT_LE(twtest::NextFreeHandleSlot(), handlesBefore + 8) << "thread handles leak";
}

#ifndef _WIN32
// Natively no thread can be redirected: Stop waits for the work to return.
TEST(Job, NativeStopWaitsForTheThread) {
  cScriptedJob job;
  job.work = [](cScriptedJob& j) {
    // Sees the request, then takes far longer than the stop's time: the
    // 300 ms all lie after the stop began, however the threads are scheduled.
    while (!j.IsStopRequested()) cJob::SleepMs(1);
    cJob::SleepMs(300);
    return 4;
  };
  ASSERT_TRUE(job.Start());
  ASSERT_TRUE(job.WaitFor("R"));
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(job.Stop(20));
  EXPECT_GE(ElapsedMs(t0), 300);
  EXPECT_FALSE(job.IsRunning());
  EXPECT_EQ(job.Log(), "S R Q F4 A");
}
#endif

}  // namespace
