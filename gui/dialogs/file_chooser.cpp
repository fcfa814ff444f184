// See gui/dialogs/file_chooser.h.
#include "gui/dialogs/file_chooser.h"

#include <climits>
#include <string>

#include "base/format.h"
#include "base/paths.h"
#include "base/strings.h"
#include "gui/dialogs/chooser_common.h"
#include "gui/panel.h"
#include "gui/picture.h"
#include "gui/theme.h"

namespace {

// Texts of "wekt::filechoose".
enum : int32_t {
  kTextCue = 0, kTextAccept = 1, kTextCancel = 2, kTextNewFolderTitle = 3, kTextHome = 4, kTextPlaces = 5,
  kTextNewFolder = 6, kTextName = 7, kTextDate = 8, kTextType = 9, kTextSize = 10, kTextFileName = 11,
  kTextAllFiles = 12, kTextSave = 13, kTextOpen = 14, kTextSaveHere = 15, kTextFileFolder = 16, kTextFile = 17,
  kTextFileSystem = 18, kTextFileExists = 19, kTextCannotCreate = 21, kTextSpecialExists = 22, kTextFilter = 23,
  kTextCustom = 24
};
enum : int32_t { kIconDrive = 0, kIconFolder = 1, kIconFile = 2, kIconOther = 3, kIconOffline = 4 };
constexpr int32_t kMetricTopX = 4, kMetricTopY = 3, kMetricTopHeight = 5;
constexpr int32_t kColourProgress = 27, kColourGround = 0;
constexpr int32_t kHiddenGrey = 0x808080;

cImageStore& TopStore() { return tw::SharedImageStore(tw::eSharedStore::kFileChooserTop); }
cImageStore& BottomStore() { return tw::SharedImageStore(tw::eSharedStore::kFileChooserBottom); }
cImageStore& ListStore() { return tw::SharedImageStore(tw::eSharedStore::kFileChooserList); }
cImageStore& NewFolderStore() { return tw::SharedImageStore(tw::eSharedStore::kFileChooserNewFolder); }

// The stores are filled once per process, on the first dialog.
void FillStores() {
  if (!TopStore().IsEmpty() || !BottomStore().IsEmpty()) return;
  cCITheme* theme = GetTheme();
  TopStore().Set(0, theme->GetPicture(82));
  TopStore().Set(1, theme->GetPicture(83));
  TopStore().Set(2, theme->GetPicture(84));
  BottomStore().Set(0, theme->GetPicture(80));
  BottomStore().Set(1, theme->GetPicture(78));
  BottomStore().Set(2, theme->GetPicture(81));
  ListStore().Set(kIconDrive, theme->GetPicture(43));
  ListStore().Set(kIconFolder, theme->GetPicture(48));
  ListStore().Set(kIconFile, theme->GetPicture(60));
  ListStore().Set(kIconOther, theme->GetPicture(63));
  ListStore().Set(kIconOffline, theme->GetPicture(44));
  NewFolderStore().Set(0, theme->GetPicture(77));
  NewFolderStore().Set(1, theme->GetPicture(78));
}

std::u16string Cleaned(const char16_t* text) {
  std::u16string s = text != nullptr ? text : u"";
  s.push_back(0);
  NormalizePath(s.data());
  s.resize(std::char_traits<char16_t>::length(s.c_str()));
  return s;
}

// The part before the last '/', or empty when there is none.
std::u16string ParentOf(const std::u16string& path) {
  const size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

bool IsFolder(const std::u16string& path) { return GetPathKind(path.c_str()) == tw::kPathDirectory; }

bool IsFolderLike(int32_t kind) {
  return kind == sDirEntry::kFolder || kind == sDirEntry::kHome || kind == sDirEntry::kDrive ||
         kind == sDirEntry::kOfflineNetworkDrive;
}

// Orders the list by a 64-bit key taken from the dialog's row of each cell,
// so that sorting never reads the listing (see the header's rule b).
class cRowSortProvider : public cListViewChild::cListViewSortProvider {
public:
  using tKey = uint64_t (*)(const sFileRow& row, const sListCell& cell);
  cRowSortProvider(const cSortedTree<int32_t, sFileRow>* rows, tKey key) : rows_(rows), key_(key) {}
  bool Reset() override {
    map_.Clear();
    seq_ = 0;
    return true;
  }
  bool Add(sListCell* cell) override {
    if (cell == nullptr) return false;
    const sFileRow* row = rows_->Find(cell->item);
    sSeqKey<uint64_t> k;
    k.key = row != nullptr ? key_(*row, *cell) : 0;
    k.seq = seq_++;
    sListCell** slot = map_.FindOrInsert(k);
    if (slot == nullptr) return false;
    *slot = cell;
    return true;
  }
  const void* NextAscending(const void* position, sListCell** cell) override { return Step(position, cell, true); }
  const void* NextDescending(const void* position, sListCell** cell) override {
    return Step(position, cell, false);
  }

private:
  using tMap = cSortedTree<sSeqKey<uint64_t>, sListCell*>;
  // Descending walks the groups of equal keys from the greatest down, each
  // group in the order of Add, so equal keys keep their previous order.
  const void* Step(const void* position, sListCell** cell, bool ascending) {
    auto* n = static_cast<tMap::Node*>(const_cast<void*>(position));
    auto groupStart = [&](tMap::Node* of) {
      sSeqKey<uint64_t> probe;
      probe.key = of->key.key;
      probe.seq = INT32_MIN;
      return map_.FindOrNext(probe);
    };
    if (ascending) {
      n = n == nullptr ? map_.First() : tMap::Next(n);
    } else if (n == nullptr) {
      n = map_.Last();
      if (n != nullptr) n = groupStart(n);
    } else {
      tMap::Node* next = tMap::Next(n);
      if (next != nullptr && next->key.key == n->key.key) {
        n = next;
      } else {
        tMap::Node* before = tMap::Prev(groupStart(n));
        n = before != nullptr ? groupStart(before) : nullptr;
      }
    }
    if (cell != nullptr) *cell = n != nullptr ? n->value : nullptr;
    return n;
  }
  const cSortedTree<int32_t, sFileRow>* rows_;
  tKey key_;
  tMap map_{2048};
  int32_t seq_ = 0;
};

}  // namespace

// ---- Sort keys ----

uint64_t FileSortKeyTime(const sDateTime* t) {
  if (t == nullptr) return 0;
  return (static_cast<uint64_t>(t->year) << 48) + (static_cast<uint64_t>(t->month) << 40) +
         (static_cast<uint64_t>(t->day) << 32) + (static_cast<uint64_t>(t->hour) << 24) +
         (static_cast<uint64_t>(t->minute) << 16) + (static_cast<uint64_t>(t->second) << 8);
}

uint64_t FileSortKeyInt(int32_t value) { return static_cast<uint64_t>(static_cast<int64_t>(value)); }

uint64_t FileSortKeyU64(const uint64_t* value) { return value != nullptr ? *value : 0; }

// ---- cFileChooseListFolder ----

cFileChooseListFolder::~cFileChooseListFolder() { Stop(kStopTimeoutMs); }

bool cFileChooseListFolder::CanNavigate(const char16_t* path) {
  if (path == nullptr || path[0] == 0) return true;
  if (GetPathKind(path) == tw::kPathDirectory) return true;
  const char16_t c = path[0];
  return ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) && path[1] == u':' && path[2] == 0;
}

