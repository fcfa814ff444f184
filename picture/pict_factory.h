// The picture factory and fitted loading: CreatePicture recognises a
// stream's format by trying the probes of the decoder classes in one fixed
// order; LoadPictureFitted delivers a picture of at most a given size,
// preferring an embedded preview and streaming into the target when the
// decoder can.
//
// Result codes of the fitted loading:
//   0 done; 1 bad arguments or empty picture; 2 allocation or rendering
//   failed; 3 no format recognised (LoadPictureFitted only); 4 the decoder
//   failed; 5 no usable preview and full decoding not allowed.
//
// No entry point lets an exception out: a decoder that throws counts as
// failing (result 2 for memory exhaustion, 4 for anything else).
#pragma once

#include <cstdint>

#include "base/fileio.h"
#include "picture/pict_base.h"

enum ePictFitResult : int32_t {
  kFitDone = 0,
  kFitBadArguments = 1,
  kFitAllocation = 2,
  kFitUnknownFormat = 3,
  kFitDecodeFailed = 4,
  kFitNoPreview = 5,
};

// One probe of the factory: the detection of a format (the stream at 0, info
// may be null; true when the stream is of the format, with info filled) and
// the constructor of its decoder. Formats whose decoders are not built
// answer "not mine" (a null detect).
struct sPictProbe {
  int32_t format;
  bool (*detect)(cFileIOTarget* stream, sPictInfo* info);
  cPictBase* (*create)();
};

// The 34 probes in the order they are tried.
const sPictProbe* PictProbes(int32_t& count);

// With info: the unloaded decoder of the first format whose detection
// accepts the stream, info filled by it. Without: a loaded decoder, where a
// decoder that fails to load is deleted and the later formats are tried.
// Null when none. The caller owns the decoder.
cPictBase* CreatePicture(cFileIOTarget* stream, sPictInfo* info);

// Deletes the decoder the holder points to; the holder is not cleared.
void DeletePicture(cPictBase** holder);

// Fits the stream's picture into maxWidth x maxHeight on white, into
// destination (usually a cPictDummy). A result code above.
int32_t LoadPictureFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight);

// Shrinks a decoded 32-bit source into the box on background; a source that
// fits moves into destination as it is. False for an empty or 64-bit
// source or a failed rendering.
bool FitPictureToBox(cPictBase* destination, cPictBase* source, int32_t maxWidth, int32_t maxHeight,
                     uint32_t background);

// The BMP file header: "BM", reserved words 0, pixel-data offset at least 54
// and not beyond the file size. Reads exactly 14 bytes.
bool CheckBmpFileHeader(cFileIOTarget* stream);
