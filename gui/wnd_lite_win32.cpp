// Win32 side of the window layer: class registration, windows and modal
// dialogs from an in-memory template, the two procedures with their guard,
// the default message table and the crash log. See gui/wnd_lite.h.
#include <windows.h>
#include <shellapi.h>

#include <new>

#include "base/fault_trap.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/time.h"
#include "base/win_text.h"
#include "gui/wnd_lite.h"

namespace {

// Remembered by the first successful RegisterLiteWindowClass.
HINSTANCE g_instance = nullptr;
HICON g_icon = nullptr;
bool g_registered = false;

constexpr char16_t kLiteClassName[] = u"cGUILWndClass";
constexpr UINT kClassStyle = CS_DBLCLKS | CS_GLOBALCLASS;                  // 0x4008
constexpr UINT kPopupClassStyle = CS_DBLCLKS | CS_GLOBALCLASS | CS_DROPSHADOW;  // 0x24008
constexpr int32_t kTemplateBytes = 1024;

HINSTANCE Instance() { return g_instance != nullptr ? g_instance : GetModuleHandleW(nullptr); }

// What the dialog procedure needs on WM_INITDIALOG.
struct sDialogStart {
  const char16_t* title;
  int32_t x;
  int32_t y;
  int32_t clientWidth;
  int32_t clientHeight;
  cWndLite* object;
};

// The window-minus-client size of a window, so that a client size can be
// turned into the window size MoveWindow takes.
SIZE FrameExtra(HWND window) {
  RECT w{}, c{};
  GetWindowRect(window, &w);
  GetClientRect(window, &c);
  return SIZE{(w.right - w.left) - (c.right - c.left), (w.bottom - w.top) - (c.bottom - c.top)};
}

void MoveToClientSize(HWND window, int32_t x, int32_t y, int32_t clientWidth, int32_t clientHeight,
                      BOOL repaint) {
  const SIZE extra = FrameExtra(window);
  MoveWindow(window, x, y, clientWidth + extra.cx, clientHeight + extra.cy, repaint);
}

// The two class names of a suffix: "cGUIWndClass::<suffix>" and the same
// with "P", formatted as 8-bit text and widened with the ANSI code page.
void ClassNames(const char* suffix, wchar_t (&plain)[256], wchar_t (&popup)[257]) {
  char narrow[256];
  FormatA(narrow, sizeof narrow, "cGUIWndClass::%s", suffix != nullptr ? suffix : "");
  const int n = MultiByteToWideChar(CP_ACP, 0, narrow, -1, plain, 256);
  if (n <= 0) plain[0] = 0;
  int i = 0;
  for (; plain[i] != 0; ++i) popup[i] = plain[i];
  popup[i] = L'P';
  popup[i + 1] = 0;
}

bool RegisterOneClass(const wchar_t* name, UINT style, HICON icon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = reinterpret_cast<WNDPROC>(&LiteWindowProc);
  wc.hInstance = Instance();
  wc.hIcon = icon;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = name;
  if (RegisterClassExW(&wc) != 0) return true;
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

int32_t SignedLow(LPARAM v) { return static_cast<int16_t>(LOWORD(v)); }
int32_t SignedHigh(LPARAM v) { return static_cast<int16_t>(HIWORD(v)); }

}  // namespace

// Reaches the private fields for the procedures.
struct sWndLiteAccess {
  static void Bind(cWndLite& w, HWND window, bool dialog) {
    w.window_ = window;
    w.isDialog_ = dialog ? 1 : 0;
  }
  static int32_t& Wheel(cWndLite& w) { return w.wheelAccumulator_; }
};

// ---- Crash log and guard --------------------------------------------------

namespace tw {

int32_t WriteCrashLog(uint32_t code, uint64_t address) {
  wchar_t temp[261];
  const DWORD length = GetEnvironmentVariableW(L"TEMP", temp, 261);
  if (length == 0 || length > 260) return EXCEPTION_EXECUTE_HANDLER;
  NormalizePath(FromWin(temp));
  char16_t path[300];
  FormatW(path, 300, u"%s/_cwlerr.log", FromWin(temp));
  HANDLE file = CreateFileW(ToWin(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return EXCEPTION_EXECUTE_HANDLER;
  SYSTEMTIME now{};
  GetSystemTime(&now);
  sDateTime utc;
  utc.year = now.wYear;
  utc.month = static_cast<uint8_t>(now.wMonth);
  utc.day = static_cast<uint8_t>(now.wDay);
  utc.hour = static_cast<uint8_t>(now.wHour);
  utc.minute = static_cast<uint8_t>(now.wMinute);
  utc.second = static_cast<uint8_t>(now.wSecond);
  char16_t line[kCrashLineCapacity];
  const int32_t units = FormatCrashLine(line, utc, code, address);
  SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(units) * 2, &written, nullptr);
  CloseHandle(file);
  return EXCEPTION_EXECUTE_HANDLER;
}

namespace {

// The exception address as the log shows it: sign-extended to 64 bits.
uint64_t LoggedAddress(uint64_t address) {
  return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(address)));
}

struct sGuardedCall {
  intptr_t (*body)(void*);
  void* context;
  intptr_t result;
  bool thrown;
  uint64_t catchAddress;
};

// Where a thrown object was caught: our compiler's exceptions record no
// throw address, so the log names the guard's own call site.
__attribute__((noinline)) uint64_t CatchSite() {
  return reinterpret_cast<uintptr_t>(__builtin_return_address(0));
}

void GuardedWork(void* p) {
  auto* call = static_cast<sGuardedCall*>(p);
  // A thrown object must be caught here: it cannot unwind through the
  // system's frames that called the procedure.
  try {
    call->result = call->body(call->context);
  } catch (...) {
    call->thrown = true;
    call->catchAddress = CatchSite();
  }
}

}  // namespace

intptr_t RunGuarded(intptr_t (*body)(void*), void* context) {
  sGuardedCall call{body, context, 0, false, 0};
  // Processor faults: the trap resumes here without unwinding the handler's
  // frames; what they held stays held, which the log line records.
  cFaultTrap trap;
  if (!trap.Run(&GuardedWork, &call)) {
    WriteCrashLog(trap.Fault().code, LoggedAddress(trap.Fault().address));
    return 0;
  }
  if (call.thrown) {
    WriteCrashLog(kThrownObjectCode, LoggedAddress(call.catchAddress));
    return 0;
  }
  return call.result;
}

void LogRecoveredFault(const sFaultRecord& fault) { WriteCrashLog(fault.code, LoggedAddress(fault.address)); }

}  // namespace tw

