// The target folder page. See file_select_panel.h.
#include "tools/file_select_panel.h"

#include "base/buffers.h"
#include "base/disk_space.h"
#include "base/format.h"
#include "base/strings.h"
#include "gui/canvas.h"
#include "gui/dialogs/folder_chooser.h"
#include "gui/dialogs/message_box.h"
#include "gui/font.h"
#include "gui/picture.h"
#include "tools/install_context.h"
#include "tools/target_folder.h"
#include "tools/wizard_art.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kTextColour = 0x655654, kNameColour = 0x8E5535,
                   kFrameColour = 0x9B6D18;
constexpr uint64_t kMegabyte = 1048576;
constexpr int32_t kFieldCapacity = 32768;

enum : int32_t {
  kTextBrowse = 0,
  kTextChooserTitle = 1,
  kTextWillInstall = 2,
  kTextSize = 3,
  kTextBelowOneMb = 4,
  kTextMegabytes = 5,
  kTextHelp = 6,
  kTextNoInfo = 12,
  kTextNoRoom = 13,
};

// The page text for a target check code (7 to 11), -1 for any other.
int32_t CheckCodeText(int32_t code) {
  switch (code) {
    case 7: return 11;
    case 8: return 10;
    case 9: return 9;
    case 10: return 8;
    case 11: return 7;
    default: return -1;
  }
}

const cPicture* FolderPicture() {
  static cPicture* picture = [] {
    auto* p = new cPicture();
    p->SetPixels(tw::kFolderPicture, tw::kFolderPictureWidth, tw::kFolderPictureHeight, false);
    return p;
  }();
  return picture;
}

// format with one string argument.
void Formatted(const char16_t* format, const char16_t* argument, _guardchar<char16_t>& out) {
  if (format == nullptr) format = u"";
  if (argument == nullptr) argument = u"";
  const int32_t capacity = WideLength(format) + WideLength(argument) + 1;
  _typebuf<char16_t> text(capacity);
  FormatW(text.data, capacity, format, argument);
  out.Assign(text.data);
}

}  // namespace

void cFileSelectPanel::InitDefaults() {
  cChildElement::InitDefaults();
  FolderPicture();
  PlaceChild(&field_, 20, 70, -131, 26);
  field_.SetReadOnly(true);
  field_.ReserveText(kFieldCapacity);
  field_.SetStateColours(kWhite, kTextColour, kFrameColour);
  field_.SetFont(GetFont(5, 14, GetUIFaceName(), false, false, false));
  PlaceChild(&browse_, -101, 70, 80, 26);
  const char16_t* browse = GetLangString(kTextBrowse);
  browse_.SetText(browse != nullptr ? browse : u"", -1, false);
}

void cFileSelectPanel::SizeText(uint64_t required, _guardchar<char16_t>& out) {
  if (required < kMegabyte) {
    out.Assign(GetLangString(kTextBelowOneMb));
    return;
  }
  const char16_t* format = GetLangString(kTextMegabytes);
  if (format == nullptr) format = u"";
  const int32_t capacity = WideLength(format) + 24;
  _typebuf<char16_t> text(capacity);
  const long long megabytes = static_cast<long long>((required + kMegabyte - 1) / kMegabyte);
  FormatW(text.data, capacity, format, megabytes);
  out.Assign(text.data);
}

