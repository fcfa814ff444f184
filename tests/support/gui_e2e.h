// Windows tests: what the end-to-end GUI tests share. A driver thread steers
// a modal form that the test's main thread runs: it runs code on the UI
// thread and waits for it, polls for effects with a generous bound, finds
// the dialog windows of the UI thread, sends real input through the
// system's queue and copies a window's client area into an image for a
// screenshot.
//
// Rules:
//  a. Nothing waits for ever: every wait is a number of 20 ms rounds
//     (kPatienceRounds, 20 s, unless the caller gives more), and answers
//     false when the effect never came.
//  b. OnUi and UiEventually run their code inside a sent action on the
//     element's UI thread, after the element's own OnAction has seen the
//     action (kind kUiWorkKind, which no form of the tests uses).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <atomic>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "base/sync.h"
#include "gui/element.h"
#include "tests/gui/png_file.h"

namespace twtest {

// 20 s for any one expected effect on a loaded machine.
inline constexpr int kPatienceRounds = 1000;
inline constexpr int32_t kUiWorkKind = 0x7E57;

// Runs work on element's UI thread; the calling thread waits. False when
// the action was not handled (the element or its window went away).
bool OnUi(cChildElement* element, std::function<void()> work);
// Repeats check on element's UI thread until it holds (input arrives after
// posted messages, so one round is not enough after SendInput); a round
// whose send fails (no window yet) counts as not holding.
bool UiEventually(cChildElement* element, const std::function<bool()>& check, int rounds = kPatienceRounds);
// Repeats check on the calling thread until it holds.
bool Eventually(const std::function<bool()>& check, int rounds = kPatienceRounds);

// The visible top-level windows of thread.
std::vector<HWND> ThreadWindows(DWORD thread);
// The visible top-level window of thread with exactly this title, or null;
// WaitTitled polls for it.
HWND FindTitled(DWORD thread, const char16_t* title);
HWND WaitTitled(DWORD thread, const char16_t* title, int rounds = kPatienceRounds);
// The window that hosts a shown form's elements; its parent is the dialog
// frame. UI thread only.
HWND HostWindowOf(cChildElement* form);
// The element window inside a dialog frame (keys go there), or the dialog.
HWND HostOf(HWND dialog);
// The element that a dialog frame hosts, or null. UI thread only.
cChildElement* ElementOf(HWND dialog);
// Posts a key press and release to the dialog's element window, whichever
// window has the foreground.
void PostKey(HWND dialog, WPARAM key);

// Real input through the system's queue, as a user's would arrive: each
// pair a virtual key and whether it is released.
void SendKeys(std::initializer_list<std::pair<WORD, bool>> strokes);
void PressKey(WORD key);
void Chord(WORD modifier, WORD key);
// The pointer to screen point p; a left click there.
void MoveTo(POINT p);
void ClickAt(POINT p);

// Repaints window (with its children) and copies its client area into
// image, top row first. False when it cannot be copied.
bool CaptureClient(HWND window, RgbImage* image);
// The number of different colours in image, counting up to limit.
size_t CountColours(const RgbImage& image, size_t limit);
// Writes window's client area as a PNG to file once it shows at least
// `colours` colours (it is painted); false when it never does.
bool SaveScreenshot(HWND window, const char* file, size_t colours, int rounds = kPatienceRounds);

// ---- Ending a driven test ----
// A driver thread that fails a step leaves the UI thread in a modal loop;
// these end it, so the test fails instead of hanging.

// Polls the event the form sets in OnShown, for up to 10 s.
bool WaitShown(cEvent& shown);
// Gives dialog 5 s to close by itself, then closes it.
void CloseDialogAtLast(HWND dialog);
// CloseDialogAtLast at the end of its scope, for the dialog named by then.
class cDialogCloser {
public:
  explicit cDialogCloser(const std::atomic<HWND>& dialog) : dialog_(dialog) {}
  ~cDialogCloser() { CloseDialogAtLast(dialog_); }
  cDialogCloser(const cDialogCloser&) = delete;
  cDialogCloser& operator=(const cDialogCloser&) = delete;

private:
  const std::atomic<HWND>& dialog_;
};
// For up to 60 s while owner is open: every second closes the UI thread's
// other windows, and owner too once done holds.
void CloseThreadWindowsAtLast(DWORD thread, HWND owner, const std::atomic<bool>& done);

// ---- Windows of another process (a program the test started) ----

// The visible top-level windows of process pid, and a window's title.
std::vector<HWND> ProcessWindows(DWORD pid);
std::wstring WindowTitle(HWND window);
// The client area of window as the display shows it, top row first: the
// drawing of another process's window is held only by the display, so this
// brings the window to the front and copies from the screen.
bool CaptureClientFromScreen(HWND window, RgbImage* image);
// A left click at client point (x, y) of window, posted (a move, the press,
// the release) so that the caller does not wait for a modal loop the click
// may start.
void PostClick(HWND window, int x, int y);

}  // namespace twtest
