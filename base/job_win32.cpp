// Win32 side of the worker job: threads made with _beginthreadex, waits on
// the thread handle, and the forced abort through thread-context
// redirection. See base/job.h.
#include <windows.h>
#include <process.h>

#include "base/fault_trap.h"
#include "base/job.h"

namespace {

unsigned __stdcall JobThreadEntry(void* arg) {
  return static_cast<unsigned>(JobThreadMain(static_cast<cJob*>(arg)));
}

}  // namespace

void cJob::SleepMs(uint32_t ms) { Sleep(ms); }

bool cJob::CreateThread() {
  const uintptr_t handle = _beginthreadex(nullptr, 0, &JobThreadEntry, this, 0, nullptr);
  thread_ = reinterpret_cast<void*>(handle);
  return handle != 0;
}

bool cJob::ThreadHasEnded() {
  // WAIT_FAILED (a handle that is no thread) counts as ended, so that the
  // job does not wait for it forever.
  return WaitForSingleObject(static_cast<HANDLE>(thread_), 0) != WAIT_TIMEOUT;
}

bool cJob::WaitThreadEnd(uint32_t ms) {
  return WaitForSingleObject(static_cast<HANDLE>(thread_), ms) != WAIT_TIMEOUT;
}

void cJob::CloseThread() {
  if (thread_ == nullptr) return;
  CloseHandle(static_cast<HANDLE>(thread_));
  thread_ = nullptr;
}

bool cJob::AbortThread() {
  const HANDLE thread = static_cast<HANDLE>(thread_);
  // Round one ends the work; should the notifications that the abort starts
  // (OnException, OnFinished) get stuck as well, round two ends them.
  for (int round = 0; round < 2; ++round) {
    const ULONGLONG start = GetTickCount64();
    bool redirected = false;
    while (!redirected) {
      if (ThreadHasEnded()) return true;
      if (GetTickCount64() - start >= kAbortBoundMs) return false;  // left running
      if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
        // Reading the context makes sure that the suspension has taken
        // effect before the thread's published state is read.
        CONTEXT sync = {};
        sync.ContextFlags = CONTEXT_CONTROL;
        if (GetThreadContext(thread, &sync) != 0) {
          tw::cFaultTrap* const candidates[2] = {workTrap_.load(), outerTrap_.load()};
          if (const tw::cPublishedLockCount* locks = threadLocks_.load())
            redirected = tw::cFaultTrap::InterruptSuspended(thread, candidates, 2, *locks);
        }
        ResumeThread(thread);
      }
      if (!redirected) Sleep(1);
    }
    if (WaitThreadEnd(kStopTimeoutMs)) return true;
  }
  return ThreadHasEnded();
}

void cJob::AbandonThread() {
  if (thread_ == nullptr) return;
  const HANDLE thread = static_cast<HANDLE>(thread_);
  // A thread past its last access to the job may go on; any other one would
  // come back into the freed job, so it stays suspended for good. Suspended
  // first and asked then: asked first, the thread could pass its last access
  // in between and be frozen in its exit, where it holds the loader lock.
  if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
    // Reading the context waits until the suspension has taken effect.
    CONTEXT sync = {};
    sync.ContextFlags = CONTEXT_CONTROL;
    GetThreadContext(thread, &sync);
    if (finished_.load(std::memory_order_acquire) != 0) ResumeThread(thread);
  }
  CloseThread();
}
