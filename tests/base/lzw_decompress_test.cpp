#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base/decompress.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<unsigned char>;
struct Code {
  uint32_t value;
  int width;
};

// Packs codes the way TIFF (most significant bit first) or GIF (least
// significant bit first) stores them.
Bytes Pack(const std::vector<Code>& codes, bool msbFirst) {
  Bytes out;
  uint64_t acc = 0;
  int bits = 0;
  for (const Code& c : codes) {
    if (msbFirst) {
      acc = (acc << c.width) | c.value;
      bits += c.width;
      while (bits >= 8) {
        out.push_back(static_cast<unsigned char>(acc >> (bits - 8)));
        bits -= 8;
      }
    } else {
      acc |= static_cast<uint64_t>(c.value) << bits;
      bits += c.width;
      while (bits >= 8) {
        out.push_back(static_cast<unsigned char>(acc));
        acc >>= 8;
        bits -= 8;
      }
    }
  }
  if (bits > 0) out.push_back(static_cast<unsigned char>(msbFirst ? acc << (8 - bits) : acc));
  return out;
}

_typebuf<char> Buf(const Bytes& b) {
  _typebuf<char> t(static_cast<int32_t>(b.size()));
  if (!b.empty()) std::memcpy(t.data, b.data(), b.size());
  return t;
}

Bytes Of(const _typebuf<char>& t) { return t.count > 0 ? Bytes(t.data, t.data + t.count) : Bytes(); }

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes ReadFixture(const std::string& name) {
  std::ifstream in(twtest::SourcePath("tests/base/data/lzw/" + name), std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

constexpr int32_t kNoCap = 1 << 24;

struct SequenceCase {
  const char* what;
  std::vector<Code> codes;  // for initial width 9
  bool result;
  bool endReached;
  std::string output;
};

// Code sequences with width 9 (clear 256, end 257, first string 258), in
// both bit orders and with and without early change (which only matters
// from 253 strings on).
TEST(LZWDecompress, CodeSequences) {
  const std::vector<SequenceCase> cases = {
      {"two literals", {{256, 9}, {65, 9}, {66, 9}, {257, 9}}, true, true, "AB"},
      {"code defined by its own use", {{256, 9}, {65, 9}, {258, 9}, {257, 9}}, true, true, "AAA"},
      {"strings of strings", {{256, 9}, {65, 9}, {66, 9}, {258, 9}, {260, 9}, {257, 9}}, true, true, "ABABABA"},
      // The first code of the data adds no string even without a clear code
      // before it: 258 is "AB", not a string starting with a zero byte.
      {"no leading clear", {{65, 9}, {66, 9}, {258, 9}, {257, 9}}, true, true, "ABAB"},
      {"clear in the middle", {{256, 9}, {65, 9}, {66, 9}, {256, 9}, {67, 9}, {258, 9}, {257, 9}},
       true, true, "ABCCC"},
      {"code beyond the next string", {{256, 9}, {65, 9}, {66, 9}, {260, 9}, {257, 9}}, false, false, "AB"},
      {"string code right after a clear", {{256, 9}, {65, 9}, {256, 9}, {258, 9}, {66, 9}}, true, false, "A"},
      {"string code as the first code", {{258, 9}, {65, 9}, {257, 9}}, true, false, ""},
      {"clear right after a clear", {{256, 9}, {256, 9}, {65, 9}, {257, 9}}, true, false, ""},
      {"no end code", {{256, 9}, {72, 9}, {105, 9}}, true, false, "Hi"},
      {"end right after clear", {{256, 9}, {257, 9}, {65, 9}}, true, true, ""},
  };
  for (bool msb : {true, false}) {
    for (bool early : {true, false}) {
      for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (msb ? " msb" : " lsb") + (early ? " early" : ""));
        cLZWDecompress lzw(9, msb, early);
        _typebuf<char> out;
        EXPECT_EQ(lzw.Decompress(Buf(Pack(c.codes, msb)), out, kNoCap), c.result);
        EXPECT_EQ(lzw.EndReached(), c.endReached);
        EXPECT_EQ(Text(Of(out)), c.output);
      }
    }
  }
}

