#include "platform/linux/wayland/WaylandDesktop.h"

#include "platform/linux/wayland/DataControlClipboard.h"
#include "platform/linux/wayland/WaylandConnection.h"

namespace wrenly {

std::unique_ptr<WaylandDesktop> WaylandDesktop::open(VirtualKeyInjector::TerminalCheck isTerminal) {
  std::unique_ptr<WaylandDesktop> desktop(new WaylandDesktop());
  desktop->connection_ = WaylandConnection::open();
  if (!desktop->connection_) return nullptr;
  desktop->keyInjector_ = VirtualKeyInjector::open(*desktop->connection_, std::move(isTerminal));
  desktop->clipboard_ = DataControlClipboard::open(*desktop->connection_);
  desktop->connection_->startDispatching();
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

}  // namespace wrenly
