// Win32 side of the window host: message translation for the hosted
// element tree, the requests elements make of their window, the modal
// frame and the hint holder. See gui/window_host.h.
#include <windows.h>
#include <shellapi.h>

#include <new>

#include "base/packed_key.h"
#include "base/win_text.h"
#include "gui/font.h"
#include "gui/language.h"
#include "gui/win_canvas.h"
#include "gui/window_host.h"
#include "gui/window_host_rules.h"

namespace {

constexpr char16_t kRawFormatName[] = u"CI Raw bytes";
// Registered once per process; -1 until then.
int64_t g_rawFormat = -1;

UINT RawFormat() {
  if (g_rawFormat < 0) {
    const UINT id = RegisterClipboardFormatW(tw::ToWin(kRawFormatName));
    if (id == 0) return 0;
    g_rawFormat = id;
  }
  return static_cast<UINT>(g_rawFormat);
}

HWND Hwnd(const cWndLite& w) { return static_cast<HWND>(w.GetHandle()); }

int32_t SignedLow(LPARAM v) { return static_cast<int16_t>(LOWORD(v)); }
int32_t SignedHigh(LPARAM v) { return static_cast<int16_t>(HIWORD(v)); }

int32_t ToScreen(cScaleProvider* scale, int32_t v) {
  if (scale == nullptr) return v;
  return static_cast<int32_t>(v * scale->GetScale() + 0.5);
}
int32_t ToLogical(cScaleProvider* scale, int32_t v) {
  if (scale == nullptr) return v;
  return static_cast<int32_t>(v / scale->GetScale() + 0.5);
}

bool SetClipboardBlock(HWND window, UINT format, const void* data, uint32_t bytes) {
  if (format == 0 || !OpenClipboard(window)) return false;
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (block == nullptr) {
    CloseClipboard();
    return false;
  }
  if (bytes > 0) {
    void* p = GlobalLock(block);
    if (p == nullptr) {
      GlobalFree(block);
      CloseClipboard();
      return false;
    }
    if (data != nullptr) memcpy(p, data, bytes);
    GlobalUnlock(block);
  }
  if (SetClipboardData(format, block) == nullptr) GlobalFree(block);
  CloseClipboard();
  return true;
}

// Copies a clipboard block into out (resized to the byte count; size 0 when
// that allocation fails).
void CopyBlock(UINT format, HANDLE data, _typebuf<uint8_t>& out) {
  const SIZE_T size = GlobalSize(data);
  const auto* p = static_cast<const uint8_t*>(GlobalLock(data));
  if (p == nullptr) {
    out.Free();
    return;
  }
  const uint32_t bytes = tw::ClipboardBlockBytes(format, p, static_cast<uint32_t>(size));
  out.Free();
  if (bytes > 0) {
    try {
      out.Reallocate(static_cast<int32_t>(bytes));
      memcpy(out.data, p, bytes);
    } catch (const std::bad_alloc&) {
      out.Free();
    }
  }
  GlobalUnlock(data);
}

}  // namespace

// ---- cWndTranslator ---------------------------------------------------------

cWndTranslator::cWndTranslator() : cWndLite("cWndTranslator") {}

cWndTranslator::~cWndTranslator() {
  cChildElement* element = element_;
  element_ = nullptr;
  delete element;  // a top element asks its host to Destroy the window
}

cChildElement* cWndTranslator::DetachElement() {
  cChildElement* element = element_;
  element_ = nullptr;
  return element;
}

void* cWndTranslator::Frame() const {
  return ownerDialog_ != nullptr && ownerDialog_->GetHandle() != nullptr ? ownerDialog_->GetHandle()
                                                                         : GetHandle();
}

