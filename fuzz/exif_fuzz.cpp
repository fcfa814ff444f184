// Fuzz target for the EXIF decoder over APP1 payloads (the bytes after
// "Exif\0\0"). Properties: decoding never crashes or recurses without end;
// decoding twice gives the same result and error; the same payload inside a
// JPEG's APP1 segment makes the JPEG's ReadInfo succeed exactly when the
// EXIF decoder does (a failing block ends the JPEG parse), with the same
// make, orientation and thumbnail presence.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "picture/exif.h"
#include "picture/pict_jpeg.h"

namespace {

// Says which property broke before aborting.
void CheckAt(bool ok, int line) {
  if (ok) return;
  std::fprintf(stderr, "property at line %d broken\n", line);
  std::abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

struct sResult {
  bool ok;
  int32_t error;
  bool thumb;
  int32_t rotation;
};

sResult Decode(const uint8_t* data, size_t size, cPictBase& target, bool thumbs) {
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  cExifDecoder d;
  d.SetDecodeThumbnail(thumbs);
  const bool ok = d.Start(&target, &io, cExifDecoder::kIfd0);
  cPictPropInt* r = target.FindIntProp(12);
  return {ok, d.GetError(), target.FindThumbnailProp() != nullptr, r != nullptr ? r->value : -1};
}

// A grey 8 x 8 baseline JPEG, DC only, with the payload as its APP1.
std::vector<uint8_t> Wrap(const uint8_t* data, size_t size) {
  std::vector<uint8_t> f = {0xFF, 0xD8, 0xFF, 0xE1};
  const size_t n = size + 8;
  f.push_back(static_cast<uint8_t>(n >> 8));
  f.push_back(static_cast<uint8_t>(n));
  const uint8_t head[] = {'E', 'x', 'i', 'f', 0, 0};
  f.insert(f.end(), head, head + 6);
  f.insert(f.end(), data, data + size);
  const uint8_t frame[] = {0xFF, 0xC0, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0};
  f.insert(f.end(), frame, frame + sizeof frame);
  f.push_back(0xFF);
  f.push_back(0xD9);
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65000) return 0;  // an APP1 segment holds at most 65533 bytes
  cPictDummy a, b;
  const sResult r1 = Decode(data, size, a, true);
  const sResult r2 = Decode(data, size, b, true);
  Check(r1.ok == r2.ok && r1.error == r2.error && r1.thumb == r2.thumb && r1.rotation == r2.rotation);
  cPictDummy info;
  const sResult r3 = Decode(data, size, info, false);
  Check(r3.ok == r1.ok || r1.error == kTiffThumbnailFailed);
  const std::vector<uint8_t> jpeg = Wrap(data, size);
  cBufWrapperIO io(jpeg.data(), static_cast<uint32_t>(jpeg.size()));
  cPictJPEG j;
  sPictInfo pi;
  const bool jok = j.ReadInfo(&io, &pi);
  Check(jok == r3.ok);
  if (jok) {
    cPictPropInt* rot = j.FindIntProp(12);
    Check((rot != nullptr ? rot->value : -1) == r3.rotation);
    Check(pi.hasPreview == r3.thumb);
  }
  return 0;
}
