#include "platform/linux/wayland/WaylandDesktop.h"

#include <cstdlib>

#include "base/UserFolders.h"
#include "platform/linux/TerminalClasses.h"
#include "platform/linux/wayland/DataControlClipboard.h"
#include "platform/linux/wayland/RemoteDesktopClipboard.h"
#include "platform/linux/wayland/SwayWindowList.h"
#include "platform/linux/wayland/SwayWorkspace.h"
#include "platform/linux/wayland/WaylandConnection.h"

namespace wrenly {

namespace {

std::filesystem::path portalTokenFile() {
  const auto base = userFolder("XDG_STATE_HOME", ".local/state");
  return base ? *base / "Wrenly" / "remote-desktop-token" : std::filesystem::path();
}

}  // namespace

std::unique_ptr<WaylandDesktop> WaylandDesktop::open(asio::any_io_executor mainLoop,
                                                     std::optional<std::string> ownApplicationID,
                                                     VirtualKeyInjector::TerminalCheck isTerminal) {
  std::unique_ptr<WaylandDesktop> desktop(new WaylandDesktop());
  desktop->connection_ = WaylandConnection::open();
  if (!desktop->connection_) return nullptr;
  // sway knows the app id of native terminals, which the X server and often the accessibility
  // bus do not.
  WaylandDesktop& self = *desktop;
  auto isTerminalHere = [&self, isTerminal = std::move(isTerminal)](int32_t processID) {
    if (self.workspace_) {
      auto application = self.workspace_->runningApplication(processID);
      if (application && application->applicationID &&
          isTerminalClass(*application->applicationID)) {
        return true;
      }
    }
    return isTerminal && isTerminal(processID);
  };
  desktop->keyInjector_ = VirtualKeyInjector::open(*desktop->connection_, isTerminalHere);
  // Compositors without a virtual keyboard for clients (GNOME's, KDE's) may still take keys
  // through the desktop portal.
  if (!desktop->keyInjector_) {
    desktop->portalKeys_ = PortalKeyInjector::open(isTerminalHere, portalTokenFile());
  }
  desktop->clipboard_ = DataControlClipboard::open(*desktop->connection_);
  if (!desktop->clipboard_) desktop->remoteClipboard_ = RemoteDesktopClipboard::open();
  desktop->connection_->startDispatching();
  if (const char* sway = std::getenv("SWAYSOCK"); sway && *sway) {
    desktop->workspace_ =
        SwayWorkspace::open(std::move(mainLoop), sway, std::move(ownApplicationID));
    desktop->windows_ = SwayWindowList::open(sway);
  }
  // Compositors offering none of it keep no connection and thread for nothing.
  if (!desktop->keyInjector_ && !desktop->portalKeys_ && !desktop->clipboard_ &&
      !desktop->remoteClipboard_ && !desktop->workspace_) {
    return nullptr;
  }
  return desktop;
}

WaylandDesktop::~WaylandDesktop() {
  if (connection_) connection_->stopDispatching();
}

KeyInjector* WaylandDesktop::keyInjector() {
  if (keyInjector_) return keyInjector_.get();
  return portalKeys_.get();
}

Clipboard* WaylandDesktop::clipboard() {
  if (clipboard_) return clipboard_.get();
  return remoteClipboard_.get();
}

Workspace* WaylandDesktop::workspace() {
  return workspace_.get();
}

WindowList* WaylandDesktop::windows() {
  return windows_.get();
}

}  // namespace wrenly
