// The file chooser over temporary folders: what the list shows and in which
// order, the rules of Accept and Finish, typed patterns, the file types,
// activation and focus, new folders, the places and the start folder, and
// that nothing reads the listing while the path bar's job rewrites it.
#include "gui/dialogs/file_chooser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/paths.h"
#include "gui/dialogs/message_box.h"
#include "tests/controls/control_fixture.h"
#include "tests/support/test_support.h"

namespace {

using twtest::cTestHost;
using twtest::Narrow;
using twtest::U16;

std::u16string Str(const char16_t* s) { return s != nullptr ? s : u""; }

void MakeFile(const std::u16string& path, size_t size) {
  std::ofstream f(std::filesystem::path(path), std::ios::binary);
  f << std::string(size, 'x');
  ASSERT_TRUE(f.good()) << Narrow(path);
}

void SetFilter(sFileChooseFilter& f, const char16_t* description, const char16_t* patterns,
               const char16_t* extension) {
  f.description.Assign(description);
  f.patterns.Assign(patterns);
  f.defaultExtension.Assign(extension);
}

// A folder tree, a request with two file types (text files with the
// default extension txt, and all files) and the dialog hosted on it.
struct ChooserFixture {
  twtest::TempDir tmp;
  std::u16string root = U16(tmp.path());
  sFileChooseRequest request;
  cTestHost host;
  cFileChooseDialog* dialog = nullptr;

  ChooserFixture() {
    EXPECT_TRUE(twtest::UseEnglish());
    EXPECT_TRUE(CreateDirectoryLong((root + u"/docs").c_str()));
    EXPECT_TRUE(CreateDirectoryLong((root + u"/Alpha").c_str()));
    MakeFile(root + u"/b.txt", 2500);
    MakeFile(root + u"/a.log", 10);
    MakeFile(root + u"/C.TXT", 0);
    MakeFile(root + u"/docs/inner.txt", 1);
    request.filters.Allocate(2);
    SetFilter(request.filters.data[0], u"Text files", u"*.txt", u"txt");
    SetFilter(request.filters.data[1], u"All files", u"*", u"");
    request.filterIndex = 1;
    request.initialFolder.Assign(root.c_str());
  }
  // Opens the dialog and waits for the first listing.
  void Open() {
    dialog = new cFileChooseDialog(&request);
    host.Host(dialog, 500, 350);
    ASSERT_TRUE(WaitIdle());
  }
  // Pumps until the path bar is idle again (a minute at most).
  bool WaitIdle() {
    for (int i = 0; i < 3000; ++i) {
      host.Pump();
      if (dialog->PathBar().GetState() == cNavigationChild::kIdle) return true;
      host.WaitAndPump(20);
    }
    return false;
  }
  // The shown names in row order.
  std::vector<std::u16string> Names() {
    std::vector<std::u16string> out;
    cListViewChild& list = dialog->List();
    for (int32_t r = 0; r < list.GetRowCount(); ++r) {
      _guardchar<char16_t> text;
      list.GetCellText(list.GetRowItem(r), cFileChooseDialog::kColumnName, &text);
      out.push_back(Str(text.text));
    }
    return out;
  }
  int32_t ItemNamed(const std::u16string& name) {
    cListViewChild& list = dialog->List();
    for (int32_t r = 0; r < list.GetRowCount(); ++r) {
      _guardchar<char16_t> text;
      const int32_t item = list.GetRowItem(r);
      list.GetCellText(item, cFileChooseDialog::kColumnName, &text);
      if (Str(text.text) == name) return item;
    }
    return -1;
  }
  std::u16string Cell(const std::u16string& name, int32_t column) {
    _guardchar<char16_t> text;
    dialog->List().GetCellText(ItemNamed(name), column, &text);
    return Str(text.text);
  }
  // Types text into the name field and presses Enter.
  void Enter(const std::u16string& text) {
    dialog->NameEdit().SetEditText(text.c_str(), -1);
    dialog->Key(13, false, false, false);
    host.Pump();
  }
};

TEST(FileChooser, ListGroupsDrivesFoldersFilesEachByName) {
  ChooserFixture f;
  MakeFile(f.root + u"/.hidden", 1);
  f.Open();
  EXPECT_EQ(Str(f.dialog->ListedFolder()), f.root);
  EXPECT_EQ(Str(f.dialog->PathBar().GetPath()), f.root);
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"Alpha", u"docs", u"C.TXT", u"a.log", u"b.txt"}));
  EXPECT_EQ(f.Cell(u"b.txt", cFileChooseDialog::kColumnSize), u"2 KB");
  EXPECT_EQ(f.Cell(u"C.TXT", cFileChooseDialog::kColumnSize), u"0 KB");
  EXPECT_EQ(f.Cell(u"docs", cFileChooseDialog::kColumnSize), u"");
  EXPECT_EQ(f.Cell(u"docs", cFileChooseDialog::kColumnType), u"File folder");
  EXPECT_EQ(f.Cell(u"a.log", cFileChooseDialog::kColumnType), u"File");
  // dd.mm.yyyy hh:mm:ss
  const std::u16string date = f.Cell(u"a.log", cFileChooseDialog::kColumnDate);
  ASSERT_EQ(date.size(), 19u) << Narrow(date);
  EXPECT_EQ(date[2], u'.');
  EXPECT_EQ(date[5], u'.');
  EXPECT_EQ(date[13], u':');
  EXPECT_TRUE(f.dialog->List().IsEnabled());
  EXPECT_TRUE(f.dialog->TopBar().GetButton(3)->IsEnabled()) << "New folder while a folder is listed";

  // The Type header once more: the groups turn round, names keep their
  // order inside each.
  f.dialog->List().Header().PostAction(new cHeaderChild::cColumnClickAction(cFileChooseDialog::kColumnType));
  f.host.Pump();
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"C.TXT", u"a.log", u"b.txt", u"Alpha", u"docs"}));
  // Size ascending: folders (no size) first by their previous order.
  f.dialog->List().Header().PostAction(new cHeaderChild::cColumnClickAction(cFileChooseDialog::kColumnSize));
  f.host.Pump();
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"C.TXT", u"Alpha", u"docs", u"a.log", u"b.txt"}));
}

