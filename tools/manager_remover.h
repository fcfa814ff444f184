// The software manager remover: the verb "remove" and the manager window's
// Remove button take the shared manager off the machine, but only when no
// package recorded by it is left. The manager file is deleted directly when
// it can be; a running copy cannot delete itself, so a hidden command
// script is left behind that deletes the file once the program has exited
// and then deletes itself. A small form shows a status line while a worker
// job does the work; texts come from the section "pkgm::rem".
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "tools/status_form.h"

class cApplicationConfig;
struct sLangSections;

// Result codes of the job.
namespace tw {
enum : int32_t {
  kRemoveDeleted = 0,         // the manager file was deleted
  kRemovePackagesLeft = 1,    // packages are still installed
  kRemoveInvalidObject = 2,   // something other than a file is at the manager's place
  kRemoveScheduled = 3,       // deletion left to the script (or nothing was there)
  kRemoveDeclined = 4,        // the user said no
  kRemoveScriptFailed = 5,    // the script could not be written or started
};
}  // namespace tw

class cRemoverJob;

// Its question is sent as cConfirmAction kind 9 and the language switch as
// cApplyLanguageAction kind 10 (tools/status_form.h).
class cRemoverUI : public cStatusJobForm {
public:
  // store borrowed; fallbackPath: the manager's path when none is installed
  // at the standard place (the running copy's own path).
  cRemoverUI(cApplicationConfig* store, const char16_t* fallbackPath);
  ~cRemoverUI() override;

  const char16_t* LangSectionKey() override { return u"pkgm::rem"; }
};

class cRemoverJob : public cStatusFormJob {
public:
  cRemoverJob(cRemoverUI* form, cApplicationConfig* store, const char16_t* fallbackPath)
      : cStatusFormJob(form), store_(store), fallbackPath_(fallbackPath) {}
  ~cRemoverJob() override;

  int32_t Run() override;

private:
  cApplicationConfig* store_;
  _guardchar<char16_t> fallbackPath_;
};

// RunRemoveManager(path, owner) is declared in tools/modes.h.

// The same over a given store and section record: false without
// "pkgm::rem" or a store (no form); otherwise whether the form ended with 1
// (results 0 and 3). Without an owner the form runs as a top window through
// the current application's window factory.
bool RunRemoveManagerWith(cApplicationConfig* store, const sLangSections& sections,
                          const char16_t* path, cChildElement* owner);

// Leaves a hidden script behind that deletes path once nothing holds it
// (trying once a second), then deletes itself. True at once when nothing is
// at path (and for an empty path); false for anything but a file there, or
// when the script cannot be written or started.
// Windows: "<temp>/spm*.tmp.cmd", run by the system folder's cmd.exe.
// Natively a shell script stands in for it.
bool ScheduleSelfDelete(const char16_t* path);
// Its platform half, once a file stands at path: writes the script into the
// temporary folder temp (which it may rewrite) and starts it hidden.
bool StartSelfDeleteScript(const char16_t* path, _guardchar<char16_t>& temp);

// The script's exact text (Windows), CR LF line ends.
extern const char kSelfDeleteScript[];
