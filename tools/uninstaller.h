// The uninstaller: removes one installed package, by the verb "uninstall"
// <codename> or from the software manager's window.
//
// When the program recorded the installation ("install/<codename>" in the
// store), the recorded files are first all moved aside to "<path>.bkp" (a
// file in use found half-way puts every moved file back, so the package
// stays whole) and only then deleted with the folders they leave empty,
// then the shortcuts, the Uninstall entry and the record go. Without a
// record, the Windows Uninstall entry decides: its uninstall command runs
// as a child (output drained, input closed, so a chatty or prompting
// uninstaller cannot hang us), or, for an entry without a command, only the
// registration is removed.
//
// A small form shows a status line while a worker job does the work; the
// job asks its questions through sent actions, answered on the UI thread.
// Texts come from the section "pkgm::unin".
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "base/lists.h"
#include "tools/status_form.h"

class cApplicationConfig;
struct sLangSections;

// Result codes of the job.
namespace tw {
enum : int32_t {
  kUninstallDone = 0,
  kUninstallNoLanguage = 1,
  kUninstallNotInstalled = 2,
  kUninstallNoStart = 3,
  kUninstallForeignFailed = 4,
  kUninstallDeregistered = 5,
  kUninstallCancelled = 6,
};
}  // namespace tw

// What one run works on; lives in RunUninstall for the whole run.
struct sUninstallRequest {
  _guardchar<char16_t> codename;
  _guardchar<char> codenameUtf8;
  cSimpleList<int32_t> languages;                  // offered language ids
  cSimpleList<_guardchar<char16_t>> files;         // recorded files that exist
  cSimpleList<_guardchar<char16_t>> shortcuts;     // recorded shortcuts that exist
  cApplicationConfig* store = nullptr;             // borrowed
};

class cUninstallInitJob;

class cUninstallInitUI : public cStatusJobForm {
public:
  // Sent: *id holds the preselected language and takes the chosen one.
  class cRespondLangAction : public cSentChildAction {
  public:
    explicit cRespondLangAction(int32_t* languageId) : cSentChildAction(9), id(languageId) {}
    int32_t* id;
  };
  // Sent: a file cannot be moved aside; *answer := 1 means give up.
  class cAskReleaseAction : public cSentChildAction {
  public:
    cAskReleaseAction(uint8_t* answerByte, const char16_t* filePath)
        : cSentChildAction(11), answer(answerByte), path(filePath) {}
    uint8_t* answer;
    _guardchar<char16_t> path;
  };
  // Its questions are sent as cConfirmAction kind 10 and the language switch
  // as cApplyLanguageAction kind 12 (tools/status_form.h).

  explicit cUninstallInitUI(sUninstallRequest* request);
  ~cUninstallInitUI() override;

  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"pkgm::unin"; }

  cUninstallInitJob* Job();

private:
  sUninstallRequest* request_;
};

class cUninstallInitJob : public cStatusFormJob {
public:
  cUninstallInitJob(cUninstallInitUI* form, sUninstallRequest* request)
      : cStatusFormJob(form), request_(request) {}
  ~cUninstallInitJob() override;

  int32_t Run() override;

private:
  int32_t ChooseLanguage(const char* recordKey);
  int32_t RecordRoad(const char* recordKey);
  int32_t RegistryRoad();

  sUninstallRequest* request_;
};

// Mode 3 and the manager window's Uninstall button (tools/modes.h): the
// running application's store and loaded sections.
// RunUninstall(codename, owner) is declared in tools/modes.h.

// The same over a given store and section record. 1 for an empty codename
// and when "pkgm::unin" is not loaded (nothing can be asked or shown, so
// nothing is done); otherwise the form's end code: 0 after an
// uninstallation, 1 otherwise. Without an owner the form runs as a top
// window through the current application's window factory.
int32_t RunUninstallWith(cApplicationConfig* store, const sLangSections& sections,
                         const char16_t* codename, cChildElement* owner);

// Whether command is this program's own "uninstall" command for codename:
// "\"<program>\" uninstall \"<codename>\"" (anything after the codename
// ignored).
bool IsOwnUninstallCommand(const char16_t* command, const char16_t* codename);
