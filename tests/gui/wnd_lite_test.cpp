// The window layer's pure pieces: wheel notches, sizing clamps and the
// crash-log line.
#include "gui/wnd_lite.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/time.h"
#include "tests/support/test_support.h"

namespace {

struct WheelCase {
  std::vector<int32_t> deltas;
  // One delivery per message: count (0 = nothing), up.
  std::vector<tw::sWheelNotches> expected;
  int32_t remainder;
};

TEST(Wheel, AccumulatesToWholeNotches) {
  const WheelCase cases[] = {
      {{60, 60}, {{0, false}, {1, true}}, 0},
      {{360}, {{3, true}}, 0},
      {{-240}, {{2, false}}, 0},
      {{119}, {{0, false}}, 119},
      {{-119, -1}, {{0, false}, {1, false}}, 0},
      {{100, 100, 100}, {{0, false}, {1, true}, {1, true}}, 60},
      {{90, -30, -150}, {{0, false}, {0, false}, {0, false}}, -90},  // direction changes cancel
      {{250}, {{2, true}}, 10},
      {{-250}, {{2, false}}, -10},
  };
  for (const WheelCase& c : cases) {
    int32_t acc = 0;
    for (size_t i = 0; i < c.deltas.size(); ++i) {
      const tw::sWheelNotches n = tw::AccumulateWheel(acc, c.deltas[i]);
      EXPECT_EQ(n.count, c.expected[i].count) << "case starting " << c.deltas[0] << ", message " << i;
      if (n.count > 0) {
        EXPECT_EQ(n.up, c.expected[i].up) << "message " << i;
      }
    }
    EXPECT_EQ(acc, c.remainder) << "case starting " << c.deltas[0];
  }
}

struct SizingCase {
  const char* what;
  int32_t edge;
  sEdges in;
  int32_t minW, minH, maxW, maxH;
  sEdges out;
};

TEST(Sizing, ClampsTheDraggedEdge) {
  const SizingCase cases[] = {
      {"left edge below the minimum moves the left edge back", tw::kSizeLeft, {150, 10, 200, 110},
       100, -1, -1, -1, {100, 10, 200, 110}},
      {"right edge below the minimum moves the right edge", tw::kSizeRight, {100, 10, 150, 110},
       100, -1, -1, -1, {100, 10, 200, 110}},
      {"top edge below the minimum moves the top edge back", tw::kSizeTop, {0, 80, 50, 110}, -1,
       50, -1, -1, {0, 60, 50, 110}},
      {"bottom-left: left and bottom edges", tw::kSizeBottomLeft, {90, 0, 100, 5}, 40, 30, -1,
       -1, {60, 0, 100, 30}},
      {"top-right: right and top edges", tw::kSizeTopRight, {0, 95, 10, 100}, 40, 30, -1, -1,
       {0, 70, 40, 100}},
      {"above the maximum", tw::kSizeBottomRight, {0, 0, 900, 700}, -1, -1, 640, 480,
       {0, 0, 640, 480}},
      {"limits of 0 are no limits", tw::kSizeBottomRight, {0, 0, 5, 5}, 0, 0, 0, 0,
       {0, 0, 5, 5}},
      {"inside the limits nothing moves", tw::kSizeTopLeft, {10, 10, 300, 200}, 100, 100, 400,
       400, {10, 10, 300, 200}},
  };
  for (const SizingCase& c : cases) {
    sEdges r = c.in;
    tw::ClampSizingRect(r, c.edge, c.minW, c.minH, c.maxW, c.maxH);
    EXPECT_EQ(r.left, c.out.left) << c.what;
    EXPECT_EQ(r.top, c.out.top) << c.what;
    EXPECT_EQ(r.right, c.out.right) << c.what;
    EXPECT_EQ(r.bottom, c.out.bottom) << c.what;
  }
}

TEST(CrashLog, LineFormat) {
  sDateTime t;
  t.year = 2026;
  t.month = 3;
  t.day = 7;
  t.hour = 4;
  t.minute = 5;
  t.second = 9;
  char16_t line[tw::kCrashLineCapacity];
  int32_t n = tw::FormatCrashLine(line, t, 0xC0000005, 0x401A2B);
  EXPECT_EQ(std::u16string(line), u"20260307_040509: 0xC0000005 @ 0x401A2B\r\n");
  EXPECT_EQ(n, 40);
  // An address above 2 GiB arrives sign-extended and shows all 16 digits;
  // a small code keeps its 8 digits.
  n = tw::FormatCrashLine(line, t, 0x94, 0xFFFFFFFF80001000ull);
  EXPECT_EQ(std::u16string(line), u"20260307_040509: 0x00000094 @ 0xFFFFFFFF80001000\r\n");
}

}  // namespace
