#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/Expected.h"
#include "platform/Accessibility.h"
#include "platform/Asio.h"
#include "platform/ChordRegistrar.h"
#include "platform/DesktopPorts.h"
#include "platform/KeyInjector.h"
#include "platform/KeyMonitor.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"
#include "platform/linux/DesktopError.h"
#include "platform/linux/x11/XConnection.h"

namespace wrenly {

class X11Workspace;
class X11WindowList;
class XTestKeyInjector;
class XInputKeyMonitor;
class XGrabChordRegistrar;

// The desktop of an X11 session (or XWayland): windows and activation, paste keys, the key
// monitor and hot keys. It owns one X connection per event stream, so that no adapter reads
// another's events.
class X11Desktop {
 public:
  struct Options {
    std::optional<std::string> displayName;       // none: $DISPLAY
    std::optional<std::string> ownApplicationID;  // this program's id (its .desktop id)
  };
  using Opened = Expected<std::unique_ptr<X11Desktop>, DesktopError>;

  // Connects and checks what the session offers; every adapter lives on `mainLoop`. The
  // accessibility service, which tells terminals by their role, must outlive the desktop.
  static Opened open(asio::any_io_executor mainLoop, const Options& options,
                     Accessibility& accessibility);
  ~X11Desktop();
  X11Desktop(const X11Desktop&) = delete;
  X11Desktop& operator=(const X11Desktop&) = delete;

  Workspace& workspace();
  WindowList& windows();
  KeyInjector& keyInjector();
  KeyMonitor& keyMonitor();
  ChordRegistrar& chords();
  // Whether the window with keyboard focus belongs to this program.
  bool ownWindowFocused() const;
  // Its five, for LinuxPlatform::attach (accessibility is not the display server's); they live
  // as long as this object.
  DesktopPorts ports();
  // Whether the application pastes with Ctrl+Shift+V (terminals); main loop only.
  bool isTerminal(int32_t processID);

 private:
  explicit X11Desktop(Accessibility& accessibility);

  // Connections first: the adapters using them go before them.
  XDisplayPtr workspaceConnection_;
  XDisplayPtr requestConnection_;  // requests only, no events: window list and keystrokes
  XDisplayPtr keyConnection_;
  XDisplayPtr chordConnection_;
  Accessibility& accessibility_;
  std::unique_ptr<X11Workspace> workspace_;
  std::unique_ptr<X11WindowList> windows_;
  std::unique_ptr<XTestKeyInjector> keyInjector_;
  std::unique_ptr<XInputKeyMonitor> keyMonitor_;
  std::unique_ptr<XGrabChordRegistrar> chords_;
};

}  // namespace wrenly
