#include "DesktopSession.h"

#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace wrenly {

DesktopSession& DesktopSession::shared() {
  static DesktopSession session;
  return session;
}

DesktopSession::DesktopSession() {
  auto opened = X11Desktop::open(mainLoop.get_executor(), {std::nullopt, "wrenly"}, *accessibility);
  if (!opened) throw std::runtime_error(opened.error().detail);
  desktop = std::move(opened).value();
  user = openXConnection(std::nullopt);
  fields = std::make_unique<ChildProcess>(
      std::vector<std::string>{"/usr/bin/python3", WRENLY_FIELDS_WINDOW});
  if (fields->readLine() != "ready") throw std::runtime_error("the fields window did not start");
  const auto file = std::filesystem::path(std::getenv("HOME")) / "notes.txt";
  std::ofstream(file).close();
  editor = std::make_unique<ChildProcess>(
      std::vector<std::string>{"mousepad", "--disable-server", file.string()});
  if (!realtest::runUntil(
          [&] { return desktop->windows().frontNormalWindow(editorPID()).has_value(); })) {
    throw std::runtime_error("the editor did not start");
  }
}

void DesktopSession::key(unsigned long keysym, bool down) {
  XTestFakeKeyEvent(user.get(), XKeysymToKeycode(user.get(), keysym), down, CurrentTime);
  XSync(user.get(), False);
}

void DesktopSession::click() {
  XTestFakeButtonEvent(user.get(), 1, True, CurrentTime);
  XTestFakeButtonEvent(user.get(), 1, False, CurrentTime);
  XSync(user.get(), False);
}

bool DesktopSession::bringForward(int32_t processID) {
  auto& workspace = desktop->workspace();
  return workspace.activate(processID) && realtest::runUntil([&] {
           auto front = workspace.frontmostApplication();
           return front && front->processID == processID;
         });
}

Platform DesktopSession::platform(Clipboard* clipboard) {
  Platform ports;
  ports.mainLoop = mainLoop.get_executor();
  ports.clock = &clock;
  const DesktopPorts real = desktop->ports();
  ports.workspace = real.workspace;
  ports.accessibility = accessibility.get();
  ports.windows = real.windows;
  ports.keyInjector = real.keyInjector;
  ports.keyMonitor = real.keyMonitor;
  ports.chords = real.chords;
  ports.clipboard = clipboard;
  return ports;
}

}  // namespace wrenly
