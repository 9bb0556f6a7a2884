#pragma once

#include <string>

#include "controller/DictationState.h"

namespace wrenly {

// What the views draw: the controller's state plus the one desktop fact the main view shows
// that is not part of it. Taken on the main loop, posted to the GUI thread.
struct ShellSnapshot {
  DictationState voice;
  bool hasAccessibility = false;  // automatic paste can work
  std::string sessionNote;        // how keys reach the program, when not as on X11

  friend bool operator==(const ShellSnapshot&, const ShellSnapshot&) = default;
};

}  // namespace wrenly
