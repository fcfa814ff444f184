// The JPEG decoder against libjpeg-turbo, pixel for pixel: files that
// libjpeg-turbo encodes in memory at many settings (samplings, grey, RGB
// coding, CMYK and YCCK, progressive with successive approximation,
// restarts, non-interleaved scans, odd sizes down to 1 x 1), decoded by
// libjpeg-turbo with the accurate integer IDCT and without smoothing, and by
// ours. Both must agree exactly; CMYK and YCCK are compared through the
// K-multiplying formula of our row writers. Damaged files must fail without
// harm.
#include <gtest/gtest.h>

// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>
#include <cstring>
#include <csetjmp>
#include <jpeglib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_jpeg.h"
#include "tests/support/test_support.h"

namespace {

struct sErr {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

void OnLibjpegError(j_common_ptr cinfo) { longjmp(reinterpret_cast<sErr*>(cinfo->err)->jump, 1); }
void Quiet(j_common_ptr, int) {}

struct sEncode {
  int width = 33, height = 17;
  int components = 3;                // 1, 3 or 4 input components
  J_COLOR_SPACE space = JCS_YCbCr;   // JPEG colour space
  int h[4] = {2, 1, 1, 1}, v[4] = {2, 1, 1, 1};
  int quality = 85;
  bool progressive = false;
  bool optimize = false;
  int restartRows = 0;      // restart every n MCU rows
  int restartInterval = 0;  // restart every n MCUs
  bool separateScans = false;  // one sequential scan per component
  bool arithmetic = false;
  uint32_t seed = 1;

