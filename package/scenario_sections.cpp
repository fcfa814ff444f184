// The eight section parsers of the scenario compiler. See scenario.h.
#include <cstdint>

#include "base/memio.h"
#include "base/paths.h"
#include "base/strings.h"
#include "package/scenario.h"
#include "package/scenario_internal.h"
#include "sidoc/compiler.h"
#include "sidoc/loader.h"

using scenario::AtValueEnd;
using scenario::StartsWith;

namespace {

bool IsDeclared(const cSOPKGDescription& desc, int32_t language) {
  return language >= 0 && desc.languageTables.Find(language) != nullptr;
}

bool IsAccessDigit(char16_t c) { return c >= u'0' && c <= u'7'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
// The white space that "%d" skips.
bool IsScanSpace(char16_t c) { return c == u' ' || (c >= 9 && c <= 13); }

// Reads text like "%d.%d.%d.%d": the numbers read into parts, their count
// returned. Values beyond any version part are held at a large bound, so
// a long run of digits cannot overflow.
int ScanVersion(const char16_t* text, int64_t (&parts)[4]) {
  int count = 0;
  int32_t p = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (text[p] != u'.') break;
      ++p;
    }
    while (IsScanSpace(text[p])) ++p;
    bool negative = false;
    if (text[p] == u'+' || text[p] == u'-') {
      negative = text[p] == u'-';
      ++p;
    }
    if (!IsDigit(text[p])) break;
    int64_t value = 0;
    for (; IsDigit(text[p]); ++p) {
      if (value < 1000000000) value = value * 10 + (text[p] - u'0');
    }
    parts[i] = negative ? -value : value;
    ++count;
  }
  return count;
}

// Compiles the index file into doc, replacing what it held. The document
// compiler's error record goes to docError.
int CompileInto(const _guardchar<char16_t>& indexPath, sPkgDocument& doc, int code, sScenarioDocError* docError) {
  cMemIOTarget target;
  cDocCompileError error;
  // Paths in a scenario are relative to the current folder; the file
  // functions take them '.'-relative.
  _guardchar<char16_t> openable;
  MakeOpenablePath(openable, indexPath.text);
  if (!CompileDocument(nullptr, openable.text != nullptr ? openable.text : u"", &target, &error)) {
    if (docError != nullptr) {
      const char16_t* path = error.path.text != nullptr ? error.path.text : u"";
      docError->path.assign(path);
      docError->line = error.line;
      docError->column = error.column;
      _guardchar<char16_t> message;
      const char* m = error.message.text != nullptr ? error.message.text : "";
      Utf8ToWide(m, -1, message);
      docError->message.assign(message.text != nullptr ? message.text : u"");
    }
    return code;
  }
  _typebuf<char> bytes;
  if (!target.CopyToBuffer(bytes) || bytes.count == 0) return code;
  if (!LoadCompiledDocument(bytes.data, static_cast<uint32_t>(bytes.count), &doc.loader)) return code;
  doc.bytes = std::move(bytes);
  return kScenarioOk;
}

// The readme flag after the path: 0 or 1, or -1 for anything else.
int ReadReadmeFlag(const char16_t* line, int32_t pos) {
  if (AtValueEnd(line, pos)) return 0;
  if (line[pos] != u',') return -1;
  ++pos;
  SkipBlanks(line, pos);
  if (AtValueEnd(line, pos)) return 0;
  int flag = -1;
  if (StartsWith(line + pos, u"yes", 3)) {
    flag = 1;
    pos += 3;
  } else if (StartsWith(line + pos, u"no", 2)) {
    flag = 0;
    pos += 2;
  } else {
    return -1;
  }
  SkipBlanks(line, pos);
  return AtValueEnd(line, pos) ? flag : -1;
}

enum eSoftwareValue { kCommonText, kVersion, kAddress, kWelcome, kReadme, kEula, kIcon };

struct sSoftwareKey {
  const char16_t* name;
  int32_t length;
  eSoftwareValue value;
  _guardchar<char16_t> cSOPKGDescription::*address;  // kAddress only
};

// Matched in this order, each over its own length.
const sSoftwareKey kSoftwareKeys[] = {
    {u"codename", 8, kCommonText, nullptr},
    {u"name", 4, kCommonText, nullptr},
    {u"publisher", 9, kCommonText, nullptr},
    {u"copyright", 9, kCommonText, nullptr},
    {u"group", 5, kCommonText, nullptr},
    {u"folder", 6, kCommonText, nullptr},
    {u"version", 7, kVersion, nullptr},
    {u"manual_URL", 10, kAddress, &cSOPKGDescription::manual_URL},
    {u"publish_URL", 11, kAddress, &cSOPKGDescription::publish_URL},
    {u"support_URL", 11, kAddress, &cSOPKGDescription::support_URL},
    {u"updates_URL", 11, kAddress, &cSOPKGDescription::updates_URL},
    {u"welcome", 7, kWelcome, nullptr},
    {u"readme", 6, kReadme, nullptr},
    {u"eula", 4, kEula, nullptr},
    {u"icon", 4, kIcon, nullptr},
};

}  // namespace

