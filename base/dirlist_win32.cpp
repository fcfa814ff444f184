// Win32 side of base/dirlist.h: FindFirstFileExW listings, drive and
// network-drive places (mpr.dll loaded at run time, HKCU\Network), disk space
// and the access checks and grants of advapi32. Only this file of the
// listing service includes windows.h.
#include <windows.h>
#include <aclapi.h>
#include <winnetwk.h>

#include <atomic>
#include <mutex>
#include <string>

#include "base/dirlist.h"
#include "base/dirlist_internal.h"
#include "base/paths.h"
#include "base/strings.h"
#include "base/win_text.h"

namespace {

// Owners of the handle families used here.
struct sHandle {
  HANDLE h = nullptr;
  ~sHandle() {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
struct sFind {
  HANDLE h = INVALID_HANDLE_VALUE;
  ~sFind() {
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
  }
};
struct sKey {
  HKEY h = nullptr;
  ~sKey() {
    if (h != nullptr) RegCloseKey(h);
  }
};

// The network-connection functions of mpr.dll, loaded once; the module stays
// loaded for the life of the process.
struct sNetworkFunctions {
  using OpenEnumFn = DWORD(WINAPI*)(DWORD, DWORD, DWORD, LPNETRESOURCEW, LPHANDLE);
  using EnumResourceFn = DWORD(WINAPI*)(HANDLE, LPDWORD, LPVOID, LPDWORD);
  using CloseEnumFn = DWORD(WINAPI*)(HANDLE);
  using AddConnection2Fn = DWORD(WINAPI*)(LPNETRESOURCEW, LPCWSTR, LPCWSTR, DWORD);
  using GetConnectionFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, LPDWORD);
  HMODULE module = nullptr;
  OpenEnumFn openEnum = nullptr;
  EnumResourceFn enumResource = nullptr;
  CloseEnumFn closeEnum = nullptr;
  AddConnection2Fn addConnection2 = nullptr;
  GetConnectionFn getConnection = nullptr;
  bool complete = false;
};
sNetworkFunctions gNet;
std::once_flag gNetOnce;

template <class Fn>
Fn Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// RegGetValueW, looked up once (kNotLookedUp until then, null when missing).
using RegGetValueFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPCWSTR, DWORD, LPDWORD, PVOID, LPDWORD);
void* const kNotLookedUp = reinterpret_cast<void*>(1);
std::atomic<void*> gRegGetValue{kNotLookedUp};

RegGetValueFn RegGetValueFunction() {
  void* fn = gRegGetValue.load(std::memory_order_acquire);
  if (fn == kNotLookedUp) {
    HMODULE advapi = GetModuleHandleW(L"ADVAPI32.DLL");
    fn = advapi != nullptr ? reinterpret_cast<void*>(GetProcAddress(advapi, "RegGetValueW")) : nullptr;
    gRegGetValue.store(fn, std::memory_order_release);
  }
  return reinterpret_cast<RegGetValueFn>(fn);
}

uint64_t FileTimeValue(const FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

std::u16string RootOf(char16_t letter) { return std::u16string(1, letter) + u":\\"; }

uint64_t TotalBytes(const std::u16string& root) {
  uint64_t freeBytes = 0, total = 0;
  GetDiskSpace(root.c_str(), freeBytes, total);
  return total;
}

// The volume label, empty when there is none or it cannot be read.
std::u16string VolumeLabel(const std::u16string& root) {
  char16_t label[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(tw::ToWin(root.c_str()), tw::ToWin(label), MAX_PATH + 1, nullptr, nullptr, nullptr,
                             nullptr, 0))
    return std::u16string();
  return label;
}

bool IsRemoteDrive(const std::u16string& root) { return GetDriveTypeW(tw::ToWin(root.c_str())) == DRIVE_REMOTE; }

// A remembered network drive that is not connected: reconnect it, letting the
// system ask for credentials. True when the connection was made.
bool Reconnect(char16_t letter) {
  if (!LoadNetworkFunctions()) return false;
  try {
    const std::u16string local = std::u16string(1, letter) + u":";
    char16_t remote[260] = {};
    DWORD length = 260;
    if (gNet.getConnection(tw::ToWin(local.c_str()), tw::ToWin(remote), &length) != ERROR_CONNECTION_UNAVAIL)
      return false;
    NETRESOURCEW resource = {};
    resource.dwType = RESOURCETYPE_DISK;
    std::u16string localCopy = local;
    resource.lpLocalName = tw::ToWin(localCopy.data());
    resource.lpRemoteName = tw::ToWin(remote);
    return gNet.addConnection2(&resource, nullptr, nullptr, CONNECT_INTERACTIVE) == NO_ERROR;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool LoadNetworkFunctions() {
  std::call_once(gNetOnce, [] {
    gNet.module = LoadLibraryW(L"mpr.dll");
    if (gNet.module == nullptr) return;
    gNet.openEnum = Lookup<sNetworkFunctions::OpenEnumFn>(gNet.module, "WNetOpenEnumW");
    gNet.enumResource = Lookup<sNetworkFunctions::EnumResourceFn>(gNet.module, "WNetEnumResourceW");
    gNet.closeEnum = Lookup<sNetworkFunctions::CloseEnumFn>(gNet.module, "WNetCloseEnum");
    gNet.addConnection2 = Lookup<sNetworkFunctions::AddConnection2Fn>(gNet.module, "WNetAddConnection2W");
    gNet.getConnection = Lookup<sNetworkFunctions::GetConnectionFn>(gNet.module, "WNetGetConnectionW");
    gNet.complete = gNet.openEnum && gNet.enumResource && gNet.closeEnum && gNet.addConnection2 && gNet.getConnection;
  });
  return gNet.complete;
}

bool cDirListing::ReadDirectory(const char16_t* folder, bool skipDevices) {
  Clear();
  _typebuf<char16_t> longPath;
  if (!MakeLongPath(longPath, folder)) return false;
  bool reconnected = false;
  for (;;) {
    const DWORD attr = GetFileAttributesW(tw::ToWin(longPath.data));
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) break;
    // Only a path that is missing altogether and names a drive ("\\?\X:...")
    // may be a remembered network drive; one reconnection is tried.
    const char16_t* p = longPath.data;  // zero-terminated: the tests stop at the terminator
    const bool prefixed = p[0] == u'\\' && p[1] == u'\\' && p[2] == u'?' && p[3] == u'\\';
    const char16_t letter = prefixed ? p[4] : 0;
    const bool driveForm =
        prefixed && ((letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z')) && p[5] == u':';
    if (attr != INVALID_FILE_ATTRIBUTES || !driveForm || reconnected || !Reconnect(letter)) return false;
    reconnected = true;
  }
  folder_.Clear();
  folder_.Assign(folder);
  NormalizePath(folder_.text);

  std::u16string pattern(longPath.data);
  if (pattern.back() != u'\\') pattern += u'\\';
  pattern += u"*.*";
  WIN32_FIND_DATAW found;
  sFind search;
  search.h = FindFirstFileExW(tw::ToWin(pattern.c_str()), FindExInfoStandard, &found, FindExSearchNameMatch,
                              nullptr, 0);
  if (search.h == INVALID_HANDLE_VALUE) return false;
  int32_t id = 0;
  do {
    const char16_t* name = tw::FromWin(found.cFileName);
    if ((name[0] == u'.' && name[1] == 0) || (name[0] == u'.' && name[1] == u'.' && name[2] == 0)) continue;
    const DWORD attr = found.dwFileAttributes;
    if (skipDevices && (attr & FILE_ATTRIBUTE_DEVICE)) continue;
    sDirEntry& e = Add(id++);
    e.path.Assign(name);
    e.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    e.kind = (attr & FILE_ATTRIBUTE_DEVICE) ? sDirEntry::kDevice
             : (attr & FILE_ATTRIBUTE_DIRECTORY) ? sDirEntry::kFolder
                                                 : sDirEntry::kFile;
    e.hidden = (attr & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    FileTimeToLocalDateTime(FileTimeValue(found.ftLastWriteTime), e.writeTime);
  } while (FindNextFileW(search.h, &found));
  return true;
}

bool cDirListing::ReadPlaces() {
  int32_t id = StartPlaces();
  auto addDrive = [&](const std::u16string& drive, const std::u16string& text, int32_t kind) {
    sDirEntry& e = Add(id++);
    e.path.Assign(drive.c_str());
    e.displayText.Assign(text.c_str());
    e.kind = kind;
  };

  // Connected network drives whose listing waits until the remembered ones
  // are known: letter -> 1 while still to be listed.
  cSortedTree<char16_t, int32_t> deferred(128);
  const bool haveNetwork = LoadNetworkFunctions();
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    const std::u16string root = RootOf(letter);
    const UINT type = GetDriveTypeW(tw::ToWin(root.c_str()));
    if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) continue;
    if (type == DRIVE_REMOTE && haveNetwork) {
      *deferred.FindOrInsert(letter) = 1;
      continue;
    }
    const bool sized = type == DRIVE_FIXED || type == DRIVE_REMOTE;
    const std::u16string text = tw::LocalDriveText(type, sized ? VolumeLabel(root) : std::u16string(), letter,
                                                   sized ? TotalBytes(root) : 0);
    addDrive(std::u16string(1, letter) + u":", text, sDirEntry::kDrive);
  }

  auto clearDeferred = [&](char16_t letter) {
    if (int32_t* flag = deferred.Find(letter)) *flag = 0;
  };
  // A remembered drive: listed with its remote name, connected or offline.
  auto addRemembered = [&](const std::u16string& drive, const std::u16string& remote) {
    const std::u16string root = drive.substr(0, 2) + u"\\";
    const bool connected = IsRemoteDrive(root);
    const std::u16string text = tw::NetworkDriveText(connected, connected ? VolumeLabel(root) : std::u16string(),
                                                     drive, connected ? TotalBytes(root) : 0, remote);
    addDrive(drive.substr(0, 2), text, connected ? sDirEntry::kDrive : sDirEntry::kOfflineNetworkDrive);
  };

  if (IsWindows10OrLater()) {
    sKey network;
    RegGetValueFn regGetValue = RegGetValueFunction();
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Network", 0, KEY_ALL_ACCESS, &network.h) == ERROR_SUCCESS) {
      for (DWORD index = 0;; ++index) {
        char16_t name[10] = {};
        DWORD nameLength = 10;
        const LONG rc =
            RegEnumKeyExW(network.h, index, tw::ToWin(name), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;  // a longer name is no drive letter
        if (rc != ERROR_SUCCESS) break;
        if (nameLength != 1) continue;
        const char16_t letter = ToUpperW(name[0]);
        if (letter < u'A' || letter > u'Z' || regGetValue == nullptr) continue;
        const std::u16string subKey = std::u16string(u"Network\\") + letter;
        sKey drive;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, tw::ToWin(subKey.c_str()), 0, KEY_READ, &drive.h) != ERROR_SUCCESS)
          continue;
        // 256 bytes of value and a terminator that stays zero whatever the type.
        char16_t remote[129] = {};
        DWORD size = 256;
        if (regGetValue(drive.h, nullptr, L"RemotePath", RRF_RT_ANY, nullptr, remote, &size) != ERROR_SUCCESS ||
            remote[0] == 0)
          continue;
        clearDeferred(letter);
        addRemembered(std::u16string(1, letter) + u":", remote);
      }
    }
  } else if (haveNetwork) {
    HANDLE enumeration = nullptr;  // closed by WNetCloseEnum, not CloseHandle
    if (gNet.openEnum(RESOURCE_REMEMBERED, RESOURCETYPE_DISK, RESOURCEUSAGE_CONNECTABLE, nullptr,
                      &enumeration) == NO_ERROR) {
      // One resource per call; the strings it points to live in the buffer.
      alignas(NETRESOURCEW) unsigned char buffer[16384];
      for (;;) {
        DWORD count = 1, size = sizeof buffer;
        if (gNet.enumResource(enumeration, &count, buffer, &size) != NO_ERROR || count == 0) break;
        const NETRESOURCEW* r = reinterpret_cast<const NETRESOURCEW*>(buffer);
        if (r->lpLocalName == nullptr || r->lpRemoteName == nullptr) continue;
        const std::u16string local = tw::FromWin(r->lpLocalName);
        if (local.size() < 2) continue;
        const char16_t letter = ToUpperW(local[0]);
        if (local[1] == u':' && letter >= u'A' && letter <= u'Z') clearDeferred(letter);
        addRemembered(local, tw::FromWin(r->lpRemoteName));
      }
      gNet.closeEnum(enumeration);
    }
  }

  for (auto* n = deferred.First(); n != nullptr; n = cSortedTree<char16_t, int32_t>::Next(n)) {
    if (n->value != 1) continue;
    const std::u16string root = RootOf(n->key);
    addDrive(std::u16string(1, n->key) + u":",
             tw::LocalDriveText(tw::kDriveRemote, VolumeLabel(root), n->key, TotalBytes(root)), sDirEntry::kDrive);
  }
  return true;
}

bool GetDiskSpace(const char16_t* path, uint64_t& freeBytes, uint64_t& totalBytes) {
  if (path == nullptr) return false;
  ULARGE_INTEGER available, total;
  if (!GetDiskFreeSpaceExW(tw::ToWin(path), &available, &total, nullptr)) return false;
  freeBytes = available.QuadPart;
  totalBytes = total.QuadPart;
  return true;
}

uint32_t GetAccessRights(const char16_t* path) {
  if (GetPathKind(path) == tw::kPathMissing) return tw::kRightsMissingPath;
  _typebuf<char16_t> longPath;
  if (!MakeLongPath(longPath, path)) return 0;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  // The first call only asks for the size.
  if (GetFileSecurityW(tw::ToWin(longPath.data), what, nullptr, 0, &needed) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
    return 0;
  _typebuf<unsigned char> descriptor(static_cast<int32_t>(needed));
  if (!GetFileSecurityW(tw::ToWin(longPath.data), what, descriptor.data, needed, &needed)) return 0;

  sHandle process, impersonation;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE | STANDARD_RIGHTS_READ,
                        &process.h))
    return 0;
  if (!DuplicateToken(process.h, SecurityImpersonation, &impersonation.h)) return 0;

  GENERIC_MAPPING mapping = {0x120089, 0x120116, 0x1200A0, 0x1F01FF};
  const struct {
    DWORD generic;
    uint32_t bit;
  } requests[] = {{GENERIC_READ, tw::kRightRead}, {GENERIC_WRITE, tw::kRightWrite}, {GENERIC_EXECUTE, tw::kRightExecute}};
  uint32_t rights = 0;
  for (const auto& r : requests) {
    DWORD access = r.generic;
    MapGenericMask(&access, &mapping);
    PRIVILEGE_SET privileges;
    DWORD privilegesLength = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    if (AccessCheck(descriptor.data, impersonation.h, access, &mapping, &privileges, &privilegesLength, &granted,
                    &status) &&
        status)
      rights |= r.bit;
  }
  return rights;
}

namespace tw {

void* BuildGrantAccessList(uint32_t userRights, uint32_t administratorsRights, uint32_t everyoneRights) {
  sHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token.h)) return nullptr;
  DWORD needed = 0;
  GetTokenInformation(token.h, TokenUser, nullptr, 0, &needed);  // the size
  if (needed < sizeof(TOKEN_USER)) return nullptr;
  _typebuf<unsigned char> userInfo(static_cast<int32_t>(needed));
  if (!GetTokenInformation(token.h, TokenUser, userInfo.data, needed, &needed)) return nullptr;
  PSID user = reinterpret_cast<TOKEN_USER*>(userInfo.data)->User.Sid;

  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
  PSID administrators = nullptr, everyone = nullptr;
  PACL acl = nullptr;
  if (AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                               0, &administrators) &&
      AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
    EXPLICIT_ACCESSW entries[3] = {};
    const struct {
      PSID sid;
      uint32_t rights;
      TRUSTEE_TYPE type;
    } who[3] = {{user, userRights, TRUSTEE_IS_USER},
                {administrators, administratorsRights, TRUSTEE_IS_GROUP},
                {everyone, everyoneRights, TRUSTEE_IS_WELL_KNOWN_GROUP}};
    for (int i = 0; i < 3; ++i) {
      entries[i].grfAccessPermissions = GetRightsMask(who[i].rights);
      entries[i].grfAccessMode = GRANT_ACCESS;
      entries[i].grfInheritance = NO_INHERITANCE;
      entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
      entries[i].Trustee.TrusteeType = who[i].type;
      entries[i].Trustee.ptstrName = reinterpret_cast<LPWSTR>(who[i].sid);
    }
    // No existing list: the new one holds only the three entries.
    if (SetEntriesInAclW(3, entries, nullptr, &acl) != ERROR_SUCCESS) acl = nullptr;
  }
  if (administrators != nullptr) FreeSid(administrators);
  if (everyone != nullptr) FreeSid(everyone);
  return acl;
}

}  // namespace tw

bool GrantAccess(const char16_t* path, uint32_t userRights, uint32_t administratorsRights,
                 uint32_t everyoneRights) {
  const int kind = GetPathKind(path);
  if (kind != tw::kPathFile && kind != tw::kPathDirectory) return false;
  _typebuf<char16_t> longPath;
  if (!MakeLongPath(longPath, path)) return false;
  PACL acl = static_cast<PACL>(tw::BuildGrantAccessList(userRights, administratorsRights, everyoneRights));
  if (acl == nullptr) return false;
  const bool ok = SetNamedSecurityInfoW(tw::ToWin(longPath.data), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, acl, nullptr) == ERROR_SUCCESS;
  LocalFree(acl);
  return ok;
}
