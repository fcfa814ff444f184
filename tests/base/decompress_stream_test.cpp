#include "base/decompress_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "tests/support/zlib_deflate.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Sample(size_t n, uint32_t seed) {
  static const char* words[] = {"north ", "south ", "east ", "west\n", "tarn ", "wick, ", "0123456789"};
  Bytes b;
  uint32_t x = seed;
  while (b.size() < n) {
    x = x * 1664525u + 1013904223u;
    if ((x >> 27) == 0) {
      b.push_back(static_cast<unsigned char>(x >> 8));
    } else {
      const char* w = words[(x >> 16) % 7];
      b.insert(b.end(), w, w + std::strlen(w));
    }
  }
  b.resize(n);
  return b;
}

// Raw deflate, the payload format; windowBits 15 unless a test asks less.
Bytes RawDeflate(const Bytes& in, int windowBits = 15) { return twtest::Deflate(in, -windowBits); }

// A read-only source over bytes that counts how often it is rewound, which
// is how often a decoder starts.
class cCountingSource : public cFileIOTarget {
public:
  explicit cCountingSource(const Bytes& bytes) : bytes_(&bytes) {}
  uint64_t GetSize() override { return bytes_->size(); }
  uint32_t Read(void* d, uint32_t n) override {
    const uint64_t left = bytes_->size() - std::min<uint64_t>(pos_, bytes_->size());
    if (n > left) n = static_cast<uint32_t>(left);
    if (n > 0) std::memcpy(d, bytes_->data() + pos_, n);
    pos_ += n;
    return n;
  }
  bool Seek(uint64_t p) override {
    if (p == 0) ++rewinds;
    if (p > bytes_->size()) return false;
    pos_ = p;
    return true;
  }
  bool SeekFromEnd(uint64_t d) override { return d <= bytes_->size() && Seek(bytes_->size() - d); }
  bool SetSize(uint64_t) override { return false; }
  void Close() override {}
  bool IsOpen() override { return true; }
  std::unique_ptr<cFileIOTarget> Clone(bool) override { return std::make_unique<cCountingSource>(*bytes_); }
  int rewinds = 0;

private:
  const Bytes* bytes_;
  uint64_t pos_ = 0;
};

Bytes ReadAll(cFileIOTarget& s, uint32_t chunk) {
  Bytes out;
  Bytes buf(chunk);
  for (;;) {
    const uint32_t n = s.Read(buf.data(), chunk);
    if (n == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  }
  return out;
}

TEST(DecompressStream, SequentialReadStartsTheDecoderOnce) {
  const Bytes plain = Sample(1 << 20, 1);
  const Bytes packed = RawDeflate(plain);
  cCountingSource source(packed);
  cZStream z;
  ASSERT_TRUE(z.OpenDeflate(&source, plain.size(), 4096, false, 15));
  EXPECT_TRUE(z.IsOpen());
  EXPECT_EQ(z.GetSize(), plain.size());
  EXPECT_EQ(ReadAll(z, 65536), plain);
  EXPECT_EQ(source.rewinds, 1);

  // Reads of 64 KiB went past the window, which still holds the start.
  ASSERT_TRUE(z.Seek(0));
  Bytes first(100);
  EXPECT_EQ(z.Read(first.data(), 100), 100u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), plain.begin()));
  EXPECT_EQ(source.rewinds, 1);
  // Back to a position before the decoder but outside the window: the
  // decoder starts again from the source's start.
  ASSERT_TRUE(z.Seek(10000));
  EXPECT_EQ(z.Read(first.data(), 100), 100u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), plain.begin() + 10000));
  EXPECT_EQ(source.rewinds, 2);
  // Byte-sized reads after a restart go through the window.
  ASSERT_TRUE(z.Seek(0));
  EXPECT_EQ(ReadAll(z, 1000), plain);
  EXPECT_EQ(source.rewinds, 3);
}

