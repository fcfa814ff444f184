// The window host: ties one element tree to one window.
//
// cWndTranslator is a toolkit window (cWndLite) that owns the top element
// of a tree, turns the window's messages into element calls and answers
// the element's requests (cWindowRequestTarget). Every form runs as a
// modal dialog: cWndTranslatorDlg is the dialog frame and its only child is
// a cWndTranslator covering its client area and hosting the form. Hint
// windows, the only non-modal windows, live in a cWWHolder that the hint
// code owns.
//
// Rules:
//  a. UI thread only, except WakePosted and WakeSent, which post a message
//     and may be called from any thread.
//  b. The host owns its element: it deletes it when the element is
//     replaced or when the host is destroyed. Callers create a form with
//     new, hand it over and keep their results in records of their own.
//  c. Sizes and positions are logical pixels (the scale provider, never set
//     in this system, would map them to screen pixels).
//  d. Win32 only (window_host_win32.cpp); the native build tests elements
//     through the test host of tests/support instead.
#pragma once

#include <cstdint>

#include "base/lists.h"
#include "gui/element.h"
#include "gui/window_holder.h"
#include "gui/window_request.h"
#include "gui/wnd_lite.h"

class cScaleProvider;
class cWndTranslatorDlg;
struct sLangSections;

namespace tw {
// wParam of the two wake-up messages (WM_USER, lParam = the element).
inline constexpr uintptr_t kWakePosted = 0xAC1104;
inline constexpr uintptr_t kWakeSent = 0xAC11040;
}  // namespace tw

class cWndTranslator : public cWndLite, public cWindowRequestTarget {
public:
  cWndTranslator();
  // Deletes the element (whose destruction asks this host to destroy the
  // window), then the window layer destroys what is left.
  ~cWndTranslator() override;

  // Takes element over (the previous one is deleted) and creates the window
  // of width x height client pixels at (x, y). With an owner dialog the
  // window is a child of it (x, y of -1 become 0); without one, -1 centres
  // that axis on the desktop. False for a null element or when the window
  // cannot be created (the element stays with this host).
  bool Create(cWndTranslatorDlg* ownerDialog, const char16_t* title, int32_t width, int32_t height,
              cChildElement* element, bool resizable, int32_t x, int32_t y);

  cChildElement* GetElement() const { return element_; }
  // Forgets the element without deleting it and returns it.
  cChildElement* DetachElement();
  void SetSectionMap(const sLangSections* map) { sections_ = map; }
  const sLangSections* GetSectionMap() const { return sections_; }
  void SetScaleProvider(cScaleProvider* scale) { scale_ = scale; }
  cScaleProvider* GetScaleProvider() const { return scale_; }
  void SetOwnerDialog(cWndTranslatorDlg* dialog) { ownerDialog_ = dialog; }

  // WM_CLOSE: 1 when the element refuses to close (nothing else happens),
  // else the window is destroyed and 0.
  intptr_t CloseRequested();

  // ---- cWndLite ------------------------------------------------------------
  intptr_t Dispatch(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  bool OnEraseBackground(void* dc) override;
  int32_t OnMouseWheel(int32_t x, int32_t y, bool up, bool control, int32_t count) override;
  void OnDropFiles(int32_t x, int32_t y, tPathList& paths) override;

  // ---- cWindowRequestTarget ------------------------------------------------
  void Destroy() override;
  void EndModal(int32_t code) override;
  bool Minimize() override;
  bool Maximize() override;
  bool Move(int32_t x, int32_t y, int32_t width, int32_t height) override;
  cWndLite* GetWindow() override { return this; }
  bool Invalidate(const sEdges* edges) override;
  bool WakePosted(cChildElement* element) override;
  bool WakeSent(cChildElement* element) override;
  bool Capture(bool on) override;
  bool SetCursor(int32_t kind) override;
  bool SetClipboardText(const void* data, int32_t bytes) override;
  bool GetClipboardText(_typebuf<uint8_t>* out) override;
  bool SetClipboardRaw(const void* data, int32_t bytes) override;
  bool GetClipboardRaw(_typebuf<uint8_t>* out) override;
  bool HasClipboardData(bool textOnly) override;
  bool SetMinTrackSize(int32_t width, int32_t height) override;
  bool SetMaxTrackSize(int32_t width, int32_t height) override;
  bool GetWindowRect(int32_t* x, int32_t* y, int32_t* width, int32_t* height) override;
  bool GetMaxTrackSize(int32_t* width, int32_t* height) override;
  bool GetMaxClientSize(int32_t* width, int32_t* height) override;
  int32_t GetDpi() override;
  bool KeepAwake() override;
  bool AllowSleep() override;
  bool AcceptFiles() override;
  void SetTitle(const char16_t* text) override;
  cWinFont* GetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                    bool italic) override;
  const tLangSection* GetLanguageSection(const char16_t* key) override;
  bool MeasureText(cWinFont* font, const char16_t* text, sSize* size) override;
  cWindowHolder* ShowHint(int32_t x, int32_t y, int32_t width, int32_t height,
                          cChildElement* element, bool activate) override;
  int32_t RunModalChild(const char16_t* title, int32_t width, int32_t height, cChildElement* form,
                         bool resizable) override;
  int32_t RunPopup(int32_t x, int32_t y, int32_t width, int32_t height,
                    cChildElement* element) override;
  bool SetFocus() override;

private:
  void PaintElement();
  void KeyDown(uint32_t message, uint32_t virtualKey);
  void* Frame() const;

  cScaleProvider* scale_ = nullptr;
  cChildElement* element_ = nullptr;
  cWndTranslatorDlg* ownerDialog_ = nullptr;
  const sLangSections* sections_ = nullptr;
  int32_t cursorKind_ = -1;
  void* cursor_ = nullptr;
  int32_t altState_ = 0;  // 0 none, 1 Alt alone so far, 2 Alt used with another key
};

// The modal frame of a form: a system dialog whose only child is the host.
class cWndTranslatorDlg : public cWndLite {
public:
  cWndTranslatorDlg();
  // Deletes a form that was never handed to the host.
  ~cWndTranslatorDlg() override;

  // Runs form (taken over) in a modal dialog with a client area of width x
  // height; centred on the desktop when x and y are both -1. Returns the
  // code passed to EndModal, 0 when the window was closed, -1 for a null
  // form or when no dialog could run.
  int32_t RunModal(cWndLite* owner, const char16_t* title, int32_t width, int32_t height,
                    cChildElement* form, bool resizable, int32_t x, int32_t y);
  // Runs element (taken over) as a popup without a caption at screen (x, y).
  int32_t RunPopupAt(cWndLite* owner, int32_t x, int32_t y, int32_t width, int32_t height,
                      cChildElement* element);

  cWndTranslator& Host() { return host_; }

  void OnCreate() override;
  void OnSize(int32_t clientWidth, int32_t clientHeight) override;
  intptr_t OnClose() override;
  intptr_t OnQueryEndSession() override;

private:
  cChildElement* form_ = nullptr;
  cWndTranslator host_;
};

class cWWHolder : public cWindowHolder {
public:
  cWWHolder() = default;
  // Destroys the window, then the host (which deletes the element).
  ~cWWHolder() override;
  void DestroyWindow() override;
  cWindowRequestTarget* GetHost() override { return &host_; }
  cWndTranslator& Host() { return host_; }
  void Release(bool detach) override;

private:
  cWndTranslator host_;
};
