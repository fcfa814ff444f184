// The status form and its job. See status_form.h.
#include "tools/status_form.h"

#include "gui/dialogs/message_box.h"
#include "tools/app_language.h"

namespace {

constexpr int32_t kTextStatus = 1;
constexpr uint32_t kStatusColour = 0x655654, kWhite = 0xFFFFFF;

}  // namespace

// ---- Form -------------------------------------------------------------------

cStatusJobForm::~cStatusJobForm() { DeleteJob(); }

void cStatusJobForm::DeleteJob() {
  delete job_;
  job_ = nullptr;
}

void cStatusJobForm::OnCreate() {
  cCustomForm::OnCreate();
  cPanelChild* client = GetClientPanel();
  client->AddChild(&status_, 0, 0, 340, 16, 0);
  status_.SetColours(kStatusColour, kWhite, kWhite);
  status_.SetLabelText(GetLangText(kTextStatus), 0, false);
  if (job_ == nullptr || !job_->Start()) EndModal(setup_.otherEndCode);
}

bool cStatusJobForm::CanClose() { return job_ == nullptr || !job_->IsRunning(); }

bool cStatusJobForm::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr || sender != this) return cCustomForm::OnAction(sender, action);
  if (action->kind == 8) {
    const int32_t result = static_cast<cProgressAction*>(action)->result;
    int32_t endCode = setup_.otherEndCode;
    for (int32_t i = 0; i < setup_.outcomeCount; ++i) {
      const sOutcome& o = setup_.outcomes[i];
      if (o.result != result) continue;
      if (o.message == kInfoMessage) ShowInfoMessage(this, GetLangText(o.text), nullptr);
      if (o.message == kErrorMessage) ShowErrorMessage(this, GetLangText(o.text), nullptr);
      endCode = o.endCode;
      break;
    }
    EndModal(endCode);
    return true;
  }
  if (action->kind == setup_.confirmKind) {
    auto* confirm = static_cast<cConfirmAction*>(action);
    *confirm->answer = AskQuestion(this, GetLangText(confirm->index), nullptr) ? 1 : 0;
    return true;
  }
  if (action->kind == setup_.applyLanguageKind) {
    auto* apply = static_cast<cApplyLanguageAction*>(action);
    *apply->ok = ApplyLanguage(apply->id);
    return true;
  }
  return cCustomForm::OnAction(sender, action);
}

// ---- Job --------------------------------------------------------------------

cStatusFormJob::~cStatusFormJob() { cJob::Stop(kStopTimeoutMs); }

void cStatusFormJob::OnFinished(int32_t result) { form_->PostAction(new cStatusJobForm::cProgressAction(result)); }

bool cStatusFormJob::Confirm(int32_t textIndex) {
  uint8_t answer = 0;  // an unanswered question is a no
  form_->SendAction(new cStatusJobForm::cConfirmAction(form_->ConfirmKind(), &answer, textIndex));
  return answer == 1;
}

bool cStatusFormJob::ApplyLanguageOnForm(int32_t id) {
  bool ok = false;
  form_->SendAction(new cStatusJobForm::cApplyLanguageAction(form_->ApplyLanguageKind(), id, &ok));
  return ok;
}
