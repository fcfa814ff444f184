// Writes the seed corpora of the nef, arw, srw and pef fuzz targets from the
// camera-raw test kit (tests/picture/raw/*_files.h): one small file per
// layout or coding. Build against a native build and run from the
// repository root:
//   g++ -std=c++20 -I. -fsanitize=address,undefined fuzz/make_camera_raw_seeds.cpp \
//       tests/support/tiff_builder.cpp build/native/libtw_picture.a build/native/libtw_gui.a \
//       build/native/libtw_base.a -lz -lpthread -o /tmp/seeds && /tmp/seeds fuzz/corpus
#include <cstdio>
#include <string>
#include <vector>

#include "tests/picture/raw/camera_files.h"
#include "tests/picture/raw/nef_files.h"

using namespace rawtest;

namespace {

void Write(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string root = argc > 1 ? argv[1] : "fuzz/corpus";
  std::vector<uint16_t> frame;
  const int nefCodings[] = {103, 104, 101, 0, 110, 100, 109};
  for (int c : nefCodings)
    for (int bits : {12, 14}) {
      if (c == 109 && bits == 14) continue;
      sNefSpec s;
      s.width = 32;
      s.height = 24;
      s.coding = c;
      s.bits = bits;
      s.be = bits == 14;
      Write(root + "/nef", "coding" + std::to_string(c) + "_" + std::to_string(bits) + ".nef", MakeNef(s, frame));
    }
  for (int coding = 0; coding < 4; ++coding) {
    sArwSpec s;
    s.width = 64;
    s.height = 16;
    s.coding = coding;
    s.bits = coding == 2 ? 8 : 12;
    s.mrm = coding != 1;
    Write(root + "/arw", "coding" + std::to_string(coding) + ".arw", MakeArw(s, frame));
  }
  for (int coding = 0; coding < 5; ++coding) {
    sSrwSpec s;
    s.width = 32;
    s.height = 16;
    s.coding = coding;
    s.model = "NX1";  // no crop row: the small sensor develops whole
    Write(root + "/srw", "coding" + std::to_string(coding) + ".srw", MakeSrw(s, frame));
  }
  for (int comp : {1, 32773, 65535}) {
    sPefSpec s;
    s.width = 32;
    s.height = 24;
    s.compression = comp;
    s.be = comp != 1;
    s.cropOrigin = {1, 1};
    s.cropSize = {28, 20};
    Write(root + "/pef", "compression" + std::to_string(comp) + ".pef", MakePef(s, frame));
  }
  return 0;
}
