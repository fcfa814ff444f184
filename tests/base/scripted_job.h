// A job for the tests: it logs each notification as a short token ("S" start,
// "R" run, "F<result>" finished, "X" exception, "A" after-run, "Q" stop
// request) and runs whatever work the test gives it.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "base/job.h"

namespace twtest {

class cScriptedJob : public cJob {
public:
  enum class eThrowIn { kNowhere, kStart, kRun, kFinishedOnce, kException };

  explicit cScriptedJob(cJobExceptionPolicy* owner = nullptr) : cJob(owner) {}
  ~cScriptedJob() override { Stop(kStopTimeoutMs); }

  // The work after "R" is logged; its result is Run's.
  std::function<int32_t(cScriptedJob&)> work = [](cScriptedJob&) { return 0; };
  eThrowIn throwIn = eThrowIn::kNowhere;
  int32_t verdict = 1000;  // 1000: the default Filter
  // Called on a fault's first Filter calls; answers -1 this many times.
  std::atomic<int> retries{0};

  std::atomic<int> filterCalls{0};
  std::atomic<uint32_t> filterCode{0};
  std::atomic<bool> filterHadInfo{false};
  std::atomic<int> stopRequestLocks{-1};  // held-lock count seen in OnStopRequest
  std::thread::id jobThread;              // set by OnStart
  std::atomic<bool> notificationsOnJobThread{true};

  std::string Log() {
    std::lock_guard<std::mutex> g(mutex_);
    return log_;
  }

  // Waits (up to 20 s) until the log contains token; false on time-out.
  bool WaitFor(const std::string& token) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Log().find(token) == std::string::npos) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  // Waits (up to 20 s) until IsRunning reports false.
  bool WaitEnded() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (IsRunning()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  AfterRunFunction GetAfterRun() override {
    return [](cJob* job) { static_cast<cScriptedJob*>(job)->Add("A"); };
  }

  int32_t Run() override {
    Add("R");
    if (throwIn == eThrowIn::kRun) throw 1;
    return work(*this);
  }

  void OnStart() override {
    jobThread = std::this_thread::get_id();
    Add("S");
    if (throwIn == eThrowIn::kStart) throw 1;
  }

  void OnStopRequest() override {
    stopRequestLocks = tw::HeldLockCount();
    Add("Q");
  }

  void OnFinished(int32_t result) override {
    CheckThread();
    Add("F" + std::to_string(result));
    if (throwIn == eThrowIn::kFinishedOnce && !thrownInFinished_) {
      thrownInFinished_ = true;
      throw 1;
    }
  }

  void OnException() override {
    CheckThread();
    Add("X");
    if (throwIn == eThrowIn::kException) throw 1;
  }

  int32_t Filter(void* info, uint32_t code) override {
    ++filterCalls;
    filterCode = code;
    filterHadInfo = info != nullptr;
    if (retries > 0) {
      --retries;
      return -1;
    }
    if (verdict != 1000) return verdict;
    return cJob::Filter(info, code);
  }

  void Add(const std::string& token) {
    std::lock_guard<std::mutex> g(mutex_);
    if (!log_.empty()) log_ += ' ';
    log_ += token;
  }

  void ClearLog() {
    std::lock_guard<std::mutex> g(mutex_);
    log_.clear();
  }

private:
  void CheckThread() {
    if (std::this_thread::get_id() != jobThread) notificationsOnJobThread = false;
  }

  std::mutex mutex_;
  std::string log_;
  bool thrownInFinished_ = false;
};

}  // namespace twtest
