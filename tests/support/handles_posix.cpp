// POSIX: open() returns the lowest free file descriptor.
#include <fcntl.h>
#include <unistd.h>

#include "tests/support/handles.h"

namespace twtest {

int64_t NextFreeHandleSlot() {
  const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  close(fd);
  return fd;
}

}  // namespace twtest
