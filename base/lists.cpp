// See base/lists.h.
#include "base/lists.h"

void DeleteItemChain(cListItem* item) {
  while (item != nullptr) {
    cListItem* following = item->next;  // read before the item is gone
    delete item;
    item = following;
  }
}

cListItem* cItemList::Append(cListItem* item) {
  if (item == nullptr) return nullptr;
  item->next = nullptr;
  if (tail == nullptr)
    head = item;
  else
    tail->next = item;
  tail = item;
  return item;
}

cListItem* cItemList::Find(const void* key) const {
  for (cListItem* i = head; i != nullptr; i = i->next)
    if (i->Matches(key)) return i;
  return nullptr;
}

void cItemList::Remove(cListItem* item) {
  cListItem* prev = nullptr;
  for (cListItem* i = head; i != nullptr; prev = i, i = i->next) {
    if (i != item) continue;
    if (prev == nullptr)
      head = i->next;
    else
      prev->next = i->next;
    if (tail == i) tail = prev;
    delete i;
    return;
  }
}

void cItemList::DeleteAll() {
  cListItem* h = head;
  Reset();
  DeleteItemChain(h);
}

void cItemList::MoveTo(cItemList& target) {
  if (&target == this) return;
  target.DeleteAll();
  target.head = head;
  target.tail = tail;
  Reset();
}

void DeleteTreeChain(cTreeItem* item) {
  while (item != nullptr) {
    cTreeItem* following = item->next;
    DeleteTreeChain(item->firstChild);
    delete item;
    item = following;
  }
}

void cTreeItemRoot::Adopt(cTreeItem* parent, cTreeItem* item) {
  item->next = nullptr;
  item->previous = nullptr;
  item->owner = this;
  item->parent = parent;
  SetOwnerRecursive(item, this);
}

void cTreeItemRoot::AttachAfter(cTreeItem* parent, cTreeItem* item, cTreeItem* after) {
  if (item == nullptr) return;
  Adopt(parent, item);
  cTreeItem* chain = parent != nullptr ? parent->firstChild : first;
  if (chain == nullptr) {
    if (parent != nullptr) {
      parent->firstChild = item;
      parent->lastChild = item;
    } else {
      first = item;
    }
    return;
  }
  cTreeItem* behind;
  if (after == nullptr && parent != nullptr) {
    behind = parent->lastChild;
  } else {
    behind = chain;
    while (behind != after && behind->next != nullptr) behind = behind->next;
  }
  item->previous = behind;
  item->next = behind->next;
  if (behind->next != nullptr) behind->next->previous = item;
  behind->next = item;
  if (parent != nullptr && item->next == nullptr) parent->lastChild = item;
}

void cTreeItemRoot::AttachAtHead(cTreeItem* parent, cTreeItem* item) {
  if (item == nullptr) return;
  Adopt(parent, item);
  cTreeItem*& head = parent != nullptr ? parent->firstChild : first;
  item->next = head;
  if (head != nullptr) head->previous = item;
  head = item;
  if (parent != nullptr && parent->lastChild == nullptr) parent->lastChild = item;
}

void cTreeItemRoot::SetOwnerRecursive(cTreeItem* item, cTreeItemRoot* owner) {
  if (item == nullptr) return;
  for (cTreeItem* c = item->firstChild; c != nullptr; c = c->next) {
    c->owner = owner;
    SetOwnerRecursive(c, owner);
  }
}

void cTreeItemRoot::Detach(cTreeItem* item) {
  if (item == nullptr) return;
  if (first == item) first = item->next;
  if (cTreeItem* p = item->parent; p != nullptr) {
    if (p->firstChild == item) p->firstChild = item->next;
    if (p->lastChild == item) p->lastChild = item->previous;
  }
  if (item->previous != nullptr) item->previous->next = item->next;
  if (item->next != nullptr) item->next->previous = item->previous;
  // Cleared rather than left stale, so a detached item never reaches its
  // former siblings.
  item->next = nullptr;
  item->previous = nullptr;
  item->parent = nullptr;
  item->owner = nullptr;
  SetOwnerRecursive(item, nullptr);
}

cTreeItem* cTreeItemRoot::LastChild(const cTreeItem* item) {
  if (item == nullptr || item->firstChild == nullptr) return nullptr;
  cTreeItem* c = item->firstChild;
  while (c->next != nullptr) c = c->next;
  return c;
}

void cTreeItemRoot::DeleteChildren(cTreeItem* item) {
  if (item == nullptr) return;
  cTreeItem* chain = item->firstChild;
  item->firstChild = nullptr;
  item->lastChild = nullptr;
  DeleteTreeChain(chain);
}

void cTreeItemRoot::DeleteAll() {
  cTreeItem* chain = first;
  first = nullptr;
  DeleteTreeChain(chain);
}

void cTreeItemRoot::Delete(cTreeItem* item) {
  if (item == nullptr) return;
  Detach(item);
  DeleteChildren(item);
  delete item;
}
