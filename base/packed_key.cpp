// See base/packed_key.h.
#include "base/packed_key.h"

#include <cstring>
#include <new>

#include "base/size_guard.h"
#include "base/utf8.h"

cPackedKey& cPackedKey::operator=(cPackedKey&& other) noexcept {
  if (this != &other) {
    Init();
    words = other.words;
    count = other.count;
    other.words = nullptr;
    other.count = 0;
  }
  return *this;
}

void cPackedKey::Init() noexcept {
  tw::GuardedFree(words);
  words = nullptr;
  count = 0;
}

void cPackedKey::AllocateWords(int32_t n) {
  words = static_cast<uint32_t*>(tw::GuardedAlloc(n, sizeof(uint32_t)));
  count = n;
  words[n - 1] = 0;
}

void cPackedKey::SwapToBigEndian() {
  for (int32_t i = 0; i < count; ++i) {
    const auto* b = reinterpret_cast<const uint8_t*>(words + i);
    words[i] = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
               (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
  }
}

cPackedKey& cPackedKey::FromText(const char* text, int32_t n) {
  Init();
  if (text == nullptr) return *this;
  const int64_t bytes = n < 0 ? static_cast<int64_t>(std::strlen(text)) : n;
  const int64_t nwords = (bytes + 3) / 4;
  if (nwords == 0) return *this;
  if (nwords > INT32_MAX) throw std::bad_alloc();
  AllocateWords(static_cast<int32_t>(nwords));
  std::memcpy(words, text, static_cast<size_t>(bytes));
  SwapToBigEndian();
  return *this;
}

cPackedKey& cPackedKey::FromWide(const char16_t* text, int32_t n) {
  Init();
  if (text == nullptr || n == 0) return *this;
  int32_t units = n;
  if (n == -1) {
    units = static_cast<int32_t>(_guardchar<char16_t>::Length(text));
    if (units == 0) return *this;
  } else if (n < 0) {
    units = -1;  // to the terminator, which is encoded too
  }
  const int64_t bytes = Utf8ByteCount(text, units);
  const int64_t nwords = (bytes + 3) / 4;
  if (nwords == 0) return *this;
  AllocateWords(static_cast<int32_t>(nwords));
  Utf8Encode(text, units, reinterpret_cast<char*>(words), static_cast<int32_t>(bytes));
  SwapToBigEndian();
  if (words[count - 1] == 0) {
    --count;
    if (count == 0) Init();
  }
  return *this;
}

cPackedKey& cPackedKey::Assign(const cPackedKey& other) {
  if (this == &other) return *this;
  Init();
  if (other.count > 0) {
    AllocateWords(other.count);
    std::memcpy(words, other.words, static_cast<size_t>(count) * sizeof(uint32_t));
  }
  return *this;
}

void cPackedKey::ToBytes(_typebuf<char>& buffer) const {
  buffer.Reallocate(static_cast<int32_t>(tw::GuardedBytes(count, 4)));
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t w = words[i];
    buffer.data[4 * i] = static_cast<char>(w >> 24);
    buffer.data[4 * i + 1] = static_cast<char>(w >> 16);
    buffer.data[4 * i + 2] = static_cast<char>(w >> 8);
    buffer.data[4 * i + 3] = static_cast<char>(w);
  }
}

int cPackedKey::Compare(const cPackedKey& a, const cPackedKey& b) {
  const int32_t n = a.count < b.count ? a.count : b.count;
  for (int32_t i = 0; i < n; ++i) {
    if (a.words[i] != b.words[i]) return a.words[i] < b.words[i] ? -1 : 1;
  }
  return a.count < b.count ? -1 : (a.count > b.count ? 1 : 0);
}
