// cChildElement: the base of every visible thing (forms, panels, controls,
// hints, popups). Elements form a tree; the top element is hosted by one
// window, reached through cWindowRequestTarget; every other element is a
// rectangle inside its parent, without a window of its own.
//
// Rules:
//  a. UI thread only, except PostAction, PostDirectAction, PostKind and
//     SendAction, which any thread (SendAction: only a worker) may call.
//  b. Coordinates are logical pixels. An element's x and y are its position
//     in its parent's content: a child on a scrolling axis is drawn at x
//     plus the parent's scroll offset; a child fixed on an axis is not.
//     Rectangles passed to InvalidateRect and the host are sEdges; all
//     others sRect.
//  c. Parents do not own their children: whoever embeds or creates a child
//     destroys it (a form's controls are its members). The window host owns
//     the top element.
//  d. Behaviour is customised by overriding the virtual operations: On...
//     hooks are called by the core; the trait operations (WantsTabStop,
//     WantsFocus, WantsDoubleBuffer, WantsFullRepaint, BorderWidth,
//     LangSectionKey, DefaultCursor, DefaultBackground, ...) return
//     constants that InitDefaults copies into the flags when the element is
//     added to its parent.
//  e. Operations that need a window answer false, null or -1 while the tree
//     has none. Nothing throws.
//  f. The children map is ordered by address, so painting and hit testing
//     visit children in an order without meaning; Tab and arrow navigation
//     follow the tab index.
//
// Input routing and focus (the operations marked "input" below) and the
// action queues ("actions") follow the element core's fields and are
// implemented in element_input.cpp and element_action.cpp.
#pragma once

#include <cstdint>

#include "base/lists.h"
#include "base/sorted_tree.h"
#include "base/sync.h"
#include "gui/canvas.h"
#include "gui/geometry.h"
#include "gui/language.h"
#include "gui/window_request.h"

class cWinFont;

class cChildElement {
public:
  // An event notification queued on an element. Kinds 0 to 6 mean the same
  // for every element (0 activation, 1 focus taken, 2 context request,
  // 3 double click, 4 focus request, 5 close the hint, 6 dropped files);
  // 7 and above belong to each control or form.
  class cChildAction : public cListItem {
  public:
    explicit cChildAction(int32_t actionKind) : kind(actionKind) {}
    // Called on the UI thread after the action was offered.
    virtual void Done() {}
    int32_t kind;
  };
  // An action whose sender waits until the UI thread has handled it.
  class cSentChildAction : public cChildAction {
  public:
    explicit cSentChildAction(int32_t actionKind) : cChildAction(actionKind) {}
    // One discarded before Done (its element was destroyed while it was
    // queued) wakes its sender with the "cancelled" answer.
    ~cSentChildAction() override;
    void Done() override;
    cEvent* event = nullptr;  // the waiting thread's event, set by SendAction
    bool* handled = nullptr;  // the sender's answer, set true by Done
  };
  // Kind 1: the element itself took the focus; value 1 by a mouse press,
  // 0 by FocusAt without a press, 2 by SetFocusTo.
  class cFocusAction : public cChildAction {
  public:
    explicit cFocusAction(int32_t how) : cChildAction(1), value(how) {}
    int32_t value;
  };
  // Kind 2: a context-menu request at (x, y).
  class cCtxRequestAction : public cChildAction {
  public:
    cCtxRequestAction(int32_t px, int32_t py, bool isControl, bool isShift, bool isAlt)
        : cChildAction(2), x(px), y(py), control(isControl), shift(isShift), alt(isAlt) {}
    int32_t x, y;
    uint8_t control, shift, alt;
  };
  // Kind 3: a double click at (x, y).
  class cDoubleClickAction : public cChildAction {
  public:
    cDoubleClickAction(int32_t px, int32_t py) : cChildAction(3), x(px), y(py) {}
    int32_t x, y;
  };
  using tPathList = cSimpleList<_guardchar<char16_t>>;
  // Kind 6: files dropped at (x, y); takes the strings out of the list it
  // is given (which is left empty).
  class cDropFilesAction : public cChildAction {
  public:
    cDropFilesAction(int32_t px, int32_t py, tPathList& list);
    int32_t x, y;
    tPathList paths;
  };

