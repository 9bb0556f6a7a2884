#include "platform/linux/wayland/WaylandConnection.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace wrenly {

namespace {

template <typename T>
T* bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered,
        uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

}  // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::open() {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return nullptr;
  std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display));
  static const wl_registry_listener listener{.global = &WaylandConnection::global,
                                             .global_remove = &WaylandConnection::globalRemoved};
  connection->registry_ = wl_display_get_registry(display);
  wl_registry_add_listener(connection->registry_, &listener, connection.get());
  if (wl_display_roundtrip(display) < 0) return nullptr;
  connection->stop_ = UniqueFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!connection->stop_) return nullptr;
  return connection;
}

void WaylandConnection::global(void* self, wl_registry* registry, uint32_t name,
                               const char* interface, uint32_t version) {
  auto& connection = *static_cast<WaylandConnection*>(self);
  // The first seat is the user's; the program types and pastes on that one.
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && !connection.seat_) {
    connection.seat_ = bind<wl_seat>(registry, name, &wl_seat_interface, version, 1);
  } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    connection.keyboards_ = bind<zwp_virtual_keyboard_manager_v1>(
        registry, name, &zwp_virtual_keyboard_manager_v1_interface, version, 1);
  } else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0) {
    // Version 1: the primary selection is none of the program's business.
    connection.dataControl_ = bind<zwlr_data_control_manager_v1>(
        registry, name, &zwlr_data_control_manager_v1_interface, version, 1);
  }
}

WaylandConnection::~WaylandConnection() {
  stopDispatching();
  if (dataControl_) zwlr_data_control_manager_v1_destroy(dataControl_);
  // The virtual keyboard manager has no destructor request: forgetting the proxy is all.
  if (keyboards_) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(keyboards_));
  if (seat_) wl_seat_destroy(seat_);
  if (registry_) wl_registry_destroy(registry_);
  wl_display_disconnect(display_);
}

void WaylandConnection::startDispatching() {
  if (dispatcher_.joinable()) return;
  // The first answers to the adapters' set-up (the clipboard's current content) are handled
  // here, so that they are not taken for answers to their first requests.
  wl_display_roundtrip(display_);
  dispatcher_ = std::thread([this] { dispatchUntilStopped(); });
}

void WaylandConnection::stopDispatching() {
  if (!dispatcher_.joinable()) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(stop_.get(), &one, sizeof one);
  dispatcher_.join();
}

bool WaylandConnection::flush() {
  return wl_display_flush(display_) >= 0 || errno == EAGAIN;
}

void WaylandConnection::dispatchUntilStopped() {
  for (;;) {
    while (wl_display_prepare_read(display_) != 0) {
      if (wl_display_dispatch_pending(display_) < 0) return;
    }
    wl_display_flush(display_);
    pollfd watched[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0 && errno != EINTR) {
      wl_display_cancel_read(display_);
      return;
    }
    if (watched[1].revents) {
      wl_display_cancel_read(display_);
      return;
    }
    if (watched[0].revents & POLLIN) {
      if (wl_display_read_events(display_) < 0) return;
    } else {
      wl_display_cancel_read(display_);
      // A hang-up without data: the compositor is gone.
      if (watched[0].revents & (POLLHUP | POLLERR)) return;
    }
    if (wl_display_dispatch_pending(display_) < 0) return;
  }
}

}  // namespace wrenly
