// The payload list: compression in 4 KiB pieces, the list's byte layout,
// payload streams that deliver the exact bytes and refuse damaged ones.
#include "package/payload.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/memio.h"
#include "tests/support/package_bytes.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Text-like bytes that deflate to a fraction, different for each seed.
Bytes Sample(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    b[i] = (x >> 28) < 10 ? static_cast<unsigned char>('a' + (x >> 24) % 8) : static_cast<unsigned char>(x >> 8);
  }
  return b;
}

Bytes Digest(const Bytes& b) {
  Bytes d(kSha256Size);
  Sha256(d.data(), b.data(), static_cast<int64_t>(b.size()));
  return d;
}

// The stored bytes the compression must give: zlib over the same pieces,
// every full piece partially flushed and the last one finished.
Bytes ExpectedStored(const Bytes& in) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out;
  unsigned char buf[65536];
  for (size_t at = 0; at < in.size(); at += 4096) {
    const size_t n = std::min<size_t>(4096, in.size() - at);
    const bool last = at + n == in.size();
    z.next_in = const_cast<Bytef*>(in.data() + at);
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = buf;
      z.avail_out = sizeof buf;
      deflate(&z, last ? Z_FINISH : Z_PARTIAL_FLUSH);
      out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  return out;
}

Bytes ReadAll(cFileIOTarget* s, uint32_t piece = 65536) {
  Bytes out;
  Bytes buf(piece);
  for (;;) {
    const uint32_t n = s->Read(buf.data(), piece);
    if (n == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  }
  return out;
}

int32_t Add(cPayloadList& list, const Bytes& b) {
  cBufWrapperIO source(b.data(), static_cast<uint32_t>(b.size()));
  return AddPayloadFromStream(&source, list);
}

TEST(Payload, PiecesCompressAsSpecifiedAndReadBack) {
  // Sizes around the 4096-byte piece: one finished piece, a full piece plus
  // a 1-byte piece, two full pieces, and longer files.
  cPayloadList list;
  const size_t sizes[] = {1, 4095, 4096, 4097, 8192, 8193, 100000};
  int32_t expectedIndex = 0;
  for (size_t size : sizes) {
    SCOPED_TRACE("size " + std::to_string(size));
    const Bytes data = Sample(size, static_cast<uint32_t>(size));
    ASSERT_EQ(Add(list, data), expectedIndex);
    const sPayload* p = list.At(static_cast<uint32_t>(expectedIndex));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->uncompressedSize, size);
    EXPECT_EQ(Bytes(p->digest, p->digest + kSha256Size), Digest(data));
    EXPECT_EQ(Bytes(p->stored.data, p->stored.data + p->stored.count), ExpectedStored(data));
    auto stream = OpenPayloadStream(static_cast<uint32_t>(expectedIndex), list);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->GetSize(), size);
    EXPECT_EQ(ReadAll(stream.get()), data);
    ++expectedIndex;
  }
  EXPECT_EQ(list.count, static_cast<uint32_t>(expectedIndex));
}

// A source whose size claims more (or less) than it delivers.
class cLyingSource final : public cFileIOTarget {
public:
  cLyingSource(uint64_t claimed, uint32_t real) : claimed_(claimed), real_(real) {}
  uint64_t GetSize() override { return claimed_; }
  uint32_t Read(void* d, uint32_t n) override {
    const uint32_t k = std::min<uint64_t>(n, real_ - position_);
    std::memset(d, 'x', k);
    position_ += k;
    return k;
  }
  bool Seek(uint64_t p) override {
    position_ = static_cast<uint32_t>(std::min<uint64_t>(p, real_));
    return true;
  }
  bool SeekFromEnd(uint64_t) override { return false; }
  bool SetSize(uint64_t) override { return false; }
  void Close() override {}
  std::unique_ptr<cFileIOTarget> Clone(bool) override { return nullptr; }

private:
  uint64_t claimed_;
  uint32_t real_;
  uint32_t position_ = 0;
};

