// The ICO/CUR, GIF, ICNS and XPM decoders against independent decoders, on
// files that independent encoders write while the test runs (and on the
// checked-in corpus): icotool -x for icons and cursors, giftopnm for GIF,
// icns2png -x for the icon-family elements it extracts (pngtopam for an
// embedded PNG), xpmtoppm for XPM. Every image of every file is compared
// pixel for pixel; where a pixel is fully transparent only the alpha is
// compared, except that GIF's transparent pixels must be white.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_gif.h"
#include "picture/pict_icns.h"
#include "picture/pict_ico.h"
#include "picture/pict_xpm.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Shell(const std::string& command) {
  const int rc = std::system((command + " 2>/dev/null").c_str());
  if (rc != 0) std::fprintf(stderr, "failed (%d): %s\n", rc, command.c_str());
  return rc == 0;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

// A picture as top-down RGBA bytes.
struct sImage {
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
};

// Netpbm files as the tools write them: P5, P6 and P7 (GRAYSCALE, RGB,
// RGB_ALPHA, GRAYSCALE_ALPHA), maxval 255.
bool ReadNetpbm(const fs::path& path, sImage& out) {
  const std::vector<uint8_t> b = ReadAll(path);
  size_t at = 0;
  auto token = [&]() {
    std::string t;
    while (at < b.size()) {
      if (b[at] == '#') {
        while (at < b.size() && b[at] != '\n') ++at;
      } else if (isspace(b[at])) {
        if (!t.empty()) break;
        ++at;
      } else {
        t.push_back(static_cast<char>(b[at++]));
      }
    }
    return t;
  };
  const std::string magic = token();
  int depth = 0, maxval = 0;
  if (magic == "P4") {
    // A bitmap: 1 is black, rows padded to whole bytes.
    out.w = std::atoi(token().c_str());
    out.h = std::atoi(token().c_str());
    ++at;
    const size_t row = (static_cast<size_t>(out.w) + 7) / 8;
    if (b.size() < at + row * out.h) return false;
    out.rgba.assign(static_cast<size_t>(out.w) * out.h * 4, 255);
    for (int y = 0; y < out.h; ++y)
      for (int x = 0; x < out.w; ++x)
        if (b[at + y * row + x / 8] >> (7 - x % 8) & 1) {
          uint8_t* d = out.rgba.data() + (static_cast<size_t>(y) * out.w + x) * 4;
          d[0] = d[1] = d[2] = 0;
        }
    return true;
  }
  if (magic == "P5" || magic == "P6") {
    out.w = std::atoi(token().c_str());
    out.h = std::atoi(token().c_str());
    maxval = std::atoi(token().c_str());
    depth = magic == "P5" ? 1 : 3;
  } else if (magic == "P7") {
    for (std::string t = token(); !t.empty() && t != "ENDHDR"; t = token()) {
      if (t == "WIDTH") out.w = std::atoi(token().c_str());
      else if (t == "HEIGHT") out.h = std::atoi(token().c_str());
      else if (t == "DEPTH") depth = std::atoi(token().c_str());
      else if (t == "MAXVAL") maxval = std::atoi(token().c_str());
      else if (t == "TUPLTYPE") token();
    }
  } else {
    return false;
  }
  ++at;  // the single whitespace before the raster
  if (maxval != 255 || depth < 1 || depth > 4) return false;
  const size_t n = static_cast<size_t>(out.w) * out.h;
  if (b.size() < at + n * depth) return false;
  out.rgba.assign(n * 4, 255);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* s = b.data() + at + i * depth;
    uint8_t* d = out.rgba.data() + i * 4;
    if (depth <= 2) {
      d[0] = d[1] = d[2] = s[0];
      if (depth == 2) d[3] = s[1];
    } else {
      d[0] = s[0], d[1] = s[1], d[2] = s[2];
      if (depth == 4) d[3] = s[3];
    }
  }
  return true;
}

// An RGB picture and a separate alpha (grey) picture, as giftopnm and
// xpmtoppm write them.
bool ReadWithAlpha(const fs::path& rgb, const fs::path& alpha, sImage& out) {
  sImage a;
  if (!ReadNetpbm(rgb, out) || !ReadNetpbm(alpha, a) || a.w != out.w || a.h != out.h) return false;
  for (size_t i = 0; i < out.rgba.size() / 4; ++i) out.rgba[i * 4 + 3] = a.rgba[i * 4];
  return true;
}

bool PngToImage(const fs::path& png, const fs::path& work, sImage& out) {
  const fs::path pam = work / "png.pam";
  return Shell("pngtopam -alphapam " + Quote(png) + " > " + Quote(pam)) && ReadNetpbm(pam, out);
}

