// The software manager's main window. See manager_window.h.
#include "tools/manager_window.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/app_config.h"
#include "base/fileio.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/process.h"
#include "base/strings.h"
#include "base/time.h"
#include "gui/app.h"
#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/language.h"
#include "gui/window_maker.h"
#include "tools/app_language.h"
#include "tools/file_props.h"
#include "tools/install_record.h"
#include "tools/manager_location.h"
#include "tools/modes.h"
#include "tools/update_check.h"
#include "tools/update_mode.h"

namespace {

constexpr int32_t kWindowWidth = 770, kWindowHeight = 480;

// Colours, GDI values 0x00BBGGRR.
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kFrame = 0xE4E0DC;
constexpr uint32_t kDark = 0x734D32;
constexpr uint32_t kGrey = 0xB9AA9C;
constexpr uint32_t kLink = 0xC98C2F;
constexpr uint32_t kUpdateMark = 0xD4A76C;
constexpr uint32_t kSelection = 0xF7EEE1;

// The package name is centred in its box (the label's alignment 1).
constexpr int32_t kCentred = 1;

// Columns of the package list.
enum : int32_t { kColumnName = 1, kColumnDate = 2, kColumnVersion = 3, kColumnUpdate = 4 };

// Where the details pane's links go.
constexpr int32_t kProgramLinkX = 85, kProgramLinkTop = 115, kLinkStep = 20;
constexpr int32_t kWebLinkX = 390, kWebLinkTop = 70;

// A blend of two colours by weight w of 255 for a, channel by channel.
uint32_t Mix(uint32_t a, uint32_t b, uint32_t w) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t ca = (a >> shift) & 255, cb = (b >> shift) & 255;
    out |= ((ca * w + cb * (255 - w)) / 255) << shift;
  }
  return out;
}

}  // namespace

// ---- Reading the records ------------------------------------------------------------

void FormatInstallDate(uint32_t unixSeconds, _guardchar<char16_t>& out) {
  char16_t text[tw::kFormatUnixTimeCapacity] = {};
  FormatUnixTime(unixSeconds, text);
  // "dd.mm.yyyy hh:mm:ss": the day is the first ten characters.
  text[10] = 0;
  out.Assign(text);
}

bool ReadSoftwareEntry(cApplicationConfig* store, const char* keyName, sSoftwareEntry* entry,
                       _guardchar<char16_t>* iconPath) {
  if (store == nullptr || entry == nullptr || keyName == nullptr || *keyName == 0) return false;
  const std::string prefix = std::string("install/") + keyName;
  uint64_t version = 0;
  if (!store->GetInt64(cKeyName(prefix.c_str(), "ver"), version)) return false;
  entry->installedVersion = version;
  entry->announcedVersion = tw::kNoVersion;
  FormatVersionText(entry->versionText, version);
  store->GetString(cKeyName(prefix.c_str(), "name"), entry->name);
  store->GetString(cKeyName(prefix.c_str(), "publisher"), entry->publisherUrl);
  store->GetString(cKeyName(prefix.c_str(), "support"), entry->supportUrl);
  store->GetString(cKeyName(prefix.c_str(), "updates"), entry->updatesUrl);
  uint64_t utime = 0;
  if (store->GetInt64(cKeyName(prefix.c_str(), "utime"), utime))
    FormatInstallDate(static_cast<uint32_t>(utime), entry->dateText);
  // The run entries have no count: the first gap ends them.
  for (int64_t i = 0;; ++i) {
    auto link = std::make_unique<sProgramLink>();
    if (!store->GetString(cKeyName(prefix.c_str(), "cplns", i), link->caption) || link->caption.IsEmpty()) break;
    if (!store->GetString(cKeyName(prefix.c_str(), "cplcs", i), link->command) || link->command.IsEmpty()) break;
    entry->links.push_back(std::move(link));
  }
  Utf8ToWide(-1, keyName, entry->codename);
  if (iconPath != nullptr) store->GetString(cKeyName(prefix.c_str(), "icon"), *iconPath);
  return true;
}

