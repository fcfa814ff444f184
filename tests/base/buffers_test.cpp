#include "base/buffers.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

namespace {

std::u16string Str(const char16_t* s) { return s ? std::u16string(s) : std::u16string(); }

TEST(GuardChar, AssignNullAndEmpty) {
  _guardchar<char16_t> s;
  s.Assign(nullptr);
  EXPECT_EQ(s.text, nullptr);
  s.Assign(u"");
  ASSERT_NE(s.text, nullptr);
  EXPECT_EQ(s.text[0], 0);
  EXPECT_TRUE(s.IsEmpty());
  s.Assign(u"abc");
  EXPECT_EQ(Str(s.text), u"abc");
  s.Assign(nullptr);  // clears the old text
  EXPECT_EQ(s.text, nullptr);
}

TEST(GuardChar, AssignOwnTextIsSafe) {
  _guardchar<char16_t> s(u"hello world");
  s.Assign(s.text + 6);
  EXPECT_EQ(Str(s.text), u"world");
  s.Assign(s.text);
  EXPECT_EQ(Str(s.text), u"world");
  _guardchar<char> n("abcdef");
  n.AssignN(n.text + 2, 3);
  EXPECT_STREQ(n.text, "cde");
}

TEST(GuardChar, AssignNCopiesAtMostNAndStopsAtZero) {
  struct Case {
    const char16_t* src;
    uint32_t n;
    std::u16string expect;
  } cases[] = {
      {u"abcdef", 3, u"abc"},
      {u"abc", 0, u""},
      {u"ab\0cd", 5, u"ab"},
      {u"abc", 3, u"abc"},
  };
  for (const auto& c : cases) {
    _guardchar<char16_t> s;
    s.AssignN(c.src, c.n);
    ASSERT_NE(s.text, nullptr) << c.n;
    EXPECT_EQ(Str(s.text), c.expect) << c.n;
    EXPECT_EQ(s.text[c.n], 0) << "terminator at index n";
  }
  _guardchar<char16_t> s(u"x");
  s.AssignN(nullptr, 4);
  EXPECT_EQ(s.text, nullptr);
}

TEST(GuardChar, AllocateZeroed) {
  _guardchar<char16_t> s(u"old");
  s.AllocateZeroed(0);
  EXPECT_EQ(s.text, nullptr);
  s.AllocateZeroed(5);
  ASSERT_NE(s.text, nullptr);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.text[i], 0);
  EXPECT_TRUE(s.IsEmpty());
}

TEST(GuardChar, CopiesOwnTheirText) {
  _guardchar<char> a("one");
  _guardchar<char> b(a);
  EXPECT_NE(a.text, b.text);
  EXPECT_STREQ(b.text, "one");
  b = a;
  EXPECT_NE(a.text, b.text);
}

struct Counting : _guardchar<char16_t> {
  int* clears;
  explicit Counting(int* c) : clears(c) {}
  void Clear() override {
    ++*clears;
    _guardchar<char16_t>::Clear();
  }
};

TEST(GuardChar, AssignClearsThroughTheVirtualTable) {
  int clears = 0;
  Counting s(&clears);
  s.Assign(u"a");
  s.AssignN(u"b", 1);
  s.AllocateZeroed(2);
  EXPECT_EQ(clears, 3);
}

// The size guard: byte counts past 32 bits fail as allocation failures on both
// targets instead of wrapping to a short block.
TEST(SizeGuard, LargeRequestsThrowBadAlloc) {
  _guardchar<char16_t> s(u"keep?");
  // 2^31 units plus the terminator is more than 2^32 bytes.
  EXPECT_THROW(s.AssignN(u"x", 0x7FFFFFFFu), std::bad_alloc);
  EXPECT_EQ(s.text, nullptr) << "cleared before allocating";
  EXPECT_THROW(s.AllocateZeroed(0x80000000u), std::bad_alloc);
  EXPECT_THROW(_typebuf<int32_t>(-1), std::bad_alloc);
  EXPECT_THROW(_typebuf<int32_t>(0x40000000), std::bad_alloc);   // 2^32 bytes
  EXPECT_THROW(_typebuf<uint64_t>(0x20000000), std::bad_alloc);  // 2^32 bytes
  _classbuf<_guardchar<char>> c;
  EXPECT_THROW(c.Allocate(-2), std::bad_alloc);
  EXPECT_EQ(c.count, 0);
}

// A failed allocation leaves the buffer freed and consistent: empty with
// count 0, not a null array with the requested count.
TEST(SizeGuard, FailedReallocationLeavesTheBufferEmpty) {
  _typebuf<int32_t> b(4);
  EXPECT_THROW(b.Reallocate(0x40000000), std::bad_alloc);  // 2^32 bytes
  EXPECT_EQ(b.data, nullptr);
  EXPECT_EQ(b.count, 0);
  EXPECT_THROW((void)b[0], cException);
  _classbuf<_guardchar<char16_t>> c;
  c.Allocate(2);
  c[0].Assign(u"x");
  EXPECT_THROW(c.Allocate(0x7FFFFFFF), std::bad_alloc);
  EXPECT_EQ(c.data, nullptr);
  EXPECT_EQ(c.count, 0);
}

