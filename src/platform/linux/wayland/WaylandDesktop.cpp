#include "platform/linux/wayland/WaylandDesktop.h"

#include <cstdlib>

#include "platform/linux/wayland/DataControlClipboard.h"
#include "platform/linux/wayland/SwayWindowList.h"
#include "platform/linux/wayland/SwayWorkspace.h"
#include "platform/linux/wayland/WaylandConnection.h"

namespace wrenly {

std::unique_ptr<WaylandDesktop> WaylandDesktop::open(asio::any_io_executor mainLoop,
                                                     std::optional<std::string> ownApplicationID,
                                                     VirtualKeyInjector::TerminalCheck isTerminal) {
  std::unique_ptr<WaylandDesktop> desktop(new WaylandDesktop());
  desktop->connection_ = WaylandConnection::open();
  if (!desktop->connection_) return nullptr;
  desktop->keyInjector_ = VirtualKeyInjector::open(*desktop->connection_, std::move(isTerminal));
  desktop->clipboard_ = DataControlClipboard::open(*desktop->connection_);
  desktop->connection_->startDispatching();
  if (const char* sway = std::getenv("SWAYSOCK"); sway && *sway) {
    desktop->workspace_ =
        SwayWorkspace::open(std::move(mainLoop), sway, std::move(ownApplicationID));
    desktop->windows_ = SwayWindowList::open(sway);
  }
  return desktop;
}

WaylandDesktop::~WaylandDesktop() {
  if (connection_) connection_->stopDispatching();
}

KeyInjector* WaylandDesktop::keyInjector() {
  return keyInjector_.get();
}

Clipboard* WaylandDesktop::clipboard() {
  return clipboard_.get();
}

Workspace* WaylandDesktop::workspace() {
  return workspace_.get();
}

WindowList* WaylandDesktop::windows() {
  return windows_.get();
}

}  // namespace wrenly
