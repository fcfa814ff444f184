// The previews of the camera decoders: fitting a decoded preview into the
// caller's picture, and the fitted JPEG preview that reads an embedded JPEG
// from a window of the stream straight into a picture of the fitted size.
//
// Fitting rule: a maximum of 0 or less counts as the preview's own size;
// when both maxima are at least the preview's size the preview is moved as
// decoded; otherwise s = min(maxHeight / h, maxWidth / w, 1) and the target
// is trunc(w * s + 0.5) x trunc(h * s + 0.5) (refused when a side is 0).
#pragma once

#include <cstdint>

#include "base/fileio.h"

class cPictBase;

// The fitted size of a w x h preview (the rule above); false for a zero side
// of the preview or of the target. Out-parameters written only on success.
bool FittedPreviewSize(int32_t w, int32_t h, int32_t maxWidth, int32_t maxHeight, int32_t& outWidth,
                       int32_t& outHeight);

// Moves preview (decoded, any depth) into destination by the rule above;
// scaled copies are rendered into a blank 32-bit picture. False, destination
// unchanged, when preview has no pixels or the target cannot be made.
bool FitRawPreview(cPictBase& preview, cPictBase* destination, int32_t maxWidth, int32_t maxHeight);

// The JPEG in [offset, offset + length) of stream, fitted into destination
// by the rule above; a scaled JPEG streams into the blank picture as a
// canvas. False for an empty window, a window beyond the stream, a JPEG
// that does not decode, a zero target side.
bool LoadFittedJpegPreview(cFileIOTarget* stream, uint64_t offset, uint64_t length, cPictBase* destination,
                           int32_t maxWidth, int32_t maxHeight);
