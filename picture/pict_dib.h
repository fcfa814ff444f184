// cPictDIB: the device-independent bitmap decoder (format id 5), and
// cPictBMP (format id 6), the same behind the 14-byte BMP file header.
// Core (12-byte) and info (40 to 124-byte) headers; 1, 4, 8, 16, 24 and 32
// bits per pixel; palettes; bit fields; RLE8 and RLE4; embedded PNG data;
// the AND mask of icon images. Embedded JPEG data is not decoded here.
//
// Rules:
//  a. The stream is read forwards only, from where the caller put it; gaps
//     before the pixel data are read and discarded (the start of a gap
//     fills the header copy, so masks after a 40-byte header are found).
//  b. "Colours used" is clamped to 2^bits; every size is computed in 64
//     bits and pixel data must fit the end limit and the stream.
//  c. 16-bit and scaled bit-field channels are trunc(v * float(255 / max));
//     masks of exactly 8 bits are taken unscaled.
//  d. An uncompressed 32-bit picture keeps its fourth byte as alpha, except
//     that outside icons a fourth byte that is 0 everywhere means opaque.
//  e. Icon images (SetIconImage) are half the stored height and take the
//     AND mask after the colour rows when they have fewer than 32 bits;
//     DIBs inside icons keep their palette right after the header
//     (SetPaletteAfterHeader).
#pragma once

#include <cstdint>

#include "picture/pict_base.h"

class cPictDIB : public cPictBase {
public:
  int32_t GetFormat() const override { return kPictFormatDIB; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return false; }
  int32_t GetImageCount(cFileIOTarget*) override { return 1; }

  // Reads and checks the DIB header at the stream's position; info gets
  // the size, the height halved for icon images when halve is set.
  bool ReadDIBHeader(cFileIOTarget* stream, sPictInfo* info, bool halve);
  // The factory's bare-DIB probe.
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  void SetIconImage(bool on) { iconImage_ = on; }
  void SetPaletteAfterHeader(bool on) { paletteAfterHeader_ = on; }

protected:
  // Decodes from just after the file header (or the DIB start).
  bool LoadDib(cFileIOTarget* stream);
  uint32_t endLimit_ = 0x7FFFFFFF;
  uint32_t bitsOffset_ = 0;
  uint32_t readPosition_ = 0;
  bool haveFileHeader_ = false;

private:
  bool LoadInner(cFileIOTarget* stream);
  bool ReadPalette(cFileIOTarget* stream, uint64_t& position);
  bool DecodePixels(cFileIOTarget* stream, bool bitFields);
  bool ApplyIconMask(cFileIOTarget* stream);
  bool DecodeRLE(cFileIOTarget* stream, bool four);
  void PutIndexRow(const uint8_t* indexes, int32_t y);
  void PutPixel(int32_t x, int32_t y, uint32_t pixel);
  uint32_t Field(uint32_t at) const;
  uint32_t Compression() const;

  uint8_t header_[124] = {};
  uint32_t headerSize_ = 0;
  _typebuf<uint32_t> palette_;
  bool iconImage_ = false;
  bool paletteAfterHeader_ = false;
  bool streaming_ = false;
};

class cPictBMP : public cPictDIB {
public:
  int32_t GetFormat() const override { return kPictFormatBMP; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  // The factory's BMP probe: file header, then DIB header.
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);
};
