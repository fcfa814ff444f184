// A hosted top element that records the actions reaching it, for the
// control tests: controls are added as its children, input is routed
// through it as the window would, and Pump delivers the posted actions.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "gui/element.h"
#include "gui/language.h"
#include "gui/mem_canvas.h"
#include "gui/picture.h"
#include "tests/support/test_host.h"

namespace twtest {

// The built-in packs registered (providers live until exit) and English
// current, for controls that show texts of their language section.
inline bool UseEnglish() {
  static cWEKTLang builtin;
  return SetCurrentLanguage(0);
}

class cRecordingTop : public cChildElement {
public:
  struct sSeen {
    cChildElement* sender;
    int32_t kind;
    int64_t value;  // what the action carries (see valueOf), else 0
  };
  std::vector<sSeen> seen;
  // Reads the value of an action kind 7 and above.
  std::function<int64_t(cChildAction*)> valueOf;
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (action == nullptr) return false;
    seen.push_back({sender, action->kind, valueOf ? valueOf(action) : 0});
    return true;
  }
  // The seen actions of one kind from one sender.
  std::vector<int64_t> Values(cChildElement* sender, int32_t kind) const {
    std::vector<int64_t> out;
    for (const sSeen& s : seen)
      if (s.sender == sender && s.kind == kind) out.push_back(s.value);
    return out;
  }
  int32_t Count(cChildElement* sender, int32_t kind) const { return static_cast<int32_t>(Values(sender, kind).size()); }
};

struct sControlFixture {
  cTestHost host;
  cRecordingTop* top = new cRecordingTop();
  std::vector<cChildElement*> added;
  explicit sControlFixture(int32_t width = 400, int32_t height = 300) { host.Host(top, width, height); }
  // Fixtures that embed their controls call Detach in their own
  // destructor, before the controls go.
  ~sControlFixture() { Detach(); }
  void Detach() {
    for (cChildElement* c : added) top->RemoveChild(c);
    added.clear();
  }
  void Add(cChildElement* c, int32_t x, int32_t y, int32_t w, int32_t h) {
    top->AddChild(c, x, y, w, h, 0);
    added.push_back(c);
  }
  void Pump() { host.Pump(); }
  // Left button press and release at (x, y) in the top element.
  void Press(int32_t x, int32_t y) { top->MouseButton(x, y, 1, true, false, false); }
  void Release(int32_t x, int32_t y) { top->MouseButton(x, y, 1, false, false, false); }
  void Click(int32_t x, int32_t y) {
    Press(x, y);
    Release(x, y);
  }
  void Move(int32_t x, int32_t y) { top->MouseMove(x, y); }
  void Key(int32_t key, bool shift = false, bool control = false, bool alt = false) {
    top->Key(key, shift, control, alt);
  }
  void Type(const char16_t* text) {
    for (const char16_t* p = text; *p != 0; ++p) top->Char(*p, false, false, false);
  }
};

// Paints element e alone into a fresh w x h surface; pixel (x, y) counts
// from the top-left corner.
struct sPainted {
  cPicture surface;
  uint32_t At(int32_t x, int32_t y) const {
    return surface.GetPixels()[(surface.GetHeight() - 1 - y) * surface.GetWidth() + x] & 0xFFFFFFu;
  }
};
inline void PaintAlone(cChildElement& e, sPainted& out, uint32_t ground = 0xFF123456u) {
  out.surface.Fill(ground, e.GetWidth(), e.GetHeight());
  cMemCanvas canvas(&out.surface);
  e.PaintTree(&canvas);
}
// 0x00BBGGRR as the pixel's low 24 bits (B, G, R bytes in memory).
inline uint32_t Px(uint32_t colour) { return tw::ColourToPixel(colour) & 0xFFFFFFu; }

}  // namespace twtest
