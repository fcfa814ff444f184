// The version probe of an installed manager (Win32): the manager runs as a
// child with its standard output on a pipe.
#include <windows.h>

#include <vector>

#include "base/paths.h"
#include "base/strings.h"
#include "base/win_text.h"
#include "tools/manager_location.h"
#include "tools/version_record.h"

namespace {

// Reads what is waiting in the pipe, one ReadFile of exactly that much; a
// read of one whole record sets version (a later one replaces it).
void ReadWaiting(HANDLE pipe, uint64_t& version) {
  DWORD waiting = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) return;
  std::vector<uint8_t> bytes(waiting);
  DWORD got = 0;
  if (!ReadFile(pipe, bytes.data(), waiting, &got, nullptr)) return;
  if (got == tw::kVersionRecordSize) {
    const uint64_t v = DecodeVersionRecord(bytes.data());
    if (v != tw::kNoVersion) version = v;
  }
}

}  // namespace

uint64_t QueryManagerVersion(const char16_t* managerPath, uint32_t timeoutMs) {
  if (GetPathKind(managerPath) != tw::kPathFile) return tw::kNoVersion;

  // Quoted: unquoted, "C:\Program Files\..." would first start a planted
  // C:\Program.exe, with the installer's rights.
  std::vector<wchar_t> line;
  line.push_back(L'"');
  for (const char16_t* p = managerPath; *p != 0; ++p) line.push_back(*p == u'/' ? L'\\' : *p);
  for (const wchar_t* p = L"\" version"; *p != 0; ++p) line.push_back(*p);
  line.push_back(0);

  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return tw::kNoVersion;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  PROCESS_INFORMATION pi = {};
  const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                      NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return tw::kNoVersion;
  }
  CloseHandle(pi.hThread);

  // Poll with a pause (the wait wakes at once when the child ends) and a
  // limit: a manager that never ends must not hold the installer forever.
  uint64_t version = tw::kNoVersion;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  bool ended = false;
  for (;;) {
    ReadWaiting(readEnd, version);
    if (ended) break;
    if (WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0) {
      // One more look: a record written just before the end is still in
      // the pipe.
      ended = true;
      continue;
    }
    if (GetTickCount64() >= deadline) {
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, 5000);
      version = tw::kNoVersion;
      break;
    }
  }
  CloseHandle(pi.hProcess);
  CloseHandle(readEnd);
  return version;
}
