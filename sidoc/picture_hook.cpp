// See sidoc/picture_hook.h.
#include "sidoc/picture_hook.h"

#include <cstring>

#include "gui/picture.h"

namespace {

tDocPictureDecoder g_decoder = nullptr;

bool StartsWith(const void* data, uint32_t size, const char* signature, uint32_t n) {
  return size >= n && std::memcmp(data, signature, n) == 0;
}

}  // namespace

eDocPictureResult StandInDocumentPicture(const void* data, uint32_t size, std::unique_ptr<cPicture>*) {
  if (data == nullptr) return eDocPictureResult::kUnrecognised;
  const bool known = StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8) || StartsWith(data, size, "\xFF\xD8\xFF", 3) ||
                     StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6) ||
                     (StartsWith(data, size, "BM", 2) && size >= 26);
  return known ? eDocPictureResult::kNoDecoder : eDocPictureResult::kUnrecognised;
}

eDocPictureResult DecodeDocumentPicture(const void* data, uint32_t size, std::unique_ptr<cPicture>* out) {
  if (out != nullptr) out->reset();
  const eDocPictureResult result =
      g_decoder != nullptr ? g_decoder(data, size, out) : StandInDocumentPicture(data, size, out);
  // A decoder's picture without pixels is no picture.
  if (result == eDocPictureResult::kDecoded && out != nullptr &&
      (*out == nullptr || (*out)->GetWidth() < 1 || (*out)->GetHeight() < 1 || (*out)->GetPixels() == nullptr)) {
    out->reset();
    return eDocPictureResult::kFailed;
  }
  return result;
}

void SetDocumentPictureDecoder(tDocPictureDecoder decoder) { g_decoder = decoder; }
