// The language selection form and the language button. See lang_selection.h.
#include "tools/lang_selection.h"

#include <algorithm>

#include "base/app_config.h"
#include "base/process.h"
#include "base/strings.h"
#include "gui/app.h"
#include "gui/canvas.h"
#include "gui/controls/popup.h"
#include "gui/dialogs/message_box.h"
#include "gui/font.h"
#include "gui/language.h"
#include "gui/window_maker.h"
#include "tools/app_language.h"
#include "tools/install_record.h"

namespace {

constexpr int32_t kEnter = 13, kEscape = 27;
constexpr int32_t kNoChoice = 13;
constexpr int32_t kNothingShown = 14;

constexpr uint32_t kFormColour = 0xE7E7E7;
constexpr uint32_t kTextColour = 0x655654;
constexpr uint32_t kFrameBorder = 0xDBCAC7;
constexpr uint32_t kLinkColour = 0xA03030;
constexpr uint32_t kSelectedFill = 0xF4E8DD;
constexpr uint32_t kSelectedBorder = 0xDFCAB7;
constexpr int32_t kLinkX = 15, kLinkY = 335;

// The web host of the language-options page; only its path and query key
// are fixed.
constexpr char16_t kOptionsPrefix[] = u"http://www.tarnwick.example/app_lang_opts.php?app=";

// The languages the button offers, in the order they are listed.
constexpr int32_t kSwitchOrder[] = {0, 6, 12, 2, 7, 11, 5, 3, 4, 8, 9, 10, 1};

bool IsLanguageId(int32_t id) { return id >= 0 && id < kNoChoice; }

// A text drawn centred on the element's width with its top at y; nothing
// for a missing or empty text.
void DrawCentred(cCanvas* canvas, int32_t width, int32_t y, const char16_t* text) {
  if (text == nullptr || *text == 0) return;
  sSize size;
  if (!canvas->MeasureText(text, -1, &size)) return;
  canvas->DrawText((width - size.width) / 2, y, false, text, -1);
}

}  // namespace

// ---- cLangsGrid ------------------------------------------------------------------

void cLangsGrid::SetIds(const cSimpleList<int32_t>* list) {
  int32_t n = 0;
  if (list != nullptr)
    for (auto* node = list->head; node != nullptr; node = node->next) ++n;
  int32_t* ids = n > 0 ? new int32_t[n] : nullptr;
  int32_t i = 0;
  if (list != nullptr)
    for (auto* node = list->head; node != nullptr; node = node->next) ids[i++] = node->value;
  delete[] ids_;
  ids_ = ids;
  count_ = n;
  Relayout(true);
}

int32_t cLangsGrid::RowOf(int32_t id) const {
  for (int32_t i = 0; i < count_; ++i)
    if (ids_[i] == id) return i;
  return -1;
}

int32_t cLangsGrid::GetCellWidth() {
  int32_t w = 0;
  if (!ClientSize(&w, nullptr)) w = GetWidth();
  return std::max(w, 1);
}

void cLangsGrid::PaintCell(cCanvas* canvas, int32_t index, bool selected) {
  // The canvas is the cell's own: its origin is the cell's corner.
  if (canvas == nullptr) return;
  const sRect r{0, 0, GetCellWidth(), GetCellHeight()};
  if (selected)
    canvas->DrawRect(&r, kSelectedFill, kSelectedBorder);
  else
    canvas->DrawRect(&r, 0xFFFFFF, 0xFFFFFF);
  const char16_t* name = GetBuiltinLanguageName(IdAt(index));
  if (name == nullptr || *name == 0) return;
  canvas->SelectFont(GetFont(8, 20, GetUIFaceName(), false, false, false));
  sSize size;
  if (!canvas->MeasureText(name, -1, &size) || size.width <= 0) return;
  canvas->SetTextColours(kTextColour, selected ? kSelectedFill : 0xFFFFFF);
  canvas->DrawText(r.x + (r.width - size.width) / 2, r.y + (r.height - size.height) / 2, false, name, -1);
}

// ---- cLangSelectionForm ------------------------------------------------------------

cLangSelectionForm::cLangSelectionForm(const cSimpleList<int32_t>* list, int32_t preselected,
                                       const char16_t* codename)
    : list_(list), preselected_(preselected) {
  if (codename != nullptr && *codename != 0) codename_.Assign(codename);
}

