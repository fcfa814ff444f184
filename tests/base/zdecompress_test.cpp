#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/decompress.h"
#include "tests/support/zlib_deflate.h"

namespace {

using Bytes = std::vector<unsigned char>;
using twtest::Deflate;

// Pseudo-random text with repeats, so that deflate has matches to find and
// the stream spans several blocks.
Bytes Sample(size_t n, uint32_t seed = 1) {
  static const char* words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "zeta, "};
  Bytes b;
  uint32_t x = seed;
  while (b.size() < n) {
    x = x * 1664525u + 1013904223u;
    if ((x >> 28) == 0) {
      b.push_back(static_cast<unsigned char>(x >> 8));  // some noise
    } else {
      const char* w = words[(x >> 16) % 6];
      b.insert(b.end(), w, w + std::strlen(w));
    }
  }
  b.resize(n);
  return b;
}

_typebuf<char> Buf(const Bytes& b) {
  _typebuf<char> t(static_cast<int32_t>(b.size()));
  if (!b.empty()) std::memcpy(t.data, b.data(), b.size());
  return t;
}

Bytes Of(const _typebuf<char>& t) {
  return t.count > 0 ? Bytes(t.data, t.data + t.count) : Bytes();
}

constexpr int32_t kNoCap = 64 << 20;

TEST(ZDecompress, WholeStreamsZlibAndRaw) {
  struct Case {
    size_t size;
    int windowBits;
  } cases[] = {{0, 15}, {1, 15}, {65535, 15}, {65536, 15}, {65537, 15}, {300000, 15},
               {1, -15}, {65536, -15}, {300000, -15}};
  for (const auto& c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size) + " window bits " + std::to_string(c.windowBits));
    const Bytes plain = Sample(c.size);
    const _typebuf<char> packed = Buf(Deflate(plain, c.windowBits));
    cZDecompress z(c.windowBits);
    _typebuf<char> out;
    EXPECT_TRUE(z.Decompress(packed, out, kNoCap));
    EXPECT_TRUE(z.EndReached());
    EXPECT_EQ(Of(out), plain);

    cZDecompress member(c.windowBits);
    _typebuf<char> out2;
    EXPECT_TRUE(member.InflateWhole(packed.data, packed.count, out2, kNoCap));
    EXPECT_TRUE(member.EndReached());
    EXPECT_EQ(Of(out2), plain);
  }
}

TEST(ZDecompress, KindAndEmptyInput) {
  cZDecompress z;
  EXPECT_EQ(z.GetKind(), 2);
  _typebuf<char> empty, out(5);
  EXPECT_TRUE(z.Decompress(empty, out, kNoCap));  // no step, nothing decoded
  EXPECT_EQ(out.count, 0);
  EXPECT_FALSE(z.EndReached());
}

// Damaged inputs keep Decompress true with what came before the damage;
// EndReached and InflateWhole tell the damage apart.
TEST(ZDecompress, TruncatedAndCorruptedStreams) {
  const Bytes plain = Sample(200000, 7);
  const Bytes packed = Deflate(plain, 15);
  struct Case {
    const char* what;
    Bytes data;
    bool wholeResult;  // InflateWhole: true when the input just ran out
  };
  std::vector<Case> cases;
  cases.push_back({"cut in half", Bytes(packed.begin(), packed.begin() + packed.size() / 2), true});
  cases.push_back({"without the Adler-32", Bytes(packed.begin(), packed.end() - 4), true});
  Bytes flipped = packed;
  flipped[packed.size() / 3] ^= 0x10;
  cases.push_back({"bit flipped in the middle", flipped, false});
  Bytes badSum = packed;
  badSum.back() ^= 1;
  cases.push_back({"wrong Adler-32", badSum, false});
  Bytes badHeader = packed;
  badHeader[1] ^= 1;  // header check bits no longer divide by 31
  cases.push_back({"bad header", badHeader, false});
  Bytes badType = {0x78, 0x9C, 0x07};  // final block of the reserved type 3
  cases.push_back({"reserved block type", badType, false});

  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    cZDecompress z;
    _typebuf<char> out;
    EXPECT_TRUE(z.Decompress(Buf(c.data), out, kNoCap));
    EXPECT_FALSE(z.EndReached());
    const Bytes got = Of(out);
    // A cut stream gives a true prefix; a flipped bit may change the bytes
    // after it, and their number.
    if (c.wholeResult) {
      ASSERT_GT(got.size(), 0u);
      ASSERT_LE(got.size(), plain.size());
      EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin()));
    }

    cZDecompress member;
    _typebuf<char> out2;
    EXPECT_EQ(member.InflateWhole(c.data.data(), static_cast<int32_t>(c.data.size()), out2, kNoCap),
              c.wholeResult);
    EXPECT_FALSE(member.EndReached());
    EXPECT_EQ(Of(out2), got);
  }
}