TEST(FileChooser, HiddenEntriesOnlyOnRequestAndGrey) {
  ChooserFixture f;
  MakeFile(f.root + u"/.hidden", 1);
  f.request.showHidden = 1;
  f.Open();
  const int32_t item = f.ItemNamed(u".hidden");
  ASSERT_GE(item, 0);
  EXPECT_EQ(f.Names().size(), 6u);
  const sFileRow* row = f.dialog->Row(item);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(Str(row->path.text), f.root + u"/.hidden");
}

TEST(FileChooser, FinishAddsTheDefaultExtensionWhenMissing) {
  struct sCase {
    const char16_t* typed;
    const char16_t* result;  // relative to the listed folder
  } const cases[] = {
      {u"report", u"/report.txt"},
      {u"report.TXT", u"/report.TXT"},
      {u"report.doc", u"/report.doc.txt"},
      {u"b.txt", u"/b.txt"},            // an existing file is returned as well
      {u"a.log", u"/a.log.txt"},
      {u"docs/new", u"/docs/new.txt"},  // into an existing subfolder
  };
  for (const sCase& c : cases) {
    ChooserFixture f;
    f.request.filterIndex = 0;
    f.Open();
    f.Enter(c.typed);
    EXPECT_TRUE(f.host.ended) << Narrow(c.typed);
    EXPECT_EQ(f.host.endCode, 1);
    EXPECT_EQ(Str(f.request.result.text), f.root + c.result) << Narrow(c.typed);
  }
  // Without a default extension the name stays as typed.
  ChooserFixture f;
  f.Open();
  f.Enter(u"plain");
  EXPECT_EQ(Str(f.request.result.text), f.root + u"/plain");
}

TEST(FileChooser, AcceptRules) {
  struct sCase {
    const char* name;
    std::function<std::u16string(const std::u16string& root)> typed;
    bool ends;
    std::function<std::u16string(const std::u16string& root)> expect;  // result, or the folder listed
  } const cases[] = {
      {"subfolder is entered", [](auto&) { return u"docs"; }, false, [](auto& r) { return r + u"/docs"; }},
      {"absolute folder is entered", [](auto& r) { return r + u"/Alpha"; }, false,
       [](auto& r) { return r + u"/Alpha"; }},
      {"absolute new file", [](auto& r) { return r + u"/docs/x.bin"; }, true,
       [](auto& r) { return r + u"/docs/x.bin"; }},
      {"missing parent: nothing", [](auto&) { return u"nowhere/x"; }, false, [](auto& r) { return r; }},
      {"quoted backslashes are cleaned", [](auto&) { return u"\"docs\\inner.txt\""; }, true,
       [](auto& r) { return r + u"/docs/inner.txt"; }},
  };
  for (const sCase& c : cases) {
    ChooserFixture f;
    f.Open();
    f.Enter(c.typed(f.root));
    ASSERT_TRUE(f.WaitIdle()) << c.name;
    EXPECT_EQ(f.host.ended, c.ends) << c.name;
    if (c.ends) {
      EXPECT_EQ(Str(f.request.result.text), c.expect(f.root)) << c.name;
    } else {
      EXPECT_EQ(Str(f.dialog->ListedFolder()), c.expect(f.root)) << c.name;
    }
  }
  // An empty field does nothing.
  ChooserFixture f;
  f.Open();
  f.Enter(u"");
  EXPECT_FALSE(f.host.ended);
}

