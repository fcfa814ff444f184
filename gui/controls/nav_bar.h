// cNavigationChild: the one-line path bar. It shows a '/'-separated path as
// a row of segment buttons (a click goes to that segment's folder), lets the
// user type a path or pick one from the history in a combo box, and while a
// navigation runs shows a Stop button over an animated busy bar.
//
// The work of navigating belongs to a cNavigationProvider, a worker job the
// owner supplies; the bar starts it and reports its end. Since nobody knows
// how long a folder takes to list, the busy bar is driven by
// cFakeNavigationProgressJob, whose value comes from elapsed time alone.
//
// Rules:
//  a. UI thread only, except the jobs' Run and OnFinished, which reach the
//     bar solely through its direct action queue (PostDirectAction).
//  b. States: 0 idle, 1 editing (the combo box shows), 2 busy (a navigation
//     runs). StartBusy enters 2 from any state, EndBusy returns to 0,
//     EnterEditMode enters 1.
//  c. Actions the bar posts to its owner: cNaviSetPathAction (kind 7) with a
//     path when the user chose one and no provider is set, with a null path
//     when a navigation finished; plain kind 11 when Stop was pressed
//     without a provider. The owner answers a finished navigation by putting
//     a plain kind 10 on the bar's direct queue once its view is filled.
//  d. The provider is borrowed and must outlive the bar's use of it; an
//     owner that embeds both declares the provider after the bar, so the
//     provider's job is stopped before the bar goes.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/guardchar.h"
#include "base/job.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"
#include "gui/controls/combo.h"
#include "gui/controls/progress.h"
#include "gui/controls/toolbar.h"
#include "gui/element.h"
#include "gui/picture.h"

// One segment of the shown path.
struct sNaviPathItem {
  _guardchar<char16_t> label;  // the component
  _guardchar<char16_t> path;   // the path up to and including it
};

// The work of one navigation, run on its own thread.
class cNavigationProvider : public cJob {
public:
  cNavigationProvider() = default;
  // Derived providers call Stop in their own destructor (see base/job.h).
  ~cNavigationProvider() override = default;

  // False while a navigation runs (from Begin until its end is posted) or
  // for a null path; otherwise keeps the three and starts the job
  // (cJob::Start's answer).
  virtual bool Begin(cChildElement* target, const char16_t* path, const char16_t* hint);
  // Whether a navigation to path may start.
  virtual bool CanNavigate(const char16_t* path) = 0;
  // The work, on the job thread; 0 is success.
  virtual int32_t Navigate(const char16_t* path, const char16_t* hint) = 0;
  // On the job thread after the end was posted.
  virtual void OnDone(int32_t result) { (void)result; }

  int32_t Run() override;
  // Posts cNavigationChild::cNaviDoneAction with result to the target's
  // direct queue, then OnDone(result).
  void OnFinished(int32_t result) override;

protected:
  cChildElement* target_ = nullptr;  // borrowed
  std::atomic<uint8_t> working_{0};
  _guardchar<char16_t> path_;
  _guardchar<char16_t> hint_;
};

// Turns elapsed time into a progress value: every 200 ms, once the phase
// has reached 0.25, it posts atan(phase - 0.25) * 2 / pi and the phase grows
// by 0.05. The first value (0.0) comes 1.2 s after the start, 0.5 after
// about 5.2 s; 1.0 is never reached.
class cFakeNavigationProgressJob : public cJob {
public:
  cFakeNavigationProgressJob() = default;
  ~cFakeNavigationProgressJob() override;

  int32_t Run() override;

  // Phase 0.0 with target (borrowed) as the receiver; starts the job when
  // it does not run. UI thread.
  bool Restart(cChildElement* target);
  // Phase -1.0 (idle) and a final value 1.0 posted to the target. True.
  bool StopProgress();
  double GetPhase() const { return phase_.load(); }

  // The value posted for a phase (phase >= 0.25).
  static double ValueOfPhase(double phase);

private:
  std::atomic<double> phase_{-1.0};
  std::atomic<cChildElement*> target_{nullptr};
};

class cNavigationChild : public cChildElement {
public:
  // Kind 7: a path the user chose (no provider), or null: a navigation ended.
  class cNaviSetPathAction : public cChildAction {
  public:
    explicit cNaviSetPathAction(const char16_t* p) : cChildAction(7) { path.Assign(p); }
    _guardchar<char16_t> path;  // null text: a navigation ended
  };
  // Kind 8: from the provider to the bar.
  class cNaviDoneAction : public cChildAction {
  public:
    explicit cNaviDoneAction(int32_t code) : cChildAction(8), result(code) {}
    int32_t result;
  };
  // Kind 9: from the fake progress job to the bar, 0.0 to 1.0.
  class cNaviFakeProgressRecvAction : public cChildAction {
  public:
    explicit cNaviFakeProgressRecvAction(double v) : cChildAction(9), value(v) {}
    double value;
  };

  enum : int32_t { kIdle = 0, kEditing = 1, kBusy = 2 };
  enum : int32_t { kKindStopWithoutProvider = 11, kKindShown = 10 };
  static constexpr int32_t kHeight = 22;

  cNavigationChild();
  ~cNavigationChild() override;

  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"wekt::progress"; }
  void InitDefaults() override;
  void OnCreate() override;
  void OnResize() override;

  // Navigates to path: with a provider, false when it refuses the path or
  // cannot begin; without one a cNaviSetPathAction is posted. Then the path
  // is shown and the bar becomes busy; true.
  bool SetPath(const char16_t* path);
  // The path becomes current (non-null: added to the history) and the
  // segments are rebuilt. True.
  bool ShowPath(const char16_t* path);
  void SetProvider(cNavigationProvider* provider) { provider_ = provider; }
  void SetProgressColour(uint32_t colour, bool repaint);
  int32_t GetState() const { return state_; }

  void StartBusy();
  void EndBusy();
  void EnterEditMode();
  void RebuildSegments();
  void AddToHistory(const char16_t* path);

  // ---- Looking at the bar ----
  const char16_t* GetPath() const { return current_.text; }
  // The history from the most recent path to the oldest.
  int32_t HistoryCount() const;
  const char16_t* HistoryAt(int32_t recency) const;
  const cSortedTree<int32_t, sNaviPathItem>& Segments() const { return segments_; }
  cToolBarChild& PathBar() { return pathBar_; }
  cToolBarChild& StopBar() { return stopBar_; }
  cComboBoxChild& Combo() { return combo_; }
  cProgressChild& Progress() { return progress_; }
  cFakeNavigationProgressJob& FakeJob() { return fakeJob_; }

private:
  // Starts a navigation to path with hint (provider checks, or the posted
  // choice), then shows the path and becomes busy. False when refused.
  bool Go(const char16_t* path, const char16_t* hint);
  void LayoutBars();

  cToolBarChild pathBar_;
  cProgressChild progress_;
  cComboBoxChild combo_;
  cImageStore stopStore_;
  cToolBarChild stopBar_;
  cSortedTree<int32_t, _guardchar<char16_t>> historyBySeq_{512};
  cSortedTree<cPackedKey, int32_t> historyByPath_{1024};
  _guardchar<char16_t> current_;
  cFakeNavigationProgressJob fakeJob_;
  cNavigationProvider* provider_ = nullptr;
  cSortedTree<int32_t, sNaviPathItem> segments_{512};
  cImageStore pathStores_[2];
  int32_t state_ = kIdle;
  bool created_ = false;
};