int32_t cFileChooseListFolder::Navigate(const char16_t* path, const char16_t* hint) {
  select_.Assign(hint);
  if (path == nullptr || path[0] == 0) return listing_.ReadPlaces() ? 0 : 1;
  return listing_.ReadDirectory(path, true) ? 0 : 1;
}

// ---- cNewFolderNameReqForm ----

cNewFolderNameReqForm::~cNewFolderNameReqForm() {
  GetClientPanel()->RemoveChild(&edit_);
  RemoveChild(&toolbar_);
}

void cNewFolderNameReqForm::InitDefaults() {
  cCustomForm::InitDefaults();
  FillStores();
}

void cNewFolderNameReqForm::OnCreate() {
  cCustomForm::OnCreate();
  InitDefaults();
  cPanelChild* client = GetClientPanel();
  client->PlaceChild(&edit_, 5, 0, -11, 20);
  edit_.SetHintText(GetLangText(kTextCue));
  if (result_ != nullptr && result_->text != nullptr) edit_.SetEditText(result_->text, -1);
  AddChild(&toolbar_, 0, 0, 1, 1, 0);
  toolbar_.SetTransparent(true);
  toolbar_.SetImages(0, &NewFolderStore());
  toolbar_.SetButton(1, GetLangText(kTextAccept), 0);
  toolbar_.SetButton(2, GetLangText(kTextCancel), 1);
  PlaceBottomBar(this, &toolbar_);
  client->RequestFocus(&edit_);
}

