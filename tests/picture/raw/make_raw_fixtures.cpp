// make_raw_fixtures DIR: writes the camera-raw fixture corpus into DIR:
// every fixture and, beside it, NAME.raw16.pgm, the sensor frame the
// readers must unpack (pictdump --raw16 must write the same bytes).
// make_raw_fixtures --seeds DIR: the fixtures and one crafted file per
// mended fault, each followed by the fuzz target's option byte.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/raw_corpus.h"

namespace {

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--seeds") {
    const std::string dir = argv[2];
    std::vector<sRawFixture> all = RawFixtures();
    for (sRawFixture& f : RawFaultFixtures()) all.push_back(std::move(f));
    for (sRawFixture& f : all) {
      f.bytes.push_back(0x23);
      if (!Write(dir + "/" + f.name, f.bytes)) return 2;
    }
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_raw_fixtures [--seeds] DIR\n");
    return 1;
  }
  const std::string dir = argv[1];
  for (const sRawFixture& f : RawFixtures()) {
    if (!Write(dir + "/" + f.name, f.bytes) ||
        !Write(dir + "/" + f.name + ".raw16.pgm", Pgm16(f.frame, f.frameWidth, f.frameHeight))) {
      std::fprintf(stderr, "%s: cannot write\n", f.name.c_str());
      return 2;
    }
  }
  return 0;
}
