// MOS: the PKTS records (pattern, rotation, row order, preview, nesting),
// the ZIP wrapper, plain and lossless JPEG sensors in field order.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "picture/raw/pict_mos.h"
#include "tests/picture/raw/raw_test_util.h"
#include "tests/support/ljpeg_encoder.h"
#include "tests/support/raw_fixture.h"

namespace {

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> Text(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

sMosFile BaseMos(bool be = true, const char* digits = "1000", const char* rotation = "0") {
  sMosFile f;
  f.tiff.bigEndian = be;
  f.tiff.make = "Leaf";
  f.tiff.model = "Aptus 75";
  f.tiff.sensor.samples = SyntheticMosaic(64, 48, 16, 4);
  f.tiff.sensor.writePattern = false;
  const std::vector<uint8_t> capture =
      Cat({PktsRecord(be, "CaptProf_raw_data_rotation", Text(rotation)),
           PktsRecord(be, "CaptProf_mosaic_pattern", MosaicDigits(digits))});
  f.records = Cat({PktsRecord(be, "CamProf_back_type", Text("  12")),
                   PktsRecord(be, "CamProf_capture_profile", capture)});
  return f;
}

// The 64 x 48 sensor as one lossless JPEG of two components.
std::vector<uint8_t> SensorJpeg(const std::vector<uint16_t>& samples) {
  sLjpegImage im;
  im.width = 32;
  im.height = 48;
  im.components = 2;
  im.samples = samples;
  return EncodeLosslessJpeg(im);
}

// The main IFD's one strip becomes jpeg, compression 99.
void UseJpegStrip(sMosFile& f, const std::vector<uint8_t>& jpeg) {
  f.tiff.extraTags = [jpeg](cTiffBuilder& b, int ifd0, int) {
    const int block = b.AddBlock(jpeg);
    b.AddShort(ifd0, 259, 99);
    b.AddBlockOffsets(ifd0, 273, {block});
    b.AddBlockSizes(ifd0, 279, {block});
  };
}

std::vector<uint8_t> PatternOf(const cPictMOS& m) {
  return std::vector<uint8_t>(m.Pattern().colours.data, m.Pattern().colours.data + m.Pattern().count);
}

TEST(RawMos, MosaicDigitsAndRotation) {
  struct sCase {
    const char* digits;
    const char* rotation;
    std::vector<uint8_t> cells;
  };
  const sCase cases[] = {
      {"0100", "0", {1, 0, 2, 1}},     // e = 1
      {"0100", "270", {0, 1, 1, 2}},   // q = (1 + 3) & 3 = 0
      {"0100", "45", {1, 0, 2, 1}},    // not a multiple of 90: 0
      {"0100", "-90", {0, 1, 1, 2}},   // one step back
      {"0010", "0", {1, 2, 0, 1}},     // e = 3
      {"0001", "90", {1, 2, 0, 1}},    // e = 2, q = 3
      {"0000", "0x5A", {1, 0, 2, 1}},  // hexadecimal 90
  };
  for (const sCase& c : cases) {
    const std::vector<uint8_t> bytes = MakeMos(BaseMos(true, c.digits, c.rotation));
    cPictMOS m;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(m.ReadInfo(&io, nullptr)) << c.digits << " " << c.rotation;
    EXPECT_EQ(PatternOf(m), c.cells) << c.digits << " " << c.rotation;
    EXPECT_EQ(m.BackType(), 12);
  }
}

TEST(RawMos, PlainSensorDevelopsWithTheMosMultipliers) {
  for (bool be : {true, false}) {
    const sMosFile f = BaseMos(be);
    const std::vector<uint8_t> bytes = MakeMos(f);
    sPictInfo info;
    std::unique_ptr<cPictBase> d = Probe(bytes, &info);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GetFormat(), kPictFormatMOS);
    EXPECT_EQ(info.width, 64);
    EXPECT_FALSE(info.hasPreview);
    cFrameCatcher catcher;
    ASSERT_TRUE(LoadWith(*d, bytes));
    EXPECT_EQ(catcher.frame.samples, f.tiff.sensor.samples);
    EXPECT_EQ(d->GetWidth(), 64);
    EXPECT_TRUE(AllOpaque(*d));
  }
}

TEST(RawMos, LosslessJpegInFieldOrder) {
  for (int rows : {0, 1}) {
    sMosFile f = BaseMos();
    // The strip's JPEG carries the rows in the order Rows_data says.
    std::vector<uint8_t> rowsData = {0, 0, 0, static_cast<uint8_t>(rows)};
    f.records = Cat({f.records, PktsRecord(true, "Rows_data", rowsData)});
    f.tiff.sensor.compression = 99;
    sRawSensor jpegOrder = f.tiff.sensor;
    f.tiff.sensor.compression = 1;
    const std::vector<uint16_t> stored =
        rows ? FieldOrder(jpegOrder.samples, 64, 48) : jpegOrder.samples;
    UseJpegStrip(f, SensorJpeg(stored));
    const std::vector<uint8_t> bytes = MakeMos(f);
    cPictMOS m;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cFrameCatcher catcher;
    ASSERT_TRUE(m.Load(&io)) << rows;
    EXPECT_EQ(m.RowsData(), rows);
    EXPECT_EQ(catcher.frame.samples, jpegOrder.samples) << rows;
  }
}

TEST(RawMos, ZipWrapper) {
  const std::vector<uint8_t> tiff = MakeMos(BaseMos());
  // "0.mos" with four bytes of extra field: the TIFF starts at byte 39.
  for (const char* name : {"0.MOS", "0.mos", "0.Mos"}) {
    const std::vector<uint8_t> zip = StoreInZip(name, tiff, 4);
    sPictInfo info;
    std::unique_ptr<cPictBase> d = Probe(zip, &info);
    ASSERT_NE(d, nullptr) << name;
    EXPECT_EQ(d->GetFormat(), kPictFormatMOS) << name;
    EXPECT_TRUE(LoadWith(*d, zip)) << name;
  }
  // Another entry name is not unwrapped.
  const std::vector<uint8_t> other = StoreInZip("1.MOS", tiff, 4);
  EXPECT_EQ(Probe(other, nullptr), nullptr);
}

TEST(RawMos, RecordsThatRefuse) {
  struct sCase {
    const char* what;
    std::vector<uint8_t> records;
    bool ok;
  };
  auto capture = [](std::vector<uint8_t> inner) { return PktsRecord(true, "CamProf_capture_profile", inner); };
  std::vector<uint8_t> badSignature = PktsRecord(true, "CamProf_back_type", Text("1"));
  badSignature[0] = 'X';
  std::vector<uint8_t> tooLong = PktsRecord(true, "CamProf_back_type", Text("1"));
  tooLong[51] = 200;
  // Nesting deeper than the limit.
  std::vector<uint8_t> deep = PktsRecord(true, "CaptProf_mosaic_pattern", MosaicDigits("1000"));
  for (int i = 0; i < 12; ++i) deep = PktsRecord(true, "camera_profile", deep);
  const sCase cases[] = {
      {"no capture profile", PktsRecord(true, "CaptProf_mosaic_pattern", MosaicDigits("1000")), false},
      {"pattern of 7 bytes", capture(PktsRecord(true, "CaptProf_mosaic_pattern", Text("1 0 0 0"))), false},
      {"Rows_data of 3 bytes",
       capture(Cat({PktsRecord(true, "CaptProf_mosaic_pattern", MosaicDigits("1000")),
                    PktsRecord(true, "Rows_data", {0, 0, 1})})),
       false},
      {"bad signature", capture(badSignature), false},
      {"size beyond the list", capture(tooLong), false},
      {"nesting beyond the limit", capture(deep), false},
      {"nesting within the limit",
       capture(PktsRecord(true, "camera_profile",
                          PktsRecord(true, "CaptProf_mosaic_pattern", MosaicDigits("1000")))),
       true},
  };
  for (const sCase& c : cases) {
    sMosFile f = BaseMos();
    f.records = c.records;
    const std::vector<uint8_t> bytes = MakeMos(f);
    cPictMOS m;
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(m.ReadInfo(&io, nullptr), c.ok) << c.what;
  }
}

TEST(RawMos, CorruptLosslessStripFailsTheLoad) {
  sMosFile f = BaseMos();
  std::vector<uint8_t> jpeg = SensorJpeg(f.tiff.sensor.samples);
  jpeg.resize(jpeg.size() / 3);  // cut inside the scan
  UseJpegStrip(f, jpeg);
  const std::vector<uint8_t> bytes = MakeMos(f);
  cPictMOS m;
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_FALSE(m.Load(&io));
}

TEST(RawMos, WidthNotAMultipleOfFour) {
  sMosFile f = BaseMos();
  f.tiff.sensor.width = 66;
  f.tiff.sensor.samples = SyntheticMosaic(66, 48, 16, 4);
  const std::vector<uint8_t> bytes = MakeMos(f);
  cPictMOS m;
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  sPictInfo info;
  ASSERT_TRUE(m.ReadInfo(&io, &info));
  EXPECT_EQ(info.width, 64);
  cFrameCatcher catcher;
  ASSERT_TRUE(m.Load(&io));
  EXPECT_EQ(catcher.frame.width, 64);
  EXPECT_EQ(m.GetWidth(), 64);
}

}  // namespace
