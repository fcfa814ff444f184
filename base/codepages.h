// Conversion between UTF-16 and 8-bit text with the system's own tables, never
// the platform's converters. UTF-8 (65001, the system's flavour of
// base/utf8.h) is what the rest of the system passes; the other families
// decode legacy text: single-byte pages, the double-byte Windows pages
// 932/936/949/950, EUC (51932, 51936, 51949) and ISO-2022 (50221, 50227).
// Single-byte pages also encode, through reverse maps built once per page
// on first use (safe against concurrent first use) and kept until exit.
//
// Rules for every function here:
//  a. Code pages are Windows numbers. 0 is replaced by GetAnsiCodePage(); when
//     that lookup fails (always on the native build) 0 stays and means the
//     Latin-1 table. A number in no family converts nothing and gives 0.
//  b. n = -1 means "up to the terminator", and the terminator is converted
//     too: a zero unit (or byte) is written and counted.
//  c. Decoding of every family but UTF-8 also stops at a zero byte inside an
//     explicit n, writing a zero unit. UTF-8 with an explicit n converts a
//     zero byte like any other character.
//  d. Nothing is read past n bytes or the terminator, and nothing is written
//     past capacity; a capacity of 0 writes nothing.
//  e. Counting functions return what the converter writes into a large
//     enough buffer (the single-byte count is an upper bound: n).
#pragma once

#include <cstdint>

inline constexpr int32_t kCodePageUtf8 = 65001;

// The ANSI code page of the user's default locale, or 0 when it cannot be
// read (the native build has none).
int32_t GetAnsiCodePage();

// Family membership (0 and 28591 count as single-byte).
bool IsSingleByteCodePage(int32_t codePage);
bool IsDbcsCodePage(int32_t codePage);
bool IsEucCodePage(int32_t codePage);

// Units MultiByteToWide writes for n bytes. Null text or n = 0 gives 0.
int32_t MultiByteLength(const char* text, int32_t n, int32_t codePage);
// Decodes into output (capacity units); a null output gives the length.
int32_t MultiByteToWide(const char* text, int32_t n, char16_t* output, int32_t capacity, int32_t codePage);

// Bytes for n units: UTF-8 and single-byte pages only, 0 for the others.
int32_t WideToMultiByteLength(int32_t codePage, int32_t n, const char16_t* text);
// UTF-8 only: the byte count without an output, else the bytes written.
int32_t WideToMultiByte(const char16_t* text, char* output, int32_t n, int32_t capacity);

// The 256 units of a single-byte page, or the Latin-1 table.
const char16_t* GetSingleByteTable(int32_t codePage);
// The byte of unit in the page (a unit that several bytes decode to gives
// the highest of them); 0 when the page has no byte for it.
uint8_t GetSingleByteForUnit(int32_t codePage, char16_t unit);
// Encodes n units into output (capacity bytes); a unit without a byte becomes
// '?'. Stops after a zero unit, which is written as a zero byte. Returns the
// bytes written.
int32_t WideToSingleByte(const char16_t* text, int32_t n, char* output, int32_t capacity, int32_t codePage);

// The family converters behind MultiByteToWide (code page already resolved,
// output may be null to count; capacity is then ignored).
int32_t SingleByteDecode(const char* text, int32_t n, char16_t* output, int32_t capacity, int32_t codePage);
// Double-byte pages. A lead byte followed by 0 or by the end of the input
// ends the text (nothing is read past it); a lead byte with a trail byte
// below 0x40 gives '?' and the trail byte is decoded on its own; a pair that
// the page leaves undefined gives '?'.
int32_t DbcsDecode(const char* text, int32_t n, char16_t* output, int32_t capacity, int32_t codePage);
int32_t DbcsUnitCount(const char* text, int32_t n, int32_t codePage);
// EUC and ISO-2022: the first malformed sequence, unassigned character or
// unknown escape ends the conversion; what came before stays. Inside a
// two-byte set every byte belongs to a pair, so a control byte there (a line
// feed before the shift back to ASCII) ends the conversion too.
int32_t EucDecode(const char* text, int32_t n, char16_t* output, int32_t capacity, int32_t codePage);
int32_t EucUnitCount(const char* text, int32_t n, int32_t codePage);
