#include "base/lists.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/buffers.h"

namespace {

// Items that count how many of them are alive and record deletion order.
std::vector<int>* g_deleted = nullptr;
int g_alive = 0;

struct Item : cListItem {
  int id;
  explicit Item(int i) : id(i) { ++g_alive; }
  ~Item() override {
    --g_alive;
    if (g_deleted != nullptr) g_deleted->push_back(id);
  }
  bool Matches(const void* key) const override { return *static_cast<const int*>(key) == id; }
};

struct Plain : cListItem {};  // the base Matches: never

class ListsTest : public ::testing::Test {
protected:
  void SetUp() override {
    g_alive = 0;
    g_deleted = &deleted;
  }
  void TearDown() override {
    EXPECT_EQ(g_alive, 0) << "every item deleted exactly once";
    g_deleted = nullptr;
  }
  std::vector<int> deleted;
};

std::vector<int> Ids(const cItemList& l) {
  std::vector<int> ids;
  for (cListItem* i = l.head; i != nullptr; i = i->next) ids.push_back(static_cast<Item*>(i)->id);
  return ids;
}

TEST_F(ListsTest, ItemListAppendFindRemove) {
  cItemList l;
  EXPECT_EQ(l.Append(nullptr), nullptr);
  EXPECT_EQ(l.head, nullptr);
  Item* a = new Item(1);
  a->next = a;  // a stale link is cleared by Append
  EXPECT_EQ(l.Append(a), a);
  Item* b = static_cast<Item*>(l.Append(new Item(2)));
  Item* c = static_cast<Item*>(l.Append(new Item(3)));
  EXPECT_EQ(Ids(l), (std::vector<int>{1, 2, 3}));
  const int two = 2, nine = 9;
  EXPECT_EQ(l.Find(&two), b);
  EXPECT_EQ(l.Find(&nine), nullptr);
  l.Append(new Plain);
  EXPECT_EQ(l.Find(&nine), nullptr);  // the base item never matches

  Item outsider(7);
  l.Remove(&outsider);  // not in the list: nothing happens, nothing deleted
  EXPECT_TRUE(deleted.empty());

  l.Remove(l.tail);  // the Plain tail: tail moves to its predecessor
  EXPECT_EQ(l.tail, c);
  EXPECT_EQ(c->next, nullptr);
  l.Remove(b);  // a middle item
  EXPECT_EQ(Ids(l), (std::vector<int>{1, 3}));
  l.Remove(a);  // the head
  EXPECT_EQ(l.head, c);
  l.Remove(c);  // the only item
  EXPECT_EQ(l.head, nullptr);
  EXPECT_EQ(l.tail, nullptr);
  EXPECT_EQ(deleted, (std::vector<int>{2, 1, 3}));
}

TEST_F(ListsTest, DeleteAllMoveToAndReset) {
  cItemList src, dst;
  for (int i = 1; i <= 3; ++i) src.Append(new Item(i));
  dst.Append(new Item(10));
  dst.Append(new Item(11));
  src.MoveTo(dst);  // the target's old items go first
  EXPECT_EQ(deleted, (std::vector<int>{10, 11}));
  EXPECT_EQ(src.head, nullptr);
  EXPECT_EQ(src.tail, nullptr);
  EXPECT_EQ(Ids(dst), (std::vector<int>{1, 2, 3}));
  dst.MoveTo(dst);  // onto itself: unchanged
  EXPECT_EQ(Ids(dst), (std::vector<int>{1, 2, 3}));

  deleted.clear();
  dst.DeleteAll();
  EXPECT_EQ(deleted, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(dst.head, nullptr);

  // Reset gives up ownership; the chain is then freed by the free function.
  cItemList l;
  l.Append(new Item(5));
  l.Append(new Item(6));
  cListItem* chain = l.head;
  l.Reset();
  EXPECT_EQ(g_alive, 2);
  deleted.clear();
  DeleteItemChain(chain);
  EXPECT_EQ(deleted, (std::vector<int>{5, 6}));
}

TEST_F(ListsTest, ItemListDestructorDeletes) {
  {
    cItemList l;
    l.Append(new Item(1));
    l.Append(new Item(2));
  }
  EXPECT_EQ(deleted, (std::vector<int>{1, 2}));
}

// The records of the setup application's value lists, in their layouts: the
// update-info record of five strings, and the software entry of ten strings,
// two pictures' pixel blocks, a list of links and two words.
struct sUpdateInfoLike : sFiveStrings {};

struct sSoftwareEntryLike {
  _guardchar<char16_t> text[10];
  _typebuf<uint32_t> icon16;
  _typebuf<uint32_t> icon48;
  cSimpleList<sStringPair> links;
  uint32_t word1 = 0;
  uint32_t word2 = 0;
};

template <class V>
std::vector<V*> Values(cSimpleList<V>& l) {
  std::vector<V*> out;
  for (auto* n = l.head; n != nullptr; n = n->next) out.push_back(&n->value);
  return out;
}

TEST_F(ListsTest, SimpleListOfIntegersAndStrings) {
  cSimpleList<int32_t> ints;
  EXPECT_EQ(ints.Append()->value, 0);
  ints.Append(42);
  ints.Append(-1);
  std::vector<int32_t> got;
  for (auto* v : Values(ints)) got.push_back(*v);
  EXPECT_EQ(got, (std::vector<int32_t>{0, 42, -1}));
  ints.Clear();
  EXPECT_EQ(ints.head, nullptr);
  EXPECT_EQ(ints.tail, nullptr);

  cSimpleList<_guardchar<char16_t>> strings;
  auto* n = strings.Append();
  EXPECT_EQ(n->value.text, nullptr);  // an empty string
  n->value.Assign(u"first");
  strings.Append()->value.Assign(u"second");
  EXPECT_EQ(std::u16string(strings.tail->value.text), u"second");
  // The destructor frees the strings (the sanitizer build reports leaks).
}

TEST_F(ListsTest, StringPairListRemove) {
  cSimpleList<sStringPair> pairs;
  std::vector<cSimpleList<sStringPair>::Node*> nodes;
  for (const char16_t* name : {u"a", u"b", u"c"}) {
    auto* n = pairs.Append();
    n->value.first.Assign(name);
    n->value.second.Assign(u"value");
    nodes.push_back(n);
  }
  cSimpleList<sStringPair> other;
  auto* stranger = other.Append();
  pairs.Remove(stranger);  // not ours: untouched
  EXPECT_EQ(Values(pairs).size(), 3u);
  pairs.Remove(nodes[2]);  // the tail
  EXPECT_EQ(pairs.tail, nodes[1]);
  EXPECT_EQ(nodes[1]->next, nullptr);
  pairs.Remove(nodes[0]);  // the head
  EXPECT_EQ(pairs.head, nodes[1]);
  pairs.Remove(nodes[1]);  // the last one
  EXPECT_EQ(pairs.head, nullptr);
  EXPECT_EQ(pairs.tail, nullptr);
  pairs.Append()->value.first.Assign(u"again");
  EXPECT_EQ(pairs.head, pairs.tail);
}

TEST_F(ListsTest, RecordListsFreeEverything) {
  cSimpleList<sUpdateInfoLike> updates;
  for (int i = 0; i < 3; ++i) {
    auto* n = updates.Append();
    for (auto& s : n->value.s) s.Assign(u"text of the update record");
  }
  cSimpleList<sSoftwareEntryLike> entries;
  for (int i = 0; i < 3; ++i) {
    auto* e = entries.Append();
    for (auto& t : e->value.text) EXPECT_EQ(t.text, nullptr);
    EXPECT_EQ(e->value.icon16.data, nullptr);
    EXPECT_EQ(e->value.word1, 0u);
    EXPECT_EQ(e->value.word2, 0u);
    EXPECT_EQ(e->value.links.head, nullptr);
    for (auto& t : e->value.text) t.Assign(u"entry");
    e->value.icon16.Reallocate(16 * 16);
    e->value.icon48.Reallocate(48 * 48);
    auto* link = e->value.links.Append();
    link->value.first.Assign(u"web");
    link->value.second.Assign(u"https://example.invalid/");
  }
  entries.Clear();
  EXPECT_EQ(entries.head, nullptr);
  cSimpleList<std::unique_ptr<Item>> boxes;  // owned polymorphic values
  boxes.Append(std::make_unique<Item>(1));
  boxes.Append(std::make_unique<Item>(2));
  boxes.Clear();
  EXPECT_EQ(deleted, (std::vector<int>{1, 2}));
  struct Plain16 {
    uint32_t a, b, c, d;
  };
  cSimpleList<Plain16> plain;
  const Plain16& p = plain.Append()->value;
  EXPECT_EQ(p.a | p.b | p.c | p.d, 0u);  // a zeroed record
}

// ---- Trees ----

struct Node : cTreeItem {
  int id;
  explicit Node(int i) : id(i) { ++g_alive; }
  ~Node() override {
    --g_alive;
    if (g_deleted != nullptr) g_deleted->push_back(id);
  }
};

int Id(const cTreeItem* t) { return t == nullptr ? 0 : static_cast<const Node*>(t)->id; }

// The children of parent (null: top level) by id, checked in both directions.
std::vector<int> Children(const cTreeItemRoot& root, const cTreeItem* parent) {
  std::vector<int> ids;
  const cTreeItem* prev = nullptr;
  for (const cTreeItem* c = parent != nullptr ? parent->firstChild : root.first; c != nullptr; c = c->next) {
    EXPECT_EQ(c->previous, prev) << Id(c);
    EXPECT_EQ(c->parent, parent) << Id(c);
    EXPECT_EQ(c->owner, &root) << Id(c);
    ids.push_back(Id(c));
    prev = c;
  }
  if (parent != nullptr) {
    EXPECT_EQ(parent->lastChild, prev);
  }
  return ids;
}

TEST_F(ListsTest, TreeAttach) {
  cTreeItemRoot root;
  Node* p = new Node(1);
  root.AttachAfter(nullptr, p, nullptr);
  EXPECT_EQ(root.first, p);
  Node* a = new Node(10);
  root.AttachAtHead(p, a);  // into an empty parent: first and last
  EXPECT_EQ(p->firstChild, a);
  EXPECT_EQ(p->lastChild, a);
  EXPECT_EQ(cTreeItemRoot::LastChild(p), a);
  Node* b = new Node(11);
  root.AttachAfter(p, b, a);  // after the last child: becomes last
  Node* c = new Node(12);
  root.AttachAfter(p, c, nullptr);  // null after: appended
  Node* d = new Node(13);
  root.AttachAfter(p, d, a);  // into the middle
  Node* stranger = new Node(99);
  Node* e = new Node(14);
  root.AttachAfter(p, e, stranger);  // after an item that is no child: at the end
  Node* f = new Node(9);
  root.AttachAtHead(p, f);
  EXPECT_EQ(Children(root, p), (std::vector<int>{9, 10, 13, 11, 12, 14}));
  EXPECT_EQ(cTreeItemRoot::LastChild(p), e);
  EXPECT_EQ(cTreeItemRoot::LastChild(nullptr), nullptr);
  EXPECT_EQ(cTreeItemRoot::LastChild(e), nullptr);

  Node* q = new Node(2);
  root.AttachAfter(nullptr, q, nullptr);
  Node* r = new Node(3);
  root.AttachAfter(nullptr, r, p);  // between the two top-level items
  Node* s = new Node(0);
  root.AttachAtHead(nullptr, s);
  EXPECT_EQ(Children(root, nullptr), (std::vector<int>{0, 1, 3, 2}));
  delete stranger;
}

TEST_F(ListsTest, TreeDetachAndReattach) {
  cTreeItemRoot root;
  Node* top1 = new Node(1);
  Node* top2 = new Node(2);
  root.AttachAfter(nullptr, top1, nullptr);
  root.AttachAfter(nullptr, top2, nullptr);
  Node* kids[3];
  for (int i = 0; i < 3; ++i) root.AttachAfter(top1, kids[i] = new Node(10 + i), nullptr);
  Node* grand = new Node(100);
  root.AttachAfter(kids[1], grand, nullptr);

  root.Detach(kids[1]);  // a middle child: its neighbours meet
  EXPECT_EQ(Children(root, top1), (std::vector<int>{10, 12}));
  EXPECT_EQ(kids[1]->owner, nullptr);
  EXPECT_EQ(kids[1]->parent, nullptr);
  EXPECT_EQ(grand->owner, nullptr) << "the detached subtree belongs to no root";
  EXPECT_EQ(kids[1]->firstChild, grand) << "children stay with the detached item";

  root.AttachAfter(top2, kids[1], nullptr);  // re-attached with its subtree
  EXPECT_EQ(grand->owner, &root);
  EXPECT_EQ(Children(root, top2), (std::vector<int>{11}));
  EXPECT_EQ(Children(root, kids[1]), (std::vector<int>{100}));

  root.Detach(top1);  // the first top-level item: the root moves on
  EXPECT_EQ(root.first, top2);
  EXPECT_EQ(top2->previous, nullptr);
  EXPECT_EQ(kids[0]->owner, nullptr);
  root.AttachAfter(nullptr, top1, nullptr);
  EXPECT_EQ(Children(root, nullptr), (std::vector<int>{2, 1}));

  root.Detach(kids[2]);  // the last child: last moves back
  EXPECT_EQ(top1->lastChild, kids[0]);
  root.Detach(kids[0]);  // the only child
  EXPECT_EQ(top1->firstChild, nullptr);
  EXPECT_EQ(top1->lastChild, nullptr);
  delete kids[0];
  delete kids[2];
}

TEST_F(ListsTest, TreeDeletionOrder) {
  {
    cTreeItemRoot root;
    Node* a = new Node(1);
    root.AttachAfter(nullptr, a, nullptr);
    Node* b = new Node(2);
    root.AttachAfter(a, b, nullptr);
    root.AttachAfter(b, new Node(3), nullptr);
    root.AttachAfter(a, new Node(4), nullptr);
    Node* z = new Node(5);
    root.AttachAfter(nullptr, z, nullptr);
    root.AttachAfter(z, new Node(6), nullptr);

    cTreeItemRoot::DeleteChildren(z);
    EXPECT_EQ(deleted, (std::vector<int>{6}));
    EXPECT_EQ(z->firstChild, nullptr);
    EXPECT_EQ(z->lastChild, nullptr);
    cTreeItemRoot::DeleteChildren(z);  // no children: nothing happens
    EXPECT_EQ(deleted.size(), 1u);

    deleted.clear();
    root.Delete(b);  // children before their parent, the rest untouched
    EXPECT_EQ(deleted, (std::vector<int>{3, 2}));
    EXPECT_EQ(Children(root, a), (std::vector<int>{4}));

    deleted.clear();
    root.DeleteAll();
    EXPECT_EQ(deleted, (std::vector<int>{4, 1, 5}));
    EXPECT_EQ(root.first, nullptr);
    root.AttachAfter(nullptr, new Node(7), nullptr);
    deleted.clear();
  }
  EXPECT_EQ(deleted, (std::vector<int>{7})) << "the root's destructor deletes the forest";
}

TEST_F(ListsTest, DeepTreesDeleteCompletely) {
  cTreeItemRoot root;
  cTreeItem* parent = nullptr;
  for (int i = 0; i < 2000; ++i) {
    Node* n = new Node(i);
    root.AttachAfter(parent, n, nullptr);
    root.AttachAfter(parent, new Node(-i), nullptr);
    parent = n;
  }
  root.DeleteAll();
  EXPECT_EQ(g_alive, 0);
}

}  // namespace
