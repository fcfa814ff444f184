// Native stand-in of the fault trap: work runs unguarded (a fault ends the
// process, where the sanitizers report it) and no thread can be interrupted.
// See base/fault_trap.h.
#include "base/fault_trap.h"

namespace tw {

cFaultTrap::cFaultTrap(Decider decide, void* context) : decide_(decide), context_(context) {}

cFaultTrap::~cFaultTrap() = default;

bool cFaultTrap::Run(void (*work)(void*), void* arg) {
  armed_.store(true, std::memory_order_relaxed);
  struct sDisarm {
    std::atomic<bool>* armed;
    ~sDisarm() { armed->store(false, std::memory_order_relaxed); }
  } disarm{&armed_};
  work(arg);
  return true;
}

bool cFaultTrap::InterruptSuspended(void*, cFaultTrap* const*, int, const cPublishedLockCount&) {
  return false;
}

}  // namespace tw
