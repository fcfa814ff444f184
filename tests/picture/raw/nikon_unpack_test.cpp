// Nikon sample layouts and the Huffman coding, against test-side packers and
// the encoder of nikon_encoder.h.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/exception.h"
#include "picture/raw/raw_nikon_unpack.h"
#include "tests/picture/raw/nikon_encoder.h"
#include "tests/picture/raw/raw_bits.h"

using namespace rawtest;

namespace {

sTiffStripData Record(int width, int rows, int bits, bool be) {
  sTiffStripData sd;
  sd.bytesPerRow = static_cast<int32_t>((int64_t{width} * bits + 7) / 8);
  sd.rows = rows;
  sd.bitsPerSample = bits;
  sd.samplesPerPixel = 1;
  sd.bigEndian = be;
  return sd;
}

std::vector<uint16_t> SamplesOf(const sTiffStripData& sd) {
  std::vector<uint16_t> v(static_cast<size_t>(sd.data.count) / 2);
  if (!v.empty()) std::memcpy(v.data(), sd.data.data, v.size() * 2);
  return v;
}

std::vector<uint16_t> RandomSamples(size_t n, int bits, uint32_t seed) {
  cRandom r(seed);
  std::vector<uint16_t> v(n);
  for (auto& x : v) x = static_cast<uint16_t>(r.Next() & ((1u << bits) - 1));
  return v;
}

// Rows of width samples, each row an MSB-first word stream of bpr bytes.
std::vector<uint8_t> PackRowsAsWords(const std::vector<uint16_t>& s, int width, int rows, int bits, bool be,
                                     int bpr) {
  std::vector<uint8_t> out;
  for (int r = 0; r < rows; ++r) {
    cBitWriter w;
    for (int c = 0; c < width; ++c) w.Put(s[static_cast<size_t>(r) * width + c], bits);
    std::vector<uint8_t> row = AsWords(w.Finish(), be);
    row.resize(static_cast<size_t>(bpr), 0);
    // Bytes beyond the row belong to the next row; a row padded to words
    // must not spill into it.
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

struct sWordCase {
  int width, rows, bits;
  bool be;
};

TEST(NefUnpack, BitsBigEndianReadsEachRowAsWordStream) {
  // Widths whose rows are whole words, so each row's words are its own.
  const sWordCase cases[] = {{8, 3, 12, true}, {8, 3, 12, false}, {16, 2, 14, true},
                             {16, 2, 14, false}, {4, 5, 16, true}, {32, 2, 10, false}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << "x" << k.rows << " bits " << k.bits << " be " << k.be);
    const auto want = RandomSamples(static_cast<size_t>(k.width) * k.rows, k.bits, 7);
    sTiffStripData sd = Record(k.width, k.rows, k.bits, k.be);
    const auto bytes = PackRowsAsWords(want, k.width, k.rows, k.bits, k.be, sd.bytesPerRow);
    ASSERT_TRUE(UnpackBitsBigEndian(bytes.data(), static_cast<int32_t>(bytes.size()), sd));
    EXPECT_EQ(SamplesOf(sd), want);
    EXPECT_EQ(sd.bytesPerRow, 2 * k.width);
    EXPECT_FALSE(sd.bigEndian);
    EXPECT_EQ(sd.sampleFormat, 1);
  }
}

TEST(NefUnpack, LastWordPastTheStripReadsZeros) {
  // 3 samples of 12 bits: 4.5 bytes a row, the row's second word runs past
  // the 5 stored bytes of the last row.
  const std::vector<uint16_t> want = {0xABC, 0x123, 0xF00};
  sTiffStripData sd = Record(3, 1, 12, true);
  ASSERT_EQ(sd.bytesPerRow, 5);
  const std::vector<uint8_t> bytes = {0xAB, 0xC1, 0x23, 0xF0, 0x00};
  ASSERT_TRUE(UnpackBitsBigEndian(bytes.data(), 5, sd));
  EXPECT_EQ(SamplesOf(sd), want);
}

TEST(NefUnpack, BitsBigEndianRefusesShortStrip) {
  sTiffStripData sd = Record(8, 3, 12, true);
  std::vector<uint8_t> bytes(static_cast<size_t>(sd.bytesPerRow) * 3 - 1, 0);
  EXPECT_FALSE(UnpackBitsBigEndian(bytes.data(), static_cast<int32_t>(bytes.size()), sd));
  sTiffStripData zero = Record(8, 3, 12, true);
  zero.bitsPerSample = 0;
  EXPECT_FALSE(UnpackBitsBigEndian(bytes.data(), static_cast<int32_t>(bytes.size()), zero));
}

TEST(NefUnpack, InterleavedRowsTakeEvenRowsFirst) {
  for (int rows : {4, 5}) {
    SCOPED_TRACE(rows);
    const int width = 8, bits = 12;
    const auto want = RandomSamples(static_cast<size_t>(width) * rows, bits, 11);
    sTiffStripData sd = Record(width, rows, bits, true);
    // Stored order: rows 0, 2, 4, ... then 1, 3, ...
    std::vector<uint16_t> stored;
    for (int pass = 0; pass < 2; ++pass)
      for (int r = pass; r < rows; r += 2)
        stored.insert(stored.end(), want.begin() + r * width, want.begin() + (r + 1) * width);
    const auto bytes = PackRowsAsWords(stored, width, rows, bits, true, sd.bytesPerRow);
    ASSERT_TRUE(UnpackInterleavedRows(bytes.data(), static_cast<int32_t>(bytes.size()), sd));
    const auto got = SamplesOf(sd);
    // Odd row r lies at stored row r/2 + rows/2: with an odd row count the
    // odd field starts one row early, as stored by the cameras' rule.
    for (int r = 0; r < rows; ++r) {
      const int storedRow = (r & 1) == 0 ? r / 2 : r / 2 + rows / 2;
      for (int c = 0; c < width; ++c)
        EXPECT_EQ(got[static_cast<size_t>(r) * width + c], stored[static_cast<size_t>(storedRow) * width + c])
            << r << "," << c;
    }
  }
}

TEST(NefUnpack, PaddedGroupsHoldTenTwelveBitOrEightFourteenBitSamples) {
  struct sCase {
    int width, bits, perGroup;
    bool be;
  } cases[] = {{25, 12, 10, true}, {25, 12, 10, false}, {17, 14, 8, true}, {16, 14, 8, false}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << " bits " << k.bits);
    const int rows = 3;
    const auto want = RandomSamples(static_cast<size_t>(k.width) * rows, k.bits, 3);
    sTiffStripData sd = Record(k.width, rows, k.bits, k.be);
    const int n = sd.bytesPerRow * 8 / k.bits;
    std::vector<uint8_t> bytes;
    for (int r = 0; r < rows; ++r) {
      for (int g = 0; g * k.perGroup < n; ++g) {
        cBitWriter w;
        for (int i = 0; i < k.perGroup; ++i) {
          const int c = g * k.perGroup + i;
          w.Put(c < k.width ? want[static_cast<size_t>(r) * k.width + c] : 0x5, k.bits);
        }
        std::vector<uint8_t> group = w.Finish(true);
        group.resize(16, 0xEE);  // padding byte and bits
        group = AsWords(group, k.be);
        bytes.insert(bytes.end(), group.begin(), group.end());
      }
    }
    ASSERT_TRUE(UnpackBitsPadded(bytes.data(), static_cast<int32_t>(bytes.size()), sd, 16));
    const auto got = SamplesOf(sd);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < k.width; ++c)
        EXPECT_EQ(got[static_cast<size_t>(r) * n + c], want[static_cast<size_t>(r) * k.width + c]);
    sTiffStripData shortSd = Record(k.width, rows, k.bits, k.be);
    EXPECT_FALSE(UnpackBitsPadded(bytes.data(), static_cast<int32_t>(bytes.size()) - 1, shortSd, 16));
  }
}

