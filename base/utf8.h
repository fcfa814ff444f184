// The system's UTF-8 flavour. It is the 8-bit form of every key,
// configuration value and stored string, and it differs from standard UTF-8
// in two ways that stored data depends on:
//  a. Each UTF-16 unit is encoded by itself: one byte below 0x80, two below
//     0x800, three otherwise. A surrogate pair becomes two three-byte
//     sequences (six bytes), and decoding gives back the same two units.
//  b. Decoding never fails: a byte that starts no valid one- to three-byte
//     sequence (a lone continuation byte, 0xF0 and above, a lead byte whose
//     next byte is not a continuation byte) is the unit of the same value,
//     U+0080..U+00FF. Overlong forms are accepted as they come.
//
// Lengths: n = -1 means "up to the terminator", and the terminator is then
// converted too (a zero unit or byte is written and counted). Any other n is
// an exact count in which zero units/bytes are ordinary characters; a negative
// n other than -1 is read as -1. Every count function returns exactly what its
// converter writes into a large enough buffer. Nothing past n input units or
// bytes, and nothing past capacity output units or bytes, is ever touched.
#pragma once

#include <cstdint>

// Bytes that Utf8Encode writes for n units (n = -1: the terminator included).
// Null text gives 0.
int32_t Utf8ByteCount(const char16_t* text, int32_t n);

// Encodes n units into out (capacity bytes) and returns the bytes written.
// When capacity ends inside a sequence, the bytes already written stay and
// are counted. Null text or out, or capacity <= 0, writes nothing.
int32_t Utf8Encode(const char16_t* text, int32_t n, char* out, int32_t capacity);

// Units that Utf8Decode writes for n bytes (n = -1: the terminator included).
// Null text gives 0.
int32_t Utf8UnitCount(const char* text, int32_t n);

// Decodes n bytes into out (capacity units) and returns the units written.
// A lead byte whose sequence is cut off by the end of the n counted bytes
// (every byte it has before the end being a continuation byte) yields
// nothing and ends the decoding. Null text or out, or capacity <= 0, writes
// nothing.
int32_t Utf8Decode(const char* text, int32_t n, char16_t* out, int32_t capacity);
