// The built-in pack images, compiled from gui/lang/*.txt by gui/lang_pack.py
// at build time (generated/gui/lang_packs.cpp). Internal to the language
// module, its tests and its fuzz target.
#pragma once

#include <cstdint>

namespace tw {

struct sPackImage {
  const unsigned char* data;
  int32_t size;
};

// Indexed by language id 0..12; id 1 (a native name only) is {null, 0}.
extern const sPackImage kBuiltinPackImages[13];
// The pack of native language names (section "lnames").
extern const sPackImage kLanguageNamesPackImage;

}  // namespace tw
