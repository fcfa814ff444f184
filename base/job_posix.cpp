// Native side of the worker job: pthreads, joined by the controlling side.
// Threads cannot be redirected here, so a stop waits for the thread's end.
// See base/job.h.
#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <new>

#include "base/job.h"

namespace {

struct sPosixThread {
  pthread_t thread;
  bool joined = false;
};

sPosixThread* Thread(void* handle) { return static_cast<sPosixThread*>(handle); }

void* JobThreadEntry(void* arg) {
  JobThreadMain(static_cast<cJob*>(arg));
  return nullptr;
}

}  // namespace

void cJob::SleepMs(uint32_t ms) {
  timespec delay{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
  }
}

bool cJob::CreateThread() {
  auto* t = new (std::nothrow) sPosixThread;
  if (t == nullptr) return false;
  if (pthread_create(&t->thread, nullptr, &JobThreadEntry, this) != 0) {
    delete t;
    return false;
  }
  thread_ = t;
  return true;
}

bool cJob::ThreadHasEnded() {
  sPosixThread* t = Thread(thread_);
  if (!t->joined && pthread_tryjoin_np(t->thread, nullptr) == 0) t->joined = true;
  return t->joined;
}

bool cJob::WaitThreadEnd(uint32_t ms) {
  sPosixThread* t = Thread(thread_);
  if (t->joined) return true;
  timespec until;
  clock_gettime(CLOCK_REALTIME, &until);
  until.tv_sec += static_cast<time_t>(ms / 1000);
  until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000L;
  }
  if (pthread_timedjoin_np(t->thread, nullptr, &until) == 0) t->joined = true;
  return t->joined;
}

void cJob::CloseThread() {
  sPosixThread* t = Thread(thread_);
  if (t == nullptr) return;
  if (!t->joined) pthread_join(t->thread, nullptr);
  delete t;
  thread_ = nullptr;
}

bool cJob::AbortThread() {
  // No forced abort natively: wait for the work to return.
  sPosixThread* t = Thread(thread_);
  if (!t->joined && pthread_join(t->thread, nullptr) == 0) t->joined = true;
  return true;
}

void cJob::AbandonThread() { CloseThread(); }
