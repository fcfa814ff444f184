// The window host under Wine: key translation, the Alt key, closing,
// wake-ups, the clipboard, child form placement and hint windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gui/window_host.h"
#include "gui/window_maker.h"

namespace {

// Records the calls that reach the top element.
class Probe : public cChildElement {
public:
  std::vector<std::string> calls;
  bool allowClose = true;
  int altKeys = 0;

  bool Key(int32_t key, bool shift, bool control, bool alt) override {
    calls.push_back("key " + std::to_string(key) + (shift ? " shift" : "") + (control ? " ctrl" : "") +
                    (alt ? " alt" : ""));
    return true;
  }
  bool Char(char16_t c, bool shift, bool, bool) override {
    calls.push_back(std::string("char ") + static_cast<char>(c) + (shift ? " shift" : ""));
    return true;
  }
  bool OnAltKey() override {
    ++altKeys;
    return true;
  }
  bool CanClose() override { return allowClose; }
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    // (Kind 1 comes from the focus the window gets when it is shown.)
    if (action == nullptr || action->kind < 7) return cChildElement::OnAction(sender, action);
    if (sender == this) calls.push_back("action " + std::to_string(action->kind));
    return true;
  }
};

struct Registered : ::testing::Test {
  static void SetUpTestSuite() {
    cWWMaker maker;
    ASSERT_TRUE(maker.RegisterClasses(nullptr, 0, 101));
  }
};

// A top-level host window with a probe element.
struct Window {
  cWndTranslator host;
  Probe* probe = new Probe();
  Window() { EXPECT_TRUE(host.Create(nullptr, u"host test", 300, 200, probe, false, 40, 50)); }
  HWND hwnd() const { return static_cast<HWND>(host.GetHandle()); }
};

void SetKeys(std::initializer_list<int> down) {
  BYTE state[256] = {};
  for (int k : down) state[k] = 0x80;
  SetKeyboardState(state);
}

using WindowHost = Registered;

TEST_F(WindowHost, KeyTranslation) {
  Window w;
  SetKeys({VK_SHIFT});
  SendMessageW(w.hwnd(), WM_KEYDOWN, VK_SHIFT, 0);  // swallowed
  SendMessageW(w.hwnd(), WM_KEYDOWN, 'A', 0);
  SetKeys({VK_CONTROL});
  SendMessageW(w.hwnd(), WM_KEYDOWN, 'A', 0);
  SetKeys({});
  SendMessageW(w.hwnd(), WM_KEYDOWN, VK_F5, 0);
  SendMessageW(w.hwnd(), WM_KEYDOWN, VK_RETURN, 0);
  const std::vector<std::string> expected = {"char A shift", "key 65 shift", "key 65 ctrl", "key 116",
                                             "key 13"};
  EXPECT_EQ(w.probe->calls, expected);
  EXPECT_EQ(SendMessageW(w.hwnd(), WM_GETDLGCODE, 0, 0), DLGC_WANTALLKEYS);
}

TEST_F(WindowHost, AltAloneCallsOnAltKeyOnce) {
  Window w;
  SetKeys({VK_MENU});
  SendMessageW(w.hwnd(), WM_SYSKEYDOWN, VK_MENU, 0);
  SendMessageW(w.hwnd(), WM_SYSKEYDOWN, VK_MENU, 0);  // auto-repeat
  SetKeys({});
  EXPECT_EQ(SendMessageW(w.hwnd(), WM_SYSKEYUP, VK_MENU, 0), 0);
  EXPECT_EQ(w.probe->altKeys, 1);
  // Alt used with a letter: no OnAltKey.
  SetKeys({VK_MENU});
  SendMessageW(w.hwnd(), WM_SYSKEYDOWN, VK_MENU, 0);
  SendMessageW(w.hwnd(), WM_SYSKEYDOWN, 'F', 0);
  SetKeys({});
  SendMessageW(w.hwnd(), WM_SYSKEYUP, VK_MENU, 0);
  EXPECT_EQ(w.probe->altKeys, 1);
  EXPECT_EQ(SendMessageW(w.hwnd(), WM_MENUCHAR, 'F', 0), MNC_CLOSE << 16);
}

TEST_F(WindowHost, CloseAsksTheTree) {
  Window w;
  w.probe->allowClose = false;
  EXPECT_EQ(SendMessageW(w.hwnd(), WM_CLOSE, 0, 0), 1);
  EXPECT_TRUE(IsWindow(w.hwnd()));
  w.probe->allowClose = true;
  HWND h = w.hwnd();
  SendMessageW(h, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(h));
}

