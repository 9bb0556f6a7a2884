#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <string>

namespace wrenly {

struct XDisplayCloser {
  void operator()(Display* display) const;
};

// One client connection to the X server, closed when the object goes.
using XDisplayPtr = std::unique_ptr<Display, XDisplayCloser>;

// Opens a connection to `displayName` (none: $DISPLAY). Before the first connection it makes
// Xlib thread-safe and replaces its error handlers, whose defaults end the process on a protocol
// error (a window that vanished between two requests) or a lost server.
XDisplayPtr openXConnection(const std::optional<std::string>& displayName);

// An atom by name, created when the server does not know it yet.
Atom internAtom(Display* display, const char* name);

}  // namespace wrenly
