// Native side of starting other programs: /bin/sh -c through posix_spawn,
// pipes, and a drain thread on the output pipe. The shell's "open" is
// xdg-open here, as a stand-in. See base/process.h.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <string>

#include "base/process.h"
#include "base/process_internal.h"
#include "base/utf8.h"

extern char** environ;

namespace {

std::string ToUtf8(const char16_t* text) {
  const int32_t bytes = Utf8ByteCount(text, -1);  // with the terminator
  std::string out(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
  if (bytes > 0) Utf8Encode(text, -1, out.data(), bytes);
  out.resize(out.size() - 1);
  return out;
}

// Runs /bin/sh -c script with arguments; stdio as the actions say, which
// also close every other descriptor in the child: it gets exactly its own
// three, not what another thread of the parent has open at that moment
// (close-on-exec covers our own pipes; this covers what others forgot to
// mark). The shell leads a process group of its own, so that terminating
// the child also ends what the shell started for it.
bool SpawnShell(const std::string& script, const char* arg, posix_spawn_file_actions_t* actions, pid_t* pid) {
  const char* argv[] = {"sh", "-c", script.c_str(), "sh", arg, nullptr};
  if (arg == nullptr) argv[3] = nullptr;
  if (posix_spawn_file_actions_addclosefrom_np(actions, 3) != 0) return false;
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return false;
  bool started = false;
  if (posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP) == 0 &&
      posix_spawnattr_setpgroup(&attributes, 0) == 0)
    started = posix_spawn(pid, "/bin/sh", actions, &attributes, const_cast<char* const*>(argv), environ) == 0;
  posix_spawnattr_destroy(&attributes);
  return started;
}

// Starts the shell script in the background and reaps the shell, which
// returns at once: the started program is forgotten without a zombie.
bool SpawnDetached(const std::string& script, const char* arg) {
  pid_t pid = 0;
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  const bool started = SpawnShell(script, arg, &actions, &pid);
  posix_spawn_file_actions_destroy(&actions);
  if (!started) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int32_t ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 0;
}

}  // namespace

// Reads the child's output pipe until every writer has closed it or a stop
// is requested, and discards what it reads.
class cOutputDrain {
public:
  explicit cOutputDrain(int fd) : fd_(fd) {}

  bool Start() { return pthread_create(&thread_, nullptr, &Main, this) == 0; }

  bool Stop() {
    stop_.store(true);
    pthread_join(thread_, nullptr);  // it looks at the flag every 20 ms
    return true;
  }

private:
  static void* Main(void* arg) {
    auto* self = static_cast<cOutputDrain*>(arg);
    while (!self->stop_.load()) {
      pollfd p{self->fd_, POLLIN, 0};
      const int ready = poll(&p, 1, 20);
      if (ready < 0 && errno != EINTR) break;
      if (ready <= 0) continue;
      const ssize_t got = read(self->fd_, self->buffer_, sizeof(self->buffer_));
      if (got == 0) break;  // every writer has closed the pipe
      if (got < 0 && errno != EINTR && errno != EAGAIN) break;
    }
    return nullptr;
  }

  int fd_;
  pthread_t thread_{};
  std::atomic<bool> stop_{false};
  char buffer_[65536];
};

bool cConProcess::Start(const char16_t* commandLine) {
  Close();
  exitCode_ = 0;
  if (commandLine == nullptr || commandLine[0] == 0) return false;

  int out[2], in[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  if (pipe2(in, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  bool started = false;
  pid_t pid = 0;
  if (posix_spawn_file_actions_init(&actions) == 0) {
    // dup2 clears close-on-exec on the child's copies only.
    if (posix_spawn_file_actions_adddup2(&actions, in[0], 0) == 0 &&
        posix_spawn_file_actions_adddup2(&actions, out[1], 1) == 0 &&
        posix_spawn_file_actions_adddup2(&actions, out[1], 2) == 0)
      started = SpawnShell(ToUtf8(commandLine), nullptr, &actions, &pid);
    posix_spawn_file_actions_destroy(&actions);
  }
  // The child's input is at its end from the start; the parent keeps only
  // the read end of the output.
  close(in[0]);
  close(in[1]);
  close(out[1]);
  if (!started) {
    close(out[0]);
    return false;
  }
  process_ = pid;
  output_ = out[0];
  if (!StartDrain()) {
    Close();
    return false;
  }
  return true;
}

bool cConProcess::StartDrain() {
  drain_ = new (std::nothrow) cOutputDrain(static_cast<int>(output_));
  if (drain_ == nullptr) return false;
  if (drain_->Start()) return true;
  delete drain_;
  drain_ = nullptr;
  return false;
}

void cConProcess::StopDrain() {
  if (drain_ == nullptr) return;
  drain_->Stop();
  delete drain_;
  drain_ = nullptr;
}

bool cConProcess::Poll() {
  if (process_ == -1) return false;
  int status = 0;
  const pid_t result = waitpid(static_cast<pid_t>(process_), &status, WNOHANG);
  if (result == static_cast<pid_t>(process_)) {
    exitCode_ = ExitCodeOf(status);
    process_ = -1;
  } else if (result == -1 && errno == ECHILD) {
    process_ = -1;  // reaped elsewhere: ended, code unknown
  }
  return true;
}

bool cConProcess::Terminate() {
  if (process_ == -1) return true;
  const pid_t pid = static_cast<pid_t>(process_);
  int status = 0;
  const pid_t result = waitpid(pid, &status, WNOHANG);
  if (result == pid) {
    exitCode_ = ExitCodeOf(status);
    process_ = -1;
    return true;
  }
  if (result == -1 && errno == ECHILD) {
    process_ = -1;
    return true;
  }
  // The whole group: the shell and the program it runs.
  if (kill(-pid, SIGKILL) != 0 && kill(pid, SIGKILL) != 0) return false;
  while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
  process_ = -1;
  return true;
}

void cConProcess::Close() {
  if (process_ != -1) Terminate();
  StopDrain();
  if (output_ != -1) {
    close(static_cast<int>(output_));
    output_ = -1;
  }
}

void cConProcess::ReleaseProcess() { process_ = -1; }

bool RunCommandLine(const char16_t* commandLine) {
  if (commandLine == nullptr || commandLine[0] == 0) return false;
  const std::string command = ToUtf8(commandLine);
  return SpawnDetached("eval \"$1\" &", command.c_str());
}

namespace tw {

bool ShellOpen(const char16_t* text) {
  const std::string target = ToUtf8(text);
  return SpawnDetached("command -v xdg-open >/dev/null 2>&1 || exit 1; xdg-open \"$1\" >/dev/null 2>&1 &",
                       target.c_str());
}

}  // namespace tw
