// The software manager's main window: run without a setup file attached and
// without arguments, the program lists every package recorded in the
// configuration store with its icon, installation date and version, checks
// each for a newer version, and offers Update, Uninstall, Refresh, the
// removal of the manager itself once nothing is installed, and the language
// switch. Texts come from the section "pkgm::tarnw".
//
// Rules:
//  a. The list is built by a worker job (cConfigReaderJob): it reads the
//     installation records, loads each package's icons through a file
//     property bag and runs the update check for each package in turn.
//     While it runs the list and details panels are hidden and the list is
//     in a batch update; the UI thread touches the entries again only after
//     the job's kind-7 action arrived (state "listed" or "empty").
//  b. The window owns its entries; labels, the icon display and the icon
//     store borrow their strings and pictures, so entries are replaced only
//     by the next refresh, after the selection was forgotten.
//  c. A failed update check leaves the package without an update mark,
//     whatever the check wrote before it failed (a version line followed by
//     a refused rest would otherwise offer an update without an address).
//  d. End codes: 10 after a language switch (RunManagerWindow builds the
//     window again in the new language), 0 after an update was started or
//     the manager removed, the dialog's own 0 when the user closes it.
//  e. The actions that leave the window (uninstall, update offer, removal,
//     opening links) and the update check are virtual, so that tests can
//     watch them; the program uses the defaults.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/guardchar.h"
#include "base/job.h"
#include "gui/controls/link.h"
#include "gui/controls/list_view.h"
#include "gui/controls/picture_element.h"
#include "gui/panel.h"
#include "gui/picture.h"
#include "gui/static_element.h"
#include "tools/lang_selection.h"
#include "tools/wzi_button.h"

class cApplicationConfig;
struct sUpdateInfo;

namespace tw {
// No update answer has given a version.
inline constexpr uint64_t kNoVersion = ~uint64_t{0};
// End code of the window after a language switch.
inline constexpr int32_t kManagerRebuild = 10;
// Texts of "pkgm::tarnw".
enum : int32_t {
  kManagerTextTitle = 0,
  kManagerTextTab = 1,
  kManagerTextColumnName = 2,
  kManagerTextColumnInstalled = 3,
  kManagerTextColumnVersion = 4,
  kManagerTextUpdate = 5,
  kManagerTextUninstall = 6,
  kManagerTextVersion = 7,    // %s: version text
  kManagerTextInstalled = 8,  // %s: date text
  kManagerTextPublisher = 9,
  kManagerTextSupport = 10,
  kManagerTextUpdates = 11,
  kManagerTextRefresh = 12,
  kManagerTextNothing = 13,
  kManagerTextBuilding = 15,
  kManagerTextUpdateAvailable = 16,
  kManagerTextRemove = 17,
};
}  // namespace tw

// One program of a package that the details pane links to.
struct sProgramLink {
  _guardchar<char16_t> caption;
  _guardchar<char16_t> command;
};

// One installed package.
struct sSoftwareEntry {
  _guardchar<char16_t> codename;  // the installation record's key name
  cPicture icon16;
  cPicture icon48;
  _guardchar<char16_t> name;
  _guardchar<char16_t> versionText;
  uint64_t installedVersion = 0;
  uint64_t announcedVersion = tw::kNoVersion;
  _guardchar<char16_t> downloadUrl;
  _guardchar<char16_t> releaseNotes;
  _guardchar<char16_t> webPage;
  _guardchar<char16_t> dateText;
  _guardchar<char16_t> publisherUrl;
  _guardchar<char16_t> supportUrl;
  _guardchar<char16_t> updatesUrl;
  std::vector<std::unique_ptr<sProgramLink>> links;

  // An answer announced a version above the installed one.
  bool HasUpdate() const { return announcedVersion != tw::kNoVersion && announcedVersion > installedVersion; }
};

// Reads the record of the package keyName (UTF-8) from store into entry:
// installed version, version text, name, the three addresses, the date and
// the program links; iconPath takes "<key>/icon" (may be null). False, with
// entry unchanged, for an empty name or a record without "ver".
bool ReadSoftwareEntry(cApplicationConfig* store, const char* keyName, sSoftwareEntry* entry,
                       _guardchar<char16_t>* iconPath);

// The date text of an installation time: the day of FormatUnixTime's
// "dd.mm.yyyy hh:mm:ss" (its "-" for 0 and all ones).
void FormatInstallDate(uint32_t unixSeconds, _guardchar<char16_t>& out);

// Loads the icons of the file at path into icon16 and icon48 through a file
// property bag (16 x 16 first; when that fails neither is loaded). False
// when the 16-pixel load failed; the pictures are then unchanged.
bool LoadPackageIcons(const char16_t* path, cPicture* icon16, cPicture* icon48);

// The built-in package icon of size x size pixels (16 or 48; any size from
// 8 on is drawn).
bool MakeDefaultPackageIcon(int32_t size, cPicture* out);

// A text of the section with one "%s" filled in; the bare format without an
// argument, empty without a format.
void FormatManagerText(const char16_t* format, const char16_t* argument, _guardchar<char16_t>& out);

