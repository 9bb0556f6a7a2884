#pragma once

#include <memory>
#include <thread>

#include "platform/linux/wayland/UniqueFd.h"

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwp_virtual_keyboard_manager_v1;
struct zwlr_data_control_manager_v1;

namespace wrenly {

// This program's own connection to the Wayland compositor, with the globals the adapters use.
// Its events are dispatched on a thread of its own, so a clipboard held by the program keeps
// answering readers whatever the main loop and the GUI thread are doing; requests may be made
// from any thread (the client library serialises them).
class WaylandConnection {
 public:
  // None when no compositor answers at WAYLAND_DISPLAY.
  static std::unique_ptr<WaylandConnection> open();
  ~WaylandConnection();
  WaylandConnection(const WaylandConnection&) = delete;
  WaylandConnection& operator=(const WaylandConnection&) = delete;

  wl_display* display() const { return display_; }
  // Null when the compositor does not offer it.
  wl_seat* seat() const { return seat_; }
  zwp_virtual_keyboard_manager_v1* keyboards() const { return keyboards_; }
  zwlr_data_control_manager_v1* dataControl() const { return dataControl_; }

  // Starts dispatching events; objects whose first events matter get their listeners before.
  void startDispatching();
  // Ends the dispatching, so that adapters can go without a handler of theirs running.
  void stopDispatching();
  // Sends the requests made so far; false once the connection is broken.
  bool flush();

 private:
  explicit WaylandConnection(wl_display* display) : display_(display) {}
  static void global(void* self, wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version);
  static void globalRemoved(void*, wl_registry*, uint32_t) {}
  void dispatchUntilStopped();

  wl_display* display_;
  wl_registry* registry_ = nullptr;
  wl_seat* seat_ = nullptr;
  zwp_virtual_keyboard_manager_v1* keyboards_ = nullptr;
  zwlr_data_control_manager_v1* dataControl_ = nullptr;
  UniqueFd stop_;  // eventfd that wakes the dispatch thread to end
  std::thread dispatcher_;
};

}  // namespace wrenly
