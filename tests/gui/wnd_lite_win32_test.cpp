// The window layer under Wine: class registration, windows, modal dialogs
// from the in-memory template, the message table and the crash guard of
// both procedures.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "gui/wnd_lite.h"
#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

int* volatile g_null = nullptr;

// The log's lines, read back from UTF-16LE as 8-bit text (the line is ASCII).
std::vector<std::string> ReadLogLines(const std::string& folder) {
  std::ifstream in(folder + "/_cwlerr.log", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  std::string current;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    EXPECT_EQ(bytes[i + 1], 0) << "not UTF-16LE ASCII at byte " << i;
    current.push_back(bytes[i]);
    if (current.size() >= 2 && current.compare(current.size() - 2, 2, "\r\n") == 0) {
      lines.push_back(current);
      current.clear();
    }
  }
  EXPECT_TRUE(current.empty()) << "unterminated tail: " << current;
  EXPECT_EQ(bytes.size() % 2, 0u);
  return lines;
}

bool IsWellFormed(const std::string& line, const char* code) {
  const std::regex shape(std::string("^\\d{8}_\\d{6}: 0x") + code + " @ 0x[0-9A-F]+\r\n$");
  return std::regex_match(line, shape);
}

class LogFolder {
public:
  LogFolder() : temp_("TEMP", dir_.path().c_str()) {}
  const std::string& path() const { return dir_.path(); }

private:
  twtest::TempDir dir_;
  twtest::ScopedEnv temp_;
};

struct Registered : ::testing::Test {
  static void SetUpTestSuite() { ASSERT_TRUE(RegisterLiteWindowClass(nullptr, nullptr)); }
};

// A window that records its handler calls and faults on request.
class ProbeWindow : public cWndLite {
public:
  ProbeWindow() : cWndLite("Probe") {}
  int created = 0;
  std::vector<std::string> calls;
  std::vector<std::string> drops;

  void OnCreate() override { ++created; }
  int32_t OnUserMessage(uintptr_t wParam, intptr_t lParam) override {
    switch (wParam) {
      case 1: *g_null = 5; return 11;  // a processor fault
      case 2: throw std::runtime_error("handler fault");
      default: return static_cast<int32_t>(lParam) + 1;
    }
  }
  void OnUser3(uint16_t high, uint16_t low) override {
    calls.push_back("user3 " + std::to_string(high) + " " + std::to_string(low));
  }
  void OnUser6(intptr_t lParam) override { calls.push_back("user6 " + std::to_string(lParam)); }
  int32_t OnMouseWheel(int32_t x, int32_t y, bool up, bool control, int32_t count) override {
    calls.push_back("wheel " + std::to_string(x) + "," + std::to_string(y) + (up ? " up " : " down ") +
                    (control ? "ctrl " : "") + std::to_string(count));
    return 0;
  }
  void OnSizing(sEdges& r) override {
    calls.push_back("sizing " + std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
  }
  void OnDropFiles(int32_t x, int32_t y, tPathList& paths) override {
    calls.push_back("drop " + std::to_string(x) + "," + std::to_string(y));
    for (auto* n = paths.head; n != nullptr; n = n->next) drops.push_back(twtest::Narrow(n->value.text));
  }
};

using WindowLayer = Registered;

TEST_F(WindowLayer, CreatesWindowWithExactClientSizeAndClasses) {
  ProbeWindow w;
  ASSERT_TRUE(w.CreateWnd(u"probe", 0, WS_OVERLAPPEDWINDOW, 30, 40, 321, 123, nullptr));
  HWND h = static_cast<HWND>(w.GetHandle());
  EXPECT_EQ(w.created, 1);
  EXPECT_FALSE(w.IsDialog());
  RECT c{};
  GetClientRect(h, &c);
  EXPECT_EQ(c.right, 321);
  EXPECT_EQ(c.bottom, 123);
  wchar_t cls[64];
  GetClassNameW(h, cls, 64);
  EXPECT_EQ(std::wstring(cls), L"cGUIWndClass::Probe");
  WNDCLASSW info{};
  ASSERT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), L"cGUIWndClass::ProbeP", &info));
  EXPECT_EQ(info.style, static_cast<UINT>(CS_DBLCLKS | CS_GLOBALCLASS | CS_DROPSHADOW));
  ASSERT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), L"cGUILWndClass", &info));

  // A second window with the same suffix reuses the classes; a popup gets the "P" one.
  ProbeWindow popup;
  ASSERT_TRUE(popup.CreateWnd(nullptr, 0, WS_POPUP, 0, 0, 50, 20, &w));
  GetClassNameW(static_cast<HWND>(popup.GetHandle()), cls, 64);
  EXPECT_EQ(std::wstring(cls), L"cGUIWndClass::ProbeP");
  EXPECT_EQ(popup.GetOwner(), &w);
}

