// The verb "update" and the update offer. See update_mode.h.
#include "tools/update_mode.h"

#include <memory>
#include <string>

#include "base/app_config.h"
#include "base/dirlist.h"
#include "base/fileio.h"
#include "base/format.h"
#include "base/full_config.h"
#include "base/paths.h"
#include "base/process.h"
#include "base/strings.h"
#include "gui/app.h"
#include "gui/dialogs/file_chooser.h"
#include "gui/dialogs/message_box.h"
#include "gui/font.h"
#include "gui/language.h"
#include "gui/window_maker.h"
#include "tools/install_record.h"
#include "tools/modes.h"
#include "tools/update_download.h"

namespace {

constexpr int32_t kMessageWidth = 350, kMessageHeight = 110;
constexpr int32_t kOfferWidth = 500, kOfferHeight = 450;
constexpr uint32_t kWhite = 0xFFFFFF;

// "pkgm::updr"
enum : int32_t { kTextInvalidPackage = 0, kTextCheckFailed = 1, kTextUpToDate = 2 };
// "pkgm::updi"
enum : int32_t {
  kTextFormTitle = 0,
  kTextNewVersion = 1,
  kTextWhatIsNew = 2,
  kTextInstall = 3,
  kTextNotNow = 4,
  kTextSaveTitle = 5,
  kTextFilterName = 6,
  kTextCannotCreate = 7,
  kTextRetry = 8,
  kTextCannotStart = 9,
  kTextWebPage = 10,
  kTextDownloadLink = 11,
  kTextOverwrite = 12,
  kTextProgressTitle = 13,
  kTextServerError = 14,
  kTextWriteFailed = 15,
};

// A format with one text argument, in a buffer sized from both.
void FormatOne(const char16_t* format, const char16_t* argument, _guardchar<char16_t>& out) {
  if (format == nullptr) format = u"";
  if (argument == nullptr) argument = u"";
  const size_t capacity = _guardchar<char16_t>::Length(format) + _guardchar<char16_t>::Length(argument) + 1;
  std::unique_ptr<char16_t[]> buffer(new char16_t[capacity]);
  FormatW(buffer.get(), static_cast<int32_t>(capacity), format, argument);
  out.Assign(buffer.get());
}

cWindowMaker* CurrentMaker() {
  cCIApplication* app = cCIApplication::GetCurrent();
  return app != nullptr ? app->GetWindowMaker() : nullptr;
}

cApplicationConfig* CurrentStore() {
  cCIApplication* app = cCIApplication::GetCurrent();
  return app != nullptr ? app->GetConfig() : nullptr;
}

// Where the user keeps per-user settings: the per-user half of the full
// store, or the store itself.
void RememberFolder(const char16_t* path) {
  cApplicationConfig* store = CurrentStore();
  if (store == nullptr || path == nullptr) return;
  int32_t slash = -1;
  for (int32_t i = 0; path[i] != 0; ++i)
    if (path[i] == u'/') slash = i;
  if (slash < 0) return;
  cApplicationConfig* target = store;
  if (auto* full = dynamic_cast<cCIAppFullConfig*>(store)) target = full->GetUserConfig();
  target->SetString(tw::kKeyInstallerTemp, path, slash);
  target->Save();  // a failure only forgets the folder
}

}  // namespace

bool SuggestedDownloadName(const char16_t* address, _guardchar<char16_t>& out) {
  if (address == nullptr) return false;
  int32_t slash = -1;
  for (int32_t i = 0; address[i] != 0; ++i)
    if (address[i] == u'/') slash = i;
  if (slash < 0) return false;
  out.Assign(address + slash + 1);
  return true;
}

void DownloadSidePath(const char16_t* path, _guardchar<char16_t>& out) {
  std::u16string side(path != nullptr ? path : u"");
  side += u".tmp";
  out.Assign(side.c_str());
}

// ---- Message form ---------------------------------------------------------------

cWLMsgForm::cWLMsgForm(int32_t kind, const char16_t* text) : kind_(kind) {
  message_.Assign(text != nullptr ? text : u"");
}

void cWLMsgForm::OnCreate() {
  cCustomForm::OnCreate();
  GetClientPanel()->AddChild(&label_, 0, 0, 340, 16, 0);
  label_.SetColours(0x655654, kWhite, kWhite);
  label_.SetLabelText(GetLangText(1), 0, false);
  PostKind(0);
}

