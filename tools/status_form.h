// cStatusJobForm and cStatusFormJob: the small form that the uninstaller and
// the manager remover show, one status line while a worker job does the
// work, and the job's side of their conversation.
//
// Rules:
//  a. The form owns its job, starts it when it is created and refuses to
//     close while it runs. A job that cannot start ends the form at once
//     with the form's "other" end code: nothing was done, not a success.
//  b. The job talks to the form only through actions: its result is posted
//     (cProgressAction, kind 8) and turned into a message and an end code by
//     the form's outcome table; questions and the language switch are sent
//     and wait for the UI thread. The kinds of the sent actions are the
//     derived form's, so that each form keeps its own numbering.
//  c. A derived form calls DeleteJob first in its destructor: the job sends
//     to the whole form, so it must be gone before any of the form is.
//  d. The form lives on the UI thread; the job's helpers run on its worker.
#pragma once

#include <cstdint>

#include "base/job.h"
#include "gui/custom_form.h"
#include "gui/static_element.h"

class cStatusFormJob;

class cStatusJobForm : public cCustomForm {
public:
  // Posted by the job: its result.
  class cProgressAction : public cChildAction {
  public:
    explicit cProgressAction(int32_t code) : cChildAction(8), result(code) {}
    int32_t result;
  };
  // Sent: *answer := 1 when the question with text index is answered yes.
  class cConfirmAction : public cSentChildAction {
  public:
    cConfirmAction(int32_t kind, uint8_t* answerByte, int32_t textIndex)
        : cSentChildAction(kind), answer(answerByte), index(textIndex) {}
    uint8_t* answer;
    int32_t index;
  };
  // Sent: switch the interface language on the UI thread, where the texts
  // are read; *ok := whether the switch succeeded.
  class cApplyLanguageAction : public cSentChildAction {
  public:
    cApplyLanguageAction(int32_t kind, int32_t languageId, bool* result)
        : cSentChildAction(kind), id(languageId), ok(result) {}
    int32_t id;
    bool* ok;
  };

  enum eMessage : int32_t { kNoMessage, kInfoMessage, kErrorMessage };
  // What one job result shows (a text of the form's section) and the code
  // the form then ends with.
  struct sOutcome {
    int32_t result;
    eMessage message;
    int32_t text;
    int32_t endCode;
  };
  // A derived form's fixed choices.
  struct sSetup {
    int32_t confirmKind;        // kind of cConfirmAction
    int32_t applyLanguageKind;  // kind of cApplyLanguageAction
    const sOutcome* outcomes;   // static table
    int32_t outcomeCount;
    int32_t otherEndCode;       // any other result, and a job that cannot start
  };

  ~cStatusJobForm() override;

  // The status line at (0, 0), 340 x 16, with text 1; then the job starts.
  void OnCreate() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  bool CanClose() override;

  cStaticElement& StatusLabel() { return status_; }
  int32_t ConfirmKind() const { return setup_.confirmKind; }
  int32_t ApplyLanguageKind() const { return setup_.applyLanguageKind; }

protected:
  explicit cStatusJobForm(const sSetup& setup) : setup_(setup) {}
  // Takes the job (null: the form ends at once when created).
  void AdoptJob(cStatusFormJob* job) { job_ = job; }
  // Deletes the job, waiting for its thread (rule c).
  void DeleteJob();
  cStatusFormJob* GetJob() const { return job_; }

private:
  cStaticElement status_;
  cStatusFormJob* job_ = nullptr;
  sSetup setup_;
};

class cStatusFormJob : public cJob {
public:
  explicit cStatusFormJob(cStatusJobForm* form) : form_(form) {}
  // Waits for the worker thread.
  ~cStatusFormJob() override;

  // Posts the result to the form.
  void OnFinished(int32_t result) override;

protected:
  // Asks the form's question with text index; an unanswered one is a no.
  bool Confirm(int32_t textIndex);
  // Switches the interface language on the UI thread; false when it fails.
  bool ApplyLanguageOnForm(int32_t id);

  cStatusJobForm* form_;
};