  cChildElement();
  cChildElement(const cChildElement&) = delete;
  cChildElement& operator=(const cChildElement&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual void SetHover(cChildElement* element);                                 // input
  virtual bool TabNext(bool forward);                                            // input
  virtual bool ArrowNext(bool forward, bool control, bool shift);                // input
  // Edges in this element's coordinates (null: the whole element), passed up
  // to the window.
  virtual void InvalidateRect(const sEdges* edges);
  virtual bool CaptureChild(cChildElement* child, bool on);                      // input
  virtual void RequestFocus(cChildElement* target);                              // input
  // Paints the element and its children into canvas, whose origin is the
  // element's top-left corner.
  virtual void PaintTree(cCanvas* canvas);
  virtual void Reserved1(void*) {}
  // Stores the size and lays the anchored children out again.
  virtual void Resize(int32_t width, int32_t height, bool force);
  virtual void RestoreFocus();                                                   // input
  virtual void FocusAt(int32_t x, int32_t y, int32_t how, bool control, bool shift);  // input
  virtual bool SetFocusTo(cChildElement* element);                               // input
  virtual void MouseButton(int32_t x, int32_t y, int32_t button, bool down, bool control, bool shift);  // input
  virtual void MouseMove(int32_t x, int32_t y);                                  // input
  virtual bool Wheel(int32_t x, int32_t y, bool up, bool control, int32_t count);  // input
  virtual void SaveFocus();                                                      // input
  virtual void KillFocus(bool control, bool shift);                              // input
  virtual bool Char(char16_t character, bool shift, bool control, bool alt);     // input
  virtual bool Key(int32_t virtualKey, bool shift, bool control, bool alt);      // input
  virtual bool BubbleAction(cChildElement* sender, cChildAction* action);        // actions
  virtual bool RunPosted(cChildElement* element);                                // actions
  virtual bool RunSent(cChildElement* element);                                  // actions
  // The top element asks its window for the posted (direct) wake-up naming
  // element; others pass the request to their parent. False without a window.
  virtual bool NotifyPosted(cChildElement* element);
  virtual bool NotifySent(cChildElement* element);
  // Adds the positions up to the screen; false without a window.
  virtual bool ClientToScreen(sPoint* point);
  // Becoming a hosted top element: section lookup, OnCreate, attached.
  virtual bool AttachHost();
  // CanClose (CanEnd) of the element and of every descendant; false as soon
  // as one refuses.
  virtual bool QueryClose();
  virtual bool QueryEnd();
  virtual void ForgetDescendant(cChildElement* element);                         // input
  virtual void EnableChanged(bool enabled);
  virtual bool PaintBg(cCanvas* canvas, const sRect* rect);
  virtual bool PaintBgFor(cCanvas* canvas, const sRect* rect);
  virtual bool ActivateWindow();
  virtual void DropFiles(int32_t x, int32_t y, tPathList& paths);                // input
  // The text cut to capacity - 1 characters and terminated; nothing at all
  // for a null buffer or a capacity below 1.
  virtual void CopyText(char16_t* buffer, int32_t capacity);
  virtual const char16_t* GetText();
  virtual const char16_t* GetHint();
  virtual void SetText(const char16_t* text, int32_t length, bool redraw);
  virtual void WipeText();
  virtual void SetHint(const char16_t* text, int32_t placement);
  virtual bool ClientSize(int32_t* width, int32_t* height);
  virtual bool ScrollOffset(int32_t* x, int32_t* y);
  virtual bool ViewRect(sRect* rect);
  virtual void OnCreate() {}
  virtual void Reserved2(void*) {}
  virtual void Paint(cCanvas*) {}
  virtual bool PaintOwnBg(cCanvas*, const sRect*) { return false; }
  virtual void OnResize() {}
  virtual void OnMouseButton(int32_t, int32_t, int32_t, bool) {}
  virtual void OnMouseMove(int32_t x, int32_t y);
  virtual bool OnWheel(int32_t, int32_t, bool, bool, int32_t) { return false; }
  virtual void OnEnter();
  virtual void OnLeave();
  virtual void OnDblClick(int32_t x, int32_t y);
  virtual void OnChar(char16_t, bool, bool, bool) {}
  virtual void OnKey(int32_t, bool, bool, bool) {}
  virtual bool OnAction(cChildElement* sender, cChildAction* action);            // actions
  virtual bool CanClose() { return true; }
  virtual bool CanEnd() { return true; }
  virtual void OnEnable(bool) {}
  virtual void OnFocus(int32_t how, bool control, bool shift) {
    (void)how;
    OnGotFocus(control, shift);
  }
  virtual void OnGotFocus(bool, bool) {}
  virtual void OnLostFocus(bool, bool) {}
  virtual void OnChildLostFocus(cChildElement*, bool, bool) {}
  virtual bool OnAltKey();
  // Inserts child (fixedMode 0 scrolls with the content, 1 fixed on both
  // axes, 2 vertically, 3 horizontally); a child already present is only
  // moved. False for a null child or a failed insertion.
  virtual bool AddChild(cChildElement* child, int32_t x, int32_t y, int32_t width, int32_t height,
                        int32_t fixedMode);
  // Takes child out of the tree (not deleted, not invalidated). True.
  virtual bool RemoveChild(cChildElement* child);
  virtual bool SetPos(int32_t x, int32_t y, int32_t width, int32_t height);
  virtual void CaptureMouse(bool letChildrenReceive);                            // input
  virtual void ReleaseMouse();                                                   // input
  virtual bool IsTabStop() { return tabStop_ && focusable_; }
  virtual void SetTabStop(bool flag) { tabStop_ = flag; }
  virtual bool IsArrowStop() { return arrowStop_; }
  virtual void SetArrowStop(bool flag) { arrowStop_ = flag; }
  virtual void FocusSelfOrParent();                                              // input
  virtual void SetTransparent(bool flag);
  virtual cWinFont* GetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                            bool italic);
  virtual ~cChildElement();
  virtual bool WantsDoubleBuffer() { return false; }
  virtual bool WantsTabStop() { return false; }
  virtual bool WantsFullRepaint() { return false; }
  virtual bool NoArrowNavigation() { return false; }
  virtual bool WantsFocus() { return true; }
  virtual bool WrapsArrowNavigation() { return false; }
  virtual int32_t BorderWidth() { return 0; }
  virtual const char16_t* LangSectionKey() { return nullptr; }
  virtual int32_t DefaultCursor() { return 0; }
  virtual bool ApplyCursor(int32_t kind);
  virtual void InitDefaults();
  virtual uint32_t DefaultBackground();

