// The window layer: the toolkit's only contact with Win32 windows.
//
// cWndLite wraps one window handle. It registers the toolkit's window
// classes, creates a window or runs a modal dialog built from an in-memory
// template, binds itself to the window through the window's user data and
// turns messages into calls of its virtual handlers. One window procedure
// (LiteWindowProc) serves every toolkit window class and one dialog
// procedure (LiteDialogProc) every modal frame; both run each message under
// a guard: a processor fault or a thrown object inside a handler appends one
// line to "_cwlerr.log" in TEMP and the message answers 0.
//
// Module-wide rules:
//  a. Everything here runs on the UI thread (the thread that registered the
//     classes); other threads only post messages to windows.
//  b. Handles cross this header as opaque values (void* for window, device
//     context, icon and drop handles; uintptr_t/intptr_t for message
//     parameters and results), so that only the _win32.cpp side sees
//     windows.h. The class is implemented only in the win32 build; the pure
//     helpers below build on both targets.
//  c. Sizes given to CreateWnd and the dialog runs are client sizes; the
//     tracking limits are window sizes, frame included; -1 (any value below
//     1) means no limit.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "base/lists.h"
#include "gui/geometry.h"

struct sDateTime;

// The paths of a file drop: owned UTF-16 strings, '/'-separated. Handlers
// may take strings out of the list (leaving them empty).
using tPathList = cSimpleList<_guardchar<char16_t>>;

namespace tw {

struct sFaultRecord;

// One wheel delivery: count notches in one direction; count 0 means that
// nothing is delivered yet.
struct sWheelNotches {
  int32_t count = 0;
  bool up = false;
};

// Adds a wheel message's delta to accumulator and takes off the whole
// notches (120 units each) it now holds, in the direction of its sign. The
// part below one notch stays for the next message.
sWheelNotches AccumulateWheel(int32_t& accumulator, int32_t delta);

// The system's WMSZ_* codes of the edge being dragged.
inline constexpr int32_t kSizeLeft = 1, kSizeRight = 2, kSizeTop = 3, kSizeTopLeft = 4,
                         kSizeTopRight = 5, kSizeBottom = 6, kSizeBottomLeft = 7,
                         kSizeBottomRight = 8;

// Clamps a window rectangle being dragged to the limits above 0. A width
// out of range is mended by moving the left edge when edge drags a left
// side, else the right edge; a height by moving the bottom edge when edge
// drags a bottom side, else the top edge. A minimum above the maximum: the
// maximum is applied last and wins.
void ClampSizingRect(sEdges& rect, int32_t edge, int32_t minWidth, int32_t minHeight,
                     int32_t maxWidth, int32_t maxHeight);

// Capacity in UTF-16 units of one crash-log line.
inline constexpr int32_t kCrashLineCapacity = 260;

// Exception code logged for a thrown C++ object (the code under which
// Windows programs raise their C++ exceptions, "msc" | 0xE0000000), since
// our compiler's exceptions carry no system code.
inline constexpr uint32_t kThrownObjectCode = 0xE06D7363;

// Formats "YYYYMMDD_hhmmss: 0x<code, 8 digits> @ 0x<address>\r\n" into out
// (kCrashLineCapacity units); returns the units written before the
// terminator.
int32_t FormatCrashLine(char16_t* out, const sDateTime& utc, uint32_t code, uint64_t address);

// Appends the crash line for code and address (with the current UTC time)
// in UTF-16LE, without byte-order mark, to "<TEMP>/_cwlerr.log". Nothing is
// written when TEMP is missing or longer than 260 characters or the file
// cannot be opened. Returns 1, the answer of an exception filter that
// handles the fault. Win32 build only.
int32_t WriteCrashLog(uint32_t code, uint64_t address);

// Runs body under the message guard: a processor fault or a thrown object
// inside it is logged with WriteCrashLog and the result is 0; otherwise the
// result is body's. Nests: a fault is handled by the innermost guard of the
// thread. Win32 build only (natively body runs unguarded).
intptr_t RunGuarded(intptr_t (*body)(void* context), void* context);

// Logs, as RunGuarded logs its own, a fault that a trap inside a message
// handler recovered from (the handler's frames abandoned) so that it could
// release what the guard's recovery would leave waiting. Natively faults are
// never recovered and this does nothing.
void LogRecoveredFault(const sFaultRecord& fault);

}  // namespace tw