TEST_F(WindowLayer, UserMessagesAndWheelAndSizing) {
  ProbeWindow w;
  ASSERT_TRUE(w.CreateWnd(u"probe", 0, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr));
  HWND h = static_cast<HWND>(w.GetHandle());
  EXPECT_EQ(SendMessageW(h, WM_USER, 7, 41), 42);
  SendMessageW(h, WM_USER, static_cast<WPARAM>(-3), MAKELPARAM(9, 4));
  SendMessageW(h, WM_USER, static_cast<WPARAM>(-6), 77);
  SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, 60), MAKELPARAM(10, 20));
  SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, 60), MAKELPARAM(10, 20));
  SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), MAKELPARAM(-5, 3));
  w.SetMinTrack(150, 80);
  RECT r{100, 100, 120, 130};
  EXPECT_EQ(SendMessageW(h, WM_SIZING, WMSZ_LEFT, reinterpret_cast<LPARAM>(&r)), 1);
  EXPECT_EQ(r.left, -30);  // the left edge moved back to make 150
  EXPECT_EQ(r.top, 50);    // the height is fixed at the top for a left drag
  const std::vector<std::string> expected = {"user3 4 9", "user6 77", "wheel 10,20 up ctrl 1",
                                             "wheel -5,3 down 2", "sizing 150x80"};
  EXPECT_EQ(w.calls, expected);
}

// A drop handle built by hand in the system's DROPFILES layout.
HGLOBAL MakeDrop(const std::vector<std::wstring>& files, POINT at) {
  size_t chars = 1;
  for (const auto& f : files) chars += f.size() + 1;
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* df = static_cast<DROPFILES*>(GlobalLock(mem));
  df->pFiles = sizeof(DROPFILES);
  df->pt = at;
  df->fWide = TRUE;
  auto* p = reinterpret_cast<wchar_t*>(df + 1);
  for (const auto& f : files) {
    std::copy(f.begin(), f.end(), p);
    p += f.size() + 1;
  }
  GlobalUnlock(mem);
  return mem;
}

TEST_F(WindowLayer, DroppedFilesAreNormalised) {
  ProbeWindow w;
  ASSERT_TRUE(w.CreateWnd(u"probe", 0, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr));
  HWND h = static_cast<HWND>(w.GetHandle());
  // (A drop of 0 files cannot be built by hand: Wine's DragQueryFileW
  // does not count an empty list as 0.)
  HGLOBAL two = MakeDrop({L"C:\\a\\b.txt", L"D:\\x y\\"}, POINT{12, 34});
  EXPECT_EQ(SendMessageW(h, WM_DROPFILES, reinterpret_cast<WPARAM>(two), 0), 0);
  GlobalFree(two);
  EXPECT_EQ(w.calls, std::vector<std::string>{"drop 12,34"});
  EXPECT_EQ(w.drops, (std::vector<std::string>{"C:/a/b.txt", "D:/x y/"}));
}

