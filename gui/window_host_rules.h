// The window host's decisions that need no window: key routing, the Alt
// state, the clipboard's format choice and the placement of child forms.
// Kept apart from the Win32 host so that both targets test them.
#pragma once

#include <cstdint>

#include "gui/geometry.h"

namespace tw {

// ---- Keys ------------------------------------------------------------------

// Letters, digits, Space, the numeric keypad and the punctuation keys
// (186-192, 219-228): the keys that may produce a character.
bool IsPrintableKey(uint32_t virtualKey);

enum class eKeyRoute {
  kSwallow,    // Shift, Control, Alt themselves
  kDefault,    // Alt+F4: the system's default processing closes the frame
  kKey,        // Key(virtual key, shift, control, alt) only
  kTranslate,  // ask the keyboard layout for the character first
};
eKeyRoute RouteKeyDown(uint32_t virtualKey, bool control, bool alt);

// One element call made for a key press.
struct sKeyCall {
  bool isChar = false;      // Char, else Key
  uint32_t code = 0;        // the character or the virtual key
  bool shift = false;
  bool control = false;
  bool alt = false;
};

// The calls for a printable key without Control, given what the layout
// produced (ToUnicode's result and first unit): one character, none (0) or
// a dead key (-1) give Char(the character, or the virtual key itself) and
// then Key; two or more characters give nothing. Returns the number of
// calls written to out (0 or 2).
int32_t TranslatedKeyCalls(uint32_t virtualKey, int32_t produced, char16_t first, bool shift,
                           bool alt, sKeyCall (&out)[2]);

// The Alt state: 0 none, 1 Alt pressed and nothing else yet, 2 Alt used
// together with another key. After a system key press.
int32_t AltStateAfterSysKeyDown(int32_t state, uint32_t virtualKey);

// ---- Clipboard -------------------------------------------------------------

// Whether a clipboard format is skipped (bitmaps, palettes and, unless
// skipOnlyGdi, format 0x94) or taken (the raw format, or a format whose low
// 12 bits lie outside the GDI-object range 0x300-0x3FF).
bool IsRawCandidate(uint32_t format, uint32_t rawFormat, bool skipOnlyBitmapAndPalette);

// Bytes of a clipboard block to copy: the whole size, except for CF_TEXT
// (1), which runs to and includes the first zero byte.
uint32_t ClipboardBlockBytes(uint32_t format, const uint8_t* data, uint32_t size);

// ---- Placement -------------------------------------------------------------

// Where a child form of width x height goes over its owner's rectangle:
// centred, the caption height (0 when below 0 or above 100) taken off
// vertically.
sPoint CentreOverOwner(const sRect& owner, int32_t width, int32_t height, int32_t caption);

}  // namespace tw
