// The platform-neutral part of the worker job: the thread's sequence of
// notifications with its fault handling, and the start and stop logic over
// the platform's thread primitives. See base/job.h.
#include "base/job.h"

#include "base/fault_trap.h"

namespace {

struct sJobThread {
  cJob* job;
  int32_t result = 0;     // the result reached so far
  bool workDone = false;  // OnFinished returned: an abort now has nothing to end

  // The work trap's decider: the job's Filter, in the convention of
  // structured-exception filters.
  static tw::eFaultVerdict Decide(void* context, const tw::sFaultRecord& fault) {
    auto* state = static_cast<sJobThread*>(context);
    const int32_t verdict = state->job->Filter(fault.platformInfo, fault.code);
    if (verdict == 1) return tw::eFaultVerdict::kRecover;
    if (verdict == -1) return tw::eFaultVerdict::kRetry;
    return tw::eFaultVerdict::kPass;  // the outer trap ends the job silently
  }
};

}  // namespace

int32_t JobThreadMain(cJob* job) {
  sJobThread state{job};
  tw::cPublishedLockCount locks;
  tw::cFaultTrap outer;  // recovers from everything that the work trap passes on
  tw::cFaultTrap work(&sJobThread::Decide, &state);
  job->threadLocks_.store(&locks);
  job->outerTrap_.store(&outer);
  job->workTrap_.store(&work);

  try {
    outer.Run([&] {
      bool handle = false;
      try {
        const bool returned = work.Run([&] {
          job->OnStart();
          int32_t result = job->Run();
          if (result == cJob::kStillActive) result = 1;
          state.result = result;
          job->OnFinished(result);
          state.workDone = true;
        });
        if (!returned) {
          // A fault that Filter chose to handle, or a forced abort, which
          // Filter sees like a language exception.
          if (!work.Fault().interrupted)
            handle = true;
          else
            handle = !state.workDone && job->Filter(nullptr, cJob::kLanguageExceptionCode) == 1;
        }
      } catch (...) {
        handle = job->Filter(nullptr, cJob::kLanguageExceptionCode) == 1;
      }
      if (handle) {
        job->OnException();
        job->OnFinished(state.result);
      }
    });
  } catch (...) {
    // Swallowed: the job still finishes normally.
  }

  try {
    outer.Run([&] {
      if (cJob::AfterRunFunction afterRun = job->GetAfterRun()) afterRun(job);
    });
  } catch (...) {
  }

  job->workTrap_.store(nullptr);
  job->outerTrap_.store(nullptr);
  job->threadLocks_.store(nullptr);
  const int32_t result = state.result;
  // The last access to the job: its owner may free it from here on.
  job->finished_.store(1, std::memory_order_release);
  return result;
}

cJob::cJob(cJobExceptionPolicy* owner) : owner_(owner) {}

cJob::~cJob() {
  if (!Stop(kStopTimeoutMs)) AbandonThread();
}

int32_t cJob::Filter(void* exceptionInfo, uint32_t code) {
  if (owner_ != nullptr) return owner_->Filter(exceptionInfo, code);
  return 1;
}

bool cJob::Start() {
  if (!Stop(kStopTimeoutMs)) return false;  // the old thread still uses the job
  stopRequested_.store(0, std::memory_order_relaxed);
  finished_.store(0, std::memory_order_relaxed);
  if (CreateThread()) return true;
  finished_.store(1, std::memory_order_relaxed);
  return false;
}

bool cJob::IsRunning() {
  if (thread_ == nullptr) {
    cSafeCriticalSectionAccess guard(&lock);
    finished_.store(1, std::memory_order_relaxed);
    return false;
  }
  if (!ThreadHasEnded()) return true;
  CloseThread();
  cSafeCriticalSectionAccess guard(&lock);
  finished_.store(1, std::memory_order_relaxed);
  return false;
}

void cJob::RequestStop() {
  cSafeCriticalSectionAccess guard(&lock);
  stopRequested_.store(1, std::memory_order_relaxed);
  OnStopRequest();
}

bool cJob::Stop(uint32_t ms) {
  if (!IsRunning()) return true;
  RequestStop();
  // Polls in 10 ms steps; each step ends early when the thread ends.
  for (uint32_t i = 0; i < ms / 10; ++i) {
    if (WaitThreadEnd(10)) break;
  }
  if (!ThreadHasEnded() && !AbortThread()) return false;
  CloseThread();
  finished_.store(1, std::memory_order_relaxed);
  return true;
}
