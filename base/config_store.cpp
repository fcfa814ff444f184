// See base/config_store.h.
#include "base/config_store.h"

#include <atomic>
#include <cstring>

#include "base/config_store_internal.h"
#include "base/dirlist.h"
#include "base/paths.h"
#include "base/strings.h"
#include "base/time.h"

namespace {

// cFileIO flags: read and write access, shared for reading and writing.
constexpr int kReadWriteShared = 3;
constexpr int kReadShared = 1;

// The whole stream, from position 0, into out; false above limit bytes.
bool ReadWhole(cFileIOTarget& file, _typebuf<char>& out, uint64_t limit = tw::kMaxSectionFileSize) {
  const uint64_t size = file.GetSize();
  if (size > limit || !file.Seek(0)) return false;
  out.Reallocate(static_cast<int32_t>(size));
  return size == 0 || file.ReadExact(out.data, static_cast<uint32_t>(size));
}

// Writes size bytes over the start of file in one call, then cuts the file
// to them.
bool WriteImage(cFileIOTarget& file, const char* image, uint32_t size) {
  return file.Seek(0) && file.WriteExact(image, size) && file.SetSize(size);
}

constexpr char kPendingMagic[4] = {'Q', 'X', 'V', 'P'};
constexpr uint32_t kPendingHeader = 12;

uint32_t LoadU32(const char* p) {
  return static_cast<uint32_t>(static_cast<uint8_t>(p[0])) | static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(p[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(p[3])) << 24;
}

bool SameBytes(const char* a, const char* b, uint32_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }

// Whether now is what a save from before to image can have left in the
// file: one write of image over the start of before, stopped anywhere,
// possibly followed by the cut to the image's size. Then the pending copy
// belongs to this file's latest change and may finish it; anything else is
// a later save by someone else, which a stale copy must not overwrite.
bool LeftBySave(const _typebuf<char>& now, const char* before, uint32_t beforeSize, const char* image,
                uint32_t imageSize) {
  const uint32_t nowSize = static_cast<uint32_t>(now.count);
  uint32_t common = 0;  // the longest prefix now shares with the image
  while (common < nowSize && common < imageSize && now.data[common] == image[common]) ++common;
  // The write stopped at or before common (bytes the image shares with the
  // old content look written either way); past it the old bytes follow.
  const uint32_t oldRest = beforeSize > common ? beforeSize - common : 0;
  return nowSize - common == oldRest && SameBytes(now.data + common, before + common, oldRest);
}

enum class ePending {
  kNone,   // no pending copy
  kDrop,   // a copy that has nothing to add: cut short, damaged, already
           // applied, or older than the file's latest change
  kApply,  // a complete copy whose save left the file as it is now: its
           // image is the section's content
};

// Looks at the pending copy of a section whose file (locked) holds now.
// With kApply, image holds the copy's image.
ePending ReadPending(const char16_t* pendingPath, const _typebuf<char>& now, _typebuf<char>& image) {
  if (GetPathKind(pendingPath) != tw::kPathFile) return ePending::kNone;
  _typebuf<char> copy;
  {
    cFileIO pending;
    if (!pending.Open(pendingPath, kReadShared) ||
        !ReadWhole(pending, copy, 2 * tw::kMaxSectionFileSize + kPendingHeader))
      return ePending::kDrop;
  }
  const uint32_t copySize = static_cast<uint32_t>(copy.count);
  if (copySize < kPendingHeader || std::memcmp(copy.data, kPendingMagic, 4) != 0) return ePending::kDrop;
  const uint32_t imageSize = LoadU32(copy.data + 4);
  const uint32_t beforeSize = LoadU32(copy.data + 8);
  const char* copied = copy.data + kPendingHeader;
  cConfigNode probe;
  if (uint64_t{kPendingHeader} + imageSize + beforeSize != copySize ||
      !tw::ParseSectionImage(copied, imageSize, probe))
    return ePending::kDrop;
  const bool finished = static_cast<uint32_t>(now.count) == imageSize && SameBytes(now.data, copied, imageSize);
  if (finished || !LeftBySave(now, copied + imageSize, beforeSize, copied, imageSize)) return ePending::kDrop;
  image.Reallocate(static_cast<int32_t>(imageSize));
  if (imageSize > 0) std::memcpy(image.data, copied, imageSize);
  return ePending::kApply;
}

const tw::sConfigDurability kDefaultDurability = {
    [](cFileIO& file) { return file.Flush(); },
    [](const char16_t* path) { return FlushFolderLong(path); },
};
std::atomic<const tw::sConfigDurability*> g_durability{&kDefaultDurability};

const tw::sConfigDurability& Durable() { return *g_durability.load(std::memory_order_acquire); }

// Writes image over the locked section file and waits until it is on the
// disk: only then may the pending copy that holds it go.
bool WriteImageDurably(cFileIO& file, const char* image, uint32_t size) {
  return WriteImage(file, image, size) && Durable().flushFile(file);
}

// Reads the locked section file into content, the way the section is: an
// interrupted save's complete pending copy counts. With write access the
// copy's image goes into the file and the copy is removed (as is any copy
// with nothing to add); without it the file and the copy stay as they are
// for the next save.
bool ReadSettled(cFileIO& file, const char16_t* pendingPath, bool mayWrite, _typebuf<char>& content) {
  if (!ReadWhole(file, content)) return false;
  _typebuf<char> image;
  const ePending pending = ReadPending(pendingPath, content, image);
  if (pending == ePending::kApply) {
    if (mayWrite && !WriteImageDurably(file, image.data, static_cast<uint32_t>(image.count))) return false;
    content = std::move(image);
  }
  if (pending != ePending::kNone && mayWrite) DeleteFileLong(pendingPath);
  return true;
}

// Writes a new file and waits until its bytes are on the disk.
bool WriteNewFile(const char16_t* path, const void* bytes, uint32_t size) {
  cFileIO file;
  return file.Create(path, kReadWriteShared) && file.WriteExact(bytes, size) && Durable().flushFile(file);
}

bool SameValue(const cConfigNode& a, const cConfigNode& b) {
  return a.value.count == b.value.count &&
         (a.value.count == 0 || std::memcmp(a.value.data, b.value.data, static_cast<size_t>(a.value.count)) == 0);
}

// Whether a caller wrote a value anywhere in the subtree.
bool Written(const cConfigNode& node) {
  if (node.written) return true;
  for (auto* n = node.children.First(); n != nullptr; n = cConfigNode::tChildren::Next(n))
    if (Written(n->value)) return true;
  return false;
}

// Applies the differences between base and mine to target: values written
// (whatever they are) or changed, keys added and keys deleted. A key deleted
// in target (by another process) stays deleted unless mine wrote or changed
// something below it.
bool MergeChanges(cConfigNode& target, const cConfigNode& base, const cConfigNode& mine, int32_t depth) {
  if (depth > tw::kConfigMaxDepth) return false;
  if (mine.written || !SameValue(base, mine)) {
    target.value.Reallocate(mine.value.count);
    if (mine.value.count > 0) std::memcpy(target.value.data, mine.value.data, static_cast<size_t>(mine.value.count));
  }
  using tChildren = cConfigNode::tChildren;
  for (auto* b = base.children.First(); b != nullptr; b = tChildren::Next(b))
    if (mine.children.FindNode(b->key) == nullptr) target.children.EraseKey(b->key);
  const cConfigNode empty;
  for (auto* m = mine.children.First(); m != nullptr; m = tChildren::Next(m)) {
    const cConfigNode* b = base.children.Find(m->key);
    cConfigNode* t = target.children.Find(m->key);
    if (b != nullptr && t == nullptr) {
      if (!Written(m->value) && cConfigNode::SameTree(*b, m->value)) continue;
      b = nullptr;  // deleted there, written or changed here: ours comes back whole
    }
    if (t == nullptr) t = target.children.FindOrInsert(cPackedKey(m->key));
    if (t == nullptr || !MergeChanges(*t, b != nullptr ? *b : empty, m->value, depth + 1)) return false;
  }
  return true;
}

// Erases from target every key that deleted marks (see sConfigSection).
void ApplyDeletions(cConfigNode& target, const cConfigNode& deleted) {
  using tChildren = cConfigNode::tChildren;
  for (auto* d = deleted.children.First(); d != nullptr; d = tChildren::Next(d)) {
    auto* t = target.children.FindNode(d->key);
    if (t == nullptr) continue;
    if (d->value.value.count != 0)
      target.children.Erase(t);
    else
      ApplyDeletions(t->value, d->value);
  }
}

// The bytes the writer makes of node and its subtree (the image of a
// section is the magic and its root's).
uint64_t ImageSize(const cConfigNode& node, _typebuf<char>& key) {
  uint64_t size = 2 + static_cast<uint64_t>(node.value.count) + 1;
  for (auto* n = node.children.First(); n != nullptr; n = cConfigNode::tChildren::Next(n)) {
    n->key.ToBytes(key);
    const int32_t keyBytes = key.count < tw::kConfigMaxKeyBytes ? key.count : tw::kConfigMaxKeyBytes;
    size += 2 + static_cast<uint64_t>(keyBytes) + ImageSize(n->value, key);
  }
  return size;
}

// Makes mine hold what fresh holds, keeping every node of mine whose key
// fresh still has: nodes handed out stay valid. Written marks are cleared.
bool SyncTree(cConfigNode& mine, const cConfigNode& fresh) {
  using tChildren = cConfigNode::tChildren;
  mine.written = false;
  if (!SameValue(mine, fresh)) {
    mine.value.Reallocate(fresh.value.count);
    if (fresh.value.count > 0) std::memcpy(mine.value.data, fresh.value.data, static_cast<size_t>(fresh.value.count));
  }
  for (auto* n = mine.children.First(); n != nullptr;) {
    auto* next = tChildren::Next(n);  // nodes never move: still valid after the erase
    if (fresh.children.FindNode(n->key) == nullptr) mine.children.Erase(n);
    n = next;
  }
  for (auto* f = fresh.children.First(); f != nullptr; f = tChildren::Next(f)) {
    cConfigNode* m = mine.children.FindOrInsert(cPackedKey(f->key));
    if (m == nullptr || !SyncTree(*m, f->value)) return false;
  }
  return true;
}

// Appends the hexadecimal digits of v.
void AppendHex(_guardchar<char16_t>& text, uint64_t v) {
  char16_t digits[17];
  int32_t n = 0;
  do {
    digits[n++] = u"0123456789abcdef"[v & 15];
    v >>= 4;
  } while (v != 0);
  const int32_t old = WideLength(text.text);
  _guardchar<char16_t> joined;
  joined.AllocateZeroed(static_cast<uint32_t>(old + n + 1));
  if (old > 0) std::memcpy(joined.text, text.text, static_cast<size_t>(old) * sizeof(char16_t));
  for (int32_t i = 0; i < n; ++i) joined.text[old + i] = digits[n - 1 - i];
  text = std::move(joined);
}

}  // namespace

void tw::BuildPendingCopy(const void* before, uint32_t beforeSize, const void* image, uint32_t imageSize,
                          _typebuf<char>& out) {
  out.Reallocate(static_cast<int32_t>(kPendingHeader + imageSize + beforeSize));
  std::memcpy(out.data, kPendingMagic, 4);
  for (int i = 0; i < 4; ++i) {
    out.data[4 + i] = static_cast<char>(imageSize >> (8 * i));
    out.data[8 + i] = static_cast<char>(beforeSize >> (8 * i));
  }
  if (imageSize > 0) std::memcpy(out.data + kPendingHeader, image, imageSize);
  if (beforeSize > 0) std::memcpy(out.data + kPendingHeader + imageSize, before, beforeSize);
}

const tw::sConfigDurability& tw::ConfigDurability() { return Durable(); }

void tw::SetConfigDurability(const sConfigDurability* calls) {
  g_durability.store(calls != nullptr ? calls : &kDefaultDurability, std::memory_order_release);
}

cCIAppConfig::cCIAppConfig() = default;

cCIAppConfig::~cCIAppConfig() = default;

void cCIAppConfig::BuildPath(const char16_t* sub, const char16_t* leaf, _guardchar<char16_t>& out) const {
  const int32_t subLength = sub != nullptr ? WideLength(sub) + 1 : 0;
  const int32_t leafLength = WideLength(leaf);
  _guardchar<char16_t> path;
  path.AllocateZeroed(static_cast<uint32_t>(rootFolderLength_ + 1 + subLength + leafLength + 1));
  char16_t* p = path.text;
  std::memcpy(p, rootFolder_.text, static_cast<size_t>(rootFolderLength_) * sizeof(char16_t));
  p += rootFolderLength_;
  *p++ = u'/';
  if (sub != nullptr) {
    std::memcpy(p, sub, static_cast<size_t>(subLength - 1) * sizeof(char16_t));
    p += subLength - 1;
    *p++ = u'/';
  }
  if (leafLength > 0) std::memcpy(p, leaf, static_cast<size_t>(leafLength) * sizeof(char16_t));
  out = std::move(path);
}

bool cCIAppConfig::SetRootFolder(const char16_t* name) {
  // A failure leaves no folder: nothing resolves until a later success.
  rootFolder_.Clear();
  rootFolderLength_ = 0;
  if (name == nullptr || name[0] == 0) return false;
  if (GetPathKind(name) == tw::kPathDirectory) {
    rootFolder_.Assign(name);
  } else {
    _guardchar<char16_t> folder;
    if (!GetUserDataFolder(folder, name)) return false;
    rootFolder_ = std::move(folder);
  }
  rootFolderLength_ = WideLength(rootFolder_.text);
  return true;
}

bool cCIAppConfig::Create(const char16_t* name) {
  if (!SetRootFolder(name)) return false;
  if (GetPathKind(rootFolder_.text) != tw::kPathMissing) return false;
  return CreateDirectoryLong(rootFolder_.text);
}

bool cCIAppConfig::Open(const char16_t* name) {
  sections_.Clear();
  if (!SetRootFolder(name)) return false;
  if (GetPathKind(rootFolder_.text) != tw::kPathDirectory) return false;
  cDirListing listing;
  if (!listing.ReadDirectory(rootFolder_.text, true)) return false;
  _guardchar<char16_t> path;
  for (auto* e = listing.Entries().First(); e != nullptr; e = cSortedTree<int32_t, sDirEntry>::Next(e)) {
    if (e->value.kind != sDirEntry::kFile) continue;
    BuildPath(nullptr, e->value.path.text, path);
    sFileStamp stamp;
    if (!GetFileStamp(path.text, stamp)) continue;
    sConfigSection* section = sections_.FindOrInsert(cPackedKey().FromWide(e->value.path.text, -1));
    if (section == nullptr) continue;
    section->changed = 0;
    section->stamp = stamp;
    section->name.Assign(e->value.path.text);
    LoadSectionFile(path.text, *section);  // a failed load keeps what was read
  }
  return true;
}

bool cCIAppConfig::LoadSectionFile(const char16_t* path, sConfigSection& section) {
  cSafeCriticalSectionAccess guard(&lock_);
  section.root.Clear();
  section.base.Clear();
  section.deleted.Clear();
  _guardchar<char16_t> pendingPath;
  BuildPath(tw::kPendingFolder, section.name.text, pendingPath);
  // Read access only: a user who may not write a machine-wide section can
  // still read it. Only an interrupted save's pending copy asks for more,
  // to finish that save; without write access it is read as it is.
  cFileIO file;
  bool mayWrite = false;
  if (GetPathKind(pendingPath.text) == tw::kPathFile && file.Open(path, kReadWriteShared)) {
    mayWrite = file.Lock(0, 4);
    if (!mayWrite) file.Close();
  }
  if (!mayWrite && (!file.Open(path, kReadShared) || !file.Lock(0, 4))) return false;
  _typebuf<char> image;
  if (!ReadSettled(file, pendingPath.text, mayWrite, image)) return false;
  // Taken under the lock: no save can come between this stamp and the
  // bytes just read.
  GetFileStamp(path, section.stamp);
  const bool ok = tw::ParseSectionImage(image.data, static_cast<uint32_t>(image.count), section.root);
  section.base.CopyFrom(section.root);
  return ok;
}

bool cCIAppConfig::SaveSectionFile(const char16_t* path, sConfigSection& section) {
  cFileIO file;
  if (!file.Open(path, kReadWriteShared) || !file.Lock(0, 4)) return false;
  _guardchar<char16_t> pendingFolder, pendingPath;
  BuildPath(nullptr, tw::kPendingFolder, pendingFolder);
  BuildPath(tw::kPendingFolder, section.name.text, pendingPath);
  _typebuf<char> current;
  if (!ReadSettled(file, pendingPath.text, true, current)) return false;
  sFileStamp before;
  const bool haveBefore = GetFileStamp(path, before);
  // What the file holds now (another process may have saved since this
  // section was read); a foreign or damaged file contributes what decodes.
  cConfigNode merged;
  tw::ParseSectionImage(current.data, static_cast<uint32_t>(current.count), merged);
  // This store's deletions first: what it wrote after them comes back.
  ApplyDeletions(merged, section.deleted);
  if (!MergeChanges(merged, section.base, section.root, 0)) return false;
  // A file the reader would refuse would lose every key of the section:
  // such a save is refused and the file stays as it is.
  _typebuf<char> key;
  if (ImageSize(merged, key) + sizeof tw::kSectionMagic > tw::kMaxSectionFileSize) return false;
  _typebuf<char> image;
  if (!tw::BuildSectionImage(merged, image)) return false;
  _typebuf<char> copy;
  tw::BuildPendingCopy(current.data, static_cast<uint32_t>(current.count), image.data,
                       static_cast<uint32_t>(image.count), copy);
  // The pending copy is on the disk, under its name, before the section
  // file is touched: a power loss in the write below finds it complete.
  if (!CreateDirectoryLong(pendingFolder.text)) return false;
  if (!WriteNewFile(pendingPath.text, copy.data, static_cast<uint32_t>(copy.count)) ||
      !Durable().flushFolder(pendingFolder.text)) {
    // A complete copy would finish this failed save at the next lock.
    DeleteFileLong(pendingPath.text);
    return false;
  }
  // A failure from here on leaves the complete pending copy, which the next
  // holder of the lock writes into the file.
  if (!WriteImageDurably(file, image.data, static_cast<uint32_t>(image.count))) return false;
  DeleteFileLong(pendingPath.text);
  sFileStamp stamp;
  // The clock the file system stamps writes with moves in ticks of several
  // milliseconds: a save within the tick of the previous one, of the same
  // size, would leave the stamp that other stores hold for the old content.
  // Move the write time past the old one so that every save changes it.
  if (GetFileStamp(path, stamp) && haveBefore && stamp.writeTime <= before.writeTime &&
      SetFileWriteTime(file.Handle(), before.writeTime + 1))
    GetFileStamp(path, stamp);
  // The tree now follows the file without being rebuilt, so that nodes
  // handed out stay valid.
  cConfigNode saved;
  tw::ParseSectionImage(image.data, static_cast<uint32_t>(image.count), saved);
  SyncTree(section.root, saved);
  section.base.CopyFrom(saved);
  section.deleted.Clear();
  section.stamp = stamp;
  return true;
}

bool cCIAppConfig::CreateSectionFile(const char16_t* path) {
  if (GetPathKind(path) != tw::kPathMissing) return false;
  _guardchar<char16_t> pendingFolder, temporary;
  BuildPath(nullptr, tw::kPendingFolder, pendingFolder);
  if (!CreateDirectoryLong(pendingFolder.text)) return false;
  // Unique among the processes sharing the folder: time, serial, address.
  static std::atomic<uint32_t> serial{0};
  _guardchar<char16_t> leaf(u"new-");
  AppendHex(leaf, GetMicroseconds());
  AppendHex(leaf, serial.fetch_add(1) + 0x100000000ull);
  AppendHex(leaf, reinterpret_cast<uintptr_t>(this) + (uint64_t{1} << 63));
  BuildPath(tw::kPendingFolder, leaf.text, temporary);
  static constexpr char kEmptySection[7] = {'Q', 'X', 'V', 'C', 0, 0, 0};
  // Flushed before it is moved into place, so a power loss cannot leave an
  // empty or torn file under the section's name.
  if (!WriteNewFile(temporary.text, kEmptySection, sizeof kEmptySection)) {
    DeleteFileLong(temporary.text);
    return false;
  }
  // Never replaces: a file that another process created meanwhile stays.
  if (MoveFileLong(temporary.text, path)) return true;
  DeleteFileLong(temporary.text);
  return false;
}

cConfigNode* cCIAppConfig::FindSection(const char* name, bool create) {
  if (name == nullptr || name[0] == 0 || rootFolder_.text == nullptr) return nullptr;
  _guardchar<char16_t> wide, path;
  Utf8ToWide(name, static_cast<int32_t>(std::strlen(name)), wide);
  BuildPath(nullptr, wide.text, path);
  cPackedKey key;
  key.FromWide(wide.text, -1);
  sConfigSection* section = sections_.Find(key);
  if (section != nullptr) {
    sFileStamp now;
    if (section->changed == 0 && GetFileStamp(path.text, now) && now != section->stamp)
      LoadSectionFile(path.text, *section);
  } else {
    const int kind = GetPathKind(path.text);
    if (kind == tw::kPathMissing) {
      if (!create) return nullptr;
      // A file that appeared since the test above is loaded, not replaced.
      if (!CreateSectionFile(path.text) && GetPathKind(path.text) != tw::kPathFile) return nullptr;
    } else if (kind != tw::kPathFile) {
      return nullptr;
    }
    section = sections_.FindOrInsert(std::move(key));
    if (section == nullptr) return nullptr;
    section->changed = 0;
    section->name = std::move(wide);
    if (!LoadSectionFile(path.text, *section)) return nullptr;
  }
  if (create) section->changed = 1;
  return &section->root;
}

cConfigNode* cCIAppConfig::Child(const char* name, cConfigNode* parent, bool create) {
  if (name == nullptr || name[0] == 0 || parent == nullptr || rootFolder_.text == nullptr) return nullptr;
  if (IsTop(parent)) return FindSection(name, create);
  cPackedKey key;
  key.FromText(name, -1);
  if (cConfigNode* child = parent->children.Find(key)) return child;
  if (!create) return nullptr;
  return parent->children.FindOrInsert(std::move(key));
}

bool cCIAppConfig::ValueSize(cConfigNode* node, uint32_t& size) {
  if (node == nullptr || IsTop(node)) return false;
  size = static_cast<uint32_t>(node->value.count);
  return true;
}

bool cCIAppConfig::ReadBytes(void* buffer, uint32_t n, cConfigNode* node) {
  if (buffer == nullptr || n == 0 || node == nullptr || IsTop(node) || node->value.count == 0) return false;
  const uint32_t size = static_cast<uint32_t>(node->value.count);
  std::memcpy(buffer, node->value.data, n < size ? n : size);
  return true;
}

bool cCIAppConfig::WriteBytes(const void* bytes, uint32_t n, cConfigNode* node) {
  if (node == nullptr || IsTop(node) || n > static_cast<uint32_t>(tw::kConfigMaxValueSize)) return false;
  if (n == 0) {
    node->value.Reset();
    node->written = true;
    return true;
  }
  if (bytes == nullptr) return false;
  // Copied before the old value is freed: bytes may point into it.
  _typebuf<char> fresh(static_cast<int32_t>(n));
  std::memcpy(fresh.data, bytes, n);
  node->value = std::move(fresh);
  node->written = true;
  return true;
}

bool cCIAppConfig::ForEachChangedSection(bool (cCIAppConfig::*sectionFile)(const char16_t*, sConfigSection&)) {
  bool ok = true;
  _guardchar<char16_t> path;
  for (auto* n = sections_.First(); n != nullptr; n = tSections::Next(n)) {
    sConfigSection& section = n->value;
    if (section.changed == 0) continue;
    BuildPath(nullptr, section.name.text, path);
    if ((this->*sectionFile)(path.text, section))
      section.changed = 0;
    else
      ok = false;
  }
  return ok;
}

bool cCIAppConfig::Save() { return ForEachChangedSection(&cCIAppConfig::SaveSectionFile); }

bool cCIAppConfig::RevertChanged() { return ForEachChangedSection(&cCIAppConfig::LoadSectionFile); }

bool cCIAppConfig::DeleteKey(const char* path) {
  if (path == nullptr || path[0] == 0) return false;
  const char* slash = std::strrchr(path, '/');
  // A whole section cannot be deleted; an empty last component names nothing.
  if (slash == nullptr || slash == path || slash[1] == 0) return false;
  _guardchar<char> parentPath;
  parentPath.AssignN(path, static_cast<uint32_t>(slash - path));
  cConfigNode* parent = Resolve(parentPath.text, true);
  if (parent == nullptr) return false;
  cPackedKey key;
  key.FromText(slash + 1, -1);
  if (!parent->children.EraseKey(key)) return false;
  RecordDeletion(path);
  return true;
}

void cCIAppConfig::RecordDeletion(const char* path) {
  const char* slash = std::strchr(path, '/');
  _guardchar<char16_t> name;
  Utf8ToWide(path, static_cast<int32_t>(slash - path), name);
  cPackedKey key;
  key.FromWide(name.text, -1);
  sConfigSection* section = sections_.Find(key);
  if (section == nullptr) return;
  cConfigNode* mark = &section->deleted;
  for (const char* part = slash + 1;;) {
    const char* end = std::strchr(part, '/');
    const int32_t length = end != nullptr ? static_cast<int32_t>(end - part) : static_cast<int32_t>(std::strlen(part));
    key.FromText(part, length);
    mark = mark->children.FindOrInsert(cPackedKey(key));
    if (mark == nullptr) return;
    if (mark->value.count != 0) return;  // an ancestor's deletion covers it
    if (end == nullptr) break;
    part = end + 1;
  }
  mark->children.Clear();  // the whole subtree goes
  mark->value.Reallocate(1);
  mark->value.data[0] = 1;
}

bool cCIAppConfig::Exists(const char* path) { return Resolve(path, false) != nullptr; }

bool cCIAppConfig::EnumKeys(const char* path, tEnumCallback callback, void* user) {
  if (path == nullptr || path[0] == 0 || callback == nullptr) return false;
  cConfigNode* node = Resolve(path, false);
  if (node == nullptr) return false;
  _typebuf<char> bytes;
  _guardchar<char> text;
  cPackedKey key;
  for (auto* n = node->children.First(); n != nullptr;) {
    n->key.ToBytes(bytes);
    text.AssignN(bytes.data, static_cast<uint32_t>(bytes.count));
    if (!callback(text.text, user)) return false;
    // The callback may have changed the children, saved, reverted, or looked
    // something up that re-read the section from a file another process
    // saved: then the tree it walked is gone. Find the node and the key
    // again from the path.
    node = Resolve(path, false);
    if (node == nullptr) return true;
    key.FromText(text.text, -1);
    n = node->children.FindNode(key);
    if (n == nullptr) return true;
    n = cConfigNode::tChildren::Next(n);
  }
  return true;
}
