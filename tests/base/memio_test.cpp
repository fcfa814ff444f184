#include "base/memio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/scripted_stream.h"

namespace {

std::string Bytes(cFileIOTarget& s, uint64_t at, uint32_t n) {
  std::string out(n, '?');
  if (!s.Seek(at)) return "<seek failed>";
  out.resize(s.Read(out.data(), n));
  return out;
}

std::string Contents(cMemIOTarget& m) {
  _typebuf<char> b;
  EXPECT_TRUE(m.CopyToBuffer(b));
  return std::string(b.data != nullptr ? b.data : "", static_cast<size_t>(b.count));
}

TEST(MemIOTarget, ShrinkingZeroesTheTailSoGrowingShowsZeros) {
  cMemIOTarget m;
  ASSERT_EQ(m.Write("ABCDEFGHIJ", 10), 10u);
  ASSERT_TRUE(m.SetSize(100000));
  EXPECT_EQ(m.GetSize(), 100000u);
  std::string zeros = Bytes(m, 10, 99990);
  EXPECT_EQ(zeros, std::string(99990, '\0'));
  ASSERT_TRUE(m.SetSize(5));
  ASSERT_TRUE(m.SetSize(10));
  EXPECT_EQ(Bytes(m, 0, 10), std::string("ABCDE\0\0\0\0\0", 10));
  // The same across a page: bytes past a cut inside page 1 come back as zero.
  ASSERT_TRUE(m.Seek(10));
  std::string big(140000, 'x');
  ASSERT_EQ(m.Write(big.data(), 140000), 140000u);
  ASSERT_TRUE(m.SetSize(70000));
  ASSERT_TRUE(m.SetSize(140010));
  EXPECT_EQ(Bytes(m, 69998, 4), std::string("xx\0\0", 4));
  EXPECT_EQ(Bytes(m, 140000, 10), std::string(10, '\0'));
}

TEST(MemIOTarget, ReadIsCutToWhatIsLeft) {
  cMemIOTarget m;
  m.Write("abcd", 4);
  ASSERT_TRUE(m.Seek(2));
  char buf[10];
  EXPECT_EQ(m.Read(buf, 10), 2u);
  EXPECT_EQ(std::string(buf, 2), "cd");
}

TEST(MemIOTarget, TransfersAcrossPageBoundariesInEveryChunking) {
  // The same content written and read back in chunks of several sizes,
  // starting just before a page boundary.
  std::string content(3 * cMemIOTarget::kPageSize + 17, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 65536);
  for (uint32_t chunk : {1u, 3u, 4096u, 65535u, 65536u, 65537u, 200000u}) {
    SCOPED_TRACE(chunk);
    cMemIOTarget m;
    for (size_t at = 0; at < content.size(); at += chunk) {
      const uint32_t n = static_cast<uint32_t>(std::min<size_t>(chunk, content.size() - at));
      ASSERT_EQ(m.Write(content.data() + at, n), n);
    }
    EXPECT_EQ(m.GetSize(), content.size());
    std::string back;
    ASSERT_TRUE(m.Seek(0));
    std::vector<char> buf(chunk);
    for (uint32_t n; (n = m.Read(buf.data(), chunk)) != 0;) back.append(buf.data(), n);
    EXPECT_TRUE(back == content);
  }
}

TEST(MemIOTarget, NeverHoldsMoreThanTwoGigabytesLessOne) {
  // The stream holds at most 2^31 - 1 bytes: larger sizes are refused and a
  // write that would cross the limit ends short. The pages that were never
  // written cost nothing.
  cMemIOTarget m;
  EXPECT_FALSE(m.SetSize((uint64_t{5} << 30) + 3));
  EXPECT_FALSE(m.SetSize(uint64_t{1} << 31));
  EXPECT_EQ(m.GetSize(), 0u);
  ASSERT_TRUE(m.SetSize(0x7FFFFFFCu));
  ASSERT_TRUE(m.SeekFromEnd(0));
  EXPECT_EQ(m.Write("wxyz", 4), 3u) << "cut at the last byte the stream can hold";
  EXPECT_EQ(m.GetSize(), 0x7FFFFFFFu);
  EXPECT_EQ(Bytes(m, 0x7FFFFFFAu, 8), std::string("\0\0wxy", 5));
  EXPECT_FALSE(m.Seek(uint64_t{1} << 31));
  EXPECT_EQ(m.Write("q", 1), 0u) << "the position stays at the end";
  ASSERT_TRUE(m.SetSize(3));
  EXPECT_EQ(m.GetSize(), 3u);
}

TEST(MemIOTarget, TheLargestSizeIsEnforced) {
  cMemIOTarget m;
  EXPECT_FALSE(m.SetSize(cMemIOTarget::kMaxSize + 1));
  EXPECT_EQ(m.GetSize(), 0u);
  ASSERT_TRUE(m.SetSize(cMemIOTarget::kMaxSize - 1));
  ASSERT_TRUE(m.SeekFromEnd(0));
  EXPECT_EQ(m.Write("abc", 3), 1u) << "a short count at the largest size";
  EXPECT_EQ(m.GetSize(), cMemIOTarget::kMaxSize);
  EXPECT_EQ(m.Write("abc", 3), 0u);
  EXPECT_EQ(Bytes(m, cMemIOTarget::kMaxSize - 1, 4), "a");
}

TEST(MemIOTarget, CloneIsACopyAtItsEnd) {
  cMemIOTarget m;
  ASSERT_TRUE(m.SetSize(70000));  // page 0 and 1 missing
  ASSERT_TRUE(m.Seek(69999));
  m.Write("z", 1);
  std::unique_ptr<cFileIOTarget> c = m.Clone(false);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->GetSize(), 70000u);
  EXPECT_EQ(Bytes(*c, 69990, 10), std::string(9, '\0') + "z");
  ASSERT_TRUE(m.Seek(0));
  m.Write("Q", 1);
  EXPECT_EQ(Bytes(*c, 0, 1), std::string(1, '\0')) << "the clone does not share pages";
}

