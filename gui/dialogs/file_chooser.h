// The toolkit's dialog for saving a file. ShowFileSaveDialog runs a
// cFileChooseDialog for a request that the caller fills and reads back: one
// folder (or the computer's places) in a list view, a path bar whose worker
// job (cFileChooseListFolder) reads the folder off the UI thread, the file
// types' wildcard filters, a "New folder" form (also offered to other
// dialogs as AskNewFolderName) and the chosen path with the file type's
// default extension added when missing. Overwriting is the caller's
// question.
//
// Rules:
//  a. UI thread only, except the folder lister's Navigate, which runs on
//     the path bar's job thread and touches only the lister's listing and
//     its name to select.
//  b. The dialog never reads the lister's listing while a navigation runs.
//     After a navigation has ended, FillList copies every shown entry into
//     the dialog's own rows, by value; the list's cells hold row ids and
//     plain values, and every later action (activation, focus, context
//     menu, sorting) reads those rows. While a navigation runs the list is
//     empty and disabled, and whatever would read the listing (F5, Home,
//     Places, a file-type change, Accept) waits for the path bar to be idle.
//  c. The request and its strings belong to the caller and outlive the
//     call; the window that hosts the dialog deletes it.
#pragma once

#include <cstdint>
#include <memory>

#include "base/dirlist.h"
#include "base/guardchar.h"
#include "base/sorted_tree.h"
#include "gui/controls/combo.h"
#include "gui/controls/edit.h"
#include "gui/controls/list_view.h"
#include "gui/controls/nav_bar.h"
#include "gui/controls/toolbar.h"
#include "gui/custom_form.h"
#include "gui/static_element.h"

// One file type of a request.
struct sFileChooseFilter {
  _guardchar<char16_t> description;
  _guardchar<char16_t> patterns;          // ';'-separated wildcards
  _guardchar<char16_t> defaultExtension;  // without the dot; may be empty
};

struct sFileChooseRequest {
  // In: the proposed name (or a path); out: the chosen full path, '/'.
  _guardchar<char16_t> result;
  _guardchar<char16_t> initialFolder;  // may be empty
  // In: the file type to preselect; out: the one selected last.
  int32_t filterIndex = 0;
  // A typed wildcard shows under the selected file type's name.
  uint8_t namedCustomFilter = 0;
  _classbuf<sFileChooseFilter> filters;
  uint8_t showHidden = 0;  // also list hidden and system entries
};

// Reads a folder (or the places) for the dialog on the path bar's thread.
class cFileChooseListFolder : public cNavigationProvider {
public:
  cFileChooseListFolder() = default;
  ~cFileChooseListFolder() override;

  // True for a null or empty path (the places), an existing folder and a
  // bare drive name ("C:").
  bool CanNavigate(const char16_t* path) override;
  // Keeps hint as the name to select; the places for an empty path, else
  // the folder without devices. 0 on success, 1 on failure.
  int32_t Navigate(const char16_t* path, const char16_t* hint) override;
  void OnDone(int32_t result) override { (void)result; }

  // Only while no navigation runs (see the file comment).
  cDirListing& Listing() { return listing_; }
  _guardchar<char16_t>& NameToSelect() { return select_; }

private:
  cDirListing listing_;
  _guardchar<char16_t> select_;
};

// A copy of one shown entry, made when the list is filled.
struct sFileRow {
  _guardchar<char16_t> shown;  // display text, else the name
  _guardchar<char16_t> name;   // the entry's own path field
  _guardchar<char16_t> path;   // the full path
  int32_t kind = 0;            // sDirEntry kinds
  int32_t icon = 3;
  uint64_t size = 0;
  sDateTime writeTime;
};

// The sort keys of the Date, Type and Size columns.
uint64_t FileSortKeyTime(const sDateTime* time);
uint64_t FileSortKeyInt(int32_t value);
uint64_t FileSortKeyU64(const uint64_t* value);

class cNewFolderNameReqForm : public cCustomForm {
public:
  cNewFolderNameReqForm() = default;
  ~cNewFolderNameReqForm() override;