bool cNewFolderNameReqForm::OnAction(cChildElement* sender, cChildAction* action) {
  if (sender == &toolbar_ && AnswerBarAction(this, action)) return true;
  return cCustomForm::OnAction(sender, action);
}

bool cNewFolderNameReqForm::OnEscapeKey() {
  EndModal(0);
  return true;
}

bool cNewFolderNameReqForm::OnEnterKey() {
  const char16_t* text = edit_.GetText();
  if (text == nullptr || text[0] == 0) {
    GetClientPanel()->RequestFocus(&edit_);
    return true;
  }
  if (result_ != nullptr) result_->Assign(text);
  EndModal(1);
  return true;
}

bool AskNewFolderName(cChildElement* owner, _guardchar<char16_t>* result, cNewFolderNameReqForm* form) {
  if (owner == nullptr || result == nullptr) {
    delete form;
    return false;
  }
  if (form == nullptr) form = new cNewFolderNameReqForm();
  form->SetResult(result);
  const char16_t* title = form->GetLangStringVia(owner, kTextNewFolderTitle);
  return owner->ShowModal(title != nullptr ? title : u"", 250, 100, form, false) != 0;
}

// ---- cFileChooseDialog ----

cFileChooseDialog::cFileChooseDialog(sFileChooseRequest* request) : request_(request) {}

cFileChooseDialog::~cFileChooseDialog() {
  // The lister posts to the bar: its job ends before anything goes.
  lister_.Stop(cJob::kStopTimeoutMs);
  cPanelChild* client = GetClientPanel();
  client->RemoveChild(&navBar_);
  client->RemoveChild(&list_);
  client->RemoveChild(&nameLabel_);
  client->RemoveChild(&edit_);
  client->RemoveChild(&types_);
  RemoveChild(&topBar_);
  RemoveChild(&bottomBar_);
}

void cFileChooseDialog::InitDefaults() {
  cCustomForm::InitDefaults();
  FillStores();
}

