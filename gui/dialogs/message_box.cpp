// See gui/dialogs/message_box.h.
#include "gui/dialogs/message_box.h"

#include <algorithm>
#include <cmath>

#include "gui/picture.h"
#include "gui/theme.h"

namespace {

constexpr int32_t kColourHeading = 61;
constexpr int32_t kMetricSide = 1;
constexpr int32_t kMetricBarHeight = 7;
constexpr int32_t kMetricBarBottom = 8;
constexpr int32_t kMetricBarRight = 9;
constexpr int32_t kPictureYes = 77, kPictureNo = 78, kPictureFirstIcon = 73;
constexpr int32_t kTextOk = 0, kTextYes = 1, kTextNo = 2;
constexpr int32_t kIconWidth = 37;
constexpr int32_t kLeftMargin = 5;

cImageStore& Store() { return tw::SharedImageStore(tw::eSharedStore::kMessageBox); }

}  // namespace

cMessageForm::cStrTokenItem::~cStrTokenItem() {
  if (cChildElement* parent = label.GetParent()) parent->RemoveChild(&label);
}

void cMessageForm::SplitLines(const char16_t* text) {
  if (text == nullptr) return;
  const char16_t* start = text;
  for (const char16_t* p = text;; ++p) {
    if (*p == u'\n' || *p == 0) {
      // A line feed that ends the text starts no further line.
      if (*p == 0 && p == start && p != text) break;
      lines_.Append(new cStrTokenItem(start, static_cast<uint32_t>(p - start)));
      if (*p == 0) break;
      start = p + 1;
    }
  }
  // An empty text has no lines at all.
  if (text[0] == 0) lines_.DeleteAll();
}

int32_t cMessageForm::ButtonBarWidth(cChildElement* measurer) {
  cCITheme* theme = GetTheme();
  cWinFont* font = measurer->GetDefaultFont();
  // The captions are this form's texts, not the measurer's: its section is
  // looked up through the measurer's window, as the buttons will show them.
  auto width = [&](int32_t textIndex, int32_t picture) {
    return MeasureButtonWidth(measurer, GetLangStringVia(measurer, textIndex), theme->GetPicture(picture), 0, font);
  };
  if (buttonKind_ == kMessageTwoButtons) return width(kTextYes, kPictureYes) + width(kTextNo, kPictureNo);
  return width(kTextOk, kPictureYes);
}

sSize cMessageForm::ComputeSize(cChildElement* measurer) {
  cWinFont* regular = measurer->GetDefaultFont();
  cWinFont* bold = measurer->GetBoldFont();
  int32_t widest = 0, tallest = 0, count = 0;
  for (cListItem* i = lines_.head; i != nullptr; i = i->next, ++count) {
    auto* item = static_cast<cStrTokenItem*>(i);
    sSize size{0, 0};
    measurer->MeasureText(item->line.text != nullptr ? item->line.text : u"", &size, count == 0 ? bold : regular);
    if (count == 0) size.width += kIconWidth;
    widest = std::max(widest, size.width);
    tallest = std::max(tallest, size.height);
  }
  lineHeight_ = tallest;
  sSize out;
  out.width = widest + 30;
  out.height = count == 0 ? 105 : 115 + static_cast<int32_t>(lineHeight_ * (count - 1) * 1.5);
  // Never narrower than the buttons with the frame and the margins.
  cCITheme* theme = GetTheme();
  const int32_t bar = ButtonBarWidth(measurer) + 2 * theme->GetMetric(kMetricSide) +
                      theme->GetMetric(kMetricBarRight) + kLeftMargin;
  out.width = std::max(out.width, bar);
  return out;
}

void cMessageForm::InitDefaults() {
  cCustomForm::InitDefaults();
  cImageStore& store = Store();
  if (!store.Has(0)) {
    cCITheme* theme = GetTheme();
    store.Set(0, theme->GetPicture(kPictureYes));
    store.Set(1, theme->GetPicture(kPictureNo));
    for (int32_t k = 0; k < 4; ++k) store.Set(10 + k, theme->GetPicture(kPictureFirstIcon + k));
  }
}

