// The one place where documents turn picture files into pixels.
//
// HOOK (picture factory): the picture library's factory is not part of the
// build yet. Until it is, DecodeDocumentPicture runs a stand-in that
// recognises PNG, JPEG, GIF and BMP files by their signatures and decodes
// none of them: the loader then keeps an empty picture slot, and the picture
// box shows as an empty box of its stated size. When the factory lands, the
// stand-in's body becomes "create an unloaded decoder, load, take the 32-bit
// pixels over" and nothing else in sidoc/ changes. Tests and tools may also
// install a decoder of their own with SetDocumentPictureDecoder.
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
// recognition runs and kDecoded / kNoDecoder both mean "recognised".
using tDocPictureDecoder = eDocPictureResult (*)(const void* data, uint32_t size, std::unique_ptr<cPicture>* out);

// The installed decoder (the stand-in above unless replaced).
eDocPictureResult DecodeDocumentPicture(const void* data, uint32_t size, std::unique_ptr<cPicture>* out);
// Replaces the decoder for the whole program; null restores the stand-in.
// Not thread-safe: set it before documents are compiled or loaded.
void SetDocumentPictureDecoder(tDocPictureDecoder decoder);
// The stand-in itself, for decoders that fall back on it.
eDocPictureResult StandInDocumentPicture(const void* data, uint32_t size, std::unique_ptr<cPicture>* out);
