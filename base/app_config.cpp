// See base/app_config.h.
#include "base/app_config.h"

#include <cstring>

#include "base/strings.h"

bool cApplicationConfig::ReadBytes(void*, uint32_t, cConfigNode*) { return false; }
bool cApplicationConfig::WriteBytes(const void*, uint32_t, cConfigNode*) { return false; }
bool cApplicationConfig::Create(const char16_t*) { return false; }
bool cApplicationConfig::Save() { return false; }
bool cApplicationConfig::RevertChanged() { return false; }
bool cApplicationConfig::DeleteKey(const char*) { return false; }
bool cApplicationConfig::Exists(const char*) { return false; }
bool cApplicationConfig::EnumKeys(const char*, tEnumCallback, void*) { return false; }

namespace {
// Rule b: every component non-empty, at most the section and
// tw::kConfigMaxDepth levels below it. Checked before anything is resolved,
// so that a refused path creates no section file on its way.
bool IsUsablePath(const char* path) {
  int32_t components = 1;
  const char* start = path;
  for (const char* p = path;; ++p) {
    if (*p == '/' || *p == 0) {
      if (p == start) return false;
      if (*p == 0) break;
      if (++components > tw::kConfigMaxDepth + 1) return false;
      start = p + 1;
    }
  }
  return true;
}
}  // namespace

cConfigNode* cApplicationConfig::Resolve(const char* path, bool create) {
  if (path == nullptr || path[0] == 0) return Root();
  cConfigNode* node = Root();
  if (node == nullptr || !IsUsablePath(path)) return nullptr;
  // One component at a time, copied so that Child sees a terminated name.
  _typebuf<char> component(static_cast<int32_t>(std::strlen(path) + 1));
  const char* rest = path;
  while (node != nullptr) {
    const char* slash = std::strchr(rest, '/');
    const size_t n = slash != nullptr ? static_cast<size_t>(slash - rest) : std::strlen(rest);
    std::memcpy(component.data, rest, n);
    component.data[n] = 0;
    node = Child(component.data, node, create);
    if (slash == nullptr) break;
    rest = slash + 1;
  }
  return node;
}

bool cApplicationConfig::GetBytes(const char* path, _typebuf<char>& out) {
  cConfigNode* node = Resolve(path, false);
  uint32_t size = 0;
  if (node == nullptr || !ValueSize(node, size)) return false;
  out.Reallocate(static_cast<int32_t>(size));
  if (size == 0) return true;
  return ReadBytes(out.data, size, node);
}

bool cApplicationConfig::GetInt64(const char* path, uint64_t& out) {
  cConfigNode* node = Resolve(path, false);
  uint32_t size = 0;
  if (node == nullptr || !ValueSize(node, size) || size < 1 || size > 8) return false;
  uint8_t bytes[8] = {};
  if (!ReadBytes(bytes, size, node)) return false;
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | bytes[i];
  out = v;
  return true;
}

bool cApplicationConfig::GetString(const char* path, _guardchar<char16_t>& out) {
  cConfigNode* node = Resolve(path, false);
  uint32_t size = 0;
  if (node == nullptr || !ValueSize(node, size)) return false;
  if (size == 0) {
    out.Clear();
    return true;
  }
  _typebuf<char> bytes(static_cast<int32_t>(size));
  if (!ReadBytes(bytes.data, size, node)) return false;
  Utf8ToWide(bytes.data, static_cast<int32_t>(size), out);
  return true;
}

uint16_t cApplicationConfig::GetU16(const char* path) {
  uint64_t v = 0;
  GetInt64(path, v);
  return static_cast<uint16_t>(v);
}

int32_t cApplicationConfig::GetInt(const char* path) {
  uint64_t v = 0;
  GetInt64(path, v);
  return static_cast<int32_t>(static_cast<uint32_t>(v));
}

uint64_t cApplicationConfig::GetInt64Value(const char* path) {
  uint64_t v = 0;
  GetInt64(path, v);
  return v;
}

bool cApplicationConfig::SetBytes(const char* path, const void* bytes, uint32_t n) {
  // Refused before resolving, so that an oversized write neither creates
  // the key nor marks its section changed.
  if (n > static_cast<uint32_t>(tw::kConfigMaxValueSize)) return false;
  cConfigNode* node = Resolve(path, true);
  if (node == nullptr) return false;
  return WriteBytes(bytes, n, node);
}

namespace {
template <int N>
void LittleEndian(uint64_t v, uint8_t (&out)[N]) {
  for (int i = 0; i < N; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

bool cApplicationConfig::SetU16(const char* path, uint16_t value) {
  uint8_t b[2];
  LittleEndian(value, b);
  return SetBytes(path, b, 2);
}

bool cApplicationConfig::SetInt(const char* path, int32_t value) {
  uint8_t b[4];
  LittleEndian(static_cast<uint32_t>(value), b);
  return SetBytes(path, b, 4);
}

bool cApplicationConfig::SetInt64(const char* path, int64_t value) {
  uint8_t b[8];
  LittleEndian(static_cast<uint64_t>(value), b);
  return SetBytes(path, b, 8);
}

bool cApplicationConfig::SetString(const char* path, const char16_t* text, int32_t n) {
  _typebuf<char> bytes;
  if (text != nullptr && n != 0) WideToUtf8Buffer(bytes, n < 0 ? -1 : n, text);
  return SetBytes(path, bytes.data, static_cast<uint32_t>(bytes.count));
}
