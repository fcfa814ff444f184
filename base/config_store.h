// cCIAppConfig: the configuration store over one folder, one section file per
// top-level key (the file carries the section's name, no extension; its
// format is in base/config_node.h).
//
// How the folder is shared with other processes and other stores:
//  a. Every section file is guarded by an exclusive byte-range lock on its
//     first 4 bytes, held while the file is read or saved. Closing the file
//     releases it. Lock order: the store's lock, then the file's.
//  b. A section is re-read when its file's stamp (full-resolution UTC write
//     time and size, base/file_stamp.h) differs from the one taken when it
//     was last read or written, unless it has unsaved changes: then the
//     in-memory tree wins until Save or RevertChanged.
//  c. Save merges: under the file's lock it reads the file as it is now and
//     applies this store's changes to it: first the keys it deleted, then
//     every value it wrote (whatever the value: writing back what was read
//     still counts), keys it added, and keys that the section as last read
//     had and the store no longer has. Another process's save of other keys
//     is kept; for one key the later save wins. A save whose file would
//     exceed tw::kMaxSectionFileSize, which the reader refuses, is refused:
//     the file stays as it is and the section stays changed.
//  d. A save writes a pending copy (subfolder tw::kPendingFolder, never a
//     section) holding the new image and the file's bytes before the save,
//     and flushes it to the disk; then the image over the section file in
//     one write, then sets the file size and flushes the file; then deletes
//     the copy. Whoever takes the file's lock next and finds a complete
//     pending copy writes its image into the file first, so a save cut
//     short by a crash, a kill or a power loss (hence the flushes) leaves
//     the old or the new content, never a torn one. The copy is written only over the bytes
//     that save left (the old bytes, the new image, or a mix of the two at
//     the point where its write stopped): a file saved since by a program
//     that knows nothing of pending copies is kept and the copy dropped.
//  e. A new section file is written under a unique temporary name in the
//     pending folder and moved into place without replacing: when another
//     process created the file a moment before, that file is loaded.
//  f. Loading takes read access only, so that a user who may not write a
//     section (a machine-wide one) can still read it; write access is taken
//     to save, and to finish an interrupted save's pending copy when there
//     is one (without write access the copy is read as it is).
//
// Nodes handed out stay valid as cApplicationConfig says for a section's
// top node (until Open or destruction); a deeper node until its key or an
// ancestor's is deleted (by this store, or by another process when this
// store saves or re-reads), or its section is re-read or reverted. Save
// keeps them. EnumKeys finds its node again after each callback, so a
// callback may save, revert or cause a re-read.
#pragma once

#include <cstdint>

#include "base/app_config.h"
#include "base/config_node.h"
#include "base/file_stamp.h"
#include "base/fileio.h"
#include "base/guardchar.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"
#include "base/sync.h"

namespace tw {
// Subfolder of a store folder that holds pending copies and new files on
// their way into place. Subfolders are never sections.
inline constexpr char16_t kPendingFolder[] = u".pending";
// Section files larger than this are not read (no real section comes near).
inline constexpr uint64_t kMaxSectionFileSize = uint64_t{64} << 20;

// out becomes the pending copy of a save that turns the file's bytes before
// into image: "QXVP", the image size and the before size (32-bit little-
// endian each), the image, the before bytes.
void BuildPendingCopy(const void* before, uint32_t beforeSize, const void* image, uint32_t imageSize,
                      _typebuf<char>& out);
}  // namespace tw

// One loaded section.
struct sConfigSection {
  // 1 once a key path was resolved into the section with creation since it
  // was last read or saved.
  uint8_t changed = 0;
  // The stamp of the file when its content was last read or written.
  sFileStamp stamp;
  // The section name, which is also its file name.
  _guardchar<char16_t> name;
  // The section's tree as the program sees it.
  cConfigNode root;
  // The tree as last read from or written to the file: Save applies the
  // differences between it and root to the file's current content.
  cConfigNode base;
  // The keys this store deleted since then, as paths below the root: a node
  // whose value is one byte marks a deleted key. Save deletes them from the
  // file's current content before it applies root.
  cConfigNode deleted;
};

