// Linux side of crypto/os_random.h: getrandom(2) from the kernel's pool.
#include <sys/random.h>

#include <cerrno>
#include <cstdint>

#include "crypto/os_random.h"

namespace tw::crypto {

bool GetOsRandom(void* out, size_t n) {
  uint8_t* p = static_cast<uint8_t*>(out);
  while (n != 0) {
    // Requests above 256 bytes may return short; a signal may interrupt.
    const ssize_t got = getrandom(p, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace tw::crypto
