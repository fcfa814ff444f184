#include "base/sorted_tree.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using IntTree = cSortedTree<int32_t, int32_t>;

// key(smaller,greater) with '*' for a set balance flag and '-' for an empty
// link; a leaf prints as its key (and flag) alone.
template <class Tree>
std::string Shape(const typename Tree::Node* n) {
  if (n == nullptr) return "-";
  std::string s = std::to_string(n->key);
  if (n->balance) s += '*';
  if (n->smaller == nullptr && n->greater == nullptr) return s;
  return s + "(" + Shape<Tree>(n->smaller) + "," + Shape<Tree>(n->greater) + ")";
}

std::string Build(std::initializer_list<int32_t> keys, uint32_t limit = 512) {
  IntTree t(limit);
  for (int32_t k : keys) *t.FindOrInsert(k) = k;
  return Shape<IntTree>(t.Root());
}

// Checks ordering, parent links and returns the number of nodes.
template <class Tree>
size_t CheckLinks(const typename Tree::Node* n, const typename Tree::Node* parent) {
  if (n == nullptr) return 0;
  EXPECT_EQ(n->parent, parent);
  if (n->smaller) {
    EXPECT_LT(n->smaller->key, n->key);
  }
  if (n->greater) {
    EXPECT_GT(n->greater->key, n->key);
  }
  return 1 + CheckLinks<Tree>(n->smaller, n) + CheckLinks<Tree>(n->greater, n);
}

TEST(SortedTree, ShapesOfSmallInsertions) {
  struct Case {
    std::initializer_list<int32_t> keys;
    const char* shape;
  } cases[] = {
      {{1, 2}, "1*(-,2)"},
      {{1, 2, 3}, "2(1,3)"},
      {{1, 2, 3, 4}, "2(1,3*(-,4))"},
      {{1, 2, 3, 4, 5}, "2*(1,4(3,5))"},
      {{1, 2, 3, 4, 5, 0}, "1(0,2(-,4(3,5)))"},
      {{1, 2, 3, 4, 5, 6, 7}, "4(2(1,3),6(5,7))"},
      {{5, 4, 3, 2, 1}, "4*(2(1,3),5)"},
      {{2, 1, 3}, "2*(1,3)"},
      {{1, 3, 2}, "3(1(-,2),-)"},
  };
  for (const auto& c : cases) EXPECT_EQ(Build(c.keys), c.shape);
}

TEST(SortedTree, AscendingFifteenIsPerfect) {
  IntTree t(512);
  for (int i = 1; i <= 15; ++i) *t.FindOrInsert(i) = i;
  EXPECT_EQ(Shape<IntTree>(t.Root()),
            "8(4(2(1,3),6(5,7)),12(10(9,11),14(13,15)))");
}

TEST(SortedTree, DepthLimitRebuildsAndRetries) {
  EXPECT_EQ(Build({0, 100, 1, 99, 2, 98, 3, 97}, 4), "3(1(0,2),99(98*(97,-),100))");
}

// Rebuild re-links the nodes as ascending insertion would and leaves every
// balance flag as it was: 16 keeps the flag it got as 13's parent and carries
// it as a leaf.
TEST(SortedTree, RebuildRelinksAscendingAndKeepsFlags) {
  IntTree t(512);
  std::vector<int32_t*> addr;
  for (int32_t k : {0, 6, 16, 13}) addr.push_back(t.FindOrInsert(k));
  ASSERT_EQ(Shape<IntTree>(t.Root()), "6(0,16*(13,-))");
  t.Rebuild();
  EXPECT_EQ(Shape<IntTree>(t.Root()), "6(0,13*(-,16*))");
  EXPECT_EQ(CheckLinks<IntTree>(t.Root(), nullptr), 4u);
  size_t i = 0;
  for (int32_t k : {0, 6, 16, 13}) EXPECT_EQ(t.Find(k), addr[i++]) << k;
  IntTree empty(512);
  empty.Rebuild();
  EXPECT_EQ(empty.Root(), nullptr);
}

// Erase re-inserts the rest of the node's subtree in ascending order into a
// fresh subtree hung in its place; the ancestors keep their flags.
TEST(SortedTree, EraseRebuildsTheSubtreeInPlace) {
  struct Case {
    std::initializer_list<int32_t> erase;
    const char* shape;
  } cases[] = {
      {{4}, "2*(1,5(3,6*(-,7)))"},   // the root: every other entry re-inserted
      {{6}, "4(2(1,3),5*(-,7))"},     // an inner node: only 5 and 7 move
      {{7}, "4(2(1,3),6(5,-))"},      // a leaf
      {{2}, "4(1*(-,3),6(5,7))"},
      {{4, 2}, "3*(1,6(5,7))"},       // 6 of the first result is re-inserted
  };
  for (const auto& c : cases) {
    IntTree t(512);
    for (int32_t k = 1; k <= 7; ++k) *t.FindOrInsert(k) = k;
    ASSERT_EQ(Shape<IntTree>(t.Root()), "4(2(1,3),6(5,7))");
    for (int32_t k : c.erase) EXPECT_TRUE(t.EraseKey(k)) << k;
    EXPECT_EQ(Shape<IntTree>(t.Root()), c.shape);
    EXPECT_EQ(CheckLinks<IntTree>(t.Root(), nullptr), 7 - c.erase.size());
  }
}

