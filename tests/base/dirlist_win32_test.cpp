// Windows-only behaviour of base/dirlist.h, run under Wine: access lists as
// written and read back, places with remembered network drives and drives of
// other kinds, and listings of folders beyond MAX_PATH.
//
// Wine stores and evaluates access lists (AccessCheck reads them) but does not
// enforce them when files are opened, so these tests check what is written
// and what AccessCheck answers, not whether a write is refused.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/dirlist.h"
#include "base/dirlist_internal.h"
#include "base/paths.h"
#include "base/strings.h"
#include "base/win_text.h"
#include "tests/support/test_support.h"

namespace {

using twtest::Narrow;
using twtest::U16;

bool MakeFile(const std::u16string& path) {
  _typebuf<char16_t> longPath;
  if (!MakeLongPath(longPath, path.c_str())) return false;
  HANDLE h = CreateFileW(tw::ToWin(longPath.data), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

struct sAce {
  std::vector<unsigned char> sid;
  DWORD mask = 0;
  BYTE type = 0;
  BYTE flags = 0;
};

std::vector<sAce> Aces(PACL acl) {
  std::vector<sAce> out;
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) break;
    auto* header = static_cast<ACE_HEADER*>(ace);
    sAce a;
    a.type = header->AceType;
    a.flags = header->AceFlags;
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      a.mask = allowed->Mask;
      auto* sid = reinterpret_cast<unsigned char*>(&allowed->SidStart);
      a.sid.assign(sid, sid + GetLengthSid(sid));
    }
    out.push_back(a);
  }
  return out;
}

std::vector<unsigned char> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  unsigned char buffer[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof buffer;
  if (!CreateWellKnownSid(type, nullptr, buffer, &size)) return {};
  return std::vector<unsigned char>(buffer, buffer + size);
}

std::vector<unsigned char> CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  alignas(TOKEN_USER) unsigned char buffer[256];
  DWORD size = sizeof buffer;
  std::vector<unsigned char> out;
  if (GetTokenInformation(token, TokenUser, buffer, size, &size)) {
    auto* sid = static_cast<unsigned char*>(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    out.assign(sid, sid + GetLengthSid(sid));
  }
  CloseHandle(token);
  return out;
}

// The list GrantAccess sets: the user, Administrators and Everyone, allowed
// the masks of their rights, nothing inherited.
TEST(GrantAccessInWine, TheAccessListHoldsTheThreeEntries) {
  const auto user = CurrentUserSid();
  const auto administrators = WellKnownSid(WinBuiltinAdministratorsSid);
  const auto everyone = WellKnownSid(WinWorldSid);
  ASSERT_FALSE(user.empty());
  ASSERT_FALSE(administrators.empty());
  const std::vector<unsigned char>* sids[3] = {&user, &administrators, &everyone};
  struct Case {
    uint32_t rights[3];
    DWORD masks[3];
  } cases[] = {
      {{7, 5, 5}, {0x1F01FF, 0x1200A9, 0x1200A9}},
      {{7, 7, 5}, {0x1F01FF, 0x1F01FF, 0x1200A9}},
      {{6, 4, 1}, {0x17009F, 0x120089, 0x20}},
  };
  for (const auto& c : cases) {
    PACL acl = static_cast<PACL>(tw::BuildGrantAccessList(c.rights[0], c.rights[1], c.rights[2]));
    ASSERT_NE(acl, nullptr);
    const auto aces = Aces(acl);
    LocalFree(acl);
    ASSERT_EQ(aces.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(aces[i].type, ACCESS_ALLOWED_ACE_TYPE) << i;
      EXPECT_EQ(aces[i].flags, 0) << i;  // not inherited, not inheritable
      EXPECT_EQ(aces[i].mask, c.masks[i]) << i;
      EXPECT_EQ(aces[i].sid, *sids[i]) << i;
    }
  }
}

