// Choosing the interface language: the language selection form that the
// install start and the uninstaller show when a package offers several
// languages (a titled list of the offered languages' native names, a Start
// button and, for packages with a codename, a link to the language-options
// web page), and the language button of the software manager's main window
// (the current language's two-letter code; a click offers every language of
// the application's packs).
//
// Rules:
//  a. Picking a row applies its language at once (ApplyLanguage), so the
//     open form, and every form painted later, speaks it.
//  b. The form ends with the chosen id + 1, or 0 when cancelled (Esc
//     answered yes, the close box); ShowLanguageSelection turns that into
//     the id, 13 for no choice, or -2 when no form could be shown.
//  c. Colours are GDI values 0x00BBGGRR. UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "base/guardchar.h"
#include "base/lists.h"
#include "gui/controls/button.h"
#include "gui/controls/grid.h"
#include "gui/controls/link.h"
#include "gui/panel.h"
#include "tools/wzi_button.h"

class cApplicationConfig;
class cWindowMaker;

// One row per language id, the native name centred in each.
class cLangsGrid : public cSimpleGridChild {
public:
  cLangsGrid() = default;
  ~cLangsGrid() override { delete[] ids_; }

  void PaintCell(cCanvas* canvas, int32_t index, bool selected) override;
  // The grid's width, less the vertical bar while one shows, so that the
  // one column always fits.
  int32_t GetCellWidth() override;
  int32_t GetCellHeight() override { return 30; }
  int32_t GetCellCount() override { return count_; }
  int32_t GetRowGap() override { return 0; }
  int32_t GetMaxColumnGap() override { return 0; }

  // Replaces the ids with those of list, in list order.
  void SetIds(const cSimpleList<int32_t>* list);
  // The id of row index, -1 outside the rows.
  int32_t IdAt(int32_t index) const { return index >= 0 && index < count_ ? ids_[index] : -1; }
  // The row showing id, -1 when none does.
  int32_t RowOf(int32_t id) const;

private:
  int32_t* ids_ = nullptr;  // owned
  int32_t count_ = 0;
};

class cLangSelectionForm : public cChildElement {
public:
  // list is borrowed for the form's life; codename is copied (null or empty:
  // no link).
  cLangSelectionForm(const cSimpleList<int32_t>* list, int32_t preselected, const char16_t* codename);
  ~cLangSelectionForm() override = default;

  bool Key(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnCreate() override;
  void Paint(cCanvas* canvas) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"pkgm::langs"; }

  cPanelChild& Frame() { return frame_; }
  cLangsGrid& Grid() { return grid_; }
  cLinkElement& Link() { return link_; }
  cWZIButton& StartButton() { return start_; }
  // Whether the link was placed: at creation when there is a codename and
  // a text 4 not beginning with '-'; with a codename, at every switch.
  bool HasLink() const { return link_.GetParent() != nullptr; }

protected:
  // Opens the language-options page; the tests look instead.
  virtual bool OpenAddress(const char16_t* address);

private:
  // Ends the form with the selected row's id + 1; nothing without one.
  void Start();
  // Text 4 on the link (added on first use), measured and placed at
  // (15, 335).
  void PlaceLink();
  void Switch(int32_t id);

  cPanelChild frame_;
  cLangsGrid grid_;
  cLinkElement link_;
  cWZIButton start_;
  const cSimpleList<int32_t>* list_;
  int32_t preselected_;
  _guardchar<char16_t> codename_;
};

// The language-options page of the package codename: a plain http address
// on the application's web host, path "app_lang_opts.php", query "app" set
// to the codename as percent-encoded UTF-8 (a codename with blanks or
// quotes would otherwise turn the address into a command line).
std::u16string LanguageOptionsAddress(const char16_t* codename);

// The chosen language id, 13 when nothing was chosen, -2 when the form
// could not be shown. An empty list answers 13 and a list of one its id,
// without a form. With an owner the form runs modally over it (380 x 370);
// without one it opens as a top window of 400 x 370 through maker (the
// current application's window factory in the first form; -2 without one).
int32_t ShowLanguageSelection(const cSimpleList<int32_t>* list, int32_t preselected, const char16_t* codename,
                              cChildElement* owner);
int32_t ShowLanguageSelection(const cSimpleList<int32_t>* list, int32_t preselected, const char16_t* codename,
                              cChildElement* owner, cWindowMaker* maker);

// The language button: the two-letter code of the current language; a
// click shows a popup of the application's languages and switches to the
// one chosen, stores it as "lang/current" and posts a plain kind-7 action.
class cLangSwitchCtl : public cGenButtonChild {
public:
  cLangSwitchCtl() = default;
  ~cLangSwitchCtl() override = default;

  void Paint(cCanvas* canvas) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  void InitDefaults() override;

  // Shows the stored language (English when none is stored or its pack is
  // missing); repaints and renews the hint when it changed.
  void Refresh();
  int32_t GetShownId() const { return shown_; }
  // The store read and written; the current application's unless set
  // (tests set their own before the control is added).
  void SetStore(cApplicationConfig* store) { store_ = store; }

private:
  cApplicationConfig* Store() const;
  void Choose();

  int32_t shown_ = 14;
  cApplicationConfig* store_ = nullptr;
};
