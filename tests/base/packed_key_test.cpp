#include "base/packed_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The key's bytes, most significant byte of each word first, as hex.
std::string Bytes(const cPackedKey& k) {
  _typebuf<char> b;
  k.ToBytes(b);
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (int32_t i = 0; i < b.count; ++i) {
    const auto c = static_cast<unsigned char>(b.data[i]);
    if (i > 0) out += (i % 4 == 0) ? " | " : " ";
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

cPackedKey Text(const char* s, int32_t n = -1) {
  cPackedKey k;
  k.FromText(s, n);
  return k;
}

cPackedKey Wide(const char16_t* s, int32_t n = -1) {
  cPackedKey k;
  k.FromWide(s, n);
  return k;
}

TEST(PackedKey, PacksBigEndian) {
  struct Case {
    cPackedKey key;
    int32_t count;
    std::string bytes;
  } cases[] = {
      {Text("abc"), 1, "61 62 63 00"},
      {Text("abcd"), 1, "61 62 63 64"},
      {Text("abcde"), 2, "61 62 63 64 | 65 00 00 00"},
      {Text("ab\0\0\0\0", 6), 2, "61 62 00 00 | 00 00 00 00"},  // counted zeros stay
      {Wide(u"ab\0\0\0\0", 6), 1, "61 62 00 00"},               // an all-zero last word is dropped
      {Wide(u"\u00E9"), 1, "C3 A9 00 00"},
      {Wide(u"\u20AC"), 1, "E2 82 AC 00"},
      {Wide(u"\U0001F600"), 2, "ED A0 BD ED | B8 80 00 00"},
      {Wide(u"abcd", -2), 1, "61 62 63 64"},  // the terminator's zero word is dropped
      {Wide(u"abc", -2), 1, "61 62 63 00"},
      {Wide(u"abcd"), 1, "61 62 63 64"},
      {Wide(u"\0\0\0", 3), 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.key.count, c.count) << c.bytes;
    EXPECT_EQ(Bytes(c.key), c.bytes);
    EXPECT_EQ(c.key.words == nullptr, c.key.count == 0) << c.bytes;
  }
  EXPECT_EQ(Text("abcde").words[1], 0x65000000u);
}

TEST(PackedKey, EmptyKeys) {
  const cPackedKey keys[] = {cPackedKey(), Text(nullptr), Text(""), Text("abc", 0), Wide(nullptr),
                             Wide(u""), Wide(u"abc", 0)};
  for (const auto& k : keys) {
    EXPECT_EQ(k.count, 0);
    EXPECT_EQ(k.words, nullptr);
    EXPECT_EQ(cPackedKey::Compare(k, cPackedKey()), 0);
    EXPECT_TRUE(cPackedKey::Less(k, Text("\x01")));
  }
}

TEST(PackedKey, OrdersLikeUnsignedBytes) {
  const char* texts[] = {"", "a", "ab", "abc", "abcd", "abcde", "abcdef", "abcdefgh", "abcdefghi",
                         "abd", "ab\x7F", "ab\x80", "ab\xFF", "b", "ba", "\x80", "\xFF\xFF\xFF\xFF",
                         "Z", "zz", "a\x01", "abcd\x01"};
  for (const char* a : texts) {
    for (const char* b : texts) {
      const std::string x(a), y(b);
      const int expect = x < y ? -1 : (x > y ? 1 : 0);  // std::string compares bytes unsigned
      const cPackedKey ka = Text(a), kb = Text(b);
      ASSERT_EQ(cPackedKey::Compare(ka, kb), expect) << x << " vs " << y;
      EXPECT_EQ(cPackedKey::Less(ka, kb), expect < 0);
      EXPECT_EQ(cPackedKey::Greater(ka, kb), expect > 0);
      EXPECT_EQ(cPackedKey::Equal(ka, kb), expect == 0);
      EXPECT_EQ(cPackedKey::NotEqual(ka, kb), expect != 0);
    }
  }
}

TEST(PackedKey, WideKeysOrderByCodeUnit) {
  std::vector<std::u16string> texts = {u"", u"a", u"A", u"\u00E9", u"\u07FF", u"\u0800", std::u16string(1, char16_t{0xD83D}),
                                       u"\uFFFF", u"a\u00E9", u"aa", u"\u20AC\u20AC", u"Zeta"};
  for (const auto& a : texts)
    for (const auto& b : texts) {
      const int expect = a < b ? -1 : (a > b ? 1 : 0);
      EXPECT_EQ(cPackedKey::Compare(Wide(a.c_str()), Wide(b.c_str())), expect);
    }
}

TEST(PackedKey, CopiesOwnTheirWords) {
  cPackedKey* src = new cPackedKey;
  src->FromText("abcdefg", -1);
  cPackedKey copy(*src);
  cPackedKey assigned;
  assigned.FromText("zz", -1);
  assigned.Assign(*src);
  EXPECT_NE(copy.words, src->words);
  delete src;
  EXPECT_EQ(Bytes(copy), "61 62 63 64 | 65 66 67 00");
  EXPECT_EQ(Bytes(assigned), "61 62 63 64 | 65 66 67 00");
  assigned = assigned;  // self-assignment keeps the key
  EXPECT_EQ(Bytes(assigned), "61 62 63 64 | 65 66 67 00");
  assigned.Assign(cPackedKey());
  EXPECT_EQ(assigned.count, 0);
  EXPECT_EQ(assigned.words, nullptr);
}

TEST(PackedKey, KeysASortedTree) {
  EXPECT_EQ(cKeyCompare<cPackedKey>::kEraseLimit, 1024u);
  cSortedTree<cPackedKey, int> map(kPackedKeyDepthLimit);
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) names.push_back("key" + std::to_string(i * 7919 % 1000));
  for (size_t i = 0; i < names.size(); ++i) *map.FindOrInsert(Text(names[i].c_str())) = static_cast<int>(i);
  std::sort(names.begin(), names.end());
  size_t i = 0;
  for (auto* n = map.First(); n != nullptr; n = map.Next(n), ++i) {
    _typebuf<char> b;
    n->key.ToBytes(b);
    ASSERT_LT(i, names.size());
    std::string text(b.data, static_cast<size_t>(b.count));
    text.erase(text.find_last_not_of('\0') + 1);
    EXPECT_EQ(text, names[i]);
  }
  EXPECT_EQ(i, names.size());
  EXPECT_TRUE(map.EraseKey(Text("key0")));
  EXPECT_EQ(map.Find(Text("key0")), nullptr);
  EXPECT_NE(map.Find(Text("key919")), nullptr);
}

}  // namespace