bool cWndTranslator::Create(cWndTranslatorDlg* ownerDialog, const char16_t* title, int32_t width,
                            int32_t height, cChildElement* element, bool resizable, int32_t x,
                            int32_t y) {
  if (element == nullptr) return false;
  ownerDialog_ = ownerDialog;
  if (ownerDialog != nullptr) {
    if (x == -1) x = 0;
    if (y == -1) y = 0;
  } else {
    RECT desk{};
    GetClientRect(GetDesktopWindow(), &desk);
    if (x == -1) x = (desk.right - width) / 2;
    if (y == -1) y = (desk.bottom - height) / 2;
  }
  if (element != element_) {
    cChildElement* old = element_;
    element_ = nullptr;
    delete old;
    element_ = element;
  }
  element->SetHostAndRect(this, x, y, width, height);
  uint32_t style = WS_VISIBLE | WS_SYSMENU;
  if (ownerDialog != nullptr) style |= WS_CHILD;
  if (resizable) style |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  return CreateWnd(title, 0, style, x, y, width, height, ownerDialog);
}

intptr_t cWndTranslator::Dispatch(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == WM_CREATE) {
    const intptr_t result = cWndLite::Dispatch(window, message, wParam, lParam);
    if (element_ != nullptr) element_->AttachHost();
    return result;
  }
  return cWndLite::Dispatch(window, message, wParam, lParam);
}

bool cWndTranslator::OnEraseBackground(void*) { return true; }

intptr_t cWndTranslator::CloseRequested() {
  if (element_ != nullptr && !element_->QueryClose()) return 1;
  HWND window = Hwnd(*this);
  DestroyWindow(window);
  DefWindowProcW(window, WM_CLOSE, 0, 0);
  return 0;
}

void cWndTranslator::PaintElement() {
  HWND window = Hwnd(*this);
  cWinCanvas canvas;
  canvas.SetScaleProvider(scale_);
  if (canvas.BeginWindowPaint(nullptr, window)) {
    canvas.ApplyClip();
    cCanvas* target = &canvas;
    cCanvas* offscreen = nullptr;
    if (element_->IsDoubleBuffered()) {
      offscreen = canvas.CreateOffscreen(canvas.GetWidth(), canvas.GetHeight(), -1, -1);
      if (offscreen != nullptr) target = offscreen;
    }
    element_->PaintTree(target);
    if (offscreen != nullptr) {
      canvas.CopyFromCanvas(0, 0, offscreen, 0, 0, -1, -1);  // whole surface
      delete offscreen;
    }
  }
  ValidateRect(window, nullptr);
  canvas.Release();
}

void cWndTranslator::KeyDown(uint32_t message, uint32_t virtualKey) {
  if (message == WM_SYSKEYDOWN) altState_ = tw::AltStateAfterSysKeyDown(altState_, virtualKey);
  BYTE state[256] = {};
  GetKeyboardState(state);
  const bool shift = (state[VK_SHIFT] & 0x80) != 0;
  const bool control = (state[VK_CONTROL] & 0x80) != 0;
  const bool alt = (state[VK_MENU] & 0x80) != 0;
  switch (tw::RouteKeyDown(virtualKey, control, alt)) {
    case tw::eKeyRoute::kSwallow:
    case tw::eKeyRoute::kDefault:
      return;
    case tw::eKeyRoute::kKey:
      element_->Key(static_cast<int32_t>(virtualKey), shift, control, alt);
      return;
    case tw::eKeyRoute::kTranslate:
      break;
  }
  wchar_t buffer[32] = {};
  const int produced = ToUnicode(virtualKey, MapVirtualKeyW(virtualKey, 0), state, buffer, 32, 0);
  tw::sKeyCall calls[2];
  const int32_t n = tw::TranslatedKeyCalls(virtualKey, produced, static_cast<char16_t>(buffer[0]),
                                           shift, alt, calls);
  for (int32_t i = 0; i < n; ++i) {
    if (calls[i].isChar)
      element_->Char(static_cast<char16_t>(calls[i].code), calls[i].shift, calls[i].control, calls[i].alt);
    else
      element_->Key(static_cast<int32_t>(calls[i].code), calls[i].shift, calls[i].control, calls[i].alt);
  }
}

