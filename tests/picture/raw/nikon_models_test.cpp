// The Nikon camera table, its per-model constants and the white balance of
// the maker note's colour-balance block.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "picture/raw/raw_nikon_models.h"

namespace {

struct sModelCase {
  const char* name;
  bool known;
  int32_t black, white;
  sNikonBorders borders;
};

}  // namespace

TEST(NikonModels, LookupAndConstants) {
  const sModelCase cases[] = {
      {"NIKON D1 ", true, 0, 0, {}},
      {"NIKON D1", false, 0, 0, {}},  // the blank belongs to the name
      {"NIKON D100 ", true, 0, 0, {}},
      {"NIKON D100", false, 0, 0, {}},
      {"nikon d3", false, 0, 0, {}},  // case-sensitive
      {"NIKON D3", true, 0, 0, {2, 2, 0, 0}},
      {"NIKON D3X", true, 0, 0, {}},
      {"NIKON D1X", true, 0, 5120, {0, 4, 0, 0}},
      {"NIKON D200", true, 0, 4028, {2, 4, 0, 0}},
      {"NIKON D3300", true, 150, 0, {}},
      {"COOLPIX P340", true, 150, 0, {}},
      {"NIKON 1 V3", true, 200, 0, {}},
      {"COOLPIX P7700", true, 200, 0, {}},
      {"COOLPIX P7800", true, 200, 0, {}},
      {"COOLPIX B700", true, 207, 0, {}},
      {"NIKON D5", true, 350, 0, {}},
      {"NIKON D850", true, 450, 0, {}},
      {"NIKON D810", true, 596, 0, {}},
      {"NIKON Z 6", true, 768, 0, {}},
      {"NIKON Z 7", true, 768, 0, {}},
      {"NIKON Z 7_2", true, 1024, 0, {}},
      {"NIKON Z fc", true, 1024, 0, {}},
      {"NIKON E950", true, 0, 989, {}},
      {"E950", false, 0, 0, {}},
      {"COOLPIX A1000", true, 0, 3840, {}},
      {"COOLPIX A", true, 0, 0, {0, 44, 0, 0}},
      {"NIKON D5100", true, 0, 15846, {0, 44, 0, 0}},
      {"NIKON D600", true, 0, 15879, {0, 46, 0, 0}},
      {"NIKON D3200", true, 0, 4025, {0, 46, 0, 0}},
      {"NIKON D3000", true, 0, 0, {0, 4, 0, 3}},
      {"NIKON D3100", true, 0, 0, {6, 22, 0, 0}},
      {"NIKON Df", true, 0, 0, {2, 50, 0, 0}},
      {"NIKON D90", true, 0, 3840, {0, 42, 0, 0}},
      {"NIKON D300s", true, 0, 0, {0, 32, 0, 0}},
      {"NIKON D2Xs", true, 0, 0, {0, 8, 0, 0}},
      {"NIKON D70", true, 0, 0, {0, 1, 0, 0}},
      {"NIKON D7000 ", false, 0, 0, {}},
      {"", false, 0, 0, {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const int32_t id = FindNikonModel8(k.name);
    EXPECT_EQ(id != kNikonUnknown, k.known);
    EXPECT_EQ(GetNikonBlackLevel(id), k.black);
    EXPECT_EQ(GetNikonWhiteLevel(id), k.white);
    sNikonBorders b;
    const bool has = GetNikonBorders(b, id);
    EXPECT_EQ(has, k.borders.left + k.borders.right + k.borders.top + k.borders.bottom != 0);
    EXPECT_EQ(b.left, k.borders.left);
    EXPECT_EQ(b.right, k.borders.right);
    EXPECT_EQ(b.top, k.borders.top);
    EXPECT_EQ(b.bottom, k.borders.bottom);
  }
}

TEST(NikonModels, IdsFollowTheTableWithItsExceptions) {
  EXPECT_EQ(FindNikonModel8("NIKON 1 AW1"), 0);
  EXPECT_EQ(FindNikonModel8("NIKON D1 "), 11);
  EXPECT_EQ(FindNikonModel8("COOLPIX P7700"), 72);
  EXPECT_EQ(FindNikonModel8("COOLPIX P7800"), 72);  // shares P7700's id
  EXPECT_EQ(FindNikonModel8("COOLPIX P950"), 74);
  EXPECT_EQ(FindNikonModel8("NIKON Z 7_2"), 79);
  EXPECT_EQ(FindNikonModel8("NIKON Z fc"), 80);
  EXPECT_EQ(FindNikonModel8("NIKON Z 7"), 78);
  EXPECT_EQ(FindNikonModel8("NIKON Z 50"), 83);
  // No row has id 73; every other id 0..83 has one.
  std::vector<int> seen(kNikonModelCount, 0);
  for (const auto& m : kNikonModels) seen[m.id]++;
  for (int id = 0; id < kNikonModelCount; ++id) EXPECT_EQ(seen[id] > 0, id != 73) << id;
  // Wide names go through UTF-8.
  EXPECT_EQ(FindNikonModel(u"NIKON Z 9"), 81);
  EXPECT_EQ(FindNikonModel(u"NIKON Z 9\u00e9"), kNikonUnknown);
  EXPECT_EQ(FindNikonModel(nullptr), kNikonUnknown);
}

TEST(NikonModels, ModelChoices) {
  const int32_t e5700 = FindNikonModel8("E5700");
  uint8_t p[4];
  ASSERT_TRUE(GetNikonFixedPattern(p, e5700));
  EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{0, 3, 1, 2}));
  ASSERT_TRUE(GetNikonFixedPattern(p, FindNikonModel8("COOLPIX P6000")));
  EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{0, 1, 1, 2}));
  EXPECT_FALSE(GetNikonFixedPattern(p, FindNikonModel8("NIKON D850")));
  double w[12];
  ASSERT_TRUE(GetNikonColourWeights(w, e5700));
  EXPECT_EQ(w[7], -0.5);
  EXPECT_EQ(w[11], 0.5);
  EXPECT_FALSE(GetNikonColourWeights(w, FindNikonModel8("E5400")));
  EXPECT_TRUE(NikonTakesRaw16(FindNikonModel8("NIKON D5")));
  EXPECT_TRUE(NikonTakesRaw16(FindNikonModel8("NIKON D500")));
  EXPECT_TRUE(NikonTakesRaw16(FindNikonModel8("COOLPIX A1000")));
  EXPECT_FALSE(NikonTakesRaw16(FindNikonModel8("NIKON D5000")));
  EXPECT_TRUE(NikonInterleavedRows(FindNikonModel8("E5400")));
  EXPECT_TRUE(NikonInterleavedRows(e5700));
  EXPECT_TRUE(NikonIsD1(FindNikonModel8("NIKON D1 ")));
  EXPECT_TRUE(NikonIsD1X(FindNikonModel8("NIKON D1X")));
  EXPECT_FALSE(NikonIsD1X(kNikonUnknown));
}

