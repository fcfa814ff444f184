// Win32 side of base/time.h: the clocks and the time-zone conversions through
// kernel32. Only this file of the time service includes windows.h.
#include <windows.h>

#include <atomic>

#include "base/time.h"
#include "base/time_internal.h"

namespace {

// The zone conversions and their Ex forms differ only in the type of the
// zone argument, which is always null here (the current zone).
using LocalToUtcFn = BOOL(WINAPI*)(const void* zone, const SYSTEMTIME* local, SYSTEMTIME* utc);
using UtcToLocalFn = BOOL(WINAPI*)(const void* zone, const SYSTEMTIME* utc, SYSTEMTIME* local);

// The looked-up conversions: kNotLookedUp until the first call, then the
// address or null. Each thread stores the same value, so a race between two
// first calls is harmless; the atomics keep the pointers written as a whole.
void* const kNotLookedUp = reinterpret_cast<void*>(1);
std::atomic<void*> gLocalToUtc{kNotLookedUp};
std::atomic<void*> gUtcToLocalEx{kNotLookedUp};
// Counter ticks per second, 0 until read.
std::atomic<uint64_t> gCounterFrequency{0};

LocalToUtcFn LocalToUtcFunction() {
  void* fn = gLocalToUtc.load(std::memory_order_acquire);
  if (fn == kNotLookedUp) {
    HMODULE k32 = GetModuleHandleW(L"kernel32.dll");
    FARPROC p = nullptr;
    if (k32 != nullptr) {
      // The Ex form honours the zone's year-specific (dynamic) rules.
      p = GetProcAddress(k32, "TzSpecificLocalTimeToSystemTimeEx");
      if (p == nullptr) p = GetProcAddress(k32, "TzSpecificLocalTimeToSystemTime");
    }
    fn = reinterpret_cast<void*>(p);
    gLocalToUtc.store(fn, std::memory_order_release);
  }
  return reinterpret_cast<LocalToUtcFn>(fn);
}

BOOL WINAPI UtcToLocalPlain(const void*, const SYSTEMTIME* utc, SYSTEMTIME* local) {
  return SystemTimeToTzSpecificLocalTime(nullptr, utc, local);
}

// SystemTimeToTzSpecificLocalTimeEx where the system has it (Windows 7 on):
// like the Ex form used towards UTC, it applies the rules of the year being
// converted, so both directions agree for past years too.
UtcToLocalFn UtcToLocalFunction() {
  void* fn = gUtcToLocalEx.load(std::memory_order_acquire);
  if (fn == kNotLookedUp) {
    HMODULE k32 = GetModuleHandleW(L"kernel32.dll");
    fn = k32 != nullptr ? reinterpret_cast<void*>(GetProcAddress(k32, "SystemTimeToTzSpecificLocalTimeEx")) : nullptr;
    gUtcToLocalEx.store(fn, std::memory_order_release);
  }
  return fn != nullptr ? reinterpret_cast<UtcToLocalFn>(fn) : &UtcToLocalPlain;
}

FILETIME ToFileTime(uint64_t value) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(value);
  ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return ft;
}

uint64_t FromFileTime(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void CopyFields(const SYSTEMTIME& st, sDateTime& out) {
  out.year = st.wYear;
  out.month = static_cast<uint8_t>(st.wMonth);
  out.day = static_cast<uint8_t>(st.wDay);
  out.hour = static_cast<uint8_t>(st.wHour);
  out.minute = static_cast<uint8_t>(st.wMinute);
  out.second = static_cast<uint8_t>(st.wSecond);
}

}  // namespace

int64_t GetUnixTimeNow() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return (static_cast<int64_t>(FromFileTime(ft)) - tw::kUnixEpochFileTime) / tw::kFileTimeUnitsPerSecond;
}

bool GetLocalTimeNow(sDateTime& out) {
  out = sDateTime{};
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  if (SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) CopyFields(local, out);
  return true;
}

void UnixTimeToDateTime(sDateTime& out, uint32_t seconds) {
  out = sDateTime{};
  const FILETIME ft = ToFileTime(UnixTimeToFileTime(seconds));
  SYSTEMTIME st;
  if (FileTimeToSystemTime(&ft, &st)) CopyFields(st, out);
}

bool FileTimeToLocalDateTime(uint64_t fileTime, sDateTime& out) {
  out = sDateTime{};
  // Through SYSTEMTIME rather than FileTimeToLocalFileTime, which would apply
  // today's offset to every date instead of the one in effect at the time.
  const FILETIME ft = ToFileTime(fileTime);
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&ft, &utc)) return false;
  if (!UtcToLocalFunction()(nullptr, &utc, &local)) return false;
  CopyFields(local, out);
  return true;
}

int64_t LocalUnixToUtc(int64_t seconds) {
  const FILETIME ft = ToFileTime(UnixTimeToFileTime(seconds));
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&ft, &st)) return seconds;
  LocalToUtcFn convert = LocalToUtcFunction();
  if (convert == nullptr) return seconds;
  SYSTEMTIME utc = st;
  if (!convert(nullptr, &st, &utc)) return seconds;
  FILETIME out;
  if (!SystemTimeToFileTime(&utc, &out)) return seconds;
  return (static_cast<int64_t>(FromFileTime(out)) - tw::kUnixEpochFileTime) / tw::kFileTimeUnitsPerSecond;
}

uint64_t GetMicroseconds() {
  uint64_t frequency = gCounterFrequency.load(std::memory_order_relaxed);
  if (frequency == 0) {
    LARGE_INTEGER f;
    if (!QueryPerformanceFrequency(&f) || f.QuadPart <= 0) return 0;
    frequency = static_cast<uint64_t>(f.QuadPart);
    gCounterFrequency.store(frequency, std::memory_order_relaxed);
  }
  LARGE_INTEGER c;
  if (!QueryPerformanceCounter(&c)) return 0;
  return tw::MicrosecondsFromCounter(static_cast<uint64_t>(c.QuadPart), frequency);
}
