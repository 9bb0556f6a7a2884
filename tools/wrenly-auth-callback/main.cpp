// The handler of wrenly-auth: URLs. The browser starts it with the callback URL; it passes the
// URL on to the running Wrenly, which is waiting for it.
#include <cstdio>
#include <cstring>

#include "platform/linux/browser/XdgBrowserSession.h"

using namespace wrenly;

int main(int argc, char** argv) {
  if (argc != 2 || std::strncmp(argv[1], "wrenly-auth:", 12) != 0) {
    std::fprintf(stderr, "usage: wrenly-auth-callback wrenly-auth:URL\n");
    return 2;
  }
  if (!forwardAuthCallback(XdgBrowserSession::defaultSocketPath(), argv[1])) {
    std::fprintf(stderr, "wrenly-auth-callback: Wrenly is not waiting for a sign-in\n");
    return 1;
  }
  return 0;
}
