#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Asio.h"

#include "platform/linux/wayland/PortalKeyInjector.h"
#include "platform/linux/wayland/VirtualKeyInjector.h"

namespace wrenly {

class Clipboard;
class DataControlClipboard;
class RemoteDesktopClipboard;
class KeyInjector;
class SwayWindowList;
class SwayWorkspace;
class WindowList;
class Workspace;
class WaylandConnection;

// The adapters a Wayland compositor makes possible for this program, each present only when
// the compositor advertises what it needs.
class WaylandDesktop {
 public:
  // None when no compositor answers at WAYLAND_DISPLAY or it offers none of the adapters. The
  // workspace lives on `mainLoop`.
  static std::unique_ptr<WaylandDesktop> open(asio::any_io_executor mainLoop,
                                              std::optional<std::string> ownApplicationID,
                                              VirtualKeyInjector::TerminalCheck isTerminal);
  ~WaylandDesktop();
  WaylandDesktop(const WaylandDesktop&) = delete;
  WaylandDesktop& operator=(const WaylandDesktop&) = delete;

  // Main loop only; null when neither the compositor offers a virtual keyboard nor the desktop
  // portal remote desktop.
  KeyInjector* keyInjector();
  // Whether the keys go through the desktop portal, which may ask the user first.
  bool pastesThroughPortal() const { return !keyInjector_ && portalKeys_; }
  // Any thread; null when the compositor offers neither data control nor the clipboard of its
  // remote-desktop service.
  Clipboard* clipboard();
  // Main loop only; null unless sway answers at SWAYSOCK.
  Workspace* workspace();
  WindowList* windows();

 private:
  WaylandDesktop() = default;

  std::unique_ptr<WaylandConnection> connection_;  // outlives the adapters
  std::unique_ptr<VirtualKeyInjector> keyInjector_;
  std::unique_ptr<PortalKeyInjector> portalKeys_;  // only without a virtual keyboard
  std::unique_ptr<DataControlClipboard> clipboard_;
  std::unique_ptr<RemoteDesktopClipboard> remoteClipboard_;  // only without data control
  std::unique_ptr<SwayWorkspace> workspace_;
  std::unique_ptr<SwayWindowList> windows_;
};

}  // namespace wrenly