intptr_t cWndTranslator::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (element_ == nullptr) return cWndLite::HandleMessage(message, wParam, lParam);
  const bool control = (wParam & MK_CONTROL) != 0;
  const bool shift = (wParam & MK_SHIFT) != 0;
  switch (message) {
    case WM_PAINT:
      PaintElement();
      return 0;
    case WM_SIZE:
      element_->Resize(LOWORD(lParam), HIWORD(lParam), false);
      return cWndLite::HandleMessage(message, wParam, lParam);
    case WM_CLOSE:
      return CloseRequested();
    case WM_QUERYENDSESSION:
      return element_->QueryEnd() ? 0 : 1;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (message == WM_SYSKEYDOWN && wParam == VK_F4 && (GetKeyState(VK_MENU) & 0x8000) != 0)
        return cWndLite::HandleMessage(message, wParam, lParam);  // the frame closes
      KeyDown(message, static_cast<uint32_t>(wParam));
      return 0;
    case WM_SYSKEYUP:
      if (altState_ == 1) {
        altState_ = 0;
        element_->OnAltKey();
        return 0;
      }
      altState_ = 0;
      return cWndLite::HandleMessage(message, wParam, lParam);
    case WM_MENUCHAR:
      return MNC_CLOSE << 16;
    case WM_LBUTTONDBLCLK:
      // A second press while the button is down: the element's own
      // double-click rule decides.
      if ((GetAsyncKeyState(VK_LBUTTON) & 0x8000) == 0) return 0;
      [[fallthrough]];
    case WM_LBUTTONDOWN: {
      const int32_t x = ToLogical(scale_, SignedLow(lParam)), y = ToLogical(scale_, SignedHigh(lParam));
      ::SetFocus(Hwnd(*this));
      element_->MouseButton(x, y, 1, true, control, shift);
      element_->FocusAt(x, y, 1, control, shift);
      return 0;
    }
    case WM_LBUTTONUP:
      element_->MouseButton(ToLogical(scale_, SignedLow(lParam)), ToLogical(scale_, SignedHigh(lParam)),
                            1, false, control, shift);
      return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      if (message == WM_RBUTTONDOWN) ::SetFocus(Hwnd(*this));
      element_->MouseButton(ToLogical(scale_, SignedLow(lParam)), ToLogical(scale_, SignedHigh(lParam)),
                            2, message == WM_RBUTTONDOWN, control, shift);
      return 0;
    case WM_MOUSEMOVE: {
      // The enter bookkeeping of the window layer first (leave tracking).
      cWndLite::HandleMessage(message, wParam, lParam);
      element_->MouseMove(ToLogical(scale_, SignedLow(lParam)), ToLogical(scale_, SignedHigh(lParam)));
      return 0;
    }
    case WM_MOUSELEAVE:
      cWndLite::HandleMessage(message, wParam, lParam);
      element_->SetHover(nullptr);
      return 0;
    case WM_SETFOCUS:
      element_->RestoreFocus();
      return 0;
    case WM_KILLFOCUS:
      element_->SaveFocus();
      return 0;
    case WM_IME_CHAR:
      element_->Char(static_cast<char16_t>(wParam), false, false, false);
      return 0;
    case WM_USER:
      if (wParam == tw::kWakePosted) {
        element_->RunPosted(reinterpret_cast<cChildElement*>(lParam));
        return 0;
      }
      if (wParam == tw::kWakeSent) {
        element_->RunSent(reinterpret_cast<cChildElement*>(lParam));
        return 0;
      }
      return cWndLite::HandleMessage(message, wParam, lParam);
    default:
      // The wheel and dropped files arrive through the window layer's
      // handlers below (notches, normalised paths).
      return cWndLite::HandleMessage(message, wParam, lParam);
  }
}

int32_t cWndTranslator::OnMouseWheel(int32_t x, int32_t y, bool up, bool control, int32_t count) {
  if (element_ == nullptr) return 0;
  POINT p{x, y};
  ScreenToClient(Hwnd(*this), &p);
  return element_->Wheel(ToLogical(scale_, p.x), ToLogical(scale_, p.y), up, control, count) ? 1 : 0;
}

void cWndTranslator::OnDropFiles(int32_t x, int32_t y, tPathList& paths) {
  if (element_ != nullptr) element_->DropFiles(ToLogical(scale_, x), ToLogical(scale_, y), paths);
}

// ---- Requests of the element tree ------------------------------------------------

void cWndTranslator::Destroy() {
  HWND window = Hwnd(*this);
  ForgetWindow();
  // A handle that is no longer bound to this host belongs to a window that
  // is gone (or to another window that reused the handle): left alone.
  if (window == nullptr || !IsWindow(window) ||
      GetWindowLongPtrW(window, GWLP_USERDATA) != reinterpret_cast<LONG_PTR>(static_cast<cWndLite*>(this)))
    return;
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}

