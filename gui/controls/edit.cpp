// See gui/controls/edit.h.
#include "gui/controls/edit.h"

#include <algorithm>
#include <string>

#include "base/sorted_tree.h"
#include "gui/canvas.h"
#include "gui/controls/popup.h"
#include "gui/font.h"
#include "gui/theme.h"

namespace {

// Theme colours of the states: background, text, frame.
constexpr int32_t kStateColours[4][3] = {{27, 4, 32}, {29, 4, 34}, {28, 4, 33}, {30, 5, 35}};
enum : int32_t { kColourSelFocused = 17, kColourSelUnfocused = 18, kColourSelText = 10, kColourHint = 8 };
enum : int32_t { kNormal = 0, kFocused = 1, kHover = 2, kDisabled = 3 };
constexpr int32_t kDefaultUnits = 256;
constexpr int64_t kMaxUnits = 2147483646;
// Menu entry ids: shown in this order.
enum : int32_t { kMenuCut = 10, kMenuCopy = 20, kMenuPaste = 30, kMenuDelete = 40, kMenuSelectAll = 50 };

bool IsEditSpace(char16_t c) { return c == 9 || c == 10 || c == 13 || c == 32; }

}  // namespace

cEditChild::cEditChild() {
  ReserveText(kDefaultUnits);
  cCITheme* theme = GetTheme();
  for (int32_t s = 0; s < 4; ++s)
    for (int32_t i = 0; i < 3; ++i) colours_[s][i] = theme->GetColour(kStateColours[s][i]);
  selectionFocused_ = theme->GetColour(kColourSelFocused);
  selectionUnfocused_ = theme->GetColour(kColourSelUnfocused);
}

void cEditChild::InitDefaults() {
  cChildElement::InitDefaults();
  selStart_ = selEnd_ = -1;
  menuOpen_ = 0;
}

void cEditChild::OnCreate() {
  SetTransparent(false);
  SetCursor(1);
  font_ = GetFont(5, 13, GetUIFaceName(), false, false, false);
  hintFont_ = GetFont(5, 13, GetUIFaceName(), false, false, true);
}

bool cEditChild::ReserveText(int64_t n) {
  text_.Reset();
  edges_.Reset();
  caret_ = scroll_ = 0;
  selStart_ = selEnd_ = -1;
  if (n < 0 || n > kMaxUnits) return false;
  const auto units = static_cast<int32_t>(n + 1);
  text_.Reallocate(units);
  edges_.Reallocate(units);
  std::fill(text_.data, text_.data + units, char16_t{0});
  std::fill(edges_.data, edges_.data + units, 0);
  return true;
}

int32_t cEditChild::GetLength() const {
  int32_t n = 0;
  while (n < text_.count && text_.data[n] != 0) ++n;
  return n;
}

void cEditChild::CopyText(char16_t* buffer, int32_t capacity) {
  if (buffer == nullptr || capacity < 1) return;
  const int32_t n = std::min(GetLength(), capacity - 1);
  std::copy(text_.data, text_.data + n, buffer);
  buffer[n] = 0;
}

const char16_t* cEditChild::GetText() {
  copy_.AssignN(text_.data != nullptr ? text_.data : u"", static_cast<uint32_t>(GetLength()));
  return copy_.text != nullptr ? copy_.text : u"";
}

void cEditChild::WipeText() {
  if (text_.data != nullptr) std::fill(text_.data, text_.data + text_.count, char16_t{0});
  caret_ = scroll_ = 0;
  selStart_ = selEnd_ = -1;
  Invalidate(nullptr);
}

void cEditChild::SetEditText(const char16_t* text, int32_t length) {
  if (text_.data != nullptr) std::fill(text_.data, text_.data + text_.count, char16_t{0});
  int32_t n = 0;
  if (text != nullptr) {
    if (length < 0)
      while (text[n] != 0) ++n;
    else
      while (n < length && text[n] != 0) ++n;
  }
  if (n + 1 > text_.count) ReserveText(n);
  if (text_.count >= n + 1 && n > 0) std::copy(text, text + n, text_.data);
  caret_ = scroll_ = 0;
  selStart_ = selEnd_ = -1;
  Invalidate(nullptr);
}