void cLangSelectionForm::OnCreate() {
  // Negative sizes count from the far edge: -31 is the parent's width - 30.
  PlaceChild(&frame_, 15, 85, -31, 230);
  frame_.SetBackColour(0xFFFFFF);
  frame_.SetBorderColour(kFrameBorder);
  frame_.PlaceChild(&grid_, 8, 10, -17, -21);
  grid_.SetIds(list_);  // placed first: the rows are laid out on its width
  PlaceChild(&start_, -116, 330, 100, 26);
  start_.SetText(GetLangString(2), -1, false);
  grid_.SelectRow(grid_.RowOf(preselected_), false);
  const char16_t* more = GetLangString(4);
  if (codename_.text != nullptr && more != nullptr && more[0] != u'-') PlaceLink();
  SetFocusTo(&grid_);
}

void cLangSelectionForm::PlaceLink() {
  if (link_.GetParent() == nullptr) {
    PlaceChild(&link_, kLinkX, kLinkY, 0, 0);
    link_.SetColours(kLinkColour, kFormColour, kFormColour);  // after the link's own defaults
  }
  // The font of the language now current: a CJK face for CJK texts.
  link_.SetFont(GetUnderlinedFont());
  link_.SetLabelText(GetLangString(4), 0, false);
  sSize size{0, 0};
  if (!link_.MeasureLabel(size)) size = sSize{0, 0};
  PlaceChild(&link_, kLinkX, kLinkY, size.width, size.height);
}

void cLangSelectionForm::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const sRect all{0, 0, GetWidth(), GetHeight()};
  canvas->DrawRect(&all, kFormColour, kFormColour);
  canvas->SetTextColours(kTextColour, kFormColour);
  canvas->SelectFont(GetFont(10, 24, GetUIFaceName(), false, false, false));
  DrawCentred(canvas, GetWidth(), 25, GetLangString(0));
  canvas->SelectFont(GetFont(5, 13, GetUIFaceName(), false, false, false));
  DrawCentred(canvas, GetWidth(), 55, GetLangString(1));
}

void cLangSelectionForm::Start() {
  const int32_t id = grid_.IdAt(grid_.GetSelected());
  if (IsLanguageId(id)) EndModal(id + 1);
}

void cLangSelectionForm::Switch(int32_t id) {
  if (!IsLanguageId(id) || id == GetCurrentLanguage()) return;
  ApplyLanguage(id);
  start_.SetText(GetLangString(2), -1, false);
  if (codename_.text != nullptr) PlaceLink();
  Invalidate(nullptr);
}

bool cLangSelectionForm::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr) return cChildElement::OnAction(sender, action);
  if (action->kind == 0 && sender == &link_) {
    OpenAddress(LanguageOptionsAddress(codename_.text).c_str());  // a failure is ignored
    return true;
  }
  if (action->kind == 0 && sender == &start_) {
    Start();
    return true;
  }
  if (sender == &grid_ && (action->kind == 7 || action->kind == 8)) {
    auto* cell = static_cast<cSimpleGridChild::cCellAction*>(action);
    if (action->kind == 7)
      Switch(grid_.IdAt(cell->index));
    else
      Start();
    return true;
  }
  return cChildElement::OnAction(sender, action);
}

bool cLangSelectionForm::Key(int32_t virtualKey, bool shift, bool control, bool alt) {
  if (!shift && !control && !alt) {
    if (virtualKey == kEnter) {
      Start();
      return true;
    }
    if (virtualKey == kEscape) {
      if (AskQuestion(this, GetLangString(3), nullptr)) EndModal(0);
      return true;
    }
  }
  return cChildElement::Key(virtualKey, shift, control, alt);
}

bool cLangSelectionForm::OpenAddress(const char16_t* address) { return OpenOrRunFile(address); }

std::u16string LanguageOptionsAddress(const char16_t* codename) {
  static const char kHex[] = "0123456789ABCDEF";
  std::u16string out = kOptionsPrefix;
  if (codename == nullptr) return out;
  _guardchar<char> utf8;
  WideToUtf8(codename, utf8, WideLength(codename));
  for (const char* p = utf8.text; p != nullptr && *p != 0; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.' || c == '~';
    if (plain) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(u'%');
      out.push_back(static_cast<char16_t>(kHex[c >> 4]));
      out.push_back(static_cast<char16_t>(kHex[c & 15]));
    }
  }
  return out;
}

// ---- ShowLanguageSelection -----------------------------------------------------------

