// See gui/dialogs/chooser_common.h.
#include "gui/dialogs/chooser_common.h"

#include "base/paths.h"
#include "gui/dialogs/message_box.h"
#include "gui/theme.h"

namespace {

constexpr int32_t kMetricBarHeight = 7, kMetricBarBottom = 8, kMetricBarRight = 9;

}  // namespace

void PlaceBottomBar(cChildElement* form, cToolBarChild* bar) {
  cCITheme* theme = GetTheme();
  const int32_t width = bar->GetButtonsWidth(), height = theme->GetMetric(kMetricBarHeight);
  form->PlaceChild(bar, -theme->GetMetric(kMetricBarRight) - width,
                   -theme->GetMetric(kMetricBarBottom) - 1 - height, width, height);
  // Its buttons were laid out at the bar's earlier size; a bar without
  // overflow does not lay them out again when it is resized.
  bar->Relayout();
}

bool AnswerBarAction(cCustomForm* form, cChildElement::cChildAction* action) {
  if (action == nullptr || action->kind != 7) return false;
  if (static_cast<cToolBarChild::cTbButtonAction*>(action)->id == 1)
    form->OnEnterKey();
  else
    form->OnEscapeKey();
  return true;
}

int32_t ShowContextMenu(cChildElement* owner, cChildElement* element, const tPopupItems& items, int32_t x, int32_t y) {
  sPoint at{x, y};
  element->ClientToScreen(&at);
  return ShowPopupList(owner, items, at.x, at.y, 100, nullptr, -1, kPopupNoColour, kPopupNoColour, kPopupNoColour,
                       owner->GetDefaultFont(), sPopupColours());
}

std::u16string MakeFolderIn(cChildElement* owner, const char16_t* folder, const char16_t* name,
                            const sNewFolderTexts& texts, bool* existed) {
  *existed = false;
  std::u16string path = folder;
  if (path.back() != u'/') path.push_back(u'/');
  path += name;
  switch (GetPathKind(path.c_str())) {
    case tw::kPathFile:
      ShowErrorMessage(owner, owner->GetLangText(texts.fileExists), nullptr);
      return std::u16string();
    case tw::kPathDirectory:
      *existed = true;
      return path;
    case tw::kPathMissing:
      if (CreateDirectoryLong(path.c_str())) return path;
      ShowErrorMessage(owner, owner->GetLangText(texts.cannotCreate), nullptr);
      return std::u16string();
    default:
      ShowErrorMessage(owner, owner->GetLangText(texts.specialExists), nullptr);
      return std::u16string();
  }
}