void cEditChild::SetHintText(const char16_t* text) { hint_.Assign(text); }

void cEditChild::SetSelectableWhenReadOnly(bool flag) {
  if (selectableReadOnly_ == flag) return;
  selectableReadOnly_ = flag;
  Invalidate(nullptr);
}

void cEditChild::SetStateColours(uint32_t background, uint32_t text, uint32_t frame) {
  for (auto& c : colours_) c[0] = background, c[1] = text, c[2] = frame;
}

uint32_t cEditChild::GetStateBackground(int32_t state) const { return colours_[std::clamp(state, 0, 3)][0]; }
uint32_t cEditChild::GetStateFrame(int32_t state) const { return colours_[std::clamp(state, 0, 3)][2]; }

void cEditChild::SetStateFrame(int32_t state, uint32_t colour) {
  if (state < 0 || state > 3 || colours_[state][2] == colour) return;
  colours_[state][2] = colour;
  Invalidate(nullptr);
}

void cEditChild::SetCaret(int32_t caret) {
  caret_ = std::clamp(caret, 0, GetLength());
  Invalidate(nullptr);
}

bool cEditChild::HasSelection() const {
  return selStart_ >= 0 && selEnd_ >= selStart_ && selEnd_ < GetLength();
}

// ---- Selection algebra ------------------------------------------------------------------

void cEditChild::ClearSelection() {
  selStart_ = selEnd_ = -1;
  Invalidate(nullptr);
}

void cEditChild::ExtendSelection(int32_t p, int32_t q) {
  if ((readOnly_ && !selectableReadOnly_) || p == q) return;
  const bool none = selStart_ < 0 || selEnd_ < 0;
  if (p < q) {
    if (q > GetLength()) return;
    if (none) {
      selStart_ = p, selEnd_ = q - 1;
    } else if (p == selEnd_ + 1) {
      selEnd_ = q - 1;
    } else if (p == selStart_) {
      const int32_t end = selEnd_;
      selStart_ = q;
      if (q > end + 1)
        selStart_ = end + 1, selEnd_ = q - 1;
      else if (q == end + 1)
        selStart_ = selEnd_ = -1;
    } else {
      selStart_ = selEnd_ = -1;
    }
    return;
  }
  if (p <= 0) return;
  if (none) {
    selStart_ = q, selEnd_ = p - 1;
  } else if (p == selStart_) {
    selStart_ = q;
  } else if (p == selEnd_ + 1) {
    const int32_t start = selStart_;
    selEnd_ = q - 1;
    if (q <= start) {
      selStart_ = q, selEnd_ = start - 1;
      if (q == start) selStart_ = selEnd_ = -1;
    }
  } else {
    selStart_ = selEnd_ = -1;
  }
}

bool cEditChild::DeleteSelection() {
  if (readOnly_ || !HasSelection()) return false;
  const int32_t start = selStart_, end = selEnd_, n = GetLength();
  selStart_ = selEnd_ = -1;
  std::copy(text_.data + end + 1, text_.data + n, text_.data + start);
  std::fill(text_.data + start + (n - end - 1), text_.data + n, char16_t{0});
  caret_ = start;
  Invalidate(nullptr);
  return true;
}

void cEditChild::SelectAll() {
  selStart_ = selEnd_ = -1;
  ExtendSelection(0, GetLength());
  caret_ = GetLength();
  Invalidate(nullptr);
}

void cEditChild::CopySelection() {
  if (!HasSelection()) return;
  const int32_t n = selEnd_ - selStart_ + 1;
  _typebuf<char16_t> part(n + 1);
  std::copy(text_.data + selStart_, text_.data + selEnd_ + 1, part.data);
  part.data[n] = 0;
  WriteClipboardText(part.data, n + 1);
}

