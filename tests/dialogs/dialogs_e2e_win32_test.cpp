// End to end under Wine: an owner form with a list view and a tree view
// asks a Yes/No question through the toolkit's message box, then runs a job
// under the progress form. A driver thread finds each dialog among the UI
// thread's windows by its title, saves a screenshot of it, answers the
// question with Enter, waits for the job's report on the status line and
// stops the job with Escape; the progress form closes with the job's
// result.
//
// Nothing here waits for ever: every wait has a generous limit, the job
// ends by itself after a minute, and when a step fails the driver closes
// every window of the UI thread so that the modal loops end and the test
// fails instead of hanging. Keys are posted to the dialog's own window, so
// they never depend on which window has the foreground.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/sync.h"
#include "base/win_text.h"
#include "gui/controls/list_view.h"
#include "gui/controls/tree_view.h"
#include "gui/custom_form.h"
#include "gui/dialogs/message_box.h"
#include "gui/dialogs/progress_form.h"
#include "gui/language.h"
#include "gui/panel.h"
#include "gui/window_maker.h"
#include "gui/wnd_lite.h"
#include "tests/dialogs/dialog_layout.h"
#include "tests/gui/png_file.h"
#include "tests/support/gui_e2e.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;

constexpr int32_t kRunDialogsKind = 30;
constexpr char16_t kQuestionTitle[] = u"Tarnwick question";
constexpr char16_t kProgressTitle[] = u"Tarnwick progress";
// 20 ms rounds: up to 60 s for any one expected effect.
constexpr int kPatienceRounds = 3000;
// The job ends by itself after about a minute of reports.
constexpr int32_t kMaxReports = 600;

struct Record {
  cEvent shown;
  std::atomic<HWND> dialog{nullptr};
  std::atomic<DWORD> uiThread{0};
  std::atomic<int32_t> answer{-1};
  std::atomic<int32_t> progressResult{-100};
  std::atomic<bool> dialogsDone{false};
  std::atomic<int32_t> reports{0};
  std::atomic<bool> stopSeen{false};
  std::atomic<bool> statusShown{false};
};

// Reports every 100 ms until asked to stop.
class ReportingJob : public cStdBasicProgressForm {
public:
  explicit ReportingJob(Record* r) : record_(r) {}
  ~ReportingJob() override { cJob::Stop(kStopTimeoutMs); }
  int32_t Run() override {
    for (int32_t i = 1; i <= kMaxReports; ++i) {
      if (!SetProgress(std::min(95, i))) {
        record_->stopSeen = true;
        return 3;
      }
      record_->reports.fetch_add(1);
      const char16_t* t = StatusLabel().GetText();
      if (t != nullptr && std::u16string(t).find(u"00:00") != std::u16string::npos) record_->statusShown = true;
      SleepMs(100);
    }
    return 4;
  }

private:
  Record* record_;
};

class OwnerForm : public cCustomForm {
public:
  explicit OwnerForm(Record* r) : record_(r) {}
  ~OwnerForm() override {
    GetClientPanel()->RemoveChild(&list);
    GetClientPanel()->RemoveChild(&tree);
  }

  cListViewChild list;
  cTreeViewChild tree;

  void OnCreate() override {
    cCustomForm::OnCreate();
    cPanelChild* p = GetClientPanel();
    p->PlaceChild(&list, 10, 10, 300, 200);
    p->PlaceChild(&tree, 320, 10, 170, 200);
    list.SetColumnTitle(0, u"Name", 150, 0);
    list.SetColumnTitle(1, u"Size", 80, 2);
    list.SetMultiSelect(true);
    list.SetCheckBoxes(true);
    auto* names = new cListViewChild::cListViewNameSortProvider();
    list.SetSortProvider(0, names);
    list.BeginUpdate();
    const char16_t* rows[] = {u"readme.txt", u"setup.exe", u"archive.dat", u"licence.rtf", u"notes.txt"};
    for (int32_t i = 0; i < 5; ++i) {
      list.SetCell(i, 0, rows[i], -1, 0);
      const std::u16string size = std::u16string(1, static_cast<char16_t>(u'1' + i)) + u"0 KB";
      list.SetCell(i, 1, size.c_str(), -1, i + 1);
    }
    list.EndUpdate(false);
    list.Sort(0);
    list.SetItemChecked(1, true, false);
    list.SetMultiSelect(true);
    list.FocusItem(3);
    auto add = [&](cTreeViewChild::cTreeViewItem* parent, const char16_t* text) {
      auto* item = new cTreeViewChild::cTreeViewItem();
      item->text.Assign(text);
      tree.InsertItem(parent, item, nullptr);
      return item;
    };
    auto* docs = add(nullptr, u"Documents");
    add(docs, u"Letters");
    auto* projects = add(docs, u"Projects");
    add(projects, u"Tarnwick");
    auto* music = add(nullptr, u"Music");
    add(music, u"Albums");
    music->collapsed = 1;
    add(nullptr, u"Pictures");
    tree.Layout();
    tree.SelectItem(projects, false);
  }
  bool OnShown() override {
    record_->dialog = ::GetParent(twtest::HostWindowOf(this));
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
    if (sender == this && action->kind == kRunDialogsKind) {
      record_->answer = AskQuestion(this, u"Delete the old files?", kQuestionTitle) ? 1 : 0;
      record_->progressResult = ShowProgressForm(this, new ReportingJob(record_), kProgressTitle);
      record_->dialogsDone = true;
      return true;
    }
    return cCustomForm::OnAction(sender, action);
  }

private:
  Record* record_;
};

