// See gui/controls/tree_view.h.
#include "gui/controls/tree_view.h"

#include <algorithm>

#include "gui/canvas.h"
#include "gui/picture.h"
#include "gui/theme.h"

namespace {
enum : int32_t { kColourText = 4, kColourBackground = 14, kColourHover = 15, kColourSelectedBackground = 16,
                 kColourSelectedText = 9, kColourInactiveBackground = 18, kColourBorder = 21 };
constexpr int32_t kIndent = 16;
constexpr int32_t kExpanderWidth = 16;
constexpr uint32_t kPictureCollapsed = 68, kPictureExpanded = 69, kPictureConnector = 70, kPictureLast = 71;
enum : int32_t { kVkEnter = 13, kVkSpace = 32, kVkLeft = 37, kVkUp = 38, kVkRight = 39, kVkDown = 40,
                 kVkAdd = 107, kVkSubtract = 109 };
}  // namespace

// ---- cSISelectableElement ----

void cSISelectableElement::InitDefaults() {
  cStaticElement::InitDefaults();
  cCITheme* theme = GetTheme();
  normalText_ = theme->GetColour(kColourText);
  normalBackground_ = theme->GetColour(kColourBackground);
  hoverText_ = theme->GetColour(kColourText);
  hoverBackground_ = theme->GetColour(kColourHover);
  selectedText_ = theme->GetColour(kColourSelectedText);
  selectedBackground_ = theme->GetColour(kColourSelectedBackground);
  selected_ = hovered_ = 0;
  selectable_ = 1;
  ShowState();
}

void cSISelectableElement::ShowState() {
  if (selected_) {
    SetTextColour(selectedText_);
    SetLabelBackground(selectedBackground_);
  } else if (hovered_) {
    SetTextColour(hoverText_);
    SetLabelBackground(hoverBackground_);
  } else {
    SetTextColour(normalText_);
    SetLabelBackground(normalBackground_);
  }
}

void cSISelectableElement::OnEnter() {
  cStaticElement::OnEnter();
  if (!selectable_) return;
  hovered_ = 1;
  if (!selected_) ShowState();
}

void cSISelectableElement::OnLeave() {
  cStaticElement::OnLeave();
  if (!selectable_) return;
  hovered_ = 0;
  if (!selected_) ShowState();
}

void cSISelectableElement::OnDblClick(int32_t, int32_t) {
  if (selectable_) PostKind(8);
}

void cSISelectableElement::OnKey(int32_t key, bool, bool, bool) {
  if (selectable_ && (key == kVkEnter || key == kVkSpace)) PostKind(8);
}

void cSISelectableElement::OnFocus(int32_t how, bool control, bool shift) {
  if (!selectable_) return;
  selected_ = 1;
  ShowState();
  SetIcon(GetIcon(), true);
  // A focus set by the program is no choice of the user's.
  if (how != 2) PostAction(new cSelectableSelectAction(control, shift));
}

void cSISelectableElement::OnLostFocus(bool, bool) {
  if (!selectable_) return;
  selected_ = 0;
  ShowState();
}

void cSISelectableElement::Select(bool focus) {
  if (!selected_) {
    selected_ = 1;
    ShowState();
    if (focus) PostAction(new cSelectableSelectAction(false, false));
  }
  if (focus) FocusSelfOrParent();
}

void cSISelectableElement::SetNormalColours(uint32_t text, uint32_t background) {
  normalText_ = text;
  normalBackground_ = background;
  if (!selected_ && !hovered_) ShowState();
}

void cSISelectableElement::GetNormalColours(uint32_t* text, uint32_t* background) const {
  if (text != nullptr) *text = normalText_;
  if (background != nullptr) *background = normalBackground_;
}

void cSISelectableElement::SetNormalBackground(uint32_t colour) { SetNormalColours(normalText_, colour); }

void cSISelectableElement::SetTextColours(uint32_t colour) {
  normalText_ = hoverText_ = selectedText_ = colour;
  SetTextColour(colour);
  Invalidate(nullptr);
}

// ---- cTreeItemElement and cTreeViewControlElement ----

void cTreeItemElement::OnChar(char16_t character, bool, bool, bool) {
  if (character == u'+') PostKind(9);
  if (character == u'-') PostKind(10);
}

void cTreeItemElement::OnKey(int32_t key, bool shift, bool control, bool alt) {
  if (key == kVkAdd) {
    PostKind(9);
  } else if (key == kVkSubtract) {
    PostKind(10);
  } else {
    cSISelectableElement::OnKey(key, shift, control, alt);
  }
}

