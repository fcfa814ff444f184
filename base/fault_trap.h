// cFaultTrap: catches processor faults (access violations, division by zero,
// illegal instructions and the like) in a stretch of work on the calling
// thread, in place of the structured-exception frames that this compiler
// does not offer.
//
// On Win32 one vectored exception handler, installed with the first trap,
// looks at faults of threads that have a trap armed. The innermost armed trap
// of the faulting thread decides first; when it passes, the next outer one
// decides, and when every trap passes, the system goes on as without us.
// A trap that recovers resumes its thread at the point where the work was
// started, as if the work had returned, WITHOUT unwinding: the work's frames
// are abandoned where they stand, their destructors and catch handlers do not
// run, and what they held (memory, handles, locks) stays held. A recovered
// fault is therefore for ending a thread or a piece of work cleanly, not
// for carrying on as if nothing happened.
//
// A second thread may end the work in the same way while the trap's thread
// is suspended (InterruptSuspended): the forced abort of a stuck job.
//
// The native build has no such mechanism: work always runs unguarded, faults
// end the process (as the sanitizers report them), and no thread can be
// interrupted.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

namespace tw {

class cPublishedLockCount;

// What ended a trapped piece of work early.
struct sFaultRecord {
  uint32_t code = 0;           // the system's exception code; 0 for an interrupt
  uint64_t address = 0;        // instruction address of the fault or interrupt
  void* platformInfo = nullptr;  // EXCEPTION_POINTERS* while a decider runs; null afterwards
  bool interrupted = false;    // ended by InterruptSuspended, not by a fault
  // After a stack overflow: the thread's stack got its guard page back, so
  // that a second overflow on it is caught again (false when that failed).
  bool stackGuardRestored = false;
};

enum class eFaultVerdict {
  kRecover,  // end the work: its Run returns false
  kPass,     // let the next outer trap (or, after the last, the system) decide
  kRetry,    // continue at the faulting instruction (the decider mended the cause)
};

// The register state of the point where a trap resumes; filled by the
// platform's checkpoint routine, read by the fault handler. On x64 it holds
// the callee-saved vector registers too, hence its size there.
struct sTrapCheckpoint {
#if defined(__x86_64__)
  uint64_t words[32] = {};
#else
  uint32_t words[10] = {};
#endif
};

class cFaultTrap {
public:
  // Called on the faulting thread, inside the system's exception dispatch:
  // keep it short, do not wait for other threads, allocate nothing. A fault
  // inside a decider is passed on past the deciding trap. Null: recover from
  // every fault.
  using Decider = eFaultVerdict (*)(void* context, const sFaultRecord& fault);

  explicit cFaultTrap(Decider decide = nullptr, void* context = nullptr);
  ~cFaultTrap();
  cFaultTrap(const cFaultTrap&) = delete;
  cFaultTrap& operator=(const cFaultTrap&) = delete;

  // Runs work(arg) with the trap armed on the calling thread. True when the
  // work returned (or a language exception left it: that one propagates and
  // the trap is disarmed). False when the trap recovered from a fault or an
  // interrupt: Fault() then says what happened. One work at a time per trap;
  // traps nest.
  bool Run(void (*work)(void* arg), void* arg);

  // The same for any callable.
  template <class F>
  bool Run(F&& work) {
    using T = std::remove_reference_t<F>;
    return Run(&Invoke<T>, const_cast<void*>(static_cast<const void*>(&work)));
  }

  // The last fault or interrupt this trap recovered from.
  const sFaultRecord& Fault() const { return fault_; }

  // True while Run's work is under way.
  bool IsArmed() const { return armed_.load(std::memory_order_relaxed); }

  // From a controlling thread: ends the work of the first armed trap among
  // candidates, all of one thread that the caller has suspended (thread is
  // the platform's thread handle), as if it had faulted and that trap had
  // recovered. Only when the thread executes the program's own code (its
  // instruction pointer lies inside the main program image, not in a system
  // library, where it may hold the system's locks) and holds none of our
  // locks according to locks. The work resumes at its trap when the caller
  // resumes the thread. True when the thread was redirected; always false
  // in the native build. It makes no call that takes a process-wide lock
  // (loader, heap), which the suspended thread might hold.
  static bool InterruptSuspended(void* thread, cFaultTrap* const* candidates, int count,
                                 const cPublishedLockCount& locks);

private:
  template <class T>
  static void Invoke(void* p) {
    (*static_cast<T*>(p))();
  }

  friend struct sFaultTrapAccess;

  Decider decide_;
  void* context_;
  sTrapCheckpoint checkpoint_;
  sFaultRecord fault_;
  cFaultTrap* previous_ = nullptr;  // next outer armed trap of the thread
  std::atomic<bool> armed_{false};
  bool deciding_ = false;
};

}  // namespace tw