  void OnCreate() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"wekt::filechoose"; }
  void InitDefaults() override;
  bool OnEscapeKey() override;
  bool OnEnterKey() override;

  void SetResult(_guardchar<char16_t>* result) { result_ = result; }
  cEditChild& Edit() { return edit_; }
  cToolBarChild& Buttons() { return toolbar_; }

private:
  cEditChild edit_;
  cToolBarChild toolbar_;
  _guardchar<char16_t>* result_ = nullptr;  // borrowed
};

class cFileChooseDialog : public cCustomForm {
public:
  // Column ids of the list.
  enum : int32_t { kColumnName = 1, kColumnDate = 2, kColumnType = 3, kColumnSize = 4 };

  explicit cFileChooseDialog(sFileChooseRequest* request);
  ~cFileChooseDialog() override;

  void OnCreate() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"wekt::filechoose"; }
  void InitDefaults() override;
  bool OnEscapeKey() override;
  bool OnEnterKey() override;

  // Refills the list from the listing (see rule b); false, nothing done,
  // while a navigation runs.
  bool FillList(bool sort);
  void StartNavigation();
  // Enter and Save; false when the dialog stays open.
  bool Accept();
  // Adds the default extension when missing and ends the dialog with 1.
  void Finish(const char16_t* path);
  void AskNewFolder();

  // ---- Looking at the dialog ----
  // The row behind a list item, or null.
  const sFileRow* Row(int32_t item) const { return rows_.Find(item); }
  // The listed folder; empty in the places view.
  const char16_t* ListedFolder() const { return listedFolder_.text != nullptr ? listedFolder_.text : u""; }
  bool HasListedFolder() const { return listed_ && !listedFolder_.IsEmpty(); }
  const char16_t* CurrentPatterns() const { return patterns_.text != nullptr ? patterns_.text : u""; }
  cNavigationChild& PathBar() { return navBar_; }
  cListViewChild& List() { return list_; }
  cEditChild& NameEdit() { return edit_; }
  cComboBoxChild& Types() { return types_; }
  cToolBarChild& TopBar() { return topBar_; }
  cToolBarChild& BottomBar() { return bottomBar_; }
  cFileChooseListFolder& Lister() { return lister_; }

private:
  bool Navigating() const { return navBar_.GetState() == cNavigationChild::kBusy; }
  // Navigates the path bar to path (a copy is taken first).
  bool GoTo(const char16_t* path);
  // Reads the places on the UI thread and shows them without sorting.
  void ShowPlaces();
  // Ends with the row's file, or goes into the row's folder.
  void OpenRow(const sFileRow* row);
  void ClearList();
  // FillList without the check, for the end of a navigation.
  void Fill(bool sort);
  // Step 4 and 5 of Accept for the cleaned text.
  bool AcceptText(const char16_t* text);

  cToolBarChild topBar_;
  cNavigationChild navBar_;
  cListViewChild list_;
  cEditChild edit_;
  cComboBoxChild types_;
  cToolBarChild bottomBar_;
  cStaticElement nameLabel_;
  cFileChooseListFolder lister_;  // after the bar: its job stops first
  _guardchar<char16_t> patterns_;
  sFileChooseRequest* request_;   // borrowed
  cSortedTree<int32_t, sFileRow> rows_{512};
  _guardchar<char16_t> listedFolder_;
  bool listed_ = false;  // rows_ show a finished listing
};

// False without an owner or request; runs the dialog modally (resizable,
// 500 x 350); true when it ended with a non-zero code, the request's result
// then holding the path.
bool ShowFileSaveDialog(cChildElement* owner, const char16_t* title, sFileChooseRequest* request);

// False without an owner or result. Asks for a folder name with form (a new
// cNewFolderNameReqForm when null; the window deletes it), 250 x 100, not
// resizable; true when it ended with a non-zero code, result then holding
// the name.
bool AskNewFolderName(cChildElement* owner, _guardchar<char16_t>* result, cNewFolderNameReqForm* form = nullptr);