TEST(NikonModels, MapIsBuiltOnceWhileManyThreadsLookUp) {
  for (int round = 0; round < 20; ++round) {
    DestroyNikonModelMap();
    std::atomic<int> go{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
      threads.emplace_back([&, t] {
        while (go.load() == 0) {
        }
        for (int i = 0; i < 50; ++i) {
          const auto& m = kNikonModels[(t * 13 + i) % kNikonModelCount];
          if (FindNikonModel8(m.name) != m.id) wrong++;
          if (FindNikonModel(u"NIKON D850") != 57) wrong++;
        }
      });
    go = 1;
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
  }
}

namespace {

std::vector<uint8_t> Block(const char* version, size_t size) {
  std::vector<uint8_t> b(size, 0);
  std::memcpy(b.data(), version, std::min<size_t>(std::strlen(version), 4));
  return b;
}

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v, bool be) {
  b[at] = static_cast<uint8_t>(be ? v >> 8 : v);
  b[at + 1] = static_cast<uint8_t>(be ? v : v >> 8);
}

// Test key tables (not the cameras'): any bytes exercise the descrambling.
uint8_t gSerialKeys[256], gShutterKeys[256];
const sNikonScrambleKeys* TestKeys() {
  static sNikonScrambleKeys keys;
  for (int i = 0; i < 256; ++i) {
    gSerialKeys[i] = static_cast<uint8_t>(i * 37 + 11);
    gShutterKeys[i] = static_cast<uint8_t>(i * 91 + 5);
  }
  keys.serialTable = gSerialKeys;
  keys.shutterTable = gShutterKeys;
  return &keys;
}

// The scrambler: the pad is symmetric, so it scrambles and descrambles.
void Scramble(std::vector<uint8_t>& b, size_t start, size_t length, int serial, uint32_t shutter) {
  const uint8_t x = static_cast<uint8_t>(shutter ^ shutter >> 8 ^ shutter >> 16 ^ shutter >> 24);
  const unsigned ci = gSerialKeys[serial & 0xFF];
  unsigned cj = gShutterKeys[x], ck = 0x60;
  for (size_t i = 0; i < length; ++i) {
    cj = (cj + ci * ck) & 0xFF;
    b[start + i] ^= static_cast<uint8_t>(cj);
    ck = (ck + 1) & 0xFF;
  }
}

}  // namespace

