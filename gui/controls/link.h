// cLinkElement: a label drawn as a link (theme colour 7, the underlined
// default font, the hand cursor) that posts a plain kind-0 action when the
// left button is released over it. It carries a pointer-sized target value
// for its owner, which the link never interprets. UI thread only.
#pragma once

#include <cstdint>

#include "gui/static_element.h"

class cLinkElement : public cStaticElement {
public:
  cLinkElement() = default;
  ~cLinkElement() override = default;

  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  int32_t DefaultCursor() override { return 3; }
  void InitDefaults() override;

  void SetTarget(intptr_t value) { target_ = value; }
  intptr_t GetTarget() const { return target_; }

private:
  intptr_t target_ = 0;
};
