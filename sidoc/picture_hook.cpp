// See sidoc/picture_hook.h.
#include "sidoc/picture_hook.h"

#include <cstring>
#include <new>

#include "base/memio.h"
#include "gui/picture.h"
#include "picture/pict_factory.h"

namespace {

tDocPictureDecoder g_decoder = nullptr;

bool StartsWith(const void* data, uint32_t size, const char* signature, uint32_t n) {
  return size >= n && std::memcmp(data, signature, n) == 0;
}

// The format a file's signature claims, kPictFormatNone for none of the
// forms documents are known to carry.
int32_t SignatureFormat(const void* data, uint32_t size) {
  if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) return kPictFormatPNG;
  if (StartsWith(data, size, "\xFF\xD8\xFF", 3)) return kPictFormatJPEG;
  if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) return kPictFormatGIF;
  if (StartsWith(data, size, "BM", 2) && size >= 26) return kPictFormatBMP;
  return kPictFormatNone;
}

// Whether the factory has a decoder of the format in this build.
bool FormatIsBuilt(int32_t format) {
  int32_t count = 0;
  const sPictProbe* probes = PictProbes(count);
  for (int32_t i = 0; i < count; ++i)
    if (probes[i].format == format) return probes[i].detect != nullptr && probes[i].create != nullptr;
  return false;
}

// What a file the factory refused is: one of a form without a decoder here
// still counts as recognised.
eDocPictureResult Refused(const void* data, uint32_t size) {
  const int32_t format = SignatureFormat(data, size);
  if (format == kPictFormatNone) return eDocPictureResult::kUnrecognised;
  return FormatIsBuilt(format) ? eDocPictureResult::kFailed : eDocPictureResult::kNoDecoder;
}

}  // namespace

eDocPictureResult FactoryDocumentPicture(const void* data, uint32_t size, std::unique_ptr<cPicture>* out) {
  if (data == nullptr || size == 0) return eDocPictureResult::kUnrecognised;
  try {
    cBufWrapperIO stream(data, size);
    sPictInfo info;
    std::unique_ptr<cPictBase> decoder(CreatePicture(&stream, &info));
    if (decoder == nullptr) return Refused(data, size);
    if (out == nullptr) return eDocPictureResult::kDecoded;
    if (!stream.Seek(0) || !decoder->Load(&stream)) return eDocPictureResult::kFailed;
    const int32_t width = decoder->GetWidth(), height = decoder->GetHeight();
    _typebuf<uint32_t> pixels;
    if (width < 1 || height < 1 || !decoder->GetPixels32(pixels)) return eDocPictureResult::kFailed;
    // Both keep rows bottom first: the pixels move over as they are.
    auto picture = std::make_unique<cPicture>();
    if (!picture->AdoptPixels(pixels, width, height)) return eDocPictureResult::kFailed;
    *out = std::move(picture);
    return eDocPictureResult::kDecoded;
  } catch (const std::bad_alloc&) {
    // A picture too large for memory does not decode.
    return eDocPictureResult::kFailed;
  }
}

eDocPictureResult DecodeDocumentPicture(const void* data, uint32_t size, std::unique_ptr<cPicture>* out) {
  if (out != nullptr) out->reset();
  const eDocPictureResult result =
      g_decoder != nullptr ? g_decoder(data, size, out) : FactoryDocumentPicture(data, size, out);
  // A decoder's picture without pixels is no picture.
  if (result == eDocPictureResult::kDecoded && out != nullptr &&
      (*out == nullptr || (*out)->GetWidth() < 1 || (*out)->GetHeight() < 1 || (*out)->GetPixels() == nullptr)) {
    out->reset();
    return eDocPictureResult::kFailed;
  }
  return result;
}

void SetDocumentPictureDecoder(tDocPictureDecoder decoder) { g_decoder = decoder; }
