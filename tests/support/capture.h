// Windows tests: runs a command line with its standard output and error on
// one pipe and collects what it writes until it ends.
#pragma once

#include <cstdint>
#include <string>

namespace twtest {

struct sCaptured {
  bool started = false;
  uint32_t exitCode = 0;
  std::string output;  // standard output and error, as written
};

// noOutput: the child gets no standard output handle at all (null).
sCaptured RunCaptured(const std::u16string& commandLine, bool noOutput = false);

// The build folder (TW_BINARY_DIR) as a Windows path.
std::string BinaryPath(const std::string& relative);

}  // namespace twtest