// ---- Class registration ---------------------------------------------------

bool RegisterLiteWindowClass(void* instance, void* icon) {
  if (g_registered) return true;
  g_instance = static_cast<HINSTANCE>(instance != nullptr ? instance : GetModuleHandleW(nullptr));
  g_icon = static_cast<HICON>(icon);
  if (!RegisterOneClass(tw::ToWin(kLiteClassName), 0, g_icon)) return false;
  // Let a less privileged process (Explorer under UAC) drop files on us.
  using tFilter = BOOL(WINAPI*)(UINT, DWORD);
  if (HMODULE user = GetModuleHandleW(L"user32.dll")) {
    auto filter = reinterpret_cast<tFilter>(
        reinterpret_cast<void*>(GetProcAddress(user, "ChangeWindowMessageFilter")));
    if (filter != nullptr) {
      filter(WM_DROPFILES, 1);
      filter(WM_COPYDATA, 1);
      filter(0x49, 1);  // has no public name
    }
  }
  g_registered = true;
  return true;
}

void PumpMessages() {
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// ---- Procedures -------------------------------------------------------------

namespace {

struct sDispatchCall {
  cWndLite* object;
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

intptr_t DispatchBody(void* p) {
  auto* c = static_cast<sDispatchCall*>(p);
  return c->object->Dispatch(c->window, c->message, c->wParam, c->lParam);
}

struct sInitDialogCall {
  cWndLite* object;
  HWND window;
  WPARAM wParam;
  sDialogStart* start;
};

intptr_t InitDialogBody(void* p) {
  auto* c = static_cast<sInitDialogCall*>(p);
  const sDialogStart& s = *c->start;
  sWndLiteAccess::Bind(*c->object, c->window, true);
  MoveToClientSize(c->window, s.x, s.y, s.clientWidth, s.clientHeight, TRUE);
  SetWindowTextW(c->window, tw::ToWin(s.title != nullptr ? s.title : u""));
  c->object->Dispatch(c->window, WM_INITDIALOG, c->wParam, reinterpret_cast<LPARAM>(c->start));
  return 0;
}

}  // namespace

intptr_t __stdcall LiteWindowProc(void* windowHandle, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam) {
  HWND window = static_cast<HWND>(windowHandle);
  if (message == WM_CREATE) {
    const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  } else if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
  }
  auto* object = reinterpret_cast<cWndLite*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (object == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  sDispatchCall call{object, window, message, wParam, lParam};
  return tw::RunGuarded(&DispatchBody, &call);
}

// The frames of modal dialogs run under the same guard as the windows: a
// thrown object escaping into the system's dialog loop would end the
// process, since our exceptions cannot unwind through its frames.
intptr_t __stdcall LiteDialogProc(void* windowHandle, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam) {
  HWND window = static_cast<HWND>(windowHandle);
  if (message == WM_INITDIALOG) {
    auto* start = reinterpret_cast<sDialogStart*>(lParam);
    if (start == nullptr || start->object == nullptr) return 0;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(start->object));
    sInitDialogCall call{start->object, window, wParam, start};
    tw::RunGuarded(&InitDialogBody, &call);
    return 0;  // the dialog manager does not set the focus
  }
  auto* object = reinterpret_cast<cWndLite*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (object == nullptr) return 0;
  sDispatchCall call{object, window, message, wParam, lParam};
  return tw::RunGuarded(&DispatchBody, &call);
}

// ---- cWndLite -----------------------------------------------------------------

cWndLite::cWndLite(const char* suffix) { suffix_.Assign(suffix != nullptr ? suffix : "Base"); }

cWndLite::~cWndLite() {
  if (ownsWindow_ != 0 && window_ != nullptr) {
    HWND window = static_cast<HWND>(window_);
    // Only a window still bound to this object is ours; unbound first, so
    // that the destruction's messages do not reach a half-destroyed object.
    if (IsWindow(window) && GetWindowLongPtrW(window, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this)) {
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      DestroyWindow(window);
    }
  }
  if (backgroundBrush_ != nullptr) DeleteObject(static_cast<HBRUSH>(backgroundBrush_));
}

intptr_t cWndLite::DefaultResult(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (isDialog_ != 0) return 0;
  return DefWindowProcW(static_cast<HWND>(window_), message, wParam, lParam);
}

intptr_t cWndLite::Dispatch(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = static_cast<HWND>(window);
  if (message == WM_CREATE) {
    window_ = window;
    isDialog_ = 0;
    OnCreate();
    return 0;
  }
  if (message == WM_INITDIALOG) {
    window_ = window;
    isDialog_ = 1;
    SetClassLongPtrW(hwnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(g_icon));
    // The system dialog class is shared by the whole process: popups get the
    // drop shadow, framed dialogs lose it again.
    const LONG_PTR classStyle = GetClassLongPtrW(hwnd, GCL_STYLE);
    const bool popup = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_POPUP) != 0;
    SetClassLongPtrW(hwnd, GCL_STYLE,
                     popup ? (classStyle | CS_DROPSHADOW) : (classStyle & ~static_cast<LONG_PTR>(CS_DROPSHADOW)));
    OnCreate();
    return 0;
  }
  return HandleMessage(message, wParam, lParam);
}