TEST(NefUnpack, LittleEndianTwelveAndFourteenBitPacking) {
  // 12 bits: b0 b1 b2 = 0x21 0x43 0x65 -> 0x321, 0x654.
  {
    sTiffStripData sd = Record(2, 1, 12, false);
    const std::vector<uint8_t> b = {0x21, 0x43, 0x65};
    ASSERT_TRUE(Unpack12or14Bit(b.data(), 3, sd));
    EXPECT_EQ(SamplesOf(sd), (std::vector<uint16_t>{0x321, 0x654}));
  }
  // 14 bits from an LSB-first bit stream of four samples.
  {
    const std::vector<uint16_t> want = {0x1234, 0x2ABC, 0x0FED, 0x3001};
    uint64_t acc = 0;
    for (int i = 0; i < 4; ++i) acc |= uint64_t{want[i]} << (14 * i);
    std::vector<uint8_t> b(7);
    for (int i = 0; i < 7; ++i) b[i] = static_cast<uint8_t>(acc >> (8 * i));
    sTiffStripData sd = Record(4, 1, 14, false);
    ASSERT_TRUE(Unpack12or14Bit(b.data(), 7, sd));
    EXPECT_EQ(SamplesOf(sd), want);
  }
  // Rows padded beyond the stored row length: the stride is size / rows.
  {
    sTiffStripData sd = Record(2, 2, 12, false);
    const std::vector<uint8_t> b = {0x21, 0x43, 0x65, 0xFF, 0xBA, 0xDC, 0xFE, 0xFF};
    ASSERT_TRUE(Unpack12or14Bit(b.data(), 8, sd));
    EXPECT_EQ(SamplesOf(sd), (std::vector<uint16_t>{0x321, 0x654, 0xCBA, 0xFED}));
  }
  sTiffStripData bad = Record(2, 1, 10, false);
  const uint8_t z[8] = {};
  EXPECT_FALSE(Unpack12or14Bit(z, 8, bad));
  sTiffStripData shortSd = Record(2, 2, 12, false);
  EXPECT_FALSE(Unpack12or14Bit(z, 5, shortSd));
}

