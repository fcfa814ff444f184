// Canon raw against the peers, run as black boxes: the sensor raster that
// DecodeRaw unpacks from synthetic CR2 files equals `dcraw -E -4` and
// LibRaw's `unprocessed_raw` output.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/raw/pict_cr2.h"
#include "picture/raw/pict_crw.h"
#include "tests/picture/raw/canon_crw_encoder.h"
#include "tests/picture/raw/crw_builder.h"
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

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
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

// What a camera writes and the peers rely on: the real sensor size of the
// model (LibRaw refuses other sizes), an image-info record with its pixel
// aspect ratio 1.0 after width and height (dcraw scales the height by it),
// the raw data record first in the root heap at file offset 26 and the
// coded data at offset 540 (514 bytes passed over, the decoder table's data
// skip). Low-bit models: dcraw takes the low-bit area from the start of the
// raw record and only when it finds a byte 0xFF followed by a non-zero byte
// there (which noise in real low bits always gives); this decoder reads it
// at the data skip, right before the coded data. Low bits that repeat every
// 514 bytes, with the passed-over bytes holding their first 514, read the
// same from both places.
struct sCrwCase {
  const char* name;
  uint32_t modelId;
  const char* model;
  uint32_t sensorWidth, sensorHeight;
  uint32_t width, height;  // dcraw's picture size for the model
  uint32_t table;
  bool lowBits;
};

constexpr uint32_t kPassedOver = 514;

std::vector<uint16_t> CrwMosaic(const sCrwCase& c) {
  std::vector<uint16_t> v(static_cast<size_t>(c.sensorWidth) * c.sensorHeight);
  uint32_t noise = 0x12345678;
  std::vector<uint16_t> low(kPassedOver * 4);
  for (size_t i = 0; i < low.size(); ++i) {
    noise = noise * 1103515245u + 12345u;
    low[i] = static_cast<uint16_t>(i < 4 ? 3 : (noise >> 16) & 3);  // first byte 0xFF
  }
  low[4] = 1;  // second byte non-zero
  for (uint32_t y = 0; y < c.sensorHeight; ++y)
    for (uint32_t x = 0; x < c.sensorWidth; ++x) {
      const size_t p = static_cast<size_t>(y) * c.sensorWidth + x;
      const uint32_t smooth = (x * 3 + y * 5 + (x & 1) * 100 + (y & 1) * 200 + (x * y) % 29) & 1023;
      v[p] = static_cast<uint16_t>(c.lowBits ? (smooth << 2) | low[p % low.size()] : smooth);
    }
  return v;
}

std::vector<uint8_t> CrwCameraFile(const sCrwCase& c, const std::vector<uint16_t>& raster) {
  crw_test::sCrwSpec s;
  s.modelId = c.modelId;
  s.makeModel = std::string("Canon") + '\0' + c.model + '\0';
  s.sensorWidth = c.sensorWidth;
  s.sensorHeight = c.sensorHeight;
  s.width = c.width;
  s.height = c.height;
  s.left = (c.sensorWidth - c.width) / 2;
  s.top = (c.sensorHeight - c.height) / 2;
  s.pixelAspect = 1.0f;
  s.tableIndex = c.table;
  s.dataSkip = kPassedOver;
  s.raw = canon_test::EncodeCanonCompressed(raster, c.lowBits, c.sensorWidth, static_cast<int32_t>(c.table));
  if (c.lowBits) s.filler.assign(s.raw.begin(), s.raw.begin() + kPassedOver);
  return crw_test::CrwCamera(s);
}

const sCrwCase kCrwCases[] = {
    {"10 bits, table 1", 0x01100000, "PowerShot G2", 2376, 1728, 2312, 1720, 1, false},
    {"low bits, table 0", 0x80000168, "EOS 10D", 3152, 2068, 3088, 2056, 0, true},
    {"10 bits, table 2", 0x01100000, "PowerShot G2", 2376, 1728, 2312, 1720, 2, false},
};

// The cases' files, made once for both tests.
const std::vector<uint8_t>& CrwFileOf(size_t i) {
  static std::vector<uint8_t> files[std::size(kCrwCases)];
  if (files[i].empty()) files[i] = CrwCameraFile(kCrwCases[i], CrwMosaic(kCrwCases[i]));
  return files[i];
}