intptr_t cWndLite::OnClose() {
  HWND window = static_cast<HWND>(window_);
  if (isDialog_ != 0) {
    EndDialog(window, 0);
    return 0;
  }
  DestroyWindow(window);
  return DefWindowProcW(window, WM_CLOSE, 0, 0);
}

intptr_t cWndLite::OnNotify(intptr_t lParam, uintptr_t wParam) {
  HWND window = static_cast<HWND>(window_);
  if (HWND parent = GetParent(window)) return SendMessageW(parent, WM_NOTIFY, wParam, lParam);
  return DefWindowProcW(window, WM_NOTIFY, wParam, lParam);
}

intptr_t cWndLite::OnCommand(intptr_t lParam, uintptr_t wParam) {
  HWND window = static_cast<HWND>(window_);
  if (HWND parent = GetParent(window)) return SendMessageW(parent, WM_COMMAND, wParam, lParam);
  return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
}

bool cWndLite::Invalidate(const sEdges* rect) {
  HWND window = static_cast<HWND>(window_);
  RECT r{};
  if (rect != nullptr)
    r = RECT{rect->left, rect->top, rect->right, rect->bottom};
  else
    GetClientRect(window, &r);
  return InvalidateRect(window, &r, TRUE) != 0;
}

void cWndLite::Redraw(const sEdges* rect) {
  Invalidate(rect);
  PostMessageW(static_cast<HWND>(window_), WM_PAINT, 0, 0);
}

