// The uninstaller. See uninstaller.h.
#include "tools/uninstaller.h"

#include <cstring>
#include <iterator>

#include "base/app_config.h"
#include "base/buffers.h"
#include "base/fileio.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/process.h"
#include "base/strings.h"
#include "gui/app.h"
#include "gui/dialogs/message_box.h"
#include "gui/language.h"
#include "gui/window_maker.h"
#include "tools/app_language.h"
#include "tools/install_record.h"
#include "tools/installed_product.h"
#include "tools/lang_selection.h"
#include "tools/modes.h"
#include "tools/uninstall_entry.h"

namespace {

constexpr int32_t kFormWidth = 350, kFormHeight = 110;
constexpr int32_t kHighestLanguage = 12;
constexpr uint32_t kPollMs = 100;

enum : int32_t {
  kTextTitle = 0,
  kTextStatus = 1,
  kTextDeregisterQuestion = 2,
  kTextRemoveQuestion = 3,
  kTextFileInUse = 4,
  kTextDone = 5,
  kTextInternalError = 6,
  kTextNotInstalled = 7,
  kTextNoStart = 8,
  kTextForeignFailed = 9,
  kTextDeregistered = 10,
  kTextCancelled = 11,
};

// The recorded paths "<prefix>/<name>0" ... that name existing files, for
// the count in "<prefix>/<countName>". The count is only what the record says:
// the walk ends at the first index that has no key, so a damaged or forged
// count cannot keep it going.
void ReadRecordedFiles(cApplicationConfig* store, const char* prefix, const char* countName, const char* name,
                       cSimpleList<_guardchar<char16_t>>& out) {
  uint64_t count = 0;
  if (!store->GetInt64(cKeyName(prefix, countName), count)) count = 0;
  for (uint64_t i = 0; i < count; ++i) {
    _guardchar<char16_t> path;
    if (!store->GetString(cKeyName(prefix, name, static_cast<int64_t>(i)), path)) break;
    if (GetPathKind(path.text) == tw::kPathFile) out.Append(std::move(path));
  }
}

void BackupPath(const char16_t* path, _guardchar<char16_t>& out) {
  const int32_t capacity = WideLength(path) + 8;
  _typebuf<char16_t> text(capacity);
  FormatW(text.data, capacity, u"%s.bkp", path);
  out.Assign(text.data);
}

}  // namespace

// ---- Form -------------------------------------------------------------------

namespace {

constexpr cStatusJobForm::sOutcome kOutcomes[] = {
    {tw::kUninstallDone, cStatusJobForm::kInfoMessage, kTextDone, 0},
    {tw::kUninstallNoLanguage, cStatusJobForm::kErrorMessage, kTextInternalError, 1},
    {tw::kUninstallNotInstalled, cStatusJobForm::kErrorMessage, kTextNotInstalled, 1},
    {tw::kUninstallNoStart, cStatusJobForm::kErrorMessage, kTextNoStart, 1},
    {tw::kUninstallForeignFailed, cStatusJobForm::kErrorMessage, kTextForeignFailed, 1},
    {tw::kUninstallDeregistered, cStatusJobForm::kInfoMessage, kTextDeregistered, 1},
    {tw::kUninstallCancelled, cStatusJobForm::kInfoMessage, kTextCancelled, 1},
};

constexpr cStatusJobForm::sSetup kSetup = {10, 12, kOutcomes, static_cast<int32_t>(std::size(kOutcomes)), 1};

}  // namespace

cUninstallInitUI::cUninstallInitUI(sUninstallRequest* request) : cStatusJobForm(kSetup), request_(request) {
  AdoptJob(new cUninstallInitJob(this, request));
}

cUninstallInitUI::~cUninstallInitUI() { DeleteJob(); }

cUninstallInitJob* cUninstallInitUI::Job() { return static_cast<cUninstallInitJob*>(GetJob()); }

