// The TGA decoder: the six image types, colour maps of every entry size,
// row order, run-length packets across rows, the all-zero alpha rule,
// refused headers and damaged data, streaming, and factory recognition.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_tga.h"

namespace {

struct sTga {
  uint8_t idLength = 0, mapType = 0, type = 2;
  uint16_t mapLength = 0;
  uint8_t entrySize = 0;
  uint16_t x0 = 0, y0 = 0, width = 1, height = 1;
  uint8_t depth = 24, descriptor = 0;
};

std::vector<uint8_t> File(const sTga& t, const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> v = {t.idLength,
                            t.mapType,
                            t.type,
                            0,
                            0,
                            static_cast<uint8_t>(t.mapLength),
                            static_cast<uint8_t>(t.mapLength >> 8),
                            t.entrySize,
                            static_cast<uint8_t>(t.x0),
                            static_cast<uint8_t>(t.x0 >> 8),
                            static_cast<uint8_t>(t.y0),
                            static_cast<uint8_t>(t.y0 >> 8),
                            static_cast<uint8_t>(t.width),
                            static_cast<uint8_t>(t.width >> 8),
                            static_cast<uint8_t>(t.height),
                            static_cast<uint8_t>(t.height >> 8),
                            t.depth,
                            t.descriptor};
  v.insert(v.end(), rest.begin(), rest.end());
  return v;
}

bool Decode(cPictTGA& p, const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  return p.Load(&io);
}

bool Probe(const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  return cPictTGA::Detect(&io, nullptr);
}

// Buffer (bottom-up) contents as a vector.
std::vector<uint32_t> Buffer(const cPictTGA& p) {
  return std::vector<uint32_t>(p.Pixels32().data, p.Pixels32().data + p.Pixels32().count);
}

TEST(PictTga, EveryTypeDecodes) {
  struct sCase {
    const char* name;
    sTga header;
    std::vector<uint8_t> rest;
    std::vector<uint32_t> expected;  // bottom-up buffer
  };
  const sCase cases[] = {
      {"grey", {0, 0, 3, 0, 0, 0, 0, 2, 1, 8, 0}, {0x10, 0xF0}, {0xFF101010u, 0xFFF0F0F0u}},
      {"grey rle", {0, 0, 11, 0, 0, 0, 0, 3, 1, 8, 0}, {0x82, 0x44}, {0xFF444444u, 0xFF444444u, 0xFF444444u}},
      {"bgr 24", {0, 0, 2, 0, 0, 0, 0, 2, 1, 24, 0}, {1, 2, 3, 4, 5, 6}, {0xFF030201u, 0xFF060504u}},
      {"bgra 32", {0, 0, 2, 0, 0, 0, 0, 2, 1, 32, 0}, {1, 2, 3, 0, 4, 5, 6, 0x80}, {0x00030201u, 0x80060504u}},
      {"16-bit", {0, 0, 2, 0, 0, 0, 0, 2, 1, 16, 0}, {0xFF, 0x7F, 0x1F, 0x00}, {0xFFFEFEFEu, 0xFF0000FEu}},
      {"true-colour rle raw then repeat",
       {0, 0, 10, 0, 0, 0, 0, 3, 1, 24, 0},
       {0x00, 9, 8, 7, 0x81, 1, 2, 3},
       {0xFF070809u, 0xFF030201u, 0xFF030201u}},
      {"mapped 24",
       {0, 1, 1, 2, 24, 0, 0, 3, 1, 8, 0},
       {1, 2, 3, 4, 5, 6, 1, 0, 1},
       {0xFF060504u, 0xFF030201u, 0xFF060504u}},
      {"mapped 16 rle", {0, 1, 9, 1, 16, 0, 0, 2, 1, 8, 0}, {0x00, 0x7C, 0x81, 0}, {0xFFFE0000u, 0xFFFE0000u}},
      {"mapped 32 zero alpha is opaque", {0, 1, 1, 1, 32, 0, 0, 1, 1, 8, 0}, {1, 2, 3, 0, 0}, {0xFF030201u}},
      {"mapped 32 alpha kept", {0, 1, 1, 2, 32, 0, 0, 2, 1, 8, 0}, {1, 2, 3, 0, 1, 1, 1, 9, 0, 1}, {0x00030201u, 0x09010101u}},
      {"id field skipped", {3, 0, 3, 0, 0, 0, 0, 1, 1, 8, 0}, {'a', 'b', 'c', 0x55}, {0xFF555555u}},
  };
  for (const sCase& c : cases) {
    cPictTGA p;
    ASSERT_TRUE(Decode(p, File(c.header, c.rest))) << c.name;
    EXPECT_EQ(p.GetFormat(), kPictFormatTGA);
    EXPECT_EQ(Buffer(p), c.expected) << c.name;
  }
}

TEST(PictTga, RowOrderFollowsDescriptorBit5) {
  const std::vector<uint8_t> rows = {0x11, 0x22};
  cPictTGA p;
  ASSERT_TRUE(Decode(p, File({0, 0, 3, 0, 0, 0, 0, 1, 2, 8, 0}, rows)));
  EXPECT_EQ(Buffer(p), (std::vector<uint32_t>{0xFF111111u, 0xFF222222u}));  // first file row at the bottom
  ASSERT_TRUE(Decode(p, File({0, 0, 3, 0, 0, 0, 0, 1, 2, 8, 0x20}, rows)));
  EXPECT_EQ(Buffer(p), (std::vector<uint32_t>{0xFF222222u, 0xFF111111u}));  // first file row at the top
}

TEST(PictTga, PacketsRunAcrossRows) {
  // 2 x 2: a repeat packet of 3 covers row 0 and the first pixel of row 1.
  cPictTGA p;
  ASSERT_TRUE(Decode(p, File({0, 0, 11, 0, 0, 0, 0, 2, 2, 8, 0}, {0x82, 0x10, 0x00, 0x20})));
  EXPECT_EQ(Buffer(p), (std::vector<uint32_t>{0xFF101010u, 0xFF101010u, 0xFF101010u, 0xFF202020u}));
}

TEST(PictTga, AllZeroAlphaMeansOpaqueWhateverThePacket) {
  const sTga h = {0, 0, 10, 0, 0, 0, 0, 3, 1, 32, 0};
  cPictTGA p;
  ASSERT_TRUE(Decode(p, File(h, {0x02, 1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0})));
  EXPECT_EQ(Buffer(p), (std::vector<uint32_t>{0xFF010101u, 0xFF020202u, 0xFF030303u}));
  // One alpha of 1 in a raw packet, then in a repeat packet: kept as stored.
  ASSERT_TRUE(Decode(p, File(h, {0x02, 1, 1, 1, 0, 2, 2, 2, 1, 3, 3, 3, 0})));
  EXPECT_EQ(Buffer(p), (std::vector<uint32_t>{0x00010101u, 0x01020202u, 0x00030303u}));
  ASSERT_TRUE(Decode(p, File(h, {0x00, 1, 1, 1, 0, 0x81, 2, 2, 2, 1})));
  EXPECT_EQ(Buffer(p), (std::vector<uint32_t>{0x00010101u, 0x01020202u, 0x01020202u}));
}

TEST(PictTga, RefusedHeadersAndData) {
  struct sCase {
    const char* name;
    sTga header;
    std::vector<uint8_t> rest;
    bool probe;  // what the probe answers
  };
  const sCase cases[] = {
      {"true-colour depth 8", {0, 0, 2, 0, 0, 0, 0, 1, 1, 8, 0}, {0}, true},
      {"grey depth 16", {0, 0, 3, 0, 0, 0, 0, 1, 1, 16, 0}, {0, 0}, true},
      {"x origin", {0, 0, 3, 0, 0, 1, 0, 1, 1, 8, 0}, {0}, false},
      {"y origin", {0, 0, 3, 0, 0, 0, 1, 1, 1, 8, 0}, {0}, false},
      {"interleaved", {0, 0, 3, 0, 0, 0, 0, 1, 1, 8, 0x40}, {0}, true},
      {"zero width", {0, 0, 3, 0, 0, 0, 0, 0, 1, 8, 0}, {}, false},
      {"type 4", {0, 0, 4, 0, 0, 0, 0, 1, 1, 8, 0}, {0}, false},
      {"depth 15", {0, 0, 2, 0, 0, 0, 0, 1, 1, 15, 0}, {0, 0}, false},
      {"map on true-colour", {0, 1, 2, 1, 24, 0, 0, 1, 1, 24, 0}, {0, 0, 0, 0, 0, 0}, false},
      {"mapped without map", {0, 0, 1, 0, 0, 0, 0, 1, 1, 8, 0}, {0}, false},
      {"15-bit map", {0, 1, 1, 1, 15, 0, 0, 1, 1, 8, 0}, {0, 0, 0}, true},
      {"index beyond map", {0, 1, 1, 2, 24, 0, 0, 1, 1, 8, 0}, {1, 2, 3, 4, 5, 6, 2}, true},
      {"short map", {0, 1, 1, 4, 24, 0, 0, 1, 1, 8, 0}, {1, 2, 3}, true},
      {"short row", {0, 0, 2, 0, 0, 0, 0, 2, 1, 24, 0}, {1, 2, 3, 4, 5}, true},
      {"short id", {9, 0, 3, 0, 0, 0, 0, 1, 1, 8, 0}, {1, 2}, true},
      {"rle cut in packet", {0, 0, 10, 0, 0, 0, 0, 4, 1, 24, 0}, {0x03, 1, 2, 3}, true},
      {"rle missing header", {0, 0, 11, 0, 0, 0, 0, 4, 1, 8, 0}, {0x81, 7}, true},
  };
  for (const sCase& c : cases) {
    const auto file = File(c.header, c.rest);
    EXPECT_EQ(Probe(file), c.probe) << c.name;
    cPictTGA p;
    EXPECT_FALSE(Decode(p, file)) << c.name;
  }
}

TEST(PictTga, StreamingMatchesBufferAndAppliesOpaqueRule) {
  const auto file = File({0, 0, 10, 0, 0, 0, 0, 2, 2, 32, 0x20}, {0x83, 9, 8, 7, 0});
  cPictTGA buffered;
  ASSERT_TRUE(Decode(buffered, file));
  std::vector<uint32_t> pixels(4 * 4, 0);
  sPictCanvas canvas{pixels.data(), 4, 4, 0, 0, 0, 1.0, 0};
  cPictTGA streamed;
  ASSERT_TRUE(streamed.AttachCanvas(&canvas));
  ASSERT_TRUE(Decode(streamed, file));
  EXPECT_EQ(streamed.GetAttachedCanvas(), nullptr);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      EXPECT_EQ(pixels[static_cast<size_t>(y + 1) * 4 + x + 1], buffered.Pixels32().data[y * 2 + x]);
      EXPECT_EQ(pixels[static_cast<size_t>(y + 1) * 4 + x + 1], 0xFF070809u);
    }
}

TEST(PictTga, FactoryRecognisesIt) {
  const auto file = File({0, 0, 2, 0, 0, 0, 0, 3, 2, 24, 0}, std::vector<uint8_t>(18, 7));
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  sPictInfo info;
  std::unique_ptr<cPictBase> probed(CreatePicture(&io, &info));
  ASSERT_NE(probed, nullptr);
  EXPECT_EQ(probed->GetFormat(), kPictFormatTGA);
  EXPECT_EQ(info.width, 3);
  EXPECT_EQ(info.height, 2);
  std::unique_ptr<cPictBase> loaded(CreatePicture(&io, nullptr));
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(loaded->HasPixels());
}

}  // namespace
