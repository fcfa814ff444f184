// End to end under Wine, over a real folder tree in a temporary folder.
//
// ChoosersDrivenByKeysAndClicks: the file chooser lists the tree, a double
// click on a folder's row goes into it, a click into the name field, typed
// letters and Enter end it with the name and the default extension; the
// folder chooser opens at the tree's root, a click on a folder's label
// selects it, the Down key selects its subfolder and Enter chooses it.
//
// EveryStandardDialog: the message box, the progress form, the file chooser
// and the folder chooser are opened one after the other through their
// public calls, each photographed and closed with Enter or Escape.
//
// A driver thread finds each dialog among the UI thread's windows by its
// title, reads the dialogs' state through sent actions (so it is read on
// the UI thread) and posts mouse and key messages to the dialog's own
// window. Every wait has a generous limit; when a step fails the driver
// closes every window of the UI thread, so that the test fails instead of
// hanging.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/paths.h"
#include "base/sync.h"
#include "gui/custom_form.h"
#include "gui/dialogs/file_chooser.h"
#include "gui/dialogs/folder_chooser.h"
#include "gui/dialogs/message_box.h"
#include "gui/dialogs/progress_form.h"
#include "gui/language.h"
#include "gui/picture.h"
#include "gui/win_canvas.h"
#include "gui/window_maker.h"
#include "gui/wnd_lite.h"
#include "tests/gui/png_file.h"
#include "tests/support/gui_e2e.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;

constexpr int32_t kRunChoosersKind = 30;
constexpr int32_t kRunAllKind = 31;
constexpr char16_t kSaveTitle[] = u"Tarnwick save";
constexpr char16_t kFolderTitle[] = u"Tarnwick folder";
constexpr char16_t kInfoTitle[] = u"Tarnwick info";
constexpr char16_t kProgressTitle[] = u"Tarnwick progress";
// Up to 60 s for any one expected effect on a loaded machine.
constexpr int kPatienceRounds = 3000;

// The dialogs with a slot that names them while they live.
class WatchedFileDialog : public cFileChooseDialog {
public:
  WatchedFileDialog(sFileChooseRequest* r, std::atomic<WatchedFileDialog*>* slot)
      : cFileChooseDialog(r), slot_(slot) {}
  ~WatchedFileDialog() override { slot_->store(nullptr); }
  void OnCreate() override {
    cFileChooseDialog::OnCreate();
    slot_->store(this);
  }
private:
  std::atomic<WatchedFileDialog*>* slot_;
};

class WatchedFolderDialog : public cFolderChooseDialog {
public:
  WatchedFolderDialog(_guardchar<char16_t>* r, std::atomic<WatchedFolderDialog*>* slot)
      : cFolderChooseDialog(r), slot_(slot) {}
  ~WatchedFolderDialog() override { slot_->store(nullptr); }
  void OnCreate() override {
    cFolderChooseDialog::OnCreate();
    slot_->store(this);
  }
private:
  std::atomic<WatchedFolderDialog*>* slot_;
};

// Reports until asked to stop.
class StoppableJob : public cStdBasicProgressForm {
public:
  ~StoppableJob() override { cJob::Stop(kStopTimeoutMs); }
  int32_t Run() override {
    for (int32_t i = 1; i <= 600; ++i) {
      if (!SetProgress(std::min(95, i))) return 3;
      SleepMs(100);
    }
    return 4;
  }
};

struct Record {
  std::u16string root;
  cEvent shown;
  std::atomic<HWND> owner{nullptr};
  std::atomic<DWORD> uiThread{0};
  std::atomic<bool> done{false};
  std::atomic<WatchedFileDialog*> fileDialog{nullptr};
  std::atomic<WatchedFolderDialog*> folderDialog{nullptr};
  int32_t fileCode = -100, folderCode = -100;
  std::u16string fileResult, folderResult;
  // The all-dialogs run: the answers of the four calls.
  int32_t infoAnswer = -100, progressAnswer = -100;
  bool saveAnswer = true, folderAnswer = true;
};

