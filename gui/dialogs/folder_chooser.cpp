// See gui/dialogs/folder_chooser.h.
#include "gui/dialogs/folder_chooser.h"

#include <string>

#include "base/packed_key.h"
#include "base/paths.h"
#include "base/sorted_tree.h"
#include "base/strings.h"
#include "gui/dialogs/chooser_common.h"
#include "gui/dialogs/file_chooser.h"
#include "gui/dialogs/message_box.h"
#include "gui/panel.h"
#include "gui/theme.h"

namespace {

// Texts of "wekt::folderchoose".
enum : int32_t {
  kTextComputer = 0, kTextFileExists = 1, kTextFolderExists = 2, kTextCannotCreate = 3, kTextSpecialExists = 4,
  kTextNewFolder = 5, kTextSelect = 6, kTextCancel = 7
};
constexpr int32_t kMetricTopX = 4, kMetricTopY = 3, kMetricTopHeight = 5;
constexpr int32_t kMetricBarHeight = 7, kMetricBarBottom = 8;
constexpr int32_t kPathCapacity = 32768;

using tContent = cFolderChooseDialog::cTreeFoldersContentItem;

tContent* ContentOf(cTreeViewChild::cTreeViewItem* item) {
  return item != nullptr ? static_cast<tContent*>(item->userData) : nullptr;
}

// Whether item is still among the tree's items: an action posted for an
// item may arrive after a listing replaced it.
bool Holds(cTreeItem* first, const cTreeItem* item) {
  for (cTreeItem* i = first; i != nullptr; i = i->next)
    if (i == item || Holds(i->firstChild, item)) return true;
  return false;
}

}  // namespace

cFolderChooseDialog::cFolderChooseDialog(_guardchar<char16_t>* result) : result_(result) {}

cFolderChooseDialog::~cFolderChooseDialog() {
  tree_.DeleteAll();
  content_.DeleteAll();
  cPanelChild* client = GetClientPanel();
  client->RemoveChild(&tree_);
  client->RemoveChild(&edit_);
  RemoveChild(&topBar_);
  RemoveChild(&newBar_);
  RemoveChild(&bottomBar_);
}

void cFolderChooseDialog::InitDefaults() {
  cCustomForm::InitDefaults();
  if (barStore_.IsEmpty()) {
    cCITheme* theme = GetTheme();
    barStore_.Set(0, theme->GetPicture(84));
    bottomStore_.Set(0, theme->GetPicture(80));
    bottomStore_.Set(1, theme->GetPicture(78));
    bottomStore_.Set(2, theme->GetPicture(81));
    treeStore_.Set(kKindDrive, theme->GetPicture(43));
    treeStore_.Set(kKindFolder, theme->GetPicture(48));
    treeStore_.Set(kKindComputer, theme->GetPicture(42));
  }
}

void cFolderChooseDialog::OnCreate() {
  cCustomForm::OnCreate();
  InitDefaults();
  SetMinSize(300, 350);
  cCITheme* theme = GetTheme();
  const int32_t mx = theme->GetMetric(kMetricTopX);
  PlaceChild(&topBar_, mx, theme->GetMetric(kMetricTopY), -2 * mx - 1, theme->GetMetric(kMetricTopHeight));
  topBar_.SetTransparent(true);
  topBar_.SetImages(0, &barStore_);
  topBar_.SetButton(1, GetLangText(kTextNewFolder), 0);

  cPanelChild* client = GetClientPanel();
  client->PlaceChild(&tree_, 0, 0, -1, -29);
  tree_.SetImageLists(&treeStore_, nullptr, nullptr);
  client->PlaceChild(&edit_, 0, -26, -1, 18);
  edit_.ReserveText(kPathCapacity);

  PopulateRoot();

  AddChild(&bottomBar_, 0, 0, 1, 1, 0);
  bottomBar_.SetTransparent(true);
  bottomBar_.SetImages(0, &bottomStore_);
  bottomBar_.SetButton(1, GetLangText(kTextSelect), 0);
  bottomBar_.SetButton(2, GetLangText(kTextCancel), 1);
  PlaceBottomBar(this, &bottomBar_);
  // The New folder row on the same line, at the left.
  AddChild(&newBar_, 0, 0, 1, 1, 0);
  newBar_.SetTransparent(true);
  newBar_.SetButtonsFocusable(false);
  newBar_.SetImages(0, &barStore_);
  newBar_.SetButton(1, GetLangText(kTextNewFolder), 0);
  const int32_t height = theme->GetMetric(kMetricBarHeight);
  PlaceChild(&newBar_, 10, -theme->GetMetric(kMetricBarBottom) - 1 - height, newBar_.GetButtonsWidth(), height);
  // It was laid out while it was 1 x 1; a bar without overflow does not lay
  // its buttons out again when it is resized.
  newBar_.Relayout();

  // The start folder: an existing folder, or the folder of an existing file.
  std::u16string start;
  if (result_ != nullptr && !result_->IsEmpty()) {
    const std::u16string given = result_->text;
    const int kind = GetPathKind(given.c_str());
    if (kind == tw::kPathDirectory) {
      start = given;
    } else if (kind == tw::kPathFile) {
      const size_t slash = given.rfind(u'/');
      if (slash != std::u16string::npos && GetPathKind(given.substr(0, slash).c_str()) == tw::kPathDirectory)
        start = given.substr(0, slash);
    }
  }
  if (result_ != nullptr) result_->Clear();
  if (!start.empty())
    SelectPath(start.c_str());
  else
    EnableNewFolder(false);
  client->RequestFocus(&edit_);
}