TEST(NikonBalance, PlainVersions) {
  struct sCase {
    const char* version;
    size_t size;
    int r, g, b, g2;  // byte positions; -1: fallback expected
  } cases[] = {
      {"0100", 80, 72, 76, 74, 78},  {"0100", 79, -1, 0, 0, 0},  {"0102", 34, 10, 12, 16, 14},
      {"0102", 33, -1, 0, 0, 0},     {"0103", 28, 20, 22, 24, 26}, {"0103", 27, -1, 0, 0, 0},
      {"0500", 12, 6, 4, 8, 10},     {"0500", 11, -1, 0, 0, 0},  {"0101", 200, -1, 0, 0, 0},
      {"0300", 200, -1, 0, 0, 0},    {"01", 2, -1, 0, 0, 0},
  };
  for (bool be : {false, true})
    for (const auto& k : cases) {
      SCOPED_TRACE(testing::Message() << k.version << " size " << k.size << " be " << be);
      auto b = Block(k.version, std::max<size_t>(k.size, 4));
      b.resize(k.size);
      for (size_t at = 4; at + 1 < b.size(); at += 2) Put16(b, at, static_cast<uint16_t>(300 + at), be);
      sNikonBalanceInput in;
      in.block = b.data();
      in.size = static_cast<int32_t>(b.size());
      in.fileBigEndian = be;
      double out[4];
      const bool ok = ReadNikonWhiteBalance(in, out);
      if (k.r < 0) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(out[0], 2.0);
        EXPECT_EQ(out[1], 1.0);
        EXPECT_EQ(out[2], 1.5);
        EXPECT_EQ(out[3], 1.0);
      } else {
        EXPECT_TRUE(ok);
        EXPECT_EQ(out[0], 300 + k.r);
        EXPECT_EQ(out[1], 300 + k.g);
        EXPECT_EQ(out[2], 300 + k.b);
        EXPECT_EQ(out[3], 300 + k.g2);
      }
    }
}

