// The operating system's cryptographic random source: BCryptGenRandom on
// Windows, getrandom on Linux.
#pragma once

#include <cstddef>

namespace tw::crypto {

// Fills n bytes; false (out partly filled) when the system source fails.
bool GetOsRandom(void* out, size_t n);

}  // namespace tw::crypto
