// Test kit for camera raw files: synthetic sensor rasters and the TIFF
// directories that carry them, written on cTiffBuilder, so that every
// camera decoder can be tested with tiny files (64 x 48 sensors, a few KB)
// that carry real make and model names. No real camera file is needed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/tiff_builder.h"

// Deterministic sensor samples below 2^bits: a smooth gradient per colour
// site with a little noise, so that demosaics and levels have work to do.
std::vector<uint16_t> SyntheticMosaic(int32_t width, int32_t height, int32_t bits, uint32_t seed);

// Samples as bytes: 16-bit in the given byte order; 8-bit one byte each.
std::vector<uint8_t> SampleBytes16(const std::vector<uint16_t>& samples, bool bigEndian);
std::vector<uint8_t> SampleBytes8(const std::vector<uint16_t>& samples);
// Rows of n-bit samples packed most significant bit first, each row padded
// to whole bytes (TIFF's packing for BitsPerSample n).
std::vector<uint8_t> PackBitsMsb(const std::vector<uint16_t>& samples, int32_t width, int32_t bits);
// TIFF/EP compression 32769: 12-bit pairs in 3 bytes, one padding byte
// after every 15 (16-byte groups), the last group filled up to 16 bytes.
std::vector<uint8_t> Pack12Grouped(const std::vector<uint16_t>& samples);

// A CFA sensor directory.
struct sRawSensor {
  int32_t width = 64;
  int32_t height = 48;
  int32_t bits = 16;               // BitsPerSample written (8, 12, 16)
  std::vector<uint16_t> samples;   // width * height, top row first
  bool writePattern = true;        // CFARepeatPatternDim and CFAPattern
  uint16_t patternRows = 2;
  uint16_t patternColumns = 2;
  std::vector<uint8_t> pattern = {0, 1, 1, 2};
  // 1 plain (8 and 16 bits as bytes, other depths packed MSB first), 7
  // lossless JPEG (one JPEG per strip or tile), 32769 grouped 12-bit.
  uint16_t compression = 1;
  uint16_t photometric = 32803;    // CFA
  int32_t rowsPerStrip = 0;        // 0: one strip
  int32_t tileWidth = 0;           // non-zero: tiles of tileWidth x tileHeight
  int32_t tileHeight = 0;
  int32_t ljpegComponents = 2;     // lossless JPEG: columns per JPEG sample row / frame width
  int32_t restartInterval = 0;     // lossless JPEG restarts (MCUs)
  bool writeByteCounts = true;
  uint32_t newSubfileType = 0;
};

// Adds the sensor's tags and data blocks to ifd of b.
void AddRawSensor(cTiffBuilder& b, int ifd, const sRawSensor& sensor);

// A small 8-bit RGB picture (a preview page) added to ifd: uncompressed,
// one strip, NewSubfileType 1.
struct sRgbPreview {
  int32_t width = 16;
  int32_t height = 12;
  std::vector<uint8_t> rgb;  // width * height * 3; empty: a colour ramp
  uint32_t newSubfileType = 1;
};
void AddRgbPreview(cTiffBuilder& b, int ifd, const sRgbPreview& preview);

// A camera file: IFD0 with make and model, the sensor in IFD0 or in
// sub-IFD 0, an optional preview page in IFD0, and a hook for a format's
// own tags (DNGVersion, maker notes, ...), which sees the builder, IFD0 and
// the sensor's IFD (equal when the sensor lives in IFD0).
struct sCameraTiff {
  bool bigEndian = false;
  std::string make;
  std::string model;
  sRawSensor sensor;
  bool sensorInIfd0 = false;
  bool previewInIfd0 = true;  // only when the sensor is in a sub-IFD
  sRgbPreview preview;
  std::function<void(cTiffBuilder&, int ifd0, int sensorIfd)> extraTags;
};
std::vector<uint8_t> MakeCameraTiff(const sCameraTiff& file);

// ---- Format generators ----

// A DNG: DNGVersion in IFD0, the sensor in sub-IFD 0 (or IFD0), and the
// DNG tags given.
struct sDngFile {
  sCameraTiff tiff;
  std::vector<uint8_t> version = {1, 4, 0, 0};  // empty: no DNGVersion
  std::vector<std::pair<uint32_t, uint32_t>> asShotNeutral;  // RATIONAL
  bool blackRational = false;
  uint32_t black = 0;  // with blackRational: numerator
  uint32_t blackDenominator = 1;
  bool writeBlack = false;
  std::vector<uint32_t> cropOrigin;  // LONG
  std::vector<uint32_t> cropSize;    // LONG
  std::vector<uint32_t> activeArea;  // LONG: top, left, bottom, right
  uint32_t whiteLevel = 0;           // 0: not written
  std::string uniqueCameraModel;     // 3FR: written instead of a version
};
std::vector<uint8_t> MakeDng(const sDngFile& file);

// A Hasselblad 3FR: Make "Hasselblad", UniqueCameraModel, no DNGVersion;
// with compression 7 the sensor strips carry the Hasselblad scan.
std::vector<uint8_t> Make3FR(sDngFile file);

// A TIFF/EP file: TIFF/EPStandardID 1.0.0.0 (as BYTEs) in IFD0 with the
// preview page, the sensor in sub-IFD 0 and further sensors in later
// sub-IFDs.
struct sTiffEpFile {
  sCameraTiff tiff;
  bool writeStandardId = true;
  std::vector<sRawSensor> moreSensors;
};
std::vector<uint8_t> MakeTiffEp(const sTiffEpFile& file);

// Writes offsets into the SubIFDs (330) list of the classic-TIFF IFD at
// ifd0Offset, which was added with as many LONG values (placeholders).
void PatchSubIfdList(std::vector<uint8_t>& bytes, bool bigEndian, uint64_t ifd0Offset,
                     const std::vector<uint32_t>& offsets);

// One PKTS record of a Leaf MOS file, in the file's byte order.
std::vector<uint8_t> PktsRecord(bool bigEndian, const std::string& name, const std::vector<uint8_t>& data);
// A MOS file: the sensor in IFD0 and tag 34310 with the records given
// (typically a CamProf_capture_profile list holding the mosaic pattern).
struct sMosFile {
  sCameraTiff tiff;  // sensorInIfd0 is forced
  std::vector<uint8_t> records;  // concatenated PktsRecord results
};
std::vector<uint8_t> MakeMos(const sMosFile& file);
// The mosaic-pattern record data: digits at bytes 0, 2, 4 and 6.
std::vector<uint8_t> MosaicDigits(const char* four);

// A ZIP archive holding one stored entry (no compression) named name with
// extra bytes of extra field, as a camera back writes it.
std::vector<uint8_t> StoreInZip(const std::string& name, const std::vector<uint8_t>& data, uint16_t extraBytes);

// The Hasselblad scan: lossless JPEG markers (one component, precision
// 16) whose entropy-coded data holds, per row and pair of samples, the two
// categories and then the two differences (predictors start at 0x8000 per
// row), written most significant bit first into little-endian 32-bit words
// without byte stuffing.
std::vector<uint8_t> Encode3FRScan(const std::vector<uint16_t>& samples, int32_t width, int32_t height);

// The raster a reader must produce from a sensor: width & ~3 samples per
// row, deep samples shifted to 16 bits, 8-bit ones shifted (DNG) or not.
std::vector<uint16_t> ExpectedRaster(const sRawSensor& sensor, bool eightBitShifted);
