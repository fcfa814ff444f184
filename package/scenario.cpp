// The scenario file, its lines and sections, the value syntax shared by the
// section parsers, and the completeness checks. See scenario.h.
#include "package/scenario.h"

#include <new>
#include <vector>

#include "base/format.h"
#include "base/packed_key.h"
#include "base/strings.h"
#include "base/text_reader.h"
#include "gui/language.h"
#include "package/scenario_internal.h"

namespace {

struct sSectionName {
  const char16_t* header;
  int32_t length;
};

// In section-number order, 1 to 8.
constexpr sSectionName kSections[] = {
    {u"[General]", 9}, {u"[Software]", 10}, {u"[Strings]", 9},     {u"[Install]", 9},
    {u"[Menu]", 6},    {u"[Settings]", 10}, {u"[Run]", 5},         {u"[Deprecates]", 12},
};

// The section number of the header at text, its length in *length; 0 when
// none matches.
int MatchSection(const char16_t* text, int32_t* length) {
  for (int i = 0; i < 8; ++i) {
    if (scenario::StartsWith(text, kSections[i].header, kSections[i].length)) {
      *length = kSections[i].length;
      return i + 1;
    }
  }
  return 0;
}

int ParseValueLine(cSOPKGDescription& desc, const char16_t* text, sScenarioDocError* docError) {
  switch (desc.currentScenarioSection) {
    case 1: return ParseGeneralLine(desc, text);
    case 2: return ParseSoftwareLine(desc, text, docError);
    case 3: return ParseStringsLine(desc, text);
    case 4: return ParseInstallLine(desc, text);
    case 5: return ParseMenuLine(desc, text);
    case 6: return ParseSettingsLine(desc, text);
    case 7: return ParseRunLine(desc, text);
    case 8: return ParseDeprecatesLine(desc, text);
    default: return kScenarioNoSection;
  }
}

bool HasDocument(const sPkgDocument& doc) { return doc.bytes.data != nullptr && doc.bytes.count > 0; }

// A $key is checked against the languages declared when its line is read;
// a reference read before [General] would otherwise pass unchecked, and the
// package reader refuses a package whose records name a key that some
// language lacks.
bool RecordKeysDefined(const cSOPKGDescription& desc) {
  int32_t missing = 0;
  const auto ok = [&](const _guardchar<char16_t>& key) {
    return key.IsEmpty() || desc.CheckStringKey(key.text, missing);
  };
  if (!ok(desc.iconFolderKey)) return false;
  for (auto* n = desc.menuList.head; n != nullptr; n = n->next) {
    const sMenuItem& m = n->value;
    if (!ok(m.nameKey) || !ok(m.targetFolderKey) || !ok(m.iconFolderKey) || !ok(m.descriptionKey) ||
        !ok(m.argumentsKey))
      return false;
  }
  for (auto* n = desc.installList.head; n != nullptr; n = n->next)
    if (!ok(n->value.folderKey)) return false;
  for (auto* n = desc.runList.head; n != nullptr; n = n->next)
    if (!ok(n->value.captionKey) || !ok(n->value.folderKey) || !ok(n->value.argumentsKey)) return false;
  return true;
}

int CheckCompleteness(const cSOPKGDescription& desc) {
  if (desc.languageTables.IsEmpty()) return kScenarioNoLanguage;
  if (desc.commonTable.Find(scenario::KeyOf(u"codename")) == nullptr) return kScenarioNoCodename;
  if (!HasDocument(desc.eula)) return kScenarioNoEula;
  for (auto* n = desc.languageTables.First(); n != nullptr; n = tPkgLanguageTables::Next(n)) {
    const int32_t language = n->key;
    if (desc.eula.loader.GetContainer(language) == nullptr) return kScenarioNoEulaText;
    if (HasDocument(desc.welcome) && desc.welcome.loader.GetContainer(language) == nullptr)
      return kScenarioNoWelcomeText;
    if (HasDocument(desc.readme) && desc.readme.loader.GetContainer(language) == nullptr)
      return kScenarioNoReadmeText;
    for (auto* s = n->value->First(); s != nullptr; s = tPkgStringTable::Next(s)) {
      if (desc.commonTable.Find(s->key) != nullptr) continue;
      for (auto* other = desc.languageTables.First(); other != nullptr; other = tPkgLanguageTables::Next(other)) {
        if (other != n && other->value->Find(s->key) == nullptr) return kScenarioMissingString;
      }
    }
  }
  if (!RecordKeysDefined(desc)) return kScenarioMissingString;
  return kScenarioOk;
}

int Compile(const char16_t* path, cSOPKGDescription& desc, int& line, sScenarioDocError* docError) {
  desc.Clear();
  desc.currentScenarioSection = 0;
  cTextFileReader reader;
  if (path == nullptr || !reader.Open(path)) return kScenarioCannotRead;
  if (!reader.Seek(0) || !reader.SetEncoding(cTextFileReader::kDetect)) return kScenarioCannotRead;

  _typebuf<char16_t> read;
  std::vector<char16_t> text;
  while (reader.ReadLine(read)) {
    text.assign(read.data, read.data + (read.data != nullptr ? read.count : 0));
    text.push_back(0);
    const char16_t* l = text.data();
    int32_t pos = 0;
    SkipBlanks(l, pos);
    const char16_t first = l[pos];
    if (first == 0 || first == u'#') {
      ++line;
      continue;
    }
    if (first == u'[') {
      int32_t length = 0;
      const int section = MatchSection(l + pos, &length);
      if (section == 0) return kScenarioUnknownSection;
      pos += length;
      SkipBlanks(l, pos);
      if (!scenario::AtValueEnd(l, pos)) return kScenarioTextAfterHeader;
      desc.currentScenarioSection = section;
      ++line;
      continue;
    }
    if (desc.currentScenarioSection == 0) return kScenarioNoSection;
    const int code = ParseValueLine(desc, l + pos, docError);
    if (code != kScenarioOk) return code;
    ++line;
  }
  // A line over the limit ends the reading; taking what came before it as
  // the whole scenario would build a package with parts silently missing.
  if (reader.LineTooLong()) return kScenarioLineTooLong;

  const auto* firstLanguage = desc.languageTables.First();
  desc.currentLanguage = firstLanguage != nullptr ? firstLanguage->key : 0;
  line = -1;
  return CheckCompleteness(desc);
}

}  // namespace