TEST(Payload, RefusedSourcesLeaveTheListUnchanged) {
  cPayloadList list;
  ASSERT_EQ(Add(list, Sample(10, 1)), 0);
  struct Case {
    const char* what;
    uint64_t claimed;
    uint32_t real;
    int32_t result;
  } cases[] = {
      {"empty file (its record would read as the end of the list)", 0, 0, kEmptyPayload},
      {"4 GiB", uint64_t{1} << 32, 100, -1},
      {"size claims more than the data", 100000, 5000, -1},
      {"data beyond the size", 5000, 9000, -1},
      {"4 GiB - 1 passes the size test but not the data test", (uint64_t{1} << 32) - 1, 10, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cLyingSource source(c.claimed, c.real);
    EXPECT_EQ(AddPayloadFromStream(&source, list), c.result);
    EXPECT_EQ(list.count, 1u);
    EXPECT_EQ(list.At(1), nullptr);
  }
  EXPECT_EQ(AddPayloadFromStream(nullptr, list), -1);
  EXPECT_EQ(Add(list, Sample(10, 2)), 1);
}

TEST(Payload, ListWritesAndReadsBackInOrder) {
  cPayloadList list;
  for (uint32_t i = 0; i < 3; ++i) ASSERT_EQ(Add(list, Sample(5000 * (i + 1), i)), static_cast<int32_t>(i));
  cMemIOTarget out;
  ASSERT_TRUE(WritePayloadList(list, &out));
  _typebuf<char> image;
  ASSERT_TRUE(out.CopyToBuffer(image));
  // The end record closes the list.
  ASSERT_GE(image.count, 8);
  EXPECT_EQ(std::memcmp(image.data + image.count - 8, "\0\0\0\0\0\0\0\0", 8), 0);

  cBufWrapperIO in(image.data, static_cast<uint32_t>(image.count));
  cPayloadList back;
  ASSERT_TRUE(ReadPayloadList(back, &in));
  ASSERT_EQ(back.count, 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    const sPayload* a = list.At(i);
    const sPayload* b = back.At(i);
    EXPECT_EQ(a->uncompressedSize, b->uncompressedSize);
    EXPECT_EQ(std::memcmp(a->digest, b->digest, kSha256Size), 0);
    ASSERT_EQ(a->stored.count, b->stored.count);
    EXPECT_EQ(std::memcmp(a->stored.data, b->stored.data, static_cast<size_t>(a->stored.count)), 0);
    auto s = OpenPayloadStream(i, back);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ReadAll(s.get()), Sample(5000 * (i + 1), i));
  }
  cPayloadList empty;
  EXPECT_FALSE(WritePayloadList(empty, &out));
}

