#include "base/config_node.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

cConfigNode* Add(cConfigNode& parent, const std::string& key, const std::string& value = "") {
  cPackedKey k;
  k.FromText(key.data(), static_cast<int32_t>(key.size()));
  cConfigNode* child = parent.children.FindOrInsert(std::move(k));
  if (!value.empty()) {
    child->value.Reallocate(static_cast<int32_t>(value.size()));
    std::memcpy(child->value.data, value.data(), value.size());
  }
  return child;
}

cConfigNode* Find(cConfigNode& parent, const std::string& key) {
  cPackedKey k;
  k.FromText(key.data(), static_cast<int32_t>(key.size()));
  return parent.children.Find(k);
}

std::string Value(const cConfigNode& n) {
  return n.value.count == 0 ? std::string() : std::string(n.value.data, static_cast<size_t>(n.value.count));
}

std::string Image(const cConfigNode& root) {
  _typebuf<char> image;
  if (!tw::BuildSectionImage(root, image)) return "<refused>";
  return std::string(image.data, static_cast<size_t>(image.count));
}

bool Parse(const std::string& bytes, cConfigNode& root) {
  return tw::ParseSectionImage(bytes.data(), static_cast<uint32_t>(bytes.size()), root);
}

// The keys in ascending order, as "key=value" pairs.
std::string Listing(const cConfigNode& node) {
  std::string out;
  _typebuf<char> key;
  for (auto* n = node.children.First(); n != nullptr; n = cConfigNode::tChildren::Next(n)) {
    n->key.ToBytes(key);
    out += std::string(key.data, strnlen(key.data, static_cast<size_t>(key.count)));
    out += "=" + Value(n->value) + ";";
  }
  return out;
}

TEST(SectionImage, EmptySectionIsSevenBytes) {
  cConfigNode root;
  EXPECT_EQ(Image(root), "QXVC\0\0\0"s);
}

TEST(SectionImage, OneStringUnderLangIsByteExact) {
  // The section lang after writing "de" at lang/x: the root has no value and
  // one child x, stored as K = 4 with its zero padding.
  cConfigNode root;
  Add(root, "x", "de");
  EXPECT_EQ(Image(root), "QXVC\0\0\x01\x04x\0\0\0\x02\0de\0\0"s);
}

TEST(SectionImage, KeysArePaddedToWholeWordsAndWrittenInByteOrder) {
  cConfigNode root;
  Add(root, "\xC3\xA4");  // U+00E4 as UTF-8 sorts after every ASCII key
  Add(root, "lang");
  Add(root, "abcde");
  Add(root, "ver", "\x01");
  Add(root, "B");
  EXPECT_EQ(Image(root),
            "QXVC\0\0"
            "\x01\x04" "B\0\0\0" "\0\0\0"
            "\x01\x08" "abcde\0\0\0" "\0\0\0"
            "\x01\x04" "lang" "\0\0\0"
            "\x01\x04" "ver\0" "\x01\0\x01\0"
            "\x01\x04" "\xC3\xA4\0\0" "\0\0\0"
            "\0"s);
}

TEST(SectionImage, NestedTreeRoundTrips) {
  cConfigNode root;
  root.value.Reallocate(3);
  std::memcpy(root.value.data, "top", 3);
  cConfigNode* install = Add(root, "app");
  cConfigNode* product = Add(*install, "product-with-a-long-name", std::string("\0\xFF\x80", 3));
  Add(*product, "ver", "1.2.3");
  Add(*product, "path", "C:/Program Files/X");
  Add(*install, "z", std::string(65535, 'v'));
  const std::string image = Image(root);
  ASSERT_NE(image, "<refused>");
  cConfigNode back;
  ASSERT_TRUE(Parse(image, back));
  EXPECT_TRUE(cConfigNode::SameTree(root, back));
  EXPECT_EQ(Image(back), image);
  // Old bytes of a longer earlier version after the tree are never read.
  cConfigNode withTail;
  ASSERT_TRUE(Parse(image + "\x01\x04junk garbage", withTail));
  EXPECT_TRUE(cConfigNode::SameTree(root, withTail));
}

TEST(SectionImage, WriterRefusesWhatCouldNotBeReadBack) {
  struct Case {
    const char* what;
    void (*build)(cConfigNode&);
  } cases[] = {
      {"value of 65536 bytes", [](cConfigNode& r) { Add(r, "k", std::string(65536, 'x')); }},
      {"empty key", [](cConfigNode& r) { Add(r, ""); }},
      {"tree deeper than the limit",
       [](cConfigNode& r) {
         cConfigNode* n = &r;
         for (int i = 0; i <= tw::kConfigMaxDepth; ++i) n = Add(*n, "d");
       }},
  };
  for (const auto& c : cases) {
    cConfigNode root;
    c.build(root);
    _typebuf<char> image;
    EXPECT_FALSE(tw::BuildSectionImage(root, image)) << c.what;
    EXPECT_EQ(image.count, 0) << c.what;
  }
}

