// The Windows Uninstall entry. See uninstall_entry.h.
#include "tools/uninstall_entry.h"

#include "base/buffers.h"
#include "base/format.h"
#include "base/registry.h"
#include "base/strings.h"
#include "base/time.h"

namespace {

constexpr char16_t kVersionKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\";
constexpr char16_t kUninstall[] = u"Uninstall";

// The codename without its leading blanks; null when nothing is left.
const char16_t* TrimCodename(const char16_t* codename) {
  if (codename == nullptr) return nullptr;
  while (*codename == u' ' || *codename == u'\t' || *codename == u'\r' || *codename == u'\n') {
    ++codename;
  }
  return *codename != 0 ? codename : nullptr;
}

int Root(bool perUser) { return perUser ? tw::kRegCurrentUser : tw::kRegLocalMachine; }

// Writes text when it is given; the result is ignored by the callers.
void WriteOptional(cRegKey& key, const char16_t* text, const char16_t* name) {
  if (text != nullptr) WriteRegString(key, text, name);
}

}  // namespace

void FormatManagerCommand(const char16_t* managerPath, const char16_t* verb,
                          const char16_t* codename, _guardchar<char16_t>& out) {
  int32_t capacity = WideLength(managerPath) + WideLength(codename) + WideLength(verb) + 16;
  _typebuf<char16_t> buffer(capacity);
  FormatW(buffer.data, capacity, u"\"%s\" %s \"%s\"", managerPath, verb, codename);
  for (char16_t* p = buffer.data; *p != 0; ++p) {
    if (*p == u'/') *p = u'\\';
  }
  out.Assign(buffer.data);
}

bool WriteUninstallEntry(const sUninstallEntryData& entry, const char16_t* managerPath,
                         bool perUser) {
  const char16_t* codename = TrimCodename(entry.codename);
  if (managerPath == nullptr || codename == nullptr) return false;

  cRegKey versionKey, uninstall, key;
  if (!OpenRegKey(versionKey, Root(perUser), nullptr, kVersionKey, tw::kRegWrite | tw::kRegView64) ||
      !CreateRegKey(uninstall, 0, &versionKey, kUninstall, tw::kRegWrite | tw::kRegView64) ||
      !CreateRegKey(key, 0, &uninstall, codename,
                    tw::kRegRead | tw::kRegWrite | tw::kRegView64)) {
    return false;
  }

  const uint64_t v = entry.version;
  if (!WriteRegDword(static_cast<uint32_t>(v >> 48), key, u"MajorVersion") ||
      !WriteRegDword(static_cast<uint32_t>((v >> 32) & 0xFFFF), key, u"MinorVersion") ||
      !WriteRegDword(static_cast<uint32_t>((v >> 16) & 0xFFFF), key, u"SubVersion") ||
      !WriteRegDword(static_cast<uint32_t>(v & 0xFFFF), key, u"BuildNumber")) {
    return false;
  }
  WriteRegDword(1, key, u"NoRepair");

  _guardchar<char16_t> command;
  FormatManagerCommand(managerPath, u"uninstall", codename, command);
  if (!WriteRegString(key, command.text, u"UninstallString")) return false;
  WriteRegDword(0, key, u"NoModify");
  FormatManagerCommand(managerPath, u"update", codename, command);
  if (!WriteRegString(key, command.text, u"ModifyPath")) return false;

  if (entry.iconPath != nullptr && *entry.iconPath != 0) {
    _guardchar<char16_t> icon(entry.iconPath);
    for (char16_t* p = icon.text; *p != 0; ++p) {
      if (*p == u'/') *p = u'\\';
    }
    WriteRegString(key, icon.text, u"DisplayIcon");
  }
  WriteOptional(key, entry.displayName, u"DisplayName");
  WriteOptional(key, entry.displayVersion, u"DisplayVersion");
  WriteOptional(key, entry.manualUrl, u"HelpLink");
  WriteOptional(key, entry.publisher, u"Publisher");
  WriteRegString(key, codename, u"ProductId");
  WriteOptional(key, entry.supportUrl, u"URLInfoAbout");
  WriteOptional(key, entry.updatesUrl, u"URLUpdateInfo");
  WriteRegString(key, u"", u"InstallLocation");
  sDateTime now;
  if (GetLocalTimeNow(now)) {
    char16_t date[16];
    FormatW(date, 16, u"%04d%02d%02d", static_cast<int>(now.year), static_cast<int>(now.month),
            static_cast<int>(now.day));
    WriteRegString(key, date, u"InstallDate");
  }
  return true;
}

bool DeleteUninstallEntry(const char16_t* codename, bool perUser) {
  codename = TrimCodename(codename);
  if (codename == nullptr) return false;
  cRegKey versionKey, uninstall, key;
  if (!OpenRegKey(versionKey, Root(perUser), nullptr, kVersionKey, tw::kRegRead | tw::kRegView64)) {
    return false;
  }
  if (!OpenRegKey(uninstall, 0, &versionKey, kUninstall,
                  tw::kRegRead | tw::kRegWrite | tw::kRegView64)) {
    return true;  // no Uninstall key: nothing to delete
  }
  if (!OpenRegKey(key, 0, &uninstall, codename, tw::kRegRead | tw::kRegView64)) return true;
  key.CloseRegKey();
  return DeleteRegSubKey(uninstall, codename);
}

bool ReadUninstallEntry(const char16_t* codename, uint32_t version[4],
                        _guardchar<char16_t>* command, _guardchar<char16_t>* name, bool perUser) {
  for (int i = 0; i < 4; ++i) version[i] = 0;
  codename = TrimCodename(codename);
  if (codename == nullptr) return false;

  // The 64-bit view first, then the process's own.
  cRegKey views[2];
  for (int i = 0; i < 2; ++i) {
    uint32_t access = tw::kRegRead | (i == 0 ? tw::kRegView64 : 0);
    cRegKey versionKey, uninstall;
    if (OpenRegKey(versionKey, Root(perUser), nullptr, kVersionKey, access) &&
        OpenRegKey(uninstall, 0, &versionKey, kUninstall, access)) {
      OpenRegKey(views[i], 0, &uninstall, codename, access);
    }
  }
  cRegKey& key = views[0].IsOpen() ? views[0] : views[1];
  if (!key.IsOpen()) return false;

  if (command != nullptr) {
    command->Clear();
    ReadRegString(key, u"UninstallString", *command);
  }
  if (name != nullptr) {
    name->Clear();
    ReadRegString(key, u"DisplayName", *name);
  }
  if (!ReadRegDword(key, version[0], u"MajorVersion")) return false;
  if (ReadRegDword(key, version[1], u"MinorVersion") &&
      ReadRegDword(key, version[2], u"SubVersion")) {
    ReadRegDword(key, version[3], u"BuildNumber");
  }
  return true;
}