void cTreeViewControlElement::OnMouseButton(int32_t, int32_t, int32_t button, bool down) {
  if (button == 1 && down && (state_ == kStateExpanded || state_ == kStateCollapsed)) PostKind(0);
}

// ---- cTreeViewChild ----

cTreeViewChild::cTreeViewItem::~cTreeViewItem() {
  for (cChildElement* e : {static_cast<cChildElement*>(expander), static_cast<cChildElement*>(label)}) {
    if (e != nullptr && e->GetParent() != nullptr) e->GetParent()->RemoveChild(e);
    delete e;
  }
  expander = nullptr;
  label = nullptr;
}

cTreeViewChild::~cTreeViewChild() {
  for (cTreeItem* i = root_.first; i != nullptr; i = i->next) ForgetElements(static_cast<cTreeViewItem*>(i), true);
  root_.DeleteAll();
}

void cTreeViewChild::InitDefaults() {
  cScrollableElement::InitDefaults();
  for (cTreeItem* i = root_.first; i != nullptr; i = i->next) ForgetElements(static_cast<cTreeViewItem*>(i), true);
  root_.DeleteAll();
  labels_.Clear();
  expanders_.Clear();
  SetPageSizes(GetWidth(), GetHeight());
  cCITheme* theme = GetTheme();
  background_ = theme->GetColour(kColourBackground);
  border_ = theme->GetColour(kColourBorder);
  inactiveText_ = theme->GetColour(kColourText);
  inactiveBackground_ = theme->GetColour(kColourInactiveBackground);
  selected_ = marked_ = nullptr;
  savedText_ = savedBackground_ = 0;
  stores_[0] = stores_[1] = stores_[2] = nullptr;
}

cTreeViewChild::cTreeViewItem* cTreeViewChild::ItemOfLabel(cChildElement* label) const {
  cTreeViewItem* const* item = labels_.Find(label);
  return item != nullptr ? *item : nullptr;
}

bool cTreeViewChild::InsertItem(cTreeViewItem* parent, cTreeViewItem* item, cTreeViewItem* after) {
  if (item == nullptr) return false;
  root_.AttachAfter(parent, item, after);
  Layout();
  return true;
}

void cTreeViewChild::ForgetElements(cTreeViewItem* item, bool withSelf) {
  if (item == nullptr) return;
  if (withSelf) {
    if (item->label != nullptr) {
      RemoveChild(item->label);
      labels_.EraseKey(item->label);
    }
    if (item->expander != nullptr) {
      RemoveChild(item->expander);
      expanders_.EraseKey(item->expander);
    }
  }
  for (cTreeItem* c = item->firstChild; c != nullptr; c = c->next) ForgetElements(static_cast<cTreeViewItem*>(c), true);
}

bool cTreeViewChild::DeleteChildren(cTreeViewItem* item) {
  if (item == nullptr) return DeleteAll();
  Unmark();
  selected_ = nullptr;
  ForgetElements(item, false);
  cTreeItemRoot::DeleteChildren(item);
  Layout();
  return true;
}

bool cTreeViewChild::DeleteAll() {
  Unmark();
  selected_ = nullptr;
  if (root_.first == nullptr) return false;
  for (cTreeItem* i = root_.first; i != nullptr; i = i->next) ForgetElements(static_cast<cTreeViewItem*>(i), true);
  root_.DeleteAll();
  labels_.Clear();
  expanders_.Clear();
  Layout();
  return true;
}

bool cTreeViewChild::Expand(cTreeViewItem* item, bool notify) {
  if (item == nullptr || item->label == nullptr || !item->collapsed || !HasChildren(item)) return false;
  item->collapsed = 0;
  OnBeforeExpand(item);
  Layout();
  if (notify) PostAction(new cTreeItemAction(10, item));
  return true;
}

bool cTreeViewChild::SelectItem(cTreeViewItem* item, bool focus) {
  if (item == nullptr || item->label == nullptr) return false;
  selected_ = item;
  if (focus) {
    item->label->FocusSelfOrParent();
    // A selection made by the program (a start folder deep in the tree)
    // must be seen, as one made with the keys is.
    EnsureChildVisible(item->label);
  } else {
    ShowInactiveSelection(item);
  }
  return true;
}

void cTreeViewChild::Mark(cTreeViewItem* item) {
  if (item == nullptr || item->label == nullptr) return;
  item->label->GetNormalColours(&savedText_, &savedBackground_);
  item->label->SetNormalColours(inactiveText_, inactiveBackground_);
  marked_ = item;
}

void cTreeViewChild::Unmark() {
  if (marked_ != nullptr && marked_->label != nullptr) marked_->label->SetNormalColours(savedText_, savedBackground_);
  marked_ = nullptr;
}