// The same bytes as a one-shot inflate for every window size and access
// pattern: sequential reads of awkward sizes and random seeks both ways.
TEST(DecompressStream, RandomAccessMatchesOneShotInflate) {
  const Bytes plain = Sample(300000, 2);
  const Bytes packed = RawDeflate(plain);
  for (int32_t window : {1, 7, 4096, 32768, 65536, 400000}) {
    SCOPED_TRACE("window " + std::to_string(window));
    cBufWrapperIO source(packed.data(), static_cast<uint32_t>(packed.size()));
    cZStream z;
    ASSERT_TRUE(z.OpenDeflate(&source, plain.size(), window, false, 0));
    if (window >= 4096) {
      for (uint32_t chunk : {1u, 4095u, 4097u, 100000u}) {
        ASSERT_TRUE(z.Seek(0));
        EXPECT_EQ(ReadAll(z, chunk), plain) << "chunk " << chunk;
      }
    }
    uint32_t x = 99;
    const int rounds = window < 4096 ? 40 : 200;
    for (int i = 0; i < rounds; ++i) {
      x = x * 1103515245u + 12345u;
      const uint64_t at = (x >> 8) % (plain.size() + 10);
      const uint32_t want = 1 + (x >> 3) % (window < 4096 ? 50 : i % 4 == 0 ? 70000 : 300);  // a hand-over per window
      const bool seekOk = z.Seek(at);
      ASSERT_TRUE(seekOk);
      Bytes buf(want);
      const uint32_t got = z.Read(buf.data(), want);
      const uint64_t expect = at >= plain.size() ? 0 : std::min<uint64_t>(want, plain.size() - at);
      ASSERT_EQ(got, expect) << "at " << at << " want " << want;
      ASSERT_TRUE(std::equal(buf.begin(), buf.begin() + got, plain.begin() + static_cast<long>(std::min<uint64_t>(at, plain.size()))))
          << "at " << at << " want " << want;
    }
  }
}

TEST(DecompressStream, ReadsEndAtTheSizeAndOneByteReadsAdvance) {
  const Bytes plain = Sample(10000, 3);
  const Bytes packed = RawDeflate(plain);
  cBufWrapperIO source(packed.data(), static_cast<uint32_t>(packed.size()));
  cZStream z;
  ASSERT_TRUE(z.OpenDeflate(&source, plain.size(), 4096, false, 15));
  unsigned char buf[10];
  ASSERT_TRUE(z.Seek(plain.size() - 2));
  EXPECT_EQ(z.Read(buf, 10), 2u);
  EXPECT_EQ(buf[0], plain[plain.size() - 2]);
  EXPECT_EQ(z.Read(buf, 10), 0u);

  // One byte at a time across window ends.
  ASSERT_TRUE(z.Seek(4090));
  for (size_t p = 4090; p < 8200; ++p) {
    ASSERT_EQ(z.Read(buf, 1), 1u) << p;
    ASSERT_EQ(buf[0], plain[p]) << p;
  }
  // From the end backwards, and past the start.
  ASSERT_TRUE(z.SeekFromEnd(1));
  EXPECT_EQ(z.Read(buf, 10), 1u);
  EXPECT_EQ(buf[0], plain.back());
  ASSERT_TRUE(z.SeekFromEnd(plain.size() + 5));
  EXPECT_EQ(z.Read(buf, 3), 3u);
  EXPECT_EQ(buf[0], plain[0]);
  EXPECT_TRUE(z.SeekFromEnd(0));
  EXPECT_EQ(z.Read(buf, 3), 0u);
}