void cFileChooseDialog::OnCreate() {
  cCustomForm::OnCreate();
  InitDefaults();
  SetMinSize(350, 300);
  cCITheme* theme = GetTheme();
  const int32_t mx = theme->GetMetric(kMetricTopX);
  PlaceChild(&topBar_, mx, theme->GetMetric(kMetricTopY), -2 * mx - 1, theme->GetMetric(kMetricTopHeight));
  topBar_.SetTransparent(true);
  topBar_.SetImages(0, &TopStore());
  topBar_.SetButton(1, GetLangText(kTextHome), 0);
  topBar_.SetButton(2, GetLangText(kTextPlaces), 1);
  topBar_.SetButton(3, GetLangText(kTextNewFolder), 2);

  cPanelChild* client = GetClientPanel();
  client->PlaceChild(&navBar_, 0, 0, -1, cNavigationChild::kHeight);
  navBar_.SetProvider(&lister_);
  navBar_.SetProgressColour(theme->GetColour(kColourProgress), false);

  client->PlaceChild(&list_, 0, 24, -1, -80);
  list_.SetColumnTitle(kColumnName, GetLangText(kTextName), 190, 0);
  list_.SetColumnTitle(kColumnDate, GetLangText(kTextDate), 120, 0);
  list_.SetColumnTitle(kColumnType, GetLangText(kTextType), 70, 0);
  list_.SetColumnTitle(kColumnSize, GetLangText(kTextSize), 80, 2);
  list_.SetImageLists(&ListStore(), nullptr, nullptr);
  list_.SetSelectionStyle(true, false);
  list_.SetSortProvider(kColumnName, new cListViewChild::cListViewNameSortProvider());
  list_.SetSortProvider(kColumnDate, new cRowSortProvider(&rows_, [](const sFileRow& r, const sListCell&) {
                          return FileSortKeyTime(&r.writeTime);
                        }));
  list_.SetSortProvider(kColumnType, new cRowSortProvider(&rows_, [](const sFileRow&, const sListCell& c) {
                          return FileSortKeyInt(c.data);
                        }));
  list_.SetSortProvider(kColumnSize, new cRowSortProvider(&rows_, [](const sFileRow& r, const sListCell&) {
                          return FileSortKeyU64(&r.size);
                        }));

  const uint32_t ground = theme->GetColour(kColourGround);
  client->PlaceChild(&nameLabel_, 0, -50, 80, 22);
  nameLabel_.SetLabelText(GetLangText(kTextFileName), 0, false);
  nameLabel_.SetLabelBackground(ground);
  nameLabel_.SetFrameColour(ground);
  client->PlaceChild(&edit_, 80, -50, -280, 22);
  if (request_ != nullptr && !request_->result.IsEmpty()) edit_.SetEditText(request_->result.text, -1);
  client->PlaceChild(&types_, -191, -50, 190, 22);
  types_.SetEditable(false);

  // File types: entries with a description and patterns.
  int32_t first = -1;
  if (request_ != nullptr)
    for (int32_t i = 0; i < request_->filters.count; ++i) {
      const sFileChooseFilter& f = request_->filters.data[i];
      if (f.description.IsEmpty() || f.patterns.IsEmpty()) continue;
      types_.SetItem(i, f.description.text, i, -1);
      if (first < 0) {
        first = i;
        patterns_.Assign(f.patterns.text);
      }
    }
  if (first < 0) {
    types_.SetItem(0, GetLangText(kTextAllFiles), 0, -1);
    patterns_.Assign(u"*");
  }
  const int32_t wanted = request_ != nullptr ? request_->filterIndex : -1;
  const bool named = wanted >= 0 && types_.Items().Find(wanted) != nullptr;
  if (named) {
    types_.Select(wanted, true);
  } else {
    if (request_ != nullptr) request_->filterIndex = 0;
    types_.Select(first < 0 ? 0 : first, false);
  }

  AddChild(&bottomBar_, 0, 0, 1, 1, 0);
  bottomBar_.SetTransparent(true);
  bottomBar_.SetImages(0, &BottomStore());
  bottomBar_.SetButton(1, GetLangText(kTextSave), 2);
  bottomBar_.SetButton(2, GetLangText(kTextCancel), 1);
  PlaceBottomBar(this, &bottomBar_);

  StartNavigation();
}

void cFileChooseDialog::ClearList() {
  list_.Clear();
  rows_.Clear();
  listed_ = false;
  list_.Disable(true);
  topBar_.EnableButton(3, false);
}

bool cFileChooseDialog::GoTo(const char16_t* path) {
  if (Navigating()) return false;
  std::u16string copy = path != nullptr ? path : u"";
  // The old rows stay readable only until the job starts rewriting the
  // listing: from here on the list shows nothing.
  if (!lister_.CanNavigate(copy.c_str())) return false;
  ClearList();
  if (!navBar_.SetPath(copy.c_str())) {
    // Nothing started: the listing is untouched, so the rows come back.
    Fill(true);
    return false;
  }
  return true;
}

void cFileChooseDialog::StartNavigation() {
  if (request_ != nullptr && !request_->initialFolder.IsEmpty() &&
      GetPathKind(request_->initialFolder.text) == tw::kPathDirectory) {
    GoTo(Cleaned(request_->initialFolder.text).c_str());
    return;
  }
  if (request_ != nullptr && !request_->result.IsEmpty()) {
    const std::u16string result = request_->result.text;
    const size_t slash = result.rfind(u'/');
    if (slash != std::u16string::npos && IsFolder(result.substr(0, slash))) {
      edit_.SetEditText(result.c_str() + slash + 1, -1);
      GoTo(result.substr(0, slash).c_str());
      return;
    }
  }
  _guardchar<char16_t> home;
  if (GetHomeFolder(home)) GoTo(home.text);
}

