// cMessageForm: the toolkit's own message box, a small modal form with a
// multi-line text (its first line a bold heading beside an icon) and one
// button ("Ok") or two ("Yes", "No"). MessageBoxEx builds, sizes and runs
// it; the five wrappers give the usual kinds.
//
// The form is at least as wide as its button bar with the frame and the
// margins, so that a short question never cuts off its buttons.
// UI thread only.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "base/lists.h"
#include "gui/controls/toolbar.h"
#include "gui/custom_form.h"
#include "gui/static_element.h"

enum : int32_t { kMessageInfo = 0, kMessageQuestion = 1, kMessageWarning = 2, kMessageError = 3 };
enum : int32_t { kMessageOneButton = 0, kMessageTwoButtons = 1 };

class cMessageForm : public cCustomForm {
public:
  class cStrTokenItem : public cListItem {
  public:
    cStrTokenItem(const char16_t* text, uint32_t length) { line.AssignN(text, length); }
    ~cStrTokenItem() override;
    _guardchar<char16_t> line;
    cStaticElement label;
  };

  cMessageForm(int32_t iconKind, int32_t buttonKind) : iconKind_(iconKind), buttonKind_(buttonKind) {}
  ~cMessageForm() override = default;

  void OnCreate() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  const char16_t* LangSectionKey() override { return u"wekt::messages"; }
  void InitDefaults() override;
  bool OnEscapeKey() override;
  bool OnEnterKey() override;

  // Cuts text into lines at every line feed (one that ends the text starts
  // no further line) and appends them.
  void SplitLines(const char16_t* text);
  // Measures the lines through measurer (the owner) and returns the form's
  // size; the line height is kept for the layout.
  sSize ComputeSize(cChildElement* measurer);

  cItemList& Lines() { return lines_; }
  cToolBarChild& ButtonBar() { return buttonBar_; }
  cStaticElement& IconLabel() { return iconLabel_; }
  int32_t GetLineHeight() const { return lineHeight_; }

  // The bar's width for the form's button kind: its captions (this form's
  // texts, looked up through measurer's window) and pictures, measured
  // through measurer.
  int32_t ButtonBarWidth(cChildElement* measurer);

private:
  cStaticElement iconLabel_;
  cToolBarChild buttonBar_;
  cItemList lines_;
  int32_t iconKind_;
  const char16_t* title_ = nullptr;
  int32_t buttonKind_;
  int32_t lineHeight_ = 0;
};

// 0 when owner or text is null; else 1 when the dialog ended with a
// non-zero code (also -1, when it could not be shown), 0 otherwise.
int32_t MessageBoxEx(cChildElement* owner, const char16_t* text, const char16_t* title, int32_t titleIndex,
                     int32_t iconKind, int32_t buttonKind);
int32_t ShowInfoMessage(cChildElement* owner, const char16_t* text, const char16_t* title);
int32_t ShowWarningMessage(cChildElement* owner, const char16_t* text, const char16_t* title);
int32_t ShowErrorMessage(cChildElement* owner, const char16_t* text, const char16_t* title);
bool AskQuestion(cChildElement* owner, const char16_t* text, const char16_t* title);
bool AskWarningQuestion(cChildElement* owner, const char16_t* text, const char16_t* title);
