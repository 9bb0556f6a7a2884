#include "platform/linux/x11/XEventPump.h"

#include <X11/Xlib-xcb.h>

#include <boost/asio/post.hpp>

namespace wrenly {

XEventPump::XEventPump(asio::any_io_executor mainLoop, Display* display, Handler handler)
    : mainLoop_(std::move(mainLoop)),
      display_(display),
      handler_(std::move(handler)),
      socket_(mainLoop_, ConnectionNumber(display)) {
  XFlush(display_);
  drainSoon();
  wait();
}

XEventPump::~XEventPump() {
  // The socket belongs to Xlib, which closes it with the connection.
  boost::system::error_code ignored;
  socket_.cancel(ignored);
  socket_.release();
}

void XEventPump::drainSoon() {
  asio::post(mainLoop_, [this, alive = std::weak_ptr(alive_)] {
    if (alive.lock()) drain();
  });
}

void XEventPump::wait() {
  socket_.async_wait(asio::posix::stream_descriptor::wait_read,
                     [this, alive = std::weak_ptr(alive_)](boost::system::error_code error) {
                       if (error || !alive.lock()) return;
                       drain();
                       // A lost server leaves the socket readable for ever: stop listening.
                       if (xcb_connection_has_error(XGetXCBConnection(display_))) return;
                       wait();
                     });
}

void XEventPump::drain() {
  // XPending reads what the socket holds; a lost server leaves nothing pending.
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    handler_(event);
  }
  XFlush(display_);
}

}  // namespace wrenly
