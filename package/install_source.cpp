// cSOPKGDescription::AddInstallSource: files and folder trees into payloads
// and install entries (see description.h).
#include <algorithm>
#include <new>
#include <vector>

#include "base/dirlist.h"
#include "base/dirlist_internal.h"
#include "base/fileio.h"
#include "base/paths.h"
#include "base/strings.h"
#include "package/description.h"

namespace {

// Deeper trees are refused: a folder link that leads back to an ancestor
// would otherwise add the same files over and over.
constexpr int kMaxFolderDepth = 256;

void CopyLanguages(const cSimpleList<int32_t>& from, cSimpleList<int32_t>& to) {
  to.Clear();
  for (auto* n = from.head; n != nullptr; n = n->next) to.Append(n->value);
}

bool AddFile(cSOPKGDescription& desc, const sInstallEntry& entry, const char16_t* source) {
  cFileIO file;
  if (!file.Open(source, kFileRead)) return false;  // shared for reading and writing
  const int32_t index = AddPayloadFromStream(&file, desc.payloads);
  if (index < 0) return false;  // also an empty file: its payload would end the list
  sInstallEntry* added = desc.AddInstallEntry();
  if (added == nullptr) return false;
  added->payloadIndex = static_cast<uint32_t>(index);
  added->folderKey = entry.folderKey;
  added->relativePath = entry.relativePath;
  CopyLanguages(entry.languages, added->languages);
  added->flag32 = entry.flag32;
  added->flag64 = entry.flag64;
  added->accessUser = entry.accessUser;
  added->accessAdmins = entry.accessAdmins;
  added->accessEveryone = entry.accessEveryone;
  return true;
}

bool AddSource(cSOPKGDescription& desc, const sInstallEntry& entry, const char16_t* source, int depth) {
  const int kind = GetPathKind(source);
  if (kind == tw::kPathFile) return AddFile(desc, entry, source);
  if (kind != tw::kPathDirectory || depth >= kMaxFolderDepth) return false;

  cDirListing listing;
  if (!listing.ReadDirectory(source, false)) return false;
  // The listing order of a Windows file system is not that of every file
  // system (nor of Wine's): sort, so a tree always gives the same package.
  std::vector<const sDirEntry*> entries;
  std::vector<int32_t> ids;
  using tEntries = cSortedTree<int32_t, sDirEntry>;
  for (tEntries::Node* n = listing.Entries().First(); n != nullptr; n = tEntries::Next(n)) {
    entries.push_back(&n->value);
    ids.push_back(n->key);
  }
  std::vector<size_t> order(entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return tw::CompareListingNames(entries[a]->path.text != nullptr ? entries[a]->path.text : u"",
                                   entries[b]->path.text != nullptr ? entries[b]->path.text : u"") < 0;
  });

  for (size_t i : order) {
    const char16_t* name = entries[i]->path.text != nullptr ? entries[i]->path.text : u"";
    sInstallEntry child;
    child.folderKey = entry.folderKey;
    if (entry.relativePath.IsEmpty()) {
      child.relativePath.Assign(name);
    } else {
      const int32_t r = WideLength(entry.relativePath.text), n = WideLength(name);
      child.relativePath.AllocateZeroed(static_cast<uint32_t>(r + 1 + n + 1));
      char16_t* out = child.relativePath.text;
      for (int32_t k = 0; k < r; ++k) *out++ = entry.relativePath.text[k];
      *out++ = u'/';
      for (int32_t k = 0; k < n; ++k) *out++ = name[k];
      *out = 0;
    }
    CopyLanguages(entry.languages, child.languages);
    child.flag32 = entry.flag32;
    child.flag64 = entry.flag64;
    child.accessUser = entry.accessUser;
    child.accessAdmins = entry.accessAdmins;
    child.accessEveryone = entry.accessEveryone;
    _guardchar<char16_t> childSource;
    if (!listing.GetEntryPath(ids[i], childSource)) return false;
    if (!AddSource(desc, child, childSource.text, depth + 1)) return false;
  }
  return true;
}

}  // namespace

bool cSOPKGDescription::AddInstallSource(const sInstallEntry& entry, const char16_t* source) {
  if (source == nullptr || source[0] == 0) return false;
  try {
    return AddSource(*this, entry, source, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
}
