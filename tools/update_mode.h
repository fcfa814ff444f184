// The verb "update" and the update offer: RunUpdateMode checks one
// installed package and either reports the result in a small message form
// or shows the offer; the offer form (cSoftUpdateInfoForm) shows the new
// version's release notes and, on Install, saves the new setup file and
// opens it with the shell. Texts come from "pkgm::updr" (the mode's
// results), "pkgm::resp" (the message form) and "pkgm::updi" (the offer).
//
// The downloaded file is written under a side name, "<path>.tmp", and gets
// its final name only once every announced byte arrived: a cut or damaged
// download is deleted, never left under the chosen name nor opened.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "gui/controls/link.h"
#include "gui/controls/prop_area.h"
#include "gui/custom_form.h"
#include "gui/static_element.h"
#include "tools/update_check.h"
#include "tools/wzi_button.h"

class cApplicationConfig;

// Message kinds of ShowResponseMessage.
namespace tw {
enum : int32_t { kResponseInfo = 1, kResponseError = 2, kResponseWarning = 3, kResponseQuestion = 4 };
}  // namespace tw

// A small top-level form ("Waiting for response...") that owns the update
// mode's message box, so that the box has a window to belong to.
class cWLMsgForm : public cCustomForm {
public:
  cWLMsgForm(int32_t kind, const char16_t* text);

  void OnCreate() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"pkgm::resp"; }

private:
  cStaticElement label_;
  int32_t kind_;
  _guardchar<char16_t> message_;
};

// The message form's end code: 0, or for kind 4 1 when the first button
// was chosen; 0 without showing anything when "pkgm::resp" is not loaded.
int32_t ShowResponseMessage(int32_t kind, const char16_t* text);

class cSoftUpdateInfoForm : public cCustomForm {
public:
  // Disables an element for its lifetime (with redraw), then enables it.
  class cLockGuard {
  public:
    explicit cLockGuard(cChildElement* element) : element_(element) { element_->Disable(true); }
    virtual ~cLockGuard() { element_->Enable(); }
    cLockGuard(const cLockGuard&) = delete;
    cLockGuard& operator=(const cLockGuard&) = delete;

  private:
    cChildElement* element_;
  };

  // info is borrowed for the form's lifetime.
  explicit cSoftUpdateInfoForm(const sUpdateInfo* info) : info_(info) {}

  void OnCreate() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"pkgm::updi"; }
  bool OnEscapeKey() override;
  bool OnEnterKey() override;

  // The install action: true only when the new setup file was opened.
  bool OnOK();

private:
  cStaticElement title_;
  cPropDispAreaChild notes_;
  cLinkElement webLink_;
  cLinkElement downloadLink_;
  cWZIButton install_;
  cWZIButton notNow_;
  const sUpdateInfo* info_;
};

// The offer form at 500 x 450: modal to owner, or without one a top-level
// modal dialog. True when it ended with 1 (the new setup file was opened).
bool ShowUpdateInfo(const sUpdateInfo& info, cChildElement* owner);

// The update mode over a given store and with the check given by
// checkPrefix (the program passes kUpdateCheckPrefix): 0 or 1.
int32_t RunUpdateModeWith(cApplicationConfig* store, const char* checkPrefix, const char16_t* codename,
                          bool quiet);

// The suggested file name of a download address: the text after its last
// '/' (a query included); false when there is no '/'.
bool SuggestedDownloadName(const char16_t* address, _guardchar<char16_t>& out);

// The side file a download is written to before it gets its final name.
void DownloadSidePath(const char16_t* path, _guardchar<char16_t>& out);