namespace {

// One Load of the bag at size x size into picture.
bool LoadIconAt(cFileObjectProps* bag, cFileIOTarget* file, int32_t size, cPicture* picture) {
  bag->wantedWidth = size;
  bag->wantedHeight = size;
  if (!file->Seek(0) || !bag->Load(file, nullptr, true)) return false;
  cPictDummy* decoded = FindPictureKey3(bag);
  if (decoded == nullptr || decoded->Pixels32().count == 0) return false;
  // Both keep rows bottom-up, so nothing is turned round.
  return picture->SetPixels(decoded->Pixels32().data, decoded->GetWidth(), decoded->GetHeight(), false);
}

}  // namespace

bool LoadPackageIcons(const char16_t* path, cPicture* icon16, cPicture* icon48) {
  if (path == nullptr || *path == 0 || icon16 == nullptr || icon48 == nullptr) return false;
  cFileIO file;
  if (!file.Open(path, kFileRead)) return false;
  std::unique_ptr<cFileObjectProps> bag = CreateFileObjectProps(&file);
  if (bag == nullptr) return false;
  if (!LoadIconAt(bag.get(), &file, 16, icon16)) return false;
  bag->Clear();
  LoadIconAt(bag.get(), &file, 48, icon48);  // a failure leaves the default in its place
  return true;
}

bool MakeDefaultPackageIcon(int32_t size, cPicture* out) {
  // A closed carton seen from the front: a lid band, a taped seam down the
  // middle, a darker outline; transparent around it.
  if (out == nullptr || size < 8 || !out->Allocate(size, size)) return false;
  constexpr uint32_t kBody = 0xFFD9A45B, kLid = 0xFFC58A3E, kEdge = 0xFF7A5220, kTape = 0xFFEFD9B0;
  const int32_t left = size / 8, right = size - 1 - size / 8;
  const int32_t top = size / 5, bottom = size - 1 - size / 10;
  const int32_t lidBottom = top + std::max(2, size / 5);
  const int32_t tapeHalf = std::max(1, size / 12);
  uint32_t* px = out->GetPixels();
  for (int32_t y = 0; y < size; ++y) {
    uint32_t* row = px + static_cast<size_t>(size - 1 - y) * size;  // row 0 is the bottom line
    for (int32_t x = 0; x < size; ++x) {
      uint32_t c = 0;
      if (x >= left && x <= right && y >= top && y <= bottom) {
        if (x == left || x == right || y == top || y == bottom || y == lidBottom)
          c = kEdge;
        else if (std::abs(2 * x - (left + right)) <= 2 * tapeHalf)
          c = kTape;
        else if (y < lidBottom)
          c = kLid;
        else  // a little shade towards the bottom
          c = Mix(kBody, kEdge, 255 - static_cast<uint32_t>(40 * (y - lidBottom) / std::max(1, bottom - lidBottom)));
      }
      row[x] = c;
    }
  }
  return true;
}

void FormatManagerText(const char16_t* format, const char16_t* argument, _guardchar<char16_t>& out) {
  if (format == nullptr) {
    out.Assign(u"");
    return;
  }
  if (argument == nullptr) argument = u"";
  // Sized from both texts, so that neither a long version nor a long date is
  // cut.
  const size_t capacity = _guardchar<char16_t>::Length(format) + _guardchar<char16_t>::Length(argument) + 1;
  std::unique_ptr<char16_t[]> buffer(new char16_t[capacity]);
  FormatW(buffer.get(), static_cast<int32_t>(capacity), format, argument);
  out.Assign(buffer.get());
}

// ---- The job ------------------------------------------------------------------------

int32_t cTarnwickForm::cConfigReaderJob::Run() {
  owner_->ClearEntries();
  if (cApplicationConfig* store = owner_->Store()) store->EnumChildren("install", ReadInstalledEntryCallback, owner_);
  return 0;
}

void cTarnwickForm::cConfigReaderJob::OnFinished(int32_t) { owner_->PostKind(7); }

bool cTarnwickForm::ReadInstalledEntryCallback(const char* name, void* context) {
  auto* form = static_cast<cTarnwickForm*>(context);
  // A window being closed asks the job to stop: the rest is not checked.
  if (form->job_.IsStopRequested()) return false;
  return form->AddSoftwareEntry(name);
}

void cTarnwickForm::ClearEntries() {
  list_.Clear();
  icons_.Clear();
  entries_.clear();
  count_ = 0;
}

