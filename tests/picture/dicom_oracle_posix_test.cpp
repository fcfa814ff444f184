// The DICOM decoders on files made at test time by Python
// (tests/picture/make_dicom_fixtures.py, native grey, RGB, multi-frame,
// legacy and encapsulated JPEG 2000) and by dcmtk's img2dcm (encapsulated
// JPEG): image counts, sizes and every pixel by the decoder's formulas from
// the samples written, with dcmtk's dcm2pnm / dcmj2pnm as a cross-check of
// what the files hold (min-max window for grey, within one level; RGB
// exactly; JPEG frames within two levels of our JPEG decoder).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_dicom.h"
#include "picture/pict_factory.h"
#include "picture/pict_jp2.h"
#include "picture/pict_jpeg.h"
#include "tests/support/test_support.h"

namespace {

bool Sh(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A binary PGM or PPM (maxval 255): width, height, channels, samples.
bool ReadPnm(const std::string& path, int& w, int& h, int& channels, std::vector<uint8_t>& px) {
  const std::vector<uint8_t> d = ReadBytes(path);
  if (d.size() < 3 || d[0] != 'P' || (d[1] != '5' && d[1] != '6')) return false;
  channels = d[1] == '5' ? 1 : 3;
  size_t i = 2;
  int fields[3], n = 0;
  while (n < 3 && i < d.size()) {
    while (i < d.size() && (d[i] == ' ' || d[i] == '\n' || d[i] == '\r' || d[i] == '\t')) ++i;
    int v = 0;
    while (i < d.size() && d[i] >= '0' && d[i] <= '9') v = v * 10 + (d[i++] - '0');
    fields[n++] = v;
  }
  ++i;  // the single white-space byte after maxval
  w = fields[0];
  h = fields[1];
  if (fields[2] != 255 || d.size() < i + static_cast<size_t>(w) * h * channels) return false;
  px.assign(d.begin() + static_cast<long>(i), d.begin() + static_cast<long>(i + static_cast<size_t>(w) * h * channels));
  return true;
}

struct sSamples {
  int rows = 0, cols = 0, samples = 0, frames = 0;
  std::vector<uint32_t> values;
};

bool ReadSamples(const std::string& path, sSamples& s) {
  std::ifstream in(path);
  if (!(in >> s.rows >> s.cols >> s.samples >> s.frames)) return false;
  uint32_t v;
  while (in >> v) s.values.push_back(v);
  return !s.values.empty();
}

class DicomOracle : public ::testing::Test {
protected:
  void SetUp() override {
    if (!Sh("command -v python3") || !Sh("command -v dcm2pnm") || !Sh("command -v img2dcm") ||
        !Sh("command -v dcmj2pnm"))
      GTEST_SKIP() << "python3 or dcmtk missing";
    const std::string src = twtest::SourcePath("");
    ASSERT_TRUE(Sh("python3 " + src + "/tests/picture/make_dicom_fixtures.py " + dir_.path() + " " + src +
                   "/tests/picture/data/j2k_rgb12.j2k"));
  }
  std::string Path(const std::string& name) const { return dir_.path() + "/" + name; }

  twtest::TempDir dir_;
};

// Native files: every frame by the formulas, and dcm2pnm's rendering.
TEST_F(DicomOracle, NativeFramesByTheFormulasAndDcm2pnm) {
  struct sRow {
    const char* file;
    int bitsAllocated, bitsStored, planar;
    int32_t format;
  };
  const sRow rows[] = {
      {"dicom_grey8.dcm", 8, 8, 0, kPictFormatDICOM},
      {"dicom_grey16_12bit_3frames.dcm", 16, 12, 0, kPictFormatDICOM},
      {"dicom_rgb8_interleaved.dcm", 8, 8, 0, kPictFormatDICOM},
      {"dicom_rgb8_planar.dcm", 8, 8, 1, kPictFormatDICOM},
      {"dicom_legacy_grey16.dcm", 16, 10, 0, kPictFormatDICOMLegacy},
  };
  for (const sRow& r : rows) {
    SCOPED_TRACE(r.file);
    sSamples s;
    ASSERT_TRUE(ReadSamples(Path(r.file) + ".samples", s));
    std::vector<uint8_t> bytes = ReadBytes(Path(r.file));
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    sPictInfo info;
    std::unique_ptr<cPictBase> p(CreatePicture(&io, &info));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetFormat(), r.format);
    EXPECT_EQ(info.width, s.cols);
    EXPECT_EQ(info.height, s.rows);
    io.Seek(0);
    ASSERT_EQ(p->GetImageCount(&io), s.frames);
    const size_t perFrame = static_cast<size_t>(s.rows) * s.cols * s.samples;
    const uint32_t full = r.bitsAllocated == 16 ? 65535 : 255;
    for (int f = 0; f < s.frames; ++f) {
      SCOPED_TRACE(f);
      io.Seek(0);
      ASSERT_TRUE(p->LoadImage(&io, f));
      ASSERT_EQ(p->GetWidth(), s.cols);
      ASSERT_EQ(p->GetHeight(), s.rows);
      ASSERT_EQ(p->IsHighDepth(), r.bitsAllocated == 16);
      const uint32_t* v = s.values.data() + perFrame * f;
      double scale = static_cast<double>(full) / ((1u << r.bitsStored) - 1);
      uint32_t lo = 0;
      if (s.samples == 1) {
        uint32_t mn = v[0], mx = v[0];
        for (size_t i = 0; i < perFrame; ++i) {
          mn = v[i] < mn ? v[i] : mn;
          mx = v[i] > mx ? v[i] : mx;
        }
        if (mx > mn) {
          lo = mn;
          scale = static_cast<double>(full) / (mx - mn);
        }
      }
      auto expect = [&](uint32_t sample) { return static_cast<uint32_t>((sample - lo) * scale) & full; };
      // dcm2pnm's min-max window of a flat frame is degenerate (it gives 0
      // where the decoder keeps the samples): no cross-check there.
      const bool flat = s.samples == 1 && lo == 0 && scale == static_cast<double>(full) / ((1u << r.bitsStored) - 1);
      int w = 0, h = 0, ch = 0;
      std::vector<uint8_t> tool;
      const std::string toolFile = Path(std::string(r.file) + ".frame" + std::to_string(f));
      ASSERT_TRUE(Sh("dcm2pnm +Wm +F " + std::to_string(f + 1) + " " + Path(r.file) + " " + toolFile));
      ASSERT_TRUE(ReadPnm(toolFile, w, h, ch, tool)) << toolFile;
      ASSERT_EQ(w, s.cols);
      ASSERT_EQ(h, s.rows);
      int bad = 0;
      for (int y = 0; y < s.rows && bad < 5; ++y) {
        for (int x = 0; x < s.cols && bad < 5; ++x) {
          uint32_t want[3];  // R, G, B
          for (int c = 0; c < 3; ++c) {
            const int k = s.samples == 1 ? 0 : c;
            const size_t i = r.planar ? static_cast<size_t>(k) * s.rows * s.cols + static_cast<size_t>(y) * s.cols + x
                                      : (static_cast<size_t>(y) * s.cols + x) * s.samples + k;
            want[c] = expect(v[i]);
          }
          const size_t at = static_cast<size_t>(s.rows - 1 - y) * s.cols + x;
          uint32_t got[3];
          if (p->IsHighDepth()) {
            const uint64_t px = p->Pixels64().data[at];
            for (int c = 0; c < 3; ++c) got[c] = static_cast<uint32_t>(px >> (16 * (2 - c))) & 0xFFFF;
          } else {
            const uint32_t px = p->Pixels32().data[at];
            for (int c = 0; c < 3; ++c) got[c] = (px >> (8 * (2 - c))) & 0xFF;
          }
          for (int c = 0; c < 3; ++c) {
            if (got[c] != want[c]) {
              ++bad;
              ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c << ": " << got[c] << ", want "
                            << want[c];
            }
            // dcm2pnm: the grey min-max window or the RGB samples, 8 bits.
            const uint32_t ours8 = r.bitsAllocated == 16 ? got[c] >> 8 : got[c];
            const int t = tool[(static_cast<size_t>(y) * s.cols + x) * ch + (ch == 1 ? 0 : c)];
            const int tolerance = s.samples == 1 ? 1 : 0;
            if (!flat && std::abs(static_cast<int>(ours8) - t) > tolerance) {
              ++bad;
              ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c << ": ours " << ours8
                            << ", dcm2pnm " << t;
            }
          }
        }
      }
    }
  }
}

TEST_F(DicomOracle, EncapsulatedJpeg2000IsTheCodestreamsPicture) {
  std::vector<uint8_t> bytes = ReadBytes(Path("dicom_j2k.dcm"));
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  std::unique_ptr<cPictBase> p(CreatePicture(&io, nullptr));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetFormat(), kPictFormatDICOM);
  std::vector<uint8_t> cs = ReadBytes(twtest::SourcePath("tests/picture/data/j2k_rgb12.j2k"));
  cBufWrapperIO cio(cs.data(), static_cast<uint32_t>(cs.size()));
  cPictJ2K direct;
  ASSERT_TRUE(direct.Load(&cio));
  ASSERT_EQ(p->Pixels32().count, direct.Pixels32().count);
  EXPECT_EQ(std::memcmp(p->Pixels32().data, direct.Pixels32().data, direct.Pixels32().count * 4u), 0);
}