TEST(MemIOTarget, CopyToBufferOfAnEmptyStream) {
  cMemIOTarget m;
  _typebuf<char> b(4);
  ASSERT_TRUE(m.CopyToBuffer(b));
  EXPECT_EQ(b.count, 0);
  m.Write("hello", 5);
  EXPECT_EQ(Contents(m), "hello");
}

TEST(BufWrapperIO, ReadOnlyAndFixedSize) {
  char buf[4] = {'a', 'b', 'c', 'd'};
  cBufWrapperIO ro(static_cast<const void*>(buf), 4);
  EXPECT_EQ(ro.Write("x", 1), 0u);
  EXPECT_EQ(ro.Write("xyz", 3), 0u);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  cBufWrapperIO rw(buf, 3, true);
  EXPECT_EQ(rw.Write("12345", 5), 3u);
  EXPECT_EQ(std::string(buf, 4), "123d") << "never past its size";
  EXPECT_EQ(rw.Write("9", 1), 0u);
  EXPECT_FALSE(rw.SetSize(4));
  EXPECT_TRUE(rw.Attach(buf + 1, 2, false));
  EXPECT_EQ(rw.GetSize(), 2u);
  EXPECT_EQ(Bytes(rw, 0, 5), "23");
  EXPECT_FALSE(rw.Attach(static_cast<void*>(nullptr), 5, true));
  EXPECT_EQ(rw.GetSize(), 0u);
}