void cWndLite::SetBackgroundColour(int32_t colour) {
  if (backgroundBrush_ != nullptr) DeleteObject(static_cast<HBRUSH>(backgroundBrush_));
  backgroundBrush_ = nullptr;
  backgroundColour_ = colour;
  if (colour != -1) backgroundBrush_ = CreateSolidBrush(static_cast<COLORREF>(colour));
}

intptr_t cWndLite::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  HWND window = static_cast<HWND>(window_);
  switch (message) {
    case WM_SIZE: {
      const int32_t w = LOWORD(lParam), h = HIWORD(lParam);
      if (wParam == SIZE_MINIMIZED) {
        OnMinimized();
      } else if (wParam == SIZE_MAXIMIZED) {
        // A maximised window larger than its limits is put back at the
        // desktop's centre with the limited size.
        const bool limitW = maxTrackWidth_ > 0 && maxTrackWidth_ < w;
        const bool limitH = maxTrackHeight_ > 0 && maxTrackHeight_ < h;
        if (limitW || limitH) {
          RECT desk{};
          GetClientRect(GetDesktopWindow(), &desk);
          const int32_t cw = limitW ? maxTrackWidth_ : w, ch = limitH ? maxTrackHeight_ : h;
          MoveToClientSize(window, (desk.right - cw) / 2, (desk.bottom - ch) / 2, cw, ch, TRUE);
        }
        OnMaximized();
        OnSize(w, h);
      } else {
        OnSize(w, h);
      }
      return 0;
    }
    case WM_SETFOCUS:
      OnSetFocus();
      return DefaultResult(message, wParam, lParam);
    case WM_KILLFOCUS:
      OnKillFocus();
      return DefaultResult(message, wParam, lParam);
    case WM_PAINT: {
      RECT update{};
      if (GetUpdateRect(window, &update, FALSE)) {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        if (backgroundBrush_ != nullptr) FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(backgroundBrush_));
        OnPaint(dc, sEdges{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom});
        EndPaint(window, &ps);
      }
      return DefaultResult(message, wParam, lParam);
    }
    case WM_CLOSE:
      return OnClose();
    case WM_QUERYENDSESSION:
      return OnQueryEndSession();
    case WM_ERASEBKGND:
      if (OnEraseBackground(reinterpret_cast<void*>(wParam))) return 1;
      return DefaultResult(message, wParam, lParam);
    case WM_SETFONT:
      font_ = reinterpret_cast<void*>(wParam);
      return DefaultResult(message, wParam, lParam);
    case WM_GETFONT:
      return reinterpret_cast<intptr_t>(font_);
    case WM_NOTIFY:
      return OnNotify(lParam, wParam);
    case WM_COMMAND:
      return OnCommand(lParam, wParam);
    case WM_KEYDOWN:
      OnKeyDown(static_cast<uint32_t>(wParam), HIWORD(lParam));
      return DefaultResult(message, wParam, lParam);
    case WM_KEYUP:
      OnKeyUp(static_cast<uint32_t>(wParam), HIWORD(lParam));
      return DefaultResult(message, wParam, lParam);
    case WM_SYSKEYDOWN:
      OnSysKeyDown(static_cast<uint32_t>(wParam), HIWORD(lParam));
      return DefaultResult(message, wParam, lParam);
    case WM_SYSKEYUP:
      OnSysKeyUp(static_cast<uint32_t>(wParam), HIWORD(lParam));
      return DefaultResult(message, wParam, lParam);
    case WM_MOUSEMOVE:
      if (mouseTracked_ == 0) {
        mouseTracked_ = 1;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
        TrackMouseEvent(&track);
        OnMouseEnter(SignedLow(lParam), SignedHigh(lParam));
      }
      OnMouseMove(SignedLow(lParam), SignedHigh(lParam), static_cast<uint32_t>(wParam));
      return DefaultResult(message, wParam, lParam);
    case WM_LBUTTONDOWN:
      SetFocus(window);
      OnLButtonDown(SignedLow(lParam), SignedHigh(lParam), static_cast<uint32_t>(wParam));
      return DefaultResult(message, wParam, lParam);
    case WM_RBUTTONDOWN:
      SetFocus(window);
      OnRButtonDown(SignedLow(lParam), SignedHigh(lParam), static_cast<uint32_t>(wParam));
      return DefaultResult(message, wParam, lParam);
    case WM_LBUTTONUP:
      OnLButtonUp(SignedLow(lParam), SignedHigh(lParam), static_cast<uint32_t>(wParam));
      return DefaultResult(message, wParam, lParam);
    case WM_LBUTTONDBLCLK:
      OnLButtonDblClk(SignedLow(lParam), SignedHigh(lParam), static_cast<uint32_t>(wParam));
      return DefaultResult(message, wParam, lParam);
    case WM_RBUTTONUP:
      OnRButtonUp(SignedLow(lParam), SignedHigh(lParam), static_cast<uint32_t>(wParam));
      return DefaultResult(message, wParam, lParam);
    case WM_MOUSEWHEEL: {
      const tw::sWheelNotches n =
          tw::AccumulateWheel(wheelAccumulator_, static_cast<int16_t>(HIWORD(wParam)));
      if (n.count > 0)
        OnMouseWheel(SignedLow(lParam), SignedHigh(lParam), n.up, (LOWORD(wParam) & MK_CONTROL) != 0,
                     n.count);
      return DefaultResult(message, wParam, lParam);
    }
    case WM_SIZING: {
      auto* r = reinterpret_cast<RECT*>(lParam);
      sEdges e{r->left, r->top, r->right, r->bottom};
      tw::ClampSizingRect(e, static_cast<int32_t>(wParam), minTrackWidth_, minTrackHeight_,
                          maxTrackWidth_, maxTrackHeight_);
      OnSizing(e);
      *r = RECT{e.left, e.top, e.right, e.bottom};
      return 1;
    }
    case WM_DROPFILES: {
      HDROP drop = reinterpret_cast<HDROP>(wParam);
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      if (count == 0 || count > 65536) return 1;
      tPathList paths;
      _typebuf<char16_t> buffer;
      buffer.Reallocate(1024);
      for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length + 1 > static_cast<UINT>(buffer.count)) buffer.Reallocate(static_cast<int32_t>(length) + 1);
        if (DragQueryFileW(drop, i, tw::ToWin(buffer.data), static_cast<UINT>(buffer.count)) == 0)
          continue;
        NormalizePath(buffer.data);
        paths.Append()->value.Assign(buffer.data);
      }
      if (paths.head != nullptr) {
        POINT pt{};
        DragQueryPoint(drop, &pt);
        OnDropFiles(pt.x, pt.y, paths);
      }
      return 0;
    }
    case WM_MOUSELEAVE: {
      TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_CANCEL, window, 0};
      TrackMouseEvent(&track);
      mouseTracked_ = 0;
      OnMouseLeave();
      return DefaultResult(message, wParam, lParam);
    }
    case WM_NCDESTROY: {
      // The last message of the window: the handle may be reused from here
      // on, so this object must not reach it any more.
      const intptr_t result = DefaultResult(message, wParam, lParam);
      window_ = nullptr;
      mouseTracked_ = 0;
      return result;
    }
    case WM_HOTKEY:
      OnHotKey(static_cast<int32_t>(wParam), LOWORD(lParam), HIWORD(lParam));
      return DefaultResult(message, wParam, lParam);
    case WM_USER: {
      const auto code = static_cast<intptr_t>(wParam);
      if (code == -6) {
        OnUser6(lParam);
      } else if (code >= -5 && code <= -1) {
        const uint16_t high = HIWORD(lParam), low = LOWORD(lParam);
        switch (code) {
          case -1: OnUser1(high, low); break;
          case -2: OnUser2(high, low); break;
          case -3: OnUser3(high, low); break;
          case -4: OnUser4(high, low); break;
          default: OnUser5(high, low); break;
        }
      } else {
        return OnUserMessage(wParam, lParam);
      }
      return DefaultResult(message, wParam, lParam);
    }
    default:
      return DefaultResult(message, wParam, lParam);
  }
}

