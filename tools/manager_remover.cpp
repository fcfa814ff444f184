// The software manager remover. See manager_remover.h.
#include "tools/manager_remover.h"

#include <iterator>

#include "base/app_config.h"
#include "base/paths.h"
#include "gui/app.h"
#include "gui/dialogs/message_box.h"
#include "gui/language.h"
#include "gui/window_maker.h"
#include "tools/app_language.h"
#include "tools/install_record.h"
#include "tools/installed_product.h"
#include "tools/manager_location.h"
#include "tools/modes.h"

const char kSelfDeleteScript[] =
    ":Repeat\r\n"
    "@timeout 1 >NUL\r\n"
    "@del %1 >NUL 2>NUL\r\n"
    "@if exist %1 goto Repeat\r\n"
    "@del %0 >NUL 2>NUL\r\n";

namespace {

constexpr int32_t kFormWidth = 350, kFormHeight = 110;

enum : int32_t {
  kTextTitle = 0,
  kTextStatus = 1,
  kTextQuestion = 2,
  kTextRemoved = 3,
  kTextPackagesLeft = 4,
  kTextInvalidObject = 5,
  kTextScheduled = 6,
  kTextScriptFailed = 7,
};

bool AnyChild(const char* key, void* user) {
  if (key == nullptr || key[0] == 0) return true;
  *static_cast<bool*>(user) = true;
  return false;
}

}  // namespace

// ---- Form -------------------------------------------------------------------

namespace {

constexpr cStatusJobForm::sOutcome kOutcomes[] = {
    {tw::kRemoveDeleted, cStatusJobForm::kInfoMessage, kTextRemoved, 1},
    {tw::kRemovePackagesLeft, cStatusJobForm::kErrorMessage, kTextPackagesLeft, 2},
    {tw::kRemoveInvalidObject, cStatusJobForm::kErrorMessage, kTextInvalidObject, 2},
    {tw::kRemoveScheduled, cStatusJobForm::kInfoMessage, kTextScheduled, 1},
    {tw::kRemoveScriptFailed, cStatusJobForm::kErrorMessage, kTextScriptFailed, 2},
};

constexpr cStatusJobForm::sSetup kSetup = {9, 10, kOutcomes, static_cast<int32_t>(std::size(kOutcomes)), 2};

}  // namespace

cRemoverUI::cRemoverUI(cApplicationConfig* store, const char16_t* fallbackPath) : cStatusJobForm(kSetup) {
  AdoptJob(new cRemoverJob(this, store, fallbackPath));
}

cRemoverUI::~cRemoverUI() { DeleteJob(); }

// ---- Job ----------------------------------------------------------------------

cRemoverJob::~cRemoverJob() { cJob::Stop(kStopTimeoutMs); }

int32_t cRemoverJob::Run() {
  SleepMs(500);  // the form is shown first
  uint64_t stored = 0;
  if (store_->GetInt64(tw::kKeyLangCurrent, stored) && !ApplyLanguageOnForm(static_cast<int32_t>(stored & 0xFFFF)))
    ApplyLanguageOnForm(RegisterPackageLanguages()->GetDefault());

  bool anyPackage = false;
  store_->EnumKeys("install", AnyChild, &anyPackage);
  if (anyPackage) return tw::kRemovePackagesLeft;

  if (!Confirm(kTextQuestion)) return tw::kRemoveDeclined;

  _guardchar<char16_t> shortcut;
  if (store_->GetString(tw::kKeyInstallerShortcut, shortcut) && !shortcut.IsEmpty())
    DeleteFileAndEmptyFolders(shortcut.text);

  _guardchar<char16_t> path;
  if (FindCommonFilesTool(path)) {
    const int kind = GetPathKind(path.text);
    if (kind == tw::kPathMissing) {
      path.Assign(fallbackPath_.text);
    } else if (kind == tw::kPathFile) {
      if (DeleteFileAndEmptyFolders(path.text)) return tw::kRemoveDeleted;
    } else {
      return tw::kRemoveInvalidObject;
    }
  } else {
    path.Clear();
  }
  // A script that cannot do its work leaves the manager in place: say so.
  if (!path.IsEmpty() && !ScheduleSelfDelete(path.text)) return tw::kRemoveScriptFailed;
  return tw::kRemoveScheduled;
}

bool ScheduleSelfDelete(const char16_t* path) {
  if (path == nullptr || path[0] == 0) return true;
  const int kind = GetPathKind(path);
  if (kind == tw::kPathMissing) return true;
  if (kind != tw::kPathFile) return false;

  _guardchar<char16_t> temp;
  if (!GetTempFolder(temp) || temp.IsEmpty()) return false;
  return StartSelfDeleteScript(path, temp);
}

// ---- Entry ----------------------------------------------------------------------

bool RunRemoveManagerWith(cApplicationConfig* store, const sLangSections& sections, const char16_t* path,
                          cChildElement* owner) {
  const tLangSection* section = sections.Find(u"pkgm::rem");
  if (section == nullptr || store == nullptr) return false;
  auto* form = new cRemoverUI(store, path);
  const char16_t* title = GetSectionText(section, kTextTitle);
  if (title == nullptr) title = u"";
  if (owner != nullptr) return owner->ShowModal(title, kFormWidth, kFormHeight, form, false) == 1;
  cCIApplication* app = cCIApplication::GetCurrent();
  cWindowMaker* maker = app != nullptr ? app->GetWindowMaker() : nullptr;
  if (maker == nullptr) {
    delete form;
    return false;
  }
  return maker->RunModalForm(title, kFormWidth, kFormHeight, form, nullptr, false) == 1;
}

bool RunRemoveManager(const char16_t* path, cChildElement* owner) {
  cCIApplication* app = cCIApplication::GetCurrent();
  return RunRemoveManagerWith(app != nullptr ? app->GetConfig() : nullptr, GetLanguageSections(), path, owner);
}
