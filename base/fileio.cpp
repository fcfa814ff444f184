// See base/fileio.h. The parts of the stream interface and of cFileIO that
// need no system call.
#include "base/fileio.h"

#include "base/fileio_internal.h"

uint32_t cFileIOTarget::Write(const void*, uint32_t) { return 0; }

bool cFileIOTarget::ReadExact(void* destination, uint32_t count) {
  return Read(destination, count) == count;
}

bool cFileIOTarget::WriteExact(const void* source, uint32_t count) {
  return Write(source, count) == count;
}

bool cFileIOTarget::SetTime(int, int, int, int, int, int) { return false; }

bool cFileIOTarget::IsOpen() { return false; }

int cFileIOTarget::GetKind() { return 0; }

// ---------------------------------------------------------------------- cFileIO
// The system calls are in fileio_win32.cpp and fileio_posix.cpp.

cFileIO::~cFileIO() { cFileIO::Close(); }

bool cFileIO::Adopt(tFileHandle handle, const char16_t* path, int flags) {
  if (handle == kInvalidFileHandle) return false;
  handle_ = handle;
  if (path != path_.text) path_.Assign(path);
  flags_ = flags;
  return true;
}

bool cFileIO::Open(const char16_t* path, int flags) {
  Close();
  return Adopt(OpenFileLong(path, flags), path, flags);
}

bool cFileIO::Create(const char16_t* path, int flags) {
  Close();
  return Adopt(CreateFileLong(path, flags), path, flags);
}

std::unique_ptr<cFileIOTarget> cFileIO::Clone(bool) {
  if (!IsOpen()) return nullptr;
  auto copy = std::make_unique<cFileIO>();
  if (!copy->Open(path_.text, flags_)) return nullptr;
  return copy;
}

bool cFileIO::SetFileTimes(uint64_t modified, uint64_t created, uint64_t accessed) {
  if (!IsOpen()) return false;
  return SetHandleFileTimes(handle_, modified, created, accessed);
}

namespace tw {

bool IsValidFileTimeFields(uint16_t year, uint16_t month, uint16_t day, uint16_t hour,
                           uint16_t minute, uint16_t second) {
  static const uint16_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1601 || year > 30827 || month < 1 || month > 12 || hour > 23 || minute > 59 ||
      second > 59)
    return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int dim = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day >= 1 && day <= dim;
}

}  // namespace tw

cSafeFD::~cSafeFD() {
  if (handle != 0 && handle != kInvalidFileHandle) CloseFileHandle(handle);
  handle = kInvalidFileHandle;
}