cFolderChooseDialog::cTreeFoldersContentItem* cFolderChooseDialog::Current() const { return ContentOf(current_); }

cFolderChooseDialog::cTreeFoldersContentItem* cFolderChooseDialog::AddNode(cTreeFoldersContentItem* parent,
                                                                           int32_t kind, const char16_t* path,
                                                                           const char16_t* text,
                                                                           cTreeViewChild::cTreeViewItem* after) {
  auto* node = new cTreeFoldersContentItem();
  node->kind = kind;
  node->path.Assign(path);
  content_.AttachAfter(parent, node, nullptr);
  auto* item = new cTreeViewChild::cTreeViewItem();
  item->text.Assign(text);
  item->picture = kind;
  item->userData = node;
  node->item = item;
  tree_.InsertItem(parent != nullptr ? parent->item : nullptr, item, after);
  return node;
}

void cFolderChooseDialog::PopulateRoot() {
  auto* root = AddNode(nullptr, kKindComputer, u"", GetLangText(kTextComputer), nullptr);
  root->listed = 1;
  if (!root->listing.ReadPlaces()) return;
  const cDirListing& places = root->listing;
  for (auto* n = places.Entries().First(); n != nullptr; n = cSortedTree<int32_t, sDirEntry>::Next(n)) {
    const sDirEntry& e = n->value;
    int32_t kind;
    if (e.kind == sDirEntry::kFolder || e.kind == sDirEntry::kHome)
      kind = kKindFolder;
    else if (e.kind == sDirEntry::kDrive || e.kind == sDirEntry::kOfflineNetworkDrive)
      kind = kKindDrive;
    else
      continue;
    AddNode(root, kind, e.path.text, !e.displayText.IsEmpty() ? e.displayText.text : e.path.text,
            static_cast<cTreeViewChild::cTreeViewItem*>(root->item->lastChild));
  }
}

bool cFolderChooseDialog::ListFolder(cTreeFoldersContentItem* node) {
  if (node == nullptr) return false;
  if (current_ != nullptr && node->item != current_ && node->item != nullptr) {
    // The current item may be among the children that go.
    for (cTreeItem* p = current_; p != nullptr; p = p->parent)
      if (p == node->item && p != current_) current_ = nullptr;
  }
  tree_.DeleteChildren(node->item);
  cTreeItemRoot::DeleteChildren(node);
  const bool read = node->listing.ReadDirectory(node->path.text, true);
  node->listed = read ? 1 : 0;
  if (read) {
    // Children ordered by their text; equal texts keep the listing order.
    cSortedTree<sSeqKey<cPackedKey>, const sDirEntry*> byName(1536);
    int32_t seq = 0;
    const cDirListing& listing = node->listing;
    cSortedTree<int32_t, int32_t> kinds(512);
    for (auto* n = listing.Entries().First(); n != nullptr; n = cSortedTree<int32_t, sDirEntry>::Next(n)) {
      const sDirEntry& e = n->value;
      if (e.hidden) continue;
      if (e.kind != sDirEntry::kFolder && e.kind != sDirEntry::kHome && e.kind != sDirEntry::kDrive &&
          e.kind != sDirEntry::kOfflineNetworkDrive)
        continue;
      sSeqKey<cPackedKey> key;
      key.key.FromWide(!e.displayText.IsEmpty() ? e.displayText.text : e.path.text, -1);
      key.seq = seq++;
      if (const sDirEntry** slot = byName.FindOrInsert(std::move(key))) *slot = &e;
      if (int32_t* id = kinds.FindOrInsert(seq - 1)) *id = n->key;
    }
    cTreeViewChild::cTreeViewItem* after = nullptr;
    for (auto* n = byName.First(); n != nullptr; n = decltype(byName)::Next(n)) {
      const sDirEntry& e = *n->value;
      const int32_t kind =
          (e.kind == sDirEntry::kFolder || e.kind == sDirEntry::kHome) ? kKindFolder : kKindDrive;
      const int32_t* id = kinds.Find(n->key.seq);
      _guardchar<char16_t> full;
      if (id != nullptr) listing.GetEntryPath(*id, full);
      tContent* child =
          AddNode(node, kind, full.text, !e.displayText.IsEmpty() ? e.displayText.text : e.path.text, after);
      after = child->item;
    }
  }
  tree_.SelectItem(node->item, true);
  current_ = node->item;
  return read;
}