int ParseGeneralLine(cSOPKGDescription& desc, const char16_t* line) {
  if (!StartsWith(line, u"langs", 5)) return kScenarioUnknownKey;
  int32_t pos = 5;
  if (!SkipEquals(line, pos)) return kScenarioSyntax;
  if (line[pos] == 0) return kScenarioNoLanguage;
  for (;;) {
    const int32_t id = MatchLanguageCode(line + pos);
    if (id < 0 || desc.LanguageTable(id) == nullptr) return kScenarioBadLanguage;
    pos += 3;
    SkipBlanks(line, pos);
    if (AtValueEnd(line, pos)) return kScenarioOk;
  }
}

int ParseSoftwareLine(cSOPKGDescription& desc, const char16_t* line, sScenarioDocError* docError) {
  const sSoftwareKey* key = nullptr;
  for (const sSoftwareKey& k : kSoftwareKeys) {
    if (StartsWith(line, k.name, k.length)) {
      key = &k;
      break;
    }
  }
  if (key == nullptr) return kScenarioUnknownKey;
  int32_t pos = key->length;
  if (!SkipEquals(line, pos)) return kScenarioSyntax;

  if (key->value == kIcon) {
    _guardchar<char16_t> folderKey, path;
    if (!ReadFolderPath(desc, line, pos, folderKey, path)) return kScenarioBadFolderPath;
    if (!AtValueEnd(line, pos)) return kScenarioSyntax;
    desc.iconFolderKey = std::move(folderKey);
    desc.iconPath = std::move(path);
    return kScenarioOk;
  }

  _guardchar<char16_t> value;
  if (!ReadQuoted(line, pos, value)) return kScenarioBadValue;
  int readmeFlag = 0;
  if (key->value == kReadme) {
    readmeFlag = ReadReadmeFlag(line, pos);
    if (readmeFlag < 0) return kScenarioBadValue;
  } else if (!AtValueEnd(line, pos)) {
    return kScenarioBadValue;
  }

  switch (key->value) {
    case kCommonText:
      if (!scenario::PutString(desc.commonTable, key->name, value)) return kScenarioBadValue;
      return kScenarioOk;
    case kVersion: {
      int64_t parts[4] = {};
      const int count = ScanVersion(value.text, parts);
      if (count < 2) return kScenarioShortVersion;
      // Each part is 16 bits wide in the program's version resource.
      for (int i = 0; i < count; ++i)
        if (parts[i] < 0 || parts[i] > 0xFFFF) return kScenarioBadNumber;
      for (int i = 0; i < count; ++i) desc.version[i] = static_cast<uint32_t>(parts[i]);
      return kScenarioOk;
    }
    case kAddress:
      desc.*(key->address) = std::move(value);
      return kScenarioOk;
    case kWelcome:
      return CompileInto(value, desc.welcome, kScenarioBadWelcome, docError);
    case kReadme: {
      const int code = CompileInto(value, desc.readme, kScenarioBadReadme, docError);
      if (code == kScenarioOk) desc.readmeConfirm = static_cast<uint8_t>(readmeFlag);
      return code;
    }
    case kEula:
      return CompileInto(value, desc.eula, kScenarioBadEula, docError);
    default:
      return kScenarioUnknownKey;
  }
}

int ParseStringsLine(cSOPKGDescription& desc, const char16_t* line) {
  int32_t end = 0, dots = 0, dotAt = -1;
  for (; line[end] != 0 && !scenario::IsBlank(line[end]) && line[end] != u'='; ++end) {
    if (line[end] == u'.') {
      ++dots;
      dotAt = end;
    }
  }
  int32_t keyStart = 0, language = -1;
  if (dots > 1 || (dots == 1 && dotAt != 3)) return kScenarioBadLanguage;
  if (dots == 1) {
    language = MatchLanguageCode(line);
    if (language < 0) return kScenarioBadLanguage;
    keyStart = 4;
  }
  if (end == keyStart) return kScenarioEmptyKey;
  _guardchar<char16_t> key;
  key.AssignN(line + keyStart, static_cast<uint32_t>(end - keyStart));
  int32_t pos = end;
  _guardchar<char16_t> value;
  if (!SkipEquals(line, pos) || !ReadQuoted(line, pos, value) || !AtValueEnd(line, pos)) return kScenarioBadValue;
  tPkgStringTable* table = &desc.commonTable;
  if (language >= 0) {
    if (!IsDeclared(desc, language)) return kScenarioBadLanguage;
    table = desc.languageTables.Find(language)->get();
  }
  if (!scenario::PutString(*table, key.text, value)) return kScenarioBadValue;
  return kScenarioOk;
}