  // ---- Tree and geometry ----
  // Anchored placement: a negative value v stands for R + v + 1, R being the
  // reference width (x, width) or height (y, height). The values are kept
  // and applied again at every Resize.
  bool PlaceChild(cChildElement* child, int32_t x, int32_t y, int32_t width, int32_t height);
  bool GetRect(sRect* rect) const;
  int32_t GetWidth() const { return width_; }
  int32_t GetHeight() const { return height_; }
  int32_t GetX() const { return x_; }
  int32_t GetY() const { return y_; }
  cChildElement* GetParent() const { return parent_; }
  bool IsHorizontallyFixed() const { return hFixedIn_ != nullptr; }
  bool IsVerticallyFixed() const { return vFixedIn_ != nullptr; }
  bool ContainsPoint(int32_t x, int32_t y) const { return x >= 0 && x < width_ && y >= 0 && y < height_; }
  // The descendant's rectangle relative to this element (scroll offsets
  // not applied); false when it is not a descendant.
  bool GetDescendantRect(const cChildElement* descendant, sRect* rect) const;
  bool IsAncestorOf(const cChildElement* element) const;
  // The tab index of child, -1 when it is not a child.
  int32_t GetTabIndex(cChildElement* child) const;
  int32_t ChildCount() const;

  // ---- Visibility, enabling, painting state ----
  // rect in this element's coordinates, cut at its own size; null: whole.
  void Invalidate(const sRect* rect);
  void Show(bool redraw);
  void Hide(bool redraw);
  bool IsVisible() const { return visible_; }
  bool IsVisibleInTree() const;
  void Enable();
  void Disable(bool redraw);
  bool IsEnabled() const { return enabled_; }
  bool IsEnabledInTree() const;
  bool IsAttached() const { return attached_; }
  void SetBackgroundColour(uint32_t colour) { background_ = colour & 0xFFFFFF; }
  uint32_t GetBackgroundColour() const { return background_; }
  void SetCursor(int32_t kind) { cursor_ = kind; }
  int32_t GetCursor() const { return cursor_; }
  void SetFocusable(bool flag) { focusable_ = flag; }
  bool IsFocusable() const { return focusable_; }
  bool IsTransparent() const { return transparent_; }
  bool IsDoubleBuffered() const { return doubleBuffer_; }
  void SetDoubleBuffered(bool flag) { doubleBuffer_ = flag; }
  bool IsFullRepaint() const { return fullRepaint_; }
  int32_t GetBorderWidth() const { return border_; }
  bool HasFocus() const { return hasFocus_; }
  cChildElement* GetFocusedChild() const { return focusedChild_; }
  cChildElement* GetCaptureChild() const { return captureChild_; }
  cChildElement* GetHoverElement() const { return hover_; }
  cChildElement* GetFocusedLeaf();
  // A child stores the limits and answers false; a top element sets them as
  // its window's tracking size and returns the window's answer.
  bool SetMinSize(int32_t width, int32_t height);
  bool SetMaxSize(int32_t width, int32_t height);
  int32_t GetMinWidth() const { return minWidth_ < 0 ? 0 : minWidth_; }
  int32_t GetMinHeight() const { return minHeight_ < 0 ? 0 : minHeight_; }

