// Arithmetic shared by the platform files of base/time.h and its tests.
// Not part of the public interface.
#pragma once

#include <cstdint>

#include "base/time.h"

namespace tw {

// counter / frequency in microseconds without overflowing: the whole seconds
// and the remainder are scaled apart, so the result is exact for any counter
// as long as frequency < 1.8e13 (counters tick at most at 10 MHz on Windows and
// 1 GHz on Linux). A multiply-first formula overflows after 2^64 / (10^6 x f)
// ticks, about 21 days of uptime at 10 MHz. 0 when frequency is 0.
uint64_t MicrosecondsFromCounter(uint64_t counter, uint64_t frequency);

// Seconds since 1970-01-01 (any sign) to the proleptic Gregorian broken-down
// time. False, out all zero, outside the range of the Windows conversions
// (before 1601-01-01, or a FILETIME of 2^63 and above), so that both targets
// accept the same values.
bool BreakDownUnixSeconds(int64_t seconds, sDateTime& out);

}  // namespace tw
