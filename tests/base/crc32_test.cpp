#include "base/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

TEST(Crc32, KnownValues) {
  struct Case {
    std::string bytes;
    uint32_t crc;
  } cases[] = {
      {"123456789", 0xCBF43926u},  // the CRC-32/ISO-HDLC check value
      {"a", 0xE8B7BE43u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
      {std::string("IEND"), 0xAE426082u},  // the CRC every PNG ends with
      {std::string(4, '\0'), 0x2144DF1Cu},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Crc32(static_cast<int32_t>(c.bytes.size()), c.bytes.data()), c.crc) << c.bytes;
  }
}

TEST(Crc32, EmptyNullAndNegativeGiveZero) {
  const char b[] = "x";
  EXPECT_EQ(Crc32(0, b), 0u);
  EXPECT_EQ(Crc32(-5, b), 0u);
  EXPECT_EQ(Crc32(5, nullptr), 0u);
}

TEST(Crc32, AgreesWithZlibOnEveryByteValueAndLength) {
  std::vector<unsigned char> data(4099);
  uint32_t x = 12345;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<unsigned char>(x >> 16);
  }
  for (int n : {1, 2, 3, 255, 256, 257, 4096, 4099}) {
    const uLong expected = crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(n));
    EXPECT_EQ(Crc32(n, data.data()), static_cast<uint32_t>(expected)) << "length " << n;
  }
}

}  // namespace
