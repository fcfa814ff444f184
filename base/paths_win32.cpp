// Win32 side of base/paths.h: file-system calls on long paths, environment
// variables, the Windows folder fallbacks and the version tests. Only this
// file of the path service includes windows.h.
#include <windows.h>

#include <atomic>
#include <string>

#include "base/paths.h"
#include "base/paths_internal.h"
#include "base/win_text.h"

namespace {

bool IsDirectory(const std::u16string& path) { return GetPathKind(path.c_str()) == tw::kPathDirectory; }

std::atomic<uint32_t> gMajorVersion{0};  // 0 until computed

}  // namespace

namespace tw {

bool ReadEnvironment(const char16_t* name, std::u16string& out) {
  std::u16string value(260, u'\0');
  for (;;) {
    const DWORD n = GetEnvironmentVariableW(ToWin(name), ToWin(value.data()), static_cast<DWORD>(value.size()));
    // 0: missing (or empty); below the size: the length written; otherwise the
    // size needed with the terminator, and the variable may change between calls.
    if (n == 0) return false;
    if (n < value.size()) {
      value.resize(n);
      out = value;
      return true;
    }
    value.assign(n, u'\0');
  }
}

bool PlatformHomeFallback(std::u16string&) { return false; }
bool PlatformTempFallback(std::u16string&) { return false; }

bool PlatformUserDataRoot(const std::u16string& home, std::u16string& out) {
  std::u16string roaming = home + u"/AppData/Roaming/";
  out = IsDirectory(roaming) ? roaming : home;
  return true;
}

bool PlatformMachineDataRoot(std::u16string& out) {
  std::u16string all;
  if (ReadEnvironment(u"ALLUSERSPROFILE", all) && IsDirectory(all)) {
    const std::u16string appData = all + u"/Application Data";
    out = IsDirectory(appData) ? appData : all;
    return true;
  }
  std::u16string drive;  // the letter and its colon
  if (!ReadEnvironment(u"HOMEDRIVE", drive)) return false;
  for (const char16_t* tail : {u"/ProgramData", u"/Documents and Settings/All Users/Application Data"}) {
    if (IsDirectory(drive + tail)) {
      out = drive + tail;
      return true;
    }
  }
  return false;
}

}  // namespace tw

int GetPathKind(const char16_t* path) {
  _typebuf<char16_t> longPath;
  if (!MakeLongPath(longPath, path)) return tw::kPathMissing;
  const DWORD attr = GetFileAttributesW(tw::ToWin(longPath.data));
  if (attr == INVALID_FILE_ATTRIBUTES) return tw::kPathMissing;
  if (attr & FILE_ATTRIBUTE_DIRECTORY) return tw::kPathDirectory;
  if (attr & FILE_ATTRIBUTE_DEVICE) return tw::kPathDevice;
  return tw::kPathFile;
}

bool CreateDirectoryLong(const char16_t* path) {
  _typebuf<char16_t> longPath;
  if (!MakeLongPath(longPath, path)) return false;
  if (CreateDirectoryW(tw::ToWin(longPath.data), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && GetPathKind(path) == tw::kPathDirectory;
}

bool RemoveDirectoryLong(const char16_t* path) {
  _typebuf<char16_t> longPath;
  if (!MakeLongPath(longPath, path)) return false;
  if (RemoveDirectoryW(tw::ToWin(longPath.data))) return true;
  return GetLastError() == ERROR_FILE_NOT_FOUND;  // gone already; a missing parent is an error
}

bool GetFileInfo(const char16_t* path, sFileInfo& out) {
  if (path == nullptr) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(tw::ToWin(path), GetFileExInfoStandard, &data)) return false;
  auto fileTime = [](const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  };
  sFileInfo info;
  info.attributes = data.dwFileAttributes;
  FileTimeToLocalDateTime(fileTime(data.ftCreationTime), info.creationTime);
  FileTimeToLocalDateTime(fileTime(data.ftLastAccessTime), info.lastAccessTime);
  FileTimeToLocalDateTime(fileTime(data.ftLastWriteTime), info.lastWriteTime);
  info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  out = info;
  return true;
}

uint32_t GetOsMajorVersion() {
  uint32_t major = gMajorVersion.load(std::memory_order_relaxed);
  if (major != 0) return major;
  // GetVersionEx lies to programs without a compatibility manifest; the
  // ntdll call does not.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  major = 4;
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto fn = ntdll != nullptr ? reinterpret_cast<RtlGetVersionFn>(
                                   reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                             : nullptr;
  if (fn != nullptr) {
    OSVERSIONINFOEXW info = {};
    static_assert(sizeof info == 284, "the record size RtlGetVersion expects for the Ex form");
    info.dwOSVersionInfoSize = sizeof info;
    if (fn(&info) == 0) major = info.dwMajorVersion;
  }
  gMajorVersion.store(major, std::memory_order_relaxed);
  return major;
}

bool IsWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE k32 = GetModuleHandleW(L"kernel32");
  if (k32 == nullptr) return false;
  auto fn = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(GetProcAddress(k32, "IsWow64Process")));
  BOOL wow = FALSE;
  return fn != nullptr && fn(GetCurrentProcess(), &wow) && wow;
}