TEST(SortedTree, DuplicateKeyReturnsTheExistingValue) {
  cSortedTree<int32_t, std::unique_ptr<std::string>> t(512);
  auto* v = t.FindOrInsert(7);
  *v = std::make_unique<std::string>("first");
  auto* again = t.FindOrInsert(7);
  EXPECT_EQ(again, v);
  EXPECT_EQ(**again, "first");
  EXPECT_EQ(CheckLinks<decltype(t)>(t.Root(), nullptr), 1u);
}

TEST(SortedTree, KeyKindsOrder) {
  cSortedTree<int32_t, int> s(512);
  s.FindOrInsert(1);
  s.FindOrInsert(-1);
  EXPECT_EQ(s.First()->key, -1);
  cSortedTree<uint32_t, int> u(512);
  u.FindOrInsert(1);
  u.FindOrInsert(static_cast<uint32_t>(-1));
  EXPECT_EQ(u.First()->key, 1u);
  cSortedTree<sPairKey, int> p(512);
  p.FindOrInsert({0, 1});
  p.FindOrInsert({5, 0});
  EXPECT_EQ(p.First()->key.first, 5u);
  cSortedTree<char, int> c(128);
  c.FindOrInsert('a');
  c.FindOrInsert(static_cast<char>(0xE9));
  EXPECT_EQ(c.First()->key, static_cast<char>(0xE9)) << "8-bit characters compare signed";
  cSortedTree<sSeqKey<uint64_t>, int> q(2048);
  q.FindOrInsert({0x100000000ull, 2});
  q.FindOrInsert({0x100000000ull, 1});
  q.FindOrInsert({0xFFFFFFFFull, 9});
  auto* n = q.First();
  EXPECT_EQ(n->key.key, 0xFFFFFFFFull);
  n = q.Next(n);
  EXPECT_EQ(n->key.seq, 1);
}

TEST(SortedTree, AgreesWithStdMapOverRandomOperations) {
  // A small key range and a low limit force duplicates, rebuilds and erasures
  // of inner nodes.
  IntTree t(24);
  std::map<int32_t, int32_t*> ref;  // key -> value address handed out
  std::mt19937 rng(12345);
  for (int step = 0; step < 60000; ++step) {
    const int32_t key = static_cast<int32_t>(rng() % 2000) - 1000;
    switch (rng() % 5) {
      case 0:
      case 1:
      case 2: {
        int32_t* v = t.FindOrInsert(key);
        ASSERT_NE(v, nullptr);
        auto it = ref.find(key);
        if (it == ref.end()) {
          *v = key * 3;
          ref[key] = v;
        } else {
          ASSERT_EQ(v, it->second) << "nodes never move";
        }
        break;
      }
      case 3: {
        const bool erased = t.EraseKey(key);
        ASSERT_EQ(erased, ref.erase(key) == 1);
        break;
      }
      default: {
        int32_t* v = t.Find(key);
        auto it = ref.find(key);
        ASSERT_EQ(v, it == ref.end() ? nullptr : it->second);
        auto* prev = t.FindOrPrev(key);
        auto up = ref.upper_bound(key);
        if (up == ref.begin())
          ASSERT_EQ(prev, nullptr);
        else
          ASSERT_EQ(prev->key, std::prev(up)->first);
        auto* next = t.FindOrNext(key);
        auto lo = ref.lower_bound(key);
        if (lo == ref.end())
          ASSERT_EQ(next, nullptr);
        else
          ASSERT_EQ(next->key, lo->first);
      }
    }
  }
  ASSERT_EQ(CheckLinks<IntTree>(t.Root(), nullptr), ref.size());
  auto it = ref.begin();
  for (auto* n = t.First(); n != nullptr; n = IntTree::Next(n), ++it) {
    ASSERT_NE(it, ref.end());
    EXPECT_EQ(n->key, it->first);
    EXPECT_EQ(&n->value, it->second);
    EXPECT_EQ(n->value, n->key * 3);
  }
  EXPECT_EQ(it, ref.end());
  auto rit = ref.rbegin();
  for (auto* n = t.Last(); n != nullptr; n = IntTree::Prev(n), ++rit) EXPECT_EQ(n->key, rit->first);
}