// Wine 8 accepts the new list (SetNamedSecurityInfoW succeeds) but keeps
// answering the list it derives from the Unix permission bits, and it never
// refuses an open because of a list. So the end-to-end checks are: the grant
// succeeds on files and folders, fails on missing paths, and the rights
// check evaluates the list Wine reports.
TEST(GrantAccessInWine, GrantAndRightsCheck) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  const std::u16string file = root + u"/installed.exe";
  ASSERT_TRUE(MakeFile(file));
  EXPECT_TRUE(GrantAccess(file.c_str(), 7, 5, 5));
  EXPECT_TRUE(GrantAccess(root.c_str(), 7, 7, 5));
  EXPECT_FALSE(GrantAccess((root + u"/missing").c_str(), 7, 7, 5));
  EXPECT_EQ(GetAccessRights(file.c_str()), 7u);
  EXPECT_EQ(GetAccessRights(root.c_str()), 7u);
  EXPECT_TRUE(IsPathWritable(file.c_str()));
  _typebuf<char16_t> longFile;
  ASSERT_TRUE(MakeLongPath(longFile, file.c_str()));
  ASSERT_TRUE(SetFileAttributesW(tw::ToWin(longFile.data), FILE_ATTRIBUTE_READONLY));
  // Wine drops the write permission bits, and so the write entries of its list.
  EXPECT_EQ(GetAccessRights(file.c_str()), tw::kRightRead | tw::kRightExecute);
  EXPECT_FALSE(IsPathWritable(file.c_str()));
  SetFileAttributesW(tw::ToWin(longFile.data), FILE_ATTRIBUTE_NORMAL);
}

// Keys under HKEY_CURRENT_USER\Network made for one test and removed after it.
class RememberedDrives {
public:
  RememberedDrives() {
    DWORD disposition = 0;
    created_ = RegCreateKeyExW(HKEY_CURRENT_USER, L"Network", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &network_,
                               &disposition) == ERROR_SUCCESS;
    createdNetwork_ = disposition == REG_CREATED_NEW_KEY;
  }
  ~RememberedDrives() {
    for (const auto& name : names_) RegDeleteKeyW(network_, tw::ToWin(name.c_str()));
    if (network_ != nullptr) RegCloseKey(network_);
    if (createdNetwork_) RegDeleteKeyW(HKEY_CURRENT_USER, L"Network");
  }
  bool ok() const { return created_; }
  // A sub-key with a RemotePath value (none when remote is null).
  bool Add(const std::u16string& name, const char16_t* remote) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(network_, tw::ToWin(name.c_str()), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return false;
    names_.push_back(name);
    bool ok = true;
    if (remote != nullptr) {
      const DWORD bytes = static_cast<DWORD>((std::u16string(remote).size() + 1) * sizeof(char16_t));
      ok = RegSetValueExW(key, L"RemotePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(remote), bytes) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
  }

private:
  HKEY network_ = nullptr;
  bool created_ = false;
  bool createdNetwork_ = false;
  std::vector<std::u16string> names_;
};

const sDirEntry* FindPlace(const cDirListing& places, const std::u16string& path, int32_t* id = nullptr) {
  for (int32_t i = 0; i < places.NextId(); ++i) {
    const sDirEntry* e = places.Find(i);
    if (e != nullptr && e->path.text != nullptr && path == e->path.text) {
      if (id != nullptr) *id = i;
      return e;
    }
  }
  return nullptr;
}

TEST(PlacesInWine, RememberedNetworkDrivesFollowTheLocalDrives) {
  if (!IsWindows10OrLater())
    GTEST_SKIP() << "before Windows 10 the drives come from mpr.dll, which lists none under Wine; "
                    "tests/base/places_wine/places_wine.sh runs this as Windows 10";
  RememberedDrives drives;
  ASSERT_TRUE(drives.ok());
  ASSERT_TRUE(drives.Add(u"N", u"\\\\srv\\share"));
  ASSERT_TRUE(drives.Add(u"q", u"\\\\srv\\other"));  // the key name is upper-cased
  ASSERT_TRUE(drives.Add(u"K", u""));                   // an empty remote path: skipped
  ASSERT_TRUE(drives.Add(u"M", nullptr));               // no remote path: skipped
  ASSERT_TRUE(drives.Add(u"1", u"\\\\srv\\digit"));  // not a drive letter: skipped
  ASSERT_TRUE(drives.Add(u"Longer", u"\\\\srv\\x"));  // not a single character: skipped

  cDirListing places;
  ASSERT_TRUE(places.ReadPlaces());
  int32_t nId = -1, qId = -1;
  const sDirEntry* n = FindPlace(places, u"N:", &nId);
  const sDirEntry* q = FindPlace(places, u"Q:", &qId);
  ASSERT_NE(n, nullptr);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(n->kind, sDirEntry::kOfflineNetworkDrive);
  EXPECT_EQ(Narrow(n->displayText.text), "N: (\\\\srv\\share - Offline)");
  EXPECT_EQ(Narrow(q->displayText.text), "Q: (\\\\srv\\other - Offline)");
  EXPECT_EQ(qId, nId + 1);  // registry order
  EXPECT_EQ(FindPlace(places, u"K:"), nullptr);
  EXPECT_EQ(FindPlace(places, u"M:"), nullptr);
  EXPECT_EQ(FindPlace(places, u"1:"), nullptr);

  // Every local drive comes before them, in letter order, C: among them.
  char16_t lastLetter = 0;
  for (int32_t id = 1; id < nId; ++id) {
    const sDirEntry* e = places.Find(id);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->kind, sDirEntry::kDrive);
    EXPECT_GT(e->path.text[0], lastLetter);
    lastLetter = e->path.text[0];
  }
  const sDirEntry* c = FindPlace(places, u"C:");
  ASSERT_NE(c, nullptr);
  uint64_t freeBytes = 0, total = 0;
  ASSERT_TRUE(GetDiskSpace(u"C:\\", freeBytes, total));
  const std::u16string size = tw::GigabyteText(total) + u"GB";
  const std::u16string text = c->displayText.text;
  // "Fixed disk C: (<size>)" or "<label> (C:, <size> fixed drive)".
  EXPECT_TRUE(text == u"Fixed disk C: (" + size + u")" ||
              (text.size() > size.size() + 20 && text.find(u" (C:, " + size + u" fixed drive)") != std::u16string::npos))
      << Narrow(text);
}

// Run by places_wine.sh, which maps a drive letter in the prefix's
// dosdevices and marks it as a CD drive in Wine's drive-type key.
TEST(PlacesInWine, DriveOfAnotherKind) {
  const char* letter = std::getenv("TW_CDROM_DRIVE");
  if (letter == nullptr || letter[0] == 0) GTEST_SKIP() << "only under tests/base/places_wine/places_wine.sh";
  const char16_t drive[3] = {static_cast<char16_t>(letter[0]), u':', 0};
  cDirListing places;
  ASSERT_TRUE(places.ReadPlaces());
  int32_t id = -1;
  const sDirEntry* e = FindPlace(places, drive, &id);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->kind, sDirEntry::kDrive);
  EXPECT_EQ(Narrow(e->displayText.text), std::string("CD/DVD drive ") + letter[0] + ":");
  int32_t cId = -1, zId = -1;
  ASSERT_NE(FindPlace(places, u"C:", &cId), nullptr);
  ASSERT_NE(FindPlace(places, u"Z:", &zId), nullptr);
  EXPECT_LT(cId, id);
  EXPECT_LT(id, zId);
}

