// Language packs: every user-interface text is looked up at run time by a
// section key and an index in the packs of the current language.
//
// A pack is a binary image (layout in gui/lang_pack.py, which builds the
// toolkit's twelve from gui/lang/*.txt): a header with the language's code
// and native name, then a zlib body of named sections, each a counted list
// of UTF-8 texts. Providers (cLibLang) hand out packs by language id;
// choosing a language loads one pack of every provider into one global
// record of sections, where elements find their texts.
//
// Rules:
//  a. A pack replaces whole sections: sections it lacks keep their texts, so
//     all packs of a provider carry the same keys. A load that fails part-way
//     has already replaced the sections read before the failure.
//  b. A section's table object stays where it is for the life of the program
//     (only its texts change), so a borrowed section pointer follows later
//     language switches.
//  c. Bad pack data is reported by the result only; nothing is thrown for
//     it (memory exhaustion still raises std::bad_alloc).
//  d. No lock: packs are loaded on the UI thread before forms are shown;
//     worker threads read texts only while no switch runs.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"

// A loaded section: its texts by index; an absent text is null.
using tLangSection = _classbuf<_guardchar<char16_t>>;

// A record of loaded sections plus the code and native name of the pack
// loaded last.
struct sLangSections {
  sLangSections() : sections(kPackedKeyDepthLimit) {}
  sLangSections(const sLangSections&) = delete;
  sLangSections& operator=(const sLangSections&) = delete;

  // The section of key (UTF-16, or 8-bit/UTF-8), null when never loaded.
  const tLangSection* Find(const char16_t* key) const;
  const tLangSection* Find(const char* key) const;
  // Text number index of the section of key; null when the section is not
  // loaded, the index is outside it or the text is absent.
  const char16_t* Text(const char16_t* key, int32_t index) const;
  const char16_t* Text(const char* key, int32_t index) const;
  void Clear();

  cSortedTree<cPackedKey, tLangSection> sections;
  _guardchar<char16_t> code;        // three letters
  _guardchar<char16_t> nativeName;
};

// Text number index of a section; null for a null section, an index
// outside it or an absent text.
const char16_t* GetSectionText(const tLangSection* section, int32_t index);

// A provider of language packs by language id. Constructing one registers
// it; the destructor does not unregister it, so a provider lives until the
// program ends.
class cLibLang {
public:
  cLibLang() { Register(this); }
  cLibLang(const cLibLang&) = delete;
  cLibLang& operator=(const cLibLang&) = delete;
  virtual bool Has(int32_t id) const = 0;
  virtual int32_t GetSize(int32_t id) const = 0;         // 0 when absent
  virtual const void* GetData(int32_t id) const = 0;     // null when absent
  virtual int32_t GetDefault() const = 0;
  virtual ~cLibLang() = default;

  // Appends provider to the registry unless it is listed already.
  static void Register(cLibLang* provider);
};

// The toolkit's provider: the twelve built-in packs, ids in the order
// 0, 6, 2, 5, 3, 4, 8, 9, 10, 11, 7, 12; the default is 0 (English).
class cWEKTLang : public cLibLang {
public:
  static constexpr int32_t kPackCount = 12;
  cWEKTLang();
  bool Has(int32_t id) const override;
  int32_t GetSize(int32_t id) const override;
  const void* GetData(int32_t id) const override;
  int32_t GetDefault() const override;

private:
  struct sEntry {
    int32_t id;
    const void* data;
    int32_t size;
  };
  const sEntry* Lookup(int32_t id) const;
  sEntry table_[kPackCount];
};

// The language id that means "none chosen yet", the start value.
inline constexpr int32_t kNoLanguage = 13;

// Loads the id (or, where a provider lacks it, that provider's default)
// from every registered provider, in registration order, into the global
// section record. True only when every provider's pack loaded; the current
// id becomes id in any case.
bool SetCurrentLanguage(int32_t id);
// SetCurrentLanguage with the first registered provider's default; false
// when no provider is registered.
bool SetDefaultLanguage();
int32_t GetCurrentLanguage();

// Validates the pack of size bytes at data and merges its sections into
// record (rule a). True when the pack was valid and merged.
bool LoadLanguagePack(const void* data, int32_t size, sLangSections& record);

// The global record of interface texts.
sLangSections& GetLanguageSections();
// Text lookup in the global record: the section by key, then text index.
const tLangSection* FindLanguageSection(const char16_t* key);
const char16_t* GetLanguageText(const char16_t* key, int32_t index);
const char16_t* GetLanguageText(const char* key, int32_t index);

// "ENG", "DEU", ...; "INV" for id 1 and every id outside the table.
const char16_t* GetLanguageCode3(int32_t id);
// "EN", "DE", ...; "**" for id 1 and every id outside the table.
const char16_t* GetLanguageCode2(int32_t id);
// The native name of a language for menus (0 "English", 1 "Русский", ...);
// null outside 0..12 or when the names pack cannot be loaded (retried on
// the next call).
const char16_t* GetBuiltinLanguageName(int32_t id);
