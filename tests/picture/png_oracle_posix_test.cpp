// The PNG decoder against libpng, pixel for pixel at the native depth: the
// fixture corpus and a generated matrix of every colour type and depth,
// interlaced or not, each filter, tRNS, and IDAT split into 1-byte chunks;
// damaged files (truncations, bad CRCs) must fail cleanly where libpng
// fails too.
#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_png.h"
#include "tests/support/png_writer.h"
#include "tests/support/test_support.h"

namespace {

struct sReader {
  const std::vector<uint8_t>* bytes;
  size_t at = 0;
};

void ReadFn(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<sReader*>(png_get_io_ptr(png));
  if (r->at + n > r->bytes->size()) png_error(png, "read past the end");
  std::memcpy(out, r->bytes->data() + r->at, n);
  r->at += n;
}

void Silent(png_structp, png_const_charp) {}

// libpng's decoding as RGBA at 8 or 16 bits per channel (the picture's
// native depth), rows top-down; false when libpng reports an error.
bool LibpngDecode(const std::vector<uint8_t>& file, int& w, int& h, int& depth, std::vector<uint8_t>& rgba) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Silent, Silent);
  png_infop info = png_create_info_struct(png);
  sReader reader{&file};
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, ReadFn);
  png_read_info(png, info);
  w = static_cast<int>(png_get_image_width(png, info));
  h = static_cast<int>(png_get_image_height(png, info));
  depth = png_get_bit_depth(png, info) == 16 ? 16 : 8;
  png_set_expand(png);
  png_set_tRNS_to_alpha(png);
  png_set_gray_to_rgb(png);
  png_set_filler(png, depth == 16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t rowBytes = static_cast<size_t>(w) * 4 * (depth / 8);
  rgba.assign(rowBytes * h, 0);
  rows.resize(h);
  for (int y = 0; y < h; ++y) rows[y] = rgba.data() + rowBytes * y;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

// Ours against libpng; the first differing pixel is reported.
void Compare(const std::vector<uint8_t>& file, const std::string& what) {
  int w = 0, h = 0, depth = 0;
  std::vector<uint8_t> want;
  ASSERT_TRUE(LibpngDecode(file, w, h, depth, want)) << what;
  cPictPNG png;
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  ASSERT_TRUE(png.Load(&io)) << what;
  ASSERT_EQ(png.GetWidth(), w) << what;
  ASSERT_EQ(png.GetHeight(), h) << what;
  ASSERT_EQ(png.IsHighDepth(), depth == 16) << what;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t ours = static_cast<size_t>(h - 1 - y) * w + x;
      uint32_t r, g, b, a;
      if (depth == 16) {
        const uint64_t p = png.Pixels64().data[ours];
        b = p & 0xFFFF, g = (p >> 16) & 0xFFFF, r = (p >> 32) & 0xFFFF, a = p >> 48;
      } else {
        const uint32_t p = png.Pixels32().data[ours];
        b = p & 0xFF, g = (p >> 8) & 0xFF, r = (p >> 16) & 0xFF, a = p >> 24;
      }
      uint32_t lr, lg, lb, la;
      const uint8_t* q = want.data() + (static_cast<size_t>(y) * w + x) * 4 * (depth / 8);
      if (depth == 16) {
        lr = q[0] << 8 | q[1], lg = q[2] << 8 | q[3], lb = q[4] << 8 | q[5], la = q[6] << 8 | q[7];
      } else {
        lr = q[0], lg = q[1], lb = q[2], la = q[3];
      }
      ASSERT_TRUE(r == lr && g == lg && b == lb && a == la)
          << what << ": first difference at " << x << "," << y << ": ours " << r << " " << g << " " << b << " "
          << a << ", libpng " << lr << " " << lg << " " << lb << " " << la;
    }
  }
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(PngOracle, FixtureCorpus) {
  const std::filesystem::path dir = twtest::SourcePath("tests/picture/data");
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().extension() != ".png") continue;
    Compare(ReadAll(e.path()), e.path().filename().string());
    ++n;
  }
  EXPECT_GE(n, 30);
}

TEST(PngOracle, GeneratedMatrix) {
  const uint8_t kinds[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                              {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  uint32_t seed = 500;
  for (const auto& k : kinds) {
    for (uint8_t interlace : {0, 1}) {
      for (int filter = -1; filter <= 4; ++filter) {
        twtest::sPngImage img = twtest::MakeTestImage(19 + seed % 7, 13 + seed % 5, k[0], k[1], seed);
        ++seed;
        img.interlace = interlace;
        img.filter = filter;
        if (k[0] == 3 && filter == 2) img.trns = {0, 50, 100, 150};
        if (img.trns.size() > img.palette.size() / 3) img.trns.resize(img.palette.size() / 3);
        if (k[0] == 0 && filter == 3) img.trns = {0, 1};
        if (k[0] == 2 && filter == 3) img.trns = {0, 1, 0, 2, 0, 3};
        const std::string what = "type " + std::to_string(k[0]) + " depth " + std::to_string(k[1]) +
                                 " interlace " + std::to_string(interlace) + " filter " + std::to_string(filter);
        Compare(twtest::EncodePng(img), what);
        if (filter == -1) Compare(twtest::EncodePng(img, 1), what + " 1-byte IDAT");
      }
    }
  }
}

TEST(PngOracle, DamageFailsCleanlyWhereLibpngFails) {
  twtest::sPngImage img = twtest::MakeTestImage(12, 9, 6, 8, 3);
  img.interlace = 1;
  const std::vector<uint8_t> file = twtest::EncodePng(img, 40);
  for (size_t n = 8; n < file.size(); n += 3) {
    std::vector<uint8_t> cut(file.begin(), file.begin() + n);
    int w, h, d;
    std::vector<uint8_t> rgba;
    EXPECT_FALSE(LibpngDecode(cut, w, h, d, rgba)) << n;
    cPictPNG png;
    cBufWrapperIO io(cut.data(), static_cast<uint32_t>(cut.size()));
    EXPECT_FALSE(png.Load(&io)) << "cut at " << n;
  }
  // A flipped CRC byte in IHDR or any IDAT chunk.
  size_t at = 8;
  while (at + 12 <= file.size()) {
    const uint32_t len = static_cast<uint32_t>(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
    const std::string type(file.begin() + at + 4, file.begin() + at + 8);
    if (type == "IHDR" || type == "IDAT") {
      std::vector<uint8_t> bad = file;
      bad[at + 8 + len] ^= 0x10;
      int w, h, d;
      std::vector<uint8_t> rgba;
      EXPECT_FALSE(LibpngDecode(bad, w, h, d, rgba)) << type << " at " << at;
      cPictPNG png;
      cBufWrapperIO io(bad.data(), static_cast<uint32_t>(bad.size()));
      EXPECT_FALSE(png.Load(&io)) << type << " at " << at;
    }
    at += 12 + len;
  }
}

}  // namespace