TEST(NefUnpack, TwelveBitWordLayouts) {
  {
    // 16-bit stored words, top 12 bits kept.
    sTiffStripData sd = Record(2, 1, 16, false);
    const std::vector<uint8_t> b = {0xAB, 0xCD, 0x12, 0x3F};
    ASSERT_TRUE(Unpack12In16BigEndian(b.data(), 4, sd));
    EXPECT_EQ(SamplesOf(sd), (std::vector<uint16_t>{0xABC, 0x123}));
    EXPECT_EQ(sd.bitsPerSample, 12);
    sTiffStripData other = Record(2, 1, 16, false);
    EXPECT_FALSE(Unpack12In16BigEndian(b.data(), 3, other));
  }
  {
    sTiffStripData sd = Record(2, 1, 12, true);
    const std::vector<uint8_t> b = {0xAB, 0xCD, 0xEF};
    ASSERT_TRUE(Unpack12BitPacked(b.data(), 3, sd));
    EXPECT_EQ(SamplesOf(sd), (std::vector<uint16_t>{0xABC, 0xDEF}));
    sTiffStripData longer = Record(2, 1, 12, true);
    const std::vector<uint8_t> four = {0xAB, 0xCD, 0xEF, 0};
    EXPECT_FALSE(Unpack12BitPacked(four.data(), 4, longer));
  }
  {
    sTiffStripData sd = Record(3, 1, 16, true);
    const std::vector<uint8_t> b = {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80};
    ASSERT_TRUE(TakeRaw16(b.data(), 6, sd));
    EXPECT_EQ(SamplesOf(sd), (std::vector<uint16_t>{0x1234, 0xFFFF, 0x8000}));
    EXPECT_EQ(sd.bitsPerSample, 16);
    EXPECT_TRUE(sd.bigEndian);  // left as stored
    sTiffStripData shortSd = Record(3, 1, 16, true);
    EXPECT_FALSE(TakeRaw16(b.data(), 5, shortSd));
  }
}

TEST(NefHuffman, LookupTableOfTheLosslessTree) {
  _typebuf<uint16_t> table;
  const uint8_t* cursor = kNikonHuffmanTrees[2];
  BuildHuffLookup(table, cursor);
  // Longest code 7 bits: 128 entries plus the bit count.
  ASSERT_EQ(table.count, 129);
  EXPECT_EQ(table[0], 7);
  EXPECT_EQ(cursor, kNikonHuffmanTrees[2] + 16 + 13);
  // Codes 00 (symbol 5, 2 bits) fill the first 32 entries; 111111x (12).
  EXPECT_EQ(table[1], (2 << 8) | 5);
  EXPECT_EQ(table[32], (2 << 8) | 5);
  EXPECT_EQ(table[33], (3 << 8) | 4);
  EXPECT_EQ(table[128], (7 << 8) | 12);
  for (const auto& code : NikonCodes(2)) {
    const int32_t first = 1 + static_cast<int32_t>(code.code << (7 - code.length));
    EXPECT_EQ(table[first], (code.length << 8) | code.symbol);
  }
}

