// The wizard's two pages that run long work on a worker thread while they
// show a status line and a progress bar: the installation page (the
// installer job) and the removal of the products that the package replaces
// (their own uninstall commands, run as console children).
//
// cJobPanel is at once the panel, the progress sink and the job. Its job's
// end reaches the owner (the wizard) as a posted cJobEndAction (kind 8) from
// the panel; the installer's file-in-use question is a sent
// cInstallerJobPanel::cAskReleaseAction (kind 9) to the panel's parent.
//
// Rules:
//  a. Status lines and the list a panel works on are replaced only while
//     its job is not running (the starters), so the job thread reads them
//     without a lock.
//  b. On the job thread only the label (which has its own lock), the bar
//     (which hands values to its own animation job) and the panel's stage
//     fields are touched; the label is repainted through a posted action.
//  c. IsBusy is the running test the wizard uses: false from the moment the
//     end action is posted, so that the page change the action asks for is
//     not refused by a thread that is only finishing.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/job.h"
#include "base/lists.h"
#include "gui/controls/progress.h"
#include "gui/panel.h"
#include "gui/static_element.h"
#include "tools/install_context.h"
#include "tools/installer_job.h"

class cJobPanel : public cPanelChild, public cProgressNotifyTarget, public cJob {
public:
  // Posted from the panel when its job has ended; result is Run's result.
  class cJobEndAction : public cChildAction {
  public:
    explicit cJobEndAction(int32_t code) : cChildAction(8), result(code) {}
    int32_t result;
  };

  cJobPanel() = default;
  // Stops the job first: its work uses the derived parts.
  ~cJobPanel() override;

  void InitDefaults() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;

  // ---- cProgressNotifyTarget (job thread) ----
  // Moves the bar within the current stage at most once per 100 ms; false
  // once a stop was requested.
  bool SetProgress(double percent) override;
  // Shows line stage (when it exists), then SetProgress(0).
  void SetStage(int32_t stage) override;

  // ---- cJob ----
  void OnStart() override;
  void OnFinished(int32_t result) override;

  // Replaces the status lines: count empty lines (reallocated only when the
  // count differs).
  void SizeLines(int32_t count);
  void SetLine(int32_t index, const char16_t* text);
  int32_t LineCount() const { return lines_.count; }
  const char16_t* Line(int32_t index) const;
  // Starts the job (rule a: after the lines and list are set). False when no
  // thread started.
  bool StartJob();
  // Running and its end not yet posted (rule c).
  bool IsBusy();

  int32_t Stage() const { return stage_.load(); }
  cStaticElement& Status() { return status_; }
  cProgressChild& Bar() { return bar_; }
  // The bar value of the last due update (tests read it without waiting
  // for the bar's glide).
  int32_t BarValue() const { return barValue_.load(); }

  // The bar position for percent of stage among lines stages (none: the
  // percent alone, rounded).
  static int32_t BarPosition(int32_t stage, int32_t lines, double percent);

private:
  void ShowLine(int32_t index);

  cStaticElement status_;
  cProgressChild bar_;
  _classbuf<_guardchar<char16_t>> lines_;
  std::atomic<int32_t> stage_{0};
  std::atomic<uint64_t> lastUpdate_{0};
  std::atomic<int32_t> barValue_{0};
  std::atomic<bool> endPosted_{false};
};

// The installation page: its job is the installer job over the context.
class cInstallerJobPanel : public cJobPanel, public cInstallerJobPage {
public:
  // Sent to the panel's parent: a file cannot be replaced. *answer := 0 to
  // try again, anything else gives up (left at 1 when nobody answers).
  class cAskReleaseAction : public cSentChildAction {
  public:
    cAskReleaseAction(uint8_t* answerByte, const char16_t* filePath)
        : cSentChildAction(9), answer(answerByte), path(filePath) {}
    uint8_t* answer;
    _guardchar<char16_t> path;
  };

  cInstallerJobPanel() = default;
  ~cInstallerJobPanel() override;

  const char16_t* LangSectionKey() override { return u"pkgm::instp"; }
  int32_t Run() override;

  // ---- cInstallerJobPage (job thread) ----
  void SetStage(int32_t line) override { cJobPanel::SetStage(line); }
  bool SetProgress(double percent) override { return cJobPanel::SetProgress(percent); }
  uint8_t AskRelease(const char16_t* path) override;
  const char16_t* GetText(int32_t index) override;

  sInstallContext* Context() const { return context_; }
  void SetContext(sInstallContext* context) { context_ = context; }
  // The manager shortcut's name and group (texts 5 and 6), copied on the UI
  // thread before the job starts.
  void SetManagerTexts(const char16_t* name, const char16_t* group) {
    managerName_.Assign(name);
    managerGroup_.Assign(group);
  }

private:
  sInstallContext* context_ = nullptr;
  _guardchar<char16_t> managerName_;
  _guardchar<char16_t> managerGroup_;
};

// Fills the page's status lines for the context's changed entries (line 0
// preparing, one "Unpacking" line per entry, backups, applying, removing),
// hands it the context and starts its job. False for a null context or when
// no thread starts.
bool StartInstallerJob(cInstallerJobPanel* page, sInstallContext* context);

// The removal page: runs the selected products' uninstall commands in list
// order. A product whose command ends with exit code 0 is taken out of the
// list; the others keep their result (-1 when the command did not start).
class cSoftUninstallerPanel : public cJobPanel {
public:
  cSoftUninstallerPanel() = default;
  ~cSoftUninstallerPanel() override;
  int32_t Run() override;

  cSimpleList<sDeprecatedProduct>* Products() const { return products_; }
  void SetProducts(cSimpleList<sDeprecatedProduct>* products) { products_ = products; }

private:
  cSimpleList<sDeprecatedProduct>* products_ = nullptr;
};

// One status line per product (its name), then the job. False for an empty
// list or when no thread starts.
bool StartUninstallCommands(cSoftUninstallerPanel* panel, cSimpleList<sDeprecatedProduct>* products);
