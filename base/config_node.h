// cConfigNode, one node of the configuration store's tree, and the section
// file image that persists a section's tree.
//
// Section image (numbers little-endian):
//   "QXVC"                       4-byte magic
//   root node                    encoded as below
//   anything after the root      ignored, never read
// Node:
//   value length L (16-bit), L value bytes,
//   per child in ascending key order: 0x01, key length K (8-bit, 1..255),
//     K key bytes (the packed key's words in byte order: the UTF-8 text and
//     its zero padding to a multiple of 4), the child's node;
//   end marker 0x00.
//
// Rules of this module:
//  a. The reader fails on a short read, a marker other than 0 and 1, a key
//     length of 0, a key whose text is empty (its first byte is zero: such a
//     key could not be written back) and nesting deeper than
//     tw::kConfigMaxDepth. What was decoded before a failure stays in the tree.
//  b. The writer refuses what the reader would refuse or what it would have
//     to cut: a value over tw::kConfigMaxValueSize bytes, an empty key, a
//     tree deeper than tw::kConfigMaxDepth. A key whose padded bytes exceed
//     255 is stored as its first 255 bytes (it reads back shortened).
//  c. Nothing here locks; one thread at a time per tree.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"

class cConfigNode {
public:
  using tChildren = cSortedTree<cPackedKey, cConfigNode>;

  _typebuf<char> value;  // count 0: no value
  tChildren children{kPackedKeyDepthLimit};
  // Set by the store when a caller writes the value, whatever it writes;
  // cleared when the section is read or saved. Neither copied nor compared.
  bool written = false;

  cConfigNode() = default;
  cConfigNode(const cConfigNode&) = delete;
  cConfigNode& operator=(const cConfigNode&) = delete;

  // Frees the value and every child.
  void Clear();
  // Replaces this tree with a deep copy of source. False when a child could
  // not be inserted (the tree then holds part of the copy).
  bool CopyFrom(const cConfigNode& source);
  // Same values and the same keys with equal subtrees.
  static bool SameTree(const cConfigNode& a, const cConfigNode& b);
};

namespace tw {

inline constexpr char kSectionMagic[4] = {'Q', 'X', 'V', 'C'};
// The largest value the 16-bit length field can describe.
inline constexpr int32_t kConfigMaxValueSize = 65535;
// The largest key length the 8-bit length field can describe.
inline constexpr int32_t kConfigMaxKeyBytes = 255;
// Levels below a section's root node. Real sections use a handful; the limit
// bounds the reader's recursion on a hostile file, and path resolution
// refuses to create deeper nodes, so everything written can be read back.
inline constexpr int32_t kConfigMaxDepth = 64;

// Decodes one node and its subtree from the stream's position into node;
// depth is the node's level (0 for a section root). See rule a.
bool ReadConfigNode(cConfigNode& node, cFileIOTarget& stream, int32_t depth);
// Encodes node and its subtree at the stream's position. See rule b.
bool WriteConfigNode(const cConfigNode& node, cFileIOTarget& stream, int32_t depth);

// The magic, then the root node, into root (cleared first).
bool ReadSectionImage(cFileIOTarget& stream, cConfigNode& root);
// image becomes the complete file image of the tree; false (image emptied)
// when the writer refuses the tree.
bool BuildSectionImage(const cConfigNode& root, _typebuf<char>& image);
// ReadSectionImage over size bytes of memory.
bool ParseSectionImage(const void* data, uint32_t size, cConfigNode& root);

}  // namespace tw