// Ours (bottom-up 0xAARRGGBB) against the reference; the first difference
// is reported.
void Compare(cPictBase& ours, const sImage& ref, bool whiteTransparent, const std::string& what) {
  ASSERT_EQ(ours.GetWidth(), ref.w) << what;
  ASSERT_EQ(ours.GetHeight(), ref.h) << what;
  ASSERT_FALSE(ours.IsHighDepth()) << what;
  for (int y = 0; y < ref.h; ++y)
    for (int x = 0; x < ref.w; ++x) {
      const uint32_t p = ours.Pixels32().data[static_cast<size_t>(ref.h - 1 - y) * ref.w + x];
      const uint8_t* q = ref.rgba.data() + (static_cast<size_t>(y) * ref.w + x) * 4;
      const uint32_t r = p >> 16 & 255, g = p >> 8 & 255, b = p & 255, a = p >> 24;
      bool same = a == q[3];
      if (q[3] != 0)
        same = same && r == q[0] && g == q[1] && b == q[2];
      else if (whiteTransparent)
        same = same && (p & 0xFFFFFF) == 0xFFFFFF;
      ASSERT_TRUE(same) << what << ": first difference at " << x << "," << y << ": ours " << r << " " << g << " "
                        << b << " " << a << ", reference " << int(q[0]) << " " << int(q[1]) << " " << int(q[2])
                        << " " << int(q[3]);
    }
}

template <class T>
bool LoadOurs(const std::vector<uint8_t>& bytes, int32_t index, T& picture) {
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return picture.LoadImage(&io, index);
}

// The fixtures: the checked-in corpus and a fresh set written by the
// encoders now.
class MultiImageOracle : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    fresh_ = new twtest::TempDir();
    const std::string script = twtest::SourcePath("tests/picture/data/make_multi_image_fixtures.sh");
    made_ = Shell("'" + script + "' '" + fresh_->path() + "' > /dev/null");
  }
  static void TearDownTestSuite() {
    delete fresh_;
    fresh_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(made_) << "the fixture script failed"; }

  static std::vector<fs::path> Files(const std::vector<std::string>& extensions) {
    std::vector<fs::path> files;
    for (const fs::path& dir : {fs::path(fresh_->path()), fs::path(twtest::SourcePath("tests/picture/data"))})
      for (const auto& e : fs::directory_iterator(dir))
        for (const std::string& ext : extensions)
          if (e.path().extension() == ext) files.push_back(e.path());
    return files;
  }

  twtest::TempDir work_;
  static twtest::TempDir* fresh_;
  static bool made_;
};

twtest::TempDir* MultiImageOracle::fresh_ = nullptr;
bool MultiImageOracle::made_ = false;

TEST_F(MultiImageOracle, IconsAndCursorsAgreeWithIcotool) {
  int compared = 0;
  for (const fs::path& file : Files({".ico", ".cur"})) {
    const std::vector<uint8_t> bytes = ReadAll(file);
    cPictICO counter;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    const int32_t count = counter.GetImageCount(&io);
    ASSERT_GT(count, 0) << file;
    for (int32_t i = 0; i < count; ++i) {
      const fs::path out = fs::path(work_.path()) / ("ico" + std::to_string(compared));
      fs::create_directories(out);
      ASSERT_TRUE(Shell("icotool -x -i " + std::to_string(i + 1) + " -o " + Quote(out) + " " + Quote(file))) << file;
      ASSERT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1) << file;
      sImage ref;
      ASSERT_TRUE(PngToImage(fs::directory_iterator(out)->path(), work_.path(), ref)) << file;
      cPictICO ours;
      ASSERT_TRUE(LoadOurs(bytes, i, ours)) << file << " image " << i;
      Compare(ours, ref, false, file.filename().string() + " image " + std::to_string(i));
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);
}

