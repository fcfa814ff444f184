// See gui/language.h.
#include "gui/language.h"

#include <cstring>
#include <vector>

#include "base/decompress.h"
#include "base/utf8.h"
#include "gui/language_builtin.h"
#include "gui/language_internal.h"

namespace {

// Pack header: magic (8), kind (8), code (3), n (1), name (n), plain size (4).
constexpr uint32_t kHeaderFixed = 24;  // the header without the name
constexpr uint32_t kNameLengthAt = 19;
constexpr uint32_t kCodeAt = 16;
constexpr uint32_t kMaxPlainSize = 0x400000;
constexpr uint32_t kBodyMagicSize = 8;
// The body magic and one section length at the least.
constexpr uint32_t kMinPlainSize = kBodyMagicSize + 4;

uint32_t Le32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// text becomes the n bytes of UTF-8 at p as UTF-16; a present empty text
// is "" (not null), so that only absent texts look up as null.
void AssignUtf8(_guardchar<char16_t>& text, const unsigned char* p, uint32_t n) {
  const char* s = reinterpret_cast<const char*>(p);
  const int32_t units = n == 0 ? 0 : Utf8UnitCount(s, static_cast<int32_t>(n));
  if (units <= 0) {
    text.Assign(u"");
    return;
  }
  text.AllocateZeroed(static_cast<uint32_t>(units) + 1);
  Utf8Decode(s, static_cast<int32_t>(n), text.text, units);
}

// Reads one string block into table (re-created with count empty texts).
// The block is [p, p + size).
bool ReadBlock(const unsigned char* p, uint32_t size, tLangSection& table) {
  if (size <= 3) return false;
  const uint32_t count = Le16(p);
  if (count < 1 || size < 2 * count + 2) return false;
  table.Allocate(static_cast<int32_t>(count));
  uint32_t at = 2 * count + 2;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t length = Le16(p + 2 + 2 * i);
    if (length == 0xFFFF) continue;  // absent: stays empty
    if (length > size - at) return false;
    AssignUtf8(table[static_cast<int32_t>(i)], p + at, length);
    at += length;
  }
  return true;
}

// Parses an inflated body of exactly plainSize bytes into record.
bool ReadSections(const unsigned char* body, uint32_t plainSize, sLangSections& record) {
  if (plainSize < kMinPlainSize || std::memcmp(body, "WEKTLANG", kBodyMagicSize) != 0) return false;
  uint32_t at = kBodyMagicSize;
  // Every bound below is checked by subtraction from what remains, never by
  // adding a length from the data to an offset.
  for (;;) {
    if (plainSize - at < 4) return false;
    const uint32_t nameLength = Le32(body + at);
    at += 4;
    if (nameLength > plainSize - at) return false;
    const unsigned char* name = body + at;
    at += nameLength;
    if (plainSize - at < 4) return false;
    const uint32_t blockLength = Le32(body + at);
    at += 4;
    if (blockLength > plainSize - at) return false;
    const unsigned char* block = body + at;
    at += blockLength;

    const void* zero = std::memchr(name, 0, nameLength);
    const uint32_t keyLength =
        zero != nullptr ? static_cast<uint32_t>(static_cast<const unsigned char*>(zero) - name) : nameLength;
    cPackedKey key;
    key.FromText(reinterpret_cast<const char*>(name), static_cast<int32_t>(keyLength));
    tLangSection* table = record.sections.FindOrInsert(std::move(key));
    if (table == nullptr || !ReadBlock(block, blockLength, *table)) return false;

    if (at == plainSize) return true;
    if (plainSize - at < 4) return false;
  }
}

struct sLanguageState {
  std::vector<cLibLang*> providers;  // registration order; not owned
  int32_t current = kNoLanguage;
  sLangSections texts;
  sLangSections names;
  bool namesLoaded = false;
};

sLanguageState& State() {
  static sLanguageState state;
  return state;
}

struct sCodes {
  const char16_t* code3;
  const char16_t* code2;
};

const sCodes kCodes[13] = {
    {u"ENG", u"EN"}, {u"INV", u"**"}, {u"DEU", u"DE"}, {u"JPN", u"JP"}, {u"KOR", u"KR"},
    {u"FRA", u"FR"}, {u"UKR", u"UK"}, {u"ESP", u"ESP"}, {u"CHN", u"CH"}, {u"TWN", u"TW"},
    {u"TUR", u"TR"}, {u"POR", u"PT"}, {u"POL", u"PL"},
};

}  // namespace

// --- sections -----------------------------------------------------------------

const tLangSection* sLangSections::Find(const char16_t* key) const {
  cPackedKey k;
  k.FromWide(key, -1);
  return sections.Find(k);
}

const tLangSection* sLangSections::Find(const char* key) const {
  cPackedKey k;
  k.FromText(key, -1);
  return sections.Find(k);
}

const char16_t* sLangSections::Text(const char16_t* key, int32_t index) const {
  return GetSectionText(Find(key), index);
}

const char16_t* sLangSections::Text(const char* key, int32_t index) const {
  return GetSectionText(Find(key), index);
}

void sLangSections::Clear() {
  sections.Clear();
  code.Clear();
  nativeName.Clear();
}

const char16_t* GetSectionText(const tLangSection* section, int32_t index) {
  return section != nullptr ? section->GetAtOrNull(index) : nullptr;
}

// --- loading ------------------------------------------------------------------