bool cFileChooseDialog::FillList(bool sort) {
  if (Navigating()) return false;
  Fill(sort);
  return true;
}

void cFileChooseDialog::Fill(bool sort) {
  list_.Clear();
  rows_.Clear();
  list_.BeginUpdate();
  const cDirListing& listing = lister_.Listing();
  listedFolder_.Assign(listing.GetFolder());
  const bool showHidden = request_ != nullptr && request_->showHidden != 0;
  const char16_t* select = lister_.NameToSelect().text;
  int32_t remembered = -1;
  char16_t sizeText[48];
  char16_t dateText[48];
  for (auto* n = listing.Entries().First(); n != nullptr; n = cSortedTree<int32_t, sDirEntry>::Next(n)) {
    const sDirEntry& e = n->value;
    if (e.hidden && !showHidden) continue;
    const char16_t* typeText = u"";
    int32_t icon = kIconOther;
    sizeText[0] = 0;
    switch (e.kind) {
      case sDirEntry::kFile:
        if (!patterns_.IsEmpty() && !MatchWildcardList(e.path.text, patterns_.text)) continue;
        icon = kIconFile;
        typeText = GetLangText(kTextFile);
        FormatW(sizeText, 48, u"%lld KB", static_cast<long long>(e.size / 1024));
        break;
      case sDirEntry::kFolder:
      case sDirEntry::kHome:
        icon = kIconFolder;
        typeText = GetLangText(kTextFileFolder);
        break;
      case sDirEntry::kDrive:
        icon = kIconDrive;
        typeText = GetLangText(kTextFileSystem);
        break;
      case sDirEntry::kOfflineNetworkDrive:
        icon = kIconOffline;
        typeText = GetLangText(kTextFileSystem);
        break;
      default:
        break;
    }
    sFileRow* row = rows_.FindOrInsert(n->key);
    if (row == nullptr) continue;
    row->shown.Assign(!e.displayText.IsEmpty() ? e.displayText.text : e.path.text);
    row->name.Assign(e.path.text);
    listing.GetEntryPath(n->key, row->path);
    row->kind = e.kind;
    row->icon = icon;
    row->size = e.size;
    row->writeTime = e.writeTime;
    const sDateTime& t = e.writeTime;
    dateText[0] = 0;
    if (t.year != 0)
      FormatW(dateText, 48, u"%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute, t.second);
    const char16_t* shown = row->shown.text != nullptr ? row->shown.text : u"";
    list_.SetCell(n->key, kColumnName, shown, icon, n->key);
    list_.SetCell(n->key, kColumnDate, dateText, -1, n->key);
    list_.SetCell(n->key, kColumnType, typeText, -1, icon);
    list_.SetCell(n->key, kColumnSize, sizeText, -1, n->key);
    if (e.hidden)
      for (int32_t c = kColumnName; c <= kColumnSize; ++c) list_.SetCellTextColour(n->key, c, kHiddenGrey);
    if (select != nullptr && CompareWide(shown, select) == 0) remembered = n->key;
  }
  if (sort) {
    list_.Sort(kColumnName);
    list_.Sort(kColumnType);
  }
  list_.EndUpdate(true);
  listed_ = true;
  list_.Enable();
  if (remembered >= 0) list_.FocusItem(remembered);
  lister_.NameToSelect().Clear();
  topBar_.EnableButton(3, HasListedFolder());
  GetClientPanel()->RequestFocus(&list_);
}

void cFileChooseDialog::ShowPlaces() {
  if (Navigating()) return;
  lister_.Listing().ReadPlaces();
  navBar_.ShowPath(u"");
  FillList(false);
}

void cFileChooseDialog::OpenRow(const sFileRow* row) {
  if (row == nullptr) return;
  if (row->kind == sDirEntry::kFile) {
    Finish(row->path.text);
    return;
  }
  if (IsFolderLike(row->kind)) {
    const std::u16string path = row->path.text != nullptr ? row->path.text : u"";
    GoTo(path.c_str());
  }
}

void cFileChooseDialog::Finish(const char16_t* path) {
  std::u16string result = path != nullptr ? path : u"";
  if (request_ != nullptr) {
    const int32_t index = request_->filterIndex;
    if (index >= 0 && index < request_->filters.count) {
      const sFileChooseFilter& f = request_->filters.data[index];
      if (!f.defaultExtension.IsEmpty()) {
        const size_t dot = result.rfind(u'.');
        const size_t slash = result.rfind(u'/');
        const bool hasDot = dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash);
        const bool same = hasDot && CompareNoCaseW(result.c_str() + dot + 1, f.defaultExtension.text) == 0;
        if (!same) result += std::u16string(u".") + f.defaultExtension.text;
      }
    }
    request_->result.Assign(result.c_str());
  }
  EndModal(1);
}

