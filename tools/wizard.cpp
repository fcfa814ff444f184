// The installation wizard. See wizard.h.
#include "tools/wizard.h"

#include "base/buffers.h"
#include "base/format.h"
#include "base/memio.h"
#include "base/strings.h"
#include "gui/app.h"
#include "gui/canvas.h"
#include "gui/dialogs/message_box.h"
#include "gui/font.h"
#include "gui/picture.h"
#include "gui/window_maker.h"
#include "picture/pict_png.h"
#include "tools/install_context.h"
#include "tools/wizard_art.h"

namespace {

constexpr uint32_t kTextColour = 0x655654, kDoneColour = 0xA19795, kTitleColour = 0x383231,
                   kBandColour = 0xE7E7E7, kWhite = 0xFFFFFF;
constexpr int32_t kStepsX = 25, kStepsY = 85, kStepHeight = 22;
constexpr int32_t kPageX = 200, kPageY = 72, kPageWidth = 410, kPageHeight = 290;
constexpr int32_t kMarkDone = 20, kMarkCurrent = 21;
constexpr int32_t kKeyEnter = 13, kKeyEscape = 27;

enum : int32_t {
  kTextTitle = 0,
  kTextNext = 1,
  kTextClose = 14,
  kTextCloseQuestion = 15,
  kTextReadmeAgree = 16,
  kTextEulaAgree = 17,
  kTextKeepAll = 20,
  kTextKeepSome = 21,
  kTextPartialRemoval = 22,
  kTextNoProducts = 23,
  kTextAbortQuestion = 24,
  kTextFileInUse = 25,
};

// Title and step label texts of each page kind.
struct sKindTexts {
  int32_t title;
  int32_t label;
};
constexpr sKindTexts kKindTexts[7] = {{8, 2}, {9, 3}, {10, 4}, {19, 18}, {11, 5}, {12, 6}, {13, 7}};

}  // namespace

const cPicture* WizardBackground() {
  static cPicture* picture = [] {
    cPictPNG png;
    cBufWrapperIO io(tw::kWizardBackgroundPng, tw::kWizardBackgroundPngSize);
    if (!png.Load(&io) || png.IsHighDepth()) return static_cast<cPicture*>(nullptr);
    auto* p = new cPicture();
    if (!p->SetPixels(png.Pixels32().data, png.GetWidth(), png.GetHeight(), false)) {
      delete p;
      return static_cast<cPicture*>(nullptr);
    }
    return p;
  }();
  return picture;
}

cImageStore& WizardStepMarks() {
  static cImageStore* store = [] {
    auto* s = new cImageStore();
    const int32_t size = tw::kStepMarkWidth * tw::kStepMarkHeight;
    const int32_t ids[tw::kStepMarkCount] = {1, 2, 3, 4, 5, 6, 7, kMarkDone, kMarkCurrent};
    for (int32_t i = 0; i < tw::kStepMarkCount; ++i)
      s->AddPixels(ids[i], tw::kWizardStepMarks + i * size, tw::kStepMarkWidth, tw::kStepMarkHeight, false);
    return s;
  }();
  return *store;
}

cInstWizard::cInstWizard(sInstallContext* context) : context_(context) {}

cInstWizard::~cInstWizard() {
  // The jobs send to and post from the pages: they end before the pages go.
  uninstall_.cJob::Stop(cJob::kStopTimeoutMs);
  install_.cJob::Stop(cJob::kStopTimeoutMs);
}

const char16_t* cInstWizard::Text(int32_t index) { return GetLangString(index); }

void cInstWizard::AddPage(int32_t kind, int32_t titleText, int32_t labelText) {
  sPage& page = pages_[count_++];
  page.kind = kind;
  page.title = Text(titleText);
  page.label = Text(labelText);
}

int32_t cInstWizard::IndexOfKind(int32_t kind) const {
  for (int32_t i = 0; i < count_; ++i) {
    if (pages_[i].kind == kind) return i;
  }
  return -1;
}

