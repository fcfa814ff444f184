// See raw_corpus.h. Real make and model names, 64 x 48 sensors.
#include "tests/support/raw_corpus.h"

#include "picture/pict_base.h"
#include "tests/support/ljpeg_encoder.h"
#include "tests/support/raw_fixture.h"

namespace {

sRawFixture Fixture(const std::string& name, std::vector<uint8_t> bytes, const sRawSensor& s, bool shifted,
                    int32_t format) {
  sRawFixture f;
  f.name = name;
  f.bytes = std::move(bytes);
  f.frame = ExpectedRaster(s, shifted);
  f.frameWidth = s.width & ~3;
  f.frameHeight = s.height;
  f.stored = s.samples;
  f.storedWidth = s.width;
  f.format = format;
  return f;
}

sDngFile Dng(int32_t bits, uint32_t seed) {
  sDngFile f;
  f.tiff.make = "Canon";
  f.tiff.model = "Canon EOS 5D Mark IV";
  f.tiff.sensor.bits = bits;
  f.tiff.sensor.samples = SyntheticMosaic(64, 48, bits, seed);
  f.whiteLevel = bits >= 16 ? 65535 : (1u << bits) - 1;
  return f;
}

}  // namespace

std::vector<uint8_t> Pgm16(const std::vector<uint16_t>& samples, int32_t width, int32_t height) {
  const std::string head = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n65535\n";
  std::vector<uint8_t> out(head.begin(), head.end());
  for (uint16_t s : samples) {
    out.push_back(static_cast<uint8_t>(s >> 8));
    out.push_back(static_cast<uint8_t>(s));
  }
  return out;
}

std::vector<sRawFixture> RawFixtures() {
  std::vector<sRawFixture> out;
  {
    sDngFile f = Dng(16, 1);
    out.push_back(Fixture("dng_16bit_strip.dng", MakeDng(f), f.tiff.sensor, true, kPictFormatDNG));
  }
  {
    sDngFile f = Dng(16, 2);
    f.tiff.bigEndian = true;
    f.tiff.sensor.rowsPerStrip = 16;
    out.push_back(Fixture("dng_16bit_strips_be.dng", MakeDng(f), f.tiff.sensor, true, kPictFormatDNG));
  }
  {
    sDngFile f = Dng(8, 3);
    out.push_back(Fixture("dng_8bit.dng", MakeDng(f), f.tiff.sensor, true, kPictFormatDNG));
  }
  {
    sDngFile f = Dng(16, 4);
    f.tiff.sensor.tileWidth = 32;
    f.tiff.sensor.tileHeight = 16;
    out.push_back(Fixture("dng_16bit_tiles.dng", MakeDng(f), f.tiff.sensor, true, kPictFormatDNG));
  }
  {
    sDngFile f = Dng(14, 5);
    f.tiff.sensor.compression = 7;
    f.tiff.sensor.tileWidth = 32;
    f.tiff.sensor.tileHeight = 16;
    out.push_back(Fixture("dng_ljpeg_tiles.dng", MakeDng(f), f.tiff.sensor, true, kPictFormatDNG));
  }
  {
    sDngFile f = Dng(16, 6);
    f.tiff.sensor.compression = 7;
    f.tiff.sensor.rowsPerStrip = 24;
    out.push_back(Fixture("dng_ljpeg_strips.dng", MakeDng(f), f.tiff.sensor, true, kPictFormatDNG));
  }
  {
    sDngFile f = Dng(16, 7);
    f.tiff.sensorInIfd0 = true;
    f.asShotNeutral = {{1, 2}, {1, 1}, {2, 3}};
    out.push_back(Fixture("dng_raw_ifd0.dng", MakeDng(f), f.tiff.sensor, true, kPictFormatDNG));
  }
  {
    sDngFile f = Dng(12, 8);
    f.tiff.make = "Leica Camera AG";
    f.tiff.model = "LEICA Q2";
    f.cropOrigin = {4, 2};
    f.cropSize = {56, 40};
    f.writeBlack = true;
    f.black = 128;
    sRawFixture x = Fixture("dng_12bit_crop.dng", MakeDng(f), f.tiff.sensor, true, kPictFormatDNG);
    out.push_back(x);
  }
  {
    sDngFile f = Dng(16, 9);
    f.tiff.make = "Hasselblad";
    f.tiff.model = "H6D-100c";
    f.tiff.sensor.writePattern = false;
    out.push_back(Fixture("hasselblad_plain.3fr", Make3FR(f), f.tiff.sensor, true, kPictFormat3FR));
    out.back().oracleReads = false;
  }
  {
    sDngFile f = Dng(16, 10);
    f.tiff.make = "Hasselblad";
    f.tiff.model = "H6D-100c";
    f.tiff.sensor.compression = 7;
    out.push_back(Fixture("hasselblad_scan.3fr", Make3FR(f), f.tiff.sensor, true, kPictFormat3FR));
    out.back().oracleReads = false;
  }
  auto ep = [](int32_t bits, uint16_t compression, uint32_t seed) {
    sTiffEpFile f;
    f.tiff.make = "NIKON";
    f.tiff.model = "E5700";
    f.tiff.sensor.bits = bits;
    f.tiff.sensor.compression = compression;
    f.tiff.sensor.samples = SyntheticMosaic(64, 48, bits, seed);
    return f;
  };
  {
    sTiffEpFile f = ep(16, 1, 11);
    out.push_back(Fixture("tiffep_plain.tif", MakeTiffEp(f), f.tiff.sensor, false, kPictFormatTIFF_EP));
    out.back().oracleReads = false;
  }
  {
    sTiffEpFile f = ep(12, 32769, 12);
    f.tiff.bigEndian = true;
    out.push_back(Fixture("tiffep_packed12.tif", MakeTiffEp(f), f.tiff.sensor, false, kPictFormatTIFF_EP));
    out.back().oracleReads = false;
  }
  {
    sTiffEpFile f = ep(12, 7, 13);
    out.push_back(Fixture("tiffep_ljpeg.tif", MakeTiffEp(f), f.tiff.sensor, false, kPictFormatTIFF_EP));
    out.back().oracleReads = false;
  }
  auto mos = [](uint32_t seed) {
    sMosFile f;
    f.tiff.bigEndian = true;
    f.tiff.make = "Leaf";
    f.tiff.model = "Aptus 75";
    f.tiff.sensor.writePattern = false;
    f.tiff.sensor.samples = SyntheticMosaic(64, 48, 16, seed);
    return f;
  };
  auto records = [](const char* rows) {
    std::vector<uint8_t> capture = PktsRecord(true, "CaptProf_mosaic_pattern", MosaicDigits("1000"));
    std::vector<uint8_t> out = PktsRecord(true, "CamProf_capture_profile", capture);
    if (rows != nullptr) {
      const std::vector<uint8_t> r = PktsRecord(true, "Rows_data", {0, 0, 0, static_cast<uint8_t>(rows[0] - '0')});
      out.insert(out.end(), r.begin(), r.end());
    }
    return out;
  };
  {
    sMosFile f = mos(14);
    f.records = records(nullptr);
    out.push_back(Fixture("leaf_plain.mos", MakeMos(f), f.tiff.sensor, false, kPictFormatMOS));
    out.back().oracleReads = false;
  }
  {
    sMosFile f = mos(15);
    f.records = records("1");
    sLjpegImage im;
    im.width = 32;
    im.height = 48;
    im.components = 2;
    im.samples = FieldOrder(f.tiff.sensor.samples, 64, 48);
    const std::vector<uint8_t> jpeg = EncodeLosslessJpeg(im);
    f.tiff.extraTags = [jpeg](cTiffBuilder& b, int ifd0, int) {
      const int block = b.AddBlock(jpeg);
      b.AddShort(ifd0, 259, 99);
      b.AddBlockOffsets(ifd0, 273, {block});
      b.AddBlockSizes(ifd0, 279, {block});
    };
    sRawFixture x = Fixture("leaf_ljpeg_fields.mos", MakeMos(f), f.tiff.sensor, false, kPictFormatMOS);
    out.push_back(x);
    out.back().oracleReads = false;
  }
  return out;
}