TEST_F(WindowHost, WakeUpsRunTheQueues) {
  Window w;
  EXPECT_TRUE(w.probe->PostKind(11));
  EXPECT_TRUE(w.probe->PostDirectAction(new cChildElement::cChildAction(12)));
  MSG msg;
  while (PeekMessageW(&msg, w.hwnd(), WM_USER, WM_USER, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ(w.probe->calls, (std::vector<std::string>{"action 11", "action 12"}));
}

TEST_F(WindowHost, ClipboardTextAndRawBytes) {
  Window w;
  const char16_t text[] = u"Grüße";
  ASSERT_TRUE(w.host.SetClipboardText(text, sizeof text));
  EXPECT_TRUE(w.host.HasClipboardData(true));
  _typebuf<uint8_t> out;
  ASSERT_TRUE(w.host.GetClipboardText(&out));
  ASSERT_GE(out.count, static_cast<int32_t>(sizeof text));
  EXPECT_EQ(std::memcmp(out.data, text, sizeof text), 0);

  const uint8_t raw[5] = {1, 0, 2, 0, 3};
  ASSERT_TRUE(w.host.SetClipboardRaw(raw, 5));
  EXPECT_FALSE(w.host.HasClipboardData(true));
  EXPECT_TRUE(w.host.HasClipboardData(false));
  ASSERT_TRUE(w.host.GetClipboardRaw(&out));
  ASSERT_GE(out.count, 5);
  EXPECT_EQ(std::memcmp(out.data, raw, 5), 0);

  // Text copied by another program as CF_TEXT: up to and including the first zero.
  ASSERT_TRUE(OpenClipboard(w.hwnd()));
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 10);
  std::memcpy(GlobalLock(block), "abc\0defgh", 10);
  GlobalUnlock(block);
  SetClipboardData(CF_TEXT, block);
  CloseClipboard();
  ASSERT_TRUE(w.host.GetClipboardRaw(&out));
  ASSERT_EQ(out.count, 4);
  EXPECT_EQ(std::memcmp(out.data, "abc", 4), 0);
}

// A child form that reports where its dialog stands and ends with 7.
class ChildForm : public cChildElement {
public:
  explicit ChildForm(RECT* where) : where_(where) {}
  void OnCreate() override { PostKind(7); }
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (action == nullptr || sender != this || action->kind != 7) return false;
    HWND dialog = ::GetParent(static_cast<HWND>(GetHost()->GetWindow()->GetHandle()));
    RECT client{}, frame{};
    GetClientRect(dialog, &client);
    ::GetWindowRect(dialog, &frame);
    // The frame's top-left corner and the client size.
    *where_ = RECT{frame.left, frame.top, client.right, client.bottom};
    EndModal(7);
    return true;
  }

private:
  RECT* where_;
};

TEST_F(WindowHost, ModalChildIsCentredOnItsOwner) {
  Window w;
  int32_t x = 0, y = 0, width = 0, height = 0;
  ASSERT_TRUE(w.host.GetWindowRect(&x, &y, &width, &height));
  RECT where{};
  EXPECT_EQ(w.host.RunModalChild(u"child", 200, 100, new ChildForm(&where), false), 7);
  int32_t caption = GetSystemMetrics(SM_CYCAPTION);
  if (caption < 0 || caption > 100) caption = 0;
  EXPECT_EQ(where.right, 200);
  EXPECT_EQ(where.bottom, 100);
  // The dialog's frame stands at the owner's centre, the caption taken off.
  EXPECT_EQ(where.left, x + (width - 200) / 2);
  EXPECT_EQ(where.top, y + (height - caption - 100) / 2);
  EXPECT_EQ(w.host.RunModalChild(u"none", 10, 10, nullptr, false), -1);
}

