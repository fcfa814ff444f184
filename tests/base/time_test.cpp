#include "base/time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/time_internal.h"
#include "tests/support/test_support.h"

namespace {

std::string Iso(const sDateTime& d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", d.year, d.month, d.day, d.hour, d.minute,
                d.second);
  return buf;
}

sDateTime ParseIso(const std::string& s) {
  unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
  EXPECT_EQ(std::sscanf(s.c_str(), "%u-%u-%uT%u:%u:%u", &y, &mo, &d, &h, &mi, &se), 6) << s;
  sDateTime t;
  t.year = static_cast<uint16_t>(y);
  t.month = static_cast<uint8_t>(mo);
  t.day = static_cast<uint8_t>(d);
  t.hour = static_cast<uint8_t>(h);
  t.minute = static_cast<uint8_t>(mi);
  t.second = static_cast<uint8_t>(se);
  return t;
}

sDateTime Dt(uint16_t y, uint8_t mo, uint8_t d, uint8_t h = 0, uint8_t mi = 0, uint8_t s = 0) {
  sDateTime t;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  return t;
}

// One row of tests/base/time_zones/cases.txt (see gen_cases.py there).
struct OracleRow {
  std::string zone, kind, input, expect;
};

std::vector<OracleRow> LoadOracle() {
  std::ifstream in(twtest::SourcePath("tests/base/time_zones/cases.txt"));
  EXPECT_TRUE(in.good()) << "cannot read the oracle table";
  std::vector<OracleRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    OracleRow r;
    fields >> r.zone >> r.kind >> r.input >> r.expect;
    rows.push_back(r);
  }
  return rows;
}