  std::string Describe() const {
    std::string s = std::to_string(width) + "x" + std::to_string(height) + " comps " + std::to_string(components) +
                    " space " + std::to_string(space) + " sampling";
    for (int i = 0; i < components; ++i) s += " " + std::to_string(h[i]) + "x" + std::to_string(v[i]);
    s += " q" + std::to_string(quality);
    if (progressive) s += " progressive";
    if (optimize) s += " optimized";
    if (restartRows) s += " restart-rows " + std::to_string(restartRows);
    if (restartInterval) s += " restart " + std::to_string(restartInterval);
    if (separateScans) s += " separate-scans";
    return s;
  }
};

// A picture with smooth fields, edges and noise, so that every coefficient
// band is used.
std::vector<uint8_t> Samples(const sEncode& e) {
  std::vector<uint8_t> px(static_cast<size_t>(e.width) * e.height * e.components);
  uint32_t x32 = e.seed * 2654435761u + 7;
  size_t i = 0;
  for (int y = 0; y < e.height; ++y) {
    for (int x = 0; x < e.width; ++x) {
      for (int c = 0; c < e.components; ++c) {
        x32 ^= x32 << 13;
        x32 ^= x32 >> 17;
        x32 ^= x32 << 5;
        int v = ((x * (c + 3) + y * (5 - c)) * 7) % 256;
        if (((x / 5) + (y / 3)) % 3 == 0) v = 255 - v;
        v += static_cast<int>(x32 % 41) - 20;
        px[i++] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
  }
  return px;
}

std::vector<uint8_t> Encode(const sEncode& e) {
  jpeg_compress_struct cinfo;
  sErr err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnLibjpegError;
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  std::vector<uint8_t> samples = Samples(e);
  std::vector<jpeg_scan_info> scans;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    free(out);
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &out, &outSize);
  cinfo.image_width = static_cast<JDIMENSION>(e.width);
  cinfo.image_height = static_cast<JDIMENSION>(e.height);
  cinfo.input_components = e.components;
  cinfo.in_color_space = e.components == 1 ? JCS_GRAYSCALE : e.components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, e.space);
  jpeg_set_quality(&cinfo, e.quality, TRUE);
  for (int i = 0; i < cinfo.num_components; ++i) {
    cinfo.comp_info[i].h_samp_factor = e.h[i];
    cinfo.comp_info[i].v_samp_factor = e.v[i];
  }
  cinfo.optimize_coding = e.optimize ? TRUE : FALSE;
  cinfo.arith_code = e.arithmetic ? TRUE : FALSE;
  cinfo.restart_in_rows = e.restartRows;
  cinfo.restart_interval = static_cast<unsigned>(e.restartInterval);
  if (e.progressive) jpeg_simple_progression(&cinfo);
  if (e.separateScans) {
    for (int i = 0; i < cinfo.num_components; ++i) {
      jpeg_scan_info s{};
      s.comps_in_scan = 1;
      s.component_index[0] = i;
      s.Ss = 0;
      s.Se = 63;
      scans.push_back(s);
    }
    cinfo.scan_info = scans.data();
    cinfo.num_scans = static_cast<int>(scans.size());
  }
  jpeg_start_compress(&cinfo, TRUE);
  const int stride = e.width * e.components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = samples.data() + static_cast<size_t>(cinfo.next_scanline) * stride;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> file(out, out + outSize);
  free(out);
  return file;
}

// libjpeg-turbo's decoding, accurate IDCT, no smoothing: RGB, grey or CMYK
// samples top row first, expanded here to 0xAARRGGBB as our writers make
// them. False when libjpeg-turbo fails.
bool Reference(const std::vector<uint8_t>& file, int& w, int& h, std::vector<uint32_t>& argb) {
  jpeg_decompress_struct cinfo;
  sErr err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnLibjpegError;
  err.mgr.emit_message = Quiet;
  std::vector<uint8_t> row;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = FALSE;
  cinfo.do_block_smoothing = FALSE;
  const bool four = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  if (four) cinfo.out_color_space = JCS_CMYK;
  else if (cinfo.num_components == 1) cinfo.out_color_space = JCS_GRAYSCALE;
  else cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  w = static_cast<int>(cinfo.output_width);
  h = static_cast<int>(cinfo.output_height);
  const int n = cinfo.output_components;
  row.resize(static_cast<size_t>(w) * n);
  argb.assign(static_cast<size_t>(w) * h, 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = static_cast<int>(cinfo.output_scanline);
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&cinfo, &r, 1);
    for (int x = 0; x < w; ++x) {
      const uint8_t* s = row.data() + static_cast<size_t>(x) * n;
      uint32_t p;
      if (n == 1) {
        p = 0xFF000000u | s[0] * 0x010101u;
      } else if (n == 3) {
        p = 0xFF000000u | static_cast<uint32_t>(s[0]) << 16 | static_cast<uint32_t>(s[1]) << 8 | s[2];
      } else {
        // Our writers multiply each of the first three channels by K / 255
        // (libjpeg-turbo hands YCCK over already turned into CMYK).
        const uint32_t k = s[3];
        p = 0xFF000000u | (s[0] * k / 255) << 16 | (s[1] * k / 255) << 8 | (s[2] * k / 255);
      }
      argb[static_cast<size_t>(y) * w + x] = p;
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// Ours and the reference agree on every pixel; the first difference is
// reported.
void ExpectSame(const std::vector<uint8_t>& file, const std::string& what) {
  int w = 0, h = 0;
  std::vector<uint32_t> expected;
  ASSERT_TRUE(Reference(file, w, h, expected)) << what;
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictJPEG jpeg;
  ASSERT_TRUE(jpeg.Load(&io)) << what;
  ASSERT_EQ(jpeg.GetWidth(), w) << what;
  ASSERT_EQ(jpeg.GetHeight(), h) << what;
  ASSERT_FALSE(jpeg.IsHighDepth()) << what;
  const uint32_t* ours = jpeg.Pixels32().data;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t a = ours[static_cast<size_t>(h - 1 - y) * w + x], b = expected[static_cast<size_t>(y) * w + x];
      if (a != b) {
        ADD_FAILURE() << what << ": first difference at (" << x << ", " << y << "): ours " << std::hex << a
                      << ", libjpeg-turbo " << b;
        return;
      }
    }
  }
}

sEncode Sampling(int comps, J_COLOR_SPACE space, std::initializer_list<int> hv) {
  sEncode e;
  e.components = comps;
  e.space = space;
  auto it = hv.begin();
  for (int i = 0; i < comps; ++i) {
    e.h[i] = *it++;
    e.v[i] = *it++;
  }
  return e;
}

TEST(JpegOracle, SamplingsAndColourSpacesAgree) {
  const sEncode kinds[] = {
      Sampling(3, JCS_YCbCr, {1, 1, 1, 1, 1, 1}),  // 4:4:4
      Sampling(3, JCS_YCbCr, {2, 1, 1, 1, 1, 1}),  // 4:2:2
      Sampling(3, JCS_YCbCr, {2, 2, 1, 1, 1, 1}),  // 4:2:0
      Sampling(3, JCS_YCbCr, {1, 2, 1, 1, 1, 1}),  // 4:4:0
      Sampling(3, JCS_YCbCr, {4, 1, 1, 1, 1, 1}),  // 4:1:1
      Sampling(3, JCS_YCbCr, {4, 2, 1, 1, 1, 1}),  // 4:1:0
      Sampling(3, JCS_YCbCr, {2, 2, 1, 2, 1, 2}),  // chroma 1x2 against 2x2
      Sampling(1, JCS_GRAYSCALE, {1, 1}),
      Sampling(1, JCS_GRAYSCALE, {2, 2}),  // one component with factors 2x2
      Sampling(3, JCS_RGB, {1, 1, 1, 1, 1, 1}),
      Sampling(4, JCS_CMYK, {1, 1, 1, 1, 1, 1, 1, 1}),
      Sampling(4, JCS_YCCK, {2, 2, 1, 1, 1, 1, 2, 2}),
  };
  const int sizes[][2] = {{1, 1}, {7, 3}, {16, 16}, {17, 9}, {33, 17}, {63, 64}, {129, 5}};
  uint32_t seed = 1;
  for (const sEncode& k : kinds) {
    for (const auto& s : sizes) {
      sEncode e = k;
      e.width = s[0];
      e.height = s[1];
      e.seed = seed++;
      e.quality = 40 + static_cast<int>(seed * 13 % 60);
      const std::vector<uint8_t> file = Encode(e);
      ASSERT_FALSE(file.empty()) << e.Describe();
      ExpectSame(file, e.Describe());
    }
  }
}

TEST(JpegOracle, ProgressiveRestartsAndScanLayoutsAgree) {
  struct sCase {
    bool progressive, optimize, separate;
    int restartRows, restartInterval;
  };
  const sCase cases[] = {
      {true, false, false, 0, 0},  {true, true, false, 0, 0},  {true, false, false, 1, 0},
      {true, false, false, 0, 3},  {false, false, false, 0, 1}, {false, false, false, 0, 5},
      {false, true, false, 2, 0},  {false, false, true, 0, 0},  {false, false, true, 0, 2},
      {false, true, false, 0, 0},
  };
  const sEncode kinds[] = {Sampling(3, JCS_YCbCr, {2, 2, 1, 1, 1, 1}), Sampling(3, JCS_YCbCr, {2, 1, 1, 1, 1, 1}),
                           Sampling(1, JCS_GRAYSCALE, {1, 1}), Sampling(3, JCS_RGB, {1, 1, 1, 1, 1, 1}),
                           Sampling(4, JCS_YCCK, {1, 1, 1, 1, 1, 1, 1, 1})};
  uint32_t seed = 100;
  for (const sCase& c : cases) {
    for (const sEncode& k : kinds) {
      for (const auto& s : {std::pair{1, 1}, std::pair{45, 37}, std::pair{100, 75}}) {
        sEncode e = k;
        e.width = s.first;
        e.height = s.second;
        e.progressive = c.progressive;
        e.optimize = c.optimize;
        e.separateScans = c.separate;
        e.restartRows = c.restartRows;
        e.restartInterval = c.restartInterval;
        e.seed = seed++;
        e.quality = c.progressive ? 92 : 75;
        const std::vector<uint8_t> file = Encode(e);
        ASSERT_FALSE(file.empty()) << e.Describe();
        ExpectSame(file, e.Describe());
      }
    }
  }
}

// Removes every DHT segment: the decoder must fall back on the tables of
// T.81 Annex K, which libjpeg-turbo's encoder uses by default.
std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& file) {
  std::vector<uint8_t> out(file.begin(), file.begin() + 2);
  size_t i = 2;
  while (i + 4 <= file.size() && file[i] == 0xFF) {
    const int m = file[i + 1];
    const size_t len = static_cast<size_t>(file[i + 2]) << 8 | file[i + 3];
    if (m == 0xDA) {
      out.insert(out.end(), file.begin() + static_cast<long>(i), file.end());
      return out;
    }
    if (m != 0xC4) out.insert(out.end(), file.begin() + static_cast<long>(i), file.begin() + static_cast<long>(i + 2 + len));
    i += 2 + len;
  }
  return {};
}

TEST(JpegOracle, FileWithoutHuffmanTablesUsesTheDefaults) {
  for (const sEncode& k : {Sampling(3, JCS_YCbCr, {2, 2, 1, 1, 1, 1}), Sampling(1, JCS_GRAYSCALE, {1, 1})}) {
    sEncode e = k;
    e.width = 40;
    e.height = 24;
    const std::vector<uint8_t> file = Encode(e);
    const std::vector<uint8_t> bare = WithoutHuffmanTables(file);
    ASSERT_FALSE(bare.empty());
    ASSERT_LT(bare.size(), file.size());
    int w, h;
    std::vector<uint32_t> expected;
    ASSERT_TRUE(Reference(file, w, h, expected));
    cBufWrapperIO io(bare.data(), static_cast<uint32_t>(bare.size()));
    cPictJPEG jpeg;
    ASSERT_TRUE(jpeg.Load(&io)) << e.Describe();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(jpeg.Pixels32().data[static_cast<size_t>(h - 1 - y) * w + x], expected[static_cast<size_t>(y) * w + x])
            << e.Describe() << " at " << x << "," << y;
  }
}

TEST(JpegOracle, ArithmeticCodedFileIsRecognisedButNotDecoded) {
  sEncode e;
  e.arithmetic = true;
  const std::vector<uint8_t> file = Encode(e);
  ASSERT_FALSE(file.empty());
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  sPictInfo info;
  EXPECT_TRUE(cPictJPEG::Detect(&io, &info));
  EXPECT_EQ(info.width, e.width);
  io.Seek(0);
  cPictJPEG jpeg;
  EXPECT_FALSE(jpeg.Load(&io));
  io.Seek(0);
  EXPECT_EQ(CreatePicture(&io, nullptr), nullptr);  // no other format takes it
}

TEST(JpegOracle, TruncatedFilesFailAndKeepWhatWasDecoded) {
  sEncode e;
  e.width = 64;
  e.height = 48;
  for (bool progressive : {false, true}) {
    e.progressive = progressive;
    const std::vector<uint8_t> file = Encode(e);
    int w, h;
    std::vector<uint32_t> expected;
    ASSERT_TRUE(Reference(file, w, h, expected));
    for (size_t cut = 0; cut < file.size(); cut += 1 + file.size() / 97) {
      cBufWrapperIO io(file.data(), static_cast<uint32_t>(cut));
      cPictJPEG jpeg;
      EXPECT_FALSE(jpeg.Load(&io)) << "cut at " << cut;
    }
    // Cut in the middle of the entropy data: the rows decoded before the cut
    // (sequential) or the whole picture at a coarser approximation
    // (progressive) are there.
    const size_t cut = file.size() * 3 / 4;
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(cut));
    cPictJPEG jpeg;
    EXPECT_FALSE(jpeg.Load(&io));
    ASSERT_TRUE(jpeg.HasPixels());
    const uint32_t* ours = jpeg.Pixels32().data;
    if (!progressive) {
      // The first MCU row is complete and exact.
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(ours[static_cast<size_t>(h - 1 - y) * w + x], expected[static_cast<size_t>(y) * w + x]);
    } else {
      // Every pixel is set (opaque) and most are close to the full decode.
      int close = 0;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const uint32_t a = ours[static_cast<size_t>(h - 1 - y) * w + x], b = expected[static_cast<size_t>(y) * w + x];
          ASSERT_EQ(a >> 24, 0xFFu);
          int d = 0;
          for (int s = 0; s < 24; s += 8) d += std::abs(static_cast<int>((a >> s) & 255) - static_cast<int>((b >> s) & 255));
          close += d < 60;
        }
      }
      EXPECT_GT(close, w * h / 2);
    }
  }
}

// The fixtures of the corpus that are JPEG files decode as libjpeg-turbo
// decodes them.
TEST(JpegOracle, FixtureCorpusAgrees) {
  const std::filesystem::path dir = twtest::SourcePath("tests/picture/data");
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".jpg") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string name = entry.path().filename().string();
    if (name.find("_refused") != std::string::npos || name.find("_truncated") != std::string::npos) {
      // libjpeg-turbo decodes these with warnings; ours refuses them.
      cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
      cPictJPEG jpeg;
      EXPECT_FALSE(jpeg.Load(&io)) << name;
      continue;
    }
    ExpectSame(file, name);
    ++seen;
  }
  EXPECT_GT(seen, 0);
}

}  // namespace
