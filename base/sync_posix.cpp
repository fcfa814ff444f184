// Native side of the locks and events: a recursive pthread mutex, and an
// event made of a mutex, a condition variable and a flag. See base/sync.h.
#include <pthread.h>

#include <cstdlib>
#include <new>

#include "base/sync.h"
#include "base/sync_internal.h"

namespace tw {

namespace {

thread_local void* t_lockSlot = nullptr;

pthread_mutex_t* Mutex(void* storage) { return static_cast<pthread_mutex_t*>(storage); }

// An unrecoverable failure of the platform lock (it cannot fail when used
// within its contract): continuing would corrupt state silently.
void Check(int rc) {
  if (rc != 0) std::abort();
}

struct sEventState {
  pthread_mutex_t mutex;
  pthread_cond_t cond;
  bool signalled;
  bool manualReset;
};

sEventState* State(void* handle) { return static_cast<sEventState*>(handle); }

}  // namespace

void* GetLockSlot() { return t_lockSlot; }
void SetLockSlot(void* value) { t_lockSlot = value; }

uintptr_t CurrentThreadTag() {
  // The address of a thread_local is unique among live threads and never 0.
  return reinterpret_cast<uintptr_t>(&t_lockSlot);
}

void PlatformLockInit(void* storage) {
  static_assert(sizeof(pthread_mutex_t) <= 48 && alignof(pthread_mutex_t) <= 8,
                "pthread_mutex_t fits cCriticalSection's storage");
  pthread_mutexattr_t attr;
  Check(pthread_mutexattr_init(&attr));
  Check(pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE));
  Check(pthread_mutex_init(new (storage) pthread_mutex_t, &attr));
  pthread_mutexattr_destroy(&attr);
}

void PlatformLockEnter(void* storage) { Check(pthread_mutex_lock(Mutex(storage))); }
void PlatformLockLeave(void* storage) { Check(pthread_mutex_unlock(Mutex(storage))); }
void PlatformLockDelete(void* storage) { pthread_mutex_destroy(Mutex(storage)); }

}  // namespace tw

bool cEvent::Create(const char16_t* name, bool initiallySignalled, bool manualReset) {
  Close();
  if (name != nullptr) return false;  // named events are a Win32 service only
  auto* state = new (std::nothrow) tw::sEventState;
  if (state == nullptr) return false;
  if (pthread_mutex_init(&state->mutex, nullptr) != 0) {
    delete state;
    return false;
  }
  if (pthread_cond_init(&state->cond, nullptr) != 0) {
    pthread_mutex_destroy(&state->mutex);
    delete state;
    return false;
  }
  state->signalled = initiallySignalled;
  state->manualReset = manualReset;
  handle_ = state;
  return true;
}

bool cEvent::Set() {
  if (handle_ == nullptr) return false;
  tw::sEventState* s = tw::State(handle_);
  tw::Check(pthread_mutex_lock(&s->mutex));
  s->signalled = true;
  // A manual-reset event releases every waiter; an auto-reset one a single
  // waiter, which resets it.
  if (s->manualReset)
    pthread_cond_broadcast(&s->cond);
  else
    pthread_cond_signal(&s->cond);
  pthread_mutex_unlock(&s->mutex);
  return true;
}

bool cEvent::Reset() {
  if (handle_ == nullptr) return false;
  tw::sEventState* s = tw::State(handle_);
  tw::Check(pthread_mutex_lock(&s->mutex));
  s->signalled = false;
  pthread_mutex_unlock(&s->mutex);
  return true;
}

bool cEvent::Wait() {
  if (handle_ == nullptr) return false;
  tw::sEventState* s = tw::State(handle_);
  tw::Check(pthread_mutex_lock(&s->mutex));
  while (!s->signalled) pthread_cond_wait(&s->cond, &s->mutex);
  if (!s->manualReset) s->signalled = false;
  pthread_mutex_unlock(&s->mutex);
  return true;
}

bool cEvent::Poll() {
  if (handle_ == nullptr) return false;
  tw::sEventState* s = tw::State(handle_);
  tw::Check(pthread_mutex_lock(&s->mutex));
  const bool signalled = s->signalled;
  if (signalled && !s->manualReset) s->signalled = false;  // as a zero-time wait does
  pthread_mutex_unlock(&s->mutex);
  return signalled;
}

bool cEvent::Close() {
  if (handle_ == nullptr) return false;
  tw::sEventState* s = tw::State(handle_);
  pthread_cond_destroy(&s->cond);
  pthread_mutex_destroy(&s->mutex);
  delete s;
  handle_ = nullptr;
  return true;
}