TEST(FileChooser, TypedPatternFiltersInsteadOfEnding) {
  struct sCase {
    uint8_t named;
    const char16_t* shown;
  } const cases[] = {
      {0, u"Custom (*.log)"},
      {1, u"All files (filter: *.log)"},
  };
  for (const sCase& c : cases) {
    ChooserFixture f;
    f.request.namedCustomFilter = c.named;
    f.Open();
    f.Enter(u"*.log");
    EXPECT_FALSE(f.host.ended);
    EXPECT_EQ(Str(f.dialog->CurrentPatterns()), u"*.log");
    EXPECT_EQ(Str(f.dialog->Types().GetText()), Str(c.shown));
    EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"Alpha", u"docs", u"a.log"}));
  }
}

TEST(FileChooser, FileTypeChoiceRefiltersAndIsReported) {
  ChooserFixture f;
  f.Open();
  EXPECT_EQ(f.Names().size(), 5u);
  f.dialog->Types().Select(0, true);
  f.host.Pump();
  EXPECT_EQ(f.request.filterIndex, 0);
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"Alpha", u"docs", u"C.TXT", u"b.txt"}));
  // A table without usable entries offers "All files".
  ChooserFixture g;
  g.request.filters.Allocate(1);
  SetFilter(g.request.filters.data[0], u"", u"*.x", u"x");
  g.request.filterIndex = 5;
  g.Open();
  EXPECT_EQ(Str(g.dialog->Types().GetText()), u"All files");
  EXPECT_EQ(g.request.filterIndex, 0);
  EXPECT_EQ(g.Names().size(), 5u);
}

TEST(FileChooser, ActivationFocusAndBackspace) {
  ChooserFixture f;
  f.Open();
  // Focusing a file copies its name; a folder leaves the field alone.
  f.dialog->List().PostAction(new cListViewChild::cListViewItemChangeAction(f.ItemNamed(u"a.log"), -1, false, false));
  f.dialog->List().PostAction(new cListViewChild::cListViewItemChangeAction(f.ItemNamed(u"docs"), -1, false, false));
  f.host.Pump();
  EXPECT_EQ(Str(f.dialog->NameEdit().GetText()), u"a.log");
  // Backspace is swallowed.
  f.dialog->List().PostKind(10);
  f.host.Pump();
  EXPECT_EQ(Str(f.dialog->ListedFolder()), f.root);
  // Activating a folder goes in and selects nothing; back up through the
  // bar's first... segment click selects the folder that was left.
  f.dialog->List().PostAction(new cListViewChild::cListViewItemAction(7, f.ItemNamed(u"docs")));
  f.host.Pump();
  ASSERT_TRUE(f.WaitIdle());
  EXPECT_EQ(Str(f.dialog->ListedFolder()), f.root + u"/docs");
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"inner.txt"}));
  const auto* segments = &f.dialog->PathBar().Segments();
  int32_t parent = -1;
  for (auto* n = segments->First(); n != nullptr; n = cSortedTree<int32_t, sNaviPathItem>::Next(n))
    if (Str(n->value.path.text) == f.root) parent = n->key;
  ASSERT_GT(parent, 0);
  f.dialog->PathBar().PathBar().PostAction(new cToolBarChild::cTbButtonAction(parent));
  f.host.Pump();
  ASSERT_TRUE(f.WaitIdle());
  EXPECT_EQ(Str(f.dialog->ListedFolder()), f.root);
  EXPECT_EQ(f.dialog->List().GetFocusedItem(), f.ItemNamed(u"docs")) << "the folder left is selected";
  // Activating a file ends the dialog with its full path.
  f.dialog->List().PostAction(new cListViewChild::cListViewItemAction(7, f.ItemNamed(u"b.txt")));
  f.host.Pump();
  EXPECT_TRUE(f.host.ended);
  EXPECT_EQ(Str(f.request.result.text), f.root + u"/b.txt");
}

