// Test kit: the synthetic camera files of the decoder tests, written out
// when TW_RAW_FIXTURE_DIR names a folder (as <folder>/<format>/<name>), so
// that the fuzz seeds and the oracle runs start from the same files.
// Without the variable nothing is written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace twtest {

inline void DumpRawFixture(const char* format, const std::string& name, const std::vector<uint8_t>& bytes) {
  const char* dir = std::getenv("TW_RAW_FIXTURE_DIR");
  if (dir == nullptr || *dir == 0) return;
  std::string safe;
  for (char c : name) safe += (c == ' ' || c == '/' || c == ',') ? '_' : c;
  const std::string path = std::string(dir) + "/" + format + "/" + safe;
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

}  // namespace twtest
