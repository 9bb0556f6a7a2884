#pragma once

#include <string>

namespace wrenly {

// What the session lacks for the program to start, in the order start-up looks for it.
enum class DesktopMissing {
  sessionBus,          // the keyring and the desktop's services are reached over the session bus
  keyring,             // nothing serves (or can start) the Secret Service
  soundServer,         // the sound server does not answer
  display,             // no X display named (a Wayland session without XWayland)
  displayUnreachable,  // the X server refused or is gone
  xinput2,             // XInput 2.2 missing: keys cannot be watched
  xtest,               // XTEST missing: keys cannot be sent
};

// The user's text for it is chosen by describe() (messages/ErrorText.h).
struct DesktopError {
  DesktopMissing missing = DesktopMissing::display;
  std::string detail;  // the system's own description, for the terminal and the log
};

}  // namespace wrenly
