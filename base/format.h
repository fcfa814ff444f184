// Formatting and scanning of 8-bit and UTF-16 text with the rules of the
// Windows C runtime's printf and scanf families (msvcrt), implemented here so
// that both targets give the same text and no wide C library function is
// used.
//
// Formatting: "%[flags][width][.precision][length]conversion".
//   flags      - + space # 0
//   width      digits or * (a negative * width left-justifies)
//   precision  .digits or .* (a negative * precision counts as absent)
//   length     h (16-bit), l (32-bit, as Windows' long), ll and I64 (64-bit),
//              I32 (32-bit), w (wide character or string)
//   conversion d i u o x X (integers), c (character), s (string),
//              C and S (the character and string of the other width),
//              f (double, precision 6 unless given), % (a percent sign).
// In FormatW, %s and %c take char16_t text and %hs, %hc, %S, %C take 8-bit
// text; in FormatA the other way round (%ls, %ws, %lc, %S, %C take char16_t).
// 8-bit text meets UTF-16 as Latin-1 (byte = unit; a unit above 0xFF becomes
// '?'), as the runtime does in its default "C" locale. A null string prints
// "(null)". Doubles are converted exactly and rounded half away from zero;
// infinities and NaNs print as the runtime prints them: "1.#INF00",
// "-1.#IND00" (a NaN with its sign bit set), "1.#QNAN0" for "%f", their
// characters cut and rounded like digits for other precisions ("%.2f" of an
// infinity gives "1.#J"). Any other conversion character is printed by
// itself ("%5y" gives "y"), and a format that ends inside a conversion
// prints nothing for it.
//
// Capacity: the output always ends with a terminator inside the capacity.
// Text that does not fit is cut at capacity - 1 units; the result is the
// number of units written before the terminator.
//
// Scanning: "%[*][width][length]conversion" with d i u o x X c s [...] n f e
// g and %%; blanks in the format skip any run of blanks (tab, line feed,
// vertical tab, form feed, carriage return, space) in the text, other
// characters must match. Integers wrap around on overflow as the runtime's
// do; %x and %i accept a "0x" prefix, which must be followed by a digit. The
// result is the number of fields stored, or -1 for an empty text and for a
// %s that meets the end of the text before any field was stored.
#pragma once

#include <cstdarg>
#include <cstdint>

// Formats into buffer (capacity units). A null buffer or format, or a
// capacity <= 0, writes nothing and gives 0.
int32_t FormatW(char16_t* buffer, int32_t capacity, const char16_t* format, ...);
int32_t FormatWV(char16_t* buffer, int32_t capacity, const char16_t* format, va_list args);
int32_t FormatA(char* buffer, int32_t capacity, const char* format, ...);
int32_t FormatAV(char* buffer, int32_t capacity, const char* format, va_list args);

// Parses text as the runtime's string scanning does; a null text or format
// gives 0.
int32_t ScanAList(const char* text, const char* format, va_list args);
int32_t ScanWList(const char16_t* text, const char16_t* format, va_list args);
int32_t ScanA(const char* text, const char* format, ...);
int32_t ScanW(const char16_t* text, const char16_t* format, ...);
