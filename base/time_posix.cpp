// Linux side of base/time.h: clock_gettime for the clocks and the C
// library's zone database (TZ, else /etc/localtime) through localtime_r. The
// results match what the Win32 side computes under Wine with the same TZ.
#include <time.h>

#include <mutex>

#include "base/time.h"
#include "base/time_internal.h"

namespace {

// localtime_r need not read TZ itself; read it once per process, as Windows
// reads its zone once.
void InitZone() {
  static std::once_flag once;
  std::call_once(once, [] { tzset(); });
}

struct sOffset {
  int64_t seconds = 0;  // local minus UTC
  bool daylight = false;
  bool valid = false;
};

sOffset OffsetAt(int64_t utc) {
  sOffset o;
  const time_t t = static_cast<time_t>(utc);
  struct tm tm;
  if (localtime_r(&t, &tm) == nullptr) return o;
  o.seconds = tm.tm_gmtoff;
  o.daylight = tm.tm_isdst > 0;
  o.valid = true;
  return o;
}

int64_t FileTimeToUnixSeconds(uint64_t fileTime) {
  return static_cast<int64_t>(fileTime / tw::kFileTimeUnitsPerSecond) - tw::kUnixEpochSeconds1601;
}

}  // namespace

int64_t GetUnixTimeNow() {
  struct timespec ts;
  if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return 0;
  // Same arithmetic as from a FILETIME: whole seconds, truncated toward zero.
  const int64_t fileTime = (static_cast<int64_t>(ts.tv_sec) + tw::kUnixEpochSeconds1601) * tw::kFileTimeUnitsPerSecond +
                           ts.tv_nsec / 100;
  return (fileTime - tw::kUnixEpochFileTime) / tw::kFileTimeUnitsPerSecond;
}

bool GetLocalTimeNow(sDateTime& out) {
  out = sDateTime{};
  struct timespec ts;
  if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return true;
  InitZone();
  const sOffset o = OffsetAt(ts.tv_sec);
  if (o.valid) tw::BreakDownUnixSeconds(static_cast<int64_t>(ts.tv_sec) + o.seconds, out);
  return true;
}

void UnixTimeToDateTime(sDateTime& out, uint32_t seconds) {
  tw::BreakDownUnixSeconds(seconds, out);
}

bool FileTimeToLocalDateTime(uint64_t fileTime, sDateTime& out) {
  out = sDateTime{};
  if (fileTime > static_cast<uint64_t>(INT64_MAX)) return false;  // beyond FileTimeToSystemTime too
  InitZone();
  const int64_t utc = FileTimeToUnixSeconds(fileTime);
  const sOffset o = OffsetAt(utc);
  if (!o.valid) return false;
  return tw::BreakDownUnixSeconds(utc + o.seconds, out);
}

int64_t LocalUnixToUtc(int64_t seconds) {
  sDateTime probe;
  if (!tw::BreakDownUnixSeconds(seconds, probe)) return seconds;  // as FileTimeToSystemTime fails
  InitZone();
  // The offsets in force a day either side cover any transition near this
  // wall time. A candidate UTC time is right when the offset in force at it
  // gives back the wall time. Two right candidates: the wall time occurs
  // twice; none: it falls in a gap. Windows reads both with the daylight
  // offset, and so do we.
  const sOffset around[3] = {OffsetAt(seconds - 86400), OffsetAt(seconds), OffsetAt(seconds + 86400)};
  bool found = false;
  sOffset best;
  for (const sOffset& o : around) {
    if (!o.valid) continue;
    const sOffset at = OffsetAt(seconds - o.seconds);
    if (!at.valid || at.seconds != o.seconds) continue;
    if (!found || (o.daylight && !best.daylight)) best = o;
    found = true;
  }
  if (!found) {
    for (const sOffset& o : around) {
      if (!o.valid) continue;
      if (!found || (o.daylight && !best.daylight)) best = o;
      found = true;
    }
  }
  if (!found) return seconds;
  return seconds - best.seconds;
}

uint64_t GetMicroseconds() {
  struct timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
  const uint64_t ns = static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
  return tw::MicrosecondsFromCounter(ns, 1000000000u);
}