void cFileSelectPanel::Paint(cCanvas* canvas) {
  const int32_t w = GetWidth(), h = GetHeight();
  const sRect all{0, 0, w, h};
  canvas->DrawRect(&all, kWhite, kWhite);
  canvas->DrawPicture(20, 20, FolderPicture(), -1, -1);
  if (context_ == nullptr) return;

  const char16_t* name = context_->description.GetString(u"name");
  if (name != nullptr) {
    _guardchar<char16_t> line;
    Formatted(GetLangString(kTextWillInstall), name, line);
    canvas->SelectFont(GetFont(5, 14, GetUIFaceName(), false, false, false));
    canvas->SetTextColours(kNameColour, kWhite);
    canvas->DrawTextWrapped(60, 25, w - 80, 44, 0, line.text, nullptr, false, 0);
  }
  canvas->SelectFont(GetFont(5, 13, GetUIFaceName(), false, false, false));
  canvas->SetTextColours(kTextColour, kWhite);
  _guardchar<char16_t> size, line;
  SizeText(context_->description.GetRequiredSpace(), size);
  Formatted(GetLangString(kTextSize), size.text, line);
  canvas->DrawTextLine(20, 110, w - 40, 18, 0, false, 0, 0, line.text, -1, nullptr, false);
  const char16_t* help = GetLangString(kTextHelp);
  if (help != nullptr) canvas->DrawTextWrapped(20, 140, w - 40, h - 100, 0, help, nullptr, false, 0);
}

bool cFileSelectPanel::AskForFolder(const char16_t* title, const char16_t* start, _guardchar<char16_t>& chosen) {
  chosen.Assign(start);
  return ::ChooseFolder(this, title, &chosen);
}

bool cFileSelectPanel::TakeChosenFolder(const char16_t* folder) {
  uint64_t available = 0;
  if (!GetAvailableDiskSpace(folder, &available)) {
    ShowErrorMessage(this, GetLangString(kTextNoInfo), nullptr);
    return false;
  }
  const uint64_t required = context_ != nullptr ? context_->requiredSpace : 0;
  if (available < required) {
    ShowErrorMessage(this, GetLangString(kTextNoRoom), nullptr);
    return false;
  }
  field_.SetEditText(folder, -1);
  field_.Invalidate(nullptr);
  return true;
}

bool cFileSelectPanel::OnAction(cChildElement* sender, cChildAction* action) {
  if (sender == &browse_ && action != nullptr && action->kind == 0) {
    _guardchar<char16_t> chosen;
    if (AskForFolder(GetLangString(kTextChooserTitle), field_.GetText(), chosen) && !chosen.IsEmpty())
      TakeChosenFolder(chosen.text);
    return true;
  }
  return cChildElement::OnAction(sender, action);
}

void GetDefaultTargetFolder(cFileSelectPanel* panel, sInstallContext* context) {
  if (panel == nullptr) return;
  panel->context_ = context;
  if (context == nullptr) {
    panel->field_.SetEditText(u"", -1);
    panel->field_.Disable(true);
    return;
  }
  const char16_t* earlier = context->description.GetString(u"pgm");
  if (earlier != nullptr) {
    panel->field_.SetEditText(earlier, -1);
  } else {
    _guardchar<char16_t> folder;
    DefaultInstallFolder(*context, folder);
    panel->field_.SetEditText(folder.text != nullptr ? folder.text : u"", -1);
  }
  panel->Invalidate(nullptr);
}

bool ValidateTargetFolder(cFileSelectPanel* panel) {
  if (panel == nullptr || panel->Context() == nullptr) return false;
  sInstallContext& context = *panel->Context();
  const char16_t* folder = panel->Field().GetText();
  if (folder == nullptr || folder[0] == 0) {
    panel->SetFocusTo(&panel->Field());
    return false;
  }
  if (!context.description.SetProgramFolder(context.description.commonTable, folder) ||
      !context.description.GetInstallEntries(context.installEntries)) {
    return false;
  }
  for (auto* n = context.installEntries.head; n != nullptr; n = n->next) {
    context.errorPath.Assign(n->value.targetPath.text);
    const int32_t code = CheckInstallTarget(n->value.targetPath.text, n->value.digest);
    if (code == 0) continue;
    const int32_t index = CheckCodeText(code);
    _guardchar<char16_t> message;
    Formatted(index >= 0 ? panel->GetLangString(index) : nullptr, context.errorPath.text, message);
    ShowErrorMessage(panel, message.text, nullptr);
    return false;
  }
  return true;
}