// ---- Windows and dialogs ----------------------------------------------------------

bool cWndLite::CreateWnd(const char16_t* title, uint32_t extendedStyle, uint32_t style, int32_t x,
                         int32_t y, int32_t clientWidth, int32_t clientHeight, cWndLite* owner) {
  mouseTracked_ = 0;
  font_ = nullptr;
  ownsWindow_ = 1;
  owner_ = owner;
  wchar_t plain[256], popup[257];
  ClassNames(suffix_.text, plain, popup);
  WNDCLASSW known{};
  if (!GetClassInfoW(Instance(), plain, &known)) {
    if (!RegisterOneClass(plain, kClassStyle, g_icon)) return false;
    if (!RegisterOneClass(popup, kPopupClassStyle, nullptr)) return false;
  }
  const wchar_t* cls = (style & WS_POPUP) != 0 ? popup : plain;
  HWND parent = owner != nullptr ? static_cast<HWND>(owner->window_) : nullptr;
  HWND window = CreateWindowExW(extendedStyle, cls, tw::ToWin(title != nullptr ? title : u""), style,
                                x, y, clientWidth, clientHeight, parent, nullptr, Instance(), this);
  if (window == nullptr) return false;
  window_ = window;
  MoveToClientSize(window, x, y, clientWidth, clientHeight, TRUE);
  return true;
}

