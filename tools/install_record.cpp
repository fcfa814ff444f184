// The installation record. See install_record.h.
#include "tools/install_record.h"

#include <cstring>

#include "base/app_config.h"
#include "base/buffers.h"
#include "base/format.h"
#include "base/strings.h"
#include "base/time.h"

void FormatInstallKey(const char16_t* codename, _guardchar<char>& out) {
  _guardchar<char> utf8;
  WideToUtf8(codename, utf8, -1);
  const char* name = utf8.text != nullptr ? utf8.text : "";
  int32_t capacity = static_cast<int32_t>(std::strlen(name)) + 16;
  _typebuf<char> key(capacity);
  FormatA(key.data, capacity, "install/%s", name);
  out.Assign(key.data);
}

void FormatRunCommand(const sRunEntryRecord& entry, _guardchar<char16_t>& out) {
  if (entry.arguments == nullptr || *entry.arguments == 0) {
    out.Assign(entry.program);
    return;
  }
  int32_t capacity = WideLength(entry.program) + WideLength(entry.arguments) + 8;
  _typebuf<char16_t> command(capacity);
  FormatW(command.data, capacity, u"\"%s\" %s", entry.program, entry.arguments);
  out.Assign(command.data);
}

cKeyName::cKeyName(const char* prefix, const char* name, int64_t index) {
  if (prefix == nullptr) prefix = "";
  if (name == nullptr) name = "";
  // Room for the '/', an index of up to 20 digits and the terminator.
  text.Reallocate(static_cast<int32_t>(std::strlen(prefix) + std::strlen(name)) + 32);
  if (index < 0) {
    FormatA(text.data, text.count, "%s/%s", prefix, name);
  } else {
    FormatA(text.data, text.count, "%s/%s%lld", prefix, name, static_cast<long long>(index));
  }
}

namespace {

void SetText(cApplicationConfig* store, const char* key, const char16_t* text) {
  store->SetString(key, text != nullptr ? text : u"", -1);
}

}  // namespace

void WriteInstallRegistration(cApplicationConfig* store, const sInstallRecordData& record,
                              const char* keyPrefix) {
  if (store == nullptr || keyPrefix == nullptr) return;
  const char* p = keyPrefix;
  store->SetInt64(cKeyName(p, "ver"), static_cast<int64_t>(record.version));
  store->SetU16(cKeyName(p, "lang"), record.language);
  store->SetU16(tw::kKeyLangCurrent, record.language);
  SetText(store, cKeyName(p, "path"), record.programFolder);
  SetText(store, cKeyName(p, "name"), record.name);
  SetText(store, cKeyName(p, "updates"), record.updatesUrl);
  SetText(store, cKeyName(p, "support"), record.supportUrl);
  SetText(store, cKeyName(p, "publisher"), record.publisherUrl);
  if (record.iconPath != nullptr && *record.iconPath != 0) {
    SetText(store, cKeyName(p, "icon"), record.iconPath);
  }
  // Unix seconds of the current UTC time, the low 32 bits.
  store->SetInt(cKeyName(p, "utime"), static_cast<int32_t>(static_cast<uint32_t>(GetUnixTimeNow())));

  store->SetInt(cKeyName(p, "files"), record.fileCount);
  for (int32_t i = 0; i < record.fileCount; ++i) {
    SetText(store, cKeyName(p, "file", i), record.files[i]);
  }
  store->SetInt(cKeyName(p, "shortc"), record.shortcutCount);
  for (int32_t i = 0; i < record.shortcutCount; ++i) {
    SetText(store, cKeyName(p, "shortc", i), record.shortcuts[i]);
  }
  // Entries without a program or caption take no number, so the readers'
  // walk from 0 meets no gap.
  int64_t k = 0;
  for (int32_t i = 0; i < record.runEntryCount; ++i) {
    const sRunEntryRecord& entry = record.runEntries[i];
    if (entry.program == nullptr || *entry.program == 0 || entry.caption == nullptr ||
        *entry.caption == 0) {
      continue;
    }
    _guardchar<char16_t> command;
    FormatRunCommand(entry, command);
    SetText(store, cKeyName(p, "cplns", k), entry.caption);
    SetText(store, cKeyName(p, "cplcs", k), command.text);
    ++k;
  }
}
