#include "base/fault_trap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "tests/base/faults.h"

namespace {

using tw::cFaultTrap;
using tw::eFaultVerdict;
using tw::sFaultRecord;
using twtest::DivideByZero;
using twtest::IllegalInstruction;
using twtest::kAccessViolation;
using twtest::kIllegalInstruction;
using twtest::kIntDivideByZero;
using twtest::ReadNull;
using twtest::WriteNull;
using twtest::kCommonFaults;
using twtest::sFaultCase;

// The floating-point modes of the calling thread (x87 and SSE units).
uint16_t FpuControl() {
  uint16_t cw = 0;
  asm volatile("fnstcw %0" : "=m"(cw) : : "memory");
  return cw;
}
void SetFpuControl(uint16_t cw) { asm volatile("fldcw %0" : : "m"(cw) : "memory"); }
uint32_t Mxcsr() {
  uint32_t v = 0;
  asm volatile("stmxcsr %0" : "=m"(v) : : "memory");
  return v;
}
void SetMxcsr(uint32_t v) { asm volatile("ldmxcsr %0" : : "m"(v) : "memory"); }

constexpr uint16_t kFpuRoundingBits = 0x0C00;
constexpr uint32_t kMxcsrModeBits = 0xFFC0;  // masks, rounding, flush-to-zero; not the status flags

struct sCounted {
  int* destroyed;
  ~sCounted() { ++*destroyed; }
};

TEST(FaultTrap, WorkThatReturnsIsUndisturbed) {
  cFaultTrap trap;
  bool armedInside = false;
  int value = 0;
  EXPECT_TRUE(trap.Run([&] {
    armedInside = trap.IsArmed();
    value = 42;
  }));
  EXPECT_TRUE(armedInside);
  EXPECT_FALSE(trap.IsArmed());
  EXPECT_EQ(value, 42);
}

TEST(FaultTrap, RecoversFromFaultsWithoutUnwinding) {
  for (const sFaultCase& c : kCommonFaults) {
    SCOPED_TRACE(c.name);
    cFaultTrap trap;
    int destroyed = 0;
    int reached = 0;
    const bool returned = trap.Run([&] {
      sCounted counted{&destroyed};
      reached = 1;
      c.fault();
      reached = 2;
    });
    EXPECT_FALSE(returned);
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(destroyed, 0) << "the abandoned frames are not unwound";
    EXPECT_EQ(trap.Fault().code, c.code);
    EXPECT_NE(trap.Fault().address, 0u);
    EXPECT_FALSE(trap.Fault().interrupted);
    EXPECT_EQ(trap.Fault().platformInfo, nullptr);
    EXPECT_FALSE(trap.IsArmed());
    // The trap, the thread and its stack are fit for more work.
    EXPECT_TRUE(trap.Run([&] { reached = 3; }));
    EXPECT_EQ(reached, 3);
  }
}

// Work that changes the rounding modes and then faults must not leave them
// changed for the code that goes on after the recovery.
TEST(FaultTrap, RecoveryRestoresTheFloatingPointModes) {
  const uint16_t savedCw = FpuControl();
  const uint32_t savedMxcsr = Mxcsr();
  // Modes at the start of the work: 53-bit precision, round toward zero.
  const uint16_t startCw = static_cast<uint16_t>((savedCw & ~0x0F00u) | 0x0200u | 0x0C00u);
  const uint32_t startMxcsr = (savedMxcsr & ~0xE000u) | 0x6000u;
  SetFpuControl(startCw);
  SetMxcsr(startMxcsr);
  cFaultTrap trap;
  const bool returned = trap.Run([] {
    SetFpuControl(static_cast<uint16_t>((FpuControl() & ~kFpuRoundingBits) | 0x0400u));  // down
    SetMxcsr((Mxcsr() & ~0x6000u) | 0x4000u | 0x8000u);  // up, flush to zero
    WriteNull();
  });
  const uint16_t afterCw = FpuControl();
  const uint32_t afterMxcsr = Mxcsr();
  SetFpuControl(savedCw);
  SetMxcsr(savedMxcsr);
  EXPECT_FALSE(returned);
  EXPECT_EQ(afterCw, startCw);
  EXPECT_EQ(afterMxcsr & kMxcsrModeBits, startMxcsr & kMxcsrModeBits);
}

TEST(FaultTrap, ManyRecoveriesInARow) {
  cFaultTrap trap;
  int recovered = 0;
  for (int i = 0; i < 2000; ++i)
    if (!trap.Run([] { WriteNull(); })) ++recovered;
  EXPECT_EQ(recovered, 2000);
}

struct sDecisions {
  int calls = 0;
  eFaultVerdict answer = eFaultVerdict::kRecover;
  bool sawInfo = false;
  uint32_t code = 0;
};

eFaultVerdict Decide(void* context, const sFaultRecord& fault) {
  auto* d = static_cast<sDecisions*>(context);
  ++d->calls;
  d->sawInfo = fault.platformInfo != nullptr;
  d->code = fault.code;
  return d->answer;
}

TEST(FaultTrap, InnerTrapPassesToOuter) {
  sDecisions innerSays, outerSays;
  innerSays.answer = eFaultVerdict::kPass;
  cFaultTrap outer(&Decide, &outerSays);
  cFaultTrap inner(&Decide, &innerSays);
  bool innerReturned = true;
  const bool outerReturned = outer.Run([&] { innerReturned = inner.Run([] { ReadNull(); }); });
  EXPECT_FALSE(outerReturned);
  EXPECT_TRUE(innerReturned) << "untouched: the inner work was abandoned";
  EXPECT_EQ(innerSays.calls, 1);
  EXPECT_EQ(outerSays.calls, 1);
  EXPECT_TRUE(outerSays.sawInfo);
  EXPECT_EQ(outerSays.code, kAccessViolation);
  EXPECT_FALSE(inner.IsArmed());
  EXPECT_FALSE(outer.IsArmed());
  // The thread's chain no longer holds the abandoned inner trap.
  sDecisions fresh;
  cFaultTrap next(&Decide, &fresh);
  EXPECT_FALSE(next.Run([] { ReadNull(); }));
  EXPECT_EQ(fresh.calls, 1);
  EXPECT_EQ(innerSays.calls, 1);
  EXPECT_EQ(outerSays.calls, 1);
}

TEST(FaultTrap, InnerRecoveryLeavesOuterWorkGoing) {
  sDecisions innerSays, outerSays;
  cFaultTrap outer(&Decide, &outerSays);
  cFaultTrap inner(&Decide, &innerSays);
  int after = 0;
  EXPECT_TRUE(outer.Run([&] {
    EXPECT_FALSE(inner.Run([] { DivideByZero(); }));
    after = 1;
    EXPECT_TRUE(outer.IsArmed());
  }));
  EXPECT_EQ(after, 1);
  EXPECT_EQ(innerSays.calls, 1);
  EXPECT_EQ(outerSays.calls, 0);
}

sDecisions g_faultingDecider;
eFaultVerdict FaultingDecide(void*, const sFaultRecord&) {
  ++g_faultingDecider.calls;
  WriteNull();
  return eFaultVerdict::kRecover;
}

TEST(FaultTrap, FaultInsideADeciderGoesToTheOuterTrap) {
  g_faultingDecider = {};
  sDecisions outerSays;
  cFaultTrap outer(&Decide, &outerSays);
  cFaultTrap inner(&FaultingDecide, nullptr);
  EXPECT_FALSE(outer.Run([&] { inner.Run([] { ReadNull(); }); }));
  EXPECT_EQ(g_faultingDecider.calls, 1);
  EXPECT_EQ(outerSays.calls, 1);
  EXPECT_EQ(outerSays.code, kAccessViolation);
}

TEST(FaultTrap, LanguageExceptionsPassThroughAndDisarm) {
  sDecisions says;
  cFaultTrap trap(&Decide, &says);
  EXPECT_THROW(trap.Run([] { throw std::runtime_error("not a fault"); }), std::runtime_error);
  EXPECT_FALSE(trap.IsArmed());
  EXPECT_EQ(says.calls, 0);
  EXPECT_FALSE(trap.Run([] { ReadNull(); }));
  EXPECT_EQ(says.calls, 1);
}

TEST(FaultTrap, OnlyTheFaultingThreadsTrapsDecide) {
  sDecisions idleSays, busySays;
  std::atomic<bool> idleArmed{false}, release{false};
  std::thread idle([&] {
    cFaultTrap trap(&Decide, &idleSays);
    trap.Run([&] {
      idleArmed = true;
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
  });
  while (!idleArmed) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  cFaultTrap trap(&Decide, &busySays);
  EXPECT_FALSE(trap.Run([] { WriteNull(); }));
  release = true;
  idle.join();
  EXPECT_EQ(busySays.calls, 1);
  EXPECT_EQ(idleSays.calls, 0);
}

}  // namespace

namespace {

// Each frame keeps its buffer live across the call, so no tail call or loop
// replaces the recursion.
volatile int g_neverDepth = -1;
volatile int g_overflowSink = 0;
__attribute__((noinline)) int RecurseDeep(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth == g_neverDepth) return 0;  // never true; the compiler cannot tell
  return RecurseDeep(depth + 1) + frame[0];
}

constexpr uint32_t kStackOverflowCode = 0xC00000FD;

}  // namespace

// Recovery gives the stack its guard page back, so a second and third
// overflow on the same thread are caught again instead of ending the process.
// (Wine puts the guard page back by itself; what the test checks there is
// that the restoring call is made and succeeds.)
TEST(FaultTrap, StackOverflowTwiceOnOneThread) {
  std::thread worker([] {
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(round);
      cFaultTrap trap;
      EXPECT_FALSE(trap.Run([] { g_overflowSink = RecurseDeep(0); }));
      EXPECT_EQ(trap.Fault().code, kStackOverflowCode);
      EXPECT_TRUE(trap.Fault().stackGuardRestored);
    }
  });
  worker.join();
}
