// cJob: one worker thread running one piece of work, with a fixed sequence of
// notifications around it, a cooperative stop request, a timed stop, and
// fault catching so that a fault in the work ends the job, not the process.
// cProgressNotifyTarget: the sink that work reports its progress to.
//
// Threads (see also base/fault_trap.h):
//  - One controlling thread (as a rule the UI thread) calls Start, Stop,
//    RequestStop, IsRunning and destroys the job; the job's own thread runs
//    OnStart, Run, OnFinished, OnException, Filter and the after-run function.
//  - The controlling side alone owns the thread handle: it decides that the
//    job has ended by the thread's real end (a zero-time wait on, or a join
//    of, the thread) and only then closes the handle. The job thread's last
//    access to the job is setting the finished flag.
//  - A derived job whose work uses its own members must call Stop in its own
//    destructor: by the time the base destructor stops the thread, the
//    derived part is gone.
//
// Sequence on the job thread: OnStart; result = Run (259, the system's
// "still active", becomes 1); OnFinished(result). When a language exception
// or a processor fault leaves one of them and Filter answers 1 (the default),
// OnException and then OnFinished(result reached so far, 0 when Run did not
// return) run instead of the rest; a verdict of 0 skips them silently.
// Anything that leaves those two is swallowed. Last comes the after-run
// function, then the finished flag.
//
// Forced abort (Win32): when the work does not return within Stop's time, the
// controlling thread suspends the job thread and, only when it executes the
// program's own code and holds none of our locks, redirects it to the point
// where the work started, as if it had faulted there. The abandoned frames
// are NOT unwound: their destructors do not run and what they allocated is
// lost. A thread inside a system library (a blocking call) is retried every
// millisecond for at most kAbortBoundMs; after that Stop gives up, leaves the
// thread running (detached from the waiting) and returns false. Should the
// notifications that the abort starts get stuck as well, they are aborted the
// same way after another kStopTimeoutMs. Only our own locks are counted: a
// thread stopped inside a lock of the language runtime (std::mutex, the
// guard of a function-local static, its exception or thread-local helpers)
// leaves it held, so work meant to be abortable uses cCriticalSection alone.
// Natively threads cannot be redirected: Stop waits for the thread's end.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/guardchar.h"
#include "base/sync.h"

namespace tw {
class cFaultTrap;
class cPublishedLockCount;
}  // namespace tw

class cJob;

// The job thread's procedure (platform code starts it); returns the result.
int32_t JobThreadMain(cJob* job);

// The exception policy that a job may be given: its verdict replaces the
// default one of cJob::Filter.
class cJobExceptionPolicy {
public:
  // Same arguments and verdicts as cJob::Filter.
  virtual int32_t Filter(void* exceptionInfo, uint32_t code) = 0;
  virtual ~cJobExceptionPolicy() = default;
};

class cJob {
public:
  // The exception code that Filter sees for a language exception (C++ throw)
  // and for a forced abort; exceptionInfo is null then.
  static constexpr uint32_t kLanguageExceptionCode = 0xE06D7363;
  // Thread results that mean "still running" to the system; Run's result is
  // mapped away from it.
  static constexpr int32_t kStillActive = 259;
  // The time-out that the system uses for every stop.
  static constexpr uint32_t kStopTimeoutMs = 4000;
  // How long a forced abort keeps trying to catch the thread in our own code.
  static constexpr uint32_t kAbortBoundMs = 1000;

  using AfterRunFunction = void (*)(cJob* job);

  // owner may be null (every job of the system is made so).
  explicit cJob(cJobExceptionPolicy* owner = nullptr);
  // Stop(kStopTimeoutMs). A thread that still runs after it (see the file
  // comment) is left suspended for good, so that it never comes back into
  // the freed job.
  virtual ~cJob();
  cJob(const cJob&) = delete;
  cJob& operator=(const cJob&) = delete;

  // Called on the job thread after everything else, with the job; null: none.
  // The job is still valid then, but must not be freed by it.
  virtual AfterRunFunction GetAfterRun() { return nullptr; }
  // The work; 0 means success for the jobs of the system.
  virtual int32_t Run() = 0;
  virtual void OnStart() {}
  // Called on the requesting thread under the job lock: must not wait for the
  // job thread.
  virtual void OnStopRequest() {}
  virtual void OnFinished(int32_t result) { (void)result; }
  virtual void OnException() {}
  // Decides about an exception that left the work: 1 handle it (OnException,
  // OnFinished), 0 pass it on (swallowed silently), -1 continue at a fault
  // (for a language exception or an abort, -1 counts as 0). exceptionInfo is
  // the platform's exception record for a fault (EXCEPTION_POINTERS*), null
  // otherwise. Runs on the job thread; for a fault, inside the system's
  // exception dispatch, and for a stack overflow on the little stack that is
  // left: it must be short (no output, no waiting). Default: the owner's
  // verdict, or 1 without an owner.
  virtual int32_t Filter(void* exceptionInfo, uint32_t code);

  // Stops a previous run (Stop(kStopTimeoutMs)), clears the stop and finished
  // flags and starts the thread. False when a previous thread could not be
  // stopped (it keeps the job) or when no thread could be made (the job is
  // finished then).
  bool Start();
  // True while the job's thread exists; an ended thread is released here.
  bool IsRunning();
  // Sets the stop flag and calls OnStopRequest, under the job lock.
  void RequestStop();
  bool IsStopRequested() const { return stopRequested_.load(std::memory_order_relaxed) != 0; }
  // RequestStop, then waits up to ms in 10 ms steps for the thread to end,
  // then (Win32) aborts it as described above. True when the thread has
  // ended (or none ran); false when it was left running after the abort
  // bound: it still holds the job, so the owner must keep the job alive and
  // may ask IsRunning later.
  bool Stop(uint32_t ms);

  static void SleepMs(uint32_t ms);

protected:
  _guardchar<char16_t> name;  // empty unless a derived job sets it
  cCriticalSection lock;      // the job lock

private:
  friend int32_t JobThreadMain(cJob* job);

  // The platform's side of the thread.
  bool CreateThread();
  bool ThreadHasEnded();
  bool WaitThreadEnd(uint32_t ms);  // true when it ended within ms
  void CloseThread();
  bool AbortThread();               // true when the thread ended
  void AbandonThread();

  cJobExceptionPolicy* owner_;
  std::atomic<uint8_t> stopRequested_{0};
  // 1 while no thread of this job runs its work: after construction, when a
  // start failed, and as the job thread's very last access to the job.
  std::atomic<uint8_t> finished_{1};
  void* thread_ = nullptr;  // the platform's thread handle; controlling side only

  // Published by the job thread while it runs, for the forced abort.
  std::atomic<tw::cPublishedLockCount*> threadLocks_{nullptr};
  std::atomic<tw::cFaultTrap*> workTrap_{nullptr};
  std::atomic<tw::cFaultTrap*> outerTrap_{nullptr};
};

// A progress sink: the work reports how far it got, and the answer says
// whether to go on.
class cProgressNotifyTarget {
public:
  // percent from 0 to 100; true: go on, false: the work should stop.
  virtual bool SetProgress(double percent) = 0;
  // Selects a stage whose progress then starts again.
  virtual void SetStage(int32_t stage) { (void)stage; }
  virtual ~cProgressNotifyTarget() = default;
};