TEST(Time, DateTimeToUnixTime) {
  struct Case {
    sDateTime in;
    uint32_t expect;
  } cases[] = {
      {Dt(1970, 1, 1), 0},
      {Dt(1969, 12, 31, 23, 59, 59), 0},  // before 1970
      {Dt(1970, 1, 2), 86400},
      {Dt(2000, 2, 29, 12), 951825600},   // leap day of a 400-year
      {Dt(2000, 3, 1), 951868800},
      {Dt(2001, 1, 1), 978307200},
      {Dt(2038, 1, 19, 3, 14, 8), 2147483648u},
      {Dt(2100, 3, 1), 4107542400u},       // 2100 has no 29 February
      {Dt(2106, 2, 7, 6, 28, 15), 4294967295u},
      {Dt(2024, 0, 1), 0},                 // months outside 1..12 are refused
      {Dt(2024, 13, 1), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(DateTimeToUnixTime(c.in), c.expect) << Iso(c.in);
}

TEST(Time, IsLeapYear) {
  struct Case {
    uint32_t year;
    bool leap;
  } cases[] = {{2000, true}, {2024, true}, {1900, false}, {2023, false}, {2100, false}, {1600, true}, {4, true}};
  for (const auto& c : cases) EXPECT_EQ(IsLeapYear(c.year), c.leap) << c.year;
}

TEST(Time, FormatUnixTime) {
  struct Case {
    uint32_t seconds;
    std::u16string expect;
  } cases[] = {
      {0, u"-"},
      {0xFFFFFFFFu, u"-"},
      {86400, u"02.01.1970 00:00:00"},
      {951825600, u"29.02.2000 12:00:00"},
      {0xFFFFFFFEu, u"07.02.2106 06:28:14"},
      {1, u"01.01.1970 00:00:01"},
  };
  for (const auto& c : cases) {
    char16_t buf[tw::kFormatUnixTimeCapacity];
    std::fill(std::begin(buf), std::end(buf), u'#');
    ASSERT_TRUE(FormatUnixTime(c.seconds, buf));
    EXPECT_EQ(std::u16string(buf), c.expect) << c.seconds;
  }
  EXPECT_FALSE(FormatUnixTime(86400, nullptr));
}

TEST(Time, UnixTimeToFileTime) {
  EXPECT_EQ(UnixTimeToFileTime(0), 116444736000000000ull);
  EXPECT_EQ(UnixTimeToFileTime(-11644473600ll), 0u);  // 1601-01-01
  EXPECT_EQ(UnixTimeToFileTime(1), 116444736010000000ull);
}

// The counter arithmetic must stay exact past the point where counter x 10^6
// leaves 64 bits (21 days at 10 MHz).
TEST(Time, MicrosecondsFromCounterDoesNotOverflow) {
  struct Case {
    uint64_t counter, frequency, expect;
  } cases[] = {
      {0, 10000000, 0},
      {12345, 0, 0},                                            // no counter
      {25920001234567ull, 10000000, 2592000123456ull},          // 30 days at 10 MHz
      {12370908754567ull, 3579545, 3456000344894ull},           // 40 days at the ACPI timer rate
      {0xFFFFFFFFFFFFFFFFull, 10000000, 1844674407370955161ull},
      {0xFFFFFFFFFFFFFFFFull, 1000000000, 18446744073709551ull},
      {0xFFFFFFFFFFFFFFFFull, 3579545, 5153376776576227317ull},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tw::MicrosecondsFromCounter(c.counter, c.frequency), c.expect) << c.counter << " / " << c.frequency;
}

TEST(Time, MicrosecondsAdvanceAndNeverDecrease) {
  const uint64_t start = GetMicroseconds();
  ASSERT_NE(start, 0u);
  uint64_t last = start;
  for (int i = 0; i < 100000; ++i) {
    const uint64_t now = GetMicroseconds();
    ASSERT_GE(now, last);
    last = now;
  }
  const uint64_t before = GetMicroseconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const uint64_t slept = GetMicroseconds() - before;
  EXPECT_GE(slept, 40000u);
  EXPECT_LT(slept, 5000000u);
}

TEST(Time, NowAgreesWithTheRuntimeClock) {
  const int64_t ours = GetUnixTimeNow();
  const int64_t theirs =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_LE(std::llabs(ours - theirs), 2);
}

TEST(Time, LocalNowIsTheLocalFormOfUtcNow) {
  // Retry when a second boundary falls between the two readings.
  for (int attempt = 0; attempt < 5; ++attempt) {
    sDateTime local, viaFileTime;
    const int64_t before = GetUnixTimeNow();
    ASSERT_TRUE(GetLocalTimeNow(local));
    const int64_t after = GetUnixTimeNow();
    if (before != after) continue;
    ASSERT_TRUE(FileTimeToLocalDateTime(UnixTimeToFileTime(before), viaFileTime));
    EXPECT_EQ(Iso(local), Iso(viaFileTime));
    EXPECT_GE(local.year, 2024);
    return;
  }
  FAIL() << "the clock did not hold still for five attempts";
}

TEST(Time, RangeOfTheConversions) {
  sDateTime d;
  EXPECT_TRUE(tw::BreakDownUnixSeconds(-11644473600ll, d));
  EXPECT_EQ(Iso(d), "1601-01-01T00:00:00");
  EXPECT_FALSE(tw::BreakDownUnixSeconds(-11644473601ll, d));
  EXPECT_EQ(d.year, 0);
  EXPECT_TRUE(tw::BreakDownUnixSeconds(910692730085ll, d));  // the last second below FILETIME 2^63
  EXPECT_EQ(Iso(d), "30828-09-14T02:48:05");
  EXPECT_FALSE(tw::BreakDownUnixSeconds(910692730086ll, d));
  EXPECT_FALSE(FileTimeToLocalDateTime(0x8000000000000000ull, d));
  EXPECT_EQ(d.year, 0);
  // A value no conversion accepts comes back unchanged.
  EXPECT_EQ(LocalUnixToUtc(-20000000000ll), -20000000000ll);
}

TEST(TimeZoneOracle, UtcBreakdown) {
  int checked = 0;
  for (const OracleRow& r : LoadOracle()) {
    if (r.kind != "UTC") continue;
    const uint32_t u = static_cast<uint32_t>(std::stoull(r.input));
    sDateTime d;
    UnixTimeToDateTime(d, u);
    EXPECT_EQ(Iso(d), r.expect) << u;
    if (u != 0 && u != 0xFFFFFFFFu) {
      EXPECT_EQ(DateTimeToUnixTime(d), u) << r.expect;
    }
    ++checked;
  }
  EXPECT_GT(checked, 10);
}

// Checks the rows of the zone named by TZ: UTC instants to local time (the
// conversion file listings use) and local wall times to UTC, across each
// daylight-saving change of several years.
TEST(TimeZoneOracle, LocalTimeOfTheZoneInTZ) {
  const char* tz = std::getenv("TZ");
  if (tz == nullptr) GTEST_SKIP() << "TZ is not set; the test registrations set it";
  int checked = 0, failures = 0;
  for (const OracleRow& r : LoadOracle()) {
    if (r.zone != tz) continue;
    ++checked;
    if (r.kind == "U2L") {
      const int64_t u = std::stoll(r.input);
      sDateTime d;
      ASSERT_TRUE(FileTimeToLocalDateTime(UnixTimeToFileTime(u), d));
      if (Iso(d) != r.expect && ++failures <= 20) ADD_FAILURE() << tz << ": UTC " << u << " -> " << Iso(d) << ", want " << r.expect;
    } else if (r.kind == "L2U") {
      const int64_t wall = DateTimeToUnixTime(ParseIso(r.input));
      const int64_t got = LocalUnixToUtc(wall);
      if (got != std::stoll(r.expect) && ++failures <= 20)
        ADD_FAILURE() << tz << ": local " << r.input << " -> " << got << ", want " << r.expect;
    } else {
      ADD_FAILURE() << "unknown row kind " << r.kind;
    }
  }
  EXPECT_GT(checked, 50) << "no oracle rows for TZ=" << tz;
  EXPECT_EQ(failures, 0);
}

}  // namespace
