// See gui/window_host_rules.h.
#include "gui/window_host_rules.h"

namespace tw {

namespace {
constexpr uint32_t kShift = 16, kControl = 17, kAlt = 18, kF4 = 115;
constexpr uint32_t kCfText = 1, kCfBitmap = 2, kCfPalette = 9;
}  // namespace

bool IsPrintableKey(uint32_t k) {
  return k == 32 || (k >= 48 && k <= 57) || (k >= 65 && k <= 90) || (k >= 96 && k <= 111) ||
         (k >= 186 && k <= 192) || (k >= 219 && k <= 228);
}

eKeyRoute RouteKeyDown(uint32_t virtualKey, bool control, bool alt) {
  if (virtualKey == kShift || virtualKey == kControl || virtualKey == kAlt) return eKeyRoute::kSwallow;
  if (alt && virtualKey == kF4) return eKeyRoute::kDefault;
  if (!IsPrintableKey(virtualKey) || control) return eKeyRoute::kKey;
  return eKeyRoute::kTranslate;
}

int32_t TranslatedKeyCalls(uint32_t virtualKey, int32_t produced, char16_t first, bool shift,
                           bool alt, sKeyCall (&out)[2]) {
  if (produced >= 2) return 0;
  out[0] = sKeyCall{true, produced == 1 ? static_cast<uint32_t>(first) : virtualKey, shift, false, alt};
  out[1] = sKeyCall{false, virtualKey, shift, false, alt};
  return 2;
}

int32_t AltStateAfterSysKeyDown(int32_t state, uint32_t virtualKey) {
  if (virtualKey == kAlt) return 1;
  return state == 1 ? 2 : state;
}

bool IsRawCandidate(uint32_t format, uint32_t rawFormat, bool skipOnlyBitmapAndPalette) {
  const uint32_t low = format & 0xFFF;
  if (low == kCfBitmap || low == kCfPalette) return false;
  if (!skipOnlyBitmapAndPalette && low == 0x94) return false;
  return format == rawFormat || low < 0x300 || low > 0x3FF;
}

uint32_t ClipboardBlockBytes(uint32_t format, const uint8_t* data, uint32_t size) {
  if (format != kCfText || data == nullptr) return size;
  for (uint32_t i = 0; i < size; ++i)
    if (data[i] == 0) return i + 1;
  return size;
}

sPoint CentreOverOwner(const sRect& owner, int32_t width, int32_t height, int32_t caption) {
  if (caption < 0 || caption > 100) caption = 0;
  return sPoint{owner.x + (owner.width - width) / 2, owner.y + (owner.height - caption - height) / 2};
}

}  // namespace tw
