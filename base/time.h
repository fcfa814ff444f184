// Time in the system's three forms and the conversions between them:
//   Unix seconds   - stored in the configuration store and in package data;
//   FILETIME       - 100-nanosecond units since 1601-01-01 UTC, the unit of
//                    file times (a plain 64-bit value here on every target);
//   sDateTime      - broken-down time shown to the user.
// Local time always means the current time zone of the process (on Linux the
// TZ variable or /etc/localtime; under Windows and Wine the system zone, which
// Wine derives from TZ).
//
// No function here throws or allocates. Failed platform conversions leave
// zeros or the unconverted value, as each function says.
#pragma once

#include <cstdint>

struct sDateTime {
  uint16_t year = 0;   // four digits
  uint8_t month = 0;   // 1..12
  uint8_t day = 0;     // 1..31
  uint8_t hour = 0;    // 0..23
  uint8_t minute = 0;  // 0..59
  uint8_t second = 0;  // 0..59
};

namespace tw {
// Seconds from 1601-01-01 to 1970-01-01, and the same in FILETIME units.
inline constexpr int64_t kUnixEpochSeconds1601 = 11644473600ll;
inline constexpr int64_t kUnixEpochFileTime = 116444736000000000ll;
inline constexpr int64_t kFileTimeUnitsPerSecond = 10000000ll;
// The caller's buffer that FormatUnixTime fills, in UTF-16 units.
inline constexpr int kFormatUnixTimeCapacity = 100;
}  // namespace tw

// The current UTC time in Unix seconds: (FILETIME now - epoch) / 10^7,
// truncated toward zero.
int64_t GetUnixTimeNow();

// The current local date and time. Returns true; when the platform cannot
// convert to local time the record is all zero.
bool GetLocalTimeNow(sDateTime& out);

// Unix seconds to the UTC broken-down time. Every 32-bit value converts.
void UnixTimeToDateTime(sDateTime& out, uint32_t seconds);

// (seconds + 11644473600) x 10^7 as a FILETIME value. Values that do not fit
// in 64 bits wrap; callers pass times between 1601 and 30828.
uint64_t UnixTimeToFileTime(int64_t seconds);

// A FILETIME value to the local broken-down time, with the offset (standard
// or daylight) in effect at that instant. False, out all zero, when the value
// lies outside the platform's range. File listings and file information use
// it for their "local time of the last write".
bool FileTimeToLocalDateTime(uint64_t fileTime, sDateTime& out);

// Unix seconds that denote a local wall-clock time, turned into UTC Unix
// seconds. A wall time that occurs twice (clocks turned back) or not at all
// (clocks turned forward) is read with the daylight-saving offset, as Windows
// does. When no conversion is possible the value comes back unchanged.
int64_t LocalUnixToUtc(int64_t seconds);

// Microseconds of a monotonic counter with an unspecified origin; 0 when the
// platform has no counter. Never decreases within one process.
uint64_t GetMicroseconds();

// Gregorian: divisible by 400, or by 4 and not by 100.
bool IsLeapYear(uint32_t year);

// The broken-down time read as UTC, in Unix seconds. 0 for a year before
// 1970 or a month outside 1..12; times after 2106-02-07 06:28:15 wrap to 32
// bits.
uint32_t DateTimeToUnixTime(const sDateTime& dt);

// Writes "DD.MM.YYYY hh:mm:ss" (UTC) into out, a buffer of
// tw::kFormatUnixTimeCapacity units; 0 and 0xFFFFFFFF (unset, -1) write "-".
// False only for a null buffer.
bool FormatUnixTime(uint32_t seconds, char16_t* out);
