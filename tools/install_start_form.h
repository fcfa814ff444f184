// The interactive install start (mode 1): a small form with a status line
// whose worker job reads the package, settles the interface language
// (asking the user when the package offers several) and runs the
// pre-install check; a failing result code is told in a message box with
// the text of the same number in "pkgm::iini", and result 0 leads on to the
// wizard.
#pragma once

#include <cstdint>

#include "base/job.h"
#include "gui/custom_form.h"
#include "gui/static_element.h"

struct sInstallContext;
struct sLangSections;
class cInstallInitJob;

class cInstallInitUI : public cCustomForm {
public:
  // Posted by the job: its result code.
  class cProgressAction : public cChildAction {
  public:
    explicit cProgressAction(int32_t code) : cChildAction(8), result(code) {}
    int32_t result;
  };
  // Sent: *id holds the preselected language and takes the chosen one (13
  // for none).
  class cRespondLangAction : public cSentChildAction {
  public:
    explicit cRespondLangAction(int32_t* languageId) : cSentChildAction(9), id(languageId) {}
    int32_t* id;
  };
  // Sent: switch the interface language on the UI thread, where the texts
  // and fonts are read; *ok := whether the switch succeeded.
  class cApplyLanguageAction : public cSentChildAction {
  public:
    cApplyLanguageAction(int32_t languageId, bool* result)
        : cSentChildAction(12), id(languageId), ok(result) {}
    int32_t id;
    bool* ok;
  };

  explicit cInstallInitUI(sInstallContext* context);
  ~cInstallInitUI() override;

  void OnCreate() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  bool CanClose() override;
  const char16_t* LangSectionKey() override { return u"pkgm::iini"; }

  cStaticElement& StatusLabel() { return status_; }
  cInstallInitJob* Job() { return job_; }

private:
  cStaticElement status_;
  sInstallContext* context_;
  cInstallInitJob* job_;  // owned
};

class cInstallInitJob : public cJob {
public:
  cInstallInitJob(cInstallInitUI* form, sInstallContext* context) : form_(form), context_(context) {}
  ~cInstallInitJob() override;

  int32_t Run() override;
  void OnFinished(int32_t result) override;

private:
  bool ApplyLanguageOnForm(int32_t id);

  cInstallInitUI* form_;
  sInstallContext* context_;
};

// Runs the start form modally (over owner, else as a top window through the
// current application's window factory). True only when the form ended
// with 1 (the wizard follows); false at once when "pkgm::iini" is not
// loaded in sections.
bool ShowInstallStartForm(sInstallContext* context, const sLangSections& sections, cChildElement* owner);

// Mode 1 over a prepared context (program path, package path and offset
// set): the start form, then the wizard. The exit code.
int32_t RunInstallWizardWith(sInstallContext& context);
