// See gui/controls/nav_bar.h.
#include "gui/controls/nav_bar.h"

#include <climits>
#include <cmath>

#include "base/paths.h"
#include "base/strings.h"
#include "gui/theme.h"

namespace {

constexpr int32_t kPictureStop = 78;
constexpr int32_t kPictureHistory = 48;
constexpr int32_t kPictureSegment = 145, kPictureSegmentHover = 146;
constexpr int32_t kTextStop = 0;
constexpr int32_t kRange = 1000;
constexpr int32_t kStopBarHeight = 22;

}  // namespace

// ---- cNavigationProvider ----

bool cNavigationProvider::Begin(cChildElement* target, const char16_t* path, const char16_t* hint) {
  if (path == nullptr || working_.load()) return false;
  target_ = target;
  path_.Assign(path);
  hint_.Assign(hint);
  // A thread that has reported its end may still be on its way out; Start
  // waits for it.
  working_.store(1);
  if (Start()) return true;
  working_.store(0);
  return false;
}

int32_t cNavigationProvider::Run() { return Navigate(path_.text != nullptr ? path_.text : u"", hint_.text); }

void cNavigationProvider::OnFinished(int32_t result) {
  // Cleared before the end is posted, so that the owner may start the next
  // navigation as soon as it hears of this one's end.
  working_.store(0);
  if (target_ != nullptr) target_->PostDirectAction(new cNavigationChild::cNaviDoneAction(result));
  OnDone(result);
}

// ---- cFakeNavigationProgressJob ----

cFakeNavigationProgressJob::~cFakeNavigationProgressJob() { Stop(kStopTimeoutMs); }

double cFakeNavigationProgressJob::ValueOfPhase(double phase) { return std::atan(phase - 0.25) * 0.6366197723675814; }

int32_t cFakeNavigationProgressJob::Run() {
  for (;;) {
    for (int32_t i = 0; i < 40; ++i) {
      SleepMs(5);
      if (IsStopRequested()) return 0;
    }
    const double phase = phase_.load();
    if (phase < 0.0) continue;
    cChildElement* target = target_.load();
    if (phase >= 0.25 && target != nullptr)
      target->PostDirectAction(new cNavigationChild::cNaviFakeProgressRecvAction(ValueOfPhase(phase)));
    // Only this thread raises the phase; the UI thread may have reset it
    // meanwhile, which wins.
    double expected = phase;
    phase_.compare_exchange_strong(expected, phase + 0.05);
  }
}

bool cFakeNavigationProgressJob::Restart(cChildElement* target) {
  target_.store(target);
  phase_.store(0.0);
  if (!IsRunning()) return Start();
  return true;
}

bool cFakeNavigationProgressJob::StopProgress() {
  phase_.store(-1.0);
  if (cChildElement* target = target_.load())
    target->PostDirectAction(new cNavigationChild::cNaviFakeProgressRecvAction(1.0));
  return true;
}

// ---- cNavigationChild ----

cNavigationChild::cNavigationChild() = default;

cNavigationChild::~cNavigationChild() {
  // The job posts to this bar: it ends before the bar's parts go.
  fakeJob_.Stop(cJob::kStopTimeoutMs);
  progress_.RemoveChild(&pathBar_);
  progress_.RemoveChild(&stopBar_);
  RemoveChild(&progress_);
  RemoveChild(&combo_);
}

void cNavigationChild::InitDefaults() {
  cChildElement::InitDefaults();
  state_ = kIdle;
  SetMinSize(0, kHeight);
  SetMaxSize(INT_MAX, kHeight);
  historyBySeq_.Clear();
  historyByPath_.Clear();
  cCITheme* theme = GetTheme();
  if (!stopStore_.Has(1)) stopStore_.Set(1, theme->GetPicture(kPictureStop));
  if (!pathStores_[0].Has(0)) {
    pathStores_[0].Set(0, theme->GetPicture(kPictureHistory));
    pathStores_[0].Set(1, theme->GetPicture(kPictureSegment));
    pathStores_[1].Set(0, theme->GetPicture(kPictureHistory));
    pathStores_[1].Set(1, theme->GetPicture(kPictureSegmentHover));
  }
}

