// See description.h.
#include "package/description.h"

#include <cstring>
#include <new>

#include "base/format.h"
#include "base/paths.h"
#include "base/strings.h"

namespace {

constexpr uint64_t kSpaceUnit = 65536;

cPackedKey KeyOf(const char16_t* key) {
  cPackedKey k;
  k.FromWide(key, -1);
  return k;
}

bool IsProgramKey(const char16_t* key) { return key != nullptr && CompareWide(key, u"pgm") == 0; }

bool ListHas(const cSimpleList<int32_t>& list, int32_t value) {
  for (auto* n = list.head; n != nullptr; n = n->next)
    if (n->value == value) return true;
  return false;
}

template <class T>
T* AppendTo(cSimpleList<T>& list) {
  try {
    return &list.Append()->value;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Windows refuses these in names; a package has no use for them.
bool IsForbiddenInName(char16_t c) {
  return c < 0x20 || c == u':' || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*';
}

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

// A "folder" text of table, when it has one, must be a contained path.
bool FolderTextContained(const tPkgStringTable& table) {
  const _guardchar<char16_t>* folder = table.Find(KeyOf(u"folder"));
  return folder == nullptr || IsContainedRelativePath(folder->text);
}

}  // namespace

bool IsContainedRelativePath(const char16_t* path) {
  if (path == nullptr || path[0] == 0) return false;
  const char16_t* start = path;
  for (const char16_t* p = path;; ++p) {
    if (*p != 0 && !IsSeparator(*p)) {
      if (IsForbiddenInName(*p)) return false;
      continue;
    }
    // One component: [start, p).
    if (p == start) return false;
    const char16_t last = p[-1];
    if (last == u'.' || last == u' ') return false;  // also "." and ".."
    if (*p == 0) return true;
    start = p + 1;
  }
}

bool cSOPKGDescription::CheckInstallPaths() const {
  for (auto* n = installList.head; n != nullptr; n = n->next)
    if (!IsProgramKey(n->value.folderKey.text) || !IsContainedRelativePath(n->value.relativePath.text)) return false;
  const cPackedKey program = KeyOf(u"pgm");
  if (commonTable.Find(program) != nullptr || !FolderTextContained(commonTable)) return false;
  for (auto* n = languageTables.First(); n != nullptr; n = tPkgLanguageTables::Next(n)) {
    const tPkgStringTable* table = n->value.get();
    if (table == nullptr) continue;
    if (table->Find(program) != nullptr || !FolderTextContained(*table)) return false;
  }
  return true;
}

cSOPKGDescription::cSOPKGDescription() = default;
cSOPKGDescription::~cSOPKGDescription() = default;

void cSOPKGDescription::Clear() {
  menuList.Clear();
  installList.Clear();
  runList.Clear();
  deprecatedList.Clear();
  commonTable.Clear();
  languageTables.Clear();
  for (uint32_t& part : version) part = 0;
  support_URL.Clear();
  publish_URL.Clear();
  updates_URL.Clear();
  manual_URL.Clear();
  iconFolderKey.Clear();
  iconPath.Clear();
  welcome.loader.Clear();
  welcome.bytes.Reset();
  readme.loader.Clear();
  readme.bytes.Reset();
  readmeConfirm = 0;
  eula.loader.Clear();
  eula.bytes.Reset();
  payloads.Clear();
  settings.Clear();
  literalMap.Clear();
  literalCounter = 0;
}

cSiDocContainer* cSOPKGDescription::GetWelcomeDocument() const { return welcome.loader.GetContainer(currentLanguage); }

cSiDocContainer* cSOPKGDescription::GetReadmeDocument() const { return readme.loader.GetContainer(currentLanguage); }

cSiDocContainer* cSOPKGDescription::GetEulaDocument() const { return eula.loader.GetContainer(currentLanguage); }

bool cSOPKGDescription::SelectLanguage(int32_t language) {
  if (languageTables.Find(language) == nullptr) return false;
  currentLanguage = language;
  return true;
}

const char16_t* cSOPKGDescription::GetString(const char16_t* key) const {
  const cPackedKey k = KeyOf(key);
  if (const auto* table = languageTables.Find(currentLanguage)) {
    if (const _guardchar<char16_t>* text = (*table)->Find(k)) return text->IsEmpty() ? nullptr : text->text;
  }
  if (const _guardchar<char16_t>* text = commonTable.Find(k)) return text->IsEmpty() ? u"" : text->text;
  return nullptr;
}

bool cSOPKGDescription::ExpandPath(const char16_t* folderKey, const char16_t* relativePath,
                                   _guardchar<char16_t>& path) const {
  const bool noRelative = relativePath == nullptr || relativePath[0] == 0;
  if (folderKey == nullptr || folderKey[0] == 0) {
    path.Assign(noRelative ? u"" : relativePath);
    return true;
  }
  const char16_t* folder = GetString(folderKey);
  if (folder == nullptr) return false;
  if (folder[0] == 0) {
    path.Assign(noRelative ? u"" : relativePath);
    return true;
  }
  if (noRelative) {
    path.Assign(folder);
    return true;
  }
  const int32_t f = WideLength(folder), r = WideLength(relativePath);
  const bool slash = folder[f - 1] != u'/';
  _guardchar<char16_t> joined;
  joined.AllocateZeroed(static_cast<uint32_t>(f + r + (slash ? 1 : 0) + 1));
  char16_t* out = joined.text;
  for (int32_t i = 0; i < f; ++i) *out++ = folder[i];
  if (slash) *out++ = u'/';
  for (int32_t i = 0; i < r; ++i) *out++ = relativePath[i];
  *out = 0;
  path = std::move(joined);
  return true;
}

bool cSOPKGDescription::SetProgramFolder(tPkgStringTable& table, const char16_t* folder) {
  try {
    _guardchar<char16_t>* value = table.FindOrInsert(KeyOf(u"pgm"));
    if (value == nullptr) return false;
    value->Assign(folder);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool cSOPKGDescription::CheckStringKey(const char16_t* key, int32_t& missingLanguage) const {
  const cPackedKey k = KeyOf(key);
  if (commonTable.Find(k) != nullptr || IsProgramKey(key)) return true;
  for (auto* n = languageTables.First(); n != nullptr; n = tPkgLanguageTables::Next(n)) {
    if (n->value->Find(k) == nullptr) {
      missingLanguage = n->key;
      return false;
    }
  }
  return true;
}

void cSOPKGDescription::GetLanguages(cSimpleList<int32_t>& list) const {
  list.Clear();
  for (auto* n = languageTables.First(); n != nullptr; n = tPkgLanguageTables::Next(n)) list.Append(n->key);
}

bool cSOPKGDescription::GetVersionText(_guardchar<char16_t>& text) const {
  char16_t buffer[100];
  const auto v = [this](int i) { return static_cast<int>(version[i]); };
  if (version[3] != 0)
    FormatW(buffer, 100, u"%d.%d.%d.%d", v(0), v(1), v(2), v(3));
  else if (version[2] != 0)
    FormatW(buffer, 100, u"%d.%d.%d", v(0), v(1), v(2));
  else
    FormatW(buffer, 100, u"%d.%d", v(0), v(1));
  text.Assign(buffer);
  return true;
}

uint64_t cSOPKGDescription::GetRequiredSpace() const { return GetRequiredSpace(IsWow64()); }

uint64_t cSOPKGDescription::GetRequiredSpace(bool platform64) const {
  uint64_t total = 0;
  for (auto* n = installList.head; n != nullptr; n = n->next) {
    const sInstallEntry& e = n->value;
    if ((platform64 ? e.flag64 : e.flag32) == 0) continue;
    const sPayload* p = payloads.At(e.payloadIndex);
    if (p == nullptr) continue;
    const uint64_t bytes = p->uncompressedSize != 0 ? p->uncompressedSize : static_cast<uint64_t>(p->stored.count);
    total += (bytes + kSpaceUnit - 1) / kSpaceUnit * kSpaceUnit;
  }
  return total;
}

bool cSOPKGDescription::GetMenuEntries(cSimpleList<sMenuEntry>& list) const {
  list.Clear();
  try {
    for (auto* n = menuList.head; n != nullptr; n = n->next) {
      const sMenuItem& m = n->value;
      const char16_t* name = GetString(m.nameKey.text);
      if (name == nullptr) return false;
      sMenuEntry e;
      e.name.Assign(name);
      if (!ExpandPath(m.iconFolderKey.text, m.iconPath.text, e.iconPath)) return false;
      if (!ExpandPath(m.targetFolderKey.text, m.targetPath.text, e.targetPath)) return false;
      e.arguments.Assign(GetString(m.argumentsKey.text));
      e.description.Assign(GetString(m.descriptionKey.text));
      e.runAsAdmin = (m.flags & 1) != 0;
      list.Append(std::move(e));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool cSOPKGDescription::GetInstallEntries(cSimpleList<sInstallTarget>& list) const {
  return GetInstallEntries(list, IsWow64());
}

bool cSOPKGDescription::GetInstallEntries(cSimpleList<sInstallTarget>& list, bool platform64) const {
  list.Clear();
  try {
    for (auto* n = installList.head; n != nullptr; n = n->next) {
      const sInstallEntry& e = n->value;
      if ((platform64 ? e.flag64 : e.flag32) == 0) continue;
      if (e.languages.head != nullptr && !ListHas(e.languages, currentLanguage)) continue;
      sInstallTarget t;
      if (!ExpandPath(e.folderKey.text, e.relativePath.text, t.targetPath)) return false;
      t.payloadIndex = e.payloadIndex;
      t.accessUser = e.accessUser;
      t.accessAdmins = e.accessAdmins;
      t.accessEveryone = e.accessEveryone;
      if (const sPayload* p = payloads.At(e.payloadIndex)) std::memcpy(t.digest, p->digest, kSha256Size);
      list.Append(std::move(t));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool cSOPKGDescription::GetRunEntries(cSimpleList<sRunEntry>& list) const {
  list.Clear();
  try {
    for (auto* n = runList.head; n != nullptr; n = n->next) {
      const sRunItem& r = n->value;
      const char16_t* caption = GetString(r.captionKey.text);
      if (caption == nullptr) return false;
      sRunEntry e;
      e.caption.Assign(caption);
      if (!ExpandPath(r.folderKey.text, r.relativePath.text, e.path)) return false;
      e.arguments.Assign(GetString(r.argumentsKey.text));
      e.flag = r.flag;
      list.Append(std::move(e));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool cSOPKGDescription::GetDeprecates(cSimpleList<sDeprecatedEntry>& list) const {
  list.Clear();
  try {
    for (auto* n = deprecatedList.head; n != nullptr; n = n->next) {
      sDeprecatedEntry& e = list.Append()->value;
      e.codename.Assign(n->value.codename.text);
      e.version = n->value.version;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

sMenuItem* cSOPKGDescription::AddMenuEntry() { return AppendTo(menuList); }
sInstallEntry* cSOPKGDescription::AddInstallEntry() { return AppendTo(installList); }
sRunItem* cSOPKGDescription::AddRunEntry() { return AppendTo(runList); }
sDeprecateItem* cSOPKGDescription::AddDeprecate() { return AppendTo(deprecatedList); }
sSettingItem* cSOPKGDescription::AddSetting() { return AppendTo(settings); }

tPkgStringTable* cSOPKGDescription::LanguageTable(int32_t language) {
  try {
    std::unique_ptr<tPkgStringTable>* slot = languageTables.FindOrInsert(language);
    if (slot == nullptr) return nullptr;
    if (*slot == nullptr) *slot = std::make_unique<tPkgStringTable>(kPackedKeyDepthLimit);
    return slot->get();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
