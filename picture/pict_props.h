// Picture properties: typed metadata objects that a picture keeps in its
// property map under fixed ids 0 to 21. Each id always holds one kind:
//   string 0, 3 make, 4 model; timestamp 1 capture, 2 file; double 5
//   exposure, 6 f-number, 8 and 9 resolution, 15 to 17 GPS latitude,
//   longitude, altitude; int 7 ISO, 10 per inch, 11 mirror, 12 rotation,
//   18 and 19 recorded size, 20 compression; image 13 thumbnail, 14; raw 21
//   maker note.
// The map owns its properties; writers fill the value fields in place.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/sorted_tree.h"

class cPictBase;

enum ePictPropType : int32_t {
  kPropInt = 0,
  kPropDouble = 1,
  kPropTimestamp = 2,
  kPropString = 3,
  kPropImage = 4,
  kPropRaw = 5,
};

enum ePictPropId : int32_t {
  kPropIdThumbnail = 13,
  kPropIdPreview = 14,
  kPropIdLast = 21,
};

class cPictProp {
public:
  cPictProp() = default;
  cPictProp(const cPictProp&) = delete;
  cPictProp& operator=(const cPictProp&) = delete;
  virtual int32_t GetType() const = 0;
  virtual ~cPictProp() = default;

  // The kind that id implies; -1 for an id outside 0..21.
  static int32_t KindOfId(int32_t id);
  // A new empty property of that kind; null for -1.
  static std::unique_ptr<cPictProp> Create(int32_t kind);
};

class cPictPropInt : public cPictProp {
public:
  int32_t GetType() const override { return kPropInt; }
  int32_t value = 0;
};

class cPictPropDouble : public cPictProp {
public:
  int32_t GetType() const override { return kPropDouble; }
  double value = 0.0;
};

struct sPictTimestamp {
  uint16_t year = 0;
  uint8_t month = 0;
  uint8_t day = 0;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
};

class cPictPropTimestamp : public cPictProp {
public:
  int32_t GetType() const override { return kPropTimestamp; }
  sPictTimestamp value;
};

class cPictPropString : public cPictProp {
public:
  int32_t GetType() const override { return kPropString; }
  _guardchar<char16_t> value;
};

class cPictPropImage : public cPictProp {
public:
  cPictPropImage() = default;
  ~cPictPropImage() override;
  int32_t GetType() const override { return kPropImage; }
  // Owns picture from now on; the picture held before is deleted.
  void SetPicture(cPictBase* picture);
  cPictBase* GetPicture() const { return picture_; }
  // The two properties swap their pictures; nothing is deleted.
  void Exchange(cPictPropImage& other) {
    cPictBase* t = picture_;
    picture_ = other.picture_;
    other.picture_ = t;
  }

private:
  cPictBase* picture_ = nullptr;
};

class cPictPropRaw : public cPictProp {
public:
  int32_t GetType() const override { return kPropRaw; }
  _typebuf<uint8_t> bytes;
  uint64_t offset = 0;  // where bytes start in the source stream
};

class cPictPropMap {
public:
  cPictPropMap() : tree_(512) {}
  cPictProp* Find(int32_t id) const;
  // Stores property under id unless one is there; the one stored either way.
  cPictProp* Insert(int32_t id, std::unique_ptr<cPictProp> property);
  bool IsEmpty() const { return tree_.IsEmpty(); }
  // Deletes the property under id; false when there is none.
  bool Erase(int32_t id);
  // Deletes every property.
  void Clear() { tree_.Clear(); }

private:
  cSortedTree<int32_t, std::unique_ptr<cPictProp>> tree_;
};
