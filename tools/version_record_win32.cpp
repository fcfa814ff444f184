// The version record written to the standard output handle (Win32).
#include "tools/version_record.h"

#include <windows.h>

int32_t WriteVersionRecord() {
  const uint64_t version = GetOwnVersion();
  if (version == tw::kNoVersion) return 1;
  // The handle the parent gave us; a GUI program has no console to open,
  // and none is wanted.
  STARTUPINFOW info = {};
  info.cb = sizeof(info);
  GetStartupInfoW(&info);
  if (info.hStdOutput == nullptr || info.hStdOutput == INVALID_HANDLE_VALUE) return 1;
  uint8_t record[tw::kVersionRecordSize];
  EncodeVersionRecord(version, record);
  DWORD written = 0;
  if (!WriteFile(info.hStdOutput, record, sizeof(record), &written, nullptr)) return 1;
  return written == sizeof(record) ? 0 : 1;
}