TEST(ZDecompress, BombStopsAtTheCap) {
  // 64 MiB of zeros deflate to about 64 KiB; a 1 MiB cap must stop it.
  z_stream s{};
  ASSERT_EQ(deflateInit(&s, 9), Z_OK);
  Bytes zeros(1 << 20), packed(1 << 20);
  s.next_out = packed.data();
  s.avail_out = static_cast<uInt>(packed.size());
  for (int i = 0; i < 64; ++i) {
    s.next_in = zeros.data();
    s.avail_in = static_cast<uInt>(zeros.size());
    ASSERT_EQ(deflate(&s, i == 63 ? Z_FINISH : Z_NO_FLUSH), i == 63 ? Z_STREAM_END : Z_OK);
  }
  packed.resize(s.total_out);
  deflateEnd(&s);
  ASSERT_LT(packed.size(), 100000u);

  const int32_t cap = 1 << 20;
  cZDecompress z;
  _typebuf<char> out;
  EXPECT_FALSE(z.Decompress(Buf(packed), out, cap));
  EXPECT_EQ(out.count, cap);
  EXPECT_EQ(Of(out), Bytes(cap, 0));
  cZDecompress member;
  EXPECT_FALSE(member.InflateWhole(packed.data(), static_cast<int32_t>(packed.size()), out, cap));
  EXPECT_EQ(out.count, cap);
}

TEST(ZDecompress, CapAtTheExactSizeAndOneBelow) {
  const Bytes plain = Sample(70000, 3);
  const _typebuf<char> packed = Buf(Deflate(plain, 15));
  struct Case {
    int32_t cap;
    bool result;
    int32_t count;
  } cases[] = {{70000, true, 70000}, {69999, false, 69999}, {0, false, 0}, {1, false, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cap);
    cZDecompress z;
    _typebuf<char> out;
    EXPECT_EQ(z.Decompress(packed, out, c.cap), c.result);
    const Bytes got = Of(out);
    EXPECT_EQ(got.size(), static_cast<size_t>(c.count));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin()));
  }
}

TEST(ZDecompress, OutputMayBeTheInputBuffer) {
  const Bytes plain = Sample(5000, 5);
  _typebuf<char> buf = Buf(Deflate(plain, 15));
  cZDecompress z;
  EXPECT_TRUE(z.Decompress(buf, buf, kNoCap));
  EXPECT_EQ(Of(buf), plain);
}

TEST(ZDecompress, InflateWholeContinuesTheMemberStreamUntilReset) {
  const Bytes plain = Sample(100000, 9);
  const Bytes packed = Deflate(plain, 15);
  cZDecompress z;
  EXPECT_FALSE(z.Reset());  // not initialised yet
  const int32_t half = static_cast<int32_t>(packed.size() / 2);
  _typebuf<char> a, b;
  EXPECT_TRUE(z.InflateWhole(packed.data(), half, a, kNoCap));
  EXPECT_FALSE(z.EndReached());
  EXPECT_TRUE(z.InflateWhole(packed.data() + half, static_cast<int32_t>(packed.size()) - half, b, kNoCap));
  EXPECT_TRUE(z.EndReached());
  Bytes joined = Of(a);
  const Bytes tail = Of(b);
  joined.insert(joined.end(), tail.begin(), tail.end());
  EXPECT_EQ(joined, plain);

  // A second stream needs a reset; without one the old stream has ended.
  const Bytes other = Sample(1000, 11);
  const Bytes packedOther = Deflate(other, 15);
  EXPECT_TRUE(z.Reset());
  EXPECT_TRUE(z.InflateWhole(packedOther.data(), static_cast<int32_t>(packedOther.size()), a, kNoCap));
  EXPECT_EQ(Of(a), other);
}

