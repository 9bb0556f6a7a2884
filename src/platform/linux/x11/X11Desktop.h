#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/Accessibility.h"
#include "platform/Asio.h"
#include "platform/ChordRegistrar.h"
#include "platform/DesktopPorts.h"
#include "platform/KeyInjector.h"
#include "platform/KeyMonitor.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"
#include "platform/linux/x11/XConnection.h"

namespace wrenly {

// What the session lacks for the desktop adapters.
enum class DesktopUnavailable {
  noDisplay,           // no X display named (a Wayland session without XWayland)
  displayUnreachable,  // the X server refused or is gone
  noXInput2,           // XInput 2.2 missing: keys cannot be watched
  noXTest,             // XTEST missing: keys cannot be sent
};

struct DesktopOpenError {
  DesktopUnavailable reason = DesktopUnavailable::noDisplay;
  std::string detail;  // the technical cause, for the log

  // The user's explanation, from the message catalogue.
  const char* userMessage() const;
};

class X11Workspace;
class X11WindowList;
class XTestKeyInjector;
class XInputKeyMonitor;
class XGrabChordRegistrar;
class AtspiAccessibility;

// The desktop of an X11 session (or XWayland): windows and activation, other applications'
// fields, paste keys, the key monitor and hot keys. It owns one X connection per event stream,
// so that no adapter reads another's events.
class X11Desktop {
 public:
  struct Options {
    std::optional<std::string> displayName;       // none: $DISPLAY
    std::optional<std::string> ownApplicationID;  // this program's id (its .desktop id)
  };
  using Opened = std::variant<std::unique_ptr<X11Desktop>, DesktopOpenError>;

  // Connects and checks what the session offers; every adapter lives on `mainLoop`.
  static Opened open(asio::any_io_executor mainLoop, const Options& options);
  ~X11Desktop();
  X11Desktop(const X11Desktop&) = delete;
  X11Desktop& operator=(const X11Desktop&) = delete;

  Workspace& workspace();
  Accessibility& accessibility();
  WindowList& windows();
  KeyInjector& keyInjector();
  KeyMonitor& keyMonitor();
  ChordRegistrar& chords();
  // All six, for LinuxPlatform::attach; they live as long as this object.
  DesktopPorts ports();

 private:
  X11Desktop() = default;
  bool isTerminal(int32_t processID);

  // Connections first: the adapters using them go before them.
  XDisplayPtr workspaceConnection_;
  XDisplayPtr requestConnection_;  // requests only, no events: window list and keystrokes
  XDisplayPtr keyConnection_;
  XDisplayPtr chordConnection_;
  std::unique_ptr<AtspiAccessibility> accessibility_;
  std::unique_ptr<X11Workspace> workspace_;
  std::unique_ptr<X11WindowList> windows_;
  std::unique_ptr<XTestKeyInjector> keyInjector_;
  std::unique_ptr<XInputKeyMonitor> keyMonitor_;
  std::unique_ptr<XGrabChordRegistrar> chords_;
};

}  // namespace wrenly
