// Linux builds only: the system's '/'-separated UTF-16 paths as paths for the
// C library's file functions. The Linux counterpart of MakeLongPath, used by
// every *_posix.cpp that touches the file system.
#pragma once

#include <string>

// The path as UTF-8 with '/' separators: '\' becomes '/', each run of
// separators collapses to one, and a leading "\\?\" (or "//?/") is dropped,
// so that the long form of a path names the same file. False, out
// untouched, for a null or empty path.
bool MakeNativePath(std::string& out, const char16_t* path);
