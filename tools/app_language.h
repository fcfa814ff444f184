// The application's interface languages: its twelve built-in language
// packs (the "pkgm::" sections of every form of the application), served
// to the toolkit by cSOPKGLang beside the toolkit's own packs, and how a
// language is applied and chosen at start-up.
//
// Language ids are the toolkit's: 0 English, 2 German, 3 Japanese, 4 Korean,
// 5 French, 6 Ukrainian, 7 Spanish, 8 Simplified Chinese, 9 Traditional
// Chinese, 10 Turkish, 11 Portuguese, 12 Polish; id 1 has no application
// pack, 13 means no choice.
#pragma once

#include <cstdint>

#include "base/lists.h"
#include "gui/language.h"

class cApplicationConfig;
class cChildElement;

// The application pack table's provider. One instance per process, made by
// RegisterPackageLanguages and kept until exit.
class cSOPKGLang : public cLibLang {
public:
  bool Has(int32_t id) const override;
  int32_t GetSize(int32_t id) const override;      // 0 when absent
  const void* GetData(int32_t id) const override;  // null when absent
  int32_t GetDefault() const override;              // the first entry's: 0
};

// Creates the provider and registers it with the toolkit once; later calls
// do nothing. Returns the provider.
cSOPKGLang* RegisterPackageLanguages();

// SetCurrentLanguage(id) for every registered provider (the default
// standing in where one lacks the id); on success also the UI font for it.
// False, nothing else changed, when the switch fails.
bool ApplyLanguage(int32_t id);

// At start-up: registers the provider, then keeps the stored "lang/current"
// (the store's per-user value first) when the provider has that pack and it
// applies; otherwise English with its UI font.
void ChooseStartLanguage(cApplicationConfig* store);