TEST(SectionImage, DepthUpToTheLimitIsAccepted) {
  cConfigNode root;
  cConfigNode* n = &root;
  for (int i = 0; i < tw::kConfigMaxDepth; ++i) n = Add(*n, "d");
  n->value.Reallocate(1);
  n->value.data[0] = 'L';
  const std::string image = Image(root);
  ASSERT_NE(image, "<refused>");
  cConfigNode back;
  ASSERT_TRUE(Parse(image, back));
  EXPECT_TRUE(cConfigNode::SameTree(root, back));
}

TEST(SectionImage, LongKeyIsStoredAsItsFirst255Bytes) {
  std::string key(300, 'k');
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<char>('a' + i % 26);
  cConfigNode root;
  Add(root, key, "v");
  const std::string image = Image(root);
  EXPECT_EQ(static_cast<uint8_t>(image[7]), 255);
  cConfigNode back;
  ASSERT_TRUE(Parse(image, back));
  EXPECT_EQ(Listing(back), key.substr(0, 255) + "=v;");
}

TEST(SectionImage, ReaderFailuresKeepWhatWasDecodedBefore) {
  // A valid prefix: root value "R", child a = "1"; then the damage.
  const std::string good = "QXVC\x01\0R\x01\x04" "a\0\0\0\x01\0" "1\0"s;
  std::string deep = "QXVC\0\0"s;
  for (int i = 0; i <= tw::kConfigMaxDepth; ++i) deep += "\x01\x04" "d\0\0\0\0\0"s;
  struct Case {
    const char* what;
    std::string bytes;
    std::string listing;  // of the root after the failed read
  } cases[] = {
      {"empty file", "", ""},
      {"wrong magic", "QXVD\0\0\0"s, ""},
      {"magic only", "QXVC", ""},
      {"value length cut", "QXVC\x01"s, ""},
      {"value bytes cut", "QXVC\x05\0abc"s, ""},
      {"marker missing", good, "a=1;"},
      {"marker 2", good + "\x02"s, "a=1;"},
      {"key length 0", good + "\x01\x00"s, "a=1;"},
      {"key bytes cut", good + "\x01\x04" "bb"s, "a=1;"},
      {"key all zero", good + "\x01\x04\0\0\0\0\0\0\0"s, "a=1;"},
      {"child cut", good + "\x01\x04" "b\0\0\0\x02\0" "2"s, "a=1;b=;"},
      {"nesting past the limit", deep, "d=;"},
  };
  for (const auto& c : cases) {
    cConfigNode root;
    Add(root, "stale", "x");  // the reader clears the root first
    EXPECT_FALSE(Parse(c.bytes, root)) << c.what;
    EXPECT_EQ(Listing(root), c.listing) << c.what;
  }
  cConfigNode root;
  ASSERT_TRUE(Parse(good + "\0"s, root));
  EXPECT_EQ(Value(root), "R");
  EXPECT_EQ(Listing(root), "a=1;");
}

TEST(SectionImage, KeyReadTwiceMergesIntoOneChild) {
  // a = "1" with child x, then a again with an empty value and child y: the
  // empty value keeps "1" and both children end up under a.
  const std::string bytes =
      "QXVC\0\0"
      "\x01\x04" "a\0\0\0" "\x01\0" "1" "\x01\x04" "x\0\0\0" "\0\0\0" "\0"
      "\x01\x04" "a\0\0\0" "\0\0" "\x01\x04" "y\0\0\0" "\0\0\0" "\0"
      "\0"s;
  cConfigNode root;
  ASSERT_TRUE(Parse(bytes, root));
  cConfigNode* a = Find(root, "a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(Value(*a), "1");
  EXPECT_EQ(Listing(*a), "x=;y=;");
  EXPECT_EQ(Listing(root), "a=1;");
}

TEST(SectionImage, KeyEndsAtItsFirstZeroByte) {
  // K = 8 with the text "ab" and six bytes of padding (longer than needed).
  const std::string bytes = "QXVC\0\0\x01\x08" "ab\0\0\0\0\0\0" "\x01\0" "v\0\0"s;
  cConfigNode root;
  ASSERT_TRUE(Parse(bytes, root));
  EXPECT_EQ(Listing(root), "ab=v;");
  // Written back in its canonical form.
  EXPECT_EQ(Image(root), "QXVC\0\0\x01\x04" "ab\0\0" "\x01\0" "v\0\0"s);
}

TEST(ConfigNode, CopyFromIsDeepAndSameTreeSeesEveryDifference) {
  cConfigNode a;
  Add(*Add(a, "p", "1"), "q", "2");
  cConfigNode b;
  Add(b, "old", "gone");
  ASSERT_TRUE(b.CopyFrom(a));
  EXPECT_TRUE(cConfigNode::SameTree(a, b));
  Find(*Find(b, "p"), "q")->value.data[0] = '3';
  EXPECT_FALSE(cConfigNode::SameTree(a, b));
  EXPECT_EQ(Value(*Find(*Find(a, "p"), "q")), "2");
  ASSERT_TRUE(b.CopyFrom(a));
  Add(*Find(b, "p"), "r");
  EXPECT_FALSE(cConfigNode::SameTree(a, b));
  EXPECT_FALSE(cConfigNode::SameTree(b, a));
}

}  // namespace