// The mended fault: the list's rows never point into the listing, and
// while the path bar's job rewrites the listing the list is empty and
// disabled and what would read the listing waits.
TEST(FileChooser, NothingReadsTheListingWhileANavigationRuns) {
  ChooserFixture f;
  f.Open();
  const int32_t file = f.ItemNamed(u"b.txt");
  ASSERT_GE(file, 0);
  // F5 starts a navigation; the stale activation queued behind it must not
  // act on the old row.
  f.dialog->List().PostKind(9);
  f.dialog->List().PostAction(new cListViewChild::cListViewItemAction(7, file));
  // Only the list's own queue runs: the navigation's end, however soon it
  // comes, waits on the bar's queue.
  f.dialog->RunPosted(&f.dialog->List());
  EXPECT_EQ(f.dialog->PathBar().GetState(), cNavigationChild::kBusy);
  EXPECT_EQ(f.dialog->List().GetRowCount(), 0);
  EXPECT_FALSE(f.dialog->List().IsEnabled());
  EXPECT_EQ(f.dialog->Row(file), nullptr);
  EXPECT_FALSE(f.host.ended);
  // Enter, F5, the file types and Places wait for the bar.
  f.dialog->NameEdit().SetEditText(u"b.txt", -1);
  f.dialog->Key(13, false, false, false);
  EXPECT_FALSE(f.dialog->FillList(true));
  f.dialog->TopBar().PostAction(new cToolBarChild::cTbButtonAction(2));
  f.dialog->RunPosted(&f.dialog->TopBar());
  f.dialog->Types().Select(0, true);
  f.dialog->RunPosted(&f.dialog->Types());
  EXPECT_EQ(Str(f.dialog->CurrentPatterns()), u"*.txt");
  EXPECT_EQ(f.dialog->List().GetRowCount(), 0);
  EXPECT_FALSE(f.host.ended);
  f.dialog->Types().Select(1, true);
  f.dialog->RunPosted(&f.dialog->Types());
  ASSERT_TRUE(f.WaitIdle());
  EXPECT_EQ(Str(f.dialog->ListedFolder()), f.root);
  EXPECT_EQ(f.Names().size(), 5u);
  EXPECT_TRUE(f.dialog->List().IsEnabled());
  // Rows hold copies: a row read now is the listing's entry as it was.
  const sFileRow* row = f.dialog->Row(f.ItemNamed(u"b.txt"));
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->size, 2500u);
  EXPECT_EQ(row->kind, sDirEntry::kFile);
  f.dialog->Lister().Listing().Clear();
  EXPECT_EQ(Str(row->path.text), f.root + u"/b.txt");
  f.dialog->List().Sort(cFileChooseDialog::kColumnDate);
  EXPECT_EQ(f.Names().size(), 5u);
}

TEST(FileChooser, NewFolder) {
  struct sCase {
    const char16_t* name;
    std::u16string listedAfter;  // relative to root
    const char16_t* message;     // title of the message shown, or null
  } const cases[] = {
      {u"fresh", u"/fresh", nullptr},
      {u"docs", u"/docs", nullptr},   // an existing folder is simply entered
      {u"b.txt", u"", u"Error"},      // a file of that name
  };
  for (const sCase& c : cases) {
    ChooserFixture f;
    f.Open();
    std::u16string asked;
    f.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
      auto* ask = static_cast<cNewFolderNameReqForm*>(form);
      nested.Pump();
      ask->Edit().SetEditText(c.name, -1);
      ask->Buttons().PostAction(new cToolBarChild::cTbButtonAction(1));
      nested.Pump();
    });
    if (c.message != nullptr) f.host.QueueModalScript([](cTestHost&, cChildElement*) {});
    f.dialog->TopBar().PostAction(new cToolBarChild::cTbButtonAction(3));
    f.host.Pump();
    ASSERT_TRUE(f.WaitIdle());
    EXPECT_EQ(Str(f.dialog->ListedFolder()), f.root + c.listedAfter) << Narrow(c.name);
    EXPECT_EQ(GetPathKind((f.root + u"/" + c.name).c_str()), c.message == nullptr ? tw::kPathDirectory : tw::kPathFile);
    ASSERT_EQ(f.host.modalTitles.size(), c.message != nullptr ? 2u : 1u) << Narrow(c.name);
    EXPECT_EQ(f.host.modalTitles[0], u"Enter new folder name");
    if (c.message != nullptr) EXPECT_EQ(f.host.modalTitles[1], Str(c.message));
  }
}

