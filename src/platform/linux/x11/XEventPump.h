#pragma once

#include <X11/Xlib.h>

#include <boost/asio/posix/stream_descriptor.hpp>
#include <functional>
#include <memory>

#include "platform/Asio.h"

namespace wrenly {

// Hands every event of one X connection to `handler` on the main loop, woken by the
// connection's socket becoming readable (no polling). Requests made on the connection outside
// the handler may read events into Xlib's queue without the socket waking anyone: call
// `drainSoon` after them.
class XEventPump {
 public:
  using Handler = std::function<void(XEvent&)>;

  XEventPump(asio::any_io_executor mainLoop, Display* display, Handler handler);
  ~XEventPump();
  XEventPump(const XEventPump&) = delete;
  XEventPump& operator=(const XEventPump&) = delete;

  // Delivers the events Xlib has queued already, from the main loop, after the current call.
  void drainSoon();

 private:
  void wait();
  void drain();

  asio::any_io_executor mainLoop_;
  Display* display_;
  Handler handler_;
  asio::posix::stream_descriptor socket_;
  // Held weakly by posted work, which finds it expired once the pump is gone.
  std::shared_ptr<int> alive_ = std::make_shared<int>();
};

}  // namespace wrenly