namespace scenario {

cPackedKey KeyOf(const char16_t* text) {
  cPackedKey k;
  k.FromWide(text != nullptr ? text : u"", -1);
  return k;
}

bool StartsWith(const char16_t* text, const char16_t* prefix, int32_t length) {
  for (int32_t i = 0; i < length; ++i)
    if (text[i] != prefix[i]) return false;  // also stops at text's terminator
  return true;
}

bool PutString(tPkgStringTable& table, const char16_t* key, const _guardchar<char16_t>& value) {
  _guardchar<char16_t>* slot = table.FindOrInsert(KeyOf(key));
  if (slot == nullptr) return false;
  slot->Assign(value.text != nullptr ? value.text : u"");
  return true;
}

}  // namespace scenario

using scenario::AtValueEnd;
using scenario::IsBlank;

int32_t MatchLanguageCode(const char16_t* text) {
  for (int32_t id = 0; id <= 12; ++id) {
    if (scenario::StartsWith(text, GetLanguageCode3(id), 3)) return id;
  }
  return -1;
}

void SkipBlanks(const char16_t* line, int32_t& pos) {
  while (IsBlank(line[pos])) ++pos;
}

bool SkipEquals(const char16_t* line, int32_t& pos) {
  SkipBlanks(line, pos);
  if (line[pos] != u'=') return false;
  ++pos;
  SkipBlanks(line, pos);
  return true;
}

bool ReadQuoted(const char16_t* line, int32_t& pos, _guardchar<char16_t>& out) {
  SkipBlanks(line, pos);
  if (line[pos] != u'"') return false;
  int32_t p = pos + 1;
  std::u16string value;
  for (;;) {
    const char16_t c = line[p];
    if (c == 0) return false;  // no closing quote
    if (c == u'\\') {
      if (line[p + 1] == 0) return false;
      value += line[p + 1];
      p += 2;
      continue;
    }
    ++p;
    if (c == u'"') break;
    value += c;
  }
  out.AssignN(value.c_str(), static_cast<uint32_t>(value.size()));
  if (out.text == nullptr) out.Assign(u"");
  pos = p;
  SkipBlanks(line, pos);
  return true;
}

bool ReadReference(cSOPKGDescription& desc, const char16_t* line, int32_t& pos, _guardchar<char16_t>& key) {
  SkipBlanks(line, pos);
  if (line[pos] == u'"') {
    _guardchar<char16_t> literal;
    if (!ReadQuoted(line, pos, literal)) return false;
    cPackedKey literalKey = scenario::KeyOf(literal.text);
    if (const _guardchar<char16_t>* known = desc.literalMap.Find(literalKey)) {
      key = *known;
    } else {
      char16_t generated[40];
      FormatW(generated, 40, u".%04d", desc.literalCounter);
      _guardchar<char16_t>* slot = desc.literalMap.FindOrInsert(std::move(literalKey));
      if (slot == nullptr) return false;
      slot->Assign(generated);
      ++desc.literalCounter;
      if (desc.commonTable.Find(scenario::KeyOf(generated)) != nullptr) return false;
      if (!scenario::PutString(desc.commonTable, generated, literal)) return false;
      key.Assign(generated);
    }
    if (key.IsEmpty()) return false;
    SkipBlanks(line, pos);
    return true;
  }
  if (line[pos] != u'$') return false;
  const int32_t start = pos + 1;
  int32_t end = start;
  while (line[end] != 0 && !IsBlank(line[end]) && line[end] != u',' && line[end] != u'=') ++end;
  if (end == start || line[start] == u'.') return false;
  _guardchar<char16_t> name;
  name.AssignN(line + start, static_cast<uint32_t>(end - start));
  int32_t missing = 0;
  if (!desc.CheckStringKey(name.text, missing)) return false;
  key = std::move(name);
  pos = end;
  SkipBlanks(line, pos);
  return true;
}

bool ReadFolderPath(cSOPKGDescription& desc, const char16_t* line, int32_t& pos, _guardchar<char16_t>& key,
                    _guardchar<char16_t>& path) {
  return ReadReference(desc, line, pos, key) && ReadQuoted(line, pos, path);
}

int CompileScenario(const char16_t* path, cSOPKGDescription& desc, int& line, sScenarioDocError* docError) {
  if (docError != nullptr) *docError = sScenarioDocError();
  try {
    return Compile(path, desc, line, docError);
  } catch (const std::bad_alloc&) {
    return kScenarioCannotRead;
  }
}
