// The installer job. See installer_job.h.
#include "tools/installer_job.h"

#include <memory>
#include <vector>

#include "base/app_config.h"
#include "base/buffers.h"
#include "base/dirlist.h"
#include "base/fileio.h"
#include "base/format.h"
#include "base/full_config.h"
#include "base/paths.h"
#include "base/strings.h"
#include "package/cmd_block.h"
#include "package/payload.h"
#include "tools/install_context.h"
#include "tools/install_record.h"
#include "tools/installed_product.h"
#include "tools/manager_location.h"
#include "tools/shell_link.h"
#include "tools/uninstall_entry.h"
#include "tools/version_record.h"

namespace {

tInstallerStepHook sStepHook = nullptr;

void Step(const char* step, int32_t index = -1) {
  if (sStepHook != nullptr) sStepHook(step, index);
}

// "<path><suffix>".
_guardchar<char16_t> Side(const char16_t* path, const char16_t* suffix) {
  const int32_t capacity = WideLength(path) + WideLength(suffix) + 1;
  _typebuf<char16_t> text(capacity);
  FormatW(text.data, capacity, u"%s%s", path, suffix);
  return _guardchar<char16_t>(text.data);
}

using tEntryNode = cSimpleList<sInstallTarget>::Node;

// The job's state for one run.
class cInstallerRun {
public:
  cInstallerRun(sInstallContext& context, cInstallerJobPage* page) : c_(context), page_(page) {}
  int32_t Run();

private:
  bool Fail(int32_t code, const char16_t* path) {
    c_.resultCode = code;
    if (path != nullptr) c_.errorPath.Assign(path);
    return false;
  }
  void ShowLastLine() {
    if (page_ == nullptr) return;
    page_->SetStage(changed_ + 3);
    page_->SetProgress(0);
  }
  bool Recover();
  bool Unpack();
  bool UnpackOne(const sInstallTarget& entry, std::vector<uint8_t>& buffer);
  bool BackUp();
  bool Replace();
  void Shortcuts();
  void Manager();
  void Register();
  void DropEarlierFiles();
  void CleanUp();

