// The program-file property bag over any bytes: the walk stays inside the
// data, and what it gives obeys the bag's promises. The last two bytes pick
// the wanted icon size (0x00..0x7F; 0x7F means no limit), the rest is the
// file.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/memio.h"
#include "tools/file_props.h"

namespace {
int32_t Wanted(uint8_t b) { return (b & 0x7F) == 0x7F ? -1 : (b & 0x7F); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  const int32_t ww = Wanted(data[size - 2]), wh = Wanted(data[size - 1]);
  // An exact-size copy, so that a read past the end is caught.
  std::vector<uint8_t> file(data, data + size - 2);
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  if (!IsPeWithResources(&io)) return 0;
  cWinExeProps bag;
  bag.wantedWidth = ww;
  bag.wantedHeight = wh;
  if (!bag.Load(&io, nullptr, true)) return 0;
  if (cPictDummy* p = FindPictureKey3(&bag)) {
    // Icons are only shrunk, and only into a wanted size that is not 0.
    if (ww == 0 || wh == 0 || !p->HasPixels() || p->GetWidth() < 1 || p->GetHeight() < 1) std::abort();
    if ((ww > 0 && p->GetWidth() > ww) || (wh > 0 && p->GetHeight() > wh)) std::abort();
  }
  // Only the strings the bag names.
  for (auto* n = bag.strings.First(); n != nullptr; n = decltype(bag.strings)::Next(n))
    if (n->key != 6 && n->key != 7 && n->key != 8 && n->key != 9 && n->key != 11) std::abort();
  return 0;
}
