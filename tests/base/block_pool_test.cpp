#include "base/block_pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/page_memory.h"

namespace {

TEST(BlockPool, SmallAllocationsAreConsecutiveBytesOfOnePage) {
  cBlockPool pool;
  char* a = static_cast<char*>(pool.Alloc(10));
  char* b = static_cast<char*>(pool.Alloc(10));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b - a, 10);
  std::memset(a, 0x5A, 20);  // both pieces are writable memory
  EXPECT_EQ(b[9], 0x5A);
}

TEST(BlockPool, RequestThatDoesNotFitStartsANewPageAndPageSizeGoesToTheHeap) {
  const int64_t before = tw::PageBlocksInUse();
  cBlockPool pool;
  char* a = static_cast<char*>(pool.Alloc(10));
  EXPECT_EQ(tw::PageBlocksInUse() - before, 2);  // one directory, one page
  char* b = static_cast<char*>(pool.Alloc(65535));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(tw::PageBlocksInUse() - before, 3);  // 10 + 65535 does not fit: second page
  EXPECT_NE(b, a + 10);
  b[65534] = 1;
  char* big = static_cast<char*>(pool.Alloc(65536));
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(tw::PageBlocksInUse() - before, 4);  // a block directory; the block is heap memory
  big[65535] = 1;
  // Room left in the second page (one byte) is still used by a request that fits.
  char* c = static_cast<char*>(pool.Alloc(1));
  EXPECT_EQ(c, b + 65535);
  pool.FreeAll();
  EXPECT_EQ(tw::PageBlocksInUse(), before);
}

TEST(BlockPool, ExactlyFullPageThenNextRequestTakesAnotherPage) {
  cBlockPool pool(4, 100);
  char* a = static_cast<char*>(pool.Alloc(60));
  char* b = static_cast<char*>(pool.Alloc(40));  // fills the page to exactly 100
  char* c = static_cast<char*>(pool.Alloc(0));   // zero bytes still fit at the end
  char* d = static_cast<char*>(pool.Alloc(1));
  EXPECT_EQ(b, a + 60);
  EXPECT_EQ(c, a + 100);
  ASSERT_NE(d, nullptr);
  EXPECT_NE(d, a + 100);
}

TEST(BlockPool, ChainsDirectoriesAndFreesEverything) {
  const int64_t before = tw::PageBlocksInUse();
  {
    // Three usable slots per directory: 7 pages need three page directories,
    // 5 large blocks two block directories.
    cBlockPool pool(4, 64);
    std::vector<char*> pages;
    for (int i = 0; i < 7; ++i) {
      char* p = static_cast<char*>(pool.Alloc(64 - 1));
      ASSERT_NE(p, nullptr);
      std::memset(p, i, 63);
      pages.push_back(p);
    }
    EXPECT_EQ(tw::PageBlocksInUse() - before, 7 + 3);
    for (int i = 0; i < 5; ++i) {
      char* p = static_cast<char*>(pool.Alloc(100 + i));
      ASSERT_NE(p, nullptr);
      std::memset(p, 0xEE, 100 + i);
    }
    EXPECT_EQ(tw::PageBlocksInUse() - before, 7 + 3 + 2);
    // Earlier pages keep their content while the chains grow.
    for (int i = 0; i < 7; ++i) EXPECT_EQ(pages[i][62], i);

    pool.FreeAll();
    EXPECT_EQ(tw::PageBlocksInUse(), before);
    // Reusable after FreeAll: a fresh page chain.
    char* a = static_cast<char*>(pool.Alloc(10));
    char* b = static_cast<char*>(pool.Alloc(10));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(b, a + 10);
    EXPECT_EQ(tw::PageBlocksInUse() - before, 2);
  }
  // The destructor frees what is left; large blocks leaking would show under ASan.
  EXPECT_EQ(tw::PageBlocksInUse(), before);
}

TEST(BlockPool, NegativeRequestIsRefusedWithoutChangingTheArena) {
  cBlockPool pool;
  char* a = static_cast<char*>(pool.Alloc(3));
  EXPECT_EQ(pool.Alloc(-1), nullptr);
  EXPECT_EQ(pool.Alloc(INT32_MIN), nullptr);
  EXPECT_EQ(static_cast<char*>(pool.Alloc(3)), a + 3);
}

TEST(BlockPool, FreeAllOnEmptyArenaAndTwiceIsHarmless) {
  const int64_t before = tw::PageBlocksInUse();
  cBlockPool pool;
  pool.FreeAll();
  pool.Alloc(70000);
  pool.FreeAll();
  pool.FreeAll();
  EXPECT_EQ(tw::PageBlocksInUse(), before);
}

}  // namespace
