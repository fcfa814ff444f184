// The interactive install start. See install_start_form.h.
#include "tools/install_start_form.h"

#include <cstring>

#include "base/app_config.h"
#include "base/buffers.h"
#include "base/format.h"
#include "base/strings.h"
#include "gui/app.h"
#include "gui/dialogs/message_box.h"
#include "gui/language.h"
#include "gui/window_maker.h"
#include "tools/app_language.h"
#include "tools/install_context.h"
#include "tools/install_start.h"
#include "tools/lang_selection.h"
#include "tools/modes.h"
#include "tools/wizard.h"

namespace {

constexpr int32_t kFormWidth = 350, kFormHeight = 110;
constexpr uint32_t kStatusColour = 0x655654, kWhite = 0xFFFFFF;
constexpr int32_t kHighestLanguage = 12;
constexpr int32_t kTextTitle = 0, kTextStatus = 1;

}  // namespace

// ---- Form -------------------------------------------------------------------

cInstallInitUI::cInstallInitUI(sInstallContext* context)
    : context_(context), job_(new cInstallInitJob(this, context)) {}

cInstallInitUI::~cInstallInitUI() {
  // The job sends to this form: it must be gone before the form is.
  delete job_;
}

void cInstallInitUI::OnCreate() {
  cCustomForm::OnCreate();
  cPanelChild* client = GetClientPanel();
  client->AddChild(&status_, 0, 0, 340, 16, 0);
  status_.SetColours(kStatusColour, kWhite, kWhite);
  status_.SetLabelText(GetLangText(kTextStatus), 0, false);
  if (job_ == nullptr || !job_->Start()) EndModal(0);
}

// The close box would leave the job working on a context about to go.
bool cInstallInitUI::CanClose() { return job_ == nullptr || !job_->IsRunning(); }

bool cInstallInitUI::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr || sender != this) return cCustomForm::OnAction(sender, action);
  switch (action->kind) {
    case 8: {
      const int32_t result = static_cast<cProgressAction*>(action)->result;
      if (result < 0 || result > tw::kStartNothingToDo) return true;  // not a code: the form stays
      switch (result) {
        case tw::kStartReady:
          EndModal(1);
          return true;
        case tw::kStartNoPackage:
        case tw::kStartDamaged:
        case tw::kStartFolderGone:
        case tw::kStartRecordDamaged:
          ShowErrorMessage(this, GetLangText(result <= tw::kStartDamaged ? result + 1 : result), nullptr);
          break;
        case tw::kStartNewerInstalled:
        case tw::kStartNothingToDo:
          ShowInfoMessage(this, GetLangText(result), nullptr);
          break;
        case tw::kStartCancelled:
          break;
        default: {
          // 7 to 11: the text names the error path.
          const char16_t* format = GetLangText(result);
          const char16_t* path = context_->errorPath.text != nullptr ? context_->errorPath.text : u"";
          const int32_t capacity = WideLength(format) + WideLength(path) + 1;
          _typebuf<char16_t> text(capacity);
          FormatW(text.data, capacity, format, path);
          ShowErrorMessage(this, text.data, nullptr);
          break;
        }
      }
      EndModal(0);
      return true;
    }
    case 9: {
      auto* ask = static_cast<cRespondLangAction*>(action);
      *ask->id = ShowLanguageSelection(&context_->languages, *ask->id, context_->codename.text, this);
      return true;
    }
    case 12: {
      auto* apply = static_cast<cApplyLanguageAction*>(action);
      *apply->ok = ApplyLanguage(apply->id);
      return true;
    }
    default:
      return cCustomForm::OnAction(sender, action);
  }
}

// ---- Job ----------------------------------------------------------------------

cInstallInitJob::~cInstallInitJob() { cJob::Stop(kStopTimeoutMs); }

void cInstallInitJob::OnFinished(int32_t result) { form_->PostAction(new cInstallInitUI::cProgressAction(result)); }

bool cInstallInitJob::ApplyLanguageOnForm(int32_t id) {
  bool ok = false;
  form_->SendAction(new cInstallInitUI::cApplyLanguageAction(id, &ok));
  return ok;
}

int32_t cInstallInitJob::Run() {
  SleepMs(500);  // the form is shown first
  const int32_t loaded = LoadInstallPackage(*context_);
  if (loaded != tw::kStartReady) return loaded;
  context_->description.GetLanguages(context_->languages);
  if (context_->languages.head == nullptr) return tw::kStartDamaged;

  int32_t chosen = context_->languages.head->value;
  if (context_->languages.head->next == nullptr) {
    ApplyLanguageOnForm(chosen);
  } else {
    // The language of an earlier installation is preselected, as stored,
    // even when this package lacks it.
    if (context_->store != nullptr && context_->codenameUtf8.text != nullptr) {
      const int32_t capacity = static_cast<int32_t>(std::strlen(context_->codenameUtf8.text)) + 16;
      _typebuf<char> key(capacity);
      FormatA(key.data, capacity, "install/%s/lang", context_->codenameUtf8.text);
      uint64_t stored = 0;
      if (context_->store->GetInt64(key.data, stored)) chosen = static_cast<int32_t>(stored);
    }
    ApplyLanguageOnForm(chosen);
    form_->SendAction(new cInstallInitUI::cRespondLangAction(&chosen));
    if (static_cast<uint32_t>(chosen) > static_cast<uint32_t>(kHighestLanguage)) return tw::kStartCancelled;
    ApplyLanguageOnForm(chosen);
  }
  context_->description.SelectLanguage(chosen);
  return PreInstallCheck(*context_);
}

// ---- Entry ----------------------------------------------------------------------

bool ShowInstallStartForm(sInstallContext* context, const sLangSections& sections, cChildElement* owner) {
  if (context == nullptr) return false;
  const tLangSection* section = sections.Find(u"pkgm::iini");
  if (section == nullptr) return false;
  const char16_t* title = GetSectionText(section, kTextTitle);
  if (title == nullptr) title = u"";
  auto* form = new cInstallInitUI(context);
  if (owner != nullptr) return owner->ShowModal(title, kFormWidth, kFormHeight, form, false) == 1;
  cCIApplication* app = cCIApplication::GetCurrent();
  cWindowMaker* maker = app != nullptr ? app->GetWindowMaker() : nullptr;
  if (maker == nullptr) {
    delete form;
    return false;
  }
  return maker->RunModalForm(title, kFormWidth, kFormHeight, form, nullptr, false) == 1;
}

int32_t RunInstallWizardWith(sInstallContext& context) {
  if (!ShowInstallStartForm(&context, GetLanguageSections(), nullptr)) return 1;
  return RunWizard(&context);
}

int32_t RunInstallWizard(const char16_t* programPath, const char16_t* packagePath, uint32_t packageOffset) {
  sInstallContext context;
  context.programPath.Assign(programPath);
  context.packagePath.Assign(packagePath);
  context.packageOffset = packageOffset;
  return RunInstallWizardWith(context);
}