TEST_F(DicomOracle, Img2dcmJpegFramesAreStretchedJpegPictures) {
  for (const char* jpg : {"jpeg_grey.jpg", "jpeg_baseline_420.jpg", "jpeg_progressive_420.jpg"}) {
    SCOPED_TRACE(jpg);
    const std::string source = twtest::SourcePath(std::string("tests/picture/data/") + jpg);
    const std::string dcm = Path(std::string(jpg) + ".dcm");
    ASSERT_TRUE(Sh("img2dcm " + source + " " + dcm));
    std::vector<uint8_t> bytes = ReadBytes(dcm);
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cPictDICOM d;
    ASSERT_EQ(d.GetImageCount(&io), 1);
    ASSERT_TRUE(d.LoadImage(&io, 0));

    std::vector<uint8_t> jpeg = ReadBytes(source);
    cBufWrapperIO jio(jpeg.data(), static_cast<uint32_t>(jpeg.size()));
    cPictJPEG plain;
    ASSERT_TRUE(plain.Load(&jio));
    cPictDummy stretched;
    ASSERT_TRUE(stretched.StretchLevels(&plain));
    ASSERT_EQ(d.GetWidth(), plain.GetWidth());
    ASSERT_EQ(d.Pixels32().count, stretched.Pixels32().count);
    EXPECT_EQ(std::memcmp(d.Pixels32().data, stretched.Pixels32().data, stretched.Pixels32().count * 4u), 0);

    // dcmtk's own decoding of the frame: the same picture before stretching.
    // Its IJG decoder upsamples chroma smoothly where ours replicates, so
    // colour frames are compared by size only.
    ASSERT_TRUE(Sh("dcmj2pnm " + dcm + " " + dcm + ".pnm"));
    int w, h, ch;
    std::vector<uint8_t> tool;
    ASSERT_TRUE(ReadPnm(dcm + ".pnm", w, h, ch, tool));
    ASSERT_EQ(w, plain.GetWidth());
    ASSERT_EQ(h, plain.GetHeight());
    if (ch != 1) continue;
    int worst = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
          const uint32_t px = plain.Pixels32().data[static_cast<size_t>(h - 1 - y) * w + x];
          const int ours = static_cast<int>((px >> (8 * (2 - c))) & 0xFF);
          const int d8 = tool[(static_cast<size_t>(y) * w + x) * ch + (ch == 1 ? 0 : c)];
          worst = std::max(worst, std::abs(ours - d8));
        }
    EXPECT_LE(worst, 2);
  }
}

}  // namespace
