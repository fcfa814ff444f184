// Where the standard dialogs' buttons must be, checked on a live form: the
// native tests and the end-to-end test under Wine run the same checks. Each
// returns an empty text when the layout is right, otherwise one line per
// fault. UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "gui/controls/button.h"
#include "gui/dialogs/message_box.h"
#include "gui/dialogs/progress_form.h"
#include "gui/theme.h"

namespace twtest {

inline std::string RectText(const sRect& r) {
  return "(" + std::to_string(r.x) + ", " + std::to_string(r.y) + ", " + std::to_string(r.width) + " x " +
         std::to_string(r.height) + ")";
}

// The buttons of bar side by side from the bar's left edge, each at the
// width it needs and the bar's height, all inside area (rectangles relative
// to area). The bar's width is the sum of theirs.
inline std::string CheckButtonRow(cChildElement* area, cToolBarChild* bar, int32_t firstId, int32_t lastId) {
  std::string faults;
  sRect barRect{};
  if (!area->GetDescendantRect(bar, &barRect)) return "the button bar is not inside its area\n";
  int32_t x = barRect.x;
  for (int32_t id = firstId; id <= lastId; ++id) {
    cButtonChild* b = bar->GetButton(id);
    sRect r{};
    if (b == nullptr || !area->GetDescendantRect(b, &r)) {
      faults += "button " + std::to_string(id) + " is missing\n";
      continue;
    }
    const int32_t natural =
        MeasureButtonWidth(b, b->GetText(), b->GetPictureHolder(0)->Get(), 0, b->GetButtonFont());
    const std::string at = "button " + std::to_string(id) + " at " + RectText(r) + ": ";
    if (r.width != natural) faults += at + "width is not its natural " + std::to_string(natural) + "\n";
    if (r.height != barRect.height) faults += at + "height is not the bar's " + std::to_string(barRect.height) + "\n";
    if (r.x != x || r.y != barRect.y) faults += at + "not next in the row\n";
    if (r.x < 0 || r.y < 0 || r.x + r.width > area->GetWidth() || r.y + r.height > area->GetHeight())
      faults += at + "outside " + std::to_string(area->GetWidth()) + " x " + std::to_string(area->GetHeight()) + "\n";
    x = r.x + r.width;
  }
  if (x - barRect.x != barRect.width) faults += "the bar " + RectText(barRect) + " is not as wide as its buttons\n";
  return faults;
}

// The message box: the bar on the form, in its bottom strip below the
// client panel, its bottom-right corner theme metrics 9 and 8 + 1 inside
// the form's, at height metric 7, its buttons at their size and clear of
// the text.
inline std::string CheckMessageBoxLayout(cMessageForm* form, bool twoButtons) {
  cCITheme* theme = GetTheme();
  std::string faults = CheckButtonRow(form, &form->ButtonBar(), 1, twoButtons ? 2 : 1);
  sRect bar{};
  form->GetDescendantRect(&form->ButtonBar(), &bar);
  const int32_t w = form->GetWidth(), h = form->GetHeight();
  const std::string at = "bar " + RectText(bar) + " in " + std::to_string(w) + " x " + std::to_string(h) + ": ";
  if (bar.x + bar.width != w - theme->GetMetric(9)) faults += at + "not at the right edge\n";
  if (bar.y + bar.height != h - theme->GetMetric(8) - 1) faults += at + "not at the bottom\n";
  if (bar.height != theme->GetMetric(7)) faults += at + "height is not the theme's\n";
  for (cListItem* i = form->Lines().head; i != nullptr; i = i->next) {
    sRect line{};
    form->GetDescendantRect(&static_cast<cMessageForm::cStrTokenItem*>(i)->label, &line);
    if (bar.y < line.y + line.height) faults += at + "overlaps the text line " + RectText(line) + "\n";
  }
  return faults;
}

// The progress form: the progress bar across the client panel, the stop
// button at its right end (one pixel in) at the bar's height of 18.
inline std::string CheckProgressFormLayout(cStdBasicProgressForm* form) {
  cPanelChild* client = form->GetClientPanel();
  cProgressChild& progress = form->ProgressBar();
  std::string faults = CheckButtonRow(&progress, &form->ButtonBar(), 1, 1);
  sRect p{}, bar{};
  client->GetDescendantRect(&progress, &p);
  progress.GetDescendantRect(&form->ButtonBar(), &bar);
  if (p.x != 5 || p.width != client->GetWidth() - 10 || p.height != 18)
    faults += "progress bar " + RectText(p) + " not across " + std::to_string(client->GetWidth()) + "\n";
  if (bar.x + bar.width != p.width - 1 || bar.y != 0 || bar.height != 18)
    faults += "stop bar " + RectText(bar) + " not at the progress bar's right end\n";
  return faults;
}

}  // namespace twtest
