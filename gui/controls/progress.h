// cProgressChild: the animated progress bar. It fades in on Start, glides
// to every new value in ten 30 ms steps and glides to the end on Stop.
// There are no timers, so the animation is driven by a worker job of the
// bar's own, cProgressViewUpdateJob, which posts actions that the bar
// applies on the UI thread.
//
// Rules:
//  a. SetRange, SetPos, Start and Stop may be called from any thread; the
//     bar's own fields (value, opacity, pictures) change only on the UI
//     thread through the posted actions.
//  b. The job's fields are guarded by its lock; the command word is also
//     polled without it, so it is atomic.
//  c. No wait ever depends on the job thread alone: when it does not run
//     (not started yet, stopped, or being destroyed) the waits end at once,
//     and every wait is bounded in any case.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/job.h"
#include "base/sync.h"
#include "gui/element.h"
#include "gui/picture.h"

class cProgressChild;

class cProgressViewUpdateJob : public cJob {
public:
  enum : int32_t { kCommandNone = 0, kCommandStart = 1, kCommandStop = 2, kCommandValue = 3 };
  // Longest time SetValue waits for a pending start or stop to be taken.
  static constexpr int32_t kMaxCommandWaitMs = 2000;

  cProgressViewUpdateJob() = default;
  ~cProgressViewUpdateJob() override;

  int32_t Run() override;

  void Start();
  void SetValue(int32_t value, bool noWait);
  void Stop(bool immediate);

  bool IsActive() const { return active_.load() != 0; }
  // True while Run executes its loop.
  bool IsAnimating() const { return running_.load() != 0; }
  int32_t GetCommand() const { return command_.load(); }

private:
  friend class cProgressChild;
  // Six 5 ms sleeps; false when a stop of the job was requested meanwhile.
  bool WaitSlice();
  void Post(int32_t kind, int32_t value, double opacity);

  cProgressChild* owner_ = nullptr;
  int32_t current_ = 0;
  int32_t maximum_ = 0;
  std::atomic<int32_t> command_{kCommandNone};
  int32_t target_ = 0;
  int32_t requested_ = 0;
  std::atomic<uint8_t> active_{0};
  std::atomic<uint8_t> running_{0};
  cCriticalSection fieldLock_;
};

class cProgressChild : public cChildElement {
public:
  class cSetProgressRequestAction : public cChildAction {
  public:
    explicit cSetProgressRequestAction(int32_t v) : cChildAction(7), value(v) {}
    int32_t value;
  };
  class cSetOpacityRequestAction : public cChildAction {
  public:
    explicit cSetOpacityRequestAction(double o) : cChildAction(8), opacity(o) {}
    double opacity;
  };

  cProgressChild() = default;
  ~cProgressChild() override;

  void Paint(cCanvas* canvas) override;
  bool PaintOwnBg(cCanvas* canvas, const sRect* rect) override;
  void OnResize() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  bool WantsFocus() override { return false; }
  void InitDefaults() override;

  using cChildElement::SetPos;
  // Ignored for a maximum of 0 or less.
  void SetRange(int32_t maximum);
  void SetPos(int32_t value, bool noWait);
  void Start() { job_.Start(); }
  void Stop(bool immediate) { job_.Stop(immediate); }
  void SetBackgroundColour(uint32_t colour, bool redraw);

  int32_t GetMaximum() const { return maximum_; }
  int32_t GetValue() const { return value_; }
  double GetOpacity() const { return opacity_; }
  const cPicture* GetBarPicture() const { return &bar_; }
  cProgressViewUpdateJob* GetJob() { return &job_; }

  // The fill width of a bar width wide: value * width / maximum in 64 bits,
  // the value clamped to 0..maximum; 0 when the maximum is below 1.
  static int32_t FillWidth(int32_t value, int32_t maximum, int32_t width);

private:
  void RebuildPicture();

  cProgressViewUpdateJob job_;
  int32_t maximum_ = 0;
  int32_t value_ = 0;
  double opacity_ = 1.0;
  cPicture bar_;
  cPicture filledColumn_;
  cPicture emptyColumn_;
  uint32_t barBackground_ = 0;
  uint32_t frameColour_ = 0;
  int32_t columnHeight_ = -1;
};
