// See gui/controls/link.h.
#include "gui/controls/link.h"

#include "gui/theme.h"

namespace {
constexpr int32_t kColourLink = 7;
}  // namespace

void cLinkElement::InitDefaults() {
  cStaticElement::InitDefaults();
  textColour_ = GetTheme()->GetColour(kColourLink);
  font_ = GetUnderlinedFont();
}

void cLinkElement::OnMouseButton(int32_t, int32_t, int32_t button, bool down) {
  if (button == 1 && !down) PostKind(0);
}
