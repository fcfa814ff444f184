// Canon raw against the peers, run as black boxes: the sensor raster that
// DecodeRaw unpacks from synthetic CR2 files equals `dcraw -E -4` and
// LibRaw's `unprocessed_raw` output.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/raw/pict_cr2.h"
#include "tests/picture/raw/cr2_builder.h"
#include "tests/support/test_support.h"

namespace {

using namespace cr2_test;

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

bool Have(const char* tool) { return !Shell(std::string("command -v ") + tool + " 2>/dev/null").empty(); }

// A 16-bit binary PGM as samples, width and height; empty when not one.
std::vector<uint16_t> ParsePgm(const std::string& data, int& w, int& h) {
  std::istringstream in(data);
  std::string magic;
  int maxval = 0;
  in >> magic >> w >> h >> maxval;
  if (magic != "P5" || maxval != 65535) return {};
  in.get();
  const size_t start = static_cast<size_t>(in.tellg());
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  if (data.size() < start + v.size() * 2) return {};
  for (size_t i = 0; i < v.size(); ++i)
    v[i] = static_cast<uint16_t>((static_cast<uint8_t>(data[start + 2 * i]) << 8) |
                                 static_cast<uint8_t>(data[start + 2 * i + 1]));
  return v;
}

void WriteFile(const std::string& path, const tBytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint16_t> Mosaic(int w, int h, int bits) {
  std::vector<uint16_t> v(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      v[static_cast<size_t>(y) * w + x] =
          static_cast<uint16_t>((x * 37 + y * 91 + (x & 1) * 300 + (y & 1) * 700) & ((1 << bits) - 1));
  return v;
}

struct sCr2Case {
  const char* name;
  uint32_t modelId;
  const char* model;
  int width, height, bits;
  int count, sliceWidth, last;
};

TEST(CanonOracle, Cr2RasterEqualsDcrawAndLibRaw) {
  if (!Have("dcraw") || !Have("unprocessed_raw")) GTEST_SKIP() << "dcraw or unprocessed_raw missing";
  const sCr2Case cases[] = {
      {"plain", 0x80000285, "Canon EOS 5D Mark III", 160, 100, 14, 0, 0, 0},
      {"two slices", 0x80000285, "Canon EOS 5D Mark III", 160, 100, 14, 2, 48, 64},
      {"three slices, 12 bits", 0x80000213, "Canon EOS 5D", 240, 120, 12, 3, 64, 48},
  };
  twtest::TempDir dir;
  for (const sCr2Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint16_t> raster = Mosaic(c.width, c.height, c.bits);
    sCr2Spec s;
    s.modelId = c.modelId;
    s.model = c.model;
    s.sensorWidth = static_cast<uint16_t>(c.width);
    s.sensorHeight = static_cast<uint16_t>(c.height);
    if (c.count > 0)
      s.slices = {static_cast<uint16_t>(c.count), static_cast<uint16_t>(c.sliceWidth), static_cast<uint16_t>(c.last)};
    const std::vector<uint16_t> order =
        c.count > 0 ? SliceOrder(raster, c.width, c.height, c.count, c.sliceWidth, c.last) : raster;
    sComponent a, b;
    for (size_t i = 0; i < order.size(); ++i) (i % 2 == 0 ? a : b).samples.push_back(order[i]);
    s.raw = LosslessJpeg(c.width / 2, c.height, c.bits, {a, b});
    const tBytes file = MakeCr2(s);
    const std::string path = dir.path() + "/test.cr2";
    WriteFile(path, file);

    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    cPictCR2 cr2;
    sTiffStripData sd;
    ASSERT_TRUE(cr2.DecodeRaw(&io, sd));
    const std::vector<uint16_t> ours(cr2.Raster().data, cr2.Raster().data + cr2.Raster().count);
    ASSERT_EQ(ours, raster);  // the generator's dump

    int w = 0, h = 0;
    const std::vector<uint16_t> dcraw = ParsePgm(Shell("dcraw -E -4 -c '" + path + "' 2>/dev/null"), w, h);
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(h, c.height);
    EXPECT_EQ(dcraw, ours) << "dcraw -E -4";

    Shell("cd '" + dir.path() + "' && unprocessed_raw test.cr2 >/dev/null 2>&1");
    std::ifstream pgm(path + ".pgm", std::ios::binary);
    const std::string libraw((std::istreambuf_iterator<char>(pgm)), std::istreambuf_iterator<char>());
    const std::vector<uint16_t> unpacked = ParsePgm(libraw, w, h);
    EXPECT_EQ(unpacked, ours) << "unprocessed_raw";
  }
}

}  // namespace
