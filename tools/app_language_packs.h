// The application's built-in pack images, compiled from tools/lang/*.txt by
// tools/app_lang_pack.py at build time (generated/tools/app_lang_packs.cpp).
// Internal to the application's language provider and its tests.
#pragma once

#include <cstdint>

namespace tw {

struct sAppPack {
  int32_t id;
  const unsigned char* data;
  int32_t size;
};

// In search order: ids 0, 2, 6, 4, 3, 8, 9, 10, 11, 5, 7, 12.
extern const sAppPack kAppPacks[12];

}  // namespace tw
