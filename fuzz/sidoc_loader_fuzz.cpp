// Compiled documents: whatever the bytes, the loader ends without a fault,
// and every tree it builds measures and paints at two widths without one.
// A load that succeeded must also succeed again into the same loader (the
// loader empties itself first) with the same number of boxes.
#include <cstdint>
#include <cstdlib>

#include "gui/mem_canvas.h"
#include "sidoc/loader.h"

namespace {

int64_t CountBoxes(const cSiDocBox* box) {
  int64_t n = 1;
  if (box->Kind() == eSiDocBoxKind::kContainer)
    for (const auto& c : static_cast<const cSiDocContainer*>(box)->children) n += CountBoxes(c.get());
  return n;
}

int64_t CountAll(const cSiDocLoader& loader) {
  int64_t n = 0;
  for (auto* node = loader.containers.First(); node != nullptr; node = decltype(loader.containers)::Next(node))
    n += CountBoxes(node->value.get());
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  cSiDocLoader loader;
  if (!LoadCompiledDocument(data, static_cast<uint32_t>(size), &loader)) return 0;
  const int64_t boxes = CountAll(loader);
  if (!LoadCompiledDocument(data, static_cast<uint32_t>(size), &loader) || CountAll(loader) != boxes) std::abort();
  cMemCanvas canvas(96, 64);
  for (auto* node = loader.containers.First(); node != nullptr; node = decltype(loader.containers)::Next(node)) {
    for (int32_t width : {40, 90}) {
      sSiDocArea area;
      area.rightLimit = width;
      sSize size;
      node->value->Measure(&canvas, area, size);
      node->value->Paint(&canvas, area, size);
    }
  }
  return 0;
}
