// See base/config_node.h.
#include "base/config_node.h"

#include <cstring>

#include "base/memio.h"

void cConfigNode::Clear() {
  written = false;
  value.Reset();
  children.Clear();
}

bool cConfigNode::CopyFrom(const cConfigNode& source) {
  if (this == &source) return true;
  Clear();
  if (source.value.count > 0) {
    value.Reallocate(source.value.count);
    std::memcpy(value.data, source.value.data, static_cast<size_t>(source.value.count));
  }
  for (auto* n = source.children.First(); n != nullptr; n = tChildren::Next(n)) {
    cConfigNode* child = children.FindOrInsert(cPackedKey(n->key));
    if (child == nullptr || !child->CopyFrom(n->value)) return false;
  }
  return true;
}

bool cConfigNode::SameTree(const cConfigNode& a, const cConfigNode& b) {
  if (a.value.count != b.value.count) return false;
  if (a.value.count > 0 && std::memcmp(a.value.data, b.value.data, static_cast<size_t>(a.value.count)) != 0)
    return false;
  auto* x = a.children.First();
  auto* y = b.children.First();
  for (; x != nullptr && y != nullptr; x = tChildren::Next(x), y = tChildren::Next(y)) {
    if (!cPackedKey::Equal(x->key, y->key) || !SameTree(x->value, y->value)) return false;
  }
  return x == nullptr && y == nullptr;
}

namespace tw {
namespace {

bool ReadU8(cFileIOTarget& stream, uint8_t& out) { return stream.ReadExact(&out, 1); }

bool WriteU8(cFileIOTarget& stream, uint8_t v) { return stream.WriteExact(&v, 1); }

}  // namespace

bool ReadConfigNode(cConfigNode& node, cFileIOTarget& stream, int32_t depth) {
  if (depth > kConfigMaxDepth) return false;
  uint8_t len[2];
  if (!stream.ReadExact(len, 2)) return false;
  const int32_t size = len[0] | (len[1] << 8);
  // A zero length keeps what the node holds: a key read twice in one node
  // merges into the same child.
  if (size != 0) {
    node.value.Reallocate(size);
    if (!stream.ReadExact(node.value.data, static_cast<uint32_t>(size))) {
      node.value.Reset();
      return false;
    }
  }
  uint8_t marker = 0;
  if (!ReadU8(stream, marker)) return false;
  char key[kConfigMaxKeyBytes];
  while (marker != 0) {
    if (marker != 1) return false;
    uint8_t keyBytes = 0;
    if (!ReadU8(stream, keyBytes) || keyBytes == 0) return false;
    if (!stream.ReadExact(key, keyBytes)) return false;
    const void* zero = std::memchr(key, 0, keyBytes);
    const int32_t textBytes = zero != nullptr ? static_cast<int32_t>(static_cast<const char*>(zero) - key) : keyBytes;
    // An empty key would be written back with length 0, which no reader
    // accepts: refuse it here rather than make the section unloadable later.
    if (textBytes == 0) return false;
    cPackedKey packed;
    packed.FromText(key, textBytes);
    cConfigNode* child = node.children.FindOrInsert(std::move(packed));
    if (child == nullptr || !ReadConfigNode(*child, stream, depth + 1)) return false;
    if (!ReadU8(stream, marker)) return false;
  }
  return true;
}

bool WriteConfigNode(const cConfigNode& node, cFileIOTarget& stream, int32_t depth) {
  if (depth > kConfigMaxDepth) return false;
  const int32_t size = node.value.count;
  if (size < 0 || size > kConfigMaxValueSize) return false;
  const uint8_t len[2] = {static_cast<uint8_t>(size & 0xFF), static_cast<uint8_t>(size >> 8)};
  if (!stream.WriteExact(len, 2)) return false;
  if (size != 0 && !stream.WriteExact(node.value.data, static_cast<uint32_t>(size))) return false;
  _typebuf<char> key;
  for (auto* n = node.children.First(); n != nullptr; n = cConfigNode::tChildren::Next(n)) {
    n->key.ToBytes(key);
    if (key.count == 0 || key[0] == 0) return false;
    const int32_t keyBytes = key.count < kConfigMaxKeyBytes ? key.count : kConfigMaxKeyBytes;
    if (!WriteU8(stream, 1) || !WriteU8(stream, static_cast<uint8_t>(keyBytes)) ||
        !stream.WriteExact(key.data, static_cast<uint32_t>(keyBytes)))
      return false;
    if (!WriteConfigNode(n->value, stream, depth + 1)) return false;
  }
  return WriteU8(stream, 0);
}

bool ReadSectionImage(cFileIOTarget& stream, cConfigNode& root) {
  root.Clear();
  char magic[4];
  if (!stream.ReadExact(magic, 4) || std::memcmp(magic, kSectionMagic, 4) != 0) return false;
  return ReadConfigNode(root, stream, 0);
}

bool BuildSectionImage(const cConfigNode& root, _typebuf<char>& image) {
  image.Reset();
  cMemIOTarget memory;
  if (!memory.WriteExact(kSectionMagic, 4) || !WriteConfigNode(root, memory, 0)) return false;
  return memory.CopyToBuffer(image);
}

bool ParseSectionImage(const void* data, uint32_t size, cConfigNode& root) {
  cBufWrapperIO stream(data, size);
  if (size == 0) {  // the wrapper refuses an empty buffer; so does the format
    root.Clear();
    return false;
  }
  return ReadSectionImage(stream, root);
}

}  // namespace tw
