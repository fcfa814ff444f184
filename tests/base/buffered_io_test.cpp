#include "base/buffered_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scripted_stream.h"

namespace {

using twtest::ScriptedStream;

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('A' + i % 23);
  return s;
}

TEST(MemBufferedIO, ShortSourceReadsAreCutAndEnd) {
  ScriptedStream src(Pattern(100));
  cMemBufferedIO b(&src, 4096);
  char buf[300];
  EXPECT_EQ(b.Read(buf, 10), 10u);
  EXPECT_EQ(src.reads, 1);
  EXPECT_EQ(src.readSizes.back(), 4096u) << "refills ask for the whole block";
  EXPECT_EQ(b.Read(buf, 200), 90u);
  EXPECT_EQ(std::string(buf, 90), Pattern(100).substr(10));
  EXPECT_EQ(b.Read(buf, 1), 0u);
}

TEST(MemBufferedIO, SeekingInsideTheBlockCostsNoSourceRead) {
  const std::string data = Pattern(10000);
  ScriptedStream src(data);
  cMemBufferedIO b(&src, 4096);
  char buf[10];
  ASSERT_EQ(b.Read(buf, 10), 10u);
  const int reads = src.reads;
  ASSERT_TRUE(b.Seek(5));
  ASSERT_EQ(b.Read(buf, 3), 3u);
  EXPECT_EQ(std::string(buf, 3), data.substr(5, 3));
  ASSERT_TRUE(b.Seek(4000));
  ASSERT_EQ(b.Read(buf, 2), 2u);
  EXPECT_EQ(std::string(buf, 2), data.substr(4000, 2));
  EXPECT_EQ(src.reads, reads);
  // Beyond the block: a refill at the new position.
  ASSERT_TRUE(b.Seek(9000));
  ASSERT_EQ(b.Read(buf, 1), 1u);
  EXPECT_EQ(buf[0], data[9000]);
  EXPECT_EQ(src.reads, reads + 1);
  // Past the end any position is accepted; reading there brings nothing.
  ASSERT_TRUE(b.Seek(20000));
  EXPECT_EQ(b.Read(buf, 1), 0u);
}

TEST(MemBufferedIO, LargeReadsBypassTheBlock) {
  const std::string data = Pattern(12000);
  ScriptedStream src(data);
  cMemBufferedIO b(&src, 4096);
  std::string buf(5000, '\0');
  ASSERT_EQ(b.Read(buf.data(), 3), 3u);
  ASSERT_EQ(b.Read(buf.data(), 5000), 5000u);
  // 4,093 bytes from the block, then 907 more fit a refill.
  EXPECT_EQ(buf, data.substr(3, 5000));
  ASSERT_TRUE(b.Seek(1000));  // out of the block: it is dropped
  src.readSizes.clear();
  ASSERT_EQ(b.Read(buf.data(), 5000), 5000u);
  ASSERT_EQ(src.readSizes.size(), 1u);
  EXPECT_EQ(src.readSizes[0], 5000u) << "straight to the source";
  EXPECT_EQ(buf, data.substr(1000, 5000));
}

TEST(MemBufferedIO, EveryByteByEverySplit) {
  // Reads of every size from 1 to 40 over a block of 16 return the stream
  // exactly, across refills and bypasses.
  const std::string data = Pattern(333);
  for (uint32_t step = 1; step <= 40; ++step) {
    ScriptedStream src(data);
    cMemBufferedIO b(&src, 16);
    std::string got;
    std::string buf(step, '\0');
    for (uint32_t n; (n = b.Read(buf.data(), step)) != 0;) got.append(buf.data(), n);
    ASSERT_EQ(got, data) << "step " << step;
  }
}

TEST(MemBufferedIO, WritesLandAtTheLogicalPosition) {
  ScriptedStream src(Pattern(100));
  cMemBufferedIO b(&src, 64);
  char buf[8];
  ASSERT_EQ(b.Read(buf, 5), 5u);  // the source now stands at 64
  ASSERT_EQ(b.Write("###", 3), 3u);
  std::string want = Pattern(100);
  want.replace(5, 3, "###");
  EXPECT_EQ(src.Content(), want);
  ASSERT_TRUE(b.Seek(4));
  ASSERT_EQ(b.Read(buf, 5), 5u);
  EXPECT_EQ(std::string(buf, 5), want.substr(4, 5)) << "the block was dropped by the write";
}

TEST(MemBufferedIO, SeekFromEndIsBounded) {
  ScriptedStream src(Pattern(100));
  cMemBufferedIO b(&src, 16);
  ASSERT_TRUE(b.Seek(40));
  EXPECT_FALSE(b.SeekFromEnd(101));
  char c;
  ASSERT_EQ(b.Read(&c, 1), 1u);
  EXPECT_EQ(c, Pattern(1)[0]) << "a failed distance leaves the position at 0";
  ASSERT_TRUE(b.SeekFromEnd(1));
  ASSERT_EQ(b.Read(&c, 1), 1u);
  EXPECT_EQ(c, Pattern(100)[99]);
}

TEST(MemBufferedIO, ASourceSeekFailureReadsNothing) {
  ScriptedStream src(Pattern(100));
  cMemBufferedIO b(&src, 16);
  src.failSeek = true;
  char buf[40];
  EXPECT_EQ(b.Read(buf, 4), 0u);
  EXPECT_EQ(b.Read(buf, 40), 0u);
  EXPECT_EQ(b.Write("x", 1), 0u);
  src.failSeek = false;
  ASSERT_EQ(b.Read(buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), Pattern(4));
}