// Feeding the stream in pieces of every size through InflateStep gives the
// same bytes as one inflate, the way a chunked picture format feeds it.
TEST(ZDecompress, InflateStepInPiecesOfEverySize) {
  const Bytes plain = Sample(20000, 13);
  const Bytes packed = Deflate(plain, 15);
  for (int32_t piece : {1, 2, 3, 7, 64, 1000, 100000}) {
    for (int32_t room : {1, 13, 4096}) {
      SCOPED_TRACE("piece " + std::to_string(piece) + " room " + std::to_string(room));
      cZDecompress z;
      Bytes got, buf(room);
      size_t at = 0;
      bool ok = true;
      while (!z.EndReached()) {
        // The caller offers its unconsumed bytes again: new data replaces what
        // zlib had left, and a count of 0 at the end still lets pending output out.
        int32_t used = static_cast<int32_t>(std::min<size_t>(piece, packed.size() - at));
        int32_t out = room;
        ok = z.InflateStep(out, packed.data() + at, used, buf.data());
        if (!ok || (out == 0 && used == 0)) break;
        at += static_cast<size_t>(used);
        got.insert(got.end(), buf.begin(), buf.begin() + out);
      }
      EXPECT_TRUE(ok);
      EXPECT_TRUE(z.EndReached());
      EXPECT_EQ(at, packed.size());
      EXPECT_EQ(got, plain);
    }
  }
}

TEST(ZDecompress, InflateStepWithNullContinuesWithTheInputLeftOver) {
  cZDecompress z;
  char out[16];
  int32_t room = 16, in = 99;
  EXPECT_TRUE(z.InflateStep(room, nullptr, in, out));
  EXPECT_EQ(room, 0);
  EXPECT_EQ(in, 0);
  // Null goes on with the input the last step left over.
  const Bytes plain = Sample(20000, 19);
  const Bytes packed = Deflate(plain, 15);
  Bytes got, buf(1000);
  room = 1000;
  in = static_cast<int32_t>(packed.size());
  ASSERT_TRUE(z.InflateStep(room, packed.data(), in, buf.data()));
  EXPECT_EQ(room, 1000);
  EXPECT_LT(in, static_cast<int32_t>(packed.size()));
  int32_t consumed = in;
  got.insert(got.end(), buf.begin(), buf.begin() + room);
  while (!z.EndReached()) {
    room = 1000;
    in = 12345;  // ignored with null data
    ASSERT_TRUE(z.InflateStep(room, nullptr, in, buf.data()));
    ASSERT_GT(room + in, 0);
    consumed += in;
    got.insert(got.end(), buf.begin(), buf.begin() + room);
  }
  EXPECT_EQ(consumed, static_cast<int32_t>(packed.size()));
  EXPECT_EQ(got, plain);

  // A zlib error is false.
  cZDecompress z2;
  const unsigned char bad[] = {0x78, 0x9C, 0x07};
  room = 16;
  in = 3;
  EXPECT_FALSE(z2.InflateStep(room, bad, in, out));
}

TEST(ZOneShot, DeflateAndInflateWholeRoundTrip) {
  const Bytes plain = Sample(150000, 17);
  for (int level : {5, 9}) {
    SCOPED_TRACE(level);
    z_stream d;
    ASSERT_TRUE(ZDeflateStart(&d, level));
    Bytes packed(plain.size() + 1000);
    const uint32_t n = ZDeflateWhole(&d, plain.data(), static_cast<uint32_t>(plain.size()), packed.data(),
                                     static_cast<uint32_t>(packed.size()));
    ASSERT_GT(n, 0u);
    // The same stream serves a second buffer after its reset.
    Bytes packed2(plain.size() + 1000);
    EXPECT_EQ(ZDeflateWhole(&d, plain.data(), static_cast<uint32_t>(plain.size()), packed2.data(),
                            static_cast<uint32_t>(packed2.size())),
              n);
    ZDeflateStop(&d);
    packed.resize(n);

    z_stream inf{};
    ASSERT_EQ(inflateInit2(&inf, 15), Z_OK);
    Bytes out(plain.size());
    EXPECT_EQ(ZInflateWhole(&inf, packed.data(), n, out.data(), static_cast<uint32_t>(out.size())),
              plain.size());
    EXPECT_EQ(out, plain);
    // Truncated input shows as a short count; a second call resets first.
    EXPECT_LT(ZInflateWhole(&inf, packed.data(), n / 2, out.data(), static_cast<uint32_t>(out.size())),
              plain.size());
    EXPECT_EQ(ZInflateWhole(&inf, packed.data(), n, out.data(), static_cast<uint32_t>(out.size())),
              plain.size());
    ZInflateStop(&inf);
  }
  z_stream never{};
  char out[4];
  EXPECT_EQ(ZInflateWhole(&never, "x", 1, out, 4), 0u);  // not an initialised stream
}

}  // namespace
