// The wizard's target folder page: the folder a first installation goes to
// (read-only field; only Browse changes it), the size the package takes,
// and the check that runs when Next leaves the page. Texts of "pkgm::fsel".
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "gui/controls/edit.h"
#include "tools/wzi_button.h"

struct sInstallContext;

class cFileSelectPanel : public cChildElement {
public:
  cFileSelectPanel() = default;
  ~cFileSelectPanel() override = default;

  void Paint(cCanvas* canvas) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"pkgm::fsel"; }
  void InitDefaults() override;

  cEditChild& Field() { return field_; }
  cWZIButton& BrowseButton() { return browse_; }
  sInstallContext* Context() const { return context_; }

  // Browse's second half: the field takes folder when the free-space
  // information says it has room for the context's required space;
  // otherwise an error message (text 12: no information, 13: too little
  // room) and the field stays. True when the field changed.
  bool TakeChosenFolder(const char16_t* folder);

  // The size line's text for required bytes: text 4 below 1 MiB, else
  // text 5 with the megabytes rounded up.
  void SizeText(uint64_t required, _guardchar<char16_t>& out);

protected:
  // Asks the user for a folder with the toolkit's folder chooser, starting
  // at start; false when nothing was chosen.
  virtual bool AskForFolder(const char16_t* title, const char16_t* start, _guardchar<char16_t>& chosen);

private:
  friend void GetDefaultTargetFolder(cFileSelectPanel* panel, sInstallContext* context);
  sInstallContext* context_ = nullptr;
  cEditChild field_;
  cWZIButton browse_;
};

// Stores the context in the panel and fills the field: the earlier folder
// ("pgm") when the package has one, else "<default folder>/<package string
// folder>". Without a context the field is emptied and disabled.
void GetDefaultTargetFolder(cFileSelectPanel* panel, sInstallContext* context);

// Next on the page: sets "pgm" to the field's text, rebuilds the install
// entries and checks each target; the first failing one is named in an
// error message and the answer is false. An empty field takes the focus.
bool ValidateTargetFolder(cFileSelectPanel* panel);
