// The finish page. See finish_panel.h.
#include "tools/finish_panel.h"

#include "base/buffers.h"
#include "base/format.h"
#include "base/lists.h"
#include "base/process.h"
#include "base/strings.h"
#include "gui/canvas.h"
#include "gui/font.h"
#include "tools/install_context.h"

namespace {

constexpr uint32_t kTextColour = 0x655654, kErrorColour = 0x4040A0, kWhite = 0xFFFFFF;
constexpr int32_t kFirstBoxY = 110, kBoxStep = 25;

enum : int32_t { kTextSuccess = 0, kTextError = 1, kTextClosing = 13 };
constexpr int32_t kLastResultCode = 11;

}  // namespace

void cErrorDispl::Paint(cCanvas* canvas) {
  const sRect all{0, 0, GetWidth(), GetHeight()};
  canvas->DrawRect(&all, kWhite, kWhite);
  const char16_t* text = GetText();
  if (text == nullptr || text[0] == 0) return;
  canvas->SelectFont(GetDefaultFont());
  canvas->SetTextColours(GetBackgroundColour(), kWhite);
  canvas->DrawTextWrapped(0, 0, GetWidth(), GetHeight(), 0, text, nullptr, true, 0);
}

cFinishPanel::~cFinishPanel() { RemoveBoxes(); }

void cFinishPanel::InitDefaults() {
  cPanelChild::InitDefaults();
  backColour_ = kWhite;
  borderColour_ = static_cast<int32_t>(kWhite);
  PlaceChild(&result_, 10, 10, -21, 20);
  result_.SetColours(kTextColour, kWhite, kWhite);
  result_.SetFont(GetFont(6, 14, GetUIFaceName(), true, false, false));
  PlaceChild(&error_, 10, 40, -21, 60);
}

void cFinishPanel::RemoveBoxes() {
  for (auto& box : boxes_) RemoveChild(box.get());
  boxes_.clear();
}

void FillFinishPanel(cFinishPanel* page, sInstallContext* context) {
  if (page == nullptr) return;
  page->RemoveBoxes();
  auto text = [page](int32_t index) { return page->GetLangString(index); };
  const int32_t code = context != nullptr ? context->resultCode : -1;
  if (code != 0) {
    page->result_.SetLabelText(text(kTextError), 0, true);
    page->error_.SetBackgroundColour(kErrorColour);
    page->error_.SetText(code >= 1 && code <= kLastResultCode ? text(code + 1) : nullptr, -1, true);
    page->Invalidate(nullptr);
    return;
  }
  page->result_.SetLabelText(text(kTextSuccess), 0, true);
  page->error_.SetBackgroundColour(kTextColour);
  page->error_.SetText(text(kTextClosing), -1, true);

  cSimpleList<sRunEntry> entries;
  context->description.GetRunEntries(entries);
  const int32_t limit = page->GetHeight() - 20;
  int32_t y = kFirstBoxY;
  for (auto* n = entries.head; n != nullptr; n = n->next) {
    const sRunEntry& entry = n->value;
    auto box = std::make_unique<cRunEntryBox>();
    page->PlaceChild(box.get(), 15, y, -31, 18);
    box->SetColours(kTextColour, kWhite, kWhite);
    box->SetLabelText(entry.caption.text, 0, false);
    box->SetChecked(entry.flag != 0, false);
    const char16_t* path = entry.path.text != nullptr ? entry.path.text : u"";
    if (entry.arguments.text != nullptr && entry.arguments.text[0] != 0) {
      const int32_t capacity = WideLength(path) + WideLength(entry.arguments.text) + 4;
      _typebuf<char16_t> line(capacity);
      FormatW(line.data, capacity, u"\"%s\" %s", path, entry.arguments.text);
      box->commandLine.Assign(line.data);
    } else {
      box->commandLine.Assign(path);
    }
    page->boxes_.push_back(std::move(box));
    y += kBoxStep;
    if (y > limit) break;
  }
  page->Invalidate(nullptr);
}

void RunCheckedEntries(cFinishPanel* page) {
  if (page == nullptr) return;
  for (const auto& box : page->Boxes()) {
    if (!box->IsChecked() || box->commandLine.IsEmpty()) continue;
    OpenOrRunFile(box->commandLine.text);
  }
}
