// The window canvas over a real window (under Wine and Xvfb): the update
// region limits what counts as visible, sub-canvases inherit it, and
// starting a paint does not validate the window.
#include <windows.h>

#include <gtest/gtest.h>

#include "gui/win_canvas.h"

namespace {

HWND MakeWindow() {
  static const wchar_t kClass[] = L"TwCanvasTestWindow";
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    registered = RegisterClassW(&wc) != 0;
  }
  return CreateWindowExW(0, kClass, L"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

TEST(WinCanvas, UpdateRegionDecidesVisibility) {
  HWND hwnd = MakeWindow();
  ASSERT_NE(hwnd, nullptr);
  ValidateRect(hwnd, nullptr);
  const RECT dirty{10, 10, 50, 40};
  InvalidateRect(hwnd, &dirty, FALSE);

  auto* canvas = new cWinCanvas();
  ASSERT_TRUE(canvas->BeginWindowPaint(nullptr, hwnd));
  EXPECT_EQ(canvas->GetWidth(), 200);
  EXPECT_EQ(canvas->GetHeight(), 100);
  const sRect inside{20, 20, 5, 5}, outside{100, 60, 5, 5}, edge{49, 39, 10, 10};
  EXPECT_TRUE(canvas->IsRectVisible(&inside));
  EXPECT_FALSE(canvas->IsRectVisible(&outside));
  EXPECT_TRUE(canvas->IsRectVisible(&edge));
  canvas->ExcludeClipRect(&inside);
  EXPECT_FALSE(canvas->IsRectVisible(&inside));

  // A sub-canvas at (40, 30): its own coordinates, the parent's limits.
  const sRect part{40, 30, 100, 50};
  cCanvas* sub = canvas->CreateSubCanvas(&part);
  ASSERT_NE(sub, nullptr);
  const sRect subInside{0, 0, 5, 5}, subOutside{20, 20, 5, 5};
  EXPECT_TRUE(sub->IsRectVisible(&subInside));
  EXPECT_FALSE(sub->IsRectVisible(&subOutside));
  EXPECT_TRUE(sub->ApplyClip());
  const sRect fill{0, 0, 100, 50};
  EXPECT_TRUE(sub->DrawRect(&fill, 0x00FF00, 0x00FF00));
  delete sub;
  EXPECT_TRUE(canvas->ApplyClip());
  canvas->Release();
  delete canvas;

  // Painting began and ended, but the window is still marked dirty: the
  // window layer validates it, not the canvas.
  RECT still{};
  EXPECT_TRUE(GetUpdateRect(hwnd, &still, FALSE));
  EXPECT_EQ(still.left, 10);
  EXPECT_EQ(still.bottom, 40);
  DestroyWindow(hwnd);
}

TEST(WinCanvas, OffscreenFromAWindowCanvasStartsWithItsPixels) {
  HWND hwnd = MakeWindow();
  ASSERT_NE(hwnd, nullptr);
  cWinCanvas canvas;
  ASSERT_TRUE(canvas.BeginWindowPaint(nullptr, hwnd));
  cCanvas* off = canvas.CreateOffscreen(30, 20, -1, -1);
  ASSERT_NE(off, nullptr);
  const sRect all{0, 0, 30, 20};
  off->DrawRect(&all, 0x0000FF, 0x00FF00);
  cPicture picture;
  ASSERT_TRUE(off->CopyToPicture(&picture, nullptr));
  EXPECT_EQ(picture.GetWidth(), 30);
  EXPECT_EQ(picture.GetPixels()[0] & 0xFFFFFF, 0x00FF00u);   // the frame, bottom-left
  EXPECT_EQ(picture.GetPixels()[31] & 0xFFFFFF, 0xFF0000u);  // the fill (pixel bytes B, G, R)
  const sRect past{25, 0, 10, 5};
  EXPECT_FALSE(off->CopyToPicture(&picture, &past));
  delete off;
  canvas.Release();
  DestroyWindow(hwnd);
}

}  // namespace
