// The camera-raw corpus against independent readers run as black boxes:
// dcraw -D -4 and -E -4 (raw samples without scaling), LibRaw's
// unprocessed_raw, and dcraw -i -v for the sizes. The oracles give the
// samples as stored; our frame holds them as the readers store them (8-bit
// DNG samples b << 8, 9- to 15-bit packed ones shifted to 16 bits), which
// the generator's stored samples and frame both record.
//
// Where an oracle disagrees the behaviour documented here decides, and the
// pair is listed without an equality check: dcraw reads only the first
// lossless JPEG strip of a DNG (later rows stay 0), neither reads
// uncompressed tiled DNG, dcraw does not take the synthetic Leaf files,
// both read the Nikon E5700 12-bit data with another packing and scale its
// 16-bit data, and the real Hasselblad scan is not what the synthetic 3FR
// files carry.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "picture/raw/raw_preview.h"
#include "tests/picture/raw/raw_oracle_tools.h"
#include "tests/picture/raw/raw_test_util.h"
#include "tests/support/raw_corpus.h"
#include "tests/support/test_support.h"

namespace {

using raw_oracle::ParsePgm;
using raw_oracle::RunTool;
using raw_oracle::sPgm;

bool HaveTools() { return system("command -v dcraw >/dev/null && command -v unprocessed_raw >/dev/null") == 0; }

class cTempDir {
public:
  cTempDir() {
    char t[] = "/tmp/tw_raw_oracle_XXXXXX";
    path = mkdtemp(t);
  }
  ~cTempDir() { system(("rm -rf '" + path + "'").c_str()); }
  std::string path;
};

// The stored samples of the frame's columns.
std::vector<uint16_t> StoredFrame(const sRawFixture& f) {
  std::vector<uint16_t> out;
  for (int32_t y = 0; y < f.frameHeight; ++y)
    for (int32_t x = 0; x < f.frameWidth; ++x) out.push_back(f.stored[static_cast<size_t>(y) * f.storedWidth + x]);
  return out;
}

std::vector<uint16_t> Crop(const sPgm& p, int32_t w, int32_t h) {
  std::vector<uint16_t> out;
  for (int32_t y = 0; y < h && y < p.height; ++y)
    for (int32_t x = 0; x < w && x < p.width; ++x) out.push_back(p.samples[static_cast<size_t>(y) * p.width + x]);
  return out;
}

TEST(RawOracle, CorpusAgreesWithDcrawAndLibRaw) {
  if (!HaveTools()) GTEST_SKIP() << "dcraw or unprocessed_raw missing (scripts/deps.sh installs them)";
  // Which oracle reads which fixture to the stored samples.
  const std::map<std::string, std::pair<bool, bool>> agree = {
      // name: {dcraw, LibRaw}
      {"dng_16bit_strip.dng", {true, true}},     {"dng_16bit_strips_be.dng", {true, true}},
      {"dng_8bit.dng", {true, true}},            {"dng_12bit_crop.dng", {true, true}},
      {"dng_raw_ifd0.dng", {true, true}},        {"dng_ljpeg_tiles.dng", {true, false}},
      {"hasselblad_plain.3fr", {true, true}},    {"tiffep_ljpeg.tif", {true, true}},
      {"leaf_plain.mos", {false, true}},         {"leaf_ljpeg_fields.mos", {false, true}},
  };
  cTempDir dir;
  int checked = 0;
  for (const sRawFixture& f : RawFixtures()) {
    // Our own reading first: the generator's frame.
    std::unique_ptr<cPictBase> d = Probe(f.bytes, nullptr);
    ASSERT_NE(d, nullptr) << f.name;
    cFrameCatcher catcher;
    ASSERT_TRUE(LoadWith(*d, f.bytes)) << f.name;
    ASSERT_EQ(catcher.frame.samples, f.frame) << f.name;

    const std::string path = dir.path + "/" + f.name;
    {
      std::ofstream out(path, std::ios::binary);
      out.write(reinterpret_cast<const char*>(f.bytes.data()), static_cast<std::streamsize>(f.bytes.size()));
    }
    const auto it = agree.find(f.name);
    const bool dcrawAgrees = it != agree.end() && it->second.first;
    const bool librawAgrees = it != agree.end() && it->second.second;
    const std::vector<uint16_t> stored = StoredFrame(f);
    if (dcrawAgrees) {
      for (const char* mode : {"-D", "-E"}) {
        sPgm p;
        ASSERT_TRUE(ParsePgm(RunTool(std::string("dcraw ") + mode + " -4 -c '" + path + "' 2>/dev/null"), p))
            << f.name << " " << mode;
        EXPECT_EQ(Crop(p, f.frameWidth, f.frameHeight), stored) << f.name << " dcraw " << mode;
        ++checked;
      }
      // Sizes: dcraw's raw image size is the frame before any crop.
      const std::string info = RunTool("dcraw -i -v '" + path + "' 2>&1");
      int w = 0, h = 0;
      const char* at = std::strstr(info.c_str(), "Image size:");
      ASSERT_NE(at, nullptr) << f.name;
      ASSERT_EQ(std::sscanf(at, "Image size: %d x %d", &w, &h), 2) << f.name;
      EXPECT_EQ(w & ~3, f.frameWidth) << f.name;
      EXPECT_EQ(h, f.frameHeight) << f.name;
    }
    if (librawAgrees) {
      RunTool("cd '" + dir.path + "' && unprocessed_raw -q '" + f.name + "' >/dev/null 2>&1");
      std::ifstream in(path + ".pgm", std::ios::binary);
      const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      sPgm p;
      ASSERT_TRUE(ParsePgm(b, p)) << f.name << " unprocessed_raw";
      EXPECT_EQ(Crop(p, f.frameWidth, f.frameHeight), stored) << f.name << " LibRaw";
      ++checked;
    }
  }
  EXPECT_GE(checked, 20);
}

// The fitted JPEG preview at full size against ImageMagick's decode of the
// same embedded JPEG.
TEST(RawOracle, FittedJpegPreviewAgreesWithImageMagick) {
  if (system("command -v convert >/dev/null") != 0) GTEST_SKIP() << "ImageMagick missing";
  const std::string jpegPath = twtest::SourcePath("tests/picture/data/jpeg_baseline_444_optimized.jpg");
  const std::string s = twtest::ReadFileText(jpegPath);
  std::vector<uint8_t> file(128, 0);
  file.insert(file.end(), s.begin(), s.end());
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictDummy out;
  ASSERT_TRUE(LoadFittedJpegPreview(&io, 128, s.size(), &out, 0, 0));
  const std::string rgb = RunTool("convert 'jpg:" + jpegPath + "' -depth 8 rgb:- 2>/dev/null");
  const int32_t w = out.GetWidth(), h = out.GetHeight();
  ASSERT_EQ(rgb.size(), static_cast<size_t>(w) * h * 3);
  int worst = 0;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t p = out.Pixels32().data[static_cast<size_t>(h - 1 - y) * w + x];
      const uint8_t* q = reinterpret_cast<const uint8_t*>(rgb.data()) + (static_cast<size_t>(y) * w + x) * 3;
      const int d[3] = {static_cast<int>((p >> 16) & 255) - q[0], static_cast<int>((p >> 8) & 255) - q[1],
                        static_cast<int>(p & 255) - q[2]};
      for (int c : d) worst = std::max(worst, std::abs(c));
    }
  EXPECT_EQ(worst, 0);
}

}  // namespace
