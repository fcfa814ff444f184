// Free space of the volume that holds a folder.
#pragma once

#include <cstdint>

// The bytes that the current user may still write on the volume of folder
// (quotas taken into account) into *available. False, *available untouched,
// for a null or empty path and when the system cannot tell.
bool GetAvailableDiskSpace(const char16_t* folder, uint64_t* available);
