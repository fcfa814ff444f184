// cSortedTree<K, V>: the ordered map of the system. A binary search tree with
// one balance flag per node and single rotations only; ascending and
// descending insertion build perfect trees, other orders can grow deep, and
// an insertion that would descend past the owner's depth limit rebuilds the
// whole tree by ascending re-insertion and retries once.
//
// Rules every owner relies on:
//  a. Insertion is insert-or-get: an equal key returns the entry present and
//     the offered node (with its value) is destroyed.
//  b. Nodes never move: a value's address stays valid until its entry is
//     erased or the map cleared, across rotations, rebuilds and erasures.
//  c. No locks; every insertion writes the header's depth counter, so one
//     thread at a time, readers included.
//  d. Deleting a node destroys its value, then its key.
//
// Keys compare through cKeyCompare<K>::Compare (negative, zero, positive).
// The value type's own constructor and destructor give what a node holds and
// what deleting it frees (strings, buffers, unique_ptr for owned objects,
// nested maps).
#pragma once

#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

template <class K, class = void>
struct cKeyCompare {
  static int Compare(const K& a, const K& b) {
    if constexpr (std::is_pointer_v<K>) {
      std::less<K> lt;
      return lt(a, b) ? -1 : (lt(b, a) ? 1 : 0);
    } else {
      return a < b ? -1 : (b < a ? 1 : 0);
    }
  }
  // Depth limit of the temporary maps that Erase builds.
  static constexpr uint32_t kEraseLimit = 512;
};

// 8-bit characters compare signed on every target.
template <>
struct cKeyCompare<char> {
  static int Compare(char a, char b) {
    const auto x = static_cast<signed char>(a), y = static_cast<signed char>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  static constexpr uint32_t kEraseLimit = 512;
};

// A pair of 32-bit words ordered as one unsigned 64-bit number whose high
// half is the second word.
struct sPairKey {
  uint32_t first = 0;
  uint32_t second = 0;
  uint64_t AsU64() const { return (static_cast<uint64_t>(second) << 32) | first; }
};
template <>
struct cKeyCompare<sPairKey> {
  static int Compare(const sPairKey& a, const sPairKey& b) {
    const uint64_t x = a.AsU64(), y = b.AsU64();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  static constexpr uint32_t kEraseLimit = 512;
};

// A sort-index key: the value first, then a signed insertion sequence, so that
// equal values keep their insertion order.
template <class K>
struct sSeqKey {
  K key{};
  int32_t seq = 0;
};
template <class K>
struct cKeyCompare<sSeqKey<K>> {
  static int Compare(const sSeqKey<K>& a, const sSeqKey<K>& b) {
    const int c = cKeyCompare<K>::Compare(a.key, b.key);
    if (c != 0) return c;
    return a.seq < b.seq ? -1 : (a.seq > b.seq ? 1 : 0);
  }
  static constexpr uint32_t kEraseLimit = cKeyCompare<K>::kEraseLimit;
};

template <class K, class V>
class cSortedTree {
public:
  struct Node {
    Node* greater = nullptr;
    Node* smaller = nullptr;
    Node* parent = nullptr;
    K key;
    V value{};
    uint8_t balance = 0;

    explicit Node(K&& k) : key(std::move(k)) {}
  };

  explicit cSortedTree(uint32_t depthLimit) : limit_(depthLimit) {}
  cSortedTree(const cSortedTree&) = delete;
  cSortedTree& operator=(const cSortedTree&) = delete;
  ~cSortedTree() { Clear(); }

  uint32_t DepthLimit() const { return limit_; }
  Node* Root() const { return root_; }
  bool IsEmpty() const { return root_ == nullptr; }

  // Address of the value for key, new (value-initialised) or already present;
  // null only when the insertion failed after a rebuild.
  V* FindOrInsert(K key) {
    Node* n = InsertNode(new Node(std::move(key)));
    return n != nullptr ? &n->value : nullptr;
  }

