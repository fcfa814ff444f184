// The installation wizard: one element filling a fixed-size top window over
// the wizard background. The left column lists the steps, the right area
// shows one page at a time, the button at the bottom right moves on. Texts
// of "pkgm::instw".
//
// Pages, in this order, each only when its condition holds:
//   0 welcome document     the package has one for the current language
//   1 readme document      likewise; its agreement box only with the
//                          package's readme flag
//   2 licence document     likewise; its agreement box always
//   3 products to remove   the context lists products to remove first
//   4 target folder        no earlier installation's folder ("pgm")
//   5 installation         always
//   6 finish               always
//
// State: the current page moves forward through Next, the job panels' end
// actions and the skip of an installation page that cannot start, and
// backward only through a click on a finished step (never to the
// installation page, never from the finish page). While either job panel's
// job runs, Next, step clicks and closing are refused. The installation's
// result stays in the context.
#pragma once

#include <cstdint>

#include "gui/controls/list_view.h"
#include "gui/element.h"
#include "gui/panel.h"
#include "sidoc/doc_viewer.h"
#include "tools/file_select_panel.h"
#include "tools/finish_panel.h"
#include "tools/job_panel.h"
#include "tools/wzi_button.h"

class cWinFont;
struct sInstallContext;

namespace tw {
enum : int32_t {
  kPageWelcome = 0,
  kPageReadme = 1,
  kPageEula = 2,
  kPageProducts = 3,
  kPageFolder = 4,
  kPageInstall = 5,
  kPageFinish = 6,
};
}  // namespace tw

class cInstWizard : public cChildElement {
public:
  // context is borrowed for the wizard's life.
  explicit cInstWizard(sInstallContext* context);
  ~cInstWizard() override;

  bool Key(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnCreate() override;
  void Paint(cCanvas* canvas) override;
  bool PaintOwnBg(cCanvas* canvas, const sRect* rect) override;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  void OnMouseMove(int32_t x, int32_t y) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  bool CanClose() override;
  bool WantsDoubleBuffer() override { return true; }
  const char16_t* LangSectionKey() override { return u"pkgm::instw"; }

  // Shows page n of the table (see the file comment for what each kind
  // shows); nothing while a job runs, for the current page or outside the
  // table.
  void ShowWizardPage(int32_t n);
  // The Next button and Enter.
  void WizardNext();
  // The step under (x, y) that a click may take, -1 for none.
  int32_t HitStep(int32_t x, int32_t y) const;
  // Either job panel's job runs.
  bool IsJobBusy();

  int32_t PageCount() const { return count_; }
  int32_t PageKind(int32_t index) const { return index >= 0 && index < count_ ? pages_[index].kind : -1; }
  int32_t CurrentPage() const { return current_; }
  int32_t CurrentKind() const { return PageKind(current_); }
  int32_t IndexOfKind(int32_t kind) const;

  cWZIButton& NextButton() { return next_; }
  cCheckBoxChild& ReadmeBox() { return readmeBox_; }
  cCheckBoxChild& EulaBox() { return eulaBox_; }
  cListViewChild& ProductList() { return products_; }
  cSoftUninstallerPanel& UninstallPanel() { return uninstall_; }
  cFileSelectPanel& FolderPage() { return folder_; }
  cInstallerJobPanel& InstallPanel() { return install_; }
  cFinishPanel& FinishPage() { return finish_; }
  cSiDocViewer& Viewer(int32_t which) { return viewers_[which]; }

private:
  struct sPage {
    int32_t kind = 0;
    const char16_t* title = nullptr;  // texts of the section
    const char16_t* label = nullptr;
    int32_t labelRight = 0;
  };

  void AddPage(int32_t kind, int32_t titleText, int32_t labelText);
  void ShowPage(int32_t n, bool again);
  void HideAll();
  void NextOnProducts();
  void OnRemovalEnded();
  const char16_t* Text(int32_t index);

  // Welcome, readme and licence documents.
  cSiDocViewer viewers_[3];
  cCheckBoxChild readmeBox_;
  cCheckBoxChild eulaBox_;
  cListViewChild products_;
  cSoftUninstallerPanel uninstall_;
  cFileSelectPanel folder_;
  cInstallerJobPanel install_;
  cFinishPanel finish_;
  cWZIButton next_;
  sInstallContext* context_;

  int32_t stepsBottom_ = 0;
  int32_t pressedStep_ = -1;
  sPage pages_[7];
  int32_t count_ = 0;
  int32_t current_ = -1;
  cWinFont* titleFont_ = nullptr;
  cWinFont* currentStepFont_ = nullptr;
  cWinFont* stepFont_ = nullptr;
};

// Decodes the background once per process, titles the window with the
// package's name and runs the wizard as a top window through the current
// application's window factory. The window's end code; 1 when the
// background does not decode or no window can run.
int32_t RunWizard(sInstallContext* context);

// The decoded background (null when it does not decode) and the step marks'
// store (ids 1 to 7, 20 and 21), both made once per process.
const cPicture* WizardBackground();
cImageStore& WizardStepMarks();
