// Shared by the platform files of base/dirlist.h and its tests: the texts of
// the places list and the order of a Linux listing. Not part of the public
// interface.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

// Drive types as GetDriveTypeW reports them.
enum eDriveType : uint32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdRom = 5,
  kDriveRamDisk = 6,
};

// The volume size shown in the places list: (totalBytes / 10737418, an
// integer division) x 0.01 with two decimals, as printf's "%.02f" shows it.
std::u16string GigabyteText(uint64_t totalBytes);

// The text of a local drive (or of a network drive listed by letter only).
// An empty label means none.
//   fixed:     "<label> (X:, <gb>GB fixed drive)" | "Fixed disk X: (<gb>GB)"
//   remote:    "<label> (X:, <gb>GB network drive)" | "Network disk X: (<gb>GB)"
//   CD or DVD: "CD/DVD drive X:"; RAM disk: "RAM drive X:"; other: "Disk X:"
std::u16string LocalDriveText(uint32_t driveType, const std::u16string& label, char16_t letter,
                              uint64_t totalBytes);

// The text of a remembered network drive; drive is its local name ("X:").
//   connected: "<label> (X:, <gb>GB on <remote>)" | "X: (<gb>GB on <remote>)"
//   offline:   "<label> (X: on <remote> - Offline)" | "X: (<remote> - Offline)"
std::u16string NetworkDriveText(bool connected, const std::u16string& label, const std::u16string& drive,
                                uint64_t totalBytes, const std::u16string& remote);

// The order of entry names in a listing: unit by unit after ToUpperW, then
// ordinal for names equal that way. Negative, zero or positive.
int CompareListingNames(const char16_t* a, const char16_t* b);

// Windows only: the access list that GrantAccess sets, three allow entries
// (the current user, Administrators, Everyone) without inheritance, built
// with SetEntriesInAclW. A PACL that the caller frees with LocalFree; null on
// failure.
void* BuildGrantAccessList(uint32_t userRights, uint32_t administratorsRights, uint32_t everyoneRights);

}  // namespace tw