bool cUninstallInitUI::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr || sender != this) return cStatusJobForm::OnAction(sender, action);
  switch (action->kind) {
    case 9: {
      auto* ask = static_cast<cRespondLangAction*>(action);
      *ask->id = ShowLanguageSelection(&request_->languages, *ask->id, request_->codename.text, this);
      return true;
    }
    case 11: {
      auto* ask = static_cast<cAskReleaseAction*>(action);
      if (ask->path.text == nullptr) {
        *ask->answer = 1;
        return true;
      }
      const char16_t* format = GetLangText(kTextFileInUse);
      const int32_t capacity = WideLength(format) + WideLength(ask->path.text) + 16;
      _typebuf<char16_t> text(capacity);
      FormatW(text.data, capacity, format, ask->path.text);
      *ask->answer = AskWarningQuestion(this, text.data, nullptr) ? 0 : 1;
      return true;
    }
    default:
      return cStatusJobForm::OnAction(sender, action);
  }
}

// ---- Job ----------------------------------------------------------------------

cUninstallInitJob::~cUninstallInitJob() { cJob::Stop(kStopTimeoutMs); }

// The package's recorded language, else the user's choice among the
// application's packs. A result code, or -1 to go on.
int32_t cUninstallInitJob::ChooseLanguage(const char* recordKey) {
  int32_t preselected = RegisterPackageLanguages()->GetDefault();
  uint64_t stored = 0;
  if (request_->store->GetInt64(cKeyName(recordKey, "lang"), stored)) {
    preselected = static_cast<int32_t>(stored & 0xFFFF);
    if (ApplyLanguageOnForm(preselected)) return -1;
  }

  cSOPKGLang* packs = RegisterPackageLanguages();
  request_->languages.Clear();
  int32_t count = 0, only = 0;
  for (int32_t id = 0; id <= kHighestLanguage; ++id) {
    if (!packs->Has(id)) continue;
    request_->languages.Append(id);
    ++count;
    only = id;
  }
  if (count == 0) return tw::kUninstallNoLanguage;
  int32_t chosen = only;
  if (count > 1) {
    ApplyLanguageOnForm(preselected);
    chosen = preselected;
    form_->SendAction(new cUninstallInitUI::cRespondLangAction(&chosen));
    if (static_cast<uint32_t>(chosen) > kHighestLanguage) return tw::kUninstallCancelled;
  }
  ApplyLanguageOnForm(chosen);
  return -1;
}

int32_t cUninstallInitJob::Run() {
  SleepMs(500);  // the form is shown first
  const cKeyName recordKey("install", request_->codenameUtf8.text);
  const int32_t language = ChooseLanguage(recordKey);
  if (language >= 0) return language;
  if (request_->store->Exists(recordKey)) return RecordRoad(recordKey);
  return RegistryRoad();
}

int32_t cUninstallInitJob::RecordRoad(const char* recordKey) {
  ReadRecordedFiles(request_->store, recordKey, "files", "file", request_->files);
  ReadRecordedFiles(request_->store, recordKey, "shortc", "shortc", request_->shortcuts);
  if (!Confirm(kTextRemoveQuestion)) return tw::kUninstallCancelled;

  // Everything aside first: a file in use found half-way leaves the package
  // as it was.
  using tNode = cSimpleList<_guardchar<char16_t>>::Node;
  for (tNode* file = request_->files.head; file != nullptr; file = file->next) {
    _guardchar<char16_t> backup;
    BackupPath(file->value.text, backup);
    while (!MoveAsideIfWritable(file->value.text, backup.text)) {
      uint8_t giveUp = 1;
      form_->SendAction(new cUninstallInitUI::cAskReleaseAction(&giveUp, file->value.text));
      if (giveUp == 0) continue;
      for (tNode* moved = request_->files.head; moved != file; moved = moved->next) {
        _guardchar<char16_t> movedBackup;
        BackupPath(moved->value.text, movedBackup);
        MoveFileLong(movedBackup.text, moved->value.text);
      }
      return tw::kUninstallCancelled;
    }
  }
  for (tNode* file = request_->files.head; file != nullptr; file = file->next) {
    _guardchar<char16_t> backup;
    BackupPath(file->value.text, backup);
    DeleteFileAndEmptyFolders(backup.text);
  }
  for (tNode* link = request_->shortcuts.head; link != nullptr; link = link->next)
    DeleteFileAndEmptyFolders(link->value.text);

  // Under both roots: deleting under HKEY_LOCAL_MACHINE succeeds also when
  // the entry is not there, and a per-user installation's entry would be
  // left behind.
  DeleteUninstallEntry(request_->codename.text, false);
  DeleteUninstallEntry(request_->codename.text, true);

  request_->store->DeleteKey(recordKey);
  request_->store->Save();
  return tw::kUninstallDone;
}

