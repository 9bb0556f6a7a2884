#pragma once

#include "app/MainWindow.h"
#include "app/OverlayPanel.h"
#include "app/ShellSnapshot.h"
#include "app/TrayIcon.h"

namespace wrenly {

class MenuActions;

// Everything the program shows, on the GUI thread: the window, the tray icon with its popup and
// the overlay, all drawn from the same snapshot.
class ShellWindows {
 public:
  explicit ShellWindows(MenuActions& actions) : window_(actions), tray_(actions) {}

  void render(const ShellSnapshot& snapshot) {
    window_.render(snapshot);
    tray_.render(snapshot);
    overlay_.render(snapshot);
  }
  MainWindow& window() { return window_; }
  TrayIcon& tray() { return tray_; }
  OverlayPanel& overlay() { return overlay_; }

 private:
  MainWindow window_;
  TrayIcon tray_;
  OverlayPanel overlay_;
};

}  // namespace wrenly
