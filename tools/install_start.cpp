// Install start and pre-install check. See install_start.h.
#include "tools/install_start.h"

#include <cstring>

#include "base/app_config.h"
#include "base/buffers.h"
#include "base/dirlist.h"
#include "base/fileio.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/strings.h"
#include "gui/app.h"
#include "gui/font.h"
#include "gui/language.h"
#include "package/payload.h"
#include "tools/install_context.h"
#include "tools/install_record.h"
#include "tools/installed_product.h"
#include "tools/modes.h"
#include "tools/target_folder.h"
#include "tools/uninstall_entry.h"

sInstallContext::sInstallContext() {
  cCIApplication* app = cCIApplication::GetCurrent();
  store = app != nullptr ? app->GetConfig() : nullptr;
}

namespace {

bool StartsWithDotSlash(const char16_t* path) { return path[0] == u'.' && path[1] == u'/'; }

cPackedKey LowerKey(const char16_t* path) {
  _guardchar<char16_t> original(path);
  _guardchar<char16_t> lower;
  AssignLowerCase(lower, original);
  cPackedKey key;
  key.FromWide(lower.text != nullptr ? lower.text : u"", -1);
  return key;
}

// "<path><suffix>" into out.
void WithSuffix(const char16_t* path, const char16_t* suffix, _guardchar<char16_t>& out) {
  const int32_t capacity = WideLength(path) + WideLength(suffix) + 1;
  _typebuf<char16_t> text(capacity);
  FormatW(text.data, capacity, u"%s%s", path, suffix);
  out.Assign(text.data);
}

// A side file of an interrupted run lies beside the target.
bool HasSideFiles(const char16_t* target) {
  _guardchar<char16_t> side;
  WithSuffix(target, u".tmp", side);
  if (GetPathKind(side.text) != tw::kPathMissing) return true;
  WithSuffix(target, u".bkp", side);
  return GetPathKind(side.text) != tw::kPathMissing;
}

// SHA-256 of the file from its start; false when it cannot be opened or
// read.
bool HashFile(const char16_t* path, uint8_t (&digest)[kSha256Size]) {
  cFileIO file;
  if (!file.Open(path, kFileRead)) return false;
  return Sha256OfStream(&file, digest);
}

// Steps 6 and 7: the earlier installation's files and shortcuts.
int32_t ReadEarlierFiles(sInstallContext& context, cApplicationConfig* store) {
  const cKeyName record("install", context.codenameUtf8.text);
  uint64_t count = 0;
  if (!store->GetInt64(cKeyName(record, "files"), count) || count == 0) {
    return tw::kStartRecordDamaged;
  }
  for (uint64_t i = 0; i < count; ++i) {
    _guardchar<char16_t> path;
    if (!store->GetString(cKeyName(record, "file", static_cast<int64_t>(i)), path)) {
      return tw::kStartRecordDamaged;
    }
    const int kind = GetPathKind(path.text);
    if (kind == tw::kPathMissing) continue;
    if (kind != tw::kPathFile) return tw::kStartRecordDamaged;
    cPackedKey key = LowerKey(path.text);
    if (context.earlierFiles.Find(key) != nullptr) return tw::kStartRecordDamaged;
    sEarlierFile* file = context.earlierFiles.FindOrInsert(std::move(key));
    if (file == nullptr) return tw::kStartRecordDamaged;
    file->path.Assign(path.text);
    if (!HashFile(path.text, file->digest)) {
      context.errorPath.Assign(path.text);
      return tw::kStartCannotRead;
    }
  }

  uint64_t shortcuts = 0;
  if (!store->GetInt64(cKeyName(record, "shortc"), shortcuts)) shortcuts = 0;
  for (uint64_t i = 0; i < shortcuts; ++i) {
    _guardchar<char16_t> path;
    if (!store->GetString(cKeyName(record, "shortc", static_cast<int64_t>(i)), path)) {
      return tw::kStartRecordDamaged;
    }
    const int kind = GetPathKind(path.text);
    if (kind == tw::kPathMissing) continue;
    if (kind != tw::kPathFile) return tw::kStartRecordDamaged;
    cPackedKey key = LowerKey(path.text);
    if (context.earlierShortcuts.Find(key) != nullptr) return tw::kStartRecordDamaged;
    _guardchar<char16_t>* value = context.earlierShortcuts.FindOrInsert(std::move(key));
    if (value == nullptr) return tw::kStartRecordDamaged;
    value->Assign(path.text);
  }
  return tw::kStartReady;
}

// Step 8: each install entry against the earlier files and the disk. Sets
// anyChanged when an entry is left to install.
int32_t CompareEntries(sInstallContext& context, bool& anyChanged) {
  anyChanged = false;
  if (!context.description.GetInstallEntries(context.installEntries) ||
      context.installEntries.head == nullptr) {
    return tw::kStartDamaged;
  }
  for (auto* n = context.installEntries.head; n != nullptr; n = n->next) {
    sInstallTarget& entry = n->value;
    const sPayload* payload = context.description.payloads.At(entry.payloadIndex);
    if (payload == nullptr) return tw::kStartDamaged;
    const char16_t* target = entry.targetPath.text;
    if (sEarlierFile* earlier = context.earlierFiles.Find(LowerKey(target))) {
      earlier->kept = true;
      if (std::memcmp(earlier->digest, payload->digest, kSha256Size) == 0) {
        // Side files mean an earlier run stopped half-way: the file on disk
        // may be the new one while its backup still waits to be put back
        // and the record is the old one. Installing again repairs that.
        if (!HasSideFiles(target)) entry.accessEveryone = kEntryUnchanged;
      } else if (!IsPathWritable(target)) {
        context.errorPath.Assign(target);
        return tw::kStartNotWritable;
      }
    } else {
      context.errorPath.Assign(target);
      const int kind = GetPathKind(target);
      if (kind == tw::kPathFile) {
        uint8_t digest[kSha256Size];
        if (!HashFile(target, digest)) return tw::kStartCannotRead;
        if (std::memcmp(digest, payload->digest, kSha256Size) != 0) return tw::kStartForeignFile;
      } else if (kind != tw::kPathMissing) {
        return tw::kStartObjectInTheWay;
      } else {
        const int32_t code = CheckTargetAncestor(target);
        if (code != 0) return code;
        context.errorPath.Assign(nullptr);
      }
    }
    if (!IsEntryUnchanged(entry)) anyChanged = true;
  }
  return tw::kStartReady;
}

bool UninstallEntryExists(const char16_t* codename) {
  for (bool perUser : {false, true}) {
    uint32_t version[4];
    if (ReadUninstallEntry(codename, version, nullptr, nullptr, perUser)) return true;
  }
  return false;
}

}  // namespace