TEST(FileChooser, NewFolderNameFormWantsAName) {
  cTestHost host;
  ASSERT_TRUE(twtest::UseEnglish());
  _guardchar<char16_t> name;
  name.Assign(u"proposed");
  auto* form = new cNewFolderNameReqForm();
  form->SetResult(&name);
  host.Host(form, 250, 100);
  EXPECT_EQ(Str(form->Edit().GetText()), u"proposed");
  form->Edit().SetEditText(u"", 0);
  form->Key(13, false, false, false);
  EXPECT_FALSE(host.ended) << "an empty name keeps the form open";
  form->Edit().SetEditText(u"made", -1);
  form->Key(13, false, false, false);
  EXPECT_TRUE(host.ended);
  EXPECT_EQ(host.endCode, 1);
  EXPECT_EQ(Str(name.text), u"made");
  EXPECT_FALSE(AskNewFolderName(nullptr, &name));
}

TEST(FileChooser, PlacesAndStartFolder) {
  ChooserFixture f;
  f.Open();
  f.dialog->TopBar().PostAction(new cToolBarChild::cTbButtonAction(2));
  f.host.Pump();
  EXPECT_EQ(Str(f.dialog->ListedFolder()), u"");
  EXPECT_EQ(Str(f.dialog->PathBar().GetPath()), u"");
  EXPECT_FALSE(f.dialog->TopBar().GetButton(3)->IsEnabled()) << "no new folder among the places";
  cDirListing places;
  places.ReadPlaces();
  EXPECT_EQ(static_cast<int32_t>(f.Names().size()), places.NextId());
  // The result's folder is the start when there is no initial folder, and
  // the field keeps the name.
  ChooserFixture g;
  g.request.initialFolder.Clear();
  g.request.result.Assign((g.root + u"/docs/out.dat").c_str());
  g.Open();
  EXPECT_EQ(Str(g.dialog->ListedFolder()), g.root + u"/docs");
  EXPECT_EQ(Str(g.dialog->NameEdit().GetText()), u"out.dat");
}

TEST(FileChooser, ShowFileSaveDialogReturnsTheChosenPath) {
  ChooserFixture f;
  twtest::sControlFixture owner;
  bool listed = false;
  owner.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
    auto* d = static_cast<cFileChooseDialog*>(form);
    for (int i = 0; i < 3000 && d->PathBar().GetState() != cNavigationChild::kIdle; ++i) nested.WaitAndPump(20);
    listed = Str(d->ListedFolder()) == f.root;
    d->NameEdit().SetEditText(u"saved", -1);
    d->BottomBar().PostAction(new cToolBarChild::cTbButtonAction(1));
    nested.Pump();
  });
  f.request.filterIndex = 0;
  EXPECT_TRUE(ShowFileSaveDialog(owner.top, u"Save as", &f.request));
  EXPECT_TRUE(listed);
  EXPECT_EQ(Str(f.request.result.text), f.root + u"/saved.txt");
  EXPECT_EQ(owner.host.modalTitles.at(0), u"Save as");
  // Cancel answers false.
  owner.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
    nested.Pump();
    static_cast<cFileChooseDialog*>(form)->Key(27, false, false, false);
  });
  EXPECT_FALSE(ShowFileSaveDialog(owner.top, u"Save as", &f.request));
  EXPECT_FALSE(ShowFileSaveDialog(nullptr, u"x", &f.request));
}

TEST(FileChooser, SortKeys) {
  sDateTime t;
  t.year = 2024, t.month = 2, t.day = 29, t.hour = 23, t.minute = 59, t.second = 58;
  EXPECT_EQ(FileSortKeyTime(&t), (2024ull << 48) + (2ull << 40) + (29ull << 32) + (23ull << 24) + (59ull << 16) +
                                     (58ull << 8));
  EXPECT_EQ(FileSortKeyTime(nullptr), 0u);
  EXPECT_EQ(FileSortKeyInt(-1), ~0ull);
  EXPECT_EQ(FileSortKeyInt(4), 4u);
  const uint64_t big = 5ull << 32;
  EXPECT_EQ(FileSortKeyU64(&big), big);
  EXPECT_EQ(FileSortKeyU64(nullptr), 0u);
}

}  // namespace