TEST(SizeGuard, BoundaryArithmetic) {
  EXPECT_EQ(tw::GuardedBytes(0x7FFFFFFF, 2), 0xFFFFFFFEu);
  EXPECT_THROW(tw::GuardedBytes(0x80000000ll, 2), std::bad_alloc);
  EXPECT_EQ(tw::GuardedBytes(0xFFFFFFFFll, 1), 0xFFFFFFFFu);
  EXPECT_THROW(tw::GuardedBytes(0x100000000ll, 1), std::bad_alloc);
  EXPECT_THROW(tw::GuardedBytes(0x0CCCCCCDll, 20), std::bad_alloc);  // 20 * n wraps 32 bits
}

template <class Buf>
void ExpectBoundsThrow(const Buf& b, int32_t index, int32_t line, const std::u16string& msg) {
  try {
    (void)b[index];
    ADD_FAILURE() << "index " << index << " did not throw";
  } catch (const cException& e) {
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.line, line);
    EXPECT_EQ(Str(e.message.text), msg);
    const std::u16string file = Str(e.sourceFile.text);
    EXPECT_NE(file.find(u"base/buffers"), std::u16string::npos);
  }
}

TEST(Buffers, BoundsTestThrowsWithMessageCodeAndLine) {
  _typebuf<int32_t> empty;
  _typebuf<int32_t> three(3);
  _classbuf<_guardchar<char16_t>> strings;
  strings.Allocate(2);
  for (int32_t i : {0, -1, 1}) ExpectBoundsThrow(empty, i, 27, u"_typebuf::Out of bounds");
  for (int32_t i : {-1, 3, INT32_MIN, INT32_MAX}) ExpectBoundsThrow(three, i, 27, u"_typebuf::Out of bounds");
  for (int32_t i : {-1, 2}) ExpectBoundsThrow(strings, i, 164, u"_classbuf::Out of bounds");
  EXPECT_NO_THROW(three[2] = 7);
  EXPECT_NO_THROW(strings[1].Assign(u"x"));
}

TEST(Buffers, ExceptionCopiesOwnTheirTexts) {
  cException a(u"f.cpp", 9, 4, u"msg");
  cException b(a);
  EXPECT_NE(a.message.text, b.message.text);
  EXPECT_EQ(Str(b.message.text), u"msg");
  EXPECT_EQ(Str(b.sourceFile.text), u"f.cpp");
  EXPECT_EQ(b.line, 9);
  EXPECT_EQ(b.code, 4);
}

TEST(TypeBuf, ReallocateResizeAndReset) {
  _typebuf<int32_t> b(4);
  for (int i = 0; i < 4; ++i) b[i] = i + 10;
  int32_t* before = b.data;
  b.Resize(4);
  EXPECT_EQ(b.data, before) << "same count keeps the very same array";
  b.Resize(2);
  ASSERT_EQ(b.count, 2);
  EXPECT_EQ(b[0], 10);
  EXPECT_EQ(b[1], 11);
  b.Resize(4);
  ASSERT_EQ(b.count, 4);
  EXPECT_EQ(b[0], 10);
  EXPECT_EQ(b[1], 11);
  b.Resize(0);
  EXPECT_EQ(b.data, nullptr);
  EXPECT_EQ(b.count, 0);
  b.Reallocate(5);
  EXPECT_EQ(b.count, 5);
  EXPECT_NE(b.data, nullptr);
  b.Reallocate(-3);
  EXPECT_EQ(b.count, 0);
  EXPECT_EQ(b.data, nullptr);
  b.Reallocate(2);
  b.Free();
  EXPECT_EQ(b.data, nullptr);
  EXPECT_EQ(b.count, 2) << "Free leaves the count";
  b.Reset();
  EXPECT_EQ(b.count, 0);
  _typebuf<char> zero(0);
  EXPECT_EQ(zero.data, nullptr);
}

struct Tracked {
  static inline std::string log;
  int id;
  static inline int next = 0;
  Tracked() : id(next++) {}
  virtual ~Tracked() { log += std::to_string(id); }
};

TEST(ClassBuf, ConstructsAndDestroysInArrayOrder) {
  Tracked::log.clear();
  Tracked::next = 0;
  {
    _classbuf<Tracked> c;
    c.Allocate(3);
    EXPECT_EQ(c.count, 3);
    EXPECT_EQ(c[2].id, 2);
    c.Allocate(2);  // destroys 0,1,2 first
    EXPECT_EQ(Tracked::log, "012");
    EXPECT_EQ(c[0].id, 3);
  }
  EXPECT_EQ(Tracked::log, "01234");
}

struct ThrowsThird {
  static inline int built = 0, destroyed = 0;
  ThrowsThird() {
    if (built == 2) throw std::bad_alloc();
    ++built;
  }
  ~ThrowsThird() { ++destroyed; }
};

TEST(ClassBuf, FailedConstructionUnwindsBuiltItems) {
  _classbuf<ThrowsThird> c;
  EXPECT_THROW(c.Allocate(5), std::bad_alloc);
  EXPECT_EQ(ThrowsThird::destroyed, 2);
  EXPECT_EQ(c.data, nullptr);
  EXPECT_EQ(c.count, 0);
}

TEST(ClassBuf, GetAtOrNullNeverThrows) {
  _classbuf<_guardchar<char16_t>> c;
  EXPECT_EQ(c.GetAtOrNull(0), nullptr);
  c.Allocate(3);
  c[1].Assign(u"one");
  EXPECT_EQ(c.GetAtOrNull(-1), nullptr);
  EXPECT_EQ(c.GetAtOrNull(3), nullptr);
  EXPECT_EQ(c.GetAtOrNull(0), nullptr) << "an empty string reads as null";
  EXPECT_EQ(Str(c.GetAtOrNull(1)), u"one");
}

}  // namespace