// A popup: a captionless dialog at screen coordinates whose host has no
// owner dialog (frame requests act on the host window itself).
TEST_F(WindowHost, PopupRunsAtItsScreenPoint) {
  struct PopupContent : cChildElement {
    RECT frame{};
    LONG_PTR style = 0;
    bool hostIsFrame = false;
    void OnCreate() override { PostKind(7); }
    bool OnAction(cChildElement* sender, cChildAction* action) override {
      if (action == nullptr || sender != this || action->kind != 7) return false;
      HWND host = static_cast<HWND>(GetHost()->GetWindow()->GetHandle());
      HWND dialog = ::GetParent(host);
      ::GetWindowRect(dialog, &frame);
      style = GetWindowLongPtrW(dialog, GWL_STYLE);
      // Moving "the frame" moves the host window inside the popup.
      GetHost()->Move(0, 0, 40, 20);
      RECT r{};
      ::GetWindowRect(host, &r);
      hostIsFrame = r.right - r.left == 40;
      EndModal(3);
      return true;
    }
  };
  Window w;
  RECT frame{};
  LONG_PTR style = 0;
  bool hostIsFrame = false;
  // The popup's element is deleted when its run ends: copy the findings out first.
  struct Reporter : PopupContent {
    RECT* f;
    LONG_PTR* s;
    bool* h;
    ~Reporter() override {
      *f = frame;
      *s = style;
      *h = hostIsFrame;
    }
  };
  auto* reporter = new Reporter();
  reporter->f = &frame;
  reporter->s = &style;
  reporter->h = &hostIsFrame;
  EXPECT_EQ(w.host.RunPopup(123, 77, 150, 60, reporter), 3);
  EXPECT_EQ(frame.left, 123);
  EXPECT_EQ(frame.top, 77);
  EXPECT_EQ(frame.right - frame.left, 150) << "no frame around a popup's client area";
  EXPECT_NE(style & WS_POPUP, 0);
  EXPECT_EQ(style & WS_CAPTION, 0);
  EXPECT_TRUE(hostIsFrame);
  EXPECT_EQ(w.host.RunPopup(0, 0, 10, 10, nullptr), -1);
}

// A form run by the factory over an owner: centred on the owner's window;
// moving its frame resizes the host window and the form with it.
TEST_F(WindowHost, FactoryFormOverAnOwnerFollowsItsFrame) {
  struct Findings {
    RECT frame{};
    int32_t formWidth = 0, formHeight = 0;
    RECT client{};
  };
  struct Form : cChildElement {
    Findings* out = nullptr;
    void OnCreate() override { PostKind(7); }
    bool OnAction(cChildElement* sender, cChildAction* action) override {
      if (action == nullptr || sender != this) return false;
      HWND dialog = ::GetParent(static_cast<HWND>(GetHost()->GetWindow()->GetHandle()));
      if (action->kind == 7) {
        ::GetWindowRect(dialog, &out->frame);
        GetHost()->Move(out->frame.left, out->frame.top, 500, 300);  // the frame, in window pixels
        PostKind(8);
        return true;
      }
      if (action->kind == 8) {
        GetClientRect(dialog, &out->client);
        out->formWidth = GetWidth();
        out->formHeight = GetHeight();
        EndModal(1);
        return true;
      }
      return false;
    }
  };
  Window w;
  int32_t x = 0, y = 0, width = 0, height = 0;
  ASSERT_TRUE(w.host.GetWindowRect(&x, &y, &width, &height));
  Findings f;
  auto* form = new Form();
  form->out = &f;
  cWWMaker maker;
  EXPECT_EQ(maker.RunModalForm(u"owned", 120, 80, form, &w.host, true), 1);
  EXPECT_EQ(f.frame.left, x + (width - 120) / 2);
  EXPECT_EQ(f.frame.top, y + (height - 80) / 2);
  EXPECT_GT(f.client.right, 120);
  EXPECT_EQ(f.formWidth, f.client.right) << "the host follows the dialog's client area";
  EXPECT_EQ(f.formHeight, f.client.bottom);
}

TEST_F(WindowHost, DialogSurvivesARefusedCloseAndEndsWithZero) {
  struct Refusing : cChildElement {
    int closes = 0;
    void OnCreate() override { PostKind(7); }
    bool CanClose() override { return ++closes > 1; }
    bool OnAction(cChildElement* sender, cChildAction* action) override {
      if (action == nullptr || sender != this || action->kind != 7) return false;
      HWND dialog = ::GetParent(static_cast<HWND>(GetHost()->GetWindow()->GetHandle()));
      PostMessageW(dialog, WM_CLOSE, 0, 0);  // refused
      PostMessageW(dialog, WM_CLOSE, 0, 0);  // allowed
      return true;
    }
  };
  cWWMaker maker;
  auto* form = new Refusing();
  EXPECT_EQ(maker.RunModalForm(u"refusing", 200, 100, form, nullptr, false), 0);
}

