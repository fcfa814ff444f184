// The software manager remover. See manager_remover.h.
#include "tools/manager_remover.h"

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
constexpr uint32_t kStatusColour = 0x655654, kWhite = 0xFFFFFF;

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

const char16_t* Text(cChildElement* element, int32_t index) {
  const char16_t* s = element->GetLangString(index);
  return s != nullptr ? s : u"";
}

bool AnyChild(const char* key, void* user) {
  if (key == nullptr || key[0] == 0) return true;
  *static_cast<bool*>(user) = true;
  return false;
}

}  // namespace

// ---- Form -------------------------------------------------------------------

cRemoverUI::cRemoverUI(cApplicationConfig* store, const char16_t* fallbackPath)
    : job_(new cRemoverJob(this, store, fallbackPath)) {}

cRemoverUI::~cRemoverUI() {
  // The job sends to this form: it must be gone before the form is.
  delete job_;
}

void cRemoverUI::OnCreate() {
  cCustomForm::OnCreate();
  cPanelChild* client = GetClientPanel();
  client->AddChild(&status_, 0, 0, 340, 16, 0);
  status_.SetColours(kStatusColour, kWhite, kWhite);
  status_.SetLabelText(Text(this, kTextStatus), 0, false);
  // Nothing was done without the job: not a success.
  if (job_ == nullptr || !job_->Start()) EndModal(2);
}

bool cRemoverUI::CanClose() { return job_ == nullptr || !job_->IsRunning(); }

bool cRemoverUI::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr || sender != this) return cCustomForm::OnAction(sender, action);
  switch (action->kind) {
    case 8: {
      int32_t endCode = 2;
      switch (static_cast<cProgressAction*>(action)->result) {
        case tw::kRemoveDeleted:
          ShowInfoMessage(this, Text(this, kTextRemoved), nullptr);
          endCode = 1;
          break;
        case tw::kRemovePackagesLeft:
          ShowErrorMessage(this, Text(this, kTextPackagesLeft), nullptr);
          break;
        case tw::kRemoveInvalidObject:
          ShowErrorMessage(this, Text(this, kTextInvalidObject), nullptr);
          break;
        case tw::kRemoveScheduled:
          ShowInfoMessage(this, Text(this, kTextScheduled), nullptr);
          endCode = 1;
          break;
        case tw::kRemoveScriptFailed:
          ShowErrorMessage(this, Text(this, kTextScriptFailed), nullptr);
          break;
        default:
          break;
      }
      EndModal(endCode);
      return true;
    }
    case 9: {
      auto* confirm = static_cast<cConfirmAction*>(action);
      *confirm->answer = AskQuestion(this, Text(this, confirm->index), nullptr) ? 1 : 0;
      return true;
    }
    case 10: {
      auto* apply = static_cast<cApplyLanguageAction*>(action);
      *apply->ok = ApplyLanguage(apply->id);
      return true;
    }
    default:
      return cCustomForm::OnAction(sender, action);
  }
}

// ---- Job ----------------------------------------------------------------------

cRemoverJob::~cRemoverJob() { cJob::Stop(kStopTimeoutMs); }

void cRemoverJob::OnFinished(int32_t result) { form_->PostAction(new cRemoverUI::cProgressAction(result)); }

bool cRemoverJob::ApplyLanguageOnForm(int32_t id) {
  bool ok = false;
  form_->SendAction(new cRemoverUI::cApplyLanguageAction(id, &ok));
  return ok;
}

int32_t cRemoverJob::Run() {
  SleepMs(500);  // the form is shown first
  uint64_t stored = 0;
  if (store_->GetInt64(tw::kKeyLangCurrent, stored) && !ApplyLanguageOnForm(static_cast<int32_t>(stored & 0xFFFF)))
    ApplyLanguageOnForm(RegisterPackageLanguages()->GetDefault());

  bool anyPackage = false;
  store_->EnumKeys("install", AnyChild, &anyPackage);
  if (anyPackage) return tw::kRemovePackagesLeft;

  uint8_t answer = 0;  // an unanswered question is a no
  form_->SendAction(new cRemoverUI::cConfirmAction(&answer, kTextQuestion));
  if (answer != 1) return tw::kRemoveDeclined;

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