// Up to 60 s for any one expected effect on a loaded machine.
bool Eventually(const std::function<bool()>& check) { return twtest::Eventually(check, kPatienceRounds); }

// The window's client area as a PNG in the build folder, once it is
// painted.
bool Screenshot(HWND window, const char* file, size_t colours) {
  return twtest::SaveScreenshot(window, file, colours, kPatienceRounds);
}

class Driver {
public:
  Driver(OwnerForm* form, Record* record) : form_(form), record_(record) {}

  bool OnUi(std::function<void()> work) { return twtest::OnUi(form_, std::move(work)); }

  void Run() {
    // Whatever happens below, every window of the UI thread goes in the end,
    // so the modal loops return.
    struct sCloser {
      Record* r;
      ~sCloser() { twtest::CloseThreadWindowsAtLast(r->uiThread, r->dialog, r->dialogsDone); }
    } closer{record_};
    ASSERT_TRUE(Eventually([this] { return record_->shown.Poll(); })) << "OnShown never ran";
    const DWORD thread = record_->uiThread;
    HWND owner = record_->dialog;
    ownerShot = Screenshot(owner, "gui_list_tree_e2e.png", 8);
    form_->PostKind(kRunDialogsKind);

    HWND question = twtest::WaitTitled(thread, kQuestionTitle, kPatienceRounds);
    ASSERT_NE(question, nullptr) << "the message box never showed";
    questionShot = Screenshot(question, "gui_message_box_e2e.png", 4);
    // The window has its final size now: the buttons must sit at its
    // bottom right at their full size.
    std::string layout = "no message form";
    EXPECT_TRUE(OnUi([&] {
      if (auto* m = dynamic_cast<cMessageForm*>(twtest::ElementOf(question))) layout = twtest::CheckMessageBoxLayout(m, true);
    }));
    EXPECT_EQ(layout, "");
    twtest::PostKey(question, VK_RETURN);
    EXPECT_TRUE(Eventually([&] { return !IsWindow(question); })) << "Enter closes the message box";

    HWND progress = twtest::WaitTitled(thread, kProgressTitle, kPatienceRounds);
    ASSERT_NE(progress, nullptr) << "the progress form never showed";
    EXPECT_TRUE(Eventually([&] { return record_->statusShown.load() && record_->reports.load() > 5; }))
        << "the job reports on the status line";
    progressShot = Screenshot(progress, "gui_progress_form_e2e.png", 4);
    layout = "no progress form";
    EXPECT_TRUE(OnUi([&] {
      if (auto* p = dynamic_cast<cStdBasicProgressForm*>(twtest::ElementOf(progress)))
        layout = twtest::CheckProgressFormLayout(p);
    }));
    EXPECT_EQ(layout, "");
    twtest::PostKey(progress, VK_ESCAPE);
    EXPECT_TRUE(Eventually([&] { return !IsWindow(progress); })) << "Escape stops the job and the form closes";
    EXPECT_TRUE(Eventually([&] { return record_->dialogsDone.load(); }));
    EXPECT_TRUE(OnUi([this] { form_->EndModal(42); }));
  }

  bool ownerShot = false, questionShot = false, progressShot = false;

private:
  OwnerForm* form_;
  Record* record_;
};

TEST(DialogsEndToEnd, QuestionAnsweredThenJobReportsAndIsStopped) {
  static cWEKTLang builtin;
  ASSERT_TRUE(SetCurrentLanguage(0));
  cWWMaker maker;
  ASSERT_TRUE(maker.RegisterClasses(nullptr, 0, 101));
  // The dialogs' buttons and status line read their language sections
  // through the windows, as in an application.
  maker.sectionMap = &GetLanguageSections();
  Record record;
  ASSERT_TRUE(record.shown.Create(nullptr, false, true));
  auto* form = new OwnerForm(&record);
  Driver driver(form, &record);
  std::thread drive([&] { driver.Run(); });
  const int32_t code = maker.RunModalForm(u"Tarnwick dialogs test", 520, 280, form, nullptr, false);
  drive.join();
  EXPECT_EQ(code, 42);
  EXPECT_EQ(record.answer, 1) << "Enter answers Yes";
  EXPECT_EQ(record.progressResult, 3) << "the stopped job's result closes the form";
  EXPECT_TRUE(record.stopSeen);
  EXPECT_GT(record.reports.load(), 5);
  EXPECT_TRUE(record.statusShown) << "the status line showed the times";
  EXPECT_TRUE(driver.ownerShot) << "gui_list_tree_e2e.png in the build folder";
  EXPECT_TRUE(driver.questionShot) << "gui_message_box_e2e.png in the build folder";
  EXPECT_TRUE(driver.progressShot) << "gui_progress_form_e2e.png in the build folder";
}

}  // namespace
