#pragma once

#include <X11/Xlib.h>

#include <boost/asio/io_context.hpp>
#include <functional>
#include <memory>

#include "ChildProcess.h"
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
  ~DesktopSession();

  // Runs the main loop until `done` holds; false after 5 s without.
  bool runUntil(const std::function<bool()>& done);
  // Presses or releases the key with that symbol on the current layout; 0 for a click.
  void key(unsigned long keysym, bool down);
  void tap(unsigned long keysym) { key(keysym, true), key(keysym, false); }
  void click();
  // Brings the application forward and waits until it is in front.
  bool bringForward(int32_t processID);
  int32_t fieldsPID() const { return fields->pid(); }
  int32_t editorPID() const { return editor->pid(); }

  boost::asio::io_context mainLoop;
  std::unique_ptr<AtspiAccessibility> accessibility =
      std::make_unique<AtspiAccessibility>(AtspiAccessibility::KeyAccess::available);
  std::unique_ptr<X11Desktop> desktop;
  XDisplayPtr user;
  std::unique_ptr<ChildProcess> fields;
  std::unique_ptr<ChildProcess> editor;
};

}  // namespace wrenly
