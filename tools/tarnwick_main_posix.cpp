// The native command-line builder: "tarnwick make <scenario> <target>
// <program>" runs the verb "make" of tarnwick.exe on Linux. The program file
// (the unfilled Windows tarnwick.exe) is required here, since the running
// program is no Windows image to copy. The exit code is the verb's, 0 to 4;
// a wrong command line gives 1.
#include <cstdio>
#include <cstring>

#include "base/guardchar.h"
#include "base/strings.h"
#include "tools/modes.h"

namespace {

_guardchar<char16_t> Wide(const char* text) {
  _guardchar<char16_t> out;
  Utf8ToWide(static_cast<int32_t>(std::strlen(text)), text, out);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || std::strcmp(argv[1], "make") != 0) {
    std::fprintf(stderr, "usage: %s make <scenario> <target setup file> <tarnwick.exe to use as base>\n",
                 argc > 0 ? argv[0] : "tarnwick");
    return 1;
  }
  const _guardchar<char16_t> scenario = Wide(argv[2]), target = Wide(argv[3]), program = Wide(argv[4]),
                             self = Wide(argv[0]);
  return BuildSetup(target.text, program.text, self.text, scenario.text);
}
