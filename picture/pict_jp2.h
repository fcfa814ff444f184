// JPEG 2000 through OpenJPEG: cPictJP2 (JP2 box files, format id 8) and
// cPictJ2K (bare codestreams, format id 9) over their common base
// cPictJP2Base, which turns the library's decoded image into pixels
// (StoreDecodedImage), and cJP2FileIOTarget, the buffered stream the library
// reads through.
//
// Rules:
//  a. No state is kept between calls: every ReadInfo and Load builds its
//     stream adapter, decompressor and image record and frees them before it
//     returns. The library's defaults apply (full resolution, all layers);
//     its messages go nowhere.
//  b. The picture is written only by StoreDecodedImage, after a complete
//     decode; a failed header read or decode leaves it untouched.
//  c. Neither class streams by itself (CanStreamToCanvas false): a container
//     that attaches a canvas before Load gets the output streamed into it.
//  d. Pictures of kMaxPixelCount pixels or more are refused before the
//     library decodes them (their pixels could not be allocated anyway).
//  e. No entry point lets an exception out.
#pragma once

#include <cstdint>

#include "base/buffered_io.h"
#include "picture/pict_base.h"

struct opj_image;

// The stream the library reads: a 4096-byte read buffer over the picture's
// stream (borrowed), rewound to 0 on construction.
class cJP2FileIOTarget : public cMemBufferedIO {
public:
  static constexpr int32_t kBufferSize = 4096;
  explicit cJP2FileIOTarget(cFileIOTarget* source);
  ~cJP2FileIOTarget() override;
};

class cPictJP2Base : public cPictBase {
public:
  // Turns a decoded image into this picture's 32-bit pixels (rows bottom-up)
  // or streams it into picture's attached canvas. Colour spaces: grey, sRGB,
  // sYCC, CMYK and CIELab (the library's record: colour space unknown, an
  // icc buffer of length 0 whose first word is 14, and whose second word is
  // "DEF" when the defaults apply; those are then written back into words
  // 2 to 7). False for an empty area, 2 or more than 4 components, a first
  // component below 8 bits, a component without samples or a failed
  // allocation; the picture then has its new size and undefined pixels.
  // A subsampled component is sampled at the grid position of each output
  // pixel relative to the component's own origin, clamped to its samples.
  static bool StoreDecodedImage(cPictJP2Base* picture, opj_image* image);

protected:
  // codec: the library's format code (OPJ_CODEC_J2K or OPJ_CODEC_JP2).
  bool ReadHeaderInfo(cFileIOTarget* stream, sPictInfo* info, int32_t codec);
  bool LoadWithCodec(cFileIOTarget* stream, int32_t codec, bool setDecodeArea);
};

class cPictJP2 : public cPictJP2Base {
public:
  int32_t GetFormat() const override { return kPictFormatJP2; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);
};

class cPictJ2K : public cPictJP2Base {
public:
  int32_t GetFormat() const override { return kPictFormatJ2K; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);
};
