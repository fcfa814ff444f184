// A nested directory walk that hands every entry to its owner's handlers:
// the camera decoders that walk their EXIF or private directories "with the
// same handler" use one of these per nested directory, so the walk record
// (cTiffGeneric::SetParentWalk / IsBeingWalked) refuses a directory that an
// ancestor is walking and bounds the depth; a crafted file cannot recurse.
#pragma once

#include <cstdint>

#include "picture/tiff_walker.h"

// Owner provides:
//   bool HandleEntry(cTiffGeneric& w, uint32_t tag, uint32_t type, const uint8_t* data, int32_t size,
//                    uint64_t valueOffset);
//   bool HandleTag(cTiffGeneric& w, uint32_t tag, uint32_t type, const uint8_t* data, int32_t size);
//   bool MarkVisited(uint64_t offset);  // false when walked before in this call
template <class Owner>
class cRawChildWalk : public cTiffGeneric {
public:
  explicit cRawChildWalk(Owner& owner) : owner_(owner) {}
  bool OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) override {
    return owner_.HandleEntry(*this, tag, type, data, size, valueOffset);
  }
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override {
    return owner_.HandleTag(*this, tag, type, data, size);
  }
  // The default entry handling (out-of-line values fetched, then OnTag).
  bool DefaultEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) {
    return cTiffGeneric::OnEntry(tag, type, data, size, valueOffset);
  }

private:
  Owner& owner_;
};

// Walks the directory at offset below parent (same stream, byte order and
// length) with a child of owner; false for a cycle, a directory walked
// before (siblings pointing at one directory would multiply the work), too
// deep a nesting or a failed walk.
template <class Owner>
bool WalkChildIfd(Owner& owner, cTiffGeneric& parent, uint64_t offset) {
  if (parent.IsBeingWalked(offset) || !owner.MarkVisited(offset)) return false;
  cRawChildWalk<Owner> child(owner);
  child.SetParentWalk(&parent);
  return child.WalkIFD(parent.GetStream(), parent.IsBigEndian(), parent.IsBigTiff(), offset, parent.GetLength());
}