void cFolderChooseDialog::SelectPath(const char16_t* path) {
  if (path == nullptr || GetPathKind(path) != tw::kPathDirectory) return;
  tContent* at = Root();
  if (at == nullptr) return;
  std::u16string prefix;
  _guardchar<char16_t> component;
  const char16_t* rest = path;
  while (rest != nullptr) {
    rest = SplitPathHead(rest, &component);
    if (component.IsEmpty()) continue;
    if (!prefix.empty() && prefix.back() != u'/') prefix.push_back(u'/');
    prefix += component.text;
    tContent* found = nullptr;
    for (cTreeItem* c = at->firstChild; c != nullptr && found == nullptr; c = c->next) {
      auto* node = static_cast<tContent*>(c);
      if (node->path.text != nullptr && CompareNoCaseW(node->path.text, prefix.c_str()) == 0) found = node;
    }
    if (found == nullptr)
      found = AddNode(at, kKindFolder, prefix.c_str(), prefix.c_str(),
                      static_cast<cTreeViewChild::cTreeViewItem*>(at->item->lastChild));
    ListFolder(found);
    at = found;
  }
  if (result_ != nullptr) result_->Assign(prefix.c_str());
  edit_.SetEditText(prefix.c_str(), -1);
  tree_.SelectItem(at->item, true);
  current_ = at->item;
  EnableNewFolder(!prefix.empty());
}

void cFolderChooseDialog::EnableNewFolder(bool enable) {
  topBar_.EnableButton(1, enable);
  newBar_.EnableButton(1, enable);
}

void cFolderChooseDialog::TakeNode(cTreeFoldersContentItem* node) {
  const char16_t* path = node->path.text != nullptr ? node->path.text : u"";
  if (result_ != nullptr) result_->Assign(path);
  edit_.SetEditText(path, -1);
  EnableNewFolder(path[0] != 0);
  current_ = node->item;
}

void cFolderChooseDialog::NewFolder() {
  if (result_ == nullptr || result_->IsEmpty() || current_ == nullptr) return;
  _guardchar<char16_t> name;
  if (!AskNewFolderName(this, &name) || name.IsEmpty()) return;
  bool existed = false;
  const std::u16string path = MakeFolderIn(this, result_->text, name.text,
                                           {kTextFileExists, kTextCannotCreate, kTextSpecialExists}, &existed);
  if (path.empty()) return;
  if (existed)
    ShowWarningMessage(this, GetLangText(kTextFolderExists), nullptr);
  else
    SelectPath(path.c_str());
}

bool cFolderChooseDialog::OnEnterKey() {
  const char16_t* typed = edit_.GetText();
  if (typed == nullptr) typed = u"";
  if (result_ == nullptr) return true;
  if (result_->IsEmpty() || CompareWide(result_->text, typed) != 0) {
    std::u16string text = typed;
    text.push_back(0);
    NormalizePath(text.data());
    SelectPath(text.c_str());
    return true;
  }
  EndModal(1);
  return true;
}

bool cFolderChooseDialog::OnEscapeKey() {
  EndModal(0);
  return true;
}

bool cFolderChooseDialog::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr) return false;
  if ((sender == &topBar_ || sender == &newBar_) && action->kind == 7) {
    if (static_cast<cToolBarChild::cTbButtonAction*>(action)->id == 1) NewFolder();
    return true;
  }
  if (sender == &tree_ && action->kind == 8) {
    auto* item = static_cast<cTreeViewChild::cTreeItemAction*>(action)->item;
    if (!Holds(tree_.FirstItem(), item)) return true;
    tContent* node = ContentOf(item);
    if (node == nullptr) return true;
    if (!node->listed) ListFolder(node);
    TakeNode(node);
    return true;
  }
  if (sender == &tree_ && action->kind == 9) {
    auto* ctx = static_cast<cTreeViewChild::cTreeItemCtxAction*>(action);
    if (!Holds(tree_.FirstItem(), ctx->item)) return true;
    tContent* node = ContentOf(ctx->item);
    if (node == nullptr || node->path.IsEmpty()) return true;
    tPopupItems items;
    items.FindOrInsert(1)->text.Assign(GetLangText(kTextNewFolder));
    if (ShowContextMenu(this, &tree_, items, ctx->x, ctx->y) == 1) {
      TakeNode(node);
      NewFolder();
    }
    return true;
  }
  if (sender == &bottomBar_ && AnswerBarAction(this, action)) return true;
  return cCustomForm::OnAction(sender, action);
}

bool ChooseFolder(cChildElement* owner, const char16_t* title, _guardchar<char16_t>* path) {
  if (owner == nullptr || path == nullptr) return false;
  auto* dialog = new cFolderChooseDialog(path);
  return owner->ShowModal(title != nullptr ? title : u"", 500, 600, dialog, true) != 0;
}