int ParseInstallLine(cSOPKGDescription& desc, const char16_t* line) {
  sInstallEntry entry;
  entry.flag32 = 1;
  entry.flag64 = 1;
  int32_t pos = 0;
  if (line[0] == u'x') {
    if (StartsWith(line, u"x32.", 4)) {
      entry.flag64 = 0;
    } else if (StartsWith(line, u"x64.", 4)) {
      entry.flag32 = 0;
    } else {
      return kScenarioBadPlatform;
    }
    pos = 4;
  } else if (line[0] != u'"') {
    return kScenarioBadInstallStart;
  }
  _guardchar<char16_t> source;
  if (!ReadQuoted(line, pos, source)) return kScenarioBadValue;
  // Paths in a scenario are relative to the current folder; the file
  // functions take them '.'-relative.
  _guardchar<char16_t> openable;
  MakeOpenablePath(openable, source.text);
  const int kind = GetPathKind(openable.text);
  if (kind != tw::kPathFile && kind != tw::kPathDirectory) return kScenarioBadSource;
  if (!SkipEquals(line, pos)) return kScenarioSyntax;
  if (!ReadFolderPath(desc, line, pos, entry.folderKey, entry.relativePath)) return kScenarioBadFolderPath;

  if (!AtValueEnd(line, pos)) {
    if (line[pos] != u',') return kScenarioSyntax;
    ++pos;
    SkipBlanks(line, pos);
    if (IsAccessDigit(line[pos])) {
      if (!IsAccessDigit(line[pos + 1]) || !IsAccessDigit(line[pos + 2])) return kScenarioBadAccess;
      entry.accessUser = static_cast<uint8_t>(line[pos] - u'0');
      entry.accessAdmins = static_cast<uint8_t>(line[pos + 1] - u'0');
      entry.accessEveryone = static_cast<uint8_t>(line[pos + 2] - u'0');
      pos += 3;
    }
    SkipBlanks(line, pos);
    if (!AtValueEnd(line, pos)) {
      if (line[pos] != u',') return kScenarioBadAccess;
      ++pos;
      SkipBlanks(line, pos);
      if (line[pos] == u'*') {
        ++pos;
        SkipBlanks(line, pos);
        if (!AtValueEnd(line, pos)) return kScenarioBadLanguage;
      } else if (line[pos] != 0) {
        for (;;) {
          const int32_t id = MatchLanguageCode(line + pos);
          if (!IsDeclared(desc, id)) return kScenarioBadLanguage;
          entry.languages.Append(id);
          pos += 3;
          SkipBlanks(line, pos);
          if (AtValueEnd(line, pos)) break;
        }
      }
    }
  }
  if (openable.text == nullptr || !desc.AddInstallSource(entry, openable.text)) return kScenarioBadSource;
  return kScenarioOk;
}

int ParseMenuLine(cSOPKGDescription& desc, const char16_t* line) {
  int32_t pos = 0;
  _guardchar<char16_t> name;
  if (!ReadReference(desc, line, pos, name)) return kScenarioBadValue;
  if (!SkipEquals(line, pos)) return kScenarioSyntax;
  sMenuItem* item = desc.AddMenuEntry();
  if (item == nullptr) return kScenarioBadValue;
  if (!ReadFolderPath(desc, line, pos, item->targetFolderKey, item->targetPath)) return kScenarioBadFolderPath;
  if (line[pos] != u',') return kScenarioSyntax;
  ++pos;
  if (!ReadFolderPath(desc, line, pos, item->iconFolderKey, item->iconPath)) return kScenarioBadFolderPath;
  if (!AtValueEnd(line, pos)) {
    if (line[pos] != u',') return kScenarioSyntax;
    ++pos;
    SkipBlanks(line, pos);
    if (line[pos] >= u'0' && line[pos] <= u'8') {
      item->flags = static_cast<uint8_t>(line[pos] - u'0');
      ++pos;
      SkipBlanks(line, pos);
    }
    if (!AtValueEnd(line, pos)) {
      if (line[pos] != u',') return kScenarioSyntax;
      ++pos;
      SkipBlanks(line, pos);
      if (!ReadReference(desc, line, pos, item->descriptionKey)) return kScenarioBadValue;
      if (!AtValueEnd(line, pos)) {
        if (line[pos] != u',') return kScenarioSyntax;
        ++pos;
        SkipBlanks(line, pos);
        if (!ReadReference(desc, line, pos, item->argumentsKey)) return kScenarioBadValue;
        if (!AtValueEnd(line, pos)) return kScenarioSyntax;
      }
    }
  }
  item->nameKey = std::move(name);
  return kScenarioOk;
}

