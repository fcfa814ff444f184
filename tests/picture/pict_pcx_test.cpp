// The PCX decoder: header rules, palettes (trailing, header, small files),
// run-length coding within and across scan lines and planes, three planes,
// damaged data, streaming, and factory recognition.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_pcx.h"

namespace {

struct sPcx {
  uint16_t xMin = 0, yMin = 0, xMax = 1, yMax = 1;
  uint8_t planes = 1;
  uint16_t bytesPerLine = 2;
};

// A header with a header palette whose entry i is (i, 16 + i, 32 + i).
std::vector<uint8_t> File(const sPcx& s, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> h(128, 0);
  h[0] = 10;
  h[1] = 5;
  h[2] = 1;
  h[3] = 8;
  auto put16 = [&](int at, uint16_t v) {
    h[at] = static_cast<uint8_t>(v);
    h[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  put16(4, s.xMin);
  put16(6, s.yMin);
  put16(8, s.xMax);
  put16(10, s.yMax);
  put16(12, 72);
  put16(14, 72);
  for (int i = 0; i < 16; ++i) {
    h[16 + 3 * i] = static_cast<uint8_t>(i);
    h[17 + 3 * i] = static_cast<uint8_t>(16 + i);
    h[18 + 3 * i] = static_cast<uint8_t>(32 + i);
  }
  h[65] = s.planes;
  put16(66, s.bytesPerLine);
  h[68] = 1;
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

// Appends a trailing 256-colour palette whose entry i is (255 - i, i, 7).
std::vector<uint8_t> WithTrailingPalette(std::vector<uint8_t> f) {
  f.push_back(12);
  for (int i = 0; i < 256; ++i) {
    f.push_back(static_cast<uint8_t>(255 - i));
    f.push_back(static_cast<uint8_t>(i));
    f.push_back(7);
  }
  return f;
}

uint32_t HeaderColour(int i) { return 0xFF000000u | i << 16 | (16 + i) << 8 | (32 + i); }
uint32_t TrailingColour(int i) { return 0xFF000000u | (255 - i) << 16 | i << 8 | 7; }

bool Decode(cPictPCX& p, const std::vector<uint8_t>& file) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  return p.Load(&io);
}

std::vector<uint32_t> Buffer(const cPictPCX& p) {
  return std::vector<uint32_t>(p.Pixels32().data, p.Pixels32().data + p.Pixels32().count);
}

TEST(PictPcx, SmallOnePlaneFileUsesTheHeaderPalette) {
  // 2 x 2, far smaller than a trailing palette: the header's colours.
  cPictPCX p;
  ASSERT_TRUE(Decode(p, File({0, 0, 1, 1, 1, 2}, {1, 2, 3, 15})));
  EXPECT_EQ(p.GetWidth(), 2);
  EXPECT_EQ(p.GetHeight(), 2);
  EXPECT_EQ(Buffer(p), (std::vector<uint32_t>{HeaderColour(3), HeaderColour(15), HeaderColour(1), HeaderColour(2)}));
  // Index 16 is beyond the header palette.
  EXPECT_FALSE(Decode(p, File({0, 0, 1, 1, 1, 2}, {1, 2, 3, 16})));
}

TEST(PictPcx, TrailingPaletteWhenMarked) {
  cPictPCX p;
  ASSERT_TRUE(Decode(p, WithTrailingPalette(File({0, 0, 1, 1, 1, 2}, {0xC1, 200, 17, 0, 0xC1, 255}))));
  EXPECT_EQ(Buffer(p),
            (std::vector<uint32_t>{TrailingColour(0), TrailingColour(255), TrailingColour(200), TrailingColour(17)}));
  // Without the 12 the header palette is used, and 200 is beyond it.
  auto f = WithTrailingPalette(File({0, 0, 1, 1, 1, 2}, {0xC1, 200, 17, 0, 0xC1, 255}));
  f[f.size() - 769] = 11;
  EXPECT_FALSE(Decode(p, f));
  // An all-zero header palette with no trailing one fails.
  auto z = File({0, 0, 1, 1, 1, 2}, {0, 0, 0, 0});
  for (int i = 16; i < 64; ++i) z[i] = 0;
  EXPECT_FALSE(Decode(p, z));
}

TEST(PictPcx, RunsStopAtScanLinesButCrossPlanes) {
  cPictPCX p;
  // 0xC0 writes its value once; 0xCA (10) near the end of the line fills
  // only what is left of it, and the next line starts fresh.
  ASSERT_TRUE(Decode(p, File({0, 0, 3, 1, 1, 4}, {0xC0, 5, 6, 0xCA, 7, 1, 2, 3, 4})));
  EXPECT_EQ(Buffer(p), (std::vector<uint32_t>{HeaderColour(1), HeaderColour(2), HeaderColour(3), HeaderColour(4),
                                              HeaderColour(5), HeaderColour(6), HeaderColour(7), HeaderColour(7)}));
  // Three planes, width 2 with a filler byte per plane line: one run of 4
  // covers red and the first half of green.
  ASSERT_TRUE(Decode(p, File({0, 0, 1, 1, 3, 3}, {0xC4, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0xC9, 0x01})));
  EXPECT_EQ(Buffer(p), (std::vector<uint32_t>{0xFF010101u, 0xFF010101u, 0xFF101040u, 0xFF102050u}));
}

TEST(PictPcx, FillerBytesAreDiscarded) {
  cPictPCX p;
  ASSERT_TRUE(Decode(p, File({0, 0, 1, 1, 1, 3}, {1, 2, 9, 3, 4, 9})));
  EXPECT_EQ(Buffer(p), (std::vector<uint32_t>{HeaderColour(3), HeaderColour(4), HeaderColour(1), HeaderColour(2)}));
}

TEST(PictPcx, RefusedHeadersAndData) {
  struct sCase {
    const char* name;
    std::vector<uint8_t> file;
  };
  auto patched = [](int at, uint8_t v) {
    auto f = File({}, {1, 2, 3, 4});
    f[at] = v;
    return f;
  };
  const sCase cases[] = {
      {"Xmin 1", File({1, 0, 2, 1, 1, 2}, {1, 2, 3, 4})},
      {"Ymin 1", File({0, 1, 1, 1, 1, 2}, {1, 2})},
      {"Xmax 0", File({0, 0, 0, 1, 1, 2}, {1, 2})},
      {"Ymax 0", File({0, 0, 1, 0, 1, 2}, {1, 2, 3, 4})},
      {"line shorter than width", File({0, 0, 99, 49, 1, 99}, {})},
      {"two planes", File({0, 0, 1, 1, 2, 2}, {})},
      {"manufacturer", patched(0, 11)},
      {"version 4", patched(1, 4)},
      {"encoding 0", patched(2, 0)},
      {"4 bits", patched(3, 4)},
      {"reserved", patched(64, 1)},
      {"palette info 0", patched(68, 0)},
      {"no resolution", patched(12, 0)},
      {"short header", std::vector<uint8_t>(100, 0)},
      {"short data", File({0, 0, 1, 1, 1, 2}, {1, 2, 3})},
      {"run without value", File({0, 0, 1, 1, 1, 2}, {1, 2, 0xC2})},
  };
  // The unpatched file decodes: each case fails for its own fault.
  cPictPCX good;
  ASSERT_TRUE(Decode(good, File({}, {1, 2, 3, 4})));
  for (const sCase& c : cases) {
    cPictPCX p;
    EXPECT_FALSE(Decode(p, c.file)) << c.name;
  }
}

TEST(PictPcx, HundredByFifty) {
  std::vector<uint8_t> data;
  for (int y = 0; y < 50; ++y) {
    data.push_back(0xC0 | 50);
    data.push_back(static_cast<uint8_t>(y % 16));
    data.push_back(0xC0 | 50);
    data.push_back(static_cast<uint8_t>((y + 1) % 16));
  }
  cPictPCX p;
  ASSERT_TRUE(Decode(p, File({0, 0, 99, 49, 1, 100}, data)));
  EXPECT_EQ(p.GetWidth(), 100);
  EXPECT_EQ(p.GetHeight(), 50);
  EXPECT_EQ(p.Pixels32().data[49 * 100 + 0], HeaderColour(0));  // first line on top
  EXPECT_EQ(p.Pixels32().data[49 * 100 + 99], HeaderColour(1));
  EXPECT_EQ(p.Pixels32().data[0 * 100 + 60], HeaderColour(50 % 16));
}

TEST(PictPcx, StreamingMatchesBuffer) {
  for (const auto& file : {File({0, 0, 1, 1, 3, 2}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}),
                           File({0, 0, 1, 1, 1, 2}, {1, 2, 3, 4})}) {
    cPictPCX buffered;
    ASSERT_TRUE(Decode(buffered, file));
    std::vector<uint32_t> pixels(4 * 4, 0);
    sPictCanvas canvas{pixels.data(), 4, 4, 0, 0, 0, 1.0, 0};
    cPictPCX streamed;
    ASSERT_TRUE(streamed.AttachCanvas(&canvas));
    ASSERT_TRUE(Decode(streamed, file));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x)
        EXPECT_EQ(pixels[static_cast<size_t>(y + 1) * 4 + x + 1], buffered.Pixels32().data[y * 2 + x]);
  }
}

TEST(PictPcx, FactoryRecognisesIt) {
  const auto file = File({0, 0, 1, 1, 1, 2}, {1, 2, 3, 4});
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  sPictInfo info;
  std::unique_ptr<cPictBase> probed(CreatePicture(&io, &info));
  ASSERT_NE(probed, nullptr);
  EXPECT_EQ(probed->GetFormat(), kPictFormatPCX);
  EXPECT_EQ(info.width, 2);
  std::unique_ptr<cPictBase> loaded(CreatePicture(&io, nullptr));
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(loaded->HasPixels());
}

}  // namespace
