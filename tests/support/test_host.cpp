// See test_host.h.
#include "tests/support/test_host.h"

#include <chrono>

#include "base/strings.h"
#include "gui/font.h"
#include "gui/language.h"

namespace twtest {

cTestHost::~cTestHost() {
  cChildElement* e = element_;
  element_ = nullptr;
  delete e;
}

void cTestHost::Host(cChildElement* element, int32_t width, int32_t height, int32_t x, int32_t y) {
  delete Release();
  element_ = element;
  windowRect = {x, y, width, height};
  if (element == nullptr) return;
  element->SetHostAndRect(this, x, y, width, height);
  element->AttachHost();
}

cChildElement* cTestHost::Release() {
  cChildElement* e = element_;
  element_ = nullptr;
  return e;
}

int32_t cTestHost::Pump() {
  int32_t ran = 0;
  for (;;) {
    sWake w;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (wakes_.empty()) return ran;
      w = wakes_.front();
      wakes_.pop_front();
    }
    if (element_ == nullptr) continue;
    if (w.posted)
      element_->RunPosted(w.element);
    else
      element_->RunSent(w.element);
    ++ran;
  }
}

int32_t cTestHost::WaitAndPump(int32_t ms) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    wakeSignal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !wakes_.empty(); });
  }
  return Pump();
}

int32_t cTestHost::PendingWakeUps() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int32_t>(wakes_.size());
}

void cTestHost::Paint(cCanvas* canvas) {
  if (element_ == nullptr || canvas == nullptr) return;
  canvas->ApplyClip();
  if (element_->IsDoubleBuffered()) {
    if (cCanvas* off = canvas->CreateOffscreen(windowRect.width, windowRect.height, -1, -1)) {
      element_->PaintTree(off);
      canvas->CopyFromCanvas(0, 0, off, 0, 0, -1, -1);  // the whole surface
      delete off;
      return;
    }
  }
  element_->PaintTree(canvas);
}

void cTestHost::EndModal(int32_t code) {
  endCode = code;
  ended = true;
}

bool cTestHost::Move(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (moveRefused) return false;
  windowRect = {x, y, width, height};
  // The window's WM_SIZE resizes the hosted element.
  if (element_ != nullptr) element_->Resize(width, height, false);
  return true;
}

bool cTestHost::Invalidate(const sEdges* edges) {
  ++invalidateCalls;
  invalidated.push_back(edges != nullptr ? *edges : sEdges{0, 0, windowRect.width, windowRect.height});
  return true;
}

bool cTestHost::WakePosted(cChildElement* element) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wakes_.push_back({element, true});
  }
  wakeSignal_.notify_all();
  return true;
}

bool cTestHost::WakeSent(cChildElement* element) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wakes_.push_back({element, false});
  }
  wakeSignal_.notify_all();
  return true;
}

bool cTestHost::Capture(bool on) {
  ++captureCalls;
  captured = on;
  return true;
}

bool cTestHost::SetCursor(int32_t kind) {
  cursor = kind;
  return true;
}

bool cTestHost::SetClipboardText(const void* data, int32_t bytes) {
  if (data == nullptr || bytes < 0) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  clipboardText.assign(p, p + bytes);
  return true;
}

void cTestHost::BytesOut(const std::vector<uint8_t>& from, _typebuf<uint8_t>* to) {
  to->Reallocate(static_cast<int32_t>(from.size()));
  for (size_t i = 0; i < from.size(); ++i) to->data[i] = from[i];
}

bool cTestHost::GetClipboardText(_typebuf<uint8_t>* bytes) {
  if (bytes == nullptr || clipboardText.empty()) return false;
  BytesOut(clipboardText, bytes);
  return true;
}

bool cTestHost::SetClipboardRaw(const void* data, int32_t bytes) {
  if (data == nullptr || bytes < 0) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  clipboardRaw.assign(p, p + bytes);
  return true;
}

bool cTestHost::GetClipboardRaw(_typebuf<uint8_t>* bytes) {
  if (bytes == nullptr || clipboardRaw.empty()) return false;
  BytesOut(clipboardRaw, bytes);
  return true;
}

bool cTestHost::SetMinTrackSize(int32_t width, int32_t height) {
  minTrack = {width, height};
  return true;
}

bool cTestHost::SetMaxTrackSize(int32_t width, int32_t height) {
  maxTrack = {width, height};
  return true;
}

bool cTestHost::GetWindowRect(int32_t* x, int32_t* y, int32_t* width, int32_t* height) {
  if (x) *x = windowRect.x;
  if (y) *y = windowRect.y;
  if (width) *width = windowRect.width;
  if (height) *height = windowRect.height;
  return true;
}

bool cTestHost::GetMaxTrackSize(int32_t* width, int32_t* height) {
  if (width) *width = 1280;
  if (height) *height = 1024;
  return true;
}

cWinFont* cTestHost::GetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                             bool italic) {
  return GetCachedFont(width, height, face, bold, underline, italic);
}

const tLangSection* cTestHost::GetLanguageSection(const char16_t* key) { return FindLanguageSection(key); }

bool cTestHost::MeasureText(cWinFont* font, const char16_t* text, sSize* size) {
  if (size == nullptr) return false;
  *size = {};
  if (font == nullptr || text == nullptr) return false;
  *size = {WideLength(text) * tw::StandInCellWidth(font), tw::StandInTextHeight(font)};
  return true;
}

cWindowHolder* cTestHost::ShowHint(int32_t, int32_t, int32_t, int32_t, cChildElement*, bool) {
  ++hintRequests;
  return nullptr;
}

int32_t cTestHost::RunNested(cChildElement* form, int32_t width, int32_t height) {
  if (form == nullptr) return -1;
  cTestHost nested;
  nested.Host(form, width, height);
  if (!modalScripts_.empty()) {
    tScript script = std::move(modalScripts_.front());
    modalScripts_.pop_front();
    // Scripts for forms opened by this one come from the same queue.
    nested.modalScripts_.swap(modalScripts_);
    script(nested, form);
    modalScripts_.swap(nested.modalScripts_);
  }
  nested.Pump();
  // A modal run that was closed rather than ended answers 0.
  return nested.ended ? nested.endCode : 0;
}

int32_t cTestHost::RunModalChild(const char16_t* text, int32_t width, int32_t height, cChildElement* form,
                                 bool) {
  modalTitles.push_back(text != nullptr ? text : u"");
  return RunNested(form, width, height);
}

int32_t cTestHost::RunPopup(int32_t, int32_t, int32_t width, int32_t height, cChildElement* element) {
  return RunNested(element, width, height);
}

}  // namespace twtest