int32_t LoadInstallPackage(sInstallContext& context) {
  if (context.packagePath.text == nullptr || *context.packagePath.text == 0) {
    return tw::kStartNoPackage;
  }
  NormalizePath(context.packagePath.text);
  if (GetPathKind(context.packagePath.text) == tw::kPathMissing) {
    if (!StartsWithDotSlash(context.packagePath.text)) return tw::kStartNoPackage;
    _guardchar<char16_t> program(context.programPath.text);
    if (program.text == nullptr) return tw::kStartNoPackage;
    NormalizePath(program.text);
    char16_t* last = const_cast<char16_t*>(FindLastCharW(program.text, u'/'));
    if (last == nullptr) return tw::kStartNoPackage;
    last[1] = 0;
    _guardchar<char16_t> beside;
    WithSuffix(program.text, context.packagePath.text + 2, beside);
    if (GetPathKind(beside.text) == tw::kPathMissing) return tw::kStartNoPackage;
    context.packagePath = std::move(beside);
  }
  if (GetPathKind(context.packagePath.text) != tw::kPathFile) return tw::kStartNoPackage;

  cFileIO file;
  if (!file.Open(context.packagePath.text, kFileRead)) return tw::kStartNoPackage;
  if (!file.Seek(context.packageOffset)) return tw::kStartNoPackage;
  if (!context.description.Read(&file)) return tw::kStartDamaged;

  const char16_t* codename = context.description.GetString(u"codename");
  if (codename == nullptr || *codename == 0) return tw::kStartDamaged;
  uint64_t version = 0;
  for (uint32_t part : context.description.version) version = (version << 16) | (part & 0xFFFFu);
  if (version == ~0ull) return tw::kStartDamaged;
  context.packageVersion = version;
  context.codename.Assign(codename);
  WideToUtf8(codename, context.codenameUtf8, -1);
  return tw::kStartReady;
}

