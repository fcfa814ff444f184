// Standard output (native): descriptor 1.
#include "base/std_output.h"

#include <cerrno>
#include <unistd.h>

bool WriteStandardOutput(const void* data, uint32_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(1, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<uint32_t>(n);
  }
  return true;
}
