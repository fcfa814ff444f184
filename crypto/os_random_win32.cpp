// Win32 side of crypto/os_random.h: the system-preferred RNG of CNG
// (bcrypt.dll, Windows Vista and later).
#include <windows.h>
#include <bcrypt.h>

#include <cstdint>

#include "crypto/os_random.h"

namespace tw::crypto {

bool GetOsRandom(void* out, size_t n) {
  uint8_t* p = static_cast<uint8_t*>(out);
  while (n != 0) {
    // The length parameter is a ULONG: large requests go in pieces.
    const ULONG piece = n > 0x10000000u ? 0x10000000u : static_cast<ULONG>(n);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, p, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
    p += piece;
    n -= piece;
  }
  return true;
}

}  // namespace tw::crypto