bool cFileChooseDialog::AcceptText(const char16_t* text) {
  const std::u16string typed = text;
  auto tryPath = [&](const std::u16string& path) -> int {  // 1 done, 0 not found
    const int kind = GetPathKind(path.c_str());
    if (kind == tw::kPathFile) {
      Finish(path.c_str());
      return 1;
    }
    if (kind == tw::kPathDirectory) {
      edit_.SetEditText(u"", 0);
      GoTo(path.c_str());
      return 2;
    }
    return 0;
  };
  if (HasListedFolder()) {
    std::u16string folder = ListedFolder();
    if (folder.back() != u'/') folder.push_back(u'/');
    const std::u16string candidate = Cleaned((folder + typed).c_str());
    if (const int r = tryPath(candidate)) return r == 1;
    if (GetPathKind(candidate.c_str()) == tw::kPathMissing) {
      if (const int r = tryPath(typed)) return r == 1;
    } else {
      return false;  // a device or another special object
    }
    if (IsFolder(ParentOf(candidate))) {
      Finish(candidate.c_str());
      return true;
    }
    if (IsFolder(ParentOf(typed))) {
      Finish(typed.c_str());
      return true;
    }
    return false;
  }
  if (const int r = tryPath(typed)) return r == 1;
  if (GetPathKind(typed.c_str()) == tw::kPathMissing && IsFolder(ParentOf(typed))) {
    Finish(typed.c_str());
    return true;
  }
  return false;
}

bool cFileChooseDialog::Accept() {
  if (navBar_.GetState() != cNavigationChild::kIdle) return false;
  const char16_t* raw = edit_.GetText();
  if (raw == nullptr || raw[0] == 0) {
    GetClientPanel()->RequestFocus(&edit_);
    return false;
  }
  const std::u16string text = Cleaned(raw);
  if (text.empty()) {
    GetClientPanel()->RequestFocus(&edit_);
    return false;
  }
  if (text.find_first_of(u"*?") != std::u16string::npos) {
    char16_t shown[1024];
    const int32_t index = request_ != nullptr ? request_->filterIndex : -1;
    if (request_ != nullptr && request_->namedCustomFilter != 0 && index >= 0 && index < request_->filters.count)
      FormatW(shown, 1024, u"%s (%s: %s)", request_->filters.data[index].description.text != nullptr
                                               ? request_->filters.data[index].description.text
                                               : u"",
              GetLangText(kTextFilter), text.c_str());
    else
      FormatW(shown, 1024, u"%s (%s)", GetLangText(kTextCustom), text.c_str());
    types_.SetComboText(shown, -1);
    patterns_.Assign(text.c_str());
    if (HasListedFolder()) FillList(true);
    return false;
  }
  return AcceptText(text.c_str());
}

bool cFileChooseDialog::OnEnterKey() {
  Accept();
  return true;
}

bool cFileChooseDialog::OnEscapeKey() {
  EndModal(0);
  return true;
}

