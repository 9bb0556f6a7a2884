// wrenly: push-to-talk dictation in the tray.
//   wrenly                 starts the program, or brings the running one's window forward
//   wrenly --toggle        starts or stops a dictation in the running program (for a desktop's
//                          own shortcut), or starts the program
//   wrenly wrenly-auth:…   hands a sign-in callback to the running program
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Program.h"
#include "app/SingleInstance.h"
#include "messages/ShellMessages.h"
#include "platform/linux/browser/XdgBrowserSession.h"

using namespace wrenly;

namespace {

bool hasDisplay() {
  // Qt ends the process when it cannot reach a display: look first. A platform chosen
  // explicitly (offscreen, for instance) knows what it needs.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const char* display = std::getenv("DISPLAY");
  return (platform && *platform) || (display && *display);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strncmp(argv[1], "wrenly-auth:", 12) == 0) {
    if (forwardAuthCallback(XdgBrowserSession::defaultSocketPath(), argv[1])) return 0;
    std::fprintf(stderr, "wrenly: no sign-in is waiting for this callback\n");
    return 1;
  }
  if (!hasDisplay()) {
    std::fprintf(stderr, "%s\n", ShellMessages::noDisplay);
    return 1;
  }
  // Qt's event loop would otherwise run GLib's default context on this thread, where the
  // accessibility thread's connections live (AtspiHomeThread.h).
  qputenv("QT_NO_GLIB", "1");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Wrenly"));
  QApplication::setDesktopFileName(QStringLiteral("wrenly"));
  QApplication::setQuitOnLastWindowClosed(false);
  const bool toggle = argc == 2 && std::strcmp(argv[1], "--toggle") == 0;
  return runProgram(app, toggle ? LaunchRequest::toggle : LaunchRequest::show);
}
