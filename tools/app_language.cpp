// The application's interface languages. See app_language.h.
#include "tools/app_language.h"

#include <new>

#include "base/app_config.h"
#include "gui/font.h"
#include "tools/app_language_packs.h"
#include "tools/install_record.h"

namespace {

const tw::sAppPack* Find(int32_t id) {
  for (const tw::sAppPack& pack : tw::kAppPacks) {
    if (pack.id == id) return &pack;
  }
  return nullptr;
}

}  // namespace

bool cSOPKGLang::Has(int32_t id) const { return Find(id) != nullptr; }

int32_t cSOPKGLang::GetSize(int32_t id) const {
  const tw::sAppPack* pack = Find(id);
  return pack != nullptr ? pack->size : 0;
}

const void* cSOPKGLang::GetData(int32_t id) const {
  const tw::sAppPack* pack = Find(id);
  return pack != nullptr ? pack->data : nullptr;
}

int32_t cSOPKGLang::GetDefault() const { return tw::kAppPacks[0].id; }

cSOPKGLang* RegisterPackageLanguages() {
  // Registers itself on construction; providers are never unregistered in
  // the program, and registering a listed one again does nothing.
  static cSOPKGLang* const provider = new cSOPKGLang();
  cLibLang::Register(provider);
  return provider;
}

bool ApplyLanguage(int32_t id) {
  if (!SetCurrentLanguage(id)) return false;
  SelectUIFontForLanguage();
  return true;
}

void ChooseStartLanguage(cApplicationConfig* store) {
  cSOPKGLang* provider = RegisterPackageLanguages();
  uint64_t stored = 0;
  if (store != nullptr && store->GetInt64(tw::kKeyLangCurrent, stored) && stored <= 0x7FFFFFFF &&
      provider != nullptr && provider->Has(static_cast<int32_t>(stored)) &&
      ApplyLanguage(static_cast<int32_t>(stored))) {
    return;
  }
  if (SetCurrentLanguage(0)) SelectUIFontForLanguage();
}
