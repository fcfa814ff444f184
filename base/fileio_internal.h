// Shared by the two platform sides of the file stream; not for other users.
#pragma once

#include <cstdint>

namespace tw {

// The date check of SystemTimeToFileTime, on the same 16-bit fields:
// years 1601..30827, real calendar days, hours 0..23, minutes and seconds
// 0..59. Both targets apply it so that they accept the same dates (Wine's
// conversion takes some that Windows refuses, such as 29 February 2021).
bool IsValidFileTimeFields(uint16_t year, uint16_t month, uint16_t day, uint16_t hour,
                           uint16_t minute, uint16_t second);

}  // namespace tw
