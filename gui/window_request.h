// cWindowRequestTarget: what an element tree may ask of the window that
// hosts it. The window host implements it over a real window; tests use a
// recording host (tests/support/test_host.h). Elements reach it through
// their top element, which holds the pointer (gui/element.h).
//
// Sizes and positions are logical pixels. Every operation runs on the UI
// thread except WakePosted and WakeSent, which any thread may call.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "gui/geometry.h"
#include "gui/language.h"

class cChildElement;
class cWinFont;
class cWndLite;
class cWindowHolder;

class cWindowRequestTarget {
public:
  cWindowRequestTarget() = default;
  cWindowRequestTarget(const cWindowRequestTarget&) = delete;
  cWindowRequestTarget& operator=(const cWindowRequestTarget&) = delete;

  // Unbinds the window from the host, then destroys it.
  virtual void Destroy() = 0;
  // Ends the modal run that hosts the tree with code.
  virtual void EndModal(int32_t code) = 0;
  virtual bool Minimize() = 0;
  virtual bool Maximize() = 0;
  virtual bool Move(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  // The host as a window object (the owner of dialogs opened from it).
  virtual cWndLite* GetWindow() = 0;
  // Marks edges (client coordinates, right and bottom exclusive; null: the
  // whole client area) for repainting.
  virtual bool Invalidate(const sEdges* edges) = 0;
  // Asks the UI thread to run element's posted (respectively direct) queue;
  // true when the wake-up was queued.
  virtual bool WakePosted(cChildElement* element) = 0;
  virtual bool WakeSent(cChildElement* element) = 0;
  virtual bool Capture(bool on) = 0;
  // Cursor kinds: 0 arrow, 1 I-beam, 2 wait, 3 hand, 4 and 6 west-east,
  // 5 and 7 north-south, 8 north-east/south-west, 9 north-west/south-east.
  virtual bool SetCursor(int32_t kind) = 0;
  // UTF-16 text with its terminator, bytes long.
  virtual bool SetClipboardText(const void* data, int32_t bytes) = 0;
  virtual bool GetClipboardText(_typebuf<uint8_t>* bytes) = 0;
  virtual bool SetClipboardRaw(const void* data, int32_t bytes) { return SetClipboardText(data, bytes); }
  virtual bool GetClipboardRaw(_typebuf<uint8_t>* bytes) { return GetClipboardText(bytes); }
  virtual bool HasClipboardData(bool textOnly) {
    (void)textOnly;
    return true;
  }
  virtual bool SetMinTrackSize(int32_t width, int32_t height) = 0;
  virtual bool SetMaxTrackSize(int32_t width, int32_t height) = 0;
  // The window's client area on the screen.
  virtual bool GetWindowRect(int32_t* x, int32_t* y, int32_t* width, int32_t* height) = 0;
  virtual bool GetMaxTrackSize(int32_t* width, int32_t* height) = 0;
  virtual bool GetMaxClientSize(int32_t* width, int32_t* height) { return GetMaxTrackSize(width, height); }
  virtual int32_t GetDpi() { return 96; }
  virtual bool KeepAwake() { return false; }
  virtual bool AllowSleep() { return false; }
  virtual bool AcceptFiles() { return false; }
  virtual void SetTitle(const char16_t* text) = 0;
  // The cached font (gui/font.h); the caller borrows it.
  virtual cWinFont* GetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                            bool italic) = 0;
  // The loaded language section of key, or null.
  virtual const tLangSection* GetLanguageSection(const char16_t* key) = 0;
  // The extent of text in font; false for a null font.
  virtual bool MeasureText(cWinFont* font, const char16_t* text, sSize* size) = 0;
  // Opens a hint window hosting element; the caller owns the holder.
  virtual cWindowHolder* ShowHint(int32_t x, int32_t y, int32_t width, int32_t height, cChildElement* element,
                                  bool activate) = 0;
  // Runs form (taken over, deleted when the run ends) as a modal child and
  // returns its end code; -1 for a null form.
  virtual int32_t RunModalChild(const char16_t* title, int32_t width, int32_t height, cChildElement* form,
                                bool resizable) = 0;
  // Runs element as a modal popup at screen (x, y); its end code, -1 for null.
  virtual int32_t RunPopup(int32_t x, int32_t y, int32_t width, int32_t height, cChildElement* element) = 0;
  virtual bool SetFocus() { return false; }
  virtual ~cWindowRequestTarget() = default;
};