TEST_F(WindowHost, HintWithoutActivationLeavesTheFocus) {
  Window w;
  ShowWindow(w.hwnd(), SW_SHOW);
  SetForegroundWindow(w.hwnd());
  ::SetFocus(w.hwnd());
  ASSERT_EQ(GetFocus(), w.hwnd());
  auto* content = new Probe();
  cWindowHolder* hint = w.host.ShowHint(10, 10, 80, 20, content, false);
  ASSERT_NE(hint, nullptr);
  HWND hintWindow = static_cast<HWND>(static_cast<cWWHolder*>(hint)->Host().GetHandle());
  EXPECT_TRUE(IsWindowVisible(hintWindow));
  EXPECT_EQ(GetFocus(), w.hwnd());
  EXPECT_EQ(GetWindowLongPtrW(hintWindow, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW),
            WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
  delete hint;  // window and element
  EXPECT_FALSE(IsWindow(hintWindow));
  EXPECT_EQ(w.host.ShowHint(0, 0, 1, 1, nullptr, false), nullptr);
}

BOOL CALLBACK CountHintWindow(HWND h, LPARAM p) {
  if ((GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0 && IsWindowVisible(h))
    ++*reinterpret_cast<int*>(p);
  return TRUE;
}

// The hint text of an element: shown when the mouse enters, a framed
// window below the element; closed when it leaves or when the hint text
// changes.
TEST_F(WindowHost, ElementHintWindow) {
  Window w;
  Probe child;
  w.probe->AddChild(&child, 20, 30, 100, 20, 0);
  child.SetHint(u"first line\nsecond", 0);
  child.OnEnter();
  ASSERT_TRUE(child.HasHintElement());
  auto countHints = [] {
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), &CountHintWindow, reinterpret_cast<LPARAM>(&n));
    return n;
  };
  EXPECT_EQ(countHints(), 1);
  child.OnLeave();
  EXPECT_FALSE(child.HasHintElement());
  EXPECT_EQ(countHints(), 0);
  // A new hint text closes a showing hint through the element's own action.
  child.OnEnter();
  ASSERT_TRUE(child.HasHintElement());
  child.SetHint(u"changed", 0);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_FALSE(child.HasHintElement());
  EXPECT_EQ(countHints(), 0);
  w.probe->RemoveChild(&child);
}

TEST_F(WindowHost, CursorKinds) {
  Window w;
  EXPECT_TRUE(w.host.SetCursor(3));
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(w.hwnd(), GCLP_HCURSOR)), LoadCursorW(nullptr, IDC_HAND));
  EXPECT_TRUE(w.host.SetCursor(3));
  EXPECT_TRUE(w.host.SetCursor(0));
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(w.hwnd(), GCLP_HCURSOR)), LoadCursorW(nullptr, IDC_ARROW));
}

}  // namespace

namespace {

// A double-buffered element whose first column and row are red and whose
// last column and row are green: a copy-back at the wrong offset moves them.
class FramedBuffered : public cChildElement {
public:
  FramedBuffered() { SetDoubleBuffered(true); }
  void Paint(cCanvas* canvas) override {
    const int32_t w = GetWidth(), h = GetHeight();
    sRect all{0, 0, w, h}, left{0, 0, 1, h}, top{0, 0, w, 1}, right{w - 1, 0, 1, h}, bottom{0, h - 1, w, 1};
    // Same fill and frame colour: how every solid area is painted.
    canvas->DrawRect(&all, 0xFF0000, 0xFF0000);   // blue
    canvas->DrawRect(&left, 0x0000FF, 0x0000FF);  // red
    canvas->DrawRect(&top, 0x0000FF, 0x0000FF);
    canvas->DrawRect(&right, 0x00FF00, 0x00FF00);  // green
    canvas->DrawRect(&bottom, 0x00FF00, 0x00FF00);
  }
};

TEST_F(WindowHost, DoubleBufferedPaintLandsAtTheWindowOrigin) {
  cWndTranslator host;
  auto* element = new FramedBuffered();
  ASSERT_TRUE(host.Create(nullptr, u"buffered", 120, 80, element, false, 40, 50));
  HWND window = static_cast<HWND>(host.GetHandle());
  ShowWindow(window, SW_SHOWNOACTIVATE);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  RECT client;
  GetClientRect(window, &client);
  HDC dc = GetDC(window);
  const COLORREF topLeft = GetPixel(dc, 0, 0);
  const COLORREF bottomRight = GetPixel(dc, client.right - 1, client.bottom - 1);
  const COLORREF inside = GetPixel(dc, 1, 1);
  ReleaseDC(window, dc);
  EXPECT_EQ(topLeft, RGB(255, 0, 0));
  EXPECT_EQ(bottomRight, RGB(0, 255, 0));
  EXPECT_EQ(inside, RGB(0, 0, 255));
  DestroyWindow(window);
}

}  // namespace
