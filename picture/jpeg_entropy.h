// The JPEG entropy decoder shared by the scan drivers and the lossless
// decoder (internal to the picture library): per-scan state, derived Huffman
// tables with an 8-bit lookahead, the bit reader with byte stuffing and
// marker detection, restarts and the block decoders of every Huffman DCT
// scan kind.
//
// The bit buffer holds up to 64 bits; the reader stops in front of a marker,
// which becomes the parser's pending marker, and never pads: a decode that
// needs bits past the data fails.
#pragma once

#include <cstdint>

#include "picture/jpeg_parser.h"

enum eJpegScanKind : int32_t {
  kScanDcFirst = 0,
  kScanAcFirst = 1,
  kScanDcRefine = 2,
  kScanAcRefine = 3,
  kScanSequential = 4,
  kScanLossless = 5,
};

struct sJpegDerivedTable {
  int32_t maxCode[18];   // largest code of each length, -1 none; [17] sentinel
  int32_t valOffset[17];
  const sJpegHuffTable* source = nullptr;
  uint8_t lookBits[256];  // code length by 8-bit prefix, 0 when longer
  uint8_t lookSym[256];
};

struct sJpegScanState {
  int32_t kind = 0;
  uint64_t bitBuffer = 0;
  int32_t bitsLeft = 0;
  uint64_t bitBuffer64 = 0;  // the little-endian word reader of camera strips
  int32_t eobRun = 0;
  int32_t restartsToGo = 0;
  int32_t nextRestart = 0;
  sJpegDerivedTable* acTable = nullptr;
  sJpegDerivedTable tables[12];  // 0..3 progressive, 4..7 DC, 8..11 AC
  cJPEGParser* parser = nullptr;
  _typebuf<int32_t> lastDc;
  _typebuf<int32_t> dcTableOf;
  _typebuf<sJpegDerivedTable*> componentDc;
  _typebuf<sJpegDerivedTable*> componentAc;

  sJpegScanState() = default;
  sJpegScanState(const sJpegScanState&) = delete;
  sJpegScanState& operator=(const sJpegScanState&) = delete;
};

// The zigzag-to-natural orders for block sizes 1 to 8; each carries 16
// extra entries of the last position so that corrupt runs stay inside.
const uint8_t* JpegNaturalOrder(int32_t blockSize);

void InitScanDecoderState(sJpegScanState& state);
void FreeScanDecoderState(sJpegScanState& state);
bool StartScan(sJpegScanState& state, cJPEGParser* parser);
bool BuildDerivedTable(sJpegScanState& state, sJpegDerivedTable& table, bool dc, int32_t number);
// Reads until more than 56 bits are buffered or a marker or the end stops it;
// true when at least needed bits are buffered.
bool FillBitBuffer(sJpegScanState& state, int32_t needed);
// A symbol 0..255, or -1 for corrupt data.
int32_t DecodeHuffman(sJpegScanState& state, const sJpegDerivedTable& table);
bool ProcessRestart(sJpegScanState& state);
bool ReadRestartMarker(sJpegScanState& state);
bool DecodeMcuBlock(sJpegScanState& state, sJpegBlock& block);
// s bits (1..16) as a signed value; false when the data runs out.
bool ReceiveExtend(sJpegScanState& state, int32_t s, int32_t& value);
// 64-bit little-endian word reader of camera strips.
bool FillBitBuffer64(sJpegScanState& state);
int32_t DecodeHuffmanLossless(sJpegScanState& state, const sJpegDerivedTable& table);