TEST(DecompressStream, OpenRefusals) {
  const Bytes plain = Sample(1000, 4);
  const Bytes packed = RawDeflate(plain);
  cBufWrapperIO source(packed.data(), static_cast<uint32_t>(packed.size()));
  struct Case {
    const char* what;
    cFileIOTarget* source;
    uint64_t size;
    int32_t window;
    int32_t windowBits;
  } cases[] = {
      {"no source", nullptr, 1000, 4096, 15},
      {"size 0", &source, 0, 4096, 15},
      {"size 2^63", &source, uint64_t{1} << 63, 4096, 15},
      {"window 0", &source, 1000, 0, 15},
      {"negative window", &source, 1000, -1, 15},
      {"window bits 7", &source, 1000, 4096, 7},  // zlib takes 8..15
      {"window bits 16", &source, 1000, 4096, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    cZStream z;
    EXPECT_FALSE(z.OpenDeflate(c.source, c.size, c.window, false, c.windowBits));
    EXPECT_FALSE(z.IsOpen());
    unsigned char b;
    EXPECT_EQ(z.Read(&b, 1), 0u);
  }
  // Data that decodes to nothing: the first window fails.
  const Bytes junk = {0xFF, 0xFF, 0xFF, 0xFF};
  cBufWrapperIO bad(junk.data(), 4);
  cZStream z;
  EXPECT_FALSE(z.OpenDeflate(&bad, 100, 4096, false, 15));
  EXPECT_FALSE(z.IsOpen());
  // Fixed state: a good open after failures works.
  EXPECT_TRUE(z.OpenDeflate(&source, plain.size(), 4096, false, 15));
  EXPECT_EQ(ReadAll(z, 333), plain);
}

TEST(DecompressStream, SmallerWindowBits) {
  const Bytes plain = Sample(50000, 5);
  const Bytes packed = RawDeflate(plain, 9);
  cBufWrapperIO source(packed.data(), static_cast<uint32_t>(packed.size()));
  cZStream z;
  ASSERT_TRUE(z.OpenDeflate(&source, plain.size(), 4096, false, 9));
  EXPECT_EQ(ReadAll(z, 5000), plain);
}

// Damaged or short data: reads end at the last decoded byte, never handing
// out window bytes that no decoder wrote.
TEST(DecompressStream, DamagedAndShortDataEndReadsAtTheLastDecodedByte) {
  const Bytes plain = Sample(200000, 6);
  const Bytes packed = RawDeflate(plain);
  struct Case {
    const char* what;
    Bytes data;
    uint64_t declared;
    bool truePrefix;  // the decoded bytes are the start of the plain data
  };
  Bytes flipped = packed;
  flipped[packed.size() / 2] ^= 0x40;  // raw deflate has no check: may decode to other bytes
  const std::vector<Case> cases = {
      {"declared size beyond the data", packed, plain.size() + 5000, true},
      {"truncated input", Bytes(packed.begin(), packed.begin() + packed.size() / 2), plain.size(), true},
      {"flipped bit", flipped, plain.size(), false},
  };
  for (const auto& c : cases) {
    for (int32_t window : {4096, 5000}) {
      SCOPED_TRACE(std::string(c.what) + " window " + std::to_string(window));
      cBufWrapperIO source(c.data.data(), static_cast<uint32_t>(c.data.size()));
      cZStream z;
      ASSERT_TRUE(z.OpenDeflate(&source, c.declared, window, false, 15));
      const Bytes got = ReadAll(z, 7000);
      ASSERT_GT(got.size(), 0u);
      ASSERT_LE(got.size(), c.declared);
      if (c.truePrefix) {
        ASSERT_LE(got.size(), plain.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin()));
        if (c.data == packed) EXPECT_EQ(got.size(), plain.size());
        else EXPECT_LT(got.size(), plain.size());
      }
      // Whatever was decoded reads again the same, byte for byte and whole.
      ASSERT_TRUE(z.Seek(0));
      EXPECT_EQ(ReadAll(z, 1), got);
      ASSERT_TRUE(z.Seek(got.size() - 1));
      unsigned char b = 0;
      EXPECT_EQ(z.Read(&b, 1), 1u);
      EXPECT_EQ(b, got.back());
      if (got.size() < c.declared) {
        // Past the decoded bytes: nothing, and a seek there fails.
        EXPECT_EQ(z.Read(&b, 1), 0u);
        EXPECT_FALSE(z.Seek(got.size() + 1));
      }
    }
  }
}

