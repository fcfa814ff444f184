// The TIFF decoder and the EXIF decoder against independent writers and
// readers, on files made at test time: libtiff's tools (tiffcp, raw2tiff,
// fax2tiff, tiffinfo), ImageMagick and Python's tifffile write the TIFF
// matrix, ImageMagick's reading (through libtiff) gives the expected pixels
// and tiffinfo the page counts; exiftool writes the EXIF cases and its
// "-n -j" output and extracted thumbnail are the expected properties.
//
// Where the decoder knowingly differs, the case says so (allow-list):
//  - 2-bit grey scales as v * 64 + v * 16 (3 gives 240, not 255);
//  - CCITT data under BlackIsZero: white runs are written as 1-bits, where
//    libtiff fills black runs whatever the photometric says;
//  - JPEG strips that rely on shared JPEGTables are not decodable;
//  - the floating-point predictor (3) is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_tiff.h"
#include "tests/support/test_support.h"

namespace {

std::string Capture(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

bool Sh(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool ToolsPresent() {
  return Sh("command -v tiffcp") && Sh("command -v tiffinfo") && Sh("command -v raw2tiff") &&
         Sh("command -v fax2tiff") && Sh("test -x /usr/bin/convert") && Sh("command -v exiftool") &&
         Sh("/usr/bin/python3 -c 'import tifffile, numpy'");
}

// Our decoding of page n as RGBA bytes, top row first, 8 bits per channel
// (16-bit channels keep their high byte).
bool OurRgba(const std::vector<uint8_t>& file, int page, int& w, int& h, std::vector<uint8_t>& rgba) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  cPictTIFF t;
  if (!(page == 0 ? t.Load(&io) : t.LoadImage(&io, page))) return false;
  w = t.GetWidth();
  h = t.GetHeight();
  rgba.clear();
  for (int y = h - 1; y >= 0; --y)
    for (int x = 0; x < w; ++x) {
      const int64_t i = static_cast<int64_t>(y) * w + x;
      uint32_t ch[4];
      if (t.IsHighDepth()) {
        const uint64_t v = t.Pixels64().data[i];
        for (int c = 0; c < 4; ++c) ch[c] = static_cast<uint32_t>(v >> (16 * c + 8)) & 0xFF;
      } else {
        const uint32_t v = t.Pixels32().data[i];
        for (int c = 0; c < 4; ++c) ch[c] = (v >> (8 * c)) & 0xFF;
      }
      rgba.push_back(static_cast<uint8_t>(ch[2]));
      rgba.push_back(static_cast<uint8_t>(ch[1]));
      rgba.push_back(static_cast<uint8_t>(ch[0]));
      rgba.push_back(static_cast<uint8_t>(ch[3]));
    }
  return true;
}

struct sCase {
  const char* name;
  std::string make;  // shell commands run in the folder; they write NAME.tif
  int tolerance;
  bool ourOk = true;  // false: the decoder refuses it (allow-list)
  int pages = 1;
  // The expected pixels from libtiff's tiff2rgba rather than ImageMagick's
  // reader (which ignores WhiteIsZero once an alpha channel is present).
  bool viaTiff2rgba = false;
};

class TiffOracle : public ::testing::Test {
protected:
  void SetUp() override {
    if (!ToolsPresent()) GTEST_SKIP() << "libtiff-tools, imagemagick, exiftool or python3-tifffile missing";
    const std::string d = dir_.path();
    // Sources: a colourful picture, a bilevel page (min-is-white) and raw
    // RGB bytes, all deterministic.
    ASSERT_TRUE(Sh("cd " + d + " && /usr/bin/convert -size 100x70 gradient:red-blue -fill '#20e040' -draw 'circle 50,35 70,50' -fill '#f0f080' -draw 'rectangle 5,5 30,20' -depth 8 -compress none src.tif"));
    ASSERT_TRUE(Sh("cd " + d + " && /usr/bin/convert -size 203x97 xc:white -fill black -draw 'circle 100,50 130,70' -draw 'rectangle 10,10 60,30' -draw 'line 0,96 202,0' -depth 1 -type bilevel -define quantum:polarity=min-is-white -compress none bw.tif"));
  }
  std::string Dir() const { return dir_.path(); }

  void Check(const sCase& c) {
    SCOPED_TRACE(c.name);
    const std::string d = Dir(), f = d + "/" + c.name + ".tif";
    ASSERT_TRUE(Sh("cd " + d + " && " + c.make)) << c.make;
    const std::vector<uint8_t> file = ReadBytes(f);
    ASSERT_FALSE(file.empty());
    // Page count as tiffinfo sees it.
    const std::string info = Capture("tiffinfo " + f + " 2>/dev/null");
    int dirs = 0;
    for (size_t at = 0; (at = info.find("TIFF Directory at offset", at)) != std::string::npos; ++at) ++dirs;
    cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
    cPictTIFF counter;
    EXPECT_EQ(counter.GetImageCount(&io), dirs);
    EXPECT_EQ(dirs, c.pages);
    for (int page = 0; page < c.pages; ++page) {
      int w = 0, h = 0;
      std::vector<uint8_t> ours;
      const bool ok = OurRgba(file, page, w, h, ours);
      EXPECT_EQ(ok, c.ourOk) << "page " << page;
      if (!ok || !c.ourOk) continue;
      std::string source = f;
      if (c.viaTiff2rgba) {
        source = d + "/" + c.name + "_rgba.tif";
        EXPECT_TRUE(Sh("tiff2rgba " + f + " " + source));
      }
      const std::string ref =
          Capture("/usr/bin/convert '" + source + "[" + std::to_string(page) + "]' -depth 8 rgba:- 2>/dev/null");
      ASSERT_EQ(ref.size(), ours.size()) << "page " << page << ": " << w << "x" << h;
      int64_t bad = 0, first = -1;
      for (size_t i = 0; i < ours.size(); ++i)
        if (std::abs(static_cast<int>(ours[i]) - static_cast<uint8_t>(ref[i])) > c.tolerance) {
          if (first < 0) first = static_cast<int64_t>(i);
          ++bad;
        }
      EXPECT_EQ(bad, 0) << "page " << page << ", first at pixel " << first / 4 << " channel " << first % 4
                        << ": ours " << (first >= 0 ? ours[first] : 0) << ", ImageMagick "
                        << (first >= 0 ? static_cast<int>(static_cast<uint8_t>(ref[first])) : 0);
    }
  }

  twtest::TempDir dir_;
};

TEST_F(TiffOracle, TiffcpMatrix) {
  const std::vector<sCase> cases = {
      {"none", "tiffcp -c none src.tif none.tif", 0},
      {"lzw2", "tiffcp -c lzw:2 src.tif lzw2.tif", 0},
      {"zip2", "tiffcp -c zip:2 src.tif zip2.tif", 0},
      {"packbits", "tiffcp -c packbits src.tif packbits.tif", 0},
      {"separate", "tiffcp -p separate -c lzw src.tif separate.tif", 0},
      {"separate_zip2", "tiffcp -p separate -c zip:2 src.tif separate_zip2.tif", 0},
      {"tiled", "tiffcp -t -w 64 -l 64 src.tif tiled.tif", 0},
      {"tiled_lzw2", "tiffcp -t -w 32 -l 16 -c lzw:2 src.tif tiled_lzw2.tif", 0},
      {"tiled_separate", "tiffcp -t -w 16 -l 16 -p separate src.tif tiled_separate.tif", 0},
      {"bigtiff", "tiffcp -8 -c zip src.tif bigtiff.tif", 0},
      {"bigtiff_tiled", "tiffcp -8 -t -w 48 -l 32 src.tif bigtiff_tiled.tif", 0},
      {"rows7", "tiffcp -r 7 -c lzw src.tif rows7.tif", 0},
      {"bigendian", "tiffcp -B -c lzw:2 src.tif bigendian.tif", 0},
      {"jpeg_tables", "tiffcp -c jpeg:r -r 16 src.tif jpeg_tables.tif", 0, false},
      {"g3", "tiffcp -c g3 bw.tif g3.tif", 0},
      {"g3_2d", "tiffcp -c g3:2d bw.tif g3_2d.tif", 0},
      {"g3_2d_rows", "tiffcp -c g3:2d -r 13 bw.tif g3_2d_rows.tif", 0},
      {"g4", "tiffcp -c g4 bw.tif g4.tif", 0},
      {"g4_lsb2msb", "tiffcp -c g4 -f lsb2msb bw.tif g4_lsb2msb.tif", 0},
      {"g3_lsb2msb", "tiffcp -c g3:2d -f lsb2msb bw.tif g3_lsb2msb.tif", 0},
      {"bw_packbits", "tiffcp -c packbits bw.tif bw_packbits.tif", 0},
  };
  for (const sCase& c : cases) Check(c);
}

TEST_F(TiffOracle, Raw2tiffAndFax2tiff) {
  const std::vector<sCase> cases = {
      {"raw_rgb", "/usr/bin/convert src.tif -depth 8 rgb:src.rgb && raw2tiff -w 100 -l 70 -d byte -b 3 -p rgb src.rgb raw_rgb.tif", 0},
      {"raw_grey16", "/usr/bin/convert src.tif -colorspace gray -depth 16 -endian LSB gray:src.g16 && raw2tiff -w 100 -l 70 -d short -b 1 -p minisblack src.g16 raw_grey16.tif", 1},
      // fax2tiff over the raw G3 data of a strip that tiffcp wrote.
      {"fax_g3", "tiffcp -c g3 -r 1000 bw.tif one.tif && /usr/bin/python3 -c \"import tifffile;p=tifffile.TiffFile('one.tif').pages[0];f=open('one.tif','rb');f.seek(p.dataoffsets[0]);open('raw.g3','wb').write(f.read(p.databytecounts[0]))\" && fax2tiff -X 203 -M -o fax_g3.tif raw.g3", 0},
      {"fax_g4", "fax2tiff -X 203 -M -4 -o fax_g4.tif raw.g3", 0},
  };
  for (const sCase& c : cases) Check(c);
}

TEST_F(TiffOracle, ImageMagickMatrix) {
  const std::vector<sCase> cases = {
      {"palette", "/usr/bin/convert src.tif -colors 16 -type palette palette.tif", 1},
      {"grey1", "/usr/bin/convert src.tif -colorspace gray -depth 1 -type bilevel grey1.tif", 0},
      {"grey2", "/usr/bin/convert src.tif -colorspace gray -depth 2 grey2.tif", 16},  // v * 80, allow-listed
      {"grey4", "/usr/bin/convert src.tif -colorspace gray -depth 4 grey4.tif", 0},
      {"grey8_miniswhite", "/usr/bin/convert src.tif -colorspace gray -depth 8 -define quantum:polarity=min-is-white grey8_miniswhite.tif", 1, true, 1, true},
      {"grey16", "/usr/bin/convert src.tif -colorspace gray -depth 16 grey16.tif", 1},
      {"rgb16", "/usr/bin/convert src.tif -depth 16 rgb16.tif", 1},
      {"cmyk", "/usr/bin/convert src.tif -colorspace cmyk cmyk.tif", 2},
      {"rgba", "/usr/bin/convert src.tif -alpha set -channel A -fx 'i/w' rgba.tif", 1},
      {"float_predictor3", "/usr/bin/convert src.tif -define quantum:format=floating-point -depth 32 -compress zip float_predictor3.tif", 0, false},
      {"float_plain", "/usr/bin/convert src.tif -define quantum:format=floating-point -define tiff:predictor=1 -compress zip -depth 32 float_plain.tif", 1},
      {"multi", "/usr/bin/convert src.tif bw.tif -colorspace gray src.tif -colors 8 -alpha off multi.tif", 1, true, 3},
  };
  for (const sCase& c : cases) Check(c);
}

TEST_F(TiffOracle, TifffileMatrix) {
  const std::string py =
      "import numpy as np, tifffile\n"
      "y, x = np.mgrid[0:40, 0:50]\n"
      "a = np.stack([x / 49.0, y / 39.0, (x + y) / 88.0], axis=-1)\n"
      "tifffile.imwrite('tf_u16.tif', (a * 65535).astype('<u2'), photometric='rgb')\n"
      "tifffile.imwrite('tf_u16_be.tif', (a * 65535).astype('>u2'), photometric='rgb', byteorder='>')\n"
      "tifffile.imwrite('tf_u32.tif', (a * 4294967295).astype('<u4'), photometric='rgb')\n"
      "tifffile.imwrite('tf_f16.tif', a.astype(np.float16), photometric='rgb')\n"
      "tifffile.imwrite('tf_f32_be.tif', a.astype('>f4'), photometric='rgb', byteorder='>')\n"
      "tifffile.imwrite('tf_f64.tif', a.astype(np.float64), photometric='rgb')\n"
      "tifffile.imwrite('tf_u8_deflate.tif', (a * 255).astype(np.uint8), photometric='rgb', compression='zlib', predictor=True)\n"
      "tifffile.imwrite('tf_pages.tif', np.stack([(a * 255).astype(np.uint8)] * 4), photometric='rgb')\n"
      "tifffile.imwrite('tf_big.tif', (a * 255).astype(np.uint8), photometric='rgb', bigtiff=True, tile=(16, 16))\n";
  {
    std::ofstream out(Dir() + "/make.py");
    out << py;
  }
  ASSERT_TRUE(Sh("cd " + Dir() + " && /usr/bin/python3 make.py"));
  const std::vector<sCase> cases = {
      {"tf_u16", "true", 1},        {"tf_u16_be", "true", 1},       {"tf_u32", "true", 1},
      {"tf_f16", "true", 1},        {"tf_f32_be", "true", 1},       {"tf_f64", "true", 1},
      {"tf_u8_deflate", "true", 0}, {"tf_u16_lzw2", "tiffcp -c lzw:2 tf_u16.tif tf_u16_lzw2.tif", 1},      {"tf_pages", "true", 0, true, 4},
      {"tf_big", "true", 0},
  };
  for (const sCase& c : cases) Check(c);
}

TEST_F(TiffOracle, TruncatedFaxFails) {
  ASSERT_TRUE(Sh("cd " + Dir() + " && tiffcp -c g4 bw.tif g4.tif"));
  std::vector<uint8_t> f = ReadBytes(Dir() + "/g4.tif");
  // tiffcp writes the strip before the IFD: zero the second half of the
  // strip data so that rows run out of valid codes.
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  cPictTIFF t;
  ASSERT_TRUE(t.Load(&io));
  const std::string offs = Capture("tiffinfo -s " + Dir() + "/g4.tif 2>/dev/null");
  std::smatch m;
  // "0: [offset, count]" in tiffinfo -s output.
  ASSERT_TRUE(std::regex_search(offs, m, std::regex("0: \\[\\s*(\\d+),\\s*(\\d+)\\]"))) << offs;
  const size_t at = std::stoul(m[1]);
  const size_t count = std::stoul(m[2]);
  for (size_t i = at + count / 2; i < at + count; ++i) f[i] = 0;
  cBufWrapperIO io2(f.data(), static_cast<uint32_t>(f.size()));
  cPictTIFF u;
  EXPECT_FALSE(u.Load(&io2));
}

// ---- EXIF written by exiftool ----

// "Key": value pairs of exiftool's -j output (one object).
std::string JsonValue(const std::string& json, const std::string& key) {
  std::smatch m;
  if (!std::regex_search(json, m, std::regex("\"" + key + "\": ([^,\\n]+)"))) return "<none>";
  std::string v = m[1];
  if (!v.empty() && v.back() == '\r') v.pop_back();
  return v;
}

double PropDouble(cPictBase& p, int id) {
  cPictProp* v = p.GetOrAddProp(id, false);
  return v != nullptr && v->GetType() == kPropDouble ? static_cast<cPictPropDouble*>(v)->value : -99999.0;
}

int PropInt(cPictBase& p, int id) {
  cPictPropInt* v = p.FindIntProp(id);
  return v != nullptr ? v->value : -99999;
}

TEST_F(TiffOracle, ExifToolPropertiesAndThumbnail) {
  const std::string d = Dir();
  ASSERT_TRUE(Sh("cd " + d + " && /usr/bin/convert src.tif -quality 90 photo.jpg && /usr/bin/convert src.tif -resize 32x24 -quality 90 thumb.jpg"));
  struct sExif {
    int orientation;
    const char* lat;
    const char* latRef;
    const char* lon;
    const char* lonRef;
    const char* alt;
    int altRef;
  };
  const std::vector<sExif> cases = {
      {1, "48.51", "N", "2.25", "E", "120.5", 0}, {2, "10.5", "S", "70.125", "W", "12", 1},
      {3, "0.5", "S", "179.5", "E", "3000", 0},   {4, "89", "N", "0.75", "W", "0.5", 1},
      {5, "1", "N", "1", "E", "1", 0},            {6, "45", "S", "45", "W", "400", 1},
      {7, "12.25", "N", "100", "E", "2", 0},      {8, "33.3", "S", "150.2", "W", "77.5", 1},
  };
  for (const sExif& c : cases) {
    SCOPED_TRACE(c.orientation);
    const std::string f = d + "/exif" + std::to_string(c.orientation) + ".jpg";
    const std::string cmd = "cp " + d + "/photo.jpg " + f + " && exiftool -q -overwrite_original -n" +
                            " -Orientation=" + std::to_string(c.orientation) + " -Make='Maker' -Model='Model 7'" +
                            " -DateTimeOriginal='2019:07:04 13:45:10' -ModifyDate='2020:01:02 03:04:05'" +
                            " -ExposureTime=0.004 -FNumber=2.8 -ISO=400 -XResolution=300 -YResolution=150" +
                            " -ResolutionUnit=3 -GPSLatitude=" + c.lat + " -GPSLatitudeRef=" + c.latRef +
                            " -GPSLongitude=" + c.lon + " -GPSLongitudeRef=" + c.lonRef + " -GPSAltitude=" + c.alt +
                            " -GPSAltitudeRef=" + std::to_string(c.altRef) + " '-ThumbnailImage<=" + d +
                            "/thumb.jpg' " + f;
    ASSERT_TRUE(Sh(cmd)) << cmd;
    const std::string json = Capture("exiftool -n -j " + f);
    const std::vector<uint8_t> bytes = ReadBytes(f);
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::unique_ptr<cPictBase> p(CreatePicture(&io, nullptr));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::to_string(PropInt(*p, 7)), JsonValue(json, "ISO"));
    EXPECT_DOUBLE_EQ(PropDouble(*p, 5), std::stod(JsonValue(json, "ExposureTime")));
    EXPECT_DOUBLE_EQ(PropDouble(*p, 6), std::stod(JsonValue(json, "FNumber")));
    EXPECT_DOUBLE_EQ(PropDouble(*p, 8), std::stod(JsonValue(json, "XResolution")));
    EXPECT_DOUBLE_EQ(PropDouble(*p, 9), std::stod(JsonValue(json, "YResolution")));
    EXPECT_EQ(PropInt(*p, 10), JsonValue(json, "ResolutionUnit") == "3" ? 0 : 1);
    EXPECT_NEAR(PropDouble(*p, 15), std::stod(JsonValue(json, "GPSLatitude")), 1e-6);
    EXPECT_NEAR(PropDouble(*p, 16), std::stod(JsonValue(json, "GPSLongitude")), 1e-6);
    // exiftool -n gives the altitude already signed by its reference.
    EXPECT_NEAR(PropDouble(*p, 17), std::stod(JsonValue(json, "GPSAltitude")), 1e-6);
    int32_t mirror = 0, rotation = 0;
    cExifDecoder::OrientationToMirrorRotation(static_cast<uint32_t>(std::stoi(JsonValue(json, "Orientation"))),
                                              mirror, rotation);
    EXPECT_EQ(PropInt(*p, 11), mirror);
    EXPECT_EQ(PropInt(*p, 12), rotation);
    cPictPropString* make = p->FindStringProp(3);
    ASSERT_NE(make, nullptr);
    EXPECT_EQ(twtest::Narrow(make->value.text), "Maker");
    EXPECT_EQ(JsonValue(json, "Make"), "\"Maker\"");
    auto* t1 = static_cast<cPictPropTimestamp*>(p->GetOrAddProp(1, false));
    ASSERT_NE(t1, nullptr);
    char date[32];
    std::snprintf(date, sizeof date, "\"%04u:%02u:%02u %02u:%02u:%02u\"", t1->value.year, t1->value.month,
                  t1->value.day, t1->value.hour, t1->value.minute, t1->value.second);
    EXPECT_EQ(date, JsonValue(json, "DateTimeOriginal"));
    // The thumbnail: exiftool's extracted bytes decoded by ImageMagick.
    {
      const std::string t = Capture("exiftool -b -ThumbnailImage " + f);
      ASSERT_FALSE(t.empty());
      std::ofstream(d + "/t.jpg", std::ios::binary) << t;
    }
    const std::string ref = Capture("/usr/bin/convert " + d + "/t.jpg -depth 8 rgba:-");
    cPictPropImage* thumb = p->FindThumbnailProp();
    ASSERT_NE(thumb, nullptr);
    cPictBase* tp = thumb->GetPicture();
    ASSERT_TRUE(tp != nullptr && tp->HasPixels());
    ASSERT_EQ(static_cast<size_t>(tp->GetWidth()) * tp->GetHeight() * 4, ref.size());
    int worst = 0;
    for (int y = 0; y < tp->GetHeight(); ++y)
      for (int x = 0; x < tp->GetWidth(); ++x) {
        const uint32_t v = tp->Pixels32().data[static_cast<int64_t>(tp->GetHeight() - 1 - y) * tp->GetWidth() + x];
        const size_t i = (static_cast<size_t>(y) * tp->GetWidth() + x) * 4;
        for (int c = 0; c < 3; ++c)
          worst = std::max(worst, std::abs(static_cast<int>((v >> (16 - 8 * c)) & 0xFF) -
                                           static_cast<uint8_t>(ref[i + c])));
      }
    // Two IDCTs of one JPEG: a few levels apart at most.
    EXPECT_LE(worst, 3);
  }
}

TEST_F(TiffOracle, ExifInTiffMatchesExiftool) {
  const std::string d = Dir();
  ASSERT_TRUE(Sh("cd " + d + " && tiffcp -c lzw src.tif e.tif && exiftool -q -overwrite_original -n -Orientation=8 -Make=M -Model=X -ISO=800 -ExposureTime=0.5 -GPSLatitude=1.5 -GPSLatitudeRef=S e.tif"));
  const std::string json = Capture("exiftool -n -j " + d + "/e.tif");
  const std::vector<uint8_t> bytes = ReadBytes(d + "/e.tif");
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  cPictTIFF t;
  ASSERT_TRUE(t.Load(&io));
  EXPECT_EQ(std::to_string(PropInt(t, 7)), JsonValue(json, "ISO"));
  EXPECT_EQ(std::to_string(PropInt(t, 18)), JsonValue(json, "ImageWidth"));
  EXPECT_EQ(std::to_string(PropInt(t, 20)), JsonValue(json, "Compression"));
  EXPECT_NEAR(PropDouble(t, 15), std::stod(JsonValue(json, "GPSLatitude")), 1e-9);
  EXPECT_EQ(PropInt(t, 12), 90);
}

}  // namespace
