// Fuzz target for the JPEG decoder; the input and the properties are those
// of fuzz/picture_decoder_fuzz.h. High-depth (12-bit) pictures are not
// streamed into a 32-bit canvas.
#include "fuzz/picture_decoder_fuzz.h"
#include "picture/pict_jpeg.h"

namespace {

struct sJpegTraits {
  using tDecoder = cPictJPEG;
  static constexpr bool kSizeAlsoOnFailure = true;
  static bool SkipStreaming(cPictJPEG& jpeg) { return jpeg.IsHighDepth(); }
  static bool StreamLoad(cPictJPEG& jpeg, cBufWrapperIO& io) { return jpeg.Load(&io); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzPictureDecoder<sJpegTraits>(data, size);
}