bool cWLMsgForm::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr || sender != this || action->kind != 0) return cCustomForm::OnAction(sender, action);
  int32_t code = 0;
  switch (kind_) {
    case tw::kResponseInfo:
      ShowInfoMessage(this, message_.text, nullptr);
      break;
    case tw::kResponseError:
      ShowErrorMessage(this, message_.text, nullptr);
      break;
    case tw::kResponseWarning:
      ShowWarningMessage(this, message_.text, nullptr);
      break;
    case tw::kResponseQuestion:
      code = AskWarningQuestion(this, message_.text, nullptr) ? 1 : 0;
      break;
    default:
      break;
  }
  EndModal(code);
  return true;
}

int32_t ShowResponseMessage(int32_t kind, const char16_t* text) {
  const tLangSection* section = GetLanguageSections().Find(u"pkgm::resp");
  if (section == nullptr) return 0;
  cWindowMaker* maker = CurrentMaker();
  if (maker == nullptr) return 0;
  const char16_t* title = GetSectionText(section, 0);
  const int32_t code = maker->RunModalForm(title != nullptr ? title : u"", kMessageWidth, kMessageHeight,
                                           new cWLMsgForm(kind, text), nullptr, false);
  return code == 1 ? 1 : 0;
}

// ---- Offer form -------------------------------------------------------------------

void cSoftUpdateInfoForm::OnCreate() {
  cCustomForm::OnCreate();
  cPanelChild* client = GetClientPanel();
  const char16_t* face = GetUIFaceName();

  _guardchar<char16_t> text;
  FormatOne(GetLangText(kTextNewVersion), info_->name.text, text);
  client->PlaceChild(&title_, 10, 0, -21, 45);
  title_.SetFont(GetCachedFont(8, 20, face, false, false, false));
  title_.SetColours(0x734D32, kWhite, kWhite);
  title_.SetLabelText(text.text, 2, false);

  FormatOne(GetLangText(kTextWhatIsNew), info_->versionText.text, text);
  client->PlaceChild(&notes_, 10, 50, -21, -151);
  notes_.SetColours(0xE4E0DC, kWhite, 0x734D32);
  notes_.SetTitleGap(10);
  notes_.SetLineSteps(0, 14);
  notes_.SetTexts(text.text, info_->releaseNotes.text != nullptr ? info_->releaseNotes.text : u"");

  cWinFont* linkFont = GetCachedFont(6, 14, face, true, true, false);
  client->PlaceChild(&webLink_, 10, -91, -21, 20);
  webLink_.SetTextColour(0xC98C2F);
  webLink_.SetFont(linkFont);
  webLink_.SetLabelText(GetLangText(kTextWebPage), 0, false);
  client->PlaceChild(&downloadLink_, 10, -71, -21, 20);
  downloadLink_.SetTextColour(0xC98C2F);
  downloadLink_.SetFont(linkFont);
  downloadLink_.SetLabelText(GetLangText(kTextDownloadLink), 0, false);

  PlaceChild(&install_, -256, -33, 115, 25);
  install_.SetText(GetLangText(kTextInstall), -1, false);
  PlaceChild(&notNow_, -126, -33, 115, 25);
  notNow_.SetText(GetLangText(kTextNotNow), -1, false);
}

bool cSoftUpdateInfoForm::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr) return cCustomForm::OnAction(sender, action);
  if (action->kind == 7 && sender == &notes_) {
    notes_.SetContentHeight(static_cast<cPropDispAreaChild::cPropDispResizeAction*>(action)->height);
    return true;
  }
  if (action->kind != 0) return cCustomForm::OnAction(sender, action);
  if (sender == &install_) {
    OnOK();
    return true;
  }
  if (sender == &notNow_) {
    EndModal(0);
    return true;
  }
  if (sender == &webLink_) {
    OpenOrRunFile(info_->webPage.text);
    return true;
  }
  if (sender == &downloadLink_) {
    OpenOrRunFile(info_->downloadUrl.text);
    return true;
  }
  return cCustomForm::OnAction(sender, action);
}

bool cSoftUpdateInfoForm::OnEscapeKey() {
  EndModal(0);
  return true;
}

bool cSoftUpdateInfoForm::OnEnterKey() {
  if (install_.IsEnabled()) OnOK();
  return true;
}

