// Canon maker note and model tables: the maker-note records as tables of
// cases, the two lookups with known, unknown and fallback ids, and the
// one-time build under many threads.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "base/memio.h"
#include "picture/raw/raw_canon_tables.h"
#include "tests/support/tiff_builder.h"

namespace {

std::vector<uint8_t> Le16s(const std::vector<uint16_t>& v) {
  std::vector<uint8_t> out;
  for (uint16_t x : v) {
    out.push_back(static_cast<uint8_t>(x));
    out.push_back(static_cast<uint8_t>(x >> 8));
  }
  return out;
}
std::vector<uint8_t> Le32s(const std::vector<uint32_t>& v) {
  std::vector<uint8_t> out;
  for (uint32_t x : v)
    for (int s = 0; s < 32; s += 8) out.push_back(static_cast<uint8_t>(x >> s));
  return out;
}

// Walks the maker-note directory that fill adds to IFD 0 of a new file.
template <class Fill>
bool WalkNote(cCR2MakerNoteProps& note, Fill fill, bool bigEndian = false) {
  cTiffBuilder b(bigEndian, false);
  const int ifd = b.AddIfd();
  b.KeepOrder(true);
  fill(b, ifd);
  const std::vector<uint8_t> file = b.Build();
  cBufWrapperIO stream(file.data(), static_cast<uint32_t>(file.size()));
  return note.WalkIFD(&stream, bigEndian, false, b.IfdOffset(ifd), cTiffGeneric::kWholeStream);
}

std::vector<uint16_t> ShotInfo(uint16_t whiteBalance, int values = 21) {
  std::vector<uint16_t> v(values, 0);
  if (values > 7) v[7] = whiteBalance;
  return v;
}

// A 0x0029 record with distinct levels in every slot: slot s holds green
// 1000 + s, red 2000 + s, blue 3000 + s, second green 4000 + s.
std::vector<uint8_t> BalanceTable(int slots) {
  std::vector<uint32_t> v(2, 0);
  for (int s = 0; s < slots; ++s) {
    v.insert(v.end(), {1000u + s, 2000u + s, 3000u + s, 4000u + s});
    v.insert(v.end(), {0, 0, 0, 0});
  }
  return Le32s(v);
}

TEST(CanonMakerNote, WhiteBalanceTableSlots) {
  struct {
    int setting;  // -1: no shot info
    int slots;
    int expectSlot;  // -1: balance unchanged (record too short)
  } cases[] = {
      {0, 10, 0}, {5, 10, 7}, {16, 10, 9}, {18, 10, 0}, {40, 10, 0}, {-1, 10, 0}, {4, 10, 4}, {6, 10, 8}, {15, 10, 8},
      {5, 7, -1},  // slot 7 lies past a 7-slot record: balance left unchanged
      {1, 2, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "setting " << c.setting << " slots " << c.slots);
    cCR2MakerNoteProps note;
    ASSERT_TRUE(WalkNote(note, [&](cTiffBuilder& b, int ifd) {
      if (c.setting >= 0) b.AddRaw(ifd, 0x0004, 3, 21, Le16s(ShotInfo(static_cast<uint16_t>(c.setting))));
      std::vector<uint8_t> table = BalanceTable(c.slots);
      // Cut the record right after the last slot's 16 bytes of levels.
      table.resize(8 + 32 * (c.slots - 1) + 16);
      b.AddRaw(ifd, 0x0029, 1, table.size(), table);
    }));
    if (c.expectSlot < 0) {
      EXPECT_EQ(note.balance[0], 0.0);
      EXPECT_EQ(note.balance[1], 0.0);
      continue;
    }
    EXPECT_EQ(note.balance[cCR2MakerNoteProps::kGreen], 1000 + c.expectSlot);
    EXPECT_EQ(note.balance[cCR2MakerNoteProps::kRed], 2000 + c.expectSlot);
    EXPECT_EQ(note.balance[cCR2MakerNoteProps::kBlue], 3000 + c.expectSlot);
    EXPECT_EQ(note.balance[cCR2MakerNoteProps::kGreen2], 4000 + c.expectSlot);
  }
}

TEST(CanonMakerNote, ColourData) {
  struct {
    uint16_t type;
    int n;        // values
    int at;       // byte offset of the levels; -1: refused
  } cases[] = {
      {3, 582, 50}, {3, 653, 68}, {3, 5120, 142}, {3, 600, 126}, {7, 582, 50}, {7, 1000, 126},
      {3, 500, -1}, {7, 500, -1}, {4, 600, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " n " << c.n);
    const int bytes = c.type == 3 ? 2 * c.n : (c.type == 4 ? 4 * c.n : c.n);
    std::vector<uint8_t> data(bytes, 0);
    if (c.at >= 0) {
      const std::vector<uint8_t> levels = Le16s({1111, 2222, 3333, 4444});  // red, green, green2, blue
      std::memcpy(data.data() + c.at, levels.data(), 8);
    }
    cCR2MakerNoteProps note;
    const bool ok = WalkNote(note, [&](cTiffBuilder& b, int ifd) {
      b.AddRaw(ifd, 0x4001, c.type, c.type == 3 ? c.n : (c.type == 4 ? c.n : c.n), data);
    });
    EXPECT_EQ(ok, c.at >= 0);
    if (c.at < 0) continue;
    EXPECT_EQ(note.balance[0], 1111);
    EXPECT_EQ(note.balance[1], 2222);
    EXPECT_EQ(note.balance[2], 4444);
    EXPECT_EQ(note.balance[3], 3333);
  }
}

TEST(CanonMakerNote, SensorInfo) {
  // Given area kept; zero ends make up a strip in the left border.
  std::vector<uint16_t> given = {26, 5360, 3516, 0, 0, 168, 0, 0, 0, 10, 20, 30, 40};
  std::vector<uint16_t> made = {26, 5360, 3804, 0, 0, 168, 0, 0, 0, 0, 0, 0, 0};
  cCR2MakerNoteProps a;
  ASSERT_TRUE(WalkNote(a, [&](cTiffBuilder& b, int ifd) { b.AddRaw(ifd, 0x00E0, 3, 13, Le16s(given)); }));
  EXPECT_FALSE(a.maskSynthesised);
  EXPECT_EQ(a.sensorInfo[9], 10);
  EXPECT_EQ(a.sensorInfo[12], 40);
  cCR2MakerNoteProps m;
  ASSERT_TRUE(WalkNote(m, [&](cTiffBuilder& b, int ifd) { b.AddRaw(ifd, 0x00E0, 3, 13, Le16s(made)); }));
  EXPECT_TRUE(m.maskSynthesised);
  EXPECT_EQ(m.sensorInfo[9], 82);
  EXPECT_EQ(m.sensorInfo[11], 86);
  EXPECT_EQ(m.sensorInfo[10], 951);
  EXPECT_EQ(m.sensorInfo[12], 2853);
  // Longer records are fine when their first value is their size.
  std::vector<uint16_t> longer = given;
  longer.resize(17, 7);
  longer[0] = 34;
  cCR2MakerNoteProps l;
  EXPECT_TRUE(WalkNote(l, [&](cTiffBuilder& b, int ifd) { b.AddRaw(ifd, 0x00E0, 3, 17, Le16s(longer)); }));
}

TEST(CanonMakerNote, RefusedAndIgnoredRecords) {
  struct {
    const char* what;
    uint16_t tag, type;
    std::vector<uint8_t> bytes;
    uint64_t count;
    bool accepted;
  } cases[] = {
      {"shot info of 20 values", 0x0004, 3, Le16s(ShotInfo(1, 20)), 20, false},
      {"shot info as LONG", 0x0004, 4, Le32s(std::vector<uint32_t>(21, 0)), 21, false},
      {"model id as SHORT", 0x0010, 3, Le16s({1, 2}), 2, false},
      {"model id without values", 0x0010, 4, {}, 0, false},
      {"raw offset as SHORT", 0x0081, 3, Le16s({1, 2}), 2, false},
      {"balance table as SHORT", 0x0029, 3, Le16s(std::vector<uint16_t>(20, 0)), 20, false},
      {"sensor info of 24 bytes", 0x00E0, 3, Le16s({24, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), 12, false},
      {"sensor info size mismatch", 0x00E0, 3, Le16s({28, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), 13, false},
      {"old balance of 3 values", 0x00A4, 3, Le16s({1, 2, 3}), 3, true},
      {"old balance as LONG", 0x00A4, 4, Le32s({1, 2, 3, 4}), 4, true},
      {"unknown tag", 0x1234, 2, {'x', 0}, 2, true},
  };
  for (const auto& c : cases) {
    cCR2MakerNoteProps note;
    EXPECT_EQ(WalkNote(note, [&](cTiffBuilder& b, int ifd) { b.AddRaw(ifd, c.tag, c.type, c.count, c.bytes); }),
              c.accepted)
        << c.what;
  }
}

TEST(CanonMakerNote, FileOrderValuesAndReset) {
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    cCR2MakerNoteProps note;
    ASSERT_TRUE(WalkNote(
        note,
        [&](cTiffBuilder& b, int ifd) {
          b.AddLong(ifd, 0x0010, 0x80000285);
          b.AddLong(ifd, 0x0081, 123456);
          b.AddShorts(ifd, 0x00A4, {10, 20, 30, 40, 50});
          // Shot info stays little-endian in either file order.
          b.AddRaw(ifd, 0x0004, 3, 21, Le16s(ShotInfo(0x0102)));
        },
        bigEndian));
    EXPECT_EQ(note.modelId, 0x80000285u);
    EXPECT_EQ(note.rawDataOffset, 123456u);
    EXPECT_EQ(note.oldBalance[0], 10);
    EXPECT_EQ(note.oldBalance[3], 40);
    EXPECT_EQ(note.shotInfo[7], 0x0102);
    EXPECT_TRUE(note.hasShotInfo);
    note.balance[0] = 5;
    note.Reset();
    EXPECT_EQ(note.modelId, 0x80000285u);  // kept by the reset
    EXPECT_EQ(note.oldBalance[1], 20);     // kept
    EXPECT_EQ(note.rawDataOffset, 0u);
    EXPECT_FALSE(note.hasShotInfo);
    EXPECT_EQ(note.balance[0], 0.0);
  }
}

TEST(CanonTables, SizesAndOneBuildFromManyThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 50; ++i) {
        InitCanonColorMatrices();
        InitCanonBorders();
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(CanonTableBuildCount(), 2);  // one per table
  EXPECT_EQ(CanonColorTableSize(), 80);
  EXPECT_EQ(CanonBorderTableSize(), 74);
}

void ExpectMatrix(const double* got, std::initializer_list<double> want) {
  int i = 0;
  for (double w : want) EXPECT_DOUBLE_EQ(got[i++], w) << "coefficient " << i - 1;
}

TEST(CanonTables, ColourLookups) {
  InitCanonColorMatrices();
  const std::initializer_list<double> oldest = {1.917578, -0.957236, 0.039658, -0.054073, 1.265895,
                                                -0.211822, 0.102728, -0.541266, 1.438539};
  const std::initializer_list<double> fullFrame = {1.964399, -1.11971, 0.155311, -0.241156, 1.673722,
                                                   -0.432566, 0.013887, -0.54982, 1.535933};
  const std::initializer_list<double> compact = {-2.268888, 2.888262, -2.687824, 0.851138, -0.661897,
                                                 0.147596, -0.091639, 1.10168, 1.257355};
  const std::initializer_list<double> identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  struct {
    uint32_t id;
    bool found;
    uint16_t white;
    std::initializer_list<double> matrix;
  } cases[] = {
      {0x80000001, true, 3616, oldest},
      {0x80000285, true, 15488, fullFrame},
      {0x80000349, true, 0, fullFrame},
      {0x01140000, true, 0, {1.550388, -0.633976, 0.083589, -0.115432, 1.645695, -0.530264, 0.068474, -0.49518,
                             1.426706}},
      {0x04040000, true, 0, {-1.71971, 2.361807, -2.722312, 0.68266, -0.562744, 0.196526, 0.168274, 0.855459,
                             1.175146}},
      // 80D: no coefficients of its own, so its group's (the EOS-1D X's).
      {0x80000350, true, 15438, {1.94046, -1.116629, 0.17617, -0.213741, 1.643979, -0.430238, 0.021282, -0.521829,
                                 1.500547}},
      {0x80000999, false, 3616, oldest},
      {0x01570000, false, 0, compact},
      {0x02390000, false, 0, compact},
      {0x00000001, false, 0, identity},
      {0x80000000, false, 0, identity},  // not above 0x80000000
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.id);
    double m[9] = {};
    uint16_t black = 99, white = 99;
    EXPECT_EQ(LookupCanonColorMatrix(c.id, m, black, white), c.found);
    EXPECT_EQ(black, 0);
    EXPECT_EQ(white, c.white);
    ExpectMatrix(m, c.matrix);
  }
}

// Every key with its white level, in insertion order.
constexpr struct {
  uint32_t id;
  uint16_t white;
} kColourKeys[] = {
    {0x01140000, 0},     {0x01668000, 4000},  {0x80000285, 15488}, {0x80000349, 0},     {0x80000218, 15600},
    {0x80000213, 3692},  {0x80000382, 11000}, {0x80000401, 11000}, {0x80000302, 15490}, {0x80000406, 15490},
    {0x80000250, 13584}, {0x80000289, 13584}, {0x80000325, 15490}, {0x80000326, 13584}, {0x80000168, 4000},
    {0x80000346, 13645}, {0x80000393, 13645}, {0x80000347, 13645}, {0x80000175, 4095},  {0x80000234, 0},
    {0x80000190, 16224}, {0x80000261, 15763}, {0x80000287, 12279}, {0x80000170, 4000},  {0x80000189, 4095},
    {0x80000236, 3726},  {0x80000176, 14605}, {0x80000252, 10947}, {0x80000270, 15831}, {0x80000286, 13584},
    {0x80000301, 13645}, {0x80000254, 3651},  {0x80000288, 13584}, {0x80000327, 13584}, {0x80000328, 13584},
    {0x80000404, 13584}, {0x80000422, 13584}, {0x80000432, 13584}, {0x80000331, 0},     {0x80000215, 15280},
    {0x80000188, 3712},  {0x80000281, 15280}, {0x80000169, 15280}, {0x80000232, 3712},  {0x80000174, 3712},
    {0x80000001, 3616},  {0x80000167, 13150}, {0x80000269, 15438}, {0x80000350, 15438}, {0x80000408, 15438},
    {0x80000405, 15438}, {0x80000417, 15438}, {0x02490000, 0},     {0x02700000, 0},     {0x02920000, 0},
    {0x03330000, 0},     {0x03080000, 0},     {0x04040000, 0},     {0x01100000, 0},     {0x01190000, 0},
    {0x01290000, 0},     {0x01400000, 0},     {0x02230000, 0},     {0x01370000, 0},     {0x03010000, 0},
    {0x01120000, 0},     {0x01110000, 0},     {0x01210000, 0},     {0x01310000, 0},     {0x01390000, 0},
    {0x01380000, 0},     {0x02720000, 0},     {0x02950000, 0},     {0x03110000, 0},     {0x03360000, 0},
    {0x02460000, 0},     {0x03340000, 0},     {0x01950000, 0},     {0x02520000, 0},     {0x03070000, 0},
};

std::array<double, 9> MatrixOf(uint32_t id) {
  std::array<double, 9> m{};
  uint16_t black = 0, white = 0;
  EXPECT_TRUE(LookupCanonColorMatrix(id, m.data(), black, white)) << std::hex << id;
  return m;
}

TEST(CanonTables, EveryKeyWithItsWhiteAndADerivedMatrix) {
  InitCanonColorMatrices();
  const std::array<double, 9> identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (const auto& k : kColourKeys) {
    SCOPED_TRACE(testing::Message() << std::hex << k.id);
    std::array<double, 9> m{};
    uint16_t black = 99, white = 99;
    ASSERT_TRUE(LookupCanonColorMatrix(k.id, m.data(), black, white));
    EXPECT_EQ(black, 0);
    EXPECT_EQ(white, k.white);
    // A camera-to-output matrix maps grey to grey: each row sums to 1, except
    // for the two four-colour cameras, whose fourth column is not kept.
    const bool fourColour = k.id == 0x04040000 || k.id == 0x03010000;
    for (int r = 0; r < 3; ++r) {
      const double sum = m[3 * r] + m[3 * r + 1] + m[3 * r + 2];
      if (fourColour)
        EXPECT_GT(std::fabs(sum - 1.0), 0.1) << "row " << r;
      else
        EXPECT_NEAR(sum, 1.0, 4e-6) << "row " << r;  // three terms of six places
    }
    // Every key has coefficients, its own or its group's.
    EXPECT_NE(m, identity);
    if (k.id != 0x80000001) EXPECT_NE(m, MatrixOf(0x80000001));
  }
}

TEST(CanonTables, SharingGroupsHoldOneMatrixAndThe80Keys59) {
  InitCanonColorMatrices();
  const std::vector<std::vector<uint32_t>> groups = {
      {0x80000382, 0x80000401, 0x80000250, 0x80000289, 0x80000325, 0x80000326},
      {0x80000288, 0x80000327, 0x80000328, 0x80000404, 0x80000422, 0x80000432},
      {0x80000346, 0x80000393, 0x80000347, 0x80000301, 0x80000331},
      {0x80000269, 0x80000350, 0x80000408, 0x80000405, 0x80000417},
      {0x80000302, 0x80000406},
      {0x80000168, 0x80000170},
      {0x80000285, 0x80000349},
  };
  for (const auto& g : groups)
    for (uint32_t id : g) EXPECT_EQ(MatrixOf(id), MatrixOf(g[0])) << std::hex << id << " against " << g[0];
  std::set<std::array<double, 9>> distinct;
  for (const auto& k : kColourKeys) distinct.insert(MatrixOf(k.id));
  EXPECT_EQ(distinct.size(), 59u);
}

TEST(CanonTables, BorderLookups) {
  InitCanonBorders();
  struct {
    uint32_t id;
    bool found;
    sCanonBorders b;
  } cases[] = {
      {0x80000174, true, {74, 0, 12, 0}},   {0x80000281, true, {142, 62, 45, 0}},
      {0x03330000, true, {104, 8, 11, 65}}, {0x02460000, true, {192, 0, 12, 0}},
      {0x04180000, true, {264, 0, 36, 0}},  {0x80000001, false, {0, 0, 0, 0}},
      {0x12345678, false, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    sCanonBorders b{1, 1, 1, 1};
    EXPECT_EQ(LookupCanonBorders(c.id, b), c.found) << std::hex << c.id;
    EXPECT_EQ(b.left, c.b.left);
    EXPECT_EQ(b.right, c.b.right);
    EXPECT_EQ(b.top, c.b.top);
    EXPECT_EQ(b.bottom, c.b.bottom);
  }
}

}  // namespace
