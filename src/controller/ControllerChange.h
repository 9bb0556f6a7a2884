#pragma once

#include "controller/DictationController.h"

namespace wrenly {

// One step of the controller: observers hear of the state once, when the outermost step ends,
// and only when something they can see changed. Never held across a suspension.
class ControllerChange {
 public:
  explicit ControllerChange(DictationController& controller) : controller_(controller) {
    ++controller_.changeDepth_;
  }
  ~ControllerChange() {
    if (--controller_.changeDepth_ == 0) controller_.publish();
  }
  ControllerChange(const ControllerChange&) = delete;
  ControllerChange& operator=(const ControllerChange&) = delete;

 private:
  DictationController& controller_;
};

}  // namespace wrenly