// Width of the code read after `strings` strings were added since the last
// clear: wide enough for the next code to be defined (plus one with early
// change), at least the initial 9 and at most 12 bits.
int ModelWidth(int strings, bool early) {
  const int next = 258 + (strings < 4094 ? strings : 4094) + (early ? 1 : 0);
  int w = 9;
  while (w < 12 && next >= (1 << w)) ++w;
  return w;
}

TEST(LZWDecompress, WidthGrowsAtTheRightCodeUpToTwelveBits) {
  EXPECT_EQ(ModelWidth(252, true), 9);
  EXPECT_EQ(ModelWidth(253, true), 10);
  EXPECT_EQ(ModelWidth(253, false), 9);
  EXPECT_EQ(ModelWidth(254, false), 10);
  // 5,000 literals: every code after the first adds a string, so the width
  // passes 10, 11 and 12 and then stays at 12 with the table full.
  for (bool msb : {true, false}) {
    for (bool early : {true, false}) {
      SCOPED_TRACE(std::string(msb ? "msb" : "lsb") + (early ? " early" : ""));
      std::vector<Code> codes = {{256, 9}};
      Bytes expected;
      for (int i = 0; i < 5000; ++i) {
        const uint32_t v = static_cast<uint32_t>((i * 7) % 256);
        codes.push_back({v, ModelWidth(i == 0 ? 0 : i - 1, early)});
        expected.push_back(static_cast<unsigned char>(v));
      }
      // A back reference to the last 12-bit code there is, then the end code.
      // Code 4095 is the string of literals 3837 and 3838.
      codes.push_back({4095, ModelWidth(4999, early)});
      expected.push_back(static_cast<unsigned char>((3837 * 7) % 256));
      expected.push_back(static_cast<unsigned char>((3838 * 7) % 256));
      codes.push_back({257, 12});
      cLZWDecompress lzw(9, msb, early);
      _typebuf<char> out;
      EXPECT_TRUE(lzw.Decompress(Buf(Pack(codes, msb)), out, kNoCap));
      EXPECT_TRUE(lzw.EndReached());
      EXPECT_EQ(Of(out), expected);

      // The other convention reads the same data out of step.
      cLZWDecompress wrong(9, msb, !early);
      wrong.Decompress(Buf(Pack(codes, msb)), out, kNoCap);
      EXPECT_NE(Of(out), expected);
    }
  }
}

struct FixtureCase {
  const char* name;
  int32_t initialWidth;
  bool msbFirst;
  bool earlyChange;
};

std::string FixtureWidthNote(const FixtureCase& f) { return std::string(f.name) + " width " + std::to_string(f.initialWidth); }

// Strips written by libtiff's tiffcp and image data written by ImageMagick,
// made by tests/base/data/lzw/make_fixtures.py, decode to the known pixels.
TEST(LZWDecompress, TiffStripsAndGifImageData) {
  const FixtureCase cases[] = {
      {"tiff_gradient_64x64", 9, true, true},
      {"tiff_noise_160x160", 9, true, true},
      {"gif_4colours_40x30", 3, false, false},
      {"gif_200colours_128x128", 9, false, false},
  };
  for (const auto& f : cases) {
    SCOPED_TRACE(FixtureWidthNote(f));
    const std::string base = f.name;
    if (base.rfind("gif", 0) == 0) {
      const Bytes txt = ReadFixture(base + ".txt");
      EXPECT_EQ(std::stoi(Text(txt)) + 1, f.initialWidth);  // GIF passes minimum code size + 1
    }
    const Bytes packed = ReadFixture(base + ".lzw");
    const Bytes pixels = ReadFixture(base + ".raw");
    ASSERT_FALSE(packed.empty());
    cLZWDecompress lzw(f.initialWidth, f.msbFirst, f.earlyChange);
    _typebuf<char> out;
    EXPECT_TRUE(lzw.Decompress(Buf(packed), out, static_cast<int32_t>(pixels.size())));
    EXPECT_TRUE(lzw.EndReached());
    const Bytes got = Of(out);
    ASSERT_EQ(got.size(), pixels.size());
    for (size_t i = 0; i < got.size(); ++i) {
      if (got[i] != pixels[i]) {
        ADD_FAILURE() << "first differing pixel " << i << ": " << int(got[i]) << " expected " << int(pixels[i]);
        break;
      }
    }

    // Cut in half: what was decoded is a true prefix, and the end is missing.
    cLZWDecompress cut(f.initialWidth, f.msbFirst, f.earlyChange);
    EXPECT_TRUE(cut.Decompress(Buf(Bytes(packed.begin(), packed.begin() + packed.size() / 2)), out, kNoCap));
    EXPECT_FALSE(cut.EndReached());
    const Bytes half = Of(out);
    EXPECT_GT(half.size(), 0u);
    EXPECT_TRUE(half.size() < pixels.size() && std::equal(half.begin(), half.end(), pixels.begin()));
  }
}

