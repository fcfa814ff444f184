// The platform-independent half of base/dirlist.h: the listing container,
// the texts of the places list and the rights arithmetic. See the header.
#include "base/dirlist.h"

#include "base/dirlist_internal.h"
#include "base/paths.h"
#include "base/strings.h"

cDirListing::~cDirListing() { Clear(); }

sDirEntry& cDirListing::Add(int32_t id) { return *entries_.FindOrInsert(id); }

int32_t cDirListing::StartPlaces() {
  Clear();
  folder_.Clear();
  int32_t id = 0;
  _guardchar<char16_t> home;
  if (GetHomeFolder(home)) {
    sDirEntry& e = Add(id++);
    e.path.Assign(home.text);
    e.displayText.Assign(u"Home folder");
    e.kind = sDirEntry::kHome;
  }
  return id;
}

const sDirEntry* cDirListing::Find(int32_t id) const { return entries_.Find(id); }

int32_t cDirListing::NextId() const {
  const auto* last = entries_.Last();
  return last != nullptr ? last->key + 1 : 0;
}

bool cDirListing::GetEntryPath(int32_t id, _guardchar<char16_t>& out) const {
  const sDirEntry* e = Find(id);
  if (e == nullptr) return false;
  std::u16string path;
  if (!folder_.IsEmpty()) {
    path = folder_.text;
    const char16_t last = path.back();
    if (last != u'/' && last != u'\\') path += u'/';
  }
  if (e->path.text != nullptr) path += e->path.text;
  out.Assign(path.c_str());
  return true;
}

const char16_t* cDirListing::GetFolder() const { return folder_.text != nullptr ? folder_.text : u""; }

bool cDirListing::Clear() {
  entries_.Clear();
  return true;
}

uint32_t GetRightsMask(uint32_t rights) {
  rights &= 7;
  if (rights == 0) return 0;
  if (rights == 7) return 0x1F01FF;  // all access, not the sum of the three
  uint32_t mask = 0;
  if (rights & tw::kRightRead) mask += 0x120089;
  if (rights & tw::kRightWrite) mask += 0x50016;
  if (rights & tw::kRightExecute) mask += 0x20;
  return mask;
}

bool IsPathWritable(const char16_t* path) {
  const uint32_t rights = GetAccessRights(path);
  return rights != tw::kRightsMissingPath && (rights & tw::kRightWrite) != 0;
}

namespace tw {

std::u16string GigabyteText(uint64_t totalBytes) {
  // Hundredths of a GB; printing n x 0.01 with two decimals shows n exactly.
  const uint64_t hundredths = totalBytes / 10737418u;
  std::u16string digits;
  for (uint64_t v = hundredths / 100;; v /= 10) {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + v % 10));
    if (v < 10) break;
  }
  digits += u'.';
  digits += static_cast<char16_t>(u'0' + hundredths / 10 % 10);
  digits += static_cast<char16_t>(u'0' + hundredths % 10);
  return digits;
}

std::u16string LocalDriveText(uint32_t driveType, const std::u16string& label, char16_t letter,
                              uint64_t totalBytes) {
  const std::u16string drive = std::u16string(1, letter) + u":";
  switch (driveType) {
    case kDriveFixed:
      if (!label.empty()) return label + u" (" + drive + u", " + GigabyteText(totalBytes) + u"GB fixed drive)";
      return u"Fixed disk " + drive + u" (" + GigabyteText(totalBytes) + u"GB)";
    case kDriveRemote:
      if (!label.empty()) return label + u" (" + drive + u", " + GigabyteText(totalBytes) + u"GB network drive)";
      return u"Network disk " + drive + u" (" + GigabyteText(totalBytes) + u"GB)";
    case kDriveCdRom:
      return u"CD/DVD drive " + drive;
    case kDriveRamDisk:
      return u"RAM drive " + drive;
    default:
      return u"Disk " + drive;
  }
}

std::u16string NetworkDriveText(bool connected, const std::u16string& label, const std::u16string& drive,
                                uint64_t totalBytes, const std::u16string& remote) {
  if (connected) {
    if (!label.empty()) return label + u" (" + drive + u", " + GigabyteText(totalBytes) + u"GB on " + remote + u")";
    return drive + u" (" + GigabyteText(totalBytes) + u"GB on " + remote + u")";
  }
  if (!label.empty()) return label + u" (" + drive + u" on " + remote + u" - Offline)";
  return drive + u" (" + remote + u" - Offline)";
}

int CompareListingNames(const char16_t* a, const char16_t* b) {
  size_t i = 0;
  for (;; ++i) {
    const char16_t x = ToUpperW(a[i]), y = ToUpperW(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) break;
  }
  for (i = 0;; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (a[i] == 0) return 0;
  }
}

}  // namespace tw
