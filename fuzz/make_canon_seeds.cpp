// Writes the seed corpora of the CR2, CRW and CR3 fuzz targets from the test
// kits' builders (not part of the build). From the source root:
//   g++ -std=c++20 -I. -Ibuild/native/generated fuzz/make_canon_seeds.cpp \
//     tests/support/tiff_builder.cpp picture/raw/raw_canon_compressed.cpp \
//     -Lbuild/native -ltw_base -o /tmp/make_canon_seeds && /tmp/make_canon_seeds fuzz/corpus
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/picture/raw/canon_crw_encoder.h"
#include "tests/picture/raw/cr2_builder.h"
#include "tests/picture/raw/cr3_builder.h"
#include "tests/picture/raw/crw_builder.h"

namespace {

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint16_t> Mosaic(int w, int h, int bits) {
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      v[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>((x * 37 + y * 91 + (x & 1) * 300) & ((1 << bits) - 1));
  return v;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  const std::string out = argv[1];
  {
    using namespace cr2_test;
    const int w = 24, h = 12;
    const std::vector<uint16_t> raster = Mosaic(w, h, 12);
    for (int variant = 0; variant < 3; ++variant) {
      sCr2Spec s;
      s.modelId = 0x80000999;
      s.sensorWidth = w;
      s.sensorHeight = h;
      s.leftBorder = 8;
      std::vector<uint16_t> order = raster;
      if (variant == 1) {
        s.slices = {2, 8, 8};
        order = SliceOrder(raster, w, h, 2, 8, 8);
      }
      sComponent a, b;
      for (size_t i = 0; i < order.size(); ++i) (i % 2 == 0 ? a : b).samples.push_back(order[i]);
      s.raw = LosslessJpeg(w / 2, h, 12, {a, b});
      if (variant == 2) {
        s.modelId = 0x80000001;
        s.oldest = true;
        s.colourData = false;
        s.oldBalance = {500, 400, 600, 400};
      }
      Write(out + "/cr2/synthetic_" + std::to_string(variant) + ".cr2", MakeCr2(s));
    }
    // sRAW 4:2:2
    sComponent y{2, 1, {}}, cb{1, 1, {}}, cr{1, 1, {}};
    for (int i = 0; i < 8 * 4; ++i) y.samples.push_back(static_cast<uint16_t>(3000 + i));
    for (int i = 0; i < 4 * 4; ++i) {
      cb.samples.push_back(16384 + 10);
      cr.samples.push_back(16384 - 10);
    }
    sCr2Spec s;
    s.modelId = 0x80000999;
    s.sensorWidth = 8;
    s.sensorHeight = 4;
    s.slices = {1, 16, 16};
    s.raw = LosslessJpeg(8, 4, 15, {y, cb, cr});
    Write(out + "/cr2/synthetic_sraw.cr2", MakeCr2(s));
  }
  {
    using namespace crw_test;
    for (int variant = 0; variant < 2; ++variant) {
      sCrwSpec s;
      s.modelId = variant == 0 ? 0x80000168 : 0x01100000;
      s.sensorWidth = 24;
      s.sensorHeight = 10;
      s.width = 20;
      s.height = 8;
      s.left = 2;
      s.top = 1;
      s.wbSetting = 3;
      s.tableIndex = static_cast<uint32_t>(variant);
      s.raw = canon_test::EncodeCanonCompressed(Mosaic(24, 10, variant == 0 ? 12 : 10), variant == 0, 24,
                                                variant);
      if (variant == 1) s.jpeg = ReadAll("tests/picture/raw/data/cr3_preview.jpg");
      Write(out + "/crw/synthetic_" + std::to_string(variant) + ".crw", CrwCamera(s));
    }
  }
  {
    using namespace cr3_test;
    const tBytes main = ReadAll("tests/picture/raw/data/cr3_main.jpg");
    const tBytes prev = ReadAll("tests/picture/raw/data/cr3_preview.jpg");
    Write(out + "/cr3/synthetic.cr3", Cat({Ftyp(), PrvwBox(prev), Moov(48, 32), Mdat(main)}));
    Write(out + "/cr3/box64.cr3", Cat({Ftyp(), Box64("free", tBytes(3, 0)), Moov(48, 32), Box64("mdat", prev)}));
  }
  return 0;
}
