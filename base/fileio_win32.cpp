// cFileIO and the long-path file functions over the Win32 file API. Only
// kernel32 file calls live here; the portable parts are in fileio.cpp.
#include <windows.h>

#include "base/fileio.h"
#include "base/fileio_internal.h"
#include "base/paths.h"
#include "base/time.h"
#include "base/win_text.h"

namespace {

HANDLE H(tFileHandle h) { return reinterpret_cast<HANDLE>(h); }

DWORD AccessOf(int flags) {
  DWORD access = 0;
  if (flags & kFileRead) access |= GENERIC_READ;
  if (flags & kFileWrite) access |= GENERIC_WRITE;
  return access;
}

DWORD ShareOf(int flags) {
  if (flags & kFileShareNone) return 0;
  if (flags & kFileShareRead) return FILE_SHARE_READ;
  return FILE_SHARE_READ | FILE_SHARE_WRITE;
}

tFileHandle OpenWith(const char16_t* path, int flags, DWORD disposition, DWORD attributes) {
  _typebuf<char16_t> longPath;
  if (!MakeLongPath(longPath, path)) return kInvalidFileHandle;
  HANDLE h = CreateFileW(tw::ToWin(longPath.data), AccessOf(flags), ShareOf(flags), nullptr,
                         disposition, attributes, nullptr);
  return reinterpret_cast<tFileHandle>(h);  // INVALID_HANDLE_VALUE is -1
}

// Local Unix seconds as a FILETIME in UTC.
FILETIME FileTimeOf(uint64_t localSeconds) {
  const int64_t utc = LocalUnixToUtc(static_cast<int64_t>(localSeconds));
  const uint64_t ticks = (static_cast<uint64_t>(utc) + 11644473600ull) * 10000000ull;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

bool LockRange(tFileHandle h, uint64_t offset, uint64_t length, DWORD extra) {
  OVERLAPPED ov = {};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return LockFileEx(H(h), LOCKFILE_EXCLUSIVE_LOCK | extra, 0, static_cast<DWORD>(length),
                    static_cast<DWORD>(length >> 32), &ov) != 0;
}

}  // namespace

tFileHandle OpenFileLong(const char16_t* path, int flags) {
  return OpenWith(path, flags, OPEN_EXISTING, 0);
}

tFileHandle CreateFileLong(const char16_t* path, int flags) {
  return OpenWith(path, flags, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
}

bool MoveFileLong(const char16_t* from, const char16_t* to) {
  _typebuf<char16_t> a, b;
  if (!MakeLongPath(a, from) || !MakeLongPath(b, to)) return false;
  // Without MOVEFILE_REPLACE_EXISTING an existing target is kept, and without
  // MOVEFILE_COPY_ALLOWED nothing is copied across volumes.
  return MoveFileExW(tw::ToWin(a.data), tw::ToWin(b.data), MOVEFILE_WRITE_THROUGH) == 1;
}

bool ReplaceFileLong(const char16_t* from, const char16_t* to) {
  _typebuf<char16_t> a, b;
  if (!MakeLongPath(a, from) || !MakeLongPath(b, to)) return false;
  return MoveFileExW(tw::ToWin(a.data), tw::ToWin(b.data),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 1;
}

bool DeleteFileLong(const char16_t* path) {
  _typebuf<char16_t> p;
  if (!MakeLongPath(p, path)) return false;
  return DeleteFileW(tw::ToWin(p.data)) == 1;
}

bool FlushFolderLong(const char16_t* path) {
  // NTFS journals folder changes; a folder handle that FlushFileBuffers
  // accepts needs write access and backup semantics, which an ordinary user
  // lacks on machine-wide folders.
  return GetPathKind(path) == tw::kPathDirectory;
}

bool SetHandleFileTimes(tFileHandle handle, uint64_t modified, uint64_t created, uint64_t accessed) {
  if (modified == kKeepFileTime && created == kKeepFileTime && accessed == kKeepFileTime) return false;
  FILETIME m, c, a;
  if (modified != kKeepFileTime) m = FileTimeOf(modified);
  if (created != kKeepFileTime) c = FileTimeOf(created);
  if (accessed != kKeepFileTime) a = FileTimeOf(accessed);
  return SetFileTime(H(handle), created != kKeepFileTime ? &c : nullptr,
                     accessed != kKeepFileTime ? &a : nullptr,
                     modified != kKeepFileTime ? &m : nullptr) != 0;
}

void CloseFileHandle(tFileHandle handle) {
  if (handle != kInvalidFileHandle) CloseHandle(H(handle));
}

uint64_t cFileIO::GetSize() {
  LARGE_INTEGER size;
  if (!IsOpen() || !GetFileSizeEx(H(handle_), &size)) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

uint32_t cFileIO::Read(void* destination, uint32_t count) {
  DWORD got = 0;
  if (!IsOpen() || !ReadFile(H(handle_), destination, count, &got, nullptr)) return 0;
  return got;
}

uint32_t cFileIO::Write(const void* source, uint32_t count) {
  DWORD put = 0;
  if (!IsOpen() || !WriteFile(H(handle_), source, count, &put, nullptr)) return 0;
  return put;
}

bool cFileIO::Seek(uint64_t position) {
  if (!IsOpen() || position > static_cast<uint64_t>(INT64_MAX)) return false;
  LARGE_INTEGER to, now;
  to.QuadPart = static_cast<LONGLONG>(position);
  if (!SetFilePointerEx(H(handle_), to, &now, FILE_BEGIN)) return false;
  return static_cast<uint64_t>(now.QuadPart) == position;
}

bool cFileIO::SeekFromEnd(uint64_t distance) {
  LARGE_INTEGER size;
  if (!IsOpen() || !GetFileSizeEx(H(handle_), &size)) return false;
  if (distance > static_cast<uint64_t>(size.QuadPart)) return false;
  return Seek(static_cast<uint64_t>(size.QuadPart) - distance);
}

bool cFileIO::SetSize(uint64_t size) {
  return Seek(size) && SetEndOfFile(H(handle_)) != 0;
}

void cFileIO::Close() {
  if (handle_ != kInvalidFileHandle) CloseHandle(H(handle_));
  handle_ = kInvalidFileHandle;
}

bool cFileIO::SetTime(int year, int month, int day, int hour, int minute, int second) {
  if (!IsOpen()) return false;
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  FILETIME ft;
  if (!tw::IsValidFileTimeFields(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond) ||
      !SystemTimeToFileTime(&st, &ft))
    return false;
  return SetFileTime(H(handle_), &ft, nullptr, &ft) != 0;
}

bool cFileIO::Lock(uint64_t offset, uint64_t length) {
  return IsOpen() && LockRange(handle_, offset, length, 0);
}

bool cFileIO::TryLock(uint64_t offset, uint64_t length) {
  return IsOpen() && LockRange(handle_, offset, length, LOCKFILE_FAIL_IMMEDIATELY);
}

bool cFileIO::Flush() { return IsOpen() && FlushFileBuffers(H(handle_)) != 0; }
