// cPackedKey: the string key of the ordered maps and of the configuration
// store's key paths. The text is packed into 32-bit words, four bytes to a
// word with the first byte most significant, so that comparing the words as
// unsigned numbers orders keys exactly as comparing the bytes would
// (unsigned bytes, a shorter prefix first). Wide text enters as the system's
// UTF-8 (base/utf8.h), whose byte order follows the UTF-16 unit order, so wide
// keys sort ordinally by code unit.
//
// The key stores no byte length: the bytes after the text in the last word
// are zero, and texts that differ only by zero bytes at their end within the
// last word give the same key.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/sorted_tree.h"

class cPackedKey {
public:
  uint32_t* words = nullptr;  // owned; null exactly when count is 0
  int32_t count = 0;

  cPackedKey() = default;
  cPackedKey(const cPackedKey& other) { Assign(other); }
  cPackedKey(cPackedKey&& other) noexcept : words(other.words), count(other.count) {
    other.words = nullptr;
    other.count = 0;
  }
  cPackedKey& operator=(const cPackedKey& other) { return Assign(other); }
  cPackedKey& operator=(cPackedKey&& other) noexcept;
  ~cPackedKey() { Init(); }

  // Frees the words: the empty key.
  void Init() noexcept;

  // The key of n bytes of text as they are (n = -1: up to the terminator;
  // other negative n are read as -1). Null text or n = 0: the empty key.
  cPackedKey& FromText(const char* text, int32_t n);

  // The key of the UTF-8 form of n units (n = -1: up to the terminator, which
  // is left out; any other negative n: up to and including the terminator).
  // An all-zero last word is dropped, once, so a form that includes the
  // terminator equals the form without it. Null text or n = 0: empty key.
  cPackedKey& FromWide(const char16_t* text, int32_t n);

  // Copies other's words (self-assignment keeps the key); returns *this.
  cPackedKey& Assign(const cPackedKey& other);

  // buffer becomes 4 * count bytes: the text followed by its zero padding.
  void ToBytes(_typebuf<char>& buffer) const;

  static int Compare(const cPackedKey& a, const cPackedKey& b);
  static bool Less(const cPackedKey& a, const cPackedKey& b) { return Compare(a, b) < 0; }
  static bool Greater(const cPackedKey& a, const cPackedKey& b) { return Compare(a, b) > 0; }
  static bool Equal(const cPackedKey& a, const cPackedKey& b) { return Compare(a, b) == 0; }
  static bool NotEqual(const cPackedKey& a, const cPackedKey& b) { return Compare(a, b) != 0; }

private:
  // Allocates n words with the last one zeroed; the old words must be gone.
  void AllocateWords(int32_t n);
  // Turns each word from memory order into "first byte most significant".
  void SwapToBigEndian();
};

// Every map keyed by cPackedKey has the depth limit 1024, its temporary
// erase maps included.
template <>
struct cKeyCompare<cPackedKey> {
  static int Compare(const cPackedKey& a, const cPackedKey& b) { return cPackedKey::Compare(a, b); }
  static constexpr uint32_t kEraseLimit = 1024;
};

// The depth limit for maps keyed by cPackedKey.
inline constexpr uint32_t kPackedKeyDepthLimit = 1024;