TEST(MemBufferedIO, NegativeCapacityFailsAttach) {
  ScriptedStream src(Pattern(10));
  cMemBufferedIO b;
  EXPECT_FALSE(b.Attach(&src, -1));
  char buf[10];
  EXPECT_EQ(b.Read(buf, 10), 10u) << "without a block every read goes to the source";
}

TEST(MemBufferedIO, ConcurrentSingleByteReadsTakeEachByteOnce) {
  // Each Read is atomic: threads sharing one stream together read every byte
  // exactly once.
  const std::string data = Pattern(20000);
  ScriptedStream src(data);
  cMemBufferedIO b(&src, 512);
  std::vector<std::string> got(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      char c;
      while (b.Read(&c, 1) == 1) got[t] += c;
    });
  for (auto& t : threads) t.join();
  std::string all;
  for (auto& g : got) all += g;
  std::string want = data;
  std::sort(all.begin(), all.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(all.size(), data.size());
  EXPECT_TRUE(all == want);
}

TEST(MemBufferedIO, OwnedSourceGoesWithTheStream) {
  auto owned = std::make_unique<ScriptedStream>(Pattern(30));
  cMemBufferedIO b;
  ASSERT_TRUE(b.AttachOwned(std::move(owned), 8));
  auto c = b.Clone(false);  // an owning stream's clone owns a copy
  ASSERT_NE(c, nullptr);
  b.Close();
  EXPECT_FALSE(b.IsOpen());
  char buf[30];
  EXPECT_EQ(c->Read(buf, 30), 30u);
  EXPECT_EQ(std::string(buf, 30), Pattern(30));
}

TEST(MemBufferedLinearWriterIO, CombinesSmallWrites) {
  ScriptedStream target;
  {
    cMemBufferedLinearWriterIO w(&target, 8);
    EXPECT_EQ(w.Write("abc", 3), 3u);
    EXPECT_EQ(w.Write("def", 3), 3u);
    EXPECT_EQ(target.writes, 0);
    EXPECT_EQ(w.Write("ghi", 3), 3u);
    ASSERT_EQ(target.writeSizes, std::vector<uint32_t>{6});
    EXPECT_EQ(w.GetSize(), 9u);
    w.Close();
    EXPECT_EQ(target.writeSizes, (std::vector<uint32_t>{6, 3}));
    EXPECT_FALSE(w.Failed());
  }
  EXPECT_EQ(target.Content(), "abcdefghi");
}

TEST(MemBufferedLinearWriterIO, LargeWritesPassThroughAfterPending) {
  ScriptedStream target;
  cMemBufferedLinearWriterIO w(&target, 8);
  w.Write("12345678", 8);  // a full block's worth goes straight through
  w.Write("ab", 2);
  const std::string big = Pattern(20);
  EXPECT_EQ(w.Write(big.data(), 20), 20u);
  w.Write("z", 1);
  w.Close();
  EXPECT_EQ(target.writeSizes, (std::vector<uint32_t>{8, 2, 20, 1}));
  EXPECT_EQ(target.Content(), "12345678ab" + big + "z");
}

TEST(MemBufferedLinearWriterIO, AShortFlushIsStickyAndNeverDuplicates) {
  // The target takes 10 bytes in all. The first flush gives it 6 of 6, the
  // second 4 of 6: the 4 must not be offered again and nothing may follow.
  ScriptedStream target;
  target.writeBudget = 10;
  cMemBufferedLinearWriterIO w(&target, 8);
  EXPECT_EQ(w.Write("abcdef", 6), 6u);
  EXPECT_EQ(w.Write("ghijkl", 6), 6u);  // flushes "abcdef"
  EXPECT_EQ(w.Write("mnopqr", 6), 0u);  // flushing "ghijkl" comes up short
  EXPECT_TRUE(w.Failed());
  EXPECT_EQ(target.Content(), "abcdefghij");
  const int writes = target.writes;
  target.writeBudget = UINT64_MAX;  // even if the target recovers
  EXPECT_EQ(w.Write("x", 1), 0u);
  EXPECT_FALSE(w.Flush());
  EXPECT_FALSE(w.Seek(0));
  w.Close();
  EXPECT_TRUE(w.Failed()) << "Close reports the failure";
  EXPECT_EQ(target.writes, writes) << "no target write after the failure";
  EXPECT_EQ(target.Content(), "abcdefghij");
  // A new attachment starts clean.
  ScriptedStream other;
  ASSERT_TRUE(w.Attach(&other, 8));
  EXPECT_FALSE(w.Failed());
  EXPECT_EQ(w.Write("ok", 2), 2u);
  EXPECT_TRUE(w.Flush());
  EXPECT_EQ(other.Content(), "ok");
}

TEST(MemBufferedLinearWriterIO, AShortFlushOnCloseIsReported) {
  ScriptedStream target;
  target.writeBudget = 2;
  cMemBufferedLinearWriterIO w(&target, 8);
  EXPECT_EQ(w.Write("abc", 3), 3u);
  w.Close();
  EXPECT_TRUE(w.Failed());
  EXPECT_EQ(target.Content(), "ab");
}

TEST(MemBufferedLinearWriterIO, SeekFlushesFirst) {
  ScriptedStream target(std::string(10, '.'));
  cMemBufferedLinearWriterIO w(&target, 8);
  w.Write("ab", 2);
  ASSERT_TRUE(w.Seek(6));
  w.Write("cd", 2);
  w.Close();
  EXPECT_EQ(target.Content(), "ab....cd..");
}

}  // namespace