TEST(LZWDecompress, CapStopsWithFailureAndTheFirstBytes) {
  // Each code defines a string one byte longer than the last: output grows
  // quadratically with the input.
  std::vector<Code> codes = {{256, 9}, {65, 9}};
  for (uint32_t c = 258; c < 500; ++c) codes.push_back({c, 9});
  codes.push_back({257, 9});
  const _typebuf<char> in = Buf(Pack(codes, true));
  cLZWDecompress lzw(9, true, false);
  _typebuf<char> out;
  ASSERT_TRUE(lzw.Decompress(in, out, kNoCap));
  const int32_t full = out.count;
  EXPECT_EQ(full, 1 + (2 + 243) * 242 / 2);
  for (int32_t cap : {full, full - 1, 1000, 0}) {
    SCOPED_TRACE(cap);
    EXPECT_EQ(lzw.Decompress(in, out, cap), cap == full);
    EXPECT_EQ(out.count, cap);
    EXPECT_EQ(Of(out), Bytes(cap, 'A'));
  }
}

TEST(LZWDecompress, EmptyInputAndKindAndBadWidth) {
  cLZWDecompress lzw(9, true, true);
  EXPECT_EQ(lzw.GetKind(), 1);
  _typebuf<char> empty, out;
  EXPECT_FALSE(lzw.Decompress(empty, out, kNoCap));
  // Widths outside 1..9 count as 9: 256 is then the clear code.
  for (int32_t width : {0, 10, -3}) {
    cLZWDecompress w(width, true, false);
    EXPECT_TRUE(w.Decompress(Buf(Pack({{256, 9}, {65, 9}, {258, 9}, {257, 9}}, true)), out, kNoCap));
    EXPECT_EQ(Text(Of(out)), "AAA");
  }
  // The smallest GIF width: 2-bit literals, clear 4, end 5.
  cLZWDecompress small(3, false, false);
  EXPECT_TRUE(small.Decompress(Buf(Pack({{4, 3}, {1, 3}, {2, 3}, {6, 3}, {5, 3}}, false)), out, kNoCap));
  EXPECT_EQ(Of(out), (Bytes{1, 2, 1, 2}));
}

TEST(LZWDecompress, OutputMayBeTheInputAndObjectsMayBeReused) {
  cLZWDecompress lzw(9, false, false);
  _typebuf<char> buf = Buf(Pack({{256, 9}, {65, 9}, {66, 9}, {258, 9}, {257, 9}}, false));
  EXPECT_TRUE(lzw.Decompress(buf, buf, kNoCap));
  EXPECT_EQ(Text(Of(buf)), "ABAB");
  // A second buffer through the same object starts at its own first bit
  // with an empty table.
  _typebuf<char> out;
  EXPECT_TRUE(lzw.Decompress(Buf(Pack({{256, 9}, {67, 9}, {258, 9}, {257, 9}}, false)), out, kNoCap));
  EXPECT_EQ(Text(Of(out)), "CCC");
}

}  // namespace