class cCIAppConfig : public cApplicationConfig {
public:
  cCIAppConfig();
  ~cCIAppConfig() override;

  // ---- cApplicationConfig --------------------------------------------
  cConfigNode* Root() override { return &top_; }
  cConfigNode* Child(const char* name, cConfigNode* parent, bool create) override;
  bool ValueSize(cConfigNode* node, uint32_t& size) override;
  bool ReadBytes(void* buffer, uint32_t n, cConfigNode* node) override;
  bool WriteBytes(const void* bytes, uint32_t n, cConfigNode* node) override;
  // Sets the root folder as Open does; then true only when nothing existed
  // at that path and the folder was created.
  bool Create(const char16_t* name) override;
  // Forgets every loaded section (unsaved changes are dropped), sets the
  // root folder (an existing folder as given, else the per-user data
  // folder of that store name) and loads every regular file in it as a
  // section; a file that fails to load stays as the part that was read.
  // False when no folder can be set or it cannot be listed.
  bool Open(const char16_t* name) override;
  // Saves every changed section (rule c); true when all were written.
  // A section that failed stays changed.
  bool Save() override;
  // Re-reads every changed section from its file; true when all succeeded.
  // The in-memory tree of each is gone either way.
  bool RevertChanged() override;
  bool DeleteKey(const char* path) override;
  bool Exists(const char* path) override;
  bool EnumKeys(const char* path, tEnumCallback callback, void* user) override;

  // ---- Section files --------------------------------------------------
  // The root of the section called name (UTF-8): loaded, re-read when its
  // file changed (rule b) or created (rule e, with create); with create the
  // section is marked changed. Null when it cannot be reached.
  cConfigNode* FindSection(const char* name, bool create);
  // Reads the section's file under its lock into section.root and
  // section.base and takes its stamp. False for a missing, foreign, short
  // or corrupt file; the tree keeps what was decoded before the fault.
  bool LoadSectionFile(const char16_t* path, sConfigSection& section);
  // Merges and writes the section into its existing file (rules c and d);
  // on success section.root and section.base hold what the file now holds.
  bool SaveSectionFile(const char16_t* path, sConfigSection& section);
  // Makes a new empty section file at path (rule e). False when anything
  // exists there already or the file cannot be made.
  bool CreateSectionFile(const char16_t* path);
  static bool ReadNode(cConfigNode& node, cFileIOTarget& stream) { return tw::ReadConfigNode(node, stream, 0); }
  static bool WriteNode(const cConfigNode& node, cFileIOTarget& stream) {
    return tw::WriteConfigNode(node, stream, 0);
  }

  // The root folder as passed or built; null before Open or Create.
  const char16_t* RootFolder() const { return rootFolder_.text; }

private:
  // Runs sectionFile (a load or a save) on every changed section; one that
  // succeeds is no longer changed. True when every call succeeded.
  bool ForEachChangedSection(bool (cCIAppConfig::*sectionFile)(const char16_t*, sConfigSection&));

  using tSections = cSortedTree<cPackedKey, sConfigSection>;

  bool SetRootFolder(const char16_t* name);
  // Marks path (section/key/..., whose key was just erased) in its
  // section's deletions.
  void RecordDeletion(const char* path);
  // root folder + "/" + leaf (and + "/" + sub before it when sub is set).
  void BuildPath(const char16_t* sub, const char16_t* leaf, _guardchar<char16_t>& out) const;
  bool IsTop(const cConfigNode* node) const { return node == &top_; }

  _guardchar<char16_t> rootFolder_;
  int32_t rootFolderLength_ = 0;
  cCriticalSection lock_;
  tSections sections_{kPackedKeyDepthLimit};
  // The store's top node: it stands for the sections and holds nothing.
  cConfigNode top_;
};
