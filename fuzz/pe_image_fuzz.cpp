// Program images given to the builder as its base: whatever the bytes, the
// header and resource walk stays inside the image, and a layout it accepts
// names a version resource and an optional header that lie in the file.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "package/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 22)) return 0;
  // An exact-size copy, so that a read past the end is caught.
  std::vector<uint8_t> image(data, data + size);
  sPeLayout layout;
  const char* errorLine = nullptr;
  const int32_t code = ReadPeLayout(image.data(), static_cast<uint32_t>(size), layout, errorLine);
  if (code != 0) {
    if (code != 2 || errorLine == nullptr) std::abort();
    return 0;
  }
  if (static_cast<uint64_t>(layout.versionOffset) + layout.versionSize > size ||
      static_cast<uint64_t>(layout.optHeaderOffset) + layout.optHeaderSize > size) {
    std::abort();
  }
  ClearChecksumAndCertificate(image.data(), static_cast<uint32_t>(size), layout);
  // The resource section alone, as the walk sees it.
  tResourceTypes types;
  WalkResourceDirectory(image.data() + layout.rsrcRaw, layout.rsrcSize, types);
  return 0;
}
