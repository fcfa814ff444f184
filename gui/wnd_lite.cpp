// The window layer's pure pieces, shared by both targets: wheel notches,
// sizing clamps and the crash-log line. See gui/wnd_lite.h.
#include "gui/wnd_lite.h"

#include "base/format.h"
#include "base/time.h"

namespace tw {

namespace {
constexpr int32_t kWheelNotch = 120;  // WHEEL_DELTA
}

sWheelNotches AccumulateWheel(int32_t& accumulator, int32_t delta) {
  sWheelNotches out;
  // Deltas are 16-bit values; the sum of two cannot overflow 32 bits, and
  // the accumulator never holds more than one notch between messages.
  accumulator += delta;
  if (accumulator >= kWheelNotch) {
    out.count = accumulator / kWheelNotch;
    out.up = true;
    accumulator -= out.count * kWheelNotch;
  } else if (accumulator <= -kWheelNotch) {
    out.count = -(accumulator / kWheelNotch);
    out.up = false;
    accumulator += out.count * kWheelNotch;
  }
  return out;
}

void ClampSizingRect(sEdges& rect, int32_t edge, int32_t minWidth, int32_t minHeight,
                     int32_t maxWidth, int32_t maxHeight) {
  const bool leftSide = edge == kSizeLeft || edge == kSizeTopLeft || edge == kSizeBottomLeft;
  const bool bottomSide = edge == kSizeBottom || edge == kSizeBottomLeft || edge == kSizeBottomRight;
  auto fixWidth = [&](int32_t width) {
    if (leftSide)
      rect.left = rect.right - width;
    else
      rect.right = rect.left + width;
  };
  auto fixHeight = [&](int32_t height) {
    if (bottomSide)
      rect.bottom = rect.top + height;
    else
      rect.top = rect.bottom - height;
  };
  if (minWidth > 0 && rect.right - rect.left < minWidth) fixWidth(minWidth);
  if (maxWidth > 0 && rect.right - rect.left > maxWidth) fixWidth(maxWidth);
  if (minHeight > 0 && rect.bottom - rect.top < minHeight) fixHeight(minHeight);
  if (maxHeight > 0 && rect.bottom - rect.top > maxHeight) fixHeight(maxHeight);
}

int32_t FormatCrashLine(char16_t* out, const sDateTime& utc, uint32_t code, uint64_t address) {
  return FormatW(out, kCrashLineCapacity, u"%04d%02d%02d_%02d%02d%02d: 0x%08X @ 0x%llX\r\n",
                 static_cast<int>(utc.year), static_cast<int>(utc.month), static_cast<int>(utc.day),
                 static_cast<int>(utc.hour), static_cast<int>(utc.minute),
                 static_cast<int>(utc.second), static_cast<unsigned>(code),
                 static_cast<unsigned long long>(address));
}

}  // namespace tw
