// Section files of the configuration store: whatever the bytes, the reader
// ends without a fault, and a tree it accepted is written back (the writer
// refuses nothing the reader accepts) and reads back as the same tree, whose
// image is then a fixed point.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/config_node.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  cConfigNode root;
  if (!tw::ParseSectionImage(data, static_cast<uint32_t>(size), root)) return 0;
  _typebuf<char> image;
  if (!tw::BuildSectionImage(root, image)) std::abort();
  cConfigNode again;
  if (!tw::ParseSectionImage(image.data, static_cast<uint32_t>(image.count), again)) std::abort();
  if (!cConfigNode::SameTree(root, again)) std::abort();
  _typebuf<char> second;
  if (!tw::BuildSectionImage(again, second) || second.count != image.count ||
      std::memcmp(second.data, image.data, static_cast<size_t>(image.count)) != 0)
    std::abort();
  return 0;
}
