#pragma once

#include <QWidget>

#include "app/ShellSnapshot.h"

class QScrollArea;

namespace wrenly {

class MainView;
class MenuActions;
class SetupView;

// The one content view of the program, in the main window (460 wide) and the tray popup (340
// wide): the two-step set-up until the permission is there and the key is confirmed, then the
// main view in a scroll area. It only chooses what to show; every control calls an action.
class WindowContent : public QWidget {
 public:
  WindowContent(MenuActions& actions, int width, QWidget* parent = nullptr);

  void render(const ShellSnapshot& snapshot);
  MainView& mainView() const { return *main_; }

 private:
  SetupView* setup_;
  QScrollArea* mainScroll_;
  MainView* main_;
};

}  // namespace wrenly