  // Inserts a detached node (links null). Returns the node holding its key
  // afterwards: x, or the node already present (x is then destroyed); null
  // on failure (x destroyed).
  Node* InsertNode(Node* x) {
    if (root_ == nullptr) {
      root_ = x;
      return x;
    }
    uint8_t report = 0;
    counter_ = 0;
    Node* result = InsertAt(root_, x, report);
    if (result == nullptr) {
      Rebuild();
      counter_ = 0;
      report = 0;
      result = InsertAt(root_, x, report);
      if (result == nullptr) {
        delete x;
        return nullptr;
      }
    }
    if (report != 0) RotateAtRoot(result);
    return result;
  }

  // Re-links every node as ascending insertion builds the tree. Nodes are
  // re-linked, never copied or freed; balance flags are left as they are.
  void Rebuild() {
    if (root_ == nullptr) return;
    Node* node = ThreadAscending();
    Node* rest = node->smaller;
    node->greater = node->smaller = node->parent = nullptr;
    root_ = node;
    while (rest != nullptr) {
      node = rest;
      rest = node->smaller;
      node->greater = node->smaller = node->parent = nullptr;
      InsertNode(node);
    }
  }

  V* Find(const K& key) const {
    Node* n = FindNode(key);
    return n != nullptr ? &n->value : nullptr;
  }

  Node* FindNode(const K& key) const {
    Node* n = root_;
    while (n != nullptr) {
      const int c = Cmp(key, n->key);
      if (c == 0) return n;
      n = c < 0 ? n->smaller : n->greater;
    }
    return nullptr;
  }

  // The node with key, else the one with the greatest smaller key, else null.
  Node* FindOrPrev(const K& key) const {
    Node* n = root_;
    while (n != nullptr) {
      const int c = Cmp(key, n->key);
      if (c == 0) return n;
      if (c > 0) {
        if (n->greater == nullptr) return n;
        n = n->greater;
      } else {
        if (n->smaller == nullptr) return Prev(n);
        n = n->smaller;
      }
    }
    return nullptr;
  }

  // The node with key, else the one with the smallest greater key, else null.
  Node* FindOrNext(const K& key) const {
    Node* n = root_;
    while (n != nullptr) {
      const int c = Cmp(key, n->key);
      if (c == 0) return n;
      if (c < 0) {
        if (n->smaller == nullptr) return n;
        n = n->smaller;
      } else {
        if (n->greater == nullptr) return Next(n);
        n = n->greater;
      }
    }
    return nullptr;
  }

  Node* First() const {
    Node* n = root_;
    if (n != nullptr)
      while (n->smaller != nullptr) n = n->smaller;
    return n;
  }

  Node* Last() const {
    Node* n = root_;
    if (n != nullptr)
      while (n->greater != nullptr) n = n->greater;
    return n;
  }

  static Node* Next(Node* n) {
    if (n->greater != nullptr) {
      n = n->greater;
      while (n->smaller != nullptr) n = n->smaller;
      return n;
    }
    Node* p = n->parent;
    while (p != nullptr && Cmp(p->key, n->key) < 0) p = p->parent;
    return p;
  }

  static Node* Prev(Node* n) {
    if (n->smaller != nullptr) {
      n = n->smaller;
      while (n->greater != nullptr) n = n->greater;
      return n;
    }
    Node* p = n->parent;
    while (p != nullptr && Cmp(p->key, n->key) > 0) p = p->parent;
    return p;
  }

  // Removes the entry: every other node of e's subtree is re-inserted in
  // ascending order into a fresh subtree hung in e's place. Cost grows with
  // the size of e's subtree. False only for a null node.
  bool Erase(Node* e) {
    if (e == nullptr) return false;
    Node* parent = e->parent;
    std::vector<Node*> rest;
    if (e->smaller != nullptr || e->greater != nullptr) {
      Node* lo = e;
      while (lo->smaller != nullptr) lo = lo->smaller;
      Node* hi = e;
      while (hi->greater != nullptr) hi = hi->greater;
      for (Node* n = lo; n != nullptr; n = Next(n)) {
        if (n != e) rest.push_back(n);
        if (n == hi) break;
      }
    }
    cSortedTree sub(cKeyCompare<K>::kEraseLimit);
    for (Node* n : rest) {
      n->greater = n->smaller = n->parent = nullptr;
      sub.InsertNode(n);
    }
    Node* top = sub.root_;
    sub.root_ = nullptr;
    if (top != nullptr) top->parent = parent;
    if (parent == nullptr)
      root_ = top;
    else if (parent->smaller == e)
      parent->smaller = top;
    else
      parent->greater = top;
    delete e;
    return true;
  }

