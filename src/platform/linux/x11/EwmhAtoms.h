#pragma once

#include <X11/Xlib.h>

namespace wrenly {

// The window-manager hints the adapters read, interned once per connection.
struct EwmhAtoms {
  explicit EwmhAtoms(Display* display);

  Atom activeWindow;
  Atom clientListStacking;
  Atom wmPid;
  Atom wmWindowType;
  Atom typeNormal;
  Atom typeDialog;
  Atom wmState;
  Atom stateHidden;
  Atom gtkApplicationID;
  Atom utf8String;
};

}  // namespace wrenly
