// The shell link writer. See shell_link.h.
#include "tools/shell_link.h"

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/strings.h"
#include "base/time.h"
#include "base/utf8.h"

namespace {

// Header flags.
constexpr uint32_t kLinkBaseFlags = 0x00080083;  // items, link info, Unicode, target metadata
constexpr uint32_t kHasDescription = 0x04;
constexpr uint32_t kHasWorkingFolder = 0x10;
constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kHasIcon = 0x40;
constexpr uint32_t kRunAsAdministrator = 0x00002000;
constexpr uint32_t kAttrFile = 0x20;
constexpr uint32_t kAttrFolder = 0x10;

// {00021401-0000-0000-C000-000000000046}
constexpr uint8_t kShellLinkClass[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// Size 20, type 0x1F, sort 0x50, {20D04FE0-3AEA-1069-A2D8-08002B30309D}.
constexpr uint8_t kComputerItem[20] = {0x14, 0x00, 0x1F, 0x50, 0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A,
                                       0x69, 0x10, 0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

struct cBytes {
  std::vector<uint8_t>& out;
  void U8(uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
  void U16(uint32_t v) { U8(v), U8(v >> 8); }
  void U32(uint32_t v) { U16(v), U16(v >> 16); }
  void U64(uint64_t v) { U32(static_cast<uint32_t>(v)), U32(static_cast<uint32_t>(v >> 32)); }
  void Raw(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
  }
  void Zeros(size_t n) { out.insert(out.end(), n, 0); }
  void Units(const char16_t* s, int32_t n) {
    for (int32_t i = 0; i < n; ++i) U16(s[i]);
  }
};

std::vector<uint8_t> Utf8(const char16_t* s, int32_t n) {
  std::vector<uint8_t> out(static_cast<size_t>(Utf8ByteCount(s, n)));
  if (!out.empty()) Utf8Encode(s, n, reinterpret_cast<char*>(out.data()), static_cast<int32_t>(out.size()));
  return out;
}

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

bool HasDriveLetter(const char16_t* path) {
  if (path == nullptr) return false;
  const char16_t c = ToUpperW(path[0]);
  return c >= u'A' && c <= u'Z' && path[1] == u':';
}

bool Given(const char16_t* s) { return s != nullptr && *s != 0; }

// text with every '/' turned into '\'.
std::u16string Backslashed(const char16_t* text) {
  std::u16string s(text);
  for (char16_t& c : s) {
    if (c == u'/') c = u'\\';
  }
  return s;
}

// One component's item (type 0x31 folder or 0x32 file).
void PutComponentItem(cBytes& list, const char16_t* name, int32_t units, bool file, uint32_t size) {
  const std::vector<uint8_t> utf8 = Utf8(name, units);
  const uint32_t n = static_cast<uint32_t>(utf8.size());
  const uint32_t s = (15 + n) + ((15 + n) & 1);
  const uint32_t u = static_cast<uint32_t>(units);
  list.U16(s + 2 * u + 46);
  list.U8(file ? 0x32 : 0x31);
  list.U8(0);
  list.U32(file ? size : 0);
  list.U32(0);  // modification date and time
  list.U16(file ? kAttrFile : kAttrFolder);
  list.Raw(utf8.data(), n);
  list.U8(0);
  if ((15 + n) & 1) list.U8(0);
  // Extension block with the long name.
  list.U16(2 * u + 46);
  list.U16(8);
  list.U32(0xBEEF0004);
  list.U32(0);  // creation
  list.U32(0);  // access
  list.U16(0x002A);
  list.Zeros(24);
  list.Units(name, units);
  list.U16(0);
  list.U16(s);
}

bool PutString(cBytes& b, const std::u16string& s) {
  if (s.size() > 0xFFFF) return false;
  b.U16(static_cast<uint32_t>(s.size()));
  b.Units(s.data(), static_cast<int32_t>(s.size()));
  return true;
}

}  // namespace

bool BuildShellLink(const sShellLinkInfo& info, std::vector<uint8_t>& out) {
  out.clear();
  if (!HasDriveLetter(info.targetPath)) return false;
  cBytes b{out};

  uint32_t flags = kLinkBaseFlags;
  if (info.runAsAdministrator) flags |= kRunAsAdministrator;
  if (Given(info.description)) flags |= kHasDescription;
  if (Given(info.workingFolder)) flags |= kHasWorkingFolder;
  if (Given(info.arguments)) flags |= kHasArguments;
  if (Given(info.iconPath)) flags |= kHasIcon;
  const uint32_t size = info.targetIsFolder ? 0 : info.targetSize;

  // Header, 76 bytes.
  b.U32(0x4C);
  b.Raw(kShellLinkClass, 16);
  b.U32(flags);
  b.U32(info.targetIsFolder ? kAttrFolder : kAttrFile);
  b.U64(info.fileTime);
  b.U64(info.fileTime);
  b.U64(info.fileTime);
  b.U32(size);
  b.U32(0);  // icon index
  b.U32(1);  // normal window
  b.U16(0);  // hot key
  b.U16(0);
  b.U32(0);
  b.U32(0);

  // Item list: Computer, the drive, one item per component, terminator.
  std::vector<uint8_t> items;
  cBytes list{items};
  list.Raw(kComputerItem, sizeof(kComputerItem));
  list.U16(0x19);
  list.U8(0x2F);
  list.U8(ToUpperW(info.targetPath[0]));
  list.U8(':');
  list.U8('\\');
  list.Zeros(19);
  const char16_t* p = info.targetPath + 2;
  for (;;) {
    while (IsSeparator(*p)) ++p;
    if (*p == 0) break;
    const char16_t* start = p;
    while (*p != 0 && !IsSeparator(*p)) ++p;
    const bool lastOfFile = *p == 0 && !info.targetIsFolder;
    PutComponentItem(list, start, static_cast<int32_t>(p - start), lastOfFile, size);
  }
  list.U16(0);
  if (items.size() > 0xFFFF) return false;
  b.U16(static_cast<uint32_t>(items.size()));
  b.Raw(items.data(), items.size());

  // Link information with the local base path.
  const std::u16string target = Backslashed(info.targetPath);
  const std::vector<uint8_t> local = Utf8(target.data(), static_cast<int32_t>(target.size()));
  const uint32_t l = static_cast<uint32_t>(local.size());
  b.U32(47 + l);
  b.U32(28);
  b.U32(1);   // volume id and local base path
  b.U32(28);  // volume id offset
  b.U32(45);  // local base path offset
  b.U32(0);   // no network link
  b.U32(46 + l);
  b.U32(17);  // volume id: size, fixed drive, serial, label offset, label
  b.U32(3);
  b.U32(0);
  b.U32(16);
  b.U8(0);
  b.Raw(local.data(), l);
  b.U8(0);
  b.U8(0);  // common path suffix

  if (Given(info.description) && !PutString(b, info.description)) return false;
  if (Given(info.workingFolder) && !PutString(b, Backslashed(info.workingFolder))) return false;
  if (Given(info.arguments) && !PutString(b, info.arguments)) return false;
  if (Given(info.iconPath) && !PutString(b, Backslashed(info.iconPath))) return false;
  return true;
}

bool WriteShellLinkFile(const char16_t* workingFolder, const char16_t* iconPath,
                        const char16_t* linkPath, const char16_t* targetPath,
                        const char16_t* description, bool runAsAdministrator,
                        const char16_t* arguments) {
  if (linkPath == nullptr || !HasDriveLetter(targetPath)) return false;
  const int kind = GetPathKind(targetPath);
  if (kind != tw::kPathFile && kind != tw::kPathDirectory) return false;

  cFileIO file;
  if (!file.Create(linkPath, kFileWrite)) return false;
  if (Given(workingFolder) && GetPathKind(workingFolder) != tw::kPathDirectory) return false;
  if (Given(iconPath) && GetPathKind(iconPath) != tw::kPathFile) return false;

  sShellLinkInfo info;
  info.targetPath = targetPath;
  info.workingFolder = workingFolder;
  info.description = description;
  info.arguments = arguments;
  info.iconPath = iconPath;
  info.runAsAdministrator = runAsAdministrator;
  info.targetIsFolder = kind == tw::kPathDirectory;
  info.fileTime = UnixTimeToFileTime(GetUnixTimeNow());
  if (!info.targetIsFolder) {
    sFileInfo fi;
    if (GetFileInfo(targetPath, fi)) info.targetSize = static_cast<uint32_t>(fi.size);
  }
  std::vector<uint8_t> bytes;
  if (!BuildShellLink(info, bytes)) return false;
  if (!file.WriteExact(bytes.data(), static_cast<uint32_t>(bytes.size()))) return false;
  file.Close();
  return true;
}

bool CreateShortcut(const char16_t* name, const char16_t* targetPath,
                    _guardchar<char16_t>& linkPath, const char16_t* group,
                    const char16_t* iconPath, const char16_t* description,
                    bool runAsAdministrator, const char16_t* arguments) {
  if (!Given(name) || !Given(targetPath)) return false;
  _guardchar<char16_t> folder;
  if (!GetCommonProgramsFolder(group, folder)) return false;

  const int32_t capacity = WideLength(name) + 1;
  _typebuf<char16_t> safe(capacity);
  SanitizeFileName(name, safe.data, capacity);
  const int32_t pathCapacity = WideLength(folder.text) + capacity + 8;
  _typebuf<char16_t> path(pathCapacity);
  // The folder comes back with its trailing '/'.
  const int32_t folderLength = WideLength(folder.text);
  const bool slash = folderLength > 0 && folder.text[folderLength - 1] == u'/';
  FormatW(path.data, pathCapacity, slash ? u"%s%s.lnk" : u"%s/%s.lnk", folder.text, safe.data);
  linkPath.Assign(path.data);

  // The working folder: the target's folder with its final '/'.
  _guardchar<char16_t> working(targetPath);
  NormalizePath(working.text);
  if (char16_t* last = const_cast<char16_t*>(FindLastCharW(working.text, u'/'))) {
    last[1] = 0;
  } else {
    working.Assign(u"");
  }
  return WriteShellLinkFile(working.text, iconPath, linkPath.text, targetPath, description,
                            runAsAdministrator, arguments);
}
