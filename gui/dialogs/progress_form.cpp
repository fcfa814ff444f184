// See gui/dialogs/progress_form.h.
#include "gui/dialogs/progress_form.h"

#include <algorithm>
#include <chrono>

#include "base/format.h"
#include "gui/picture.h"
#include "gui/theme.h"

namespace {

constexpr int32_t kPictureStop = 78;
constexpr int32_t kTextStop = 0, kTextStarting = 1, kTextEstimate = 2, kTextOperation = 3, kTextElapsed = 4;
constexpr uint32_t kUpdateEveryMs = 500;

cImageStore& Store() { return tw::SharedImageStore(tw::eSharedStore::kProgressForm); }

}  // namespace

cStdBasicProgressForm::~cStdBasicProgressForm() { cJob::Stop(kStopTimeoutMs); }

uint32_t cStdBasicProgressForm::TickMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void cStdBasicProgressForm::InitDefaults() {
  cCustomForm::InitDefaults();
  cImageStore& store = Store();
  if (!store.Has(0)) store.Set(1, GetTheme()->GetPicture(kPictureStop));
  showEstimate_ = 1;
}

void cStdBasicProgressForm::OnCreate() {
  cCustomForm::OnCreate();
  InitDefaults();
  cPanelChild* client = GetClientPanel();
  // Anchored to the panel's right edge (a negative value v stands for the
  // width + v + 1): under Windows the form does not have its final size yet
  // when it is created.
  client->PlaceChild(&bar_, 5, 0, -10 - 1, 18);
  bar_.SetRange(1000);
  bar_.AddChild(&buttonBar_, 0, 0, 1, 1, 0);
  buttonBar_.SetTransparent(true);
  buttonBar_.SetImages(0, &Store());
  buttonBar_.SetButton(1, GetLangText(kTextStop), 1);
  // At the bar's right end with its own width, one pixel in.
  const int32_t a = buttonBar_.GetButtonsWidth();
  bar_.PlaceChild(&buttonBar_, -(a + 1) - 1, 0, a, 18);
  // The button was laid out while the bar was 1 x 1; a bar without overflow
  // does not lay it out again when it is resized.
  buttonBar_.Relayout();
  client->PlaceChild(&status_, 5, 20, -10 - 1, 16);
  const uint32_t ground = GetTheme()->GetColour(0);
  status_.SetLabelBackground(ground);
  status_.SetFrameColour(ground);
  status_.SetLabelText(GetLangText(kTextStarting), 0, false);
  stageName_.store(GetLangText(kTextOperation));
  // The job's thread formats with these, so it never walks the tree.
  estimateFormat_ = GetLangText(kTextEstimate);
  elapsedFormat_ = GetLangText(kTextElapsed);
  operationText_ = GetLangText(kTextOperation);
  startTime_.store(TickMs());
  lastUpdate_.store(0);
  cJob::Start();
}

bool cStdBasicProgressForm::SetProgress(double percent) {
  percent = std::clamp(percent, 0.0, 100.0);
  const uint32_t now = TickMs();
  if (now - lastUpdate_.load() > kUpdateEveryMs && percent != 0.0) {
    lastUpdate_.store(now);
    const int32_t tenths = static_cast<int32_t>(percent * 10);
    bar_.SetPos(tenths, false);
    const uint32_t elapsed = now - startTime_.load();
    const uint32_t remaining = static_cast<uint32_t>(elapsed / percent * (100 - percent));
    auto h = [](uint32_t ms) { return static_cast<int32_t>(ms / 3600000); };
    auto m = [](uint32_t ms) { return static_cast<int32_t>((ms / 1000 % 3600) / 60); };
    auto s = [](uint32_t ms) { return static_cast<int32_t>(ms / 1000 % 60); };
    char16_t buffer[256];
    const char16_t* stage = stageName_.load();
    if (stage == nullptr) stage = u"";
    if (showEstimate_ != 0)
      FormatW(buffer, 256, estimateFormat_, stage, tenths * 0.1, h(elapsed), m(elapsed), s(elapsed),
              h(remaining), m(remaining), s(remaining));
    else
      FormatW(buffer, 256, elapsedFormat_, stage, h(elapsed), m(elapsed), s(elapsed));
    status_.SetLabelText(buffer, 0, true);
  }
  return !IsStopRequested();
}

void cStdBasicProgressForm::SetStage(int32_t stage) {
  const _guardchar<char16_t>* named = stageNames_.Find(stage);
  stageName_.store(named != nullptr && named->text != nullptr ? named->text : operationText_);
  bar_.Stop(false);
  startTime_.store(TickMs());
}

void cStdBasicProgressForm::OnFinished(int32_t result) { PostAction(new cProgressAction(result)); }

bool cStdBasicProgressForm::OnAction(cChildElement* sender, cChildAction* action) {
  if (action != nullptr) {
    if (sender == this && action->kind == 8) {
      EndModal(static_cast<cProgressAction*>(action)->result);
      return true;
    }
    if (sender == &buttonBar_ && action->kind == 7 && static_cast<cToolBarChild::cTbButtonAction*>(action)->id == 1) {
      OnEscapeKey();
      return true;
    }
  }
  return cCustomForm::OnAction(sender, action);
}

bool cStdBasicProgressForm::OnEscapeKey() {
  if (IsRunning())
    RequestStop();
  else
    EndModal(0);
  return true;
}

bool cStdBasicProgressForm::CanClose() {
  if (!IsRunning()) return true;
  RequestStop();
  return false;
}

int32_t ShowProgressForm(cChildElement* owner, cStdBasicProgressForm* form, const char16_t* title) {
  if (owner == nullptr || form == nullptr) return 0;
  return owner->ShowModal(title, 600, 106, form, false);
}
