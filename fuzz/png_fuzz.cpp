// Fuzz target for the PNG decoder; the input and the properties are those
// of fuzz/picture_decoder_fuzz.h. Streaming reads the chunks straight into
// the attached canvas.
#include "fuzz/picture_decoder_fuzz.h"
#include "picture/pict_png.h"

namespace {

struct sPngTraits {
  using tDecoder = cPictPNG;
  static constexpr bool kSizeAlsoOnFailure = false;
  static bool SkipStreaming(cPictPNG&) { return false; }
  static bool StreamLoad(cPictPNG& png, cBufWrapperIO& io) {
    png.SetHeaderOnly(false);
    return png.ReadChunks(&io);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzPictureDecoder<sPngTraits>(data, size);
}
