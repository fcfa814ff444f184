// JBIG2 generic-region decoding (ITU-T T.88 6.2 and 7.4.6): the MQ
// arithmetic decoder (T.88 Annex E) and the decoding of one immediate generic
// region into a packed one-bit bitmap. The JBIG2 picture decoder
// (picture/pict_jbig2.h) reads the region header, positions a stream on the
// region's coded data and composes the bitmap into its page.
//
// Rules:
//  a. Region bitmap: height rows top to bottom of stride = ((width - 1) >> 3)
//     + 1 bytes; pixel (x, y) is bit 7 - (x & 7) of byte y * stride + (x >> 3);
//     1 = foreground (black). Padding bits after the last column are 0.
//  b. The coded data is read from the decoder's stream (borrowed) until it
//     ends; past its end the decoder supplies zero bytes. A 0xFF that is the
//     last byte of the data is taken as the start of a marker: from there on
//     the decoder feeds 1-bits, as it does after 0xFF followed by a byte above
//     0x8F.
//  c. Every decoder path (the generic one and the fast ones chosen for the
//     nominal adaptive-template positions) forms the same context numbers and
//     gives the same bitmap byte for byte; eJbig2Path lets tests force one.
//  d. MMR-coded regions are refused. Pixels an adaptive-template pixel points
//     at that are not decoded yet (at or right of the pixel in its own row,
//     or below it) read as 0.
//  e. Nothing throws on bad data; memory exhaustion raises std::bad_alloc.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/fileio.h"

// The region segment header as the picture decoder read it (host order).
struct sJbig2RegionInfo {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t x = 0;  // left edge on the page (not used here)
  uint32_t y = 0;  // top edge on the page (not used here)
  uint8_t combinationOperator = 0;  // not used here
  uint8_t flags = 0;  // bit 0 MMR, bits 1-2 template, bit 3 typical prediction
  int8_t at[8] = {};  // A1x, A1y .. A4x, A4y; templates 1 to 3 use A1 only
};

// The state of one region decode, owned by the caller.
struct sJbig2GenericDecoder {
  // MQ registers (T.88 Annex E conventions, code register not inverted).
  uint32_t C = 0;
  int32_t A = 0;
  int32_t CT = 0;
  // Coded-data look-ahead: buffer[pos] is the current byte B, bytes up to
  // have are valid; atEnd once the stream has no more.
  uint8_t buffer[256] = {};
  int32_t pos = 0;
  int32_t have = 0;
  bool atEnd = false;
  int32_t stride = 0;
  cFileIOTarget* stream = nullptr;  // borrowed
  // One byte per context: bit 7 MPS, bits 0-6 the probability state.
  _typebuf<uint8_t> contexts;
};

// Starts the MQ decoder (INITDEC) on the bytes at the stream's current
// position. False when the stream is null or has no byte there; bytes
// missing after the first are supplied as rule b says.
bool Jbig2ArithDecoderInit(sJbig2GenericDecoder& decoder, cFileIOTarget* stream);

// One decision with the context byte at the given index: 0 or 1, or -1 when
// the context holds an impossible state.
int32_t Jbig2ArithDecode(sJbig2GenericDecoder& decoder, uint32_t context);

enum eJbig2Path : int32_t {
  kJbig2PathAuto = 0,     // the fast decoder where the AT pixels allow it
  kJbig2PathGeneric = 1,  // always the generic decoder
};

// Decodes the first rows = min(height, rowLimit) rows of the region into
// bitmap (reallocated to stride x rows bytes and cleared first; handed back
// also when decoding fails part-way). The picture decoder passes the rows the
// page can show: later rows never change earlier ones. False for a failed
// decision, and with the bitmap left empty for MMR coding, a size of 0 or a
// bitmap above 2^31 - 1 bytes.
bool Jbig2DecodeGenericRegion(const sJbig2RegionInfo& region, sJbig2GenericDecoder& decoder,
                              _typebuf<uint8_t>& bitmap, uint32_t rowLimit = 0xFFFFFFFFu,
                              eJbig2Path path = kJbig2PathAuto);
