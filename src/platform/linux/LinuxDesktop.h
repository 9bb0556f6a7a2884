#pragma once

#include <chrono>
#include <memory>

#include "base/Expected.h"
#include "platform/linux/DesktopError.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/x11/X11Desktop.h"

namespace wrenly {

class AtspiAccessibility;
class AtspiWindowList;
class AtspiWorkspace;
class Clipboard;
class EvdevKeyMonitor;
class PortalChordRegistrar;
class SwayBindingKeyMonitor;
class WaylandDesktop;

struct LinuxDesktopOptions {
  LinuxPlatformOptions platform;
  X11Desktop::Options display;
  std::chrono::milliseconds soundServerWait{3000};  // how long the sound server may take to answer
};

// Every real adapter of the program but the GUI thread's: the platform (main loop, pool, clock,
// settings, keyring, sound, browser), the accessibility service and the display server's
// adapters, attached to the platform. The caller attaches the GUI ports and runs the main loop.
class LinuxDesktop {
 public:
  using Opened = Expected<std::unique_ptr<LinuxDesktop>, DesktopError>;

  // Checks, in this order, the session bus, the keyring, the sound server and the display, so
  // that what is missing is found at start-up rather than at the first dictation or sign-in.
  static Opened open(LinuxDesktopOptions options = {});
  ~LinuxDesktop();
  LinuxDesktop(const LinuxDesktop&) = delete;
  LinuxDesktop& operator=(const LinuxDesktop&) = delete;

  LinuxPlatform& adapters() { return *platform_; }
  // A Wayland session (the display is XWayland's), and whether its keys come from the kernel's
  // keyboard devices.
  bool wayland() const { return wayland_; }
  bool keyboardsRead() const { return keyboards_ != nullptr; }
  // Whether, without the devices, lone taps of the modifier keys come from sway's key bindings.
  bool keysFromCompositor() const { return bindings_ != nullptr; }
  // Whether keys for pasting reach native Wayland windows (through the compositor).
  bool compositorPastes() const;
  // Whether those keys go through the desktop portal, which asks the user at the first paste.
  bool portalPastes() const;
  // The compositor's clipboard, which any thread may write; null when the session has none the
  // program can set (then the shell's toolkit serves it).
  Clipboard* compositorClipboard() const;
  // Takes the desktop session's adapters down; call on the main loop, before it stops.
  void closeSession();

 private:
  explicit LinuxDesktop(std::unique_ptr<LinuxPlatform> platform);

  std::unique_ptr<LinuxPlatform> platform_;
  std::unique_ptr<AtspiAccessibility> accessibility_;
  std::unique_ptr<X11Desktop> display_;  // borrows the accessibility service
  bool wayland_ = false;
  std::unique_ptr<EvdevKeyMonitor> keyboards_;  // Wayland sessions only; borrows the display
  // sway sessions without the devices only; borrows the display.
  std::unique_ptr<SwayBindingKeyMonitor> bindings_;
  // Wayland sessions whose compositor names no windows to clients.
  std::unique_ptr<AtspiWorkspace> atspiWorkspace_;
  std::unique_ptr<AtspiWindowList> atspiWindows_;
  std::unique_ptr<WaylandDesktop> compositor_;  // Wayland sessions only; borrows the display
  // Wayland sessions only: the chord from the portal's global shortcuts, else the display's.
  std::unique_ptr<PortalChordRegistrar> chords_;
};

}  // namespace wrenly
