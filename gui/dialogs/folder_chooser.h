// The toolkit's folder chooser. ChooseFolder runs a cFolderChooseDialog: a
// tree of the computer's places (home folder, drives, network drives) and
// their subfolders, an edit that shows and takes a path, and buttons to
// create a folder, select or cancel. A folder's subfolders are read when it
// is selected, so the tree grows as the user browses; a typed path opens in
// the tree component by component.
//
// Rules:
//  a. UI thread only. Folders are read on the UI thread, one at a time, as
//     the user selects them.
//  b. A second tree of content items (cTreeFoldersContentItem), owned by the
//     dialog, runs parallel to the tree view's items: each tree-view item's
//     user data points at its content item, and each content item borrows
//     its tree-view item. Both go with the dialog.
//  c. The caller's string is the start path and the result; it follows the
//     selection, so after a cancelled dialog it may hold the last selected
//     folder.
#pragma once

#include <cstdint>

#include "base/dirlist.h"
#include "base/guardchar.h"
#include "base/lists.h"
#include "gui/controls/edit.h"
#include "gui/controls/toolbar.h"
#include "gui/controls/tree_view.h"
#include "gui/custom_form.h"
#include "gui/picture.h"

class cFolderChooseDialog : public cCustomForm {
public:
  enum : int32_t { kKindDrive = 0, kKindFolder = 1, kKindComputer = 2 };

  class cTreeFoldersContentItem : public cTreeItem {
  public:
    cDirListing listing;                             // the folder's entries once read
    cTreeViewChild::cTreeViewItem* item = nullptr;  // borrowed
    int32_t kind = kKindFolder;                      // also the picture index
    _guardchar<char16_t> path;                       // empty for the computer
    uint8_t listed = 0;                              // 0 until read
  };

  explicit cFolderChooseDialog(_guardchar<char16_t>* result);
  ~cFolderChooseDialog() override;

  void OnCreate() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"wekt::folderchoose"; }
  void InitDefaults() override;
  bool OnEscapeKey() override;
  bool OnEnterKey() override;

  // The computer node with the places under it.
  void PopulateRoot();
  // Reads the folder of node, rebuilds its children sorted by name and
  // selects it; false when the folder cannot be read (only the selection
  // happens then).
  bool ListFolder(cTreeFoldersContentItem* node);
  // Opens an existing folder in the tree component by component; anything
  // else changes nothing.
  void SelectPath(const char16_t* path);
  void NewFolder();

  // ---- Looking at the dialog ----
  cTreeFoldersContentItem* Root() const { return static_cast<cTreeFoldersContentItem*>(content_.first); }
  cTreeFoldersContentItem* Current() const;
  cTreeViewChild& Tree() { return tree_; }
  cEditChild& PathEdit() { return edit_; }
  cToolBarChild& TopBar() { return topBar_; }
  cToolBarChild& NewFolderBar() { return newBar_; }
  cToolBarChild& BottomBar() { return bottomBar_; }

private:
  cTreeFoldersContentItem* AddNode(cTreeFoldersContentItem* parent, int32_t kind, const char16_t* path,
                                   const char16_t* text, cTreeViewChild::cTreeViewItem* after);
  void EnableNewFolder(bool enable);
  // The node becomes current with its path in the result and the edit.
  void TakeNode(cTreeFoldersContentItem* node);

  cToolBarChild topBar_;
  cToolBarChild newBar_;
  cTreeViewChild tree_;
  cTreeItemRoot content_;
  cToolBarChild bottomBar_;
  cEditChild edit_;
  cImageStore barStore_;
  cImageStore bottomStore_;
  cImageStore treeStore_;
  _guardchar<char16_t>* result_;                      // borrowed
  cTreeViewChild::cTreeViewItem* current_ = nullptr;  // borrowed from the tree
};

// False without an owner or path; path is the start folder and the result.
// Runs the dialog modally (resizable, 500 x 600); true when it ended with a
// non-zero code, path then naming the chosen folder with '/' separators.
bool ChooseFolder(cChildElement* owner, const char16_t* title, _guardchar<char16_t>* path);