void cNavigationChild::OnCreate() {
  PlaceChild(&combo_, 0, 0, -1, -1);
  combo_.Hide(false);
  PlaceChild(&progress_, 0, 0, -1, -1);
  progress_.SetRange(kRange);
  progress_.AddChild(&stopBar_, 0, 0, 1, 1, 0);
  stopBar_.SetTransparent(true);
  stopBar_.SetImages(0, &stopStore_);
  const char16_t* stop = GetLangString(kTextStop);
  stopBar_.SetButton(1, stop != nullptr ? stop : u"Stop", 1);
  stopBar_.Hide(false);
  progress_.AddChild(&pathBar_, 0, 0, 1, 1, 0);
  pathBar_.SetTransparent(true);
  pathBar_.SetImages(0, &pathStores_[0]);
  pathBar_.SetImages(1, &pathStores_[1]);
  pathBar_.SetImages(2, &pathStores_[1]);
  // Long paths keep their head and tail, the middle goes into a list.
  pathBar_.SetOverflowMode(1);
  pathBar_.SetPinnedCount(1);
  created_ = true;
  LayoutBars();
  RebuildSegments();
}

void cNavigationChild::OnResize() { LayoutBars(); }

void cNavigationChild::LayoutBars() {
  if (!created_) return;
  const int32_t w = progress_.GetWidth(), h = progress_.GetHeight();
  if (state_ == kBusy) {
    const int32_t stopWidth = stopBar_.GetButtonsWidth();
    progress_.PlaceChild(&stopBar_, -stopWidth - 1, 0, stopWidth, kStopBarHeight);
    progress_.PlaceChild(&pathBar_, 0, 0, w - stopWidth > 0 ? -stopWidth - 1 : 0, -1);
  } else {
    progress_.PlaceChild(&pathBar_, 0, 0, -1, -1);
  }
  (void)h;
}

void cNavigationChild::SetProgressColour(uint32_t colour, bool repaint) { progress_.SetBackgroundColour(colour, repaint); }

void cNavigationChild::RebuildSegments() {
  pathBar_.RemoveAllButtons(false);
  segments_.Clear();
  const char16_t* path = current_.text;
  if (path != nullptr) {
    int32_t index = 1;
    const char16_t* p = path;
    if (*p == u'/') {
      sNaviPathItem* root = segments_.FindOrInsert(index++);
      root->label.Assign(u"/");
      root->path.Assign(u"/");
      while (*p == u'/') ++p;
    }
    while (*p != 0) {
      const char16_t* start = p;
      while (*p != 0 && *p != u'/') ++p;
      sNaviPathItem* item = segments_.FindOrInsert(index++);
      item->label.AssignN(start, static_cast<uint32_t>(p - start));
      item->path.AssignN(path, static_cast<uint32_t>(p - path));
      while (*p == u'/') ++p;
    }
    pathBar_.SetButton(0, u"", 0);
    for (auto* n = segments_.First(); n != nullptr; n = decltype(segments_)::Next(n))
      pathBar_.SetButton(n->key, n->value.label.text, 1);
  }
  pathBar_.Relayout();
  pathBar_.Invalidate(nullptr);
}

void cNavigationChild::AddToHistory(const char16_t* path) {
  if (path == nullptr) return;
  cPackedKey key;
  key.FromWide(path, -1);
  if (const int32_t* seq = historyByPath_.Find(key)) {
    historyBySeq_.EraseKey(*seq);
    historyByPath_.EraseKey(key);
  }
  const auto* last = historyBySeq_.Last();
  const int32_t seq = last != nullptr ? last->key + 1 : 0;
  if (_guardchar<char16_t>* slot = historyBySeq_.FindOrInsert(seq)) slot->Assign(path);
  if (int32_t* slot = historyByPath_.FindOrInsert(std::move(key))) *slot = seq;
}

int32_t cNavigationChild::HistoryCount() const {
  int32_t n = 0;
  for (auto* i = historyBySeq_.First(); i != nullptr; i = decltype(historyBySeq_)::Next(i)) ++n;
  return n;
}

const char16_t* cNavigationChild::HistoryAt(int32_t recency) const {
  int32_t n = 0;
  for (auto* i = historyBySeq_.Last(); i != nullptr; i = decltype(historyBySeq_)::Prev(i), ++n)
    if (n == recency) return i->value.text != nullptr ? i->value.text : u"";
  return nullptr;
}

