// cTestHost: a window host without a window, for testing element trees on
// both targets. It implements cWindowRequestTarget by recording what the
// tree asks for (invalidations, capture, cursor, clipboard, tracking sizes,
// title, focus), measures text with the stand-in font metrics, queues the
// action wake-ups (from any thread) for Pump, and runs nested "modal" forms
// and popups through scripts that the test queues beforehand.
//
// The host owns its top element, as the real one does: Host() takes it and
// the destructor (or the next Host()) deletes it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "gui/element.h"
#include "gui/window_request.h"

namespace twtest {

class cTestHost : public cWindowRequestTarget {
public:
  // One run of a nested modal form or popup: the script drives the form,
  // which is hosted by a nested test host, and may end it with EndModal.
  using tScript = std::function<void(cTestHost& nested, cChildElement* form)>;

  cTestHost() = default;
  ~cTestHost() override;

  // Takes element as the hosted top element at window position (x, y) with
  // a client area of width x height, as the window host does on creation.
  void Host(cChildElement* element, int32_t width, int32_t height, int32_t x = 0, int32_t y = 0);
  cChildElement* Element() const { return element_; }
  // Forgets the element without deleting it (the caller owns it again).
  cChildElement* Release();

  // Runs every queued wake-up on the hosted element (RunPosted / RunSent),
  // including those queued while pumping. Returns how many ran.
  int32_t Pump();
  // Waits up to ms milliseconds for at least one wake-up, then pumps.
  int32_t WaitAndPump(int32_t ms);
  int32_t PendingWakeUps();

  // Paints the hosted element into canvas as the window host does: the
  // clip applied, through an off-screen canvas when the element is double
  // buffered.
  void Paint(cCanvas* canvas);

  // Scripts for the next RunModalChild / RunPopup calls, in order.
  void QueueModalScript(tScript script) { modalScripts_.push_back(std::move(script)); }

  // ---- What was asked ----
  std::vector<sEdges> invalidated;  // null requests are stored as the whole client area
  int32_t invalidateCalls = 0;
  bool captured = false;
  int32_t captureCalls = 0;
  int32_t cursor = -1;
  std::vector<uint8_t> clipboardText;
  std::vector<uint8_t> clipboardRaw;
  sSize minTrack{-1, -1};
  sSize maxTrack{-1, -1};
  std::u16string title;
  int32_t focusRequests = 0;
  int32_t endCode = 0;
  bool ended = false;
  bool destroyed = false;
  int32_t hintRequests = 0;
  std::vector<std::u16string> modalTitles;
  sRect windowRect{0, 0, 0, 0};  // client area on the screen
  bool moveRefused = false;

  // ---- cWindowRequestTarget ----
  void Destroy() override { destroyed = true; }
  void EndModal(int32_t code) override;
  bool Minimize() override { return true; }
  bool Maximize() override { return true; }
  bool Move(int32_t x, int32_t y, int32_t width, int32_t height) override;
  cWndLite* GetWindow() override { return nullptr; }
  bool Invalidate(const sEdges* edges) override;
  bool WakePosted(cChildElement* element) override;
  bool WakeSent(cChildElement* element) override;
  bool Capture(bool on) override;
  bool SetCursor(int32_t kind) override;
  bool SetClipboardText(const void* data, int32_t bytes) override;
  bool GetClipboardText(_typebuf<uint8_t>* bytes) override;
  bool SetClipboardRaw(const void* data, int32_t bytes) override;
  bool GetClipboardRaw(_typebuf<uint8_t>* bytes) override;
  bool SetMinTrackSize(int32_t width, int32_t height) override;
  bool SetMaxTrackSize(int32_t width, int32_t height) override;
  bool GetWindowRect(int32_t* x, int32_t* y, int32_t* width, int32_t* height) override;
  bool GetMaxTrackSize(int32_t* width, int32_t* height) override;
  void SetTitle(const char16_t* text) override { title = text != nullptr ? text : u""; }
  cWinFont* GetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                    bool italic) override;
  const tLangSection* GetLanguageSection(const char16_t* key) override;
  bool MeasureText(cWinFont* font, const char16_t* text, sSize* size) override;
  cWindowHolder* ShowHint(int32_t x, int32_t y, int32_t width, int32_t height, cChildElement* element,
                          bool activate) override;
  int32_t RunModalChild(const char16_t* title, int32_t width, int32_t height, cChildElement* form,
                        bool resizable) override;
  int32_t RunPopup(int32_t x, int32_t y, int32_t width, int32_t height, cChildElement* element) override;
  bool SetFocus() override {
    ++focusRequests;
    return true;
  }

private:
  struct sWake {
    cChildElement* element;
    bool posted;
  };
  int32_t RunNested(cChildElement* form, int32_t width, int32_t height);
  void BytesOut(const std::vector<uint8_t>& from, _typebuf<uint8_t>* to);

  cChildElement* element_ = nullptr;
  std::mutex mutex_;
  std::condition_variable wakeSignal_;
  std::deque<sWake> wakes_;
  std::deque<tScript> modalScripts_;
};

}  // namespace twtest
