#include "platform/linux/x11/XConnection.h"

#include <mutex>

namespace wrenly {

namespace {

// Errors are expected here: windows of other clients may go away at any moment. Each request
// checks its own reply, so the error event itself carries nothing to act on.
int ignoreProtocolError(Display*, XErrorEvent*) {
  return 0;
}

// Called once the server is gone. Returning (instead of exiting) leaves the connection unusable
// but the program running; every later request on it fails.
int noteLostServer(Display*) {
  return 0;
}
void keepRunning(Display*, void*) {}

}  // namespace

void XDisplayCloser::operator()(Display* display) const {
  XCloseDisplay(display);
}

XDisplayPtr openXConnection(const std::optional<std::string>& displayName) {
  static std::once_flag setUp;
  std::call_once(setUp, [] {
    XInitThreads();
    XSetErrorHandler(ignoreProtocolError);
    XSetIOErrorHandler(noteLostServer);
  });
  XDisplayPtr display(XOpenDisplay(displayName ? displayName->c_str() : nullptr));
  if (display) XSetIOErrorExitHandler(display.get(), keepRunning, nullptr);
  return display;
}

Atom internAtom(Display* display, const char* name) {
  return XInternAtom(display, name, False);
}

}  // namespace wrenly