void cTreeViewChild::ShowInactiveSelection(cTreeViewItem* item) {
  if (item == marked_ || item == nullptr) return;
  Unmark();
  Mark(item);
  if (item->label != nullptr) EnsureChildVisible(item->label);
}

void cTreeViewChild::SetImageLists(cImageStore* first, cImageStore* second, cImageStore* third) {
  if (stores_[0] == first && stores_[1] == second && stores_[2] == third) return;
  stores_[0] = first;
  stores_[1] = second;
  stores_[2] = third;
  Layout();
}

bool cTreeViewChild::FocusFirst() {
  cTreeViewItem* first = FirstItem();
  if (first == nullptr || first->label == nullptr) return false;
  first->label->Select(true);
  return true;
}

void cTreeViewChild::Layout() {
  int32_t widest = 0, smallest = GetHeight();
  const int32_t y = LayoutChain(FirstItem(), 0, true, 1, widest, smallest);
  SetContentHeight(y);
  SetContentWidth(widest);
  SetLineSteps(5, std::max(1, smallest));
  Invalidate(nullptr);
}

int32_t cTreeViewChild::LayoutChain(cTreeViewItem* first, int32_t depth, bool visible, int32_t y, int32_t& widest,
                                    int32_t& smallest) {
  cCITheme* theme = GetTheme();
  for (cTreeViewItem* item = first; item != nullptr; item = static_cast<cTreeViewItem*>(item->next)) {
    if (item->label == nullptr) {
      item->label = CreateItemLabel();
      AddChild(item->label, 0, 0, 1, 1, 0);
      item->label->SetArrowStop(true);
      item->label->SetDoubleBuffered(true);
      if (cTreeViewItem** slot = labels_.FindOrInsert(item->label)) *slot = item;
      item->expander = CreateItemExpander();
      AddChild(item->expander, 0, 0, 1, 1, 0);
      item->expander->SetDoubleBuffered(true);
      if (cTreeViewItem** slot = expanders_.FindOrInsert(item->expander)) *slot = item;
      OnItemElementsCreated(item, item->label);
    }
    cSISelectableElement* label = item->label;
    cTreeViewControlElement* expander = item->expander;
    label->SetText(item->text.text, -1, false);
    if (item->picture >= 0) label->SetIcon(stores_[0] != nullptr ? stores_[0]->Find(item->picture) : nullptr, false);
    if (visible) {
      sSize size{0, 0};
      label->MeasureLabel(size);
      const int32_t x = kIndent + depth * kIndent + 1;
      label->SetPos(x, y, size.width, size.height);
      expander->SetPos(x - kExpanderWidth, y, kExpanderWidth, size.height);
      y += size.height;
      widest = std::max(widest, x + size.width);
      smallest = std::min(smallest, size.height);
      label->SetNormalBackground(item == marked_ ? inactiveBackground_ : background_);
      expander->SetLabelBackground(background_);
      expander->SetFrameColour(background_);
      if (item->textColour != -1) label->SetTextColours(static_cast<uint32_t>(item->textColour));
      label->Show(false);
      expander->Show(false);
    } else {
      label->Hide(false);
      expander->Hide(false);
    }
    int32_t state;
    if (HasChildren(item)) {
      y = LayoutChain(static_cast<cTreeViewItem*>(item->firstChild), depth + 1, visible && !item->collapsed, y,
                      widest, smallest);
      state = item->collapsed ? cTreeViewControlElement::kStateCollapsed : cTreeViewControlElement::kStateExpanded;
    } else {
      state = item->next != nullptr ? cTreeViewControlElement::kStateConnector : cTreeViewControlElement::kStateLast;
    }
    if (state != expander->GetState()) {
      expander->SetState(state);
      const uint32_t picture = state == cTreeViewControlElement::kStateCollapsed  ? kPictureCollapsed
                               : state == cTreeViewControlElement::kStateExpanded ? kPictureExpanded
                               : state == cTreeViewControlElement::kStateConnector ? kPictureConnector
                                                                                   : kPictureLast;
      expander->SetIcon(theme->GetPicture(picture), false);
      expander->SetCursor(state >= cTreeViewControlElement::kStateExpanded ? 3 : 0);
      expander->Invalidate(nullptr);
    }
  }
  return y;
}

