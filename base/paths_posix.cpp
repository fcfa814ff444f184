// Linux side of base/paths.h: the file-system calls through the C library on
// UTF-8 paths, environment variables, and stand-ins for what only Windows has
// (XDG folders for the data roots, no Start Menu, no Windows version).
#include "base/paths_posix.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/paths.h"
#include "base/paths_internal.h"
#include "base/strings.h"

namespace {

bool IsDirectory(const std::u16string& path) { return GetPathKind(path.c_str()) == tw::kPathDirectory; }

bool StatPath(const char16_t* path, struct stat& st) {
  std::string native;
  return MakeNativePath(native, path) && stat(native.c_str(), &st) == 0;
}

uint64_t ToFileTime(const struct timespec& ts) {
  return UnixTimeToFileTime(ts.tv_sec) + static_cast<uint64_t>(ts.tv_nsec / 100);
}

// The last component of a native path, for the hidden attribute.
std::string LastName(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const size_t slash = path.rfind('/', end - 1);
  return path.substr(slash == std::string::npos ? 0 : slash + 1, end - (slash == std::string::npos ? 0 : slash + 1));
}

}  // namespace

bool MakeNativePath(std::string& out, const char16_t* path) {
  if (path == nullptr || path[0] == 0) return false;
  _guardchar<char> utf8;
  WideToUtf8(path, utf8, -1);
  std::string s;
  const char* p = utf8.text;
  // The long-path prefix, in either separator.
  if ((p[0] == '\\' || p[0] == '/') && (p[1] == '\\' || p[1] == '/') && p[2] == '?' && (p[3] == '\\' || p[3] == '/'))
    p += 3;
  for (; *p != 0; ++p) {
    const char c = *p == '\\' ? '/' : *p;
    if (c == '/' && !s.empty() && s.back() == '/') continue;
    s += c;
  }
  out = s;
  return true;
}

namespace tw {

bool ReadEnvironment(const char16_t* name, std::u16string& out) {
  _guardchar<char> narrow;
  WideToUtf8(name, narrow, -1);
  const char* value = getenv(narrow.text);
  if (value == nullptr || value[0] == 0) return false;
  _guardchar<char16_t> wide;
  Utf8ToWide(-1, value, wide);
  out = wide.text != nullptr ? wide.text : u"";
  return !out.empty();
}

bool PlatformHomeFallback(std::u16string& out) { return ReadEnvironment(u"HOME", out); }

bool PlatformTempFallback(std::u16string& out) {
  if (!ReadEnvironment(u"TMPDIR", out)) out = u"/tmp";
  return true;
}

bool PlatformUserDataRoot(const std::u16string& home, std::u16string& out) {
  std::u16string config;
  if (ReadEnvironment(u"XDG_CONFIG_HOME", config) && IsDirectory(config)) {
    out = config;
  } else {
    config = home + u"/.config";
    out = IsDirectory(config) ? config : home;
  }
  return true;
}

bool PlatformMachineDataRoot(std::u16string& out) {
  out = u"/var/lib";
  return IsDirectory(out);
}

}  // namespace tw

int GetPathKind(const char16_t* path) {
  struct stat st;
  if (!StatPath(path, st)) return tw::kPathMissing;
  if (S_ISDIR(st.st_mode)) return tw::kPathDirectory;
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return tw::kPathDevice;
  return tw::kPathFile;
}

bool CreateDirectoryLong(const char16_t* path) {
  std::string native;
  if (!MakeNativePath(native, path)) return false;
  if (mkdir(native.c_str(), 0777) == 0) return true;
  return errno == EEXIST && GetPathKind(path) == tw::kPathDirectory;
}

bool RemoveDirectoryLong(const char16_t* path) {
  std::string native;
  if (!MakeNativePath(native, path)) return false;
  if (rmdir(native.c_str()) == 0) return true;
  if (errno != ENOENT) return false;
  // Linux says ENOENT for a missing parent too; Windows tells the two apart
  // (file not found counts as removed, path not found does not).
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  const size_t slash = native.rfind('/');
  const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : native.substr(0, slash));
  struct stat st;
  return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool GetFileInfo(const char16_t* path, sFileInfo& out) {
  std::string native;
  struct stat st;
  if (!MakeNativePath(native, path) || stat(native.c_str(), &st) != 0) return false;
  sFileInfo info;
  // The attribute bits Wine reports for the same file.
  if (S_ISDIR(st.st_mode)) {
    info.attributes = tw::kAttrDirectory;
  } else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
    info.attributes = tw::kAttrDevice;
  } else {
    info.attributes = tw::kAttrArchive;
    info.size = static_cast<uint64_t>(st.st_size);
  }
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) info.attributes |= tw::kAttrReadOnly;
  const std::string name = LastName(native);
  if (name.size() > 1 && name[0] == '.' && name != "..") info.attributes |= tw::kAttrHidden;
  FileTimeToLocalDateTime(ToFileTime(st.st_ctim), info.creationTime);
  FileTimeToLocalDateTime(ToFileTime(st.st_atim), info.lastAccessTime);
  FileTimeToLocalDateTime(ToFileTime(st.st_mtim), info.lastWriteTime);
  out = info;
  return true;
}

uint32_t GetOsMajorVersion() { return 4; }  // the value for "cannot be read"

bool IsWow64() { return false; }