TEST(NefHuffman, BitReaderResetsRunsDryAndStaysAtZero) {
  const uint8_t bytes[2] = {0xA5, 0xFF};
  sHuffBitState st;
  EXPECT_EQ(ReadHuffBits(bytes, 2, st, -1, nullptr), 0);
  EXPECT_EQ(ReadHuffBits(bytes, 2, st, 4, nullptr), 0xA);
  EXPECT_EQ(ReadHuffBits(bytes, 2, st, 0, nullptr), 0);
  EXPECT_EQ(ReadHuffBits(bytes, 2, st, 8, nullptr), 0x5F);  // 0xFF taken as it is
  EXPECT_EQ(ReadHuffBits(bytes, 2, st, 8, nullptr), 0xF0);  // four bits past the end read as 0
  EXPECT_LT(st.count, 0);
  EXPECT_EQ(ReadHuffBits(bytes, 2, st, 3, nullptr), 0);
}

TEST(NefCurve, Forms) {
  const uint16_t vp[4] = {0, 0, 0, 0};
  _typebuf<uint16_t> curve;
  // 0x44 0x20 with 683 points: step 6 and linear interpolation between them.
  std::vector<uint16_t> points(683);
  for (int i = 0; i < 683; ++i) points[i] = static_cast<uint16_t>(i * 12 + (i % 2) * 6);
  for (bool be : {false, true}) {
    auto t = NikonLinearisation(0x44, 0x20, vp, points, be);
    ASSERT_TRUE(BuildNikonCurve(12, curve, be, t.data(), static_cast<int32_t>(t.size())));
    ASSERT_EQ(curve.count, 4096);
    EXPECT_EQ(curve[0], 0);
    EXPECT_EQ(curve[6], 18);
    EXPECT_EQ(curve[3], (0 * 3 + 3 * 18) / 6);
    EXPECT_EQ(curve[10], (18 * 2 + 4 * 24) / 6);
    EXPECT_EQ(curve[4092], points[682]);
  }
  // 0x46: identity of 16384 entries at 14 bits, whatever the points say.
  auto lossless = NikonLinearisation(0x46, 0x30, vp, {1, 2, 3}, false);
  ASSERT_TRUE(BuildNikonCurve(14, curve, false, lossless.data(), static_cast<int32_t>(lossless.size())));
  ASSERT_EQ(curve.count, 16384);
  EXPECT_EQ(curve[16383], 16383);
  // Any other version: the listed points.
  auto listed = NikonLinearisation(0x44, 0x10, vp, {5, 9, 20}, true);
  ASSERT_TRUE(BuildNikonCurve(12, curve, true, listed.data(), static_cast<int32_t>(listed.size())));
  ASSERT_EQ(curve.count, 3);
  EXPECT_EQ(curve[2], 20);
  // No table: identity of (1 << bits) & 0x7FFF.
  ASSERT_TRUE(BuildNikonCurve(12, curve, false, nullptr, 0));
  EXPECT_EQ(curve.count, 4096);
  ASSERT_TRUE(BuildNikonCurve(16, curve, false, nullptr, 0));
  EXPECT_EQ(curve.count, 0);
}

