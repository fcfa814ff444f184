// The change stamp of a file: its last-write time at the file system's full
// resolution, in UTC, and its size. Two reads of one file that give
// different stamps saw different versions; the configuration store compares
// stamps for inequality to notice another process's save. Local times in
// whole seconds would miss a save within the same second and shift by an
// hour when daylight saving time starts or ends.
#pragma once

#include <cstdint>

#include "base/fileio.h"

struct sFileStamp {
  uint64_t writeTime = 0;  // FILETIME units (100 ns since 1601-01-01 UTC)
  uint64_t size = 0;

  bool operator==(const sFileStamp& other) const {
    return writeTime == other.writeTime && size == other.size;
  }
  bool operator!=(const sFileStamp& other) const { return !(*this == other); }
};

// The stamp of the regular file at path; false, out unchanged, when the path
// cannot be read or names a folder or a device.
bool GetFileStamp(const char16_t* path, sFileStamp& out);
// Sets the last-write time of the open file (FILETIME units, UTC); false
// when the file system refuses it.
bool SetFileWriteTime(tFileHandle handle, uint64_t writeTime);
