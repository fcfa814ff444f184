// The platform-independent half of base/time.h: calendar arithmetic and
// formatting. See the header.
#include "base/time.h"

#include "base/time_internal.h"

namespace {

constexpr uint8_t kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int64_t kSecondsPerDay = 86400;

// Leap years in 1..y (proleptic Gregorian).
int64_t LeapsThrough(int64_t y) { return y / 4 - y / 100 + y / 400; }

// Writes value as exactly `digits` decimal digits (leading zeros).
char16_t* PutDigits(char16_t* p, uint32_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) {
    p[i] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  }
  return p + digits;
}

}  // namespace

namespace tw {

uint64_t MicrosecondsFromCounter(uint64_t counter, uint64_t frequency) {
  if (frequency == 0) return 0;
  // Divide before multiplying: (c % f) x 10^6 stays below f x 10^6.
  return (counter / frequency) * 1000000u + (counter % frequency) * 1000000u / frequency;
}

bool BreakDownUnixSeconds(int64_t seconds, sDateTime& out) {
  out = sDateTime{};
  // Bounds of a FILETIME in 0 .. 2^63 - 1, in Unix seconds.
  constexpr int64_t kMin = -kUnixEpochSeconds1601;
  constexpr int64_t kMax = INT64_MAX / kFileTimeUnitsPerSecond - kUnixEpochSeconds1601;
  if (seconds < kMin || seconds > kMax) return false;

  int64_t days = seconds / kSecondsPerDay;
  int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  // Civil date from a day count: shift the origin to 0000-03-01 so that the
  // leap day ends each 400-year era and each year, then split eras, years of
  // the era and days of the year; months run March..February in 153-day
  // five-month groups.
  const int64_t z = days + 719468;  // days from 0000-03-01 to 1970-01-01
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t dayOfEra = z - era * 146097;                                       // 0..146096
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);  // 0..365
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;                          // 0 = March
  const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

  out.year = static_cast<uint16_t>(year);
  out.month = static_cast<uint8_t>(month);
  out.day = static_cast<uint8_t>(day);
  out.hour = static_cast<uint8_t>(rest / 3600);
  out.minute = static_cast<uint8_t>(rest / 60 % 60);
  out.second = static_cast<uint8_t>(rest % 60);
  return true;
}

}  // namespace tw

uint64_t UnixTimeToFileTime(int64_t seconds) {
  // Unsigned arithmetic: out-of-range values wrap instead of overflowing.
  return (static_cast<uint64_t>(seconds) + static_cast<uint64_t>(tw::kUnixEpochSeconds1601)) *
         static_cast<uint64_t>(tw::kFileTimeUnitsPerSecond);
}

bool IsLeapYear(uint32_t year) {
  return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

uint32_t DateTimeToUnixTime(const sDateTime& dt) {
  if (dt.year < 1970 || dt.month < 1 || dt.month > 12) return 0;
  int64_t days = 365 * static_cast<int64_t>(dt.year - 1970) + LeapsThrough(dt.year - 1) - LeapsThrough(1969);
  for (int m = 1; m < dt.month; ++m) days += kMonthDays[m - 1];
  if (dt.month > 2 && IsLeapYear(dt.year)) ++days;
  const int64_t seconds = ((((days + dt.day - 1) * 24 + dt.hour) * 60 + dt.minute) * 60) + dt.second;
  // Day 0 of January 1970 would be negative; the rest wraps past 2106.
  if (seconds < 0) return 0;
  return static_cast<uint32_t>(seconds);
}

bool FormatUnixTime(uint32_t seconds, char16_t* out) {
  if (out == nullptr) return false;
  if (seconds == 0 || seconds == 0xFFFFFFFFu) {  // never set, or -1
    out[0] = u'-';
    out[1] = 0;
    return true;
  }
  sDateTime dt;
  UnixTimeToDateTime(dt, seconds);
  char16_t* p = out;
  p = PutDigits(p, dt.day, 2);
  *p++ = u'.';
  p = PutDigits(p, dt.month, 2);
  *p++ = u'.';
  p = PutDigits(p, dt.year, 4);
  *p++ = u' ';
  p = PutDigits(p, dt.hour, 2);
  *p++ = u':';
  p = PutDigits(p, dt.minute, 2);
  *p++ = u':';
  p = PutDigits(p, dt.second, 2);
  *p = 0;
  return true;
}