TEST(NefCurve, TableShorterThanItsPositionsIsRefused) {
  const uint16_t vp[4] = {0, 0, 0, 0};
  _typebuf<uint16_t> curve;
  auto t = NikonLinearisation(0x44, 0x10, vp, {5, 9, 20}, false);
  t.resize(t.size() - 1);  // last point cut
  EXPECT_FALSE(BuildNikonCurve(12, curve, false, t.data(), static_cast<int32_t>(t.size())));
  std::vector<uint16_t> points(683, 1);
  auto step6 = NikonLinearisation(0x44, 0x20, vp, points, false);
  step6.resize(600);
  EXPECT_FALSE(BuildNikonCurve(12, curve, false, step6.data(), static_cast<int32_t>(step6.size())));
  const uint8_t head[8] = {0x44, 0x10, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(BuildNikonCurve(12, curve, false, head, 8));
}

namespace {

struct sHuffCase {
  const char* name;
  int bits;
  uint8_t ver0, ver1;
  uint16_t nefCompression;
  int splitRow;  // 0: none
  bool fileBe;
  bool stripBe;
  int width, rows;
};

void RunHuffCase(const sHuffCase& k) {
  SCOPED_TRACE(k.name);
  const uint16_t vp[4] = {static_cast<uint16_t>(1 << (k.bits - 2)), 100, 200, static_cast<uint16_t>(1 << (k.bits - 3))};
  const int count = 1 << k.bits;
  std::vector<uint16_t> points;
  std::vector<uint16_t> expectedCurve(static_cast<size_t>(count));
  if (k.ver0 == 0x44 && k.ver1 == 0x20) {
    // Points i at positions 6i (683 points at 12 bits): curve[v] = v / 6
    // below the last interpolated step. The split row sits at byte 562,
    // which is point 275: the test keeps them equal.
    const int npts = count / 6 + 1;
    points.resize(static_cast<size_t>(npts));
    for (int i = 0; i < npts; ++i) points[i] = static_cast<uint16_t>(i);
    for (int v = 0; v < count; ++v) expectedCurve[v] = static_cast<uint16_t>(v / 6);
  } else {
    for (int v = 0; v < count; ++v) expectedCurve[v] = static_cast<uint16_t>(v);
  }
  auto table = NikonLinearisation(k.ver0, k.ver1, vp, points, k.fileBe, k.splitRow != 0 ? k.splitRow : -1,
                                  k.stripBe);
  int tree = (k.ver0 == 0x46 ? 2 : 0) + (k.bits == 14 ? 3 : 0);
  const int maxTarget = k.ver0 == 0x44 && k.ver1 == 0x20 ? count - 200 : count - 1;
  std::vector<uint16_t> target = SmoothMosaic(k.width, k.rows, maxTarget, 5);
  const auto enc = EncodeNikonHuffman(target, k.width, k.rows, tree, k.splitRow, vp);
  sTiffStripData sd = Record(k.width, k.rows, k.bits, k.stripBe);
  sNikonCodingInput in;
  in.nefCompression = k.nefCompression;
  in.linearisation = table.data();
  in.linearisationSize = static_cast<int32_t>(table.size());
  in.fileBigEndian = k.fileBe;
  ASSERT_TRUE(DecodeNikonLossless(in, enc.bytes.data(), static_cast<int32_t>(enc.bytes.size()), sd));
  const auto got = SamplesOf(sd);
  ASSERT_EQ(got.size(), target.size());
  size_t exactDiffs = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    int v = static_cast<int16_t>(enc.values[i]);
    if (v < 0) v = 0;
    if (v > count - 1) v = count - 1;
    ASSERT_EQ(got[i], expectedCurve[static_cast<size_t>(v)]) << "sample " << i;
    if (enc.values[i] != target[i]) ++exactDiffs;
  }
  // Lossless trees reproduce the target exactly; the lossy trees after the
  // split row may not, but the encoder's model is what must come back.
  if (k.splitRow == 0) {
    EXPECT_EQ(exactDiffs, 0u);
  }
}

}  // namespace

TEST(NefHuffman, EncoderRoundTrips) {
  const sHuffCase cases[] = {
      {"12-bit lossless", 12, 0x46, 0x30, 3, 0, false, false, 34, 6},
      {"14-bit lossless", 14, 0x46, 0x30, 3, 0, true, true, 30, 5},
      {"12-bit lossy, listed curve", 12, 0x44, 0x10, 1, 0, false, false, 24, 4},
      {"14-bit lossy, no split", 14, 0x44, 0x10, 1, 0, true, true, 18, 4},
      {"12-bit lossy, split at 275", 12, 0x44, 0x20, 4, 275, false, false, 8, 280},
      {"12-bit lossy split, MM table", 12, 0x44, 0x20, 4, 275, true, true, 8, 280},
      {"14-bit lossy, split at 275", 14, 0x44, 0x20, 4, 275, false, false, 6, 281},
  };
  for (const auto& k : cases) RunHuffCase(k);
}

