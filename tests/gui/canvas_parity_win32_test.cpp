// The GDI off-screen canvas and the memory canvas run one drawing script
// and must agree pixel for pixel (colour channels; GDI leaves the alpha
// byte of a DIB section to chance). Text is left out: glyph shapes are the
// one thing the memory canvas does not imitate.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gui/font.h"
#include "gui/mem_canvas.h"
#include "gui/win_canvas.h"

namespace {

constexpr int32_t kW = 160, kH = 120;

// A picture with a different colour in every pixel and a gradient of alpha.
void Pattern(cPicture& p, int32_t w, int32_t h) {
  p.Allocate(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      p.GetPixels()[y * w + x] = (uint32_t((x * 255) / w) << 24) | (uint32_t(x * 7) << 16) |
                                 (uint32_t(y * 11) << 8) | uint32_t((x ^ y) * 5);
}

void Script(cCanvas& c) {
  const sRect all{0, 0, kW, kH};
  c.DrawRect(&all, 0x336699, 0x336699);
  const sRect boxes[] = {{3, 4, 20, 12}, {10, 8, 1, 1}, {30, 2, 2, 9}, {40, 5, 15, 1}, {150, 100, 30, 30}, {-5, 110, 12, 20}};
  uint32_t colour = 0x102030;
  for (const sRect& b : boxes) {
    c.DrawRect(&b, colour, colour ^ 0xFFFFFF);
    colour += 0x231507;
  }
  c.SetLinePen(0x0000FF, 1);
  c.DrawLine({2, 30}, {60, 30});
  c.DrawLine({60, 32}, {2, 32});
  c.DrawLine({5, 35}, {5, 60});
  c.DrawLine({8, 60}, {8, 35});
  c.DrawLine({10, 35}, {30, 55});
  c.DrawLine({40, 55}, {20, 35});
  c.DrawLine({50, 35}, {35, 50});

  // Clip: a hole, then part of it added back.
  const sRect hole{20, 64, 30, 10}, back{25, 66, 5, 5};
  c.ExcludeClipRect(&hole);
  c.ApplyClip();
  const sRect band{10, 60, 60, 20};
  c.DrawRect(&band, 0x00FF00, 0x00FF00);
  c.AddClipRect(&back);
  c.ApplyClip();
  const sRect band2{15, 62, 40, 15};
  c.DrawRect(&band2, 0xFF00FF, 0x000000);

  // A sub-canvas reaching past the right edge, with a hole of its own.
  const sRect part{100, 10, 80, 40};
  cCanvas* sub = c.CreateSubCanvas(&part);
  ASSERT_NE(sub, nullptr);
  const sRect subHole{5, 5, 10, 10};
  sub->ExcludeClipRect(&subHole);
  sub->ApplyClip();
  const sRect subAll{-10, -10, 200, 200};
  sub->DrawRect(&subAll, 0x0080FF, 0x804000);
  cPicture small;
  Pattern(small, 9, 7);
  sub->DrawPicture(50, 20, &small, -1, -1);
  delete sub;
  c.ApplyClip();

  cPicture p;
  Pattern(p, 16, 12);
  c.DrawPicture(70, 60, &p, -1, -1);
  c.DrawPicture(90, 60, &p, 24, 6);
  const sPoint at{70, 80};
  c.DrawPictureBlended(&at, &p, nullptr);
  const sSize bigger{20, 20};
  const sPoint at2{90, 80};
  c.DrawPictureBlended(&at2, &p, &bigger);
  c.DrawPictureScaled({&p, 40, 30, 130, 100, 0});
  c.DrawPictureScaled({&p, 30, 30, -10, 95, 1});

  cCanvas* off = c.CreateOffscreen(30, 20, 0, 0);
  ASSERT_NE(off, nullptr);
  const sRect mark{4, 4, 10, 6};
  off->DrawRect(&mark, 0xFFFFFF, 0x0000FF);
  c.CopyFromCanvas(120, 60, off, 0, 0, -1, -1);
  delete off;
  c.CopyFromCanvas(5, 90, &c, 0, 0, 40, 20);  // overlapping move within one surface
}

TEST(CanvasParity, GdiAndMemoryCanvasAgree) {
  HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  cWOffscreenCanvas gdi;
  ASSERT_TRUE(gdi.BeginOffscreen(screen, kW, kH, -1, -1));
  cMemCanvas mem(kW, kH);
  Script(gdi);
  Script(mem);
  cPicture a, b;
  ASSERT_TRUE(gdi.CopyToPicture(&a, nullptr));
  ASSERT_TRUE(mem.CopyToPicture(&b, nullptr));
  gdi.Release();
  ReleaseDC(nullptr, screen);
  ASSERT_EQ(a.GetWidth(), b.GetWidth());
  ASSERT_EQ(a.GetHeight(), b.GetHeight());
  int32_t differing = 0;
  std::string first;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) {
      const size_t i = static_cast<size_t>(kH - 1 - y) * kW + x;
      const uint32_t g = a.GetPixels()[i] & 0xFFFFFF, m = b.GetPixels()[i] & 0xFFFFFF;
      if (g == m) continue;
      if (differing++ == 0) {
        char line[96];
        std::snprintf(line, sizeof line, "first at (%d, %d): GDI %06X, memory %06X", x, y, g, m);
        first = line;
      }
    }
  EXPECT_EQ(differing, 0) << first;
}

// A 200 x 40 off-screen GDI surface with the UI font selected, for the
// measuring tests.
void BeginTextCanvas(cWOffscreenCanvas& gdi) {
  HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  const bool begun = gdi.BeginOffscreen(screen, 200, 40, -1, -1);
  ReleaseDC(nullptr, screen);
  ASSERT_TRUE(begun);
  ASSERT_TRUE(gdi.SetFont(5, 13, GetUIFaceName(), false, false, false));
}

// ASCII measures the same through the A calls as through the W calls.
TEST(CanvasParity, AnsiTextMeasuresLikeUtf16) {
  cWOffscreenCanvas gdi;
  ASSERT_NO_FATAL_FAILURE(BeginTextCanvas(gdi));
  sSize wide{}, ansi{};
  ASSERT_TRUE(gdi.MeasureText(u"Tarnwick", -1, &wide));
  ASSERT_TRUE(gdi.MeasureTextAnsi("Tarnwick", -1, &ansi));
  EXPECT_GT(wide.width, 8);
  EXPECT_EQ(ansi, wide);
  _typebuf<int32_t> wideExtents, ansiExtents;
  ASSERT_TRUE(gdi.GetCharExtents(u"Tarnwick", -1, &wideExtents));
  ASSERT_TRUE(gdi.GetCharExtentsAnsi("Tarnwick", 4, &ansiExtents));
  ASSERT_EQ(wideExtents.count, 8);
  ASSERT_EQ(ansiExtents.count, 4);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(ansiExtents[i], wideExtents[i]) << i;
  EXPECT_FALSE(gdi.GetCharExtentsAnsi("", -1, &ansiExtents));
  EXPECT_FALSE(gdi.GetCharExtentsAnsi(nullptr, 3, &ansiExtents));
}

TEST(CanvasParity, TextMeasuresThroughGdi) {
  cWOffscreenCanvas gdi;
  ASSERT_NO_FATAL_FAILURE(BeginTextCanvas(gdi));
  sSize whole, dots;
  ASSERT_TRUE(gdi.MeasureText(u"abcdefghijklmnopqrstuvwxyz", -1, &whole));
  ASSERT_TRUE(gdi.MeasureTextAnsi("...", 3, &dots));
  EXPECT_GT(whole.width, 26);
  EXPECT_GT(whole.height, 8);
  _typebuf<int32_t> extents;
  ASSERT_TRUE(gdi.GetCharExtents(u"abcdefghijklmnopqrstuvwxyz", -1, &extents));
  ASSERT_EQ(extents.count, 26);
  EXPECT_EQ(extents[25], whole.width);
  // Too wide for its box: a prefix and "..." that fit in the available width.
  int32_t drawn = -1;
  const int32_t box = whole.width / 2;
  ASSERT_EQ(gdi.DrawTextLine(0, 0, box, 20, 0, false, 0, 0, u"abcdefghijklmnopqrstuvwxyz", -1, &drawn, false), 0);
  EXPECT_LE(drawn, box);
  EXPECT_GE(drawn, dots.width);
  // Opaque text paints its cells; something other than the background shows.
  cPicture out;
  ASSERT_TRUE(gdi.CopyToPicture(&out, nullptr));
  bool ink = false;
  for (int32_t i = 0; i < out.GetPixelCount(); ++i) ink |= (out.GetPixels()[i] & 0xFFFFFF) == 0;
  EXPECT_TRUE(ink);
}

}  // namespace