std::vector<sRawFixture> RawFaultFixtures() {
  std::vector<sRawFixture> out;
  auto add = [&](const char* name, std::vector<uint8_t> bytes) {
    sRawFixture f;
    f.name = name;
    f.bytes = std::move(bytes);
    out.push_back(std::move(f));
  };
  {
    sDngFile f = Dng(16, 20);
    f.cropOrigin = {63, 0};
    f.cropSize = {1, 48};
    add("fault_crop_beyond_frame.dng", MakeDng(f));
  }
  {
    sDngFile f = Dng(16, 21);
    f.writeBlack = true;
    f.blackRational = true;
    f.black = 500;
    f.blackDenominator = 0;
    add("fault_black_denominator_0.dng", MakeDng(f));
  }
  {
    sDngFile f = Dng(16, 22);
    f.tiff.sensor.samples.assign(64 * 48, 4660);
    add("fault_flat_field.dng", MakeDng(f));
  }
  {
    sDngFile f = Dng(16, 23);
    f.tiff.sensor.height = 32;
    f.tiff.sensor.samples.resize(64 * 32);
    f.tiff.sensor.rowsPerStrip = 16;
    f.tiff.extraTags = [](cTiffBuilder& b, int, int raw) { b.AddLong(raw, 257, 48); };
    add("fault_strips_short.dng", MakeDng(f));
  }
  {
    sMosFile f;
    f.tiff.bigEndian = true;
    f.tiff.make = "Leaf";
    f.tiff.sensor.writePattern = false;
    f.tiff.sensor.samples = SyntheticMosaic(64, 48, 16, 24);
    std::vector<uint8_t> deep = PktsRecord(true, "CaptProf_mosaic_pattern", MosaicDigits("1000"));
    for (int i = 0; i < 40; ++i) deep = PktsRecord(true, "camera_profile", deep);
    f.records = PktsRecord(true, "CamProf_capture_profile", deep);
    add("fault_mos_deep_nesting.mos", MakeMos(f));
    f.records = PktsRecord(true, "CamProf_capture_profile",
                           PktsRecord(true, "CaptProf_mosaic_pattern", MosaicDigits("1000")));
    sLjpegImage im;
    im.width = 32;
    im.height = 48;
    im.components = 2;
    im.samples = f.tiff.sensor.samples;
    std::vector<uint8_t> jpeg = EncodeLosslessJpeg(im);
    jpeg.resize(jpeg.size() / 3);
    f.tiff.extraTags = [jpeg](cTiffBuilder& b, int ifd0, int) {
      const int block = b.AddBlock(jpeg);
      b.AddShort(ifd0, 259, 99);
      b.AddBlockOffsets(ifd0, 273, {block});
      b.AddBlockSizes(ifd0, 279, {block});
    };
    add("fault_mos_cut_lossless_strip.mos", MakeMos(f));
  }
  return out;
}