bool cTarnwickForm::AddSoftwareEntry(const char* keyName) {
  auto entry = std::make_unique<sSoftwareEntry>();
  _guardchar<char16_t> iconPath;
  if (!ReadSoftwareEntry(Store(), keyName, entry.get(), &iconPath)) return true;  // next package
  if (!iconPath.IsEmpty()) LoadPackageIcons(iconPath.text, &entry->icon16, &entry->icon48);
  if (entry->icon16.GetPixelCount() == 0) MakeDefaultPackageIcon(16, &entry->icon16);
  if (entry->icon48.GetPixelCount() == 0) MakeDefaultPackageIcon(48, &entry->icon48);
  const int32_t id = count_;
  icons_.Set(id, &entry->icon16);
  if (!CheckPackageUpdate(keyName, entry.get())) entry->announcedVersion = tw::kNoVersion;  // rule c
  list_.SetCell(id, kColumnName, entry->name.text != nullptr ? entry->name.text : u"", id, id);
  list_.SetCell(id, kColumnDate, entry->dateText.text != nullptr ? entry->dateText.text : u"", -1, 0);
  list_.SetCell(id, kColumnVersion, entry->versionText.text, -1, 0);
  if (entry->HasUpdate()) list_.SetCell(id, kColumnUpdate, updateMark_.text != nullptr ? updateMark_.text : u"", -1, 0);
  entries_.push_back(std::move(entry));
  ++count_;
  return true;
}

bool cTarnwickForm::CheckPackageUpdate(const char* codename, sSoftwareEntry* entry) {
  return CheckForUpdate(codename, entry->announcedVersion, entry->downloadUrl, entry->webPage, entry->releaseNotes);
}

// ---- The window ----------------------------------------------------------------------

cTarnwickForm::cTarnwickForm() : job_(this) {}

cTarnwickForm::~cTarnwickForm() {
  // The job fills the members below: it must end before any of them goes.
  // It stops between packages; a check under way ends by its own time-outs
  // when the thread cannot be aborted inside the system's socket calls.
  while (!job_.Stop(cJob::kStopTimeoutMs)) {
  }
  for (auto& link : programLinks_) details_.RemoveChild(link.get());
}

cApplicationConfig* cTarnwickForm::Store() const {
  if (store_ != nullptr) return store_;
  cCIApplication* app = cCIApplication::GetCurrent();
  return app != nullptr ? app->GetConfig() : nullptr;
}

sSoftwareEntry* cTarnwickForm::GetEntry(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return nullptr;
  return entries_[static_cast<size_t>(index)].get();
}

bool cTarnwickForm::Key(int32_t virtualKey, bool shift, bool control, bool alt) {
  return cChildElement::Key(virtualKey, shift, control, alt);
}

void cTarnwickForm::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const sRect all{0, 0, GetWidth(), GetHeight()};
  canvas->DrawRect(&all, kWhite, kWhite);
}

void cTarnwickForm::SetupList() {
  const char16_t* face = GetUIFaceName();
  list_.SetTextIndent(3, false);
  list_.SetSelectionStyle(true, false);
  list_.SetRowSelectionColours(kSelection, kSelection, false);
  list_.SetImageLists(&icons_, nullptr, nullptr);
  cHeaderChild& header = list_.Header();
  header.SetColours(kWhite, kWhite);
  header.FillerButton().SetStyle(5, false);
  header.FillerButton().SetFillColour(kWhite, false);
  struct sColumn {
    int32_t id;
    int32_t title;  // -1: none
    int32_t width;
    uint32_t colour;
  };
  const sColumn columns[] = {
      {kColumnName, tw::kManagerTextColumnName, 310, kDark},
      {kColumnDate, tw::kManagerTextColumnInstalled, 100, kGrey},
      {kColumnVersion, tw::kManagerTextColumnVersion, 100, kGrey},
      {kColumnUpdate, -1, std::max(0, list_.GetWidth() - 530), kUpdateMark},
  };
  for (const sColumn& c : columns) {
    const char16_t* title = c.title >= 0 ? GetLangString(c.title) : nullptr;
    list_.SetColumnTitle(c.id, title != nullptr ? title : u"", c.width, 0);
    list_.SetColumnTextColour(c.id, static_cast<int32_t>(c.colour), false);
    if (cButtonChild* button = header.GetColumnButton(c.id)) {
      // Disabled: the header does not react to clicks.
      button->SetStyle(5, false);
      button->SetFillColour(kWhite, false);
      button->SetStateColours(2, 0xF8F8F8, 0xF8F8F8);
      button->SetStateColours(3, 0xF1EBE5, 0xF1EBE5);
      button->SetDisabledTextColour(kGrey, false);
      button->Disable(false);
    }
  }
  list_.SetColumnFont(kColumnName, GetFont(6, 14, face, true, false, false));
}