void cWndTranslator::EndModal(int32_t code) {
  HWND window = Hwnd(*this);
  HWND parent = GetParent(window);
  EndDialog(parent != nullptr ? parent : window, code);
}

bool cWndTranslator::Minimize() {
  ShowWindow(static_cast<HWND>(Frame()), SW_MINIMIZE);
  return true;
}

bool cWndTranslator::Maximize() {
  ShowWindow(static_cast<HWND>(Frame()), SW_SHOWMAXIMIZED);
  return true;
}

bool cWndTranslator::Move(int32_t x, int32_t y, int32_t width, int32_t height) {
  return MoveWindow(static_cast<HWND>(Frame()), ToScreen(scale_, x), ToScreen(scale_, y),
                    ToScreen(scale_, width), ToScreen(scale_, height), TRUE) != 0;
}

bool cWndTranslator::Invalidate(const sEdges* edges) {
  HWND window = Hwnd(*this);
  RECT r{};
  if (edges != nullptr)
    r = RECT{ToScreen(scale_, edges->left), ToScreen(scale_, edges->top), ToScreen(scale_, edges->right),
             ToScreen(scale_, edges->bottom)};
  else
    GetClientRect(window, &r);
  return InvalidateRect(window, &r, TRUE) != 0;
}

bool cWndTranslator::WakePosted(cChildElement* element) {
  return PostMessageW(Hwnd(*this), WM_USER, tw::kWakePosted, reinterpret_cast<LPARAM>(element)) != 0;
}

bool cWndTranslator::WakeSent(cChildElement* element) {
  return PostMessageW(Hwnd(*this), WM_USER, tw::kWakeSent, reinterpret_cast<LPARAM>(element)) != 0;
}

bool cWndTranslator::Capture(bool on) {
  if (on)
    SetCapture(Hwnd(*this));
  else
    ReleaseCapture();
  return true;
}

bool cWndTranslator::SetCursor(int32_t kind) {
  HWND window = Hwnd(*this);
  if (kind == cursorKind_ && cursor_ != nullptr) {
    if (GetCursor() != static_cast<HCURSOR>(cursor_)) ::SetCursor(static_cast<HCURSOR>(cursor_));
    SetClassLongPtrW(window, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor_));
    return true;
  }
  LPCWSTR id = IDC_ARROW;
  switch (kind) {
    case 1: id = IDC_IBEAM; break;
    case 2: id = IDC_WAIT; break;
    case 3: id = IDC_HAND; break;
    case 4: case 6: id = IDC_SIZEWE; break;
    case 5: case 7: id = IDC_SIZENS; break;
    case 8: id = IDC_SIZENESW; break;
    case 9: id = IDC_SIZENWSE; break;
    default: break;
  }
  HCURSOR cursor = LoadCursorW(nullptr, id);
  if (cursor == nullptr) return false;
  ::SetCursor(cursor);
  cursor_ = cursor;
  cursorKind_ = kind;
  SetClassLongPtrW(window, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
  return true;
}

bool cWndTranslator::SetClipboardText(const void* data, int32_t bytes) {
  if (bytes < 0) return false;
  return SetClipboardBlock(Hwnd(*this), CF_UNICODETEXT, data, static_cast<uint32_t>(bytes));
}

bool cWndTranslator::SetClipboardRaw(const void* data, int32_t bytes) {
  if (bytes < 0) return false;
  return SetClipboardBlock(Hwnd(*this), RawFormat(), data, static_cast<uint32_t>(bytes));
}

bool cWndTranslator::GetClipboardText(_typebuf<uint8_t>* out) {
  if (out == nullptr) return false;
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(Hwnd(*this))) return false;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (data != nullptr)
    CopyBlock(CF_UNICODETEXT, data, *out);
  else
    out->Free();
  CloseClipboard();
  return true;
}