  // ---- Fonts and texts ----
  cWinFont* GetDefaultFont();     // 5 x 13, UI face
  cWinFont* GetUnderlinedFont();  // the same, underlined
  cWinFont* GetBoldFont();        // 6 x 13, UI face, bold
  // Text index of the nearest section up the tree: the walk climbs while
  // elements name no section and stops with null at an element that names
  // one without having it loaded.
  const char16_t* GetLangString(int32_t index);
  // The same, or "" where there is no text: what labels and buttons show.
  const char16_t* GetLangText(int32_t index);
  // For elements not in a tree yet: the own section, or other's walk, or the
  // own key looked up through other's window (and kept).
  const char16_t* GetLangStringVia(cChildElement* other, int32_t index);
  const tLangSection* LookupLanguageSection(const char16_t* key);
  const tLangSection* GetLanguageSection() const { return langSection_; }

  // ---- Operations that reach the window ----
  bool MeasureText(const char16_t* text, sSize* size, cWinFont* font);
  bool GetScreenPos(sPoint* point);
  bool GetMaxWindowSize(int32_t* width, int32_t* height);
  int32_t ShowModal(const char16_t* title, int32_t width, int32_t height, cChildElement* form, bool resizable);
  int32_t ShowPopup(int32_t x, int32_t y, int32_t width, int32_t height, cChildElement* element);
  cWindowHolder* ShowHintWindow(int32_t x, int32_t y, int32_t width, int32_t height, cChildElement* element,
                                bool activate);
  void EndModal(int32_t code);
  // length -1: up to and including the terminator.
  bool WriteClipboardText(const char16_t* text, int32_t length);
  bool ReadClipboardText(_guardchar<char16_t>* text);
  // Used by the window host when it takes the element as its top element.
  void SetHostAndRect(cWindowRequestTarget* host, int32_t x, int32_t y, int32_t width, int32_t height);
  cWindowRequestTarget* GetHost() const { return host_; }