class OwnerForm : public cCustomForm {
public:
  explicit OwnerForm(Record* r) : record_(r) {}
  bool OnShown() override {
    record_->owner = ::GetParent(twtest::HostWindowOf(this));
    record_->uiThread = GetCurrentThreadId();
    record_->shown.Set();
    return true;
  }
  bool OnEscapeKey() override {
    EndModal(42);
    return true;
  }
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (action == nullptr) return false;
    if (sender == this && action->kind == kRunChoosersKind) {
      RunChoosers();
      return true;
    }
    if (sender == this && action->kind == kRunAllKind) {
      RunAll();
      return true;
    }
    return cCustomForm::OnAction(sender, action);
  }

private:
  static void TextFilter(sFileChooseRequest& request) {
    request.filters.Allocate(1);
    request.filters.data[0].description.Assign(u"Text files");
    request.filters.data[0].patterns.Assign(u"*.txt;*.log");
    request.filters.data[0].defaultExtension.Assign(u"txt");
  }
  void RunChoosers() {
    sFileChooseRequest request;
    TextFilter(request);
    request.initialFolder.Assign(record_->root.c_str());
    record_->fileCode = ShowModal(kSaveTitle, 500, 350, new WatchedFileDialog(&request, &record_->fileDialog), true);
    record_->fileResult = request.result.text != nullptr ? request.result.text : u"";
    _guardchar<char16_t> path;
    path.Assign(record_->root.c_str());
    record_->folderCode =
        ShowModal(kFolderTitle, 500, 600, new WatchedFolderDialog(&path, &record_->folderDialog), true);
    record_->folderResult = path.text != nullptr ? path.text : u"";
    record_->done = true;
  }
  void RunAll() {
    record_->infoAnswer = ShowInfoMessage(this, u"Every standard dialog of the toolkit follows.", kInfoTitle);
    record_->progressAnswer = ShowProgressForm(this, new StoppableJob(), kProgressTitle);
    sFileChooseRequest request;
    TextFilter(request);
    request.initialFolder.Assign(record_->root.c_str());
    request.result.Assign(u"notes");
    record_->saveAnswer = ShowFileSaveDialog(this, kSaveTitle, &request);
    _guardchar<char16_t> path;
    path.Assign((record_->root + u"/docs").c_str());
    record_->folderAnswer = ChooseFolder(this, kFolderTitle, &path);
    record_->done = true;
  }

  Record* record_;
};

bool Eventually(const std::function<bool()>& check) { return twtest::Eventually(check, kPatienceRounds); }

HWND WaitTitled(DWORD thread, const char16_t* title) { return twtest::WaitTitled(thread, title, kPatienceRounds); }

using twtest::HostOf;
using twtest::PostKey;

// Letters only: each becomes its key, so the layout does not matter.
void TypeLetters(HWND dialog, const char* letters) {
  for (const char* p = letters; *p != 0; ++p) PostKey(dialog, static_cast<WPARAM>(*p - 'a' + 'A'));
}

void Click(HWND dialog, sPoint at, int times) {
  HWND target = HostOf(dialog);
  const LPARAM where = MAKELPARAM(at.x, at.y);
  for (int i = 0; i < times; ++i) {
    // The double-click rule wants the presses at least a millisecond apart.
    if (i > 0) std::this_thread::sleep_for(60ms);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(target, WM_LBUTTONUP, 0, where);
  }
}

// The middle of element inside the top element form (the host window's
// client coordinates).
sPoint MiddleOf(cChildElement* form, cChildElement* element, int32_t dy = -1) {
  sRect r{0, 0, 0, 0};
  form->GetDescendantRect(element, &r);
  return {r.x + std::min(r.width / 2, 40), r.y + (dy >= 0 ? dy : r.height / 2)};
}

std::u16string Str(const char16_t* s) { return s != nullptr ? s : u""; }

// Closes every window of the UI thread in the end, so the modal loops return.
struct sCloser {
  Record* r;
  ~sCloser() { twtest::CloseThreadWindowsAtLast(r->uiThread, r->owner, r->done); }
};