class cTarnwickForm : public cChildElement {
public:
  // The job that builds the package list; its owner is the window.
  class cConfigReaderJob : public cJob {
  public:
    explicit cConfigReaderJob(cTarnwickForm* owner) : owner_(owner) {}
    ~cConfigReaderJob() override { Stop(kStopTimeoutMs); }
    int32_t Run() override;
    // Posts a plain kind-7 action to the window.
    void OnFinished(int32_t result) override;

  private:
    cTarnwickForm* owner_;
  };

  // Window states.
  enum eState : int32_t { kBuilding, kEmpty, kListed };

  cTarnwickForm();
  ~cTarnwickForm() override;

  bool Key(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnCreate() override;
  void Paint(cCanvas* canvas) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"pkgm::tarnw"; }

  // Hides the panels, disables Refresh, the tab and the language switch,
  // shows text 15 and starts the job.
  void StartRefresh();
  // Fills the details panel for entry; nothing for null or the entry
  // already shown.
  void ShowDetails(sSoftwareEntry* entry);
  // The update offer for the selected entry when it has an update.
  void OfferUpdate();

  // The store read (the current application's unless set before the
  // window is created).
  void SetStore(cApplicationConfig* store) { store_ = store; }
  cApplicationConfig* Store() const;

  // ---- For tests ----
  eState GetState() const { return state_; }
  int32_t GetEntryCount() const { return count_; }
  sSoftwareEntry* GetEntry(int32_t index) const;
  sSoftwareEntry* GetSelected() const { return selected_; }
  cListViewChild& List() { return list_; }
  cPanelChild& ListPanel() { return listPanel_; }
  cPanelChild& DetailsPanel() { return details_; }
  cStaticElement& StatusLabel() { return status_; }
  cStaticElement& NameLabel() { return nameLabel_; }
  cStaticElement& VersionLabel() { return versionLabel_; }
  cStaticElement& DateLabel() { return dateLabel_; }
  cPictureElement& IconDisplay() { return icon_; }
  cWZIButton& UpdateButton() { return update_; }
  cWZIButton& UninstallButton() { return uninstall_; }
  cWZIButton& RefreshButton() { return refresh_; }
  cWZISelButton& TabButton() { return tab_; }
  cLangSwitchCtl& LangSwitch() { return langSwitch_; }
  cLinkElement& PublisherLink() { return publisher_; }
  cLinkElement& SupportLink() { return support_; }
  cLinkElement& UpdatesLink() { return updates_; }
  cLinkElement& RemoveLink() { return remove_; }
  const std::vector<std::unique_ptr<cLinkElement>>& ProgramLinks() const { return programLinks_; }
  cImageStore& IconStore() { return icons_; }
  bool IsJobRunning() { return job_.IsRunning(); }

protected:
  // The update check of one package (on the job's thread): fills the
  // announced version and the three answer texts; true when the whole
  // answer parsed.
  virtual bool CheckPackageUpdate(const char* codename, sSoftwareEntry* entry);
  // The uninstaller's window road for codename, owned by this window.
  virtual void UninstallPackage(const char16_t* codename);
  // The update offer; true when the new setup file was opened.
  virtual bool ShowOffer(const sUpdateInfo& info);
  // Removes the installed manager; true when it was removed. Nothing (false)
  // when no manager file is installed.
  virtual bool RemoveManager();
  // Opens an address or runs a command line.
  virtual bool OpenTarget(const char16_t* text);

private:
  friend class cConfigReaderJob;

  // The job's side (worker thread).
  void ClearEntries();
  bool AddSoftwareEntry(const char* keyName);
  static bool ReadInstalledEntryCallback(const char* name, void* context);
  // The job's end (UI thread).
  void ListReady();
  void PlaceWebLinks(sSoftwareEntry* entry);
  void SetupList();
  void Uninstall();

  cConfigReaderJob job_;
  sSoftwareEntry* selected_ = nullptr;
  std::vector<std::unique_ptr<sSoftwareEntry>> entries_;
  cImageStore icons_;
  int32_t count_ = 0;
  cWZISelButton tab_;
  cPanelChild listPanel_;
  cListViewChild list_;
  cStaticElement status_;
  cPanelChild details_;
  cWZIButton update_;
  cWZIButton uninstall_;
  cPictureElement icon_;
  cStaticElement nameLabel_;
  cStaticElement versionLabel_;
  cStaticElement dateLabel_;
  std::vector<std::unique_ptr<cLinkElement>> programLinks_;
  cLinkElement publisher_;
  cLinkElement support_;
  cLinkElement updates_;
  cLinkElement remove_;
  cWZIButton refresh_;
  cLangSwitchCtl langSwitch_;
  cApplicationConfig* store_ = nullptr;
  eState state_ = kBuilding;
  // Texts formatted for the labels, which keep their own copies.
  _guardchar<char16_t> versionText_, dateText_;
  // Text 16, copied for the job.
  _guardchar<char16_t> updateMark_;
};

// RunManagerWindow() is declared in tools/modes.h: the window run as a
// top-level dialog of 770 x 480 through the application's window maker,
// again after every language switch; the first other end code (1 without a
// window maker).
class cWindowMaker;
// The same through a given window maker, with forms made by make (null:
// plain cTarnwickForm), for tests.
int32_t RunManagerWindowWith(cWindowMaker* maker, cTarnwickForm* (*make)());