bool cNavigationChild::ShowPath(const char16_t* path) {
  current_.Assign(path);
  if (path != nullptr) AddToHistory(path);
  RebuildSegments();
  return true;
}

void cNavigationChild::StartBusy() {
  state_ = kBusy;
  progress_.Show(false);
  stopBar_.Show(false);
  combo_.Hide(false);
  pathBar_.Disable(false);
  LayoutBars();
  fakeJob_.Restart(this);
  Invalidate(nullptr);
}

void cNavigationChild::EndBusy() {
  state_ = kIdle;
  fakeJob_.StopProgress();
  combo_.Hide(false);
  stopBar_.Hide(false);
  pathBar_.Enable();
  LayoutBars();
  progress_.Show(false);
  Invalidate(nullptr);
}

void cNavigationChild::EnterEditMode() {
  state_ = kEditing;
  progress_.Hide(false);
  combo_.ClearItems();
  int32_t id = 0;
  for (auto* i = historyBySeq_.Last(); i != nullptr; i = decltype(historyBySeq_)::Prev(i))
    combo_.SetItem(id++, i->value.text != nullptr ? i->value.text : u"", 0, -1);
  if (!current_.IsEmpty()) combo_.Select(0, false);
  combo_.Show(false);
  RequestFocus(&combo_);
  Invalidate(nullptr);
}

bool cNavigationChild::Go(const char16_t* path, const char16_t* hint) {
  if (provider_ != nullptr) {
    if (!provider_->CanNavigate(path)) return false;
    if (!provider_->Begin(this, path, hint)) return false;
  } else {
    PostAction(new cNaviSetPathAction(path));
  }
  ShowPath(path);
  StartBusy();
  return true;
}

bool cNavigationChild::SetPath(const char16_t* path) { return Go(path, nullptr); }

bool cNavigationChild::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr) return false;
  if (sender == &stopBar_ && action->kind == 7) {
    if (static_cast<cToolBarChild::cTbButtonAction*>(action)->id == 1) {
      if (provider_ != nullptr)
        provider_->RequestStop();
      else
        PostKind(kKindStopWithoutProvider);
    }
    return true;
  }
  if (sender == &pathBar_) {
    if (action->kind == 8 ||
        (action->kind == 7 && static_cast<cToolBarChild::cTbButtonAction*>(action)->id == 0)) {
      // Editing while a navigation runs would let a second one start over
      // the first: the bar is disabled then, and a stray click is ignored.
      if (state_ != kBusy) EnterEditMode();
      return true;
    }
    if (action->kind == 7) {
      if (state_ == kBusy) return true;
      const int32_t index = static_cast<cToolBarChild::cTbButtonAction*>(action)->id;
      const sNaviPathItem* item = segments_.Find(index);
      if (item == nullptr) return true;
      const sNaviPathItem* next = segments_.Find(index + 1);
      // Copies: Go rebuilds the segments.
      _guardchar<char16_t> path(item->path.text != nullptr ? item->path.text : u"");
      _guardchar<char16_t> hint;
      if (next != nullptr) hint.Assign(next->label.text);
      Go(path.text, hint.text);
      return true;
    }
    return true;
  }
  if (sender == this) {
    if (action->kind == 8) {
      PostAction(new cNaviSetPathAction(nullptr));
      return true;
    }
    if (action->kind == 9) {
      const double value = static_cast<cNaviFakeProgressRecvAction*>(action)->value;
      if (value == 0.0)
        progress_.Start();
      else if (value == 1.0)
        progress_.Stop(false);
      else
        progress_.SetPos(static_cast<int32_t>(value * kRange), true);
      return true;
    }
    if (action->kind == kKindShown) {
      EndBusy();
      return true;
    }
    // The bar's own posts (7, 11) travel on to the owner.
  }
  if (sender == &combo_) {
    if (action->kind == 7) {
      const char16_t* typed = combo_.GetText();
      const int32_t n = WideLength(typed);
      _guardchar<char16_t> path;
      path.AllocateZeroed(static_cast<uint32_t>(n) + 1);
      for (int32_t i = 0; i < n; ++i) path.text[i] = typed[i];
      NormalizePath(path.text);
      // A refused path leaves the text in the box to be mended.
      Go(path.text, nullptr);
      return true;
    }
    if (action->kind == 8) {
      EndBusy();
      return true;
    }
  }
  return cChildElement::OnAction(sender, action);
}
