// The progress bar: its fill arithmetic, the glide and fade driven by its
// animation thread, waits that never hang without that thread, and the
// bar picture's pixels.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "gui/controls/progress.h"
#include "gui/theme.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::Px;
using twtest::sControlFixture;
using twtest::sPainted;

constexpr int32_t kWaitMs = 20000;

TEST(ProgressBar, FillWidthTable) {
  struct sCase {
    int32_t value, maximum, width, fill;
  } const cases[] = {
      {50, 100, 200, 100},
      {0, 100, 200, 0},
      {100, 100, 200, 200},
      {150, 100, 200, 200},                 // clamped to the maximum
      {-5, 100, 200, 0},                    // clamped to 0
      {10, 0, 200, 0},                      // no range: no fill
      {10, -4, 200, 0},
      {2000000000, 2000000000, 1000, 1000}, // value * width needs 64 bits
      {1000000000, 2000000000, 3000, 1500},
  };
  for (const sCase& c : cases)
    EXPECT_EQ(cProgressChild::FillWidth(c.value, c.maximum, c.width), c.fill)
        << c.value << "/" << c.maximum << " of " << c.width;
}

// Without the animation thread nobody takes a pending start: the setter
// must come back anyway and leave its value pending.
TEST(ProgressBar, SetValueWithoutAnimationThreadReturns) {
  cProgressViewUpdateJob job;
  job.Start();
  EXPECT_EQ(job.GetCommand(), cProgressViewUpdateJob::kCommandStart);
  job.SetValue(7, false);
  EXPECT_EQ(job.GetCommand(), cProgressViewUpdateJob::kCommandValue);
  job.Stop(false);
  EXPECT_FALSE(job.IsActive());
}

struct sBarFixture : sControlFixture {
  cProgressChild bar;
  sBarFixture() { Add(&bar, 10, 10, 100, 18); }
  ~sBarFixture() { Detach(); }
  // Pumps until pred holds; the values shown meanwhile go to trail.
  template <class P>
  bool PumpUntil(P pred, std::vector<int32_t>* trail = nullptr) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < end) {
      host.WaitAndPump(50);
      if (trail != nullptr && (trail->empty() || trail->back() != bar.GetValue())) trail->push_back(bar.GetValue());
      if (pred()) return true;
    }
    return false;
  }
};

TEST(ProgressBar, FadesInGlidesUpAndRestartsFromZeroForSmallerValue) {
  sBarFixture f;
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetJob()->IsAnimating(); }));
  f.bar.SetRange(100);
  f.bar.Start();
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetOpacity() == 0.0; }));
  std::vector<int32_t> trail;
  f.bar.SetPos(80, false);
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetValue() == 80; }, &trail));
  for (size_t i = 1; i < trail.size(); ++i) EXPECT_LE(trail[i - 1], trail[i]);

  // A smaller value rises again from 0.
  trail.clear();
  f.bar.SetPos(40, false);
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetValue() == 40 && f.bar.GetJob()->GetCommand() == 0; }, &trail));
  // On a loaded machine the first pumps can still show the old value before
  // the animation thread takes the new one.
  while (!trail.empty() && trail.front() == 80) trail.erase(trail.begin());
  ASSERT_FALSE(trail.empty());
  EXPECT_LT(trail.front(), 40);
  for (size_t i = 1; i < trail.size(); ++i) EXPECT_LE(trail[i - 1], trail[i]);
}

TEST(ProgressBar, SameValueTwicePostsNothing) {
  sBarFixture f;
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetJob()->IsAnimating(); }));
  f.bar.SetRange(10);
  f.bar.SetPos(6, false);
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetValue() == 6 && f.bar.GetJob()->GetCommand() == 0; }));
  // Let the glide's last post and the fade settle.
  f.host.WaitAndPump(300);
  f.host.Pump();
  f.bar.SetPos(6, false);
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetJob()->GetCommand() == 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(f.host.PendingWakeUps(), 0);
}

TEST(ProgressBar, StopGlidesToTheEndThenPaintsThePlainRectangle) {
  sBarFixture f;
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetJob()->IsAnimating(); }));
  f.bar.SetRange(1000);
  f.bar.SetPos(100, false);
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetValue() == 100; }));
  // Stop blocks for its short end wait; the UI thread is this one, so the
  // posts are pumped afterwards.
  f.bar.Stop(false);
  EXPECT_FALSE(f.bar.GetJob()->IsActive());
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetValue() == 1000 && f.bar.GetOpacity() == 1.0; }));
  sPainted shot;
  twtest::PaintAlone(f.bar, shot);
  cCITheme* theme = GetTheme();
  EXPECT_EQ(shot.At(50, 9), Px(theme->GetColour(14)));
  EXPECT_EQ(shot.At(0, 9), Px(theme->GetColour(21)));
}

TEST(ProgressBar, BarPicturePixels) {
  sBarFixture f;
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetJob()->IsAnimating(); }));
  f.bar.SetRange(100);
  f.bar.SetPos(50, false);
  ASSERT_TRUE(f.PumpUntil([&] { return f.bar.GetValue() == 50 && f.bar.GetOpacity() == 0.0; }));
  sPainted shot;
  twtest::PaintAlone(f.bar, shot);
  // Height 18 resamples the 20-row columns; the frame is the fixed colour.
  EXPECT_EQ(shot.At(0, 5), 0xF1D5C6u);
  EXPECT_EQ(shot.At(99, 0), 0xF1D5C6u);
  // Left of the fill green dominates; right of it the grey column.
  const uint32_t filled = shot.At(20, 9), empty = shot.At(80, 9);
  EXPECT_GT((filled >> 8) & 0xFF, (filled >> 16) & 0xFF);
  EXPECT_GT((filled >> 8) & 0xFF, filled & 0xFF);
  EXPECT_EQ(shot.At(48, 9), filled);
  EXPECT_EQ(shot.At(50, 9), empty);
  EXPECT_NEAR(static_cast<int>((empty >> 16) & 0xFF), 224, 3);
}

TEST(ProgressBar, TooSmallBarPaintsOnlyThePlainRectangle) {
  sControlFixture f;
  cProgressChild bar;
  f.Add(&bar, 0, 0, 50, 2);
  bar.SetRange(10);
  bar.SetPos(10, true);
  sPainted shot;
  twtest::PaintAlone(bar, shot);
  EXPECT_EQ(shot.At(25, 0), Px(GetTheme()->GetColour(21)));
  EXPECT_EQ(bar.GetBarPicture()->GetWidth(), 0);
  f.Detach();
}

}  // namespace