int32_t cUninstallInitJob::RegistryRoad() {
  const char16_t* codename = request_->codename.text;
  uint32_t version[4];
  _guardchar<char16_t> command;
  bool perUser = false;
  if (!ReadUninstallEntry(codename, version, &command, nullptr, false)) {
    perUser = true;
    if (!ReadUninstallEntry(codename, version, &command, nullptr, true)) return tw::kUninstallNotInstalled;
  }

  if (!command.IsEmpty()) {
    if (IsOwnUninstallCommand(command.text, codename)) {
      // Our own command for a package whose record is gone.
      DeleteUninstallEntry(codename, perUser);
      return tw::kUninstallDeregistered;
    }
    cConProcess child;
    if (!child.Start(command.text)) return tw::kUninstallNoStart;
    while (child.Poll() && child.HasProcess()) SleepMs(kPollMs);
    return child.ExitCode() != 0 ? tw::kUninstallForeignFailed : tw::kUninstallDone;
  }

  if (version[0] == 0 && version[1] == 0) return tw::kUninstallNotInstalled;
  if (!Confirm(kTextDeregisterQuestion)) return tw::kUninstallCancelled;
  // The root that answered: deleting under the other one would report
  // success and leave the entry.
  DeleteUninstallEntry(codename, perUser);
  return tw::kUninstallDone;
}

// ---- Entry ----------------------------------------------------------------------

bool IsOwnUninstallCommand(const char16_t* command, const char16_t* codename) {
  if (command == nullptr || codename == nullptr || command[0] != u'"') return false;
  const char16_t* closing = FindCharW(command + 1, u'"');
  if (closing == nullptr) return false;
  static constexpr char16_t kVerb[] = u" uninstall \"";
  const int32_t verbLength = static_cast<int32_t>(sizeof(kVerb) / sizeof(kVerb[0])) - 1;
  const char16_t* rest = closing + 1;
  for (int32_t i = 0; i < verbLength; ++i) {
    if (rest[i] != kVerb[i]) return false;
  }
  rest += verbLength;
  const int32_t length = WideLength(codename);
  for (int32_t i = 0; i < length; ++i) {
    if (rest[i] != codename[i]) return false;
  }
  return true;
}

int32_t RunUninstallWith(cApplicationConfig* store, const sLangSections& sections,
                         const char16_t* codename, cChildElement* owner) {
  sUninstallRequest request;
  request.codename.Assign(codename);
  WideToUtf8(codename, request.codenameUtf8, -1);
  if (request.codenameUtf8.IsEmpty()) return 1;
  // Without its texts nothing could be asked or told: nothing is done, and
  // that is not a success.
  const tLangSection* section = sections.Find(u"pkgm::unin");
  if (section == nullptr || store == nullptr) return 1;
  request.store = store;

  auto* form = new cUninstallInitUI(&request);
  const char16_t* title = GetSectionText(section, kTextTitle);
  if (title == nullptr) title = u"";
  if (owner != nullptr) return owner->ShowModal(title, kFormWidth, kFormHeight, form, false);
  cCIApplication* app = cCIApplication::GetCurrent();
  cWindowMaker* maker = app != nullptr ? app->GetWindowMaker() : nullptr;
  if (maker == nullptr) {
    delete form;
    return 1;
  }
  return maker->RunModalForm(title, kFormWidth, kFormHeight, form, nullptr, false);
}

int32_t RunUninstall(const char16_t* codename, cChildElement* owner) {
  cCIApplication* app = cCIApplication::GetCurrent();
  return RunUninstallWith(app != nullptr ? app->GetConfig() : nullptr, GetLanguageSections(), codename,
                          owner);
}