TEST(CanonOracle, CrwRasterEqualsDcrawAndLibRaw) {
  if (!Have("dcraw") || !Have("unprocessed_raw")) GTEST_SKIP() << "dcraw or unprocessed_raw missing";
  twtest::TempDir dir;
  for (size_t i = 0; i < std::size(kCrwCases); ++i) {
    const sCrwCase& c = kCrwCases[i];
    SCOPED_TRACE(c.name);
    const std::vector<uint16_t> raster = CrwMosaic(c);
    const std::vector<uint8_t>& file = CrwFileOf(i);
    const std::string path = dir.path() + "/test.crw";
    WriteFile(path, file);

    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    cPictCRW crw;
    ASSERT_TRUE(crw.DecodeRaster(&io));
    const std::vector<uint16_t> ours(crw.Raster().data, crw.Raster().data + crw.Raster().count);
    ASSERT_EQ(ours, raster);  // the generator's dump

    int w = 0, h = 0;
    const std::vector<uint16_t> dcraw = ParsePgm(Shell("dcraw -E -4 -c '" + path + "' 2>/dev/null"), w, h);
    EXPECT_EQ(w, static_cast<int>(c.sensorWidth));
    EXPECT_EQ(h, static_cast<int>(c.sensorHeight));
    EXPECT_EQ(dcraw, ours) << "dcraw -E -4";

    Shell("cd '" + dir.path() + "' && rm -f test.crw.pgm && unprocessed_raw test.crw >/dev/null 2>&1");
    std::ifstream pgm(path + ".pgm", std::ios::binary);
    const std::string libraw((std::istreambuf_iterator<char>(pgm)), std::istreambuf_iterator<char>());
    EXPECT_EQ(ParsePgm(libraw, w, h), ours) << "unprocessed_raw";
  }
}

// The picture size: ours from the image-info record, dcraw's from its own
// border table for the model; they agree for these models.
TEST(CanonOracle, CrwSizeEqualsDcraw) {
  if (!Have("dcraw")) GTEST_SKIP() << "dcraw missing";
  twtest::TempDir dir;
  for (size_t i = 0; i < std::size(kCrwCases); ++i) {
    SCOPED_TRACE(kCrwCases[i].name);
    const std::vector<uint8_t>& file = CrwFileOf(i);
    const std::string path = dir.path() + "/test.crw";
    WriteFile(path, file);
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    sPictInfo info;
    ASSERT_TRUE(cPictCRW::Detect(&io, &info));
    const std::string text = Shell("dcraw -i -v '" + path + "' 2>/dev/null");
    const std::string want = "Image size:  " + std::to_string(info.width) + " x " + std::to_string(info.height);
    EXPECT_NE(text.find(want), std::string::npos) << text;
  }
}

// The CR2 picture size: ours is the sensor size less the model's borders
// from our table, dcraw's comes from its own; the files carry the real
// sensor size (the frame header only: neither reads the samples here).
TEST(CanonOracle, Cr2SizeEqualsDcraw) {
  if (!Have("dcraw")) GTEST_SKIP() << "dcraw missing";
  const struct {
    uint32_t modelId;
    const char* model;
    uint16_t sensorWidth, sensorHeight;
    int32_t width, height;  // less the borders {122, 2, 80, 0} and {90, 0, 34, 0}
  } cases[] = {
      {0x80000285, "Canon EOS 5D Mark III", 5920, 3950, 5796, 3870},
      {0x80000213, "Canon EOS 5D", 4476, 2954, 4386, 2920},
  };
  twtest::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    sComponent a, b;
    a.samples = {0};
    b.samples = {0};
    tBytes frame = LosslessJpeg(2, 1, 14, {a, b});
    frame[7] = static_cast<uint8_t>(c.sensorHeight >> 8);
    frame[8] = static_cast<uint8_t>(c.sensorHeight);
    frame[9] = static_cast<uint8_t>(c.sensorWidth / 2 >> 8);
    frame[10] = static_cast<uint8_t>(c.sensorWidth / 2);
    sCr2Spec s;
    s.modelId = c.modelId;
    s.model = c.model;
    s.sensorWidth = c.sensorWidth;
    s.sensorHeight = c.sensorHeight;
    s.raw = frame;
    const tBytes file = MakeCr2(s);
    const std::string path = dir.path() + "/test.cr2";
    WriteFile(path, file);
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    sPictInfo info;
    ASSERT_TRUE(cPictCR2::Detect(&io, &info));
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    const std::string text = Shell("dcraw -i -v '" + path + "' 2>/dev/null");
    const std::string want = "Image size:  " + std::to_string(info.width) + " x " + std::to_string(info.height);
    EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
  }
}

}  // namespace
