// cFileIO and the long-path file functions over POSIX descriptors, the native
// stand-in for the Win32 file API. Where Linux differs:
//  a. Share modes cannot be refused: the share bits are accepted and ignored.
//  b. Byte-range locks are open-file-description locks (F_OFD_SETLK[W]), so
//     two descriptors of one process conflict as two handles do on Windows.
//     An exclusive lock needs write access; a descriptor opened for reading
//     only takes a shared lock, which still keeps writers' locks out.
//  c. Paths become UTF-8 '/' paths through MakeNativePath, the counterpart
//     of the long-path conversion.
//  d. There is no creation time: SetTime sets the modification time, and
//     SetHandleFileTimes ignores the created value.
//  e. The descriptor's offset plays the role of the file pointer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "base/fileio.h"
#include "base/fileio_internal.h"
#include "base/paths_posix.h"
#include "base/time.h"

namespace {

int Fd(tFileHandle h) { return static_cast<int>(h); }

int OpenFlagsOf(int flags) {
  if ((flags & kFileRead) && (flags & kFileWrite)) return O_RDWR;
  if (flags & kFileWrite) return O_WRONLY;
  return O_RDONLY;
}

tFileHandle OpenWith(const char16_t* path, int flags, int extra) {
  std::string native;
  if (!MakeNativePath(native, path)) return kInvalidFileHandle;
  int fd;
  do {
    fd = ::open(native.c_str(), OpenFlagsOf(flags) | extra | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kInvalidFileHandle;
  // CreateFileW refuses a directory without backup semantics.
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kInvalidFileHandle;
  }
  return fd;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

timespec SpecOf(uint64_t localSeconds) {
  timespec ts = {};
  ts.tv_sec = static_cast<time_t>(LocalUnixToUtc(static_cast<int64_t>(localSeconds)));
  return ts;
}

bool LockRange(int fd, uint64_t offset, uint64_t length, bool wait) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  // Windows treats an empty range as a point that a held range around it
  // refuses; one byte is the nearest POSIX range.
  if (length == 0) length = 1;
  struct flock fl = {};
  const int mode = fcntl(fd, F_GETFL);
  if (mode < 0) return false;
  fl.l_type = (mode & O_ACCMODE) == O_RDONLY ? F_RDLCK : F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  // A range reaching past the largest offset is "to the end", length 0.
  fl.l_len = length > static_cast<uint64_t>(INT64_MAX) - offset ? 0 : static_cast<off_t>(length);
  int rc;
  do {
    rc = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

}  // namespace

tFileHandle OpenFileLong(const char16_t* path, int flags) { return OpenWith(path, flags, 0); }

tFileHandle CreateFileLong(const char16_t* path, int flags) {
  return OpenWith(path, flags, O_CREAT | O_TRUNC);
}

bool MoveFileLong(const char16_t* from, const char16_t* to) {
  std::string a, b;
  if (!MakeNativePath(a, from) || !MakeNativePath(b, to)) return false;
  // RENAME_NOREPLACE keeps an existing target, and rename never copies
  // across file systems (EXDEV), as MoveFileExW without its options.
  return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0;
}

bool ReplaceFileLong(const char16_t* from, const char16_t* to) {
  std::string a, b;
  if (!MakeNativePath(a, from) || !MakeNativePath(b, to)) return false;
  // rename(2) replaces a file atomically; a folder target is refused as
  // MoveFileExW refuses it.
  struct stat st;
  if (::stat(b.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
  return ::rename(a.c_str(), b.c_str()) == 0;
}

bool DeleteFileLong(const char16_t* path) {
  std::string p;
  if (!MakeNativePath(p, path)) return false;
  return ::unlink(p.c_str()) == 0;
}

bool FlushFolderLong(const char16_t* path) {
  std::string p;
  if (!MakeNativePath(p, path)) return false;
  const int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool SetHandleFileTimes(tFileHandle handle, uint64_t modified, uint64_t created, uint64_t accessed) {
  if (modified == kKeepFileTime && created == kKeepFileTime && accessed == kKeepFileTime) return false;
  if (modified == kKeepFileTime && accessed == kKeepFileTime) {
    // Only a creation time asked: nothing natively settable, but a valid
    // handle succeeds as SetFileTime would.
    struct stat st;
    return fstat(Fd(handle), &st) == 0;
  }
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = times[0];
  if (accessed != kKeepFileTime) times[0] = SpecOf(accessed);
  if (modified != kKeepFileTime) times[1] = SpecOf(modified);
  return futimens(Fd(handle), times) == 0;
}

void CloseFileHandle(tFileHandle handle) {
  if (handle != kInvalidFileHandle) ::close(Fd(handle));
}

uint64_t cFileIO::GetSize() {
  struct stat st;
  if (!IsOpen() || fstat(Fd(handle_), &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

uint32_t cFileIO::Read(void* destination, uint32_t count) {
  if (!IsOpen() || destination == nullptr) return 0;
  // ReadFile moves the whole count unless the end comes first; read() may
  // stop short (signals, the 2 GiB cap of one call), so go on until then.
  uint32_t done = 0;
  while (done < count) {
    const ssize_t got = ::read(Fd(handle_), static_cast<char*>(destination) + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<uint32_t>(got);
  }
  return done;
}

uint32_t cFileIO::Write(const void* source, uint32_t count) {
  if (!IsOpen() || source == nullptr) return 0;
  uint32_t done = 0;
  while (done < count) {
    const ssize_t put =
        ::write(Fd(handle_), static_cast<const char*>(source) + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<uint32_t>(put);
  }
  return done;
}

bool cFileIO::Seek(uint64_t position) {
  if (!IsOpen() || position > static_cast<uint64_t>(INT64_MAX)) return false;
  return ::lseek(Fd(handle_), static_cast<off_t>(position), SEEK_SET) ==
         static_cast<off_t>(position);
}

bool cFileIO::SeekFromEnd(uint64_t distance) {
  struct stat st;
  if (!IsOpen() || fstat(Fd(handle_), &st) != 0) return false;
  if (distance > static_cast<uint64_t>(st.st_size)) return false;
  return Seek(static_cast<uint64_t>(st.st_size) - distance);
}

bool cFileIO::SetSize(uint64_t size) {
  return Seek(size) && ::ftruncate(Fd(handle_), static_cast<off_t>(size)) == 0;
}

void cFileIO::Close() {
  if (handle_ != kInvalidFileHandle) ::close(Fd(handle_));
  handle_ = kInvalidFileHandle;
}

bool cFileIO::SetTime(int year, int month, int day, int hour, int minute, int second) {
  if (!IsOpen()) return false;
  // The fields are 16-bit in SYSTEMTIME: the same truncation on both targets.
  const auto y = static_cast<uint16_t>(year), mo = static_cast<uint16_t>(month),
             d = static_cast<uint16_t>(day), h = static_cast<uint16_t>(hour),
             mi = static_cast<uint16_t>(minute), s = static_cast<uint16_t>(second);
  if (!tw::IsValidFileTimeFields(y, mo, d, h, mi, s)) return false;
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s);
  times[1].tv_nsec = 0;
  return futimens(Fd(handle_), times) == 0;
}

bool cFileIO::Lock(uint64_t offset, uint64_t length) {
  return IsOpen() && LockRange(Fd(handle_), offset, length, true);
}

bool cFileIO::TryLock(uint64_t offset, uint64_t length) {
  return IsOpen() && LockRange(Fd(handle_), offset, length, false);
}

bool cFileIO::Flush() { return IsOpen() && ::fsync(Fd(handle_)) == 0; }