TEST_F(WindowLayer, FaultsInHandlersAreLoggedAndSurvived) {
  LogFolder log;
  ProbeWindow w;
  ASSERT_TRUE(w.CreateWnd(u"probe", 0, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr));
  HWND h = static_cast<HWND>(w.GetHandle());
  EXPECT_EQ(SendMessageW(h, WM_USER, 1, 0), 0);  // processor fault: answered 0
  auto lines = ReadLogLines(log.path());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(IsWellFormed(lines[0], "C0000005")) << lines[0];
  EXPECT_EQ(SendMessageW(h, WM_USER, 9, 1), 2);  // still working
  EXPECT_EQ(SendMessageW(h, WM_USER, 2, 0), 0);  // thrown object
  lines = ReadLogLines(log.path());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(IsWellFormed(lines[1], "E06D7363")) << lines[1];
  EXPECT_EQ(SendMessageW(h, WM_USER, 9, 5), 6);
}

TEST_F(WindowLayer, WithoutTempNothingIsLogged) {
  twtest::TempDir dir;
  twtest::ScopedEnv temp("TEMP", nullptr);
  ProbeWindow w;
  ASSERT_TRUE(w.CreateWnd(u"probe", 0, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr));
  EXPECT_EQ(SendMessageW(static_cast<HWND>(w.GetHandle()), WM_USER, 2, 0), 0);
  EXPECT_EQ(GetFileAttributesA((dir.path() + "/_cwlerr.log").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A dialog that faults on its first two user messages and ends with the
// third; records what it saw.
class FaultyDialog : public cWndLite {
public:
  int created = 0;
  int userMessages = 0;
  RECT client{};
  std::wstring title;

  void OnCreate() override {
    ++created;
    HWND h = static_cast<HWND>(GetHandle());
    GetClientRect(h, &client);
    wchar_t t[64] = {};
    GetWindowTextW(h, t, 64);
    title = t;
    for (int i = 0; i < 3; ++i) PostMessageW(h, WM_USER, 5, i);
  }
  int32_t OnUserMessage(uintptr_t, intptr_t lParam) override {
    ++userMessages;
    if (lParam == 0) throw std::runtime_error("first");
    if (lParam == 1) *g_null = 1;
    EndDialog(static_cast<HWND>(GetHandle()), 17);
    return 0;
  }
};

TEST_F(WindowLayer, ModalDialogFromTemplateSurvivesFaultsAndReturnsItsCode) {
  LogFolder log;
  FaultyDialog d;
  EXPECT_EQ(d.DoModalDialogCentred(nullptr, u"Dialog title", WS_CAPTION | WS_SYSMENU, 240, 130), 17);
  EXPECT_EQ(d.created, 1);
  EXPECT_EQ(d.userMessages, 3);
  EXPECT_EQ(d.client.right, 240);
  EXPECT_EQ(d.client.bottom, 130);
  EXPECT_EQ(d.title, L"Dialog title");
  EXPECT_FALSE(d.IsDialog());  // cleared when the run ended
  const auto lines = ReadLogLines(log.path());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(IsWellFormed(lines[0], "E06D7363")) << lines[0];
  EXPECT_TRUE(IsWellFormed(lines[1], "C0000005")) << lines[1];
}

TEST_F(WindowLayer, DialogProcedureBeforeBindingAnswersZero) {
  HWND stray = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(stray, nullptr);
  EXPECT_EQ(LiteDialogProc(stray, WM_USER, 1, 2), 0);
  EXPECT_EQ(LiteDialogProc(stray, WM_CLOSE, 0, 0), 0);
  DestroyWindow(stray);
}

TEST_F(WindowLayer, ObjectThatDoesNotOwnItsWindowRunsNoDialog) {
  FaultyDialog d;
  d.SetOwnsWindow(false);
  EXPECT_EQ(d.DoModalDialog(nullptr, u"x", WS_CAPTION, 0, 0, 10, 10), -1);
  EXPECT_EQ(d.created, 0);
}

}  // namespace