bool cWndTranslator::GetClipboardRaw(_typebuf<uint8_t>* out) {
  if (out == nullptr) return false;
  if (!OpenClipboard(Hwnd(*this))) return false;
  const UINT raw = RawFormat();
  bool found = false;
  for (UINT format = EnumClipboardFormats(0); format != 0 && !found;
       format = EnumClipboardFormats(format)) {
    if (!tw::IsRawCandidate(format, raw, false)) continue;
    HANDLE data = GetClipboardData(format);
    if (data == nullptr) continue;
    CopyBlock(format, data, *out);
    found = true;
  }
  CloseClipboard();
  return found;
}

bool cWndTranslator::HasClipboardData(bool textOnly) {
  if (textOnly) return IsClipboardFormatAvailable(CF_UNICODETEXT) != 0;
  if (!OpenClipboard(Hwnd(*this))) return false;
  const UINT raw = RawFormat();
  bool result = false;
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
    if (!tw::IsRawCandidate(format, raw, true)) continue;
    HANDLE data = GetClipboardData(format);
    if (data == nullptr) continue;
    result = GlobalSize(data) > 0;
    break;
  }
  CloseClipboard();
  return result;
}

bool cWndTranslator::SetMinTrackSize(int32_t width, int32_t height) {
  HWND frame = static_cast<HWND>(Frame());
  RECT w{}, c{};
  ::GetWindowRect(frame, &w);
  GetClientRect(frame, &c);
  cWndLite* frameObject = ownerDialog_ != nullptr ? static_cast<cWndLite*>(ownerDialog_) : this;
  frameObject->SetMinTrack(ToScreen(scale_, width) + (w.right - w.left) - c.right,
                           ToScreen(scale_, height) + (w.bottom - w.top) - c.bottom);
  return true;
}

bool cWndTranslator::SetMaxTrackSize(int32_t width, int32_t height) {
  HWND frame = static_cast<HWND>(Frame());
  RECT w{}, c{};
  ::GetWindowRect(frame, &w);
  GetClientRect(frame, &c);
  cWndLite* frameObject = ownerDialog_ != nullptr ? static_cast<cWndLite*>(ownerDialog_) : this;
  frameObject->SetMaxTrack(ToScreen(scale_, width) + (w.right - w.left) - c.right,
                           ToScreen(scale_, height) + (w.bottom - w.top) - c.bottom);
  return true;
}

bool cWndTranslator::GetWindowRect(int32_t* x, int32_t* y, int32_t* width, int32_t* height) {
  HWND window = Hwnd(*this);
  WINDOWINFO info{};
  info.cbSize = sizeof info;
  if (!GetWindowInfo(window, &info)) return false;
  int32_t left = info.rcWindow.left, top = info.rcWindow.top;
  int32_t w = info.rcWindow.right - info.rcWindow.left, h = info.rcWindow.bottom - info.rcWindow.top;
  if (GetParent(window) == nullptr) {
    TITLEBARINFO title{};
    title.cbSize = sizeof title;
    if (GetTitleBarInfo(window, &title) && (title.rgstate[0] & STATE_SYSTEM_INVISIBLE) == 0) {
      const int32_t bar = title.rcTitleBar.bottom - title.rcTitleBar.top;
      const int32_t bx = static_cast<int32_t>(info.cxWindowBorders);
      const int32_t by = static_cast<int32_t>(info.cyWindowBorders);
      top += bar + by;
      h -= bar + 2 * by;
      left += bx;
      w -= 2 * bx;
    }
  }
  if (x) *x = ToLogical(scale_, left);
  if (y) *y = ToLogical(scale_, top);
  if (width) *width = ToLogical(scale_, w);
  if (height) *height = ToLogical(scale_, h);
  return true;
}

bool cWndTranslator::GetMaxTrackSize(int32_t* width, int32_t* height) {
  int32_t w = GetSystemMetrics(SM_CXMAXTRACK), h = GetSystemMetrics(SM_CYMAXTRACK);
  if (w == 0 || h == 0) {
    RECT desk{};
    if (!::GetWindowRect(GetDesktopWindow(), &desk)) return false;
    w = desk.right - desk.left;
    h = desk.bottom - desk.top;
  }
  if (width) *width = ToLogical(scale_, w);
  if (height) *height = ToLogical(scale_, h);
  return true;
}