int32_t PreInstallCheck(sInstallContext& context) {
  const char16_t* codename = context.description.GetString(u"codename");
  if (codename == nullptr || *codename == 0) return tw::kStartDamaged;
  if (context.codenameUtf8.text == nullptr) {
    context.codename.Assign(codename);
    WideToUtf8(codename, context.codenameUtf8, -1);
  }
  cApplicationConfig* store = context.store;
  const cKeyName record("install", context.codenameUtf8.text);

  uint64_t installed = 0;
  const bool update = store != nullptr && store->GetInt64(cKeyName(record, "ver"), installed);
  if (update) {
    context.installedVersion = installed;
    if (installed > context.packageVersion) return tw::kStartNewerInstalled;
    _guardchar<char16_t> folder;
    if (!store->GetString(cKeyName(record, "path"), folder) || folder.text == nullptr ||
        *folder.text == 0 || GetPathKind(folder.text) != tw::kPathDirectory) {
      return tw::kStartFolderGone;
    }
    if (!context.description.SetProgramFolder(context.description.commonTable, folder.text)) {
      return tw::kStartDamaged;
    }
    const int32_t earlier = ReadEarlierFiles(context, store);
    if (earlier != tw::kStartReady) return earlier;
    bool anyChanged = false;
    const int32_t compared = CompareEntries(context, anyChanged);
    if (compared != tw::kStartReady) return compared;
    // Intact files whose registration is gone are registered again.
    if (!anyChanged && UninstallEntryExists(context.codename.text)) return tw::kStartNothingToDo;
  }

  context.requiredSpace = context.description.GetRequiredSpace();
  if (context.requiredSpace == 0) return tw::kStartNothingToDo;

  cSimpleList<sDeprecatedEntry> deprecates;
  if (context.description.GetDeprecates(deprecates)) {
    for (auto* n = deprecates.head; n != nullptr; n = n->next) {
      int32_t version = 0;
      _guardchar<char16_t> command;
      if (!FindInstalledProductIn(store, n->value.codename.text, version, command)) continue;
      if (command.text == nullptr || *command.text == 0) continue;
      if (n->value.version != 0xFFFF && n->value.version != static_cast<uint16_t>(version)) continue;
      _guardchar<char16_t> name;
      if (!GetInstalledProductNameIn(store, name, n->value.codename.text) || name.text == nullptr ||
          *name.text == 0) {
        continue;
      }
      sDeprecatedProduct& product = context.deprecated.Append()->value;
      product.displayName = std::move(name);
      product.uninstallCommand = std::move(command);
    }
  }
  return tw::kStartReady;
}

int32_t ProbeTargetAncestor(const char16_t* path) {
  if (path == nullptr || *path == 0 || GetPathKind(path) != tw::kPathMissing) return 1;
  _guardchar<char16_t> text(path);
  NormalizePath(text.text);
  for (;;) {
    char16_t* last = const_cast<char16_t*>(FindLastCharW(text.text, u'/'));
    if (last == nullptr) return 1;
    while (last > text.text && last[-1] == u'/') --last;
    *last = 0;
    if (last == text.text) return 1;
    const int kind = GetPathKind(text.text);
    if (kind == tw::kPathMissing) continue;
    if (kind == tw::kPathDirectory) return IsPathWritable(text.text) ? 0 : 3;
    return 2;
  }
}

int32_t CheckTargetAncestor(const char16_t* path) {
  switch (ProbeTargetAncestor(path)) {
    case 0:
      return 0;
    case 2:
      return tw::kStartObjectInTheWay;
    case 3:
      return tw::kStartNotWritable;
    default:
      return tw::kStartNoFolder;
  }
}

int32_t RunSilentInstall(const char16_t* programPath, const char16_t* packagePath,
                         uint32_t packageOffset) {
  sInstallContext context;
  context.programPath.Assign(programPath);
  context.packagePath.Assign(packagePath);
  context.packageOffset = packageOffset;
  return RunSilentInstallWith(context);
}

int32_t RunSilentInstallWith(sInstallContext& context) {
  const int32_t loaded = LoadInstallPackage(context);
  if (loaded != tw::kStartReady) return loaded;
  context.description.GetLanguages(context.languages);
  if (context.languages.head == nullptr) return tw::kStartDamaged;
  const int32_t first = context.languages.head->value;
  if (SetCurrentLanguage(first)) SelectUIFontForLanguage();
  context.description.SelectLanguage(first);
  const int32_t checked = PreInstallCheck(context);
  if (checked != tw::kStartReady) return checked;
  return InstallSilentToDefaultFolder(context);
}
