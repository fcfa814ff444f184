// File property bags: what the software manager learns about one file.
// A bag holds kind-separated properties (integers, doubles, strings, one
// picture, timestamps) under small integer ids. CreateFileObjectProps looks
// at a file and makes the matching bag:
//  - cSimpleImageProps for anything the picture factory recognises: its
//    size (ints 0, 1), image count (int 2) and the picture fitted into the
//    wanted size (picture 3);
//  - cWinExeProps for a Windows program file (PE) with a resource section:
//    its version strings (strings 6, 7, 8, 9, 11), link time (timestamp 13)
//    and the icon from its resources that best fits the wanted size
//    (picture 3).
//
// Rules:
//  a. Program files are outside data. Every resource is read through a
//     window bounded by both the resource section and the resource's own
//     size; a resource whose data address or size leaves the section is
//     skipped, never read (kResource... checks in file_props.cpp).
//  b. The version walk never reads past the node it is in: a node's length
//     must fit what is left, the padding after the last node is optional,
//     and blocks nest at most kMaxVersionNesting deep.
//  c. Icons whose width or height is 0 are skipped.
//  d. Nothing throws out of a bag; failures are false results or a null bag.
//     A version resource that fails to parse only leaves its strings out; an
//     icon that fails to decode only leaves picture 3 empty.
//  e. The stream is borrowed for each call; its position is undefined after.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/guardchar.h"
#include "base/memio.h"
#include "base/sorted_tree.h"
#include "base/time.h"
#include "picture/pict_base.h"

// Property ids the bags set (ids are separate per kind).
enum : int32_t {
  kPropIntWidth = 0,
  kPropIntHeight = 1,
  kPropIntImageCount = 2,
  kPropPicture = 3,
  kPropStringName = 6,         // product name, else the file description
  kPropStringDescription = 7,  // file description beside a product name
  kPropStringCompany = 8,
  kPropStringCopyright = 9,
  kPropStringVersion = 11,     // product version, else the file version
  kPropTimeLinked = 13,        // link time of a program file, UTC
};

// File-type codes of GetType.
enum : int32_t {
  kFileTypeExecutable = 0,
  kFileTypeOtherPicture = 14,
};

class cFileObjectProps {
public:
  cFileObjectProps() = default;
  cFileObjectProps(const cFileObjectProps&) = delete;
  cFileObjectProps& operator=(const cFileObjectProps&) = delete;
  virtual ~cFileObjectProps() = default;

  virtual int32_t GetType() const = 0;
  // Reads the file's properties. The caller sets the wanted size first.
  // reserved is not used.
  virtual bool Load(cFileIOTarget* stream, void* reserved, bool wantPicture) = 0;
  // Wanted size back to -1 x -1; empties the integer, double, string and
  // picture properties (the timestamps stay).
  virtual void Clear();

  // Only the ids 0, 1, 2, 4, 5, 16, 20 and 21; false (nothing stored) for
  // any other.
  bool SetIntProp(int32_t id, int32_t value);
  // Only id 13.
  bool SetTimestampProp(int32_t id, const sDateTime& time);
  // Moves picture's pixels into picture 3 (the holder made when absent);
  // false for a null picture or one without pixels.
  bool SetPictureProp(cPictBase* picture);

  // -1: no limit; 0: no picture wanted.
  int32_t wantedWidth = -1;
  int32_t wantedHeight = -1;
  cSortedTree<int32_t, int32_t> ints{512};
  cSortedTree<int32_t, double> doubles{512};
  cSortedTree<int32_t, _guardchar<char16_t>> strings{512};
  cSortedTree<int32_t, std::unique_ptr<cPictDummy>> pictures{512};
  cSortedTree<int32_t, sDateTime> timestamps{512};
};

// Picture 3 of bag, or null (also for a null bag).
cPictDummy* FindPictureKey3(cFileObjectProps* bag);

// A picture file: made with the factory's decoder, which it owns.
class cSimpleImageProps : public cFileObjectProps {
public:
  explicit cSimpleImageProps(std::unique_ptr<cPictBase> decoder);
  int32_t GetType() const override { return type_; }
  bool Load(cFileIOTarget* stream, void* reserved, bool wantPicture) override;

private:
  std::unique_ptr<cPictBase> decoder_;
  int32_t type_ = kFileTypeOtherPicture;
};

// The file-type code of a decoder format id (kFileTypeOtherPicture for any
// format without a code of its own).
int32_t FileTypeOfPictFormat(int32_t format);

// A Windows program file with a resource section.
class cWinExeProps : public cFileObjectProps {
public:
  int32_t GetType() const override { return kFileTypeExecutable; }
  bool Load(cFileIOTarget* stream, void* reserved, bool wantPicture) override;
};

// A new bag for the file, or null (null stream, unknown kind). The caller
// owns it.
std::unique_ptr<cFileObjectProps> CreateFileObjectProps(cFileIOTarget* stream);

// ---- The program-file reading, open for tests and fuzzing ----

// Where a PE file keeps its resources.
struct sPeResourceSection {
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawPointer = 0;
  uint32_t timeDateStamp = 0;
};

// The DOS and PE headers and the ".rsrc" section (see the .cpp for the
// checks). False when the file is not a PE file with a resource section.
bool ReadPeResourceSection(cFileIOTarget* stream, sPeResourceSection* section);
inline bool IsPeWithResources(cFileIOTarget* stream) { return ReadPeResourceSection(stream, nullptr); }

struct sResourceEntry {
  uint32_t rva = 0;
  uint32_t size = 0;
  uint32_t language = 0;
};
// type id -> resource id -> language entries, in directory order. Only
// types 16 (version) and 3 (icon) are kept.
using tResourceMap = std::map<uint32_t, std::map<uint32_t, std::vector<sResourceEntry>>>;

// Walks the three-level resource directory of the section. False when a
// directory does not fit the section or an entry points to the wrong kind.
bool ReadResourceDirectory(cFileIOTarget* stream, const sPeResourceSection& section, tResourceMap* map);

// Opens window over the data of entry when it lies wholly inside the
// resource section and the file (rule a); false otherwise.
bool OpenResourceData(cFileIOTarget* stream, const sPeResourceSection& section, const sResourceEntry& entry,
                      cFileIOSubRange* window);

// Nesting of version blocks beyond which the walk fails (real resources
// nest three deep: StringFileInfo, string table, string).
inline constexpr int32_t kMaxVersionNesting = 16;

// key -> value of the text values in a version resource's children area
// (the stream's whole size). Values lose their last character, then
// trailing blanks and zero characters (the first character always stays).
// False when a node is malformed; strings collected so far stay in map.
bool ParseVersionStrings(cFileIOTarget* stream, std::map<std::u16string, std::u16string>* map);