void cInstWizard::OnCreate() {
  WizardStepMarks();
  const int32_t w = GetWidth(), h = GetHeight();
  AddChild(&next_, w - 125, h - 51, 100, 26, 0);
  next_.SetText(Text(kTextNext), -1, false);

  cSOPKGDescription& package = context_->description;
  const cSiDocContainer* documents[3] = {package.GetWelcomeDocument(), package.GetReadmeDocument(),
                                         package.GetEulaDocument()};
  for (int32_t i = 0; i < 3; ++i) {
    AddChild(&viewers_[i], kPageX, kPageY, kPageWidth, kPageHeight, 0);
    if (documents[i] != nullptr) AddPage(tw::kPageWelcome + i, kKindTexts[i].title, kKindTexts[i].label);
  }
  cCheckBoxChild* boxes[2] = {&readmeBox_, &eulaBox_};
  const int32_t boxTexts[2] = {kTextReadmeAgree, kTextEulaAgree};
  for (int32_t i = 0; i < 2; ++i) {
    cCheckBoxChild* box = boxes[i];
    AddChild(box, 193, 369, 10, 10, 0);
    box->SetLabelText(Text(boxTexts[i]), 0, false);
    sSize preferred{0, 0};
    if (box->MeasureLabel(preferred)) box->SetPos(193, 369, preferred.width, preferred.height);
    box->SetTransparent(true);
    box->SetTextColour(kTextColour);
  }

  AddChild(&products_, 210, 82, 390, 270, 0);
  products_.ShowHeader(false);
  products_.SetColumnTitle(1, u"", 390 - 25, 0);
  products_.SetColumnFont(1, GetFont(5, 14, GetUIFaceName(), false, false, false));
  products_.SetColumnTextColour(1, static_cast<int32_t>(kTextColour), false);
  products_.SetCheckBoxes(true);
  products_.SetText(Text(kTextNoProducts), -1, false);
  AddChild(&uninstall_, kPageX, kPageY, kPageWidth, kPageHeight, 0);
  if (context_->deprecated.head != nullptr) AddPage(tw::kPageProducts, kKindTexts[3].title, kKindTexts[3].label);

  AddChild(&folder_, kPageX, kPageY, kPageWidth, kPageHeight, 0);
  if (package.GetString(u"pgm") == nullptr) AddPage(tw::kPageFolder, kKindTexts[4].title, kKindTexts[4].label);
  AddChild(&install_, kPageX, kPageY, kPageWidth, kPageHeight, 0);
  AddPage(tw::kPageInstall, kKindTexts[5].title, kKindTexts[5].label);
  AddChild(&finish_, kPageX, kPageY, kPageWidth, kPageHeight, 0);
  AddPage(tw::kPageFinish, kKindTexts[6].title, kKindTexts[6].label);

  titleFont_ = GetFont(8, 20, GetUIFaceName(), false, false, false);
  currentStepFont_ = GetFont(6, 14, GetUIFaceName(), true, false, false);
  stepFont_ = GetFont(5, 14, GetUIFaceName(), false, false, false);
  stepsBottom_ = kStepsY + kStepHeight * count_;
  pressedStep_ = -1;
  for (int32_t i = 0; i < count_; ++i) {
    sSize size{0, 0};
    if (pages_[i].label == nullptr || !MeasureText(pages_[i].label, &size, stepFont_)) size.width = 0;
    pages_[i].labelRight = kStepsX + size.width + 25;
  }
  HideAll();
  ShowWizardPage(0);
}

bool cInstWizard::IsJobBusy() { return uninstall_.IsBusy() || install_.IsBusy(); }

void cInstWizard::HideAll() {
  for (cSiDocViewer& v : viewers_) v.Hide(false);
  readmeBox_.Hide(false);
  eulaBox_.Hide(false);
  products_.Hide(false);
  uninstall_.Hide(false);
  folder_.Hide(false);
  install_.Hide(false);
  finish_.Hide(false);
}

void cInstWizard::ShowWizardPage(int32_t n) { ShowPage(n, false); }

void cInstWizard::ShowPage(int32_t n, bool again) {
  for (;;) {
    if (IsJobBusy() || (n == current_ && !again) || n < 0 || n >= count_) return;
    next_.SetText(Text(pages_[n].kind == tw::kPageFinish ? kTextClose : kTextNext), -1, false);
    HideAll();
    next_.Enable();
    const int32_t kind = pages_[n].kind;
    bool skip = false;
    switch (kind) {
      case tw::kPageWelcome:
      case tw::kPageReadme:
      case tw::kPageEula: {
        cSOPKGDescription& package = context_->description;
        cSiDocContainer* document = kind == tw::kPageWelcome  ? package.GetWelcomeDocument()
                                    : kind == tw::kPageReadme ? package.GetReadmeDocument()
                                                              : package.GetEulaDocument();
        viewers_[kind].SetDocument(document);
        viewers_[kind].Show(false);
        cCheckBoxChild* box = kind == tw::kPageReadme ? &readmeBox_ : kind == tw::kPageEula ? &eulaBox_ : nullptr;
        const bool agreement = kind == tw::kPageEula || (kind == tw::kPageReadme && context_->description.readmeConfirm != 0);
        if (box != nullptr && agreement) {
          box->Show(false);
          box->SetChecked(false, false);
          next_.Disable(false);
        }
        break;
      }
      case tw::kPageProducts: {
        products_.BeginUpdate();
        products_.Clear();
        int32_t id = 0;
        for (auto* p = context_->deprecated.head; p != nullptr; p = p->next, ++id) {
          // Data id + 1: a row that does not exist reads as 0.
          products_.SetCell(id, 1, p->value.displayName.text, -1, id + 1);
          products_.SetItemChecked(id, true, false);
        }
        products_.EndUpdate(true);
        products_.Show(false);
        break;
      }
      case tw::kPageFolder:
        GetDefaultTargetFolder(&folder_, context_);
        folder_.Show(false);
        break;
      case tw::kPageInstall:
        if (StartInstallerJob(&install_, context_)) {
          next_.Disable(false);
          install_.Show(false);
        } else {
          skip = true;
        }
        break;
      case tw::kPageFinish:
        FillFinishPanel(&finish_, context_);
        finish_.Show(true);
        break;
      default:
        break;
    }
    if (skip) {
      ++n;
      again = false;
      continue;
    }
    current_ = n;
    Invalidate(nullptr);
    return;
  }
}