  // ---- Actions ----
  bool PostAction(cChildAction* action);
  bool PostDirectAction(cChildAction* action);
  bool PostKind(int32_t kind);
  bool SendAction(cSentChildAction* action);

  // ---- Hint and registry ----
  void ShowHint();
  bool HasHintElement() const { return hintElement_ != nullptr; }
  static bool IsLive(const cChildElement* element);

protected:
  // Puts the actions of a posted batch behind the failed one back at the
  // front of element's queue (or deletes them with a dead element).
  void RequeuePosted(cChildElement* element, cItemList& batch, cListItem* failed);

  cWindowRequestTarget* FindHost();
  cChildElement* TopElement();
  // The child's rectangle in this element's coordinates (scroll offset on
  // its scrolling axes) and that rectangle cut to the content area (or to
  // the element on a fixed axis).
  void ChildRects(cChildElement* child, sRect* unclipped, sRect* clipped);
  void ResolveAnchor(cChildElement* child, const sRect& anchor, int32_t refWidth, int32_t refHeight, sRect* out);
  void InvalidateChange(const sRect& before, const sRect& after);
  void PaintSelf(cCanvas* canvas);
  // The point (x, y) of this element in child's coordinates.
  void ToChild(cChildElement* child, int32_t x, int32_t y, int32_t* cx, int32_t* cy);
  // Tab navigation over the children after (before) from, or over all of
  // them when from is null; the first that takes the focus becomes the
  // focused child.
  bool TryChildrenTab(cChildElement* from, bool forward);
  void DeleteHint();

  const tLangSection* langSection_ = nullptr;
  cWindowRequestTarget* host_ = nullptr;
  cChildElement* focusedChild_ = nullptr;
  cChildElement* savedFocus_ = nullptr;
  cChildElement* hintElement_ = nullptr;  // owned
  _guardchar<char16_t> hintText_;
  cItemList postedQueue_;
  cItemList directQueue_;
  _guardchar<char16_t> text_;
  int32_t minWidth_ = -1, minHeight_ = -1, maxWidth_ = -1, maxHeight_ = -1;
  int32_t hintPlacement_ = 0;
  bool hasFocus_ = false;
  cSortedTree<cChildElement*, int32_t> children_;   // child -> tab index
  cSortedTree<int32_t, cChildElement*> tabOrder_;   // tab index -> child
  cSortedTree<cChildElement*, sRect> anchors_;      // child -> anchor values
  int32_t x_ = 0, y_ = 0, width_ = 0, height_ = 0;
  cChildElement* parent_ = nullptr;
  cChildElement* captureChild_ = nullptr;
  cChildElement* hover_ = nullptr;
  cChildElement* vFixedIn_ = nullptr;
  cChildElement* hFixedIn_ = nullptr;
  uint32_t lastPressTime_ = 0;
  uint32_t background_ = 0xFFFFFF;
  int32_t border_ = 0;
  int32_t lastPressX_ = 0, lastPressY_ = 0;
  bool transparent_ = false;
  bool enabled_ = true;
  bool tabStop_ = false;
  bool arrowStop_ = false;
  bool arrowWrap_ = false;
  bool doubleBuffer_ = false;
  bool fullRepaint_ = false;
  bool visible_ = true;
  bool attached_ = false;
  bool focusable_ = true;
  bool selfCapture_ = false;
  bool doubleClickActions_ = false;
  bool acceptsDroppedFiles_ = false;
  int32_t cursor_ = 0;
};

namespace tw {
// Milliseconds of a steady clock, wrapping at 32 bits: the double-click
// rule's GetTickCount. Tests may install their own source (null restores
// the clock).
uint32_t ElementTickCount();
void SetElementTickSource(uint32_t (*source)());
// The one lock that guards every element's two action queues.
cCriticalSection& ActionLock();
}  // namespace tw
