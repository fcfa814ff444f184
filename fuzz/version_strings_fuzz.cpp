// The version-string walk over any bytes, with a round trip: whatever it
// collects, written back as String nodes (each value with the character the
// walk drops), reads back the same.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "base/memio.h"
#include "tools/file_props.h"

namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

// One String node: head, key, padding, value + 'X'; false when it would not
// fit a node's 16-bit length.
bool PutString(std::vector<uint8_t>& area, const std::u16string& key, const std::u16string& value) {
  std::vector<uint8_t> n(6, 0);
  for (char16_t c : key) Put16(n, c);
  Put16(n, 0);
  while (n.size() % 4 != 0) n.push_back(0);
  for (char16_t c : value) Put16(n, c);
  Put16(n, u'X');
  if (n.size() > 0xFFFF) return false;
  n[0] = static_cast<uint8_t>(n.size());
  n[1] = static_cast<uint8_t>(n.size() >> 8);
  n[2] = static_cast<uint8_t>(value.size() + 1);
  n[3] = static_cast<uint8_t>((value.size() + 1) >> 8);
  n[4] = 1;
  while (area.size() % 4 != 0) area.push_back(0);
  area.insert(area.end(), n.begin(), n.end());
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 18)) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  std::map<std::u16string, std::u16string> found;
  ParseVersionStrings(&io, &found);
  std::vector<uint8_t> area;
  for (const auto& [key, value] : found) {
    if (value.size() > 1 && (value.back() == u' ' || value.back() == 0)) std::abort();
    if (!PutString(area, key, value)) return 0;
  }
  cBufWrapperIO again(area.data(), static_cast<uint32_t>(area.size()));
  std::map<std::u16string, std::u16string> back;
  if (!ParseVersionStrings(&again, &back) || back != found) std::abort();
  return 0;
}
