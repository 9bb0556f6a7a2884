#pragma once

#include <QWidget>

#include "app/ShellSnapshot.h"

class QLabel;
class QPushButton;

namespace wrenly {

class MenuActions;

// The two set-up steps: turn on assistive technologies, then press the trigger key once.
class SetupView : public QWidget {
 public:
  SetupView(MenuActions& actions, QWidget* parent);

  void render(const ShellSnapshot& snapshot);

 private:
  QWidget* step1_;
  QLabel* permissionFeedback_;
  QWidget* step2_;
  QWidget* detectionLight_;
  QLabel* detection_;
  QLabel* keyDetectionOff_;
  QLabel* sessionNote_;
  QPushButton* restartDetection_;
  QPushButton* confirm_;
};

}  // namespace wrenly
