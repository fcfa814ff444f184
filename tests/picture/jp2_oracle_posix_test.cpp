// The JPEG 2000 decoders against OpenJPEG's own tools, on files made at test
// time: opj_compress encodes a matrix of pictures (grey and RGB at 8, 12 and
// 16 bits, image origins, subsampled components, the irreversible wavelet),
// opj_decompress writes each one's components as PGX files, and every pixel
// we decode must be those samples shifted to 8 bits, each component sampled
// at the pixel's grid position (its first sample at ceil(origin / d)).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_jp2.h"
#include "tests/support/test_support.h"

namespace {

bool Sh(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct sComponent {
  int w = 0, h = 0, prec = 0;
  std::vector<int32_t> samples;
};

// "PG ML +|- prec w h\n" and big-endian samples of 1, 2 or 4 bytes.
bool ReadPgx(const std::string& path, sComponent& c) {
  const std::vector<uint8_t> d = ReadBytes(path);
  size_t eol = 0;
  while (eol < d.size() && d[eol] != '\n') ++eol;
  if (eol >= d.size()) return false;
  char sign = 0;
  const std::string head(d.begin(), d.begin() + static_cast<long>(eol));
  if (std::sscanf(head.c_str(), "PG ML %c %d %d %d", &sign, &c.prec, &c.w, &c.h) != 4) return false;
  const int bytes = c.prec <= 8 ? 1 : (c.prec <= 16 ? 2 : 4);
  const size_t n = static_cast<size_t>(c.w) * c.h;
  if (d.size() < eol + 1 + n * bytes) return false;
  c.samples.resize(n);
  const uint8_t* p = d.data() + eol + 1;
  for (size_t i = 0; i < n; ++i) {
    uint32_t v = 0;
    for (int b = 0; b < bytes; ++b) v = v << 8 | p[i * bytes + b];
    if (sign == '-') {
      const int bits = bytes * 8;
      if (bits < 32 && (v >> (bits - 1)) != 0) v |= ~((1u << bits) - 1);
    }
    c.samples[i] = static_cast<int32_t>(v);
  }
  return true;
}

struct sCase {
  const char* name;
  const char* source;  // "pgm", "ppm" or "raw4" (Y, Cb, Cr subsampled, and A)
  int width, height, bits;
  int x0, y0;       // image origin (-d)
  int cdx, cdy;     // subsampling of the raw source's second and third components
  const char* ext;  // "jp2" or "j2k"
  const char* extra;
};

std::ostream& operator<<(std::ostream& os, const sCase& c) { return os << c.name; }

// Deterministic samples with every bit of the precision in use.
uint32_t Sample(int c, int x, int y, int bits) {
  const uint32_t max = (1u << bits) - 1;
  const uint32_t v = static_cast<uint32_t>(x * (97 + 31 * c) + y * (57 + 13 * c) + c * 1000) * 2654435761u;
  return (v >> 7) & max;
}

void MakeSource(const sCase& c, const std::string& path) {
  std::vector<uint8_t> out;
  auto put = [&](uint32_t v, int bits) {
    if (bits > 8) out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
  };
  const std::string src = c.source;
  if (src == "pgm" || src == "ppm") {
    const int comps = src == "pgm" ? 1 : 3;
    const std::string head = std::string(comps == 1 ? "P5" : "P6") + "\n" + std::to_string(c.width) + " " +
                             std::to_string(c.height) + "\n" + std::to_string((1 << c.bits) - 1) + "\n";
    out.assign(head.begin(), head.end());
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        for (int k = 0; k < comps; ++k) put(Sample(k, x, y, c.bits), c.bits);
  } else {
    const int cw = (c.width + c.cdx - 1) / c.cdx, ch = (c.height + c.cdy - 1) / c.cdy;
    for (int k = 0; k < 4; ++k) {
      const bool sub = k == 1 || k == 2;
      for (int y = 0; y < (sub ? ch : c.height); ++y)
        for (int x = 0; x < (sub ? cw : c.width); ++x) put(Sample(k, x, y, c.bits), c.bits);
    }
  }
  WriteBytes(path, out);
}

class Jp2Oracle : public ::testing::TestWithParam<sCase> {};

TEST_P(Jp2Oracle, PixelsAreTheToolsSamplesShifted) {
  if (!Sh("command -v opj_compress") || !Sh("command -v opj_decompress"))
    GTEST_SKIP() << "libopenjp2-tools missing";
  const sCase& c = GetParam();
  twtest::TempDir dir;
  const std::string d = dir.path();
  const std::string src = d + "/src." + (std::string(c.source) == "raw4" ? "raw" : c.source);
  const std::string file = d + "/pic." + c.ext;
  MakeSource(c, src);
  std::string cmd = "opj_compress -i " + src + " -o " + file + " -n 2";
  if (std::string(c.source) == "raw4")
    cmd += " -F " + std::to_string(c.width) + "," + std::to_string(c.height) + ",4," + std::to_string(c.bits) +
           ",u@1x1:" + std::to_string(c.cdx) + "x" + std::to_string(c.cdy) + ":" + std::to_string(c.cdx) + "x" +
           std::to_string(c.cdy) + ":1x1";
  if (c.x0 != 0 || c.y0 != 0) cmd += " -d " + std::to_string(c.x0) + "," + std::to_string(c.y0);
  cmd += std::string(" ") + c.extra;
  ASSERT_TRUE(Sh(cmd)) << cmd;
  ASSERT_TRUE(Sh("opj_decompress -i " + file + " -o " + d + "/out.pgx"));
  std::vector<sComponent> comps;
  for (int k = 0;; ++k) {
    sComponent comp;
    if (!ReadPgx(d + "/out_" + std::to_string(k) + ".pgx", comp)) break;
    comps.push_back(comp);
  }
  ASSERT_FALSE(comps.empty());

  const std::vector<uint8_t> bytes = ReadBytes(file);
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  sPictInfo info;
  std::unique_ptr<cPictBase> pict(CreatePicture(&io, &info));
  ASSERT_NE(pict, nullptr);
  EXPECT_EQ(pict->GetFormat(), std::string(c.ext) == "jp2" ? kPictFormatJP2 : kPictFormatJ2K);
  EXPECT_EQ(info.width, c.width);
  EXPECT_EQ(info.height, c.height);
  io.Seek(0);
  ASSERT_TRUE(pict->Load(&io));
  ASSERT_EQ(pict->GetWidth(), c.width);
  ASSERT_EQ(pict->GetHeight(), c.height);
  ASSERT_FALSE(pict->IsHighDepth());

  const int shift = comps[0].prec - 8;
  int bad = 0;
  for (int y = 0; y < c.height && bad < 5; ++y) {
    for (int x = 0; x < c.width && bad < 5; ++x) {
      uint32_t ch[4] = {0, 0, 0, 0xFF};
      for (size_t k = 0; k < comps.size() && k < 4; ++k) {
        const int dx = std::string(c.source) == "raw4" && (k == 1 || k == 2) ? c.cdx : 1;
        const int dy = std::string(c.source) == "raw4" && (k == 1 || k == 2) ? c.cdy : 1;
        const int firstX = (c.x0 + dx - 1) / dx, firstY = (c.y0 + dy - 1) / dy;
        int ix = (c.x0 + x) / dx - firstX, iy = (c.y0 + y) / dy - firstY;
        ix = ix < 0 ? 0 : (ix >= comps[k].w ? comps[k].w - 1 : ix);
        iy = iy < 0 ? 0 : (iy >= comps[k].h ? comps[k].h - 1 : iy);
        ch[k] = static_cast<uint32_t>(comps[k].samples[static_cast<size_t>(iy) * comps[k].w + ix] >> shift) & 0xFF;
      }
      const uint32_t want = comps.size() == 1 ? (0xFF000000u | ch[0] * 0x010101u)
                                              : (ch[3] << 24 | ch[0] << 16 | ch[1] << 8 | ch[2]);
      const uint32_t got = pict->Pixels32().data[static_cast<size_t>(c.height - 1 - y) * c.width + x];
      if (got != want) {
        ++bad;
        ADD_FAILURE() << c.name << ": pixel (" << x << ", " << y << ") is " << std::hex << got << ", want " << want;
      }
    }
  }
}

const sCase kCases[] = {
    {"grey8_j2k", "pgm", 17, 9, 8, 0, 0, 1, 1, "j2k", ""},
    {"grey12_jp2", "pgm", 23, 11, 12, 0, 0, 1, 1, "jp2", ""},
    {"grey16_jp2", "pgm", 19, 13, 16, 0, 0, 1, 1, "jp2", ""},
    {"rgb8_jp2", "ppm", 21, 10, 8, 0, 0, 1, 1, "jp2", ""},
    {"rgb12_j2k", "ppm", 16, 16, 12, 0, 0, 1, 1, "j2k", ""},
    {"rgb16_j2k", "ppm", 15, 7, 16, 0, 0, 1, 1, "j2k", ""},
    {"grey8_origin_16_8_jp2", "pgm", 100, 50, 8, 16, 8, 1, 1, "jp2", ""},
    {"rgb8_origin_5_3_j2k", "ppm", 20, 12, 8, 5, 3, 1, 1, "j2k", ""},
    {"sub420_odd_width_j2k", "raw4", 17, 9, 8, 0, 0, 2, 2, "j2k", ""},
    {"sub420_odd_origin_j2k", "raw4", 17, 9, 8, 1, 1, 2, 2, "j2k", ""},
    {"sub422_origin_3_0_j2k", "raw4", 18, 6, 8, 3, 0, 2, 1, "j2k", ""},
    {"sub420_12bit_origin_7_5_j2k", "raw4", 13, 11, 12, 7, 5, 2, 2, "j2k", ""},
    {"rgb8_irreversible_j2k", "ppm", 24, 18, 8, 0, 0, 1, 1, "j2k", "-I"},
    {"rgb8_tiles_layers_jp2", "ppm", 40, 30, 8, 0, 0, 1, 1, "jp2", "-t 16,16 -r 20,10,1"},
};

INSTANTIATE_TEST_SUITE_P(Matrix, Jp2Oracle, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<sCase>& i) { return std::string(i.param.name); });

}  // namespace
