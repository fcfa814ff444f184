// The wizard's job panels. See job_panel.h.
#include "tools/job_panel.h"

#include <cmath>

#include "base/buffers.h"
#include "base/format.h"
#include "base/process.h"
#include "base/strings.h"
#include "base/time.h"

namespace {

constexpr uint32_t kTextColour = 0x655654, kWhite = 0xFFFFFF;
constexpr uint64_t kBarEveryUs = 100000;  // the bar moves at most 10 times a second
constexpr uint32_t kPollMs = 100;

// Posted by the job thread: the label's text changed (rule b).
constexpr int32_t kRepaintKind = 12;

enum : int32_t {
  kTextPreparing = 0,
  kTextUnpacking = 1,
  kTextBackups = 2,
  kTextApplying = 3,
  kTextRemoving = 4,
  kTextManagerName = 5,
  kTextManagerGroup = 6,
};

}  // namespace

// ---- cJobPanel ------------------------------------------------------------

cJobPanel::~cJobPanel() { cJob::Stop(kStopTimeoutMs); }

void cJobPanel::InitDefaults() {
  cPanelChild::InitDefaults();
  stage_.store(0);
  backColour_ = kWhite;
  borderColour_ = static_cast<int32_t>(kWhite);
  PlaceChild(&status_, 20, 50, -41, 18);
  status_.SetColours(kTextColour, kWhite, kWhite);
  PlaceChild(&bar_, 20, 80, -41, 22);
  bar_.SetRange(100);
}

bool cJobPanel::OnAction(cChildElement* sender, cChildAction* action) {
  if (sender == this && action != nullptr && action->kind == kRepaintKind) {
    status_.Invalidate(nullptr);
    return true;
  }
  return cPanelChild::OnAction(sender, action);
}

int32_t cJobPanel::BarPosition(int32_t stage, int32_t lines, double percent) {
  if (lines <= 0) return static_cast<int32_t>(std::floor(percent + 0.5));
  return static_cast<int32_t>(std::floor(static_cast<double>(stage) * 100.0 / lines + percent / lines));
}

bool cJobPanel::SetProgress(double percent) {
  const uint64_t now = GetMicroseconds();
  if (now - lastUpdate_.load() > kBarEveryUs) {
    const int32_t value = BarPosition(stage_.load(), lines_.count, percent);
    barValue_.store(value);
    bar_.SetPos(value, false);
    lastUpdate_.store(now);
  }
  return !IsStopRequested();
}

void cJobPanel::SetStage(int32_t stage) {
  if (stage >= 0 && stage < lines_.count) {
    stage_.store(stage);
    ShowLine(stage);
  }
  SetProgress(0);
}

void cJobPanel::ShowLine(int32_t index) {
  status_.SetLabelText(Line(index), 0, false);
  PostKind(kRepaintKind);
}

void cJobPanel::OnStart() {
  stage_.store(0);
  ShowLine(0);
  lastUpdate_.store(GetMicroseconds());
}

void cJobPanel::OnFinished(int32_t result) {
  endPosted_.store(true);
  PostAction(new cJobEndAction(result));
}

void cJobPanel::SizeLines(int32_t count) {
  if (count != lines_.count) {
    lines_.Allocate(count);
  } else {
    for (int32_t i = 0; i < count; ++i) lines_.data[i].Assign(nullptr);
  }
}

void cJobPanel::SetLine(int32_t index, const char16_t* text) {
  if (index >= 0 && index < lines_.count) lines_.data[index].Assign(text);
}

const char16_t* cJobPanel::Line(int32_t index) const {
  if (index < 0 || index >= lines_.count || lines_.data[index].text == nullptr) return u"";
  return lines_.data[index].text;
}

bool cJobPanel::StartJob() {
  endPosted_.store(false);
  barValue_.store(0);
  bar_.SetPos(0, false);
  if (cJob::Start()) return true;
  endPosted_.store(true);
  return false;
}

bool cJobPanel::IsBusy() { return IsRunning() && !endPosted_.load(); }

// ---- cInstallerJobPanel ------------------------------------------------------