// Runs work on the UI thread while the dialog lives; false when it is gone.
template <class Dialog>
bool OnUi(std::atomic<Dialog*>& slot, const std::function<void(Dialog*)>& work) {
  Dialog* d = slot.load();
  if (d == nullptr) return false;
  return twtest::OnUi(d, [&] {
    if (Dialog* live = slot.load()) work(live);
  });
}

class ChoosersDriver {
public:
  explicit ChoosersDriver(Record* r) : record_(r) {}

  void Run() {
    sCloser closer{record_};
    ASSERT_TRUE(Eventually([this] { return record_->shown.Poll(); })) << "OnShown never ran";
    const DWORD thread = record_->uiThread;
    // The owner form runs the two choosers in turn.
    ownerForm->PostKind(kRunChoosersKind);
    const std::u16string root = record_->root;

    // ---- File chooser ----
    HWND save = WaitTitled(thread, kSaveTitle);
    ASSERT_NE(save, nullptr) << "the file chooser never showed";
    auto& file = record_->fileDialog;
    auto listedIn = [&](const std::u16string& folder, int32_t rows) {
      bool ok = false;
      OnUi<WatchedFileDialog>(file, [&](WatchedFileDialog* d) {
        ok = d->PathBar().GetState() == cNavigationChild::kIdle && Str(d->ListedFolder()) == folder &&
             d->List().GetRowCount() == rows;
      });
      return ok;
    };
    ASSERT_TRUE(Eventually([&] { return listedIn(root, 5); })) << "the root folder is listed";
    fileShot = twtest::SaveScreenshot(save, "gui_file_chooser_e2e.png", 8);
    // Double click on the row of "docs".
    sPoint docs{-1, -1};
    OnUi<WatchedFileDialog>(file, [&](WatchedFileDialog* d) {
      cListViewChild& list = d->List();
      for (int32_t r = 0; r < list.GetRowCount(); ++r) {
        const int32_t item = list.GetRowItem(r);
        const sFileRow* row = d->Row(item);
        if (row != nullptr && Str(row->shown.text) == u"docs")
          // Row tops count from the list's top, header included.
          docs = MiddleOf(d, &list, 1 + list.GetRowTop(item) + list.GetRowHeight(item) / 2);
      }
    });
    ASSERT_GE(docs.y, 0) << "docs is among the rows";
    Click(save, docs, 2);
    const bool entered = Eventually([&] { return listedIn(root + u"/docs", 1); });
    std::string seen;
    OnUi<WatchedFileDialog>(file, [&](WatchedFileDialog* d) {
      seen = "focused " + std::to_string(d->List().GetFocusedItem()) + ", state " +
             std::to_string(d->PathBar().GetState()) + ", folder " + twtest::Narrow(d->ListedFolder()) + ", rows " +
             std::to_string(d->List().GetRowCount());
    });
    ASSERT_TRUE(entered) << "the double click at " << docs.x << "," << docs.y << " went into docs: " << seen;
    // A click into the name field, a typed name and Enter.
    sPoint field{-1, -1};
    OnUi<WatchedFileDialog>(file, [&](WatchedFileDialog* d) { field = MiddleOf(d, &d->NameEdit()); });
    Click(save, field, 1);
    ASSERT_TRUE(Eventually([&] {
      bool focused = false;
      OnUi<WatchedFileDialog>(file, [&](WatchedFileDialog* d) { focused = d->NameEdit().HasFocus(); });
      return focused;
    })) << "the click focuses the name field";
    TypeLetters(save, "report");
    PostKey(save, VK_RETURN);
    EXPECT_TRUE(Eventually([&] { return !IsWindow(save); })) << "Enter ends the file chooser";

    // ---- Folder chooser ----
    HWND pick = WaitTitled(thread, kFolderTitle);
    ASSERT_NE(pick, nullptr) << "the folder chooser never showed";
    auto& folder = record_->folderDialog;
    auto current = [&] {
      std::u16string path;
      OnUi<WatchedFolderDialog>(folder, [&](WatchedFolderDialog* d) {
        if (auto* c = d->Current()) path = Str(c->path.text);
      });
      return path;
    };
    ASSERT_TRUE(Eventually([&] { return current() == root; })) << "the folder chooser opens at the start folder";
    // Folders left in the temporary folder by other runs may push it below
    // the view: it is scrolled into view (the scroll takes effect through a
    // posted action), then found where it shows.
    sPoint one{-1, -1};
    std::string where;
    const bool shown = Eventually([&] {
      OnUi<WatchedFolderDialog>(folder, [&](WatchedFolderDialog* d) {
        for (cTreeItem* c = d->Current()->firstChild; c != nullptr; c = c->next) {
          auto* node = static_cast<cFolderChooseDialog::cTreeFoldersContentItem*>(c);
          if (Str(node->path.text) != root + u"/one" || node->item->label == nullptr) continue;
          cTreeViewChild& tree = d->Tree();
          d->Tree().EnsureChildVisible(node->item->label);
          sRect view{}, label{};
          d->GetDescendantRect(&tree, &view);
          d->GetDescendantRect(node->item->label, &label);
          where = "label " + std::to_string(label.y) + "+" + std::to_string(label.height) + " in tree " +
                 std::to_string(view.y) + "+" + std::to_string(view.height) + ", content " +
                 std::to_string(tree.GetContentHeight()) + ", bar " + std::to_string(tree.VBar().IsVisible()) +
                 " range " + std::to_string(tree.VBar().GetRange()) + " pos " + std::to_string(tree.VBar().GetPos()) +
                 ", scroll " + std::to_string(tree.GetScrollY());
          // The tree paints its rows moved up by its scroll position.
          label.x -= tree.GetScrollX();
          label.y -= tree.GetScrollY();
          const int32_t middle = label.y + label.height / 2;
          const int32_t bottom = view.y + view.height - (tree.HBar().IsVisible() ? tree.HBar().GetHeight() : 0);
          if (middle > view.y && middle < bottom)
            one = {label.x + std::min(label.width / 2, 40), middle};
        }
      });
      return one.y >= 0;
    });
    ASSERT_TRUE(shown) << "one is shown in the tree: " << where;
    ASSERT_GE(one.y, 0) << "one is in the tree";
    Click(pick, one, 1);
    ASSERT_TRUE(Eventually([&] { return current() == root + u"/one"; })) << "the click selects one";
    folderShot = twtest::SaveScreenshot(pick, "gui_folder_chooser_e2e.png", 8);
    PostKey(pick, VK_DOWN);
    ASSERT_TRUE(Eventually([&] { return current() == root + u"/one/two"; })) << "Down selects the subfolder";
    PostKey(pick, VK_RETURN);
    EXPECT_TRUE(Eventually([&] { return !IsWindow(pick); })) << "Enter chooses the folder";
    EXPECT_TRUE(Eventually([&] { return record_->done.load(); }));
    twtest::OnUi(ownerForm, [this] { ownerForm->EndModal(42); });
  }

