// Linux side of base/dirlist.h: listings through readdir, sorted as Windows
// and Wine list a folder; the places are the home folder and "/"; rights map
// to access(2) and the permission bits. There is no reconnection and no
// network library.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/dirlist.h"
#include "base/dirlist_internal.h"
#include "base/paths.h"
#include "base/paths_posix.h"
#include "base/strings.h"

namespace {

struct sFound {
  std::u16string name;
  uint64_t size = 0;
  int32_t kind = sDirEntry::kFile;
  bool hidden = false;
  sDateTime writeTime;
};

std::u16string Wide(const char* utf8) {
  _guardchar<char16_t> w;
  Utf8ToWide(-1, utf8, w);
  return w.text != nullptr ? w.text : u"";
}

}  // namespace

bool LoadNetworkFunctions() { return false; }

bool cDirListing::ReadDirectory(const char16_t* folder, bool skipDevices) {
  Clear();
  std::string native;
  if (!MakeNativePath(native, folder)) return false;
  if (GetPathKind(folder) != tw::kPathDirectory) return false;
  folder_.Clear();
  folder_.Assign(folder);
  NormalizePath(folder_.text);

  DIR* dir = opendir(native.c_str());
  if (dir == nullptr) return false;
  std::vector<sFound> found;
  const std::string prefix = native.back() == '/' ? native : native + '/';
  while (const dirent* d = readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    const std::string full = prefix + name;
    struct stat st;
    // Wine reports what a symbolic link points to; a dangling link as itself.
    if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
    sFound f;
    if (S_ISDIR(st.st_mode)) {
      f.kind = sDirEntry::kFolder;
    } else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
      f.kind = sDirEntry::kDevice;
      if (skipDevices) continue;
    } else {
      f.size = static_cast<uint64_t>(st.st_size);
    }
    f.name = Wide(name.c_str());
    f.hidden = name[0] == '.';  // as Wine marks dot files
    FileTimeToLocalDateTime(UnixTimeToFileTime(st.st_mtim.tv_sec) + static_cast<uint64_t>(st.st_mtim.tv_nsec / 100),
                            f.writeTime);
    found.push_back(std::move(f));
  }
  closedir(dir);
  std::stable_sort(found.begin(), found.end(), [](const sFound& a, const sFound& b) {
    return tw::CompareListingNames(a.name.c_str(), b.name.c_str()) < 0;
  });
  int32_t id = 0;
  for (const sFound& f : found) {
    sDirEntry& e = Add(id++);
    e.path.Assign(f.name.c_str());
    e.size = f.size;
    e.kind = f.kind;
    e.hidden = f.hidden;
    e.writeTime = f.writeTime;
  }
  return true;
}

bool cDirListing::ReadPlaces() {
  int32_t id = StartPlaces();
  // The one "drive" of a Linux system, shown like a fixed disk without a label.
  uint64_t freeBytes = 0, total = 0;
  GetDiskSpace(u"/", freeBytes, total);
  sDirEntry& root = Add(id++);
  root.path.Assign(u"/");
  root.displayText.Assign((u"Fixed disk / (" + tw::GigabyteText(total) + u"GB)").c_str());
  root.kind = sDirEntry::kDrive;
  return true;
}

bool GetDiskSpace(const char16_t* path, uint64_t& freeBytes, uint64_t& totalBytes) {
  std::string native;
  struct statvfs vfs;
  if (!MakeNativePath(native, path) || statvfs(native.c_str(), &vfs) != 0) return false;
  freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  totalBytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
  return true;
}

uint32_t GetAccessRights(const char16_t* path) {
  if (GetPathKind(path) == tw::kPathMissing) return tw::kRightsMissingPath;
  std::string native;
  if (!MakeNativePath(native, path)) return 0;
  uint32_t rights = 0;
  if (faccessat(AT_FDCWD, native.c_str(), R_OK, AT_EACCESS) == 0) rights |= tw::kRightRead;
  if (faccessat(AT_FDCWD, native.c_str(), W_OK, AT_EACCESS) == 0) rights |= tw::kRightWrite;
  if (faccessat(AT_FDCWD, native.c_str(), X_OK, AT_EACCESS) == 0) rights |= tw::kRightExecute;
  return rights;
}

bool GrantAccess(const char16_t* path, uint32_t userRights, uint32_t administratorsRights,
                 uint32_t everyoneRights) {
  const int kind = GetPathKind(path);
  if (kind != tw::kPathFile && kind != tw::kPathDirectory) return false;
  std::string native;
  if (!MakeNativePath(native, path)) return false;
  // Owner, group and others stand for the user, Administrators and Everyone;
  // the rights digits are the permission digits.
  const mode_t mode = static_cast<mode_t>(((userRights & 7) << 6) | ((administratorsRights & 7) << 3) |
                                          (everyoneRights & 7));
  return chmod(native.c_str(), mode) == 0;
}