void cEditChild::Paste() {
  if (readOnly_ || text_.count < 1) return;
  DeleteSelection();
  _guardchar<char16_t> pasted;
  if (!ReadClipboardText(&pasted) || pasted.IsEmpty()) return;
  const int32_t n = GetLength(), capacity = text_.count, oldCaret = std::min(caret_, n);
  const std::u16string tail(text_.data + oldCaret, text_.data + n);
  int32_t at = oldCaret;
  for (const char16_t* p = pasted.text; *p != 0 && at < capacity - 1; ++p) text_.data[at++] = *p;
  caret_ = at;
  // The rest of the old text, as far as it fits before the last unit.
  for (char16_t c : tail) {
    if (at >= capacity - 1) break;
    text_.data[at++] = c;
  }
  std::fill(text_.data + at, text_.data + capacity, char16_t{0});
  Invalidate(nullptr);
}

int32_t cEditChild::CharIndexAt(int32_t x) const {
  const int32_t n = GetLength(), v = x - scroll_;
  for (int32_t i = 0; i < n && i < edges_.count; ++i) {
    if (v < edges_.data[i]) {
      const int32_t left = i > 0 ? edges_.data[i - 1] : 0;
      return edges_.data[i] - v < v - left ? i + 1 : i;
    }
  }
  return n;
}

// ---- Typing and keys ------------------------------------------------------------------------

void cEditChild::InsertAtCaret(char16_t c) {
  const int32_t n = GetLength();
  if (n >= text_.count - 1) return;  // full: the character is dropped
  const int32_t at = std::min(caret_, n);
  std::copy_backward(text_.data + at, text_.data + n + 1, text_.data + n + 2);
  text_.data[at] = c;
  caret_ = at + 1;
  Invalidate(nullptr);
}

void cEditChild::DeleteAt(int32_t index) {
  const int32_t n = GetLength();
  if (index < 0 || index >= n) return;
  std::copy(text_.data + index + 1, text_.data + n + 1, text_.data + index);
  caret_ = index;
  Invalidate(nullptr);
}

void cEditChild::OnChar(char16_t c, bool, bool, bool) {
  if (readOnly_ || text_.count < 1) return;
  DeleteSelection();
  InsertAtCaret(c);
}

void cEditChild::CaretMoved(int32_t old, bool shift) {
  if (caret_ != old) Invalidate(nullptr);
  if (!shift) {
    selStart_ = selEnd_ = -1;
    Invalidate(nullptr);
  } else {
    ExtendSelection(old, caret_);
    Invalidate(nullptr);
  }
}

void cEditChild::OnKey(int32_t key, bool shift, bool control, bool) {
  const int32_t n = GetLength(), old = caret_;
  switch (key) {
    case 8:
      if (readOnly_) return;
      if (!DeleteSelection() && caret_ > 0) DeleteAt(caret_ - 1);
      return;
    case 13: PostKind(7); return;
    case 27:
      if (HasSelection())
        ClearSelection();
      else
        PostKind(8);
      return;
    case 35: case 40: caret_ = n; break;
    case 36: case 38: caret_ = 0; break;
    case 37:
      if (caret_ > 0) {
        if (control) {
          const bool space = IsEditSpace(text_.data[caret_ - 1]);
          int32_t k = caret_ - 1;
          while (k > 0 && IsEditSpace(text_.data[k - 1]) == space) --k;
          caret_ = k;
        } else {
          --caret_;
        }
      }
      break;
    case 39:
      if (caret_ < n) {
        if (control) {
          const bool space = IsEditSpace(text_.data[caret_]);
          int32_t k = caret_;
          while (k < n && IsEditSpace(text_.data[k]) == space) ++k;
          caret_ = k;
        } else {
          ++caret_;
        }
      }
      break;
    case 45:
      if (control)
        CopySelection();
      else if (shift)
        Paste();
      return;
    case 46:
      if (readOnly_) return;
      if (shift) {
        CopySelection();
        DeleteSelection();
      } else if (!DeleteSelection()) {
        DeleteAt(caret_);
      }
      return;
    case 65:
      if (control) SelectAll();
      return;
    case 67:
      if (control) CopySelection();
      return;
    case 86:
      if (control) Paste();
      return;
    case 88:
      if (control) {
        CopySelection();
        DeleteSelection();
      }
      return;
    default: return;
  }
  CaretMoved(old, shift);
}