  bool EraseKey(const K& key) { return Erase(FindNode(key)); }

  // Deletes every node; the limit is kept.
  void Clear() {
    if (root_ == nullptr) return;
    Node* n = ThreadAscending();
    root_ = nullptr;
    while (n != nullptr) {
      Node* next = n->smaller;
      delete n;
      n = next;
    }
  }

private:
  static int Cmp(const K& a, const K& b) { return cKeyCompare<K>::Compare(a, b); }

  // Threads all nodes into one ascending list through the smaller links and
  // returns its head. The climb compares keys, never links: the smaller links
  // behind the walk are already overwritten.
  Node* ThreadAscending() {
    Node* head = root_;
    while (head->smaller != nullptr) head = head->smaller;
    for (Node* cur = head; cur != nullptr;) {
      Node* succ;
      if (cur->greater != nullptr) {
        succ = cur->greater;
        while (succ->smaller != nullptr) succ = succ->smaller;
      } else {
        succ = cur->parent;
        while (succ != nullptr && Cmp(succ->key, cur->key) < 0) succ = succ->parent;
      }
      cur->smaller = succ;
      cur = succ;
    }
    return head;
  }

  // The recursive step. report: 1 asks the caller's frame to let its child on
  // the insertion side rise over it; 2 passes that request one frame further.
  Node* InsertAt(Node* n, Node* x, uint8_t& report) {
    if (++counter_ > limit_) return nullptr;
    report = 0;
    const int c = Cmp(n->key, x->key);
    if (c == 0) {
      if (x != n) delete x;
      return n;
    }
    Node*& link = c > 0 ? n->smaller : n->greater;
    if (link == nullptr) {
      link = x;
      x->parent = n;
      if (n->parent != nullptr && n->parent->balance != 0)
        report = 1;
      else
        n->balance = 1;
      return x;
    }
    Node* child = link;
    uint8_t r2 = 0;
    Node* result = InsertAt(child, x, r2);
    if (result == nullptr) return nullptr;
    if (r2 == 0) return result;
    if (r2 >= 2) {
      report = static_cast<uint8_t>(r2 - 1);
      return result;
    }
    Node* p = n->parent;
    if (p == nullptr) {  // n is the root: InsertNode rotates there
      report = 1;
      return result;
    }
    RotateUp(child, n);
    if (p->parent != nullptr && p->parent->balance != 0)
      report = 2;
    else
      p->balance = 1;
    return result;
  }

  // Child c rises over its parent n, taking n's place under n's parent.
  void RotateUp(Node* c, Node* n) {
    Node* p = n->parent;
    c->balance = 0;
    n->balance = 0;
    if (n->smaller == c) {
      n->smaller = c->greater;
      if (n->smaller != nullptr) n->smaller->parent = n;
      c->greater = n;
    } else {
      n->greater = c->smaller;
      if (n->greater != nullptr) n->greater->parent = n;
      c->smaller = n;
    }
    c->parent = p;
    n->parent = c;
    if (p == nullptr)
      root_ = c;
    else if (p->smaller == n)
      p->smaller = c;
    else
      p->greater = c;
  }

  void RotateAtRoot(Node* inserted) {
    Node* r = root_;
    Node* s = Cmp(inserted->key, r->key) > 0 ? r->greater : r->smaller;
    RotateUp(s, r);
  }

  uint32_t limit_;
  uint32_t counter_ = 0;
  Node* root_ = nullptr;
};
