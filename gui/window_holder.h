// cWindowHolder: a non-modal window kept by its owner (the hint windows).
// Deleting the holder destroys the window and the element it hosts.
#pragma once

#include "base/lists.h"

class cWindowRequestTarget;

class cWindowHolder : public cListItem {
public:
  cWindowHolder() = default;
  ~cWindowHolder() override = default;
  virtual bool IsAlive() { return true; }
  // Destroys the window (the element stays with the host).
  virtual void DestroyWindow() = 0;
  // What the hosted element asks its window.
  virtual cWindowRequestTarget* GetHost() = 0;
  // Destroys the window; with detach the element is left to the caller,
  // else it is deleted with the host. Deletes the holder.
  virtual void Release(bool detach) = 0;
};