// ---- Mouse and focus ------------------------------------------------------------------------

void cEditChild::OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) {
  if (button == 1) {
    if (down) {
      selStart_ = selEnd_ = -1;
      CaptureMouse(false);
      selecting_ = 1;
      caret_ = CharIndexAt(x);
    } else {
      selecting_ = 0;
      ReleaseMouse();
    }
    Invalidate(nullptr);
    return;
  }
  if (button == 2 && !down && IsEnabledInTree()) ShowContextMenu(x, y);
}

void cEditChild::OnMouseMove(int32_t x, int32_t y) {
  cChildElement::OnMouseMove(x, y);
  if (!selecting_) return;
  const int32_t at = CharIndexAt(x);
  if (at == caret_) return;
  ExtendSelection(caret_, at);
  caret_ = at;
  Invalidate(nullptr);
}

void cEditChild::OnDblClick(int32_t x, int32_t) {
  const int32_t n = GetLength();
  if (n == 0) return;
  const int32_t at = std::min(CharIndexAt(x), n - 1);
  const bool space = IsEditSpace(text_.data[at]);
  int32_t a = at, b = at;
  while (a > 0 && IsEditSpace(text_.data[a - 1]) == space) --a;
  while (b < n && IsEditSpace(text_.data[b]) == space) ++b;
  selStart_ = selEnd_ = -1;
  ExtendSelection(a, b);
  caret_ = b;
  Invalidate(nullptr);
}

void cEditChild::OnEnter() {
  cChildElement::OnEnter();
  hover_ = 1;
  Invalidate(nullptr);
}

void cEditChild::OnLeave() {
  cChildElement::OnLeave();
  hover_ = 0;
  Invalidate(nullptr);
}

void cEditChild::OnFocus(int32_t, bool, bool) {
  if (menuOpen_) return;
  if (selectAllOnFocus_ && !readOnly_) SelectAll();
  Invalidate(nullptr);
}

void cEditChild::OnLostFocus(bool, bool) {
  if (menuOpen_) return;
  selStart_ = selEnd_ = -1;
  Invalidate(nullptr);
  PostKind(9);
}

void cEditChild::ShowContextMenu(int32_t x, int32_t y) {
  tPopupItems items;
  auto add = [&](int32_t id, int32_t text) {
    if (sPopupItem* item = items.FindOrInsert(id)) item->text.Assign(GetLangString(text));
  };
  const int32_t n = GetLength();
  const bool selection = HasSelection();
  if (selection) {
    add(kMenuCopy, 0);
    if (!readOnly_) add(kMenuCut, 1), add(kMenuDelete, 3);
  }
  cWindowRequestTarget* host = FindHost();
  if (!readOnly_ && host != nullptr && host->HasClipboardData(true)) add(kMenuPaste, 2);
  if (n > 0 && !(selection && selStart_ == 0 && selEnd_ == n - 1)) add(kMenuSelectAll, 4);
  if (items.IsEmpty()) return;
  sPoint at{x, y};
  ClientToScreen(&at);
  sPopupStyle style;
  style.minimumWidth = 100;
  menuOpen_ = 1;
  const int32_t chosen = ShowPopupMenu(this, items, at.x, at.y, &style);
  menuOpen_ = 0;
  switch (chosen) {
    case kMenuCut:
      CopySelection();
      DeleteSelection();
      break;
    case kMenuCopy: CopySelection(); break;
    case kMenuPaste: Paste(); break;
    case kMenuDelete: DeleteSelection(); break;
    case kMenuSelectAll: SelectAll(); break;
    default: break;
  }
}