TEST(SortedTree, AlternatingEndsForceRebuilds) {
  IntTree t(512);
  std::vector<int32_t*> addr(20000);
  int lo = 0, hi = 19999;
  for (int i = 0; i < 20000; ++i) {
    const int k = (i % 2 == 0) ? lo++ : hi--;
    addr[k] = t.FindOrInsert(k);
    ASSERT_NE(addr[k], nullptr);
    *addr[k] = k;
  }
  int expect = 0;
  for (auto* n = t.First(); n != nullptr; n = IntTree::Next(n)) {
    ASSERT_EQ(n->key, expect);
    ASSERT_EQ(&n->value, addr[expect]) << "a rebuild moved no node";
    ++expect;
  }
  EXPECT_EQ(expect, 20000);
  for (int k = 0; k < 20000; k += 777) EXPECT_EQ(t.Find(k), addr[k]);
}

TEST(SortedTree, EraseRootKeepsOrderAndAddresses) {
  IntTree t(512);
  std::map<int32_t, int32_t*> addr;
  std::mt19937 rng(7);
  while (addr.size() < 1000) {
    const int32_t k = static_cast<int32_t>(rng() % 100000);
    addr[k] = t.FindOrInsert(k);
  }
  const int32_t rootKey = t.Root()->key;
  EXPECT_TRUE(t.Erase(t.Root()));
  addr.erase(rootKey);
  EXPECT_EQ(CheckLinks<IntTree>(t.Root(), nullptr), 999u);
  auto it = addr.begin();
  for (auto* n = t.First(); n != nullptr; n = IntTree::Next(n), ++it) {
    EXPECT_EQ(n->key, it->first);
    EXPECT_EQ(&n->value, it->second);
  }
  EXPECT_FALSE(t.EraseKey(rootKey));
  EXPECT_FALSE(t.Erase(nullptr));
  EXPECT_EQ(CheckLinks<IntTree>(t.Root(), nullptr), 999u);
}

TEST(SortedTree, FindOrPrevAndNextAtTheEnds) {
  IntTree t(512);
  EXPECT_EQ(t.FindOrPrev(5), nullptr);
  EXPECT_EQ(t.First(), nullptr);
  for (int k : {10, 20, 30}) t.FindOrInsert(k);
  EXPECT_EQ(t.FindOrPrev(5), nullptr);
  EXPECT_EQ(t.FindOrPrev(99)->key, 30);
  EXPECT_EQ(t.FindOrPrev(25)->key, 20);
  EXPECT_EQ(t.FindOrNext(25)->key, 30);
  EXPECT_EQ(t.FindOrNext(31), nullptr);
  EXPECT_EQ(t.FindOrNext(1)->key, 10);
}

struct Probe {
  static inline int alive = 0;
  Probe() { ++alive; }
  ~Probe() { --alive; }
};

// With the limit 2 the tree holds depth 3 at most: 5 would attach at depth 4
// even after the rebuild, so it is refused, its value destroyed, and the map
// keeps its entries in the rebuilt shape.
TEST(SortedTree, InsertionPastTheLimitAfterRebuildFails) {
  cSortedTree<int32_t, Probe> t(2);
  for (int32_t k : {1, 2, 3, 4}) ASSERT_NE(t.FindOrInsert(k), nullptr) << k;
  EXPECT_EQ(Shape<decltype(t)>(t.Root()), "2(1,3*(-,4))");
  EXPECT_EQ(t.FindOrInsert(5), nullptr);
  EXPECT_EQ(Probe::alive, 4);
  EXPECT_EQ(Shape<decltype(t)>(t.Root()), "2(1,3*(-,4))");
  EXPECT_EQ(CheckLinks<decltype(t)>(t.Root(), nullptr), 4u);
  EXPECT_NE(t.FindOrInsert(0), nullptr) << "a shallower place still takes a key";
  EXPECT_EQ(Probe::alive, 5);
}

TEST(SortedTree, ClearAndDestructionDeleteValues) {
  {
    cSortedTree<int32_t, Probe> t(512);
    t.Clear();  // empty: nothing happens
    for (int i = 0; i < 100; ++i) t.FindOrInsert(i);
    t.FindOrInsert(5);  // duplicate: the offered value is destroyed
    EXPECT_EQ(Probe::alive, 100);
    t.EraseKey(50);
    EXPECT_EQ(Probe::alive, 99);
    t.Clear();
    EXPECT_EQ(Probe::alive, 0);
    EXPECT_EQ(t.DepthLimit(), 512u);
    for (int i = 0; i < 10; ++i) t.FindOrInsert(i);
    EXPECT_EQ(Probe::alive, 10);
  }
  EXPECT_EQ(Probe::alive, 0);
}

}  // namespace