TEST(ListingInWine, UnknownDriveLetterIsNotListed) {
  // Not a drive and not a remembered connection: no reconnection, false.
  cDirListing listing;
  for (const char16_t* path : {u"Q:", u"Q:/", u"q:/dir"}) {
    EXPECT_FALSE(listing.ReadDirectory(path, false)) << Narrow(path);
    EXPECT_EQ(listing.NextId(), 0);
  }
}

TEST(ListingInWine, FolderBeyondMaxPath) {
  twtest::TempDir tmp;
  std::u16string path = U16(tmp.path());
  std::vector<std::u16string> levels;
  while (path.size() <= MAX_PATH) {
    path += u"/a-rather-long-folder-name-to-pass-max-path-" + U16(std::to_string(levels.size()));
    ASSERT_TRUE(CreateDirectoryLong(path.c_str()));
    levels.push_back(path);
  }
  ASSERT_TRUE(MakeFile(path + u"/two"));
  ASSERT_TRUE(MakeFile(path + u"/One"));
  cDirListing listing;
  ASSERT_TRUE(listing.ReadDirectory(path.c_str(), true));
  ASSERT_EQ(listing.NextId(), 2);
  EXPECT_EQ(Narrow(listing.Find(0)->path.text), "One");
  EXPECT_EQ(Narrow(listing.Find(1)->path.text), "two");
  _guardchar<char16_t> entry;
  ASSERT_TRUE(listing.GetEntryPath(0, entry));
  EXPECT_EQ(std::u16string(entry.text), path + u"/One");
  EXPECT_EQ(GetPathKind(entry.text), tw::kPathFile);
  for (const char16_t* name : {u"/two", u"/One"}) {
    _typebuf<char16_t> longFile;
    ASSERT_TRUE(MakeLongPath(longFile, (path + name).c_str()));
    EXPECT_TRUE(DeleteFileW(tw::ToWin(longFile.data)));
  }
  for (auto it = levels.rbegin(); it != levels.rend(); ++it) EXPECT_TRUE(RemoveDirectoryLong(it->c_str()));
}

}  // namespace