TEST(NefHuffman, SplitRowWidensTheRangeBySixteen) {
  // A row whose value lies between max - 16 and max + 16 is accepted only
  // after the split row.
  const uint16_t vp[4] = {4090, 10, 4090, 10};
  std::vector<uint16_t> points(683);
  for (int i = 0; i < 683; ++i) points[i] = static_cast<uint16_t>(i);
  points[275] = 1;  // split row 1
  auto table = NikonLinearisation(0x44, 0x20, vp, points, false, 1, false);
  // Row 0 first sample 4090 (<4096) fine; row 1 after split: 4100 accepted
  // (4100 + 16 < 4128).
  std::vector<uint16_t> target = {4090, 10, 4090, 10};
  target[2] = 4100;
  const auto enc = EncodeNikonHuffman(target, 2, 2, 0, 1, vp);
  ASSERT_EQ(enc.values[2], 4100);
  sNikonCodingInput in{4, table.data(), static_cast<int32_t>(table.size()), false};
  sTiffStripData sd = Record(2, 2, 12, false);
  ASSERT_TRUE(DecodeNikonLossless(in, enc.bytes.data(), static_cast<int32_t>(enc.bytes.size()), sd));
  EXPECT_EQ(SamplesOf(sd)[2], 0);  // 4100 limited to 4095: a position past the last point
  // Without the split the same value leaves the curve's range.
  auto noSplit = NikonLinearisation(0x44, 0x20, vp, points, false);
  const auto enc2 = EncodeNikonHuffman(target, 2, 2, 0, 0, vp);
  sNikonCodingInput in2{1, noSplit.data(), static_cast<int32_t>(noSplit.size()), false};
  sTiffStripData sd2 = Record(2, 2, 12, false);
  EXPECT_FALSE(DecodeNikonLossless(in2, enc2.bytes.data(), static_cast<int32_t>(enc2.bytes.size()), sd2));
}

TEST(NefHuffman, RefusesMissingOrShortTables) {
  const uint16_t vp[4] = {0, 0, 0, 0};
  const uint8_t data[16] = {};
  struct sCase {
    const char* name;
    std::vector<uint8_t> table;
    uint16_t compression;
  } cases[] = {
      {"empty table", {}, 1},
      {"one byte", {0x46}, 3},
      {"predictors cut", {0x46, 0x30, 0, 0, 0, 0, 0}, 3},
      {"split row position missing", NikonLinearisation(0x44, 0x20, vp, std::vector<uint16_t>(100, 1), false), 4},
      {"points cut", NikonLinearisation(0x44, 0x10, vp, {1, 2, 3}, false), 1},
  };
  cases[4].table.resize(cases[4].table.size() - 2);
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    sNikonCodingInput in{k.compression, k.table.empty() ? nullptr : k.table.data(),
                         static_cast<int32_t>(k.table.size()), false};
    sTiffStripData sd = Record(4, 2, 12, false);
    EXPECT_FALSE(DecodeNikonLossless(in, data, 16, sd));
  }
}

TEST(NefHuffman, TruncatedDataDecodesZeroDifferences) {
  const uint16_t vp[4] = {100, 100, 100, 100};
  auto table = NikonLinearisation(0x46, 0x30, vp, {}, false);
  const auto target = SmoothMosaic(16, 4, 3000, 9);
  const auto enc = EncodeNikonHuffman(target, 16, 4, 2, 0, vp);
  sNikonCodingInput in{3, table.data(), static_cast<int32_t>(table.size()), false};
  for (int32_t keep : {0, 1, 7, static_cast<int32_t>(enc.bytes.size()) / 2}) {
    sTiffStripData sd = Record(16, 4, 12, false);
    // Past the end every read answers 0; never a crash.
    const bool ok = DecodeNikonLossless(in, enc.bytes.data(), keep, sd);
    if (keep == 0) {
      // Zero bits read the two-bit code 00 (a 5-bit difference whose bits
      // are gone: -31); after that the count is negative and every length
      // and difference is 0, so each sample is its row parity's predictor.
      ASSERT_TRUE(ok);
      const auto got = SamplesOf(sd);
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 16; ++c)
          EXPECT_EQ(got[r * 16 + c], ((r & 1) == 0 && (c & 1) == 0) ? 69 : 100) << r << "," << c;
    }
  }
}