bool LoadLanguagePack(const void* data, int32_t size, sLangSections& record) {
  // The whole fixed header must be there before any field of it is read.
  if (data == nullptr || size < static_cast<int32_t>(kHeaderFixed)) return false;
  const auto* p = static_cast<const unsigned char*>(data);
  const uint32_t total = static_cast<uint32_t>(size);
  if (std::memcmp(p, "WEKTLAFI", 8) != 0) return false;
  const uint32_t nameLength = p[kNameLengthAt];
  if (total - kHeaderFixed < nameLength) return false;
  const unsigned char* name = p + kNameLengthAt + 1;
  const uint32_t plainSize = Le32(name + nameLength);
  if (plainSize < 1 || plainSize > kMaxPlainSize) return false;

  // The body must inflate to exactly the declared size and end properly: a
  // short body would otherwise be parsed as far as it happens to go.
  const unsigned char* stream = name + nameLength + 4;
  const uint32_t streamSize = total - kHeaderFixed - nameLength;
  cZDecompress inflater;
  _typebuf<char> body;
  if (!inflater.InflateWhole(stream, static_cast<int32_t>(streamSize), body, static_cast<int32_t>(plainSize)))
    return false;
  if (!inflater.EndReached() || body.count != static_cast<int32_t>(plainSize)) return false;
  if (!ReadSections(reinterpret_cast<const unsigned char*>(body.data), plainSize, record)) return false;

  char16_t code[4] = {p[kCodeAt], p[kCodeAt + 1], p[kCodeAt + 2], 0};
  record.code.Assign(code);
  AssignUtf8(record.nativeName, name, nameLength);
  return true;
}

// --- providers ------------------------------------------------------------------

void cLibLang::Register(cLibLang* provider) {
  if (provider == nullptr) return;
  auto& list = State().providers;
  for (cLibLang* p : list)
    if (p == provider) return;
  list.push_back(provider);
}

cWEKTLang::cWEKTLang() {
  static constexpr int32_t kOrder[kPackCount] = {0, 6, 2, 5, 3, 4, 8, 9, 10, 11, 7, 12};
  for (int32_t i = 0; i < kPackCount; ++i) {
    const tw::sPackImage& image = tw::kBuiltinPackImages[kOrder[i]];
    table_[i] = sEntry{kOrder[i], image.data, image.size};
  }
}

const cWEKTLang::sEntry* cWEKTLang::Lookup(int32_t id) const {
  for (const sEntry& e : table_)
    if (e.id == id) return &e;
  return nullptr;
}

bool cWEKTLang::Has(int32_t id) const { return Lookup(id) != nullptr; }

int32_t cWEKTLang::GetSize(int32_t id) const {
  const sEntry* e = Lookup(id);
  return e != nullptr ? e->size : 0;
}

const void* cWEKTLang::GetData(int32_t id) const {
  const sEntry* e = Lookup(id);
  return e != nullptr ? e->data : nullptr;
}

int32_t cWEKTLang::GetDefault() const { return table_[0].id; }

// --- the current language -----------------------------------------------------------

bool SetCurrentLanguage(int32_t id) {
  sLanguageState& s = State();
  bool ok = true;
  // Index loop: a provider could register another while loading.
  for (size_t i = 0; i < s.providers.size(); ++i) {
    cLibLang* p = s.providers[i];
    int32_t use = id;
    if (!p->Has(use)) {
      use = p->GetDefault();
      if (!p->Has(use)) {
        ok = false;
        continue;
      }
    }
    // 20 bytes cannot even hold a pack header.
    const int32_t size = p->GetSize(use);
    if (size <= 20 || !LoadLanguagePack(p->GetData(use), size, s.texts)) ok = false;
  }
  s.current = id;
  return ok;
}

bool SetDefaultLanguage() {
  sLanguageState& s = State();
  if (s.providers.empty()) return false;
  return SetCurrentLanguage(s.providers.front()->GetDefault());
}

int32_t GetCurrentLanguage() { return State().current; }

sLangSections& GetLanguageSections() { return State().texts; }

const tLangSection* FindLanguageSection(const char16_t* key) { return State().texts.Find(key); }

const char16_t* GetLanguageText(const char16_t* key, int32_t index) { return State().texts.Text(key, index); }

const char16_t* GetLanguageText(const char* key, int32_t index) { return State().texts.Text(key, index); }

// --- codes and names ------------------------------------------------------------------

const char16_t* GetLanguageCode3(int32_t id) { return id >= 0 && id <= 12 ? kCodes[id].code3 : u"INV"; }

const char16_t* GetLanguageCode2(int32_t id) { return id >= 0 && id <= 12 ? kCodes[id].code2 : u"**"; }

const char16_t* GetBuiltinLanguageName(int32_t id) {
  if (id < 0 || id > 12) return nullptr;
  sLanguageState& s = State();
  if (!s.namesLoaded) {
    const tw::sPackImage& image = tw::kLanguageNamesPackImage;
    s.namesLoaded = LoadLanguagePack(image.data, image.size, s.names);
    if (!s.namesLoaded) return nullptr;
  }
  return s.names.Text("lnames", id);
}

void tw::ResetLanguageState() {
  sLanguageState& s = State();
  s.providers.clear();
  s.current = kNoLanguage;
  s.texts.Clear();
  s.names.Clear();
  s.namesLoaded = false;
}