void cInstWizard::WizardNext() {
  if (IsJobBusy() || current_ < 0) return;
  switch (pages_[current_].kind) {
    case tw::kPageWelcome:
      ShowWizardPage(current_ + 1);
      break;
    case tw::kPageReadme:
      if (context_->description.readmeConfirm == 0 || readmeBox_.IsChecked()) ShowWizardPage(current_ + 1);
      break;
    case tw::kPageEula:
      if (eulaBox_.IsChecked()) ShowWizardPage(current_ + 1);
      break;
    case tw::kPageProducts:
      NextOnProducts();
      break;
    case tw::kPageFolder:
      if (ValidateTargetFolder(&folder_)) ShowWizardPage(current_ + 1);
      break;
    case tw::kPageFinish:
      if (next_.IsEnabled()) {
        next_.Disable(true);
        RunCheckedEntries(&finish_);
      }
      EndModal(0);
      break;
    default:
      break;
  }
}

void cInstWizard::NextOnProducts() {
  bool someChecked = false, someUnchecked = false;
  int32_t rows = 0;
  for (int32_t id = 0; products_.GetCellData(id, 1) == id + 1; ++id, ++rows) {
    if (products_.IsItemChecked(id))
      someChecked = true;
    else
      someUnchecked = true;
  }
  if (rows == 0) {
    ShowWizardPage(current_ + 1);
    return;
  }
  if (someUnchecked && someChecked) {
    if (!AskWarningQuestion(this, Text(kTextKeepSome), nullptr)) return;
  } else if (someUnchecked) {
    if (AskWarningQuestion(this, Text(kTextKeepAll), nullptr)) {
      ShowWizardPage(current_ + 1);
      return;
    }
  }
  int32_t id = 0;
  for (auto* p = context_->deprecated.head; p != nullptr; p = p->next, ++id)
    p->value.selected = products_.IsItemChecked(id);
  products_.Hide(false);
  if (StartUninstallCommands(&uninstall_, &context_->deprecated)) {
    uninstall_.Show(false);
    next_.Disable(false);
    Invalidate(nullptr);
  } else {
    ShowWizardPage(current_ + 1);
  }
}

void cInstWizard::OnRemovalEnded() {
  bool failed = false;
  for (auto* p = context_->deprecated.head; p != nullptr; p = p->next) {
    if (p->value.selected && p->value.result != 0) failed = true;
  }
  if (failed && !AskWarningQuestion(this, Text(kTextPartialRemoval), nullptr)) {
    ShowPage(current_, true);
    return;
  }
  ShowWizardPage(current_ + 1);
}

bool cInstWizard::OnAction(cChildElement* sender, cChildAction* action) {
  if (sender == this && action != nullptr && action->kind == 9) {
    auto* ask = static_cast<cInstallerJobPanel::cAskReleaseAction*>(action);
    if (ask->path.IsEmpty()) {
      *ask->answer = 1;
      return true;
    }
    const char16_t* format = Text(kTextFileInUse);
    if (format == nullptr) format = u"%s";
    const int32_t capacity = WideLength(format) + WideLength(ask->path.text) + 1;
    _typebuf<char16_t> text(capacity);
    FormatW(text.data, capacity, format, ask->path.text);
    *ask->answer = AskWarningQuestion(this, text.data, nullptr) ? 0 : 1;
    return true;
  }
  if ((sender == &readmeBox_ || sender == &eulaBox_) && (action == nullptr || action->kind == 0)) {
    if (static_cast<cCheckBoxChild*>(sender)->IsChecked())
      next_.Enable();
    else
      next_.Disable(true);
    next_.Invalidate(nullptr);
    return true;
  }
  if (sender == &next_ && action != nullptr && action->kind == 0) {
    WizardNext();
    return true;
  }
  if (sender == &uninstall_ && action != nullptr && action->kind == 8) {
    OnRemovalEnded();
    return true;
  }
  if (sender == &install_ && action != nullptr && action->kind == 8) {
    const int32_t page = IndexOfKind(tw::kPageInstall);
    ShowWizardPage(page + 1);
    return true;
  }
  return cChildElement::OnAction(sender, action);
}