int ParseSettingsLine(cSOPKGDescription& desc, const char16_t* line) {
  int32_t pos = 0;
  _guardchar<char16_t> name, value;
  if (!ReadQuoted(line, pos, name) || !SkipEquals(line, pos)) return kScenarioSyntax;
  const char16_t type = line[pos];
  int32_t size = 0;
  switch (type) {
    case u't': size = 0; break;
    case u'w': size = 2; break;
    case u'd': size = 4; break;
    case u'q': size = 8; break;
    default: return kScenarioSyntax;
  }
  ++pos;
  SkipBlanks(line, pos);
  if (line[pos] != u',') return kScenarioSyntax;
  ++pos;
  SkipBlanks(line, pos);
  if (!ReadQuoted(line, pos, value)) return kScenarioBadValue;
  if (!AtValueEnd(line, pos)) return kScenarioSyntax;
  int64_t number = 0;
  if (type != u't') {
    number = ParseInt64W(value.text);
    if (number == -1) return kScenarioBadNumber;  // the reader's failure value
  }
  sSettingItem* item = desc.AddSetting();
  if (item == nullptr) return kScenarioBadValue;
  WideToUtf8(name.text, item->name, WideLength(name.text));
  if (type == u't') {
    WideToUtf8Buffer(item->value, WideLength(value.text), value.text);
  } else {
    item->value.Reallocate(size);
    const auto bits = static_cast<uint64_t>(number);
    for (int32_t i = 0; i < size; ++i) item->value.data[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  }
  return kScenarioOk;
}

int ParseRunLine(cSOPKGDescription& desc, const char16_t* line) {
  int32_t pos = 0;
  _guardchar<char16_t> caption;
  if (!ReadReference(desc, line, pos, caption)) return kScenarioBadValue;
  if (!SkipEquals(line, pos)) return kScenarioSyntax;
  sRunItem* item = desc.AddRunEntry();
  if (item == nullptr) return kScenarioBadValue;
  item->captionKey = std::move(caption);
  if (!ReadFolderPath(desc, line, pos, item->folderKey, item->relativePath)) return kScenarioBadFolderPath;
  if (AtValueEnd(line, pos)) return kScenarioOk;
  if (line[pos] != u',') return kScenarioSyntax;
  ++pos;
  SkipBlanks(line, pos);
  if (AtValueEnd(line, pos)) return kScenarioOk;
  if (StartsWith(line + pos, u"yes", 3)) {
    item->flag = 1;
    pos += 3;
  } else if (StartsWith(line + pos, u"no", 2)) {
    pos += 2;
  } else {
    return kScenarioSyntax;
  }
  SkipBlanks(line, pos);
  if (AtValueEnd(line, pos)) return kScenarioOk;
  if (line[pos] != u',') return kScenarioSyntax;
  ++pos;
  SkipBlanks(line, pos);
  if (!ReadReference(desc, line, pos, item->argumentsKey)) return kScenarioBadValue;
  return AtValueEnd(line, pos) ? kScenarioOk : kScenarioSyntax;
}

int ParseDeprecatesLine(cSOPKGDescription& desc, const char16_t* line) {
  int32_t pos = 0;
  _guardchar<char16_t> codename;
  if (!ReadQuoted(line, pos, codename) || codename.IsEmpty() || !SkipEquals(line, pos)) return kScenarioSyntax;
  uint16_t value = 0;
  if (line[pos] == u'*') {
    ++pos;
    SkipBlanks(line, pos);
    if (!AtValueEnd(line, pos)) return kScenarioSyntax;
    value = 0xFFFF;
  } else if (line[pos] == u'"') {
    _guardchar<char16_t> number;
    if (!ReadQuoted(line, pos, number)) return kScenarioBadValue;
    if (number.IsEmpty()) return kScenarioSyntax;
    const int64_t n = ParseInt64W(number.text);
    if (n < 0 || n > 0xFFFF) return kScenarioBadNumber;
    value = static_cast<uint16_t>(n);
  } else {
    return kScenarioBadValue;
  }
  sDeprecateItem* item = desc.AddDeprecate();
  if (item == nullptr) return kScenarioBadValue;
  item->codename = std::move(codename);
  item->version = value;
  return kScenarioOk;
}