class cWindowMaker;

// One toolkit window or modal dialog frame. See the module rules above.
class cWndLite {
public:
  // suffix names the window class ("cGUIWndClass::<suffix>"); null is
  // "Base".
  explicit cWndLite(const char* suffix = "Base");
  cWndLite(const cWndLite&) = delete;
  cWndLite& operator=(const cWndLite&) = delete;
  // Destroys the window when this object owns it.
  virtual ~cWndLite();

  // ---- Message handling (virtual, in the order the procedures use them) ---
  // Every message after the binding one; the default table.
  virtual intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // WM_CREATE and WM_INITDIALOG bind (window handle, is-dialog, OnCreate);
  // everything else goes to HandleMessage.
  virtual intptr_t Dispatch(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
  virtual void OnCreate() {}
  virtual void OnPaint(void* dc, const sEdges& paintRect) {
    (void)dc;
    (void)paintRect;
  }
  virtual bool OnEraseBackground(void* dc) {
    (void)dc;
    return true;
  }
  // Dialog: EndDialog(0), 0. Window: DestroyWindow, then DefWindowProcW.
  virtual intptr_t OnClose();
  virtual intptr_t OnQueryEndSession() { return 0; }
  // Both send the message on to the parent window, else DefWindowProcW.
  virtual intptr_t OnNotify(intptr_t lParam, uintptr_t wParam);
  virtual intptr_t OnCommand(intptr_t lParam, uintptr_t wParam);
  virtual void OnSizing(sEdges& rect) { (void)rect; }
  virtual void OnSize(int32_t clientWidth, int32_t clientHeight) {
    (void)clientWidth;
    (void)clientHeight;
  }
  virtual void OnMaximized() {}
  virtual void OnMinimized() {}
  virtual int32_t OnUserMessage(uintptr_t wParam, intptr_t lParam) {
    (void)wParam;
    (void)lParam;
    return 0;
  }
  virtual void OnUser1(uint16_t high, uint16_t low) { (void)high, (void)low; }
  virtual void OnUser2(uint16_t high, uint16_t low) { (void)high, (void)low; }
  virtual void OnUser3(uint16_t high, uint16_t low) { (void)high, (void)low; }
  virtual void OnUser4(uint16_t high, uint16_t low) { (void)high, (void)low; }
  virtual void OnUser5(uint16_t high, uint16_t low) { (void)high, (void)low; }
  virtual void OnUser6(intptr_t lParam) { (void)lParam; }
  virtual void OnLButtonDblClk(int32_t x, int32_t y, uint32_t keys) { (void)x, (void)y, (void)keys; }
  virtual void OnLButtonDown(int32_t x, int32_t y, uint32_t keys) { (void)x, (void)y, (void)keys; }
  virtual void OnLButtonUp(int32_t x, int32_t y, uint32_t keys) { (void)x, (void)y, (void)keys; }
  virtual void OnRButtonDown(int32_t x, int32_t y, uint32_t keys) { (void)x, (void)y, (void)keys; }
  virtual void OnRButtonUp(int32_t x, int32_t y, uint32_t keys) { (void)x, (void)y, (void)keys; }
  virtual void OnMouseMove(int32_t x, int32_t y, uint32_t keys) { (void)x, (void)y, (void)keys; }
  virtual void OnMouseEnter(int32_t x, int32_t y) { (void)x, (void)y; }
  virtual void OnMouseLeave() {}
  // x and y are screen coordinates; called once per delivery of whole
  // notches (see tw::AccumulateWheel).
  virtual int32_t OnMouseWheel(int32_t x, int32_t y, bool up, bool control, int32_t count) {
    (void)x, (void)y, (void)up, (void)control, (void)count;
    return 0;
  }
  virtual void OnSetFocus() {}
  virtual void OnKillFocus() {}
  virtual void OnKeyDown(uint32_t key, uint16_t flags) { (void)key, (void)flags; }
  virtual void OnKeyUp(uint32_t key, uint16_t flags) { (void)key, (void)flags; }
  virtual void OnSysKeyDown(uint32_t key, uint16_t flags) { (void)key, (void)flags; }
  virtual void OnSysKeyUp(uint32_t key, uint16_t flags) { (void)key, (void)flags; }
  virtual void OnHotKey(int32_t id, uint16_t low, uint16_t high) { (void)id, (void)low, (void)high; }
  // Client coordinates of the drop point; the list is freed afterwards.
  virtual void OnDropFiles(int32_t x, int32_t y, tPathList& paths) { (void)x, (void)y, (void)paths; }
  // Invalidate, then post WM_PAINT.
  virtual void Redraw(const sEdges* rect);
  // InvalidateRect of rect or of the client area, erasing.
  virtual bool Invalidate(const sEdges* rect);
  // GDI colour 0x00BBGGRR painted under WM_PAINT, -1 for none.
  virtual void SetBackgroundColour(int32_t colour);

  // ---- Windows and dialogs ----------------------------------------------
  // A window whose client area is clientWidth x clientHeight at (x, y);
  // registers the suffix's classes on first use. False when a class cannot
  // be registered or the window cannot be created.
  bool CreateWnd(const char16_t* title, uint32_t extendedStyle, uint32_t style, int32_t x,
                 int32_t y, int32_t clientWidth, int32_t clientHeight, cWndLite* owner);
  // Runs a modal dialog from an in-memory template; the end code, or -1
  // when none could run.
  intptr_t DoModalDialog(cWndLite* owner, const char16_t* title, uint32_t style, int32_t x,
                         int32_t y, int32_t clientWidth, int32_t clientHeight);
  // The same, centred on the desktop (the size cut to the desktop first).
  intptr_t DoModalDialogCentred(cWndLite* owner, const char16_t* title, uint32_t style,
                                int32_t clientWidth, int32_t clientHeight);

  void* GetHandle() const { return window_; }
  bool IsDialog() const { return isDialog_ != 0; }
  cWndLite* GetOwner() const { return owner_; }
  void SetOwnsWindow(bool owns) { ownsWindow_ = owns ? 1 : 0; }
  void SetMinTrack(int32_t width, int32_t height) {
    minTrackWidth_ = width;
    minTrackHeight_ = height;
  }
  void SetMaxTrack(int32_t width, int32_t height) {
    maxTrackWidth_ = width;
    maxTrackHeight_ = height;
  }

protected:
  // 0 for a dialog, DefWindowProcW for a window: the answer to a message a
  // handler left to the system.
  intptr_t DefaultResult(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // Forgets the window handle (after the host cleared the binding).
  void ForgetWindow() { window_ = nullptr; }

private:
  friend struct sWndLiteAccess;

  void* window_ = nullptr;
  uint8_t isDialog_ = 0;
  int32_t minTrackWidth_ = -1;
  int32_t minTrackHeight_ = -1;
  int32_t maxTrackWidth_ = -1;
  int32_t maxTrackHeight_ = -1;
  uint8_t ownsWindow_ = 1;
  uint8_t mouseTracked_ = 0;
  void* font_ = nullptr;
  cWndLite* owner_ = nullptr;
  _guardchar<char> suffix_;
  int32_t wheelAccumulator_ = 0;
  int32_t backgroundColour_ = -1;
  void* backgroundBrush_ = nullptr;
};

#ifdef _WIN32
// The procedures of the toolkit's classes and dialogs (WNDPROC and DLGPROC
// signatures, handles opaque here).
intptr_t __stdcall LiteWindowProc(void* window, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam);
intptr_t __stdcall LiteDialogProc(void* window, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam);
#endif

// Registers "cGUILWndClass" once and remembers instance (null: the program's
// module) and icon for every later class and dialog. Later calls return
// true at once; a failure (other than "class exists") is retried next call.
bool RegisterLiteWindowClass(void* instance, void* icon);

// A GetMessageW / TranslateMessage / DispatchMessageW loop until GetMessageW
// returns 0 or -1. The system runs every form in a dialog loop instead.
void PumpMessages();