void cFileChooseDialog::AskNewFolder() {
  if (!HasListedFolder() || Navigating()) return;
  _guardchar<char16_t> name;
  if (!AskNewFolderName(this, &name) || name.IsEmpty()) return;
  // An existing folder of that name is simply entered.
  bool existed = false;
  const std::u16string path = MakeFolderIn(this, ListedFolder(), name.text,
                                           {kTextFileExists, kTextCannotCreate, kTextSpecialExists}, &existed);
  if (!path.empty()) GoTo(path.c_str());
}

bool cFileChooseDialog::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr) return false;
  if (sender == &types_ && action->kind == 7) {
    const int32_t id = types_.GetSelectedId();
    if (id < 0) return true;
    const int32_t index = types_.GetItemData(id);
    const bool real = request_ != nullptr && index >= 0 && index < request_->filters.count;
    if (real) {
      const sFileChooseFilter& f = request_->filters.data[index];
      patterns_.Assign(!f.patterns.IsEmpty() ? f.patterns.text : u"*");
      request_->filterIndex = index;
    } else {
      patterns_.Assign(u"*");
    }
    if (HasListedFolder()) FillList(true);
    return true;
  }
  if (sender == &navBar_ && action->kind == 7) {
    auto* set = static_cast<cNavigationChild::cNaviSetPathAction*>(action);
    // The lister is the provider, so a path here only comes from a bar
    // without one; a null path means the listing is ready.
    if (set->path.text == nullptr) {
      // The job has finished with the listing; the bar stays busy until
      // it is told that the list is filled.
      Fill(true);
      navBar_.PostDirectAction(new cChildAction(cNavigationChild::kKindShown));
    }
    return true;
  }
  if (sender == &list_) {
    if (!listed_) return true;  // nothing listed yet: the rows are gone
    switch (action->kind) {
      case 7:
        OpenRow(Row(static_cast<cListViewChild::cListViewItemAction*>(action)->item));
        return true;
      case 8: {
        const sFileRow* row = Row(static_cast<cListViewChild::cListViewItemAction*>(action)->item);
        if (row != nullptr && row->kind == sDirEntry::kFile) edit_.SetEditText(row->name.text, -1);
        return true;
      }
      case 2: {
        auto* ctx = static_cast<cCtxRequestAction*>(action);
        const int32_t focused = list_.GetFocusedItem();
        const sFileRow* row = focused >= 0 ? Row(focused) : nullptr;
        tPopupItems items;
        sPopupItem* entry = items.FindOrInsert(1);
        if (row == nullptr)
          entry->text.Assign(GetLangText(kTextNewFolder));
        else if (row->kind == sDirEntry::kFile)
          entry->text.Assign(GetLangText(kTextSaveHere));
        else if (IsFolderLike(row->kind))
          entry->text.Assign(GetLangText(kTextOpen));
        else
          return true;
        // The popup runs a nested loop: the row is looked up again after it.
        if (ShowContextMenu(this, &list_, items, ctx->x, ctx->y) != 1) return true;
        if (row == nullptr)
          AskNewFolder();
        else if (listed_)
          OpenRow(Row(focused));
        return true;
      }
      case 9:
        if (Navigating()) return true;
        if (HasListedFolder()) {
          GoTo(std::u16string(ListedFolder()).c_str());
        } else if (listed_) {
          ShowPlaces();
        }
        return true;
      case 10:
        return true;
      default:
        break;
    }
  }
  if (sender == &topBar_ && action->kind == 7) {
    switch (static_cast<cToolBarChild::cTbButtonAction*>(action)->id) {
      case 1: {
        _guardchar<char16_t> home;
        if (GetHomeFolder(home)) GoTo(home.text);
        break;
      }
      case 2:
        ShowPlaces();
        break;
      case 3:
        AskNewFolder();
        break;
      default:
        break;
    }
    return true;
  }
  if (sender == &bottomBar_ && AnswerBarAction(this, action)) return true;
  return cCustomForm::OnAction(sender, action);
}

bool ShowFileSaveDialog(cChildElement* owner, const char16_t* title, sFileChooseRequest* request) {
  if (owner == nullptr || request == nullptr) return false;
  auto* dialog = new cFileChooseDialog(request);
  return owner->ShowModal(title != nullptr ? title : u"", 500, 350, dialog, true) != 0;
}
