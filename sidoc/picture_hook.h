// The one place where documents turn picture files into pixels.
//
// The picture factory decodes them: it recognises the file, its decoder
// loads it, and the 32-bit pixels move into a cPicture. PNG, JPEG, GIF and
// BMP files are also recognised by their signatures, so that a document
// whose picture has no decoder in this build still loads: the loader keeps
// an empty picture slot and the picture box shows as an empty box of its
// stated size. Tests may install a decoder of their own with
// SetDocumentPictureDecoder.
#pragma once

#include <cstdint>
#include <memory>

class cPicture;

enum class eDocPictureResult : int32_t {
  kDecoded,       // *out holds the picture (width and height at least 1)
  kUnrecognised,  // no known picture form
  kFailed,        // recognised, but it does not decode or has no pixels
  kNoDecoder,     // recognised; nothing can decode it in this build
};

// Recognises, and when out is not null decodes, the size bytes at data into
// *out (rows bottom first, as cPicture keeps them). With out null only the
// recognition runs: kDecoded and kNoDecoder both mean "recognised", and
// kFailed means the file looks like a form this build decodes but the
// factory does not accept it.
using tDocPictureDecoder = eDocPictureResult (*)(const void* data, uint32_t size, std::unique_ptr<cPicture>* out);

// The installed decoder (the factory decoder below unless replaced).
eDocPictureResult DecodeDocumentPicture(const void* data, uint32_t size, std::unique_ptr<cPicture>* out);
// Replaces the decoder for the whole program; null restores the factory
// decoder. Not thread-safe: set it before documents are compiled or loaded.
void SetDocumentPictureDecoder(tDocPictureDecoder decoder);
// The factory decoder itself, for decoders that fall back on it.
eDocPictureResult FactoryDocumentPicture(const void* data, uint32_t size, std::unique_ptr<cPicture>* out);
