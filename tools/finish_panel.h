// The wizard's last page: the installer's result and, after a successful
// installation, the package's run entries as check boxes; Close starts the
// checked ones. Texts of "pkgm::fin": 0 success, 1 the error heading, c + 1
// the detail of installer result c (1 to 11), 13 the closing paragraph.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/guardchar.h"
#include "gui/panel.h"

struct sInstallContext;

// A wrapped text over the whole element in the colour of its background
// field, on white.
class cErrorDispl : public cChildElement {
public:
  cErrorDispl() = default;
  ~cErrorDispl() override = default;
  void Paint(cCanvas* canvas) override;
  bool WantsDoubleBuffer() override { return true; }
  bool WantsFocus() override { return false; }
};

// A run entry's check box with the command line it starts.
class cRunEntryBox : public cCheckBoxChild {
public:
  cRunEntryBox() = default;
  ~cRunEntryBox() override = default;
  _guardchar<char16_t> commandLine;
};

class cFinishPanel : public cPanelChild {
public:
  cFinishPanel() = default;
  ~cFinishPanel() override;

  void InitDefaults() override;
  const char16_t* LangSectionKey() override { return u"pkgm::fin"; }

  cStaticElement& ResultLabel() { return result_; }
  cErrorDispl& ErrorText() { return error_; }
  const std::vector<std::unique_ptr<cRunEntryBox>>& Boxes() const { return boxes_; }

private:
  friend void FillFinishPanel(cFinishPanel* page, sInstallContext* context);
  void RemoveBoxes();

  cStaticElement result_;
  cErrorDispl error_;
  std::vector<std::unique_ptr<cRunEntryBox>> boxes_;
};

// Fills the page from the context's result code and, on success, the run
// entries (one box each from y 110 in steps of 25 while they fit; the first
// always). Called every time the page is shown.
void FillFinishPanel(cFinishPanel* page, sInstallContext* context);

// Starts the command line of every checked box: an existing path is opened
// with the shell, a command line whose first token is followed by a blank
// runs as it is, anything else is opened; a line with an unterminated
// opening quote starts nothing. Outcomes are ignored.
void RunCheckedEntries(cFinishPanel* page);

