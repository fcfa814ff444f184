// String functions over zero-terminated UTF-16 and 8-bit text, used instead of
// the C runtime's: comparisons, case mapping, searches, bounded copies and the
// assignment of text into the strings and buffers of base/buffers.h.
//
// Module-wide rules:
//  a. A length argument of -1 means "up to the terminator"; any other
//     non-negative value is a count of units (or bytes) in which zero units
//     are ordinary characters. Negative counts other than -1 are read as -1.
//  b. Comparison results are -1, 0 or 1, -1 when the first text sorts first.
//  c. Case-insensitivity everywhere folds through ToLowerW. 8-bit text folds
//     by sign-extending each byte to 16 bits, so only ASCII A-Z fold.
//  d. A null pointer is accepted where a function says so; the result it
//     gives is stated there.
//  e. No function writes outside the capacity it is given; a capacity of 0
//     or less means nothing is written at all.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/guardchar.h"

// ---- Case mapping --------------------------------------------------------
// Both maps are built once per process from the built-in Unicode tables on
// their first use; the build is safe against concurrent first calls.

// The lower-case form of unit, or unit itself when it has none (U+0130 stays).
char16_t ToLowerW(char16_t unit);
// The upper-case form of unit, or unit itself. Not the inverse of ToLowerW:
// U+00FF gives U+0178 and U+1D79 gives U+A77D.
char16_t ToUpperW(char16_t unit);
// ToLowerW of the sign-extended byte, truncated to 8 bits (ASCII A-Z only).
char ToLowerA(char byte);

// Assigns source's text to destination and lower-cases every unit; true.
bool AssignLowerCase(_guardchar<char16_t>& destination, const _guardchar<char16_t>& source);

// Tab, line feed, carriage return and space only (not 11 or 12).
bool IsSpaceW(char16_t unit);
bool IsSpaceA(char byte);

// ---- Comparisons ---------------------------------------------------------
// Ordinal over unsigned units. A null argument gives 1.
int CompareWide(const char16_t* first, const char16_t* second);
// Folded, unsigned units. A null argument gives -1.
int CompareNoCaseW(const char16_t* first, const char16_t* second);
// Folded, at most 5 units. A null argument gives -1.
int CompareNoCaseW5(const char16_t* first, const char16_t* second);
// Folded, signed bytes: bytes 0x80 and above sort before ASCII. Null gives -1.
int CompareNoCaseA(const char* first, const char* second);
// Folded, unsigned bytes, at most n bytes; n <= 0 gives 0. Null gives -1.
int CompareNoCaseAN(const char* first, const char* second, int32_t n);
// Folded, signed bytes, exactly 4 bytes with terminators compared like any
// other byte. It always reads 4 bytes from each side: callers must pass
// buffers of at least 4 bytes, never a shorter zero-terminated text.
// A null argument gives 1.
int CompareNoCaseA4(const char* first, const char* second);

// ---- Searches ------------------------------------------------------------
// First occurrence of unit before the terminator, or null; unit 0 gives null.
// text must not be null.
const char16_t* FindCharW(const char16_t* text, char16_t unit);
// Last occurrence, the terminator included (unit 0 gives the terminator's
// position); null when absent or for a null text.
const char16_t* FindLastCharW(const char16_t* text, char16_t unit);
// First occurrence of the marker "  Last update: ", or null (null text too).
const char16_t* FindLastUpdateMark(const char16_t* text);

// ---- Length and bounded copies -------------------------------------------
// Units before the terminator; 0 for null.
int32_t WideLength(const char16_t* text);

// Copies at most capacity units, stopping after a copied terminator; when the
// source does not end within capacity units the result keeps capacity - 1
// units and is terminated. Returns 0. Null pointers or capacity <= 0 copy
// nothing and write nothing.
int32_t CopyWideN(char16_t* destination, int32_t capacity, const char16_t* source);

// Destination holds 260 units. Copies at most min(n, 260) units, stopping
// after a copied terminator, then terminates at index n when 0 <= n < 260,
// otherwise at index 259. A negative n means "up to the terminator". Returns
// 0; null pointers copy nothing.
int32_t CopyWideMax260(const char16_t* source, char16_t* destination, int32_t n);

// Copies min(n, source length, capacity - 1) units and a terminator; n < 0
// means the whole source. It never copies past the source's terminator.
// Returns the count copied. Null destination or capacity <= 0: writes
// nothing, 0. Null source: an empty text is written, 0.
int32_t CopyWideBounded(const char16_t* source, int32_t n, char16_t* destination, int32_t capacity);
// The same into an untyped destination (any alignment); capacity in units.
int32_t CopyWideBoundedRaw(const char16_t* source, int32_t n, void* destination, int32_t capacity);

// ---- Assignment into strings and buffers ---------------------------------
// AssignN(text, n) with n = -1 the length; a null text leaves string null.
// Returns 0. AssignWideText is the same function under a second name.
int32_t AssignWide(const char16_t* text, int32_t n, _guardchar<char16_t>& string);
int32_t AssignWideText(const char16_t* text, int32_t n, _guardchar<char16_t>& string);

// n units as UTF-8 (base/utf8.h) into string, terminated. A null or empty
// text gives an empty string that holds a one-byte array (never null).
void WideToUtf8(const char16_t* text, _guardchar<char>& string, int32_t n);

// n bytes of UTF-8 decoded into string, terminated; returns the units.
// A null or empty text gives an empty string with a one-unit array.
int32_t Utf8ToWide(int32_t n, const char* text, _guardchar<char16_t>& string);
// The same with the arguments in text order; returns 0.
int32_t Utf8ToWide(const char* text, int32_t n, _guardchar<char16_t>& string);

// Reallocates buffer to n units (-1: the length) and copies them without a
// terminator. A null text leaves the buffer untouched.
void CopyWideToWordBuffer(const char16_t* text, int32_t n, _typebuf<char16_t>& buffer);
void CopyWideToWordBuffer(int32_t n, const char16_t* text, _typebuf<char16_t>& buffer);

// Reallocates buffer to the UTF-8 size of n units (-1: the length) and
// encodes them, no terminator. Null text: untouched; empty: empty buffer.
void WideToUtf8Buffer(_typebuf<char>& buffer, int32_t n, const char16_t* text);

// Reallocates buffer to the units of n UTF-8 bytes (-1: the length) and
// decodes them, no terminator. Null text: untouched.
void Utf8ToWordBuffer(int32_t n, _typebuf<char16_t>& buffer, const char* text);

// ---- Numbers -------------------------------------------------------------
// Skips leading blanks (IsSpace); an empty remainder gives 0. After "0x" or
// "0X" the digits are read as hexadecimal ("%llx"), otherwise as a signed
// decimal ("%lld"). No digits at all give -1 (all bits set).
int64_t ParseInt64A(const char* text);
int64_t ParseInt64W(const char16_t* text);
// 0..255 from the first two units read as hexadecimal digits; -1 when either
// is not a hexadecimal digit or the text is null.
int32_t ParseHexByteW(const char16_t* text);
// True when all n bytes are zero; false for a null block.
bool IsAllZero(const void* block, int32_t n);
// Number of set bits.
int32_t CountBits64(uint64_t value);
