// The child program of the process tests (built for both targets).
//   exit N                 exit with N
//   write BYTES N          write BYTES bytes to standard output, exit with N
//   writeerr BYTES N       the same on standard error
//   read N                 read standard input to its end, exit with N
//   sleep MS N             sleep, exit with N
//   sleeptouch MS PATH     sleep, then create PATH (shows that a child was
//                          not terminated), exit with 0
//   touch PATH             create PATH, exit with 0
//   touchexit PATH N       create PATH, exit with N
//   spawnsleep MS N        start a copy of itself that sleeps MS on the same
//                          standard output, exit with N at once
//   (no arguments)         create "<own path>.ran", exit with 0
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

int Touch(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 90;
  std::fclose(f);
  return 0;
}

int Write(std::FILE* to, long bytes, int code) {
  static char block[65536];
  std::memset(block, 'x', sizeof(block));
  while (bytes > 0) {
    const size_t n = bytes < static_cast<long>(sizeof(block)) ? static_cast<size_t>(bytes) : sizeof(block);
    if (std::fwrite(block, 1, n, to) != n) return 91;
    bytes -= static_cast<long>(n);
  }
  std::fflush(to);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Touch(std::string(argv[0]) + ".ran");
  const std::string mode = argv[1];
  auto arg = [&](int i) { return i < argc ? argv[i] : "0"; };
  if (mode == "exit") return std::atoi(arg(2));
  if (mode == "write") return Write(stdout, std::atol(arg(2)), std::atoi(arg(3)));
  if (mode == "writeerr") return Write(stderr, std::atol(arg(2)), std::atoi(arg(3)));
  if (mode == "read") {
    char buffer[4096];
    while (std::fread(buffer, 1, sizeof(buffer), stdin) > 0) {
    }
    return std::atoi(arg(2));
  }
  if (mode == "sleep" || mode == "sleeptouch") {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(arg(2))));
    if (mode == "sleeptouch") return Touch(arg(3));
    return std::atoi(arg(3));
  }
  if (mode == "touch") return Touch(arg(2));
  if (mode == "spawnsleep") {
#ifdef _WIN32
    if (_spawnl(_P_NOWAIT, argv[0], argv[0], "sleep", arg(2), "0", nullptr) == -1) return 92;
#else
    const pid_t pid = fork();
    if (pid < 0) return 92;
    if (pid == 0) {
      execl(argv[0], argv[0], "sleep", arg(2), "0", static_cast<char*>(nullptr));
      _exit(93);
    }
#endif
    return std::atoi(arg(3));
  }
  if (mode == "touchexit") return Touch(arg(2)) != 0 ? 90 : std::atoi(arg(3));
  return 99;
}
