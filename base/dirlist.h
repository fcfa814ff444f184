// Folder listings, the list of places (home folder, drives, network drives),
// disk space and access rights.
//
// cDirListing is the model of the file and folder choosers and of the folder
// scans of the configuration store and the setup application. A listing is
// filled by one read, which replaces what it held; ids are meaningful only
// until the next read. One thread uses a listing at a time.
//
// Order: Windows lists a folder in the order of its file system (NTFS and
// Wine: names compared upper-cased); the Linux build sorts the same way
// (ToUpperW, unit by unit, then ordinal for names that differ only in case),
// so both targets list a tree alike. The places are listed home folder
// first, then local drives A to Z, then the remembered network drives in
// registry (or enumeration) order, then the other connected network drives by
// letter. On Linux the places are the home folder and "/", the latter shown
// as a fixed disk without a label: "Fixed disk / (<size>GB)".
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "base/sorted_tree.h"
#include "base/time.h"

// One entry of a listing.
struct sDirEntry {
  // A folder entry: its name. A place: the drive ("X:") or, for the home
  // folder, its full path.
  _guardchar<char16_t> path;
  // Empty for folder entries; the shown text for places.
  _guardchar<char16_t> displayText;
  uint64_t size = 0;  // bytes of a file; 0 for folders and places
  int32_t kind = 0;   // one of the kinds below
  bool hidden = false;  // hidden or system attribute
  sDateTime writeTime;  // local time of the last write; zero for places

  static constexpr int32_t kFile = 1;
  static constexpr int32_t kFolder = 2;
  static constexpr int32_t kDevice = 4;
  static constexpr int32_t kDrive = 8;
  static constexpr int32_t kHome = 9;
  static constexpr int32_t kOfflineNetworkDrive = 10;
};

class cDirListing {
public:
  cDirListing() = default;
  cDirListing(const cDirListing&) = delete;
  cDirListing& operator=(const cDirListing&) = delete;
  ~cDirListing();

  // Lists the folder: every entry but "." and ".." (hidden ones included),
  // devices left out when skipDevices is set; ids 0, 1, 2, ... in reading
  // order. A remembered network drive that is not connected (a bare "X:")
  // is reconnected first; the system may ask the user for credentials.
  // False, entries empty, when the folder cannot be listed.
  bool ReadDirectory(const char16_t* folder, bool skipDevices);

  // Lists the places (see the file comment). The folder becomes empty.
  // Always true.
  bool ReadPlaces();

  // The entry with that id, or null.
  const sDirEntry* Find(int32_t id) const;

  // The largest id plus one; 0 for an empty listing.
  int32_t NextId() const;

  // The full path of an entry: folder + '/' (left out after a trailing '/'
  // or '\') + the entry's path; for the places list the entry's path alone.
  // False, out unchanged, when no entry has the id.
  bool GetEntryPath(int32_t id, _guardchar<char16_t>& out) const;

  // The listed folder as the caller passed it, normalised ('/'); empty for
  // the places list. Never null.
  const char16_t* GetFolder() const;

  // Removes all entries; true.
  bool Clear();

  // Entries in id order through entries.First() and cSortedTree::Next.
  const cSortedTree<int32_t, sDirEntry>& Entries() const { return entries_; }

private:
  sDirEntry& Add(int32_t id);
  // The start of ReadPlaces on both systems: empties the listing and the
  // folder and adds the home folder when there is one. The next free id.
  int32_t StartPlaces();

  _guardchar<char16_t> folder_;
  cSortedTree<int32_t, sDirEntry> entries_{512};
};

// Loads mpr.dll once and looks up the five network-connection functions;
// true only when all five exist (always false on Linux).
bool LoadNetworkFunctions();

// The bytes available to the caller and the total bytes of the volume that
// holds path. False, outs unchanged, on failure.
bool GetDiskSpace(const char16_t* path, uint64_t& freeBytes, uint64_t& totalBytes);

// Rights values are three bits: 4 read, 2 write, 1 execute.
namespace tw {
inline constexpr uint32_t kRightRead = 4;
inline constexpr uint32_t kRightWrite = 2;
inline constexpr uint32_t kRightExecute = 1;
inline constexpr uint32_t kRightsMissingPath = 8;
}  // namespace tw

// The Windows access mask of a rights value: 0 for none, 0x1F01FF (all
// access) for all three, else the sum of 0x120089 (read), 0x50016 (write)
// and 0x20 (execute). Bits above the three are ignored.
uint32_t GetRightsMask(uint32_t rights);

// The rights the current user has on an existing path (bits 4, 2, 1);
// tw::kRightsMissingPath (8) when the path does not exist; 0 when the check
// cannot be made. On Linux: access(2) with the effective ids.
uint32_t GetAccessRights(const char16_t* path);

// False for a missing path, otherwise whether write access is granted.
bool IsPathWritable(const char16_t* path);

// Replaces the explicit access list of an existing file or folder with three
// allow entries: the current user, the Administrators group (S-1-5-32-544)
// and Everyone (S-1-1-0), each with the mask of its rights value, not
// inherited. False for a missing path, a device, or any failure. On Linux
// the three values become the owner, group and other permission bits.
// The setup application grants (7, 7, 5) and (7, 5, 5).
bool GrantAccess(const char16_t* path, uint32_t userRights, uint32_t administratorsRights,
                 uint32_t everyoneRights);
