// The progress form: a job that reports, is stopped and ends the form with
// its result; the status line's elapsed and remaining times; the form
// refusing to close while its job runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "gui/dialogs/progress_form.h"
#include "tests/controls/control_fixture.h"
#include "tests/dialogs/dialog_layout.h"

namespace {

using twtest::cTestHost;
using twtest::sControlFixture;

constexpr int32_t kWaitMs = 20000;

// A job that walks through phases the test moves it along, on a clock the
// test sets. The phase is shared between the job's thread and the test's.
class cScriptedJob : public cStdBasicProgressForm {
public:
  enum : int32_t { kStarted = 1, kReport = 2, kReported = 3, kFinish = 4, kStopped = 5 };
  std::atomic<int32_t> phase{0};
  std::atomic<uint32_t> clock{1000};
  std::atomic<int32_t> reports{0};
  int32_t result = 7;
  bool report = true;

  ~cScriptedJob() override { cJob::Stop(kStopTimeoutMs); }

  int32_t Run() override {
    phase.store(kStarted);
    for (;;) {
      if (phase.load() == kReport && report) {
        clock.store(clock.load() + 10000);
        SetProgress(50.0);
        reports.fetch_add(1);
        phase.store(kReported);
      }
      if (phase.load() == kFinish) return result;
      if (IsStopRequested()) {
        phase.store(kStopped);
        return 3;
      }
      SleepMs(2);
    }
  }

protected:
  uint32_t TickMs() override { return clock.load(); }
};

template <class P>
bool PumpUntil(cTestHost& host, P pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    host.WaitAndPump(20);
  }
  return pred();
}

std::u16string Status(cStdBasicProgressForm* form) {
  const char16_t* t = form->StatusLabel().GetText();
  return t != nullptr ? t : u"";
}

TEST(ProgressForm, ReportsAndEndsWithTheJobResult) {
  ASSERT_TRUE(twtest::UseEnglish());
  sControlFixture f;
  auto* job = new cScriptedJob();
  f.host.QueueModalScript([&](cTestHost& nested, cChildElement*) {
    ASSERT_TRUE(PumpUntil(nested, [&] { return job->phase.load() == cScriptedJob::kStarted; }));
    EXPECT_EQ(Status(job), u"Starting...");
    job->phase.store(cScriptedJob::kReport);
    ASSERT_TRUE(PumpUntil(nested, [&] { return job->phase.load() == cScriptedJob::kReported; }));
    EXPECT_EQ(Status(job),
              u"Operation progress: 50.0%. Time consumed: 00:00:10. Estimated time left: 00:00:10.");
    ASSERT_TRUE(PumpUntil(nested, [&] { return job->ProgressBar().GetValue() == 500; }));
    EXPECT_FALSE(nested.ended);
    job->phase.store(cScriptedJob::kFinish);
    ASSERT_TRUE(PumpUntil(nested, [&] { return nested.ended; }));
  });
  EXPECT_EQ(ShowProgressForm(f.top, job, u"Working"), 7);
  EXPECT_EQ(f.host.modalTitles.at(0), u"Working");
}

// Escape, the stop button and closing the window all ask the job to stop
// and keep the form open until the job's end action arrives.
TEST(ProgressForm, StopRequestsKeepTheFormUntilTheJobEnds) {
  ASSERT_TRUE(twtest::UseEnglish());
  enum { kEscape, kButton, kClose };
  for (int way : {kEscape, kButton, kClose}) {
    sControlFixture f;
    auto* job = new cScriptedJob();
    job->report = false;
    f.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
      ASSERT_TRUE(PumpUntil(nested, [&] { return job->phase.load() == cScriptedJob::kStarted; }));
      // Reports closer than the update interval, or of 0 %, change nothing.
      EXPECT_TRUE(job->SetProgress(0.0));
      EXPECT_EQ(Status(job), u"Starting...");
      if (way == kEscape) {
        form->Key(27, false, false, false);
      } else if (way == kButton) {
        job->ButtonBar().PostAction(new cToolBarChild::cTbButtonAction(1));
        nested.Pump();
      } else {
        EXPECT_FALSE(form->QueryClose());
      }
      EXPECT_FALSE(nested.ended) << way;
      ASSERT_TRUE(PumpUntil(nested, [&] { return nested.ended; })) << way;
      EXPECT_EQ(job->phase.load(), cScriptedJob::kStopped);
      EXPECT_FALSE(job->SetProgress(60.0));
    });
    EXPECT_EQ(ShowProgressForm(f.top, job, u"Working"), 3) << way;
  }
}

// The stop button sits at the progress bar's right end at its full size,
// also when the form gets its final size only after it was created.
TEST(ProgressForm, StopButtonFollowsTheBarsRightEnd) {
  ASSERT_TRUE(twtest::UseEnglish());
  sControlFixture f;
  auto* job = new cScriptedJob();
  job->report = false;
  f.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
    ASSERT_TRUE(PumpUntil(nested, [&] { return job->phase.load() == cScriptedJob::kStarted; }));
    for (int32_t width : {600, 720, 410}) {
      form->Resize(width, 106, false);
      EXPECT_EQ(twtest::CheckProgressFormLayout(job), "") << width;
    }
    job->phase.store(cScriptedJob::kFinish);
    ASSERT_TRUE(PumpUntil(nested, [&] { return nested.ended; }));
  });
  EXPECT_EQ(ShowProgressForm(f.top, job, u"Working"), 7);
}

TEST(ProgressForm, NullArgumentsShowNothing) {
  sControlFixture f;
  EXPECT_EQ(ShowProgressForm(f.top, nullptr, u"x"), 0);
  cScriptedJob job;
  EXPECT_EQ(ShowProgressForm(nullptr, &job, u"x"), 0);
  EXPECT_TRUE(f.host.modalTitles.empty());
}

}  // namespace
