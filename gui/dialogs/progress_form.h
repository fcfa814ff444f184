// cStdBasicProgressForm: a modal form, a worker job and a progress sink in
// one object. Showing it starts the job; the job reports through the sink;
// the form shows a progress bar with a stop button and a status line with
// the elapsed and the estimated remaining time, and closes with the job's
// result when the job ends. Derived classes supply the work (Run).
//
// Threads: SetProgress, SetStage and OnFinished run on the job's thread;
// everything else on the UI thread. They meet only through the status
// label's locked setter, the progress bar's own lock, the posted end
// action and the job's stop flag.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/guardchar.h"
#include "base/job.h"
#include "base/sorted_tree.h"
#include "gui/controls/progress.h"
#include "gui/controls/toolbar.h"
#include "gui/custom_form.h"
#include "gui/static_element.h"

class cStdBasicProgressForm : public cCustomForm, public cJob, public cProgressNotifyTarget {
public:
  // Kind 8: the job ended with result.
  class cProgressAction : public cChildAction {
  public:
    explicit cProgressAction(int32_t code) : cChildAction(8), result(code) {}
    int32_t result;
  };

  cStdBasicProgressForm() : stageNames_(512) {}
  // Derived forms stop the job in their own destructor when their work uses
  // their own members; this one stops it before the form's parts go.
  ~cStdBasicProgressForm() override;

  // ---- form ----
  void OnCreate() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  bool CanClose() override;
  const char16_t* LangSectionKey() override { return u"wekt::progress"; }
  void InitDefaults() override;
  bool OnEscapeKey() override;

  // ---- job ----
  void OnFinished(int32_t result) override;

  // ---- progress sink ----
  bool SetProgress(double percent) override;
  void SetStage(int32_t stage) override;

  cStaticElement& StatusLabel() { return status_; }
  cToolBarChild& ButtonBar() { return buttonBar_; }
  cProgressChild& ProgressBar() { return bar_; }

protected:
  // Milliseconds of a steadily rising clock (wraps after 49 days, as the
  // differences taken of it allow).
  virtual uint32_t TickMs();

  cStaticElement status_;
  cToolBarChild buttonBar_;
  cProgressChild bar_;
  std::atomic<uint32_t> startTime_{0};
  std::atomic<uint32_t> lastUpdate_{0};
  cSortedTree<int32_t, _guardchar<char16_t>> stageNames_;
  std::atomic<const char16_t*> stageName_{nullptr};
  uint8_t showEstimate_ = 0;
  const char16_t* estimateFormat_ = u"";
  const char16_t* elapsedFormat_ = u"";
  const char16_t* operationText_ = u"";
};

// 0 when owner or form is null; otherwise the modal run's result, the job's
// result when the job ended the form. The window deletes the form.
int32_t ShowProgressForm(cChildElement* owner, cStdBasicProgressForm* form, const char16_t* title);