bool cSoftUpdateInfoForm::OnOK() {
  cLockGuard lock(&install_);
  _guardchar<char16_t> name;
  if (!SuggestedDownloadName(info_->downloadUrl.text, name)) return false;
  sFileChooseRequest request;
  request.result.Assign(name.text);
  if (cApplicationConfig* store = CurrentStore()) store->GetString(tw::kKeyInstallerTemp, request.initialFolder);
  request.filters.Allocate(1);
  request.filters.data[0].description.Assign(GetLangText(kTextFilterName));
  request.filters.data[0].patterns.Assign(u"*");
  request.filters.data[0].defaultExtension.Assign(u"");
  if (!ShowFileSaveDialog(this, GetLangText(kTextSaveTitle), &request) || request.result.IsEmpty()) return false;
  _guardchar<char16_t> path;
  path.Assign(request.result.text);
  RememberFolder(path.text);
  if (GetPathKind(path.text) != tw::kPathMissing && !AskWarningQuestion(this, GetLangText(kTextOverwrite), nullptr))
    return false;

  // The bytes go to a side file; only a complete download replaces the
  // chosen name.
  _guardchar<char16_t> side;
  DownloadSidePath(path.text, side);
  cFileIO file;
  if (!file.Create(side.text, kFileRead | kFileWrite | kFileShareRead)) {
    ShowErrorMessage(this, GetLangText(kTextCannotCreate), nullptr);
    return false;
  }
  auto giveUp = [&] {
    file.Close();
    DeleteFileLong(side.text);
    return false;
  };
  for (bool first = true;; first = false) {
    if (!first && !(file.Seek(0) && file.SetSize(0))) {
      ShowErrorMessage(this, GetLangText(kTextWriteFailed), nullptr);
      return giveUp();
    }
    const int32_t code =
        ShowProgressForm(this, new cUpdateDownloader(&file, info_->downloadUrl.text), GetLangText(kTextProgressTitle));
    switch (code) {
      case tw::kDownloadComplete:
        file.Close();
        if (!ReplaceFileLong(side.text, path.text)) {
          ShowErrorMessage(this, GetLangText(kTextWriteFailed), nullptr);
          DeleteFileLong(side.text);
          return false;
        }
        GrantAccess(path.text, 7, 7, 5);
        if (OpenOrRunFile(path.text))
          EndModal(1);
        else
          ShowErrorMessage(this, GetLangText(kTextCannotStart), nullptr);
        return true;
      case tw::kDownloadIncomplete:
        if (AskWarningQuestion(this, GetLangText(kTextRetry), nullptr)) continue;
        return giveUp();
      case tw::kDownloadServerError:
        ShowErrorMessage(this, GetLangText(kTextServerError), nullptr);
        return giveUp();
      case tw::kDownloadWriteFailed:
        ShowErrorMessage(this, GetLangText(kTextWriteFailed), nullptr);
        return giveUp();
      default:
        return giveUp();
    }
  }
}

bool ShowUpdateInfo(const sUpdateInfo& info, cChildElement* owner) {
  const char16_t* title = GetLanguageSections().Text(u"pkgm::updi", kTextFormTitle);
  if (title == nullptr) title = u"";
  auto* form = new cSoftUpdateInfoForm(&info);
  if (owner != nullptr) return owner->ShowModal(title, kOfferWidth, kOfferHeight, form, false) == 1;
  cWindowMaker* maker = CurrentMaker();
  if (maker == nullptr) {
    delete form;
    return false;
  }
  return maker->RunModalForm(title, kOfferWidth, kOfferHeight, form, nullptr, false) == 1;
}

// ---- Update mode ---------------------------------------------------------------

int32_t RunUpdateModeWith(cApplicationConfig* store, const char* checkPrefix, const char16_t* codename,
                          bool quiet) {
  const tLangSection* section = GetLanguageSections().Find(u"pkgm::updr");
  auto report = [&](int32_t kind, int32_t index) {
    if (quiet || section == nullptr) return;
    ShowResponseMessage(kind, GetSectionText(section, index));
  };
  _guardchar<char> name8;
  WideToUtf8(codename, name8, -1);
  bool valid = codename != nullptr && codename[0] != 0;
  for (const char16_t* c = codename; valid && *c != 0; ++c)
    if (*c == u'/') valid = false;
  if (!valid) {
    report(tw::kResponseError, kTextInvalidPackage);
    return 1;
  }

  _guardchar<char> prefix;
  FormatInstallKey(codename, prefix);
  const std::string key(prefix.text);
  uint64_t installed = 0;
  if (store == nullptr || !store->GetInt64((key + "/ver").c_str(), installed)) {
    report(tw::kResponseError, kTextInvalidPackage);
    return 1;
  }
  sUpdateInfo info;
  store->GetString((key + "/name").c_str(), info.name);

  uint64_t announced = 0;
  if (!CheckForUpdateAt(checkPrefix, name8.text, announced, info.downloadUrl, info.webPage, info.releaseNotes)) {
    report(tw::kResponseError, kTextCheckFailed);
    return 1;
  }
  if (announced > installed) {
    FormatVersionText(info.versionText, announced);
    ShowUpdateInfo(info, nullptr);
    return 0;
  }
  report(tw::kResponseInfo, kTextUpToDate);
  return 0;
}

int32_t RunUpdateMode(const char16_t* codename, bool quiet) {
  return RunUpdateModeWith(CurrentStore(), kUpdateCheckPrefix, codename, quiet);
}
