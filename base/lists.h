// Three small owning containers:
//   cListItem / cItemList:      intrusive, singly linked list of polymorphic
//                               items (posted actions, cached fonts, ...);
//   cSimpleList<V>:             singly linked list of heap nodes holding a V;
//   cTreeItem / cTreeItemRoot:  n-ary forest of polymorphic items with doubly
//                               linked siblings (tree view, folder chooser).
// Every container owns what it holds and deletes it through the virtual
// destructor (items) or V's destructor (values). None of them locks: the
// owner of a container guards it, for reading operations too.
#pragma once

#include <cstdint>
#include <utility>

// ---- Intrusive item list ---------------------------------------------------

class cListItem {
public:
  cListItem() = default;
  cListItem(const cListItem&) = delete;
  cListItem& operator=(const cListItem&) = delete;
  virtual ~cListItem() = default;

  // Whether this item answers to key; the base answers false.
  virtual bool Matches(const void* key) const {
    (void)key;
    return false;
  }

  cListItem* next = nullptr;  // the following item, set when linked
};

// Deletes item and every item after it along the next links; no list header
// is touched.
void DeleteItemChain(cListItem* item);

class cItemList {
public:
  cItemList() = default;
  cItemList(const cItemList&) = delete;
  cItemList& operator=(const cItemList&) = delete;
  ~cItemList() { DeleteAll(); }

  // Links item at the tail and returns it; null is ignored (returns null).
  cListItem* Append(cListItem* item);
  // The first item from the head whose Matches(key) is true, or null.
  cListItem* Find(const void* key) const;
  // Unlinks and deletes item; an item not in the list is left alone.
  void Remove(cListItem* item);
  // Deletes every item, head to tail.
  void DeleteAll();
  // Forgets the items without deleting them (they were handed elsewhere).
  void Reset() {
    head = nullptr;
    tail = nullptr;
  }
  // Deletes target's items, then hands this list's items to target.
  void MoveTo(cItemList& target);

  cListItem* head = nullptr;
  cListItem* tail = nullptr;
};

// ---- Value list ------------------------------------------------------------

// V's default constructor gives the value a fresh node holds (a zeroed record
// for plain records, V's own constructor for the others); V's destructor is
// what clearing the list releases.
template <class V>
class cSimpleList {
public:
  struct Node {
    V value{};
    Node* next = nullptr;
  };

  cSimpleList() = default;
  cSimpleList(const cSimpleList&) = delete;
  cSimpleList& operator=(const cSimpleList&) = delete;
  ~cSimpleList() { Clear(); }

  // A node at the tail with a value-initialised V; the caller fills it. An
  // allocation failure leaves the list as it was.
  Node* Append() { return Link(new Node()); }
  // A node at the tail holding value.
  Node* Append(V value) {
    Node* n = new Node();
    n->value = std::move(value);
    return Link(n);
  }

  // Destroys every value and deletes every node, head to tail.
  void Clear() {
    Node* n = head;
    head = nullptr;
    tail = nullptr;
    while (n != nullptr) {
      Node* following = n->next;
      delete n;
      n = following;
    }
  }

  // Unlinks node, destroys its value and deletes it; a node not in the list
  // is left alone.
  void Remove(Node* node) {
    Node* prev = nullptr;
    for (Node* n = head; n != nullptr; prev = n, n = n->next) {
      if (n != node) continue;
      if (prev == nullptr)
        head = n->next;
      else
        prev->next = n->next;
      if (tail == n) tail = prev;
      delete n;
      return;
    }
  }

  Node* head = nullptr;
  Node* tail = nullptr;

private:
  Node* Link(Node* n) {
    if (tail == nullptr)
      head = n;
    else
      tail->next = n;
    tail = n;
    return n;
  }
};

// ---- Item trees ------------------------------------------------------------

class cTreeItemRoot;

class cTreeItem {
public:
  cTreeItem() = default;
  cTreeItem(const cTreeItem&) = delete;
  cTreeItem& operator=(const cTreeItem&) = delete;
  virtual ~cTreeItem() { owner = nullptr; }

  cTreeItem* next = nullptr;        // next sibling
  cTreeItem* previous = nullptr;    // previous sibling
  cTreeItem* firstChild = nullptr;
  cTreeItem* lastChild = nullptr;   // always the last item of the child chain
  cTreeItem* parent = nullptr;      // null for a top-level item
  cTreeItemRoot* owner = nullptr;   // the forest holding the item, or null
};

// Deletes item, its following siblings and all their descendants, children
// before their parent (the recursion is as deep as the tree).
void DeleteTreeChain(cTreeItem* item);

// The owner of a forest. Top-level items are chained like siblings; the
// root keeps only the first.
class cTreeItemRoot {
public:
  cTreeItemRoot() = default;
  cTreeItemRoot(const cTreeItemRoot&) = delete;
  cTreeItemRoot& operator=(const cTreeItemRoot&) = delete;
  ~cTreeItemRoot() { DeleteAll(); }

  // Links item (with its own subtree) under parent (null: top level) right
  // behind `after`; a null or unknown `after` appends at the end. The item
  // and all its descendants then belong to this root.
  void AttachAfter(cTreeItem* parent, cTreeItem* item, cTreeItem* after);
  // Links item as the first child of parent, or the first top-level item.
  void AttachAtHead(cTreeItem* parent, cTreeItem* item);
  // Sets owner on every descendant of item (not on item itself).
  static void SetOwnerRecursive(cTreeItem* item, cTreeItemRoot* owner);
  // Unlinks item from its parent or the top level; item keeps its children,
  // and it and its descendants belong to no root afterwards.
  void Detach(cTreeItem* item);
  // The last item of item's child chain; null for a null item or no children.
  static cTreeItem* LastChild(const cTreeItem* item);
  // Deletes item's children with their subtrees.
  static void DeleteChildren(cTreeItem* item);
  // Deletes every top-level item with its subtree.
  void DeleteAll();
  // Detaches item, then deletes it with its subtree.
  void Delete(cTreeItem* item);

  cTreeItem* first = nullptr;

private:
  void Adopt(cTreeItem* parent, cTreeItem* item);
};