int32_t ShowLanguageSelection(const cSimpleList<int32_t>* list, int32_t preselected, const char16_t* codename,
                              cChildElement* owner) {
  cCIApplication* app = cCIApplication::GetCurrent();
  return ShowLanguageSelection(list, preselected, codename, owner,
                               app != nullptr ? app->GetWindowMaker() : nullptr);
}

int32_t ShowLanguageSelection(const cSimpleList<int32_t>* list, int32_t preselected, const char16_t* codename,
                              cChildElement* owner, cWindowMaker* maker) {
  if (list == nullptr || list->head == nullptr) return kNoChoice;
  if (list->head->next == nullptr) return list->head->value;
  auto* form = new cLangSelectionForm(list, preselected, codename);
  int32_t end = -1;
  if (owner != nullptr) {
    end = owner->ShowModal(u"", 380, 370, form, false);
  } else if (maker != nullptr) {
    end = maker->RunModalForm(u"", 400, 370, form, nullptr, false);
  } else {
    delete form;
  }
  if (end > 0) return end - 1;
  return end == 0 ? kNoChoice : -2;
}

// ---- cLangSwitchCtl ----------------------------------------------------------------------

cApplicationConfig* cLangSwitchCtl::Store() const {
  if (store_ != nullptr) return store_;
  cCIApplication* app = cCIApplication::GetCurrent();
  return app != nullptr ? app->GetConfig() : nullptr;
}

void cLangSwitchCtl::InitDefaults() {
  cGenButtonChild::InitDefaults();
  shown_ = kNothingShown;
  Refresh();
}

void cLangSwitchCtl::Refresh() {
  cSOPKGLang* packs = RegisterPackageLanguages();
  int32_t id = packs->GetDefault();
  uint64_t stored = 0;
  cApplicationConfig* store = Store();
  if (store != nullptr && store->GetInt64(tw::kKeyLangCurrent, stored) && stored <= 0x7FFFFFFF &&
      packs->Has(static_cast<int32_t>(stored)))
    id = static_cast<int32_t>(stored);
  if (id == shown_) return;
  shown_ = id;
  Invalidate(nullptr);
  SetHint(GetBuiltinLanguageName(id), 0);
}

void cLangSwitchCtl::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const sRect all{0, 0, GetWidth(), GetHeight()};
  canvas->DrawRect(&all, 0xFFFFFF, 0xFFFFFF);
  const char16_t* code = GetLanguageCode2(shown_);
  if (code == nullptr || *code == 0) return;
  canvas->SelectFont(GetBoldFont());
  sSize size;
  if (!canvas->MeasureText(code, -1, &size) || size.width <= 0) return;
  canvas->SetTextColours(0x404040, 0xFFFFFF);
  canvas->DrawText((GetWidth() - size.width) / 2, (GetHeight() - size.height) / 2, false, code, -1);
}

bool cLangSwitchCtl::OnAction(cChildElement* sender, cChildAction* action) {
  if (action != nullptr && sender == this && action->kind == 0) {
    Choose();
    return true;
  }
  return cGenButtonChild::OnAction(sender, action);
}

void cLangSwitchCtl::Choose() {
  cSOPKGLang* packs = RegisterPackageLanguages();
  tPopupItems items;
  sPopupStyle style;
  const int32_t count = static_cast<int32_t>(sizeof kSwitchOrder / sizeof kSwitchOrder[0]);
  for (int32_t position = 0; position < count; ++position) {
    const int32_t id = kSwitchOrder[position];
    if (!packs->Has(id)) continue;
    items.FindOrInsert(position)->text.Assign(GetBuiltinLanguageName(id));
    if (id == shown_) style.selectedId = position;
  }
  style.background = 0xFFFFFF;
  style.text = 0x372F2E;
  style.frame = 0xDBCAC7;
  style.font = GetFont(6, 17, GetUIFaceName(), false, false, false);
  sPoint at{0, 0};
  GetScreenPos(&at);
  const int32_t chosen = ShowPopupMenu(this, items, at.x, at.y + GetHeight() + 2, &style);
  if (chosen < 0 || chosen >= count) return;
  const int32_t id = kSwitchOrder[chosen];
  if (id == shown_ || !SetCurrentLanguage(id)) return;
  SelectUIFontForLanguage();
  shown_ = id;
  SetHint(GetBuiltinLanguageName(id), 0);
  if (cApplicationConfig* store = Store()) {
    store->SetU16(tw::kKeyLangCurrent, static_cast<uint16_t>(id));
    store->Save();  // a failure is ignored
  }
  PostKind(7);
  Invalidate(nullptr);
}