TEST_F(MultiImageOracle, GifImagesAgreeWithGiftopnm) {
  int compared = 0;
  const fs::path rgb = fs::path(work_.path()) / "rgb.ppm", alpha = fs::path(work_.path()) / "alpha.pgm";
  for (const fs::path& file : Files({".gif"})) {
    const std::vector<uint8_t> bytes = ReadAll(file);
    cPictGIF counter;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    const int32_t count = counter.GetImageCount(&io);
    ASSERT_GT(count, 0) << file;
    for (int32_t i = 0; i < count; ++i) {
      // giftopnm refuses a file without its trailer: it gets one back.
      // -repair: ImageMagick writes transparent indexes beyond small tables.
      const fs::path whole = fs::path(work_.path()) / "whole.gif";
      std::ofstream(whole, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<std::streamsize>(bytes.size()))
          << (bytes.back() == ';' ? "" : ";");
      ASSERT_TRUE(Shell("giftopnm -repair -image=" + std::to_string(i + 1) + " -alphaout=" + Quote(alpha) + " " +
                        Quote(whole) + " | ppmtoppm > " + Quote(rgb)))
          << file << " image " << i;
      sImage ref;
      ASSERT_TRUE(ReadWithAlpha(rgb, alpha, ref)) << file;
      cPictGIF ours;
      ASSERT_TRUE(LoadOurs(bytes, i, ours)) << file << " image " << i;
      Compare(ours, ref, true, file.filename().string() + " image " + std::to_string(i));
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);
}

TEST_F(MultiImageOracle, XpmAgreesWithXpmtoppm) {
  int compared = 0;
  const fs::path rgb = fs::path(work_.path()) / "rgb.ppm", alpha = fs::path(work_.path()) / "alpha.pgm";
  for (const fs::path& file : Files({".xpm"})) {
    // xpmtoppm wants "static char"; ImageMagick writes "static const char".
    ASSERT_TRUE(Shell("sed 's/static const char/static char/' " + Quote(file) + " | xpmtoppm -alphaout=" +
                      Quote(alpha) + " > " + Quote(rgb)))
        << file;
    sImage ref;
    ASSERT_TRUE(ReadWithAlpha(rgb, alpha, ref)) << file;
    cPictXPM ours;
    ASSERT_TRUE(LoadOurs(ReadAll(file), 0, ours)) << file;
    Compare(ours, ref, false, file.filename().string());
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

uint32_t Be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

TEST_F(MultiImageOracle, IconFamilyElementsAgreeWithIcns2png) {
  // The depth icns2png names each classic element by.
  const std::map<std::string, int> depth = {{"ICN#", 1}, {"icl4", 4}, {"icl8", 8}, {"is32", 32},
                                            {"il32", 32}, {"ih32", 32}, {"it32", 32}};
  const std::map<std::string, int> size = {{"ICN#", 32}, {"icl4", 32}, {"icl8", 32}, {"is32", 16},
                                           {"il32", 32}, {"ih32", 48}, {"it32", 128}};
  int compared = 0;
  for (const fs::path& file : Files({".icns"})) {
    const std::vector<uint8_t> bytes = ReadAll(file);
    int32_t index = 0;
    for (size_t at = 8; at + 8 <= bytes.size(); at += Be32(bytes.data() + at + 4)) {
      const std::string type(reinterpret_cast<const char*>(bytes.data() + at), 4);
      const uint32_t length = Be32(bytes.data() + at + 4);
      ASSERT_GE(length, 8u) << file;
      const bool classic = depth.count(type) != 0;
      const bool png = type == "ic07" && length > 16 && bytes[at + 9] == 'P';
      const bool usable = classic || type == "ics8" || type == "ic08";
      if (!classic && !png) {
        index += usable ? 1 : 0;
        continue;
      }
      sImage ref;
      const std::string what = file.filename().string() + " " + type;
      if (png) {
        const fs::path data = fs::path(work_.path()) / "element.png";
        std::ofstream(data, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data() + at + 8), static_cast<std::streamsize>(length - 8));
        ASSERT_TRUE(PngToImage(data, work_.path(), ref)) << what;
      } else {
        // icns2png names what it extracts <name>_<size>x<size>x<depth>.png;
        // a plain -x leaves out some elements that -s and -d then get.
        const fs::path out = fs::path(work_.path()) / ("icns" + std::to_string(compared));
        fs::create_directories(out);
        const std::string s = std::to_string(size.at(type)), d = std::to_string(depth.at(type));
        const fs::path png = out / (file.stem().string() + "_" + s + "x" + s + "x" + d + ".png");
        Shell("icns2png -x -o " + Quote(out) + " " + Quote(file) + " > /dev/null");
        if (!fs::exists(png)) Shell("icns2png -x -s " + s + " -d " + d + " -o " + Quote(out) + " " + Quote(file) + " > /dev/null");
        if (!fs::exists(png)) {
          // This icns2png does not extract every classic element (16 x 16
          // and some 8-bit ones); the unit tests pin those with tables.
          std::fprintf(stderr, "icns2png gives no %s\n", what.c_str());
          ++index;
          continue;
        }
        ASSERT_TRUE(PngToImage(png, work_.path(), ref)) << what;
      }
      cPictICNS ours;
      ASSERT_TRUE(LoadOurs(bytes, index, ours)) << what;
      // icns2png masks 4- and 8-bit elements with the 1-bit mask of ICN#;
      // ours takes the 8-bit mask that follows them: colours only.
      if (depth.count(type) != 0 && (depth.at(type) == 4 || depth.at(type) == 8)) {
        _typebuf<uint32_t>& px = ours.Pixels32();
        for (int32_t k = 0; k < px.count; ++k) px.data[k] |= 0xFF000000u;
        for (size_t k = 3; k < ref.rgba.size(); k += 4) ref.rgba[k] = 255;
      }
      Compare(ours, ref, false, what);
      ++compared;
      ++index;
    }
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