TEST(Payload, ReadListCases) {
  using twtest::PkgBytes;
  const Bytes digest(32, 0xAB);
  struct Case {
    const char* what;
    Bytes bytes;
    bool ok;
    uint32_t count;
  } cases[] = {
      {"only the end record", PkgBytes().u32(0).u32(0).bytes, true, 0},
      {"stored length 0 with a size: not an end record", PkgBytes().u32(5).u32(0).bytes, false, 0},
      {"one raw record and the end", PkgBytes().u32(0).u32(3).raw(digest).raw(std::string("abc")).u32(0).u32(0).bytes,
       true, 1},
      {"no end record", PkgBytes().u32(0).u32(3).raw(digest).raw(std::string("abc")).bytes, false, 1},
      {"stored bytes cut short", PkgBytes().u32(9).u32(4).raw(digest).raw(std::string("ab")).bytes, false, 0},
      {"stored length beyond the data, no allocation", PkgBytes().u32(9).u32(0x7FFFFFF0).raw(digest).bytes, false, 0},
      {"stored length 2^31", PkgBytes().u32(9).u32(0x80000000u).raw(digest).bytes, false, 0},
      {"cut inside the size", PkgBytes().u16(0).bytes, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cBufWrapperIO in(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
    cPayloadList list;
    Add(list, Sample(3, 3));  // replaced by the read
    EXPECT_EQ(ReadPayloadList(list, &in), c.ok);
    if (c.ok) {
      EXPECT_EQ(list.count, c.count);
    }
  }
  cPayloadList list;
  EXPECT_FALSE(ReadPayloadList(list, nullptr));
}

TEST(Payload, OpenRefusesMissingRecords) {
  cPayloadList list;
  EXPECT_EQ(OpenPayloadStream(0, list), nullptr);
  ASSERT_EQ(Add(list, Sample(100, 4)), 0);
  EXPECT_NE(OpenPayloadStream(0, list), nullptr);
  EXPECT_EQ(OpenPayloadStream(1, list), nullptr);  // index equal to the count
  EXPECT_EQ(OpenPayloadStream(0xFFFFFFFFu, list), nullptr);
}

TEST(Payload, RecordOfSizeZeroHoldsItsContentAsItIs) {
  cPayloadList list;
  sPayload& p = list.Append();
  const Bytes content = {'r', 'a', 'w', 0, 1};
  p.stored.Reallocate(5);
  std::memcpy(p.stored.data, content.data(), 5);
  std::memcpy(p.digest, Digest(content).data(), kSha256Size);
  auto s = OpenPayloadStream(0, list);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetSize(), 5u);
  EXPECT_EQ(ReadAll(s.get()), content);
}

// A flipped byte anywhere in the stored bytes, compressed or not: the stream
// never completes, so no copy that needs every byte finishes.
TEST(Payload, FlippedByteIsReported) {
  const Bytes data = Sample(20000, 5);
  cPayloadList list;
  ASSERT_EQ(Add(list, data), 0);
  sPayload& raw = list.Append();  // a stored-as-is record
  raw.stored.Reallocate(300);
  const Bytes rawContent = Sample(300, 6);
  std::memcpy(raw.stored.data, rawContent.data(), 300);
  std::memcpy(raw.digest, Digest(rawContent).data(), kSha256Size);

  for (uint32_t index : {0u, 1u}) {
    sPayload* p = list.At(index);
    const Bytes original = index == 0 ? data : rawContent;
    for (int32_t at : {0, p->stored.count / 2, p->stored.count - 1}) {
      SCOPED_TRACE("payload " + std::to_string(index) + " byte " + std::to_string(at));
      p->stored.data[at] ^= 0x20;
      auto s = OpenPayloadStream(index, list);
      const bool lastOfDeflate = index == 0 && at == p->stored.count - 1;
      if (lastOfDeflate && s != nullptr && ReadAll(s.get()) == original) {
        // The flip hit the padding bits after the final block: the content
        // is intact and may be delivered.
      } else if (s != nullptr) {
        s = OpenPayloadStream(index, list);
        const uint64_t size = s->GetSize();
        EXPECT_LT(ReadAll(s.get(), 65536).size(), size);
        // Sticky: nothing more comes, and seeking to the end fails too.
        char c;
        EXPECT_EQ(s->Read(&c, 1), 0u);
        auto again = OpenPayloadStream(index, list);
        ASSERT_NE(again, nullptr);
        EXPECT_FALSE(again->Seek(size));
      }
      p->stored.data[at] ^= 0x20;
    }
    auto intact = OpenPayloadStream(index, list);
    ASSERT_NE(intact, nullptr);
    EXPECT_EQ(ReadAll(intact.get()).size(), intact->GetSize());
  }
}

TEST(Payload, SeekingKeepsTheBytesAndTheCheck) {
  const Bytes data = Sample(50000, 7);
  cPayloadList list;
  ASSERT_EQ(Add(list, data), 0);
  auto s = OpenPayloadStream(0, list);
  ASSERT_NE(s, nullptr);
  char buf[1000];
  for (uint64_t at : {30000u, 100u, 49000u, 0u}) {
    SCOPED_TRACE(at);
    ASSERT_TRUE(s->Seek(at));
    const uint32_t n = s->Read(buf, sizeof buf);
    ASSERT_EQ(n, std::min<uint64_t>(sizeof buf, data.size() - at));
    EXPECT_EQ(std::memcmp(buf, data.data() + at, n), 0);
  }
  EXPECT_TRUE(s->Seek(data.size()));
  EXPECT_FALSE(s->Seek(data.size() + 1));
  auto clone = s->Clone(true);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(ReadAll(clone.get()), data);
}

// Generated bytes of any size without holding them: a counter-driven
// generator, compressible like program files.
class cGenerated final : public cFileIOTarget {
public:
  explicit cGenerated(uint64_t size) : size_(size) {}
  uint64_t GetSize() override { return size_; }
  uint32_t Read(void* d, uint32_t n) override {
    const uint64_t k = std::min<uint64_t>(n, size_ - position_);
    auto* out = static_cast<unsigned char*>(d);
    for (uint64_t i = 0; i < k; ++i) out[i] = ByteAt(position_ + i);
    position_ += k;
    return static_cast<uint32_t>(k);
  }
  bool Seek(uint64_t p) override {
    if (p > size_) return false;
    position_ = p;
    return true;
  }
  bool SeekFromEnd(uint64_t) override { return false; }
  bool SetSize(uint64_t) override { return false; }
  void Close() override {}
  std::unique_ptr<cFileIOTarget> Clone(bool) override { return std::make_unique<cGenerated>(size_); }
  static unsigned char ByteAt(uint64_t i) {
    const uint64_t block = i / 64;
    uint32_t x = static_cast<uint32_t>(block * 2654435761u) ^ static_cast<uint32_t>(block >> 7);
    x = x * 1664525u + 1013904223u;
    return (i % 64) < 40 ? static_cast<unsigned char>("install package stream "[i % 23])
                         : static_cast<unsigned char>(x >> ((i % 4) * 8));
  }

private:
  uint64_t size_;
  uint64_t position_ = 0;
};

TEST(Payload, HundredMebibytesStreamBackWithTheirDigest) {
  constexpr uint64_t kSize = uint64_t{100} << 20;
  cGenerated source(kSize);
  cPayloadList list;
  ASSERT_EQ(AddPayloadFromStream(&source, list), 0);
  cGenerated again(kSize);
  uint8_t expected[kSha256Size];
  ASSERT_TRUE(Sha256OfStream(&again, expected));
  EXPECT_EQ(std::memcmp(list.At(0)->digest, expected, kSha256Size), 0);

  auto s = OpenPayloadStream(0, list);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->GetSize(), kSize);
  // Copied as the installer copies: 64 KiB pieces, each compared with the
  // generator, the whole hashed again on the way.
  std::vector<unsigned char> buf(65536);
  sSha256Ctx hash;
  Sha256Init(&hash);
  uint64_t at = 0;
  while (at < kSize) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buf.size(), kSize - at));
    ASSERT_EQ(s->Read(buf.data(), want), want) << "at " << at;
    for (uint32_t i = 0; i < want; ++i)
      if (buf[i] != cGenerated::ByteAt(at + i)) FAIL() << "first difference at " << at + i;
    Sha256Update(&hash, buf.data(), want);
    at += want;
  }
  uint8_t got[kSha256Size];
  Sha256Final(&hash, got);
  EXPECT_EQ(std::memcmp(got, expected, kSha256Size), 0);
  EXPECT_EQ(s->Read(buf.data(), 1), 0u);
}

TEST(Payload, Sha256OfStreamHashesFromThePosition) {
  const Bytes data = Sample(10000, 8);
  cBufWrapperIO s(data.data(), static_cast<uint32_t>(data.size()));
  ASSERT_TRUE(s.Seek(1234));
  uint8_t got[kSha256Size];
  ASSERT_TRUE(Sha256OfStream(&s, got));
  EXPECT_EQ(Bytes(got, got + kSha256Size), Digest(Bytes(data.begin() + 1234, data.end())));
  EXPECT_FALSE(Sha256OfStream(nullptr, got));
}

}  // namespace