// What inflate decodes from data that stops early: every byte it can give
// before the input runs out.
Bytes InflatePrefix(const Bytes& packed, size_t room) {
  z_stream s{};
  EXPECT_EQ(inflateInit2(&s, -15), Z_OK);
  Bytes out(room);
  s.next_in = const_cast<Bytef*>(packed.data());
  s.avail_in = static_cast<uInt>(packed.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  inflate(&s, Z_SYNC_FLUSH);
  out.resize(s.total_out);
  inflateEnd(&s);
  return out;
}

// Data that ends without a final block, or is cut anywhere, still reads up
// to the last byte that inflate can decode from it: the decoder's last,
// partly filled dictionary window is passed on when the input runs out.
TEST(DecompressStream, DataWithoutItsFinalBlockReadsEveryDecodableByte) {
  const Bytes plain = Sample(150000, 10);
  // Flushed but never finished: complete blocks, none of them marked final.
  Bytes unfinished;
  {
    z_stream s{};
    ASSERT_EQ(deflateInit2(&s, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    unfinished.resize(deflateBound(&s, plain.size()) + 64);
    s.next_in = const_cast<Bytef*>(plain.data());
    s.avail_in = static_cast<uInt>(plain.size());
    s.next_out = unfinished.data();
    s.avail_out = static_cast<uInt>(unfinished.size());
    ASSERT_EQ(deflate(&s, Z_SYNC_FLUSH), Z_OK);
    ASSERT_EQ(s.avail_in, 0u);
    unfinished.resize(s.total_out);
    deflateEnd(&s);
  }
  const Bytes packed = RawDeflate(plain);
  struct Case {
    std::string what;
    Bytes data;
  };
  std::vector<Case> cases = {{"no final block", unfinished}};
  // 150,000 bytes are four full 32 KiB windows and a part: cuts land in
  // each window, so the bytes still in the dictionary window vary.
  for (size_t cut : {size_t{400}, packed.size() / 5, packed.size() / 3, packed.size() - 9}) {
    cases.push_back({"cut at " + std::to_string(cut), Bytes(packed.begin(), packed.begin() + static_cast<long>(cut))});
  }
  for (const auto& c : cases) {
    const Bytes expected = InflatePrefix(c.data, plain.size());
    ASSERT_GT(expected.size(), 0u) << c.what;
    for (int32_t window : {4096, 65536}) {
      SCOPED_TRACE(c.what + " window " + std::to_string(window));
      cBufWrapperIO source(c.data.data(), static_cast<uint32_t>(c.data.size()));
      cZStream z;
      ASSERT_TRUE(z.OpenDeflate(&source, plain.size(), window, false, 15));
      const Bytes got = ReadAll(z, 10000);
      EXPECT_EQ(got.size(), expected.size());
      EXPECT_TRUE(got == expected);
    }
  }
  EXPECT_EQ(InflatePrefix(unfinished, plain.size()), plain);
}

TEST(DecompressStream, CloneReadsTheSameBytesAfterSeekZero) {
  const Bytes plain = Sample(100000, 7);
  const Bytes packed = RawDeflate(plain);
  for (bool own : {false, true}) {
    for (bool independent : {false, true}) {
      SCOPED_TRACE(std::string(own ? "owned" : "borrowed") + (independent ? " independent" : ""));
      cBufWrapperIO borrowed(packed.data(), static_cast<uint32_t>(packed.size()));
      cFileIOTarget* src = own ? new cBufWrapperIO(packed.data(), static_cast<uint32_t>(packed.size())) : &borrowed;
      auto z = std::make_unique<cZStream>();
      ASSERT_TRUE(z->OpenDeflate(src, plain.size(), 4096, own, 15));
      Bytes head(5000);
      ASSERT_EQ(z->Read(head.data(), 5000), 5000u);
      std::unique_ptr<cFileIOTarget> copy = z->Clone(independent);
      ASSERT_NE(copy, nullptr);
      EXPECT_EQ(copy->GetSize(), plain.size());
      unsigned char b;
      EXPECT_EQ(copy->Read(&b, 1), 0u);  // positioned at the end until sought
      if (own || independent) {
        // A source of its own: both streams may be read in turn.
        ASSERT_TRUE(copy->Seek(0));
        Bytes a(3000), c(3000);
        ASSERT_EQ(copy->Read(c.data(), 3000), 3000u);
        ASSERT_EQ(z->Read(a.data(), 3000), 3000u);
        EXPECT_TRUE(std::equal(c.begin(), c.end(), plain.begin()));
        EXPECT_TRUE(std::equal(a.begin(), a.end(), plain.begin() + 5000));
      }
      z.reset();  // the clone outlives the original (a borrowed source stays with the test)
      ASSERT_TRUE(copy->Seek(0));
      EXPECT_EQ(ReadAll(*copy, 65536), plain);
    }
  }
}

// Opening, seeking back and closing wait for the decoder's end instead of
// pausing: a package of many files must not spend its time asleep.
TEST(DecompressStream, OpenSeekBackAndCloseDoNotPause) {
  using Clock = std::chrono::steady_clock;
  const Bytes plain = Sample(200000, 8);
  const Bytes packed = RawDeflate(plain);
  cBufWrapperIO source(packed.data(), static_cast<uint32_t>(packed.size()));
  // Each operation is judged by its quickest run: a fixed pause would be in
  // every run, while load on the machine (CI runs the suite on two cores,
  // Wine's server shared by every test) only makes some runs slow. So the
  // rounds go on, within a time budget, until each operation has had one
  // quick run.
  const auto bound = std::chrono::milliseconds(100);
  struct Op {
    const char* what;
    Clock::duration quickest;
  } ops[] = {{"open", Clock::duration::max()}, {"seek back", Clock::duration::max()},
             {"close", Clock::duration::max()}};
  const auto budgetEnd = Clock::now() + std::chrono::seconds(30);
  for (int round = 0; round < 30 || Clock::now() < budgetEnd; ++round) {
    cZStream z;
    auto t = Clock::now();
    ASSERT_TRUE(z.OpenDeflate(&source, plain.size(), 4096, false, 15));
    ops[0].quickest = std::min(ops[0].quickest, Clock::now() - t);
    unsigned char b[16];
    ASSERT_TRUE(z.Seek(100000));  // the decoder now waits with the rest of a piece
    ASSERT_EQ(z.Read(b, 16), 16u);
    t = Clock::now();
    ASSERT_TRUE(z.Seek(10));  // a restart
    ops[1].quickest = std::min(ops[1].quickest, Clock::now() - t);
    ASSERT_EQ(z.Read(b, 16), 16u);
    EXPECT_EQ(b[0], plain[10]);
    t = Clock::now();
    z.Close();  // while the decoder waits for the next request
    ops[2].quickest = std::min(ops[2].quickest, Clock::now() - t);
    EXPECT_FALSE(z.IsOpen());
    EXPECT_FALSE(z.IsRunning());
    if (round >= 30 && std::all_of(std::begin(ops), std::end(ops), [&](const Op& o) { return o.quickest < bound; }))
      break;
  }
  // A pause of 100 ms in any of them shows in every one of its runs.
  for (const Op& o : ops) {
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(o.quickest).count(), bound.count()) << o.what;
  }
}

// Opening the source that the stream already owns again (with another
// window, say) keeps it: it must not be deleted on the way.
TEST(DecompressStream, ReopeningTheOwnedSourceKeepsIt) {
  const Bytes plain = Sample(60000, 11);
  const Bytes packed = RawDeflate(plain);
  auto* source = new cBufWrapperIO(packed.data(), static_cast<uint32_t>(packed.size()));
  cZStream z;
  ASSERT_TRUE(z.OpenDeflate(source, plain.size(), 4096, true, 15));
  unsigned char b[100];
  ASSERT_EQ(z.Read(b, 100), 100u);
  ASSERT_TRUE(z.OpenDeflate(source, plain.size(), 1000, true, 15));  // ASan: no use after free
  EXPECT_EQ(ReadAll(z, 777), plain);
  ASSERT_TRUE(z.OpenDeflate(source, plain.size(), 5000, false, 0));
  EXPECT_EQ(ReadAll(z, 5000), plain);
}  // the owned source goes with the stream; ASan reports a leak otherwise

TEST(DecompressStream, DestroyWhileTheDecoderWaits) {
  const Bytes plain = Sample(300000, 9);
  const Bytes packed = RawDeflate(plain);
  auto* source = new cBufWrapperIO(packed.data(), static_cast<uint32_t>(packed.size()));
  {
    cZStream z;
    ASSERT_TRUE(z.OpenDeflate(source, plain.size(), 1000, true, 15));
    unsigned char b[10];
    ASSERT_EQ(z.Read(b, 10), 10u);
  }  // the owned source goes with it; ASan reports a leak or a use after free
  SUCCEED();
}

}  // namespace
