#pragma once

#include <QWidget>

#include "app/ShellSnapshot.h"

namespace wrenly {

class WindowContent;
class MenuActions;

// The program's window: the view 460 wide, at least 480 high. Closing it only hides it; the
// program stays in the tray.
class MainWindow : public QWidget {
 public:
  explicit MainWindow(MenuActions& actions);

  void render(const ShellSnapshot& snapshot);
  void bringForward();
  WindowContent& view() const { return *view_; }

 private:
  WindowContent* view_;
};

}  // namespace wrenly
