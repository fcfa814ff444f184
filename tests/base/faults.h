// Hardware faults made on purpose, with their Windows exception codes, for
// the tests of the fault trap and of the job's fault catching.
#pragma once

#include <cstdint>

namespace twtest {

constexpr uint32_t kAccessViolation = 0xC0000005;
constexpr uint32_t kIntDivideByZero = 0xC0000094;
constexpr uint32_t kIllegalInstruction = 0xC000001D;

// Opaque to the optimiser, so that each fault happens as written.
inline int* volatile g_null = nullptr;
inline volatile int g_zero = 0;
inline volatile int g_sink = 0;

inline void ReadNull() { g_sink = *static_cast<volatile int*>(g_null); }
inline void WriteNull() { *static_cast<volatile int*>(g_null) = 1; }
inline void DivideByZero() { g_sink = 10 / g_zero; }
inline void IllegalInstruction() { __builtin_trap(); }

// One deliberate fault and the exception code it must be reported with.
struct sFaultCase {
  const char* name;
  void (*fault)();
  uint32_t code;
};

// The faults every fault-catching layer must survive.
inline constexpr sFaultCase kCommonFaults[] = {
    {"read through null", &ReadNull, kAccessViolation},
    {"write through null", &WriteNull, kAccessViolation},
    {"integer division by zero", &DivideByZero, kIntDivideByZero},
    {"illegal instruction", &IllegalInstruction, kIllegalInstruction},
};

}  // namespace twtest
