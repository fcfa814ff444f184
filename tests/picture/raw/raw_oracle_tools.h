// Test kit for the comparisons with the command-line raw decoders: running a
// tool and reading the PGM it writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace raw_oracle {

struct sPgm {
  int32_t width = 0, height = 0;
  std::vector<uint16_t> samples;
};

// A binary P5: 8-bit samples, or 16-bit big-endian ones when the maximum is
// above 255. False when the header or the data is short.
inline bool ParsePgm(const std::string& b, sPgm& out) {
  int w = 0, h = 0, mx = 0, n = 0;
  if (std::sscanf(b.c_str(), "P5 %d %d %d%n", &w, &h, &mx, &n) != 3 || w <= 0 || h <= 0) return false;
  const size_t start = static_cast<size_t>(n) + 1;
  const size_t bytes = static_cast<size_t>(w) * h * (mx > 255 ? 2 : 1);
  if (b.size() < start + bytes) return false;
  out.width = w;
  out.height = h;
  out.samples.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < out.samples.size(); ++i)
    out.samples[i] = mx > 255 ? static_cast<uint16_t>(static_cast<uint8_t>(b[start + 2 * i]) << 8 |
                                                     static_cast<uint8_t>(b[start + 2 * i + 1]))
                              : static_cast<uint8_t>(b[start + i]);
  return true;
}

// The command's standard output; empty when it cannot start.
inline std::string RunTool(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

}  // namespace raw_oracle
