// Posting, sending and running actions (see element.h). One global lock
// guards every element's two queues; it is held only to append one action
// or to move one queue out, never while calling out, so posting from inside
// OnAction cannot deadlock.
#include "gui/element.h"

#include "base/fault_trap.h"
#include "gui/wnd_lite.h"

namespace tw {
cCriticalSection& ActionLock() {
  static cCriticalSection lock;
  return lock;
}
}  // namespace tw

void cChildElement::cSentChildAction::Done() {
  if (event == nullptr) return;
  cEvent* wake = event;
  event = nullptr;  // signalled once: the destructor must not wake it again
  if (handled != nullptr) *handled = true;
  wake->Set();  // the sender's frame may be gone from here on
}

cChildElement::cSentChildAction::~cSentChildAction() {
  if (event != nullptr) event->Set();
}

cChildElement::cDropFilesAction::cDropFilesAction(int32_t px, int32_t py, tPathList& list)
    : cChildAction(6), x(px), y(py) {
  paths.head = list.head;
  paths.tail = list.tail;
  list.head = list.tail = nullptr;
}

bool cChildElement::PostAction(cChildAction* action) {
  if (action == nullptr) action = new cChildAction(0);
  {
    cSafeCriticalSectionAccess guard(&tw::ActionLock());
    postedQueue_.Append(action);
  }
  // A failed wake-up leaves the action queued for the next one.
  return NotifyPosted(this);
}

bool cChildElement::PostDirectAction(cChildAction* action) {
  if (action == nullptr) return false;
  {
    cSafeCriticalSectionAccess guard(&tw::ActionLock());
    directQueue_.Append(action);
  }
  return NotifySent(this);
}

bool cChildElement::PostKind(int32_t kind) { return PostAction(new cChildAction(kind)); }

bool cChildElement::SendAction(cSentChildAction* action) {
  if (action == nullptr) return false;
  cEvent done;
  if (!done.Create(nullptr, false, false)) {
    delete action;
    return false;
  }
  bool handled = false;
  action->event = &done;
  action->handled = &handled;
  {
    cSafeCriticalSectionAccess guard(&tw::ActionLock());
    directQueue_.Append(action);
  }
  if (!NotifySent(this)) {
    // Nobody will run it: take it out again, so that nothing signals the
    // event after this frame is gone.
    bool queued = false;
    {
      cSafeCriticalSectionAccess guard(&tw::ActionLock());
      for (cListItem* i = directQueue_.head; i != nullptr && !queued; i = i->next) queued = i == action;
      if (queued) directQueue_.Remove(action);
    }
    if (queued) return false;
    // An earlier wake-up for this element has already taken it to the UI
    // thread, which will signal it (Done, or its deletion): wait for that.
  }
  // Signalled by Done (handled) or by the action's deletion with its
  // element (cancelled).
  return done.Wait() && handled;
}

bool cChildElement::NotifyPosted(cChildElement* element) {
  if (parent_ != nullptr) return parent_->NotifyPosted(element);
  return host_ != nullptr && host_->WakePosted(element);
}

bool cChildElement::NotifySent(cChildElement* element) {
  if (parent_ != nullptr) return parent_->NotifySent(element);
  return host_ != nullptr && host_->WakeSent(element);
}

bool cChildElement::RunPosted(cChildElement* element) {
  if (element == nullptr || !IsLive(element)) return false;
  cItemList local;
  {
    cSafeCriticalSectionAccess guard(&tw::ActionLock());
    local.head = element->postedQueue_.head;
    local.tail = element->postedQueue_.tail;
    element->postedQueue_.Reset();
  }
  bool all = true;
  cListItem* i = local.head;
  try {
    for (; i != nullptr; i = i->next) {
      auto* action = static_cast<cChildAction*>(i);
      // The element may be gone after an earlier action of its own list.
      if (IsLive(element))
        all = element->BubbleAction(element, action) && all;
      else
        all = false;
      action->Done();
    }
  } catch (...) {
    // A handler threw; the window's fault guard logs it. The actions behind
    // the faulty one must not go down with it: they go back to the front of
    // the queue, and the window is woken for them again.
    RequeuePosted(element, local, i);
    throw;
  }
  return all;
}

void cChildElement::RequeuePosted(cChildElement* element, cItemList& batch, cListItem* failed) {
  cListItem* rest = failed->next;
  if (rest == nullptr) return;
  cListItem* restTail = batch.tail;
  failed->next = nullptr;
  batch.tail = failed;  // the batch keeps (and deletes) only what has run
  if (!IsLive(element)) {
    cItemList orphans;  // deletes them
    orphans.head = rest;
    orphans.tail = restTail;
    return;
  }
  {
    cSafeCriticalSectionAccess guard(&tw::ActionLock());
    restTail->next = element->postedQueue_.head;
    element->postedQueue_.head = rest;
    if (element->postedQueue_.tail == nullptr) element->postedQueue_.tail = restTail;
  }
  NotifyPosted(element);
}

bool cChildElement::RunSent(cChildElement* element) {
  if (element == nullptr || !IsLive(element)) return false;
  cItemList local;
  {
    cSafeCriticalSectionAccess guard(&tw::ActionLock());
    local.head = element->directQueue_.head;
    local.tail = element->directQueue_.tail;
    element->directQueue_.Reset();
  }
  bool all = true;
  auto runBatch = [&] {
    for (cListItem* i = local.head; i != nullptr; i = i->next) {
      auto* action = static_cast<cChildAction*>(i);
      // An action of an element that went away is not reported as handled:
      // its deletion below wakes a sender with the cancelled answer.
      if (!IsLive(element)) {
        all = false;
        continue;
      }
      all = element->OnAction(element, action) && all;
      action->Done();
    }
  };
  // A processor fault in a handler is recovered without unwinding: were it
  // left to the window's guard, this frame and the batch would be abandoned
  // and the senders of the faulty action and of those behind it would wait
  // for ever. Recovered here, the batch is still whole: its deletion on the
  // way out wakes each of them with the cancelled answer.
  tw::cFaultTrap trap;
  if (!trap.Run(runBatch)) {
    tw::LogRecoveredFault(trap.Fault());
    return false;
  }
  return all;
}

bool cChildElement::BubbleAction(cChildElement* sender, cChildAction* action) {
  if (OnAction(sender, action)) return true;
  return parent_ != nullptr && parent_->BubbleAction(sender, action);
}

bool cChildElement::OnAction(cChildElement* sender, cChildAction* action) {
  if (action == nullptr) return false;
  if (action->kind == 5 && sender == this) {
    DeleteHint();
    return true;
  }
  if (action->kind == 4) {
    TopElement()->SetFocusTo(sender);
    return true;
  }
  return false;
}