intptr_t cWndLite::DoModalDialog(cWndLite* owner, const char16_t* title, uint32_t style, int32_t x,
                                 int32_t y, int32_t clientWidth, int32_t clientHeight) {
  if (ownsWindow_ == 0) return -1;
  if (window_ != nullptr) {
    HWND old = static_cast<HWND>(window_);
    window_ = nullptr;
    if (IsWindow(old)) {
      SetWindowLongPtrW(old, GWLP_USERDATA, 0);
      DestroyWindow(old);
    }
  }
  owner_ = owner;
  isDialog_ = 1;
  sDialogStart start{title, x, y, clientWidth, clientHeight, this};
  HGLOBAL block = GlobalAlloc(GMEM_ZEROINIT, kTemplateBytes);
  if (block == nullptr) {
    isDialog_ = 0;
    return -1;
  }
  // The zeroed block already says: no menu, the system dialog class, an
  // empty title. Position and size come from the dialog procedure.
  auto* t = static_cast<DLGTEMPLATE*>(static_cast<void*>(block));
  t->style = style | DS_CENTER;
  t->dwExtendedStyle = WS_EX_CONTROLPARENT;
  t->cdit = 0;
  t->x = 0;
  t->y = 0;
  t->cx = 1;
  t->cy = 1;
  HWND ownerWindow = owner != nullptr ? static_cast<HWND>(owner->window_) : nullptr;
  const INT_PTR result = DialogBoxIndirectParamW(Instance(), t, ownerWindow,
                                                 reinterpret_cast<DLGPROC>(&LiteDialogProc),
                                                 reinterpret_cast<LPARAM>(&start));
  GlobalFree(block);
  isDialog_ = 0;
  window_ = nullptr;  // the dialog's window is gone with the modal run
  return result;
}

intptr_t cWndLite::DoModalDialogCentred(cWndLite* owner, const char16_t* title, uint32_t style,
                                        int32_t clientWidth, int32_t clientHeight) {
  RECT desk{};
  GetClientRect(GetDesktopWindow(), &desk);
  if (clientWidth > desk.right) clientWidth = desk.right;
  if (clientHeight > desk.bottom) clientHeight = desk.bottom;
  int32_t caption = GetSystemMetrics(SM_CYCAPTION);
  if (caption < 0 || caption > 100) caption = 0;
  const int32_t x = (desk.right - clientWidth) / 2;
  const int32_t y = (desk.bottom - caption - clientHeight) / 2;
  return DoModalDialog(owner, title, style, x, y, clientWidth, clientHeight);
}