  OwnerForm* ownerForm = nullptr;
  bool fileShot = false, folderShot = false;

private:
  Record* record_;
};

class AllDialogsDriver {
public:
  explicit AllDialogsDriver(Record* r) : record_(r) {}

  void Run() {
    sCloser closer{record_};
    ASSERT_TRUE(Eventually([this] { return record_->shown.Poll(); })) << "OnShown never ran";
    const DWORD thread = record_->uiThread;
    ownerForm->PostKind(kRunAllKind);
    struct sStep {
      const char16_t* title;
      const char* shot;
      WPARAM key;
    } const steps[] = {
        {kInfoTitle, "gui_all_dialogs_1_message_box.png", VK_RETURN},
        {kProgressTitle, "gui_all_dialogs_2_progress_form.png", VK_ESCAPE},
        {kSaveTitle, "gui_all_dialogs_3_file_chooser.png", VK_ESCAPE},
        {kFolderTitle, "gui_all_dialogs_4_folder_chooser.png", VK_ESCAPE},
    };
    for (const sStep& s : steps) {
      HWND w = WaitTitled(thread, s.title);
      ASSERT_NE(w, nullptr) << "never showed: " << twtest::Narrow(s.title);
      shots.push_back(twtest::SaveScreenshot(w, s.shot, 4));
      // The file chooser is photographed with its listing.
      if (s.title == kSaveTitle) {
        std::this_thread::sleep_for(300ms);
        shots.back() = twtest::SaveScreenshot(w, s.shot, 8);
      }
      PostKey(w, s.key);
      EXPECT_TRUE(Eventually([&] { return !IsWindow(w); })) << "closes: " << twtest::Narrow(s.title);
    }
    EXPECT_TRUE(Eventually([&] { return record_->done.load(); }));
    twtest::OnUi(ownerForm, [this] { ownerForm->EndModal(42); });
  }