bool cInstWizard::Key(int32_t virtualKey, bool shift, bool control, bool alt) {
  if (!shift && !control && !alt) {
    if (virtualKey == kKeyEnter) {
      WizardNext();
      return true;
    }
    if (virtualKey == kKeyEscape) {
      if (install_.IsBusy() && AskWarningQuestion(this, Text(kTextAbortQuestion), nullptr)) install_.RequestStop();
      return true;
    }
  }
  return cChildElement::Key(virtualKey, shift, control, alt);
}

bool cInstWizard::CanClose() {
  if (IsJobBusy()) return false;
  if (CurrentKind() == tw::kPageFinish) return true;
  return AskQuestion(this, Text(kTextCloseQuestion), nullptr);
}

int32_t cInstWizard::HitStep(int32_t x, int32_t y) const {
  if (current_ < 0 || pages_[current_].kind == tw::kPageFinish) return -1;
  if (x < kStepsX || y < kStepsY || y >= stepsBottom_) return -1;
  const int32_t step = (y - kStepsY) / kStepHeight;
  if (step >= current_ || x >= pages_[step].labelRight || pages_[step].kind == tw::kPageInstall) return -1;
  return step;
}

void cInstWizard::OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) {
  if (button != 1) return;
  if (down) {
    const int32_t step = HitStep(x, y);
    if (step < 0 || IsJobBusy()) return;
    pressedStep_ = step;
    CaptureMouse(false);
    return;
  }
  if (pressedStep_ < 0) return;
  ReleaseMouse();
  const int32_t step = pressedStep_;
  pressedStep_ = -1;
  if (HitStep(x, y) == step) ShowWizardPage(step);
}

void cInstWizard::OnMouseMove(int32_t x, int32_t y) {
  SetCursor(HitStep(x, y) >= 0 ? 3 : 0);
  ApplyCursor(GetCursor());
}

bool cInstWizard::PaintOwnBg(cCanvas* canvas, const sRect* rect) {
  const cPicture* background = WizardBackground();
  if (background == nullptr || rect == nullptr) return false;
  canvas->DrawPicture(-rect->x, -rect->y, background, -1, -1);
  return true;
}

void cInstWizard::Paint(cCanvas* canvas) {
  if (const cPicture* background = WizardBackground()) canvas->DrawPicture(0, 0, background, -1, -1);
  if (current_ >= 0 && pages_[current_].title != nullptr) {
    canvas->SelectFont(titleFont_);
    canvas->SetTextColours(kTitleColour, kBandColour);
    canvas->DrawTextLine(195, 25, GetWidth() - 220, 25, 0, false, 0, 0, pages_[current_].title, -1, nullptr,
                         false);
  }
  cImageStore& marks = WizardStepMarks();
  for (int32_t i = 0; i < count_; ++i) {
    const int32_t y = kStepsY + kStepHeight * i;
    const bool done = i < current_, now = i == current_;
    const cPicture* mark = marks.Find(done ? kMarkDone : now ? kMarkCurrent : i + 1);
    if (mark != nullptr) canvas->DrawPicture(kStepsX, y, mark, -1, -1);
    if (pages_[i].label == nullptr) continue;
    canvas->SelectFont(now ? currentStepFont_ : stepFont_);
    canvas->SetTextColours(now ? kTextColour : kDoneColour, kBandColour);
    canvas->DrawTextLine(50, y, 140, 14, 0, false, 0, 0, pages_[i].label, -1, nullptr, false);
  }
}

int32_t RunWizard(sInstallContext* context) {
  if (context == nullptr) return 1;
  const cPicture* background = WizardBackground();
  if (background == nullptr) return 1;
  const char16_t* name = context->description.GetString(u"name");
  _guardchar<char16_t> title;
  const char16_t* format = GetLanguageText("pkgm::instw", kTextTitle);
  if (format != nullptr && name != nullptr) {
    const int32_t capacity = WideLength(format) + WideLength(name) + 1;
    _typebuf<char16_t> text(capacity);
    FormatW(text.data, capacity, format, name);
    title.Assign(text.data);
  } else {
    title.Assign(name != nullptr ? name : u"");
  }
  cCIApplication* app = cCIApplication::GetCurrent();
  cWindowMaker* maker = app != nullptr ? app->GetWindowMaker() : nullptr;
  if (maker == nullptr) return 1;
  auto* wizard = new cInstWizard(context);
  const int32_t code = maker->RunModalForm(title.text, background->GetWidth(), background->GetHeight(), wizard,
                                           nullptr, false);
  return code < 0 ? 1 : code;
}