void cTarnwickForm::OnCreate() {
  const char16_t* face = GetUIFaceName();
  cWinFont* linkFont = GetFont(6, 14, face, true, true, false);

  // The tab: as wide as its caption plus the 19-pixel margins on each side.
  const char16_t* tabText = GetLangString(tw::kManagerTextTab);
  sSize tabSize{0, 0};
  if (tabText == nullptr || !MeasureText(tabText, &tabSize, GetFont(6, 17, face, false, false, false)))
    tabSize = sSize{0, 0};
  PlaceChild(&tab_, 45, 25, tabSize.width + 38, 25);
  tab_.SetText(tabText, -1, false);
  tab_.SetSelected(true, false);
  PlaceChild(&langSwitch_, -71, 25, 25, 25);
  langSwitch_.SetStore(store_);
  langSwitch_.Refresh();

  PlaceChild(&listPanel_, 45, 70, -91, 180);
  listPanel_.SetBackColour(kWhite);
  listPanel_.SetBorderColour(kFrame);
  listPanel_.PlaceChild(&list_, 5, 5, -11, -11);
  SetupList();

  PlaceChild(&status_, 45, 150, -91, 22);
  status_.SetColours(kGrey, kWhite, kWhite);

  PlaceChild(&details_, 45, 255, -91, -296);
  details_.SetBackColour(kWhite);
  details_.SetBorderColour(kWhite);
  details_.PlaceChild(&icon_, 15, 20, 48, 48);
  details_.PlaceChild(&nameLabel_, 85, 25, 350, 45);
  nameLabel_.SetFont(GetFont(8, 20, face, false, false, false));
  nameLabel_.SetColours(kDark, kWhite, kWhite);
  nameLabel_.SetLabelText(nullptr, kCentred, false);
  details_.PlaceChild(&versionLabel_, 85, 70, 200, 20);
  versionLabel_.SetColours(kDark, kWhite, kWhite);
  details_.PlaceChild(&dateLabel_, 85, 90, 200, 20);
  dateLabel_.SetColours(kDark, kWhite, kWhite);
  const struct {
    cLinkElement* link;
    int32_t text;
  } webLinks[] = {{&publisher_, tw::kManagerTextPublisher},
                  {&support_, tw::kManagerTextSupport},
                  {&updates_, tw::kManagerTextUpdates}};
  for (const auto& w : webLinks) {
    details_.PlaceChild(w.link, kWebLinkX, kWebLinkTop, -291, 20);
    w.link->SetTextColour(kLink);
    w.link->SetFont(linkFont);
    w.link->SetLabelText(GetLangString(w.text), 0, false);
    w.link->Hide(false);
  }
  details_.PlaceChild(&uninstall_, -116, 0, 115, 30);
  uninstall_.SetColours(kFrame, kWhite, kDark, 0xEAD3B0);
  uninstall_.SetText(GetLangString(tw::kManagerTextUninstall), -1, false);
  details_.PlaceChild(&update_, -246, 0, 115, 30);
  update_.SetColours(kFrame, kWhite, kDark, 0xEAD3B0);
  update_.SetText(GetLangString(tw::kManagerTextUpdate), -1, false);

  // The removal link sits at the bottom, centred on the Refresh button's
  // 30-pixel row.
  remove_.SetFont(linkFont);
  remove_.SetLabelText(GetLangString(tw::kManagerTextRemove), 0, false);
  PlaceChild(&remove_, 45, -40, 0, 0);
  remove_.SetTextColour(kLink);
  sSize removeSize{0, 0};
  if (!remove_.MeasureLabel(removeSize)) removeSize = sSize{0, 0};
  PlaceChild(&remove_, 45, (30 - removeSize.height) / 2 - 40, removeSize.width, removeSize.height);
  remove_.Hide(false);

  PlaceChild(&refresh_, -161, -40, 114, 30);
  refresh_.SetColours(0xE2A74E, kLink, kWhite, 0xEAD3B0);
  refresh_.SetText(GetLangString(tw::kManagerTextRefresh), -1, false);
  // A caption longer than the button (some translations) widens it
  // leftwards from the same right edge instead of being cut off.
  const int32_t refreshWidth = std::max<int32_t>(114, refresh_.CaptionWidth());
  if (refreshWidth > 114) PlaceChild(&refresh_, -47 - refreshWidth, -40, refreshWidth, 30);

  StartRefresh();
}