  sInstallContext& c_;
  cInstallerJobPage* page_;
  int32_t changed_ = 0;
  int32_t stage_ = 0;
  _guardchar<char16_t> managerPath_;
  bool managerFound_ = false;
  _guardchar<char16_t> managerLink_;
};

bool cInstallerRun::Recover() {
  for (tEntryNode* n = c_.installEntries.head; n != nullptr; n = n->next) {
    const char16_t* target = n->value.targetPath.text;
    const bool unchanged = IsEntryUnchanged(n->value);
    _guardchar<char16_t> tmp = Side(target, u".tmp");
    switch (GetPathKind(tmp.text)) {
      case tw::kPathMissing:
        break;
      case tw::kPathFile:
        if (!DeleteFileLong(tmp.text) && !unchanged) return Fail(tw::kInstallSideFile, tmp.text);
        break;
      default:
        return Fail(tw::kInstallObjectInTheWay, tmp.text);
    }
    _guardchar<char16_t> bkp = Side(target, u".bkp");
    switch (GetPathKind(bkp.text)) {
      case tw::kPathMissing:
        break;
      case tw::kPathFile:
        if (unchanged) {
          DeleteFileLong(bkp.text);
        } else {
          if (GetPathKind(target) != tw::kPathMissing && !DeleteFileLong(target)) {
            return Fail(tw::kInstallSideFile, target);
          }
          if (!MoveFileLong(bkp.text, target)) return Fail(tw::kInstallSideFile, target);
        }
        break;
      default:
        if (GetPathKind(target) != tw::kPathMissing) {
          return Fail(tw::kInstallObjectInTheWay, target);
        }
        break;
    }
  }
  return true;
}

bool cInstallerRun::UnpackOne(const sInstallTarget& entry, std::vector<uint8_t>& buffer) {
  _guardchar<char16_t> tmp = Side(entry.targetPath.text, u".tmp");
  std::unique_ptr<cFileIOTarget> stream =
      OpenPayloadStream(entry.payloadIndex, c_.description.payloads);
  _guardchar<char16_t> folder;
  if (!GetParentPath(tmp.text, folder) || !EnsureFolderPath(folder.text)) {
    return Fail(tw::kInstallBadPath, tmp.text);
  }
  if (stream == nullptr) return Fail(tw::kInstallNoPayload, tmp.text);
  cFileIO file;
  if (!file.Create(tmp.text, kFileWrite)) return Fail(tw::kInstallCannotCreate, tmp.text);
  const uint64_t size = stream->GetSize();
  uint64_t remaining = size;
  while (remaining > 0) {
    const uint32_t piece =
        remaining < tw::kInstallPieceSize ? static_cast<uint32_t>(remaining) : tw::kInstallPieceSize;
    if (!stream->ReadExact(buffer.data(), piece)) return Fail(tw::kInstallCannotRead, tmp.text);
    if (file.Write(buffer.data(), piece) != piece) return Fail(tw::kInstallCannotWrite, tmp.text);
    remaining -= piece;
    if (page_ != nullptr &&
        !page_->SetProgress(static_cast<double>(size - remaining) * 100.0 / static_cast<double>(size))) {
      return Fail(tw::kInstallStopped, nullptr);
    }
  }
  file.Close();
  return true;
}

bool cInstallerRun::Unpack() {
  std::vector<uint8_t> buffer(tw::kInstallPieceSize);
  int32_t index = 0;
  for (tEntryNode* n = c_.installEntries.head; n != nullptr; n = n->next, ++index) {
    if (IsEntryUnchanged(n->value)) continue;
    if (page_ != nullptr) page_->SetStage(stage_++);
    if (!UnpackOne(n->value, buffer)) {
      ShowLastLine();
      for (tEntryNode* m = c_.installEntries.head; m != nullptr; m = m->next) {
        DeleteFileLong(Side(m->value.targetPath.text, u".tmp").text);
      }
      return false;
    }
    Step("unpacked", index);
  }
  return true;
}

bool cInstallerRun::BackUp() {
  if (page_ != nullptr) page_->SetStage(stage_++);
  int32_t index = 0;
  for (tEntryNode* n = c_.installEntries.head; n != nullptr; n = n->next, ++index) {
    if (IsEntryUnchanged(n->value)) continue;
    const char16_t* target = n->value.targetPath.text;
    const int kind = GetPathKind(target);
    if (kind == tw::kPathMissing) continue;
    if (kind != tw::kPathFile) return Fail(tw::kInstallObjectInTheWay, target);
    _guardchar<char16_t> bkp = Side(target, u".bkp");
    bool moved = false;
    for (;;) {
      if (MoveAsideIfWritable(target, bkp.text)) {
        moved = true;
        break;
      }
      if (page_ == nullptr || page_->AskRelease(target) != 0) break;
      if (GetPathKind(target) == tw::kPathMissing) break;
    }
    if (!moved && GetPathKind(target) == tw::kPathMissing) continue;  // it went meanwhile
    if (!moved) {
      Fail(tw::kInstallCannotBackUp, bkp.text);
      for (tEntryNode* m = c_.installEntries.head; m != n; m = m->next) {
        if (IsEntryUnchanged(m->value)) continue;
        MoveFileLong(Side(m->value.targetPath.text, u".bkp").text, m->value.targetPath.text);
      }
      // Given up, every earlier file is back: the unpacked files would only
      // wait for a next run that may never come.
      for (tEntryNode* m = c_.installEntries.head; m != nullptr; m = m->next) {
        if (!IsEntryUnchanged(m->value)) DeleteFileLong(Side(m->value.targetPath.text, u".tmp").text);
      }
      return false;
    }
    Step("backed-up", index);
  }
  return true;
}

bool cInstallerRun::Replace() {
  if (page_ != nullptr) page_->SetStage(stage_);
  int32_t index = 0;
  for (tEntryNode* n = c_.installEntries.head; n != nullptr; n = n->next, ++index) {
    const sInstallTarget& entry = n->value;
    if (IsEntryUnchanged(entry)) continue;
    if (!MoveFileLong(Side(entry.targetPath.text, u".tmp").text, entry.targetPath.text)) {
      return Fail(tw::kInstallCannotReplace, entry.targetPath.text);
    }
    if (entry.accessUser != kAccessNotGiven || entry.accessAdmins != kAccessNotGiven ||
        entry.accessEveryone != kAccessNotGiven) {
      GrantAccess(entry.targetPath.text, entry.accessUser, entry.accessAdmins, entry.accessEveryone);
    }
    Step("replaced", index);
  }
  return true;
}

void cInstallerRun::Shortcuts() {
  cSimpleList<sMenuEntry> entries;
  c_.description.GetMenuEntries(entries);
  const char16_t* group = c_.description.GetString(u"group");
  for (auto* n = entries.head; n != nullptr; n = n->next) {
    const sMenuEntry& e = n->value;
    _guardchar<char16_t> link;
    if (CreateShortcut(e.name.text, e.targetPath.text, link, group, e.iconPath.text,
                       e.description.text, e.runAsAdmin, e.arguments.text)) {
      _guardchar<char16_t> lower;
      AssignLowerCase(lower, link);
      cPackedKey key;
      key.FromWide(lower.text, -1);
      if (_guardchar<char16_t>* earlier = c_.earlierShortcuts.Find(key)) earlier->Assign(nullptr);
      c_.newShortcuts.Append(std::move(link));
    } else if (link.text != nullptr && *link.text != 0) {
      DeleteFileAndEmptyFolders(link.text);
    }
  }
  for (auto* n = c_.earlierShortcuts.First(); n != nullptr; n = c_.earlierShortcuts.Next(n)) {
    if (n->value.text != nullptr && *n->value.text != 0) DeleteFileAndEmptyFolders(n->value.text);
  }
  Step("shortcuts");
}

void cInstallerRun::Manager() {
  managerFound_ = FindCommonFilesTool(managerPath_);
  if (!managerFound_) return;
  const char16_t* manager = managerPath_.text;
  bool current = false;
  if (GetPathKind(manager) == tw::kPathFile) {
    const uint64_t version = QueryManagerVersion(manager);
    current = version != tw::kNoVersion && version >= GetOwnVersion();
  }
  if (!current) {
    _guardchar<char16_t> tmp = Side(manager, u".tmp");
    _guardchar<char16_t> folder;
    cFileIO file;
    if (GetParentPath(tmp.text, folder) && EnsureFolderPath(folder.text) &&
        file.Create(tmp.text, kFileWrite)) {
      const bool copied = CopyCleanManager(c_.programPath.text, &file);
      file.Close();
      if (!copied) {
        DeleteFileLong(tmp.text);
      } else {
        // One replacing move: the manager's name never stands empty, so a
        // run stopped here still leaves a manager to uninstall with.
        bool placed = false;
        for (;;) {
          if (ReplaceFileLong(tmp.text, manager)) {
            placed = true;
            break;
          }
          if (page_ == nullptr || page_->AskRelease(manager) != 0) break;
        }
        if (placed) {
          GrantAccess(manager, 7, 5, 5);
        } else {
          DeleteFileLong(tmp.text);  // the old manager stays in use
        }
      }
    }
  }
  if (GetPathKind(manager) != tw::kPathMissing) {
    if (c_.store != nullptr) {
      _guardchar<char16_t> old;
      if (c_.store->GetString(tw::kKeyInstallerShortcut, old) && old.text != nullptr && *old.text != 0) {
        DeleteFileAndEmptyFolders(old.text);
      }
    }
    const char16_t* name = page_ != nullptr ? page_->GetText(5) : nullptr;
    const char16_t* group = page_ != nullptr ? page_->GetText(6) : nullptr;
    if (name == nullptr) name = tw::kManagerShortcutName;
    if (group == nullptr) group = tw::kManagerShortcutGroup;
    _guardchar<char16_t> link;
    if (CreateShortcut(name, manager, link, group, nullptr, nullptr, true, nullptr)) {
      managerLink_ = std::move(link);
    } else if (link.text != nullptr && *link.text != 0) {
      DeleteFileLong(link.text);
    }
  }
}

void cInstallerRun::Register() {
  cApplicationConfig* store = c_.store;
  if (store == nullptr) return;
  _guardchar<char> prefix;
  FormatInstallKey(c_.codename.text, prefix);

  // The record's texts, kept alive while it is written.
  std::vector<const char16_t*> files;
  for (tEntryNode* n = c_.installEntries.head; n != nullptr; n = n->next) {
    files.push_back(n->value.targetPath.text);
  }
  std::vector<const char16_t*> shortcuts;
  for (auto* n = c_.newShortcuts.head; n != nullptr; n = n->next) shortcuts.push_back(n->value.text);
  cSimpleList<sRunEntry> runs;
  c_.description.GetRunEntries(runs);
  std::vector<sRunEntryRecord> runRecords;
  for (auto* n = runs.head; n != nullptr; n = n->next) {
    runRecords.push_back({n->value.caption.text, n->value.path.text, n->value.arguments.text});
  }
  _guardchar<char16_t> icon;
  const bool hasIcon = c_.description.iconPath.text != nullptr && *c_.description.iconPath.text != 0 &&
                       c_.description.ExpandPath(c_.description.iconFolderKey.text,
                                                 c_.description.iconPath.text, icon);
  sInstallRecordData record;
  record.version = c_.packageVersion;
  record.language = static_cast<uint16_t>(c_.description.currentLanguage);
  record.programFolder = c_.description.GetString(u"pgm");
  record.name = c_.description.GetString(u"name");
  record.updatesUrl = c_.description.updates_URL.text;
  record.supportUrl = c_.description.support_URL.text;
  record.publisherUrl = c_.description.publish_URL.text;
  record.iconPath = hasIcon ? icon.text : nullptr;
  record.files = files.data();
  record.fileCount = static_cast<int32_t>(files.size());
  record.shortcuts = shortcuts.data();
  record.shortcutCount = static_cast<int32_t>(shortcuts.size());
  record.runEntries = runRecords.data();
  record.runEntryCount = static_cast<int32_t>(runRecords.size());

  _guardchar<char16_t> versionText;
  c_.description.GetVersionText(versionText);
  _guardchar<char16_t> iconWin;
  if (hasIcon) {
    iconWin.Assign(icon.text);
    for (char16_t* p = iconWin.text; *p != 0; ++p) {
      if (*p == u'/') *p = u'\\';
    }
  }
  sUninstallEntryData entry;
  entry.codename = c_.codename.text;
  entry.version = c_.packageVersion;
  entry.displayVersion = versionText.text;
  entry.displayName = record.name;
  entry.publisher = c_.description.GetString(u"publisher");
  entry.iconPath = hasIcon ? iconWin.text : nullptr;
  entry.manualUrl = c_.description.manual_URL.text;
  entry.supportUrl = c_.description.support_URL.text;
  entry.updatesUrl = c_.description.updates_URL.text;

  auto writeInstallerKeys = [&](cApplicationConfig* target) {
    if (managerLink_.text != nullptr) target->SetString(tw::kKeyInstallerShortcut, managerLink_.text, -1);
    if (managerFound_) target->SetString(tw::kKeyInstallerApp, managerPath_.text, -1);
  };
  auto managerPresent = [&] {
    return managerFound_ && GetPathKind(managerPath_.text) == tw::kPathFile;
  };

  if (auto* full = dynamic_cast<cCIAppFullConfig*>(store)) {
    // Both stores lose the old record first: a per-user record left from an
    // earlier per-user installation would be read before this one.
    full->DeleteKey(prefix.text);
    cCIAppConfig* machine = full->GetMachineConfig();
    WriteInstallRegistration(machine, record, prefix.text);
    writeInstallerKeys(machine);
    if (machine->Save()) {
      full->GetUserConfig()->Save();
      if (managerPresent()) {
        WriteUninstallEntry(entry, managerPath_.text, false);
        DeleteUninstallEntry(c_.codename.text, true);
      }
      return;
    }
    full->RevertChanged();
  }
  store->DeleteKey(prefix.text);
  WriteInstallRegistration(store, record, prefix.text);
  writeInstallerKeys(store);
  if (store->Save()) {
    if (managerPresent()) WriteUninstallEntry(entry, managerPath_.text, true);
  } else {
    c_.resultCode = tw::kInstallNotRecorded;
  }
}

// The earlier files the package no longer has go before the new record is
// written: once it is, nothing names them any more, and a run stopped in
// between would leave them behind for good.
void cInstallerRun::DropEarlierFiles() {
  for (auto* n = c_.earlierFiles.First(); n != nullptr; n = c_.earlierFiles.Next(n)) {
    if (!n->value.kept) DeleteFileAndEmptyFolders(n->value.path.text);
  }
  Step("dropped");
}

void cInstallerRun::CleanUp() {
  for (tEntryNode* n = c_.installEntries.head; n != nullptr; n = n->next) {
    DeleteFileLong(Side(n->value.targetPath.text, u".bkp").text);
  }
  Step("cleaned");
}

int32_t cInstallerRun::Run() {
  for (tEntryNode* n = c_.installEntries.head; n != nullptr; n = n->next) {
    if (!IsEntryUnchanged(n->value)) ++changed_;
  }
  if (page_ != nullptr) page_->SetStage(0);
  stage_ = 1;
  if (!Recover() || !Unpack() || !BackUp() || !Replace()) return 1;
  c_.resultCode = tw::kInstallDone;
  Shortcuts();
  Manager();
  Step("manager");
  DropEarlierFiles();
  Register();
  Step("registered");
  ShowLastLine();
  CleanUp();
  return 0;
}

}  // namespace

int32_t RunInstallerJob(sInstallContext& context, cInstallerJobPage* page) {
  cInstallerRun run(context, page);
  return run.Run();
}

bool GetParentPath(const char16_t* path, _guardchar<char16_t>& out) {
  if (path == nullptr) return false;
  const char16_t* last = FindLastCharW(path, u'/');
  if (last == nullptr) return false;
  AssignWide(path, static_cast<int32_t>(last - path), out);
  return true;
}

bool EnsureFolderPath(const char16_t* path) {
  switch (GetPathKind(path)) {
    case tw::kPathDirectory:
      return true;
    case tw::kPathMissing:
      break;
    default:
      return false;
  }
  if (path == nullptr || *path == 0) return false;
  _guardchar<char16_t> parent;
  if (!GetParentPath(path, parent) || !EnsureFolderPath(parent.text)) return false;
  return CreateDirectoryLong(path);
}

void SetInstallerStepHook(tInstallerStepHook hook) { sStepHook = hook; }
