// Fuzz target for the JPEG 2000 decoder of bare JPEG 2000 codestreams (cPictJ2K, through
// OpenJPEG); the input and the properties are those of
// fuzz/picture_decoder_fuzz.h. Streaming: a canvas attached before Load gets
// the output stage's pixels.
#include "fuzz/picture_decoder_fuzz.h"
#include "picture/pict_jp2.h"

namespace {

struct sTraits {
  using tDecoder = cPictJ2K;
  // A refused image keeps the size its record gave and the buffer it got.
  static constexpr bool kSizeAlsoOnFailure = true;
  static bool SkipStreaming(cPictJ2K&) { return false; }
  static bool StreamLoad(cPictJ2K& decoder, cBufWrapperIO& io) { return decoder.Load(&io); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzPictureDecoder<sTraits>(data, size);
}