bool cWndTranslator::GetMaxClientSize(int32_t* width, int32_t* height) {
  const int32_t w = GetSystemMetrics(SM_CXMAXTRACK) - 2 * GetSystemMetrics(SM_CXFRAME);
  const int32_t h = GetSystemMetrics(SM_CYMAXTRACK) - 2 * GetSystemMetrics(SM_CYFRAME);
  if (w < 1 || h < 1) return GetMaxTrackSize(width, height);
  if (width) *width = ToLogical(scale_, w);
  if (height) *height = ToLogical(scale_, h);
  return true;
}

int32_t cWndTranslator::GetDpi() {
  HDC screen = GetDC(nullptr);
  const int32_t dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

bool cWndTranslator::KeepAwake() {
  if (SetThreadExecutionState(static_cast<EXECUTION_STATE>(0x80000041)) != 0) return true;
  return SetThreadExecutionState(static_cast<EXECUTION_STATE>(0x80000001)) != 0;
}

bool cWndTranslator::AllowSleep() { return SetThreadExecutionState(ES_CONTINUOUS) != 0; }

bool cWndTranslator::AcceptFiles() {
  DragAcceptFiles(Hwnd(*this), TRUE);
  return true;
}

void cWndTranslator::SetTitle(const char16_t* text) {
  HWND window = Hwnd(*this);
  HWND parent = GetParent(window);
  SetWindowTextW(parent != nullptr ? parent : window, tw::ToWin(text != nullptr ? text : u""));
}

cWinFont* cWndTranslator::GetFont(int32_t width, int32_t height, const char16_t* face, bool bold,
                                  bool underline, bool italic) {
  return GetCachedFont(width, height, face, bold, underline, italic);
}

const tLangSection* cWndTranslator::GetLanguageSection(const char16_t* key) {
  if (sections_ == nullptr || key == nullptr) return nullptr;
  return sections_->Find(key);
}

bool cWndTranslator::MeasureText(cWinFont* font, const char16_t* text, sSize* out) {
  sSize size;
  if (out != nullptr) *out = size;
  HWND window = Hwnd(*this);
  if (font == nullptr) return false;
  HDC dc = GetDC(window);
  if (dc == nullptr) return false;
  const bool ok = MeasureTextWithFont(text, dc, font, &size);
  ReleaseDC(window, dc);
  if (out != nullptr) *out = sSize{ToLogical(scale_, size.width), ToLogical(scale_, size.height)};
  return ok;
}

cWindowHolder* cWndTranslator::ShowHint(int32_t x, int32_t y, int32_t width, int32_t height,
                                        cChildElement* element, bool activate) {
  if (element == nullptr) return nullptr;
  auto* holder = new (std::nothrow) cWWHolder();
  if (holder == nullptr) return nullptr;
  cWndTranslator& host = holder->Host();
  host.SetSectionMap(sections_);
  host.SetScaleProvider(scale_);
  host.element_ = element;
  element->SetHostAndRect(&host, x, y, width, height);
  HWND mine = Hwnd(*this);
  const bool hadFocus = mine != nullptr && GetFocus() == mine;
  if (!host.CreateWnd(nullptr, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, WS_POPUP, ToScreen(scale_, x),
                      ToScreen(scale_, y), ToScreen(scale_, width), ToScreen(scale_, height), nullptr)) {
    // The element stays with the caller, which deletes it on failure: the
    // holder must not delete it as well.
    host.DetachElement();
    element->SetHostAndRect(nullptr, x, y, width, height);
    delete holder;
    return nullptr;
  }
  ShowWindow(Hwnd(host), activate ? SW_SHOWNORMAL : SW_SHOWNA);
  if (hadFocus && !activate) ::SetFocus(mine);
  return holder;
}

int32_t cWndTranslator::RunModalChild(const char16_t* title, int32_t width, int32_t height,
                                       cChildElement* form, bool resizable) {
  cWndTranslatorDlg dialog;
  dialog.Host().SetSectionMap(sections_);
  dialog.Host().SetScaleProvider(scale_);
  sRect owner;
  HWND root = GetAncestor(Hwnd(*this), GA_ROOT);
  if ((root != nullptr && IsIconic(root)) ||
      !GetWindowRect(&owner.x, &owner.y, &owner.width, &owner.height)) {
    owner = sRect{};
    GetMaxTrackSize(&owner.width, &owner.height);
  }
  const sPoint at = tw::CentreOverOwner(owner, width, height, GetSystemMetrics(SM_CYCAPTION));
  return dialog.RunModal(this, title, width, height, form, resizable, at.x, at.y);
}

int32_t cWndTranslator::RunPopup(int32_t x, int32_t y, int32_t width, int32_t height,
                                  cChildElement* element) {
  if (element == nullptr) return -1;
  cWndTranslatorDlg dialog;
  dialog.Host().SetSectionMap(sections_);
  dialog.Host().SetScaleProvider(scale_);
  return dialog.RunPopupAt(this, x, y, width, height, element);
}

bool cWndTranslator::SetFocus() { return ::SetFocus(Hwnd(*this)) != nullptr; }

// ---- cWndTranslatorDlg --------------------------------------------------------------

cWndTranslatorDlg::cWndTranslatorDlg() : cWndLite("Base") { host_.SetOwnerDialog(this); }

cWndTranslatorDlg::~cWndTranslatorDlg() {
  cChildElement* form = form_;
  form_ = nullptr;
  delete form;
}

int32_t cWndTranslatorDlg::RunModal(cWndLite* owner, const char16_t* title, int32_t width,
                                     int32_t height, cChildElement* form, bool resizable, int32_t x,
                                     int32_t y) {
  if (form == nullptr) return -1;
  delete form_;
  form_ = form;
  host_.SetOwnerDialog(this);
  uint32_t style = WS_VISIBLE | WS_CLIPCHILDREN | WS_SYSMENU;
  if (resizable) style |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  if (x == -1 && y == -1) return static_cast<int32_t>(DoModalDialogCentred(owner, title, style, width, height));
  return static_cast<int32_t>(DoModalDialog(owner, title, style, x, y, width, height));
}

int32_t cWndTranslatorDlg::RunPopupAt(cWndLite* owner, int32_t x, int32_t y, int32_t width,
                                       int32_t height, cChildElement* element) {
  if (element == nullptr) return -1;
  delete form_;
  form_ = element;
  // A popup's host has no owner dialog: frame requests act on the host itself.
  host_.SetOwnerDialog(nullptr);
  return static_cast<int32_t>(DoModalDialog(owner, nullptr, WS_POPUP, x, y, width, height));
}

void cWndTranslatorDlg::OnCreate() {
  if (form_ == nullptr) return;
  RECT client{};
  GetClientRect(Hwnd(*this), &client);
  cChildElement* form = form_;
  form_ = nullptr;  // the host owns it from here, also when creation fails
  // A popup's host window is the dialog's child too, but frame requests act
  // on the host itself (no owner dialog).
  const bool popup = (GetWindowLongPtrW(Hwnd(*this), GWL_STYLE) & WS_POPUP) != 0;
  host_.Create(this, u"", client.right - client.left, client.bottom - client.top, form, false,
               client.left, client.top);
  if (popup) host_.SetOwnerDialog(nullptr);
}

void cWndTranslatorDlg::OnSize(int32_t clientWidth, int32_t clientHeight) {
  if (host_.GetHandle() != nullptr)
    MoveWindow(Hwnd(host_), 0, 0, clientWidth, clientHeight, FALSE);
}

intptr_t cWndTranslatorDlg::OnClose() {
  if (host_.GetHandle() != nullptr && host_.CloseRequested() != 0) return 1;
  EndDialog(Hwnd(*this), 0);
  return 1;
}

intptr_t cWndTranslatorDlg::OnQueryEndSession() {
  if (host_.GetElement() == nullptr) return 0;
  return host_.GetElement()->QueryEnd() ? 0 : 1;
}

// ---- cWWHolder ------------------------------------------------------------------------

cWWHolder::~cWWHolder() { DestroyWindow(); }

void cWWHolder::DestroyWindow() {
  // Unbinds first, so that the destruction's messages do not reach the element.
  host_.Destroy();
}

void cWWHolder::Release(bool detach) {
  DestroyWindow();
  if (detach) host_.DetachElement();
  delete this;
}

