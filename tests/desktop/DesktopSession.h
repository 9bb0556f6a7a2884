#pragma once

// GoogleTest (in RealTestLoop.h) before Xlib, whose macros (None, Bool) clash with its names.
#include "RealTestLoop.h"

#include <X11/Xlib.h>

#include <memory>

#include "ChildProcess.h"
#include "base/SystemClock.h"
#include "platform/Platform.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/x11/X11Desktop.h"

namespace wrenly {

// The real desktop adapters on the private desktop that headless-desktop.sh started, with the
// GTK fields window (which also owns the clipboard) and the editor running, and a connection
// of the test's own to type and click with XTEST as a user would.
struct DesktopSession {
  // The one session of this process, started on first use.
  static DesktopSession& shared();

  DesktopSession();

  // Presses or releases the key with that symbol on the current layout; 0 for a click.
  void key(unsigned long keysym, bool down);
  void tap(unsigned long keysym) { key(keysym, true), key(keysym, false); }
  void click();
  // Brings the application forward and waits until it is in front.
  bool bringForward(int32_t processID);
  // The desktop's ports on the main loop, with the system clock and `clipboard`.
  Platform platform(Clipboard* clipboard = nullptr);
  int32_t fieldsPID() const { return fields->pid(); }
  int32_t editorPID() const { return editor->pid(); }

  boost::asio::io_context& mainLoop = realtest::mainLoop;
  SystemClock clock;
  std::unique_ptr<AtspiAccessibility> accessibility =
      std::make_unique<AtspiAccessibility>(AtspiAccessibility::KeyAccess::available);
  std::unique_ptr<X11Desktop> desktop;
  XDisplayPtr user;
  std::unique_ptr<ChildProcess> fields;
  std::unique_ptr<ChildProcess> editor;
};

}  // namespace wrenly