void cTarnwickForm::StartRefresh() {
  state_ = kBuilding;
  listPanel_.Hide(true);
  details_.Hide(true);
  refresh_.Disable(true);
  tab_.Disable(true);
  langSwitch_.Disable(true);
  list_.BeginUpdate();
  status_.SetLabelText(GetLangString(tw::kManagerTextBuilding), 0, true);
  status_.Show(true);
  selected_ = nullptr;  // before the job deletes the entries
  // Read here: the job's thread does not look texts up.
  updateMark_.Assign(GetLangString(tw::kManagerTextUpdateAvailable));
  if (!job_.Start()) PostKind(7);  // no thread: what was listed stays, the window leaves "building"
}

void cTarnwickForm::ListReady() {
  list_.EndUpdate(true);
  refresh_.Enable();
  tab_.Enable();
  langSwitch_.Enable();
  if (count_ > 0) {
    state_ = kListed;
    status_.Hide(true);
    listPanel_.Show(true);
    details_.Show(true);
    ShowDetails(GetEntry(0));
    remove_.Hide(true);
  } else {
    state_ = kEmpty;
    status_.SetLabelText(GetLangString(tw::kManagerTextNothing), 0, true);
    remove_.Show(true);
  }
  Invalidate(nullptr);
}

void cTarnwickForm::ShowDetails(sSoftwareEntry* entry) {
  if (entry == nullptr || entry == selected_) return;
  selected_ = entry;
  icon_.SetPicture(&entry->icon48);
  nameLabel_.SetLabelText(entry->name.text, kCentred, false);
  FormatManagerText(GetLangString(tw::kManagerTextVersion), entry->versionText.text, versionText_);
  versionLabel_.SetLabelText(versionText_.text, 0, false);
  FormatManagerText(GetLangString(tw::kManagerTextInstalled), entry->dateText.text, dateText_);
  dateLabel_.SetLabelText(dateText_.text, 0, false);

  for (auto& link : programLinks_) details_.RemoveChild(link.get());
  programLinks_.clear();
  cWinFont* linkFont = GetFont(6, 14, GetUIFaceName(), true, true, false);
  int32_t y = kProgramLinkTop;
  for (const auto& program : entry->links) {
    if (y > details_.GetHeight() - 20) break;  // only the links that fit
    auto link = std::make_unique<cLinkElement>();
    details_.PlaceChild(link.get(), kProgramLinkX, y, 300, 20);
    link->SetTextColour(kLink);
    link->SetFont(linkFont);
    link->SetLabelText(program->caption.text, 0, false);
    link->SetTarget(reinterpret_cast<intptr_t>(program->command.text));
    programLinks_.push_back(std::move(link));
    y += kLinkStep;
  }
  PlaceWebLinks(entry);
  if (entry->HasUpdate())
    update_.Show(false);
  else
    update_.Hide(false);
  details_.Invalidate(nullptr);
}

void cTarnwickForm::PlaceWebLinks(sSoftwareEntry* entry) {
  const struct {
    cLinkElement* link;
    const _guardchar<char16_t>* address;
  } links[] = {{&publisher_, &entry->publisherUrl}, {&support_, &entry->supportUrl}, {&updates_, &entry->updatesUrl}};
  int32_t y = kWebLinkTop;
  for (const auto& l : links) {
    if (l.address->IsEmpty()) {
      l.link->Hide(false);
      continue;
    }
    details_.PlaceChild(l.link, kWebLinkX, y, -291, 20);
    l.link->Show(false);
    y += kLinkStep;
  }
}