TEST(FileIOSubRange, AttachClampsToTheSource) {
  struct Case {
    uint64_t sourceSize, offset, length;
    uint64_t wantOffset, wantLength;
    bool open;
  } cases[] = {
      {50, 10, 100, 10, 40, true},
      {5, 10, 100, 5, 0, false},
      {50, 0, 50, 0, 50, true},
      {50, 50, 1, 50, 0, false},
      {50, 49, UINT64_MAX, 49, 1, true},
      {50, UINT64_MAX, UINT64_MAX, 50, 0, false},
      {0, 0, 0, 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sourceSize << " " << c.offset << " " << c.length);
    cMemIOTarget src;
    src.SetSize(c.sourceSize);
    cFileIOSubRange w(&src, c.offset, c.length);
    EXPECT_EQ(w.Offset(), c.wantOffset);
    EXPECT_EQ(w.GetSize(), c.wantLength);
    EXPECT_EQ(w.IsOpen(), c.open);
  }
  cFileIOSubRange none;
  EXPECT_FALSE(none.Attach(nullptr, 3, 4));
  EXPECT_EQ(none.GetSize(), 0u);
  EXPECT_FALSE(none.Seek(0));
  EXPECT_EQ(none.Clone(true), nullptr);
}

TEST(FileIOSubRange, InterleavedWindowsOverOneSource) {
  cMemIOTarget src;
  src.Write("aaaaabbbbbccccc", 15);
  cFileIOSubRange a(&src, 0, 5), b(&src, 5, 5), c(&src, 10, 5);
  std::string got[3];
  cFileIOSubRange* w[3] = {&a, &b, &c};
  for (int round = 0; round < 6; ++round) {
    for (int i = 0; i < 3; ++i) {
      char ch;
      if (w[i]->Read(&ch, 1) == 1) got[i] += ch;
    }
    src.Seek(round);  // someone else moves the shared source meanwhile
  }
  EXPECT_EQ(got[0], "aaaaa");
  EXPECT_EQ(got[1], "bbbbb");
  EXPECT_EQ(got[2], "ccccc");
}

TEST(FileIOSubRange, AFailedSourceSeekReadsAndWritesNothing) {
  twtest::ScriptedStream src("0123456789");
  cFileIOSubRange w(&src, 4, 4);
  src.data.Seek(0);
  src.failSeek = true;
  char buf[4];
  EXPECT_EQ(w.Read(buf, 4), 0u) << "must not read from where the source happens to be";
  EXPECT_EQ(w.Write("xx", 2), 0u);
  EXPECT_EQ(src.Content(), "0123456789");
  EXPECT_FALSE(w.Seek(1));
  src.failSeek = false;
  EXPECT_EQ(Bytes(w, 0, 4), "4567") << "the failed calls did not move the window";
}

TEST(FileIOSubRange, ClonesBorrowOrOwnAsAsked) {
  cMemIOTarget src;
  src.Write("0123456789", 10);
  cFileIOSubRange w(&src, 2, 5);
  auto dependent = w.Clone(false);
  auto independent = w.Clone(true);
  ASSERT_NE(dependent, nullptr);
  ASSERT_NE(independent, nullptr);
  src.Seek(2);
  src.Write("XY", 2);
  EXPECT_EQ(Bytes(*dependent, 0, 5), "XY456") << "a dependent clone reads the same source";
  EXPECT_EQ(Bytes(*independent, 0, 5), "23456") << "an independent clone has its own copy";
  // A clone of an owning window owns its own copy too.
  auto again = independent->Clone(false);
  ASSERT_NE(again, nullptr);
  independent.reset();
  EXPECT_EQ(Bytes(*again, 0, 5), "23456");
}

TEST(FileIOSubRange, OwnedSourceIsDeletedOnReattach) {
  // The sanitizer build reports a leak or double free if ownership is wrong.
  cFileIOSubRange w;
  auto first = std::make_unique<cMemIOTarget>();
  first->Write("abc", 3);
  cFileIOTarget* raw = first.get();
  EXPECT_TRUE(w.AttachOwned(std::move(first), 0, 3));
  EXPECT_TRUE(w.Attach(raw, 1, 2));  // the owned source stays owned, not freed
  EXPECT_EQ(Bytes(w, 0, 2), "bc");
  cMemIOTarget other;
  other.Write("xyz", 3);
  EXPECT_TRUE(w.Attach(&other, 0, 3));  // now the first one is deleted
  EXPECT_EQ(Bytes(w, 0, 3), "xyz");
}

}  // namespace
