#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Asio.h"

#include "platform/linux/wayland/VirtualKeyInjector.h"

namespace wrenly {

class Clipboard;
class DataControlClipboard;
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

  // Main loop only; null when the compositor offers no virtual keyboard.
  KeyInjector* keyInjector();
  // Any thread; null when the compositor offers no data control.
  Clipboard* clipboard();
  // Main loop only; null unless sway answers at SWAYSOCK.
  Workspace* workspace();
  WindowList* windows();

 private:
  WaylandDesktop() = default;

  std::unique_ptr<WaylandConnection> connection_;  // outlives the adapters
  std::unique_ptr<VirtualKeyInjector> keyInjector_;
  std::unique_ptr<DataControlClipboard> clipboard_;
  std::unique_ptr<SwayWorkspace> workspace_;
  std::unique_ptr<SwayWindowList> windows_;
};

}  // namespace wrenly
