// Installed-product lookup and file removal. See installed_product.h.
#include "tools/installed_product.h"

#include <cstring>

#include "base/app_config.h"
#include "base/buffers.h"
#include "base/dirlist.h"
#include "base/fileio.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/strings.h"
#include "gui/app.h"
#include "tools/install_record.h"
#include "tools/uninstall_entry.h"

namespace {

cApplicationConfig* CurrentStore() {
  cCIApplication* app = cCIApplication::GetCurrent();
  return app != nullptr ? app->GetConfig() : nullptr;
}

// "install/<codename>/<name>"; false for an empty UTF-8 codename.
bool RecordKey(const char16_t* codename, const char* name, _guardchar<char>& out) {
  _guardchar<char> utf8;
  WideToUtf8(codename, utf8, -1);
  if (utf8.text == nullptr || *utf8.text == 0) return false;
  int32_t capacity = static_cast<int32_t>(std::strlen(utf8.text) + std::strlen(name)) + 16;
  _typebuf<char> key(capacity);
  FormatA(key.data, capacity, "install/%s/%s", utf8.text, name);
  out.Assign(key.data);
  return true;
}

}  // namespace

bool FindInstalledProduct(const char16_t* codename, int32_t& version,
                          _guardchar<char16_t>& command) {
  return FindInstalledProductIn(CurrentStore(), codename, version, command);
}

bool FindInstalledProductIn(cApplicationConfig* store, const char16_t* codename,
                            int32_t& version, _guardchar<char16_t>& command) {
  if (store != nullptr) {
    _guardchar<char> key;
    if (!RecordKey(codename, "ver", key)) return false;
    uint64_t installed = 0;
    _guardchar<char16_t> manager;
    if (store->GetInt64(key.text, installed) && store->GetString(tw::kKeyInstallerApp, manager) &&
        GetPathKind(manager.text) == tw::kPathFile) {
      int32_t capacity = WideLength(manager.text) + WideLength(codename) + 24;
      _typebuf<char16_t> text(capacity);
      FormatW(text.data, capacity, u"\"%s\" uninstall \"%s\"", manager.text, codename);
      command.Assign(text.data);
      version = static_cast<int32_t>(installed >> 48);
      return true;
    }
  }
  // Recorded by someone else, or our manager is gone: the Uninstall entries.
  for (bool perUser : {false, true}) {
    uint32_t parts[4];
    if (ReadUninstallEntry(codename, parts, &command, nullptr, perUser)) {
      version = static_cast<int32_t>(parts[0]);
      return true;
    }
  }
  return false;
}

bool GetInstalledProductName(_guardchar<char16_t>& name, const char16_t* codename) {
  return GetInstalledProductNameIn(CurrentStore(), name, codename);
}

bool GetInstalledProductNameIn(cApplicationConfig* store, _guardchar<char16_t>& name,
                               const char16_t* codename) {
  if (store != nullptr) {
    _guardchar<char> key;
    if (!RecordKey(codename, "name", key)) return false;
    if (store->GetString(key.text, name)) return true;
  }
  for (bool perUser : {false, true}) {
    uint32_t parts[4];
    if (ReadUninstallEntry(codename, parts, nullptr, &name, perUser)) return true;
  }
  return false;
}

bool DeleteFileAndEmptyFolders(const char16_t* path) {
  int kind = GetPathKind(path);
  if (kind == tw::kPathMissing) return true;
  if (kind != tw::kPathFile) return false;
  if (!DeleteFileLong(path)) return false;

  _guardchar<char16_t> folder(path);
  for (;;) {
    // Cut at the last '/', and at the whole run of '/' before it.
    char16_t* slash = const_cast<char16_t*>(FindLastCharW(folder.text, u'/'));
    if (slash == nullptr) break;
    while (slash > folder.text && slash[-1] == u'/') --slash;
    if (slash == folder.text) break;
    *slash = 0;
    if (GetPathKind(folder.text) != tw::kPathDirectory) break;
    cDirListing listing;
    if (!listing.ReadDirectory(folder.text, false) || listing.NextId() != 0) break;
    if (!RemoveDirectoryLong(folder.text)) break;
  }
  return true;
}

bool MoveAsideIfWritable(const char16_t* path, const char16_t* newPath) {
  tFileHandle handle = OpenFileLong(path, kFileWrite | kFileShareNone);
  if (handle == kInvalidFileHandle) return false;
  CloseFileHandle(handle);
  return MoveFileLong(path, newPath);
}