cInstallerJobPanel::~cInstallerJobPanel() { cJob::Stop(kStopTimeoutMs); }

int32_t cInstallerJobPanel::Run() {
  if (context_ == nullptr) return 1;
  return RunInstallerJob(*context_, this);
}

uint8_t cInstallerJobPanel::AskRelease(const char16_t* path) {
  // Unanswered (the wizard went away while the question was queued): give up.
  uint8_t answer = 1;
  cChildElement* owner = GetParent();
  if (owner == nullptr) return answer;
  owner->SendAction(new cAskReleaseAction(&answer, path));
  return answer;
}

const char16_t* cInstallerJobPanel::GetText(int32_t index) {
  // Read on the UI thread by StartInstallerJob: the job never walks the tree.
  if (index == kTextManagerName) return managerName_.text;
  if (index == kTextManagerGroup) return managerGroup_.text;
  return nullptr;
}

bool StartInstallerJob(cInstallerJobPanel* page, sInstallContext* context) {
  if (page == nullptr || context == nullptr) return false;
  int32_t changed = 0;
  for (auto* n = context->installEntries.head; n != nullptr; n = n->next) {
    if (!IsEntryUnchanged(n->value)) ++changed;
  }
  auto text = [page](int32_t index) {
    const char16_t* s = page->GetLangString(index);
    return s != nullptr ? s : u"";
  };
  page->SizeLines(changed + 4);
  page->SetLine(0, text(kTextPreparing));
  int32_t line = 1;
  const char16_t* unpacking = text(kTextUnpacking);
  for (auto* n = context->installEntries.head; n != nullptr; n = n->next) {
    if (IsEntryUnchanged(n->value)) continue;
    const char16_t* target = n->value.targetPath.text != nullptr ? n->value.targetPath.text : u"";
    const int32_t capacity = WideLength(unpacking) + WideLength(target) + 1;
    _typebuf<char16_t> formatted(capacity);
    FormatW(formatted.data, capacity, unpacking, target);
    page->SetLine(line++, formatted.data);
  }
  page->SetLine(changed + 1, text(kTextBackups));
  page->SetLine(changed + 2, text(kTextApplying));
  page->SetLine(changed + 3, text(kTextRemoving));
  page->SetManagerTexts(page->GetLangString(kTextManagerName), page->GetLangString(kTextManagerGroup));
  page->SetContext(context);
  return page->StartJob();
}

// ---- cSoftUninstallerPanel ------------------------------------------------------

cSoftUninstallerPanel::~cSoftUninstallerPanel() { cJob::Stop(kStopTimeoutMs); }

int32_t cSoftUninstallerPanel::Run() {
  if (products_ == nullptr) return 0;
  using tNode = cSimpleList<sDeprecatedProduct>::Node;
  int32_t index = 0;
  for (tNode* n = products_->head; n != nullptr; ++index) {
    tNode* following = n->next;
    SetStage(index);
    if (n->value.selected) {
      // cConProcess drains the child's output and gives it an input at its
      // end, so a chatty or prompting uninstaller cannot stall us.
      cConProcess child;
      if (!child.Start(n->value.uninstallCommand.text)) {
        n->value.result = -1;
      } else {
        while (child.Poll() && child.HasProcess()) SleepMs(kPollMs);
        n->value.result = child.ExitCode();
        child.Close();
        if (n->value.result == 0) products_->Remove(n);
        SetProgress(100);
      }
    }
    n = following;
  }
  return 0;
}

bool StartUninstallCommands(cSoftUninstallerPanel* panel, cSimpleList<sDeprecatedProduct>* products) {
  if (panel == nullptr || products == nullptr || products->head == nullptr) return false;
  int32_t count = 0;
  for (auto* n = products->head; n != nullptr; n = n->next) ++count;
  panel->SizeLines(count);
  int32_t i = 0;
  for (auto* n = products->head; n != nullptr; n = n->next) panel->SetLine(i++, n->value.displayName.text);
  panel->SetProducts(products);
  return panel->StartJob();
}