TEST(NikonBalance, ScrambledVersionsWithTestKeys) {
  struct sCase {
    int version;
    size_t size;
    size_t at;  // first value's byte in the block; 0: fallback
    bool odd;
  } cases[] = {
      {204, 300, 290, false},  // 16 bytes from 284, values from 290
      {205, 400, 18, false},   // from byte 4, at most 324 bytes
      {211, 400, 300, true},   // green, red, blue, second green
      {209, 302, 294, true},   // o = 11: bytes 10.. of the area
      {209, 301, 0, true},     // one byte short of them
      {215, 293, 0, true},     // o = 5 needs 4 + 8 bytes: 9 here
      {215, 296, 288, true},
      {204, 284, 0, false},    // needs more than 284 bytes
      {204, 297, 0, false},    // 13 bytes: values up to byte 297 missing
      {205, 25, 0, false},     // version 205 without its 8 value bytes
      {205, 26, 18, false},
      {217, 400, 0, false},
  };
  const sNikonScrambleKeys* keys = TestKeys();
  const int serial = 3001234;
  const uint32_t shutter = 0x01020304;
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.version << " size " << k.size);
    char v[5];
    std::snprintf(v, sizeof v, "%04d", k.version);
    auto b = Block(v, k.size);
    const size_t start = k.version == 205 ? 4 : 284;
    if (k.at != 0) {
      Put16(b, k.at, 1001, false);
      Put16(b, k.at + 2, 1002, false);
      Put16(b, k.at + 4, 1003, false);
      Put16(b, k.at + 6, 1004, false);
    }
    if (k.size > start) Scramble(b, start, std::min<size_t>(k.size - start, 324), serial, shutter);
    sNikonBalanceInput in;
    in.block = b.data();
    in.size = static_cast<int32_t>(b.size());
    in.serial = serial;
    in.shutterCount = shutter;
    in.keys = keys;
    double out[4];
    const bool ok = ReadNikonWhiteBalance(in, out);
    EXPECT_EQ(ok, k.at != 0);
    if (k.at == 0) continue;
    if (!k.odd) {
      EXPECT_EQ(out[0], 1001);
      EXPECT_EQ(out[1], 1002);
      EXPECT_EQ(out[3], 1003);
      EXPECT_EQ(out[2], 1004);
    } else {
      EXPECT_EQ(out[1], 1001);
      EXPECT_EQ(out[0], 1002);
      EXPECT_EQ(out[2], 1003);
      EXPECT_EQ(out[3], 1004);
    }
    // The decoder itself has no keys: the same block takes the fallback.
    in.keys = nullptr;
    EXPECT_FALSE(ReadNikonWhiteBalance(in, out));
    EXPECT_EQ(out[0], 2.0);
  }
}

TEST(NikonBalance, Fallbacks) {
  double out[4];
  sNikonBalanceInput in;
  in.modelId = FindNikonModel8("NIKON D1 ");
  EXPECT_TRUE(ReadNikonWhiteBalance(in, out));
  EXPECT_EQ(out[0], 1.0);
  EXPECT_EQ(out[1], 1.16);
  EXPECT_EQ(out[2], 1.04);
  in.nrwPresent = true;
  in.nrw[0] = 4;
  in.nrw[1] = 5;
  in.nrw[2] = 6;
  in.nrw[3] = 0;
  EXPECT_TRUE(ReadNikonWhiteBalance(in, out));
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[2], 6);
}

TEST(NikonBalance, NrwBlock) {
  struct sCase {
    const char* version;
    size_t size;
    size_t at;  // 0: not read
  } cases[] = {{"0100", 1572, 1556}, {"0100", 1571, 0}, {"0200", 72, 56}, {"0200", 71, 0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.version << " " << k.size);
    std::vector<uint8_t> b(k.size, 0);
    std::memcpy(b.data(), "NRW ", 4);
    std::memcpy(b.data() + 4, k.version, 4);
    if (k.at != 0) {
      const uint32_t w[4] = {0x40000001u, 20, 30, 0xFFFFFFF0u};
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) b[k.at + 4 * i + j] = static_cast<uint8_t>(w[i] >> (8 * j));
    }
    double out[4];
    const bool ok = ParseNikonNrwBalance(b.data(), static_cast<int32_t>(b.size()), out);
    EXPECT_EQ(ok, k.at != 0);
    if (ok) {
      EXPECT_EQ(out[0], 4.0);  // 4 * w0 in 32-bit arithmetic
      EXPECT_EQ(out[1], static_cast<double>(static_cast<uint32_t>(20u + 0xFFFFFFF0u)));
      EXPECT_EQ(out[2], 120.0);
      EXPECT_EQ(out[3], 0.0);
    }
  }
  const uint8_t other[12] = {'N', 'R', 'X', ' ', '0', '1', '0', '0', 0};
  double out[4];
  EXPECT_FALSE(ParseNikonNrwBalance(other, 12, out));
}

TEST(NikonBalance, SerialDigits) {
  struct sCase {
    std::vector<uint8_t> bytes;
    int32_t value;
  } cases[] = {
      {{'1', '2', '3'}, 123}, {{'1', '2', 0, '3'}, 12}, {{'A', '1'}, 51}, {{}, 0}, {{'0', '0', '7'}, 7},
  };
  for (const auto& k : cases)
    EXPECT_EQ(ParseSerialDigits(static_cast<int32_t>(k.bytes.size()), k.bytes.empty() ? nullptr : k.bytes.data()),
              k.value);
}