void cTarnwickForm::OfferUpdate() {
  sSoftwareEntry* entry = selected_;
  if (entry == nullptr || !entry->HasUpdate()) return;
  sUpdateInfo info;
  info.name.Assign(entry->name.text);
  FormatVersionText(info.versionText, entry->announcedVersion);
  info.downloadUrl.Assign(entry->downloadUrl.text);
  info.webPage.Assign(entry->webPage.text);
  info.releaseNotes.Assign(entry->releaseNotes.text);
  // The manager leaves while the new setup runs.
  if (ShowOffer(info)) EndModal(0);
}

void cTarnwickForm::Uninstall() {
  if (selected_ == nullptr || selected_->codename.IsEmpty()) return;
  // The uninstaller speaks the package's language; the window keeps its own.
  const int32_t language = GetCurrentLanguage();
  _guardchar<char16_t> codename(selected_->codename.text);
  UninstallPackage(codename.text);
  ApplyLanguage(language);
  StartRefresh();
}

void cTarnwickForm::UninstallPackage(const char16_t* codename) { RunUninstall(codename, this); }

bool cTarnwickForm::ShowOffer(const sUpdateInfo& info) { return ShowUpdateInfo(info, this); }

bool cTarnwickForm::RemoveManager() {
  _guardchar<char16_t> path;
  if (!FindCommonFilesTool(path) || GetPathKind(path.text) != tw::kPathFile) return false;
  return RunRemoveManager(path.text, this);
}

bool cTarnwickForm::OpenTarget(const char16_t* text) { return OpenOrRunFile(text); }

bool cTarnwickForm::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr) return cChildElement::OnAction(sender, action);
  if (sender == this && action->kind == 7) {
    ListReady();
    return true;
  }
  if (sender == &langSwitch_ && action->kind == 7) {
    EndModal(tw::kManagerRebuild);
    return true;
  }
  if (sender == &list_ && (action->kind == 7 || action->kind == 8)) {
    if (state_ != kListed) return true;
    if (action->kind == 7) {
      OfferUpdate();
    } else {
      const int32_t item = list_.GetFocusedItem();
      if (item >= 0) ShowDetails(GetEntry(list_.GetCellData(item, kColumnName)));
    }
    return true;
  }
  if (action->kind != 0) return cChildElement::OnAction(sender, action);
  if (sender == &refresh_) {
    StartRefresh();
    return true;
  }
  if (sender == &uninstall_) {
    Uninstall();
    return true;
  }
  if (sender == &update_) {
    OfferUpdate();
    return true;
  }
  const struct {
    cLinkElement* link;
    const _guardchar<char16_t> sSoftwareEntry::*address;
  } webLinks[] = {{&publisher_, &sSoftwareEntry::publisherUrl},
                  {&support_, &sSoftwareEntry::supportUrl},
                  {&updates_, &sSoftwareEntry::updatesUrl}};
  for (const auto& w : webLinks) {
    if (sender != w.link) continue;
    if (selected_ != nullptr && !(selected_->*w.address).IsEmpty()) OpenTarget((selected_->*w.address).text);
    return true;
  }
  for (const auto& link : programLinks_) {
    if (sender != link.get()) continue;
    OpenTarget(reinterpret_cast<const char16_t*>(link->GetTarget()));
    return true;
  }
  if (sender == &remove_) {
    if (RemoveManager()) EndModal(0);
    return true;
  }
  return cChildElement::OnAction(sender, action);
}

// ---- Running it ------------------------------------------------------------------------

namespace {
cTarnwickForm* MakePlainForm() { return new cTarnwickForm(); }
}  // namespace

int32_t RunManagerWindowWith(cWindowMaker* maker, cTarnwickForm* (*make)()) {
  if (maker == nullptr) return 1;
  if (make == nullptr) make = MakePlainForm;
  for (;;) {
    // Looked up for every window: after a switch the title is the new
    // language's.
    const char16_t* title = GetLanguageSections().Text(u"pkgm::tarnw", tw::kManagerTextTitle);
    const int32_t code =
        maker->RunModalForm(title != nullptr ? title : u"", kWindowWidth, kWindowHeight, make(), nullptr, false);
    if (code != tw::kManagerRebuild) return code;
  }
}

int32_t RunManagerWindow() {
  cCIApplication* app = cCIApplication::GetCurrent();
  return RunManagerWindowWith(app != nullptr ? app->GetWindowMaker() : nullptr, nullptr);
}