// ---- Paint ----------------------------------------------------------------------------------

void cEditChild::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const int32_t w = GetWidth(), h = GetHeight();
  const bool enabled = IsEnabledInTree(), focused = HasFocus();
  const int32_t state = !enabled ? kDisabled : focused ? kFocused : hover_ ? kHover : kNormal;
  const int32_t frameState = !enabled ? kDisabled : hover_ ? kHover : focused ? kFocused : kNormal;
  const uint32_t background = colours_[state][0], textColour = colours_[state][1];
  const sRect all{0, 0, w, h};
  canvas->DrawRect(&all, background, colours_[frameState][2]);
  const sRect inside{1, 1, w - 2, h - 2};
  if (inside.width <= 0 || inside.height <= 0) return;
  cCanvas* clip = canvas->CreateSubCanvas(&inside);
  if (clip == nullptr) return;
  clip->ApplyClip();
  const int32_t n = GetLength();
  // Drawn in the edit's coordinates on the inset sub-canvas.
  const int32_t ox = -1, oy = -1;
  sSize W;
  if (!focused && n == 0) {
    if (!hint_.IsEmpty()) {
      clip->SelectFont(hintFont_ != nullptr ? hintFont_ : GetDefaultFont());
      clip->MeasureText(u"W", 1, &W);
      clip->SetTextColours(GetTheme()->GetColour(kColourHint), background);
      clip->DrawText(ox + 2, oy + (h - W.height) / 2, true, hint_.text, -1);
    }
  } else {
    clip->SelectFont(font_ != nullptr ? font_ : GetDefaultFont());
    clip->MeasureText(u"W", 1, &W);
    const int32_t th = W.height, y = (h - th) / 2;
    auto widthBefore = [&](int32_t units) {
      sSize s;
      if (units <= 0 || !clip->MeasureText(text_.data, units, &s)) return 0;
      return s.width;
    };
    const int32_t caret = std::min(caret_, n);
    int32_t x;
    if (caret == 0) {
      scroll_ = 0;
      x = 1;
    } else {
      const int32_t before = widthBefore(caret);
      x = scroll_ + before + 1;
      if (x > w - 2) {
        scroll_ = w - before - 3;
        x = scroll_ + before + 1;
      }
      if (x < w / 8) {
        scroll_ = std::min(0, scroll_ + std::max(1 - x, w / 4));
        x = scroll_ + before + 1;
      }
    }
    if (n > 0 && edges_.count >= n) {
      _typebuf<int32_t> extents;
      if (clip->GetCharExtents(text_.data, n, &extents) && extents.count >= n)
        std::copy(extents.data, extents.data + n, edges_.data);
    }
    int32_t tx = ox + scroll_ + 2;
    auto piece = [&](int32_t from, int32_t to, uint32_t fore, uint32_t back) {
      if (to <= from) return;
      clip->SetTextColours(fore, back);
      clip->DrawText(tx, oy + y, false, text_.data + from, to - from);
      sSize s;
      clip->MeasureText(text_.data + from, to - from, &s);
      tx += s.width;
    };
    if (!HasSelection()) {
      piece(0, n, textColour, background);
    } else {
      const uint32_t selBack = (focused || menuOpen_) ? selectionFocused_ : selectionUnfocused_;
      piece(0, selStart_, textColour, background);
      piece(selStart_, selEnd_ + 1, GetTheme()->GetColour(kColourSelText), selBack);
      piece(selEnd_ + 1, n, textColour, background);
    }
    if (focused && enabled && (!readOnly_ || selectableReadOnly_)) {
      clip->SetLinePen(textColour, 1);
      clip->DrawLine(sPoint{ox + x, oy + y}, sPoint{ox + x, oy + y + th});
    }
  }
  delete clip;
  canvas->ApplyClip();
}
