// The version probe (native stand-in): the manager runs through
// posix_spawn with its standard output on a pipe, polled like the Win32
// side's.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "base/paths_posix.h"
#include "tools/manager_location.h"
#include "tools/version_record.h"

extern char** environ;

namespace {

uint64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

void ReadWaiting(int fd, uint64_t& version) {
  int waiting = 0;
  if (ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0) return;
  std::vector<uint8_t> bytes(static_cast<size_t>(waiting));
  const ssize_t got = ::read(fd, bytes.data(), bytes.size());
  if (got == static_cast<ssize_t>(tw::kVersionRecordSize)) {
    const uint64_t v = DecodeVersionRecord(bytes.data());
    if (v != tw::kNoVersion) version = v;
  }
}

}  // namespace

uint64_t QueryManagerVersion(const char16_t* managerPath, uint32_t timeoutMs) {
  if (GetPathKind(managerPath) != tw::kPathFile) return tw::kNoVersion;
  std::string path;
  if (!MakeNativePath(path, managerPath)) return tw::kNoVersion;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return tw::kNoVersion;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("version"), nullptr};
  pid_t child = -1;
  const int rc = posix_spawn(&child, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    return tw::kNoVersion;
  }
  uint64_t version = tw::kNoVersion;
  const uint64_t deadline = NowMs() + timeoutMs;
  bool ended = false;
  for (;;) {
    ReadWaiting(fds[0], version);
    if (ended) break;
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      ended = true;  // one more look at the pipe
      continue;
    }
    if (NowMs() >= deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      version = tw::kNoVersion;
      break;
    }
    pollfd p = {fds[0], POLLIN, 0};
    poll(&p, 1, 10);
  }
  ::close(fds[0]);
  return version;
}