  OwnerForm* ownerForm = nullptr;
  std::vector<bool> shots;

private:
  Record* record_;
};

void MakeTree(const std::u16string& root) {
  for (const char16_t* d : {u"/docs", u"/one", u"/one/two", u"/one/two/three", u"/Alpha"})
    ASSERT_TRUE(CreateDirectoryLong((root + d).c_str()));
  std::ofstream(std::filesystem::path(root + u"/readme.txt")) << "read me";
  std::ofstream(std::filesystem::path(root + u"/setup.log")) << "log";
  std::ofstream(std::filesystem::path(root + u"/picture.png")) << "not listed: another type";
  std::ofstream(std::filesystem::path(root + u"/docs/letter.txt")) << "x";
}

bool Windows(cWWMaker& maker) {
  static cWEKTLang builtin;
  if (!SetCurrentLanguage(0) || !maker.RegisterClasses(nullptr, 0, 101)) return false;
  // The dialogs read their language sections through the windows.
  maker.sectionMap = &GetLanguageSections();
  return true;
}

// Runs the owner form with the driver steering it from another thread;
// the owner's end code.
template <class Driver>
int32_t RunDriven(Record& record, const std::u16string& folder, const char16_t* title, Driver& driver) {
  record.root = folder;
  MakeTree(record.root);
  cWWMaker maker;
  if (!Windows(maker) || !record.shown.Create(nullptr, false, true)) {
    ADD_FAILURE() << "no windows";
    return -1;
  }
  auto* form = new OwnerForm(&record);
  driver.ownerForm = form;
  std::thread drive([&] { driver.Run(); });
  const int32_t code = maker.RunModalForm(title, 420, 200, form, nullptr, false);
  drive.join();
  return code;
}

TEST(ChoosersEndToEnd, ChoosersDrivenByKeysAndClicks) {
  twtest::TempDir tmp;
  Record record;
  ChoosersDriver driver(&record);
  EXPECT_EQ(RunDriven(record, twtest::U16(tmp.path()), u"Tarnwick choosers test", driver), 42);
  EXPECT_EQ(record.fileCode, 1);
  EXPECT_EQ(twtest::Narrow(record.fileResult), twtest::Narrow(record.root + u"/docs/report.txt"));
  EXPECT_EQ(record.folderCode, 1);
  EXPECT_EQ(twtest::Narrow(record.folderResult), twtest::Narrow(record.root + u"/one/two"));
  EXPECT_TRUE(driver.fileShot) << "gui_file_chooser_e2e.png in the build folder";
  EXPECT_TRUE(driver.folderShot) << "gui_folder_chooser_e2e.png in the build folder";
}

TEST(ChoosersEndToEnd, EveryStandardDialog) {
  twtest::TempDir tmp;
  Record record;
  AllDialogsDriver driver(&record);
  EXPECT_EQ(RunDriven(record, twtest::U16(tmp.path()), u"Tarnwick dialogs", driver), 42);
  EXPECT_EQ(record.infoAnswer, 1) << "Enter closes the message box";
  EXPECT_EQ(record.progressAnswer, 3) << "Escape stops the job";
  EXPECT_FALSE(record.saveAnswer) << "Escape cancels the file chooser";
  EXPECT_FALSE(record.folderAnswer) << "Escape cancels the folder chooser";
  ASSERT_EQ(driver.shots.size(), 4u);
  for (size_t i = 0; i < driver.shots.size(); ++i) EXPECT_TRUE(driver.shots[i]) << "screenshot " << i + 1;
}

}  // namespace
