// See pict_props.h.
#include "picture/pict_props.h"

#include "picture/pict_base.h"

int32_t cPictProp::KindOfId(int32_t id) {
  // Index = id; the kind each id always holds.
  static constexpr int8_t kKinds[kPropIdLast + 1] = {
      kPropString,    // 0
      kPropTimestamp, kPropTimestamp,          // 1 capture, 2 file
      kPropString,    kPropString,             // 3 make, 4 model
      kPropDouble,    kPropDouble,             // 5 exposure, 6 f-number
      kPropInt,                                // 7 ISO
      kPropDouble,    kPropDouble,             // 8, 9 resolution
      kPropInt,       kPropInt,    kPropInt,   // 10 unit, 11 mirror, 12 rotation
      kPropImage,     kPropImage,              // 13 thumbnail, 14
      kPropDouble,    kPropDouble, kPropDouble,  // 15..17 GPS
      kPropInt,       kPropInt,    kPropInt,   // 18, 19 size, 20 compression
      kPropRaw,                                // 21 maker note
  };
  if (id < 0 || id > kPropIdLast) return -1;
  return kKinds[id];
}

std::unique_ptr<cPictProp> cPictProp::Create(int32_t kind) {
  switch (kind) {
    case kPropInt: return std::make_unique<cPictPropInt>();
    case kPropDouble: return std::make_unique<cPictPropDouble>();
    case kPropTimestamp: return std::make_unique<cPictPropTimestamp>();
    case kPropString: return std::make_unique<cPictPropString>();
    case kPropImage: return std::make_unique<cPictPropImage>();
    case kPropRaw: return std::make_unique<cPictPropRaw>();
    default: return nullptr;
  }
}

cPictPropImage::~cPictPropImage() { delete picture_; }

void cPictPropImage::SetPicture(cPictBase* picture) {
  if (picture == picture_) return;
  delete picture_;
  picture_ = picture;
}

cPictProp* cPictPropMap::Find(int32_t id) const {
  const std::unique_ptr<cPictProp>* p = tree_.Find(id);
  return p != nullptr ? p->get() : nullptr;
}

cPictProp* cPictPropMap::Insert(int32_t id, std::unique_ptr<cPictProp> property) {
  std::unique_ptr<cPictProp>* slot = tree_.FindOrInsert(id);
  if (slot == nullptr) return nullptr;
  if (*slot == nullptr) *slot = std::move(property);
  return slot->get();
}

bool cPictPropMap::Erase(int32_t id) {
  auto* node = tree_.FindNode(id);
  return node != nullptr && tree_.Erase(node);
}