void cMessageForm::OnCreate() {
  cCustomForm::OnCreate();
  InitDefaults();
  cCITheme* theme = GetTheme();
  cPanelChild* client = GetClientPanel();
  // The lines and the bar are anchored to their parent's edges (a negative
  // value v stands for its size + v + 1): under Windows the form does not
  // have its final size yet when it is created.
  int32_t index = 0, y = 42;
  for (cListItem* i = lines_.head; i != nullptr; i = i->next, ++index) {
    auto* item = static_cast<cStrTokenItem*>(i);
    const char16_t* line = item->line.text != nullptr ? item->line.text : u"";
    if (index == 0) {
      client->PlaceChild(&item->label, 42, (29 - lineHeight_) / 2, -47 - 1, lineHeight_ + 2);
      item->label.SetFont(GetBoldFont());
      item->label.SetTextColour(theme->GetColour(kColourHeading));
    } else {
      client->PlaceChild(&item->label, 5, y, -10 - 1, lineHeight_ + 2);
      y += static_cast<int32_t>(lineHeight_ * 1.5);
    }
    item->label.SetLabelText(line, 0, false);
  }
  // The bar lives in the form's bottom strip, below the client panel.
  AddChild(&buttonBar_, 0, 0, 1, 1, 0);
  buttonBar_.SetTransparent(true);
  buttonBar_.SetImages(0, &Store());
  if (buttonKind_ == kMessageTwoButtons) {
    buttonBar_.SetButton(1, GetLangText(kTextYes), 0);
    buttonBar_.SetButton(2, GetLangText(kTextNo), 1);
  } else {
    buttonBar_.SetButton(1, GetLangText(kTextOk), 0);
  }
  // It keeps its own size, its bottom-right corner a fixed distance from the
  // form's.
  const int32_t barWidth = buttonBar_.GetButtonsWidth(), barHeight = theme->GetMetric(kMetricBarHeight);
  const int32_t right = theme->GetMetric(kMetricBarRight), bottom = theme->GetMetric(kMetricBarBottom) + 1;
  PlaceChild(&buttonBar_, -(right + barWidth) - 1, -(bottom + barHeight) - 1, barWidth, barHeight);
  // The buttons were laid out while the bar was 1 x 1; a bar without
  // overflow does not lay them out again when it is resized.
  buttonBar_.Relayout();
  client->AddChild(&iconLabel_, 5, 0, 33, 29, 0);
  iconLabel_.SetIcon(Store().Find(10 + std::clamp(iconKind_, 0, 3)), false);
}

bool cMessageForm::OnAction(cChildElement* sender, cChildAction* action) {
  if (sender == &buttonBar_ && action != nullptr && action->kind == 7) {
    EndModal(static_cast<cToolBarChild::cTbButtonAction*>(action)->id == 1 ? 1 : 0);
    return true;
  }
  return cCustomForm::OnAction(sender, action);
}

bool cMessageForm::OnEscapeKey() {
  EndModal(0);
  return true;
}

bool cMessageForm::OnEnterKey() {
  EndModal(1);
  return true;
}

int32_t MessageBoxEx(cChildElement* owner, const char16_t* text, const char16_t* title, int32_t titleIndex,
                     int32_t iconKind, int32_t buttonKind) {
  if (owner == nullptr || text == nullptr) return 0;
  auto* form = new cMessageForm(iconKind, buttonKind);
  form->SplitLines(text);
  const sSize size = form->ComputeSize(owner);
  if (title == nullptr) title = form->GetLangStringVia(owner, titleIndex);
  // The window that hosts the form deletes it when it closes.
  const int32_t result = owner->ShowModal(title != nullptr ? title : u"", size.width, size.height, form, false);
  return result != 0 ? 1 : 0;
}

int32_t ShowInfoMessage(cChildElement* owner, const char16_t* text, const char16_t* title) {
  return MessageBoxEx(owner, text, title, 3, kMessageInfo, kMessageOneButton);
}
int32_t ShowWarningMessage(cChildElement* owner, const char16_t* text, const char16_t* title) {
  return MessageBoxEx(owner, text, title, 4, kMessageWarning, kMessageOneButton);
}
int32_t ShowErrorMessage(cChildElement* owner, const char16_t* text, const char16_t* title) {
  return MessageBoxEx(owner, text, title, 5, kMessageError, kMessageOneButton);
}
bool AskQuestion(cChildElement* owner, const char16_t* text, const char16_t* title) {
  return MessageBoxEx(owner, text, title, 6, kMessageQuestion, kMessageTwoButtons) == 1;
}
bool AskWarningQuestion(cChildElement* owner, const char16_t* text, const char16_t* title) {
  return MessageBoxEx(owner, text, title, 6, kMessageWarning, kMessageTwoButtons) == 1;
}
