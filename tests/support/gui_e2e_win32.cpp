// See tests/support/gui_e2e.h.
#include "tests/support/gui_e2e.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "gui/picture.h"
#include "gui/win_canvas.h"
#include "gui/window_host.h"
#include "gui/wnd_lite.h"

namespace twtest {

namespace {

using namespace std::chrono_literals;

// Runs its work when the UI thread is done with it, after the element's
// OnAction: no form has to know it.
class cUiWork : public cChildElement::cSentChildAction {
public:
  explicit cUiWork(std::function<void()> work) : cSentChildAction(kUiWorkKind), work_(std::move(work)) {}
  void Done() override {
    work_();
    cSentChildAction::Done();
  }

private:
  std::function<void()> work_;
};

BOOL CALLBACK CollectVisible(HWND w, LPARAM list) {
  if (IsWindowVisible(w)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
  return TRUE;
}

}  // namespace

bool OnUi(cChildElement* element, std::function<void()> work) {
  return element->SendAction(new cUiWork(std::move(work)));
}

bool UiEventually(cChildElement* element, const std::function<bool()>& check, int rounds) {
  for (int i = 0; i < rounds; ++i) {
    // A send that fails (the window is not there yet) is one more round.
    bool ok = false;
    if (OnUi(element, [&] { ok = check(); }) && ok) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

bool Eventually(const std::function<bool()>& check, int rounds) {
  for (int i = 0; i < rounds; ++i) {
    if (check()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

std::vector<HWND> ThreadWindows(DWORD thread) {
  std::vector<HWND> found;
  EnumThreadWindows(thread, CollectVisible, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND FindTitled(DWORD thread, const char16_t* title) {
  for (HWND w : ThreadWindows(thread)) {
    wchar_t text[128] = {};
    GetWindowTextW(w, text, 127);
    std::u16string have;
    for (const wchar_t* p = text; *p != 0; ++p) have.push_back(static_cast<char16_t>(*p));
    if (have == title) return w;
  }
  return nullptr;
}

HWND WaitTitled(DWORD thread, const char16_t* title, int rounds) {
  HWND found = nullptr;
  Eventually([&] { return (found = FindTitled(thread, title)) != nullptr; }, rounds);
  return found;
}

HWND HostWindowOf(cChildElement* form) { return static_cast<HWND>(form->GetHost()->GetWindow()->GetHandle()); }

HWND HostOf(HWND dialog) {
  HWND child = GetWindow(dialog, GW_CHILD);
  return child != nullptr ? child : dialog;
}

cChildElement* ElementOf(HWND dialog) {
  auto* window = reinterpret_cast<cWndLite*>(GetWindowLongPtrW(HostOf(dialog), GWLP_USERDATA));
  auto* host = dynamic_cast<cWndTranslator*>(window);
  return host != nullptr ? host->GetElement() : nullptr;
}

void PostKey(HWND dialog, WPARAM key) {
  HWND target = HostOf(dialog);
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void SendKeys(std::initializer_list<std::pair<WORD, bool>> strokes) {
  std::vector<INPUT> in;
  for (const auto& [key, up] : strokes) {
    INPUT i = {};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = key;
    i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    in.push_back(i);
  }
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

void PressKey(WORD key) { SendKeys({{key, false}, {key, true}}); }

void Chord(WORD modifier, WORD key) { SendKeys({{modifier, false}, {key, false}, {key, true}, {modifier, true}}); }

namespace {

INPUT MouseAt(POINT p, DWORD flags) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dx = static_cast<LONG>(p.x * 65535LL / (w - 1));
  in.mi.dy = static_cast<LONG>(p.y * 65535LL / (h - 1));
  in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | flags;
  return in;
}

}  // namespace

void MoveTo(POINT p) {
  INPUT in = MouseAt(p, MOUSEEVENTF_MOVE);
  SendInput(1, &in, sizeof(INPUT));
}

void ClickAt(POINT p) {
  INPUT in[2] = {MouseAt(p, MOUSEEVENTF_LEFTDOWN), MouseAt(p, MOUSEEVENTF_LEFTUP)};
  SendInput(2, in, sizeof(INPUT));
}

bool CaptureClient(HWND window, RgbImage* image) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT client{};
  GetClientRect(window, &client);
  HDC dc = GetDC(window);
  cWOffscreenCanvas shot;
  cPicture picture;
  const bool copied =
      shot.BeginOffscreen(dc, client.right, client.bottom, 0, 0) && shot.CopyToPicture(&picture, nullptr);
  ReleaseDC(window, dc);
  if (!copied) return false;
  *image = {};
  image->width = picture.GetWidth();
  image->height = picture.GetHeight();
  image->rgb.reserve(static_cast<size_t>(image->width) * image->height * 3);
  for (int32_t y = 0; y < image->height; ++y) {
    // Pictures keep the bottom row first.
    const uint32_t* row = picture.GetPixels() + (image->height - 1 - y) * image->width;
    for (int32_t x = 0; x < image->width; ++x) {
      image->rgb.push_back(static_cast<uint8_t>(row[x] >> 16));
      image->rgb.push_back(static_cast<uint8_t>(row[x] >> 8));
      image->rgb.push_back(static_cast<uint8_t>(row[x]));
    }
  }
  return true;
}

size_t CountColours(const RgbImage& image, size_t limit) {
  std::vector<uint32_t> seen;
  for (size_t i = 0; i + 2 < image.rgb.size() && seen.size() < limit; i += 3) {
    const uint32_t c = uint32_t{image.rgb[i]} << 16 | uint32_t{image.rgb[i + 1]} << 8 | image.rgb[i + 2];
    if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
  }
  return seen.size();
}

bool SaveScreenshot(HWND window, const char* file, size_t colours, int rounds) {
  RgbImage image;
  const bool painted =
      Eventually([&] { return CaptureClient(window, &image) && CountColours(image, colours) >= colours; }, rounds);
  return painted && WriteFile(file, EncodePng(image));
}

bool WaitShown(cEvent& shown) {
  for (int i = 0; i < 1000; ++i) {
    if (shown.Poll()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

void CloseDialogAtLast(HWND dialog) {
  for (int i = 0; i < 250 && dialog != nullptr && IsWindow(dialog); ++i) std::this_thread::sleep_for(20ms);
  if (dialog != nullptr && IsWindow(dialog)) PostMessageW(dialog, WM_CLOSE, 0, 0);
}

void CloseThreadWindowsAtLast(DWORD thread, HWND owner, const std::atomic<bool>& done) {
  for (int i = 0; i < 3000 && owner != nullptr && IsWindow(owner) && thread != 0; ++i) {
    if (i % 50 == 49) {
      for (HWND w : ThreadWindows(thread))
        if (w != owner) PostMessageW(w, WM_CLOSE, 0, 0);
      if (done) PostMessageW(owner, WM_CLOSE, 0, 0);
    }
    std::this_thread::sleep_for(20ms);
  }
}

namespace {

struct sProcessWindows {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectProcessWindow(HWND hwnd, LPARAM user) {
  auto* find = reinterpret_cast<sProcessWindows*>(user);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == find->pid && IsWindowVisible(hwnd)) find->found.push_back(hwnd);
  return TRUE;
}

}  // namespace

std::vector<HWND> ProcessWindows(DWORD pid) {
  sProcessWindows find{pid, {}};
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

std::wstring WindowTitle(HWND window) {
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  return title;
}

bool CaptureClientFromScreen(HWND window, RgbImage* image) {
  SetForegroundWindow(GetAncestor(window, GA_ROOT));
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const int w = client.right, h = client.bottom;
  if (w <= 0 || h <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const bool copied = bitmap != nullptr && [&] {
    HGDIOBJ old = SelectObject(memory, bitmap);
    const bool ok = BitBlt(memory, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY) != 0;
    SelectObject(memory, old);
    return ok;
  }();
  if (copied) {
    *image = {};
    image->width = w;
    image->height = h;
    image->rgb.reserve(static_cast<size_t>(w) * h * 3);
    const auto* px = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
      image->rgb.push_back(static_cast<uint8_t>(px[i] >> 16));
      image->rgb.push_back(static_cast<uint8_t>(px[i] >> 8));
      image->rgb.push_back(static_cast<uint8_t>(px[i]));
    }
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return copied;
}

void PostClick(HWND window, int x, int y) {
  const LPARAM at = MAKELPARAM(x, y);
  PostMessageW(window, WM_MOUSEMOVE, 0, at);
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(window, WM_LBUTTONUP, 0, at);
}

}  // namespace twtest