bool cTreeViewChild::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr) return cScrollableElement::OnAction(sender, action);
  if (cTreeViewItem* item = ItemOfLabel(sender)) {
    switch (action->kind) {
      case 2: {
        auto* ctx = static_cast<cCtxRequestAction*>(action);
        PostAction(new cTreeItemCtxAction(item, ctx->x + sender->GetX() - GetScrollX(),
                                          ctx->y + sender->GetY() - GetScrollY()));
        return true;
      }
      case 7:
        if (item != selected_) {
          selected_ = item;
          PostAction(new cTreeItemAction(8, item));
        }
        return true;
      case 8:
        PostAction(new cTreeItemAction(7, item));
        return true;
      case 9:
        if (item->collapsed) {
          item->collapsed = 0;
          OnBeforeExpand(item);
          Layout();
          PostAction(new cTreeItemAction(10, item));
        }
        return true;
      case 10:
        if (!item->collapsed) {
          item->collapsed = 1;
          Layout();
          PostAction(new cTreeItemAction(10, item));
        }
        return true;
      default:
        break;
    }
  } else if (action->kind == 0) {
    cTreeViewItem* const* found = expanders_.Find(sender);
    if (found != nullptr) {
      cTreeViewItem* item = *found;
      OnBeforeExpand(item);
      if (!HasChildren(item)) return true;
      item->collapsed = item->collapsed ? 0 : 1;
      if (item->label != nullptr) item->label->Select(true);
      Layout();
      PostAction(new cTreeItemAction(10, item));
      return true;
    }
  }
  return cScrollableElement::OnAction(sender, action);
}

bool cTreeViewChild::Key(int32_t key, bool shift, bool control, bool alt) {
  const bool arrow = key == kVkLeft || key == kVkUp || key == kVkRight || key == kVkDown;
  if (shift || alt || !arrow) return cScrollableElement::Key(key, shift, control, alt);
  cTreeViewItem* at = selected_;
  if (at == nullptr) {
    FocusFirst();
    return true;
  }
  auto expandedWithChildren = [&](cTreeViewItem* i) { return !i->collapsed && HasChildren(i) && i->firstChild != nullptr; };
  cTreeItem* target = nullptr;
  if (control && key == kVkUp) {
    target = at->previous;
  } else if (control && key == kVkDown) {
    target = at->next;
  } else if (key == kVkLeft) {
    target = at->parent;
  } else if (key == kVkUp) {
    if (at->previous != nullptr) {
      target = at->previous;
      while (expandedWithChildren(static_cast<cTreeViewItem*>(target)))
        target = cTreeItemRoot::LastChild(target);
    } else {
      target = at->parent;
    }
  } else if (key == kVkRight) {
    if (HasChildren(at)) {
      if (at->collapsed) Expand(at, false);
      target = at->firstChild;
    }
  } else {  // Down
    if (expandedWithChildren(at)) {
      target = at->firstChild;
    } else {
      for (cTreeItem* i = at; i != nullptr && target == nullptr; i = i->parent) target = i->next;
    }
  }
  auto* item = static_cast<cTreeViewItem*>(target);
  if (item != nullptr && item->label != nullptr) item->label->Select(true);
  return true;
}

void cTreeViewChild::KillFocus(bool control, bool shift) {
  cScrollableElement::KillFocus(control, shift);
  if (selected_ != nullptr && marked_ == nullptr) Mark(selected_);
}

void cTreeViewChild::FocusAt(int32_t x, int32_t y, int32_t how, bool control, bool shift) {
  Unmark();
  cScrollableElement::FocusAt(x, y, how, control, shift);
}

bool cTreeViewChild::SetFocusTo(cChildElement* element) {
  Unmark();
  const bool result = cScrollableElement::SetFocusTo(element);
  if (selected_ != nullptr && selected_->label != nullptr) EnsureChildVisible(selected_->label);
  return result;
}

void cTreeViewChild::OnGotFocus(bool, bool) {
  cTreeViewItem* item = selected_ != nullptr ? selected_ : FirstItem();
  if (item != nullptr && item->label != nullptr) RequestFocus(item->label);
}

void cTreeViewChild::OnResize() {
  cScrollableElement::OnResize();
  SetPageSizes(GetWidth(), GetHeight());
}

void cTreeViewChild::PaintContent(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const sRect all{0, 0, GetWidth(), GetHeight()};
  canvas->DrawRect(&all, background_, border_);
}

// ---- SplitPathHead ----

const char16_t* SplitPathHead(const char16_t* path, _guardchar<char16_t>* component) {
  if (path == nullptr) return nullptr;
  const char16_t* slash = path;
  while (*slash != 0 && *slash != u'/') ++slash;
  if (*slash == 0) {
    if (component != nullptr) component->Assign(path);
    return nullptr;
  }
  if (component != nullptr) {
    if (slash == path)
      component->Assign(path[1] == u'/' ? u"//" : u"/");
    else
      component->AssignN(path, static_cast<uint32_t>(slash - path));
  }
  while (*slash == u'/') ++slash;
  return slash;
}
